// The windows around the plot inside the simulator's window: the plot-specification
// editor with the variable chooser and Import, the numerical values of a stored run
// with the plot's cursor, and the multiple-run editor.
#include "simulator_harness.h"
#include "dialog_actions.h"

#include "common/name_chooser_dialog.h"
#include "platform/core/file_system.h"
#include "platform/testing/qt_support.h"
#include "simulator/dynamic_vars_dialog.h"
#include "simulator/model_variables.h"
#include "simulator/multiple_run_dialog.h"
#include "simulator/multiple_runs.h"
#include "simulator/numeric_values_dialog.h"
#include "simulator/output_specs_dialog.h"
#include "simulator/plot_canvas.h"
#include "simulator/plot_buffers.h"
#include "simulator/plot_drawing.h"
#include "simulator/program/simulator_menus.h"
#include "simulator/run_specs.h"
#include "simulator/run_state.h"
#include "simulator/simulator_state.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include <algorithm>
#include <cmath>

using simtest::SawLine;
using simtest::Simulator;
using simtest::chooseCombo;
using simtest::click;
using simtest::dragThumbToEnd;
using simtest::selectLine;
using simtest::type;

namespace {

/// y = sin(t), shown by its name.
constexpr const char* SineModel = "#Hclass\tsine1\n#Hversion\t1\n\n#DVariable\t1\n\t#real\ty\ty`PLOT\n\n"
                                  "#Dstate_ind\t1\n\t#real\tx\n\n#DRate_ind\t1\n\t#real\tdx\n\n"
                                  "#EInitial\t0\n\n#Einputs\t0\n\n#Edynamic\t2\n\tsin\tV0\tt\n\tmov\tR0\tV0\n\n"
                                  "#Eoutputs\t0\n";

/// y = t / 10, shown by its name: from 0 to 0.5 over the default run.
constexpr const char* RampModel = "#Hclass\tramp1\n#Hversion\t1\n\n#DVariable\t1\n\t#real\ty\ty`PLOT\n\n"
                                  "#Dstate_ind\t1\n\t#real\tx\n\n#DRate_ind\t1\n\t#real\tdx\n\n"
                                  "#EInitial\t0\n\n#Einputs\t0\n\n#Edynamic\t2\n\tmul\tV0\t1.000000e-01\tt\n"
                                  "\tmov\tR0\tV0\n\n#Eoutputs\t0\n";

/// x' = v, v' = -x: from x = a, v = 0 the point (x, v) runs round a circle of radius a.
constexpr const char* OscillatorModel = "#Hclass\tosc1\n#Hversion\t1\n\n#DIncond\t2\n\t#real\tx0\n\t#real\tv0\n\n"
                                        "#Dstate_ind\t2\n\t#real\tx\n\t#real\tv\tv`PLOT\n\n"
                                        "#DRate_ind\t2\n\t#real\tdx\n\t#real\tdv\n\n"
                                        "#EInitial\t2\n\tmov\ts0\tI0\n\tmov\ts1\tI1\n\n#Einputs\t0\n\n"
                                        "#Edynamic\t2\n\tmov\tR0\ts1\n\tmul\tR1\t-1.000000e+00\ts0\n\n#Eoutputs\t0\n";

/// A run of the oscillator from x = a, once round the circle.
void runOscillator(Simulator& s, double a)
{
    SetVariableValue(KindInitial, 0, a);
    SetVariableValue(KindInitial, 1, 0.0);
    s.command(CM_START_SIMULATION);
    ASSERT_TRUE(s.waitForRunEnd());
}

/// Clears the names of the curves A to C of msd1's default in the curves editor (Plot Specs).
void clearEveryCurve(Simulator& s)
{
    s.command(CM_PLOT_SPECS);
    TQNOutputSpecsDialog* editor = OutputSpecsEditorWindow();
    ASSERT_NE(editor, nullptr);
    for (int curve = 0; curve < 3; ++curve) {
        selectLine(*editor, outputspecs::List, curve);
        click(*editor, outputspecs::ClearName);
    }
    click(*editor, outputspecs::Ok);
}

const std::vector<std::string> NothingShown = {"No plot specification with display or store switched on.",
                                               "Simulation is useless.", "Press Cancel to simulate anyway."};

/// The chooser's line whose text is `name` in the list of type t.
int chooserLine(TQNDynamicVarsDialog& chooser, int type, const std::string& name)
{
    return chooser.findItem(dynvars::Lists[std::size_t(type)], name);
}

} // namespace

