// Drawing the graph through the drawing layer: submodels as symbols, boxes or
// ellipses with their texts, PIOs as named boxes, bonds and signals as single or
// parallel lines with half-arrows, arrowheads and causal strokes. Each drawing
// routine called with draw 0 erases exactly what it drew with 1. Layout gives
// every object its box and every connection end its edge point.
#pragma once

#include "grapheditor/graph_objects.h"
#include "platform/core/device_context.h"

#include <array>
#include <vector>

/// The connection's line count less one: its size list's dimensions, at most 7.
int connection_dimensions(const Connection& connection);

/// Draws the whole graph (when the layer has somewhere to draw): the background
/// erased first when asked, the grid when the `grid` setting is on, every
/// submodel and PIO (their error marks cleared first when asked) and every connection.
void redraw_all(int eraseFirst, int clearMarks);

void draw_submodel(Submodel& submodel, int draw);
void draw_pio(Pio& pio, int draw);
void draw_connection(Connection& connection, int draw);

/// Where the line from the anchor toward the point leaves the outline of the
/// object (kind 1 submodel, 2 PIO); the anchor itself when the point is the anchor
/// or there is no object.
void edge_point(int anchorX, int anchorY, int towardX, int towardY, int objectKind, const void* object, int& x,
                int& y);

/// The largest r with r * r <= n (0 for n below 1).
int isqrt(int n);

/// Recompute the layout box, or both edge points, from the current texts,
/// symbols and positions; each answers how many of its fields changed.
int layout_submodel(Submodel& submodel);
int layout_pio(Pio& pio);
int layout_connection(Connection& connection);
/// Lays out every submodel, PIO and connection of the model; the fields changed.
int layout_all(GraphModel& model);

/// The causality with its stroke at the other end: 1 and 2 swap; none (and any
/// value that is no causality) stays none.
int FlipCausality(int causality);

/// The lines of one end of a connection: where each of its n + 1 lines starts, by slot.
struct ConnectionEndPoints {
    bool drawn = false; ///< false when the neighbouring point lies on the edge point
    int count = 0;      ///< n + 1
    std::array<platform::Point, 8> lines{};
};

/// The geometry of end e (0 or 1) with its neighbouring point: the start points of
/// its lines and, when drawing, its arrow or half-arrow and causal stroke.
ConnectionEndPoints connection_end(Connection& connection, int e, platform::Point neighbour, int draw);

/// One straight line of a drawing.
struct LineSegment {
    platform::Point from, to;
};

/// Every straight line the connection draws: its lines from end to end, its arrowhead or
/// half-arrow and its causal strokes.
std::vector<LineSegment> connection_segments(const Connection& connection);

/// The sign of one input of a summation point.
struct SummationSign {
    platform::Point centre;
    bool plus = false; ///< a plus (port name p...), else a minus (m...)
};

/// The signs of a summation point's inputs, in attachment order. Each stands where the
/// angle rule puts it, half a radian on from where its connection enters; where a line
/// drawn to the summation point or another sign is in the way, it moves on around the
/// same side of its connection, or further out, to the nearest place clear of them.
std::vector<SummationSign> summation_signs(const Submodel& submodel);

/// The points of every line at a midpoint between the previous and the next point, by slot.
std::array<platform::Point, 8> mitre_points(platform::Point previous, platform::Point midpoint, platform::Point next,
                                            int n);
