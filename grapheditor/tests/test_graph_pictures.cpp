// The graph on the real canvas window, offscreen: the demonstration model drawn
// with the program's symbols, erasing and drawing again equal to a fresh paint,
// scrolling, the metafile read back by our reader and an outside converter,
// the clipboard's picture and printing to PDF.
#include "common/canvas_window.h"
#include "common/startup.h"
#include "grapheditor/canvas_surface.h"
#include "grapheditor/graph_rendering.h"
#include "grapheditor/symbol_tables.h"
#include "grapheditor/tests/demo_model.h"
#include "grapheditor/tests/drawing_test_support.h"
#include "platform/core/metafile_reader.h"
#include "platform/core/metafile_records.h"
#include "platform/qt/clipboard.h"
#include "platform/testing/qt_support.h"
#include "platform/testing/temp_dir.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QPrinter>

#include <cmath>
#include <cstdlib>

namespace {

using graphtest::entry;

/// Keeps a picture in $ORVANTA_GRAB_DIR when that is set (to look at).
void keep(const QImage& image, const std::string& name)
{
    if (const char* grab = std::getenv("ORVANTA_GRAB_DIR"); grab && *grab)
        image.save(QString::fromLocal8Bit(grab) + "/" + QString::fromStdString(name) + ".png");
}

void keepFile(const std::string& path, const std::string& name)
{
    if (const char* grab = std::getenv("ORVANTA_GRAB_DIR"); grab && *grab) {
        QFile::remove(QString::fromLocal8Bit(grab) + "/" + QString::fromStdString(name));
        QFile::copy(QString::fromStdString(path), QString::fromLocal8Bit(grab) + "/" + QString::fromStdString(name));
    }
}

/// Where two pictures differ (for the message of a failed comparison).
std::string difference(const QImage& a, const QImage& b)
{
    if (a.size() != b.size())
        return "sizes differ";
    int l = a.width(), t = a.height(), r = -1, bottom = -1, count = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (a.pixel(x, y) != b.pixel(x, y)) {
                l = std::min(l, x), t = std::min(t, y), r = std::max(r, x), bottom = std::max(bottom, y);
                ++count;
            }
    if (count == 0)
        return "equal";

    return std::to_string(count) + " pixels differ in " + std::to_string(l) + "," + std::to_string(t) + " - " +
           std::to_string(r) + "," + std::to_string(bottom);
}

class Pictures : public ::testing::Test {
protected:
    void SetUp() override
    {
        testsupport::testApplication();
        ResetSettings();
        Settings().model_dirs = ORVANTA_LIBRARY_DIR;
        Startup().ResultDirectory = dir.path();
        SetGraphView(&view);
        platform::setMessageSink(&sink);
        clear_model();
        LibraryLists().clear();
        canvas = std::make_unique<TQNCanvas>(nullptr, "Canvas", true, PaintGraphCanvas);
        canvas->resize(820, 520);
        surface = std::make_unique<CanvasSurface>(*canvas);
        UseSymbolResources();
        gdi_setup(*surface);
        set_mapping();
        ASSERT_EQ(load_symbols(), 1);
    }
    void TearDown() override
    {
        clear_model();
        gdi_teardown();
        SetSymbolLoader({});
        SetGraphView(nullptr);
        platform::setMessageSink(nullptr);
        ResetStartup();
        canvas.reset();
    }

    /// The demonstration model with a signal block into a summation point, a
    /// crossed-out submodel, a computed causality and a selected PIO.
    void drawModel()
    {
        graphtest::drawDemoModel();
        LibraryEntry gain = entry("gain1"), plus = entry("plus1"), c = entry("c1");
        Submodel* block = create_submodel(500, 340, gain);
        Submodel* sum = create_submodel(640, 340, plus);
        create_submodel(100, 200, c);
        ConnectionDrawing drawing;
        drawing.leftClick(block->x, block->y, TOOL_SIGNAL);
        drawing.leftClick(sum->x, sum->y, TOOL_SIGNAL)->ends[1].portName = "plus1";
        for (Submodel& s : model.submodels)
            if (s.type->name == "ctl")
                SetSubmodelErrorMark(s, 1);
        for (Connection& connection : model.connections)
            if (connection.midpoints.size() == 2)
                connection.computedCausality = 2;
        redraw_all(1, 0);
    }

