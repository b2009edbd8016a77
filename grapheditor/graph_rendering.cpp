// Graph rendering: layout, edge points and the drawing of submodels, PIOs and
// connections, all through the drawing layer's primitives and their draw flag.
#include "grapheditor/graph_rendering.h"

#include "common/settings_table.h"
#include "grapheditor/drawing_layer.h"
#include "grapheditor/submodel_library.h"
#include "grapheditor/submodel_types.h"
#include "grapheditor/symbol_tables.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

using platform::Point;

namespace {

constexpr int kMaxLines = 7;
/// How far beyond its box an object may draw (error cross, array marks, signs).
constexpr int kDrawingMargin = 64;

/// How a submodel is drawn.
enum class Look {
    Block,   ///< built-in type with signals only: a framed symbol, the name below it
    Element, ///< built-in type with power ports: the symbol, ":name" beside it
    Box,     ///< another type with signals only
    Ellipse, ///< another type with power ports
};

bool builtin(const Submodel& s)
{
    return s.type && s.type->libraryIndex >= 0;
}

/// Whether the type's interface, as it is held, has no power port. Drawing reads
/// no file: the layout has read the interface when it could.
bool signalsOnly(const Submodel& s)
{
    if (!s.type || !s.type->interface)
        return false;
    for (const Pio& pio : s.type->interface->pios)
        if (pio.kind == PIO_PORT)
            return false;
    return true;
}

Look lookOf(const Submodel& s)
{
    const bool signals = signalsOnly(s);
    if (builtin(s))
        return signals ? Look::Block : Look::Element;
    return signals ? Look::Box : Look::Ellipse;
}

bool isSum(const Submodel& s)
{
    return s.type && is_sum_type(s.type->name);
}

int truncated(double value)
{
    return static_cast<int>(std::trunc(value));
}

Point truncatedPoint(double x, double y)
{
    return {truncated(x), truncated(y)};
}

int dimensions(const ExprList& size)
{
    return std::min(static_cast<int>(size.size()), kMaxLines);
}

std::string shownName(const std::string& name)
{
    return name.substr(0, 48);
}

void symbolSize(const Submodel& s, int& w, int& h)
{
    element_symbol_size(builtin(s) ? s.type->libraryIndex : -1, w, h);
}

/// Halves both parts while either exceeds 100; a part of magnitude 1 stays.
void reduce(long long& dx, long long& dy)
{
    while (std::llabs(dx) > 100 || std::llabs(dy) > 100) {
        if (std::llabs(dx) > 1)
            dx /= 2;
        if (std::llabs(dy) > 1)
            dy /= 2;
    }
}

/// The thick red cross of an error mark, ±20 around the anchor.
void errorCross(int x, int y, int draw)
{
    set_error_pen(1);
    draw_line(x - 20, y + 20, x + 20, y - 20, draw);
    draw_line(x + 20, y + 20, x - 20, y - 20, draw);
    set_error_pen(0);
    set_line_level(0);
}

/// The frame of a selected object, thick and inset by 1; unselected, the same erased.
void selectionFrame(int left, int top, int width, int height, int selected, int draw)
{
    set_line_level(2);
    draw_rectangle(left + 1, top + 1, width - 2, height - 2, selected && draw ? 1 : 0);
    set_line_level(0);
}

void arrayMarks(int x0, int x1, int firstY, int count, int draw)
{
    set_line_level(2);
    for (int k = 0; k < count; ++k)
        draw_line(x0, firstY + 6 * k, x1, firstY + 6 * k, draw);
    set_line_level(0);
}

void drawSummation(Submodel& s, int draw)
{
    for (const SummationSign& sign : summation_signs(s)) {
        const int cx = sign.centre.x, cy = sign.centre.y;
        draw_line(cx - 3, cy, cx + 4, cy, draw);
        if (sign.plus)
            draw_line(cx, cy - 3, cx, cy + 4, draw);
    }
    const int inset = s.selected ? 1 : 0;
    set_line_level(s.selected ? 2 : 0);
    draw_ellipse(s.left + inset, s.top + inset, s.width - 2 * inset, s.height - 2 * inset, draw);
    set_line_level(0);
}

void drawBlock(Submodel& s, int draw)
{
    if (!draw) {
        draw_rectangle(s.left, s.top, s.width, s.height, 0);
        return;
    }
    if (s.selected) {
        set_line_level(2);
        draw_rectangle(s.left + 1, s.top + 1, s.width - 2, s.height - 2, 1);
        set_line_level(0);
    } else {
        draw_rectangle(s.left, s.top, s.width, s.height, 1);
    }
    int bw = 0, bh = 0;
    symbolSize(s, bw, bh);
    const int top = s.showName ? s.y - bh * 10 / 13 : s.y - bh * 20 / 37;
    draw_bitmap(element_symbol(s.type->libraryIndex), bw, bh, s.x - bw / 2, top, 1);
    if (s.showName)
        draw_centred_text(s.x, s.top + truncated(0.85 * s.height), shownName(s.name), 1);
}

void drawElement(Submodel& s, int draw)
{
    int bw = 0, bh = 0;
    symbolSize(s, bw, bh);
    selectionFrame(s.left, s.top, s.width, s.height, s.selected, draw);
    draw_bitmap(element_symbol(s.type->libraryIndex), bw, bh, s.x - bw / 2, s.y - bh / 2, draw);
    if (s.showName)
        draw_text(s.x + bw / 2, s.top + truncated(0.7 * s.height), ":" + shownName(s.name), draw);
    arrayMarks(s.x - bw / 2, s.x + bw / 2, s.top + truncated(0.9 * s.height), dimensions(s.size), draw);
}

void drawOther(Submodel& s, bool box, int draw)
{
    const int inset = s.selected ? 1 : 0;
    set_line_level(s.selected ? 2 : 0);
    if (box)
        draw_rectangle(s.left + inset, s.top + inset, s.width - 2 * inset, s.height - 2 * inset, draw);
    else
        draw_ellipse(s.left + inset, s.top + inset, s.width - 2 * inset, s.height - 2 * inset, draw);
    set_line_level(0);
    const std::string typeText = s.type ? type_name_text(s.type->name, s.type->version) : std::string();
    if (s.showName) {
        draw_centred_text(s.x, s.y - truncated(0.13 * s.height), typeText, draw);
        draw_centred_text(s.x, s.y + truncated((box ? 0.28 : 0.23) * s.height), shownName(s.name), draw);
        draw_centred_text(s.x, s.y, "..", draw);
    } else {
        draw_centred_text(s.x, s.y + truncated(0.15 * s.height), typeText, draw);
    }
    arrayMarks(s.left, s.left + s.width, s.top + s.height + 3, dimensions(s.size), draw);
}

template <class Object>
bool shown(const Object& o)
{
    return canvas_shows(o.left - kDrawingMargin, o.top - kDrawingMargin, o.left + o.width + kDrawingMargin,
                        o.top + o.height + kDrawingMargin);
}

bool shown(const Connection& c)
{
    int minX = std::min(c.ends[0].edgeX, c.ends[1].edgeX), maxX = std::max(c.ends[0].edgeX, c.ends[1].edgeX);
    int minY = std::min(c.ends[0].edgeY, c.ends[1].edgeY), maxY = std::max(c.ends[0].edgeY, c.ends[1].edgeY);
    for (const Midpoint& m : c.midpoints) {
        minX = std::min(minX, m.x);
        maxX = std::max(maxX, m.x);
        minY = std::min(minY, m.y);
        maxY = std::max(maxY, m.y);
    }
    const int margin = 6 * connection_dimensions(c) + 20;
    return canvas_shows(minX - margin, minY - margin, maxX + margin, maxY + margin);
}

} // namespace

