// Drawing the plot: each output step while a run goes on, the scaling during and
// after a run, the frame with ticks, grid, axis texts and legend, the curves of all
// kept runs with their letters, and the cross-hair cursor. Everything goes to the
// plot's current context (window, printer or metafile) in its plot area.
#pragma once

#include "platform/core/device_context.h"
#include "simulator/plot_buffers.h"

#include <array>
#include <string>
#include <vector>

/// Stores one output step (the X value and the value of every shown curve, by curve
/// index) and draws it, rescaling and redrawing when an automatic scale had to grow.
void DrawPlotStep(double x, const std::array<double, CurveCount>& values);
/// Draws the lines of the steps that are not on the picture yet (the window calls it
/// before it shows the picture; every other drawing calls it first).
void FlushPlotSteps();

/// End-of-run scale of one record over all its kept runs; true when the scale changed.
bool RoundScale(PlotCurve& spec, RecordRuns& runs);
/// At the end of a run: the post- and auto-scaled records get `RoundScale`, then a
/// redraw or only the curve letters.
void EndRunScaling();
/// Runs were cleared: the post- and auto-scaled records take the scale of the runs kept
/// (a record with none left keeps its scale).
void RescaleKeptRuns();
/// Stacks the shown curves that hold data in horizontal bands, first curve on top.
void DistributeCurves();

/// Redraws the frame and texts, with the curves when asked or when the erase-on-redraw
/// flag is set.
void RedrawPlot(int drawCurves);
void DrawPlotFrame();
void DrawAxisTexts();
/// Draws the dotted grid (show) or erases it.
void DrawPlotGrid(int show);
void DrawAllCurves();
void DrawCurve(int curve);
void DrawCurveLetters();

/// Keeps the first two points, drops repeats and merges points that go on in the
/// direction of the last kept segment (directions in milliradians, as whole numbers).
std::vector<platform::Point> ThinPlotPoints(const std::vector<platform::Point>& points);

/// Of the points that follow one another in one pixel column, only the first, the
/// highest, the lowest and the last: a line through them covers the pixels of the whole
/// line (but for a pixel where it turns back, which a painter may leave out).
std::vector<platform::Point> ReduceColumns(const std::vector<platform::Point>& points);

/// The points a line of steps is drawn through: those `ReduceColumns` keeps, less the
/// points where the line goes straight on along a row, a column or a diagonal (the
/// painter draws the same pixels without them).
std::vector<platform::Point> StepLinePoints(const std::vector<platform::Point>& points);

/// The pen of a curve: bright (the current run) or dark colours, dashes, or plain.
platform::Pen CurvePen(int curve, bool bright);

/// The title: the model name and, when there is one, " - " and the experiment name.
std::string PlotTitle();

/// Draws (or, drawn again, removes) the cross-hair at fractions of the plot area.
void DrawCursor(double x, double y);
/// Shows or removes the cursor (only while a plot exists and curves are shown).
void ShowCursor(int on);
/// Moves the cursor to a sample of a curve in a run slot.
void MoveCursorToSample(int sample, int curve, int slot);
/// Moves the cursor to fractions of the plot area (clamped to it).
void PlaceCursor(double x, double y);
/// A click position, clamped into the plot area, as fractions for the numeric values view.
void CursorFromPoint(int x, int y);
