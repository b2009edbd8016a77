// The rules of the Keldor parser, shared by its section, connection and expression parts.
#pragma once

#include "modelproc/keldor_scanner.h"
#include "modelproc/model_records.h"
#include "modelproc/symbol_table.h"
#include "modelproc/display_hooks.h"

#include <cstdlib>
#include <string>

namespace keldor {

/// Deepest nesting of expressions before the parse gives up.
constexpr int kMaxNesting = 1000;

/// Thrown at a token no rule accepts; caught where a line can be skipped.
struct SyntaxError {};
/// Thrown when expressions nest deeper than `kMaxNesting`.
struct StackOverflow {};

/// Tokens that may stand where a new name is declared.
inline bool isNewNameToken(int t)
{
    return t == TK_UNDEFINEDNAME || isNameKind(t);
}

/// Tokens that may stand where any name is written (type names, port names of subclasses).
inline bool isAnyNameToken(int t)
{
    return isNewNameToken(t) || t == TK_FUNCTIONNAME || t == TK_TIME;
}

/// Recursive-descent parser over the current scanner, one member per grammar rule.
class KeldorParser {
public:
    KeldorParser() : m_scanner(KeldorScanner::current()) {}
    int run();

private:
    // Token handling.
    void shift()
    {
        if (m_errStatus > 0)
            --m_errStatus;
        m_tok = m_scanner.next();
    }
    void discard() { m_tok = m_scanner.next(); }
    void expect(int token)
    {
        if (m_tok != token)
            throw SyntaxError{};
        shift();
    }
    void skipBlankLines()
    {
        while (m_tok == TK_NL)
            shift();
    }
    void syntaxError()
    {
        if (m_errStatus == 0)
            ttparse_error("parse error");
        m_errStatus = 3;
    }
    /// Discards tokens up to and including the next line end.
    void recoverLine()
    {
        while (m_tok != TK_NL && m_tok != 0)
            discard();
        if (m_tok == TK_NL)
            shift();
    }
    template <class F>
    void guardedLine(F&& line)
    {
        try {
            line();
        } catch (const SyntaxError&) {
            syntaxError();
            recoverLine();
        }
    }
    const std::string& text() const { return m_scanner.text(); }
    SectionLink* recordOfCurrent() const
    {
        const SymbolEntry* entry = m_scanner.symbol();
        return entry ? entry->value : nullptr;
    }

    // Rules.
    void header();
    int versionDigit(const std::string& model);
    void graphicalHeader();
    void interface();
    void portsPart();
    void restrictions();
    void orientationGroup(int group);
    void causalityGroup(int group);
    PortRec* portName();
    void ioPart(int kind);
    void declarations(int kind);
    void declarationLine(int kind);
    int typeKeyword();
    void declaredName(int kind, int type);
    void position();
    void parametersSection();
    void subclassesSection();
    void subclassLine();
    void instance(const std::string& typeName, int version);
    void variablesSection(int keyword);
    void tablesSection();
    void table();
    void connectionsPart();
    void connectionLine();
    ParsedEnd connectionEnd(int& category);
    void graphicalBond();
    void equationsPart();
    void equationLine();
    /// True at a token that starts a section or part, or at the end of the input.
    bool atLineListEnd() const;

    // Expressions.
    ExprNode* expression();
    ExprNode* orExpr();
    ExprNode* andExpr();
    ExprNode* notExpr();
    ExprNode* comparison();
    ExprNode* additive();
    ExprNode* multiplicative();
    ExprNode* power();
    ExprNode* unary();
    ExprNode* primary();
    ExprNode* conditional();
    ExprNode* nameRef();
    ExprNode* call();
    ExprList expressionList(int closing);
    ExprList indexList(bool references);

    KeldorScanner& m_scanner;
    int m_tok = 0;
    int m_errStatus = 0;
    int m_nesting = 0;
    ClassRec* m_class = nullptr;
    int m_declKind = 0;
};

} // namespace keldor
