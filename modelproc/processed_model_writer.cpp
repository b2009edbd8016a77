// Writers of the processed-model files ".l" (three-address code) and ".e" (Keldor text).
#include "modelproc/processed_model_writer.h"

#include "common/model_file_names.h"
#include "common/startup.h"
#include "modelproc/display_hooks.h"
#include "modelproc/equation_collection.h"
#include "modelproc/equation_sections.h"
#include "modelproc/equation_text.h"
#include "modelproc/function_table.h"
#include "modelproc/parallel_parts.h"
#include "platform/core/file_system.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <exception>
#include <optional>
#include <span>
#include <string_view>
#include <thread>
#include <utility>

namespace {
const char* const kErrorKind = "Equations generation error ";

/// Off while a writing pass repeats a counting pass that has already reported.
bool g_reporting = true;

void reportError(const std::string& message)
{
    if (g_reporting)
        DisplayHooks().error(kErrorKind, nullptr, nullptr, -1, nullptr, message.c_str());
}

struct DeclarationKind {
    int kind;
    char letter;
    const char* header; ///< null: never declared
};

constexpr DeclarationKind kKinds[] = {
    {TK_PARAMETERNAME, 'P', "#DParam "},   {TK_INITCONDNAME, 'I', "#DIncond"},
    {TK_CONSTANTNAME, 'C', "#DConst "},    {TK_TABLENAME, 'T', "#DTable "},
    {TK_VARIABLENAME, 'V', "#DVariable"},  {TK_INDEP_STATENAME, 's', "#Dstate_ind"},
    {TK_INDEP_RATENAME, 'R', "#DRate_ind"}, {TK_DEP_STATENAME, 'S', "#DState_dept"},
    {TK_DEP_RATENAME, 'r', "#Drate_dept"}, {TK_ALGLOOP_INNAME, 'a', nullptr},
    {TK_ALGLOOP_OUTNAME, 'A', "#DAlgloop"}, {TK_TIME, 't', nullptr},
};

const DeclarationKind* findKind(int kind)
{
    for (const DeclarationKind& k : kKinds)
        if (k.kind == kind)
            return &k;
    return nullptr;
}

/// Writes the decimal text of a number at `at`, which has room for 20 digits; the end of the text.
char* numberText(char* at, std::int64_t value)
{
    return std::to_chars(at, at + 20, value).ptr;
}

/// The index text of element k: "", "[i]" or "[i,j]" (1-based), written into `text`.
std::string_view indexText(std::array<char, 48>& text, const Dimensions& d, std::int64_t k)
{
    if (d.count == 0)
        return {};
    char* at = text.data();
    *at++ = '[';
    if (d.count == 1) {
        at = numberText(at, k + 1);
    } else {
        std::int64_t cols = d.cols > 0 ? d.cols : 1;
        at = numberText(at, k / cols + 1);
        *at++ = ',';
        at = numberText(at, k % cols + 1);
    }
    *at++ = ']';
    return {text.data(), static_cast<std::size_t>(at - text.data())};
}

/// Gives each variable of the list its running element number.
void numberVariables(SectionList<VarRec>& list)
{
    std::int64_t count = 0;
    for (VarRec* var : list) {
        var->index = static_cast<std::int32_t>(count);
        count += elementCount(var->dim);
    }
}

/// State the counting pass leaves for the writing pass and the equation file.
struct WriterState {
    const ClassRec* cls = nullptr;
    const ClassRec* counted = nullptr; ///< the class of the last counting pass
    EquationSections sections;
    int counts[4] = {0, 0, 0, 0};
    int maxTemporaries = 0;
};

WriterState& writerState()
{
    static WriterState state;
    return state;
}

const char* operatorMnemonic(int kind)
{
    switch (kind) {
    case TK_OR: return "orr";
    case TK_AND: return "and";
    case TK_NOT: return "not";
    case TK_EQ: return "teq";
    case TK_NE: return "tne";
    case TK_LT: return "tlt";
    case TK_LE: return "tle";
    case TK_GT: return "tgt";
    case TK_GE: return "tge";
    case TK_MIN: return "sub";
    case TK_PLUS: return "add";
    case TK_MULT: return "mul";
    case TK_DIV: return "div";
    case TK_IDIV: return "idv";
    case TK_MOD: return "mod";
    case TK_POW: return "pow";
    case TK_IPOW: return "ipw";
    case TK_PRF_MIN: return "inv";
    case TK_PRF_PLUS: return "mov";
    default: return nullptr;
    }
}

const char* functionMnemonic(int function)
{
    static const char* const mnemonics[FN_COUNT] = {
        nullptr, nullptr, nullptr, nullptr, "stp", "rmp", "exp", "log", "sin", "asn",
        "cos",   "acs",   "tan",   "atn",   "snh", "ash", "csh", "ach", "tnh", "ath",
        nullptr, "at2",   "sqt",   "pw2",   "sgn", "abs", "lgx", "exx", "lg2", "ex2",
        nullptr, "ran",   "dly",   "tdl",   "inp", "tab", "dll", "dll", "dll", "rst",
    };
    return function >= 0 && function < FN_COUNT ? mnemonics[function] : nullptr;
}

bool isLiteral(const ExprNode* node)
{
    return node->kind == TK_REAL || node->kind == TK_INTEGER || node->kind == TK_BOOLEAN;
}

/// A leaf of the code form: a literal or a name reference with literal indices.
bool isLeaf(const ExprNode* node)
{
    return isLiteral(node) || (isNameKind(node->kind) && literalElement(node) >= 0);
}

bool isComputedElement(const ExprNode* node)
{
    return isNameKind(node->kind) && literalElement(node) < 0;
}

/// Instruction count of an expression, for jump targets; `withDestination` adds the final move
/// of a conditional generated into a given destination. Counted without recursion.
int instructionCount(const ExprNode* root, bool withDestination)
{
    struct Frame {
        const ExprNode* node;
        bool withDestination;
        bool expanded;
        std::size_t firstValue; ///< where the operands' counts begin in `values`
    };
    std::vector<Frame> stack{{root, withDestination, false, 0}};
    std::vector<int> values;
    while (!stack.empty()) {
        Frame& f = stack.back();
        const ExprNode* node = f.node;
        if (!node || isLeaf(node) || node->kind == TK_TIME) {
            values.push_back(node && node->kind == TK_TIME && !isLeaf(node) ? 1 : 0);
            stack.pop_back();
            continue;
        }
        if (!f.expanded) {
            f.expanded = true;
            f.firstValue = values.size();
            // The operands whose counts are needed, pushed last first so they come out in order.
            std::vector<Frame> operands;
            if (isComputedElement(node)) {
                const ExprNode* i = node->index().at(0);
                const ExprNode* j = node->index().at(1);
                if (!j || (i && i->kind == TK_INTEGER))
                    operands.push_back({j ? j : i, false, false, 0});
                else if (j->kind == TK_INTEGER)
                    operands.push_back({i, false, false, 0});
                else {
                    operands.push_back({i, false, false, 0});
                    operands.push_back({j, false, false, 0});
                }
            } else if (node->kind == TK_IF) {
                operands.push_back({node->left(), false, false, 0});
                operands.push_back({node->right(), true, false, 0});
                operands.push_back({node->extra(), true, false, 0});
            } else if (node->kind == TK_FUNCTIONNAME) {
                for (const ExprNode* arg : node->args())
                    operands.push_back({arg, false, false, 0});
            } else if (isUnaryOperator(node->kind)) {
                operands.push_back({node->right(), false, false, 0});
            } else {
                operands.push_back({node->left(), false, false, 0});
                operands.push_back({node->right(), false, false, 0});
            }
            stack.insert(stack.end(), operands.rbegin(), operands.rend());
            continue;
        }
        const std::vector<int> counts(values.begin() + static_cast<std::ptrdiff_t>(f.firstValue), values.end());
        values.resize(f.firstValue);
        int n = 0;
        for (int c : counts)
            n += c;
        if (isComputedElement(node)) {
            const ExprNode* i = node->index().at(0);
            const ExprNode* j = node->index().at(1);
            if (!j || (i && i->kind == TK_INTEGER))
                n += 2;
            else if (j->kind == TK_INTEGER)
                n += 4;
            else
                n += 6;
        } else if (node->kind == TK_IF) {
            n = counts[0] + std::max(1, counts[1]) + std::max(1, counts[2]) + 2 + (f.withDestination ? 1 : 0);
        } else if (node->kind == TK_FUNCTIONNAME) {
            if (node->function >= FN_DLL_FUNCTION && node->function < FN_RESETFUNC)
                n += 3;
            else if (node->function == FN_RESETFUNC)
                n += 2;
            else
                n += 1;
        } else {
            n += 1;
        }
        stack.pop_back();
        values.push_back(n);
    }
    return values.empty() ? 0 : values.back();
}

/// Generates the code form of one section's equations.
class CodeGenerator {
public:
    /// Generates into `out` (null: counts only, without making the operands' texts); the first
    /// instruction is `first` of its section. What cannot be written is reported only when `report`.
    CodeGenerator(std::string* out, int first, bool report) : m_out(out), m_instruction(first), m_report(report) {}
    explicit CodeGenerator(std::string* out) : CodeGenerator(out, 0, true) {}

