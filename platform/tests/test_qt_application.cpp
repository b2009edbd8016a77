// The Qt layer under the offscreen platform: messages through the event loop,
// requests on frame windows, activation order, idle work and message boxes.
#include "platform/core/program_start.h"
#include "platform/core/wait_cursor.h"
#include "platform/core/window_messages.h"
#include "platform/core/window_registry.h"
#include "platform/qt/application.h"
#include "platform/qt/frame_window.h"
#include "platform/testing/qt_support.h"
#include "platform/tests/window_peer_protocol.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QEventLoop>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <sys/wait.h>

using namespace platform;

namespace {

Application& app()
{
    return testsupport::testApplication();
}

/// A frame window that keeps the messages it handles and may refuse to close.
class RecordingWindow : public FrameWindow {
public:
    explicit RecordingWindow(std::string className) : FrameWindow(std::move(className)) {}
    std::vector<Message> received;
    std::vector<int> commands;
    bool refuseClose = false;

protected:
    void handleMessage(const Message& message) override { received.push_back(message); }
    void handleCommand(int id) override { commands.push_back(id); }
    void closeEvent(QCloseEvent* event) override
    {
        if (refuseClose)
            event->ignore();
        else
            event->accept();
    }
};

class QtLayer : public ::testing::Test {
protected:
    void SetUp() override { app(); }
};

} // namespace

TEST_F(QtLayer, MessagesFromAnotherProcessArriveThroughTheEventLoop)
{
    RecordingWindow window("TQNBGEWindow");
    ASSERT_NE(window.handle(), 0u);
    EXPECT_EQ(findWindowByClass("TQNBGEWindow"), window.handle());
    std::optional<pid_t> pid = startProgram("window_peer", {"post", "TQNBGEWindow", std::to_string(UM_STATUS_TEXT),
                                                            "-5", "6", "ready"});
    ASSERT_TRUE(pid);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window.received.empty(); }, 10000));
    EXPECT_EQ(window.received[0], (Message{window.handle(), UM_STATUS_TEXT, -5, 6, std::string("ready")}));
    waitForProgram(*pid, 10000);

    // A post within the process goes through the queue too, never at once.
    ASSERT_TRUE(postMessage(window.handle(), UM_OPEN_MODEL, 0, 0, std::string("pend")));
    EXPECT_EQ(window.received.size(), 1u);
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.received.size() == 2; }, 5000));
    EXPECT_EQ(window.received[1].text, "pend");
}

TEST_F(QtLayer, RequestsShowHideAndCloseTheWindow)
{
    RecordingWindow window("TQNSIMWindow");
    WindowHandle handle = window.handle();
    ASSERT_TRUE(requestShowWindow(handle));
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.isVisible(); }, 5000));
    window.showMinimized();
    ASSERT_TRUE(requestShowWindow(handle));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window.isMinimized(); }, 5000));
    ASSERT_TRUE(requestHideWindow(handle));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window.isVisible(); }, 5000));

    window.show();
    window.refuseClose = true;
    ASSERT_TRUE(postMessage(handle, WM_SYSCOMMAND, SC_CLOSE, 0));
    QTest::qWait(50);
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(isWindow(handle));

    window.refuseClose = false;
    ASSERT_TRUE(requestCloseWindow(handle));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window.isVisible(); }, 5000));
    EXPECT_EQ(window.handle(), 0u);
    EXPECT_FALSE(isWindow(handle));
    EXPECT_FALSE(hasRegistryEntry(handle));
    EXPECT_TRUE(window.received.empty());
}

