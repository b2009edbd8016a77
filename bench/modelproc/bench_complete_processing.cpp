// Complete processing of generated chains of N mass-spring cells, from the model file to the
// written code files: the time of each processing step and the peak memory of the run.
// Each run is made in a child process, so that its peak resident size is its own.
#include "bench/modelproc/chain_model.h"
#include "bench/modelproc/processing_main.h"
#include "bench/resident_memory.h"
#include "common/settings_table.h"
#include "modelproc/display_hooks.h"
#include "modelproc/processing_pipeline.h"

#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

/// The steps of a run, named by the percentage the pipeline reports when each one ends
/// (101: the release of the records after the last one).
const std::map<int, const char*> StepNames = {
    {25, "parse_s"},  {50, "expand_s"}, {75, "causal_s"}, {80, "reshape_s"},
    {85, "collect_s"}, {90, "states_s"}, {95, "sort_s"},   {100, "write_s"}, {101, "release_s"},
};

/// A fresh model directory with the elements the chain uses and the chain itself.
std::string prepareDirectory(int n)
{
    const fs::path dir = fs::temp_directory_path() / ("orvanta-bench-" + std::to_string(getpid()) + "-" +
                                                       std::to_string(n));
    writeChainDirectory(dir, ORVANTA_LIBRARY_DIR, n);
    return dir.string();
}

/// Runs the pipeline once in this process and writes "result seconds", one line per step with its
/// time and the peak resident size reached by its end to `out`.
void processAndReport(const std::string& dir, FILE* out)
{
    using Clock = std::chrono::steady_clock;
    ResetSettings();
    Settings().model_dirs = dir;
    Pipeline() = PipelineState{};
    Pipeline().modelFile = dir + "/chain1.mg0";
    Pipeline().depth = 6;
    Pipeline().workingDirectory = dir;
    struct Mark {
        int percent;
        Clock::time_point at;
        double peak;
    };
    std::vector<Mark> marks;
    ttset_error_callback([](const char*, const char*, const char*, int, const char*, const char*) {});
    ttset_progress_callback([](const char*) {});
    ttset_diag_callback([](const char*) {});
    ttset_percent_callback(
        [&marks](int percent) { marks.push_back({percent, Clock::now(), peakResidentMegabytes()}); });
    const Clock::time_point start = Clock::now();
    const int result = ttprocess_model();
    const Clock::time_point end = Clock::now();
    std::fprintf(out, "%d %.9f\n", result, std::chrono::duration<double>(end - start).count());
    for (std::size_t i = 1; i < marks.size(); ++i)
        std::fprintf(out, "%d %.9f %.1f\n", marks[i].percent,
                     std::chrono::duration<double>(marks[i].at - marks[i - 1].at).count(), marks[i].peak);
    // After the last step the run gives its records back.
    if (!marks.empty())
        std::fprintf(out, "101 %.9f %.1f\n", std::chrono::duration<double>(end - marks.back().at).count(),
                     peakResidentMegabytes());
}

struct ChildRun {
    int result = 0;
    double seconds = 0;
    std::map<int, double> steps;
    std::map<int, double> stepPeaks; ///< MiB, the peak resident size by the end of each step
    double peakMegabytes = 0;
    double cpuSeconds = 0; ///< user and system time of the child
};

ChildRun runInChild(const std::string& dir)
{
    int fds[2];
    if (pipe(fds) != 0)
        throw std::runtime_error("no pipe");
    const pid_t child = fork();
    if (child < 0)
        throw std::runtime_error("no child process");
    if (child == 0) {
        close(fds[0]);
        FILE* out = fdopen(fds[1], "w");
        processAndReport(dir, out);
        std::fclose(out);
        _exit(0);
    }
    close(fds[1]);
    std::string text;
    char buffer[256];
    for (ssize_t got; (got = read(fds[0], buffer, sizeof buffer)) > 0;)
        text.append(buffer, std::size_t(got));
    close(fds[0]);
    int status = 0;
    struct rusage usage {};
    if (wait4(child, &status, 0, &usage) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::runtime_error("the processing child failed");
    ChildRun run;
    std::istringstream in(text);
    in >> run.result >> run.seconds;
    for (int percent; in >> percent;)
        in >> run.steps[percent] >> run.stepPeaks[percent];
    run.peakMegabytes = double(usage.ru_maxrss) / 1024.0; // kilobytes on Linux
    run.cpuSeconds = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                     double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    return run;
}

/// Instructions written to the dynamic, initial, input and output sections of the code file.
long instructionCount(const std::string& codeFile)
{
    std::ifstream in(codeFile);
    long count = 0;
    bool inEquations = false;
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("#E", 0) == 0)
            inEquations = true;
        else if (inEquations && !line.empty() && line[0] == '\t')
            ++count;
    }
    return count;
}

void BM_CompleteProcessing(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    ChildRun run;
    long instructions = 0;
    for (auto _ : state) {
        const std::string dir = prepareDirectory(n);
        run = runInChild(dir);
        if (run.result != 3)
            throw std::runtime_error("the chain is not processed completely");
        state.SetIterationTime(run.seconds);
        instructions = instructionCount(dir + "/chain1.l");
        fs::remove_all(dir);
    }
    state.counters["cells"] = n;
    state.counters["equations"] = 8.0 * n + 2;
    state.counters["instructions"] = double(instructions);
    state.counters["peak_MB"] = run.peakMegabytes;
    state.counters["cpu_s"] = run.cpuSeconds;
    for (const auto& [percent, name] : StepNames) {
        state.counters[name] = run.steps[percent];
        // The peak by the end of each step, as "parse_MB" for "parse_s".
        const std::string step(name);
        state.counters[step.substr(0, step.size() - 1) + "MB"] = run.stepPeaks[percent];
    }
}

BENCHMARK(BM_CompleteProcessing)
    ->Arg(100)
    ->Arg(1000)
    ->Arg(1250) // 10^4 equations
    ->Arg(10000)
    ->Arg(100000)
    ->Arg(1000000) // about 3 GB at its peak
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(1);

} // namespace
