// The start-up check as it is built: beside the programs in bin/, where it resolves the
// program's own directory as they do; and every program the README names lies there.
#include "platform/core/file_system.h"
#include "platform/testing/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

/// What the command writes to its standard output.
std::string outputOf(const std::string& command)
{
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
    std::string text;
    if (!pipe)
        return text;
    char buffer[512];
    while (std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe.get()))
        text.append(buffer, n);
    return text;
}

/// The names in the first column of the README's table of programs.
std::vector<std::string> readmePrograms()
{
    std::istringstream readme(testsupport::readText(ORVANTA_SOURCE_DIR "/README.md"));
    std::vector<std::string> names;
    bool inTable = false;
    for (std::string line; std::getline(readme, line);) {
        if (line.rfind("## ", 0) == 0)
            inTable = line == "## The programs";
        else if (inTable && line.rfind("| `", 0) == 0)
            names.push_back(line.substr(3, line.find('`', 3) - 3));
    }
    return names;
}

TEST(StartupCheck, RunsFromTheProgramsFolderAndResolvesItAsTheirs)
{
    testsupport::TempDir dir;
    const std::string models = dir.mkdir("models");
    // The examples' settings, on a folder of the test's.
    std::string text = testsupport::readText(ORVANTA_SOURCE_DIR "/examples/models/orvanta.ini");
    const std::size_t dirs = text.find("model_dirs=");
    ASSERT_NE(dirs, std::string::npos);
    text.replace(dirs, text.find('\n', dirs) - dirs, "model_dirs=" + models);
    const std::string settings = dir.write("orvanta.ini", text);
    const std::string output =
        outputOf("cd '" + dir.path() + "' && '" ORVANTA_BIN_DIR "/orvanta-startup-check' -rc_file '" + settings +
                 "' -model msd1");
    EXPECT_NE(output.find("StartupDirectory = " ORVANTA_BIN_DIR "\n"), std::string::npos) << output;
    EXPECT_NE(output.find("InstallDirectory = " ORVANTA_BIN_DIR "\n"), std::string::npos) << output;
    EXPECT_NE(output.find("WorkingDirectory = " + models + "\n"), std::string::npos) << output;
    EXPECT_NE(output.find("StartupModelName = msd1\n"), std::string::npos) << output;
}

TEST(StartupCheck, EveryProgramTheReadmeNamesIsBuiltIntoBin)
{
    const std::vector<std::string> programs = readmePrograms();
    ASSERT_GE(programs.size(), 8u) << testing::PrintToString(programs);
    for (const std::string& program : programs)
        EXPECT_TRUE(platform::fileExists(ORVANTA_BIN_DIR "/" + program)) << program;
}

} // namespace
