// Reshaping of submodel equations: every equation solved for the element it must deliver.
#include "modelproc/equation_reshaping.h"


#include "modelproc/class_copy.h"
#include "modelproc/display_hooks.h"
#include "modelproc/equation_collection.h"
#include "modelproc/expression_walk.h"
#include "modelproc/function_table.h"
#include "modelproc/graph_dissolution.h"
#include "modelproc/record_release.h"
#include "modelproc/symbol_table.h"
#include "modelproc/template_writer.h"
#include "modelproc/tokens.h"
#include "modelproc/vector_equations.h"

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

// ---------------------------------------------------------------------------
// Inversion

/// One operator above the reference: the node and the operand that leads down to it.
struct PathStep {
    ExprNode* node;
    ExprNode* child;
};

/// The error of an operator that cannot be inverted, or an empty text when it can.
std::string inversionError(const PathStep& step)
{
    const ExprNode* node = step.node;
    switch (node->kind) {
    case TK_PLUS:
    case TK_MIN:
    case TK_MULT:
    case TK_DIV:
        if (node->left() == step.child || node->right() == step.child)
            return {};
        return "Corrupted equation during reshaping.";
    case TK_IF:
        return "Inversion of IF expression impossible.";
    case TK_FUNCTIONNAME: {
        const FunctionRow* row = functionRow(node->function);
        if (!row)
            return "Inversion of operator " + std::to_string(node->kind) + " impossible.";
        if (row->inverse < 0 || node->args().count() != 1)
            return std::string("Inversion of ") + row->name + " impossible.";
        if (node->args().head->item != step.child)
            return "Corrupted equation during reshaping.";
        return {};
    }
    default:
        return "Inversion of operator " + std::to_string(node->kind) + " impossible.";
    }
}

/// A minus or divide whose right operand leads to the reference keeps its operator and left
/// operand; its open place is then the right operand.
bool keepsOperator(const PathStep& step)
{
    return (step.node->kind == TK_MIN || step.node->kind == TK_DIV) && step.node->right() == step.child;
}

/// Turns the node into its inverse in place; its open place is filled later.
void invertNode(const PathStep& step)
{
    ExprNode* node = step.node;
    if (node->kind == TK_FUNCTIONNAME) {
        node->function = functionRow(node->function)->inverse;
        return;
    }
    if (keepsOperator(step))
        return;
    if (node->left() != step.child) // the reference came from the right: the left operand moves over
        node->setRight(node->left());
    node->setLeft(nullptr);
    switch (node->kind) {
    case TK_PLUS: node->setKind(TK_MIN); break;
    case TK_MIN: node->setKind(TK_PLUS); break;
    case TK_MULT: node->setKind(TK_DIV); break;
    case TK_DIV: node->setKind(TK_MULT); break;
    default: break;
    }
}

/// Puts `operand` into the open place of an inverted node.
void fillOpenPlace(const PathStep& step, bool kept, ExprNode* operand)
{
    ExprNode* node = step.node;
    if (node->kind == TK_FUNCTIONNAME)
        node->mutableArgs().head->item = operand;
    else if (kept)
        node->setRight(operand);
    else
        node->setLeft(operand);
    if (node->kind != TK_FUNCTIONNAME)
        node->flags = (node->left() ? node->left()->flags : 0) | (node->right() ? node->right()->flags : 0);
}

// ---------------------------------------------------------------------------
// Elements of ports, ios and variables

/// The literal size of each dimension; false when one is not literal.
bool literalSizes(const ExprList& dim, std::vector<std::int64_t>& sizes)
{
    sizes.clear();
    for (const ExprNode* d : dim) {
        const std::int64_t size = literalSize(d);
        if (size < 1)
            return false;
        sizes.push_back(size);
    }
    return true;
}

