// Dissolving a graph submodel into the body that holds it: its submodel types, subclasses,
// bonds and signals move out, and the bonds and signals at its ports and ios are joined.
#include "modelproc/graph_dissolution.h"

#include "modelproc/display_hooks.h"
#include "modelproc/record_release.h"
#include "modelproc/semantic_checks.h"

#include <algorithm>
#include <vector>

namespace {

struct Dissolution {
    GraphBody* outer;
    SubclassRec* sub;
    ClassRec* cls;
    GraphBody* inner;
    const DissolutionErrorReport& report;

    void error(const char* pattern, const std::string& name) const
    {
        report(formatMessage(pattern, name.c_str(), cls->name.c_str(), cls->version, instance_name(sub).c_str()));
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
        for (SubclassRec* user : t->users) {
            user->type = same;
            same->users.pushFront(user);
        }
        t->users.head = nullptr;
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
        to.nodeindex.append(ttcopy_1_expr(e, nullptr, nullptr));
    for (const ExprNode* e : from.index)
        to.index.append(ttcopy_1_expr(e, nullptr, nullptr));
}

/// The widths of the index lists of both connections agree (an empty list is the whole port).
bool indexWidthsAgree(const ConnEnd& outerEnd, const ConnEnd& innerEnd)
{
    if (outerEnd.index.empty() || innerEnd.index.empty())
        return true;
    std::int64_t outerWidth = 1;
    std::int64_t innerWidth = 1;
    for (const ExprNode* e : outerEnd.index)
        outerWidth *= e && e->kind == TK_UPTO ? literalSize(e) : 1;
    for (const ExprNode* e : innerEnd.index)
        innerWidth *= e && e->kind == TK_UPTO ? literalSize(e) : 1;
    return outerWidth == innerWidth;
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

void join_ports(Dissolution& d)
{
    // An outer bond whose port was reported already is not reported again below.
    std::vector<const BondRec*> reported;
    for (PortRec* port : d.cls->ports) {
        BondRec* outer = subclassBondAtPort(d.sub, port->name);
        if (!outer) {
            d.error("no bond connected with port %s of submodel %s%d:%s.", port->name);
            continue;
        }
        BondRec* inner = port->bond;
        if (!inner) {
            d.error("no internal bond connected with port %s of submodel %s%d:%s.", port->name);
            reported.push_back(outer);
            continue;
        }
        if (innerBondsAt(d.inner, port) > 1) {
            d.error("more than one internal bond connected with port %s of submodel %s%d:%s.", port->name);
            reported.push_back(outer);
            continue;
        }
        ConnEnd* far = otherEnd(inner, port);
        if (!far || far->type != END_SUB || !far->node) {
            d.error("illegal connection (port to port) at port %s of submodel %s%d:%s.", port->name);
            reported.push_back(outer);
            continue;
        }
        ConnEnd* at = connectionEndOf(outer, d.sub);
        if (!indexWidthsAgree(*at, *far)) {
            d.error("illegal connection of internal bond to port %s in submodel %s%d:%s.", port->name);
            reported.push_back(outer);
            continue;
        }
        auto* target = static_cast<SubclassRec*>(far->node);
        takeEnd(*at, *far);
        target->bonds.pushFront(outer);
        d.sub->bonds.remove(outer);
        target->bonds.remove(inner);
        SectionList<BondRec>::unlink(inner);
        port->bond = nullptr;
        register_release(inner);
    }
    for (BondRec* bond : d.sub->bonds) {
        if (std::find(reported.begin(), reported.end(), bond) != reported.end())
            continue;
        const ConnEnd* at = connectionEndOf(bond, d.sub);
        d.error("bond connected with port %s, which is not a port of submodel %s%d:%s.", at ? at->name : "");
    }
}

void join_inputs(Dissolution& d)
{
    std::vector<const SigconRec*> reported;
    for (IoRec* input : d.cls->inputs) {
        SigconRec* outer = subclassInputSignal(d.sub, input->name);
        if (!outer) {
            d.report(formatMessage("no signal connected with input %s of submodel %s.%d:%s.", input->name.c_str(),
                                   d.cls->name.c_str(), d.cls->version, instance_name(d.sub).c_str()));
            continue;
        }
        ConnEnd* source = otherEnd(outer, d.sub);
        if (!source || source->type != END_SOUT || !source->node) {
            d.error("illegal connection (output to input) at io %s of submodel %s%d:%s.", input->name);
            reported.push_back(outer);
            continue;
        }
        auto* sourceSub = static_cast<SubclassRec*>(source->node);
        bool joined = false;
        std::vector<SigconRec*> inners;
        for (SigconRec* s : input->signals)
            inners.push_back(s);
        for (SigconRec* inner : inners) {
            ConnEnd* far = otherEnd(inner, input);
            ConnEnd* at = connectionEndOf(inner, input);
            if (!far || !at)
                continue;
            if (far->type == END_INP) {
                d.error("illegal connection (input to input) at io %s of submodel %s%d:%s.", input->name);
                continue;
            }
            if (far->type != END_SINP) {
                d.error("illegal connection (output to input) at io %s of submodel %s%d:%s.", input->name);
                continue;
            }
            takeEnd(*at, *source);
            sourceSub->s_out.pushFront(inner);
            joined = true;
        }
        input->signals.head = nullptr;
        if (!joined)
            reported.push_back(outer);
        if (joined) {
            d.sub->s_inp.remove(outer);
            sourceSub->s_out.remove(outer);
            SectionList<SigconRec>::unlink(outer);
            register_release(outer);
        }
    }
    for (SigconRec* sig : d.sub->s_inp) {
        if (std::find(reported.begin(), reported.end(), sig) != reported.end())
            continue;
        const ConnEnd* at = connectionEndOf(sig, d.sub);
        d.error("signal connected with io %s, which is not an io of submodel %s%d:%s.", at ? at->name : "");
    }
}

void join_outputs(Dissolution& d)
{
    std::vector<const SigconRec*> reported;
    for (IoRec* output : d.cls->outputs) {
        SigconRec* inner = output->signals.empty() ? nullptr : output->signals.head->item;
        std::vector<SigconRec*> outers;
        for (SigconRec* s : d.sub->s_out) {
            const ConnEnd* at = connectionEndOf(s, d.sub);
            if (at && at->name == output->name)
                outers.push_back(s);
        }
        if (outers.empty())
            continue;
        if (!inner) {
            d.error("no internal signal connected with output %s of submodel %s%d:%s.", output->name);
            reported.insert(reported.end(), outers.begin(), outers.end());
            continue;
        }
        ConnEnd* far = otherEnd(inner, output);
        if (!far || far->type == END_INP || far->type == END_SINP) {
            d.error("illegal connection (input to output) at io %s of submodel %s%d:%s.", output->name);
            reported.insert(reported.end(), outers.begin(), outers.end());
            continue;
        }
        if (far->type == END_OUT) {
            d.error("illegal connection (output to output) at io %s of submodel %s%d:%s.", output->name);
            reported.insert(reported.end(), outers.begin(), outers.end());
            continue;
        }
        if (far->type != END_SOUT || !far->node) {
            reported.insert(reported.end(), outers.begin(), outers.end());
            continue;
        }
        auto* sourceSub = static_cast<SubclassRec*>(far->node);
        for (SigconRec* outer : outers) {
            ConnEnd* at = connectionEndOf(outer, d.sub);
            takeEnd(*at, *far);
            sourceSub->s_out.pushFront(outer);
            d.sub->s_out.remove(outer);
        }
        sourceSub->s_out.remove(inner);
        output->signals.head = nullptr;
        SectionList<SigconRec>::unlink(inner);
        register_release(inner);
    }
    for (SigconRec* sig : d.sub->s_out) {
        if (std::find(reported.begin(), reported.end(), sig) != reported.end())
            continue;
        const ConnEnd* at = connectionEndOf(sig, d.sub);
        d.error("signal connected with io %s, which is not an io of submodel %s%d:%s.", at ? at->name : "");
    }
}

} // namespace

std::string instance_name(const SubclassRec* sub)
{
    std::string name;
    for (auto it = sub->path.rbegin(); it != sub->path.rend(); ++it)
        name += *it + "`";
    return name + sub->name;
}

void dissolveGraphSubmodel(GraphBody* body, SubclassRec* sub, const DissolutionErrorReport& report)
{
    ClassRec* cls = sub->cls;
    Dissolution d{body, sub, cls, cls->graph, report};
    std::vector<std::string> path;
    path.push_back(sub->name);
    path.insert(path.end(), sub->path.begin(), sub->path.end());
    std::vector<SubclassRec*> inners;
    for (SubclassRec* s : d.inner->subclasses) {
        s->path = path;
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
    for (BondRec* bond : sub->bonds)
        if (ConnEnd* at = connectionEndOf(bond, sub))
            *at = ConnEnd{};
    for (PtrList<SigconRec>* list : {&sub->s_inp, &sub->s_out})
        for (SigconRec* sig : *list)
            if (ConnEnd* at = connectionEndOf(sig, sub))
                *at = ConnEnd{};
    sub->bonds.head = nullptr;
    sub->s_inp.head = sub->s_out.head = nullptr;
    sub->cls = nullptr;
    releaseSubclass(sub);
}
