// Plot buffers and plot output: kept runs, growth and allocation failures, the start
// and continuation of plot output, layout, the hit list and clicks.
#include "plot_test_support.h"

#include <cstdlib>

using namespace plottest;

namespace {

int g_fresh = 0;      ///< fresh buffers asked for
int g_failFresh = 0;  ///< the fresh buffer that fails (0: none)
bool g_failGrowth = false;

void* failingReallocate(void* block, std::size_t bytes)
{
    if (!block && ++g_fresh == g_failFresh)
        return nullptr;
    if (block && g_failGrowth)
        return nullptr;
    return std::realloc(block, bytes);
}

class PlotBuffers : public PlotTest {
protected:
    void SetUp() override
    {
        PlotTest::SetUp();
        g_fresh = g_failFresh = 0;
        g_failGrowth = false;
    }
};

std::vector<std::string> lines(const platform::MessageBoxRequest& box) { return box.lines; }

} // namespace

TEST_F(PlotBuffers, AThirtyFirstRunPushesTheOldestOutAndEarlierRunsMoveUpInOrder)
{
    show(0, "a");
    for (int run = 1; run <= 31; ++run)
        feed({double(run), run + 0.5}, [run](int, int s) { return run * 10.0 + s; });
    for (int k = 0; k < RunSlotCount; ++k) {
        const RunSlot& x = XRuns().slot[std::size_t(k)];
        const RunSlot& a = CurveRuns(0).slot[std::size_t(k)];
        ASSERT_EQ(x.count(), 2) << "slot " << k;
        EXPECT_EQ(x.values()[0], 31 - k);
        EXPECT_EQ(a.values()[1], (31 - k) * 10.0 + 1);
        EXPECT_EQ(a.runMin, (31 - k) * 10.0) << "the extremes move with their run";
    }
    EXPECT_TRUE(HasCurrentRunData());
    EXPECT_TRUE(HasEarlierRunData());
    DiscardEarlierRuns();
    EXPECT_FALSE(HasEarlierRunData());
    int ended = 0;
    PlotCallbacks().endPlainSeries = [&] { ++ended; };
    DiscardCurrentRun();
    PlotCallbacks() = {};
    EXPECT_FALSE(HasCurrentRunData());
    EXPECT_EQ(ended, 1);
    EXPECT_TRUE(sink.transcript().empty());
}

TEST_F(PlotBuffers, TheBufferGrowsByChunksAndKeepsItsValues)
{
    show(0, "a");
    feed(steps(2049), [](int, int s) { return s * 3.0; });
    const RunSlot& a = CurveRuns(0).slot[0];
    ASSERT_EQ(a.count(), 2049);
    EXPECT_EQ(a.capacity(), 4096);
    for (int s = 0; s < 2049; ++s)
        ASSERT_EQ(a.values()[s], s * 3.0);
    EXPECT_EQ(XRuns().slot[0].capacity(), 4096);
}

TEST_F(PlotBuffers, ACurveWhoseBufferCannotBeHadIsSwitchedOffAndTheOthersStillPlot)
{
    show(0, "a");
    show(1, "b");
    show(2, "c");
    SetPlotReallocate(failingReallocate);
    g_failFresh = 3; // the X axis, curve A, then curve B
    feed(steps(5), [](int i, int s) { return i + s; });
    ASSERT_EQ(sink.transcript().size(), 1u);
    EXPECT_EQ(lines(sink.transcript()[0]), (std::vector<std::string>{"Memory-allocation failure for a curve."}));
    EXPECT_EQ(PlotSpecs().curves[1].display, 0);
    EXPECT_EQ(PlotSpecs().displayed, 2);
    EXPECT_EQ(CurveRuns(0).slot[0].count(), 5);
    EXPECT_FALSE(CurveRuns(1).slot[0].holdsBuffer());
    EXPECT_EQ(CurveRuns(2).slot[0].count(), 5);
    EXPECT_EQ(InterruptRequested, 0);
}

