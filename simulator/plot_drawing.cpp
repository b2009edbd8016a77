// Plot drawing. A curve and the X axis may hold different numbers of values in a run
// slot (a curve whose display was off kept its slots while the X axis moved on, or one
// buffer could not grow): drawing reads only the values both hold.
#include "simulator/plot_drawing.h"

#include "common/message_boxes.h"
#include "common/settings_table.h"
#include "platform/core/vector_state.h"
#include "platform/core/wait_cursor.h"
#include "simulator/plot_scaling.h"
#include "simulator/run_state.h"
#include "simulator/simulator_state.h"
#include "simulator/user_libraries.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>

using platform::DeviceContext;
using platform::Point;

namespace {

PlotState& state() { return Plot(); }

bool printing() { return state().mode == PlotDrawingMode::Printing; }
bool onScreen() { return state().mode == PlotDrawingMode::Screen; }

/// A logical position as the context takes it: multiplied by the print scale when printing.
int pixel(double v)
{
    const double scaled = printing() ? v * state().printScale : v;
    return int(std::clamp(scaled, double(INT_MIN / 2), double(INT_MAX / 2))); // towards zero, as trunc
}

int toX(double t) { return pixel(state().area.left + state().area.width * t); }
int toY(double t) { return pixel(state().area.bottom - state().area.height * t); }

std::string formatG6(double v)
{
    char text[40];
    std::snprintf(text, sizeof text, "%.6g", v);
    return text;
}

/// The box drawn on during a step, told to the surface at the end.
struct DrawnBox {
    int left = INT_MAX, top = INT_MAX, right = INT_MIN, bottom = INT_MIN;
    void add(int x, int y, int margin)
    {
        left = std::min(left, x - margin);
        top = std::min(top, y - margin);
        right = std::max(right, x + margin + 1);
        bottom = std::max(bottom, y + margin + 1);
    }
    void tell() const
    {
        if (left < right && onScreen() && CurrentPlotSurface())
            CurrentPlotSurface()->plotChanged(left, top, right, bottom);
    }
};

void tellWhole()
{
    if (onScreen() && CurrentPlotSurface())
        CurrentPlotSurface()->plotChanged(0, 0, CurrentPlotSurface()->clientWidth(),
                                          CurrentPlotSurface()->clientHeight());
}

/// The name a record shows: its label, a file curve's file name, else its variable's name.
std::string variableName(const PlotCurve& c)
{
    if (c.fromFile)
        return c.fileName;
    const char* name = PlotCurveName(c);
    return name ? name : "";
}

/// The name of a curve's legend: at most 20 characters, and no wider than `room`; a name
/// cut to fit ends in "..." so that it is seen to be cut.
std::string legendName(DeviceContext& dc, const PlotCurve& c, int room)
{
    std::string name = (c.label.empty() ? variableName(c) : c.label).substr(0, 20);
    if (dc.textWidth(name) <= room)
        return name;
    while (!name.empty()) {
        name.pop_back();
        while (!name.empty() && (static_cast<unsigned char>(name.back()) & 0xC0) == 0x80)
            name.pop_back(); // not inside a character
        if (dc.textWidth(name + "...") <= room)
            return name + "...";
    }
    return {};
}

/// Grows an automatic scale for v; true when it grew. An end held at the plot bound
/// says so and interrupts the run.
bool growRecord(PlotCurve& c, double v)
{
    const ScaleGrowth growth = GrowScale(c.min, c.max, v);
    if (growth.clamped) {
        ShowMessage({"Graphics-library exception", "", "Overflow error in variable " + variableName(c),
                     "Check your model and integration method parameters"});
        InterruptRequested = 1;
    }
    return growth.grew;
}

bool coloured() { return Settings().colors && !state().monochrome; }

/// Values both slots hold.
int pairedCount(const RunSlot& x, const RunSlot& y) { return std::min(x.count(), y.count()); }

/// The smallest and largest value from `from` on, taken one after the other as they
/// come (which of two equal values, such as -0 and 0, is kept follows from that order).
void scanExtremes(const double* v, int from, int n, double& lo, double& hi)
{
    for (int m = from; m < n; ++m) {
        lo = v[m] < lo ? v[m] : lo; // NaN compares false and changes nothing
        hi = v[m] > hi ? v[m] : hi;
    }
}

/// The extremes of the values within the bound, NaN and values beyond the bound left
/// out; false when there are none.
bool finiteExtremes(const double* v, int n, double& lo, double& hi)
{
    bool any = false;
    for (int m = 0; m < n; ++m)
        if (std::fabs(v[m]) <= PlotBound) {
            lo = any ? std::min(lo, v[m]) : v[m];
            hi = any ? std::max(hi, v[m]) : v[m];
            any = true;
        }
    return any;
}

/// The extremes of a run slot, NaN left out; true when a value lay beyond the bound. The
/// run is then scaled to the values within it (those beyond are drawn at the frame), as
/// a run that blew up is scaled to what it was before.
bool slotExtremes(RunSlot& slot)
{
    const double* v = slot.values();
    const int n = slot.count();
    int m = 0;
    while (m < n && std::isnan(v[m]))
        ++m;
    if (m == n) {
        // A run of NaN only has no extremes to scale by.
        slot.runMin = slot.runMax = std::nan("");
        return false;
    }
    double lo = v[m], hi = v[m];
    // Four running extremes side by side, which do not wait for one another; a zero
    // extreme, whose sign depends on the order, is taken again in order.
    constexpr int Lanes = 4;
    double los[Lanes], his[Lanes];
    std::fill(los, los + Lanes, lo);
    std::fill(his, his + Lanes, hi);
    int k = m + 1;
    for (; k + Lanes <= n; k += Lanes)
        for (int j = 0; j < Lanes; ++j) {
            los[j] = v[k + j] < los[j] ? v[k + j] : los[j];
            his[j] = v[k + j] > his[j] ? v[k + j] : his[j];
        }
    for (int j = 0; j < Lanes; ++j) {
        lo = los[j] < lo ? los[j] : lo;
        hi = his[j] > hi ? his[j] : hi;
    }
    scanExtremes(v, k, n, lo, hi);
    if (lo == 0.0 || hi == 0.0) {
        lo = hi = v[m];
        scanExtremes(v, m + 1, n, lo, hi);
    }
    const bool beyond = lo < -PlotBound || hi > PlotBound;
    if (beyond && !finiteExtremes(v, n, lo, hi))
        lo = hi = std::nan(""); // nothing within the bound to scale by
    slot.runMin = lo;
    slot.runMax = hi;
    return beyond;
}

bool warnOutsideLetters = false; ///< the letters are drawn by the end-of-run scaling

void drawPolylines(DeviceContext& dc, const std::vector<Point>& points);

void drawPolylines(DeviceContext& dc, const std::vector<Point>& points)
{
    constexpr std::size_t Most = 2047;
    if (points.size() < 2)
        return;
    // Pieces share their end points, so that the line goes on without a gap.
    for (std::size_t start = 0; start + 1 < points.size(); start += Most - 1) {
        const std::size_t end = std::min(points.size(), start + Most);
        dc.polyline(std::vector<Point>(points.begin() + long(start), points.begin() + long(end)));
    }
}

/// Maps the values of one scale to pixel positions along one side of the plot area,
/// as `ScaleFraction` and `pixel` do, with the scale's numbers taken once.
class AxisMap {
public:
    AxisMap(double min, double max, double origin, double extent, double scale)
        : m_min(min), m_range(max - min >= TinyRange ? max - min : TinyRange), m_origin(origin), m_extent(extent),
          m_scale(scale)
    {
    }
    /// The position of v; false for NaN.
    bool map(double v, int& position) const
    {
        if (std::isnan(v))
            return false;
        double t = (v - m_min) / m_range;
        if (std::isnan(t))
            t = v > 0 ? 1.0 : 0.0;
        t = t < 0.0 ? 0.0 : t > 1.0 ? 1.0 : t;
        position = int((m_origin + m_extent * t) * m_scale); // towards zero, as trunc
        return true;
    }

private:
    double m_min, m_range, m_origin, m_extent, m_scale;
};

double printScale() { return printing() ? state().printScale : 1.0; }
AxisMap yAxis(const PlotCurve& y) { return AxisMap(y.min, y.max, state().area.bottom, -state().area.height, printScale()); }

/// The X values of a run slot as fractions of the X scale, shared by every curve drawn
/// over them. Kept while the slot holds the same buffer and the scale stays; values
/// only ever come at the end, so a grown slot adds its new ones.
const std::vector<double>& xFractions(int slot)
{
    struct Cached {
        unsigned long long buffer = 0;
        double min = 0, max = 0;
        std::vector<double> t;
    };
    static std::array<Cached, RunSlotCount> cache;
    const RunSlot& xs = XRuns().slot[std::size_t(slot)];
    const PlotCurve& x = PlotSpecs().x;
    Cached& c = cache[std::size_t(slot)];
    if (c.buffer != xs.id() || c.min != x.min || c.max != x.max || c.t.size() > std::size_t(xs.count())) {
        c.buffer = xs.id();
        c.min = x.min;
        c.max = x.max;
        c.t.clear();
    }
    for (std::size_t m = c.t.size(); m < std::size_t(xs.count()); ++m)
        c.t.push_back(ScaleFraction(xs.values()[m], x.min, x.max));
    return c.t;
}

/// Keeps, of the points that fall in one pixel column one after the other, the first,
/// the highest, the lowest and the last: the line through them covers the pixels of the
/// whole line (but for a pixel where it turns back, which a painter may leave out).
class ColumnReducer {
public:
    /// Takes the next point; one in another column puts the last column's points out
    /// (`out` takes them by `push_back`).
    template <class Out>
    void add(Point p, Out& out)
    {
        if (m_count == 0 || p.x != m_first.x) {
            close(out);
            m_first = m_low = m_high = m_last = p;
            m_lowAt = m_highAt = 0;
            m_count = 1;
            return;
        }
        if (p.y < m_low.y) {
            m_low = p;
            m_lowAt = m_count;
        }
        if (p.y > m_high.y) {
            m_high = p;
            m_highAt = m_count;
        }
        m_last = p;
        ++m_count;
    }
    /// Puts the open column's points out.
    template <class Out>
    void close(Out& out)
    {
        if (m_count == 0)
            return;
        out.push_back(m_first);
        const int last = m_count - 1;
        const bool lowInside = m_lowAt > 0 && m_lowAt < last, highInside = m_highAt > 0 && m_highAt < last;
        if (lowInside && highInside && m_highAt < m_lowAt) {
            out.push_back(m_high);
            out.push_back(m_low);
        } else {
            if (lowInside)
                out.push_back(m_low);
            if (highInside && m_highAt != m_lowAt)
                out.push_back(m_high);
        }
        if (last > 0)
            out.push_back(m_last);
        m_count = 0;
    }

private:
    Point m_first, m_low, m_high, m_last;
    int m_lowAt = 0, m_highAt = 0, m_count = 0;
};

int sign(int v) { return (v > 0) - (v < 0); }

/// A step along a row, a column or a diagonal, which a painter draws without rounding.
bool straightStep(int dx, int dy) { return dx == 0 || dy == 0 || dx == dy || dx == -dy; }

/// Appends p to a line, or moves the line's last point to p when the line goes on
/// through it straight the same way along a row, a column or a diagonal: the line is
/// drawn on the same pixels with a point less.
void appendStraight(std::vector<Point>& line, Point p)
{
    const std::size_t n = line.size();
    if (n >= 2) {
        const Point a = line[n - 2], b = line[n - 1];
        const int dx1 = b.x - a.x, dy1 = b.y - a.y, dx2 = p.x - b.x, dy2 = p.y - b.y;
        if ((dx1 != 0 || dy1 != 0) && (dx2 != 0 || dy2 != 0) && sign(dx1) == sign(dx2) && sign(dy1) == sign(dy2) &&
            straightStep(dx1, dy1) && straightStep(dx2, dy2)) {
            line[n - 1] = p;
            return;
        }
    }
    line.push_back(p);
}

/// A line whose points go through `appendStraight`.
struct StraightLine {
    std::vector<Point> points;
    void push_back(Point p) { appendStraight(points, p); }
};

/// The line of a curve's steps that is not on the picture yet: the points that cover
/// its pixels (the many steps within one pixel column come to a few, straight runs to
/// their ends), with the number and the last of the points it was made of.
struct PendingLine {
    StraightLine reduced;
    ColumnReducer columns;
    std::size_t points = 0;
    Point last;
};

/// The lines of the steps not yet drawn, one a curve. Drawing them together costs a pen
/// a curve, not a pen and a line a curve and step.
struct PendingSteps {
    std::array<PendingLine, CurveCount> lines;
    std::size_t total = 0;
    /// The part of the window told to show since the lines were last drawn.
    int left = INT_MAX, top = INT_MAX, right = INT_MIN, bottom = INT_MIN;
} g_pending;

/// Draws a curve's pending line with its pen.
void drawPendingLine(DeviceContext& dc, int curve, PendingLine& line)
{
    line.columns.close(line.reduced);
    dc.setPen(CurvePen(curve, true));
    drawPolylines(dc, line.reduced.points);
}

void clearPendingLine(PendingLine& line)
{
    g_pending.total -= line.points;
    line.reduced.points.clear();
    line.columns = ColumnReducer{};
    line.points = 0;
}

/// A step's line of a curve; a line that does not go on from the curve's last one, or
/// one that has grown long, is drawn first.
void addStepLine(int curve, Point from, Point to)
{
    PendingLine& line = g_pending.lines[std::size_t(curve)];
    if (line.points > 0 && (line.last != from || line.points >= 2047)) {
        if (DeviceContext* dc = state().screen) {
            drawPendingLine(*dc, curve, line);
            dc->setPen(state().pens.foreground);
        }
        clearPendingLine(line);
    }
    if (line.points == 0) {
        line.columns.add(from, line.reduced);
        line.points = 1;
        ++g_pending.total;
    }
    line.columns.add(to, line.reduced);
    line.last = to;
    ++line.points;
    ++g_pending.total;
}

/// Tells the window the box of a step's lines, unless all of it was told since the
/// lines were last drawn.
void tellStepBox(const DrawnBox& box)
{
    PendingSteps& p = g_pending;
    if (box.left >= box.right ||
        (box.left >= p.left && box.top >= p.top && box.right <= p.right && box.bottom <= p.bottom))
        return;
    p.left = std::min(p.left, box.left);
    p.top = std::min(p.top, box.top);
    p.right = std::max(p.right, box.right);
    p.bottom = std::max(p.bottom, box.bottom);
    box.tell();
}

/// The pixel of a record's newest value, kept for the line of the next step, which
/// starts there: each step maps one value a record, not two.
struct StepTrack {
    unsigned long long buffer = 0;
    int index = -1;
    double min = 0, max = 0;
    bool good = false;
    int position = 0;

