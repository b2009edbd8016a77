// Fuzzes the simulator's experiment-file readers against a small model with variables of
// every type: the first byte chooses the parameter file (".p"), the run specifications
// (".r"), the plot specifications (".u") or the multiple runs (".mr"), the rest is the
// file's text. What a reader
// accepts must write out and read back to the same text (for the plot specifications, once
// the curves the model lacks are gone), and every number it took must be finite.
#include "fuzz_support.h"
#include "platform/core/file_system.h"
#include "simulator/code_file_reader.h"
#include "simulator/model_variables.h"
#include "simulator/multiple_runs.h"
#include "simulator/parameter_file.h"
#include "simulator/plot_specs.h"
#include "simulator/run_specs.h"
#include "simulator/run_state.h"
#include "simulator/simulator_state.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>

namespace {

const char* const ModelText = "#Hclass\tfz\n#Hversion\t1\n"
                              "#DParam \t4\n\t#real\tgain\tk\n\t#int\tcount\n\t#string\tlabel\n\t#bool\ton\n"
                              "#DIncond\t2\n\t#real\tx0\n\t#string\tpath\n"
                              "#DVariable\t2\n\t#real\tv\n\t#real\tw`PLOT\n"
                              "#Dstate_ind\t1\n\t#real\tx\n#DRate_ind\t1\n\t#real\tdx\n"
                              "#EInitial\t0\n#Einputs\t0\n#Edynamic\t1\n\tmov\tR0\tV0\n#Eoutputs\t0\n";

void write(const std::string& path, const std::string& text)
{
    fuzzsupport::require(platform::writeFileAtomically(path, text));
}

void parameterFile(const std::string& path)
{
    for (int kind : {KindParameter, KindInitial}) {
        const auto values = ReadParameterSection(path, kind);
        if (values) {
            fuzzsupport::require(values->size() == std::size_t(Variables().kinds[kind].count));
            // A value read is a finite number, or a text.
            for (const ParameterValue& value : *values)
                fuzzsupport::require(value.isText || std::isfinite(value.value));
            ApplyParameterValues(kind, *values);
        }
    }
    // Whatever the model now holds writes out and reads back unchanged.
    const std::string text = ParameterFileText("fz");
    write("again.p", text);
    fuzzsupport::require(ReadParameterFile("again.p") == 0 && ReadInitialConditionFile("again.p") == 0);
    fuzzsupport::require(ParameterFileText("fz") == text);
}

void runSpecFile(const std::string& path)
{
    RunSpecification specs = RunSpecification::defaults();
    if (ReadRunSpecFile(path, specs) != 0)
        return;
    fuzzsupport::require(std::isfinite(specs.startTime) && std::isfinite(specs.finishTime));
    for (const auto& method : specs.settings)
        for (const MethodSetting& row : method)
            fuzzsupport::require(std::isfinite(row.value));
    const std::string text = RunSpecFileText(specs, "fz");
    write("again.r", text);
    RunSpecification again = RunSpecification::defaults();
    fuzzsupport::require(ReadRunSpecFile("again.r", again) == 0);
    fuzzsupport::require(RunSpecFileText(again, "fz") == text);
}

void plotSpecFile(const std::string& path)
{
    PlotSpecification specs;
    if (ReadPlotSpecs(path, specs) != 0)
        return;
    fuzzsupport::require(std::isfinite(specs.x.min) && std::isfinite(specs.x.max));
    for (const PlotCurve& curve : specs.curves)
        fuzzsupport::require(std::isfinite(curve.min) && std::isfinite(curve.max));
    // Curves the model lacks leave holes that the writer closes up, so the written text is
    // a fixed point only from its second writing on.
    write("again.u", PlotSpecFileText(specs, "fz"));
    PlotSpecification again;
    fuzzsupport::require(ReadPlotSpecs("again.u", again) == 0);
    const std::string text = PlotSpecFileText(again, "fz");
    write("again.u", text);
    fuzzsupport::require(ReadPlotSpecs("again.u", again) == 0);
    fuzzsupport::require(PlotSpecFileText(again, "fz") == text);
}

void multipleRunFile(const std::string& path)
{
    Experiment().modelName = "fz";
    MultipleRunSpecs() = MultipleRunSpec{};
    if (ReadMultipleRunFile(path) != 1)
        return;
    fuzzsupport::require(std::isfinite(MultipleRunSpecs().tolerance));
    for (const MultipleRunVariable& variable : MultipleRunSpecs().variables)
        fuzzsupport::require(std::isfinite(variable.from) && std::isfinite(variable.to));
    const std::string text = MultipleRunFileText(MultipleRunSpecs(), "fz");
    write("again.mr", text);
    MultipleRunSpecs() = MultipleRunSpec{};
    fuzzsupport::require(ReadMultipleRunFile("again.mr") == 1);
    fuzzsupport::require(MultipleRunFileText(MultipleRunSpecs(), "fz") == text);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static bool ready = [] {
        fuzzsupport::silenceMessages();
        SetStatusFunction([](const std::string&, bool) {});
        return true;
    }();
    (void)ready;
    if (size == 0)
        return 0;
    fuzzsupport::require(LoadCodeText(ModelText) == 0); // the fixed model must always load
    write("fuzz.x", std::string(reinterpret_cast<const char*>(data + 1), size - 1));
    switch (data[0] % 4) {
    case 0: parameterFile("fuzz.x"); break;
    case 1: runSpecFile("fuzz.x"); break;
    case 2: plotSpecFile("fuzz.x"); break;
    default: multipleRunFile("fuzz.x"); break;
    }
    return 0;
}
