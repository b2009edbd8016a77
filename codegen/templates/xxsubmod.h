<<<banner>>>
#ifndef XX_SUBMOD_H
#define XX_SUBMOD_H

#include "xxtypes.h"

/* the run, as the experiment gave it */
extern XXDouble xx_start_time;
extern XXDouble xx_finish_time;
extern XXDouble xx_step_size;
extern XXDouble xx_simulation_time;
extern XXInteger xx_steps;
extern XXBoolean xx_initialize;

/* the lengths of the input and the output vector */
extern XXInteger xx_number_of_inputs;
extern XXInteger xx_number_of_outputs;

/* the model's numbers by the short names of the equations */
extern XXDouble *s;
extern XXDouble *R;
extern XXDouble *V;
extern XXDouble *P;

void XXCopyInputsToVariables (XXDouble *u);
void XXCopyVariablesToOutputs (XXDouble *y);
void XXInitializeSubmodel (XXDouble *u, XXDouble *y, XXDouble t);
void XXCalculateSubmodel (XXDouble *u, XXDouble *y, XXDouble t);

#endif
