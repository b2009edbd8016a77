// Parsing speed of the Keldor reader on generated equation models of 10^3 to 10^5 equations,
// and on the mass-spring chains of the processing benchmark (speed and the heap the parse keeps).
#include "bench/generated_equation_model.h"
#include "bench/modelproc/chain_model.h"
#include "modelproc/processing_pipeline.h"
#include "modelproc/record_release.h"

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>

#include <string>

namespace {

void ParseGeneratedModel(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    const std::string text = generatedEquationModel(n);
    for (auto _ : state) {
        ClassRec* cls = nullptr;
        int result = ttparse_text(text, "gen.mf0", 3, cls, nullptr);
        if (result != 0)
            state.SkipWithError("the generated model did not parse");
        benchmark::DoNotOptimize(cls);
        state.PauseTiming();
        release_all();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * n);
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
}

/// Resident bytes of the process: the records' arena maps its chunks of its own, so the heap
/// alone would not show them.
double residentBytes()
{
    long pages = 0, resident = 0;
    if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(statm);
    }
    return double(resident) * double(sysconf(_SC_PAGESIZE));
}

void ParseChain(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    const std::string text = chainModel(n);
    double kept = 0;
    for (auto _ : state) {
        const double before = residentBytes();
        ClassRec* cls = nullptr;
        int result = ttparse_text(text, "chain1.mg0", 3, cls, nullptr);
        if (result != 0)
            state.SkipWithError("the chain did not parse");
        benchmark::DoNotOptimize(cls);
        state.PauseTiming();
        kept = residentBytes() - before;
        release_all();
        state.ResumeTiming();
    }
    state.counters["kept_MB"] = kept / 1e6;
    state.counters["kept_B_per_cell"] = kept / n;
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
}

} // namespace

BENCHMARK(ParseGeneratedModel)->Arg(1000)->Arg(10000)->Arg(100000)->MinTime(2.0)->Unit(benchmark::kMillisecond);
BENCHMARK(ParseChain)->Arg(10000)->Arg(100000)->Arg(1000000)->Iterations(3)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
