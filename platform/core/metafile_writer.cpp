// Writing placeable metafiles: object slots, records, the bitmap records and the headers.
#include "platform/core/metafile_writer.h"

#include "platform/core/file_system.h"
#include "platform/core/metafile_records.h"

#include <algorithm>
#include <tuple>

namespace platform {

namespace {

std::uint16_t word(int value)
{
    return static_cast<std::uint16_t>(static_cast<std::int16_t>(std::clamp(value, -32768, 32767)));
}

std::uint16_t low(std::uint32_t value)
{
    return static_cast<std::uint16_t>(value & 0xFFFF);
}

std::uint16_t high(std::uint32_t value)
{
    return static_cast<std::uint16_t>(value >> 16);
}

/// Bytes packed two to a word, the first in the low half; an odd count gets a zero pad.
std::vector<std::uint16_t> packBytes(const std::string& bytes)
{
    std::vector<std::uint16_t> words((bytes.size() + 1) / 2, 0);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        words[i / 2] |= static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[i]) << (i % 2 ? 8 : 0));
    return words;
}

/// UTF-8 text as Latin-1 bytes; characters beyond it (and broken sequences) become "?".
std::string latin1(std::string_view text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            out += static_cast<char>(c);
            ++i;
            continue;
        }
        int length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
        unsigned code = length == 1 ? 0xFFFFFFFF : c & (0x7F >> length);
        int taken = 1;
        for (; taken < length && i + taken < text.size(); ++taken) {
            auto next = static_cast<unsigned char>(text[i + taken]);
            if ((next & 0xC0) != 0x80)
                break;
            code = (code << 6) | (next & 0x3F);
        }
        out += taken == length && code <= 0xFF ? static_cast<char>(code) : '?';
        i += taken;
    }
    return out;
}

std::uint16_t penStyleNumber(PenStyle style)
{
    switch (style) {
    case PenStyle::Solid: return 0;
    case PenStyle::Dash: return 1;
    case PenStyle::Dot: return 2;
    case PenStyle::DashDot: return 3;
    case PenStyle::DashDotDot: return 4;
    case PenStyle::Null: return 5;
    }
    return 0;
}

std::uint16_t rasterOpNumber(RasterOp op)
{
    switch (op) {
    case RasterOp::CopyPen: return 13;
    case RasterOp::Not: return 6;
    case RasterOp::XorPen: return 7;
    }
    return 13;
}

/// A device-independent bitmap (header, palette, rows from the bottom) as
/// words; `index` gives a pixel's palette entry, or its colour when there is
/// no palette (24 bits a pixel).
template <typename PixelValue>
std::vector<std::uint16_t> deviceIndependentBitmap(int width, int height, const std::vector<ColorRef>& palette,
                                                   PixelValue value)
{
    int bitCount = palette.empty() ? 24 : 1;
    int rowBytes = ((width * bitCount + 31) / 32) * 4;
    std::string bytes;
    auto put16 = [&](unsigned v) {
        bytes += static_cast<char>(v & 0xFF);
        bytes += static_cast<char>((v >> 8) & 0xFF);
    };
    auto put32 = [&](std::uint32_t v) {
        put16(v & 0xFFFF);
        put16(v >> 16);
    };
    put32(40);
    put32(static_cast<std::uint32_t>(width));
    put32(static_cast<std::uint32_t>(height));
    put16(1);
    put16(static_cast<unsigned>(bitCount));
    put32(0);
    put32(static_cast<std::uint32_t>(rowBytes * height));
    put32(0);
    put32(0);
    put32(static_cast<std::uint32_t>(palette.size()));
    put32(0);
    for (ColorRef color : palette) {
        bytes += static_cast<char>((color >> 16) & 0xFF);
        bytes += static_cast<char>((color >> 8) & 0xFF);
        bytes += static_cast<char>(color & 0xFF);
        bytes += '\0';
    }
    for (int y = height - 1; y >= 0; --y) {
        std::string row(static_cast<std::size_t>(rowBytes), '\0');
        for (int x = 0; x < width; ++x) {
            ColorRef v = value(x, y);
            if (bitCount == 1) {
                if (v)
                    row[static_cast<std::size_t>(x / 8)] |= static_cast<char>(0x80 >> (x % 8));
            } else {
                row[static_cast<std::size_t>(3 * x)] = static_cast<char>((v >> 16) & 0xFF);
                row[static_cast<std::size_t>(3 * x + 1)] = static_cast<char>((v >> 8) & 0xFF);
                row[static_cast<std::size_t>(3 * x + 2)] = static_cast<char>(v & 0xFF);
            }
        }
        bytes += row;
    }
    return packBytes(bytes);
}

