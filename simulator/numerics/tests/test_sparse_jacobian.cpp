// Sparse Jacobian structures: building them from rows, the column groups, the choice against the
// dense matrix, and KLU's factorisation against LINPACK's; CVODE with the sparse matrix against
// CVODE with the dense one.
#include "simulator/numerics/cvode_adapter.h"
#include "simulator/numerics/linpack.h"
#include "simulator/numerics/sparse_jacobian.h"
#include "simulator/numerics/subnormals.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <set>
#include <vector>

using namespace numerics;

namespace {

/// The 5-point stencil of an m x m grid, row by row.
std::vector<std::vector<int>> gridRows(int m)
{
    std::vector<std::vector<int>> rows(std::size_t(m) * m);
    for (int r = 0; r < m; ++r)
        for (int c = 0; c < m; ++c) {
            auto& row = rows[std::size_t(r * m + c)];
            if (r > 0)
                row.push_back((r - 1) * m + c);
            if (c > 0)
                row.push_back(r * m + c - 1);
            if (c + 1 < m)
                row.push_back(r * m + c + 1);
            if (r + 1 < m)
                row.push_back((r + 1) * m + c);
        }
    return rows;
}

/// Every column in exactly one group, and no two columns of a group sharing a row.
void expectValidGroups(const SparsePattern& p, const ColumnGroups& groups)
{
    std::vector<int> seen(std::size_t(p.n), 0);
    for (int g = 0; g < groups.count(); ++g) {
        std::set<SparseIndex> rows;
        for (int k = groups.start[std::size_t(g)]; k < groups.start[std::size_t(g) + 1]; ++k) {
            const int j = groups.columns[std::size_t(k)];
            ++seen[std::size_t(j)];
            for (auto q = p.columnStart[std::size_t(j)]; q < p.columnStart[std::size_t(j) + 1]; ++q)
                ASSERT_TRUE(rows.insert(p.rows[std::size_t(q)]).second) << "group " << g << " column " << j;
        }
    }
    for (int j = 0; j < p.n; ++j)
        ASSERT_EQ(seen[std::size_t(j)], 1) << "column " << j;
}

/// A dense copy of the values in the structure, column by column.
std::vector<double> dense(const SparsePattern& p, const std::vector<double>& values)
{
    std::vector<double> a(std::size_t(p.n) * p.n, 0.0);
    for (int j = 0; j < p.n; ++j)
        for (auto q = p.columnStart[std::size_t(j)]; q < p.columnStart[std::size_t(j) + 1]; ++q)
            a[std::size_t(p.rows[std::size_t(q)]) + std::size_t(j) * p.n] = values[std::size_t(q)];
    return a;
}

std::vector<double> solvedByLinpack(const SparsePattern& p, const std::vector<double>& values, std::vector<double> b)
{
    std::vector<double> a = dense(p, values);
    std::vector<int> pivots(std::size_t(p.n));
    int info = 0;
    const int job = 0;
    DGEFA(a.data(), &p.n, &p.n, pivots.data(), &info);
    EXPECT_EQ(info, 0);
    DGESL(a.data(), &p.n, &p.n, pivots.data(), b.data(), &job);
    return b;
}

} // namespace

// Rows in any order, with repeats and with or without their diagonal, give sorted columns with
// the diagonal in each.
TEST(SparsePattern, RowsBecomeSortedColumnsWithTheirDiagonal)
{
    const SparsePattern p = patternFromRows({{2, 0, 2}, {}, {1, 2, 1}});
    EXPECT_EQ(p.n, 3);
    EXPECT_EQ(p.columnStart, (std::vector<SparseIndex>{0, 1, 3, 5}));
    EXPECT_EQ(p.rows, (std::vector<SparseIndex>{0, 1, 2, 0, 2}));
    EXPECT_TRUE(p.has(0, 2));
    EXPECT_TRUE(p.has(2, 1));
    EXPECT_FALSE(p.has(1, 0));
    EXPECT_FALSE(p.has(0, 3));
}

