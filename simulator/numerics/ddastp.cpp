// Internal routines of the DAE integrator.
//
// Method: fixed-leading-coefficient backward differentiation formulas of orders 1 to 5 with a
// simplified Newton corrector (the DDASTP family of SLATEC's DDASSL). The solution history is kept
// as modified divided differences in PHI (NEQ x (maximum order + 1), column j holding the
// (j-1)-th difference; column 1 is the solution at TN). The iteration matrix is
// PD = dG/dy + CJ dG/dy', CJ the leading coefficient of the formula, factored by the LINPACK
// routines, or, for the sparse matrix type, formed by groups of structurally independent columns
// and factored by KLU. Conventions: every argument by address, arrays from 1 and column by column,
// all state that survives a call in the caller's work arrays (IWM is the integer work array from
// its first element, WM the iteration matrix followed by the save area of the difference types
// that perturb columns together); the sparse type's structure and LU are the caller's, attached
// to IWM.
#include "simulator/numerics/ddastp.h"

#include "simulator/numerics/linpack.h"
#include "simulator/numerics/one_based.h"
#include "simulator/numerics/sparse_jacobian.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace numerics {

namespace {

constexpr int kMaxIt = 4;
constexpr double kXRate = 0.25;

/// Fortran SIGN(a, b): abs(a) with the sign of b, a zero b counting as positive.
double withSignOf(double a, double b)
{
    return b >= 0.0 ? std::abs(a) : -std::abs(a);
}

/// Difference increment for component i of the finite-difference iteration matrix: sqrt(uround)
/// of the larger of abs(Y(i)) and abs(H YPRIME(i)), and at least `least` error weights.
double increment(double y, double yp, double h, double wt, double squr, double least)
{
    double del = std::max(squr * std::max(std::abs(y), std::abs(h * yp)), least * std::abs(wt));
    del = withSignOf(del, h * yp);
    return (y + del) - y;
}

/// The largest abs(V(i)) / WT(i), 0 for none; a NaN quotient is passed over.
double largestQuotient(int neq, const double *V, const double *WT)
{
    // Four running maxima: the maximum is the same in any order, and the divisions overlap.
    double m0 = 0.0, m1 = 0.0, m2 = 0.0, m3 = 0.0;
    int i = 0;
    for (; i + 4 <= neq; i += 4) {
        m0 = std::max(m0, std::abs(V[i] / WT[i]));
        m1 = std::max(m1, std::abs(V[i + 1] / WT[i + 1]));
        m2 = std::max(m2, std::abs(V[i + 2] / WT[i + 2]));
        m3 = std::max(m3, std::abs(V[i + 3] / WT[i + 3]));
    }
    for (; i < neq; ++i)
        m0 = std::max(m0, std::abs(V[i] / WT[i]));
    return std::max(std::max(m0, m1), std::max(m2, m3));
}

/// The weighted rms norm of V, its largest quotient `vmax` (> 0) given: NaN when a quotient is.
double rmsNorm(int neq, const double *V, const double *WT, double vmax)
{
    // The quotients two at a time (the same divisions, lane by lane), summed in order.
    typedef double Pair __attribute__((vector_size(16)));
    const Pair scale = {vmax, vmax};
    double sum = 0.0;
    int i = 0;
    for (; i + 2 <= neq; i += 2) {
        const Pair v = {V[i], V[i + 1]};
        const Pair w = {WT[i], WT[i + 1]};
        Pair q = (v / w) / scale;
        q = q * q;
        sum += q[0];
        sum += q[1];
    }
    for (; i < neq; ++i) {
        const double q = (V[i] / WT[i]) / vmax;
        sum += q * q;
    }
    return vmax * std::sqrt(sum / neq);
}

/// The least increment of the difference matrix, in error weights, from the residual DELTA at
/// the point it is formed: a residual that is large against the solution's weights (a forcing
/// the predictor did not follow, at a start from rest) is computed with a roundoff that hides a
/// perturbation of sqrt(uround) weights, so each column then moves by 1000 uround times the
/// largest abs(H DELTA(i)) / WT(i), as an ODE solver's difference quotients take their least
/// increment from the norm of f. At least sqrt(uround), where the increments are those of the
/// weights alone as without the floor, and at most one weight.
double leastIncrement(int neq, const double *delta, const double *wt, double h, double uround,
                      double squr)
{
    double largest = 0.0;
    for (int i = 0; i < neq; ++i)
        largest = std::max(largest, std::abs(h * delta[i] / wt[i]));
    return std::clamp(1000.0 * uround * largest, squr, 1.0);
}

/// The norm in which the corrector's iteration is measured: the weighted rms norm, or a third of
/// the largest weighted component abs(V(i)) / WT(i) when that is larger (NaN when any component
/// is). The error estimate is made of the corrections, so what the iteration leaves undone it
/// never sees; the rms norm alone would let that gather in a few components of a large system
/// (one component of a thousand may keep 10 weights while the norm reads 0.33), and the bound
/// keeps every component within about one weight. Up to nine components the rms norm is never
/// less, and decides alone.
double iterationNorm(const int *NEQ, const double *v, const double *wt)
{
    const double largest = largestQuotient(*NEQ, v, wt);
    if (largest <= 0.0) {
        // Every component 0, or NaN, which the largest passes over.
        for (int i = 0; i < *NEQ; ++i)
            if (std::isnan(v[i] / wt[i]))
                return std::numeric_limits<double>::quiet_NaN();
        return 0.0;
    }
    // A NaN component makes the rms norm NaN.
    return std::max(rmsNorm(*NEQ, v, wt, largest), largest / 3.0);
}

} // namespace

