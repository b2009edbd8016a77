// Deep copy of a class description: every section and the body are copied and every
// internal reference (declarations, bond ends, related ports, parents) re-pointed.
#include "modelproc/class_copy.h"

#include "modelproc/expression_walk.h"

namespace {

template <class T>
T* lookupOr(const AddressMap& map, const T* old)
{
    T* copy = map.lookup(old);
    return copy ? copy : const_cast<T*>(old);
}

/// Copies a list of variables into the records `makeCopy` adds, entering each in the map.
template <class MakeCopy>
bool copyVariableList(const SectionList<VarRec>& from, MakeCopy makeCopy, AddressMap& map)
{
    for (const VarRec* v : from) {
        VarRec* copy = makeCopy();
        if (!copy)
            return false;
        map.enter(v, copy);
        copy->name = v->name;
        copy->aliases = v->aliases;
        if (!copyExpressionList(v->dim, copy->dim, map))
            return false;
        copy->at = v->at;
    }
    return true;
}

bool copyVariables(const SectionList<VarRec>& from, ClassRec* cls, ClassSection which, AddressMap& map)
{
    return copyVariableList(from, [&] { return newClassVariable(cls, which); }, map);
}

bool copyBodyVariables(const SectionList<VarRec>& from, EquationBody* body, BodySection which, AddressMap& map)
{
    return copyVariableList(from, [&] { return newBodyVariable(body, which); }, map);
}

bool copyEnd(const ConnEnd& from, ConnEnd& to, AddressMap& map)
{
    to.type = from.type;
    to.node = lookupOr(map, from.node);
    to.name = from.name;
    return copyExpressionList(from.nodeindex, to.nodeindex, map) && copyExpressionList(from.index, to.index, map);
}

bool copyConnection(const ConnectionRec* from, ConnectionRec* to, AddressMap& map)
{
    map.enter(from, to);
    for (int i = 0; i < 2; ++i)
        if (!copyEnd(from->con[i], to->con[i], map))
            return false;
    to->caus = from->caus;
    to->dir = from->dir;
    to->group = from->group;
    return copyExpressionList(from->dim, to->dim, map);
}

bool copyGraph(const GraphBody* from, ClassRec* cls, AddressMap& map)
{
    GraphBody* body = newGraphBody(cls);
    if (!body)
        return false;
    for (const SubmodelType* t : from->types) {
        SubmodelType* copy = newSubmodelType(body);
        if (!copy)
            return false;
        map.enter(t, copy);
        copy->t_name = t->t_name;
        copy->t_vers = t->t_vers;
    }
    for (const SubclassRec* s : from->subclasses) {
        SubclassRec* copy = newSubclass(body);
        if (!copy)
            return false;
        map.enter(s, copy);
        copy->name = s->name;
        copy->within = s->within;
        if (!copyExpressionList(s->args, copy->args, map) || !copyExpressionList(s->dim, copy->dim, map))
            return false;
        copy->type = map.lookup(s->type);
        // The copied types get their users again, newest first as in the original.
        if (copy->type)
            copy->type->users.pushFront(copy);
    }
    for (const BondRec* b : from->bonds) {
        BondRec* copy = newBond(body);
        if (!copy || !copyConnection(b, copy, map))
            return false;
        for (int side = 0; side < 2; ++side) {
            const ConnEnd& end = copy->con[side];
            if (end.type == END_SUB)
                linkEndAt(static_cast<SubclassRec*>(end.node), copy, side);
            else if (end.type == END_POR)
                static_cast<PortRec*>(end.node)->bond = copy;
        }
    }
    for (const SigconRec* s : from->sigcons) {
        SigconRec* copy = newSigcon(body);
        if (!copy || !copyConnection(s, copy, map))
            return false;
        for (int side = 0; side < 2; ++side) {
            const ConnEnd& end = copy->con[side];
            if (end.type == END_SINP || end.type == END_SOUT)
                linkEndAt(static_cast<SubclassRec*>(end.node), copy, side);
            else if ((end.type == END_INP || end.type == END_OUT) &&
                     !static_cast<IoRec*>(end.node)->signals.pushFront(copy))
                return false;
        }
    }
    return true;
}

bool copyEquations(const EquationBody* from, ClassRec* cls, AddressMap& map, RecordArena& shellArena)
{
    EquationBody* body = newEquationBody(cls, shellArena);
    if (!body)
        return false;
    for (const EquationRec* e : from->equations) {
        EquationRec* copy = newEquation(body);
        if (!copy)
            return false;
        map.enter(e, copy);
        copy->left = copyExpression(e->left, map);
        copy->right = copyExpression(e->right, map);
        if ((e->left && !copy->left) || (e->right && !copy->right))
            return false;
        copy->sort_no = e->sort_no;
        copy->reshaped = e->reshaped;
        copy->fixed = e->fixed;
        copy->blockstart = e->blockstart;
        takePlace(copy, e);
        rebuildVariableChain(copy);
    }
    return copyBodyVariables(from->indep_states, body, BODY_INDEP_STATES, map) &&
           copyBodyVariables(from->indep_rates, body, BODY_INDEP_RATES, map);
}

bool copySections(const ClassRec* old, ClassRec* cls, AddressMap& map, bool ownPorts)
{
    for (const ArgRec* a : old->args) {
        ArgRec* copy = newArgument(cls);
        if (!copy)
            return false;
        map.enter(a, copy);
        copy->name = a->name;
        copy->value = a->value;
        copy->hasValue = a->hasValue;
    }
    // Without ports of its own, the copy's references go to the old class's ports.
    static const SectionList<PortRec> noPorts;
    const SectionList<PortRec>& ports = ownPorts ? old->ports : noPorts;
    for (const PortRec* p : ports) {
        PortRec* copy = newPort(cls);
        if (!copy)
            return false;
        map.enter(p, copy);
        copy->name = p->name;
        copy->c_type = p->c_type;
        copy->c_val = p->c_val;
        copy->orientation = p->orientation;
        if (!copyExpressionList(p->dim, copy->dim, map))
            return false;
    }
    for (const PortRec* p : ports) {
        PortRec* copy = map.lookup(p);
        for (PtrNode<PortRec>* r = p->relports.head; r; r = r->next)
            if (!copy->relports.appendPair(lookupOr(map, r->item), r->relation))
                return false;
    }
    for (int which = 0; which < 2; ++which) {
        const SectionList<IoRec>& from = which == 0 ? old->inputs : old->outputs;
        for (const IoRec* io : from) {
            IoRec* copy = which == 0 ? newInput(cls) : newOutput(cls);
            if (!copy)
                return false;
            map.enter(io, copy);
            copy->name = io->name;
            copy->type = io->type;
            if (!copyExpressionList(io->dim, copy->dim, map))
                return false;
        }
    }
    if (!copyVariables(old->parameters, cls, CLASS_PARAMETERS, map) ||
        !copyVariables(old->initconds, cls, CLASS_INITCONDS, map) ||
        !copyVariables(old->variables, cls, CLASS_VARIABLES, map) ||
        !copyVariables(old->constants, cls, CLASS_CONSTANTS, map))
        return false;
    return true;
}

} // namespace

