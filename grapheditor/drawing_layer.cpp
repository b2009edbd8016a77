// The drawing layer: the canvas and the other targets, pens, primitives with their
// draw flag, the bounding box, the rubber band, scrolling, metafile and clipboard
// export and printing.
#include "grapheditor/drawing_layer.h"

#include "common/dialog_fonts.h"
#include "common/message_boxes.h"
#include "common/startup.h"
#include "grapheditor/graph_objects.h"
#include "grapheditor/graph_rendering.h"
#include "grapheditor/graph_view.h"
#include "grapheditor/symbol_tables.h"
#include "platform/core/metafile_writer.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <optional>
#include <vector>

using platform::BackgroundMode;
using platform::BitmapMode;
using platform::Brush;
using platform::DeviceContext;
using platform::FontSpec;
using platform::MapMode;
using platform::Pen;
using platform::PenStyle;
using platform::Point;

platform::FontSpec DrawingSurface::font() const
{
    const FontSpec* dialogFont = GetDialogFont();
    return dialogFont ? *dialogFont : FontSpec{};
}

namespace {

constexpr platform::ColorRef kRed = platform::rgb(255, 0, 0);
constexpr platform::ColorRef kBlue = platform::rgb(0, 0, 255);

/// One drawing unit is a quarter of a millimetre in pictures of the drawing.
constexpr int kPictureUnitsPerInch = 102;

enum PenId {
    PEN_THIN,
    PEN_DOTTED,
    PEN_THICK_RED,
    PEN_THICK,
    PEN_THICK_ERASE,
    PEN_THIN_ERASE,
    PEN_THIN_BLUE,
    PEN_RED2,
    PEN_THICK_BLUE,
    PEN_THICK_RED2,
    PEN_COUNT,
};

const Pen kPens[PEN_COUNT] = {
    {PenStyle::Solid, 1, kWindowTextColour}, {PenStyle::Dot, 1, kWindowTextColour},
    {PenStyle::Solid, 3, kRed},              {PenStyle::Solid, 3, kWindowTextColour},
    {PenStyle::Solid, 3, kWindowColour},     {PenStyle::Solid, 1, kWindowColour},
    {PenStyle::Solid, 1, kBlue},             {PenStyle::Solid, 2, kRed},
    {PenStyle::Solid, 3, kBlue},             {PenStyle::Solid, 3, kRed},
};

/// What was last given to the context, so that only changes are passed on.
struct ContextState {
    std::optional<Pen> pen;
    std::optional<Brush> brush;
    std::optional<platform::ColorRef> textColour;
    std::optional<FontSpec> font;
    std::optional<int> lineHeight; // of the font given
};

struct Layer {
    DrawingSurface* surface = nullptr;
    std::unique_ptr<DeviceContext> measure; // the canvas's text metrics without a drawing context
    ContextState measureState;
    FontSpec font;                          // the canvas's font (scaled while printing)

    DeviceContext* dc = nullptr; // where the primitives draw now
    ContextState dcState;
    int depth = 0;             // open canvas scopes
    bool fromSurface = false;  // `dc` came from the surface and goes back to it
    bool onCanvas = false;     // `dc` shows the canvas (scrolled, grid, background)
    bool boxOnly = false;      // primitives only extend the box
    DrawingBox dirty;          // drawing units changed on the canvas in this scope

    PenId pen = PEN_THIN;
    PenId savedPen = PEN_THIN;

    int printing = 0;
    int metafile = 0;
    int monochrome = 0;
    double scale = 1.0;

    DrawingBox box;

    bool bandActive = false;
    Point bandOrigin, bandEnd;
    struct Line {
        int x0, y0, x1, y1;
    };
    std::vector<Line> temporaryLines;

