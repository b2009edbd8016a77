// The stand-alone program writer: fills the templates from the model and writes
// the ten files.
#include "codegen/standalone_writer.h"

#include "common/message_boxes.h"

namespace {

std::string outputLines(const GeneratorModel& model)
{
    std::string text;
    for (const VariableRecord* record : model.outputList) {
        const std::string& label = record->label.empty() ? record->firstName() : record->label;
        text += "\tprintf (\"" + FormatStringText(label) + " = %.17g\\n\", " + ArrayName(record->kind) + "[" +
                std::to_string(record->ordinal) + "]);\n";
    }
    return text;
}

/// The model and experiment lines each file's banner names.
std::vector<std::string> bannerLines(const GeneratorModel& model, const std::string& file)
{
    if (file == "xxmodel.c")
        return {"model: " + model.modelName + ".e"};
    if (file == "xxoutput.c" || file == "xxmain.c")
        return {"model: " + model.modelName + ".e", "experiment: " + model.experimentName};
    return {};
}

} // namespace

const std::vector<std::string>& StandAloneFileNames()
{
    static const std::vector<std::string> names{"xxtypes.h",  "xxmodel.h", "xxinteg.h", "xxfuncs.h",
                                                "xxoutput.h", "xxinteg.c", "xxfuncs.c", "xxmodel.c",
                                                "xxoutput.c", "xxmain.c"};
    return names;
}

bool WriteStandAloneFiles(const GeneratorModel& model, const std::string& outputDirectory,
                          const ProgressFunction& progress)
{
    if (std::vector<std::string> reason = CodeRefusal(model, CodeKind::Program, "the stand-alone program");
        !reason.empty()) {
        ShowMessageLines(reason);
        return false;
    }
    TemplateValues values = ModelTemplateValues(model);
    values["output_lines"] = outputLines(model);
    values["output_at_start"] = model.simulationOutput == 1 ? "\tXXGenerateOutput();\n" : "";
    values["output_during_run"] = model.simulationOutput == 1 ? "\t\tXXGenerateOutput();\n" : "";
    values["output_after_run"] = model.simulationOutput == 2 ? "\tXXGenerateOutput();\n" : "";
    int percent = 55;
    for (const std::string& file : StandAloneFileNames()) {
        values["banner"] = FileBanner(file, bannerLines(model, file));
        if (!WriteTemplateFile(file, values, outputDirectory, file))
            return false;
        if (progress)
            progress(percent);
        percent += 5;
    }
    return true;
}
