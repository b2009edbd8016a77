// Plot drawing. A curve and the X axis may hold different numbers of values in a run
// slot (a curve whose display was off kept its slots while the X axis moved on, or one
// buffer could not grow): drawing reads only the values both hold.
#include "simulator/plot_drawing.h"

#include "common/message_boxes.h"
#include "common/settings_table.h"
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
    const double scaled = std::trunc(printing() ? v * state().printScale : v);
    return int(std::clamp(scaled, double(INT_MIN / 2), double(INT_MAX / 2)));
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

std::string legendName(const PlotCurve& c)
{
    return (c.label.empty() ? variableName(c) : c.label).substr(0, 20);
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

/// The extremes of a run slot, NaN left out and values beyond the bound held at it;
/// true when one had to be held.
bool slotExtremes(RunSlot& slot)
{
    bool any = false, clamped = false;
    double lo = 0, hi = 0;
    for (int m = 0; m < slot.count(); ++m) {
        double v = slot.values()[m];
        if (std::isnan(v))
            continue;
        if (v > PlotBound || v < -PlotBound) {
            v = std::clamp(v, -PlotBound, PlotBound);
            clamped = true;
        }
        lo = any ? std::min(lo, v) : v;
        hi = any ? std::max(hi, v) : v;
        any = true;
    }
    // A run of NaN only has no extremes to scale by.
    slot.runMin = any ? lo : std::nan("");
    slot.runMax = any ? hi : std::nan("");
    return clamped;
}

bool warnOutsideLetters = false; ///< the letters are drawn by the end-of-run scaling

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

/// Maps a run slot's points into the plot area and draws them; a NaN value breaks the line.
void drawRun(DeviceContext& dc, const PlotCurve& xSpec, const RunSlot& xs, const PlotCurve& ySpec, const RunSlot& ys)
{
    const int n = pairedCount(xs, ys);
    std::vector<Point> piece;
    piece.reserve(std::size_t(std::min(n, 65536)));
    auto flush = [&] {
        drawPolylines(dc, ThinPlotPoints(piece));
        piece.clear();
    };
    const double* xv = xs.values();
    const double* yv = ys.values();
    for (int m = 0; m < n; ++m) {
        const double tx = ScaleFraction(xv[m], xSpec.min, xSpec.max);
        const double ty = ScaleFraction(yv[m], ySpec.min, ySpec.max);
        if (std::isnan(tx) || std::isnan(ty)) {
            flush();
            continue;
        }
        piece.push_back({toX(tx), toY(ty)});
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
    if (!state().plotMode || specs.displayed == 0)
        return;
    AppendPlotValue(XRuns(), x);
    bool rescale = false;
    if (!specs.xIsTime && specs.x.scaling == 2)
        rescale = growRecord(specs.x, x);

    const RunSlot& xs = XRuns().slots[0];
    const bool canDraw = EnsurePlotContext() && onScreen();
    DeviceContext* dc = state().dc;
    int x0 = 0, x1 = 0;
    auto columns = [&] {
        if (rescale || xs.count() < 2)
            return false;
        const double t0 = ScaleFraction(xs.values()[xs.count() - 2], specs.x.min, specs.x.max);
        const double t1 = ScaleFraction(xs.values()[xs.count() - 1], specs.x.min, specs.x.max);
        if (std::isnan(t0) || std::isnan(t1))
            return false;
        x0 = toX(t0);
        x1 = toX(t1);
        return true;
    };
    bool haveColumns = columns();
    DrawnBox box;
    for (int i = CurveCount - 1; i >= 0; --i) {
        PlotCurve& c = specs.curves[std::size_t(i)];
        if (!CurveShown(c))
            continue;
        RunSlot& ys = CurveRuns(i).slots[0];
        const double v = values[std::size_t(i)];
        AppendPlotValue(CurveRuns(i), v);
        if (c.scaling == 2 && growRecord(c, v)) {
            rescale = true;
            haveColumns = false;
        }
        if (rescale || !haveColumns || !canDraw || ys.count() < 2 || xs.count() != ys.count())
            continue;
        const double t0 = ScaleFraction(ys.values()[ys.count() - 2], c.min, c.max);
        const double t1 = ScaleFraction(ys.values()[ys.count() - 1], c.min, c.max);
        if (std::isnan(t0) || std::isnan(t1))
            continue;
        const int y0 = toY(t0), y1 = toY(t1);
        if (x0 == x1 && y0 == y1)
            continue;
        const platform::Pen pen = CurvePen(i, true);
        dc->setPen(pen);
        dc->moveTo(x0, y0);
        dc->lineTo(x1, y1);
        box.add(x0, y0, pen.width);
        box.add(x1, y1, pen.width);
    }
    if (box.left < box.right) {
        dc->setPen(state().pens.foreground);
        box.tell();
    }
    if (rescale)
        RedrawPlot(1);
}

bool RoundScale(PlotCurve& spec, RecordRuns& runs)
{
    if (slotExtremes(runs.slots[0]))
        InterruptRequested = 1;
    bool any = false;
    double lo = 0, hi = 0;
    for (const RunSlot& s : runs.slots) {
        if (s.count() == 0 || std::isnan(s.runMin) || std::isnan(s.runMax))
            continue;
        lo = any ? std::min(lo, s.runMin) : s.runMin;
        hi = any ? std::max(hi, s.runMax) : s.runMax;
        any = true;
    }
    return any && RoundScaleRange(lo, hi, spec.min, spec.max);
}

void EndRunScaling()
{
    PlotState& p = state();
    p.eraseOnRedraw = !(MultipleRunActive() && !InterruptRequested);
    PlotSpecification& specs = PlotSpecs();
    bool rescaled = false;
    // Every record keeps the extremes of its run; the scaled ones take a new scale from them.
    if (!specs.xIsTime && specs.x.scaling >= 1)
        rescaled = RoundScale(specs.x, XRuns());
    else
        slotExtremes(XRuns().slots[0]);
    for (int i = 0; i < CurveCount; ++i) {
        PlotCurve& c = specs.curves[std::size_t(i)];
        if (CurveShown(c) && c.scaling >= 1)
            rescaled = RoundScale(c, CurveRuns(i)) || rescaled;
        else if (CurveShown(c))
            slotExtremes(CurveRuns(i).slots[0]);
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
        if (CurveShown(specs.curves[std::size_t(i)]) && (r.slots[0].count() > 0 || r.slots[1].count() > 0))
            curves.push_back(i);
    }
    const int n = int(curves.size());
    for (int j = 0; j < n; ++j) {
        bool any = false;
        double lo = 0, hi = 0;
        for (const RunSlot& s : CurveRuns(curves[std::size_t(j)]).slots)
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
}

void DrawPlotFrame()
{
    PlotState& p = state();
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
        const int topRow = T + j * H, bottomRow = B - (n - j) * H, middleRow = (topRow + bottomRow) / 2;
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
        put(int(std::trunc(1.5 * W)), middleRow, TA_LEFT, legendName(c), LabelCurve, i);
        ++j;
    }
    dc->setTextAlign(TA_LEFT | TA_TOP);
}

void DrawPlotGrid(int show)
{
    PlotState& p = state();
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
    DeviceContext* dc = p.dc;
    if (!dc)
        return;
    const PlotSpecification& specs = PlotSpecs();
    const PlotCurve& c = specs.curves[std::size_t(curve)];
    const RecordRuns& ys = CurveRuns(curve);
    const bool earlier =
        std::any_of(ys.slots.begin() + 1, ys.slots.end(), [](const RunSlot& s) { return s.count() > 0; });
    if (onScreen() && earlier)
        dc->setPen(CurvePen(curve, false));
    for (int k = RunSlotCount - 1; k >= 1; --k)
        if (XRuns().slots[std::size_t(k)].count() > 0)
            drawRun(*dc, specs.x, XRuns().slots[std::size_t(k)], c, ys.slots[std::size_t(k)]);
    if (XRuns().slots[0].count() > 0) {
        dc->setPen(CurvePen(curve, true));
        drawRun(*dc, specs.x, XRuns().slots[0], c, ys.slots[0]);
    }
    dc->setPen(p.pens.foreground);
    if (onScreen())
        dc->removeClip();
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
        auto inside = [&](const RunSlot& xs, const RunSlot& ys, int m, Point& at) {
            const double tx = ScaleFraction(xs.values()[m], specs.x.min, specs.x.max);
            const double ty = ScaleFraction(ys.values()[m], c.min, c.max);
            if (!(tx >= mx && tx <= 1 - mx && ty >= my && ty <= 1 - my))
                return false;
            at = {toX(tx), toY(ty)};
            return true;
        };
        int placed = 0;
        for (int k = 0; k < RunSlotCount; ++k) {
            const RunSlot& xs = XRuns().slots[std::size_t(k)];
            const RunSlot& ys = CurveRuns(i).slots[std::size_t(k)];
            const int n = pairedCount(xs, ys);
            if (n == 0)
                continue;
            int placedHere = 0;
            Point at;
            for (int m = 0; m < n; ++m)
                if (inside(xs, ys, m, at)) {
                    placeLetter(*dc, i, at);
                    ++placedHere;
                    break;
                }
            for (int m = n - 1; m >= 0; --m)
                if (inside(xs, ys, m, at)) {
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
    const RunSlot& xs = XRuns().slots[std::size_t(slot)];
    const RunSlot& ys = CurveRuns(curve).slots[std::size_t(slot)];
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
