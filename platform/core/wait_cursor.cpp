// The installed busy-cursor handler and its scoped use.
#include "platform/core/wait_cursor.h"

namespace platform {

namespace {

WaitCursorHandler& installedHandler()
{
    static WaitCursorHandler handler;
    return handler;
}

} // namespace

void setWaitCursorHandler(WaitCursorHandler handler)
{
    installedHandler() = std::move(handler);
}

// The handler is kept, so that the cursor shown is the one taken back even
// when the handler changes in between.
ScopedWaitCursor::ScopedWaitCursor() : m_handler(installedHandler())
{
    if (m_handler)
        m_handler(true);
}

ScopedWaitCursor::~ScopedWaitCursor()
{
    if (m_handler)
        m_handler(false);
}

} // namespace platform
