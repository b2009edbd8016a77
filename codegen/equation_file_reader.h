// Reads a processed model's equation file (".e") into a generator model.
#pragma once

#include "codegen/generator_model.h"

#include <string>

/// Clears the model and reads the equation file, translating every equation. False,
/// after one message naming the file and line, when the file is malformed or holds
/// something the generated code cannot express (an algebraic loop, an unknown section,
/// an equation the translator refuses); false without a message when the file cannot be
/// opened, which the caller reports. The model is empty after a false.
bool ReadEquationFile(GeneratorModel& model, const std::string& fileName);
