// The simulator program: its main window "TQNSIMWindow" with the plot canvas, menus,
// tool bar, status line, pop-up menu, printing, help and the suite's messages, and the
// application object that runs simulations in idle time, one chunk per turn.
#pragma once

#include "simulator/program/simulator_messages.h"

#include "common/modal_message_holder.h"

#include "platform/qt/frame_window.h"

#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class PlotCanvas;
class QPrinter;
class QSocketNotifier;

namespace platform {
class Application;
class MessageSink;
}

class TQNSIMWindow : public platform::FrameWindow {
public:
    TQNSIMWindow();
    ~TQNSIMWindow() override;

    /// The start-up settings on the command line's words, the about box, the editors
    /// wired, the command-line model loaded; false when the program must end.
    bool SetupWindow(const std::vector<std::string>& words);

    PlotCanvas* canvas() const { return m_canvas; }
    QPrinter& printer();

    /// Runs command `id` as the menu, the tool bar, the pop-up menu and the command
    /// messages all do.
    void runCommand(int id);

    /// The command mask applied to the menus and the tool bar.
    void applyMask(std::uint32_t mask);

    /// The clock of the experiment description (tests set a fixed one).
    void setClock(std::function<std::time_t()> clock) { m_clock = std::move(clock); }

    /// Whether messages that came during a modal dialog still wait to be handled.
    bool holdsMessages() const { return m_held.holds(); }
    /// The messages that wait for a modal dialog to close.
    const HeldMessages& heldMessages() const { return m_held.held(); }

    /// The help file opened last; empty while help was not used.
    const std::string& lastHelpFile() const { return m_lastHelpFile; }

    /// The status operation of the simulator: with keep, a text also goes to the log and
    /// stays as the standing text; without keep an empty text brings the standing one back.
    void showStatus(const std::string& text, bool keep);

protected:
    void handleMessage(const platform::Message& message) override;
    void handleCommand(int id) override;
    std::string commandHint(int id) const override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void printSimulation();
    void printExperiment();
    void experimentToClipboard();
    void help(const std::string& file, unsigned command, long data);
    void showTitle();
    void saveExperimentAs();
    /// Does the action at once when no run or series is going on, else once they have
    /// ended, stopping them first with `stopRuns`.
    void whenIdle(std::function<void()> action, bool stopRuns);
    /// Loads the model when idle, stopping a run or series that goes on.
    void openModelWhenIdle(const std::string& model);
    void savePlotPicture(const std::string& given);
    /// Acts on a command or message of another program, or of the window's own posting.
    void dispatchMessage(const platform::Message& message);

    PlotCanvas* m_canvas = nullptr;
    /// Messages that came while a modal dialog was open: a command run inside the
    /// dialog's loop could destroy what the dialog hangs on (its owner window), so they
    /// wait until it has closed.
    ModalMessageHolder m_held;
    /// Tells the -cmpnt window of each box before it is shown; none without that window.
    std::unique_ptr<platform::MessageSink> m_boxForwarder;
    std::unique_ptr<QPrinter> m_printer;
    std::vector<std::string> m_words;
    std::string m_programDirectory;
    std::string m_lastHelpFile;
    std::string m_keptStatus;
    std::string m_title;
    std::function<std::time_t()> m_clock;
};

/// The application: the main window and the idle loop of the runs.
class TQNSIMApp {
public:
    /// `words` is the command line split by `SplitCommandLine`.
    TQNSIMApp(platform::Application& application, std::vector<std::string> words);
    ~TQNSIMApp();

    /// The main window made and set up; false when the program is to end at once.
    bool InitInstance();
    /// InitInstance, then `Exec`.
    int Run();
    /// The loop until the program quits; a run the quit interrupted is finished after it.
    int Exec();
    /// A termination signal ends the program as an agreed quit does.
    void QuitOnTermination();
    /// A floating-point signal outside a run is told in a box and the program goes on
    /// (a run puts its own handler in place while it lasts).
    void ReportIdleTraps();

    /// One idle turn: a chunk of the run in progress, or the start of a requested one.
    /// True while a run goes on or is to start (the loop then does not wait).
    bool IdleAction();
    /// The nested pump of a series: serves messages until the run just requested ends.
    bool PumpWhileSimulating();

    TQNSIMWindow* mainWindow() const { return m_window.get(); }
    static TQNSIMApp* instance();

private:
    void idleTurn();

    platform::Application& m_application;
    std::vector<std::string> m_words;
    std::unique_ptr<TQNSIMWindow> m_window;
    std::unique_ptr<QSocketNotifier> m_termination;
    std::unique_ptr<QSocketNotifier> m_idleTraps;
    int m_pumpDepth = 0;
};

/// Agreed quitting: the series and the run are told to end and the loop is left.
void RequestSimulatorQuit();
