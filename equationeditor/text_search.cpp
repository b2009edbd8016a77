// Find and replace in the model text.
#include "equationeditor/text_search.h"

#include <cctype>

namespace {

bool wordCharacter(char c)
{
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
}

bool matchesAt(std::string_view text, std::size_t at, const SearchRequest& request)
{
    const std::string& find = request.findText;
    if (find.empty() || at + find.size() > text.size())
        return false;
    for (std::size_t i = 0; i < find.size(); ++i) {
        const char a = text[at + i], b = find[i];
        if (request.matchCase ? a != b
                              : std::tolower(static_cast<unsigned char>(a)) != std::tolower(static_cast<unsigned char>(b)))
            return false;
    }
    if (request.wholeWord) {
        if (at > 0 && wordCharacter(text[at - 1]))
            return false;
        if (at + find.size() < text.size() && wordCharacter(text[at + find.size()]))
            return false;
    }
    return true;
}

} // namespace

std::optional<TextRange> FindNext(std::string_view text, const TextRange& selection, const SearchRequest& request)
{
    const std::size_t length = request.findText.size();
    if (length == 0 || length > text.size())
        return std::nullopt;
    if (request.down) {
        for (std::size_t at = selection.start + selection.length; at + length <= text.size(); ++at)
            if (matchesAt(text, at, request))
                return TextRange{at, length};
        return std::nullopt;
    }
    if (selection.start == 0)
        return std::nullopt;
    for (std::size_t at = std::min(selection.start - 1, text.size() - length) + 1; at-- > 0;)
        if (matchesAt(text, at, request))
            return TextRange{at, length};
    return std::nullopt;
}

std::optional<TextRange> ReplaceNext(std::string& text, const TextRange& selection, const SearchRequest& request)
{
    TextRange from = selection;
    if (selection.length == request.findText.size() && matchesAt(text, selection.start, request)) {
        text.replace(selection.start, selection.length, request.replaceText);
        from = {selection.start, request.down ? request.replaceText.size() : 0};
    }
    return FindNext(text, from, request);
}

int ReplaceAll(std::string& text, const SearchRequest& request)
{
    if (request.findText.empty())
        return 0;
    SearchRequest down = request;
    down.down = true;
    int count = 0;
    TextRange from{0, 0};
    while (std::optional<TextRange> found = FindNext(text, from, down)) {
        text.replace(found->start, found->length, request.replaceText);
        from = {found->start, request.replaceText.size()};
        ++count;
    }
    return count;
}

std::string NotFoundText(const SearchRequest& request)
{
    return "Cannot find \"" + request.findText + "\".";
}
