// The equation editor's model module.
#include "equationeditor/model_commands.h"

#include "equationeditor/editor_frame.h"
#include "equationeditor/equation_model_file.h"
#include "equationeditor/model_check.h"
#include "equationeditor/processing_requests.h"

#include "common/launcher.h"
#include "common/message_boxes.h"
#include "common/model_file_names.h"
#include "common/model_overwrite.h"
#include "common/processor_run.h"
#include "common/settings_table.h"
#include "common/startup.h"
#include "common/text_helpers.h"
#include "modelproc/display_hooks.h"
#include "platform/core/file_system.h"
#include "platform/core/message_sink.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace {

const std::vector<std::string> kNotStoredLines = {"Unable to open file on current path.", "The text could not be stored.",
                                                  "Check the Templates path in General Properties,",
                                                  "or consult your Orvanta manager."};

void notSavedWhenEdited()
{
    if (EquationEditor().edited)
        showStatus("Model text not saved!", 1);
}

/// A chooser callback that acts only while the editor still holds the model it was opened for.
ChosenNameCallback forThisModel(std::function<void(const std::string&, const std::string&)> action)
{
    const unsigned generation = EquationEditor().generation;
    return [generation, action = std::move(action)](const std::string& directory, const std::string& name) {
        if (EquationEditor().generation != generation) {
            showStatus("Model text not saved!", 1);
            return;
        }
        action(directory, name);
    };
}

/// The editor holds another model now: names chosen for the one before are not used.
void modelReplaced()
{
    ++EquationEditor().generation;
}

/// Steps 1 and 2 of both saves: the name's check and, while unknown, the model's kind.
bool nameAndKindAccepted(const std::string& name, const char* firstLine)
{
    if (CheckModelName(name) != 0) {
        ShowMessage({firstLine, "up to 7 characters for the name", "followed by 1 character for the",
                     "version number [1..9]."});
        showStatus("Model text not saved!", 1);
        return false;
    }
    EquationEditorData& editor = EquationEditor();
    if (editor.mainModel == -1) {
        platform::MessageBoxRequest box;
        box.kind = platform::BoxKind::YesNoCancel;
        box.caption = "Orvanta Confirm";
        box.icon = platform::BoxIcon::Question;
        box.owner = editor.frame ? editor.frame->mainWindowHandle() : 0;
        box.lines = {"At this stage the Equation Editor has no information whether",
                     "this is a sub model or a main model.",
                     "",
                     "Sub model is assumed.",
                     "Press Yes to save as a SUB model,",
                     "press No to save as a MAIN model,",
                     "or Cancel to return to the Editor."};
        const platform::BoxAnswer answer = platform::messageSink().show(box);
        if (answer == platform::BoxAnswer::Yes)
            editor.mainModel = 0;
        else if (answer == platform::BoxAnswer::No)
            editor.mainModel = 1;
        else
            return false;
    }
    return true;
}

/// The kind of model a file holds by its extension's first letter: 1 main model, 0 submodel, -1 unknown.
int kindOfModelFile(const std::string& path)
{
    const std::size_t dot = path.rfind('.');
    const char letter = dot == std::string::npos || dot + 1 >= path.size() ? '\0' : path[dot + 1];
    return letter == 'm' || letter == 'M' ? 1 : letter == 's' || letter == 'S' ? 0 : -1;
}