/// An extent with its zero parts made 1, so that it can map something.
Point nonZeroExtent(int cx, int cy)
{
    return {cx == 0 ? 1 : cx, cy == 0 ? 1 : cy};
}

// A polyline record holds at most this many points; longer ones go in pieces that share their ends.
constexpr std::size_t kMaxPolylinePoints = 8000;

} // namespace

MetafileDeviceContext::MetafileDeviceContext(MetafileOptions options, std::unique_ptr<DeviceContext> measure)
    : m_options(options), m_measure(std::move(measure))
{
    // Players start opaque; the drawing interface starts transparent.
    record(wmf::SetBkMode, {static_cast<std::uint16_t>(BackgroundMode::Transparent)});
}

MetafileDeviceContext::~MetafileDeviceContext() = default;

void MetafileDeviceContext::record(std::uint16_t function, const std::vector<std::uint16_t>& params)
{
    auto size = static_cast<std::uint32_t>(3 + params.size());
    m_words.push_back(low(size));
    m_words.push_back(high(size));
    m_words.push_back(function);
    m_words.insert(m_words.end(), params.begin(), params.end());
    m_largestRecord = std::max(m_largestRecord, size);
}

void MetafileDeviceContext::recordPoints(std::uint16_t function, std::initializer_list<int> values)
{
    std::vector<std::uint16_t> params;
    for (int value : values)
        params.push_back(word(value));
    record(function, params);
}

void MetafileDeviceContext::recordColor(std::uint16_t function, ColorRef color)
{
    record(function, {low(color & 0xFFFFFF), high(color & 0xFFFFFF)});
}

int MetafileDeviceContext::createObject(std::uint16_t function, const std::vector<std::uint16_t>& params)
{
    // A new object takes the lowest free slot of the table, as players number them.
    auto free = std::find(m_slotsInUse.begin(), m_slotsInUse.end(), false);
    int slot = static_cast<int>(free - m_slotsInUse.begin());
    if (free == m_slotsInUse.end())
        m_slotsInUse.push_back(true);
    else
        *free = true;
    record(function, params);
    return slot;
}

void MetafileDeviceContext::replaceObject(int& slot, int newSlot)
{
    record(wmf::SelectObject, {static_cast<std::uint16_t>(newSlot)});
    int old = slot;
    slot = newSlot;
    if (old >= 0)
        releaseObject(old);
}

void MetafileDeviceContext::releaseObject(int slot)
{
    if (m_saved && (slot == m_saved->pen || slot == m_saved->brush || slot == m_saved->font)) {
        m_deferredDeletes.push_back(slot);
        return;
    }
    record(wmf::DeleteObject, {static_cast<std::uint16_t>(slot)});
    m_slotsInUse[static_cast<std::size_t>(slot)] = false;
}

void MetafileDeviceContext::makePen()
{
    ColorRef color = m_pen.color & 0xFFFFFF;
    int slot = createObject(wmf::CreatePenIndirect, {penStyleNumber(m_pen.style), word(std::max(m_pen.width, 0)), 0,
                                                     low(color), high(color)});
    replaceObject(m_state.pen, slot);
}

void MetafileDeviceContext::makeBrush()
{
    ColorRef color = m_brush.color & 0xFFFFFF;
    bool hollow = m_brush.style == BrushStyle::Hollow;
    int slot = createObject(wmf::CreateBrushIndirect,
                            {static_cast<std::uint16_t>(hollow ? 1 : 0), low(color), high(color), 0});
    replaceObject(m_state.brush, slot);
}

