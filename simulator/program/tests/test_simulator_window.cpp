// The simulator's main window offscreen, over examples processed by the real model
// processor program: runs from the menus, the command masks of every state, a trap in
// the model, quitting during runs and series, printing, the clipboard, reading data,
// the C-code generator, the pop-up menu, help and the suite's messages.
#include "simulator_harness.h"

#include "codegen/tests/program_runner.h"
#include "common/code_generator_module.h"
#include "common/log_window.h"
#include "common/settings_table.h"
#include "common/startup.h"
#include "platform/core/file_system.h"
#include "platform/core/window_messages.h"
#include "platform/core/window_registry.h"
#include "platform/qt/application.h"
#include "platform/qt/clipboard.h"
#include "platform/qt/help.h"
#include "platform/testing/qt_support.h"
#include "platform/testing/temp_dir.h"
#include "simulator/experiment_description.h"
#include "simulator/model_variables.h"
#include "simulator/multiple_runs.h"
#include "simulator/numerics/optimization.h"
#include "simulator/plot_buffers.h"
#include "simulator/plot_canvas.h"
#include "simulator/plot_drawing.h"
#include "simulator/program/simulator_menus.h"
#include "simulator/program/simulator_messages.h"
#include "simulator/run_control.h"
#include "simulator/run_specs.h"
#include "simulator/run_state.h"
#include "simulator/user_libraries.h"
#include "simulator/simulator_commands.h"
#include "simulator/simulator_state.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include <filesystem>
#include <fstream>
#include <set>

using simtest::SawLine;
using simtest::Simulator;

namespace {

namespace fs = std::filesystem;

std::string statusLine(Simulator& s) { return s.window().shownStatusText(); }

/// Pixels of the canvas in a colour that is neither white nor black nor grey.
int colouredPixels(const QImage& image)
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            n += !(c.red() == c.green() && c.green() == c.blue());
        }
    return n;
}

void runDefaultExperiment(Simulator& s)
{
    QAction* start = s.window().commandAction(CM_START_SIMULATION);
    ASSERT_TRUE(start->isEnabled());
    start->trigger();
    EXPECT_TRUE(StartRequested && !Simulating) << "the command only asks; the next idle turn starts the run";
    ASSERT_TRUE(s.waitForRunEnd());
}

} // namespace

TEST(SimulatorWindow, OpensTheModelAndARunOfTheDefaultExperimentDrawsItsCurves)
{
    Simulator s;
    s.window().resize(900, 600);
    QApplication::processEvents();
    EXPECT_EQ(s.window().windowTitle().toStdString(), "Orvanta  Simulator - msd1, exp: untitled");
    EXPECT_EQ(SimulatorState, StateModelLoaded);
    EXPECT_TRUE(testsupport::showsWindowIcon(s.window(), "IC_QNSIM22"));
    EXPECT_EQ(platform::findWindowByClass("TQNSIMWindow"), s.window().handle());

    s.openExperiment("default");
    EXPECT_EQ(s.window().windowTitle().toStdString(), "Orvanta  Simulator - msd1, exp: default");
    runDefaultExperiment(s);
    EXPECT_EQ(SimulationTime, 5.0);
    const std::string summary = statusLine(s);
    EXPECT_EQ(summary.rfind("Simulation finished.  Model evaluations: ", 0), 0u) << summary;
    EXPECT_EQ(summary, LastRunSummary());
    EXPECT_TRUE(HasCurrentRunData());
    EXPECT_FALSE(HasEarlierRunData());

    FlushPlotSteps();
    QApplication::processEvents();
    const QImage first = testsupport::grabToPng(s.window(), "simulator_window_run");
    EXPECT_GT(colouredPixels(first), 500) << "three curves in colour";

    runDefaultExperiment(s);
    EXPECT_TRUE(HasEarlierRunData()) << "the first run is kept";
    EXPECT_TRUE(s.window().commandAction(CM_CLEAR_PREVIOUS_RUNS)->isEnabled());
    testsupport::grabToPng(s.window(), "simulator_window_second_run");
    EXPECT_TRUE(s.boxes().transcript().empty()) << testing::PrintToString(s.boxes().transcriptLines());
}

namespace {

/// The commands each state enables, as the state machine's masks give them.
const std::set<int> WindowAndHelp = {CM_GRAPH_EDITOR, CM_EQUATION_EDITOR, CM_ABOUT, CM_HELP_CONTENTS,
                                     CM_HELP_DEMO_MODELS, CM_HELP_TUTORIAL, CM_HELP_USING, CM_SIM_EXIT};

std::set<int> with(std::set<int> ids)
{
    ids.insert(WindowAndHelp.begin(), WindowAndHelp.end());
    return ids;
}

const std::set<int> NoModel = with({CM_OPEN_MODEL, CM_EXPERIMENT_TO_CLIPBOARD, CM_PLOT_REFRESH, CM_SQUARE_PLOT,
                                    CM_MESSAGES, CM_TOOL_PROPS, CM_LIBRARY_PROPS});
const std::set<int> Untitled = with({CM_OPEN_MODEL, CM_OPEN_EXPERIMENT, CM_PRINT_SIMULATION, CM_PRINT_EXPERIMENT,
                                     CM_PRINTER_SETUP, CM_SIM_TO_METAFILE, CM_SIM_TO_CLIPBOARD,
                                     CM_EXPERIMENT_TO_CLIPBOARD, CM_REDRAW, CM_PLOT_REFRESH, CM_SQUARE_PLOT,
                                     CM_MESSAGES, CM_TOOL_PROPS, CM_LIBRARY_PROPS, CM_PARAMETERS,
                                     CM_INITIAL_CONDITIONS, CM_RUN_SPECS, CM_MULTIPLE_RUN_SPECS, CM_PLOT_SPECS});
std::set<int> named()
{
    std::set<int> ids = Untitled;
    ids.insert({CM_SAVE_EXPERIMENT, CM_SAVE_EXPERIMENT_AS, CM_NUMERICAL_VALUES, CM_CCODE, CM_START_SIMULATION,
                CM_READ_DATAFILE});
    return ids;
}
const std::set<int> Busy = with({CM_INTERRUPT});
const std::set<int> Broken = with({CM_OPEN_MODEL, CM_SAVE_EXPERIMENT_AS, CM_PRINT_SIMULATION, CM_PRINT_EXPERIMENT,
                                   CM_PRINTER_SETUP, CM_SIM_TO_METAFILE, CM_SIM_TO_CLIPBOARD,
                                   CM_EXPERIMENT_TO_CLIPBOARD, CM_PLOT_REFRESH, CM_SQUARE_PLOT, CM_MESSAGES,
                                   CM_TOOL_PROPS, CM_LIBRARY_PROPS, CM_PARAMETERS, CM_INITIAL_CONDITIONS,
                                   CM_RUN_SPECS, CM_MULTIPLE_RUN_SPECS, CM_PLOT_SPECS});

/// The commands the window's menu enables now, and those the state's mask enables.
void expectEnabled(Simulator& s, const std::set<int>& expected, const std::string& state)
{
    for (const CommandRow& row : SimulatorCommands()) {
        const bool want = expected.count(row.id) > 0;
        EXPECT_EQ(CommandEnabled(row.id, CommandMask), want) << state << ": command " << row.id;
        if (QAction* action = s.window().commandAction(row.id)) {
            EXPECT_EQ(action->isEnabled(), want) << state << ": menu item " << row.id;
        }
        if (QAction* tool = s.window().toolAction(row.id)) {
            EXPECT_EQ(tool->isEnabled(), want) << state << ": tool button " << row.id;
        }
    }
}

/// The menu bar's entries by position: File, View, Properties, Experiment, Action, Interrupt, Window, Help.
std::vector<bool> menuBarEntries(Simulator& s)
{
    std::vector<bool> enabled;
    for (QAction* entry : s.window().menuBar()->actions())
        enabled.push_back(entry->isEnabled());
    return enabled;
}

} // namespace

