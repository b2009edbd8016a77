// The model processor's call into the processing pipeline: the run takes the
// start-up's depth and working directory and the model file found for it.
#include "modelproc/program/processing_entry.h"

#include "common/model_file_names.h"
#include "common/settings_table.h"
#include "common/startup.h"
#include "modelproc/display_hooks.h"
#include "modelproc/processing_pipeline.h"

int RunModelProcessing(std::string& modelFile, const std::string& givenName)
{
    // A name no model's files can have is refused before any file is looked at.
    if (const std::string refusal = ModelNameRefusal(givenName); !refusal.empty()) {
        DisplayHooks().error("General error", nullptr, nullptr, -1, nullptr, refusal.c_str());
        modelFile.clear();
        return 0;
    }
    if (modelFile.empty() && !givenName.empty()) {
        const std::string message = "no model file of " + givenName + " found in the model directories " +
                                    Settings().model_dirs + ".";
        DisplayHooks().error("General error", nullptr, nullptr, -1, nullptr, message.c_str());
        return 0;
    }
    PipelineState& pipeline = Pipeline();
    pipeline.modelFile = modelFile;
    pipeline.depth = Startup().ProcessingDepth;
    pipeline.workingDirectory = Startup().WorkingDirectory;
    pipeline.aborted = 0;
    int result = ttprocess_model();
    // The pipeline falls back to an older status file under another name.
    modelFile = pipeline.modelFile;
    return result;
}