void MetafileDeviceContext::makeFont()
{
    std::vector<std::uint16_t> params = {word(-std::max(m_font.pixelHeight, 1)), word(std::max(m_font.pixelWidth, 0)),
                                         0, 0, static_cast<std::uint16_t>(m_font.bold ? 700 : 400),
                                         0,       // italic, underline
                                         0,       // strike-out, ANSI character set
                                         0,       // output and clip precision
                                         3};      // no antialiasing, default pitch and family
    std::string face = latin1(m_font.family).substr(0, 31);
    face += '\0';
    std::vector<std::uint16_t> faceWords = packBytes(face);
    params.insert(params.end(), faceWords.begin(), faceWords.end());
    replaceObject(m_state.font, createObject(wmf::CreateFontIndirect, params));
}

void MetafileDeviceContext::ensureBrush()
{
    if (m_state.brush < 0)
        makeBrush();
}

void MetafileDeviceContext::ensureFont()
{
    if (m_state.font < 0)
        makeFont();
}

void MetafileDeviceContext::setPen(const Pen& pen)
{
    if (m_state.pen >= 0 && pen == m_pen)
        return;
    m_pen = pen;
    makePen();
}

void MetafileDeviceContext::setBrush(const Brush& brush)
{
    if (m_state.brush >= 0 && brush == m_brush)
        return;
    m_brush = brush;
    makeBrush();
}

void MetafileDeviceContext::setFont(const FontSpec& font)
{
    if (m_measure)
        m_measure->setFont(font);
    if (m_state.font >= 0 && font == m_font)
        return;
    m_font = font;
    makeFont();
}

void MetafileDeviceContext::setTextColor(ColorRef color)
{
    m_state.textColor = color & 0xFFFFFF;
    recordColor(wmf::SetTextColor, m_state.textColor);
}

void MetafileDeviceContext::setTextAlign(unsigned flags)
{
    m_state.textAlign = flags;
    record(wmf::SetTextAlign, {static_cast<std::uint16_t>(flags)});
}

void MetafileDeviceContext::setRasterOp(RasterOp op)
{
    m_state.rasterOp = op;
    record(wmf::SetRop2, {rasterOpNumber(op)});
}

void MetafileDeviceContext::extend(int x, int y)
{
    if (!m_drawn) {
        m_minX = m_maxX = x;
        m_minY = m_maxY = y;
        m_drawn = true;
        return;
    }
    m_minX = std::min(m_minX, x);
    m_maxX = std::max(m_maxX, x);
    m_minY = std::min(m_minY, y);
    m_maxY = std::max(m_maxY, y);
}

void MetafileDeviceContext::moveTo(int x, int y)
{
    m_state.position = {x, y};
    recordPoint(wmf::MoveTo, m_state.position);
}

void MetafileDeviceContext::lineTo(int x, int y)
{
    extend(m_state.position.x, m_state.position.y);
    extend(x, y);
    m_state.position = {x, y};
    recordPoints(wmf::LineTo, {y, x});
}

void MetafileDeviceContext::polyline(const std::vector<Point>& points)
{
    if (points.size() < 2)
        return;
    for (std::size_t start = 0; start + 1 < points.size(); start += kMaxPolylinePoints - 1) {
        std::size_t end = std::min(points.size(), start + kMaxPolylinePoints);
        std::vector<std::uint16_t> params = {static_cast<std::uint16_t>(end - start)};
        for (std::size_t i = start; i < end; ++i) {
            params.push_back(word(points[i].x));
            params.push_back(word(points[i].y));
            extend(points[i].x, points[i].y);
        }
        record(wmf::Polyline, params);
    }
}

void MetafileDeviceContext::rectangle(int left, int top, int right, int bottom)
{
    extend(left, top);
    extend(right - 1, bottom - 1);
    recordPoints(wmf::Rectangle, {bottom, right, top, left});
}

