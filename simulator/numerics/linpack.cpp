// Dense and banded LU solvers.
//
// Method: Gaussian elimination with partial pivoting (LINPACK DGEFA/DGESL, DGBFA/DGBSL).
// Conventions: column-major arrays indexed from 1, every argument by address. After a
// factorisation the array holds U in its upper part and the negated multipliers below it; IPVT(k)
// is the pivot row of step k and IPVT(N) = N. Band storage keeps a(i, j) in
// ABD(i - j + ML + MU + 1, j); its top ML rows take the fill-in. A zero pivot is only an exact 0.0
// and is reported through INFO; the solves divide unchecked.
#include "simulator/numerics/linpack.h"

#include "simulator/numerics/blas.h"
#include "simulator/numerics/one_based.h"

#include <algorithm>

namespace numerics {

void DGEFA(double *A, const int *LDA, const int *N, int *IPVT, int *INFO)
{
    const auto a = mat1(A, *LDA);
    const auto ipvt = vec1(IPVT);
    const int n = *N;
    *INFO = 0;
    for (int k = 1; k <= n - 1; ++k) {
        const int l = IDAMAX(n - k + 1, a.at(k, k), 1) + k - 1;
        ipvt(k) = l;
        if (a(l, k) == 0.0) {
            *INFO = k;
            continue;
        }
        if (l != k)
            std::swap(a(l, k), a(k, k));
        DSCAL(n - k, -1.0 / a(k, k), a.at(k + 1, k), 1);
        for (int j = k + 1; j <= n; ++j) {
            const double t = a(l, j);
            if (l != k) {
                a(l, j) = a(k, j);
                a(k, j) = t;
            }
            DAXPY(n - k, t, a.at(k + 1, k), 1, a.at(k + 1, j), 1);
        }
    }
    ipvt(n) = n;
    if (a(n, n) == 0.0)
        *INFO = n;
}

void DGESL(const double *A, const int *LDA, const int *N, const int *IPVT, double *B,
           const int *JOB)
{
    const auto a = mat1(A, *LDA);
    const auto ipvt = vec1(IPVT);
    const auto b = vec1(B);
    const int n = *N;
    if (*JOB == 0) {
        for (int k = 1; k <= n - 1; ++k) {
            const int l = ipvt(k);
            const double t = b(l);
            if (l != k) {
                b(l) = b(k);
                b(k) = t;
            }
            DAXPY(n - k, t, a.at(k + 1, k), 1, b.at(k + 1), 1);
        }
        for (int k = n; k >= 1; --k) {
            b(k) = b(k) / a(k, k);
            DAXPY(k - 1, -b(k), a.at(1, k), 1, b.at(1), 1);
        }
        return;
    }
    for (int k = 1; k <= n; ++k) {
        const double t = DDOT(k - 1, a.at(1, k), 1, b.at(1), 1);
        b(k) = (b(k) - t) / a(k, k);
    }
    for (int k = n - 1; k >= 1; --k) {
        b(k) = b(k) + DDOT(n - k, a.at(k + 1, k), 1, b.at(k + 1), 1);
        const int l = ipvt(k);
        if (l != k)
            std::swap(b(l), b(k));
    }
}

void DGBFA(double *ABD, const int *LDA, const int *N, const int *ML, const int *MU, int *IPVT,
           int *INFO)
{
    const auto abd = mat1(ABD, *LDA);
    const auto ipvt = vec1(IPVT);
    const int n = *N;
    const int ml = *ML;
    const int mu = *MU;
    const int m = ml + mu + 1;
    *INFO = 0;

    // Zero the fill-in rows of the first columns.
    const int j0 = mu + 2;
    const int j1 = std::min(n, m) - 1;
    for (int jz = j0; jz <= j1; ++jz)
        for (int i = m + 1 - jz; i <= ml; ++i)
            abd(i, jz) = 0.0;

    int jz = j1;
    int ju = 0;
    for (int k = 1; k <= n - 1; ++k) {
        ++jz;
        if (jz <= n)
            for (int i = 1; i <= ml; ++i)
                abd(i, jz) = 0.0;

        const int lm = std::min(ml, n - k);
        int l = IDAMAX(lm + 1, abd.at(m, k), 1) + m - 1;
        ipvt(k) = l + k - m;
        if (abd(l, k) == 0.0) {
            *INFO = k;
            continue;
        }
        if (l != m)
            std::swap(abd(l, k), abd(m, k));
        DSCAL(lm, -1.0 / abd(m, k), abd.at(m + 1, k), 1);
        ju = std::min(std::max(ju, mu + ipvt(k)), n);
        int mm = m;
        for (int j = k + 1; j <= ju; ++j) {
            --l;
            --mm;
            const double t = abd(l, j);
            if (l != mm) {
                abd(l, j) = abd(mm, j);
                abd(mm, j) = t;
            }
            DAXPY(lm, t, abd.at(m + 1, k), 1, abd.at(mm + 1, j), 1);
        }
    }
    ipvt(n) = n;
    if (abd(m, n) == 0.0)
        *INFO = n;
}

void DGBSL(const double *ABD, const int *LDA, const int *N, const int *ML, const int *MU,
           const int *IPVT, double *B, const int *JOB)
{
    const auto abd = mat1(ABD, *LDA);
    const auto ipvt = vec1(IPVT);
    const auto b = vec1(B);
    const int n = *N;
    const int ml = *ML;
    const int m = *MU + ml + 1;
    if (*JOB == 0) {
        if (ml != 0) {
            for (int k = 1; k <= n - 1; ++k) {
                const int lm = std::min(ml, n - k);
                const int l = ipvt(k);
                const double t = b(l);
                if (l != k) {
                    b(l) = b(k);
                    b(k) = t;
                }
                DAXPY(lm, t, abd.at(m + 1, k), 1, b.at(k + 1), 1);
            }
        }
        for (int k = n; k >= 1; --k) {
            b(k) = b(k) / abd(m, k);
            const int lm = std::min(k, m) - 1;
            DAXPY(lm, -b(k), abd.at(m - lm, k), 1, b.at(k - lm), 1);
        }
        return;
    }
    for (int k = 1; k <= n; ++k) {
        const int lm = std::min(k, m) - 1;
        const double t = DDOT(lm, abd.at(m - lm, k), 1, b.at(k - lm), 1);
        b(k) = (b(k) - t) / abd(m, k);
    }
    if (ml != 0) {
        for (int k = n - 1; k >= 1; --k) {
            const int lm = std::min(ml, n - k);
            b(k) = b(k) + DDOT(lm, abd.at(m + 1, k), 1, b.at(k + 1), 1);
            const int l = ipvt(k);
            if (l != k)
                std::swap(b(l), b(k));
        }
    }
}

} // namespace numerics
