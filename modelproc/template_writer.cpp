// The template writer: a class written back as Keldor text after expansion (".t1") and
// after causal analysis (".t2", which the graph editor reads back).
#include "modelproc/template_writer.h"

#include "modelproc/display_hooks.h"
#include "modelproc/equation_text.h"
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
        if (!node) {
            m_unknown = true;
            return;
        }
        if (isNameKind(node->kind)) {
            reference(node);
            return;
        }
        switch (node->kind) {
        case TK_REAL: append(formatMessage(m_mode == 1 ? "%.15g" : "%.15G", node->realValue)); return;
        case TK_INTEGER: append(std::to_string(node->intValue)); return;
        case TK_BOOLEAN: append(node->intValue ? "true" : "false"); return;
        case TK_TIME: append("t"); return;
        case TK_FUNCTIONNAME: call(node); return;
        case TK_IF:
            append("if");
            expression(node->left, false);
            append("then ");
            expression(node->right, false);
            append("else");
            expression(node->extra, false);
            return;
        default: break;
        }
        const char* text = operatorText(node->kind);
        if (!text) {
            m_unknown = true;
            return;
        }
        if (isUnaryOperator(node->kind)) {
            append(text);
            expression(node->right, true);
            return;
        }
        if (operand)
            append("(");
        expression(node->left, true);
        append(text);
        expression(node->right, true);
        if (operand)
            append(")");
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

    void reference(const ExprNode* node)
    {
        if (!node->record) {
            m_unknown = true;
            return;
        }
        switch (node->kind) {
        case TK_PORTNAME:
            append(static_cast<const PortRec*>(node->record)->name);
            append(std::string(m_mode == 1 ? "" : "!") + (node->selector == TK_SEL_FLOW ? ".f" : ".e"));
            break;
        case TK_INPUTNAME:
        case TK_OUTPUTNAME: append(static_cast<const IoRec*>(node->record)->name); break;
        case TK_CLASSARG: {
            const auto* arg = static_cast<const ArgRec*>(node->record);
            append(arg->hasValue ? std::to_string(arg->value) : arg->name);
            break;
        }
        case TK_SUBCLASSNAME: append(static_cast<const SubclassRec*>(node->record)->name); break;
        default:
            if (isVariableKind(node->kind))
                append(node->var()->name);
            else
                m_unknown = true;
            break;
        }
        indexList(node->index);
    }

    void call(const ExprNode* node)
    {
        const FunctionRow* row = functionRow(node->function);
        if (!row) {
            m_unknown = true;
            return;
        }
        append(m_mode == 1 ? row->name : row->codeName);
        const std::string mark = m_mode != 1 && (node->flags & EXPR_MARKED_CALL) ? "!" : "";
        append(mark + "(");
        bool first = true;
        for (const ExprNode* arg : node->args) {
            if (!first)
                append(mark + ",");
            first = false;
            expression(arg, false);
        }
        append(mark + ")");
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
    void expression(const ExprNode* node, bool operand)
    {
        if (!node) {
            m_out += "<<null>>";
            return;
        }
        switch (node->kind) {
        case TK_PORTNAME:
        case TK_INPUTNAME:
        case TK_OUTPUTNAME: m_out += "\n# Ports, inputs or outputs not allowed.\n"; return;
        case TK_SUBCLASSNAME: m_out += "\n# subclassname ??\n"; return;
        case TK_CLASSARG: m_out += "\n# classarg ??\n"; return;
        case TK_CONTROLVAR: m_out += "\n# controlvar ??\n"; return;
        case TK_REAL: m_out += formatMessage("%.15g", node->realValue); return;
        case TK_INTEGER: m_out += std::to_string(node->intValue); return;
        case TK_BOOLEAN: m_out += node->intValue ? "true" : "false"; return;
        case TK_TIME: m_out += "t"; return;
        case TK_FUNCTIONNAME: call(node); return;
        case TK_IF: conditional(node, true); return;
        case TK_UPTO:
            expression(node->left, false);
            m_out += "..";
            expression(node->right, false);
            return;
        default: break;
        }
        if (isVariableKind(node->kind)) {
            m_out += node->var() ? variableFullName(*node->var()) : std::string("NO_NAME");
            m_out += indexListText(node->index);
            return;
        }
        const char* text = equationOperatorText(node->kind);
        if (!text) {
            if (isOperatorKind(node->kind) || node->left || node->right)
                m_out += formatMessage("# Wrong opcode (%d), leftexpr: %p, rightexpr: %p\n", node->kind,
                                       static_cast<const void*>(node->left), static_cast<const void*>(node->right));
            else
                m_out += formatMessage("\n# Strange opcode: %d?\n", node->kind);
            return;
        }
        if (isUnaryOperator(node->kind)) {
            m_out += text;
            expression(node->right, true);
            return;
        }
        if (operand)
            m_out += "(";
        expression(node->left, true);
        m_out += text;
        expression(node->right, true);
        if (operand)
            m_out += ")";
    }

    void call(const ExprNode* node)
    {
        const FunctionRow* row = functionRow(node->function);
        m_out += row ? row->name : "??";
        m_out += "(";
        bool first = true;
        for (const ExprNode* arg : node->args) {
            if (!first)
                m_out += ",";
            first = false;
            expression(arg, false);
        }
        m_out += ")";
    }

    void conditional(const ExprNode* node, bool outermost)
    {
        m_out += outermost ? "if " : "elseif ";
        expression(node->left, false);
        m_out += "\n\t\tthen ";
        expression(node->right, false);
        m_out += "\n\t\t";
        if (node->extra && node->extra->kind == TK_IF) {
            conditional(node->extra, false);
        } else {
            m_out += "else ";
            expression(node->extra, false);
        }
        if (outermost)
            m_out += "\n\t\tfi";
    }

    std::string& m_out;
};

/// Index expressions in Keldor text (mode 1); false on a node it does not know.
bool indexExpression(const ExprNode* e, std::string& out)
{
    if (!e)
        return false;
    auto operand = [&](const ExprNode* x) {
        bool binary = x && x->left && x->right && x->kind != TK_UPTO;
        if (binary)
            out += "(";
        bool ok = indexExpression(x, out);
        if (binary)
            out += ")";
        return ok;
    };
    switch (e->kind) {
    case TK_INTEGER: out += std::to_string(e->intValue); return true;
    case TK_CLASSARG: {
        const auto* arg = static_cast<const ArgRec*>(e->record);
        if (!arg)
            return false;
        out += arg->hasValue ? std::to_string(arg->value) : arg->name;
        return true;
    }
    case TK_PRF_MIN: out += "-"; return operand(e->right);
    case TK_PRF_PLUS: out += "+"; return operand(e->right);
    case TK_UPTO:
    case TK_PLUS:
    case TK_MIN:
    case TK_MULT:
    case TK_IDIV: {
        const char* sign = e->kind == TK_UPTO ? ".." : e->kind == TK_PLUS ? "+" : e->kind == TK_MIN ? "-"
                                                   : e->kind == TK_MULT ? "*" : "div";
        if (!operand(e->left))
            return false;
        out += sign;
        return operand(e->right);
    }
    default: return false;
    }
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
    for (auto it = sub->path.rbegin(); it != sub->path.rend(); ++it)
        text += *it + "'";
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