    /// The positions of the slot's last two values on the axis of the scale
    /// [scaleMin, scaleMax]; false when either is NaN.
    bool pair(const RunSlot& slot, const AxisMap& axis, double scaleMin, double scaleMax, int& previous, int& latest)
    {
        const int n = slot.count();
        const bool known = buffer == slot.id() && index == n - 2 && min == scaleMin && max == scaleMax;
        const bool before = known ? good : axis.map(slot.values()[n - 2], position);
        previous = position;
        good = axis.map(slot.values()[n - 1], position);
        latest = position;
        buffer = slot.id();
        index = n - 1;
        min = scaleMin;
        max = scaleMax;
        return before && good;
    }
};

/// The curves' and, last, the X axis's, in the plot area `g_trackArea`.
std::array<StepTrack, CurveCount + 1> g_tracks;
PlotArea g_trackArea;

/// Maps a run slot's points into the plot area and draws them; a NaN value breaks the line.
void drawRun(DeviceContext& dc, int slot, const PlotCurve& ySpec, const RunSlot& ys)
{
    const std::vector<double>& tx = xFractions(slot);
    const int n = std::min(int(tx.size()), ys.count());
    std::vector<Point> piece;
    ColumnReducer columns;
    auto flush = [&] {
        columns.close(piece);
        drawPolylines(dc, ThinPlotPoints(piece));
        piece.clear();
    };
    const double scale = printing() ? state().printScale : 1.0;
    const double left = state().area.left, width = state().area.width;
    const AxisMap down = yAxis(ySpec);
    const double* yv = ys.values();
    for (int m = 0; m < n; ++m) {
        Point at;
        if (std::isnan(tx[std::size_t(m)]) || !down.map(yv[m], at.y)) {
            flush();
            continue;
        }
        at.x = int((left + width * tx[std::size_t(m)]) * scale);
        columns.add(at, piece);
    }
    flush();
}

int direction(Point from, Point to)
{
    const int dx = to.x - from.x, dy = to.y - from.y;
    if (dx == 0)
        return dy > 0 ? 1570 : -1570;
    return int(std::trunc(1000 * std::atan2(double(dy), double(dx))));
}

/// Places a curve letter at the point: on the screen moved right until it overlaps no label.
void placeLetter(DeviceContext& dc, int curve, Point at)
{
    int x = at.x;
    if (onScreen()) {
        const int limit = CurrentPlotSurface() ? CurrentPlotSurface()->clientWidth() : x;
        while (LabelOverlaps(x, at.y, 1) && x <= limit)
            x += 9;
    }
    const char letter[2] = {char('A' + curve), 0};
    dc.setTextColor(coloured() ? state().pens.bright[std::size_t(curve % 6)].color : WindowTextColor);
    // Bottom-aligned: the letter stands just above the point, where its label rectangle lies.
    dc.setTextAlign(platform::TA_LEFT | platform::TA_BOTTOM);
    dc.textOut(x, at.y, letter);
    dc.setTextAlign(platform::TA_LEFT | platform::TA_TOP);
    dc.setTextColor(WindowTextColor);
    RegisterLabel(LabelAt(LabelCurve, x, at.y, 1, curve));
}

/// Draws the cross-hair at fractions of the plot area (an inverting pen: twice removes it).
void drawCross(double fx, double fy)
{
    FlushPlotSteps();
    DeviceContext* dc = state().dc;
    const PlotArea& a = state().area;
    if (!dc || a.width <= 0 || a.height <= 0)
        return;
    const int px = std::clamp(int(std::trunc(a.width * fx + a.left)), a.left, a.right);
    const int py = std::clamp(int(std::trunc(a.bottom - a.height * fy)), a.top, a.bottom);
    dc->setPen(state().pens.cursor);
    dc->setRasterOp(platform::RasterOp::Not);
    dc->moveTo(pixel(px - 15), pixel(py));
    dc->lineTo(pixel(px + 15), pixel(py));
    dc->moveTo(pixel(px), pixel(py - 15));
    dc->lineTo(pixel(px), pixel(py + 15));
    dc->setRasterOp(platform::RasterOp::CopyPen);
    dc->setPen(state().pens.foreground);
    if (onScreen()) {
        state().cursorDrawn = !state().cursorDrawn;
        DrawnBox box;
        box.add(px, py, 16 + state().pens.cursor.width);
        box.tell();
    }
}

void moveCursor(double fx, double fy)
{
    if (!EnsurePlotContext())
        return;
    if (state().cursorShown && state().cursorDrawn)
        drawCross(state().cursorX, state().cursorY);
    state().cursorX = fx;
    state().cursorY = fy;
    state().cursorShown = 1;
    drawCross(fx, fy);
}

} // namespace