/// The 0-based row-major element a reference selects in a record of dimensions `dim`; no index
/// selects element 0; -1 when an index is computed or out of range.
std::int64_t elementOf(const ExprNode* ref, const ExprList& dim)
{
    // Every reference of every equation asks: the sizes are read from the list as they are used.
    for (const ExprNode* d : dim)
        if (literalSize(d) < 1)
            return -1;
    std::int64_t element = 0;
    const PtrNode<ExprNode>* size = dim.head;
    bool indexed = false;
    for (const ExprNode* index : ref->index()) {
        if (!index || index->kind != TK_INTEGER || !size)
            return -1;
        const std::int64_t extent = literalSize(size->item);
        if (index->intValue() < 1 || index->intValue() > extent)
            return -1;
        element = element * extent + (index->intValue() - 1);
        size = size->next;
        indexed = true;
    }
    if (!indexed)
        return 0;
    for (; size; size = size->next)
        element *= literalSize(size->item);
    return element;
}

/// What a port element sees of the bond attached to it.
struct PortElement {
    int outside = 0;  ///< the selector the submodel computes; 0 when no bond covers the element
    int dir = 0;      ///< power direction as seen from the port: 1 out, 2 in
    int slot = 0;     ///< the bond's first slot; 0 when no bond covers the element
};

/// The bond of each element of the port, from the ranges its connection ends cover.
std::vector<PortElement> portElements(const PortRec* port, const SubclassRec* sub)
{
    std::vector<std::int64_t> sizes;
    const bool literal = literalSizes(port->dim, sizes);
    std::int64_t count = 1;
    for (std::int64_t s : sizes)
        count *= s;
    std::vector<PortElement> elements(literal ? static_cast<std::size_t>(count) : 0);
    if (elements.empty())
        return elements;
    for (ConnectedEnd connected : ConnectedEnds(sub, port)) {
        // The instance indices of the subclass first, then the port's own.
        const std::vector<const ExprNode*> covered = coveredIndexEntries(connected.indices(), sub);
        const int outside = connected.causality() == CAUS_ECY ? TK_SEL_EFFORT : TK_SEL_FLOW;
        const int dir = connected.direction();
        forEachCoveredElement(sizes, covered, [&](std::int64_t element) {
            PortElement& e = elements[static_cast<std::size_t>(element)];
            e.outside = outside;
            e.dir = dir;
            e.slot = connected.slot();
        });
    }
    return elements;
}

/// The bond of each element of the ports of one submodel, found once per port.
using PortElementsOf = std::unordered_map<const PortRec*, std::vector<PortElement>>;

/// Whether the port reference names a range of elements that lie on more than one bond, or
/// partly on none: what it says of each element must then be said element by element.
bool spansBonds(const ExprNode* ref, const SubclassRec* sub, PortElementsOf& known)
{
    const auto* port = static_cast<const PortRec*>(ref->record());
    std::vector<std::int64_t> sizes;
    if (!port || !literalSizes(port->dim, sizes) || sizes.empty())
        return false;
    std::vector<const ExprNode*> entries;
    bool range = false;
    for (const ExprNode* index : ref->index()) {
        entries.push_back(index);
        range = range || !index || (index->kind == TK_UPTO && literalSize(index) > 1);
    }
    if (!range && !entries.empty())
        return false;
    auto [found, fresh] = known.try_emplace(port);
    if (fresh)
        found->second = portElements(port, sub);
    const std::vector<PortElement>& elements = found->second;
    int first = -1;
    bool spans = false;
    forEachCoveredElement(sizes, entries, [&](std::int64_t element) {
        const int slot = elements[static_cast<std::size_t>(element)].slot;
        if (first < 0)
            first = slot;
        else if (slot != first)
            spans = true;
    });
    return spans;
}

// ---------------------------------------------------------------------------
// Reshaping one submodel

