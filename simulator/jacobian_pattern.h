// The structure of the stiff methods' Jacobians, read from the loaded model's dynamic-model
// instruction table: which residual reads which integrated component, through the variables
// computed between them. Built once per loaded model; the methods ask for it at each start.
#pragma once

#include "simulator/numerics/sparse_jacobian.h"

#include <optional>
#include <vector>

/// For each residual of the BDF form, in the order of the integrated vector (independent rates,
/// dependent states, algebraic-loop results), the components of the integrated vector that its
/// value reads, itself or through its derivative, directly or through the variables computed
/// before it (a component may be listed more than once); nullopt when the table does what the
/// reading cannot follow (a user-library call, an `end` before the last row, a value carried from
/// one evaluation to the next that does not settle, more work than a sparse matrix would save).
std::optional<std::vector<std::vector<int>>> ResidualDependencies();

/// The work the last ResidualDependencies() did, in elements of dependency sets made: bounded by
/// a budget of a few million plus a few per row and per component, whatever the table.
std::size_t LastDependencyReadingWork();

/// The sparse Jacobian of the BDF residual of the loaded model, or null when the dense matrix
/// serves: a small or densely coupled model, or a table whose structure cannot be read.
numerics::SparseJacobian* BdfSparseJacobian();

/// The same for the derivatives of the independent states that Vode-Stiff integrates.
numerics::SparseJacobian* VodeSparseJacobian();

/// Gives back the structures of the model that was loaded (they are read again when asked for).
void ReleaseJacobianStructures();

/// How the stiff methods choose their matrix: from the structure (always, in the programs), or
/// dense or sparse regardless, so that the two paths can be compared on one model.
enum class JacobianChoice { FromStructure, Dense, Sparse };
void SetJacobianChoice(JacobianChoice choice);
