// The equation editor's model module without widgets: the caption, the files
// it saves and opens, the chooser's answers, the check with its log and error
// lines, and the processing and simulation requests it posts.
#include "equation_editor_support.h"

#include "equationeditor/equation_model_file.h"
#include "equationeditor/model_check.h"
#include "equationeditor/processing_requests.h"

#include "common/processor_run.h"
#include "modelproc/processing_pipeline.h"
#include "modelproc/record_release.h"

#include "platform/core/message_numbers.h"
#include "platform/testing/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>

using eetest::ChooserAnswer;
using eetest::EditorFixture;

namespace {

const std::string kMain = "class x version 1\nvariables\n  real a\nequations\n  a = 1\n";
const std::string kSub = "class x version 1\ninterface\n  inputs: real u\n  outputs: real y\nequations\n  y = 2 * u\n";
/// The heading and interface parse; line 4 declares a variable of an unknown type.
const std::string kDeclarationError =
    "class x version 1\ninterface\n  inputs: real u\nvariables\n  reel v\n  real w\nequations\n  w = u\n";

std::string withNul(const std::string& text)
{
    return text + std::string(1, '\0');
}

class ModelCommands : public ::testing::Test, public EditorFixture {};

} // namespace

TEST_F(ModelCommands, TheCaptionShowsTheNameAndTheEditedMark)
{
    start();
    EXPECT_EQ(frame.title, "Orvanta Equation Editor");
    EXPECT_EQ(EquationEditor().state, EE_STATE_BLANK);
    EXPECT_EQ(frame.mask, 0x998021cbu);
    frame.type("class");
    EXPECT_EQ(frame.title, "Orvanta Equation Editor - untitled (edited)");
    EXPECT_EQ(EquationEditor().state, EE_STATE_NEW);
    setModelName("pump1");
    EXPECT_EQ(frame.title, "Orvanta Equation Editor - pump1 (edited)");
    frame.minimised = true;
    RefreshCaption();
    EXPECT_EQ(frame.title, ">pump1");
    EquationEditor().edited = false;
    EquationEditor().modelName.clear();
    RefreshCaption();
    EXPECT_EQ(frame.title, "untitled");
}

TEST_F(ModelCommands, WithoutAModelDirectoryTheEditorStaysInItsStartState)
{
    Settings().model_dirs.clear();
    start();
    EXPECT_EQ(EquationEditor().state, EE_STATE_START);
    EXPECT_TRUE(frame.logCaption.empty());
}

TEST_F(ModelCommands, CheckAndSaveWritesTheCheckedFileAndDeletesTheOtherVariants)
{
    for (const char* old : {"x1.sff", "x1.sf0", "x1.mff", "x1.mf3"})
        dir.write(std::string("models/") + old, "old");
    dir.write("more/x1.sf0", "elsewhere");
    start();
    frame.type(kSub);
    SaveCommand();
    EXPECT_EQ(EquationEditor().modelName, "x1");
    EXPECT_EQ(EquationEditor().mainModel, 0);
    EXPECT_EQ(read(models + "/x1.sf3"), withNul(kSub));
    for (const char* old : {"x1.sff", "x1.sf0", "x1.mff", "x1.mf3"})
        EXPECT_FALSE(exists(models + "/" + old)) << old;
    EXPECT_TRUE(exists(more + "/x1.sf0")) << "only the directory saved in is cleaned";
    EXPECT_EQ(EquationEditor().state, EE_STATE_NAMED);
    EXPECT_FALSE(EquationEditor().edited);
    EXPECT_EQ(frame.title, "Orvanta Equation Editor - x1");
    EXPECT_EQ(frame.status, "No errors in model");
    EXPECT_FALSE(exists(work + "/x1.sft")) << "the check file is removed";

    // Without a final line end the file gets one; an empty text is a line end and the NUL.
    frame.type(kMain.substr(0, kMain.size() - 1));
    SaveCommand();
    EXPECT_EQ(read(models + "/x1.mf3"), withNul(kMain));
    EXPECT_FALSE(exists(models + "/x1.sf3"));
    EXPECT_EQ(EquationEditor().mainModel, 1);
    EXPECT_EQ(EquationModelFileContent(""), withNul("\n"));
}

