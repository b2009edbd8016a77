// Find and replace in the model text: the search of the Search menu's Find,
// Replace and Next over a text and its selection, with case matching, whole
// words and both directions.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

/// What the user searches for.
struct SearchRequest {
    std::string findText;
    std::string replaceText;
    bool matchCase = false;
    bool wholeWord = false;
    bool down = true; ///< search towards the end of the text
};

/// A found range of the text: its start and length in bytes.
struct TextRange {
    std::size_t start = 0;
    std::size_t length = 0;
    bool operator==(const TextRange&) const = default;
};

/// The next occurrence from the selection: down from the selection's end, up
/// from before its start; none when there is no further one (no wrapping).
std::optional<TextRange> FindNext(std::string_view text, const TextRange& selection, const SearchRequest& request);

/// Replace: when the selection is an occurrence it is replaced; then the next
/// occurrence after it is found. The new selection, none when no further
/// occurrence follows; `text` is changed in place.
std::optional<TextRange> ReplaceNext(std::string& text, const TextRange& selection, const SearchRequest& request);

/// Replaces every occurrence in the text; the number replaced.
int ReplaceAll(std::string& text, const SearchRequest& request);

/// The message when nothing (further) was found.
std::string NotFoundText(const SearchRequest& request);
