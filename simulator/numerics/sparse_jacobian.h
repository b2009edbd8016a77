// Sparse Jacobians of the stiff methods: the structure, the groups of structurally independent
// columns that one evaluation differences together, and the LU factorisation by KLU.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace numerics {

/// Index type of the sparse structures: KLU's long and SUNDIALS' index alike.
using SparseIndex = std::int64_t;

/// The structure of an n x n matrix in compressed sparse columns: the rows of column j are
/// rows[columnStart[j] .. columnStart[j + 1]), ascending.
struct SparsePattern {
    int n = 0;
    std::vector<SparseIndex> columnStart;
    std::vector<SparseIndex> rows;

    std::size_t nonzeros() const { return rows.size(); }
    /// True when (row, column) is in the structure.
    bool has(int row, int column) const;
};

/// The pattern whose row i holds the columns of columnsOfRow[i] and the diagonal; the lists need
/// not be sorted and may repeat a column.
SparsePattern patternFromRows(const std::vector<std::vector<int>>& columnsOfRow);

/// Columns partitioned into groups of which no two columns share a row: group g holds
/// columns[start[g] .. start[g + 1]).
struct ColumnGroups {
    std::vector<int> start{0};
    std::vector<int> columns;

    int count() const { return int(start.size()) - 1; }
};

/// Greedy colouring in column order: each column joins the first group none of whose columns
/// shares a row with it.
ColumnGroups groupColumns(const SparsePattern& pattern);

/// Matrices of smaller order keep the dense path (and its results to the last bit).
inline constexpr int MinimumSparseOrder = 100;

/// True when a matrix of this structure is better factored sparse than dense: of the minimum
/// order at least, and filled thinly enough.
bool sparseIsWorthwhile(const SparsePattern& pattern);

/// Stores the difference quotients of one group into the pattern's values: for each column j of
/// the group and each row i of it, (perturbed[i] - base[i]) / increment[j].
void storeGroupDifferences(const SparsePattern& pattern, const ColumnGroups& groups, int group,
                           const double* increment, const double* base, const double* perturbed, double* values);

/// LU factorisation of matrices of one structure by KLU: the structure is ordered and analysed
/// once; each factorisation after the first keeps the pivot order found before unless the
/// result is ill-conditioned, when it pivots afresh.
class SparseLu {
public:
    SparseLu();
    ~SparseLu();
    SparseLu(const SparseLu&) = delete;
    SparseLu& operator=(const SparseLu&) = delete;

    /// Orders and analyses the structure, which must outlive this object; false without memory.
    bool analyse(const SparsePattern& pattern);

    /// Factors the values (in the structure's order): 0 when the matrix is regular, else 1 + the
    /// column where a zero pivot stopped it (as LINPACK counts from 1), or n + 1 without memory.
    int factor(double* values);

    /// Overwrites b with the solution of the last regular factorisation times x = b.
    void solve(double* b);

    /// Full factorisations (with pivoting) and refactorisations (pivots kept) made.
    long factorisations() const { return m_factorisations; }
    long refactorisations() const { return m_refactorisations; }

private:
    struct Klu;
    std::unique_ptr<Klu> m_klu;
    const SparsePattern* m_pattern = nullptr;
    long m_factorisations = 0;
    long m_refactorisations = 0;
};

/// A sparse Jacobian differenced by groups: its structure, its column groups and its LU.
class SparseJacobian {
public:
    explicit SparseJacobian(SparsePattern pattern);
    SparseJacobian(const SparseJacobian&) = delete; // the LU refers to the structure held here
    SparseJacobian& operator=(const SparseJacobian&) = delete;

    const SparsePattern& pattern() const { return m_pattern; }
    const ColumnGroups& groups() const { return m_groups; }
    /// The LU of this structure, analysed on first use (null when the analysis found no memory).
    SparseLu* lu();

private:
    SparsePattern m_pattern;
    ColumnGroups m_groups;
    std::unique_ptr<SparseLu> m_lu;
    bool m_analysed = false;
};

} // namespace numerics
