// Sorting of the flat equations into computation order, with the breaking of algebraic loops.
#pragma once

#include "modelproc/model_records.h"

#include <vector>

/// Puts the equations of the DYN class into computation order, tearing algebraic loops where the
/// sorting stalls; the equation list is re-linked in that order. 1, or 0 after the failure was
/// reported through the display hooks.
int sortEquations(ClassRec* cls);
/// As `sortEquations`. `order` holds the list's equations in list order as they stand (as state
/// determination hands them over), or nothing, and on success receives them in their new order.
int sortEquationsWithOrder(ClassRec* cls, std::vector<EquationRec*>& order);

/// The same sorting done the slow way: every round walks the whole remaining list and recounts
/// each right side, and the loop search follows every path up to the depth limit. It gives the
/// same order, tears and messages as `sortEquations`; kept as the reference that checks it.
int sortEquationsByRounds(ClassRec* cls);
