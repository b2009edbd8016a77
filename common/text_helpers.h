// Owned heap texts, the suite's usual way of passing texts between modules, and
// the splitting of ';'-separated directory lists.
#pragma once

#include <string>
#include <string_view>
#include <vector>

/// A new heap copy of `text`; null for null or when memory runs out. Free with `StrFree`.
char* StrDup(const char* text);

/// A new text of the characters from `begin` up to, not including, `end`;
/// null when `end` is not after `begin` (or either is null).
char* StrRange(const char* begin, const char* end);

/// `text` + `tail` as a new text, the old text freed. A null or empty tail returns
/// `text` itself; a null text gives a copy of the tail. Null (with `text` freed)
/// when memory runs out.
char* StrAppend(char* text, const char* tail);

/// `head` + `text` as a new text, the old text freed. A null head returns `text`
/// itself; a null text gives a copy of the head.
char* StrPrepend(const char* head, char* text);

/// Frees the text when set and sets the reference to null.
void StrFree(char*& text);

/// Splits a directory list at every ';'. Without ';' the result is the whole
/// text; the piece after the last ';' is an entry too (empty when the text ends
/// with ';').
std::vector<std::string> SplitPathList(std::string_view text);

/// As above for a heap text; a null text gives no entries.
std::vector<std::string> SplitPathList(const char* text);

/// The one rule for blanks of every line reader: blank, tab, carriage return, line feed,
/// vertical tab and form feed.
bool IsBlankChar(char c);

/// True when the line holds nothing but blanks (or nothing): splitWords gives no word.
bool IsBlankLine(std::string_view line);

/// The words of a line, separated by blanks.
std::vector<std::string> splitWords(std::string_view line);
