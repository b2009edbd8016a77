// Rewriting of a model file's extension to its status and template names, and the
// top-level test of a class.
#pragma once

#include <string>

struct ClassRec;

/// Rewrites the extension of the last path component in place and returns the path:
/// "+d" main model with status d, "-d" submodel with status d, "?d" status d only,
/// any other code replaces the extension's first letters ("t2": ".t2").
std::string& ttchange_extension(std::string& path, const std::string& code);

/// 1 when the class has no ports, inputs or outputs, else 0.
int is_top_level(const ClassRec* cls);
