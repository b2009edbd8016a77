// Tests of the Keldor scanner: rules, longest match, start conditions, modes and lines.
#include "modelproc/keldor_scanner.h"
#include "modelproc/symbol_table.h"
#include "modelproc/tokens.h"

#include <gtest/gtest.h>

namespace {

struct Scanned {
    std::vector<int> tokens;
    std::vector<std::string> texts;
    std::vector<int> lines;
};

Scanned scan(const std::string& text, int mode = 0)
{
    symtabSetup(1);
    KeldorScanner scanner;
    scanner.reset(text);
    scanner.expressionMode = mode;
    Scanned out;
    for (int guard = 0; guard < 1000; ++guard) {
        int token = scanner.next();
        if (token == 0)
            break;
        out.tokens.push_back(token);
        out.texts.push_back(scanner.text());
        out.lines.push_back(scanner.line());
    }
    symtabRelease();
    return out;
}

constexpr int U = TK_UNDEFINEDNAME;

} // namespace

TEST(KeldorScanner, TokenSequences)
{
    const struct {
        const char* text;
        int mode;
        std::vector<int> tokens;
    } cases[] = {
        {"p = 1.5;", 1, {U, TK_IS, TK_REAL_CONSTANT, TK_SEMICOLON}},
        {"x[1..3]", 0, {U, TK_LEFTBRACKET, TK_DIGIT, TK_UPTO, TK_DIGIT, TK_RIGHTBRACKET}},
        {"1e3 [1e3] 1e", 0, {TK_REAL_CONSTANT, TK_LEFTBRACKET, U, TK_RIGHTBRACKET, U}},
        {"1. .5 1.5E+3 1e-2 12 12a", 0, {TK_REAL_CONSTANT, TK_REAL_CONSTANT, TK_REAL_CONSTANT, TK_REAL_CONSTANT,
                                         TK_DIGIT, U}},
        {"OR or and not div mod % ^", 0, {U, TK_OR, TK_AND, TK_NOT, TK_IDIV, TK_MOD, TK_MOD, TK_POW}},
        {"p.e p.effort p.f .", 0, {U, TK_SEL_EFFORT, U, TK_SEL_EFFORT, U, U, TK_SEL_FLOW, TK_PERIOD}},
        {"== =/= <> < > >= + - * /", 1, {TK_EQ, TK_NE, TK_NE, TK_LT, TK_GT, TK_GE, TK_PLUS, TK_MIN, TK_MULT, TK_DIV}},
        {"= <= -> :=", 1, {TK_IS, TK_LE, TK_GIVES, TK_EXPR_ASSIGN}},
        {"= <= -> :=", 0, {TK_MULTICONTAIL, TK_LEFTMULTIBONDCON, TK_RIGHTSINGLEBONDCON, TK_LEFTMULTISIGNALCON}},
        {"-- :- -: =: | <- =>", 0, {TK_SINGLEPORTCON, TK_LEFTSINGLESIGNALCON, TK_RIGHTSINGLESIGNALCON,
                                    TK_RIGHTMULTISIGNALCON, TK_CAUSALSTROKE, TK_LEFTSINGLEBONDCON,
                                    TK_RIGHTMULTIBONDCON}},
        {"( ) , ` ; :", 0, {TK_OPEN, TK_CLOSE, TK_COMMA, TK_BACKQUOTE, TK_SEMICOLON, TK_COLON}},
        {"a # comment\nb", 0, {U, TK_NL, U}},
        {"a \\\nb a \\  # note\nb", 0, {U, U, U, U}},
        {"a\r\nb\r", 0, {U, TK_NL, U, TK_ILLEGAL_CHARACTER}},
        {"{ x\n y } { }", 0, {TK_PRE_ERROR, TK_PRE_ERROR}},
        {"{ open", 0, {TK_LONE_OPEN_BRACE, U}},
        {"} E Ex", 0, {TK_CLOSE_BRACE, TK_E, U}},
        {"\" ' _a & \\ x", 0, {TK_ILLEGAL_CHARACTER, TK_ILLEGAL_CHARACTER, TK_ILLEGAL_CHARACTER, U,
                               TK_ILLEGAL_CHARACTER, TK_ILLEGAL_CHARACTER, U}},
        {"!gri_main !gri_bond !T !F !ports !nothing !", 0, {TK_GRI_MAIN, TK_GRI_BOND, TK_TRUE, TK_FALSE, TK_PORTS,
                                                            TK_ILLEGAL_CHARACTER, TK_ILLEGAL_CHARACTER}},
        {"1_effort 1_flow 1j 0j1 parameter parameters", 0, {TK_1_EFFORT, TK_1_FLOW, U, U, TK_PARAMETER,
                                                           TK_PARAMETERS}},
        {"t sin int integer real", 0, {TK_TIME, TK_FUNCTIONNAME, TK_FUNCTIONNAME, TK_INTEGER, TK_REAL}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(scan(c.text, c.mode).tokens, c.tokens) << c.text;
}

TEST(KeldorScanner, TextsAndLinesOfTokens)
{
    Scanned s = scan("class a\n\n  x  # c\n{ one\ntwo } y\r\nz");
    EXPECT_EQ(s.texts, (std::vector<std::string>{"class", "a", "\n", "\n", "x", "\n", "{ one\ntwo }", "y", "\n", "z"}));
    EXPECT_EQ(s.lines, (std::vector<int>{1, 1, 1, 2, 3, 3, 4, 5, 5, 6}));
    // A UTF-8 byte-order mark before the text (models and arguments files alike) is skipped.
    EXPECT_EQ(scan("\xEF\xBB\xBF" "class a").texts, (std::vector<std::string>{"class", "a"}));
}

TEST(KeldorScanner, DeclaredNamesScanAsTheirKind)
{
    symtabSetup(1);
    symtabInsert(nullptr, "mass", TK_PARAMETERNAME);
    symtabInsert(nullptr, "mass", TK_VARIABLENAME);
    KeldorScanner scanner;
    scanner.reset("mass other");
    EXPECT_EQ(scanner.next(), TK_VARIABLENAME);
    EXPECT_EQ(scanner.next(), TK_UNDEFINEDNAME);
    EXPECT_EQ(scanner.next(), 0);
    EXPECT_EQ(scanner.text(), "");
    symtabRelease();
}