    /// Code of one equation (`number` 1-based in its section); false when the pass fails.
    void equation(const EquationRec* eq, int number)
    {
        m_temporaries = 0;
        if (!eq->left || !eq->right) {
            report(formatMessage("<error while writing code: error in rhs of eq. %ld>", static_cast<long>(number)));
            m_failed = true;
            return;
        }
        m_equation = eq;
        if (isLeaf(eq->left)) {
            std::string destination = leafOperand(eq->left);
            expression(eq->right, &destination);
        } else {
            std::string value = expression(eq->right, nullptr);
            Frame write{Frame::Element, eq->left};
            write.isWrite = true;
            write.value = value;
            run(std::move(write));
        }
        m_maxTemporaries = std::max(m_maxTemporaries, m_temporaries);
        m_equation = nullptr;
    }

    int instructions() const { return m_instruction; }
    int maxTemporaries() const { return m_maxTemporaries; }
    bool failed() const { return m_failed; }

private:
    std::string newTemporary()
    {
        if (!m_out) {
            ++m_temporaries;
            return {};
        }
        return "U" + std::to_string(m_temporaries++);
    }

    void emit(const char* mnemonic, std::initializer_list<std::string_view> operands)
    {
        if (m_out) {
            *m_out += '\t';
            *m_out += mnemonic;
            for (std::string_view operand : operands) {
                *m_out += '\t';
                *m_out += operand;
            }
            *m_out += '\n';
        }
        ++m_instruction;
    }

    std::string leafOperand(const ExprNode* node)
    {
        if (!m_out && isLiteral(node))
            return {};
        switch (node->kind) {
        case TK_REAL: return realLiteralText(node->realValue());
        case TK_INTEGER: return std::to_string(node->intValue());
        case TK_BOOLEAN: return node->intValue() ? "1" : "0";
        default: break;
        }
        std::int64_t number = literalElement(node);
        char letter = isVariableKind(node->kind) ? kindLetter(node->kind) : '\0';
        if (isVariableKind(node->kind) && node->kind != TK_TABLENAME)
            number += node->var() ? node->var()->index : 0;
        if (!letter) {
            report(formatMessage("<error while writing code: var. token %d not known>", node->kind),
                   "it names a quantity that has no place in the code file.");
            m_failed = true;
            return m_out ? std::to_string(number) : std::string();
        }
        return m_out ? letter + std::to_string(number) : std::string();
    }

