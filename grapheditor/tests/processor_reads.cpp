// What the model processor makes of graph model files, for the editor's tests, which cannot
// link the processor beside the editor's own model core: for each file named after the
// model directories, one line of the parse's result, the complete processing's result and
// the parse's first error ("0\t3\t" for a file read whole and processed).
#include "common/settings_table.h"
#include "modelproc/display_hooks.h"
#include "modelproc/processing_pipeline.h"
#include "modelproc/record_release.h"

#include <cstdio>
#include <string>

namespace {

int processCompletely(const std::string& modelFile)
{
    DisplayHooks().progress = [](const char*) {};
    DisplayHooks().diag = [](const char*) {};
    DisplayHooks().status = [](const char*) {};
    DisplayHooks().percent = [](int) {};
    DisplayHooks().error = [](const char*, const char*, const char*, int, const char*, const char*) {};
    Phases() = builtInPhases();
    Pipeline() = PipelineState{};
    Pipeline().modelFile = modelFile;
    Pipeline().depth = 6;
    Pipeline().workingDirectory = modelFile.substr(0, modelFile.rfind('/'));
    ttset_error_callback(ttdisplay_error_comp);
    CurrentPosition() = ProcessingPosition{};
    const int result = ttprocess_model();
    release_all();
    return result;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: processor_reads MODEL_DIRS FILE...\n");
        return 2;
    }
    ResetSettings();
    Settings().model_dirs = argv[1];
    for (int i = 2; i < argc; ++i) {
        std::string first;
        ClassRec* cls = nullptr;
        const int parsed = ttparse_file(argv[i], 3, cls,
                                        [&](const char* kind, const char* file, const char* submodel, int line,
                                            const char* token, const char* message) {
                                            if (first.empty())
                                                first = formatErrorLine(kind, file, submodel, line, token, message);
                                        });
        release_all();
        const int processed = parsed == 0 ? processCompletely(argv[i]) : parsed;
        std::printf("%d\t%d\t%s\n", parsed, processed, first.c_str());
    }
    return 0;
}