platform::Pen CurvePen(int curve, bool bright)
{
    const PlotPens& pens = state().pens;
    if (coloured())
        return (bright ? pens.bright : pens.dark)[std::size_t(curve % 6)];
    if (Settings().dashing && !state().noStyledLines)
        return pens.dash[std::size_t(curve % 5)];
    return pens.foreground;
}

std::string PlotTitle()
{
    std::string title = Experiment().modelName;
    if (!Experiment().experimentName.empty())
        title += " - " + Experiment().experimentName;
    return title;
}

void DrawPlotStep(double x, const std::array<double, CurveCount>& values)
{
    PlotSpecification& specs = PlotSpecs();
    PlotState& p = state();
    if (!p.plotMode || specs.displayed == 0)
        return;
    // The records live as long as the program: found once, not at every step.
    static const std::array<RecordRuns*, CurveCount> curveRuns = [] {
        std::array<RecordRuns*, CurveCount> runs{};
        for (int i = 0; i < CurveCount; ++i)
            runs[std::size_t(i)] = &CurveRuns(i);
        return runs;
    }();
    RecordRuns& xRuns = XRuns();
    AppendPlotValue(xRuns, x);
    bool rescale = false;
    if (!specs.xIsTime && specs.x.scaling == 2)
        rescale = growRecord(specs.x, x);

    const RunSlot& xs = xRuns.slot[0];
    const int n = xs.count();
    int x0 = 0, x1 = 0;
    bool haveColumns = !rescale && n >= 2 && EnsurePlotContext() && onScreen();
    const PlotArea area = p.area;
    if (haveColumns) {
        if (area.left != g_trackArea.left || area.width != g_trackArea.width || area.bottom != g_trackArea.bottom ||
            area.height != g_trackArea.height) {
            for (StepTrack& t : g_tracks)
                t.index = -1;
            g_trackArea = area;
        }
        const PlotCurve& xSpec = specs.x;
        const AxisMap across(xSpec.min, xSpec.max, area.left, area.width, 1.0);
        haveColumns = g_tracks[CurveCount].pair(xs, across, xSpec.min, xSpec.max, x0, x1);
    }
    // The pixels of all curves first, then their lines: the pixels, free of tests on one
    // another, are worked out side by side, and no test waits for them one by one.
    struct CurveStep {
        int curve;
        bool good;
        int y0, y1;
    };
    std::array<CurveStep, CurveCount> steps;
    int stepCount = 0;
    for (int i = CurveCount - 1; i >= 0; --i) {
        PlotCurve& c = specs.curves[std::size_t(i)];
        if (!CurveShown(c))
            continue;
        RecordRuns& runs = *curveRuns[std::size_t(i)];
        const double v = values[std::size_t(i)];
        AppendPlotValue(runs, v);
        if (c.scaling == 2 && growRecord(c, v)) {
            rescale = true;
            haveColumns = false;
        }
        if (!haveColumns || runs.slot[0].count() != n)
            continue;
        CurveStep& step = steps[std::size_t(stepCount++)];
        step.curve = i;
        const AxisMap down(c.min, c.max, area.bottom, -area.height, 1.0);
        step.good = g_tracks[std::size_t(i)].pair(runs.slot[0], down, c.min, c.max, step.y0, step.y1);
    }
    const int margin = p.pens.foreground.width;
    DrawnBox box;
    for (int k = 0; k < stepCount; ++k) {
        const CurveStep& step = steps[std::size_t(k)];
        if (!step.good || (x0 == x1 && step.y0 == step.y1))
            continue;
        addStepLine(step.curve, {x0, step.y0}, {x1, step.y1});
        box.add(x0, step.y0, margin);
        box.add(x1, step.y1, margin);
    }
    // The lines reach the picture when the window shows it, or before anything else is drawn.
    tellStepBox(box);
    if (rescale)
        RedrawPlot(1);
}

