// The code generator's dialogs without their widgets.
#include "codegen/generator_dialog_logic.h"

#include "codegen/sfunction_writer.h"
#include "codegen/standalone_writer.h"
#include "codegen/submodel_writer.h"
#include "common/message_boxes.h"
#include "common/model_file_names.h"
#include "platform/core/choosers.h"
#include "platform/core/file_system.h"
#include "platform/core/message_sink.h"

#include <cctype>
#include <optional>

namespace {

/// The folder part of a path up to and including its last '/', and the rest.
std::pair<std::string, std::string> splitAtLastSlash(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return {std::string(), path};
    return {path.substr(0, slash + 1), path.substr(slash + 1)};
}

/// The file name without its extension (the file title).
std::string fileTitle(const std::string& name)
{
    const std::size_t dot = name.rfind('.');
    return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

/// The path of a found file without its extension.
std::string withoutExtension(const std::string& path)
{
    const auto [folder, name] = splitAtLastSlash(path);
    return folder + fileTitle(name);
}

/// The experiment's first file in the folder (parameters, run, plot), as it is on disk.
std::optional<std::string> experimentFileIn(const std::string& folder, const GeneratorFields& fields)
{
    if (std::optional<std::string> found = FindParameterFile(folder, fields.modelName, fields.experimentName))
        return found;
    if (std::optional<std::string> found = FindRunSpecFile(folder, fields.modelName, fields.experimentName))
        return found;
    return FindPlotSpecFile(folder, fields.modelName, fields.experimentName);
}

std::string modelExperimentFolder(const GeneratorFields& fields)
{
    return fields.modelPath + fields.modelName;
}

} // namespace

GeneratorFields InitialFields(const char* model, const char* experiment, const char* submodel)
{
    GeneratorFields fields;
    if (model) {
        auto [folder, name] = splitAtLastSlash(model);
        fields.modelPath = std::move(folder);
        fields.modelName = std::move(name);
    }
    if (experiment)
        fields.experimentName = experiment;
    if (submodel)
        fields.submodel = submodel;
    return fields;
}

bool SimulationOutputApplies(int outputKind)
{
    return outputKind == StandAloneOutput;
}

void TakeChosenModel(GeneratorFields& fields, const std::string& path)
{
    auto [folder, name] = splitAtLastSlash(path);
    fields.modelPath = std::move(folder);
    fields.modelName = fileTitle(name);
    fields.experimentDirectory.clear();
}

void TakeChosenExperiment(GeneratorFields& fields, const std::string& path)
{
    auto [folder, name] = splitAtLastSlash(path);
    fields.experimentName = fileTitle(name);
    fields.experimentDirectory = folder.empty() ? std::string(".") : folder;
}

std::string ExperimentChooserFolder(const GeneratorFields& fields)
{
    if (!fields.modelName.empty() && platform::isDirectory(modelExperimentFolder(fields)))
        return modelExperimentFolder(fields) + "/";
    return fields.modelPath;
}

std::string FolderChooserStart(const std::string& path)
{
    if (path.size() > 1 && path.back() == '/')
        return path.substr(0, path.size() - 1);
    return path;
}

std::optional<std::string> BrowseForOutputFolder(platform::WindowHandle owner, const std::string& start)
{
    platform::FolderChooserRequest request;
    request.title = "Select the output directory";
    request.start = FolderChooserStart(start);
    request.owner = owner;
    std::optional<std::string> chosen = platform::chooserSink().chooseFolder(request);
    if (chosen && chosen->empty())
        return std::nullopt;
    return chosen;
}

std::string ExperimentBase(const GeneratorFields& fields)
{
    const std::string own = modelExperimentFolder(fields);
    if (!fields.experimentName.empty()) {
        std::vector<std::string> folders;
        if (!fields.experimentDirectory.empty())
            folders.push_back(fields.experimentDirectory);
        else
            folders = {own, fields.modelPath};
        for (const std::string& folder : folders)
            if (std::optional<std::string> found = experimentFileIn(folder, fields))
                return withoutExtension(*found);
    }
    return own + "/" + fields.experimentName;
}

GenerationRequest RequestOf(const GeneratorFields& fields)
{
    GenerationRequest request;
    request.modelFile = fields.modelPath + fields.modelName + ".e";
    request.experimentBase = ExperimentBase(fields);
    request.experimentName = fields.experimentName;
    request.outputDirectory = fields.outputDirectory;
    request.simulationOutput = fields.simulationOutput;
    return request;
}

bool PrepareOutputDirectory(const std::string& directory)
{
    if (directory.empty() || platform::isDirectory(directory))
        return true;
    platform::MessageBoxRequest question;
    question.kind = platform::BoxKind::Confirm;
    question.caption = "Orvanta Warning";
    question.lines = {"The given output directory does not exist,", "do you wish to create it?"};
    question.owner = CurrentMessageOwner();
    if (platform::messageSink().show(question) != platform::BoxAnswer::Ok)
        return false;
    if (platform::makeDirectory(directory) != 0) {
        ShowGeneratorBox("Orvanta Warning",
                         {"Unable to create given output directory", "The file system may not be writable"});
        return false;
    }
    return true;
}

namespace {

/// The files a generation of the kind writes, in the order its report lists them.
std::vector<std::string> reportedFiles(int outputKind, const std::string& functionName)
{
    switch (outputKind) {
    case SFunctionOutput:
        return {functionName + ".c", "xxmexfcs.c", "xxmextps.h"};
    case FunctionOutput:
        return {"xxsubmod.c", "xxmodel.c", "xxinteg.c", "xxfuncs.c", "xxmain.c",
                "xxsubmod.h", "xxmodel.h", "xxinteg.h", "xxfuncs.h", "xxtypes.h"};
    default:
        return {"xxmain.c", "xxmodel.c", "xxinteg.c", "xxfuncs.c", "xxoutput.c",
                "xxmodel.h", "xxinteg.h", "xxfuncs.h", "xxoutput.h", "xxtypes.h"};
    }
}

} // namespace

std::vector<std::string> SuccessLines(int outputKind, const std::string& directory, const std::string& functionName)
{
    std::vector<std::string> lines;
    switch (outputKind) {
    case SFunctionOutput:
        lines = {"S-Function code generated successfully", std::string(32, '=')};
        break;
    case FunctionOutput:
        lines = {"Submodel code generated successfully", std::string(32, '=')};
        break;
    default:
        lines = {"Stand-alone code generated successfully", std::string(33, '=')};
        break;
    }
    lines.insert(lines.end(), {"", "generated files:", ""});
    for (const std::string& file : reportedFiles(outputKind, functionName))
        lines.push_back("    " + file);
    lines.insert(lines.end(), {"", "in directory:", "", "    " + directory});
    return lines;
}

std::string GenerationStatus(int outputKind, const GenerationResult& result)
{
    if (result.outcome != GenerationOutcome::Written) {
        std::string reason = result.reason.empty() ? std::string("the generation stopped") : result.reason;
        reason[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(reason[0])));
        return (result.writingStarted ? "Not every file written: " : "Nothing written: ") + reason;
    }
    std::string what;
    switch (outputKind) {
    case SFunctionOutput:
        what = "S-function " + result.block.functionName;
        break;
    case FunctionOutput:
        what = "Submodel function " + result.block.functionName;
        break;
    default:
        what = "Stand-alone program";
        break;
    }
    const std::size_t files = reportedFiles(outputKind, result.block.functionName).size();
    return what + " written to " + result.outputDirectory + " (" + std::to_string(files) + " files)";
}

