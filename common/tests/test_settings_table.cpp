// The settings table: reading a hand-written file, bad values, directory lists, atomic writing.
#include "common/settings_table.h"

#include "common/startup.h"
#include "platform/core/message_sink.h"
#include "platform/testing/temp_dir.h"

#include <gtest/gtest.h>

#include <sstream>
#include <stdexcept>

namespace {

// A file as a user keeps it: sections in mixed case, comments, blanks around
// '=', quoted values and keys the suite does not know.
const char* const HandWritten =
    "; Orvanta settings\n"
    "[general]\n"
    "model_dirs = models;more\n"
    "alias_names = \"my project\"\n"
    "\n"
    "[GRAPH EDITOR]\n"
    "def_bond_size=5\n"
    "grid_snap_size = 2\n"
    "grid=0\n"
    "snap = 0\n"
    "showname=1\n"
    "colour=blue\n"
    "[Equation editor]\n"
    "ee_messages=1\n"
    "[Model Processor]\n"
    "; 2 is errors and progress\n"
    "messages=2\n"
    "tempfiles=1\n"
    "[Plotter]\n"
    "mode=1\n"
    "[simulator]\n"
    "mode=1\n"
    "sim_grid=0\n"
    "colors=0\n"
    "dashing=1\n"
    "linewidth=3\n"
    "warp=0\n";

std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        result.push_back(line);
    return result;
}

/// The hand-written file with the line that starts with `key` replaced (or dropped when empty).
std::string withLine(const std::string& key, const std::string& replacement)
{
    std::string text;
    for (const std::string& line : lines(HandWritten)) {
        if (line.rfind(key, 0) == 0) {
            if (!replacement.empty())
                text += replacement + "\n";
        } else {
            text += line + "\n";
        }
    }
    return text;
}

class SettingsTableTest : public ::testing::Test {
protected:
    SettingsTableTest() : m_cwd(m_dir.path())
    {
        ResetSettings();
        ResetStartup();
        m_dir.mkdir("models");
        m_dir.mkdir("more");
        m_dir.write("plain.txt", "not a directory");
    }
    ~SettingsTableTest() override
    {
        ResetSettings();
        ResetStartup();
    }

    int read(const std::string& text, int& errors)
    {
        m_dir.write("orvanta.ini", text);
        return ReadSettings("orvanta.ini", SettingsTable(), 1, ReportSettingsError, errors);
    }

    testsupport::TempDir m_dir;
    testsupport::ScopedCurrentDirectory m_cwd;
    platform::ScriptedMessageSink m_sink;
    platform::ScopedMessageSink m_useSink{m_sink};
};

TEST_F(SettingsTableTest, HandWrittenFileReadsIntoTheTable)
{
    Startup().ProcessingBase = 2;
    int errors = 0;
    m_dir.write("orvanta.ini", HandWritten);
    EXPECT_EQ(ReadSettingsFile("orvanta.ini", 1, nullptr, errors), 1);
    EXPECT_EQ(errors, 0);
    EXPECT_TRUE(m_sink.transcript().empty());
    const SettingsValues& s = Settings();
    EXPECT_EQ(s.model_dirs, "models;more");
    EXPECT_EQ(s.alias_names, "my project");
    EXPECT_EQ(s.def_bond_size, "5");
    EXPECT_EQ((std::vector<int>{s.grid_snap_size, s.grid, s.snap, s.showname, s.ee_messages, s.messages,
                                s.tempfiles, s.mode, s.sim_grid, s.colors, s.dashing, s.linewidth, s.warp}),
              (std::vector<int>{2, 0, 0, 1, 1, 2, 1, 1, 0, 0, 1, 3, 0}));
    EXPECT_EQ(Startup().ProcessingDepth, 5);
}

// Some editors start a saved file with a UTF-8 byte-order mark; the first section must not be lost to it.
TEST_F(SettingsTableTest, ByteOrderMarkBeforeTheFirstSectionIsSkipped)
{
    int errors = 0;
    m_dir.write("orvanta.ini", "\xEF\xBB\xBF" + std::string(HandWritten));
    EXPECT_EQ(ReadSettingsFile("orvanta.ini", 1, nullptr, errors), 1);
    EXPECT_EQ(errors, 0);
    EXPECT_EQ(Settings().model_dirs, "models;more");
}

TEST_F(SettingsTableTest, MissingFileIsNotReadAndNotReported)
{
    int errors = 3;
    EXPECT_EQ(ReadSettings("absent.ini", SettingsTable(), 1, ReportSettingsError, errors), 0);
    EXPECT_EQ(errors, 3);
    EXPECT_TRUE(m_sink.transcript().empty());

    // A directory is there, but no settings file: it is told and counted.
    EXPECT_EQ(ReadSettings(m_dir.path(), SettingsTable(), 1, ReportSettingsError, errors), 1);
    EXPECT_EQ(errors, 4);
    EXPECT_EQ(m_sink.transcriptLines(),
              std::vector<std::string>{"Can not read settings file '" + m_dir.path() + "': it is a directory."});
}

