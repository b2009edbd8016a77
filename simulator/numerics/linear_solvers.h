// LU decomposition in Crout form with partial pivoting, linear systems, inverse and determinant.
#pragma once

#include "simulator/numerics/matrix.h"

namespace numerics {

/// Fills v with 0, 1, ..., m - 1, m the larger of its rows and cols.
void InitIndexVector(Matrix &v);

/// Reorders the column vector v so that v(i) becomes the old v(P(i)).
void PermuteVector(Matrix &v, const Matrix &P);

/// Brings the row of largest magnitude in column k (from row k down) to row k, on A and on P;
/// returns -1 after an exchange, +1 otherwise.
int SelectPivot(Matrix &A, Matrix &P, int k);

/// Replaces the square A by its LU form (L with the pivots on and below the diagonal, U with a
/// unit diagonal above it), records the row exchanges in P, and returns the determinant.
/// 0.0 means an exact zero pivot; a non-singular matrix whose determinant underflows answers
/// the smallest positive or negative double instead, so that 0.0 always means singular.
double LuDecompose(Matrix &A, Matrix &P);

/// Solves L U x = b in place for the LU form A and a b already permuted.
void substitute(const Matrix &A, Matrix &b);

/// Solves A x = b in place (A becomes its LU form); returns the determinant, 0.0 leaving b as it was.
double SolveLinear(Matrix &A, Matrix &b);

/// Solves on copies: work gets A and workVector gets b (then the solution); A and b are unchanged.
double SolveLinear(const Matrix &A, Matrix &work, Matrix &workVector, const Matrix &b);

/// The inverse of the square M; a singular M is reported on standard output and returned as it is.
Matrix InvertMatrix(const Matrix &M);

/// The determinant of the square M, which is unchanged.
double Determinant(const Matrix &M);

/// Replaces M by its inverse; a singular M is reported and keeps its elements.
void InvertInPlace(Matrix &M);

} // namespace numerics
