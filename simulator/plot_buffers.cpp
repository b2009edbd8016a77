// Plot buffers, the plot's drawing context and the start, steps and end of plot output.
#include "simulator/plot_buffers.h"

#include "common/dialog_fonts.h"
#include "common/message_boxes.h"
#include "common/settings_table.h"
#include "simulator/model_variables.h"
#include "simulator/plot_drawing.h"
#include "simulator/run_output.h"
#include "simulator/run_state.h"
#include "simulator/user_libraries.h"

#include <algorithm>
#include <cstdlib>
#include <utility>

using platform::Brush;
using platform::BrushStyle;
using platform::Pen;
using platform::PenStyle;

namespace {

PlotState g_plot;
RecordRuns g_x;
std::array<RecordRuns, CurveCount> g_curves;
PlotSurface* g_surface = nullptr;
PlotHooks g_hooks;
PlotReallocate g_reallocate = std::realloc;
bool g_bufferWarned = false; ///< "no more buffer space" was said in this run
unsigned long long g_lastBufferId = 0;

template <class Function>
void forEachRecord(Function function)
{
    function(g_x);
    for (RecordRuns& r : g_curves)
        function(r);
}

void freeSlots(RecordRuns& record, int from, int to)
{
    for (int k = from; k <= to; ++k)
        record.slot[std::size_t(k)].free();
}

void tell(const std::function<void()>& hook)
{
    if (hook)
        hook();
}

/// Moves the runs one slot up when slot 0 holds one; true when it did.
bool shiftRuns(RecordRuns& record)
{
    if (!record.slot[0].holdsBuffer())
        return false;
    record.slot[RunSlotCount - 1].free();
    for (int k = RunSlotCount - 1; k > 0; --k)
        record.slot[std::size_t(k)] = std::move(record.slot[std::size_t(k - 1)]);
    return true;
}

PlotPens makePens()
{
    const int width = std::clamp(Settings().linewidth, 0, 3) + 1;
    PlotPens pens;
    pens.foreground = Pen{PenStyle::Solid, width, WindowTextColor};
    pens.background = Pen{PenStyle::Solid, width, WindowColor};
    pens.cursor = Pen{PenStyle::Solid, width + 2, WindowTextColor};
    pens.foregroundBrush = Brush{BrushStyle::Solid, WindowTextColor};
    pens.backgroundBrush = Brush{BrushStyle::Solid, WindowColor};
    const PenStyle styles[] = {PenStyle::Solid, PenStyle::Dash, PenStyle::Dot, PenStyle::DashDot, PenStyle::DashDotDot};
    for (int i = 0; i < 5; ++i)
        pens.dash[std::size_t(i)] = Pen{styles[i], width, WindowTextColor};
    const platform::ColorRef dark[] = {0x800000, 0x800080, 0x000080, 0x008000, 0x808000, 0x008080};
    const platform::ColorRef bright[] = {0xFF0000, 0xFF00FF, 0x0000FF, 0x00FF00, 0xFFFF00, 0x00FFFF};
    for (int i = 0; i < 6; ++i) {
        pens.dark[std::size_t(i)] = Pen{PenStyle::Solid, width, dark[i]};
        pens.bright[std::size_t(i)] = Pen{PenStyle::Solid, width, bright[i]};
    }
    return pens;
}

} // namespace

RunSlot::RunSlot(RunSlot&& other) noexcept
    : runMin(other.runMin), runMax(other.runMax), m_values(std::exchange(other.m_values, nullptr)),
      m_count(std::exchange(other.m_count, 0)), m_capacity(std::exchange(other.m_capacity, 0)),
      m_id(std::exchange(other.m_id, 0))
{
    other.runMin = other.runMax = 0.0;
}

RunSlot& RunSlot::operator=(RunSlot&& other) noexcept
{
    if (this != &other) {
        free();
        m_values = std::exchange(other.m_values, nullptr);
        m_count = std::exchange(other.m_count, 0);
        m_capacity = std::exchange(other.m_capacity, 0);
        m_id = std::exchange(other.m_id, 0);
        runMin = std::exchange(other.runMin, 0.0);
        runMax = std::exchange(other.runMax, 0.0);
    }
    return *this;
}