TEST_F(SettingsTableTest, BadValuesAreReportedOnceEachAndKeepTheOldValue)
{
    struct Case {
        const char* key;
        const char* line;
        const char* message; // empty: no error
        std::int32_t SettingsValues::*member;
        std::int32_t expected;
    };
    const Case cases[] = {
        {"grid=", "", "While reading orvanta.ini: argument of 'grid': not an integer number.", &SettingsValues::grid, 7},
        {"grid=", "grid=", "While reading orvanta.ini: argument of 'grid': not an integer number.", &SettingsValues::grid, 7},
        {"grid=", "grid=1abc", "", &SettingsValues::grid, 1},
        {"grid=", "grid= \t+1", "", &SettingsValues::grid, 1},
        {"grid=", "grid=-", "While reading orvanta.ini: argument of 'grid': not an integer number.", &SettingsValues::grid, 7},
        {"grid=", "grid=4294967297", "While reading orvanta.ini: argument of 'grid': value out of range.", &SettingsValues::grid, 7},
        {"linewidth=", "linewidth=4", "While reading orvanta.ini: argument of 'linewidth': value out of range.", &SettingsValues::linewidth, 7},
        {"linewidth=", "linewidth=-1", "While reading orvanta.ini: argument of 'linewidth': value out of range.", &SettingsValues::linewidth, 7},
        {"messages=", "messages=3", "While reading orvanta.ini: argument of 'messages': value out of range.", &SettingsValues::messages, 7},
        {"mode=", "", "While reading orvanta.ini: argument of 'mode': not an integer number.", &SettingsValues::mode, 7},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.key) + " -> '" + c.line + "'");
        ResetSettings();
        m_sink.clear();
        Settings().*c.member = 7;
        int errors = 0;
        EXPECT_EQ(read(withLine(c.key, c.line), errors), 1);
        EXPECT_EQ(Settings().*c.member, c.expected);
        const bool bad = *c.message != '\0';
        EXPECT_EQ(errors, bad ? 1 : 0);
        EXPECT_EQ(m_sink.transcriptLines(), bad ? std::vector<std::string>{c.message} : std::vector<std::string>{});
        EXPECT_EQ(Settings().warp, 0); // keys after the bad one are still read
    }
}

TEST_F(SettingsTableTest, DirectoryListsAreCheckedAndEmptyTextsKeepTheStartupValue)
{
    const std::string longList = std::string(60, 'x') + ";models;" + std::string(30, 'y');
    struct Case {
        std::string modelDirsLine;
        const char* aliasLine;
        int check;
        std::string model_dirs;
        std::string alias_names;
        std::string message;
    };
    const Case cases[] = {
        {"model_dirs=", "alias_names=", 1, "start", "start alias", ""},
        {"model_dirs=models;", nullptr, 1, "models;", "my project", "While reading orvanta.ini: models; is not a directory."},
        {"model_dirs=models;plain.txt", nullptr, 1, "models;plain.txt", "my project",
         "While reading orvanta.ini: models;plain.txt is not a directory."},
        {"model_dirs=absent", nullptr, 0, "absent", "my project", ""},
        {"model_dirs=" + longList, nullptr, 1, longList, "my project",
         "While reading orvanta.ini: " + longList.substr(0, 70) + " is not a directory."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.modelDirsLine);
        ResetSettings();
        m_sink.clear();
        Settings().model_dirs = "start";
        Settings().alias_names = "start alias";
        std::string text = withLine("model_dirs", c.modelDirsLine);
        if (c.aliasLine)
            text.replace(text.find("alias_names"), std::string("alias_names = \"my project\"").size(), c.aliasLine);
        m_dir.write("orvanta.ini", text);
        int errors = 0;
        EXPECT_EQ(ReadSettings("orvanta.ini", SettingsTable(), c.check, ReportSettingsError, errors), 1);
        EXPECT_EQ(Settings().model_dirs, c.model_dirs);
        EXPECT_EQ(Settings().alias_names, c.alias_names);
        EXPECT_EQ(errors, c.message.empty() ? 0 : 1);
        EXPECT_EQ(m_sink.transcriptLines(),
                  c.message.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.message});
    }
}

TEST_F(SettingsTableTest, LongFilePathIsCutInTheHeader)
{
    const std::string path = m_dir.write("a-rather-long-folder-name-for-settings/orvanta.ini", withLine("grid=", ""));
    int errors = 0;
    EXPECT_EQ(ReadSettings(path, SettingsTable(), 1, ReportSettingsError, errors), 1);
    EXPECT_EQ(m_sink.transcriptLines(),
              std::vector<std::string>{"While reading " + path.substr(0, 40) +
                                       ": argument of 'grid': not an integer number."});
}

