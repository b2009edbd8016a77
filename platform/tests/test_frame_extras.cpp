// The frame window's extras under the offscreen platform: a tool bar of
// commands with hints, menu hints, accelerators and window timers.
#include "platform/qt/frame_window.h"
#include "platform/testing/qt_support.h"
#include "platform/testing/temp_dir.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QTest>
#include <QToolBar>
#include <QToolButton>

using namespace platform;

namespace {

/// A main window of the suite's kind: menu, tool bar, hints and accelerators
/// as its constructor would give them, commands and timers recorded.
class SampleFrame : public FrameWindow {
public:
    explicit SampleFrame(const std::string& image = {}) : FrameWindow("TQNSampleWindow")
    {
        setMenuDescription("MN_SAMPLE", {
            MenuItem::popup("&File", {MenuItem::command("&Open...", 101), MenuItem::command("&Save", 102),
                                      MenuItem::separator(), MenuItem::command("&Exit", 24310)}),
            MenuItem::popup("&Edit", {MenuItem::command("&Undo\tAlt+Bsp", 153, true),
                                      MenuItem::command("&Delete\tDel", 154)}),
            MenuItem::popup("&Help", {MenuItem::command("&Contents", 901)}),
        });
        setToolBar({image.empty() ? ToolButton::button(101) : ToolButton::withImage(101, image),
                     ToolButton::button(102), ToolButton::separator(), ToolButton::button(901)});
        setCommandHints({{101, "Opens a graph or equation model"}, {102, "Check & Save the current model"},
                         {154, "Deletes the selection"}, {901, "Opens the help for ORVANTA"}});
        setAccelerators({{"Del", 154}, {"F1", 901}, {"Alt+Backspace", 153}, {"Ctrl+F4", 109}});
        resize(420, 200);
    }

    std::vector<int> commands;
    std::vector<int> timers;
    bool killOnFirst = true;

protected:
    void handleCommand(int id) override { commands.push_back(id); }
    void handleTimer(int id) override
    {
        timers.push_back(id);
        if (killOnFirst)
            killWindowTimer(id);
    }
};

QWidget* toolButton(SampleFrame& frame, int id)
{
    return frame.toolBar()->findChild<QWidget*>(QStringLiteral("tool_%1").arg(id));
}

void hover(QWidget* widget, bool enter)
{
    if (enter) {
        QEnterEvent event(QPointF(2, 2), QPointF(2, 2), widget->mapToGlobal(QPointF(2, 2)));
        QCoreApplication::sendEvent(widget, &event);
    } else {
        QEvent event(QEvent::Leave);
        QCoreApplication::sendEvent(widget, &event);
    }
}

class FrameExtras : public ::testing::Test {
protected:
    void SetUp() override { testsupport::testApplication(); }
};

} // namespace

TEST_F(FrameExtras, HoveringAToolButtonShowsItsHintAndLeavingBringsBackTheKeptText)
{
    SampleFrame frame;
    frame.show();
    frame.setStatusText("Model processing completed succesfully.");
    QWidget* open = toolButton(frame, 101);
    ASSERT_NE(open, nullptr);
    hover(open, true);
    EXPECT_EQ(frame.shownStatusText(), "Opens a graph or equation model");
    EXPECT_EQ(frame.statusText(), "Model processing completed succesfully.");
    hover(open, false);
    EXPECT_EQ(frame.shownStatusText(), "Model processing completed succesfully.");

    // A text kept while a hint shows comes up when the hint goes.
    hover(toolButton(frame, 102), true);
    frame.setStatusText("Simulation result is sent to the printer.");
    EXPECT_EQ(frame.shownStatusText(), "Check & Save the current model");
    hover(toolButton(frame, 102), false);
    EXPECT_EQ(frame.shownStatusText(), "Simulation result is sent to the printer.");
}

TEST_F(FrameExtras, MenuItemsUnderTheMouseShowTheirHintsUntilTheMenuCloses)
{
    SampleFrame frame;
    frame.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));
    frame.setStatusText("kept");
    QAction* save = frame.commandAction(102);
    ASSERT_NE(save, nullptr);
    auto* file = qobject_cast<QMenu*>(save->parent());
    ASSERT_NE(file, nullptr);
    file->popup(frame.mapToGlobal(QPoint(10, 10)));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(file));
    file->setActiveAction(save);
    EXPECT_EQ(frame.shownStatusText(), "Check & Save the current model");
    file->setActiveAction(frame.commandAction(24310));
    EXPECT_EQ(frame.shownStatusText(), "") << "a command without a hint clears the line";
    file->hide();
    EXPECT_EQ(frame.shownStatusText(), "kept");
}

