// A tolerant line scanner for the experiment files: keywords, words, quoted texts
// that run to their closing quote, line ends and the end of the file.
#pragma once

#include <array>
#include <string>
#include <string_view>

enum class ExperimentToken { Keyword, Word, Quoted, EndOfLine, EndOfFile };

struct ScannedToken {
    ExperimentToken kind = ExperimentToken::EndOfFile;
    std::string text;
    int line = 0;
};

class ExperimentScanner {
public:
    /// Scans the text, which must outlive the scanner, a token at a time as they are
    /// asked for; LF and CR LF line ends alike.
    explicit ExperimentScanner(const std::string& text);

    /// The next token (the end of the file repeats). It stays as it is through the two
    /// calls that follow; keep a copy for longer.
    const ScannedToken& next();
    /// The token `next` will return.
    const ScannedToken& peek() const;
    /// Passes over the rest of the line, its line end included.
    void skipLine();

private:
    /// Scans the token after the text's position into `token`.
    void scan(ScannedToken& token);

    std::string_view m_text;
    std::size_t m_pos = 0;
    int m_line = 1;
    bool m_lineHasToken = false;
    /// The tokens `next` returned last, the one it returns next and room for one more.
    std::array<ScannedToken, 4> m_ring;
    std::size_t m_peeked = 0;
};

/// True when the whole word reads as a number (finite, or "INF" and "NAN" in any case and sign).
bool WordIsNumber(const std::string& word, double& value);

/// True when the word is a name where a name stands: anything but a number written with a
/// digit, sign or point first ("inf" and "nan" are names there).
bool WordIsName(const std::string& word);

/// Shows the heading, the file, and "error in line %d: %s." or, at a line end or the end
/// of the file, "error at end of line %d.", then the reason when one is given.
void ReportSpecSyntaxError(const std::string& heading, const std::string& file, const ScannedToken& token,
                           const char* reason = nullptr);

