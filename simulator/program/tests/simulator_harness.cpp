// Test support for the simulator program.
#include "simulator_harness.h"
#include "dialog_actions.h"

#include "common/log_window.h"
#include "common/name_chooser_dialog.h"
#include "common/settings_table.h"
#include "common/startup.h"
#include "platform/core/window_messages.h"
#include "platform/core/window_registry.h"
#include "platform/testing/qt_support.h"
#include "simulator/numerics/optimization.h"
#include "simulator/plot_buffers.h"
#include "simulator/plot_specs.h"
#include "simulator/run_specs.h"
#include "simulator/run_state.h"
#include "simulator/simulator_commands.h"
#include "simulator/simulator_state.h"
#include "simulator/model_variables.h"
#include "simulator/multiple_runs.h"
#include "simulator/user_libraries.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QElapsedTimer>
#include <QApplication>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <filesystem>
#include <fstream>
#include <set>

namespace simtest {

namespace {

namespace fs = std::filesystem;

/// A model whose rate divides by its parameter d.
constexpr const char* DivisionModel = "# The rate is 1 / d: d = 0 divides by zero.\n"
                                      "class divz version 1\n"
                                      "parameters\n"
                                      "  real d\n"
                                      "variables\n"
                                      "  real x, y\n"
                                      "equations\n"
                                      "  y = 1 / d\n"
                                      "  x = int(y)\n";

Examples makeExamples()
{
    static testsupport::TempDir dir; // lives for the whole test program
    const fs::path source = ORVANTA_SOURCE_DIR "/examples";
    fs::copy(source / "models", dir.file("models"), fs::copy_options::recursive);
    fs::copy(source / "library", dir.file("library"), fs::copy_options::recursive);
    Examples e{dir.file("models"), dir.file("models/orvanta.ini")};
    std::string settings = testsupport::readText(e.settings);
    const auto replace = [&settings](const std::string& key, const std::string& value) {
        const std::size_t at = settings.find("\n" + key + "=") + 1;
        settings.replace(at, settings.find('\n', at) - at, key + "=" + value);
    };
    replace("model_dirs", e.models + ";" + dir.file("library"));
    replace("messages", "0");
    dir.write("models/orvanta.ini", settings);
    dir.write("models/divz1.mf0", DivisionModel);
    // 0 / 0 from the library's divider at the first evaluation, with an experiment that shows it.
    WriteBlockModel(dir, "quot",
                    "subclasses\n  con;1 a\n  con;1 b\n  divide;1 d\nconnections\n  a`y -: d`u1\n  b`y -: d`u2\n",
                    "\ta`c\t0\n\tb`c\t0\n", "d`y", 1.0);
    return e;
}

/// The copy, made on first use.
const Examples& copiedExamples()
{
    static const Examples examples = makeExamples();
    return examples;
}

} // namespace

void WriteBlockModel(const testsupport::TempDir& dir, const std::string& name, const std::string& blocks,
                     const std::string& parameters, const std::string& curve, double finish)
{
    const std::string folder = "models/" + name + "1/";
    dir.write("models/" + name + "1.mg0", "bond graph " + name + " version 1\n" + blocks);
    const std::string end = std::to_string(finish);
    dir.write(folder + "default.r", "#Hclass\t" + name + "\n#Iprocsr\t0\n#Imethod\t2\n#Tstart \t0\n#Tfinish\t" + end +
                                        "\n#Tstep  \t0.01\n#Tcomint\t1\t0.01\n");
    dir.write(folder + "default.p", "#Formatver\t3\n#Hclass\t" + name + "\n#DParam \n" + parameters + "#DIncond\n");
    dir.write(folder + "default.u", "#Formatver\t3\n#Hclass\t" + name + "\n#Oxaxis\t#Otime\t0\t" + end +
                                        "\t0\n#Oyaxis\t0\t" + curve + "\t0\t1\t0\t1\t1\t1\t1\t\n");
}

const Examples& ProcessedExamples()
{
    static const bool processed = [] {
        for (const char* model : {"msd1", "divz1", "loop1", "quot1"})
            EXPECT_EQ(ProcessWithProgram(model), 0) << model;
        return true;
    }();
    (void)processed;
    return copiedExamples();
}

void WriteCodeFileOnce(const std::string& name, const char* text)
{
    static std::set<std::string> written;
    if (written.insert(name).second)
        std::ofstream(ProcessedExamples().models + "/" + name) << text;
}

int ProcessWithProgram(const std::string& model)
{
    const Examples& e = copiedExamples();
    QProcess process;
    process.setWorkingDirectory(QString::fromStdString(e.models));
    process.start(QStringLiteral(ORVANTAMPX_PATH),
                  {"-rc_file", QString::fromStdString(e.settings), "-model", QString::fromStdString(model)});
    if (!process.waitForFinished(60000))
        return -1;
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

platform::WindowHandle StartProgramWindow(QProcess& process, const QString& program, const std::string& folder,
                                          const QStringList& arguments, const char* windowClass)
{
    process.setWorkingDirectory(QString::fromStdString(folder));
    process.start(program, arguments);
    if (!process.waitForStarted())
        return 0;
    platform::WindowHandle window = 0;
    for (int i = 0; i < 300 && !window; ++i) {
        QTest::qWait(50);
        window = platform::findWindowByClass(windowClass);
    }
    return window;
}

void ResetSimulator()
{
    ResetStartup();
    ResetSettings();
    SimulatorState = StateNotStarted;
    ExperimentEdited = 0;
    CommandMask = 0;
    Experiment() = {};
    Simulating = RunStopFlag = InterruptRequested = RestartFlag = MathErrorOccurred = 0;
    StartRequested = ContinueRun = 0;
    RunsAllowed = 1;
    QuitRequested = 0;
    numerics::StopOptimization = 0;
    MultipleRuns() = {};
    MultipleRunSpecs() = MultipleRunSpec{};
    SetMultipleRunActive(false);
    RunSpecs() = RunSpecification::defaults();
    ResetPlotSpecs(PlotSpecs());
    ResetPlot();
    Plot().plotMode = 1;
}

Simulator::Simulator(const std::string& tail)
{
    testsupport::testApplication();
    ResetSimulator();
    m_app = std::make_unique<TQNSIMApp>(testsupport::testApplication(),
                                        SplitCommandLine("-rc_file " + ProcessedExamples().settings + " " + tail));
    EXPECT_TRUE(m_app->InitInstance());
    QApplication::processEvents();
}

Simulator::~Simulator()
{
    ChooserClosed();
    m_app.reset();
    QApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    if (TQNLogWindow* log = LogWindow())
        delete log;
    ResetSimulator();
}

void Simulator::command(int id)
{
    QAction* action = window().commandAction(id);
    ASSERT_NE(action, nullptr) << id;
    ASSERT_TRUE(action->isEnabled()) << "command " << id << " is greyed";
    action->trigger();
    QApplication::processEvents();
}

void Simulator::post(int id)
{
    platform::postMessage(window().handle(), SM_COMMAND_BASE + platform::MessageNumber(id), 0, 0);
    platform::dispatchPendingMessages();
    QApplication::processEvents();
}

bool Simulator::waitFor(const std::function<bool()>& done, int timeoutMs)
{
    return serveEventsUntil(done, timeoutMs);
}

bool Simulator::waitForRunEnd(int timeoutMs)
{
    return waitFor([] { return !StartRequested && !Simulating; }, timeoutMs);
}

void Simulator::openExperiment(const std::string& name)
{
    command(110);
    chooseName(name);
    ASSERT_EQ(Experiment().experimentName, name);
}

void Simulator::chooseName(const std::string& name)
{
    TQNFileDialog* chooser = NameChooserWindow();
    ASSERT_NE(chooser, nullptr);
    chooser->setText(572, name);
    testsupport::findControl<QPushButton>(*chooser, 801)->click();
    QApplication::processEvents();
}

bool Simulator::loopEnds(int timeoutMs)
{
    bool timedOut = false;
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [&] {
        timedOut = true;
        QCoreApplication::exit(1);
    });
    watchdog.start(timeoutMs);
    m_app->Exec();
    return !timedOut;
}

bool SawLine(const platform::ScriptedMessageSink& boxes, const std::string& text)
{
    for (const std::string& line : boxes.transcriptLines())
        if (line.find(text) != std::string::npos)
            return true;
    return false;
}

MultipleRunSpec& SweepFirstParameter(int steps)
{
    MultipleRunSpec& spec = MultipleRunSpecs();
    spec.steps = steps;
    MultipleRunVariable v;
    v.kind = KindParameter;
    v.index = 0;
    v.from = 0.5;
    v.to = 1.5;
    spec.variables = {v};
    RefreshCommandStates(SimulatorState);
    return spec;
}

} // namespace simtest
