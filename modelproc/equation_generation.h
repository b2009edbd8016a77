// Equation generation of a hierarchical model: connections numbered, submodel equations
// reshaped to the causality found, everything collected into one flat body, and its states and rates.
#pragma once

#include "modelproc/model_records.h"

/// Numbers the connections of the causally analysed top class from `counter` on, reshapes the
/// equations of every submodel and collects them into the class, which becomes of type DYN.
/// Reports progress, status and percentage as it goes; 1, or 0 after the failure was reported.
int reshapeAndCollect(ClassRec* top, int& counter);

/// Determines the states and rates of the flat class, with the phase's progress, status and
/// percentage texts; 1, or 0 after the failure was reported.
int determineStatesStep(ClassRec* cls);
