// The simulator's stiff methods, BDF (DDASSL) and Vode-Stiff (CVODE), as a run drives them:
// the model interpreted from its code file, one method step per run chunk. Two classic stiff
// problems at three tolerances: the Robertson kinetics to t = 1e11 (absolute tolerance 1e-6
// times the relative one) and the Van der Pol oscillator with mu = 1000 to t = 3000 (equal
// tolerances). Reported per run: the method's steps, the model evaluations, the Jacobians
// formed, the message boxes shown (0 for a clean run) and the final state.
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
#include <string>

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

struct Problem {
    const char* name;
    int states;
    double finish;
    double absolutePerRelative; ///< absolute tolerance = this x relative tolerance
    std::array<double, 3> initial;
};

const Problem Problems[] = {
    {"Robertson", 3, 1e11, 1e-6, {1.0, 0.0, 0.0}},
    {"VanDerPol", 2, 3000.0, 1.0, {2.0, 0.0, 0.0}},
};

constexpr double RelativeTolerances[] = {1e-4, 1e-6, 1e-8};

bool loadProblem(const Problem& p)
{
    std::string text = VanDerPolText;
    if (p.name == std::string("Robertson"))
        text = platform::readFile(std::string(ORVANTA_SOURCE_DIR) + "/simulator/tests/data/robertson.l").value_or("");
    if (LoadCodeText(text) != 0)
        return false;
    for (int i = 0; i < p.states; ++i)
        SetVariableValue(KindInitial, i, p.initial[std::size_t(i)]);
    if (Variables().kinds[KindParameter].count > 0)
        SetVariableValue(KindParameter, 0, 1000.0);
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
    for (int problem : {0, 1})
        for (int method : {MethodBdf, MethodVode})
            for (int tolerance : {0, 1, 2})
                b->Args({problem, method, tolerance});
}

} // namespace

BENCHMARK(stiffRun)->Apply(arguments)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
