// Wrappers around the Fortran entry points of the reference BLAS.
#include "simulator/numerics/blas.h"

extern "C" {
int idamax_(const int *n, const double *dx, const int *incx);
void dscal_(const int *n, const double *da, double *dx, const int *incx);
void daxpy_(const int *n, const double *da, const double *dx, const int *incx, double *dy,
            const int *incy);
void dcopy_(const int *n, const double *dx, const int *incx, double *dy, const int *incy);
double ddot_(const int *n, const double *dx, const int *incx, const double *dy, const int *incy);
}

namespace numerics {

int IDAMAX(int n, const double *dx, int incx)
{
    if (n < 1)
        return 0;
    return idamax_(&n, dx, &incx);
}

void DSCAL(int n, double da, double *dx, int incx)
{
    if (n > 0)
        dscal_(&n, &da, dx, &incx);
}

void DAXPY(int n, double da, const double *dx, int incx, double *dy, int incy)
{
    if (n > 0)
        daxpy_(&n, &da, dx, &incx, dy, &incy);
}

void DCOPY(int n, const double *dx, int incx, double *dy, int incy)
{
    if (n > 0)
        dcopy_(&n, dx, &incx, dy, &incy);
}

double DDOT(int n, const double *dx, int incx, const double *dy, int incy)
{
    if (n < 1)
        return 0.0;
    return ddot_(&n, dx, &incx, dy, &incy);
}

} // namespace numerics
