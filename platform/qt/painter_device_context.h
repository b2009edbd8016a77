// The device context over a QPainter: a window's QImage backing store or a printer.
#pragma once

#include "platform/core/device_context.h"

#include <QFont>
#include <QImage>
#include <QPainter>

class QPaintDevice;

namespace platform {

/// The Qt colour of a 0x00BBGGRR value.
QColor toQColor(ColorRef color);

/// The bitmap as an opaque image.
QImage toQImage(const Bitmap& bitmap);
/// The image as a bitmap; transparent parts show as laid on white.
Bitmap toBitmap(const QImage& image);

/// Draws on a paint device without antialiasing (erasing by drawing again in
/// the background colour and the inverting raster operations are then exact).
/// Lines include their end point. The starting font is DejaVu Sans of the
/// screen's size on the device; fonts set later are in device pixels.
class PainterDeviceContext : public DeviceContext {
public:
    /// Paints on the device from now until destruction.
    explicit PainterDeviceContext(QPaintDevice& device);
    ~PainterDeviceContext() override;
    PainterDeviceContext(const PainterDeviceContext&) = delete;
    PainterDeviceContext& operator=(const PainterDeviceContext&) = delete;

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
    /// A bitmap with a drawing (`Bitmap::drawing`) shown at another size than its
    /// pixels is drawn from the drawing: as vectors on a printer, at the device's
    /// own resolution on an image.
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
    int bitsPerPixel() const override;
    bool styledLines() const override { return true; }

    QPainter& painter() { return m_painter; }

private:
    void applyPen();
    void applyBrush();
    void applyMapping();
    /// Draws the bitmap's drawing into the rectangle; false when it cannot be read.
    bool drawDrawing(const Bitmap& bitmap, const QRect& target, BitmapMode mode);

    QPaintDevice& m_device;
    QPainter m_painter;
    Pen m_pen;
    Brush m_brush;
    QFont m_font;
    ColorRef m_textColor = 0;
    unsigned m_textAlign = TA_LEFT | TA_TOP;
    Point m_position;
    Mapping m_mapping;
};

/// A painter context on an image of its own, white at the start: for
/// pictures made away from any window and for measuring text.
class ImageDeviceContext : private QImage, public PainterDeviceContext {
public:
    ImageDeviceContext(int width, int height);
    const QImage& image() const { return *this; }
};

} // namespace platform
