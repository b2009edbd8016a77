// The equation translator: a small tokenizer that keeps the blanks between tokens,
// keyword and function mapping, infix operators as calls, and array references.
#include "codegen/equation_translator.h"

#include "common/message_boxes.h"

#include <algorithm>
#include <cctype>
#include <limits>
#include <optional>
#include <string_view>

namespace {

enum class TokenKind { Space, Word, Number, Symbol, Reference, Time };

struct Token {
    TokenKind kind;
    std::string text;     ///< as it goes into the C text
    std::string readable; ///< as it goes into the readable copy
};

using Tokens = std::vector<Token>;

Token make(TokenKind kind, std::string text)
{
    Token token{kind, text, text};
    return token;
}

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

bool isDigit(char c)
{
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

bool isWordStart(char c)
{
    return std::isalpha(static_cast<unsigned char>(c)) != 0 || c == '_';
}

bool isWordChar(char c)
{
    return isWordStart(c) || isDigit(c);
}

/// Splits model text into words, numbers, symbols and runs of white space; a
/// backslash (a line continuation mark) is dropped.
Tokens tokenize(std::string_view text)
{
    Tokens tokens;
    std::size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        std::size_t start = i;
        if (c == '\\') {
            ++i;
        } else if (isSpace(c)) {
            while (i < text.size() && isSpace(text[i]))
                ++i;
            tokens.push_back(make(TokenKind::Space, std::string(text.substr(start, i - start))));
        } else if (isWordStart(c)) {
            while (i < text.size() && isWordChar(text[i]))
                ++i;
            tokens.push_back(make(TokenKind::Word, std::string(text.substr(start, i - start))));
        } else if (isDigit(c) || (c == '.' && i + 1 < text.size() && isDigit(text[i + 1]))) {
            while (i < text.size() && isDigit(text[i]))
                ++i;
            if (i < text.size() && text[i] == '.')
                for (++i; i < text.size() && isDigit(text[i]);)
                    ++i;
            if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
                std::size_t j = i + 1;
                if (j < text.size() && (text[j] == '+' || text[j] == '-'))
                    ++j;
                if (j < text.size() && isDigit(text[j])) {
                    for (i = j; i < text.size() && isDigit(text[i]);)
                        ++i;
                }
            }
            tokens.push_back(make(TokenKind::Number, std::string(text.substr(start, i - start))));
        } else {
            static constexpr std::string_view kLong[] = {"=/=", "==", "<=", ">="};
            std::size_t length = 1;
            for (std::string_view symbol : kLong)
                if (text.substr(i).starts_with(symbol)) {
                    length = symbol.size();
                    break;
                }
            tokens.push_back(make(TokenKind::Symbol, std::string(text.substr(i, length))));
            i += length;
        }
    }
    return tokens;
}

/// Keldor functions and the names they take in the generated C.
struct FunctionName {
    const char* keldor;
    const char* c;
};

constexpr FunctionName kFunctions[] = {
    {"step", "XXStep"},
    {"ramp", "XXRamp"},
    {"dly", "XXDelay"},
    {"abs", "XXAbsolute"},
    {"exp2", "XXExponent2"},
    {"exp10", "XXExponent10"},
    {"log2", "XXLogarithm2"},
    {"log10", "XXLogarithm10"},
    {"pow2", "XXPower2"},
    {"ran", "XXRandom"},
    {"sign", "XXSign"},
    {"arccosh", "XXArcCosineHyperbolic"},
    {"arcsinh", "XXArcSineHyperbolic"},
    {"arctanh", "XXArcTangentHyperbolic"},
    {"arcsin", "asin"},
    {"arccos", "acos"},
    {"arctan", "atan"},
    {"exp", "exp"},
    {"log", "log"},
    {"sin", "sin"},
    {"cos", "cos"},
    {"tan", "tan"},
    {"sinh", "sinh"},
    {"cosh", "cosh"},
    {"tanh", "tanh"},
    {"sqrt", "sqrt"},
    {"atan2", "atan2"},
};

const char* cFunctionName(std::string_view keldor)
{
    for (const FunctionName& f : kFunctions)
        if (keldor == f.keldor)
            return f.c;
    return nullptr;
}

/// Functions the generated code has no counterpart for, with their messages.
struct Unsupported {
    const char* text;
    const char* message;
};

