// Variable-order, variable-step BDF solver for implicit differential-algebraic systems.
#pragma once

#include "simulator/numerics/ddastp.h"

namespace numerics {

/// Advances G(T, Y, YPRIME) = 0 towards TOUT with the options in INFO(1..15); the outcome is in
/// IDID, T, Y, YPRIME, INFO(1) and the work arrays (dense minimum: LRW = NEQ (NEQ + 9) + 40,
/// LIW = NEQ + 20; with INFO(12) = 1 and a sparse matrix attached, LRW = 40 + 12 NEQ + its
/// nonzeros). An illegal call, including one with INFO(1) = -1, returns IDID = -33.
void DDASSL(DaeResidual RES, const int *NEQ, double *T, double *Y, double *YPRIME,
            const double *TOUT, int *INFO, double *RTOL, double *ATOL, int *IDID, double *RWORK,
            const int *LRW, int *IWORK, const int *LIW, double *RPAR, int *IPAR, DaeJacobian JAC);

/// The real work length of a problem of maximum order 5 with a dense iteration matrix, or with
/// the sparse one given.
long DaeRealWorkLength(int neq, const SparseJacobian *sparse);

/// Positions in the real work array (from 1).
enum DaeRworkIndex : int {
    LTSTOP = 1, LHMAX = 2, LH = 3, LTN = 4, LCJ = 5, LCJOLD = 6, LHOLD = 7, LS = 8, LROUND = 9,
    LALPHA = 11, LBETA = 17, LGAMMA = 23, LPSI = 29, LSIGMA = 35, LDELTA = 41
};

} // namespace numerics
