// Frame windows: registration, activation order, requests from other
// processes and delivery of posted messages.
#include "platform/qt/frame_window.h"

#include "platform/core/window_messages.h"
#include "platform/core/window_registry.h"

#include <QAction>
#include <QEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>

#include <map>

namespace platform {

namespace {

std::map<WindowHandle, FrameWindow*>& frames()
{
    static std::map<WindowHandle, FrameWindow*> table;
    return table;
}

} // namespace

FrameWindow::FrameWindow(std::string className, QWidget* parent)
    : QMainWindow(parent), m_className(std::move(className))
{
    setObjectName(QString::fromStdString(m_className));
    attach();
}

FrameWindow::~FrameWindow()
{
    detach();
}

FrameWindow* FrameWindow::find(WindowHandle window)
{
    auto it = frames().find(window);
    return it == frames().end() ? nullptr : it->second;
}

void FrameWindow::handleMessage(const Message&)
{
}

void FrameWindow::handleCommand(int)
{
}

void FrameWindow::setMenuDescription(const std::string& resourceName, const std::vector<MenuItem>& items)
{
    buildMenuBar(*menuBar(), resourceName, items, [this](int id) { handleCommand(id); });
}

QAction* FrameWindow::commandAction(int id) const
{
    auto* bar = qobject_cast<QMenuBar*>(menuWidget());
    return bar ? bar->findChild<QAction*>(QStringLiteral("cmd_%1").arg(id)) : nullptr;
}

void FrameWindow::enableCommand(int id, bool enabled)
{
    if (QAction* action = commandAction(id))
        action->setEnabled(enabled);
}

void FrameWindow::setCommandText(int id, const std::string& label)
{
    if (QAction* action = commandAction(id))
        action->setText(QString::fromStdString(label));
}

void FrameWindow::enableMenuBarEntry(int position, bool enabled)
{
    auto* bar = qobject_cast<QMenuBar*>(menuWidget());
    if (!bar)
        return;
    QList<QAction*> entries = bar->actions();
    if (position >= 0 && position < entries.size())
        entries[position]->setEnabled(enabled);
}

void FrameWindow::popupMenu(const std::vector<MenuItem>& items, const QPoint& globalPosition)
{
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    fillMenu(*menu, items, [this](int id) { handleCommand(id); });
    menu->popup(globalPosition);
}

void FrameWindow::setStatusText(const std::string& text)
{
    m_statusText = text;
    if (!m_statusLine) {
        m_statusLine = new QLabel(this);
        m_statusLine->setObjectName(QStringLiteral("statusLine"));
        statusBar()->addWidget(m_statusLine, 1);
    }
    QString shown = QString::fromStdString(text);
    shown.replace(QLatin1String("\r\n"), QLatin1String(" "));
    shown.replace(QLatin1Char('\n'), QLatin1Char(' '));
    shown.replace(QLatin1Char('\r'), QLatin1Char(' '));
    m_statusLine->setText(shown);
}

void FrameWindow::attach()
{
    if (m_handle != 0)
        return;
    m_handle = createWindow([this](const Message& message) { dispatch(message); });
    frames()[m_handle] = this;
    registerTopLevelWindow(m_handle, m_className);
}

void FrameWindow::detach()
{
    if (m_handle == 0)
        return;
    frames().erase(m_handle);
    destroyWindow(m_handle);
    m_handle = 0;
}

void FrameWindow::dispatch(const Message& message)
{
    switch (message.number) {
    case PM_CLOSE_WINDOW:
    case WM_CLOSE:
        close();
        return;
    case WM_SYSCOMMAND:
        if (message.wParam == SC_CLOSE) {
            close();
            return;
        }
        break;
    case PM_SHOW_NORMAL_RAISE:
        showNormal();
        raise();
        activateWindow();
        return;
    case PM_HIDE_WINDOW:
        hide();
        return;
    default:
        break;
    }
    handleMessage(message);
}

bool FrameWindow::event(QEvent* event)
{
    if (event->type() == QEvent::Show)
        attach();
    bool handled = QMainWindow::event(event);
    switch (event->type()) {
    case QEvent::WindowActivate:
        if (m_handle != 0)
            touchWindow(m_handle);
        break;
    case QEvent::Close:
        // A closed window is gone for the rest of the suite, as a destroyed one.
        if (event->isAccepted())
            detach();
        break;
    default:
        break;
    }
    return handled;
}

} // namespace platform
