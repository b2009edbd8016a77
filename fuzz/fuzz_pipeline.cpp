// Fuzz target of the whole model processing: the fuzzer's bytes are a main model, then (after a
// NUL byte) the description of the submodel type "sub" version 1, then (after another NUL) the
// main model's arguments file. Both are written into a folder that also holds the element
// library, and the main model is taken through parsing, expansion, causal analysis, equation
// generation and the writers of the template, code and equation files.
#include "common/settings_table.h"
#include "modelproc/display_hooks.h"
#include "modelproc/model_records.h"
#include "modelproc/processing_pipeline.h"
#include "modelproc/record_release.h"
#include "platform/core/message_sink.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

/// A folder of this process with the element library in it, removed when the process ends.
const std::string& workFolder()
{
    // Never destroyed: the handler that removes the folder at exit still reads it.
    static const std::string* folder = [] {
        std::error_code error;
        fs::path path = fs::temp_directory_path(error) / ("orvanta-fuzz-pipeline-" + std::to_string(::getpid()));
        fs::remove_all(path, error);
        fs::create_directories(path, error);
        for (const auto& entry : fs::directory_iterator(ORVANTA_LIBRARY_DIR, error))
            fs::copy_file(entry.path(), path / entry.path().filename(), error);
        auto* name = new std::string(path.string());
        std::atexit([] {
            std::error_code ignored;
            fs::remove_all(*folder, ignored);
        });
        return name;
    }();
    return *folder;
}

/// Removes what the last run left: the models, their arguments, processed and template files.
/// The library's descriptions stay (under their processed names after the first run).
void clearRun(const std::string& folder)
{
    std::error_code error;
    std::vector<fs::path> left;
    for (const auto& entry : fs::directory_iterator(folder, error)) {
        const std::string name = entry.path().filename().string();
        const std::string ext = entry.path().extension().string();
        if (name.rfind("main", 0) == 0 || name.rfind("sub", 0) == 0 || ext == ".l" || ext == ".e" || ext == ".t1" ||
            ext == ".t2")
            left.push_back(entry.path());
    }
    for (const fs::path& path : left)
        fs::remove_all(path, error);
}

void writeFile(const std::string& path, std::string_view text)
{
    std::ofstream(path, std::ios::binary).write(text.data(), static_cast<std::streamsize>(text.size()));
}

/// The extension a description is written with: graph or equation model by its first word.
const char* extension(std::string_view text, bool main)
{
    const bool graph = text.find("bond graph") != std::string_view::npos;
    return main ? (graph ? ".mg0" : ".mf0") : (graph ? ".sg0" : ".sf0");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static platform::SilentMessageSink sink;
    static const std::string& folder = [] () -> const std::string& {
        platform::setMessageSink(&sink);
        // Sizes within these are processed in moments; the refusals beyond them are what is fuzzed.
        elementBounds() = ElementBounds{4096, 65536};
        return workFolder();
    }();
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::size_t firstCut = bytes.find('\0');
    const std::string_view main = bytes.substr(0, firstCut);
    std::string_view sub;
    std::string_view arguments;
    if (firstCut != std::string_view::npos) {
        std::string_view rest = bytes.substr(firstCut + 1);
        const std::size_t secondCut = rest.find('\0');
        sub = rest.substr(0, secondCut);
        if (secondCut != std::string_view::npos)
            arguments = rest.substr(secondCut + 1);
    }

    clearRun(folder);
    const std::string mainFile = folder + "/main1" + extension(main, true);
    writeFile(mainFile, main);
    if (firstCut != std::string_view::npos)
        writeFile(folder + "/sub1" + extension(sub, false), sub);
    if (!arguments.empty())
        writeFile(folder + "/main1.mga", arguments);

    ResetSettings();
    Settings().model_dirs = folder;
    Settings().messages = 0;
    Settings().tempfiles = 1;
    ttset_error_callback(ttdisplay_error_comp);
    ttset_progress_callback(nullptr);
    ttset_diag_callback(nullptr);
    ttset_percent_callback(nullptr);
    DisplayHooks().status = nullptr;
    setProcessorLog(nullptr);
    Pipeline() = PipelineState{};
    Pipeline().modelFile = mainFile;
    Pipeline().depth = 6;
    Pipeline().workingDirectory = folder;
    CurrentPosition() = ProcessingPosition{};
    const int result = ttprocess_model();
    if (result < -3 || result > 3)
        __builtin_trap();
    // A complete processing leaves both processed files.
    if (result == 3) {
        bool code = false, equations = false;
        std::error_code error;
        for (const auto& entry : fs::directory_iterator(folder, error)) {
            code = code || entry.path().extension() == ".l";
            equations = equations || entry.path().extension() == ".e";
        }
        if (!code || !equations)
            __builtin_trap();
    }
    release_all();
    return 0;
}
