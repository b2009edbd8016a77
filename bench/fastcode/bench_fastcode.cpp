// Speed of native fast code against the interpreter and against the same table written
// as straight-line C and compiled with gcc -O2: nanoseconds per instruction on a table
// of 10,000 instructions, arithmetic only and with 15% maths calls; and a whole RK4 run
// of a chain of 100 masses both ways.
#include "mass_chain.h"

#include "bench/model_evaluation.h"
#include "common/settings_table.h"
#include "simulator/code_file_reader.h"
#include "simulator/fastcode/fast_code.h"
#include "simulator/interpreter.h"
#include "simulator/model_variables.h"
#include "simulator/run_state.h"

#include <benchmark/benchmark.h>

#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

constexpr int Instructions = 10000;
constexpr int Parameters = 100;

const char* const Arithmetic[] = {"add", "sub", "mul", "div", "mov"};
const char* const Maths[] = {"sin", "exp", "sqt", "log", "cos", "atn"};

struct Row {
    const char* mnemonic;
    int a, b; ///< parameter numbers; b < 0 for one operand
};

/// The rows of the synthetic table: V[i] := op(P[a], P[b]); `mathsPercent` of them maths calls.
std::vector<Row> syntheticRows(int mathsPercent)
{
    std::vector<Row> rows;
    for (int i = 0; i < Instructions; ++i) {
        const bool mathsCall = (i * 37) % 100 < mathsPercent;
        const bool twoOperands = !mathsCall && i % 5 != 4;
        rows.push_back({mathsCall ? Maths[i % 6] : Arithmetic[i % 5], (i * 7) % Parameters,
                        twoOperands ? (i * 13 + 5) % Parameters : -1});
    }
    return rows;
}

std::string codeText(const std::vector<Row>& rows)
{
    std::string text = "#Hclass\tbench\n#Hversion\t1\n\n#DParam \t" + std::to_string(Parameters) + "\n";
    for (int i = 0; i < Parameters; ++i)
        text += "\t#real\tp" + std::to_string(i) + "\n";
    text += "\n#DVariable\t" + std::to_string(Instructions) + "\n";
    for (int i = 0; i < Instructions; ++i)
        text += "\t#real\tv" + std::to_string(i) + "\n";
    text += "\n#EInitial\t0\n\n#Einputs\t0\n\n#Edynamic\t" + std::to_string(Instructions) + "\n";
    for (std::size_t i = 0; i < rows.size(); ++i) {
        text += std::string("\t") + rows[i].mnemonic + "\tV" + std::to_string(i) + "\tP" + std::to_string(rows[i].a);
        if (rows[i].b >= 0)
            text += "\tP" + std::to_string(rows[i].b);
        text += "\n";
    }
    return text + "\n#Eoutputs\t0\n";
}

/// The same table as one C function over the parameter and variable arrays.
std::string cText(const std::vector<Row>& rows)
{
    std::string text = "#include <math.h>\nvoid table(const double* P, double* V)\n{\n";
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const std::string m = rows[i].mnemonic, a = "P[" + std::to_string(rows[i].a) + "]",
                          b = "P[" + std::to_string(rows[i].b) + "]", d = "V[" + std::to_string(i) + "]";
        std::string e;
        if (m == "add") e = a + " + " + b;
        else if (m == "sub") e = a + " - " + b;
        else if (m == "mul") e = a + " * " + b;
        else if (m == "div") e = a + " / " + b;
        else if (m == "mov") e = a;
        else if (m == "sin") e = "sin(" + a + ")";
        else if (m == "cos") e = "cos(" + a + ")";
        else if (m == "sqt") e = "sqrt(" + a + ")";
        else if (m == "log") e = "log(" + a + ")";
        else if (m == "atn") e = "atan(" + a + ")";
        else if (m == "exp") e = a + " < -708.0 ? 0.0 : " + a + " > 708.0 ? 1.797693e308 : exp(" + a + ")";
        text += "  " + d + " = " + e + ";\n";
    }
    return text + "}\n";
}

using CTable = void (*)(const double*, double*);

