// The graph editor's model commands, its title and status line, and the
// editor state machine they drive.
#include "grapheditor/program/model_commands.h"

#include "grapheditor/program/editor_frame.h"
#include "grapheditor/program/navigation.h"
#include "grapheditor/program/processing_handoff.h"
#include "grapheditor/program/selection.h"

#include "common/launcher.h"
#include "common/message_boxes.h"
#include "common/model_file_names.h"
#include "common/processor_run.h"
#include "common/settings_table.h"
#include "common/startup.h"
#include "common/text_helpers.h"
#include "grapheditor/connection_checker.h"
#include "grapheditor/graph_model_reader.h"
#include "grapheditor/graph_model_writer.h"
#include "grapheditor/graph_objects.h"
#include "grapheditor/graph_rendering.h"
#include "grapheditor/graph_view.h"
#include "grapheditor/name_validation.h"
#include "grapheditor/submodel_library.h"
#include "platform/core/file_system.h"
#include "platform/core/message_numbers.h"
#include "platform/core/window_messages.h"

#include <utility>

namespace {

constexpr const char* kNothingSaved = "Nothing saved!";

EditorFrame* frame()
{
    return Editor().frame;
}

void nothingSavedWhenEdited()
{
    if (CurrentModel().edited)
        ShowStatus(kNothingSaved, 1);
}

void postToOwnWindow(platform::MessageNumber number, std::int64_t wParam)
{
    if (EditorFrame* f = frame(); f && f->mainWindowHandle() != 0)
        platform::postMessage(f->mainWindowHandle(), number, wParam, 0);
}

void chooseName(const std::string& title, ChosenNameCallback callback)
{
    if (EditorFrame* f = frame())
        f->chooseModelName(title, 1, std::move(callback), ChooserSaveMode);
}

bool endsInDigit(const std::string& name)
{
    return !name.empty() && name.back() >= '0' && name.back() <= '9';
}

platform::WindowHandle ownWindow()
{
    EditorFrame* f = frame();
    return f ? f->mainWindowHandle() : 0;
}

/// A chosen name that another editor holds is not saved over: its edits are that editor's.
bool savingOverAnotherEditorsModel(const std::string& name)
{
    if (platform::equalsNoCase(name, Editor().modelName))
        return false;
    const std::string notice = HeldModelNotice(name, ownWindow());
    if (notice.empty())
        return false;
    ShowMessage({notice, kNothingSaved});
    nothingSavedWhenEdited();
    return true;
}

/// The start-up action: the title of no model, and the model of -model opened.
void startupAction()
{
    UpdateTitle("");
    const std::string& name = Startup().StartupModelName;
    if (!name.empty() && !ModelDirectories().empty())
        OpenModelFromDirectories(name);
}

/// Asks for the complete processing of the model whose C code is wanted.
void requestProcessingForCCode(const std::string& name)
{
    GraphEditorState& editor = Editor();
    editor.ccodePending = true;
    editor.otherModel = name == editor.modelName ? std::string() : name;
    postToOwnWindow(UM_PROCESS_MODEL, PROCESS_COMPLETE);
}

/// Starts the complete processing of another model than the one shown, as it is saved.
int startProcessingOf(const std::string& name)
{
    GraphEditorState& editor = Editor();
    const std::string shown = editor.modelName;
    editor.modelName = name;
    const int started = StartProcessing(PROCESS_COMPLETE, false) == 1 ? 1 : 0;
    editor.modelName = shown;
    return started;
}

} // namespace

EditorHooks& Hooks()
{
    static EditorHooks hooks{[] { return 0; }, [] { ReadAllLibraries(); }};
    return hooks;
}

GraphEditorState& Editor()
{
    static GraphEditorState editor;
    return editor;
}

void ResetEditor()
{
    Editor() = GraphEditorState{};
    ForgetParentChain();
    ForgetProcessor();
}

void InitEditor(EditorFrame& frame)
{
    GraphEditorState& editor = Editor();
    editor.frame = &frame;
    editor.modelName.clear();
    CurrentModel().width = 1500;
    CurrentModel().height = 1000;
    forget_selection();
    if (Hooks().refreshLibraryList)
        Hooks().refreshLibraryList();
    InstallRenaming();
    if (!ApplyToolProperties())
        ShowMessage({"While loading Graph Editor properties:",
                     "Error in multibond/signal size expression(s): " + Settings().def_bond_size.substr(0, 60) + ".",
                     "Using 3 as default size."});
    SendEditorEvent(EVENT_STARTED);
}

