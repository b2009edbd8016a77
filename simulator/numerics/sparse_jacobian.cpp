// Sparse Jacobians of the stiff methods.
//
// Method: the difference Jacobian by column groups (Curtis, Powell and Reid): columns that share
// no row are perturbed together, so that one evaluation gives all of their columns; the groups
// come from a greedy colouring of the column intersection graph in column order, the
// generalisation of the banded integrator's groups of columns n, n + band, n + 2 band, ... to any
// structure. The LU is SuiteSparse's KLU with its default ordering (block triangular form, then
// AMD within the blocks), analysed once per structure; refactorisations keep the pivot order of
// the last full factorisation while its reciprocal condition estimate stays above uround^(2/3),
// as SUNDIALS' own KLU solver does. Indices from 0, structures column by column.
#include "simulator/numerics/sparse_jacobian.h"

#include <klu.h>

#include <algorithm>
#include <cmath>
#include <limits>

namespace numerics {

namespace {

/// Largest fill, nonzeros over n^2, that is still factored sparse.
constexpr double MaximumSparseFill = 0.1;
/// Bound on the work of grouping, the sum over rows of their squared counts.
constexpr double MaximumGroupingWork = 2e8;

/// The row counts of a structure.
std::vector<SparseIndex> rowCounts(const SparsePattern& pattern)
{
    std::vector<SparseIndex> counts(std::size_t(pattern.n), 0);
    for (const SparseIndex row : pattern.rows)
        ++counts[std::size_t(row)];
    return counts;
}

} // namespace

bool SparsePattern::has(int row, int column) const
{
    if (column < 0 || column >= n)
        return false;
    const auto first = rows.begin() + columnStart[std::size_t(column)];
    const auto last = rows.begin() + columnStart[std::size_t(column) + 1];
    return std::binary_search(first, last, SparseIndex(row));
}

SparsePattern patternFromRows(const std::vector<std::vector<int>>& columnsOfRow)
{
    SparsePattern pattern;
    pattern.n = int(columnsOfRow.size());
    const std::size_t n = columnsOfRow.size();
    std::vector<SparseIndex> counts(n + 1, 0);
    for (std::size_t i = 0; i < n; ++i) {
        ++counts[i];
        for (const int j : columnsOfRow[i])
            if (std::size_t(j) != i)
                ++counts[std::size_t(j)];
    }
    // Room for every entry as listed; repeats are squeezed out per column below.
    pattern.columnStart.assign(n + 1, 0);
    for (std::size_t j = 0; j < n; ++j)
        pattern.columnStart[j + 1] = pattern.columnStart[j] + counts[j];
    std::vector<SparseIndex> rows(std::size_t(pattern.columnStart[n]));
    std::vector<SparseIndex> fill(pattern.columnStart.begin(), pattern.columnStart.end() - 1);
    for (std::size_t i = 0; i < n; ++i) {
        rows[std::size_t(fill[i]++)] = SparseIndex(i);
        for (const int j : columnsOfRow[i])
            if (std::size_t(j) != i)
                rows[std::size_t(fill[std::size_t(j)]++)] = SparseIndex(i);
    }
    // Rows were entered in ascending order per column; drop the repeats.
    pattern.rows.reserve(rows.size());
    SparseIndex kept = 0;
    for (std::size_t j = 0; j < n; ++j) {
        const SparseIndex begin = pattern.columnStart[j];
        const SparseIndex end = pattern.columnStart[j + 1];
        pattern.columnStart[j] = kept;
        for (SparseIndex p = begin; p < end; ++p)
            if (p == begin || rows[std::size_t(p)] != rows[std::size_t(p - 1)]) {
                pattern.rows.push_back(rows[std::size_t(p)]);
                ++kept;
            }
    }
    pattern.columnStart[n] = kept;
    return pattern;
}

ColumnGroups groupColumns(const SparsePattern& pattern)
{
    const std::size_t n = std::size_t(pattern.n);
    // The columns of each row.
    std::vector<SparseIndex> rowStart(n + 1, 0);
    for (const SparseIndex row : pattern.rows)
        ++rowStart[std::size_t(row) + 1];
    for (std::size_t i = 0; i < n; ++i)
        rowStart[i + 1] += rowStart[i];
    std::vector<int> rowColumns(pattern.rows.size());
    {
        std::vector<SparseIndex> fill(rowStart.begin(), rowStart.end() - 1);
        for (std::size_t j = 0; j < n; ++j)
            for (SparseIndex p = pattern.columnStart[j]; p < pattern.columnStart[j + 1]; ++p)
                rowColumns[std::size_t(fill[std::size_t(pattern.rows[std::size_t(p)])]++)] = int(j);
    }
    std::vector<int> groupOf(n, -1);
    std::vector<int> forbiddenFor; // forbiddenFor[g] == j: group g has a column sharing a row with j
    int groups = 0;
    for (std::size_t j = 0; j < n; ++j) {
        for (SparseIndex p = pattern.columnStart[j]; p < pattern.columnStart[j + 1]; ++p) {
            const std::size_t row = std::size_t(pattern.rows[std::size_t(p)]);
            for (SparseIndex q = rowStart[row]; q < rowStart[row + 1]; ++q) {
                const int other = groupOf[std::size_t(rowColumns[std::size_t(q)])];
                if (other >= 0)
                    forbiddenFor[std::size_t(other)] = int(j);
            }
        }
        int g = 0;
        while (g < groups && forbiddenFor[std::size_t(g)] == int(j))
            ++g;
        if (g == groups) {
            forbiddenFor.push_back(-1);
            ++groups;
        }
        groupOf[j] = g;
    }
    ColumnGroups result;
    result.start.assign(std::size_t(groups) + 1, 0);
    for (const int g : groupOf)
        ++result.start[std::size_t(g) + 1];
    for (int g = 0; g < groups; ++g)
        result.start[std::size_t(g) + 1] += result.start[std::size_t(g)];
    result.columns.resize(n);
    std::vector<int> fill(result.start.begin(), result.start.end() - 1);
    for (std::size_t j = 0; j < n; ++j)
        result.columns[std::size_t(fill[std::size_t(groupOf[j])]++)] = int(j);
    return result;
}

bool sparseIsWorthwhile(const SparsePattern& pattern)
{
    const double n = pattern.n;
    if (pattern.n < MinimumSparseOrder || double(pattern.nonzeros()) > MaximumSparseFill * n * n)
        return false;
    double work = 0.0;
    for (const SparseIndex count : rowCounts(pattern))
        work += double(count) * double(count);
    return work <= MaximumGroupingWork;
}

void storeGroupDifferences(const SparsePattern& pattern, const ColumnGroups& groups, int group,
                           const double* increment, const double* base, const double* perturbed, double* values)
{
    for (int k = groups.start[std::size_t(group)]; k < groups.start[std::size_t(group) + 1]; ++k) {
        const std::size_t j = std::size_t(groups.columns[std::size_t(k)]);
        const double del = increment[j];
        for (SparseIndex p = pattern.columnStart[j]; p < pattern.columnStart[j + 1]; ++p) {
            const std::size_t i = std::size_t(pattern.rows[std::size_t(p)]);
            values[p] = (perturbed[i] - base[i]) / del;
        }
    }
}

// ---- KLU ------------------------------------------------------------------------------

struct SparseLu::Klu {
    klu_l_common common{};
    klu_l_symbolic* symbolic = nullptr;
    klu_l_numeric* numeric = nullptr;