TEST_F(QtLayer, AWindowTellsWhereItsFrameIsToThisAndAnotherProcess)
{
    RecordingWindow window("TQNEEWindow");
    window.setGeometry(130, 90, 320, 240);
    window.show();
    const QRect frame = window.frameGeometry();
    std::optional<WindowFrame> here = queryWindowFrame(window.handle(), 5000);
    ASSERT_TRUE(here);
    EXPECT_EQ(QRect(here->x, here->y, here->width, here->height), frame);

    std::optional<pid_t> pid = startProgram("window_peer", {"frame", "TQNEEWindow", std::to_string(window.handle())});
    ASSERT_TRUE(pid);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window.received.empty(); }, 10000));
    EXPECT_EQ(window.received[0].number, kPeerFrame);
    EXPECT_EQ(window.received[0].text, std::to_string(frame.x()) + " " + std::to_string(frame.y()) + " " +
                                           std::to_string(frame.width()) + " " + std::to_string(frame.height()));
    waitForProgram(*pid, 10000);

    // A window that has no frame does not answer: none, once the time is up.
    WindowHandle bare = createWindow([](const Message&) {});
    EXPECT_FALSE(queryWindowFrame(bare, 100));
    destroyWindow(bare);
}

TEST_F(QtLayer, ActivationMakesAWindowTheOneFoundByClass)
{
    RecordingWindow first("TQNEEWindow");
    QTest::qWait(20);
    RecordingWindow second("TQNEEWindow");
    EXPECT_EQ(findWindowByClass("TQNEEWindow"), second.handle());
    QTest::qWait(20);
    QEvent activate(QEvent::WindowActivate);
    QApplication::sendEvent(&first, &activate);
    EXPECT_EQ(findWindowByClass("TQNEEWindow"), first.handle());
}

TEST_F(QtLayer, IdleWorkRunsOnlyWhileThereIsWork)
{
    int runs = 0;
    app().setIdleWork([&] { return ++runs < 5; });
    EXPECT_TRUE(app().idleWorkPending());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !app().idleWorkPending(); }, 5000));
    EXPECT_EQ(runs, 5);
    QTest::qWait(20);
    EXPECT_EQ(runs, 5);
    app().resumeIdleWork();
    ASSERT_TRUE(QTest::qWaitFor([&] { return runs == 6; }, 5000));
    app().setIdleWork({});
}

TEST_F(QtLayer, IdleWorkStaysOutOfItsOwnNestedLoopsUnlessAllowed)
{
    for (bool allowed : {false, true}) {
        int depth = 0, deepest = 0, runs = 0;
        app().setNestedIdleAllowed(allowed);
        app().setIdleWork([&] {
            ++runs;
            ++depth;
            deepest = std::max(deepest, depth);
            if (depth == 1) {
                QEventLoop nested;
                QTimer::singleShot(30, &nested, &QEventLoop::quit);
                nested.exec();
            }
            --depth;
            return runs < 3;
        });
        ASSERT_TRUE(QTest::qWaitFor([&] { return !app().idleWorkPending(); }, 5000));
        EXPECT_EQ(deepest, allowed ? 2 : 1) << allowed;
    }
    app().setNestedIdleAllowed(false);
    app().setIdleWork({});
}

