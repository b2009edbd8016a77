// The whole road through the real programs: the bundled mass-spring-damper is
// opened in the graph editor, processed by the real model processor, and the
// simulator the editor starts runs the example's experiment on it to its
// result file; C code asked for an edited model waits for its processing.
#include "grapheditor/program/tests/main_window_fixture.h"

#include "grapheditor/program/editor_commands.h"

#include "common/name_chooser.h"

#include "codegen/tests/program_runner.h"
#include "simulator/program/tests/experiment_run.h"
#include "simulator/program/simulator_messages.h"
#include "platform/core/program_start.h"
#include "platform/core/window_registry.h"

#include <gtest/gtest.h>

#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <cmath>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>
#include <filesystem>

using editortest::MainWindow;
using editortest::waitUntil;

namespace {

namespace fs = std::filesystem;

/// The command line a process was started with, its words joined by blanks.
std::string commandLineOf(pid_t pid)
{
    std::string line = testsupport::readText("/proc/" + std::to_string(pid) + "/cmdline");
    for (char& c : line)
        if (c == '\0')
            c = ' ';
    return line;
}

/// While it lives, this process's standard error stream, and so that of every program it
/// starts, goes to a file.
class StandardErrorToFile {
public:
    explicit StandardErrorToFile(const std::string& path)
        : m_saved(::dup(STDERR_FILENO)), m_file(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600))
    {
        if (m_saved >= 0 && m_file >= 0)
            ::dup2(m_file, STDERR_FILENO);
    }
    ~StandardErrorToFile()
    {
        if (m_saved >= 0) {
            ::dup2(m_saved, STDERR_FILENO);
            ::close(m_saved);
        }
        if (m_file >= 0)
            ::close(m_file);
    }
    StandardErrorToFile(const StandardErrorToFile&) = delete;
    StandardErrorToFile& operator=(const StandardErrorToFile&) = delete;

private:
    int m_saved;
    int m_file;
};

class WholeRoad : public MainWindow {
protected:
    void TearDown() override
    {
        // A simulator left running by a failed step is ended with the test.
        if (simulatorPid > 0 && platform::processAlive(simulatorPid)) {
            ::kill(simulatorPid, SIGKILL);
            platform::waitForProgram(simulatorPid, 5000);
        }
        MainWindow::TearDown();
    }
    pid_t simulatorPid = 0;
};

} // namespace

