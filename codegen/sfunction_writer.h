// Writes an extracted submodel as the C source of a Simulink S-function.
#pragma once

#include "codegen/code_writer.h"

#include <string>
#include <vector>

/// The files of the S-function, in the order they are written.
std::vector<std::string> SFunctionFileNames(const std::string& functionName);

/// Writes xxmextps.h (reporting 70), xxmexfcs.c (80) and <function name>.c (100) into
/// the directory. A model the S-function cannot hold is refused with a message before
/// any file is written; a file that cannot be written stops it with a message.
bool WriteSFunctionFiles(const GeneratorModel& model, const std::string& outputDirectory,
                         const std::string& functionName, const ProgressFunction& progress = {});
