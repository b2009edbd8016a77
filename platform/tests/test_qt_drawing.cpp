// Drawing through the device context on a QImage, the recording context, and
// the canvas widget's backing store and input forwarding.
#include "platform/core/device_context.h"
#include "platform/qt/application.h"
#include "platform/qt/canvas_widget.h"
#include "platform/qt/frame_window.h"
#include "platform/qt/painter_device_context.h"
#include "platform/qt/printing.h"
#include "platform/testing/sample_drawing.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QMouseEvent>
#include <QPrinter>
#include <QTest>

#include <set>

using namespace platform;

namespace {

Application& app()
{
    static int argc = 1;
    static char name[] = "test_qt_drawing";
    static char* argv[] = {name, nullptr};
    static Application* instance = new Application(argc, argv);
    return *instance;
}

constexpr ColorRef kWhite = 0xFFFFFF, kBlack = 0x000000, kRed = rgb(255, 0, 0), kBlue = rgb(0, 0, 255);

QImage whiteImage(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::white);
    return image;
}

ColorRef pixelAt(const QImage& image, int x, int y)
{
    QColor c = image.pixelColor(x, y);
    return rgb(c.red(), c.green(), c.blue());
}

/// The smallest rectangle holding every pixel that is not white; null when none.
QRect inkBounds(const QImage& image)
{
    QRect bounds;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixelColor(x, y) != QColor(Qt::white))
                bounds |= QRect(x, y, 1, 1);
    return bounds;
}

class Drawing : public ::testing::Test {
protected:
    void SetUp() override { app(); }
};

} // namespace

TEST_F(Drawing, RectanglesCoverLeftToRightLessOneWithPenOutlineAndBrushInside)
{
    QImage image = whiteImage(20, 20);
    {
        PainterDeviceContext dc(image);
        dc.setPen(Pen{PenStyle::Solid, 1, kBlack});
        dc.setBrush(Brush{BrushStyle::Solid, kRed});
        dc.rectangle(2, 3, 8, 9);
        dc.setBrush(Brush{BrushStyle::Hollow, 0});
        dc.rectangle(10, 10, 15, 15);
        dc.fillRect(16, 0, 18, 2, Brush{BrushStyle::Solid, kBlue});
    }
    struct Case {
        int x, y;
        ColorRef color;
    };
    for (const Case& c : {Case{2, 3, kBlack}, Case{7, 8, kBlack}, Case{7, 3, kBlack}, Case{8, 9, kWhite},
                          Case{8, 5, kWhite}, Case{1, 3, kWhite}, Case{3, 4, kRed}, Case{6, 7, kRed},
                          Case{12, 12, kWhite}, Case{14, 14, kBlack}, Case{15, 15, kWhite},
                          Case{16, 0, kBlue}, Case{17, 1, kBlue}, Case{18, 1, kWhite}, Case{16, 2, kWhite}})
        EXPECT_EQ(pixelAt(image, c.x, c.y), c.color) << c.x << "," << c.y;
}

TEST_F(Drawing, InvertingTwiceRestoresThePictureAndNothingIsAntialiased)
{
    QImage image = whiteImage(60, 60);
    PainterDeviceContext dc(image);
    dc.setPen(Pen{PenStyle::Solid, 1, kRed});
    dc.moveTo(3, 5);
    dc.lineTo(50, 41);
    dc.setTextColor(kBlack);
    dc.textOut(5, 40, "Wq");
    QImage before = image.copy();
    for (int y = 0; y < before.height(); ++y) {
        for (int x = 0; x < before.width(); ++x) {
            ColorRef c = pixelAt(before, x, y);
            ASSERT_TRUE(c == kWhite || c == kBlack || c == kRed) << x << "," << y;
        }
    }
    auto cursor = [&] {
        dc.setPen(Pen{PenStyle::Solid, 3, kBlack});
        dc.setRasterOp(RasterOp::Not);
        dc.moveTo(15, 30);
        dc.lineTo(45, 30);
        dc.moveTo(30, 15);
        dc.lineTo(30, 45);
        dc.setRasterOp(RasterOp::CopyPen);
    };
    cursor();
    EXPECT_NE(image, before);
    cursor();
    EXPECT_EQ(image, before);
}