    Klu() { klu_l_defaults(&common); }
    ~Klu()
    {
        freeNumeric();
        if (symbolic)
            klu_l_free_symbolic(&symbolic, &common);
    }
    void freeNumeric()
    {
        if (numeric)
            klu_l_free_numeric(&numeric, &common);
        numeric = nullptr;
    }
};

SparseLu::SparseLu() : m_klu(std::make_unique<Klu>()) {}

SparseLu::~SparseLu() = default;

bool SparseLu::analyse(const SparsePattern& pattern)
{
    m_klu = std::make_unique<Klu>();
    m_pattern = &pattern;
    // KLU takes its index arrays as writable but does not change them.
    auto* start = const_cast<SparseIndex*>(pattern.columnStart.data());
    auto* rows = const_cast<SparseIndex*>(pattern.rows.data());
    m_klu->symbolic = klu_l_analyze(pattern.n, start, rows, &m_klu->common);
    return m_klu->symbolic != nullptr;
}

int SparseLu::factor(double* values)
{
    Klu& k = *m_klu;
    const int n = m_pattern ? m_pattern->n : 0;
    if (!k.symbolic)
        return n + 1;
    auto* start = const_cast<SparseIndex*>(m_pattern->columnStart.data());
    auto* rows = const_cast<SparseIndex*>(m_pattern->rows.data());
    if (k.numeric) {
        ++m_refactorisations;
        if (klu_l_refactor(start, rows, values, k.symbolic, k.numeric, &k.common) && k.common.status == KLU_OK &&
            klu_l_rcond(k.symbolic, k.numeric, &k.common)) {
            static const double threshold = std::pow(std::numeric_limits<double>::epsilon(), 2.0 / 3.0);
            if (k.common.rcond >= threshold)
                return 0;
        }
        // The old pivots no longer serve: pivot afresh.
        k.freeNumeric();
    }
    ++m_factorisations;
    k.numeric = klu_l_factor(start, rows, values, k.symbolic, &k.common);
    if (k.numeric && k.common.status == KLU_OK)
        return 0;
    const int singular = k.common.status == KLU_SINGULAR ? int(k.common.singular_col) + 1 : n + 1;
    k.freeNumeric();
    return std::clamp(singular, 1, n + 1);
}

void SparseLu::solve(double* b)
{
    Klu& k = *m_klu;
    if (k.numeric)
        klu_l_solve(k.symbolic, k.numeric, m_pattern->n, 1, b, &k.common);
}

SparseJacobian::SparseJacobian(SparsePattern pattern) : m_pattern(std::move(pattern)), m_groups(groupColumns(m_pattern)) {}

SparseLu* SparseJacobian::lu()
{
    if (!m_analysed) {
        m_analysed = true;
        auto lu = std::make_unique<SparseLu>();
        if (lu->analyse(m_pattern))
            m_lu = std::move(lu);
    }
    return m_lu.get();
}

} // namespace numerics
