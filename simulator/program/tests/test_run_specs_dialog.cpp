// The run-specifications dialog inside the simulator's window: values shown with eight
// digits, the rows each method uses, a value that does not convert, OK, Cancel and Import.
#include "simulator_harness.h"

#include "common/name_chooser_dialog.h"
#include "platform/testing/qt_support.h"
#include "simulator/program/simulator_menus.h"
#include "simulator/run_specs.h"
#include "simulator/run_state.h"
#include "simulator/run_specs_dialog.h"
#include "simulator/simulator_state.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

#include <set>

using namespace runspecs;
using simtest::Simulator;

namespace {

TQNRunSpecsDialog& open(Simulator& s)
{
    s.command(CM_RUN_SPECS);
    TQNRunSpecsDialog* dialog = RunSpecsDialog();
    EXPECT_NE(dialog, nullptr);
    return *dialog;
}

void chooseMethod(TQNRunSpecsDialog& dialog, int method)
{
    auto* combo = testsupport::findControl<QComboBox>(dialog, Method);
    combo->setCurrentIndex(method);
    emit combo->activated(method); // as the user's choice
    QApplication::processEvents();
}

void type(TQNRunSpecsDialog& dialog, int id, const std::string& text)
{
    auto* edit = testsupport::findControl<QLineEdit>(dialog, id);
    edit->setFocus();
    edit->selectAll();
    edit->insert(QString::fromStdString(text)); // as typed: an edit the user changed
}

void click(TQNRunSpecsDialog& dialog, int id)
{
    testsupport::findControl<QAbstractButton>(dialog, id)->click();
    QApplication::processEvents();
}

/// The controls of the rows and their flags that are enabled.
std::set<int> enabledRowControls(const TQNRunSpecsDialog& dialog)
{
    std::set<int> ids;
    for (int r = 0; r < 8; ++r) {
        if (dialog.isControlEnabled(FirstField + r))
            ids.insert(FirstField + r);
        if (dialog.isControlEnabled(RowLabels[std::size_t(r)]))
            ids.insert(RowLabels[std::size_t(r)]);
    }
    for (int id : FlagBoxes)
        if (dialog.isControlEnabled(id))
            ids.insert(id);
    return ids;
}

} // namespace

TEST(RunSpecsDialog, ShowsTheLiveValuesWithEightDigitsAndTheNames)
{
    Simulator s;
    s.openExperiment("default");
    RunSpecs().finishTime = 1.0 / 3.0;
    RunSpecs().startTime = 123456789.0;
    TQNRunSpecsDialog& dialog = open(s);
    EXPECT_EQ(dialog.caption(), "SIM: Run Specifications Editor");
    EXPECT_EQ(dialog.text(Finish), "0.33333333");
    EXPECT_EQ(dialog.text(Start), "1.2345679e+08");
    EXPECT_EQ(dialog.text(FirstField + RowStep), "0.001");
    EXPECT_EQ(dialog.text(ModelName), "msd1");
    EXPECT_EQ(dialog.text(ExperimentName), "default");
    EXPECT_EQ(dialog.itemCount(Method), MethodCount);
    EXPECT_EQ(dialog.itemText(Method, MethodBdf), "BackwDiffForm");
    EXPECT_EQ(dialog.selectedIndex(Method), MethodRungeKutta4);
    EXPECT_TRUE(dialog.isChecked(Local));
    EXPECT_FALSE(dialog.isControlEnabled(Remote));
    EXPECT_FALSE(dialog.isControlEnabled(StoreStates));
    EXPECT_FALSE(dialog.edited()) << "showing the values is no edit";
    testsupport::grabToPng(dialog, "run_specs_dialog_rk4");

    // A second open raises the one dialog.
    EXPECT_EQ(&open(s), &dialog);
}