    /// One pending step of the code of an expression. The generator runs a stack of these instead
    /// of recursing, so that expressions of any depth are written; each frame's operands hand their
    /// results (operand texts) back into `values`, and a finished frame hands its own to the frame
    /// below it.
    struct Frame {
        enum Kind { Expression, Conditional, Element, Call, Operator };
        Frame(Kind k, const ExprNode* n) : kind(k), node(n) {}

        Kind kind;
        const ExprNode* node;
        bool hasDestination = false;
        std::string destination;
        int phase = 0;
        std::string target;              ///< where the frame's value goes
        std::vector<std::string> values; ///< results of the operands done so far
        bool isWrite = false;            ///< an element write of `value`, not a read
        std::string value;
        std::int64_t base = 0;
        const char* mnemonic = nullptr;
        std::vector<const ExprNode*> args;
    };

    std::string expression(const ExprNode* node, const std::string* destination)
    {
        // A leaf, or an operation on leaves, the most common right sides, is written at once:
        // the same instructions as the frames below give it, without them.
        if (node && isLeaf(node)) {
            std::string operand = leafOperand(node);
            if (!destination)
                return operand;
            emit("mov", {*destination, operand});
            return *destination;
        }
        if (node && node->kind != TK_IF && isOperatorKind(node->kind)) {
            const char* mnemonic = operatorMnemonic(node->kind);
            const bool unary = isUnaryOperator(node->kind);
            const ExprNode* a = unary ? node->right() : node->left();
            const ExprNode* b = unary ? nullptr : node->right();
            if (mnemonic && a && isLeaf(a) && (unary || (b && isLeaf(b)))) {
                std::string target = destination ? *destination : newTemporary();
                const std::string first = leafOperand(a);
                if (unary) {
                    emit(mnemonic, {target, first});
                } else {
                    const std::string second = leafOperand(b);
                    emit(mnemonic, {target, first, second});
                }
                return target;
            }
        }
        Frame root{Frame::Expression, node};
        if (destination) {
            root.hasDestination = true;
            root.destination = *destination;
        }
        return run(std::move(root));
    }

    /// Runs the frames from `root` until its result is known.
    std::string run(Frame root)
    {
        std::vector<Frame>& stack = m_stack;
        stack.clear();
        stack.push_back(std::move(root));
        std::string result;
        const auto finish = [&](std::string value) {
            stack.pop_back();
            if (stack.empty())
                result = std::move(value);
            else
                stack.back().values.push_back(std::move(value));
        };
        const auto operand = [&](const ExprNode* node, const std::string* destination) {
            Frame f{Frame::Expression, node};
            if (destination) {
                f.hasDestination = true;
                f.destination = *destination;
            }
            stack.push_back(std::move(f));
        };
        while (!stack.empty()) {
            Frame& f = stack.back();
            switch (f.kind) {
            case Frame::Expression: startExpression(f, finish); break;
            case Frame::Conditional: stepConditional(f, finish, operand); break;
            case Frame::Element: stepElement(f, finish, operand); break;
            case Frame::Call: stepCall(f, finish, operand); break;
            case Frame::Operator:
                if (f.values.empty()) {
                    operand(isUnaryOperator(f.node->kind) ? f.node->right() : f.node->left(), nullptr);
                } else if (!isUnaryOperator(f.node->kind) && f.values.size() == 1) {
                    operand(f.node->right(), nullptr);
                } else {
                    if (isUnaryOperator(f.node->kind))
                        emit(f.mnemonic, {f.target, f.values[0]});
                    else
                        emit(f.mnemonic, {f.target, f.values[0], f.values[1]});
                    finish(f.target);
                }
                break;
            }
        }
        return result;
    }

    /// Decides what an expression frame is: a leaf is done at once, the others become the frame
    /// of their kind. The target of an operation is chosen before its operands are generated.
    template <class Finish>
    void startExpression(Frame& f, Finish& finish)
    {
        const ExprNode* node = f.node;
        const std::string* destination = f.hasDestination ? &f.destination : nullptr;
        if (!node) {
            wrongOpcode();
            finish("");
            return;
        }
        if (isLeaf(node)) {
            std::string operand = leafOperand(node);
            if (!destination) {
                finish(operand);
                return;
            }
            emit("mov", {*destination, operand});
            finish(f.destination);
            return;
        }
        if (node->kind == TK_IF) {
            f.kind = Frame::Conditional;
            f.target = newTemporary();
            return;
        }
        if (isComputedElement(node)) {
            f.target = destination ? *destination : newTemporary();
            f.kind = Frame::Element;
            return;
        }
        const char* mnemonic = nullptr;
        if (node->kind == TK_TIME)
            mnemonic = "tim";
        else if (node->kind == TK_FUNCTIONNAME)
            mnemonic = functionMnemonic(node->function);
        else if (isOperatorKind(node->kind))
            mnemonic = operatorMnemonic(node->kind);
        else {
            wrongOpcode();
            finish("");
            return;
        }
        if (!mnemonic) {
            report(formatMessage("<error while writing code: operator %d or function %d not implemented>",
                                 node->kind, node->function),
                   "the code has no instruction for that operator or function.");
            m_failed = true;
            finish("");
            return;
        }
        f.target = destination ? *destination : newTemporary();
        f.mnemonic = mnemonic;
        if (node->kind == TK_TIME) {
            emit("tim", {f.target});
            finish(f.target);
        } else if (node->kind == TK_FUNCTIONNAME) {
            f.kind = Frame::Call;
            for (const ExprNode* arg : node->args())
                f.args.push_back(arg);
        } else {
            f.kind = Frame::Operator;
        }
    }

