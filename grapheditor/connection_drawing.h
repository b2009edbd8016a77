// Drawing a new bond or signal by clicks: a start object, midpoints on empty
// canvas, an end object; a right click cancels. The lines drawn on the way go
// through the view.
#pragma once

#include "grapheditor/graph_objects.h"

#include <vector>

/// Tools of the draw popup.
enum DrawTool : int {
    TOOL_BOND = 0,
    TOOL_MULTIBOND = 1,
    TOOL_SIGNAL = 2,
    TOOL_MULTISIGNAL = 3,
    TOOL_PIO = 4,
    TOOL_SELECT = 5,
    TOOL_SUBMODEL = 6,
};

inline int ToolDrawsSignals(int tool) { return tool == TOOL_SIGNAL || tool == TOOL_MULTISIGNAL; }
inline int ToolUsesDefaultSize(int tool) { return tool == TOOL_MULTIBOND || tool == TOOL_MULTISIGNAL; }

/// The state of one connection being drawn on the current model.
class ConnectionDrawing {
public:
    enum class State { Idle, Drawing };

    State state() const { return m_state; }

    /// A left click at the point with the tool in use; the connection made by an
    /// accepted end click, else null.
    Connection* leftClick(int x, int y, int tool);

    /// A right click, or another tool chosen: back to idle, nothing made.
    void cancel();

    const std::vector<Midpoint>& midpoints() const { return m_midpoints; }

private:
    void start(int kind, void* object, int x, int y);
    void addMidpoint(int x, int y);
    Connection* finish(int kind, void* object, int tool);
    void eraseTemporaryLines();
    /// Where the last fixed line ends: the last midpoint, else the start's edge point.
    Midpoint lastPoint() const;

    State m_state = State::Idle;
    int m_startKind = END_NONE;
    void* m_start = nullptr;
    int m_startX = 0, m_startY = 0;
    int m_startEdgeX = 0, m_startEdgeY = 0;
    std::vector<Midpoint> m_midpoints;
};
