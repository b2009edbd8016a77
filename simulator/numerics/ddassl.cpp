// Driver of the DAE integrator.
//
// Method: SLATEC's DDASSL (Petzold): backward differentiation formulas of orders 1 to 5 in
// fixed-leading-coefficient form for G(t, y, y') = 0, one step at a time by DDASTP.
// Conventions: every argument by address; arrays indexed from 1; INFO(1..15) the options; all
// state that survives a call lives in the caller's IWORK and RWORK in the layout of DaeIworkIndex
// and DaeRworkIndex (counters readable there), with DELTA, E, WT, PHI and the iteration matrix
// from RWORK(41) on. Beside the dense and banded matrix types of the original, INFO(12) = 1 asks
// for a sparse iteration matrix formed by grouped differences (matrix type 6), whose structure,
// groups and LU the caller attaches to IWORK (DaeAttachSparseMatrix); RWORK then holds its
// nonzeros and 3 NEQ doubles of save area in place of the NEQ^2 dense matrix. The solver
// allocates nothing (the sparse LU keeps its factors in the caller's object) and nothing ends the
// process: reports go to XERMSG, illegal input returns IDID = -33 with INFO(1) = -1, and a call
// that arrives with INFO(1) = -1 (a failure nobody acted on) is refused the same way.
#include "simulator/numerics/ddassl.h"

#include "simulator/numerics/machine_constants.h"
#include "simulator/numerics/one_based.h"
#include "simulator/numerics/sparse_jacobian.h"
#include "simulator/numerics/subnormals.h"
#include "simulator/numerics/xermsg.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace numerics {