GenerationOutcome GenerateFromFields(GeneratorFields& fields, const GenerationChoices& choices,
                                     const ProgressFunction& progress)
{
    const GenerationRequest request = RequestOf(fields);
    const BlockRequest proposed{fields.submodel, "Noname"};
    GenerationResult result;
    switch (fields.outputKind) {
    case SFunctionOutput:
        result = GenerateSFunction(request, proposed, progress, choices);
        break;
    case FunctionOutput:
        result = GenerateSubmodelFunction(request, proposed, progress, choices);
        break;
    default:
        result = GenerateStandAlone(request, progress, choices);
        break;
    }
    if (fields.outputKind != StandAloneOutput)
        fields.submodel = result.block.submodel;
    if (!result.outputDirectory.empty())
        fields.outputDirectory = result.outputDirectory;
    fields.status = GenerationStatus(fields.outputKind, result);
    if (result.outcome == GenerationOutcome::Written)
        ShowGeneratorBox("Orvanta Message", SuccessLines(fields.outputKind, result.outputDirectory,
                                                         result.block.functionName));
    return result.outcome;
}

std::string ProposedFunctionName(const std::string* entry)
{
    if (!entry)
        return "Noname";
    const std::size_t quote = entry->rfind('`');
    return quote == std::string::npos ? *entry : entry->substr(quote + 1);
}

int PresetEntry(const std::vector<std::string>& entries, const std::string& preset)
{
    if (preset.empty())
        return -1;
    // the submodel itself before one whose name only begins with it ("pump" before "pumpkin")
    for (std::size_t i = 0; i < entries.size(); ++i)
        if (entries[i] == preset)
            return int(i);
    for (std::size_t i = 0; i < entries.size(); ++i)
        if (entries[i].compare(0, preset.size(), preset) == 0)
            return int(i);
    return -1;
}

std::vector<std::string> FunctionNameRefusal(const std::string& name, int outputKind)
{
    if (outputKind != SFunctionOutput || IsCName(name))
        return {};
    return {"The function name " + name + " is not a C name",
            "It must begin with a letter or '_', go on with letters, digits and '_',",
            "and be no word of C."};
}

bool SwapLogoPictures(LogoState& state, bool rightButton)
{
    state.up = rightButton ? LogoRightUp : LogoLeftUp;
    state.down = LogoSwapDown;
    state.sound = rightButton ? 130 : 149;
    const bool first = !state.swapped;
    state.swapped = true;
    return first;
}