void FlushPlotSteps()
{
    PendingSteps& pending = g_pending;
    pending.left = pending.top = INT_MAX;
    pending.right = pending.bottom = INT_MIN;
    if (pending.total == 0)
        return;
    DeviceContext* dc = state().screen;
    for (int i = CurveCount - 1; i >= 0; --i) {
        PendingLine& line = pending.lines[std::size_t(i)];
        if (dc && line.points >= 2)
            drawPendingLine(*dc, i, line);
        clearPendingLine(line);
    }
    pending.total = 0;
    if (dc) {
        dc->setPen(state().pens.foreground);
        // The run's own arithmetic comes next.
        platform::clearUpperVectorState();
    }
}

namespace {

/// The scale over the extremes of every kept run; true when it changed.
bool roundOverKeptRuns(PlotCurve& spec, const RecordRuns& runs)
{
    bool any = false;
    double lo = 0, hi = 0;
    for (const RunSlot& s : runs.slot) {
        if (s.count() == 0 || std::isnan(s.runMin) || std::isnan(s.runMax))
            continue;
        lo = any ? std::min(lo, s.runMin) : s.runMin;
        hi = any ? std::max(hi, s.runMax) : s.runMax;
        any = true;
    }
    return any && RoundScaleRange(lo, hi, spec.min, spec.max);
}

} // namespace

