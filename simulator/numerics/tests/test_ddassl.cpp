// The DAE integrator driven one step per call, against published and closed-form solutions, and
// its failure and illegal-input results.
#include "simulator/numerics/ddassl.h"
#include "simulator/numerics/ddastp.h"
#include "simulator/numerics/sparse_jacobian.h"
#include "simulator/numerics/subnormals.h"
#include "simulator/numerics/xermsg.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <functional>
#include <optional>
#include <vector>

using namespace numerics;

namespace {

/// One DAE problem with its work arrays sized as the simulator sizes them.
struct DaeProblem {
    int neq;
    double t = 0.0;
    std::vector<double> y, yp, rtol, atol, rwork;
    std::vector<int> iwork;
    std::array<int, 15> info{};
    int lrw, liw;
    int idid = 0;
    double rpar = 0.0;
    int ipar = 0;

    DaeProblem(std::vector<double> y0, std::vector<double> yp0, double rt, double at)
        : neq(static_cast<int>(y0.size())), y(std::move(y0)), yp(std::move(yp0)),
          rtol(neq, rt), atol(neq, at), rwork(neq * (neq + 9) + 40, 0.0), iwork(neq + 20, 0),
          lrw(neq * (neq + 9) + 40), liw(neq + 20)
    {
        info[1] = 1; // vector tolerances
        info[2] = 1; // one step per call
    }

    void call(DaeResidual res, double tout)
    {
        DDASSL(res, &neq, &t, y.data(), yp.data(), &tout, info.data(), rtol.data(), atol.data(),
               &idid, rwork.data(), &lrw, iwork.data(), &liw, &rpar, &ipar, nullptr);
    }

    /// Steps until TOUT is reached or a call fails; returns the number of calls.
    int runTo(DaeResidual res, double tout, int maxCalls = 100000)
    {
        int calls = 0;
        do {
            call(res, tout);
            ++calls;
        } while (idid == 1 && calls < maxCalls);
        return calls;
    }
};

void robertson(const double *, const double *y, const double *yp, double *delta, int *, double *,
               int *)
{
    delta[0] = -0.04 * y[0] + 1.0e4 * y[1] * y[2] - yp[0];
    delta[1] = 0.04 * y[0] - 1.0e4 * y[1] * y[2] - 3.0e7 * y[1] * y[1] - yp[1];
    delta[2] = y[0] + y[1] + y[2] - 1.0;
}

// y1' = y2, 0 = y2 + y1: y1 = e^-t, y2 = -e^-t.
void decay(const double *, const double *y, const double *yp, double *delta, int *, double *, int *)
{
    delta[0] = y[1] - yp[0];
    delta[1] = y[1] + y[0];
}

// The second unknown appears nowhere: the iteration matrix has a zero column.
void singular(const double *, const double *y, const double *yp, double *delta, int *, double *,
              int *)
{
    delta[0] = -y[0] - yp[0];
    delta[1] = y[0] - 1.0;
}

// y' = -y, but the model asks to stop once t passes 1.
void stopAfterOne(const double *t, const double *y, const double *yp, double *delta, int *ires,
                  double *, int *)
{
    delta[0] = -y[0] - yp[0];
    if (*t > 1.0)
        *ires = -2;
}

void oscillator(const double *, const double *y, const double *yp, double *delta, int *, double *,
                int *)
{
    delta[0] = y[1] - yp[0];
    delta[1] = -y[0] - yp[1];
}

constexpr int kChain = 10;

// Heat conduction along a chain of kChain cells with fixed zero ends: y' = A y, A tridiagonal
// (1, -2, 1); y(0) = sin(pi i / (kChain + 1)) is an eigenvector, so y(t) = y(0) exp(lambda t).
void chain(const double *, const double *y, const double *yp, double *delta, int *, double *,
           int *)
{
    for (int i = 0; i < kChain; ++i) {
        const double left = i > 0 ? y[i - 1] : 0.0;
        const double right = i + 1 < kChain ? y[i + 1] : 0.0;
        delta[i] = left - 2.0 * y[i] + right - yp[i];
    }
}

// dG/dy + CJ dG/dy' of the chain, dense (column by column) or in band storage (ML = MU = 1).
void chainDense(const double *, const double *, const double *, double *pd, const double *cj,
                double *, int *)
{
    for (int j = 0; j < kChain; ++j) {
        pd[j + j * kChain] = -2.0 - *cj;
        if (j > 0)
            pd[(j - 1) + j * kChain] = 1.0;
        if (j + 1 < kChain)
            pd[(j + 1) + j * kChain] = 1.0;
    }
}

void chainBand(const double *, const double *, const double *, double *pd, const double *cj,
               double *, int *)
{
    const int ld = 4; // 2 ML + MU + 1
    for (int j = 1; j <= kChain; ++j)
        for (int i = std::max(1, j - 1); i <= std::min(kChain, j + 1); ++i)
            pd[(i - j + 2) + (j - 1) * ld] = i == j ? -2.0 - *cj : 1.0;
}

} // namespace