TEST_F(Drawing, TextIsPlacedByItsAlignment)
{
    struct Case {
        unsigned align;
        bool inkRightOfX;  // else left of x
        bool inkBelowY;    // else above y
    };
    for (const Case& c : {Case{TA_LEFT | TA_TOP, true, true}, Case{TA_RIGHT | TA_TOP, false, true},
                          Case{TA_LEFT | TA_BOTTOM, true, false}, Case{TA_RIGHT | TA_BASELINE, false, false}}) {
        QImage image = whiteImage(200, 80);
        {
            PainterDeviceContext dc(image);
            dc.setTextColor(kBlue);
            dc.setTextAlign(c.align);
            dc.textOut(100, 40, "Ahx");
        }
        QRect ink = inkBounds(image);
        ASSERT_FALSE(ink.isNull()) << c.align;
        if (c.inkRightOfX)
            EXPECT_GE(ink.left(), 100) << c.align;
        else
            EXPECT_LT(ink.right(), 100) << c.align;
        if (c.inkBelowY)
            EXPECT_GE(ink.top(), 40) << c.align;
        else
            EXPECT_LT(ink.bottom(), 40) << c.align;
    }
    QImage image = whiteImage(10, 10);
    PainterDeviceContext dc(image);
    TextMetrics metrics = dc.textMetrics();
    EXPECT_GT(metrics.height, metrics.ascent);
    EXPECT_GT(dc.textWidth("WWWW"), dc.textWidth("W"));
    EXPECT_EQ(dc.bitsPerPixel(), 32);
}

namespace {

/// A frame that records the messages its canvas hands on, and the order of events.
class CanvasOwner : public FrameWindow {
public:
    CanvasOwner() : FrameWindow("TQNSIMWindow") {}
    std::vector<Message> received;
    std::vector<std::string>* order = nullptr;

protected:
    void handleMessage(const Message& message) override
    {
        received.push_back(message);
        if (order)
            order->push_back("parent " + std::to_string(message.number));
    }
};

class RecordingCanvas : public CanvasWidget {
public:
    using CanvasWidget::CanvasWidget;
    std::vector<std::string>* order = nullptr;

protected:
    void mousePressEvent(QMouseEvent* event) override
    {
        if (order)
            order->push_back("canvas press");
        CanvasWidget::mousePressEvent(event);
    }
};

} // namespace

TEST_F(Drawing, ACanvasHandsInputToItsParentFirst)
{
    CanvasOwner owner;
    auto* canvas = new RecordingCanvas(&owner);
    owner.setCentralWidget(canvas);
    owner.resize(300, 200);
    owner.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&owner));
    std::vector<std::string> order;
    owner.order = &order;
    canvas->order = &order;

    QTest::mousePress(canvas, Qt::LeftButton, Qt::ShiftModifier, QPoint(12, 34));
    ASSERT_FALSE(owner.received.empty());
    EXPECT_EQ(order.front(), "parent " + std::to_string(WM_LBUTTONDOWN));
    EXPECT_EQ(order.back(), "canvas press");
    const Message& press = owner.received.front();
    EXPECT_EQ(press.wParam & (MK_LBUTTON | MK_SHIFT), MK_LBUTTON | MK_SHIFT);
    EXPECT_EQ(paramX(press.lParam), 12);
    EXPECT_EQ(paramY(press.lParam), 34);

    owner.received.clear();
    QTest::keyClick(canvas, Qt::Key_A);
    std::vector<MessageNumber> numbers;
    for (const Message& m : owner.received)
        numbers.push_back(m.number);
    EXPECT_EQ(numbers, (std::vector<MessageNumber>{WM_KEYDOWN, WM_CHAR, WM_KEYUP}));
    EXPECT_EQ(owner.received[0].wParam, 'A');
    EXPECT_EQ(owner.received[1].wParam, 'a');
    EXPECT_EQ(pointParam(-1, -2), 0xFFFEFFFF);
    EXPECT_EQ(paramX(pointParam(-1, -2)), -1);
    EXPECT_EQ(paramY(pointParam(-1, -2)), -2);
}