int ApplyToolProperties()
{
    // The grid step follows the setting wherever it is asked for (GridStep).
    layout_all(CurrentModel());
    if (EditorFrame* f = frame()) {
        f->repaintCanvas();
        f->setSnapText(Settings().snap ? "Snap to Grid" : "");
    }
    ExprList sizes;
    const ArgumentList none;
    if (ParseSizeList(Settings().def_bond_size, sizes, none) == 0 && !sizes.empty()) {
        DefaultSizeList() = std::move(sizes);
        return 1;
    }
    ExprList three;
    ParseSizeList("3", three, none);
    DefaultSizeList() = std::move(three);
    return 0;
}

void SendEditorEvent(int event)
{
    GraphEditorState& editor = Editor();
    const int before = editor.machine.state();
    const int state = editor.machine.send(event);
    if (before == STATE_START && event == EVENT_STARTED)
        startupAction();
    if (state == STATE_ERROR)
        ShowStatus("error in STD", 1);
    RefreshCommands();
}

void RefreshCommands()
{
    if (EditorFrame* f = frame())
        f->applyCommandMask(Editor().machine.mask());
}

void SetEdited()
{
    MarkEdited(CurrentModel(), 1);
}

void ClearEdited()
{
    MarkEdited(CurrentModel(), 0);
}

void EditedChanged()
{
    UpdateTitle(Editor().modelName);
    SendEditorEvent(EVENT_CHANGED);
}

void ShowStatus(const std::string& text, int keep)
{
    EditorFrame* f = frame();
    if (keep) {
        Editor().statusText = text;
        if (f)
            f->keepStatus(text);
        return;
    }
    if (f)
        f->passStatus(text);
}

std::string TitleText(bool minimised)
{
    const std::string& name = Editor().modelName;
    const bool edited = CurrentModel().edited != 0;
    const bool named = !name.empty();
    if (minimised)
        return std::string(edited ? ">" : "") + (named ? name : "untitled");
    // "%s %s" of "Orvanta " and the program's name: two blanks, as the simulator's title has.
    std::string title = std::string("Orvanta ") + " " + "Graph Editor";
    if (edited || named)
        title += " - ";
    title += named ? name : (edited ? "untitled" : "");
    if (edited)
        title += " (edited)";
    return title;
}

void UpdateTitle(const std::string& name)
{
    if (Editor().modelName != name)
        Editor().modelName = name;
    if (EditorFrame* f = frame()) {
        f->setTitle(TitleText(f->isMinimised()));
        // The other programs learn which model this editor holds.
        PublishProgramState(f->mainWindowHandle(), Editor().modelName);
    }
}

std::vector<std::string> ModelDirectories()
{
    return SplitPathList(Settings().model_dirs);
}

std::string FirstModelDirectory()
{
    std::vector<std::string> directories = ModelDirectories();
    return directories.empty() ? std::string() : directories.front();
}

std::string ModelFolder()
{
    const std::string& directory = Editor().modelDirectory;
    return directory.empty() ? FirstModelDirectory() : directory;
}

int ModelHasPios()
{
    return CurrentModel().pios.empty() ? 0 : 1;
}

int NewModel()
{
    if (!View().editorGuard(2, nullptr))
        return 0;
    if (CurrentModel().edited &&
        !ShowConfirm("Cancel", "Confirm, discard edits",
                     {"The model in the Graph Editor has been edited.", "Press OK to discard all edits,",
                      "or Cancel to go back and save the model."}))
        return 0;
    clear_model();
    Editor().modelDirectory.clear();
    UpdateTitle("");
    ClearEdited();
    View().redrawAll();
    SendEditorEvent(EVENT_CLEARED);
    return 1;
}

int ModelHeldElsewhere(const std::string& name)
{
    std::string status;
    if (name.empty() || !HandModelToItsEditor(name, ownWindow(), status))
        return 0;
    ShowStatus(status, 1);
    return 1;
}

