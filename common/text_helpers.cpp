// Owned heap texts (malloc/free), the splitting of directory lists and of lines into words.
#include "common/text_helpers.h"

#include <cstdlib>
#include <cstring>

namespace {

/// A new heap text of the `length` bytes at `bytes`; null when memory runs out.
char* copyBytes(const char* bytes, std::size_t length)
{
    char* text = static_cast<char*>(std::malloc(length + 1));
    if (!text)
        return nullptr;
    if (length)
        std::memcpy(text, bytes, length);
    text[length] = '\0';
    return text;
}

/// A new heap text of `first` followed by `second`; null when memory runs out.
char* concatenate(const char* first, const char* second)
{
    const std::size_t firstLength = std::strlen(first);
    const std::size_t secondLength = std::strlen(second);
    char* text = static_cast<char*>(std::malloc(firstLength + secondLength + 1));
    if (!text)
        return nullptr;
    std::memcpy(text, first, firstLength);
    std::memcpy(text + firstLength, second, secondLength + 1);
    return text;
}

} // namespace

char* StrDup(const char* text)
{
    return text ? copyBytes(text, std::strlen(text)) : nullptr;
}

char* StrRange(const char* begin, const char* end)
{
    if (!begin || !end || end <= begin)
        return nullptr;
    return copyBytes(begin, static_cast<std::size_t>(end - begin));
}

char* StrAppend(char* text, const char* tail)
{
    if (!tail || !*tail)
        return text;
    if (!text)
        return StrDup(tail);
    char* joined = concatenate(text, tail);
    std::free(text);
    return joined;
}

char* StrPrepend(const char* head, char* text)
{
    if (!head)
        return text;
    if (!text)
        return StrDup(head);
    char* joined = concatenate(head, text);
    std::free(text);
    return joined;
}

void StrFree(char*& text)
{
    std::free(text);
    text = nullptr;
}

std::vector<std::string> SplitPathList(std::string_view text)
{
    std::vector<std::string> entries;
    std::size_t start = 0;
    for (;;) {
        const std::size_t separator = text.find(';', start);
        if (separator == std::string_view::npos) {
            entries.emplace_back(text.substr(start));
            return entries;
        }
        entries.emplace_back(text.substr(start, separator - start));
        start = separator + 1;
    }
}

std::vector<std::string> SplitPathList(const char* text)
{
    if (!text)
        return {};
    return SplitPathList(std::string_view(text));
}

bool IsBlankChar(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

bool IsBlankLine(std::string_view line)
{
    for (char c : line)
        if (!IsBlankChar(c))
            return false;
    return true;
}

std::vector<std::string> splitWords(std::string_view line)
{
    std::vector<std::string> words;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && IsBlankChar(line[i]))
            ++i;
        const std::size_t start = i;
        while (i < line.size() && !IsBlankChar(line[i]))
            ++i;
        if (i > start)
            words.emplace_back(line.substr(start, i - start));
    }
    return words;
}
