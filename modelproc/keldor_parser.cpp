// The Keldor parser's sections and statements: recursive descent, one function per grammar
// rule, with error recovery at line level so that one bad line is reported and parsing goes on.
#include "modelproc/keldor_parser.h"
#include "modelproc/keldor_parser_rules.h"

#include "modelproc/display_hooks.h"
#include "modelproc/function_table.h"
#include "modelproc/keldor_scanner.h"
#include "modelproc/model_records.h"
#include "modelproc/semantic_checks.h"
#include "modelproc/symbol_table.h"

#include <cstdlib>
#include <new>
#include <string>

namespace {

struct ParserGlobals {
    int level = 3;
    ClassRec* finished = nullptr;
};

ParserGlobals& globals()
{
    static ParserGlobals g;
    return g;
}

/// Tokens that start a section or a part; a line list ends at one of them.
bool isSectionStart(int t)
{
    switch (t) {
    case 0:
    case TK_INTERFACE:
    case TK_PORTS:
    case TK_INPUTS:
    case TK_OUTPUTS:
    case TK_PARAMETERS:
    case TK_PARAMETER:
    case TK_SUBCLASSES:
    case TK_CONSTANTS:
    case TK_TABLES:
    case TK_VARIABLES:
    case TK_CONNECTIONS:
    case TK_EQUATIONS:
    case TK_SIGNALS:
    case TK_ORIENTATION:
    case TK_CAUSALITY: return true;
    default: return false;
    }
}

bool isRestrictionGroup(int t)
{
    return t == TK_FIXED || t == TK_PREFERRED || t == TK_CONSTRAINT || t == TK_INDIFFERENT;
}


} // namespace

