// Level-1 BLAS routines of the reference library that the LU solvers call.
//
// The reference BLAS is Fortran: every argument by address, vectors from their first element
// with a stride. These thin wrappers take the counts and strides by value.
#pragma once

namespace numerics {

/// Index (from 1) of the first element of largest magnitude; 0 when n < 1.
int IDAMAX(int n, const double *dx, int incx);
/// dx := da * dx.
void DSCAL(int n, double da, double *dx, int incx);
/// dy := da * dx + dy.
void DAXPY(int n, double da, const double *dx, int incx, double *dy, int incy);
/// dy := dx.
void DCOPY(int n, const double *dx, int incx, double *dy, int incy);
/// Dot product of dx and dy.
double DDOT(int n, const double *dx, int incx, const double *dy, int incy);

} // namespace numerics
