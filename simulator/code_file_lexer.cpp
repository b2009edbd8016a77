// The keyword-file scanner: a small state machine over four modes (initial,
// names, equations, quoted), reading LF and CR LF line ends alike.
#include "simulator/code_file_lexer.h"

#include "common/text_helpers.h"
#include "simulator/model_variables.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace {

using M = ScanMode;

bool isLetter(char c) { return std::isalpha(static_cast<unsigned char>(c)) != 0; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isAlnum(char c) { return isLetter(c) || isDigit(c); }
bool isNameChar(char c) { return isAlnum(c) || std::strchr("_.,[]`", c) != nullptr; }
bool isQuotedChar(char c) { return isAlnum(c) || std::strchr("_.:\\/", c) != nullptr; }

} // namespace

const CodeKeyword CodeKeywords[64] = {
    {"#Ascii", 0x11B, M::Initial}, {"#Binary", 0x11A, M::Initial},
    {"#Clroutp", 0x119, M::Initial}, {"#Cont", 0x13E, M::Initial},
    {"#DAlgloop", 0x10D, M::Initial}, {"#DConst", 0x10C, M::Initial},
    {"#DIncond", 0x10C, M::Initial}, {"#DParam", 0x10C, M::Initial},
    {"#DRate_ind", 0x10D, M::Initial}, {"#DState_dept", 0x10D, M::Initial},
    {"#DTable", 0x10C, M::Initial}, {"#DUnnamed", 0x10E, M::Initial},
    {"#DVariable", 0x10D, M::Initial}, {"#Drate_dept", 0x10D, M::Initial},
    {"#Dstate_ind", 0x10D, M::Names}, {"#EInitial", 0x10F, M::Equations},
    {"#Edynamic", 0x10F, M::Equations}, {"#Einputs", 0x10F, M::Equations},
    {"#Eoutputs", 0x10F, M::Equations}, {"#Exit", 0x140, M::Initial},
    {"#Formatver", 0x13A, M::Initial}, {"#Hargs", 0x107, M::Initial},
    {"#Hclass", 0x106, M::Names}, {"#Hexpmt", 0x109, M::Initial},
    {"#Hversion", 0x108, M::Initial}, {"#ICset", 0x115, M::Initial},
    {"#Iabserr", 0x125, M::Initial}, {"#Ialpabserr", 0x127, M::Initial},
    {"#Ialprelerr", 0x128, M::Initial}, {"#Imethod", 0x123, M::Initial},
    {"#Iprocsr", 0x124, M::Initial}, {"#Irelerr", 0x126, M::Initial},
    {"#Load", 0x13B, M::Quoted}, {"#Model", 0x13C, M::Quoted},
    {"#Nvariables", 0x10A, M::Initial}, {"#Otime", 0x12A, M::Initial},
    {"#Oxaxis", 0x12B, M::Initial}, {"#Oyaxis", 0x12C, M::Initial},
    {"#Parset", 0x114, M::Initial}, {"#Point", 0x12D, M::Initial},
    {"#Prtpid", 0x113, M::Initial}, {"#Runsp", 0x117, M::Initial},
    {"#Setoutp", 0x118, M::Initial}, {"#Start", 0x13D, M::Initial},
    {"#State", 0x116, M::Initial}, {"#Stick", 0x12E, M::Names},
    {"#Sttoic", 0x13F, M::Initial}, {"#Tcomint", 0x133, M::Initial},
    {"#Tfinish", 0x139, M::Initial}, {"#Tignwarn", 0x134, M::Initial},
    {"#Transp", 0x11C, M::Initial}, {"#Tscaleode", 0x135, M::Initial},
    {"#Tstart", 0x132, M::Initial}, {"#Tstep", 0x137, M::Initial},
    {"#Tstinit", 0x136, M::Initial}, {"#Tstmax", 0x138, M::Initial},
    {"#X_variable", 0x12F, M::Initial}, {"#Y_variable", 0x130, M::Initial},
    {"#Z_variable", 0x131, M::Initial}, {"#bool", 0x10B, M::Initial},
    {"#int", 0x10B, M::Initial}, {"#real", 0x10B, M::Initial},
    {"#sampletime", 0x10B, M::Initial}, {"#string", 0x10B, M::Initial},
};

const CodeKeyword* FindCodeKeyword(std::string_view word)
{
    const auto* end = std::end(CodeKeywords);
    const auto* it = std::lower_bound(std::begin(CodeKeywords), end, word,
                                      [](const CodeKeyword& k, std::string_view w) { return std::string_view(k.text) < w; });
    return it != end && it->text == word ? it : nullptr;
}

void CodeFileLexer::ResetScanner(std::string text)
{
    m_text = std::move(text);
    m_pos = 0;
    m_line = 1;
    m_lineHasToken = false;
    m_mode = ScanMode::Initial;
    m_tokenText.clear();
    m_lastOpcode = nullptr;
}

