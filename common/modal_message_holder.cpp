// Holding a main window's messages while one of its modal dialogs is open.
#include "common/modal_message_holder.h"

#include "common/log_window.h"
#include "platform/core/window_messages.h"

#include <QApplication>

#include <cstdio>

namespace {

// How often the held messages look whether the dialog has closed.
constexpr int kReleaseCheckMs = 20;

bool dialogOpen()
{
    return QApplication::activeModalWidget() != nullptr;
}

} // namespace

void LogMessageTrouble(const std::string& line)
{
    std::fprintf(stderr, "%s\n", line.c_str());
    // Without a log window or an owner to make one beside, the line goes to the standard error only.
    if (LogCanAppend())
        AppendLog(line);
}

ModalMessageHolder::ModalMessageHolder(Handler handle, Filter waits, HeldMessageLimits limits)
    : m_handle(std::move(handle)), m_waits(std::move(waits)), m_held(limits), m_log(LogMessageTrouble)
{
    // The frames the message layer refuses are told in the same log.
    platform::setMessageTroubleLog(LogMessageTrouble);
    m_timer.setSingleShot(true);
    m_timer.setInterval(kReleaseCheckMs);
    QObject::connect(&m_timer, &QTimer::timeout, [this] { release(); });
}

void ModalMessageHolder::take(const platform::Message& message)
{
    const bool waits = !m_waits || m_waits(message);
    if (!waits) {
        m_handle(message);
        return;
    }
    if (!dialogOpen() && m_held.empty() && !insideHandling()) {
        handle(message);
        return;
    }
    if (m_held.hold(message) == HeldMessages::Outcome::Dropped && !m_toldDropping) {
        m_toldDropping = true;
        m_log("A dialog is open and " + std::to_string(m_held.size()) +
              " messages wait for it to close: further messages are dropped until it has.");
    }
    release();
}

void ModalMessageHolder::release()
{
    const auto stopped = [this] { return m_stopped && m_stopped(); };
    while (!m_held.empty() && !dialogOpen() && !insideHandling() && !stopped()) {
        // The queue is told before the message is handled, since that can open another dialog.
        if (m_held.size() == 1)
            tellLetGo();
        handle(*m_held.take());
    }
    if (stopped())
        m_held.clear();
    if (m_held.empty())
        tellLetGo();
    else if (!m_timer.isActive())
        m_timer.start();
}

bool ModalMessageHolder::insideHandling() const
{
    // A dialog that has just closed leaves its loop only after this round of events.
    return m_oneAtATime && m_handling > 0;
}

void ModalMessageHolder::handle(const platform::Message& message)
{
    ++m_handling;
    m_handle(message);
    --m_handling;
}

void ModalMessageHolder::tellLetGo()
{
    const LetGoMessages letGo = m_held.takeLetGo();
    m_toldDropping = false;
    // A repeat folded into a waiting message is no loss worth a line of its own.
    if (letGo.dropped > 0)
        m_log(LetGoText(letGo, m_held.limits()));
}
