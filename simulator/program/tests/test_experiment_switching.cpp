// Changing the experiment in the simulator's window: no value of one experiment
// passes to the next, and the open editors follow the experiment's name.
#include "simulator_harness.h"
#include "dialog_actions.h"

#include "platform/core/file_system.h"
#include "platform/testing/qt_support.h"
#include "simulator/model_variables.h"
#include "simulator/program/simulator_menus.h"
#include "simulator/run_specs.h"
#include "simulator/run_specs_dialog.h"
#include "simulator/simulator_state.h"
#include "simulator/value_editor_dialogs.h"

#include <gtest/gtest.h>

#include <QApplication>

#include <algorithm>
#include <filesystem>

using simtest::Simulator;
using simtest::click;
using simtest::type;

namespace {

namespace fs = std::filesystem;

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

    // "fresh" has no files: it gives no parameter or initial condition a value, and the
    // run specification is the one a new experiment has.
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
