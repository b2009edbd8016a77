// The graph editor's main window offscreen: its start, menus and tool bar
// following the editor's state, the suite's messages, the canvas pop-up,
// printing and help, and the real model processor and C-code module driven
// from it.
#include "grapheditor/program/main_window.h"
#include "grapheditor/program/tests/main_window_fixture.h"

#include "common/tests/refused_settings.h"
#include "grapheditor/program/graph_editor_app.h"

#include "grapheditor/program/model_commands.h"
#include "grapheditor/program/navigation.h"
#include "grapheditor/program/processing_handoff.h"
#include "grapheditor/program/selection.h"

#include "codegen/tests/program_runner.h"
#include "common/about_dialog.h"
#include "common/about_texts.h"
#include "common/canvas_window.h"
#include "common/launcher.h"
#include "common/name_chooser.h"
#include "common/name_chooser_dialog.h"
#include "common/settings_table.h"
#include "common/startup.h"
#include "grapheditor/graph_model_reader.h"
#include "grapheditor/graph_objects.h"
#include "platform/core/choosers.h"
#include "platform/core/file_system.h"
#include "platform/core/message_numbers.h"
#include "platform/core/message_sink.h"
#include "platform/core/program_start.h"
#include "platform/core/window_messages.h"
#include "platform/core/window_registry.h"
#include "common/tests/clipped_controls.h"
#include "platform/qt/help.h"
#include "platform/testing/help_pages.h"
#include "platform/testing/qt_support.h"
#include "platform/testing/temp_dir.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QToolBar>

#include <csignal>
#include <filesystem>
#include <cstdlib>
#include <functional>

using testsupport::findCommand;
using testsupport::findControl;

using editortest::MainWindow;
using editortest::waitUntil;

TEST_F(MainWindow, StartsWithItsMenusToolBarAndStartUpBoxAndGreysWhatNoModelAllows)
{
    startWindow();
    EXPECT_EQ(platform::findWindowByClass("TQNBGEWindow"), window->handle());
    EXPECT_EQ(window->windowTitle().toStdString(), "Orvanta  Graph Editor");
    EXPECT_EQ(window->menuBar()->objectName().toStdString(), "MN_QNBGE");
    EXPECT_TRUE(testsupport::showsWindowIcon(*window, "IC_QNBGE22"));
    ASSERT_NE(StartupBox(), nullptr);
    EXPECT_TRUE(StartupBox()->isVisible());
    EXPECT_EQ(CurrentMessageOwner(), window->handle());

    QStringList entries;
    for (QAction* entry : menuEntries())
        entries << entry->text();
    EXPECT_EQ(entries.join('|').toStdString(), "&File|&View|&Edit|P&roperties|&Process|&Simulation|&Window|&Help");
    // No model: the Process menu and Simulation are greyed, File stays.
    EXPECT_TRUE(menuEntries()[0]->isEnabled());
    EXPECT_FALSE(menuEntries()[4]->isEnabled());
    EXPECT_FALSE(menuEntries()[5]->isEnabled());
    EXPECT_TRUE(enabled(CM_OPEN));
    EXPECT_FALSE(enabled(CM_SAVE));
    EXPECT_FALSE(enabled(CM_MODEL_PROPERTIES));
    ASSERT_NE(window->toolBar(), nullptr);
    for (int id : {101, 102, 105, 104, 120, 121, 122, 202, 205, 901})
        EXPECT_NE(window->toolBar()->findChild<QWidget*>(QStringLiteral("tool_%1").arg(id)), nullptr) << id;
    EXPECT_FALSE(window->toolAction(CM_SAVE)->isEnabled());
    EXPECT_EQ(findControl<QLabel>(*window, 806)->text().toStdString(), "Snap to Grid");
    testsupport::grabToPng(*window, "grapheditor_started");
    testsupport::grabToPng(*StartupBox(), "grapheditor_startup_box");
    EXPECT_EQ(testsupport::clippedControls(*StartupBox()), std::vector<std::string>{}) << "grapheditor_startup_box";

    // Timer 100 closes the start-up box after three seconds.
    EXPECT_TRUE(waitUntil([] { return StartupBox() == nullptr; }, 5000));
}

TEST_F(MainWindow, OpenModelFindsTheModelInTheSecondDirectoryAndEnablesItsCommands)
{
    copyExample("msd1.mg0", more, "pump1.mgg");
    startWindow();
    post(UM_OPEN_MODEL, 0, std::string("pump1"));
    EXPECT_EQ(Editor().modelName, "pump1");
    EXPECT_EQ(window->windowTitle().toStdString(), "Orvanta  Graph Editor - pump1");
    EXPECT_EQ(CurrentModel().submodels.size(), 5u);
    EXPECT_FALSE(platform::fileExists(models + "/pump1.mgg"));
    for (int position = 0; position < 8; ++position)
        EXPECT_TRUE(menuEntries()[position]->isEnabled()) << position;
    EXPECT_TRUE(enabled(CM_SAVE));
    EXPECT_TRUE(enabled(CM_CAUSAL_ANALYSIS));
    EXPECT_FALSE(enabled(CM_SHOW_SUBMODEL));
    EXPECT_FALSE(enabled(CM_SHOW_PARENT));
    EXPECT_FALSE(enabled(CM_UNDO));

    post(UM_STATUS_TEXT, 0, std::string("Simulator started."));
    EXPECT_EQ(window->shownStatusText(), "Simulator started.");
    // A message without its text does nothing.
    post(UM_OPEN_MODEL, 0);
    EXPECT_EQ(Editor().modelName, "pump1");
}

