// Fuzzes the readers of run results: the first byte chooses the data file (".n", read with
// the x axis as time or as a variable) or a y-axis input file, the rest is the file.
#include "fuzz_support.h"
#include "platform/core/file_system.h"
#include "simulator/run_output.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzzsupport::silenceMessages();
    if (size == 0)
        return 0;
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    fuzzsupport::require(platform::writeFileAtomically("fuzz.x", text));
    switch (data[0] % 3) {
    case 0:
    case 1: {
        const bool xIsTime = data[0] % 3 == 0;
        std::vector<std::string> damage;
        const auto content = ReadDataFileContent("fuzz.x", xIsTime, &damage);
        // A file that is not read is refused with what is wrong where.
        fuzzsupport::require(content.has_value() != (damage.size() >= 3));
        if (!content)
            break;
        // Every row holds the x column and one value per named column, each a finite number.
        const std::size_t columns = content->names.size() + (xIsTime ? 1 : 0);
        for (const auto& row : content->rows) {
            fuzzsupport::require(row.size() == columns);
            for (double value : row)
                fuzzsupport::require(std::isfinite(value));
        }
        fuzzsupport::require(content->rows.size() * columns <= text.size());
        break;
    }
    default: {
        YAxisInput input;
        if (!input.open("fuzz.x"))
            break;
        // Forward in time, as a run asks; past the last pair the value is 0.
        double previous = -1e300;
        for (double t : {-1e300, -1.0, 0.0, 0.5, 1.0, 2.0, 10.0, 1e6, 1e300, HUGE_VAL}) {
            fuzzsupport::require(t >= previous);
            previous = t;
            (void)input.valueAt(t);
        }
        fuzzsupport::require(input.valueAt(HUGE_VAL) == 0.0);
        break;
    }
    }
    return 0;
}
