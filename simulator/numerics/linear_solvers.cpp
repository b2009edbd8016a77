// LU decomposition in Crout form with partial pivoting, linear systems, inverse and determinant.
//
// LuDecompose leaves L (pivots on the diagonal) in the lower triangle and U (unit diagonal, not
// stored) in the strict upper triangle; P records the original row number of every row.
#include "simulator/numerics/linear_solvers.h"

#include <algorithm>
#include <cmath>
#include <iostream>
#include <limits>
#include <stdexcept>
#include <string>

namespace numerics {

namespace {

void requireSquare(const Matrix &A, const char *operation)
{
    if (A.rows != A.cols)
        throw std::invalid_argument(std::string(operation) + ": matrix is not square");
}

void writeLine(const char *text)
{
    std::cout << text << std::endl;
}

/// LuDecompose with the exact-zero-pivot answer kept apart from the determinant's value.
double decompose(Matrix &A, Matrix &P, bool &singular)
{
    requireSquare(A, "LuDecompose");
    const int n = A.rows;
    double det = 1.0;
    singular = false;
    for (int k = 0; k < n; ++k) {
        const int sign = SelectPivot(A, P, k);
        const double d = A.GetElement(k, k);
        if (d == 0.0) {
            singular = true;
            return 0.0;
        }
        det = sign * d * det;
        for (int j = k + 1; j < n; ++j)
            A.SetElement(A.GetElement(k, j) / d, k, j);
        for (int i = k + 1; i < n; ++i) {
            const double f = A.GetElement(i, k);
            if (f == 0.0)
                continue;
            for (int j = k + 1; j < n; ++j)
                A.SetElement(A.GetElement(i, j) - f * A.GetElement(k, j), i, j);
        }
    }
    return det;
}

} // namespace

void InitIndexVector(Matrix &v)
{
    const int m = std::max(v.rows, v.cols);
    for (int i = 0; i < m; ++i)
        v.At(i) = static_cast<double>(i);
}

void PermuteVector(Matrix &v, const Matrix &P)
{
    const int m = std::max(v.rows, v.cols);
    Matrix permuted(m, 1);
    for (int i = 0; i < m; ++i)
        permuted.At(i) = v.At(static_cast<int>(P.At(i)));
    for (int i = 0; i < m; ++i)
        v.At(i) = permuted.At(i);
}

int SelectPivot(Matrix &A, Matrix &P, int k)
{
    double best = 0.0;
    int chosen = k;
    for (int r = k; r < A.rows; ++r) {
        const double magnitude = std::fabs(A.GetElement(r, k));
        if (magnitude > best) {
            best = magnitude;
            chosen = r;
        }
    }
    if (chosen > k) {
        A.SwapRows(k, chosen);
        P.SwapRows(k, chosen);
        return -1;
    }
    return 1;
}

double LuDecompose(Matrix &A, Matrix &P)
{
    bool singular = false;
    const double det = decompose(A, P, singular);
    if (!singular && det == 0.0)
        return std::signbit(det) ? -std::numeric_limits<double>::denorm_min()
                                 : std::numeric_limits<double>::denorm_min();
    return det;
}

void substitute(const Matrix &A, Matrix &b)
{
    const int n = A.rows;
    for (int i = 0; i < n; ++i) {
        double s = b.At(i);
        for (int j = 0; j < i; ++j)
            s -= b.At(j) * A.GetElement(i, j);
        const double pivot = A.GetElement(i, i);
        if (pivot == 0.0) {
            writeLine("Diagonal element is zero in substitute : no solution possible");
            return;
        }
        b.At(i) = s / pivot;
    }
    for (int i = n - 1; i >= 0; --i) {
        double s = b.At(i);
        for (int j = i + 1; j < n; ++j)
            s -= b.At(j) * A.GetElement(i, j);
        b.At(i) = s;
    }
}

double SolveLinear(Matrix &A, Matrix &b)
{
    Matrix P(A.rows, 1);
    InitIndexVector(P);
    const double det = LuDecompose(A, P);
    if (det == 0.0)
        return 0.0;
    PermuteVector(b, P);
    substitute(A, b);
    return det;
}

double SolveLinear(const Matrix &A, Matrix &work, Matrix &workVector, const Matrix &b)
{
    work = A;
    workVector = b;
    return SolveLinear(work, workVector);
}

Matrix InvertMatrix(const Matrix &M)
{
    requireSquare(M, "InvertMatrix");
    const int n = M.rows;
    Matrix W(M);
    Matrix P(n, 1);
    InitIndexVector(P);
    if (LuDecompose(W, P) == 0.0) {
        writeLine("zero determinant in determining inverse matrix");
        return M;
    }
    Matrix R(n, n);
    for (int j = 0; j < n; ++j) {
        Matrix c(n, 1);
        c.At(j) = 1.0;
        PermuteVector(c, P);
        substitute(W, c);
        R.SetRow(j, c);
    }
    R.Transpose();
    return R;
}

double Determinant(const Matrix &M)
{
    Matrix copy(M);
    Matrix P(M.rows, 1);
    InitIndexVector(P);
    return LuDecompose(copy, P);
}

void InvertInPlace(Matrix &M)
{
    M.CopyElements(InvertMatrix(M));
}

} // namespace numerics