namespace keldor {

bool KeldorParser::atLineListEnd() const
{
    return isSectionStart(m_tok);
}

// model description: header [graphical header] [interface] {parameters} [subclasses]
// {constants, tables or variables} body
int KeldorParser::run()
{
    const int level = globals().level;
    try {
        m_tok = m_scanner.next();
        skipBlankLines();
        guardedLine([&] { header(); });
        int phase = 0;
        for (;;) {
            skipBlankLines();
            if (level == 1 && m_tok != TK_GRI_MAIN && !(m_tok == TK_INTERFACE && phase < 2))
                return PARSE_OK;
            if (level == 2 && (m_tok == TK_CONNECTIONS || m_tok == TK_EQUATIONS || m_tok == 0))
                return PARSE_OK;
            switch (m_tok) {
            case 0:
                if (level >= 3) {
                    ttparse_error("no equations or connections given");
                    return PARSE_ABORTED;
                }
                return PARSE_OK;
            case TK_GRI_MAIN:
                if (phase > 0)
                    break;
                guardedLine([&] { graphicalHeader(); });
                phase = 1;
                continue;
            case TK_INTERFACE:
                if (phase > 1)
                    break;
                interface();
                phase = 2;
                continue;
            case TK_PARAMETERS:
                if (phase > 3)
                    break;
                parametersSection();
                phase = 3;
                continue;
            case TK_SUBCLASSES:
                if (phase > 3)
                    break;
                subclassesSection();
                phase = 4;
                continue;
            case TK_CONSTANTS:
            case TK_TABLES:
            case TK_VARIABLES:
                if (phase > 5)
                    break;
                if (m_tok == TK_TABLES)
                    tablesSection();
                else
                    variablesSection(m_tok);
                phase = 5;
                continue;
            case TK_CONNECTIONS:
            case TK_EQUATIONS:
                if (m_tok == TK_CONNECTIONS)
                    connectionsPart();
                else
                    equationsPart();
                for (;;) {
                    skipBlankLines();
                    if (m_tok == 0)
                        return PARSE_OK;
                    syntaxError();
                    recoverLine();
                }
            default: break;
            }
            syntaxError();
            recoverLine();
        }
    } catch (const StackOverflow&) {
        ttparse_error("parser stack overflow");
        return PARSE_STACK_OVERFLOW;
    } catch (const std::bad_alloc&) {
        // Out of memory ends this parse with an error; the process and the caller's text go on.
        ttparse_error("memory allocation failure (may be out of memory).");
        return PARSE_ABORTED;
    }
}

// header: ("class" | "bond" "graph") name ["(" argument, ... ")"] "version" digit NL
void KeldorParser::header()
{
    m_class = newClass();
    globals().finished = m_class;
    if (m_tok == TK_CLASS) {
        shift();
    } else if (m_tok == TK_BOND) {
        shift();
        expect(TK_GRAPH);
    } else {
        throw SyntaxError{};
    }
    if (!isAnyNameToken(m_tok))
        throw SyntaxError{};
    const std::string name = intern_name(text());
    // A cut name would be another model's, whose processed files this one's would replace.
    if (const std::string refusal = ModelNameRefusal(name); !refusal.empty())
        ttparse_error(refusal.c_str());
    m_class->name = name;
    shift();
    if (m_tok == TK_OPEN) {
        m_declKind = TK_CLASSARG;
        shift();
        for (;;) {
            if (m_tok == TK_ANY) {
                if (ArgRec* arg = newArgument(m_class)) {
                    arg->name = "any";
                    countArgumentUp(m_class);
                }
            } else if (isNewNameToken(m_tok)) {
                declareName(m_class, TK_CLASSARG, text(), {}, 0);
            } else {
                throw SyntaxError{};
            }
            shift();
            if (m_tok != TK_COMMA)
                break;
            shift();
        }
        expect(TK_CLOSE);
    }
    expect(TK_VERSION);
    m_class->version = versionDigit(name);
    shift();
    expect(TK_NL);
}

// version: digit, one of 0 to 9
int KeldorParser::versionDigit(const std::string& model)
{
    if (m_tok != TK_DIGIT)
        throw SyntaxError{};
    const std::optional<std::int32_t> version = IntegerLiteral(text());
    if (const std::string refusal = VersionRefusal(model, version); !refusal.empty())
        ttparse_error(refusal.c_str());
    return version.value_or(INT32_MAX);
}

// graphical header: "!gri_main" constant {constant} NL
void KeldorParser::graphicalHeader()
{
    shift();
    int count = 0;
    for (;;) {
        if (m_tok == TK_MIN || m_tok == TK_PLUS)
            shift();
        if (m_tok != TK_DIGIT && m_tok != TK_REAL_CONSTANT && m_tok != TK_TRUE && m_tok != TK_FALSE)
            break;
        shift();
        ++count;
    }
    if (count == 0)
        throw SyntaxError{};
    expect(TK_NL);
}

// interface: "interface" NL (ports part | inputs part | outputs part) {...}
void KeldorParser::interface()
{
    guardedLine([&] {
        shift();
        expect(TK_NL);
    });
    skipBlankLines();
    if (m_tok != TK_PORTS && m_tok != TK_INPUTS && m_tok != TK_OUTPUTS) {
        syntaxError();
        return;
    }
    while (m_tok == TK_PORTS || m_tok == TK_INPUTS || m_tok == TK_OUTPUTS) {
        if (m_tok == TK_PORTS)
            portsPart();
        else
            ioPart(m_tok == TK_INPUTS ? TK_INPUTNAME : TK_OUTPUTNAME);
        skipBlankLines();
    }
}

// ports part: "ports" ":" port, ... NL {port, ... NL} {restrictions}
void KeldorParser::portsPart()
{
    m_declKind = TK_PORTNAME;
    bool first = true;
    do {
        guardedLine([&] {
            if (first) {
                shift();
                expect(TK_COLON);
            }
            for (;;) {
                declaredName(TK_PORTNAME, 0);
                if (m_tok != TK_COMMA)
                    break;
                shift();
            }
            expect(TK_NL);
        });
        first = false;
        skipBlankLines();
    } while (!atLineListEnd() && !isRestrictionGroup(m_tok));
    while (m_tok == TK_ORIENTATION || m_tok == TK_CAUSALITY)
        restrictions();
}

// orientation or causality restrictions: keyword "restrictions" NL group {group}
void KeldorParser::restrictions()
{
    const bool orientation = m_tok == TK_ORIENTATION;
    guardedLine([&] {
        shift();
        expect(TK_RESTRICTIONS);
        expect(TK_NL);
    });
    skipBlankLines();
    if (!isRestrictionGroup(m_tok)) {
        syntaxError();
        return;
    }
    while (isRestrictionGroup(m_tok)) {
        int group = m_tok;
        shift();
        if (orientation)
            orientationGroup(group);
        else
            causalityGroup(group);
        skipBlankLines();
    }
}

PortRec* KeldorParser::portName()
{
    if (m_tok != TK_PORTNAME)
        throw SyntaxError{};
    auto* port = static_cast<PortRec*>(recordOfCurrent());
    shift();
    return port;
}

// orientation groups: "fixed" lines ("in"|"out") port, ... NL; "indifferent" lines port, ... NL;
// "constraint" port ("equal"|"notequal") port NL
void KeldorParser::orientationGroup(int group)
{
    bool firstLine = true;
    do {
        guardedLine([&] {
            if (firstLine && m_tok == TK_NL)
                shift();
            skipBlankLines();
            int direction = 0;
            if (group == TK_FIXED || group == TK_PREFERRED) {
                if (m_tok != TK_IN && m_tok != TK_OUT)
                    throw SyntaxError{};
                direction = m_tok == TK_IN ? 2 : 1;
                shift();
            }
            if (group == TK_CONSTRAINT) {
                portName();
                if (m_tok != TK_EQUAL && m_tok != TK_NOTEQUAL)
                    throw SyntaxError{};
                shift();
                portName();
            } else {
                for (;;) {
                    orientationRestriction(group, portName(), direction);
                    if (m_tok != TK_COMMA)
                        break;
                    shift();
                }
            }
            expect(TK_NL);
        });
        firstLine = false;
        skipBlankLines();
    } while (!atLineListEnd() && !isRestrictionGroup(m_tok));
}

// causality groups: "fixed"/"preferred" lines ("effort"|"flow") port, ... NL; "constraint" lines
// ("1_effort"|"1_flow"|"same") port, ... NL or port ("equal"|"notequal") port NL;
// "indifferent" port, ... NL
void KeldorParser::causalityGroup(int group)
{
    bool firstLine = true;
    do {
        guardedLine([&] {
            if (firstLine && m_tok == TK_NL)
                shift();
            skipBlankLines();
            int code = 0;
            if (group == TK_FIXED || group == TK_PREFERRED) {
                if (m_tok != TK_EFFORT && m_tok != TK_FLOW)
                    throw SyntaxError{};
                code = m_tok == TK_EFFORT ? 1 : 2;
                shift();
            } else if (group == TK_CONSTRAINT) {
                if (m_tok == TK_1_EFFORT || m_tok == TK_1_FLOW || m_tok == TK_SAME) {
                    code = m_tok == TK_1_EFFORT ? 5 : m_tok == TK_1_FLOW ? 6 : 7;
                    shift();
                } else {
                    PortRec* port = portName();
                    if (m_tok != TK_EQUAL && m_tok != TK_NOTEQUAL)
                        throw SyntaxError{};
                    code = m_tok == TK_EQUAL ? 3 : 4;
                    shift();
                    PortRec* other = portName();
                    expect(TK_NL);
                    causalityRestriction(group, port, code, other);
                    return;
                }
            }
            for (;;) {
                PortRec* port = portName();
                causalityRestriction(group, port, code, nullptr);
                if (m_tok != TK_COMMA)
                    break;
                shift();
            }
            expect(TK_NL);
        });
        firstLine = false;
        skipBlankLines();
    } while (!atLineListEnd() && !isRestrictionGroup(m_tok));
}

// inputs part / outputs part: keyword ":" declarations
void KeldorParser::ioPart(int kind)
{
    m_declKind = kind;
    guardedLine([&] {
        shift();
        expect(TK_COLON);
        declarationLine(kind);
    });
    skipBlankLines();
    while (!atLineListEnd()) {
        guardedLine([&] { declarationLine(kind); });
        skipBlankLines();
    }
}

// declarations: line {line}
void KeldorParser::declarations(int kind)
{
    m_declKind = kind;
    skipBlankLines();
    if (atLineListEnd()) {
        syntaxError();
        return;
    }
    while (!atLineListEnd()) {
        guardedLine([&] { declarationLine(kind); });
        skipBlankLines();
    }
}

// declaration line: type declared-name, ... NL
void KeldorParser::declarationLine(int kind)
{
    int type = typeKeyword();
    for (;;) {
        declaredName(kind, type);
        if (m_tok != TK_COMMA)
            break;
        shift();
    }
    expect(TK_NL);
}

int KeldorParser::typeKeyword()
{
    int type = 0;
    switch (m_tok) {
    case TK_REAL: type = TYPE_REAL; break;
    case TK_STRING: type = TYPE_STRING; break;
    case TK_INTEGER: type = TYPE_INTEGER; break;
    case TK_BOOLEAN: type = TYPE_BOOLEAN; break;
    case TK_SAMPLETIME: type = TYPE_SAMPLETIME; break;
    default: throw SyntaxError{};
    }
    if (type == TYPE_INTEGER)
        ttparse_error("type integer not yet implemented");
    else if (type == TYPE_BOOLEAN)
        ttparse_error("type boolean not yet implemented");
    shift();
    return type;
}

// declared name: new name [index] [position]
void KeldorParser::declaredName(int kind, int type)
{
    if (!isNewNameToken(m_tok))
        throw SyntaxError{};
    std::string name = text();
    shift();
    ExprList dim;
    if (m_tok == TK_LEFTBRACKET)
        dim = indexList(false);
    position();
    declareName(m_class, kind, name, dim, type);
}

// position: digit digit ["true"|"false"]
void KeldorParser::position()
{
    if (m_tok != TK_DIGIT)
        return;
    shift();
    expect(TK_DIGIT);
    if (m_tok == TK_TRUE || m_tok == TK_FALSE)
        shift();
}

// parameters section: "parameters" NL declarations
void KeldorParser::parametersSection()
{
    guardedLine([&] {
        shift();
        expect(TK_NL);
    });
    declarations(TK_PARAMETERNAME);
    m_errStatus = 0;
}

// subclasses section: "subclasses" NL line {line} ["parameter" "set" NL]
void KeldorParser::subclassesSection()
{
    m_declKind = TK_SUBCLASSNAME;
    if (!m_class->graph)
        newGraphBody(m_class);
    guardedLine([&] {
        shift();
        expect(TK_NL);
    });
    skipBlankLines();
    if (atLineListEnd())
        syntaxError();
    while (!atLineListEnd()) {
        guardedLine([&] { subclassLine(); });
        skipBlankLines();
    }
    if (m_tok == TK_PARAMETER) {
        guardedLine([&] {
            ttparse_error("parameters sets not yet implemented");
            shift();
            expect(TK_SET);
            expect(TK_NL);
        });
    }
}

// subclass line: type-name ";" digit instance, ... NL
void KeldorParser::subclassLine()
{
    if (!isAnyNameToken(m_tok))
        throw SyntaxError{};
    std::string typeName = text();
    // The type names the model file of a submodel, whose name is no longer than a model's.
    if (const std::string refusal = TypeNameRefusal(typeName); !refusal.empty())
        ttparse_error(refusal.c_str());
    shift();
    expect(TK_SEMICOLON);
    int version = versionDigit(typeName);
    shift();
    for (;;) {
        instance(typeName, version);
        if (m_tok != TK_COMMA)
            break;
        shift();
    }
    expect(TK_NL);
}

// instance: new name ["(" expression, ... ")"] [index] [position]
void KeldorParser::instance(const std::string& typeName, int version)
{
    if (!isNewNameToken(m_tok))
        throw SyntaxError{};
    std::string name = text();
    shift();
    ExprList args;
    if (m_tok == TK_OPEN) {
        shift();
        args = expressionList(TK_CLOSE);
        expect(TK_CLOSE);
    }
    ExprList dim;
    if (m_tok == TK_LEFTBRACKET)
        dim = indexList(false);
    position();
    declareSubclass(m_class, name, args, dim, typeName, version);
}

// constants section / variables section: keyword NL declarations
void KeldorParser::variablesSection(int keyword)
{
    guardedLine([&] {
        if (keyword == TK_CONSTANTS)
            ttparse_error("constants not yet implemented");
        shift();
        expect(TK_NL);
    });
    declarations(keyword == TK_CONSTANTS ? TK_CONSTANTNAME : TK_VARIABLENAME);
    m_errStatus = 0;
}

// tables section: "tables" NL table {table}
void KeldorParser::tablesSection()
{
    m_declKind = TK_TABLENAME;
    guardedLine([&] {
        ttparse_error("tables not yet implemented");
        shift();
        expect(TK_NL);
    });
    skipBlankLines();
    if (atLineListEnd())
        syntaxError();
    while (!atLineListEnd()) {
        try {
            table();
        } catch (const SyntaxError&) {
            m_scanner.expressionMode = 0;
            syntaxError();
            recoverLine();
        }
        skipBlankLines();
    }
    m_errStatus = 0;
}

// table: type name "(" NL row {row} ")"; row: ["interpolation" "scheme" expression NL]
// expression, ... "->" expression, ... NL
void KeldorParser::table()
{
    typeKeyword();
    if (!isNewNameToken(m_tok))
        throw SyntaxError{};
    std::string name = text();
    shift();
    if (m_tok == TK_LEFTBRACKET)
        indexList(false);
    m_scanner.expressionMode = 1;
    expect(TK_OPEN);
    expect(TK_NL);
    int rows = 0;
    for (;;) {
        skipBlankLines();
        if (m_tok == TK_CLOSE && rows > 0)
            break;
        if (m_tok == TK_INTERPOLATION) {
            shift();
            expect(TK_SCHEME);
            expression();
            expect(TK_NL);
        }
        expressionList(TK_GIVES);
        expect(TK_GIVES);
        expressionList(TK_NL);
        expect(TK_NL);
        ++rows;
    }
    m_scanner.expressionMode = 0;
    shift();
    if (m_tok == TK_NL)
        shift();
}

// equations part: "equations" NL line {line}
void KeldorParser::equationsPart()
{
    m_declKind = 0;
    m_scanner.expressionMode = 1;
    guardedLine([&] {
        shift();
        expect(TK_NL);
    });
    if (!m_class->equations)
        newEquationBody(m_class);
    skipBlankLines();
    if (atLineListEnd())
        syntaxError();
    while (!atLineListEnd()) {
        guardedLine([&] { equationLine(); });
        skipBlankLines();
    }
    m_scanner.expressionMode = 0;
}

// equation line: expression ("=" | ":=") expression NL
void KeldorParser::equationLine()
{
    const int line = CurrentPosition().line;
    ExprNode* left = expression();
    int fixed = 0;
    if (m_tok == TK_EXPR_ASSIGN)
        fixed = 1;
    else if (m_tok != TK_IS)
        throw SyntaxError{};
    shift();
    ExprNode* right = expression();
    expect(TK_NL);
    EquationRec* eq = newEquation(m_class->equations);
    if (!eq) {
        DisplayHooks().error("General error", nullptr, nullptr, -1, nullptr,
                             "memory allocation failure (may be out of memory).");
        return;
    }
    eq->left = left;
    eq->right = right;
    eq->fixed = fixed;
    eq->file = sourceFileNumber(CurrentPosition().errorFile);
    eq->line = line;
    rebuildVariableChain(eq);
}

} // namespace keldor

void resetParserState()
{
    globals().finished = nullptr;
    KeldorScanner::current().expressionMode = 0;
}

void setCheckLevel(int level)
{
    globals().level = level;
}

int checkLevel()
{
    return globals().level;
}

int parseKeldor()
{
    keldor::KeldorParser parser;
    return parser.run();
}

ClassRec* takeParsedClass()
{
    ClassRec* cls = globals().finished;
    globals().finished = nullptr;
    return cls;
}