TEST_F(SettingsTableTest, CommandLineValuesAreCheckedLikeFileValues)
{
    const std::string header = "At reading command line arguments:";
    auto row = [](const char* key) -> SettingsKey& {
        for (SettingsSection& section : SettingsTable())
            for (SettingsKey& r : section.keys)
                if (std::string(r.key) == key)
                    return r;
        throw std::runtime_error(key);
    };
    int errors = 0;
    EXPECT_EQ(SetSettingValue(row("model_dirs"), "models;plain.txt", 1, ReportSettingsError, header, "-model_dirs", errors), 0);
    EXPECT_EQ(SetSettingValue(row("model_dirs"), "more;models", 1, ReportSettingsError, header, "-model_dirs", errors), 1);
    EXPECT_EQ(SetSettingValue(row("linewidth"), "9", 1, ReportSettingsError, header, "-linewidth", errors), 0);
    EXPECT_EQ(SetSettingValue(row("alias_names"), "a b", 1, ReportSettingsError, header, "-alias_names", errors), 1);
    EXPECT_EQ(errors, 2);
    EXPECT_EQ(Settings().model_dirs, "more;models");
    EXPECT_EQ(Settings().alias_names, "a b");
    EXPECT_EQ(Settings().linewidth, 0);
    EXPECT_EQ(m_sink.transcriptLines(),
              (std::vector<std::string>{header + " models;plain.txt is not a directory.", "--",
                                        header + " argument of '-linewidth': value out of range."}));
    EXPECT_EQ(StoreDirectoryList(Settings().model_dirs, "", 0), 0);
    EXPECT_EQ(Settings().model_dirs, "more;models");
}

TEST_F(SettingsTableTest, ReportingAnEmptyTextShowsNothing)
{
    EXPECT_EQ(ReportSettingsError(""), 0);
    EXPECT_EQ(ReportSettingsError("one line"), 0);
    EXPECT_EQ(m_sink.transcriptLines(), std::vector<std::string>{"one line"});
}

TEST_F(SettingsTableTest, FreshFileListsEveryKeyUnderTheFiveSectionsInOrder)
{
    Settings().model_dirs = "models";
    Settings().alias_names = "project";
    ASSERT_EQ(WriteSettings(m_dir.file("fresh.ini")), 1);
    std::vector<std::string> written;
    for (std::string line : lines(testsupport::readText(m_dir.file("fresh.ini")))) {
        std::erase(line, ' ');
        if (!line.empty())
            written.push_back(line);
    }
    EXPECT_EQ(written, (std::vector<std::string>{
                           "[General]", "model_dirs=models", "alias_names=project",
                           "[GraphEditor]", "def_bond_size=3", "grid_snap_size=0", "grid=1", "snap=1", "showname=1",
                           "[EquationEditor]", "ee_messages=0",
                           "[ModelProcessor]", "messages=0", "tempfiles=0",
                           "[Simulator]", "mode=0", "sim_grid=1", "colors=1", "dashing=0", "linewidth=0", "warp=1"}));
}

TEST_F(SettingsTableTest, WritingBackChangesOnlyTheChangedLines)
{
    int errors = 0;
    ASSERT_EQ(read(HandWritten, errors), 1);
    Settings().snap = 1;
    ASSERT_EQ(WriteSettings("orvanta.ini"), 1);
    const std::vector<std::string> before = lines(HandWritten);
    const std::vector<std::string> after = lines(testsupport::readText(m_dir.file("orvanta.ini")));
    ASSERT_EQ(after.size(), before.size());
    for (std::size_t i = 0; i < before.size(); ++i) {
        std::string changed = after[i];
        std::erase(changed, ' ');
        if (before[i] == "snap = 0")
            EXPECT_EQ(changed, "snap=1");
        else
            EXPECT_EQ(after[i], before[i]);
    }
}

TEST_F(SettingsTableTest, FailedWriteLeavesTheOldFileAsItWas)
{
    m_dir.write("orvanta.ini", HandWritten);
    // A file where the directory should be.
    EXPECT_EQ(WriteSettings(m_dir.file("plain.txt/orvanta.ini")), 0);
    EXPECT_EQ(testsupport::readText(m_dir.file("plain.txt")), "not a directory");
    // A value that cannot stand in the file: nothing at all is written.
    Settings().grid = 0;
    Settings().alias_names = "two\nlines";
    EXPECT_EQ(WriteSettings("orvanta.ini"), 0);
    EXPECT_EQ(testsupport::readText(m_dir.file("orvanta.ini")), HandWritten);
}

} // namespace
