// Fuzzes the arguments-file reader (".mga") of the model expansion: the file is read
// for a model with three arguments; values, when read, are given to the arguments.
#include "fuzz_support.h"
#include "common/settings_table.h"
#include "modelproc/expansion.h"
#include "modelproc/processing_pipeline.h"
#include "modelproc/record_release.h"
#include "platform/core/file_system.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace {

const char* const ModelText = "class a(n, m, k) version 1\nvariables\n  real x[n]\n  real y[m - n]\nequations\n"
                              "  x[1] = k\n";

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static bool ready = [] {
        fuzzsupport::silenceMessages();
        ttset_progress_callback(nullptr);
        ResetSettings();
        Settings().model_dirs = ".";
        setExpansionErrorFile("fuzz.mg0");
        return true;
    }();
    (void)ready;
    ClassRec* cls = nullptr;
    // The fixed model must always parse.
    fuzzsupport::require(ttparse_text(ModelText, "a1.mf0", 3, cls, nullptr) == 0 && cls);
    fuzzsupport::require(platform::writeFileAtomically("a1.mga", std::string(reinterpret_cast<const char*>(data), size)));
    if (const auto values = read_model_arguments(cls)) {
        fuzzsupport::require(values->size() == 3);
        set_arguments(cls, *values);
    }
    release_all();
    return 0;
}
