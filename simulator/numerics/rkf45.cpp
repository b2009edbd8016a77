// Runge-Kutta-Fehlberg integrator.
//
// Method: the Fehlberg 4(5) pair (Shampine and Watts' RKF45): six derivative evaluations per
// step, the fourth-order solution advanced and the difference to the fifth-order formula taken
// as the local error, compared with RELERR |y| + ABSERR per component (scaled by 2 / RELERR);
// steps grow at most 5-fold and shrink at most 10-fold per rejection. Conventions: arguments by
// address, arrays from 1, all state between calls in the caller's WORK (YP, H, F1..F5, SAVRE,
// SAVAE) and IWORK (NFE, KOP, INIT, JFLAG, KFLAG). A call that ignores a result code it had to
// act on is refused with IFLAG = 8; nothing ends the process.
#include "simulator/numerics/rkf45.h"

#include "simulator/numerics/machine_constants.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace numerics {

namespace {

constexpr double kRemin = 1e-12;
constexpr int kMaxNfe = 3000;

double withSignOf(double a, double b)
{
    return b >= 0.0 ? std::abs(a) : -std::abs(a);
}

} // namespace

void FehlbergStep(RkfDerivative F, const int *NEQN, const double *Y, const double *T,
                  const double *H, const double *YP, double *F1, double *F2, double *F3, double *F4,
                  double *F5, double *S)
{
    const int n = *NEQN;
    const double h = *H;
    double ch = h / 4.0;
    for (int k = 0; k < n; ++k)
        F5[k] = Y[k] + ch * YP[k];
    double tStage = *T + ch;
    F(&tStage, F5, F1);

    ch = 3.0 * h / 32.0;
    for (int k = 0; k < n; ++k)
        F5[k] = Y[k] + ch * (YP[k] + 3.0 * F1[k]);
    tStage = *T + 3.0 * h / 8.0;
    F(&tStage, F5, F2);

    ch = h / 2197.0;
    for (int k = 0; k < n; ++k)
        F5[k] = Y[k] + ch * (1932.0 * YP[k] + (7296.0 * F2[k] - 7200.0 * F1[k]));
    tStage = *T + 12.0 * h / 13.0;
    F(&tStage, F5, F3);

    ch = h / 4104.0;
    for (int k = 0; k < n; ++k)
        F5[k] = Y[k] + ch * ((8341.0 * YP[k] - 845.0 * F3[k]) + (29440.0 * F2[k] - 32832.0 * F1[k]));
    tStage = *T + h;
    F(&tStage, F5, F4);

    ch = h / 20520.0;
    for (int k = 0; k < n; ++k)
        F1[k] = Y[k] + ch * ((-6080.0 * YP[k] + (9295.0 * F3[k] - 5643.0 * F4[k])) +
                             (41040.0 * F1[k] - 28352.0 * F2[k]));
    tStage = *T + h / 2.0;
    F(&tStage, F1, F5);

    // S may be the F1 block: every element is read before it is written.
    ch = h / 7618050.0;
    for (int k = 0; k < n; ++k)
        S[k] = Y[k] + ch * ((902880.0 * YP[k] + (3855735.0 * F3[k] - 1371249.0 * F4[k])) +
                            (3953664.0 * F2[k] + 277020.0 * F5[k]));
}

