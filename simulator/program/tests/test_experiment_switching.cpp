// Changing the experiment or the model in the simulator's window: the plot shows
// what was loaded and none of the runs that went with the old one, no value of one
// experiment passes to the next, and the open editors follow the experiment's name.
#include "simulator_harness.h"
#include "dialog_actions.h"

#include "platform/core/file_system.h"
#include "platform/core/message_numbers.h"
#include "platform/core/window_messages.h"
#include "platform/testing/qt_support.h"
#include "simulator/model_variables.h"
#include "simulator/plot_buffers.h"
#include "simulator/plot_canvas.h"
#include "simulator/plot_drawing.h"
#include "simulator/program/simulator_menus.h"
#include "simulator/run_specs.h"
#include "simulator/run_specs_dialog.h"
#include "simulator/run_state.h"
#include "simulator/simulator_state.h"
#include "simulator/value_editor_dialogs.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>

#include <algorithm>
#include <filesystem>
#include <fstream>

using simtest::Simulator;
using simtest::click;
using simtest::type;

namespace {

namespace fs = std::filesystem;

/// Pixels in colour (neither white, black nor grey) inside the plot's frame: the curves
/// and their letters; the legend stands outside it.
int colouredPixelsInsideTheFrame(Simulator& s)
{
    FlushPlotSteps();
    QApplication::processEvents();
    const QImage image = s.window().canvas()->picture();
    const PlotArea& a = Plot().area;
    int n = 0;
    for (int y = a.top + 2; y < a.bottom - 1; ++y)
        for (int x = a.left + 2; x < a.right - 1; ++x) {
            const QColor c = image.pixelColor(x, y);
            n += !(c.red() == c.green() && c.green() == c.blue());
        }
    return n;
}

/// How many characters the drawn label of that kind holds (-1 when none is drawn);
/// a label of n characters takes 7 n units in the hit list. The X axis's last label
/// is its maximum.
int drawnLength(int kind)
{
    int length = -1;
    for (const BdLink<LabelRect>* link = Plot().labels.firstLink(); link; link = link->next())
        if (link->value().kind == kind)
            length = (link->value().right - link->value().left) / 7;
    return length;
}

void runDefaultExperiment(Simulator& s)
{
    s.command(CM_START_SIMULATION);
    ASSERT_TRUE(s.waitForRunEnd());
    ASSERT_GT(colouredPixelsInsideTheFrame(s), 500) << "three curves";
}

/// Removes the experiment's files the test made in the shared examples.
void removeExperiment(const std::string& name)
{
    for (const char* extension : {".p", ".r", ".u", ".mr"})
        fs::remove(Experiment().experimentDirectory + "/" + name + extension);
}

int line(platform::Dialog& dialog, const std::string& name)
{
    for (int i = 0; i < dialog.itemCount(valueeditor::List); ++i)
        if (dialog.itemText(valueeditor::List, i).rfind(name + "\t", 0) == 0)
            return i;
    return -1;
}

} // namespace

TEST(ExperimentSwitching, ThePlotShowsTheLoadedTitleAndAxisWithoutTheDiscardedRuns)
{
    Simulator s;
    s.window().resize(900, 600);
    QApplication::processEvents();

    // Open Experiment: the runs of "default" go, the title names "mine".
    s.openExperiment("default");
    runDefaultExperiment(s);
    s.openExperiment("mine");
    EXPECT_FALSE(HasCurrentRunData() || HasEarlierRunData());
    EXPECT_EQ(colouredPixelsInsideTheFrame(s), 0);
    EXPECT_EQ(drawnLength(LabelTitle), int(std::string("msd1 - mine").size()));
    testsupport::grabToPng(s.window(), "simulator_window_other_experiment");

    // Open Model after a run whose time ran to 321.8: the new model's plot over the finish
    // time it starts with.
    s.openExperiment("default");
    RunSpecs().finishTime = 321.8;
    PlotSpecs().x.max = 321.8; // as the run-specifications editor does for a time axis
    runDefaultExperiment(s);
    EXPECT_EQ(drawnLength(LabelXAxis), 5) << "321.8";
    s.command(CM_OPEN_MODEL);
    s.chooseName("divz1");
    ASSERT_EQ(Experiment().modelName, "divz1");
    EXPECT_EQ(colouredPixelsInsideTheFrame(s), 0);
    EXPECT_EQ(drawnLength(LabelTitle), int(std::string("divz1").size()));
    EXPECT_EQ(PlotSpecs().x.max, RunSpecification::defaults().finishTime);
    EXPECT_EQ(drawnLength(LabelXAxis), 1) << "5";
    testsupport::grabToPng(s.window(), "simulator_window_other_model");
    EXPECT_TRUE(s.boxes().transcript().empty()) << testing::PrintToString(s.boxes().transcriptLines());
}

