// The click-by-click drawing of a new connection.
#include "grapheditor/connection_drawing.h"

#include "common/message_boxes.h"
#include "grapheditor/graph_view.h"

#include <tuple>

namespace {

const char* const kDrawingStatus = "LEFT: Midpoint or End  -  RIGHT: Cancel.";
const char* const kIdleStatus = "Start bond/signal.";

bool hasAttachment(int kind, void* object)
{
    return kind == END_PIO && !static_cast<Pio*>(object)->attachments.empty();
}

} // namespace

Connection* ConnectionDrawing::leftClick(int x, int y, int tool)
{
    GraphModel& model = CurrentModel();
    int hitX = x;
    int hitY = y;
    void* object = nullptr;
    const int kind = hit_object(model, hitX, hitY, object);
    if (m_state == State::Drawing) {
        if (kind == 0) {
            addMidpoint(x, y);
            return nullptr;
        }
        return finish(kind, object, tool);
    }
    if (kind == 0)
        return nullptr;
    if (hasAttachment(kind, object)) {
        const int pioKind = static_cast<Pio*>(object)->kind;
        if (pioKind == PIO_PORT) {
            ShowMessage({"Only one bond may be connected to a port.", "This click is not accepted"});
            return nullptr;
        }
        if (pioKind == PIO_OUTPUT) {
            ShowMessage({"Only one signal may be connected to an output.", "This click is not accepted"});
            return nullptr;
        }
    }
    if (kind == END_SUBMODEL && !View().editorGuard(4, object))
        return nullptr;
    start(kind, object, hitX, hitY);
    return nullptr;
}

void ConnectionDrawing::start(int kind, void* object, int x, int y)
{
    m_startKind = kind;
    m_start = object;
    m_startX = m_startEdgeX = x;
    m_startY = m_startEdgeY = y;
    m_midpoints.clear();
    m_state = State::Drawing;
    View().startRubberBand(x, y);
    View().showStatus(kDrawingStatus, 1);
}

Midpoint ConnectionDrawing::lastPoint() const
{
    return m_midpoints.empty() ? Midpoint{m_startEdgeX, m_startEdgeY} : m_midpoints.back();
}

void ConnectionDrawing::addMidpoint(int x, int y)
{
    snap_to_grid(x, y);
    if (m_midpoints.empty())
        std::tie(m_startEdgeX, m_startEdgeY) = View().edgePoint(m_startX, m_startY, x, y, m_startKind, m_start);
    const Midpoint previous = lastPoint();
    m_midpoints.push_back({x, y});
    View().drawTemporaryLine(previous.x, previous.y, x, y, 1);
    View().stopRubberBand();
    View().startRubberBand(x, y);
}

Connection* ConnectionDrawing::finish(int kind, void* object, int tool)
{
    if (object == m_start) {
        ShowMessage({"A bond or signal starting and ending", "on the same submodel or PIO is not allowed.",
                     "Last click is not accepted"});
        return nullptr;
    }
    if (kind == END_PIO && m_startKind == END_PIO) {
        ShowMessage({"A bond or signal between two PIOs is not allowed.", "Last click is not accepted"});
        return nullptr;
    }
    if (hasAttachment(kind, object)) {
        ShowMessage({"Only one bond or signal may be connected to a PIO.", "Last click is not accepted"});
        return nullptr;
    }
    View().stopRubberBand();
    m_state = State::Idle;
    View().showStatus(kIdleStatus, 1);
    const int isSignal = ToolDrawsSignals(tool);
    const int direction = isSignal || (kind == END_SUBMODEL && m_startKind == END_SUBMODEL) ? 1 : 0;
    ExprList size = ToolUsesDefaultSize(tool) ? CopyList(DefaultSizeList()) : ExprList{};
    eraseTemporaryLines();
    std::vector<Midpoint> midpoints = std::move(m_midpoints);
    m_midpoints.clear();
    return AddConnection(CurrentModel(), {m_startKind, m_start}, {kind, object}, std::move(midpoints), isSignal,
                         direction, std::move(size));
}

void ConnectionDrawing::cancel()
{
    if (m_state != State::Drawing)
        return;
    View().stopRubberBand();
    m_state = State::Idle;
    View().showStatus(kIdleStatus, 1);
    eraseTemporaryLines();
    m_midpoints.clear();
}

void ConnectionDrawing::eraseTemporaryLines()
{
    Midpoint from{m_startEdgeX, m_startEdgeY};
    for (const Midpoint& to : m_midpoints) {
        View().drawTemporaryLine(from.x, from.y, to.x, to.y, 0);
        from = to;
    }
}
