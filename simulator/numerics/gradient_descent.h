// Line-search optimisers on the finite-difference gradient: steepest descent, Polak-Ribiere
// conjugate gradients and Newton-Raphson.
#pragma once

#include "simulator/numerics/optimization.h"

namespace numerics {

/// Searches along the negative scaled gradient.
void OptimizeSteepestDescent(Matrix &best, double &bestValue, OptimizationObjective objective,
                             Matrix &x, const Matrix &scale, double tolerance, double maxStep,
                             int n);

/// Searches along conjugate directions by the Polak-Ribiere rule.
void OptimizePolakRibiere(Matrix &best, double &bestValue, OptimizationObjective objective,
                          Matrix &x, const Matrix &scale, double tolerance, double maxStep, int n);

/// Searches along the Newton direction of a finite-difference Hessian, or the negative gradient
/// where that Hessian is singular.
void OptimizeNewtonRaphson(Matrix &best, double &bestValue, OptimizationObjective objective,
                           Matrix &x, const Matrix &scale, double tolerance, double maxStep,
                           int n);

} // namespace numerics