int connection_dimensions(const Connection& connection)
{
    return dimensions(connection.size);
}

int isqrt(int n)
{
    if (n < 1)
        return 0;
    long long r = std::min(n, 46340);
    while (r * r > n)
        r = (r + n / r) / 2;
    return static_cast<int>(r);
}

int FlipCausality(int causality)
{
    return causality == 1 ? 2 : causality == 2 ? 1 : 0;
}

// ---------------------------------------------------------------------------------------------
// Layout

namespace {

template <class Object>
int setBox(Object& o, int left, int top, int width, int height)
{
    const int changed = (o.left != left) + (o.top != top) + (o.width != width) + (o.height != height);
    o.left = left;
    o.top = top;
    o.width = width;
    o.height = height;
    return changed;
}

} // namespace

int layout_submodel(Submodel& s)
{
    // The interface decides the look; read it now when it can be.
    if (s.type && !s.type->interface)
        type_has_only_signals(s);
    const Look look = lookOf(s);
    TextExtent name = text_extent(shownName(s.name));
    const int nameWidth = s.showName ? name.width : 0;
    int bw = 0, bh = 0;
    symbolSize(s, bw, bh);
    int left = 0, top = 0, width = 0, height = 0;
    if (look == Look::Element) {
        const TextExtent colon = text_extent(" : ");
        width = bw + 10 + (s.showName ? name.width + colon.width : 0);
        height = colon.height + 10;
        left = s.x - bw / 2 - 5;
        top = s.y - colon.height / 2 - 5;
        return setBox(s, left, top, width, height);
    }
    if (isSum(s)) {
        width = height = name.height + 10;
    } else if (look == Look::Block) {
        const int nameHeight = s.showName ? name.height : 0;
        height = truncated(bh + nameHeight * 1.25 + 10);
        width = truncated(std::max(std::max(nameWidth, bw) * 1.15 + 10, static_cast<double>(height)));
    } else {
        const int typeWidth = text_extent(s.type ? type_name_text(s.type->name, s.type->version) : "").width;
        const double widen = look == Look::Box ? 1.15 : 1.25;
        const double lines = look == Look::Box ? 1.25 : 1.5;
        height = truncated(name.height * (lines + lines * s.showName) + 10);
        width = truncated(std::max(std::max(nameWidth, typeWidth) * widen + 10, static_cast<double>(height)));
    }
    left = s.x - width / 2;
    top = s.y - height / 2;
    return setBox(s, left, top, width, height);
}

