// Fuzzes the profile reader and writer: text round trips, and a write changes
// only the key it names, in one line or in a block of new lines.
//
// Input: file text, then optionally NUL-separated section, key and value.
#include "platform/core/file_system.h"
#include "platform/core/profile_file.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

constexpr std::size_t kMaxProbes = 32;

void require(bool condition)
{
    if (!condition)
        std::abort();
}

std::string_view trimmed(std::string_view text)
{
    const std::string_view space = " \t\r\v\f";
    std::size_t first = text.find_first_not_of(space);
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(space) - first + 1);
}

bool sameName(std::string_view a, std::string_view b)
{
    return platform::equalsNoCase(trimmed(a), trimmed(b));
}

std::vector<std::string> linesOf(std::string_view text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        end = end == std::string_view::npos ? text.size() : end + 1;
        lines.emplace_back(text.substr(start, end - start));
        start = end;
    }
    return lines;
}

// Section and key names roughly as a reader would see them; exactness does not
// matter, they only pick lookups that are likely to hit.
std::vector<std::pair<std::string, std::string>> probesOf(std::string_view text)
{
    std::vector<std::pair<std::string, std::string>> probes;
    std::string section;
    for (const std::string& line : linesOf(text)) {
        std::string_view body = trimmed(line);
        if (!body.empty() && body.front() == '[') {
            std::size_t close = body.find(']');
            section = std::string(body.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1));
        } else if (std::size_t eq = body.find('='); eq != std::string_view::npos) {
            probes.emplace_back(section, std::string(body.substr(0, eq)));
            if (probes.size() == kMaxProbes)
                break;
        }
    }
    return probes;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string_view input(reinterpret_cast<const char*>(data), size);
    std::vector<std::string_view> parts;
    for (std::size_t start = 0;;) {
        std::size_t nul = parts.size() < 3 ? input.find('\0', start) : std::string_view::npos;
        parts.push_back(input.substr(start, nul == std::string_view::npos ? std::string_view::npos : nul - start));
        if (nul == std::string_view::npos)
            break;
        start = nul + 1;
    }
    std::string_view text = parts[0];
    std::string_view section = parts.size() > 1 ? parts[1] : "General";
    std::string_view key = parts.size() > 2 ? parts[2] : "grid";
    std::string_view value = parts.size() > 3 ? parts[3] : " \"quoted\" ";

    platform::ProfileFile profile = platform::ProfileFile::fromText(text);
    require(profile.text() == text);

    std::vector<std::pair<std::string, std::string>> probes = probesOf(text);
    probes.emplace_back(std::string(section), std::string(key));
    std::vector<std::optional<std::string>> before;
    for (const auto& [s, k] : probes) {
        before.push_back(profile.value(s, k));
        require(profile.getString(s, k, "\n") == before.back().value_or("\n"));
    }

    bool hadKey = profile.value(section, key).has_value();
    if (!profile.setValue(section, key, value)) {
        require(profile.text() == text);
        return 0;
    }
    std::string after = profile.text();
    require(profile.value(section, key) == std::string(value));
    require(platform::ProfileFile::fromText(after).value(section, key) == std::string(value));
    for (std::size_t i = 0; i < probes.size(); ++i) {
        if (!sameName(probes[i].first, section) || !sameName(probes[i].second, key))
            require(profile.value(probes[i].first, probes[i].second) == before[i]);
    }

    // Writing the same value again changes nothing.
    require(profile.setValue(section, key, value));
    require(profile.text() == after);

    // A byte-order mark stays in front of the lines, whatever is written.
    const std::string_view oldBody = platform::withoutByteOrderMark(text);
    const std::string_view newBody = platform::withoutByteOrderMark(after);
    require(text.size() - oldBody.size() == after.size() - newBody.size());
    std::vector<std::string> oldLines = linesOf(oldBody), newLines = linesOf(newBody);
    if (hadKey) {
        require(oldLines.size() == newLines.size());
        std::size_t changed = 0;
        for (std::size_t i = 0; i < oldLines.size(); ++i)
            changed += oldLines[i] != newLines[i];
        require(changed <= 1);
    } else {
        // The old lines with one block inserted; a last line without a line ending
        // gets one when the block goes after it.
        if (!oldLines.empty() && oldLines.back().back() != '\n' && oldLines.back() != newLines.back())
            oldLines.back() += '\n';
        require(newLines.size() > oldLines.size() && newLines.size() <= oldLines.size() + 3);
        std::size_t added = newLines.size() - oldLines.size();
        std::size_t first = 0;
        while (first < oldLines.size() && oldLines[first] == newLines[first])
            ++first;
        for (std::size_t i = first; i < oldLines.size(); ++i)
            require(oldLines[i] == newLines[i + added]);
    }
    return 0;
}
