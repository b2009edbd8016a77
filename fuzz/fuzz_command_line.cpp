// Fuzzes the splitting and regrouping of command lines.
#include "common/startup.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

void check(bool condition)
{
    if (!condition)
        std::abort();
}

bool hasWhiteSpace(const std::string& text)
{
    return text.find_first_of("\t\n\v\f\r") != std::string::npos;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> entries = SplitCommandLine(text);

    check(!entries.empty());
    check(entries[0].rfind("PROGRAM.EXE", 0) == 0);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const std::string& entry = entries[i];
        // Words never hold white space, and entries join them with single blanks.
        check(!hasWhiteSpace(entry) && entry.find('\0') == std::string::npos);
        check(i == 0 || (!entry.empty() && entry.front() != ' ' && entry.back() != ' '));
        check(entry.find("  ") == std::string::npos);
        // An option that takes a value always stands alone in its entry.
        const std::string first = entry.substr(0, entry.find(' '));
        check(i == 0 || !IsOptionWithValue(first) || first == entry);
        for (std::size_t blank = entry.find(' '); blank != std::string::npos; blank = entry.find(' ', blank + 1)) {
            const std::size_t end = entry.find(' ', blank + 1);
            check(!IsOptionWithValue(entry.substr(blank + 1, end == std::string::npos ? end : end - blank - 1)));
        }
    }

    // Regrouping what is already grouped changes nothing.
    std::vector<std::string> again = entries;
    JoinOptionValues(again);
    check(again == entries);
    return 0;
}
