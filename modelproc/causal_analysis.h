// Causal analysis of an expanded graph model: every bond gets effort or flow causality
// that meets the causality restrictions of the submodel ports.
#pragma once

#include <string>

struct ClassRec;

/// 0 failure (errors reported), 1 success, 2 with derivative causalities, 3 with algebraic
/// loops or causal cycles.
int causal_analysis(ClassRec* cls, const std::string& modelFile);
