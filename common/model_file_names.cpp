// The naming rules of model, experiment and processed-model files, and the
// lookups every program uses to build, find, compare and delete them.
#include "common/model_file_names.h"

#include "common/model_overwrite.h"
#include "common/reserved_words.h"
#include "common/settings_table.h"
#include "common/startup.h"
#include "common/text_helpers.h"
#include "platform/core/file_system.h"

#include <algorithm>
#include <array>

namespace {

// Builders cut experiment names to this many characters; model names are used whole, so that a
// long one never names another model's files.
constexpr std::size_t kExperimentNameCut = 8;
constexpr std::size_t kMaximumNameLength = 8;

// The pattern `AcceptModelName` matches, set by `SetNamePattern`.
std::string g_namePattern;
// The time of the file `FindYoungestFile` chose last.
std::int64_t g_youngestTime = 0;

bool isLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool isNameCharacter(char c)
{
    return isLetter(c) || isDigit(c) || c == '_';
}

unsigned char lowerByte(char c)
{
    return static_cast<unsigned char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
}

std::string_view textBeforeDot(std::string_view text)
{
    return text.substr(0, text.find('.'));
}

// The file name the suite writes for a name and an extension, both lower-cased.
std::string builtName(std::string_view name, std::string_view extension)
{
    return platform::toLower(name) + platform::toLower(extension);
}

std::optional<std::string> findModelVariant(const std::string& directory, const std::string& name,
                                            std::string_view extension)
{
    return platform::findFileNoCase(directory, builtName(name, extension));
}

std::int64_t timeOf(const std::string& path)
{
    return platform::modificationTime(path).value_or(0);
}

// The main or submodel choice of `FindModelFile`: the edit file at once, else
// status variant 0 and then 3 when newer than `newest`.
std::optional<std::string> chooseModelVariant(const std::string& directory, const std::string& name,
                                              std::string_view editExtension, std::int64_t& newest)
{
    if (auto edit = findModelVariant(directory, name, editExtension))
        return edit;
    std::string extension(editExtension);
    std::optional<std::string> chosen;
    extension.back() = '0';
    if (auto variant = findModelVariant(directory, name, extension)) {
        const std::int64_t time = timeOf(*variant);
        if (time > newest) {
            chosen = variant;
            newest = time;
        }
    }
    extension.back() = '3';
    if (auto variant = findModelVariant(directory, name, extension)) {
        if (timeOf(*variant) > newest)
            chosen = variant;
    }
    return chosen;
}

// Deletes the file; on failure reports it through `message` and returns false.
bool deleteReporting(const std::string& path, const MessageFunction& message)
{
    const int error = platform::deleteFile(path);
    if (error == 0)
        return true;
    if (message)
        message({"Error at deleting", path, "Errno = " + std::to_string(error) + "."});
    return false;
}

std::string experimentFileName(const std::string& experimentName, std::string_view extension)
{
    return builtName(std::string_view(experimentName).substr(0, kExperimentNameCut), "." + std::string(extension));
}

std::string experimentPath(const std::string& directory, const std::string& experimentName,
                           std::string_view extension)
{
    return platform::joinPath(directory, experimentFileName(experimentName, extension));
}

std::optional<std::string> findExperiment(const std::string& directory,
                                          const std::string& experimentName,
                                          std::string_view extension)
{
    return platform::findFileNoCase(directory, experimentFileName(experimentName, extension));
}

std::optional<std::string> makeMatlabFileName(const std::string& directory,
                                              const std::string& experimentName,
                                              std::string_view extension)
{
    const std::string folder = platform::joinPath(directory, "matlab");
    if (!platform::isDirectory(folder) && platform::makeDirectory(folder) != 0
        && !platform::isDirectory(folder))
        return std::nullopt;
    return experimentPath(folder, experimentName, extension);
}

} // namespace

std::string SetBaseDirectory(const std::string& directory)
{
    if (directory.empty() || directory.back() == '/')
        return directory;
    return directory + '/';
}

