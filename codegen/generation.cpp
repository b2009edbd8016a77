// The steps of a generation from reading the model to writing the files.
#include "codegen/generation.h"

#include "codegen/equation_file_reader.h"
#include "codegen/experiment_reader.h"
#include "codegen/sfunction_writer.h"
#include "codegen/standalone_writer.h"
#include "codegen/submodel_extraction.h"
#include "codegen/submodel_writer.h"
#include "common/message_boxes.h"

namespace {

void report(const ProgressFunction& progress, int percent)
{
    if (progress)
        progress(percent);
}

/// The model and the experiment of the request; false after the message.
bool readInputs(const GenerationRequest& request, GeneratorModel& model, const ProgressFunction& progress)
{
    report(progress, 0);
    if (!ReadEquationFile(model, request.modelFile)) {
        ShowMessage({"Error reading the specified model file", "", request.modelFile});
        return false;
    }
    report(progress, 20);
    if (!request.experimentBase.empty() &&
        !ReadExperiment(model, request.experimentBase, request.experimentName))
        ShowMessage({"Could not open the experiment", "", "Generated code will contain default settings"});
    return true;
}

void failed()
{
    ShowMessage({"An error occured, one or more files", "could not be generated"});
}

using BlockWriter = bool (*)(const GeneratorModel&, const std::string&, const std::string&, const ProgressFunction&);

bool generateBlock(const GenerationRequest& request, const BlockRequest& block, const ProgressFunction& progress,
                   BlockWriter write)
{
    GeneratorModel model("Noname");
    if (!readInputs(request, model, progress))
        return false;
    // the dialog's submodel chooser comes between these two
    report(progress, 30);
    report(progress, 40);
    std::unique_ptr<GeneratorModel> submodel = ExtractSubmodel(model, block.submodel);
    if (submodel)
        report(progress, 50);
    if (!submodel || !write(*submodel, request.outputDirectory, block.functionName, progress)) {
        failed();
        return false;
    }
    return true;
}

} // namespace

bool GenerateStandAlone(const GenerationRequest& request, const ProgressFunction& progress)
{
    GeneratorModel model("Noname");
    if (!readInputs(request, model, progress))
        return false;
    // the dialog asks for the output directory between these two
    report(progress, 35);
    report(progress, 50);
    model.simulationOutput = request.simulationOutput;
    if (!WriteStandAloneFiles(model, request.outputDirectory, progress)) {
        failed();
        return false;
    }
    return true;
}

bool GenerateSubmodelFunction(const GenerationRequest& request, const BlockRequest& block,
                              const ProgressFunction& progress)
{
    return generateBlock(request, block, progress, WriteSubmodelFiles);
}

bool GenerateSFunction(const GenerationRequest& request, const BlockRequest& block, const ProgressFunction& progress)
{
    return generateBlock(request, block, progress, WriteSFunctionFiles);
}
