<<<banner>>>
#include <stdlib.h>
#include <math.h>
#include "xxfuncs.h"

extern XXDouble xx_simulation_time;
extern XXBoolean xx_initialize;

<<<support_functions>>>
