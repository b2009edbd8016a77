// The about box and the graph editor's start-up box: one box however often
// it is asked for, the picture on its button, the credits, and the start-up
// box closed by a click or by its timer, whichever comes first.
#include "common/about_dialog.h"
#include "common/about_texts.h"
#include "common/dialog_fonts.h"
#include "platform/core/message_sink.h"
#include "platform/qt/frame_window.h"
#include "common/tests/clipped_controls.h"
#include "platform/testing/qt_support.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTest>

namespace {

using namespace platform;

/// The graph editor's main window as far as the boxes go: its set-up makes
/// the about box and shows the start-up box, its timer closes the latter.
class StartingWindow : public FrameWindow {
public:
    explicit StartingWindow(int timeoutMs) : FrameWindow("TQNBGEWindow")
    {
        CreateAboutBox(this);
        SetAboutBoxParent(this);
        ShowStartupBox();
        startWindowTimer(StartupBoxTimerId, timeoutMs);
    }
    std::vector<int> timerClosed; ///< what CloseStartupBox gave at each firing

protected:
    void handleTimer(int id) override
    {
        if (id == StartupBoxTimerId) {
            killWindowTimer(id);
            timerClosed.push_back(CloseStartupBox());
        }
    }
};

class AboutBoxes : public ::testing::Test {
protected:
    void SetUp() override { testsupport::testApplication(); }
    void TearDown() override
    {
        if (TQNAboutDialog* box = AboutBox())
            box->endDialog(IDCANCEL);
        CloseStartupBox();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        DeleteDialogFonts();
    }

    static int visibleBoxes(const char* resource)
    {
        int count = 0;
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (widget->objectName() == resource && widget->isVisible())
                ++count;
        return count;
    }

    ScriptedMessageSink boxes;
    ScopedMessageSink scopedBoxes{boxes};
};

TEST_F(AboutBoxes, ShowingTheAboutBoxTwiceShowsOneBoxWithTheLastTitle)
{
    FrameWindow main("TQNSIMWindow");
    main.show();
    ASSERT_EQ(CreateAboutBox(&main), 1);
    SetAboutBoxParent(&main);
    TQNAboutDialog* hidden = AboutBox();
    ASSERT_NE(hidden, nullptr);
    EXPECT_FALSE(hidden->isVisible());

    ASSERT_EQ(ShowAboutBox("Simulator"), 1);
    ASSERT_EQ(ShowAboutBox("Equation Editor"), 1);
    TQNAboutDialog* box = AboutBox();
    EXPECT_EQ(box, hidden);
    EXPECT_EQ(visibleBoxes("DLG_ABOUT"), 1);
    EXPECT_TRUE(QTest::qWaitForWindowActive(box));
    EXPECT_EQ(box->text(580), "Equation Editor");
    EXPECT_EQ(box->text(581), "PC Version 2.3 ");
    EXPECT_EQ(box->windowTitle(), "Orvanta : About");
    EXPECT_EQ(box->parentWidget(), &main);
    EXPECT_TRUE(box->control(580)->font().bold());
    EXPECT_FALSE(box->control(583)->font().bold());
    EXPECT_TRUE(boxes.transcript().empty()); // the picture was found

    // The picture fills the top-left of its button at its own size.
    QWidget* button = box->control(AboutPictureControl);
    const QImage shot = testsupport::grabToPng(*box, "about_box");
    EXPECT_EQ(testsupport::clippedControls(*box), std::vector<std::string>{}) << "about_box";
    const QPoint inside = button->geometry().topLeft() + QPoint(button->width() / 2, button->height() / 2);
    EXPECT_NE(shot.pixelColor(inside), box->palette().color(QPalette::Window));

    // OK closes it; the next About makes a new one.
    QTest::mouseClick(box->control(IDOK), Qt::LeftButton);
    EXPECT_EQ(AboutBox(), nullptr);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_EQ(ShowAboutBox("Simulator"), 1);
    EXPECT_EQ(AboutBox()->text(580), "Simulator");
}

TEST_F(AboutBoxes, AClickClosesTheStartupBoxAndTheTimerThenFindsNothing)
{
    StartingWindow main(300);
    TQNAboutDialog* startup = StartupBox();
    ASSERT_NE(startup, nullptr);
    EXPECT_TRUE(startup->isVisible());
    EXPECT_EQ(startup->objectName(), "DLG_ABOUT2");
    EXPECT_EQ(startup->control(IDOK), nullptr);
    EXPECT_EQ(startup->parentWidget(), nullptr);
    EXPECT_FALSE(AboutBox()->isVisible());
    testsupport::grabToPng(*startup, "startup_box");
    EXPECT_EQ(testsupport::clippedControls(*startup), std::vector<std::string>{}) << "startup_box";

    // Closing the about box meanwhile forgets the about box only.
    AboutBox()->endDialog(IDCANCEL);
    EXPECT_EQ(AboutBox(), nullptr);
    EXPECT_EQ(StartupBox(), startup);

    QTest::mouseClick(startup, Qt::LeftButton, {}, QPoint(startup->width() - 4, startup->height() - 4));
    EXPECT_EQ(StartupBox(), nullptr);
    EXPECT_EQ(visibleBoxes("DLG_ABOUT2"), 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !main.timerClosed.empty(); }, 5000));
    EXPECT_EQ(main.timerClosed, std::vector<int>{0});
}

