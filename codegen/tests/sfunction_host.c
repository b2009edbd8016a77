/* A host of a generated S-function for the tests: it calls the callbacks directly,
   runs the classical Runge-Kutta method over mdlDerivatives and prints what the
   tests compare.
     sfunction_host STEPS H OFFSET AMPLITUDE X0...
   Every input is OFFSET + AMPLITUDE sin (t), held over each step; X0 replaces the
   block's initial states when given. */
#include <stdio.h>
#include <stdlib.h>
#include <math.h>
#include <simstruc.h>

void mdlInitializeSizes (SimStruct *S);
void mdlInitializeSampleTimes (SimStruct *S);
void mdlInitializeConditions (double *x0, SimStruct *S);
void mdlDerivatives (double *dx, double *x, double *u, SimStruct *S, int tid);
void mdlOutputs (double *y, double *x, double *u, SimStruct *S, int tid);
void mdlUpdate (double *x, double *u, SimStruct *S, int tid);
void mdlTerminate (SimStruct *S);

#define MOST 16

static SimStruct block;
static int states, inputs, outputs;

static void print_vector (const char *name, const double *values, int count)
{
	int i;
	printf ("%s:", name);
	for (i = 0; i < count; i++)
	{
		printf (" %.17g", values [i]);
	}
	printf ("\n");
}

static void set_inputs (double *u, double t, double offset, double amplitude)
{
	int i;
	for (i = 0; i < inputs; i++)
	{
		u [i] = offset + amplitude * sin (t);
	}
}

static void derivatives (double *dx, double *x, double *u, double t)
{
	block.time = t;
	mdlDerivatives (dx, x, u, &block, 0);
}

/* one step as the generated integrator takes it */
static void runge_kutta_step (double *x, double *u, double t, double h)
{
	double start [MOST], q1 [MOST], q2 [MOST], q3 [MOST], q4 [MOST], dx [MOST], stage [MOST];
	int i;

	for (i = 0; i < states; i++)
	{
		start [i] = x [i];
	}
	derivatives (dx, x, u, t);
	for (i = 0; i < states; i++)
	{
		q1 [i] = dx [i] * h;
		stage [i] = start [i] + q1 [i] / 2;
	}
	derivatives (dx, stage, u, t + h / 2);
	for (i = 0; i < states; i++)
	{
		q2 [i] = dx [i] * h;
		stage [i] = start [i] + q2 [i] / 2;
	}
	derivatives (dx, stage, u, t + h / 2);
	for (i = 0; i < states; i++)
	{
		q3 [i] = dx [i] * h;
		stage [i] = start [i] + q3 [i];
	}
	derivatives (dx, stage, u, t + h);
	for (i = 0; i < states; i++)
	{
		q4 [i] = dx [i] * h;
		x [i] = start [i] + q1 [i] / 6 + q2 [i] / 3 + q3 [i] / 3 + q4 [i] / 6;
	}
}

int main (int argc, char **argv)
{
	double x [MOST], u [MOST], y [MOST], dx [MOST];
	double h, offset, amplitude, t = 0.0;
	int steps, k, i;

	if (argc < 5)
	{
		fprintf (stderr, "usage: sfunction_host STEPS H OFFSET AMPLITUDE X0...\n");
		return 2;
	}
	steps = atoi (argv [1]);
	h = atof (argv [2]);
	offset = atof (argv [3]);
	amplitude = atof (argv [4]);

	mdlInitializeSizes (&block);
	mdlInitializeSampleTimes (&block);
	states = ssGetNumContStates (&block);
	inputs = ssGetNumInputs (&block);
	outputs = ssGetNumOutputs (&block);
	if (states > MOST || inputs > MOST || outputs > MOST)
	{
		fprintf (stderr, "the block is too large for this host\n");
		return 2;
	}
	printf ("sizes: %d %d %d %d %d %d %d %d %d %d\n", states, ssGetNumDiscStates (&block), inputs, outputs,
	        ssGetDirectFeedThrough (&block), ssGetNumSampleTimes (&block), ssGetNumSFcnParams (&block),
	        block.numRWork, block.numIWork, block.numPWork);
	printf ("sample: %.17g %.17g\n", ssGetSampleTime (&block, 0), ssGetOffsetTime (&block, 0));

	block.firstInitCond = 1;
	mdlInitializeConditions (x, &block);
	block.firstInitCond = 0;
	print_vector ("x0", x, states);
	for (i = 0; i < states && 5 + i < argc; i++)
	{
		x [i] = atof (argv [5 + i]);
	}

	/* the outputs before any derivative was asked for */
	set_inputs (u, t, offset, amplitude);
	block.time = t;
	mdlOutputs (y, x, u, &block, 0);
	print_vector ("first", y, outputs);

	for (k = 0; k <= steps; k++)
	{
		block.time = t;
		mdlOutputs (y, x, u, &block, 0);
		printf ("time = %.17g, steps = %d\n", t, k);
		for (i = 0; i < states; i++)
		{
			printf ("s%d = %.17g\n", i, x [i]);
		}
		for (i = 0; i < outputs; i++)
		{
			printf ("y%d = %.17g\n", i, y [i]);
		}
		if (k == steps)
		{
			break;
		}
		set_inputs (u, t, offset, amplitude);
		runge_kutta_step (x, u, t, h);
		t += h;
		/* the outputs at the new states, asked for straight after the step */
		block.time = t;
		mdlOutputs (y, x, u, &block, 0);
		if (k + 1 == steps)
		{
			print_vector ("fresh", y, outputs);
			print_vector ("last", x, states);
		}
	}

	/* giving the memory back twice, then starting again */
	mdlTerminate (&block);
	mdlTerminate (&block);
	mdlInitializeConditions (x, &block);
	block.time = 0.0;
	set_inputs (u, 0.0, offset, amplitude);
	mdlOutputs (y, x, u, &block, 0);
	derivatives (dx, x, u, 0.0);
	print_vector ("again", y, outputs);
	print_vector ("again_rates", dx, states);
	mdlTerminate (&block);
	return 0;
}
