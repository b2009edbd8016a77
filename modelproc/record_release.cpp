// Release of model records and the registry that counts the blocks handed back during a run.
#include "modelproc/record_release.h"

#include "modelproc/expression_walk.h"

#include <cstddef>

namespace {

/// Blocks handed back during the run. The arena owns them and frees them all at once at the end of
/// the run, so only their number is kept: a list of millions of addresses would cost as much
/// memory and time as the blocks themselves.
std::size_t& releasedBlocks()
{
    static std::size_t count = 0;
    return count;
}

} // namespace

void register_release(const void* block)
{
    if (block)
        ++releasedBlocks();
}

std::size_t registeredReleaseCount()
{
    return releasedBlocks();
}

std::size_t release_all()
{
    const std::size_t count = releasedBlocks();
    releasedBlocks() = 0;
    BondArena().clear();
    GraphArena().clear();
    ProcessingArena().clear();
    return count;
}

void releaseGraphRecords()
{
    BondArena().clear();
    GraphArena().clear();
}

bool releaseBondRecords(ClassRec* top)
{
    GraphBody* body = top ? top->graph : nullptr;
    if (!body)
        return false;
    for (const SubmodelType* type : body->types)
        if (type->cls && type->cls->type == CLASS_TOP && !type->users.empty())
            return false;
    // A graph submodel type keeps the bonds of its own body.
    for (SubmodelType* type = body->types.first(); type;) {
        SubmodelType* next = SectionList<SubmodelType>::after(type);
        if (type->cls && type->cls->type == CLASS_TOP)
            releaseSubmodelType(type);
        type = next;
    }
    // The subclasses keep their signal ends, in their order.
    for (SubclassRec* sub : body->subclasses) {
        EndRef* link = &sub->ends;
        for (EndRef at = sub->ends; at;) {
            const EndRef next = at.connection()->nextAtSub[at.side()];
            if (at.end().type == END_SINP || at.end().type == END_SOUT) {
                *link = at;
                link = &at.connection()->nextAtSub[at.side()];
            }
            at = next;
        }
        *link = EndRef();
    }
    body->bonds.forget();
    BondArena().clear();
    return true;
}

void releaseExpressionList(ExprList& list)
{
    for (PtrNode<ExprNode>* p = list.head; p;) {
        PtrNode<ExprNode>* next = p->next;
        releaseExpression(p->item);
        register_release(p);
        p = next;
    }
    list.head = nullptr;
}

void releaseExpression(ExprNode* node)
{
    // Every node is handed over after its operands, without recursion: trees may be very deep.
    forEachNodeAfterOperands(node, [](ExprNode* n) {
        ExprList* list = isNameKind(n->kind) ? &n->mutableIndex()
                         : n->kind == TK_FUNCTIONNAME ? &n->mutableArgs()
                                                      : nullptr;
        if (list) {
            for (PtrNode<ExprNode>* p = list->head; p;) {
                PtrNode<ExprNode>* next = p->next;
                register_release(p);
                p = next;
            }
            list->head = nullptr;
        }
        if (hasOperands(n->kind)) {
            n->setLeft(nullptr);
            n->setRight(nullptr);
        }
        if (hasExtra(n->kind))
            n->setExtra(nullptr);
        register_release(n);
    });
}
namespace {

template <class T>
void releaseNodes(PtrList<T>& list)
{
    for (PtrNode<T>* p = list.head; p;) {
        PtrNode<T>* next = p->next;
        register_release(p);
        p = next;
    }
    list.head = nullptr;
}

void releaseVariables(SectionList<VarRec>& list)
{
    while (VarRec* var = list.first())
        releaseVariable(var);
}

} // namespace

void releaseVariable(VarRec* var)
{
    if (!var)
        return;
    SectionList<VarRec>::unlink(var);
    releaseExpressionList(var->dim);
    register_release(var);
}

