// orvanta-startup-check: runs the start-up sequence on its arguments and prints what it resolved.
#include "common/message_boxes.h"
#include "common/settings_table.h"
#include "common/startup.h"
#include "platform/core/file_system.h"
#include "platform/core/message_sink.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>

namespace {

/// The arguments as one command-line text: words with blanks in quotes, quotes escaped.
std::string commandLineText(int argc, char** argv)
{
    std::string text;
    for (int i = 1; i < argc; ++i) {
        std::string word;
        for (const char* c = argv[i]; *c; ++c) {
            if (*c == '"')
                word += '\\';
            word += *c;
        }
        if (i > 1)
            text += ' ';
        text += word.find_first_of(" \t") == std::string::npos ? word : '"' + word + '"';
    }
    return text;
}

/// The display text of a value index, with a dialog's "&&" shown as one '&'.
std::string labelText(const char* label)
{
    std::string text;
    for (const char* c = label; *c; ++c) {
        if (*c == '&' && c[1] == '&')
            ++c;
        text += *c;
    }
    return text;
}

void printSettings()
{
    for (const SettingsSection& section : SettingsTable()) {
        for (const SettingsKey& row : section.keys) {
            std::string value;
            if (auto* text = std::get_if<std::string*>(&row.value)) {
                value = **text;
            } else if (auto* number = std::get_if<std::int32_t*>(&row.value)) {
                value = std::to_string(**number);
                const auto index = static_cast<std::size_t>(**number);
                if (**number >= 0 && index < row.labels.size())
                    value += " (" + labelText(row.labels[index]) + ")";
            }
            std::printf("%s/%s = %s\n", section.name, row.key, value.c_str());
        }
    }
}

void printStartupValues()
{
    const StartupValues& s = Startup();
    const char* helpPath = std::getenv("HELPPATH");
    const std::pair<const char*, std::string> values[] = {
        {"StartupDirectory", s.StartupDirectory},
        {"CurrentDirectory", s.CurrentDirectory},
        {"InstallDirectory", s.InstallDirectory},
        {"WorkingDirectory", s.WorkingDirectory},
        {"ExperimentDirectory", s.ExperimentDirectory},
        {"ResultDirectory", s.ResultDirectory},
        {"ProcessedDirectory", s.ProcessedDirectory},
        {"SettingsFileName", s.SettingsFileName},
        {"StartupModelName", s.StartupModelName},
        {"NotifyWindowHandle", std::to_string(s.NotifyWindowHandle)},
        {"ProcessingDepth", std::to_string(s.ProcessingDepth)},
        {"ProcessingBase", std::to_string(s.ProcessingBase)},
        {"HELPPATH", helpPath ? helpPath : ""},
    };
    for (const auto& [name, value] : values)
        std::printf("%s = %s\n", name, value.c_str());
}

} // namespace

int main(int argc, char** argv)
{
    // Boxes go to standard error; a question is answered with Cancel, so no file is made unasked.
    platform::StderrMessageSink sink(platform::BoxAnswer::Cancel);
    platform::ScopedMessageSink useSink(sink);

    Startup().StartupDirectory = platform::executableDirectory();
    const std::vector<std::string> words = SplitCommandLine(commandLineText(argc, argv));
    if (!StartupSettings(words, 1, ShowConfirmLines)) {
        std::fprintf(stderr, "orvanta-startup-check: start-up stopped\n");
        return 1;
    }
    printSettings();
    printStartupValues();
    return 0;
}
