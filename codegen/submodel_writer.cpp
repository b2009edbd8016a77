// The submodel function writer: the model's files of the stand-alone program, the
// block's interface in xxsubmod.h and xxsubmod.c, and a demonstration main.
#include "codegen/submodel_writer.h"

#include "common/message_boxes.h"

#include <algorithm>

namespace {

std::vector<std::string> bannerLines(const GeneratorModel& model, const std::string& file,
                                     const std::string& functionName)
{
    if (file == "xxmodel.c")
        return {"model: " + model.modelName + ".e"};
    if (file == "xxsubmod.c")
        return {"model: " + model.modelName + ".e", "submodel: " + functionName};
    if (file == "xxmain.c")
        return {"model: " + model.modelName + ".e", "experiment: " + model.experimentName};
    return {};
}

} // namespace

const std::vector<std::string>& SubmodelFileNames()
{
    static const std::vector<std::string> names{"xxtypes.h", "xxmodel.h",  "xxsubmod.h", "xxinteg.h", "xxfuncs.h",
                                                "xxmain.c",  "xxsubmod.c", "xxmodel.c",  "xxinteg.c", "xxfuncs.c"};
    return names;
}

bool WriteSubmodelFiles(const GeneratorModel& model, const std::string& outputDirectory,
                        const std::string& functionName, const ProgressFunction& progress)
{
    if (std::vector<std::string> reason = CodeRefusal(model, CodeKind::Program, "the submodel function");
        !reason.empty()) {
        ShowMessageLines(reason);
        return false;
    }
    TemplateValues values = ModelTemplateValues(model);
    values["function_name"] = CommentText(functionName);
    values["input_copies"] = BoundaryCopyLines(model.inputs, "u", false, functionName);
    values["output_copies"] = BoundaryCopyLines(model.outputs, "y", true, functionName);
    // the demonstration's vectors hold every input and output, and at least one element
    values["input_length"] = std::to_string(std::max<std::size_t>(model.inputs.size(), 1));
    values["output_length"] = std::to_string(std::max<std::size_t>(model.outputs.size(), 1));
    int percent = 55;
    for (const std::string& file : SubmodelFileNames()) {
        // the demonstration main is the plain kind of banner, like the headers
        values["banner"] = FileBanner(file, bannerLines(model, file, functionName), file == "xxmain.c");
        if (!WriteTemplateFile(file == "xxmain.c" ? "xxsubmain.c" : file, values, outputDirectory, file))
            return false;
        if (progress)
            progress(percent);
        percent += 5;
    }
    return true;
}
