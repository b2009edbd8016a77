// The matrix class and the linear solvers against known inverses, determinants and LAPACK.
#include "simulator/numerics/linear_solvers.h"
#include "simulator/numerics/matrix.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <sstream>
#include <stdexcept>
#include <vector>

extern "C" {
void dgesv_(const int *n, const int *nrhs, double *a, const int *lda, int *ipiv, double *b,
            const int *ldb, int *info);
}

using namespace numerics;

namespace {

Matrix fromRows(const std::vector<std::vector<double>> &rowValues)
{
    Matrix m(static_cast<int>(rowValues.size()), static_cast<int>(rowValues.front().size()));
    m.Assign(rowValues);
    return m;
}

Matrix column(const std::vector<double> &values)
{
    Matrix v(static_cast<int>(values.size()), 1);
    v.Assign(values);
    return v;
}

std::string printed(const Matrix &m)
{
    std::ostringstream out;
    out << m;
    return out.str();
}

Matrix hilbert(int n)
{
    Matrix h(n, n);
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j)
            h.SetElement(1.0 / (i + j + 1), i, j);
    return h;
}

TEST(MatrixTest, ElementAccessFollowsTheVectorRules)
{
    Matrix row(1, 3), col(3, 1), square(3, 3), one(1, 1);
    row.At(2) = 5.0;
    col.At(2) = 6.0;
    square.SetElement(7.0, 0, 0);
    one.At(0) = 8.0;
    EXPECT_EQ(row.GetElement(0, 2), 5.0);
    EXPECT_EQ(col.GetElement(2, 0), 6.0);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(square.At(i), 7.0) << "At on a square matrix is element (0, 0) for any i";
    EXPECT_EQ(one.At(0), 8.0);
    EXPECT_THROW(col.At(3), std::out_of_range);
    EXPECT_THROW(square.GetElement(3, 0), std::out_of_range);
    EXPECT_THROW(square.SetElement(1.0, 0, -1), std::out_of_range);
}

TEST(MatrixTest, RowsColumnsAndFilling)
{
    Matrix m = fromRows({{1, 2, 3}, {4, 5, 6}});
    EXPECT_EQ(m.CopyColumn(2), (std::vector<double>{3, 6}));
    m.SetColumn(0, column({9, 8}));
    m.SwapRows(0, 1);
    EXPECT_EQ(m, fromRows({{8, 5, 6}, {9, 2, 3}}));
    EXPECT_THROW(m.SetRow(0, std::vector<double>{1, 2}), std::invalid_argument);
    EXPECT_EQ(Matrix(2, 3).Identity(), fromRows({{1, 0, 0}, {0, 1, 0}}));
}

TEST(MatrixTest, RowVectorOfVectorsAndSquareMatrices)
{
    const Matrix m = fromRows({{1, 2}, {3, 4}});
    EXPECT_EQ(m.RowVector(1), column({3, 4}));
    EXPECT_EQ(column({5, 6, 7}).RowVector(1), fromRows({{6}}));
    EXPECT_EQ(fromRows({{5, 6, 7}}).RowVector(2), fromRows({{7}}));
}

TEST(MatrixTest, ArithmeticOperators)
{
    const Matrix a = fromRows({{1, 2}, {3, 4}});
    const Matrix b = fromRows({{5, 6}, {7, 8}});
    EXPECT_EQ(a + b, fromRows({{6, 8}, {10, 12}}));
    EXPECT_EQ(b - a, fromRows({{4, 4}, {4, 4}}));
    EXPECT_EQ(a * b, fromRows({{19, 22}, {43, 50}}));
    EXPECT_EQ(-a, fromRows({{-1, -2}, {-3, -4}}));
    EXPECT_EQ(a * 2, fromRows({{2, 4}, {6, 8}}));
    EXPECT_EQ(2 * a, a * 2.0);
    EXPECT_EQ(a / 2, fromRows({{0.5, 1}, {1.5, 2}}));
    EXPECT_EQ(a + 1, 1 + a);
    EXPECT_EQ(10 - a, fromRows({{9, 8}, {7, 6}}));
    EXPECT_EQ(a - 1, fromRows({{0, 1}, {2, 3}}));

    Matrix c = a;
    c *= b;
    EXPECT_EQ(c, a * b);

    // Dividing by a matrix multiplies by its inverse: (a b) / b is a.
    const Matrix q = (a * b) / b;
    for (int i = 0; i < 2; ++i)
        for (int j = 0; j < 2; ++j)
            EXPECT_NEAR(q.GetElement(i, j), a.GetElement(i, j), 1e-12);
    const Matrix d = fromRows({{2, 0}, {0, 4}});
    EXPECT_EQ(1.0 / d, fromRows({{0.5, 0}, {0, 0.25}}));
    EXPECT_EQ(d, fromRows({{2, 0}, {0, 4}})) << "s / M leaves M unchanged";
}