/// The element flags of one submodel's ports, ios and variables while its equations are
/// reshaped: for a port element the selector the submodel computes there (0 once computed, or
/// where no bond is connected), for an io element whether it is known, for a variable's element
/// whether it is still unknown. Ports and ios are found by their number in their class, variables
/// by the number given as they are entered. One table serves every submodel in turn, so that its
/// room is had once.
class ElementFlags {
public:
    void clear()
    {
        m_ports.clear();
        m_inputs.clear();
        m_outputs.clear();
        m_variableCount = 0;
        m_numbering.restart();
    }
    /// The flags of a variable of the submodel.
    FlagArray& enter(const VarRec* var)
    {
        m_numbering.set(var, static_cast<std::int64_t>(m_variableCount));
        if (m_variableCount == m_variables.size())
            m_variables.emplace_back();
        return m_variables[m_variableCount++];
    }
    /// The flags of a variable entered for the submodel; null for any other.
    FlagArray* variable(const VarRec* var)
    {
        const std::int64_t at = m_numbering.find(var);
        return at >= 0 && static_cast<std::size_t>(at) < m_variableCount ? &m_variables[static_cast<std::size_t>(at)]
                                                                        : nullptr;
    }
    FlagArray& enter(const PortRec* port) { return enter(m_ports, port); }
    FlagArray& enter(const IoRec* io, bool input) { return enter(input ? m_inputs : m_outputs, io); }
    /// The flags of a port or io of the submodel; null for one it does not have.
    FlagArray* port(const PortRec* port) { return find(m_ports, port); }
    FlagArray* io(const IoRec* io)
    {
        FlagArray* flags = find(m_inputs, io);
        return flags ? flags : find(m_outputs, io);
    }

private:
    template <class Record>
    struct Entry {
        const Record* record = nullptr;
        FlagArray flags;
    };
    template <class Record>
    static FlagArray& enter(std::vector<Entry<Record>>& table, const Record* record)
    {
        const auto at = static_cast<std::size_t>(record->number);
        if (at >= table.size())
            table.resize(at + 1);
        table[at].record = record;
        return table[at].flags;
    }
    template <class Record>
    static FlagArray* find(std::vector<Entry<Record>>& table, const Record* record)
    {
        if (!record || record->number < 0 || static_cast<std::size_t>(record->number) >= table.size())
            return nullptr;
        Entry<Record>& entry = table[static_cast<std::size_t>(record->number)];
        return entry.record == record ? &entry.flags : nullptr;
    }

    std::vector<Entry<PortRec>> m_ports;
    std::vector<Entry<IoRec>> m_inputs;
    std::vector<Entry<IoRec>> m_outputs;
    std::vector<FlagArray> m_variables; ///< the first `m_variableCount` are the submodel's
    std::size_t m_variableCount = 0;
    VariableNumbering m_numbering;
};

ElementFlags& elementFlags()
{
    static ElementFlags flags;
    return flags;
}

/// The state of reshaping one submodel.
struct Reshaper {
    SubclassRec* sub;
    ClassRec* cls;
    bool flagsMade = false;
    bool needsSolving = false;

    std::string where() const
    {
        return formatMessage("%s%d:%s", cls->name.c_str(), cls->version, instance_name(sub).c_str());
    }
    std::string equationWhere(const EquationRec* eq) const
    {
        return expressionText(eq->right, 1) + " = " + expressionText(eq->left, 1) + " in " + where();
    }
    void fail(const std::string& message)
    {
        reportEquationsError(message);
        ok = false;
    }
    bool ok = true;
};

/// Whether causality leaves any choice: a port that is not fixed, or a preferred one whose
/// bond went the other way.
bool classNeedsSolving(const SubclassRec* sub)
{
    for (const PortRec* port : portsOf(sub)) {
        if (port->c_type == 3 || port->c_type == 4)
            return true;
        if (port->c_type == 2)
            for (ConnectedEnd connected : ConnectedEnds(sub, port))
                if (connected.causality() != port->c_val)
                    return true;
    }
    return false;
}

void makeVariableFlags(ElementFlags& flags, SectionList<VarRec>& list)
{
    for (VarRec* var : list) {
        const std::int64_t count = elementCount(var->dim);
        flags.enter(var).assign(static_cast<std::size_t>(count < 1 ? 1 : count), 1);
    }
}

