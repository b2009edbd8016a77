<<<banner>>>
#include <stdio.h>
#include "xxoutput.h"

/* every number is printed with 17 digits, so that it reads back exactly */
void XXGenerateOutput (void)
{
	printf ("time = %.17g, steps = %d\n", xx_simulation_time, xx_steps);
<<<output_lines>>>
}
