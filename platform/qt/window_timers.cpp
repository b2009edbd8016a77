// Window timers over QTimer.
#include "platform/qt/window_timers.h"

#include <QTimer>

namespace platform {

WindowTimers::WindowTimers(QObject& owner, Handler handler) : m_owner(owner), m_handler(std::move(handler))
{
}

WindowTimers::~WindowTimers()
{
    for (auto& [id, timer] : m_timers)
        delete timer;
}

void WindowTimers::start(int id, int intervalMs)
{
    QTimer*& timer = m_timers[id];
    if (!timer) {
        timer = new QTimer(&m_owner);
        QObject::connect(timer, &QTimer::timeout, &m_owner, [this, id] {
            if (m_handler)
                m_handler(id);
        });
    }
    timer->start(intervalMs < 0 ? 0 : intervalMs);
}

bool WindowTimers::kill(int id)
{
    auto it = m_timers.find(id);
    if (it == m_timers.end() || !it->second->isActive())
        return false;
    it->second->stop();
    return true;
}

bool WindowTimers::isRunning(int id) const
{
    auto it = m_timers.find(id);
    return it != m_timers.end() && it->second->isActive();
}

} // namespace platform