int layout_pio(Pio& pio)
{
    const TextExtent name = text_extent(pio.name);
    const int width = truncated(name.width + 12.5);
    const int height = name.height + 10;
    return setBox(pio, pio.x - width / 2, pio.y - height / 2 - 1, width, height);
}

int layout_connection(Connection& c)
{
    int changed = 0;
    for (int e = 0; e < 2; ++e) {
        ConnectionEnd& end = c.ends[e];
        const ConnectionEnd& other = c.ends[1 - e];
        int towardX = other.anchorX, towardY = other.anchorY;
        if (!c.midpoints.empty()) {
            const Midpoint& near = e == 0 ? c.midpoints.front() : c.midpoints.back();
            towardX = near.x;
            towardY = near.y;
        }
        int x = 0, y = 0;
        edge_point(end.anchorX, end.anchorY, towardX, towardY, end.objectKind, end.object(), x, y);
        changed += (end.edgeX != x) + (end.edgeY != y);
        end.edgeX = x;
        end.edgeY = y;
    }
    return changed;
}

int layout_all(GraphModel& model)
{
    int changed = 0;
    for (Submodel& s : model.submodels)
        changed += layout_submodel(s);
    for (Pio& p : model.pios)
        changed += layout_pio(p);
    for (Connection& c : model.connections)
        changed += layout_connection(c);
    return changed;
}

