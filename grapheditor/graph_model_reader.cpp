// The model-file reader: recursive descent over the scanner's tokens, one
// function per grammar rule, stopping at the first error.
#include "grapheditor/graph_model_reader.h"

#include "common/message_boxes.h"
#include "common/model_file_rules.h"
#include "grapheditor/graph_model_scanner.h"
#include "grapheditor/graph_objects.h"
#include "grapheditor/graph_view.h"
#include "grapheditor/submodel_library.h"
#include "platform/core/file_system.h"
#include "platform/core/wait_cursor.h"

#include <algorithm>
#include <new>
#include <optional>

namespace {

struct ParseError {
    std::string message;
};

/// The token as a message shows it: a character that shows nothing, or no character of its own
/// (a byte above 127), as its code.
std::string shownToken(const std::string& token)
{
    std::string shown;
    for (char c : token.substr(0, 25)) {
        const auto code = static_cast<unsigned char>(c);
        if (c == '\r') {
            shown += "<CR>";
        } else if (code < 32 || code > 126) {
            static const char digits[] = "0123456789ABCDEF";
            shown += std::string("<0x") + digits[code >> 4] + digits[code & 15] + ">";
        } else {
            shown += c;
        }
    }
    return shown;
}

/// "%.40s in line %d: %.25s" of message, line and token; up to 100 characters of the message
/// when `whole` asks, as a box has room for them.
std::string placeText(const std::string& message, int line, const std::string& token, bool whole = false)
{
    return message.substr(0, whole ? 100 : 40) + " in line " + std::to_string(line) + ": " + shownToken(token);
}

/// The end of a connection as read, with the kind of its name.
struct ReadEnd {
    int nameKind = 0;
    void* object = nullptr;
    ExprList instanceIndex;
    std::string portName;
    ExprList portIndex;
};

/// The four shapes of connection operators.
enum OperatorShape { UNDIRECTED_BOND, DIRECTED_BOND, FORWARD_SIGNAL, BACKWARD_SIGNAL };

struct ReadOperator {
    OperatorShape shape = UNDIRECTED_BOND;
    int direction = 0;
    int causality = 0;
    ExprList size;
};

/// A tree being read and its depth.
struct ReadExpr {
    ExprPtr node;
    int depth = 0;
};

class ModelFileParser {
public:
    ModelFileParser(std::string_view text, int depth, GraphModel& record) : m_depth(depth), m_record(record)
    {
        m_scanner.reset(text, &record.names);
    }

    // model-file: header main-graphics? interface-section? subclasses-section? connections-section
    void run()
    {
        advance();
        header();
        if (m_tok == GT_GRI_MAIN)
            mainGraphics();
        if (m_depth == READ_INTERFACE && m_tok != GT_INTERFACE)
            return;
        if (m_tok == GT_INTERFACE)
            interfaceSection();
        if (m_depth == READ_INTERFACE)
            return;
        if (m_tok == GT_SUBCLASSES)
            subclassesSection();
        if (m_depth == READ_SUBCLASSES)
            return;
        connectionsSection();
        expect(GT_END);
    }

    std::string errorText(const std::string& message, bool whole = false) const
    {
        return placeText(message, m_scanner.line(), m_scanner.text(), whole);
    }

    /// The first graphics number that was out of range and put in range; empty when none was.
    const std::string& warning() const { return m_warning; }

private:
    [[noreturn]] void fail(const std::string& message = "syntax error") { throw ParseError{message}; }

    void advance()
    {
        m_tok = m_scanner.next();
        if (m_tok == GT_ERROR)
            fail(m_scanner.error());
    }

    void expect(int token)
    {
        if (m_tok != token)
            fail();
        if (token != GT_END)
            advance();
    }

    int integer()
    {
        if (m_tok != GT_INTEGER)
            fail();
        if (m_scanner.outOfRange())
            fail(kIntegerOutOfRange);
        int value = m_scanner.value();
        advance();
        return value;
    }

    /// The version of the model or type `model`: one digit.
    int version(const std::string& model)
    {
        if (m_tok != GT_INTEGER)
            fail();
        const std::optional<std::int64_t> value =
            m_scanner.outOfRange() ? std::nullopt : std::optional<std::int64_t>(m_scanner.value());
        if (std::string refusal = VersionRefusal(model, value); !refusal.empty())
            fail(refusal);
        advance();
        return static_cast<int>(*value);
    }

