// Test support: the example models taken through complete processing by the model
// processor in a folder of their own, and lookups in the loaded model's variables.
#pragma once

#include "platform/testing/temp_dir.h"

#include <string>
#include <vector>

namespace modeltest {

/// One processing run of an example model in a directory of its own.
struct Processed {
    int result = 0;
    std::string codeFile;              ///< the ".l" path
    std::vector<std::string> messages; ///< errors and progress lines
    std::vector<std::string> loopInputs; ///< names of the algebraic-loop inputs made
};

/// Processes `model` to `depth` in the folder `work`, which holds its descriptions.
Processed processIn(const std::string& work, const std::string& model, int depth);

/// A new folder of `dir` with the element library in it.
std::string libraryFolder(const testsupport::TempDir& dir);

/// Copies the element library and the example models into a new folder of `dir` and
/// processes `model` there to `depth`.
Processed processExample(const testsupport::TempDir& dir, const std::string& model, int depth);

/// Index of the variable of `kind` one of whose names is `name`; -1 when none is.
int indexOf(int kind, const std::string& name);

/// The names of every variable of a kind, for failure texts.
std::string namesOf(int kind);

} // namespace modeltest