void edge_point(int anchorX, int anchorY, int towardX, int towardY, int objectKind, const void* object, int& x,
                int& y)
{
    x = anchorX;
    y = anchorY;
    long long dx = static_cast<long long>(towardX) - anchorX;
    long long dy = static_cast<long long>(towardY) - anchorY;
    // No direction to leave the outline in.
    if (!object || (dx == 0 && dy == 0))
        return;
    long long l = 0, t = 0, r = 0, b = 0;
    bool ellipse = false;
    if (objectKind == END_PIO) {
        const Pio& pio = *static_cast<const Pio*>(object);
        l = pio.left - 2;
        t = pio.top - 2;
        r = static_cast<long long>(pio.left) + pio.width + 2;
        b = static_cast<long long>(pio.top) + pio.height + 2;
    } else if (objectKind == END_SUBMODEL) {
        const Submodel& s = *static_cast<const Submodel*>(object);
        l = s.left - 2;
        t = s.top - 2;
        r = static_cast<long long>(s.left) + s.width + 2;
        b = static_cast<long long>(s.top) + s.height + 2;
        const int n = dimensions(s.size);
        if (n > 0)
            b += (n - 1) * 6 + 3 + (builtin(s) ? 0 : 3);
        const std::string typeName = s.type ? s.type->name : std::string();
        ellipse = lookOf(s) == Look::Ellipse || typeName == "sum" || typeName == "sub" || isSum(s);
    } else {
        return;
    }
    if (ellipse) {
        const double angle = std::atan2(static_cast<double>(dy), static_cast<double>(dx));
        x = truncated(anchorX + 0.5 * static_cast<double>(r - l) * std::cos(angle));
        y = truncated(anchorY + 0.5 * static_cast<double>(b - t) * std::sin(angle));
        return;
    }
    reduce(dx, dy);
    if (dx == 0) {
        y = static_cast<int>(dy > 0 ? b : t);
        return;
    }
    if (dy == 0) {
        x = static_cast<int>(dx > 0 ? r : l);
        return;
    }
    const long long sideX = dx > 0 ? r : l, sideY = dy > 0 ? b : t;
    // The side reached first: compare (sideX - x) / dx with (sideY - y) / dy.
    const long long toX = (sideX - anchorX) * (dx > 0 ? 1 : -1), toY = (sideY - anchorY) * (dy > 0 ? 1 : -1);
    if (toX * std::llabs(dy) <= toY * std::llabs(dx)) {
        x = static_cast<int>(sideX);
        y = static_cast<int>(anchorY + (sideX - anchorX) * dy / dx);
    } else {
        y = static_cast<int>(sideY);
        x = static_cast<int>(anchorX + (sideY - anchorY) * dx / dy);
    }
}

// ---------------------------------------------------------------------------------------------
// Drawing

void draw_submodel(Submodel& s, int draw)
{
    CanvasDrawing scope;
    set_line_level(0);
    switch (lookOf(s)) {
    case Look::Block:
        if (isSum(s))
            drawSummation(s, draw);
        else
            drawBlock(s, draw);
        break;
    case Look::Element:
        drawElement(s, draw);
        break;
    case Look::Box:
        drawOther(s, true, draw);
        break;
    case Look::Ellipse:
        drawOther(s, false, draw);
        break;
    }
    if (s.errorMark)
        errorCross(s.x, s.y, draw);
}

void draw_pio(Pio& pio, int draw)
{
    CanvasDrawing scope;
    set_line_level(0);
    if (draw) {
        selectionFrame(pio.left, pio.top, pio.width, pio.height, pio.selected, 1);
        draw_text(pio.left + 5, pio.top + truncated(0.7 * pio.height), pio.name, 1);
    } else {
        draw_rectangle(pio.left, pio.top, pio.width, pio.height, 0);
    }
    // The cross reaches past the box: it is erased as it was drawn.
    if (pio.errorMark)
        errorCross(pio.x, pio.y, draw);
}

namespace {

struct Direction {
    double ux = 0, uy = 0; // along the connection, away from the end
    double vx = 0, vy = 0; // across it: (-u.y, u.x)
};

/// The line offsets across a bundle of n + 1 lines, 12 apart around the middle.
int offset(int n, int k)
{
    return -6 * n + 12 * k;
}

bool validCausality(int causality)
{
    return causality == 1 || causality == 2;
}

} // namespace

