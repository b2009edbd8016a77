// The model commands without widgets: opening from the model directories,
// the title and the status line, saving with its file variants, failed opens,
// selection events, and the processing and simulation requests.
#include "grapheditor/program/tests/editor_test_support.h"

#include "grapheditor/program/navigation.h"
#include "grapheditor/program/processing_handoff.h"
#include "grapheditor/program/selection.h"

#include "common/model_file_names.h"
#include "platform/core/message_numbers.h"

#include <gtest/gtest.h>

#include <unistd.h>

using namespace editortest;

namespace {

class ModelCommands : public ::testing::Test, public EditorFixture {
protected:
    /// A main model "pump1" (the mass-spring-damper) in a directory.
    std::string writePump(const std::string& directory, const std::string& extension = ".mgg")
    {
        std::string path = directory + "/pump1" + extension;
        writeFile(path, example("msd1.mg0", "msd", "pump"));
        return path;
    }
    void writeFile(const std::string& path, const std::string& text)
    {
        ASSERT_TRUE(platform::writeFileAtomically(path, text));
    }
    int state() const { return Editor().machine.state(); }
};

} // namespace

TEST_F(ModelCommands, AModelInALaterDirectoryIsOpenedThereAndNamedInTheTitle)
{
    start();
    EXPECT_EQ(state(), STATE_NO_MODEL);
    EXPECT_EQ(frame.title, "Orvanta  Graph Editor");
    EXPECT_EQ(frame.mask, 0xC30043CFu);
    writePump(more);

    EXPECT_EQ(OpenModelFromDirectories("pump1"), 1);
    EXPECT_EQ(Editor().modelName, "pump1");
    EXPECT_EQ(CurrentModel().submodels.size(), 5u);
    EXPECT_EQ(frame.title, "Orvanta  Graph Editor - pump1");
    EXPECT_EQ(state(), STATE_NAMED);
    EXPECT_EQ(frame.mask, 0xFF03FFFFu);
    // Nothing was made in the first directory.
    EXPECT_FALSE(exists(models + "/pump1.mgg"));

    // A name found nowhere starts a new model of that name in the first directory.
    EXPECT_EQ(OpenModelFromDirectories("tank1"), 1);
    EXPECT_EQ(Editor().modelName, "tank1");
    EXPECT_TRUE(CurrentModel().submodels.empty());
    EXPECT_EQ(frame.kept, "New model.");
    EXPECT_EQ(state(), STATE_NAMED);
    // Opening in another directory than the first does not start one.
    EXPECT_EQ(OpenModel(more, "tank2"), 0);
}

TEST_F(ModelCommands, TheStartUpOpensTheModelOfTheCommandLineFromAnyDirectory)
{
    writePump(more, ".mg0");
    Startup().StartupModelName = "pump1";
    start();
    EXPECT_EQ(Editor().modelName, "pump1");
    EXPECT_EQ(state(), STATE_NAMED);
}

