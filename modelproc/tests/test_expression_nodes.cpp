// Tests of the expression nodes: each kind keeps only its own fields and gives the empty value for
// the others, and the walks, copies and release see every node of a parsed model of every
// construct with the fields it was built with.
#include "modelproc/class_copy.h"
#include "modelproc/expression_walk.h"
#include "modelproc/function_table.h"
#include "modelproc/record_dump.h"
#include "modelproc/record_release.h"
#include "modelproc/semantic_checks.h"
#include "modelproc/tests/keldor_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <iterator>
#include <set>
#include <string>
#include <vector>

namespace {

class ExpressionNodesTest : public ::testing::Test {
protected:
    void TearDown() override { release_all(); }
};

const char* operatorToken(int kind)
{
    switch (kind) {
    case TK_OR: return "or";
    case TK_AND: return "and";
    case TK_NOT: return "not";
    case TK_EQ: return "==";
    case TK_LT: return "<";
    case TK_GT: return ">";
    case TK_MIN: return "-";
    case TK_PLUS: return "+";
    case TK_MULT: return "*";
    case TK_DIV: return "/";
    case TK_IDIV: return "div";
    case TK_MOD: return "mod";
    case TK_IPOW: return "^i";
    case TK_PRF_MIN: return "neg";
    case TK_PRF_PLUS: return "pos";
    case TK_UPTO: return "..";
    case TK_IF: return "if";
    default: return nullptr;
    }
}

/// One node as a word: a name with its number of indices and its selector, a literal's value, a
/// call with its number of arguments, an operator.
std::string token(const ExprNode* n)
{
    if (!n)
        return "null";
    if (isNameKind(n->kind)) {
        const SectionLink* r = n->record();
        std::string name = !r                         ? "?"
                           : n->kind == TK_PORTNAME   ? static_cast<const PortRec*>(r)->name.str()
                           : n->kind == TK_INPUTNAME || n->kind == TK_OUTPUTNAME
                               ? static_cast<const IoRec*>(r)->name.str()
                           : n->kind == TK_CLASSARG ? static_cast<const ArgRec*>(r)->name
                                                    : static_cast<const VarRec*>(r)->name.str();
        if (!n->index().empty())
            name += "[" + std::to_string(n->index().count()) + "]";
        if (n->selector)
            name += n->selector == TK_SEL_EFFORT ? ".e" : ".f";
        return name;
    }
    switch (n->kind) {
    case TK_TIME: return "t";
    case TK_INTEGER: return std::to_string(n->intValue());
    case TK_BOOLEAN: return n->intValue() ? "true" : "false";
    case TK_REAL: {
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, "%gr", n->realValue());
        return buffer;
    }
    case TK_FUNCTIONNAME: {
        const FunctionRow* row = functionRow(n->function);
        return std::string(row ? row->name : "?") + "/" + std::to_string(n->args().count());
    }
    default: break;
    }
    const char* op = operatorToken(n->kind);
    return op ? op : "?" + std::to_string(n->kind);
}

/// The words of every node, each before its operands.
std::string preOrder(const ExprNode* root)
{
    std::string out;
    forEachNode(root, [&out](const ExprNode* n) {
        out += (out.empty() ? "" : " ") + token(n);
        return true;
    });
    return out;
}

/// Every node of the tree, the way down to each checked on the way: it starts at the root, each
/// node on it holds the next as an operand, and the last holds the node.
std::vector<const ExprNode*> nodesCheckingWays(const ExprNode* root)
{
    std::vector<const ExprNode*> nodes;
    forEachNode(root, [&](const ExprNode* n) {
        nodes.push_back(n);
        std::vector<const ExprNode*> holders;
        EXPECT_TRUE(pathTo(root, n, holders)) << token(n);
        const ExprNode* below = n;
        for (const ExprNode* holder : holders) {
            bool holds = false;
            forEachOperand(holder, [&](const ExprNode* operand) { holds = holds || operand == below; });
            EXPECT_TRUE(holds) << token(below) << " in " << token(holder);
            below = holder;
        }
        EXPECT_EQ(below, root) << token(n);
        return true;
    });
    const ExprNode stranger;
    std::vector<const ExprNode*> none{root};
    EXPECT_FALSE(pathTo(root, &stranger, none));
    EXPECT_TRUE(none.empty());
    return nodes;
}

