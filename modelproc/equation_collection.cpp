// Building blocks of equation collection: slot checks, the dimensions an index list
// selects, references to a variable in an expression, and hierarchical names.
#include "modelproc/equation_collection.h"

#include "modelproc/record_release.h"

#include "modelproc/class_copy.h"
#include "modelproc/display_hooks.h"
#include "modelproc/expression_walk.h"
#include "modelproc/graph_dissolution.h"
#include "modelproc/template_writer.h"

#include <algorithm>
#include <cstdint>
#include <new>

void reportEquationsError(const std::string& message)
{
    DisplayHooks().error(kEquationsGenerationError, nullptr, nullptr, -1, nullptr, message.c_str());
}

void reportEquationFailure(const EquationRec* eq, const std::string& message, const std::string& why)
{
    const std::string& file = sourceFileName(eq->file);
    const std::string place = file.empty() ? std::string() : " (" + file + ", line " + std::to_string(eq->line) + ")";
    reportEquationsError(message + " in the equation " + expressionText(eq->left, 1) + " = " +
                         expressionText(eq->right, 1) + place + ": " + why);
}

int check_help_index(int index, int limit)
{
    if (index >= 1 && index < limit)
        return 1;
    reportEquationsError(
        formatMessage("<error in check_help_index: port/io index %d out of range 1..%d>", index, limit));
    return 0;
}

ExprList indimlst(const ExprList& index, bool& ok)
{
    ExprList dims;
    for (PtrNode<ExprNode>* node = index.head; node; node = node->next) {
        ExprNode* e = node->item;
        if (!e) {
            reportEquationsError("<error in indimlst: no default dimension known>");
            ok = false;
            return ExprList{};
        }
        if (e->kind != TK_UPTO)
            continue;
        std::int64_t size = literalSize(e);
        if (size == 1)
            continue;
        ExprNode* dim = nullptr;
        if (size >= 0) {
            dim = makeIntegerConstant(static_cast<std::int32_t>(size));
        } else {
            // A computed range keeps its size as an expression: hi - lo + 1.
            ExprNode* difference = makeOperator(e->right(), e->left(), TK_MIN);
            dim = difference ? makeOperator(difference, makeIntegerConstant(1), TK_PLUS) : nullptr;
        }
        if (!dim || !dims.append(dim)) {
            reportEquationsError("memory allocation failure (may be out of memory).");
            ok = false;
            return ExprList{};
        }
    }
    return dims;
}

namespace {

/// Calls `visit(name)` on every name reference of the expression in text order, descending
/// through operators, function arguments and the three parts of conditionals but not into the
/// indices of a name. An explicit stack: long operator chains of big models must not exhaust the
/// call stack.
template <class Visit>
void forEachReferenceOutsideIndices(ExprNode* expr, Visit&& visit)
{
    ScratchStack<ExprNode*> pendingStack;
    std::vector<ExprNode*>& pending = *pendingStack;
    if (expr)
        pending.push_back(expr);
    while (!pending.empty()) {
        ExprNode* node = pending.back();
        pending.pop_back();
        if (isNameKind(node->kind)) {
            visit(node);
            continue;
        }
        if (node->kind == TK_FUNCTIONNAME) {
            // Arguments in reverse so that references come out in text order.
            const std::size_t first = pending.size();
            for (ExprNode* a : node->args())
                if (a)
                    pending.push_back(a);
            std::reverse(pending.begin() + static_cast<std::ptrdiff_t>(first), pending.end());
            continue;
        }
        if (node->kind == TK_IF && node->extra())
            pending.push_back(node->extra());
        if (isOperatorKind(node->kind) || node->kind == TK_IF || node->kind == TK_UPTO) {
            if (node->right())
                pending.push_back(node->right());
            if (node->left())
                pending.push_back(node->left());
        }
    }
}

} // namespace

void find_varind_in_expr(ExprNode* expr, const VarRec* var, std::vector<ExprNode*>& refs)
{
    forEachReferenceOutsideIndices(expr, [&](ExprNode* node) {
        if (node->record() == var)
            refs.push_back(node);
    });
}