    /// A call: its arguments in order, then its instructions. resetfunc moves its first argument
    /// into the target before the other two are generated.
    template <class Finish, class Operand>
    void stepCall(Frame& f, Finish& finish, Operand& operand)
    {
        const ExprNode* node = f.node;
        const std::size_t done = f.values.size();
        if (node->function == FN_RESETFUNC) {
            if (done == 1 && f.phase == 0) {
                emit("mov", {f.target, f.values[0]});
                f.phase = 1;
            }
            if (done < 3) {
                operand(node->args().at(static_cast<int>(done)), nullptr);
                return;
            }
            emit("rst", {f.target, f.values[1], f.values[2]});
            finish(f.target);
            return;
        }
        if (done < f.args.size()) {
            operand(f.args[done], nullptr);
            return;
        }
        const std::vector<std::string>& args = f.values;
        auto arg = [&](std::size_t i) { return i < args.size() ? args[i] : std::string(); };
        if (node->function >= FN_DLL_FUNCTION && node->function < FN_RESETFUNC) {
            emit("hlg", {f.target, arg(2), arg(3)});
            emit("flk", {f.target, arg(4)});
            emit("dll", {f.target, arg(0), arg(1)});
        } else if (args.size() >= 2) {
            emit(functionMnemonic(node->function), {f.target, arg(0), arg(1)});
        } else {
            emit(functionMnemonic(node->function), {f.target, arg(0)});
        }
        finish(f.target);
    }

    /// if c then x else y: both branches write one new temporary; the jumps skip the branch not
    /// taken.
    template <class Finish, class Operand>
    void stepConditional(Frame& f, Finish& finish, Operand& operand)
    {
        const ExprNode* node = f.node;
        switch (f.phase++) {
        case 0: operand(node->left(), nullptr); return;
        case 1: {
            emit("jfa", {jumpTarget(node->right(), 2), f.values[0]});
            const std::string result = f.target;
            operand(node->right(), &result);
            return;
        }
        case 2: {
            emit("jmp", {jumpTarget(node->extra(), 1)});
            const std::string result = f.target;
            operand(node->extra(), &result);
            return;
        }
        default:
            if (!f.hasDestination) {
                finish(f.target);
                return;
            }
            emit("mov", {f.destination, f.target});
            finish(f.destination);
            return;
        }
    }

    /// Element access with computed indices: a read into the target or a write of the value.
    template <class Finish, class Operand>
    void stepElement(Frame& f, Finish& finish, Operand& operand)
    {
        const ExprNode* node = f.node;
        const VarRec* var = isVariableKind(node->kind) && node->kind != TK_TABLENAME ? node->var() : nullptr;
        const char letter = kindLetter(node->kind);
        if (!var || !letter) {
            report(formatMessage("<error while writing code: var. token %d not known>", node->kind),
                   "it names a quantity that has no place in the code file.");
            m_failed = true;
            finish(f.target);
            return;
        }
        const Dimensions d = dimensionsOf(*var);
        const ExprNode* iNode = node->index().at(0);
        const ExprNode* jNode = node->index().at(1);
        const bool iLiteral = jNode && iNode && iNode->kind == TK_INTEGER;
        const bool jLiteral = jNode && !iLiteral && jNode->kind == TK_INTEGER;
        // The index expressions first: one of them, or both when neither is a literal.
        const std::size_t needed = jNode && !iLiteral && !jLiteral ? 2 : 1;
        if (f.values.size() < needed) {
            operand(f.values.empty() ? (iLiteral ? jNode : iNode) : jNode, nullptr);
            return;
        }
        std::int64_t base = var->index;
        std::string offset;
        if (!jNode) {
            offset = f.values[0];
            emit("plf", {offset, "1", std::to_string(d.rows)});
        } else if (iLiteral) {
            offset = f.values[0];
            emit("plf", {offset, "1", std::to_string(d.cols)});
            base += d.cols * (iNode->intValue() - 1);
        } else if (jLiteral) {
            const std::string& i = f.values[0];
            emit("plf", {i, "1", std::to_string(d.rows)});
            std::string product = newTemporary();
            emit("mul", {product, i, std::to_string(d.cols)});
            offset = newTemporary();
            emit("sub", {offset, product, std::to_string(d.cols - jNode->intValue())});
        } else {
            const std::string& i = f.values[0];
            const std::string& j = f.values[1];
            emit("plf", {i, "1", std::to_string(d.rows)});
            emit("plf", {j, "1", std::to_string(d.cols)});
            std::string product = newTemporary();
            emit("mul", {product, i, std::to_string(d.cols)});
            std::string row = newTemporary();
            emit("sub", {row, product, std::to_string(d.cols)});
            offset = newTemporary();
            emit("add", {offset, row, j});
        }
        std::string first = letter + std::to_string(base);
        if (f.isWrite)
            emit("mra", {first, offset, f.value});
        else
            emit("mar", {f.target, first, offset});
        finish(f.target);
    }

    /// The number of the instruction `after` instructions past the code of `branch`, which is
    /// generated into a destination from the instruction after the jump now emitted.
    std::string jumpTarget(const ExprNode* branch, int after) const
    {
        if (!m_out)
            return {};
        return std::to_string(m_instruction + std::max(1, instructionCount(branch, true)) + after);
    }

    void wrongOpcode()
    {
        report("<error while writing code: wrong opcode in expression>",
               "the code has no instruction for a part of it, such as a text.");
        m_failed = true;
    }

    /// Reports a failure, with the equation it stands in and what cannot be done (`why`).
    void report(const std::string& message, const std::string& why = {})
    {
        if (!m_report)
            return;
        if (m_equation && g_reporting)
            reportEquationFailure(m_equation, message, why);
        else if (!m_equation)
            reportError(message);
    }