// A band of width 3 takes 3 groups, the 5-point grid a few, and random structures of any shape
// get valid groups; the differences of a group land in its own columns only.
TEST(SparsePattern, GroupsAreStructurallyIndependentAndFew)
{
    std::vector<std::vector<int>> band(100);
    for (int i = 0; i < 100; ++i)
        band[std::size_t(i)] = {i - 1 < 0 ? 0 : i - 1, i + 1 > 99 ? 99 : i + 1};
    const SparsePattern tridiagonal = patternFromRows(band);
    const ColumnGroups three = groupColumns(tridiagonal);
    EXPECT_EQ(three.count(), 3);
    expectValidGroups(tridiagonal, three);

    const SparsePattern grid = patternFromRows(gridRows(30));
    const ColumnGroups gridGroups = groupColumns(grid);
    expectValidGroups(grid, gridGroups);
    EXPECT_LE(gridGroups.count(), 8);

    std::mt19937 random(7);
    for (int trial = 0; trial < 20; ++trial) {
        const int n = 1 + int(random() % 60);
        std::vector<std::vector<int>> rows(static_cast<std::size_t>(n));
        for (auto& row : rows)
            for (int k = int(random() % 6); k > 0; --k)
                row.push_back(int(random() % unsigned(n)));
        const SparsePattern p = patternFromRows(rows);
        expectValidGroups(p, groupColumns(p));
    }

    // Group 1 of the band is columns 1, 4, 7, ...: perturbed rows hold their quotients.
    std::vector<double> increment(100, 0.5), base(100, 1.0), perturbed(100, 2.0);
    std::vector<double> values(tridiagonal.nonzeros(), -1.0);
    storeGroupDifferences(tridiagonal, three, 1, increment.data(), base.data(), perturbed.data(), values.data());
    for (int j = 0; j < 100; ++j)
        for (auto q = tridiagonal.columnStart[std::size_t(j)]; q < tridiagonal.columnStart[std::size_t(j) + 1]; ++q)
            EXPECT_EQ(values[std::size_t(q)], j % 3 == 1 ? 2.0 : -1.0) << j;
}

// Small structures and thickly filled ones stay dense; large thin ones go sparse.
TEST(SparsePattern, SparseOnlyWhenLargeAndThin)
{
    auto tridiagonal = [](int n) {
        std::vector<std::vector<int>> rows(static_cast<std::size_t>(n));
        for (int i = 1; i < n; ++i)
            rows[std::size_t(i)] = {i - 1};
        return patternFromRows(rows);
    };
    EXPECT_FALSE(sparseIsWorthwhile(tridiagonal(3)));
    EXPECT_FALSE(sparseIsWorthwhile(tridiagonal(99)));
    EXPECT_TRUE(sparseIsWorthwhile(tridiagonal(100)));
    EXPECT_TRUE(sparseIsWorthwhile(tridiagonal(100000)));
    // A fifth of every row filled.
    std::vector<std::vector<int>> thick(200);
    for (int i = 0; i < 200; ++i)
        for (int j = 0; j < 40; ++j)
            thick[std::size_t(i)].push_back((i + j) % 200);
    EXPECT_FALSE(sparseIsWorthwhile(patternFromRows(thick)));
    // One full row among 10^5 thin ones costs too much to group.
    std::vector<std::vector<int>> oneFullRow(100000);
    for (int j = 0; j < 100000; ++j)
        oneFullRow[0].push_back(j);
    EXPECT_FALSE(sparseIsWorthwhile(patternFromRows(oneFullRow)));
}

// KLU solves as LINPACK does; a refactorisation whose old pivots meet a zero pivots afresh;
// a singular matrix names the column where it stopped.
TEST(SparseLu, SolvesAsLinpackRefactorsAndPivotsAfreshWhenItMust)
{
    const SparsePattern p = patternFromRows(gridRows(12));
    std::mt19937 random(3);
    std::uniform_real_distribution<double> value(-1.0, 1.0);
    std::vector<double> values(p.nonzeros());
    for (int j = 0; j < p.n; ++j)
        for (auto q = p.columnStart[std::size_t(j)]; q < p.columnStart[std::size_t(j) + 1]; ++q)
            values[std::size_t(q)] = p.rows[std::size_t(q)] == j ? 8.0 + value(random) : value(random);
    std::vector<double> b(std::size_t(p.n));
    for (double& x : b)
        x = value(random);

    SparseLu lu;
    ASSERT_TRUE(lu.analyse(p));
    for (int round = 0; round < 2; ++round) {
        std::vector<double> a = values;
        ASSERT_EQ(lu.factor(a.data()), 0);
        std::vector<double> x = b;
        lu.solve(x.data());
        const std::vector<double> expected = solvedByLinpack(p, values, b);
        for (int i = 0; i < p.n; ++i)
            EXPECT_NEAR(x[std::size_t(i)], expected[std::size_t(i)], 1e-12) << "round " << round << " row " << i;
        for (double& v : values)
            v *= 1.5;
    }
    EXPECT_EQ(lu.factorisations(), 1);
    EXPECT_EQ(lu.refactorisations(), 1);

    // [[0, 1], [1, 0]] after [[1, 1], [1, 2]]: the first pivot order meets a zero.
    const SparsePattern full = patternFromRows({{1}, {0}});
    SparseLu small;
    ASSERT_TRUE(small.analyse(full));
    std::vector<double> first = {1.0, 1.0, 1.0, 2.0}, second = {0.0, 1.0, 1.0, 0.0};
    ASSERT_EQ(small.factor(first.data()), 0);
    ASSERT_EQ(small.factor(second.data()), 0);
    EXPECT_EQ(small.factorisations(), 2);
    std::vector<double> x = {3.0, 2.0}; // x2 = 3, x1 = 2
    small.solve(x.data());
    EXPECT_DOUBLE_EQ(x[0], 2.0);
    EXPECT_DOUBLE_EQ(x[1], 3.0);

    std::vector<double> singular = {1.0, 1.0, 1.0, 1.0};
    EXPECT_EQ(small.factor(singular.data()), 2);
}

