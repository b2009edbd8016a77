// Runge-Kutta-Fehlberg 4(5) integrator with step-size control and output at requested times.
#pragma once

namespace numerics {

/// Derivative dy/dt at (T, Y) into YP.
using RkfDerivative = void (*)(const double *T, const double *Y, double *YP);

/// Integrates from T to TOUT (IFLAG 1 interval mode, -1 one-step mode; afterwards the returned
/// value or a continuation value). WORK holds 3 + 6 NEQN doubles, IWORK 5 integers.
void Rkf45Integrate(RkfDerivative F, const int *NEQN, double *Y, double *T, const double *TOUT,
                    double *RELERR, double *ABSERR, int *IFLAG, double *WORK, int *IWORK);

/// Mode and step-size logic of Rkf45Integrate on the partitioned work arrays.
void Rkf45Core(RkfDerivative F, const int *NEQN, double *Y, double *T, const double *TOUT,
               double *RELERR, double *ABSERR, int *IFLAG, double *YP, double *H, double *F1,
               double *F2, double *F3, double *F4, double *F5, double *SAVRE, double *SAVAE,
               int *NFE, int *KOP, int *INIT, int *JFLAG, int *KFLAG);

/// One Fehlberg step of size H from (T, Y) with YP = F(T, Y); the fifth-order-corrected
/// fourth-order solution goes to S, the stage derivatives to F1..F5.
void FehlbergStep(RkfDerivative F, const int *NEQN, const double *Y, const double *T,
                  const double *H, const double *YP, double *F1, double *F2, double *F3, double *F4,
                  double *F5, double *S);

} // namespace numerics
