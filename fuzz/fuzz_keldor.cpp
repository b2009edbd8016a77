// Fuzz target of the Keldor reader: any text is scanned and parsed at a check level taken
// from its first byte; a class that parses is copied and dumped, then everything released.
#include "modelproc/class_copy.h"
#include "modelproc/processing_pipeline.h"
#include "modelproc/record_dump.h"
#include "modelproc/record_release.h"
#include "platform/core/message_sink.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static platform::SilentMessageSink sink;
    static bool ready = [] {
        platform::setMessageSink(&sink);
        ttset_progress_callback(nullptr);
        return true;
    }();
    (void)ready;
    int level = size > 0 ? 1 + data[0] % 3 : 3;
    std::string text(reinterpret_cast<const char*>(data), size);
    ClassRec* cls = nullptr;
    if (ttparse_text(text, "fuzz.mf0", level, cls, nullptr) == 0 && cls) {
        ClassRec* copy = copyClass(cls);
        if (dumpClass(copy) != dumpClass(cls))
            __builtin_trap();
    }
    release_all();
    return 0;
}
