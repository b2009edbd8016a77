// The application object: Qt's event loop with the process's messages and
// idle work wired into it.
#pragma once

#include "platform/qt/qt_choosers.h"
#include "platform/qt/qt_message_sink.h"

#include <QApplication>
#include <QTimer>

#include <functional>
#include <memory>

class QSocketNotifier;

namespace platform {

/// Runs Qt's event loop; messages posted to this process's windows are
/// delivered from it, and idle work runs whenever nothing else waits. Boxes
/// and choosers show as Qt dialogs unless a sink was installed before.
class Application : public QApplication {
public:
    /// One piece of idle work: true while more remains.
    using IdleWork = std::function<bool()>;

    Application(int& argc, char** argv);
    ~Application() override;

    /// The running application; null when there is none.
    static Application* instance();

    /// Sets the idle work (empty: none) and starts running it.
    void setIdleWork(IdleWork work);

    /// Starts the idle work again after it said it was done.
    void resumeIdleWork();

    /// True while the idle timer is active.
    bool idleWorkPending() const { return m_idleTimer.isActive(); }

    /// Lets idle work run inside a nested loop that idle work itself started
    /// (optimisation and Monte Carlo series); off by default.
    void setNestedIdleAllowed(bool allowed) { m_nestedIdleAllowed = allowed; }

private:
    void runIdleWork();

    std::unique_ptr<QSocketNotifier> m_messages;
    QTimer m_idleTimer;
    // A timer never fires inside its own handler, so nested loops get a second one.
    QTimer m_nestedIdleTimer;
    IdleWork m_idleWork;
    int m_idleDepth = 0;
    bool m_nestedIdleAllowed = false;
    QtMessageSink m_sink;
    bool m_sinkInstalled = false;
    QtChooserSink m_choosers;
    bool m_choosersInstalled = false;
};

} // namespace platform