void DaeAttachSparseMatrix(int *IWORK, SparseJacobian *matrix)
{
    static_assert(sizeof matrix <= 2 * sizeof(int));
    std::memset(IWORK + (LSPARSE - 1), 0, 2 * sizeof(int));
    std::memcpy(IWORK + (LSPARSE - 1), &matrix, sizeof matrix);
}

SparseJacobian *DaeSparseMatrixOf(const int *IWORK)
{
    SparseJacobian *matrix = nullptr;
    std::memcpy(&matrix, IWORK + (LSPARSE - 1), sizeof matrix);
    return matrix;
}

double DDANRM(const int *NEQ, const double *V, const double *WT, double *, int *)
{
    const double vmax = largestQuotient(*NEQ, V, WT);
    return vmax <= 0.0 ? 0.0 : rmsNorm(*NEQ, V, WT, vmax);
}

void DDAWTS(const int *NEQ, const int *IWT, const double *RTOL, const double *ATOL,
            const double *Y, double *WT, double *, int *)
{
    const int neq = *NEQ;
    if (*IWT != 0) {
        for (int i = 0; i < neq; ++i)
            WT[i] = RTOL[i] * std::abs(Y[i]) + ATOL[i];
    } else {
        const double rtoli = RTOL[0];
        const double atoli = ATOL[0];
        for (int i = 0; i < neq; ++i)
            WT[i] = rtoli * std::abs(Y[i]) + atoli;
    }
}

void DDATRP(const double *X, const double *XOUT, double *YOUT, double *YPOUT, const int *NEQ,
            const int *KOLD, const double *PHI, const double *PSI)
{
    const int neq = *NEQ;
    const auto phi = mat1(PHI, neq);
    const auto psi = vec1(PSI);
    const double temp1 = *XOUT - *X;
    for (int i = 1; i <= neq; ++i) {
        YOUT[i - 1] = phi(i, 1);
        YPOUT[i - 1] = 0.0;
    }
    double c = 1.0;
    double d = 0.0;
    double gamma = temp1 / psi(1);
    for (int j = 2; j <= *KOLD + 1; ++j) {
        d = d * gamma + c / psi(j - 1);
        c = c * gamma;
        gamma = (temp1 + psi(j - 1)) / psi(j);
        for (int i = 1; i <= neq; ++i) {
            YOUT[i - 1] += c * phi(i, j);
            YPOUT[i - 1] += d * phi(i, j);
        }
    }
}

