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
/// and releases the subclass. While `LaterUserRemoval` lives, the released subclass stays in its
/// type's users until the removal is done.
void dissolveGraphSubmodel(GraphBody* body, SubclassRec* sub, const DissolutionErrorReport& report);

/// Lets the subclasses dissolved into `body` while it lives leave their types' users all at
/// once when it ends, in one walk of each list; one by one, each would walk its type's list,
/// which holds every instance of that type.
class LaterUserRemoval {
public:
    explicit LaterUserRemoval(GraphBody* body);
    ~LaterUserRemoval();
    LaterUserRemoval(const LaterUserRemoval&) = delete;
    LaterUserRemoval& operator=(const LaterUserRemoval&) = delete;

private:
    GraphBody* m_body;
    GraphBody* m_outer;
    std::size_t m_outerCount;
};
