// The Keldor parser's connections part: connection lines with their ends, operators,
// causal strokes and graphical bond records.
#include "modelproc/keldor_parser_rules.h"
#include "modelproc/semantic_checks.h"

namespace keldor {

// connections part: "connections" NL line {line} ["signals" NL]
void KeldorParser::connectionsPart()
{
    m_declKind = TK_CONTROLVAR;
    if (!m_class->graph)
        newGraphBody(m_class);
    guardedLine([&] {
        shift();
        expect(TK_NL);
    });
    skipBlankLines();
    // The graph editor writes the part of a model without connections as its word alone:
    // its submodels are the model. Without them there is nothing to process.
    if (atLineListEnd() && m_tok != 0)
        syntaxError();
    if (m_tok == 0 && m_class->graph->subclasses.empty())
        ttparse_error("no submodels or connections given");
    while (!atLineListEnd()) {
        guardedLine([&] { connectionLine(); });
        skipBlankLines();
    }
    if (m_tok == TK_SIGNALS)
        guardedLine([&] {
            shift();
            expect(TK_NL);
        });
}

namespace {
enum OperatorClass { OP_BOND, OP_PORT, OP_RIGHT_SIGNAL, OP_LEFT_SIGNAL };

int endCategory(int token)
{
    switch (token) {
    case TK_SUBCLASSNAME: return END_SUB;
    case TK_PORTNAME: return END_POR;
    case TK_INPUTNAME: return END_INP;
    case TK_OUTPUTNAME: return END_OUT;
    default: return 0;
    }
}
} // namespace

// connection line: end operator end [graphical bond record] NL
void KeldorParser::connectionLine()
{
    ParsedConnection conn;
    int first = 0;
    conn.ends[0] = connectionEnd(first);

    unsigned char caus = 0;
    if (m_tok == TK_CAUSALSTROKE) {
        shift();
        caus = CAUS_USER_F;
    }
    // The operators a first end allows; a wrong one is an error at the operator.
    auto allowed = [first](OperatorClass c) {
        switch (first) {
        case END_SUB: return true;
        case END_POR: return c == OP_PORT;
        case END_INP: return c == OP_RIGHT_SIGNAL;
        case END_OUT: return c == OP_LEFT_SIGNAL;
        default: return false;
        }
    };
    auto classOf = [](int token) {
        switch (token) {
        case TK_SINGLEPORTCON: return OP_PORT;
        case TK_RIGHTSINGLESIGNALCON:
        case TK_RIGHTMULTISIGNALCON: return OP_RIGHT_SIGNAL;
        case TK_LEFTSINGLESIGNALCON:
        case TK_LEFTMULTISIGNALCON: return OP_LEFT_SIGNAL;
        case TK_MULTICONTAIL: return OP_PORT;
        default: return OP_BOND;
        }
    };
    if (m_tok != TK_MULTICONTAIL && !allowed(classOf(m_tok)))
        throw SyntaxError{};
    OperatorClass op = OP_BOND;
    switch (m_tok) {
    case TK_LEFTSINGLEBONDCON: conn.dir = 2; shift(); break;
    case TK_RIGHTSINGLEBONDCON: conn.dir = 1; shift(); break;
    case TK_SINGLEPORTCON: op = OP_PORT; shift(); break;
    case TK_RIGHTSINGLESIGNALCON: op = OP_RIGHT_SIGNAL; conn.dir = 1; shift(); break;
    case TK_LEFTSINGLESIGNALCON: op = OP_LEFT_SIGNAL; conn.dir = 2; shift(); break;
    case TK_LEFTMULTIBONDCON:
    case TK_LEFTMULTISIGNALCON:
        op = m_tok == TK_LEFTMULTIBONDCON ? OP_BOND : OP_LEFT_SIGNAL;
        conn.dir = 2;
        shift();
        conn.dim = expressionList(TK_MULTICONTAIL);
        expect(TK_MULTICONTAIL);
        break;
    case TK_MULTICONTAIL:
        shift();
        conn.dim = expressionList(0);
        if (!allowed(m_tok == TK_RIGHTMULTIBONDCON ? OP_BOND : classOf(m_tok)))
            throw SyntaxError{};
        if (m_tok == TK_RIGHTMULTIBONDCON) {
            conn.dir = 1;
        } else if (m_tok == TK_MULTICONTAIL) {
            op = OP_PORT;
        } else if (m_tok == TK_RIGHTMULTISIGNALCON) {
            op = OP_RIGHT_SIGNAL;
            conn.dir = 1;
        } else {
            throw SyntaxError{};
        }
        shift();
        break;
    default: throw SyntaxError{};
    }
    const bool signal = op == OP_RIGHT_SIGNAL || op == OP_LEFT_SIGNAL;
    if (signal && caus)
        throw SyntaxError{};
    if (!signal && m_tok == TK_CAUSALSTROKE) {
        shift();
        if (!caus)
            caus = CAUS_USER_E;
    }
    conn.caus = caus;

    // Which second ends the first end and the operator allow, and the kind they make.
    int second = endCategory(m_tok);
    int kind = 0;
    switch (first) {
    case END_SUB:
        if (op == OP_BOND && second == END_SUB)
            kind = 1;
        else if (op == OP_PORT && second == END_POR)
            kind = 1;
        else if (op == OP_RIGHT_SIGNAL && (second == END_OUT || second == END_SUB))
            kind = 6;
        else if (op == OP_LEFT_SIGNAL && (second == END_INP || second == END_SUB))
            kind = 5;
        break;
    case END_POR:
        if (op == OP_PORT && (second == END_POR || second == END_SUB))
            kind = 2;
        break;
    case END_INP:
        if (op == OP_RIGHT_SIGNAL && (second == END_OUT || second == END_SUB))
            kind = 3;
        break;
    case END_OUT:
        if (op == OP_LEFT_SIGNAL && (second == END_INP || second == END_SUB))
            kind = 4;
        break;
    default: break;
    }
    if (!kind)
        throw SyntaxError{};
    const char* const connection = signal ? "the signal connection of size " : "the bond of size ";
    if (const std::string refusal = elementBoundRefusal(connection, conn.dim); !refusal.empty())
        ttparse_error(refusal.c_str());
    int category = 0;
    conn.ends[1] = connectionEnd(category);
    conn.kind = kind;
    if (signal)
        for (ParsedEnd& end : conn.ends)
            if (end.type == END_SUB)
                end.type = END_SINP;
    if (m_tok == TK_GRI_BOND)
        graphicalBond();
    expect(TK_NL);
    if (!buildConnection(m_class->graph, conn))
        DisplayHooks().error("General error", nullptr, nullptr, -1, nullptr,
                             "memory allocation failure (may be out of memory).");
}

// connection end: subclass [index] "`" name [index] | port [index] | input [index] | output [index]
ParsedEnd KeldorParser::connectionEnd(int& category)
{
    ParsedEnd end;
    category = endCategory(m_tok);
    if (!category)
        throw SyntaxError{};
    end.node = recordOfCurrent();
    end.type = static_cast<std::int16_t>(category);
    shift();
    if (category == END_SUB) {
        if (m_tok == TK_LEFTBRACKET)
            end.nodeindex = indexList(true);
        expect(TK_BACKQUOTE);
        if (!isAnyNameToken(m_tok))
            throw SyntaxError{};
        end.name = text();
        shift();
    }
    if (m_tok == TK_LEFTBRACKET)
        end.index = indexList(true);
    return end;
}

// graphical bond record: "!gri_bond" pair pair {pair}
void KeldorParser::graphicalBond()
{
    shift();
    int numbers = 0;
    while (m_tok == TK_DIGIT) {
        shift();
        ++numbers;
    }
    if (numbers < 4 || numbers % 2 != 0)
        throw SyntaxError{};
}

} // namespace keldor