TEST_F(FrameExtras, F1InAnOpenMenuChoosesTheHighlightedCommand)
{
    SampleFrame frame;
    frame.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));
    QAction* save = frame.commandAction(102);
    auto* file = qobject_cast<QMenu*>(save->parent());
    file->popup(frame.mapToGlobal(QPoint(10, 10)));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(file));
    file->setActiveAction(save);
    QTest::keyClick(file, Qt::Key_F1);
    EXPECT_EQ(frame.commands, std::vector<int>{102}) << "not the help command of the accelerator";
    EXPECT_FALSE(file->isVisible());
}

TEST_F(FrameExtras, ToolButtonsAreCommandsThatFollowTheMenusEnabling)
{
    SampleFrame frame;
    frame.show();
    QAction* open = frame.toolAction(101);
    ASSERT_NE(open, nullptr);
    EXPECT_EQ(open->objectName(), "cmd_101");
    QTest::mouseClick(toolButton(frame, 101), Qt::LeftButton);
    frame.toolAction(901)->trigger();
    EXPECT_EQ(frame.commands, (std::vector<int>{101, 901}));

    frame.enableCommand(101, false);
    EXPECT_FALSE(open->isEnabled());
    EXPECT_FALSE(frame.commandAction(101)->isEnabled());
    QTest::mouseClick(toolButton(frame, 101), Qt::LeftButton);
    EXPECT_EQ(frame.commands.size(), 2u);
    EXPECT_EQ(frame.toolBar()->actions().size(), 4) << "three buttons and one separator";
}

TEST_F(FrameExtras, AToolButtonShowsItsPictureTheArtworkOrAPlainPlaceholder)
{
    testsupport::TempDir dir;
    std::string path = dir.file("open.png");
    QImage picture(kToolImageSize, kToolImageSize, QImage::Format_RGB32);
    picture.fill(Qt::red);
    ASSERT_TRUE(picture.save(QString::fromStdString(path)));

    EXPECT_EQ(toolButtonImage(ToolButton::withImage(101, path)).toImage().pixelColor(10, 10), QColor(Qt::red));
    // Without a picture of its own a button shows the artwork of its number, else a placeholder.
    QPixmap placeholder = toolButtonImage(ToolButton::withImage(99999, dir.file("missing.png")));
    EXPECT_EQ(placeholder.size(), QSize(kToolImageSize, kToolImageSize));
    EXPECT_EQ(toolButtonImage(ToolButton::button(99998)).toImage(), placeholder.toImage());
    QImage artwork = toolButtonImage(ToolButton::button(101)).toImage();
    EXPECT_EQ(artwork.size(), QSize(kToolImageSize, kToolImageSize));
    EXPECT_NE(artwork, placeholder.toImage());
    EXPECT_EQ(toolButtonImage(ToolButton::button(240, 101)).toImage(), artwork) << "a command showing another's image";

    SampleFrame frame(path);
    frame.setStatusText("Ready.");
    frame.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));
    QImage shot = testsupport::grabToPng(frame, "sample_frame");
    auto* button = static_cast<QToolButton*>(toolButton(frame, 101));
    QPoint centre = button->mapTo(&frame, button->rect().center());
    EXPECT_EQ(shot.pixelColor(centre), QColor(Qt::red));
}

TEST_F(FrameExtras, AcceleratorsReachTheCommandHandlerUnlessTheirCommandIsGreyed)
{
    SampleFrame frame;
    frame.show();
    frame.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&frame));
    QTest::keyClick(&frame, Qt::Key_Delete);
    QTest::keyClick(&frame, Qt::Key_F1);
    QTest::keyClick(&frame, Qt::Key_Backspace, Qt::AltModifier); // Undo is greyed
    QTest::keyClick(&frame, Qt::Key_F4, Qt::ControlModifier);    // a command with no menu item
    EXPECT_EQ(frame.commands, (std::vector<int>{154, 901, 109}));

    frame.enableCommand(154, false);
    QTest::keyClick(&frame, Qt::Key_Delete);
    EXPECT_EQ(frame.commands.size(), 3u);
}

TEST_F(FrameExtras, AWindowTimerFiresUntilItIsKilled)
{
    SampleFrame frame;
    frame.startWindowTimer(100, 5);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !frame.timers.empty(); }, 2000));
    QTest::qWait(60);
    EXPECT_EQ(frame.timers, std::vector<int>{100}) << "the handler killed it at its first firing";
    EXPECT_FALSE(frame.killWindowTimer(100)) << "it is no longer running";

    // Left running, it repeats; started again it takes the new interval; killed, it is quiet.
    frame.killOnFirst = false;
    frame.timers.clear();
    frame.startWindowTimer(7, 5);
    EXPECT_TRUE(QTest::qWaitFor([&] { return frame.timers.size() >= 3; }, 2000));
    frame.startWindowTimer(7, 60000);
    std::size_t fired = frame.timers.size();
    QTest::qWait(40);
    EXPECT_EQ(frame.timers.size(), fired);
    EXPECT_TRUE(frame.killWindowTimer(7));
}
