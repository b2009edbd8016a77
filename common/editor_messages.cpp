// The messages both editors take from the suite's other programs.
#include "common/editor_messages.h"

#include "common/launcher.h"
#include "platform/core/message_numbers.h"

namespace {

template <class Action, class... Arguments>
void call(const Action& action, Arguments&&... arguments)
{
    if (action)
        action(std::forward<Arguments>(arguments)...);
}

} // namespace

bool HandleEditorMessage(const platform::Message& message, const EditorMessageActions& actions)
{
    switch (message.number) {
    case UM_LAUNCH: {
        if (message.wParam == 3 && actions.startProcessor) {
            actions.startProcessor(message.text);
            return true;
        }
        pid_t started = 0;
        LaunchProgram(static_cast<int>(message.wParam), message.text, 0, &started);
        call(actions.launched, static_cast<int>(message.wParam), started);
        return true;
    }
    case UM_PROCESSING_DONE:
        call(actions.processingDone, static_cast<int>(message.wParam),
             static_cast<platform::WindowHandle>(message.lParam));
        return true;
    case UM_PROCESS_MODEL:
        call(actions.processModel, static_cast<int>(message.wParam));
        return true;
    case UM_PROCESSOR_EXITED:
        call(actions.processorExited);
        return true;
    case UM_OPEN_MODEL:
        if (message.text && !message.text->empty())
            call(actions.openModel, *message.text);
        return true;
    case UM_SETTINGS_CHANGED:
        call(actions.settingsChanged);
        return true;
    default:
        return false;
    }
}

bool EditorMessageWaitsForDialogs(const platform::Message& message)
{
    // Only a status text is safe inside a dialog's loop: every other message can start
    // a processor, open a model or another box, or act on the drawing under the dialog.
    return message.number != UM_STATUS_TEXT;
}
