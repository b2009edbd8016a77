// A deterministic text dump of a class record, for tests and diagnostics.
#include "modelproc/record_dump.h"

#include "modelproc/expression_walk.h"
#include "modelproc/function_table.h"
#include "modelproc/model_records.h"

#include <cstdio>

namespace {

const char* operatorText(int kind)
{
    switch (kind) {
    case TK_OR: return "or";
    case TK_AND: return "and";
    case TK_NOT: return "not";
    case TK_EQ: return "==";
    case TK_NE: return "<>";
    case TK_LT: return "<";
    case TK_LE: return "<=";
    case TK_GT: return ">";
    case TK_GE: return ">=";
    case TK_MIN: return "-";
    case TK_PLUS: return "+";
    case TK_MULT: return "*";
    case TK_DIV: return "/";
    case TK_IDIV: return "div";
    case TK_MOD: return "mod";
    case TK_POW: return "^";
    case TK_IPOW: return "^i";
    case TK_PRF_MIN: return "-";
    case TK_PRF_PLUS: return "+";
    case TK_UPTO: return "..";
    default: return "?";
    }
}

std::string recordName(const ExprNode* e)
{
    const SectionLink* r = e->record();
    if (!r)
        return "<none>";
    switch (e->kind) {
    case TK_PORTNAME: return static_cast<const PortRec*>(r)->name.str();
    case TK_INPUTNAME:
    case TK_OUTPUTNAME: return static_cast<const IoRec*>(r)->name.str();
    case TK_SUBCLASSNAME: return static_cast<const SubclassRec*>(r)->name.str();
    case TK_CLASSARG: return static_cast<const ArgRec*>(r)->name;
    default: return static_cast<const VarRec*>(r)->name.str();
    }
}

std::string list(const ExprList& l)
{
    std::string out;
    for (PtrNode<ExprNode>* p = l.head; p; p = p->next) {
        if (p != l.head)
            out += ", ";
        out += dumpExpression(p->item);
    }
    return out;
}

std::string bracketed(const ExprList& l)
{
    return l.empty() ? std::string() : "[" + list(l) + "]";
}

std::string endText(const ConnEnd& end)
{
    static const char* types[] = {"EMPTY", "SUB", "POR", "INP", "OUT", "SINP", "SOUT"};
    std::string out = end.type >= 0 && end.type <= 6 ? types[end.type] : "?";
    out += ' ';
    if (!end.node) {
        out += "<none>";
        return out;
    }
    switch (end.type) {
    case END_SUB:
    case END_SINP:
    case END_SOUT:
        out += static_cast<const SubclassRec*>(end.node)->name + bracketed(end.nodeindex) + "`" + end.name;
        break;
    case END_POR: out += static_cast<const PortRec*>(end.node)->name; break;
    default: out += static_cast<const IoRec*>(end.node)->name; break;
    }
    return out + bracketed(end.index);
}

void dumpVariables(std::string& out, const char* label, const SectionList<VarRec>& vars)
{
    for (const VarRec* v : vars)
        out += std::string(label) + " " + v->name + bracketed(v->dim) + " type " + std::to_string(v->at) + "\n";
}

} // namespace

namespace {

/// Appends the pieces of a list of expressions joined by ", ".
void listPieces(const ExprList& l, std::vector<TextPiece>& pieces)
{
    for (PtrNode<ExprNode>* p = l.head; p; p = p->next) {
        if (p != l.head)
            pieces.push_back(TextPiece::of(", "));
        pieces.push_back(TextPiece::operand(p->item));
    }
}

void dumpPieces(const ExprNode* e, std::vector<TextPiece>& pieces)
{
    if (!e) {
        pieces.push_back(TextPiece::of("<null>"));
        return;
    }
    const int kind = e->kind;
    if (isNameKind(kind)) {
        pieces.push_back(TextPiece::of(recordName(e)));
        if (!e->index().empty()) {
            pieces.push_back(TextPiece::of("["));
            listPieces(e->index(), pieces);
            pieces.push_back(TextPiece::of("]"));
        }
        if (e->selector == TK_SEL_EFFORT)
            pieces.push_back(TextPiece::of(".e"));
        else if (e->selector == TK_SEL_FLOW)
            pieces.push_back(TextPiece::of(".f"));
        return;
    }
    switch (kind) {
    case TK_TIME: pieces.push_back(TextPiece::of("t")); return;
    case TK_INTEGER: pieces.push_back(TextPiece::of(std::to_string(e->intValue()))); return;
    case TK_BOOLEAN: pieces.push_back(TextPiece::of(e->intValue() ? "true" : "false")); return;
    case TK_REAL: {
        char buffer[64];
        std::snprintf(buffer, sizeof buffer, "%.17g", e->realValue());
        pieces.push_back(TextPiece::of(std::string(buffer) + "r"));
        return;
    }
    case TK_FUNCTIONNAME: {
        const FunctionRow* row = functionRow(e->function);
        pieces.push_back(TextPiece::of(std::string(row ? row->name : "?") + "("));
        listPieces(e->args(), pieces);
        pieces.push_back(TextPiece::of(")"));
        return;
    }
    case TK_IF:
        pieces.push_back(TextPiece::of("(if "));
        pieces.push_back(TextPiece::operand(e->left()));
        pieces.push_back(TextPiece::of(" then "));
        pieces.push_back(TextPiece::operand(e->right()));
        pieces.push_back(TextPiece::of(" else "));
        pieces.push_back(TextPiece::operand(e->extra()));
        pieces.push_back(TextPiece::of(")"));
        return;
    default: break;
    }
    if (isUnaryOperator(kind)) {
        pieces.push_back(TextPiece::of(std::string("(") + operatorText(kind) + " "));
    } else {
        pieces.push_back(TextPiece::of("("));
        pieces.push_back(TextPiece::operand(e->left()));
        pieces.push_back(TextPiece::of(std::string(" ") + operatorText(kind) + " "));
    }
    pieces.push_back(TextPiece::operand(e->right()));
    pieces.push_back(TextPiece::of(")"));
}

} // namespace

