// Running the C-code generator, the module the graph editor and the simulator load
// from the installation directory for each use.
#pragma once

#include <string>
#include <string_view>

/// The module's file in the installation directory, and the entry it exports.
inline constexpr std::string_view CodeGeneratorModuleFile = "orvantacod.so";
inline constexpr std::string_view CodeGeneratorEntry = "GenerateCCodePopup";

/// The entry: (model path and name without extension, experiment name, submodel path
/// with its levels joined by '`'), each of which may be null; 1 when the user confirmed.
using GenerateCCodePopupFunction = int (*)(const char* model, const char* experiment, const char* submodel);

/// The module's absolute path in `directory`; with none given, in the installation
/// directory of the start-up (the executable's directory before the start-up ran).
std::string CodeGeneratorModulePath(const std::string& directory = {});

/// Loads the module, calls its entry once with the three texts and releases the module.
/// The entry's result, or -1 after the message "Could not load 'orvantacod.so'" when the
/// module cannot be loaded, or "DLL 'orvantacod.so' is corrupt" when it lacks the entry;
/// a second line says why.
int RunCodeGenerator(const char* model, const char* experiment, const char* submodel,
                     const std::string& directory = {});
