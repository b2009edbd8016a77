// The messages both editors take from the suite's other programs: a program to
// start or reach, the model processor's request, answer and end, a model to
// open and changed settings.
#pragma once

#include "platform/core/message_frame.h"

#include <functional>
#include <optional>
#include <string>
#include <sys/types.h>

/// What an editor does on those messages; the launcher serves the start itself.
struct EditorMessageActions {
    std::function<void(int command)> processModel;
    std::function<void()> processorExited;
    std::function<void(int result, platform::WindowHandle logWindow)> processingDone;
    /// A model named by a non-empty text.
    std::function<void(const std::string& name)> openModel;
    std::function<void()> settingsChanged;
    /// After a program was started or reached for UM_LAUNCH: the process started, 0 when none was.
    std::function<void(int code, pid_t started)> launched = {};
    /// UM_LAUNCH for the model processor, in place of the launcher: the editor
    /// starts it when none of its own runs.
    std::function<void(const std::optional<std::string>& tail)> startProcessor = {};
};

/// Hands one of those messages, its parameters decoded, to its action; false
/// when the message is none of them (an empty action is skipped).
bool HandleEditorMessage(const platform::Message& message, const EditorMessageActions& actions);

/// Whether the message waits while a modal dialog of the editor is open: all but a
/// status text, so that no box opens inside another and no model or processor
/// changes under the dialog.
bool EditorMessageWaitsForDialogs(const platform::Message& message);
