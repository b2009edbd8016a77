// The writers of the graph model file (Keldor text with the layout in "!"
// records) and of the argument file beside it.
#pragma once

#include <string>
#include <vector>

struct GraphModel;

/// Splits a model name (cut to 10 characters) into its base and version digit
/// (0 when the name does not end in a digit).
void SplitModelName(const std::string& modelName, std::string& base, int& version);

/// Why the model cannot be written as a file that reads back; empty when it can.
std::vector<std::string> ModelFileProblems(const GraphModel& model);

/// The text of the model file, with or without the graphics records.
std::string GraphModelText(const GraphModel& model, int withGraphics);

/// Writes the model to the path in one replacement, the model taking the name and
/// version of `modelName`: 0 on success; -1 when the file cannot be made; 1 when
/// writing failed or the model cannot be written (the old file stays as it was).
/// After a success with graphics the model is unedited.
int write_model_file(const std::string& path, const std::string& modelName, int withGraphics,
                     GraphModel& model);
int write_model_file(const std::string& path, const std::string& modelName, int withGraphics);

/// Writes "name\tvalue\n" for every named argument with a value; without any the
/// file is not written and an old one is deleted. 0, or -1 after a message.
int write_argument_file(const std::string& path, const GraphModel& model);
int write_argument_file(const std::string& path);
