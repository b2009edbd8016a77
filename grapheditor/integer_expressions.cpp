// Integer expressions: printing, checked evaluation, the scanner and the two
// parsers of typed text, copying, and the check before an argument is deleted.
#include "grapheditor/integer_expressions.h"

#include "common/message_boxes.h"
#include "common/model_file_rules.h"
#include "grapheditor/graph_objects.h"

#include <algorithm>
#include <optional>
#include <functional>

ExprPtr MakeConstant(int value)
{
    auto node = std::make_unique<Expr>();
    node->op = EXPR_CONSTANT;
    node->value = value;
    return node;
}

ExprPtr MakeArgumentReference(Argument* argument)
{
    auto node = std::make_unique<Expr>();
    node->op = EXPR_ARGUMENT;
    node->argument = argument;
    return node;
}

ExprPtr MakeOperator(int op, ExprPtr left, ExprPtr right)
{
    auto node = std::make_unique<Expr>();
    node->op = op;
    node->left = std::move(left);
    node->right = std::move(right);
    return node;
}

// ---------------------------------------------------------------------------------------------
// Printing

namespace {

/// What an operand's place asks to be put in parentheses: sums and differences,
/// also products and quotients, or every operator node.
enum Wrap { WrapNone = 0, WrapSums = 1, WrapBinary = 2, WrapAll = 3 };

bool isSum(int op) { return op == EXPR_PLUS || op == EXPR_MINUS; }
bool isProduct(int op) { return op == EXPR_TIMES || op == EXPR_DIVIDE; }

bool needsParentheses(const Expr& node, int wrap)
{
    if (isSum(node.op))
        return wrap >= WrapSums;
    if (isProduct(node.op))
        return wrap >= WrapBinary;
    if (node.op == EXPR_NEGATE || node.op == EXPR_POSITIVE || node.op == EXPR_RANGE)
        return wrap >= WrapAll;
    return false;
}

void appendText(std::string& out, const Expr* node, int wrap)
{
    if (!node)
        return;
    const bool parenthesised = needsParentheses(*node, wrap);
    if (parenthesised)
        out += '(';
    switch (node->op) {
    case EXPR_CONSTANT: out += std::to_string(node->value); break;
    case EXPR_ARGUMENT: out += node->argument ? node->argument->name : node->cutName; break;
    case EXPR_PLUS:
    case EXPR_MINUS:
        // The right operand of either is grouped, so that a - (b - c) and a + (b - c) keep their shape.
        appendText(out, node->left.get(), WrapNone);
        out += node->op == EXPR_PLUS ? " + " : " - ";
        appendText(out, node->right.get(), WrapSums);
        break;
    case EXPR_TIMES:
    case EXPR_DIVIDE:
        // A product or quotient as the right operand is grouped too: a / (b * c) is not a / b * c.
        appendText(out, node->left.get(), WrapSums);
        out += node->op == EXPR_TIMES ? " * " : " / ";
        appendText(out, node->right.get(), WrapBinary);
        break;
    case EXPR_NEGATE:
    case EXPR_POSITIVE: {
        // The sign binds tightest, so any operator below it is grouped. A sign of a sign
        // is set apart by a blank: - -1, never the bond token "--", and without the
        // parentheses that would nest the text deeper than the tree.
        out += node->op == EXPR_NEGATE ? "-" : "+";
        const Expr* operand = node->right.get();
        if (operand && (operand->op == EXPR_NEGATE || operand->op == EXPR_POSITIVE)) {
            out += ' ';
            appendText(out, operand, WrapNone);
        } else {
            appendText(out, operand, WrapAll);
        }
        break;
    }
    case EXPR_RANGE:
        appendText(out, node->left.get(), WrapSums);
        out += "..";
        appendText(out, node->right.get(), WrapSums);
        break;
    default: break;
    }
    if (parenthesised)
        out += ')';
}

} // namespace

std::string ExprText(const Expr* node, int parenthesise)
{
    std::string text;
    appendText(text, node, parenthesise ? WrapSums : WrapNone);
    return text;
}

std::string ListText(const ExprList& list)
{
    std::string text;
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (i > 0)
            text += ", ";
        appendText(text, list[i].get(), WrapNone);
    }
    return text;
}

int ListLength(const ExprList& list)
{
    return static_cast<int>(list.size());
}

int CheckListLength(const ExprList& list, std::string* error)
{
    if (list.size() <= static_cast<std::size_t>(kMaxListLength))
        return ListLength(list);
    if (error)
        *error = "expr.list length overflow";
    return -1;
}

// ---------------------------------------------------------------------------------------------
// Evaluation

