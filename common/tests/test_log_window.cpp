// The log window: appending, kept text between openings, closing on request,
// the out-of-space question, printing and what the window shows.
#include "common/log_window.h"

#include "common/startup.h"
#include "platform/core/choosers.h"
#include "platform/core/device_context.h"
#include "platform/core/file_system.h"
#include "platform/core/message_sink.h"
#include "platform/core/window_messages.h"
#include "platform/testing/qt_support.h"
#include "platform/testing/temp_dir.h"
#include "test_application.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

#include <QAction>
#include <QFile>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QPrinter>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>

#include <cstdlib>
#include <memory>

using namespace platform;

namespace {

std::vector<std::string> quernFiles(const std::string& directory)
{
    std::vector<std::string> found;
    for (const std::string& name : listDirectory(directory).value_or(std::vector<std::string>{}))
        if (name.rfind("quern", 0) == 0)
            found.push_back(name);
    return found;
}

class LogWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        testApplication();
        Startup().WorkingDirectory = m_dir.path();
        m_owner = std::make_unique<QWidget>();
        m_owner->setGeometry(40, 30, 200, 100);
        SetLogOwner(m_owner.get());
        SetLogKeepSetting(nullptr);
        SetLogTextLimit(std::size_t(64) << 20);
    }
    void TearDown() override
    {
        if (TQNLogWindow* window = LogWindow())
            delete window;
        DeleteLogTempFile();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    /// Closes the log window as the user does and lets Qt delete it.
    void closeLog()
    {
        ASSERT_NE(LogWindow(), nullptr);
        LogWindow()->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    testsupport::TempDir m_dir;
    std::unique_ptr<QWidget> m_owner;
    ScriptedMessageSink m_sink;
    ScopedMessageSink m_scoped{m_sink};
};

} // namespace

TEST_F(LogWindowTest, AppendCreatesTheWindowAndEndsEveryTextWithALineEnd)
{
    ShowLog("first caption");
    closeLog();
    ASSERT_EQ(LogNotCreated(), 1);
    AppendLog("Diagnostics on: pend\r\n");
    AppendLog("");
    AppendLog("two\r\nlines");
    ASSERT_EQ(LogNotCreated(), 0);
    EXPECT_EQ(LogWindow()->windowTitle().toStdString(), "first caption");
    EXPECT_EQ(LogWindow()->text(), "Diagnostics on: pend\n\n\ntwo\nlines\n");
    EXPECT_TRUE(LogWindow()->edit()->isReadOnly());
    EXPECT_EQ(LogWindow()->edit()->objectName().toStdString(), "id777");
    EXPECT_TRUE(testsupport::showsWindowIcon(*LogWindow(), "IC_LOG22"));
    EXPECT_TRUE(m_sink.transcript().empty());
}

TEST_F(LogWindowTest, AppendGoesToTheEndAndKeepsTheUsersSelection)
{
    ShowLog("log");
    AppendLog("alpha");
    AppendLog("beta");
    QTextCursor selection(LogWindow()->edit()->document());
    selection.setPosition(1);
    selection.setPosition(4, QTextCursor::KeepAnchor);
    LogWindow()->edit()->setTextCursor(selection);
    AppendLog("gamma");
    EXPECT_EQ(LogWindow()->text(), "alpha\nbeta\ngamma\n");
    EXPECT_EQ(LogWindow()->edit()->textCursor().selectedText().toStdString(), "lph");
    EXPECT_EQ(GetLogCaretLine(), 0);
}

TEST_F(LogWindowTest, EveryAppendShowsTheLastLine)
{
    ShowLog("MP: Diagnostics - pend");
    QPlainTextEdit* edit = LogWindow()->edit();
    for (int i = 0; i < 200; ++i)
        AppendLog("line " + std::to_string(i));
    AppendLog("-------------- ready -------------");
    QCoreApplication::processEvents();
    // The line at the foot of the text area is the last one written.
    const QTextCursor foot = edit->cursorForPosition(QPoint(4, edit->viewport()->height() - 4));
    EXPECT_GE(foot.blockNumber(), 200);
    EXPECT_EQ(edit->verticalScrollBar()->value(), edit->verticalScrollBar()->maximum());
    EXPECT_GT(edit->verticalScrollBar()->maximum(), 0);
}