int CodeFileLexer::token(int number, std::size_t length)
{
    m_tokenText = std::string_view(m_text).substr(m_pos, length);
    m_pos += length;
    m_lineHasToken = true;
    return number;
}

std::size_t CodeFileLexer::numberLength(std::size_t at, bool& isReal) const
{
    const std::size_t n = m_text.size();
    std::size_t i = at;
    isReal = false;
    if (i < n && m_text[i] == '-') {
        isReal = true;
        ++i;
    }
    std::size_t digits = 0;
    while (i < n && isDigit(m_text[i]))
        ++i, ++digits;
    if (i < n && m_text[i] == '.') {
        std::size_t fraction = 0;
        std::size_t j = i + 1;
        while (j < n && isDigit(m_text[j]))
            ++j, ++fraction;
        if (digits + fraction > 0) {
            isReal = true;
            i = j;
            digits += fraction;
        }
    }
    if (digits == 0)
        return 0;
    if (i < n && (m_text[i] == 'e' || m_text[i] == 'E')) {
        std::size_t j = i + 1;
        if (j < n && (m_text[j] == '+' || m_text[j] == '-'))
            ++j;
        if (j < n && isDigit(m_text[j])) {
            while (j < n && isDigit(m_text[j]))
                ++j;
            isReal = true;
            i = j;
        }
    }
    return i - at;
}

int CodeFileLexer::NextToken()
{
    const std::size_t n = m_text.size();
    for (;;) {
        if (m_pos >= n) {
            if (m_lineHasToken) {
                // A last line without its line feed still ends with an end of line.
                m_lineHasToken = false;
                ++m_line;
                m_tokenText.clear();
                return TokenEndOfLine;
            }
            m_tokenText.clear();
            return TokenEnd;
        }
        const char c = m_text[m_pos];
        if (c != '\n' && IsBlankChar(c)) {
            ++m_pos;
            continue;
        }
        if (c == '\n') {
            ++m_pos;
            ++m_line;
            if (m_lineHasToken) {
                m_lineHasToken = false;
                m_tokenText.clear();
                return TokenEndOfLine;
            }
            continue;
        }
        break;
    }

    const char c = m_text[m_pos];
    if (c == '#') {
        std::size_t end = m_pos + 1;
        while (end < n && (isLetter(m_text[end]) || m_text[end] == '_'))
            ++end;
        if (end == m_pos + 1)
            return token(TokenError, 1);
        const CodeKeyword* keyword = FindCodeKeyword(std::string_view(m_text).substr(m_pos, end - m_pos));
        if (!keyword)
            return token(TokenError, end - m_pos);
        if (keyword->mode != ScanMode::Initial)
            m_mode = keyword->mode;
        return token(keyword->token, end - m_pos);
    }

    bool isReal = false;
    const std::size_t number = numberLength(m_pos, isReal);

    switch (m_mode) {
    case ScanMode::Names:
        if (c == '"') {
            m_mode = ScanMode::Quoted;
            return token(TokenQuote, 1);
        }
        if (isAlnum(c)) {
            std::size_t end = m_pos + 1;
            while (end < n && isNameChar(m_text[end]))
                ++end;
            if (end - m_pos > number)
                return token(TokenName, end - m_pos);
        }
        break;
    case ScanMode::Quoted:
        if (c == '"') {
            m_mode = ScanMode::Names;
            return token(TokenQuote, 1);
        }
        if (isLetter(c) || c == '_' || c == '\\') {
            std::size_t end = m_pos + 1;
            while (end < n && isQuotedChar(m_text[end]))
                ++end;
            return token(end - m_pos >= 2 ? TokenName : TokenError, end - m_pos >= 2 ? end - m_pos : 1);
        }
        break;
    case ScanMode::Equations:
        if (c >= 'a' && c <= 'z') {
            std::size_t end = m_pos + 1;
            while (end < n && isAlnum(m_text[end]))
                ++end;
            const std::string_view word = std::string_view(m_text).substr(m_pos, end - m_pos);
            const bool letterAndDigits = std::all_of(word.begin() + 1, word.end(), isDigit);
            if (word.size() >= 3 && !(letterAndDigits && (KindOfLetter(c) >= 0 || c == 't'))) {
                m_lastOpcode = FindOpcode(word);
                if (!m_lastOpcode)
                    return token(TokenError, word.size());
                return token(m_lastOpcode->token, word.size());
            }
        }
        if (isLetter(c)) {
            if (c == 't')
                return token(TokenTime, 1);
            if (c == 'L')
                return token(TokenLoopLetter, 1);
            if (KindOfLetter(c) >= 0)
                return token(TokenKind, 1);
            return token(TokenError, 1);
        }
        break;
    case ScanMode::Initial:
        break;
    }
    if (number > 0)
        return token(isReal ? TokenReal : TokenInteger, number);
    return token(TokenError, 1);
}