namespace {

/// Gives the value an argument reference stands for: 0, or a negative code and the text.
using ReferenceValue = std::function<int(std::string& error, int& value, const Expr& reference)>;

int fail(std::string& error, int code, const char* text)
{
    error = text;
    return code;
}

int evaluateWith(std::string& error, int& value, const Expr* node, const ReferenceValue& reference)
{
    if (!node)
        return fail(error, -1, "null pointer");
    switch (node->op) {
    case EXPR_CONSTANT: value = node->value; return 0;
    case EXPR_ARGUMENT: return reference(error, value, *node);
    case EXPR_NEGATE:
    case EXPR_POSITIVE:
    case EXPR_PLUS:
    case EXPR_MINUS:
    case EXPR_TIMES:
    case EXPR_DIVIDE: {
        const bool sign = node->op == EXPR_NEGATE || node->op == EXPR_POSITIVE;
        int left = 0;
        int right = 0;
        if (!sign)
            if (int code = evaluateWith(error, left, node->left.get(), reference))
                return code;
        if (int code = evaluateWith(error, right, node->right.get(), reference))
            return code;
        const IntegerOperator op = node->op == EXPR_NEGATE     ? IntegerOperator::Negate
                                   : node->op == EXPR_POSITIVE ? IntegerOperator::Positive
                                   : node->op == EXPR_PLUS     ? IntegerOperator::Plus
                                   : node->op == EXPR_MINUS    ? IntegerOperator::Minus
                                   : node->op == EXPR_TIMES    ? IntegerOperator::Times
                                                               : IntegerOperator::Divide;
        switch (ApplyIntegerOperator(op, left, right, value)) {
        case IntegerFault::None: return 0;
        case IntegerFault::DivisionByZero: return fail(error, -4, "division by zero");
        case IntegerFault::Overflow: break;
        }
        return fail(error, -7, "integer overflow");
    }
    default: return fail(error, -8, "wrong operand or operator");
    }
}

int argumentValue(std::string& error, int& value, const Expr& reference)
{
    if (!reference.argument)
        return fail(error, -2, "internal error");
    if (!reference.argument->hasValue)
        return fail(error, -3, "value unknown");
    value = reference.argument->value;
    return 0;
}

} // namespace

int Evaluate(std::string& error, int& value, const Expr* node)
{
    return evaluateWith(error, value, node, argumentValue);
}

int EvaluateRange(std::string& error, int& low, int& high, const Expr* node)
{
    if (node && node->op == EXPR_RANGE) {
        if (int code = Evaluate(error, low, node->left.get())) {
            error = "in low bound: " + error;
            return code;
        }
        if (int code = Evaluate(error, high, node->right.get())) {
            error = "in high bound: " + error;
            return code;
        }
        if (high < low)
            return fail(error, -6, "high bound less than low");
        return 0;
    }
    if (int code = Evaluate(error, low, node)) {
        error = "in range: " + error;
        return code;
    }
    high = low;
    return 0;
}

int EvaluateForInstance(std::string& error, int& value, const Expr* node, const Submodel& submodel)
{
    auto actual = [&submodel](std::string& err, int& result, const Expr& reference) {
        if (!reference.argument)
            return fail(err, -2, "internal error");
        const GraphModel* type = submodel.type ? submodel.type->interface.get() : nullptr;
        if (!type)
            return fail(err, -10, "internal error");
        const ArgumentList& formal = type->arguments;
        auto at = std::find_if(formal.begin(), formal.end(),
                               [&](const std::unique_ptr<Argument>& a) { return a.get() == reference.argument; });
        const auto position = static_cast<std::size_t>(at - formal.begin());
        if (at == formal.end() || position >= submodel.arguments.size())
            return fail(err, -11, "internal error");
        return Evaluate(err, result, submodel.arguments[position].get());
    };
    return evaluateWith(error, value, node, actual);
}

// ---------------------------------------------------------------------------------------------
// Scanner

bool ParseTokenInteger(std::string_view digits, int& value)
{
    const std::optional<std::int32_t> literal = IntegerLiteral(digits);
    if (literal)
        value = *literal;
    return literal.has_value();
}

namespace {
bool isLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
} // namespace

ExpressionScanner::ExpressionScanner(std::string_view text, const ArgumentList& arguments)
    : m_text(text.substr(0, std::min(text.size(), text.find('\0')))), m_arguments(arguments)
{
}