void HierarchicalName::setPath(std::string_view path)
{
    m_text.clear();
    m_overflow = false;
    append(path);
    m_mark = m_text.size();
    m_markOverflow = m_overflow;
}

void HierarchicalName::backToMark()
{
    m_text.resize(m_mark);
    m_overflow = m_markOverflow;
}

void HierarchicalName::append(std::string_view text)
{
    if (m_overflow)
        return;
    if (m_text.size() + text.size() > kMaxLength) {
        m_overflow = true;
        return;
    }
    m_text.append(text);
}

std::string HierarchicalName::text() const
{
    return m_overflow ? std::string("NAME TOO LONG") : m_text;
}

std::string submodelPath(std::string_view parentPath, std::string_view name)
{
    std::string path;
    if (!parentPath.empty()) {
        path.assign(parentPath);
        path += '`';
    }
    path.append(name);
    return path;
}

namespace {

void reportOutOfMemory()
{
    DisplayHooks().error("General error", nullptr, nullptr, -1, nullptr,
                         "memory allocation failure (may be out of memory).");
}

IoRec* findIo(const SectionList<IoRec>& list, std::string_view name)
{
    for (IoRec* io : list)
        if (io->name == name)
            return io;
    return nullptr;
}

bool hasNoIndices(const ConnectionRec* conn)
{
    return conn->con[0].index.empty() && conn->con[1].index.empty();
}

std::string describeSubmodel(const SubclassRec* sub)
{
    const ClassRec* cls = sub->cls;
    return formatMessage("%s%d:%s", cls ? cls->name.c_str() : "", cls ? cls->version : 0,
                         instance_name(sub).c_str());
}

/// A bond skipped by numbering leaves no port kept at its ends, so that no table lists them.
void forgetPorts(BondRec* bond)
{
    for (const ConnEnd& end : bond->con)
        end.port = nullptr;
}

int numberBonds(GraphBody* graph, int& counter)
{
    int number = 0;
    for (BondRec* bond : graph->bonds) {
        ++number;
        bool endsOk = true;
        for (int end = 0; end < 2; ++end)
            if (bond->con[end].type != END_SUB || !bond->con[end].node) {
                reportEquationsError(formatMessage(
                    "<error: port instead of submodel connected at con%d of bond %d>", end, number));
                endsOk = false;
                break;
            }
        if (!endsOk) {
            forgetPorts(bond);
            continue;
        }
        PortRec* ports[2] = {nullptr, nullptr};
        bool portsOk = true;
        for (int end = 0; end < 2 && portsOk; ++end) {
            auto* sub = static_cast<SubclassRec*>(bond->con[end].node);
            // The causal analysis leaves each end with the port it found by its name in the end's class.
            const ConnEnd& at = bond->con[end];
            PortRec* kept = keptPort(at, sub->cls);
            ports[end] = !sub->cls ? nullptr : kept ? kept : findPort(sub->cls, at.name);
            if (!ports[end]) {
                reportEquationsError(
                    formatMessage("bond connected with port %s, which is not a port of submodel %s.",
                                  bond->con[end].name.c_str(), describeSubmodel(sub).c_str()));
                portsOk = false;
            }
        }
        if (!portsOk) {
            forgetPorts(bond);
            continue;
        }
        for (int end = 0; end < 2; ++end) {
            bond->con[end].slot = counter;
            bond->con[end].port = ports[end];
        }
        counter += 2;
    }
    // Each subclass lays out the ends at its ports, which reshaping and collection read by port.
    for (SubclassRec* sub : graph->subclasses)
        if (!tableConnectedEnds(sub)) {
            reportOutOfMemory();
            return 0;
        }
    return 1;
}

int numberSignals(GraphBody* graph, int& counter)
{
    int number = 0;
    for (SigconRec* sig : graph->sigcons) {
        ++number;
        const int type0 = sig->con[0].type;
        const int type1 = sig->con[1].type;
        int out = -1;
        if (type0 == END_SOUT && type1 == END_SINP)
            out = 0;
        else if (type0 == END_SINP && type1 == END_SOUT)
            out = 1;
        if (out < 0 || !sig->con[0].node || !sig->con[1].node) {
            reportEquationsError(formatMessage("<error: signallist corrupted: sigcon %d, type1 %d, type2 %d>",
                                               number, type0, type1));
            continue;
        }
        const int in = 1 - out;
        auto* source = static_cast<SubclassRec*>(sig->con[out].node);
        auto* destination = static_cast<SubclassRec*>(sig->con[in].node);
        IoRec* output = source->cls ? findIo(source->cls->outputs, sig->con[out].name) : nullptr;
        IoRec* input = destination->cls ? findIo(destination->cls->inputs, sig->con[in].name) : nullptr;
        if (!output || !input) {
            const SubclassRec* sub = output ? destination : source;
            const GraphName& name = output ? sig->con[in].name : sig->con[out].name;
            reportEquationsError(formatMessage("signal connected with io %s, which is not an io of submodel %s.",
                                               name.c_str(), describeSubmodel(sub).c_str()));
            continue;
        }
        // An output feeding several inputs whole is one variable: reuse the newest such slot.
        int slot = 0;
        for (SignalDescriptor* earlier : output->connected)
            if (earlier->signal && hasNoIndices(earlier->signal)) {
                slot = earlier->index;
                break;
            }
        const bool newSlot = slot == 0;
        if (newSlot)
            slot = counter;
        for (int side = 0; side < 2; ++side) {
            auto* descriptor = arenaFor<SignalDescriptor>().make<SignalDescriptor>();
            IoRec* io = side == 0 ? output : input;
            if (!descriptor || !io->connected.pushFront(descriptor)) {
                reportOutOfMemory();
                return 0;
            }
            descriptor->sigdir = side == 0 ? 1 : 2;
            descriptor->index = slot;
            descriptor->signal = sig;
        }
        if (newSlot)
            ++counter;
    }
    return 1;
}

} // namespace

