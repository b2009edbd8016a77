// Writers of the processed-model files: the code file ".l" that the simulator
// loads and the equation file ".e" that the C-code generator reads.
#pragma once

#include "modelproc/model_records.h"

#include <string>
#include <vector>

/// Writes both files of a processed DYN class into the working directory; 1 on success,
/// 0 on failure (reported through the error hook). A file is replaced only when it was
/// generated and written completely.
int ttwrite_code_files(ClassRec* cls);
/// As above, into `directory`. `order`, when given, holds the class's equations in list order,
/// as sorting leaves them, which saves walking the list; the writer takes its room over and
/// leaves it empty.
int ttwrite_code_files(ClassRec* cls, const std::string& directory, std::vector<EquationRec*>* order = nullptr);

/// "#real", "#string", "#int", "#bool", "#sampletime", or "???".
const char* tttype_word(int type);

/// The one-letter prefix of a reference kind ('\0' for kinds without one).
char kindLetter(int kind);

/// Appends the header lines and the declaration sections; 1 or 0.
int ttwrite_header(ClassRec* cls, std::string& out);

/// Appends one declaration section of a kind (a name token) and numbers its variables;
/// a kind without a section (algebraic-loop inputs) is numbered only; 0 for a kind
/// that has no letter.
int ttwrite_declarations(SectionList<VarRec>& list, int kind, std::string& out);

/// Appends the "#DUnnamed" section and the equations in code form; 1 or 0.
int ttwrite_code_equations(ClassRec* cls, std::string& out);

/// Distributes (mode 1) and writes the four equation sections: mode 1 code form,
/// mode 0 Keldor text with the last distribution. A null `out` counts without writing.
/// Leaves the class's equations linked as initial, inputs, dynamic, outputs.
int ttwrite_equations(ClassRec* cls, int mode, std::string* out);
