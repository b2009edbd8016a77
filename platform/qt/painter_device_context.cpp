// Drawing through QPainter with the suite's pens, brushes, alignment and raster operations.
#include "platform/qt/painter_device_context.h"

#include <QFontMetrics>
#include <QPaintDevice>
#include <QSvgRenderer>

namespace platform {

namespace {

Qt::PenStyle qtPenStyle(PenStyle style)
{
    switch (style) {
    case PenStyle::Solid: return Qt::SolidLine;
    case PenStyle::Dash: return Qt::DashLine;
    case PenStyle::Dot: return Qt::DotLine;
    case PenStyle::DashDot: return Qt::DashDotLine;
    case PenStyle::DashDotDot: return Qt::DashDotDotLine;
    case PenStyle::Null: return Qt::NoPen;
    }
    return Qt::SolidLine;
}

} // namespace

QColor toQColor(ColorRef color)
{
    return QColor(static_cast<int>(color & 0xFF), static_cast<int>((color >> 8) & 0xFF),
                  static_cast<int>((color >> 16) & 0xFF));
}

QImage toQImage(const Bitmap& bitmap)
{
    QImage image(bitmap.width(), bitmap.height(), QImage::Format_RGB32);
    for (int y = 0; y < bitmap.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < bitmap.width(); ++x) {
            ColorRef c = bitmap.pixel(x, y);
            line[x] = qRgb(static_cast<int>(c & 0xFF), static_cast<int>((c >> 8) & 0xFF),
                           static_cast<int>((c >> 16) & 0xFF));
        }
    }
    return image;
}

Bitmap toBitmap(const QImage& image)
{
    QImage opaque(image.size(), QImage::Format_RGB32);
    opaque.fill(Qt::white);
    {
        QPainter painter(&opaque);
        painter.drawImage(0, 0, image);
    }
    Bitmap bitmap(opaque.width(), opaque.height());
    for (int y = 0; y < opaque.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(opaque.constScanLine(y));
        for (int x = 0; x < opaque.width(); ++x)
            bitmap.setPixel(x, y, rgb(qRed(line[x]), qGreen(line[x]), qBlue(line[x])));
    }
    return bitmap;
}

PainterDeviceContext::PainterDeviceContext(QPaintDevice& device) : m_device(device), m_painter(&device)
{
    m_painter.setRenderHint(QPainter::Antialiasing, false);
    m_painter.setRenderHint(QPainter::TextAntialiasing, false);
    m_painter.setBackgroundMode(Qt::TransparentMode);
    m_painter.setBackground(Qt::white);
    // The starting font has the screen's size on any device (a printer's pixels are smaller).
    FontSpec font;
    font.pixelHeight = std::max(1, font.pixelHeight * device.logicalDpiY() / 96);
    setFont(font);
    applyPen();
    applyBrush();
}

PainterDeviceContext::~PainterDeviceContext()
{
    m_painter.end();
}

void PainterDeviceContext::applyPen()
{
    QPen pen(toQColor(m_pen.color));
    pen.setStyle(qtPenStyle(m_pen.style));
    pen.setWidth(m_pen.width <= 1 ? 0 : m_pen.width);
    pen.setCapStyle(Qt::FlatCap);
    // A thin pen's dashes are in device pixels: on a printer they keep the length they have on the screen.
    int scale = m_device.logicalDpiX() / 96;
    if (m_pen.width <= 1 && scale > 1 && m_pen.style != PenStyle::Solid && m_pen.style != PenStyle::Null) {
        QList<qreal> pattern = pen.dashPattern();
        for (qreal& length : pattern)
            length *= scale;
        pen.setDashPattern(pattern);
    }
    m_painter.setPen(pen);
}

void PainterDeviceContext::applyBrush()
{
    if (m_brush.style == BrushStyle::Hollow)
        m_painter.setBrush(Qt::NoBrush);
    else
        m_painter.setBrush(toQColor(m_brush.color));
}

void PainterDeviceContext::setPen(const Pen& pen)
{
    m_pen = pen;
    applyPen();
}

void PainterDeviceContext::setBrush(const Brush& brush)
{
    m_brush = brush;
    applyBrush();
}

void PainterDeviceContext::setFont(const FontSpec& font)
{
    m_font = QFont(QString::fromStdString(font.family));
    m_font.setPixelSize(font.pixelHeight > 0 ? font.pixelHeight : 13);
    m_font.setBold(font.bold);
    m_font.setStyleStrategy(QFont::NoAntialias);
    if (font.pixelWidth > 0) {
        // Stretch so that the average character is as wide as asked.
        int natural = QFontMetrics(m_font).averageCharWidth();
        if (natural > 0)
            m_font.setStretch(std::clamp(100 * font.pixelWidth / natural, 1, 4000));
    }
    m_painter.setFont(m_font);
}

