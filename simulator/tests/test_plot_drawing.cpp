// Plot drawing: a whole plot against its golden call list, the drawing of each step,
// rescaling while and after a run, the grid, thinning, pens, letters, the cursor,
// printing and the metafile, and plot output driven by real runs.
#include "plot_test_support.h"

#include "common/startup.h"
#include "platform/core/file_system.h"
#include "platform/core/metafile_reader.h"
#include "platform/core/metafile_records.h"
#include "platform/testing/temp_dir.h"
#include "simulator/integration_methods.h"
#include "simulator/plot_export.h"
#include "simulator/plot_scaling.h"
#include "simulator/run_control.h"
#include "simulator/run_output.h"
#include "simulator/run_specs.h"

#include <cmath>
#include <cstring>
#include <fstream>
#include <sstream>

using namespace plottest;
using platform::Point;

namespace {

std::string joined(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines)
        text += line + "\n";
    return text;
}

/// Compares with a golden file; ORVANTA_UPDATE_GOLDEN=1 rewrites it instead.
void expectGolden(const std::string& name, const std::string& text)
{
    const std::string path = std::string(ORVANTA_SOURCE_DIR) + "/simulator/tests/golden/" + name;
    if (std::getenv("ORVANTA_UPDATE_GOLDEN")) {
        ASSERT_TRUE(platform::writeFileAtomically(path, text));
        return;
    }
    const std::optional<std::string> expected = platform::readFile(path);
    ASSERT_TRUE(expected) << path;
    EXPECT_EQ(text, *expected);
}

class PlotDrawing : public PlotTest {
protected:
    /// Three curves over x from 0 to 1: a rising, b falling, c a hump.
    void threeCurves()
    {
        PlotSpecs().x.min = 0;
        PlotSpecs().x.max = 1;
        show(0, "a", 0, 2);
        show(1, "b", -1, 1);
        show(2, "c", 0, 1);
    }
    static double value(int curve, int step)
    {
        const double x = step / 4.0;
        return curve == 0 ? 2 * x : curve == 1 ? 1 - 2 * x : 4 * x * (1 - x);
    }
};

} // namespace

TEST_F(PlotDrawing, AWholePlotDrawsTheRecordedPrimitivesOfItsGoldenList)
{
    threeCurves();
    Settings().sim_grid = 1;
    Plot().gridOn = 1;
    feed(steps(5, 0.25), value);
    std::vector<std::string> calls = surface.dc.calls();
    const auto pixels = callsStarting(calls, "pixel");
    // The grid: nine lines each way, dots height/100 (vertical) and width/100 (horizontal) apart.
    EXPECT_GT(pixels.size(), 1500u);
    calls.erase(std::remove_if(calls.begin(), calls.end(), [](const std::string& c) { return c.rfind("pixel", 0) == 0; }),
                calls.end());
    surface.dc.clear();
    RedrawPlot(1);
    std::vector<std::string> redraw = surface.dc.calls();
    redraw.erase(std::remove_if(redraw.begin(), redraw.end(), [](const std::string& c) { return c.rfind("pixel", 0) == 0; }),
                 redraw.end());
    expectGolden("plot_three_curves.txt",
                 "# a run drawn step by step\n" + joined(calls) + "# the redraw\n" + joined(redraw));
}

