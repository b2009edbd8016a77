// The simulator window's remaining commands offscreen: opening a model and saving the
// experiment, continuing an interrupted run, the exports, the printer set-up, the
// windows of the View, Properties and Help menus, the other programs, and Exit.
#include "simulator_harness.h"

#include "common/about_dialog.h"
#include "common/launcher.h"
#include "common/log_window.h"
#include "common/path_finder_dialog.h"
#include "common/property_dialogs.h"
#include "common/property_pages.h"
#include "common/startup.h"
#include "platform/core/file_system.h"
#include "platform/core/metafile_reader.h"
#include "platform/qt/clipboard.h"
#include "platform/qt/help.h"
#include "platform/qt/printing.h"
#include "platform/testing/help_pages.h"
#include "platform/testing/qt_support.h"
#include "platform/testing/temp_dir.h"
#include "simulator/plot_buffers.h"
#include "simulator/program/simulator_menus.h"
#include "simulator/run_control.h"
#include "simulator/run_specs.h"
#include "simulator/run_state.h"
#include "simulator/simulator_state.h"

#include <gtest/gtest.h>

#include <QTest>
#include <QAction>
#include <QApplication>
#include <QTimer>

#include <cstdio>
#include <filesystem>
#include <fstream>

using simtest::SawLine;
using simtest::Simulator;

namespace {

namespace fs = std::filesystem;

std::string statusLine(Simulator& s) { return s.window().shownStatusText(); }

std::string experimentFile(const std::string& name)
{
    return Experiment().experimentDirectory + "/" + name;
}

} // namespace

TEST(SimulatorCommands, OpenModelLoadsTheChosenModelAndTheExperimentIsSavedUnderItsName)
{
    Simulator s("");
    ASSERT_EQ(SimulatorState, StateNoModel);
    s.command(CM_OPEN_MODEL);
    s.chooseName("msd1");
    ASSERT_EQ(SimulatorState, StateModelLoaded);
    EXPECT_EQ(Experiment().modelName, "msd1");
    s.openExperiment("default");
    const std::string defaultSpecs = testsupport::readText(experimentFile("default.r"));

    // Save As under a new name writes the experiment's three files and names it.
    RunSpecs().finishTime = 2.0;
    MarkEdited();
    EXPECT_NE(s.window().windowTitle().toStdString().find("(edited)"), std::string::npos);
    s.command(CM_SAVE_EXPERIMENT_AS);
    s.chooseName("saved");
    for (const char* file : {"saved.p", "saved.r", "saved.u"})
        EXPECT_TRUE(fs::exists(experimentFile(file))) << file;
    EXPECT_EQ(s.window().windowTitle().toStdString(), "Orvanta  Simulator - msd1, exp: saved");
    EXPECT_FALSE(ExperimentEdited);
    EXPECT_NE(testsupport::readText(experimentFile("saved.r")).find("#Tfinish\t2\n"), std::string::npos);

    // Save writes under the name it has, without asking.
    RunSpecs().finishTime = 3.0;
    MarkEdited();
    s.command(CM_SAVE_EXPERIMENT);
    EXPECT_FALSE(ExperimentEdited);
    EXPECT_NE(testsupport::readText(experimentFile("saved.r")).find("#Tfinish\t3\n"), std::string::npos);
    EXPECT_TRUE(s.boxes().transcript().empty()) << testing::PrintToString(s.boxes().transcriptLines());

    // Save As onto an existing experiment asks; a refusal writes nothing and says so.
    MarkEdited();
    s.boxes().queueAnswers({platform::BoxAnswer::Cancel});
    s.command(CM_SAVE_EXPERIMENT_AS);
    s.chooseName("default");
    EXPECT_TRUE(SawLine(s.boxes(), "Experiment exists. OK to overwrite?"));
    EXPECT_EQ(statusLine(s), "Experiment not saved!");
    EXPECT_EQ(testsupport::readText(experimentFile("default.r")), defaultSpecs);
    EXPECT_TRUE(ExperimentEdited) << "the edits are still unsaved";
    for (const char* file : {"saved.p", "saved.r", "saved.u"})
        fs::remove(experimentFile(file));
}