namespace {

/// DDAJAC with the difference types' least increment, `least` error weights.
void formIterationMatrix(const int *NEQ, const double *X, double *Y, double *YPRIME, const double *DELTA,
                         const double *CJ, const double *H, int *IER, const double *WT, double *E, double *WM,
                         int *IWM, DaeResidual RES, int *IRES, const double *UROUND, double least,
                         DaeJacobian JAC, double *RPAR, int *IPAR, const int *NTEMP)
{
    const int neq = *NEQ;
    const auto iwm = vec1(IWM);
    const auto wm = vec1(WM);
    const double squr = std::sqrt(*UROUND);
    *IER = 0;
    *IRES = 0;
    switch (iwm(LMTYPE)) {
    case 1: {
        std::fill(WM, WM + static_cast<long>(neq) * neq, 0.0);
        JAC(X, Y, YPRIME, WM, CJ, RPAR, IPAR);
        DGEFA(WM, NEQ, NEQ, iwm.at(LIPVT), IER);
        return;
    }
    case 2: {
        const auto pd = mat1(WM, neq);
        for (int i = 0; i < neq; ++i) {
            const double del = increment(Y[i], YPRIME[i], *H, WT[i], squr, least);
            const double ysave = Y[i];
            const double ypsave = YPRIME[i];
            Y[i] += del;
            YPRIME[i] += *CJ * del;
            RES(X, Y, YPRIME, E, IRES, RPAR, IPAR);
            Y[i] = ysave;
            YPRIME[i] = ypsave;
            if (*IRES < 0)
                return;
            for (int l = 1; l <= neq; ++l)
                pd(l, i + 1) = (E[l - 1] - DELTA[l - 1]) / del;
        }
        DGEFA(WM, NEQ, NEQ, iwm.at(LIPVT), IER);
        return;
    }
    case 4: {
        const int meband = 2 * iwm(LML) + iwm(LMU) + 1;
        std::fill(WM, WM + static_cast<long>(meband) * neq, 0.0);
        JAC(X, Y, YPRIME, WM, CJ, RPAR, IPAR);
        DGBFA(WM, &meband, NEQ, iwm.at(LML), iwm.at(LMU), iwm.at(LIPVT), IER);
        return;
    }
    case 5: {
        const int ml = iwm(LML);
        const int mu = iwm(LMU);
        const int mband = ml + mu + 1;
        const int mba = std::min(mband, neq);
        const int meband = mband + ml;
        const int meb1 = meband - 1;
        const int msave = neq / mband + 1;
        const int isave = *NTEMP - 1;
        const int ipsave = isave + msave;
        for (int j = 1; j <= mba; ++j) {
            for (int n = j; n <= neq; n += mband) {
                const int k = (n - j) / mband + 1;
                wm(isave + k) = Y[n - 1];
                wm(ipsave + k) = YPRIME[n - 1];
                const double del = increment(Y[n - 1], YPRIME[n - 1], *H, WT[n - 1], squr, least);
                Y[n - 1] += del;
                YPRIME[n - 1] += *CJ * del;
            }
            RES(X, Y, YPRIME, E, IRES, RPAR, IPAR);
            for (int n = j; n <= neq; n += mband) {
                const int k = (n - j) / mband + 1;
                Y[n - 1] = wm(isave + k);
                YPRIME[n - 1] = wm(ipsave + k);
            }
            if (*IRES < 0)
                return;
            for (int n = j; n <= neq; n += mband) {
                const double del = increment(Y[n - 1], YPRIME[n - 1], *H, WT[n - 1], squr, least);
                const int i1 = std::max(1, n - mu);
                const int i2 = std::min(neq, n + ml);
                const int ii = n * meb1 - ml;
                for (int i = i1; i <= i2; ++i)
                    wm(ii + i) = (E[i - 1] - DELTA[i - 1]) / del;
            }
        }
        DGBFA(WM, &meband, NEQ, iwm.at(LML), iwm.at(LMU), iwm.at(LIPVT), IER);
        return;
    }
    case SparseMatrixType: {
        // As type 5, for any structure: the columns of a group share no row, so one residual
        // gives all of their columns; old values and increments are kept past the matrix.
        SparseJacobian *sparse = DaeSparseMatrixOf(IWM);
        const SparsePattern &pattern = sparse->pattern();
        const ColumnGroups &groups = sparse->groups();
        double *ysave = WM + (*NTEMP - 1);
        double *ypsave = ysave + neq;
        double *del = ypsave + neq;
        for (int g = 0; g < groups.count(); ++g) {
            const int *first = groups.columns.data() + groups.start[std::size_t(g)];
            const int *last = groups.columns.data() + groups.start[std::size_t(g) + 1];
            for (const int *c = first; c != last; ++c) {
                ysave[*c] = Y[*c];
                ypsave[*c] = YPRIME[*c];
                del[*c] = increment(Y[*c], YPRIME[*c], *H, WT[*c], squr, least);
                Y[*c] += del[*c];
                YPRIME[*c] += *CJ * del[*c];
            }
            RES(X, Y, YPRIME, E, IRES, RPAR, IPAR);
            for (const int *c = first; c != last; ++c) {
                Y[*c] = ysave[*c];
                YPRIME[*c] = ypsave[*c];
            }
            if (*IRES < 0)
                return;
            storeGroupDifferences(pattern, groups, g, del, DELTA, E, WM);
        }
        SparseLu *lu = sparse->lu();
        *IER = lu ? lu->factor(WM) : neq;
        return;
    }
    default:
        return;
    }
}

} // namespace

