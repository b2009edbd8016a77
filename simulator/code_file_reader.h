// The code-file reader: the builder actions that fill the variable table and the
// instruction tables, the grammar that drives them, and the load of a ".l" file.
#pragma once

#include "simulator/code_file_lexer.h"
#include "simulator/interpreter.h"

#include <cstdint>
#include <string>
#include <vector>

/// What the header of the loaded code file said.
struct CodeFileHeader {
    int version = 0;
    std::vector<std::string> argumentNames; ///< in reverse order of the file
};
CodeFileHeader& LoadedCodeFileHeader();

// Builder actions: 0 (or a cell) on success, -1 (or null) after counting an error.
void ResetModel();
const std::string* KeepText(const std::string& text);
int KindIndex(char letter);
int DeclareKind(int kind, std::int64_t count);
int DeclareVariable(int type, std::vector<std::string> names);
int TableIndex(char letter);
int DeclareTable(int table, std::int64_t count);
int AddInstruction(OperationHandler handler, double* destination, double* operand1, double* operand2);
int AddJump(OperationHandler handler, std::int64_t target, double* operand);
double* NewReal(double value);
double* RealFromText(const std::string& text);
double* RealFromInt(std::int64_t value);
double* VariableCell(int kind, std::int64_t index);
/// Closes the current table: its remaining rows are `end`.
void FillRestWithEnd();

/// The names of the declaration line being read.
void AddPendingName(const std::string& text);
const std::vector<std::string>& PendingNames();
int PendingNameCount();
void ClearPendingNames();

int BuilderErrorCount();
const std::string& LastBuilderError();

/// Entries declared so far in the current declaration section, instructions added so far to
/// the current table.
std::int64_t DeclaredEntryCount();
std::int64_t InstructionsRead();

/// The parser over a scanner that reads the file: 0 accepted, 1 refused.
int ReadCodeFile(CodeFileLexer& lexer);

/// Shows a reader error on the status line and in the log: "%s in line %d: '%s'".
void ReportCodeFileError(const std::string& message, const CodeFileLexer& lexer);
/// The form with the previous line: "%s in line %d".
void ReportCodeFileLineError(const std::string& message, const CodeFileLexer& lexer);

/// The last report text (empty after `ResetModel`).
const std::string& LastCodeFileReport();

/// Resets the model and reads the code text: 0 when the model loaded cleanly, else
/// the number of errors. Afterwards every variable array is installed and every
/// table ends with `end`, whatever the file held.
int LoadCodeText(std::string text);

/// As `LoadCodeText` for a file; -1 when the file cannot be read (the model is then untouched).
int LoadCodeFile(const std::string& path);

/// The model processor writes an equation for every variable it declares, the outputs' ones last
/// in a section of their own that computes only variables nothing else reads. So a processed model
/// cut before its outputs section holds variables that no instruction names: the first of the model
/// loaded, as a text that names it ("no equation computes variable V3 (f`p.f)."), or empty. (A table
/// of instructions built for another purpose may well declare cells it does not name.)
std::string UnnamedVariableReport();
