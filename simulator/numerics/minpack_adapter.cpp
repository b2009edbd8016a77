// Powell's hybrid method from MINPACK for the simulator's algebraic loops.
//
// Method: hybrd1 of the Debian MINPACK library (Fortran): a dogleg trust-region Newton method
// with a forward-difference Jacobian updated by Broyden rank-one steps; at most 200 (n + 1)
// evaluations. The Fortran routine's residual takes no user data, so the routine and its data
// for the call in progress are kept in a per-thread slot, saved and restored around each call.
#include "simulator/numerics/minpack_adapter.h"

#include <minpack.h>

namespace numerics {

namespace {

struct ActiveFunction {
    HybridFunction fcn;
    void *userData;
};

thread_local ActiveFunction *t_active = nullptr;

void residualBridge(int *n, double *x, double *fvec, int *iflag)
{
    if (t_active->fcn(*n, x, fvec, t_active->userData) < 0)
        *iflag = -1;
}

} // namespace

int hybrd1WorkLength(int n)
{
    return n * (3 * n + 13) / 2;
}

int HYBRD1(HybridFunction fcn, void *userData, int n, double *x, double *fvec, double tol,
           double *wa, int lwa)
{
    if (fcn == nullptr || n < 1 || tol < 0.0 || lwa < hybrd1WorkLength(n))
        return 0;
    ActiveFunction active{fcn, userData};
    ActiveFunction *const outer = t_active;
    t_active = &active;
    int info = 0;
    hybrd1_(residualBridge, &n, x, fvec, &tol, &info, wa, &lwa);
    t_active = outer;
    return info;
}

} // namespace numerics
