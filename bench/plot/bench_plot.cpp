// Speed of the plot. Redraw: 26 curves of 100,000 points each drawn on an offscreen
// window picture of 800 x 500, once smooth (most points fall on the pixel before and
// are thinned away) and once noisy (a new pixel at nearly every point). Run: the chain
// of 100 masses, RK4 with 10,000 steps through the run engine, with 3 and with 26
// curves drawn step by step, each run in turn with one with the plot off; the ratio
// of their medians is the figure.
#include "bench/chain_runs.h"

#include "common/settings_table.h"
#include "platform/qt/painter_device_context.h"
#include "simulator/fastcode/fast_code.h"
#include "simulator/model_variables.h"
#include "simulator/plot_buffers.h"
#include "simulator/plot_drawing.h"
#include "simulator/plot_specs.h"
#include "simulator/run_control.h"
#include "simulator/run_state.h"

#include <benchmark/benchmark.h>

#include <QGuiApplication>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>
#include <sys/resource.h>

namespace {

constexpr int Masses = 100;

/// An offscreen window picture.
class ImageSurface : public PlotSurface {
public:
    platform::DeviceContext* plotContext() override { return &m_image; }
    int clientWidth() const override { return 800; }
    int clientHeight() const override { return 500; }
    void plotChanged(int, int, int, int) override {}

private:
    platform::ImageDeviceContext m_image{800, 500};
};

/// Shows every curve of `specs` as a variable on the scale -bound..bound.
void showAllCurves(PlotSpecification& specs, double bound)
{
    for (int i = 0; i < CurveCount; ++i) {
        PlotCurve& c = specs.curves[std::size_t(i)];
        c.kind = KindVariable;
        c.display = 1;
        c.min = -bound;
        c.max = bound;
    }
    CountPlotCurves(specs);
}

/// Fills slot 0 of the X axis and of every curve with `points` values.
void fillCurves(int points, bool noisy)
{
    ResetPlot();
    PlotSpecification& specs = PlotSpecs();
    specs = PlotSpecification{};
    specs.x.max = points;
    unsigned seed = 12345;
    showAllCurves(specs, 1.5);
    StartPlotRun();
    for (int p = 0; p < points; ++p) {
        AppendPlotValue(XRuns(), p);
        for (int i = 0; i < CurveCount; ++i) {
            seed = seed * 1103515245u + 12345u;
            const double jitter = noisy ? ((seed >> 8) % 1000) / 1000.0 - 0.5 : 0.0;
            AppendPlotValue(CurveRuns(i), std::sin(p * (i + 1) * 2e-4) + jitter);
        }
    }
}

void Redraw26Curves(benchmark::State& state)
{
    ImageSurface surface;
    SetPlotSurface(&surface);
    fillCurves(100000, state.range(0) != 0);
    for (auto _ : state)
        RedrawPlot(1);
    SetPlotSurface(nullptr);
    ResetPlot();
}

/// 10,000 output steps of 26 smooth curves stored and drawn step by step, without a
/// model: the plot's own cost of a run (the lines are drawn at the end, as the window
/// would when it paints).
void PlotSteps26Curves(benchmark::State& state)
{
    ImageSurface surface;
    SetPlotSurface(&surface);
    ResetPlot();
    PlotSpecification& specs = PlotSpecs();
    specs = PlotSpecification{};
    specs.xIsTime = 1;
    specs.x.max = 10;
    showAllCurves(specs, 1);
    Settings().mode = 0;
    ApplyPlotSettings();
    constexpr int Steps = 10001;
    std::vector<std::array<double, CurveCount>> values(Steps);
    for (int step = 0; step < Steps; ++step)
        for (int i = 0; i < CurveCount; ++i)
            values[std::size_t(step)][std::size_t(i)] = std::sin(step * 1e-3 * (3 + i) + i);
    for (auto _ : state) {
        DiscardAllPlotRuns();
        BeginPlotOutput(0);
        for (int step = 0; step < Steps; ++step)
            DrawPlotStep(step * 1e-3, values[std::size_t(step)]);
        FlushPlotSteps();
    }
    SetPlotSurface(nullptr);
    ResetPlot();
}

/// Shows the first `curves` curves, each a position or speed of the chain (0: plot off).
void showCurves(int curves)
{
    ResetPlot();
    ResetPlotSpecs(PlotSpecs());
    for (int i = 0; i < curves; ++i) {
        PlotCurve& c = PlotSpecs().curves[std::size_t(i)];
        c.kind = KindState;
        c.variable = (i * 7) % (2 * Masses);
        c.display = 1;
        c.min = -1;
        c.max = 1;
    }
    CountPlotCurves(PlotSpecs());
    Settings().mode = curves > 0 ? 0 : 1;
    ApplyPlotSettings();
}

/// One run of 10,000 RK4 steps in milliseconds.
double timedRun()
{
    DiscardAllPlotRuns();
    const auto start = std::chrono::steady_clock::now();
    RequestRun();
    RunUntilIdle();
    return chainruns::millisecondsSince(start);
}

/// Runs with the plot off and with `curves` drawn step by step, in turns, so that both
/// see the same machine; the counters give the median of each and their ratio.
void MassChainRunWithPlot(benchmark::State& state)
{
    if (!chainruns::loadDisplacedChain(Masses, 10.0)) {
        state.SkipWithError("chain model did not load");
        return;
    }
    ImageSurface surface;
    SetPlotSurface(&surface);
    const int curves = int(state.range(0));
    std::vector<double> off, on; long faults = 0;
    for (auto _ : state) {
        showCurves(0);
        off.push_back(timedRun());
        showCurves(curves);
        struct rusage r0, r1; getrusage(RUSAGE_SELF, &r0);
        on.push_back(timedRun());
        getrusage(RUSAGE_SELF, &r1); faults += r1.ru_minflt - r0.ru_minflt;
    }
    state.counters["off_ms"] = chainruns::median(off);
    state.counters["on_ms"] = chainruns::median(on);
    state.counters["ratio"] = chainruns::median(on) / chainruns::median(off);
    state.counters["faults"] = double(faults) / double(on.size());
    state.counters["steps"] = double(XRuns().slot[0].count());
    state.counters["native"] = ChosenFastCode() != nullptr;
    SetPlotSurface(nullptr);
    ResetPlot();
    Settings().mode = 0;
}

} // namespace

BENCHMARK(Redraw26Curves)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(PlotSteps26Curves)->Unit(benchmark::kMillisecond);
BENCHMARK(MassChainRunWithPlot)->Arg(3)->Arg(26)->Iterations(15)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
