// The steps of a generation from reading the model to writing the files.
#include "codegen/generation.h"

#include "codegen/equation_file_reader.h"
#include "codegen/experiment_reader.h"
#include "codegen/sfunction_writer.h"
#include "codegen/standalone_writer.h"
#include "codegen/submodel_extraction.h"
#include "codegen/submodel_writer.h"
#include "common/message_boxes.h"
#include "platform/core/message_sink.h"

namespace {

void report(const ProgressFunction& progress, int percent)
{
    if (progress)
        progress(percent);
}

/// While it lives, the boxes shown go on to the sink in use, and the first line of the
/// first of them is kept: what a step that refused said about it.
class FirstMessageLine : public platform::MessageSink {
public:
    FirstMessageLine() : m_next(platform::messageSink()), m_scope(*this) {}

    platform::BoxAnswer show(const platform::MessageBoxRequest& box) override
    {
        if (!m_said && !box.lines.empty()) {
            m_said = true;
            m_line = box.lines.front();
        }
        return m_next.show(box);
    }

    bool said() const { return m_said; }
    const std::string& line() const { return m_line; }

private:
    platform::MessageSink& m_next;
    platform::ScopedMessageSink m_scope;
    bool m_said = false;
    std::string m_line;
};

/// The model and the experiment of the request; false after the one message that says
/// why, which `reason` repeats in short.
bool readInputs(const GenerationRequest& request, GeneratorModel& model, const ProgressFunction& progress,
                std::string& reason)
{
    report(progress, 0);
    bool read = false;
    bool said = false;
    {
        const FirstMessageLine message;
        read = ReadEquationFile(model, request.modelFile);
        said = message.said();
        reason = message.line();
    }
    if (!read) {
        // The reader names what it refused; only a file it could not open is left to say.
        if (!said) {
            ShowGeneratorBox("Orvanta Error", {"Error reading the specified model file", "", request.modelFile});
            reason = "the model file " + request.modelFile + " could not be read";
        }
        return false;
    }
    reason.clear();
    report(progress, 20);
    if (request.experimentBase.empty())
        return true;
    std::vector<std::string> unread;
    const bool someRead = ReadExperiment(model, request.experimentBase, request.experimentName, unread);
    if (!unread.empty()) {
        // A program of an experiment asked for by name must not compute with values nobody gave.
        std::vector<std::string> lines{"These files of the experiment could not be read:"};
        lines.insert(lines.end(), unread.begin(), unread.end());
        if (request.experimentRequired) {
            lines.insert(lines.end(), {"", "No files were generated."});
            ShowGeneratorBox("Orvanta Error", lines);
            reason = "the experiment " + request.experimentBase + " could not be read";
            return false;
        }
        if (!someRead) {
            ShowGeneratorBox("Orvanta Warning",
                             {"Could not open the experiment", "", "Generated code will contain default settings"});
            return true;
        }
        lines.insert(lines.end(), {"", "Generated code will contain default settings for what they give"});
        ShowGeneratorBox("Orvanta Warning", lines);
    }
    ReportValuesNotGiven(model);
    return true;
}

/// The files were not all written: the message says so.
GenerationResult failed(GenerationResult result)
{
    ShowGeneratorBox("Orvanta Error", {"An error occured, one or more files", "could not be generated"});
    result.outcome = GenerationOutcome::Failed;
    result.reason = "one or more files could not be written";
    result.writingStarted = true;
    return result;
}

/// A step refused before any file was written, and its message said why.
GenerationResult refused(GenerationResult result, std::string reason)
{
    result.outcome = GenerationOutcome::Failed;
    result.reason = std::move(reason);
    return result;
}

GenerationResult cancelled(GenerationResult result, std::string reason)
{
    result.outcome = GenerationOutcome::Cancelled;
    result.reason = std::move(reason);
    return result;
}

/// The output directory of the request, else the one the user chooses; false when none is chosen.
bool outputDirectory(const GenerationRequest& request, const GenerationChoices& choices, GenerationResult& result)
{
    result.outputDirectory = request.outputDirectory;
    if (!result.outputDirectory.empty() || !choices.chooseOutputDirectory)
        return true;
    std::optional<std::string> chosen = choices.chooseOutputDirectory();
    if (!chosen)
        return false;
    result.outputDirectory = *chosen;
    return true;
}

constexpr const char* kNoDirectory = "no output directory was chosen";

using BlockWriter = bool (*)(const GeneratorModel&, const std::string&, const std::string&, const ProgressFunction&);

GenerationResult generateBlock(const GenerationRequest& request, const BlockRequest& block,
                               const ProgressFunction& progress, const GenerationChoices& choices, BlockWriter write)
{
    GenerationResult result;
    result.block = block;
    GeneratorModel model("Noname");
    if (std::string reason; !readInputs(request, model, progress, reason))
        return refused(result, reason);
    report(progress, 30);
    if (choices.chooseBlock) {
        std::optional<BlockRequest> chosen = choices.chooseBlock(model, block);
        if (!chosen)
            return cancelled(result, "no submodel was chosen");
        result.block = *chosen;
    }
    report(progress, 40);
    std::unique_ptr<GeneratorModel> submodel;
    std::string why;
    {
        const FirstMessageLine message;
        submodel = ExtractSubmodel(model, result.block.submodel);
        why = message.line();
    }
    if (!submodel)
        return refused(result, why.empty() ? "the submodel " + result.block.submodel + " could not be taken out" : why);
    if (!outputDirectory(request, choices, result))
        return cancelled(result, kNoDirectory);
    report(progress, 50);
    if (!write(*submodel, result.outputDirectory, result.block.functionName, progress))
        return failed(result);
    result.outcome = GenerationOutcome::Written;
    return result;
}

} // namespace

void ShowGeneratorBox(const std::string& caption, const std::vector<std::string>& lines)
{
    platform::MessageBoxRequest box;
    box.caption = caption;
    box.lines = lines;
    box.owner = CurrentMessageOwner();
    box.icon = caption == "Orvanta Message" ? platform::BoxIcon::Information : platform::BoxIcon::Exclamation;
    platform::messageSink().show(box);
}

GenerationResult GenerateStandAlone(const GenerationRequest& request, const ProgressFunction& progress,
                                    const GenerationChoices& choices)
{
    GenerationResult result;
    GeneratorModel model("Noname");
    if (std::string reason; !readInputs(request, model, progress, reason))
        return refused(result, reason);
    report(progress, 35);
    if (!outputDirectory(request, choices, result))
        return cancelled(result, kNoDirectory);
    report(progress, 50);
    model.simulationOutput = request.simulationOutput;
    if (!WriteStandAloneFiles(model, result.outputDirectory, progress))
        return failed(result);
    result.outcome = GenerationOutcome::Written;
    return result;
}

GenerationResult GenerateSubmodelFunction(const GenerationRequest& request, const BlockRequest& block,
                                          const ProgressFunction& progress, const GenerationChoices& choices)
{
    return generateBlock(request, block, progress, choices, WriteSubmodelFiles);
}

GenerationResult GenerateSFunction(const GenerationRequest& request, const BlockRequest& block,
                                   const ProgressFunction& progress, const GenerationChoices& choices)
{
    return generateBlock(request, block, progress, choices, WriteSFunctionFiles);
}