void MetafileDeviceContext::ellipse(int left, int top, int right, int bottom)
{
    extend(left, top);
    extend(right - 1, bottom - 1);
    recordPoints(wmf::Ellipse, {bottom, right, top, left});
}

void MetafileDeviceContext::fillRect(int left, int top, int right, int bottom, const Brush& brush)
{
    if (right <= left || bottom <= top || brush.style == BrushStyle::Hollow)
        return;
    // The fill takes a brush of its own for the moment; the current one is selected again after it.
    ensureBrush();
    ColorRef color = brush.color & 0xFFFFFF;
    int fill = createObject(wmf::CreateBrushIndirect, {0, low(color), high(color), 0});
    record(wmf::SelectObject, {static_cast<std::uint16_t>(fill)});
    record(wmf::PatBlt, {low(wmf::kPatCopy), high(wmf::kPatCopy), word(bottom - top), word(right - left), word(top),
                         word(left)});
    record(wmf::SelectObject, {static_cast<std::uint16_t>(m_state.brush)});
    record(wmf::DeleteObject, {static_cast<std::uint16_t>(fill)});
    m_slotsInUse[static_cast<std::size_t>(fill)] = false;
    extend(left, top);
    extend(right - 1, bottom - 1);
}

void MetafileDeviceContext::setPixel(int x, int y, ColorRef color)
{
    color &= 0xFFFFFF;
    record(wmf::SetPixel, {low(color), high(color), word(y), word(x)});
    extend(x, y);
}

void MetafileDeviceContext::textOut(int x, int y, std::string_view text)
{
    ensureFont();
    std::string bytes = latin1(text);
    std::vector<std::uint16_t> params = {static_cast<std::uint16_t>(std::min<std::size_t>(bytes.size(), 0x7FFF))};
    bytes.resize(std::min<std::size_t>(bytes.size(), 0x7FFF));
    std::vector<std::uint16_t> textWords = packBytes(bytes);
    params.insert(params.end(), textWords.begin(), textWords.end());
    params.push_back(word(y));
    params.push_back(word(x));
    record(wmf::TextOut, params);

    TextMetrics metrics = textMetrics();
    int width = textWidth(text);
    unsigned horizontal = m_state.textAlign & TA_CENTER;
    int left = horizontal == TA_CENTER ? x - width / 2 : horizontal == TA_RIGHT ? x - width : x;
    unsigned vertical = m_state.textAlign & TA_BASELINE;
    int top = vertical == TA_BASELINE ? y - metrics.ascent : vertical == TA_BOTTOM ? y - metrics.height : y;
    extend(left, top);
    extend(left + std::max(width - 1, 0), top + std::max(metrics.height - 1, 0));
}

void MetafileDeviceContext::writeStretchDib(const std::vector<std::uint16_t>& dib, int width, int height, int left,
                                            int top, int right, int bottom, std::uint32_t rop)
{
    std::vector<std::uint16_t> params = {low(rop),          high(rop),         0,         word(height),
                                         word(width),       0,                 0,         word(bottom - top),
                                         word(right - left), word(top),        word(left)};
    params.insert(params.end(), dib.begin(), dib.end());
    record(wmf::StretchDib, params);
}

void MetafileDeviceContext::drawBitmap(const Bitmap& bitmap, int left, int top, int right, int bottom,
                                       BitmapMode mode)
{
    if (bitmap.isEmpty() || right == left || bottom == top)
        return;
    int w = bitmap.width(), h = bitmap.height();
    if (mode == BitmapMode::Copy || mode == BitmapMode::Transparent) {
        // ANDed, white keeps the picture under it and the ink keeps its colour on a white ground.
        writeStretchDib(deviceIndependentBitmap(w, h, {}, [&](int x, int y) { return bitmap.pixel(x, y); }), w, h,
                        left, top, right, bottom, mode == BitmapMode::Copy ? wmf::kSrcCopy : wmf::kSrcAnd);
    } else {
        // Palette entry 1 where there is no ink: white keeps the picture under the AND,
        // black leaves it under the OR.
        writeStretchDib(deviceIndependentBitmap(w, h, {0x000000, 0xFFFFFF},
                                                [&](int x, int y) -> ColorRef { return bitmap.isInk(x, y) ? 0 : 1; }),
                        w, h, left, top, right, bottom, wmf::kSrcAnd);
        writeStretchDib(deviceIndependentBitmap(w, h, {m_state.textColor, 0x000000},
                                                [&](int x, int y) -> ColorRef { return bitmap.isInk(x, y) ? 0 : 1; }),
                        w, h, left, top, right, bottom, wmf::kSrcPaint);
    }
    extend(std::min(left, right), std::min(top, bottom));
    extend(std::max(left, right) - 1, std::max(top, bottom) - 1);
}