int CheckModelName(std::string_view name, int report)
{
    name = textBeforeDot(name);
    if (name.empty())
        return 1;
    int fault = isLetter(name[0]) ? 0 : 1;
    const std::size_t examined = std::min(name.size(), kMaximumNameLength);
    for (std::size_t i = 1; i < examined; ++i) {
        if (!isNameCharacter(name[i]))
            fault = static_cast<int>(i) + 1;
    }
    if (fault == 0) {
        if (name.size() > kMaximumNameLength)
            fault = static_cast<int>(kMaximumNameLength) + 1;
        else if (!isDigit(name[examined - 1]))
            fault = static_cast<int>(examined);
    }
    // The reserved-word test runs whatever was found above, so that the user
    // hears about it.
    if (IsReservedWord(name.substr(0, name.size() - 1), report))
        fault = 1;
    return fault;
}

std::string ModelNameRefusal(std::string_view name)
{
    // The name may come with the extension of one of its files.
    const std::string quoted(name);
    if (textBeforeDot(name).size() > kMaximumNameLength)
        return "the model name " + quoted + " is longer than 7 characters and a version digit.";
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (!isNameCharacter(name[i]) && (name[i] != '.' || i == 0))
            return "the model name " + quoted + " holds a character other than a letter, a digit or '_' at "
                   "position " + std::to_string(i + 1) + ".";
    }
    return {};
}

int AcceptGivenModelName(std::string_view name)
{
    std::string refusal = ModelNameRefusal(name);
    if (refusal.empty())
        return 1;
    refusal[0] = 'T';
    ShowMessage({refusal});
    return 0;
}

namespace {

/// A name given for files in the model's folder as a message shows it: a byte that is no
/// printable character as '?', so that a line feed or a NUL in it shows where it stands.
std::string shownGivenName(std::string_view name)
{
    std::string shown(name);
    for (char& c : shown)
        if (static_cast<unsigned char>(c) < 32 || c == 127)
            c = '?';
    return shown;
}

/// Why `name`, given for files in the model's folder (`what`: "experiment", "picture"), could
/// lead out of it, naming it; empty when its first `checked` characters (all by default) are
/// letters, digits and '_'.
std::string givenNameRefusal(std::string_view what, std::string_view name,
                             std::size_t checked = std::string_view::npos)
{
    if (name.empty())
        return "No " + std::string(what) + " name given.";
    for (std::size_t i = 0; i < std::min(checked, name.size()); ++i)
        if (!isNameCharacter(name[i]))
            return "The " + std::string(what) + " name " + shownGivenName(name) +
                   " holds a character other than a letter, a digit or '_' at position " + std::to_string(i + 1) +
                   ".";
    return {};
}

} // namespace

std::string AcceptGivenExperimentName(std::string_view name)
{
    std::string refusal = givenNameRefusal("experiment", name);
    // The files of an experiment carry its first 8 characters: a longer name would load the
    // experiment of another name, the one its first 8 characters make.
    if (refusal.empty() && name.size() > kExperimentNameCut) {
        constexpr std::size_t shownLength = 40;
        const std::string shown = name.size() > shownLength
                                      ? shownGivenName(name.substr(0, shownLength)) + "... (" +
                                            std::to_string(name.size()) + " characters)"
                                      : shownGivenName(name);
        refusal = "The experiment name " + shown + " is longer than " + std::to_string(kExperimentNameCut) +
                  " characters.";
    }
    if (!refusal.empty()) {
        ShowMessage({refusal});
        return {};
    }
    return std::string(name);
}

std::string PictureNameRefusal(std::string_view name)
{
    constexpr std::string_view extension = ".png";
    std::size_t stem = name.size();
    if (stem >= extension.size() && platform::equalsNoCase(name.substr(stem - extension.size()), extension))
        stem -= extension.size();
    if (!name.empty() && stem == 0)
        return "The picture name " + shownGivenName(name) + " has no name before its extension.";
    return givenNameRefusal("picture", name, stem);
}

std::string AcceptGivenPictureName(std::string_view name)
{
    if (const std::string refusal = PictureNameRefusal(name); !refusal.empty()) {
        ShowMessage({refusal});
        return {};
    }
    const std::string given(name);
    return given.find('.') == std::string::npos ? given + ".png" : given;
}