void PainterDeviceContext::setTextColor(ColorRef color)
{
    m_textColor = color;
}

void PainterDeviceContext::setTextAlign(unsigned flags)
{
    m_textAlign = flags;
}

void PainterDeviceContext::setRasterOp(RasterOp op)
{
    switch (op) {
    case RasterOp::CopyPen:
        m_painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
        break;
    case RasterOp::Not:
        m_painter.setCompositionMode(QPainter::RasterOp_NotDestination);
        break;
    case RasterOp::XorPen:
        m_painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
        break;
    }
}

void PainterDeviceContext::moveTo(int x, int y)
{
    m_position = {x, y};
}

void PainterDeviceContext::lineTo(int x, int y)
{
    if (m_pen.style != PenStyle::Null)
        m_painter.drawLine(m_position.x, m_position.y, x, y);
    m_position = {x, y};
}

void PainterDeviceContext::polyline(const std::vector<Point>& points)
{
    if (points.size() < 2 || m_pen.style == PenStyle::Null)
        return;
    QPolygon polygon;
    polygon.reserve(static_cast<int>(points.size()));
    for (const Point& p : points)
        polygon << QPoint(p.x, p.y);
    m_painter.drawPolyline(polygon);
}

void PainterDeviceContext::rectangle(int left, int top, int right, int bottom)
{
    if (right - left < 1 || bottom - top < 1)
        return;
    // The cosmetic pen's outline of the rectangle one pixel smaller covers
    // exactly left..right-1 by top..bottom-1.
    m_painter.drawRect(left, top, right - left - 1, bottom - top - 1);
}

void PainterDeviceContext::ellipse(int left, int top, int right, int bottom)
{
    if (right - left < 1 || bottom - top < 1)
        return;
    m_painter.drawEllipse(left, top, right - left - 1, bottom - top - 1);
}

void PainterDeviceContext::fillRect(int left, int top, int right, int bottom, const Brush& brush)
{
    if (right <= left || bottom <= top || brush.style == BrushStyle::Hollow)
        return;
    m_painter.fillRect(left, top, right - left, bottom - top, toQColor(brush.color));
}

void PainterDeviceContext::setPixel(int x, int y, ColorRef color)
{
    m_painter.fillRect(x, y, 1, 1, toQColor(color));
}

void PainterDeviceContext::textOut(int x, int y, std::string_view text)
{
    QString string = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    QFontMetrics metrics(m_font, &m_device);
    // Text on its left end and baseline needs no measuring.
    unsigned horizontal = m_textAlign & TA_CENTER;
    if (horizontal == TA_CENTER)
        x -= metrics.horizontalAdvance(string) / 2;
    else if (horizontal == TA_RIGHT)
        x -= metrics.horizontalAdvance(string);
    unsigned vertical = m_textAlign & TA_BASELINE;
    int baseline = y;
    if (vertical == TA_TOP)
        baseline = y + metrics.ascent();
    else if (vertical == TA_BOTTOM)
        baseline = y - metrics.descent();
    QPen savedPen = m_painter.pen();
    m_painter.setPen(toQColor(m_textColor));
    m_painter.drawText(x, baseline, string);
    m_painter.setPen(savedPen);
}

bool PainterDeviceContext::drawDrawing(const Bitmap& bitmap, const QRect& target, BitmapMode mode)
{
    QSvgRenderer renderer(QByteArray::fromStdString(bitmap.drawing()));
    if (!renderer.isValid())
        return false;
    const QSize pixels = m_painter.worldTransform().mapRect(QRectF(target)).size().toSize().expandedTo(QSize(1, 1));
    m_painter.save();
    m_painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    if (mode == BitmapMode::Masked) {
        // The ink in the text colour: the drawing at the device's own size, every mark not white recoloured.
        QImage image(pixels, QImage::Format_ARGB32);
        image.fill(Qt::transparent);
        {
            QPainter picture(&image);
            picture.setRenderHint(QPainter::Antialiasing, true);
            renderer.render(&picture);
        }
        const QColor ink = toQColor(m_textColor);
        for (int y = 0; y < image.height(); ++y) {
            auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
            for (int x = 0; x < image.width(); ++x) {
                const QRgb c = line[x];
                const bool white = qRed(c) > 240 && qGreen(c) > 240 && qBlue(c) > 240;
                line[x] = white || qAlpha(c) == 0 ? qRgba(0, 0, 0, 0) : qRgba(ink.red(), ink.green(), ink.blue(), qAlpha(c));
            }
        }
        m_painter.drawImage(target, image);
    } else {
        if (mode == BitmapMode::Copy)
            m_painter.fillRect(target, Qt::white);
        m_painter.setRenderHint(QPainter::Antialiasing, true);
        m_painter.setRenderHint(QPainter::TextAntialiasing, true);
        renderer.render(&m_painter, QRectF(target));
    }
    m_painter.restore();
    return true;
}

