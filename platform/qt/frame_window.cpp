// Frame windows: registration, activation order, requests from other
// processes, delivery of posted messages, and the tool bar, hints,
// accelerators and timers of the frame.
#include "platform/qt/frame_window.h"

#include "platform/core/window_registry.h"
#include "platform/qt/window_widgets.h"

#include <QAction>
#include <QCoreApplication>
#include <QEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QShortcut>
#include <QStatusBar>
#include <QToolBar>

namespace platform {

namespace {

/// The status line shows line ends as blanks.
QString oneLine(const std::string& text)
{
    QString shown = QString::fromStdString(text);
    shown.replace(QLatin1String("\r\n"), QLatin1String(" "));
    shown.replace(QLatin1Char('\n'), QLatin1Char(' '));
    shown.replace(QLatin1Char('\r'), QLatin1Char(' '));
    return shown;
}

// The width of a separator between groups of tool buttons.
constexpr int kToolSeparatorWidth = 10;

/// The pop-up menu open in this program: there is one at most, whichever window opened it.
QPointer<QMenu>& openPopup()
{
    static QPointer<QMenu> menu;
    return menu;
}

/// Commands of pop-up menus being handled: a pop-up that has sent one may be on the stack
/// below, and so goes only once the event loop has come back.
int g_popupCommands = 0;

} // namespace

FrameWindow::FrameWindow(std::string className, QWidget* parent)
    : QMainWindow(parent), m_className(std::move(className)),
      m_timers(*this, [this](int id) { handleTimer(id); })
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
    return dynamic_cast<FrameWindow*>(windowWidget(window));
}

void FrameWindow::handleMessage(const Message&)
{
}

void FrameWindow::handleCommand(int)
{
}

void FrameWindow::handleTimer(int)
{
}

std::string FrameWindow::commandHint(int id) const
{
    auto it = m_hints.find(id);
    return it == m_hints.end() ? std::string() : it->second;
}

void FrameWindow::setMenuDescription(const std::string& resourceName, const std::vector<MenuItem>& items)
{
    buildMenuBar(*menuBar(), resourceName, items, [this](int id) { handleCommand(id); });
    watchMenuHints(*menuBar());
}

QAction* FrameWindow::commandAction(int id) const
{
    auto* bar = qobject_cast<QMenuBar*>(menuWidget());
    return bar ? bar->findChild<QAction*>(QStringLiteral("cmd_%1").arg(id)) : nullptr;
}

QAction* FrameWindow::toolAction(int id) const
{
    return m_toolBar ? m_toolBar->findChild<QAction*>(QStringLiteral("cmd_%1").arg(id)) : nullptr;
}

void FrameWindow::enableCommand(int id, bool enabled)
{
    if (QAction* action = commandAction(id))
        action->setEnabled(enabled);
    if (QAction* action = toolAction(id))
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
    // A new pop-up takes the place of the one still open, as a click outside a menu closes it.
    // Gone at once, so that many asked for in one turn of the event loop do not pile up.
    if (QMenu* open = openPopup()) {
        open->hide();
        if (g_popupCommands > 0)
            open->deleteLater();
        else
            delete open;
    }
    auto* menu = new QMenu(this);
    openPopup() = menu;
    menu->setAttribute(Qt::WA_DeleteOnClose);
    fillMenu(*menu, items, [this](int id) {
        ++g_popupCommands;
        handleCommand(id);
        --g_popupCommands;
    });
    watchMenuHints(*menu);
    menu->popup(globalPosition);
}

void FrameWindow::watchMenuHints(QWidget& menus)
{
    QList<QMenu*> all = menus.findChildren<QMenu*>();
    if (auto* self = qobject_cast<QMenu*>(&menus))
        all.append(self);
    for (QMenu* menu : all) {
        if (menu->property("hintsWatched").toBool())
            continue;
        menu->setProperty("hintsWatched", true);
        menu->installEventFilter(this);
        connect(menu, &QMenu::hovered, this, [this](QAction* action) {
            bool ok = false;
            int id = action->data().toInt(&ok);
            showPassingText(ok && id > 0 ? commandHint(id) : std::string());
        });
        connect(menu, &QMenu::aboutToHide, this, [this] { clearPassingText(); });
    }
}

