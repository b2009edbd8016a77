// Equations over ranges of elements ("x[2..9] = int(c * x[1..8])"), which sorting places whole,
// become one equation per element before the code is written: the code has no instruction for a
// range.
#pragma once

#include "modelproc/model_records.h"

#include <vector>

/// Replaces every equation whose references hold ranges of elements by one equation per element,
/// in element order, in its place in the class's list and in `order` (the sorted equations); 1, or
/// 0 after reporting each equation whose ranges do not agree with its left side.
int expandVectorEquations(ClassRec* cls, std::vector<EquationRec*>& order);