TEST(SimulatorWindow, EveryCommandIsEnabledExactlyWhereTheStateSays)
{
    // No model, then the command-line model with an untitled experiment.
    {
        Simulator s("");
        EXPECT_EQ(SimulatorState, StateNoModel);
        expectEnabled(s, NoModel, "no model");
        EXPECT_EQ(menuBarEntries(s), (std::vector<bool>{true, true, true, false, false, false, true, true}));
        // An event the state does not allow breaks the machine and says so.
        PostSimulatorEvent(EventExperimentLoaded);
        EXPECT_EQ(SimulatorState, StateBroken);
        EXPECT_TRUE(SawLine(s.boxes(), "Something strange has happened with your simulation:"));
        expectEnabled(s, Broken, "broken");
    }
    Simulator s;
    expectEnabled(s, Untitled, "model, untitled experiment");
    EXPECT_EQ(menuBarEntries(s), (std::vector<bool>{true, true, true, true, false, false, true, true}));
    // Edited but not named: all a named experiment has but Save, which needs the name.
    MarkEdited();
    std::set<int> editedUntitled = named();
    editedUntitled.erase(CM_SAVE_EXPERIMENT);
    expectEnabled(s, editedUntitled, "model, edited untitled experiment");
    ClearEdited();
    expectEnabled(s, Untitled, "model, edits cleared");
    EXPECT_EQ(CommandMaskOf(StateNotStarted), CommandMaskOf(StateBroken)) << "not started: as broken";

    s.openExperiment("default");
    expectEnabled(s, named(), "named experiment");
    EXPECT_EQ(menuBarEntries(s), (std::vector<bool>{true, true, true, true, true, false, true, true}));

    // Busy: only Interrupt, the programs and help while the run goes on.
    RunSpecs().finishTime = 1e9;
    s.command(CM_START_SIMULATION);
    ASSERT_TRUE(s.waitFor([] { return Simulating != 0; }));
    EXPECT_EQ(SimulatorState, StateBusy);
    expectEnabled(s, Busy, "simulating");
    EXPECT_EQ(menuBarEntries(s), (std::vector<bool>{false, false, false, false, false, true, true, true}));
    EXPECT_NE(LogWindow()->text().find("Simulating..."), std::string::npos) << "kept in the log";
    s.command(CM_INTERRUPT);
    ASSERT_TRUE(s.waitForRunEnd());
    EXPECT_EQ(statusLine(s).rfind("Simulation stopped by user.", 0), 0u) << statusLine(s);

    // Interrupted, with a current run: Continue, Clear Last and Clear All, Distribute.
    std::set<int> interrupted = named();
    interrupted.insert({CM_CONTINUE_SIMULATION, CM_CLEAR_LAST_RUN, CM_CLEAR_ALL_RUNS, CM_DISTRIBUTE_CURVES});
    expectEnabled(s, interrupted, "interrupted run");

    // A second run keeps the first: Clear Previous too; Clear Last takes Continue away.
    RunSpecs().finishTime = 5.0;
    runDefaultExperiment(s);
    std::set<int> twoRuns = named();
    twoRuns.insert({CM_CLEAR_LAST_RUN, CM_CLEAR_PREVIOUS_RUNS, CM_CLEAR_ALL_RUNS, CM_DISTRIBUTE_CURVES});
    expectEnabled(s, twoRuns, "two runs kept");
    s.command(CM_CLEAR_PREVIOUS_RUNS);
    std::set<int> oneRun = named();
    oneRun.insert({CM_CLEAR_LAST_RUN, CM_CLEAR_ALL_RUNS, CM_DISTRIBUTE_CURVES});
    expectEnabled(s, oneRun, "earlier runs cleared");
    s.command(CM_CLEAR_ALL_RUNS);
    expectEnabled(s, named(), "all runs cleared");

    // A specified multiple run enables its start.
    MultipleRuns().specified = [] { return true; };
    RefreshCommandStates(SimulatorState);
    std::set<int> multiple = named();
    multiple.insert(CM_START_MULTIPLE_RUN);
    expectEnabled(s, multiple, "multiple run specified");
    // Camera and stick commands are never enabled; the print commands share one bit.
    for (int never : {CM_CAMERA_CONTROLLER, CM_STICK_SPECS, CM_CAMERA_SPECS})
        EXPECT_FALSE(CommandEnabled(never, 0xFFFFFFFFu)) << never;
    for (int id : {CM_PRINT_SIMULATION, CM_PRINTER_SETUP, CM_SIM_TO_METAFILE, CM_SIM_TO_CLIPBOARD, CM_PRINT_EXPERIMENT})
        EXPECT_EQ(FindSimulatorCommand(id)->bit, FindSimulatorCommand(CM_PRINT_SIMULATION)->bit);
}