namespace {

/// The pen a mark of a connection end is drawn with.
enum class MarkPen {
    Current,   ///< the connection's pen: arrowheads and half-arrows
    Stroke,    ///< the specified causal stroke: thick across a bundle
    Computed,  ///< the stroke processing found where none was specified: blue
    Conflict,  ///< processing put the stroke against the specified one: red
};

struct Mark {
    Point from, to;
    MarkPen pen;
};

/// One end of a connection as it is drawn: where its lines start and the marks drawn there.
struct EndGeometry {
    ConnectionEndPoints points;
    std::vector<Mark> marks;
};

EndGeometry endGeometry(const Connection& c, int e, Point neighbour)
{
    EndGeometry out;
    ConnectionEndPoints& points = out.points;
    const int n = connection_dimensions(c);
    points.count = n + 1;
    const Point edge{c.ends[e].edgeX, c.ends[e].edgeY};
    for (int k = 0; k <= n; ++k)
        points.lines[static_cast<std::size_t>(k)] = edge;
    long long dx = static_cast<long long>(neighbour.x) - edge.x, dy = static_cast<long long>(neighbour.y) - edge.y;
    reduce(dx, dy);
    const int length = isqrt(static_cast<int>(dx * dx + dy * dy));
    if (length == 0)
        return out;
    points.drawn = true;
    Direction d;
    d.ux = static_cast<double>(dx) / length;
    d.uy = static_cast<double>(dy) / length;
    d.vx = -d.uy;
    d.vy = d.ux;
    const double w = 6.0 * n;
    const double h = n == 0 ? 5.0 : w + 4;
    const bool arrowEnd = (c.direction == 2 && e == 0) || (c.direction == 1 && e == 1);
    auto mark = [&](double x0, double y0, double x1, double y1, MarkPen pen) {
        out.marks.push_back({truncatedPoint(x0, y0), truncatedPoint(x1, y1), pen});
    };

    // The start point of the line at offset k across the bundle, placed in its slot.
    auto place = [&](int k, double x, double y) {
        const int slot = e == 0 ? k : n - k;
        points.lines[static_cast<std::size_t>(slot)] = truncatedPoint(x, y);
    };
    if (!arrowEnd) {
        for (int k = 0; k <= n; ++k)
            place(k, edge.x + offset(n, k) * d.vx, edge.y + offset(n, k) * d.vy);
    } else if (!c.isSignal) {
        // The half-arrow's barb goes to the side b; each line starts where it meets the barb.
        const double side = d.ux > 0 || (d.ux == 0 && d.uy < 0) ? 1.0 : -1.0;
        const double bx = side * d.vx, by = side * d.vy;
        mark(edge.x - w * bx, edge.y - w * by, edge.x + 12 * d.ux + h * bx, edge.y + 12 * d.uy + h * by,
             MarkPen::Current);
        for (int i = 0; i <= n; ++i) {
            const double along = 144.0 * i / (w + h);
            const double across = -w + 12.0 * i;
            place(side > 0 ? i : n - i, edge.x + along * d.ux + across * bx, edge.y + along * d.uy + across * by);
        }
    } else {
        mark(edge.x, edge.y, edge.x + 10 * d.ux + h * d.vx, edge.y + 10 * d.uy + h * d.vy, MarkPen::Current);
        mark(edge.x, edge.y, edge.x + 10 * d.ux - h * d.vx, edge.y + 10 * d.uy - h * d.vy, MarkPen::Current);
        for (int k = 0; k <= n; ++k) {
            const double o = offset(n, k);
            const double along = 10.0 * std::fabs(o) / h;
            place(k, edge.x + along * d.ux + o * d.vx, edge.y + along * d.uy + o * d.vy);
        }
    }

    // Causal strokes: a bond's specified stroke, the stroke processing found when none
    // was specified (blue), and a red cross where processing put it against the specified one.
    const double strokeHalf = n == 0 ? 5.0 : w + 3;
    auto stroke = [&](MarkPen pen) {
        mark(edge.x + strokeHalf * d.uy, edge.y - strokeHalf * d.ux, edge.x - strokeHalf * d.uy,
             edge.y + strokeHalf * d.ux, pen);
    };
    const int specified = validCausality(c.causality) ? c.causality : 0;
    const int computed = validCausality(c.computedCausality) ? c.computedCausality : 0;
    if (specified && specified + e == 2)
        stroke(MarkPen::Stroke);
    if (computed && computed + e == 2) {
        if (!specified) {
            stroke(MarkPen::Computed);
        } else if (computed != specified) {
            const double cross = 1.5 * strokeHalf;
            mark(edge.x - cross, edge.y - cross, edge.x + cross, edge.y + cross, MarkPen::Conflict);
            mark(edge.x - cross, edge.y + cross, edge.x + cross, edge.y - cross, MarkPen::Conflict);
        }
    }
    return out;
}

/// Draws the marks of an end with their pens; a conflict's two lines share one red pen.
void drawMarks(const std::vector<Mark>& marks, int n, int draw)
{
    for (std::size_t i = 0; i < marks.size(); ++i) {
        const Mark& m = marks[i];
        switch (m.pen) {
        case MarkPen::Current:
            draw_line(m.from.x, m.from.y, m.to.x, m.to.y, draw);
            break;
        case MarkPen::Stroke: {
            const platform::Pen kept = current_pen();
            if (n > 0)
                set_line_level(2);
            draw_line(m.from.x, m.from.y, m.to.x, m.to.y, draw);
            if (n > 0 && kept.width == 1)
                set_line_level(0);
            break;
        }
        case MarkPen::Computed:
            push_colour_pen(1);
            draw_line(m.from.x, m.from.y, m.to.x, m.to.y, draw);
            pop_colour_pen();
            break;
        case MarkPen::Conflict:
            if (i == 0 || marks[i - 1].pen != MarkPen::Conflict)
                push_colour_pen(2);
            draw_line(m.from.x, m.from.y, m.to.x, m.to.y, draw);
            if (i + 1 == marks.size() || marks[i + 1].pen != MarkPen::Conflict)
                pop_colour_pen();
            break;
        }
    }
}

/// The neighbouring points of the two ends: the nearest midpoint, else the other end's anchor.
std::array<Point, 2> endNeighbours(const Connection& c)
{
    const auto& mids = c.midpoints;
    if (mids.empty())
        return {Point{c.ends[1].anchorX, c.ends[1].anchorY}, Point{c.ends[0].anchorX, c.ends[0].anchorY}};
    return {Point{mids.front().x, mids.front().y}, Point{mids.back().x, mids.back().y}};
}

/// The points of every line of the connection from end 0 to end 1, by slot, given where
/// its lines start at each end.
std::vector<std::vector<Point>> bundleLines(const Connection& c, const ConnectionEndPoints& start,
                                            const ConnectionEndPoints& end,
                                            std::vector<std::array<Point, 8>>* mitresOut = nullptr)
{
    const int n = connection_dimensions(c);
    const Point first{c.ends[0].edgeX, c.ends[0].edgeY}, last{c.ends[1].edgeX, c.ends[1].edgeY};
    const auto& mids = c.midpoints;
    std::vector<std::array<Point, 8>> mitres;
    mitres.reserve(mids.size());
    for (std::size_t i = 0; i < mids.size(); ++i) {
        const Point previous = i == 0 ? first : Point{mids[i - 1].x, mids[i - 1].y};
        const Point next = i + 1 == mids.size() ? last : Point{mids[i + 1].x, mids[i + 1].y};
        mitres.push_back(mitre_points(previous, {mids[i].x, mids[i].y}, next, n));
    }
    std::vector<std::vector<Point>> lines;
    for (int j = 0; j <= n; ++j) {
        const auto slot = static_cast<std::size_t>(j);
        std::vector<Point> line{start.lines[slot]};
        for (const auto& mitre : mitres)
            line.push_back(mitre[slot]);
        line.push_back(end.lines[slot]);
        lines.push_back(std::move(line));
    }
    if (mitresOut)
        *mitresOut = std::move(mitres);
    return lines;
}

} // namespace