int OpenAskedModel(const std::string& name)
{
    // Asked for the model it holds with edits, the editor keeps it as it is: the edits are what the user has.
    if (CurrentModel().edited && !Editor().modelName.empty() && platform::equalsNoCase(name, Editor().modelName)) {
        ShowStatus("Model " + Editor().modelName + " is open.", 1);
        return 1;
    }
    return OpenModelFromDirectories(name);
}

int OpenModel(const std::string& directory, const std::string& name)
{
    if (name.empty())
        return NewModel();
    if (ModelHeldElsewhere(name))
        return 0;
    std::optional<std::string> path = FindModelFile(1, directory, name, ShowConfirmLines);
    ShowStatus("", 1);
    if (!View().editorGuard(3, nullptr))
        return 0;
    ClearAnnotation();

    if (path) {
        ReaderRenaming().loading = true;
        const int loaded = load_model_file(*path);
        ReaderRenaming().loading = false;
        if (loaded == -2)
            return 0;
        if (loaded == -1) {
            // The file was refused by a message; the model shown stays as it was.
            ShowStatus(ParserErrorText(), 1);
            return 0;
        }
        GraphModel& model = CurrentModel();
        // A drawing stored without an extent gets the extent of a new one, shown from its start.
        if (model.width <= 0 || model.height <= 0) {
            const GraphModel fresh;
            model.width = fresh.width;
            model.height = fresh.height;
            model.scrollX = model.scrollY = 0;
            View().scrollTo(0, 0);
            View().redrawAll();
        }
        // A file named without its version digit gives the model its declared name and version.
        std::string modelName = name;
        if (!endsInDigit(name) && !model.name.empty() && model.version >= 1 && model.version <= 9)
            modelName = model.name + std::to_string(model.version);
        Editor().modelDirectory = directory;
        UpdateTitle(modelName);
        read_argument_file(MakeModelFileName(10, directory, name, ModelHasPios() ? 0 : 1));
        SendEditorEvent(EVENT_OPENED);
        return 1;
    }

    if (FindModelFile(2, directory, name, ShowConfirmLines))
        return post_to_main_window(1, name);

    if (directory != FirstModelDirectory())
        return 0;
    if (!NewModel())
        return 0;
    UpdateTitle(name);
    ShowStatus("New model.", 1);
    SendEditorEvent(EVENT_OPENED);
    return 1;
}

int OpenModelAnywhere(const std::optional<std::string>& name)
{
    if (!name || name->empty())
        return NewModel() ? 1 : 0;
    for (const std::string& directory : ModelDirectories())
        if (FindModelFile(1, directory, *name, ShowConfirmLines))
            return OpenModel(directory, *name);
    return 0;
}

int OpenModelFromDirectories(const std::string& name)
{
    if (!AcceptGivenModelName(name))
        return 0;
    // Every directory is searched before a new model is started in the first.
    for (const std::string& directory : ModelDirectories())
        if (FindModelFile(1, directory, name, ShowConfirmLines) || FindModelFile(2, directory, name, ShowConfirmLines))
            return OpenModel(directory, name);
    const std::string first = FirstModelDirectory();
    return first.empty() ? 0 : OpenModel(first, name);
}

int SaveModel(const std::string& name, int checked)
{
    const std::string directory = FirstModelDirectory();
    const int main = ModelHasPios() ? 0 : 1;
    std::string path = MakeModelFileName(1, directory, name, main);
    if (checked)
        path.back() = '0';
    // Whatever the check found, a junction is saved with the count of its bonds as its argument.
    update_junction_arguments();
    if (write_model_file(path, name, 1) != 0) {
        nothingSavedWhenEdited();
        return 0;
    }
    DeleteModelVariants(1, path, ShowMessageLines);
    const std::string arguments = MakeModelFileName(10, directory, name, main);
    write_argument_file(arguments);
    DeleteModelVariants(10, arguments, ShowMessageLines);
    ShowStatus(checked ? "Graphical info and Keldor saved." : "Only graphical info saved.", 1);
    Editor().modelDirectory = directory;
    UpdateTitle(name);
    SendEditorEvent(EVENT_SAVED);
    return 1;
}