void makeFlags(ClassRec* cls, const SubclassRec* sub)
{
    ElementFlags& flags = elementFlags();
    flags.clear();
    for (PortRec* port : portsOf(sub)) {
        FlagArray& outsides = flags.enter(port);
        if (port->dim.empty()) {
            // One element: the last bond end listed decides it, as below.
            std::int32_t outside = 0;
            for (ConnectedEnd connected : ConnectedEnds(sub, port))
                outside = connected.causality() == CAUS_ECY ? TK_SEL_EFFORT : TK_SEL_FLOW;
            outsides.assign(1, outside);
            continue;
        }
        std::vector<PortElement> elements = portElements(port, sub);
        outsides.assign(elements.size(), 0);
        for (std::size_t e = 0; e < elements.size(); ++e)
            outsides[e] = elements[e].outside;
    }
    for (int input = 1; input >= 0; --input)
        for (IoRec* io : input ? cls->inputs : cls->outputs) {
            const std::int64_t count = elementCount(io->dim);
            flags.enter(io, input != 0).assign(static_cast<std::size_t>(count < 1 ? 1 : count), 0);
        }
    for (ClassSection which : {CLASS_PARAMETERS, CLASS_INITCONDS, CLASS_VARIABLES, CLASS_CONSTANTS})
        makeVariableFlags(flags, cls->section(which));
    if (cls->equations)
        for (int which = BODY_INDEP_STATES; which <= BODY_ALGLOOP_OUT; ++which)
            makeVariableFlags(flags, cls->equations->section(static_cast<BodySection>(which)));
}

/// The flags a reference reads: one element, or all of them when its index is computed; none of
/// a port or io the submodel does not have.
template <class Flags>
void forElements(Flags* flags, std::int64_t element, auto&& action)
{
    if (flags)
        forElements(*flags, element, action);
}

template <class Flags>
void forElements(Flags& flags, std::int64_t element, auto&& action)
{
    if (element >= 0 && static_cast<std::size_t>(element) < flags.size()) {
        action(flags[static_cast<std::size_t>(element)]);
        return;
    }
    for (auto& flag : flags)
        action(flag);
}

/// Marks what the reference names as computed.
void markKnown(ExprNode* ref)
{
    if (ref->kind == TK_PORTNAME) {
        auto* port = static_cast<PortRec*>(ref->record());
        forElements(elementFlags().port(port), elementOf(ref, port->dim), [](std::int32_t& f) { f = 0; });
    } else if (ref->kind == TK_OUTPUTNAME || ref->kind == TK_INPUTNAME) {
        auto* io = static_cast<IoRec*>(ref->record());
        forElements(elementFlags().io(io), elementOf(ref, io->dim), [](std::int32_t& f) { f = 1; });
    } else if (isVariableKind(ref->kind) && ref->record()) {
        VarRec* var = ref->var();
        forElements(elementFlags().variable(var), elementOf(ref, var->dim), [](std::int32_t& f) { f = 0; });
    }
}

/// The kinds whose value is given before any equation of the submodel runs.
bool isGiven(int kind)
{
    switch (kind) {
    case TK_PARAMETERNAME:
    case TK_INITCONDNAME:
    case TK_CONSTANTNAME:
    case TK_TABLENAME:
    case TK_INDEP_STATENAME:
    case TK_DEP_RATENAME:
    case TK_ALGLOOP_INNAME:
    case TK_INPUTNAME:
    case TK_TIME:
    case TK_CLASSARG:
    case TK_CONTROLVAR:
        return true;
    default:
        return false;
    }
}

/// Chooses the element to solve for and solves: 1 solved, 0 left for a later pass, -1 failed.
int solveEquation(Reshaper& r, EquationRec* eq)
{
    ExprNode* candidate = nullptr;
    int candidates = 0;
    ExprNode* unknown = nullptr;
    int unknowns = 0;
    for (ExprNode* ref = eq->variables; ref; ref = ref->extra()) {
        if (isGiven(ref->kind) || !ref->record())
            continue;
        bool isCandidate = false;
        bool isUnknown = false;
        if (ref->kind == TK_PORTNAME) {
            auto* port = static_cast<PortRec*>(ref->record());
            forElements(elementFlags().port(port), elementOf(ref, port->dim),
                        [&](std::int32_t f) { isCandidate = isCandidate || f == ref->selector; });
        } else if (ref->kind == TK_OUTPUTNAME) {
            auto* io = static_cast<IoRec*>(ref->record());
            forElements(elementFlags().io(io), elementOf(ref, io->dim),
                        [&](std::int32_t f) { isCandidate = isCandidate || f == 0; });
        } else if (isVariableKind(ref->kind)) {
            VarRec* var = ref->var();
            forElements(elementFlags().variable(var), elementOf(ref, var->dim),
                        [&](std::int32_t f) { isUnknown = isUnknown || f != 0; });
        }
        if (isCandidate) {
            candidate = ref;
            ++candidates;
        } else if (isUnknown) {
            if (!unknown)
                unknown = ref;
            ++unknowns;
        }
    }
    ExprNode* target = nullptr;
    if (candidates == 1)
        target = candidate;
    else if (candidates == 0 && unknowns == 1)
        target = unknown;
    else if (candidates == 0 && unknowns == 0) {
        r.fail("illegal or inconsistent equation: " + r.equationWhere(eq) + ".");
        return -1;
    } else {
        return 0;
    }
    if (!invertEquation(eq, target))
        return -1;
    markKnown(target);
    return 1;
}

