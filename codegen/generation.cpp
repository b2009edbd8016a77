// The steps of a generation from reading the model to writing the files.
#include "codegen/generation.h"

#include "codegen/equation_file_reader.h"
#include "codegen/experiment_reader.h"
#include "common/message_boxes.h"

bool GenerateStandAlone(const GenerationRequest& request, const ProgressFunction& progress)
{
    auto report = [&](int percent) {
        if (progress)
            progress(percent);
    };
    report(0);
    GeneratorModel model("Noname");
    if (!ReadEquationFile(model, request.modelFile)) {
        ShowMessage({"Error reading the specified model file", "", request.modelFile});
        return false;
    }
    report(20);
    if (!request.experimentBase.empty() &&
        !ReadExperiment(model, request.experimentBase, request.experimentName))
        ShowMessage({"Could not open the experiment", "", "Generated code will contain default settings"});
    // the dialog asks for the output directory between these two
    report(35);
    report(50);
    model.simulationOutput = request.simulationOutput;
    if (!WriteStandAloneFiles(model, request.outputDirectory, progress)) {
        ShowMessage({"An error occured, one or more files", "could not be generated"});
        return false;
    }
    return true;
}
