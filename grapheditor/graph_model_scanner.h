// The scanner of graph model files and argument files: longest match over fixed
// texts, real numbers, integers and words, with a normal and an index mode.
#pragma once

#include <string>
#include <string_view>

class NameTable;
struct NameEntry;

/// Token numbers of the model-file scanner.
enum GraphToken : int {
    GT_END = 0,
    GT_OR = 277,
    GT_AND = 278,
    GT_NOT = 279,
    GT_EQ = 280,
    GT_NE = 281,
    GT_LT = 282,
    GT_GT = 284,
    GT_GE = 285,
    GT_MINUS = 286,
    GT_PLUS = 287,
    GT_TIMES = 288,
    GT_DIVIDE = 289,
    GT_DIV = 290,
    GT_MOD = 291,
    GT_POWER = 292,
    GT_REAL_TYPE = 298,
    GT_INTEGER_TYPE = 299,
    GT_BOOLEAN = 300,
    GT_SEL_EFFORT = 304,
    GT_SEL_FLOW = 305,
    GT_OPEN = 306,
    GT_CLOSE = 307,
    GT_COMMA = 308,
    GT_BACKQUOTE = 309,
    GT_LEFT_BRACKET = 310,
    GT_RIGHT_BRACKET = 311,
    GT_SEMICOLON = 312,
    GT_COLON = 313,
    GT_IDENTIFIER = 314,
    GT_STRAY = 315,
    GT_CLASS = 316,
    GT_BOND = 317,
    GT_GRAPH = 318,
    GT_VERSION = 319,
    GT_NL = 320,
    GT_INTERFACE = 321,
    GT_SUBCLASSES = 325,
    GT_CONNECTIONS = 332,
    GT_UNDIRECTED = 336,   ///< "--"
    GT_LEFT_SIGNAL = 337,  ///< ":-"
    GT_RIGHT_SIGNAL = 338, ///< "-:"
    GT_IS = 339,           ///< "="
    GT_LEFT_MULTISIGNAL = 340,  ///< ":="
    GT_RIGHT_MULTISIGNAL = 341, ///< "=:"
    GT_STROKE = 342,
    GT_LEFT_ARROW = 343,  ///< "<-"
    GT_RIGHT_ARROW = 344, ///< "->"
    GT_LEFT_MULTIBOND = 345,  ///< "<="
    GT_RIGHT_MULTIBOND = 346, ///< "=>"
    GT_PORTS = 347,
    GT_INPUTS = 348,
    GT_OUTPUTS = 349,
    GT_UPTO = 359,
    GT_INTEGER = 362,
    GT_REAL = 363,
    GT_TRUE = 364,
    GT_FALSE = 365,
    GT_E = 366,
    GT_ORIENTATION = 368,
    GT_CAUSALITY = 369,
    GT_RESTRICTIONS = 370,
    GT_FIXED = 371,
    GT_PREFERRED = 372,
    GT_CONSTRAINT = 373,
    GT_INDIFFERENT = 374,
    GT_EFFORT = 375,
    GT_FLOW = 376,
    GT_ONE_EFFORT = 377,
    GT_ONE_FLOW = 378,
    GT_SAME = 379,
    GT_IN = 380,
    GT_OUT = 381,
    GT_PERIOD = 382,
    GT_EQUAL = 383,
    GT_NOTEQUAL = 384,
    GT_PORT_WORD = 387,
    GT_GRI_MAIN = 388,
    GT_GRI_BOND = 389,
    GT_ERROR = -1, ///< a token too long; see `error()`
};

/// The keyword token of a word, 0 when it is none.
int GraphKeywordToken(std::string_view word);

/// The token the whole text scans as (in index mode when asked), -1 when it is
/// not exactly one token. No names are known, so a name gives `GT_IDENTIFIER`.
int SingleToken(std::string_view text, bool indexMode = false);

class GraphModelScanner {
public:
    /// Restarts on a text: line 1 at a line start, normal mode as the current and
    /// the standing mode. CR LF reads as one line end; a NUL byte ends the text. A line
    /// that holds no token (blanks, tabs, a comment) gives no line end, as an empty one.
    /// Names are looked up in `names` (none when null).
    void reset(std::string_view text, const NameTable* names);

    int next();

    /// The token's text ("<NL>" for a line end).
    const std::string& text() const { return m_token; }
    /// The value of an integer token; 0 when it is out of range.
    int value() const { return m_value; }
    /// The integer token read last does not fit in 32 bits.
    bool outOfRange() const { return m_outOfRange; }
    /// The name entry of a name token.
    const NameEntry* entry() const { return m_entry; }
    /// The line number as the scanner stands (a line end counted once read).
    int line() const { return m_line; }
    const char* error() const { return m_error; }
    bool indexMode() const { return m_index; }

private:
    int scan();
    int scanWord(std::size_t length);
    int fixedText(std::size_t& length) const;
    std::size_t realLength() const;
    std::size_t wordLength(std::size_t from) const;
    int take(std::size_t length, int token);

    std::string m_text;
    std::size_t m_pos = 0;
    int m_line = 1;
    bool m_atLineStart = true;
    bool m_lineHasToken = false; ///< a token was read since the last line end
    bool m_outOfRange = false;
    bool m_index = false;
    bool m_standingIndex = false;
    const NameTable* m_names = nullptr;
    std::string m_token;
    int m_value = 0;
    const NameEntry* m_entry = nullptr;
    const char* m_error = "";
};
