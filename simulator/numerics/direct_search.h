// Optimisers without a gradient that move along one variable at a time: perpendicular search
// and line climber.
#pragma once

#include "simulator/numerics/optimization.h"

namespace numerics {

/// Probes one step forward or backward along each variable in turn, doubling the shared step
/// after a forward success and halving it after a backward one.
void OptimizePerpendicularSearch(Matrix &best, double &bestValue,
                                 OptimizationObjective objective, Matrix &x, const Matrix &scale,
                                 double tolerance, double maxStep, int n);

/// Probes along each variable in turn and then runs a line search and a parabolic step along it.
void OptimizeLineClimber(Matrix &best, double &bestValue, OptimizationObjective objective,
                         Matrix &x, const Matrix &scale, double tolerance, double maxStep, int n);

} // namespace numerics