TEST_F(ModelCommands, TextThatCannotBeReadLeavesTheSavedFileAsItWas)
{
    start();
    frame.type(kMain);
    SaveCommand();
    ASSERT_EQ(read(models + "/x1.mf3"), withNul(kMain));
    frame.type(kMain + "# more\n");
    frame.unreadable = true;
    sink.clear();
    EXPECT_EQ(saveChecked(models, "x1"), 0);
    EXPECT_EQ(read(models + "/x1.mf3"), withNul(kMain));
    ASSERT_FALSE(sink.transcript().empty());
    EXPECT_EQ(sink.transcript().back().lines.front(), "Unable to open file on current path.");
    EXPECT_EQ(frame.status, "Model text not saved!");
}

TEST_F(ModelCommands, AModelWithErrorsIsSavedPlainlyAfterAskingItsKind)
{
    start();
    frame.type(kDeclarationError);
    frame.answers.push_back(ChooserAnswer{models, "bad1"});
    // Save the text anyway: OK; then the kind question: No saves a main model.
    sink.queueAnswers({platform::BoxAnswer::Ok, platform::BoxAnswer::No});
    SaveCommand();
    ASSERT_EQ(frame.chooserTitles, std::vector<std::string>{"Save Model As 5"});
    EXPECT_EQ(read(models + "/bad1.mff"), withNul(kDeclarationError));
    EXPECT_EQ(EquationEditor().modelName, "bad1");
    EXPECT_EQ(EquationEditor().state, EE_STATE_NAMED);
    EXPECT_EQ(frame.status, "Model text saved.");
    const platform::MessageBoxRequest& question = sink.transcript().back();
    EXPECT_EQ(question.kind, platform::BoxKind::YesNoCancel);
    EXPECT_EQ(question.caption, "Orvanta Confirm");
    EXPECT_EQ(question.lines.front(), "At this stage the Equation Editor has no information whether");

    // A bad name is refused with the naming rule and nothing is written.
    frame.type(kDeclarationError + "#\n");
    sink.clear();
    EXPECT_EQ(saveText(models, "toolongname1"), 0);
    EXPECT_EQ(sink.transcript().back().lines.front(), "The file name of a model exists of");
    EXPECT_EQ(frame.status, "Model text not saved!");
}

TEST_F(ModelCommands, ANameChosenForAModelThatWasReplacedIsNotUsed)
{
    start();
    frame.type(kDeclarationError);
    sink.queueAnswers({platform::BoxAnswer::Ok});
    SaveCommand();
    ASSERT_TRUE(frame.pendingChooser) << "the chooser waits for the user";
    ChosenNameCallback chosen = std::move(frame.pendingChooser);
    // Meanwhile the user discards the text for a new blank model, then confirms the name.
    sink.queueAnswers({platform::BoxAnswer::Ok});
    ASSERT_EQ(newBlankModel(), 1);
    chosen(models, "keep1");
    EXPECT_FALSE(exists(models + "/keep1.mff"));
    EXPECT_FALSE(exists(models + "/keep1.sff"));
    EXPECT_EQ(EquationEditor().state, EE_STATE_BLANK);
    for (int id : {EE_EXIT, EE_HELP_CONTENTS, EE_OPEN, EE_NEW_BLANK})
        EXPECT_TRUE(CommandEnabled(id, frame.mask)) << id;
}