// A name from the command line or a message that no model's files can have is refused by its
// name, and never cut into the name of another model, which would be opened and saved over.
TEST_F(MainWindow, AModelNameBeyondTheFileNameRuleIsRefusedFromTheCommandLineAndMessages)
{
    copyExample("msd1.mg0", models, "longmodelname.mgg");
    copyExample("msd1.mg0", more, "pump1.mgg");
    startWindow("-model longmodelnameb");
    EXPECT_EQ(Editor().modelName, "");
    EXPECT_EQ(sink.transcriptLines(), (std::vector<std::string>{"The model name longmodelnameb is longer than 7 "
                                                                "characters and a version digit."}));
    sink.clear();
    post(UM_OPEN_MODEL, 0, std::string("../more/pump1"));
    EXPECT_EQ(Editor().modelName, "");
    EXPECT_EQ(sink.transcriptLines(), (std::vector<std::string>{"The model name ../more/pump1 holds a character other "
                                                                "than a letter, a digit or '_' at position 1."}));
    EXPECT_EQ(window->windowTitle().toStdString(), "Orvanta  Graph Editor");
}

TEST_F(MainWindow, ARightClickSelectsWhatIsUnderItThenShowsThePopUpUnlessMinimised)
{
    copyExample("mload1.mg0", models, "mload1.mg0");
    copyExample("dcm1.sg0", models, "dcm1.sg0");
    startWindow("-model mload1");
    ASSERT_EQ(Editor().modelName, "mload1");
    Submodel* drive = submodel("drive");
    ASSERT_NE(drive, nullptr);

    auto popupShown = [] {
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (qobject_cast<QMenu*>(widget) && widget->isVisible())
                return qobject_cast<QMenu*>(widget);
        return static_cast<QMenu*>(nullptr);
    };
    int x = drive->x - window->canvas().Scroller()->xPos();
    int y = drive->y - window->canvas().Scroller()->yPos();
    canvasMessage(platform::WM_RBUTTONDOWN, x, y);
    EXPECT_EQ(selected_submodel(), drive);
    EXPECT_EQ(Editor().machine.state(), STATE_NAMED_SELECTION);
    QMenu* popup = nullptr;
    ASSERT_TRUE(waitUntil([&] { return (popup = popupShown()) != nullptr; }, 3000));
    QStringList items;
    for (QAction* action : popup->actions())
        items << action->text() + (action->isEnabled() ? "" : "-");
    EXPECT_EQ(items.join('|').toStdString(),
              "Attributes|Connections|Show Parent-|Show Submodel|C-Code Generation|Print");
    testsupport::grabToPng(*window, "grapheditor_selected");

    // Show Submodel from the pop-up, then Show Parent from the tool bar: the chain comes and goes.
    QAction* showSubmodel = popup->actions()[3];
    showSubmodel->trigger();
    popup->close();
    EXPECT_EQ(Editor().modelName, "dcm1");
    testsupport::grabToPng(*window, "grapheditor_submodel");
    EXPECT_TRUE(enabled(CM_SHOW_PARENT));
    EXPECT_FALSE(menuEntries()[5]->isEnabled()) << "a submodel is not simulated";
    EXPECT_FALSE(enabled(CM_COMPLETE_PROCESSING));
    window->toolAction(CM_SHOW_PARENT)->trigger();
    EXPECT_EQ(Editor().modelName, "mload1");
    EXPECT_FALSE(enabled(CM_SHOW_PARENT));

    // Minimised, a right click still selects but shows no pop-up.
    QTest::qWait(50);
    window->showMinimized();
    QTest::qWait(50);
    if (window->isMinimized()) {
        drive = submodel("drive");
        canvasMessage(platform::WM_RBUTTONDOWN, drive->x - window->canvas().Scroller()->xPos(),
                      drive->y - window->canvas().Scroller()->yPos());
        EXPECT_EQ(selected_submodel(), drive);
        QTest::qWait(100);
        EXPECT_EQ(popupShown(), nullptr);
        EXPECT_EQ(window->windowTitle().toStdString(), "mload1");
    }
}

TEST_F(MainWindow, CheckAndSaveWritesTheCheckedFileAndCausalAnalysisShowsTheProcessorsStrokes)
{
    copyExample("msd1.mg0", models, "pump1.mgg");
    startWindow("-model pump1");
    ASSERT_EQ(Editor().modelName, "pump1");
    command(CM_CHECK_SAVE)->trigger();
    EXPECT_TRUE(platform::fileExists(models + "/pump1.mg0"));
    EXPECT_FALSE(platform::fileExists(models + "/pump1.mgg"));
    EXPECT_EQ(window->shownStatusText(), "Graphical info and Keldor saved.");

    command(CM_CAUSAL_ANALYSIS)->trigger();
    ASSERT_TRUE(processed("Causal analysis completed succesfully.")) << window->shownStatusText();
    EXPECT_TRUE(sink.transcript().empty()) << sink.transcriptLines().front();
    EXPECT_TRUE(AnnotationPresent());
    int strokes = 0;
    for (const Connection& c : CurrentModel().connections)
        strokes += c.computedCausality == 1 || c.computedCausality == 2;
    EXPECT_EQ(strokes, 4);
    EXPECT_TRUE(platform::fileExists(models + "/pump1.t2"));
    // Causal analysis only: no code file.
    EXPECT_FALSE(platform::fileExists(models + "/pump1.l"));
    EXPECT_EQ(Editor().machine.state(), STATE_NAMED);
    testsupport::grabToPng(*window, "grapheditor_causality");
}

