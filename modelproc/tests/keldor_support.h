// Helpers of the Keldor front-end tests: parsing a text and catching the error lines.
#pragma once

#include "modelproc/display_hooks.h"
#include "modelproc/processing_pipeline.h"
#include "platform/testing/temp_dir.h"

#include <string>
#include <vector>

namespace keldortest {

/// The outcome of parsing one text.
struct Parsed {
    int result = 0;
    ClassRec* cls = nullptr;
    std::vector<std::string> errors; ///< error lines as the model processor formats them
};

/// Writes `text` to `name` in a fresh directory and parses it at `level`.
inline Parsed parseText(const std::string& text, int level = 3, const std::string& name = "m.mf0")
{
    testsupport::TempDir dir;
    std::string path = dir.write(name, text);
    Parsed parsed;
    parsed.result = ttparse_file(path, level, parsed.cls,
                                 [&](const char* kind, const char* file, const char* submodel, int line,
                                     const char* token, const char* message) {
                                     parsed.errors.push_back(
                                         formatErrorLine(kind, file, submodel, line, token, message));
                                 });
    return parsed;
}

} // namespace keldortest