TEST(RunSpecsDialog, EachMethodEnablesExactlyTheRowsItUses)
{
    Simulator s;
    TQNRunSpecsDialog& dialog = open(s);
    // Runge-Kutta 4: the step and the output interval (its value while its flag is on).
    EXPECT_EQ(enabledRowControls(dialog), (std::set<int>{316, 322, 327, 311}));

    // BDF without algebraic loops: the integration errors, the step limits and its flags;
    // a flag's edit only while the flag is on.
    chooseMethod(dialog, MethodBdf);
    EXPECT_EQ(enabledRowControls(dialog), (std::set<int>{312, 324, 313, 323, 325, 326, 327, 309, 310, 311, 300, 301}));
    EXPECT_TRUE(dialog.text(FirstField + RowAlgAbsErr).empty()) << "no loops: emptied";
    EXPECT_TRUE(dialog.edited());
    click(dialog, 309);
    EXPECT_TRUE(dialog.isControlEnabled(317));
    EXPECT_EQ(dialog.text(317), "0.001");
    testsupport::grabToPng(dialog, "run_specs_dialog_bdf");

    chooseMethod(dialog, MethodEuler);
    EXPECT_EQ(enabledRowControls(dialog), (std::set<int>{316, 322, 327, 311}));
    chooseMethod(dialog, MethodRkf);
    EXPECT_EQ(enabledRowControls(dialog), (std::set<int>{312, 324, 313, 323, 326, 327, 310, 311}));
    click(dialog, Cancel);
    EXPECT_EQ(RunSpecs().method, MethodRungeKutta4) << "Cancel keeps the live record";
    EXPECT_EQ(RunSpecsDialog(), nullptr);
}

TEST(RunSpecsDialog, AModelWithAlgebraicLoopsGetsTheLoopErrorUnderBdf)
{
    Simulator s("-model loop1");
    ASSERT_EQ(Experiment().modelName, "loop1");
    TQNRunSpecsDialog& dialog = open(s);
    chooseMethod(dialog, MethodBdf);
    EXPECT_EQ(enabledRowControls(dialog),
              (std::set<int>{312, 324, 313, 323, 314, 320, 325, 326, 327, 309, 310, 311, 300, 301}));
    EXPECT_EQ(dialog.text(314), "1e-05");
    EXPECT_FALSE(dialog.isControlEnabled(315)) << "the relative loop error is used by no method";
}

TEST(RunSpecsDialog, ABadEntryIsRefusedWithItsMessageAndTheDialogStaysOpen)
{
    Simulator s;
    TQNRunSpecsDialog& dialog = open(s);
    type(dialog, Finish, "2.5x");
    EXPECT_TRUE(dialog.edited());
    click(dialog, Ok);
    ASSERT_EQ(s.boxes().transcript().size(), 1u);
    EXPECT_EQ(s.boxes().transcript()[0].lines, (std::vector<std::string>{"Error in entered value at:", "x", "Try again..."}));
    EXPECT_EQ(s.boxes().transcript()[0].owner, dialog.handle()) << "the dialog owns its box";
    ASSERT_EQ(RunSpecsDialog(), &dialog) << "still open";
    EXPECT_TRUE(testsupport::findControl<QLineEdit>(dialog, Finish)->hasFocus());
    EXPECT_EQ(RunSpecs().finishTime, 5.0);
    EXPECT_FALSE(ExperimentEdited);

    type(dialog, Finish, "2.5");
    click(dialog, Ok);
    EXPECT_EQ(RunSpecsDialog(), nullptr);
    EXPECT_EQ(RunSpecs().finishTime, 2.5);
    EXPECT_TRUE(ExperimentEdited);
    EXPECT_NE(s.window().windowTitle().toStdString().find("(edited)"), std::string::npos);
}

