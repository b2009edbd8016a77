// Speed of the simulator's readers against the size of what they read, on a model of N
// parameters, N initial conditions and N states (each state's rate is its parameter
// times the state): the code file (".l"), the parameters and initial conditions of an
// experiment (".p"), run specifications of N setting lines (".r"), 26 curves naming the
// model's last variables (".u", the size is the model's), a multiple run over the N
// parameters (".mr") and a data file of N rows (".n"); and the whole experiment loaded
// through the simulator's state machine, as Open Experiment loads it. Each figure is
// the best of the repetitions; a reader is linear when its time at N = 100,000 is at
// most 1.2 x 10 times its time at N = 10,000.
//
//     build/bench/experiment_files/bench_experiment_files --benchmark_repetitions=5
//         --benchmark_report_aggregates_only=true    (one command line)
#include "common/model_file_names.h"
#include "platform/core/file_system.h"
#include "platform/core/message_sink.h"
#include "simulator/code_file_reader.h"
#include "simulator/model_variables.h"
#include "simulator/multiple_runs.h"
#include "simulator/parameter_file.h"
#include "simulator/plot_specs.h"
#include "simulator/run_output.h"
#include "simulator/run_specs.h"
#include "simulator/run_state.h"
#include "simulator/simulator_state.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <bit>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>

namespace {

std::string number(int i) { return std::to_string(i); }

/// The code file of the model of n parameters, initial conditions and states.
std::string codeText(int n)
{
    std::string text = "#Hclass\tchain\n#Hversion\t1\n";
    const auto section = [&text, n](const char* head, const char* prefix) {
        text += std::string(head) + "\t" + number(n) + "\n";
        for (int i = 0; i < n; ++i)
            text += std::string("\t#real\t") + prefix + number(i) + "\n";
    };
    section("#DParam ", "k");
    section("#DIncond", "i");
    section("#Dstate_ind", "x");
    section("#DRate_ind", "dx");
    // The four equation sections, the empty ones too, as the model processor once wrote them.
    text += "#EInitial\t0\n#Einputs\t0\n#Edynamic\t" + number(n) + "\n";
    for (int i = 0; i < n; ++i)
        text += "\tmul\tR" + number(i) + "\tP" + number(i) + "\ts" + number(i) + "\n";
    return text + "#Eoutputs\t0\n";
}

std::string parameterText(int n)
{
    std::string text = "#Formatver\t3\n#Hclass\tchain\n#DParam \n";
    for (int i = 0; i < n; ++i)
        text += "\tk" + number(i) + "\t" + number(i % 97) + ".25\n";
    text += "#DIncond\n";
    for (int i = 0; i < n; ++i)
        text += "\ti" + number(i) + "\t-" + number(i % 89) + ".5\n";
    return text;
}

std::string runSpecText(int n)
{
    std::string text = "#Hclass\tchain\n#Iprocsr\t0\n#Imethod\t2\n#Tstart \t0\n#Tfinish\t5\n";
    for (int i = 0; i < n; ++i)
        text += i % 2 ? "#Tcomint\t1\t0.1\n" : "#Tstep  \t0.01\n";
    return text;
}

/// 26 curves on the model's last states and rates, the ones a name search meets last.
std::string plotSpecText(int n)
{
    std::string text = "#Formatver\t3\n#Hclass\tchain\n#Oxaxis\tx" + number(n - 1) + "\t-1\t1\t0\n";
    for (int c = 0; c < 26; ++c)
        text += "#Oyaxis\t0\t" + std::string(c % 2 ? "dx" : "x") + number(n - 1 - c) + "\t-1\t1\t" + number(c) +
                "\t1\t1\t1\t0\tcurve_" + number(c) + "\n";
    return text;
}

std::string multipleRunText(int n)
{
    std::string text = "#Formatver\t4\n#Hclass\tchain\n3\t0\n#Nvariables\t" + number(n) + "\n";
    for (int i = 0; i < n; ++i)
        text += "k" + number(i) + "\t0\t" + number(i) + "\t1\t2\tlinear\n";
    return text;
}

/// Rows of time and two states, 8-byte reals and a line-feed byte.
std::string dataText(int n)
{
    std::string text = "#Formatver\t4\n#Hclass\tchain\t#Hexpmt\texp\n#Nvariables\t2\nx0\nx1\n";
    for (int r = 0; r < n; ++r) {
        for (double v : {0.01 * r, 1.0 + r, -2.0 * r}) {
            const auto bits = std::bit_cast<std::uint64_t>(v);
            for (int k = 0; k < 8; ++k)
                text += char((bits >> (8 * k)) & 0xFF);
        }
        text += '\n';
    }
    return text;
}

/// The files of the model of n, written once per n into a folder of their own (removed
/// at the end): <dir>/chain.l and <dir>/chain/exp.*.
struct Files {
    std::string dir;
    std::string experiments;
    explicit Files(int n)
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "orvanta-bench-XXXXXX").string();
        dir = ::mkdtemp(pattern.data()) ? pattern : std::string();
        experiments = dir + "/chain";
        std::filesystem::create_directory(experiments);
        write("chain.l", codeText(n));
        write("chain/exp.p", parameterText(n));
        write("chain/exp.r", runSpecText(n));
        write("chain/exp.u", plotSpecText(n));
        write("chain/exp.mr", multipleRunText(n));
        write("chain/exp.n", dataText(n));
    }
    ~Files()
    {
        std::error_code ignored;
        if (!dir.empty())
            std::filesystem::remove_all(dir, ignored);
    }
    void write(const std::string& name, const std::string& text) { platform::writeFileAtomically(dir + "/" + name, text); }
    std::string model() const { return dir + "/chain.l"; }
    std::string experiment(const char* extension) const { return experiments + "/exp" + extension; }
};