TEST(ExperimentSwitching, AnExperimentWithoutFilesTakesNoValueOfThePreviousOne)
{
    const auto valuesGiven = [](int kind) {
        const std::vector<int>& given = Variables().kinds[std::size_t(kind)].hasValue;
        return int(std::count(given.begin(), given.end(), 1));
    };
    Simulator s;
    s.openExperiment("default");
    ASSERT_EQ(valuesGiven(KindParameter), 4);
    ASSERT_EQ(valuesGiven(KindInitial), 2);
    RunSpecs().finishTime = 2.0;
    s.command(CM_PARAMETERS);
    TQNParEditorDialog* parameters = ParametersEditor();
    ASSERT_NE(parameters, nullptr);

    // "fresh" has no files: it gives no parameter or initial condition a value, and its
    // run settings are those a new experiment has.
    s.openExperiment("fresh");
    EXPECT_EQ(valuesGiven(KindParameter), 0);
    EXPECT_EQ(valuesGiven(KindInitial), 0);
    ASSERT_EQ(ParametersEditor(), parameters);
    const int k = line(*parameters, "k`c");
    EXPECT_EQ(parameters->itemText(valueeditor::List, k), "k`c\tReal\t.");
    EXPECT_EQ(parameters->text(valueeditor::ExperimentName), "fresh");
    EXPECT_EQ(RunSpecs().finishTime, RunSpecification::defaults().finishTime);

    // Saved, its parameter file names the parameters without values.
    s.command(CM_SAVE_EXPERIMENT);
    const std::string file = testsupport::readText(Experiment().experimentDirectory + "/fresh.p");
    removeExperiment("fresh");
    EXPECT_NE(file.find("\tk`c\n"), std::string::npos) << file;
    EXPECT_EQ(file.find("0.025"), std::string::npos) << file;
}

TEST(ExperimentSwitching, SavingWithUnappliedEditsWarnsAndTheOpenEditorsTakeTheNewName)
{
    Simulator s;
    int waited = 0;
    WindowHooks().waitSeconds = [&waited](int seconds) { waited += seconds; };
    s.openExperiment("default");
    s.command(CM_RUN_SPECS);
    s.command(CM_PARAMETERS);
    TQNParEditorDialog* parameters = ParametersEditor();
    ASSERT_NE(parameters, nullptr);
    type(*parameters, valueeditor::Value, "7"); // typed, not applied

    s.command(CM_SAVE_EXPERIMENT_AS);
    s.chooseName("copy");
    EXPECT_EQ(Experiment().experimentName, "copy");
    EXPECT_EQ(s.window().shownStatusText(), "Warning: one or more editors have unapplied edits, saving anyway..");
    EXPECT_EQ(waited, 2);
    EXPECT_EQ(parameters->text(valueeditor::ExperimentName), "copy");
    ASSERT_NE(RunSpecsDialog(), nullptr);
    EXPECT_EQ(RunSpecsDialog()->text(runspecs::ExperimentName), "copy");

    // Applied, the next save says nothing of it.
    click(*parameters, valueeditor::Apply);
    s.command(CM_SAVE_EXPERIMENT);
    EXPECT_EQ(waited, 2);
    removeExperiment("copy");
}

