// The view the model core draws through when the graph is shown on a canvas:
// drawing, layout and edge points by the renderer, the rubber band and the
// temporary lines of the drawing layer, its scroll position, and the
// editor-conflict guard. The main window adds its status line and title.
#pragma once

#include "grapheditor/graph_view.h"

class CanvasView : public GraphView {
public:
    void drawSubmodel(Submodel& submodel, int draw) override;
    void drawPio(Pio& pio, int draw) override;
    void drawConnection(Connection& connection, int draw) override;
    void redrawAll() override;

    void layoutSubmodel(Submodel& submodel) override;
    void layoutPio(Pio& pio) override;
    void layoutConnection(Connection& connection) override;
    std::pair<int, int> edgePoint(int anchorX, int anchorY, int towardX, int towardY, int objectKind,
                                  const void* object) override;

    void startRubberBand(int x, int y) override;
    void stopRubberBand() override;
    void drawTemporaryLine(int x0, int y0, int x1, int y1, int draw) override;

    /// The band and the lines of a connection being drawn go with the model.
    void resetCanvas() override;

    std::optional<std::pair<int, int>> scrollPosition() override;
    void scrollTo(int x, int y) override;

    int editorGuard(int action, const void* object) override;
};