bool RoundScale(PlotCurve& spec, RecordRuns& runs)
{
    if (slotExtremes(runs.slot[0]))
        InterruptRequested = 1;
    return roundOverKeptRuns(spec, runs);
}

void RescaleKeptRuns()
{
    PlotSpecification& specs = PlotSpecs();
    if (!specs.xIsTime && specs.x.scaling >= 1)
        roundOverKeptRuns(specs.x, XRuns());
    for (int i = 0; i < CurveCount; ++i) {
        PlotCurve& c = specs.curves[std::size_t(i)];
        if (CurveShown(c) && c.scaling >= 1)
            roundOverKeptRuns(c, CurveRuns(i));
    }
}

void EndRunScaling()
{
    PlotState& p = state();
    FlushPlotSteps();
    p.eraseOnRedraw = !(MultipleRunActive() && !InterruptRequested);
    PlotSpecification& specs = PlotSpecs();
    bool rescaled = false;
    // Every record keeps the extremes of its run; the scaled ones take a new scale from them.
    if (!specs.xIsTime && specs.x.scaling >= 1)
        rescaled = RoundScale(specs.x, XRuns());
    else
        slotExtremes(XRuns().slot[0]);
    for (int i = 0; i < CurveCount; ++i) {
        PlotCurve& c = specs.curves[std::size_t(i)];
        if (CurveShown(c) && c.scaling >= 1)
            rescaled = RoundScale(c, CurveRuns(i)) || rescaled;
        else if (CurveShown(c))
            slotExtremes(CurveRuns(i).slot[0]);
    }
    if (!EnsurePlotContext())
        return;
    warnOutsideLetters = true;
    if (rescaled)
        RedrawPlot(p.eraseOnRedraw);
    else
        DrawCurveLetters();
    warnOutsideLetters = false;
}

