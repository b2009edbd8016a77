// The Runge-Kutta-Fehlberg integrator against exact solutions, and each of its result codes.
#include "simulator/numerics/rkf45.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

using namespace numerics;

namespace {

/// One RKF45 problem with its work arrays.
struct RkfProblem {
    int neqn;
    double t = 0.0;
    std::vector<double> y;
    double relerr, abserr;
    int iflag;
    std::vector<double> work;
    std::vector<int> iwork = std::vector<int>(5, 0);

    RkfProblem(std::vector<double> y0, double rel, double abs, int flag)
        : neqn(static_cast<int>(y0.size())), y(std::move(y0)), relerr(rel), abserr(abs),
          iflag(flag), work(3 + 6 * neqn, 0.0)
    {
    }

    void call(RkfDerivative f, double tout)
    {
        Rkf45Integrate(f, &neqn, y.data(), &t, &tout, &relerr, &abserr, &iflag, work.data(),
                       iwork.data());
    }

    int nfe() const { return iwork[0]; }
};

int g_evaluations = 0;

void cubic(const double *t, const double *, double *yp)
{
    ++g_evaluations;
    yp[0] = 3.0 * *t * *t + 2.0 * *t + 1.0;
}

void kepler(const double *, const double *y, double *yp)
{
    const double r = std::sqrt(y[0] * y[0] + y[1] * y[1]);
    const double r3 = r * r * r;
    yp[0] = y[2];
    yp[1] = y[3];
    yp[2] = -y[0] / r3;
    yp[3] = -y[1] / r3;
}

void decay(const double *, const double *y, double *yp)
{
    yp[0] = -y[0];
}

void still(const double *, const double *, double *yp)
{
    yp[0] = 0.0;
}

void blowUp(const double *, const double *y, double *yp)
{
    yp[0] = y[0] * y[0];
}

} // namespace

TEST(Rkf45, CubicSolutionIsExactInOneStep)
{
    // Loose tolerances let the starting step cover the whole interval.
    RkfProblem p({2.0}, 1.0, 1.0, -1);
    g_evaluations = 0;
    p.call(cubic, 1.0);
    ASSERT_EQ(p.iflag, 2);
    EXPECT_EQ(p.t, 1.0);
    EXPECT_NEAR(p.y[0], 2.0 + 3.0, 1e-14);
    EXPECT_EQ(g_evaluations, 7); // start, one step of six stages
    EXPECT_EQ(p.nfe(), 7);
}

TEST(Rkf45, CubicSolutionIsExactWhateverTheStep)
{
    RkfProblem p({0.0}, 1e-10, 1e-12, 1);
    for (double tout : {0.5, 1.0, 2.0, 3.0}) {
        p.call(cubic, tout);
        ASSERT_EQ(p.iflag, 2);
        EXPECT_NEAR(p.y[0], tout * tout * tout + tout * tout + tout, 1e-12 * (1 + tout * tout * tout));
    }
}

TEST(Rkf45, KeplerOrbitReturnsToItsStartAfterOnePeriod)
{
    const double e = 0.5;
    const std::vector<double> start = {1.0 - e, 0.0, 0.0, std::sqrt((1.0 + e) / (1.0 - e))};
    RkfProblem p(start, 1e-11, 1e-12, 1);
    const double period = 2.0 * std::numbers::pi;
    int calls = 0;
    do {
        p.call(kepler, period);
        ++calls;
        if (p.iflag == 4)
            p.iflag = 2; // more work allowed
    } while (p.iflag != 2 && calls < 100);
    ASSERT_EQ(p.iflag, 2);
    EXPECT_EQ(p.t, period);
    for (int k = 0; k < 4; ++k)
        EXPECT_NEAR(p.y[k], start[k], 1e-6) << k;
}

TEST(Rkf45, OneStepModeReturnsAfterEveryStepAndLandsOnToutExactly)
{
    RkfProblem p({1.0}, 1e-8, 1e-10, -1);
    double lastT = 0.0;
    int steps = 0;
    do {
        p.call(decay, 1.0);
        ++steps;
        ASSERT_TRUE(p.iflag == -2 || p.iflag == 2) << p.iflag;
        EXPECT_GT(p.t, lastT);
        lastT = p.t;
    } while (p.iflag == -2 && steps < 10000);
    EXPECT_GT(steps, 5);
    EXPECT_EQ(p.t, 1.0);
    EXPECT_NEAR(p.y[0], std::exp(-1.0), 1e-7);
}

TEST(Rkf45, StartAtToutEvaluatesOnceAndReturns)
{
    RkfProblem p({1.0}, 1e-6, 1e-6, -1);
    p.call(decay, 0.0);
    EXPECT_EQ(p.iflag, 2);
    EXPECT_EQ(p.t, 0.0);
    EXPECT_EQ(p.nfe(), 1);
    EXPECT_EQ(p.work[0], -1.0);
}

TEST(Rkf45, ZeroRelativeToleranceIsRaisedWithCodeThree)
{
    RkfProblem p({1.0}, 0.0, 1e-8, 1);
    p.call(decay, 1.0);
    ASSERT_EQ(p.iflag, 3);
    EXPECT_EQ(p.relerr, 4.44089209852e-16 + 1e-12);
    EXPECT_EQ(p.t, 0.0);
    p.call(decay, 1.0);
    ASSERT_EQ(p.iflag, 2);
    EXPECT_NEAR(p.y[0], std::exp(-1.0), 1e-7);
}

