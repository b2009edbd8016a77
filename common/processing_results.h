// What an editor that hands its model to the background model processor
// knows of that program: the names of the processing commands, the meaning of
// each result code, and the processor's log window kept from its last result.
#pragma once

#include "platform/core/window_handle.h"

/// "Checking Model", "Expansion", "Causal Analysis", "Complete Processing"
/// for commands 0 to 3 (below 0 counts as 0, above 3 as 3).
const char* ProcessingCommandText(int command);

/// A result code of the model processor: whether it is a success and its text
/// (the kept status text of a success, the first line of a failure's box).
struct ProcessingResultMeaning {
    bool success = false;
    const char* text = "";
};
ProcessingResultMeaning MeaningOfProcessingResult(int result);

/// Shows a failed result's box: its text and "Further processing is not possible.".
void ShowProcessingFailure(const char* text);

/// The model processor's log window, kept from the last result until the next request.
class ProcessorLogHandle {
public:
    platform::WindowHandle window() const { return m_window; }
    void set(platform::WindowHandle window) { m_window = window; }
    /// Asks the window to close as from its system menu.
    void close() const;
    void hide() const;
    void show() const;
    /// True when no window is kept or it is gone.
    bool closed() const;

private:
    platform::WindowHandle m_window = 0;
};
