// Reads one simulation experiment (".p" values, ".r" run values, ".u" outputs)
// into a generator model.
#pragma once

#include "codegen/generator_model.h"

#include <string>
#include <vector>

/// Stores the experiment name and reads base + ".p", ".r" and ".u", always all three; the
/// files that could not be read go to `unread` (each reader has said why, where it could
/// open the file). True when at least one of them was read.
bool ReadExperiment(GeneratorModel& model, const std::string& experimentBase, const std::string& experimentName,
                    std::vector<std::string>& unread);

/// Names the parameters and initial conditions that no experiment file gave a value.
void ReportValuesNotGiven(const GeneratorModel& model);

/// Parameter and initial values, matched by name (aliases included) within their section.
/// A malformed or empty file, or a value that is no finite number, changes nothing and
/// gives false after a message that names the file and the line.
bool ReadParameterValues(GeneratorModel& model, const std::string& fileName);

/// Start and finish time, integration method and step size, each found by its key. A
/// malformed or empty file changes nothing and gives false after a message as above.
bool ReadRunValues(GeneratorModel& model, const std::string& fileName);

/// The output list: the x-axis quantity when it is not time, then each curve's quantity
/// with its label. Curves the program cannot print are left out with a warning; a malformed
/// or empty file gives false after a message as above.
bool ReadOutputSpec(GeneratorModel& model, const std::string& fileName);
