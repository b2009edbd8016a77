// Dissolving a graph submodel into the body that holds it: its submodel types, subclasses,
// bonds and signals move out, and the bonds and signals at its ports and ios are joined.
#include "modelproc/graph_dissolution.h"

#include "modelproc/display_hooks.h"
#include "modelproc/record_release.h"
#include "modelproc/semantic_checks.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <vector>

namespace {

struct Dissolution {
    GraphBody* outer;
    SubclassRec* sub;
    ClassRec* cls;
    GraphBody* inner;
    const DissolutionErrorReport& report;

    void error(const char* pattern, std::string_view name) const
    {
        const std::string text(name);
        report(formatMessage(pattern, text.c_str(), cls->name.c_str(), cls->version, instance_name(sub).c_str()));
    }
};

void merge_types(Dissolution& d)
{
    std::vector<SubmodelType*> types;
    for (SubmodelType* t : d.inner->types)
        types.push_back(t);
    for (SubmodelType* t : types) {
        SubmodelType* same = nullptr;
        for (SubmodelType* o : d.outer->types)
            if (o->t_name == t->t_name && o->t_vers == t->t_vers)
                same = o;
        SectionList<SubmodelType>::unlink(t);
        if (!same) {
            d.outer->types.append(t);
            continue;
        }
        // Each user goes in front of the same type's users, newest first as they come.
        while (SubclassRec* user = t->users.first()) {
            t->users.remove(user);
            user->type = same;
            same->users.pushFront(user);
        }
        releaseSubmodelType(t);
    }
}

/// Copies an end of the inner body onto the outer connection's end at the dissolved subclass.
void takeEnd(ConnEnd& to, const ConnEnd& from)
{
    to.type = from.type;
    to.node = from.node;
    to.name = from.name;
    to.nodeindex.head = nullptr;
    to.index.head = nullptr;
    for (const ExprNode* e : from.nodeindex)
        to.nodeindex.append(ttcopy_1_expr(e, nullptr));
    for (const ExprNode* e : from.index)
        to.index.append(ttcopy_1_expr(e, nullptr));
}

/// The bounds of one index entry: an integer lo == hi, a range lo..hi.
struct IndexBounds {
    std::int64_t lo = 0;
    std::int64_t hi = 0;
    bool single = true;