constexpr Unsupported kUnsupported[] = {
    {"tdly", "Function \"tdly\" (time-delay) is not supported in code generation"},
    {"dll_function", "Function \"dll_function\" (dll functionality) is not supported in code generation"},
    {"reset", "Function \"reset\" (resetable integrator) is not supported in code generation"},
    {"from_file", "Function \"from_file\" (input from file) is not supported in code generation"},
};

/// Reference letters whose kind has an array in the generated code.
bool hasArray(char letter)
{
    return letter == 'P' || letter == 'V' || letter == 's' || letter == 'R';
}

/// Letters that name a quantity in an equation ('I' and 'C' as the model processor writes them).
bool isReferenceLetter(char letter)
{
    return std::string_view("APRSVarsUIC").find(letter) != std::string_view::npos;
}

/// A word that names a quantity: its letter and the ordinal, "V12".
bool isReferenceWord(std::string_view word)
{
    return word.size() > 1 && isReferenceLetter(word[0]) && std::all_of(word.begin() + 1, word.end(), isDigit);
}

/// The largest ordinal a reference may carry; larger ones are refused.
constexpr std::int64_t kMaxOrdinal = 9999999;

/// The tokens of an equation as a doubly linked chain: a token is replaced, or a call built
/// around two operands, without moving any other, and each bracket knows its partner, so that
/// every pass stays linear however deeply the equation nests.
class TokenChain {
public:
    static constexpr std::size_t kNone = std::numeric_limits<std::size_t>::max();

    TokenChain() = default;
    explicit TokenChain(Tokens tokens)
    {
        m_nodes.reserve(2 * tokens.size()); // room for what the passes insert, mostly
        for (Token& token : tokens)
            link(std::move(token), m_last, kNone);
    }

    std::size_t first() const { return m_first; }
    std::size_t next(std::size_t i) const { return m_nodes[i].next; }
    std::size_t prev(std::size_t i) const { return m_nodes[i].prev; }
    Token& operator[](std::size_t i) { return m_nodes[i].token; }
    const Token& operator[](std::size_t i) const { return m_nodes[i].token; }

    /// The other bracket of a pair; none for a token that is no bracket or has no partner.
    std::size_t partner(std::size_t i) const { return m_nodes[i].partner; }

    std::size_t insertBefore(std::size_t at, Token token) { return link(std::move(token), m_nodes[at].prev, at); }
    std::size_t insertAfter(std::size_t at, Token token) { return link(std::move(token), at, m_nodes[at].next); }

    void unlink(std::size_t i)
    {
        Node& node = m_nodes[i];
        (node.prev == kNone ? m_first : m_nodes[node.prev].next) = node.next;
        (node.next == kNone ? m_last : m_nodes[node.next].prev) = node.prev;
    }

    void pair(std::size_t open, std::size_t close)
    {
        m_nodes[open].partner = close;
        m_nodes[close].partner = open;
    }

    /// Pairs every "(" with the ")" that closes it; an unclosed or unopened one keeps none.
    void pairBrackets()
    {
        std::vector<std::size_t> open;
        for (std::size_t i = m_first; i != kNone; i = next(i)) {
            if ((*this)[i].text == "(") {
                open.push_back(i);
            } else if ((*this)[i].text == ")" && !open.empty()) {
                pair(open.back(), i);
                open.pop_back();
            }
        }
    }

private:
    struct Node {
        Token token;
        std::size_t prev;
        std::size_t next;
        std::size_t partner = kNone;
    };

    std::size_t link(Token token, std::size_t prev, std::size_t next)
    {
        const std::size_t i = m_nodes.size();
        m_nodes.push_back(Node{std::move(token), prev, next});
        (prev == kNone ? m_first : m_nodes[prev].next) = i;
        (next == kNone ? m_last : m_nodes[next].prev) = i;
        return i;
    }

    std::vector<Node> m_nodes;
    std::size_t m_first = kNone;
    std::size_t m_last = kNone;
};

constexpr std::size_t kNone = TokenChain::kNone;

/// Why dependent states and rates cannot be exported, in the modeller's words.
const std::string kDerivativeCausality =
    "A model with a mass, an inertia or another storage in derivative causality, or a ddt, cannot be exported.";

/// One equation being translated, with the refusal message once one was found.
class Translation {
public:
    Translation(EquationRecord& equation, GeneratorModel& model, const std::string& where)
        : m_equation(equation), m_model(model), m_where(where)
    {
    }

