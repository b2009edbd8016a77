// The experiment editors inside the simulator's window: the parameter and
// initial-condition editors with their values, Apply, OK, Cancel, Import and States, and
// the numbers every editor refuses.
#include "simulator_harness.h"
#include "dialog_actions.h"

#include "common/name_chooser_dialog.h"
#include "platform/testing/qt_support.h"
#include "simulator/model_variables.h"
#include "simulator/multiple_run_dialog.h"
#include "simulator/multiple_runs.h"
#include "simulator/output_specs_dialog.h"
#include "simulator/plot_specs.h"
#include "simulator/program/simulator_menus.h"
#include "simulator/run_specs.h"
#include "simulator/run_specs_dialog.h"
#include "simulator/simulator_state.h"
#include "simulator/value_editor_dialogs.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include <fstream>

using namespace valueeditor;
using simtest::Simulator;
using simtest::click;
using simtest::type;

namespace {

/// The code file of a model with one parameter of every type but String: x' = gain.
constexpr const char* TypedModel = "#Hclass\ttyped1\n#Hversion\t1\n\n"
                                   "#DParam \t5\n\t#real\tgain\n\t#int\tcount\n\t#bool\ton\n"
                                   "\t#sampletime\tts1\n\t#sampletime\tts2\n\n"
                                   "#DIncond\t1\n\t#real\tx0\n\n#Dstate_ind\t1\n\t#real\tx\n\n"
                                   "#DRate_ind\t1\n\t#real\tdx\n\n#EInitial\t1\n\tmov\ts0\tI0\n\n#Einputs\t0\n\n"
                                   "#Edynamic\t1\n\tmov\tR0\tP0\n\n#Eoutputs\t0\n";

/// The typed model's code file beside the processed examples, written once.
void writeTypedModel()
{
    static const bool written = [] {
        std::ofstream(simtest::ProcessedExamples().models + "/typed1.l") << TypedModel;
        return true;
    }();
    (void)written;
}




void selectLine(platform::Dialog& dialog, int line) { simtest::selectLine(dialog, List, line); }

int indexOf(int kind, const std::string& name)
{
    for (int i = 0; i < Variables().kinds[kind].count; ++i)
        if (FindNameInEntry(kind, i, name.c_str()) >= 0)
            return i;
    return -1;
}

double value(int kind, const std::string& name) { return Variables().kinds[kind].values[indexOf(kind, name)]; }

/// Line i of the list whose text begins with the name.
int lineOf(platform::Dialog& dialog, const std::string& name)
{
    for (int i = 0; i < dialog.itemCount(List); ++i)
        if (dialog.itemText(List, i).rfind(name + "\t", 0) == 0)
            return i;
    return -1;
}

} // namespace

TEST(ParametersEditor, IntegersTakeAPrefixedBaseAndShowEightDigits)
{
    writeTypedModel();
    Simulator s("-model typed1");
    s.command(CM_PARAMETERS);
    TQNParEditorDialog* dialog = ParametersEditor();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->windowTitle().toStdString(), "SIM: Parameters Editor");
    EXPECT_TRUE(dialog->isControlEnabled(SameSampleTime));
    EXPECT_EQ(dialog->itemCount(List), 5);
    const int count = lineOf(*dialog, "count");
    ASSERT_GE(count, 0);
    EXPECT_EQ(dialog->itemText(List, count), "count\tInteger\t.");

    selectLine(*dialog, count);
    type(*dialog, Value, "0x10");
    EXPECT_EQ(dialog->windowTitle().toStdString(), "SIM: Parameters Editor (edited)");
    click(*dialog, Apply);
    EXPECT_EQ(value(KindParameter, "count"), 16.0);
    EXPECT_EQ(dialog->itemText(List, count), "count\tInteger\t00000016");
    EXPECT_EQ(dialog->selectedIndex(List), count + 1) << "Apply moves to the next line";
    EXPECT_TRUE(ExperimentEdited);

    // Moving over the line again does not read the shown "00000016" back as octal.
    selectLine(*dialog, count);
    EXPECT_EQ(dialog->text(Value), "00000016");
    selectLine(*dialog, 0);
    type(*dialog, Value, "017");
    selectLine(*dialog, count);
    click(*dialog, Apply);
    EXPECT_EQ(value(KindParameter, "count"), 16.0);

    // One SampleTime value is every SampleTime's value; a wrong value is said and kept out.
    selectLine(*dialog, lineOf(*dialog, "ts1"));
    type(*dialog, Value, "0.25");
    click(*dialog, Apply);
    EXPECT_EQ(value(KindParameter, "ts1"), 0.25);
    EXPECT_EQ(value(KindParameter, "ts2"), 0.25);
    testsupport::grabToPng(*dialog, "parameters_editor");
    selectLine(*dialog, lineOf(*dialog, "gain"));
    type(*dialog, Value, "2.5x");
    click(*dialog, Ok);
    EXPECT_TRUE(simtest::SawLine(s.boxes(), "Error in entered value at:"));
    EXPECT_TRUE(simtest::SawLine(s.boxes(), "x"));
    EXPECT_EQ(ParametersEditor(), dialog) << "the editor stays for another try";
    click(*dialog, Cancel);
    EXPECT_EQ(ParametersEditor(), nullptr);
}