/// The nodes and the list nodes (of indices and arguments) of a tree: the blocks its release hands
/// back.
std::size_t blocksOf(const ExprNode* root)
{
    std::size_t blocks = 0;
    forEachNode(root, [&blocks](const ExprNode* n) {
        blocks += 1 + static_cast<std::size_t>(n->index().count() + n->args().count());
        return true;
    });
    return blocks;
}

/// A model that has a node of every kind the parser builds: conditionals with an elseif,
/// ranges, calls of one and two arguments, names with one and two indices and with
/// selectors, a class argument, time, literals of the three types, and the unary operators.
const char* const kEveryConstruct =
    "class every(n) version 1\n"
    "interface\n"
    "  ports: p[2]\n"
    "  causality restrictions\n"
    "    indifferent p\n"
    "  inputs: real u[3]\n"
    "  outputs: real y\n"
    "parameters\n"
    "  real a[2, 2], b\n"
    "variables\n"
    "  real x[3], w, s\n"
    "equations\n"
    "  x[1..2] = u[2..3] * b\n"
    "  x[3] = if u[1] > 0 and (true or not false) then a[1, 2] elseif u[3] < 0 then -b else +0.5 fi\n"
    "  w = atan2(x[n], t) + 2.5e3 * (b - 3) ^ 2 - 7 div 2 mod 3\n"
    "  s = int(w) + ddt(w)\n"
    "  y = p[1].e + p[2].f\n"
    "  p[1].f = sum(p.e) / a[2, 1]\n";

/// Each equation of that model: its two sides as their nodes' words before their operands.
const struct {
    const char* left;
    const char* right;
} kEveryConstructWalks[] = {
    {"x[1] .. 1 2", "* u[1] .. 2 3 b"},
    {"x[1] 3", "if and > u[1] 1 0 or true not false a[2] 1 2 if < u[1] 3 0 neg b pos 0.5r"},
    {"w", "- + atan2/2 x[1] n t * 2500r ^i - b 3 2 mod div 7 2 3"},
    {"s", "+ int/1 w ddt/1 w"},
    {"y", "+ p[1].e 1 p[1].f 2"},
    {"p[1].f 1", "/ sum/1 p[1].e .. 1 2 a[2] 2 1"},
};

} // namespace

