// What the model core asks of the canvas and the editor around it: drawing by
// erase-by-redraw, layout, the rubber band, the status line, the edited flag and
// the editor-conflict guard. Without a view installed every call does nothing.
#pragma once

#include <optional>
#include <string>
#include <utility>

struct Submodel;
struct Pio;
struct Connection;

class GraphView {
public:
    virtual ~GraphView() = default;

    /// Draws (1) or erases by drawing in the background colour (0).
    virtual void drawSubmodel(Submodel&, int /*draw*/) {}
    virtual void drawPio(Pio&, int /*draw*/) {}
    virtual void drawConnection(Connection&, int /*draw*/) {}
    virtual void redrawAll() {}

    /// Set the layout box (left, top, width, height) from the texts and symbols.
    virtual void layoutSubmodel(Submodel&) {}
    virtual void layoutPio(Pio&) {}
    /// Recomputes both edge points of the connection.
    virtual void layoutConnection(Connection&) {}
    /// Where a line from the anchor toward the point leaves the object's outline
    /// (object kind 1 submodel, 2 PIO).
    virtual std::pair<int, int> edgePoint(int anchorX, int anchorY, int /*towardX*/, int /*towardY*/,
                                          int /*objectKind*/, const void* /*object*/)
    {
        return {anchorX, anchorY};
    }

    /// The XOR rubber band of a connection being drawn, from a fixed point to the mouse.
    virtual void startRubberBand(int /*x*/, int /*y*/) {}
    virtual void stopRubberBand() {}
    /// A permanent XOR line of a connection being drawn; drawn again with 0 it is gone.
    virtual void drawTemporaryLine(int /*x0*/, int /*y0*/, int /*x1*/, int /*y1*/, int /*draw*/) {}

    /// Status line; a kept text stays until replaced.
    virtual void showStatus(const std::string& /*text*/, int /*keep*/) {}
    /// The current model's edited flag changed.
    virtual void editedChanged(int /*edited*/) {}
    /// Forget the selection and the canvas's own editing state (the model is being emptied).
    virtual void resetCanvas() {}

    /// The canvas's scroll position, when it has a scroller.
    virtual std::optional<std::pair<int, int>> scrollPosition() { return std::nullopt; }
    virtual void scrollTo(int /*x*/, int /*y*/) {}

    /// The editor-conflict guard: 1 when the action (0-10) on the object may go on.
    virtual int editorGuard(int /*action*/, const void* /*object*/) { return 1; }
};

/// The view in use (one that does nothing until one is installed).
GraphView& View();

/// Installs a view (not owned); null goes back to the one that does nothing.
void SetGraphView(GraphView* view);