/// Marks the left side of an equation that stays as written.
bool markLeftSide(Reshaper& r, EquationRec* eq)
{
    ExprNode* left = eq->left;
    if (left && left->kind == TK_INPUTNAME) {
        r.fail("Input not allowed as left-hand side of an equation.");
        return false;
    }
    if (left && isNameKind(left->kind))
        markKnown(left);
    eq->reshaped = 1;
    return true;
}

// ---------------------------------------------------------------------------
// sum and identity

bool isCallOf(const ExprNode* node, int function);

/// Takes every equation over a range of port elements on several bonds apart into one equation
/// per element, which the causality of its own bond decides; false after reporting an equation
/// whose ranges do not agree.
bool splitAcrossBonds(Reshaper& r, SectionList<EquationRec>& list)
{
    std::vector<EquationRec*> split;
    PortElementsOf known;
    for (EquationRec* eq : list) {
        if (eq->reshaped || !eq->left || !eq->right)
            continue;
        if (isCallOf(eq->left, FN_SUM) || isCallOf(eq->right, FN_SUM) || isCallOf(eq->left, FN_IDENTITY) ||
            isCallOf(eq->right, FN_IDENTITY))
            continue;
        for (const ExprNode* ref = eq->variables; ref; ref = ref->extra())
            if (ref->kind == TK_PORTNAME && spansBonds(ref, r.sub, known)) {
                split.push_back(eq);
                break;
            }
    }
    bool ok = true;
    std::vector<EquationRec*> made;
    for (EquationRec* eq : split) {
        made.clear();
        if (!elementEquations(eq, r.cls->equations, made,
                              "<error while reshaping: ranges of elements that do not agree>")) {
            eq->reshaped = 1; // reported; keep it from being reported again
            ok = false;
        } else if (!made.empty()) {
            releaseEquation(eq);
        }
    }
    return ok;
}

bool isZero(const ExprNode* node)
{
    return node && ((node->kind == TK_INTEGER && node->intValue() == 0) ||
                    (node->kind == TK_REAL && node->realValue() == 0.0));
}

bool isCallOf(const ExprNode* node, int function)
{
    return node && node->kind == TK_FUNCTIONNAME && node->function == function;
}

ExprNode* portElementRef(const ExprNode* port, std::int64_t row, std::int64_t col, bool matrix)
{
    ExprList index;
    if (matrix)
        index.append(makeIntegerConstant(static_cast<std::int32_t>(row)));
    index.append(makeIntegerConstant(static_cast<std::int32_t>(col)));
    return makeLeaf(port->selector, port->record(), TK_PORTNAME, nullptr, index);
}

/// Puts the equation before `at` in the list that holds `at`.
void insertBefore(EquationRec* at, EquationRec* eq)
{
    eq->prev = at->prev;
    eq->next = at;
    at->prev->next = eq;
    at->prev = eq;
}

EquationRec* insertEquation(EquationRec* at, ExprNode* left, ExprNode* right)
{
    auto* eq = ProcessingArena().make<EquationRec>();
    eq->left = left;
    eq->right = right;
    takePlace(eq, at);
    rebuildVariableChain(eq);
    insertBefore(at, eq);
    return eq;
}

