// The drawing layer on a recording canvas: pens and their erasing twins, the
// primitives' box, printing (scale, monochrome, the boxes laid out again), the XOR
// rubber band and temporary lines, repainting, scrolling, metafile and clipboard export.
#include "common/startup.h"
#include "grapheditor/graph_rendering.h"
#include "grapheditor/tests/drawing_test_support.h"
#include "grapheditor/tests/graph_test_support.h"
#include "platform/core/metafile_reader.h"
#include "platform/core/metafile_records.h"
#include "platform/testing/temp_dir.h"

#include <gtest/gtest.h>

namespace {

using graphtest::entry;
using platform::Point;
using Calls = std::vector<std::string>;

class Layer : public drawtest::DrawingTest {
protected:
    /// The calls that drawing makes on the canvas after the set-up lines of its scope.
    Calls drawn(const std::function<void()>& draw)
    {
        const std::size_t before = surface.context.calls().size();
        draw();
        Calls calls = surface.callsFrom(before);
        // Each scope starts with the canvas's mapping, alignment, background and font.
        calls.erase(std::remove_if(calls.begin(), calls.end(),
                                   [](const std::string& c) {
                                       return c.rfind("mapMode", 0) == 0 || c.rfind("window", 0) == 0 ||
                                              c.rfind("viewport", 0) == 0 || c.rfind("textAlign", 0) == 0 ||
                                              c.rfind("bkMode", 0) == 0 || c.rfind("font", 0) == 0;
                                   }),
                    calls.end());
        return calls;
    }

