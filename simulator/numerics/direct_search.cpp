// Optimisers without a gradient that move along one variable at a time: perpendicular search
// and line climber.
//
// Variables are taken in cycles 0, 1, ..., n-1; a scaled step t along variable i moves it by
// t x scale(i). A cycle that moved the working point by less than the smallest step ends the run
// (the perpendicular search measures the largest scaled component, the line climber the norm).
#include "simulator/numerics/direct_search.h"

#include <cmath>

namespace numerics {

namespace {

double clampStep(double step, double minStep, double maxStep)
{
    if (step >= maxStep)
        step = maxStep;
    if (step <= minStep)
        step = minStep;
    return step;
}

/// (from - to) with element j divided by scale(j).
Matrix scaledDifference(const Matrix &from, const Matrix &to, const Matrix &scale, int n)
{
    Matrix difference = from - to;
    for (int j = 0; j < n; ++j)
        difference.At(j) /= scale.At(j);
    return difference;
}

double largestMagnitude(const Matrix &v, int n)
{
    double largest = std::fabs(v.At(0));
    for (int j = 1; j < n; ++j)
        if (std::fabs(v.At(j)) > largest)
            largest = std::fabs(v.At(j));
    return largest;
}

} // namespace

void OptimizePerpendicularSearch(Matrix &best, double &bestValue,
                                 OptimizationObjective objective, Matrix &x, const Matrix &scale,
                                 double tolerance, double maxStep, int n)
{
    double f = 0.0;
    if (!BeginOptimization(best, bestValue, objective, x, f, scale, tolerance, maxStep, n))
        return;
    const double minStep = tolerance * maxStep;
    double step = minStep;
    Matrix signs(n, 1);
    signs.SetOnes();
    Matrix cycleStart(x);
    Matrix offset(n, 1);
    int i = 0;
    for (;;) {
        step = clampStep(step, minStep, maxStep);
        offset.SetZero();
        offset.At(i) = signs.At(i) * scale.At(i) * step;

        best = x + offset;
        bestValue = EvaluateObjective(objective, best, n);
        if (StopOptimization)
            return;
        if (bestValue < f) {
            f = bestValue;
            x = best;
            step = 2.0 * step;
        } else {
            best = x - offset;
            bestValue = EvaluateObjective(objective, best, n);
            if (StopOptimization)
                return;
            if (bestValue < f) {
                f = bestValue;
                x = best;
                signs.At(i) = -signs.At(i);
                step = 0.5 * step;
            } else {
                bestValue = f;
                best = x;
                step = 1.1 * minStep;
            }
        }

        if (++i == n) {
            // Moves are whole multiples of minStep here: the slack keeps a cycle that moved a
            // variable by exactly minStep (rounded a little below it) from counting as still.
            if (largestMagnitude(scaledDifference(cycleStart, x, scale, n), n) <
                minStep * (1.0 - 1e-9))
                return;
            i = 0;
            cycleStart = x;
        }
    }
}

void OptimizeLineClimber(Matrix &best, double &bestValue, OptimizationObjective objective,
                         Matrix &x, const Matrix &scale, double tolerance, double maxStep, int n)
{
    double f = 0.0;
    if (!BeginOptimization(best, bestValue, objective, x, f, scale, tolerance, maxStep, n))
        return;
    const double minStep = tolerance * maxStep;
    double step = minStep;
    Matrix cycleStart(x);
    Matrix direction(n, 1), offset(n, 1), trial(n, 1);
    Matrix pointA(n, 1), pointB(n, 1), pointC(n, 1);
    int i = 0;
    for (;;) {
        direction.SetZero();
        direction.At(i) = 1.0;
        step = clampStep(step, minStep, maxStep);
        offset.SetZero();
        offset.At(i) = direction.At(i) * scale.At(i) * step;

        // The probes have no stop test of their own: the line search's first one follows.
        trial = x + offset;
        double trialValue = EvaluateObjective(objective, trial, n);
        if (trialValue < f) {
            x = trial;
            f = trialValue;
        } else {
            direction.At(i) = -direction.At(i);
            trial = x - offset;
            trialValue = EvaluateObjective(objective, trial, n);
            if (trialValue > f || std::isnan(trialValue)) {
                step = minStep;
                direction.At(i) = -direction.At(i);
            } else {
                x = trial;
                f = trialValue;
            }
        }

        const double maxLength = scale.At(i) * maxStep;
        const double minLength = tolerance * maxLength;
        const double initialLength = scale.At(i) * step;
        double stepA = 0.0, stepB = 0.0, stepC = 0.0;
        double valueA = 0.0, valueB = 0.0, valueC = 0.0;
        LineSearch(stepA, stepB, stepC, pointA, pointB, pointC, valueA, valueB, valueC, objective,
                   x, direction, f, minLength, initialLength, maxLength, n);
        if (StopOptimization)
            return;
        ParabolicMinimum(best, bestValue, objective, stepA, stepB, stepC, pointA, pointB, pointC,
                         valueA, valueB, valueC, direction, n);
        if (StopOptimization)
            return;
        if (!(bestValue <= f)) {
            // A value that is not a number counts as worse too.
            best = x;
            bestValue = f;
            return;
        }
        step = 0.5 * scaledDifference(best, x, scale, n).Norm();
        x = best;
        f = bestValue;

        if (++i == n) {
            if (scaledDifference(cycleStart, x, scale, n).Norm() < minStep)
                return;
            i = 0;
            cycleStart = x;
        }
    }
}

} // namespace numerics