TEST(PlotSpecsEditor, ChooserHandsTheAliasAndImportWaitsForOk)
{
    Simulator s;
    s.openExperiment("default");
    s.command(CM_PLOT_SPECS);
    TQNOutputSpecsDialog* editor = OutputSpecsEditorWindow();
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->windowTitle().toStdString(), "SIM: Plot Specifications Editor");
    EXPECT_EQ(editor->itemText(outputspecs::List, 0), "A\tState  \tk`p.f_indep_state\tOn\tOn");
    EXPECT_EQ(editor->itemText(outputspecs::List, 3), ".\t.\t.\t.\t.");

    // Curve D gets the state through its second name: the chooser hands that name's position.
    selectLine(*editor, outputspecs::List, 3);
    click(*editor, outputspecs::ChooseYName);
    TQNDynamicVarsDialog* chooser = DynamicVarsChooserWindow();
    ASSERT_NE(chooser, nullptr);
    EXPECT_EQ(chooser->text(dynvars::CalledFrom), "Plot Specifications Editor");
    EXPECT_EQ(chooser->text(dynvars::ForItem), "Y-Axis Name");
    click(*chooser, dynvars::FirstRadio + 1);
    const int line = chooserLine(*chooser, 1, "k`p.f_indep_state");
    ASSERT_GT(line, 0);
    selectLine(*chooser, dynvars::Lists[1], line);
    testsupport::grabToPng(*chooser, "dynamic_variables_chooser");
    click(*chooser, dynvars::Apply);
    const PlotCurve& d = OutputSpecsEditorLogic().copy().curves[3];
    EXPECT_EQ(d.kind, KindState);
    EXPECT_EQ(GetVariableName(d.kind, d.variable, d.nameIndex), std::string("k`p.f_indep_state"));
    EXPECT_EQ(d.nameIndex, FindNameInEntry(KindState, d.variable, "k`p.f_indep_state"));
    EXPECT_GT(d.nameIndex, 0) << "an alias, not the first name";
    EXPECT_EQ(editor->selectedIndex(outputspecs::List), 4) << "the next curve is selected";
    EXPECT_TRUE(editor->edited());
    click(*chooser, dynvars::Close);
    EXPECT_EQ(PlotSpecs().curves[3].kind, 0) << "nothing reaches the live specification before OK";
    testsupport::grabToPng(*editor, "plot_specs_editor");

    // Import another experiment's file; closing without OK leaves the live records as they were.
    PlotSpecs().curves[1].display = 0;
    click(*editor, outputspecs::Import);
    TQNFileDialog* names = NameChooserWindow();
    ASSERT_NE(names, nullptr);
    EXPECT_EQ(names->windowTitle().toStdString(), "Plot Specs. of: msd1");
    names->setText(572, "default");
    testsupport::findControl<QPushButton>(*names, 801)->click();
    QApplication::processEvents();
    ASSERT_EQ(OutputSpecsEditorWindow(), editor);
    EXPECT_EQ(editor->itemText(outputspecs::List, 1), "B\tVar    \tm`p.f\tOn\tOn");
    EXPECT_EQ(editor->itemText(outputspecs::List, 3), ".\t.\t.\t.\t.") << "the import replaced the copy";
    editor->reject();
    QApplication::processEvents();
    EXPECT_EQ(OutputSpecsEditorWindow(), nullptr);
    EXPECT_EQ(PlotSpecs().curves[1].display, 0);

    // OK takes the copy.
    s.command(CM_PLOT_SPECS);
    editor = OutputSpecsEditorWindow();
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->itemText(outputspecs::List, 1), "B\tVar    \tm`p.f\tOff\tOn");
    selectLine(*editor, outputspecs::List, 1);
    click(*editor, outputspecs::Display);
    click(*editor, outputspecs::Ok);
    EXPECT_EQ(OutputSpecsEditorWindow(), nullptr);
    EXPECT_EQ(PlotSpecs().curves[1].display, 1);
}