TEST_F(WholeRoad, TheDrawnModelIsProcessedAndSimulatedByTheRealProgramsToItsResultFile)
{
    // The example as it is shipped: the model file and its experiment beside it.
    copyExample("msd1.mg0", models, "msd1.mg0");
    fs::copy(fs::path(ORVANTA_MODELS_DIR) / "msd1", fs::path(models) / "msd1", fs::copy_options::recursive);
    startWindow("-model msd1");
    ASSERT_EQ(Editor().modelName, "msd1");
    ASSERT_EQ(CurrentModel().connections.size(), 4u);

    command(CM_COMPLETE_PROCESSING)->trigger();
    ASSERT_TRUE(processed("Model processing completed succesfully.")) << window->shownStatusText();
    EXPECT_TRUE(sink.transcript().empty()) << sink.transcriptLines().front();
    for (const char* file : {"/msd1.mg3", "/msd1.l", "/msd1.e"})
        EXPECT_TRUE(platform::fileExists(models + file)) << file;
    EXPECT_TRUE(ModelProcessed());
    EXPECT_TRUE(AnnotationPresent());
    EXPECT_EQ(IsProcessedUpToDate(models, "msd1"), 1);

    // The processed model goes to the simulator as it is: no processing again.
    ASSERT_TRUE(command(CM_SIMULATION)->isEnabled());
    command(CM_SIMULATION)->trigger();
    platform::WindowHandle simulator = 0;
    ASSERT_TRUE(waitUntil([&] { return (simulator = platform::findWindowByClass("TQNSIMWindow")) != 0; }, 30000));
    simulatorPid = platform::windowProcess(simulator);
    EXPECT_EQ(window->shownStatusText(), "Opened Simulator with model msd1.");
    const std::string started = commandLineOf(simulatorPid);
    EXPECT_NE(started.find("orvantasim -model msd1 -rc_file " + settings), std::string::npos) << started;
    EXPECT_FALSE(Editor().simulatePending);

    // The experiment of the example is run in the simulator; its result file appears when the run ends.
    const std::string result = models + "/msd1/default.n";
    ASSERT_FALSE(platform::fileExists(result));
    ASSERT_TRUE(platform::postMessage(simulator, SM_OPEN_EXPERIMENT, 0, 0, std::string("default")));
    ASSERT_TRUE(platform::postMessage(simulator, SM_COMMAND_BASE + 277, 0, 0)); // Start Simulation
    ASSERT_TRUE(waitUntil([&] { return platform::fileExists(result); }, 120000)) << "no result file";

    const std::optional<simrun::ResultFile> data = simrun::readResultFile(result);
    ASSERT_TRUE(data);
    EXPECT_EQ(data->model, "msd1");
    EXPECT_EQ(data->experiment, "default");
    EXPECT_EQ(data->names, (std::vector<std::string>{"k`p.f_indep_state", "m`p.f", "k`p.e"}));
    ASSERT_EQ(data->rows.size(), 501u) << "a row every 0.01 s from 0 to 5";
    EXPECT_EQ(data->rows.front()[0], 0.0);
    EXPECT_NEAR(data->rows.back()[0], 5.0, 1e-9);
    // m x'' + r x' + x / c = F from rest, with the experiment's m = 1, r = 0.5, c = 0.025, F = 1:
    // x = c F (1 - e^(-at) (cos wt + a/w sin wt)), x' = F/(m w) e^(-at) sin wt, a = r/2m, w^2 = 1/mc - a^2.
    const double a = 0.25, w = std::sqrt(40.0 - a * a);
    double worst = 0;
    for (const std::vector<double>& row : data->rows) {
        ASSERT_EQ(row.size(), 4u);
        const double t = row[0], decay = std::exp(-a * t);
        const double x = 0.025 * (1 - decay * (std::cos(w * t) + a / w * std::sin(w * t)));
        const double v = decay * std::sin(w * t) / w;
        worst = std::max({worst, std::fabs(row[1] - x) / 0.05, std::fabs(row[2] - v) / 0.2,
                          std::fabs(row[3] - 40 * x) / 2.0});
    }
    EXPECT_LT(worst, 1e-6) << "the run follows the analytic solution";

    // The simulator ends when its window is closed; the editor goes on with its model.
    ASSERT_TRUE(platform::requestCloseWindow(simulator));
    const std::optional<int> status = platform::waitForProgram(simulatorPid, 20000);
    ASSERT_TRUE(status) << "the simulator did not end";
    EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0);
    EXPECT_EQ(Editor().modelName, "msd1");
    EXPECT_EQ(Editor().machine.state(), STATE_NAMED);
    testsupport::grabToPng(*window, "grapheditor_processed");
}

TEST_F(WholeRoad, CCodeOfAnEditedModelIsGeneratedOnceTheRealProcessorHasProcessedIt)
{
    copyExample("msd1.mg0", models, "msd1.mgg");
    startWindow("-model msd1");
    ASSERT_EQ(Editor().modelName, "msd1");
    SetEdited();

    // The generator's dialog comes only after the processing it waits for.
    const std::string out = dir.mkdir("program");
    bool codeFileThere = false;
    testsupport::answerNextModal(
        [&](QWidget& modal) {
            codeFileThere = platform::fileExists(models + "/msd1.e");
            testsupport::findControl<QRadioButton>(modal, 1008)->click(); // a stand-alone program
            testsupport::findControl<QRadioButton>(modal, 1018)->click(); // printing after each step
            testsupport::findControl<QLineEdit>(modal, 1011)->setText(QString::fromStdString(out));
            testsupport::findControl<QPushButton>(modal, 1012)->click();
            static_cast<QDialog&>(modal).reject();
        },
        60000);
    command(CM_CCODE)->trigger();
    EXPECT_TRUE(Editor().ccodePending);
    ASSERT_TRUE(waitUntil([&] { return platform::fileExists(out + "/xxmain.c"); }, 60000)) << "nothing generated";
    EXPECT_TRUE(codeFileThere);
    // It was saved as checked and then processed completely.
    EXPECT_TRUE(platform::fileExists(models + "/msd1.mg3"));
    EXPECT_FALSE(platform::fileExists(models + "/msd1.mgg"));
    EXPECT_EQ(CurrentModel().edited, 0);
    EXPECT_FALSE(Editor().ccodePending);
    ASSERT_TRUE(waitUntil([&] { return IsProcessorLogClosed() == 1; }));

    const codegentest::ProgramRun run = codegentest::compileAndRun(out, codegentest::kStrictFlags);
    EXPECT_EQ(run.compileStatus, 0) << run.compileOutput;
    EXPECT_EQ(run.runStatus, 0) << run.errors;
    EXPECT_FALSE(run.blocks.empty());
    EXPECT_EQ(Editor().machine.state(), STATE_NAMED);
}

