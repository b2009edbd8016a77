// The desktop's beep and the flash of a window's title, with which the
// suite's editors underline an error in their status line.
#pragma once

#include <functional>

class QWidget;

namespace platform {

enum class AlertKind { Beep, Flash };

/// Sounds the beep that goes with a kind of box (0 plain, 0x10 stop,
/// 0x20 question, 0x30 exclamation, 0x40 information).
void beep(unsigned type = 0);

/// Draws the user's eye to the window's title; `invert` as the suite asked,
/// which the desktop may not tell apart.
void flashWindow(QWidget* window, bool invert);

/// For tests: called with every beep (window null) and flash.
using AlertObserver = std::function<void(AlertKind kind, QWidget* window)>;
void setAlertObserver(AlertObserver observer);

} // namespace platform
