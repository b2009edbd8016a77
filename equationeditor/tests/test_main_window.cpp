// The equation editor's main window offscreen: its start, menus, tool bar and
// status line, and the model commands, checks and hand-offs driven from it.
#include "equationeditor/main_window.h"

#include "common/tests/refused_settings.h"
#include "equationeditor/equation_editor_app.h"

#include "equationeditor/editor_state.h"
#include "equationeditor/find_replace_dialog.h"
#include "equationeditor/model_check.h"
#include "equationeditor/model_commands.h"
#include "equationeditor/model_wizard_dialog.h"
#include "equationeditor/processing_requests.h"
#include "equationeditor/template_popup.h"
#include "template_test_support.h"

#include "common/log_window.h"
#include "common/name_chooser_dialog.h"
#include "common/tests/clipped_controls.h"
#include "common/tests/editor_message_storm.h"
#include "common/tests/listed_name.h"
#include "simulator/program/tests/experiment_run.h"
#include "platform/core/program_start.h"

#include "common/settings_table.h"
#include "common/startup.h"
#include "platform/core/choosers.h"
#include "platform/core/file_system.h"
#include "platform/core/message_numbers.h"
#include "platform/core/message_sink.h"
#include "platform/core/window_messages.h"
#include "platform/core/window_registry.h"
#include "platform/qt/help.h"
#include "platform/testing/help_pages.h"
#include "platform/testing/qt_support.h"
#include "platform/testing/temp_dir.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QLabel>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QToolBar>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <functional>

using testsupport::findCommand;
using testsupport::findControl;

namespace {

const std::string kSub = "class x version 1\ninterface\n  inputs: real u\n  outputs: real y\nequations\n  y = 2 * u\n";
const std::string kMain = "# A damped oscillator.\nclass x version 1\nparameters\n  real d\nvariables\n  real p, v\n"
                          "equations\n  v = int(-p - d * v)\n  p = int(v)\n";
const std::string kDeclarationError =
    "class x version 1\ninterface\n  inputs: real u\nvariables\n  reel v\n  real w\nequations\n  w = u\n";

/// Pumps events until the condition holds; false after the time out.
bool waitUntil(const std::function<bool()>& condition, int timeoutMs = 20000)
{
    for (int waited = 0; !condition(); waited += 20) {
        if (waited >= timeoutMs)
            return false;
        QTest::qWait(20);
    }
    return true;
}

class EquationWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        testsupport::testApplication();
        ResetStartup();
        ResetSettings();
        ResetEquationEditor();
        models = dir.mkdir("models");
        library = dir.file("library");
        std::filesystem::copy(ORVANTA_LIBRARY_DIR, library);
        settings = dir.file("orvanta.ini");
        ASSERT_TRUE(platform::writeFileAtomically(
            settings, "[General]\nmodel_dirs=" + models + ";" + library +
                          "\nalias_names=models;library\n"
                          "[Graph Editor]\ndef_bond_size=3\ngrid_snap_size=1\ngrid=1\nsnap=1\nshowname=1\n"
                          "[Equation Editor]\nee_messages=0\n"
                          "[Model Processor]\nmessages=0\ntempfiles=0\n"
                          "[Simulator]\nmode=0\nsim_grid=1\ncolors=1\ndashing=0\nlinewidth=1\nwarp=1\n"));
        // The programs the editor starts are found beside it, as in the installation.
        const char* path = std::getenv("PATH");
        pathVariable.emplace("PATH", (std::string(ORVANTA_BIN_DIR) + ":" + (path ? path : "")).c_str());
    }
    void TearDown() override
    {
        if (window)
            EquationEditor().edited = false;
        window.reset();
        ResetEquationEditor();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        ResetSettings();
        ResetStartup();
    }

    void startWindow(const std::string& tail = {})
    {
        window = std::make_unique<TQNEEWindow>(SplitCommandLine(tail + " -rc_file " + settings));
        window->show();
        ASSERT_TRUE(window->SetupWindow());
    }

    QAction* command(int id) const { return findCommand(*window, id); }
    bool enabled(int id) const { return command(id) && command(id)->isEnabled(); }
    QPlainTextEdit& edit() const { return window->edit(); }

    /// The user replaces the whole text.
    void type(const std::string& text)
    {
        QTextCursor cursor = edit().textCursor();
        cursor.select(QTextCursor::Document);
        cursor.insertText(QString::fromStdString(text));
    }
    /// The user enters the name in the open name chooser and confirms it.
    void chooseName(const std::string& name)
    {
        TQNFileDialog* chooser = NameChooserWindow();
        ASSERT_NE(chooser, nullptr);
        chooser->setText(ID_CHOOSER_NAME, name);
        findControl<QPushButton>(*chooser, ID_CHOOSER_OK)->click();
        QCoreApplication::processEvents();
    }
    /// File, Open and the name in the chooser.
    void open(const std::string& name)
    {
        command(EE_OPEN)->trigger();
        chooseName(name);
    }
    std::string read(const std::string& path) const { return testsupport::readText(path); }
    bool exists(const std::string& path) const { return platform::fileExists(path); }

    /// Waits for the real model processor's answer.
    bool processed()
    {
        return waitUntil([] { return EquationEditor().keptStatus == "Model processing completed succesfully."; },
                         60000);
    }

    testsupport::TempDir dir;
    std::string models, library, settings;
    std::optional<testsupport::ScopedEnvironment> pathVariable;
    platform::ScriptedMessageSink sink;
    platform::ScopedMessageSink scopedSink{sink};
    platform::ScriptedChooserSink choosers;
    platform::ScopedChooserSink scopedChoosers{choosers};
    std::unique_ptr<TQNEEWindow> window;
};

} // namespace