    bool run()
    {
        for (const Unsupported& f : kUnsupported)
            if (m_equation.text.find(f.text) != std::string::npos)
                return refuse(f.message);
        Tokens tokens = tokenize(m_equation.text);
        tokens.push_back(make(TokenKind::Symbol, ";"));
        m_tokens = TokenChain(std::move(tokens));
        if (!mapWords() || !mapConditionals())
            return false;
        m_tokens.pairBrackets();
        for (auto [op, name] : {std::pair{"div", "XXIntegerDivide"}, std::pair{"mod", "XXIntegerModulo"},
                                std::pair{"power", "XXPower"}})
            if (!infixToCall(op, name))
                return false;
        if (!divideInDouble() || !checkLeftHandSide())
            return false;
        m_equation.text = join(&Token::text);
        m_equation.readable = join(&Token::readable);
        FindLeftHandSide(m_equation, m_model);
        return true;
    }

private:
    bool refuse(const std::string& message, const std::string& explanation = {})
    {
        std::vector<std::string> lines{message};
        if (!explanation.empty())
            lines.push_back(explanation);
        lines.push_back("in equation: " + oneLine(m_equation.text));
        if (!m_where.empty())
            lines.push_back(m_where);
        ShowMessageLines(lines);
        return false;
    }

    static std::string oneLine(const std::string& text)
    {
        std::string line;
        for (char c : text) {
            if (c == '\\')
                continue;
            if (isSpace(c)) {
                if (!line.empty() && line.back() != ' ')
                    line += ' ';
            } else {
                line += c;
            }
        }
        while (!line.empty() && line.back() == ' ')
            line.pop_back();
        return line;
    }

    /// Keywords, functions, references and time; anything else is refused.
    bool mapWords()
    {
        for (std::size_t i = m_tokens.first(); i != kNone; i = m_tokens.next(i)) {
            Token& token = m_tokens[i];
            if (token.kind == TokenKind::Symbol) {
                if (token.text == "=/=") {
                    token.text = "!=";
                } else if (token.text == "[") {
                    std::optional<std::size_t> before = previousSignificant(i);
                    if (before && m_tokens[*before].kind == TokenKind::Reference)
                        return refuse("An element with a computed index is not supported in code generation");
                    return refuse("Unexpected \"[\" in an equation");
                } else if (std::string_view("=()+-*/<>,;").find(token.text) == std::string_view::npos &&
                           token.text != "==" && token.text != "<=" && token.text != ">=") {
                    return refuse("Unexpected \"" + token.text + "\" in an equation");
                }
                continue;
            }
            if (token.kind != TokenKind::Word)
                continue;
            const std::string word = token.text;
            if (word == "and" || word == "or" || word == "not") {
                token = make(TokenKind::Symbol, word == "and" ? "&&" : word == "or" ? "||" : "!");
            } else if (word == "true" || word == "false") {
                token = make(TokenKind::Number, word == "true" ? "1" : "0");
            } else if (word == "t") {
                token = Token{TokenKind::Time, "xx_simulation_time", "t"};
            } else if (isReferenceWord(word)) {
                if (!mapReference(token))
                    return false;
            } else if (const char* name = cFunctionName(word)) {
                std::optional<std::size_t> next = nextSignificant(i);
                if (!next || m_tokens[*next].text != "(")
                    return refuse("Function \"" + word + "\" is used without its arguments");
                token.text = name;
                token.readable = name;
            } else if (word == "if" || word == "then" || word == "elseif" || word == "else" || word == "fi" ||
                       word == "div" || word == "mod" || word == "power") {
                // mapped in later passes
            } else {
                std::optional<std::size_t> next = nextSignificant(i);
                if (next && m_tokens[*next].text == "(")
                    return refuse("Function \"" + word + "\" is not supported in code generation");
                return refuse("Unknown name \"" + word + "\" in an equation");
            }
        }
        return true;
    }

