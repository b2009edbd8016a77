// The background model processor's start-up, run and end.
#include "modelproc/program/model_processor.h"

#include "modelproc/program/processing_entry.h"

#include "common/log_window.h"
#include "common/message_boxes.h"
#include "common/model_file_names.h"
#include "common/settings_table.h"
#include "common/startup.h"
#include "modelproc/display_hooks.h"
#include "platform/core/file_system.h"
#include "platform/core/message_numbers.h"
#include "platform/core/wait_cursor.h"
#include "platform/core/window_registry.h"
#include "platform/core/window_messages.h"
#include "platform/qt/application.h"

#include <QRect>

#include <cstdio>
#include <unistd.h>

namespace {

// How long the processor waits for the requesting window to tell where it is.
constexpr int kRequesterFrameTimeoutMs = 500;

/// A failure is told on the standard error stream too, whatever the log shows, so that a script
/// that started the program can tell why it failed.
void tellFailure(const std::string& text)
{
    std::fprintf(stderr, "orvantampx: %s\n", text.c_str());
    std::fflush(stderr);
}

/// The log is made beside the window that asked for the run, so that it does not hide it.
void placeLogBesideRequester()
{
    auto requester = static_cast<platform::WindowHandle>(Startup().NotifyWindowHandle);
    if (requester == 0 || !platform::isWindow(requester))
        return;
    if (std::optional<platform::WindowFrame> frame = platform::queryWindowFrame(requester, kRequesterFrameTimeoutMs))
        SetLogCallerFrame(QRect(frame->x, frame->y, frame->width, frame->height));
}

} // namespace

TQNMPXWindow::TQNMPXWindow() : FrameWindow("TQNMPX")
{
    setWindowTitle(QStringLiteral("Background Model Processor"));
}

TQNMPXApp::TQNMPXApp(platform::Application& application, std::vector<std::string> words)
    : m_application(application), m_words(std::move(words)),
      m_requests(ProcessorRequests::Actions{
          [] { return !Startup().StartupModelName.empty() && !Settings().model_dirs.empty(); },
          [this] { setModel(); },
          [this] { ProcessModelAndPost(); },
          [](const char* text) { DisplayHooks().diag(text); },
      })
{
}

TQNMPXApp::~TQNMPXApp()
{
    platform::cancelProcessWatch(m_requesterWatch);
    setProcessorLog({});
    setErrorEcho({});
    DisplayHooks().status = {};
    if (TQNLogWindow* log = LogWindow())
        delete log;
}

bool TQNMPXApp::InitInstance()
{
    SetMessageOwner(0);
    std::string directory = platform::executableDirectory();
    if (directory.empty()) {
        ShowMessage({"Error in Getting module file name"});
        m_exitCode = 1;
        return false;
    }
    Startup().StartupDirectory = directory;

    if (!StartupSettings(m_words, 1, ShowConfirmLines)) {
        // Stopped by the user: nothing is processed, but the requester hears that we are gone.
        tellFailure("the start-up was stopped after errors in the settings or the command line; nothing was "
                    "processed.");
        postToRequester(UM_PROCESSOR_EXITED, 0, 0);
        m_exitCode = 1;
        return false;
    }

    m_window = std::make_unique<TQNMPXWindow>();

    SetLogOwner(m_window.get());
    setProcessorLog([](const std::string& line) { AppendLog(line); });
    setErrorEcho(tellFailure);
    ttset_error_callback(ttdisplay_error_comp);
    ttset_progress_callback(ttdisplay_progress_comp);
    ttset_diag_callback(ttdisplay_diag_comp);
    ttset_percent_callback({});
    // The status texts are not shown; the last one of a failed run is told with the failure.
    DisplayHooks().status = [this](const char* text) { m_finalStatus = text ? text : ""; };

    // Without a model or a folder to look for it in there is nothing to do: the requests below fall
    // into their error state, and the program says what was missing and fails.
    if (Startup().StartupModelName.empty()) {
        tellFailure("no model given: name it with -model NAME; nothing was processed.");
        m_exitCode = 1;
    } else if (Settings().model_dirs.empty()) {
        const std::string& file =
            Startup().SettingsFileRead.empty() ? Startup().SettingsFileName : Startup().SettingsFileRead;
        tellFailure("no model directories are set (model_dirs in [General] of " + file + "); nothing was processed.");
        m_exitCode = 1;
    }

    m_requests.send(kSetModel);
    m_requests.send(kProcess);
    return true;
}