TEST_F(EquationWindow, StartsWithItsMenusToolBarIndicatorsAndMonospaceText)
{
    startWindow();
    EXPECT_EQ(platform::findWindowByClass("TQNEEWindow"), window->handle());
    EXPECT_EQ(window->menuBar()->objectName().toStdString(), "MN_QNEE");
    EXPECT_TRUE(testsupport::showsWindowIcon(*window, "IC_QNEE22"));
    QStringList entries;
    for (QAction* entry : window->menuBar()->actions())
        entries << entry->text();
    EXPECT_EQ(entries.join('|').toStdString(), "&File|&Edit|&Search|&Properties|P&rocess|&Window|&Help");
    auto* edit = findControl<QPlainTextEdit>(*window, ID_EDIT);
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(edit->font().family().toStdString(), "DejaVu Sans Mono");
    EXPECT_TRUE(QFontInfo(edit->font()).fixedPitch());
    ASSERT_NE(window->toolBar(), nullptr);
    for (int id : {101, 252, 105, 104, 122, 201, 205, 901})
        EXPECT_NE(window->toolBar()->findChild<QWidget*>(QStringLiteral("tool_%1").arg(id)), nullptr) << id;
    for (int id : {EE_EXIT, EE_HELP_CONTENTS, EE_HELP_ABOUT})
        EXPECT_TRUE(command(id)->isEnabled()) << id;

    // Insert toggles overtype, and the indicator shows it.
    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_Insert);
    EXPECT_EQ(window->indicator(2)->text().toStdString(), "OVR");
    EXPECT_TRUE(edit->overwriteMode());
    QTest::keyClick(edit, Qt::Key_Insert);
    EXPECT_EQ(window->indicator(2)->text().toStdString(), "");
    testsupport::grabToPng(*window, "equationeditor_started");
}

// A device, a pipe, a directory or a file over the bound as the settings file: the program
// names it, asks, and ends or goes on as the user answers.
TEST_F(EquationWindow, ASettingsFileThatIsNoRegularFileOfItsSizeIsRefusedByName)
{
    std::unique_ptr<TQNEEApp> app;
    testsupport::expectRefusedSettingsFiles(
        dir, sink,
        [&](const std::vector<std::string>& words) {
            app = std::make_unique<TQNEEApp>(testsupport::testApplication(), words);
            return app->InitMainWindow();
        },
        [&] {
            app.reset();
            ResetEquationEditor();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            ResetSettings();
            ResetStartup();
        });
}

TEST_F(EquationWindow, StartsWithTheModelOfTheCommandLineUnderItsName)
{
    ASSERT_TRUE(platform::writeFileAtomically(models + "/x1.sff", kSub + std::string(1, '\0')));
    startWindow("-model x1");
    EXPECT_EQ(window->windowTitle().toStdString(), "Orvanta Equation Editor - x1");
    EXPECT_EQ(edit().toPlainText().toStdString(), kSub);
    EXPECT_EQ(EquationEditor().state, EE_STATE_NAMED);
    for (int id : {EE_SAVE, EE_CHECK_SAVE, EE_COMPLETE_PROCESSING, EE_SIMULATION, EE_PRINT})
        EXPECT_TRUE(enabled(id)) << id;
    EXPECT_TRUE(window->toolAction(EE_SIMULATION)->isEnabled());

    // Typing marks the model edited in the caption.
    edit().moveCursor(QTextCursor::End);
    QTest::keyClicks(&edit(), "# note");
    EXPECT_EQ(window->windowTitle().toStdString(), "Orvanta Equation Editor - x1 (edited)");
    testsupport::grabToPng(*window, "equationeditor_model");

    // A new blank model after the confirmation: untitled, and the save commands greyed.
    sink.queueAnswers({platform::BoxAnswer::Ok});
    command(EE_NEW_BLANK)->trigger();
    EXPECT_EQ(window->windowTitle().toStdString(), "Orvanta Equation Editor");
    EXPECT_TRUE(edit().toPlainText().isEmpty());
    EXPECT_FALSE(enabled(EE_SAVE));
    EXPECT_FALSE(enabled(EE_CHECK_SAVE));
    EXPECT_TRUE(enabled(EE_OPEN));
}

// A name from the command line that no model's files can have is refused by its name, and
// never cut into the name of another model, whose text would be shown and saved over.
TEST_F(EquationWindow, AModelNameBeyondTheFileNameRuleIsRefusedFromTheCommandLine)
{
    ASSERT_TRUE(platform::writeFileAtomically(models + "/longmodelname.mff", kSub + std::string(1, '\0')));
    startWindow("-model longmodelnameb");
    EXPECT_EQ(window->windowTitle().toStdString(), "Orvanta Equation Editor");
    EXPECT_TRUE(edit().toPlainText().isEmpty());
    EXPECT_EQ(sink.transcriptLines(), (std::vector<std::string>{"The model name longmodelnameb is longer than 7 "
                                                                "characters and a version digit."}));
}

