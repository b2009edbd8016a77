// What the writers of generated C files share: banners, the lines of equations and
// values, the template values of a model, the checks before writing, and one file.
#pragma once

#include "codegen/generator_model.h"

#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

/// Receives the progress of a generation, 0 to 100.
using ProgressFunction = std::function<void(int percent)>;

/// The named values a template's placeholders take.
using TemplateValues = std::map<std::string, std::string>;

/// The opening comment of a generated file: its name, then one line each ("model: msd1.e").
/// Its first line ends in two blanks, except in headers and where `plain` asks otherwise.
std::string FileBanner(const std::string& file, const std::vector<std::string>& lines = {}, bool plain = false);

/// Each equation as its readable text in a comment and its C text, one tab in.
std::string EquationLines(const EquationList& equations);

/// "\t<array> [i] = <value>;\t\t/* <first name> */" for each record, each value exact.
std::string ValueLines(const std::string& array, const VariableList& records);

/// The values every output of the model shares: counts, array lengths, parameter and
/// initial values, the four equation lists and the run values.
TemplateValues ModelTemplateValues(const GeneratorModel& model);

/// The array the generated code keeps a quantity of this kind in; null for none.
const char* ArrayName(char kind);

/// What the code of one output needs of the model.
enum class CodeKind {
    Program,   ///< integrates itself: the run values must be usable
    SFunction, ///< the host integrates: states, rates and initial conditions pair up
};

/// Why the model cannot become the code `what` names ("the stand-alone program");
/// empty when it can.
std::vector<std::string> CodeRefusal(const GeneratorModel& model, CodeKind kind, const std::string& what);

/// The block's inputs or outputs copied to or from the vector: "\t<kind>[<ordinal>] =
/// <vector>[i];" (or the other way round) with the name in a comment: the first name
/// holding `functionName`, else the first name.
std::string BoundaryCopyLines(const std::vector<VariableRecord*>& records, const std::string& vector,
                              bool toVector, const std::string& functionName);

/// Fills the template and writes it as `file` into the directory; false after a message.
bool WriteTemplateFile(std::string_view templateName, const TemplateValues& values, const std::string& directory,
                       const std::string& file);

/// Whether the text can name generated C code and its file: a C identifier that is no
/// keyword of C (up to C23), so that it can name neither another folder nor a C word.
bool IsCName(std::string_view name);

/// The shortest decimal text that reads back as exactly this value.
std::string ExactNumber(double value);

/// The text as the contents of a C string literal that printf prints as it stands.
std::string FormatStringText(const std::string& text);

/// The text made safe inside a C comment.
std::string CommentText(const std::string& text);