    bool pictureValid = false; // the canvas holds the drawing as it is
    Point paintedScroll;
    int paintedWidth = -1, paintedHeight = -1;
};

Layer g;

void extend(DrawingBox& box, int x, int y)
{
    box.minX = std::min(box.minX, x);
    box.minY = std::min(box.minY, y);
    box.maxX = std::max(box.maxX, x);
    box.maxY = std::max(box.maxY, y);
}

DrawingBox emptyBox()
{
    return {INT_MAX, INT_MAX, INT_MIN, INT_MIN};
}

/// Every drawn point extends the bounding box, and on the canvas the part to show again.
void drawn(int x, int y)
{
    extend(g.box, x, y);
    if (g.onCanvas)
        extend(g.dirty, x, y);
}

/// A coordinate or size as the context gets it: scaled while printing, truncated toward zero.
int scaled(int value)
{
    return g.printing ? static_cast<int>(std::trunc(value * g.scale)) : value;
}

Point scrollPosition()
{
    return g.surface && g.surface->hasScroller() ? g.surface->scrollerPosition() : Point{};
}

bool drawing()
{
    return g.dc && !g.boxOnly;
}

void applyPen(const Pen& pen)
{
    Pen given = pen;
    if (g.printing && given.width > 1)
        given.width = std::max(1, static_cast<int>(std::trunc(given.width * g.scale)));
    if (g.dcState.pen != given) {
        g.dc->setPen(given);
        g.dcState.pen = given;
    }
}

void applyBrush(const Brush& brush)
{
    if (g.dcState.brush != brush) {
        g.dc->setBrush(brush);
        g.dcState.brush = brush;
    }
}

void applyTextColour(platform::ColorRef colour)
{
    if (g.dcState.textColour != colour) {
        g.dc->setTextColor(colour);
        g.dcState.textColour = colour;
    }
}

void applyFont(DeviceContext& dc, ContextState& state)
{
    if (state.font != g.font) {
        dc.setFont(g.font);
        state.font = g.font;
        state.lineHeight.reset();
    }
}

/// The pen a primitive draws with: the current pen, or for erasing one of the
/// window colour as wide (the thin erase pen or the thick erase pen); in
/// monochrome black or white.
Pen linePen(int draw)
{
    const Pen& current = kPens[g.pen];
    Pen pen = draw ? current : kPens[current.width > 1 ? PEN_THICK_ERASE : PEN_THIN_ERASE];
    if (g.monochrome)
        pen.color = draw ? 0x000000 : 0xFFFFFF;
    return pen;
}

Brush fillBrush()
{
    return Brush{platform::BrushStyle::Solid, kWindowColour};
}

platform::ColorRef textColour(int draw)
{
    if (g.monochrome)
        return draw ? 0x000000 : 0xFFFFFF;
    return draw ? kWindowTextColour : kWindowColour;
}

/// Makes `context` the target of the primitives for the scope's life.
class Target {
public:
    Target(DeviceContext* context, bool onCanvas)
        : m_dc(g.dc), m_state(g.dcState), m_onCanvas(g.onCanvas), m_fromSurface(g.fromSurface), m_dirty(g.dirty)
    {
        g.dc = context;
        g.dcState = {};
        g.onCanvas = onCanvas;
        g.fromSurface = false;
        g.dirty = emptyBox();
    }
    ~Target()
    {
        g.dc = m_dc;
        g.dcState = m_state;
        g.onCanvas = m_onCanvas;
        g.fromSurface = m_fromSurface;
        g.dirty = m_dirty;
    }
    Target(const Target&) = delete;
    Target& operator=(const Target&) = delete;

private:
    DeviceContext* m_dc;
    ContextState m_state;
    bool m_onCanvas;
    bool m_fromSurface;
    DrawingBox m_dirty;
};

/// The canvas's mapping and starting state on a context of the canvas.
void prepareCanvasContext(DeviceContext& dc)
{
    int w = 0, h = 0;
    drawing_extent(w, h);
    w = std::max(w, 1);
    h = std::max(h, 1);
    const Point scroll = scrollPosition();
    dc.setMapMode(MapMode::Anisotropic);
    dc.setWindowExtent(w, h);
    dc.setViewportExtent(w, h);
    dc.setWindowOrigin(scroll.x, scroll.y);
    dc.setTextAlign(platform::TA_BASELINE | platform::TA_LEFT);
    dc.setBackgroundMode(BackgroundMode::Transparent);
    applyFont(dc, g.dcState);
}

void xorLine(int x0, int y0, int x1, int y1)
{
    applyPen(kPens[PEN_DOTTED]);
    g.dc->setRasterOp(platform::RasterOp::XorPen);
    g.dc->setBackgroundMode(BackgroundMode::Opaque);
    g.dc->setBackgroundColor(kWindowColour);
    g.dc->moveTo(x0, y0);
    g.dc->lineTo(x1, y1);
    g.dc->setRasterOp(platform::RasterOp::CopyPen);
    g.dc->setBackgroundMode(BackgroundMode::Transparent);
    drawn(std::min(x0, x1), std::min(y0, y1));
    drawn(std::max(x0, x1), std::max(y0, y1));
}

/// The XOR lines the canvas shows over the drawing.
void drawXorLines()
{
    for (const Layer::Line& line : g.temporaryLines)
        xorLine(line.x0, line.y0, line.x1, line.y1);
    if (g.bandActive)
        xorLine(g.bandOrigin.x, g.bandOrigin.y, g.bandEnd.x, g.bandEnd.y);
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Set-up

void gdi_setup(DrawingSurface& canvas)
{
    gdi_teardown();
    g.surface = &canvas;
    g.font = canvas.font();
    g.measure = canvas.measuringContext();
    g.measureState = {};
    g.pen = g.savedPen = PEN_THIN;
    g.pictureValid = false;
    reset_box();
}

void gdi_teardown()
{
    free_symbols();
    g.measure.reset();
    g.surface = nullptr;
    g.dc = nullptr;
    g.dcState = {};
    g.depth = 0;
    g.fromSurface = g.onCanvas = g.boxOnly = false;
    g.printing = g.metafile = g.monochrome = 0;
    g.scale = 1.0;
    g.bandActive = false;
    g.temporaryLines.clear();
    g.pictureValid = false;
    g.paintedWidth = g.paintedHeight = -1;
    g.pen = g.savedPen = PEN_THIN;
    g.font = FontSpec{};
}

DrawingSurface* drawing_surface()
{
    return g.surface;
}

void set_mapping()
{
    CanvasDrawing scope;
    if (g.dc && g.onCanvas)
        prepareCanvasContext(*g.dc);
    update_scroller();
}

CanvasDrawing::CanvasDrawing()
{
    if (g.depth++ > 0 || g.dc || !g.surface || g.boxOnly)
        return;
    g.dc = g.surface->beginDrawing();
    if (!g.dc)
        return;
    g.fromSurface = true;
    g.onCanvas = true;
    g.dcState = {};
    g.dirty = emptyBox();
    prepareCanvasContext(*g.dc);
}

CanvasDrawing::~CanvasDrawing()
{
    if (--g.depth > 0 || !g.fromSurface)
        return;
    const DrawingBox changed = g.dirty;
    g.dc = nullptr;
    g.dcState = {};
    g.fromSurface = g.onCanvas = false;
    g.dirty = emptyBox();
    if (changed.empty()) {
        g.surface->endDrawing(0, 0, 0, 0);
        return;
    }
    // Wide pens and text reach a little past the points drawn.
    const Point scroll = scrollPosition();
    constexpr int margin = 3;
    g.surface->endDrawing(changed.minX - scroll.x - margin, changed.minY - scroll.y - margin,
                          changed.maxX - scroll.x + margin + 1, changed.maxY - scroll.y + margin + 1);
}

CanvasDrawing::operator bool() const
{
    return g.dc != nullptr;
}

void invalidate_canvas()
{
    g.pictureValid = false;
}

void paint_canvas(DeviceContext* context)
{
    if (!context || !g.surface)
        return;
    const Point scroll = scrollPosition();
    const int w = g.surface->clientWidth(), h = g.surface->clientHeight();
    if (g.pictureValid && scroll == g.paintedScroll && w == g.paintedWidth && h == g.paintedHeight)
        return;
    Target target(context, true);
    prepareCanvasContext(*context);
    redraw_all(1, 0);
    drawXorLines();
    g.pictureValid = true;
    g.paintedScroll = scroll;
    g.paintedWidth = w;
    g.paintedHeight = h;
}

// ---------------------------------------------------------------------------------------------
// Pens

void set_line_level(int level)
{
    if (level <= 1)
        g.pen = PEN_THIN;
    else if (g.pen != PEN_THICK_RED)
        g.pen = PEN_THICK;
}

void set_error_pen(int flag)
{
    g.pen = flag ? PEN_THICK_RED : PEN_THICK;
}

void push_colour_pen(int n)
{
    g.savedPen = g.pen;
    const bool thick = kPens[g.pen].width > 1;
    if (n == 1)
        g.pen = thick ? PEN_THICK_BLUE : PEN_THIN_BLUE;
    else if (n == 2)
        g.pen = thick ? PEN_THICK_RED2 : PEN_RED2;
}

void pop_colour_pen()
{
    g.pen = g.savedPen;
}

const Pen& current_pen()
{
    return kPens[g.pen];
}

// ---------------------------------------------------------------------------------------------
// Primitives

void draw_line(int x0, int y0, int x1, int y1, int draw)
{
    CanvasDrawing scope;
    drawn(x0, y0);
    drawn(x1, y1);
    if (!drawing())
        return;
    applyPen(linePen(draw));
    g.dc->moveTo(scaled(x0), scaled(y0));
    g.dc->lineTo(scaled(x1), scaled(y1));
}

namespace {

template <class Shape>
void drawShape(int x, int y, int w, int h, int draw, Shape shape)
{
    CanvasDrawing scope;
    drawn(x, y);
    drawn(x + w - 1, y + h - 1);
    if (!drawing() || w <= 0 || h <= 0)
        return;
    applyPen(linePen(draw));
    applyBrush(fillBrush());
    shape(scaled(x), scaled(y), scaled(x + w), scaled(y + h));
}

void drawText(int x, int y, std::string_view text, int draw, bool centred)
{
    CanvasDrawing scope;
    const TextExtent extent = text_extent(text);
    const int left = centred ? x - extent.width / 2 : x;
    drawn(left, y - extent.height / 2);
    drawn(left + extent.width, y + extent.height / 2);
    if (!drawing())
        return;
    applyFont(*g.dc, g.dcState);
    applyTextColour(textColour(draw));
    g.dc->textOut(scaled(left), scaled(y), text);
}

} // namespace

void draw_rectangle(int x, int y, int w, int h, int draw)
{
    drawShape(x, y, w, h, draw, [](int l, int t, int r, int b) { g.dc->rectangle(l, t, r, b); });
}

void draw_ellipse(int x, int y, int w, int h, int draw)
{
    drawShape(x, y, w, h, draw, [](int l, int t, int r, int b) { g.dc->ellipse(l, t, r, b); });
}

void draw_text(int x, int y, std::string_view text, int draw)
{
    drawText(x, y, text, draw, false);
}

void draw_centred_text(int x, int y, std::string_view text, int draw)
{
    drawText(x, y, text, draw, true);
}

TextExtent text_extent(std::string_view text)
{
    DeviceContext* dc = g.dc ? g.dc : g.measure.get();
    if (!dc)
        return {7 * static_cast<int>(text.size()), 13};
    ContextState& state = g.dc ? g.dcState : g.measureState;
    applyFont(*dc, state);
    if (!state.lineHeight)
        state.lineHeight = dc->textMetrics().height;
    int width = dc->textWidth(text);
    int height = *state.lineHeight;
    if (g.printing && g.scale > 0 && dc == g.dc) {
        // The printer measures in its own pixels; the layout counts in drawing units.
        width = static_cast<int>(std::lround(width / g.scale));
        height = static_cast<int>(std::lround(height / g.scale));
    }
    return {width, height};
}

void draw_bitmap(const SymbolBitmaps& symbol, int w, int h, int x, int y, int draw)
{
    CanvasDrawing scope;
    drawn(x, y);
    drawn(x + w - 1, y + h - 1);
    if (!drawing() || w <= 0 || h <= 0)
        return;
    const int l = scaled(x), t = scaled(y), r = scaled(x + w), b = scaled(y + h);
    if (!draw) {
        g.dc->fillRect(l, t, r, b, Brush{platform::BrushStyle::Solid, textColour(0)});
        return;
    }
    if (g.printing) {
        // The colour form, drawn from its drawing at the printer's size; a black-and-white
        // printer gets its ink in black, as the black-and-white form has it.
        if (symbol.colour && g.monochrome) {
            applyTextColour(textColour(1));
            g.dc->drawBitmap(*symbol.colour, l, t, r, b, BitmapMode::Masked);
        } else if (symbol.colour) {
            g.dc->drawBitmap(*symbol.colour, l, t, r, b, BitmapMode::Transparent);
        } else if (symbol.blackAndWhite) {
            g.dc->drawBitmap(*symbol.blackAndWhite, l, t, r, b, BitmapMode::Copy);
        }
    } else if (g.metafile) {
        if (symbol.colour)
            g.dc->drawBitmap(*symbol.colour, l, t, r, b, BitmapMode::Copy);
    } else if (symbol.colour) {
        g.dc->drawBitmap(*symbol.colour, l, t, r, b, BitmapMode::Transparent);
    }
}

namespace {

/// The part of the drawing the canvas shows, in drawing units.
DrawingBox visibleArea()
{
    const Point scroll = scrollPosition();
    const int w = g.surface ? g.surface->clientWidth() : 0;
    const int h = g.surface ? g.surface->clientHeight() : 0;
    return {scroll.x, scroll.y, scroll.x + w - 1, scroll.y + h - 1};
}

} // namespace

void draw_grid(int draw)
{
    CanvasDrawing scope;
    if (g.printing || g.metafile || !g.dc || !g.onCanvas)
        return;
    const int step = std::max(GridStep(), 1);
    int w = 0, h = 0;
    drawing_extent(w, h);
    // Only the pixels the canvas shows are drawn; the others would fall outside it.
    const DrawingBox shown = visibleArea();
    const int x0 = std::max(0, (shown.minX + step - 1) / step * step);
    const int y0 = std::max(0, (shown.minY + step - 1) / step * step);
    const int x1 = std::min(w, shown.maxX), y1 = std::min(h, shown.maxY);
    if (x0 > x1 || y0 > y1)
        return;
    drawn(x0, y0);
    drawn(x1, y1);
    if (g.boxOnly)
        return;
    const platform::ColorRef colour = textColour(draw);
    for (int y = y0; y <= y1; y += step)
        for (int x = x0; x <= x1; x += step)
            g.dc->setPixel(x, y, colour);
}

void erase_background()
{
    CanvasDrawing scope;
    if (g.printing || g.metafile || !g.dc || !g.onCanvas || g.boxOnly)
        return;
    const DrawingBox shown = visibleArea();
    extend(g.dirty, shown.minX, shown.minY);
    extend(g.dirty, shown.maxX, shown.maxY);
    g.dc->fillRect(shown.minX, shown.minY, shown.maxX + 1, shown.maxY + 1, fillBrush());
}

bool drawing_enabled()
{
    return g.dc || g.boxOnly;
}

bool drawing_on_canvas()
{
    return g.dc && g.onCanvas && !g.printing && !g.metafile && !g.boxOnly;
}

bool canvas_shows(int left, int top, int right, int bottom)
{
    if (!drawing_on_canvas())
        return true;
    const DrawingBox shown = visibleArea();
    return right >= shown.minX && left <= shown.maxX && bottom >= shown.minY && top <= shown.maxY;
}

// ---------------------------------------------------------------------------------------------
// Rubber band and temporary lines

void band_start(int x0, int y0, int x1, int y1)
{
    if (g.bandActive)
        return;
    CanvasDrawing scope;
    g.bandOrigin = {x0, y0};
    g.bandEnd = {x1, y1};
    g.bandActive = true;
    if (g.dc)
        xorLine(x0, y0, x1, y1);
}

void band_restart(int x, int y)
{
    band_start(g.bandOrigin.x, g.bandOrigin.y, x, y);
}

void band_move(int x, int y)
{
    if (!g.bandActive)
        return;
    CanvasDrawing scope;
    if (g.dc)
        xorLine(g.bandOrigin.x, g.bandOrigin.y, g.bandEnd.x, g.bandEnd.y);
    g.bandEnd = {x, y};
    if (g.dc)
        xorLine(g.bandOrigin.x, g.bandOrigin.y, x, y);
}

void band_stop()
{
    if (!g.bandActive)
        return;
    CanvasDrawing scope;
    if (g.dc)
        xorLine(g.bandOrigin.x, g.bandOrigin.y, g.bandEnd.x, g.bandEnd.y);
    g.bandActive = false;
}

int band_active()
{
    return g.bandActive ? 1 : 0;
}

void temporary_line(int x0, int y0, int x1, int y1, int draw)
{
    auto& lines = g.temporaryLines;
    auto same = [&](const Layer::Line& l) { return l.x0 == x0 && l.y0 == y0 && l.x1 == x1 && l.y1 == y1; };
    auto it = std::find_if(lines.begin(), lines.end(), same);
    // A line is shown once: drawing a shown line or removing one not shown changes nothing.
    if (draw ? it != lines.end() : it == lines.end())
        return;
    if (draw)
        lines.push_back({x0, y0, x1, y1});
    else
        lines.erase(it);
    CanvasDrawing scope;
    if (g.dc)
        xorLine(x0, y0, x1, y1);
}

void clear_xor_lines()
{
    band_stop();
    while (!g.temporaryLines.empty()) {
        const Layer::Line line = g.temporaryLines.back();
        temporary_line(line.x0, line.y0, line.x1, line.y1, 0);
    }
}

// ---------------------------------------------------------------------------------------------
// Coordinates and scrolling

Point device_to_drawing(int x, int y)
{
    const Point scroll = scrollPosition();
    return {x + scroll.x, y + scroll.y};
}

void warp_cursor(int x, int y)
{
    if (!g.surface)
        return;
    const Point scroll = scrollPosition();
    g.surface->setCursorPosition(x - scroll.x, y - scroll.y);
}

void update_scroller()
{
    if (!g.surface || !g.surface->hasScroller())
        return;
    int w = 0, h = 0;
    drawing_extent(w, h);
    const int step = std::max(GridStep(), 1);
    g.surface->setScrollerRange(std::max(0, w - g.surface->clientWidth()), std::max(0, h - g.surface->clientHeight()),
                                step, step);
}

void scroll_position(int& x, int& y)
{
    const Point scroll = scrollPosition();
    x = scroll.x;
    y = scroll.y;
}

void scroll_to(int x, int y)
{
    if (g.surface && g.surface->hasScroller())
        g.surface->scrollerScrollTo(x, y);
}

void centre_on(int x, int y)
{
    if (!g.surface)
        return;
    scroll_to(std::max(0, x - g.surface->clientWidth() / 2), std::max(0, y - g.surface->clientHeight() / 2));
}

int is_visible(int x, int y)
{
    if (!g.surface)
        return 0;
    const DrawingBox shown = visibleArea();
    return x >= shown.minX && x <= shown.maxX && y >= shown.minY && y <= shown.maxY ? 1 : 0;
}

void drawing_extent(int& w, int& h)
{
    const GraphModel& model = CurrentModel();
    w = model.width;
    h = model.height;
}

// ---------------------------------------------------------------------------------------------
// Bounding box, draw_into, export, printing

void reset_box()
{
    int w = 0, h = 0;
    drawing_extent(w, h);
    g.box = {w, h, 0, 0};
}

const DrawingBox& bounding_box()
{
    return g.box;
}

int printing_mode() { return g.printing; }
int metafile_mode() { return g.metafile; }
int monochrome_mode() { return g.monochrome; }
double print_scale() { return g.scale; }

void draw_into(DeviceContext* context)
{
    reset_box();
    std::optional<Target> target;
    if (context)
        target.emplace(context, false);
    CanvasDrawing scope;
    g.pen = PEN_THIN;
    redraw_all(0, 0);
}

namespace {

/// The box of everything the whole graph draws, found without drawing.
DrawingBox measuredBox()
{
    const bool wasBoxOnly = g.boxOnly;
    const DrawingBox kept = g.box;
    g.boxOnly = true;
    {
        Target none(nullptr, false);
        reset_box();
        redraw_all(0, 0);
    }
    const DrawingBox box = g.box;
    g.box = kept;
    g.boxOnly = wasBoxOnly;
    return box;
}

/// The metafile context's starting state and the drawing in it.
void drawPicture(DeviceContext& dc, const ExportArea& area)
{
    dc.setMapMode(MapMode::Anisotropic);
    dc.setWindowExtent(area.width, area.height);
    dc.setWindowOrigin(area.left, area.top);
    dc.setTextAlign(platform::TA_BASELINE | platform::TA_LEFT);
    dc.setBackgroundMode(BackgroundMode::Transparent);
    dc.setPen(kPens[g.pen]);
    dc.setBrush(Brush{platform::BrushStyle::Solid, kWindowTextColour});
    dc.setFont(g.font);
    g.metafile = 1;
    draw_into(&dc);
    g.metafile = 0;
}

} // namespace

ExportArea export_area()
{
    const DrawingBox box = measuredBox();
    if (box.empty()) {
        // Nothing drawn: the picture shows the whole extent of the drawing.
        int w = 0, h = 0;
        drawing_extent(w, h);
        return {0, 0, std::max(w, 1), std::max(h, 1)};
    }
    return {box.minX - 5, box.minY - 5, box.maxX - box.minX + 10, box.maxY - box.minY + 10};
}

std::string export_file_name()
{
    std::string directory = Startup().ResultDirectory;
    if (!directory.empty() && directory.back() != '/')
        directory += '/';
    const std::string& name = CurrentModel().name;
    return directory + (name.empty() ? std::string("untitled") : name) + ".wmf";
}

int export_drawing(int toFile)
{
    const std::string path = export_file_name();
    const ExportArea area = export_area();
    if (!toFile) {
        View().showStatus("Copying drawing to clipboard...", 0);
        const bool put = g.surface && g.surface->putPicture(area.left, area.top, area.width, area.height,
                                                            kPictureUnitsPerInch,
                                                            [&](DeviceContext& dc) { drawPicture(dc, area); });
        if (!put) {
            ShowMessage({"Error: Could not get control of the clipboard", "since it is used by another program."});
            View().showStatus("Error: Clipboard in use.", 0);
            return 0;
        }
        View().showStatus("Drawing is copied to clipboard.", 0);
        return 1;
    }
    View().showStatus("Copying drawing to metafile...", 0);
    platform::MetafileOptions options;
    options.unitsPerInch = kPictureUnitsPerInch;
    platform::MetafileDeviceContext metafile(options, g.surface ? g.surface->measuringContext() : nullptr);
    drawPicture(metafile, area);
    if (!metafile.save(path)) {
        ShowMessage({"Cannot create meta file : " + path});
        return 0;
    }
    View().showStatus("Drawing printed as metafile: " + path, 0);
    return 1;
}

void print_drawing(DeviceContext& context, int deviceWidth, int deviceHeight, int wholeExtent)
{
    int w = 0, h = 0;
    drawing_extent(w, h);
    const DrawingBox box = measuredBox();
    double scale = 1.0;
    Point origin;
    if (wholeExtent || box.empty()) {
        scale = std::min(static_cast<double>(deviceWidth) / std::max(w, 1),
                         static_cast<double>(deviceHeight) / std::max(h, 1));
    } else {
        scale = std::min(static_cast<double>(deviceWidth) / (box.maxX - box.minX + 10),
                         static_cast<double>(deviceHeight) / (box.maxY - box.minY + 10));
        origin = {static_cast<int>(std::trunc((box.minX - 5) * scale)),
                  static_cast<int>(std::trunc((box.minY - 5) * scale))};
    }
    if (!(scale > 0))
        scale = 1.0;

    const FontSpec screenFont = g.font;
    g.font.pixelHeight = std::max(1, static_cast<int>(std::trunc(screenFont.pixelHeight * scale)));
    g.font.pixelWidth = static_cast<int>(std::trunc(screenFont.pixelWidth * scale));
    g.printing = 1;
    g.scale = scale;
    g.monochrome = context.bitsPerPixel() < 3 ? 1 : 0;
    {
        Target target(&context, false);
        context.setWindowOrigin(origin.x, origin.y);
        context.setTextAlign(platform::TA_BASELINE | platform::TA_LEFT);
        context.setBackgroundMode(BackgroundMode::Transparent);
        g.pen = PEN_THIN;
        applyPen(kPens[PEN_THIN]);
        applyBrush(Brush{platform::BrushStyle::Solid, kWindowTextColour});
        applyFont(context, g.dcState);
        layout_all(CurrentModel());
        draw_into(&context);
    }
    g.font = screenFont;
    g.printing = g.monochrome = 0;
    g.scale = 1.0;
    // The boxes were measured on the printer: the canvas's own come back.
    layout_all(CurrentModel());
}