void PainterDeviceContext::drawBitmap(const Bitmap& bitmap, int left, int top, int right, int bottom,
                                      BitmapMode mode)
{
    if (bitmap.isEmpty() || right == left || bottom == top)
        return;
    const QRect target = QRect(QPoint(left, top), QPoint(right - 1, bottom - 1)).normalized();
    // Larger (or smaller) than its pixels, a picture that has a drawing is drawn from it, sharp at any size.
    if (!bitmap.drawing().empty()) {
        const QSize shown = m_painter.worldTransform().mapRect(QRectF(target)).size().toSize();
        if (shown != QSize(bitmap.width(), bitmap.height()) && drawDrawing(bitmap, target, mode))
            return;
    }
    QImage image;
    if (mode == BitmapMode::Copy) {
        image = toQImage(bitmap);
    } else {
        // Ink in the text colour (or its own) over a clear ground: the pixels around the ink stay as they were.
        image = QImage(bitmap.width(), bitmap.height(), QImage::Format_ARGB32);
        QRgb ink = toQColor(m_textColor).rgb();
        bool ownColour = mode == BitmapMode::Transparent;
        for (int y = 0; y < bitmap.height(); ++y) {
            auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
            for (int x = 0; x < bitmap.width(); ++x) {
                if (!bitmap.isInk(x, y))
                    line[x] = qRgba(0, 0, 0, 0);
                else
                    line[x] = ownColour ? toQColor(bitmap.pixel(x, y)).rgb() : ink;
            }
        }
    }
    // A bitmap is copied whatever the raster operation of the pen.
    QPainter::CompositionMode saved = m_painter.compositionMode();
    m_painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    m_painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    m_painter.drawImage(target, image);
    m_painter.setCompositionMode(saved);
}

void PainterDeviceContext::applyMapping()
{
    double sx = m_mapping.scaleX();
    double sy = m_mapping.scaleY();
    m_painter.setWorldTransform(QTransform(sx, 0, 0, sy, m_mapping.viewportOrigin.x - m_mapping.windowOrigin.x * sx,
                                           m_mapping.viewportOrigin.y - m_mapping.windowOrigin.y * sy));
}

void PainterDeviceContext::setMapMode(MapMode mode)
{
    m_mapping.mode = mode;
    applyMapping();
}

void PainterDeviceContext::setWindowOrigin(int x, int y)
{
    m_mapping.windowOrigin = {x, y};
    applyMapping();
}

void PainterDeviceContext::setWindowExtent(int cx, int cy)
{
    if (Mapping::setExtent(m_mapping.windowExtent, cx, cy))
        applyMapping();
}

void PainterDeviceContext::setViewportOrigin(int x, int y)
{
    m_mapping.viewportOrigin = {x, y};
    applyMapping();
}

void PainterDeviceContext::setViewportExtent(int cx, int cy)
{
    if (Mapping::setExtent(m_mapping.viewportExtent, cx, cy))
        applyMapping();
}

void PainterDeviceContext::setBackgroundMode(BackgroundMode mode)
{
    m_painter.setBackgroundMode(mode == BackgroundMode::Opaque ? Qt::OpaqueMode : Qt::TransparentMode);
}

void PainterDeviceContext::setBackgroundColor(ColorRef color)
{
    m_painter.setBackground(toQColor(color));
}

void PainterDeviceContext::setClipRect(int left, int top, int right, int bottom)
{
    m_painter.setClipRect(left, top, std::max(right - left, 0), std::max(bottom - top, 0));
}

void PainterDeviceContext::removeClip()
{
    m_painter.setClipping(false);
}

TextMetrics PainterDeviceContext::textMetrics()
{
    QFontMetrics metrics(m_font, &m_device);
    return TextMetrics{metrics.height(), metrics.ascent(), metrics.averageCharWidth()};
}

int PainterDeviceContext::textWidth(std::string_view text)
{
    QFontMetrics metrics(m_font, &m_device);
    return metrics.horizontalAdvance(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
}

int PainterDeviceContext::bitsPerPixel() const
{
    return m_device.depth();
}

ImageDeviceContext::ImageDeviceContext(int width, int height)
    : QImage(std::max(width, 1), std::max(height, 1), QImage::Format_RGB32),
      PainterDeviceContext((fill(Qt::white), static_cast<QImage&>(*this)))
{
}

} // namespace platform
