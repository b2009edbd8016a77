// The one model processor an editor runs at a time.
#include "common/processor_run.h"

#include "platform/core/message_numbers.h"
#include "platform/core/window_messages.h"
#include "platform/core/window_registry.h"

#include <chrono>
#include <utility>

namespace {

long long nowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

} // namespace

ProcessorRun::~ProcessorRun()
{
    stopPolling();
}

void ProcessorRun::startPosted()
{
    m_startPostedAt = nowMs();
}

bool ProcessorRun::startStillPosted() const
{
    // A start lost on its way does not keep the processing back for ever.
    return m_startPostedAt && nowMs() - *m_startPostedAt < StartPostedForMs;
}

bool ProcessorRun::running() const
{
    return (m_pid > 0 && platform::processAlive(m_pid)) || !m_log.closed();
}

bool ProcessorRun::mayStart(const std::optional<std::string>& tail, std::function<void()> resume)
{
    m_startPostedAt.reset();
    if (!running())
        return true;
    m_waitingStart = tail;
    askToEnd();
    if (resume)
        whenEnded(std::move(resume));
    return false;
}

bool ProcessorRun::freeFor(std::function<void()> resume)
{
    if (!busy())
        return true;
    askToEnd();
    whenEnded(std::move(resume));
    return false;
}

std::optional<std::optional<std::string>> ProcessorRun::takeWaitingStart()
{
    return std::exchange(m_waitingStart, std::nullopt);
}

void ProcessorRun::started(pid_t pid)
{
    m_startPostedAt.reset();
    m_pid = pid > 0 ? pid : 0;
    m_resultAwaited = m_pid != 0;
    m_log.set(0);
}

bool ProcessorRun::busy() const
{
    return startStillPosted() || running();
}

bool ProcessorRun::acceptResult(platform::WindowHandle logWindow)
{
    if (!m_resultAwaited)
        return false;
    if (logWindow != 0 && platform::windowProcess(logWindow) != m_pid)
        return false;
    m_resultAwaited = false;
    m_log.set(logWindow);
    return true;
}

bool ProcessorRun::acceptExit()
{
    // Any program can say so: only a processor that has ended is taken as ended. The
    // processor's own message comes just before it quits; the editor then looks again.
    if (m_pid > 0 && platform::processAlive(m_pid))
        return false;
    m_resume = nullptr;
    stopPolling();
    forgetProcess();
    return true;
}

void ProcessorRun::takeEnd(bool commandWaits, std::function<void()> resume)
{
    if (acceptExit())
        resume();
    else if (commandWaits || startWaits())
        whenEnded(std::move(resume));
}

void ProcessorRun::askToEnd()
{
    if (!m_log.closed()) {
        m_log.close();
        return;
    }
    if (m_pid <= 0 || !platform::processAlive(m_pid))
        return;
    if (platform::WindowHandle log = platform::findWindowOfProcess("TQNLogWindow", m_pid))
        platform::postMessage(log, platform::WM_SYSCOMMAND, platform::SC_CLOSE, 0);
}

void ProcessorRun::whenEnded(std::function<void()> resume)
{
    m_resume = std::move(resume);
    if (m_pollId == 0)
        m_pollId = platform::callLater(EndPollMs, [this] { poll(); });
}

void ProcessorRun::poll()
{
    m_pollId = 0;
    if (!m_resume)
        return;
    if (busy()) {
        // A processor that had no log window yet when it was first asked is asked again.
        askToEnd();
        m_pollId = platform::callLater(EndPollMs, [this] { poll(); });
        return;
    }
    // Ended without saying so (or its end message was not the one taken).
    forgetProcess();
    std::exchange(m_resume, nullptr)();
}

void ProcessorRun::stopPolling()
{
    if (m_pollId != 0)
        platform::cancelCallLater(m_pollId);
    m_pollId = 0;
}

void ProcessorRun::forgetProcess()
{
    m_pid = 0;
    m_resultAwaited = false;
    m_log.set(0);
}

void ProcessorRun::forget()
{
    stopPolling();
    m_resume = nullptr;
    forgetProcess();
    m_startPostedAt.reset();
    m_waitingStart.reset();
}

void PostWhatWaitedForProcessor(ProcessorRun& processor, platform::WindowHandle mainWindow,
                                std::optional<int>& waitingCommand)
{
    if (mainWindow == 0)
        return;
    if (std::optional<std::optional<std::string>> start = processor.takeWaitingStart()) {
        processor.startPosted();
        platform::postMessage(mainWindow, UM_LAUNCH, 3, 0, std::move(*start));
    }
    if (std::optional<int> command = std::exchange(waitingCommand, std::nullopt))
        platform::postMessage(mainWindow, UM_PROCESS_MODEL, *command, 0);
}