void DistributeCurves()
{
    PlotSpecification& specs = PlotSpecs();
    std::vector<int> curves;
    for (int i = 0; i < CurveCount; ++i) {
        const RecordRuns& r = CurveRuns(i);
        if (CurveShown(specs.curves[std::size_t(i)]) && (r.slot[0].count() > 0 || r.slot[1].count() > 0))
            curves.push_back(i);
    }
    const int n = int(curves.size());
    for (int j = 0; j < n; ++j) {
        bool any = false;
        double lo = 0, hi = 0;
        for (const RunSlot& s : CurveRuns(curves[std::size_t(j)]).slot)
            for (int m = 0; m < s.count(); ++m) {
                const double v = s.values()[m];
                if (std::isnan(v))
                    continue;
                const double held = std::clamp(v, -PlotBound, PlotBound);
                lo = any ? std::min(lo, held) : held;
                hi = any ? std::max(hi, held) : held;
                any = true;
            }
        if (!any)
            continue;
        PlotCurve& c = specs.curves[std::size_t(curves[std::size_t(j)])];
        DistributeScale(lo, hi, n, j, c.min, c.max);
        c.scaling = 0;
    }
    RedrawPlot(1);
}

void RedrawPlot(int drawCurves)
{
    PlotState& p = state();
    FlushPlotSteps();
    if (!p.plotMode || !EnsurePlotContext() || !p.dc)
        return;
    platform::ScopedWaitCursor busy;
    p.labels.clear();
    if (PlotSurface* surface = CurrentPlotSurface())
        ComputePlotLayout(surface->clientWidth(), surface->clientHeight());
    // Whether the curves are drawn is decided before the erase, which clears the flag.
    const bool curves = drawCurves || p.eraseOnRedraw;
    if (InterruptRequested || p.eraseOnRedraw || !MultipleRunActive())
        ClearPlotArea();
    DrawPlotFrame();
    if (curves)
        DrawAllCurves();
    if (p.cursorShown && !(onScreen() && p.cursorDrawn))
        drawCross(p.cursorX, p.cursorY);
    tellWhole();
    platform::clearUpperVectorState();
}

void DrawPlotFrame()
{
    PlotState& p = state();
    FlushPlotSteps();
    DeviceContext* dc = p.dc;
    if (!dc || (p.frameDrawn && !p.specsChanged))
        return;
    if (p.specsChanged)
        ClearPlotArea();
    DrawPlotGrid(p.gridOn);
    const PlotArea& a = p.area;
    const int left = a.left <= 0 ? 1 : a.left;
    dc->setBrush(platform::Brush{platform::BrushStyle::Hollow, WindowColor});
    dc->setPen(p.pens.foreground);
    if (printing())
        dc->rectangle(pixel(left), pixel(a.top), pixel(a.right + 0.5), pixel(a.bottom + 0.5));
    else
        dc->rectangle(left, a.top, a.right + 1, a.bottom + 1);
    const double dx = a.width / 10.0, dy = a.height / 10.0;
    auto line = [dc](double x0, double y0, double x1, double y1) {
        dc->moveTo(pixel(std::trunc(x0)), pixel(std::trunc(y0)));
        dc->lineTo(pixel(std::trunc(x1)), pixel(std::trunc(y1)));
    };
    for (int i = 1; i <= 9; ++i) {
        const double x = left + i * dx;
        line(x, a.top, x, a.top + 0.04 * dx);
        line(x, a.bottom, x, a.bottom - 0.04 * dx);
        const double y = a.top + i * dy;
        line(left, y, left + 0.04 * dy + 1, y);
        line(a.right, y, a.right - 0.04 * dy, y);
    }
    DrawAxisTexts();
    const std::string title = PlotTitle();
    if (!title.empty()) {
        dc->setTextAlign(platform::TA_LEFT | platform::TA_BOTTOM);
        dc->textOut(pixel(a.left), pixel(a.top), title);
        dc->setTextAlign(platform::TA_LEFT | platform::TA_TOP);
        RegisterLabel(LabelAt(LabelTitle, a.left, a.top, int(title.size()), 0));
    }
    p.specsChanged = 0;
    p.frameDrawn = 1;
}