int numberConnections(ClassRec* top, int& counter)
{
    if (!top || !top->graph)
        return 1;
    if (!numberBonds(top->graph, counter) || !numberSignals(top->graph, counter))
        return 0;
    for (SubclassRec* sub : top->graph->subclasses) {
        if (!sub->cls)
            continue;
        for (IoRec* output : sub->cls->outputs) {
            if (!output->connected.empty())
                continue;
            auto* descriptor = arenaFor<SignalDescriptor>().make<SignalDescriptor>();
            if (!descriptor || !output->connected.pushFront(descriptor)) {
                reportOutOfMemory();
                return 0;
            }
            descriptor->sigdir = 1;
            descriptor->index = counter++;
        }
    }
    return 1;
}

namespace {

/// The end of a connection on the submodel's side: the one whose node is the submodel.
const ConnEnd* submodelEnd(const ConnectionRec* conn, const SubclassRec* sub, std::string_view name)
{
    for (const ConnEnd& end : conn->con)
        if (end.node == sub && end.name == name)
            return &end;
    return nullptr;
}

/// The name of a connection: path, [submodel index], backquote, port or io name, [its index].
std::string connectionName(HierarchicalName& buffer, const EndIndices* end, std::string_view portName,
                           std::string_view suffix)
{
    buffer.backToMark();
    if (end)
        buffer.append(indexListText(end->nodeindex));
    buffer.append("`");
    buffer.append(portName);
    if (end)
        buffer.append(indexListText(end->index));
    buffer.append(suffix);
    return buffer.text();
}

/// Appends both lists' selected dimensions, submodel index first.
bool selectedDimensions(const EndIndices* end, ExprList& dims)
{
    dims = ExprList{};
    if (!end)
        return true;
    bool ok = true;
    for (const ExprList* list : {&end->nodeindex, &end->index}) {
        ExprList part = indimlst(*list, ok);
        if (!ok)
            return false;
        for (ExprNode* d : part)
            if (!dims.append(d)) {
                reportOutOfMemory();
                return false;
            }
    }
    return true;
}

bool enterName(ClassRec* top, SlotTable& slots, int slot, const std::string& name, const ExprList& dims,
               std::int32_t type)
{
    if (VarRec* var = slots[static_cast<std::size_t>(slot)]) {
        var->aliases.push_back(intern_name(name));
        return true;
    }
    VarRec* var = newClassVariable(top, CLASS_VARIABLES);
    if (!var) {
        reportOutOfMemory();
        return false;
    }
    setVariable(var, name, dims, type);
    slots[static_cast<std::size_t>(slot)] = var;
    return true;
}

} // namespace