/// Compiles the C text with gcc -O2 into a loadable module; null when gcc is missing.
CTable compileC(const std::string& text, const std::string& name)
{
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / ("orvanta-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const std::filesystem::path source = dir / (name + ".c"), module = dir / (name + ".so");
    std::ofstream(source) << text;
    const std::string command = "gcc -O2 -ffp-contract=off -fPIC -shared -o '" + module.string() + "' '" +
                                source.string() + "' -lm";
    if (std::system(command.c_str()) != 0)
        return nullptr;
    void* library = dlopen(module.c_str(), RTLD_NOW);
    std::filesystem::remove_all(dir);
    return library ? reinterpret_cast<CTable>(dlsym(library, "table")) : nullptr;
}

bool loadTable(benchmark::State& state, const std::vector<Row>& rows)
{
    SetStatusFunction([](const std::string&, bool) {});
    if (LoadCodeText(codeText(rows)) != 0) {
        state.SkipWithError("synthetic model did not load");
        return false;
    }
    double* p = Variables().kinds[KindParameter].values;
    for (int i = 0; i < Parameters; ++i)
        p[i] = 0.5 + 0.01 * i;
    return true;
}

/// Evaluations of the table; with `trapsOn` as in a run (invalid and division-by-zero traps on).
void evaluate(benchmark::State& state, int mathsPercent, bool native, bool trapsOn = false)
{
    if (!loadTable(state, syntheticRows(mathsPercent)))
        return;
    Settings().warp = 1;
    if (native && !BuildFastCode()) {
        state.SkipWithError("no native code");
        return;
    }
    SelectModelEvaluators(native ? ChosenFastCode() : nullptr);
    evaluateRepeatedly(state, trapsOn);
    reportPerInstruction(state, Instructions);
    FreeFastCode();
}

void compiledC(benchmark::State& state, int mathsPercent)
{
    const std::vector<Row> rows = syntheticRows(mathsPercent);
    if (!loadTable(state, rows))
        return;
    const CTable table = compileC(cText(rows), "table" + std::to_string(mathsPercent));
    if (!table) {
        state.SkipWithError("gcc could not compile the table");
        return;
    }
    const double* p = Variables().kinds[KindParameter].values;
    double* v = Variables().kinds[KindVariable].values;
    // The compiled C must agree with the interpreter, or the comparison means nothing.
    SelectModelEvaluators();
    EvaluateModel(0.0);
    const std::vector<double> expected(v, v + Instructions);
    table(p, v);
    if (!std::equal(expected.begin(), expected.end(), v)) {
        state.SkipWithError("the C table computes other values");
        return;
    }
    for (auto _ : state) {
        table(p, v);
        benchmark::ClobberMemory();
    }
    reportPerInstruction(state, Instructions);
}

void InterpreterArithmetic(benchmark::State& state) { evaluate(state, 0, false); }
void NativeArithmetic(benchmark::State& state) { evaluate(state, 0, true); }
void GccO2Arithmetic(benchmark::State& state) { compiledC(state, 0); }
void InterpreterFifteenPercentMaths(benchmark::State& state) { evaluate(state, 15, false); }
void NativeFifteenPercentMaths(benchmark::State& state) { evaluate(state, 15, true); }
void GccO2FifteenPercentMaths(benchmark::State& state) { compiledC(state, 15); }
void InterpreterFifteenPercentMathsTrapsOn(benchmark::State& state) { evaluate(state, 15, false, true); }
void NativeFifteenPercentMathsTrapsOn(benchmark::State& state) { evaluate(state, 15, true, true); }

/// One whole RK4 run of 100 masses (2,000 steps); arg 1 for native code.
void MassChainRk4(benchmark::State& state)
{
    constexpr int Masses = 100;
    SetStatusFunction([](const std::string&, bool) {});
    if (LoadCodeText(masschain::codeText(Masses)) != 0) {
        state.SkipWithError("chain model did not load");
        return;
    }
    Settings().warp = 1;
    const bool native = state.range(0) != 0;
    if (native && !BuildFastCode()) {
        state.SkipWithError("no native code");
        return;
    }
    SelectModelEvaluators(native ? ChosenFastCode() : nullptr);
    for (auto _ : state) {
        masschain::setUp(Masses);
        benchmark::DoNotOptimize(masschain::run(Masses, 2000, 1e-3));
    }
    FreeFastCode();
}

} // namespace

BENCHMARK(InterpreterArithmetic)->Unit(benchmark::kMicrosecond);
BENCHMARK(NativeArithmetic)->Unit(benchmark::kMicrosecond);
BENCHMARK(GccO2Arithmetic)->Unit(benchmark::kMicrosecond);
BENCHMARK(InterpreterFifteenPercentMaths)->Unit(benchmark::kMicrosecond);
BENCHMARK(NativeFifteenPercentMaths)->Unit(benchmark::kMicrosecond);
BENCHMARK(GccO2FifteenPercentMaths)->Unit(benchmark::kMicrosecond);
BENCHMARK(InterpreterFifteenPercentMathsTrapsOn)->Unit(benchmark::kMicrosecond);
BENCHMARK(NativeFifteenPercentMathsTrapsOn)->Unit(benchmark::kMicrosecond);
BENCHMARK(MassChainRk4)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