    /// Every look side by side, apart from one another: bond-graph elements with
    /// bonds, a multibond with its half-arrow and stroke, a computed and a conflicting
    /// causality, an array, signal blocks into a summation point, PIOs, a crossed-out
    /// submodel of no library and a selected bond with midpoints.
    void drawGallery()
    {
        auto at = [](const char* text, int x, int y) {
            LibraryEntry e = entry(text);
            return create_submodel(x, y, e);
        };
        auto join = [](std::initializer_list<std::pair<int, int>> clicks, int tool) {
            ConnectionDrawing drawing;
            Connection* made = nullptr;
            for (auto [x, y] : clicks)
                made = drawing.leftClick(x, y, tool);
            return made;
        };
        at("se1", 80, 80);
        at("1j1", 260, 80);
        at("0j1", 480, 80);
        Submodel* c = at("c1", 680, 80);
        at("r1", 260, 220);
        at("i1", 480, 220);
        join({{80, 80}, {260, 80}}, TOOL_BOND)->causality = 1;
        Connection* multibond = join({{260, 80}, {480, 80}}, TOOL_MULTIBOND);
        ParseSizeList("2", multibond->size, model.arguments);
        multibond->causality = 2;
        join({{480, 80}, {680, 80}}, TOOL_MULTIBOND)->computedCausality = 1;
        ParseSizeList("2", c->size, model.arguments);
        join({{260, 80}, {260, 220}}, TOOL_BOND)->computedCausality = 2;
        Connection* conflict = join({{480, 80}, {480, 220}}, TOOL_BOND);
        conflict->causality = 1;
        conflict->computedCausality = 2;
        Connection* bent = join({{260, 220}, {360, 300}, {560, 300}, {480, 220}}, TOOL_BOND);
        SetConnectionSelected(*bent, 1);

        Pio* in = create_pio(60, 400);
        Submodel* gain = at("gain1", 200, 400);
        Submodel* sum = at("plus1", 360, 400);
        Submodel* integral = at("intgrl1", 500, 400);
        Pio* out = create_pio(700, 400);
        Submodel* feedback = at("gain1", 500, 480);
        at("ctl1", 680, 220)->errorMark = 1;
        join({{in->x, in->y}, {gain->x, gain->y}}, TOOL_SIGNAL);
        join({{gain->x, gain->y}, {sum->x, sum->y}}, TOOL_SIGNAL)->ends[1].portName = "plus1";
        join({{sum->x, sum->y}, {integral->x, integral->y}}, TOOL_SIGNAL);
        join({{integral->x, integral->y}, {out->x, out->y}}, TOOL_SIGNAL);
        join({{integral->x, integral->y}, {feedback->x, feedback->y}}, TOOL_SIGNAL);
        join({{feedback->x, feedback->y}, {360, 480}, {sum->x, sum->y}}, TOOL_SIGNAL)->ends[1].portName = "minus1";
        redraw_all(1, 0);
    }

    /// What the canvas shows after its paint (rendering the window paints it now).
    QImage shown()
    {
        canvas->grab();
        return canvas->backingStore().copy();
    }
    QImage fresh()
    {
        invalidate_canvas();
        return shown();
    }

