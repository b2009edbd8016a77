// The graph editor's model commands: new, open, save, save as, check and save,
// the edited flag, the title and the status line, the editor's start, and the
// requests that make sure a model is processed before it is simulated or
// turned into C code; every change of the editor goes through its state machine.
#pragma once

#include "grapheditor/program/editor_state.h"
#include "platform/core/window_handle.h"

#include <functional>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

class EditorFrame;

/// What the interaction part of the editor lends the commands; each has a
/// stand-in until that part is there.
struct EditorHooks {
    /// Checks the model's connections: the number of errors (none by default).
    std::function<int()> checkConnections;
    /// Reads the submodel library lists again (the draw popup's list).
    std::function<void()> refreshLibraryList;
};
EditorHooks& Hooks();

/// The editor's own data, one set per process.
struct GraphEditorState {
    std::string modelName; ///< with its version digit; empty for an untitled model
    std::string modelDirectory; ///< the folder the model was opened from or saved in; empty for a new one
    EditorStateMachine machine;
    std::string statusText; ///< the text kept in the status line
    std::optional<int> waitingCommand; ///< processing waiting for the processor's log to close
    int commandAfterCheckAndSave = 0;  ///< processing to post once a named Check & Save is done; 0 none
    bool simulatePending = false;
    bool ccodePending = false;
    std::string ccodeSelection; ///< the selected submodel the pending C code is for
    std::string otherModel;     ///< the model the waiting processing is for, when not the one shown
    EditorFrame* frame = nullptr;
};
GraphEditorState& Editor();

/// A new editor: its data back to the start, the frame forgotten (tests).
void ResetEditor();

/// The editor's start, at the end of the main window's set-up: empty model,
/// library lists, tool properties, renaming of old files, then the start event.
void InitEditor(EditorFrame& frame);

/// The tool properties: grid step, snap text, default multibond size; 0 when
/// the size expression was bad ("3" is used then).
int ApplyToolProperties();

/// Sends an event to the state machine and applies the new mask.
void SendEditorEvent(int event);
/// Applies the current mask again (after a change the mask does not show).
void RefreshCommands();

void SetEdited();
void ClearEdited();
/// The current model's edited flag changed: title and state follow.
void EditedChanged();

/// Kept (keep set): stays until replaced; a passing empty text shows the kept one again.
void ShowStatus(const std::string& text, int keep);

/// Takes the name as the model's and sets the window title from it.
void UpdateTitle(const std::string& name);
/// The title the window shows now.
std::string TitleText(bool minimised);

/// The model directories of the settings, in order; the first directory, empty when none.
std::vector<std::string> ModelDirectories();
std::string FirstModelDirectory();
/// The model's folder: the one it was opened from or saved in, else the first
/// model directory, where it will be saved.
std::string ModelFolder();

int NewModel();
/// When another editor holds the model, it is brought to the front with the
/// model and the status line says where the model is: 1 then, else 0.
int ModelHeldElsewhere(const std::string& name);
/// Another program asks for the model (`UM_OPEN_MODEL`): the one the editor
/// holds with edits stays as it is, edits and all; any other (the one held
/// unedited too) is opened from the directories.
int OpenAskedModel(const std::string& name);
/// Opens the named model from a directory, or starts a new one of that name in
/// the first directory: 1 when a model was opened or started; 0 when another
/// editor holds it (`ModelHeldElsewhere`).
int OpenModel(const std::string& directory, const std::string& name);
/// Opens the model from the first directory that holds a graph model file of
/// it; a missing name starts a new model.
int OpenModelAnywhere(const std::optional<std::string>& name);
/// Opens a named model from every directory that holds it, else a new one in the first; a name
/// no model's files can have is refused with a message.
int OpenModelFromDirectories(const std::string& name);

int SaveModel(const std::string& name, int checked);
int CheckAndSave();
void CheckAndSaveChosen(const std::string& directory, const std::string& name);
void SaveAsChosen(const std::string& directory, const std::string& name);
void SaveGraphicsOnly();

/// 1 when the model's code file exists and is not older than its ".mg3" file in the directory.
int IsProcessedUpToDate(const std::string& directory, const std::string& name);

void RequestSimulation();
/// 1: the code of `name` is up to date; 0: processing was started (or refused).
int RequestCCode(const std::string& name);
/// A processing result arrived.
void ProcessingResult(int result, platform::WindowHandle logWindow);

/// The command handlers of the file menu and of Simulation.
void NewGraphCommand();
void OpenCommand();
void SaveCommand();
void SaveAsCommand();
void SimulationCommand();
/// Causal Analysis and Complete Processing: posts the processing to the main
/// window; a simulation or C code still waiting from an earlier request is dropped.
void ProcessCommand(int command);

/// The main window's handlers of the processing messages. A processing waits
/// while a model processor is open, which is asked to end first.
void OnProcessModel(int command);
void OnProcessorExited();
void OnProcessingDone(int result, platform::WindowHandle logWindow);
/// A start of the model processor (UM_LAUNCH for it), from whichever program:
/// it waits while the processor this editor started runs.
void OnProcessorStart(const std::optional<std::string>& tail);
/// A program was started (or reached) for the main window's UM_LAUNCH.
void OnProgramLaunched(int code, pid_t started);

/// 1 when the model shown has an interface (at least one PIO).
int ModelHasPios();