TEST_F(ModelCommands, AnUntitledCheckAndSaveRaisesItsEventOnlyOnceSaved)
{
    start();
    frame.type(kMain);
    EquationEditor().lastCheckLevel = 3;
    EXPECT_EQ(checkAndSave([] { editorEvent(EE_EVENT_CHECKED); }), SAVE_ASKING);
    EXPECT_EQ(EquationEditor().state, EE_STATE_NEW);
    EXPECT_EQ(EquationEditor().mainModel, -1);
    // Cancelled: no file and the state stays; confirmed: saved, then named.
    frame.pendingChooser = nullptr;
    EXPECT_EQ(EquationEditor().state, EE_STATE_NEW);
    checkAndSave([] { editorEvent(EE_EVENT_CHECKED); });
    sink.queueAnswers({platform::BoxAnswer::Yes});
    ChosenNameCallback chosen = std::move(frame.pendingChooser);
    chosen(models, "new1");
    EXPECT_EQ(read(models + "/new1.sf3"), withNul(kMain));
    EXPECT_EQ(EquationEditor().state, EE_STATE_NAMED);
}

TEST_F(ModelCommands, OpeningFindsTheModelInAnyDirectoryAndAFailedLoadKeepsTheText)
{
    dir.write("more/pend1.mf3", withNul("class pend version 1\r\nequations\r\n"));
    start();
    EXPECT_EQ(openModelFromDirectories("pend1"), 1);
    EXPECT_EQ(frame.text, "class pend version 1\nequations\n");
    EXPECT_EQ(EquationEditor().modelName, "pend1");
    EXPECT_EQ(EquationEditor().state, EE_STATE_NAMED);
    EXPECT_FALSE(exists(models + "/pend1.mff")) << "no blank model is made on the way";

    // A name found nowhere makes one new model of that name.
    frame.type("unsaved");
    sink.queueAnswers({platform::BoxAnswer::Ok});
    EXPECT_EQ(openModelFromDirectories("fresh1"), 0);
    EXPECT_EQ(EquationEditor().modelName, "fresh1");
    EXPECT_EQ(frame.text, "");
    EXPECT_EQ(frame.status, "New model.");

    // A file that cannot be read leaves what the editor holds.
    frame.type("my text");
    const std::string broken = dir.mkdir("models/gone1.mff");
    sink.queueAnswers({platform::BoxAnswer::Ok});
    EXPECT_EQ(openModelByName(models, "gone1"), 1);
    EXPECT_EQ(frame.text, "my text");
    EXPECT_TRUE(EquationEditor().edited);
    EXPECT_EQ(EquationEditor().modelName, "fresh1");
    EXPECT_EQ(frame.status, "Error reading model.");
}

TEST_F(ModelCommands, AGraphModelOfTheNameGoesToTheGraphEditor)
{
    dir.write("more/pump1.mgg", "bond graph pump version 1\n");
    start();
    EXPECT_EQ(openModelFromDirectories("pump1"), 1);
    const std::vector<platform::Message> launches = frame.take(UM_LAUNCH);
    ASSERT_EQ(launches.size(), 1u);
    EXPECT_EQ(launches[0].wParam, 0);
    EXPECT_EQ(launches[0].text.value_or(""), " -model pump1");
    EXPECT_TRUE(EquationEditor().modelName.empty());
}

TEST_F(ModelCommands, QuittingAnEditedModelAsksFirst)
{
    start();
    EXPECT_EQ(CanQuit(), 1);
    frame.type(kMain);
    sink.queueAnswers({platform::BoxAnswer::Cancel});
    EXPECT_EQ(CanQuit(), 0);
    EXPECT_EQ(sink.transcript().back().lines.front(), "The model in the Equation Editor has been edited.");
    sink.queueAnswers({platform::BoxAnswer::Ok});
    EXPECT_EQ(CanQuit(), 1);
}

