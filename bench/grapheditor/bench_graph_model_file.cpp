// Saving and reading back a graph model of 5,000 submodels and 10,000 bonds, as the
// graph editor does: the model file written in one replacement, then opened into
// the current model with its layout rebuilt.
#include "bench/grapheditor/large_graph_model.h"
#include "grapheditor/graph_model_reader.h"
#include "grapheditor/graph_model_writer.h"
#include "grapheditor/graph_objects.h"
#include "grapheditor/submodel_library.h"
#include "platform/core/file_system.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

/// The drawing of the benchmarks, 40 units apart (nothing lays the boxes out here).
void buildModel()
{
    BuildLargeGraphModel(40, 40);
}

std::string benchFile()
{
    static const std::string path = "/tmp/bench_graph_model_" + std::to_string(getpid()) + ".mgg";
    return path;
}

void SaveModel(benchmark::State& state)
{
    buildModel();
    for (auto _ : state) {
        if (write_model_file(benchFile(), "bench1", 1) != 0)
            state.SkipWithError("the model was not saved");
        state.PauseTiming();
        MarkEdited(CurrentModel(), 1);
        state.ResumeTiming();
    }
    state.counters["bytes"] = static_cast<double>(platform::readFile(benchFile()).value_or("").size());
}

void ReadModel(benchmark::State& state)
{
    buildModel();
    write_model_file(benchFile(), "bench1", 1);
    for (auto _ : state) {
        if (load_model_file(benchFile()) != 0)
            state.SkipWithError(ParserErrorText().c_str());
        benchmark::DoNotOptimize(CurrentModel().connections.size());
    }
    state.counters["submodels"] = static_cast<double>(CurrentModel().submodels.size());
    state.counters["bonds"] = static_cast<double>(CurrentModel().connections.size());
    platform::deleteFile(benchFile());
}

} // namespace

BENCHMARK(SaveModel)->Unit(benchmark::kMillisecond);
BENCHMARK(ReadModel)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