// Read Datafile on a damaged data file told nothing and drew nothing. It is refused with the
// file and what is wrong where; a whole file is read into the plot again.
TEST(SimulatorCommands, ReadDatafileRefusesADamagedFileNamingItAndWhatIsWrong)
{
    Simulator s;
    s.openExperiment("default");
    RunSpecs().finishTime = 0.5;
    s.command(CM_START_SIMULATION);
    ASSERT_TRUE(s.waitForRunEnd());
    const std::string path = experimentFile("default.n");
    const std::string good = testsupport::readText(path);
    ASSERT_FALSE(good.empty());
    const int points = XRuns().slot[0].count();

    const std::string header = good.substr(0, good.find("k`p.e\n") + 6);
    const std::vector<std::pair<std::string, std::string>> damaged = {
        {"\x89PNG\r\n\x1a\n\x01\x02", "error in line 1: ?PNG."},
        {good.substr(0, good.size() - 3), "the rows do not hold 4 numbers each (row 51)."},
        {header + std::string(32, '\xff') + "\n", "a value that is not a finite number (row 1)."},
    };
    for (const auto& [text, what] : damaged) {
        SCOPED_TRACE(what);
        s.boxes().clear();
        std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
        s.command(CM_READ_DATAFILE);
        ASSERT_EQ(s.boxes().transcript().size(), 1u);
        const std::vector<std::string>& lines = s.boxes().transcript()[0].lines;
        ASSERT_GE(lines.size(), 3u);
        EXPECT_EQ(lines[0], "While reading the numerical data file:");
        EXPECT_EQ(lines[1], path);
        EXPECT_EQ(lines[2], what);
        EXPECT_EQ(SimulatorState, StateModelLoaded);
    }
    s.boxes().clear();
    std::ofstream(path, std::ios::binary | std::ios::trunc) << good;
    s.command(CM_READ_DATAFILE);
    EXPECT_TRUE(s.boxes().transcript().empty()) << testing::PrintToString(s.boxes().transcriptLines());
    EXPECT_EQ(statusLine(s), "Reading of datafile finished.");
    EXPECT_EQ(XRuns().slot[0].count(), points);
    std::remove(path.c_str());
}

TEST(SimulatorCommands, ContinueSimulationGoesOnFromWhereTheInterruptedRunStopped)
{
    Simulator s;
    s.openExperiment("default");
    RunSpecs().finishTime = 1e9;
    s.command(CM_START_SIMULATION);
    ASSERT_TRUE(s.waitFor([] { return Simulating && SimulationTime > 1.0; }));
    s.command(CM_INTERRUPT);
    ASSERT_TRUE(s.waitForRunEnd());
    const double stopped = SimulationTime;
    const int points = XRuns().slot[0].count();

    QAction* resume = s.window().commandAction(CM_CONTINUE_SIMULATION);
    ASSERT_TRUE(resume->isEnabled());
    resume->trigger();
    EXPECT_TRUE(StartRequested && ContinueRun && !Simulating) << "a request for the next idle turn";
    ASSERT_TRUE(s.waitFor([] { return Simulating != 0; }));
    EXPECT_GE(SimulationTime, stopped) << "not from the start time";
    ASSERT_TRUE(s.waitFor([stopped] { return SimulationTime > stopped + 1.0; }));
    s.command(CM_INTERRUPT);
    ASSERT_TRUE(s.waitForRunEnd());
    EXPECT_GT(XRuns().slot[0].count(), points) << "the continuation extends the run";
    EXPECT_FALSE(HasEarlierRunData()) << "and keeps no run of its own";
}

TEST(SimulatorCommands, TheExportsWriteTheMetafileAndPutThePlotOnTheClipboard)
{
    Simulator s;
    s.openExperiment("default");
    s.command(CM_START_SIMULATION);
    ASSERT_TRUE(s.waitForRunEnd());

    const std::string wmf = Startup().WorkingDirectory + "/msd1/default.wmf";
    fs::remove(wmf);
    s.command(CM_SIM_TO_METAFILE);
    std::string why;
    const auto metafile = platform::readMetafile(testsupport::readText(wmf), &why);
    ASSERT_TRUE(metafile) << wmf << ": " << why;
    EXPECT_TRUE(metafile->checksumMatches);

    s.command(CM_SIM_TO_CLIPBOARD);
    EXPECT_EQ(statusLine(s), "Simulation result is copied to the clipboard.");
    EXPECT_TRUE(platform::takeFromClipboard("image/x-wmf").has_value());

    // Printer Setup keeps the chosen paper and file for the next print.
    testsupport::TempDir out;
    platform::PrinterSettings settings = platform::PrinterSettings::defaults();
    settings.landscape = true;
    settings.outputFile = out.file("setup.pdf");
    s.choosers().answerPrinter(settings);
    s.command(CM_PRINTER_SETUP);
    EXPECT_EQ(platform::printerSettings(s.window().printer()), settings);
    EXPECT_TRUE(s.boxes().transcript().empty()) << testing::PrintToString(s.boxes().transcriptLines());
}

