// The canvas window: its scroller and painting through the owner.
#include "common/canvas_window.h"

#include "platform/qt/frame_window.h"
#include "test_application.h"

#include <gtest/gtest.h>

#include <QScrollBar>
#include <QTest>

using namespace platform;

namespace {

class ParentFrame : public FrameWindow {
public:
    ParentFrame() : FrameWindow("TQNBGEWindow") {}
};

class CanvasWindow : public ::testing::Test {
protected:
    void SetUp() override { testApplication(); }
};

} // namespace

TEST_F(CanvasWindow, OnlyAScrollableCanvasHasAScrollerWithItsStartingValues)
{
    ParentFrame frame;
    TQNCanvas plain(&frame, "plain", false, {});
    EXPECT_EQ(plain.Scroller(), nullptr);
    EXPECT_TRUE(plain.findChildren<QScrollBar*>().isEmpty());

    TQNCanvas scrolled(&frame, "scrolled", true, {});
    Scroller* scroller = scrolled.Scroller();
    ASSERT_NE(scroller, nullptr);
    EXPECT_EQ(scrolled.findChildren<QScrollBar*>().size(), 2);
    EXPECT_EQ((std::vector<int>{scroller->xUnit(), scroller->yUnit(), scroller->xRange(), scroller->yRange()}),
              (std::vector<int>{1, 1, 1, 1}));
    EXPECT_FALSE(scroller->autoMode);
    EXPECT_TRUE(scroller->trackMode);
}

TEST_F(CanvasWindow, ScrollerPositionsStayWithinRangeAndFollowTheBars)
{
    ParentFrame frame;
    TQNCanvas canvas(&frame, "scrolled", true, {});
    frame.resize(300, 200);
    frame.show();
    canvas.resize(200, 150);
    Scroller& scroller = *canvas.Scroller();
    scroller.setRange(500, 300);
    scroller.scrollTo(600, -5);
    EXPECT_EQ(scroller.xPos(), 500);
    EXPECT_EQ(scroller.yPos(), 0);
    EXPECT_EQ(scroller.horizontalBar()->value(), 500);
    scroller.setRange(100, 300);
    EXPECT_EQ(scroller.xPos(), 100);
    scroller.verticalBar()->setValue(42);
    EXPECT_EQ(scroller.yPos(), 42);
    scroller.trackMode = false;
    scroller.verticalBar()->setValue(80);
    EXPECT_EQ(scroller.yPos(), 42);
    // The bars lie along the right and bottom edges.
    EXPECT_EQ(scroller.verticalBar()->geometry().right(), canvas.width() - 1);
    EXPECT_EQ(scroller.horizontalBar()->geometry().bottom(), canvas.height() - 1);
}

TEST_F(CanvasWindow, PaintsThroughTheCallbackAndNothingWithout)
{
    ParentFrame frame;
    int painted = 0;
    TQNCanvas withPaint(&frame, "p", false, [&](DeviceContext* context) {
        ++painted;
        context->fillRect(0, 0, 10, 10, Brush{BrushStyle::Solid, 0x0000FF});
    });
    withPaint.resize(40, 30);
    QImage shot = withPaint.grab().toImage();
    EXPECT_GT(painted, 0);
    EXPECT_EQ(shot.pixelColor(3, 3), QColor(255, 0, 0));

    TQNCanvas without(&frame, "q", false, {});
    without.resize(40, 30);
    shot = without.grab().toImage();
    EXPECT_EQ(shot.pixelColor(3, 3), QColor(255, 255, 255));
}
