// The graph editor's drawing layer: every drawing of the graph goes through it.
// It holds the canvas, its pens and brushes, the bounding box of what was drawn,
// the XOR rubber band, the mapping of window to drawing units and the scroll
// state, and sends the same drawing to a metafile, the clipboard or a printer.
// Every primitive takes a draw flag: 1 draws, 0 erases by drawing the same shape
// in the window colour.
#pragma once

#include "platform/core/device_context.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>

/// The colours of the window and of its text.
inline constexpr platform::ColorRef kWindowTextColour = 0x000000;
inline constexpr platform::ColorRef kWindowColour = 0xFFFFFF;

/// What the layer needs of the canvas it draws on (the graph editor's canvas
/// window, or a test's picture).
class DrawingSurface {
public:
    virtual ~DrawingSurface() = default;

    /// A context on the canvas for drawing outside a paint, in device pixels;
    /// null when none can be had. Kept until `endDrawing`.
    virtual platform::DeviceContext* beginDrawing() = 0;
    /// The drawing begun is done; the device rectangle (right and bottom outside) changed.
    virtual void endDrawing(int left, int top, int right, int bottom) = 0;

    /// The size of the client area in device pixels.
    virtual int clientWidth() const = 0;
    virtual int clientHeight() const = 0;

    /// The canvas's font (the dialog font by default).
    virtual platform::FontSpec font() const;

    /// Whether the canvas scrolls; its position, range and line steps in pixels.
    virtual bool hasScroller() const { return false; }
    virtual platform::Point scrollerPosition() const { return {}; }
    virtual void setScrollerRange(int /*xRange*/, int /*yRange*/, int /*xLine*/, int /*yLine*/) {}
    virtual void scrollerScrollTo(int /*x*/, int /*y*/) {}

    /// Puts the mouse cursor at a device point of the canvas.
    virtual void setCursorPosition(int /*x*/, int /*y*/) {}

    /// A context that measures text as the screen does (for metafiles); null for fixed metrics.
    virtual std::unique_ptr<platform::DeviceContext> measuringContext() { return nullptr; }

    /// Puts a picture of the logical area on the clipboard, drawn by `draw`;
    /// false when the clipboard cannot be had.
    virtual bool putPicture(int /*left*/, int /*top*/, int /*width*/, int /*height*/, int /*unitsPerInch*/,
                            const std::function<void(platform::DeviceContext&)>& /*draw*/)
    {
        return false;
    }
};

// ---------------------------------------------------------------------------------------------
// Set-up

/// Takes the canvas: makes the pens and brushes and takes the canvas's font.
void gdi_setup(DrawingSurface& canvas);
/// Lets the canvas go, with the pens, the font and every symbol bitmap.
void gdi_teardown();
/// The canvas the layer draws on; null before set-up.
DrawingSurface* drawing_surface();

/// One drawing unit per pixel, the window origin at the scroll position, text
/// on its baseline, transparent background; then `update_scroller`.
void set_mapping();

/// While it lives, the layer draws on the canvas (nested scopes share one
/// context). Every drawing function opens one; a caller that draws many things
/// opens one around them.
class CanvasDrawing {
public:
    CanvasDrawing();
    ~CanvasDrawing();
    CanvasDrawing(const CanvasDrawing&) = delete;
    CanvasDrawing& operator=(const CanvasDrawing&) = delete;
    /// Whether there is a context to draw on.
    explicit operator bool() const;
};

/// The canvas's paint: draws the whole graph into the context when the picture
/// the canvas holds is out of date (after set-up, a scroll, a resize or
/// `invalidate_canvas`), else leaves it. The rubber band and the temporary
/// lines are drawn again over a new picture.
void paint_canvas(platform::DeviceContext* context);
/// The next paint draws the whole graph anew.
void invalidate_canvas();

// ---------------------------------------------------------------------------------------------
// Pens

/// 0 or 1: the thin pen and the thin erase pen; 2 or more: the thick pen (the
/// thick red pen stays when it is current) and the thick erase pen.
void set_line_level(int level);
/// 1: the thick red pen; 0: the thick pen.
void set_error_pen(int flag);
/// Saves the current pen; 1 selects blue, 2 red (thick when the thick pen was
/// current); another number only saves.
void push_colour_pen(int n);
void pop_colour_pen();

/// The pen lines are drawn with now.
const platform::Pen& current_pen();

// ---------------------------------------------------------------------------------------------
// Primitives (drawing units)