std::string dumpExpression(const ExprNode* e)
{
    std::string out;
    writeExpressionText(
        e, 0, [](const ExprNode* node, int, std::vector<TextPiece>& pieces) { dumpPieces(node, pieces); },
        [&out](const TextPiece& piece) { out += piece.text; });
    return out;
}
std::string dumpClass(const ClassRec* cls)
{
    if (!cls)
        return "<no class>\n";
    std::string out = "class " + cls->name + " version " + std::to_string(cls->version) + " type " +
                      classTypeText(cls->type) + " argnum " + std::to_string(cls->argnum) + "\n";
    for (const ArgRec* a : cls->args)
        out += "argument " + a->name + (a->hasValue ? " = " + std::to_string(a->value) : std::string()) + "\n";
    for (const ExprNode* c : cls->conds)
        out += "condition " + dumpExpression(c) + "\n";
    for (const PortRec* p : cls->ports) {
        out += "port " + p->name + bracketed(p->dim) + " c_type " + std::to_string(p->c_type) + " c_val " +
               std::to_string(p->c_val);
        for (PtrNode<PortRec>* r = p->relports.head; r; r = r->next)
            out += " rel " + r->item->name + ":" + std::to_string(r->relation);
        out += "\n";
    }
    for (const IoRec* io : cls->inputs)
        out += "input " + io->name + bracketed(io->dim) + " type " + std::to_string(io->type) + "\n";
    for (const IoRec* io : cls->outputs)
        out += "output " + io->name + bracketed(io->dim) + " type " + std::to_string(io->type) + "\n";
    dumpVariables(out, "parameter", cls->parameters);
    dumpVariables(out, "initial", cls->initconds);
    dumpVariables(out, "constant", cls->constants);
    dumpVariables(out, "variable", cls->variables);
    if (cls->type == CLASS_TOP && cls->graph) {
        for (const SubmodelType* t : cls->graph->types) {
            out += "type " + t->t_name + ";" + std::to_string(t->t_vers) + " users";
            for (const SubclassRec* user : t->users)
                out += " " + user->name;
            out += "\n";
        }
        for (const SubclassRec* s : cls->graph->subclasses) {
            out += "subclass " + s->name + bracketed(s->dim) + " of " +
                   (s->type ? s->type->t_name + ";" + std::to_string(s->type->t_vers) : std::string("<none>"));
            if (!s->args.empty())
                out += " (" + list(s->args) + ")";
            out += " bonds " + std::to_string(bondsAt(s).count()) + " in " + std::to_string(inputSignalsAt(s).count()) +
                   " out " + std::to_string(outputSignalsAt(s).count()) + "\n";
        }
        for (const BondRec* b : cls->graph->bonds)
            out += "bond " + endText(b->con[0]) + " | " + endText(b->con[1]) + " dim " + bracketed(b->dim) +
                   " caus " + std::to_string(b->caus) + " dir " + std::to_string(b->dir) + "\n";
        for (const SigconRec* s : cls->graph->sigcons)
            out += "signal " + endText(s->con[0]) + " | " + endText(s->con[1]) + " dim " + bracketed(s->dim) +
                   " dir " + std::to_string(s->dir) + "\n";
    }
    if (cls->type == CLASS_DYN && cls->equations) {
        for (const EquationRec* eq : cls->equations->equations) {
            out += std::string(eq->fixed ? "equation := " : "equation = ") + dumpExpression(eq->left) + " = " +
                   dumpExpression(eq->right) + " uses";
            for (const ExprNode* n = eq->variables; n; n = n->extra())
                out += " " + (n->kind == TK_TIME ? std::string("t") : recordName(n));
            out += "\n";
        }
    }
    return out;
}