    GraphModel& model = CurrentModel();
    testsupport::TempDir dir;
    CanvasView view;
    platform::ScriptedMessageSink sink;
    std::unique_ptr<TQNCanvas> canvas;
    std::unique_ptr<CanvasSurface> surface;
};

TEST_F(Pictures, EveryElementAndConnectionSymbolIsAmongTheResources)
{
    for (std::size_t i = 0; i < ElementSymbols().size(); ++i) {
        const ElementSymbol& row = ElementSymbols()[i];
        SCOPED_TRACE(row.name);
        ASSERT_TRUE(row.colour && row.blackAndWhite);
        // A bond-graph element is one line high; a signal block is drawn above its name.
        EXPECT_EQ(row.height, i < 25 ? 15 : 22);
        EXPECT_EQ(row.blackAndWhite->width(), row.width);
    }
    for (const ConnectionSymbol& row : ConnectionSymbols()) {
        ASSERT_TRUE(row.bitmap) << row.name;
        EXPECT_EQ(std::pair(row.width, row.height), std::pair(30, 14)) << row.name;
    }
    // Directions and strokes make different pictures.
    EXPECT_NE(*connection_symbol("sbl"), *connection_symbol("sbr"));
    EXPECT_NE(*connection_symbol("sbrlc"), *connection_symbol("sbrrc"));
    EXPECT_NE(*connection_symbol("mb"), *connection_symbol("sb"));
}

TEST_F(Pictures, TheModelIsDrawnWithItsSymbolsArrowsStrokesAndMarks)
{
    drawModel();
    const QImage image = fresh();
    keep(image, "graph-demo");
    auto at = [&](int x, int y) { return image.pixelColor(x, y); };
    auto anyIn = [&](int l, int t, int r, int b, const std::function<bool(QColor)>& test) {
        for (int y = t; y <= b; ++y)
            for (int x = l; x <= r; ++x)
                if (test(at(x, y)))
                    return true;
        return false;
    };
    const auto red = [](QColor c) { return c.red() > 200 && c.green() < 60 && c.blue() < 60; };
    const auto blue = [](QColor c) { return c.blue() > 200 && c.red() < 60 && c.green() < 60; };
    const auto black = [](QColor c) { return c.red() < 60 && c.green() < 60 && c.blue() < 60; };
    // The crossed-out submodel: red at the ends of its cross.
    Submodel* ctl = nullptr;
    for (Submodel& s : model.submodels)
        if (s.type->name == "ctl")
            ctl = &s;
    ASSERT_TRUE(ctl);
    EXPECT_TRUE(red(at(ctl->x - 19, ctl->y + 19)));
    EXPECT_TRUE(red(at(ctl->x + 19, ctl->y + 19)));
    // The multibond between 1j_1 and 1j_2: two parallel lines 12 apart, and its stroke at end 1.
    Connection* multibond = nullptr;
    for (Connection& c : model.connections)
        if (c.size.size() == 1 && c.ends[0].submodel && c.ends[1].submodel && !c.isSignal)
            multibond = &c;
    ASSERT_TRUE(multibond);
    const int mx = (multibond->ends[0].edgeX + multibond->ends[1].edgeX) / 2;
    EXPECT_TRUE(black(at(mx, 94)));
    EXPECT_TRUE(black(at(mx, 106)));
    EXPECT_FALSE(black(at(mx, 100)));
    const int strokeX = multibond->ends[1].edgeX;
    EXPECT_TRUE(black(at(strokeX, 92)) && black(at(strokeX, 108)));
    // The computed causality without a specified one: a blue stroke.
    EXPECT_TRUE(anyIn(100, 75, 125, 100, blue));
    // The element symbols are in their colours: the source's brown, the C's blue.
    EXPECT_TRUE(anyIn(92, 93, 108, 107, [](QColor c) { return c.red() > 120 && c.green() > 50 && c.blue() < 40; }));
    EXPECT_TRUE(anyIn(94, 193, 106, 207, [](QColor c) { return c.blue() > 150 && c.red() < 40; }));
}

TEST_F(Pictures, EveryLookOfTheGalleryIsDrawn)
{
    drawGallery();
    const QImage image = fresh();
    keep(image, "graph-gallery");
    // Each object drew something inside its box.
    auto inked = [&](int l, int t, int w, int h) {
        for (int y = t; y < t + h; ++y)
            for (int x = l; x < l + w; ++x)
                if (image.pixelColor(x, y) != Qt::white && x % 20 && y % 20)
                    return true;
        return false;
    };
    for (const Submodel& s : model.submodels)
        EXPECT_TRUE(inked(s.left, s.top, s.width, s.height)) << s.name;
    for (const Pio& p : model.pios)
        EXPECT_TRUE(inked(p.left, p.top, p.width, p.height)) << p.name;
}

// Five inputs round the left half of a summation point and its output: every sign is drawn
// where nothing else is, its square white but for its own strokes.
TEST_F(Pictures, ACrowdedSummationPointShowsEverySignOnABlankPlace)
{
    LibraryEntry gain = entry("gain1"), plus = entry("plus1");
    Submodel* sum = create_submodel(400, 260, plus);
    int k = 0;
    for (auto [x, y] : {std::pair{220, 260}, {260, 140}, {260, 380}, {400, 100}, {400, 420}, {240, 200}}) {
        Submodel* from = create_submodel(x, y, gain);
        ConnectionDrawing drawing;
        drawing.leftClick(from->x, from->y, TOOL_SIGNAL);
        drawing.leftClick(sum->x, sum->y, TOOL_SIGNAL)->ends[1].portName = (k % 2 ? "minus" : "plus") + std::to_string(k);
        ++k;
    }
    Submodel* to = create_submodel(600, 260, gain);
    ConnectionDrawing out;
    out.leftClick(sum->x, sum->y, TOOL_SIGNAL);
    out.leftClick(to->x, to->y, TOOL_SIGNAL);
    Settings().grid = 0; // no dots where the signs are looked at
    redraw_all(1, 0);
    const QImage image = fresh();
    keep(image, "graph-crowded-summation");

    const std::vector<SummationSign> signs = summation_signs(*sum);
    ASSERT_EQ(signs.size(), 6u);
    for (const SummationSign& sign : signs) {
        const int cx = sign.centre.x, cy = sign.centre.y;
        SCOPED_TRACE(std::to_string(cx) + "," + std::to_string(cy));
        // A stroke is drawn up to, not onto, its last point.
        for (int y = cy - 3; y <= cy + 4; ++y)
            for (int x = cx - 3; x <= cx + 4; ++x) {
                const bool stroke = (y == cy && x < cx + 4) || (sign.plus && x == cx && y < cy + 4);
                if (stroke)
                    EXPECT_NE(image.pixelColor(x, y), QColor(Qt::white)) << x << "," << y;
                else
                    EXPECT_EQ(image.pixelColor(x, y), QColor(Qt::white)) << x << "," << y << " is inked";
            }
    }
}

TEST_F(Pictures, ErasingAndDrawingAgainLeavesTheFreshPicture)
{
    drawGallery();
    QImage before = fresh();
    Pio* pio = model.pios.head();

    // A PIO erased and drawn again, selected, then unselected: no thick frame is left.
    draw_pio(*pio, 0);
    draw_pio(*pio, 1);
    EXPECT_EQ(difference(shown(), before), "equal");
    SetPioSelected(*pio, 1);
    const QImage selected = shown();
    EXPECT_NE(selected, before);
    EXPECT_EQ(selected, fresh());
    SetPioSelected(*pio, 0);
    EXPECT_EQ(shown(), before);

    // The same for submodels of every look, connections and the error mark. An erased
    // cross takes the grid's dots under it with it: without the grid the picture is the fresh one.
    Settings().grid = 0;
    before = fresh();
    for (Submodel& s : model.submodels) {
        SetSubmodelSelected(s, !s.selected);
        SetSubmodelSelected(s, !s.selected);
        SetSubmodelErrorMark(s, !s.errorMark);
        SetSubmodelErrorMark(s, !s.errorMark);
    }
    SetPioErrorMark(*pio, 1);
    SetPioErrorMark(*pio, 0);
    for (Connection& c : model.connections) {
        SetConnectionSelected(c, !c.selected);
        SetConnectionSelected(c, !c.selected);
    }
    EXPECT_EQ(difference(shown(), before), "equal");
    keep(shown(), "graph-after-redraws");

    // Drawing a connection by clicks: the band and the lines are XOR and leave nothing.
    ConnectionDrawing drawing;
    drawing.leftClick(80, 80, TOOL_BOND); // se_1
    drawing.leftClick(160, 180, TOOL_BOND);
    band_move(200, 300);
    ASSERT_EQ(band_active(), 1);
    const QImage band = shown();
    keep(band, "graph-band");
    EXPECT_NE(band, before);
    EXPECT_EQ(difference(fresh(), band), "equal"); // a new picture shows the band and the line again
    drawing.cancel();
    EXPECT_EQ(difference(shown(), before), "equal");
}

TEST_F(Pictures, ScrollingShowsTheDrawingFromTheNewOrigin)
{
    drawModel();
    const QImage before = fresh();
    scroll_to(40, 20);
    const QImage scrolled = shown();
    EXPECT_EQ(difference(scrolled.copy(0, 0, 600, 400), before.copy(40, 20, 600, 400)), "equal");
    int x = 0, y = 0;
    scroll_position(x, y);
    EXPECT_EQ(std::pair(x, y), std::pair(40, 20));
    EXPECT_EQ(device_to_drawing(0, 0), platform::Point(40, 20));
}

TEST_F(Pictures, TheMetafileIsReadBackByOurReaderAndByAnOutsideConverter)
{
    drawModel();
    model.name = "demo";
    ASSERT_EQ(export_drawing(1), 1);
    const std::string path = dir.path() + "/demo.wmf";
    keepFile(path, "graph-demo.wmf");
    std::string error;
    const auto file = platform::readMetafile(testsupport::readText(path), &error);
    ASSERT_TRUE(file) << error;
    EXPECT_TRUE(file->checksumMatches);
    const ExportArea area = export_area();
    EXPECT_EQ((std::vector<int>{file->left, file->top, file->right, file->bottom}),
              (std::vector<int>{area.left, area.top, area.left + area.width, area.top + area.height}));
    EXPECT_GT(area.width, 0);
    // Each built-in submodel's colour symbol, every text, no grid.
    int builtins = 0;
    for (const Submodel& s : model.submodels)
        builtins += s.type->libraryIndex >= 0 && s.type->name != "plus";
    EXPECT_EQ(static_cast<int>(file->recordsOf(platform::wmf::StretchDib).size()), builtins);
    EXPECT_TRUE(file->recordsOf(platform::wmf::SetPixel).empty());
    EXPECT_FALSE(file->recordsOf(platform::wmf::TextOut).empty());

    const std::string svgPath = dir.file("demo.svg");
    std::string conversionError;
    const std::optional<std::string> converted = testsupport::convertMetafileToSvg(path, svgPath, conversionError);
    if (!converted && conversionError.empty()) {
        if (std::getenv("CI"))
            FAIL() << "wmf2svg is not installed (scripts/install-deps installs libwmf-bin)";
        GTEST_SKIP() << "wmf2svg is not installed";
    }
    ASSERT_TRUE(converted) << conversionError;
    const std::string& svg = *converted;
    keepFile(svgPath, "graph-demo-converted.svg");
    EXPECT_NE(svg.find("<line"), std::string::npos);
    EXPECT_NE(svg.find("ctl_1_1"), std::string::npos);
    EXPECT_NE(svg.find("<ellipse"), std::string::npos);
}

TEST_F(Pictures, TheClipboardHoldsTheDrawingInThreeFormats)
{
    drawModel();
    ASSERT_EQ(export_drawing(0), 1);
    const auto metafile = platform::takeFromClipboard(platform::kMetafileMimeType);
    const auto png = platform::takeFromClipboard(platform::kPngMimeType);
    ASSERT_TRUE(metafile && png);
    const auto file = platform::readMetafile(*metafile);
    ASSERT_TRUE(file);
    EXPECT_EQ(file->unitsPerInch, 102);
    const QImage image = QImage::fromData(QByteArray(png->data(), static_cast<qsizetype>(png->size())), "PNG");
    const ExportArea area = export_area();
    // A unit is a quarter of a millimetre: the picture is 96 / 102 of its units wide at 96 pixels an inch.
    EXPECT_EQ(image.size(), QSize(static_cast<int>(std::lround(area.width * 96.0 / 102)),
                                  static_cast<int>(std::lround(area.height * 96.0 / 102))));
    keep(image, "graph-clipboard");
}

TEST_F(Pictures, PrintingToPdfFitsTheDrawingToThePage)
{
    drawModel();
    const std::vector<int> box{model.submodels.head()->left, model.submodels.head()->top};
    const std::string pdf = dir.file("graph.pdf");
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QString::fromStdString(pdf));
    DrawingPrintout printout("Orvanta Graph Editor", 0);
    ASSERT_TRUE(platform::printDocument(printout, printer, false));
    const std::string bytes = testsupport::readText(pdf);
    ASSERT_GT(bytes.size(), 1000u);
    EXPECT_EQ(bytes.substr(0, 5), "%PDF-");
    keepFile(pdf, "graph-demo.pdf");
    // The canvas's boxes are as they were before printing.
    EXPECT_EQ((std::vector<int>{model.submodels.head()->left, model.submodels.head()->top}), box);
    EXPECT_EQ(printing_mode(), 0);
}

} // namespace