TEST(Rkf45, TooMuchWorkGivesCodeFourAndGoesOnAfterwards)
{
    RkfProblem p({1.0}, 1e-11, 1e-14, 1);
    p.call(decay, 500.0);
    ASSERT_EQ(p.iflag, 4);
    EXPECT_GT(p.nfe(), 3000);
    const double reached = p.t;
    EXPECT_GT(reached, 0.0);
    p.call(decay, 500.0);
    EXPECT_TRUE(p.iflag == 4 || p.iflag == 2);
    EXPECT_GT(p.t, reached);
}

TEST(Rkf45, PureRelativeTestOnAZeroSolutionGivesCodeFive)
{
    RkfProblem p({0.0}, 1e-6, 0.0, 1);
    p.call(still, 1.0);
    ASSERT_EQ(p.iflag, 5);
    // Going on needs a positive absolute tolerance.
    p.abserr = 1e-8;
    p.call(still, 1.0);
    EXPECT_EQ(p.iflag, 2);
}

TEST(Rkf45, UnattainableAccuracyAtTheSmallestStepGivesCodeSix)
{
    // y' = y^2 from 1 blows up at t = 1.
    RkfProblem p({1.0}, 1e-6, 1e-6, -1);
    int calls = 0;
    while ((p.iflag == -1 || p.iflag == -2 || p.iflag == 4) && calls < 100000) {
        if (p.iflag == 4)
            p.iflag = -2;
        p.call(blowUp, 2.0);
        ++calls;
    }
    ASSERT_EQ(p.iflag, 6);
    EXPECT_LT(p.t, 1.0);
    EXPECT_GT(p.t, 0.999);
}

TEST(Rkf45, TooFrequentOutputGivesCodeSeven)
{
    RkfProblem p({1.0}, 1e-6, 1e-6, 1);
    p.call(decay, 1.0);
    ASSERT_EQ(p.iflag, 2);
    int calls = 0;
    double tout = 1.0;
    while (p.iflag == 2 && calls < 1000) {
        tout += 1e-4;
        p.call(decay, tout);
        ++calls;
    }
    EXPECT_EQ(p.iflag, 7);
    EXPECT_EQ(calls, 100);
    EXPECT_EQ(p.iwork[1], 0); // KOP starts again
    // One-step mode is the cure.
    p.iflag = -2;
    p.call(decay, tout + 1e-4);
    EXPECT_TRUE(p.iflag == -2 || p.iflag == 2);
}

TEST(Rkf45, InvalidInputAndIgnoredResultsGiveCodeEight)
{
    struct Case {
        const char *what;
        int neqn;
        double relerr, abserr;
        int iflag;
    };
    const Case cases[] = {
        {"no equations", 0, 1e-6, 1e-6, 1},
        {"negative relative tolerance", 1, -1e-6, 1e-6, 1},
        {"negative absolute tolerance", 1, 1e-6, -1e-6, 1},
        {"flag zero", 1, 1e-6, 1e-6, 0},
        {"flag nine", 1, 1e-6, 1e-6, 9},
    };
    for (const Case &c : cases) {
        RkfProblem p({1.0}, c.relerr, c.abserr, c.iflag);
        p.neqn = c.neqn;
        p.call(decay, 1.0);
        EXPECT_EQ(p.iflag, 8) << c.what;
    }

    // Continuing at T = TOUT.
    RkfProblem same({1.0}, 1e-6, 1e-6, 1);
    same.call(decay, 1.0);
    ASSERT_EQ(same.iflag, 2);
    same.call(decay, 1.0);
    EXPECT_EQ(same.iflag, 8);
}

TEST(Rkf45, IgnoringAResultIsRefusedInsteadOfEndingTheProcess)
{
    // Code 5 answered with IFLAG 5 but still no absolute tolerance.
    RkfProblem p5({0.0}, 1e-6, 0.0, 1);
    p5.call(still, 1.0);
    ASSERT_EQ(p5.iflag, 5);
    p5.call(still, 1.0);
    EXPECT_EQ(p5.iflag, 8);

    // Code 6 answered with IFLAG 2 and the same tolerances.
    RkfProblem p6({1.0}, 1e-6, 1e-6, 1);
    int calls = 0;
    do {
        if (p6.iflag == 4)
            p6.iflag = 2;
        p6.call(blowUp, 2.0);
    } while (p6.iflag == 4 && ++calls < 1000);
    ASSERT_EQ(p6.iflag, 6);
    const double t6 = p6.t;
    p6.iflag = 2;
    p6.call(blowUp, 2.0);
    EXPECT_EQ(p6.iflag, 8);
    EXPECT_EQ(p6.t, t6);

    // Codes 6, 7 and 8 passed back as they came.
    for (int flag : {6, 7, 8, -3, -8}) {
        RkfProblem p({1.0}, 1e-6, 1e-6, 1);
        p.call(decay, 0.5);
        ASSERT_EQ(p.iflag, 2);
        p.iflag = flag;
        p.call(decay, 1.0);
        EXPECT_EQ(p.iflag, 8) << flag;
    }
}
