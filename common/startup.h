// The command line and the start-up sequence every program runs.
#pragma once

#include "common/message_boxes.h"
#include "common/settings_table.h"

#include <cstdint>
#include <string>
#include <vector>

/// Program-wide values set by the start-up sequence.
struct StartupValues {
    std::string StartupDirectory;      ///< directory of the executable (set before the first call)
    std::string CurrentDirectory;      ///< current directory at start-up
    std::string InstallDirectory;      ///< installation root, used for the help path
    std::string SettingsFileName = "orvanta.ini"; ///< as given, passed on to started programs
    std::string SettingsFileRead;      ///< the file the settings came from (or were created in); empty when none
    std::string StartupModelName;      ///< value of -model; empty when not given
    std::int64_t NotifyWindowHandle = 0; ///< value of -cmpnt: the window the model processor notifies
    std::string WorkingDirectory;      ///< temporary and processed-template files
    std::string ExperimentDirectory;   ///< experiment files
    std::string ResultDirectory;       ///< simulation results
    std::string ProcessedDirectory;    ///< processed-model code files
    int ProcessingDepth = 6;           ///< 6 full processing, 5 up to causal analysis
    int ProcessingBase = 3;            ///< 3 full, 2 causal analysis only
    int CausalAnalysisOnly = 0;        ///< set by -causal_analysis for the life of the process
};

/// The program's start-up values.
StartupValues& Startup();

/// Puts the start-up values back to their state at process start (tests).
void ResetStartup();

/// The command-line option table: `model` and `cmpnt`.
std::vector<SettingsKey>& OptionTable();

/// True for the ten option words that take a value (exact, case-sensitive).
bool IsOptionWithValue(const std::string& word);

/// Splits a command line (without the program name, ending at its first NUL)
/// into words of any length; entry 0 is "PROGRAM.EXE"; the words are then
/// regrouped by `JoinOptionValues`.
std::vector<std::string> SplitCommandLine(const std::string& text);

/// The words of a program's arguments (after its name) as `SplitCommandLine` gives them.
std::vector<std::string> CommandWords(int argc, char** argv);

/// Regroups the words: each option that takes a value starts an entry and takes
/// the next word as its own entry; every other word is appended, after a blank,
/// to the entry before it.
void JoinOptionValues(std::vector<std::string>& words);

/// The whole start-up sequence. Returns 1 to go on, 0 when it must stop: the
/// user cancelled after errors (nothing after the question has run), or no
/// start-up directory could be had. The caller decides what stopping means (a
/// program starting up quits; a running program keeps what it has). Sets
/// HELPPATH to the install directory before the value it had at the first call.
int StartupSettings(const std::vector<std::string>& words, int report, const ConfirmFunction& confirm);

/// Handles the option at `index` against `rows`: 1 when it is a known option
/// (even when its value is missing), else 0.
int ParseOption(std::vector<SettingsKey>& rows, const std::vector<std::string>& words,
                std::size_t index, const SettingsErrorFn& report, int& errors);

/// Reports "%.50s unknown option '%.30s'." (header, word).
void UnknownOptionError(const SettingsErrorFn& report, const std::string& header,
                        const std::string& word);

/// After errors, asks the question: 0 when the user cancelled (the counter
/// stays), else 1 and the counter becomes 0.
int AskContinueStartup(int& errors, int report, const std::string& question,
                       const ConfirmFunction& confirm);
