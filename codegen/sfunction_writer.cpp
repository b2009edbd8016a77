// The S-function writer: the callbacks of the host's C interface over the model's
// equations, with the host's states and time.
#include "codegen/sfunction_writer.h"

#include "common/message_boxes.h"

namespace {

/// The initial states into the host's vector, when it has one.
std::string initialStates(const GeneratorModel& model)
{
    if (model.initialConditions.empty())
        return {};
    std::string lines = ValueLines("x0", model.initialConditions);
    std::string text = "\tif (x0 != NULL)\n\t{\n";
    for (std::size_t start = 0; start < lines.size();) {
        const std::size_t end = lines.find('\n', start) + 1;
        text += "\t" + lines.substr(start, end - start);
        start = end;
    }
    return text + "\t}\n";
}

} // namespace

std::vector<std::string> SFunctionFileNames(const std::string& functionName)
{
    return {"xxmextps.h", "xxmexfcs.c", functionName + ".c"};
}

bool WriteSFunctionFiles(const GeneratorModel& model, const std::string& outputDirectory,
                         const std::string& functionName, const ProgressFunction& progress)
{
    if (!IsCName(functionName)) {
        ShowMessage({"The function name " + functionName + " is not a C name",
                     "the S-function is not generated"});
        return false;
    }
    if (std::vector<std::string> reason = CodeRefusal(model, CodeKind::SFunction, "the S-function");
        !reason.empty()) {
        ShowMessageLines(reason);
        return false;
    }
    TemplateValues values = ModelTemplateValues(model);
    values["function_name"] = functionName;
    // the host's state vector holds the independent states
    values["number_of_states"] = std::to_string(model.independentStates.size());
    values["initial_states"] = initialStates(model);
    values["input_copies"] = BoundaryCopyLines(model.inputs, "u", false, functionName);
    values["output_copies"] = BoundaryCopyLines(model.outputs, "y", true, functionName);
    values["static_again"] =
        model.inputs.empty() || model.initialEquations.empty()
            ? ""
            : "\t/* the static part again: it may depend on the inputs */\n" + values["initial_equations"] + "\n";
    // mdlOutputs passes the model's own rates, which need no copy
    values["rate_copy"] = model.independentStates.empty()
                              ? ""
                              : "\n\tif (dx != xx_rates)\n\t{\n\t\tmemcpy (dx, xx_rates, xx_number_of_states * "
                                "sizeof (double));\n\t}\n";
    struct File {
        std::string templateName;
        std::string name;
        std::vector<std::string> banner;
        int percent;
    };
    const File files[] = {
        {"xxmextps.h", "xxmextps.h", {}, 70},
        {"xxmexfcs.c", "xxmexfcs.c", {}, 80},
        {"sfunction.c", functionName + ".c",
         {"model: " + model.modelName + ".e", "experiment: " + model.experimentName}, 100},
    };
    for (const File& file : files) {
        values["banner"] = FileBanner(file.name, file.banner);
        if (!WriteTemplateFile(file.templateName, values, outputDirectory, file.name))
            return false;
        if (progress)
            progress(file.percent);
    }
    return true;
}
