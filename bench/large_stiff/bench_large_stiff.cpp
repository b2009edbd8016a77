// The simulator's stiff methods on large models: heat conduction by the method of lines written
// in Keldor, one equation per grid point, processed by the model processor into code files and
// run by the run engine, BDF (DDASSL) and Vode-Stiff (CVODE) at rtol = atol = 1e-6. A rod of
// 10^3, 10^4 and 10^5 points and a plate of 100 x 100 points; the rod of 10^3 points also with the
// dense matrix forced, to compare the two paths. Reported per run: the run's time, the time to
// load the code file, steps, model evaluations, Jacobians, message boxes (0 for a clean run),
// the peak resident size of the process, the matrix chosen and the solution at a few points.
// The run's time includes the reading of the Jacobian's structure, which its start makes once per
// loaded model (reported apart as well).
// run_large_stiff_benchmark.py runs each case in a process of its own (so that the peak is the
// run's) beside scipy's BDF given the Jacobian's structure.
//
// The code files are kept in $ORVANTA_LARGE_STIFF_DIR (else a folder of the temporary directory),
// made by BM_Process, or by a run that finds its code file missing.
#include "bench/processed_keldor_model.h"
#include "bench/resident_memory.h"
#include "platform/core/message_sink.h"
#include "simulator/code_file_reader.h"
#include "simulator/integration_methods.h"
#include "simulator/jacobian_pattern.h"
#include "simulator/model_variables.h"
#include "simulator/run_control.h"
#include "simulator/run_specs.h"
#include "simulator/run_state.h"

#include "heat_models.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr double Tolerance = 1e-6;

enum Shape { Rod = 0, Plate = 1 };

struct Case {
    Shape shape;
    int side; ///< points of the rod, or of one side of the plate
    int states() const { return shape == Rod ? side : side * side; }
    std::string name() const { return (shape == Rod ? "rod" : "plate") + std::to_string(states()); }
    /// k = D / dx^2 with D = 1 over a unit length.
    double k() const { return double(side + 1) * double(side + 1); }
    double finish() const { return shape == Rod ? 0.1 : 0.05; }
};

double secondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

using processedmodel::processorSeconds;

fs::path codeDirectory() { return processedmodel::codeDirectory("ORVANTA_LARGE_STIFF_DIR", "orvanta-large-stiff"); }

/// Processes the case's model completely into its code file; the file, or empty on failure.
std::string process(const Case& c, double& seconds)
{
    return processedmodel::process(codeDirectory() / c.name(), c.shape == Rod ? "rod" : "plate",
                                   c.shape == Rod ? heatmodels::rodModel(c.side) : heatmodels::plateModel(c.side),
                                   seconds);
}

std::string codeFileOf(const Case& c)
{
    return processedmodel::keptCodeFile(codeDirectory() / c.name(), c.shape == Rod ? "rod" : "plate",
                                        [&c](double& seconds) { return process(c, seconds); });
}

/// Loads the case's code file with k, the held edge at 1 and everything else at 0.
bool load(const Case& c, double& seconds)
{
    SetStatusFunction([](const std::string&, bool) {});
    const std::string file = codeFileOf(c);
    if (file.empty())
        return false;
    const Clock::time_point start = Clock::now();
    if (LoadCodeFile(file) != 0)
        return false;
    seconds = secondsSince(start);
    const int k = FindNameInEntry(KindParameter, 0, "k") == 0 ? 0 : 1;
    SetVariableValue(KindParameter, k, c.k());
    SetVariableValue(KindParameter, 1 - k, 1.0);
    for (int i = 0; i < Variables().kinds[KindInitial].count; ++i)
        SetVariableValue(KindInitial, i, 0.0);
    ModelLoadErrors = 0;
    RunsAllowed = 1;
    return true;
}

/// A case's model loaded for its runs, with the boxes they open collected.
struct LoadedCase {
    explicit LoadedCase(const Case& c) : loaded(load(c, loadSeconds)) {}
    platform::ScriptedMessageSink sink;
    platform::ScopedMessageSink scoped{sink};
    double loadSeconds = 0;
    bool loaded;
};

/// Runs the loaded model to the case's finish; the run's seconds, and its processor seconds.
double run(const Case& c, int method, double* processor = nullptr)
{
    RunSpecs() = RunSpecification::defaults();
    RunSpecs().method = method;
    RunSpecs().finishTime = c.finish();
    RunSpecs().settings[method][RowRelErr].value = Tolerance;
    RunSpecs().settings[method][RowAbsErr].value = Tolerance;
    RunOutput() = {};
    const double cpu = processorSeconds();
    const Clock::time_point start = Clock::now();
    RequestRun();
    RunUntilIdle();
    if (processor)
        *processor = processorSeconds() - cpu;
    return secondsSince(start);
}

/// The state named u<i>.
double stateNamed(int i)
{
    const std::string name = "u" + std::to_string(i);
    const VariableKind& states = Variables().kinds[KindState];
    for (int s = 0; s < states.count; ++s)
        if (FindNameInEntry(KindState, s, name.c_str()) >= 0)
            return states.values[s];
    return NAN;
}

const Case Cases[] = {{Rod, 1000}, {Rod, 10000}, {Rod, 100000}, {Plate, 100}};

