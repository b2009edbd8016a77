// Speed of the instruction interpreter: nanoseconds per instruction over a
// synthetic table of 10,000 instructions, arithmetic only and with 15% maths calls.
#include "bench/model_evaluation.h"
#include "simulator/code_file_reader.h"
#include "simulator/interpreter.h"
#include "simulator/model_variables.h"
#include "simulator/run_state.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

namespace {

constexpr int Instructions = 10000;
constexpr int Parameters = 100;

/// A code file whose dynamic table holds `Instructions` rows over parameters into
/// distinct variables; `mathsPercent` of the rows are maths calls.
std::string syntheticModel(int mathsPercent)
{
    std::string text = "#Hclass\tbench\n#Hversion\t1\n\n#DParam \t" + std::to_string(Parameters) + "\n";
    for (int i = 0; i < Parameters; ++i)
        text += "\t#real\tp" + std::to_string(i) + "\n";
    text += "\n#DVariable\t" + std::to_string(Instructions) + "\n";
    for (int i = 0; i < Instructions; ++i)
        text += "\t#real\tv" + std::to_string(i) + "\n";
    text += "\n#EInitial\t0\n\n#Einputs\t0\n\n#Edynamic\t" + std::to_string(Instructions) + "\n";
    static const char* arithmetic[] = {"add", "sub", "mul", "div", "mov"};
    static const char* maths[] = {"sin", "exp", "sqt", "log", "cos", "atn"};
    for (int i = 0; i < Instructions; ++i) {
        const bool mathsCall = (i * 37) % 100 < mathsPercent;
        const bool twoOperands = !mathsCall && i % 5 != 4;
        text += '\t';
        text += mathsCall ? maths[i % 6] : arithmetic[i % 5];
        text += "\tV";
        text += std::to_string(i);
        text += "\tP";
        text += std::to_string((i * 7) % Parameters);
        if (twoOperands) {
            text += "\tP";
            text += std::to_string((i * 13 + 5) % Parameters);
        }
        text += '\n';
    }
    return text + "\n#Eoutputs\t0\n";
}

void runTable(benchmark::State& state, int mathsPercent, bool trapsOn = false)
{
    SetStatusFunction([](const std::string&, bool) {});
    if (LoadCodeText(syntheticModel(mathsPercent)) != 0) {
        state.SkipWithError("synthetic model did not load");
        return;
    }
    std::string error;
    for (int i = 0; i < Parameters; ++i)
        *CellAddress(KindParameter, i, error) = 0.5 + 0.01 * i;
    SelectModelEvaluators();
    evaluateRepeatedly(state, trapsOn);
    reportPerInstruction(state, Instructions);
}

void Arithmetic(benchmark::State& state) { runTable(state, 0); }
void FifteenPercentMaths(benchmark::State& state) { runTable(state, 15); }
void FifteenPercentMathsTrapsOn(benchmark::State& state) { runTable(state, 15, true); }

} // namespace

BENCHMARK(Arithmetic)->Unit(benchmark::kMicrosecond);
BENCHMARK(FifteenPercentMaths)->Unit(benchmark::kMicrosecond);
BENCHMARK(FifteenPercentMathsTrapsOn)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