// Every kind of node gives back what it was built with, and for the fields it does not keep the
// empty value (no operands, record, indices or arguments, a zero value), whatever its own fields
// hold.
TEST_F(ExpressionNodesTest, EachKindKeepsOnlyItsOwnFields)
{
    VarRec var;
    PortRec port;
    ArgRec arg;
    const auto literal = [] { return makeIntegerConstant(4); };
    const auto indices = [&] {
        ExprList list;
        list.append(literal());
        list.append(makeOperator(literal(), literal(), TK_UPTO));
        return list;
    };
    struct Built {
        ExprNode* node = nullptr;
        ExprNode* left = nullptr;
        ExprNode* right = nullptr;
        ExprNode* extra = nullptr;
        SectionLink* record = nullptr;
        const PtrNode<ExprNode>* index = nullptr;
        const PtrNode<ExprNode>* args = nullptr;
        std::int32_t intValue = 0;
        double realValue = 0.0;
    };
    const struct {
        const char* what;
        std::function<Built()> build;
    } cases[] = {
        {"binary operator",
         [&] {
             Built b{.left = literal(), .right = literal()};
             b.node = makeOperator(b.left, b.right, TK_MULT);
             return b;
         }},
        {"unary operator",
         [&] {
             Built b{.right = literal()};
             b.node = makeOperator(nullptr, b.right, TK_PRF_MIN);
             return b;
         }},
        {"not",
         [&] {
             Built b{.right = makeBooleanConstant(false)};
             b.node = makeOperator(nullptr, b.right, TK_NOT);
             return b;
         }},
        {"range",
         [&] {
             Built b{.left = literal(), .right = literal()};
             b.node = makeOperator(b.left, b.right, TK_UPTO);
             return b;
         }},
        {"conditional",
         [&] {
             Built b{.left = makeBooleanConstant(true), .right = literal(), .extra = makeRealConstant(2.5)};
             b.node = makeConditional(b.left, b.right, b.extra);
             return b;
         }},
        {"variable with indices",
         [&] {
             const ExprList list = indices();
             Built b{.record = &var, .index = list.head};
             b.node = makeLeaf(0, &var, TK_VARIABLENAME, nullptr, list);
             return b;
         }},
        {"port with a selector",
         [&] {
             Built b{.record = &port};
             b.node = makeLeaf(TK_SEL_FLOW, &port, TK_PORTNAME, nullptr, {});
             return b;
         }},
        {"class argument",
         [&] {
             Built b{.record = &arg};
             b.node = makeLeaf(0, &arg, TK_CLASSARG, nullptr, {});
             return b;
         }},
        {"time", [&] { return Built{.node = makeLeaf(0, nullptr, TK_TIME, nullptr, {})}; }},
        {"call",
         [&] {
             const ExprList list = indices();
             Built b{.args = list.head};
             b.node = makeFunctionCall(FN_ATAN2, list);
             return b;
         }},
        {"real", [&] { return Built{.node = makeRealConstant(-0.125), .realValue = -0.125}; }},
        {"integer", [&] { return Built{.node = makeIntegerConstant(-77), .intValue = -77}; }},
        {"boolean", [&] { return Built{.node = makeBooleanConstant(true), .intValue = 1}; }},
    };
    for (const auto& c : cases) {
        const Built b = c.build();
        const ExprNode* n = b.node;
        ASSERT_TRUE(n) << c.what;
        EXPECT_EQ(n->left(), b.left) << c.what;
        EXPECT_EQ(n->right(), b.right) << c.what;
        EXPECT_EQ(n->extra(), b.extra) << c.what;
        EXPECT_EQ(n->record(), b.record) << c.what;
        EXPECT_EQ(n->index().head, b.index) << c.what;
        EXPECT_EQ(n->args().head, b.args) << c.what;
        if (n->kind != TK_REAL) {
            EXPECT_EQ(n->intValue(), b.intValue) << c.what;
        }
        if (n->kind != TK_INTEGER && n->kind != TK_BOOLEAN) {
            EXPECT_EQ(n->realValue(), b.realValue) << c.what;
        }
    }
}

// A node that changes its kind within its group (an inverted operator, a name moved to another
// section, a literal read as a boolean) keeps its fields.
TEST_F(ExpressionNodesTest, KindChangesKeepTheFields)
{
    VarRec var;
    ExprNode* a = makeIntegerConstant(1);
    ExprNode* b = makeIntegerConstant(2);
    ExprNode* op = makeOperator(a, b, TK_PLUS);
    op->setKind(TK_MIN);
    EXPECT_EQ(op->left(), a);
    EXPECT_EQ(op->right(), b);

    ExprList index;
    index.append(makeIntegerConstant(3));
    ExprNode* ref = makeLeaf(0, &var, TK_VARIABLENAME, nullptr, index);
    ref->setExtra(op);
    ref->setKind(TK_INDEP_STATENAME);
    ref->setKind(TK_ALGLOOP_INNAME);
    EXPECT_EQ(ref->record(), &var);
    EXPECT_EQ(ref->index().head, index.head);
    EXPECT_EQ(ref->extra(), op);

    ExprNode* yes = makeIntegerConstant(1);
    yes->setKind(TK_BOOLEAN);
    EXPECT_EQ(yes->intValue(), 1);
}

