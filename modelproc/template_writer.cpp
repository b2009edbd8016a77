// The template writer: a class written back as Keldor text after expansion (".t1") and
// after causal analysis (".t2", which the graph editor reads back).
#include "modelproc/template_writer.h"

#include "modelproc/display_hooks.h"
#include "modelproc/equation_text.h"
#include "modelproc/expression_walk.h"
#include "modelproc/function_table.h"
#include "platform/core/file_system.h"

#include <algorithm>
#include <vector>

namespace {

constexpr std::size_t kTextLimit = 1023;

const char* typeWord(int type)
{
    static const char* const words[] = {"real", "string", "integer", "boolean", "sampletime"};
    return type >= 1 && type <= 5 ? words[type - 1] : "??";
}

const char* restrictionKindWord(int c_type)
{
    static const char* const words[] = {"fixed", "preferred", "constraint", "indifferent"};
    return c_type >= 1 && c_type <= 4 ? words[c_type - 1] : "??";
}

const char* restrictionValueWord(int value)
{
    static const char* const words[] = {"effort", "flow", "equal", "notequal", "1_effort", "1_flow", "same"};
    return value >= 1 && value <= 7 ? words[value - 1] : "??";
}

/// Expression text in one of the two writing modes, kept below 1024 characters.
class ExpressionText {
public:
    explicit ExpressionText(int mode) : m_mode(mode) {}

    void expression(const ExprNode* node, bool operand)
    {
        writeExpressionText(
            node, operand ? 1 : 0,
            [this](const ExprNode* n, int flag, std::vector<TextPiece>& pieces) { expand(n, flag != 0, pieces); },
            [this](const TextPiece& p) { append(p.text); });
    }

    void indexList(const ExprList& list)
    {
        if (list.empty() || m_mode != 1)
            return;
        append("[");
        bool first = true;
        for (const ExprNode* e : list) {
            if (!first)
                append(",");
            first = false;
            expression(e, false);
        }
        append("]");
    }

    bool failed() const { return m_overflow || m_unknown; }
    const std::string& text() const { return m_text; }

private:
    void append(const std::string& piece)
    {
        if (m_text.size() + piece.size() >= kTextLimit + 1)
            m_overflow = true;
        else
            m_text += piece;
    }

    /// The pieces one node is written as; its operands are expanded in their turn.
    void expand(const ExprNode* node, bool operand, std::vector<TextPiece>& out)
    {
        const auto text = [&out](std::string t) { out.push_back(TextPiece::of(std::move(t))); };
        const auto sub = [&out](const ExprNode* n, bool asOperand) { out.push_back(TextPiece::operand(n, asOperand)); };
        if (!node) {
            m_unknown = true;
            return;
        }
        if (isNameKind(node->kind)) {
            reference(node, out);
            return;
        }
        switch (node->kind) {
        case TK_REAL: text(formatMessage(m_mode == 1 ? "%.15g" : "%.15G", node->realValue())); return;
        case TK_INTEGER: text(std::to_string(node->intValue())); return;
        case TK_BOOLEAN: text(node->intValue() ? "true" : "false"); return;
        case TK_TIME: text("t"); return;
        case TK_FUNCTIONNAME: {
            const FunctionRow* row = functionRow(node->function);
            if (!row) {
                m_unknown = true;
                return;
            }
            text(m_mode == 1 ? row->name : row->codeName);
            const std::string mark = m_mode != 1 && (node->flags & EXPR_MARKED_CALL) ? "!" : "";
            text(mark + "(");
            bool first = true;
            for (const ExprNode* arg : node->args()) {
                if (!first)
                    text(mark + ",");
                first = false;
                sub(arg, false);
            }
            text(mark + ")");
            return;
        }
        case TK_IF:
            text("if");
            sub(node->left(), false);
            text("then ");
            sub(node->right(), false);
            text("else");
            sub(node->extra(), false);
            return;
        default: break;
        }
        const char* op = operatorText(node->kind);
        if (!op) {
            m_unknown = true;
            return;
        }
        if (isUnaryOperator(node->kind)) {
            text(op);
            sub(node->right(), true);
            return;
        }
        if (operand)
            text("(");
        sub(node->left(), true);
        text(op);
        sub(node->right(), true);
        if (operand)
            text(")");
    }