bool RunSlot::allocate()
{
    free();
    void* block = g_reallocate(nullptr, PlotChunk * sizeof(double));
    if (!block)
        return false;
    m_values = static_cast<double*>(block);
    m_capacity = PlotChunk;
    m_id = ++g_lastBufferId;
    return true;
}

bool RunSlot::grow()
{
    const std::size_t grown = std::size_t(m_capacity) + PlotChunk;
    if (grown * sizeof(double) > PlotBufferByteLimit)
        return false;
    void* block = g_reallocate(m_values, grown * sizeof(double));
    if (!block)
        return false;
    if (!m_values)
        m_id = ++g_lastBufferId;
    m_values = static_cast<double*>(block);
    m_capacity = int(grown);
    return true;
}

void RunSlot::free()
{
    std::free(m_values);
    m_values = nullptr;
    m_count = m_capacity = 0;
    m_id = 0;
    runMin = runMax = 0.0;
}

RecordRuns& XRuns() { return g_x; }
RecordRuns& CurveRuns(int curve) { return g_curves[std::size_t(curve)]; }

void SetPlotReallocate(PlotReallocate function) { g_reallocate = function ? function : std::realloc; }

void SetPlotSurface(PlotSurface* surface)
{
    ReleasePlotContext();
    g_surface = surface;
}

PlotSurface* CurrentPlotSurface() { return g_surface; }

PlotHooks& PlotCallbacks() { return g_hooks; }

PlotState& Plot() { return g_plot; }

void ResetPlot()
{
    ReleasePlotContext();
    DiscardAllPlotRuns();
    for (RecordRuns& r : g_curves)
        r.fullWarned = 0;
    g_x.fullWarned = 0;
    const int mode = g_plot.plotMode;
    g_plot = PlotState{};
    g_plot.plotMode = mode;
    g_bufferWarned = false;
}

void StartPlotRun()
{
    bool shifted = shiftRuns(g_x);
    const PlotSpecification& specs = PlotSpecs();
    for (int i = 0; i < CurveCount; ++i)
        if (CurveShown(specs.curves[std::size_t(i)]))
            shifted = shiftRuns(g_curves[std::size_t(i)]) || shifted;
    g_bufferWarned = false;
    // The X record's slot 0 grows on its first value when it cannot be had here.
    if (!g_x.slot[0].allocate())
        ShowMessage({"Memory-allocation failure for a curve."});
    for (int i = 0; i < CurveCount; ++i) {
        PlotCurve& c = PlotSpecs().curves[std::size_t(i)];
        if (CurveShown(c) && !g_curves[std::size_t(i)].slot[0].allocate()) {
            ShowMessage({"Memory-allocation failure for a curve."});
            c.display = 0;
        }
    }
    CountPlotCurves(PlotSpecs());
    if (shifted && g_plot.eraseOnRedraw)
        RedrawPlot(1);
    tell(g_hooks.numericValuesChanged);
}

void DiscardCurrentRun()
{
    forEachRecord([](RecordRuns& r) { r.slot[0].free(); });
    tell(g_hooks.endPlainSeries);
    tell(g_hooks.numericValuesChanged);
}

void DiscardEarlierRuns()
{
    forEachRecord([](RecordRuns& r) { freeSlots(r, 1, RunSlotCount - 1); });
    tell(g_hooks.numericValuesChanged);
}

void DiscardCurveRuns(int curve)
{
    if (curve < 0 || curve >= CurveCount)
        return;
    freeSlots(g_curves[std::size_t(curve)], 0, RunSlotCount - 1);
    g_curves[std::size_t(curve)].fullWarned = 0;
    tell(g_hooks.numericValuesChanged);
}

void DiscardAllPlotRuns()
{
    forEachRecord([](RecordRuns& r) { freeSlots(r, 0, RunSlotCount - 1); });
}

bool HasCurrentRunData()
{
    return std::any_of(g_curves.begin(), g_curves.end(), [](const RecordRuns& r) { return r.slot[0].holdsBuffer(); });
}

