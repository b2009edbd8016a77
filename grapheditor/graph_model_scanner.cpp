// The model-file scanner. At every point it takes the longest text a rule
// matches; on equal lengths fixed texts win over real numbers, real numbers over
// integers and integers over words.
#include "grapheditor/graph_model_scanner.h"

#include "grapheditor/graph_objects.h"
#include "grapheditor/integer_expressions.h"

#include <algorithm>
#include <array>
#include <utility>

namespace {

constexpr std::array<std::pair<std::string_view, int>, 51> kKeywords = {{
    {"1_effort", 377},     {"1_flow", 378},     {"bond", 317},       {"boolean", 300},   {"causality", 369},
    {"class", 316},        {"conditions", 324}, {"connections", 332}, {"constants", 329}, {"constraint", 373},
    {"dimension", 350},    {"do", 352},         {"effort", 375},     {"else", 358},      {"elseif", 356},
    {"equal", 383},        {"equations", 334},  {"false", 365},      {"fi", 355},        {"fixed", 371},
    {"flow", 376},         {"for", 351},        {"graph", 318},      {"if", 354},        {"in", 380},
    {"indifferent", 374},  {"initial", 323},    {"inputs", 348},     {"integer", 299},   {"interface", 321},
    {"interpolation", 385}, {"notequal", 384},  {"od", 353},         {"orientation", 368}, {"out", 381},
    {"outputs", 349},      {"parameters", 322}, {"ports", 347},      {"preferred", 372}, {"real", 298},
    {"restrictions", 370}, {"same", 379},       {"scheme", 386},     {"set", 328},       {"signals", 333},
    {"subclasses", 325},   {"tables", 330},     {"then", 357},       {"true", 364},      {"variables", 331},
    {"version", 319},
}};

/// Words with a token of their own, taken before the keyword table.
constexpr std::array<std::pair<std::string_view, int>, 7> kOwnTokenWords = {{
    {"or", GT_OR}, {"and", GT_AND}, {"not", GT_NOT}, {"div", GT_DIV}, {"mod", GT_MOD}, {"E", GT_E},
    {"connections", GT_CONNECTIONS},
}};

bool isLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool startsWord(char c) { return isLetter(c) || isDigit(c) || c == '\''; }
bool inWord(char c) { return startsWord(c) || c == '_'; }

} // namespace

int GraphKeywordToken(std::string_view word)
{
    for (const auto& [text, token] : kKeywords)
        if (text == word)
            return token;
    return 0;
}

int SingleToken(std::string_view text, bool indexMode)
{
    GraphModelScanner scanner;
    scanner.reset(indexMode ? "connections " + std::string(text) : text, nullptr);
    if (indexMode)
        scanner.next();
    const int token = scanner.next();
    if (token == GT_END || token == GT_ERROR || scanner.outOfRange() || scanner.text() != text ||
        scanner.next() != GT_END)
        return -1;
    return token;
}

void GraphModelScanner::reset(std::string_view text, const NameTable* names)
{
    text = text.substr(0, std::min(text.size(), text.find('\0')));
    m_text.clear();
    m_text.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i)
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n'))
            m_text += text[i];
    m_pos = 0;
    m_line = 1;
    m_atLineStart = true;
    m_lineHasToken = false;
    m_outOfRange = false;
    m_index = m_standingIndex = false;
    m_names = names;
    m_token.clear();
    m_value = 0;
    m_entry = nullptr;
    m_error = "";
}

std::size_t GraphModelScanner::wordLength(std::size_t from) const
{
    if (from >= m_text.size() || !startsWord(m_text[from]))
        return 0;
    std::size_t end = from + 1;
    while (end < m_text.size() && inWord(m_text[end]))
        ++end;
    return end - from;
}

