// The Keldor parser's expressions: precedence levels, power nodes, conditionals, name
// references with their checks, calls, and index lists.
#include "modelproc/keldor_parser_rules.h"
#include "modelproc/semantic_checks.h"

namespace keldor {

// index: "[" entry, ... "]"; for references an entry may be empty or a range lo..hi
ExprList KeldorParser::indexList(bool references)
{
    expect(TK_LEFTBRACKET);
    ExprList list;
    for (;;) {
        ExprNode* entry = nullptr;
        if (m_tok == TK_COMMA || m_tok == TK_RIGHTBRACKET) {
            if (!references)
                throw SyntaxError{};
        } else {
            entry = expression();
            if (references && m_tok == TK_UPTO) {
                shift();
                entry = makeOperator(entry, expression(), TK_UPTO);
            }
        }
        list.append(entry);
        if (m_tok != TK_COMMA)
            break;
        shift();
    }
    expect(TK_RIGHTBRACKET);
    return list;
}

// expression, ... up to (not including) `closing`; empty when `closing` comes first
ExprList KeldorParser::expressionList(int closing)
{
    ExprList list;
    if (closing && m_tok == closing)
        return list;
    if (!closing && (m_tok == TK_RIGHTMULTIBONDCON || m_tok == TK_MULTICONTAIL || m_tok == TK_RIGHTMULTISIGNALCON))
        return list;
    for (;;) {
        list.append(expression());
        if (m_tok != TK_COMMA)
            break;
        shift();
    }
    return list;
}

ExprNode* KeldorParser::expression()
{
    if (++m_nesting > kMaxNesting)
        throw StackOverflow{};
    ExprNode* e = orExpr();
    --m_nesting;
    return e;
}

// or-expression: and-expression {"or" and-expression}
ExprNode* KeldorParser::orExpr()
{
    ExprNode* e = andExpr();
    while (m_tok == TK_OR) {
        shift();
        e = makeOperator(e, andExpr(), TK_OR);
    }
    return e;
}

// and-expression: not-expression {"and" not-expression}
ExprNode* KeldorParser::andExpr()
{
    ExprNode* e = notExpr();
    while (m_tok == TK_AND) {
        shift();
        e = makeOperator(e, notExpr(), TK_AND);
    }
    return e;
}

// not-expression: "not" not-expression | comparison
ExprNode* KeldorParser::notExpr()
{
    if (m_tok == TK_NOT) {
        if (++m_nesting > kMaxNesting)
            throw StackOverflow{};
        shift();
        ExprNode* e = makeOperator(nullptr, notExpr(), TK_NOT);
        --m_nesting;
        return e;
    }
    return comparison();
}

// comparison: additive {("==" | "<>" | "<" | "<=" | ">" | ">=") additive}
ExprNode* KeldorParser::comparison()
{
    ExprNode* e = additive();
    while (m_tok == TK_EQ || m_tok == TK_NE || m_tok == TK_LT || m_tok == TK_LE || m_tok == TK_GT ||
           m_tok == TK_GE) {
        int op = m_tok;
        shift();
        e = makeOperator(e, additive(), op);
    }
    return e;
}

// additive: multiplicative {("+" | "-") multiplicative}
ExprNode* KeldorParser::additive()
{
    ExprNode* e = multiplicative();
    while (m_tok == TK_PLUS || m_tok == TK_MIN) {
        int op = m_tok;
        shift();
        e = makeOperator(e, multiplicative(), op);
    }
    return e;
}

// multiplicative: power {("*" | "/" | "div" | "mod") power}
ExprNode* KeldorParser::multiplicative()
{
    ExprNode* e = power();
    while (m_tok == TK_MULT || m_tok == TK_DIV || m_tok == TK_IDIV || m_tok == TK_MOD) {
        int op = m_tok;
        shift();
        e = makeOperator(e, power(), op);
    }
    return e;
}

// power: unary {"^" unary}
ExprNode* KeldorParser::power()
{
    ExprNode* base = unary();
    while (m_tok == TK_POW) {
        shift();
        ExprNode* exponent = unary();
        ExprNode* taken = exponent;
        bool negated = false;
        if (taken && taken->kind == TK_PRF_MIN) {
            taken = taken->right();
            negated = true;
        }
        if (taken && taken->kind == TK_INTEGER) {
            ExprNode* raised = taken->intValue() == 1 ? base : makeOperator(base, taken, TK_IPOW);
            base = negated ? makeOperator(makeIntegerConstant(1), raised, TK_DIV) : raised;
        } else {
            base = makeOperator(base, exponent, TK_POW);
        }
    }
    return base;
}

// unary: ("-" | "+") unary | primary
ExprNode* KeldorParser::unary()
{
    if (m_tok == TK_MIN || m_tok == TK_PLUS) {
        if (++m_nesting > kMaxNesting)
            throw StackOverflow{};
        int op = m_tok == TK_MIN ? TK_PRF_MIN : TK_PRF_PLUS;
        shift();
        ExprNode* e = makeOperator(nullptr, unary(), op);
        --m_nesting;
        return e;
    }
    return primary();
}

// primary: name reference | call | constant | "(" expression ")" | conditional
ExprNode* KeldorParser::primary()
{
    switch (m_tok) {
    case TK_TRUE:
    case TK_FALSE: {
        ExprNode* e = makeBooleanConstant(m_tok == TK_TRUE);
        shift();
        return e;
    }
    case TK_DIGIT: {
        ExprNode* e = makeIntegerConstant(text());
        if (!e) {
            ttparse_error("integer constant out of range.");
            // The parse goes on with a 1 in its place, which makes no further error of its own.
            e = makeIntegerConstant(std::int32_t(1));
        }
        shift();
        return e;
    }
    case TK_REAL_CONSTANT: {
        ExprNode* e = makeRealConstant(text());
        shift();
        return e;
    }
    case TK_OPEN: {
        shift();
        ExprNode* e = expression();
        expect(TK_CLOSE);
        return e;
    }
    case TK_IF: return conditional();
    case TK_FUNCTIONNAME: return call();
    case TK_TIME: {
        ExprNode* e = makeLeaf(0, nullptr, TK_TIME, nullptr, {});
        shift();
        return e;
    }
    default:
        if (isNameKind(m_tok))
            return nameRef();
        throw SyntaxError{};
    }
}

// conditional: "if" e "then" e {"elseif" e "then" e} "else" e ["fi"]
ExprNode* KeldorParser::conditional()
{
    shift();
    ExprNode* c = expression();
    expect(TK_THEN);
    ExprNode* x = expression();
    if (m_tok == TK_ELSEIF) {
        m_tok = TK_IF; // an elseif chain nests in the else-part
        ExprNode* y = conditional();
        return makeConditional(c, x, y);
    }
    expect(TK_ELSE);
    ExprNode* y = expression();
    if (m_tok == TK_FI)
        shift();
    return makeConditional(c, x, y);
}

// name reference: name [index] [".e" | ".f"]
ExprNode* KeldorParser::nameRef()
{
    int kind = m_tok;
    SectionLink* record = recordOfCurrent();
    shift();
    ExprList index;
    if (m_tok == TK_LEFTBRACKET)
        index = indexList(true);
    int selector = 0;
    if (m_tok == TK_SEL_EFFORT || m_tok == TK_SEL_FLOW) {
        selector = m_tok;
        shift();
    }
    return nameReference(m_class, selector, record, kind, index);
}

// call: function "(" expression, ... ")"
ExprNode* KeldorParser::call()
{
    std::string name = text();
    int kind = m_tok;
    shift();
    expect(TK_OPEN);
    ExprList args = expressionList(TK_CLOSE);
    expect(TK_CLOSE);
    return functionCall(name, kind, args);
}

} // namespace keldor
