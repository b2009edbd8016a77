// The equation editor's model module: the current model's name and flags, the
// equation model files it opens and saves, the new-blank-model step, the
// editor state machine with the command mask it applies, the caption and the
// status line, and the module's start.
#pragma once

#include "equationeditor/editor_state.h"


#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class EquationEditorFrame;

/// The editor's own data, one set per process.
struct EquationEditorData {
    std::string modelName;   ///< with its version digit; empty while untitled
    int mainModel = 0;       ///< -1 unknown, 0 submodel, 1 main model
    bool edited = false;
    int lastCheckLevel = 0;  ///< 0 to 3; 3 means no errors
    int state = EE_STATE_START;
    std::uint32_t mask = 0;
    std::string keptStatus;
    /// Counts the models the editor has held: a name chosen for an earlier one is not used.
    unsigned generation = 0;
    EquationEditorFrame* frame = nullptr;

    // Processing and simulation requests.
    std::optional<int> waitingCommand;
    bool simulationPending = false;
};
EquationEditorData& EquationEditor();

/// A new editor: its data back to the start, the frame forgotten (tests).
void ResetEquationEditor();

/// What the module's start creates beside the editor (the template popup).
struct EditorModuleHooks {
    std::function<void()> createTemplatePopup;
};
EditorModuleHooks& ModuleHooks();

/// The start, from the main window's set-up: with at least one model directory
/// the log window and the front end's progress display are set up and the
/// start-up event opens the `-model` model; without one the editor stays in state 0.
void initEditorModule(EquationEditorFrame& frame);

/// The model directories of the settings, in order.
std::vector<std::string> ModelDirectories();
std::string FirstModelDirectory();

/// Opens the newest equation model file of the name in the directory (a graph
/// model of the name goes to the graph editor, and a model another editor
/// holds is shown there): 1 when a file of the name was found there or the
/// model was handed on, whether or not it was loaded, else 0.
int openModelByName(const std::string& directory, const std::string& name);

/// Opens the name from the first model directory that holds an equation
/// model of it, else hands a graph model of it to the graph editor, else
/// starts one new blank model of that name: 1 when a model file was found. A name no model's
/// files can have is refused with a message.
int openModelFromDirectories(const std::string& name);

/// Another program asks for the model (`UM_OPEN_MODEL`): the one the editor
/// holds with edits stays as it is, edits and all; any other (the one held
/// unedited too) is opened from the directories.
int openAskedModel(const std::string& name);

/// The new-blank-model step: 1 when the editor now holds an empty untitled
/// model, 0 when the user kept the edited text.
int newBlankModel();

/// The plain save: 1 saved, 0 not.
int saveText(const std::string& directory, const std::string& name);
/// The checked save (the extension's last letter is the check level): 1 saved, 0 not.
int saveChecked(const std::string& directory, const std::string& name);

/// What `checkAndSave` did.
enum CheckAndSaveResult : int {
    SAVE_FAILED = 0,
    SAVE_DONE = 1,
    SAVE_ASKING = 2, ///< the name chooser is open; the save happens when the user confirms
};
/// Saves the cleanly checked model (asking for a name when untitled); `afterSave`
/// runs once the checked file is written, now or when the chooser confirms.
int checkAndSave(std::function<void()> afterSave = {});

void setModelName(const std::string& name);
/// Kept (keep set): stays until replaced; a passing empty text brings the kept one back.
void showStatus(const std::string& text, int keep);
/// The state machine: moves on the event and applies the mask of the state reached.
void editorEvent(int event);

/// The caption for the current name and flags.
std::string CaptionText(bool minimised);
void RefreshCaption();

/// 1 when the code file of the name exists in the processed-model directory
/// and is not older than its ".mf3" file in the directory.
int isCodeFileCurrent(const std::string& directory, const std::string& name);

/// Writes the edit text to the model file (the text, a line end, a NUL); 1 on success.
int SaveText(const std::string& path);
/// Replaces the edit text by the model file's; 1 on success, else the text stays.
int LoadText(const std::string& path);

/// After a check with errors: only when edited, asks whether to save the text
/// anyway and then saves it plainly.
void saveDespiteErrors();

/// The command handlers.
void OpenCommand();
void SaveCommand();   ///< Save and Check & Save
void SaveAsCommand();
/// The edit control reported a change.
void EditChanged();
/// The quit step: 1 when the editor may close.
int CanQuit();