std::size_t GraphModelScanner::realLength() const
{
    const std::string& s = m_text;
    auto digitsAt = [&s](std::size_t at) {
        std::size_t end = at;
        while (end < s.size() && isDigit(s[end]))
            ++end;
        return end - at;
    };
    // An exponent: "e" or "E", an optional sign and digits; its length, else 0.
    auto exponentAt = [&](std::size_t at) -> std::size_t {
        if (at >= s.size() || (s[at] != 'e' && s[at] != 'E'))
            return 0;
        std::size_t p = at + 1;
        if (p < s.size() && (s[p] == '+' || s[p] == '-'))
            ++p;
        const std::size_t digits = digitsAt(p);
        return digits ? p + digits - at : 0;
    };
    const std::size_t lead = digitsAt(m_pos);
    std::size_t p = m_pos + lead;
    if (lead > 0) {
        if (p < s.size() && s[p] == '.') {
            p += 1 + digitsAt(p + 1);
            return p + exponentAt(p) - m_pos;
        }
        const std::size_t exponent = exponentAt(p);
        return exponent ? p + exponent - m_pos : 0;
    }
    if (p < s.size() && s[p] == '.' && digitsAt(p + 1) > 0) {
        p += 1 + digitsAt(p + 1);
        return p + exponentAt(p) - m_pos;
    }
    return 0;
}

int GraphModelScanner::fixedText(std::size_t& length) const
{
    const std::string& s = m_text;
    const char c1 = m_pos + 1 < s.size() ? s[m_pos + 1] : '\0';
    const char c2 = m_pos + 2 < s.size() ? s[m_pos + 2] : '\0';
    const bool normal = !m_index;
    length = 1;
    switch (s[m_pos]) {
    case '+': return GT_PLUS;
    case '*': return GT_TIMES;
    case '/': return GT_DIVIDE;
    case '%': return GT_MOD;
    case '^': return GT_POWER;
    case '(': return GT_OPEN;
    case ')': return GT_CLOSE;
    case ',': return GT_COMMA;
    case '`': return GT_BACKQUOTE;
    case '[': return GT_LEFT_BRACKET;
    case ']': return GT_RIGHT_BRACKET;
    case ';': return GT_SEMICOLON;
    case '|': return GT_STROKE;
    case '-':
        length = 2;
        if (c1 == '-')
            return GT_UNDIRECTED;
        if (c1 == '>')
            return GT_RIGHT_ARROW;
        if (c1 == ':')
            return GT_RIGHT_SIGNAL;
        length = 1;
        return GT_MINUS;
    case '=':
        if (normal && c1 == '/' && c2 == '=') {
            length = 3;
            return GT_NE;
        }
        length = 2;
        if (normal && c1 == '=')
            return GT_EQ;
        if (c1 == ':')
            return GT_RIGHT_MULTISIGNAL;
        if (c1 == '>')
            return GT_RIGHT_MULTIBOND;
        length = 1;
        return GT_IS;
    case ':':
        length = 2;
        if (c1 == '-')
            return GT_LEFT_SIGNAL;
        if (c1 == '=')
            return GT_LEFT_MULTISIGNAL;
        length = 1;
        return GT_COLON;
    case '<':
        length = 2;
        if (c1 == '-')
            return GT_LEFT_ARROW;
        if (c1 == '=')
            return GT_LEFT_MULTIBOND;
        length = normal ? 1 : 0;
        return normal ? GT_LT : 0;
    case '>':
        if (!normal) {
            length = 0;
            return 0;
        }
        if (c1 == '=') {
            length = 2;
            return GT_GE;
        }
        return GT_GT;
    case '.':
        length = 2;
        if (c1 == '.')
            return GT_UPTO;
        if (c1 == 'e')
            return GT_SEL_EFFORT;
        if (c1 == 'f')
            return GT_SEL_FLOW;
        length = 1;
        return GT_PERIOD;
    default: length = 0; return 0;
    }
}

int GraphModelScanner::take(std::size_t length, int token)
{
    m_token.assign(m_text, m_pos, length);
    m_pos += length;
    if (length > kMaxTokenLength) {
        m_token.resize(kMaxTokenLength);
        m_error = "token too long";
        return GT_ERROR;
    }
    return token;
}