    void reference(const ExprNode* node, std::vector<TextPiece>& out)
    {
        const auto text = [&out](std::string_view t) { out.push_back(TextPiece::of(std::string(t))); };
        if (!node->record()) {
            m_unknown = true;
            return;
        }
        switch (node->kind) {
        case TK_PORTNAME:
            text(static_cast<const PortRec*>(node->record())->name);
            text(std::string(m_mode == 1 ? "" : "!") + (node->selector == TK_SEL_FLOW ? ".f" : ".e"));
            break;
        case TK_INPUTNAME:
        case TK_OUTPUTNAME: text(static_cast<const IoRec*>(node->record())->name); break;
        case TK_CLASSARG: {
            const auto* arg = static_cast<const ArgRec*>(node->record());
            text(arg->hasValue ? std::to_string(arg->value) : arg->name);
            break;
        }
        case TK_SUBCLASSNAME: text(static_cast<const SubclassRec*>(node->record())->name); break;
        default:
            if (isVariableKind(node->kind))
                text(node->var()->name);
            else
                m_unknown = true;
            break;
        }
        if (node->index().empty() || m_mode != 1)
            return;
        text("[");
        bool first = true;
        for (const ExprNode* e : node->index()) {
            if (!first)
                text(",");
            first = false;
            out.push_back(TextPiece::operand(e, false));
        }
        text("]");
    }

    const char* operatorText(int kind) const
    {
        switch (kind) {
        case TK_OR: return "or";
        case TK_AND: return "and";
        case TK_NOT: return "not";
        case TK_EQ: return "==";
        case TK_NE: return "=/=";
        case TK_LT: return "<";
        case TK_LE: return "<=";
        case TK_GT: return ">";
        case TK_GE: return ">=";
        case TK_MIN: return "-";
        case TK_PLUS: return "+";
        case TK_MULT: return "*";
        case TK_DIV: return "/";
        case TK_MOD: return "mod";
        case TK_IDIV: return "div";
        case TK_POW:
        case TK_IPOW: return m_mode == 1 ? "^" : "**";
        case TK_PRF_MIN: return "-";
        case TK_PRF_PLUS: return "+";
        case TK_UPTO: return "..";
        default: return nullptr;
        }
    }

    int m_mode;
    std::string m_text;
    bool m_overflow = false;
    bool m_unknown = false;
};

/// The equations of a template: operators with blanks, names with their index text, and the
/// conditional spread over indented lines.
class TemplateEquations {
public:
    explicit TemplateEquations(std::string& out) : m_out(out) {}

    void equation(const EquationRec* eq)
    {
        m_out += "\t";
        expression(eq->left, false);
        m_out += " = ";
        expression(eq->right, false);
        m_out += "\n";
    }

private:
    /// How an operand is written: plainly, as the operand of an operator, or as the "elseif" of
    /// an enclosing conditional.
    enum OperandFlag : int { kTop = 0, kOperand = 1, kElseif = 2 };

    void expression(const ExprNode* node, bool operand)
    {
        writeExpressionText(
            node, operand ? kOperand : kTop,
            [](const ExprNode* n, int flag, std::vector<TextPiece>& pieces) { expand(n, flag, pieces); },
            [this](const TextPiece& p) { m_out += p.text; });
    }

