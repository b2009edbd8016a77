// Test support of the template popup and the model wizard: the skeletons the
// wizard must write, and model texts read by the model language's parser.
#pragma once

#include "modelproc/processing_pipeline.h"
#include "modelproc/record_release.h"

#include <string>
#include <vector>

namespace templatetest {

/// The main model "pump" version 1 with both optional sections.
inline const char* const MainSkeleton =
    "class pump version 1\r\n"
    "parameters\r\n"
    "    real par1, par2\t# write your own parameters here\r\n"
    "variables\r\n"
    "    real var1, var2\t# write your own variables here\r\n"
    "equations\r\n"
    "# write your own equations here\r\n"
    "\r\n";

/// The submodel "valve" version 2: ports a and b with three restrictions, an
/// input, two outputs and no optional sections.
inline const char* const SubmodelSkeleton =
    "class valve version 2\r\n"
    "interface\r\n"
    "    ports: a, b\r\n"
    "        causality restrictions\r\n"
    "            fixed effort a\r\n"
    "            constraint a notequal b\r\n"
    "        orientation restrictions\r\n"
    "            fixed in a\r\n"
    "    inputs: real u\r\n"
    "    outputs: real y, z\r\n"
    "equations\r\n"
    "# write your own equations here\r\n"
    "\r\n";

/// Parses a model text at a check level: each error as "line token: message".
/// The class goes to `kept` when given (the caller frees it), else it is freed.
inline std::vector<std::string> parseModelText(const std::string& text, int level, ClassRec** kept = nullptr)
{
    std::vector<std::string> errors;
    ClassRec* cls = nullptr;
    ttparse_text(text, "model.mf0", level, cls,
                 [&](const char*, const char*, const char*, int line, const char* token, const char* message) {
                     errors.push_back(std::to_string(line) + " " + (token ? token : "") + ": " +
                                      (message ? message : ""));
                 });
    if (kept)
        *kept = cls;
    else if (cls)
        ttfree_class(cls);
    return errors;
}

} // namespace templatetest