TEST(MatrixTest, ShapeMismatchesAreRefused)
{
    const Matrix a(2, 2), v(3, 1), r(1, 3);
    EXPECT_THROW(a + v, std::invalid_argument);
    EXPECT_THROW(a - v, std::invalid_argument);
    EXPECT_THROW(a * v, std::invalid_argument);
    EXPECT_THROW(v / v, std::invalid_argument);
    Matrix w(3, 1);
    EXPECT_THROW(w.CopyElements(r), std::invalid_argument);
    EXPECT_THROW(w *= a, std::invalid_argument);
}

TEST(MatrixTest, TransposeAndInnerProduct)
{
    const Matrix u = column({1, 2, 3});
    const Matrix v = column({4, 5, 6});
    EXPECT_EQ((u.Transposed() * v).First(), 32.0);
    Matrix m = fromRows({{1, 2, 3}, {4, 5, 6}});
    m.Transpose();
    EXPECT_EQ(m.rows, 3);
    EXPECT_EQ(m.cols, 2);
    EXPECT_EQ(m, fromRows({{1, 4}, {2, 5}, {3, 6}}));
}

TEST(MatrixTest, QueriesAndNorms)
{
    const Matrix m = fromRows({{3, -4}, {1, 7}});
    EXPECT_EQ(m.MinElement(), -4.0);
    EXPECT_EQ(m.MaxElement(), 7.0);
    EXPECT_DOUBLE_EQ(m.Norm(), std::sqrt(75.0));
    EXPECT_EQ(m.RowSumNorm(), 8.0);
    EXPECT_EQ(Matrix(2, 2).RowSumNorm(), 0.0);
    EXPECT_FALSE(Matrix(2, 1) == Matrix(1, 2));
}

TEST(MatrixTest, MovedFromMatrixIsEmpty)
{
    Matrix a = fromRows({{1, 2}});
    Matrix b = std::move(a);
    EXPECT_EQ(b, fromRows({{1, 2}}));
    EXPECT_EQ(a.rows, 0); // NOLINT(bugprone-use-after-move)
    EXPECT_EQ(a.cols, 0);
}

TEST(MatrixTest, PrintWritesTabSeparatedRowsWithoutFinalNewline)
{
    EXPECT_EQ(printed(fromRows({{1, 2.5}, {-3, 4}})), "1\t2.5\n-3\t4");
    EXPECT_EQ(printed(column({0.125})), "0.125");
}

TEST(LinearSolversTest, PivotingAndDecomposition)
{
    Matrix exchange = fromRows({{0, 1}, {1, 0}});
    Matrix P(2, 1);
    InitIndexVector(P);
    EXPECT_EQ(LuDecompose(exchange, P), -1.0);
    EXPECT_EQ(P, column({1, 0}));

    Matrix zeroColumn = fromRows({{0, 1}, {0, 2}});
    const Matrix untouched = zeroColumn;
    InitIndexVector(P);
    EXPECT_EQ(LuDecompose(zeroColumn, P), 0.0);
    EXPECT_EQ(zeroColumn, untouched);

    Matrix tie = fromRows({{-3, 1}, {3, 2}});
    InitIndexVector(P);
    EXPECT_EQ(SelectPivot(tie, P, 0), 1) << "the upper of two equal magnitudes is kept";

    Matrix v = column({10, 20});
    PermuteVector(v, column({1, 0}));
    EXPECT_EQ(v, column({20, 10}));
}

TEST(LinearSolversTest, SolveInvertAndDeterminantOfSmallCases)
{
    Matrix A = fromRows({{2, 0}, {0, 4}});
    Matrix b = column({2, 4});
    EXPECT_EQ(SolveLinear(A, b), 8.0);
    EXPECT_EQ(b, column({1, 1}));

    const Matrix original = fromRows({{4, 3}, {6, 3}});
    Matrix work(2, 2), workVector(2, 1);
    const Matrix rhs = column({10, 12});
    EXPECT_DOUBLE_EQ(SolveLinear(original, work, workVector, rhs), -6.0);
    EXPECT_NEAR(workVector.At(0), 1.0, 1e-14);
    EXPECT_NEAR(workVector.At(1), 2.0, 1e-14);
    EXPECT_EQ(original, fromRows({{4, 3}, {6, 3}}));

    Matrix inPlace = fromRows({{2, 0}, {0, 4}});
    InvertInPlace(inPlace);
    EXPECT_EQ(inPlace, fromRows({{0.5, 0}, {0, 0.25}}));
}

