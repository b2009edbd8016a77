// The settings table with its initial values, and reading and writing the settings file.
#include "common/settings_table.h"

#include "common/message_boxes.h"
#include "common/startup.h"
#include "common/text_helpers.h"
#include "platform/core/file_system.h"
#include "platform/core/profile_file.h"

#include <limits>
#include <optional>

namespace {

std::vector<SettingsSection> buildTable(SettingsValues& v)
{
    const std::vector<const char*> offOn{"Off", "On"};
    return {
        {"General",
         {
             {"model_dirs", 0, "Models directories.", 0, DirectoryList, &v.model_dirs, {}},
             {"alias_names", 0, "Aliases for Model directories.", 0, Text, &v.alias_names, {}},
         }},
        {"Graph Editor",
         {
             {"def_bond_size", 0, "Multibond/signal Size", 0, Text, &v.def_bond_size, {}},
             {"grid_snap_size", 0, "Grid/Snap Size", 0, Choice, &v.grid_snap_size, {"20", "40", "80", "160"}},
             {"grid", 0, "Grid", 0, OffOn, &v.grid, offOn},
             {"snap", 0, "Snap", 0, OffOn, &v.snap, offOn},
             {"showname", 0, "Show Names", 0, OffOn, &v.showname, offOn},
         }},
        {"Equation Editor",
         {
             {"ee_messages", 0, "Keep Error Messages", 0, OffOn, &v.ee_messages, {"Clear", "Keep"}},
         }},
        {"Model Processor",
         {
             {"messages", 0, "Messages", 0, Choice, &v.messages, {"Minimal", "Errors only", "Errors && progress"}},
             {"tempfiles", 0, "Tempfiles", 0, OffOn, &v.tempfiles, offOn},
         }},
        {"Simulator",
         {
             {"mode", 0, "Mode", 0, Choice, &v.mode, {"X/Y Plot", "Visualisation"}},
             {"sim_grid", 0, "Grid", 0, OffOn, &v.sim_grid, offOn},
             {"colors", 0, "Colors", 0, OffOn, &v.colors, offOn},
             {"dashing", 0, "Dashing", 0, OffOn, &v.dashing, offOn},
             {"linewidth", 0, "Line Width", 0, Choice, &v.linewidth, {"1", "2", "3", "4"}},
             {"warp", 0, "Warp", 0, OffOn, &v.warp, offOn},
         }},
    };
}

void emit(const SettingsErrorFn& report, const std::string& text)
{
    if (report)
        report(text);
}

std::string argumentMessage(const std::string& header, const std::string& key, const char* what)
{
    return header + " argument of '" + key + "': " + what;
}

std::string notADirectoryMessage(const std::string& header, const std::string& text)
{
    return header + " " + text.substr(0, 70) + " is not a directory.";
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

/// A decimal number read the way the C library's strtol reads it: leading white
/// space, an optional sign, then digits up to the first other character. A value
/// beyond [lowest, highest] saturates at the bound. None when no digit was taken.
std::optional<std::int64_t> parseDecimal(const std::string& text, std::int64_t lowest, std::int64_t highest)
{
    std::size_t i = 0;
    while (i < text.size() && isBlank(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    if (i >= text.size() || text[i] < '0' || text[i] > '9')
        return std::nullopt;
    // The magnitude of the bound on this side; -(lowest + 1) + 1 avoids negating the minimum.
    const std::uint64_t limit = negative ? static_cast<std::uint64_t>(-(lowest + 1)) + 1
                                         : static_cast<std::uint64_t>(highest);
    std::uint64_t magnitude = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        const auto digit = static_cast<std::uint64_t>(text[i] - '0');
        if (magnitude > (limit - digit) / 10)
            magnitude = limit;
        else
            magnitude = magnitude * 10 + digit;
    }
    if (!negative)
        return static_cast<std::int64_t>(magnitude);
    if (magnitude == 0)
        return 0;
    return -static_cast<std::int64_t>(magnitude - 1) - 1;
}

/// True when every entry of the ';' list is an existing directory.
bool allDirectories(const std::string& text)
{
    for (const std::string& entry : SplitPathList(text)) {
        if (!platform::isDirectory(entry))
            return false;
    }
    return true;
}

/// Reads the text of an `Integer`, `OffOn`, `Choice` or `Handle` row into its variable.
int parseRowInteger(SettingsKey& row, const std::string& text, const SettingsErrorFn& report,
                    const std::string& key, const std::string& header)
{
    if (auto* handle = std::get_if<std::int64_t*>(&row.value))
        return ParseHandleSetting(**handle, text, report, key, header);
    auto* number = std::get_if<std::int32_t*>(&row.value);
    if (!number)
        return 0;
    std::int32_t minimum = 0;
    std::int32_t maximum = 0;
    if (row.type == OffOn)
        maximum = 1;
    else if (row.type == Choice)
        maximum = static_cast<std::int32_t>(row.labels.size()) - 1;
    return ParseIntegerSetting(**number, text, minimum, maximum, report, key, header);
}

bool isIntegerKind(SettingType type)
{
    return type == Integer || type == OffOn || type == Choice || type == Handle;
}

/// The text a row's value is written as.
std::string valueText(const SettingsKey& row)
{
    if (auto* text = std::get_if<std::string*>(&row.value))
        return **text;
    if (auto* number = std::get_if<std::int32_t*>(&row.value))
        return std::to_string(**number);
    if (auto* handle = std::get_if<std::int64_t*>(&row.value))
        return std::to_string(**handle);
    return {};
}

} // namespace

SettingsValues& Settings()
{
    static SettingsValues values;
    return values;
}

std::vector<SettingsSection>& SettingsTable()
{
    static std::vector<SettingsSection> table = buildTable(Settings());
    return table;
}

void ResetSettings()
{
    Settings() = SettingsValues{};
}

int ReportSettingsError(const std::string& text)
{
    if (!text.empty())
        ShowMessage({text});
    return 0;
}

int ReportSettingsErrorSilently(const std::string&)
{
    return 0;
}

int ReadSettings(const std::string& path, std::vector<SettingsSection>& table, int checkDirectories,
                 const SettingsErrorFn& report, int& errors)
{
    const platform::ProfileFile file = platform::ProfileFile::load(path);
    if (!file.existed()) {
        if (!platform::isRefusedFile(file.loadError()))
            return 0;
        // Something stands there that is no settings file (a device, a pipe, a directory, a
        // file of another size): it ends the search as a file with an error would.
        emit(report, "Can not read settings file '" + path + "': " +
                         platform::fileErrorText(file.loadError(), platform::kProfileReadLimit) + ".");
        ++errors;
        return 1;
    }
    const std::string header = "While reading " + path.substr(0, 40) + ":";
    for (SettingsSection& section : table) {
        if (!section.name)
            continue;
        for (SettingsKey& row : section.keys) {
            if (!row.key || row.type == SettingPassedOver)
                continue;
            const std::string text = file.getString(section.name, row.key);
            if (isIntegerKind(row.type)) {
                // A missing or empty key is no number either.
                if (!parseRowInteger(row, text, report, row.key, header))
                    ++errors;
                continue;
            }
            auto* variable = std::get_if<std::string*>(&row.value);
            if (!variable || text.empty())
                continue;
            **variable = text;
            if (row.type == DirectoryList && checkDirectories && !allDirectories(text)) {
                // The list is kept as read; the user is told which text holds a bad entry.
                emit(report, notADirectoryMessage(header, text));
                ++errors;
            }
        }
    }
    return 1;
}

int ReadSettingsFile(const std::string& path, int checkDirectories, const SettingsErrorFn& report,
                     int& errors)
{
    const SettingsErrorFn silent = ReportSettingsErrorSilently;
    const int read = ReadSettings(path, SettingsTable(), checkDirectories, report ? report : silent, errors);
    Startup().ProcessingDepth = Startup().ProcessingBase + 3;
    return read;
}

int WriteSettings(const std::string& path)
{
    // The profile keeps every other line, leaves unchanged values as they stand,
    // and refuses to save over a file it could not read.
    platform::ProfileFile file = platform::ProfileFile::load(path);
    for (const SettingsSection& section : SettingsTable()) {
        if (!section.name)
            continue;
        for (const SettingsKey& row : section.keys) {
            if (row.key && row.type != SettingPassedOver && !file.setValue(section.name, row.key, valueText(row)))
                return 0;
        }
    }
    return file.save() ? 1 : 0;
}

int WriteDefaultSettings(const std::string& path)
{
    return WriteSettings(path);
}

int SetSettingValue(SettingsKey& row, const std::string& text, int checkDirectories,
                    const SettingsErrorFn& report, const std::string& header,
                    const std::string& optionWord, int& errors)
{
    if (isIntegerKind(row.type)) {
        if (parseRowInteger(row, text, report, optionWord, header))
            return 1;
        ++errors;
        return 0;
    }
    auto* variable = std::get_if<std::string*>(&row.value);
    if (!variable)
        return 0;
    if (row.type == DirectoryList) {
        if (StoreDirectoryList(**variable, text, checkDirectories))
            return 1;
        emit(report, notADirectoryMessage(header, text));
        ++errors;
        return 0;
    }
    if (row.type == Text)
        **variable = text;
    return 1;
}

int ParseIntegerSetting(std::int32_t& variable, const std::string& text, std::int32_t minimum,
                        std::int32_t maximum, const SettingsErrorFn& report, const std::string& key,
                        const std::string& header)
{
    const std::optional<std::int64_t> parsed =
        parseDecimal(text, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max());
    if (!parsed) {
        emit(report, argumentMessage(header, key, "not an integer number."));
        return 0;
    }
    const auto value = static_cast<std::int32_t>(*parsed);
    if (minimum < maximum) {
        // Compared unsigned, so that every negative value is out of range.
        const auto unsignedValue = static_cast<std::uint32_t>(value);
        if (unsignedValue < static_cast<std::uint32_t>(minimum) ||
            unsignedValue > static_cast<std::uint32_t>(maximum)) {
            emit(report, argumentMessage(header, key, "value out of range."));
            return 0;
        }
    }
    variable = value;
    return 1;
}

int ParseHandleSetting(std::int64_t& variable, const std::string& text, const SettingsErrorFn& report,
                       const std::string& key, const std::string& header)
{
    const std::optional<std::int64_t> parsed =
        parseDecimal(text, std::numeric_limits<std::int64_t>::min(), std::numeric_limits<std::int64_t>::max());
    if (!parsed) {
        emit(report, argumentMessage(header, key, "not an integer number."));
        return 0;
    }
    variable = *parsed;
    return 1;
}

int StoreDirectoryList(std::string& variable, const std::string& text, int checkDirectories)
{
    if (text.empty())
        return 0;
    if (checkDirectories && !allDirectories(text))
        return 0;
    variable = text;
    return 1;
}