// The walks, copies and release of a parsed model with a node of every kind: each side walks as
// written, the way down to every node is found, a copy has the same walk and shares no node
// with its original, and releasing a copy hands back its nodes and lists and leaves the original.
TEST_F(ExpressionNodesTest, EveryConstructWalksCopiesAndReleases)
{
    auto parsed = keldortest::parseText(kEveryConstruct, 3, "every.sf0");
    ASSERT_EQ(parsed.result, 0) << (parsed.errors.empty() ? "" : parsed.errors[0]);
    const std::string before = dumpClass(parsed.cls);
    std::vector<EquationRec*> equations;
    for (EquationRec* eq : parsed.cls->equations->equations)
        equations.push_back(eq);
    ASSERT_EQ(equations.size(), std::size(kEveryConstructWalks));

    std::set<int> kinds;
    for (std::size_t k = 0; k < equations.size(); ++k) {
        EquationRec* eq = equations[k];
        EXPECT_EQ(preOrder(eq->left), kEveryConstructWalks[k].left) << k;
        EXPECT_EQ(preOrder(eq->right), kEveryConstructWalks[k].right) << k;
        for (ExprNode* side : {eq->left, eq->right}) {
            ASSERT_TRUE(side);
            const std::vector<const ExprNode*> original = nodesCheckingWays(side);
            for (const ExprNode* n : original)
                kinds.insert(n->kind);

            // After its operands, every node comes once, after every node below it.
            std::vector<const ExprNode*> after;
            forEachNodeAfterOperands(static_cast<const ExprNode*>(side), [&](const ExprNode* n) {
                forEachOperand(n, [&](const ExprNode* child) {
                    EXPECT_NE(std::find(after.begin(), after.end(), child), after.end()) << token(child);
                });
                after.push_back(n);
            });
            EXPECT_EQ(std::set<const ExprNode*>(after.begin(), after.end()),
                      std::set<const ExprNode*>(original.begin(), original.end()));
            EXPECT_EQ(after.size(), original.size());

            // The names the chain is built from: in text order, each before or after its indices.
            std::string names;
            forEachName(side, false, isNameKind, [&](ExprNode* n) { names += token(n) + " "; });
            std::string namesAfterIndices;
            forEachName(side, true, isNameKind, [&](ExprNode* n) { namesAfterIndices += token(n) + " "; });
            std::string expected;
            std::string expectedAfterIndices;
            forEachNode(static_cast<const ExprNode*>(side), [&](const ExprNode* n) {
                if (isNameKind(n->kind))
                    expected += token(n) + " ";
                return true;
            });
            forEachNodeAfterOperands(static_cast<const ExprNode*>(side), [&](const ExprNode* n) {
                if (isNameKind(n->kind))
                    expectedAfterIndices += token(n) + " ";
            });
            EXPECT_EQ(names, expected);
            EXPECT_EQ(namesAfterIndices, expectedAfterIndices);

            const std::string walk = preOrder(side);
            ExprNode* copy = ttcopy_1_expr(side, nullptr);
            ASSERT_TRUE(copy);
            EXPECT_EQ(preOrder(copy), walk);
            EXPECT_EQ(dumpExpression(copy), dumpExpression(side));
            const std::vector<const ExprNode*> copied = nodesCheckingWays(copy);
            ASSERT_EQ(copied.size(), original.size());
            for (std::size_t i = 0; i < copied.size(); ++i) {
                EXPECT_EQ(std::find(original.begin(), original.end(), copied[i]), original.end()) << i;
                EXPECT_EQ(copied[i]->record(), original[i]->record()) << i;
                EXPECT_EQ(copied[i]->function, original[i]->function) << i;
                EXPECT_EQ(copied[i]->selector, original[i]->selector) << i;
                EXPECT_EQ(copied[i]->flags, original[i]->flags) << i;
                EXPECT_EQ(copied[i]->extra() != nullptr, copied[i]->kind == TK_IF) << i;
            }

            const std::size_t released = registeredReleaseCount();
            const std::size_t blocks = blocksOf(copy);
            releaseExpression(copy);
            EXPECT_EQ(registeredReleaseCount() - released, blocks);
            EXPECT_EQ(preOrder(side), walk);
        }
    }
    for (int kind : {TK_IF, TK_UPTO, TK_FUNCTIONNAME, TK_TIME, TK_REAL, TK_INTEGER, TK_BOOLEAN, TK_NOT, TK_PRF_MIN,
                     TK_PRF_PLUS, TK_PORTNAME, TK_INPUTNAME, TK_OUTPUTNAME, TK_CLASSARG, TK_PARAMETERNAME,
                     TK_VARIABLENAME})
        EXPECT_TRUE(kinds.count(kind)) << "no node of kind " << kind;

    // A class copy takes every node with the copy's own records; the original stays as it was.
    ClassRec* copy = copyClass(parsed.cls);
    ASSERT_TRUE(copy);
    EXPECT_EQ(dumpClass(copy), before);
    std::set<const SectionLink*> records;
    for (const VarRec* v : parsed.cls->parameters)
        records.insert(v);
    for (const VarRec* v : parsed.cls->variables)
        records.insert(v);
    for (const PortRec* p : parsed.cls->ports)
        records.insert(p);
    for (const IoRec* io : parsed.cls->inputs)
        records.insert(io);
    for (const IoRec* io : parsed.cls->outputs)
        records.insert(io);
    for (const ArgRec* a : parsed.cls->args)
        records.insert(a);
    std::size_t k = 0;
    for (EquationRec* eq : copy->equations->equations) {
        EXPECT_EQ(preOrder(eq->left), kEveryConstructWalks[k].left) << k;
        EXPECT_EQ(preOrder(eq->right), kEveryConstructWalks[k].right) << k;
        for (const ExprNode* side : {eq->left, eq->right})
            for (const ExprNode* n : nodesCheckingWays(side))
                EXPECT_FALSE(records.count(n->record())) << token(n);
        ++k;
    }
    ttfree_class(copy);
    EXPECT_EQ(dumpClass(parsed.cls), before);
}

