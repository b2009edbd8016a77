// Saving and reading back a graph model of 5,000 submodels and 10,000 bonds, as the
// graph editor does: the model file written in one replacement, then opened into
// the current model with its layout rebuilt.
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

constexpr int kSubmodels = 5000;
constexpr int kBonds = 10000;

/// Builds the model in the current model through the object API: submodels of five
/// built-in types on a grid, each joined to the next and to the seventh after it
/// (every fifth bond a multibond of size n + 1, every third with a midpoint).
void buildModel()
{
    clear_model();
    GraphModel& model = CurrentModel();
    auto n = std::make_unique<Argument>();
    n->name = "n";
    n->hasValue = 1;
    n->value = 2;
    model.names.add("n", NAME_ARGUMENT, n.get());
    model.arguments.push_back(std::move(n));
    LibraryEntry entries[5];
    const char* texts[] = {"1j1", "0j1", "c1", "i1", "r1"};
    for (int i = 0; i < 5; ++i) {
        entries[i].text = texts[i];
        entries[i].builtinIndex = builtin_index(std::string(texts[i]).substr(0, std::string(texts[i]).size() - 1));
    }
    std::vector<Submodel*> submodels;
    for (int i = 0; i < kSubmodels; ++i)
        submodels.push_back(create_submodel(40 + 40 * (i % 100), 40 + 40 * (i / 100), entries[i % 5]));
    ExprList size;
    ParseSizeList("n + 1", size, model.arguments);
    for (int b = 0; b < kBonds; ++b) {
        const int from = b / 2;
        const int to = (from + (b % 2 ? 7 : 1)) % kSubmodels;
        std::vector<Midpoint> midpoints;
        if (b % 3 == 0)
            midpoints.push_back({submodels[from]->x + 20, submodels[to]->y + 20});
        Connection* bond = AddConnection(model, {END_SUBMODEL, submodels[from]}, {END_SUBMODEL, submodels[to]},
                                         std::move(midpoints), 0, 1, b % 5 == 0 ? CopyList(size) : ExprList{});
        bond->ends[0].portName = b % 2 ? "p3" : "p1";
        bond->ends[1].portName = b % 2 ? "p4" : "p2";
    }
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