int NameBeforeDot(std::string& out, std::string_view text, std::size_t maximum)
{
    out.clear();
    const std::size_t dot = text.find('.');
    if (dot == std::string_view::npos || dot == 0)
        return 0;
    out = text.substr(0, std::min(dot, maximum));
    return out.empty() ? 0 : 1;
}

int ModelNameFromFileName(std::string& out, std::string_view fileName, std::size_t maximum, int report)
{
    if (!NameBeforeDot(out, fileName, maximum))
        return 0;
    return CheckModelName(out, report);
}

int CheckNameCharacters(std::string_view name)
{
    if (name.empty())
        return 1;
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (i == kMaximumNameLength || !isNameCharacter(name[i]))
            return static_cast<int>(i) + 1;
    }
    return 0;
}

std::optional<std::string> FindModelFile(int kind, const std::string& directory,
                                         const std::string& name, const ConfirmFunction& confirm)
{
    std::string_view mainExtension;
    std::string_view subExtension;
    if (kind == 1) {
        mainExtension = ".mgg";
        subExtension = ".sgg";
    } else if (kind == 2) {
        mainExtension = ".mff";
        subExtension = ".sff";
    } else {
        return std::nullopt;
    }
    std::int64_t newest = 0;
    auto mainModel = chooseModelVariant(directory, name, mainExtension, newest);
    auto subModel = chooseModelVariant(directory, name, subExtension, newest);
    if (mainModel && subModel) {
        if (!confirm
            || confirm("Get main model", "Get sub model",
                       {"Main model and sub model found with the same name.",
                        "Press OK to use the main model", "or press Cancel to use the submodel."}))
            return mainModel;
        return subModel;
    }
    return mainModel ? mainModel : subModel;
}

int ConfirmModelOverwrite(int kind, const std::string& directory, const std::string& name,
                          const MessageFunction& message, const ConfirmFunction& confirm)
{
    static constexpr std::array<std::string_view, 12> kExtensions = {
        ".mgg", ".mg0", ".mg3", ".mff", ".mf0", ".mf3", ".sgg", ".sg0", ".sg3", ".sff", ".sf0", ".sf3"};
    std::vector<std::string> found;
    bool graphFound = false;
    bool equationFound = false;
    for (std::string_view extension : kExtensions) {
        const bool graph = extension[2] == 'g';
        // Each kind looks for the model in the other form.
        if ((kind == 1 && graph) || (kind == 2 && !graph))
            continue;
        auto path = findModelVariant(directory, name, extension);
        if (!path)
            continue;
        (graph ? graphFound : equationFound) = true;
        found.push_back(std::move(*path));
    }
    if (found.empty())
        return 0;
    if (confirm && !confirm("Cancel", "Overwrite", ModelOverwriteQuestion(directory, name, found)))
        return -1;
    bool failed = false;
    for (const std::string& path : found) {
        if (!deleteReporting(path, message))
            failed = true;
    }
    if (failed)
        return -1;
    return equationFound ? 2 : (graphFound ? 1 : 0);
}

void DeleteModelVariants(int kind, const std::string& path, const MessageFunction& message)
{
    static constexpr std::array<std::string_view, 20> kModelExtensions = {
        ".mgg", ".sgg", ".mff", ".sff", ".mg0", ".mg1", ".mg2", ".mg3", ".sg0", ".sg1",
        ".sg2", ".sg3", ".mf0", ".mf1", ".mf2", ".mf3", ".sf0", ".sf1", ".sf2", ".sf3"};
    static constexpr std::array<std::string_view, 2> kArgumentExtensions = {".mga", ".sga"};

    const std::size_t slash = path.rfind('/');
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    // The file name needs a stem, a dot and three characters of extension.
    if (path.size() < nameStart + 5 || path[path.size() - 4] != '.')
        return;
    std::vector<std::string_view> extensions;
    if (kind == 1 || kind == 2 || kind == 9)
        extensions.assign(kModelExtensions.begin(), kModelExtensions.end());
    else if (kind == 10)
        extensions.assign(kArgumentExtensions.begin(), kArgumentExtensions.end());
    else
        return;

    const std::string directory = slash == std::string::npos ? std::string() : path.substr(0, slash);
    const std::string stem = path.substr(nameStart, path.size() - 4 - nameStart);
    const std::string_view ownExtension = std::string_view(path).substr(path.size() - 4);
    for (std::string_view extension : extensions) {
        // Names are matched ignoring case, so an extension that differs from
        // the path's own only in case names the path itself.
        if (platform::equalsNoCase(extension, ownExtension))
            continue;
        const std::string variant = stem + std::string(extension);
        // Remove every spelling of the variant, stopping at the first failure.
        while (auto found = platform::findFileNoCase(directory, variant)) {
            if (!deleteReporting(*found, message))
                break;
        }
    }
}

