// The background model processor: one processing job from its command line,
// its log window, and the result posted to the window that asked for it.
#pragma once

#include "modelproc/program/processor_requests.h"

#include "platform/qt/frame_window.h"

#include <QPointer>

#include <memory>
#include <string>
#include <vector>

namespace platform {
class Application;
}

/// The main window, found by the other programs under its class name "TQNMPX".
class TQNMPXWindow : public platform::FrameWindow {
public:
    TQNMPXWindow();
};

/// The model processor's job: start-up, one run, then waiting for its log
/// window to close before it ends.
class TQNMPXApp {
public:
    /// `words` is the command line split by `SplitCommandLine`.
    TQNMPXApp(platform::Application& application, std::vector<std::string> words);
    ~TQNMPXApp();

    /// Start-up, the main window and the run; false when the program is to
    /// end at once with `exitCode()`.
    bool InitInstance();

    /// InitInstance, then the event loop until the log window is gone; the exit code.
    int Run();

    /// Waits while the log window is open; else reports the exit and ends the
    /// event loop. False: no more idle work until the log window goes.
    bool IdleAction();

    /// Opens the log (by the `messages` setting), runs the pipeline and posts
    /// UM_PROCESSING_DONE to the requesting window.
    void ProcessModelAndPost();

    /// Keeps the log's geometry and text and posts UM_PROCESSOR_EXITED to the
    /// requesting window; 1.
    int ReportProcessorExit();

    /// The status the program ends with: 0, or 1 after a failed start-up or a failed run.
    int exitCode() const { return m_exitCode; }
    const std::string& currentModelFile() const { return m_currentModelFile; }
    const ProcessorRequests& requests() const { return m_requests; }
    TQNMPXWindow* mainWindow() const { return m_window.get(); }

    /// The requesting window's program has ended: nobody waits for the result any
    /// more, so the log window closes and the program ends with it.
    void RequesterEnded();

private:
    void setModel();
    void watchRequester();
    void postToRequester(platform::MessageNumber number, std::int64_t wParam, std::int64_t lParam);

    platform::Application& m_application;
    std::vector<std::string> m_words;
    std::unique_ptr<TQNMPXWindow> m_window;
    ProcessorRequests m_requests;
    std::string m_givenModelName;
    std::string m_currentModelFile;
    std::string m_finalStatus; ///< the last status text of the run
    QPointer<QObject> m_watchedLog;
    int m_requesterWatch = 0;
    int m_exitCode = 0;
};