TEST_F(PlotDrawing, TheGridIsDottedInTenPiecesPerLineAndErasedInTheWindowColour)
{
    ComputePlotLayout(800, 500); // 636 x 452 from (140, 24)
    ASSERT_TRUE(EnsurePlotContext());
    surface.dc.clear();
    DrawPlotGrid(1);
    const auto dots = callsStarting(surface.dc.calls(), "pixel");
    // A vertical line at x = 140 + 63.6 i: dots 4.52 apart in each tenth of 45.2, from its top.
    EXPECT_EQ(std::count(dots.begin(), dots.end(), "pixel 203 24 000000"), 1);
    EXPECT_EQ(std::count(dots.begin(), dots.end(), "pixel 203 28 000000"), 1);
    EXPECT_GE(std::count(dots.begin(), dots.end(), "pixel 203 69 000000"), 1) << "the second piece restarts at 69.2";
    // A horizontal line at y = 24 + 45.2 i: dots 6.36 apart, 0.1 after each piece's start.
    EXPECT_EQ(std::count(dots.begin(), dots.end(), "pixel 140 69 000000"), 1);
    EXPECT_EQ(std::count(dots.begin(), dots.end(), "pixel 146 69 000000"), 1);
    std::vector<std::string> firstPiece;
    for (const std::string& d : dots) {
        int x = 0, y = 0;
        if (std::sscanf(d.c_str(), "pixel %d %d", &x, &y) == 2 && x == 203 && y < 69)
            firstPiece.push_back(std::to_string(y));
    }
    EXPECT_EQ(firstPiece, (std::vector<std::string>{"24", "28", "33", "37", "42", "46", "51", "55", "60", "64"}));
    surface.dc.clear();
    DrawPlotGrid(0);
    const auto erased = callsStarting(surface.dc.calls(), "pixel");
    EXPECT_EQ(erased.size(), dots.size());
    EXPECT_EQ(erased.front().substr(erased.front().size() - 6), "FFFFFF");
    surface.dc.clear();
    DrawPlotGrid(0);
    EXPECT_TRUE(surface.dc.calls().empty()) << "no grid is there to erase";
}

TEST_F(PlotDrawing, EachStepDrawsALineOnlyWhereThePixelChanges)
{
    threeCurves();
    ASSERT_TRUE(BeginPlotOutput(0));
    surface.dc.clear();
    DrawPlotStep(0.0, {0.0, 1.0, 0.0});
    EXPECT_TRUE(callsStarting(surface.dc.calls(), "lineTo").empty()) << "one point makes no line";
    DrawPlotStep(0.5, {1.0, 0.0, 0.0});
    EXPECT_GE(surface.changes, 1) << "the window is told where";
    EXPECT_TRUE(surface.dc.calls().empty()) << "the lines wait for the window to show them";
    DrawPlotStep(0.75, {1.5, 0.0, 0.0});
    FlushPlotSteps();
    // From the last curve to the first, each in its bright colour; C stays at its height
    // but moves along, in one straight line from its first point to its last.
    EXPECT_EQ(surface.dc.calls(),
              (std::vector<std::string>{"pen solid 1 0000FF", "polyline 140 476 617 476", "pen solid 1 FF00FF",
                                        "polyline 140 24 458 250 617 250", "pen solid 1 FF0000",
                                        "polyline 140 476 458 250 617 137", "pen solid 1 000000"}));
    surface.dc.clear();
    DrawPlotStep(0.75, {1.5, 0.0, 0.0});
    FlushPlotSteps();
    EXPECT_TRUE(callsStarting(surface.dc.calls(), "polyline").empty()) << "nothing moved";
}

// The extremes of a run leave NaN and what lies beyond the bound out (which interrupts
// the run), and of -0 and 0 keep the one that came first, wherever the values stand in
// the run.
TEST_F(PlotDrawing, TheExtremesOfARunLeaveNaNAndValuesBeyondTheBoundOut)
{
    const double nan = std::nan(""), inf = HUGE_VAL;
    struct Case {
        std::vector<double> values;
        double lo, hi;
        bool held;
    };
    const std::vector<Case> cases = {
        {{nan, nan, 3, nan, -2, 7, nan, 1, 5}, -2, 7, false},
        {{4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, -inf}, 4, 4, true},
        {{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 1e308, 11}, 1, 11, true},
        {{inf, -1e308, inf}, nan, nan, true},
        {{-0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0}, -0.0, -0.0, false},
        {{0.0, -0.0, -0.0, -0.0, -0.0, -0.0, -0.0, -0.0}, 0.0, 0.0, false},
        {{1, 5, -0.0, 5, 5, 0.0, 5, 0.0, 5}, -0.0, 5, false},
        {{nan, nan}, nan, nan, false},
    };
    for (std::size_t n = 0; n < cases.size(); ++n) {
        for (int shift = 0; shift < 5; ++shift) {
            std::vector<double> values(std::size_t(shift), cases[n].values.front());
            if (std::isnan(cases[n].values.front()))
                values.assign(std::size_t(shift), nan);
            values.insert(values.end(), cases[n].values.begin(), cases[n].values.end());
            RecordRuns runs;
            ASSERT_TRUE(runs.slot[0].allocate());
            for (double v : values)
                runs.slot[0].append(v);
            PlotCurve spec;
            spec.min = -1;
            spec.max = 1;
            InterruptRequested = 0;
            RoundScale(spec, runs);
            const RunSlot& s = runs.slot[0];
            const std::string where = "case " + std::to_string(n) + " shifted by " + std::to_string(shift);
            EXPECT_EQ(InterruptRequested, cases[n].held ? 1 : 0) << where;
            if (std::isnan(cases[n].lo)) {
                EXPECT_TRUE(std::isnan(s.runMin) && std::isnan(s.runMax)) << where;
                continue;
            }
            EXPECT_EQ(s.runMin, cases[n].lo) << where;
            EXPECT_EQ(s.runMax, cases[n].hi) << where;
            EXPECT_EQ(std::signbit(s.runMin), std::signbit(cases[n].lo)) << where;
            EXPECT_EQ(std::signbit(s.runMax), std::signbit(cases[n].hi)) << where;
        }
    }
    InterruptRequested = 0;
}