int CheckAndSave()
{
    if (ModelDirectories().empty())
        return 0;
    const std::string name = Editor().modelName;
    if (name.empty()) {
        chooseName("Check & Save model", CheckAndSaveChosen);
        return 1;
    }
    if (ConfirmModelOverwrite(1, FirstModelDirectory(), name, ShowMessageLines, ShowReplaceConfirmLines) != -1)
        return SaveModel(name, 1);
    nothingSavedWhenEdited();
    return 0;
}

void CheckAndSaveChosen(const std::string& directory, const std::string& name)
{
    GraphEditorState& editor = Editor();
    const int command = editor.commandAfterCheckAndSave;
    editor.commandAfterCheckAndSave = 0;
    // A processing that waited for the name goes on only with the model saved under it;
    // otherwise it is dropped, and the simulation or C code that was to follow it.
    const auto dropWaiting = [&] {
        if (command != 0)
            editor.simulatePending = editor.ccodePending = false;
    };
    if (!ValidateModelBaseName(name, [](const std::string& text) { ShowMessage({text, "Nothing saved!"}); }) ||
        savingOverAnotherEditorsModel(name)) {
        dropWaiting();
        return;
    }
    const int answer = ConfirmModelOverwrite(9, directory, name, ShowMessageLines, ShowReplaceConfirmLines);
    if (answer == -1) {
        nothingSavedWhenEdited();
        dropWaiting();
        return;
    }
    const int saved = SaveModel(name, 1);
    if (saved && (answer == 0 || answer == 1) && ModelHasPios() && Hooks().refreshLibraryList)
        Hooks().refreshLibraryList();
    if (command != 0 && saved)
        postToOwnWindow(UM_PROCESS_MODEL, command);
    else
        dropWaiting();
}

void SaveAsChosen(const std::string& directory, const std::string& name)
{
    if (!ValidateModelBaseName(name, [](const std::string& text) { ShowMessage({text, "Nothing saved!"}); }) ||
        savingOverAnotherEditorsModel(name))
        return;
    const int answer = ConfirmModelOverwrite(9, directory, name, ShowMessageLines, ShowReplaceConfirmLines);
    if (answer == -1) {
        nothingSavedWhenEdited();
        return;
    }
    if (SaveModel(name, 0) && (answer == 0 || answer == 1) && ModelHasPios() && Hooks().refreshLibraryList)
        Hooks().refreshLibraryList();
}

void SaveGraphicsOnly()
{
    const std::string name = Editor().modelName;
    if (name.empty()) {
        chooseName("Save as New Model", SaveAsChosen);
        return;
    }
    if (ConfirmModelOverwrite(1, FirstModelDirectory(), name, ShowMessageLines, ShowReplaceConfirmLines) != -1)
        SaveModel(name, 0);
    else
        nothingSavedWhenEdited();
}

int IsProcessedUpToDate(const std::string& directory, const std::string& name)
{
    const std::string code = MakeCodeFileName(Startup().ProcessedDirectory, name);
    std::optional<std::string> processed = platform::findFileNoCase(directory, name + ".mg3");
    if (!processed)
        return 0;
    std::optional<std::int64_t> codeTime = platform::modificationTime(code);
    std::optional<std::int64_t> modelTime = platform::modificationTime(*processed);
    return codeTime && modelTime && *codeTime >= *modelTime ? 1 : 0;
}

void RequestSimulation()
{
    GraphEditorState& editor = Editor();
    if (!CurrentModel().edited && IsProcessedUpToDate(FirstModelDirectory(), editor.modelName)) {
        StartSimulator();
        return;
    }
    editor.simulatePending = true;
    postToOwnWindow(UM_PROCESS_MODEL, PROCESS_COMPLETE);
}

int RequestCCode(const std::string& name)
{
    GraphEditorState& editor = Editor();
    if (name.empty())
        return 1;
    const bool shown = name == editor.modelName;
    // The processing goes through the main window, where it waits for a processor still open.
    if (CurrentModel().edited) {
        if (shown) {
            requestProcessingForCCode(name);
            return 0;
        }
        if (Hooks().checkConnections && Hooks().checkConnections() > 0) {
            ShowMessage({"There are errors in the current model", "C-Code generation could not be performed"});
            return 0;
        }
        CheckAndSave();
        if (!ModelDirectories().empty())
            requestProcessingForCCode(name);
        return 0;
    }
    if (IsProcessedUpToDate(FirstModelDirectory(), name))
        return 1;
    requestProcessingForCCode(name);
    return 0;
}