void MetafileDeviceContext::setMapMode(MapMode mode)
{
    m_state.mapping.mode = mode;
    record(wmf::SetMapMode, {static_cast<std::uint16_t>(mode)});
}

void MetafileDeviceContext::recordPoint(std::uint16_t function, Point point)
{
    recordPoints(function, {point.y, point.x});
}

void MetafileDeviceContext::setWindowOrigin(int x, int y)
{
    m_state.mapping.windowOrigin = {x, y};
    recordPoint(wmf::SetWindowOrg, m_state.mapping.windowOrigin);
}

void MetafileDeviceContext::setWindowExtent(int cx, int cy)
{
    m_state.mapping.windowExtent = nonZeroExtent(cx, cy);
    m_windowExtentSet = true;
    recordPoint(wmf::SetWindowExt, m_state.mapping.windowExtent);
}

void MetafileDeviceContext::setViewportOrigin(int x, int y)
{
    m_state.mapping.viewportOrigin = {x, y};
    recordPoint(wmf::SetViewportOrg, m_state.mapping.viewportOrigin);
}

void MetafileDeviceContext::setViewportExtent(int cx, int cy)
{
    m_state.mapping.viewportExtent = nonZeroExtent(cx, cy);
    recordPoint(wmf::SetViewportExt, m_state.mapping.viewportExtent);
}

void MetafileDeviceContext::setBackgroundMode(BackgroundMode mode)
{
    m_state.backgroundMode = mode;
    record(wmf::SetBkMode, {static_cast<std::uint16_t>(mode)});
}

void MetafileDeviceContext::setBackgroundColor(ColorRef color)
{
    m_state.backgroundColor = color & 0xFFFFFF;
    recordColor(wmf::SetBkColor, m_state.backgroundColor);
}

void MetafileDeviceContext::setClipRect(int left, int top, int right, int bottom)
{
    if (m_saved)
        restoreState();
    record(wmf::SaveDc, {});
    m_saved = m_state;
    recordPoints(wmf::IntersectClipRect, {bottom, right, top, left});
}

void MetafileDeviceContext::removeClip()
{
    if (m_saved)
        restoreState();
}

void MetafileDeviceContext::restoreState()
{
    // Restoring brings back everything the saved state held; what changed since is set again.
    record(wmf::RestoreDc, {word(-1)});
    State saved = *m_saved;
    m_saved.reset();
    for (auto [now, then] : {std::pair{m_state.pen, saved.pen}, std::pair{m_state.brush, saved.brush},
                             std::pair{m_state.font, saved.font}})
        if (now != then && now >= 0)
            record(wmf::SelectObject, {static_cast<std::uint16_t>(now)});
    if (m_state.textColor != saved.textColor)
        recordColor(wmf::SetTextColor, m_state.textColor);
    if (m_state.backgroundColor != saved.backgroundColor)
        recordColor(wmf::SetBkColor, m_state.backgroundColor);
    if (m_state.backgroundMode != saved.backgroundMode)
        record(wmf::SetBkMode, {static_cast<std::uint16_t>(m_state.backgroundMode)});
    if (m_state.textAlign != saved.textAlign)
        record(wmf::SetTextAlign, {static_cast<std::uint16_t>(m_state.textAlign)});
    if (m_state.rasterOp != saved.rasterOp)
        record(wmf::SetRop2, {rasterOpNumber(m_state.rasterOp)});
    const Mapping& now = m_state.mapping;
    const Mapping& then = saved.mapping;
    if (now.mode != then.mode)
        record(wmf::SetMapMode, {static_cast<std::uint16_t>(now.mode)});
    for (auto [function, point, before] : {std::tuple{wmf::SetWindowOrg, now.windowOrigin, then.windowOrigin},
                                           std::tuple{wmf::SetWindowExt, now.windowExtent, then.windowExtent},
                                           std::tuple{wmf::SetViewportOrg, now.viewportOrigin, then.viewportOrigin},
                                           std::tuple{wmf::SetViewportExt, now.viewportExtent, then.viewportExtent},
                                           std::tuple{wmf::MoveTo, m_state.position, saved.position}})
        if (point != before)
            recordPoint(function, point);
    for (int slot : m_deferredDeletes)
        releaseObject(slot);
    m_deferredDeletes.clear();
}

