// The canvas's mouse handling over the selection, the draw popup's tool and
// the click-by-click connection drawing.
#include "grapheditor/program/canvas_mouse.h"

#include "grapheditor/program/draw_popup.h"
#include "grapheditor/program/editor_frame.h"
#include "grapheditor/program/model_commands.h"
#include "grapheditor/program/navigation.h"
#include "grapheditor/program/processing_handoff.h"
#include "grapheditor/program/selection.h"

#include "grapheditor/connection_drawing.h"
#include "grapheditor/drawing_layer.h"
#include "grapheditor/graph_objects.h"
#include "grapheditor/graph_view.h"
#include "grapheditor/submodel_library.h"
#include "platform/core/message_numbers.h"

#include <algorithm>
#include <optional>

namespace {

struct MouseState {
    bool buttonPressed = false;
    bool dragging = false;
    bool moveArmed = false;
    int dragMidpoint = -1;           ///< the midpoint a connection drag moves
    int lastSegment = 0;             ///< the segment of the last connection hit
    std::optional<Midpoint> lastDrag; ///< the last snapped drag point
    std::optional<Midpoint> lastEmptyClick; ///< the last empty point a drawing took
    ConnectionDrawing drawing;
};

MouseState& state()
{
    static MouseState s;
    return s;
}

bool isConnectionTool(int tool)
{
    return tool >= TOOL_BOND && tool <= TOOL_MULTISIGNAL;
}

void repaint()
{
    invalidate_canvas();
    if (EditorFrame* frame = Editor().frame)
        frame->repaintCanvas();
}

/// Keeps a point inside the drawing: never negative, never past the extent
/// (on a grid point when snapping is on).
void keepOnCanvas(int& x, int& y)
{
    const GraphModel& model = CurrentModel();
    int right = std::max(model.width, 0);
    int bottom = std::max(model.height, 0);
    int gridRight = right, gridBottom = bottom;
    snap_to_grid(gridRight, gridBottom);
    if (gridRight > right)
        gridRight -= GridStep();
    if (gridBottom > bottom)
        gridBottom -= GridStep();
    x = std::clamp(x, 0, std::max(gridRight, 0));
    y = std::clamp(y, 0, std::max(gridBottom, 0));
}

template <class Object>
bool boxHolds(const Object& o, int x, int y)
{
    return o.left <= x && x <= o.left + o.width && o.top <= y && y <= o.top + o.height;
}

/// Whether a submodel or PIO other than `self` lies at the point.
bool otherObjectAt(const void* self, int x, int y)
{
    const GraphModel& model = CurrentModel();
    for (const Submodel& s : model.submodels)
        if (&s != self && boxHolds(s, x, y))
            return true;
    for (const Pio& p : model.pios)
        if (&p != self && boxHolds(p, x, y))
            return true;
    return false;
}

/// Every connection attached to the object follows its new anchor.
void moveAttached(std::vector<Attachment>& attachments, int x, int y)
{
    for (const Attachment& a : attachments) {
        Connection& connection = *a.connection;
        View().drawConnection(connection, 0);
        connection.ends[a.end].anchorX = x;
        connection.ends[a.end].anchorY = y;
        View().layoutConnection(connection);
        View().drawConnection(connection, 1);
    }
}

/// The dragged midpoint takes the point; a neighbour already there merges into it.
void move_bond(Connection& connection, int x, int y)
{
    MouseState& s = state();
    auto& points = connection.midpoints;
    View().drawConnection(connection, 0);
    if (s.dragMidpoint < 0 || static_cast<std::size_t>(s.dragMidpoint) >= points.size()) {
        ShowStatus(s.dragMidpoint < 0 ? "Error in move_bond: corrupted midpoint list at head."
                                      : "Error in move_bond: corrupted midpoint list at tail.",
                   0);
        View().drawConnection(connection, 1);
        return;
    }
    auto at = [&](int i) { return points[static_cast<std::size_t>(i)]; };
    if (s.dragMidpoint > 0 && at(s.dragMidpoint - 1).x == x && at(s.dragMidpoint - 1).y == y) {
        points.erase(points.begin() + (s.dragMidpoint - 1));
        --s.dragMidpoint;
    }
    if (static_cast<std::size_t>(s.dragMidpoint + 1) < points.size() && at(s.dragMidpoint + 1).x == x &&
        at(s.dragMidpoint + 1).y == y)
        points.erase(points.begin() + (s.dragMidpoint + 1));
    points[static_cast<std::size_t>(s.dragMidpoint)] = {x, y};
    View().layoutConnection(connection);
    View().drawConnection(connection, 1);
    MarkEdited(CurrentModel(), 1);
}

void moveSubmodel(Submodel& submodel, int x, int y)
{
    View().drawSubmodel(submodel, 0);
    submodel.x = x;
    submodel.y = y;
    View().layoutSubmodel(submodel);
    moveAttached(submodel.attachments, x, y);
    View().drawSubmodel(submodel, 1);
    MarkEdited(CurrentModel(), 1);
}

/// A PIO does not move onto the first or last midpoint of a connection near the point.
bool pioMoveRefused(int x, int y)
{
    const Connection* connection = hit_connection(CurrentModel(), x, y);
    if (!connection || connection->midpoints.empty())
        return false;
    const Midpoint& first = connection->midpoints.front();
    const Midpoint& last = connection->midpoints.back();
    return (first.x == x && first.y == y) || (last.x == x && last.y == y);
}

void movePio(Pio& pio, int x, int y)
{
    if (pioMoveRefused(x, y))
        return;
    View().drawPio(pio, 0);
    pio.left += x - pio.x;
    pio.top += y - pio.y;
    pio.x = x;
    pio.y = y;
    View().layoutPio(pio);
    View().drawPio(pio, 1);
    moveAttached(pio.attachments, x, y);
    MarkEdited(CurrentModel(), 1);
}

/// A press on a connection while a drag is armed: the midpoint under the cursor is dragged.
void startDrag(int x, int y)
{
    MouseState& s = state();
    s.dragging = true;
    if (selection_kind() == SELECT_CONNECTION) {
        Connection& connection = *static_cast<Connection*>(selected_object());
        View().drawConnection(connection, 0);
        snap_to_grid(x, y);
        keepOnCanvas(x, y);
        s.dragMidpoint = add_midpoint(connection, x, y, s.lastSegment);
        const Midpoint m = connection.midpoints[static_cast<std::size_t>(s.dragMidpoint)];
        warp_cursor(m.x, m.y);
        s.lastDrag = m;
        ShowStatus("Drag midpoint of bond/signal to new position.", 0);
        View().layoutConnection(connection);
        View().drawConnection(connection, 1);
        return;
    }
    ShowStatus("Drag object to new position.", 0);
    int ax = x, ay = y;
    void* object = nullptr;
    if (hit_object(CurrentModel(), ax, ay, object) == END_SUBMODEL)
        warp_cursor(ax, ay);
}

void selectUnder(int x, int y, int doubleClick)
{
    GraphModel& model = CurrentModel();
    int hx = x, hy = y;
    void* object = nullptr;
    const int kind = hit_object(model, hx, hy, object);
    if (kind == END_SUBMODEL) {
        select_object(SELECT_SUBMODEL, object, doubleClick);
    } else if (kind == END_PIO) {
        select_object(SELECT_PIO, object, doubleClick);
    } else if (Connection* connection = hit_connection(model, x, y, &state().lastSegment)) {
        select_object(SELECT_CONNECTION, connection, doubleClick);
    } else {
        const bool had = has_selection() != 0;
        clear_selection();
        if (!had && doubleClick)
            repaint();
    }
}

void connectionToolClick(int x, int y, int tool)
{
    MouseState& s = state();
    GraphModel& model = CurrentModel();
    int hx = x, hy = y;
    void* object = nullptr;
    const int kind = hit_object(model, hx, hy, object);
    Connection* made = nullptr;
    if (kind == 0) {
        if (s.drawing.state() != ConnectionDrawing::State::Drawing)
            return;
        int sx = x, sy = y;
        snap_to_grid(sx, sy);
        keepOnCanvas(sx, sy);
        // A second click on the point just taken adds no second midpoint there.
        if (s.lastEmptyClick && s.lastEmptyClick->x == sx && s.lastEmptyClick->y == sy)
            return;
        s.drawing.leftClick(sx, sy, tool);
        s.lastEmptyClick = Midpoint{sx, sy};
        return;
    }
    if (kind == END_SUBMODEL && s.drawing.state() == ConnectionDrawing::State::Drawing &&
        !View().editorGuard(4, object))
        return;
    const bool wasIdle = s.drawing.state() == ConnectionDrawing::State::Idle;
    made = s.drawing.leftClick(x, y, tool);
    if (wasIdle || made)
        s.lastEmptyClick.reset();
    if (made) {
        select_object(SELECT_CONNECTION, made, 0);
        ClearAnnotation();
    }
}

void leftButtonDown(int x, int y, int doubleClick)
{
    MouseState& s = state();
    s.buttonPressed = true;
    const int tool = current_tool();
    if (isConnectionTool(tool)) {
        connectionToolClick(x, y, tool);
        return;
    }
    if (tool == TOOL_PIO) {
        if (Pio* pio = create_pio(x, y)) {
            select_object(SELECT_PIO, pio, 0);
            ClearAnnotation();
        } else {
            clear_selection();
        }
        return;
    }
    if (tool == TOOL_SUBMODEL) {
        LibraryEntry* entry = selected_library_entry_record();
        if (!entry)
            return;
        if (Submodel* submodel = create_submodel(x, y, *entry))
            select_object(SELECT_SUBMODEL, submodel, 0);
        else
            clear_selection();
        return;
    }
    if (doubleClick) {
        // The drag of the first click ends with the editor opening.
        s.dragging = false;
        s.moveArmed = false;
    }
    selectUnder(x, y, doubleClick);
}

void mouseMove(int x, int y)
{
    MouseState& s = state();
    const int tool = current_tool();
    if (!s.buttonPressed) {
        if (isConnectionTool(tool)) {
            if (band_active())
                band_move(x, y);
        } else {
            band_stop();
            s.drawing.cancel();
            s.lastEmptyClick.reset();
        }
        s.dragging = false;
        s.moveArmed = false;
        return;
    }
    if (tool != TOOL_SELECT || !has_selection())
        return;
    if (s.dragging) {
        drag_selection_to(x, y);
        return;
    }
    if (!s.moveArmed) {
        s.moveArmed = true;
        return;
    }
    startDrag(x, y);
}

void leftButtonUp(int x, int y)
{
    MouseState& s = state();
    if (s.dragging) {
        drag_selection_to(x, y);
        s.dragging = false;
        s.moveArmed = false;
        s.lastDrag.reset();
        ShowStatus("Select item.", 0);
        repaint();
    }
    s.buttonPressed = false;
}

void rightButtonDown(int x, int y)
{
    MouseState& s = state();
    if (isConnectionTool(current_tool()) && s.drawing.state() == ConnectionDrawing::State::Drawing) {
        s.drawing.cancel();
        s.lastEmptyClick.reset();
        return;
    }
    selectUnder(x, y, 0);
}

void rightDoubleClick(int x, int y)
{
    GraphModel& model = CurrentModel();
    int hx = x, hy = y;
    void* object = nullptr;
    if (hit_object(model, hx, hy, object) == END_SUBMODEL) {
        auto* submodel = static_cast<Submodel*>(object);
        select_object(SELECT_SUBMODEL, submodel, 0);
        if (submodel->type)
            ShowSubmodel(*submodel->type, submodel->name);
        return;
    }
    if (hit_object(model, hx, hy, object) == 0 && !hit_connection(model, x, y)) {
        clear_selection();
        ShowParent();
    }
}

} // namespace

