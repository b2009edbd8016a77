// The table of window widgets and the requests every top-level window serves.
#include "platform/qt/window_widgets.h"

#include "platform/core/window_registry.h"

#include <QApplication>
#include <QPointer>
#include <QWidget>

#include <map>

namespace platform {

namespace {

std::map<WindowHandle, QPointer<QWidget>>& widgets()
{
    static std::map<WindowHandle, QPointer<QWidget>> table;
    return table;
}

} // namespace

void setWindowWidget(WindowHandle window, QWidget* widget)
{
    if (window != 0)
        widgets()[window] = widget;
}

void forgetWindowWidget(WindowHandle window)
{
    widgets().erase(window);
}

QWidget* windowWidget(WindowHandle window)
{
    auto it = widgets().find(window);
    return it == widgets().end() ? nullptr : it->second.data();
}

WindowHandle windowHandleOf(const QWidget* widget)
{
    if (!widget)
        return 0;
    for (const auto& [handle, entry] : widgets())
        if (entry.data() == widget)
            return handle;
    return 0;
}

WindowHandle attachWindowWidget(QWidget& widget, std::string_view className, MessageHandler handler)
{
    WindowHandle window = createWindow(std::move(handler));
    setWindowWidget(window, &widget);
    registerTopLevelWindow(window, className);
    return window;
}

void detachWindowWidget(WindowHandle& window)
{
    if (window == 0)
        return;
    forgetWindowWidget(window);
    destroyWindow(window);
    window = 0;
}

bool handleWindowRequest(QWidget& window, const Message& message)
{
    switch (message.number) {
    case PM_CLOSE_WINDOW:
    case WM_CLOSE:
        window.close();
        return true;
    case WM_SYSCOMMAND:
        if (message.wParam != SC_CLOSE)
            return false;
        window.close();
        return true;
    case PM_SHOW_NORMAL_RAISE:
        window.showNormal();
        window.raise();
        window.activateWindow();
        // A dialog that waits for an answer stays above the window it was raised over.
        if (QWidget* modal = QApplication::activeModalWidget()) {
            modal->raise();
            modal->activateWindow();
        }
        return true;
    case PM_HIDE_WINDOW:
        window.hide();
        return true;
    case PM_QUERY_FRAME: {
        const QRect frame = window.frameGeometry();
        postMessage(static_cast<WindowHandle>(message.wParam), PM_FRAME_ANSWER, 0, 0,
                    std::to_string(frame.x()) + " " + std::to_string(frame.y()) + " " +
                        std::to_string(frame.width()) + " " + std::to_string(frame.height()));
        return true;
    }
    default:
        return false;
    }
}

} // namespace platform