    std::string* m_out;
    const EquationRec* m_equation = nullptr; ///< the one being generated
    std::vector<Frame> m_stack; ///< the frames of `run`, kept from one expression to the next
    int m_instruction;
    bool m_report;
    int m_temporaries = 0;
    int m_maxTemporaries = 0;
    bool m_failed = false;
};

/// Appends the parts in order, giving back each one's room as it goes.
void joinParts(std::vector<std::string>& parts, std::string& out)
{
    std::size_t size = out.size();
    for (const std::string& part : parts)
        size += part.size();
    out.reserve(size);
    for (std::string& part : parts) {
        out += part;
        std::string().swap(part);
    }
}

/// The text of each equation, in parts that follow one another. The text of one equation does not
/// depend on any other's, so a long list is written in parts by threads of their own.
std::vector<std::string> equationTextParts(const std::vector<EquationRec*>& equations)
{
    const std::size_t parts = partsFor(equations.size());
    std::vector<std::string> texts(parts);
    runPartRanges(equations.size(), parts, [&](std::size_t part, std::size_t begin, std::size_t end) {
        for (std::size_t k = begin; k < end; ++k) {
            prefetchEquationsAhead(equations, k, end);
            writeEquationText(equations[k], texts[part]);
        }
    });
    return texts;
}

/// Appends the text of each equation.
void appendEquationTexts(const std::vector<EquationRec*>& equations, std::string& out)
{
    std::vector<std::string> texts = equationTextParts(equations);
    joinParts(texts, out);
}

/// The header of an equation section; an empty section has none.
void sectionHeader(std::string& out, int section, int count)
{
    if (count == 0)
        return;
    out += '\n';
    out += equationSectionHeader(section);
    out += '\t' + std::to_string(count) + '\n';
}

bool isOpenError(int error)
{
    return error == EACCES || error == EPERM || error == EROFS || error == ENOENT || error == ENOTDIR ||
           error == EISDIR || error == ENAMETOOLONG || error == ELOOP || error == platform::kNotRegularFile;
}

/// Reports a failure to write `path` with system error `error`: an open failure as the writer
/// words it, any other (a full disk, a file too large) with the file and its cause.
void reportWriteFailure(const std::string& path, int error)
{
    if (isOpenError(error))
        reportError(formatMessage("can't open file %.40s for writing.", path.c_str()));
    else
        reportError(formatMessage("can't write file %s: %s.", path.c_str(), std::strerror(error)));
}

/// A new text of a file, to be installed when its partner is written too.
struct PendingFile {
    std::string path;
    platform::AtomicFile file; ///< the new text as it is written, given up unless installed

    explicit PendingFile(std::string target) : path(std::move(target)), file(path) {}
    /// Appends the text; false once the file failed.
    bool append(std::string_view text) { return file.write(std::span<const std::string_view>(&text, 1)); }
    /// The new text is complete: it is flushed to the disk. A failure, here or in writing it,
    /// leaves the file failed, which its installation reports.
    void finish() { file.sync(); }
    void discard() { file.abandon(); }
};

/// Installs the code file and the equation file together, or neither: both new texts get their
/// names beside the old files first (a text that could not be written or flushed gets none), and
/// only then do they replace the old files. Should the second replacement still fail, the first
/// new file goes again, so that no processed file is left that is newer than the model while its
/// partner is not.
bool installFiles(PendingFile& code, PendingFile& equations)
{
    for (PendingFile* file : {&code, &equations}) {
        if (!file->file.link()) {
            const int error = file->file.error();
            code.discard();
            equations.discard();
            reportWriteFailure(file->path, error);
            return false;
        }
    }
    if (!code.file.replace()) {
        const int error = code.file.error();
        equations.discard();
        reportWriteFailure(code.path, error);
        return false;
    }
    if (!equations.file.replace()) {
        std::remove(code.path.c_str());
        reportWriteFailure(equations.path, equations.file.error());
        return false;
    }
    return true;
}

} // namespace

const char* tttype_word(int type)
{
    switch (type) {
    case TYPE_REAL: return "#real";
    case TYPE_STRING: return "#string";
    case TYPE_INTEGER: return "#int";
    case TYPE_BOOLEAN: return "#bool";
    case TYPE_SAMPLETIME: return "#sampletime";
    default: return "???";
    }
}

char kindLetter(int kind)
{
    const DeclarationKind* k = findKind(kind);
    return k ? k->letter : '\0';
}