std::optional<std::string> FindYoungestFile(const std::string& directories, const std::string& name,
                                            const std::string& pattern)
{
    g_youngestTime = 0;
    const std::string matchPattern = platform::toLower(name + pattern);
    for (const std::string& directory : SplitPathList(directories)) {
        std::vector<std::string> names;
        SetNamePattern(matchPattern);
        if (ScanDirectory(directory, names, AcceptModelName, CompareNames) <= 0)
            continue;
        std::size_t chosen = 0;
        g_youngestTime = timeOf(platform::joinPath(directory, names[0]));
        for (std::size_t i = 1; i < names.size(); ++i) {
            const std::int64_t time = timeOf(platform::joinPath(directory, names[i]));
            if (time > g_youngestTime) {
                g_youngestTime = time;
                chosen = i;
            }
        }
        return platform::joinPath(directory, names[chosen]);
    }
    return std::nullopt;
}

std::int64_t YoungestFileTime()
{
    return g_youngestTime;
}

std::optional<std::string> FindYoungestModelFile(int kind, const std::string& directories,
                                                 const std::string& name,
                                                 const MessageFunction& warning, int* outFlag)
{
    if (!warning && outFlag)
        *outFlag = 0;
    auto chosen = FindYoungestFile(directories, name, kind == 5 ? ".m[gfbs][0-3]" : ".[ms][gfbs][0-3]");
    if (!chosen)
        return std::nullopt;

    const std::size_t slash = chosen->rfind('/');
    const std::string directory = slash == std::string::npos ? std::string() : chosen->substr(0, slash);
    std::string editName = platform::toLower(slash == std::string::npos ? *chosen : chosen->substr(slash + 1));
    // A name may end inside the pattern ("tank1.m"); only a full status
    // extension has edit files to compare with.
    if (editName.size() < 5 || editName[editName.size() - 4] != '.')
        return chosen;
    const std::size_t last = editName.size() - 1;
    editName[last] = editName[last - 1];
    std::string otherEditName = editName;
    otherEditName[last - 2] = otherEditName[last - 2] == 'm' ? 's' : 'm';

    for (const std::string& edit : {editName, otherEditName}) {
        auto path = platform::findFileNoCase(directory, edit);
        if (!path || timeOf(*path) <= g_youngestTime)
            continue;
        if (warning)
            warning({"Warning:", "Model's edit file is younger."});
        else if (outFlag)
            *outFlag = 1;
    }
    return chosen;
}

std::optional<std::string> FindYoungestSubmodelFile(const std::string& directories,
                                                    const std::string& name, int equation)
{
    return FindYoungestFile(directories, name, equation ? ".sf[0-3]" : ".sg[0-3]");
}

std::string MakeCodeFileName(const std::string& directory, const std::string& name)
{
    return platform::joinPath(directory, builtName(name, ".l"));
}

std::string MakeEquationFileName(const std::string& directory, const std::string& name)
{
    return platform::joinPath(directory, builtName(name, ".e"));
}

std::optional<std::string> FindCodeFile(const std::string& directory, const std::string& name)
{
    return findModelVariant(directory, name, ".l");
}

std::optional<std::string> FindEquationFile(const std::string& directory, const std::string& name)
{
    return findModelVariant(directory, name, ".e");
}