TEST_F(MainWindow, CausalAnalysisWithTheExampleSettingsDrawsTheStrokes)
{
    // The examples as they are shipped: their settings keep no temporary files and name the
    // models' folder ".", where the editor is started.
    namespace fs = std::filesystem;
    const std::string examples = dir.mkdir("examples");
    fs::copy(ORVANTA_MODELS_DIR, examples + "/models", fs::copy_options::recursive);
    fs::copy(ORVANTA_LIBRARY_DIR, examples + "/library", fs::copy_options::recursive);
    testsupport::ScopedCurrentDirectory inModels(examples + "/models");
    settings = "orvanta.ini";
    startWindow("-model msd1");
    ASSERT_EQ(Settings().tempfiles, 0);
    ASSERT_EQ(Editor().modelName, "msd1");

    command(CM_CAUSAL_ANALYSIS)->trigger();
    ASSERT_TRUE(processed("Causal analysis completed succesfully.")) << window->shownStatusText();
    EXPECT_EQ(sink.transcriptLines(), std::vector<std::string>{});
    EXPECT_TRUE(AnnotationPresent());
    int strokes = 0;
    for (const Connection& c : CurrentModel().connections)
        strokes += c.computedCausality == 1 || c.computedCausality == 2;
    EXPECT_EQ(strokes, int(CurrentModel().connections.size())) << "every bond of the example gets its stroke";
    EXPECT_EQ(strokes, 4);
    // The example's processor keeps its log open until it is asked to close it.
    CloseProcessorLog();
    EXPECT_TRUE(waitUntil([] { return IsProcessorLogClosed() == 1; }));
}

TEST_F(MainWindow, CCodeOfTheProcessedModelIsGeneratedCompiledAndRunFromTheEditor)
{
    copyExample("msd1.mg0", models, "msd1.mgg");
    startWindow("-model msd1");
    command(CM_COMPLETE_PROCESSING)->trigger();
    ASSERT_TRUE(processed("Model processing completed succesfully.")) << window->shownStatusText();
    ASSERT_TRUE(platform::fileExists(models + "/msd1.e"));
    EXPECT_TRUE(ModelProcessed());

    const std::string out = dir.mkdir("program");
    bool ownedByEditor = false;
    std::string model;
    testsupport::answerNextModal([&](QWidget& modal) {
        ownedByEditor = modal.window() != &modal ? modal.window() == window.get() : modal.parentWidget() != nullptr;
        model = findControl<QLineEdit>(modal, 1005)->text().toStdString();
        findControl<QRadioButton>(modal, 1008)->click();
        findControl<QRadioButton>(modal, 1018)->click();
        findControl<QLineEdit>(modal, 1011)->setText(QString::fromStdString(out));
        findControl<QPushButton>(modal, 1012)->click();
        static_cast<QDialog&>(modal).reject();
    });
    command(CM_CCODE)->trigger();
    EXPECT_TRUE(ownedByEditor);
    EXPECT_EQ(model, "msd1");
    std::vector<std::string> headings;
    for (const platform::MessageBoxRequest& box : sink.transcript())
        headings.push_back(box.lines.front());
    // The editor names no experiment: the generator warns and writes the program with its defaults.
    EXPECT_EQ(headings,
              (std::vector<std::string>{"Could not open the experiment", "Stand-alone code generated successfully"}));

    const codegentest::ProgramRun run = codegentest::compileAndRun(out, codegentest::kStrictFlags);
    EXPECT_EQ(run.compileStatus, 0) << run.compileOutput;
    EXPECT_EQ(run.runStatus, 0) << run.errors;
    EXPECT_FALSE(run.blocks.empty());

    // Without the module the editor says so and goes on.
    sink.clear();
    Startup().InstallDirectory = dir.mkdir("empty");
    command(CM_CCODE)->trigger();
    ASSERT_FALSE(sink.transcript().empty());
    EXPECT_EQ(sink.transcript().front().lines.front(), "Could not load 'orvantacod.so'");
    EXPECT_TRUE(enabled(CM_SAVE));
    command(CM_REDRAW_ALL)->trigger();
    EXPECT_EQ(Editor().machine.state(), STATE_NAMED);

    // A module without the entry is corrupt; the editor says so and goes on.
    sink.clear();
    const std::string corrupt = dir.mkdir("corrupt");
    std::filesystem::copy_file(BARE_LIBRARY_PATH, corrupt + "/orvantacod.so");
    Startup().InstallDirectory = corrupt;
    command(CM_CCODE)->trigger();
    ASSERT_FALSE(sink.transcript().empty());
    EXPECT_EQ(sink.transcript().front().lines.front(), "DLL 'orvantacod.so' is corrupt");
    EXPECT_TRUE(enabled(CM_CCODE));
    EXPECT_EQ(Editor().machine.state(), STATE_NAMED);
}

TEST_F(MainWindow, ASecondRunWaitsUntilTheFirstProcessorsLogHasClosed)
{
    writeSettings(1, 1);
    copyExample("msd1.mg0", models, "msd1.mgg");
    startWindow("-model msd1");
    command(CM_CAUSAL_ANALYSIS)->trigger();
    ASSERT_TRUE(processed("Causal analysis completed succesfully."));
    // The processor waits with its log open.
    const platform::WindowHandle log = ProcessorLogWindow();
    ASSERT_NE(log, 0u);
    EXPECT_TRUE(platform::isWindow(log));

    command(CM_COMPLETE_PROCESSING)->trigger();
    platform::dispatchPendingMessages();
    EXPECT_EQ(Editor().waitingCommand, std::optional<int>(PROCESS_COMPLETE));
    // The log is asked to close; the processor's exit lets the waiting run start.
    ASSERT_TRUE(processed("Model processing completed succesfully."));
    EXPECT_TRUE(platform::fileExists(models + "/msd1.l"));
    EXPECT_FALSE(platform::isWindow(log));
    EXPECT_FALSE(Editor().waitingCommand);
    CloseProcessorLog();
    EXPECT_TRUE(waitUntil([] { return IsProcessorLogClosed() == 1; }));
}