// While a series runs, a mask reaches the menus only at the start of its first run, at
// the end of its last run and on an interrupt; the menus do not flicker between runs.
TEST(SimulatorWindow, BetweenTheRunsOfASeriesTheMenusKeepTheirCommands)
{
    Simulator s;
    s.openExperiment("default");
    const std::uint32_t idle = CommandMask;
    const std::uint32_t busy = CommandMaskOf(StateBusy);
    bool first = false, last = false;
    struct Case {
        const char* what;
        bool hooks, first, last;
        int start, stop, interrupt;
        bool applied;
    };
    const std::vector<Case> cases = {
        {"a middle run starts", true, false, false, 1, 0, 0, false},
        {"a middle run ends", true, false, false, 0, 1, 0, false},
        {"between runs", true, false, false, 0, 0, 0, false},
        {"the first run starts", true, true, false, 1, 0, 0, true},
        {"the first run ends", true, true, false, 0, 1, 0, false},
        {"the last run starts", true, false, true, 1, 0, 0, false},
        {"the last run ends", true, false, true, 0, 1, 0, true},
        {"an interrupt", true, false, false, 0, 0, 1, true},
        {"an optimisation's run starts", false, false, false, 1, 0, 0, true},
        {"an optimisation's run ends", false, false, false, 0, 1, 0, true},
        {"an optimisation between runs", false, false, false, 0, 0, 0, false},
    };
    for (const Case& c : cases) {
        SetMultipleRunActive(false);
        ApplyCommandMask(idle);
        MultipleRuns().firstRun = c.hooks ? std::function<bool()>([&first] { return first; }) : nullptr;
        MultipleRuns().lastRun = c.hooks ? std::function<bool()>([&last] { return last; }) : nullptr;
        first = c.first;
        last = c.last;
        StartRequested = c.start;
        RunStopFlag = c.stop;
        InterruptRequested = c.interrupt;
        SetMultipleRunActive(true);
        ApplyCommandMask(busy);
        EXPECT_EQ(CommandMask, c.applied ? busy : idle) << c.what;
        EXPECT_EQ(s.window().commandAction(CM_START_SIMULATION)->isEnabled(), !c.applied) << c.what;
        EXPECT_EQ(s.window().commandAction(CM_INTERRUPT)->isEnabled(), c.applied) << c.what;
    }
    StartRequested = RunStopFlag = InterruptRequested = 0;
    SetMultipleRunActive(false);
}

// A name from the command line or a message that no model's files can have is refused by its
// name, and never cut into the name of another model, whose code would be loaded in its place.
TEST(SimulatorWindow, AModelNameBeyondTheFileNameRuleIsRefusedFromTheCommandLineAndMessages)
{
    const std::string models = simtest::ProcessedExamples().models;
    std::filesystem::copy_file(models + "/msd1.l", models + "/longmodelname.l",
                               std::filesystem::copy_options::overwrite_existing);
    {
        Simulator s("-model longmodelnameb");
        EXPECT_EQ(Experiment().modelName, "");
        EXPECT_EQ(SimulatorState, StateNoModel);
        EXPECT_EQ(s.boxes().transcriptLines(),
                  (std::vector<std::string>{"The model name longmodelnameb is longer than 7 characters and a version "
                                            "digit."}));
        s.boxes().clear();
        platform::postMessage(s.window().handle(), UM_OPEN_MODEL, 0, 0, std::string("../models/msd1"));
        ASSERT_TRUE(s.waitFor([&] { return !s.boxes().transcript().empty(); }));
        EXPECT_EQ(Experiment().modelName, "");
        EXPECT_EQ(s.boxes().transcriptLines(),
                  (std::vector<std::string>{"The model name ../models/msd1 holds a character other than a letter, a "
                                            "digit or '_' at position 1."}));
    }
    std::filesystem::remove(models + "/longmodelname.l");
}

// An experiment name sent by another program follows the chooser's rules: a name with a path
// is refused by its name, so no experiment is read from outside the model's experiment folder,
// and a name longer than its files keep is refused, so that the experiment shown is the one asked for.
TEST(SimulatorWindow, AnExperimentNameFromAMessageStaysInTheModelsFolderAndIsNotCut)
{
    const std::string models = simtest::ProcessedExamples().models;
    std::filesystem::create_directories(models + "/x");
    for (const char* extension : {".p", ".r", ".u"}) {
        std::filesystem::copy_file(models + "/msd1/default" + std::string(extension), models + "/x/def" + extension,
                                   std::filesystem::copy_options::overwrite_existing);
        std::filesystem::copy_file(models + "/msd1/default" + std::string(extension),
                                   models + "/msd1/longexpe" + extension,
                                   std::filesystem::copy_options::overwrite_existing);
    }
    {
        Simulator s;
        for (const std::string name : {"../x/def", "../../outside/evil1/default"}) {
            SCOPED_TRACE(name);
            s.boxes().clear();
            platform::postMessage(s.window().handle(), SM_OPEN_EXPERIMENT, 0, 0, name);
            ASSERT_TRUE(s.waitFor([&] { return !s.boxes().transcript().empty(); }));
            EXPECT_EQ(s.boxes().transcriptLines(),
                      (std::vector<std::string>{"The experiment name " + name + " holds a character other than a "
                                                "letter, a digit or '_' at position 1."}));
            EXPECT_EQ(Experiment().experimentName, "");
            EXPECT_EQ(s.window().windowTitle().toStdString(), "Orvanta  Simulator - msd1, exp: untitled");
        }
        // A name longer than its files keep would open the experiment of its first 8 characters.
        const struct {
            std::string name;
            std::string refusal;
        } longNames[] = {
            {"longexperiment", "The experiment name longexperiment is longer than 8 characters."},
            {std::string(5000, 'a'),
             "The experiment name " + std::string(40, 'a') + "... (5000 characters) is longer than 8 characters."},
        };
        for (const auto& c : longNames) {
            SCOPED_TRACE(c.name.substr(0, 20));
            s.boxes().clear();
            platform::postMessage(s.window().handle(), SM_OPEN_EXPERIMENT, 0, 0, c.name);
            ASSERT_TRUE(s.waitFor([&] { return !s.boxes().transcript().empty(); }));
            EXPECT_EQ(s.boxes().transcriptLines(), std::vector<std::string>{c.refusal});
            EXPECT_EQ(Experiment().experimentName, "");
            EXPECT_EQ(s.window().windowTitle().toStdString(), "Orvanta  Simulator - msd1, exp: untitled");
        }
        s.boxes().clear();
        platform::postMessage(s.window().handle(), SM_OPEN_EXPERIMENT, 0, 0, std::string("longexpe"));
        ASSERT_TRUE(s.waitFor([] { return !Experiment().experimentName.empty(); }));
        EXPECT_EQ(s.window().windowTitle().toStdString(), "Orvanta  Simulator - msd1, exp: longexpe");
        EXPECT_TRUE(s.boxes().transcript().empty()) << testing::PrintToString(s.boxes().transcriptLines());
    }
    std::filesystem::remove_all(models + "/x");
    for (const char* extension : {".p", ".r", ".u"})
        std::filesystem::remove(models + "/msd1/longexpe" + std::string(extension));
}

