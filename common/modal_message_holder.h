// What a main window does with the messages that come while one of its modal dialogs is
// open: a command run inside the dialog's loop could destroy what the dialog hangs on (its
// owner window, the model it edits), so they wait in a bounded queue and are handled in
// order once it has closed. What the queue lets go is told in the log.
#pragma once

#include "common/held_messages.h"

#include <QTimer>

#include <functional>
#include <string>

class ModalMessageHolder {
public:
    using Handler = std::function<void(const platform::Message&)>;
    using Filter = std::function<bool(const platform::Message&)>;
    using Log = std::function<void(const std::string&)>;

    /// `handle` acts on a message; `waits` says which messages wait for a dialog (all when
    /// empty), the others are handled at once. The frames the process's message layer
    /// refuses are told from now on through `LogMessageTrouble`.
    explicit ModalMessageHolder(Handler handle, Filter waits = {}, HeldMessageLimits limits = {});

    /// Handles the message now, or keeps it while a modal dialog is open or earlier
    /// messages still wait (those that came earlier go first).
    void take(const platform::Message& message);

    /// Handles the kept messages in order while no modal dialog is open; looks again a
    /// moment later while some wait.
    void release();

    /// Whether messages still wait.
    bool holds() const { return !m_held.empty(); }
    const HeldMessages& held() const { return m_held; }

    /// Once this says so, the waiting messages are forgotten instead of handled.
    void setStopped(std::function<bool()> stopped) { m_stopped = std::move(stopped); }

    /// Where the lines on messages let go are written: the program's log window unless set.
    void setLog(Log log) { m_log = std::move(log); }

    /// From now on a message waits while another is being handled, as while a dialog is
    /// open: for a window whose messages may open boxes. A window whose handlers wait in
    /// loops of their own for what later messages bring (a series of runs) leaves it off.
    void setOneAtATime(bool oneAtATime) { m_oneAtATime = oneAtATime; }

private:
    void handle(const platform::Message& message);
    bool insideHandling() const;
    void tellLetGo();

    Handler m_handle;
    Filter m_waits;
    HeldMessages m_held;
    QTimer m_timer;
    std::function<bool()> m_stopped;
    Log m_log;
    bool m_toldDropping = false;
    bool m_oneAtATime = false;
    int m_handling = 0; ///< messages being handled (one inside another's loop counts two)
};

/// Writes a line on the program's messages to its log window and its standard error.
void LogMessageTrouble(const std::string& line);
