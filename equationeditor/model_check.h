// The model check of the equation editor: the edit text written to a check
// file and parsed by the model processor's own front end in three stages of
// growing depth (heading and interface, declarations, equations). Errors go to
// the log window, where choosing an error line puts the editor's caret on the
// model line; a clean check names the model after its heading and tells a
// main model from a submodel.
#pragma once

#include <string>
#include <vector>

class EquationEditorFrame;

/// Check levels.
inline constexpr int kCheckHeading = 1;
inline constexpr int kCheckDeclarations = 2;
inline constexpr int kCheckEquations = 3;

/// The most errors listed with their model lines.
inline constexpr int kListedErrors = 25;

/// One listed error: the log line it was written on, its model line (-1 none)
/// and the token the front end named (empty when none).
struct ErrorLine {
    int logLine = -1;
    int modelLine = -1;
    std::string token;
};

/// The check's state, one set per process.
struct ModelCheckState {
    int errorCount = 0;
    int logLineCounter = 0;
    std::vector<ErrorLine> errorLines; ///< the listed errors, in order
};
ModelCheckState& ModelCheck();

/// The check file's path: the working directory and the model's name (or
/// "tmp1" as a submodel when untitled) with the extension ".mft" or ".sft".
std::string TempModelFileName(const std::string& name, int mainModel);

/// Writes the edit text and a line feed to the check file; its path, or empty
/// after a kept status text saying why.
std::string writeTempModelFile(const std::string& name);

/// Checks the edit text: the number of stages passed, 0 to 3 (3: no errors).
int ffcheck(const std::string& name);

/// The error hook handed to the front end.
void ffcheck_error(const char* kind, const char* file, const char* submodel, int line, const char* token,
                   const char* message);

/// The log's line callback: the model line of the log line under the caret gets the caret.
void jumpToErrorLine();

/// The line the caret goes to for a listed model line (from 1): none (-1) for
/// lines below 1, else the 0-based line clamped to the text's `lineCount` lines.
int ErrorJumpTarget(int modelLine, int lineCount);

/// The column (in characters) of the token an error names, as the front end
/// quotes it, in the text of the model line: where it stands as a whole token,
/// else 0 (also for the forms that name no text, such as [NL]).
int ErrorTokenColumn(const std::string& lineText, const std::string& token);

/// Forgets the counted log lines (the log was cleared).
void ResetLogLineCounter();
