// The simulator's commands that need no window: the run, continue, read-data and
// clear commands, the settings and directories taken over, the replay of a data file
// into the plot, and the seams where the multiple-run series and the experiment
// editors plug in.
#pragma once

#include <functional>
#include <string>
#include <vector>

/// What the multiple-run series gives the commands (each may be left empty).
struct MultipleRunHooks {
    std::function<void()> reset;        ///< Start Simulation: an active plain series ends
    std::function<void()> continueStep; ///< after Continue Simulation
    std::function<void()> start;        ///< Start Multiple Run Simulation
    std::function<bool()> specified;    ///< a multiple run is specified (enables command 285)
    std::function<void()> stop;         ///< the program quits: the series is to end now
    /// While a series is active: whether its present run is the first, or the last (left
    /// empty, as for an optimisation or Monte Carlo series, every run is both).
    std::function<bool()> firstRun;
    std::function<bool()> lastRun;
    /// The multiple-run text of the experiment description.
    std::function<std::vector<std::string>()> description;
};
MultipleRunHooks& MultipleRuns();

/// Set once quitting is agreed: a series ends instead of starting its next run.
inline int QuitRequested = 0;

/// Serves the program while the run just requested goes on: the first turn starts it,
/// and messages are handled between its chunks (the nested pump of a series). False when
/// the program is quitting: the series must end.
bool PumpWhileSimulating();
/// The main loop's pump (null: the run's chunks alone, as without a window).
void SetRunPump(std::function<bool()> pump);

/// Start Simulation: the multiple-run reset, then a new run at the next idle turn.
void StartSimulationCommand();
/// Continue Simulation: a continuation at the next idle turn, then the series' continue step.
void ContinueSimulationCommand();
/// Start Multiple Run Simulation.
void StartMultipleRunCommand();

/// Read Datafile: the experiment's data file replayed into the plot (when the plot mode
/// is on), between the reading-data and run-ended events; it runs to its end here.
void ReadDataCommand();
/// The replay itself: 1 when rows were drawn, 0 after its message or when there was nothing.
int ReadDataFileIntoPlot();

/// Clear Last Run, Clear Previous Runs, Clear All Runs.
void ClearLastRunCommand();
void ClearPreviousRunsCommand();
void ClearAllRunsCommand();

/// Redraw, plot refresh and Square Plot; the last gives the menu item's new text.
void RedrawCommand();
void PlotRefreshCommand();
std::string SquarePlotCommand();

/// The settings as the simulator takes them (start-up, its properties page, a settings change).
void ApplySimulatorSettings();
/// The path finder's callback: the record's directories from the start-up values.
void CopyDirectoriesFromSettings();

/// The run phases of reading data: `Simulating` set, the status kept in the log, event 5;
/// then `Simulating` cleared and event 7.
void BeginReadingData();
void EndReadingData();

/// The C-code generator on the current model and experiment (the model's code file in
/// the first model directory); -1 after the caller's message when it could not be loaded.
int GenerateCCode();