TEST(Ddassl, EveryMatrixTypeFollowsTheClosedForm)
{
    struct Case {
        const char *what;
        int userJacobian, banded;
        DaeJacobian jac;
    };
    const Case cases[] = {
        {"dense by differences", 0, 0, nullptr},
        {"dense by JAC", 1, 0, chainDense},
        {"band by differences", 0, 1, nullptr},
        {"band by JAC", 1, 1, chainBand},
    };
    const double pi = std::acos(-1.0);
    const double s = std::sin(pi / (2.0 * (kChain + 1)));
    const double lambda = -4.0 * s * s;
    for (const Case &c : cases) {
        std::vector<double> y0(kChain), yp0(kChain);
        for (int i = 0; i < kChain; ++i) {
            y0[i] = std::sin(pi * (i + 1) / (kChain + 1));
            yp0[i] = lambda * y0[i];
        }
        DaeProblem p(y0, yp0, 1e-9, 1e-12);
        p.info[4] = c.userJacobian;
        p.info[5] = c.banded;
        p.iwork[LML - 1] = 1;
        p.iwork[LMU - 1] = 1;
        if (c.banded) {
            p.lrw = 40 + 9 * kChain + 4 * kChain + 2 * (kChain / 3 + 1);
            p.rwork.assign(p.lrw, 0.0);
        }
        const double tout = 2.0;
        int calls = 0;
        do {
            DDASSL(chain, &p.neq, &p.t, p.y.data(), p.yp.data(), &tout,
                   p.info.data(), p.rtol.data(), p.atol.data(), &p.idid, p.rwork.data(), &p.lrw,
                   p.iwork.data(), &p.liw, &p.rpar, &p.ipar, c.jac);
        } while (p.idid == 1 && ++calls < 100000);
        ASSERT_EQ(p.idid, 3) << c.what;
        EXPECT_EQ(p.iwork[LMTYPE - 1], 2 - c.userJacobian + 3 * c.banded) << c.what;
        for (int i = 0; i < kChain; ++i)
            EXPECT_NEAR(p.y[i], y0[i] * std::exp(2.0 * lambda), 1e-7) << c.what << " " << i;
    }
}

TEST(Ddassl, RobertsonAsDaeMatchesTheReferenceAtForty)
{
    // How small the algebraic component's absolute tolerance may be is told below, by
    // AMatrixSingularOnlyInRoundoffIsFormedAgainWithIncrementsOfAWeight.
    DaeProblem p({1.0, 0.0, 0.0}, {-0.04, 0.04, 0.0}, 1e-8, 1e-8);
    p.atol[1] = 1e-13;
    p.atol[2] = 1e-6;
    double lastT = 0.0;
    int calls = 0;
    do {
        p.call(robertson, 40.0);
        ++calls;
        ASSERT_GT(p.idid, 0) << "at t = " << p.t;
        if (p.idid == 1) {
            // One step per call, returned at the step's end.
            EXPECT_GT(p.t, lastT);
            EXPECT_EQ(p.t, p.rwork[LTN - 1]);
            EXPECT_EQ(p.iwork[LNST - 1], calls);
        }
        lastT = p.t;
    } while (p.idid == 1 && calls < 10000);
    ASSERT_EQ(p.idid, 3);
    EXPECT_EQ(p.t, 40.0);
    EXPECT_NEAR(p.y[0], 0.71582706872, 1e-4 * 0.71582706872);
    EXPECT_NEAR(p.y[2], 0.28416374574, 1e-4 * 0.28416374574);
    EXPECT_NEAR(p.y[1], 9.1855347648e-6, 1e-2 * 9.1855347648e-6);
    EXPECT_GT(p.iwork[LNRE - 1], p.iwork[LNST - 1]);
    EXPECT_GT(p.iwork[LNJE - 1], 0);
}