void DDAJAC(const int *NEQ, const double *X, double *Y, double *YPRIME, const double *DELTA,
            const double *CJ, const double *H, int *IER, const double *WT, double *E, double *WM,
            int *IWM, DaeResidual RES, int *IRES, const double *UROUND, DaeJacobian JAC,
            double *RPAR, int *IPAR, const int *NTEMP)
{
    const double least = leastIncrement(*NEQ, DELTA, WT, *H, *UROUND, std::sqrt(*UROUND));
    formIterationMatrix(NEQ, X, Y, YPRIME, DELTA, CJ, H, IER, WT, E, WM, IWM, RES, IRES, UROUND, least, JAC,
                        RPAR, IPAR, NTEMP);
    // A difference matrix found singular with increments below one error weight is formed once
    // more with increments of one weight: a column whose perturbation vanished in the roundoff of
    // a row of larger terms (a component at rest beside a moving one) shows then, while a matrix
    // that is singular in fact stays so.
    const int mtype = vec1(IWM)(LMTYPE);
    const bool differences = mtype == 2 || mtype == 5 || mtype == SparseMatrixType;
    if (differences && *IER != 0 && *IRES >= 0 && least < 1.0)
        formIterationMatrix(NEQ, X, Y, YPRIME, DELTA, CJ, H, IER, WT, E, WM, IWM, RES, IRES, UROUND, 1.0, JAC,
                            RPAR, IPAR, NTEMP);
}

void DDASLV(const int *NEQ, double *DELTA, const double *WM, const int *IWM)
{
    const auto iwm = vec1(IWM);
    const int job = 0;
    const int mtype = iwm(LMTYPE);
    if (mtype == 4 || mtype == 5) {
        const int meband = 2 * iwm(LML) + iwm(LMU) + 1;
        DGBSL(WM, &meband, NEQ, iwm.at(LML), iwm.at(LMU), iwm.at(LIPVT), DELTA, &job);
        return;
    }
    if (mtype == SparseMatrixType) {
        DaeSparseMatrixOf(IWM)->lu()->solve(DELTA);
        return;
    }
    DGESL(WM, NEQ, NEQ, iwm.at(LIPVT), DELTA, &job);
}

