// The plot's data and window state: the values of the X axis and of the 26 curves
// gathered in the current run and up to 29 earlier ones, the plot's drawing context
// with its pens and layout, the start, steps and end of plot output for a run, and the
// hit list of the labels a click can reach. The plot draws on a `PlotSurface` (the
// plot window, or a test's context); without one the values are gathered all the same.
#pragma once

#include "platform/core/device_context.h"
#include "simulator/plot_specs.h"

#include <bdlist>

#include <array>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>

inline constexpr int RunSlotCount = 30;
/// Plot buffers grow by this many values.
inline constexpr int PlotChunk = 2048;
/// The largest byte size a plot buffer may grow to.
inline constexpr std::size_t PlotBufferByteLimit = 0x7FFFBFFE;

/// The values one record gathered in one run, with their extremes once the run ended.
class RunSlot {
public:
    RunSlot() = default;
    ~RunSlot() { free(); }
    RunSlot(RunSlot&& other) noexcept;
    RunSlot& operator=(RunSlot&& other) noexcept;
    RunSlot(const RunSlot&) = delete;
    RunSlot& operator=(const RunSlot&) = delete;

    bool holdsBuffer() const { return m_values != nullptr; }
    const double* values() const { return m_values; }
    int count() const { return m_count; }
    int capacity() const { return m_capacity; }
    /// Names the buffer: a new number for each buffer, kept when the slot moves.
    unsigned long long id() const { return m_id; }

    /// A fresh buffer of one chunk; false when it cannot be had.
    bool allocate();
    /// Appends a value, growing the buffer by a chunk when full; false when it cannot grow.
    bool append(double value)
    {
        if (m_count == m_capacity && !grow())
            return false;
        // The buffers of a run are written side by side, too many for the processor to
        // see coming: each asks for its next cache line a few lines early.
        if ((m_count & 7) == 0)
            __builtin_prefetch(m_values + m_count + 16, 1);
        m_values[m_count++] = value;
        return true;
    }
    /// Releases the buffer; count, capacity and extremes become 0.
    void free();

    double runMin = 0.0;
    double runMax = 0.0;

private:
    /// Room for one chunk more; false when it cannot be had.
    bool grow();

    double* m_values = nullptr;
    int m_count = 0;
    int m_capacity = 0;
    unsigned long long m_id = 0;
};

/// The run slots of the X axis or of one curve: slot 0 the current (or last) run, then
/// the earlier runs, newest first.
struct RecordRuns {
    std::array<RunSlot, RunSlotCount> slot;
    int fullWarned = 0; ///< "no more buffer space" was said for this record
};

RecordRuns& XRuns();
RecordRuns& CurveRuns(int curve);

/// The function that gets and grows plot buffers, with `realloc`'s contract; buffers
/// are given back with `free` (tests replace it to fail on purpose).
using PlotReallocate = void* (*)(void* block, std::size_t bytes);
/// Null puts `realloc` back.
void SetPlotReallocate(PlotReallocate function);

/// Where the plot is shown.
class PlotSurface {
public:
    virtual ~PlotSurface() = default;
    /// The context to draw the plot in, kept until `ReleasePlotContext`; null when none can be had.
    virtual platform::DeviceContext* plotContext() = 0;
    virtual int clientWidth() const = 0;
    virtual int clientHeight() const = 0;
    /// The rectangle has been drawn on (outside any paint), to be shown.
    virtual void plotChanged(int left, int top, int right, int bottom) = 0;
    /// A context that measures text as the screen does (for metafiles); null for fixed metrics.
    virtual std::unique_ptr<platform::DeviceContext> measuringContext() { return nullptr; }
    /// Puts a picture of the given logical size on the clipboard, drawn by `draw`; false
    /// when the clipboard cannot be had.
    virtual bool putPicture(int width, int height, int unitsPerInch,
                            const std::function<void(platform::DeviceContext&)>& draw)
    {
        (void)width, (void)height, (void)unitsPerInch, (void)draw;
        return false;
    }
};

/// Shows the plot on the surface from now on (null: nowhere); the context is made anew.
void SetPlotSurface(PlotSurface* surface);
PlotSurface* CurrentPlotSurface();

/// What the plot tells the windows around it (each may be left empty).
struct PlotHooks {
    std::function<void()> numericValuesChanged;          ///< kept runs changed
    std::function<void(double x, double y)> pointChosen; ///< a click in the plot, as fractions of its area
    std::function<void(int curve)> openPlotSpecs;        ///< a click on a curve's label or an axis text
    std::function<void()> endPlainSeries;                ///< the current run was discarded
};
PlotHooks& PlotCallbacks();

enum class PlotDrawingMode { Screen, Printing, Metafile };

/// The plot area in logical units of the window.
struct PlotArea {
    int left = 0, top = 0, width = 0, height = 0, right = 0, bottom = 0;
};