void draw_line(int x0, int y0, int x1, int y1, int draw);
/// Outline with the pen, filled with the window colour; corners (x, y) and (x + w - 1, y + h - 1).
void draw_rectangle(int x, int y, int w, int h, int draw);
void draw_ellipse(int x, int y, int w, int h, int draw);
/// Text from x, on the baseline y.
void draw_text(int x, int y, std::string_view text, int draw);
/// Text centred on x, on the baseline y.
void draw_centred_text(int x, int y, std::string_view text, int draw);

struct TextExtent {
    int width = 0;
    int height = 0;
};
/// The size of a text in drawing units, measured on the printer while printing.
TextExtent text_extent(std::string_view text);

/// A symbol in its two forms.
struct SymbolBitmaps {
    const platform::Bitmap* colour = nullptr;
    const platform::Bitmap* blackAndWhite = nullptr;
};
/// A symbol of w by h at (x, y): on the canvas its white pixels leave the
/// background; printed, the colour form at the printer's size (from its drawing
/// where it has one; its ink black on a black-and-white printer); in a metafile
/// the colour form stretched. Erasing fills the rectangle with the window colour.
void draw_bitmap(const SymbolBitmaps& symbol, int w, int h, int x, int y, int draw);

/// A pixel at every multiple of the grid step from (0, 0) to the drawing extent
/// (on the canvas only, and only where the canvas shows).
void draw_grid(int draw);
/// Fills the visible client area with the window colour (on the canvas only).
void erase_background();

/// True while the primitives have somewhere to draw (or a box to extend).
bool drawing_enabled();
/// True while the primitives draw on the canvas (not a printer, a metafile or a measuring pass).
bool drawing_on_canvas();
/// False only while drawing on the canvas and the rectangle lies wholly outside what it shows.
bool canvas_shows(int left, int top, int right, int bottom);

// ---------------------------------------------------------------------------------------------
// Rubber band and temporary lines (XOR: drawing twice leaves what was there)

void band_start(int x0, int y0, int x1, int y1);
void band_restart(int x, int y);
void band_move(int x, int y);
void band_stop();
int band_active();

/// A line of a connection being drawn; drawn again with 0 it is gone.
void temporary_line(int x0, int y0, int x1, int y1, int draw);
/// Removes the band and every temporary line from the canvas.
void clear_xor_lines();

// ---------------------------------------------------------------------------------------------
// Coordinates and scrolling

/// A client point in drawing units.
platform::Point device_to_drawing(int x, int y);
/// Puts the mouse cursor at a point of the drawing.
void warp_cursor(int x, int y);
/// The scroller's range becomes the drawing extent less the client size, its line steps the grid step.
void update_scroller();
void scroll_position(int& x, int& y);
void scroll_to(int x, int y);
/// Scrolls so that the point is in the middle of the client area.
void centre_on(int x, int y);
/// 1 when the point lies in the visible part of the drawing.
int is_visible(int x, int y);
/// The extent of the current model's drawing.
void drawing_extent(int& w, int& h);

// ---------------------------------------------------------------------------------------------
// Bounding box, other targets

struct DrawingBox {
    int minX = 0, minY = 0, maxX = 0, maxY = 0;
    /// Nothing was drawn since the reset.
    bool empty() const { return maxX < minX || maxY < minY; }
};
/// minX and minY become the drawing extent, maxX and maxY 0.
void reset_box();
const DrawingBox& bounding_box();

/// Modes of the layer, as the primitives see them.
int printing_mode();
int metafile_mode();
int monochrome_mode();
double print_scale();

/// Resets the box and redraws the whole graph, without erasing and without
/// touching error marks, into the context (on the canvas without one).
void draw_into(platform::DeviceContext* context);

/// The logical area a picture of the drawing shows: the box of everything the
/// graph draws, 5 units more on each side; the whole extent when nothing is drawn.
struct ExportArea {
    int left = 0, top = 0, width = 0, height = 0;
};
ExportArea export_area();

/// The metafile's path: the results directory, the model's name or "untitled", ".wmf".
std::string export_file_name();

/// The drawing as a metafile into `export_file_name()` (1) or onto the clipboard (0);
/// 1 when done, 0 after its message.
int export_drawing(int toFile);

/// Prints the drawing on a page of deviceWidth by deviceHeight pixels, scaled to
/// fit the whole extent (wholeExtent 1, or when nothing is drawn) or the box of what
/// is drawn.
void print_drawing(platform::DeviceContext& context, int deviceWidth, int deviceHeight, int wholeExtent);