int TQNMPXApp::Run()
{
    if (!InitInstance())
        return m_exitCode;
    watchRequester();
    m_application.setIdleWork([this] { return IdleAction(); });
    return m_application.exec();
}

bool TQNMPXApp::IdleAction()
{
    if (!LogNotCreated() && IsLogOpen()) {
        TQNLogWindow* log = LogWindow();
        if (m_watchedLog != log) {
            m_watchedLog = log;
            QObject::connect(log, &QObject::destroyed, &m_application, [this] { m_application.resumeIdleWork(); });
        }
        return false;
    }
    ReportProcessorExit();
    m_application.setIdleWork({});
    QCoreApplication::exit(m_exitCode);
    return false;
}

void TQNMPXApp::watchRequester()
{
    const auto requester = static_cast<platform::WindowHandle>(Startup().NotifyWindowHandle);
    const pid_t program = platform::windowProcess(requester);
    // Started by hand (no window to answer), the processor stays until its log is closed.
    if (requester == 0 || program <= 0 || program == ::getpid())
        return;
    m_requesterWatch = platform::watchProcessEnd(program, [this] {
        m_requesterWatch = 0;
        RequesterEnded();
    });
}

void TQNMPXApp::RequesterEnded()
{
    if (TQNLogWindow* log = LogWindow())
        log->close();
    m_application.resumeIdleWork();
}

void TQNMPXApp::setModel()
{
    m_givenModelName = Startup().StartupModelName;
    // A refused name is looked for nowhere: the run reports it.
    std::optional<std::string> found;
    if (ModelNameRefusal(m_givenModelName).empty())
        found = FindYoungestModelFile(4, Settings().model_dirs, m_givenModelName, ShowMessageLines, nullptr);
    m_currentModelFile = found.value_or(std::string());
    DisplayHooks().status("");
    m_requests.send(kModelSet);
}

void TQNMPXApp::ProcessModelAndPost()
{
    if (Settings().messages > 0) {
        placeLogBesideRequester();
        ShowLog("MP: Diagnostics - " + m_givenModelName);
        ClearLog();
    }
    DisplayHooks().diag(("Diagnostics on: " + m_givenModelName + "\r\n").c_str());

    int result = 0;
    {
        platform::ScopedWaitCursor wait;
        result = RunModelProcessing(m_currentModelFile, m_givenModelName);
        m_requests.send(kProcessed);
    }

    // A failed run ends the program with a status of its own, so that scripts can tell; 0 is a
    // model that could not be loaded, except in a run that only parses.
    if (result < 0 || (result == 0 && Startup().ProcessingDepth > 3)) {
        m_exitCode = 1;
        tellFailure(m_givenModelName + ": " + (m_finalStatus.empty() ? "no model was processed." : m_finalStatus));
    }
    postToRequester(UM_PROCESSING_DONE, result, static_cast<std::int64_t>(GetLogHandle()));
}

int TQNMPXApp::ReportProcessorExit()
{
    CloseLog();
    postToRequester(UM_PROCESSOR_EXITED, 0, 0);
    return 1;
}

void TQNMPXApp::postToRequester(platform::MessageNumber number, std::int64_t wParam, std::int64_t lParam)
{
    auto requester = static_cast<platform::WindowHandle>(Startup().NotifyWindowHandle);
    if (requester != 0 && platform::isWindow(requester))
        platform::postMessage(requester, number, wParam, lParam);
}