/// Before a save to `path` replaces files of its name, the user is asked: files
/// of another kind (the other of main model and submodel, or a graph model),
/// and with `anyKind` (a name other than the model's own) every file of the
/// name. False when the files are to stay.
bool replacedFilesAccepted(const std::string& path, bool anyKind)
{
    static constexpr std::array<std::string_view, 20> kVariants = {
        ".mgg", ".mg0", ".mg1", ".mg2", ".mg3", ".sgg", ".sg0", ".sg1", ".sg2", ".sg3",
        ".mff", ".mf0", ".mf1", ".mf2", ".mf3", ".sff", ".sf0", ".sf1", ".sf2", ".sf3"};
    const std::size_t slash = path.rfind('/');
    const std::string directory = slash == std::string::npos ? "." : path.substr(0, slash);
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    if (path.size() < nameStart + 5)
        return true;
    const std::string stem = path.substr(nameStart, path.size() - 4 - nameStart);
    // The folder is read once for all the variants.
    const std::optional<std::vector<std::string>> names = platform::listDirectory(directory);
    if (!names)
        return true;
    const int ownKind = kindOfModelFile(path);
    std::vector<std::string> found;
    for (std::string_view extension : kVariants) {
        const bool graph = extension[2] == 'g';
        const int kind = extension[1] == 'm' ? 1 : 0;
        if (!anyKind && !graph && kind == ownKind)
            continue;
        const std::string variant = stem + std::string(extension);
        for (const std::string& name : *names)
            if (platform::equalsNoCase(name, variant))
                found.push_back(platform::joinPath(directory, name));
    }
    if (found.empty())
        return true;
    std::vector<std::string> question = ModelOverwriteQuestion(directory, stem, found);
    // The model's own text saved as the other kind: what it replaces is its main model.
    const auto equationMainModel = [](const std::string& file) {
        return kindOfModelFile(file) == 1 && platform::toLower(file.substr(file.size() - 2, 1)) == "f";
    };
    if (!anyKind && std::all_of(found.begin(), found.end(), equationMainModel))
        question = {"Model exists as main model. OK to overwrite?"};
    return ShowReplaceConfirmLines("Cancel", "Overwrite", question) != 0;
}

/// True when the save goes to a name other than the model's own (a new model's included).
bool savingUnderAnotherName(const std::string& name)
{
    return !platform::equalsNoCase(name, EquationEditor().modelName);
}

platform::WindowHandle ownWindow()
{
    EquationEditorFrame* frame = EquationEditor().frame;
    return frame ? frame->mainWindowHandle() : 0;
}

/// A name another editor holds is not saved over: its edits are that editor's.
bool savingOverAnotherEditorsModel(const std::string& name)
{
    if (!savingUnderAnotherName(name))
        return false;
    const std::string notice = HeldModelNotice(name, ownWindow());
    if (notice.empty())
        return false;
    ShowMessage({notice, "Model text not saved!"});
    showStatus("Model text not saved!", 1);
    return true;
}

void markUnedited()
{
    EquationEditorData& editor = EquationEditor();
    editor.edited = false;
    if (editor.frame)
        editor.frame->setEditModified(false);
}

/// The plain save under a chosen name (Save As, Save Model As).
void plainSaveChosen(const std::string& directory, const std::string& name)
{
    saveText(directory, name);
}

/// The plain save of the current model.
void plainSaveCurrent()
{
    EquationEditorData& editor = EquationEditor();
    if (editor.modelName.empty()) {
        editor.mainModel = -1;
        if (editor.frame)
            editor.frame->chooseModelName("Save Model As", 2, forThisModel(plainSaveChosen), 5);
        return;
    }
    plainSaveChosen(FirstModelDirectory(), editor.modelName);
}

bool askSaveWithErrors()
{
    return ShowConfirm("Cancel", "Save model text", {"There are errors in the model. Save model text anyway?"}) != 0;
}

} // namespace

EquationEditorData& EquationEditor()
{
    static EquationEditorData state;
    return state;
}

void ResetEquationEditor()
{
    EquationEditor() = EquationEditorData();
    ModelCheck() = ModelCheckState();
    EquationProcessor().forget();
}

EditorModuleHooks& ModuleHooks()
{
    static EditorModuleHooks hooks;
    return hooks;
}

std::vector<std::string> ModelDirectories()
{
    std::vector<std::string> directories;
    for (std::string& directory : SplitPathList(Settings().model_dirs))
        if (!directory.empty())
            directories.push_back(std::move(directory));
    return directories;
}

