// Dissolving a graph submodel into the body that holds it: its submodel types, subclasses,
// bonds and signals move out, and the bonds and signals at its ports and ios are joined.
#pragma once

#include "modelproc/model_records.h"

#include <functional>
#include <string>

/// Where dissolution errors are reported (the expansion's error report).
using DissolutionErrorReport = std::function<void(const std::string& message)>;

/// The instance name: enclosing instances outermost first, then the own name, joined by '`'.
std::string instance_name(const SubclassRec* sub);

/// Moves the parts of the graph subclass `sub` (whose class is a copied TOP class) into `body`
/// and releases the subclass.
void dissolveGraphSubmodel(GraphBody* body, SubclassRec* sub, const DissolutionErrorReport& report);