/// The checked port argument of a junction function: its rows, columns and element bonds.
struct JunctionPort {
    ExprNode* ref = nullptr;
    PortRec* port = nullptr;
    std::int64_t rows = 1;
    std::int64_t cols = 1;
    bool matrix = false;
    std::vector<PortElement> elements;
};

/// The column of each row that the junction relation is solved around: the element whose bond
/// lets the submodel compute the quantity for `sum`, and the one whose quantity is given for
/// `identity`. -1 for a row without such a bond.
std::vector<std::int64_t> designatedColumns(const JunctionPort& p, bool forSum)
{
    std::vector<std::int64_t> columns;
    const int selector = p.ref->selector;
    for (std::int64_t i = 0; i < p.rows; ++i) {
        std::int64_t found = -1;
        for (std::int64_t j = 0; j < p.cols && found < 0; ++j) {
            const PortElement& e = p.elements[static_cast<std::size_t>(i * p.cols + j)];
            if (e.outside == 0)
                continue;
            if ((e.outside == selector) == forSum)
                found = j;
        }
        columns.push_back(found);
    }
    return columns;
}

/// Checks the argument of `sum` or `identity`: a port reference of one or two dimensions.
bool junctionPort(Reshaper& r, EquationRec* eq, ExprNode* arg, const char* function, JunctionPort& p)
{
    if (!arg || arg->kind != TK_PORTNAME || !arg->record()) {
        r.fail(formatMessage("invalid argument(s) used with '%s' in equation %s.", function,
                             r.equationWhere(eq).c_str()));
        return false;
    }
    p.ref = arg;
    p.port = static_cast<PortRec*>(arg->record());
    std::vector<std::int64_t> sizes;
    const bool literal = literalSizes(p.port->dim, sizes);
    if (sizes.empty() && literal) {
        r.fail(formatMessage("port %s should have dimension > 1 when used with '%s' in %s.",
                             p.port->name.c_str(), function, r.where().c_str()));
        return false;
    }
    if (sizes.size() > 2) {
        r.fail("equation " + expressionText(eq->right, 1) + " = " + expressionText(eq->left, 1) + " in " +
               r.where() + "; sorry, only one array level allowed for this submodel.");
        return false;
    }
    if (!literal) {
        r.fail(formatMessage("<error: index out of range while processing '%s' in %s>", function,
                             r.where().c_str()));
        return false;
    }
    p.matrix = sizes.size() == 2;
    p.rows = p.matrix ? sizes[0] : 1;
    p.cols = sizes.back();
    p.elements = portElements(p.port, r.sub);
    return true;
}

/// sum(p) = 0: per row, the designated element's quantity from the others, each signed by its
/// power direction against the designated one. The new first equation, or null.
EquationRec* expandSum(Reshaper& r, EquationRec* eq)
{
    const bool onLeft = isCallOf(eq->left, FN_SUM);
    ExprNode* other = onLeft ? eq->right : eq->left;
    if (!isZero(other)) {
        r.fail(formatMessage(onLeft ? "invalid rhs of equation %s = %s with 'sum' in %s."
                                    : "invalid lhs of equation %s = %s with 'sum' in %s.",
                             expressionText(eq->right, 1).c_str(), expressionText(eq->left, 1).c_str(),
                             r.where().c_str()));
        return nullptr;
    }
    ExprNode* call = onLeft ? eq->left : eq->right;
    JunctionPort p;
    if (!junctionPort(r, eq, call->args().count() == 1 ? call->args().head->item : nullptr, "sum", p))
        return nullptr;
    const std::vector<std::int64_t> designated = designatedColumns(p, true);
    for (std::int64_t u : designated)
        if (u < 0) {
            r.fail(formatMessage("<error: corrupted bond list at 'sum' in %s>", r.where().c_str()));
            return nullptr;
        }
    EquationRec* first = nullptr;
    for (std::int64_t i = 0; i < p.rows; ++i) {
        const std::int64_t u = designated[static_cast<std::size_t>(i)];
        const int designatedDir = p.elements[static_cast<std::size_t>(i * p.cols + u)].dir;
        // Terms from the last column back, so the sum nests to the right: t1 + (t2 + (... + tk)).
        ExprNode* sum = nullptr;
        for (std::int64_t j = p.cols - 1; j >= 0; --j) {
            if (j == u)
                continue;
            ExprNode* term = portElementRef(p.ref, i + 1, j + 1, p.matrix);
            if (p.elements[static_cast<std::size_t>(i * p.cols + j)].dir == designatedDir)
                term = makeOperator(nullptr, term, TK_PRF_MIN);
            sum = sum ? makeOperator(term, sum, TK_PLUS) : term;
        }
        if (!sum)
            sum = makeIntegerConstant(0);
        EquationRec* made = insertEquation(eq, portElementRef(p.ref, i + 1, u + 1, p.matrix), sum);
        if (!first)
            first = made;
    }
    return first;
}