TEST(LinearSolversTest, SingularMatricesAreReported)
{
    testing::internal::CaptureStdout();
    const Matrix zero(1, 1);
    const Matrix inverse = InvertMatrix(zero);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "zero determinant in determining inverse matrix\n");
    EXPECT_EQ(inverse, zero);

    Matrix singular = fromRows({{1, 2}, {2, 4}});
    Matrix b = column({1, 1});
    EXPECT_EQ(SolveLinear(singular, b), 0.0);
    EXPECT_EQ(b, column({1, 1}));

    testing::internal::CaptureStdout();
    Matrix keeps = fromRows({{1, 2}, {2, 4}});
    InvertInPlace(keeps);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(keeps, fromRows({{1, 2}, {2, 4}}));

    testing::internal::CaptureStdout();
    Matrix lu = fromRows({{1, 0}, {0, 0}});
    Matrix c = column({1, 1});
    substitute(lu, c);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Diagonal element is zero in substitute : no solution possible\n");
    EXPECT_EQ(c, column({1, 1}));
}

TEST(LinearSolversTest, HilbertFourInverseAndDeterminant)
{
    const Matrix h = hilbert(4);
    const Matrix expected = fromRows({{16, -120, 240, -140},
                                      {-120, 1200, -2700, 1680},
                                      {240, -2700, 6480, -4200},
                                      {-140, 1680, -4200, 2800}});
    const Matrix inverse = InvertMatrix(h);
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            EXPECT_NEAR(inverse.GetElement(i, j), expected.GetElement(i, j), 1e-9)
                << i << "," << j;
    EXPECT_NEAR(Determinant(h), 1.0 / 6048000.0, 1e-20);
    EXPECT_EQ(h, hilbert(4)) << "Determinant works on a copy";
}

// A matrix with tiny but non-zero pivots is not singular even where the product of the pivots
// underflows to zero.
TEST(LinearSolversTest, UnderflowingDeterminantIsNotSingular)
{
    Matrix tiny(3, 3);
    for (int i = 0; i < 3; ++i)
        tiny.SetElement(1e-200, i, i);
    const double det = Determinant(tiny);
    EXPECT_NE(det, 0.0);
    EXPECT_GT(det, 0.0);

    Matrix A = tiny;
    Matrix b = column({1e-200, 2e-200, 3e-200});
    EXPECT_NE(SolveLinear(A, b), 0.0);
    EXPECT_DOUBLE_EQ(b.At(0), 1.0);
    EXPECT_DOUBLE_EQ(b.At(2), 3.0);

    Matrix negative = tiny;
    negative.SetElement(-1e-200, 0, 0);
    EXPECT_LT(Determinant(negative), 0.0);
    EXPECT_DOUBLE_EQ(InvertMatrix(tiny).GetElement(1, 1), 1e200);
}

TEST(LinearSolversTest, SolutionsAgreeWithLapackOnRandomSystems)
{
    std::mt19937 random(12);
    std::uniform_real_distribution<double> uniform(-1.0, 1.0);
    for (int n : {1, 2, 3, 5, 8, 13}) {
        for (int trial = 0; trial < 5; ++trial) {
            Matrix A(n, n);
            Matrix b(n, 1);
            std::vector<double> lapackA(static_cast<std::size_t>(n * n));
            std::vector<double> lapackB(static_cast<std::size_t>(n));
            for (int i = 0; i < n; ++i) {
                for (int j = 0; j < n; ++j) {
                    const double v = uniform(random);
                    A.SetElement(v, i, j);
                    lapackA[static_cast<std::size_t>(i + j * n)] = v; // column-major
                }
                b.At(i) = uniform(random);
                lapackB[static_cast<std::size_t>(i)] = b.At(i);
            }
            const Matrix original = A;
            std::vector<int> ipiv(static_cast<std::size_t>(n));
            int info = 0;
            const int one = 1;
            dgesv_(&n, &one, lapackA.data(), &n, ipiv.data(), lapackB.data(), &n, &info);
            ASSERT_EQ(info, 0);

            double lapackDet = 1.0;
            for (int i = 0; i < n; ++i)
                lapackDet *= lapackA[static_cast<std::size_t>(i + i * n)] *
                             (ipiv[static_cast<std::size_t>(i)] != i + 1 ? -1.0 : 1.0);
            EXPECT_NEAR(Determinant(original), lapackDet, 1e-10 * std::fabs(lapackDet) + 1e-14);

            const double det = SolveLinear(A, b);
            EXPECT_NE(det, 0.0);
            const Matrix inverse = InvertMatrix(original);
            for (int i = 0; i < n; ++i)
                EXPECT_NEAR(b.At(i), lapackB[static_cast<std::size_t>(i)],
                            1e-9 * (1.0 + std::fabs(lapackB[static_cast<std::size_t>(i)])))
                    << "n=" << n << " trial=" << trial << " i=" << i;
            const Matrix product = original * inverse;
            for (int i = 0; i < n; ++i)
                for (int j = 0; j < n; ++j)
                    EXPECT_NEAR(product.GetElement(i, j), i == j ? 1.0 : 0.0, 1e-9);
        }
    }
}

} // namespace