std::string MakeModelFileName(int kind, const std::string& directory, const std::string& name,
                              int mainModel)
{
    std::string extension;
    if (kind == 1)
        extension = ".xgg";
    else if (kind == 2)
        extension = ".xff";
    else if (kind == 10)
        extension = ".xga";
    if (!extension.empty())
        extension[1] = mainModel ? 'm' : 's';
    return platform::joinPath(directory, builtName(name, extension));
}

std::optional<std::string> FindRunSpecFile(const std::string& directory, const std::string&,
                                           const std::string& experimentName)
{
    return findExperiment(directory, experimentName, "r");
}

std::optional<std::string> FindParameterFile(const std::string& directory, const std::string&,
                                             const std::string& experimentName)
{
    return findExperiment(directory, experimentName, "p");
}

std::optional<std::string> FindPlotSpecFile(const std::string& directory, const std::string&,
                                            const std::string& experimentName)
{
    return findExperiment(directory, experimentName, "u");
}

std::optional<std::string> FindMultipleRunFile(const std::string& directory, const std::string&,
                                               const std::string& experimentName)
{
    return findExperiment(directory, experimentName, "mr");
}

std::optional<std::string> FindDataFile(const std::string& directory, const std::string&,
                                        const std::string& experimentName)
{
    return findExperiment(directory, experimentName, "n");
}

std::optional<std::string> FindExperimentSFile(const std::string& directory, const std::string&,
                                               const std::string& experimentName)
{
    return findExperiment(directory, experimentName, "s");
}

std::optional<std::string> FindExperimentAFile(const std::string& directory, const std::string&,
                                               const std::string& experimentName)
{
    if (auto found = findExperiment(directory, experimentName, "a"))
        return found;
    return findExperiment(directory, experimentName, "c");
}

std::string MakeRunSpecFileName(const std::string& directory, const std::string&,
                                const std::string& experimentName)
{
    return experimentPath(directory, experimentName, "r");
}

std::string MakeParameterFileName(const std::string& directory, const std::string&,
                                  const std::string& experimentName)
{
    return experimentPath(directory, experimentName, "p");
}

std::string MakePlotSpecFileName(const std::string& directory, const std::string&,
                                 const std::string& experimentName)
{
    return experimentPath(directory, experimentName, "u");
}

std::string MakeDataFileName(const std::string& directory, const std::string&,
                             const std::string& experimentName)
{
    return experimentPath(directory, experimentName, "n");
}

std::string MakeMetafileName(const std::string& directory, const std::string&,
                             const std::string& experimentName)
{
    return experimentPath(directory, experimentName, "wmf");
}

std::string MakeExperimentSFileName(const std::string& directory, const std::string&,
                                    const std::string& experimentName)
{
    return experimentPath(directory, experimentName, "s");
}

std::string MakeExperimentAFileName(const std::string& directory, const std::string&,
                                    const std::string& experimentName)
{
    return experimentPath(directory, experimentName, "a");
}

std::string MakeMultipleRunFileName(const std::string& directory, const std::string&,
                                    const std::string& experimentName)
{
    return experimentPath(directory, experimentName, "mr");
}

std::string MakeDataValuesFileName(const std::string& directory, const std::string&,
                                   const std::string& experimentName)
{
    return experimentPath(directory, experimentName, "v");
}

std::optional<std::string> MakeMatlabScriptFileName(const std::string& directory, const std::string&,
                                                    const std::string& experimentName)
{
    return makeMatlabFileName(directory, experimentName, "m");
}

std::optional<std::string> MakeMatlabDataFileName(const std::string& directory, const std::string&,
                                                  const std::string& experimentName)
{
    return makeMatlabFileName(directory, experimentName, "d");
}

int ConfirmExperimentOverwrite(const std::string& directory, const std::string&,
                               const std::string& experimentName, const ConfirmFunction& confirm)
{
    if (!confirm)
        return 0;
    for (std::string_view extension : {"p", "r", "u", "a", "s"}) {
        if (findExperiment(directory, experimentName, extension))
            return confirm("Cancel", "Overwrite", {"Experiment exists. OK to overwrite?"}) ? 0 : -1;
    }
    return 0;
}