TEST(LogPlacement, ALogGoesBesideTheCallersFrameWhereItFitsFirst)
{
    const QRect screen(0, 0, 1600, 1000);
    const QSize log(808, 365);
    const struct {
        const char* name;
        QRect caller;
        QPoint expected;
    } cases[] = {
        {"room on the right", {100, 50, 600, 500}, {700, 50}},
        {"only on the left", {850, 50, 700, 500}, {42, 50}},
        {"only below", {205, 40, 782, 590}, {205, 630}},
        {"only above", {205, 420, 782, 580}, {205, 55}},
        // A caller that fills the screen: the log stays on the screen where it covers least.
        {"nowhere", {0, 0, 1600, 1000}, {792, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QPoint at = PositionBeside(c.caller, log, screen);
        EXPECT_EQ(at, c.expected);
        EXPECT_TRUE(screen.contains(QRect(at, log)));
    }
}

TEST_F(LogWindowTest, ALogReportingToAnotherWindowIsMadeBesideIt)
{
    const QRect caller(40, 30, 200, 100);
    SetLogCallerFrame(caller);
    ShowLog("MP: Diagnostics - pend");
    SetLogCallerFrame(QRect());
    ASSERT_NE(LogWindow(), nullptr);
    const QRect placed = LogWindow()->frameGeometry();
    EXPECT_FALSE(placed.intersects(caller));
    EXPECT_EQ(placed.left(), caller.right() + 1);
    EXPECT_EQ(placed.top(), caller.top());
}

TEST_F(LogWindowTest, KeptTextComesBackAfterCloseAndOnlyTheLatestFileRemains)
{
    int keep = 1;
    SetLogKeepSetting(&keep);
    ShowLog("kept");
    AppendLog("first run");
    closeLog();
    std::string firstFile = LogTempFileName();
    ASSERT_FALSE(firstFile.empty());
    EXPECT_EQ(testsupport::readText(firstFile), "first run\n");

    ShowLog("kept");
    EXPECT_EQ(LogWindow()->text(), "first run\n");
    AppendLog("second run");
    closeLog();
    EXPECT_FALSE(fileExists(firstFile));
    EXPECT_EQ(quernFiles(m_dir.path()).size(), 1u);
    EXPECT_EQ(testsupport::readText(LogTempFileName()), "first run\nsecond run\n");

    // Closing twice, or with no window, changes nothing.
    std::string kept = LogTempFileName();
    CloseLog();
    CloseLog();
    EXPECT_EQ(LogTempFileName(), kept);
    EXPECT_TRUE(fileExists(kept));

    keep = 0;
    ShowLog("not kept");
    closeLog();
    EXPECT_TRUE(LogTempFileName().empty());
    EXPECT_TRUE(quernFiles(m_dir.path()).empty());
}

// The kept text replaces what stands at its file's name: a link there is replaced, never written
// through. A text that cannot be stored is told with the file's name.
TEST_F(LogWindowTest, TheKeptTextReplacesALinkAtItsNameAndAFailureNamesTheFile)
{
    ShowLog("kept");
    AppendLog("the text");
    const std::string outside = m_dir.write("outside.txt", "outside");
    const std::string kept = m_dir.file("kept.txt");
    ASSERT_EQ(::symlink(outside.c_str(), kept.c_str()), 0);
    EXPECT_TRUE(LogWindow()->SaveText(kept));
    EXPECT_EQ(testsupport::readText(outside), "outside");
    EXPECT_FALSE(std::filesystem::is_symlink(kept));
    EXPECT_EQ(testsupport::readText(kept), "the text\n");

    const std::string unwritable = m_dir.file("missing/kept.txt");
    m_sink.clear();
    EXPECT_FALSE(LogWindow()->SaveText(unwritable));
    EXPECT_EQ(m_sink.transcriptLines(),
              (std::vector<std::string>{"Unable to open file on current path.", "The text could not be stored.",
                                        unwritable, "Check the Templates path in General Properties,",
                                        "or consult your Orvanta manager."}));
}

TEST_F(LogWindowTest, ClearLogEmptiesTheTextAndDropsTheKeptFile)
{
    int keep = 1;
    SetLogKeepSetting(&keep);
    ShowLog("kept");
    AppendLog("old");
    closeLog();
    ShowLog("kept");
    ASSERT_FALSE(LogTempFileName().empty());
    ClearLog();
    EXPECT_EQ(LogWindow()->text(), "");
    EXPECT_FALSE(LogWindow()->edit()->document()->isModified());
    EXPECT_TRUE(LogTempFileName().empty());
    EXPECT_TRUE(quernFiles(m_dir.path()).empty());
}

TEST_F(LogWindowTest, CloseRequestFromAnotherProgramEndsTheWindowAndKeepsItsGeometry)
{
    ShowLog("MP: Diagnostics - pend");
    WindowHandle handle = GetLogHandle();
    ASSERT_NE(handle, 0u);
    EXPECT_EQ(IsLogOpen(), 1);
    LogWindow()->setGeometry(120, 140, 333, 222);
    QRect placed = LogWindow()->geometry();
    ASSERT_TRUE(postMessage(handle, WM_SYSCOMMAND, SC_CLOSE, 0));
    for (int i = 0; i < 50 && !LogNotCreated(); ++i)
        QTest::qWait(20);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(LogNotCreated(), 1);
    EXPECT_EQ(IsLogOpen(), 0);
    EXPECT_EQ(GetLogHandle(), 0u);
    EXPECT_FALSE(isWindow(handle));
    LogGeometry kept = LogWindowGeometry();
    EXPECT_EQ((QRect(kept.x, kept.y, kept.width, kept.height)), placed);
}

TEST_F(LogWindowTest, WithoutOwnerTheFailureIsShownOnceForAppends)
{
    EXPECT_EQ(CreateLog(nullptr, "x"), 0);
    SetLogOwner(nullptr);
    AppendLog("lost");
    AppendLog("lost too");
    EXPECT_EQ(LogNotCreated(), 1);
    EXPECT_EQ(m_sink.transcriptLines(), (std::vector<std::string>{"Error popup window not created."}));
}

TEST_F(LogWindowTest, RunningOutOfTextSpaceAsksOnlyWhileVisible)
{
    struct Case {
        const char* name;
        bool visible;
        BoxAnswer answer;
        std::string text;
        int questions;
    };
    const Case cases[] = {
        {"hidden: cleared without a question", false, BoxAnswer::Ok, "next\nlater\n", 0},
        {"visible, OK: cleared", true, BoxAnswer::Ok, "next\nlater\n", 1},
        {"visible, Cancel: kept, later appends dropped", true, BoxAnswer::Cancel, "0123456789\n", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_sink.clear();
        SetLogTextLimit(16);
        AppendLog("0123456789");
        if (c.visible)
            ShowLog("");
        m_sink.queueAnswers({c.answer});
        AppendLog("next");
        AppendLog("later");
        EXPECT_EQ(LogWindow()->text(), c.text);
        EXPECT_EQ(static_cast<int>(m_sink.transcript().size()), c.questions);
        if (c.questions) {
            EXPECT_EQ(m_sink.transcript()[0].lines[0], "The edit window has run out of text space.");
        }
        delete LogWindow();
    }
}

TEST_F(LogWindowTest, PrintoutFillsPagesLessOneLineAndCutsLongLines)
{
    struct Case {
        std::vector<std::string> lines;
        int pages;
        std::vector<std::string> calls;
    };
    // The recording context's lines are 13 pixels high: a page of 52 holds 3.
    const Case cases[] = {
        {{""}, 1, {"text 0 0 "}},
        {{"a", "b", "c", ""}, 1, {"text 0 0 a", "text 0 13 b", "text 0 26 c"}},
        {{"a", "b", "c", "d", ""}, 2, {"text 0 0 a", "text 0 13 b", "text 0 26 c", "text 0 0 d", "text 0 13 "}},
        {{std::string(300, 'x'), ""}, 1, {"text 0 0 " + std::string(255, 'x'), "text 0 13 "}},
    };
    for (const Case& c : cases) {
        RecordingDeviceContext context;
        TQNLogOut printout(c.lines);
        EXPECT_EQ(printPages(printout, context, 400, 52, [] { return true; }), c.pages);
        std::vector<std::string> texts;
        for (const std::string& call : context.calls())
            if (call.rfind("text", 0) == 0)
                texts.push_back(call);
        EXPECT_EQ(texts, c.calls);
    }
}

TEST_F(LogWindowTest, PrintingToPdfGivesAPageForTheLog)
{
    ShowLog("printed");
    for (int i = 0; i < 5; ++i)
        AppendLog("line " + std::to_string(i));
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    std::string path = m_dir.file("log.pdf");
    printer.setOutputFileName(QString::fromStdString(path));
    ASSERT_TRUE(LogWindow()->print(printer, false));
    QFile pdf(QString::fromStdString(path));
    ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
    QByteArray bytes = pdf.readAll();
    EXPECT_TRUE(bytes.startsWith("%PDF"));
    EXPECT_TRUE(bytes.contains("/Count 1"));
}

TEST_F(LogWindowTest, PrintSaysWhenThereIsNoTextOrPrintingIsNotPossible)
{
    ScriptedChooserSink choosers;
    ScopedChooserSink useChoosers{choosers};
    PrinterSettings paper = PrinterSettings::defaults();
    paper.outputFile = m_dir.file("log.pdf");
    ASSERT_TRUE(writeFileAtomically(m_dir.file("plain"), "not a folder"));
    PrinterSettings unwritable = paper;
    unwritable.outputFile = m_dir.file("plain") + "/log.pdf";
    struct Case {
        std::vector<std::string> appended;
        std::optional<PrinterSettings> chosen; ///< the print dialog's answer, when it is asked
        std::vector<std::string> said;
    };
    const Case cases[] = {
        {{}, paper, {"There is no text to be printed."}},
        {{"", " \t"}, paper, {"There is no text to be printed."}},
        {{"No errors in pend1"}, unwritable, {"Printing is not possible.", unwritable.outputFile}},
        {{"No errors in pend1"}, std::nullopt, {}},
        {{"No errors in pend1"}, paper, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.said.empty() ? "printed or cancelled" : c.said.front());
        ShowLog("printed");
        ClearLog();
        for (const std::string& text : c.appended)
            AppendLog(text);
        m_sink.clear();
        choosers.clear();
        choosers.answerPrinter(c.chosen);
        QAction* print = LogWindow()->commandAction(CM_LOG_PRINT);
        ASSERT_NE(print, nullptr);
        print->trigger();
        EXPECT_EQ(m_sink.transcriptLines(), c.said);
        const bool noText = c.said == std::vector<std::string>{"There is no text to be printed."};
        EXPECT_EQ(choosers.transcript().empty(), noText) << "the print dialog comes only when there is text";
        EXPECT_EQ(fileExists(paper.outputFile), c.chosen == paper && !noText);
        deleteFile(paper.outputFile);
    }
}

TEST_F(LogWindowTest, TheGrabbedWindowShowsItsText)
{
    ShowLog("MP: Diagnostics - pend");
    AppendLog("Diagnostics on: pend\r\n");
    AppendLog("No errors in pend1");
    AppendLog("-------------- ready -------------");
    QTest::qWait(20);
    QImage shot = LogWindow()->grab().toImage();
    if (const char* where = std::getenv("ORVANTA_GRAB_DIR"))
        shot.save(QString::fromStdString(joinPath(where, "log_window.png")));
    QRect text = LogWindow()->edit()->geometry().adjusted(2, 2, -30, -30);
    int dark = 0;
    for (int y = text.top(); y < text.bottom(); ++y)
        for (int x = text.left(); x < text.right(); ++x)
            if (shot.pixelColor(x, y).lightness() < 100)
                ++dark;
    EXPECT_GT(dark, 200);
}

TEST_F(LogWindowTest, DoubleClickingALineCallsTheCallbackWithTheCaretOnThatLine)
{
    ShowLog("log");
    AppendLog("first");
    AppendLog("second");
    AppendLog("third");
    int caretLine = -1;
    SetLogCallback([&] { caretLine = GetLogCaretLine(); });
    QPlainTextEdit* edit = LogWindow()->edit();
    QTextCursor second(edit->document()->findBlockByNumber(1));
    QRect line = edit->cursorRect(second);
    QTest::mouseDClick(edit->viewport(), Qt::LeftButton, Qt::NoModifier, line.center() + QPoint(4, 0));
    QCoreApplication::processEvents();
    EXPECT_EQ(caretLine, 1);
}

TEST_F(LogWindowTest, TheMenuPrintsAndItsExitClosesTheWindow)
{
    ShowLog("log");
    ASSERT_NE(LogWindow()->commandAction(CM_LOG_PRINT), nullptr);
    EXPECT_EQ(LogWindow()->commandAction(CM_LOG_PRINT)->text().toStdString(), "&Print");
    QAction* exit = LogWindow()->commandAction(CM_EXIT);
    ASSERT_NE(exit, nullptr);
    exit->trigger();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(LogNotCreated(), 1);
}
