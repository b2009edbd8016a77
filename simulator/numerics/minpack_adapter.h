// Powell's hybrid method from MINPACK (hybrd1) for the simulator's algebraic loops.
#pragma once

namespace numerics {

/// Residual f(x) of an n-equation system into fvec; a negative return stops the solver.
using HybridFunction = int (*)(int n, const double *x, double *fvec, void *userData);

/// Least work-array length hybrd1 accepts for n equations.
int hybrd1WorkLength(int n);

/// Solves fcn(x) = 0 from the start x (overwritten with the solution; fvec gets the residual
/// there) to the relative tolerance tol. Returns MINPACK's info: 0 improper input, 1 converged,
/// 2 too many evaluations, 3 tol too small, 4 no good progress; negative when fcn stopped it.
int HYBRD1(HybridFunction fcn, void *userData, int n, double *x, double *fvec, double tol,
           double *wa, int lwa);

} // namespace numerics