namespace {

constexpr int kRod = 150;

/// Evaluations made with subnormals counted as zero, and with them kept.
int g_flushedEvaluations = 0, g_keptEvaluations = 0;

// Heat along a rod of kRod points, the left end held at 1: stiff, tridiagonal.
void rod(int n, double, const double* y, double* ydot, void*)
{
    ++(subnormalModeBits() == SubnormalsAsZeroBits ? g_flushedEvaluations : g_keptEvaluations);
    const double k = double(n + 1) * double(n + 1);
    for (int i = 0; i < n; ++i)
        ydot[i] = k * ((i > 0 ? y[i - 1] : 1.0) - 2.0 * y[i] + (i + 1 < n ? y[i + 1] : 0.0));
}

std::vector<double> rodByVode(const SparseJacobian* sparse, long& evaluations)
{
    VodeSettings settings;
    settings.relativeTolerance = 1e-8;
    settings.absoluteTolerance = 1e-8;
    settings.sparse = sparse;
    VodeIntegrator vode;
    std::vector<double> y(kRod, 0.0);
    EXPECT_EQ(vode.start(kRod, rod, nullptr, 0.0, y.data(), settings), VodeSuccess);
    EXPECT_EQ(vode.setStopTime(0.1), VodeSuccess);
    double t = 0.0;
    while (t < 0.1) {
        const int result = vode.step(0.1, t, y.data());
        EXPECT_EQ(result, VodeSuccess) << "at t = " << t;
        if (result != VodeSuccess)
            break;
    }
    EXPECT_GT(vode.jacobianEvaluations(), 0);
    evaluations = vode.derivativeEvaluations();
    return y;
}

} // namespace

// The sparse Newton matrix, differenced in three groups and factored by KLU, gives CVODE the
// dense matrix's solution with three evaluations per Jacobian instead of 150; a structure of
// another order is refused.
TEST(VodeAdapter, SparseJacobianAgreesWithTheDenseOne)
{
    std::vector<std::vector<int>> rows(kRod);
    for (int i = 1; i < kRod; ++i)
        rows[std::size_t(i)] = {i - 1, i};
    for (int i = 0; i + 1 < kRod; ++i)
        rows[std::size_t(i)].push_back(i + 1);
    SparseJacobian sparse(patternFromRows(rows));
    long denseEvaluations = 0, sparseEvaluations = 0;
    g_flushedEvaluations = g_keptEvaluations = 0;
    const std::vector<double> byDense = rodByVode(nullptr, denseEvaluations);
    // The dense matrix's run keeps subnormals; the sparse one's steps count them as zero, and
    // the mode is given back after each.
    EXPECT_EQ(g_flushedEvaluations, 0);
    EXPECT_GT(g_keptEvaluations, 0);
    g_flushedEvaluations = g_keptEvaluations = 0;
    const std::vector<double> bySparse = rodByVode(&sparse, sparseEvaluations);
    EXPECT_EQ(subnormalModeBits(), 0u);
    EXPECT_GT(g_flushedEvaluations, 0);
    EXPECT_EQ(g_keptEvaluations, 0);
    for (int i = 0; i < kRod; ++i)
        EXPECT_NEAR(bySparse[std::size_t(i)], byDense[std::size_t(i)], 1e-7) << i;
    EXPECT_LT(sparseEvaluations * 3, denseEvaluations);

    SparseJacobian other(patternFromRows(std::vector<std::vector<int>>(3)));
    VodeSettings settings;
    settings.sparse = &other;
    VodeIntegrator vode;
    std::vector<double> y(kRod, 0.0);
    EXPECT_EQ(vode.start(kRod, rod, nullptr, 0.0, y.data(), settings), VodeIllegalInput);
}