TEST_F(EquationWindow, ADeclarationErrorIsListedAndChoosingItsLogLineMovesTheCaretThere)
{
    startWindow();
    type(kDeclarationError);
    EXPECT_EQ(EquationEditor().state, EE_STATE_NEW);
    sink.queueAnswers({platform::BoxAnswer::Cancel});
    command(EE_CHECK_SAVE)->trigger();
    EXPECT_EQ(EquationEditor().lastCheckLevel, 1);
    EXPECT_EQ(window->shownStatusText(), "Heading and interface ok, error in declarations.");
    EXPECT_EQ(sink.transcript().back().lines.front(), "There are errors in the model. Save model text anyway?");
    TQNLogWindow* log = LogWindow();
    ASSERT_NE(log, nullptr);
    EXPECT_TRUE(log->isVisible());
    EXPECT_EQ(log->windowTitle().toStdString(), "EE: syntax errors in: untitled");
    ASSERT_FALSE(ModelCheck().errorLines.empty());
    const ErrorLine error = ModelCheck().errorLines.front();
    const std::vector<std::string> lines = log->lines();
    ASSERT_GT(lines.size(), static_cast<std::size_t>(error.logLine));
    EXPECT_EQ(lines[static_cast<std::size_t>(error.logLine)].rfind("Line 5", 0), 0u) << lines[1];
    testsupport::grabToPng(*log, "equationeditor_check_log");

    // The user double-clicks the error's line in the log: the editor takes the
    // keyboard with the caret at the token the error names ("reel" on line 5).
    ASSERT_TRUE(waitUntil([&] { return QApplication::activeWindow() == log; }, 3000));
    QTextBlock block = log->edit()->document()->findBlockByNumber(error.logLine);
    QTextCursor cursor(block);
    log->edit()->setTextCursor(cursor);
    const QRect at = log->edit()->cursorRect(cursor);
    QTest::mouseDClick(log->edit()->viewport(), Qt::LeftButton, {}, at.center());
    ASSERT_TRUE(waitUntil([&] { return edit().textCursor().blockNumber() == 4; }, 3000));
    EXPECT_EQ(edit().textCursor().positionInBlock(), 2);
    EXPECT_FALSE(edit().textCursor().hasSelection());
    ASSERT_TRUE(waitUntil([&] { return QApplication::activeWindow() == window.get(); }, 3000));
    EXPECT_EQ(QApplication::focusWidget(), &edit());
    QTest::keyClicks(QApplication::focusWidget(), "real");
    EXPECT_EQ(edit().document()->findBlockByNumber(4).text().toStdString(), "  realreel v");
}

TEST_F(EquationWindow, AnOpenedModelKeepsItsKindWhenSavedWithErrors)
{
    const std::string mainModel = "class m version 1\nvariables\n  real a\nequations\n  a = 1\n";
    ASSERT_TRUE(platform::writeFileAtomically(models + "/x1.mf3", kMain + std::string(1, '\0')));
    ASSERT_TRUE(platform::writeFileAtomically(models + "/y1.sf3", kSub + std::string(1, '\0')));
    startWindow();
    const auto saveWithErrors = [&](std::initializer_list<platform::BoxAnswer> answers) {
        type(kDeclarationError);
        sink.clear();
        sink.queueAnswers(answers);
        command(EE_CHECK_SAVE)->trigger();
    };

    // The main model opened right after the start stays a main model.
    open("x1");
    ASSERT_EQ(window->windowTitle().toStdString(), "Orvanta Equation Editor - x1");
    saveWithErrors({platform::BoxAnswer::Ok});
    EXPECT_EQ(read(models + "/x1.mff"), kDeclarationError + std::string(1, '\0'));
    EXPECT_FALSE(exists(models + "/x1.sff"));
    EXPECT_EQ(sink.transcript().size(), 1u) << "only the question whether to save despite the errors";

    // After a clean main model, an opened submodel stays a submodel.
    type(mainModel);
    command(EE_CHECK_SAVE)->trigger();
    ASSERT_TRUE(exists(models + "/m1.mf3"));
    open("y1");
    saveWithErrors({platform::BoxAnswer::Ok});
    EXPECT_EQ(read(models + "/y1.sff"), kDeclarationError + std::string(1, '\0'));
    EXPECT_FALSE(exists(models + "/y1.mff"));

    // A new model of a name not found is of no kind yet: its save asks (Yes: a submodel).
    type(mainModel);
    command(EE_CHECK_SAVE)->trigger();
    open("n1");
    ASSERT_EQ(window->shownStatusText(), "New model.");
    saveWithErrors({platform::BoxAnswer::Ok, platform::BoxAnswer::Yes});
    ASSERT_EQ(sink.transcript().size(), 2u);
    EXPECT_EQ(sink.transcript()[1].lines.front(), "At this stage the Equation Editor has no information whether");
    EXPECT_TRUE(exists(models + "/n1.sff"));
    EXPECT_FALSE(exists(models + "/n1.mff"));
}

TEST_F(EquationWindow, ASaveAsksBeforeItReplacesTheModelOfAnotherKind)
{
    ASSERT_TRUE(platform::writeFileAtomically(models + "/x1.mf3", kMain + std::string(1, '\0')));
    ASSERT_TRUE(platform::writeFileAtomically(models + "/g1.mgg", "graph"));
    startWindow();
    open("x1");
    // The text becomes a submodel: Cancel keeps the main model's file and writes nothing.
    type(kSub);
    sink.queueAnswers({platform::BoxAnswer::Cancel});
    command(EE_CHECK_SAVE)->trigger();
    ASSERT_FALSE(sink.transcript().empty());
    EXPECT_EQ(sink.transcript().back().lines,
              std::vector<std::string>{"Model exists as main model. OK to overwrite?"});
    EXPECT_EQ(read(models + "/x1.mf3"), kMain + std::string(1, '\0'));
    EXPECT_FALSE(exists(models + "/x1.sf3"));
    EXPECT_EQ(window->shownStatusText(), "Model text not saved!");
    // OK replaces it.
    sink.queueAnswers({platform::BoxAnswer::Ok});
    command(EE_CHECK_SAVE)->trigger();
    EXPECT_EQ(read(models + "/x1.sf3"), kSub + std::string(1, '\0'));
    EXPECT_FALSE(exists(models + "/x1.mf3"));

    // Save As of the clean model onto a graph model's name asks first as well.
    sink.clear();
    sink.queueAnswers({platform::BoxAnswer::Cancel});
    command(EE_SAVE_AS)->trigger();
    chooseName("g1");
    ASSERT_EQ(sink.transcript().size(), 1u);
    EXPECT_EQ(sink.transcript().back().lines,
              std::vector<std::string>{"Model exists as graph model. OK to overwrite?"});
    EXPECT_EQ(read(models + "/g1.mgg"), "graph");
    EXPECT_FALSE(exists(models + "/g1.sf3"));
}