TEST_F(Drawing, TheBackingStoreShowsWhatWasDrawnAndSurvivesResizing)
{
    for (bool withCallback : {false, true}) {
        int paints = 0;
        CanvasWidget::PaintCallback paint;
        if (withCallback)
            paint = [&](DeviceContext* dc) {
                ++paints;
                ASSERT_NE(dc, nullptr);
                dc->fillRect(0, 0, 5, 5, Brush{BrushStyle::Solid, kBlue});
            };
        CanvasWidget canvas(nullptr, paint);
        canvas.resize(100, 80);
        {
            std::unique_ptr<PainterDeviceContext> dc = canvas.drawingContext();
            dc->setPen(Pen{PenStyle::Solid, 1, kRed});
            dc->moveTo(10, 50);
            dc->lineTo(90, 50);
        }
        canvas.update(QRect(10, 50, 81, 1));
        QImage shown = canvas.grab().toImage();
        EXPECT_EQ(pixelAt(shown, 50, 50), kRed);
        EXPECT_EQ(pixelAt(shown, 2, 2), withCallback ? kBlue : kWhite);
        EXPECT_EQ(paints > 0, withCallback);
        canvas.resize(150, 120);
        shown = canvas.grab().toImage();
        EXPECT_EQ(shown.size(), QSize(150, 120));
        EXPECT_EQ(pixelAt(shown, 50, 50), kRed);
        EXPECT_EQ(pixelAt(shown, 140, 110), kWhite);
    }
}

namespace {

/// Prints a number of lines, as many on a page as fit.
class LinesPrintout : public Printout {
public:
    explicit LinesPrintout(int lines) : Printout("Orvanta Log Window"), m_lines(lines) {}
    std::vector<int> printedPages;
    int perPage = 0;

    bool hasPage(int) override { return m_next < m_lines; }
    void printPage(int page, DeviceContext& dc, int, int pageHeight) override
    {
        printedPages.push_back(page);
        int lineHeight = dc.textMetrics().height;
        perPage = pageHeight / lineHeight - 1;
        for (int i = 0; i < perPage && m_next < m_lines; ++i, ++m_next)
            dc.textOut(0, i * lineHeight, "line " + std::to_string(m_next));
    }

private:
    int m_lines;
    int m_next = 0;
};

} // namespace

TEST_F(Drawing, PrintingToPdfPrintsEveryPageTheDocumentHas)
{
    for (int lines : {0, 5, 400}) {
        std::string path = std::string(std::getenv("ORVANTA_TEST_ROOT") ? std::getenv("ORVANTA_TEST_ROOT") : "/tmp") +
                           "/print" + std::to_string(lines) + ".pdf";
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(QString::fromStdString(path));
        LinesPrintout printout(lines);
        ASSERT_TRUE(printDocument(printout, printer, false));
        ASSERT_GT(printout.perPage, 20);
        std::vector<int> expected = {1};
        while (static_cast<int>(expected.size()) * printout.perPage < lines)
            expected.push_back(static_cast<int>(expected.size()) + 1);
        EXPECT_EQ(expected.size() > 1, lines == 400) << lines;
        EXPECT_EQ(printout.printedPages, expected) << lines;
        QFile pdf(QString::fromStdString(path));
        ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
        QByteArray bytes = pdf.readAll();
        EXPECT_TRUE(bytes.startsWith("%PDF")) << lines;
        EXPECT_EQ(bytes.count("/Type /Page\n") + bytes.count("/Type /Page\r"), static_cast<qsizetype>(expected.size()))
            << lines;
    }
}

TEST_F(Drawing, PagesRunOnAnyContextSoThatTheirTextCanBeRead)
{
    RecordingDeviceContext dc;
    LinesPrintout printout(25);
    int newPages = 0;
    // 13-pixel lines on a page of 130 give 9 lines a page.
    EXPECT_EQ(printPages(printout, dc, 100, 130, [&] { return ++newPages > 0; }), 3);
    EXPECT_EQ(newPages, 2);
    EXPECT_EQ(dc.calls().front(), "text 0 0 line 0");
    EXPECT_EQ(dc.calls()[9], "text 0 0 line 9");
    EXPECT_EQ(dc.calls().back(), "text 0 78 line 24");

    LinesPrintout refused(25);
    EXPECT_EQ(printPages(refused, dc, 100, 130, [] { return false; }), 1);
}

