// The simulator's side of a large processed model: a chain of N mass-spring cells is processed
// once into its code file, which is then loaded (the reader and the instruction tables), turned
// into native code, and run for 1,000 steps of the simulator's fourth-order Runge-Kutta method
// (each step the excitation, four evaluations of the dynamic model and the outputs) through the
// interpreter and through native code.
#include "bench/modelproc/chain_model.h"
#include "bench/modelproc/processing_main.h"
#include "common/settings_table.h"
#include "modelproc/display_hooks.h"
#include "modelproc/processing_pipeline.h"
#include "modelproc/record_release.h"
#include "simulator/code_file_reader.h"
#include "simulator/fastcode/fast_code.h"
#include "simulator/integration_methods.h"
#include "simulator/interpreter.h"
#include "simulator/model_variables.h"
#include "simulator/run_specs.h"
#include "simulator/run_state.h"

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

/// The chain directories this process made (some hundred megabytes at 10^5 cells), removed when it ends.
struct ChainDirectories {
    std::vector<fs::path> made;
    ~ChainDirectories()
    {
        for (const fs::path& dir : made) {
            std::error_code ignored;
            fs::remove_all(dir, ignored);
        }
    }
};

/// The code file of the chain of `n` cells, processed once per size and kept for the process.
const std::string& chainCodeFile(int n)
{
    static ChainDirectories directories;
    static std::map<int, std::string> files;
    if (auto found = files.find(n); found != files.end())
        return found->second;
    const fs::path dir = fs::temp_directory_path() / ("orvanta-bench-sim-" + std::to_string(getpid()) + "-" +
                                                       std::to_string(n));
    directories.made.push_back(dir);
    writeChainDirectory(dir, ORVANTA_LIBRARY_DIR, n);
    ResetSettings();
    Settings().model_dirs = dir.string();
    Pipeline() = PipelineState{};
    Pipeline().modelFile = (dir / "chain1.mg0").string();
    Pipeline().depth = 6;
    Pipeline().workingDirectory = dir.string();
    ttset_error_callback([](const char*, const char*, const char*, int, const char*, const char*) {});
    ttset_progress_callback([](const char*) {});
    ttset_diag_callback([](const char*) {});
    if (ttprocess_model() != 3)
        throw std::runtime_error("the chain is not processed completely");
    release_all();
    return files[n] = (dir / "chain1.l").string();
}

/// Loads the chain's code file: arg 0 cells, arg 1 for native code, which is built and run too.
void BM_ChainLoadAndRk4(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    const bool native = state.range(1) != 0;
    const std::string& file = chainCodeFile(n);
    SetStatusFunction([](const std::string&, bool) {});
    Settings().warp = 1;
    double load = 0, build = 0, run = 0, perInstruction = 0;
    for (auto _ : state) {
        Clock::time_point start = Clock::now();
        if (LoadCodeFile(file) != 0) {
            state.SkipWithError("the code file did not load");
            return;
        }
        load = secondsSince(start);
        // Unit parameters, a displaced first mass.
        VariableKind& parameters = Variables().kinds[KindParameter];
        for (int i = 0; i < parameters.count; ++i)
            parameters.values[i] = 1.0;
        VariableKind& initial = Variables().kinds[KindInitial];
        for (int i = 0; i < initial.count; ++i)
            initial.values[i] = i == 0 ? 1.0 : 0.0;
        start = Clock::now();
        if (native && !BuildFastCode()) {
            state.SkipWithError("no native code");
            return;
        }
        build = secondsSince(start);
        SelectModelEvaluators(native ? ChosenFastCode() : nullptr);
        RunSpecs() = RunSpecification::defaults();
        RunSpecs().method = MethodRungeKutta4;
        RunSpecs().startTime = 0.0;
        RunSpecs().finishTime = 1.0;
        RunSpecs().row(RowStep).value = 1e-3;
        RunOutput() = {};
        RunStopFlag = 0;
        RestartFlag = 0;
        start = Clock::now();
        const long evaluationsBefore = EvaluationCount;
        int steps = 0;
        if (StartIntegration(0))
            for (; steps < 1000 && !RunStopFlag; ++steps)
                IntegrationStep();
        run = secondsSince(start);
        // Nearly all of the run is the dynamic model's table, four times a step.
        const double instructions = double(InstructionTables()[2].rows.size() - 1);
        perInstruction = run * 1e9 / (double(EvaluationCount - evaluationsBefore) * instructions);
        if (steps != 1000 || SimulationTime != 1.0) {
            state.SkipWithError("the run did not take its 1,000 steps");
            return;
        }
        state.SetIterationTime(load + build + run);
        FreeFastCode();
        SelectModelEvaluators();
    }
    state.counters["cells"] = n;
    state.counters["states"] = Variables().kinds[KindState].count;
    state.counters["load_s"] = load;
    state.counters["native_build_s"] = build;
    state.counters["rk4_1000_s"] = run;
    state.counters["ns_per_instruction"] = perInstruction;
}

BENCHMARK(BM_ChainLoadAndRk4)
    ->Args({1000, 0})
    ->Args({1000, 1})
    ->Args({10000, 0})
    ->Args({10000, 1})
    ->Args({100000, 0})
    ->Args({100000, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(1);

} // namespace
