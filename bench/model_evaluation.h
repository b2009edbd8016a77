// The timed loop the evaluator benchmarks share: the loaded model evaluated over and over,
// timed per instruction of its table.
#pragma once

#include "simulator/interpreter.h"

#include <benchmark/benchmark.h>

#include <cfenv>

/// Evaluates the selected model once per iteration, with the invalid-operation and
/// division-by-zero traps on when a run would have them.
inline void evaluateRepeatedly(benchmark::State& state, bool trapsOn)
{
    double t = 0.0;
    if (trapsOn)
        feenableexcept(FE_INVALID | FE_DIVBYZERO);
    for (auto _ : state) {
        EvaluateModel(t);
        t += 1e-3;
        benchmark::ClobberMemory();
    }
    fedisableexcept(FE_ALL_EXCEPT);
}

/// Reports the time of one instruction (an inverted rate, shown as "ns").
inline void reportPerInstruction(benchmark::State& state, int instructions)
{
    state.counters["per_instruction"] = benchmark::Counter(
        double(instructions), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