TEST(ParametersEditor, ClearingAValueAndCancelAndImport)
{
    Simulator s;
    s.openExperiment("default");
    s.command(CM_PARAMETERS);
    TQNParEditorDialog* dialog = ParametersEditor();
    ASSERT_NE(dialog, nullptr);
    const int k = lineOf(*dialog, "k`c");
    EXPECT_EQ(dialog->itemText(List, k), "k`c\tReal\t0.025");

    // Cancel drops what was typed.
    selectLine(*dialog, k);
    type(*dialog, Value, "7");
    click(*dialog, Cancel);
    EXPECT_EQ(ParametersEditor(), nullptr);
    EXPECT_EQ(value(KindParameter, "k`c"), 0.025);

    // Import shows the other experiment's values; Cancel leaves the live ones as they were.
    Variables().kinds[KindParameter].values[indexOf(KindParameter, "k`c")] = 0.5;
    s.command(CM_PARAMETERS);
    dialog = ParametersEditor();
    ASSERT_NE(dialog, nullptr);
    click(*dialog, Import);
    TQNFileDialog* chooser = NameChooserWindow();
    ASSERT_NE(chooser, nullptr);
    EXPECT_EQ(chooser->windowTitle().toStdString(), "Parameters of: msd1");
    chooser->setText(572, "default");
    testsupport::findControl<QPushButton>(*chooser, 801)->click();
    QApplication::processEvents();
    ASSERT_EQ(ParametersEditor(), dialog);
    EXPECT_EQ(dialog->itemText(List, k), "k`c\tReal\t0.025");
    EXPECT_EQ(dialog->text(ExperimentName), "default");
    EXPECT_TRUE(dialog->edited());
    EXPECT_EQ(value(KindParameter, "k`c"), 0.5) << "nothing reaches the model before OK";
    click(*dialog, Cancel);
    EXPECT_EQ(value(KindParameter, "k`c"), 0.5);

    // An emptied value gives the variable none.
    s.command(CM_PARAMETERS);
    dialog = ParametersEditor();
    selectLine(*dialog, k);
    type(*dialog, Value, "");
    click(*dialog, Apply);
    EXPECT_EQ(dialog->itemText(List, k), "k`c\tReal\t.");
    EXPECT_EQ(Variables().kinds[KindParameter].hasValue[std::size_t(indexOf(KindParameter, "k`c"))], 0);
}