int enterConnectionNames(ClassRec* top, SubclassRec* sub, SlotTable& slots)
{
    ClassRec* cls = sub->cls;
    if (!cls)
        return 1;
    const int limit = static_cast<int>(slots.size()) - 1;
    HierarchicalName buffer;
    buffer.setPath(instance_name(sub));
    for (PortRec* port : portsOf(sub))
        for (ConnectedEnd connected : ConnectedEnds(sub, port)) {
            const int index = connected.slot();
            const EndIndices* end = &connected.indices();
            if (!check_help_index(index, limit))
                return 0; // a slot without its name would leave references nowhere to go
            ExprList dims;
            if (!selectedDimensions(end, dims))
                return 0;
            if (!enterName(top, slots, index, connectionName(buffer, end, port->name, ".e"), dims, TYPE_REAL) ||
                !enterName(top, slots, index + 1, connectionName(buffer, end, port->name, ".f"), dims, TYPE_REAL))
                return 0;
        }
    for (const SectionList<IoRec>* list : {&cls->inputs, &cls->outputs})
        for (IoRec* io : *list)
            for (PtrNode<SignalDescriptor>* node = io->connected.head; node; node = node->next) {
                SignalDescriptor* d = node->item;
                // Several connections sharing a slot give the slot one name: the last one's.
                bool laterSameSlot = false;
                for (PtrNode<SignalDescriptor>* later = node->next; later && !laterSameSlot; later = later->next)
                    laterSameSlot = later->item->index == d->index;
                if (laterSameSlot)
                    continue;
                if (!check_help_index(d->index, limit + 1))
                    return 0;
                const ConnEnd* end = d->signal ? submodelEnd(d->signal, sub, io->name) : nullptr;
                ExprList dims;
                if (d->signal) {
                    if (!selectedDimensions(end, dims))
                        return 0;
                } else {
                    AddressMap map;
                    if (!copyExpressionList(io->dim, dims, map)) {
                        reportOutOfMemory();
                        return 0;
                    }
                }
                if (!enterName(top, slots, d->index, connectionName(buffer, end, io->name, ""), dims, io->type))
                    return 0;
            }
    return 1;
}

