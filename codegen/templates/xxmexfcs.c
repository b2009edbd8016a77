<<<banner>>>
#include <stdlib.h>
#include <math.h>
#include "xxmextps.h"

extern XXBoolean xx_initialize;

<<<support_functions>>>