TEST_F(ModelCommands, ADeclarationErrorIsLevelOneAndItsLogLineLeadsToTheModelLine)
{
    start();
    frame.type(kDeclarationError);
    EXPECT_EQ(ffcheck(""), 1);
    EXPECT_EQ(frame.status, "Heading and interface ok, error in declarations.");
    EXPECT_EQ(frame.logCaption, "EE: syntax errors in: untitled");
    ASSERT_GE(frame.log.size(), 3u);
    EXPECT_EQ(frame.log[0], "Syntax errors in: untitled");
    ASSERT_FALSE(ModelCheck().errorLines.empty());
    const ErrorLine first = ModelCheck().errorLines.front();
    EXPECT_EQ(first.logLine, 1);
    EXPECT_EQ(first.modelLine, 5);
    EXPECT_EQ(frame.log[1].rfind("Line 5", 0), 0u) << frame.log[1];
    const int count = ModelCheck().errorCount;
    EXPECT_EQ(frame.log[frame.log.size() - 2],
              std::to_string(count) + (count == 1 ? " syntax error detected." : " syntax errors detected."));
    EXPECT_EQ(frame.log.back(), "--------------------");

    frame.logCaret = first.logLine;
    jumpToErrorLine();
    EXPECT_EQ(frame.caretLine, 4);
    EXPECT_EQ(frame.caretColumn, 2) << "at the token \"reel\"";
    // The heading line of the log leads nowhere.
    frame.caretLine = -1;
    frame.logCaret = 0;
    jumpToErrorLine();
    EXPECT_EQ(frame.caretLine, -1);
}

TEST_F(ModelCommands, ACleanCheckNamesTheModelAndTellsItsKind)
{
    start();
    frame.type(kSub);
    EXPECT_EQ(ffcheck("other1"), 3);
    EXPECT_EQ(EquationEditor().modelName, "x1");
    EXPECT_EQ(EquationEditor().mainModel, 0);
    EXPECT_EQ(frame.log[frame.log.size() - 2], "0 syntax errors detected.");
    frame.type(kMain);
    EXPECT_EQ(ffcheck("x1"), 3);
    EXPECT_EQ(EquationEditor().mainModel, 1);
    EXPECT_EQ(frame.status, "No errors in model");
}

TEST_F(ModelCommands, ManyErrorsAreListedUpToTwentyFiveAndAllCounted)
{
    start();
    // Thirty equations on undeclared names: thirty errors in the equations.
    std::string text = "class x version 1\nvariables\n  real a\nequations\n";
    for (int i = 0; i < 30; ++i)
        text += "  a = b" + std::to_string(i) + "\n";
    frame.type(text);
    EXPECT_EQ(ffcheck(""), 2);
    EXPECT_EQ(frame.status, "Heading and interface ok, declarations ok , error in equations.");
    EXPECT_EQ(ModelCheck().errorLines.size(), 25u);
    EXPECT_EQ(ModelCheck().errorCount, 30);
    EXPECT_EQ(ModelCheck().errorLines.back().modelLine, 29);
    EXPECT_NE(std::find(frame.log.begin(), frame.log.end(), "Too many syntax errors to display"), frame.log.end());
    EXPECT_EQ(frame.log[frame.log.size() - 2], std::to_string(ModelCheck().errorCount) + " syntax errors detected.");
}

TEST_F(ModelCommands, KeptChecksGoOnCountingLogLinesAndClearedOnesStartAgain)
{
    Settings().ee_messages = 1;
    start();
    frame.type(kDeclarationError);
    ffcheck("");
    const std::size_t firstLength = frame.log.size();
    ffcheck("");
    EXPECT_EQ(frame.log.size(), 2 * firstLength);
    EXPECT_EQ(ModelCheck().errorLines.front().logLine, static_cast<int>(firstLength) + 1);
    frame.logCaret = static_cast<int>(firstLength) + 1;
    jumpToErrorLine();
    EXPECT_EQ(frame.caretLine, 4);
}

TEST_F(ModelCommands, AnErrorLineBeyondTheTextGoesToItsLastLineAndNoneBelowOne)
{
    EXPECT_EQ(ErrorJumpTarget(1, 10), 0);
    EXPECT_EQ(ErrorJumpTarget(10, 10), 9);
    EXPECT_EQ(ErrorJumpTarget(12, 10), 9);
    EXPECT_EQ(ErrorJumpTarget(0, 10), -1);
    EXPECT_EQ(ErrorJumpTarget(-1, 10), -1);
    EXPECT_EQ(ErrorJumpTarget(3, 0), 0);
}