namespace {

/// True when the reference's index at one position lies in the connection's index there.
bool indexContains(const ExprNode* connection, const ExprNode* reference)
{
    if (!connection || !reference)
        return false;
    if (reference->kind != TK_INTEGER)
        return true; // a computed index cannot be placed before run time; it takes the first fit
    const std::int32_t i = reference->intValue();
    if (connection->kind == TK_INTEGER)
        return connection->intValue() == i;
    if (connection->kind == TK_UPTO && connection->left() && connection->right() &&
        connection->left()->kind == TK_INTEGER && connection->right()->kind == TK_INTEGER)
        return connection->left()->intValue() <= i && i <= connection->right()->intValue();
    return true;
}

/// True when the connection end covers the element the reference names: position by position,
/// the subclass's instance indices and then the port's or io's own indices.
bool connectionHolds(const EndIndices* end, const SubclassRec* sub, const ExprNode* ref)
{
    if (!end)
        return true;
    const std::vector<const ExprNode*> covered = coveredIndexEntries(*end, sub);
    if (std::all_of(covered.begin(), covered.end(), [](const ExprNode* e) { return e == nullptr; }))
        return true;
    const PtrNode<ExprNode>* r = ref->index().head;
    if (!r)
        return false; // the whole port, but the connection holds only part of it
    for (std::size_t k = 0; k < covered.size() && r; ++k, r = r->next)
        if (covered[k] && !indexContains(covered[k], r->item))
            return false;
    return true;
}

/// The reference's index list as the slot variable sees it. Each index that falls in a range of
/// the connection is counted from that range's start, so that two submodels sharing one
/// variable at different offsets both reach the same element; an index the connection fixes to
/// one element selects no dimension of the variable.
bool rebasedIndices(const EndIndices* end, const SubclassRec* sub, const ExprNode* ref, const VarRec* var,
                    ExprList& out)
{
    out = ExprList{};
    const int dims = var->dim.count();
    if (dims == 0)
        return true;
    const std::vector<const ExprNode*> covered = end ? coveredIndexEntries(*end, sub) : std::vector<const ExprNode*>{};
    int kept = 0;
    std::size_t k = 0;
    for (PtrNode<ExprNode>* r = ref->index().head; r && kept < dims; r = r->next, ++k) {
        const ExprNode* range = k < covered.size() ? covered[k] : nullptr;
        ExprNode* index = r->item;
        if (range) {
            if (range->kind != TK_UPTO || literalSize(range) == 1)
                continue;
            const ExprNode* lo = range->left();
            if (lo && lo->kind == TK_INTEGER && lo->intValue() != 1) {
                if (index && index->kind == TK_INTEGER)
                    index = makeIntegerConstant(index->intValue() - lo->intValue() + 1);
                else
                    index = makeOperator(index, makeIntegerConstant(lo->intValue() - 1), TK_MIN);
                if (!index)
                    return false;
            }
        }
        if (!out.append(index))
            return false;
        ++kept;
    }
    return true;
}

void gatherReferences(ExprNode* expr, std::vector<ExprNode*>& refs)
{
    ScratchStack<ExprNode*> pendingStack;
    std::vector<ExprNode*>& pending = *pendingStack;
    if (expr)
        pending.push_back(expr);
    while (!pending.empty()) {
        ExprNode* node = pending.back();
        pending.pop_back();
        if (node->kind == TK_PORTNAME || node->kind == TK_INPUTNAME || node->kind == TK_OUTPUTNAME)
            refs.push_back(node);
        for (ExprNode* i : node->index())
            if (i)
                pending.push_back(i);
        for (ExprNode* a : node->args())
            if (a)
                pending.push_back(a);
        if (isNameKind(node->kind) || node->kind == TK_TIME)
            continue; // `extra` chains the equation's names, not a part of this expression
        for (ExprNode* part : {node->left(), node->right(), node->kind == TK_IF ? node->extra() : nullptr})
            if (part)
                pending.push_back(part);
    }
}

std::string referenceText(const ExprNode* ref, const std::string& name)
{
    std::string text = name;
    if (!ref->index().empty())
        text += indexListText(ref->index());
    return text;
}

} // namespace

namespace {

/// Rewrites the references of `count` equations from `first` on, equations of the submodel.
int rewriteReferences(SubclassRec* sub, EquationRec* first, std::size_t count, const SlotTable& slots)
{
    const int limit = static_cast<int>(slots.size());
    ScratchStack<ExprNode*> refStack;
    std::vector<ExprNode*>& refs = *refStack;
    for (EquationRec* eq = first; eq && count > 0; eq = SectionList<EquationRec>::after(eq), --count) {
        gatherReferences(eq->left, refs);
        gatherReferences(eq->right, refs);
    }
    for (ExprNode* ref : refs) {
        int slot = 0;
        const EndIndices* end = nullptr;
        std::string name;
        if (ref->kind == TK_PORTNAME) {
            auto* port = static_cast<PortRec*>(ref->record());
            name = port ? port->name.str() : std::string();
            for (ConnectedEnd connected : ConnectedEnds(sub, port))
                if (connectionHolds(&connected.indices(), sub, ref)) {
                    slot = connected.slot() + (ref->selector == TK_SEL_FLOW ? 1 : 0);
                    end = &connected.indices();
                    break;
                }
            if (slot == 0) {
                reportEquationsError(formatMessage("no bond connected with port %s of submodel %s.",
                                                   referenceText(ref, name).c_str(),
                                                   describeSubmodel(sub).c_str()));
                return 0;
            }
        } else {
            auto* io = static_cast<IoRec*>(ref->record());
            name = io ? io->name.str() : std::string();
            for (SignalDescriptor* d : io ? io->connected : PtrList<SignalDescriptor>{}) {
                const ConnEnd* e = d->signal ? submodelEnd(d->signal, sub, io->name) : nullptr;
                if (connectionHolds(e, sub, ref)) {
                    slot = d->index;
                    end = e;
                    break;
                }
            }
            if (slot == 0) {
                reportEquationsError(formatMessage("no signal connected with io %s of submodel %s.",
                                                   referenceText(ref, name).c_str(),
                                                   describeSubmodel(sub).c_str()));
                return 0;
            }
        }
        if (!check_help_index(slot, limit) || !slots[static_cast<std::size_t>(slot)])
            return 0; // a reference left pointing at a port would be written as garbage
        VarRec* var = slots[static_cast<std::size_t>(slot)];
        ExprList index;
        if (!rebasedIndices(end, sub, ref, var, index)) {
            reportOutOfMemory();
            return 0;
        }
        ref->setKind(TK_VARIABLENAME);
        ref->selector = 0;
        ref->setRecord(var);
        ref->setIndex(index);
        var->connmark = 1;
    }
    return 1;
}

} // namespace