void DDASTP(double *X, double *Y, double *YPRIME, const int *NEQ, DaeResidual RES, DaeJacobian JAC,
            double *H, const double *WT, int *JSTART, int *IDID, double *RPAR, int *IPAR,
            double *PHI, double *DELTA, double *E, double *WM, int *IWM, double *ALPHA,
            double *BETA, double *GAMMA, double *PSI, double *SIGMA, double *CJ, double *CJOLD,
            double *HOLD, double *S, const double *HMIN, const double *UROUND, int *IPHASE,
            int *JCALC, int *K, int *KOLD, int *NS, const int *NONNEG, const int *NTEMP)
{
    const int neq = *NEQ;
    const auto phi = mat1(PHI, neq);
    const auto iwm = vec1(IWM);
    const auto alpha = vec1(ALPHA);
    const auto beta = vec1(BETA);
    const auto gamma = vec1(GAMMA);
    const auto psi = vec1(PSI);
    const auto sigma = vec1(SIGMA);
    const int maxord = iwm(LMXORD);

    *IDID = 1;
    double xold = *X;
    int ncf = 0;
    int nsf = 0;
    int nef = 0;
    if (*JSTART == 0) {
        iwm(LETF) = 0;
        iwm(LCTF) = 0;
        *K = 1;
        *KOLD = 0;
        *HOLD = 0.0;
        *JSTART = 1;
        psi(1) = *H;
        *CJOLD = 1.0 / *H;
        *CJ = *CJOLD;
        *S = 100.0;
        *JCALC = -1;
        *IPHASE = 0;
        *NS = 0;
    }

    for (;;) {
        // Coefficients of the formula for this attempt.
        const int kp1 = *K + 1;
        const int kp2 = *K + 2;
        const int km1 = *K - 1;
        xold = *X;
        if (*H != *HOLD || *K != *KOLD)
            *NS = 0;
        *NS = std::min(*NS + 1, *KOLD + 2);
        const int nsp1 = *NS + 1;
        if (kp1 >= *NS) {
            beta(1) = 1.0;
            alpha(1) = 1.0;
            double temp1 = *H;
            gamma(1) = 0.0;
            sigma(1) = 1.0;
            for (int i = 2; i <= kp1; ++i) {
                const double temp2 = psi(i - 1);
                psi(i - 1) = temp1;
                beta(i) = beta(i - 1) * psi(i - 1) / temp2;
                temp1 = temp2 + *H;
                alpha(i) = *H / temp1;
                sigma(i) = (i - 1) * sigma(i - 1) * alpha(i);
                gamma(i) = gamma(i - 1) + alpha(i - 1) / *H;
            }
            psi(kp1) = temp1;
        }
        double alphas = 0.0;
        double alpha0 = 0.0;
        for (int i = 1; i <= *K; ++i) {
            alphas -= 1.0 / i;
            alpha0 -= alpha(i);
        }
        const double cjlast = *CJ;
        *CJ = -alphas / *H;
        const double ck = std::max(std::abs(alpha(kp1) + alphas - alpha0), alpha(kp1));
        const double band = (1.0 - kXRate) / (1.0 + kXRate);
        if (*CJ / *CJOLD < band || *CJ / *CJOLD > 1.0 / band)
            *JCALC = -1;
        if (*CJ != cjlast)
            *S = 100.0;
        if (nsp1 <= kp1)
            for (int i = 1; i <= neq; ++i)
                for (int j = nsp1; j <= kp1; ++j)
                    phi(i, j) = beta(j) * phi(i, j);
        *X = *X + *H;

        // Predictor and corrector; one more attempt with a fresh matrix when an old one fails.
        bool convgd = true;
        int ier = 0;
        int ires = 0;
        for (;;) {
            ier = 0;
            iwm(LNRE) += 1;
            // Component by component, each summed in the order of the differences: one pass
            // over the history instead of one per difference, the same sums.
            for (int i = 1; i <= neq; ++i) {
                double y = phi(i, 1);
                double yprime = 0.0;
                for (int j = 2; j <= kp1; ++j) {
                    y += phi(i, j);
                    yprime += gamma(j) * phi(i, j);
                }
                Y[i - 1] = y;
                YPRIME[i - 1] = yprime;
            }
            const double pnorm = DDANRM(NEQ, Y, WT, RPAR, IPAR);
            convgd = true;
            int m = 0;
            ires = 0;
            RES(X, Y, YPRIME, DELTA, &ires, RPAR, IPAR);
            if (ires < 0) {
                convgd = false;
                break;
            }
            if (*JCALC == -1) {
                iwm(LNJE) += 1;
                *JCALC = 0;
                DDAJAC(NEQ, X, Y, YPRIME, DELTA, CJ, H, &ier, WT, E, WM, IWM, RES, &ires, UROUND,
                       JAC, RPAR, IPAR, NTEMP);
                *CJOLD = *CJ;
                *S = 100.0;
                if (ires < 0 || ier != 0) {
                    convgd = false;
                    break;
                }
                nsf = 0;
            }
            std::fill(E, E + neq, 0.0);

            bool converged = false;
            bool slow = false;
            double oldnrm = 0.0;
            for (;;) {
                const double temp1 = 2.0 / (1.0 + *CJ / *CJOLD);
                for (int i = 0; i < neq; ++i)
                    DELTA[i] *= temp1;
                DDASLV(NEQ, DELTA, WM, IWM);
                for (int i = 0; i < neq; ++i) {
                    Y[i] -= DELTA[i];
                    E[i] -= DELTA[i];
                    YPRIME[i] -= *CJ * DELTA[i];
                }
                const double delnrm = iterationNorm(NEQ, DELTA, WT);
                if (delnrm <= 100.0 * *UROUND * pnorm) {
                    converged = true;
                    break;
                }
                if (m > 0) {
                    const double rate = std::pow(delnrm / oldnrm, 1.0 / m);
                    if (rate > 0.90) {
                        slow = true;
                        break;
                    }
                    *S = rate / (1.0 - rate);
                } else {
                    oldnrm = delnrm;
                }
                if (*S * delnrm <= 0.33) {
                    converged = true;
                    break;
                }
                ++m;
                if (m >= kMaxIt) {
                    slow = true;
                    break;
                }
                iwm(LNRE) += 1;
                ires = 0;
                RES(X, Y, YPRIME, DELTA, &ires, RPAR, IPAR);
                if (ires < 0)
                    break;
            }
            if (converged) {
                if (*NONNEG != 0) {
                    for (int i = 0; i < neq; ++i)
                        DELTA[i] = std::min(Y[i], 0.0);
                    if (DDANRM(NEQ, DELTA, WT, RPAR, IPAR) > 0.33)
                        convgd = false;
                    else
                        for (int i = 0; i < neq; ++i)
                            E[i] -= DELTA[i];
                }
                break;
            }
            if (slow && *JCALC != 0) {
                *JCALC = -1;
                continue;
            }
            convgd = false;
            break;
        }
        *JCALC = 1;

        int knew = *K;
        double est = 0.0;
        double erkm1 = 0.0;
        double terk = 0.0;
        double terkm1 = 0.0;
        if (convgd) {
            // Error estimates at orders K, K-1 and K-2.
            const double enorm = DDANRM(NEQ, E, WT, RPAR, IPAR);
            const double erk = sigma(*K + 1) * enorm;
            terk = (*K + 1) * erk;
            est = erk;
            if (*K > 1) {
                for (int i = 1; i <= neq; ++i)
                    DELTA[i - 1] = phi(i, kp1) + E[i - 1];
                erkm1 = sigma(*K) * DDANRM(NEQ, DELTA, WT, RPAR, IPAR);
                terkm1 = *K * erkm1;
                bool lower;
                if (*K > 2) {
                    for (int i = 1; i <= neq; ++i)
                        DELTA[i - 1] = phi(i, *K) + DELTA[i - 1];
                    const double erkm2 = sigma(*K - 1) * DDANRM(NEQ, DELTA, WT, RPAR, IPAR);
                    const double terkm2 = (*K - 1) * erkm2;
                    lower = std::max(terkm1, terkm2) <= terk;
                } else {
                    lower = terkm1 <= 0.5 * terk;
                }
                if (lower) {
                    knew = *K - 1;
                    est = erkm1;
                }
            }

            const double err = ck * enorm;
            if (err <= 1.0) {
                // The step is accepted.
                *IDID = 1;
                iwm(LNST) += 1;
                const int kdiff = *K - *KOLD;
                *KOLD = *K;
                *HOLD = *H;
                if (knew == km1 || *K == maxord)
                    *IPHASE = 1;
                if (*IPHASE == 0) {
                    *K = kp1;
                    *H = *H * 2.0;
                } else {
                    if (knew == km1) {
                        *K = km1;
                        est = erkm1;
                    } else if (*K != maxord && kp1 < *NS && kdiff != 1) {
                        for (int i = 1; i <= neq; ++i)
                            DELTA[i - 1] = E[i - 1] - phi(i, kp2);
                        const double erkp1 = (1.0 / (*K + 2)) * DDANRM(NEQ, DELTA, WT, RPAR, IPAR);
                        const double terkp1 = (*K + 2) * erkp1;
                        if (*K == 1) {
                            if (terkp1 < 0.5 * terk) {
                                *K = kp1;
                                est = erkp1;
                            }
                        } else if (terkm1 <= std::min(terk, terkp1)) {
                            *K = km1;
                            est = erkm1;
                        } else if (!(terkp1 >= terk || *K == maxord)) {
                            *K = kp1;
                            est = erkp1;
                        }
                    }
                    double hnew = *H;
                    double r = std::pow(2.0 * est + 0.0001, -1.0 / (*K + 1));
                    if (r >= 2.0) {
                        hnew = 2.0 * *H;
                    } else if (r <= 1.0) {
                        r = std::max(0.5, std::min(0.9, r));
                        hnew = *H * r;
                    }
                    *H = hnew;
                }
                // Update the differences for the next step.
                // Component by component, in one pass over the history.
                const bool keepError = *KOLD != maxord;
                for (int i = 1; i <= neq; ++i) {
                    if (keepError)
                        phi(i, kp2) = E[i - 1];
                    double sum = phi(i, kp1) + E[i - 1];
                    phi(i, kp1) = sum;
                    for (int j = kp1 - 1; j >= 1; --j) {
                        sum = phi(i, j) + sum;
                        phi(i, j) = sum;
                    }
                }
                return;
            }
        }

        // The attempt failed: restore the history and choose a smaller step, or give up.
        *IPHASE = 1;
        *X = xold;
        for (int j = nsp1; j <= kp1; ++j) {
            const double temp1 = 1.0 / beta(j);
            for (int i = 1; i <= neq; ++i)
                phi(i, j) = temp1 * phi(i, j);
        }
        for (int i = 2; i <= kp1; ++i)
            psi(i - 1) = psi(i) - *H;

        bool retry = false;
        if (!convgd) {
            iwm(LCTF) += 1;
            if (ier != 0) {
                ++nsf;
                *H = *H * 0.25;
                retry = nsf < 3 && std::abs(*H) >= *HMIN;
                if (!retry)
                    *IDID = -8;
            } else if (ires <= -2) {
                *IDID = -11;
            } else {
                ++ncf;
                *H = *H * 0.25;
                retry = ncf < 10 && std::abs(*H) >= *HMIN;
                if (!retry) {
                    *IDID = -7;
                    if (ires < 0)
                        *IDID = -10;
                    if (nef >= 3)
                        *IDID = -9;
                }
            }
        } else {
            ++nef;
            iwm(LETF) += 1;
            if (nef == 1) {
                *K = knew;
                double r = 0.90 * std::pow(2.0 * est + 0.0001, -1.0 / (*K + 1));
                r = std::max(0.25, std::min(0.9, r));
                *H = *H * r;
            } else if (nef == 2) {
                *K = knew;
                *H = 0.25 * *H;
            } else {
                *K = 1;
                *H = 0.25 * *H;
            }
            retry = std::abs(*H) >= *HMIN;
            if (!retry)
                *IDID = -6;
        }
        if (!retry) {
            DDATRP(X, X, Y, YPRIME, NEQ, K, PHI, PSI);
            return;
        }
    }
}