TEST_F(EquationWindow, SaveAsOverAModelOfTheSameKindOrASubmodelAsksAndNamesTheSubmodelsUsers)
{
    for (const char* file : {"vdp1.mf0", "pend1.mf0", "dcm1.sg0", "mload1.mg0"})
        ASSERT_TRUE(platform::writeFileAtomically(models + "/" + file,
                                                  read(std::string(ORVANTA_MODELS_DIR) + "/" + file)));
    const std::string pendulum = read(models + "/pend1.mf0"), motor = read(models + "/dcm1.sg0");
    startWindow();
    open("vdp1");
    ASSERT_EQ(EquationEditor().modelName, "vdp1");

    // Another equation model of the kind was replaced without a word: now it is asked about.
    sink.queueAnswers({platform::BoxAnswer::Cancel});
    command(EE_SAVE_AS)->trigger();
    chooseName("pend1");
    ASSERT_EQ(sink.transcript().size(), 1u);
    EXPECT_EQ(sink.transcript()[0].lines, std::vector<std::string>{"Model exists as equation model. OK to overwrite?"});
    EXPECT_TRUE(sink.transcript()[0].cancelIsDefault);
    EXPECT_EQ(read(models + "/pend1.mf0"), pendulum);
    EXPECT_FALSE(exists(models + "/pend1.mf3"));
    EXPECT_EQ(EquationEditor().modelName, "vdp1");

    // A graph submodel is named as one, with the model that uses it.
    sink.clear();
    sink.queueAnswers({platform::BoxAnswer::Cancel});
    command(EE_SAVE_AS)->trigger();
    chooseName("dcm1");
    ASSERT_EQ(sink.transcript().size(), 1u);
    EXPECT_EQ(sink.transcript()[0].lines,
              (std::vector<std::string>{"Model exists as graph submodel.", "This model of its directory uses it:",
                                        "mload1.", "OK to overwrite?"}));
    EXPECT_EQ(sink.transcript()[0].okLabel, "Overwrite");
    EXPECT_EQ(read(models + "/dcm1.sg0"), motor);
    EXPECT_FALSE(exists(models + "/dcm1.mf3"));

    // Overwrite replaces it; a save under the model's own name asks nothing.
    sink.clear();
    sink.queueAnswers({platform::BoxAnswer::Ok});
    command(EE_SAVE_AS)->trigger();
    chooseName("pend1");
    EXPECT_TRUE(exists(models + "/pend1.mf3"));
    EXPECT_FALSE(exists(models + "/pend1.mf0"));
    EXPECT_EQ(EquationEditor().modelName, "pend1");
    type(edit().toPlainText().toStdString() + "\n");
    sink.clear();
    command(EE_SAVE)->trigger();
    EXPECT_TRUE(sink.transcript().empty());
    EXPECT_FALSE(EquationEditor().edited);
}

TEST_F(EquationWindow, PrintingSaysWhenThereIsNoTextOrTheFileCannotBeWritten)
{
    startWindow();
    type("x");
    type("");
    ASSERT_TRUE(enabled(EE_PRINT));
    platform::PrinterSettings paper = platform::PrinterSettings::defaults();
    paper.outputFile = dir.file("x.pdf");
    choosers.answerPrinter(paper);
    command(EE_PRINT)->trigger();
    EXPECT_EQ(sink.transcriptLines(), std::vector<std::string>{"There is no text to be printed."});
    EXPECT_TRUE(choosers.transcript().empty()) << "nothing to ask a file for";
    EXPECT_FALSE(exists(paper.outputFile));

    // A file in a folder that is a plain file cannot be written.
    type(kMain);
    sink.clear();
    choosers.clear();
    ASSERT_TRUE(platform::writeFileAtomically(dir.file("plain"), "not a folder"));
    paper.outputFile = dir.file("plain") + "/x.pdf";
    choosers.answerPrinter(paper);
    command(EE_PRINT)->trigger();
    EXPECT_EQ(sink.transcriptLines(), (std::vector<std::string>{"Printing is not possible.", paper.outputFile}));
}