int ExpressionScanner::next()
{
    while (m_pos < m_text.size() && (m_text[m_pos] == ' ' || m_text[m_pos] == '\t'))
        ++m_pos;
    m_argument = nullptr;
    if (m_pos >= m_text.size()) {
        m_token.clear();
        return XT_END;
    }
    const std::size_t start = m_pos;
    const char c = m_text[m_pos];
    auto take = [&](std::size_t length, int token) {
        m_token.assign(m_text.substr(start, length));
        m_pos = start + length;
        if (length > kMaxTokenLength) {
            m_token.resize(kMaxTokenLength);
            m_error = "token too long";
            return static_cast<int>(XT_ERROR);
        }
        return token;
    };
    std::size_t end = start + 1;
    if (isLetter(c) || c == '_') {
        while (end < m_text.size() && (isLetter(m_text[end]) || isDigit(m_text[end]) || m_text[end] == '_'))
            ++end;
        int token = take(end - start, XT_OTHER);
        if (token == XT_ERROR)
            return token;
        for (const auto& argument : m_arguments) {
            if (argument->name == m_token) {
                m_argument = argument.get();
                return XT_ARGUMENT;
            }
        }
        return XT_OTHER;
    }
    if (isDigit(c)) {
        while (end < m_text.size() && isDigit(m_text[end]))
            ++end;
        int token = take(end - start, XT_INTEGER);
        if (token == XT_INTEGER && !ParseTokenInteger(m_token, m_value)) {
            m_error = "integer too large";
            return XT_ERROR;
        }
        return token;
    }
    switch (c) {
    case '+': return take(1, XT_PLUS);
    case '-': return take(1, XT_MINUS);
    case '*': return take(1, XT_TIMES);
    case '/': return take(1, XT_DIVIDE);
    case ',': return take(1, XT_COMMA);
    case '(': return take(1, XT_OPEN);
    case ')': return take(1, XT_CLOSE);
    case '\n': return take(1, XT_NEWLINE);
    case '.':
        if (start + 1 < m_text.size() && m_text[start + 1] == '.')
            return take(2, XT_UPTO);
        return take(1, XT_OTHER);
    default: return take(1, XT_OTHER);
    }
}

// ---------------------------------------------------------------------------------------------
// Parsers

namespace {

struct ParseFailure {
    std::string message;
};

/// A tree being built and its depth.
struct Parsed {
    ExprPtr node;
    int depth = 0;
};

/// Recursive descent over the scanner's tokens; a unary sign binds tightest, then
/// "*" and "/", then "+" and "-", binary operators grouping to the left.
class ExpressionParser {
public:
    ExpressionParser(std::string_view text, const ArgumentList& arguments) : m_scanner(text, arguments)
    {
        advance();
    }

    // size list: empty | expr {"," expr}
    ExprList sizeList()
    {
        ExprList list;
        if (m_token == XT_END)
            return list;
        for (;;) {
            append(list, expr().node);
            if (m_token != XT_COMMA)
                break;
            advance();
        }
        expect(XT_END);
        return list;
    }

    // range list: item {"," item}; item: empty | expr [".." expr]
    ExprList rangeList()
    {
        ExprList list;
        for (;;) {
            Parsed item;
            if (m_token != XT_COMMA && m_token != XT_END) {
                item = expr();
                if (m_token == XT_UPTO) {
                    advance();
                    item = combine(EXPR_RANGE, std::move(item), expr());
                }
            }
            append(list, std::move(item.node));
            if (m_token != XT_COMMA)
                break;
            advance();
        }
        expect(XT_END);
        return list;
    }

private:
    [[noreturn]] void error(const char* message)
    {
        std::string token = m_scanner.text().substr(0, 30);
        throw ParseFailure{std::string(message).substr(0, 50) + ": " + token};
    }

    void advance()
    {
        m_token = m_scanner.next();
        if (m_token == XT_ERROR)
            error(m_scanner.error());
    }

    void expect(int token)
    {
        if (m_token != token)
            error("syntax error");
        advance();
    }

    void append(ExprList& list, ExprPtr item)
    {
        if (list.size() >= static_cast<std::size_t>(kMaxListLength))
            error("expr.list length overflow");
        list.push_back(std::move(item));
    }

    Parsed combine(int op, Parsed left, Parsed right)
    {
        int depth = 1 + std::max(left.depth, right.depth);
        if (depth > kMaxExpressionDepth)
            error("expression nested too deeply");
        return {MakeOperator(op, std::move(left.node), std::move(right.node)), depth};
    }

    // expr: term {("+" | "-") term}
    Parsed expr()
    {
        if (++m_nesting > kMaxExpressionDepth)
            error("expression nested too deeply");
        Parsed left = term();
        while (m_token == XT_PLUS || m_token == XT_MINUS) {
            int op = m_token == XT_PLUS ? EXPR_PLUS : EXPR_MINUS;
            advance();
            left = combine(op, std::move(left), term());
        }
        --m_nesting;
        return left;
    }

    // term: unary {("*" | "/") unary}
    Parsed term()
    {
        Parsed left = unary();
        while (m_token == XT_TIMES || m_token == XT_DIVIDE) {
            int op = m_token == XT_TIMES ? EXPR_TIMES : EXPR_DIVIDE;
            advance();
            left = combine(op, std::move(left), unary());
        }
        return left;
    }