TEST_F(QtLayer, TheQtSinkShowsCaptionAndLinesAndReturnsTheAnswer)
{
    QtMessageSink sink;
    RecordingWindow owner("TQNMPX");
    struct Case {
        BoxKind kind;
        BoxIcon icon;
        QMessageBox::StandardButton press;
        BoxAnswer expected;
        QMessageBox::Icon shown;
    };
    for (const Case& c : {Case{BoxKind::Message, BoxIcon::Default, QMessageBox::Ok, BoxAnswer::Ok, QMessageBox::Information},
                          Case{BoxKind::Confirm, BoxIcon::Default, QMessageBox::Cancel, BoxAnswer::Cancel, QMessageBox::Question},
                          Case{BoxKind::Confirm, BoxIcon::Exclamation, QMessageBox::Ok, BoxAnswer::Ok, QMessageBox::Warning},
                          Case{BoxKind::Message, BoxIcon::Stop, QMessageBox::Ok, BoxAnswer::Ok, QMessageBox::Critical},
                          Case{BoxKind::YesNoCancel, BoxIcon::Default, QMessageBox::Yes, BoxAnswer::Yes, QMessageBox::Question},
                          Case{BoxKind::YesNoCancel, BoxIcon::Default, QMessageBox::No, BoxAnswer::No, QMessageBox::Question},
                          Case{BoxKind::YesNoCancel, BoxIcon::Default, QMessageBox::Cancel, BoxAnswer::Cancel, QMessageBox::Question}}) {
        MessageBoxRequest request;
        request.kind = c.kind;
        request.icon = c.icon;
        request.caption = c.kind == BoxKind::Message ? "Orvanta: Message" : "Orvanta: Confirm";
        request.lines = {"<error in ffcheck> stays as it is", "second line"};
        request.owner = owner.handle();
        QString caption, text;
        QWidget* parent = nullptr;
        bool hasCancel = false, hasNo = false;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            caption = box->windowTitle();
            text = box->text();
            parent = box->parentWidget();
            icon = box->icon();
            hasCancel = box->button(QMessageBox::Cancel) != nullptr;
            hasNo = box->button(QMessageBox::No) != nullptr;
            box->button(c.press)->click();
        });
        EXPECT_EQ(sink.show(request), c.expected);
        EXPECT_EQ(caption.toStdString(), request.caption);
        EXPECT_EQ(text, QStringLiteral("<error in ffcheck> stays as it is\nsecond line"));
        EXPECT_EQ(parent, &owner);
        EXPECT_EQ(icon, c.shown);
        EXPECT_EQ(hasCancel, c.kind != BoxKind::Message);
        EXPECT_EQ(hasNo, c.kind == BoxKind::YesNoCancel);
    }
}

TEST_F(QtLayer, AQuestionBeforeAReplacementNamesItsButtonsAndEnterKeepsWhatIsThere)
{
    QtMessageSink sink;
    RecordingWindow owner("TQNBGEWindow");
    MessageBoxRequest request;
    request.kind = BoxKind::Confirm;
    request.caption = "Orvanta: Confirm";
    request.lines = {"Model exists as graph submodel.", "OK to overwrite?"};
    request.owner = owner.handle();
    request.okLabel = "Overwrite";
    request.cancelLabel = "Cancel";
    request.cancelIsDefault = true;
    for (bool enter : {true, false}) {
        QStringList labels;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            for (QAbstractButton* button : box->buttons())
                labels << button->text();
            testsupport::grabToPng(*box, "replace_question");
            if (enter)
                QTest::keyClick(box, Qt::Key_Return);
            else
                box->button(QMessageBox::Ok)->click();
        });
        EXPECT_EQ(sink.show(request), enter ? BoxAnswer::Cancel : BoxAnswer::Ok);
        labels.sort();
        EXPECT_EQ(labels, (QStringList{"Cancel", "Overwrite"}));
    }
}

TEST_F(QtLayer, MenusCarryTheSuitesLabelsAndIdsAndReportCommands)
{
    RecordingWindow window("TQNSIMWindow");
    window.setMenuDescription(
        "MN_QNSIM", {MenuItem::popup("&File", {MenuItem::command("&Print", 105), MenuItem::separator(),
                                               MenuItem::popup("Expor&t", {MenuItem::command("&Metafile", 107)}),
                                               MenuItem::command("E&xit\tAlt+F4", 24310)}),
                     MenuItem::popup("&View", {MenuItem::command("Clear &Last", 281, true)}),
                     MenuItem::command("&Interrupt", 260)});
    auto* bar = window.findChild<QMenuBar*>(QStringLiteral("MN_QNSIM"));
    ASSERT_NE(bar, nullptr);
    ASSERT_EQ(bar->actions().size(), 3);
    EXPECT_EQ(bar->actions()[2]->objectName(), QStringLiteral("cmd_260"));

    for (int id : {105, 107, 24310, 281, 260}) {
        QAction* action = window.commandAction(id);
        ASSERT_NE(action, nullptr) << id;
        EXPECT_EQ(action->data().toInt(), id);
    }
    EXPECT_EQ(window.commandAction(107)->text(), QStringLiteral("&Metafile"));
    EXPECT_FALSE(window.commandAction(281)->isEnabled());
    EXPECT_EQ(window.commandAction(999), nullptr);

    window.commandAction(107)->trigger();
    window.commandAction(260)->trigger();
    window.enableCommand(281, true);
    window.setCommandText(281, "Clear Previous");
    window.commandAction(281)->trigger();
    EXPECT_EQ(window.commands, (std::vector<int>{107, 260, 281}));
    EXPECT_EQ(window.commandAction(281)->text(), QStringLiteral("Clear Previous"));

    window.enableMenuBarEntry(1, false);
    EXPECT_FALSE(bar->actions()[1]->isEnabled());
    EXPECT_TRUE(bar->actions()[0]->isEnabled());
    window.enableMenuBarEntry(7, false);
}