int rewriteConnectionReferences(SubclassRec* sub, const SlotTable& slots)
{
    ClassRec* cls = sub->cls;
    if (!cls || !cls->equations)
        return 1;
    return rewriteReferences(sub, cls->equations->equations.first(), SIZE_MAX, slots);
}

namespace {

/// Gives the class's own variables their hierarchical names under `path` and appends them to the
/// sections of `to`, section by section.
template <class Sections>
void moveVariables(ClassRec* cls, const std::string& path, Sections&& to)
{
    for (ClassSection which : {CLASS_PARAMETERS, CLASS_INITCONDS, CLASS_VARIABLES, CLASS_CONSTANTS}) {
        SectionList<VarRec>& from = cls->section(which);
        while (VarRec* var = from.first()) {
            SectionList<VarRec>::unlink(var);
            var->name = submodelPath(path, var->name);
            to(which).append(var);
        }
    }
}

/// Gives the submodel's own records their hierarchical names and moves them into the top class.
void moveSubmodelRecords(ClassRec* top, SubclassRec* sub, const std::string& path)
{
    ClassRec* cls = sub->cls;
    moveVariables(cls, path, [top](ClassSection which) -> SectionList<VarRec>& { return top->section(which); });
    if (cls->equations)
        while (EquationRec* eq = cls->equations->equations.first()) {
            SectionList<EquationRec>::unlink(eq);
            top->equations->equations.append(eq);
        }
}

/// Appends each reference in the expression to a numbered variable to that variable's list, in
/// the order `find_varind_in_expr` finds them.
void gatherVariableReferences(ExprNode* expr, const VariableNumbering& numbers,
                              std::vector<std::vector<ExprNode*>>& references)
{
    forEachReferenceOutsideIndices(expr, [&](ExprNode* node) {
        if (!isVariableKind(node->kind) || !node->record())
            return;
        const std::int64_t n = numbers.find(node->var());
        if (n >= 0)
            references[static_cast<std::size_t>(n)].push_back(node);
    });
}

} // namespace

// The last step of collection; references rewritten from connections are in range already.
int normaliseIndices(ClassRec* top)
{
    std::vector<VarRec*> vars;
    for (VarRec* var : top->variables)
        if (!var->dim.empty())
            vars.push_back(var);
    if (vars.empty())
        return 1;
    // The references of every such variable, gathered in one walk over the equations (a walk
    // per variable would take the time of their product), each variable's in equation order.
    VariableNumbering numbers;
    for (std::size_t i = 0; i < vars.size(); ++i)
        numbers.set(vars[i], static_cast<std::int64_t>(i));
    std::vector<std::vector<ExprNode*>> references(vars.size());
    for (EquationRec* eq : top->equations->equations)
        for (ExprNode* side : {eq->left, eq->right})
            gatherVariableReferences(side, numbers, references);
    for (std::size_t v = 0; v < vars.size(); ++v) {
        const VarRec* var = vars[v];
        const std::vector<ExprNode*>& refs = references[v];
        int k = 0;
        for (const ExprNode* size : var->dim) {
            const std::int64_t s = literalSize(size);
            std::int64_t m = 0;
            for (const ExprNode* ref : refs) {
                const ExprNode* index = ref->index().at(k);
                if (index && index->kind == TK_INTEGER)
                    m = std::max<std::int64_t>(m, index->intValue());
            }
            if (s > 0 && m > s)
                for (ExprNode* ref : refs) {
                    ExprNode* index = ref->index().at(k);
                    if (!index || index->kind != TK_INTEGER)
                        continue;
                    std::int64_t i = index->intValue() - (m - s);
                    if (i < 1)
                        i = s - i;
                    index->setIntValue(static_cast<std::int32_t>(i));
                }
            ++k;
        }
    }
    return 1;
}

