// The command line and the start-up sequence: regrouping, file search, options, questions, help path.
#include "common/startup.h"

#include "common/tests/refused_settings.h"
#include "platform/core/file_system.h"
#include "platform/core/message_sink.h"
#include "platform/testing/temp_dir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <optional>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

using platform::BoxAnswer;
using Lines = std::vector<std::string>;

const std::string Header = "At reading command line arguments:";
const Lines Usage{"Usage: PROGRAM.EXE [-help_dir dir][-usrcl_dir dir][-templ_dir dir]",
                  "   [-runsp_dir dir][-simul_dir dir][-rc_file file][-hlp_level]"};
const std::string FileQuestion = "There are errors reading initialization file. Continue startup?";
const std::string LineQuestion = "There are errors reading the command-line. Continue startup?";

Lines operator+(Lines a, const Lines& b)
{
    if (!a.empty() && !b.empty())
        a.push_back("--");
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

/// A complete settings file; `grid` tells the files apart.
std::string settingsText(const std::string& modelDirs, int grid)
{
    return "[General]\nmodel_dirs=" + modelDirs + "\nalias_names=\n[Graph Editor]\ndef_bond_size=3\n"
           "grid_snap_size=0\ngrid=" + std::to_string(grid) + "\nsnap=1\nshowname=1\n"
           "[Equation Editor]\nee_messages=0\n[Model Processor]\nmessages=2\ntempfiles=0\n"
           "[Simulator]\nmode=0\nsim_grid=1\ncolors=1\ndashing=0\nlinewidth=0\nwarp=1\n";
}

TEST(CommandLine, WordsAreSplitAndRegroupedAroundTheOptionsThatTakeAValue)
{
    const std::string longWord(500, 'w');
    const struct {
        std::string text;
        Lines entries;
    } cases[] = {
        {"", {"PROGRAM.EXE"}},
        {"-model tank 1", {"PROGRAM.EXE", "-model", "tank 1"}},
        {"-model \"my model\"", {"PROGRAM.EXE", "-model", "my model"}},
        {"-model \"a\"b", {"PROGRAM.EXE", "-model", "a b"}},
        {"-model \\\"abc\\\" \"\"", {"PROGRAM.EXE", "-model", "\"abc\""}},
        {"-grid 0", {"PROGRAM.EXE -grid 0"}},
        {"-model x -grid 0", {"PROGRAM.EXE", "-model", "x -grid 0"}},
        {"\t-model\n\v" + longWord + "\r\n", {"PROGRAM.EXE", "-model", longWord}},
        {"-rc_file -model x", {"PROGRAM.EXE", "-rc_file", "-model", "x"}},
        {"-causal_analysis -grid -model x", {"PROGRAM.EXE", "-causal_analysis", "-grid", "-model", "x"}},
        {"a\\b c\\", {"PROGRAM.EXE a\\b c\\"}},
        {std::string("-model x\0-cmpnt 1", 17), {"PROGRAM.EXE", "-model", "x"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SplitCommandLine(c.text), c.entries) << c.text;
}

class StartupTest : public ::testing::Test {
protected:
    StartupTest()
    {
        ResetSettings();
        ResetStartup();
        m_models = m_dir.mkdir("models");
        m_start = m_dir.mkdir("start");
        m_work = m_dir.mkdir("work");
        m_cwd.emplace(m_work);
        m_dir.write("work/orvanta.ini", settingsText(m_models, 0));
        Startup().StartupDirectory = m_start;
    }
    ~StartupTest() override
    {
        m_cwd.reset();
        ResetSettings();
        ResetStartup();
    }

    int run(const std::string& commandLine, std::initializer_list<BoxAnswer> answers = {})
    {
        m_sink.clear();
        m_sink.queueAnswers(answers);
        return StartupSettings(SplitCommandLine(commandLine), 1, ShowConfirmLines);
    }

    testsupport::TempDir m_dir;
    testsupport::ScopedEnvironment m_config{"XDG_CONFIG_HOME", m_dir.file("config/deep").c_str()};
    testsupport::ScopedEnvironment m_helpPath{"HELPPATH", nullptr};
    std::string m_models, m_start, m_work;
    std::optional<testsupport::ScopedCurrentDirectory> m_cwd;
    platform::ScriptedMessageSink m_sink;
    platform::ScopedMessageSink m_useSink{m_sink};
};

TEST_F(StartupTest, CommandLinesResolveToSettingsAndMessages)
{
    m_dir.write("other/other.ini", settingsText(m_models, 1));
    const std::string other = m_dir.file("other/other.ini");
    const struct {
        std::string commandLine;
        Lines transcript;
        std::function<void()> check;
    } cases[] = {
        {"-model tank 1", {}, [&] {
             EXPECT_EQ(Startup().StartupModelName, "tank 1");
             EXPECT_EQ(Settings().grid, 0);
             EXPECT_EQ(Settings().alias_names, "project");
             EXPECT_EQ(Startup().WorkingDirectory, m_models);
             EXPECT_EQ(Startup().ProcessedDirectory, m_models);
             EXPECT_EQ(Startup().InstallDirectory, m_start);
         }},
        {"-cmpnt 5000000000", {}, [] { EXPECT_EQ(Startup().NotifyWindowHandle, 5000000000); }},
        {"-cmpnt 12x", {}, [] { EXPECT_EQ(Startup().NotifyWindowHandle, 12); }},
        {"-rc_file " + other, {}, [&] {
             EXPECT_EQ(Settings().grid, 1);
             EXPECT_EQ(Startup().SettingsFileName, other);
         }},
        {"-rc_file ../other/other.ini", {}, [] { EXPECT_EQ(Settings().grid, 1); }},
        {"-grid 1", {}, [] { EXPECT_EQ(Settings().grid, 0); }}, // glued to entry 0, never seen
        {"-cmpnt abc", Lines{Header + " argument of '-cmpnt': not an integer number."} + Usage + Lines{LineQuestion},
         [] { EXPECT_EQ(Startup().NotifyWindowHandle, 0); }},
        {"-help_dir /usr/share/doc",
         Lines{Header + " unknown option '-help_dir'.", "--", Header + " unknown option '/usr/share/doc'."} + Usage +
             Lines{LineQuestion},
         nullptr},
        {"-causal_analysis -grid -model x",
         Lines{Header + " argument of '-grid': not an integer number.", "--", Header + " unknown option 'x'."} + Usage +
             Lines{LineQuestion},
         [] {
             EXPECT_EQ(Startup().ProcessingDepth, 5);
             EXPECT_EQ(Startup().StartupModelName, "");
         }},
        {"-causal_analysis -grid", {Header + " option -grid has no argument."}, nullptr},
        {"-model a_model_name_of_more_than_thirty_letters -x -rc_file",
         Lines{Header + " option -rc_file has no argument."} + Lines{FileQuestion},
         [] { EXPECT_EQ(Startup().StartupModelName, "a_model_name_of_more_than_thirty_letters -x"); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.commandLine);
        ResetStartup();
        Startup().StartupDirectory = m_start;
        EXPECT_EQ(run(c.commandLine), 1);
        EXPECT_EQ(m_sink.transcriptLines(), c.transcript);
        if (c.check)
            c.check();
    }
}

TEST_F(StartupTest, CancelOnEitherQuestionStopsAndNothingAfterItRuns)
{
    m_dir.write("work/orvanta.ini", settingsText(m_models + ";absent", 0));
    EXPECT_EQ(run("-model tank1", {BoxAnswer::Cancel}), 0);
    EXPECT_EQ(m_sink.transcriptLines(),
              (Lines{"While reading orvanta.ini: " + (m_models + ";absent").substr(0, 70) + " is not a directory.", "--",
                     FileQuestion}));
    EXPECT_EQ(Startup().StartupModelName, "");
    EXPECT_EQ(Startup().WorkingDirectory, "");
    EXPECT_EQ(std::getenv("HELPPATH"), nullptr);

    m_dir.write("work/orvanta.ini", settingsText(m_models, 0));
    EXPECT_EQ(run("-model tank1 -causal_analysis a_word_that_is_longer_than_thirty_letters", {BoxAnswer::Cancel}), 0);
    EXPECT_EQ(m_sink.transcriptLines(),
              Lines{Header + " unknown option 'a_word_that_is_longer_than_thi'."} + Usage + Lines{LineQuestion});
    EXPECT_EQ(Startup().WorkingDirectory, "");
    EXPECT_EQ(std::getenv("HELPPATH"), nullptr);
}

TEST_F(StartupTest, MissingFileIsCreatedInTheSettingsDirectoryOnlyWhenTheUserAgrees)
{
    const Lines notFound{"Can not find initialization file 'none.ini' in the Windows, current or startup directory.",
                         "--", "Do you want to create a new 'none.ini' file with default settings in the Windows directory?"};
    const std::string created = platform::joinPath(platform::settingsDirectory(), "none.ini");

    EXPECT_EQ(run("-rc_file none.ini", {BoxAnswer::Cancel, BoxAnswer::Ok}), 1);
    EXPECT_EQ(m_sink.transcriptLines(), notFound + Lines{FileQuestion});
    EXPECT_FALSE(platform::fileExists(created));

    EXPECT_EQ(run("-rc_file none.ini", {BoxAnswer::Ok}), 1);
    EXPECT_EQ(m_sink.transcriptLines(), notFound);
    EXPECT_EQ(Startup().SettingsFileName, "none.ini");
    EXPECT_NE(testsupport::readText(created).find("model_dirs=" + m_work + "\n"), std::string::npos);
    EXPECT_NE(testsupport::readText(created).find("messages=1\n"), std::string::npos);

    // Found there the next time.
    EXPECT_EQ(run("-rc_file none.ini"), 1);
    EXPECT_TRUE(m_sink.transcript().empty());
}

TEST_F(StartupTest, RcFileWithoutValueLooksOnlyAtTheNameAsGiven)
{
    platform::deleteFile(m_dir.file("work/orvanta.ini"));
    m_dir.write("start/orvanta.ini", settingsText(m_models, 0));
    EXPECT_EQ(run("-rc_file", {BoxAnswer::Ok}), 1);
    EXPECT_EQ(m_sink.transcriptLines(), (Lines{Header + " option -rc_file has no argument.", "--",
                                               Header + " can not read 'orvanta.ini'", "--", FileQuestion}));
    EXPECT_EQ(Settings().grid, 1); // the initial value: nothing was read
    EXPECT_EQ(Settings().messages, 1);
}

TEST_F(StartupTest, SettingsFileIsSearchedInTheCurrentStartupAndSettingsDirectories)
{
    m_dir.write("start/orvanta.ini", settingsText(m_models, 1));
    EXPECT_EQ(run(""), 1);
    EXPECT_EQ(Settings().grid, 0); // the current directory comes first

    platform::deleteFile(m_dir.file("work/orvanta.ini"));
    EXPECT_EQ(run(""), 1);
    EXPECT_EQ(Settings().grid, 1);

    platform::deleteFile(m_dir.file("start/orvanta.ini"));
    m_dir.write("config/deep/orvanta/orvanta.ini", settingsText(m_models, 0));
    EXPECT_EQ(run(""), 1);
    EXPECT_EQ(Settings().grid, 0);
    EXPECT_TRUE(m_sink.transcript().empty());
    EXPECT_EQ(Startup().SettingsFileName, "orvanta.ini");
}

TEST_F(StartupTest, RerunsResetTheStartupValuesAndKeepCausalAnalysis)
{
    m_dir.write("work/orvanta.ini", "[Graph Editor]\ngrid=0\n");
    EXPECT_EQ(run("-causal_analysis -model tank1", {BoxAnswer::Ok}), 1);
    EXPECT_EQ(Startup().StartupModelName, "tank1");
    Settings().model_dirs = m_models;
    Settings().alias_names = "models";
    Settings().grid = 1;

    EXPECT_EQ(run("", {BoxAnswer::Ok}), 1);
    EXPECT_EQ(Settings().model_dirs, m_work);
    EXPECT_EQ(Settings().alias_names, "project");
    EXPECT_EQ(Settings().messages, 1);
    EXPECT_EQ(Settings().grid, 0);
    EXPECT_EQ(Startup().StartupModelName, "");
    EXPECT_EQ(Startup().WorkingDirectory, m_work);
    EXPECT_EQ(Startup().ProcessingDepth, 5);
    EXPECT_EQ(Startup().ProcessingBase, 2);
}

TEST_F(StartupTest, HelpPathDoesNotGrowOnReruns)
{
    EXPECT_EQ(run(""), 1);
    EXPECT_STREQ(std::getenv("HELPPATH"), m_start.c_str());
    ResetStartup();
    Startup().StartupDirectory = m_start;

    testsupport::ScopedEnvironment helpPath("HELPPATH", "/usr/share/help");
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(run(""), 1);
        EXPECT_EQ(std::string(std::getenv("HELPPATH")), m_start + ":/usr/share/help");
    }
}

// Whatever stands at the settings path that is no settings file is told by name, counts as an
// error of the file, and ends the search; the user decides whether the program goes on, which it
// then does with the values it had before the file.
TEST_F(StartupTest, ASettingsFileThatIsNoRegularFileOfItsSizeIsRefusedByName)
{
    testsupport::expectRefusedSettingsFiles(
        m_dir, m_sink,
        [](const std::vector<std::string>& words) {
            const int goesOn = StartupSettings(words, 1, ShowConfirmLines);
            if (goesOn) {
                EXPECT_EQ(Settings().grid, 1); // not the big file's 0
                EXPECT_EQ(Startup().WorkingDirectory, Startup().CurrentDirectory);
            }
            return goesOn == 1;
        },
        [&] {
            ResetSettings();
            ResetStartup();
            Startup().StartupDirectory = m_start;
        });
    // Nothing was made in their place.
    EXPECT_FALSE(platform::fileExists(platform::joinPath(platform::settingsDirectory(), "pipe.ini")));
}

// The start-up check program, given each of them: it ends (as the answer Cancel has it) with the
// file told by name, in bounded memory and time.
TEST(StartupCheckProgram, EndsOnASettingsFileThatIsNoRegularFileOfItsSize)
{
    testsupport::TempDir dir;
    const testsupport::PipeReleaser pipe(dir.file("pipe.ini"));
    const std::vector<testsupport::RefusedSettingsFile> files = testsupport::refusedSettingsFiles(dir, pipe);
    for (const testsupport::RefusedSettingsFile& file : files) {
        SCOPED_TRACE(file.kind);
        const std::string errors = dir.file("errors.txt");
        const int errorFile = ::open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        const int nowhere = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        ASSERT_GE(errorFile, 0);
        ASSERT_GE(nowhere, 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            // A reader that takes the device for a file runs out of this room at once.
            const rlimit room{rlim_t(512) << 20, rlim_t(512) << 20};
            ::setrlimit(RLIMIT_AS, &room);
            if (::dup2(errorFile, STDERR_FILENO) >= 0 && ::dup2(nowhere, STDOUT_FILENO) >= 0)
                ::execl(STARTUP_CHECK_PATH, STARTUP_CHECK_PATH, "-rc_file", file.path.c_str(), nullptr);
            ::_exit(127);
        }
        ::close(errorFile);
        ::close(nowhere);
        int status = 0;
        pid_t ended = 0;
        for (int waited = 0; (ended = ::waitpid(child, &status, WNOHANG)) == 0 && waited < 30000; waited += 20)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (ended == 0) {
            ::kill(child, SIGKILL);
            ::waitpid(child, &status, 0);
            ADD_FAILURE() << "the program hangs";
            continue;
        }
        ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
        EXPECT_EQ(WEXITSTATUS(status), 1);
        const std::string told = testsupport::readText(errors);
        EXPECT_EQ(told, "Orvanta: Message\n  " + file.told + "\nOrvanta: Confirm\n  " +
                            testsupport::SettingsFileQuestion + "\n  -> Cancel\n"
                            "orvanta-startup-check: start-up stopped\n");
    }
}

TEST_F(StartupTest, NoStartupDirectoryStopsWithOneMessage)
{
    const std::string gone = m_dir.mkdir("gone");
    testsupport::ScopedCurrentDirectory inGone(gone);
    ASSERT_EQ(::rmdir(gone.c_str()), 0);
    Startup().StartupDirectory.clear();
    EXPECT_EQ(run("-model tank1"), 0);
    EXPECT_EQ(m_sink.transcriptLines(),
              (Lines{"Can not find startup directory of executable.", "Check if current directory can be accessed."}));
    EXPECT_EQ(Startup().StartupModelName, "");
}

} // namespace
