// LU solvers checked against LAPACK's dgetrf/dgbtrf on random matrices, and their zero-pivot reports.
#include "simulator/numerics/linpack.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

extern "C" {
void dgetrf_(const int *m, const int *n, double *a, const int *lda, int *ipiv, int *info);
void dgetrs_(const char *trans, const int *n, const int *nrhs, const double *a, const int *lda,
             const int *ipiv, double *b, const int *ldb, int *info, std::size_t translen);
void dgbtrf_(const int *m, const int *n, const int *kl, const int *ku, double *ab, const int *ldab,
             int *ipiv, int *info);
void dgbtrs_(const char *trans, const int *n, const int *kl, const int *ku, const int *nrhs,
             const double *ab, const int *ldab, const int *ipiv, double *b, const int *ldb,
             int *info, std::size_t translen);
}

using namespace numerics;

namespace {

double maxRelativeDifference(const std::vector<double> &x, const std::vector<double> &y)
{
    double scale = 0.0;
    double diff = 0.0;
    for (std::size_t i = 0; i < x.size(); ++i) {
        scale = std::max(scale, std::abs(y[i]));
        diff = std::max(diff, std::abs(x[i] - y[i]));
    }
    return diff / std::max(scale, 1e-300);
}

} // namespace

TEST(DenseLu, PivotsAndSolutionsMatchLapackOnRandomMatrices)
{
    std::mt19937 rng(4711);
    std::uniform_real_distribution<double> value(-1.0, 1.0);
    for (int trial = 0; trial < 300; ++trial) {
        const int n = 1 + trial % 15;
        std::vector<double> a(n * n);
        for (double &v : a)
            v = value(rng);
        std::vector<double> b(n);
        for (double &v : b)
            v = value(rng);

        std::vector<double> ours = a;
        std::vector<int> ipvt(n);
        int info = -1;
        DGEFA(ours.data(), &n, &n, ipvt.data(), &info);
        ASSERT_EQ(info, 0);

        std::vector<double> lapack = a;
        std::vector<int> ipiv(n);
        int linfo = -1;
        dgetrf_(&n, &n, lapack.data(), &n, ipiv.data(), &linfo);
        ASSERT_EQ(linfo, 0);
        for (int k = 0; k < n; ++k)
            ASSERT_EQ(ipvt[k], ipiv[k]) << "trial " << trial << " step " << k + 1;

        for (int job : {0, 1}) {
            std::vector<double> x = b;
            DGESL(ours.data(), &n, &n, ipvt.data(), x.data(), &job);
            std::vector<double> y = b;
            const int one = 1;
            const char trans = job == 0 ? 'N' : 'T';
            dgetrs_(&trans, &n, &one, lapack.data(), &n, ipiv.data(), y.data(), &n, &linfo, 1);
            EXPECT_LT(maxRelativeDifference(x, y), 1e-12) << "trial " << trial << " job " << job;
        }
    }
}

TEST(BandLu, PivotsAndSolutionsMatchLapackOnRandomMatrices)
{
    std::mt19937 rng(815);
    std::uniform_real_distribution<double> value(-1.0, 1.0);
    for (int trial = 0; trial < 300; ++trial) {
        const int n = 1 + trial % 13;
        const int ml = static_cast<int>(rng() % 4) % n;
        const int mu = static_cast<int>(rng() % 4) % n;
        const int lda = 2 * ml + mu + 1;
        std::vector<double> abd(lda * n, 0.0);
        for (int j = 1; j <= n; ++j)
            for (int i = std::max(1, j - mu); i <= std::min(n, j + ml); ++i)
                abd[(i - j + ml + mu) + (j - 1) * lda] = value(rng);
        std::vector<double> b(n);
        for (double &v : b)
            v = value(rng);

        std::vector<double> ours = abd;
        std::vector<int> ipvt(n);
        int info = -1;
        DGBFA(ours.data(), &lda, &n, &ml, &mu, ipvt.data(), &info);
        ASSERT_EQ(info, 0);

        std::vector<double> lapack = abd;
        std::vector<int> ipiv(n);
        int linfo = -1;
        dgbtrf_(&n, &n, &ml, &mu, lapack.data(), &lda, ipiv.data(), &linfo);
        ASSERT_EQ(linfo, 0);
        for (int k = 0; k < n; ++k)
            ASSERT_EQ(ipvt[k], ipiv[k]) << "trial " << trial << " step " << k + 1;

        for (int job : {0, 1}) {
            std::vector<double> x = b;
            DGBSL(ours.data(), &lda, &n, &ml, &mu, ipvt.data(), x.data(), &job);
            std::vector<double> y = b;
            const int one = 1;
            const char trans = job == 0 ? 'N' : 'T';
            dgbtrs_(&trans, &n, &ml, &mu, &one, lapack.data(), &lda, ipiv.data(), y.data(), &n,
                    &linfo, 1);
            EXPECT_LT(maxRelativeDifference(x, y), 1e-12) << "trial " << trial << " job " << job;
        }
    }
}

TEST(DenseLu, ReportsTheLastExactlyZeroPivot)
{
    struct Case {
        const char *what;
        int n;
        std::vector<double> a; // column by column
        int info;
    };
    const std::vector<Case> cases = {
        {"1x1 zero", 1, {0.0}, 1},
        {"1x1 regular", 1, {3.0}, 0},
        {"zero first column", 2, {0.0, 0.0, 1.0, 2.0}, 1},
        {"zero first column and rank 1", 3, {0, 0, 0, 1, 2, 3, 2, 4, 6}, 3},
        {"tiny pivot is accepted", 2, {1e-300, 0.0, 0.0, 1e-300}, 0},
    };
    for (const Case &c : cases) {
        std::vector<double> a = c.a;
        std::vector<int> ipvt(c.n, 0);
        int info = -1;
        DGEFA(a.data(), &c.n, &c.n, ipvt.data(), &info);
        EXPECT_EQ(info, c.info) << c.what;
        EXPECT_EQ(ipvt[c.n - 1], c.n) << c.what;
    }
}

TEST(DenseLu, EqualMagnitudesPickTheUpperRow)
{
    const int n = 3;
    std::vector<double> a = {1.0, -4.0, 4.0, 2.0, 1.0, 0.0, 0.0, 3.0, 1.0};
    std::vector<int> ipvt(n);
    int info = -1;
    DGEFA(a.data(), &n, &n, ipvt.data(), &info);
    EXPECT_EQ(info, 0);
    EXPECT_EQ(ipvt[0], 2);
}

TEST(BandLu, ZeroPivotIsReported)
{
    // Tridiagonal 3x3 whose leading column is zero.
    const int n = 3, ml = 1, mu = 1, lda = 4;
    std::vector<double> abd(lda * n, 0.0);
    auto set = [&](int i, int j, double v) { abd[(i - j + ml + mu) + (j - 1) * lda] = v; };
    set(1, 2, 1.0);
    set(2, 2, 1.0);
    set(2, 3, 1.0);
    set(3, 3, 1.0);
    std::vector<int> ipvt(n);
    int info = -1;
    DGBFA(abd.data(), &lda, &n, &ml, &mu, ipvt.data(), &info);
    EXPECT_EQ(info, 1);
    EXPECT_EQ(ipvt[2], 3);
}