TEST(InitialConditionsEditor, StatesAreCopiedIntoTheInitialConditions)
{
    Simulator s;
    s.openExperiment("default");
    s.command(CM_START_SIMULATION);
    ASSERT_TRUE(s.waitForRunEnd());
    s.command(CM_INITIAL_CONDITIONS);
    TQNInitialCondDialog* dialog = InitialConditionsEditor();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->windowTitle().toStdString(), "SIM: Initial Conditions Editor");
    ASSERT_EQ(dialog->itemCount(List), 2);
    EXPECT_EQ(dialog->itemText(List, 0), "v`p[2].e_indep_state\t0");
    click(*dialog, States);
    EXPECT_TRUE(dialog->edited());
    const VariableKind& states = Variables().kinds[KindState];
    for (int i = 0; i < 2; ++i) {
        char expected[64];
        std::snprintf(expected, sizeof expected, "%.15g", states.values[i]);
        EXPECT_NE(dialog->itemText(List, i).find(expected), std::string::npos) << dialog->itemText(List, i);
    }
    EXPECT_EQ(Variables().kinds[KindInitial].values[0], 0.0) << "not before OK";
    const double first = states.values[0];
    click(*dialog, Ok);
    EXPECT_EQ(InitialConditionsEditor(), nullptr);
    EXPECT_EQ(Variables().kinds[KindInitial].values[0], first);
    EXPECT_NE(first, 0.0);

    // A wrong value stops Apply: nothing is taken.
    s.command(CM_INITIAL_CONDITIONS);
    dialog = InitialConditionsEditor();
    type(*dialog, Value, "1e");
    click(*dialog, Apply);
    EXPECT_EQ(Variables().kinds[KindInitial].values[0], first);
    EXPECT_FALSE(simtest::SawLine(s.boxes(), "Getting a cancel message"));
    testsupport::grabToPng(*dialog, "initial_conditions_editor");
}

// "1e400" is too large for a number: the run specifications and the initial conditions
// refuse it as they refuse letters, keep what they had, and the run goes as before.
TEST(ExperimentEditors, AnOverflowingNumberIsRefusedLikeLettersAndTheRunStaysFinite)
{
    Simulator s;
    s.openExperiment("default");
    s.command(CM_RUN_SPECS);
    TQNRunSpecsDialog* specs = RunSpecsDialog();
    ASSERT_NE(specs, nullptr);
    type(*specs, runspecs::Finish, "1e400");
    click(*specs, runspecs::Ok);
    ASSERT_EQ(s.boxes().transcript().size(), 1u);
    EXPECT_EQ(s.boxes().transcript()[0].lines,
              (std::vector<std::string>{"Error in entered value at:", "1e400", "Try again..."}));
    ASSERT_EQ(RunSpecsDialog(), specs) << "the dialog stays open";
    EXPECT_EQ(RunSpecs().finishTime, 5.0);
    click(*specs, runspecs::Cancel);

    s.boxes().clear();
    s.command(CM_INITIAL_CONDITIONS);
    TQNInitialCondDialog* conditions = InitialConditionsEditor();
    ASSERT_NE(conditions, nullptr);
    const double before = Variables().kinds[KindInitial].values[0];
    type(*conditions, Value, "1e400");
    click(*conditions, Apply);
    EXPECT_EQ(s.boxes().transcript().at(0).lines,
              (std::vector<std::string>{"Error in entered value at:", "1e400", "Try again..."}));
    EXPECT_EQ(Variables().kinds[KindInitial].values[0], before);
    click(*conditions, Cancel);

    s.command(CM_START_SIMULATION);
    ASSERT_TRUE(s.waitForRunEnd());
    EXPECT_EQ(s.window().shownStatusText().rfind("Simulation finished.", 0), 0u) << s.window().shownStatusText();
}

namespace {

/// Ends the typing with Enter in the edit, as a user does: the dialog's default button answers.
void pressEnter(platform::Dialog& dialog, int id)
{
    QTest::keyClick(testsupport::findControl<QLineEdit>(dialog, id), Qt::Key_Return);
    QApplication::processEvents();
}

/// Keys typed where the focus is: they replace a selected text.
void typeOver(const std::string& keys)
{
    QTest::keyClicks(QApplication::focusWidget(), QString::fromStdString(keys));
    QApplication::processEvents();
}

/// The edit has the focus and its whole text is selected, so that the next keys replace it.
testing::AssertionResult readyToTryAgain(platform::Dialog& dialog, int id)
{
    auto* edit = testsupport::findControl<QLineEdit>(dialog, id);
    if (QApplication::focusWidget() != edit)
        return testing::AssertionFailure() << "the focus is not on control " << id << " but on "
                                           << (QApplication::focusWidget() ? QApplication::focusWidget()->objectName().toStdString() : "none");
    if (edit->text().isEmpty() || edit->selectedText() != edit->text())
        return testing::AssertionFailure() << "\"" << edit->selectedText().toStdString() << "\" of \""
                                           << edit->text().toStdString() << "\" is selected";
    return testing::AssertionSuccess();
}

std::vector<std::string> refusal(const std::string& rest) { return {"Error in entered value at:", rest, "Try again..."}; }

} // namespace

// Experiment > Parameters..., a line, a value the editor cannot read and Enter: the editor
// says so and stays on that line with the text selected; nothing is applied, the editor
// stays edited and the experiment is not; a good value then goes in with Enter.
TEST(ParametersEditor, ARefusedValueStaysOnItsLineSelectedForAnotherTryAndAppliesNothing)
{
    Simulator s;
    s.openExperiment("default");
    ASSERT_FALSE(ExperimentEdited);
    s.command(CM_PARAMETERS);
    TQNParEditorDialog* dialog = ParametersEditor();
    ASSERT_NE(dialog, nullptr);
    const int k = lineOf(*dialog, "k`c");
    const int d = lineOf(*dialog, "d`r");
    ASSERT_GE(k, 0);
    ASSERT_GE(d, 0);

    // Apply with a number too large, then Cancel: nothing has changed anywhere.
    selectLine(*dialog, k);
    type(*dialog, Value, "1e400");
    click(*dialog, Apply);
    EXPECT_EQ(s.boxes().transcript().at(0).lines, refusal("1e400"));
    ASSERT_EQ(ParametersEditor(), dialog);
    EXPECT_EQ(dialog->windowTitle().toStdString(), "SIM: Parameters Editor (edited)") << "nothing was applied";
    EXPECT_EQ(dialog->selectedIndex(List), k);
    EXPECT_TRUE(readyToTryAgain(*dialog, Value));
    click(*dialog, Cancel);
    EXPECT_EQ(ParametersEditor(), nullptr);
    EXPECT_FALSE(ExperimentEdited);
    EXPECT_EQ(s.window().windowTitle().toStdString(), "Orvanta  Simulator - msd1, exp: default");
    EXPECT_EQ(value(KindParameter, "k`c"), 0.025);

    // Enter, and a move to another line, keep the refused text where it was typed.
    s.boxes().clear();
    s.command(CM_PARAMETERS);
    dialog = ParametersEditor();
    selectLine(*dialog, k);
    type(*dialog, Value, "abc");
    pressEnter(*dialog, Value);
    ASSERT_EQ(ParametersEditor(), dialog) << "Enter on a refused value keeps the editor";
    EXPECT_EQ(dialog->text(Value), "abc");
    EXPECT_TRUE(readyToTryAgain(*dialog, Value));
    selectLine(*dialog, d);
    EXPECT_EQ(dialog->selectedIndex(List), k);
    EXPECT_EQ(dialog->text(Value), "abc");
    EXPECT_EQ(s.boxes().transcriptLines(),
              (std::vector<std::string>{"Error in entered value at:", "abc", "Try again...", "--",
                                        "Error in entered value at:", "abc", "Try again..."}));
    EXPECT_TRUE(readyToTryAgain(*dialog, Value));
    EXPECT_FALSE(ExperimentEdited);

    typeOver("0.05");
    pressEnter(*dialog, Value);
    EXPECT_EQ(ParametersEditor(), nullptr);
    EXPECT_EQ(value(KindParameter, "k`c"), 0.05);
    EXPECT_TRUE(ExperimentEdited);
}