    bool mapReference(Token& token)
    {
        const char letter = token.text[0];
        if (token.text.size() > 8)
            return refuse("The reference " + token.text + " is out of range");
        const std::int64_t ordinal = std::stoll(token.text.substr(1));
        const VariableList* records = m_model.list(letter);
        if (!hasArray(letter) || ordinal > kMaxOrdinal) {
            // The model's own name of the quantity says which one it is.
            std::string named;
            if (records && static_cast<std::size_t>(ordinal) < records->size())
                named = ", " + (*records)[static_cast<std::size_t>(ordinal)]->firstName();
            return refuse("The quantity " + token.text + " (" + kindName(letter) + named +
                              ") has no array in the generated code",
                          letter == 'S' || letter == 'r' ? kDerivativeCausality : std::string());
        }
        std::string readable = token.text;
        if (records && static_cast<std::size_t>(ordinal) < records->size())
            readable = (*records)[static_cast<std::size_t>(ordinal)]->firstName();
        std::int32_t& extent = m_model.indexedExtent[letter];
        extent = std::max(extent, static_cast<std::int32_t>(ordinal + 1));
        token = Token{TokenKind::Reference, std::string(1, letter) + "[" + std::to_string(ordinal) + "]", readable};
        return true;
    }

    static std::string kindName(char letter)
    {
        switch (letter) {
        case 'S': return "a dependent state";
        case 'r': return "a dependent rate";
        case 'A': return "an algebraic-loop output";
        case 'a': return "an algebraic-loop input";
        case 'U': return "a temporary";
        case 'I': return "an initial condition";
        case 'C': return "a constant";
        default: return "an element";
        }
    }

    /// if c then a elseif d then b else e fi becomes ( c ) ? ( a ) : ( d ) ? ( b ) : ( e ), with
    /// the blanks of the source; a conditional that is not the whole right-hand side gets
    /// one more pair of parentheses so that it stays one operand.
    bool mapConditionals()
    {
        std::vector<std::size_t> open;
        for (std::size_t i = m_tokens.first(); i != kNone; i = m_tokens.next(i)) {
            if (m_tokens[i].kind != TokenKind::Word)
                continue;
            const std::string word = m_tokens[i].text;
            if (word == "if") {
                open.push_back(i);
            } else if (word == "fi") {
                if (open.empty())
                    return refuse("\"fi\" without \"if\"");
                const std::size_t start = open.back();
                open.pop_back();
                std::optional<std::size_t> before = previousSignificant(start);
                std::optional<std::size_t> after = nextSignificant(i);
                const bool whole = before && m_tokens[*before].text == "=" && after && m_tokens[*after].text == ";";
                i = replace(i, whole ? Tokens{symbol(")")} : Tokens{symbol(")"), symbol(")")});
                replace(start, whole ? Tokens{symbol("(")} : Tokens{symbol("("), symbol("(")});
            } else if (word == "then" || word == "else" || word == "elseif") {
                if (open.empty())
                    return refuse("\"" + word + "\" without \"if\"");
                i = replace(i, {symbol(")"), make(TokenKind::Space, " "), symbol(word == "then" ? "?" : ":"),
                                make(TokenKind::Space, " "), symbol("(")});
            }
        }
        if (!open.empty())
            return refuse("\"if\" without \"fi\"");
        return true;
    }

    static Token symbol(const char* text) { return make(TokenKind::Symbol, text); }

    /// Puts the tokens in place of the one at `at`; the last of them, where the walk goes on.
    std::size_t replace(std::size_t at, const Tokens& with)
    {
        std::size_t last = at;
        for (const Token& token : with)
            last = m_tokens.insertBefore(at, token);
        m_tokens.unlink(at);
        return last;
    }

    std::optional<std::size_t> previousSignificant(std::size_t i) const
    {
        for (i = m_tokens.prev(i); i != kNone; i = m_tokens.prev(i))
            if (m_tokens[i].kind != TokenKind::Space)
                return i;
        return std::nullopt;
    }

    std::optional<std::size_t> nextSignificant(std::size_t i) const
    {
        for (i = m_tokens.next(i); i != kNone; i = m_tokens.next(i))
            if (m_tokens[i].kind != TokenKind::Space)
                return i;
        return std::nullopt;
    }

    bool isOperandEnd(std::size_t i) const
    {
        const Token& t = m_tokens[i];
        return t.kind == TokenKind::Number || t.kind == TokenKind::Reference || t.kind == TokenKind::Time ||
               t.text == ")";
    }

    static bool isOperatorWord(const Token& t)
    {
        return t.kind == TokenKind::Word && (t.text == "div" || t.text == "mod" || t.text == "power");
    }

