// The hour-glass shown while a program is busy in its user-interface thread.
#pragma once

#include <functional>

namespace platform {

/// Shows (true) or takes back (false) the busy cursor; a program's user
/// interface installs one, and without one nothing is shown.
using WaitCursorHandler = std::function<void(bool busy)>;

void setWaitCursorHandler(WaitCursorHandler handler);

/// Shows the busy cursor for the lifetime of this object; the previous cursor
/// comes back afterwards (also when these nest).
class ScopedWaitCursor {
public:
    ScopedWaitCursor();
    ~ScopedWaitCursor();
    ScopedWaitCursor(const ScopedWaitCursor&) = delete;
    ScopedWaitCursor& operator=(const ScopedWaitCursor&) = delete;

private:
    WaitCursorHandler m_handler;
};

} // namespace platform
