// What the optimisation methods share: calling convention, method table, stop flag, line search,
// parabolic interpolation and finite-difference gradients.
#include "simulator/numerics/optimization.h"

#include "simulator/numerics/continuous_descent.h"
#include "simulator/numerics/direct_search.h"
#include "simulator/numerics/gradient_descent.h"
#include "simulator/numerics/quasi_newton.h"

#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>

namespace numerics {

int StopOptimization = 0;
OptimizationMethod CurrentOptimizationMethod = nullptr;

const std::array<OptimizationMethodEntry, 8> OptimizationMethods = {{
    {"Broydon Fletcher Goldfarb Shanno", OptimizeBfgs},
    {"Davidson Fletcher Powell", OptimizeDfp},
    {"Polack Ribiere", OptimizePolakRibiere},
    {"Newton Raphson", OptimizeNewtonRaphson},
    {"Continuous Descent", OptimizeContinuousDescent},
    {"Steepest Descent", OptimizeSteepestDescent},
    {"Line Climber", OptimizeLineClimber},
    {"Perpendicular Search", OptimizePerpendicularSearch},
}};

namespace {

bool positiveFinite(double v)
{
    return std::isfinite(v) && v > 0.0;
}

void requireColumn(const Matrix &v, int n, const char *name)
{
    if (v.rows != n || v.cols != 1)
        throw std::invalid_argument(std::string("optimisation: ") + name + " is not a " +
                                    std::to_string(n) + " x 1 vector");
}

/// Length s clamped into [minLength, maxLength], minLength winning when the bounds cross.
double clampLength(double s, double minLength, double maxLength)
{
    if (s >= maxLength)
        s = maxLength;
    if (s <= minLength)
        s = minLength;
    return s;
}

/// The step of the parabola's vertex through (a, fa), (b, fb), (c, fc), or nothing when the
/// parabola is degenerate or its vertex is not a finite number.
bool parabolaVertex(double a, double b, double c, double fa, double fb, double fc, double &m)
{
    const double D = (a * a - c * c) * (b - c) - (b * b - c * c) * (a - c);
    if (D == 0.0)
        return false;
    const double A = ((fa - fc) * (b - c) - (fb - fc) * (a - c)) / D;
    if (A == 0.0)
        return false;
    const double B = ((fa - fc) - (a * a - c * c) * A) / (a - c);
    m = -B / (2.0 * A);
    return std::isfinite(m);
}

} // namespace

bool SelectOptimizationMethod(int index)
{
    if (index < 0 || index >= static_cast<int>(OptimizationMethods.size()))
        return false;
    CurrentOptimizationMethod = OptimizationMethods[static_cast<std::size_t>(index)].method;
    return true;
}

double EvaluateObjective(OptimizationObjective objective, Matrix &point, int n)
{
    double value = std::numeric_limits<double>::infinity();
    objective(&value, &point, n);
    return value;
}

bool BeginOptimization(Matrix &best, double &bestValue, OptimizationObjective objective,
                       Matrix &x, double &f, const Matrix &scale, double tolerance,
                       double maxStep, int n)
{
    if (n < 1)
        throw std::invalid_argument("optimisation: no variables");
    requireColumn(x, n, "the start point");
    requireColumn(best, n, "the best point");
    requireColumn(scale, n, "the scale");
    StopOptimization = 0;
    f = EvaluateObjective(objective, x, n);
    bestValue = f;
    best = x;
    if (StopOptimization)
        return false;
    return positiveFinite(tolerance) && positiveFinite(maxStep) &&
           positiveFinite(tolerance * maxStep);
}

void LineSearch(double &stepA, double &stepB, double &stepC, Matrix &pointA, Matrix &pointB,
                Matrix &pointC, double &valueA, double &valueB, double &valueC,
                OptimizationObjective objective, const Matrix &origin, const Matrix &direction,
                double originValue, double minLength, double initialLength, double maxLength,
                int n)
{
    stepA = stepB = stepC = 0.0;
    pointA = origin;
    pointB = origin;
    pointC = origin;
    valueA = valueB = valueC = originValue;

    double s = clampLength(initialLength, minLength, maxLength);
    stepC = s;
    pointC += direction * s;
    valueC = EvaluateObjective(objective, pointC, n);
    if (StopOptimization)
        return;

    if (valueC > valueA) {
        const auto noDescent = [&] {
            stepC = 0.0;
            pointC = origin;
            valueC = originValue;
        };
        if (s == minLength) {
            noDescent();
            return;
        }
        s = minLength;
        stepC = s;
        pointC = origin + direction * s;
        valueC = EvaluateObjective(objective, pointC, n);
        if (StopOptimization || valueC > valueA) {
            noDescent();
            return;
        }
    }

    stepB = stepC;
    pointB = pointC;
    valueB = valueC;
    s = clampLength(2.0 * s, minLength, maxLength);
    stepC += s;
    pointC += direction * s;
    valueC = EvaluateObjective(objective, pointC, n);

    while (!StopOptimization && valueC < valueB) {
        s = clampLength(2.0 * s, minLength, maxLength);
        stepA = stepB;
        pointA = pointB;
        valueA = valueB;
        stepB = stepC;
        pointB = pointC;
        valueB = valueC;
        stepC += s;
        pointC += direction * s;
        valueC = EvaluateObjective(objective, pointC, n);
    }
}

void ParabolicMinimum(Matrix &best, double &bestValue, OptimizationObjective objective,
                      double stepA, double stepB, double stepC, const Matrix &pointA,
                      const Matrix &pointB, const Matrix & /*pointC*/, double valueA,
                      double valueB, double valueC, const Matrix &direction, int n)
{
    double m = 0.0;
    if (!parabolaVertex(stepA, stepB, stepC, valueA, valueB, valueC, m)) {
        best = pointB;
        bestValue = valueB;
        return;
    }
    best = pointA + direction * (m - stepA);
    bestValue = EvaluateObjective(objective, best, n);
}

Matrix ParabolicMinimum(const Matrix & /*best*/, double stepA, double stepB, double stepC,
                        const Matrix &pointA, const Matrix &pointB, const Matrix & /*pointC*/,
                        double valueA, double valueB, double valueC, const Matrix &direction)
{
    double m = 0.0;
    if (!parabolaVertex(stepA, stepB, stepC, valueA, valueB, valueC, m))
        return pointB;
    return pointA + direction * (m - stepA);
}

void FiniteDifferenceGradient(Matrix &gradient, OptimizationObjective objective, const Matrix &x,
                              double /*value*/, const Matrix &scale, double increment, int n)
{
    if (!positiveFinite(increment))
        throw std::invalid_argument("FiniteDifferenceGradient: increment is not positive");
    Matrix offset(x.rows, x.cols);
    Matrix trial(x.rows, x.cols);
    for (int i = 0; i < n; ++i) {
        const double h = scale.At(i) * increment;
        offset.At(i) = h;
        trial = x - offset;
        const double f1 = EvaluateObjective(objective, trial, n);
        if (StopOptimization)
            return;
        trial = x + offset;
        const double f2 = EvaluateObjective(objective, trial, n);
        if (StopOptimization)
            return;
        gradient.At(i) = (f2 - f1) / (2.0 * h);
        offset.At(i) = 0.0;
    }
}

void ForwardDifferenceGradient(Matrix &gradient, OptimizationObjective objective,
                               const Matrix &x, double value, const Matrix &scale,
                               double increment, int n)
{
    if (!positiveFinite(increment))
        throw std::invalid_argument("ForwardDifferenceGradient: increment is not positive");
    Matrix offset(x.rows, x.cols);
    Matrix trial(x.rows, x.cols);
    for (int i = 0; i < n; ++i) {
        offset.At(i) = scale.At(i) * increment;
        trial = x + offset;
        double f1 = EvaluateObjective(objective, trial, n);
        if (StopOptimization)
            return;
        if (f1 == value) {
            offset.At(i) = -increment;
            trial = x + offset;
            f1 = EvaluateObjective(objective, trial, n);
            if (StopOptimization)
                return;
        }
        gradient.At(i) = (f1 - value) / offset.At(i);
        offset.At(i) = 0.0;
    }
}

LineStepEnd DescentLineStep(Matrix &best, double &bestValue, OptimizationObjective objective,
                            Matrix &x, double &f, const Matrix &scale, Matrix d, double &step,
                            double tolerance, double maxStep, int n)
{
    // A gradient that is not a number (from a criterion that is not one) gives no direction.
    const double length = d.Norm();
    if (length == 0.0 || !std::isfinite(length))
        return LineStepEnd::ZeroDirection;
    const double minStep = tolerance * maxStep;
    d /= length;
    step = clampLength(step, minStep, maxStep);
    for (int i = 0; i < n; ++i)
        d.At(i) *= scale.At(i);

    const double maxLength = d.Norm() * maxStep;
    const double minLength = tolerance * maxLength;
    Matrix direction = d * step;
    const double initialLength = direction.Norm();
    direction /= initialLength;

    double stepA = 0.0, stepB = 0.0, stepC = 0.0;
    double valueA = 0.0, valueB = 0.0, valueC = 0.0;
    Matrix pointA(n, 1), pointB(n, 1), pointC(n, 1);
    LineSearch(stepA, stepB, stepC, pointA, pointB, pointC, valueA, valueB, valueC, objective, x,
               direction, f, minLength, initialLength, maxLength, n);
    if (StopOptimization)
        return LineStepEnd::Stopped;
    ParabolicMinimum(best, bestValue, objective, stepA, stepB, stepC, pointA, pointB, pointC,
                     valueA, valueB, valueC, direction, n);
    if (StopOptimization)
        return LineStepEnd::Stopped;
    if (!(bestValue <= f)) {
        // A value that is not a number counts as worse too.
        best = x;
        bestValue = f;
        return LineStepEnd::Worse;
    }
    Matrix moved = best - x;
    for (int i = 0; i < n; ++i)
        moved.At(i) /= scale.At(i);
    const double distance = moved.Norm();
    if (distance < minStep)
        return LineStepEnd::Converged;
    step = 0.5 * distance;
    x = best;
    f = bestValue;
    return LineStepEnd::Moved;
}

} // namespace numerics