    GraphModel& model = CurrentModel();
};

TEST_F(Layer, PensFollowTheLevelTheErrorFlagAndTheColourStack)
{
    auto pen = [] { const platform::Pen& p = current_pen(); return std::to_string(p.width) + " " + std::to_string(p.color); };
    const std::string thin = "1 0", thick = "3 0", thickRed = "3 255", red2 = "2 255", thinBlue = "1 16711680",
                      thickBlue = "3 16711680";
    set_line_level(0);
    EXPECT_EQ(pen(), thin);
    set_line_level(2);
    EXPECT_EQ(pen(), thick);
    set_error_pen(1);
    EXPECT_EQ(pen(), thickRed);
    set_line_level(3); // the thick red pen stays
    EXPECT_EQ(pen(), thickRed);
    push_colour_pen(1);
    EXPECT_EQ(pen(), thickBlue);
    pop_colour_pen();
    EXPECT_EQ(pen(), thickRed);
    set_error_pen(0);
    EXPECT_EQ(pen(), thick);
    set_line_level(1);
    EXPECT_EQ(pen(), thin);
    push_colour_pen(1);
    EXPECT_EQ(pen(), thinBlue);
    pop_colour_pen();
    push_colour_pen(2);
    EXPECT_EQ(pen(), red2);
    // Erasing a line of the red pen of width 2 takes the thick erase pen, not the thin one.
    EXPECT_EQ(drawn([] { draw_line(0, 0, 10, 0, 0); }), (Calls{"pen solid 3 FFFFFF", "moveTo 0 0", "lineTo 10 0"}));
    pop_colour_pen();
    push_colour_pen(7); // saves only
    EXPECT_EQ(pen(), thin);
    pop_colour_pen();
    EXPECT_EQ(pen(), thin);
}

TEST_F(Layer, PrimitivesDrawWithThePenAndEraseInTheWindowColour)
{
    set_line_level(0);
    EXPECT_EQ(drawn([] { draw_line(1, 2, 3, 4, 1); }), (Calls{"pen solid 1 000000", "moveTo 1 2", "lineTo 3 4"}));
    EXPECT_EQ(drawn([] { draw_line(1, 2, 3, 4, 0); }), (Calls{"pen solid 1 FFFFFF", "moveTo 1 2", "lineTo 3 4"}));
    EXPECT_EQ(drawn([] { draw_rectangle(10, 20, 30, 40, 1); }),
              (Calls{"pen solid 1 000000", "brush FFFFFF", "rectangle 10 20 40 60"}));
    EXPECT_EQ(drawn([] { draw_ellipse(10, 20, 30, 40, 0); }),
              (Calls{"pen solid 1 FFFFFF", "brush FFFFFF", "ellipse 10 20 40 60"}));
    EXPECT_EQ(drawn([] { draw_text(5, 50, "abc", 1); }), (Calls{"textColor 000000", "text 5 50 abc"}));
    EXPECT_EQ(drawn([] { draw_centred_text(50, 50, "abcd", 0); }), (Calls{"textColor FFFFFF", "text 36 50 abcd"}));
    const platform::Bitmap colour(4, 3, 0x00FF00), blackAndWhite(4, 3, 0);
    EXPECT_EQ(drawn([&] { draw_bitmap({&colour, &blackAndWhite}, 8, 6, 100, 200, 1); }),
              (Calls{"bitmap 100 200 108 206 transparent 4x3"}));
    EXPECT_EQ(drawn([&] { draw_bitmap({&colour, &blackAndWhite}, 8, 6, 100, 200, 0); }),
              (Calls{"fillRect 100 200 108 206 FFFFFF"}));

    // Every primitive extends the box by its corners; text by half its height.
    reset_box();
    EXPECT_TRUE(bounding_box().empty());
    EXPECT_EQ(bounding_box().minX, model.width);
    EXPECT_EQ(bounding_box().maxX, 0);
    draw_rectangle(100, 100, 50, 20, 1);
    draw_text(300, 400, "ab", 1);
    const DrawingBox box = bounding_box();
    EXPECT_EQ((std::vector<int>{box.minX, box.minY, box.maxX, box.maxY}), (std::vector<int>{100, 100, 314, 406}));

    // What a scope drew is handed back as the device rectangle to show, the margin of wide pens added.
    surface.scrolls = true;
    surface.range = {1000, 1000};
    surface.scrollerScrollTo(5, 7);
    surface.changed.clear();
    draw_line(10, 10, 20, 30, 1);
    EXPECT_EQ(surface.changed, (std::vector<std::vector<int>>{{10 - 5 - 3, 10 - 7 - 3, 20 - 5 + 4, 30 - 7 + 4}}));
}

TEST_F(Layer, TheGridIsDrawnWhereTheCanvasShowsIt)
{
    model.width = 100;
    model.height = 50;
    Calls calls = drawn([] { draw_grid(1); });
    EXPECT_EQ(std::count_if(calls.begin(), calls.end(), [](const std::string& c) { return c.rfind("pixel", 0) == 0; }),
              6 * 3);
    EXPECT_EQ(calls.back(), "pixel 100 40 000000");
    // Into another context (a metafile, a printer) there is no grid and no background.
    platform::RecordingDeviceContext other;
    draw_into(&other);
    for (const std::string& call : other.calls())
        EXPECT_NE(call.rfind("pixel", 0), 0u) << call;
}

TEST_F(Layer, TheRubberBandIsDrawnOnceAndErasedByDrawingItAgain)
{
    auto xors = [&](const std::function<void()>& action) {
        Calls out;
        for (const std::string& call : drawn(action))
            if (call.rfind("moveTo", 0) == 0 || call.rfind("lineTo", 0) == 0 || call.rfind("rop", 0) == 0)
                out.push_back(call);
        return out;
    };
    const Calls line = {"rop xor", "moveTo 10 10", "lineTo 50 60", "rop copy"};
    EXPECT_EQ(xors([] { band_stop(); }), Calls{}); // not active: nothing
    EXPECT_EQ(xors([] { band_start(10, 10, 50, 60); }), line);
    EXPECT_EQ(xors([] { band_start(10, 10, 90, 90); }), Calls{}); // already active
    EXPECT_EQ(band_active(), 1);
    EXPECT_EQ(xors([] { band_move(70, 20); }),
              (Calls{"rop xor", "moveTo 10 10", "lineTo 50 60", "rop copy", "rop xor", "moveTo 10 10", "lineTo 70 20",
                     "rop copy"}));
    EXPECT_EQ(xors([] { band_stop(); }), (Calls{"rop xor", "moveTo 10 10", "lineTo 70 20", "rop copy"}));
    EXPECT_EQ(band_active(), 0);
    EXPECT_EQ(xors([] { band_move(1, 1); }), Calls{});
    // A restart keeps the origin.
    EXPECT_EQ(xors([] { band_restart(30, 40); }), (Calls{"rop xor", "moveTo 10 10", "lineTo 30 40", "rop copy"}));
    band_stop();
    // The band is dotted and its gaps drawn opaque, so that drawing it twice leaves the picture.
    const std::size_t before = surface.context.calls().size();
    band_start(0, 0, 5, 5);
    const Calls all = surface.callsFrom(before);
    EXPECT_NE(std::find(all.begin(), all.end(), "pen dot 1 000000"), all.end());
    EXPECT_NE(std::find(all.begin(), all.end(), "bkMode opaque"), all.end());
}

TEST_F(Layer, TheCanvasIsRepaintedWholeOnlyWhenItsPictureIsOutOfDate)
{
    create_pio(200, 200);
    platform::RecordingDeviceContext paint;
    auto painted = [&] {
        paint.clear();
        paint_canvas(&paint);
        return std::count(paint.calls().begin(), paint.calls().end(), "text 189 204 p_1");
    };
    EXPECT_EQ(painted(), 1);
    EXPECT_EQ(painted(), 0); // the canvas holds the picture already
    surface.width = 900;
    EXPECT_EQ(painted(), 1); // resized
    invalidate_canvas();
    EXPECT_EQ(painted(), 1);
    surface.scrolls = true;
    surface.range = {500, 500};
    surface.scrollerScrollTo(20, 0);
    EXPECT_EQ(painted(), 1); // scrolled: drawn at its drawing units under the new origin
    EXPECT_NE(std::find(paint.calls().begin(), paint.calls().end(), "windowOrigin 20 0"), paint.calls().end());

    // The band and the temporary lines of a connection being drawn come back over a new picture.
    temporary_line(0, 0, 100, 0, 1);
    temporary_line(0, 0, 100, 0, 1); // shown once
    band_start(100, 0, 150, 50);
    invalidate_canvas();
    painted();
    const Calls& calls = paint.calls();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "rop xor"), 2);
    EXPECT_EQ(calls[calls.size() - 3], "lineTo 150 50");
    temporary_line(0, 0, 100, 0, 0);
    band_stop();
    invalidate_canvas();
    painted();
    EXPECT_EQ(std::count(paint.calls().begin(), paint.calls().end(), "rop xor"), 0);
}