TEST(NumericValuesDialog, GlobalMaximumOfASineLandsOnItsPeakAndTheCursorFollows)
{
    simtest::WriteCodeFileOnce("sine1.l", SineModel);
    Simulator s("-model sine1");
    RunSpecs().method = MethodRungeKutta4;
    RunSpecs().finishTime = 5.0;
    RunSpecs().settings[MethodRungeKutta4][RowStep].value = 0.01;
    MarkEdited(); // as the run-specifications editor does
    s.command(CM_START_SIMULATION);
    ASSERT_TRUE(s.waitForRunEnd());
    s.command(CM_NUMERICAL_VALUES);
    TQNNumericValuesDialog* dialog = NumericValuesDialog();
    ASSERT_NE(dialog, nullptr);
    ASSERT_EQ(dialog->itemCount(numvalues::List), 1);
    EXPECT_EQ(dialog->text(numvalues::RunNumber), "1");
    chooseCombo(*dialog, numvalues::FindChoice, FindGlobalMax);
    click(*dialog, numvalues::Find);

    const RunSlot& xs = XRuns().slot[0];
    const RunSlot& ys = CurveRuns(0).slot[0];
    int peak = 0;
    for (int i = 1; i < ys.count(); ++i)
        if (ys.values()[i] > ys.values()[peak])
            peak = i;
    EXPECT_NEAR(xs.values()[peak], M_PI / 2, 0.011);
    EXPECT_EQ(NumericValuesLogic().step(), peak);
    EXPECT_EQ(dialog->scrollPosition(numvalues::Scroll), peak);
    char x[32];
    std::snprintf(x, sizeof x, "%g", xs.values()[peak]);
    EXPECT_EQ(dialog->text(numvalues::XValue), x);
    EXPECT_NE(dialog->itemText(numvalues::List, 0).find("A y`PLOT\t1"), std::string::npos)
        << dialog->itemText(numvalues::List, 0);

    // The cross on the plot stands on that sample.
    const PlotSpecification& specs = PlotSpecs();
    EXPECT_EQ(Plot().cursorShown, 1);
    EXPECT_NEAR(Plot().cursorX, (xs.values()[peak] - specs.x.min) / (specs.x.max - specs.x.min), 1e-9);
    const PlotCurve& y = specs.curves[0];
    EXPECT_NEAR(Plot().cursorY, (ys.values()[peak] - y.min) / (y.max - y.min), 1e-9);
    testsupport::grabToPng(*dialog, "numerical_values");
    testsupport::grabToPng(s.window(), "simulator_window_cursor");

    // The arrows on the plot step through the samples.
    QTest::keyClick(s.window().canvas(), Qt::Key_Right);
    EXPECT_EQ(NumericValuesLogic().step(), peak + 1);
    QTest::keyClick(s.window().canvas(), Qt::Key_Left);
    QTest::keyClick(s.window().canvas(), Qt::Key_Left);
    EXPECT_EQ(NumericValuesLogic().step(), peak - 1);

    // A click in the plot picks the nearest sample.
    PickNearestPoint(Plot().cursorX, Plot().cursorY - 0.5);
    EXPECT_NE(NumericValuesLogic().step(), peak);
    click(*dialog, numvalues::Cancel);
    EXPECT_EQ(NumericValuesDialog(), nullptr);
    EXPECT_EQ(Plot().cursorShown, 0);
}

TEST(NumericValuesDialog, TheScrollBarReachesTheLastSampleOfEveryNewRun)
{
    Simulator s;
    s.openExperiment("default"); // a sample every 0.01
    s.command(CM_NUMERICAL_VALUES);
    TQNNumericValuesDialog* dialog = NumericValuesDialog();
    ASSERT_NE(dialog, nullptr);
    // The dialog stays open while the runs are made; each new run's samples reach it.
    int run = 0;
    for (const char* finish : {"1.35", "7.5", "8.19"}) {
        RunSpecs().finishTime = std::stod(finish);
        s.command(CM_START_SIMULATION);
        ASSERT_TRUE(s.waitForRunEnd());
        const int last = XRuns().slot[0].count() - 1;
        ASSERT_EQ(last, int(std::lround(RunSpecs().finishTime * 100))) << finish;
        dragThumbToEnd(*dialog, numvalues::Scroll);
        EXPECT_EQ(NumericValuesLogic().step(), last) << finish;
        EXPECT_EQ(dialog->text(numvalues::XValue), finish);
        EXPECT_EQ(dialog->text(numvalues::RunNumber), std::to_string(++run)) << "the newest of the runs kept";
    }
}