TEST_F(Drawing, AMaskedBitmapPaintsExactlyItsInkInTheTextColourPlainOrStretchedATransparentOneInItsOwn)
{
    Bitmap bitmap = testsupport::sampleBitmap();
    constexpr ColorRef kGround = rgb(200, 210, 220);
    QImage image(90, 40, QImage::Format_RGB32);
    image.fill(toQColor(kGround));
    {
        PainterDeviceContext dc(image);
        dc.setRasterOp(RasterOp::XorPen); // a bitmap is copied whatever the pen's raster operation
        dc.setTextColor(kRed);
        dc.drawBitmap(bitmap, 2, 3, BitmapMode::Masked);
        dc.setTextColor(kBlue);
        dc.drawBitmap(bitmap, 20, 3, BitmapMode::Masked);
        dc.drawBitmap(bitmap, 40, 3, 56, 19, BitmapMode::Masked);
        dc.drawBitmap(bitmap, 60, 3, 68, 11, BitmapMode::Copy);
        dc.drawBitmap(bitmap, 75, 3, BitmapMode::Transparent);
    }
    struct Placement {
        int left, top, scale;
        ColorRef ink;
    };
    for (const Placement& p : {Placement{2, 3, 1, kRed}, Placement{20, 3, 1, kBlue}, Placement{40, 3, 2, kBlue}}) {
        for (int y = -1; y <= 8 * p.scale; ++y)
            for (int x = -1; x <= 8 * p.scale; ++x) {
                bool inside = x >= 0 && y >= 0 && x < 8 * p.scale && y < 8 * p.scale;
                bool ink = inside && bitmap.isInk(x / p.scale, y / p.scale);
                ASSERT_EQ(pixelAt(image, p.left + x, p.top + y), ink ? p.ink : kGround)
                    << p.left << ": " << x << "," << y;
            }
    }
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            ASSERT_EQ(pixelAt(image, 60 + x, 3 + y), bitmap.pixel(x, y)) << x << "," << y;
    // Transparent: the ink in its own colours, the ground where the bitmap is white.
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            ASSERT_EQ(pixelAt(image, 75 + x, 3 + y), bitmap.isInk(x, y) ? bitmap.pixel(x, y) : kGround)
                << x << "," << y;
    EXPECT_EQ(toBitmap(toQImage(bitmap)), bitmap);
}

TEST_F(Drawing, ABitmapWithADrawingIsDrawnFromItWhenShownLargerThanItsPixels)
{
    // Four white pixels whose drawing is a blue disc: which form was drawn shows at the centre.
    Bitmap bitmap(4, 4);
    bitmap.setDrawing("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"4\" height=\"4\" viewBox=\"0 0 4 4\">"
                      "<circle cx=\"2\" cy=\"2\" r=\"1.5\" fill=\"#0000ff\"/></svg>");
    EXPECT_EQ(Bitmap(bitmap), bitmap) << "copies share the drawing; equality is the pixels'";
    constexpr ColorRef kGround = rgb(200, 210, 220);
    QImage image(120, 50, QImage::Format_RGB32);
    image.fill(toQColor(kGround));
    {
        PainterDeviceContext dc(image);
        dc.drawBitmap(bitmap, 2, 2, BitmapMode::Copy);                 // its own size: the pixels
        dc.drawBitmap(bitmap, 10, 2, 50, 42, BitmapMode::Transparent); // ten times: the drawing
        dc.drawBitmap(bitmap, 55, 2, 95, 42, BitmapMode::Copy);        // on white
        dc.setTextColor(kRed);
        dc.drawBitmap(bitmap, 100, 2, 116, 18, BitmapMode::Masked);    // the ink in the text colour
    }
    EXPECT_EQ(pixelAt(image, 4, 4), 0xFFFFFFu);
    EXPECT_EQ(pixelAt(image, 30, 22), 0xFF0000u) << "blue, as the suite writes colours";
    EXPECT_EQ(pixelAt(image, 12, 4), kGround) << "outside the disc the ground stays";
    EXPECT_EQ(pixelAt(image, 30, 43), kGround);
    EXPECT_EQ(pixelAt(image, 75, 22), 0xFF0000u);
    EXPECT_EQ(pixelAt(image, 57, 4), 0xFFFFFFu);
    EXPECT_EQ(pixelAt(image, 108, 10), kRed);
    EXPECT_EQ(pixelAt(image, 101, 3), kGround);
    // A drawing that cannot be read leaves the pixels to be drawn.
    Bitmap broken(4, 4, kBlue);
    broken.setDrawing("not a drawing");
    {
        PainterDeviceContext dc(image);
        dc.drawBitmap(broken, 10, 2, 50, 42, BitmapMode::Copy);
    }
    EXPECT_EQ(pixelAt(image, 12, 4), kBlue);
}