struct PlotPens {
    platform::Pen foreground, background, cursor;
    std::array<platform::Pen, 5> dash;
    std::array<platform::Pen, 6> dark, bright;
    platform::Brush foregroundBrush, backgroundBrush;
};

inline constexpr platform::ColorRef WindowTextColor = 0x000000;
inline constexpr platform::ColorRef WindowColor = 0xFFFFFF;

enum LabelKind { LabelTitle = 1, LabelCurve = 2, LabelXAxis = 3 };

/// A label drawn in the plot, where a click finds it.
struct LabelRect {
    int kind = 0;
    int left = 0, top = 0, right = 0, bottom = 0;
    int curve = 0;
    bool operator==(const LabelRect&) const = default;
};

/// The plot-wide state.
struct PlotState {
    int plotMode = 1;          ///< X/Y Plot mode; off, nothing is gathered or drawn
    int displayedAtStart = 0;  ///< displayed curves when the current run's plot output began
    int specsChanged = 0;      ///< the specifications changed since the frame was drawn
    int suppressed = 0;        ///< no plot output in this run (a refused continuation)
    int eraseOnRedraw = 0;     ///< the next redraw erases first and draws the curves
    int square = 0;
    int gridOn = 1;            ///< the "sim_grid" setting
    int frameDrawn = 0;
    int gridDrawn = 0;

    platform::DeviceContext* screen = nullptr; ///< the surface's context once made
    platform::DeviceContext* dc = nullptr;     ///< where drawing goes now
    PlotDrawingMode mode = PlotDrawingMode::Screen;
    double printScale = 1.0;
    bool monochrome = false;
    bool noStyledLines = false;
    platform::FontSpec font;
    PlotArea area;
    PlotPens pens;
    BdList<LabelRect> labels;

    int cursorShown = 0;
    int cursorDrawn = 0; ///< the cursor is on the picture now
    double cursorX = 0.0, cursorY = 0.0;

    std::string lastMetafile; ///< the latest export
};
PlotState& Plot();

/// Frees every buffer and puts the state back to its start (the plot mode and surface stay).
void ResetPlot();

/// A curve that is shown: display on, with a variable or a data file.
inline bool CurveShown(const PlotCurve& curve) { return curve.display && (curve.hasVariable() || curve.fromFile); }

/// New run: the shown records move their runs one slot up and get a fresh slot 0; the
/// numerical values view is told.
void StartPlotRun();
/// Frees slot 0 of every record; ends a plain multiple-run series.
void DiscardCurrentRun();
/// Frees slots 1-29 of every record.
void DiscardEarlierRuns();
/// Frees all 30 slots of one curve.
void DiscardCurveRuns(int curve);
/// Frees every slot of every record.
void DiscardAllPlotRuns();
bool HasCurrentRunData();
bool HasEarlierRunData();
/// Says once per record, for all records, that a buffer cannot grow and interrupts the
/// run; false.
bool PlotBufferFull(RecordRuns& record);
/// Appends to slot 0; false (after one warning per record) when the buffer cannot grow.
inline bool AppendPlotValue(RecordRuns& record, double value)
{
    return record.slot[0].append(value) || PlotBufferFull(record);
}

/// Before a run; false refuses a continuation the plot cannot follow.
bool BeginPlotOutput(int continuing);
/// One output step: the X value and every shown curve's value, stored and drawn.
void CollectPlotStep();
/// After a run: the end-of-run scaling; the numerical values view is told.
void FinishPlotOutput();

/// Makes the drawing context on the surface once; false (with a message when a surface
/// gave none) when there is none.
bool EnsurePlotContext();
void ReleasePlotContext();
/// Redraws, with the curves when the erase-on-redraw flag is set.
void RefreshPlot();
/// Erases the plot (on the screen: the whole client area).
void ClearPlotArea();
/// Draws the grid, or erases it when the grid setting is off.
void ShowPlotGrid();
/// Flips the square plot; its new state.
bool ToggleSquarePlot();
/// Takes the "mode", "sim_grid", "linewidth", "colors" and "dashing" settings.
void ApplyPlotSettings();

/// Recomputes the plot area for a client area of that size.
void ComputePlotLayout(int clientWidth, int clientHeight);

/// The rectangle a label of n characters drawn at (x, y) takes in the hit list.
LabelRect LabelAt(int kind, int x, int y, int characters, int curve);
/// Registers a label (nothing while printing).
void RegisterLabel(const LabelRect& label);
/// Whether a label of n characters at (x, y) would overlap a registered one.
bool LabelOverlaps(int x, int y, int characters);
/// A click at a client position.
void PlotClick(int x, int y);

/// The value of a model variable now (0 when it does not exist).
double PlotVariableValue(int kind, int variable);
