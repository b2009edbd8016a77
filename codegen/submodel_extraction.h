// Cuts one submodel out of a generator model: its equations and quantities,
// renumbered, with its boundary quantities as inputs and outputs.
#pragma once

#include "codegen/generator_model.h"

#include <memory>
#include <string>
#include <string_view>

/// Whether a hierarchical name lies inside the submodel at `path`: the path's levels
/// are the name's first levels (an empty path holds every name).
bool InSubmodel(std::string_view name, std::string_view path);

/// A new model holding the submodel at `path` (levels joined by '`'). Output equations
/// that only copy an outside variable into a port of the submodel are dissolved in the
/// source, which so serves for one extraction only. Null, after a message, when the
/// submodel cannot become a block of its own: a reference that finds no quantity,
/// states, rates and initial conditions that do not pair up, or a quantity of the
/// submodel that only an equation outside it computes.
std::unique_ptr<GeneratorModel> ExtractSubmodel(GeneratorModel& source, const std::string& path);