TEST_F(QtLayer, PopupMenusReturnAtOnceAndTheirCommandsArrive)
{
    RecordingWindow window("TQNSIMWindow");
    window.show();
    window.popupMenu({MenuItem::command("Redraw", 256), MenuItem::separator(), MenuItem::command("Clear All", 283)},
                     window.mapToGlobal(QPoint(10, 10)));
    QMenu* menu = nullptr;
    ASSERT_TRUE(QTest::qWaitFor([&] {
        for (QMenu* m : window.findChildren<QMenu*>())
            if (m->isVisible())
                menu = m;
        return menu != nullptr;
    }, 5000));
    QAction* clear = menu->findChild<QAction*>(QStringLiteral("cmd_283"));
    ASSERT_NE(clear, nullptr);
    clear->trigger();
    EXPECT_EQ(window.commands, std::vector<int>{283});
}

TEST_F(QtLayer, AProgramHasOnePopupMenuAtATimeWhicheverWindowAsksForIt)
{
    RecordingWindow simulator("TQNSIMWindow");
    RecordingWindow other("TQNBGEWindow");
    simulator.show();
    other.show();
    auto popups = [] {
        int count = 0;
        for (QWidget* widget : QApplication::topLevelWidgets())
            count += qobject_cast<QMenu*>(widget) != nullptr;
        return count;
    };
    const int before = popups();
    // Asked for again and again without a click or a key to close it, as posted presses ask.
    for (int i = 0; i < 50; ++i)
        (i % 2 ? other : simulator)
            .popupMenu({MenuItem::command("Redraw", 256), MenuItem::command("Clear All", 283)},
                       simulator.mapToGlobal(QPoint(10 + i, 10)));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(popups() - before, 1);
    QMenu* open = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(open, nullptr);
    EXPECT_EQ(open->parentWidget(), &other) << "the last one asked for is open";
    open->findChild<QAction*>(QStringLiteral("cmd_283"))->trigger();
    EXPECT_EQ(other.commands, std::vector<int>{283});
    EXPECT_TRUE(simulator.commands.empty());
}

TEST_F(QtLayer, TheStatusLineKeepsTheTextAndShowsLineEndsAsBlanks)
{
    RecordingWindow window("TQNBGEWindow");
    window.setStatusText("Ignoring arithmetic trap: Precision loss\r\noutside user model");
    auto* line = window.findChild<QLabel*>(QStringLiteral("statusLine"));
    ASSERT_NE(line, nullptr);
    EXPECT_EQ(line->text(), QStringLiteral("Ignoring arithmetic trap: Precision loss outside user model"));
    EXPECT_EQ(window.statusText(), "Ignoring arithmetic trap: Precision loss\r\noutside user model");
    window.setStatusText("");
    EXPECT_TRUE(line->text().isEmpty());
}

TEST_F(QtLayer, TheWaitCursorShowsWhileBusyAndThePreviousOneComesBack)
{
    ASSERT_EQ(QGuiApplication::overrideCursor(), nullptr);
    {
        ScopedWaitCursor outer;
        ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
        EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
        QGuiApplication::setOverrideCursor(QCursor(Qt::CrossCursor));
        {
            ScopedWaitCursor inner;
            EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
        }
        EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::CrossCursor);
        QGuiApplication::restoreOverrideCursor();
        EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
    }
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}
