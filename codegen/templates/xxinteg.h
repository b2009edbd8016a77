<<<banner>>>
#ifndef XX_INTEG_H
#define XX_INTEG_H

#include "xxtypes.h"

/* Fixed-step integration: each step advances the states and the simulation
   time by xx_step_size and leaves the rates of the new states behind. */
void XXEulerInitialize (void);
void XXEulerStep (void);
void XXRungeKutta4Initialize (void);
void XXRungeKutta4Step (void);

#endif