TEST_F(Drawing, TheWindowOriginAndExtentMapLogicalUnitsOntoTheDevice)
{
    struct Case {
        const char* what;
        MapMode mode;
        Point windowOrigin, windowExtent, viewportExtent;
        QRect expected; // where the logical rectangle (10, 10)-(20, 20) lands
    };
    const Case cases[] = {
        {"text mode moves by the origin only", MapMode::Text, {5, 8}, {1000, 1000}, {10, 10}, QRect(5, 2, 10, 10)},
        {"anisotropic doubles x and halves y", MapMode::Anisotropic, {0, 0}, {50, 100}, {100, 50},
         QRect(20, 5, 20, 5)},
        {"isotropic takes the smaller scale", MapMode::Isotropic, {10, 10}, {50, 100}, {100, 50},
         QRect(0, 0, 5, 5)},
    };
    for (const Case& c : cases) {
        QImage image = whiteImage(60, 40);
        PainterDeviceContext dc(image);
        dc.setMapMode(c.mode);
        dc.setWindowOrigin(c.windowOrigin.x, c.windowOrigin.y);
        dc.setWindowExtent(c.windowExtent.x, c.windowExtent.y);
        dc.setViewportExtent(c.viewportExtent.x, c.viewportExtent.y);
        dc.setWindowExtent(0, 7); // refused: nothing can be mapped from it
        dc.fillRect(10, 10, 20, 20, Brush{BrushStyle::Solid, kBlack});
        EXPECT_EQ(inkBounds(image), c.expected) << c.what;
        EXPECT_EQ(dc.mapping().toDevice({20, 20}), (Point{c.expected.right() + 1, c.expected.bottom() + 1})) << c.what;
        EXPECT_EQ(dc.mapping().toLogical({c.expected.left(), c.expected.top()}), (Point{10, 10})) << c.what;
    }
}

TEST_F(Drawing, AnOpaqueBackgroundFillsBehindTextAndBetweenDashes)
{
    for (BackgroundMode mode : {BackgroundMode::Transparent, BackgroundMode::Opaque}) {
        QImage image(120, 40, QImage::Format_RGB32);
        image.fill(toQColor(kRed));
        {
            PainterDeviceContext dc(image);
            dc.setBackgroundColor(kWhite);
            dc.setBackgroundMode(mode);
            dc.setTextColor(kBlack);
            dc.textOut(2, 2, "ii");
            dc.setPen(Pen{PenStyle::Dash, 1, kBlue});
            dc.moveTo(0, 30);
            dc.lineTo(119, 30);
        }
        std::set<ColorRef> textArea, line;
        for (int y = 2; y < 14; ++y)
            for (int x = 2; x < 10; ++x)
                textArea.insert(pixelAt(image, x, y));
        // The end point aside: in a gap of the pattern it is left as it was.
        for (int x = 0; x < 119; ++x)
            line.insert(pixelAt(image, x, 30));
        bool opaque = mode == BackgroundMode::Opaque;
        EXPECT_EQ(textArea.count(kWhite) == 1, opaque);
        EXPECT_EQ(line, opaque ? (std::set<ColorRef>{kBlue, kWhite}) : (std::set<ColorRef>{kBlue, kRed}));
    }
}