namespace {

/// A run of variables of one declaration section whose lines are made as one piece; the first
/// run of a section begins with the section's header line.
struct DeclarationRun {
    const DeclarationKind* kind;
    VarRec* first;
    std::size_t variables = 0;
    std::int64_t elements = -1; ///< the section's, for its header; -1 in a run after the first
};

/// Numbers the variables of a kind's declaration section and adds the runs of at most `perRun`
/// variables that its lines are made in; a kind without a section (algebraic-loop inputs) is
/// numbered only. False for a kind that has no letter. A list without elements has no section,
/// and its variables keep their numbers.
bool planDeclarationSection(SectionList<VarRec>& list, int kind, std::size_t perRun, std::vector<DeclarationRun>& runs)
{
    const DeclarationKind* k = findKind(kind);
    if (!k)
        return false;
    if (!k->header) {
        numberVariables(list); // algebraic-loop inputs are referenced but never declared
        return true;
    }
    const std::size_t firstRun = runs.size();
    std::int64_t count = 0;
    std::size_t inRun = perRun;
    std::vector<std::pair<VarRec*, std::int32_t>> unnumbered; // while no element has been met
    for (VarRec* var : list) {
        if (count == 0)
            unnumbered.emplace_back(var, var->index);
        var->index = static_cast<std::int32_t>(count);
        if (inRun == perRun) {
            runs.push_back({k, var});
            inRun = 0;
        }
        ++runs.back().variables;
        ++inRun;
        count += elementCount(var->dim);
    }
    if (count == 0) {
        for (const auto& [var, index] : unnumbered)
            var->index = index;
        runs.resize(firstRun);
        return true;
    }
    runs[firstRun].elements = count;
    return true;
}

/// Appends the lines of a run of declarations: one per element, with its aliases.
void appendDeclarations(const DeclarationRun& run, std::string& out)
{
    if (run.elements >= 0) {
        out += '\n';
        out += run.kind->header;
        out += '\t' + std::to_string(run.elements) + '\n';
    }
    VarRec* var = run.first;
    for (std::size_t v = 0; v < run.variables; ++v, var = SectionList<VarRec>::after(var)) {
        Dimensions d = dimensionsOf(*var);
        std::int64_t elements = elementCount(var->dim);
        const char* type = tttype_word(var->at);
        std::array<char, 48> indexBuffer;
        const std::string_view name = var->name.empty() ? std::string_view("Noname") : std::string_view(var->name);
        for (std::int64_t e = 0; e < elements; ++e) {
            out += '\t';
            out += type;
            out += '\t';
            out += name;
            const std::string_view index = indexText(indexBuffer, d, e);
            out += index;
            for (std::string_view alias : var->aliases) {
                out += '\t';
                out += alias;
                out += index;
            }
            out += '\n';
        }
    }
}

/// Variables whose declarations are made as one piece when a class is declared.
constexpr std::size_t kDeclarationRun = 4096;

/// Makes the header lines and the declaration sections, numbering the variables, and hands the
/// text to `take` in pieces that follow one another; the runs of a long section are made by
/// threads of their own, a few at a time. False as `ttwrite_header` returns 0.
template <class Take>
bool makeDeclarations(ClassRec* cls, const Take& take)
{
    struct Section {
        SectionList<VarRec>* list;
        int kind;
    };
    std::vector<Section> sections = {{&cls->parameters, TK_PARAMETERNAME},
                                     {&cls->initconds, TK_INITCONDNAME},
                                     {&cls->variables, TK_VARIABLENAME},
                                     {&cls->constants, TK_CONSTANTNAME}};
    if (EquationBody* body = cls->equations) {
        sections.push_back({&body->indep_states, TK_INDEP_STATENAME});
        sections.push_back({&body->indep_rates, TK_INDEP_RATENAME});
        sections.push_back({&body->dep_states, TK_DEP_STATENAME});
        sections.push_back({&body->dep_rates, TK_DEP_RATENAME});
        sections.push_back({&body->algloop_out, TK_ALGLOOP_OUTNAME});
        sections.push_back({&body->algloop_in, TK_ALGLOOP_INNAME});
    }
    std::string head = "#Hclass\t" + (cls->name.empty() ? std::string("NONAME") : cls->name) + '\n';
    head += "#Hversion\t" + std::to_string(cls->version) + '\n';
    take(std::string_view(head));
    bool ok = true;
    std::vector<DeclarationRun> runs;
    for (const Section& section : sections)
        ok = planDeclarationSection(*section.list, section.kind, kDeclarationRun, runs) && ok;
    const std::size_t workers = partsFor(runs.size(), 1);
    std::vector<std::string> slots(2 * workers);
    makeInOrder(
        runs.size(), workers, slots,
        [&](std::size_t r, std::string& text) {
            text.clear();
            appendDeclarations(runs[r], text);
        },
        [&](std::size_t, const std::string& text) {
            take(std::string_view(text));
            return true;
        });
    return ok;
}

} // namespace

int ttwrite_declarations(SectionList<VarRec>& list, int kind, std::string& out)
{
    std::vector<DeclarationRun> runs;
    if (!planDeclarationSection(list, kind, ~std::size_t(0), runs))
        return 0;
    for (const DeclarationRun& run : runs)
        appendDeclarations(run, out);
    return 1;
}

int ttwrite_header(ClassRec* cls, std::string& out)
{
    if (!cls)
        return 0;
    return makeDeclarations(cls, [&out](std::string_view text) { out += text; }) ? 1 : 0;
}

int ttwrite_equations(ClassRec* cls, int mode, std::string* out)
{
    if (!cls || !cls->equations)
        return 0;
    WriterState& state = writerState();
    if (mode == 1 || state.cls != cls) {
        state.sections = distributeEquations(cls, out == nullptr);
        state.cls = cls;
    }
    bool ok = true;
    if (mode == 1) {
        // The writing pass meets the counting pass's errors again; they were reported then.
        g_reporting = out == nullptr || state.counted != cls;
        int maxTemporaries = 0;
        for (int s = 0; s < 4; ++s) {
            if (out)
                sectionHeader(*out, s, state.counts[s]);
            CodeGenerator generator(out);
            int number = 0;
            for (const EquationRec* eq : state.sections[static_cast<std::size_t>(s)])
                generator.equation(eq, ++number);
            if (!out)
                state.counts[s] = generator.instructions();
            maxTemporaries = std::max(maxTemporaries, generator.maxTemporaries());
            ok = ok && !generator.failed();
        }
        g_reporting = true;
        if (!out) {
            state.maxTemporaries = maxTemporaries;
            state.counted = cls;
        }
    } else if (out) {
        for (int s = 0; s < 4; ++s) {
            sectionHeader(*out, s, state.counts[s]);
            appendEquationTexts(state.sections[static_cast<std::size_t>(s)], *out);
        }
    }
    relinkEquations(cls, state.sections);
    return ok ? 1 : 0;
}