void DDAINI(double *X, double *Y, double *YPRIME, const int *NEQ, DaeResidual RES, DaeJacobian JAC,
            double *H, const double *WT, int *IDID, double *RPAR, int *IPAR, double *PHI,
            double *DELTA, double *E, double *WM, int *IWM, const double *HMIN,
            const double *UROUND, const int *NONNEG, const int *NTEMP)
{
    constexpr int maxit = 10;
    constexpr int mjac = 5;
    constexpr double damp = 0.75;
    const int neq = *NEQ;
    const auto phi = mat1(PHI, neq);
    const auto iwm = vec1(IWM);

    *IDID = 1;
    int nef = 0;
    int ncf = 0;
    int nsf = 0;
    const double xold = *X;
    const double ynorm = DDANRM(NEQ, Y, WT, RPAR, IPAR);
    for (int i = 1; i <= neq; ++i) {
        phi(i, 1) = Y[i - 1];
        phi(i, 2) = YPRIME[i - 1];
    }

    for (;;) {
        // One backward-Euler attempt from the saved point.
        double cj = 1.0 / *H;
        *X = *X + *H;
        for (int i = 0; i < neq; ++i)
            Y[i] += *H * YPRIME[i];
        int jcalc = -1;
        int m = 0;
        bool convgd = true;
        int ier = 0;
        int ires = 0;
        double s = 0.0;
        double oldnrm = 0.0;
        double err = 0.0;
        for (;;) {
            iwm(LNRE) += 1;
            ires = 0;
            RES(X, Y, YPRIME, DELTA, &ires, RPAR, IPAR);
            if (ires < 0) {
                convgd = false;
                break;
            }
            if (jcalc == -1) {
                iwm(LNJE) += 1;
                jcalc = 0;
                DDAJAC(NEQ, X, Y, YPRIME, DELTA, &cj, H, &ier, WT, E, WM, IWM, RES, &ires, UROUND,
                       JAC, RPAR, IPAR, NTEMP);
                s = 1000000.0;
                if (ires < 0 || ier != 0) {
                    convgd = false;
                    break;
                }
                nsf = 0;
            }
            for (int i = 0; i < neq; ++i)
                DELTA[i] *= damp;
            DDASLV(NEQ, DELTA, WM, IWM);
            for (int i = 0; i < neq; ++i) {
                Y[i] -= DELTA[i];
                YPRIME[i] -= cj * DELTA[i];
            }
            const double delnrm = DDANRM(NEQ, DELTA, WT, RPAR, IPAR);
            if (delnrm <= 100.0 * *UROUND * ynorm)
                break;
            if (m > 0) {
                const double rate = std::pow(delnrm / oldnrm, 1.0 / m);
                if (rate > 0.90) {
                    convgd = false;
                    break;
                }
                s = rate / (1.0 - rate);
            } else {
                oldnrm = delnrm;
            }
            if (s * delnrm <= 0.33)
                break;
            ++m;
            if (m >= maxit) {
                convgd = false;
                break;
            }
            if ((m / mjac) * mjac == m)
                jcalc = -1;
        }
        if (convgd && *NONNEG != 0) {
            for (int i = 0; i < neq; ++i)
                DELTA[i] = std::min(Y[i], 0.0);
            if (DDANRM(NEQ, DELTA, WT, RPAR, IPAR) > 0.33) {
                convgd = false;
            } else {
                for (int i = 0; i < neq; ++i) {
                    Y[i] -= DELTA[i];
                    YPRIME[i] -= cj * DELTA[i];
                }
            }
        }
        if (convgd) {
            for (int i = 1; i <= neq; ++i)
                DELTA[i - 1] = Y[i - 1] - phi(i, 1);
            err = DDANRM(NEQ, DELTA, WT, RPAR, IPAR);
            if (err <= 1.0)
                return;
        }

        // Restore the starting point and try again with a smaller step.
        *X = xold;
        for (int i = 1; i <= neq; ++i) {
            Y[i - 1] = phi(i, 1);
            YPRIME[i - 1] = phi(i, 2);
        }
        bool retry;
        if (!convgd) {
            if (ier != 0) {
                ++nsf;
                *H = *H * 0.25;
                retry = nsf < 3 && std::abs(*H) >= *HMIN;
            } else if (ires <= -2) {
                retry = false;
            } else {
                ++ncf;
                *H = *H * 0.25;
                retry = ncf < 10 && std::abs(*H) >= *HMIN;
            }
        } else {
            ++nef;
            const double r = std::max(0.1, std::min(0.5, 0.90 / (2.0 * err + 0.0001)));
            *H = *H * r;
            retry = std::abs(*H) >= *HMIN && nef < 10;
        }
        if (!retry) {
            *IDID = -12;
            return;
        }
    }
}

} // namespace numerics
