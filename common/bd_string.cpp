// The suite's string class and its substring view.
#include "common/bd_string.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <istream>
#include <ostream>
#include <system_error>

namespace {

const char g_emptyCharacter = '\0';

int sign(int value)
{
    return (value > 0) - (value < 0);
}

} // namespace

BdSubString& BdSubString::operator=(const BdString& text)
{
    // Copy first: the new text may be the viewed string itself.
    const std::string replacement = text.m_text;
    std::string& target = m_string->m_text;
    const std::size_t start = std::min(m_start, target.size());
    const std::size_t length = std::min(m_length, target.size() - start);
    if (replacement.size() == length)
        std::copy(replacement.begin(), replacement.end(), target.begin() + static_cast<std::ptrdiff_t>(start));
    else
        target.replace(start, length, replacement);
    m_start = start;
    m_length = replacement.size();
    return *this;
}

BdSubString& BdSubString::operator=(const BdSubString& other)
{
    return *this = BdString(other);
}

std::string_view BdSubString::view() const
{
    const std::string_view text = m_string->view();
    if (m_start >= text.size())
        return {};
    return text.substr(m_start, m_length);
}

BdString::BdString(char c)
{
    if (c != '\0')
        m_text.assign(1, c);
}

BdString::BdString(Capacity capacity)
{
    m_text.reserve(capacity.characters);
}

BdString::BdString(const char* text)
{
    if (text)
        m_text = text;
}

BdString& BdString::operator=(const BdString& other)
{
    if (this != &other)
        m_text = other.m_text;
    return *this;
}

BdString& BdString::operator=(const char* text)
{
    std::string copy = text ? std::string(text) : std::string();
    m_text.swap(copy);
    return *this;
}

BdString& BdString::operator+=(const BdString& tail)
{
    m_text += tail.m_text; // appending a string to itself is safe for std::string
    return *this;
}

BdString& BdString::operator+=(const char* tail)
{
    if (tail)
        m_text.append(std::string(tail));
    return *this;
}

BdString& BdString::operator+=(char c)
{
    m_text += c;
    return *this;
}

BdString& BdString::operator+=(int number)
{
    m_text += std::to_string(number);
    return *this;
}

BdString& BdString::operator+=(double number)
{
    // to_chars writes what printf's "%e" writes in the C locale.
    std::string formatted(32, '\0');
    for (;;) {
        const auto result = std::to_chars(formatted.data(), formatted.data() + formatted.size(), number,
                                          std::chars_format::scientific, 6);
        if (result.ec == std::errc()) {
            formatted.resize(static_cast<std::size_t>(result.ptr - formatted.data()));
            break;
        }
        formatted.resize(formatted.size() * 2);
    }
    m_text += formatted;
    return *this;
}

const char& BdString::operator[](std::size_t i) const
{
    return i < m_text.size() ? m_text[i] : g_emptyCharacter;
}

BdSubString BdString::substring(std::size_t start, std::size_t length)
{
    if (start >= m_text.size())
        return BdSubString(*this, 0, 0);
    return BdSubString(*this, start, std::min(length, m_text.size() - start));
}

int BdString::compare(const BdString& other) const
{
    return sign(m_text.compare(other.m_text));
}

int BdString::compare(const char* text) const
{
    return sign(m_text.compare(text ? text : ""));
}

std::istream& BdString::readLine(std::istream& in)
{
    m_text.clear();
    if (!std::getline(in, m_text))
        return in;
    if (!in.eof() && !m_text.empty() && m_text.back() == '\r')
        m_text.pop_back();
    return in;
}

std::ostream& operator<<(std::ostream& out, const BdString& string)
{
    return out << string.str();
}

std::istream& operator>>(std::istream& in, BdString& string)
{
    string.m_text.clear();
    return in >> string.m_text;
}