int GraphModelScanner::scanWord(std::size_t length)
{
    if (int token = take(length, GT_IDENTIFIER); token == GT_ERROR)
        return token;
    for (const auto& [word, token] : kOwnTokenWords) {
        if (m_token == word) {
            if (token == GT_CONNECTIONS)
                m_index = m_standingIndex = true;
            return token;
        }
    }
    if (int keyword = GraphKeywordToken(m_token))
        return keyword;
    if (m_names)
        if ((m_entry = m_names->find(m_token)))
            return m_entry->kind;
    return GT_IDENTIFIER;
}

int GraphModelScanner::next()
{
    const int token = scan();
    if (token != GT_NL && token != GT_END)
        m_lineHasToken = true;
    return token;
}

int GraphModelScanner::scan()
{
    m_entry = nullptr;
    m_outOfRange = false;
    const std::string& s = m_text;
    for (;;) {
        if (m_pos >= s.size()) {
            m_token.clear();
            return GT_END;
        }
        const char c = s[m_pos];
        if (c == '\n') {
            ++m_pos;
            ++m_line;
            m_index = m_standingIndex;
            const bool empty = m_atLineStart || !m_lineHasToken;
            m_atLineStart = true;
            if (empty)
                continue;
            m_lineHasToken = false;
            m_token = "<NL>";
            return GT_NL;
        }
        if (c == ' ' || c == '\t') {
            ++m_pos;
            m_atLineStart = false;
            continue;
        }
        if (c == '#') {
            const std::size_t end = s.find('\n', m_pos);
            if (end == std::string::npos) {
                m_pos = s.size();
                continue;
            }
            if (m_atLineStart) {
                // A whole-line comment goes with its line end.
                m_pos = end + 1;
                ++m_line;
                m_index = m_standingIndex;
            } else {
                m_pos = end;
            }
            continue;
        }
        if (c == '\\') {
            std::size_t p = m_pos + 1;
            while (p < s.size() && (s[p] == ' ' || s[p] == '\t'))
                ++p;
            if (p < s.size() && s[p] == '#')
                p = s.find('\n', p);
            if (p != std::string::npos && p < s.size() && s[p] == '\n') {
                m_pos = p + 1;
                ++m_line;
                m_index = m_standingIndex;
                m_atLineStart = true;
                continue;
            }
        }
        m_atLineStart = false;

        std::size_t fixedLength = 0;
        const int fixed = fixedText(fixedLength);
        const std::size_t real = m_index ? 0 : realLength();
        std::size_t integer = 0;
        while (m_pos + integer < s.size() && isDigit(s[m_pos + integer]))
            ++integer;
        const std::size_t word = wordLength(m_pos);
        const char c1 = m_pos + 1 < s.size() ? s[m_pos + 1] : '\0';

        if (c == '`' && startsWord(c1))
            return take(1 + wordLength(m_pos + 1), GT_PORT_WORD);
        if (c == '!' && startsWord(c1)) {
            if (int token = take(1 + wordLength(m_pos + 1), GT_STRAY); token == GT_ERROR)
                return token;
            const std::string_view graphics = std::string_view(m_token).substr(1);
            if (graphics == "gri_main")
                return GT_GRI_MAIN;
            if (graphics == "gri_bond")
                return GT_GRI_BOND;
            if (graphics == "T")
                return GT_TRUE;
            if (graphics == "F")
                return GT_FALSE;
            const int keyword = GraphKeywordToken(graphics);
            return keyword ? keyword : GT_STRAY;
        }
        const std::size_t longest = std::max({fixedLength, real, integer, word});
        if (longest == 0)
            return take(1, GT_STRAY);
        if (fixedLength == longest) {
            if (fixed == GT_LEFT_BRACKET)
                m_index = true;
            else if (fixed == GT_RIGHT_BRACKET)
                m_index = m_standingIndex;
            return take(fixedLength, fixed);
        }
        if (real == longest)
            return take(real, GT_REAL);
        if (integer == longest) {
            int token = take(integer, GT_INTEGER);
            if (token == GT_INTEGER && !ParseTokenInteger(m_token, m_value)) {
                m_value = 0;
                m_outOfRange = true;
            }
            return token;
        }
        return scanWord(word);
    }
}
