<<<banner>>>
#ifndef XX_OUTPUT_H
#define XX_OUTPUT_H

#include "xxtypes.h"
#include "xxmodel.h"

extern XXInteger xx_steps;

/* prints the time and the chosen output quantities on one line each */
void XXGenerateOutput (void);

#endif