TEST(Ddassl, IndexOneDaeFollowsTheExponential)
{
    DaeProblem p({1.0, -1.0}, {-1.0, 1.0}, 1e-9, 1e-11);
    for (double tout : {0.5, 1.0, 2.5, 5.0}) {
        p.runTo(decay, tout);
        ASSERT_EQ(p.idid, 3);
        EXPECT_EQ(p.t, tout);
        EXPECT_NEAR(p.y[0], std::exp(-tout), 1e-6 * std::exp(-tout)) << tout;
        EXPECT_NEAR(p.y[1], -p.y[0], 1e-9) << tout;
        EXPECT_NEAR(p.yp[0], -std::exp(-tout), 1e-4 * std::exp(-tout)) << tout;
    }
    // The first steps raised the order; it stays within 1..5.
    EXPECT_GE(p.iwork[LKOLD - 1], 2);
    EXPECT_LE(p.iwork[LKOLD - 1], 5);
}

TEST(Ddassl, StartUpPhaseDoublesTheStepAndRaisesTheOrder)
{
    DaeProblem p({1.0, -1.0}, {-1.0, 1.0}, 1e-6, 1e-8);
    p.call(decay, 10.0);
    ASSERT_EQ(p.idid, 1);
    EXPECT_EQ(p.info[0], 1);
    EXPECT_EQ(p.iwork[LPHASE - 1], 0);
    EXPECT_EQ(p.iwork[LK - 1], 2);
    EXPECT_EQ(p.rwork[LH - 1], 2.0 * p.rwork[LHOLD - 1]);
    EXPECT_EQ(p.t, p.rwork[LHOLD - 1]);
}

TEST(Ddassl, FiveHundredStepsInOneCallGiveMinusOneAndTheNextCallGoesOn)
{
    DaeProblem p({1.0, 0.0}, {0.0, -1.0}, 1e-10, 1e-10);
    p.info[2] = 0; // return only at TOUT
    const double tout = 200.0;
    p.call(oscillator, tout);
    ASSERT_EQ(p.idid, -1);
    EXPECT_EQ(p.iwork[LNST - 1], 500);
    EXPECT_LT(p.t, tout);
    EXPECT_NEAR(p.y[0], std::cos(p.t), 1e-6);
    int calls = 1;
    while (p.idid == -1 && calls < 100) {
        p.info[0] = 1;
        p.call(oscillator, tout);
        ++calls;
    }
    ASSERT_EQ(p.idid, 3);
    EXPECT_NEAR(p.y[0], std::cos(tout), 1e-5);
}

TEST(Ddassl, OutputAtToutModeInterpolatesAtTout)
{
    DaeProblem p({1.0, -1.0}, {-1.0, 1.0}, 1e-9, 1e-11);
    p.info[2] = 0;
    p.call(decay, 3.0);
    ASSERT_EQ(p.idid, 3);
    EXPECT_EQ(p.t, 3.0);
    EXPECT_NEAR(p.y[0], std::exp(-3.0), 1e-6 * std::exp(-3.0));
}

TEST(Ddassl, ConsistentInitialDerivativeIsComputedWhenAsked)
{
    DaeProblem p({1.0, -1.0}, {0.0, 0.0}, 1e-9, 1e-11);
    p.info[10] = 1;
    p.runTo(decay, 1.0);
    ASSERT_EQ(p.idid, 3);
    EXPECT_NEAR(p.y[0], std::exp(-1.0), 1e-5);
}

TEST(Ddassl, SingularIterationMatrixGivesMinusEight)
{
    DaeProblem p({1.0, 0.0}, {-1.0, 0.0}, 1e-6, 1e-6);
    p.call(singular, 1.0);
    EXPECT_EQ(p.idid, -8);
    EXPECT_EQ(p.info[0], -1);
    EXPECT_EQ(p.t, 0.0);
    EXPECT_EQ(p.iwork[LCTF - 1], 3); // three singular attempts, H divided by 4 each time
    EXPECT_EQ(p.y[0], 1.0);
}

TEST(Ddassl, StopRequestFromTheResidualGivesMinusEleven)
{
    DaeProblem p({1.0}, {-1.0}, 1e-6, 1e-8);
    p.runTo(stopAfterOne, 10.0);
    EXPECT_EQ(p.idid, -11);
    EXPECT_EQ(p.info[0], -1);
    EXPECT_LE(p.t, 1.0);
    EXPECT_GT(p.t, 0.5);
    // The solution handed back belongs to the returned time.
    EXPECT_NEAR(p.y[0], std::exp(-p.t), 1e-4);
}

