// Expansion of a hierarchical model: arguments and their conditions, breadth-first
// flattening of the submodel hierarchy into one graph body.
#pragma once

#include "modelproc/model_records.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

/// Expands the top class into one flat graph body of equation submodels: 1, else 0.
int expand_model(ClassRec* cls, const std::string& modelFile);

/// Reads, copies and instantiates the subclass's type, dissolving a graph submodel into the
/// class's body.
void expand_submodel(ClassRec* cls, SubclassRec* sub);

/// In an equation class with any fixed-order equation, all are fixed-order and form one block.
void spreadFixedOrder(ClassRec* cls);

/// The file that expansion errors are reported against.
void setExpansionErrorFile(const std::string& modelFile);

/// The argument values of the class from its arguments file, in argument order; none after
/// an error was reported.
std::optional<std::vector<std::int32_t>> read_model_arguments(ClassRec* cls);

/// Gives the values to the arguments in order and checks every condition: 1, else 0.
int set_arguments(ClassRec* cls, const std::vector<std::int32_t>& values);

/// 1 when the comparison holds for the current argument values, else 0.
int check_condition(ClassRec* cls, const ExprNode* condition);