bool HasEarlierRunData()
{
    return std::any_of(g_curves.begin(), g_curves.end(), [](const RecordRuns& r) {
        return std::any_of(r.slot.begin() + 1, r.slot.end(), [](const RunSlot& s) { return s.holdsBuffer(); });
    });
}

bool PlotBufferFull(RecordRuns& record)
{
    if (!record.fullWarned) {
        record.fullWarned = 1;
        InterruptRequested = 1;
        // Every record fills at the same step: one message says it for all of them.
        if (!g_bufferWarned)
            ShowMessage({"Warning: no more buffer space for the curves."});
        g_bufferWarned = true;
    }
    return false;
}

bool BeginPlotOutput(int continuing)
{
    if (!g_plot.plotMode)
        return true;
    const PlotSpecification& specs = PlotSpecs();
    if (continuing && specs.displayed != g_plot.displayedAtStart) {
        ShowMessage({"Plot output cannot be continued with a different number of curves.",
                     "No plot output is given in this simulation run."});
        g_plot.suppressed = 1;
        return false;
    }
    if (continuing && g_plot.specsChanged) {
        ShowMessage({"Plot output specifications have been changed.", "No continuation allowed."});
        g_plot.suppressed = 1;
        return false;
    }
    g_plot.suppressed = 0;
    if (!continuing && specs.displayed >= 1) {
        g_plot.displayedAtStart = specs.displayed;
        StartPlotRun();
        // Drawing the frame takes the specifications as they now are; without a window
        // to draw on they are taken all the same.
        if (EnsurePlotContext()) {
            ComputePlotLayout(g_surface->clientWidth(), g_surface->clientHeight());
            DrawPlotFrame();
        } else
            g_plot.specsChanged = 0;
    }
    return true;
}

namespace {

double variableValue(const ModelVariables& variables, int kind, int variable)
{
    if (kind < 0 || kind >= KindCount)
        return 0.0;
    const VariableKind& k = variables.kinds[std::size_t(kind)];
    return k.values && variable >= 0 && variable < k.count ? k.values[variable] : 0.0;
}

} // namespace

double PlotVariableValue(int kind, int variable) { return variableValue(Variables(), kind, variable); }

void CollectPlotStep()
{
    if (!g_plot.plotMode || g_plot.suppressed)
        return;
    const PlotSpecification& specs = PlotSpecs();
    const ModelVariables& variables = Variables();
    const double x = specs.xIsTime ? SimulationTime : variableValue(variables, specs.x.kind, specs.x.variable);
    std::array<double, CurveCount> values{};
    for (int i = 0; i < CurveCount; ++i) {
        const PlotCurve& c = specs.curves[std::size_t(i)];
        if (CurveShown(c))
            values[std::size_t(i)] =
                c.fromFile ? YAxisInputValue(i, SimulationTime) : variableValue(variables, c.kind, c.variable);
    }
    DrawPlotStep(x, values);
}

void FinishPlotOutput()
{
    if (g_plot.plotMode && PlotSpecs().displayed > 0 && !g_plot.suppressed)
        EndRunScaling();
    // An open numerical values view takes the run's samples (its scroll range with them).
    if (g_plot.plotMode)
        tell(g_hooks.numericValuesChanged);
}

bool EnsurePlotContext()
{
    if (g_plot.screen)
        return true;
    if (!g_surface)
        return false;
    platform::DeviceContext* dc = g_surface->plotContext();
    if (!dc) {
        ShowMessage({"Initialization of plotwindow failed."});
        return false;
    }
    g_plot.screen = dc;
    g_plot.dc = dc;
    g_plot.mode = PlotDrawingMode::Screen;
    g_plot.printScale = 1.0;
    g_plot.pens = makePens();
    g_plot.font = *GetDialogFont();
    g_plot.monochrome = dc->bitsPerPixel() < 3;
    g_plot.noStyledLines = !dc->styledLines();
    g_plot.frameDrawn = g_plot.gridDrawn = g_plot.cursorDrawn = 0;
    dc->setMapMode(platform::MapMode::Text);
    const int w = g_surface->clientWidth(), h = g_surface->clientHeight();
    if (w > 0 && h > 0) {
        dc->setWindowExtent(w, h);
        dc->setViewportExtent(w, h);
    }
    dc->setBackgroundMode(platform::BackgroundMode::Transparent);
    dc->setTextAlign(platform::TA_LEFT | platform::TA_TOP);
    dc->setFont(g_plot.font);
    dc->setTextColor(WindowTextColor);
    dc->setPen(g_plot.pens.foreground);
    return true;
}