TEST_F(PlotDrawing, AnAutomaticScaleThatMustGrowRedrawsThePlot)
{
    threeCurves();
    PlotSpecs().curves[0].scaling = 2;
    ASSERT_TRUE(BeginPlotOutput(0));
    DrawPlotStep(0.0, {1.0, 0.0, 0.0});
    surface.dc.clear();
    DrawPlotStep(0.25, {3.7, 0.0, 0.0});
    EXPECT_EQ(PlotSpecs().curves[0].min, 0);
    EXPECT_EQ(PlotSpecs().curves[0].max, 4.7); // 3.7 + 2 / 2
    EXPECT_EQ(callsStarting(surface.dc.calls(), "fillRect").size(), 1u) << "erased and redrawn";
    EXPECT_FALSE(callsStarting(surface.dc.calls(), "polyline").empty());
    EXPECT_TRUE(sink.transcript().empty());
}

TEST_F(PlotDrawing, AnXAxisOnAVariableGrowsWhileTheRunGoesAndIsRoundedAtItsEnd)
{
    PlotSpecification& specs = PlotSpecs();
    specs.xIsTime = 0;
    ASSERT_TRUE(FindPlotVariable("b", specs.x.kind, specs.x.variable, specs.x.nameIndex));
    specs.x.min = 0;
    specs.x.max = 1;
    specs.x.scaling = 2;
    show(0, "a", 0, 1);
    ASSERT_TRUE(BeginPlotOutput(0));
    EXPECT_NE(std::find(surface.dc.calls().begin(), surface.dc.calls().end(), "text 458 477 b"),
              surface.dc.calls().end()) << "the X axis is named for its variable";
    DrawPlotStep(0.5, {0.5});
    surface.dc.clear();
    DrawPlotStep(1.6, {0.6});
    EXPECT_EQ(specs.x.max, 2.1); // 1.6 + 1 / 2
    EXPECT_EQ(callsStarting(surface.dc.calls(), "fillRect").size(), 1u) << "redrawn on the grown scale";
    DrawPlotStep(1.3, {0.7});
    FinishPlotOutput();
    EXPECT_NEAR(specs.x.min, 0.4, 1e-12) << "0.5 .. 1.6 takes steps of 0.2 around it";
    EXPECT_NEAR(specs.x.max, 1.8, 1e-12);
}