    static void expand(const ExprNode* node, int flag, std::vector<TextPiece>& out)
    {
        const auto text = [&out](std::string t) { out.push_back(TextPiece::of(std::move(t))); };
        const auto sub = [&out](const ExprNode* n, int f) { out.push_back(TextPiece::operand(n, f)); };
        if (!node) {
            text("<<null>>");
            return;
        }
        if (flag == kElseif) {
            conditional(node, false, out);
            return;
        }
        switch (node->kind) {
        case TK_PORTNAME:
        case TK_INPUTNAME:
        case TK_OUTPUTNAME: text("\n# Ports, inputs or outputs not allowed.\n"); return;
        case TK_SUBCLASSNAME: text("\n# subclassname ??\n"); return;
        case TK_CLASSARG: text("\n# classarg ??\n"); return;
        case TK_CONTROLVAR: text("\n# controlvar ??\n"); return;
        case TK_REAL: text(formatMessage("%.15g", node->realValue())); return;
        case TK_INTEGER: text(std::to_string(node->intValue())); return;
        case TK_BOOLEAN: text(node->intValue() ? "true" : "false"); return;
        case TK_TIME: text("t"); return;
        case TK_FUNCTIONNAME: {
            const FunctionRow* row = functionRow(node->function);
            text(std::string(row ? row->name : "??") + "(");
            bool first = true;
            for (const ExprNode* arg : node->args()) {
                if (!first)
                    text(",");
                first = false;
                sub(arg, kTop);
            }
            text(")");
            return;
        }
        case TK_IF: conditional(node, true, out); return;
        case TK_UPTO:
            sub(node->left(), kTop);
            text("..");
            sub(node->right(), kTop);
            return;
        default: break;
        }
        if (isVariableKind(node->kind)) {
            text((node->var() ? variableFullName(*node->var()) : std::string("NO_NAME")) +
                 indexListText(node->index()));
            return;
        }
        const char* op = equationOperatorText(node->kind);
        if (!op) {
            if (isOperatorKind(node->kind) || node->left() || node->right())
                text(formatMessage("# Wrong opcode (%d), leftexpr: %p, rightexpr: %p\n", node->kind,
                                   static_cast<const void*>(node->left()), static_cast<const void*>(node->right())));
            else
                text(formatMessage("\n# Strange opcode: %d?\n", node->kind));
            return;
        }
        if (isUnaryOperator(node->kind)) {
            text(op);
            sub(node->right(), kOperand);
            return;
        }
        if (flag == kOperand)
            text("(");
        sub(node->left(), kOperand);
        text(op);
        sub(node->right(), kOperand);
        if (flag == kOperand)
            text(")");
    }

    static void conditional(const ExprNode* node, bool outermost, std::vector<TextPiece>& out)
    {
        out.push_back(TextPiece::of(outermost ? "if " : "elseif "));
        out.push_back(TextPiece::operand(node->left(), kTop));
        out.push_back(TextPiece::of("\n\t\tthen "));
        out.push_back(TextPiece::operand(node->right(), kTop));
        out.push_back(TextPiece::of("\n\t\t"));
        if (node->extra() && node->extra()->kind == TK_IF) {
            out.push_back(TextPiece::operand(node->extra(), kElseif));
        } else {
            out.push_back(TextPiece::of("else "));
            out.push_back(TextPiece::operand(node->extra(), kTop));
        }
        if (outermost)
            out.push_back(TextPiece::of("\n\t\tfi"));
    }