    /// The value of an expression that names no argument, none for one that does; an expression
    /// that cannot be worked out is refused.
    std::optional<std::int64_t> knownValue(const Expr* node)
    {
        if (!node || namesArgument(node))
            return std::nullopt;
        std::string error;
        int value = 0;
        switch (Evaluate(error, value, node)) {
        case 0: return value;
        case -4: fail(IntegerFaultText(IntegerFault::DivisionByZero));
        case -7: fail(IntegerFaultText(IntegerFault::Overflow));
        default: fail(error);
        }
    }

    static bool namesArgument(const Expr* node)
    {
        return node && (node->op == EXPR_ARGUMENT || namesArgument(node->left.get()) || namesArgument(node->right.get()));
    }

    /// "[a,b]" of the sizes; empty for none.
    static std::string sizesText(const ExprList& sizes)
    {
        if (sizes.empty())
            return {};
        std::string text = "[";
        for (std::size_t i = 0; i < sizes.size(); ++i)
            text += (i ? "," : "") + (sizes[i] ? ExprText(sizes[i].get(), 0) : std::string());
        return text + "]";
    }

    /// The checks of a quantity the model declares, counted into the model's elements.
    void declared(const std::string& what, const ExprList& sizes)
    {
        KnownSizes known;
        for (const ExprPtr& size : sizes)
            known.push_back(knownValue(size.get()));
        if (std::string refusal = DeclaredQuantityRefusal(what, known, sizesText(sizes), m_declaredElements);
            !refusal.empty())
            fail(refusal);
    }

    /// The first graphics number out of range is noted where it stands.
    void noteOutOfRange()
    {
        if (m_warning.empty())
            m_warning = errorText("graphics number out of range");
    }

    /// A number of the graphics records, which the model processor passes over: one out of
    /// range is put at `limit` (or left out when `limit` is negative) and noted, and the
    /// file is read on; none when it is left out.
    std::optional<int> graphicsNumber(int limit)
    {
        if (m_tok != GT_INTEGER)
            fail();
        int value = m_scanner.value();
        const bool kept = !m_scanner.outOfRange() || limit >= 0;
        if (m_scanner.outOfRange()) {
            noteOutOfRange();
            value = limit;
        }
        advance();
        return kept ? std::optional<int>(value) : std::nullopt;
    }

    /// A point of the drawing; a coordinate out of range is put at the drawing's edge.
    void point(int& x, int& y)
    {
        x = *graphicsNumber(std::max(m_record.width, 0));
        y = *graphicsNumber(std::max(m_record.height, 0));
    }

    /// The text of a new name (one the name table does not hold yet).
    std::string newName()
    {
        if (m_tok >= NAME_PORT && m_tok <= NAME_ARGUMENT)
            fail("name used twice");
        if (m_tok != GT_IDENTIFIER)
            fail();
        std::string name = m_scanner.text();
        advance();
        return name;
    }

    bool renaming() const { return m_renaming && ReaderRenaming().loading; }

    // header: ("class" | "bond" "graph") NAME formal-arguments? "version" INTEGER NL
    void header()
    {
        if (m_tok == GT_CLASS) {
            advance();
        } else if (m_tok == GT_BOND) {
            advance();
            expect(GT_GRAPH);
            m_renaming = false;
        } else {
            fail();
        }
        // A longer name would name another model's files.
        if (std::string refusal = ModelNameRefusal(m_scanner.text()); m_tok == GT_IDENTIFIER && !refusal.empty())
            fail(refusal);
        m_record.name = newName();
        // formal-arguments: "(" NAME ("," NAME)* ")"
        if (m_tok == GT_OPEN) {
            do {
                advance();
                std::string name = newName();
                auto argument = std::make_unique<Argument>();
                argument->name = name;
                m_record.names.add(name, NAME_ARGUMENT, argument.get());
                m_record.arguments.push_back(std::move(argument));
                declared("argument " + name, {});
            } while (m_tok == GT_COMMA);
            expect(GT_CLOSE);
        }
        expect(GT_VERSION);
        m_record.version = version(m_record.name);
        expect(GT_NL);
    }

    bool isFlag() const { return m_tok == GT_TRUE || m_tok == GT_FALSE; }

