// The model-file reader: the grammar of graph model files, the actions that fill
// a model record, loading into and clearing of the current model, and the
// argument file.
#pragma once

#include <functional>
#include <string>
#include <string_view>

struct GraphModel;
struct SubmodelType;

/// Reading depths of `parse_model_file`.
enum ReadDepth : int {
    READ_INTERFACE = 1,  ///< header, arguments, main graphics and interface
    READ_SUBCLASSES = 2, ///< also the subclasses
    READ_ALL = 3,
};

/// The renaming of types and ports that a read-back applies while a model is
/// being opened (not for files whose header is "bond graph").
struct ModelFileRenaming {
    bool loading = false;
    /// May replace a type's name and version; true when it did.
    std::function<bool(std::string& name, int& version)> renameType;
    /// May replace the name of a port of the type; true when it did.
    std::function<bool(const SubmodelType& type, std::string& port)> renamePort;
};

/// The renaming in use (none until the editor sets one).
ModelFileRenaming& ReaderRenaming();

/// Parses a model-file text into `record` (which should be empty) up to the depth.
/// 0 when accepted; -1 after the first error, whose text, "%.40s in line %d: %.25s"
/// of message, line and token, goes to `error`. What was read before the error stays.
/// A number of the graphics records out of range is put in range and the file read on;
/// the first such is told by `ParserWarningText`.
int parse_model_text(std::string_view text, int depth, GraphModel& record, std::string* error);

/// As `parse_model_text` for a file; -2 when it cannot be read.
int parse_model_file(const std::string& path, int depth, GraphModel& record, std::string* error);

/// The text of the last parse error.
const std::string& ParserErrorText();
/// The graphics number out of range of the last accepted parse, as an error's text; empty when none was.
const std::string& ParserWarningText();

/// Opens a model file into the current model: -2 refused or not opened, -1 not read (a
/// message names the file, the line and the token), 0 read. A file that cannot be read
/// leaves the current model as it was; reading never marks the model edited. A drawing put
/// in range is read with a message that says so.
int load_model_file(const std::string& path);

/// Empties the current model and the parser's record; the model is unedited afterwards.
void clear_model();

/// Reads argument values into the current model's arguments: 0 (also when the file
/// does not exist), -1 after a message.
int read_argument_file(const std::string& path);