void DrawAxisTexts()
{
    PlotState& p = state();
    DeviceContext* dc = p.dc;
    if (!dc)
        return;
    const PlotSpecification& specs = PlotSpecs();
    const int W = dc->textWidth("W"), H = dc->textMetrics().height;
    const int halfW = W / 2, letterX = pixel(p.area.left) - halfW, numberX = int(std::trunc(pixel(p.area.left) - 1.5 * W));
    // The glyphs of the font fill its line: rows one line apart would touch.
    const int row = H + H / 5;
    const int L = pixel(p.area.left), T = pixel(p.area.top), R = pixel(p.area.right), B = pixel(p.area.bottom);
    using platform::TA_CENTER;
    using platform::TA_LEFT;
    using platform::TA_RIGHT;
    using platform::TA_TOP;
    // Each text is registered where it stands, so that a click on it finds it.
    auto put = [dc](int x, int y, unsigned align, const std::string& text, int kind, int curve) {
        dc->setTextAlign(align | TA_TOP);
        dc->textOut(x, y, text);
        const int n = int(text.size());
        const int left = align == TA_RIGHT ? x - 7 * n : align == TA_CENTER ? x - 7 * n / 2 : x;
        RegisterLabel(LabelRect{kind, left, y, left + 7 * n, y + 13, curve});
    };

    std::string xName = "time";
    if (!specs.xIsTime) {
        const char* name = PlotCurveName(specs.x);
        xName = name ? std::string(name).substr(0, 40) : std::string();
    }
    put(L, B + 1, TA_LEFT, formatG6(specs.x.min), LabelXAxis, 0);
    put(R - int(std::trunc(pixel(p.area.width) / 2.0)), B + 1, TA_CENTER, xName, LabelXAxis, 0);
    put(R, B + 1, TA_RIGHT, formatG6(specs.x.max), LabelXAxis, 0);

    const int n = specs.displayed;
    int j = 0;
    for (int i = 0; i < CurveCount; ++i) {
        const PlotCurve& c = specs.curves[std::size_t(i)];
        if (!CurveShown(c))
            continue;
        const std::string letter(1, char('A' + i));
        const platform::ColorRef letterColor = coloured() ? p.pens.bright[std::size_t(i % 6)].color : WindowTextColor;
        const int topRow = T + j * row, bottomRow = B - (n - j) * row, middleRow = (topRow + bottomRow) / 2;
        auto putLetter = [&](int x, int y, unsigned align) {
            dc->setTextColor(letterColor);
            put(x, y, align, letter, LabelCurve, i);
            dc->setTextColor(WindowTextColor);
        };
        putLetter(letterX, topRow, TA_RIGHT);
        put(numberX, topRow, TA_RIGHT, formatG6(c.max), LabelCurve, i);
        putLetter(letterX, bottomRow, TA_RIGHT);
        put(numberX, bottomRow, TA_RIGHT, formatG6(c.min), LabelCurve, i);
        putLetter(halfW, middleRow, TA_LEFT);
        // The name ends half a "W" before the frame.
        const int nameX = int(std::trunc(1.5 * W));
        put(nameX, middleRow, TA_LEFT, legendName(*dc, c, L - halfW - nameX), LabelCurve, i);
        ++j;
    }
    dc->setTextAlign(TA_LEFT | TA_TOP);
}

void DrawPlotGrid(int show)
{
    PlotState& p = state();
    FlushPlotSteps();
    DeviceContext* dc = p.dc;
    if (!dc)
        return;
    if (!show && (!p.gridDrawn || !onScreen())) {
        p.gridDrawn = 0; // nothing of a grid is on the picture
        return;
    }
    const PlotArea& a = p.area;
    const platform::ColorRef color = show ? WindowTextColor : WindowColor;
    const double tenthW = a.width / 10.0, tenthH = a.height / 10.0;
    const double alongV = std::max(a.height / 100.0, 2.0), alongH = std::max(a.width / 100.0, 2.0);
    for (int i = 1; i <= 9; ++i) {
        const int x = pixel(std::trunc(a.left + i * tenthW));
        for (int piece = 0; piece < 10; ++piece) {
            const double end = piece == 9 ? a.bottom : a.top + (piece + 1) * tenthH;
            for (double y = a.top + piece * tenthH; y < end; y += alongV)
                dc->setPixel(x, pixel(y), color);
        }
        const int y = pixel(std::trunc(a.top + i * tenthH));
        for (int piece = 0; piece < 10; ++piece) {
            const double end = piece == 9 ? a.right : a.left + (piece + 1) * tenthW;
            for (double x2 = a.left + piece * tenthW + 0.1; x2 < end; x2 += alongH)
                dc->setPixel(pixel(x2), y, color);
        }
    }
    p.gridDrawn = show;
}

void DrawAllCurves()
{
    for (int i = CurveCount - 1; i >= 0; --i)
        if (CurveShown(PlotSpecs().curves[std::size_t(i)]))
            DrawCurve(i);
    if (!MultipleRunActive()) {
        DrawCurveLetters();
        state().eraseOnRedraw = 1;
    }
}

void DrawCurve(int curve)
{
    PlotState& p = state();
    FlushPlotSteps();
    DeviceContext* dc = p.dc;
    if (!dc)
        return;
    const PlotSpecification& specs = PlotSpecs();
    const PlotCurve& c = specs.curves[std::size_t(curve)];
    const RecordRuns& ys = CurveRuns(curve);
    const bool earlier =
        std::any_of(ys.slot.begin() + 1, ys.slot.end(), [](const RunSlot& s) { return s.count() > 0; });
    if (onScreen() && earlier)
        dc->setPen(CurvePen(curve, false));
    for (int k = RunSlotCount - 1; k >= 1; --k)
        if (XRuns().slot[std::size_t(k)].count() > 0)
            drawRun(*dc, k, c, ys.slot[std::size_t(k)]);
    if (XRuns().slot[0].count() > 0) {
        dc->setPen(CurvePen(curve, true));
        drawRun(*dc, 0, c, ys.slot[0]);
    }
    dc->setPen(p.pens.foreground);
    if (onScreen())
        dc->removeClip();
}

