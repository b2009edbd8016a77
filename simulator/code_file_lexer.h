// The scanner of the simulator's keyword files (code files and experiment
// files): keywords, numbers, names, quoted names and instruction mnemonics.
#pragma once

#include "simulator/interpreter.h"

#include <string>
#include <string_view>

/// Token numbers of the scanner.
enum CodeToken {
    TokenEnd = 0,
    TokenInteger = 0x102,
    TokenReal = 0x103,
    TokenName = 0x104,
    TokenClass = 0x106,
    TokenArgs = 0x107,
    TokenVersion = 0x108,
    TokenValueKey = 0x10C,
    TokenStateKey = 0x10D,
    TokenUnnamedKey = 0x10E,
    TokenTypeWord = 0x10B,
    TokenSectionKey = 0x10F,
    TokenKind = 0x110,
    TokenLoopLetter = 0x111,
    TokenTime = 0x112,
    TokenEndOfLine = 0x141,
    TokenError = 0x142,
    TokenQuote = 0x143,
};

enum class ScanMode { Initial, Names, Equations, Quoted };

/// One row of `CodeKeywords`.
struct CodeKeyword {
    const char* text;
    int token;
    ScanMode mode;  ///< Initial here means: keep the current mode
};

/// The 64 keywords, sorted by text.
extern const CodeKeyword CodeKeywords[64];

/// The keyword row of a word (exact comparison), or null.
const CodeKeyword* FindCodeKeyword(std::string_view word);

class CodeFileLexer {
public:
    /// Starts scanning `text` at line 1 in the initial mode.
    void ResetScanner(std::string text);

    /// The next token number; 0 at the end of the input.
    int NextToken();

    /// Text of the token returned last.
    const std::string& tokenText() const { return m_tokenText; }
    /// Lines started so far (1 + line feeds read).
    int line() const { return m_line; }
    /// The row of the mnemonic scanned last.
    const OpcodeRow* lastOpcode() const { return m_lastOpcode; }
    ScanMode mode() const { return m_mode; }

private:
    int token(int number, std::size_t length);
    std::size_t numberLength(std::size_t at, bool& isReal) const;
    int scanNumber(std::size_t length, bool isReal);

    std::string m_text;
    std::size_t m_pos = 0;
    int m_line = 1;
    bool m_lineHasToken = false;
    ScanMode m_mode = ScanMode::Initial;
    std::string m_tokenText;
    const OpcodeRow* m_lastOpcode = nullptr;
};