namespace {

/// The log windows that processes other than this one show now.
int logWindowsOfOtherProcesses()
{
    int count = 0;
    for (const platform::RegisteredWindow& window : platform::liveRegisteredWindows())
        count += window.className == "TQNLogWindow" && platform::windowProcess(window.handle) != ::getpid();
    return count;
}

} // namespace

TEST_F(MainWindow, OneProcessorRunsAtATimeAndTheEditorClosesItWhenItCloses)
{
    // Processors a failed step leaves behind end with the test.
    struct EndLeftProcessors {
        ~EndLeftProcessors()
        {
            for (pid_t pid : testsupport::processesWithWindow("TQNMPX")) {
                ::kill(pid, SIGKILL);
                platform::waitForProgram(pid, 5000);
            }
        }
    } leftProcessors;
    writeSettings(1, 0);
    copyExample("msd1.mg0", models, "msd1.mgg");
    startWindow("-model msd1");
    command(CM_CAUSAL_ANALYSIS)->trigger();
    ASSERT_TRUE(processed("Causal analysis completed succesfully."));
    const platform::WindowHandle firstLog = ProcessorLogWindow();
    ASSERT_TRUE(platform::isWindow(firstLog));
    const pid_t first = platform::windowProcess(firstLog);

    // The C code asks for complete processing first; its dialog is left with Escape.
    bool generatorShown = false;
    testsupport::answerNextModal(
        [&](QWidget& modal) {
            generatorShown = true;
            QTest::keyClick(&modal, Qt::Key_Escape);
        },
        60000);
    command(CM_CCODE)->trigger();
    ASSERT_TRUE(waitUntil([&] { return generatorShown; }, 60000));
    command(CM_COMPLETE_PROCESSING)->trigger();
    ASSERT_TRUE(waitUntil([&] { return !Editor().waitingCommand && platform::isWindow(ProcessorLogWindow()) &&
                                       ProcessorLogWindow() != firstLog; }, 60000));
    ASSERT_TRUE(processed("Model processing completed succesfully."));
    EXPECT_TRUE(platform::waitForProgram(first, 10000)) << "the first processor is still running";
    const pid_t last = platform::windowProcess(ProcessorLogWindow());
    EXPECT_EQ(testsupport::processesWithWindow("TQNMPX"), std::vector<pid_t>{last});
    EXPECT_EQ(logWindowsOfOtherProcesses(), 1);

    // The editor takes its processor with it.
    window->close();
    EXPECT_TRUE(platform::waitForProgram(last, 10000)) << "the processor outlived the editor";
    EXPECT_EQ(testsupport::processesWithWindow("TQNMPX"), std::vector<pid_t>{});
}

TEST_F(MainWindow, PrintingWritesThePdfAndAboutShowsTheProgramsTitle)
{
    copyExample("msd1.mg0", models, "msd1.mgg");
    startWindow("-model msd1");
    platform::PrinterSettings paper = platform::PrinterSettings::defaults();
    paper.outputFile = dir.file("msd1.pdf");
    choosers.answerPrinter(paper);
    command(CM_PRINT)->trigger();
    EXPECT_TRUE(platform::fileExists(paper.outputFile));

    command(CM_HELP_ABOUT)->trigger();
    ASSERT_NE(AboutBox(), nullptr);
    EXPECT_TRUE(AboutBox()->isVisible());
    EXPECT_EQ(AboutBoxTexts().lines[0], "Orvanta  Graph Editor");
    testsupport::grabToPng(*AboutBox(), "grapheditor_about");
    EXPECT_EQ(testsupport::clippedControls(*AboutBox()), std::vector<std::string>{}) << "grapheditor_about";
    AboutBox()->endDialog(platform::IDCANCEL);
}

TEST_F(MainWindow, EveryHelpCommandOpensAnInstalledPageAtTheAnchorItAsks)
{
    startWindow();
    testsupport::NoBrowser browser;
    std::vector<std::string> shown;
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    QTest::keyClick(window.get(), Qt::Key_F1);
    shown.push_back(testsupport::shownHelpPlace());
    for (int id : {CM_HELP_DEMO, CM_HELP_TUTORIAL, CM_HELP_USING}) {
        command(id)->trigger();
        shown.push_back(testsupport::shownHelpPlace());
    }
    EXPECT_EQ(testsupport::helpCommandProblems(shown, ORVANTA_BIN_DIR, 2), std::vector<std::string>{})
        << testing::PrintToString(sink.transcriptLines());
    EXPECT_TRUE(browser.opened.empty());
    EXPECT_TRUE(sink.transcript().empty());
    // Closing the editor closes its help.
    window->close();
    EXPECT_EQ(testsupport::shownHelpPlace(), "(no help window)");
}

