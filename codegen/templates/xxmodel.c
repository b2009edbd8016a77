<<<banner>>>
#include <stdlib.h>
#include <math.h>
#include "xxmodel.h"
#include "xxfuncs.h"

/* the model's numbers */
XXDouble *xx_parameters = NULL;
XXDouble *xx_variables = NULL;
XXDouble *xx_states = NULL;
XXDouble *xx_rates = NULL;

/* the short names the equations use */
XXDouble *P = NULL;
XXDouble *V = NULL;
XXDouble *s = NULL;
XXDouble *R = NULL;

XXInteger xx_number_of_states = <<<number_of_states>>>;
XXInteger xx_number_of_parameters = <<<number_of_parameters>>>;
XXInteger xx_number_of_variables = <<<number_of_variables>>>;

/* a fresh zeroed array of the given length */
static XXDouble *XXNewArray (XXDouble *array, XXInteger length)
{
	if (array != NULL)
	{
		free (array);
	}
	array = (XXDouble *) calloc (length, sizeof (XXDouble));
	if (array == NULL)
	{
		exit (EXIT_FAILURE);
	}
	return array;
}

/* allocates the arrays (each long enough for every element the equations use)
   and sets the parameters and initial states */
void XXModelInitialize (void)
{
	xx_parameters = XXNewArray (xx_parameters, <<<parameter_array_length>>>);
	xx_variables = XXNewArray (xx_variables, <<<variable_array_length>>>);
	xx_states = XXNewArray (xx_states, <<<state_array_length>>>);
	xx_rates = XXNewArray (xx_rates, <<<rate_array_length>>>);

	P = xx_parameters;
	V = xx_variables;
	s = xx_states;
	R = xx_rates;

	XXSetParametersAndInitialStates ();
}

void XXSetParametersAndInitialStates (void)
{
	/* this method is the implementation of the .p file */
<<<parameter_values>>>

	/* set the initial values */
<<<initial_values>>>
}

/* the equations computed once at the start */
void XXCalculateStatic (void)
{
<<<initial_equations>>>
}

/* the equations of the inputs, computed before each step */
void XXCalculateInput (void)
{
<<<input_equations>>>
}

/* the rates of the states */
void XXCalculateDynamic (void)
{
<<<static_again>>>
<<<dynamic_equations>>>
	xx_steps++;
}

/* the quantities that only the output needs */
void XXCalculateOutput (void)
{
<<<output_equations>>>
}
