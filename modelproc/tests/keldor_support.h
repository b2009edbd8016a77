// Helpers of the Keldor front-end tests: parsing a text and catching the error lines.
#pragma once

#include "bench/modelproc/chain_model.h"
#include "modelproc/display_hooks.h"
#include "modelproc/processing_pipeline.h"
#include "platform/testing/temp_dir.h"

#include <fstream>
#include <initializer_list>
#include <iterator>
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

/// The whole file, or an empty text when it cannot be read.
inline std::string readAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

/// Copies the named elements ("se1", ...) of the library folder into `dir` as description files.
inline void copyLibraryElements(const testsupport::TempDir& dir, const std::string& library,
                                std::initializer_list<const char*> names)
{
    for (const char* name : names)
        dir.write(std::string(name) + ".sf0", readAll(library + "/" + name + ".sf0"));
}

/// Writes the junctions of three named ports that the models of these tests are drawn with.
inline void writeThreePortJunctions(const testsupport::TempDir& dir)
{
    ::writeThreePortJunctions(dir.path());
}

/// Mass-spring-damper: a force on a 1-junction with the mass, spring and damper.
inline const char* const kMsd =
    "bond graph msd version 1\nsubclasses\n  se;1 f\n  1j;1 v, w\n  i;1 m\n  c;1 k\n  r;1 d\n"
    "connections\n  f`p -> v`p1\n  v`p2 -> m`p\n  v`p3 -> w`p1\n  w`p2 -> k`p\n  w`p3 -> d`p\n";

} // namespace keldortest
