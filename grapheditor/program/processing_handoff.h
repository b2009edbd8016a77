// Handing the model to the background model processor and reading its result
// back: the request and its command tail, the processor's log window, the
// messages for each result, and the causal strokes of the processed model
// copied onto the drawn bonds; the renaming of old type and port names that
// applies while a model is loaded.
#pragma once

#include "platform/core/window_handle.h"

#include <string>
#include <sys/types.h>

class ProcessorRun;
struct GraphModel;
struct SubmodelType;

/// Processing commands.
enum ProcessingCommand : int {
    PROCESS_CHECK = 0,
    PROCESS_EXPANSION = 1,
    PROCESS_CAUSAL_ANALYSIS = 2,
    PROCESS_COMPLETE = 3,
};

/// "Checking Model", "Expansion", "Causal Analysis", "Complete Processing"
/// (a command outside 0..3 is taken as the nearest).
const char* ProcessingCommandName(int command);

/// Starts the model processor on the current model: 1 when the request went
/// to the main window, 0 when it was refused (a submodel, errors, not saved,
/// or a name still being asked for, after which the request comes again).
int StartProcessing(int command, bool saveFirst);

/// The computed causalities leave the drawing.
void ClearAnnotation();
bool AnnotationPresent();
/// Set by a complete processing that succeeded.
bool ModelProcessed();

/// Shows what a result means; 1 for a success that allows the next step.
int ShowProcessingResult(int result, platform::WindowHandle logWindow);

/// Reads the processed model's template back and shows its causality on the bonds.
void read_processed_file();

/// Copies the causal strokes of the parsed processed model onto the current
/// model's bonds (the record is used up); 1 when the annotation was made.
int AnnotateFromProcessed(GraphModel& processed);

/// Whether two end names name the same object: equal before any "'" in them.
bool SameEndName(const std::string& a, const std::string& b);

/// The processor's log window: kept from its result until the next request.
platform::WindowHandle ProcessorLogWindow();
void SetProcessorLogWindow(platform::WindowHandle window);
void CloseProcessorLog();
void HideProcessorLog();
void ShowProcessorLog();
/// 1 when no processor log window is open.
int IsProcessorLogClosed();

/// The one model processor this editor runs at a time.
ProcessorRun& Processor();
/// The model processor this editor asked for is known from the request to start it
/// until it says that it ends: the process started for it (0 when the start failed).
void ProcessorLaunched(pid_t pid);
/// 1 while a processor this editor asked for is on its way, runs or shows its log.
int IsProcessorOpen();
/// Asks the processor this editor started to end, by closing its log window (found
/// by its process while its result has not come).
void CloseProcessor();
/// Forgets the processor and its log: it has said that it ends, or the editor is new.
void ForgetProcessor();

/// The renaming of old type names and port names applied while a model is loaded.
bool RenameOldType(std::string& name, int& version);
bool RenameOldPort(const SubmodelType& type, std::string& port);
/// Lets the model-file reader use the two renaming tables.
void InstallRenaming();
