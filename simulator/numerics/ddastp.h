// Internal routines of the DAE integrator: one BDF step, the iteration matrix, interpolation,
// error weights and norm, and the consistent initial derivative.
#pragma once

namespace numerics {

class SparseJacobian;

/// Residual G(T, Y, YPRIME) into DELTA; IRES may be set to -1 (retry smaller) or -2 (stop).
using DaeResidual = void (*)(const double *T, const double *Y, const double *YPRIME, double *DELTA,
                             int *IRES, double *RPAR, int *IPAR);

/// Iteration matrix dG/dy + CJ dG/dy' into PD (zeroed before the call).
using DaeJacobian = void (*)(const double *T, const double *Y, const double *YPRIME, double *PD,
                             const double *CJ, double *RPAR, int *IPAR);

/// Positions in the integer work array (from 1) shared by the integrator's routines.
enum DaeIworkIndex : int {
    LML = 1, LMU = 2, LMXORD = 3, LMTYPE = 4, LJCALC = 5, LPHASE = 6, LK = 7, LKOLD = 8, LNS = 9,
    LNSTL = 10, LNST = 11, LNRE = 12, LNJE = 13, LETF = 14, LCTF = 15, LNPD = 16, LSPARSE = 17,
    LIPVT = 21
};

/// Matrix type of a sparse iteration matrix formed by grouped differences (INFO(12) = 1).
inline constexpr int SparseMatrixType = 6;

/// Hands the sparse iteration matrix of a problem to the integrator: the structure, column
/// groups and LU it is to use, kept in IWORK(LSPARSE), IWORK(LSPARSE + 1) until changed.
void DaeAttachSparseMatrix(int *IWORK, SparseJacobian *matrix);

/// The sparse iteration matrix attached to the integer work array, or null.
SparseJacobian *DaeSparseMatrixOf(const int *IWORK);

/// One step of order K from X with step H; IDID = 1 on success, -6..-11 on failure.
void DDASTP(double *X, double *Y, double *YPRIME, const int *NEQ, DaeResidual RES, DaeJacobian JAC,
            double *H, const double *WT, int *JSTART, int *IDID, double *RPAR, int *IPAR,
            double *PHI, double *DELTA, double *E, double *WM, int *IWM, double *ALPHA,
            double *BETA, double *GAMMA, double *PSI, double *SIGMA, double *CJ, double *CJOLD,
            double *HOLD, double *S, const double *HMIN, const double *UROUND, int *IPHASE,
            int *JCALC, int *K, int *KOLD, int *NS, const int *NONNEG, const int *NTEMP);

/// Forms and factors the iteration matrix; IER is the zero-pivot index, IRES < 0 a refused point.
void DDAJAC(const int *NEQ, const double *X, double *Y, double *YPRIME, const double *DELTA,
            const double *CJ, const double *H, int *IER, const double *WT, double *E, double *WM,
            int *IWM, DaeResidual RES, int *IRES, const double *UROUND, DaeJacobian JAC,
            double *RPAR, int *IPAR, const int *NTEMP);

/// Overwrites DELTA with the solution of the factored iteration matrix times x = DELTA.
void DDASLV(const int *NEQ, double *DELTA, const double *WM, const int *IWM);

/// Solution and derivative at XOUT from the history of order KOLD.
void DDATRP(const double *X, const double *XOUT, double *YOUT, double *YPOUT, const int *NEQ,
            const int *KOLD, const double *PHI, const double *PSI);

/// Error weights WT(i) = RTOL abs(Y(i)) + ATOL, per component when IWT = 1.
void DDAWTS(const int *NEQ, const int *IWT, const double *RTOL, const double *ATOL,
            const double *Y, double *WT, double *RPAR, int *IPAR);

/// Weighted root-mean-square norm of V.
double DDANRM(const int *NEQ, const double *V, const double *WT, double *RPAR, int *IPAR);

/// Computes a YPRIME consistent with Y at X by backward-Euler steps; IDID = -12 when it cannot.
void DDAINI(double *X, double *Y, double *YPRIME, const int *NEQ, DaeResidual RES, DaeJacobian JAC,
            double *H, const double *WT, int *IDID, double *RPAR, int *IPAR, double *PHI,
            double *DELTA, double *E, double *WM, int *IWM, const double *HMIN,
            const double *UROUND, const int *NONNEG, const int *NTEMP);

} // namespace numerics