namespace {

void report(const std::string &text, int nerr, int level)
{
    static const char library[] = "SLATEC";
    static const char routine[] = "DDASSL";
    XERMSG(library, routine, text.c_str(), &nerr, &level, 6, 6, static_cast<int>(text.size()));
}

std::string d(double value)
{
    return format1PD15_6(value);
}

std::string i8(long value)
{
    return formatI8(value);
}

/// Report of an illegal-input error number.
std::string illegalInputText(int error, const int *NEQ, const int *IWORK, long lenrw, long leniw,
                             const int *LRW, const int *LIW, double t, double tout,
                             const double *RWORK)
{
    const auto iwork = vec1(IWORK);
    const auto rwork = vec1(RWORK);
    switch (error) {
    case 1: return "SOME ELEMENT OF INFO VECTOR IS NOT ZERO OR ONE";
    case 2: return "NEQ = " + i8(*NEQ) + " .LE. 0";
    case 3: return "MAXORD = " + i8(iwork(LMXORD)) + " NOT IN RANGE";
    case 4: return "RWORK LENGTH NEEDED, LENRW = " + i8(lenrw) + ", EXCEEDS LRW = " + i8(*LRW);
    case 5: return "IWORK LENGTH NEEDED, LENIW = " + i8(leniw) + ", EXCEEDS LIW = " + i8(*LIW);
    case 6: return "SOME ELEMENT OF RTOL IS .LT. 0";
    case 7: return "SOME ELEMENT OF ATOL IS .LT. 0";
    case 8: return "ALL ELEMENTS OF RTOL AND ATOL ARE ZERO";
    case 9: return "INFO(4) = 1 AND TSTOP = " + d(rwork(LTSTOP)) + " BEHIND TOUT = " + d(tout);
    case 10: return "HMAX = " + d(rwork(LHMAX)) + " .LT. 0.0";
    case 11: return "TOUT = " + d(tout) + " BEHIND T = " + d(t);
    case 12: return "INFO(8)=1 AND H0=0.0";
    case 13: return "SOME ELEMENT OF WT IS .LE. 0.0";
    case 14: return "TOUT = " + d(tout) + " TOO CLOSE TO T = " + d(t) + " TO START INTEGRATION";
    case 15: return "INFO(4)=1 AND TSTOP = " + d(rwork(LTSTOP)) + " BEHIND T = " + d(t);
    case 17: return "ML = " + i8(iwork(LML)) + " ILLEGAL.  EITHER .LT. 0 OR .GT. NEQ";
    case 18: return "MU = " + i8(iwork(LMU)) + " ILLEGAL.  EITHER .LT. 0 OR .GT. NEQ";
    case 19: return "TOUT = T = " + d(tout);
    case 20: return "INFO(12)=1 WITHOUT A SPARSE ITERATION MATRIX OF ORDER NEQ";
    default: return {};
    }
}

/// Report of a step failure.
std::string failureText(int idid, double tn, double h, double h0)
{
    switch (idid) {
    case -1:
        return "AT CURRENT T = " + d(tn) + " 500 STEPS TAKEN ON THIS " "CALL BEFORE REACHING TOUT";
    case -2:
        return "AT T = " + d(tn) + " TOO MUCH ACCURACY REQUESTED FOR "
               "PRECISION OF MACHINE. RTOL AND ATOL WERE INCREASED TO " "APPROPRIATE VALUES";
    case -3: return "AT T = " + d(tn) + " SOME ELEMENT OF WT HAS BECOME .LE. " "0.0";
    case -6:
        return "AT T = " + d(tn) + " AND STEPSIZE H = " + d(h) +
               " THE ERROR TEST FAILED REPEATEDLY OR WITH ABS(H)=HMIN";
    case -7:
        return "AT T = " + d(tn) + " AND STEPSIZE H = " + d(h) +
               " THE CORRECTOR FAILED TO CONVERGE REPEATEDLY OR WITH " "ABS(H)=HMIN";
    case -8:
        return "AT T = " + d(tn) + " AND STEPSIZE H = " + d(h) + " THE ITERATION MATRIX IS SINGULAR";
    case -9:
        return "AT T = " + d(tn) + " AND STEPSIZE H = " + d(h) +
               " THE CORRECTOR COULD NOT CONVERGE.  ALSO, THE ERROR TEST " "FAILED REPEATEDLY.";
    case -10:
        return "AT T = " + d(tn) + " AND STEPSIZE H = " + d(h) +
               " THE CORRECTOR COULD NOT CONVERGE BECAUSE IRES WAS EQUAL " "TO MINUS ONE";
    case -11:
        return "AT T = " + d(tn) + " AND STEPSIZE H = " + d(h) + " IRES WAS EQUAL TO MINUS TWO";
    case -12:
        return "AT T = " + d(tn) + " AND STEPSIZE H = " + d(h0) +
               " THE INITIAL YPRIME COULD NOT BE COMPUTED";
    default: return {};
    }
}

/// Work length of the matrix types: 40 + (maxorder + 4) NEQ, the matrix, its save area.
long realWorkLength(int neq, int maxOrder, long matrix, long saveArea)
{
    return 40 + static_cast<long>(maxOrder + 4) * neq + matrix + saveArea;
}

} // namespace

long DaeRealWorkLength(int neq, const SparseJacobian *sparse)
{
    return sparse ? realWorkLength(neq, 5, static_cast<long>(sparse->pattern().nonzeros()), 3L * neq)
                  : realWorkLength(neq, 5, static_cast<long>(neq) * neq, 0);
}

