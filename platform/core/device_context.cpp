// The mapping of logical units to device pixels, and the recording device context of tests.
#include "platform/core/device_context.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace platform {

namespace {

const char* penStyleName(PenStyle style)
{
    switch (style) {
    case PenStyle::Solid: return "solid";
    case PenStyle::Dash: return "dash";
    case PenStyle::Dot: return "dot";
    case PenStyle::DashDot: return "dashdot";
    case PenStyle::DashDotDot: return "dashdotdot";
    case PenStyle::Null: return "null";
    }
    return "?";
}

std::string hex(ColorRef color)
{
    char text[16];
    std::snprintf(text, sizeof text, "%06X", static_cast<unsigned>(color & 0xFFFFFF));
    return text;
}

std::string numbers(std::initializer_list<int> values)
{
    std::string out;
    for (int value : values)
        out += " " + std::to_string(value);
    return out;
}

int roundToInt(double value)
{
    return static_cast<int>(std::lround(value));
}

} // namespace

bool Mapping::setExtent(Point& extent, int cx, int cy)
{
    if (cx == 0 || cy == 0)
        return false;
    extent = {cx, cy};
    return true;
}

namespace {

/// The scale of one axis: viewport over window, in isotropic mode the smaller of both axes' with its own sign.
double axisScale(const Mapping& mapping, bool horizontal)
{
    if (mapping.mode == MapMode::Text)
        return 1.0;
    double sx = static_cast<double>(mapping.viewportExtent.x) / mapping.windowExtent.x;
    double sy = static_cast<double>(mapping.viewportExtent.y) / mapping.windowExtent.y;
    double own = horizontal ? sx : sy;
    if (mapping.mode == MapMode::Isotropic)
        return std::copysign(std::min(std::fabs(sx), std::fabs(sy)), own);
    return own;
}

} // namespace

double Mapping::scaleX() const
{
    return axisScale(*this, true);
}

double Mapping::scaleY() const
{
    return axisScale(*this, false);
}

Point Mapping::toDevice(Point logical) const
{
    return {roundToInt((logical.x - windowOrigin.x) * scaleX()) + viewportOrigin.x,
            roundToInt((logical.y - windowOrigin.y) * scaleY()) + viewportOrigin.y};
}

Point Mapping::toLogical(Point device) const
{
    return {roundToInt((device.x - viewportOrigin.x) / scaleX()) + windowOrigin.x,
            roundToInt((device.y - viewportOrigin.y) / scaleY()) + windowOrigin.y};
}

void RecordingDeviceContext::setPen(const Pen& pen)
{
    record(std::string("pen ") + penStyleName(pen.style) + " " + std::to_string(pen.width) + " " + hex(pen.color));
}

void RecordingDeviceContext::setBrush(const Brush& brush)
{
    record(brush.style == BrushStyle::Hollow ? std::string("brush hollow") : "brush " + hex(brush.color));
}

void RecordingDeviceContext::setFont(const FontSpec& font)
{
    record("font " + font.family + numbers({font.pixelHeight, font.pixelWidth}) + (font.bold ? " bold" : ""));
}

void RecordingDeviceContext::setTextColor(ColorRef color)
{
    record("textColor " + hex(color));
}

void RecordingDeviceContext::setTextAlign(unsigned flags)
{
    record("textAlign" + numbers({static_cast<int>(flags)}));
}

void RecordingDeviceContext::setRasterOp(RasterOp op)
{
    record(op == RasterOp::CopyPen ? "rop copy" : op == RasterOp::Not ? "rop not" : "rop xor");
}

void RecordingDeviceContext::moveTo(int x, int y)
{
    record("moveTo" + numbers({x, y}));
}

void RecordingDeviceContext::lineTo(int x, int y)
{
    record("lineTo" + numbers({x, y}));
}

void RecordingDeviceContext::polyline(const std::vector<Point>& points)
{
    std::string line = "polyline";
    for (const Point& p : points)
        line += numbers({p.x, p.y});
    record(std::move(line));
}

void RecordingDeviceContext::rectangle(int left, int top, int right, int bottom)
{
    record("rectangle" + numbers({left, top, right, bottom}));
}

void RecordingDeviceContext::ellipse(int left, int top, int right, int bottom)
{
    record("ellipse" + numbers({left, top, right, bottom}));
}

void RecordingDeviceContext::fillRect(int left, int top, int right, int bottom, const Brush& brush)
{
    record("fillRect" + numbers({left, top, right, bottom}) + " " + hex(brush.color));
}

void RecordingDeviceContext::setPixel(int x, int y, ColorRef color)
{
    record("pixel" + numbers({x, y}) + " " + hex(color));
}

void RecordingDeviceContext::textOut(int x, int y, std::string_view text)
{
    record("text" + numbers({x, y}) + " " + std::string(text));
}

void RecordingDeviceContext::drawBitmap(const Bitmap& bitmap, int left, int top, int right, int bottom,
                                        BitmapMode mode)
{
    record("bitmap" + numbers({left, top, right, bottom}) + (mode == BitmapMode::Masked        ? " masked "
            : mode == BitmapMode::Transparent ? " transparent "
                                              : " copy ") +
           std::to_string(bitmap.width()) + "x" + std::to_string(bitmap.height()));
}

void RecordingDeviceContext::setMapMode(MapMode mode)
{
    m_mapping.mode = mode;
    record("mapMode" + numbers({static_cast<int>(mode)}));
}

void RecordingDeviceContext::setWindowOrigin(int x, int y)
{
    m_mapping.windowOrigin = {x, y};
    record("windowOrigin" + numbers({x, y}));
}

void RecordingDeviceContext::setWindowExtent(int cx, int cy)
{
    Mapping::setExtent(m_mapping.windowExtent, cx, cy);
    record("windowExtent" + numbers({cx, cy}));
}

void RecordingDeviceContext::setViewportOrigin(int x, int y)
{
    m_mapping.viewportOrigin = {x, y};
    record("viewportOrigin" + numbers({x, y}));
}

void RecordingDeviceContext::setViewportExtent(int cx, int cy)
{
    Mapping::setExtent(m_mapping.viewportExtent, cx, cy);
    record("viewportExtent" + numbers({cx, cy}));
}

void RecordingDeviceContext::setBackgroundMode(BackgroundMode mode)
{
    record(mode == BackgroundMode::Opaque ? "bkMode opaque" : "bkMode transparent");
}

void RecordingDeviceContext::setBackgroundColor(ColorRef color)
{
    record("bkColor " + hex(color));
}

void RecordingDeviceContext::setClipRect(int left, int top, int right, int bottom)
{
    record("clip" + numbers({left, top, right, bottom}));
}

void RecordingDeviceContext::removeClip()
{
    record("noclip");
}

TextMetrics RecordingDeviceContext::textMetrics()
{
    return TextMetrics{13, 10, 7};
}

int RecordingDeviceContext::textWidth(std::string_view text)
{
    return 7 * static_cast<int>(text.size());
}

void RecordingDeviceContext::setDeviceFacts(int bitsPerPixel, bool styledLines)
{
    m_bitsPerPixel = bitsPerPixel;
    m_styledLines = styledLines;
}

} // namespace platform
