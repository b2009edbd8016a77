// Fuzzes the data-table reader of the `tab` and `inp` instructions: the first two bytes
// choose the column and the order of the look-ups, the rest is the table file, which is
// read through its window of rows forward, backward and again after a rewind.
#include "fuzz_support.h"
#include "platform/core/file_system.h"
#include "simulator/data_tables.h"
#include "simulator/run_state.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static bool ready = [] {
        fuzzsupport::silenceMessages();
        SetStatusFunction([](const std::string&, bool) {});
        SetDataTableLocation(".", "tables");
        return platform::makeDirectories("tables");
    }();
    if (!ready || size < 2)
        return 0;
    const int column = data[0] % 5; // 0 is refused, 1.. are value columns
    const bool backwards = (data[1] & 1) != 0;
    fuzzsupport::require(
        platform::writeFileAtomically("tables/fuzz.dat", std::string(reinterpret_cast<const char*>(data + 2), size - 2)));
    std::vector<double> xs = {-1e9, -1.0, 0.0, 0.25, 1.0, 1.5, 3.0, 255.0, 256.5, 300.0, 1e6, 1e300};
    if (backwards)
        xs.assign(xs.rbegin(), xs.rend());
    for (int pass = 0; pass < 2; ++pass) {
        for (double x : xs) {
            double value = 0.0;
            if (!TableFileLookup("fuzz.dat", column, x, value))
                break;
        }
        xs.assign(xs.rbegin(), xs.rend());
    }
    ClearTableFileCache();
    fuzzsupport::require(TableFileCacheSize() == 0);
    return 0;
}
