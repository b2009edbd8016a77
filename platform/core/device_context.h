// The drawing interface the suite draws through: pens, brushes, fonts, lines,
// shapes and text on a window's backing store, a printer, a metafile, or a
// recording of the calls (tests).
#pragma once

#include "platform/core/bitmap.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

enum class PenStyle { Solid, Dash, Dot, DashDot, DashDotDot, Null };

struct Pen {
    PenStyle style = PenStyle::Solid;
    int width = 1;
    ColorRef color = 0;
    bool operator==(const Pen&) const = default;
};

enum class BrushStyle { Solid, Hollow };

struct Brush {
    BrushStyle style = BrushStyle::Solid;
    ColorRef color = 0xFFFFFF;
    bool operator==(const Brush&) const = default;
};

/// How a pen's pixels meet those already there.
enum class RasterOp { CopyPen, Not, XorPen };

/// Text alignment flags, combined from one horizontal and one vertical choice.
inline constexpr unsigned TA_LEFT = 0;
inline constexpr unsigned TA_RIGHT = 2;
inline constexpr unsigned TA_CENTER = 6;
inline constexpr unsigned TA_TOP = 0;
inline constexpr unsigned TA_BOTTOM = 8;
inline constexpr unsigned TA_BASELINE = 24;

/// A font by family and pixel sizes (a width of 0 keeps the family's own).
struct FontSpec {
    std::string family = "DejaVu Sans";
    int pixelHeight = 13;
    int pixelWidth = 0;
    bool bold = false;
    bool operator==(const FontSpec&) const = default;
};

struct TextMetrics {
    int height = 0;       ///< height of a text line
    int ascent = 0;
    int averageWidth = 0; ///< average character width
};

struct Point {
    int x = 0;
    int y = 0;
    bool operator==(const Point&) const = default;
};

/// How logical units become device pixels, by the suite's mapping-mode numbers.
enum class MapMode { Text = 1, Isotropic = 7, Anisotropic = 8 };

/// Whether text and dashed lines fill their gaps with the background colour.
enum class BackgroundMode { Transparent = 1, Opaque = 2 };

/// How a bitmap's pixels reach the device.
enum class BitmapMode {
    Copy,   ///< every pixel as it is
    Masked, ///< ink pixels (see `Bitmap::isInk`) in the text colour, the others leave what is there
    Transparent, ///< ink pixels in their own colour, the others leave what is there
};

/// The mapping of a context: device = (logical - window origin) * viewport
/// extent / window extent + viewport origin. In text mode the extents are
/// ignored (one unit a pixel); in isotropic mode both axes take the smaller
/// scale, each keeping its sign. An extent with a zero part is refused, as a
/// mapping cannot be made from it.
struct Mapping {
    MapMode mode = MapMode::Text;
    Point windowOrigin;
    Point windowExtent{1, 1};
    Point viewportOrigin;
    Point viewportExtent{1, 1};

    /// Sets an extent unless a part of it is zero; true when set.
    static bool setExtent(Point& extent, int cx, int cy);

    double scaleX() const;
    double scaleY() const;
    /// The device point of a logical point, rounded to the nearest pixel.
    Point toDevice(Point logical) const;
    /// The logical point of a device point, rounded to the nearest unit.
    Point toLogical(Point device) const;
    bool operator==(const Mapping&) const = default;
};

/// Draws in logical units, device pixels until a mapping is set. Rectangles
/// name their left, top, right and bottom; right and bottom lie just outside
/// what is painted. The background mode starts transparent.
class DeviceContext {
public:
    virtual ~DeviceContext() = default;

    virtual void setPen(const Pen& pen) = 0;
    virtual void setBrush(const Brush& brush) = 0;
    virtual void setFont(const FontSpec& font) = 0;
    virtual void setTextColor(ColorRef color) = 0;
    virtual void setTextAlign(unsigned flags) = 0;
    virtual void setRasterOp(RasterOp op) = 0;

