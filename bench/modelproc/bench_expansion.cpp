// Expansion of generated chains of N mass-spring cells, flat (every cell's elements in the top
// model) and nested (every cell a graph submodel of one type, dissolved into the top model):
// the time of the expansion alone, parsed model in hand.
#include "bench/modelproc/chain_model.h"
#include "bench/modelproc/processing_main.h"
#include "common/settings_table.h"
#include "modelproc/display_hooks.h"
#include "modelproc/expansion.h"
#include "modelproc/processing_pipeline.h"
#include "modelproc/record_release.h"

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

namespace {

namespace fs = std::filesystem;

void expandChain(benchmark::State& state, bool nested)
{
    const int n = static_cast<int>(state.range(0));
    const fs::path dir = fs::temp_directory_path() / ("orvanta-bench-expansion-" + std::to_string(getpid()));
    ResetSettings();
    Settings().model_dirs = dir.string();
    Pipeline() = PipelineState{};
    Pipeline().depth = 6;
    ttset_progress_callback([](const char*) {});
    ttset_diag_callback([](const char*) {});
    const auto quiet = [](const char*, const char*, const char*, int, const char*, const char*) {};
    double seconds = 0;
    for (auto _ : state) {
        // Each run reads fresh copies: a processed element file is renamed to its status-3 name.
        writeChainDirectory(dir, ORVANTA_LIBRARY_DIR, n);
        const fs::path model = dir / "chain1.mg0";
        if (nested) {
            std::ofstream(model) << nestedChainModel(n);
            std::ofstream(dir / "cell1.sg0") << kNestedChainCell;
        }
        ClassRec* cls = nullptr;
        if (ttparse_file(model.string(), 3, cls, quiet) != 0 || !cls)
            throw std::runtime_error("the chain does not parse");
        DisplayHooks().error = quiet;
        const auto start = std::chrono::steady_clock::now();
        if (expand_model(cls, model.string()) != 1)
            throw std::runtime_error("the chain does not expand");
        const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(s);
        seconds += s;
        release_all();
    }
    fs::remove_all(dir);
    state.counters["cells"] = n;
    state.counters["expand_s"] = seconds / double(state.iterations());
    state.counters["us_per_cell"] = 1e6 * seconds / double(state.iterations()) / n;
}

void BM_ExpandFlatChain(benchmark::State& state) { expandChain(state, false); }
void BM_ExpandNestedChain(benchmark::State& state) { expandChain(state, true); }

BENCHMARK(BM_ExpandFlatChain)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);
BENCHMARK(BM_ExpandNestedChain)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

} // namespace
