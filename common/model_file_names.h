// The naming rules of model, experiment and processed-model files, and the
// lookups every program uses to build, find, compare and delete them.
#pragma once

#include "common/message_boxes.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Model kinds (the `kind` arguments below): 1 graph model, 2 equation model,
// 5 main models only, 9 all models, 10 argument file.

/// One group of the name chooser: a title, the directories it lists and the
/// file-name pattern of the names it shows.
struct ModelNameGroup {
    std::string title;
    std::vector<std::string> directories;
    std::string pattern;
};

/// The groups a name-chooser category code selects.
struct ModelNameCategory {
    std::vector<ModelNameGroup> groups;
};

/// A `ScanDirectory` filter: nonzero keeps the name.
using NameFilter = std::function<int(const std::string& fileName)>;

/// A `ScanDirectory` order: negative, zero or positive as for a text comparison.
using NameComparison = std::function<int(const std::string& a, const std::string& b)>;

/// The directory followed by '/', unless it is empty or already ends with '/'.
std::string SetBaseDirectory(const std::string& directory);

/// Checks a model name with its version digit (the text up to its first '.'):
/// 0 when acceptable, else the 1-based position of the fault. The name must
/// start with a letter (so that it reads as an identifier of the modelling
/// language), go on with letters, digits or '_', hold at most 8 characters
/// (a ninth is the fault) and end in a digit; a reserved word before the digit
/// gives 1 and, with `report` set, shows the reserved-word message.
int CheckModelName(std::string_view name, int report = 1);

/// Puts the part of `fileName` before its first '.' (cut to `maximum`) into
/// `out` and returns `CheckModelName` of it. Without a '.', with '.' first or
/// with an empty part `out` is left empty and the result is 0, so callers tell
/// a good name from none by whether `out` is empty. `report` as for `CheckModelName`.
int ModelNameFromFileName(std::string& out, std::string_view fileName, std::size_t maximum,
                          int report = 1);

/// Why `name`, given to a program for a model (by an option or a message, with or without the
/// extension of one of its files), can name no model's files, naming it: a model's file name holds
/// at most 7 characters and a version digit, letters, digits and '_', and a longer name is never
/// cut into another model's. Empty when it can.
std::string ModelNameRefusal(std::string_view name);

/// As `ModelNameRefusal`, with a refusal shown as a message: 1 when the name is taken, else 0.
int AcceptGivenModelName(std::string_view name);

/// The name of an experiment given to a program (by a message), when its files can have it.
/// Empty, after a message naming it, when it is empty, holds a character other than a letter, a
/// digit or '_' (such a name could lead out of the model's experiment folder) or is longer than
/// the 8 characters that the file names keep (it would load another experiment).
std::string AcceptGivenExperimentName(std::string_view name);

/// Why `name`, given to a program (by a message) for a picture of the plot, names no picture in
/// the model's folder, naming it: the name is letters, digits and '_', with or without the
/// extension ".png". Empty when it does.
std::string PictureNameRefusal(std::string_view name);

/// The file name of the picture `name` names, with the extension ".png"; empty, after a message
/// with the refusal, when it names none.
std::string AcceptGivenPictureName(std::string_view name);

/// As `ModelNameFromFileName` without the check: 1 when `out` got a name, else 0.
int NameBeforeDot(std::string& out, std::string_view text, std::size_t maximum);

/// 0 when the name has 1 to 8 characters, all letters, digits or '_'; else the
/// 1-based position of the first bad character (1 for an empty name, 9 for a
/// ninth character).
int CheckNameCharacters(std::string_view name);

/// The model file to open for a graph (kind 1) or equation (kind 2) model: the
/// main or submodel edit file, else its newest status variant 0 or 3. When a
/// main model and a submodel are both found the confirm function chooses (OK:
/// main). The path is as it is on disk; none when nothing is found.
std::optional<std::string> FindModelFile(int kind, const std::string& directory,
                                         const std::string& name, const ConfirmFunction& confirm);

/// Looks for the model in the other form than `kind` (in both for kind 9) and,
/// after asking (`ModelOverwriteQuestion`, with the labels "Cancel" and
/// "Overwrite"), deletes those files: 0 no clash, 1 graph files found, 2
/// equation files found, -1 refused or a deletion failed (each failure is
/// reported through `message`). Without a confirm function the files are
/// deleted without asking.
int ConfirmModelOverwrite(int kind, const std::string& directory, const std::string& name,
                          const MessageFunction& message, const ConfirmFunction& confirm);

/// Deletes every other variant of the model file `path` (kinds 1, 2, 9: the
/// edit and status files; kind 10: the argument files); nothing happens unless
/// the path ends in a dot and three characters.
void DeleteModelVariants(int kind, const std::string& path, const MessageFunction& message);

/// The newest file named `name` followed by a name
/// matching `pattern`, in the first directory of the ';' list that holds any;
/// equal times keep the earlier name in sorted order. Leaves the chosen file's
/// time for `YoungestFileTime`.
std::optional<std::string> FindYoungestFile(const std::string& directories, const std::string& name,
                                            const std::string& pattern);

/// The modification time of the file `FindYoungestFile` chose last (0 when none).
std::int64_t YoungestFileTime();

/// The newest status file of the model (kind 5: main models only); when an edit
/// file of it is younger, `warning` shows it, or without a function `outFlag`
/// (when given) is set to 1.
std::optional<std::string> FindYoungestModelFile(int kind, const std::string& directories,
                                                 const std::string& name,
                                                 const MessageFunction& warning, int* outFlag);