void StagedRecords::take(SubclassRec* sub)
{
    std::uint32_t count = 0;
    if (ClassRec* cls = sub->cls) {
        moveVariables(cls, instance_name(sub),
                      [this](ClassSection which) -> SectionList<VarRec>& { return m_sections[which]; });
        if (cls->equations)
            while (EquationRec* eq = cls->equations->equations.first()) {
                SectionList<EquationRec>::unlink(eq);
                m_equations.append(eq);
                ++count;
            }
    }
    m_counts.push_back(count);
}

bool StagedRecords::nextEquations(EquationRec*& first, std::size_t& count)
{
    if (m_next >= m_counts.size())
        return false;
    EquationRec* at = m_next == 0 ? m_equations.first() : m_nextFirst;
    count = m_counts[m_next++];
    first = count > 0 ? at : nullptr;
    for (std::size_t k = 0; k < count && at; ++k)
        at = SectionList<EquationRec>::after(at);
    m_nextFirst = at;
    return true;
}

void StagedRecords::moveInto(ClassRec* top)
{
    // Whole lists change hands: walking millions of records here would only cost their misses.
    for (ClassSection which : {CLASS_PARAMETERS, CLASS_INITCONDS, CLASS_VARIABLES, CLASS_CONSTANTS})
        top->section(which).appendAll(m_sections[which]);
    top->equations->equations.appendAll(m_equations);
    std::vector<std::uint32_t>().swap(m_counts);
    m_next = 0;
    m_nextFirst = nullptr;
}

int collectEquations(ClassRec* top, int slotCount, StagedRecords* staged)
{
    if (!top || !top->graph)
        return 0;
    SlotTable slots;
    try {
        slots.assign(static_cast<std::size_t>(std::max(slotCount, 1)), nullptr);
    } catch (const std::bad_alloc&) {
        reportOutOfMemory();
        return 0;
    }
    if (!newEquationBody(top)) {
        reportOutOfMemory();
        return 0;
    }
    GraphBody* graph = top->graph;
    // All names are entered before any reference is rewritten; a slot is still named after the
    // first connected port in submodel order.
    for (SubclassRec* sub : graph->subclasses)
        if (!enterConnectionNames(top, sub, slots))
            return 0;
    for (SubclassRec* sub : graph->subclasses) {
        EquationRec* first = nullptr;
        std::size_t count = 0;
        if (staged && staged->nextEquations(first, count)) {
            if (!rewriteReferences(sub, first, count, slots))
                return 0;
            continue;
        }
        // A submodel that took its type's class needs a copy to take the records from.
        if (sharesTypeClass(sub) && !copyTypeClassFor(sub, GraphArena())) {
            reportOutOfMemory();
            return 0;
        }
        if (!rewriteConnectionReferences(sub, slots))
            return 0;
        if (sub->cls)
            moveSubmodelRecords(top, sub, instance_name(sub));
    }
    // Staged records follow the connection variables, as records moved here would.
    if (staged)
        staged->moveInto(top);
    top->graph = nullptr;
    // The variables and equations now belong to the top class; the graph that held them, the
    // instance copies and their ports are not reached any more, and their room serves what follows.
    releaseGraphRecords();
    return normaliseIndices(top);
}