std::vector<Point> ReduceColumns(const std::vector<Point>& points)
{
    std::vector<Point> reduced;
    ColumnReducer columns;
    for (const Point& p : points)
        columns.add(p, reduced);
    columns.close(reduced);
    return reduced;
}

std::vector<Point> StepLinePoints(const std::vector<Point>& points)
{
    StraightLine line;
    ColumnReducer columns;
    for (const Point& p : points)
        columns.add(p, line);
    columns.close(line);
    return line.points;
}

std::vector<Point> ThinPlotPoints(const std::vector<Point>& points)
{
    if (points.size() < 2)
        return points;
    std::vector<Point> kept = {points[0], points[1]};
    int segment = direction(points[0], points[1]);
    for (std::size_t i = 2; i < points.size(); ++i) {
        const Point& next = points[i];
        if (next == kept.back())
            continue;
        const int d = direction(kept.back(), next);
        if (d == segment) {
            kept.back() = next;
        } else {
            kept.push_back(next);
            segment = d;
        }
    }
    return kept;
}

void DrawCurveLetters()
{
    PlotState& p = state();
    FlushPlotSteps();
    DeviceContext* dc = p.dc;
    const PlotArea& a = p.area;
    if (!dc || MultipleRunActive() || a.width == 0 || a.height == 0)
        return;
    const PlotSpecification& specs = PlotSpecs();
    const double unitsPerPixel = printing() ? p.printScale : 1.0;
    const double wideW = dc->textWidth("W"), highW = dc->textMetrics().height;
    for (int i = CurveCount - 1; i >= 0; --i) {
        const PlotCurve& c = specs.curves[std::size_t(i)];
        if (!CurveShown(c))
            continue;
        const double mx = 1.5 * (wideW / a.width) * (i + 1) / unitsPerPixel;
        const double my = highW / a.height / unitsPerPixel;
        int placed = 0;
        for (int k = 0; k < RunSlotCount; ++k) {
            const RunSlot& xs = XRuns().slot[std::size_t(k)];
            const RunSlot& ys = CurveRuns(i).slot[std::size_t(k)];
            const int n = pairedCount(xs, ys);
            if (n == 0)
                continue;
            const std::vector<double>& fx = xFractions(k);
            auto inside = [&](int m, Point& at) {
                const double tx = fx[std::size_t(m)];
                if (!(tx >= mx && tx <= 1 - mx))
                    return false;
                const double ty = ScaleFraction(ys.values()[m], c.min, c.max);
                if (!(ty >= my && ty <= 1 - my))
                    return false;
                at = {toX(tx), toY(ty)};
                return true;
            };
            int placedHere = 0;
            Point at;
            for (int m = 0; m < n; ++m)
                if (inside(m, at)) {
                    placeLetter(*dc, i, at);
                    ++placedHere;
                    break;
                }
            for (int m = n - 1; m >= 0; --m)
                if (inside(m, at)) {
                    placeLetter(*dc, i, at);
                    ++placedHere;
                    break;
                }
            placed += placedHere;
            if (Settings().colors && placedHere == 2)
                break;
        }
        if (warnOutsideLetters && placed == 0) {
            char text[64];
            std::snprintf(text, sizeof text, "Warning: curve %c outside scaling boundaries.", 'A' + i);
            ShowStatus(text, true);
        }
    }
    tellWhole();
}

void DrawCursor(double x, double y) { drawCross(x, y); }

void ShowCursor(int on)
{
    PlotState& p = state();
    if (!EnsurePlotContext() || PlotSpecs().displayed == 0)
        return;
    if (on && !p.cursorShown) {
        p.cursorShown = 1;
        if (!p.cursorDrawn)
            drawCross(p.cursorX, p.cursorY);
    } else if (!on && p.cursorShown) {
        if (p.cursorDrawn)
            drawCross(p.cursorX, p.cursorY);
        p.cursorShown = 0;
    }
}

void MoveCursorToSample(int sample, int curve, int slot)
{
    if (curve < 0 || curve >= CurveCount || slot < 0 || slot >= RunSlotCount || sample < 0)
        return;
    const RunSlot& xs = XRuns().slot[std::size_t(slot)];
    const RunSlot& ys = CurveRuns(curve).slot[std::size_t(slot)];
    if (sample >= pairedCount(xs, ys))
        return;
    const PlotSpecification& specs = PlotSpecs();
    const double fx = ScaleFraction(xs.values()[sample], specs.x.min, specs.x.max);
    const PlotCurve& c = specs.curves[std::size_t(curve)];
    const double fy = ScaleFraction(ys.values()[sample], c.min, c.max);
    if (std::isnan(fx) || std::isnan(fy))
        return;
    moveCursor(fx, fy);
}

void PlaceCursor(double x, double y) { moveCursor(std::clamp(x, 0.0, 1.0), std::clamp(y, 0.0, 1.0)); }

void CursorFromPoint(int x, int y)
{
    const PlotArea& a = state().area;
    if (a.width <= 0 || a.height <= 0)
        return;
    const int cx = std::clamp(x, a.left, a.right), cy = std::clamp(y, a.top, a.bottom);
    if (PlotCallbacks().pointChosen)
        PlotCallbacks().pointChosen(double(cx - a.left) / a.width, double(a.bottom - cy) / a.height);
}
