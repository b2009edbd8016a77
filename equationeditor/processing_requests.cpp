// The equation editor's processing and simulation requests.
#include "equationeditor/processing_requests.h"

#include "equationeditor/editor_frame.h"
#include "equationeditor/model_check.h"
#include "equationeditor/model_commands.h"

#include "common/launcher.h"
#include "common/message_boxes.h"
#include "common/processing_results.h"
#include "common/processor_run.h"
#include "platform/core/message_numbers.h"
#include "platform/core/window_messages.h"

namespace {

ProcessorRun g_processor;

void postToFrame(platform::MessageNumber number, std::int64_t wParam)
{
    if (EquationEditorFrame* frame = EquationEditor().frame)
        platform::postMessage(frame->mainWindowHandle(), number, wParam, 0);
}

void openSimulator()
{
    postRequestToMainWindow(2, EquationEditor().modelName);
}

/// Once the processor has ended, what waited for it goes on.
void resumeAfterProcessor()
{
    if (EquationEditorFrame* frame = EquationEditor().frame)
        PostWhatWaitedForProcessor(g_processor, frame->mainWindowHandle(), EquationEditor().waitingCommand);
}

} // namespace

const char* ProcessingCommandName(int command)
{
    return ProcessingCommandText(command);
}

std::string RequestTail(int program, const std::string& name, platform::WindowHandle frame)
{
    std::string tail;
    if (program == 3)
        tail = " -cmpnt " + std::to_string(frame);
    return tail + " -model " + name;
}

int postRequestToMainWindow(int program, const std::string& name)
{
    EquationEditorFrame* frame = EquationEditor().frame;
    const platform::WindowHandle window = frame ? frame->mainWindowHandle() : 0;
    if (window == 0 || !platform::isWindow(window) ||
        !platform::postMessage(window, UM_LAUNCH, program, 0, RequestTail(program, name, window))) {
        ShowMessage({"Could not connect to Orvanta Main Window.", "Check if the Orvanta applications",
                     "are still accessible."});
        showStatus("Could not connect to Orvanta Main Window.", 1);
        return 0;
    }
    if (program == 3)
        g_processor.startPosted();
    return 1;
}

void CompleteProcessingCommand()
{
    EquationEditorData& editor = EquationEditor();
    const int level = ffcheck(editor.modelName);
    editor.lastCheckLevel = level;
    if (level == kCheckEquations) {
        // The request follows the save, also when the name is still to be chosen.
        checkAndSave([] { postToFrame(UM_PROCESS_MODEL, 3); });
        return;
    }
    saveDespiteErrors();
}

void requestProcessing(int command)
{
    EquationEditorData& editor = EquationEditor();
    const std::string line = std::string(ProcessingCommandName(command)) + " could not be performed.";
    const int level = ffcheck(editor.modelName);
    editor.lastCheckLevel = level;
    if (level != kCheckEquations) {
        editor.simulationPending = false;
        ShowMessage({"There are errors in the model.", line});
        return;
    }
    if (editor.mainModel != 1) {
        editor.simulationPending = false;
        ShowMessage({"The model is not a topmodel.", line});
        return;
    }
    bool posted = false;
    const int saved = checkAndSave([&posted] {
        posted = postRequestToMainWindow(3, EquationEditor().modelName + ".mf3") != 0;
        if (!posted)
            EquationEditor().simulationPending = false;
    });
    // A refused or failed save leaves nothing to wait for.
    if (saved == SAVE_FAILED)
        editor.simulationPending = false;
}

void SimulationCommand()
{
    EquationEditorData& editor = EquationEditor();
    if (editor.edited) {
        editor.simulationPending = true;
        postToFrame(UM_PROCESS_MODEL, 3);
        return;
    }
    const std::string directory = FirstModelDirectory();
    if (directory.empty())
        return;
    if (!isCodeFileCurrent(directory, editor.modelName)) {
        editor.simulationPending = true;
        postToFrame(UM_PROCESS_MODEL, 3);
        return;
    }
    openSimulator();
}

int showProcessingResult(int result, platform::WindowHandle logWindow)
{
    EquationEditorData& editor = EquationEditor();
    g_processor.log().set(logWindow);
    const ProcessingResultMeaning meaning = MeaningOfProcessingResult(result);
    if (meaning.success)
        showStatus(meaning.text, 1);
    else
        ShowProcessingFailure(meaning.text);
    const int success = meaning.success ? 1 : 0;
    editorEvent(EE_EVENT_EDITED);
    if (editor.simulationPending) {
        // A failed run ends the wait as well: the next Simulation asks again.
        editor.simulationPending = false;
        if (success)
            openSimulator();
    }
    return success;
}

void OnProcessModel(int command)
{
    EquationEditorData& editor = EquationEditor();
    editor.waitingCommand = command;
    // One processor at a time: the one still open is asked to end, and the command waits for it.
    if (!g_processor.freeFor(resumeAfterProcessor))
        return;
    requestProcessing(4);
    editor.waitingCommand.reset();
}

void OnProcessorExited()
{
    // Any program may say so: it counts only when the processor started has ended.
    g_processor.takeEnd(EquationEditor().waitingCommand.has_value(), resumeAfterProcessor);
}

void OnProcessingDone(int result, platform::WindowHandle logWindow)
{
    // Only the processor this editor started answers it.
    if (!g_processor.acceptResult(logWindow))
        return;
    showProcessingResult(result, logWindow);
    // A request made while this run was under way goes on once its processor has ended.
    if (EquationEditor().waitingCommand)
        g_processor.askToEnd();
}

void OnProcessorStart(const std::optional<std::string>& tail)
{
    if (!g_processor.mayStart(tail, resumeAfterProcessor))
        return;
    pid_t started = 0;
    LaunchProgram(3, tail, 0, &started);
    g_processor.started(started);
    // A processor that could not be started answers nothing: nothing waits for its result.
    if (started == 0)
        EquationEditor().simulationPending = false;
}

ProcessorRun& EquationProcessor()
{
    return g_processor;
}

void CloseProcessorLog()
{
    g_processor.log().close();
}

void HideProcessorLog()
{
    g_processor.log().hide();
}

int IsProcessorLogClosed()
{
    return g_processor.log().closed() ? 1 : 0;
}