ConnectionEndPoints connection_end(Connection& c, int e, Point neighbour, int draw)
{
    const EndGeometry geometry = endGeometry(c, e, neighbour);
    drawMarks(geometry.marks, connection_dimensions(c), draw);
    return geometry.points;
}

std::vector<LineSegment> connection_segments(const Connection& c)
{
    std::vector<LineSegment> segments;
    const std::array<Point, 2> toward = endNeighbours(c);
    const EndGeometry start = endGeometry(c, 0, toward[0]);
    const EndGeometry end = endGeometry(c, 1, toward[1]);
    for (const EndGeometry* g : {&start, &end})
        for (const Mark& m : g->marks)
            segments.push_back({m.from, m.to});
    for (const std::vector<Point>& line : bundleLines(c, start.points, end.points))
        for (std::size_t i = 0; i + 1 < line.size(); ++i)
            segments.push_back({line[i], line[i + 1]});
    return segments;
}

namespace {

/// A box of the drawing, its edges included.
struct Box {
    double left, top, right, bottom;
    bool overlaps(const Box& o) const { return left <= o.right && o.left <= right && top <= o.bottom && o.top <= bottom; }
};

/// Whether the segment passes through the box: the part of the segment's parameter range
/// inside each pair of the box's sides, narrowed side by side, is not empty.
bool meets(const LineSegment& segment, const Box& box)
{
    const double x0 = segment.from.x, y0 = segment.from.y;
    const double dx = segment.to.x - x0, dy = segment.to.y - y0;
    double low = 0.0, high = 1.0;
    auto clip = [&](double p, double q) {
        if (p == 0.0)
            return q >= 0.0;
        const double t = q / p;
        if (p < 0.0)
            low = std::max(low, t);
        else
            high = std::min(high, t);
        return low <= high;
    };
    return clip(-dx, x0 - box.left) && clip(dx, box.right - x0) && clip(-dy, y0 - box.top) &&
           clip(dy, box.bottom - y0);
}

/// Where the strokes of a sign centred on the point reach, with a blank margin around them.
Box signBox(double cx, double cy, double margin)
{
    return {cx - 3 - margin, cy - 3 - margin, cx + 4 + margin, cy + 4 + margin};
}

} // namespace

