// Keldor text of processed equations, as the equation file holds them.
#include "modelproc/equation_text.h"

#include "modelproc/display_hooks.h"
#include "modelproc/function_table.h"
#include "modelproc/model_records.h"
#include "modelproc/processed_model_writer.h"

#include <algorithm>

namespace {

/// Writes equations as Keldor text with continuation lines past column 76.
class TextWriter {
public:
    explicit TextWriter(std::string& out) : m_out(out) {}

    void equation(const EquationRec* eq)
    {
        indent(1);
        expression(eq->left, false);
        piece(" = ");
        expression(eq->right, false);
        newline();
    }

private:
    void piece(const std::string& text)
    {
        if (m_column + static_cast<int>(text.size()) > 76) {
            m_out += "\\\n      ";
            m_column = 6;
        }
        m_out += text;
        m_column += static_cast<int>(text.size());
    }

    /// A remark written as it stands.
    void raw(const std::string& text)
    {
        m_out += text;
        std::size_t newline = text.rfind('\n');
        m_column = newline == std::string::npos ? m_column + static_cast<int>(text.size())
                                                : static_cast<int>(text.size() - newline - 1);
    }

    void newline()
    {
        m_out += '\n';
        m_column = 0;
    }

    void indent(int level)
    {
        int c = m_column;
        int target = c / 4 + level;
        m_out.append(static_cast<std::size_t>(std::max(0, target / 2 - c / 8)), '\t');
        if (target % 2)
            m_out += "    ";
        m_column = 4 * target;
    }

    void expression(const ExprNode* node, bool operand)
    {
        if (!node) {
            piece("<<null>>");
            return;
        }
        switch (node->kind) {
        case TK_PORTNAME:
        case TK_INPUTNAME:
        case TK_OUTPUTNAME: raw("\n# Ports, inputs or outputs not allowed.\n"); return;
        case TK_SUBCLASSNAME: raw("\n# subclassname ??\n"); return;
        case TK_CLASSARG: raw("\n# classarg ??\n"); return;
        case TK_CONTROLVAR: raw("\n# controlvar ??\n"); return;
        case TK_TABLENAME: piece(node->var() ? node->var()->name : std::string()); return;
        case TK_REAL: piece(formatMessage("%e", node->realValue)); return;
        case TK_INTEGER: piece(formatMessage("%ld", static_cast<long>(node->intValue))); return;
        case TK_BOOLEAN: piece(node->intValue ? "true" : "false"); return;
        case TK_TIME: piece("t"); return;
        case TK_UPTO:
            expression(node->left, false);
            piece("..");
            expression(node->right, false);
            return;
        case TK_FUNCTIONNAME: call(node); return;
        case TK_IF: conditional(node, true); return;
        default: break;
        }
        if (isVariableKind(node->kind)) {
            reference(node);
        } else if (const char* text = equationOperatorText(node->kind)) {
            if (isUnaryOperator(node->kind)) {
                piece(text);
                expression(node->right, true);
            } else {
                if (operand)
                    piece("(");
                expression(node->left, true);
                piece(text);
                expression(node->right, true);
                if (operand)
                    piece(")");
            }
        } else if (!node->left && !node->right && node->kind < TK_OR) {
            raw(formatMessage(" ?%d? ", node->kind));
        } else {
            raw(formatMessage("# Wrong opcode (%d), leftexpr: %d, rightexpr: %d\n", node->kind,
                       node->left ? node->left->kind : 0, node->right ? node->right->kind : 0));
        }
    }

    void reference(const ExprNode* node)
    {
        std::string letter(1, kindLetter(node->kind));
        std::int32_t index = node->var() ? node->var()->index : 0;
        std::int64_t element = literalElement(node);
        if (element >= 0) {
            piece(letter + std::to_string(index + element));
            return;
        }
        piece(letter + std::to_string(index));
        piece(" [");
        expression(node->index.at(0), false);
        if (node->index.count() > 1) {
            piece(", ");
            expression(node->index.at(1), false);
        }
        piece("]");
    }

    void call(const ExprNode* node)
    {
        const FunctionRow* row = functionRow(node->function);
        if (!row) {
            raw("\n# Illegal function\n");
            return;
        }
        piece(row->name);
        piece("(");
        bool first = true;
        for (const ExprNode* arg : node->args) {
            if (!first)
                piece(",");
            first = false;
            expression(arg, false);
        }
        piece(")");
    }

    void conditional(const ExprNode* node, bool outermost)
    {
        piece(outermost ? "if " : "elseif ");
        expression(node->left, false);
        newline();
        indent(2);
        piece("then ");
        expression(node->right, false);
        newline();
        indent(2);
        if (node->extra && node->extra->kind == TK_IF) {
            conditional(node->extra, false);
        } else {
            piece("else ");
            expression(node->extra, false);
        }
        if (outermost) {
            newline();
            indent(2);
            piece("fi");
        }
    }

    std::string& m_out;
    int m_column = 0;
};

} // namespace

void writeEquationText(const EquationRec* eq, std::string& out)
{
    TextWriter writer(out);
    writer.equation(eq);
}

const char* equationOperatorText(int kind)
{
    switch (kind) {
    case TK_OR: return " or ";
    case TK_AND: return " and ";
    case TK_NOT: return " not ";
    case TK_EQ: return " == ";
    case TK_NE: return " =/= ";
    case TK_LT: return " < ";
    case TK_LE: return " <= ";
    case TK_GT: return " > ";
    case TK_GE: return " >= ";
    case TK_MIN: return " - ";
    case TK_PLUS: return " + ";
    case TK_MULT: return " * ";
    case TK_DIV: return " / ";
    case TK_IDIV: return " div ";
    case TK_MOD: return " mod ";
    case TK_POW:
    case TK_IPOW: return " power ";
    case TK_PRF_MIN: return "-";
    case TK_PRF_PLUS: return "+";
    default: return nullptr;
    }
}