// The gears' second inertia follows the first: the processed model has a dependent rate,
// which a fixed-step program cannot hold. The generator says so once, naming it, and its
// dialog says that nothing was written.
TEST_F(WholeRoad, CCodeOfAModelWithADependentRateIsRefusedOnceAndTheDialogSaysWhy)
{
    copyExample("gears1.mg0", models, "gears1.mg0");
    startWindow("-model gears1");
    ASSERT_EQ(Editor().modelName, "gears1");
    const std::string out = dir.mkdir("program");
    std::string status;
    bool statusFits = false;
    testsupport::answerNextModal(
        [&](QWidget& modal) {
            testsupport::findControl<QRadioButton>(modal, 1008)->click();
            testsupport::findControl<QLineEdit>(modal, 1011)->setText(QString::fromStdString(out));
            testsupport::findControl<QPushButton>(modal, 1012)->click();
            auto* label = testsupport::findControl<QLabel>(modal, 1025);
            status = label->text().toStdString();
            statusFits = label->heightForWidth(label->width()) <= label->height();
            testsupport::grabToPng(modal, "codegen_refused");
            static_cast<QDialog&>(modal).reject();
        },
        60000);
    command(CM_CCODE)->trigger();
    ASSERT_TRUE(waitUntil([&] { return !status.empty(); }, 60000)) << "no generation";
    const std::string refusal = "The quantity r0 (a dependent rate, j1`p[2].e) has no array in the generated code";
    EXPECT_EQ(status, "Nothing written: the" + refusal.substr(3));
    EXPECT_TRUE(statusFits) << "the status shows all of its lines";
    ASSERT_EQ(sink.transcript().size(), 1u) << testing::PrintToString(sink.transcriptLines());
    const std::vector<std::string>& lines = sink.transcript()[0].lines;
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], refusal);
    // What the modeller did, in the modeller's words.
    EXPECT_EQ(lines[1], "A model with a mass, an inertia or another storage in derivative causality, or a ddt, "
                        "cannot be exported.");
    EXPECT_EQ(lines[2], "in equation: V2 = V0 + -r0");
    EXPECT_EQ(lines[3].rfind(models + "/gears1.e, line ", 0), 0u) << lines[3];
    EXPECT_EQ(platform::listDirectory(out)->size(), 2u) << "only . and ..";
    EXPECT_EQ(Editor().machine.state(), STATE_NAMED);
}

// A new model processed before anything is drawn in it: the file saved first holds only its
// connections line, and the real processor refuses it with what is missing.
TEST_F(WholeRoad, AnEmptyModelIsRefusedByTheRealProcessorWithWhatItLacks)
{
    startWindow();
    QWidget* chooser = openChooser();
    ASSERT_NE(chooser, nullptr);
    testsupport::findControl<QLineEdit>(*chooser, ID_CHOOSER_NAME)->setText("empty1");
    testsupport::findControl<QPushButton>(*chooser, ID_CHOOSER_OK)->click();
    ASSERT_EQ(Editor().modelName, "empty1");
    const std::string errors = dir.file("processor-errors.txt");
    {
        const StandardErrorToFile redirected(errors);
        command(CM_COMPLETE_PROCESSING)->trigger();
        ASSERT_TRUE(waitUntil([&] { return !sink.transcript().empty(); }, 60000)) << window->shownStatusText();
    }
    EXPECT_EQ(testsupport::readText(models + "/empty1.mg0"),
              "bond graph empty version 1\n\t!gri_main 1500 1000 0 0 \nconnections\n");
    EXPECT_EQ(sink.transcriptLines(),
              (std::vector<std::string>{"Expansion of model failed.", "Further processing is not possible."}));
    const std::string said = testsupport::readText(errors);
    EXPECT_NE(said.find("Parse error in file \"empty1.mg0\" line 4 at [EOF]: no submodels or connections given"),
              std::string::npos)
        << said;
    EXPECT_FALSE(platform::fileExists(models + "/empty1.l"));
}