TEST(PlotSpecsEditor, AnotherXAxisDiscardsTheRunsKeptAgainstTheOldOneAndClearingRescales)
{
    simtest::WriteCodeFileOnce("osc1.l", OscillatorModel);
    Simulator s("-model osc1");
    RunSpecs().finishTime = 6.3;
    MarkEdited(); // as the run-specifications editor does
    runOscillator(s, 1.0);
    ASSERT_TRUE(HasCurrentRunData()) << "v against time";

    // X becomes the state x, scaled after each run.
    s.command(CM_PLOT_SPECS);
    TQNOutputSpecsDialog* editor = OutputSpecsEditorWindow();
    ASSERT_NE(editor, nullptr);
    click(*editor, outputspecs::XName);
    click(*editor, outputspecs::ChooseXName);
    TQNDynamicVarsDialog* chooser = DynamicVarsChooserWindow();
    ASSERT_NE(chooser, nullptr);
    click(*chooser, dynvars::FirstRadio + 1);
    selectLine(*chooser, dynvars::Lists[1], chooserLine(*chooser, 1, "x"));
    click(*chooser, dynvars::Apply);
    click(*chooser, dynvars::Close);
    click(*editor, outputspecs::XPost);
    click(*editor, outputspecs::Ok);
    ASSERT_EQ(OutputSpecsEditorWindow(), nullptr);
    ASSERT_FALSE(PlotSpecs().xIsTime);
    EXPECT_FALSE(HasCurrentRunData() || HasEarlierRunData()) << "the run against time is gone";

    // The scale after a run fits the circle of radius 3, not the time (to 6.3) of the run before.
    const PlotCurve& x = PlotSpecs().x;
    runOscillator(s, 3.0);
    EXPECT_EQ(x.min, -4.0);
    EXPECT_EQ(x.max, 4.0);
    runOscillator(s, 1.0);
    EXPECT_EQ(x.max, 4.0) << "the kept run of radius 3 still needs it";
    testsupport::grabToPng(s.window(), "simulator_window_xy_runs");

    // Without the larger circle the scale fits the smaller one at once.
    s.command(CM_CLEAR_PREVIOUS_RUNS);
    EXPECT_EQ(x.min, -1.2);
    EXPECT_EQ(x.max, 1.2);
    EXPECT_TRUE(HasCurrentRunData());
    EXPECT_FALSE(HasEarlierRunData());
    testsupport::grabToPng(s.window(), "simulator_window_xy_cleared");
}

TEST(PlotSpecsEditor, ARunAsksFirstAboutACurveOfNoScaleAndAboutNothingToShow)
{
    Simulator s;
    s.openExperiment("default");

    // Curve B scaled from 1 to 1 by hand, as the editor lets the user type it.
    s.command(CM_PLOT_SPECS);
    TQNOutputSpecsDialog* editor = OutputSpecsEditorWindow();
    ASSERT_NE(editor, nullptr);
    selectLine(*editor, outputspecs::List, 1);
    click(*editor, outputspecs::YManual);
    type(*editor, outputspecs::YFrom, "1");
    type(*editor, outputspecs::YTo, "1");
    click(*editor, outputspecs::Ok);
    ASSERT_EQ(OutputSpecsEditorWindow(), nullptr);

    // OK in the question keeps the run from starting; Cancel runs it without that curve.
    s.boxes().queueAnswers({platform::BoxAnswer::Ok});
    s.command(CM_START_SIMULATION);
    ASSERT_TRUE(s.waitForRunEnd());
    EXPECT_TRUE(SawLine(s.boxes(), "Yaxis specification's scale min >= scale max,"));
    EXPECT_TRUE(SawLine(s.boxes(), "spec. B, named 'm`p.f'."));
    EXPECT_FALSE(HasCurrentRunData()) << s.window().shownStatusText();
    s.boxes().clear();
    s.boxes().queueAnswers({platform::BoxAnswer::Cancel});
    s.command(CM_START_SIMULATION);
    ASSERT_TRUE(s.waitForRunEnd());
    EXPECT_EQ(s.window().shownStatusText().rfind("Simulation finished.", 0), 0u) << s.window().shownStatusText();
    EXPECT_EQ(PlotSpecs().curves[1].display, 0);
    EXPECT_EQ(PlotSpecs().curves[0].display, 1);

    // With every curve's name cleared the user is asked before a run that shows nothing.
    clearEveryCurve(s);
    s.boxes().clear();
    s.boxes().queueAnswers({platform::BoxAnswer::Ok});
    s.command(CM_START_SIMULATION);
    ASSERT_TRUE(s.waitForRunEnd());
    EXPECT_EQ(s.boxes().transcriptLines(), NothingShown);
    EXPECT_FALSE(HasCurrentRunData()) << s.window().shownStatusText();
}

