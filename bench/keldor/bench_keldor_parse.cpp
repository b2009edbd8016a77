// Parsing speed of the Keldor reader on generated equation models of 10^3 to 10^5 equations.
#include "bench/generated_equation_model.h"
#include "modelproc/processing_pipeline.h"
#include "modelproc/record_release.h"

#include <benchmark/benchmark.h>

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

} // namespace

BENCHMARK(ParseGeneratedModel)->Arg(1000)->Arg(10000)->Arg(100000)->MinTime(2.0)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
