// The process-wide settings table and its reading from and writing to "orvanta.ini".
#pragma once

#include "platform/core/window_handle.h"

#include <cstdint>
#include <functional>
#include <string>
#include <variant>
#include <vector>

/// How a setting's text is read. `Handle` (a 64-bit integer without range) is
/// used only by the command-line option table.
enum SettingType : int {
    SettingPassedOver = 0,
    DirectoryList = 1,
    Integer = 2,
    OffOn = 3,
    Choice = 4,
    Text = 5,
    Handle = 6,
};

/// The variable a row sets: a text (DirectoryList, Text), a 32-bit integer
/// (Integer, OffOn, Choice) or a 64-bit integer (Handle).
using SettingVariable = std::variant<std::monostate, std::string*, std::int32_t*, std::int64_t*>;

/// One setting.
struct SettingsKey {
    const char* key = nullptr;              ///< INI key, also the option word after its '-'
    platform::WindowHandle control = 0;     ///< the property page's control that edits it
    const char* label = nullptr;            ///< display text of the key
    platform::WindowHandle caption = 0;     ///< the property page's caption control
    SettingType type = SettingPassedOver;
    SettingVariable value;
    std::vector<const char*> labels;        ///< display texts of the values (OffOn, Choice)
};

/// One section of the settings file, and one property page.
struct SettingsSection {
    const char* name = nullptr;
    std::vector<SettingsKey> keys;
};

/// The values of the settings, one member per key.
struct SettingsValues {
    // General
    std::string model_dirs;
    std::string alias_names;
    // Graph Editor
    std::string def_bond_size = "3";
    std::int32_t grid_snap_size = 0;
    std::int32_t grid = 1;
    std::int32_t snap = 1;
    std::int32_t showname = 1;
    // Equation Editor
    std::int32_t ee_messages = 0;
    // Model Processor
    std::int32_t messages = 0;
    std::int32_t tempfiles = 0;
    // Simulator
    std::int32_t mode = 0;
    std::int32_t sim_grid = 1;
    std::int32_t colors = 1;
    std::int32_t dashing = 0;
    std::int32_t linewidth = 0;
    std::int32_t warp = 1;
};

/// The program's settings values.
SettingsValues& Settings();

/// The program's settings table: "General", "Graph Editor", "Equation Editor",
/// "Model Processor", "Simulator", its rows pointing into `Settings()`.
std::vector<SettingsSection>& SettingsTable();

/// Puts every setting back to its initial value (as when the program starts).
void ResetSettings();

/// Receives one complete message text; the result is ignored by callers.
using SettingsErrorFn = std::function<int(const std::string& text)>;

/// Shows the text in a message box; an empty text shows nothing. Returns 0.
int ReportSettingsError(const std::string& text);

/// Does nothing; returns 0.
int ReportSettingsErrorSilently(const std::string& text);

/// Reads every key of `table` from the file, which is read once. 1 when the file
/// was read, 0 when it cannot be opened (nothing reported, counter untouched).
/// Anything at the path that is not a regular file of at most `kProfileReadLimit`
/// bytes is not read: it is reported, counted, and gives 1.
/// Each bad value is reported through `report` and counted in `errors`; with
/// `checkDirectories` every entry of a directory list must be a directory.
int ReadSettings(const std::string& path, std::vector<SettingsSection>& table,
                 int checkDirectories, const SettingsErrorFn& report, int& errors);

/// `ReadSettings` on `SettingsTable()` (silently when `report` is empty); then
/// the processing depth becomes the processing base plus 3.
int ReadSettingsFile(const std::string& path, int checkDirectories,
                     const SettingsErrorFn& report, int& errors);

/// Writes every key of the table to the file in one atomic replacement, keeping
/// the file's other lines and the lines whose value is unchanged; 1 when written,
/// else 0 with the old file unchanged.
int WriteSettings(const std::string& path);

/// `WriteSettings` under the name used when a new file is made at start-up.
int WriteDefaultSettings(const std::string& path);

/// Stores one value given as text (the command-line pass); 1 when stored, 0
/// after a report (counted in `errors`).
int SetSettingValue(SettingsKey& row, const std::string& text, int checkDirectories,
                    const SettingsErrorFn& report, const std::string& header,
                    const std::string& optionWord, int& errors);

/// Parses a decimal integer (leading white space and a sign allowed, the rest
/// after the digits ignored). With minimum < maximum the value must lie in
/// [minimum, maximum] compared as unsigned 32-bit numbers. 1 and the value
/// stored, or a report and 0 with the variable unchanged.
int ParseIntegerSetting(std::int32_t& variable, const std::string& text, std::int32_t minimum,
                        std::int32_t maximum, const SettingsErrorFn& report, const std::string& key,
                        const std::string& header);

/// Parses a decimal 64-bit integer as `ParseIntegerSetting` does, without range:
/// the `Handle` rows (window handles on the command line).
int ParseHandleSetting(std::int64_t& variable, const std::string& text,
                       const SettingsErrorFn& report, const std::string& key,
                       const std::string& header);

/// Replaces the variable with the text: 0 (unchanged) when the text is empty or,
/// with the check flag, an entry of the ';' list is not a directory.
int StoreDirectoryList(std::string& variable, const std::string& text, int checkDirectories);