void ReleasePlotContext()
{
    FlushPlotSteps();
    if (g_plot.dc == g_plot.screen)
        g_plot.dc = nullptr;
    g_plot.screen = nullptr;
    g_plot.frameDrawn = g_plot.gridDrawn = g_plot.cursorDrawn = 0;
}

void RefreshPlot()
{
    if (EnsurePlotContext())
        RedrawPlot(0);
}

void ClearPlotArea()
{
    EnsurePlotContext();
    FlushPlotSteps();
    if (g_plot.mode == PlotDrawingMode::Screen && g_plot.dc && g_surface) {
        const int w = g_surface->clientWidth(), h = g_surface->clientHeight();
        g_plot.dc->fillRect(0, 0, w, h, g_plot.pens.backgroundBrush);
        g_surface->plotChanged(0, 0, w, h);
        g_plot.cursorDrawn = 0;
    }
    g_plot.eraseOnRedraw = 0;
    g_plot.frameDrawn = 0;
    g_plot.gridDrawn = 0;
}

void ShowPlotGrid()
{
    if (EnsurePlotContext())
        DrawPlotGrid(g_plot.gridOn);
}

bool ToggleSquarePlot()
{
    g_plot.square = !g_plot.square;
    return g_plot.square != 0;
}

void ApplyPlotSettings()
{
    g_plot.gridOn = Settings().sim_grid != 0;
    g_plot.plotMode = Settings().mode == 0;
    if (!g_plot.plotMode)
        return;
    ReleasePlotContext();
    RefreshPlot();
    ShowPlotGrid();
}

void ComputePlotLayout(int clientWidth, int clientHeight)
{
    PlotArea& a = g_plot.area;
    a.left = 140;
    a.top = 24;
    a.width = std::max(clientWidth - 164, 0);
    a.height = std::max(clientHeight - 48, 0);
    if (g_plot.square)
        a.width = a.height = std::min(a.width, a.height);
    a.right = a.left + a.width;
    a.bottom = a.top + a.height;
}

LabelRect LabelAt(int kind, int x, int y, int characters, int curve)
{
    return LabelRect{kind, x, y - 13, x + 7 * characters, y, curve};
}

void RegisterLabel(const LabelRect& label)
{
    if (g_plot.mode != PlotDrawingMode::Printing)
        g_plot.labels.append(label);
}

bool LabelOverlaps(int x, int y, int characters)
{
    const LabelRect c = LabelAt(0, x, y, characters, 0);
    for (const BdLink<LabelRect>* link = g_plot.labels.firstLink(); link; link = link->next()) {
        const LabelRect& r = link->value();
        const bool across = (c.left <= r.left && r.left < c.right) || (r.left <= c.left && c.left < r.right);
        const bool down = (c.top <= r.top && r.top < c.bottom) || (r.top <= c.top && c.top < r.bottom);
        if (across && down)
            return true;
    }
    return false;
}

void PlotClick(int x, int y)
{
    for (const BdLink<LabelRect>* link = g_plot.labels.firstLink(); link; link = link->next()) {
        const LabelRect& r = link->value();
        if (x < r.left || x >= r.right || y < r.top || y >= r.bottom)
            continue;
        if (r.kind >= LabelCurve && g_hooks.openPlotSpecs)
            g_hooks.openPlotSpecs(r.kind == LabelCurve ? r.curve : 0);
        return;
    }
    const PlotArea& a = g_plot.area;
    if (a.width <= 0 || a.height <= 0 || x < a.left || x > a.right || y < a.top || y > a.bottom ||
        !g_x.slot[0].holdsBuffer())
        return;
    const double fx = double(x - a.left) / a.width, fy = double(a.bottom - y) / a.height;
    if (g_hooks.pointChosen)
        g_hooks.pointChosen(fx, fy);
    PlaceCursor(fx, fy);
}
