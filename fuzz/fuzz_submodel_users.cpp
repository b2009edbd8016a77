// Fuzzes the scan of a directory's graph models for the users of a submodel:
// the input is one model file beside the submodel; the scan names it or not,
// and the question built from the answer stays within a box.
#include "fuzz_support.h"
#include "common/model_overwrite.h"
#include "platform/core/file_system.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static bool ready = [] {
        fuzzsupport::silenceMessages();
        return platform::writeFileAtomically("dcm1.sg0", "bond graph dcm version 1\nconnections\n");
    }();
    fuzzsupport::require(ready);
    fuzzsupport::require(platform::writeFileAtomically("user1.mgg", std::string(reinterpret_cast<const char*>(data), size)));
    const std::vector<std::string> users = ModelsUsingSubmodel(".", "dcm1");
    fuzzsupport::require(users.empty() || (users.size() == 1 && users.front() == "user1"));
    const std::vector<std::string> question = ModelOverwriteQuestion(".", "dcm1", {"./dcm1.sg0"});
    fuzzsupport::require(question.size() >= 3 && question.size() <= 8 && question.back() == "OK to overwrite?");
    return 0;
}