// A value typed on one line, then a wrong one on the next and Apply: the parameter editor
// takes the good value and keeps the wrong one selected for another try; the
// initial-condition editor takes nothing. A good value then goes in with Apply.
TEST(ExperimentEditors, ApplyWithAWrongValueTakesTheOtherParametersButNoInitialCondition)
{
    struct Case {
        int command;
        int kind;
        const char* first;  ///< typed, then left for the next line
        const char* second; ///< typed wrong, then right
        bool takesTheFirst;
    } cases[] = {
        {CM_PARAMETERS, KindParameter, "k`c", "d`r", true},
        {CM_INITIAL_CONDITIONS, KindInitial, "v`p[2].e_indep_state", "v`p[3].f_indep_state", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.first);
        Simulator s;
        s.openExperiment("default");
        s.command(c.command);
        platform::Dialog* dialog = c.kind == KindParameter ? static_cast<platform::Dialog*>(ParametersEditor())
                                                           : InitialConditionsEditor();
        ASSERT_NE(dialog, nullptr);
        const double before = value(c.kind, c.second);
        const int second = lineOf(*dialog, c.second);
        selectLine(*dialog, lineOf(*dialog, c.first));
        type(*dialog, Value, "0.125");
        selectLine(*dialog, second);
        type(*dialog, Value, "0.5x");
        click(*dialog, Apply);
        EXPECT_EQ(s.boxes().transcriptLines(), refusal("x"));
        EXPECT_EQ(value(c.kind, c.first), c.takesTheFirst ? 0.125 : 0.0);
        EXPECT_EQ(value(c.kind, c.second), before);
        EXPECT_EQ(bool(ExperimentEdited), c.takesTheFirst);
        EXPECT_EQ(dialog->selectedIndex(List), second);
        EXPECT_EQ(dialog->text(Value), "0.5x");
        EXPECT_TRUE(readyToTryAgain(*dialog, Value));
        EXPECT_TRUE(dialog->edited()) << "the wrong value is still to be taken";

        typeOver("2");
        click(*dialog, Apply);
        EXPECT_EQ(value(c.kind, c.first), 0.125);
        EXPECT_EQ(value(c.kind, c.second), 2.0);
        EXPECT_FALSE(dialog->edited());
        EXPECT_TRUE(ExperimentEdited);
    }
}