    // main-graphics: "!gri_main" (INTEGER | flag)+ NL
    void mainGraphics()
    {
        advance();
        int count = 0;
        int* const fields[] = {&m_record.width, &m_record.height, &m_record.scrollX, &m_record.scrollY};
        int integers = 0;
        while (m_tok == GT_INTEGER || isFlag() || m_tok == GT_MINUS || m_tok == GT_PLUS) {
            // The model processor takes a sign here too; a negative number is out of the
            // drawing's range and leaves the field as a new drawing has it.
            bool negative = false;
            if (m_tok == GT_MINUS || m_tok == GT_PLUS) {
                negative = m_tok == GT_MINUS;
                advance();
                if (m_tok != GT_INTEGER)
                    fail();
                if (negative)
                    noteOutOfRange();
            }
            if (m_tok == GT_INTEGER) {
                // A number out of range leaves the field as a new drawing has it.
                const std::optional<int> value = graphicsNumber(-1);
                if (integers < 4 && value && !negative)
                    *fields[integers] = *value;
                ++integers;
            } else {
                advance();
            }
            ++count;
        }
        if (count == 0)
            fail();
        expect(GT_NL);
    }

    // interface-section: "interface" NL interface-group+
    void interfaceSection()
    {
        advance();
        expect(GT_NL);
        if (m_tok != GT_PORTS && m_tok != GT_INPUTS && m_tok != GT_OUTPUTS)
            fail();
        while (m_tok == GT_PORTS || m_tok == GT_INPUTS || m_tok == GT_OUTPUTS) {
            const int group = m_tok;
            advance();
            expect(GT_COLON);
            if (group == GT_PORTS) {
                // "ports" ":" (pio-entries NL)+ restriction-block*
                do {
                    pioEntries(PIO_PORT);
                    expect(GT_NL);
                } while (m_tok == GT_IDENTIFIER);
                while (m_tok == GT_ORIENTATION || m_tok == GT_CAUSALITY)
                    restrictionBlock();
            } else {
                // "inputs" / "outputs" ":" (value-type pio-entries NL)+
                do {
                    valueType();
                    pioEntries(group == GT_INPUTS ? PIO_INPUT : PIO_OUTPUT);
                    expect(GT_NL);
                } while (m_tok == GT_REAL_TYPE || m_tok == GT_INTEGER_TYPE || m_tok == GT_BOOLEAN);
            }
        }
    }

    // value-type: "real" | "integer" | "boolean"
    void valueType()
    {
        if (m_tok != GT_REAL_TYPE && m_tok != GT_INTEGER_TYPE && m_tok != GT_BOOLEAN)
            fail();
        advance();
    }

    // pio-entries: pio-entry ("," pio-entry)*
    void pioEntries(int kind)
    {
        pioEntry(kind);
        while (m_tok == GT_COMMA) {
            advance();
            pioEntry(kind);
        }
    }

    // pio-entry: NAME size-list? point?
    void pioEntry(int kind)
    {
        auto pio = std::make_unique<Pio>();
        pio->kind = kind;
        pio->name = newName();
        if (m_tok == GT_LEFT_BRACKET)
            pio->size = bracketList(false);
        pio->x = pio->y = -1;
        if (m_tok == GT_INTEGER)
            point(pio->x, pio->y);
        static const char* const words[] = {"port ", "input ", "output "};
        declared(words[kind] + pio->name, pio->size);
        Pio* added = m_record.pios.pushBack(std::move(pio));
        m_record.names.add(added->name, NAME_PORT + kind, added);
    }

    /// A restriction keyword may stand on a line of its own.
    void optionalLineEnd()
    {
        if (m_tok == GT_NL)
            advance();
    }

    Pio* portName()
    {
        if (m_tok != NAME_PORT)
            fail();
        auto* pio = static_cast<Pio*>(m_scanner.entry()->object);
        advance();
        return pio;
    }

    // port-list: PORT-NAME ("," PORT-NAME)*; each port gets the orientation (negative: none)
    void portList(int orientation)
    {
        for (;;) {
            Pio* pio = portName();
            if (orientation >= 0)
                pio->orientation = orientation;
            if (m_tok != GT_COMMA)
                break;
            advance();
        }
    }

    // relation: PORT-NAME ("equal" | "notequal") PORT-NAME NL
    void portRelation()
    {
        portName();
        if (m_tok != GT_EQUAL && m_tok != GT_NOTEQUAL)
            fail();
        advance();
        portName();
        expect(GT_NL);
    }

