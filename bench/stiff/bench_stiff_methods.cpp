// The simulator's stiff methods, BDF (DDASSL) and Vode-Stiff (CVODE), as a run drives them:
// the model interpreted from its code file, one method step per run chunk. Two classic stiff
// problems at three tolerances: the Robertson kinetics to t = 1e11 (absolute tolerance 1e-6
// times the relative one) and the Van der Pol oscillator with mu = 1000 to t = 3000 (equal
// tolerances); and, for BDF alone, a transistor amplifier with two algebraic loops, from
// power-on to t = 0.1 (equal tolerances for the states, the loops' at their defaults).
// Reported per run: the method's steps, the model evaluations, the Jacobians formed, the
// message boxes shown (0 for a clean run) and the final state.
#include "platform/core/file_system.h"
#include "platform/core/message_sink.h"
#include "simulator/code_file_reader.h"
#include "simulator/integration_methods.h"
#include "simulator/model_variables.h"
#include "simulator/run_control.h"
#include "simulator/run_specs.h"
#include "simulator/run_state.h"

#include <benchmark/benchmark.h>

#include <array>
#include <cmath>
#include <iterator>
#include <string>
#include <vector>

namespace {

// y1' = y2, y2' = mu (1 - y1^2) y2 - y1.
const char* const VanDerPolText = "#Hclass\tvdp\n#Hversion\t1\n"
                                  "#DParam \t1\n\t#real\tmu\n"
                                  "#DIncond\t2\n\t#real\ty10\n\t#real\ty20\n"
                                  "#Dstate_ind\t2\n\t#real\ty1\n\t#real\ty2\n"
                                  "#DRate_ind\t2\n\t#real\tdy1\n\t#real\tdy2\n"
                                  "#DUnnamed\t1\n\t#real\n"
                                  "#EInitial\t2\n\tmov\ts0\tI0\n\tmov\ts1\tI1\n#Einputs\t0\n"
                                  "#Edynamic\t6\n\tmov\tR0\ts1\n\tmul\tU0\ts0\ts0\n\tsub\tU0\t1.0\tU0\n"
                                  "\tmul\tU0\tP0\tU0\n\tmul\tU0\tU0\ts1\n\tsub\tR1\tU0\ts0\n#Eoutputs\t0\n";

struct Parameter {
    const char* name;
    double value;
};

// The amplifier's part values: the common-emitter stage of the test data.
const std::vector<Parameter> AmplifierParts = {
    {"vcc", 12},     {"rsup", 10},     {"cd", 100e-6}, {"r1", 47e3},     {"r2", 10e3},    {"rc", 4.7e3},
    {"re", 1e3},     {"ce", 100e-6},   {"rs", 600},    {"c1", 10e-6},    {"c2", 10e-6},   {"ll", 1e-3},
    {"rl", 10e3},    {"is", 1e-14},    {"vt", 0.02585}, {"bf", 100},      {"br", 1},       {"vamp", 0.1},
    {"omega", 2000 * M_PI}};

struct Problem {
    const char* name;
    const char* codeFile; ///< under simulator/tests/data, or null for the Van der Pol text
    int states;
    double finish;
    double absolutePerRelative; ///< absolute tolerance = this x relative tolerance
    std::array<double, 3> initial;
    std::vector<Parameter> parameters;
    bool bdfOnly; ///< a model with algebraic loops: implicit, for BDF alone
};

const Problem Problems[] = {
    {"Robertson", "robertson.l", 3, 1e11, 1e-6, {1.0, 0.0, 0.0}, {}, false},
    {"VanDerPol", nullptr, 2, 3000.0, 1.0, {2.0, 0.0, 0.0}, {{"mu", 1000.0}}, false},
    {"Amplifier", "amp1.l", 5, 0.1, 1.0, {0.0, 0.0, 0.0}, AmplifierParts, true},
};

constexpr double RelativeTolerances[] = {1e-4, 1e-6, 1e-8};

bool loadProblem(const Problem& p)
{
    std::string text = VanDerPolText;
    if (p.codeFile)
        text = platform::readFile(std::string(ORVANTA_SOURCE_DIR) + "/simulator/tests/data/" + p.codeFile).value_or("");
    if (LoadCodeText(text) != 0 || Variables().kinds[KindState].count != p.states)
        return false;
    for (int i = 0; i < Variables().kinds[KindInitial].count; ++i)
        SetVariableValue(KindInitial, i, i < int(p.initial.size()) ? p.initial[std::size_t(i)] : 0.0);
    for (const Parameter& parameter : p.parameters) {
        int found = -1;
        for (int i = 0; i < Variables().kinds[KindParameter].count && found < 0; ++i)
            if (const char* name = GetVariableName(KindParameter, i, 0); name && parameter.name == std::string(name))
                found = i;
        if (found < 0)
            return false;
        SetVariableValue(KindParameter, found, parameter.value);
    }
    ModelLoadErrors = 0;
    return true;
}

/// Arguments: problem, method (3 BDF, 5 Vode-Stiff), tolerance index.
void stiffRun(benchmark::State& state)
{
    const Problem& p = Problems[state.range(0)];
    const int method = int(state.range(1));
    const double rtol = RelativeTolerances[state.range(2)];
    platform::ScriptedMessageSink sink;
    platform::ScopedMessageSink scoped(sink);
    SetStatusFunction([](const std::string&, bool) {});
    if (!loadProblem(p)) {
        state.SkipWithError("the model does not load");
        return;
    }
    RunSpecs() = RunSpecification::defaults();
    RunSpecs().method = method;
    RunSpecs().finishTime = p.finish;
    RunSpecs().settings[method][RowRelErr].value = rtol;
    RunSpecs().settings[method][RowAbsErr].value = p.absolutePerRelative * rtol;
    RunOutput() = {};
    IntegrationCounters counters;
    long evaluations = 0;
    for (auto _ : state) {
        RequestRun();
        RunUntilIdle();
        counters = MethodCounters();
        evaluations = EvaluationCount;
    }
    state.SetLabel(std::string(p.name) + " " + IntegrationMethods[std::size_t(method)].name);
    state.counters["rtol"] = rtol;
    state.counters["steps"] = double(counters.steps);
    state.counters["evaluations"] = double(evaluations);
    state.counters["jacobians"] = double(counters.jacobianEvaluations);
    state.counters["boxes"] = double(sink.transcript().size());
    state.counters["t_end"] = SimulationTime;
    for (int i = 0; i < p.states; ++i)
        state.counters["y" + std::to_string(i + 1)] = Variables().kinds[KindState].values[i];
}

void arguments(benchmark::internal::Benchmark* b)
{
    for (int problem = 0; problem < int(std::size(Problems)); ++problem)
        for (int method : {MethodBdf, MethodVode})
            for (int tolerance : {0, 1, 2})
                if (method == MethodBdf || !Problems[problem].bdfOnly)
                    b->Args({problem, method, tolerance});
}

} // namespace

BENCHMARK(stiffRun)->Apply(arguments)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
