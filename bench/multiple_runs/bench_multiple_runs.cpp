// What a plain series costs over the runs it makes: the chain of 100 masses, RK4 with
// 1,000 steps per run, 100 runs with the spring stiffness swept from 30 to 50 by the
// series, against the same 100 runs each started by hand with its stiffness set. The
// two take turns so that both see the same machine; the counters give the median of
// each and their ratio (the series is to be at most 10% slower).
#include "mass_chain.h"

#include "common/settings_table.h"
#include "common/startup.h"
#include "simulator/code_file_reader.h"
#include "simulator/fastcode/fast_code.h"
#include "simulator/integration_methods.h"
#include "simulator/model_variables.h"
#include "simulator/multiple_runs.h"
#include "simulator/plot_buffers.h"
#include "simulator/plot_specs.h"
#include "simulator/run_control.h"
#include "simulator/run_output.h"
#include "simulator/run_specs.h"
#include "simulator/run_state.h"
#include "simulator/simulator_commands.h"
#include "simulator/simulator_state.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr int Masses = 100;
constexpr int Runs = 100;

bool loadChain()
{
    static int loaded = -1;
    if (loaded >= 0)
        return loaded == 1;
    SetStatusFunction([](const std::string&, bool) {});
    std::string text = masschain::codeText(Masses);
    text.replace(text.find("#Dstate_ind"), 0, "#DIncond\t1\n\t#real\ti0\n");
    loaded = LoadCodeText(text) == 0;
    if (!loaded)
        return false;
    Settings().warp = 1;
    BuildFastCode();
    const double parameters[] = {40.0, 0.05, 0.5};
    for (int i = 0; i < 3; ++i)
        SetVariableValue(KindParameter, i, parameters[i]);
    SetVariableValue(KindInitial, 0, 1.0);
    InstallRunOutput();
    InstallMultipleRuns();
    Settings().mode = 1; // the plot off: the runs themselves are measured
    ApplyPlotSettings();
    ResetPlotSpecs(PlotSpecs());
    RunSpecs() = RunSpecification::defaults();
    RunSpecs().method = MethodRungeKutta4;
    RunSpecs().finishTime = 1.0;
    RunSpecs().settings[MethodRungeKutta4][RowStep].value = 1e-3;
    Experiment().modelName = "chain";
    Startup().WorkingDirectory = "/tmp";
    return true;
}

double stiffness(int run) { return 30.0 + 20.0 * run / (Runs - 1); }

double milliseconds(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

double singleRuns()
{
    const auto start = std::chrono::steady_clock::now();
    for (int r = 0; r < Runs; ++r) {
        SetVariableValue(KindParameter, 0, stiffness(r));
        RequestRun();
        RunUntilIdle();
    }
    return milliseconds(start);
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
    return milliseconds(start);
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
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
    state.counters["single_ms"] = median(single);
    state.counters["series_ms"] = median(inSeries);
    state.counters["series_over_single"] = median(inSeries) / median(single);
}

} // namespace

BENCHMARK(ChainSeriesAgainstSingleRuns)->Iterations(7)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
