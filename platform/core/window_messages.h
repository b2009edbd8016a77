// Posted, sent and broadcast messages to windows of this and other processes,
// through the process's local socket and its queue of posted messages.
#pragma once

#include "platform/core/message_frame.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace platform {

/// Handles one message delivered to a window.
using MessageHandler = std::function<void(const Message&)>;

/// A new window of this process that receives its messages through `handler`.
WindowHandle createWindow(MessageHandler handler);

/// Replaces the handler of a window of this process.
void setWindowHandler(WindowHandle window, MessageHandler handler);

/// Forgets a window of this process: its handler, its registry entry and the
/// messages still queued for it.
void destroyWindow(WindowHandle window);

/// Enters a window of this process in the registry under its class name,
/// starting the message server first; false when either fails.
bool registerTopLevelWindow(WindowHandle window, std::string_view className);

/// Tells of input from other processes that the layer refused (a broken frame, one
/// longer than the largest message): the first at once, those of the next second as a
/// count. The standard error until set.
using MessageTroubleLog = std::function<void(const std::string& line)>;
void setMessageTroubleLog(MessageTroubleLog log);

/// Starts this process's socket server (once); false when it cannot listen.
bool startMessageServer();

/// Closes the server and removes its socket and this process's registry
/// entries (also done when the process exits normally).
void stopMessageServer();

/// A descriptor that is readable while messages wait for dispatch, for an
/// event loop to watch; -1 before the server starts.
int messageDescriptor();

/// Runs `work` once, `delayMs` from now, from the same dispatch as messages
/// (no thread); an id for `cancelCallLater`.
int callLater(int delayMs, std::function<void()> work);

/// Forgets work that has not run yet.
void cancelCallLater(int id);

/// Runs `ended` once, from the same dispatch as messages, when process `pid` has
/// ended (a child of this process as soon as it can be collected); at the next
/// dispatch when it has ended already. An id for `cancelProcessWatch`.
int watchProcessEnd(pid_t pid, std::function<void()> ended);

/// Forgets a watch that has not told yet.
void cancelProcessWatch(int id);

/// Delivers every message that waits now and runs the work that is due; the
/// number of messages and pieces of work.
int dispatchPendingMessages();

/// Waits up to `timeoutMs` for messages or due work and handles them; the number handled.
int pumpMessages(int timeoutMs);

/// Queues a message for its window: through this process's queue for its own
/// windows, else through the owner's socket with a short blocking write (no
/// event loop needed). False when the window is gone or the write failed; an
/// ended owner's registry entries are removed.
bool postMessage(const Message& message);
bool postMessage(WindowHandle target, MessageNumber number, std::int64_t wParam, std::int64_t lParam,
                 std::optional<std::string> text = std::nullopt);

/// Delivers a message at once to a window of this process; a window of
/// another process gets it posted.
bool sendMessage(const Message& message);

/// Sends a message to every live registered window, this process's included;
/// the number of windows reached.
int broadcastMessage(MessageNumber number, std::int64_t wParam, std::int64_t lParam,
                     std::optional<std::string> text = std::nullopt);

/// A window of this process that exists, or a registered window of a live process.
bool isWindow(WindowHandle window);

/// Asks the window's owner to close it as the system menu does.
bool requestCloseWindow(WindowHandle window);

/// Asks the window's owner to show it normally and bring it to the top.
bool requestShowWindow(WindowHandle window);

/// Asks the window's owner to hide it.
bool requestHideWindow(WindowHandle window);

/// A top-level window's outer place and size on the screen.
struct WindowFrame {
    int x = 0, y = 0, width = 0, height = 0;
};

/// Asks the window's owner where the window's frame is, handling this process's
/// messages while it waits up to `timeoutMs`; none when no answer came (a window
/// without a frame, or an owner that is gone or busy).
std::optional<WindowFrame> queryWindowFrame(WindowHandle window, int timeoutMs);

} // namespace platform
