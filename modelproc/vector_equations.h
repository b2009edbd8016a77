// Equations over ranges of elements ("x[2..9] = int(c * x[1..8])"), which sorting places whole,
// become one equation per element before the code is written: the code has no instruction for a
// range.
#pragma once

#include "modelproc/model_records.h"

#include <vector>

/// The equations that take the place of `eq`, one per element of the ranges of its left side, in
/// element order, each inserted before `eq` in the list of `body` (`eq` itself stays); none when it
/// holds no range of more than one element. False after reporting, under `message`, that its
/// ranges do not agree.
bool elementEquations(EquationRec* eq, EquationBody* body, std::vector<EquationRec*>& made, const char* message);

/// Replaces every equation whose references hold ranges of elements by one equation per element,
/// in element order, in its place in the class's list and in `order` (the sorted equations); 1, or
/// 0 after reporting each equation whose ranges do not agree with its left side.
int expandVectorEquations(ClassRec* cls, std::vector<EquationRec*>& order);