/// identity(p) = z: per row, every other element equal to the designated one, and z equal to
/// it when z is a variable. The new first equation, or null.
EquationRec* expandIdentity(Reshaper& r, EquationRec* eq)
{
    const bool onLeft = isCallOf(eq->left, FN_IDENTITY);
    ExprNode* z = onLeft ? eq->right : eq->left;
    const bool zIsName = z && (z->kind == TK_OUTPUTNAME || isVariableKind(z->kind));
    if (!isZero(z) && !zIsName) {
        r.fail("invalid use of 'identity' in equation " + r.equationWhere(eq) + ".");
        return nullptr;
    }
    ExprNode* call = onLeft ? eq->left : eq->right;
    JunctionPort p;
    if (!junctionPort(r, eq, call->args().count() == 1 ? call->args().head->item : nullptr, "identity", p))
        return nullptr;
    const std::vector<std::int64_t> designated = designatedColumns(p, false);
    for (std::int64_t u : designated)
        if (u < 0) {
            r.fail(formatMessage("<error: corrupted bond list at 'identity' in %s>", r.where().c_str()));
            return nullptr;
        }
    EquationRec* first = nullptr;
    for (std::int64_t i = 0; i < p.rows; ++i) {
        const std::int64_t u = designated[static_cast<std::size_t>(i)];
        for (std::int64_t j = 0; j < p.cols; ++j) {
            if (j == u)
                continue;
            EquationRec* made = insertEquation(eq, portElementRef(p.ref, i + 1, j + 1, p.matrix),
                                               portElementRef(p.ref, i + 1, u + 1, p.matrix));
            if (!first)
                first = made;
        }
        if (zIsName) {
            ExprNode* target = makeLeaf(z->selector, z->record(), z->kind, nullptr, ExprList{});
            ExprNode* row = p.matrix ? makeIntegerConstant(static_cast<std::int32_t>(i + 1)) : nullptr;
            if (!target || (p.matrix && !row)) {
                r.fail("memory allocation failure (may be out of memory).");
                return nullptr;
            }
            if (p.matrix || !z->index().empty()) {
                // z[i] for the row of a matrix port; a vector port's z keeps its own index.
                if (p.matrix)
                    target->mutableIndex().append(row);
                else
                    for (ExprNode* index : z->index())
                        target->mutableIndex().append(index);
            }
            EquationRec* made = insertEquation(eq, target, portElementRef(p.ref, i + 1, u + 1, p.matrix));
            if (!first)
                first = made;
        }
    }
    return first;
}

} // namespace