// A picture name sent by another program is a bare name in the model's folder, as an experiment
// name is: a path, a line feed, a NUL or another extension is refused by a message that names it,
// and nothing is written. The model's picture of a good name is its own file, replaced whole.
TEST(SimulatorWindow, APlotPictureFromAMessageStaysInTheModelsFolder)
{
    const std::string models = simtest::ProcessedExamples().models;
    const std::string folder = fs::absolute(models + "/msd1").lexically_normal().string();
    testsupport::TempDir outside;
    const std::string absolute = outside.file("abs.png");
    const std::string otherCharacter = " holds a character other than a letter, a digit or '_' at position ";
    const struct {
        std::string name;
        std::string refusal;
        std::string notWritten;
    } refused[] = {
        {"../up.png", "The picture name ../up.png" + otherCharacter + "1.", models + "/up.png"},
        {absolute, "The picture name " + absolute + otherCharacter + "1.", absolute},
        {"/proc/self/mem", "The picture name /proc/self/mem" + otherCharacter + "1.", ""},
        {"two\nlines.png", "The picture name two?lines.png" + otherCharacter + "4.", folder + "/two\nlines.png"},
        {std::string("cut\0away.png", 12), "The picture name cut?away.png" + otherCharacter + "4.", folder + "/cut"},
        {"plot.wmf", "The picture name plot.wmf" + otherCharacter + "5.", folder + "/plot.wmf"},
        {".png", "The picture name .png has no name before its extension.", folder + "/.png"},
        {"", "No picture name given.", ""},
    };
    Simulator s;
    ASSERT_EQ(Experiment().modelName, "msd1");
    for (const auto& c : refused) {
        SCOPED_TRACE(c.refusal);
        s.boxes().clear();
        platform::postMessage(s.window().handle(), SM_SAVE_PLOT_PICTURE, 0, 0, c.name);
        ASSERT_TRUE(s.waitFor([&] { return !s.boxes().transcript().empty(); }));
        EXPECT_EQ(s.boxes().transcriptLines(), std::vector<std::string>{c.refusal});
        if (!c.notWritten.empty()) {
            EXPECT_FALSE(fs::exists(c.notWritten));
        }
    }

    s.boxes().clear();
    const std::string picture = folder + "/pic.png";
    for (const std::string name : {"pic", "pic.png"}) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(platform::writeFileAtomically(picture, "the model's picture before"));
        platform::postMessage(s.window().handle(), SM_SAVE_PLOT_PICTURE, 0, 0, name);
        ASSERT_TRUE(s.waitFor([&] { return !QImage(QString::fromStdString(picture)).isNull(); }));
        EXPECT_EQ(statusLine(s), "Simulation result is saved as picture: " + picture);
    }
    EXPECT_TRUE(s.boxes().transcript().empty()) << testing::PrintToString(s.boxes().transcriptLines());
    for (const fs::directory_entry& entry : fs::directory_iterator(folder))
        EXPECT_NE(entry.path().filename().string().front(), '.') << "no temporary is left: " << entry.path();
    fs::remove(picture);
}

TEST(SimulatorWindow, ADivisionByZeroInTheModelEndsTheRunWithItsMessageAndTheNextRunWorks)
{
    Simulator s("-model divz1");
    ASSERT_EQ(Experiment().modelName, "divz1");
    ASSERT_EQ(Variables().kinds[KindParameter].count, 1);
    SetVariableValue(KindParameter, 0, 0.0);
    for (int i = 0; i < Variables().kinds[KindInitial].count; ++i)
        SetVariableValue(KindInitial, i, 0.0);
    MarkEdited();
    // The model shows no curve: each run is asked for, and simulated anyway.
    const std::vector<std::string> nothingShown = {"No plot specification with display or store switched on.",
                                                   "Simulation is useless.", "Press Cancel to simulate anyway."};
    s.boxes().queueAnswers({platform::BoxAnswer::Cancel});
    runDefaultExperiment(s);
    EXPECT_TRUE(SawLine(s.boxes(), "Division by zero")) << testing::PrintToString(s.boxes().transcriptLines());
    EXPECT_EQ(statusLine(s).rfind("Floating point exception.", 0), 0u) << statusLine(s);
    EXPECT_EQ(SimulatorState, StateModelLoaded);

    s.boxes().clear();
    SetVariableValue(KindParameter, 0, 0.5);
    s.boxes().queueAnswers({platform::BoxAnswer::Cancel});
    runDefaultExperiment(s);
    EXPECT_EQ(s.boxes().transcriptLines(), nothingShown);
    EXPECT_EQ(statusLine(s).rfind("Simulation finished.", 0), 0u) << statusLine(s);
    EXPECT_NEAR(Variables().kinds[KindState].values[0], 2.0 * 5.0, 1e-9) << "x = int(1 / 0.5)";
}

