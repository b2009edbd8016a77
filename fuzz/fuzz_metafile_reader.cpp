// Fuzzes the metafile reader with damaged and made-up files.
#include "platform/core/metafile_reader.h"
#include "platform/core/metafile_records.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    std::optional<platform::Metafile> file = platform::readMetafile(bytes);
    if (!file)
        return 0;
    // A file read holds records that fit in it and ends with the end record.
    std::size_t words = 11 + 9;
    for (const platform::MetafileRecord& record : file->records)
        words += 3 + record.params.size();
    if (file->records.empty() || file->records.back().function != platform::wmf::Eof || words > size / 2)
        std::abort();
    return 0;
}