TEST(ExperimentSwitching, SavingUnderAnotherNameRedrawsThePlotsTitleAndKeepsItsRuns)
{
    Simulator s;
    s.window().resize(900, 600);
    QApplication::processEvents();
    s.openExperiment("default");
    runDefaultExperiment(s);
    EXPECT_EQ(drawnLength(LabelTitle), int(std::string("msd1 - default").size()));

    s.command(CM_SAVE_EXPERIMENT_AS);
    s.chooseName("other");
    ASSERT_EQ(Experiment().experimentName, "other");
    EXPECT_EQ(drawnLength(LabelTitle), int(std::string("msd1 - other").size()));
    EXPECT_GT(colouredPixelsInsideTheFrame(s), 500) << "the run stays drawn";
    testsupport::grabToPng(s.window(), "simulator_window_saved_as");
    removeExperiment("other");
}

// The graph editor's Simulation hands the model over again each time it is pressed. The model
// open, unchanged, keeps its experiment, its runs and a run going on; processed anew, it is
// loaded again with its experiment read from the files, and an edited experiment is given up
// only when the user says so.
TEST(ExperimentSwitching, AModelHandedOverAgainKeepsItsExperimentAndGivesUpEditsOnlyWhenAsked)
{
    const std::string models = simtest::ProcessedExamples().models;
    fs::copy_file(models + "/msd1.l", models + "/again1.l", fs::copy_options::overwrite_existing);
    fs::create_directories(models + "/again1");
    for (const char* file : {"default.p", "default.r", "default.u"})
        fs::copy_file(models + "/msd1/" + file, models + "/again1/" + file, fs::copy_options::overwrite_existing);
    Simulator s("-model again1");
    s.openExperiment("default");
    s.command(CM_START_SIMULATION);
    ASSERT_TRUE(s.waitForRunEnd());
    const std::string title = "Orvanta  Simulator - again1, exp: default";
    ASSERT_EQ(s.window().windowTitle().toStdString(), title);
    const auto handOver = [&] {
        platform::postMessage(s.window().handle(), UM_OPEN_MODEL, 0, 0, std::string("again1"));
        QTest::qWait(100);
    };

    handOver();
    EXPECT_EQ(s.window().windowTitle().toStdString(), title);
    EXPECT_TRUE(HasCurrentRunData());
    // ... also while it runs, which goes on.
    RunSpecs().finishTime = 1e9;
    s.command(CM_START_SIMULATION);
    ASSERT_TRUE(s.waitFor([] { return Simulating != 0; }));
    handOver();
    EXPECT_TRUE(Simulating);
    s.command(CM_INTERRUPT);
    ASSERT_TRUE(s.waitForRunEnd());
    EXPECT_TRUE(s.boxes().transcript().empty()) << testing::PrintToString(s.boxes().transcriptLines());

    // An edit of a parameter, then the model processed anew.
    s.openExperiment("default");
    const double saved = Variables().kinds[KindParameter].values[0];
    s.command(CM_PARAMETERS);
    TQNParEditorDialog* parameters = ParametersEditor();
    ASSERT_NE(parameters, nullptr);
    simtest::selectLine(*parameters, valueeditor::List, 0);
    type(*parameters, valueeditor::Value, "7");
    click(*parameters, valueeditor::Apply);
    ASSERT_EQ(Variables().kinds[KindParameter].values[0], 7.0);
    ASSERT_EQ(s.window().windowTitle().toStdString(), title + " (edited)");
    std::ofstream(models + "/again1.l", std::ios::app) << "\n";

    const std::vector<std::string> question{"The experiment of the current model has been edited.",
                                            "Press Cancel to go back and save the experiment,",
                                            "press OK to discard all edits."};
    s.boxes().queueAnswers({platform::BoxAnswer::Cancel});
    handOver();
    ASSERT_EQ(s.boxes().transcript().size(), 1u);
    EXPECT_EQ(s.boxes().transcript()[0].lines, question);
    EXPECT_EQ(s.window().windowTitle().toStdString(), title + " (edited)");
    EXPECT_EQ(Variables().kinds[KindParameter].values[0], 7.0);

    s.boxes().clear();
    s.boxes().queueAnswers({platform::BoxAnswer::Ok});
    handOver();
    EXPECT_EQ(s.boxes().transcriptLines(), question);
    EXPECT_EQ(s.window().windowTitle().toStdString(), title);
    EXPECT_EQ(Variables().kinds[KindParameter].values[0], saved);
    EXPECT_EQ(parameters->text(valueeditor::ExperimentName), "default");
}
