// Integer expressions of sizes, indices and actual arguments: their trees, their
// text, their evaluation, the two parsers of typed text and the argument check.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct GraphModel;
struct Submodel;

/// Node operators (the numbers are those of the model-file tokens).
enum ExprOperator : int {
    EXPR_ARGUMENT = 262, ///< argument reference
    EXPR_MINUS = 286,
    EXPR_PLUS = 287,
    EXPR_TIMES = 288,
    EXPR_DIVIDE = 289, ///< integer division, truncating toward zero
    EXPR_NEGATE = 293, ///< unary minus of `right`
    EXPR_POSITIVE = 294, ///< unary plus of `right`
    EXPR_RANGE = 359, ///< `left` .. `right`
    EXPR_CONSTANT = 362,
};

/// One argument of a model: a name and, once given, a value.
struct Argument {
    std::string name; ///< empty: the argument has no name
    int hasValue = 0;
    int value = 0;
};
using ArgumentList = std::vector<std::unique_ptr<Argument>>;

struct Expr;
using ExprPtr = std::unique_ptr<Expr>;
/// A list of expressions; an item may be null (an empty item of an index list).
using ExprList = std::vector<ExprPtr>;

/// An expression node; a tree owns its operands, never the argument it refers to.
struct Expr {
    int op = 0;
    ExprPtr left;
    ExprPtr right;
    int value = 0;                ///< of a constant
    Argument* argument = nullptr; ///< of a reference; null once the reference was cut
    std::string cutName;          ///< the name a cut reference had
};

/// Size and index lists hold at most this many items.
inline constexpr int kMaxListLength = 6;
/// Deepest expression tree the parsers build.
inline constexpr int kMaxExpressionDepth = 100;

ExprPtr MakeConstant(int value);
ExprPtr MakeArgumentReference(Argument* argument);
/// A node of a binary operator, or of a unary sign when `left` is null.
ExprPtr MakeOperator(int op, ExprPtr left, ExprPtr right);

/// The text of an expression, which the parsers read back as the same tree. A
/// plus or minus node is put in parentheses when `parenthesise` asks for it.
std::string ExprText(const Expr* node, int parenthesise);

/// The items' texts joined by ", " (an empty item adds an empty text); empty for an empty list.
std::string ListText(const ExprList& list);

int ListLength(const ExprList& list);

/// The length when it is at most `kMaxListLength`; else -1 and "expr.list length overflow".
int CheckListLength(const ExprList& list, std::string* error = nullptr);

/// 0 and the value, or a negative code and the error text (-7 "integer overflow"
/// when a result leaves the 32-bit range).
int Evaluate(std::string& error, int& value, const Expr* node);

/// A range gives both bounds; any other node low = high = its value.
int EvaluateRange(std::string& error, int& low, int& high, const Expr* node);

/// As `Evaluate`, an argument of the submodel's type standing for the submodel's
/// actual argument at the same position.
int EvaluateForInstance(std::string& error, int& value, const Expr* node, const Submodel& submodel);

/// Parses a size list (no ranges, no empty items): 0 and the list, else -1 and
/// the error as "message: token". Names are looked up in `arguments`.
int ParseSizeList(std::string_view text, ExprList& out, const ArgumentList& arguments,
                  std::string* error = nullptr);

/// Parses an index list (ranges and empty items allowed) as `ParseSizeList`.
int ParseRangeList(std::string_view text, ExprList& out, const ArgumentList& arguments,
                   std::string* error = nullptr);

ExprPtr CopyExpr(const Expr* node);
ExprList CopyList(const ExprList& list);
/// A list of one range item low .. high.
ExprList MakeRange(int low, int high);

/// Whether any expression of the list refers to the argument.
bool ListUsesArgument(const ExprList& list, const Argument* argument);
/// Whether any tree of the list holds a reference that was cut.
bool ListHasCutReference(const ExprList& list);

/// 1 when the argument may be deleted: it is used nowhere in the model (nor in the
/// default size list), or the user confirmed once, which cut every reference to it.
int CanDeleteArgument(const Argument& argument, GraphModel& model);

/// Tokens of the expression scanner.
enum ExprToken : int {
    XT_END = 0,
    XT_ARGUMENT = 257,
    XT_UPTO = 258,
    XT_INTEGER = 259,
    XT_PLUS = 260,
    XT_MINUS = 261,
    XT_TIMES = 262,
    XT_DIVIDE = 263,
    XT_COMMA = 267,
    XT_OPEN = 268,
    XT_CLOSE = 269,
    XT_OTHER = 270, ///< an unknown name or a stray character
    XT_NEWLINE = 271,
    XT_ERROR = -1, ///< an integer out of range or a token too long; see `error()`
};

/// The scanner of typed expression text.
class ExpressionScanner {
public:
    ExpressionScanner(std::string_view text, const ArgumentList& arguments);
    int next();
    const std::string& text() const { return m_token; }
    int value() const { return m_value; }
    Argument* argument() const { return m_argument; }
    const char* error() const { return m_error; }

private:
    std::string_view m_text;
    std::size_t m_pos = 0;
    const ArgumentList& m_arguments;
    std::string m_token;
    int m_value = 0;
    Argument* m_argument = nullptr;
    const char* m_error = "";
};

/// The longest token text the scanners hold.
inline constexpr std::size_t kMaxTokenLength = 511;

/// Parses the decimal digits of `digits` into `value`; false when it passes 2147483647.
bool ParseTokenInteger(std::string_view digits, int& value);