    std::int64_t width() const { return hi - lo + 1; }
};

bool fitsIndex(std::int64_t value)
{
    return value >= std::numeric_limits<std::int32_t>::min() && value <= std::numeric_limits<std::int32_t>::max();
}

ExprNode* makeIndexEntry(std::int64_t lo, std::int64_t hi, bool single)
{
    if (single)
        return makeIntegerConstant(static_cast<std::int32_t>(lo));
    return makeOperator(makeIntegerConstant(static_cast<std::int32_t>(lo)),
                        makeIntegerConstant(static_cast<std::int32_t>(hi)), TK_UPTO);
}

/// Reads the bounds of an index entry; a missing or non-literal entry is reported.
bool readIndexEntry(const Dissolution& d, const ExprNode* e, IndexBounds& bounds)
{
    if (!e) {
        d.report(formatMessage("<error: no index information in submodel %s%d:%s>", d.cls->name.c_str(),
                               d.cls->version, instance_name(d.sub).c_str()));
        return false;
    }
    const ExprNode* bad = nullptr;
    if (e->kind == TK_INTEGER) {
        bounds = {e->intValue(), e->intValue(), true};
        return true;
    }
    if (e->kind == TK_UPTO) {
        if (!e->left() || !e->right()) {
            d.report(formatMessage("<error: no index information in submodel %s%d:%s>", d.cls->name.c_str(),
                                   d.cls->version, instance_name(d.sub).c_str()));
            return false;
        }
        if (e->left()->kind == TK_INTEGER && e->right()->kind == TK_INTEGER) {
            bounds = {e->left()->intValue(), e->right()->intValue(), false};
            return true;
        }
        bad = e->left()->kind != TK_INTEGER ? e->left() : e->right();
    } else {
        bad = e;
    }
    d.report(formatMessage("<error: illegal opcode %d in expression in submodel %s%d:%s>", bad->kind,
                           d.cls->name.c_str(), d.cls->version, instance_name(d.sub).c_str()));
    return false;
}

std::vector<const ExprNode*> entriesOf(const ExprList& list)
{
    std::vector<const ExprNode*> entries;
    for (const ExprNode* e : list)
        entries.push_back(e);
    return entries;
}

/// Joins the inner end `from` onto `at`, the outer connection's end at the dissolved subclass.
/// The outer node indices pick elements of the instance array: each narrows the whole range that
/// the instance put in front of the inner node indices. Each outer port or io index moves the
/// inner index in the same position by the outer offset (its lower bound minus 1); the widths of
/// both must agree. On any error nothing is changed and false is returned.
bool joinEnd(const Dissolution& d, ConnEnd& at, const ConnEnd& from, std::string_view name)
{
    const auto mismatch = [&] {
        d.error("illegal connection of internal bond to port %s in submodel %s%d:%s.", name);
        return false;
    };
    const std::vector<const ExprNode*> outerNodes = entriesOf(at.nodeindex);
    const std::vector<const ExprNode*> innerNodes = entriesOf(from.nodeindex);
    const std::vector<const ExprNode*> outerIndex = entriesOf(at.index);
    const std::vector<const ExprNode*> innerIndex = entriesOf(from.index);
    if (outerNodes.size() > static_cast<std::size_t>(d.sub->dim.count()))
        return mismatch();
    std::vector<ExprNode*> nodes;
    std::vector<ExprNode*> index;
    const auto fail = [&] {
        for (ExprNode* e : nodes)
            releaseExpression(e);
        for (ExprNode* e : index)
            releaseExpression(e);
        return false;
    };
    for (std::size_t i = 0; i < std::max(outerNodes.size(), innerNodes.size()); ++i) {
        if (i >= outerNodes.size()) {
            nodes.push_back(ttcopy_1_expr(innerNodes[i], nullptr));
            continue;
        }
        IndexBounds outer;
        IndexBounds inner;
        const ExprNode* innerEntry = i < innerNodes.size() ? innerNodes[i] : nullptr;
        if (!readIndexEntry(d, outerNodes[i], outer) || !readIndexEntry(d, innerEntry, inner))
            return fail();
        if (outer.lo < 1 || outer.hi < outer.lo || outer.hi > inner.width() || !fitsIndex(inner.lo + outer.hi - 1)) {
            fail();
            return mismatch();
        }
        nodes.push_back(makeIndexEntry(inner.lo + outer.lo - 1, inner.lo + outer.hi - 1, outer.single));
    }
    for (std::size_t i = 0; i < std::max(outerIndex.size(), innerIndex.size()); ++i) {
        if (i >= outerIndex.size()) {
            index.push_back(ttcopy_1_expr(innerIndex[i], nullptr));
            continue;
        }
        IndexBounds outer;
        IndexBounds inner;
        const ExprNode* innerEntry = i < innerIndex.size() ? innerIndex[i] : nullptr;
        if (!readIndexEntry(d, outerIndex[i], outer) || !readIndexEntry(d, innerEntry, inner))
            return fail();
        const std::int64_t offset = outer.lo - 1;
        if (outer.hi < outer.lo || outer.width() != inner.width() || !fitsIndex(inner.lo + offset) ||
            !fitsIndex(inner.hi + offset)) {
            fail();
            return mismatch();
        }
        index.push_back(makeIndexEntry(inner.lo + offset, inner.hi + offset, inner.single));
    }
    at.type = from.type;
    at.node = from.node;
    at.name = from.name;
    at.nodeindex.head = nullptr;
    at.index.head = nullptr;
    for (ExprNode* e : nodes)
        at.nodeindex.append(e);
    for (ExprNode* e : index)
        at.index.append(e);
    return true;
}

int innerBondsAt(const GraphBody* inner, const PortRec* port)
{
    int n = 0;
    for (BondRec* bond : inner->bonds)
        for (const ConnEnd& end : bond->con)
            if (end.type == END_POR && end.node == port)
                ++n;
    return n;
}

/// Reports every connection with an end of the type still at the dissolved subclass that is not
/// in `reported`, once.
template <class Connection>
void reportLeftOver(const Dissolution& d, std::int16_t type, const std::vector<const Connection*>& reported,
                    const char* pattern)
{
    std::vector<const Connection*> seen(reported);
    for (Connection* conn : ConnectionsAt<Connection>(d.sub, type)) {
        if (std::find(seen.begin(), seen.end(), conn) != seen.end())
            continue;
        seen.push_back(conn);
        const ConnEnd* at = nullptr;
        for (const ConnEnd& end : conn->con)
            if (!at && end.type == type && end.node == d.sub)
                at = &end;
        d.error(pattern, at ? at->name.view() : std::string_view());
    }
}

void join_ports(Dissolution& d)
{
    // An outer bond whose port was reported already is not reported again below.
    std::vector<const BondRec*> reported;
    for (PortRec* port : d.cls->ports) {
        // Each element of an instance array may have its own outer bond at the port.
        const std::vector<ConnectionEndAt<BondRec>> outers = connectionEndsAt<BondRec>(d.sub, END_SUB, port->name);
        const auto reportAll = [&] {
            for (const ConnectionEndAt<BondRec>& o : outers)
                reported.push_back(o.conn);
        };
        if (outers.empty()) {
            d.error("no bond connected with port %s of submodel %s%d:%s.", port->name);
            continue;
        }
        BondRec* inner = port->bond;
        if (!inner) {
            d.error("no internal bond connected with port %s of submodel %s%d:%s.", port->name);
            reportAll();
            continue;
        }
        if (innerBondsAt(d.inner, port) > 1) {
            d.error("more than one internal bond connected with port %s of submodel %s%d:%s.", port->name);
            reportAll();
            continue;
        }
        ConnEnd* far = otherEnd(inner, port);
        if (!far || far->type != END_SUB || !far->node) {
            d.error("illegal connection (port to port) at port %s of submodel %s%d:%s.", port->name);
            reportAll();
            continue;
        }
        auto* target = static_cast<SubclassRec*>(far->node);
        bool joined = false;
        for (const ConnectionEndAt<BondRec>& o : outers) {
            if (!joinEnd(d, o.conn->con[o.end], *far, port->name)) {
                reported.push_back(o.conn);
                continue;
            }
            // The end now lies at the inner subclass.
            unlinkEndAt(d.sub, o.conn, o.end);
            linkEndAt(target, o.conn, o.end);
            joined = true;
        }
        if (!joined)
            continue;
        unlinkEndAt(target, inner, far == &inner->con[0] ? 0 : 1);
        SectionList<BondRec>::unlink(inner);
        port->bond = nullptr;
        register_release(inner);
    }
    reportLeftOver<BondRec>(d, END_SUB, reported, "bond connected with port %s, which is not a port of submodel %s%d:%s.");
}

void join_inputs(Dissolution& d)
{
    std::vector<const SigconRec*> reported;
    for (IoRec* input : d.cls->inputs) {
        // Each element of an instance array may have its own outer signal at the input.
        const std::vector<ConnectionEndAt<SigconRec>> outers = connectionEndsAt<SigconRec>(d.sub, END_SINP, input->name);
        if (outers.empty()) {
            d.report(formatMessage("no signal connected with input %s of submodel %s.%d:%s.", input->name.c_str(),
                                   d.cls->name.c_str(), d.cls->version, instance_name(d.sub).c_str()));
            continue;
        }
        // The inner signals of the input that lead to a subclass input, with their sink ends as read.
        std::vector<SigconRec*> inners;
        std::vector<ConnEnd> sinks;
        std::vector<int> sinkSides;
        for (SigconRec* inner : input->signals) {
            ConnEnd* far = otherEnd(inner, input);
            if (!far || !connectionEndOf(inner, input))
                continue;
            if (far->type == END_INP) {
                d.error("illegal connection (input to input) at io %s of submodel %s%d:%s.", input->name);
                continue;
            }
            if (far->type != END_SINP || !far->node) {
                d.error("illegal connection (output to input) at io %s of submodel %s%d:%s.", input->name);
                continue;
            }
            inners.push_back(inner);
            sinks.push_back(*far);
            sinkSides.push_back(far == &inner->con[0] ? 0 : 1);
        }
        std::vector<bool> used(inners.size(), false);
        for (const ConnectionEndAt<SigconRec>& o : outers) {
            SigconRec* outer = o.conn;
            ConnEnd* source = &outer->con[1 - o.end];
            if (source->type != END_SOUT || !source->node) {
                d.error("illegal connection (output to input) at io %s of submodel %s%d:%s.", input->name);
                reported.push_back(outer);
                continue;
            }
            auto* sourceSub = static_cast<SubclassRec*>(source->node);
            bool joined = false;
            for (std::size_t i = 0; i < inners.size(); ++i) {
                ConnEnd sink = outer->con[o.end];
                if (!joinEnd(d, sink, sinks[i], input->name))
                    continue;
                SigconRec* target = inners[i];
                if (used[i]) {
                    // A further element of the instance array: the inner signal is doubled.
                    target = newSigcon(d.inner);
                    if (!target) {
                        d.report("memory allocation failure (may be out of memory).");
                        continue;
                    }
                    for (const ExprNode* e : inners[i]->dim)
                        target->dim.append(ttcopy_1_expr(e, nullptr));
                    target->dir = inners[i]->dir;
                    target->caus = inners[i]->caus;
                    linkEndAt(static_cast<SubclassRec*>(sinks[i].node), target, sinkSides[i]);
                }
                const int sinkSide = sinkSides[i];
                takeEnd(target->con[1 - sinkSide], *source);
                target->con[sinkSide] = sink;
                linkEndAt(sourceSub, target, 1 - sinkSide);
                used[i] = true;
                joined = true;
            }
            if (!joined) {
                reported.push_back(outer);
                continue;
            }
            unlinkEndAt(d.sub, outer, o.end);
            unlinkEndAt(sourceSub, outer, 1 - o.end);
            SectionList<SigconRec>::unlink(outer);
            register_release(outer);
        }
        input->signals.head = nullptr;
    }
    reportLeftOver<SigconRec>(d, END_SINP, reported,
                              "signal connected with io %s, which is not an io of submodel %s%d:%s.");
}

void join_outputs(Dissolution& d)
{
    std::vector<const SigconRec*> reported;
    for (IoRec* output : d.cls->outputs) {
        SigconRec* inner = output->signals.empty() ? nullptr : output->signals.head->item;
        const std::vector<ConnectionEndAt<SigconRec>> outers = connectionEndsAt<SigconRec>(d.sub, END_SOUT, output->name);
        const auto reportAll = [&] {
            for (const ConnectionEndAt<SigconRec>& o : outers)
                reported.push_back(o.conn);
        };
        if (outers.empty())
            continue;
        if (!inner) {
            d.error("no internal signal connected with output %s of submodel %s%d:%s.", output->name);
            reportAll();
            continue;
        }
        ConnEnd* far = otherEnd(inner, output);
        if (!far || far->type == END_INP || far->type == END_SINP) {
            d.error("illegal connection (input to output) at io %s of submodel %s%d:%s.", output->name);
            reportAll();
            continue;
        }
        if (far->type == END_OUT) {
            d.error("illegal connection (output to output) at io %s of submodel %s%d:%s.", output->name);
            reportAll();
            continue;
        }
        if (far->type != END_SOUT || !far->node) {
            reportAll();
            continue;
        }
        auto* sourceSub = static_cast<SubclassRec*>(far->node);
        bool joined = false;
        for (const ConnectionEndAt<SigconRec>& o : outers) {
            SigconRec* outer = o.conn;
            if (!joinEnd(d, outer->con[o.end], *far, output->name)) {
                reported.push_back(outer);
                continue;
            }
            unlinkEndAt(d.sub, outer, o.end);
            linkEndAt(sourceSub, outer, o.end);
            joined = true;
        }
        if (!joined)
            continue;
        unlinkEndAt(sourceSub, inner, far == &inner->con[0] ? 0 : 1);
        output->signals.head = nullptr;
        SectionList<SigconRec>::unlink(inner);
        register_release(inner);
    }
    reportLeftOver<SigconRec>(d, END_SOUT, reported,
                              "signal connected with io %s, which is not an io of submodel %s%d:%s.");
}

/// The body whose dissolved subclasses leave their types' users later; null when none.
GraphBody*& laterRemovalBody()
{
    static GraphBody* body = nullptr;
    return body;
}

/// How many dissolved subclasses wait to leave their types' users.
std::size_t& laterRemovalCount()
{
    static std::size_t count = 0;
    return count;
}

} // namespace