ExprNode* copyExpression(const ExprNode* expr, AddressMap& map)
{
    if (!expr)
        return nullptr;
    return copyTree(expr, [&map](const ExprNode* from) -> ExprNode* {
        ExprNode* copy = newNodeLike(from);
        if (!copy)
            return nullptr;
        if (isNameKind(from->kind))
            copy->setRecord(lookupOr(map, from->record()));
        map.enter(from, copy);
        return copy;
    });
}
bool copyExpressionList(const ExprList& from, ExprList& to, AddressMap& map)
{
    to.head = nullptr;
    for (PtrNode<ExprNode>* p = from.head; p; p = p->next) {
        ExprNode* copy = copyExpression(p->item, map);
        if ((p->item && !copy) || !to.append(copy, p->relation))
            return false;
    }
    return true;
}

ClassRec* copyClass(const ClassRec* old)
{
    return copyClass(old, GraphArena(), true);
}

ClassRec* copyClass(const ClassRec* old, RecordArena& shellArena, bool ownPorts)
{
    if (!old)
        return nullptr;
    // One map serves every copy, so that its room is had once.
    thread_local AddressMap map;
    map.clear();
    ClassRec* cls = newInstanceClass(shellArena);
    if (!cls)
        return nullptr;
    cls->sharesPorts = !ownPorts;
    map.enter(old, cls);
    cls->name = old->name;
    cls->version = old->version;
    cls->argnum = old->argnum;
    cls->argsub = old->argsub;
    cls->expand = old->expand;
    cls->causal = old->causal;
    if (!copySections(old, cls, map, ownPorts))
        return nullptr;
    if (old->type == CLASS_TOP && old->graph) {
        if (!copyGraph(old->graph, cls, map))
            return nullptr;
    } else if (old->type == CLASS_DYN && old->equations) {
        if (!copyEquations(old->equations, cls, map, shellArena))
            return nullptr;
    }
    cls->type = old->type;
    if (!copyExpressionList(old->conds, cls->conds, map))
        return nullptr;
    return cls;
}

bool copyTypeClassFor(SubclassRec* sub, RecordArena& shellArena)
{
    // The class has literal sizes only and the instance neither arguments nor an array (see
    // `sharesTypeClass`): expansion would leave the copy as it is made.
    ClassRec* copy = copyClass(sub->cls, shellArena, false);
    if (!copy)
        return false;
    sub->cls = copy;
    return true;
}