TEST_F(ModelCommands, AnErrorsTokenIsFoundAsAWholeTokenOnItsLine)
{
    struct Case {
        std::string line, token;
        int column;
    };
    const Case cases[] = {
        {"  reel v", "\"reel\"", 2},
        {"  real a, ab, a", "\"a\"", 7},     // not the "a" of "real"
        {"  y = x ==", "\"==\"", 8},
        {"  reel v", "\"w\"", 0},            // not on the line
        {"  ab = 1", "\"a\"", 0},            // only inside a longer name
        {"  a = 1", "[NL]", 0},               // names no text
        {"  a = 1", "", 0},
        {"  \xc3\xa9t\xc3\xa9 = t", "\"t\"", 8}, // characters, not bytes
    };
    for (const Case& c : cases)
        EXPECT_EQ(ErrorTokenColumn(c.line, c.token), c.column) << c.line << " " << c.token;
}

TEST_F(ModelCommands, CompleteProcessingSavesThenPostsTheRequestWithItsTail)
{
    start();
    frame.type(kMain);
    CompleteProcessingCommand();
    EXPECT_TRUE(exists(models + "/x1.mf3"));
    std::vector<platform::Message> requests = frame.take(UM_PROCESS_MODEL);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].wParam, 3);

    OnProcessModel(3);
    std::vector<platform::Message> launches = frame.take(UM_LAUNCH);
    ASSERT_EQ(launches.size(), 1u);
    EXPECT_EQ(launches[0].wParam, 3);
    EXPECT_EQ(launches[0].text.value_or(""),
              " -cmpnt " + std::to_string(frame.mainWindowHandle()) + " -model x1.mf3");
    EXPECT_FALSE(EquationEditor().waitingCommand);
}

TEST_F(ModelCommands, ARefusedRequestOrAFailedRunEndsThePendingSimulation)
{
    start();
    frame.type(kSub);
    SimulationCommand();
    EXPECT_TRUE(EquationEditor().simulationPending);
    ASSERT_EQ(frame.take(UM_PROCESS_MODEL).size(), 1u);
    requestProcessing(4);
    EXPECT_EQ(sink.transcript().back().lines,
              (std::vector<std::string>{"The model is not a topmodel.", "Complete Processing could not be performed."}));
    EXPECT_FALSE(EquationEditor().simulationPending);
    EXPECT_TRUE(frame.take(UM_LAUNCH).empty());

    frame.type(kMain);
    SimulationCommand();
    frame.take(UM_PROCESS_MODEL);
    requestProcessing(4);
    ASSERT_EQ(frame.take(UM_LAUNCH).size(), 1u);
    EXPECT_TRUE(EquationEditor().simulationPending);
    EXPECT_EQ(showProcessingResult(-2, 0), 0);
    EXPECT_EQ(sink.transcript().back().lines.front(), "Causal analysis of model failed.");
    EXPECT_FALSE(EquationEditor().simulationPending);
    EXPECT_TRUE(frame.take(UM_LAUNCH).empty()) << "no simulator after a failure";

    // A success while a simulation waits opens the simulator with the model.
    EquationEditor().simulationPending = true;
    EXPECT_EQ(showProcessingResult(2, 0), 1);
    EXPECT_EQ(frame.status, "Causal analysis completed succesfully.");
    const std::vector<platform::Message> simulator = frame.take(UM_LAUNCH);
    ASSERT_EQ(simulator.size(), 1u);
    EXPECT_EQ(simulator[0].wParam, 2);
    EXPECT_EQ(simulator[0].text.value_or(""), " -model x1");
    EXPECT_FALSE(EquationEditor().simulationPending);
}

