// Dense and banded LU factorisation and solve, after the LINPACK routines of the same names.
#pragma once

namespace numerics {

/// Factors the dense N x N matrix A (leading dimension LDA) by Gaussian elimination with partial
/// pivoting; INFO is 0, or the last index whose pivot is exactly zero.
void DGEFA(double *A, const int *LDA, const int *N, int *IPVT, int *INFO);

/// Solves A x = B (JOB = 0) or trans(A) x = B (JOB not 0) with the factors of DGEFA; B is
/// overwritten with x.
void DGESL(const double *A, const int *LDA, const int *N, const int *IPVT, double *B,
           const int *JOB);

/// Factors a band matrix in band storage ABD (LDA >= 2 ML + MU + 1); INFO as for DGEFA.
void DGBFA(double *ABD, const int *LDA, const int *N, const int *ML, const int *MU, int *IPVT,
           int *INFO);

/// Solves with the factors of DGBFA; JOB as for DGESL.
void DGBSL(const double *ABD, const int *LDA, const int *N, const int *ML, const int *MU,
           const int *IPVT, double *B, const int *JOB);

} // namespace numerics
