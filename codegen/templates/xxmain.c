<<<banner>>>
#include "xxmodel.h"
#include "xxinteg.h"
#include "xxfuncs.h"
#include "xxoutput.h"

/* the run, as the experiment gave it */
XXDouble xx_start_time = <<<start_time>>>;
XXDouble xx_finish_time = <<<finish_time>>>;
XXDouble xx_step_size = <<<step_size>>>;
XXDouble xx_epsilon = 1E-08;
XXDouble xx_simulation_time = 0.0;
XXInteger xx_steps = 0;
XXBoolean xx_initialize = XXTRUE;

int main (void)
{
	xx_initialize = XXTRUE;
	xx_steps = 0;
	xx_simulation_time = xx_start_time;
	XXModelInitialize ();
	XX<<<method>>>Initialize ();

	/* the model at the start time */
	XXCalculateStatic ();
	XXCalculateInput ();
	XXCalculateDynamic ();
	XXCalculateOutput ();
<<<output_at_start>>>
	xx_initialize = XXFALSE;

	/* fixed steps up to the first time within xx_epsilon of the finish time or past it */
	while (xx_simulation_time + xx_epsilon < xx_finish_time)
	{
		XXCalculateInput ();
		XX<<<method>>>Step ();
		XXCalculateOutput ();
<<<output_during_run>>>
	}
<<<output_after_run>>>
	return 0;
}
