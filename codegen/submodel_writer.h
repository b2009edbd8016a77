// Writes an extracted submodel as the C sources of a function that simulates it as
// a block with an input and an output vector.
#pragma once

#include "codegen/code_writer.h"

#include <string>
#include <vector>

/// The files of the submodel function, in the order they are written.
const std::vector<std::string>& SubmodelFileNames();

/// Writes xxtypes.h, xxmodel.h, xxsubmod.h, xxinteg.h, xxfuncs.h, a demonstration
/// xxmain.c, xxsubmod.c, xxmodel.c, xxinteg.c and xxfuncs.c into the directory,
/// reporting 55 to 100. A model the code cannot run is refused with a message before
/// any file is written; a file that cannot be written stops it with a message.
bool WriteSubmodelFiles(const GeneratorModel& model, const std::string& outputDirectory,
                        const std::string& functionName, const ProgressFunction& progress = {});
