// Quasi-Newton optimisers: BFGS with a Hessian approximation, DFP with an inverse-Hessian one.
//
// Both work in scaled coordinates (gradient, step and curvature matrix), start from the identity
// so that the first iteration is a steepest-descent step, and update the curvature matrix from
// the scaled step s and the change y of the scaled gradient. An update whose denominator is zero
// or whose result is not finite is skipped, so that no NaN can reach the model's parameters.
#include "simulator/numerics/quasi_newton.h"

#include "simulator/numerics/linear_solvers.h"

#include <cmath>

namespace numerics {

namespace {

enum class Curvature { Hessian, InverseHessian };

bool allFinite(const Matrix &m)
{
    for (int i = 0; i < m.rows; ++i)
        for (int j = 0; j < m.cols; ++j)
            if (!std::isfinite(m.GetElement(i, j)))
                return false;
    return true;
}

/// The update, or the matrix as it was when the update is not finite.
Matrix finiteOr(Matrix updated, const Matrix &unchanged)
{
    return allFinite(updated) ? updated : unchanged;
}

} // namespace

Matrix BfgsUpdate(const Matrix &B, const Matrix &s, const Matrix &y)
{
    const double a = (s.Transposed() * B * s).First();
    const double b = (y.Transposed() * s).First();
    if (a == 0.0 || b == 0.0)
        return B;
    return finiteOr(B + y * y.Transposed() / b - ((B * s) * s.Transposed()) * B.Transposed() / a,
                    B);
}

Matrix DfpUpdate(const Matrix &H, const Matrix &s, const Matrix &y)
{
    const double a = (y.Transposed() * H * y).First();
    const double b = (s.Transposed() * y).First();
    if (a == 0.0 || b == 0.0)
        return H;
    return finiteOr(H + s * s.Transposed() / b - ((H * y) * y.Transposed()) * H / a, H);
}

namespace {

void optimizeQuasiNewton(Curvature kind, Matrix &best, double &bestValue,
                         OptimizationObjective objective, Matrix &x, const Matrix &scale,
                         double tolerance, double maxStep, int n)
{
    double f = 0.0;
    if (!BeginOptimization(best, bestValue, objective, x, f, scale, tolerance, maxStep, n))
        return;
    const double minStep = tolerance * maxStep;
    double step = minStep;
    Matrix curvature(n, n);
    curvature.SetIdentity();
    Matrix g(n, 1), previousG(n, 1), previousX(x), s(n, 1), y(n, 1), direction(n, 1);

    for (;;) {
        previousG = g;
        FiniteDifferenceGradient(g, objective, x, f, scale, minStep, n);
        if (StopOptimization)
            return;
        for (int i = 0; i < n; ++i) {
            g.At(i) *= scale.At(i);
            s.At(i) = (x.At(i) - previousX.At(i)) / scale.At(i);
        }
        y = g - previousG;
        if (s.Norm() != 0.0 && y.Norm() != 0.0)
            curvature = kind == Curvature::Hessian ? BfgsUpdate(curvature, s, y)
                                                   : DfpUpdate(curvature, s, y);
        direction = kind == Curvature::Hessian ? -(InvertMatrix(curvature) * g)
                                               : (-curvature) * g;
        previousX = x;
        if (DescentLineStep(best, bestValue, objective, x, f, scale, direction, step, tolerance,
                            maxStep, n) != LineStepEnd::Moved)
            return;
    }
}

} // namespace

void OptimizeBfgs(Matrix &best, double &bestValue, OptimizationObjective objective, Matrix &x,
                  const Matrix &scale, double tolerance, double maxStep, int n)
{
    optimizeQuasiNewton(Curvature::Hessian, best, bestValue, objective, x, scale, tolerance,
                        maxStep, n);
}

void OptimizeDfp(Matrix &best, double &bestValue, OptimizationObjective objective, Matrix &x,
                 const Matrix &scale, double tolerance, double maxStep, int n)
{
    optimizeQuasiNewton(Curvature::InverseHessian, best, bestValue, objective, x, scale,
                        tolerance, maxStep, n);
}

} // namespace numerics