// A series that shows nothing is asked about once, at its first run, not at every run.
TEST(PlotSpecsEditor, ASeriesThatShowsNothingIsAskedAboutOnceAndRunsToItsEnd)
{
    for (const int type : {int(PlainMultipleRun), int(OptimizationRun), int(MonteCarloRun)}) {
        SCOPED_TRACE(type);
        Simulator s;
        s.openExperiment("default");
        RunSpecs().finishTime = 0.2;
        clearEveryCurve(s);
        MultipleRunSpecs() = MultipleRunSpec{};
        MultipleRunSpec& spec = simtest::SweepFirstParameter(3);
        spec.type = type;
        spec.criterionKind = KindState;
        spec.criterionIndex = 0;
        spec.criterionElement = 0;
        s.boxes().clear();
        s.boxes().queueAnswers({platform::BoxAnswer::Cancel});
        s.command(CM_START_MULTIPLE_RUN);
        ASSERT_TRUE(s.waitFor([] { return !MultipleRunSeriesActive() && !Simulating && !StartRequested; }));
        const std::vector<std::string> lines = s.boxes().transcriptLines();
        ASSERT_GE(lines.size(), NothingShown.size());
        EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 3), NothingShown);
        EXPECT_EQ(std::count(lines.begin(), lines.end(), NothingShown[0]), 1);
        EXPECT_GE(CurrentRunNumber(), 3) << "every run of the series ran";
        spec = MultipleRunSpec{};
    }
}

TEST(MultipleRunEditor, ChoosesVariablesAndRefusesALogarithmOfZero)
{
    Simulator s;
    s.openExperiment("default");
    s.command(CM_MULTIPLE_RUN_SPECS);
    TQNMultipleRunDialog* editor = MultipleRunEditorWindow();
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->windowTitle().toStdString(), "SIM: Multiple Run Editor");
    EXPECT_EQ(editor->text(multirun::FieldLabel), "steps:");

    for (int pick : {2, 3, 2}) {
        testsupport::answerNextModal([pick](QWidget& modal) {
            auto& names = static_cast<platform::Dialog&>(modal);
            names.selectIndex(multirun::NameList, pick);
            testsupport::findControl<QPushButton>(names, platform::IDOK)->click();
        });
        click(*editor, multirun::ChooseParameter);
    }
    EXPECT_TRUE(simtest::SawLine(s.boxes(), "You already selected this variable,"));
    ASSERT_EQ(editor->itemCount(multirun::List), 2);
    EXPECT_EQ(editor->itemText(multirun::List, 0), "Parameter\t: k`c");
    EXPECT_EQ(editor->itemText(multirun::List, 1), "Parameter\t: d`r");
    EXPECT_EQ(editor->text(multirun::Min), "0.5");
    EXPECT_EQ(editor->windowTitle().toStdString(), "SIM: Multiple Run Editor (edited)");

    type(*editor, multirun::Min, "0");
    chooseCombo(*editor, multirun::Scale, 1);
    click(*editor, multirun::Ok);
    EXPECT_TRUE(simtest::SawLine(s.boxes(), "A logarithmic scale needs bounds above 0:"));
    ASSERT_EQ(MultipleRunEditorWindow(), editor) << "refused, the editor stays";
    EXPECT_TRUE(MultipleRunSpecs().variables.empty());

    type(*editor, multirun::Min, "0.1");
    type(*editor, multirun::Field, "3");
    testsupport::grabToPng(*editor, "multiple_run_editor");
    click(*editor, multirun::Ok);
    EXPECT_EQ(MultipleRunEditorWindow(), nullptr);
    ASSERT_EQ(MultipleRunSpecs().variables.size(), 2u);
    EXPECT_EQ(MultipleRunSpecs().variables[1].from, 0.1);
    EXPECT_EQ(MultipleRunSpecs().variables[1].scale, 1);
    EXPECT_EQ(MultipleRunSpecs().steps, 3);
    EXPECT_TRUE(ExperimentEdited);
    EXPECT_TRUE(CommandEnabled(CM_START_MULTIPLE_RUN, CommandMask));

    // The experiment keeps it in its ".mr" file, and loading the experiment reads it back.
    s.command(CM_SAVE_EXPERIMENT);
    const std::string file = testsupport::readText(Experiment().experimentDirectory + "/default.mr");
    EXPECT_EQ(file.rfind("#Formatver\t4\n#Hclass\tmsd1\n3\t0\n#Nvariables\t2\n", 0), 0u) << file;
    MultipleRunSpecs() = MultipleRunSpec{};
    s.openExperiment("default");
    ASSERT_EQ(MultipleRunSpecs().variables.size(), 2u);
    EXPECT_EQ(MultipleRunSpecs().variables[1].scale, 1);
    platform::deleteFile(Experiment().experimentDirectory + "/default.mr"); // the examples are shared
}

