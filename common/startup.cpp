// Splitting the command line, the option pass and the start-up sequence.
#include "common/startup.h"

#include "common/text_helpers.h"
#include "platform/core/file_system.h"

#include <array>
#include <cstdlib>
#include <optional>

namespace {

const char* const CommandLineHeader = "At reading command line arguments:";
const char* const HelpPathVariable = "HELPPATH";

/// HELPPATH as it was before the first start-up, so that reruns do not stack the
/// install directory in front of it again and again.
struct HelpPathMemory {
    bool captured = false;
    std::optional<std::string> original;
};

HelpPathMemory& helpPathMemory()
{
    static HelpPathMemory memory;
    return memory;
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

void setProcessingForCausalAnalysis()
{
    StartupValues& startup = Startup();
    startup.ProcessingDepth = 5;
    startup.ProcessingBase = 2;
    startup.CausalAnalysisOnly = 1;
}

std::string noArgumentMessage(const std::string& word)
{
    return std::string(CommandLineHeader) + " option " + word + " has no argument.";
}

/// Finds and reads the settings file named by `SettingsFileName`, or offers to create it.
void readSettingsSearch(const SettingsErrorFn& report, const ConfirmFunction& confirm, int& errors)
{
    const StartupValues& startup = Startup();
    const std::string name = startup.SettingsFileName;
    const bool absolute = !name.empty() && name.front() == '/';
    std::vector<std::string> places{name};
    // An absolute name means that one file; a relative one is looked for in three more places.
    if (!absolute) {
        for (const std::string& dir : {startup.CurrentDirectory, startup.StartupDirectory,
                                       platform::settingsDirectory()})
            places.push_back(platform::joinPath(dir, name));
    }
    for (std::size_t i = 0; i < places.size(); ++i) {
        if (i > 0 && errors != 0) {
            // A command line that already went wrong does not send us looking elsewhere.
            ShowMessage({std::string(CommandLineHeader) + " can not read '" + name.substr(0, 50) + "'"});
            ++errors;
            return;
        }
        if (ReadSettingsFile(places[i], 1, report, errors)) {
            // Kept absolute, so that a later change of the current directory does not move it.
            const std::string& read = places[i];
            Startup().SettingsFileRead =
                !read.empty() && read.front() == '/' ? read : platform::joinPath(startup.CurrentDirectory, read);
            return;
        }
    }

    ShowMessage({"Can not find initialization file '" + name +
                 "' in the Windows, current or startup directory."});
    const int create = confirm && confirm("Continue", "Cancel",
                                          {"Do you want to create a new '" + name +
                                           "' file with default settings in the Windows directory?"});
    if (!create) {
        ++errors;
        return;
    }
    const std::string settingsDirectory = platform::settingsDirectory();
    const std::string target = absolute ? name : platform::joinPath(settingsDirectory, name);
    if (!platform::makeDirectories(settingsDirectory) || !WriteDefaultSettings(target))
        ++errors;
    else
        Startup().SettingsFileRead = target;
}

/// The second option pass over the entries after entry 0.
void applyOptions(const std::vector<std::string>& words, const SettingsErrorFn& report, int& errors)
{
    for (std::size_t i = 1; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (word.empty() || word.front() != '-') {
            UnknownOptionError(report, CommandLineHeader, word);
            ++errors;
            continue;
        }
        if (word == "-rc_file") {
            ++i;
            continue;
        }
        if (word == "-causal_analysis") {
            setProcessingForCausalAnalysis();
            continue;
        }
        bool known = false;
        for (SettingsSection& section : SettingsTable()) {
            if (section.name && ParseOption(section.keys, words, i, report, errors)) {
                known = true;
                break;
            }
        }
        if (!known)
            known = ParseOption(OptionTable(), words, i, report, errors) != 0;
        if (known)
            ++i;
        else {
            UnknownOptionError(report, CommandLineHeader, word);
            ++errors;
        }
    }
}

void setHelpPath(const std::string& installDirectory)
{
    HelpPathMemory& memory = helpPathMemory();
    if (!memory.captured) {
        memory.captured = true;
        if (const char* value = std::getenv(HelpPathVariable))
            memory.original = value;
    }
    const std::string value = memory.original ? installDirectory + ":" + *memory.original : installDirectory;
    ::setenv(HelpPathVariable, value.c_str(), 1);
}

} // namespace

StartupValues& Startup()
{
    static StartupValues values;
    return values;
}

void ResetStartup()
{
    Startup() = StartupValues{};
    helpPathMemory() = HelpPathMemory{};
}

std::vector<SettingsKey>& OptionTable()
{
    static std::vector<SettingsKey> table{
        {"model", 0, nullptr, 0, Text, &Startup().StartupModelName, {}},
        {"cmpnt", 0, nullptr, 0, Handle, &Startup().NotifyWindowHandle, {}},
    };
    return table;
}

bool IsOptionWithValue(const std::string& word)
{
    static const std::array<const char*, 10> options{"-model",     "-cmpnt",     "-help_dir",  "-usrcl_dir",
                                                     "-templ_dir", "-runsp_dir", "-simul_dir", "-rc_file",
                                                     "-hlp_level", "-causal_analysis"};
    for (const char* option : options) {
        if (word == option)
            return true;
    }
    return false;
}

std::vector<std::string> SplitCommandLine(const std::string& text)
{
    std::vector<std::string> words{"PROGRAM.EXE"};
    const std::size_t end = text.find('\0') == std::string::npos ? text.size() : text.find('\0');
    std::size_t i = 0;
    while (i < end) {
        while (i < end && isBlank(text[i]))
            ++i;
        if (i >= end)
            break;
        std::string word;
        bool quoted = false;
        while (i < end && !isBlank(text[i])) {
            const char c = text[i];
            if (c == '"') {
                ++i;
                if (quoted)
                    break;
                quoted = true;
            } else if (c == '\\' && i + 1 < end && text[i + 1] == '"') {
                word += '"';
                i += 2;
            } else {
                word += c;
                ++i;
            }
        }
        if (!word.empty())
            words.push_back(std::move(word));
    }
    JoinOptionValues(words);
    return words;
}

void JoinOptionValues(std::vector<std::string>& words)
{
    if (words.empty())
        return;
    std::vector<std::string> entries{std::move(words[0])};
    for (std::size_t i = 1; i < words.size(); ++i) {
        if (IsOptionWithValue(words[i])) {
            entries.push_back(std::move(words[i]));
            if (i + 1 < words.size() && !IsOptionWithValue(words[i + 1]))
                entries.push_back(std::move(words[++i]));
        } else {
            entries.back() += ' ';
            entries.back() += words[i];
        }
    }
    words = std::move(entries);
}

int StartupSettings(const std::vector<std::string>& words, int report, const ConfirmFunction& confirm)
{
    const SettingsErrorFn reportError = report ? SettingsErrorFn(ReportSettingsError)
                                               : SettingsErrorFn(ReportSettingsErrorSilently);
    int errors = 0;
    const std::string programEntry = words.empty() ? std::string("PROGRAM.EXE") : words[0];
    StartupValues& startup = Startup();
    SettingsValues& settings = Settings();

    const std::optional<std::string> current = platform::currentDirectory();
    if (startup.StartupDirectory.empty()) {
        if (!current) {
            ShowMessage({"Can not find startup directory of executable.",
                         "Check if current directory can be accessed."});
            return 0;
        }
        startup.StartupDirectory = *current;
    }
    startup.CurrentDirectory = current.value_or(std::string());
    startup.InstallDirectory = startup.StartupDirectory;

    settings.model_dirs = startup.CurrentDirectory;
    settings.alias_names = "project";
    startup.StartupModelName.clear();
    if (!startup.CausalAnalysisOnly) {
        startup.ProcessingDepth = 6;
        startup.ProcessingBase = 3;
    }
    settings.messages = 1;

    startup.SettingsFileName = "orvanta.ini";
    startup.SettingsFileRead.clear();
    for (std::size_t i = 1; i < words.size(); ++i) {
        if (words[i] != "-rc_file")
            continue;
        if (i + 1 < words.size())
            startup.SettingsFileName = words[i + 1];
        else {
            reportError(noArgumentMessage(words[i]));
            ++errors;
        }
        break;
    }

    readSettingsSearch(reportError, confirm, errors);
    if (!AskContinueStartup(errors, report, "There are errors reading initialization file. Continue startup?",
                            confirm))
        return 0;

    applyOptions(words, reportError, errors);
    if (errors != 0)
        ShowMessage({"Usage: " + programEntry + " [-help_dir dir][-usrcl_dir dir][-templ_dir dir]",
                     "   [-runsp_dir dir][-simul_dir dir][-rc_file file][-hlp_level]"});
    if (!AskContinueStartup(errors, report, "There are errors reading the command-line. Continue startup?",
                            confirm))
        return 0;

    const std::vector<std::string> modelDirectories = SplitPathList(settings.model_dirs);
    if (!modelDirectories.empty() && !modelDirectories.front().empty()) {
        startup.WorkingDirectory = modelDirectories.front();
        startup.ExperimentDirectory = modelDirectories.front();
        startup.ResultDirectory = modelDirectories.front();
        startup.ProcessedDirectory = modelDirectories.front();
    }

    setHelpPath(startup.InstallDirectory);
    return 1;
}

std::vector<std::string> CommandWords(int argc, char** argv)
{
    std::string line;
    for (int i = 1; i < argc; ++i) {
        if (i > 1)
            line += ' ';
        line += argv[i];
    }
    return SplitCommandLine(line);
}

int ParseOption(std::vector<SettingsKey>& rows, const std::vector<std::string>& words, std::size_t index,
                const SettingsErrorFn& report, int& errors)
{
    if (index >= words.size())
        return 0;
    const std::string& word = words[index];
    const std::string_view name = word.empty() ? std::string_view() : std::string_view(word).substr(1);
    for (SettingsKey& row : rows) {
        if (!row.key || row.type == SettingPassedOver || name != row.key)
            continue;
        if (index + 1 >= words.size()) {
            if (report)
                report(noArgumentMessage(word));
            return 1;
        }
        SetSettingValue(row, words[index + 1], 1, report, CommandLineHeader, word, errors);
        return 1;
    }
    if (word == "-causal_analysis") {
        setProcessingForCausalAnalysis();
        return 1;
    }
    return 0;
}

void UnknownOptionError(const SettingsErrorFn& report, const std::string& header, const std::string& word)
{
    if (report)
        report(header.substr(0, 50) + " unknown option '" + word.substr(0, 30) + "'.");
}

int AskContinueStartup(int& errors, int, const std::string& question, const ConfirmFunction& confirm)
{
    if (errors != 0 && confirm && !confirm("Continue", "Cancel", {question}))
        return 0;
    errors = 0;
    return 1;
}
