// Continuous-descent optimiser: one trial step down the scaled gradient per iteration.
#include "simulator/numerics/continuous_descent.h"

#include <cmath>

namespace numerics {

void OptimizeContinuousDescent(Matrix &best, double &bestValue, OptimizationObjective objective,
                               Matrix &x, const Matrix &scale, double tolerance, double maxStep,
                               int n)
{
    // Two unit vectors whose sum is shorter than this point more than a right angle apart.
    constexpr double turnLength = 1.4143;

    double f = 0.0;
    if (!BeginOptimization(best, bestValue, objective, x, f, scale, tolerance, maxStep, n))
        return;
    const double minStep = tolerance * maxStep;
    double s = minStep;
    Matrix g(n, 1), d(n, 1), previousDirection(n, 1), step(n, 1);
    for (;;) {
        previousDirection = d;
        FiniteDifferenceGradient(g, objective, x, f, scale, minStep, n);
        if (StopOptimization)
            return;
        for (int i = 0; i < n; ++i)
            d.At(i) = -g.At(i) * scale.At(i);
        const double length = d.Norm();
        if (length == 0.0 || !std::isfinite(length))
            return;
        d /= length;

        if (s >= maxStep)
            s = maxStep;
        if (s <= minStep)
            s = minStep;
        for (int i = 0; i < n; ++i)
            step.At(i) = d.At(i) * s * scale.At(i);
        if (previousDirection.Norm() > 0.0 && (d + previousDirection).Norm() < turnLength) {
            step /= 2.0;
            s *= 0.25;
        }
        s *= 2.0;

        best = x + step;
        bestValue = EvaluateObjective(objective, best, n);
        if (StopOptimization)
            return;
        if (bestValue < f) {
            f = bestValue;
            x = best;
        } else {
            d.SetZero();
            s *= 0.25;
            bestValue = f;
            best = x;
        }
        if (s < minStep)
            return;
    }
}

} // namespace numerics