    // restriction-block: "orientation" "restrictions" NL orientation-clause+
    //                  | "causality" "restrictions" NL causality-clause+
    void restrictionBlock()
    {
        const bool orientation = m_tok == GT_ORIENTATION;
        advance();
        expect(GT_RESTRICTIONS);
        expect(GT_NL);
        auto isClause = [&] {
            return m_tok == GT_FIXED || m_tok == GT_INDIFFERENT || m_tok == GT_CONSTRAINT ||
                   (!orientation && m_tok == GT_PREFERRED);
        };
        if (!isClause())
            fail();
        while (isClause()) {
            if (orientation)
                orientationClause();
            else
                causalityClause();
        }
    }

    // orientation-clause: "fixed" (("in" | "out") port-list NL)+ | "indifferent" (port-list NL)+
    //                   | "constraint" relation
    void orientationClause()
    {
        const int clause = m_tok;
        advance();
        optionalLineEnd();
        if (clause == GT_FIXED) {
            do {
                if (m_tok != GT_IN && m_tok != GT_OUT)
                    fail();
                const int orientation = m_tok == GT_IN ? 2 : 1;
                advance();
                portList(orientation);
                expect(GT_NL);
            } while (m_tok == GT_IN || m_tok == GT_OUT);
        } else if (clause == GT_INDIFFERENT) {
            do {
                portList(0);
                expect(GT_NL);
            } while (m_tok == NAME_PORT);
        } else {
            portRelation();
        }
    }

    // causality-clause: ("fixed" | "preferred") (("effort" | "flow") port-list NL)+
    //   | "constraint" (("1_effort" | "1_flow" | "same") port-list NL | relation)+
    //   | "indifferent" port-list NL
    void causalityClause()
    {
        const int clause = m_tok;
        advance();
        optionalLineEnd();
        if (clause == GT_FIXED || clause == GT_PREFERRED) {
            do {
                if (m_tok != GT_EFFORT && m_tok != GT_FLOW)
                    fail();
                advance();
                portList(-1);
                expect(GT_NL);
            } while (m_tok == GT_EFFORT || m_tok == GT_FLOW);
        } else if (clause == GT_CONSTRAINT) {
            auto isGroup = [&] { return m_tok == GT_ONE_EFFORT || m_tok == GT_ONE_FLOW || m_tok == GT_SAME; };
            do {
                if (isGroup()) {
                    advance();
                    portList(-1);
                    expect(GT_NL);
                } else {
                    portRelation();
                }
            } while (isGroup() || m_tok == NAME_PORT);
        } else {
            portList(-1);
            expect(GT_NL);
        }
    }

    static bool isTypeName(int token) { return token == GT_IDENTIFIER || (token >= NAME_PORT && token <= NAME_ARGUMENT); }

    // subclasses-section: "subclasses" NL type-line+
    void subclassesSection()
    {
        advance();
        expect(GT_NL);
        if (!isTypeName(m_tok))
            fail();
        while (isTypeName(m_tok))
            typeLine();
    }

    // type-line: type-name ";" INTEGER submodel-entry ("," submodel-entry)* NL
    void typeLine()
    {
        std::string name = m_scanner.text();
        // The type names the model file of a submodel, whose name is no longer than a model's.
        if (std::string refusal = TypeNameRefusal(name); !refusal.empty())
            fail(refusal);
        // Types are kept lower-cased, which must still read as a name.
        if (SingleToken(TypeKeyName(name)) != GT_IDENTIFIER)
            fail("type name not usable");
        advance();
        expect(GT_SEMICOLON);
        int version = this->version(name);
        if (renaming() && ReaderRenaming().renameType)
            ReaderRenaming().renameType(name, version);
        SubmodelType* type = FindOrAddType(m_record, name, version);
        submodelEntry(type);
        while (m_tok == GT_COMMA) {
            advance();
            submodelEntry(type);
        }
        expect(GT_NL);
    }