// A code file cut off between two sections, as an interrupted copy leaves it, is refused when the
// window opens it: the box names the file and the rate or the output variable the sections cut off
// compute, and nothing runs.
TEST(SimulatorWindow, ACodeFileCutBetweenTwoSectionsIsRefusedAndNothingRuns)
{
    const std::string models = simtest::ProcessedExamples().models;
    const std::string whole = platform::readFile(models + "/msd1.l").value_or("");
    const struct {
        const char* model;
        std::string section;
        std::string report;
    } cuts[] = {{"cuta1", "#EInitial", "no equation computes rate R0 ("},
                {"cutc1", "#Edynamic", "no equation computes rate R0 ("},
                {"cutd1", "#Eoutputs", "no equation computes variable V1 (f`p.f)."}};
    for (const auto& [model, section, report] : cuts) {
        SCOPED_TRACE(section);
        const std::size_t at = whole.find("\n" + section);
        ASSERT_NE(at, std::string::npos);
        const std::string path = models + "/" + model + ".l";
        ASSERT_TRUE(platform::writeFileAtomically(path, whole.substr(0, at + 1)));
        Simulator s(std::string("-model ") + model);
        ASSERT_EQ(s.boxes().transcript().size(), 1u) << testing::PrintToString(s.boxes().transcriptLines());
        const std::vector<std::string>& lines = s.boxes().transcript()[0].lines;
        ASSERT_EQ(lines.size(), 3u);
        EXPECT_EQ(lines[0], "Errors in code file, model could not be loaded.");
        EXPECT_EQ(lines[1], path);
        EXPECT_EQ(lines[2].rfind(report, 0), 0u) << lines[2];
        EXPECT_FALSE(s.window().commandAction(CM_START_SIMULATION)->isEnabled());
    }
}

TEST(SimulatorWindow, ClosingDuringARunEndsTheLoopAndTheRunClosesItsFiles)
{
    Simulator s;
    s.openExperiment("default");
    RunSpecs().finishTime = 1e9;
    s.command(CM_START_SIMULATION);
    s.boxes().queueAnswers({platform::BoxAnswer::Ok}); // "Orvanta is still simulating."
    QTimer::singleShot(300, &s.window(), [&s] { s.window().close(); });
    ASSERT_TRUE(s.loopEnds());
    EXPECT_TRUE(SawLine(s.boxes(), "Orvanta is still simulating."));
    EXPECT_FALSE(Simulating) << "the run was finished after the loop";
    EXPECT_EQ(LastRunSummary().rfind("Simulation stopped by user.", 0), 0u) << LastRunSummary();
    EXPECT_TRUE(fs::exists(Experiment().experimentDirectory + "/default.n")) << "the data file was closed";
}

TEST(SimulatorWindow, RefusingToQuitDuringARunLetsTheRunGoOn)
{
    Simulator s;
    s.openExperiment("default");
    RunSpecs().finishTime = 1e9;
    s.command(CM_START_SIMULATION);
    ASSERT_TRUE(s.waitFor([] { return Simulating != 0; }));
    s.boxes().queueAnswers({platform::BoxAnswer::Cancel});
    s.window().close();
    EXPECT_TRUE(s.window().isVisible());
    EXPECT_FALSE(QuitRequested);
    const double before = SimulationTime;
    ASSERT_TRUE(s.waitFor([before] { return SimulationTime > before; }));
    s.command(CM_INTERRUPT);
    EXPECT_TRUE(s.waitForRunEnd());
}

TEST(SimulatorWindow, ClosingDuringASeriesStopsTheSeriesAndEndsTheLoop)
{
    Simulator s;
    s.openExperiment("default");
    RunSpecs().finishTime = 0.5;
    // A series of runs as the multiple-run driver makes them: each run a nested pump.
    int runs = 0;
    bool stoppedByPump = false;
    MultipleRuns().specified = [] { return true; };
    MultipleRuns().start = [&] {
        SetMultipleRunActive(true);
        for (int i = 0; i < 100000 && !numerics::StopOptimization; ++i) {
            RequestRun();
            if (!PumpWhileSimulating()) {
                stoppedByPump = true;
                break;
            }
            ++runs;
        }
        SetMultipleRunActive(false);
    };
    RefreshCommandStates(SimulatorState);
    QTimer::singleShot(0, &s.window(), [&s] { s.command(CM_START_MULTIPLE_RUN); });
    QTimer::singleShot(500, &s.window(), [&s] { s.window().close(); });
    ASSERT_TRUE(s.loopEnds()) << "the quit reached the loop through the series' pump";
    EXPECT_TRUE(stoppedByPump);
    EXPECT_GT(runs, 2);
    EXPECT_LT(runs, 100000);
    EXPECT_TRUE(numerics::StopOptimization) << "an optimisation in the series is told to stop";
    EXPECT_FALSE(Simulating);
}

