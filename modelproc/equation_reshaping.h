// Reshaping of submodel equations: every equation solved for the element it must deliver.
#pragma once

#include "modelproc/model_records.h"

#include <cstdint>
#include <string>
#include <vector>

/// Solves the equation for the reference `ref` (a leaf inside one of its sides) by inverting the
/// operator chain above it: `ref` becomes the left side, the rest the right side, and the
/// equation is marked reshaped. A fixed-order equation, or `ref` already a whole side, is only
/// marked (sides swapped when `ref` was the right side). Nothing changes when the chain cannot
/// be inverted: the error is reported and the result is 0; otherwise 1.
int invertEquation(EquationRec* eq, ExprNode* ref);

/// Sets the symbol table up again with only the predefined names; 0 when that fails.
int prepareReshaping();

/// What the last submodel reshaped left of the port's element flags: at each element the
/// selector still to be computed, 0 once computed or where no bond is connected; empty for a port
/// that submodel does not have.
std::vector<std::int32_t> reshapedPortElements(const PortRec* port);

/// Expands `sum` and `identity` on vector ports and solves every equation of the submodel's
/// class for the element that causality asks for. 1 when all were reshaped; 0 after reporting.
int reshapeSubmodel(SubclassRec* sub);