    bool isPrefix(const Token& t) const { return t.text == "-" || t.text == "+" || t.text == "!"; }

    /// The first token of the operand that ends at `last`: a leaf, a parenthesised
    /// group or a call, with the prefix signs directly before it.
    std::optional<std::size_t> operandStart(std::size_t last) const
    {
        std::size_t start = last;
        if (m_tokens[last].text == ")") {
            start = m_tokens.partner(last);
            if (start == kNone)
                return std::nullopt;
            const std::size_t before = m_tokens.prev(start);
            if (before != kNone && m_tokens[before].kind == TokenKind::Word && !isOperatorWord(m_tokens[before]))
                start = before;
        } else if (!isOperandEnd(last)) {
            return std::nullopt;
        }
        for (std::size_t sign = m_tokens.prev(start); sign != kNone && isPrefix(m_tokens[sign]);
             sign = m_tokens.prev(start)) {
            std::optional<std::size_t> before = previousSignificant(sign);
            if (before && isOperandEnd(*before))
                break;
            start = sign;
        }
        return start;
    }

    /// The last token of the operand that starts at `first`.
    std::optional<std::size_t> operandEnd(std::size_t first) const
    {
        std::size_t i = first;
        while (i != kNone && (isPrefix(m_tokens[i]) || m_tokens[i].kind == TokenKind::Space))
            i = m_tokens.next(i);
        if (i == kNone)
            return std::nullopt;
        if (m_tokens[i].kind == TokenKind::Word && m_tokens.next(i) != kNone && m_tokens[m_tokens.next(i)].text == "(")
            i = m_tokens.next(i);
        if (m_tokens[i].text == "(") {
            const std::size_t close = m_tokens.partner(i);
            return close == kNone ? std::nullopt : std::optional<std::size_t>(close);
        }
        if (m_tokens[i].kind == TokenKind::Number || m_tokens[i].kind == TokenKind::Reference ||
            m_tokens[i].kind == TokenKind::Time)
            return i;
        return std::nullopt;
    }

    /// a op b becomes name(a, b) for each occurrence of the operator word, from the left; the
    /// operands' tokens stay where they are.
    bool infixToCall(const std::string& op, const std::string& name)
    {
        std::vector<std::size_t> occurrences;
        for (std::size_t i = m_tokens.first(); i != kNone; i = m_tokens.next(i))
            if (m_tokens[i].kind == TokenKind::Word && m_tokens[i].text == op)
                occurrences.push_back(i);
        for (const std::size_t p : occurrences) {
            std::optional<std::size_t> last = previousSignificant(p);
            std::optional<std::size_t> first = last ? operandStart(*last) : std::nullopt;
            std::optional<std::size_t> right = nextSignificant(p);
            std::optional<std::size_t> end = right ? operandEnd(*right) : std::nullopt;
            if (!first || !end)
                return refuse("The operator \"" + op + "\" is missing an operand");
            const std::size_t leftStart = first.value_or(kNone), rightStart = right.value_or(kNone);
            // the operator and the blanks around it give way to the comma
            for (std::size_t i = m_tokens.next(last.value_or(kNone)); i != rightStart;) {
                const std::size_t following = m_tokens.next(i);
                m_tokens.unlink(i);
                i = following;
            }
            m_tokens.insertBefore(rightStart, symbol(","));
            m_tokens.insertBefore(rightStart, make(TokenKind::Space, " "));
            m_tokens.insertBefore(leftStart, make(TokenKind::Word, name));
            m_tokens.pair(m_tokens.insertBefore(leftStart, symbol("(")),
                          m_tokens.insertAfter(end.value_or(kNone), symbol(")")));
        }
        return true;
    }

    /// The model computes in reals: integer literals in a divisor become real literals,
    /// so that C never divides two integers.
    bool divideInDouble()
    {
        std::vector<std::size_t> divisorEnds; // of the divisors the walk is in, innermost last
        for (std::size_t i = m_tokens.first(); i != kNone; i = m_tokens.next(i)) {
            Token& t = m_tokens[i];
            if (!divisorEnds.empty() && t.kind == TokenKind::Number &&
                std::all_of(t.text.begin(), t.text.end(), isDigit))
                t.text += ".0";
            while (!divisorEnds.empty() && divisorEnds.back() == i)
                divisorEnds.pop_back();
            if (t.text != "/" || t.kind != TokenKind::Symbol)
                continue;
            std::optional<std::size_t> right = nextSignificant(i);
            std::optional<std::size_t> end = right ? operandEnd(*right) : std::nullopt;
            if (!end)
                return refuse("The operator \"/\" is missing an operand");
            divisorEnds.push_back(*end);
        }
        return true;
    }

