// The application object: a socket notifier over the message descriptor and a
// zero-interval timer for idle work.
#include "platform/qt/application.h"

#include "platform/core/wait_cursor.h"
#include "platform/core/window_messages.h"
#include "platform/qt/fonts.h"

#include <QCursor>
#include <QSocketNotifier>

namespace platform {

Application::Application(int& argc, char** argv) : QApplication(argc, argv)
{
    // One pinned font family keeps text metrics alike on every machine.
    setFont(pinnedFont());

    startMessageServer();
    int descriptor = messageDescriptor();
    if (descriptor >= 0) {
        m_messages = std::make_unique<QSocketNotifier>(descriptor, QSocketNotifier::Read);
        QObject::connect(m_messages.get(), &QSocketNotifier::activated, this,
                         [] { dispatchPendingMessages(); });
    }
    m_idleTimer.setInterval(0);
    QObject::connect(&m_idleTimer, &QTimer::timeout, this, [this] { runIdleWork(); });
    m_nestedIdleTimer.setInterval(0);
    QObject::connect(&m_nestedIdleTimer, &QTimer::timeout, this, [this] { runIdleWork(); });

    if (!installedMessageSink()) {
        setMessageSink(&m_sink);
        m_sinkInstalled = true;
    }
    if (!installedChooserSink()) {
        setChooserSink(&m_choosers);
        m_choosersInstalled = true;
    }
    setWaitCursorHandler([](bool busy) {
        if (busy)
            QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
        else
            QGuiApplication::restoreOverrideCursor();
    });
}

Application::~Application()
{
    setWaitCursorHandler({});
    if (m_sinkInstalled && installedMessageSink() == &m_sink)
        setMessageSink(nullptr);
    if (m_choosersInstalled && installedChooserSink() == &m_choosers)
        setChooserSink(nullptr);
    m_messages.reset();
}

Application* Application::instance()
{
    return dynamic_cast<Application*>(QCoreApplication::instance());
}

void Application::setIdleWork(IdleWork work)
{
    m_idleWork = std::move(work);
    if (m_idleWork) {
        m_idleTimer.start();
    } else {
        m_idleTimer.stop();
        m_nestedIdleTimer.stop();
    }
}

void Application::resumeIdleWork()
{
    if (m_idleWork)
        m_idleTimer.start();
}

void Application::runIdleWork()
{
    if (!m_idleWork) {
        m_idleTimer.stop();
        return;
    }
    if (m_idleDepth > 0 && !m_nestedIdleAllowed)
        return;
    ++m_idleDepth;
    if (m_idleDepth == 1 && m_nestedIdleAllowed)
        m_nestedIdleTimer.start();
    // A copy: the work may replace itself.
    IdleWork work = m_idleWork;
    bool more = work();
    --m_idleDepth;
    if (!more && m_idleDepth > 0)
        m_nestedIdleTimer.stop();
    if (m_idleDepth == 0) {
        m_nestedIdleTimer.stop();
        if (!more)
            m_idleTimer.stop();
    }
}

} // namespace platform