// The last run's data 0.13 .. 0.87 on a post-scaled curve take the scale 0.1 .. 0.9 when it ends.
TEST_F(PlotDrawing, TheEndOfARunScalesPostAndAutoScaledRecordsOverTheirKeptRuns)
{
    threeCurves();
    PlotSpecs().curves[0] = PlotSpecs().curves[0];
    PlotSpecs().curves[0].scaling = 1;
    PlotSpecs().curves[0].min = -50;
    PlotSpecs().curves[0].max = 50;
    feed({0, 0.5, 1}, [](int c, int s) { return c == 0 ? (s == 0 ? 0.13 : s == 1 ? 0.5 : 0.87) : 0.5; });
    EXPECT_NEAR(PlotSpecs().curves[0].min, 0.1, 1e-12);
    EXPECT_NEAR(PlotSpecs().curves[0].max, 0.9, 1e-12);
    EXPECT_EQ(PlotSpecs().curves[1].min, -1) << "manual scales stay";
    EXPECT_EQ(Plot().eraseOnRedraw, 1);

    // A second run from 1 to 99 widens the scale over both runs.
    feed({0, 1}, [](int c, int s) { return c == 0 ? (s == 0 ? 1.0 : 99.0) : 0.5; });
    EXPECT_NEAR(PlotSpecs().curves[0].min, -10, 1e-9);
    EXPECT_NEAR(PlotSpecs().curves[0].max, 110, 1e-9);
    DiscardEarlierRuns();
    feed({0, 1}, [](int c, int s) { return c == 0 ? (s == 0 ? -1.0 : 1.0) : 0.5; });
    EXPECT_NEAR(PlotSpecs().curves[0].min, -10, 1e-9) << "the run before is still kept";
    EXPECT_NEAR(PlotSpecs().curves[0].max, 110, 1e-9);
    DiscardEarlierRuns();
    feed({0, 1}, [](int c, int s) { return c == 0 ? (s == 0 ? -1.0 : 1.0) : 0.5; });
    EXPECT_NEAR(PlotSpecs().curves[0].min, -1.2, 1e-12);
    EXPECT_NEAR(PlotSpecs().curves[0].max, 1.2, 1e-12);
    EXPECT_EQ(InterruptRequested, 0);
}

// A run that blew up is scaled to its values within the bound, not to the bound.
TEST_F(PlotDrawing, DataBeyondTheBoundAtTheEndOfARunAreLeftOutOfItsScaleAndInterrupt)
{
    threeCurves();
    PlotSpecs().curves[2].scaling = 1;
    feed({0, 1, 2, 3}, [](int c, int s) { return c == 2 ? (s == 1 ? 2.0 : s == 2 ? INFINITY : s == 3 ? NAN : 1.0) : 0.5; });
    EXPECT_EQ(InterruptRequested, 1);
    EXPECT_NEAR(PlotSpecs().curves[2].min, 0.9, 1e-12);
    EXPECT_NEAR(PlotSpecs().curves[2].max, 2.1, 1e-12);
    EXPECT_TRUE(sink.transcript().empty()) << "silently";
}

TEST_F(PlotDrawing, DistributingCurvesStacksTheirBandsAndMakesTheirScalesManual)
{
    PlotSpecs().x.min = 0;
    PlotSpecs().x.max = 1;
    show(0, "a", 0, 1, 1);
    show(1, "b", 0, 1, 2);
    feed({0, 0.5, 1}, [](int c, int s) { return c == 0 ? s / 2.0 : 10 + 5.0 * s; });
    DistributeCurves();
    const PlotCurve& a = PlotSpecs().curves[0];
    const PlotCurve& b = PlotSpecs().curves[1];
    EXPECT_NEAR(a.min, -1.7, 1e-12);
    EXPECT_NEAR(a.max, 1.2, 1e-12);
    EXPECT_NEAR(b.min, 7, 1e-12);
    EXPECT_NEAR(b.max, 37, 1e-12);
    EXPECT_EQ(a.scaling, 0);
    EXPECT_EQ(b.scaling, 0);
}

