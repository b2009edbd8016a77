// The equation editor program: its command line, its main window and its run.
#pragma once

#include <memory>
#include <string>
#include <vector>

class TQNEEWindow;

namespace platform {
class Application;
}

class TQNEEApp {
public:
    /// `words` is the command line split by `SplitCommandLine`.
    TQNEEApp(platform::Application& application, std::vector<std::string> words);
    ~TQNEEApp();

    /// Builds and shows the main window and runs its set-up; false when the
    /// program is to end at once.
    bool InitMainWindow();

    /// InitMainWindow, then the event loop; the exit code.
    int Run();

    TQNEEWindow* mainWindow() const { return m_window.get(); }
    const std::string& name() const { return m_name; }

private:
    platform::Application& m_application;
    std::string m_name = "Orvanta ";
    std::vector<std::string> m_words;
    std::unique_ptr<TQNEEWindow> m_window;
};