TEST_F(Layer, ScrollingMapsTheClientAreaOntoTheDrawing)
{
    model.width = 1500;
    model.height = 1000;
    surface.scrolls = true;
    Settings().grid_snap_size = 1;
    set_mapping();
    EXPECT_EQ(surface.range, Point(700, 400));
    EXPECT_EQ(surface.lineSteps, Point(40, 40));
    scroll_to(100, 50);
    int x = 0, y = 0;
    scroll_position(x, y);
    EXPECT_EQ(Point(x, y), Point(100, 50));
    EXPECT_EQ(device_to_drawing(10, 20), Point(110, 70));
    warp_cursor(150, 90);
    EXPECT_EQ(surface.cursor, Point(50, 40));
    EXPECT_EQ(is_visible(100, 50), 1);
    EXPECT_EQ(is_visible(899, 649), 1);
    EXPECT_EQ(is_visible(900, 300), 0);
    EXPECT_EQ(is_visible(99, 300), 0);
    centre_on(1000, 600);
    scroll_position(x, y);
    EXPECT_EQ(Point(x, y), Point(600, 300));
    centre_on(1500, 1000); // as far as the scroller goes
    scroll_position(x, y);
    EXPECT_EQ(Point(x, y), Point(700, 400));
    // A client area larger than the drawing scrolls nowhere.
    surface.width = 2000;
    update_scroller();
    EXPECT_EQ(surface.range.x, 0);
    // The canvas view reports the position for the model file.
    EXPECT_EQ(view.scrollPosition(), (std::optional<std::pair<int, int>>{{700, 400}}));
    surface.scrolls = false;
    EXPECT_EQ(view.scrollPosition(), std::nullopt);
}

