// Translation time of one equation against its nesting depth: conditionals nested in their
// then parts, and integer divisions nested in their divisors; the time per level stays flat.
#include "codegen/equation_translator.h"
#include "platform/core/message_sink.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

std::string repeated(const std::string& text, int n)
{
    std::string out;
    for (int i = 0; i < n; ++i)
        out += text;
    return out;
}

void translate(benchmark::State& state, const std::string& text)
{
    platform::ScriptedMessageSink sink;
    platform::ScopedMessageSink scoped{sink};
    GeneratorModel model;
    for (auto _ : state) {
        EquationRecord equation;
        equation.text = text;
        if (!TranslateEquation(equation, model))
            state.SkipWithError("the equation was refused");
        benchmark::DoNotOptimize(equation.text.data());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void NestedConditionals(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    translate(state, "V0 = " + repeated("if s0 > 1 then ", n) + "P0" + repeated(" else 0 fi", n));
}

void NestedDivisions(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    translate(state, "V0 = " + repeated("P0 div (", n) + "s0" + repeated(")", n));
}

} // namespace

BENCHMARK(NestedConditionals)->Arg(1000)->Arg(2000)->Arg(4000)->Arg(20000)->Unit(benchmark::kMillisecond);
BENCHMARK(NestedDivisions)->Arg(1000)->Arg(2000)->Arg(4000)->Arg(20000)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
