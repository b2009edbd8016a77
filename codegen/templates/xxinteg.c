<<<banner>>>
#include <stdlib.h>
#include <string.h>
#include <math.h>
#include "xxinteg.h"
#include "xxmodel.h"

extern XXDouble xx_simulation_time;
extern XXDouble xx_step_size;

/* work arrays of the Runge-Kutta method */
static XXDouble *q1 = NULL;
static XXDouble *q2 = NULL;
static XXDouble *q3 = NULL;
static XXDouble *q4 = NULL;
static XXDouble *intermediates = NULL;
static XXDouble *rk4_states = NULL;

/* Euler needs no work arrays */
void XXEulerInitialize (void)
{
}

/* x(t + h) = x(t) + h * x'(t); the rates must be valid when the step starts */
void XXEulerStep (void)
{
	XXInteger index;

	for (index = 0; index < xx_number_of_states; index++)
	{
		xx_states[index] = xx_states[index] + xx_rates[index] * xx_step_size;
	}
	xx_simulation_time += xx_step_size;

	/* the rates of the new states */
	XXCalculateDynamic ();
}

static XXDouble *XXNewWorkArray (XXDouble *array)
{
	if (array != NULL)
	{
		free (array);
	}
	return (XXDouble *) calloc (xx_number_of_states + 1, sizeof (XXDouble));
}

void XXRungeKutta4Initialize (void)
{
	q1 = XXNewWorkArray (q1);
	q2 = XXNewWorkArray (q2);
	q3 = XXNewWorkArray (q3);
	q4 = XXNewWorkArray (q4);
	intermediates = XXNewWorkArray (intermediates);
	rk4_states = XXNewWorkArray (rk4_states);
	if (q1 == NULL || q2 == NULL || q3 == NULL || q4 == NULL || intermediates == NULL || rk4_states == NULL)
	{
		exit (EXIT_FAILURE);
	}
}

/* the classical fourth-order Runge-Kutta step */
void XXRungeKutta4Step (void)
{
	XXInteger index;
	XXDouble rktime;
	size_t size = xx_number_of_states * sizeof (XXDouble);

	rktime = xx_simulation_time;
	memcpy (rk4_states, xx_states, size);

	for (index = 0; index < xx_number_of_states; index++)
	{
		q1[index] = xx_rates[index] * xx_step_size;
		xx_states[index] = rk4_states[index] + q1[index] / 2;
	}
	xx_simulation_time = rktime + xx_step_size / 2;
	XXCalculateDynamic ();

	for (index = 0; index < xx_number_of_states; index++)
	{
		q2[index] = xx_rates[index] * xx_step_size;
		xx_states[index] = rk4_states[index] + q2[index] / 2;
	}
	XXCalculateDynamic ();

	for (index = 0; index < xx_number_of_states; index++)
	{
		q3[index] = xx_rates[index] * xx_step_size;
		xx_states[index] = rk4_states[index] + q3[index];
	}
	xx_simulation_time = rktime + xx_step_size;
	XXCalculateDynamic ();

	for (index = 0; index < xx_number_of_states; index++)
	{
		q4[index] = xx_rates[index] * xx_step_size;
		intermediates[index] = rk4_states[index] + q1[index] / 6 + q2[index] / 3 + q3[index] / 3 + q4[index] / 6;
	}
	memcpy (xx_states, intermediates, size);

	/* the rates of the new states */
	XXCalculateDynamic ();
}
