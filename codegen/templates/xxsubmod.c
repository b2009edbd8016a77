<<<banner>>>
#include "xxmodel.h"
#include "xxinteg.h"
#include "xxfuncs.h"
#include "xxsubmod.h"

/* the run, as the experiment gave it */
XXDouble xx_start_time = <<<start_time>>>;
XXDouble xx_finish_time = <<<finish_time>>>;
XXDouble xx_step_size = <<<step_size>>>;
XXDouble xx_simulation_time = <<<start_time>>>;
XXInteger xx_steps = 0;
XXBoolean xx_initialize = XXTRUE;

XXInteger xx_number_of_inputs = <<<number_of_inputs>>>;
XXInteger xx_number_of_outputs = <<<number_of_outputs>>>;

/* the input vector u into the quantities of the submodel */
void XXCopyInputsToVariables (XXDouble *u)
{
<<<input_copies>>>
}

/* the quantities of the submodel into the output vector y */
void XXCopyVariablesToOutputs (XXDouble *y)
{
<<<output_copies>>>
}

/* <<<function_name>>>: sets up the submodel at time t with the inputs u
   and gives its first outputs in y */
void XXInitializeSubmodel (XXDouble *u, XXDouble *y, XXDouble t)
{
	xx_initialize = XXTRUE;
	xx_steps = 0;
	XXModelInitialize ();
	XX<<<method>>>Initialize ();
	XXCopyInputsToVariables (u);
	xx_simulation_time = t;
	XXCalculateStatic ();
	XXCalculateInput ();
	XXCalculateDynamic ();
	XXCalculateOutput ();
	XXCopyVariablesToOutputs (y);
	xx_initialize = XXFALSE;
}

/* <<<function_name>>>: one step from time t with the inputs u held over
   the step; the outputs at its end in y */
void XXCalculateSubmodel (XXDouble *u, XXDouble *y, XXDouble t)
{
	XXCopyInputsToVariables (u);
	xx_simulation_time = t;
	XXCalculateInput ();
	/* the step starts from the rates at these inputs */
	XXCalculateDynamic ();
	XX<<<method>>>Step ();
	XXCalculateOutput ();
	XXCopyVariablesToOutputs (y);
}