TEST_F(MainWindow, PrintingDrawsTheSymbolsAsVectorsIntoAFileNamedAfterTheModelAndAsksBeforeReplacingOne)
{
    copyExample("msd1.mg0", models, "msd1.mgg");
    startWindow("-model msd1");

    // The file proposed is named after the model, in the model's folder; the user takes it.
    platform::PrinterSettings paper = platform::PrinterSettings::defaults();
    paper.outputFile = models + "/msd1.pdf";
    choosers.answerPrinter(paper);
    command(CM_PRINT)->trigger();
    ASSERT_EQ(choosers.transcript().size(), 1u);
    EXPECT_EQ(choosers.transcript()[0].printer.settings.outputFile, paper.outputFile);
    const std::string printed = testsupport::readText(paper.outputFile);
    ASSERT_FALSE(printed.empty());
    // Every element symbol is drawn as lines and letters: the page holds no picture.
    EXPECT_EQ(printed.find("/Subtype /Image"), std::string::npos);
    EXPECT_TRUE(sink.transcript().empty());

    // Printing again to that file asks first; Cancel, the default, leaves it as it was.
    ASSERT_TRUE(platform::writeFileAtomically(paper.outputFile, "the earlier printout"));
    sink.queueAnswers({platform::BoxAnswer::Cancel});
    choosers.answerPrinter(paper);
    command(CM_PRINT)->trigger();
    ASSERT_EQ(sink.transcript().size(), 1u);
    EXPECT_EQ(sink.transcript()[0].lines,
              (std::vector<std::string>{paper.outputFile, "File exists. OK to overwrite?"}));
    EXPECT_EQ(sink.transcript()[0].okLabel, "Overwrite");
    EXPECT_TRUE(sink.transcript()[0].cancelIsDefault);
    EXPECT_EQ(testsupport::readText(paper.outputFile), "the earlier printout");
    sink.queueAnswers({platform::BoxAnswer::Ok});
    choosers.answerPrinter(paper);
    command(CM_PRINT)->trigger();
    EXPECT_NE(testsupport::readText(paper.outputFile), "the earlier printout");

    // A folder chosen once is kept; the name follows the model shown.
    paper.outputFile = dir.mkdir("prints") + "/first.pdf";
    choosers.answerPrinter(paper);
    command(CM_PRINT)->trigger();
    ASSERT_TRUE(platform::fileExists(paper.outputFile));
    choosers.clear();
    command(CM_PRINT)->trigger();
    ASSERT_EQ(choosers.transcript().size(), 1u);
    EXPECT_EQ(choosers.transcript()[0].printer.settings.outputFile, dir.file("prints") + "/msd1.pdf");
}

// Before anything was printed, Print and Printer Setup propose the file named after the model
// in its folder: the first model directory for a new one, the folder a model was opened from.
// (An empty untitled model has nothing to print.)
TEST_F(MainWindow, TheFirstPrintFileIsProposedInTheModelsFolder)
{
    copyExample("msd1.mg0", more, "msd1.mg0");
    const std::optional<platform::PrinterSettings> cancelled;
    struct Case {
        const char* tail;
        int command;
        std::string proposed;
    } cases[] = {
        {"-model new1", CM_PRINTER_SETUP, models + "/new1.pdf"},
        {"-model new1", CM_PRINT, models + "/new1.pdf"},
        {"-model msd1", CM_PRINT, more + "/msd1.pdf"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.proposed);
        window.reset();
        ResetEditor();
        startWindow(c.tail);
        choosers.clear();
        choosers.answerPrinter(cancelled);
        command(c.command)->trigger();
        ASSERT_EQ(choosers.transcript().size(), 1u);
        EXPECT_EQ(choosers.transcript()[0].printer.settings.outputFile, c.proposed);
    }
    EXPECT_TRUE(sink.transcript().empty()) << testing::PrintToString(sink.transcriptLines());
}

TEST_F(MainWindow, PrintSaysWhenTheFileCannotBeWrittenAndNothingWhenCancelled)
{
    copyExample("msd1.mg0", models, "msd1.mgg");
    startWindow("-model msd1");
    ASSERT_TRUE(platform::writeFileAtomically(dir.file("plain"), "not a folder"));
    platform::PrinterSettings unwritable = platform::PrinterSettings::defaults();
    unwritable.outputFile = dir.file("plain") + "/msd1.pdf";
    const std::optional<platform::PrinterSettings> cancelled;
    struct Case {
        std::optional<platform::PrinterSettings> chosen;
        std::vector<std::string> said;
    } cases[] = {
        {unwritable, {"Printing is not possible.", unwritable.outputFile}},
        {cancelled, {}},
    };
    for (const Case& c : cases) {
        sink.clear();
        choosers.clear();
        choosers.answerPrinter(c.chosen);
        command(CM_PRINT)->trigger();
        EXPECT_EQ(choosers.transcript().size(), 1u) << "the print dialog asked";
        EXPECT_EQ(sink.transcriptLines(), c.said);
        EXPECT_FALSE(platform::fileExists(unwritable.outputFile));
    }
}

TEST_F(MainWindow, ClosingAnEditedModelAsksFirstAndCancelKeepsTheWindow)
{
    copyExample("msd1.mg0", models, "msd1.mgg");
    startWindow("-model msd1");
    SetEdited();
    EXPECT_EQ(window->windowTitle().toStdString(), "Orvanta  Graph Editor - msd1 (edited)");
    sink.queueAnswers({platform::BoxAnswer::Cancel});
    EXPECT_FALSE(window->close());
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(sink.transcript().back().lines.front(), "The model in the Bond-Graph Editor has been edited.");
    sink.queueAnswers({platform::BoxAnswer::Ok});
    command(CM_EXIT)->trigger();
    EXPECT_FALSE(window->isVisible());
}

// A device, a pipe, a directory or a file over the bound as the settings file: the program
// names it, asks, and ends or goes on as the user answers.
TEST_F(MainWindow, ASettingsFileThatIsNoRegularFileOfItsSizeIsRefusedByName)
{
    std::unique_ptr<TQNBGEApp> app;
    testsupport::expectRefusedSettingsFiles(
        dir, sink,
        [&](const std::vector<std::string>& words) {
            app = std::make_unique<TQNBGEApp>(testsupport::testApplication(), words);
            return app->InitMainWindow();
        },
        [&] {
            app.reset();
            CloseStartupBox();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            ResetEditor();
            ResetSettings();
            ResetStartup();
        });
}