    std::string& m_out;
};

/// Index expressions in Keldor text (mode 1), an operand that is itself a binary operation in
/// parentheses; false on a node it does not know.
bool indexExpression(const ExprNode* e, std::string& out)
{
    bool ok = true;
    writeExpressionText(
        e, 0,
        [&ok](const ExprNode* node, int, std::vector<TextPiece>& pieces) {
            if (!ok)
                return;
            if (!node) {
                ok = false;
                return;
            }
            const auto operand = [&pieces](const ExprNode* x) {
                const bool binary = x && x->left() && x->right() && x->kind != TK_UPTO;
                if (binary)
                    pieces.push_back(TextPiece::of("("));
                pieces.push_back(TextPiece::operand(x));
                if (binary)
                    pieces.push_back(TextPiece::of(")"));
            };
            switch (node->kind) {
            case TK_INTEGER: pieces.push_back(TextPiece::of(std::to_string(node->intValue()))); return;
            case TK_CLASSARG: {
                const auto* arg = static_cast<const ArgRec*>(node->record());
                if (!arg) {
                    ok = false;
                    return;
                }
                pieces.push_back(TextPiece::of(arg->hasValue ? std::to_string(arg->value) : arg->name));
                return;
            }
            case TK_PRF_MIN:
            case TK_PRF_PLUS:
                pieces.push_back(TextPiece::of(node->kind == TK_PRF_MIN ? "-" : "+"));
                operand(node->right());
                return;
            case TK_UPTO:
            case TK_PLUS:
            case TK_MIN:
            case TK_MULT:
            case TK_IDIV: {
                const char* sign = node->kind == TK_UPTO  ? ".."
                                   : node->kind == TK_PLUS ? "+"
                                   : node->kind == TK_MIN  ? "-"
                                   : node->kind == TK_MULT ? "*"
                                                           : "div";
                operand(node->left());
                pieces.push_back(TextPiece::of(sign));
                operand(node->right());
                return;
            }
            default: ok = false; return;
            }
        },
        [&ok, &out](const TextPiece& piece) {
            if (ok)
                out += piece.text;
        });
    return ok;
}

/// "[" index expressions joined by "," "]", "??" when one cannot be written or the text is too
/// long; an empty entry is a blank when `blankForEmpty`, else it cannot be written.
std::string indexText(const ExprList& list, bool blankForEmpty)
{
    if (list.empty())
        return "";
    std::string text = "[";
    bool first = true;
    for (const ExprNode* e : list) {
        if (!first)
            text += ",";
        first = false;
        if (!e && blankForEmpty)
            text += " ";
        else if (!indexExpression(e, text) || text.size() > kTextLimit)
            return "??";
    }
    text += "]";
    return text.size() > kTextLimit ? "??" : text;
}

std::string instanceText(const SubclassRec* sub)
{
    std::string text;
    appendSubclassPath(text, sub, '\'');
    return text + sub->name;
}

std::string endText(const ConnEnd& end)
{
    switch (end.type) {
    case END_SUB:
    case END_SINP:
    case END_SOUT:
        return instanceText(static_cast<const SubclassRec*>(end.node)) + indexListText(end.nodeindex) + "`" + end.name +
               indexListText(end.index);
    case END_POR: return static_cast<const PortRec*>(end.node)->name + indexListText(end.index);
    case END_INP:
    case END_OUT: return static_cast<const IoRec*>(end.node)->name + indexListText(end.index);
    default: return " ??";
    }
}

/// "=" indices "=" for a connection with a dimension, else `plain`.
std::string lineText(const ConnectionRec* conn, const char* plain)
{
    if (conn->dim.empty())
        return plain;
    std::string index = indexListText(conn->dim);
    if (index.size() >= 2 && index.front() == '[')
        index = index.substr(1, index.size() - 2);
    return "=" + index + "=";
}

void writeBond(const BondRec* bond, std::string& out)
{
    // The causal stroke sits at the end that receives the effort.
    const int caus = bond->caus;
    const bool strokeAt0 = caus == CAUS_FCY || caus == CAUS_USER_F;
    const bool strokeAt1 = caus == CAUS_ECY || caus == CAUS_USER_E;
    const bool portLine = bond->con[0].type == END_POR || bond->con[1].type == END_POR;
    std::string sign;
    if (strokeAt0)
        sign += "|";
    if (bond->dir == 2)
        sign += "<";
    sign += lineText(bond, portLine ? "--" : "-");
    if (bond->dir == 1)
        sign += ">";
    if (strokeAt1)
        sign += "|";
    out += "\t" + endText(bond->con[0]) + " " + sign + "\t" + endText(bond->con[1]) + "\n";
}

void writeSignal(const SigconRec* sig, std::string& out)
{
    std::string line = lineText(sig, "-");
    const bool outputAt0 = sig->dir == 1;
    std::string sign = outputAt0 ? line + ":" : ":" + line;
    out += "\t" + endText(sig->con[0]) + " " + sign + "\t" + endText(sig->con[1]) + "\n";
}

void writeInterface(const ClassRec* cls, std::string& out)
{
    if (cls->ports.empty() && cls->inputs.empty() && cls->outputs.empty())
        return;
    out += "interface\n";
    if (!cls->ports.empty()) {
        out += "\tports:\t";
        bool first = true;
        bool restricted = false;
        for (const PortRec* port : cls->ports) {
            out += (first ? "" : ", ") + port->name + indexListText(port->dim);
            first = false;
            restricted = restricted || port->c_type != 4;
        }
        out += "\n";
        if (restricted) {
            out += "causality restrictions";
            const PortRec* previous = nullptr;
            for (const PortRec* port : cls->ports) {
                if (port->c_type == 4)
                    continue;
                if (previous && previous->c_type == port->c_type && previous->c_val == port->c_val)
                    out += ", " + port->name;
                else
                    out += "\n\t" + formatMessage("%-12s%-8s%s", restrictionKindWord(port->c_type),
                                                  restrictionValueWord(port->c_val), port->name.c_str());
                previous = port;
            }
            out += "\n";
        }
    }
    for (int which = 0; which < 2; ++which) {
        const SectionList<IoRec>& ios = which == 0 ? cls->inputs : cls->outputs;
        if (ios.empty())
            continue;
        out += which == 0 ? "\tinputs:\n\t" : "\toutputs:\n\t";
        int type = -1;
        for (const IoRec* io : ios) {
            if (type == -1)
                out += std::string(typeWord(io->type)) + " ";
            else if (io->type == type)
                out += ", ";
            else
                out += std::string("\n\t") + typeWord(io->type) + " ";
            out += io->name + indexListText(io->dim);
            type = io->type;
        }
        out += "\n";
    }
}

void writeDeclarations(const ClassRec* cls, std::string& out)
{
    const EquationBody* body = cls->equations;
    const struct {
        const char* title;
        const SectionList<VarRec>* list;
    } groups[] = {
        {"parameters", &cls->parameters},      {"initial conditions", &cls->initconds},
        {"variables", &cls->variables},        {"constants", &cls->constants},
        {"independent states", &body->indep_states}, {"independent rates", &body->indep_rates},
        {"dependent states", &body->dep_states},     {"dependent rates", &body->dep_rates},
        {"algebraic loop inputs", &body->algloop_in}, {"algebraic loop outputs", &body->algloop_out},
    };
    for (const auto& group : groups) {
        if (group.list->empty())
            continue;
        out += group.title;
        int type = -1;
        std::size_t column = 0;
        for (const VarRec* var : *group.list) {
            std::string name = variableFullName(*var);
            std::string index = indexListText(var->dim);
            std::size_t width = name.size() + (index.empty() ? 2 : index.size());
            if (var->at == type && column + width + 2 < 77) {
                out += ", ";
                column += 2;
            } else {
                std::string start = std::string("\n\t") + typeWord(var->at) + " ";
                out += start;
                column = 8 + start.size() - 2;
            }
            out += name + index;
            column += name.size() + index.size();
            type = var->at;
        }
        out += "\n";
    }
    out += "equations\n";
    for (int number = 1;; ++number) {
        const EquationRec* found = nullptr;
        for (const EquationRec* eq : body->equations)
            if (eq->sort_no == number)
                found = eq;
        if (!found)
            break;
        TemplateEquations(out).equation(found);
    }
}

void writeGraph(const ClassRec* cls, std::string& out)
{
    out += "subclasses";
    for (const SubmodelType* type : cls->graph->types) {
        if (type->users.empty())
            continue;
        out += "\n\t" + type->t_name + ";" + std::to_string(type->t_vers) + "\t";
        std::vector<const SubclassRec*> users;
        for (const SubclassRec* user : type->users)
            users.push_back(user);
        std::reverse(users.begin(), users.end());
        bool first = true;
        for (const SubclassRec* user : users) {
            out += (first ? "" : ", ") + instanceText(user);
            first = false;
            if (!user->args.empty()) {
                out += "(";
                bool firstArg = true;
                for (const ExprNode* arg : user->args) {
                    if (!firstArg)
                        out += ",";
                    firstArg = false;
                    std::string text;
                    if (indexExpression(arg, text))
                        out += text;
                }
                out += ")";
            }
            out += indexText(user->dim, true);
        }
    }
    out += "\nconnections\n";
    for (const BondRec* bond : cls->graph->bonds)
        writeBond(bond, out);
    for (const SigconRec* sig : cls->graph->sigcons)
        writeSignal(sig, out);
}

} // namespace

