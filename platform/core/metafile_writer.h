// The metafile back-end of the drawing interface: every call becomes a record
// of a placeable metafile (.wmf) that other programs can show and scale.
#pragma once

#include "platform/core/device_context.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform {

struct MetafileOptions {
    /// Logical units per inch of the picture, written into its header.
    int unitsPerInch = 96;
};

/// Records drawing as a placeable metafile. Pens, brushes and fonts become
/// objects that are created, selected and deleted when replaced; a clip
/// rectangle is set inside a saved state that lifting it restores. The
/// header's bounds are the window rectangle when a mapping mode with a window
/// extent is set, else the box of everything drawn, else one unit at the
/// origin. Coordinates are 16-bit: larger ones are clamped. Text is written in
/// Latin-1 ("?" for characters outside it). The background mode starts
/// transparent, as in the other contexts.
class MetafileDeviceContext : public DeviceContext {
public:
    /// Text is measured by `measure` (which gets every font set here); without
    /// one, 7 units a character and 13 a line.
    explicit MetafileDeviceContext(MetafileOptions options = {}, std::unique_ptr<DeviceContext> measure = nullptr);
    ~MetafileDeviceContext() override;

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
    /// A copied bitmap is one stretched picture; a masked one is its mask
    /// (ink black) ANDed and then its ink in the text colour ORed in; a
    /// transparent one is the picture ANDed.
    void drawBitmap(const Bitmap& bitmap, int left, int top, int right, int bottom, BitmapMode mode) override;
    void setMapMode(MapMode mode) override;
    /// An extent with a zero part cannot map anything: it is written as 1.
    void setWindowOrigin(int x, int y) override;
    void setWindowExtent(int cx, int cy) override;
    void setViewportOrigin(int x, int y) override;
    void setViewportExtent(int cx, int cy) override;
    const Mapping& mapping() const override { return m_state.mapping; }
    void setBackgroundMode(BackgroundMode mode) override;
    void setBackgroundColor(ColorRef color) override;
    void setClipRect(int left, int top, int right, int bottom) override;
    void removeClip() override;
    TextMetrics textMetrics() override;
    int textWidth(std::string_view text) override;
    int bitsPerPixel() const override { return 24; }
    bool styledLines() const override { return true; }

    /// The header's bounds as they would be written now: left, top, right, bottom.
    std::vector<int> bounds() const;

    /// The whole file: placeable header, metafile header, the records so far
    /// and the end record (drawing may go on afterwards).
    std::string bytes() const;

    /// Writes the file atomically; false (with the system's error number) when that fails.
    bool save(const std::string& path, int* error = nullptr) const;

private:
    struct State {
        int pen = -1, brush = -1, font = -1; // object slots, -1 while none was made
        ColorRef textColor = 0, backgroundColor = 0xFFFFFF;
        BackgroundMode backgroundMode = BackgroundMode::Transparent;
        unsigned textAlign = TA_LEFT | TA_TOP;
        RasterOp rasterOp = RasterOp::CopyPen;
        Mapping mapping;
        Point position;
    };

    void record(std::uint16_t function, const std::vector<std::uint16_t>& params);
    void recordPoints(std::uint16_t function, std::initializer_list<int> values);
    /// A point record: y, then x.
    void recordPoint(std::uint16_t function, Point point);
    void recordColor(std::uint16_t function, ColorRef color);
    int createObject(std::uint16_t function, const std::vector<std::uint16_t>& params);
    void replaceObject(int& slot, int newSlot);
    void releaseObject(int slot);
    void makePen();
    void makeBrush();
    void makeFont();
    void ensureBrush();
    void ensureFont();
    void writeStretchDib(const std::vector<std::uint16_t>& dib, int width, int height, int left, int top, int right,
                         int bottom, std::uint32_t rop);
    void restoreState();
    void extend(int x, int y);

    MetafileOptions m_options;
    std::unique_ptr<DeviceContext> m_measure;
    std::vector<std::uint16_t> m_words; // the records after the metafile header
    std::uint32_t m_largestRecord = 0;
    std::vector<bool> m_slotsInUse;
    State m_state;
    Pen m_pen;
    Brush m_brush;
    FontSpec m_font;
    bool m_windowExtentSet = false;
    std::optional<State> m_saved;     // the state a clip rectangle will restore
    std::vector<int> m_deferredDeletes; // objects the saved state still selects
    bool m_drawn = false;
    int m_minX = 0, m_minY = 0, m_maxX = 0, m_maxY = 0;
};

} // namespace platform
