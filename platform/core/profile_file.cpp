// Private-profile (INI) files kept as their lines, so that a write touches one line only.
#include "platform/core/profile_file.h"

#include "platform/core/file_system.h"

#include <cerrno>
#include <utility>

namespace platform {

namespace {

enum class LineKind { Blank, Comment, Section, Key, Other };

struct ParsedLine {
    LineKind kind = LineKind::Other;
    std::string_view name;   // section or key name, trimmed
    std::string_view value;  // key lines: the text after '=', trimmed, quotes kept
};

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

std::string_view trim(std::string_view text)
{
    while (!text.empty() && isSpace(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isSpace(text.back()))
        text.remove_suffix(1);
    return text;
}

bool isQuote(char c)
{
    return c == '"' || c == '\'';
}

bool isQuoted(std::string_view text)
{
    return text.size() >= 2 && isQuote(text.front()) && text.front() == text.back();
}

std::string_view unquote(std::string_view value)
{
    return isQuoted(value) ? value.substr(1, value.size() - 2) : value;
}

// A section line is '[' name ']' with anything after the ']' ignored; a line
// that opens with '[' but never closes it is neither section nor key.
ParsedLine parseLine(std::string_view content)
{
    ParsedLine parsed;
    std::string_view text = trim(content);
    if (text.empty()) {
        parsed.kind = LineKind::Blank;
    } else if (text.front() == ';') {
        parsed.kind = LineKind::Comment;
    } else if (text.front() == '[') {
        std::size_t close = text.find(']');
        if (close != std::string_view::npos) {
            parsed.kind = LineKind::Section;
            parsed.name = trim(text.substr(1, close - 1));
        }
    } else if (std::size_t eq = text.find('='); eq != std::string_view::npos) {
        parsed.name = trim(text.substr(0, eq));
        if (!parsed.name.empty()) {
            parsed.kind = LineKind::Key;
            parsed.value = trim(text.substr(eq + 1));
        }
    }
    return parsed;
}

bool hasLineBreak(std::string_view text)
{
    return text.find_first_of("\r\n") != std::string_view::npos;
}

// Quotes a value that reading would otherwise trim or unquote.
std::string encodeValue(std::string_view value)
{
    bool needsQuotes = !value.empty() && (isSpace(value.front()) || isSpace(value.back()) || isQuoted(value));
    if (!needsQuotes)
        return std::string(value);
    std::string quoted;
    quoted.reserve(value.size() + 2);
    quoted += '"';
    quoted += value;
    quoted += '"';
    return quoted;
}

} // namespace

ProfileFile::ProfileFile(std::string path) : m_path(std::move(path)) {}

ProfileFile ProfileFile::load(const std::string& path)
{
    int error = 0;
    std::optional<std::string> content = readFile(path, &error, kProfileReadLimit);
    ProfileFile profile = content ? fromText(*content) : ProfileFile();
    profile.m_path = path;
    profile.m_existed = content.has_value();
    // Nothing at the path is a new file; anything else unreadable must not be overwritten.
    if (!content && error != ENOENT && error != ENOTDIR)
        profile.m_loadError = error;
    return profile;
}

ProfileFile ProfileFile::fromText(std::string_view text)
{
    ProfileFile profile;
    const std::string_view body = withoutByteOrderMark(text);
    profile.m_byteOrderMark = text.substr(0, text.size() - body.size());
    text = body;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t newline = text.find('\n', start);
        if (newline == std::string_view::npos) {
            profile.m_lines.push_back({std::string(text.substr(start)), ""});
            break;
        }
        std::string_view content = text.substr(start, newline - start);
        if (!content.empty() && content.back() == '\r') {
            content.remove_suffix(1);
            profile.m_lines.push_back({std::string(content), "\r\n"});
        } else {
            profile.m_lines.push_back({std::string(content), "\n"});
        }
        start = newline + 1;
    }
    return profile;
}

std::optional<std::size_t> ProfileFile::findSection(std::string_view section) const
{
    for (std::size_t i = 0; i < m_lines.size(); ++i) {
        ParsedLine parsed = parseLine(m_lines[i].content);
        if (parsed.kind == LineKind::Section && equalsNoCase(parsed.name, section))
            return i;
    }
    return std::nullopt;
}

std::optional<std::size_t> ProfileFile::findKey(std::size_t sectionLine, std::string_view key) const
{
    for (std::size_t i = sectionLine + 1; i < m_lines.size(); ++i) {
        ParsedLine parsed = parseLine(m_lines[i].content);
        if (parsed.kind == LineKind::Section)
            break;
        if (parsed.kind == LineKind::Key && equalsNoCase(parsed.name, key))
            return i;
    }
    return std::nullopt;
}

std::optional<std::string> ProfileFile::value(std::string_view section, std::string_view key) const
{
    key = trim(key);
    if (key.empty())
        return std::nullopt;
    std::optional<std::size_t> sectionLine = findSection(trim(section));
    if (!sectionLine)
        return std::nullopt;
    std::optional<std::size_t> keyLine = findKey(*sectionLine, key);
    if (!keyLine)
        return std::nullopt;
    return std::string(unquote(parseLine(m_lines[*keyLine].content).value));
}

std::string ProfileFile::getString(std::string_view section, std::string_view key,
                                   std::string_view fallback) const
{
    std::optional<std::string> found = value(section, key);
    return found ? *found : std::string(fallback);
}

bool ProfileFile::setValue(std::string_view section, std::string_view key, std::string_view value)
{
    section = trim(section);
    key = trim(key);
    // Anything that would read back as another line, another section or a comment is refused.
    if (section.empty() || hasLineBreak(section) || section.find(']') != std::string_view::npos)
        return false;
    if (key.empty() || hasLineBreak(key) || key.find('=') != std::string_view::npos || key.front() == ';' ||
        key.front() == '[')
        return false;
    if (hasLineBreak(value))
        return false;

    std::string encoded = encodeValue(value);
    std::optional<std::size_t> sectionLine = findSection(section);
    if (sectionLine) {
        if (std::optional<std::size_t> keyLine = findKey(*sectionLine, key)) {
            Line& line = m_lines[*keyLine];
            ParsedLine parsed = parseLine(line.content);
            if (unquote(parsed.value) == value)
                return true;
            line.content = std::string(parsed.name) + "=" + encoded;
            return true;
        }
        // After the section's last line that is neither blank nor a comment: a
        // comment block that ends the section usually introduces the next one.
        std::size_t after = *sectionLine;
        for (std::size_t i = *sectionLine + 1; i < m_lines.size(); ++i) {
            LineKind kind = parseLine(m_lines[i].content).kind;
            if (kind == LineKind::Section)
                break;
            if (kind != LineKind::Blank && kind != LineKind::Comment)
                after = i;
        }
        if (m_lines[after].ending.empty())
            m_lines[after].ending = "\n";
        m_lines.insert(m_lines.begin() + static_cast<std::ptrdiff_t>(after + 1),
                       Line{std::string(key) + "=" + encoded, "\n"});
        return true;
    }

    if (!m_lines.empty()) {
        if (m_lines.back().ending.empty())
            m_lines.back().ending = "\n";
        if (parseLine(m_lines.back().content).kind != LineKind::Blank)
            m_lines.push_back({"", "\n"});
    }
    m_lines.push_back({"[" + std::string(section) + "]", "\n"});
    m_lines.push_back({std::string(key) + "=" + encoded, "\n"});
    return true;
}

std::string ProfileFile::text() const
{
    std::size_t size = 0;
    for (const Line& line : m_lines)
        size += line.content.size() + line.ending.size();
    std::string text = m_byteOrderMark;
    text.reserve(size + text.size());
    for (const Line& line : m_lines) {
        text += line.content;
        text += line.ending;
    }
    return text;
}

bool ProfileFile::save(int* error) const
{
    int refusal = m_path.empty() ? EINVAL : m_loadError;
    if (refusal != 0) {
        if (error)
            *error = refusal;
        return false;
    }
    return writeFileAtomically(m_path, text(), error);
}

std::string readProfileString(const std::string& path, std::string_view section, std::string_view key,
                              std::string_view fallback)
{
    return ProfileFile::load(path).getString(section, key, fallback);
}

bool writeProfileString(const std::string& path, std::string_view section, std::string_view key,
                        std::string_view value, int* error)
{
    ProfileFile profile = ProfileFile::load(path);
    if (!profile.setValue(section, key, value)) {
        if (error)
            *error = EINVAL;
        return false;
    }
    return profile.save(error);
}

} // namespace platform
