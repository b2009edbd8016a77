// The Keldor scanner: a hand-written longest-match state machine with three start
// conditions, the keyword table, the `!` words and the connection/expression mode.
#include "modelproc/keldor_scanner.h"

#include "modelproc/display_hooks.h"
#include "modelproc/symbol_table.h"
#include "modelproc/tokens.h"

#include <algorithm>
#include <utility>

namespace {

struct Keyword {
    const char* word;
    int token;
};

// "1_effort" and "1_flow" cannot be written as identifiers (they start with a digit and
// `_`); the scanner reads them as these words before the number and identifier rules.
const Keyword keywords[] = {
    {"1_effort", TK_1_EFFORT},   {"1_flow", TK_1_FLOW},       {"any", TK_ANY},
    {"bond", TK_BOND},           {"boolean", TK_BOOLEAN},     {"causality", TK_CAUSALITY},
    {"class", TK_CLASS},         {"conditions", TK_CONDITIONS}, {"connections", TK_CONNECTIONS},
    {"constants", TK_CONSTANTS}, {"constraint", TK_CONSTRAINT}, {"dimension", TK_DIMENSION},
    {"do", TK_DO},               {"effort", TK_EFFORT},       {"else", TK_ELSE},
    {"elseif", TK_ELSEIF},       {"equal", TK_EQUAL},         {"equations", TK_EQUATIONS},
    {"false", TK_FALSE},         {"fi", TK_FI},               {"fixed", TK_FIXED},
    {"flow", TK_FLOW},           {"for", TK_FOR},             {"graph", TK_GRAPH},
    {"if", TK_IF},               {"in", TK_IN},               {"indifferent", TK_INDIFFERENT},
    {"initial", TK_INITIAL},     {"inputs", TK_INPUTS},       {"integer", TK_INTEGER},
    {"interface", TK_INTERFACE}, {"interpolation", TK_INTERPOLATION}, {"notequal", TK_NOTEQUAL},
    {"od", TK_OD},               {"orientation", TK_ORIENTATION}, {"out", TK_OUT},
    {"outputs", TK_OUTPUTS},     {"parameters", TK_PARAMETERS}, {"parameter", TK_PARAMETER},
    {"ports", TK_PORTS},         {"preferred", TK_PREFERRED}, {"real", TK_REAL},
    {"restrictions", TK_RESTRICTIONS}, {"same", TK_SAME},     {"sampletime", TK_SAMPLETIME},
    {"scheme", TK_SCHEME},       {"set", TK_SET},             {"signals", TK_SIGNALS},
    {"string", TK_STRING},       {"subclasses", TK_SUBCLASSES}, {"tables", TK_TABLES},
    {"then", TK_THEN},           {"true", TK_TRUE},           {"variables", TK_VARIABLES},
    {"version", TK_VERSION},
};

// Identifiers hold only ASCII letters, digits and `_`, whatever the locale of the process.
bool isLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isWordChar(char c) { return isLetter(c) || isDigit(c) || c == '_'; }

constexpr std::size_t kKeywordCount = sizeof keywords / sizeof keywords[0];

/// The keywords by their first character, each list in table order, so that a word is
/// compared only with the few keywords it could be.
struct KeywordIndex {
    struct Word {
        std::string_view text;
        int token;
    };
    Word words[kKeywordCount];
    unsigned char first[257] = {}; ///< words of first character c: words[first[c]] up to words[first[c + 1]]

    KeywordIndex()
    {
        std::size_t n = 0;
        for (int c = 0; c < 256; ++c) {
            first[c] = static_cast<unsigned char>(n);
            for (const Keyword& k : keywords)
                if (static_cast<unsigned char>(k.word[0]) == c)
                    words[n++] = Word{k.word, k.token};
        }
        first[256] = static_cast<unsigned char>(n);
    }
};

const KeywordIndex& keywordIndex()
{
    static const KeywordIndex index;
    return index;
}

} // namespace