    // submodel-entry: NAME actual-arguments? size-list? (point flag flag?)?
    void submodelEntry(SubmodelType* type)
    {
        auto submodel = std::make_unique<Submodel>();
        submodel->type = type;
        submodel->name = newName();
        if (m_tok == GT_OPEN) {
            advance();
            submodel->arguments = items(GT_CLOSE, false, false);
            expect(GT_CLOSE);
        }
        if (m_tok == GT_LEFT_BRACKET)
            submodel->size = bracketList(false);
        // A point without a flag is taken too (the name is then shown).
        submodel->showName = 1;
        if (m_tok == GT_INTEGER) {
            point(submodel->x, submodel->y);
            if (isFlag()) {
                submodel->showName = m_tok == GT_TRUE;
                advance();
                if (isFlag())
                    advance();
            }
        }
        declared("submodel " + submodel->name, submodel->size);
        for (const ExprPtr& argument : submodel->arguments)
            knownValue(argument.get());
        Submodel* added = m_record.submodels.pushBack(std::move(submodel));
        m_record.names.add(added->name, NAME_SUBMODEL, added);
    }

    // connections-section: "connections" NL connection-line*
    void connectionsSection()
    {
        expect(GT_CONNECTIONS);
        expect(GT_NL);
        while (m_tok != GT_END)
            connectionLine();
    }

    static int endCategory(int token)
    {
        return token == NAME_SUBMODEL || token == NAME_PORT || token == NAME_INPUT || token == NAME_OUTPUT ? token
                                                                                                              : 0;
    }

    // connection-line: connection bond-graphics? NL
    void connectionLine()
    {
        ReadEnd first = end();
        ReadOperator op = connectionOperator(first.nameKind);
        const int second = endCategory(m_tok);
        bool allowed = false;
        switch (op.shape) {
        case UNDIRECTED_BOND:
            allowed = (first.nameKind == NAME_SUBMODEL && second == NAME_PORT) ||
                      (first.nameKind == NAME_PORT && (second == NAME_PORT || second == NAME_SUBMODEL));
            break;
        case DIRECTED_BOND: allowed = second == NAME_SUBMODEL; break;
        case FORWARD_SIGNAL: allowed = second == NAME_SUBMODEL || second == NAME_OUTPUT; break;
        case BACKWARD_SIGNAL: allowed = second == NAME_SUBMODEL || second == NAME_INPUT; break;
        }
        if (!allowed)
            fail();
        // A size of the connection that is written as a number is checked at once.
        KnownSizes sizes;
        for (const ExprPtr& size : op.size)
            sizes.push_back(size && size->op == EXPR_CONSTANT ? std::optional<std::int64_t>(size->value) : std::nullopt);
        const bool signal = op.shape == FORWARD_SIGNAL || op.shape == BACKWARD_SIGNAL;
        if (std::string refusal = QuantityBoundRefusal(signal ? "the signal connection of size " : "the bond of size ",
                                                       sizes, sizesText(op.size));
            !refusal.empty())
            fail(refusal);
        ReadEnd last = end();
        Connection* connection = addConnection(std::move(first), std::move(op), std::move(last));
        if (m_tok == GT_GRI_BOND)
            bondGraphics(*connection);
        expect(GT_NL);
    }

    // submodel-end: SUBMODEL-NAME index-list? (PORT-WORD index-list?)?
    // port-end, input-end, output-end: PIO-NAME index-list?
    ReadEnd end()
    {
        ReadEnd read;
        read.nameKind = endCategory(m_tok);
        if (!read.nameKind)
            fail();
        read.object = m_scanner.entry()->object;
        advance();
        if (m_tok == GT_LEFT_BRACKET)
            read.instanceIndex = bracketList(true);
        if (read.nameKind == NAME_SUBMODEL && m_tok == GT_PORT_WORD) {
            read.portName = m_scanner.text().substr(1);
            advance();
            const SubmodelType* type = static_cast<Submodel*>(read.object)->type;
            if (renaming() && ReaderRenaming().renamePort && type)
                ReaderRenaming().renamePort(*type, read.portName);
            if (m_tok == GT_LEFT_BRACKET)
                read.portIndex = bracketList(true);
        }
        return read;
    }

