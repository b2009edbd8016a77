// States and rates: int, ddt and limint calls turned into state and rate variables.
#pragma once

#include "modelproc/model_records.h"

#include <vector>

/// Replaces every int, ddt and limint call in the flat equations of the DYN class by state and
/// rate variables, then gives each independent state its initial condition. Every error is
/// reported and the walk goes on; 1, or 0 when any equation or state failed.
int determineStates(ClassRec* cls);
/// As `determineStates`; `order` receives the equations in list order at the end.
int determineStatesWithOrder(ClassRec* cls, std::vector<EquationRec*>& order);