    /// The equation must begin with an array element followed by "=".
    bool checkLeftHandSide()
    {
        while (m_tokens.first() != kNone && m_tokens[m_tokens.first()].kind == TokenKind::Space)
            m_tokens.unlink(m_tokens.first());
        const std::size_t front = m_tokens.first();
        std::optional<std::size_t> assign = front == kNone ? std::nullopt : nextSignificant(front);
        if (front == kNone || m_tokens[front].kind != TokenKind::Reference || !assign ||
            m_tokens[*assign].text != "=")
            return refuse("The equation does not assign a quantity");
        return true;
    }

    /// The texts of all tokens; two signs of the same kind in a row keep a blank between
    /// them, so that C does not read them as an increment or decrement.
    std::string join(std::string Token::*field) const
    {
        std::string out;
        for (std::size_t i = m_tokens.first(); i != kNone; i = m_tokens.next(i)) {
            const std::string& piece = m_tokens[i].*field;
            if (!out.empty() && !piece.empty() && (piece[0] == '-' || piece[0] == '+') && out.back() == piece[0])
                out += ' ';
            out += piece;
        }
        return out;
    }

    EquationRecord& m_equation;
    GeneratorModel& m_model;
    std::string m_where;
    TokenChain m_tokens;
};

/// Counts the instructions of an equation's code form over its tokens, with the rules of the model
/// processor's code generation: an operator, a function or the time takes one, a call of
/// dll_function three and of resetfunc two; a conditional takes its condition's, a jump
/// on it, its branches' (each at least the one that puts a leaf into the result), a jump over the
/// else part, and when it has a destination a move into it; an equation takes at least one.
class InstructionCounter {
public:
    explicit InstructionCounter(const Tokens& tokens)
    {
        for (const Token& t : tokens)
            if (t.kind != TokenKind::Space)
                m_tokens.push_back(&t);
    }

    // equation := reference "=" expression
    std::optional<InstructionCount> equation()
    {
        if (!reference() || !accept("="))
            return std::nullopt;
        InstructionCount n;
        if (!branch(n) || m_at != m_tokens.size())
            return std::nullopt;
        return n;
    }

private:
    /// Nesting deeper than this is not counted: the walk would need the stack of a thread.
    static constexpr int kDeepest = 1000;

    /// One level deeper while it lives; `ok` is false past the deepest.
    struct Level {
        explicit Level(int& depth) : m_depth(depth), ok(++depth <= kDeepest) {}
        ~Level() { --m_depth; }
        Level(const Level&) = delete;
        Level& operator=(const Level&) = delete;
        int& m_depth;
        const bool ok;
    };

    static void add(InstructionCount& n, const InstructionCount& more)
    {
        n.least += more.least;
        n.most += more.most;
    }

    static void add(InstructionCount& n, long more)
    {
        n.least += more;
        n.most += more;
    }

    const Token* peek(std::size_t ahead = 0) const
    {
        return m_at + ahead < m_tokens.size() ? m_tokens[m_at + ahead] : nullptr;
    }

    bool is(const char* text, std::size_t ahead = 0) const
    {
        const Token* t = peek(ahead);
        return t && t->kind != TokenKind::Number && t->text == text;
    }

    bool accept(const char* text)
    {
        if (!is(text))
            return false;
        ++m_at;
        return true;
    }

    /// A kind letter and its number, with literal indices; a "[" after it (computed indices) fails.
    bool reference()
    {
        const Token* t = peek();
        if (!t || t->kind != TokenKind::Word || !isReferenceWord(t->text))
            return false;
        ++m_at;
        return !is("[");
    }

    /// An expression written into a destination: a lone conditional moves its result there, and
    /// a leaf takes the move of itself.
    bool branch(InstructionCount& n)
    {
        bool conditional = false;
        if (!expression(n, conditional))
            return false;
        if (conditional)
            add(n, 1);
        n.least = std::max(n.least, 1L);
        n.most = std::max(n.most, 1L);
        return true;
    }