TEST(SimulatorWindow, PrintingSaysItWasSentOnlyAfterThePrintSucceeded)
{
    Simulator s;
    s.openExperiment("default");
    runDefaultExperiment(s);
    const std::string keptBefore = statusLine(s);

    testsupport::TempDir out;
    platform::PrinterSettings settings = platform::PrinterSettings::defaults();
    settings.outputFile = out.file("missing/plot.pdf"); // a folder that does not exist
    s.choosers().answerPrinter(settings);
    s.boxes().clear();
    s.command(CM_PRINT_SIMULATION);
    EXPECT_EQ(statusLine(s), keptBefore) << "a failed print is not reported as sent";
    EXPECT_EQ(s.boxes().transcriptLines(), (std::vector<std::string>{"Printing is not possible.", settings.outputFile}));
    s.choosers().answerPrinter(std::nullopt);
    s.boxes().clear();
    s.command(CM_PRINT_SIMULATION);
    EXPECT_EQ(statusLine(s), keptBefore) << "a cancelled print is not reported as sent";
    EXPECT_TRUE(s.boxes().transcript().empty()) << "a cancelled print says nothing";

    // The experiment's printout into a file that cannot be written, then cancelled.
    for (const std::optional<platform::PrinterSettings>& chosen :
         {std::optional(settings), std::optional<platform::PrinterSettings>()}) {
        s.choosers().answerPrinter(chosen);
        s.boxes().clear();
        testsupport::answerNextModal([](QWidget& modal) {
            testsupport::findControl<QPushButton>(modal, platform::IDOK)->click();
        });
        s.command(CM_PRINT_EXPERIMENT);
        EXPECT_EQ(statusLine(s), keptBefore);
        EXPECT_EQ(s.boxes().transcriptLines(),
                  (chosen ? std::vector<std::string>{"Printing is not possible.", settings.outputFile}
                          : std::vector<std::string>{}));
    }

    settings.outputFile = out.file("plot.pdf");
    s.choosers().answerPrinter(settings);
    s.command(CM_PRINT_SIMULATION);
    EXPECT_EQ(statusLine(s), "Simulation result is sent to the printer.");
    EXPECT_EQ(testsupport::readText(settings.outputFile).rfind("%PDF", 0), 0u);

    // The experiment: the sections dialog first, then the printer.
    settings.outputFile = out.file("experiment.pdf");
    s.choosers().answerPrinter(settings);
    std::string caption;
    testsupport::answerNextModal([&](QWidget& modal) {
        caption = modal.windowTitle().toStdString();
        testsupport::findControl<QPushButton>(modal, platform::IDOK)->click();
    });
    s.command(CM_PRINT_EXPERIMENT);
    EXPECT_EQ(caption, "Orvanta: Print Experiment");
    EXPECT_EQ(statusLine(s), "Experiment is sent to the printer.");
    EXPECT_EQ(testsupport::readText(settings.outputFile).rfind("%PDF", 0), 0u);
    // A printout is proposed in the folder printed to last, under the model's name.
    ASSERT_FALSE(Experiment().modelName.empty());
    EXPECT_EQ(s.choosers().transcript().back().printer.settings.outputFile,
              out.file(Experiment().modelName + ".pdf"));

    // Cancel in the sections dialog prints nothing and asks for no printer.
    const std::size_t asked = s.choosers().transcript().size();
    testsupport::answerNextModal([](QWidget& modal) {
        testsupport::findControl<QPushButton>(modal, platform::IDCANCEL)->click();
    });
    s.command(CM_PRINT_EXPERIMENT);
    EXPECT_EQ(s.choosers().transcript().size(), asked);
}

TEST(SimulatorWindow, TheExperimentGoesOnTheClipboardWithTheChosenSections)
{
    Simulator s;
    s.openExperiment("default");
    s.window().setClock([] { return std::time_t(1700000000); });
    std::string caption;
    testsupport::answerNextModal([&](QWidget& modal) {
        caption = modal.windowTitle().toStdString();
        for (int box : {110, 111, 113})
            testsupport::findControl<QCheckBox>(modal, box)->setChecked(false);
        testsupport::grabToPng(modal, "print_experiment_dialog");
        testsupport::findControl<QPushButton>(modal, platform::IDOK)->click();
    });
    s.command(CM_EXPERIMENT_TO_CLIPBOARD);
    EXPECT_EQ(caption, "Orvanta: Export Experiment");
    EXPECT_EQ(statusLine(s), "Experiment is copied to the clipboard.");
    DescriptionSections sections;
    sections.parameters = sections.initialConditions = sections.multipleRuns = false;
    EXPECT_EQ(platform::takeFromClipboard("text/plain").value_or(""),
              DescriptionClipboardText(WriteExperimentDescription(sections, 1700000000)));
}

TEST(SimulatorWindow, ReadDatafileReplaysTheStoredRunIntoThePlot)
{
    Simulator s;
    s.openExperiment("default");
    runDefaultExperiment(s);
    const int points = XRuns().slot[0].count();
    ASSERT_GT(points, 100);
    s.command(CM_CLEAR_ALL_RUNS);
    EXPECT_FALSE(HasCurrentRunData());

    s.command(CM_READ_DATAFILE);
    EXPECT_FALSE(Simulating);
    EXPECT_EQ(SimulatorState, StateModelLoaded);
    EXPECT_TRUE(HasCurrentRunData());
    EXPECT_EQ(XRuns().slot[0].count(), points) << "every row of the file";
    EXPECT_EQ(statusLine(s), "Reading of datafile finished.");
    testsupport::grabToPng(s.window(), "simulator_window_read_datafile");

    // Without the experiment's data file: its message, and the state goes back to idle.
    fs::remove(Experiment().experimentDirectory + "/default.n");
    s.command(CM_READ_DATAFILE);
    EXPECT_TRUE(SawLine(s.boxes(), "Can not open for reading:"));
    EXPECT_EQ(SimulatorState, StateModelLoaded);
}

TEST(SimulatorWindow, TheRightButtonShowsThePopUpMenuGreyedByTheMask)
{
    Simulator s;
    s.openExperiment("default");
    PlotCanvas* canvas = s.window().canvas();
    canvas->forwardToParent(platform::WM_RBUTTONDOWN, platform::MK_RBUTTON, platform::pointParam(40, 50));
    QApplication::processEvents();
    QMenu* popup = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* menu = qobject_cast<QMenu*>(w); menu && menu->isVisible())
            popup = menu;
    ASSERT_NE(popup, nullptr);
    std::vector<std::string> labels;
    std::vector<bool> enabled;
    for (QAction* a : popup->actions())
        if (!a->isSeparator()) {
            labels.push_back(a->text().toStdString());
            enabled.push_back(a->isEnabled());
        }
    EXPECT_EQ(labels, (std::vector<std::string>{"Redraw", "Clear Last", "Clear Previous", "Clear All",
                                                "Square/Maximal Plot", "Numerical Values...", "Print Experiment",
                                                "Print Simulation"}));
    EXPECT_EQ(enabled, (std::vector<bool>{true, false, false, false, true, true, true, true}));
    testsupport::grabToPng(*popup, "simulator_popup_menu");
    popup->close();

    // Square Plot from the pop-up changes the menu item's text both ways.
    s.command(CM_SQUARE_PLOT);
    EXPECT_EQ(s.window().commandAction(CM_SQUARE_PLOT)->text().toStdString(), "&Maximal Plot");
    s.command(CM_SQUARE_PLOT);
    EXPECT_EQ(s.window().commandAction(CM_SQUARE_PLOT)->text().toStdString(), "&Square Plot");
}

