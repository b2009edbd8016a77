// Hessian of an objective from finite differences of its scaled central-difference gradient.
//
// The gradients are in scaled form (element k multiplied by scale(k)) and a shift of scale(i) x h
// in variable i is a scaled shift of h, so every difference quotient divides by h (2h centrally).
#include "simulator/numerics/finite_difference_hessian.h"

namespace numerics {

namespace {

/// The scaled gradient at point, or false when StopOptimization was set.
bool scaledGradient(Matrix &gradient, OptimizationObjective objective, const Matrix &point,
                    const Matrix &v, double h, int n)
{
    FiniteDifferenceGradient(gradient, objective, point, 0.0, v, h * 0.5, n);
    if (StopOptimization)
        return false;
    for (int k = 0; k < n; ++k)
        gradient.At(k) *= v.At(k);
    return true;
}

} // namespace

void FiniteDifferenceHessian(Matrix &H, OptimizationObjective objective, const Matrix &x,
                             const Matrix &g0, double /*value*/, const Matrix &v, double h, int n)
{
    Matrix a(n, 1);
    Matrix gm(n, 1);
    for (int i = 0; i < n; ++i) {
        a.At(i) = v.At(i) * h;
        if (!scaledGradient(gm, objective, x - a, v, h, n))
            return;
        for (int k = 0; k < n; ++k)
            H.SetElement((g0.At(k) - gm.At(k)) / h, i, k);
        a.At(i) = 0.0;
    }
}

void CentralDifferenceHessian(Matrix &H, OptimizationObjective objective, const Matrix &x,
                              const Matrix &v, double h, int n)
{
    Matrix a(n, 1);
    Matrix gm(n, 1);
    Matrix gp(n, 1);
    for (int i = 0; i < n; ++i) {
        a.At(i) = v.At(i) * h;
        if (!scaledGradient(gm, objective, x - a, v, h, n))
            return;
        if (!scaledGradient(gp, objective, x + a, v, h, n))
            return;
        for (int k = 0; k < n; ++k)
            H.SetElement((gp.At(k) - gm.At(k)) / (2.0 * h), i, k);
        a.At(i) = 0.0;
    }
}

} // namespace numerics