    // expression := unary { binary-operator unary }
    bool expression(InstructionCount& n, bool& conditional)
    {
        if (!unary(n, conditional))
            return false;
        static const char* const operators[] = {"+",  "-",  "*",  "/",  "==",  "=/=", "<",    "<=",
                                                ">",  ">=", "and", "or", "div", "mod", "power"};
        while (std::any_of(std::begin(operators), std::end(operators), [&](const char* op) { return is(op); })) {
            ++m_at;
            bool ignored = false;
            InstructionCount right;
            if (!unary(right, ignored))
                return false;
            add(n, right);
            add(n, 1);
            conditional = false;
        }
        return true;
    }

    // unary := ( "-" | "+" | "not" ) unary | primary
    bool unary(InstructionCount& n, bool& conditional)
    {
        const Level level(m_depth);
        if (!level.ok)
            return false;
        if (!is("-") && !is("+") && !is("not"))
            return primary(n, conditional);
        const bool sign = !is("not");
        ++m_at;
        const bool literal = sign && peek() && peek()->kind == TokenKind::Number;
        if (!unary(n, conditional))
            return false;
        conditional = false;
        n.most += 1;
        if (!literal)
            n.least += 1;
        return true;
    }

    // primary := literal | reference | "t" | name "(" [ expression { "," expression } ] ")"
    //          | "(" expression ")" | conditional
    bool primary(InstructionCount& n, bool& conditional)
    {
        conditional = false;
        const Token* t = peek();
        if (!t)
            return false;
        if (accept("("))
            return expression(n, conditional) && accept(")");
        if (is("if")) {
            conditional = true;
            ++m_at;
            return ifChain(n) && accept("fi");
        }
        if (t->kind == TokenKind::Number) {
            ++m_at;
            return true;
        }
        if (t->kind != TokenKind::Word)
            return false;
        if (is("(", 1)) {
            m_at += 2;
            if (!accept(")")) {
                do {
                    bool ignored = false;
                    InstructionCount argument;
                    if (!expression(argument, ignored))
                        return false;
                    add(n, argument);
                } while (accept(","));
                if (!accept(")"))
                    return false;
            }
            add(n, t->text == "dll_function" ? 3 : t->text == "resetfunc" ? 2 : 1);
            return true;
        }
        if (t->text == "t") {
            ++m_at;
            add(n, 1);
            return true;
        }
        static const char* const keywords[] = {"then", "elseif", "else", "fi", "and", "or", "not", "div", "mod",
                                               "power"};
        if (std::any_of(std::begin(keywords), std::end(keywords), [&](const char* k) { return t->text == k; }))
            return false;
        if (isReferenceWord(t->text))
            return reference();
        ++m_at; // true, false, a table's name
        return true;
    }

    // The part of a conditional after its "if" (or "elseif"): condition "then" branch, and
    // "elseif" with the rest of the chain, itself a conditional into the same result, or "else" branch.
    bool ifChain(InstructionCount& n)
    {
        const Level level(m_depth);
        if (!level.ok)
            return false;
        bool ignored = false;
        InstructionCount then;
        if (!expression(n, ignored) || !accept("then") || !branch(then))
            return false;
        add(n, then);
        InstructionCount otherwise;
        if (accept("elseif")) {
            if (!ifChain(otherwise))
                return false;
            add(otherwise, 1);
        } else if (!accept("else") || !branch(otherwise)) {
            return false;
        }
        add(n, otherwise);
        add(n, 2);
        return true;
    }

    std::vector<const Token*> m_tokens;
    std::size_t m_at = 0;
    int m_depth = 0;
};

} // namespace

std::optional<InstructionCount> CountInstructions(const std::string& text)
{
    const Tokens tokens = tokenize(text);
    return InstructionCounter(tokens).equation();
}

void FindLeftHandSide(EquationRecord& equation, const GeneratorModel& model)
{
    const std::size_t start = equation.text.find_first_not_of(" \t\n\r");
    equation.text.erase(0, start == std::string::npos ? equation.text.size() : start);
    const std::size_t close = equation.text.find(']');
    equation.target = close == std::string::npos ? nullptr : FindReference(model, equation.text.substr(0, close + 1));
}

bool TranslateEquation(EquationRecord& equation, GeneratorModel& model, const std::string& where)
{
    return Translation(equation, model, where).run();
}
