// Keldor text of processed equations, as the equation file holds them.
#include "modelproc/equation_text.h"

#include "modelproc/display_hooks.h"
#include "modelproc/expression_walk.h"
#include "modelproc/function_table.h"
#include "modelproc/model_records.h"
#include "modelproc/processed_model_writer.h"

#include <algorithm>
#include <charconv>

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

    /// How a text piece is written.
    enum PieceKind : int { kPiece = 0, kRaw = 1, kNewline = 2, kIndent = 3 };
    /// How an operand is written: as the operand of an operator (in parentheses when it is a
    /// binary operation), or as the "elseif" of an enclosing conditional.
    enum OperandFlag : int { kTop = 0, kOperand = 1, kElseif = 2 };

    void expression(const ExprNode* node, bool operand)
    {
        // A leaf, or an operation on leaves, the most common sides, is written at once: the same
        // pieces as the walk below gives it, without the walk.
        std::string text;
        if (leafText(node, text)) {
            piece(text);
            return;
        }
        if (node && node->kind != TK_UPTO) {
            const char* op = equationOperatorText(node->kind);
            const bool unary = op && isUnaryOperator(node->kind);
            std::string first;
            std::string second;
            if (op && unary && leafText(node->right(), first)) {
                piece(op);
                piece(first);
                return;
            }
            if (op && !unary && leafText(node->left(), first) && leafText(node->right(), second)) {
                if (operand)
                    piece("(");
                piece(first);
                piece(op);
                piece(second);
                if (operand)
                    piece(")");
                return;
            }
        }
        writeExpressionText(
            node, operand ? kOperand : kTop,
            [](const ExprNode* n, int flag, std::vector<TextPiece>& pieces) { expand(n, flag, pieces); },
            [this](const TextPiece& p) {
                switch (p.flag) {
                case kRaw: raw(p.text); break;
                case kNewline: newline(); break;
                case kIndent: indent(2); break;
                default: piece(p.text); break;
                }
            });
    }

    /// The text of a node written as one piece of its own: a literal, the time, a table, or a
    /// variable's element with literal indices; false for any other node.
    static bool leafText(const ExprNode* node, std::string& text)
    {
        if (!node)
            return false;
        switch (node->kind) {
        case TK_TABLENAME: text = node->var() ? node->var()->name.str() : std::string(); return true;
        case TK_REAL: text = realLiteralText(node->realValue()); return true;
        case TK_INTEGER: text = formatMessage("%ld", static_cast<long>(node->intValue())); return true;
        case TK_BOOLEAN: text = node->intValue() ? "true" : "false"; return true;
        case TK_TIME: text = "t"; return true;
        case TK_PORTNAME:
        case TK_INPUTNAME:
        case TK_OUTPUTNAME:
        case TK_SUBCLASSNAME:
        case TK_CLASSARG:
        case TK_CONTROLVAR:
        case TK_UPTO:
        case TK_FUNCTIONNAME:
        case TK_IF: return false;
        default: break;
        }
        if (!isVariableKind(node->kind))
            return false;
        const VarRec* var = node->var();
        const std::int64_t element = literalElement(node);
        if (element < 0)
            return false;
        text = kindLetter(node->kind);
        text += std::to_string((var ? var->index : 0) + element);
        return true;
    }

    /// The pieces one node is written as, its operands left to be expanded in their turn.
    static void expand(const ExprNode* node, int flag, std::vector<TextPiece>& out)
    {
        const auto piece = [&out](std::string text) { out.push_back(TextPiece::of(std::move(text), kPiece)); };
        const auto raw = [&out](std::string text) { out.push_back(TextPiece::of(std::move(text), kRaw)); };
        const auto operand = [&out](const ExprNode* n, int f) { out.push_back(TextPiece::operand(n, f)); };
        if (!node) {
            piece("<<null>>");
            return;
        }
        if (flag == kElseif) {
            conditional(node, false, out);
            return;
        }
        switch (node->kind) {
        case TK_PORTNAME:
        case TK_INPUTNAME:
        case TK_OUTPUTNAME: raw("\n# Ports, inputs or outputs not allowed.\n"); return;
        case TK_SUBCLASSNAME: raw("\n# subclassname ??\n"); return;
        case TK_CLASSARG: raw("\n# classarg ??\n"); return;
        case TK_CONTROLVAR: raw("\n# controlvar ??\n"); return;
        case TK_TABLENAME:
        case TK_REAL:
        case TK_INTEGER:
        case TK_BOOLEAN:
        case TK_TIME: {
            std::string text;
            leafText(node, text);
            piece(std::move(text));
            return;
        }
        case TK_UPTO:
            operand(node->left(), kTop);
            piece("..");
            operand(node->right(), kTop);
            return;
        case TK_FUNCTIONNAME: {
            const FunctionRow* row = functionRow(node->function);
            if (!row) {
                raw("\n# Illegal function\n");
                return;
            }
            piece(row->name);
            piece("(");
            bool first = true;
            for (const ExprNode* arg : node->args()) {
                if (!first)
                    piece(",");
                first = false;
                operand(arg, kTop);
            }
            piece(")");
            return;
        }
        case TK_IF: conditional(node, true, out); return;
        default: break;
        }
        if (isVariableKind(node->kind)) {
            std::string text;
            if (leafText(node, text)) {
                piece(std::move(text));
                return;
            }
            const std::string letter(1, kindLetter(node->kind));
            const std::int32_t index = node->var() ? node->var()->index : 0;
            piece(letter + std::to_string(index));
            piece(" [");
            operand(node->index().at(0), kTop);
            if (node->index().count() > 1) {
                piece(", ");
                operand(node->index().at(1), kTop);
            }
            piece("]");
        } else if (const char* text = equationOperatorText(node->kind)) {
            if (isUnaryOperator(node->kind)) {
                piece(text);
                operand(node->right(), kOperand);
            } else {
                if (flag == kOperand)
                    piece("(");
                operand(node->left(), kOperand);
                piece(text);
                operand(node->right(), kOperand);
                if (flag == kOperand)
                    piece(")");
            }
        } else if (!node->left() && !node->right() && node->kind < TK_OR) {
            raw(formatMessage(" ?%d? ", node->kind));
        } else {
            raw(formatMessage("# Wrong opcode (%d), leftexpr: %d, rightexpr: %d\n", node->kind,
                              node->left() ? node->left()->kind : 0, node->right() ? node->right()->kind : 0));
        }
    }

    /// "if" (or "elseif" inside an enclosing conditional), then-part and else-part on lines of
    /// their own; an else-part that is a conditional continues the chain, closed by one "fi".
    static void conditional(const ExprNode* node, bool outermost, std::vector<TextPiece>& out)
    {
        const auto piece = [&out](std::string text) { out.push_back(TextPiece::of(std::move(text), kPiece)); };
        const auto newLine = [&out] {
            out.push_back(TextPiece::of("", kNewline));
            out.push_back(TextPiece::of("", kIndent));
        };
        piece(outermost ? "if " : "elseif ");
        out.push_back(TextPiece::operand(node->left(), kTop));
        newLine();
        piece("then ");
        out.push_back(TextPiece::operand(node->right(), kTop));
        newLine();
        if (node->extra() && node->extra()->kind == TK_IF) {
            out.push_back(TextPiece::operand(node->extra(), kElseif));
        } else {
            piece("else ");
            out.push_back(TextPiece::operand(node->extra(), kTop));
        }
        if (outermost) {
            newLine();
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

std::string realLiteralText(double value)
{
    char buffer[64];
    const std::to_chars_result result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general);
    std::string text(buffer, result.ptr);
    // Digits alone would read as an integer: a real keeps a decimal point.
    if (text.find_first_of(".eEn") == std::string::npos)
        text += ".0";
    return text;
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
