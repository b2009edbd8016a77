// The canvas window: its scroller, painting through the owner, and messages
// handed to the parent first.
#include "common/canvas_window.h"

#include "platform/core/window_messages.h"
#include "platform/qt/frame_window.h"
#include "test_application.h"

#include <gtest/gtest.h>

#include <QScrollBar>
#include <QTest>

using namespace platform;

namespace {

/// Records the messages it receives in a shared log of events.
class ParentFrame : public FrameWindow {
public:
    ParentFrame() : FrameWindow("TQNBGEWindow") {}
    std::vector<std::string>* log = nullptr;

protected:
    void handleMessage(const Message& message) override
    {
        if (log)
            log->push_back("parent " + std::to_string(message.number) + " " + std::to_string(message.wParam) + " " +
                           std::to_string(message.lParam));
    }
};

/// A canvas that records its own handling of the messages sent to it.
class RecordingCanvas : public TQNCanvas {
public:
    RecordingCanvas(QWidget* parent, std::vector<std::string>& log) : TQNCanvas(parent, "rec", false, {}), m_log(log) {}

protected:
    void handleMessage(const Message& message) override { m_log.push_back("canvas " + std::to_string(message.number)); }

private:
    std::vector<std::string>& m_log;
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

TEST_F(CanvasWindow, KeyboardMouseAndClipboardMessagesReachTheParentFirstAndOthersOnlyTheCanvas)
{
    ParentFrame frame;
    frame.show();
    ASSERT_NE(frame.handle(), 0u);
    std::vector<std::string> log;
    frame.log = &log;
    auto* canvas = new RecordingCanvas(&frame, log);
    frame.setCentralWidget(canvas);
    ASSERT_TRUE(isWindow(canvas->handle()));

    struct Case {
        MessageNumber number;
        bool toParent;
    };
    const Case cases[] = {
        {WM_CUT, true},       {WM_COPY, true},      {WM_PASTE, true},        {WM_CLEAR, true},
        {WM_UNDO, true},      {WM_KEYDOWN, true},   {WM_CHAR, true},         {WM_MOUSEMOVE, true},
        {WM_MBUTTONDBLCLK, true}, {0x00FF, false},  {0x0103, false},         {0x01FF, false},
        {0x020A, false},      {0x02FF, false},      {0x0305, false},         {WM_USER + 5, false},
    };
    for (const Case& c : cases) {
        for (bool posted : {false, true}) {
            log.clear();
            Message message{canvas->handle(), c.number, -7, pointParam(3, 4), std::nullopt};
            if (posted) {
                ASSERT_TRUE(postMessage(message));
                EXPECT_TRUE(log.empty()) << "a posted message waits for the queue";
                dispatchPendingMessages();
            } else {
                ASSERT_TRUE(sendMessage(message));
            }
            std::vector<std::string> expected;
            if (c.toParent)
                expected.push_back("parent " + std::to_string(c.number) + " -7 " + std::to_string(pointParam(3, 4)));
            expected.push_back("canvas " + std::to_string(c.number));
            EXPECT_EQ(log, expected) << "message 0x" << std::hex << c.number << (posted ? " posted" : " sent");
        }
    }

    // Without a parent frame the canvas still handles the message itself.
    std::vector<std::string> alone;
    RecordingCanvas orphan(nullptr, alone);
    ASSERT_TRUE(sendMessage(Message{orphan.handle(), WM_PASTE, 0, 0, std::nullopt}));
    EXPECT_EQ(alone, (std::vector<std::string>{"canvas " + std::to_string(WM_PASTE)}));

    // A destroyed canvas takes its handle and its queued messages with it.
    WindowHandle gone = canvas->handle();
    ASSERT_TRUE(postMessage(Message{gone, WM_COPY, 0, 0, std::nullopt}));
    log.clear();
    delete canvas;
    dispatchPendingMessages();
    EXPECT_FALSE(isWindow(gone));
    EXPECT_TRUE(log.empty());
}
