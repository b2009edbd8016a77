// The drawing layer on the graph editor's canvas window: drawing outside the
// paint into the canvas's backing store, its scroller, the mouse cursor, text
// measured as the screen does, pictures on the clipboard, the symbols from the
// program's resources, and printing.
#pragma once

#include "grapheditor/drawing_layer.h"
#include "platform/qt/printing.h"

#include <memory>

class TQNCanvas;

namespace platform {
class PainterDeviceContext;
}

class CanvasSurface : public DrawingSurface {
public:
    explicit CanvasSurface(TQNCanvas& canvas);
    ~CanvasSurface() override;

    platform::DeviceContext* beginDrawing() override;
    void endDrawing(int left, int top, int right, int bottom) override;
    int clientWidth() const override;
    int clientHeight() const override;
    bool hasScroller() const override;
    platform::Point scrollerPosition() const override;
    void setScrollerRange(int xRange, int yRange, int xLine, int yLine) override;
    void scrollerScrollTo(int x, int y) override;
    void setCursorPosition(int x, int y) override;
    std::unique_ptr<platform::DeviceContext> measuringContext() override;
    bool putPicture(int left, int top, int width, int height, int unitsPerInch,
                    const std::function<void(platform::DeviceContext&)>& draw) override;

private:
    TQNCanvas& m_canvas;
    std::unique_ptr<platform::PainterDeviceContext> m_context;
};

/// The canvas's paint callback: the drawing layer's paint.
void PaintGraphCanvas(platform::DeviceContext* context);

/// The symbols are read from the program's bitmap resources.
void UseSymbolResources();

/// The drawing on paper: each page is the drawing scaled to fit it.
class DrawingPrintout : public platform::Printout {
public:
    /// With `wholeExtent` the page shows the whole extent, else what is drawn.
    DrawingPrintout(std::string title, int wholeExtent) : Printout(std::move(title)), m_whole(wholeExtent) {}
    bool hasPage(int page) override { return page == 1; }
    void printPage(int page, platform::DeviceContext& context, int pageWidth, int pageHeight) override;

private:
    int m_whole;
};
