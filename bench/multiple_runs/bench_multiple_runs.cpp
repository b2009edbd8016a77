// What a plain series costs over the runs it makes: the chain of 100 masses, RK4 with
// 1,000 steps per run, 100 runs with the spring stiffness swept from 30 to 50 by the
// series, against the same 100 runs each started by hand with its stiffness set. The
// two take turns so that both see the same machine; the counters give the median of
// each and their ratio (the series is to be at most 10% slower).
#include "bench/chain_runs.h"

#include "common/settings_table.h"
#include "common/startup.h"
#include "simulator/model_variables.h"
#include "simulator/multiple_runs.h"
#include "simulator/plot_buffers.h"
#include "simulator/plot_specs.h"
#include "simulator/run_control.h"
#include "simulator/run_state.h"
#include "simulator/simulator_commands.h"
#include "simulator/simulator_state.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <string>
#include <vector>

namespace {

constexpr int Masses = 100;
constexpr int Runs = 100;

/// The chain as the series runs it: one second, the plot off, the series installed.
bool loadChain()
{
    if (!chainruns::loadDisplacedChain(Masses, 1.0))
        return false;
    InstallMultipleRuns();
    Settings().mode = 1; // the plot off: the runs themselves are measured
    ApplyPlotSettings();
    ResetPlotSpecs(PlotSpecs());
    Experiment().modelName = "chain";
    Startup().WorkingDirectory = "/tmp";
    return true;
}

double stiffness(int run) { return 30.0 + 20.0 * run / (Runs - 1); }

double singleRuns()
{
    const auto start = std::chrono::steady_clock::now();
    for (int r = 0; r < Runs; ++r) {
        SetVariableValue(KindParameter, 0, stiffness(r));
        RequestRun();
        RunUntilIdle();
    }
    return chainruns::millisecondsSince(start);
}

double series()
{
    MultipleRunSpec& spec = MultipleRunSpecs();
    spec = MultipleRunSpec{};
    spec.steps = Runs;
    spec.variables = {MultipleRunVariable{KindParameter, 0, stiffness(0), stiffness(Runs - 1), 0, 0.0}};
    const auto start = std::chrono::steady_clock::now();
    StartMultipleRunCommand();
    RunUntilIdle();
    return chainruns::millisecondsSince(start);
}

void ChainSeriesAgainstSingleRuns(benchmark::State& state)
{
    if (!loadChain()) {
        state.SkipWithError("chain model did not load");
        return;
    }
    std::vector<double> single, inSeries;
    for (auto _ : state) {
        single.push_back(singleRuns());
        inSeries.push_back(series());
        if (CurrentRunNumber() != Runs + 1) {
            state.SkipWithError("the series did not make its runs");
            return;
        }
    }
    state.counters["single_ms"] = chainruns::median(single);
    state.counters["series_ms"] = chainruns::median(inSeries);
    state.counters["series_over_single"] = chainruns::median(inSeries) / chainruns::median(single);
}

} // namespace

BENCHMARK(ChainSeriesAgainstSingleRuns)->Iterations(7)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
