// Expansion and causal analysis of generated chains of N mass-spring cells: each cell is a
// 1-junction with a mass and a 0-junction with a spring; a force drives the first cell and
// a damper ends the chain.
#include "bench/modelproc/chain_model.h"
#include "bench/modelproc/processing_main.h"
#include "common/settings_table.h"
#include "modelproc/causal_analysis.h"
#include "modelproc/display_hooks.h"
#include "modelproc/expansion.h"
#include "modelproc/processing_pipeline.h"
#include "modelproc/record_release.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace {

/// A model directory with the library's elements, made once per run.
const std::string& modelDirectory()
{
    static std::string dir = [] {
        std::string path = std::filesystem::temp_directory_path() / ("orvanta-bench-" + std::to_string(getpid()));
        std::filesystem::create_directories(path);
        return path;
    }();
    return dir;
}

void restoreLibrary()
{
    for (const char* name : {"se1", "r1", "1j1", "0j1", "i1", "c1"})
        std::filesystem::remove(modelDirectory() + "/" + name + ".sf3");
    for (const char* name : {"se1", "r1", "i1", "c1"})
        std::filesystem::copy_file(std::string(ORVANTA_LIBRARY_DIR) + "/" + name + ".sf0",
                                   modelDirectory() + "/" + name + ".sf0",
                                   std::filesystem::copy_options::overwrite_existing);
    writeThreePortJunctions(modelDirectory());
}

void quietHooks()
{
    ttset_progress_callback([](const char*) {});
    ttset_diag_callback([](const char*) {});
}

void expandAndAnalyse(benchmark::State& state, const std::string& name, const std::string& text, int expected)
{
    const int n = static_cast<int>(state.range(0));
    ResetSettings();
    Settings().model_dirs = modelDirectory();
    Pipeline().depth = 6;
    quietHooks();
    const std::string model = modelDirectory() + "/" + name + std::to_string(n) + ".mg0";
    std::ofstream(model) << text;
    double expandSeconds = 0;
    double causalSeconds = 0;
    for (auto _ : state) {
        state.PauseTiming();
        restoreLibrary();
        ClassRec* cls = nullptr;
        if (ttparse_file(model, 3, cls, [](const char*, const char*, const char*, int, const char*, const char*) {}) != 0)
            throw std::runtime_error("the chain does not parse");
        DisplayHooks().error = [](const char*, const char*, const char*, int, const char*, const char*) {};
        state.ResumeTiming();
        auto t0 = std::chrono::steady_clock::now();
        if (expand_model(cls, model) != 1)
            throw std::runtime_error("the chain does not expand");
        auto t1 = std::chrono::steady_clock::now();
        if (causal_analysis(cls, model) != expected)
            throw std::runtime_error("the chain gets another causality result");
        auto t2 = std::chrono::steady_clock::now();
        expandSeconds += std::chrono::duration<double>(t1 - t0).count();
        causalSeconds += std::chrono::duration<double>(t2 - t1).count();
        state.PauseTiming();
        release_all();
        state.ResumeTiming();
    }
    state.counters["expand_s"] = benchmark::Counter(expandSeconds, benchmark::Counter::kAvgIterations);
    state.counters["causal_s"] = benchmark::Counter(causalSeconds, benchmark::Counter::kAvgIterations);
    state.counters["cells"] = n;
}

void BM_ExpandAndAnalyse(benchmark::State& state)
{
    expandAndAnalyse(state, "chain", chainModel(static_cast<int>(state.range(0))), 1);
}

void BM_ExpandAndAnalyseDampers(benchmark::State& state)
{
    expandAndAnalyse(state, "dampers", damperChainModel(static_cast<int>(state.range(0))), 3);
}

BENCHMARK(BM_ExpandAndAnalyseDampers)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_ExpandAndAnalyse)->Arg(100)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace
