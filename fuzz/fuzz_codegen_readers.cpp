// Fuzzes the C-code generator's readers of the processed-model and experiment files: the first
// byte chooses the reader, the rest is the file's text. The experiment readers run against a small
// model read first, as the generator reads them.
#include "codegen/equation_file_reader.h"
#include "codegen/experiment_reader.h"
#include "codegen/generator_model.h"
#include "platform/core/message_sink.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>

namespace {

const char* const ModelText = "#Hclass\tosc\n#Hversion\t1\n\n"
                              "#DParam \t2\n\t#real\tm\tmass\n\t#real\tk\n\n"
                              "#DIncond\t1\n\t#real\tx\n\n"
                              "#DVariable\t1\n\t#real\tforce\n\n"
                              "#Dstate_ind\t1\n\t#real\tx\n\n"
                              "#DRate_ind\t1\n\t#real\tx_indep_rate\n\n"
                              "#Edynamic\t3\n    R0 = -(P1 * s0) / P0\n\n"
                              "#Eoutputs\t1\n    V0 = P1 * s0\n";

void writeFile(const std::string& path, const char* data, std::size_t size)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(data, static_cast<std::streamsize>(size));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static platform::SilentMessageSink sink;
    platform::setMessageSink(&sink);
    if (size == 0)
        return 0;
    const char* text = reinterpret_cast<const char*>(data + 1);
    const std::size_t length = size - 1;

    GeneratorModel model;
    switch (data[0] % 4) {
    case 0:
        writeFile("fuzz.e", text, length);
        ReadEquationFile(model, "fuzz.e");
        break;
    case 1:
    case 2:
    case 3: {
        writeFile("model.e", ModelText, std::char_traits<char>::length(ModelText));
        if (!ReadEquationFile(model, "model.e"))
            __builtin_trap(); // the fixed model must always read
        writeFile("fuzz.x", text, length);
        if (data[0] % 4 == 1)
            ReadParameterValues(model, "fuzz.x");
        else if (data[0] % 4 == 2)
            ReadRunValues(model, "fuzz.x");
        else
            ReadOutputSpec(model, "fuzz.x");
        // Whatever was read, the model holds finite numbers only.
        for (const VariableList* list : {&model.parameters, &model.initialConditions})
            for (const auto& record : *list)
                if (!std::isfinite(record->value))
                    __builtin_trap();
        if (!std::isfinite(model.startTime) || !std::isfinite(model.finishTime) || !std::isfinite(model.stepSize))
            __builtin_trap();
        break;
    }
    }
    return 0;
}