TEST(RunSpecsDialog, ImportKeepsTheImportedCopyUntilOk)
{
    Simulator s;
    TQNRunSpecsDialog& dialog = open(s);
    RunSpecs().settings[MethodRungeKutta4][RowStep].value = 0.05;
    click(dialog, Import);
    TQNFileDialog* chooser = NameChooserWindow();
    ASSERT_NE(chooser, nullptr);
    EXPECT_EQ(chooser->windowTitle().toStdString(), "Run Specs. of: msd1");
    chooser->setText(572, "default");
    testsupport::findControl<QPushButton>(*chooser, 801)->click();
    QApplication::processEvents();
    ASSERT_EQ(RunSpecsDialog(), &dialog) << "the dialog stays open after the import";
    EXPECT_EQ(dialog.text(FirstField + RowStep), "0.001");
    EXPECT_EQ(dialog.text(ExperimentName), "default");
    EXPECT_TRUE(dialog.edited());
    EXPECT_EQ(RunSpecs().settings[MethodRungeKutta4][RowStep].value, 0.05) << "nothing reaches the live record yet";
    click(dialog, Ok);
    EXPECT_EQ(RunSpecs().settings[MethodRungeKutta4][RowStep].value, 0.001);
}

TEST(RunSpecsDialog, OkAndImportWaitWhileARunGoesOn)
{
    Simulator s;
    s.openExperiment("default");
    RunSpecs().finishTime = 1e9;
    TQNRunSpecsDialog& dialog = open(s);
    s.command(CM_START_SIMULATION);
    ASSERT_TRUE(s.waitFor([] { return Simulating != 0; }));
    type(dialog, FirstField + RowStep, "0.002");
    click(dialog, Ok);
    EXPECT_EQ(RunSpecsDialog(), &dialog) << "the running run keeps its specifications";
    EXPECT_EQ(RunSpecs().settings[MethodRungeKutta4][RowStep].value, 0.001);
    click(dialog, Import);
    EXPECT_EQ(NameChooserWindow(), nullptr) << "no import during a run";
    EXPECT_TRUE(s.boxes().transcript().empty()) << testing::PrintToString(s.boxes().transcriptLines());

    s.command(CM_INTERRUPT);
    ASSERT_TRUE(s.waitForRunEnd());
    click(dialog, Ok);
    EXPECT_EQ(RunSpecsDialog(), nullptr);
    EXPECT_EQ(RunSpecs().settings[MethodRungeKutta4][RowStep].value, 0.002);
}

// A flag box shows its own row again, never the others: what was typed in them stays, and OK
// takes it with the flag's row.
TEST(RunSpecsDialog, AFlagClickedKeepsWhatWasTypedInTheOtherFields)
{
    struct Case {
        int method;
        int typedField;     ///< a field without a flag, typed before the click
        const char* typed;
        int flagBox;
        int flagRow;
        const char* flagValue;
    } cases[] = {
        {MethodRungeKutta4, FirstField + RowStep, "0.001", 311, RowComInterval, "0.01"},
        {MethodBdf, FirstField + RowAbsErr, "1e-07", 309, RowInitialStep, "0.0001"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.method);
        Simulator s;
        TQNRunSpecsDialog& dialog = open(s);
        if (c.method != MethodRungeKutta4)
            chooseMethod(dialog, c.method);
        type(dialog, c.typedField, c.typed);
        click(dialog, c.flagBox);
        EXPECT_EQ(dialog.text(c.typedField), c.typed);
        ASSERT_TRUE(dialog.isControlEnabled(FirstField + c.flagRow));
        type(dialog, FirstField + c.flagRow, c.flagValue);
        click(dialog, Ok);
        ASSERT_EQ(RunSpecsDialog(), nullptr) << testing::PrintToString(s.boxes().transcriptLines());
        const RunSpecification& live = RunSpecs();
        EXPECT_EQ(live.method, c.method);
        EXPECT_EQ(live.row(c.typedField - FirstField).value, std::stod(c.typed));
        EXPECT_EQ(live.row(c.flagRow).switchOn, 1);
        EXPECT_EQ(live.row(c.flagRow).value, std::stod(c.flagValue));
    }
}
