// Hessian of an objective from finite differences of its scaled central-difference gradient.
#pragma once

#include "simulator/numerics/optimization.h"

namespace numerics {

/// Fills H (n x n) in scaled coordinates, row i from the gradient at x moved back by scale(i) x h
/// in variable i: H(i, k) = (g0(k) - scale(k) grad_k(x - a)) / h, g0 being the scaled gradient at
/// x. Returns early when StopOptimization is set.
void FiniteDifferenceHessian(Matrix &H, OptimizationObjective objective, const Matrix &x,
                             const Matrix &g0, double value, const Matrix &v, double h, int n);

/// The same from gradients at x - a and x + a: H(i, k) = (gp(k) - gm(k)) / (2h).
void CentralDifferenceHessian(Matrix &H, OptimizationObjective objective, const Matrix &x,
                              const Matrix &v, double h, int n);

} // namespace numerics
