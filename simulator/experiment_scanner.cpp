// The experiment files' scanner: blanks and tabs separate tokens, a double quote
// opens a text that ends at the next double quote on the same line.
#include "simulator/experiment_scanner.h"

#include "common/message_boxes.h"
#include "common/number_words.h"
#include "common/text_helpers.h"
#include "platform/core/file_system.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>

ExperimentScanner::ExperimentScanner(const std::string& file) : m_text(platform::withoutByteOrderMark(file))
{
    scan(m_ring[m_peeked]);
}

void ExperimentScanner::scan(ScannedToken& token)
{
    const std::string_view text = m_text;
    const std::size_t n = text.size();
    std::size_t& i = m_pos;
    while (i < n) {
        const char c = text[i];
        if (c == '\n') {
            ++i;
            const bool ended = m_lineHasToken;
            m_lineHasToken = false;
            if (ended) {
                token.kind = ExperimentToken::EndOfLine;
                token.text.clear();
                token.line = m_line++;
                return;
            }
            ++m_line;
            continue;
        }
        if (IsBlankChar(c)) {
            ++i;
            continue;
        }
        m_lineHasToken = true;
        token.line = m_line;
        if (c == '"') {
            std::size_t end = i + 1;
            while (end < n && text[end] != '"' && text[end] != '\n')
                ++end;
            token.kind = ExperimentToken::Quoted;
            token.text.assign(text.substr(i + 1, end - i - 1));
            i = end < n && text[end] == '"' ? end + 1 : end;
            return;
        }
        std::size_t end = i;
        while (end < n && !IsBlankChar(text[end]) && text[end] != '"')
            ++end;
        token.kind = c == '#' ? ExperimentToken::Keyword : ExperimentToken::Word;
        token.text.assign(text.substr(i, end - i));
        i = end;
        return;
    }
    // A last line without its line end is ended all the same.
    token.text.clear();
    token.line = m_line;
    if (m_lineHasToken) {
        m_lineHasToken = false;
        token.kind = ExperimentToken::EndOfLine;
        ++m_line;
        return;
    }
    token.kind = ExperimentToken::EndOfFile;
}

const ScannedToken& ExperimentScanner::next()
{
    const std::size_t current = m_peeked;
    if (m_ring[current].kind != ExperimentToken::EndOfFile) {
        m_peeked = (current + 1) % m_ring.size();
        scan(m_ring[m_peeked]);
    }
    return m_ring[current];
}

const ScannedToken& ExperimentScanner::peek() const { return m_ring[m_peeked]; }

void ExperimentScanner::skipLine()
{
    for (;;) {
        const ScannedToken& token = next();
        if (token.kind == ExperimentToken::EndOfLine || token.kind == ExperimentToken::EndOfFile)
            return;
    }
}

bool WordIsNumber(const std::string& word, double& value)
{
    if (word.empty())
        return false;
    const char first = word[0] == '-' || word[0] == '+' ? (word.size() > 1 ? word[1] : '\0') : word[0];
    const bool digitStart = (first >= '0' && first <= '9') || first == '.';
    const bool special = first == 'i' || first == 'I' || first == 'n' || first == 'N';
    if (!digitStart && !special)
        return false;
    if (word.find_first_of("xX") != std::string::npos)
        return false;
    char* end = nullptr;
    errno = 0;
    value = std::strtod(word.c_str(), &end);
    return end == word.c_str() + word.size();
}

bool WordIsName(const std::string& word)
{
    double value = 0.0;
    const bool letterFirst = !word.empty() && std::isalpha(static_cast<unsigned char>(word[0]));
    return !word.empty() && (letterFirst || !WordIsNumber(word, value));
}

void ReportSpecSyntaxError(const std::string& heading, const std::string& file, const ScannedToken& token,
                           const char* reason)
{
    const bool atEnd = token.kind == ExperimentToken::EndOfLine || token.kind == ExperimentToken::EndOfFile;
    const std::string text = token.kind == ExperimentToken::Quoted ? "\"" + token.text + "\"" : token.text;
    const int line = atEnd && token.kind == ExperimentToken::EndOfFile ? token.line - 1 : token.line;
    ShowMessageLines(ReadErrorLines(heading, file, line, atEnd ? nullptr : &text, reason));
}