    // unary: ("-" | "+") unary | primary
    Parsed unary()
    {
        if (m_token != XT_MINUS && m_token != XT_PLUS)
            return primary();
        if (++m_nesting > kMaxExpressionDepth)
            error("expression nested too deeply");
        int op = m_token == XT_MINUS ? EXPR_NEGATE : EXPR_POSITIVE;
        advance();
        Parsed sign = combine(op, Parsed{}, unary());
        --m_nesting;
        return sign;
    }

    // primary: integer | argument | "(" expr ")"
    Parsed primary()
    {
        switch (m_token) {
        case XT_INTEGER: {
            Parsed leaf{MakeConstant(m_scanner.value()), 1};
            advance();
            return leaf;
        }
        case XT_ARGUMENT: {
            Parsed leaf{MakeArgumentReference(m_scanner.argument()), 1};
            advance();
            return leaf;
        }
        case XT_OPEN: {
            advance();
            Parsed inner = expr();
            expect(XT_CLOSE);
            return inner;
        }
        default: error("syntax error");
        }
    }

    ExpressionScanner m_scanner;
    int m_token = XT_END;
    int m_nesting = 0; ///< expressions and signs being read, one inside the other
};

int parseList(std::string_view text, ExprList& out, const ArgumentList& arguments, std::string* error,
              bool ranges)
{
    try {
        ExpressionParser parser(text, arguments);
        out = ranges ? parser.rangeList() : parser.sizeList();
        return 0;
    } catch (const ParseFailure& failure) {
        if (error)
            *error = failure.message;
    } catch (const std::bad_alloc&) {
        if (error)
            *error = "out of memory: ";
    }
    out.clear();
    return -1;
}

} // namespace

int ParseSizeList(std::string_view text, ExprList& out, const ArgumentList& arguments, std::string* error)
{
    return parseList(text, out, arguments, error, false);
}

int ParseRangeList(std::string_view text, ExprList& out, const ArgumentList& arguments, std::string* error)
{
    return parseList(text, out, arguments, error, true);
}

// ---------------------------------------------------------------------------------------------
// Copies and walks

ExprPtr CopyExpr(const Expr* node)
{
    if (!node)
        return nullptr;
    auto copy = std::make_unique<Expr>();
    copy->op = node->op;
    copy->value = node->value;
    copy->argument = node->argument;
    copy->cutName = node->cutName;
    copy->left = CopyExpr(node->left.get());
    copy->right = CopyExpr(node->right.get());
    return copy;
}

ExprList CopyList(const ExprList& list)
{
    ExprList copy;
    copy.reserve(list.size());
    for (const ExprPtr& item : list)
        copy.push_back(CopyExpr(item.get()));
    return copy;
}

ExprList MakeRange(int low, int high)
{
    ExprList list;
    list.push_back(MakeOperator(EXPR_RANGE, MakeConstant(low), MakeConstant(high)));
    return list;
}

namespace {

/// Calls `visit` on every node of the list's trees until it answers false.
bool walkList(const ExprList& list, const std::function<bool(Expr&)>& visit)
{
    std::function<bool(Expr*)> walk = [&](Expr* node) {
        if (!node)
            return true;
        return visit(*node) && walk(node->left.get()) && walk(node->right.get());
    };
    for (const ExprPtr& item : list)
        if (!walk(item.get()))
            return false;
    return true;
}

} // namespace

bool ListUsesArgument(const ExprList& list, const Argument* argument)
{
    return !walkList(list, [argument](Expr& node) { return !(node.op == EXPR_ARGUMENT && node.argument == argument); });
}

bool ListHasCutReference(const ExprList& list)
{
    return !walkList(list, [](Expr& node) { return !(node.op == EXPR_ARGUMENT && !node.argument); });
}

int CanDeleteArgument(const Argument& argument, GraphModel& model)
{
    bool confirmed = false;
    auto visit = [&](Expr& node) {
        if (node.op != EXPR_ARGUMENT || node.argument != &argument)
            return true;
        if (!confirmed &&
            !ShowConfirm("Cancel", "Delete Argument",
                         {"Argument " + argument.name.substr(0, 30) + " is used in the model.",
                          "Press OK if you still want to delete it."}))
            return false;
        confirmed = true;
        node.cutName = argument.name;
        node.argument = nullptr;
        return true;
    };
    if (!walkList(DefaultSizeList(), visit))
        return 0;
    for (Connection& connection : model.connections) {
        if (!walkList(connection.size, visit))
            return 0;
        for (ConnectionEnd& end : connection.ends)
            if (!walkList(end.instanceIndex, visit) || !walkList(end.portIndex, visit))
                return 0;
    }
    for (Submodel& submodel : model.submodels)
        if (!walkList(submodel.size, visit) || !walkList(submodel.arguments, visit))
            return 0;
    return 1;
}