/// Arguments: case, method (3 BDF, 5 Vode-Stiff), 1 to force the dense matrix.
void BM_Run(benchmark::State& state)
{
    const Case& c = Cases[state.range(0)];
    const int method = int(state.range(1));
    const bool dense = state.range(2) != 0;
    const LoadedCase loaded(c);
    if (!loaded.loaded) {
        state.SkipWithError("the model does not process or load");
        return;
    }
    SetJacobianChoice(dense ? JacobianChoice::Dense : JacobianChoice::FromStructure);
    // The structure is read once per loaded model, at the first run's start: timed apart here,
    // and counted in the run's time.
    const double cpu = processorSeconds();
    const Clock::time_point start = Clock::now();
    method == MethodBdf ? BdfSparseJacobian() : VodeSparseJacobian();
    const double structureSeconds = secondsSince(start);
    const double structureProcessor = processorSeconds() - cpu;
    double seconds = 0, processor = 0;
    for (auto _ : state) {
        seconds = structureSeconds + run(c, method, &processor);
        processor += structureProcessor;
        state.SetIterationTime(seconds);
    }
    numerics::SparseJacobian* jacobian = method == MethodBdf ? BdfSparseJacobian() : VodeSparseJacobian();
    const bool sparse = jacobian != nullptr;
    if (sparse && method == MethodBdf && jacobian->lu()) {
        state.counters["lu_factorisations"] = double(jacobian->lu()->factorisations());
        state.counters["lu_refactorisations"] = double(jacobian->lu()->refactorisations());
    }
    if (sparse)
        state.counters["groups"] = jacobian->groups().count();
    SetJacobianChoice(JacobianChoice::FromStructure);
    const IntegrationCounters counters = MethodCounters();
    state.SetLabel(c.name() + " " + IntegrationMethods[std::size_t(method)].name + (sparse ? " sparse" : " dense"));
    state.counters["states"] = c.states();
    state.counters["run_s"] = seconds;
    state.counters["run_cpu_s"] = processor;
    state.counters["load_s"] = loaded.loadSeconds;
    state.counters["structure_s"] = structureSeconds;
    state.counters["structure_cpu_s"] = structureProcessor;
    state.counters["steps"] = double(counters.steps);
    state.counters["evaluations"] = double(counters.derivativeEvaluations);
    state.counters["jacobians"] = double(counters.jacobianEvaluations);
    state.counters["boxes"] = double(loaded.sink.transcript().size());
    state.counters["t_end"] = SimulationTime;
    state.counters["peak_MiB"] = peakResidentMegabytes();
    state.counters["sparse"] = sparse;
    // The rod at a quarter, half and three quarters of its points; the plate along its middle row.
    const int n = c.states();
    const int probes[3] = {c.shape == Rod ? n / 4 : (c.side / 2) * c.side + c.side / 4,
                           c.shape == Rod ? n / 2 : (c.side / 2) * c.side + c.side / 2,
                           c.shape == Rod ? 3 * n / 4 : (c.side / 2) * c.side + 3 * c.side / 4};
    for (int p = 0; p < 3; ++p) {
        state.counters["probe" + std::to_string(p)] = probes[p];
        state.counters["u" + std::to_string(p)] = stateNamed(probes[p]);
    }
}

/// The rod of 10^3 points with the dense and the sparse matrix: the largest difference of the
/// final states in units of the tolerance, max |sparse - dense| / (rtol |dense| + atol).
void BM_SparseAgainstDense(benchmark::State& state)
{
    const Case c{Rod, 1000};
    const int method = int(state.range(0));
    const LoadedCase loaded(c);
    if (!loaded.loaded) {
        state.SkipWithError("the model does not process or load");
        return;
    }
    double worst = 0;
    for (auto _ : state) {
        std::vector<double> finals[2];
        for (int dense : {1, 0}) {
            SetJacobianChoice(dense ? JacobianChoice::Dense : JacobianChoice::FromStructure);
            run(c, method);
            const VariableKind& s = Variables().kinds[KindState];
            finals[dense].assign(s.values, s.values + s.count);
        }
        worst = 0;
        for (std::size_t i = 0; i < finals[0].size(); ++i)
            worst = std::max(worst, std::fabs(finals[0][i] - finals[1][i]) / (Tolerance * std::fabs(finals[1][i]) + Tolerance));
    }
    SetJacobianChoice(JacobianChoice::FromStructure);
    state.SetLabel(c.name() + " " + IntegrationMethods[std::size_t(method)].name);
    state.counters["worst_in_tolerances"] = worst;
    state.counters["boxes"] = double(loaded.sink.transcript().size());
}

/// Processes a case's model into the kept code file.
void BM_Process(benchmark::State& state)
{
    const Case& c = Cases[state.range(0)];
    if (!processedmodel::timeProcessing(state, [&c](double& seconds) { return process(c, seconds); }))
        return;
    state.SetLabel(c.name());
    state.counters["states"] = c.states();
}

void runArguments(benchmark::internal::Benchmark* b)
{
    for (int c = 0; c < int(std::size(Cases)); ++c)
        for (int method : {MethodBdf, MethodVode})
            b->Args({c, method, 0});
    for (int method : {MethodBdf, MethodVode})
        b->Args({0, method, 1});
}

} // namespace

BENCHMARK(BM_Process)->DenseRange(0, int(std::size(Cases)) - 1)->Unit(benchmark::kSecond)->UseManualTime()->Iterations(1);
BENCHMARK(BM_Run)->Apply(runArguments)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);
BENCHMARK(BM_SparseAgainstDense)->Arg(MethodBdf)->Arg(MethodVode)->Unit(benchmark::kMillisecond)->Iterations(1);

BENCHMARK_MAIN();