TEST_F(PlotBuffers, BuffersThatCannotGrowSayItOnceAndInterruptTheRun)
{
    show(0, "a");
    show(1, "b");
    SetPlotReallocate(failingReallocate);
    g_failGrowth = true;
    feed(steps(PlotChunk + 3), [](int, int s) { return s; });
    ASSERT_EQ(sink.transcript().size(), 1u) << "one box for all records";
    EXPECT_EQ(lines(sink.transcript()[0]), (std::vector<std::string>{"Warning: no more buffer space for the curves."}));
    EXPECT_EQ(InterruptRequested, 1);
    EXPECT_EQ(CurveRuns(0).slot[0].count(), PlotChunk);
    EXPECT_EQ(CurveRuns(0).fullWarned, 1);
    EXPECT_EQ(CurveRuns(1).fullWarned, 1);
    EXPECT_EQ(XRuns().fullWarned, 1);
    EXPECT_FALSE(AppendPlotValue(CurveRuns(0), 1.0));
    EXPECT_EQ(sink.transcript().size(), 1u);
    DiscardCurveRuns(0);
    EXPECT_EQ(CurveRuns(0).fullWarned, 0);
}

TEST_F(PlotBuffers, AContinuationFollowsTheRunOnlyWithTheSameCurvesAndSpecifications)
{
    show(0, "a");
    show(1, "b");
    feed(steps(3), [](int, int s) { return s; });
    ASSERT_TRUE(BeginPlotOutput(1));
    DrawPlotStep(0.3, {});
    EXPECT_EQ(XRuns().slot[0].count(), 4) << "a continuation goes on in the same slot";
    EXPECT_FALSE(XRuns().slot[1].holdsBuffer());

    show(2, "c");
    EXPECT_FALSE(BeginPlotOutput(1));
    EXPECT_EQ(Plot().suppressed, 1);
    CollectPlotStep();
    EXPECT_EQ(XRuns().slot[0].count(), 4) << "a suppressed run gathers nothing";
    PlotSpecs().curves[2].display = 0;
    CountPlotCurves(PlotSpecs());
    Plot().specsChanged = 1;
    EXPECT_FALSE(BeginPlotOutput(1));
    ASSERT_EQ(sink.transcript().size(), 2u);
    EXPECT_EQ(lines(sink.transcript()[0]),
              (std::vector<std::string>{"Plot output cannot be continued with a different number of curves.",
                                        "No plot output is given in this simulation run."}));
    EXPECT_EQ(lines(sink.transcript()[1]),
              (std::vector<std::string>{"Plot output specifications have been changed.", "No continuation allowed."}));
    EXPECT_TRUE(BeginPlotOutput(0)) << "a new run takes the changed specifications";
    EXPECT_EQ(Plot().suppressed, 0);
    EXPECT_EQ(Plot().specsChanged, 0);
}

TEST_F(PlotBuffers, OutsidePlotModeNothingIsGatheredOrDrawn)
{
    show(0, "a");
    Settings().mode = 1;
    ApplyPlotSettings();
    surface.dc.clear();
    feed(steps(4), [](int, int s) { return s; });
    EXPECT_FALSE(XRuns().slot[0].holdsBuffer());
    CollectPlotStep();
    RedrawPlot(1);
    EXPECT_TRUE(surface.dc.calls().empty());
    Settings().mode = 0;
    ApplyPlotSettings();
    EXPECT_EQ(Plot().plotMode, 1);
}

TEST_F(PlotBuffers, TheLayoutLeavesRoomForTheTextsAndASquarePlotTakesTheSmallerSide)
{
    ComputePlotLayout(800, 500);
    const PlotArea& a = Plot().area;
    EXPECT_EQ((std::vector<int>{a.left, a.top, a.width, a.height, a.right, a.bottom}),
              (std::vector<int>{140, 24, 636, 452, 776, 476}));
    EXPECT_TRUE(ToggleSquarePlot());
    ComputePlotLayout(800, 500);
    EXPECT_EQ((std::vector<int>{a.width, a.height, a.right, a.bottom}), (std::vector<int>{452, 452, 592, 476}));
    EXPECT_FALSE(ToggleSquarePlot());
    ComputePlotLayout(100, 30);
    EXPECT_EQ((std::vector<int>{a.width, a.height, a.right, a.bottom}), (std::vector<int>{0, 0, 140, 24}));
}

TEST_F(PlotBuffers, LabelsOverlapOnlyWhenTheyShareAreaBothWays)
{
    RegisterLabel(LabelAt(LabelCurve, 100, 100, 3, 4)); // 100..121 across, 87..100 down
    struct Case {
        int x, y, n;
        bool overlaps;
    };
    for (const Case& c : {Case{100, 100, 1, true}, Case{120, 95, 1, true}, Case{121, 100, 1, false},
                          Case{94, 100, 1, true}, Case{93, 100, 1, false}, Case{100, 99, 1, true}, Case{100, 113, 1, false},
                          Case{100, 87, 1, false}, Case{110, 114, 1, false}}) {
        EXPECT_EQ(LabelOverlaps(c.x, c.y, c.n), c.overlaps) << c.x << "," << c.y;
    }
}