// The initial conditions, the run and plot specifications and the multiple runs: a text
// that is not a number keeps its editor open on the field, selected for another try, and
// changes nothing.
TEST(ExperimentEditors, EveryEditorThatReadsNumbersKeepsARefusedTextSelectedInItsField)
{
    Simulator s;
    s.openExperiment("default");

    s.command(CM_INITIAL_CONDITIONS);
    TQNInitialCondDialog* conditions = InitialConditionsEditor();
    ASSERT_NE(conditions, nullptr);
    const double before = Variables().kinds[KindInitial].values[0];
    type(*conditions, Value, "3y");
    pressEnter(*conditions, Value);
    ASSERT_EQ(InitialConditionsEditor(), conditions);
    EXPECT_TRUE(readyToTryAgain(*conditions, Value));
    EXPECT_TRUE(conditions->edited());
    EXPECT_EQ(Variables().kinds[KindInitial].values[0], before);
    click(*conditions, Cancel);

    s.command(CM_RUN_SPECS);
    TQNRunSpecsDialog* specs = RunSpecsDialog();
    ASSERT_NE(specs, nullptr);
    const int step = runspecs::FirstField + RowStep;
    const double stepBefore = RunSpecs().row(RowStep).value;
    type(*specs, step, "3y");
    pressEnter(*specs, step);
    ASSERT_EQ(RunSpecsDialog(), specs);
    EXPECT_TRUE(readyToTryAgain(*specs, step));
    // Another method waits for the step as well.
    simtest::chooseCombo(*specs, runspecs::Method, MethodEuler);
    EXPECT_EQ(specs->selectedIndex(runspecs::Method), MethodRungeKutta4);
    EXPECT_EQ(specs->text(step), "3y");
    EXPECT_TRUE(readyToTryAgain(*specs, step));
    EXPECT_EQ(RunSpecs().row(RowStep).value, stepBefore);
    click(*specs, runspecs::Cancel);

    s.command(CM_PLOT_SPECS);
    TQNOutputSpecsDialog* plot = OutputSpecsEditorWindow();
    ASSERT_NE(plot, nullptr);
    const double curveMax = PlotSpecs().curves[0].max;
    type(*plot, outputspecs::YTo, "abc");
    pressEnter(*plot, outputspecs::YTo);
    ASSERT_EQ(OutputSpecsEditorWindow(), plot);
    EXPECT_TRUE(readyToTryAgain(*plot, outputspecs::YTo));
    simtest::selectLine(*plot, outputspecs::List, 1);
    EXPECT_EQ(plot->selectedIndex(outputspecs::List), 0) << "the curve waits for its number";
    EXPECT_TRUE(readyToTryAgain(*plot, outputspecs::YTo));
    EXPECT_EQ(PlotSpecs().curves[0].max, curveMax);
    plot->endDialog(platform::IDCANCEL);
    QApplication::processEvents();

    s.command(CM_MULTIPLE_RUN_SPECS);
    TQNMultipleRunDialog* multiple = MultipleRunEditorWindow();
    ASSERT_NE(multiple, nullptr);
    testsupport::answerNextModal([](QWidget& modal) {
        testsupport::findControl<QPushButton>(modal, platform::IDOK)->click();
    });
    click(*multiple, multirun::ChooseParameter);
    multiple->activateWindow(); // the offscreen platform gives the activation back to no one
    QApplication::processEvents();
    type(*multiple, multirun::Max, "2,5");
    pressEnter(*multiple, multirun::Max);
    ASSERT_EQ(MultipleRunEditorWindow(), multiple);
    EXPECT_TRUE(readyToTryAgain(*multiple, multirun::Max));
    typeOver("2.5");
    type(*multiple, multirun::Field, "3y");
    click(*multiple, multirun::Optimization);
    EXPECT_TRUE(multiple->isChecked(multirun::Plain)) << "the type waits for the steps";
    EXPECT_TRUE(readyToTryAgain(*multiple, multirun::Field));
    pressEnter(*multiple, multirun::Field);
    ASSERT_EQ(MultipleRunEditorWindow(), multiple);
    EXPECT_TRUE(MultipleRunSpecs().variables.empty());
    typeOver("3");
    pressEnter(*multiple, multirun::Field);
    EXPECT_EQ(MultipleRunEditorWindow(), nullptr);
    ASSERT_EQ(MultipleRunSpecs().variables.size(), 1u);
    EXPECT_EQ(MultipleRunSpecs().variables[0].to, 2.5);
    EXPECT_EQ(MultipleRunSpecs().steps, 3);
    MultipleRunSpecs() = MultipleRunSpec{};

    EXPECT_EQ(s.boxes().transcriptLines(),
              (std::vector<std::string>{"Error in entered value at:", "y", "Try again...", "--",
                                        "Error in entered value at:", "y", "Try again...", "--",
                                        "Error in entered value at:", "y", "Try again...", "--",
                                        "Error in entered value at:", "abc", "Try again...", "--",
                                        "Error in entered value at:", "abc", "Try again...", "--",
                                        "Error in reading \"to\" value", "--",
                                        "Error in entered value at:", "y", "Try again...", "--",
                                        "Error in entered value at:", "y", "Try again..."}));
}

// OK in the plot specifications without a change leaves the experiment unedited, and
// leaves the time range that the run specifications gave meanwhile.
TEST(PlotSpecsEditor, OkWithoutAChangeLeavesTheExperimentAndTheLiveSpecificationAsTheyAre)
{
    Simulator s;
    s.openExperiment("default");
    s.command(CM_PLOT_SPECS);
    ASSERT_NE(OutputSpecsEditorWindow(), nullptr);
    click(*OutputSpecsEditorWindow(), outputspecs::Ok);
    EXPECT_EQ(OutputSpecsEditorWindow(), nullptr);
    EXPECT_FALSE(ExperimentEdited);
    EXPECT_EQ(s.window().windowTitle().toStdString(), "Orvanta  Simulator - msd1, exp: default");

    s.command(CM_PLOT_SPECS);
    TQNOutputSpecsDialog* plot = OutputSpecsEditorWindow();
    ASSERT_NE(plot, nullptr);
    s.command(CM_RUN_SPECS);
    TQNRunSpecsDialog* specs = RunSpecsDialog();
    type(*specs, runspecs::Finish, "8");
    click(*specs, runspecs::Ok);
    ASSERT_EQ(PlotSpecs().x.max, 8.0);
    click(*plot, outputspecs::Ok);
    EXPECT_EQ(PlotSpecs().x.max, 8.0) << "the copy made before the new time range is not taken back";
    RunSpecs() = RunSpecification::defaults();
}
