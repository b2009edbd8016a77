// Line-search optimisers on the finite-difference gradient: steepest descent, Polak-Ribiere
// conjugate gradients and Newton-Raphson.
//
// Each iteration forms the central-difference gradient at the working point, turns it into a
// search direction in scaled coordinates by the method's rule and makes one DescentLineStep.
#include "simulator/numerics/gradient_descent.h"

#include "simulator/numerics/finite_difference_hessian.h"
#include "simulator/numerics/linear_solvers.h"

namespace numerics {

namespace {

enum class Rule { SteepestDescent, PolakRibiere, NewtonRaphson };

void optimizeAlongGradient(Rule rule, Matrix &best, double &bestValue,
                           OptimizationObjective objective, Matrix &x, const Matrix &scale,
                           double tolerance, double maxStep, int n)
{
    double f = 0.0;
    if (!BeginOptimization(best, bestValue, objective, x, f, scale, tolerance, maxStep, n))
        return;
    const double minStep = tolerance * maxStep;
    double step = minStep;
    Matrix g(n, 1), d(n, 1), previousGradient(n, 1), conjugate(n, 1), hessian(n, n);
    for (;;) {
        previousGradient = g;
        FiniteDifferenceGradient(g, objective, x, f, scale, minStep, n);
        if (StopOptimization)
            return;
        for (int i = 0; i < n; ++i)
            g.At(i) *= scale.At(i);

        switch (rule) {
        case Rule::SteepestDescent:
            d = -g;
            break;
        case Rule::PolakRibiere: {
            const Matrix y = g - previousGradient;
            double factor = 1.0;
            if (previousGradient.Norm() != 0.0)
                factor = (g.Transposed() * y).First() /
                         (previousGradient.Transposed() * previousGradient).First();
            conjugate = -g + conjugate * factor;
            d = conjugate;
            break;
        }
        case Rule::NewtonRaphson:
            FiniteDifferenceHessian(hessian, objective, x, g, f, scale, minStep, n);
            if (StopOptimization)
                return;
            if (Determinant(hessian) != 0.0) {
                InvertInPlace(hessian);
                d = -(hessian * g);
            } else {
                d = -g;
            }
            break;
        }

        if (DescentLineStep(best, bestValue, objective, x, f, scale, d, step, tolerance, maxStep,
                            n) != LineStepEnd::Moved)
            return;
    }
}

} // namespace

void OptimizeSteepestDescent(Matrix &best, double &bestValue, OptimizationObjective objective,
                             Matrix &x, const Matrix &scale, double tolerance, double maxStep,
                             int n)
{
    optimizeAlongGradient(Rule::SteepestDescent, best, bestValue, objective, x, scale,
                          tolerance, maxStep, n);
}

void OptimizePolakRibiere(Matrix &best, double &bestValue, OptimizationObjective objective,
                          Matrix &x, const Matrix &scale, double tolerance, double maxStep, int n)
{
    optimizeAlongGradient(Rule::PolakRibiere, best, bestValue, objective, x, scale, tolerance,
                          maxStep, n);
}

void OptimizeNewtonRaphson(Matrix &best, double &bestValue, OptimizationObjective objective,
                           Matrix &x, const Matrix &scale, double tolerance, double maxStep,
                           int n)
{
    optimizeAlongGradient(Rule::NewtonRaphson, best, bestValue, objective, x, scale,
                          tolerance, maxStep, n);
}

} // namespace numerics
