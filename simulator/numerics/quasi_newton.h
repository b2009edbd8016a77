// Quasi-Newton optimisers: BFGS with a Hessian approximation, DFP with an inverse-Hessian one.
#pragma once

#include "simulator/numerics/optimization.h"

namespace numerics {

/// Broyden-Fletcher-Goldfarb-Shanno: keeps an approximation B of the scaled Hessian and searches
/// along -B^-1 g.
void OptimizeBfgs(Matrix &best, double &bestValue, OptimizationObjective objective, Matrix &x,
                  const Matrix &scale, double tolerance, double maxStep, int n);

/// Davidon-Fletcher-Powell: keeps an approximation H of the inverse scaled Hessian and searches
/// along -H g.
void OptimizeDfp(Matrix &best, double &bestValue, OptimizationObjective objective, Matrix &x,
                 const Matrix &scale, double tolerance, double maxStep, int n);

/// B + y yT / (yT s) - (B s) sT BT / (sT B s) for the scaled step s and gradient change y; B
/// unchanged when a denominator is 0 or the result is not finite.
Matrix BfgsUpdate(const Matrix &B, const Matrix &s, const Matrix &y);

/// H + s sT / (sT y) - (H y) yT H / (yT H y); H unchanged in the same cases.
Matrix DfpUpdate(const Matrix &H, const Matrix &s, const Matrix &y);

} // namespace numerics