TEST_F(MainWindow, TheRealProgramOpensAndProcessesAModelItIsSent)
{
    copyExample("msd1.mg0", more, "msd1.mgg");
    std::optional<pid_t> pid = platform::startProgram(ORVANTA_BIN_DIR "/orvanta", {"-rc_file", settings});
    ASSERT_TRUE(pid);
    platform::WindowHandle editor = 0;
    ASSERT_TRUE(waitUntil([&] { return (editor = platform::findWindowByClass("TQNBGEWindow")) != 0; }));
    EXPECT_EQ(platform::windowProcess(editor), *pid);
    ASSERT_TRUE(platform::postMessage(editor, UM_OPEN_MODEL, 0, 0, std::string("msd1")));
    ASSERT_TRUE(platform::postMessage(editor, UM_PROCESS_MODEL, PROCESS_COMPLETE, 0));
    // It saves the model in the first directory and has the processor write the code file there.
    EXPECT_TRUE(waitUntil([&] { return platform::fileExists(models + "/msd1.l"); }, 60000));
    EXPECT_TRUE(platform::fileExists(models + "/msd1.mg3"));
    ASSERT_TRUE(platform::requestCloseWindow(editor));
    std::optional<int> status = platform::waitForProgram(*pid, 20000);
    if (!status) {
        kill(*pid, SIGKILL);
        platform::waitForProgram(*pid, 5000);
    }
    ASSERT_TRUE(status);
    EXPECT_TRUE(WIFEXITED(*status));
    EXPECT_EQ(WEXITSTATUS(*status), 0);
}

TEST_F(MainWindow, DelDeletesTheSelectedBondAndTheGreyedEditKeysDoNothing)
{
    copyExample("msd1.mg0", models, "msd1.mgg");
    startWindow("-model msd1");
    ASSERT_EQ(CurrentModel().connections.size(), 4u);
    // The bond from f (40, 100) to v (160, 100), clicked half way.
    canvasMessage(platform::WM_LBUTTONDOWN, 100 - window->canvas().Scroller()->xPos(),
                  100 - window->canvas().Scroller()->yPos());
    ASSERT_EQ(selection_kind(), SELECT_CONNECTION);
    EXPECT_TRUE(enabled(CM_DELETE));
    EXPECT_TRUE(enabled(CM_ATTRIBUTES));
    EXPECT_FALSE(enabled(CM_CONNECTIONS));

    CloseStartupBox();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    QTest::keyClick(window.get(), Qt::Key_Delete, Qt::ShiftModifier);
    QTest::keyClick(window.get(), Qt::Key_Backspace, Qt::AltModifier);
    EXPECT_EQ(CurrentModel().connections.size(), 4u);
    QTest::keyClick(window.get(), Qt::Key_Delete);
    EXPECT_EQ(CurrentModel().connections.size(), 3u);
    EXPECT_EQ(has_selection(), 0);
    EXPECT_EQ(window->windowTitle().toStdString(), "Orvanta  Graph Editor - msd1 (edited)");
    EXPECT_EQ(Editor().machine.state(), STATE_NAMED);
}

TEST_F(MainWindow, ChangedSettingsAreReadAgain)
{
    startWindow();
    EXPECT_EQ(Settings().grid, 1);
    ASSERT_TRUE(platform::writeFileAtomically(settings, testsupport::readText(settings) + "\n"));
    std::string text = testsupport::readText(settings);
    text.replace(text.find("grid=1"), 6, "grid=0");
    ASSERT_TRUE(platform::writeFileAtomically(settings, text));
    post(UM_SETTINGS_CHANGED, 0);
    EXPECT_EQ(Settings().grid, 0);
}

TEST_F(MainWindow, MenuHintsPassOverTheKeptStatusTextAndLeaveItWhenTheMenuCloses)
{
    copyExample("msd1.mg0", models, "msd1.mgg");
    startWindow("-model msd1");
    post(UM_STATUS_TEXT, 0, std::string("Model saved."));
    QMenu* process = window->menuBar()->actions()[4]->menu();
    ASSERT_NE(process, nullptr);
    process->popup(window->mapToGlobal(QPoint(200, 30)));
    ASSERT_TRUE(waitUntil([&] { return process->isVisible(); }, 3000));
    command(CM_CAUSAL_ANALYSIS)->hover();
    EXPECT_EQ(window->shownStatusText(), "Perform a causal analysis on the current model");
    command(CM_CCODE)->hover();
    EXPECT_EQ(window->shownStatusText(), "Generate C-Code for main model, or submodel");
    process->close();
    EXPECT_EQ(window->shownStatusText(), "Model saved.");
    EXPECT_EQ(Editor().statusText, "Model saved.");
}

