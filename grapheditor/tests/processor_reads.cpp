// What the model processor makes of graph model files, for the editor's tests, which cannot
// link the processor beside the editor's own model core: for each file named after the
// model directories, one line of the parse's result, the result of processing it as far as the
// depth asks (6 when not given; at 3 the file is only read) and the parse's first error
// ("0\t3\t" for a file read whole and processed completely).
#include "common/settings_table.h"
#include "modelproc/display_hooks.h"
#include "modelproc/processing_pipeline.h"
#include "modelproc/record_release.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

int processToDepth(const std::string& modelFile, int depth)
{
    DisplayHooks().progress = [](const char*) {};
    DisplayHooks().diag = [](const char*) {};
    DisplayHooks().status = [](const char*) {};
    DisplayHooks().percent = [](int) {};
    DisplayHooks().error = [](const char*, const char*, const char*, int, const char*, const char*) {};
    Phases() = builtInPhases();
    Pipeline() = PipelineState{};
    Pipeline().modelFile = modelFile;
    Pipeline().depth = depth;
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
    int first = 1;
    int depth = 6;
    if (argc > 2 && std::string(argv[1]) == "-depth") {
        depth = std::atoi(argv[2]);
        first = 3;
    }
    if (argc < first + 1) {
        std::fprintf(stderr, "usage: processor_reads [-depth N] MODEL_DIRS FILE...\n");
        return 2;
    }
    ResetSettings();
    Settings().model_dirs = argv[first];
    for (int i = first + 1; i < argc; ++i) {
        std::string error;
        ClassRec* cls = nullptr;
        const int parsed = ttparse_file(argv[i], 3, cls,
                                        [&](const char* kind, const char* file, const char* submodel, int line,
                                            const char* token, const char* message) {
                                            if (error.empty())
                                                error = formatErrorLine(kind, file, submodel, line, token, message);
                                        });
        release_all();
        const int processed = parsed == 0 && depth > 3 ? processToDepth(argv[i], depth) : parsed;
        std::printf("%d\t%d\t%s\n", parsed, processed, error.c_str());
    }
    return 0;
}