    /// The operator after a first end of that kind; a shape the end does not allow is
    /// an error at the token that decides the shape.
    ReadOperator connectionOperator(int first)
    {
        ReadOperator op;
        bool strokeFirst = false;
        if (m_tok == GT_STROKE) {
            strokeFirst = true;
            advance();
            // A stroke comes only before an arrow of a bond.
            if (m_tok != GT_RIGHT_ARROW && m_tok != GT_LEFT_ARROW && m_tok != GT_LEFT_MULTIBOND && m_tok != GT_IS)
                fail();
        }
        auto decide = [&](OperatorShape shape, int direction) {
            bool allowed = false;
            switch (shape) {
            case UNDIRECTED_BOND: allowed = !strokeFirst && (first == NAME_SUBMODEL || first == NAME_PORT); break;
            case DIRECTED_BOND: allowed = first == NAME_SUBMODEL; break;
            case FORWARD_SIGNAL: allowed = !strokeFirst && (first == NAME_SUBMODEL || first == NAME_INPUT); break;
            case BACKWARD_SIGNAL: allowed = !strokeFirst && (first == NAME_SUBMODEL || first == NAME_OUTPUT); break;
            }
            if (!allowed)
                fail();
            op.shape = shape;
            op.direction = direction;
            advance();
        };
        switch (m_tok) {
        case GT_UNDIRECTED: decide(UNDIRECTED_BOND, 0); break;
        case GT_RIGHT_ARROW: decide(DIRECTED_BOND, 1); break;
        case GT_LEFT_ARROW: decide(DIRECTED_BOND, 2); break;
        case GT_RIGHT_SIGNAL: decide(FORWARD_SIGNAL, 1); break;
        case GT_LEFT_SIGNAL: decide(BACKWARD_SIGNAL, 2); break;
        case GT_LEFT_MULTIBOND:
        case GT_LEFT_MULTISIGNAL:
            decide(m_tok == GT_LEFT_MULTIBOND ? DIRECTED_BOND : BACKWARD_SIGNAL, 2);
            op.size = items(GT_IS, false, true);
            expect(GT_IS);
            break;
        case GT_IS:
            advance();
            op.size = items(GT_IS, false, true);
            if (m_tok == GT_IS)
                decide(UNDIRECTED_BOND, 0);
            else if (m_tok == GT_RIGHT_MULTIBOND)
                decide(DIRECTED_BOND, 1);
            else if (m_tok == GT_RIGHT_MULTISIGNAL)
                decide(FORWARD_SIGNAL, 1);
            else
                fail();
            break;
        default: fail();
        }
        if (op.shape == DIRECTED_BOND) {
            if (strokeFirst) {
                op.causality = 2;
            } else if (m_tok == GT_STROKE) {
                op.causality = 1;
                advance();
            }
        }
        return op;
    }

    Connection* addConnection(ReadEnd first, ReadOperator op, ReadEnd last)
    {
        auto connection = std::make_unique<Connection>();
        Connection* added = connection.get();
        added->isSignal = op.shape == FORWARD_SIGNAL || op.shape == BACKWARD_SIGNAL;
        added->direction = op.direction;
        added->causality = op.causality;
        added->size = std::move(op.size);
        ReadEnd* reads[2] = {&first, &last};
        for (int e = 0; e < 2; ++e) {
            ConnectionEnd& end = added->ends[e];
            ReadEnd& read = *reads[e];
            end.instanceIndex = std::move(read.instanceIndex);
            end.portName = std::move(read.portName);
            end.portIndex = std::move(read.portIndex);
            if (read.nameKind == NAME_SUBMODEL) {
                end.objectKind = END_SUBMODEL;
                end.submodel = static_cast<Submodel*>(read.object);
                end.submodel->attachments.push_back({added, e});
            } else {
                end.objectKind = END_PIO;
                end.pio = static_cast<Pio*>(read.object);
                end.pio->attachments.push_back({added, e});
            }
        }
        m_record.connections.pushBack(std::move(connection));
        return added;
    }

    // bond-graphics: "!gri_bond" point point point*
    void bondGraphics(Connection& connection)
    {
        advance();
        std::vector<int> numbers;
        while (m_tok == GT_INTEGER) {
            const int limit = numbers.size() % 2 == 0 ? m_record.width : m_record.height;
            numbers.push_back(*graphicsNumber(std::max(limit, 0)));
        }
        if (numbers.size() < 4 || numbers.size() % 2 != 0)
            fail();
        for (int e = 0; e < 2; ++e) {
            connection.ends[e].anchorX = numbers[2 * e];
            connection.ends[e].anchorY = numbers[2 * e + 1];
        }
        for (std::size_t i = 4; i < numbers.size(); i += 2)
            connection.midpoints.push_back({numbers[i], numbers[i + 1]});
    }

    /// "[" items "]": a size list, or an index list whose items may be ranges; both
    /// hold at most `kMaxListLength` items.
    ExprList bracketList(bool ranges)
    {
        advance();
        ExprList list = items(GT_RIGHT_BRACKET, ranges, true);
        expect(GT_RIGHT_BRACKET);
        return list;
    }