// A damaged graph model file opened without a word, showed what it could read and marked it
// edited. Opened through the chooser, it is refused by a box that names the file, the line
// and the token, and the model shown stays as it was; a file whose drawing alone is out of
// range opens, unedited, with a box that says so.
TEST_F(MainWindow, ADamagedModelFileIsRefusedByFileLineAndTokenAndTheModelShownStays)
{
    copyExample("msd1.mg0", models, "msd1.mg0");
    const std::string msd = testsupport::readText(std::string(ORVANTA_MODELS_DIR) + "/msd1.mg0");
    const std::string cut = msd.substr(0, msd.find("!gri_bond") + 6);
    ASSERT_TRUE(platform::writeFileAtomically(models + "/cut1.mg0", cut));
    std::string wide = msd;
    wide.replace(wide.find("1500 1000"), 9, "1500 99999999999");
    ASSERT_TRUE(platform::writeFileAtomically(models + "/wide1.mg0", wide));
    startWindow("-model msd1");
    ASSERT_EQ(Editor().modelName, "msd1");
    const std::size_t submodels = CurrentModel().submodels.size();
    sink.clear();
    // File > Open, the name typed into the chooser's form and confirmed.
    const auto openThroughTheChooser = [&](const std::string& name) {
        QWidget* chooser = openChooser();
        ASSERT_NE(chooser, nullptr);
        findControl<QLineEdit>(*chooser, ID_CHOOSER_NAME)->setText(QString::fromStdString(name));
        findControl<QPushButton>(*chooser, ID_CHOOSER_OK)->click();
    };

    openThroughTheChooser("cut1");
    ASSERT_EQ(sink.transcript().size(), 1u);
    EXPECT_EQ(sink.transcript()[0].lines,
              (std::vector<std::string>{"The model file can not be read:", models + "/cut1.mg0",
                                        "syntax error in line 12: !gri_b", "The model is not opened."}));
    EXPECT_EQ(window->windowTitle().toStdString(), "Orvanta  Graph Editor - msd1");
    EXPECT_EQ(CurrentModel().submodels.size(), submodels);
    EXPECT_EQ(CurrentModel().edited, 0);
    EXPECT_EQ(window->shownStatusText(), "syntax error in line 12: !gri_b");
    EXPECT_EQ(Editor().machine.state(), STATE_NAMED);

    sink.clear();
    openThroughTheChooser("wide1");
    ASSERT_EQ(sink.transcript().size(), 1u);
    EXPECT_EQ(sink.transcript()[0].lines.at(0), "The drawing in the model file is damaged:");
    EXPECT_EQ(sink.transcript()[0].lines.at(2), "graphics number out of range in line 4: 99999999999");
    EXPECT_EQ(window->windowTitle().toStdString(), "Orvanta  Graph Editor - wide1");
    EXPECT_EQ(CurrentModel().submodels.size(), submodels);
    EXPECT_EQ(CurrentModel().edited, 0);
    testsupport::grabToPng(*window, "grapheditor_damaged_drawing_opened");
}

TEST_F(MainWindow, OpenShowsTheChooserOverTheModelDirectoriesAndOpensTheNameChosen)
{
    copyExample("msd1.mg0", more, "pump1.mgg");
    startWindow();
    QWidget* chooser = openChooser();
    ASSERT_NE(chooser, nullptr);
    EXPECT_EQ(chooser->windowTitle().toStdString(), "Open model");
    // The second directory lists the model; picked and confirmed, it is opened from there.
    auto* category = findControl<QComboBox>(*chooser, ID_CHOOSER_CATEGORY);
    ASSERT_NE(category, nullptr);
    ASSERT_GE(category->count(), 2);
    EXPECT_EQ(category->itemText(1).toStdString(), "more");
    category->setCurrentIndex(1);
    emit category->activated(1);
    auto* names = findControl<QListWidget>(*chooser, ID_CHOOSER_LIST);
    ASSERT_NE(names, nullptr);
    ASSERT_EQ(names->count(), 1);
    EXPECT_EQ(names->item(0)->text().toStdString(), "pump1");
    testsupport::grabToPng(*chooser, "grapheditor_open_chooser");
    EXPECT_EQ(testsupport::clippedControls(*chooser), std::vector<std::string>{}) << "grapheditor_open_chooser";
    names->setCurrentRow(0);
    EXPECT_EQ(findControl<QLineEdit>(*chooser, ID_CHOOSER_NAME)->text().toStdString(), "pump1");
    findControl<QPushButton>(*chooser, ID_CHOOSER_OK)->click();
    EXPECT_EQ(Editor().modelName, "pump1");
    EXPECT_EQ(CurrentModel().submodels.size(), 5u);
    EXPECT_FALSE(platform::fileExists(models + "/pump1.mgg"));
    EXPECT_EQ(window->windowTitle().toStdString(), "Orvanta  Graph Editor - pump1");
}

TEST_F(MainWindow, TheOpenChooserKeepsTheWindowFromInputAndStaysOverItWhenTheWindowIsRaised)
{
    copyExample("msd1.mg0", models, "pump1.mgg");
    startWindow();
    CloseStartupBox();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    ASSERT_TRUE(testsupport::menuOpensOnClick(*window)) << "the menus answer a click before the chooser opens";

    command(CM_OPEN)->trigger();
    TQNFileDialog* chooser = NameChooserWindow();
    ASSERT_NE(chooser, nullptr);
    ASSERT_TRUE(chooser->isVisible());
    EXPECT_EQ(QApplication::activeModalWidget(), chooser);
    EXPECT_FALSE(testsupport::menuOpensOnClick(*window)) << "the menus wait for the chooser's answer";
    // Another program bringing the editor forward does not bury the chooser under it.
    post(platform::PM_SHOW_NORMAL_RAISE, 0);
    EXPECT_TRUE(waitUntil([&] { return QGuiApplication::focusWindow() == chooser->windowHandle(); }, 2000));

    chooser->setText(ID_CHOOSER_NAME, "pump1");
    findControl<QPushButton>(*chooser, ID_CHOOSER_OK)->click();
    EXPECT_EQ(Editor().modelName, "pump1");
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_TRUE(testsupport::menuOpensOnClick(*window));
}