TEST(PlotSpecsEditor, APlainSeriesRefusedAtItsQuestionEndsThere)
{
    Simulator s;
    s.openExperiment("default");
    s.command(CM_MULTIPLE_RUN_SPECS);
    TQNMultipleRunDialog* runs = MultipleRunEditorWindow();
    ASSERT_NE(runs, nullptr);
    testsupport::answerNextModal([](QWidget& modal) {
        auto& names = static_cast<platform::Dialog&>(modal);
        names.selectIndex(multirun::NameList, 2);
        testsupport::findControl<QPushButton>(names, platform::IDOK)->click();
    });
    click(*runs, multirun::ChooseParameter);
    type(*runs, multirun::Field, "3");
    click(*runs, multirun::Ok);
    ASSERT_EQ(MultipleRunEditorWindow(), nullptr);

    clearEveryCurve(s);

    // OK keeps the series from starting; Cancel runs all of it after one question.
    for (platform::BoxAnswer answer : {platform::BoxAnswer::Ok, platform::BoxAnswer::Cancel}) {
        s.boxes().clear();
        s.boxes().queueAnswers({answer, answer, answer});
        s.command(CM_START_MULTIPLE_RUN);
        ASSERT_TRUE(s.waitFor([] { return !MultipleRunSeriesActive() && !StartRequested && !Simulating; }))
            << "a refused series stays active";
        EXPECT_EQ(s.boxes().transcriptLines(), NothingShown);
        // Past its last run the series' number is one beyond its count.
        EXPECT_EQ(CurrentRunNumber(), answer == platform::BoxAnswer::Ok ? 1 : 4);
    }
    platform::deleteFile(Experiment().experimentDirectory + "/default.mr");
}

// A curve set to Auto in the plot specifications, with data from 0 to 0.5: the run ends
// with the scale -0.05 .. 0.55, round ends a step beyond the data, where it was -0.3 .. 0.7
// with half the frame empty.
TEST(PlotSpecsEditor, AnAutoScaledCurveEndsOnRoundBoundsJustBeyondItsData)
{
    simtest::WriteCodeFileOnce("ramp1.l", RampModel);
    Simulator s("-model ramp1");
    s.window().resize(900, 600);
    s.command(CM_PLOT_SPECS);
    TQNOutputSpecsDialog* editor = OutputSpecsEditorWindow();
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->itemText(outputspecs::List, 0), "A\tVar    \ty`PLOT\tOn\tOff");
    selectLine(*editor, outputspecs::List, 0);
    click(*editor, outputspecs::YAuto);
    click(*editor, outputspecs::Ok);
    ASSERT_EQ(OutputSpecsEditorWindow(), nullptr);
    ASSERT_EQ(PlotSpecs().curves[0].scaling, 2);
    s.command(CM_START_SIMULATION);
    ASSERT_TRUE(s.waitForRunEnd());
    const PlotCurve& y = PlotSpecs().curves[0];
    EXPECT_NEAR(CurveRuns(0).slot[0].runMax, 0.5, 1e-12);
    EXPECT_EQ(y.min, -0.05);
    EXPECT_EQ(y.max, 0.55);
    FlushPlotSteps();
    QApplication::processEvents();
    testsupport::grabToPng(s.window(), "simulator_window_auto_scale");
    EXPECT_TRUE(s.boxes().transcript().empty()) << testing::PrintToString(s.boxes().transcriptLines());
}