int keywordToken(std::string_view word)
{
    if (word.empty())
        return 0;
    const KeywordIndex& index = keywordIndex();
    const auto c = static_cast<unsigned char>(word[0]);
    for (std::size_t i = index.first[c]; i < index.first[c + 1]; ++i)
        if (index.words[i].text == word)
            return index.words[i].token;
    return 0;
}

int identifierToken(std::string_view name)
{
    return symbolKind(name);
}

KeldorScanner& KeldorScanner::current()
{
    static KeldorScanner scanner;
    return scanner;
}

void KeldorScanner::reset(std::string text)
{
    m_input = std::move(text);
    if (m_input.starts_with("\xEF\xBB\xBF"))
        m_input.erase(0, 3); // a UTF-8 byte-order mark is no part of the model
    m_pos = 0;
    m_peekEnd = 0;
    m_line = 1;
    m_tokenLine = 1;
    m_condition = SC_NORMAL;
    m_token.clear();
}

int KeldorScanner::next()
{
    int token = scan();
    ProcessingPosition& position = CurrentPosition();
    position.token = m_token;
    position.line = m_tokenLine;
    return token;
}

bool KeldorScanner::lineEndAt(std::size_t at, std::size_t& length) const
{
    if (at < m_input.size() && m_input[at] == '\n') {
        length = 1;
        return true;
    }
    if (at + 1 < m_input.size() && m_input[at] == '\r' && m_input[at + 1] == '\n') {
        length = 2;
        return true;
    }
    return false;
}

std::size_t KeldorScanner::identifierLength(std::size_t at) const
{
    std::size_t p = at;
    while (p < m_input.size() && isDigit(m_input[p]))
        ++p;
    if (p >= m_input.size() || !isLetter(m_input[p]))
        return 0;
    while (p < m_input.size() && isWordChar(m_input[p]))
        ++p;
    return p - at;
}

std::size_t KeldorScanner::realLength(std::size_t at) const
{
    const std::string& s = m_input;
    std::size_t p = at;
    std::size_t intDigits = 0;
    while (p < s.size() && isDigit(s[p]))
        ++p, ++intDigits;
    bool point = false;
    std::size_t fracDigits = 0;
    if (p < s.size() && s[p] == '.') {
        std::size_t q = p + 1;
        while (q < s.size() && isDigit(s[q]))
            ++q, ++fracDigits;
        if (intDigits > 0 || fracDigits > 0) {
            point = true;
            p = q;
        }
    }
    if (intDigits == 0 && fracDigits == 0)
        return 0;
    if (p < s.size() && (s[p] == 'e' || s[p] == 'E')) {
        std::size_t q = p + 1;
        if (q < s.size() && (s[q] == '+' || s[q] == '-'))
            ++q;
        std::size_t expDigits = 0;
        while (q < s.size() && isDigit(s[q]))
            ++q, ++expDigits;
        if (expDigits > 0)
            return q - at;
    }
    return point ? p - at : 0;
}

const SymbolEntry* KeldorScanner::symbol() const
{
    if (m_symbolGeneration != symtabGeneration()) {
        m_symbol = findSymbol(m_token);
        m_symbolGeneration = symtabGeneration();
    }
    return m_symbol;
}

void KeldorScanner::prefetchNextWords()
{
    // The next identifiers of the text, found roughly (a near miss only costs a useless
    // prefetch): their lookups would otherwise each wait for a cache miss in a large table.
    // Two words ahead are kept in flight; words prefetched before are not looked at again.
    const std::string& s = m_input;
    int words = m_peekEnd > m_pos ? 1 : 2;
    std::size_t p = std::max(m_pos, m_peekEnd);
    const std::size_t end = std::min(s.size(), p + 96);
    while (words > 0 && p < end) {
        while (p < end && !isWordChar(s[p]))
            ++p;
        const std::size_t from = p;
        while (p < end && isDigit(s[p]))
            ++p;
        if (p < end && isLetter(s[p])) {
            while (p < end && isWordChar(s[p]))
                ++p;
            prefetchSymbol(std::string_view(s).substr(from, p - from));
            --words;
        } else {
            while (p < end && isWordChar(s[p]))
                ++p;
        }
    }
    m_peekEnd = p;
}