std::vector<SummationSign> summation_signs(const Submodel& s)
{
    std::vector<SummationSign> signs;
    // Every line drawn to the summation point, each connection once.
    std::vector<const Connection*> drawnTo;
    std::vector<LineSegment> lines;
    for (const Attachment& a : s.attachments) {
        if (std::find(drawnTo.begin(), drawnTo.end(), a.connection) != drawnTo.end())
            continue;
        drawnTo.push_back(a.connection);
        const std::vector<LineSegment> its = connection_segments(*a.connection);
        lines.insert(lines.end(), its.begin(), its.end());
    }
    const auto clear = [&](double cx, double cy) {
        const Box box = signBox(cx, cy, 2);
        for (const LineSegment& line : lines)
            if (meets(line, box))
                return false;
        for (const SummationSign& other : signs)
            if (box.overlaps(signBox(other.centre.x, other.centre.y, 0)))
                return false;
        return true;
    };
    for (const Attachment& a : s.attachments) {
        const ConnectionEnd& end = a.connection->ends[a.end];
        const char first = end.portName.empty() ? '\0' : end.portName[0];
        if (first != 'p' && first != 'P' && first != 'm' && first != 'M')
            continue;
        // The rule: half a radian on from where the connection enters, at the box's size
        // from the anchor. Where a line is in the way the sign moves on around that side of
        // its connection, or further out, as little as it must.
        const double angle = std::atan2(end.edgeY - s.y, end.edgeX - s.x);
        const Point rule = truncatedPoint(s.x + s.width * std::cos(angle + 0.5), s.y + s.height * std::sin(angle + 0.5));
        Point chosen = rule;
        if (!clear(rule.x, rule.y)) {
            std::vector<Point> candidates;
            for (double turn = 0.3; turn < 2.8; turn += 0.1)
                for (double reach : {1.0, 1.25, 1.5, 1.75, 2.0})
                    candidates.push_back(truncatedPoint(s.x + reach * s.width * std::cos(angle + turn),
                                                        s.y + reach * s.height * std::sin(angle + turn)));
            const auto distance = [&](const Point& p) {
                const long long dx = p.x - rule.x, dy = p.y - rule.y;
                return dx * dx + dy * dy;
            };
            std::stable_sort(candidates.begin(), candidates.end(),
                             [&](const Point& p, const Point& q) { return distance(p) < distance(q); });
            for (const Point& p : candidates)
                if (clear(p.x, p.y)) {
                    chosen = p;
                    break;
                }
        }
        signs.push_back({chosen, first == 'p' || first == 'P'});
    }
    return signs;
}

