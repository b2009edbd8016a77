// Fuzzes the settings table and the start-up sequence: the input is the settings file's
// text, a NUL, and a command line. The file is read through the settings table, then the
// whole start-up runs over it with the command line's options. Questions are answered so
// that the start-up goes on but never creates a file.
#include "fuzz_support.h"
#include "common/settings_table.h"
#include "common/startup.h"
#include "platform/core/file_system.h"

#include <cstddef>
#include <cstdlib>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace {

/// Yes to "continue startup?", no to creating a default file.
int answer(std::string_view, std::string_view, const std::vector<std::string>& lines)
{
    for (const std::string& line : lines)
        if (line.find("create") != std::string::npos)
            return 0;
    return 1;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzzsupport::silenceMessages();
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t nul = input.find('\0');
    const std::string_view file = input.substr(0, nul);
    const std::string commandLine = nul == std::string_view::npos ? std::string() : std::string(input.substr(nul + 1));
    fuzzsupport::require(platform::writeFileAtomically("orvanta.ini", file));

    platform::deleteFile("written.ini");
    ResetSettings();
    ResetStartup();
    int errors = 0;
    ReadSettings("orvanta.ini", SettingsTable(), 0, ReportSettingsErrorSilently, errors);
    // What was read writes out and reads back to the same values.
    if (WriteSettings("written.ini")) {
        const std::string first = platform::readFile("written.ini").value_or("");
        ResetSettings();
        int again = 0;
        ReadSettings("written.ini", SettingsTable(), 0, ReportSettingsErrorSilently, again);
        fuzzsupport::require(WriteSettings("written.ini") && platform::readFile("written.ini").value_or("") == first);
    }

    // Each run starts as a fresh process would: without the help path of the run before.
    ::unsetenv("HELPPATH");
    ResetSettings();
    ResetStartup();
    StartupSettings(SplitCommandLine(commandLine), 0, answer);
    return 0;
}