void DDASSL(DaeResidual RES, const int *NEQ, double *T, double *Y, double *YPRIME,
            const double *TOUT, int *INFO, double *RTOL, double *ATOL, int *IDID, double *RWORK,
            const int *LRW, int *IWORK, const int *LIW, double *RPAR, int *IPAR, DaeJacobian JAC)
{
    const auto info = vec1(INFO);
    const auto iwork = vec1(IWORK);
    const auto rwork = vec1(RWORK);
    const auto rtol = vec1(RTOL);
    const auto atol = vec1(ATOL);
    const int neq = *NEQ;
    const double tout = *TOUT;
    const SubnormalsAsZero flushed(info(12) == 1);
    long lenrw = 0;
    long leniw = 0;

    auto illegal = [&](int error) {
        report(illegalInputText(error, NEQ, IWORK, lenrw, leniw, LRW, LIW, *T, tout, RWORK), error,
               1);
        *IDID = -33;
        info(1) = -1;
    };

    // Continuation check, and the input checks of a first call.
    if (info(1) == 1) {
        iwork(LNSTL) = iwork(LNST);
    } else if (info(1) == -1) {
        // The last call failed and nobody acted on it: refuse, and leave everything as it was.
        report("THE LAST STEP TERMINATED WITH A NEGATIVE VALUE OF IDID = " + i8(*IDID) +
                   " AND NO APPROPRIATE ACTION WAS TAKEN.  " "RUN TERMINATED",
               -998, 2);
        *IDID = -33;
        return;
    } else if (info(1) != 0) {
        return illegal(1);
    } else {
        for (int i = 2; i <= 11; ++i)
            if (info(i) != 0 && info(i) != 1)
                return illegal(1);
        if (neq <= 0)
            return illegal(2);
        int mxord = 5;
        if (info(9) != 0) {
            mxord = iwork(LMXORD);
            if (mxord < 1 || mxord > 5)
                return illegal(3);
        }
        iwork(LMXORD) = mxord;
        if (info(12) != 0 && info(12) != 1)
            return illegal(1);
        long lenpd;
        if (info(12) == 1) {
            // Sparse by grouped differences: the caller's structure, the values in RWORK.
            const SparseJacobian *sparse = DaeSparseMatrixOf(IWORK);
            if (sparse == nullptr || sparse->pattern().n != neq || info(5) != 0 || info(6) != 0)
                return illegal(20);
            lenpd = static_cast<long>(sparse->pattern().nonzeros());
            lenrw = realWorkLength(neq, mxord, lenpd, 3L * neq);
            iwork(LMTYPE) = SparseMatrixType;
        } else if (info(6) == 0) {
            lenpd = static_cast<long>(neq) * neq;
            lenrw = realWorkLength(neq, mxord, lenpd, 0);
            iwork(LMTYPE) = info(5) == 0 ? 2 : 1;
        } else {
            if (iwork(LML) < 0 || iwork(LML) >= neq)
                return illegal(17);
            if (iwork(LMU) < 0 || iwork(LMU) >= neq)
                return illegal(18);
            lenpd = static_cast<long>(2 * iwork(LML) + iwork(LMU) + 1) * neq;
            lenrw = realWorkLength(neq, mxord, lenpd, 0);
            if (info(5) == 0) {
                iwork(LMTYPE) = 5;
                const int mband = iwork(LML) + iwork(LMU) + 1;
                lenrw += 2 * (neq / mband + 1);
            } else {
                iwork(LMTYPE) = 4;
            }
        }
        leniw = 20 + static_cast<long>(neq);
        if (*LRW < lenrw)
            return illegal(4);
        if (*LIW < leniw)
            return illegal(5);
        if (tout == *T)
            return illegal(19);
        if (info(7) != 0 && rwork(LHMAX) <= 0.0)
            return illegal(10);
        iwork(LNST) = 0;
        iwork(LNRE) = 0;
        iwork(LNJE) = 0;
        iwork(LNSTL) = 0;
        iwork(LNPD) = static_cast<int>(lenpd);
        // Order 0 marks a problem on which no step has been taken yet.
        iwork(LK) = 0;
        *IDID = 1;
    }

    // Tolerances, every call: one pass without branches; the checks in their order (the first
    // component with a negative tolerance, its relative one before its absolute one) only when
    // the pass found a negative one.
    {
        const int given = info(2) == 1 ? neq : 1;
        int positive = 0, negative = 0;
        for (int i = 0; i < given; ++i) {
            positive |= int(RTOL[i] > 0.0) | int(ATOL[i] > 0.0);
            negative |= int(RTOL[i] < 0.0) | int(ATOL[i] < 0.0);
        }
        for (int i = 0; negative && i < given; ++i) {
            if (RTOL[i] < 0.0)
                return illegal(6);
            if (ATOL[i] < 0.0)
                return illegal(7);
        }
        if (!positive)
            return illegal(8);
    }

    const int le = LDELTA + neq;
    const int lwt = le + neq;
    const int lphi = lwt + neq;
    const int lwm = lphi + (iwork(LMXORD) + 1) * neq;
    const int ntemp = 1 + iwork(LNPD);
    double *const delta = rwork.at(LDELTA);
    double *const e = rwork.at(le);
    double *const wt = rwork.at(lwt);
    double *const phi = rwork.at(lphi);
    double *const wm = rwork.at(lwm);
    double *const psi = rwork.at(LPSI);

    double uround = 0.0;
    double tn = 0.0;
    double h = 0.0;
    double h0 = 0.0;
    double hmin = 0.0;
    double tstop = 0.0;
    bool done = false;

    // Interpolates at tAt from the history of the last step's order.
    auto interpolate = [&](double tAt) {
        DDATRP(&tn, &tAt, Y, YPRIME, NEQ, iwork.at(LKOLD), phi, psi);
    };
    auto boundByHmax = [&](double &step) {
        if (info(7) != 0) {
            const double rh = std::abs(step) / rwork(LHMAX);
            if (rh > 1.0)
                step = step / rh;
        }
    };
    // The step towards TSTOP: one that reaches it when stretched by a quarter (within HMAX) ends
    // there, and one that would leave less than itself before it goes half the way, so that no
    // step ends a sliver short of TSTOP. The last step would be that sliver, a thousandth of the
    // one before, say, and the formulas of order 5 lose their accuracy on such a change of step.
    auto approachStop = [&](double step) {
        const double rest = tstop - tn;
        const bool withinHmax = info(7) == 0 || std::abs(rest) <= rwork(LHMAX);
        if ((tn + 1.25 * step - tstop) * step >= 0.0 && withinHmax)
            return rest;
        if ((tn + 2.0 * step - tstop) * step > 0.0)
            return rest / 2.0;
        return step;
    };

    if (info(1) == 0) {
        // First call: weights, unit roundoff and the initial step.
        tn = *T;
        *IDID = 1;
        DDAWTS(NEQ, &info(2), RTOL, ATOL, Y, wt, RPAR, IPAR);
        for (int i = 0; i < neq; ++i)
            if (wt[i] <= 0.0)
                return illegal(13);
        const int selector = 4;
        uround = D1MACH(&selector);
        rwork(LROUND) = uround;
        hmin = 4.0 * uround * std::max(std::abs(*T), std::abs(tout));
        const double tdist = std::abs(tout - *T);
        if (tdist < hmin)
            return illegal(14);
        if (info(8) != 0) {
            h0 = rwork(LH);
            if ((tout - *T) * h0 < 0.0)
                return illegal(11);
            if (h0 == 0.0)
                return illegal(12);
        } else {
            h0 = 0.001 * tdist;
            const double ypnorm = DDANRM(NEQ, YPRIME, wt, RPAR, IPAR);
            if (ypnorm > 0.5 / h0)
                h0 = 0.5 / ypnorm;
            h0 = tout - *T >= 0.0 ? std::abs(h0) : -std::abs(h0);
        }
        boundByHmax(h0);
        if (info(4) != 0) {
            tstop = rwork(LTSTOP);
            if ((tstop - *T) * h0 < 0.0)
                return illegal(15);
            if ((*T + h0 - tstop) * h0 > 0.0)
                h0 = tstop - *T;
            if ((tstop - tout) * h0 < 0.0)
                return illegal(9);
        }
        if (info(11) != 0) {
            DDAINI(&tn, Y, YPRIME, NEQ, RES, JAC, &h0, wt, IDID, RPAR, IPAR, phi, delta, e, wm,
                   IWORK, &hmin, &uround, &info(10), &ntemp);
        }
        if (*IDID >= 0) {
            h = h0;
            rwork(LH) = h;
            for (int i = 0; i < neq; ++i) {
                phi[i] = Y[i];
                phi[neq + i] = h * YPRIME[i];
            }
        }
    } else {
        // Continuation call: checks, and the answers that need no new step.
        uround = rwork(LROUND);
        tn = rwork(LTN);
        h = rwork(LH);
        boundByHmax(h);
        if (*T == tout)
            return illegal(19);
        if ((*T - tout) * h > 0.0)
            return illegal(11);
        if (info(4) == 0) {
            if (info(3) == 1) {
                if ((tn - *T) * h > 0.0) {
                    if ((tn - tout) * h > 0.0) {
                        interpolate(tout);
                        *T = tout;
                        *IDID = 3;
                    } else {
                        interpolate(tn);
                        *T = tn;
                        *IDID = 1;
                    }
                    done = true;
                }
            } else if ((tn - tout) * h >= 0.0) {
                interpolate(tout);
                *T = tout;
                *IDID = 3;
                done = true;
            }
        } else {
            tstop = rwork(LTSTOP);
            if ((tn - tstop) * h > 0.0)
                return illegal(15);
            if ((tstop - tout) * h < 0.0)
                return illegal(9);
            bool nearStop = true;
            if (info(3) == 1) {
                if ((tn - *T) * h > 0.0) {
                    if ((tn - tout) * h > 0.0) {
                        interpolate(tout);
                        *T = tout;
                        *IDID = 3;
                    } else {
                        interpolate(tn);
                        *T = tn;
                        *IDID = 1;
                    }
                    done = true;
                    nearStop = false;
                }
            } else if ((tn - tout) * h >= 0.0) {
                interpolate(tout);
                *T = tout;
                *IDID = 3;
                done = true;
                nearStop = false;
            }
            if (nearStop) {
                if (std::abs(tn - tstop) <= 100.0 * uround * (std::abs(tn) + std::abs(h))) {
                    interpolate(tstop);
                    *IDID = 2;
                    *T = tstop;
                    done = true;
                } else {
                    h = approachStop(h);
                    rwork(LH) = h;
                }
            }
        }
    }

    // Step loop.
    while (!done) {
        if (*IDID == -12)
            break;
        if (iwork(LNST) - iwork(LNSTL) >= 500) {
            *IDID = -1;
            break;
        }
        DDAWTS(NEQ, &info(2), RTOL, ATOL, phi, wt, RPAR, IPAR);
        bool weightsPositive = true;
        for (int i = 0; i < neq; ++i)
            if (wt[i] <= 0.0)
                weightsPositive = false;
        if (!weightsPositive) {
            *IDID = -3;
            break;
        }
        const double r = DDANRM(NEQ, phi, wt, RPAR, IPAR) * 100.0 * uround;
        if (r > 1.0) {
            // Tolerances too small for the machine precision: raise them and report.
            const int count = info(2) == 1 ? neq : 1;
            for (int i = 1; i <= count; ++i) {
                rtol(i) = r * rtol(i);
                atol(i) = r * atol(i);
            }
            *IDID = -2;
            break;
        }
        hmin = 4.0 * uround * std::max(std::abs(tn), std::abs(tout));
        boundByHmax(h);
        // A problem that failed before its first step (raised tolerances, say) and is continued
        // must still have its step state initialised.
        if (iwork(LK) == 0)
            info(1) = 0;
        DDASTP(&tn, Y, YPRIME, NEQ, RES, JAC, &h, wt, &info(1), IDID, RPAR, IPAR, phi, delta, e,
               wm, IWORK, rwork.at(LALPHA), rwork.at(LBETA), rwork.at(LGAMMA), psi,
               rwork.at(LSIGMA), rwork.at(LCJ), rwork.at(LCJOLD), rwork.at(LHOLD), rwork.at(LS),
               &hmin, &uround, iwork.at(LPHASE), iwork.at(LJCALC), iwork.at(LK), iwork.at(LKOLD),
               iwork.at(LNS), &info(10), &ntemp);
        if (*IDID < 0)
            break;

        // Stop tests after a successful step.
        if (info(4) == 0) {
            if ((tn - tout) * h >= 0.0) {
                interpolate(tout);
                *IDID = 3;
                *T = tout;
                done = true;
            } else if (info(3) != 0) {
                *T = tn;
                *IDID = 1;
                done = true;
            }
        } else if ((tn - tout) * h >= 0.0) {
            interpolate(tout);
            *T = tout;
            *IDID = 3;
            done = true;
        } else if (std::abs(tn - tstop) <= 100.0 * uround * (std::abs(tn) + std::abs(h))) {
            interpolate(tstop);
            *IDID = 2;
            *T = tstop;
            done = true;
        } else if (info(3) != 0) {
            *T = tn;
            *IDID = 1;
            done = true;
        } else {
            h = approachStop(h);
        }
    }

    if (done) {
        rwork(LTN) = tn;
        rwork(LH) = h;
        return;
    }

    // Failure exit.
    report(failureText(*IDID, tn, h, h0), *IDID, 1);
    info(1) = -1;
    *T = tn;
    rwork(LTN) = tn;
    rwork(LH) = h;
}

} // namespace numerics