// Setting a field on a node whose kind does not keep it, or a kind that keeps other fields, is
// caught in debug builds.
TEST(ExpressionNodesDeathTest, WritingAFieldTheKindDoesNotKeepIsCaught)
{
#ifdef NDEBUG
    GTEST_SKIP() << "the checks are those of debug builds";
#else
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    VarRec var;
    ExprNode* sum = makeOperator(makeIntegerConstant(1), makeIntegerConstant(2), TK_PLUS);
    ExprNode* ref = makeLeaf(0, &var, TK_VARIABLENAME, nullptr, {});
    ExprNode* call = makeFunctionCall(FN_SQRT, {});
    ExprNode* real = makeRealConstant(1.5);
    EXPECT_DEATH(sum->setRecord(&var), "only name references have a record");
    EXPECT_DEATH(sum->mutableIndex(), "only name references have indices");
    EXPECT_DEATH(sum->setExtra(ref), "only conditionals, names and time have an extra link");
    EXPECT_DEATH(ref->setLeft(sum), "only operators, ranges and conditionals have operands");
    EXPECT_DEATH(ref->setRight(nullptr), "only operators, ranges and conditionals have operands");
    EXPECT_DEATH(ref->mutableArgs(), "only calls have arguments");
    EXPECT_DEATH(call->setIntValue(3), "only literals have a value");
    EXPECT_DEATH(call->setIndex({}), "only name references have indices");
    EXPECT_DEATH(real->setArgs({}), "only calls have arguments");
    EXPECT_DEATH(real->setLeft(nullptr), "only operators, ranges and conditionals have operands");
    EXPECT_DEATH(ref->setRealValue(2.0), "only literals have a value");
    EXPECT_DEATH(ref->setKind(TK_PLUS), "a node keeps its fields when its kind changes");
    EXPECT_DEATH(sum->setKind(TK_IF), "a node keeps its fields when its kind changes");
    EXPECT_DEATH(real->setKind(TK_TIME), "a node keeps its fields when its kind changes");
    release_all();
#endif
}