TEST(SimulatorCommands, TheViewPropertiesAndHelpCommandsOpenTheirWindows)
{
    Simulator s;
    s.openExperiment("default");
    s.command(CM_MESSAGES);
    ASSERT_NE(LogWindow(), nullptr);
    EXPECT_TRUE(LogWindow()->isVisible());
    EXPECT_EQ(LogWindow()->windowTitle().toStdString(), "SIM: Integration Messages");

    s.command(CM_TOOL_PROPS);
    ASSERT_NE(PropertyPageWindow(SimulatorSection), nullptr);
    EXPECT_TRUE(PropertyPageWindow(SimulatorSection)->isVisible());
    s.command(CM_LIBRARY_PROPS);
    ASSERT_NE(PathFinderWindow(), nullptr);
    EXPECT_TRUE(PathFinderWindow()->isVisible());
    s.command(CM_ABOUT);
    ASSERT_NE(AboutBox(), nullptr);
    EXPECT_TRUE(AboutBox()->isVisible());
    testsupport::grabToPng(*AboutBox(), "simulator_about_box");

    // Each help command opens its file under the program's directory.
    const std::vector<std::pair<int, std::string>> help = {{CM_HELP_CONTENTS, "/help/orvanta.hlp"},
                                                           {CM_HELP_DEMO_MODELS, "/help/orvantadmo.hlp"},
                                                           {CM_HELP_TUTORIAL, "/tutorial/orvantatut.hlp"},
                                                           {CM_HELP_USING, "/help/orvanta.hlp"}};
    for (const auto& [id, file] : help) {
        s.command(id);
        EXPECT_EQ(s.window().lastHelpFile(), platform::executableDirectory() + file) << id;
    }
}

TEST(SimulatorCommands, EveryHelpCommandOpensAnInstalledPageAtTheAnchorItAsks)
{
    testsupport::NoBrowser browser;
    {
        Simulator s;
        Startup().InstallDirectory = ORVANTA_BIN_DIR;
        std::vector<std::string> shown;
        s.window().activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&s.window()));
        QTest::keyClick(&s.window(), Qt::Key_F1);
        shown.push_back(testsupport::shownHelpPlace());
        for (int id : {CM_HELP_DEMO_MODELS, CM_HELP_TUTORIAL, CM_HELP_USING}) {
            s.command(id);
            shown.push_back(testsupport::shownHelpPlace());
        }
        EXPECT_EQ(testsupport::helpCommandProblems(shown, ORVANTA_BIN_DIR, 5), std::vector<std::string>{})
            << testing::PrintToString(s.boxes().transcriptLines());
    }
    EXPECT_TRUE(browser.opened.empty());
    EXPECT_EQ(testsupport::shownHelpPlace(), "(no help window)") << "the simulator's end closes its help";
}

namespace {

/// Starts nothing: records what the launcher asked for.
class RecordingLauncher : public LaunchServices {
public:
    std::optional<pid_t> start(const std::string& program, const std::vector<std::string>& arguments) override
    {
        started.push_back({program, arguments});
        return pid_t(999999);
    }
    struct Start {
        std::string program;
        std::vector<std::string> arguments;
    };
    std::vector<Start> started;
};

} // namespace

TEST(SimulatorCommands, TheWindowMenuStartsTheGraphEditorAndTheEquationEditor)
{
    Simulator s;
    RecordingLauncher launcher;
    SetLaunchServices(&launcher);
    s.command(CM_GRAPH_EDITOR);
    s.command(CM_EQUATION_EDITOR);
    ASSERT_TRUE(s.waitFor([&] { return launcher.started.size() == 2; }));
    SetLaunchServices(nullptr);
    EXPECT_EQ(launcher.started[0].program, SiblingTable[0].executable);
    EXPECT_EQ(launcher.started[1].program, SiblingTable[1].executable);
    for (const RecordingLauncher::Start& start : launcher.started)
        EXPECT_EQ(start.arguments, (std::vector<std::string>{"-rc_file", simtest::ProcessedExamples().settings}));
    EXPECT_TRUE(s.boxes().transcript().empty()) << testing::PrintToString(s.boxes().transcriptLines());
}

TEST(SimulatorCommands, ExitAsksAboutAnEditedExperimentAndEndsTheProgramWhenAllowed)
{
    Simulator s;
    s.openExperiment("default");
    MarkEdited();
    s.boxes().queueAnswers({platform::BoxAnswer::Cancel});
    s.command(CM_SIM_EXIT);
    EXPECT_TRUE(SawLine(s.boxes(), "The current experiment has been edited."));
    EXPECT_FALSE(SawLine(s.boxes(), "Orvanta is still simulating.")) << "no run: only the edit question";
    EXPECT_TRUE(s.window().isVisible());
    EXPECT_TRUE(RunsAllowed);

    s.boxes().queueAnswers({platform::BoxAnswer::Ok});
    QTimer::singleShot(0, &s.window(), [&s] { s.command(CM_SIM_EXIT); });
    ASSERT_TRUE(s.loopEnds());
    EXPECT_FALSE(RunsAllowed) << "no run starts after the quit was agreed";
}
