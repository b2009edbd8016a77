// The equation editor's requests to the other programs: complete processing in
// the background model processor and simulation in the simulator, each posted
// as a launch request to the editor's own main window; the model processor's
// result, and its log window, which is asked to close before the next request.
#pragma once

#include "platform/core/window_handle.h"

#include <optional>
#include <string>

class ProcessorRun;

/// "Checking Model", "Expansion", "Causal Analysis", "Complete Processing"
/// (below 0 counts as 0, above 3 as 3).
const char* ProcessingCommandName(int command);

/// The command tail of a request to program 0 (graph editor), 2 (simulator)
/// or 3 (model processor, which is told where to post its result).
std::string RequestTail(int program, const std::string& name, platform::WindowHandle frame);

/// Posts the launch request to the editor's own main window: 1 posted, 0 after
/// the connection message.
int postRequestToMainWindow(int program, const std::string& name);

/// Process > Complete Processing.
void CompleteProcessingCommand();
/// Process > Simulation.
void SimulationCommand();

/// The processing request of `UM_PROCESS_MODEL`.
void requestProcessing(int command);

/// Shows what a processing result means: 1 for results 1 to 3, else 0.
int showProcessingResult(int result, platform::WindowHandle logWindow);

/// The main window's handlers of the processing messages.
void OnProcessModel(int command);
void OnProcessorExited();
void OnProcessingDone(int result, platform::WindowHandle logWindow);
/// A start of the model processor (UM_LAUNCH for it), from whichever program:
/// it waits while the processor this editor started runs.
void OnProcessorStart(const std::optional<std::string>& tail);

/// The one model processor this editor runs at a time.
ProcessorRun& EquationProcessor();

/// The model processor's log window, kept from its last result.
void CloseProcessorLog();
void HideProcessorLog();
/// 1 when no processor log window is open.
int IsProcessorLogClosed();
