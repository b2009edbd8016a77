// The simulator's stiff methods on RC ladders and mass-spring-damper chains of 10^3 stages whose
// capacitances or masses are spread over six decades (chain_models.h): written in Keldor,
// processed by the model processor and run by the run engine, BDF (DDASSL) and Vode-Stiff
// (CVODE) at rtol 1e-6 and atol 1e-9 or 1e-12, started from rest or from a displaced state (every
// node charged to 1, every mass moved by 1), to the finish times 0.5, 1, 1.5 and 2. Reported per run: the
// run's processor time, steps, model evaluations, Jacobians, message boxes (0 for a clean run)
// and the time reached; the final state goes to a file of its own, one value a line in the
// order of the stages (v_i, or x_i and v_i), for run_stiff_chains_benchmark.py, which runs the
// same problems with scipy and compares the states with references of its own.
//
// The code files and the states are kept in $ORVANTA_STIFF_CHAINS_DIR (else a folder of the
// temporary directory); the code files are made by BM_Process, or by a run that finds its own
// missing.
#include "bench/processed_keldor_model.h"
#include "platform/core/message_sink.h"
#include "simulator/code_file_reader.h"
#include "simulator/integration_methods.h"
#include "simulator/model_variables.h"
#include "simulator/run_control.h"
#include "simulator/run_specs.h"
#include "simulator/run_state.h"

#include "chain_models.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

namespace {

namespace fs = std::filesystem;

constexpr int Stages = 1000;
constexpr double RelativeTolerance = 1e-6;
constexpr double AbsoluteTolerances[] = {1e-9, 1e-12};
constexpr double Finishes[] = {0.5, 1.0, 1.5, 2.0};

enum Family { Ladder = 0, Chain = 1 };
const char* const FamilyNames[] = {"ladder", "chain"};

fs::path directory() { return processedmodel::codeDirectory("ORVANTA_STIFF_CHAINS_DIR", "orvanta-stiff-chains"); }

std::string process(Family family, double& seconds)
{
    const std::string name = FamilyNames[family];
    return processedmodel::process(directory() / name, name,
                                   family == Ladder ? chainmodels::ladderModel(Stages) : chainmodels::chainModel(Stages),
                                   seconds);
}

std::string codeFileOf(Family family)
{
    return processedmodel::keptCodeFile(directory() / FamilyNames[family], FamilyNames[family],
                                        [family](double& seconds) { return process(family, seconds); });
}

/// The names of the states in the order of the stages.
std::vector<std::string> stateNames(Family family)
{
    std::vector<std::string> names;
    for (int i = 0; i < Stages; ++i) {
        if (family == Chain)
            names.push_back("x" + std::to_string(i));
        names.push_back("v" + std::to_string(i));
    }
    return names;
}

/// The index of each state (or initial value), by the name of its model variable: the part of
/// its name before any "_" (a velocity whose position's rate it is becomes the state
/// "v<i>_indep_state_<k>").
std::map<std::string, int> indexByName(int kind)
{
    std::map<std::string, int> index;
    for (int s = 0; s < Variables().kinds[kind].count; ++s)
        if (const char* name = GetVariableName(kind, s, 0))
            index[std::string(name).substr(0, std::string(name).find('_'))] = s;
    return index;
}

/// Loads the family's code file, at rest or displaced: every node at 1, or every position.
bool load(Family family, bool displaced)
{
    SetStatusFunction([](const std::string&, bool) {});
    const std::string file = codeFileOf(family);
    if (file.empty() || LoadCodeFile(file) != 0)
        return false;
    const std::map<std::string, int> initial = indexByName(KindInitial);
    for (const auto& [name, index] : initial) {
        const bool moved = displaced && (family == Ladder || name[0] == 'x');
        SetVariableValue(KindInitial, index, moved ? 1.0 : 0.0);
    }
    ModelLoadErrors = 0;
    RunsAllowed = 1;
    return true;
}

/// Writes the state in the order of the stages to the file, one value a line; false when a state
/// is missing or the file cannot be written.
bool writeStates(Family family, const fs::path& file)
{
    const std::map<std::string, int> index = indexByName(KindState);
    std::ofstream out(file);
    for (const std::string& name : stateNames(family)) {
        const auto at = index.find(name);
        if (at == index.end())
            return false;
        char text[40];
        std::snprintf(text, sizeof text, "%.17g\n", Variables().kinds[KindState].values[at->second]);
        out << text;
    }
    return bool(out);
}

/// Arguments: family, 1 to start displaced, absolute tolerance index, finish index, method.
void BM_Run(benchmark::State& state)
{
    const Family family = Family(state.range(0));
    const bool displaced = state.range(1) != 0;
    const double atol = AbsoluteTolerances[state.range(2)];
    const double finish = Finishes[state.range(3)];
    const int method = int(state.range(4));
    platform::ScriptedMessageSink sink;
    platform::ScopedMessageSink scoped(sink);
    if (!load(family, displaced)) {
        state.SkipWithError("the model does not process or load");
        return;
    }
    double processor = 0; // the fastest run's
    for (auto _ : state) {
        RunSpecs() = RunSpecification::defaults();
        RunSpecs().method = method;
        RunSpecs().finishTime = finish;
        RunSpecs().settings[method][RowRelErr].value = RelativeTolerance;
        RunSpecs().settings[method][RowAbsErr].value = atol;
        RunOutput() = {};
        const double start = processedmodel::processorSeconds();
        RequestRun();
        RunUntilIdle();
        const double seconds = processedmodel::processorSeconds() - start;
        processor = processor == 0 ? seconds : std::min(processor, seconds);
        state.SetIterationTime(seconds);
    }
    const std::string label = std::string(FamilyNames[family]) + (displaced ? "-displaced" : "-rest") + "-atol" +
                              std::to_string(state.range(2)) + "-finish" + std::to_string(state.range(3)) + "-" +
                              IntegrationMethods[std::size_t(method)].name;
    const fs::path states = directory() / (label + ".states");
    if (!writeStates(family, states)) {
        state.SkipWithError("the states cannot be written");
        return;
    }
    const IntegrationCounters counters = MethodCounters();
    state.SetLabel(label);
    state.counters["run_cpu_s"] = processor;
    state.counters["steps"] = double(counters.steps);
    state.counters["evaluations"] = double(counters.derivativeEvaluations);
    state.counters["jacobians"] = double(counters.jacobianEvaluations);
    state.counters["boxes"] = double(sink.transcript().size());
    state.counters["t_end"] = SimulationTime;
    state.counters["finish"] = finish;
    state.counters["atol"] = atol;
}

/// Processes a family's model into the kept code file.
void BM_Process(benchmark::State& state)
{
    const Family family = Family(state.range(0));
    if (processedmodel::timeProcessing(state, [family](double& seconds) { return process(family, seconds); }))
        state.SetLabel(FamilyNames[family]);
}

void runArguments(benchmark::internal::Benchmark* b)
{
    for (int family : {Ladder, Chain})
        for (int displaced : {0, 1})
            for (int atol : {0, 1})
                for (int finish = 0; finish < int(std::size(Finishes)); ++finish)
                    for (int method : {MethodBdf, MethodVode})
                        b->Args({family, displaced, atol, finish, method});
}

} // namespace

BENCHMARK(BM_Process)->DenseRange(0, 1)->Unit(benchmark::kSecond)->UseManualTime()->Iterations(1);
BENCHMARK(BM_Run)->Apply(runArguments)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

BENCHMARK_MAIN();
