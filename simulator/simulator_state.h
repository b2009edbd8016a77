// The simulator's state machine with its command-enable mask, the experiment
// record, and the actions that load a model, load and save an experiment and quit.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

enum SimulatorStateValue { StateNotStarted = 0, StateNoModel = 1, StateModelLoaded = 2, StateBusy = 3, StateBroken = 4 };

enum SimulatorEvent {
    EventStartupDone = 1, EventModelLoaded = 2, EventExperimentLoaded = 3, EventExperimentSaved = 4,
    EventReadingData = 5, EventSimulating = 6, EventRunEnded = 7, EventExperimentEdited = 10,
    EventEditsCleared = 11, EventSettingsReset = 12
};

struct ExperimentRecord {
    std::string modelName;       ///< at most 25 characters; empty when no model
    std::string experimentName;  ///< at most 25 characters; empty: untitled
    std::string experimentDirectory;
    std::string modelDirectory;  ///< where the loaded model's code file lies
};
ExperimentRecord& Experiment();

inline int SimulatorState = StateNotStarted;
inline int ExperimentEdited = 0;
inline std::uint32_t CommandMask = 0;

/// What the main window takes from the state machine (each may be left empty).
struct SimulatorWindowHooks {
    std::function<void(std::uint32_t mask)> applyMask;
    std::function<void(const std::string& title)> setTitle;
    /// A model or an experiment was loaded: the open editors show the live records again.
    std::function<void()> refreshEditors;
    /// Whether an open editor holds edits that were not applied (saving warns of them).
    std::function<bool()> unappliedEdits;
    /// Holds the program for the seconds, the status line shown meanwhile.
    std::function<void(int seconds)> waitSeconds;
};
SimulatorWindowHooks& WindowHooks();

/// Connects the run engine: run phases to the state machine, the output files to the methods.
void WireRunEngine();

/// Applies the transition of the event to the state.
void PostSimulatorEvent(int event);
/// The command mask of a state.
std::uint32_t CommandMaskOf(int state);
void RefreshCommandStates(int state);
void ApplyCommandMask(std::uint32_t mask);

/// The main window's caption for the record's names and the edited mark.
std::string TitleText();
void SetTitle(const std::string& model, const std::string& experiment);
void MarkEdited();
void ClearEdited();
/// Resets what the experiment's editors edit: no parameter or initial-condition values,
/// the default run settings, the loaded model's default curves and no
/// multiple run; clears `Simulating`, `ContinueRun` and `InterruptRequested`.
void ResetEditors();

/// Loads the model's code file; 1 when loaded. A failed load keeps the previous model; a name no
/// model's files can have is refused with a message.
int LoadModel(const std::string& directory, const std::string& modelName);
/// Whether the model loaded is `modelName` with the code its file in `directory` holds now.
bool LoadedModelIsCurrent(const std::string& directory, const std::string& modelName);
/// Loads the model as `LoadModel` does; when it is the model loaded, the experiment open is
/// read again from its files after it.
int ReloadModel(const std::string& directory, const std::string& modelName);
/// Reads the experiment's files that exist; 1 when loaded, 0 when refused.
int LoadExperiment(const std::string& directory, const std::string& experimentName);
/// Writes the experiment's files; 1 when every file was written.
int SaveExperiment(const std::string& directory, const std::string& experimentName);
/// Whether the program may quit (asking while simulating or edited); clears `RunsAllowed` when it may.
bool CanQuit(bool force);
