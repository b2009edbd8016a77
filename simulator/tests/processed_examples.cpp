// Test support: processing the example models.
#include "processed_examples.h"

#include "common/settings_table.h"
#include "modelproc/display_hooks.h"
#include "modelproc/model_records.h"
#include "modelproc/processing_pipeline.h"
#include "modelproc/record_release.h"
#include "simulator/model_variables.h"

#include <filesystem>

namespace modeltest {

namespace {

namespace fs = std::filesystem;

const std::string SourceDir = ORVANTA_SOURCE_DIR;

} // namespace

Processed processIn(const std::string& work, const std::string& model, int depth)
{
    ResetSettings();
    Settings().model_dirs = work;
    Settings().messages = 2; // errors and progress reach the log
    Pipeline() = PipelineState{};
    Pipeline().modelFile = work + "/" + model;
    Pipeline().depth = depth;
    Pipeline().workingDirectory = work;

    Processed out;
    const ProcessorDisplayHooks saved = DisplayHooks();
    const PipelinePhases phases = Phases();
    // The pipeline reports errors through the model processor's hook, which writes to its log.
    setProcessorLog([&out](const std::string& line) { out.messages.push_back(line); });
    ttset_progress_callback([&out](const char* text) { out.messages.push_back(text); });
    ttset_diag_callback([&out](const char* text) { out.messages.push_back(text); });
    // The loop inputs are named in the class only; the files number them.
    if (Phases().generate)
        Phases().generate = [&out, generate = phases.generate](ClassRec* cls, const std::string& file) {
            const int result = generate(cls, file);
            if (cls->equations)
                for (VarRec* v : cls->equations->algloop_in)
                    out.loopInputs.push_back(v->name.str());
            return result;
        };
    CurrentPosition() = ProcessingPosition{};
    out.result = ttprocess_model();
    Phases() = phases;
    DisplayHooks() = saved;
    setProcessorLog(nullptr);
    release_all();

    // The code file is named for the class and its version, not for the model file.
    for (const auto& entry : fs::directory_iterator(work))
        if (entry.path().extension() == ".l")
            out.codeFile = entry.path().string();
    return out;
}

std::string libraryFolder(const testsupport::TempDir& dir)
{
    static int folders = 0;
    const std::string work = dir.mkdir("run" + std::to_string(++folders));
    for (const auto& entry : fs::directory_iterator(SourceDir + "/examples/library"))
        fs::copy_file(entry.path(), work + "/" + entry.path().filename().string());
    return work;
}

Processed processExample(const testsupport::TempDir& dir, const std::string& model, int depth)
{
    const std::string work = libraryFolder(dir);
    // The models and the folders of their experiments.
    for (const auto& entry : fs::directory_iterator(SourceDir + "/examples/models"))
        fs::copy(entry.path(), work + "/" + entry.path().filename().string(), fs::copy_options::recursive);
    return processIn(work, model, depth);
}

int indexOf(int kind, const std::string& name)
{
    const VariableKind& k = Variables().kinds[kind];
    for (std::size_t i = 0; i < k.entries.size(); ++i)
        for (const std::string& n : k.entries[i].names)
            if (n == name)
                return int(i);
    return -1;
}

std::string namesOf(int kind)
{
    std::string text;
    for (const VariableEntry& e : Variables().kinds[kind].entries)
        for (const std::string& n : e.names)
            text += n + " ";
    return text;
}

} // namespace modeltest