std::string expressionText(const ExprNode* node, int mode)
{
    ExpressionText text(mode);
    text.expression(node, false);
    return text.text();
}

std::string indexListText(const ExprList& list, int mode)
{
    ExpressionText text(mode);
    text.indexList(list);
    return text.failed() ? "??" : text.text();
}

std::string indexListText(const ExprList& list)
{
    return indexText(list, false);
}

std::string templateText(const ClassRec* cls)
{
    std::string out = cls->type == CLASS_TOP ? "bond graph " : "class ";
    out += cls->name;
    if (!cls->argsub && !cls->args.empty()) {
        out += "(";
        bool first = true;
        for (const ArgRec* arg : cls->args) {
            out += (first ? "" : ",") + arg->name;
            first = false;
        }
        out += ")";
    }
    out += " version " + std::to_string(cls->version) + "\n";
    writeInterface(cls, out);
    if (cls->type == CLASS_DYN && cls->equations)
        writeDeclarations(cls, out);
    else if (cls->type == CLASS_TOP && cls->graph)
        writeGraph(cls, out);
    return out;
}

int ttwrite_template(ClassRec* cls, const std::string& file, const std::string& directory)
{
    const std::string path = platform::joinPath(directory, file);
    int error = 0;
    if (!platform::writeFileAtomically(path, templateText(cls), &error)) {
        DisplayHooks().diag(("Error opening file for writing: " + path).c_str());
        return 0;
    }
    return 1;
}
