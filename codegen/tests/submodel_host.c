/* A host of a generated submodel function for the tests: it runs the block from the
   experiment's start for a number of steps and prints the time, the states and the
   outputs after each.
     submodel_host STEPS OFFSET AMPLITUDE
   Every input is OFFSET + AMPLITUDE sin (t), held over each step. */
#include <stdio.h>
#include <stdlib.h>
#include <math.h>
#include "xxmodel.h"
#include "xxsubmod.h"

#define MOST 16

static void print_block (const double *y, int steps)
{
	int i;
	printf ("time = %.17g, steps = %d\n", xx_simulation_time, steps);
	for (i = 0; i < xx_number_of_states; i++)
	{
		printf ("s%d = %.17g\n", i, xx_states [i]);
	}
	for (i = 0; i < xx_number_of_outputs; i++)
	{
		printf ("y%d = %.17g\n", i, y [i]);
	}
}

int main (int argc, char **argv)
{
	double u [MOST], y [MOST];
	double offset, amplitude;
	int steps, k, i;

	if (argc < 4 || xx_number_of_inputs > MOST || xx_number_of_outputs > MOST)
	{
		fprintf (stderr, "usage: submodel_host STEPS OFFSET AMPLITUDE\n");
		return 2;
	}
	steps = atoi (argv [1]);
	offset = atof (argv [2]);
	amplitude = atof (argv [3]);

	for (i = 0; i < xx_number_of_inputs; i++)
	{
		u [i] = offset + amplitude * sin (xx_start_time);
	}
	XXInitializeSubmodel (u, y, xx_start_time);
	print_block (y, 0);
	for (k = 1; k <= steps; k++)
	{
		for (i = 0; i < xx_number_of_inputs; i++)
		{
			u [i] = offset + amplitude * sin (xx_simulation_time);
		}
		XXCalculateSubmodel (u, y, xx_simulation_time);
		print_block (y, k);
	}
	return 0;
}
