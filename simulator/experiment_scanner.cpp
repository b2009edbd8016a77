// The experiment files' scanner: blanks and tabs separate tokens, a double quote
// opens a text that ends at the next double quote on the same line.
#include "simulator/experiment_scanner.h"

#include "common/message_boxes.h"
#include "common/text_helpers.h"
#include "platform/core/file_system.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>

ExperimentScanner::ExperimentScanner(const std::string& file)
{
    const std::string_view text = platform::withoutByteOrderMark(file);
    int line = 1;
    std::size_t i = 0;
    const std::size_t n = text.size();
    bool lineHasToken = false;
    while (i < n) {
        const char c = text[i];
        if (c == '\n') {
            if (lineHasToken)
                m_tokens.push_back({ExperimentToken::EndOfLine, "", line});
            lineHasToken = false;
            ++line;
            ++i;
            continue;
        }
        if (IsBlankChar(c)) {
            ++i;
            continue;
        }
        lineHasToken = true;
        if (c == '"') {
            std::size_t end = i + 1;
            while (end < n && text[end] != '"' && text[end] != '\n')
                ++end;
            m_tokens.push_back({ExperimentToken::Quoted, std::string(text.substr(i + 1, end - i - 1)), line});
            i = end < n && text[end] == '"' ? end + 1 : end;
            continue;
        }
        std::size_t end = i;
        while (end < n && !IsBlankChar(text[end]) && text[end] != '"')
            ++end;
        const std::string word(text.substr(i, end - i));
        m_tokens.push_back({word[0] == '#' ? ExperimentToken::Keyword : ExperimentToken::Word, word, line});
        i = end;
    }
    if (lineHasToken)
        m_tokens.push_back({ExperimentToken::EndOfLine, "", line++});
    m_tokens.push_back({ExperimentToken::EndOfFile, "", line});
}

const ScannedToken& ExperimentScanner::next()
{
    const ScannedToken& token = m_tokens[m_pos];
    if (m_pos + 1 < m_tokens.size())
        ++m_pos;
    return token;
}

const ScannedToken& ExperimentScanner::peek() const { return m_tokens[m_pos]; }

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

void ReportSpecSyntaxError(const std::string& heading, const ScannedToken& token)
{
    const bool atEnd = token.kind == ExperimentToken::EndOfLine || token.kind == ExperimentToken::EndOfFile;
    std::string line = atEnd ? "error at end of line " + std::to_string(token.kind == ExperimentToken::EndOfFile
                                                                             ? token.line - 1
                                                                             : token.line) +
                                   "."
                             : "error in line " + std::to_string(token.line) + ": " +
                                   (token.kind == ExperimentToken::Quoted ? "\"" + token.text + "\"" : token.text) + ".";
    ShowMessage({heading, line});
}