void drag_selection_to(int x, int y)
{
    MouseState& s = state();
    snap_to_grid(x, y);
    keepOnCanvas(x, y);
    if (s.lastDrag && s.lastDrag->x == x && s.lastDrag->y == y)
        return;
    void* object = selected_object();
    if (!object || otherObjectAt(object, x, y))
        return;
    s.lastDrag = Midpoint{x, y};
    switch (selection_kind()) {
    case SELECT_CONNECTION:
        move_bond(*static_cast<Connection*>(object), x, y);
        break;
    case SELECT_SUBMODEL:
        moveSubmodel(*static_cast<Submodel*>(object), x, y);
        break;
    case SELECT_PIO:
        movePio(*static_cast<Pio*>(object), x, y);
        break;
    default:
        break;
    }
}

int canvas_mouse(const platform::Message& message)
{
    const platform::Point point =
        device_to_drawing(platform::paramX(message.lParam), platform::paramY(message.lParam));
    switch (message.number) {
    case platform::WM_MOUSEMOVE:
        mouseMove(point.x, point.y);
        break;
    case platform::WM_LBUTTONDOWN:
        leftButtonDown(point.x, point.y, 0);
        break;
    case platform::WM_LBUTTONDBLCLK:
        leftButtonDown(point.x, point.y, 1);
        break;
    case platform::WM_LBUTTONUP:
        leftButtonUp(point.x, point.y);
        break;
    case platform::WM_RBUTTONDOWN:
        rightButtonDown(point.x, point.y);
        break;
    case platform::WM_RBUTTONDBLCLK:
        rightDoubleClick(point.x, point.y);
        break;
    default:
        break;
    }
    return 0;
}

void reset_canvas_mouse()
{
    MouseState& s = state();
    s.drawing.cancel();
    s.buttonPressed = s.dragging = s.moveArmed = false;
    s.dragMidpoint = -1;
    s.lastDrag.reset();
    s.lastEmptyClick.reset();
}

bool connection_being_drawn()
{
    return state().drawing.state() == ConnectionDrawing::State::Drawing;
}