    virtual void moveTo(int x, int y) = 0;
    /// A line with the pen from the current position, which then moves to (x, y).
    virtual void lineTo(int x, int y) = 0;
    virtual void polyline(const std::vector<Point>& points) = 0;
    /// The outline with the pen and the inside with the brush.
    virtual void rectangle(int left, int top, int right, int bottom) = 0;
    virtual void ellipse(int left, int top, int right, int bottom) = 0;
    /// Fills without the pen.
    virtual void fillRect(int left, int top, int right, int bottom, const Brush& brush) = 0;
    virtual void setPixel(int x, int y, ColorRef color) = 0;
    /// Text at (x, y) as the alignment flags place it; the background stays.
    virtual void textOut(int x, int y, std::string_view text) = 0;

    /// Draws a bitmap stretched (or shrunk) to the rectangle.
    virtual void drawBitmap(const Bitmap& bitmap, int left, int top, int right, int bottom, BitmapMode mode) = 0;
    /// Draws a bitmap at its own size with its top left corner at (x, y).
    void drawBitmap(const Bitmap& bitmap, int x, int y, BitmapMode mode)
    {
        drawBitmap(bitmap, x, y, x + bitmap.width(), y + bitmap.height(), mode);
    }

    virtual void setMapMode(MapMode mode) = 0;
    virtual void setWindowOrigin(int x, int y) = 0;
    virtual void setWindowExtent(int cx, int cy) = 0;
    virtual void setViewportOrigin(int x, int y) = 0;
    virtual void setViewportExtent(int cx, int cy) = 0;
    virtual const Mapping& mapping() const = 0;

    virtual void setBackgroundMode(BackgroundMode mode) = 0;
    virtual void setBackgroundColor(ColorRef color) = 0;

    /// Limits drawing to a rectangle; `removeClip` lifts the limit.
    virtual void setClipRect(int left, int top, int right, int bottom) = 0;
    virtual void removeClip() = 0;

    virtual TextMetrics textMetrics() = 0;
    virtual int textWidth(std::string_view text) = 0;

    /// Colour bits per pixel of the device (fewer than 3: monochrome).
    virtual int bitsPerPixel() const = 0;
    /// True when the device draws dashed and dotted lines.
    virtual bool styledLines() const = 0;
};

/// Records every call as one line of text ("lineTo 10 20"); text metrics are
/// fixed (7 pixels a character, 13 a line) so that layouts can be checked.
class RecordingDeviceContext : public DeviceContext {
public:
    void setPen(const Pen& pen) override;
    void setBrush(const Brush& brush) override;
    void setFont(const FontSpec& font) override;
    void setTextColor(ColorRef color) override;
    void setTextAlign(unsigned flags) override;
    void setRasterOp(RasterOp op) override;
    void moveTo(int x, int y) override;
    void lineTo(int x, int y) override;
    void polyline(const std::vector<Point>& points) override;
    void rectangle(int left, int top, int right, int bottom) override;
    void ellipse(int left, int top, int right, int bottom) override;
    void fillRect(int left, int top, int right, int bottom, const Brush& brush) override;
    void setPixel(int x, int y, ColorRef color) override;
    void textOut(int x, int y, std::string_view text) override;
    using DeviceContext::drawBitmap;
    /// Records "bitmap L T R B copy|masked|transparent WxH".
    void drawBitmap(const Bitmap& bitmap, int left, int top, int right, int bottom, BitmapMode mode) override;
    void setMapMode(MapMode mode) override;
    void setWindowOrigin(int x, int y) override;
    void setWindowExtent(int cx, int cy) override;
    void setViewportOrigin(int x, int y) override;
    void setViewportExtent(int cx, int cy) override;
    const Mapping& mapping() const override { return m_mapping; }
    void setBackgroundMode(BackgroundMode mode) override;
    void setBackgroundColor(ColorRef color) override;
    void setClipRect(int left, int top, int right, int bottom) override;
    void removeClip() override;
    TextMetrics textMetrics() override;
    int textWidth(std::string_view text) override;
    int bitsPerPixel() const override { return m_bitsPerPixel; }
    bool styledLines() const override { return m_styledLines; }

    void setDeviceFacts(int bitsPerPixel, bool styledLines);
    const std::vector<std::string>& calls() const { return m_calls; }
    void clear() { m_calls.clear(); }

private:
    void record(std::string line) { m_calls.push_back(std::move(line)); }

    std::vector<std::string> m_calls;
    Mapping m_mapping;
    int m_bitsPerPixel = 24;
    bool m_styledLines = true;
};

} // namespace platform