TEST_F(PlotBuffers, AClickOnALabelOpensTheEditorAndOneInThePlotMovesTheCursor)
{
    show(0, "a");
    show(3, "b");
    feed(steps(11), [](int, int s) { return s / 10.0; });
    PlotSpecs().x.max = 1;
    RedrawPlot(1);
    std::vector<int> opened;
    std::vector<std::pair<double, double>> chosen;
    PlotCallbacks().openPlotSpecs = [&](int curve) { opened.push_back(curve); };
    PlotCallbacks().pointChosen = [&](double x, double y) { chosen.emplace_back(x, y); };
    auto find = [](int kind, int curve) {
        for (const BdLink<LabelRect>* l = Plot().labels.firstLink(); l; l = l->next())
            if (l->value().kind == kind && l->value().curve == curve)
                return l->value();
        ADD_FAILURE() << "no label " << kind << " " << curve;
        return LabelRect{};
    };
    const LabelRect d = find(LabelCurve, 3);
    PlotClick(d.left + 1, d.top + 1);
    const LabelRect axis = find(LabelXAxis, 0);
    PlotClick(axis.left + 1, axis.bottom - 1);
    const LabelRect title = find(LabelTitle, 0);
    PlotClick(title.left + 1, title.top + 1);
    EXPECT_EQ(opened, (std::vector<int>{3, 0}));
    EXPECT_TRUE(chosen.empty());

    surface.dc.clear();
    const PlotArea& a = Plot().area;
    PlotClick(a.left + a.width / 4, a.bottom - a.height / 2);
    ASSERT_EQ(chosen.size(), 1u);
    EXPECT_DOUBLE_EQ(chosen[0].first, 0.25);
    EXPECT_DOUBLE_EQ(chosen[0].second, 0.5);
    EXPECT_EQ(Plot().cursorShown, 1);
    EXPECT_EQ(callsStarting(surface.dc.calls(), "rop").size(), 2u) << "the cross is drawn inverting";
    PlotClick(5, 5); // outside the plot and every label
    EXPECT_EQ(chosen.size(), 1u);
    PlotCallbacks() = {};
}

// A curve whose display was off kept its slots while the X axis moved on: its slot 0
// holds the earlier, longer run. Only the values both hold are drawn.
TEST_F(PlotBuffers, ACurveThatKeptItsSlotsIsDrawnOnlyAsFarAsTheXValuesGo)
{
    show(0, "a");
    show(1, "b");
    feed(steps(50), [](int, int s) { return (s % 7) / 7.0; });
    PlotSpecs().curves[1].display = 0;
    CountPlotCurves(PlotSpecs());
    feed(steps(3), [](int, int s) { return s / 3.0; });
    ASSERT_EQ(CurveRuns(1).slot[0].count(), 50);
    ASSERT_EQ(XRuns().slot[0].count(), 3);

    PlotSpecs().curves[0].display = 0;
    PlotSpecs().curves[1].display = 1;
    CountPlotCurves(PlotSpecs());
    surface.dc.clear();
    DrawCurve(1);
    const auto polylines = callsStarting(surface.dc.calls(), "polyline");
    ASSERT_FALSE(polylines.empty());
    for (const std::string& call : polylines)
        EXPECT_LE(std::count(call.begin(), call.end(), ' ') / 2, 3) << call;
}

TEST_F(PlotBuffers, AWindowWithoutADrawingContextSaysSoOnce)
{
    show(0, "a");
    surface.refuse = true;
    ReleasePlotContext();
    EXPECT_FALSE(EnsurePlotContext());
    ASSERT_EQ(sink.transcript().size(), 1u);
    EXPECT_EQ(lines(sink.transcript()[0]), (std::vector<std::string>{"Initialization of plotwindow failed."}));
    SetPlotSurface(nullptr);
    sink.clear();
    feed(steps(3), [](int, int s) { return s; });
    EXPECT_TRUE(sink.transcript().empty()) << "without a window the values are gathered quietly";
    EXPECT_EQ(CurveRuns(0).slot[0].count(), 3);
}
