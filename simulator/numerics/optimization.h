// What the optimisation methods share: calling convention, method table, stop flag, line search,
// parabolic interpolation and finite-difference gradients.
//
// Steps and tolerances are measured in scaled coordinates: variable i in units of scale(i), the
// width of its range, so that a scaled step of 1.0 crosses the whole range of every variable.
#pragma once

#include "simulator/numerics/matrix.h"

#include <array>

namespace numerics {

/// Stores the criterion at point into *value (smaller is better). It may clamp the point into
/// its bounds and write it back, and it may set StopOptimization instead of storing a value.
using OptimizationObjective = void (*)(double *value, Matrix *point, int n);

/// One optimisation method: minimises the objective from the start point x (n x 1, left at the
/// last working point) and writes the best point found into best (n x 1) and its value into
/// bestValue. scale holds one positive width per variable; tolerance is the relative accuracy
/// and maxStep the largest step, both in scaled units.
using OptimizationMethod = void (*)(Matrix &best, double &bestValue,
                                    OptimizationObjective objective, Matrix &x,
                                    const Matrix &scale, double tolerance, double maxStep, int n);

/// 1 asks the running method to return at its next test; every method clears it on entry.
extern int StopOptimization;

/// The method an optimisation run calls; null until one is chosen.
extern OptimizationMethod CurrentOptimizationMethod;

/// A method with the name the method list shows for it.
struct OptimizationMethodEntry {
    const char *name;
    OptimizationMethod method;
};

/// The eight methods by their index in the method list.
extern const std::array<OptimizationMethodEntry, 8> OptimizationMethods;

/// Makes method index 0-7 the current method; any other index changes nothing and answers false
/// (the caller shows "Wrong optimization method").
bool SelectOptimizationMethod(int index);

/// Calls the objective; the answer is +infinity when the objective stored no value.
double EvaluateObjective(OptimizationObjective objective, Matrix &point, int n);

/// Clears StopOptimization, evaluates the start point x into f and makes it best and bestValue.
/// Answers false when the method must end at once: the stop flag is set, or tolerance or maxStep
/// is not a positive finite number (then nothing smaller than a zero step could be taken).
/// Throws std::invalid_argument when x, best or scale is not an n x 1 vector.
bool BeginOptimization(Matrix &best, double &bestValue, OptimizationObjective objective,
                       Matrix &x, double &f, const Matrix &scale, double tolerance,
                       double maxStep, int n);

/// Brackets a minimum from origin along direction by doubling steps: on return
/// stepA <= stepB <= stepC, each point being origin moved by its step (as far as the objective's
/// clamping let it), with its value. A first trial worse than the origin is retried at
/// minLength; when that is worse too all three steps are 0 and all points the origin.
void LineSearch(double &stepA, double &stepB, double &stepC, Matrix &pointA, Matrix &pointB,
                Matrix &pointC, double &valueA, double &valueB, double &valueC,
                OptimizationObjective objective, const Matrix &origin, const Matrix &direction,
                double originValue, double minLength, double initialLength, double maxLength,
                int n);

/// Evaluates the vertex of the parabola through the three bracketing points into best and
/// bestValue; a degenerate parabola gives pointB and valueB without an evaluation.
void ParabolicMinimum(Matrix &best, double &bestValue, OptimizationObjective objective,
                      double stepA, double stepB, double stepC, const Matrix &pointA,
                      const Matrix &pointB, const Matrix &pointC, double valueA, double valueB,
                      double valueC, const Matrix &direction, int n);

/// The vertex ParabolicMinimum would evaluate, without evaluating it.
Matrix ParabolicMinimum(const Matrix &best, double stepA, double stepB, double stepC,
                        const Matrix &pointA, const Matrix &pointB, const Matrix &pointC,
                        double valueA, double valueB, double valueC, const Matrix &direction);

/// Central-difference gradient at x with steps scale(i) x increment (2n evaluations); on a stop
/// the elements not yet reached keep their values. Throws std::invalid_argument when increment
/// is not a positive finite number.
void FiniteDifferenceGradient(Matrix &gradient, OptimizationObjective objective, const Matrix &x,
                              double value, const Matrix &scale, double increment, int n);

/// Forward-difference gradient from the value at x (n to 2n evaluations).
void ForwardDifferenceGradient(Matrix &gradient, OptimizationObjective objective,
                               const Matrix &x, double value, const Matrix &scale,
                               double increment, int n);

/// How one line step of the gradient methods ended.
enum class LineStepEnd { Moved, ZeroDirection, Stopped, Worse, Converged };

/// One line step of the gradient methods from the working point x with value f along the scaled
/// direction d: line search, parabolic vertex, and the move to it when it is no worse than f.
/// step is the scaled length of the first trial, clamped into [tolerance x maxStep, maxStep]
/// and set to half the scaled distance moved. On Worse best and bestValue are x and f.
LineStepEnd DescentLineStep(Matrix &best, double &bestValue, OptimizationObjective objective,
                            Matrix &x, double &f, const Matrix &scale, Matrix d, double &step,
                            double tolerance, double maxStep, int n);

} // namespace numerics