TEST_F(ModelCommands, AnUneditedModelWithACurrentCodeFileGoesStraightToTheSimulator)
{
    dir.write("models/x1.mf3", withNul(kMain));
    start();
    ASSERT_EQ(openModelFromDirectories("x1"), 1);
    EXPECT_EQ(isCodeFileCurrent(models, "x1"), 0);
    SimulationCommand();
    EXPECT_EQ(frame.take(UM_PROCESS_MODEL).size(), 1u) << "no code file: processed first";
    EquationEditor().simulationPending = false;

    dir.write("models/x1.l", "#Hclass x\n");
    testsupport::setModificationTime(models + "/x1.mf3", 1000);
    testsupport::setModificationTime(models + "/x1.l", 1000);
    EXPECT_EQ(isCodeFileCurrent(models, "x1"), 1);
    SimulationCommand();
    EXPECT_TRUE(frame.take(UM_PROCESS_MODEL).empty());
    const std::vector<platform::Message> launches = frame.take(UM_LAUNCH);
    ASSERT_EQ(launches.size(), 1u);
    EXPECT_EQ(launches[0].wParam, 2);
    testsupport::setModificationTime(models + "/x1.l", 999);
    EXPECT_EQ(isCodeFileCurrent(models, "x1"), 0);
}

TEST_F(ModelCommands, ProcessingResultsShowTheirTextsAndAWaitingRequestFollowsTheProcessorsExit)
{
    start();
    const struct {
        int result;
        const char* text;
        bool box;
    } rows[] = {
        {-3, "Generation of model equations failed.", true}, {-1, "Expansion of model failed.", true},
        {0, "Loading of model failed.", true},               {1, "Expansion completed succesfully.", false},
        {3, "Model processing completed succesfully.", false}, {7, "Model processing failed for unknown reason.", true},
    };
    for (const auto& row : rows) {
        sink.clear();
        const int success = showProcessingResult(row.result, 0);
        EXPECT_EQ(success, row.box ? 0 : 1) << row.result;
        if (row.box) {
            ASSERT_FALSE(sink.transcript().empty()) << row.result;
            EXPECT_EQ(sink.transcript().back().lines,
                      (std::vector<std::string>{row.text, "Further processing is not possible."}));
        } else {
            EXPECT_EQ(frame.status, row.text);
        }
    }
    // A processor log that is still open holds the request until the processor has ended.
    eetest::RecordingFrame log;
    EquationProcessor().log().set(log.mainWindowHandle());
    OnProcessModel(3);
    EXPECT_EQ(EquationEditor().waitingCommand, std::optional<int>(3));
    EXPECT_EQ(log.take(platform::WM_SYSCOMMAND).size(), 1u);
    OnProcessorExited();
    EXPECT_EQ(frame.take(UM_PROCESS_MODEL).size(), 1u);
    OnProcessingDone(3, 0);
    EXPECT_FALSE(EquationEditor().waitingCommand);
    EXPECT_EQ(ProcessingCommandName(-4), std::string("Checking Model"));
    EXPECT_EQ(ProcessingCommandName(9), std::string("Complete Processing"));
}

TEST_F(ModelCommands, TheModelProcessorReadsTheSavedFileUpToItsNul)
{
    start();
    frame.type(kMain);
    SaveCommand();
    const std::string path = models + "/x1.mf3";
    ASSERT_EQ(read(path), withNul(kMain));
    ClassRec* parsed = nullptr;
    std::vector<std::string> errors;
    const auto collect = [&errors](const char*, const char*, const char*, int line, const char* token,
                                   const char* message) {
        errors.push_back(std::to_string(line) + " " + token + ": " + message);
    };
    EXPECT_EQ(ttparse_file(path, 3, parsed, collect), 0);
    EXPECT_TRUE(errors.empty()) << errors.front();
    ASSERT_NE(parsed, nullptr);
    ttfree_class(parsed);
    // Nothing follows the NUL in a saved file: a file that goes on after it is damaged, and is
    // refused where it goes on rather than read without what follows.
    const int lines = static_cast<int>(std::count(kMain.begin(), kMain.end(), '\n'));
    ASSERT_TRUE(platform::writeFileAtomically(path, read(path) + "garbage that is not Keldor"));
    parsed = nullptr;
    EXPECT_EQ(ttparse_file(path, 3, parsed, collect), -2);
    EXPECT_EQ(parsed, nullptr);
    ASSERT_FALSE(errors.empty());
    EXPECT_EQ(errors.front(), std::to_string(lines + 1) + " \"garbage\": the file goes on after its NUL byte.");
}
