// Equation generation, the last processing phase: a hierarchical model's connections numbered,
// its submodel equations reshaped and collected into one flat body, then states and rates,
// sorting, and the processed-model files.
#pragma once

#include "modelproc/model_records.h"

#include <string>
#include <vector>

/// Numbers the connections of the causally analysed top class from `counter` on, reshapes the
/// equations of every submodel and collects them into the class, which becomes of type DYN.
/// Reports progress, status and percentage as it goes; 1, or 0 after the failure was reported.
int reshapeAndCollect(ClassRec* top, int& counter);

/// Determines the states and rates of the flat class, with the phase's progress, status and
/// percentage texts; 1, or 0 after the failure was reported.
int determineStatesStep(ClassRec* cls);
/// As above; `order` receives the class's equations in list order.
int determineStatesStep(ClassRec* cls, std::vector<EquationRec*>& order);

/// The whole phase for a processed class: reshaping and collection when it is hierarchical, states
/// and rates, sorting, and the code and equation files written into `directory` (empty: the
/// current directory). Reports each step's progress, status and percentage; 1, or 0 after the
/// failure was reported.
int generateEquations(ClassRec* cls, const std::string& directory);