Files& filesOf(int n)
{
    static std::map<int, std::unique_ptr<Files>> made;
    std::unique_ptr<Files>& files = made[n];
    if (!files)
        files = std::make_unique<Files>(n);
    return *files;
}

/// Boxes would mean a reader failed: the benchmark stops on the first.
platform::ScriptedMessageSink g_boxes;

/// The model of n loaded (the state machine told), once per n in a row.
int g_loaded = -1;

bool loadModel(int n)
{
    if (g_loaded == n)
        return true;
    SetStatusFunction([](const std::string&, bool) {});
    platform::setMessageSink(&g_boxes);
    if (SimulatorState == StateNotStarted)
        PostSimulatorEvent(EventStartupDone);
    if (!LoadModel(filesOf(n).dir, "chain"))
        return false;
    g_loaded = n;
    return true;
}

/// Times `read` once per iteration; the benchmark fails when it gives false or shows a box.
template <class Read>
void timeReader(benchmark::State& state, Read read)
{
    const int n = int(state.range(0));
    if (!loadModel(n)) {
        state.SkipWithError("the model did not load");
        return;
    }
    Files& files = filesOf(n);
    g_boxes.clear();
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const bool good = read(files);
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        if (!good || !g_boxes.transcript().empty()) {
            state.SkipWithError(g_boxes.transcript().empty() ? "the reader failed"
                                                             : g_boxes.transcript().front().lines.front().c_str());
            return;
        }
    }
    state.counters["entries"] = double(n);
}

void CodeFile(benchmark::State& state)
{
    timeReader(state, [](Files& f) { return LoadCodeFile(f.model()) == 0; });
    g_loaded = -1; // the variables were read again: the state machine is told anew
}

void ParameterFile(benchmark::State& state)
{
    timeReader(state, [](Files& f) {
        return ReadParameterFile(f.experiment(".p")) == 0 && ReadInitialConditionFile(f.experiment(".p")) == 0;
    });
}

void RunSpecFile(benchmark::State& state)
{
    timeReader(state, [](Files& f) { return ReadRunSpecFile(f.experiment(".r"), RunSpecs()) == 0; });
}

void PlotSpecFile(benchmark::State& state)
{
    timeReader(state, [](Files& f) {
        return ReadPlotSpecs(f.experiment(".u"), PlotSpecs()) == 0 && PlotSpecs().curves[25].kind != 0;
    });
}

void MultipleRunFile(benchmark::State& state)
{
    timeReader(state, [](Files& f) { return ReadMultipleRunFile(f.experiment(".mr")) == 1; });
}

void DataFile(benchmark::State& state)
{
    timeReader(state, [n = int(state.range(0))](Files& f) {
        const auto content = ReadDataFileContent(f.experiment(".n"), true);
        return content && int(content->rows.size()) == n;
    });
}

void WholeExperiment(benchmark::State& state)
{
    timeReader(state, [](Files& f) { return LoadExperiment(f.experiments, "exp") == 1; });
}

double best(const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); }

} // namespace

#define READER(name)                                                                                          \
    BENCHMARK(name)->Arg(10000)->Arg(100000)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond)  \
        ->ComputeStatistics("best", best)
READER(CodeFile);
READER(ParameterFile);
READER(RunSpecFile);
READER(PlotSpecFile);
READER(MultipleRunFile);
READER(DataFile);
READER(WholeExperiment);

BENCHMARK_MAIN();
