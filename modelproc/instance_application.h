// Giving a copied class its instance: computable expressions become integer constants,
// the instance dimensions go in front of every declaration, and equations are unrolled.
#pragma once

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

/// The count of the elements of the instances an expansion makes starts again from none.
void startInstanceCount();
/// Counts the elements of one more instance; false after reporting that the model passes the
/// elements a model may have.
bool countInstance(std::int64_t elements, const std::string& where, const InstanceErrorReport& report);
/// The elements of a submodel type's quantities and equations, for an instance that uses its class
/// as it stands.
std::int64_t typeElements(const ClassRec* cls);

/// Replaces every computable entry of the list by its integer value (a range by two constants).
void normaliseExpressionList(ExprList& list);
