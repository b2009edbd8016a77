// Parsing speed of the Keldor reader on generated equation models of 10^3 to 10^5 equations.
#include "modelproc/processing_pipeline.h"
#include "modelproc/record_release.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

/// An equation model with n variables, each computed from its neighbour, the time and a call.
std::string generatedModel(int n)
{
    std::string text = "class gen version 1\nparameters\n  real k\nvariables\n";
    for (int i = 0; i < n; ++i)
        text += "  real x" + std::to_string(i) + "\n";
    text += "equations\n";
    for (int i = 0; i < n; ++i)
        text += "  x" + std::to_string(i) + " = k * x" + std::to_string((i + 1) % n) + " + sin(t) ^ 2 - 1.5e-3\n";
    return text;
}

void ParseGeneratedModel(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    const std::string text = generatedModel(n);
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

} // namespace

BENCHMARK(ParseGeneratedModel)->Arg(1000)->Arg(10000)->Arg(100000)->MinTime(2.0)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