TEST_F(EquationWindow, TheCheckLogShowsTheEndOfTheNewestReport)
{
    // Twenty equations on undeclared names: a report longer than the log shows.
    std::string faulty = "class x version 1\nvariables\n  real a\nequations\n";
    for (int i = 0; i < 20; ++i)
        faulty += "  a = b" + std::to_string(i) + "\n";
    for (int keep : {0, 1}) {
        SCOPED_TRACE(keep ? "kept" : "cleared");
        startWindow();
        Settings().ee_messages = keep;
        type(faulty);
        for (int check = 1; check <= 4; ++check) {
            SCOPED_TRACE(check);
            sink.queueAnswers({platform::BoxAnswer::Cancel});
            command(EE_CHECK_SAVE)->trigger();
            QCoreApplication::processEvents();
            TQNLogWindow* log = LogWindow();
            ASSERT_NE(log, nullptr);
            ASSERT_TRUE(log->isVisible());
            QPlainTextEdit& text = *log->edit();
            const QTextBlock summary = text.document()->lastBlock().previous();
            ASSERT_EQ(summary.text().toStdString(), "--------------------");
            EXPECT_GT(text.verticalScrollBar()->maximum(), 0) << "the report does not fit";
            const QRect line = text.cursorRect(QTextCursor(summary));
            EXPECT_TRUE(text.viewport()->rect().contains(line))
                << "the last line is at " << line.y() << " of " << text.viewport()->height();
        }
        testsupport::grabToPng(*LogWindow(), keep ? "equationeditor_kept_log" : "equationeditor_cleared_log");
        EquationEditor().edited = false;
        window.reset();
        ResetEquationEditor();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

TEST_F(EquationWindow, CheckAndSaveWritesTheCheckedSubmodelAndDeletesItsOtherVariants)
{
    for (const char* old : {"x1.sff", "x1.sf0", "x1.mff", "x1.mf0"})
        ASSERT_TRUE(platform::writeFileAtomically(models + "/" + old, "old"));
    startWindow();
    type(kSub);
    window->toolAction(EE_CHECK_SAVE)->trigger();
    EXPECT_EQ(read(models + "/x1.sf3"), kSub + std::string(1, '\0'));
    for (const char* old : {"x1.sff", "x1.sf0", "x1.mff", "x1.mf0"})
        EXPECT_FALSE(exists(models + "/" + old)) << old;
    EXPECT_EQ(window->windowTitle().toStdString(), "Orvanta Equation Editor - x1");
    EXPECT_EQ(window->shownStatusText(), "No errors in model");
    EXPECT_TRUE(enabled(EE_SAVE));

    // A submodel is not processed.
    command(EE_COMPLETE_PROCESSING)->trigger();
    QTest::qWait(100);
    ASSERT_FALSE(sink.transcript().empty());
    EXPECT_EQ(sink.transcript().back().lines,
              (std::vector<std::string>{"The model is not a topmodel.", "Complete Processing could not be performed."}));
}

TEST_F(EquationWindow, CompleteProcessingRunsTheRealProcessorAndSimulationOpensTheSimulator)
{
    startWindow();
    type(kMain);
    // A new model is not processed before it has a name.
    EXPECT_FALSE(enabled(EE_COMPLETE_PROCESSING));
    command(EE_CHECK_SAVE)->trigger();
    ASSERT_TRUE(enabled(EE_COMPLETE_PROCESSING));
    type(kMain + "# edited again\n");
    command(EE_COMPLETE_PROCESSING)->trigger();
    ASSERT_TRUE(processed()) << window->shownStatusText();
    EXPECT_TRUE(sink.transcript().empty()) << sink.transcriptLines().front();
    EXPECT_TRUE(exists(models + "/x1.mf3"));
    EXPECT_TRUE(exists(models + "/x1.l"));
    EXPECT_TRUE(exists(models + "/x1.e"));
    EXPECT_EQ(isCodeFileCurrent(models, "x1"), 1);
    EXPECT_EQ(EquationEditor().state, EE_STATE_NAMED);

    // Unedited, with a current code file: the simulator opens with the model at once.
    ASSERT_FALSE(EquationEditor().edited);
    command(EE_SIMULATION)->trigger();
    platform::WindowHandle simulator = 0;
    ASSERT_TRUE(waitUntil([&] { return (simulator = platform::findWindowByClass("TQNSIMWindow")) != 0; }, 30000));
    EXPECT_FALSE(EquationEditor().simulationPending);
    const pid_t pid = platform::windowProcess(simulator);
    ASSERT_TRUE(platform::requestCloseWindow(simulator));
    std::optional<int> status = platform::waitForProgram(pid, 20000);
    if (!status) {
        kill(pid, SIGKILL);
        platform::waitForProgram(pid, 5000);
    }
    EXPECT_TRUE(status);
}

// The bundled equation examples as a first-time user meets them: each is opened through
// File > Open and its chooser, checks clean, and Simulation processes it with the real
// model processor and opens the real simulator, which runs its experiment.
TEST_F(EquationWindow, EveryEquationExampleOpensThroughTheChooserAndSimulatesWithItsExperiment)
{
    const std::vector<std::string> examples = {"loop1", "pend1", "vdp1"};
    std::vector<std::string> shipped;
    for (const auto& entry : std::filesystem::directory_iterator(ORVANTA_MODELS_DIR))
        if (entry.path().extension() == ".mf0")
            shipped.push_back(entry.path().stem().string());
    std::sort(shipped.begin(), shipped.end());
    ASSERT_EQ(shipped, examples) << "every equation example is tried";
    std::filesystem::copy(ORVANTA_MODELS_DIR, models,
                          std::filesystem::copy_options::recursive | std::filesystem::copy_options::overwrite_existing);
    startWindow();
    for (const std::string& name : examples) {
        SCOPED_TRACE(name);
        command(EE_OPEN)->trigger();
        ASSERT_TRUE(testsupport::pickListedName(name)) << name << " is not listed";
        ASSERT_TRUE(waitUntil([&] { return !edit().toPlainText().isEmpty() && EquationEditor().modelName == name; }))
            << window->shownStatusText();
        EXPECT_EQ(ffcheck(name), 3);
        command(EE_SIMULATION)->trigger();
        simrun::ResultFile result;
        ASSERT_EQ(simrun::runExperiment(models + "/" + name, "default", result), "") << window->shownStatusText();
        EXPECT_TRUE(sink.transcript().empty()) << sink.transcriptLines().front();
        for (const char* extension : {".mf3", ".l", ".e"})
            EXPECT_TRUE(exists(models + "/" + name + extension)) << extension;
        EXPECT_EQ(simrun::runFaults(result, name, models + "/" + name + "/default.u"), std::vector<std::string>{});
        testsupport::grabToPng(*window, "equationeditor_example_" + name);
    }
}

TEST_F(EquationWindow, FindAndReplaceWorkOnTheText)
{
    startWindow();
    type("x = int(v)\nv = int(-x)\n");
    edit().moveCursor(QTextCursor::Start);
    command(EE_FIND)->trigger();
    TQNFindReplaceDialog* find = FindReplaceWindow();
    ASSERT_NE(find, nullptr);
    EXPECT_FALSE(find->replaceMode());
    find->setText(ID_FIND_TEXT, "int");
    testsupport::grabToPng(*find, "equationeditor_find");
    EXPECT_EQ(testsupport::clippedControls(*find), std::vector<std::string>{});
    find->controlAs<QPushButton>(ID_FIND_NEXT)->click();
    EXPECT_EQ(edit().textCursor().selectedText().toStdString(), "int");
    EXPECT_EQ(edit().textCursor().selectionStart(), 4);
    // Next repeats the search; at the end the user is told.
    command(EE_FIND_NEXT)->trigger();
    EXPECT_EQ(edit().textCursor().selectionStart(), 15);
    command(EE_FIND_NEXT)->trigger();
    ASSERT_FALSE(sink.transcript().empty());
    EXPECT_EQ(sink.transcript().back().lines.front(), "Cannot find \"int\".");

    command(EE_REPLACE)->trigger();
    TQNFindReplaceDialog* replace = FindReplaceWindow();
    ASSERT_NE(replace, nullptr);
    EXPECT_TRUE(replace->replaceMode());
    replace->setText(ID_FIND_TEXT, "v");
    replace->setText(ID_REPLACE_TEXT, "speed");
    replace->setChecked(ID_WHOLE_WORD, true);
    testsupport::grabToPng(*replace, "equationeditor_replace");
    EXPECT_EQ(testsupport::clippedControls(*replace), std::vector<std::string>{});
    replace->controlAs<QPushButton>(ID_REPLACE_ALL)->click();
    EXPECT_EQ(edit().toPlainText().toStdString(), "x = int(speed)\nspeed = int(-x)\n");
    EXPECT_TRUE(EquationEditor().edited);
    edit().undo();
    EXPECT_EQ(edit().toPlainText().toStdString(), "x = int(v)\nv = int(-x)\n");
    replace->endDialog(platform::IDCANCEL);
}

TEST(EquationPrintout, TheModelTextPrintsInTheEditorsMonospaceFontWithItsTabStops)
{
    TQNEEOut printout({"class x version 1", "\treal d", "ab\tcd\te", ""}, "x1");
    EXPECT_EQ(printout.documentName(), "x1");
    EXPECT_EQ(TQNEEOut({}, "").documentName(), "untitled");
    // On a printer of 300 dots an inch the font keeps its size on paper.
    printout.setResolution(300);
    platform::RecordingDeviceContext printer;
    ASSERT_TRUE(printout.hasPage(1));
    printout.beginPrinting(printer);
    printout.printPage(1, printer, 2400, 3300);
    EXPECT_EQ(printer.calls(), (std::vector<std::string>{"font DejaVu Sans Mono 40 0", "text 0 0 class x version 1",
                                                         "text 0 13     real d", "text 0 26 ab  cd  e", "text 0 39 "}));
}

TEST_F(EquationWindow, PrintingWritesThePdfAndClosingAnEditedModelAsksFirst)
{
    startWindow();
    type(kMain);
    platform::PrinterSettings paper = platform::PrinterSettings::defaults();
    paper.outputFile = dir.file("x.pdf");
    choosers.answerPrinter(paper);
    command(EE_PRINT)->trigger();
    EXPECT_TRUE(exists(paper.outputFile));
    // An untitled model is proposed as such, and its text is printed in the editor's monospace font.
    ASSERT_EQ(choosers.transcript().size(), 1u);
    EXPECT_TRUE(choosers.transcript()[0].printer.settings.outputFile.ends_with("/untitled.pdf"))
        << choosers.transcript()[0].printer.settings.outputFile;
    const std::string printed = read(paper.outputFile);
    EXPECT_NE(printed.find("DejaVuSansMono"), std::string::npos);
    EXPECT_EQ(printed.find("/DejaVuSans-"), std::string::npos);
    EXPECT_EQ(printed.find("+DejaVuSans\n"), std::string::npos);

    sink.queueAnswers({platform::BoxAnswer::Cancel});
    EXPECT_FALSE(window->close());
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(sink.transcript().back().lines.front(), "The model in the Equation Editor has been edited.");
    sink.queueAnswers({platform::BoxAnswer::Ok});
    command(EE_EXIT)->trigger();
    EXPECT_FALSE(window->isVisible());
}

namespace {

void settle()
{
    QCoreApplication::processEvents();
}

void click(QWidget& window, int id)
{
    QWidget* widget = findControl(window, id);
    ASSERT_NE(widget, nullptr) << id;
    ASSERT_TRUE(widget->isVisible()) << "control " << id << " is hidden";
    // Radios and check boxes take clicks on their mark and text only.
    QPoint at = qobject_cast<QPushButton*>(widget) ? widget->rect().center() : QPoint(6, widget->height() / 2);
    QTest::mouseClick(widget, Qt::LeftButton, {}, at);
    settle();
}

void typeInto(QWidget& window, int id, const char* text)
{
    auto* line = findControl<QLineEdit>(window, id);
    ASSERT_NE(line, nullptr) << id;
    line->clear();
    QTest::keyClicks(line, text);
}

void choose(QWidget& window, int id, int index)
{
    auto* combo = findControl<QComboBox>(window, id);
    ASSERT_NE(combo, nullptr) << id;
    combo->setCurrentIndex(index);
    Q_EMIT combo->activated(index);
    settle();
}

} // namespace

TEST_F(EquationWindow, TheWizardWritesASubmodelSkeletonAsTheTextOfANewModel)
{
    startWindow();
    type("old text");
    // The wizard's Finish discards the edited text after asking.
    sink.queueAnswers({platform::BoxAnswer::Ok});
    command(EE_NEW_WIZARD)->trigger();
    settle();
    TQNTemplateWizardDialog* wizard = modelWizardWindow();
    ASSERT_NE(wizard, nullptr);
    typeInto(*wizard, ID_WIZ_NAME, "valve");
    typeInto(*wizard, ID_WIZ_VERSION, "2");
    click(*wizard, ID_WIZ_NEXT);
    for (const char* port : {"a", "b"}) {
        typeInto(*wizard, ID_WIZ_NAME, port);
        click(*wizard, ID_WIZ_ADD);
    }
    click(*wizard, ID_WIZ_RADIO2);
    typeInto(*wizard, ID_WIZ_NAME, "u");
    click(*wizard, ID_WIZ_ADD);
    click(*wizard, ID_WIZ_RADIO3);
    for (const char* output : {"y", "z"}) {
        typeInto(*wizard, ID_WIZ_NAME, output);
        click(*wizard, ID_WIZ_ADD);
    }
    click(*wizard, ID_WIZ_NEXT);
    click(*wizard, ID_WIZ_ADD); // fixed effort a
    choose(*wizard, ID_WIZ_KIND, 5);
    choose(*wizard, ID_WIZ_RELATION, 1);
    choose(*wizard, ID_WIZ_OTHER_PORT, 1);
    click(*wizard, ID_WIZ_ADD); // constraint a notequal b
    click(*wizard, ID_WIZ_RADIO2);
    click(*wizard, ID_WIZ_ADD); // fixed in a
    click(*wizard, ID_WIZ_NEXT);
    click(*wizard, ID_WIZ_PARAMETERS);
    click(*wizard, ID_WIZ_VARIABLES);
    click(*wizard, ID_WIZ_NEXT);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(modelWizardWindow(), nullptr);

    QString expected = QString::fromLatin1(templatetest::SubmodelSkeleton);
    expected.remove(QLatin1Char('\r'));
    EXPECT_EQ(edit().toPlainText().toStdString(), expected.toStdString());
    EXPECT_EQ(EquationEditor().state, EE_STATE_NEW);
    EXPECT_EQ(window->windowTitle().toStdString(), "Orvanta Equation Editor - untitled (edited)");
    EXPECT_EQ(sink.transcript().front().lines.front(), "The model in the Equation Editor has been edited.");
    // Check & Save names the model after its heading once it checks clean: here the check
    // stops at the restrictions, which the front end reads in its own grammar.
    sink.queueAnswers({platform::BoxAnswer::Cancel});
    command(EE_CHECK_SAVE)->trigger();
    EXPECT_EQ(EquationEditor().lastCheckLevel, 0);
    EXPECT_EQ(EquationEditor().state, EE_STATE_NEW);
}

TEST_F(EquationWindow, EveryHelpCommandOpensAnInstalledPageAtTheAnchorItAsks)
{
    startWindow();
    Startup().InstallDirectory = ORVANTA_BIN_DIR;
    testsupport::NoBrowser browser;
    std::vector<std::string> shown;
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    QTest::keyClick(window.get(), Qt::Key_F1);
    shown.push_back(testsupport::shownHelpPlace());
    for (int id : {EE_HELP_DEMO, EE_HELP_TUTORIAL, EE_HELP_USING}) {
        command(id)->trigger();
        shown.push_back(testsupport::shownHelpPlace());
    }
    EXPECT_EQ(testsupport::helpCommandProblems(shown, ORVANTA_BIN_DIR, 3), std::vector<std::string>{})
        << testing::PrintToString(sink.transcriptLines());
    EXPECT_TRUE(browser.opened.empty());
    EXPECT_TRUE(sink.transcript().empty());
    // Closing the editor closes its help.
    window->close();
    EXPECT_EQ(testsupport::shownHelpPlace(), "(no help window)");
}

TEST_F(EquationWindow, FileTemplateShowsTheLanguageDescription)
{
    startWindow();
    Startup().InstallDirectory = ORVANTA_BIN_DIR;
    ASSERT_NE(templatePopup(), nullptr) << "made hidden at the start";
    EXPECT_FALSE(templatePopup()->isVisible());
    command(EE_TEMPLATE)->trigger();
    ASSERT_NE(templatePopup(), nullptr);
    EXPECT_TRUE(templatePopup()->isVisible());
    EXPECT_NE(templatePopup()->text(ID_TEMPLATE_TEXT).find("class"), std::string::npos);
    EXPECT_TRUE(sink.transcript().empty());
}

TEST_F(EquationWindow, WhileTheOpenChooserOrTheWizardWaitsTheModelTextAndTheMenusTakeNoInput)
{
    ASSERT_TRUE(platform::writeFileAtomically(models + "/x1.mf3", kMain + std::string(1, '\0')));
    startWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    edit().setFocus();
    testsupport::typeAsUser(*window, "ab");
    ASSERT_EQ(edit().toPlainText().toStdString(), "ab") << "the text takes keys before the chooser opens";
    ASSERT_TRUE(testsupport::menuOpensOnClick(*window));

    sink.queueAnswers({platform::BoxAnswer::Ok}); // the edited text is discarded for the model opened
    command(EE_OPEN)->trigger();
    TQNFileDialog* chooser = NameChooserWindow();
    ASSERT_NE(chooser, nullptr);
    EXPECT_EQ(QApplication::activeModalWidget(), chooser);
    testsupport::typeAsUser(*window, "cd");
    EXPECT_EQ(edit().toPlainText().toStdString(), "ab");
    EXPECT_FALSE(testsupport::menuOpensOnClick(*window));
    chooseName("x1");
    EXPECT_EQ(EquationEditor().modelName, "x1");
    EXPECT_EQ(edit().toPlainText().toStdString(), kMain);

    // The wizard waits for its answer the same way.
    sink.queueAnswers({platform::BoxAnswer::Ok});
    command(EE_NEW_WIZARD)->trigger();
    QCoreApplication::processEvents();
    ASSERT_NE(modelWizardWindow(), nullptr);
    EXPECT_EQ(QApplication::activeModalWidget(), modelWizardWindow());
    edit().setFocus();
    testsupport::typeAsUser(*window, "ef");
    EXPECT_EQ(edit().toPlainText().toStdString(), kMain);
    EXPECT_FALSE(testsupport::menuOpensOnClick(*window));
    closeModelWizard();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_TRUE(testsupport::menuOpensOnClick(*window));
}

TEST_F(EquationWindow, OpeningAModelTheRunningGraphEditorHoldsBringsThatEditorForwardWithItsEdits)
{
    ASSERT_TRUE(platform::writeFileAtomically(models + "/msd1.mg0",
                                              read(std::string(ORVANTA_MODELS_DIR) + "/msd1.mg0")));
    const std::string model = read(models + "/msd1.mg0");
    // The real graph editor holds msd1, and the user moves its spring there.
    std::optional<pid_t> editorPid =
        platform::startProgram(ORVANTA_BIN_DIR "/orvanta", {"-model", "msd1", "-rc_file", settings});
    ASSERT_TRUE(editorPid);
    platform::WindowHandle editor = 0;
    ASSERT_TRUE(waitUntil([&] {
        editor = platform::findWindowByClass("TQNBGEWindow");
        return editor != 0 && platform::windowNote(editor).find("\nmodel=msd1\n") != std::string::npos;
    }, 30000));
    for (auto [number, x] : {std::pair{platform::WM_LBUTTONDOWN, 280}, {platform::WM_MOUSEMOVE, 300},
                             {platform::WM_MOUSEMOVE, 320}, {platform::WM_LBUTTONUP, 320}})
        ASSERT_TRUE(platform::postMessage(editor, number, 0, platform::pointParam(x, 100)));

    // File, Open of msd1 in the equation editor: the graph editor that holds it comes forward.
    startWindow();
    open("msd1");
    EXPECT_EQ(window->shownStatusText(), "Model msd1 is open in the Graph Editor.");
    EXPECT_TRUE(EquationEditor().modelName.empty());
    QTest::qWait(2000);
    EXPECT_EQ(testsupport::processesWithWindow("TQNBGEWindow"), std::vector<pid_t>{*editorPid}) << "no second graph editor on the model";
    EXPECT_NE(platform::windowNote(editor).find("\nmodel=msd1\n"), std::string::npos);
    EXPECT_EQ(read(models + "/msd1.mg0"), model);
    EXPECT_TRUE(sink.transcript().empty()) << sink.transcriptLines().front();

    // It still holds the moved spring: asked to close, it asks about the edits and stays.
    ASSERT_TRUE(platform::requestCloseWindow(editor));
    EXPECT_FALSE(platform::waitForProgram(*editorPid, 2000)) << "the editor lost its edits";
    ::kill(*editorPid, SIGKILL);
    platform::waitForProgram(*editorPid, 10000);
}

namespace {

// A long random sequence of the suite's messages, with boxes that open as modal dialogs and
// close at random: the editor stays up and answers, never opens a box inside another and
// never runs two model processors at once.
TEST_F(EquationWindow, RandomMessagesWithBoxesClosingAtRandomLeaveAWorkingEditorWithOneProcessorAtATime)
{
    ASSERT_TRUE(platform::writeFileAtomically(models + "/osc1.mf3", kMain + std::string(1, '\0')));
    ASSERT_TRUE(platform::writeFileAtomically(models + "/sub1.mf3", kSub + std::string(1, '\0')));
    stormtest::Setup setup(73);
    auto& [random, boxes, scopedBoxes, processors, scopedProcessors] = setup;
    startWindow();
    const platform::WindowHandle handle = window->handle();

    EXPECT_TRUE(stormtest::storm(random, handle, processors, {"osc1", "sub1", "nosuch1"}, 3000));
    closeModelWizard();
    stormtest::expectOneBoxAndOneProcessorAtATime(*window, boxes, processors);

    // It still answers: a model sent to it is opened (discarding what the storm left).
    boxes.answerOk = true;
    ASSERT_TRUE(platform::postMessage(handle, UM_OPEN_MODEL, 0, 0, std::string("osc1")));
    EXPECT_TRUE(waitUntil([] { return EquationEditor().modelName == "osc1" && !QApplication::activeModalWidget(); }))
        << EquationEditor().modelName;
}

} // namespace