TEST(Ddassl, TooSmallTolerancesAreRaisedAndTheNextCallGoesOn)
{
    DaeProblem p({1.0, -1.0}, {-1.0, 1.0}, 1e-20, 1e-20);
    p.call(decay, 1.0);
    ASSERT_EQ(p.idid, -2);
    EXPECT_EQ(p.info[0], -1);
    EXPECT_GT(p.rtol[0], 1e-15);
    EXPECT_EQ(p.rtol[0], p.atol[0]);

    p.info[0] = 1;
    p.runTo(decay, 1.0);
    ASSERT_EQ(p.idid, 3);
    EXPECT_NEAR(p.y[0], std::exp(-1.0), 1e-9);
}

TEST(Ddassl, IllegalInputReturnsMinusThirtyThreeAndNeverEndsTheProcess)
{
    struct Case {
        const char *what;
        std::function<void(DaeProblem &, double &)> spoil;
        int error;
    };
    const std::vector<Case> cases = {
        {"TOUT equals T", [](DaeProblem &, double &tout) { tout = 0.0; }, 19},
        {"option not 0 or 1", [](DaeProblem &p, double &) { p.info[5] = 2; }, 1},
        {"all tolerances zero",
         [](DaeProblem &p, double &) { p.rtol.assign(2, 0.0); p.atol.assign(2, 0.0); }, 8},
        {"negative relative tolerance", [](DaeProblem &p, double &) { p.rtol[1] = -1.0; }, 6},
        {"negative absolute tolerance", [](DaeProblem &p, double &) { p.atol[0] = -1.0; }, 7},
        // The first component with a negative tolerance is told, its relative one first.
        {"negative absolute before a negative relative tolerance",
         [](DaeProblem &p, double &) { p.atol[0] = -1.0; p.rtol[1] = -1.0; }, 7},
        {"both of one component negative",
         [](DaeProblem &p, double &) { p.atol[1] = -1.0; p.rtol[1] = -1.0; p.rtol[0] = 0.0; p.atol[0] = 0.0; }, 6},
        {"real work one short", [](DaeProblem &p, double &) { p.lrw -= 1; }, 4},
        {"integer work one short", [](DaeProblem &p, double &) { p.liw -= 1; }, 5},
        {"initial step against the direction",
         [](DaeProblem &p, double &) { p.info[7] = 1; p.rwork[LH - 1] = -0.1; }, 11},
        {"zero maximum step", [](DaeProblem &p, double &) { p.info[6] = 1; }, 10},
        {"maximum order out of range",
         [](DaeProblem &p, double &) { p.info[8] = 1; p.iwork[LMXORD - 1] = 6; }, 3},
    };
    for (const Case &c : cases) {
        DaeProblem p({1.0, -1.0}, {-1.0, 1.0}, 1e-6, 1e-6);
        double tout = 1.0;
        c.spoil(p, tout);
        p.call(decay, tout);
        EXPECT_EQ(p.idid, -33) << c.what;
        EXPECT_EQ(p.info[0], -1) << c.what;
        EXPECT_NE(xermsgLastReport().find("ERROR NUMBER = " + formatI8(c.error)),
                  std::string::npos)
            << c.what << "\n" << xermsgLastReport();

        // Calling again without acting on the failure is refused the same way.
        p.call(decay, tout);
        EXPECT_EQ(p.idid, -33) << c.what;
        EXPECT_NE(xermsgLastReport().find("FATAL ERROR"), std::string::npos) << c.what;
    }
}

TEST(Ddassl, SimulatorWorkLengthsAreExactlyEnough)
{
    DaeProblem p({1.0, 0.0, 0.0}, {-0.04, 0.04, 0.0}, 1e-6, 1e-6);
    p.call(robertson, 1.0);
    EXPECT_EQ(p.idid, 1);
}

TEST(Xermsg, ComposesTheReportAndNeverEndsTheProcess)
{
    const char lib[] = "SLATEC";
    const char sub[] = "DDASSL";
    const char msg[] = "FIRST$$SECOND";
    struct Case {
        int nerr, level;
        const char *expect; // empty: nothing composed
    };
    const Case cases[] = {
        {5, 1, "POTENTIALLY RECOVERABLE ERROR, PROGRAM CONTINUES."},
        {-998, 2, "FATAL ERROR, PROGRAM ABORTED."},
        {7, -1, "INFORMATIVE MESSAGE, PROGRAM CONTINUES."},
        {0, 1, ""},
        {5, 3, ""},
        {100000000, 1, ""},
    };
    for (const Case &c : cases) {
        XERMSG(lib, sub, msg, &c.nerr, &c.level, 6, 6, 13);
        const std::string &report = xermsgLastReport();
        if (*c.expect == '\0') {
            EXPECT_TRUE(report.empty()) << c.nerr << " " << c.level;
            continue;
        }
        EXPECT_NE(report.find("MESSAGE FROM ROUTINE DDASSL IN LIBRARY SLATEC."), std::string::npos);
        EXPECT_NE(report.find(c.expect), std::string::npos) << report;
        EXPECT_NE(report.find("FIRST\nSECOND"), std::string::npos) << report;
    }
}

