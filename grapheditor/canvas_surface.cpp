// The canvas surface over the canvas window, with its scroller and the clipboard.
#include "grapheditor/canvas_surface.h"

#include "common/canvas_window.h"
#include "grapheditor/symbol_tables.h"
#include "platform/qt/artwork.h"
#include "platform/qt/clipboard.h"
#include "platform/qt/painter_device_context.h"

#include <QCursor>
#include <QScrollBar>

CanvasSurface::CanvasSurface(TQNCanvas& canvas) : m_canvas(canvas) {}

CanvasSurface::~CanvasSurface() = default;

platform::DeviceContext* CanvasSurface::beginDrawing()
{
    m_context = m_canvas.drawingContext();
    return m_context.get();
}

void CanvasSurface::endDrawing(int left, int top, int right, int bottom)
{
    m_context.reset();
    if (right > left && bottom > top)
        m_canvas.update(QRect(left, top, right - left, bottom - top));
}

int CanvasSurface::clientWidth() const
{
    const platform::Scroller* scroller = m_canvas.Scroller();
    return std::max(0, m_canvas.width() - (scroller ? scroller->barExtent() : 0));
}

int CanvasSurface::clientHeight() const
{
    const platform::Scroller* scroller = m_canvas.Scroller();
    return std::max(0, m_canvas.height() - (scroller ? scroller->barExtent() : 0));
}

bool CanvasSurface::hasScroller() const
{
    return m_canvas.Scroller() != nullptr;
}

platform::Point CanvasSurface::scrollerPosition() const
{
    const platform::Scroller* scroller = m_canvas.Scroller();
    if (!scroller)
        return {};
    return {scroller->xPos() * scroller->xUnit(), scroller->yPos() * scroller->yUnit()};
}

void CanvasSurface::setScrollerRange(int xRange, int yRange, int xLine, int yLine)
{
    platform::Scroller* scroller = m_canvas.Scroller();
    if (!scroller)
        return;
    scroller->setUnits(1, 1);
    scroller->setRange(xRange, yRange);
    scroller->horizontalBar()->setSingleStep(std::max(1, xLine));
    scroller->verticalBar()->setSingleStep(std::max(1, yLine));
}

void CanvasSurface::scrollerScrollTo(int x, int y)
{
    if (platform::Scroller* scroller = m_canvas.Scroller())
        scroller->scrollTo(x, y);
}

void CanvasSurface::setCursorPosition(int x, int y)
{
    QCursor::setPos(m_canvas.mapToGlobal(QPoint(x, y)));
}

std::unique_ptr<platform::DeviceContext> CanvasSurface::measuringContext()
{
    return std::make_unique<platform::ImageDeviceContext>(1, 1);
}

bool CanvasSurface::putPicture(int left, int top, int width, int height, int unitsPerInch,
                               const std::function<void(platform::DeviceContext&)>& draw)
{
    const platform::Picture picture = platform::makePicture({left, top, width, height, unitsPerInch}, draw);
    return platform::putOnClipboard(platform::pictureItems(picture));
}

void PaintGraphCanvas(platform::DeviceContext* context)
{
    paint_canvas(context);
}

void UseSymbolResources()
{
    SetSymbolLoader([](std::string_view name) { return platform::loadBitmapResource(name); });
}

void DrawingPrintout::printPage(int, platform::DeviceContext& context, int pageWidth, int pageHeight)
{
    print_drawing(context, pageWidth, pageHeight, m_whole);
}
