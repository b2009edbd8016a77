// The numbers of the files and the fields.
#include "common/number_words.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>

const char* ReadLeadingReal(const char* text, double& value)
{
    char* end = nullptr;
    errno = 0;
    const double read = std::strtod(text, &end);
    const bool underflow = errno == ERANGE && std::fabs(read) <= 1.0;
    if (end == text || (errno == ERANGE && !underflow) || !std::isfinite(read))
        return text;
    value = read;
    return end;
}

const char* ReadLeadingInteger(const char* text, long long& value, int base)
{
    char* end = nullptr;
    errno = 0;
    const long long read = std::strtoll(text, &end, base);
    if (end == text || errno == ERANGE || read < INT_MIN || read > INT_MAX)
        return text;
    value = read;
    return end;
}

namespace {

/// A word strtod would read in a form no file of the suite writes: blanks first, or hexadecimal.
bool foreignForm(const std::string& word)
{
    return word.empty() || word.find_first_of(" \t\n\v\f\rxX") != std::string::npos;
}

} // namespace

bool ReadFiniteReal(const std::string& word, double& value)
{
    if (foreignForm(word))
        return false;
    double read = 0.0;
    const char* end = ReadLeadingReal(word.c_str(), read);
    if (end != word.c_str() + word.size())
        return false;
    value = read;
    return true;
}

bool ReadInteger32(const std::string& word, int& value)
{
    if (foreignForm(word))
        return false;
    long long read = 0;
    const char* end = ReadLeadingInteger(word.c_str(), read);
    if (end != word.c_str() + word.size())
        return false;
    value = int(read);
    return true;
}

std::vector<std::string> ReadErrorLines(const std::string& heading, const std::string& file, int line,
                                        const std::string* token, const char* reason)
{
    std::vector<std::string> lines = {heading, file};
    lines.push_back(token ? "error in line " + std::to_string(line) + ": " + *token + "."
                          : "error at end of line " + std::to_string(line) + ".");
    if (reason)
        lines.emplace_back(reason);
    return lines;
}