void FillModelNameCategory(ModelNameCategory& category, int code)
{
    const auto modelDirectories = [] { return SplitPathList(Settings().model_dirs); };
    switch (code) {
    case 1:
    case 2:
        category.groups = {{"Models", modelDirectories(), "*.[ms][fg][fg03]"}};
        break;
    case 4:
        category.groups = {{"Models", modelDirectories(), "*.[m][gfbs][0-3]"}};
        break;
    case 5:
        category.groups = {{"Processed models", {Startup().ProcessedDirectory}, "*.[l]"}};
        break;
    case 8:
        category.groups = {{"Models", modelDirectories(), "*.*"},
                           {"Run spec.s", {Startup().ExperimentDirectory}, "*.[rpu]"},
                           {"Sim. results", {Startup().ResultDirectory}, "*.*"}};
        break;
    case 9:
        category.groups = {{"User models", modelDirectories(), "*.[m][gfbs][gfbs]"}};
        break;
    default:
        break;
    }
}

void FillExperimentCategory(ModelNameCategory& category, const std::string& modelName)
{
    category.groups = {
        {"Experiments", {platform::joinPath(Startup().ExperimentDirectory, modelName)}, "*.[rpu]"}};
}

int ScanDirectory(const std::string& directory, std::vector<std::string>& list,
                  const NameFilter& filter, const NameComparison& comparison)
{
    auto names = platform::listDirectory(directory);
    if (!names)
        return -1;
    list.clear();
    for (std::string& name : *names) {
        const bool keep = filter ? filter(name) != 0 : (name != "." && name != "..");
        if (keep)
            list.push_back(std::move(name));
    }
    const NameComparison& order = comparison ? comparison : NameComparison(CompareNames);
    std::sort(list.begin(), list.end(),
              [&order](const std::string& a, const std::string& b) { return order(a, b) < 0; });
    return static_cast<int>(list.size());
}

void SetNamePattern(std::string_view pattern)
{
    g_namePattern = pattern;
}

int AcceptModelName(const std::string& fileName)
{
    const std::string name = platform::toLower(fileName);
    const std::size_t dot = name.rfind('.');
    if (name == "." || dot == std::string::npos || dot + 1 == name.size())
        return 0;
    return MatchPattern(name, g_namePattern);
}

int MatchPattern(std::string_view name, std::string_view pattern)
{
    std::size_t n = 0;
    std::size_t p = 0;
    while (n < name.size()) {
        if (p >= pattern.size())
            return 0;
        const char c = pattern[p];
        if (c == '*') {
            const std::size_t patternDot = pattern.find('.', p + 1);
            if (patternDot == std::string_view::npos)
                return 1;
            p = patternDot + 1;
            const std::size_t nameDot = name.find('.', n);
            n = nameDot == std::string_view::npos ? n + 1 : nameDot + 1;
        } else if (c == '?') {
            ++n;
            ++p;
        } else if (c == '[') {
            const std::size_t close = pattern.find(']', p + 1);
            if (close == std::string_view::npos)
                return 0;
            if (pattern.substr(p + 1, close - p - 1).find(name[n]) == std::string_view::npos)
                return 0;
            ++n;
            p = close + 1;
        } else {
            if (c != name[n])
                return 0;
            ++n;
            ++p;
        }
    }
    return 1;
}

void FreeNameList(std::vector<std::string>& list)
{
    list.clear();
}

int CompareNames(const std::string& a, const std::string& b)
{
    const std::size_t common = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < common; ++i) {
        const unsigned char x = lowerByte(a[i]);
        const unsigned char y = lowerByte(b[i]);
        if (x != y)
            return x < y ? -1 : 1;
    }
    if (a.size() != b.size())
        return a.size() < b.size() ? -1 : 1;
    const int bytes = a.compare(b);
    return bytes < 0 ? -1 : (bytes > 0 ? 1 : 0);
}

int CallConvertLongPathName(const std::string& path, std::string& longPath)
{
    if (path.empty()) {
        ShowMessage({"Error calling function"});
        return 0;
    }
    longPath = path;
    return 1;
}
