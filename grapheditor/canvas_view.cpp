// The canvas view: the model core's drawing requests handed to the renderer and the drawing layer.
#include "grapheditor/canvas_view.h"

#include "grapheditor/drawing_layer.h"
#include "grapheditor/editor_guard.h"
#include "grapheditor/graph_rendering.h"

void CanvasView::drawSubmodel(Submodel& submodel, int draw)
{
    draw_submodel(submodel, draw);
}

void CanvasView::drawPio(Pio& pio, int draw)
{
    draw_pio(pio, draw);
}

void CanvasView::drawConnection(Connection& connection, int draw)
{
    draw_connection(connection, draw);
}

void CanvasView::redrawAll()
{
    // The extent may be another model's now.
    update_scroller();
    redraw_all(1, 0);
}

void CanvasView::layoutSubmodel(Submodel& submodel)
{
    layout_submodel(submodel);
}

void CanvasView::layoutPio(Pio& pio)
{
    layout_pio(pio);
}

void CanvasView::layoutConnection(Connection& connection)
{
    layout_connection(connection);
}

std::pair<int, int> CanvasView::edgePoint(int anchorX, int anchorY, int towardX, int towardY, int objectKind,
                                          const void* object)
{
    int x = 0, y = 0;
    edge_point(anchorX, anchorY, towardX, towardY, objectKind, object, x, y);
    return {x, y};
}

void CanvasView::startRubberBand(int x, int y)
{
    band_start(x, y, x, y);
}

void CanvasView::stopRubberBand()
{
    band_stop();
}

void CanvasView::drawTemporaryLine(int x0, int y0, int x1, int y1, int draw)
{
    temporary_line(x0, y0, x1, y1, draw);
}

std::optional<std::pair<int, int>> CanvasView::scrollPosition()
{
    const DrawingSurface* surface = drawing_surface();
    if (!surface || !surface->hasScroller())
        return std::nullopt;
    int x = 0, y = 0;
    scroll_position(x, y);
    return std::pair{x, y};
}

void CanvasView::resetCanvas()
{
    clear_xor_lines();
}

void CanvasView::scrollTo(int x, int y)
{
    update_scroller();
    scroll_to(x, y);
}

int CanvasView::editorGuard(int action, const void* object)
{
    return editor_guard(action, object);
}