TEST_F(Layer, ALoadedModelScrollsToItsPositionAndClearingTheModelTakesTheBandAway)
{
    // A model read with a larger extent than the scroller's range so far.
    surface.scrolls = true;
    set_mapping();
    EXPECT_EQ(surface.range, Point(700, 400));
    model.width = 3000;
    model.height = 2000;
    view.scrollTo(900, 700);
    EXPECT_EQ(surface.scroll, Point(900, 700));

    band_start(10, 10, 40, 40);
    temporary_line(0, 0, 10, 10, 1);
    clear_model();
    EXPECT_EQ(band_active(), 0);
    platform::RecordingDeviceContext paint;
    invalidate_canvas();
    paint_canvas(&paint);
    EXPECT_EQ(std::count(paint.calls().begin(), paint.calls().end(), "rop xor"), 0);
    // The cleared model has the extent of a new one: the scroller's range follows.
    EXPECT_EQ(surface.range, Point(700, 400));
}

/// A printer whose text grows with its font, as a real one does: 7 / 13 of the font
/// height a character, the height a line.
class ScalingPrinter : public platform::RecordingDeviceContext {
public:
    void setFont(const platform::FontSpec& font) override
    {
        m_height = font.pixelHeight;
        RecordingDeviceContext::setFont(font);
    }
    platform::TextMetrics textMetrics() override { return {m_height, m_height * 10 / 13, m_height * 7 / 13}; }
    int textWidth(std::string_view text) override { return static_cast<int>(text.size()) * m_height * 7 / 13; }

private:
    int m_height = 13;
};

TEST_F(Layer, PrintingScalesTheDrawingToThePageAndGivesTheBoxesBack)
{
    LibraryEntry se = entry("se1");
    Submodel* s = create_submodel(400, 300, se);
    Pio* pio = create_pio(600, 300);
    const std::vector<int> screenBox{s->left, s->top, s->width, s->height};

    // The box of what is drawn, 5 more on each side, fits a page three times as wide.
    const ExportArea area = export_area();
    ScalingPrinter printer;
    print_drawing(printer, 3 * area.width, 3000, 0);
    const Calls& calls = printer.calls();
    EXPECT_EQ(calls[0], "windowOrigin " + std::to_string(3 * area.left) + " " + std::to_string(3 * area.top));
    EXPECT_NE(std::find(calls.begin(), calls.end(), "font DejaVu Sans 39 0"), calls.end());
    EXPECT_NE(std::find(calls.begin(), calls.end(),
                        "text " + std::to_string(3 * (pio->left + 5)) + " " +
                            std::to_string(3 * (pio->top + pio->height * 7 / 10)) + " p_1"),
              calls.end());
    // Its colour symbol is drawn into the scaled box, its white leaving the paper.
    const std::string symbolBox = std::to_string(3 * (400 - 8)) + " " + std::to_string(3 * (300 - 7)) + " " +
                                  std::to_string(3 * (400 + 8)) + " " + std::to_string(3 * (300 + 8));
    EXPECT_NE(std::find(calls.begin(), calls.end(), "bitmap " + symbolBox + " transparent 16x15"), calls.end());
    EXPECT_EQ(print_scale(), 1.0);
    EXPECT_EQ(printing_mode(), 0);
    // Measured on the printer the boxes came out the same in drawing units; afterwards they are the canvas's.
    EXPECT_EQ((std::vector<int>{s->left, s->top, s->width, s->height}), screenBox);

    // The whole extent on a monochrome printer: black and white only.
    ScalingPrinter monochrome;
    monochrome.setDeviceFacts(1, true);
    s->errorMark = 1;
    s->selected = 1;
    print_drawing(monochrome, model.width / 2, model.height / 2, 1);
    for (const std::string& call : monochrome.calls()) {
        if (call.rfind("pen ", 0) == 0 || call.rfind("textColor", 0) == 0) {
            EXPECT_TRUE(call.ends_with(" 000000") || call.ends_with(" FFFFFF")) << call;
        }
    }
    EXPECT_NE(std::find(monochrome.calls().begin(), monochrome.calls().end(), "windowOrigin 0 0"),
              monochrome.calls().end());
    // There the symbol's ink is black.
    const auto symbolCall = std::find_if(monochrome.calls().begin(), monochrome.calls().end(),
                                         [](const std::string& call) { return call.rfind("bitmap ", 0) == 0; });
    ASSERT_NE(symbolCall, monochrome.calls().end());
    EXPECT_TRUE(symbolCall->ends_with(" masked 16x15")) << *symbolCall;
}

