// The base of the suite's top-level windows: a handle, a registry entry under
// the window's class name, posted messages delivered to a handler, and the
// frame's extras: menus, a tool bar of commands, hints in the status line,
// accelerators and timers by id.
//
// A main window describes its menu, tool bar, hints and accelerators once in
// its constructor and handles what they send:
//
//     setMenuDescription("MN_QNSIM", simulatorMenu());
//     setToolBar({ToolButton::button(101, 240), ToolButton::separator(), ToolButton::button(110), ...});
//     setCommandHints({{101, "Opens a model"}, ...});
//     setAccelerators({{"F1", 901}});
//     startWindowTimer(100, 3000);                     // handleTimer(100) then
//
// Menu, tool bar and accelerators all end in `handleCommand(id)`; a command
// whose menu item is greyed is not sent by its accelerator either, and F1 in
// an open menu chooses the highlighted item.
#pragma once

#include "platform/core/message_frame.h"
#include "platform/qt/menu_description.h"
#include "platform/qt/tool_bar.h"
#include "platform/qt/window_timers.h"

#include <QMainWindow>

#include <map>
#include <string>
#include <vector>

class QAction;
class QLabel;
class QMenu;
class QToolBar;

namespace platform {

/// One entry of a window's accelerator table: keys in Qt's portable text
/// ("Shift+Del", "Ctrl+Ins", "Alt+Backspace", "F1") and the command they send.
struct Accelerator {
    std::string keys;
    int command = 0;
};

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
    /// Enables or greys a command in the menu bar and on the tool bar.
    void enableCommand(int id, bool enabled);
    void setCommandText(int id, const std::string& label);

    /// Gives the window a tool bar of these buttons, replacing any before;
    /// each button is an action named cmd_<id>.
    void setToolBar(const std::vector<ToolButton>& buttons);
    QToolBar* toolBar() const { return m_toolBar; }
    /// The tool bar's action of a command; null when it has none.
    QAction* toolAction(int id) const;

    /// The hint texts of commands, shown while a menu item or tool button is under the mouse.
    void setCommandHints(std::map<int, std::string> hints) { m_hints = std::move(hints); }

    /// The window's accelerator table, replacing any before.
    void setAccelerators(const std::vector<Accelerator>& accelerators);

    /// Window timers by id: `handleTimer` receives them until they are killed.
    void startWindowTimer(int id, int intervalMs) { m_timers.start(id, intervalMs); }
    bool killWindowTimer(int id) { return m_timers.kill(id); }

    /// Enables or greys the menu or command at a position of the menu bar.
    void enableMenuBarEntry(int position, bool enabled);

    /// Shows a pop-up menu at a screen point and returns at once; its
    /// commands reach `handleCommand` like those of the menu bar. The program
    /// has one pop-up at most: a pop-up still open, of any window, is closed first.
    void popupMenu(const std::vector<MenuItem>& items, const QPoint& globalPosition);

    /// The status line's text, made on first use; line ends show as blanks.
    void setStatusText(const std::string& text);
    const std::string& statusText() const { return m_statusText; }

    /// A passing text (a hint) shown in the status line over the kept one
    /// until `clearPassingText` brings the kept one back.
    void showPassingText(const std::string& text);
    void clearPassingText();
    /// What the status line shows now.
    std::string shownStatusText() const;

protected:
    /// Handles a posted or sent message other than the layer's requests.
    virtual void handleMessage(const Message& message);

    /// Handles a command chosen from the window's menus, tool bar or accelerators.
    virtual void handleCommand(int id);

    /// The hint of a command (its text in the hint table by default); empty for none.
    virtual std::string commandHint(int id) const;

    /// Handles a window timer.
    virtual void handleTimer(int id);

    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void attach();
    void detach();
    void dispatch(const Message& message);
    void watchMenuHints(QWidget& menus);
    QLabel& statusLine();
    void showStatusLine();

    std::string m_className;
    WindowHandle m_handle = 0;
    QLabel* m_statusLine = nullptr;
    std::string m_statusText;
    std::string m_passingText;
    bool m_passing = false;
    QToolBar* m_toolBar = nullptr;
    std::map<QObject*, int> m_toolButtons;
    std::map<int, std::string> m_hints;
    std::vector<QObject*> m_accelerators;
    WindowTimers m_timers;
};

} // namespace platform
