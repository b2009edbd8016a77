// Giving a copied class its instance: computable expressions become integer constants,
// the instance dimensions go in front of every declaration, and equations are unrolled.
#pragma once

#include "modelproc/memory_estimate.h"
#include "modelproc/model_records.h"

#include <functional>
#include <string>

/// Where instance errors are reported (the expansion's error report).
using InstanceErrorReport = std::function<void(const std::string& message)>;

/// Normalises the class's expression lists and prefixes `dim` to its declarations; false after
/// reporting a quantity, or a model, of more elements than it may have (`where` names the instance
/// in the report: " of submodel x1:a"). Nothing is made for the elements before they are counted.
bool apply_instance(ClassRec* cls, const ExprList& dim, const InstanceErrorReport& report,
                    const std::string& where = {});

/// The count of the elements and the memory of the instances an expansion makes starts again from
/// none, and the memory the process can take is read.
void startInstanceCount();
/// Counts the elements and the memory of one more instance; false after reporting (once) that the
/// model passes the elements a model may have, or needs more memory than the process can take.
bool countInstance(const Footprint& instance, const std::string& where, const InstanceErrorReport& report);
/// The elements and the memory of a submodel type's quantities and equations, for an instance that
/// uses its class as it stands (`where` names the instance).
Footprint typeFootprint(const ClassRec* cls, const std::string& where);
/// Counts a class processed as it stands, a top-level equation model, which no expansion counts:
/// its quantities within bounds and the memory it takes within what the process can take; false
/// after reporting.
bool countClassAlone(const ClassRec* cls, const std::string& where, const InstanceErrorReport& report);

/// Replaces every computable entry of the list by its integer value (a range by two constants).
void normaliseExpressionList(ExprList& list);
