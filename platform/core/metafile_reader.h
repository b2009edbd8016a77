// Reading placeable metafiles back into their headers and records, to check
// what the suite's writer put out.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

/// One record: its function and its parameter words as they stand.
struct MetafileRecord {
    std::uint16_t function = 0;
    std::vector<std::uint16_t> params;

    /// Parameter word i as a signed number; 0 past the end.
    int value(std::size_t i) const;
    /// Parameters i and i + 1 as one 32-bit number (low word first); 0 past the end.
    std::uint32_t value32(std::size_t i) const;
};

struct Metafile {
    int left = 0, top = 0, right = 0, bottom = 0; ///< the placeable header's bounds
    int unitsPerInch = 0;
    std::uint16_t checksum = 0;     ///< as written
    bool checksumMatches = false;   ///< the XOR of the header's first ten words equals it
    int objectCount = 0;            ///< the size of the object table the header asks for
    std::uint32_t sizeWords = 0;    ///< the metafile's size in words, as its header gives it
    std::uint32_t largestRecord = 0;
    std::vector<MetafileRecord> records; ///< every record up to and with the end record

    /// The records' names in order ("SETMAPMODE", "LINETO", ...).
    std::vector<std::string> recordNames() const;
    /// The records with that function.
    std::vector<MetafileRecord> recordsOf(std::uint16_t function) const;
};

/// Reads a placeable metafile; on failure the empty result and `error` says
/// what is wrong and where ("record at word 57 runs past the end of the file").
std::optional<Metafile> readMetafile(std::string_view bytes, std::string* error = nullptr);

} // namespace platform