void releaseEquation(EquationRec* eq)
{
    if (!eq)
        return;
    SectionList<EquationRec>::unlink(eq);
    releaseExpression(eq->left);
    releaseExpression(eq->right);
    eq->left = eq->right = nullptr;
    eq->variables = nullptr;
    register_release(eq);
}

void releaseConnectionEnd(ConnectionRec* conn, const SectionLink* node)
{
    int i = whichEnd(conn, node);
    if (i < 0)
        return;
    ConnEnd& end = conn->con[i];
    releaseExpressionList(end.nodeindex);
    releaseExpressionList(end.index);
    end = ConnEnd{};
    if (conn->con[1 - i].type == END_EMPTY && conn->con[1 - i].node == nullptr) {
        SectionList<ConnectionRec>::unlink(conn);
        releaseExpressionList(conn->dim);
        register_release(conn);
    }
}

void releaseSubclass(SubclassRec* sub)
{
    if (!sub)
        return;
    SectionList<SubclassRec>::unlink(sub);
    releaseExpressionList(sub->dim);
    releaseExpressionList(sub->args);
    // Each end listed at the subclass clears one end there; a connection goes with its last end.
    for (EndRef at : EndsAt(sub))
        releaseConnectionEnd(at.connection(), sub);
    sub->ends = EndRef();
    if (sub->cls) {
        if (!sharesTypeClass(sub))
            ttfree_class(sub->cls);
        sub->cls = nullptr;
    }
    if (sub->type)
        sub->type->users.remove(sub);
    sub->type = nullptr;
    register_release(sub);
}

void releaseSubmodelType(SubmodelType* type)
{
    if (!type)
        return;
    SectionList<SubmodelType>::unlink(type);
    for (SubclassRec* user : type->users)
        user->type = nullptr;
    type->users.clear();
    if (type->cls) {
        ttfree_class(type->cls);
        type->cls = nullptr;
    }
    register_release(type);
}

void ttfree_class(ClassRec* cls)
{
    if (!cls)
        return;
    while (ArgRec* arg = cls->args.first()) {
        SectionList<ArgRec>::unlink(arg);
        register_release(arg);
    }
    while (PortRec* port = cls->ports.first()) {
        SectionList<PortRec>::unlink(port);
        releaseExpressionList(port->dim);
        if (port->bond)
            releaseConnectionEnd(port->bond, port);
        port->bond = nullptr;
        releaseNodes(port->relports);
        register_release(port);
    }
    for (SectionList<IoRec>* ios : {&cls->inputs, &cls->outputs})
        while (IoRec* io = ios->first()) {
            SectionList<IoRec>::unlink(io);
            releaseExpressionList(io->dim);
            for (SigconRec* sig : io->signals)
                releaseConnectionEnd(sig, io);
            releaseNodes(io->signals);
            releaseNodes(io->connected);
            register_release(io);
        }
    if (cls->graph) {
        GraphBody* body = cls->graph;
        while (SubclassRec* sub = body->subclasses.first())
            releaseSubclass(sub);
        while (BondRec* bond = body->bonds.first()) {
            SectionList<BondRec>::unlink(bond);
            register_release(bond);
        }
        while (SigconRec* sig = body->sigcons.first()) {
            SectionList<SigconRec>::unlink(sig);
            register_release(sig);
        }
        while (SubmodelType* type = body->types.first())
            releaseSubmodelType(type);
        register_release(body);
        cls->graph = nullptr;
    }
    if (cls->equations) {
        EquationBody* body = cls->equations;
        for (int s = BODY_INDEP_STATES; s <= BODY_ALGLOOP_OUT; ++s)
            releaseVariables(body->section(static_cast<BodySection>(s)));
        while (EquationRec* eq = body->equations.first())
            releaseEquation(eq);
        register_release(body);
        cls->equations = nullptr;
    }
    for (int s = CLASS_PARAMETERS; s <= CLASS_CONSTANTS; ++s)
        releaseVariables(cls->section(static_cast<ClassSection>(s)));
    releaseNodes(cls->conds);
    register_release(cls);
}
