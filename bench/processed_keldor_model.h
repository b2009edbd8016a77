// What the benchmarks that run Keldor models of their own share: the model processed completely
// into its code file in a folder kept between the benchmark's processes, and the processor time
// of the process (on a shared machine steadier than the clock).
#pragma once

#include "common/settings_table.h"
#include "modelproc/display_hooks.h"
#include "modelproc/processing_pipeline.h"
#include "modelproc/record_release.h"

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>

namespace processedmodel {

/// The processor time of this process, in seconds.
inline double processorSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

/// The folder the code files are kept in: the one the environment variable names, else one of
/// the temporary directory named after `stem` and the user.
inline std::filesystem::path codeDirectory(const char* variable, const std::string& stem)
{
    const char* given = std::getenv(variable);
    const std::filesystem::path dir = given && *given ? std::filesystem::path(given)
                                                      : std::filesystem::temp_directory_path() /
                                                            (stem + "-" + std::to_string(getuid()));
    std::filesystem::create_directories(dir);
    return dir;
}

/// Writes the model `name` (version 1) into the fresh folder `dir` and processes it completely:
/// its code file, or empty on failure; `seconds` the processing's.
inline std::string process(const std::filesystem::path& dir, const std::string& name, const std::string& text,
                           double& seconds)
{
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    std::ofstream(dir / (name + "1.mf0")) << text;
    ResetSettings();
    Settings().model_dirs = dir.string();
    Pipeline() = PipelineState{};
    Pipeline().modelFile = (dir / (name + "1.mf0")).string();
    Pipeline().depth = 6;
    Pipeline().workingDirectory = dir.string();
    ttset_error_callback([](const char*, const char*, const char*, int, const char*, const char*) {});
    ttset_progress_callback([](const char*) {});
    ttset_diag_callback([](const char*) {});
    const auto start = std::chrono::steady_clock::now();
    const int result = ttprocess_model();
    seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    release_all();
    const std::filesystem::path code = dir / (name + "1.l");
    return result == 3 && std::filesystem::exists(code) ? code.string() : std::string();
}

/// The code file of the model `name` kept in `dir` from an earlier process, else the one `process`
/// (seconds) makes there as `process` above does; empty on failure.
template <class Process>
std::string keptCodeFile(const std::filesystem::path& dir, const std::string& name, Process process)
{
    const std::filesystem::path code = dir / (name + "1.l");
    if (std::filesystem::exists(code))
        return code.string();
    double seconds = 0;
    return process(seconds);
}

/// The iterations of a benchmark that times the processing of a model, `process` (seconds) doing
/// it: false, with the benchmark skipped, when the model does not process.
template <class Process>
bool timeProcessing(benchmark::State& state, Process process)
{
    double seconds = 0;
    for (auto _ : state) {
        if (process(seconds).empty()) {
            state.SkipWithError("the model does not process");
            return false;
        }
        state.SetIterationTime(seconds);
    }
    return true;
}

} // namespace processedmodel
