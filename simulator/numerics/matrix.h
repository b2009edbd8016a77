// Dense real matrix of the optimisers: element access, arithmetic operators, norms and printing.
#pragma once

#include <ostream>
#include <span>
#include <vector>

namespace numerics {

/// A dense row-major matrix of doubles; a vector is an n x 1 matrix.
///
/// Results of expressions are ordinary values, so `x = (a + b) * c` needs no bookkeeping of
/// intermediate results. Binary operations check that their operands' shapes fit and throw
/// std::invalid_argument when they do not; element indices are checked (std::out_of_range).
class Matrix {
public:
    /// Number of rows; read directly by callers, changed only by construction and Transpose.
    int rows = 0;
    /// Number of columns.
    int cols = 0;

    Matrix() = default;
    /// A rows x cols matrix of zeros.
    Matrix(int rows, int cols);
    Matrix(const Matrix &) = default;
    Matrix(Matrix &&other) noexcept;
    Matrix &operator=(const Matrix &) = default;
    Matrix &operator=(Matrix &&other) noexcept;

    /// Element i of a vector: (0, i) of a row, (i, 0) of a column, (0, 0) for any other shape.
    double &At(int i);
    double At(int i) const;
    double GetElement(int r, int c) const;
    void SetElement(double value, int r, int c);
    /// Row r from the first `cols` values.
    void SetRow(int r, std::span<const double> values);
    /// Column c from the first `rows` values.
    void SetColumn(int c, std::span<const double> values);
    /// Row r from elements At(0) .. At(cols - 1) of a vector.
    void SetRow(int r, const Matrix &vector);
    /// Column c from elements At(0) .. At(rows - 1) of a vector.
    void SetColumn(int c, const Matrix &vector);
    std::vector<double> CopyRow(int r) const;
    std::vector<double> CopyColumn(int c) const;
    /// Fills this shape from rows of values (rowValues[i][j]).
    void Assign(const std::vector<std::vector<double>> &rowValues);
    /// Fills this shape from row-major values (flat[i * cols + j]).
    void Assign(std::span<const double> flat);
    /// 1.0 where row equals column, 0.0 elsewhere, for any shape.
    void SetIdentity();
    void SetOnes();
    void SetZero();
    void SwapRows(int i, int j);
    /// Element (0, 0), the value of a 1 x 1 result such as an inner product.
    double First() const;

    Matrix Identity() const;
    Matrix Ones() const;
    /// 1 x 1 element i of a vector, or row i of a square matrix as a column.
    Matrix RowVector(int i) const;
    Matrix Transposed() const;

    Matrix operator-() const;
    Matrix operator+(const Matrix &right) const;
    Matrix operator-(const Matrix &right) const;
    /// The matrix product.
    Matrix operator*(const Matrix &right) const;
    /// This times the inverse of right; a singular right (reported by InvertMatrix) acts as itself.
    Matrix operator/(const Matrix &right) const;
    Matrix operator+(double s) const;
    Matrix operator-(double s) const;
    Matrix operator*(double s) const;
    Matrix operator/(double s) const;

    void operator+=(const Matrix &right);
    void operator-=(const Matrix &right);
    /// This = this * right, right square of size cols.
    void operator*=(const Matrix &right);
    void operator+=(double s);
    void operator-=(double s);
    void operator*=(double s);
    void operator/=(double s);

    /// Copies the elements of an equally shaped source into this.
    void CopyElements(const Matrix &source);
    /// Transposes in place, swapping rows and cols.
    void Transpose();

    bool operator==(const Matrix &other) const;
    /// Smallest element, the first of equal ones in row order.
    double MinElement() const;
    double MaxElement() const;
    /// Euclidean norm of all elements.
    double Norm() const;
    /// Largest sum of absolute values over the rows.
    double RowSumNorm() const;

    /// Writes the rows, tab-separated, lines ended with a flush, none after the last row.
    std::ostream &Print(std::ostream &stream) const;

private:
    std::size_t index(int r, int c) const;
    void requireSameShape(const Matrix &other, const char *operation) const;

    std::vector<double> m_values;
};

Matrix operator+(double s, const Matrix &m);
/// s - M, formed as (-M) + s.
Matrix operator-(double s, const Matrix &m);
Matrix operator*(double s, const Matrix &m);
/// s times the inverse of M; M is unchanged.
Matrix operator/(double s, const Matrix &m);
std::ostream &operator<<(std::ostream &stream, const Matrix &m);

} // namespace numerics
