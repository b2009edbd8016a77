// The submodel library: the built-in element names, the entries read from the
// submodel files of each model directory, and the lookups the model core makes in them.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

inline constexpr int kBuiltinCount = 122;

/// The built-in element names, in the order that indexes their symbols.
extern const std::array<const char*, kBuiltinCount> BuiltinNames;

/// One submodel file of a model directory.
struct LibraryEntry {
    std::string text;     ///< the file's base name with its version digit, at most 18 characters
    int counter = 0;      ///< instances created from the entry
    int builtinIndex = -1;
    int equation = 0;     ///< 1 for an equation model
};

/// Position of the name in the built-in list; -1 when absent, -2 for no name.
int builtin_index(std::string_view name);

/// The name cut to 9 characters followed by the version, or the name alone for version 0, lower-cased.
std::string type_name_text(std::string_view name, int version);

/// Splits an entry text into its type name and version digit (0 without a final digit).
void SplitEntryText(std::string_view text, std::string& name, int& version);

/// The entries of each model directory, in the order of the `model_dirs` setting.
std::vector<std::vector<LibraryEntry>>& LibraryLists();

/// Reads the submodel files of model directory `index` into its list: 1, or 0 after
/// "Directory read error." (the list is then empty). One entry per base name; when
/// a name is there both as graph and as equation submodel, the youngest file
/// decides the entry's kind, as it decides what the model processor reads (at
/// equal times the equation file, which the processor tries first).
int read_library(int index);

/// Reads every model directory, the first one last.
void ReadAllLibraries();

/// The equation flag of the entry named by `type_name_text`; -1 when no list holds it, -2 for no name.
int library_equation_flag(std::string_view name, int version);

/// Sets every entry's instance counter back to 0.
void ResetLibraryCounters();
