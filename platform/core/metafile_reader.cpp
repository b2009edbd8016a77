// The placeable-metafile reader: headers, the record walk and its checks.
#include "platform/core/metafile_reader.h"

#include "platform/core/metafile_records.h"

namespace platform {

namespace {

std::uint16_t wordAt(std::string_view bytes, std::size_t index)
{
    return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[2 * index]) |
                                      (static_cast<unsigned char>(bytes[2 * index + 1]) << 8));
}

bool fail(std::string* error, std::string text)
{
    if (error)
        *error = std::move(text);
    return false;
}

} // namespace

int MetafileRecord::value(std::size_t i) const
{
    return i < params.size() ? static_cast<std::int16_t>(params[i]) : 0;
}

std::uint32_t MetafileRecord::value32(std::size_t i) const
{
    if (i + 1 >= params.size())
        return 0;
    return static_cast<std::uint32_t>(params[i]) | (static_cast<std::uint32_t>(params[i + 1]) << 16);
}

std::vector<std::string> Metafile::recordNames() const
{
    std::vector<std::string> names;
    for (const MetafileRecord& r : records)
        names.emplace_back(wmf::recordName(r.function));
    return names;
}

std::vector<MetafileRecord> Metafile::recordsOf(std::uint16_t function) const
{
    std::vector<MetafileRecord> found;
    for (const MetafileRecord& r : records)
        if (r.function == function)
            found.push_back(r);
    return found;
}

std::optional<Metafile> readMetafile(std::string_view bytes, std::string* error)
{
    std::size_t words = bytes.size() / 2;
    constexpr std::size_t placeableWords = wmf::kPlaceableHeaderBytes / 2;
    if (words < placeableWords + wmf::kHeaderWords) {
        fail(error, "file of " + std::to_string(bytes.size()) + " bytes is too short for the headers");
        return std::nullopt;
    }
    Metafile file;
    std::uint32_t key = wordAt(bytes, 0) | (static_cast<std::uint32_t>(wordAt(bytes, 1)) << 16);
    if (key != wmf::kPlaceableKey) {
        fail(error, "no placeable header (key " + std::to_string(key) + ")");
        return std::nullopt;
    }
    file.left = static_cast<std::int16_t>(wordAt(bytes, 3));
    file.top = static_cast<std::int16_t>(wordAt(bytes, 4));
    file.right = static_cast<std::int16_t>(wordAt(bytes, 5));
    file.bottom = static_cast<std::int16_t>(wordAt(bytes, 6));
    file.unitsPerInch = wordAt(bytes, 7);
    file.checksum = wordAt(bytes, 10);
    std::uint16_t sum = 0;
    for (std::size_t i = 0; i < 10; ++i)
        sum ^= wordAt(bytes, i);
    file.checksumMatches = sum == file.checksum;

    std::size_t h = placeableWords;
    if (wordAt(bytes, h + 1) != wmf::kHeaderWords) {
        fail(error, "metafile header size " + std::to_string(wordAt(bytes, h + 1)) + " is not 9");
        return std::nullopt;
    }
    file.sizeWords = wordAt(bytes, h + 3) | (static_cast<std::uint32_t>(wordAt(bytes, h + 4)) << 16);
    file.objectCount = wordAt(bytes, h + 5);
    file.largestRecord = wordAt(bytes, h + 6) | (static_cast<std::uint32_t>(wordAt(bytes, h + 7)) << 16);

    std::size_t at = h + wmf::kHeaderWords;
    while (true) {
        if (at + 3 > words) {
            fail(error, "no end record: the file ends at word " + std::to_string(at));
            return std::nullopt;
        }
        std::uint32_t size = wordAt(bytes, at) | (static_cast<std::uint32_t>(wordAt(bytes, at + 1)) << 16);
        if (size < 3 || size > words - at) {
            fail(error, "record at word " + std::to_string(at) + " of size " + std::to_string(size) +
                            " runs past the end of the file");
            return std::nullopt;
        }
        MetafileRecord record;
        record.function = wordAt(bytes, at + 2);
        for (std::size_t i = 3; i < size; ++i)
            record.params.push_back(wordAt(bytes, at + i));
        file.records.push_back(std::move(record));
        at += size;
        if (file.records.back().function == wmf::Eof)
            break;
    }
    return file;
}

} // namespace platform
