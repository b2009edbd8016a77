<<<banner>>>
#ifndef XX_MODEL_H
#define XX_MODEL_H

#include "xxtypes.h"

/* the model's numbers, allocated by XXModelInitialize */
extern XXDouble *xx_parameters;
extern XXDouble *xx_variables;
extern XXDouble *xx_states;
extern XXDouble *xx_rates;

/* the state of the run */
extern XXDouble xx_simulation_time;
extern XXInteger xx_steps;

extern XXInteger xx_number_of_parameters;
extern XXInteger xx_number_of_variables;
extern XXInteger xx_number_of_states;

void XXModelInitialize (void);
void XXSetParametersAndInitialStates (void);
void XXCalculateStatic (void);
void XXCalculateInput (void);
void XXCalculateDynamic (void);
void XXCalculateOutput (void);

#endif
