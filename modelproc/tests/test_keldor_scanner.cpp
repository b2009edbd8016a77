// Tests of the Keldor scanner: rules, longest match, start conditions, modes and lines.
#include "modelproc/keldor_scanner.h"
#include "modelproc/model_records.h"
#include "modelproc/symbol_table.h"
#include "modelproc/tokens.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

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

TEST(KeldorScanner, EveryKeywordAndNothingElseScansAsAKeyword)
{
    const std::pair<const char*, int> words[] = {
        {"1_effort", 382}, {"1_flow", 383}, {"any", 340}, {"bond", 322}, {"boolean", 302}, {"causality", 374},
        {"class", 321}, {"conditions", 329}, {"connections", 337}, {"constants", 334}, {"constraint", 378},
        {"dimension", 355}, {"do", 357}, {"effort", 380}, {"else", 363}, {"elseif", 361}, {"equal", 388},
        {"equations", 339}, {"false", 370}, {"fi", 360}, {"fixed", 376}, {"flow", 381}, {"for", 356},
        {"graph", 323}, {"if", 359}, {"in", 385}, {"indifferent", 379}, {"initial", 328}, {"inputs", 353},
        {"integer", 301}, {"interface", 326}, {"interpolation", 390}, {"notequal", 389}, {"od", 358},
        {"orientation", 373}, {"out", 386}, {"outputs", 354}, {"parameters", 327}, {"parameter", 331},
        {"ports", 352}, {"preferred", 377}, {"real", 300}, {"restrictions", 375}, {"same", 384},
        {"sampletime", 304}, {"scheme", 391}, {"set", 333}, {"signals", 338}, {"string", 303},
        {"subclasses", 330}, {"tables", 335}, {"then", 362}, {"true", 369}, {"variables", 336},
        {"version", 324},
    };
    for (const auto& [word, token] : words) {
        EXPECT_EQ(keywordToken(word), token) << word;
        // Neither a longer nor a shorter word, nor another case, is the keyword.
        const std::string text = word;
        EXPECT_EQ(keywordToken(text + "x"), 0) << word;
        EXPECT_NE(keywordToken(std::string_view(text).substr(0, text.size() - 1)), token) << word;
        std::string upper = text;
        upper[upper[0] == '1' ? 2 : 0] = static_cast<char>(upper[upper[0] == '1' ? 2 : 0] - 'a' + 'A');
        EXPECT_EQ(keywordToken(upper), 0) << word;
    }
    EXPECT_EQ(keywordToken(""), 0);
    EXPECT_EQ(keywordToken("v0"), 0);
}

TEST(SymbolTable, ManyNamesKeepTheirNewestDeclaration)
{
    symtabSetup(1);
    // Enough names for the table to grow many times, among them names that share their first
    // characters, names that are prefixes of others, and names longer than a block of text.
    constexpr int n = 60000;
    std::vector<std::string> names;
    for (int k = 0; k < n; ++k)
        names.push_back((k % 3 == 0 ? "v" : k % 3 == 1 ? "mass_" : "s") + std::to_string(k));
    const std::string longName(100000, 'q');
    names.push_back(longName);
    std::vector<SectionLink> records(names.size());
    const SymbolEntry* early = nullptr;
    for (std::size_t k = 0; k < names.size(); ++k) {
        ASSERT_EQ(symtabInsert(&records[k], names[k], TK_PARAMETERNAME), 1);
        if (k == 0)
            early = findSymbol(names[0]);
    }
    // Every other name declared again hides the first declaration.
    for (std::size_t k = 0; k < names.size(); k += 2)
        symtabInsert(&records[(k + 1) % records.size()], names[k], TK_VARIABLENAME);
    for (std::size_t k = 0; k < names.size(); ++k) {
        const SymbolEntry* entry = findSymbol(names[k]);
        ASSERT_NE(entry, nullptr) << names[k].substr(0, 20);
        EXPECT_EQ(entry->name, names[k]);
        EXPECT_EQ(entry->kind, k % 2 == 0 ? TK_VARIABLENAME : TK_PARAMETERNAME);
        EXPECT_EQ(entry->value, &records[k % 2 == 0 ? (k + 1) % records.size() : k]);
    }
    // An entry stays where it is while the table grows, and shows the newest declaration.
    EXPECT_EQ(findSymbol(names[0]), early);
    EXPECT_EQ(early->kind, TK_VARIABLENAME);
    for (const char* absent : {"v1", "mass_0", "s", "v", "mass_", "v00", "q", ""})
        EXPECT_EQ(symbolKind(absent), TK_UNDEFINEDNAME) << absent;
    EXPECT_EQ(symbolKind(longName.substr(1)), TK_UNDEFINEDNAME);
    EXPECT_EQ(symbolKind("t"), TK_TIME);
    EXPECT_EQ(symbolKind("table_from_file"), TK_FUNCTIONNAME);

    symtabRelease();
    EXPECT_EQ(findSymbol("v0"), nullptr);
    EXPECT_EQ(symbolKind("t"), TK_UNDEFINEDNAME);
    symtabSetup(1);
    EXPECT_EQ(symbolKind("v0"), TK_UNDEFINEDNAME);
    EXPECT_EQ(symbolKind("sin"), TK_FUNCTIONNAME);
    symtabRelease();
}

TEST(KeldorScanner, TheRecordOfANameIsThatOfItsNewestDeclaration)
{
    symtabSetup(1);
    SectionLink first, second;
    symtabInsert(&first, "x", TK_PORTNAME);
    KeldorScanner scanner;
    scanner.reset("x y ;");
    EXPECT_EQ(scanner.next(), TK_PORTNAME);
    ASSERT_NE(scanner.symbol(), nullptr);
    EXPECT_EQ(scanner.symbol()->value, &first);
    // Declared again after it was scanned: its record is the new one, its token stays.
    symtabInsert(&second, "x", TK_INPUTNAME);
    EXPECT_EQ(scanner.symbol()->value, &second);
    EXPECT_EQ(scanner.next(), TK_UNDEFINEDNAME);
    EXPECT_EQ(scanner.symbol(), nullptr);
    symtabInsert(&first, "y", TK_OUTPUTNAME);
    ASSERT_NE(scanner.symbol(), nullptr);
    EXPECT_EQ(scanner.symbol()->value, &first);
    EXPECT_EQ(scanner.next(), TK_SEMICOLON);
    EXPECT_EQ(scanner.symbol(), nullptr);
    symtabRelease();
}
