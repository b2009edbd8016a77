// Commands and messages that reach the simulator's window in any order and at any time,
// also while one of its modal dialogs is open: the path finder, the C-code generator's
// dialog and the path finder again, posted to the real program one after another; the
// same inside this process, the held command running once the dialog has closed; and
// random sequences of the suite's commands and messages with dialogs closing at random.
#include "simulator_harness.h"

#include "common/name_chooser_dialog.h"
#include "common/path_finder_dialog.h"
#include "common/startup.h"
#include "platform/core/file_system.h"
#include "platform/core/window_messages.h"
#include "platform/core/window_registry.h"
#include "platform/testing/qt_support.h"
#include "simulator/program/simulator_menus.h"
#include "simulator/run_specs.h"
#include "simulator/run_state.h"
#include "simulator/simulator_state.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QMenu>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <filesystem>
#include <random>

using simtest::Simulator;

namespace {

namespace fs = std::filesystem;

void postCommand(platform::WindowHandle window, int id)
{
    platform::postMessage(window, SM_COMMAND_BASE + platform::MessageNumber(id), 0, 0);
}

} // namespace

// As tried on the real program: the second Library Properties arrived inside the code
// generator's dialog, closed the path finder that owned that dialog, and the dialog was
// freed twice ("free(): invalid pointer").
TEST(CommandSequences, LibraryPropertiesDuringCCodeGenerationLeaveTheRealProgramAlive)
{
    testsupport::testApplication();
    const simtest::Examples& e = simtest::ProcessedExamples();
    QProcess simulator;
    const platform::WindowHandle window = simtest::StartProgramWindow(
        simulator, QStringLiteral(ORVANTASIM_PATH), e.models, {"-rc_file", QString::fromStdString(e.settings), "-model", "msd1"});
    ASSERT_NE(window, 0u);
    for (int id : {CM_LIBRARY_PROPS, CM_CCODE, CM_LIBRARY_PROPS}) {
        postCommand(window, id);
        QTest::qWait(400);
    }
    EXPECT_FALSE(simulator.waitForFinished(2000)) << "exit status " << simulator.exitCode();
    ASSERT_EQ(simulator.state(), QProcess::Running);
    // Closing the window ends the program, the generator's dialog open or not.
    platform::requestCloseWindow(window);
    if (!simulator.waitForFinished(20000)) {
        ::kill(pid_t(simulator.processId()), SIGKILL);
        FAIL() << "the simulator did not end when its window was closed";
    }
    EXPECT_EQ(simulator.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(simulator.exitCode(), 0);
}

// The same path through the window here: the second Library Properties waits until the
// generator's dialog has closed, then opens a new path finder.
TEST(CommandSequences, ACommandThatComesDuringAModalDialogRunsOnceItHasClosed)
{
    Simulator s;
    s.openExperiment("default");
    Startup().InstallDirectory = CODEGEN_MODULE_DIR;
    const platform::WindowHandle window = s.window().handle();
    s.post(CM_LIBRARY_PROPS);
    QPointer<TQNPathFinderDialog> first = PathFinderWindow();
    ASSERT_NE(first, nullptr);
    bool heldWhileOpen = false;
    testsupport::answerNextModal([&](QWidget& modal) {
        EXPECT_EQ(modal.objectName().toStdString(), "DLG_CODEGENERATOR");
        postCommand(window, CM_LIBRARY_PROPS);
        QTest::qWait(200);
        heldWhileOpen = PathFinderWindow() == first.data() && first->isVisible();
        static_cast<QDialog&>(modal).reject();
    });
    s.post(CM_CCODE);
    EXPECT_TRUE(heldWhileOpen) << "the path finder that owns the dialog stays while it is open";
    ASSERT_TRUE(s.waitFor([&] { return PathFinderWindow() && PathFinderWindow() != first.data(); }, 5000));
    EXPECT_TRUE(PathFinderWindow()->isVisible());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(first.isNull()) << "the first path finder is gone, once";
    DestroyPathFinderWindow();
}

// A burst while a dialog is open: what waits stays within the bounds of the held queue
// (a thousand large texts took the program's memory beyond a gigabyte), and it is all
// handled once the dialog has closed.
TEST(CommandSequences, ABurstDuringAModalDialogIsHeldWithinBounds)
{
    Simulator s;
    s.openExperiment("default");
    Startup().InstallDirectory = CODEGEN_MODULE_DIR;
    const platform::WindowHandle window = s.window().handle();
    std::size_t heldMost = 0, bytesMost = 0;
    testsupport::answerNextModal([&](QWidget& modal) {
        for (int i = 0; i < 300; ++i) {
            platform::postMessage(window, UM_STATUS_TEXT, i, 0, std::string(64 * 1024, char('a' + i % 26)));
            postCommand(window, CM_REDRAW);
            platform::postMessage(window, SM_COMMAND_BASE + CM_PLOT_REFRESH, i, 0);
            if (i % 50 == 0) {
                QTest::qWait(10);
                heldMost = std::max(heldMost, s.window().heldMessages().size());
                bytesMost = std::max(bytesMost, s.window().heldMessages().bytes());
            }
        }
        QTest::qWait(100);
        heldMost = std::max(heldMost, s.window().heldMessages().size());
        bytesMost = std::max(bytesMost, s.window().heldMessages().bytes());
        static_cast<QDialog&>(modal).reject();
    });
    s.post(CM_CCODE);
    const HeldMessageLimits& limits = s.window().heldMessages().limits();
    EXPECT_GT(heldMost, 0u);
    EXPECT_LE(heldMost, limits.messages);
    EXPECT_LE(bytesMost, limits.bytes);
    ASSERT_TRUE(s.waitFor([&] { return !s.window().holdsMessages(); }, 5000));
    EXPECT_TRUE(s.window().heldMessages().empty());
    EXPECT_EQ(s.window().heldMessages().bytes(), 0u);
}

// Whatever closes the generator's owner under it, the dialog is not freed twice.
TEST(CommandSequences, TheCodeGeneratorsDialogOutlivesAnOwnerClosedUnderIt)
{
    Simulator s;
    s.openExperiment("default");
    Startup().InstallDirectory = CODEGEN_MODULE_DIR;
    s.post(CM_LIBRARY_PROPS);
    ASSERT_NE(PathFinderWindow(), nullptr);
    QPointer<QWidget> dialog;
    testsupport::answerNextModal([&](QWidget& modal) {
        dialog = &modal;
        // As another program's close request would: the path finder goes at once.
        delete PathFinderWindow();
        if (dialog)
            static_cast<QDialog&>(modal).reject();
    });
    s.post(CM_CCODE);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(dialog.isNull());
    EXPECT_EQ(PathFinderWindow(), nullptr);
    s.post(CM_START_SIMULATION);
    ASSERT_TRUE(s.waitForRunEnd());
    EXPECT_EQ(s.window().shownStatusText().rfind("Simulation finished.", 0), 0u);
}

// A command message does what the menu does: while a run goes on, Read Datafile is greyed
// and its message does nothing (it broke the state machine: "Something strange has
// happened"), while Interrupt, which the menu offers, stops the run.
TEST(CommandSequences, ACommandMessageIsRefusedWhileTheMenuGreysIt)
{
    Simulator s;
    s.openExperiment("default");
    RunSpecs().finishTime = 1e9;
    s.post(CM_START_SIMULATION);
    ASSERT_TRUE(s.waitFor([] { return Simulating != 0; }));
    ASSERT_FALSE(CommandEnabled(CM_READ_DATAFILE, CommandMask));
    s.post(CM_READ_DATAFILE);
    EXPECT_EQ(SimulatorState, StateBusy);
    EXPECT_TRUE(Simulating);
    s.post(CM_INTERRUPT);
    ASSERT_TRUE(s.waitForRunEnd());
    EXPECT_EQ(SimulatorState, StateModelLoaded);
    EXPECT_FALSE(simtest::SawLine(s.boxes(), "Something strange has happened"));
    EXPECT_EQ(s.window().shownStatusText().rfind("Simulation stopped by user.", 0), 0u) << s.window().shownStatusText();
}

// The name chooser stays open while the user goes on: a name chosen once a run has started
// opens the experiment after stopping the run, and saves one after the run has ended,
// instead of breaking the state machine.
TEST(CommandSequences, ANameChosenDuringARunActsOnceTheRunHasEnded)
{
    Simulator s;
    s.openExperiment("default");
    s.command(CM_OPEN_EXPERIMENT);
    RunSpecs().finishTime = 1e9;
    s.command(CM_START_SIMULATION);
    ASSERT_TRUE(s.waitFor([] { return Simulating != 0; }));
    s.chooseName("default");
    ASSERT_TRUE(s.waitFor([] { return RunSpecs().finishTime == 5.0; }, 5000)) << "the experiment is read again";
    EXPECT_FALSE(Simulating);
    EXPECT_EQ(SimulatorState, StateModelLoaded);
    EXPECT_FALSE(ExperimentEdited);

    const std::string saved = Experiment().experimentDirectory + "/during.r";
    RunSpecs().finishTime = 0.5;
    s.command(CM_SAVE_EXPERIMENT_AS);
    s.command(CM_START_SIMULATION);
    ASSERT_TRUE(s.waitFor([] { return Simulating != 0; }));
    s.chooseName("during");
    EXPECT_TRUE(Simulating) << "the run goes on";
    ASSERT_TRUE(s.waitForRunEnd());
    ASSERT_TRUE(s.waitFor([&] { return platform::fileExists(saved); }, 5000));
    EXPECT_EQ(Experiment().experimentName, "during");
    EXPECT_EQ(SimulatorState, StateModelLoaded);
    EXPECT_EQ(s.window().shownStatusText().rfind("Simulation finished.", 0), 0u) << s.window().shownStatusText();
    EXPECT_FALSE(simtest::SawLine(s.boxes(), "Something strange has happened"));
    for (const char* extension : {".p", ".r", ".u"})
        platform::deleteFile(Experiment().experimentDirectory + "/during" + extension);
}

// Random sequences of the window's commands and the suite's messages, posted while
// dialogs open and close at random; the program lives, and runs an experiment afterwards.
TEST(CommandSequences, RandomCommandsAndMessagesWithDialogsClosingAtRandomLeaveAWorkingSimulator)
{
    Simulator s;
    const std::string experiments = simtest::ProcessedExamples().models + "/msd1";
    for (const char* extension : {".p", ".r", ".u"})
        fs::copy_file(experiments + "/default" + extension, experiments + "/fuzz" + extension,
                      fs::copy_options::overwrite_existing);
    s.openExperiment("fuzz");
    Startup().InstallDirectory = CODEGEN_MODULE_DIR;
    const platform::WindowHandle window = s.window().handle();

    // Every command but Exit and the two that start other programs, and the messages.
    std::vector<int> commands;
    for (const CommandRow& row : SimulatorCommands())
        if (row.id != CM_SIM_EXIT && row.id != CM_GRAPH_EDITOR && row.id != CM_EQUATION_EDITOR)
            commands.push_back(row.id);
    std::mt19937 random(43);
    const auto pick = [&random](int n) { return int(std::uniform_int_distribution<int>(0, n - 1)(random)); };
    const auto postOne = [&] {
        const int choice = pick(int(commands.size()) + 6);
        if (choice < int(commands.size()))
            return postCommand(window, commands[std::size_t(choice)]);
        switch (choice - int(commands.size())) {
        case 0:
            platform::postMessage(window, UM_OPEN_MODEL, 0, 0, std::string(pick(2) ? "msd1" : "divz1"));
            break;
        case 1:
        case 2:
            platform::postMessage(window, SM_OPEN_EXPERIMENT, 0, 0, std::string("fuzz"));
            break;
        case 3:
            platform::postMessage(window, UM_SETTINGS_CHANGED, 0, 0);
            break;
        case 4:
            platform::postMessage(window, SM_SAVE_PLOT_PICTURE, 0, 0, std::string(pick(2) ? "fuzz.png" : "../fuzz.png"));
            break;
        default:
            platform::postMessage(window, platform::WM_RBUTTONDOWN, 0, platform::pointParam(20, 20));
            break;
        }
    };

    constexpr int Messages = 400;
    int posted = 0;
    QTimer poster;
    QObject::connect(&poster, &QTimer::timeout, [&] {
        for (int burst = 1 + pick(3); burst > 0 && posted < Messages; --burst, ++posted)
            postOne();
        poster.setInterval(pick(15));
    });
    // Modal dialogs and pop-up menus close after a while; the name chooser now and then.
    QPointer<QWidget> modal;
    int openFor = 0;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        // The start-up settings that a settings message runs again forget the test's module folder.
        Startup().InstallDirectory = CODEGEN_MODULE_DIR;
        if (QWidget* popup = QApplication::activePopupWidget())
            popup->close();
        QWidget* now = QApplication::activeModalWidget();
        if (now != modal.data()) {
            modal = now;
            openFor = pick(20);
        } else if (auto* dialog = qobject_cast<QDialog*>(now); dialog && openFor-- <= 0) {
            dialog->reject();
        }
        // Choosers are answered now and then: a model, an experiment (or a name to save under).
        if (TQNFileDialog* chooser = NameChooserWindow(); chooser && pick(8) == 0) {
            if (pick(2)) {
                const bool model = chooser->windowTitle().startsWith(QStringLiteral("Open model"));
                chooser->setText(572, model ? "msd1" : "fuzz");
                testsupport::findControl<QPushButton>(*chooser, 801)->click();
            } else {
                ChooserClosed();
            }
        }
    });
    poster.start(5);
    closer.start(10);
    EXPECT_TRUE(s.waitFor([&] { return posted == Messages; }, 60000)) << posted << " posted";
    poster.stop();
    // What is left: held messages, dialogs, runs. The closer goes on until all is settled for a
    // while, since a held message can open another dialog once the one before has closed.
    QElapsedTimer settledFor;
    EXPECT_TRUE(s.waitFor(
        [&] {
            const bool settled = !QApplication::activeModalWidget() && !s.window().holdsMessages() && !Simulating &&
                                 !StartRequested && !MultipleRunSeriesActive();
            if (!settled)
                settledFor.invalidate();
            else if (!settledFor.isValid())
                settledFor.start();
            return settled && settledFor.elapsed() >= 300;
        },
        30000));
    closer.stop();
    QTest::qWait(100);

    // The window still works: the experiment runs to its end.
    EXPECT_FALSE(simtest::SawLine(s.boxes(), "Something strange has happened")) << "the state machine holds";
    s.boxes().clear();
    platform::postMessage(window, UM_OPEN_MODEL, 0, 0, std::string("msd1"));
    QTest::qWait(100);
    ASSERT_TRUE(s.waitFor([] { return Experiment().modelName == "msd1" && !Simulating; }));
    ExperimentEdited = 0;
    // The fuzz experiment may have been saved with what the runs left: a fresh copy runs.
    for (const char* extension : {".p", ".r", ".u"})
        fs::copy_file(experiments + "/default" + extension, experiments + "/after" + extension,
                      fs::copy_options::overwrite_existing);
    platform::postMessage(window, SM_OPEN_EXPERIMENT, 0, 0, std::string("after"));
    QTest::qWait(100);
    ASSERT_EQ(Experiment().experimentName, "after");
    s.post(CM_START_SIMULATION);
    ASSERT_TRUE(s.waitForRunEnd());
    EXPECT_EQ(s.window().shownStatusText().rfind("Simulation finished.", 0), 0u)
        << s.window().shownStatusText() << "\n" << testing::PrintToString(s.boxes().transcriptLines());
    for (const char* name : {"fuzz", "after"})
        for (const char* extension : {".p", ".r", ".u", ".mr", ".n", ".wmf", ".png"})
            platform::deleteFile(experiments + "/" + name + extension);
    platform::deleteFile(simtest::ProcessedExamples().models + "/divz1/fuzz.png");
}