int KeldorScanner::scanWord(std::size_t start)
{
    m_token.assign(m_input, start, m_pos - start);
    const std::string_view word = m_token;
    switch (word.size()) {
    case 1:
        if (word[0] == 'E')
            return TK_E;
        break;
    case 2:
        if (word == "or")
            return TK_OR;
        break;
    case 3:
        if (word == "and")
            return TK_AND;
        if (word == "not")
            return TK_NOT;
        if (word == "div")
            return TK_IDIV;
        if (word == "mod")
            return TK_MOD;
        break;
    default: break;
    }
    if (int keyword = keywordToken(word))
        return keyword;
    prefetchNextWords();
    m_symbol = findSymbol(word);
    m_symbolGeneration = symtabGeneration();
    return m_symbol ? m_symbol->kind : TK_UNDEFINEDNAME;
}

int KeldorScanner::scan()
{
    const std::string& s = m_input;
    m_symbol = nullptr;
    m_symbolGeneration = symtabGeneration();
    for (;;) {
        m_tokenLine = m_line;
        if (m_pos >= s.size()) {
            m_token.clear();
            return 0;
        }
        std::size_t start = m_pos;
        char c = s[m_pos];
        std::size_t endLength = 0;
        auto single = [&](int token) {
            m_token.assign(1, c);
            ++m_pos;
            return token;
        };
        auto pair = [&](int token) {
            m_token.assign(s, start, 2);
            m_pos += 2;
            return token;
        };
        char c1 = m_pos + 1 < s.size() ? s[m_pos + 1] : '\0';
        char c2 = m_pos + 2 < s.size() ? s[m_pos + 2] : '\0';

        if (lineEndAt(m_pos, endLength)) {
            m_pos += endLength;
            m_token = "\n";
            ++m_line;
            return TK_NL;
        }
        switch (c) {
        case ' ':
        case '\t':
            ++m_pos;
            continue;
        case '#':
            while (m_pos < s.size() && !lineEndAt(m_pos, endLength))
                ++m_pos;
            continue;
        case '\\': {
            std::size_t p = m_pos + 1;
            if (lineEndAt(p, endLength)) {
                m_pos = p + endLength;
                ++m_line;
                continue;
            }
            while (p < s.size() && (s[p] == ' ' || s[p] == '\t'))
                ++p;
            if (p < s.size() && s[p] == '#') {
                while (p < s.size() && !lineEndAt(p, endLength))
                    ++p;
                if (p < s.size()) {
                    m_pos = p + endLength;
                    ++m_line;
                    continue;
                }
            }
            return single(TK_ILLEGAL_CHARACTER);
        }
        case '{': {
            std::size_t close = s.find('}', m_pos + 1);
            if (close == std::string::npos)
                return single(TK_LONE_OPEN_BRACE);
            m_token = s.substr(start, close + 1 - start);
            for (std::size_t p = m_pos; p < close; ++p)
                if (s[p] == '\n')
                    ++m_line;
            m_pos = close + 1;
            return TK_PRE_ERROR;
        }
        case '}': return single(TK_CLOSE_BRACE);
        case '+': return single(TK_PLUS);
        case '*': return single(TK_MULT);
        case '/': return single(TK_DIV);
        case '%': return single(TK_MOD);
        case '^': return single(TK_POW);
        case '(': return single(TK_OPEN);
        case ')': return single(TK_CLOSE);
        case ',': return single(TK_COMMA);
        case '`': return single(TK_BACKQUOTE);
        case ';': return single(TK_SEMICOLON);
        case '|': return single(TK_CAUSALSTROKE);
        case '[':
            m_condition = SC_BRACKETS;
            return single(TK_LEFTBRACKET);
        case ']':
            m_condition = SC_NORMAL;
            return single(TK_RIGHTBRACKET);
        case '-':
            if (c1 == '>')
                return pair(expressionMode ? TK_GIVES : TK_RIGHTSINGLEBONDCON);
            if (c1 == '-')
                return pair(TK_SINGLEPORTCON);
            if (c1 == ':')
                return pair(TK_RIGHTSINGLESIGNALCON);
            return single(TK_MIN);
        case '=':
            if (c1 == '/' && c2 == '=') {
                m_token = "=/=";
                m_pos += 3;
                return TK_NE;
            }
            if (c1 == '=')
                return pair(TK_EQ);
            if (c1 == ':')
                return pair(TK_RIGHTMULTISIGNALCON);
            if (c1 == '>')
                return pair(TK_RIGHTMULTIBONDCON);
            return single(expressionMode ? TK_IS : TK_MULTICONTAIL);
        case '<':
            if (c1 == '>')
                return pair(TK_NE);
            if (c1 == '=')
                return pair(expressionMode ? TK_LE : TK_LEFTMULTIBONDCON);
            if (c1 == '-')
                return pair(TK_LEFTSINGLEBONDCON);
            return single(TK_LT);
        case '>':
            if (c1 == '=')
                return pair(TK_GE);
            return single(TK_GT);
        case ':':
            if (c1 == '=')
                return pair(expressionMode ? TK_EXPR_ASSIGN : TK_LEFTMULTISIGNALCON);
            if (c1 == '-')
                return pair(TK_LEFTSINGLESIGNALCON);
            return single(TK_COLON);
        case '!': {
            std::size_t length = isLetter(c1) ? identifierLength(m_pos + 1) : 0;
            if (length == 0)
                return single(TK_ILLEGAL_CHARACTER);
            m_pos += 1 + length;
            m_token = s.substr(start, 1 + length);
            std::string_view word(m_token.data() + 1, length);
            if (word == "gri_main")
                return TK_GRI_MAIN;
            if (word == "gri_bond")
                return TK_GRI_BOND;
            if (word == "T")
                return TK_TRUE;
            if (word == "F")
                return TK_FALSE;
            int keyword = keywordToken(word);
            return keyword ? keyword : TK_ILLEGAL_CHARACTER;
        }
        default: break;
        }

        if (isLetter(c)) {
            // Only the identifier rule matches text that starts with a letter.
            m_pos += identifierLength(m_pos);
            return scanWord(start);
        }
        if (c == '.' || isDigit(c)) {
            // Longest match; on equal length the earlier rule wins: operators and
            // selectors, digits, real constants, identifiers.
            std::size_t bestLength = 0;
            int best = 0;
            auto offer = [&](std::size_t length, int token) {
                if (length > bestLength) {
                    bestLength = length;
                    best = token;
                }
            };
            if (c == '.') {
                if (c1 == '.')
                    offer(2, TK_UPTO);
                else if (c1 == 'e')
                    offer(2, TK_SEL_EFFORT);
                else if (c1 == 'f')
                    offer(2, TK_SEL_FLOW);
                else
                    offer(1, TK_PERIOD);
            }
            for (const char* word : {"1_effort", "1_flow"})
                if (s.compare(m_pos, std::string_view(word).size(), word) == 0)
                    offer(std::string_view(word).size(), -1);
            std::size_t digits = 0;
            while (m_pos + digits < s.size() && isDigit(s[m_pos + digits]))
                ++digits;
            offer(digits, TK_DIGIT);
            if (m_condition == SC_NORMAL)
                offer(realLength(m_pos), TK_REAL_CONSTANT);
            offer(identifierLength(m_pos), -2);
            m_pos += bestLength;
            if (best == -2)
                return scanWord(start);
            m_token.assign(s, start, bestLength);
            if (best == -1)
                return keywordToken(m_token);
            return best;
        }
        // Every other character, a lone carriage return among them.
        return single(TK_ILLEGAL_CHARACTER);
    }
}
