<<<banner>>>
#include <math.h>
#include <stdio.h>
#include "xxsubmod.h"

/* a demonstration of the submodel: every input follows sin (t) */
int main (void)
{
	XXDouble u [<<<input_length>>>];
	XXDouble y [<<<output_length>>>];
	XXDouble xx_epsilon = 1E-08;
	int index;

	for (index = 0; index < <<<input_length>>>; index++)
	{
		u [index] = 0.0;
	}
	XXInitializeSubmodel (u, y, xx_start_time);

	while (xx_simulation_time + xx_epsilon < xx_finish_time)
	{
		for (index = 0; index < xx_number_of_inputs; index++)
		{
			u [index] = sin (xx_simulation_time);
		}
		XXCalculateSubmodel (u, y, xx_simulation_time);
		for (index = 0; index < xx_number_of_inputs; index++)
		{
			printf ("u = %g, ", u [index]);
		}
		for (index = 0; index < xx_number_of_outputs; index++)
		{
			printf ("y = %g, ", y [index]);
		}
		printf ("t = %g\n", xx_simulation_time);
	}
	return 0;
}
