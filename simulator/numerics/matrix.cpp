// Dense real matrix of the optimisers: element access, arithmetic operators, norms and printing.
#include "simulator/numerics/matrix.h"

#include "simulator/numerics/linear_solvers.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>
#include <utility>

namespace numerics {

namespace {

[[noreturn]] void shapeError(const char *operation, const Matrix &a, const Matrix &b)
{
    throw std::invalid_argument(std::string("Matrix ") + operation + ": shapes " +
                                std::to_string(a.rows) + "x" + std::to_string(a.cols) + " and " +
                                std::to_string(b.rows) + "x" + std::to_string(b.cols) +
                                " do not fit");
}

} // namespace

Matrix::Matrix(int rowCount, int colCount)
{
    if (rowCount < 0 || colCount < 0)
        throw std::invalid_argument("Matrix: negative size");
    rows = rowCount;
    cols = colCount;
    m_values.assign(static_cast<std::size_t>(rowCount) * static_cast<std::size_t>(colCount), 0.0);
}

Matrix::Matrix(Matrix &&other) noexcept
    : rows(std::exchange(other.rows, 0)), cols(std::exchange(other.cols, 0)),
      m_values(std::move(other.m_values))
{
    other.m_values.clear();
}

Matrix &Matrix::operator=(Matrix &&other) noexcept
{
    if (this != &other) {
        rows = std::exchange(other.rows, 0);
        cols = std::exchange(other.cols, 0);
        m_values = std::move(other.m_values);
        other.m_values.clear();
    }
    return *this;
}

std::size_t Matrix::index(int r, int c) const
{
    if (r < 0 || r >= rows || c < 0 || c >= cols)
        throw std::out_of_range("Matrix element (" + std::to_string(r) + ", " + std::to_string(c) +
                                ") outside " + std::to_string(rows) + "x" + std::to_string(cols));
    return static_cast<std::size_t>(r) * static_cast<std::size_t>(cols) +
           static_cast<std::size_t>(c);
}

void Matrix::requireSameShape(const Matrix &other, const char *operation) const
{
    if (rows != other.rows || cols != other.cols)
        shapeError(operation, *this, other);
}

double &Matrix::At(int i)
{
    if (rows == 1)
        return m_values[index(0, i)];
    if (cols == 1)
        return m_values[index(i, 0)];
    return m_values[index(0, 0)];
}

double Matrix::At(int i) const
{
    return const_cast<Matrix *>(this)->At(i);
}

double Matrix::GetElement(int r, int c) const
{
    return m_values[index(r, c)];
}

void Matrix::SetElement(double value, int r, int c)
{
    m_values[index(r, c)] = value;
}

void Matrix::SetRow(int r, std::span<const double> values)
{
    if (values.size() < static_cast<std::size_t>(cols))
        throw std::invalid_argument("Matrix SetRow: too few values");
    for (int j = 0; j < cols; ++j)
        m_values[index(r, j)] = values[static_cast<std::size_t>(j)];
}

void Matrix::SetColumn(int c, std::span<const double> values)
{
    if (values.size() < static_cast<std::size_t>(rows))
        throw std::invalid_argument("Matrix SetColumn: too few values");
    for (int i = 0; i < rows; ++i)
        m_values[index(i, c)] = values[static_cast<std::size_t>(i)];
}

void Matrix::SetRow(int r, const Matrix &vector)
{
    for (int j = 0; j < cols; ++j)
        m_values[index(r, j)] = vector.At(j);
}

void Matrix::SetColumn(int c, const Matrix &vector)
{
    for (int i = 0; i < rows; ++i)
        m_values[index(i, c)] = vector.At(i);
}

std::vector<double> Matrix::CopyRow(int r) const
{
    std::vector<double> row(static_cast<std::size_t>(cols));
    for (int j = 0; j < cols; ++j)
        row[static_cast<std::size_t>(j)] = m_values[index(r, j)];
    return row;
}

std::vector<double> Matrix::CopyColumn(int c) const
{
    std::vector<double> column(static_cast<std::size_t>(rows));
    for (int i = 0; i < rows; ++i)
        column[static_cast<std::size_t>(i)] = m_values[index(i, c)];
    return column;
}

void Matrix::Assign(const std::vector<std::vector<double>> &rowValues)
{
    if (rowValues.size() < static_cast<std::size_t>(rows))
        throw std::invalid_argument("Matrix Assign: too few rows");
    for (int i = 0; i < rows; ++i)
        SetRow(i, rowValues[static_cast<std::size_t>(i)]);
}

void Matrix::Assign(std::span<const double> flat)
{
    if (flat.size() < m_values.size())
        throw std::invalid_argument("Matrix Assign: too few values");
    std::copy(flat.begin(), flat.begin() + static_cast<std::ptrdiff_t>(m_values.size()),
              m_values.begin());
}

void Matrix::SetIdentity()
{
    for (int i = 0; i < rows; ++i)
        for (int j = 0; j < cols; ++j)
            m_values[index(i, j)] = i == j ? 1.0 : 0.0;
}

void Matrix::SetOnes()
{
    std::fill(m_values.begin(), m_values.end(), 1.0);
}

void Matrix::SetZero()
{
    std::fill(m_values.begin(), m_values.end(), 0.0);
}

void Matrix::SwapRows(int i, int j)
{
    for (int c = 0; c < cols; ++c)
        std::swap(m_values[index(i, c)], m_values[index(j, c)]);
}

double Matrix::First() const
{
    return m_values[index(0, 0)];
}

Matrix Matrix::Identity() const
{
    Matrix result(rows, cols);
    result.SetIdentity();
    return result;
}

Matrix Matrix::Ones() const
{
    Matrix result(rows, cols);
    result.SetOnes();
    return result;
}

Matrix Matrix::RowVector(int i) const
{
    if (rows == 1 || cols == 1) {
        Matrix result(1, 1);
        result.m_values[0] = At(i);
        return result;
    }
    if (rows != cols)
        shapeError("RowVector", *this, *this);
    Matrix result(rows, 1);
    for (int j = 0; j < rows; ++j)
        result.m_values[static_cast<std::size_t>(j)] = GetElement(i, j);
    return result;
}

Matrix Matrix::Transposed() const
{
    Matrix result(cols, rows);
    for (int i = 0; i < rows; ++i)
        for (int j = 0; j < cols; ++j)
            result.m_values[result.index(j, i)] = m_values[index(i, j)];
    return result;
}

Matrix Matrix::operator-() const
{
    Matrix result(*this);
    for (double &v : result.m_values)
        v = -v;
    return result;
}

Matrix Matrix::operator+(const Matrix &right) const
{
    Matrix result(*this);
    result += right;
    return result;
}

Matrix Matrix::operator-(const Matrix &right) const
{
    Matrix result(*this);
    result -= right;
    return result;
}

Matrix Matrix::operator*(const Matrix &right) const
{
    if (cols != right.rows)
        shapeError("product", *this, right);
    Matrix result(rows, right.cols);
    for (int i = 0; i < rows; ++i)
        for (int j = 0; j < right.cols; ++j) {
            double sum = 0.0;
            for (int k = 0; k < cols; ++k)
                sum += m_values[index(i, k)] * right.m_values[right.index(k, j)];
            result.m_values[result.index(i, j)] = sum;
        }
    return result;
}

Matrix Matrix::operator/(const Matrix &right) const
{
    if (right.rows != right.cols)
        shapeError("division", *this, right);
    return *this * InvertMatrix(right);
}

Matrix Matrix::operator+(double s) const
{
    Matrix result(*this);
    result += s;
    return result;
}

Matrix Matrix::operator-(double s) const
{
    Matrix result(*this);
    result -= s;
    return result;
}

Matrix Matrix::operator*(double s) const
{
    Matrix result(*this);
    result *= s;
    return result;
}

Matrix Matrix::operator/(double s) const
{
    Matrix result(*this);
    result /= s;
    return result;
}

void Matrix::operator+=(const Matrix &right)
{
    requireSameShape(right, "sum");
    for (std::size_t k = 0; k < m_values.size(); ++k)
        m_values[k] += right.m_values[k];
}

void Matrix::operator-=(const Matrix &right)
{
    requireSameShape(right, "difference");
    for (std::size_t k = 0; k < m_values.size(); ++k)
        m_values[k] -= right.m_values[k];
}

void Matrix::operator*=(const Matrix &right)
{
    if (right.rows != cols || right.cols != cols)
        shapeError("in-place product", *this, right);
    *this = *this * right;
}

void Matrix::operator+=(double s)
{
    for (double &v : m_values)
        v += s;
}

void Matrix::operator-=(double s)
{
    for (double &v : m_values)
        v -= s;
}

void Matrix::operator*=(double s)
{
    for (double &v : m_values)
        v *= s;
}

void Matrix::operator/=(double s)
{
    for (double &v : m_values)
        v /= s;
}

void Matrix::CopyElements(const Matrix &source)
{
    requireSameShape(source, "CopyElements");
    m_values = source.m_values;
}

void Matrix::Transpose()
{
    *this = Transposed();
}

bool Matrix::operator==(const Matrix &other) const
{
    return rows == other.rows && cols == other.cols && m_values == other.m_values;
}

double Matrix::MinElement() const
{
    double smallest = First();
    for (double v : m_values)
        if (v < smallest)
            smallest = v;
    return smallest;
}

double Matrix::MaxElement() const
{
    double largest = First();
    for (double v : m_values)
        if (v > largest)
            largest = v;
    return largest;
}

double Matrix::Norm() const
{
    double sum = 0.0;
    for (double v : m_values)
        sum += v * v;
    return std::sqrt(sum);
}

double Matrix::RowSumNorm() const
{
    double largest = 0.0;
    for (int i = 0; i < rows; ++i) {
        double sum = 0.0;
        for (int j = 0; j < cols; ++j)
            sum += std::fabs(m_values[index(i, j)]);
        if (sum > largest)
            largest = sum;
    }
    return largest;
}

std::ostream &Matrix::Print(std::ostream &stream) const
{
    for (int i = 0; i < rows; ++i) {
        if (i > 0)
            stream << std::endl;
        for (int j = 0; j < cols; ++j) {
            if (j > 0)
                stream << '\t';
            stream << m_values[index(i, j)];
        }
    }
    return stream;
}

Matrix operator+(double s, const Matrix &m)
{
    return m + s;
}

Matrix operator-(double s, const Matrix &m)
{
    return (-m) + s;
}

Matrix operator*(double s, const Matrix &m)
{
    return m * s;
}

Matrix operator/(double s, const Matrix &m)
{
    Matrix copy(m);
    InvertInPlace(copy);
    return s * copy;
}

std::ostream &operator<<(std::ostream &stream, const Matrix &m)
{
    return m.Print(stream);
}

} // namespace numerics
