// Run control: a run advances one chunk per idle turn (start, one step, or finish),
// with its checks, its summary, the execution timer and the floating-point traps.
#pragma once

#include <functional>
#include <string>

/// One idle turn of a run: starts it, makes one step of the method, or finishes it.
void RunChunk(int continueFlag);

/// Starts a run after its checks; 1 when it started, 0 when a check refused it.
int StartRun(int continueFlag);

/// Ends the run: outputs closed, user libraries told, the summary shown.
void FinishRun();

void StartExecutionTimer();
void StopExecutionTimer();
/// "Execution time %.2f sec." or "No exec.time measured.".
std::string ExecutionTimeText();

/// The text of a trap kind (126..140).
std::string TrapText(int kind);
/// 1 when a trap of this kind is ignored: overflow and underflow outside the model's code.
int IgnorableTrap(int inUserModel, int kind);

/// Tells of a floating-point trap that came outside a run, in the message loop:
/// the status line for an ignorable kind, else the box "Floating-point library
/// exception." with the trap's text. The simulator goes on.
void ReportIdleTrap(int kind);

/// The summary line of the last finished run.
const std::string& LastRunSummary();

/// Told of the run phases: 6 when a run starts simulating, 7 when it has ended.
void SetRunPhaseListener(std::function<void(int event)> listener);

/// What a multiple-run series asks of every run: whether this run is the last of its
/// series (the user libraries are then ended), the hook called after every finished run,
/// and the one called when a run it asked for is refused before it starts.
void SetSeriesRunHooks(std::function<bool()> lastRun, std::function<void()> endOfRun,
                       std::function<void()> refusedRun = {});

/// The Run command: a new run starts at the next idle turn.
void RequestRun();
/// The Continue command: the next idle turn continues the run.
void ContinueCommand();
/// The Interrupt command.
void InterruptCommand();

/// Runs chunks as the idle loop would until no run is pending or going on; the
/// number of chunks, or -1 when the run had not ended after `maxChunks`.
long RunUntilIdle(long maxChunks = 100000000);
