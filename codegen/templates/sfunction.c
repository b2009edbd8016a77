<<<banner>>>
/* the name of your S-Function */
#define S_FUNCTION_NAME <<<function_name>>>

/* matlab include files */
#include <simstruc.h>

SimStruct *MyS = NULL;

/* standard c-include files */
#include <stdlib.h>
#include <string.h>

/* Orvanta c-include files */
#include "xxmexfcs.c"

/* the model's numbers; the states are the host's (see xxmextps.h) */
XXDouble *xx_variables = NULL;
XXDouble *xx_parameters = NULL;
XXDouble *xx_rates = NULL;

/* the short names the equations use */
XXDouble *V = NULL;
XXDouble *P = NULL;
XXDouble *R = NULL;

XXInteger xx_number_of_states = <<<number_of_states>>>;
XXInteger xx_number_of_parameters = <<<number_of_parameters>>>;
XXInteger xx_number_of_variables = <<<number_of_variables>>>;
XXInteger xx_number_of_inputs = <<<number_of_inputs>>>;
XXInteger xx_number_of_outputs = <<<number_of_outputs>>>;
XXBoolean xx_initialize;

/* mdlInitializeSizes: tells the host the block's sizes: its states, inputs and
   outputs, and that the outputs depend on the inputs directly */
void mdlInitializeSizes (SimStruct *S)
{
	MyS = S;
	ssSetNumContStates    (S, xx_number_of_states);   /* number of continuous states */
	ssSetNumDiscStates    (S, 0);                     /* number of discrete states */
	ssSetNumInputs        (S, xx_number_of_inputs);   /* number of inputs */
	ssSetNumOutputs       (S, xx_number_of_outputs);  /* number of outputs */
	ssSetDirectFeedThrough(S, 1);                     /* direct feedthrough flag */
	ssSetNumSampleTimes   (S, 1);                     /* number of sample times */
	ssSetNumSFcnParams    (S, 0);                     /* number of input arguments */
	ssSetNumRWork         (S, 0);                     /* number of real work vector elements */
	ssSetNumIWork         (S, 0);                     /* number of integer work vector elements */
	ssSetNumPWork         (S, 0);                     /* number of pointer work vector elements */
}

/* mdlInitializeSampleTimes: one continuous sample time */
void mdlInitializeSampleTimes (SimStruct *S)
{
	MyS = S;
	ssSetSampleTime (S, 0, CONTINUOUS_SAMPLE_TIME);
	ssSetOffsetTime (S, 0, 0.0);
}

/* a fresh zeroed array of the given length; null after the host was told */
static XXDouble *XXNewArray (XXDouble *array, XXInteger length, SimStruct *S)
{
	if (array != NULL)
	{
		free (array);
	}
	array = (XXDouble *) calloc (length, sizeof (XXDouble));
	if (array == NULL)
	{
		ssSetErrorStatus (S, "out of memory");
	}
	return array;
}

/* mdlInitializeConditions: allocates the model's numbers, sets the parameters
   and gives the initial states in x0 */
void mdlInitializeConditions (double *x0, SimStruct *S)
{
	MyS = S;

	xx_parameters = XXNewArray (xx_parameters, <<<parameter_array_length>>>, S);
	xx_variables = XXNewArray (xx_variables, <<<variable_array_length>>>, S);
	xx_rates = XXNewArray (xx_rates, <<<rate_array_length>>>, S);
	P = xx_parameters;
	V = xx_variables;
	R = xx_rates;
	if (xx_parameters == NULL || xx_variables == NULL || xx_rates == NULL)
	{
		return;
	}

	/* the parameters */
<<<parameter_values>>>

	/* set the initial values */
	xx_initialize = XXTRUE;
<<<initial_states>>>

	/* the initial equations */
<<<initial_equations>>>

	/* the input equations */
<<<input_equations>>>
	xx_initialize = XXFALSE;
}

/* mdlDerivatives: the rates dx of the states x at the inputs u */
void mdlDerivatives (double *dx, double *x, double *u, SimStruct *S, int tid)
{
	MyS = S;
	(void) x;
	(void) u;
	(void) tid;

	/* the inputs */
<<<input_copies>>>

<<<static_again>>>
	/* dynamic equations */
<<<dynamic_equations>>>
<<<rate_copy>>>
}

/* mdlOutputs: the outputs y at the states x and the inputs u; the variables are
   computed anew for this time, these states and these inputs */
void mdlOutputs (double *y, double *x, double *u, SimStruct *S, int tid)
{
	MyS = S;
	mdlDerivatives (xx_rates, x, u, S, tid);

	/* output equations */
<<<output_equations>>>

	/* the outputs */
<<<output_copies>>>

	/* the input equations for the next step */
<<<input_equations>>>
}

/* mdlUpdate: the block has no discrete states */
void mdlUpdate (double *x, double *u, SimStruct *S, int tid)
{
	MyS = S;
	(void) x;
	(void) u;
	(void) tid;
}

#if 0

/* mdlGetTimeOfNextVarHit: for a variable sample time, the time of the next
   sample hit */
#define MDL_GET_TIME_OF_NEXT_VAR_HIT
void mdlGetTimeOfNextVarHit (SimStruct *S)
{
	MyS = S;
	ssSetTNext (S, <timeOfNextHit>);
}

#endif

/* mdlTerminate: gives the model's numbers back; a later initialization
   starts afresh */
void mdlTerminate (SimStruct *S)
{
	MyS = S;
	if (xx_parameters != NULL)
	{
		free (xx_parameters);
		xx_parameters = NULL;
	}
	if (xx_variables != NULL)
	{
		free (xx_variables);
		xx_variables = NULL;
	}
	if (xx_rates != NULL)
	{
		free (xx_rates);
		xx_rates = NULL;
	}
	P = NULL;
	V = NULL;
	R = NULL;
}

#ifdef	MATLAB_MEX_FILE

/* the MEX-file interface */
#include "simulink.c"

#else

/* the code-generation registration */
#include "cg_sfun.h"

#endif
