// The base of the suite's top-level windows: a handle, a registry entry under
// the window's class name, and posted messages delivered to a handler.
#pragma once

#include "platform/core/message_frame.h"
#include "platform/qt/menu_description.h"

#include <QMainWindow>

#include <string>
#include <vector>

class QAction;
class QLabel;

namespace platform {

/// A top-level window that other processes find by its class name; the
/// layer's requests (close, show and raise, hide) are handled here and every
/// other message goes to `handleMessage`.
class FrameWindow : public QMainWindow {
public:
    explicit FrameWindow(std::string className, QWidget* parent = nullptr);
    ~FrameWindow() override;

    /// The window's handle; 0 once the window has closed (showing it again
    /// gives it a new one).
    WindowHandle handle() const { return m_handle; }
    const std::string& className() const { return m_className; }

    /// The frame window of this process with that handle; null when none.
    static FrameWindow* find(WindowHandle window);

    /// Gives the window the menu bar described, named after its resource.
    void setMenuDescription(const std::string& resourceName, const std::vector<MenuItem>& items);

    /// The menu bar's action of a command; null when it has none.
    QAction* commandAction(int id) const;
    void enableCommand(int id, bool enabled);
    void setCommandText(int id, const std::string& label);

    /// Enables or greys the menu or command at a position of the menu bar.
    void enableMenuBarEntry(int position, bool enabled);

    /// Shows a pop-up menu at a screen point and returns at once; its
    /// commands reach `handleCommand` like those of the menu bar.
    void popupMenu(const std::vector<MenuItem>& items, const QPoint& globalPosition);

    /// The status line's text, made on first use; line ends show as blanks.
    void setStatusText(const std::string& text);
    const std::string& statusText() const { return m_statusText; }

protected:
    /// Handles a posted or sent message other than the layer's requests.
    virtual void handleMessage(const Message& message);

    /// Handles a command chosen from the window's menus.
    virtual void handleCommand(int id);

    bool event(QEvent* event) override;

private:
    void attach();
    void detach();
    void dispatch(const Message& message);

    std::string m_className;
    WindowHandle m_handle = 0;
    QLabel* m_statusLine = nullptr;
    std::string m_statusText;
};

} // namespace platform