TextMetrics MetafileDeviceContext::textMetrics()
{
    return m_measure ? m_measure->textMetrics() : TextMetrics{13, 10, 7};
}

int MetafileDeviceContext::textWidth(std::string_view text)
{
    return m_measure ? m_measure->textWidth(text) : 7 * static_cast<int>(text.size());
}

std::vector<int> MetafileDeviceContext::bounds() const
{
    int left = 0, top = 0, right = 1, bottom = 1;
    const Mapping& mapping = m_state.mapping;
    if (m_windowExtentSet && mapping.mode != MapMode::Text) {
        Point o = mapping.windowOrigin, e = mapping.windowExtent;
        left = std::min(o.x, o.x + e.x);
        right = std::max(o.x, o.x + e.x);
        top = std::min(o.y, o.y + e.y);
        bottom = std::max(o.y, o.y + e.y);
    } else if (m_drawn) {
        left = m_minX;
        top = m_minY;
        right = m_maxX + 1;
        bottom = m_maxY + 1;
    }
    auto clamp16 = [](int v) { return std::clamp(v, -32768, 32767); };
    left = clamp16(left);
    top = clamp16(top);
    right = std::max(clamp16(right), std::min(left + 1, 32767));
    bottom = std::max(clamp16(bottom), std::min(top + 1, 32767));
    return {left, top, right, bottom};
}

std::string MetafileDeviceContext::bytes() const
{
    std::vector<std::uint16_t> file;
    std::vector<int> box = bounds();
    int inch = std::clamp(m_options.unitsPerInch, 1, 65535);
    file = {low(wmf::kPlaceableKey), high(wmf::kPlaceableKey), 0,   word(box[0]), word(box[1]), word(box[2]),
            word(box[3]),            static_cast<std::uint16_t>(inch), 0, 0};
    std::uint16_t checksum = 0;
    for (std::uint16_t w : file)
        checksum ^= w;
    file.push_back(checksum);

    auto total = static_cast<std::uint32_t>(wmf::kHeaderWords + m_words.size() + 3);
    std::uint32_t largest = std::max<std::uint32_t>(m_largestRecord, 3);
    std::vector<std::uint16_t> header = {1,
                                         static_cast<std::uint16_t>(wmf::kHeaderWords),
                                         0x0300,
                                         low(total),
                                         high(total),
                                         static_cast<std::uint16_t>(m_slotsInUse.size()),
                                         low(largest),
                                         high(largest),
                                         0};
    file.insert(file.end(), header.begin(), header.end());
    file.insert(file.end(), m_words.begin(), m_words.end());
    file.insert(file.end(), {3, 0, wmf::Eof});

    std::string out;
    out.reserve(file.size() * 2);
    for (std::uint16_t w : file) {
        out += static_cast<char>(w & 0xFF);
        out += static_cast<char>(w >> 8);
    }
    return out;
}

bool MetafileDeviceContext::save(const std::string& path, int* error) const
{
    return writeFileAtomically(path, bytes(), error);
}

} // namespace platform
