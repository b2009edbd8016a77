// Run flags, the simulation time and the status line that the model code shares
// with the run engine.
#pragma once

#include <functional>
#include <string>

inline int Simulating = 0;
inline int RunStopFlag = 0;
inline int InterruptRequested = 0;
inline int RestartFlag = 0;
inline int MathErrorOccurred = 0;
/// Set by the integration start, cleared by the method's first step.
inline int FirstEvaluationFlag = 0;
/// Dynamic-model evaluations of the current run.
inline long EvaluationCount = 0;
/// The simulation time: the cell that the time operand of every instruction names.
inline double SimulationTime = 0.0;

/// Shows a status text; with keep, also appends it to the log and remembers it.
using StatusFunction = std::function<void(const std::string& text, bool keep)>;

/// Installs the status function (null: texts go to standard error).
void SetStatusFunction(StatusFunction function);

void ShowStatus(const std::string& text, bool keep);

/// A run start is pending: the next run chunk starts the run.
inline int StartRequested = 0;
/// The run to be started continues the previous one.
inline int ContinueRun = 0;
/// The program still accepts run commands (cleared once quitting is agreed).
inline int RunsAllowed = 1;
/// Errors counted by the last model load; a run is refused while it is above 0.
inline int ModelLoadErrors = 0;
