// CVODE against the DAE integrator on the stiff Van der Pol oscillator, and MINPACK's hybrd1 on
// systems with known roots.
#include "simulator/numerics/cvode_adapter.h"
#include "simulator/numerics/ddassl.h"
#include "simulator/numerics/minpack_adapter.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <vector>

using namespace numerics;

namespace {

constexpr double kMu = 1000.0;

void vanDerPol(int, double, const double *y, double *ydot, void *)
{
    ydot[0] = y[1];
    ydot[1] = kMu * (1.0 - y[0] * y[0]) * y[1] - y[0];
}

void vanDerPolResidual(const double *t, const double *y, const double *yp, double *delta, int *,
                       double *, int *)
{
    double f[2];
    vanDerPol(2, *t, y, f, nullptr);
    delta[0] = f[0] - yp[0];
    delta[1] = f[1] - yp[1];
}

std::array<double, 2> vanDerPolByDdassl(double tout, double tol)
{
    int neq = 2;
    double t = 0.0;
    double y[2] = {2.0, 0.0};
    double yp[2];
    vanDerPol(2, t, y, yp, nullptr);
    double rtol[2] = {tol, tol};
    double atol[2] = {tol, tol};
    std::array<int, 15> info{};
    info[1] = 1;
    info[2] = 1;
    int lrw = neq * (neq + 9) + 40;
    int liw = neq + 20;
    std::vector<double> rwork(lrw, 0.0);
    std::vector<int> iwork(liw, 0);
    int idid = 1;
    double rpar = 0.0;
    int ipar = 0;
    do {
        DDASSL(vanDerPolResidual, &neq, &t, y, yp, &tout, info.data(), rtol, atol, &idid,
               rwork.data(), &lrw, iwork.data(), &liw, &rpar, &ipar, nullptr);
    } while (idid == 1);
    EXPECT_EQ(idid, 3);
    return {y[0], y[1]};
}

} // namespace

TEST(VodeAdapter, StiffVanDerPolAgreesWithTheDaeIntegrator)
{
    const double tout = 2000.0;
    VodeSettings settings;
    settings.relativeTolerance = 1e-10;
    settings.absoluteTolerance = 1e-10;
    VodeIntegrator vode;
    double y[2] = {2.0, 0.0};
    ASSERT_EQ(vode.start(2, vanDerPol, nullptr, 0.0, y, settings), VodeSuccess);
    double t = 0.0;
    long calls = 0;
    while (t < tout) {
        ASSERT_EQ(vode.step(tout, t, y), VodeSuccess) << "at t = " << t;
        ++calls;
    }
    EXPECT_EQ(vode.steps(), calls); // one internal step per call
    ASSERT_EQ(vode.valueAt(tout, y), VodeSuccess);

    const std::array<double, 2> reference = vanDerPolByDdassl(tout, 1e-10);
    EXPECT_NEAR(y[0], reference[0], 1e-4 * std::abs(reference[0]));
    EXPECT_NEAR(y[1], reference[1], 1e-4 * std::abs(reference[1]));
    // Slow phase of the second relaxation cycle: y1 falls from 2 towards 1.
    EXPECT_GT(reference[0], 1.0);
    EXPECT_LT(reference[0], 2.0);
}

TEST(VodeAdapter, StepsNeverPassTheStopTime)
{
    VodeSettings settings;
    VodeIntegrator vode;
    double y[2] = {2.0, 0.0};
    ASSERT_EQ(vode.start(2, vanDerPol, nullptr, 0.0, y, settings), VodeSuccess);
    const double stop = 0.3;
    ASSERT_EQ(vode.setStopTime(stop), VodeSuccess);
    double t = 0.0;
    while (t < stop) {
        ASSERT_EQ(vode.step(10.0, t, y), VodeSuccess) << "at t = " << t;
        ASSERT_LE(t, stop);
    }
    EXPECT_EQ(t, stop);
    VodeIntegrator idle;
    EXPECT_EQ(idle.setStopTime(1.0), VodeNoMemory);
}

TEST(VodeAdapter, FlagsMapToTheSimulatorsNumbering)
{
    struct Case {
        int cvode, expected;
    };
    const Case cases[] = {
        {0, VodeSuccess},       {-1, VodeTooMuchWork},  {-2, VodeTooMuchAccuracy},
        {-3, VodeErrorTestFailure}, {-4, VodeConvergenceFailure}, {-6, VodeSetupFailure},
        {-7, VodeSolveFailure}, {-22, VodeIllegalInput}, {-8, VodeOtherFailure},
    };
    for (const Case &c : cases)
        EXPECT_EQ(vodeResultFromCvode(c.cvode), c.expected) << c.cvode;
}

TEST(VodeAdapter, StepBeforeStartAndIllegalSettingsAreRefused)
{
    VodeIntegrator vode;
    double t = 0.0;
    double y[1] = {1.0};
    EXPECT_EQ(vode.step(1.0, t, y), VodeNoMemory);
    VodeSettings settings;
    settings.relativeTolerance = -1.0;
    EXPECT_EQ(vode.start(1, vanDerPol, nullptr, 0.0, y, settings), VodeIllegalInput);
    EXPECT_FALSE(vode.started());
}

namespace {

int circleAndHyperbola(int, const double *x, double *f, void *)
{
    f[0] = x[0] * x[0] + x[1] * x[1] - 4.0;
    f[1] = x[0] * x[1] - 1.0;
    return 0;
}

int rosenbrock(int, const double *x, double *f, void *)
{
    f[0] = 10.0 * (x[1] - x[0] * x[0]);
    f[1] = 1.0 - x[0];
    return 0;
}

int countedStop(int, const double *x, double *f, void *data)
{
    int &calls = *static_cast<int *>(data);
    f[0] = x[0] - 3.0;
    return ++calls >= 2 ? -1 : 0;
}

int solve(HybridFunction fcn, void *data, std::vector<double> &x, double tol)
{
    const int n = static_cast<int>(x.size());
    std::vector<double> fvec(n);
    int lwa = n * (3 * n + 16) / 2;
    std::vector<double> wa(lwa);
    return HYBRD1(fcn, data, n, x.data(), fvec.data(), tol, wa.data(), lwa);
}

} // namespace

TEST(MinpackAdapter, SolvesNonlinearSystemsWithKnownRoots)
{
    std::vector<double> x = {2.0, 0.5};
    EXPECT_EQ(solve(circleAndHyperbola, nullptr, x, 1e-10), 1);
    const double x0 = std::sqrt(2.0 + std::sqrt(3.0));
    EXPECT_NEAR(x[0], x0, 1e-9);
    EXPECT_NEAR(x[1], 1.0 / x0, 1e-9);

    std::vector<double> r = {-1.2, 1.0};
    EXPECT_EQ(solve(rosenbrock, nullptr, r, 1e-10), 1);
    EXPECT_NEAR(r[0], 1.0, 1e-9);
    EXPECT_NEAR(r[1], 1.0, 1e-9);
}

TEST(MinpackAdapter, ImproperInputAndAStopFromTheFunction)
{
    std::vector<double> x = {0.0};
    EXPECT_EQ(solve(rosenbrock, nullptr, x, -1.0), 0);
    double fvec[2];
    double wa[4];
    double two[2] = {0.0, 0.0};
    EXPECT_EQ(HYBRD1(rosenbrock, nullptr, 2, two, fvec, 1e-8, wa, 4), 0);

    int calls = 0;
    std::vector<double> y = {0.0};
    EXPECT_LT(solve(countedStop, &calls, y, 1e-10), 0);
    EXPECT_EQ(calls, 2);
}