void ProcessingResult(int result, platform::WindowHandle logWindow)
{
    GraphEditorState& editor = Editor();
    // Whatever the result, nothing stays pending for the next one.
    const bool simulate = editor.simulatePending;
    editor.simulatePending = false;
    if (editor.ccodePending) {
        editor.ccodePending = false;
        SetProcessorLogWindow(logWindow);
        if (result == PROCESS_COMPLETE) {
            CloseProcessorLog();
            ContinueCCodeGeneration(editor.ccodeSelection);
        } else {
            ShowMessage({"Error processing model"});
        }
        return;
    }
    if (ShowProcessingResult(result, logWindow) && simulate)
        StartSimulator();
}

void NewGraphCommand()
{
    // A refused New keeps the model shown and its way back.
    if (NewModel())
        ForgetParentChain();
}

void OpenCommand()
{
    if (EditorFrame* f = frame())
        f->chooseModelName("Open model", 1,
                           [](const std::string& directory, const std::string& name) {
                               // The way back is forgotten once another model is shown.
                               if (OpenModel(directory, name))
                                   ForgetParentChain();
                           },
                           2);
}

void SaveCommand()
{
    Editor().commandAfterCheckAndSave = 0;
    if (!Hooks().checkConnections || Hooks().checkConnections() == 0) {
        CheckAndSave();
        return;
    }
    if (CurrentModel().edited &&
        ShowConfirm("Cancel", "Save Graphical Info", {"There are errors in the model.", "OK to save graphical info anyway?"}))
        SaveGraphicsOnly();
}

void SaveAsCommand()
{
    if (Hooks().checkConnections && Hooks().checkConnections() > 0 &&
        !ShowConfirm("Cancel", "Save Graphical Info", {"There are errors in the model.", "OK to save graphical info anyway?"}))
        return;
    chooseName("Save as New Model", SaveAsChosen);
}

void SimulationCommand()
{
    RequestSimulation();
}

void ProcessCommand(int command)
{
    GraphEditorState& editor = Editor();
    editor.simulatePending = editor.ccodePending = false;
    editor.otherModel.clear();
    postToOwnWindow(UM_PROCESS_MODEL, command);
}

namespace {

/// Once the processor has ended, what waited for it goes on: a start, then a command.
void resumeAfterProcessor()
{
    if (EditorFrame* f = frame())
        PostWhatWaitedForProcessor(Processor(), f->mainWindowHandle(), Editor().waitingCommand);
}

} // namespace

void OnProcessModel(int command)
{
    GraphEditorState& editor = Editor();
    editor.waitingCommand = command;
    // One processor at a time: the one still open is asked to end, and the command waits for it.
    if (!Processor().freeFor(resumeAfterProcessor))
        return;
    editor.waitingCommand.reset();
    const std::string other = std::exchange(editor.otherModel, std::string());
    const int started = other.empty() ? StartProcessing(command, true) : startProcessingOf(other);
    if (started == 0)
        editor.simulatePending = editor.ccodePending = false;
}

void OnProcessorExited()
{
    // Any program may say so: it counts only when the processor started has ended.
    Processor().takeEnd(Editor().waitingCommand.has_value(), resumeAfterProcessor);
}

void OnProcessingDone(int result, platform::WindowHandle logWindow)
{
    // Only the processor this editor started answers it.
    if (!Processor().acceptResult(logWindow))
        return;
    ProcessingResult(result, logWindow);
    // A command given while this run was under way goes on once its processor has ended.
    if (Editor().waitingCommand)
        CloseProcessor();
}

void OnProcessorStart(const std::optional<std::string>& tail)
{
    if (!Processor().mayStart(tail, resumeAfterProcessor))
        return;
    pid_t started = 0;
    LaunchProgram(3, tail, 0, &started);
    OnProgramLaunched(3, started);
}

void OnProgramLaunched(int code, pid_t started)
{
    if (code != 3)
        return;
    ProcessorLaunched(started);
    // A processor that could not be started answers nothing: nothing waits for its result.
    if (started == 0)
        Editor().simulatePending = Editor().ccodePending = false;
}