TEST(SimulatorWindow, F1OpensTheMainHelpFileAndToolButtonsShowHints)
{
    Simulator s;
    std::vector<std::string> opened;
    platform::setHelpOpener([&](const std::string& address) {
        opened.push_back(address);
        return true;
    });
    const std::string help = s.window().lastHelpFile();
    EXPECT_TRUE(help.empty());
    s.window().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&s.window()));
    QTest::keyClick(&s.window(), Qt::Key_F1);
    QApplication::processEvents();
    // The help is not installed in the build: the box names the file looked for.
    EXPECT_TRUE(SawLine(s.boxes(), "help/orvanta.html")) << testing::PrintToString(s.boxes().transcriptLines());
    EXPECT_EQ(s.window().lastHelpFile(), platform::executableDirectory() + "/help/orvanta.hlp");
    platform::setHelpOpener({});

    QWidget* button = s.window().findChild<QWidget*>("tool_277");
    ASSERT_NE(button, nullptr);
    QEvent enter(QEvent::Enter);
    QApplication::sendEvent(button, &enter);
    EXPECT_EQ(s.window().shownStatusText(), "Start Simulation");
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(button, &leave);
    EXPECT_EQ(s.window().shownStatusText(), "");
    EXPECT_EQ(CommandHintText(CM_HELP_CONTENTS), "Contents");
    EXPECT_EQ(CommandHintText(CM_OPEN_MODEL), "Open Model");
    // A menu item under the mouse names its command in the status line.
    QAction* save = s.window().commandAction(CM_SAVE_EXPERIMENT_AS);
    auto* file = qobject_cast<QMenu*>(save->associatedObjects().value(0));
    ASSERT_NE(file, nullptr);
    emit file->hovered(save);
    EXPECT_EQ(s.window().shownStatusText(), "Save Experiment As");
}

TEST(SimulatorWindow, TheSuitesMessagesOpenAModelAndTakeNewSettings)
{
    Simulator s("");
    ASSERT_EQ(SimulatorState, StateNoModel);
    platform::postMessage(s.window().handle(), UM_OPEN_MODEL, 0, 0, std::string("msd1"));
    ASSERT_TRUE(s.waitFor([] { return SimulatorState == StateModelLoaded; }));
    EXPECT_EQ(Experiment().modelName, "msd1");

    // Another program saved the settings: the grid is switched off here too.
    std::string settings = testsupport::readText(simtest::ProcessedExamples().settings);
    const std::string saved = settings;
    settings.replace(settings.find("sim_grid=1"), 10, "sim_grid=0");
    const std::string path = simtest::ProcessedExamples().settings;
    {
        std::ofstream(path) << settings;
    }
    platform::sendMessage({s.window().handle(), UM_SETTINGS_CHANGED, 0, 0, std::nullopt});
    EXPECT_EQ(Settings().sim_grid, 0);
    EXPECT_EQ(Plot().gridOn, 0);
    std::ofstream(path) << saved;
}

TEST(SimulatorWindow, CCodeGenerationRunsTheModuleOnTheModelAndTheProgramItWritesRuns)
{
    Simulator s;
    s.openExperiment("default");
    Startup().InstallDirectory = CODEGEN_MODULE_DIR; // where the program finds it in bin/
    testsupport::TempDir out;
    std::string model;
    testsupport::answerNextModal([&](QWidget& modal) {
        model = testsupport::findControl<QLineEdit>(modal, 1005)->text().toStdString();
        testsupport::findControl<QRadioButton>(modal, 1008)->click();
        testsupport::findControl<QLineEdit>(modal, 1011)->setText(QString::fromStdString(out.path()));
        testsupport::findControl<QPushButton>(modal, 1012)->click();
        static_cast<QDialog&>(modal).reject();
    });
    s.command(CM_CCODE);
    EXPECT_EQ(model, "msd1");
    EXPECT_TRUE(SawLine(s.boxes(), "Stand-alone code generated successfully"))
        << testing::PrintToString(s.boxes().transcriptLines());
    const codegentest::ProgramRun run = codegentest::compileAndRun(out.path(), codegentest::kStrictFlags);
    EXPECT_EQ(run.compileStatus, 0) << run.compileOutput;
    EXPECT_EQ(run.runStatus, 0) << run.errors;

    // Without the module in the installation directory: the caller's message, and the window goes on.
    s.boxes().clear();
    Startup().InstallDirectory = out.mkdir("empty");
    s.command(CM_CCODE);
    EXPECT_TRUE(SawLine(s.boxes(), "Could not load 'orvantacod.so'"));
    runDefaultExperiment(s);
    EXPECT_EQ(statusLine(s).rfind("Simulation finished.", 0), 0u);
}

// The simulator solves loop1's algebraic loop; a fixed-step program cannot: the generator
// says so once, naming the loop, and its dialog says that nothing was written.
TEST(SimulatorWindow, CCodeOfAModelWithAnAlgebraicLoopIsRefusedOnceAndTheDialogSaysWhy)
{
    Simulator s("-model loop1");
    ASSERT_EQ(Experiment().modelName, "loop1");
    s.openExperiment("default");
    Startup().InstallDirectory = CODEGEN_MODULE_DIR;
    testsupport::TempDir out;
    std::string status;
    testsupport::answerNextModal([&](QWidget& modal) {
        testsupport::findControl<QRadioButton>(modal, 1008)->click();
        testsupport::findControl<QLineEdit>(modal, 1011)->setText(QString::fromStdString(out.path()));
        testsupport::findControl<QPushButton>(modal, 1012)->click();
        status = testsupport::findControl<QLabel>(modal, 1025)->text().toStdString();
        static_cast<QDialog&>(modal).reject();
    });
    s.command(CM_CCODE);
    EXPECT_EQ(status, "Nothing written: models with algebraic loops are not supported in code generation");
    ASSERT_EQ(s.boxes().transcript().size(), 1u) << testing::PrintToString(s.boxes().transcriptLines());
    const std::vector<std::string>& lines = s.boxes().transcript()[0].lines;
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "Models with algebraic loops are not supported in code generation");
    EXPECT_EQ(lines[1], "The loop is solved for x");
    EXPECT_NE(lines[2].find("loop1.e, line "), std::string::npos) << lines[2];
    EXPECT_EQ(platform::listDirectory(out.path())->size(), 2u) << "only . and ..";
}

