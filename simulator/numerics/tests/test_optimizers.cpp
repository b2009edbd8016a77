// The optimisation methods on published test functions with known minima, their evaluation
// counts in degenerate cases, the stop flag, and the line search, parabola, gradient and Hessian.
#include "simulator/numerics/continuous_descent.h"
#include "simulator/numerics/direct_search.h"
#include "simulator/numerics/finite_difference_hessian.h"
#include "simulator/numerics/gradient_descent.h"
#include "simulator/numerics/optimization.h"
#include "simulator/numerics/quasi_newton.h"

#include <gtest/gtest.h>

#include <cmath>
#include <algorithm>
#include <functional>
#include <iterator>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

using namespace numerics;

namespace {

/// A criterion with bounds on its variables, evaluated the way an optimisation run does: each
/// point is clamped into the bounds and written back before the criterion is computed.
struct Problem {
    std::function<double(const Matrix &)> f;
    std::vector<double> lower;
    std::vector<double> upper;
};

struct Recorder {
    const Problem *problem = nullptr;
    int evaluations = 0;
    int stopAt = 0; ///< evaluation that sets StopOptimization (without storing a value); 0 never
    bool sawNonFinite = false;
    std::vector<std::vector<double>> points;
};

Recorder recorder;

void objective(double *value, Matrix *point, int n)
{
    ++recorder.evaluations;
    std::vector<double> p(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        double v = point->At(i);
        if (!std::isfinite(v))
            recorder.sawNonFinite = true;
        const auto k = static_cast<std::size_t>(i);
        if (k < recorder.problem->lower.size()) {
            if (v <= recorder.problem->lower[k])
                v = recorder.problem->lower[k];
            if (v >= recorder.problem->upper[k])
                v = recorder.problem->upper[k];
        }
        point->At(i) = v;
        p[k] = v;
    }
    recorder.points.push_back(p);
    if (recorder.stopAt > 0 && recorder.evaluations >= recorder.stopAt) {
        StopOptimization = 1;
        return;
    }
    *value = recorder.problem->f(*point);
}

void resetRecorder(const Problem &problem, int stopAt = 0)
{
    recorder = Recorder{};
    recorder.problem = &problem;
    recorder.stopAt = stopAt;
    StopOptimization = 0;
}

Matrix column(const std::vector<double> &values)
{
    Matrix v(static_cast<int>(values.size()), 1);
    v.Assign(values);
    return v;
}

struct RunResult {
    Matrix best;
    double bestValue = 0.0;
    Matrix x;
    Matrix scale;
    int evaluations = 0;
};

RunResult run(OptimizationMethod method, const Problem &problem, const std::vector<double> &start,
              double tolerance = 0.01, int stopAt = 0)
{
    resetRecorder(problem, stopAt);
    const int n = static_cast<int>(start.size());
    RunResult r{Matrix(n, 1), std::numeric_limits<double>::quiet_NaN(), column(start),
                Matrix(n, 1), 0};
    for (int i = 0; i < n; ++i) {
        const auto k = static_cast<std::size_t>(i);
        const double width = problem.upper[k] - problem.lower[k];
        r.scale.At(i) = width > 0.0 ? width : 1.0;
    }
    method(r.best, r.bestValue, objective, r.x, r.scale, tolerance, 0.1, n);
    r.evaluations = recorder.evaluations;
    return r;
}

double at(const Matrix &m, int i)
{
    return m.At(i);
}

const Problem rosenbrock{[](const Matrix &p) {
                             const double x = at(p, 0), y = at(p, 1);
                             return (1 - x) * (1 - x) + 100 * (y - x * x) * (y - x * x);
                         },
                         {-2, -2},
                         {2, 2}};

const Problem himmelblau{[](const Matrix &p) {
                             const double x = at(p, 0), y = at(p, 1);
                             return std::pow(x * x + y - 11, 2) + std::pow(x + y * y - 7, 2);
                         },
                         {-5, -5},
                         {5, 5}};

const Problem booth{[](const Matrix &p) {
                        const double x = at(p, 0), y = at(p, 1);
                        return std::pow(x + 2 * y - 7, 2) + std::pow(2 * x + y - 5, 2);
                    },
                    {-10, -10},
                    {10, 10}};

const Problem beale{[](const Matrix &p) {
                        const double x = at(p, 0), y = at(p, 1);
                        return std::pow(1.5 - x + x * y, 2) + std::pow(2.25 - x + x * y * y, 2) +
                               std::pow(2.625 - x + x * y * y * y, 2);
                    },
                    {-4.5, -4.5},
                    {4.5, 4.5}};

/// A convex quadratic in three variables of very different ranges, minimum at (3, 0.2, 40):
/// u^T A u with u = (x - c) / w.
const Problem quadratic{[](const Matrix &p) {
                            const double c[3] = {3, 0.2, 40}, w[3] = {5, 1, 50};
                            const double A[3][3] = {{4, 1, 0}, {1, 3, 0.5}, {0, 0.5, 2}};
                            double u[3], sum = 0.0;
                            for (int i = 0; i < 3; ++i)
                                u[i] = (at(p, i) - c[i]) / w[i];
                            for (int i = 0; i < 3; ++i)
                                for (int j = 0; j < 3; ++j)
                                    sum += u[i] * A[i][j] * u[j];
                            return sum;
                        },
                        {0, -1, 0},
                        {10, 1, 100}};

const Problem flat{[](const Matrix &) { return 2.5; }, {0, 0}, {1, 1}};

struct NamedMethod {
    const char *name;
    OptimizationMethod method;
};

/// The eight methods in the order of the method list.
const std::vector<NamedMethod> allMethods = {
    {"Bfgs", OptimizeBfgs},
    {"Dfp", OptimizeDfp},
    {"PolakRibiere", OptimizePolakRibiere},
    {"NewtonRaphson", OptimizeNewtonRaphson},
    {"ContinuousDescent", OptimizeContinuousDescent},
    {"SteepestDescent", OptimizeSteepestDescent},
    {"LineClimber", OptimizeLineClimber},
    {"PerpendicularSearch", OptimizePerpendicularSearch},
};

/// The working points at which an iteration formed its gradient: the centres of the
/// central-difference pairs along variable 0 (step h x scale(0)).
std::vector<std::vector<double>> gradientCentres(double h0)
{
    std::vector<std::vector<double>> centres;
    const auto &pts = recorder.points;
    for (std::size_t k = 0; k + 1 < pts.size(); ++k) {
        bool othersEqual = true;
        for (std::size_t j = 1; j < pts[k].size(); ++j)
            othersEqual = othersEqual && pts[k][j] == pts[k + 1][j];
        if (othersEqual && std::fabs(pts[k + 1][0] - pts[k][0] - 2 * h0) < 1e-9 * h0) {
            std::vector<double> c = pts[k];
            c[0] = 0.5 * (pts[k][0] + pts[k + 1][0]);
            centres.push_back(c);
            ++k;
        }
    }
    return centres;
}

TEST(OptimizationMethodTable, NamesAndSelection)
{
    const char *names[] = {"Broydon Fletcher Goldfarb Shanno", "Davidson Fletcher Powell",
                           "Polack Ribiere", "Newton Raphson", "Continuous Descent",
                           "Steepest Descent", "Line Climber", "Perpendicular Search"};
    for (int i = 0; i < 8; ++i) {
        const auto k = static_cast<std::size_t>(i);
        EXPECT_STREQ(OptimizationMethods[k].name, names[i]);
        EXPECT_TRUE(SelectOptimizationMethod(i));
        EXPECT_EQ(CurrentOptimizationMethod, allMethods[k].method) << allMethods[k].name;
    }
    EXPECT_FALSE(SelectOptimizationMethod(8));
    EXPECT_FALSE(SelectOptimizationMethod(-1));
    EXPECT_EQ(CurrentOptimizationMethod, OptimizePerpendicularSearch);
    CurrentOptimizationMethod = nullptr;
}

// On Rosenbrock's valley every method ends inside the bounds, no worse than the start, with the
// value that belongs to its point; the quasi-Newton methods reach the minimum (1, 1).
TEST(OptimizersTest, RosenbrockFromTheClassicStart)
{
    const double startValue = 24.2;
    for (const auto &[name, method] : allMethods) {
        for (double tolerance : {0.01, 1e-5}) {
            const RunResult r = run(method, rosenbrock, {-1.2, 1}, tolerance);
            SCOPED_TRACE(std::string(name) + " tolerance " + std::to_string(tolerance));
            for (int i = 0; i < 2; ++i) {
                EXPECT_GE(r.best.At(i), -2.0);
                EXPECT_LE(r.best.At(i), 2.0);
            }
            EXPECT_LE(r.bestValue, startValue);
            Matrix check = r.best;
            EXPECT_DOUBLE_EQ(r.bestValue, rosenbrock.f(check));
            EXPECT_FALSE(recorder.sawNonFinite);
        }
    }
    for (OptimizationMethod method : {OptimizeBfgs, OptimizeDfp}) {
        const RunResult r = run(method, rosenbrock, {-1.2, 1}, 1e-5);
        EXPECT_NEAR(r.best.At(0), 1.0, 1e-4);
        EXPECT_NEAR(r.best.At(1), 1.0, 1e-4);
    }
}

// A convex quadratic with exact central differences and exact parabolas: the quasi-Newton methods
// reach the minimum within n = 3 iterations, Newton-Raphson (whose Hessian must be right in
// scaled coordinates) within one.
TEST(OptimizersTest, ConvexQuadraticIterationCounts)
{
    const std::vector<double> minimum = {3, 0.2, 40};
    const double h0 = 0.01 * 0.1 * 10.0; // minStep x scale(0)
    struct Case {
        OptimizationMethod method;
        std::size_t iterations;
    };
    for (const auto &[method, iterations] :
         {Case{OptimizeBfgs, 3}, Case{OptimizeDfp, 3}, Case{OptimizeNewtonRaphson, 1}}) {
        const RunResult r = run(method, quadratic, {6, -0.5, 70});
        const auto centres = gradientCentres(h0);
        ASSERT_GT(centres.size(), iterations);
        const auto &reached = centres[iterations];
        for (std::size_t i = 0; i < 3; ++i)
            EXPECT_NEAR(reached[i], minimum[i], 1e-6 * (quadratic.upper[i] - quadratic.lower[i]))
                << "iteration " << iterations << " variable " << i;
        for (int i = 0; i < 3; ++i)
            EXPECT_NEAR(r.best.At(i), minimum[static_cast<std::size_t>(i)],
                        1e-6 * (quadratic.upper[static_cast<std::size_t>(i)] -
                                quadratic.lower[static_cast<std::size_t>(i)]));
    }
}

struct KnownMinimum {
    const char *problemName;
    const Problem *problem;
    std::vector<double> start;
    std::vector<double> minimum;
};

TEST(OptimizersTest, PublishedMinimaFromNearbyStarts)
{
    const std::vector<KnownMinimum> cases = {
        {"Himmelblau 1", &himmelblau, {3.5, 2.5}, {3.0, 2.0}},
        {"Himmelblau 2", &himmelblau, {-2.5, 3.5}, {-2.805118, 3.131312}},
        {"Himmelblau 3", &himmelblau, {-3.5, -3.0}, {-3.779310, -3.283186}},
        {"Himmelblau 4", &himmelblau, {3.3, -1.5}, {3.584428, -1.848126}},
        {"Booth", &booth, {0, 0}, {1, 3}},
        {"Beale", &beale, {2.8, 0.4}, {3, 0.5}},
    };
    for (const auto &c : cases) {
        for (const auto &[name, method] : allMethods) {
            SCOPED_TRACE(std::string(name) + " on " + c.problemName);
            const RunResult r = run(method, *c.problem, c.start, 1e-5);
            for (int i = 0; i < 2; ++i)
                EXPECT_NEAR(r.best.At(i), c.minimum[static_cast<std::size_t>(i)], 1e-3);
        }
    }
}

// Where the finite-difference gradient is zero the gradient methods stop after the start and one
// gradient (1 + 2n evaluations, Newton-Raphson adding its Hessian); the perpendicular search
// stops after one cycle of failed probes.
TEST(OptimizersTest, EvaluationCountsWhenNothingImproves)
{
    const Problem bowl{[](const Matrix &p) {
                           return std::pow(at(p, 0) - 0.5, 2) + std::pow(at(p, 1) - 0.5, 2);
                       },
                       {0, 0},
                       {1, 1}};
    struct Case {
        const char *name;
        OptimizationMethod method;
        const Problem *problem;
        int evaluations;
    };
    const int n = 2;
    for (const auto &c : {Case{"Bfgs", OptimizeBfgs, &flat, 1 + 2 * n},
                          Case{"Dfp", OptimizeDfp, &flat, 1 + 2 * n},
                          Case{"PolakRibiere", OptimizePolakRibiere, &flat, 1 + 2 * n},
                          Case{"SteepestDescent", OptimizeSteepestDescent, &flat, 1 + 2 * n},
                          Case{"ContinuousDescent", OptimizeContinuousDescent, &flat, 1 + 2 * n},
                          Case{"NewtonRaphson", OptimizeNewtonRaphson, &flat, 1 + 2 * n + 2 * n * n},
                          Case{"PerpendicularSearch", OptimizePerpendicularSearch, &flat, 1 + 2 * n},
                          Case{"PerpendicularSearch at the minimum", OptimizePerpendicularSearch,
                               &bowl, 1 + 2 * n}}) {
        SCOPED_TRACE(c.name);
        const RunResult r = run(c.method, *c.problem, {0.5, 0.5});
        EXPECT_EQ(r.evaluations, c.evaluations);
        EXPECT_EQ(r.best, column({0.5, 0.5}));
        Matrix check = r.best;
        EXPECT_EQ(r.bestValue, c.problem->f(check));
    }
}

TEST(OptimizersTest, ContinuousDescentEndsAfterAFailedFirstTrial)
{
    // A narrow well around 0.5004: the gradient points at it, the first trial step of 0.001
    // overshoots to a worse value, and the step falls below the smallest one.
    const Problem well{[](const Matrix &p) { return std::fabs(at(p, 0) - 0.5004); }, {0}, {1}};
    const RunResult r = run(OptimizeContinuousDescent, well, {0.5});
    EXPECT_EQ(r.evaluations, 1 + 2 + 1);
    EXPECT_EQ(r.best.At(0), 0.5);
}

// Successes double the shared step of the perpendicular search up to maxStep; at the bound both
// probes fail and the next cycle, having moved nothing, ends the search.
TEST(OptimizersTest, PerpendicularSearchDoublesItsStepUpToTheLargest)
{
    const Problem falling{[](const Matrix &p) { return -at(p, 0); }, {0}, {1}};
    const RunResult r = run(OptimizePerpendicularSearch, falling, {0.5});
    const double expected[] = {0.5, 0.501, 0.503, 0.507, 0.515, 0.531, 0.563, 0.627, 0.727, 0.827};
    ASSERT_GE(recorder.points.size(), std::size(expected));
    for (std::size_t k = 0; k < std::size(expected); ++k)
        EXPECT_NEAR(recorder.points[k][0], expected[k], 1e-12) << k;
    EXPECT_EQ(r.best.At(0), 1.0);
    EXPECT_EQ(r.bestValue, -1.0);
    EXPECT_EQ(recorder.points.back(), std::vector<double>{0.9});
}

// The line climber's backward probe accepts an equal value, its forward probe does not: on a
// criterion that is flat up to 0.5 and rises beyond, the climber first steps backwards.
TEST(OptimizersTest, LineClimberBackwardProbeAcceptsEqualValues)
{
    const Problem shelf{[](const Matrix &p) { return std::max(0.0, at(p, 0) - 0.5); }, {0}, {1}};
    run(OptimizeLineClimber, shelf, {0.5});
    ASSERT_GE(recorder.points.size(), 3u);
    EXPECT_NEAR(recorder.points[1][0], 0.501, 1e-12);
    EXPECT_NEAR(recorder.points[2][0], 0.499, 1e-12);
    EXPECT_LT(recorder.points[3][0], 0.499) << "the line search starts from the backward probe";
}

// A tolerance that is not a positive number would make every step and difference increment zero:
// each method only evaluates the start point.
TEST(OptimizersTest, NonPositiveToleranceIsRefused)
{
    for (const auto &[name, method] : allMethods) {
        for (double tolerance : {0.0, -0.01, std::numeric_limits<double>::quiet_NaN()}) {
            SCOPED_TRACE(std::string(name) + " tolerance " + std::to_string(tolerance));
            const RunResult r = run(method, rosenbrock, {-1.2, 3}, tolerance);
            EXPECT_EQ(r.evaluations, 1);
            EXPECT_EQ(r.best, column({-1.2, 2})) << "the start point as the objective clamped it";
            EXPECT_EQ(r.x, column({-1.2, 2}));
            EXPECT_DOUBLE_EQ(r.bestValue, 2.2 * 2.2 + 100 * 0.56 * 0.56);
        }
    }
}

// The stop flag ends every method at once; an objective that stops without storing a value
// leaves +infinity, not an uninitialised number.
TEST(OptimizersTest, StopFlagEndsEveryMethod)
{
    for (const auto &[name, method] : allMethods) {
        SCOPED_TRACE(name);
        RunResult r = run(method, rosenbrock, {-1.2, 1}, 0.01, 1);
        EXPECT_EQ(r.evaluations, 1);
        EXPECT_EQ(r.bestValue, std::numeric_limits<double>::infinity());
        EXPECT_EQ(StopOptimization, 1);

        for (int stopAt : {3, 8, 12}) {
            r = run(method, rosenbrock, {-1.2, 1}, 0.01, stopAt);
            // The line climber's two probes are not followed by a test of the flag.
            if (method == OptimizeLineClimber)
                EXPECT_LE(r.evaluations, stopAt + 2);
            else
                EXPECT_EQ(r.evaluations, stopAt);
        }
    }
}

// A criterion that is not a number beyond x = 1.3 must never hand a coordinate that is not a
// number to the model, and the methods end at a point with a real value.
TEST(OptimizersTest, CriterionThatIsNotANumberNeverReachesTheParameters)
{
    const Problem holed{[](const Matrix &p) {
                            if (at(p, 0) > 1.3)
                                return std::numeric_limits<double>::quiet_NaN();
                            return std::pow(at(p, 0) - 1.6, 2) + std::pow(at(p, 1), 2);
                        },
                        {-2, -2},
                        {2, 2}};
    for (const auto &[name, method] : allMethods) {
        SCOPED_TRACE(name);
        const RunResult r = run(method, holed, {-1.0, 0.5}, 0.01, 5000);
        EXPECT_FALSE(recorder.sawNonFinite);
        EXPECT_LT(r.evaluations, 5000);
        EXPECT_TRUE(std::isfinite(r.bestValue));
        EXPECT_LE(r.bestValue, 2.6 * 2.6 + 0.25);
    }
}

// With one variable the updated curvature is the secant slope y / s (for DFP its inverse); an
// update with yT s = 0 or with a result that is not finite leaves the matrix as it was, so that
// no NaN reaches the search direction.
TEST(QuasiNewtonUpdateTest, SecantSlopeAndSkippedUpdates)
{
    const Matrix one = column({1.0});
    EXPECT_DOUBLE_EQ(BfgsUpdate(one, column({0.5}), column({3.0})).First(), 6.0);
    EXPECT_DOUBLE_EQ(DfpUpdate(one, column({0.5}), column({3.0})).First(), 0.5 / 3.0);

    Matrix identity(2, 2);
    identity.SetIdentity();
    const Matrix s = column({1, 0}), y = column({0, 1}); // yT s = 0
    EXPECT_EQ(BfgsUpdate(identity, s, y), identity);
    EXPECT_EQ(DfpUpdate(identity, s, y), identity);

    const Matrix huge = column({1e300, 1e300});
    EXPECT_EQ(BfgsUpdate(identity, huge, huge), identity);
    EXPECT_EQ(DfpUpdate(identity, huge, huge), identity);
}

// --- building blocks -------------------------------------------------------------------------

struct Bracket {
    double stepA = -1, stepB = -1, stepC = -1;
    Matrix pointA{1, 1}, pointB{1, 1}, pointC{1, 1};
    double valueA = -1, valueB = -1, valueC = -1;
};

Bracket search(const Problem &problem, double origin, double direction, double minLength,
               double initialLength, double maxLength)
{
    resetRecorder(problem);
    Bracket b;
    Matrix o = column({origin});
    double originValue = problem.f(o);
    LineSearch(b.stepA, b.stepB, b.stepC, b.pointA, b.pointB, b.pointC, b.valueA, b.valueB,
               b.valueC, objective, o, column({direction}), originValue, minLength,
               initialLength, maxLength, 1);
    return b;
}

TEST(LineSearchTest, AscentAtTheSmallestLengthGivesUpAfterOneEvaluation)
{
    const Problem rising{[](const Matrix &p) { return at(p, 0); }, {-10}, {10}};
    const Bracket b = search(rising, 0.0, 1.0, 0.01, 0.001, 0.1);
    EXPECT_EQ(recorder.evaluations, 1);
    EXPECT_EQ(b.stepA, 0.0);
    EXPECT_EQ(b.stepB, 0.0);
    EXPECT_EQ(b.stepC, 0.0);
    EXPECT_EQ(b.pointC, column({0.0}));
    EXPECT_EQ(b.valueA, 0.0);
    EXPECT_EQ(b.valueC, 0.0);
}

TEST(LineSearchTest, WorseFirstTrialIsRetriedAtTheSmallestLengthThenDoubled)
{
    const Problem bowl{[](const Matrix &p) { return std::pow(at(p, 0) - 0.1, 2); }, {-10}, {10}};
    const Bracket b = search(bowl, 0.0, 1.0, 0.01, 0.5, 1.0);
    EXPECT_EQ(recorder.evaluations, 5);
    EXPECT_NEAR(b.stepA, 0.03, 1e-15);
    EXPECT_NEAR(b.stepB, 0.07, 1e-15);
    EXPECT_NEAR(b.stepC, 0.15, 1e-15);
    EXPECT_LE(b.valueB, b.valueA);
    EXPECT_GE(b.valueC, b.valueB);
}

TEST(LineSearchTest, EndlessDescentStopsAtTheBoundWithCappedIncrements)
{
    const Problem falling{[](const Matrix &p) { return -at(p, 0); }, {0}, {1}};
    const Bracket b = search(falling, 0.0, 1.0, 0.001, 0.001, 0.1);
    const auto &pts = recorder.points;
    ASSERT_GE(pts.size(), 3u);
    for (std::size_t k = 1; k < pts.size(); ++k)
        EXPECT_LE(pts[k][0] - pts[k - 1][0], 0.1 + 1e-12);
    EXPECT_EQ(pts.back()[0], 1.0);
    EXPECT_EQ(b.valueC, b.valueB) << "equal values end the expansion";
}

TEST(LineSearchTest, StopFlagEndsTheSearch)
{
    const Problem falling{[](const Matrix &p) { return -at(p, 0); }, {-100}, {100}};
    resetRecorder(falling, 3);
    Bracket b;
    LineSearch(b.stepA, b.stepB, b.stepC, b.pointA, b.pointB, b.pointC, b.valueA, b.valueB,
               b.valueC, objective, column({0}), column({1}), 0.0, 0.01, 0.01, 1.0, 1);
    EXPECT_EQ(recorder.evaluations, 3);
}

TEST(ParabolicMinimumTest, DegenerateAndExactCases)
{
    const Problem bowl{[](const Matrix &p) { return std::pow(at(p, 0) - 0.37, 2) + 1.0; },
                       {-10},
                       {10}};
    resetRecorder(bowl);
    Matrix best(1, 1);
    double bestValue = 0;
    const Matrix A = column({0.0}), B = column({1.0}), C = column({2.0}), dir = column({1.0});

    // All three steps 0 (a failed search): pointB without an evaluation.
    ParabolicMinimum(best, bestValue, objective, 0, 0, 0, A, B, C, 5, 6, 7, dir, 1);
    EXPECT_EQ(best, B);
    EXPECT_EQ(bestValue, 6.0);
    // Values on a straight line: no curvature, pointB again.
    ParabolicMinimum(best, bestValue, objective, 0, 1, 2, A, B, C, 1, 2, 3, dir, 1);
    EXPECT_EQ(best, B);
    EXPECT_EQ(recorder.evaluations, 0);
    // An exact quadratic: the vertex in one evaluation.
    auto f = [&](double s) {
        Matrix p = column({s});
        return bowl.f(p);
    };
    ParabolicMinimum(best, bestValue, objective, 0, 1, 2, A, B, C, f(0), f(1), f(2), dir, 1);
    EXPECT_EQ(recorder.evaluations, 1);
    EXPECT_NEAR(best.At(0), 0.37, 1e-12);
    EXPECT_NEAR(bestValue, 1.0, 1e-12);
    const Matrix vertex =
        ParabolicMinimum(best, 0, 1, 2, A, B, C, f(0), f(1), f(2), dir);
    EXPECT_NEAR(vertex.At(0), 0.37, 1e-12);
}

TEST(GradientTest, CentralDifferencesAndStop)
{
    const Problem cubic{[](const Matrix &p) {
                            return 3 * at(p, 0) * at(p, 0) + at(p, 0) * at(p, 1) +
                                   std::pow(at(p, 1), 2);
                        },
                        {-100, -100},
                        {100, 100}};
    resetRecorder(cubic);
    Matrix g(2, 1);
    FiniteDifferenceGradient(g, objective, column({1, 2}), 0.0, column({2, 10}), 0.001, 2);
    EXPECT_EQ(recorder.evaluations, 4);
    EXPECT_NEAR(g.At(0), 8.0, 1e-9);
    EXPECT_NEAR(g.At(1), 5.0, 1e-9);

    resetRecorder(cubic, 1);
    Matrix kept = column({42});
    FiniteDifferenceGradient(kept, objective, column({1}), 0.0, column({1}), 0.001, 1);
    EXPECT_EQ(recorder.evaluations, 1);
    EXPECT_EQ(kept.At(0), 42.0);

    resetRecorder(cubic);
    Matrix forward(2, 1);
    Matrix point = column({1, 2});
    ForwardDifferenceGradient(forward, objective, point, cubic.f(point), column({1, 1}), 1e-7, 2);
    EXPECT_NEAR(forward.At(0), 8.0, 1e-5);
    EXPECT_NEAR(forward.At(1), 5.0, 1e-5);

    EXPECT_THROW(FiniteDifferenceGradient(g, objective, point, 0.0, column({1, 1}), 0.0, 2),
                 std::invalid_argument);
}

// In scaled coordinates the Hessian of f is S A S (S the diagonal of the scales, A the Hessian in
// real units); the scales differ so that a division by scale(i) x h instead of h would show.
TEST(HessianTest, ScaledHessianOfAQuadratic)
{
    const Problem q{[](const Matrix &p) {
                        const double x = at(p, 0), y = at(p, 1);
                        return 1.5 * x * x + 2 * x * y + 0.5 * y * y;
                    },
                    {-1000, -1000},
                    {1000, 1000}};
    const double A[2][2] = {{3, 2}, {2, 1}};
    const double s[2] = {2, 10};
    const Matrix x = column({1, -1});
    const Matrix scale = column({s[0], s[1]});
    const double h = 0.001;

    resetRecorder(q);
    Matrix g0(2, 1);
    FiniteDifferenceGradient(g0, objective, x, 0.0, scale, h * 0.5, 2);
    for (int k = 0; k < 2; ++k)
        g0.At(k) *= scale.At(k);
    resetRecorder(q);
    Matrix backward(2, 2), central(2, 2);
    FiniteDifferenceHessian(backward, objective, x, g0, 0.0, scale, h, 2);
    EXPECT_EQ(recorder.evaluations, 2 * 2 * 2);
    CentralDifferenceHessian(central, objective, x, scale, h, 2);
    for (int i = 0; i < 2; ++i)
        for (int k = 0; k < 2; ++k) {
            const double expected = s[i] * A[i][k] * s[k];
            EXPECT_NEAR(backward.GetElement(i, k), expected, 1e-6 * std::fabs(expected))
                << i << "," << k;
            EXPECT_NEAR(central.GetElement(i, k), expected, 1e-6 * std::fabs(expected))
                << i << "," << k;
        }
}

} // namespace