std::string instance_name(const SubclassRec* sub)
{
    std::string name;
    appendSubclassPath(name, sub, '`');
    return name + sub->name;
}

void dissolveGraphSubmodel(GraphBody* body, SubclassRec* sub, const DissolutionErrorReport& report)
{
    ClassRec* cls = sub->cls;
    Dissolution d{body, sub, cls, cls->graph, report};
    // The submodel type, not the class its file happens to declare, names the enclosing model.
    auto* enclosing = GraphArena().make<EnclosingModel>();
    if (!enclosing || !enclosing->cls.assign(sub->type ? sub->type->t_name + std::to_string(sub->type->t_vers)
                                                        : cls->name + std::to_string(cls->version))) {
        report("memory allocation failure (may be out of memory).");
        return;
    }
    enclosing->instance = sub->name;
    enclosing->outer = sub->within;
    std::vector<SubclassRec*> inners;
    for (SubclassRec* s : d.inner->subclasses) {
        s->within = enclosing;
        inners.push_back(s);
    }
    merge_types(d);
    for (SubclassRec* s : inners) {
        SectionList<SubclassRec>::unlink(s);
        body->subclasses.append(s);
    }
    join_ports(d);
    join_inputs(d);
    join_outputs(d);
    // The class's own ports and ios go; their records must not release what moved out.
    while (PortRec* port = cls->ports.first()) {
        port->bond = nullptr;
        SectionList<PortRec>::unlink(port);
    }
    for (SectionList<IoRec>* ios : {&cls->inputs, &cls->outputs})
        while (IoRec* io = ios->first()) {
            io->signals.head = nullptr;
            SectionList<IoRec>::unlink(io);
        }
    while (BondRec* bond = d.inner->bonds.first()) {
        SectionList<BondRec>::unlink(bond);
        body->bonds.append(bond);
    }
    while (SigconRec* sig = d.inner->sigcons.first()) {
        SectionList<SigconRec>::unlink(sig);
        body->sigcons.append(sig);
    }
    // Connections still on the subclass were reported above; they lose this end.
    for (EndRef at : EndsAt(sub))
        at.end() = ConnEnd{};
    sub->ends = EndRef();
    sub->cls = nullptr;
    if (laterRemovalBody() == body) {
        sub->type = nullptr; // leaves the users when the later removal is done
        ++laterRemovalCount();
    }
    releaseSubclass(sub);
}

LaterUserRemoval::LaterUserRemoval(GraphBody* body)
    : m_body(body), m_outer(laterRemovalBody()), m_outerCount(laterRemovalCount())
{
    laterRemovalBody() = body;
    laterRemovalCount() = 0;
}

LaterUserRemoval::~LaterUserRemoval()
{
    const std::size_t released = laterRemovalCount();
    laterRemovalBody() = m_outer;
    laterRemovalCount() = m_outerCount;
    if (released == 0)
        return;
    // A released subclass no longer names its type.
    for (SubmodelType* type : m_body->types)
        type->users.removeIf([type](const SubclassRec* user) { return user->type != type; });
}