    // items: item ("," item)*; item: expr? (or expr ".." expr where ranges are allowed)
    ExprList items(int closing, bool ranges, bool limited)
    {
        ExprList list;
        for (;;) {
            if (limited && list.size() >= static_cast<std::size_t>(kMaxListLength))
                fail("expr.list length overflow");
            ExprPtr item;
            if (m_tok != GT_COMMA && m_tok != closing) {
                ReadExpr read = expr();
                if (ranges && m_tok == GT_UPTO) {
                    advance();
                    read = combine(EXPR_RANGE, std::move(read), expr());
                }
                item = std::move(read.node);
            }
            list.push_back(std::move(item));
            if (m_tok != GT_COMMA)
                return list;
            advance();
        }
    }

    ReadExpr combine(int op, ReadExpr left, ReadExpr right)
    {
        const int depth = 1 + std::max(left.depth, right.depth);
        if (depth > kMaxExpressionDepth)
            fail("expression nested too deeply");
        return {MakeOperator(op, std::move(left.node), std::move(right.node)), depth};
    }

    struct Nesting {
        explicit Nesting(ModelFileParser& parser) : m_parser(parser)
        {
            if (++m_parser.m_nesting > kMaxExpressionDepth)
                m_parser.fail("expression nested too deeply");
        }
        ~Nesting() { --m_parser.m_nesting; }
        ModelFileParser& m_parser;
    };

    // expr: term (("+" | "-") term)*
    ReadExpr expr()
    {
        Nesting guard(*this);
        ReadExpr left = term();
        while (m_tok == GT_PLUS || m_tok == GT_MINUS) {
            const int op = m_tok == GT_PLUS ? EXPR_PLUS : EXPR_MINUS;
            advance();
            left = combine(op, std::move(left), term());
        }
        return left;
    }

    // term: unary (("*" | "/") unary)*
    ReadExpr term()
    {
        ReadExpr left = unary();
        while (m_tok == GT_TIMES || m_tok == GT_DIVIDE) {
            const int op = m_tok == GT_TIMES ? EXPR_TIMES : EXPR_DIVIDE;
            advance();
            left = combine(op, std::move(left), unary());
        }
        return left;
    }

    // unary: ("-" | "+") unary | primary
    ReadExpr unary()
    {
        if (m_tok != GT_MINUS && m_tok != GT_PLUS)
            return primary();
        Nesting guard(*this);
        const int op = m_tok == GT_MINUS ? EXPR_NEGATE : EXPR_POSITIVE;
        advance();
        return combine(op, ReadExpr{}, unary());
    }

    // primary: INTEGER | ARGUMENT-NAME | "(" expr ")"
    ReadExpr primary()
    {
        if (m_tok == GT_INTEGER)
            return {MakeConstant(integer()), 1};
        if (m_tok == NAME_ARGUMENT) {
            ExprPtr node = MakeArgumentReference(static_cast<Argument*>(m_scanner.entry()->object));
            advance();
            return {std::move(node), 1};
        }
        expect(GT_OPEN);
        ReadExpr inner = expr();
        expect(GT_CLOSE);
        return inner;
    }

    GraphModelScanner m_scanner;
    int m_tok = GT_END;
    int m_depth;
    GraphModel& m_record;
    bool m_renaming = true;
    int m_nesting = 0;
    std::int64_t m_declaredElements = 0;
    std::string m_warning;
};

std::string& lastError()
{
    static std::string text;
    return text;
}

std::string& lastWarning()
{
    static std::string text;
    return text;
}

/// The last parse error with its message whole, as a box shows it.
std::string& lastWholeError()
{
    static std::string text;
    return text;
}

/// The record the reader fills before it becomes the current model.
GraphModel& parserRecord()
{
    static GraphModel record;
    return record;
}

} // namespace

ModelFileRenaming& ReaderRenaming()
{
    static ModelFileRenaming renaming;
    return renaming;
}

const std::string& ParserErrorText()
{
    return lastError();
}

const std::string& ParserWarningText()
{
    return lastWarning();
}

