// Giving a copied class its instance: computable expressions become integer constants,
// the instance dimensions go in front of every declaration, and equations are unrolled.
#pragma once

#include "modelproc/model_records.h"

#include <functional>
#include <string>

/// Where instance errors are reported (the expansion's error report).
using InstanceErrorReport = std::function<void(const std::string& message)>;

/// Normalises the class's expression lists and prefixes `dim` to its declarations.
void apply_instance(ClassRec* cls, const ExprList& dim, const InstanceErrorReport& report);

/// Replaces every computable entry of the list by its integer value (a range by two constants).
void normaliseExpressionList(ExprList& list);
