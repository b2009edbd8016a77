// The equation model file: the model text, a line end when the text lacks a
// final one, and one NUL byte; read back up to its first NUL.
#pragma once

#include <optional>
#include <string>
#include <string_view>

/// The file's bytes for an edit text (LF line ends).
std::string EquationModelFileContent(std::string_view text);

/// The edit text of a file's bytes: up to the first NUL, CR LF read as LF.
std::string EquationModelText(std::string_view content);

/// Reads the file's edit text; none when it cannot be opened or read whole.
std::optional<std::string> ReadEquationModelFile(const std::string& path);

/// Writes the text's file through a temporary file renamed into place, so
/// that a failed write leaves the old file; false on failure.
bool WriteEquationModelFile(const std::string& path, std::string_view text);