class Export : public Layer {
protected:
    void SetUp() override
    {
        Layer::SetUp();
        Startup().ResultDirectory = dir.path();
        sink.clear();
    }
    void TearDown() override
    {
        ResetStartup();
        Layer::TearDown();
    }
    testsupport::TempDir dir;
};

TEST_F(Export, AnEmptyDrawingIsExportedWithTheWholeExtent)
{
    const ExportArea area = export_area();
    EXPECT_EQ((std::vector<int>{area.left, area.top, area.width, area.height}), (std::vector<int>{0, 0, 1500, 1000}));
    ASSERT_EQ(export_drawing(1), 1);
    EXPECT_EQ(export_file_name(), dir.path() + "/untitled.wmf");
    std::string error;
    const auto file = platform::readMetafile(testsupport::readText(export_file_name()), &error);
    ASSERT_TRUE(file) << error;
    EXPECT_EQ((std::vector<int>{file->left, file->top, file->right, file->bottom}),
              (std::vector<int>{0, 0, 1500, 1000}));
    EXPECT_TRUE(file->checksumMatches);
}

TEST_F(Export, TheMetafileShowsTheDrawnBoxAndTheColourSymbols)
{
    LibraryEntry se = entry("se1");
    Submodel* s = create_submodel(400, 300, se);
    Pio* pio = create_pio(600, 300);
    model.name = "demo";
    // The element's frame starts at 388, the PIO's at 289 and ends at 615; the name ":se_1"
    // reaches half its height below its baseline, 311.
    ASSERT_EQ(s->left, 387);
    ASSERT_EQ(pio->top, 288);
    const ExportArea area = export_area();
    EXPECT_EQ((std::vector<int>{area.left, area.top, area.width, area.height}),
              (std::vector<int>{388 - 5, 289 - 5, 615 - 388 + 10, 311 - 289 + 10}));
    ASSERT_EQ(export_drawing(1), 1);
    EXPECT_EQ(export_file_name(), dir.path() + "/demo.wmf");
    const auto file = platform::readMetafile(testsupport::readText(export_file_name()));
    ASSERT_TRUE(file);
    EXPECT_EQ((std::vector<int>{file->left, file->top, file->right, file->bottom}),
              (std::vector<int>{area.left, area.top, area.left + area.width, area.top + area.height}));
    EXPECT_EQ(file->unitsPerInch, 102);
    EXPECT_EQ(file->recordsOf(platform::wmf::StretchDib).size(), 1u);
    EXPECT_EQ(file->recordsOf(platform::wmf::TextOut).size(), 2u);
    EXPECT_TRUE(file->recordsOf(platform::wmf::SetPixel).empty()); // no grid
    EXPECT_TRUE(sink.transcript().empty());
    EXPECT_EQ(view.statuses, (std::vector<std::string>{"Copying drawing to metafile...",
                                                       "Drawing printed as metafile: " + dir.path() + "/demo.wmf"}));

    // Unwritable: the message names the file.
    Startup().ResultDirectory = dir.path() + "/missing/deeper";
    EXPECT_EQ(export_drawing(1), 0);
    EXPECT_EQ(sink.transcriptLines(), (std::vector<std::string>{"Cannot create meta file : " + dir.path() +
                                                                "/missing/deeper/demo.wmf"}));
}

TEST_F(Export, TheClipboardGetsThePictureOrTheReasonItCannot)
{
    create_pio(600, 300);
    ASSERT_EQ(export_drawing(0), 1);
    const ExportArea area = export_area();
    EXPECT_EQ(surface.picture, (std::vector<int>{area.left, area.top, area.width, area.height}));
    EXPECT_EQ(surface.pictureUnitsPerInch, 102);
    const Calls& calls = surface.pictureCalls.calls();
    EXPECT_NE(std::find(calls.begin(), calls.end(), "text 589 304 p_1"), calls.end());
    EXPECT_TRUE(sink.transcript().empty());
    EXPECT_EQ(view.statuses.back(), "Drawing is copied to clipboard.");

    surface.clipboardFree = false;
    EXPECT_EQ(export_drawing(0), 0);
    EXPECT_EQ(sink.transcriptLines(), (std::vector<std::string>{"Error: Could not get control of the clipboard",
                                                                "since it is used by another program."}));
    EXPECT_EQ(view.statuses.back(), "Error: Clipboard in use.");
}

} // namespace