void Rkf45Core(RkfDerivative F, const int *NEQN, double *Y, double *T, const double *TOUT,
               double *RELERR, double *ABSERR, int *IFLAG, double *YP, double *H, double *F1,
               double *F2, double *F3, double *F4, double *F5, double *SAVRE, double *SAVAE,
               int *NFE, int *KOP, int *INIT, int *JFLAG, int *KFLAG)
{
    const int four = 4;
    const double twoeps = 2.0 * D1MACH(&four);
    const double u26 = 13.0 * twoeps;
    const int n = *NEQN;

    // Input checks; the refusals of continuation values that ignore an earlier result share them.
    if (n < 1 || *RELERR < 0.0 || *ABSERR < 0.0) {
        *IFLAG = 8;
        return;
    }
    int mflag = std::abs(*IFLAG);
    if (mflag == 0 || mflag > 8) {
        *IFLAG = 8;
        return;
    }
    if (mflag != 1) {
        if (*T == *TOUT && *KFLAG != 3) {
            *IFLAG = 8;
            return;
        }
        if (mflag == 2) {
            if (*KFLAG == 3 || *INIT == 0) {
                *IFLAG = *JFLAG;
                if (*KFLAG == 3)
                    mflag = std::abs(*IFLAG);
            } else if (*KFLAG == 4) {
                *NFE = 0;
            } else if (*KFLAG == 6 && *RELERR <= *SAVRE && *ABSERR <= *SAVAE) {
                // Code 6 asked for relaxed tolerances before going on.
                *IFLAG = 8;
                return;
            }
        } else if (*IFLAG == 3) {
            *IFLAG = *JFLAG;
            if (*KFLAG == 3)
                mflag = std::abs(*IFLAG);
        } else if (*IFLAG == 4) {
            *NFE = 0;
            *IFLAG = *JFLAG;
        } else if (*IFLAG == 5 && *ABSERR > 0.0) {
            *IFLAG = *JFLAG;
        } else {
            // 5 with ABSERR = 0, 6, 7, 8 and the negative values: the result was not acted on.
            *IFLAG = 8;
            return;
        }
    }

    *JFLAG = *IFLAG;
    *KFLAG = 0;
    *SAVRE = *RELERR;
    *SAVAE = *ABSERR;
    const double rer = twoeps + kRemin;
    if (*RELERR < rer) {
        *RELERR = rer;
        *IFLAG = 3;
        *KFLAG = 3;
        return;
    }
    double dt = *TOUT - *T;

    if (mflag == 1) {
        *INIT = 0;
        *KOP = 0;
        F(T, Y, YP);
        *NFE = 1;
        if (*T == *TOUT) {
            *IFLAG = 2;
            return;
        }
    }
    if (mflag == 1 || *INIT == 0) {
        // Starting step from the derivative and the tolerances.
        *INIT = 1;
        *H = std::abs(dt);
        double toln = 0.0;
        for (int k = 0; k < n; ++k) {
            const double tol = *RELERR * std::abs(Y[k]) + *ABSERR;
            if (tol <= 0.0)
                continue;
            toln = tol;
            const double ypk = std::abs(YP[k]);
            if (ypk * std::pow(*H, 5) > tol)
                *H = std::pow(tol / ypk, 0.2);
        }
        if (toln <= 0.0)
            *H = 0.0;
        *H = std::max(*H, u26 * std::max(std::abs(*T), std::abs(dt)));
        *JFLAG = *IFLAG >= 0 ? 2 : -2;
    }

    *H = withSignOf(*H, dt);
    if (std::abs(*H) >= 2.0 * std::abs(dt))
        *KOP += 1;
    if (*KOP == 100) {
        *KOP = 0;
        *IFLAG = 7;
        return;
    }
    if (std::abs(dt) <= u26 * std::abs(*T)) {
        // Too close to the output point: extrapolate.
        for (int k = 0; k < n; ++k)
            Y[k] += dt * YP[k];
        F(TOUT, Y, YP);
        *NFE += 1;
        *T = *TOUT;
        *IFLAG = 2;
        return;
    }

    bool output = false;
    const double scale = 2.0 / *RELERR;
    const double ae = scale * *ABSERR;
    for (;;) {
        bool hfaild = false;
        const double hmin = u26 * std::abs(*T);
        dt = *TOUT - *T;
        if (std::abs(dt) < 2.0 * std::abs(*H)) {
            if (std::abs(dt) <= std::abs(*H)) {
                output = true;
                *H = dt;
            } else {
                *H = 0.5 * dt;
            }
        }

        double esttol;
        for (;;) {
            if (*NFE > kMaxNfe) {
                *IFLAG = 4;
                *KFLAG = 4;
                return;
            }
            FehlbergStep(F, NEQN, Y, T, H, YP, F1, F2, F3, F4, F5, F1);
            *NFE += 5;

            double eeoet = 0.0;
            for (int k = 0; k < n; ++k) {
                const double et = std::abs(Y[k]) + std::abs(F1[k]) + ae;
                if (et <= 0.0) {
                    *IFLAG = 5;
                    return;
                }
                const double ee = std::abs((-2090.0 * YP[k] + (21970.0 * F3[k] - 15048.0 * F4[k])) +
                                           (22528.0 * F2[k] - 27360.0 * F5[k]));
                eeoet = std::max(eeoet, ee / et);
            }
            esttol = std::abs(*H) * eeoet * scale / 752400.0;
            if (esttol <= 1.0)
                break;

            // Rejected: shrink by at most a factor 10.
            hfaild = true;
            output = false;
            double s = 0.1;
            if (esttol < 59049.0)
                s = 0.9 / std::pow(esttol, 0.2);
            *H = s * *H;
            if (!(std::abs(*H) > hmin)) {
                *IFLAG = 6;
                *KFLAG = 6;
                return;
            }
        }

        // Accepted: advance and grow by at most a factor 5 (not at all after a rejection).
        *T = *T + *H;
        for (int k = 0; k < n; ++k)
            Y[k] = F1[k];
        F(T, Y, YP);
        *NFE += 1;
        double s = 5.0;
        if (esttol > 1.889568e-4)
            s = 0.9 / std::pow(esttol, 0.2);
        if (hfaild)
            s = std::min(s, 1.0);
        *H = withSignOf(std::max(s * std::abs(*H), hmin), *H);

        if (output) {
            *T = *TOUT;
            *IFLAG = 2;
            return;
        }
        if (*IFLAG <= 0) {
            *IFLAG = -2;
            return;
        }
    }
}

void Rkf45Integrate(RkfDerivative F, const int *NEQN, double *Y, double *T, const double *TOUT,
                    double *RELERR, double *ABSERR, int *IFLAG, double *WORK, int *IWORK)
{
    const int n = std::max(*NEQN, 0);
    double *const yp = WORK;
    double *const h = WORK + n;
    double *const f1 = h + 1;
    double *const f2 = f1 + n;
    double *const f3 = f2 + n;
    double *const f4 = f3 + n;
    double *const f5 = f4 + n;
    double *const savre = f5 + n;
    double *const savae = savre + 1;
    Rkf45Core(F, NEQN, Y, T, TOUT, RELERR, ABSERR, IFLAG, yp, h, f1, f2, f3, f4, f5, savre, savae,
              &IWORK[0], &IWORK[1], &IWORK[2], &IWORK[3], &IWORK[4]);
}

} // namespace numerics