std::array<Point, 8> mitre_points(Point previous, Point midpoint, Point next, int n)
{
    std::array<Point, 8> points{};
    points.fill(midpoint);
    long long d1x = static_cast<long long>(midpoint.x) - previous.x, d1y = static_cast<long long>(midpoint.y) - previous.y;
    long long d2x = static_cast<long long>(midpoint.x) - next.x, d2y = static_cast<long long>(midpoint.y) - next.y;
    reduce(d1x, d1y);
    reduce(d2x, d2y);
    const long long l1 = isqrt(static_cast<int>(d1x * d1x + d1y * d1y));
    const long long l2 = isqrt(static_cast<int>(d2x * d2x + d2y * d2y));
    if (l1 == 0 || l2 == 0)
        return points;
    const long long cross = d1x * d2y - d2x * d1y;
    for (int k = 0; k <= n; ++k) {
        const long long o = offset(n, k);
        Point& p = points[static_cast<std::size_t>(k)];
        if (cross != 0) {
            p.x = midpoint.x + static_cast<int>(o * (l1 * d2x + l2 * d1x) / cross);
            p.y = midpoint.y + static_cast<int>(o * (l1 * d2y + l2 * d1y) / cross);
        } else if (d1x * d2x + d1y * d2y <= 0) {
            p.x = midpoint.x + static_cast<int>(o * -d1y / l1);
            p.y = midpoint.y + static_cast<int>(o * d1x / l1);
        }
    }
    return points;
}

void draw_connection(Connection& c, int draw)
{
    CanvasDrawing scope;
    set_line_level(c.selected ? 2 : 0);
    const int n = connection_dimensions(c);
    const std::array<Point, 2> toward = endNeighbours(c);
    const ConnectionEndPoints start = connection_end(c, 0, toward[0], draw);
    const ConnectionEndPoints end = connection_end(c, 1, toward[1], draw);

    std::vector<std::array<Point, 8>> mitres;
    for (const std::vector<Point>& line : bundleLines(c, start, end, &mitres))
        for (std::size_t i = 0; i + 1 < line.size(); ++i)
            draw_line(line[i].x, line[i].y, line[i + 1].x, line[i + 1].y, draw);
    if (c.selected) {
        for (const auto& mitre : mitres)
            for (int j = 0; j <= n; ++j)
                draw_ellipse(mitre[static_cast<std::size_t>(j)].x - 3, mitre[static_cast<std::size_t>(j)].y - 3, 6,
                             6, draw);
    }
    set_line_level(0);
}

void redraw_all(int eraseFirst, int clearMarks)
{
    CanvasDrawing scope;
    if (!drawing_enabled())
        return;
    if (eraseFirst)
        erase_background();
    if (Settings().grid && GridStep() >= 1)
        draw_grid(1);
    GraphModel& model = CurrentModel();
    for (Submodel& s : model.submodels) {
        if (clearMarks)
            s.errorMark = 0;
        if (shown(s))
            draw_submodel(s, 1);
    }
    for (Pio& p : model.pios) {
        if (clearMarks)
            p.errorMark = 0;
        if (shown(p))
            draw_pio(p, 1);
    }
    for (Connection& c : model.connections)
        if (shown(c))
            draw_connection(c, 1);
}