int invertEquation(EquationRec* eq, ExprNode* ref)
{
    if (!eq || !ref || !eq->left || !eq->right) {
        reportEquationsError("Corrupted equation during reshaping.");
        return 0;
    }
    if (eq->fixed || ref == eq->left) {
        eq->reshaped = 1;
        return 1;
    }
    if (ref == eq->right) {
        eq->right = eq->left;
        eq->left = ref;
        eq->reshaped = 1;
        return 1;
    }

    ScratchStack<ExprNode*> holderStack;
    std::vector<ExprNode*>& holders = *holderStack;
    ExprNode* top = eq->left;
    if (!pathTo(top, ref, holders)) {
        top = eq->right;
        if (!pathTo(top, ref, holders)) {
            reportEquationsError("Corrupted equation while newlhs is a lonely.");
            return 0;
        }
    }
    std::vector<PathStep> path;
    path.reserve(holders.size());
    ExprNode* child = ref;
    for (ExprNode* holder : holders) {
        path.push_back({holder, child});
        child = holder;
    }
    for (const PathStep& step : path) {
        std::string error = inversionError(step);
        if (!error.empty()) {
            reportEquationsError(error);
            return 0;
        }
    }

    ExprNode* otherSide = top == eq->left ? eq->right : eq->left;
    std::vector<bool> kept(path.size());
    for (std::size_t i = 0; i < path.size(); ++i) {
        kept[i] = keepsOperator(path[i]);
        invertNode(path[i]);
    }
    // The nearest inverted node is the new root; each fills its open place with the next one,
    // the outermost with the old other side. Fill from the outside in so flags add up.
    for (std::size_t i = path.size(); i-- > 0;) {
        ExprNode* operand = i + 1 < path.size() ? path[i + 1].node : otherSide;
        fillOpenPlace(path[i], kept[i], operand);
    }
    ExprNode* root = path.front().node;
    eq->left = ref;
    eq->right = root;
    eq->reshaped = 1;
    return 1;
}

std::vector<std::int32_t> reshapedPortElements(const PortRec* port)
{
    const FlagArray* flags = elementFlags().port(port);
    return flags ? std::vector<std::int32_t>(flags->begin(), flags->end()) : std::vector<std::int32_t>{};
}

int prepareReshaping()
{
    symtabRelease();
    return symtabSetup(1);
}

int reshapeSubmodel(SubclassRec* sub)
{
    if (!sub || !sub->cls)
        return 1;
    // The equations of a submodel that took its type's class are reshaped in a copy of its own.
    if (sharesTypeClass(sub) && !copyTypeClassFor(sub, GraphArena())) {
        reportEquationsError("memory allocation failure (may be out of memory).");
        return 0;
    }
    ClassRec* cls = sub->cls;
    if (!cls->equations)
        return 1;
    Reshaper r{sub, cls};
    r.needsSolving = !portsOf(sub).empty() && classNeedsSolving(sub);
    SectionList<EquationRec>& list = cls->equations->equations;
    if (!splitAcrossBonds(r, list))
        r.ok = false;
    for (;;) {
        int solved = 0;
        int waiting = 0;
        for (EquationRec* eq = list.first(); eq;) {
            EquationRec* next = SectionList<EquationRec>::after(eq);
            if (eq->reshaped) {
                eq = next;
                continue;
            }
            if (!eq->left || !eq->right) {
                r.fail(formatMessage("Corrupted equation in submodel %s%d : %s", cls->name.c_str(),
                                     cls->version, instance_name(sub).c_str()));
                eq = next;
                continue;
            }
            const bool isSum = isCallOf(eq->left, FN_SUM) || isCallOf(eq->right, FN_SUM);
            const bool isIdentity = isCallOf(eq->left, FN_IDENTITY) || isCallOf(eq->right, FN_IDENTITY);
            if (isSum || isIdentity) {
                EquationRec* first = isSum ? expandSum(r, eq) : expandIdentity(r, eq);
                if (first) {
                    SectionList<EquationRec>::unlink(eq);
                    next = first; // the new equations are reshaped in this same pass
                    ++solved;
                } else {
                    eq->reshaped = 1; // reported; keep it from being reported again
                }
                eq = next;
                continue;
            }
            if (!r.flagsMade) {
                makeFlags(cls, r.sub);
                r.flagsMade = true;
            }
            if (!r.needsSolving) {
                if (markLeftSide(r, eq))
                    ++solved;
                eq = next;
                continue;
            }
            const int result = solveEquation(r, eq);
            if (result > 0) {
                ++solved;
            } else if (result < 0) {
                r.ok = false;
                eq->reshaped = 1; // reported; not tried again
            } else {
                ++waiting;
            }
            eq = next;
        }
        if (waiting == 0)
            return r.ok ? 1 : 0;
        if (solved == 0) {
            reportEquationsError("System of equations found, can not be reshaped");
            return 0;
        }
    }
}
