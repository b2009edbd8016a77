// Bitmaps: pixel access, the ink test of masked drawing, and stretching.
#include "platform/core/bitmap.h"

#include <algorithm>

namespace platform {

Bitmap::Bitmap(int width, int height, ColorRef fill)
    : m_width(std::max(width, 0)), m_height(std::max(height, 0)),
      m_pixels(static_cast<std::size_t>(m_width) * static_cast<std::size_t>(m_height), fill & 0xFFFFFF)
{
    if (m_pixels.empty())
        m_width = m_height = 0;
}

ColorRef Bitmap::pixel(int x, int y) const
{
    if (x < 0 || y < 0 || x >= m_width || y >= m_height)
        return 0xFFFFFF;
    return m_pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(m_width) + static_cast<std::size_t>(x)];
}

void Bitmap::setPixel(int x, int y, ColorRef color)
{
    if (x < 0 || y < 0 || x >= m_width || y >= m_height)
        return;
    m_pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(m_width) + static_cast<std::size_t>(x)] =
        color & 0xFFFFFF;
}

bool Bitmap::isInk(int x, int y) const
{
    return pixel(x, y) != 0xFFFFFF;
}

const std::string& Bitmap::drawing() const
{
    static const std::string none;
    return m_drawing ? *m_drawing : none;
}

void Bitmap::setDrawing(std::string svg)
{
    m_drawing = svg.empty() ? nullptr : std::make_shared<const std::string>(std::move(svg));
}

} // namespace platform