std::string FirstModelDirectory()
{
    const std::vector<std::string> directories = ModelDirectories();
    return directories.empty() ? std::string() : directories.front();
}

void initEditorModule(EquationEditorFrame& frame)
{
    EquationEditorData& editor = EquationEditor();
    editor.frame = &frame;
    if (ModelDirectories().empty())
        return;
    editor.modelName.clear();
    if (ModuleHooks().createTemplatePopup)
        ModuleHooks().createTemplatePopup();
    frame.createLog("EE: syntax errors");
    ttset_progress_callback(ttdisplay_progress_comp);
    editorEvent(EE_EVENT_STARTED);
}

void editorEvent(int event)
{
    EquationEditorData& editor = EquationEditor();
    if (editor.state == EE_STATE_START && event == EE_EVENT_STARTED) {
        editor.state = EE_STATE_BLANK;
        editor.mask = EquationEditorStateMask(EE_STATE_BLANK);
        if (editor.frame)
            editor.frame->applyCommandMask(editor.mask);
        RefreshCaption();
        const std::string& startModel = Startup().StartupModelName;
        if (!startModel.empty() && !ModelDirectories().empty())
            openModelFromDirectories(startModel);
        return;
    }
    editor.state = NextEquationEditorState(editor.state, event);
    if (editor.state == EE_STATE_ERROR) {
        showStatus("error in STD", 1);
        editor.mask = 0;
        if (editor.frame)
            editor.frame->applyCommandMask(0);
        return;
    }
    bool applies = false;
    const std::uint32_t mask = EquationEditorStateMask(editor.state, &applies);
    if (applies) {
        editor.mask = mask;
        if (editor.frame)
            editor.frame->applyCommandMask(mask);
    }
}

std::string CaptionText(bool minimised)
{
    const EquationEditorData& editor = EquationEditor();
    const bool named = !editor.modelName.empty();
    if (minimised)
        return std::string(editor.edited ? ">" : "") + (named ? editor.modelName : "untitled");
    std::string caption = "Orvanta Equation Editor";
    if (editor.edited || named)
        caption += " - ";
    caption += named ? editor.modelName : editor.edited ? "untitled" : "";
    if (editor.edited)
        caption += " (edited)";
    return caption;
}

void RefreshCaption()
{
    if (EquationEditorFrame* frame = EquationEditor().frame) {
        frame->setTitle(CaptionText(frame->isMinimised()));
        // The other programs learn which model this editor holds.
        PublishProgramState(frame->mainWindowHandle(), EquationEditor().modelName);
    }
}

void setModelName(const std::string& name)
{
    EquationEditor().modelName = name;
    RefreshCaption();
}

void showStatus(const std::string& text, int keep)
{
    EquationEditorData& editor = EquationEditor();
    if (keep)
        editor.keptStatus = text;
    if (!editor.frame)
        return;
    editor.frame->showStatusText(!keep && text.empty() ? editor.keptStatus : text);
}

int openModelByName(const std::string& directory, const std::string& name)
{
    EquationEditorData& editor = EquationEditor();
    showStatus("", 1);
    // A model another editor holds is shown there, with what was done to it.
    std::string heldThere;
    if (HandModelToItsEditor(name, ownWindow(), heldThere)) {
        showStatus(heldThere, 1);
        return 1;
    }
    const std::optional<std::string> path = FindModelFile(2, directory, name, ShowConfirmLines);
    if (!path) {
        if (FindModelFile(1, directory, name, ShowConfirmLines))
            return postRequestToMainWindow(0, name);
        if (!newBlankModel())
            return 0;
        setModelName(name);
        showStatus("New model.", 1);
        return 0;
    }
    if (editor.edited &&
        !ShowConfirm("Cancel", "Discard edits, then Open",
                     {"The model in the Equation Editor has been edited.",
                      "Press OK to discard edits now and load a new model,",
                      "or Cancel to go back and save the model."}))
        return 1;
    // The text is replaced only once the file has been read, so a failed load loses nothing.
    if (LoadText(*path)) {
        modelReplaced();
        markUnedited();
        // The model is of the kind its file says until a clean check tells otherwise.
        editor.mainModel = kindOfModelFile(*path);
        setModelName(name);
        editorEvent(EE_EVENT_CHECKED);
    } else {
        showStatus("Error reading model.", 1);
    }
    return 1;
}

