// The experiment editors inside the simulator's window: the parameter and
// initial-condition editors with their values, Apply, OK, Cancel, Import and States, and
// the numbers every editor refuses.
#include "simulator_harness.h"
#include "dialog_actions.h"

#include "common/name_chooser_dialog.h"
#include "platform/testing/qt_support.h"
#include "simulator/model_variables.h"
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
    EXPECT_EQ(value(KindParameter, "ts1"), 0.25) << "the other values are applied";
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
