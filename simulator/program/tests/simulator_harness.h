// Test support for the simulator program: the examples processed by the real model
// processor program once per test program, and the simulator's window made in this
// process on a command line, with scripted boxes and choosers.
#pragma once

#include "platform/core/choosers.h"
#include "platform/core/message_sink.h"
#include "platform/testing/temp_dir.h"
#include "simulator/multiple_runs.h"
#include "simulator/program/simulator_window.h"

#include <QProcess>
#include <QStringList>

#include <functional>
#include <memory>
#include <string>

namespace simtest {

/// A copy of the examples (models, library, the msd1 experiment) with a settings file
/// naming its folders by absolute path, in which orvantampx has processed msd and the
/// test models; made once.
struct Examples {
    std::string models;   ///< the model folder (first model directory)
    std::string settings; ///< its orvanta.ini
};
const Examples& ProcessedExamples();

/// A graph model `name`1 of the library's blocks in the models folder of `dir`, with its experiment
/// "default": Runge-Kutta 4 from 0 to `finish`, the parameter lines given (a text quoted) and one curve.
void WriteBlockModel(const testsupport::TempDir& dir, const std::string& name, const std::string& blocks,
                     const std::string& parameters, const std::string& curve, double finish);

/// Writes a code file (`name` with its extension) into the models folder, once per test program.
void WriteCodeFileOnce(const std::string& name, const char* text);

/// Runs the real model processor on `model` (a file in the models folder); its status.
int ProcessWithProgram(const std::string& model);

/// Starts `program` in `folder` on `arguments` and waits up to 15 s for its top-level window
/// of `windowClass`; that window, or 0.
platform::WindowHandle StartProgramWindow(QProcess& process, const QString& program, const std::string& folder,
                                          const QStringList& arguments, const char* windowClass = "TQNSIMWindow");

/// The process's simulator state put back to its start (between tests).
void ResetSimulator();

/// The simulator's window and loop in this process, on "-rc_file <settings> <tail>".
class Simulator {
public:
    explicit Simulator(const std::string& tail = "-model msd1");
    ~Simulator();

    TQNSIMApp& app() { return *m_app; }
    TQNSIMWindow& window() { return *m_app->mainWindow(); }
    platform::ScriptedMessageSink& boxes() { return m_boxes; }
    platform::ScriptedChooserSink& choosers() { return m_choosers; }

    /// Triggers the command's menu action (it must be enabled).
    void command(int id);
    /// Posts the command message to the window's handle and lets it be handled.
    void post(int id);
    /// Serves events until `done` holds; false after `timeoutMs`.
    bool waitFor(const std::function<bool()>& done, int timeoutMs = 20000);
    /// Serves events until no run is pending or going on; false after the timeout.
    bool waitForRunEnd(int timeoutMs = 20000);
    /// Opens an experiment of the model through Open Experiment and the name chooser.
    void openExperiment(const std::string& name);
    /// Answers the open name chooser with `name` and OK.
    void chooseName(const std::string& name);
    /// Runs the application's loop until it ends; false when it had not ended after `timeoutMs`.
    bool loopEnds(int timeoutMs = 20000);

private:
    platform::ScriptedMessageSink m_boxes;
    platform::ScopedMessageSink m_scopedBoxes{m_boxes};
    platform::ScriptedChooserSink m_choosers;
    platform::ScopedChooserSink m_scopedChoosers{m_choosers};
    std::unique_ptr<TQNSIMApp> m_app;
};

/// Whether the box transcript holds a line containing `text`.
bool SawLine(const platform::ScriptedMessageSink& boxes, const std::string& text);

/// Puts in force a series of `steps` over the first parameter from 0.5 to 1.5 and brings
/// the menus up to date, so that Start Multiple Run is enabled.
MultipleRunSpec& SweepFirstParameter(int steps);

} // namespace simtest