int openModelFromDirectories(const std::string& name)
{
    if (!AcceptGivenModelName(name))
        return 0;
    const std::vector<std::string> directories = ModelDirectories();
    for (const std::string& directory : directories)
        if (FindModelFile(2, directory, name, ShowConfirmLines))
            return openModelByName(directory, name);
    for (const std::string& directory : directories)
        if (FindModelFile(1, directory, name, ShowConfirmLines))
            return postRequestToMainWindow(0, name);
    if (!directories.empty())
        openModelByName(directories.front(), name);
    return 0;
}

int openAskedModel(const std::string& name)
{
    // Asked for the model it holds with edits, the editor keeps it as it is: the edits are what the user has.
    EquationEditorData& editor = EquationEditor();
    if (editor.edited && !editor.modelName.empty() && platform::equalsNoCase(name, editor.modelName)) {
        showStatus("Model " + editor.modelName + " is open.", 1);
        return 1;
    }
    return openModelFromDirectories(name);
}

int newBlankModel()
{
    EquationEditorData& editor = EquationEditor();
    if (editor.edited &&
        !ShowConfirm("Cancel", "Confirm, discard edits",
                     {"The model in the Equation Editor has been edited.", "Press OK to confirm edits to be discarded,",
                      "or Cancel to go back and save the model."}))
        return 0;
    modelReplaced();
    if (editor.frame) {
        editor.frame->setEditModified(false);
        editor.frame->setEditText("");
    }
    editor.modelName.clear();
    // A new model's kind is asked for when it is saved before a clean check tells it.
    editor.mainModel = -1;
    editor.edited = false;
    RefreshCaption();
    editorEvent(EE_EVENT_DISCARDED);
    return 1;
}

int saveText(const std::string& directory, const std::string& name)
{
    EquationEditorData& editor = EquationEditor();
    if (savingOverAnotherEditorsModel(name) || !nameAndKindAccepted(name, "The file name of a model exists of"))
        return 0;
    const std::string path = MakeModelFileName(2, directory, name, editor.mainModel);
    RefreshCaption();
    if (!replacedFilesAccepted(path, savingUnderAnotherName(name)) || !SaveText(path)) {
        notSavedWhenEdited();
        return 0;
    }
    DeleteModelVariants(2, path, ShowMessageLines);
    setModelName(name);
    editorEvent(EE_EVENT_SAVED);
    showStatus("Model text saved.", 1);
    markUnedited();
    RefreshCaption();
    return 1;
}

int saveChecked(const std::string& directory, const std::string& name)
{
    EquationEditorData& editor = EquationEditor();
    if (savingOverAnotherEditorsModel(name) || !nameAndKindAccepted(name, "The name of a model exists of"))
        return 0;
    std::string path = MakeModelFileName(2, directory, name, editor.mainModel);
    path.back() = static_cast<char>('0' + editor.lastCheckLevel);
    RefreshCaption();
    if (!replacedFilesAccepted(path, savingUnderAnotherName(name)) || !SaveText(path)) {
        notSavedWhenEdited();
        return 0;
    }
    markUnedited();
    DeleteModelVariants(2, path, ShowMessageLines);
    setModelName(name);
    return 1;
}

int checkAndSave(std::function<void()> afterSave)
{
    EquationEditorData& editor = EquationEditor();
    if (editor.modelName.empty()) {
        editor.mainModel = -1;
        if (editor.frame)
            editor.frame->chooseModelName(
                "Check & Save Model As", 2,
                forThisModel([afterSave](const std::string& directory, const std::string& name) {
                    if (saveChecked(directory, name) && afterSave)
                        afterSave();
                }),
                5);
        return SAVE_ASKING;
    }
    // The save asks before it replaces the model's files of another form or kind.
    const std::string directory = FirstModelDirectory();
    if (!saveChecked(directory, editor.modelName))
        return SAVE_FAILED;
    if (afterSave)
        afterSave();
    return SAVE_DONE;
}