int parse_model_text(std::string_view text, int depth, GraphModel& record, std::string* error)
{
    lastWarning().clear();
    std::string message;
    const ModelFileText split = SplitModelFileText(text);
    if (split.rest) {
        // What follows the NUL would be lost unseen; the text before it is not read at all.
        message = placeText(kTextAfterNul, split.rest->line, split.rest->token);
        lastWholeError() = placeText(kTextAfterNul, split.rest->line, split.rest->token, true);
    } else {
        ModelFileParser parser(split.text, depth, record);
        try {
            parser.run();
            lastError().clear();
            lastWholeError().clear();
            lastWarning() = parser.warning();
            return 0;
        } catch (const ParseError& failure) {
            message = parser.errorText(failure.message);
            lastWholeError() = parser.errorText(failure.message, true);
        } catch (const std::bad_alloc&) {
            message = parser.errorText("out of memory");
            lastWholeError() = message;
        }
    }
    lastError() = message;
    if (error)
        *error = message;
    return -1;
}

int parse_model_file(const std::string& path, int depth, GraphModel& record, std::string* error)
{
    std::optional<std::string> text = platform::readFile(path);
    if (!text)
        return -2;
    return parse_model_text(*text, depth, record, error);
}

void clear_model()
{
    parserRecord().clear();
    platform::ScopedWaitCursor wait;
    View().resetCanvas();
    GraphModel& model = CurrentModel();
    model.clear();
    ResetLibraryCounters();
    MarkEdited(model, 0);
    View().redrawAll();
}

int load_model_file(const std::string& path)
{
    GraphModel& model = CurrentModel();
    if (model.edited &&
        !ShowConfirm("Cancel", "Discard edits, then Load",
                     {"The model in the Graph Editor has been edited.",
                      "Press OK to discard edits now and load a new model,", "or Cancel to go back and save the model."}))
        return -2;
    std::optional<std::string> text = platform::readFile(path);
    if (!text) {
        ShowMessage({"Can not open for reading:", path});
        return -2;
    }
    // The file is read whole before the current model is given up: a damaged file is
    // refused by its line and token, and the model shown stays as it was.
    GraphModel& record = parserRecord();
    record.clear();
    if (parse_model_text(*text, READ_ALL, record, nullptr) != 0) {
        record.clear();
        ShowMessage({"The model file can not be read:", path, lastWholeError(), "The model is not opened."});
        return -1;
    }
    const std::string warning = lastWarning();
    GraphModel read = std::move(record);
    record.clear();
    clear_model();
    model = std::move(read);
    for (Submodel& submodel : model.submodels)
        View().layoutSubmodel(submodel);
    for (Pio& pio : model.pios)
        View().layoutPio(pio);
    for (Connection& connection : model.connections) {
        for (ConnectionEnd& end : connection.ends) {
            if (end.submodel) {
                end.anchorX = end.submodel->x;
                end.anchorY = end.submodel->y;
            } else if (end.pio) {
                end.anchorX = end.pio->x;
                end.anchorY = end.pio->y;
            }
        }
        View().layoutConnection(connection);
    }
    View().scrollTo(model.scrollX, model.scrollY);
    View().redrawAll();
    if (!warning.empty())
        ShowMessage({"The drawing in the model file is damaged:", path, warning,
                     "What it places out of range is put at the drawing's edge."});
    // Laying out reads the types' files, whose parses must not take the model's note away.
    lastWarning() = warning;
    return 0;
}

int read_argument_file(const std::string& path)
{
    if (!platform::fileExists(path))
        return 0;
    std::optional<std::string> text = platform::readFile(path);
    if (!text) {
        ShowMessage({"Can not open argument file for reading:", path});
        return -1;
    }
    GraphModelScanner scanner;
    scanner.reset(*text, &CurrentModel().names);
    auto refuse = [&] {
        ShowMessage({"Error in argument file", path, scanner.text()});
        return -1;
    };
    for (int token = scanner.next(); token != GT_END; token = scanner.next()) {
        // name [sign] integer NL; the last line may end with the file
        if (token != NAME_ARGUMENT)
            return refuse();
        auto* argument = static_cast<Argument*>(scanner.entry()->object);
        token = scanner.next();
        const bool negative = token == GT_MINUS;
        if (token == GT_MINUS || token == GT_PLUS)
            token = scanner.next();
        if (token != GT_INTEGER || scanner.outOfRange())
            return refuse();
        const int value = scanner.value();
        token = scanner.next();
        if (token != GT_NL && token != GT_END)
            return refuse();
        argument->value = negative ? -value : value;
        argument->hasValue = 1;
        if (token == GT_END)
            break;
    }
    return 0;
}
