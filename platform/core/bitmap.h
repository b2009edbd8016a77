// A picture of colour pixels: the suite's symbols, tool pictures and the about
// picture as the device contexts draw them.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace platform {

/// A colour as the suite writes it: 0x00BBGGRR.
using ColorRef = std::uint32_t;

inline constexpr ColorRef rgb(int r, int g, int b)
{
    return static_cast<ColorRef>((r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16));
}

/// Pixels row by row from the top left; every pixel is opaque.
class Bitmap {
public:
    Bitmap() = default;
    /// A bitmap of the given size filled with one colour (sizes below 0 count as 0).
    Bitmap(int width, int height, ColorRef fill = 0xFFFFFF);

    int width() const { return m_width; }
    int height() const { return m_height; }
    bool isEmpty() const { return m_width == 0 || m_height == 0; }

    /// The pixel's colour; white outside the bitmap.
    ColorRef pixel(int x, int y) const;
    /// Sets a pixel; a point outside the bitmap is ignored.
    void setPixel(int x, int y, ColorRef color);

    /// True for the pixels a masked drawing paints in the text colour: every
    /// one that is not white (white leaves the background).
    bool isInk(int x, int y) const;

    const std::vector<ColorRef>& pixels() const { return m_pixels; }

    /// The same picture as a drawing (SVG text on a clear ground), which a device
    /// that shows the bitmap larger than its pixels draws instead; empty when it has none.
    const std::string& drawing() const;
    void setDrawing(std::string svg);

    /// Bitmaps are equal when their pixels are; the drawing is not compared.
    bool operator==(const Bitmap& other) const
    {
        return m_width == other.m_width && m_height == other.m_height && m_pixels == other.m_pixels;
    }

private:
    int m_width = 0;
    int m_height = 0;
    std::vector<ColorRef> m_pixels;
    std::shared_ptr<const std::string> m_drawing; // shared by the copies of one picture
};

} // namespace platform
