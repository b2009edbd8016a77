// The Keldor scanner: turns a model description into tokens for the parser.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

struct SymbolEntry;

/// Start conditions of the scanner.
enum ScannerCondition : int {
    SC_INITIAL = 0,  ///< behaves like SC_BRACKETS; never in force after a reset
    SC_NORMAL = 1,   ///< normal text
    SC_BRACKETS = 2, ///< inside brackets: no real constants, so 1..3 scans as a range
};

/// Longest-match scanner over one file's text; the per-process instance is `KeldorScanner::current()`.
class KeldorScanner {
public:
    /// Restarts on a new text: line 1, start condition normal.
    void reset(std::string text);
    /// The next token number, 0 at the end of the input; updates the shared token text and line.
    int next();

    const std::string& text() const { return m_token; }
    /// Line of the last token returned (1-based).
    int line() const { return m_tokenLine; }
    int condition() const { return m_condition; }
    /// The symbol-table entry of the last token when it is a declared name, else null; looked
    /// up again only when the table changed since the token was scanned.
    const SymbolEntry* symbol() const;

    /// 0 connection mode, 1 expression mode; set by the parser.
    int expressionMode = 0;

    static KeldorScanner& current();

private:
    int scan();
    int scanWord(std::size_t start);
    void prefetchNextWords();
    std::size_t realLength(std::size_t at) const;
    std::size_t identifierLength(std::size_t at) const;
    bool lineEndAt(std::size_t at, std::size_t& length) const;

    std::string m_input;
    std::size_t m_pos = 0;
    std::size_t m_peekEnd = 0; ///< end of the words prefetched so far
    int m_line = 1;
    int m_tokenLine = 1;
    int m_condition = SC_NORMAL;
    std::string m_token;
    mutable const SymbolEntry* m_symbol = nullptr;
    mutable std::uint64_t m_symbolGeneration = 0;
};

/// The keyword token of a word, 0 when it is none (the table is searched from the front).
int keywordToken(std::string_view word);

/// The token a declared name scans as: its kind in the symbol table, else `TK_UNDEFINEDNAME`.
int identifierToken(std::string_view name);