namespace {

/// Equations whose code is generated as one block.
constexpr std::size_t kBlockEquations = 4096;

/// A block of a section's equations, and what counting its code found.
struct CodeBlock {
    std::size_t section;
    std::size_t begin; ///< its equations in the section
    std::size_t end;
    int first = 0; ///< the number of its first instruction in the section
    int instructions = 0;
    int temporaries = 0; ///< the most one of its equations needs
    bool failed = false;
};

/// Threads that count or generate the code of `equations` equations.
std::size_t codeWorkers(std::size_t equations)
{
    return partsFor(equations, kBlockEquations);
}

/// Counts the instructions and temporaries of the distributed sections' code in blocks, threads
/// side by side, into `blocks`, and leaves each section's instruction count and the most
/// temporaries one equation needs in `state`; false when an equation cannot be written. Should
/// one fail, the sections are counted again one after the other, so that what cannot be written
/// is reported in order when `report`.
bool countCode(const EquationSections& sections, WriterState& state, std::vector<CodeBlock>& blocks, bool report)
{
    blocks.clear();
    std::size_t equations = 0;
    for (std::size_t s = 0; s < 4; ++s) {
        for (std::size_t begin = 0; begin < sections[s].size(); begin += kBlockEquations)
            blocks.push_back({s, begin, std::min(sections[s].size(), begin + kBlockEquations)});
        equations += sections[s].size();
    }
    std::atomic<std::size_t> next{0};
    runParts(codeWorkers(equations), [&](std::size_t) {
        for (std::size_t b; (b = next++) < blocks.size();) {
            CodeBlock& block = blocks[b];
            const std::vector<EquationRec*>& section = sections[block.section];
            CodeGenerator generator(nullptr, 0, false);
            for (std::size_t k = block.begin; k < block.end; ++k) {
                prefetchEquationsAhead(section, k, block.end);
                generator.equation(section[k], 0);
            }
            block.instructions = generator.instructions();
            block.temporaries = generator.maxTemporaries();
            block.failed = generator.failed();
        }
    });
    int counts[4] = {0, 0, 0, 0};
    state.maxTemporaries = 0;
    bool ok = true;
    for (CodeBlock& block : blocks) {
        block.first = counts[block.section];
        counts[block.section] += block.instructions;
        state.maxTemporaries = std::max(state.maxTemporaries, block.temporaries);
        ok = ok && !block.failed;
    }
    std::copy(counts, counts + 4, state.counts);
    if (!ok && report)
        for (const std::vector<EquationRec*>& section : sections) {
            CodeGenerator generator(nullptr, 0, true);
            for (std::size_t k = 0; k < section.size(); ++k)
                generator.equation(section[k], static_cast<int>(k) + 1);
        }
    return ok;
}

/// What the generation of one block makes: its code and, when asked for, its equations' text.
struct BlockText {
    std::string code;
    std::string text;
    bool asCounted = false;
};

/// Generates the code of the distributed sections block by block, threads side by side, with
/// each equation's text beside its code when `withText` (while its records are at hand), and
/// hands each section's header and then its blocks to `take(code, text)` in order, holding no more
/// than a few blocks at once; `take` returns false to stop. False when a block's code does not
/// come out as `countCode` counted it.
template <class Take>
bool generateCode(const EquationSections& sections, const WriterState& state, const std::vector<CodeBlock>& blocks,
                  bool withText, const Take& take)
{
    std::size_t equations = 0;
    for (const auto& section : sections)
        equations += section.size();
    const std::size_t workers = codeWorkers(equations);
    std::vector<BlockText> slots(2 * workers);
    std::size_t opened = 0;
    const auto openUpTo = [&](std::size_t section) {
        for (; opened <= section && opened < 4; ++opened) {
            std::string header;
            sectionHeader(header, static_cast<int>(opened), state.counts[opened]);
            if (!header.empty() && !take(std::string_view(header), std::string_view(header)))
                return false;
        }
        return true;
    };
    bool asCounted = true;
    bool taking = true;
    makeInOrder(
        blocks.size(), workers, slots,
        [&](std::size_t b, BlockText& slot) {
            const CodeBlock& block = blocks[b];
            const std::vector<EquationRec*>& section = sections[block.section];
            slot.code.clear();
            slot.text.clear();
            CodeGenerator generator(&slot.code, block.first, false);
            for (std::size_t k = block.begin; k < block.end; ++k) {
                prefetchEquationsAhead(section, k, block.end);
                generator.equation(section[k], 0);
                if (withText)
                    writeEquationText(section[k], slot.text);
            }
            slot.asCounted = generator.instructions() == block.first + block.instructions &&
                             generator.maxTemporaries() == block.temporaries && generator.failed() == block.failed;
        },
        [&](std::size_t b, const BlockText& slot) {
            asCounted = slot.asCounted;
            taking = asCounted && openUpTo(blocks[b].section) &&
                     take(std::string_view(slot.code), std::string_view(slot.text));
            return taking;
        });
    if (taking)
        openUpTo(3);
    return asCounted;
}

/// The "#DUnnamed" section that declares the temporaries; none without temporaries.
std::string unnamedSection(int temporaries)
{
    if (temporaries <= 0)
        return {};
    std::string text = "\n#DUnnamed\t" + std::to_string(temporaries) + '\n';
    for (int i = 0; i < temporaries; ++i)
        text += "\t#real\n";
    return text;
}

/// Re-links the class's list as the sections, which hold every equation of the list once. Taken
/// out section by section, each in list order, an equation's neighbours are mostly at hand.
void relinkDistributed(ClassRec* cls, const EquationSections& sections)
{
    constexpr std::size_t kAhead = 16;
    for (const auto& section : sections)
        for (std::size_t k = 0; k < section.size(); ++k) {
            if (k + kAhead < section.size())
                __builtin_prefetch(section[k + kAhead], 1);
            SectionList<EquationRec>::unlink(section[k]);
        }
    SectionList<EquationRec>& list = cls->equations->equations;
    for (const auto& section : sections)
        for (std::size_t k = 0; k < section.size(); ++k) {
            if (k + kAhead < section.size())
                __builtin_prefetch(section[k + kAhead], 1);
            list.append(section[k]);
        }
}

/// The equations of the sections, one section after the other.
std::vector<EquationRec*> concatenated(const EquationSections& sections)
{
    std::vector<EquationRec*> all;
    std::size_t size = 0;
    for (const auto& section : sections)
        size += section.size();
    all.reserve(size);
    for (const auto& section : sections)
        all.insert(all.end(), section.begin(), section.end());
    return all;
}

/// Distributes the class's equations for the files into `state.sections`, leaving the list
/// linked that way. When the re-linked list is distributed otherwise, the first distribution,
/// whose errors are the ones reported, is left in `first`. `order`, when given, is the list's
/// order, whose room the sections take over.
void distributeForFiles(ClassRec* cls, WriterState& state, std::optional<EquationSections>& first,
                        std::vector<EquationRec*>* order = nullptr)
{
    bool stable = false;
    if (order) {
        state.sections = distributeEquations(cls, true, &stable, std::move(*order));
        relinkDistributed(cls, state.sections);
    } else {
        state.sections = distributeEquations(cls, true, &stable);
        relinkEquations(cls, state.sections);
    }
    // The files hold the distribution of the list as the first one re-linked it, which is most
    // often the same; when it may not be, the list is distributed again.
    if (!stable) {
        first = std::move(state.sections);
        if (order) {
            state.sections = distributeEquations(cls, false, nullptr, concatenated(*first));
            relinkDistributed(cls, state.sections);
        } else {
            state.sections = distributeEquations(cls, false);
            relinkEquations(cls, state.sections);
        }
        if (state.sections == *first)
            first.reset();
    }
    state.cls = cls;
}

/// Counts the code of the distributed sections into `blocks`, leaving their instruction counts
/// and temporaries in `state`; the errors reported are those of the first distribution.
bool countFileCode(const ClassRec* cls, WriterState& state, const std::optional<EquationSections>& first,
                   std::vector<CodeBlock>& blocks)
{
    bool ok = true;
    if (first) {
        // Its errors are reported; the code is that of the list distributed again.
        ok = countCode(*first, state, blocks, true);
        ok = countCode(state.sections, state, blocks, false) && ok;
    } else {
        ok = countCode(state.sections, state, blocks, true);
    }
    state.counted = cls;
    return ok;
}

/// Runs `work` in a thread of its own until the end of the scope, keeping what it throws.
class Worker {
public:
    template <class Work>
    explicit Worker(Work work)
        : m_thread([this, work = std::move(work)] {
              try {
                  work();
              } catch (...) {
                  m_failure = std::current_exception();
              }
          })
    {
    }
    /// Waits for the work.
    void wait()
    {
        if (m_thread.joinable())
            m_thread.join();
    }
    /// Waits for the work; rethrows what it threw.
    void finish()
    {
        wait();
        if (m_failure)
            std::rethrow_exception(std::exchange(m_failure, nullptr));
    }

private:
    std::exception_ptr m_failure;
    std::jthread m_thread;
};

} // namespace

