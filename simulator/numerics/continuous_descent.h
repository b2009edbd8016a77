// Continuous-descent optimiser: one trial step down the scaled gradient per iteration.
#pragma once

#include "simulator/numerics/optimization.h"

namespace numerics {

/// Walks down the scaled gradient with a step that doubles after every iteration and is cut to
/// a quarter after a failed trial or a turn of more than a right angle; ends when the step
/// falls below tolerance x maxStep.
void OptimizeContinuousDescent(Matrix &best, double &bestValue, OptimizationObjective objective,
                               Matrix &x, const Matrix &scale, double tolerance, double maxStep,
                               int n);

} // namespace numerics
