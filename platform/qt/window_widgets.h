// The widgets behind this process's window handles (frames and dialogs), so
// that a box owned by a handle can be parented to its widget.
#pragma once

#include "platform/core/message_frame.h"
#include "platform/core/window_messages.h"

#include <string_view>

class QWidget;

namespace platform {

/// Notes the widget of a handle of this process (replacing any before).
void setWindowWidget(WindowHandle window, QWidget* widget);

/// Forgets the widget of a handle.
void forgetWindowWidget(WindowHandle window);

/// The widget of a handle of this process; null when it has none.
QWidget* windowWidget(WindowHandle window);

/// The handle whose widget this is; 0 when it has none.
WindowHandle windowHandleOf(const QWidget* widget);

/// Gives a top-level widget a handle of this process whose messages go to
/// `handler`, entered in the registry under the class name.
WindowHandle attachWindowWidget(QWidget& widget, std::string_view className, MessageHandler handler);

/// Forgets a handle of `attachWindowWidget` (its entry and its queued
/// messages go) and sets it to 0; nothing for 0.
void detachWindowWidget(WindowHandle& window);

/// Handles the layer's requests on a top-level window (close, show normally
/// and raise, hide, tell where its frame is, the system menu's close); false
/// for every other message.
bool handleWindowRequest(QWidget& window, const Message& message);

} // namespace platform