TEST_F(PlotDrawing, ThinningKeepsCornersAndDropsRepeatsAndStraightRuns)
{
    struct Case {
        std::vector<Point> in, out;
    };
    const std::vector<Case> cases = {
        {{}, {}},
        {{{1, 1}}, {{1, 1}}},
        {{{0, 0}, {0, 0}, {0, 0}}, {{0, 0}, {0, 0}}},
        {{{0, 0}, {1, 0}, {2, 0}, {3, 0}}, {{0, 0}, {3, 0}}},
        {{{0, 0}, {1, 0}, {1, 0}, {2, 0}, {2, 1}, {2, 2}}, {{0, 0}, {2, 0}, {2, 2}}},
        {{{0, 0}, {0, 5}, {0, 9}, {0, 2}}, {{0, 0}, {0, 9}, {0, 2}}},
        {{{0, 0}, {2, 1}, {4, 2}, {5, 3}}, {{0, 0}, {4, 2}, {5, 3}}},
        // 1000 x atan2 in whole milliradians: (100, 1) and (200, 2) share 9; (3, 0) has 0.
        {{{0, 0}, {100, 1}, {200, 2}, {203, 2}}, {{0, 0}, {200, 2}, {203, 2}}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ThinPlotPoints(c.in), c.out);
}

TEST_F(PlotDrawing, CurvePensFollowTheSettingsAndWhatTheDeviceCanDo)
{
    ASSERT_TRUE(EnsurePlotContext());
    Settings().colors = 1;
    EXPECT_EQ(CurvePen(7, true).color, 0xFF00FFu);
    EXPECT_EQ(CurvePen(7, false).color, 0x800080u);
    Plot().monochrome = true;
    Settings().dashing = 1;
    EXPECT_EQ(CurvePen(7, true).style, platform::PenStyle::Dot);
    Plot().noStyledLines = true;
    EXPECT_EQ(CurvePen(7, true), Plot().pens.foreground);
    Settings().linewidth = 3;
    ReleasePlotContext();
    ASSERT_TRUE(EnsurePlotContext());
    EXPECT_EQ(Plot().pens.foreground.width, 4);
    EXPECT_EQ(Plot().pens.cursor.width, 6);
}

TEST_F(PlotDrawing, LegendNamesEndBeforeTheFrameAndItsRowsStandApart)
{
    // "W" is 7 units wide and a line 13 high: a name starts at 10 and must end by 137,
    // half a "W" before the frame at 140, so 18 characters fit.
    struct Case {
        const char* label;
        const char* shown;
    };
    const Case cases[] = {
        {"a", "a"},
        {"eighteen_chars_abc", "eighteen_chars_abc"},
        {"nineteen_chars_abcd", "nineteen_chars_..."},
        {"spring`p.f_indep_state", "spring`p.f_inde..."},
    };
    threeCurves();
    for (int i = 0; i < 4; ++i)
        show(i, "a").label = cases[i].label;
    ASSERT_TRUE(EnsurePlotContext());
    surface.dc.clear();
    RedrawPlot(1);
    std::vector<int> rows;
    for (const std::string& call : callsStarting(surface.dc.calls(), "text 10 ")) {
        int y = 0;
        char name[64] = {};
        ASSERT_EQ(std::sscanf(call.c_str(), "text 10 %d %63s", &y, name), 2) << call;
        rows.push_back(y);
        EXPECT_EQ(name, std::string(cases[rows.size() - 1].shown)) << cases[rows.size() - 1].label;
        EXPECT_LE(10 + 7 * int(std::strlen(name)), 137) << name;
    }
    ASSERT_EQ(rows.size(), 4u);
    for (std::size_t j = 1; j < rows.size(); ++j)
        EXPECT_GE(rows[j] - rows[j - 1], 13 + 2) << "rows a line high and a gap apart";
    const auto maxima = callsStarting(surface.dc.calls(), "text 129 ");
    ASSERT_GE(maxima.size(), 2u);
    int first = 0, second = 0;
    std::sscanf(maxima[0].c_str(), "text 129 %d", &first);
    std::sscanf(maxima[1].c_str(), "text 129 %d", &second);
    EXPECT_GE(second - first, 13 + 2) << "the rows of the maxima too";
}

TEST_F(PlotDrawing, LettersAvoidTheLabelsAndTheEndOfARunSaysWhichCurveFitsNowhere)
{
    threeCurves();
    feed(steps(5, 0.25), [](int c, int s) { return c == 1 ? 5.0 : value(c, s); }); // B is above its scale
    EXPECT_EQ(status->texts.back(), "Warning: curve B outside scaling boundaries.");
    const auto texts = callsStarting(surface.dc.calls(), "text");
    EXPECT_EQ(std::count_if(texts.begin(), texts.end(), [](const std::string& t) { return t.back() == 'A'; }), 3 + 2);
    EXPECT_EQ(std::count_if(texts.begin(), texts.end(), [](const std::string& t) { return t.back() == 'B'; }), 3);
    // No two curve letters share a spot.
    std::vector<LabelRect> letters;
    for (const BdLink<LabelRect>* l = Plot().labels.firstLink(); l; l = l->next())
        if (l->value().kind == LabelCurve && l->value().right - l->value().left == 7)
            letters.push_back(l->value());
    for (std::size_t i = 0; i < letters.size(); ++i)
        for (std::size_t j = i + 1; j < letters.size(); ++j)
            EXPECT_FALSE(letters[i] == letters[j]);
}

TEST_F(PlotDrawing, TheCursorIsAnInvertingCrossThatASecondDrawingRemoves)
{
    threeCurves();
    feed(steps(5, 0.25), value);
    surface.dc.clear();
    MoveCursorToSample(2, 0, 0); // x 0.5, a = 1 on 0..2
    ShowCursor(0);
    const std::vector<std::string> expected = {"pen solid 3 000000", "rop not",  "moveTo 443 250", "lineTo 473 250",
                                               "moveTo 458 235",       "lineTo 458 265", "rop copy",  "pen solid 1 000000"};
    std::vector<std::string> twice = expected;
    twice.insert(twice.end(), expected.begin(), expected.end());
    EXPECT_EQ(surface.dc.calls(), twice);
    EXPECT_EQ(Plot().cursorShown, 0);
    surface.dc.clear();
    ShowCursor(1);
    EXPECT_EQ(surface.dc.calls(), expected);
    surface.dc.clear();
    RedrawPlot(1);
    EXPECT_EQ(callsStarting(surface.dc.calls(), "rop not").size(), 1u) << "drawn again on the fresh picture";
    MoveCursorToSample(99, 0, 0);
    MoveCursorToSample(0, 0, 7);
    EXPECT_EQ(Plot().cursorX, 0.5) << "no such sample: the cursor stays";
}

TEST_F(PlotDrawing, PrintingScalesTheWindowToThePageAndLeavesTheWindowsLabels)
{
    threeCurves();
    feed(steps(5, 0.25), value);
    const std::size_t labels = Plot().labels.length();
    platform::RecordingDeviceContext printer;
    ASSERT_TRUE(PrintPlot(printer, 2400, 2000, false)); // scale min(3, 4) = 3
    const auto& calls = printer.calls();
    EXPECT_NE(std::find(calls.begin(), calls.end(), "font DejaVu Sans 39 0"), calls.end());
    EXPECT_NE(std::find(calls.begin(), calls.end(), "rectangle 420 72 2329 1429"), calls.end())
        << "the frame from (140, 24) to (776.5, 476.5), times 3";
    EXPECT_TRUE(callsStarting(calls, "fillRect").empty()) << "paper is not erased";
    EXPECT_FALSE(callsStarting(calls, "polyline").empty());
    EXPECT_EQ(Plot().labels.length(), labels);
    EXPECT_EQ(Plot().mode, PlotDrawingMode::Screen);
    EXPECT_EQ(Plot().dc, &surface.dc);
}

TEST_F(PlotDrawing, ClipboardPicturesAre250MillimetresAcrossThePlotAndNoSideBeyond65535)
{
    EXPECT_EQ(ClipboardPictureExtents(776, 476, 636), (PictureExtents{33553, 20581}));
    EXPECT_EQ(ClipboardPictureExtents(776, 476, 0), (PictureExtents{25000, 15335}));
    EXPECT_EQ(ClipboardPictureExtents(1000, 500, 300), (PictureExtents{65534, 32767}));
    EXPECT_EQ(ClipboardPictureExtents(500, 1000, 100), (PictureExtents{32767, 65534}));
}

TEST_F(PlotDrawing, TheMetafileHoldsTheWholePlotInTheWindowOfItsArea)
{
    testsupport::TempDir dir;
    Startup().WorkingDirectory = dir.path();
    threeCurves();
    feed(steps(5, 0.25), value);
    ASSERT_TRUE(CopySimulationToMetafile(1));
    const std::string path = dir.path() + "/curves/trial.wmf";
    EXPECT_EQ(status->texts.back(), "Simulation result is printed as metafile: " + path);
    const std::optional<std::string> bytes = platform::readFile(path);
    ASSERT_TRUE(bytes);
    std::string error;
    const auto file = platform::readMetafile(*bytes, &error);
    ASSERT_TRUE(file) << error;
    EXPECT_TRUE(file->checksumMatches);
    // The window is 1.1 times the plot area's right (776) and bottom (476).
    EXPECT_EQ((std::vector<int>{file->left, file->top, file->right, file->bottom}), (std::vector<int>{0, 0, 853, 523}));
    const std::vector<std::string> names = file->recordNames();
    ASSERT_GE(names.size(), 8u);
    // The writer's own start, then the plot's mapping and text settings.
    EXPECT_EQ(std::vector<std::string>(names.begin(), names.begin() + 6),
              (std::vector<std::string>{"SETBKMODE", "SETMAPMODE", "SETWINDOWEXT", "SETWINDOWORG", "SETTEXTALIGN",
                                        "SETBKMODE"}));
    EXPECT_EQ(file->records[1].value(0), 8) << "anisotropic";
    EXPECT_EQ((std::vector<int>{file->records[2].value(0), file->records[2].value(1)}), (std::vector<int>{523, 853}));
    EXPECT_EQ((std::vector<int>{file->records[3].value(0), file->records[3].value(1)}), (std::vector<int>{0, 0}));
    EXPECT_EQ(file->records[4].value(0), 0) << "left and top";
    EXPECT_EQ(file->records[5].value(0), 1) << "transparent";
    EXPECT_FALSE(file->recordsOf(platform::wmf::Rectangle).empty());
    EXPECT_EQ(file->recordsOf(platform::wmf::Polyline).size(), 3u);
    EXPECT_EQ(file->recordsOf(platform::wmf::TextOut).size(), 3u + 3u * 6u + 1u + 3u * 2u)
        << "the X texts, three rows of texts per curve, the title, two letters a curve";
    EXPECT_EQ(Plot().lastMetafile, *bytes);
    EXPECT_EQ(names.back(), "EOF");

    // The clipboard gets the same drawing at the size of that window.
    surface.picture.clear();
    ASSERT_TRUE(CopySimulationToMetafile(0));
    EXPECT_EQ(surface.pictureSize, (std::array<int, 3>{853, 523, 65})) << "853 units in 33553 hundredths of a mm";
    EXPECT_EQ(callsStarting(surface.picture.calls(), "polyline").size(), 3u);
    EXPECT_EQ(status->texts.back(), "Simulation result is copied to the clipboard.");
    surface.clipboard = false;
    EXPECT_FALSE(CopySimulationToMetafile(0));
    EXPECT_EQ(sink.transcript().back().lines,
              (std::vector<std::string>{"Error: Could not get control of the clipboard", "since it is used by another program."}));
    EXPECT_EQ(status->texts.back(), "Error: Clipboard in use.");
}

TEST_F(PlotDrawing, AMetafileThatCannotBeMadeSaysWhereAndKeepsThePlot)
{
    testsupport::TempDir dir;
    dir.write("curves", "a file where the folder should be");
    Startup().WorkingDirectory = dir.path();
    threeCurves();
    feed(steps(3), value);
    const std::size_t calls = surface.dc.calls().size();
    EXPECT_FALSE(CopySimulationToMetafile(1));
    EXPECT_EQ(sink.transcript().back().lines, (std::vector<std::string>{"Error: could not create " + dir.path() + "/curves"}));
    Startup().WorkingDirectory = dir.mkdir("work");
    Experiment().experimentName.clear();
    EXPECT_FALSE(CopySimulationToMetafile(1));
    EXPECT_EQ(sink.transcript().back().lines,
              (std::vector<std::string>{"Error: could not create " + dir.path() + "/work/curves/.wmf"}));
    EXPECT_EQ(surface.dc.calls().size(), calls);
}

namespace {

/// Plot output driven by runs of the curves model through the run engine.
class PlotRuns : public PlotDrawing {
protected:
    void SetUp() override
    {
        PlotDrawing::SetUp();
        RunSpecs() = RunSpecification::defaults();
        RunSpecs().method = MethodRungeKutta4;
        RunSpecs().finishTime = 1.0;
        RunSpecs().settings[MethodRungeKutta4][RowStep].value = 0.01;
        PlotSpecsInForce = 0;
        InstallRunOutput();
    }
    void TearDown() override
    {
        RunOutput() = {};
        PlotDrawing::TearDown();
    }
};

} // namespace

TEST_F(PlotRuns, EveryOutputStepOfARunReachesThePlot)
{
    PlotSpecs().x.max = 1;
    show(0, "a", 0, 2);
    show(1, "b", 0, 1);
    RequestRun();
    ASSERT_GT(RunUntilIdle(), 0);
    ASSERT_TRUE(sink.transcript().empty()) << testing::PrintToString(sink.transcript().front().lines);
    const RunSlot& x = XRuns().slot[0];
    const RunSlot& b = CurveRuns(1).slot[0];
    ASSERT_EQ(x.count(), 101);
    ASSERT_EQ(b.count(), 101);
    EXPECT_NEAR(x.values()[50], 0.5, 1e-12);
    EXPECT_NEAR(b.values()[50], std::sin(0.5), 1e-9);
    EXPECT_NEAR(CurveRuns(0).slot[0].values()[100], 2.0, 1e-9);
    EXPECT_NEAR(b.runMax, std::sin(1.0), 1e-9);
    EXPECT_FALSE(callsStarting(surface.dc.calls(), "lineTo").empty());
    // The clear-run commands are enabled by what the plot holds.
    const std::uint32_t runBits = 0x38000000u;
    EXPECT_EQ(CommandMaskOf(StateModelLoaded) & runBits, 0x28000000u);

    RequestRun();
    RunUntilIdle();
    EXPECT_EQ(XRuns().slot[1].count(), 101) << "the first run is kept";
    EXPECT_EQ(CommandMaskOf(StateModelLoaded) & runBits, runBits);
    DiscardCurrentRun();
    DiscardEarlierRuns();
    EXPECT_EQ(CommandMaskOf(StateModelLoaded) & runBits, 0u);
}

// c = p = 1e308 on an automatic scale: the scale stops at the bound, rounded to 1.8e307,
// the box says so, and the run is interrupted.
TEST_F(PlotRuns, AHugeValueOnAnAutomaticScaleWidensItOnlyToTheBoundAndInterruptsTheRun)
{
    PlotSpecs().x.max = 1;
    show(2, "c", 0, 1, 2);
    SetVariableValue(KindParameter, 0, 1e308);
    RequestRun();
    ASSERT_GT(RunUntilIdle(), 0);
    EXPECT_EQ(PlotSpecs().curves[2].max, 1.8e307);
    ASSERT_FALSE(sink.transcript().empty());
    EXPECT_EQ(sink.transcript().front().lines,
              (std::vector<std::string>{"Graphics-library exception", "", "Overflow error in variable c",
                                        "Check your model and integration method parameters"}));
    EXPECT_EQ(SimulationTime, 0.0) << "the first sample overflowed: no step was made";
    EXPECT_EQ(LastRunSummary().rfind("Simulation stopped by user.", 0), 0u) << LastRunSummary();
}

// The overflow on the first sample is honoured by the first step of every method: the
// run ends at its start time with that one sample.
TEST_F(PlotRuns, AnOverflowOnTheFirstSampleEndsTheRunBeforeItsFirstStepInEveryMethod)
{
    for (int method : {MethodEuler, MethodAdamsBashforth, MethodRungeKutta4, MethodBdf, MethodRkf, MethodVode}) {
        ResetPlot();
        ResetPlotSpecs(PlotSpecs());
        PlotSpecs().x.max = 1;
        show(2, "c", 0, 1, 2);
        SetVariableValue(KindParameter, 0, 1e308);
        RunSpecs().method = method;
        sink.clear();
        RequestRun();
        ASSERT_GT(RunUntilIdle(), 0) << IntegrationMethods[method].name;
        EXPECT_EQ(SimulationTime, 0.0) << IntegrationMethods[method].name;
        EXPECT_EQ(XRuns().slot[0].count(), 1) << IntegrationMethods[method].name;
        EXPECT_EQ(LastRunSummary().rfind("Simulation stopped by user.", 0), 0u) << LastRunSummary();
    }
}