int ttwrite_code_equations(ClassRec* cls, std::string& out)
{
    if (!cls || !cls->equations)
        return 0;
    WriterState& state = writerState();
    std::optional<EquationSections> first;
    distributeForFiles(cls, state, first);
    std::vector<CodeBlock> blocks;
    const bool ok = countFileCode(cls, state, first, blocks);
    out += unnamedSection(state.maxTemporaries);
    generateCode(state.sections, state, blocks, false, [&out](std::string_view code, std::string_view) {
        out += code;
        return true;
    });
    return ok ? 1 : 0;
}

int ttwrite_code_files(ClassRec* cls)
{
    return ttwrite_code_files(cls, Startup().WorkingDirectory);
}

namespace {
int writeFiles(ClassRec* cls, const std::string& directory, const std::string& base,
               std::vector<EquationRec*>* order);
}

int ttwrite_code_files(ClassRec* cls, const std::string& directory, std::vector<EquationRec*>* order)
{
    if (!cls || cls->type != CLASS_DYN || !cls->equations) {
        reportError("code generation of non-dynamic model not possible.");
        return 0;
    }
    std::string base = formatMessage("%.*s%d", 10, cls->name.c_str(), static_cast<int>(cls->version));
    int result = writeFiles(cls, directory, base, order);
    writerState() = WriterState{}; // records of this class may be released after the run
    return result;
}

namespace {

int writeFiles(ClassRec* cls, const std::string& directory, const std::string& base,
               std::vector<EquationRec*>* order)
{
    // The declarations, which both files start with, are made and written while the equations
    // are distributed: each of the two reads what the other leaves as it is.
    WriterState& state = writerState();
    bool headerOk = false;
    std::optional<EquationSections> first;
    // Both files begin with the declarations, which go into the files' new texts as they are
    // made; the rest follows block by block once the code is counted, and the texts replace the
    // old files only when both are complete.
    PendingFile codeFile(MakeCodeFileName(directory, base));
    PendingFile equationFile(MakeEquationFileName(directory, base));
    {
        Worker declarations([&] {
            headerOk = makeDeclarations(cls, [&](std::string_view text) {
                codeFile.append(text);
                equationFile.append(text);
            });
        });
        distributeForFiles(cls, state, first, order);
        declarations.finish();
    }
    // The code file states each section's instruction count and the temporaries before the
    // code, which is why the code is counted before it is generated.
    std::vector<CodeBlock> blocks;
    const bool codeOk = countFileCode(cls, state, first, blocks) && headerOk;
    first.reset();
    if (!codeOk)
        return 0; // the old files stay: a half-generated code file must not look current
    codeFile.append(unnamedSection(state.maxTemporaries));
    // Each equation's text is made beside its code, and both go to their files block by block.
    const bool generated = generateCode(state.sections, state, blocks, true,
                                        [&](std::string_view code, std::string_view text) {
                                            const bool codeWritten = codeFile.append(code);
                                            return equationFile.append(text) && codeWritten;
                                        });
    if (!generated) {
        reportError("<error while writing code: the code differs from its count>");
        return 0;
    }
    {
        // Each new text is flushed to the disk while the other is.
        Worker equationWriter([&] { equationFile.finish(); });
        try {
            codeFile.finish();
            equationWriter.finish();
        } catch (...) {
            equationWriter.wait();
            codeFile.discard();
            equationFile.discard();
            throw;
        }
    }
    if (!installFiles(codeFile, equationFile))
        return 0;
    std::string done = "Declarations and sorted equations have been written to file " + base + ".e.";
    DisplayHooks().progress(done.c_str());
    return 1;
}

} // namespace