TEST_F(ModelCommands, TitlesShowTheNameTheEditedFlagAndTheMinimisedForm)
{
    start();
    struct Case {
        std::string name;
        bool edited;
        bool minimised;
        std::string title;
    };
    const Case cases[] = {
        {"", false, false, "Orvanta  Graph Editor"},
        {"", true, false, "Orvanta  Graph Editor - untitled (edited)"},
        {"pump1", false, false, "Orvanta  Graph Editor - pump1"},
        {"pump1", true, false, "Orvanta  Graph Editor - pump1 (edited)"},
        {"pump1", true, true, ">pump1"},
        {"pump1", false, true, "pump1"},
        {"", false, true, "untitled"},
        {"", true, true, ">untitled"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        frame.minimised = c.minimised;
        MarkEdited(CurrentModel(), c.edited ? 1 : 0);
        UpdateTitle(c.name);
        EXPECT_EQ(frame.title, c.title);
    }
}

TEST_F(ModelCommands, KeptStatusTextsStayWhilePassingTextsComeAndGo)
{
    start();
    ShowStatus("Model saved.", 1);
    ShowStatus("Drawing is copied to clipboard.", 0);
    EXPECT_EQ(frame.shown, "Drawing is copied to clipboard.");
    ShowStatus("", 0);
    EXPECT_EQ(frame.shown, "Model saved.");
    EXPECT_EQ(Editor().statusText, "Model saved.");
    ShowStatus("", 1);
    EXPECT_EQ(frame.shown, "");
}

TEST_F(ModelCommands, CheckAndSaveWritesTheCheckedFileAndSaveAsTheEditFile)
{
    start();
    const std::string edit = writePump(models);
    writeFile(models + "/pump1.sg0", "stale\n");
    ASSERT_EQ(OpenModelFromDirectories("pump1"), 1);
    SetEdited();
    EXPECT_EQ(frame.title, "Orvanta  Graph Editor - pump1 (edited)");

    SaveCommand();
    EXPECT_TRUE(exists(models + "/pump1.mg0"));
    EXPECT_FALSE(exists(edit));
    EXPECT_FALSE(exists(models + "/pump1.sg0"));
    EXPECT_EQ(frame.kept, "Graphical info and Keldor saved.");
    EXPECT_EQ(frame.title, "Orvanta  Graph Editor - pump1");
    EXPECT_EQ(CurrentModel().edited, 0);
    EXPECT_EQ(read(models + "/pump1.mg0").rfind("bond graph pump version 1\n", 0), 0u);

    // Save As under the same name writes the edit file and takes the checked one away.
    frame.answers.push_back("pump1");
    SaveAsCommand();
    EXPECT_EQ(frame.chooserTitles.back(), "Save as New Model 5");
    EXPECT_TRUE(exists(edit));
    EXPECT_FALSE(exists(models + "/pump1.mg0"));
    EXPECT_EQ(frame.kept, "Only graphical info saved.");
    EXPECT_EQ(state(), STATE_NAMED);
}

TEST_F(ModelCommands, AnUntitledModelIsSavedUnderTheNameTheUserGives)
{
    start();
    EXPECT_EQ(NewModel(), 1);
    SetEdited();
    EXPECT_EQ(state(), STATE_UNTITLED);
    frame.answers.push_back("tank1");
    SaveCommand();
    EXPECT_EQ(frame.chooserTitles.back(), "Check & Save model 5");
    EXPECT_TRUE(exists(models + "/tank1.mg0"));
    EXPECT_EQ(Editor().modelName, "tank1");
    EXPECT_EQ(state(), STATE_NAMED);
}

TEST_F(ModelCommands, AFailedOpenKeepsTheModelShownAsItWasAndSavingItReplacesNothingElse)
{
    start();
    const std::string pump = writePump(models);
    ASSERT_EQ(OpenModelFromDirectories("pump1"), 1);
    const std::size_t submodels = CurrentModel().submodels.size();
    writeFile(models + "/bad1.mgg", "bond graph bad version 1\nsubclasses\n  se;1 f 40 100 !T\nconnections\n  f`p -> \n");

    EXPECT_EQ(OpenModel(models, "bad1"), 0);
    EXPECT_EQ(frame.kept, "syntax error in line 6: <NL>");
    EXPECT_EQ(Editor().modelName, "pump1");
    EXPECT_EQ(CurrentModel().edited, 0);
    EXPECT_EQ(CurrentModel().submodels.size(), submodels);
    EXPECT_EQ(frame.title, "Orvanta  Graph Editor - pump1");
    EXPECT_EQ(state(), STATE_NAMED);

    // The model shown is saved under its own name only.
    const std::string bad = read(models + "/bad1.mgg");
    SaveCommand();
    EXPECT_EQ(read(models + "/bad1.mgg"), bad);
    EXPECT_TRUE(exists(models + "/pump1.mg0"));
}

TEST_F(ModelCommands, SelectionEventsComeOnlyWhenTheSelectionChanges)
{
    start();
    writePump(models);
    ASSERT_EQ(OpenModelFromDirectories("pump1"), 1);
    Submodel* first = CurrentModel().submodels.head();
    Submodel* second = first->next;

    select_object(SELECT_SUBMODEL, first, 0);
    EXPECT_EQ(state(), STATE_NAMED_SELECTION);
    // A second click on the same object, and a click on another, keep the editor in its states.
    select_object(SELECT_SUBMODEL, first, 0);
    EXPECT_EQ(state(), STATE_NAMED_SELECTION);
    select_object(SELECT_SUBMODEL, second, 0);
    EXPECT_EQ(state(), STATE_NAMED_SELECTION);
    EXPECT_EQ(first->selected, 0);
    EXPECT_EQ(second->selected, 1);
    clear_selection();
    EXPECT_EQ(state(), STATE_NAMED);
    // Clicks on empty canvas with nothing selected change nothing.
    clear_selection();
    select_object(SELECT_NONE, nullptr, 0);
    EXPECT_EQ(state(), STATE_NAMED);
    EXPECT_NE(frame.mask, 0u);

    // Emptying the model forgets the selection with it.
    select_object(SELECT_SUBMODEL, second, 0);
    NewModel();
    EXPECT_EQ(state(), STATE_NO_MODEL);
    EXPECT_EQ(has_selection(), 0);
}

TEST_F(ModelCommands, CausalAnalysisSavesTheModelAndPostsTheLaunchWithItsWindowAndName)
{
    start();
    writePump(models);
    ASSERT_EQ(OpenModelFromDirectories("pump1"), 1);
    SetEdited();

    EXPECT_EQ(StartProcessing(PROCESS_CAUSAL_ANALYSIS, true), 1);
    EXPECT_TRUE(exists(models + "/pump1.mg0"));
    std::vector<platform::Message> launches = frame.take(UM_LAUNCH);
    ASSERT_EQ(launches.size(), 1u);
    EXPECT_EQ(launches[0].wParam, 3);
    EXPECT_EQ(launches[0].text,
              " -cmpnt " + std::to_string(frame.mainWindowHandle()) + " -model pump1 -causal_analysis");

    EXPECT_EQ(StartProcessing(PROCESS_COMPLETE, true), 1);
    launches = frame.take(UM_LAUNCH);
    ASSERT_EQ(launches.size(), 1u);
    EXPECT_EQ(launches[0].text, " -cmpnt " + std::to_string(frame.mainWindowHandle()) + " -model pump1");
}

TEST_F(ModelCommands, ProcessingIsRefusedForASubmodelAndForAModelWithErrors)
{
    start();
    writeFile(models + "/dcm1.sg0", read(std::string(ORVANTA_MODELS_DIR) + "/dcm1.sg0"));
    ASSERT_EQ(OpenModelFromDirectories("dcm1"), 1);
    ASSERT_EQ(ModelHasPios(), 1);
    SetEdited();
    EXPECT_EQ(StartProcessing(PROCESS_COMPLETE, true), 0);
    EXPECT_EQ(sink.transcriptLines(), (std::vector<std::string>{"Complete Processing can not be performed on submodels.",
                                                                "Load the corresponding main model and try again."}));
    EXPECT_FALSE(exists(models + "/dcm1.sgg"));
    EXPECT_TRUE(frame.take(UM_LAUNCH).empty());

    ClearEdited();
    sink.clear();
    writePump(models);
    ASSERT_EQ(OpenModelFromDirectories("pump1"), 1);
    Hooks().checkConnections = [] { return 2; };
    EXPECT_EQ(StartProcessing(PROCESS_CAUSAL_ANALYSIS, true), 0);
    Hooks().checkConnections = [] { return 0; };
    EXPECT_EQ(sink.transcriptLines(),
              (std::vector<std::string>{"There are errors in the model.", "Causal Analysis could not be performed."}));
    EXPECT_TRUE(frame.take(UM_LAUNCH).empty());
    EXPECT_FALSE(exists(models + "/pump1.mg0"));
}

TEST_F(ModelCommands, AnUntitledModelIsProcessedOnceTheUserHasNamedIt)
{
    start();
    NewModel();
    SetEdited();
    frame.answers.push_back("tank1");
    RequestSimulation();
    ASSERT_EQ(frame.take(UM_PROCESS_MODEL).size(), 1u);
    OnProcessModel(PROCESS_COMPLETE);
    EXPECT_TRUE(exists(models + "/tank1.mg0"));
    // The request comes again under the new name and goes to the processor.
    std::vector<platform::Message> again = frame.take(UM_PROCESS_MODEL);
    ASSERT_EQ(again.size(), 1u);
    OnProcessModel(static_cast<int>(again[0].wParam));
    std::vector<platform::Message> launches = frame.take(UM_LAUNCH);
    ASSERT_EQ(launches.size(), 1u);
    EXPECT_NE(launches[0].text->find(" -model tank1"), std::string::npos);
    EXPECT_TRUE(Editor().simulatePending);
}

TEST_F(ModelCommands, AProcessingRequestWaitsWhileTheProcessorsLogIsOpen)
{
    start();
    writePump(models);
    ASSERT_EQ(OpenModelFromDirectories("pump1"), 1);
    std::vector<platform::Message> toLog;
    platform::WindowHandle log = platform::createWindow([&](const platform::Message& m) { toLog.push_back(m); });
    SetProcessorLogWindow(log);

    OnProcessModel(PROCESS_COMPLETE);
    platform::dispatchPendingMessages();
    ASSERT_EQ(toLog.size(), 1u);
    EXPECT_EQ(toLog[0].number, platform::WM_SYSCOMMAND);
    EXPECT_EQ(toLog[0].wParam, platform::SC_CLOSE);
    EXPECT_TRUE(frame.take(UM_LAUNCH).empty());

    // The processor has gone with its log: the waiting command is posted again and then runs.
    platform::destroyWindow(log);
    OnProcessorExited();
    std::vector<platform::Message> again = frame.take(UM_PROCESS_MODEL);
    ASSERT_EQ(again.size(), 1u);
    EXPECT_EQ(again[0].wParam, PROCESS_COMPLETE);
    OnProcessModel(PROCESS_COMPLETE);
    EXPECT_EQ(frame.take(UM_LAUNCH).size(), 1u);
    OnProcessorExited();
    EXPECT_TRUE(frame.take(UM_PROCESS_MODEL).empty());
}

TEST_F(ModelCommands, AProcessingRequestWaitsForAProcessorThatHasNotAnsweredYet)
{
    start();
    writePump(models);
    ASSERT_EQ(OpenModelFromDirectories("pump1"), 1);
    OnProcessModel(PROCESS_CAUSAL_ANALYSIS);
    ASSERT_EQ(frame.take(UM_LAUNCH).size(), 1u);

    // Asked for again before the start was handled, and while the processor runs: it waits.
    OnProcessModel(PROCESS_COMPLETE);
    EXPECT_TRUE(frame.take(UM_LAUNCH).empty());
    OnProgramLaunched(3, ::getpid());
    EXPECT_EQ(IsProcessorOpen(), 1);
    OnProcessModel(PROCESS_COMPLETE);
    EXPECT_TRUE(frame.take(UM_LAUNCH).empty());
    EXPECT_EQ(Editor().waitingCommand, std::optional<int>(PROCESS_COMPLETE));

    // Its result shown, its log is asked to close for the command that waits.
    std::vector<platform::Message> toLog;
    platform::WindowHandle log = platform::createWindow([&](const platform::Message& m) { toLog.push_back(m); });
    OnProcessingDone(1, log);
    EXPECT_EQ(frame.kept, "Expansion completed succesfully.");
    platform::dispatchPendingMessages();
    ASSERT_FALSE(toLog.empty());
    EXPECT_EQ(toLog.back().number, platform::WM_SYSCOMMAND);
    EXPECT_EQ(toLog.back().wParam, platform::SC_CLOSE);
    EXPECT_EQ(Editor().waitingCommand, std::optional<int>(PROCESS_COMPLETE));

    // An end message while the processor (this process) still runs ends nothing: the
    // command waits until the processor has ended.
    platform::destroyWindow(log);
    OnProcessorExited();
    EXPECT_EQ(IsProcessorOpen(), 1);
    EXPECT_TRUE(frame.take(UM_PROCESS_MODEL).empty());
    EXPECT_EQ(Editor().waitingCommand, std::optional<int>(PROCESS_COMPLETE));
    ForgetProcessor();
}

TEST_F(ModelCommands, AProcessorThatCouldNotStartHoldsNothingBack)
{
    start();
    writePump(models);
    ASSERT_EQ(OpenModelFromDirectories("pump1"), 1);
    RequestSimulation();
    OnProcessModel(static_cast<int>(frame.take(UM_PROCESS_MODEL).at(0).wParam));
    ASSERT_EQ(frame.take(UM_LAUNCH).size(), 1u);
    EXPECT_TRUE(Editor().simulatePending);
    OnProgramLaunched(3, 0);
    EXPECT_FALSE(Editor().simulatePending);
    EXPECT_EQ(IsProcessorOpen(), 0);
    OnProcessModel(PROCESS_COMPLETE);
    EXPECT_EQ(frame.take(UM_LAUNCH).size(), 1u);
}

TEST_F(ModelCommands, EveryResultEndsThePendingSimulationSoALaterSuccessStartsNothing)
{
    start();
    writePump(models);
    ASSERT_EQ(OpenModelFromDirectories("pump1"), 1);
    SetEdited();
    RequestSimulation();
    EXPECT_TRUE(Editor().simulatePending);
    ASSERT_EQ(frame.take(UM_PROCESS_MODEL).size(), 1u);

    ProcessingResult(-2, 0);
    EXPECT_FALSE(Editor().simulatePending);
    EXPECT_EQ(sink.transcriptLines(),
              (std::vector<std::string>{"Causal analysis of model failed.", "Further processing is not possible."}));
    ProcessingResult(3, 0);
    EXPECT_TRUE(frame.take(UM_LAUNCH).empty());
    EXPECT_EQ(frame.kept, "Model processing completed succesfully.");

    // With a success the simulator gets the model name with its version digit once.
    RequestSimulation();
    ProcessingResult(3, 0);
    std::vector<platform::Message> launches = frame.take(UM_LAUNCH);
    ASSERT_EQ(launches.size(), 1u);
    EXPECT_EQ(launches[0].wParam, 2);
    EXPECT_EQ(launches[0].text, " -model pump1");
    EXPECT_EQ(frame.kept, "Opened Simulator with model pump1.");
}

TEST_F(ModelCommands, ResultsOfTheProcessorAreShownWithTheirTexts)
{
    start();
    const std::pair<int, std::string> failures[] = {
        {-3, "Generation of model equations failed."}, {-2, "Causal analysis of model failed."},
        {-1, "Expansion of model failed."},            {0, "Loading of model failed."},
        {7, "Model processing failed for unknown reason."},
    };
    for (const auto& [result, text] : failures) {
        sink.clear();
        EXPECT_EQ(ShowProcessingResult(result, 0), 0);
        EXPECT_EQ(sink.transcriptLines(), (std::vector<std::string>{text, "Further processing is not possible."}));
    }
    sink.clear();
    EXPECT_EQ(ShowProcessingResult(1, 0), 1);
    EXPECT_EQ(frame.kept, "Expansion completed succesfully.");
    // Complete processing without template files succeeds without reading one.
    Settings().tempfiles = 0;
    EXPECT_EQ(ShowProcessingResult(3, 0), 1);
    EXPECT_TRUE(ModelProcessed());
    EXPECT_TRUE(sink.transcript().empty());
    // With template files on, a missing template is no success.
    Settings().tempfiles = 1;
    UpdateTitle("pump1");
    EXPECT_EQ(ShowProcessingResult(3, 0), 0);
    EXPECT_EQ(sink.transcriptLines(), (std::vector<std::string>{"Can not open for reading:", models + "/pump1.t2"}));
    // A template that cannot be read is named with the line and the token.
    sink.clear();
    writeFile(models + "/pump1.t2", "class pump version 1\nconnections\n  ->\n");
    EXPECT_EQ(ShowProcessingResult(3, 0), 0);
    EXPECT_EQ(sink.transcriptLines(),
              (std::vector<std::string>{"There are errors in the processed file.", models + "/pump1.t2",
                                        "syntax error in line 3: ->", "Further processing is not possible."}));
}

TEST_F(ModelCommands, ACodeFileAsNewAsTheProcessedModelIsUpToDate)
{
    const std::string code = dir.write("models/pump1.l", "#Hclass\tpump\n");
    const std::string processed = dir.write("models/pump1.mg3", "bond graph pump version 1\n");
    testsupport::setModificationTime(processed, 1000);
    struct Case {
        std::int64_t codeTime;
        int expected;
    };
    for (const Case& c : {Case{999, 0}, Case{1000, 1}, Case{1001, 1}}) {
        testsupport::setModificationTime(code, c.codeTime);
        EXPECT_EQ(IsProcessedUpToDate(models, "pump1"), c.expected) << c.codeTime;
    }
    platform::deleteFile(processed);
    EXPECT_EQ(IsProcessedUpToDate(models, "pump1"), 0);
}

TEST_F(ModelCommands, SimulationOfAnUnchangedProcessedModelStartsTheSimulatorAtOnce)
{
    start();
    writePump(models);
    ASSERT_EQ(OpenModelFromDirectories("pump1"), 1);
    dir.write("models/pump1.mg3", "x");
    const std::string code = dir.write("models/pump1.l", "x");
    testsupport::setModificationTime(models + "/pump1.mg3", 2000);
    testsupport::setModificationTime(code, 2001);
    SimulationCommand();
    EXPECT_TRUE(frame.take(UM_PROCESS_MODEL).empty());
    std::vector<platform::Message> launches = frame.take(UM_LAUNCH);
    ASSERT_EQ(launches.size(), 1u);
    EXPECT_EQ(launches[0].text, " -model pump1");
}

TEST_F(ModelCommands, WithoutItsMainWindowTheEditorSaysItCannotConnect)
{
    start();
    Editor().frame = nullptr;
    EXPECT_EQ(post_to_main_window(2, "pump1"), 0);
    EXPECT_EQ(sink.transcriptLines(), (std::vector<std::string>{"Could not connect to Orvanta Main Window.",
                                                                "Check if the Orvanta applications",
                                                                "are still accessible."}));
}

TEST_F(ModelCommands, AFileNamedWithoutItsVersionGivesTheModelItsDeclaredName)
{
    start();
    writeFile(models + "/msd.mg0", read(std::string(ORVANTA_MODELS_DIR) + "/msd1.mg0"));
    ASSERT_EQ(OpenModelFromDirectories("msd"), 1);
    EXPECT_EQ(Editor().modelName, "msd1");
    EXPECT_EQ(frame.title, "Orvanta  Graph Editor - msd1");
}

TEST_F(ModelCommands, ToolPropertiesSetTheGridStepTheSnapTextAndTheDefaultSize)
{
    start();
    const std::pair<int, int> steps[] = {{-1, 20}, {0, 20}, {1, 40}, {2, 80}, {3, 160}, {7, 160}};
    for (const auto& [index, step] : steps) {
        Settings().grid_snap_size = index;
        ApplyToolProperties();
        EXPECT_EQ(GridStep(), step) << index;
    }
    Settings().snap = 1;
    ApplyToolProperties();
    EXPECT_EQ(frame.snapText, "Snap to Grid");
    Settings().snap = 0;
    const int repaints = frame.repaints;
    Settings().def_bond_size = "2, 4";
    EXPECT_EQ(ApplyToolProperties(), 1);
    EXPECT_EQ(frame.snapText, "");
    EXPECT_GT(frame.repaints, repaints);
    EXPECT_EQ(ListText(DefaultSizeList()), "2, 4");

    // A size that does not parse leaves 3, and the start says so.
    Settings().def_bond_size = "2 +";
    EXPECT_EQ(ApplyToolProperties(), 0);
    EXPECT_EQ(ListText(DefaultSizeList()), "3");
    ResetEditor();
    start();
    EXPECT_EQ(sink.transcriptLines(),
              (std::vector<std::string>{"While loading Graph Editor properties:",
                                        "Error in multibond/signal size expression(s): 2 +.", "Using 3 as default size."}));
    EXPECT_EQ(state(), STATE_NO_MODEL);
}

TEST_F(ModelCommands, EditsAreNotLostWithoutAskingAndARefusedSaveWritesNothing)
{
    start();
    const std::string edit = writePump(models);
    ASSERT_EQ(OpenModelFromDirectories("pump1"), 1);
    SetEdited();

    // New asks first; Cancel keeps the model as it is.
    sink.queueAnswers({platform::BoxAnswer::Cancel});
    EXPECT_EQ(NewModel(), 0);
    EXPECT_EQ(sink.transcriptLines().front(), "The model in the Graph Editor has been edited.");
    EXPECT_EQ(CurrentModel().submodels.size(), 5u);
    EXPECT_EQ(Editor().modelName, "pump1");

    // A model with connection errors is saved only as graphics, and only when the user says so.
    Hooks().checkConnections = [] { return 1; };
    sink.clear();
    sink.queueAnswers({platform::BoxAnswer::Cancel});
    SaveCommand();
    EXPECT_EQ(sink.transcriptLines(),
              (std::vector<std::string>{"There are errors in the model.", "OK to save graphical info anyway?"}));
    EXPECT_FALSE(exists(models + "/pump1.mg0"));
    EXPECT_EQ(CurrentModel().edited, 1);
    sink.queueAnswers({platform::BoxAnswer::Ok});
    platform::deleteFile(edit);
    SaveCommand();
    EXPECT_TRUE(exists(edit));
    EXPECT_FALSE(exists(models + "/pump1.mg0"));
    EXPECT_EQ(frame.kept, "Only graphical info saved.");
    // Not edited, the same Save does nothing at all.
    sink.clear();
    platform::deleteFile(edit);
    SaveCommand();
    EXPECT_TRUE(sink.transcript().empty());
    EXPECT_FALSE(exists(edit));
    Hooks().checkConnections = [] { return 0; };
}

TEST_F(ModelCommands, ARefusedOverwriteOfTheChosenNameSavesNothingAndEndsTheWaitingSimulation)
{
    start();
    NewModel();
    writeFile(models + "/tank1.mf0", "equation model tank version 1\n");
    SetEdited();
    // Simulation of the untitled model waits for its name; a name the model file cannot hold is refused.
    RequestSimulation();
    ASSERT_EQ(frame.take(UM_PROCESS_MODEL).size(), 1u);
    frame.answers.push_back("or1");
    OnProcessModel(PROCESS_COMPLETE);
    ASSERT_FALSE(sink.transcriptLines().empty());
    EXPECT_EQ(sink.transcriptLines().back(), "Nothing saved!");
    EXPECT_FALSE(Editor().simulatePending);
    EXPECT_FALSE(exists(models + "/or1.mg0"));
    sink.clear();

    // The name is an equation model's, and the user keeps that model.
    RequestSimulation();
    ASSERT_EQ(frame.take(UM_PROCESS_MODEL).size(), 1u);
    frame.answers.push_back("tank1");
    sink.queueAnswers({platform::BoxAnswer::Cancel});
    OnProcessModel(PROCESS_COMPLETE);
    EXPECT_EQ(sink.transcriptLines(), std::vector<std::string>{"Model exists as equation model. OK to overwrite?"});
    EXPECT_EQ(frame.kept, "Nothing saved!");
    EXPECT_TRUE(exists(models + "/tank1.mf0"));
    EXPECT_FALSE(exists(models + "/tank1.mg0"));
    EXPECT_EQ(Editor().modelName, "");
    EXPECT_EQ(Editor().commandAfterCheckAndSave, 0);
    EXPECT_TRUE(frame.take(UM_PROCESS_MODEL).empty());
    EXPECT_TRUE(frame.take(UM_LAUNCH).empty());
    // Nothing waits: the next processing result starts no simulator.
    EXPECT_FALSE(Editor().simulatePending);
    Settings().tempfiles = 0;
    ProcessingResult(PROCESS_COMPLETE, 0);
    EXPECT_TRUE(frame.take(UM_LAUNCH).empty());

    // Confirmed, the equation model gives way and the processing goes on under the name.
    frame.answers.push_back("tank1");
    sink.queueAnswers({platform::BoxAnswer::Ok});
    EXPECT_EQ(StartProcessing(PROCESS_COMPLETE, true), -1);
    EXPECT_FALSE(exists(models + "/tank1.mf0"));
    EXPECT_TRUE(exists(models + "/tank1.mg0"));
    std::vector<platform::Message> again = frame.take(UM_PROCESS_MODEL);
    ASSERT_EQ(again.size(), 1u);
    EXPECT_EQ(again[0].wParam, PROCESS_COMPLETE);
}

TEST_F(ModelCommands, ProcessingAskedForFromTheMenuStartsNoSimulatorLeftWaitingByAnEarlierRequest)
{
    start();
    NewModel();
    SetEdited();
    // Simulation asks for a name, and the user closes the chooser without one.
    frame.answers.push_back(std::nullopt);
    RequestSimulation();
    OnProcessModel(static_cast<int>(frame.take(UM_PROCESS_MODEL).at(0).wParam));
    ASSERT_EQ(Editor().modelName, "");

    // Later the model is named, saved and processed from the Process menu.
    frame.answers.push_back("tank1");
    SaveCommand();
    ASSERT_EQ(Editor().modelName, "tank1");
    ProcessCommand(PROCESS_COMPLETE);
    ASSERT_EQ(frame.take(UM_PROCESS_MODEL).size(), 1u);
    EXPECT_FALSE(Editor().simulatePending);
    Settings().tempfiles = 0;
    ProcessingResult(PROCESS_COMPLETE, 0);
    EXPECT_TRUE(frame.take(UM_LAUNCH).empty()) << "the simulator was not asked for";
    EXPECT_EQ(frame.kept, "Model processing completed succesfully.");
}