// The loop runs one chunk per idle turn only while a run is pending or going on; without
// one it waits for messages.
TEST(SimulatorWindow, TheIdleLoopRunsOnlyWhileARunIsPendingOrGoingOn)
{
    Simulator s;
    s.openExperiment("default");
    platform::Application& application = testsupport::testApplication();
    QApplication::processEvents();
    EXPECT_FALSE(application.idleWorkPending()) << "no run: the loop waits";
    RunSpecs().finishTime = 1e9;
    s.window().commandAction(CM_START_SIMULATION)->trigger();
    EXPECT_TRUE(application.idleWorkPending()) << "the request wakes the loop";
    ASSERT_TRUE(s.waitFor([] { return Simulating != 0; }));
    const long evaluations = EvaluationCount;
    QApplication::processEvents();
    EXPECT_TRUE(application.idleWorkPending());
    EXPECT_GT(EvaluationCount, evaluations) << "a turn made a step";
    s.command(CM_INTERRUPT);
    ASSERT_TRUE(s.waitForRunEnd());
    QApplication::processEvents();
    EXPECT_FALSE(application.idleWorkPending()) << "the run ended: the loop waits again";
}

TEST(SimulatorWindow, AMinimisedWindowIsCaptionedByTheModelWithTheEditedMark)
{
    Simulator s;
    s.window().setWindowState(Qt::WindowMinimized);
    QApplication::processEvents();
    EXPECT_EQ(s.window().windowTitle().toStdString(), "msd1");
    MarkEdited();
    EXPECT_EQ(s.window().windowTitle().toStdString(), ">msd1");
    s.window().setWindowState(Qt::WindowNoState);
    QApplication::processEvents();
    EXPECT_EQ(s.window().windowTitle().toStdString(), "Orvanta  Simulator - msd1, exp: untitled (edited)");
    ClearEdited();
}

// A real sweep of three runs from the menu: the menus take the busy mask at the start of
// the first run and the idle mask after the last, and none between; the Start Multiple
// Run command is enabled by the specification.
TEST(SimulatorWindow, ASweepFromTheMenuKeepsTheMenusBusyUntilItsLastRunEnds)
{
    Simulator s;
    s.openExperiment("default");
    RunSpecs().finishTime = 0.2;
    simtest::SweepFirstParameter(3);
    ASSERT_TRUE(s.window().commandAction(CM_START_MULTIPLE_RUN)->isEnabled());

    std::vector<std::uint32_t> applied;
    const auto apply = WindowHooks().applyMask;
    WindowHooks().applyMask = [&](std::uint32_t mask) {
        applied.push_back(mask);
        apply(mask);
    };
    s.command(CM_START_MULTIPLE_RUN);
    ASSERT_TRUE(s.waitFor([] { return !PlainSeriesActive() && !Simulating && !StartRequested; }));
    WindowHooks().applyMask = apply;
    EXPECT_EQ(CurrentRunNumber(), 4) << "the counter stands past the third run";
    ASSERT_EQ(applied.size(), 2u) << testing::PrintToString(applied);
    EXPECT_EQ(applied.front(), CommandMaskOf(StateBusy));
    EXPECT_EQ(applied.back(), CommandMask);
    EXPECT_EQ(SimulatorState, StateModelLoaded);
    EXPECT_TRUE(s.window().commandAction(CM_START_SIMULATION)->isEnabled());
    EXPECT_TRUE(s.boxes().transcript().empty()) << testing::PrintToString(s.boxes().transcriptLines());
}

// Another program asks for a model while a run, or a series, goes on: the run is stopped
// and finished with its files, and the model is opened after it, the state machine intact.
TEST(SimulatorWindow, AModelSentDuringARunOrASeriesIsOpenedOnceTheRunHasEnded)
{
    Simulator s;
    s.openExperiment("default");
    RunSpecs().finishTime = 1e9;
    s.command(CM_START_SIMULATION);
    ASSERT_TRUE(s.waitFor([] { return Simulating != 0; }));
    platform::postMessage(s.window().handle(), UM_OPEN_MODEL, 0, 0, std::string("loop1"));
    ASSERT_TRUE(s.waitFor([] { return Experiment().modelName == "loop1"; }));
    EXPECT_EQ(SimulatorState, StateModelLoaded);
    EXPECT_FALSE(Simulating);
    EXPECT_EQ(LastRunSummary().rfind("Simulation stopped by user.", 0), 0u) << LastRunSummary();
    EXPECT_TRUE(s.boxes().transcript().empty()) << testing::PrintToString(s.boxes().transcriptLines());

    // A sweep of endless runs: it ends without its next run, then the model is opened.
    platform::postMessage(s.window().handle(), UM_OPEN_MODEL, 0, 0, std::string("msd1"));
    ASSERT_TRUE(s.waitFor([] { return Experiment().modelName == "msd1"; }));
    s.openExperiment("default");
    RunSpecs().finishTime = 1e9;
    simtest::SweepFirstParameter(3);
    s.command(CM_START_MULTIPLE_RUN);
    ASSERT_TRUE(s.waitFor([] { return Simulating && PlainSeriesActive(); }));
    platform::postMessage(s.window().handle(), UM_OPEN_MODEL, 0, 0, std::string("loop1"));
    ASSERT_TRUE(s.waitFor([] { return Experiment().modelName == "loop1"; }));
    EXPECT_FALSE(PlainSeriesActive());
    EXPECT_EQ(SimulatorState, StateModelLoaded);
    EXPECT_TRUE(s.boxes().transcript().empty()) << testing::PrintToString(s.boxes().transcriptLines());
}