/// The newest status file of the submodel: ".sf[0-3]" with `equation`, else ".sg[0-3]".
std::optional<std::string> FindYoungestSubmodelFile(const std::string& directories,
                                                    const std::string& name, int equation);

/// The processed model's code file <dir>/<name>.l.
std::string MakeCodeFileName(const std::string& directory, const std::string& name);
/// The processed model's equation file <dir>/<name>.e.
std::string MakeEquationFileName(const std::string& directory, const std::string& name);
std::optional<std::string> FindCodeFile(const std::string& directory, const std::string& name);
std::optional<std::string> FindEquationFile(const std::string& directory, const std::string& name);

/// <dir>/<name><ext>: ".mgg"/".sgg" (kind 1), ".mff"/".sff" (kind 2),
/// ".mga"/".sga" (kind 10), nothing added for other kinds; `mainModel` picks 'm'.
std::string MakeModelFileName(int kind, const std::string& directory, const std::string& name,
                              int mainModel);

// Experiment files <dir>/<experiment>.<ext>, the experiment name cut to 8
// characters; the model name takes no part in the name. The finders give the
// path as it is on disk, or none when the file does not exist.
std::optional<std::string> FindRunSpecFile(const std::string& directory, const std::string& modelName,
                                           const std::string& experimentName);
std::optional<std::string> FindParameterFile(const std::string& directory, const std::string& modelName,
                                             const std::string& experimentName);
std::optional<std::string> FindPlotSpecFile(const std::string& directory, const std::string& modelName,
                                            const std::string& experimentName);
std::optional<std::string> FindMultipleRunFile(const std::string& directory,
                                               const std::string& modelName,
                                               const std::string& experimentName);
std::optional<std::string> FindDataFile(const std::string& directory, const std::string& modelName,
                                        const std::string& experimentName);
std::optional<std::string> FindExperimentSFile(const std::string& directory,
                                               const std::string& modelName,
                                               const std::string& experimentName);
/// The ".a" file, else the ".c" file.
std::optional<std::string> FindExperimentAFile(const std::string& directory,
                                               const std::string& modelName,
                                               const std::string& experimentName);

std::string MakeRunSpecFileName(const std::string& directory, const std::string& modelName,
                                const std::string& experimentName);
std::string MakeParameterFileName(const std::string& directory, const std::string& modelName,
                                  const std::string& experimentName);
std::string MakePlotSpecFileName(const std::string& directory, const std::string& modelName,
                                 const std::string& experimentName);
std::string MakeDataFileName(const std::string& directory, const std::string& modelName,
                             const std::string& experimentName);
std::string MakeMetafileName(const std::string& directory, const std::string& modelName,
                             const std::string& experimentName);
std::string MakeExperimentSFileName(const std::string& directory, const std::string& modelName,
                                    const std::string& experimentName);
std::string MakeExperimentAFileName(const std::string& directory, const std::string& modelName,
                                    const std::string& experimentName);
std::string MakeMultipleRunFileName(const std::string& directory, const std::string& modelName,
                                    const std::string& experimentName);
std::string MakeDataValuesFileName(const std::string& directory, const std::string& modelName,
                                   const std::string& experimentName);

/// <dir>/matlab/<experiment>.m, creating the "matlab" folder when missing;
/// none when it is missing and cannot be made.
std::optional<std::string> MakeMatlabScriptFileName(const std::string& directory,
                                                    const std::string& modelName,
                                                    const std::string& experimentName);
/// <dir>/matlab/<experiment>.d, as `MakeMatlabScriptFileName`.
std::optional<std::string> MakeMatlabDataFileName(const std::string& directory,
                                                  const std::string& modelName,
                                                  const std::string& experimentName);

/// When the experiment exists and a confirm function is given, asks before it
/// is overwritten: -1 refused, else 0.
int ConfirmExperimentOverwrite(const std::string& directory, const std::string& modelName,
                               const std::string& experimentName, const ConfirmFunction& confirm);

/// Replaces the groups with those of the chooser code (1, 2, 4, 5, 8, 9);
/// any other code leaves the record untouched.
void FillModelNameCategory(ModelNameCategory& category, int code);

/// Replaces the groups with the "Experiments" group of the model.
void FillExperimentCategory(ModelNameCategory& category, const std::string& modelName);

/// Replaces `list` with the directory's names (as they are on disk) that the
/// filter keeps, sorted by the comparison; the count, or -1 when the directory
/// cannot be read. An empty filter keeps every name but "." and ".."; an empty
/// comparison sorts by `CompareNames`.
int ScanDirectory(const std::string& directory, std::vector<std::string>& list,
                  const NameFilter& filter, const NameComparison& comparison);

/// Sets the program-wide pattern that `AcceptModelName` matches.
void SetNamePattern(std::string_view pattern);

/// 1 when the lower-cased file name has an extension and matches the program-wide pattern.
int AcceptModelName(const std::string& fileName);

/// 1 when the name matches the pattern ('*', '?', and '[' sets of listed
/// characters, '-' being one of them); an unterminated '[' matches nothing.
int MatchPattern(std::string_view name, std::string_view pattern);

/// Empties the list.
void FreeNameList(std::vector<std::string>& list);

/// Compares ignoring the case of letters, equal names then by their bytes.
int CompareNames(const std::string& a, const std::string& b);

/// The long form of a path, which on this platform is the path itself: 1, or
/// for an empty path the message "Error calling function" and 0.
int CallConvertLongPathName(const std::string& path, std::string& longPath);