TEST(Xermsg, FortranNumberFormats)
{
    EXPECT_EQ(formatI8(-998), "    -998");
    EXPECT_EQ(formatI8(123456789), "********");
    EXPECT_EQ(format1PD15_6(40.0), "   4.000000E+01");
    EXPECT_EQ(format1PD15_6(-1.5e-7), "  -1.500000E-07");
    EXPECT_EQ(format1PD15_6(0.0), "   0.000000E+00");
    EXPECT_EQ(format1PD15_6(2.5e-300), "   2.500000-300");
}

namespace {

/// The tridiagonal structure of order n (the chain's and the ladder's), for the sparse matrix type.
SparseJacobian tridiagonalStructure(int n = kChain)
{
    std::vector<std::vector<int>> rows(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
        for (int j = std::max(0, i - 1); j <= std::min(n - 1, i + 1); ++j)
            rows[std::size_t(i)].push_back(j);
    return SparseJacobian(patternFromRows(rows));
}

/// The problem set up for the sparse matrix type with the work length it needs.
void useSparse(DaeProblem &p, SparseJacobian &sparse)
{
    p.info[11] = 1;
    p.lrw = int(DaeRealWorkLength(p.neq, &sparse));
    p.rwork.assign(std::size_t(p.lrw), 0.0);
    DaeAttachSparseMatrix(p.iwork.data(), &sparse);
}

} // namespace

// The sparse type differences the chain in its three column groups, one residual each, and
// follows the closed form as the dense and banded types do.
TEST(Ddassl, SparseMatrixTypeFollowsTheClosedFormWithOneResidualPerGroup)
{
    const double pi = std::acos(-1.0);
    const double s = std::sin(pi / (2.0 * (kChain + 1)));
    const double lambda = -4.0 * s * s;
    std::vector<double> y0(kChain), yp0(kChain);
    for (int i = 0; i < kChain; ++i) {
        y0[i] = std::sin(pi * (i + 1) / (kChain + 1));
        yp0[i] = lambda * y0[i];
    }
    SparseJacobian sparse = tridiagonalStructure();
    ASSERT_EQ(sparse.groups().count(), 3);
    DaeProblem p(y0, yp0, 1e-9, 1e-12);
    useSparse(p, sparse);
    static int residuals;
    residuals = 0;
    const DaeResidual counted = [](const double *t, const double *y, const double *yp, double *delta, int *ires,
                                   double *rpar, int *ipar) {
        ++residuals;
        chain(t, y, yp, delta, ires, rpar, ipar);
    };
    p.runTo(counted, 2.0);
    ASSERT_EQ(p.idid, 3);
    EXPECT_EQ(p.iwork[LMTYPE - 1], SparseMatrixType);
    EXPECT_EQ(p.iwork[LNPD - 1], 3 * kChain - 2);
    for (int i = 0; i < kChain; ++i)
        EXPECT_NEAR(p.y[i], y0[i] * std::exp(2.0 * lambda), 1e-7) << i;
    // Residuals outside the Jacobians are counted by the solver; each Jacobian takes three more.
    EXPECT_EQ(residuals, p.iwork[LNRE - 1] + 3 * p.iwork[LNJE - 1]);
    EXPECT_GT(p.iwork[LNJE - 1], 0);
}

// The sparse type's work lengths are exactly enough, it is refused without its matrix or with
// one of another order, and a zero column of it is a singular matrix as in the dense type.
TEST(Ddassl, SparseMatrixTypeChecksItsInputAndReportsASingularMatrix)
{
    SparseJacobian sparse = tridiagonalStructure();
    {
        DaeProblem p(std::vector<double>(kChain, 1.0), std::vector<double>(kChain, 0.0), 1e-6, 1e-6);
        useSparse(p, sparse);
        p.lrw -= 1;
        p.call(chain, 1.0);
        EXPECT_EQ(p.idid, -33);
        EXPECT_NE(xermsgLastReport().find("ERROR NUMBER = " + formatI8(4)), std::string::npos);
        p.info[0] = 0;
        p.lrw += 1;
        p.call(chain, 1.0);
        EXPECT_EQ(p.idid, 1);
    }
    for (SparseJacobian *attached : {static_cast<SparseJacobian *>(nullptr), &sparse}) {
        DaeProblem p({1.0, 0.0}, {-1.0, 0.0}, 1e-6, 1e-6);
        p.info[11] = 1;
        DaeAttachSparseMatrix(p.iwork.data(), attached);
        p.call(decay, 1.0);
        EXPECT_EQ(p.idid, -33);
        EXPECT_NE(xermsgLastReport().find("ERROR NUMBER = " + formatI8(20)), std::string::npos);
    }
    SparseJacobian two(patternFromRows({{0}, {0, 1}}));
    DaeProblem p({1.0, 0.0}, {-1.0, 0.0}, 1e-6, 1e-6);
    useSparse(p, two);
    p.call(singular, 1.0);
    EXPECT_EQ(p.idid, -8);
    EXPECT_EQ(p.iwork[LCTF - 1], 3);
    EXPECT_EQ(p.y[0], 1.0);
}

// Only the sparse type's calls count subnormals as zero (the residual sees it: a product below
// the normal range is zero there and itself in the dense type's calls), and each call gives the
// mode back as the caller had it.
TEST(Ddassl, SubnormalsCountAsZeroOnlyInsideTheSparseTypesCalls)
{
    static int flushedCalls, keptCalls;
    const DaeResidual observed = [](const double *t, const double *y, const double *yp, double *delta, int *ires,
                                    double *rpar, int *ipar) {
        volatile double tiny = 1e-300;
        const double product = tiny * 1e-10;
        if (product == 0.0 && subnormalModeBits() == SubnormalsAsZeroBits)
            ++flushedCalls;
        else if (product != 0.0 && subnormalModeBits() == 0)
            ++keptCalls;
        chain(t, y, yp, delta, ires, rpar, ipar);
    };
    auto run = [&](bool sparseType, bool flushedByCaller) {
        flushedCalls = keptCalls = 0;
        SparseJacobian sparse = tridiagonalStructure();
        DaeProblem p(std::vector<double>(kChain, 1.0), std::vector<double>(kChain, 0.0), 1e-6, 1e-6);
        if (sparseType)
            useSparse(p, sparse);
        std::optional<SubnormalsAsZero> callers;
        if (flushedByCaller)
            callers.emplace(true);
        p.runTo(observed, 1.0);
        EXPECT_EQ(p.idid, 3);
        EXPECT_EQ(subnormalModeBits(), flushedByCaller ? SubnormalsAsZeroBits : 0u);
    };
    run(false, false);
    EXPECT_EQ(flushedCalls, 0);
    EXPECT_GT(keptCalls, 10);
    run(true, false);
    EXPECT_GT(flushedCalls, 10);
    EXPECT_EQ(keptCalls, 0);
    run(true, true);
    EXPECT_EQ(keptCalls, 0);
    EXPECT_EQ(subnormalModeBits(), 0u);
}

// The weighted norm in its defining form, element by element in order: the solver's own must give
// the same bits for every length (its loops take the elements in fours and twos, then the rest).
TEST(Ddanrm, GivesTheBitsOfTheDefiningFormForEveryLength)
{
    auto defining = [](int n, const double* v, const double* w) {
        double vmax = 0.0;
        for (int i = 0; i < n; ++i)
            vmax = std::max(vmax, std::abs(v[i] / w[i]));
        if (vmax <= 0.0)
            return 0.0;
        double sum = 0.0;
        for (int i = 0; i < n; ++i) {
            const double q = (v[i] / w[i]) / vmax;
            sum += q * q;
        }
        return vmax * std::sqrt(sum / n);
    };
    struct Case {
        const char* what;
        std::function<double(int)> v, w;
    };
    const Case cases[] = {
        {"mixed signs and scales", [](int i) { return std::sin(1.7 * i + 0.3) * std::pow(10.0, i % 7 - 3); },
         [](int i) { return 1e-6 * (1.0 + 0.37 * i); }},
        {"largest element last", [](int i) { return double(i * i) + 1.0 / 3.0; }, [](int) { return 0.7; }},
        {"all zero", [](int) { return 0.0; }, [](int) { return 1.0; }},
        {"negative zeros and one element", [](int i) { return i == 4 ? -2.5 : -0.0; }, [](int) { return 1e-3; }},
        {"a NaN among the elements", [](int i) { return i == 2 ? std::nan("") : 1.0 + i; }, [](int) { return 2.0; }},
    };
    for (const Case& c : cases)
        for (int n = 1; n <= 13; ++n) {
            std::vector<double> v(static_cast<std::size_t>(n)), w(static_cast<std::size_t>(n));
            for (int i = 0; i < n; ++i) {
                v[std::size_t(i)] = c.v(i);
                w[std::size_t(i)] = c.w(i);
            }
            const double expected = defining(n, v.data(), w.data());
            const double got = DDANRM(&n, v.data(), w.data(), nullptr, nullptr);
            EXPECT_EQ(std::memcmp(&expected, &got, sizeof got), 0) << c.what << ", n = " << n << ": " << got
                                                                   << " instead of " << expected;
        }
}

namespace {

/// Capacitances of an RC ladder spread evenly in their logarithm from 1e-6 to 1.
std::vector<double> ladderCapacitances(int stages)
{
    std::vector<double> c(std::size_t(stages), 1e-6);
    for (int i = 1; i < stages; ++i)
        c[std::size_t(i)] = std::pow(10.0, -6.0 + 6.0 * i / (stages - 1));
    return c;
}

/// An RC ladder driven by sin(2 pi t) at its first node, resistances rpar, the last node open:
/// C_i v_i' = (v_i-1 - v_i + v_i+1 - v_i) / R. At rest at t = 0 the first node's residual carries
/// the forcing (1e4 / R at the first predicted point), its states and their weights are 1e-12.
std::vector<double> ladderC;
void rcLadder(const double *t, const double *y, const double *yp, double *delta, int *, double *rpar, int *)
{
    const int n = int(ladderC.size());
    for (int i = 0; i < n; ++i) {
        const double left = i == 0 ? std::sin(2.0 * std::acos(-1.0) * *t) : y[i - 1];
        const double right = i + 1 < n ? y[i + 1] - y[i] : 0.0;
        delta[i] = (left - y[i] + right) / (*rpar * ladderC[std::size_t(i)]) - yp[i];
    }
}

} // namespace

// A ladder started at rest with a small absolute tolerance: the difference increments of
// sqrt(uround) weights vanish in the roundoff of the driven first row, which made the matrix
// singular at t = 0 though the model is regular. Dense and sparse, it runs to the end without a
// failed corrector on the way (the increments show against that row from the first matrix on,
// none is singular or too coarse to converge with) and there agrees with the reference (Radau
// IIA at rtol 1e-12) within a hundred tolerances.
TEST(Ddassl, ALadderStartedAtRestGetsARegularDifferenceMatrix)
{
    struct Case {
        const char *what;
        int stages;
        double resistance, rtol;
        std::vector<std::pair<int, double>> reference; ///< node and its voltage at t = 2
    };
    const Case cases[] = {
        {"two stages, R = 1", 2, 1.0, 1e-6, {{0, -0.024994581306640416}, {1, -0.04998600852569547}}},
        {"two stages, R = 10", 2, 10.0, 1e-8, {{0, -0.0003943238629291855}, {1, -0.00075723162575305}}},
        {"200 stages, R = 1", 200, 1.0, 1e-6,
         {{0, -0.0030827124255205745}, {20, -0.06279253984080962}, {60, -0.1430930589299962},
          {100, -0.04624497873531251}, {150, 0.0003645507485063338}}},
    };
    for (const Case &c : cases)
        for (const bool sparseType : {false, true}) {
            SCOPED_TRACE(std::string(c.what) + (sparseType ? ", sparse" : ", dense"));
            ladderC = ladderCapacitances(c.stages);
            SparseJacobian sparse = tridiagonalStructure(c.stages);
            DaeProblem p(std::vector<double>(std::size_t(c.stages), 0.0), std::vector<double>(std::size_t(c.stages), 0.0),
                         c.rtol, 1e-12);
            p.rpar = c.resistance;
            if (sparseType)
                useSparse(p, sparse);
            p.runTo(rcLadder, 2.0);
            ASSERT_EQ(p.idid, 3) << "at t = " << p.t;
            EXPECT_EQ(p.iwork[LCTF - 1], 0) << "corrector failures";
            for (const auto &[node, want] : c.reference)
                EXPECT_NEAR(p.y[std::size_t(node)], want, 100.0 * c.rtol * std::fabs(want)) << "node " << node;
        }
}

// Robertson's kinetics with the conservation law as its third equation and its third
// component's absolute tolerance far below sqrt(uround): the increment of that component,
// sqrt(uround) weights, vanishes in the roundoff of y1 + y2 + y3 = 1, and the matrix found
// singular is formed once more with increments of a whole weight, which shows there. A matrix
// that is singular in fact still is (SingularIterationMatrixGivesMinusEight).
TEST(Ddassl, AMatrixSingularOnlyInRoundoffIsFormedAgainWithIncrementsOfAWeight)
{
    for (const double third : {1e-10, 1e-13})
        for (const bool sparseType : {false, true}) {
            SCOPED_TRACE(std::to_string(third) + (sparseType ? ", sparse" : ", dense"));
            SparseJacobian sparse(patternFromRows({{0, 1, 2}, {0, 1, 2}, {0, 1, 2}}));
            DaeProblem p({1.0, 0.0, 0.0}, {-0.04, 0.04, 0.0}, 1e-8, 1e-8);
            p.atol[1] = 1e-13;
            p.atol[2] = third;
            if (sparseType)
                useSparse(p, sparse);
            p.runTo(robertson, 40.0);
            ASSERT_EQ(p.idid, 3) << "at t = " << p.t;
            EXPECT_NEAR(p.y[0], 0.71582706872, 1e-4 * 0.71582706872);
            EXPECT_NEAR(p.y[2], 0.28416374574, 1e-4 * 0.28416374574);
        }
}

namespace {

constexpr int kIdle = 999;

// y0' = -y0^3, whose simplified Newton iteration converges only linearly, beside kIdle
// components y' = -y, linear, that one iteration settles: from the second iteration on only
// y0 moves, and a thousand components' rms norm reads a thirty-second of its correction.
void cubicBesideLinear(const double *, const double *y, const double *yp, double *delta, int *, double *,
                       int *)
{
    delta[0] = -y[0] * y[0] * y[0] - yp[0];
    for (int i = 1; i <= kIdle; ++i)
        delta[i] = -y[i] - yp[i];
}

} // namespace

// The corrector stops when no component is left more than about one weight from its solution,
// however many components the rms norm averages over: the cubic one's remaining error, exact
// for its decoupled equation as its Newton step G / (dG/dy0 - CJ), stays below 1.5 weights at
// every step (it reached 11, the rms bound 0.33 times the root of a thousand), and y0 at t = 10
// is within a few tolerances of 1 / sqrt(21).
TEST(Ddassl, TheCorrectorLeavesNoComponentOfALargeSystemFarFromItsSolution)
{
    std::vector<double> y0(kIdle + 1, 1.0), yp0(kIdle + 1, -1.0);
    const double rtol = 1e-6, atol = 1e-9;
    DaeProblem p(y0, yp0, rtol, atol);
    double worst = 0.0;
    int calls = 0;
    do {
        p.call(cubicBesideLinear, 10.0);
        const double y = p.y[0];
        const double g = -y * y * y - p.yp[0];
        const double remaining = g / (-3.0 * y * y - p.rwork[LCJ - 1]);
        if (p.idid == 1)
            worst = std::max(worst, std::fabs(remaining) / (rtol * std::fabs(y) + atol));
    } while (p.idid == 1 && ++calls < 100000);
    ASSERT_EQ(p.idid, 3);
    EXPECT_LT(worst, 1.5);
    const double exact = 1.0 / std::sqrt(21.0);
    EXPECT_NEAR(p.y[0], exact, 3.0 * (rtol * exact + atol));
}

// Stepping onto a stop time: the step that ends there, and the one before, are never a sliver of
// the step before them (a step ending a hair short of TSTOP left a last step of a thousandth of
// it, where the formulas of high order lose their accuracy). For stop times spread over an
// interval, one step per call, every run ends exactly at TSTOP on the closed form.
TEST(Ddassl, NoStepTowardsTheStopTimeIsASliverOfTheOneBefore)
{
    double smallest = 1.0;
    for (int n = 0; n < 40; ++n) {
        const double tstop = 1.0 + n / 40.0;
        DaeProblem p({1.0, -1.0}, {-1.0, 1.0}, 1e-7, 1e-9);
        p.info[3] = 1;
        p.rwork[LTSTOP - 1] = tstop;
        std::vector<double> times{0.0};
        int calls = 0;
        do {
            p.call(decay, tstop);
            times.push_back(p.t);
        } while (p.idid == 1 && ++calls < 10000);
        ASSERT_GT(p.idid, 1) << "TSTOP = " << tstop;
        EXPECT_EQ(p.t, tstop);
        EXPECT_NEAR(p.y[0], std::exp(-tstop), 1e-5 * std::exp(-tstop));
        const std::size_t k = times.size() - 1;
        ASSERT_GE(k, 3u);
        for (std::size_t i = k - 1; i <= k; ++i)
            smallest = std::min(smallest, (times[i] - times[i - 1]) / (times[i - 1] - times[i - 2]));
    }
    EXPECT_GT(smallest, 0.2);
}
