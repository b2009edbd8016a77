// Window timers by id, as the suite's windows use them: a timer repeats until
// it is killed, and starting an id again replaces its interval.
#pragma once

#include <functional>
#include <map>

class QObject;
class QTimer;

namespace platform {

/// The timers of one window, each a QTimer owned by the window.
class WindowTimers {
public:
    /// Called with the id of a timer that fired.
    using Handler = std::function<void(int id)>;

    WindowTimers(QObject& owner, Handler handler);
    ~WindowTimers();
    WindowTimers(const WindowTimers&) = delete;
    WindowTimers& operator=(const WindowTimers&) = delete;

    /// Starts timer `id` firing every `intervalMs` (restarting it when it runs).
    void start(int id, int intervalMs);

    /// Stops timer `id`; false when it was not running.
    bool kill(int id);

    bool isRunning(int id) const;

private:
    QObject& m_owner;
    Handler m_handler;
    std::map<int, QTimer*> m_timers;
};

} // namespace platform