int isCodeFileCurrent(const std::string& directory, const std::string& name)
{
    const std::string code = SetBaseDirectory(Startup().ProcessedDirectory) + name + ".l";
    const std::string model = SetBaseDirectory(directory) + name + ".mf3";
    const std::optional<std::int64_t> codeTime = platform::modificationTime(code);
    const std::optional<std::int64_t> modelTime = platform::modificationTime(model);
    return codeTime && modelTime && *codeTime >= *modelTime ? 1 : 0;
}

int SaveText(const std::string& path)
{
    EquationEditorFrame* frame = EquationEditor().frame;
    // The text is read whole before anything is written, and the file is replaced
    // at once, so that a failure leaves the file as it was.
    const std::optional<std::string> text = frame ? frame->editText() : std::nullopt;
    if (!text || !WriteEquationModelFile(path, *text)) {
        ShowMessageLines(kNotStoredLines);
        return 0;
    }
    return 1;
}

int LoadText(const std::string& path)
{
    EquationEditorFrame* frame = EquationEditor().frame;
    const std::optional<std::string> text = ReadEquationModelFile(path);
    if (!text || !frame) {
        ShowMessage({"Unable to open file on current path.", "The text could not be loaded.",
                     "Check the path in General Properties,", "or consult your Orvanta manager."});
        return 0;
    }
    frame->setEditText(*text);
    return 1;
}

void OpenCommand()
{
    if (EquationEditorFrame* frame = EquationEditor().frame)
        frame->chooseModelName(
            "Open or New Model", 2, [](const std::string& directory, const std::string& name) {
                openModelByName(directory, name);
            },
            2);
}

void SaveCommand()
{
    EquationEditorData& editor = EquationEditor();
    const int level = ffcheck(editor.modelName);
    editor.lastCheckLevel = level;
    if (level == kCheckEquations) {
        // The event follows the save itself, also when the name is still to be chosen.
        checkAndSave([] { editorEvent(EE_EVENT_CHECKED); });
        return;
    }
    saveDespiteErrors();
}

void saveDespiteErrors()
{
    if (EquationEditor().edited && askSaveWithErrors())
        plainSaveCurrent();
}

void SaveAsCommand()
{
    EquationEditorData& editor = EquationEditor();
    if (editor.modelName.empty())
        editor.mainModel = -1;
    const int level = ffcheck(editor.modelName);
    editor.lastCheckLevel = level;
    if (!editor.frame)
        return;
    if (level == kCheckEquations) {
        editor.frame->chooseModelName("Save as New Model", 2, forThisModel([](const std::string& d, const std::string& n) {
                                          saveChecked(d, n);
                                      }),
                                      5);
        return;
    }
    if (askSaveWithErrors())
        editor.frame->chooseModelName("Save as New Model", 2, forThisModel(plainSaveChosen), 5);
}

void EditChanged()
{
    EquationEditorData& editor = EquationEditor();
    if (!editor.frame)
        return;
    if (editor.frame->editModified()) {
        editor.edited = true;
        editorEvent(EE_EVENT_EDITED);
        RefreshCaption();
    } else {
        markUnedited();
        RefreshCaption();
    }
    showStatus("", 1);
}

int CanQuit()
{
    const bool mayClose =
        !EquationEditor().edited ||
        ShowConfirm("Cancel, do NOT quit", "Discard edits, then Quit",
                    {"The model in the Equation Editor has been edited.", "Press OK to discard all edits made and quit,",
                     "or Cancel to go back and save the model."});
    CloseProcessorLog();
    return mayClose ? 1 : 0;
}