TEST_F(MainWindow, SaveAsOverASubmodelNamesItAndItsUsersAndKeepsItUnlessOverwriteIsPressed)
{
    // The bundled motor and its load: mload1 uses the submodel dcm1, and so does a copy of it.
    for (const char* file : {"dcm1.sg0", "mload1.mg0"})
        copyExample(file, models, file);
    copyExample("mload1.mg0", models, "mload2.mg0");
    startWindow("-model mload1");
    ASSERT_EQ(Editor().modelName, "mload1");
    const std::string submodel = testsupport::readText(models + "/dcm1.sg0");

    // Save As proposes no name of the directory; the user picks the submodel's in the list.
    const auto saveAsProposed = [&] {
        command(CM_SAVE_AS)->trigger();
        TQNFileDialog* chooser = NameChooserWindow();
        EXPECT_NE(chooser, nullptr);
        if (!chooser)
            return;
        EXPECT_EQ(chooser->text(ID_CHOOSER_NAME), "");
        auto* names = findControl<QListWidget>(*chooser, ID_CHOOSER_LIST);
        ASSERT_GT(names->count(), 0);
        EXPECT_EQ(names->item(0)->text().toStdString(), "dcm1");
        names->setCurrentRow(0);
        EXPECT_EQ(chooser->text(ID_CHOOSER_NAME), "dcm1");
        findControl<QPushButton>(*chooser, ID_CHOOSER_OK)->click();
    };
    sink.queueAnswers({platform::BoxAnswer::Cancel});
    saveAsProposed();
    ASSERT_EQ(sink.transcript().size(), 1u);
    const platform::MessageBoxRequest& question = sink.transcript().front();
    EXPECT_EQ(question.lines, (std::vector<std::string>{"Model exists as graph submodel.",
                                                        "These models of its directory use it:", "mload1, mload2.",
                                                        "OK to overwrite?"}));
    EXPECT_EQ(question.okLabel, "Overwrite");
    EXPECT_EQ(question.cancelLabel, "Cancel");
    EXPECT_TRUE(question.cancelIsDefault);
    EXPECT_EQ(testsupport::readText(models + "/dcm1.sg0"), submodel);
    EXPECT_FALSE(platform::fileExists(models + "/dcm1.mgg"));
    EXPECT_EQ(Editor().modelName, "mload1");

    // Overwrite replaces it, as asked.
    sink.clear();
    sink.queueAnswers({platform::BoxAnswer::Ok});
    saveAsProposed();
    EXPECT_FALSE(platform::fileExists(models + "/dcm1.sg0"));
    EXPECT_TRUE(platform::fileExists(models + "/dcm1.mgg"));
    EXPECT_EQ(Editor().modelName, "dcm1");
}

TEST_F(MainWindow, AModelHeldByAnotherEditorIsShownThereAndTheModelHeldHereKeepsItsEdits)
{
    copyExample("msd1.mg0", models, "msd1.mg0");
    ASSERT_TRUE(platform::writeFileAtomically(models + "/vdp1.mf0", "class vdp version 1\n"));
    // An equation editor on the same settings file holds vdp1; its window takes what it is sent.
    std::vector<platform::Message> received;
    const platform::WindowHandle equationEditor =
        platform::createWindow([&](const platform::Message& m) { received.push_back(m); });
    ASSERT_TRUE(platform::registerTopLevelWindow(equationEditor, "TQNEEWindow"));
    startWindow("-model msd1");
    ASSERT_TRUE(platform::setWindowNote(equationEditor, "settings=" + SettingsIdentity() + "\nmodel=vdp1\n"));
    EXPECT_NE(platform::windowNote(window->handle()).find("\nmodel=msd1\n"), std::string::npos)
        << "the editor tells which model it holds";

    // Asked again for msd1 while it holds edits of it, the editor keeps them and asks nothing.
    SetEdited();
    post(UM_OPEN_MODEL, 0, std::string("msd1"));
    EXPECT_EQ(CurrentModel().edited, 1);
    EXPECT_TRUE(sink.transcript().empty()) << sink.transcriptLines().front();
    EXPECT_EQ(window->shownStatusText(), "Model msd1 is open.");
    ClearEdited();

    // Open of vdp1 brings the equation editor forward with it; this editor keeps msd1.
    command(CM_OPEN)->trigger();
    ASSERT_NE(NameChooserWindow(), nullptr);
    NameChooserWindow()->setText(ID_CHOOSER_NAME, "vdp1");
    findControl<QPushButton>(*NameChooserWindow(), ID_CHOOSER_OK)->click();
    QTest::qWait(50);
    EXPECT_EQ(Editor().modelName, "msd1");
    EXPECT_EQ(window->shownStatusText(), "Model vdp1 is open in the Equation Editor.");
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[0].number, platform::PM_SHOW_NORMAL_RAISE);
    EXPECT_EQ(received[1].number, UM_OPEN_MODEL);
    EXPECT_EQ(received[1].text, "vdp1");

    // Save As under its name saves nothing over the other editor's work.
    command(CM_SAVE_AS)->trigger();
    ASSERT_NE(NameChooserWindow(), nullptr);
    NameChooserWindow()->setText(ID_CHOOSER_NAME, "vdp1");
    findControl<QPushButton>(*NameChooserWindow(), ID_CHOOSER_OK)->click();
    EXPECT_EQ(sink.transcriptLines(), (std::vector<std::string>{"Model vdp1 is open in the Equation Editor.",
                                                                "Nothing saved!"}));
    EXPECT_EQ(testsupport::readText(models + "/vdp1.mf0"), "class vdp version 1\n");
    EXPECT_FALSE(platform::fileExists(models + "/vdp1.mgg"));
    EXPECT_EQ(Editor().modelName, "msd1");

    // Once the other editor has let it go, vdp1 is this editor's to take.
    ASSERT_TRUE(platform::setWindowNote(equationEditor, "settings=" + SettingsIdentity() + "\nmodel=\n"));
    sink.clear();
    sink.queueAnswers({platform::BoxAnswer::Ok});
    command(CM_SAVE_AS)->trigger();
    NameChooserWindow()->setText(ID_CHOOSER_NAME, "vdp1");
    findControl<QPushButton>(*NameChooserWindow(), ID_CHOOSER_OK)->click();
    EXPECT_EQ(sink.transcriptLines(), std::vector<std::string>{"Model exists as equation model. OK to overwrite?"});
    EXPECT_EQ(Editor().modelName, "vdp1");
    EXPECT_TRUE(platform::fileExists(models + "/vdp1.mgg"));
    platform::destroyWindow(equationEditor);
}