TEST_F(AboutBoxes, TheTimerClosesTheStartupBoxWhenNobodyClicks)
{
    StartingWindow main(50);
    ASSERT_NE(StartupBox(), nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !main.timerClosed.empty(); }, 5000));
    EXPECT_EQ(main.timerClosed, std::vector<int>{1});
    EXPECT_EQ(StartupBox(), nullptr);
    // A click on the picture of a box that is still there closes it too.
    ASSERT_EQ(ShowStartupBox(), 1);
    QTest::mouseClick(StartupBox()->control(AboutPictureControl), Qt::LeftButton);
    EXPECT_EQ(StartupBox(), nullptr);
}

TEST_F(AboutBoxes, ShiftDoubleClickShowsTheCredits)
{
    ASSERT_EQ(ShowAboutBox("Graph Editor"), 1);
    TQNAboutDialog* box = AboutBox();
    const QPoint surface(box->width() - 30, 8);
    QTest::mouseDClick(box, Qt::LeftButton, {}, surface);
    EXPECT_FALSE(box->showsCredits());
    QTest::mouseDClick(box, Qt::LeftButton, Qt::ShiftModifier, surface);
    EXPECT_TRUE(box->showsCredits());
    for (int id : AboutTextControls)
        EXPECT_TRUE(box->control(id)->isHidden()) << id;
    auto* credits = testsupport::findControl<QPlainTextEdit>(*box, AboutCreditsControl);
    ASSERT_NE(credits, nullptr);
    EXPECT_FALSE(credits->isHidden());
    EXPECT_EQ(credits->toPlainText().toStdString(), AboutCreditsText());
    testsupport::grabToPng(*box, "about_credits");
    EXPECT_EQ(testsupport::clippedControls(*box), std::vector<std::string>{}) << "about_credits";
}

TEST(AboutPicture, APictureThatFitsKeepsItsSizeElseItIsStretchedToTheButton)
{
    const PictureRect button{4, 6, 160, 100};
    EXPECT_EQ(AboutPicturePlace(160, 100, button), (PictureRect{4, 6, 160, 100}));
    EXPECT_EQ(AboutPicturePlace(80, 40, button), (PictureRect{4, 6, 80, 40}));
    EXPECT_EQ(AboutPicturePlace(320, 100, button), button);
    EXPECT_EQ(AboutPicturePlace(100, 101, button), button);
}

} // namespace