void FrameWindow::setToolBar(const std::vector<ToolButton>& buttons)
{
    if (m_toolBar) {
        m_toolButtons.clear();
        delete m_toolBar;
    }
    m_toolBar = new QToolBar(this);
    m_toolBar->setObjectName(QStringLiteral("toolBar"));
    m_toolBar->setMovable(false);
    m_toolBar->setFloatable(false);
    m_toolBar->setIconSize(QSize(kToolImageSize, kToolImageSize));
    addToolBar(Qt::TopToolBarArea, m_toolBar);
    for (const ToolButton& button : buttons) {
        if (button.id <= 0) {
            auto* gap = new QWidget(m_toolBar);
            gap->setFixedWidth(kToolSeparatorWidth);
            m_toolBar->addWidget(gap);
            continue;
        }
        int id = button.id;
        auto* action = new QAction(QIcon(toolButtonImage(button)), QString(), m_toolBar);
        action->setObjectName(QStringLiteral("cmd_%1").arg(id));
        action->setData(id);
        if (QAction* menuAction = commandAction(id))
            action->setEnabled(menuAction->isEnabled());
        connect(action, &QAction::triggered, this, [this, id] { handleCommand(id); });
        m_toolBar->addAction(action);
        if (QWidget* widget = m_toolBar->widgetForAction(action)) {
            widget->setObjectName(QStringLiteral("tool_%1").arg(id));
            widget->installEventFilter(this);
            m_toolButtons[widget] = id;
        }
    }
}

void FrameWindow::setAccelerators(const std::vector<Accelerator>& accelerators)
{
    for (QObject* shortcut : m_accelerators)
        delete shortcut;
    m_accelerators.clear();
    for (const Accelerator& accelerator : accelerators) {
        auto* shortcut = new QShortcut(QKeySequence(QString::fromStdString(accelerator.keys)), this);
        shortcut->setContext(Qt::WindowShortcut);
        int id = accelerator.command;
        connect(shortcut, &QShortcut::activated, this, [this, id] {
            // A greyed menu item takes its accelerator with it.
            QAction* action = commandAction(id);
            if (action && !action->isEnabled())
                return;
            handleCommand(id);
        });
        m_accelerators.push_back(shortcut);
    }
}

QLabel& FrameWindow::statusLine()
{
    if (!m_statusLine) {
        m_statusLine = new QLabel(this);
        m_statusLine->setObjectName(QStringLiteral("statusLine"));
        statusBar()->addWidget(m_statusLine, 1);
    }
    return *m_statusLine;
}

void FrameWindow::showStatusLine()
{
    statusLine().setText(oneLine(m_passing ? m_passingText : m_statusText));
}

void FrameWindow::setStatusText(const std::string& text)
{
    m_statusText = text;
    showStatusLine();
}

void FrameWindow::showPassingText(const std::string& text)
{
    m_passingText = text;
    m_passing = true;
    showStatusLine();
}

void FrameWindow::clearPassingText()
{
    if (!m_passing)
        return;
    m_passing = false;
    m_passingText.clear();
    showStatusLine();
}

std::string FrameWindow::shownStatusText() const
{
    return m_statusLine ? m_statusLine->text().toStdString() : std::string();
}

void FrameWindow::attach()
{
    if (m_handle == 0)
        m_handle = attachWindowWidget(*this, m_className, [this](const Message& message) { dispatch(message); });
}

void FrameWindow::detach()
{
    detachWindowWidget(m_handle);
}

void FrameWindow::dispatch(const Message& message)
{
    if (!handleWindowRequest(*this, message))
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

bool FrameWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_F1) {
        // F1 in an open menu chooses the highlighted command, as Return would.
        auto* menu = qobject_cast<QMenu*>(watched);
        if (menu && menu->activeAction() && !menu->activeAction()->menu()) {
            QKeyEvent choose(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
            QCoreApplication::sendEvent(menu, &choose);
            return true;
        }
    }
    auto button = m_toolButtons.find(watched);
    if (button != m_toolButtons.end()) {
        if (event->type() == QEvent::Enter)
            showPassingText(commandHint(button->second));
        else if (event->type() == QEvent::Leave)
            clearPassingText();
    }
    return QMainWindow::eventFilter(watched, event);
}

} // namespace platform
