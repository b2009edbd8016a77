// The one model processor an editor runs at a time: from the request to start
// it until it has ended. Later requests wait for it, and only its own result
// and its own end are taken from the messages that come.
#pragma once

#include "common/processing_results.h"

#include <functional>
#include <optional>
#include <string>
#include <sys/types.h>

class ProcessorRun {
public:
    /// How long a start posted to the editor's own window keeps further starts back.
    static constexpr int StartPostedForMs = 10000;
    /// How often a waiting request looks whether the processor has ended.
    static constexpr int EndPollMs = 200;

    ProcessorRun() = default;
    ProcessorRun(const ProcessorRun&) = delete;
    ProcessorRun& operator=(const ProcessorRun&) = delete;
    ~ProcessorRun();

    /// A start of the processor was posted to the editor's own window.
    void startPosted();

    /// A start arrived (UM_LAUNCH for the processor): true when it may run now.
    /// Otherwise the processor that runs is asked to end and this start waits in
    /// its place (a later start replaces an earlier one that waits), `resume`
    /// running once it has ended (see `whenEnded`).
    bool mayStart(const std::optional<std::string>& tail, std::function<void()> resume = {});
    /// A command to process came: true when a processor may start for it now.
    /// Otherwise the one that runs is asked to end and `resume` runs once it has.
    bool freeFor(std::function<void()> resume);
    /// The start that waits, taken out; none when none waits.
    std::optional<std::optional<std::string>> takeWaitingStart();
    bool startWaits() const { return m_waitingStart.has_value(); }

    /// The start was handled: the processor started for this editor (0 when it could not start).
    void started(pid_t pid);
    pid_t process() const { return m_pid; }

    /// True from a posted start until the processor started has ended and its log is gone.
    bool busy() const;

    /// Whether a result belongs to the processor started: one is still awaited and
    /// the log window named is the processor's own (or none). The log is kept when so.
    bool acceptResult(platform::WindowHandle logWindow);

    /// Whether an end message can be taken: none runs or it has ended. The processor
    /// is forgotten when so, and nothing waits for its end any more.
    bool acceptExit();
    /// An end message came, from whichever program: `resume` runs now when it is
    /// taken (see `acceptExit`), else once the processor has ended while a command
    /// (`commandWaits`) or a start waits for it.
    void takeEnd(bool commandWaits, std::function<void()> resume);

    /// Asks the processor to end: its log window is closed (found among the
    /// processor's windows while its result has not come).
    void askToEnd();

    /// Runs `resume` once the processor has ended, asking it again to end and
    /// looking now and then; a second call replaces the first. Cancelled by
    /// `forget` and by an accepted end.
    void whenEnded(std::function<void()> resume);
    bool waitsForEnd() const { return static_cast<bool>(m_resume); }

    /// Forgets the processor, its log and what waits for it.
    void forget();

    ProcessorLogHandle& log() { return m_log; }
    const ProcessorLogHandle& log() const { return m_log; }

private:
    bool startStillPosted() const;
    bool running() const;
    void poll();
    void stopPolling();
    void forgetProcess();

    ProcessorLogHandle m_log;
    pid_t m_pid = 0;
    bool m_resultAwaited = false;
    std::optional<long long> m_startPostedAt; ///< steady-clock milliseconds
    std::optional<std::optional<std::string>> m_waitingStart;
    std::function<void()> m_resume;
    int m_pollId = 0;
};

/// Once an editor's processor has ended, what waited for it goes on through the
/// editor's main window: the start that waits as UM_LAUNCH for the processor,
/// then the command that waits (taken out) as UM_PROCESS_MODEL.
void PostWhatWaitedForProcessor(ProcessorRun& processor, platform::WindowHandle mainWindow,
                                std::optional<int>& waitingCommand);
