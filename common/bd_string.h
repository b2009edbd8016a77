// The suite's string class, owning its text, and a view that reads or replaces
// a part of one.
#pragma once

#include <cstddef>
#include <iosfwd>
#include <string>
#include <string_view>

class BdString;

/// A part of a `BdString` (start and length), for reading or replacing it.
class BdSubString {
public:
    BdSubString(BdString& string, std::size_t start, std::size_t length)
        : m_string(&string), m_start(start), m_length(length) {}
    BdSubString(const BdSubString&) = default;

    /// Replaces the viewed part with `text`; the view then covers the new text.
    BdSubString& operator=(const BdString& text);
    /// Replaces the viewed part with the text another view shows.
    BdSubString& operator=(const BdSubString& other);

    std::size_t start() const { return m_start; }
    std::size_t length() const { return m_length; }
    /// The viewed characters (cut to what the string holds now).
    std::string_view view() const;

private:
    BdString* m_string;
    std::size_t m_start;
    std::size_t m_length;
};

/// An owned, NUL-terminated text; `c_str()` is never null.
class BdString {
public:
    /// Tag for the constructor that only reserves room.
    struct Capacity {
        std::size_t characters;
    };

    BdString() = default;
    /// The one-character text `c` (empty for '\0').
    explicit BdString(char c);
    /// An empty text with room for `capacity.characters` characters.
    explicit BdString(Capacity capacity);
    /// A copy of `text`; empty for null.
    BdString(const char* text);
    explicit BdString(std::string_view text) : m_text(text) {}
    explicit BdString(const BdSubString& part) : m_text(part.view()) {}
    BdString(const BdString&) = default;
    BdString(BdString&&) noexcept = default;
    ~BdString() = default;

    BdString& operator=(const BdString& other);
    BdString& operator=(BdString&& other) noexcept = default;
    /// A copy of `text` (empty for null); `text` may point into this string.
    BdString& operator=(const char* text);

    BdString& operator+=(const BdString& tail);
    /// Appends `tail`; a null tail appends nothing.
    BdString& operator+=(const char* tail);
    BdString& operator+=(char c);
    /// Appends the number as "%d" writes it.
    BdString& operator+=(int number);
    /// Appends the number as "%e" writes it, with '.' whatever the locale.
    BdString& operator+=(double number);

    std::size_t length() const { return m_text.size(); }
    const char* c_str() const { return m_text.c_str(); }
    std::string_view view() const { return m_text; }
    const std::string& str() const { return m_text; }

    /// The character at `i`; at or beyond the length a shared '\0'.
    const char& operator[](std::size_t i) const;

    /// The part of `length` characters from `start`: a start at or beyond the
    /// length gives an empty view at 0, and the length is cut to what remains.
    BdSubString substring(std::size_t start, std::size_t length);

    /// Byte-wise comparison as strcmp does it (unsigned bytes): -1, 0 or 1.
    int compare(const BdString& other) const;
    /// As above; a null text compares as an empty one.
    int compare(const char* text) const;

    friend bool operator==(const BdString& a, const BdString& b) { return a.compare(b) == 0; }
    friend bool operator==(const BdString& a, const char* b) { return a.compare(b) == 0; }

    /// Reads a line up to a line feed (dropping a '\r' before it) in place of the text;
    /// on failure the text is empty.
    std::istream& readLine(std::istream& in);

private:
    friend class BdSubString;
    friend std::istream& operator>>(std::istream& in, BdString& string);

    std::string m_text;
};

std::ostream& operator<<(std::ostream& out, const BdString& string);

/// Reads the next white-space-delimited word in place of the text; on failure
/// the text is empty.
std::istream& operator>>(std::istream& in, BdString& string);