TEST_F(WholeRoad, TheRealEditorTakesTheProcessorItStartedWithItWhenItIsClosed)
{
    writeSettings(1, 0);
    copyExample("msd1.mg0", models, "msd1.mgg");
    std::optional<pid_t> editorPid =
        platform::startProgram(ORVANTA_BIN_DIR "/orvanta", {"-model", "msd1", "-rc_file", settings});
    ASSERT_TRUE(editorPid);
    platform::WindowHandle editor = 0;
    ASSERT_TRUE(waitUntil([&] { return (editor = platform::findWindowByClass("TQNBGEWindow")) != 0; }));
    ASSERT_TRUE(platform::postMessage(editor, UM_PROCESS_MODEL, PROCESS_CAUSAL_ANALYSIS, 0));
    // The processor waits with its log open for the editor to close it.
    platform::WindowHandle processor = 0;
    ASSERT_TRUE(waitUntil([&] { return (processor = platform::findWindowByClass("TQNMPX")) != 0; }, 30000));
    const pid_t processorPid = platform::windowProcess(processor);
    ASSERT_TRUE(waitUntil([&] { return platform::fileExists(models + "/msd1.t2"); }, 30000));
    ASSERT_TRUE(platform::isWindow(processor));

    ASSERT_TRUE(platform::requestCloseWindow(editor));
    std::optional<int> status = platform::waitForProgram(*editorPid, 20000);
    if (!status)
        ::kill(*editorPid, SIGKILL);
    ASSERT_TRUE(status) << "the editor did not end";
    EXPECT_TRUE(waitUntil([&] { return !platform::processAlive(processorPid); }, 20000))
        << "the processor outlived the editor";
    if (platform::processAlive(processorPid))
        ::kill(processorPid, SIGKILL);
}

TEST_F(WholeRoad, EverySimulationCommandGoesToTheOneSimulatorOfTheSettingsFile)
{
    copyExample("msd1.mg0", models, "msd1.mg0");
    startWindow("-model msd1");
    command(CM_COMPLETE_PROCESSING)->trigger();
    ASSERT_TRUE(processed("Model processing completed succesfully.")) << window->shownStatusText();
    ASSERT_EQ(IsProcessedUpToDate(models, "msd1"), 1);

    // Clicked three times while the simulator comes up, then once more when it is there.
    for (int click = 0; click < 3; ++click)
        command(CM_SIMULATION)->trigger();
    ASSERT_TRUE(waitUntil([] { return !testsupport::processesWithWindow("TQNSIMWindow").empty(); }, 30000));
    simulatorPid = testsupport::processesWithWindow("TQNSIMWindow").front();
    const platform::WindowHandle simulator = platform::findWindowByClass("TQNSIMWindow");
    ASSERT_TRUE(waitUntil([&] { return platform::windowNote(simulator).find("settings=") == 0; }, 30000))
        << "the simulator tells which settings file it runs on";
    command(CM_SIMULATION)->trigger();
    EXPECT_EQ(window->shownStatusText(), "Opened Simulator with model msd1.");
    QTest::qWait(1500);
    EXPECT_EQ(testsupport::processesWithWindow("TQNSIMWindow"), std::vector<pid_t>{simulatorPid}) << "one simulator, however often asked";
    EXPECT_TRUE(sink.transcript().empty()) << sink.transcriptLines().front();

    ASSERT_TRUE(platform::requestCloseWindow(simulator));
    ASSERT_TRUE(platform::waitForProgram(simulatorPid, 20000)) << "the simulator did not end";
}
