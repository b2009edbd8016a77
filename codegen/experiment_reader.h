// Reads one simulation experiment (".p" values, ".r" run values, ".u" outputs)
// into a generator model.
#pragma once

#include "codegen/generator_model.h"

#include <string>

/// Stores the experiment name and reads base + ".p", ".r" and ".u", always all three;
/// true when at least one of them was read. The user is told which of them could not be
/// read and, when one could, which parameters and initial conditions got no value.
bool ReadExperiment(GeneratorModel& model, const std::string& experimentBase, const std::string& experimentName);

/// Parameter and initial values, matched by name (aliases included) within their section.
/// A malformed file changes nothing and gives false after a message.
bool ReadParameterValues(GeneratorModel& model, const std::string& fileName);

/// Start and finish time, integration method and step size, each found by its key. A
/// malformed file changes nothing and gives false after a message.
bool ReadRunValues(GeneratorModel& model, const std::string& fileName);

/// The output list: the x-axis quantity when it is not time, then each curve's quantity
/// with its label. Curves the program cannot print are left out with a warning.
bool ReadOutputSpec(GeneratorModel& model, const std::string& fileName);
