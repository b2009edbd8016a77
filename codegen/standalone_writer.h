// Writes a generator model as the C sources of a stand-alone simulation program.
#pragma once

#include "codegen/code_writer.h"

#include <string>
#include <vector>

/// The files of the stand-alone program, in the order they are written.
const std::vector<std::string>& StandAloneFileNames();

/// Writes xxtypes.h, xxmodel.h, xxinteg.h, xxfuncs.h, xxoutput.h, xxinteg.c, xxfuncs.c,
/// xxmodel.c, xxoutput.c and xxmain.c into the directory, reporting 55 to 100. A model
/// the program cannot run (no positive step size, an unknown method) is refused with a
/// message before any file is written; a file that cannot be written stops it with a
/// message, the files before it staying written.
bool WriteStandAloneFiles(const GeneratorModel& model, const std::string& outputDirectory,
                          const ProgressFunction& progress = {});
