// Integer expressions: the text they print and read back, the scanner's tokens,
// parse errors, checked evaluation, instance evaluation and the argument check.
#include "grapheditor/graph_model_reader.h"
#include "grapheditor/graph_model_writer.h"
#include "grapheditor/integer_expressions.h"
#include "grapheditor/tests/graph_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <random>

namespace {

ExprPtr c(int v) { return MakeConstant(v); }
ExprPtr bin(int op, ExprPtr l, ExprPtr r) { return MakeOperator(op, std::move(l), std::move(r)); }
ExprPtr neg(ExprPtr e) { return MakeOperator(EXPR_NEGATE, nullptr, std::move(e)); }

bool sameTree(const Expr* a, const Expr* b)
{
    if (!a || !b)
        return a == b;
    return a->op == b->op && a->value == b->value && a->argument == b->argument &&
           sameTree(a->left.get(), b->left.get()) && sameTree(a->right.get(), b->right.get());
}

/// As `sameTree` for trees over different argument records: references compare by name.
bool sameShape(const Expr* a, const Expr* b)
{
    if (!a || !b)
        return a == b;
    const bool sameReference = (!a->argument && !b->argument) ||
                               (a->argument && b->argument && a->argument->name == b->argument->name);
    return a->op == b->op && a->value == b->value && sameReference && sameShape(a->left.get(), b->left.get()) &&
           sameShape(a->right.get(), b->right.get());
}

bool sameList(const ExprList& a, const ExprList& b, bool byName = false)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (!(byName ? sameShape(a[i].get(), b[i].get()) : sameTree(a[i].get(), b[i].get())))
            return false;
    return true;
}

class Expressions : public graphtest::GraphTest {
protected:
    void SetUp() override
    {
        GraphTest::SetUp();
        for (const char* name : {"a", "b", "cc", "n"}) {
            auto argument = std::make_unique<Argument>();
            argument->name = name;
            args.push_back(std::move(argument));
        }
    }
    ExprPtr ref(int i) { return MakeArgumentReference(args[i].get()); }
    ExprPtr a() { return ref(0); }
    ExprPtr b() { return ref(1); }
    ExprPtr cc() { return ref(2); }

    /// The parse of a size list, or the error text.
    std::string sizeError(const std::string& text)
    {
        ExprList list;
        std::string error;
        return ParseSizeList(text, list, args, &error) == 0 ? "accepted" : error;
    }

    ArgumentList args;
};

TEST_F(Expressions, PrintedTextKeepsTheTreeShape)
{
    struct Case {
        ExprPtr tree;
        const char* text;
    };
    Case cases[] = {
        {bin(EXPR_MINUS, a(), bin(EXPR_PLUS, b(), cc())), "a - (b + cc)"},
        {bin(EXPR_MINUS, bin(EXPR_PLUS, a(), b()), cc()), "a + b - cc"},
        {bin(EXPR_TIMES, a(), bin(EXPR_PLUS, b(), cc())), "a * (b + cc)"},
        {bin(EXPR_TIMES, bin(EXPR_MINUS, a(), b()), cc()), "(a - b) * cc"},
        // Faults of the plain rule: these printed as a / b * cc, --1, -a * b and a + b - cc.
        {bin(EXPR_DIVIDE, a(), bin(EXPR_TIMES, b(), cc())), "a / (b * cc)"},
        {bin(EXPR_TIMES, bin(EXPR_DIVIDE, a(), b()), cc()), "a / b * cc"},
        {neg(neg(c(1))), "- -1"},
        {MakeOperator(EXPR_POSITIVE, nullptr, neg(bin(EXPR_PLUS, a(), b()))), "+ -(a + b)"},
        {neg(bin(EXPR_TIMES, a(), b())), "-(a * b)"},
        {bin(EXPR_TIMES, neg(a()), b()), "-a * b"},
        {bin(EXPR_PLUS, a(), bin(EXPR_MINUS, b(), cc())), "a + (b - cc)"},
        {MakeOperator(EXPR_POSITIVE, nullptr, a()), "+a"},
        {bin(EXPR_RANGE, bin(EXPR_PLUS, a(), c(1)), neg(c(3))), "(a + 1)..-3"},
    };
    for (Case& test : cases) {
        EXPECT_EQ(ExprText(test.tree.get(), 0), test.text);
        ExprList parsed;
        std::string error;
        ASSERT_EQ(ParseRangeList(test.text, parsed, args, &error), 0) << test.text << ": " << error;
        ASSERT_EQ(parsed.size(), 1u);
        EXPECT_TRUE(sameTree(parsed[0].get(), test.tree.get())) << test.text;
    }
    auto sum = bin(EXPR_PLUS, a(), c(2));
    EXPECT_EQ(ExprText(sum.get(), 1), "(a + 2)");
    ExprList list;
    list.push_back(c(1));
    list.push_back(nullptr);
    list.push_back(bin(EXPR_PLUS, a(), c(1)));
    EXPECT_EQ(ListText(list), "1, , a + 1");
    EXPECT_EQ(ListText(ExprList{}), "");
}

TEST_F(Expressions, ScannerTokens)
{
    ExpressionScanner scanner("2 * (n+1) 9x k ..\n", args);
    std::vector<int> tokens;
    for (int t = scanner.next(); t != XT_END; t = scanner.next())
        tokens.push_back(t);
    EXPECT_EQ(tokens, (std::vector<int>{XT_INTEGER, XT_TIMES, XT_OPEN, XT_ARGUMENT, XT_PLUS, XT_INTEGER, XT_CLOSE,
                                        XT_INTEGER, XT_OTHER, XT_OTHER, XT_UPTO, XT_NEWLINE}));
    ExpressionScanner named("n", args);
    EXPECT_EQ(named.next(), XT_ARGUMENT);
    EXPECT_EQ(named.argument(), args[3].get());
}

TEST_F(Expressions, ParseErrorsNameTheToken)
{
    EXPECT_EQ(sizeError("2 * (n + 1), 3"), "accepted");
    EXPECT_EQ(sizeError("9x"), "syntax error: x");
    EXPECT_EQ(sizeError("k + 1"), "syntax error: k");
    EXPECT_EQ(sizeError("1\n"), "syntax error: \n");
    EXPECT_EQ(sizeError("1..3"), "syntax error: ..");
    EXPECT_EQ(sizeError("1,,2"), "syntax error: ,");
    EXPECT_EQ(sizeError("(1"), "syntax error: ");
    EXPECT_EQ(sizeError("2147483647"), "accepted");
    EXPECT_EQ(sizeError("2147483648"), "integer too large: 2147483648");
    EXPECT_EQ(sizeError("1, 2, 3, 4, 5, 6"), "accepted");
    EXPECT_EQ(sizeError("1, 2, 3, 4, 5, 6, 7"), "expr.list length overflow: ");
    EXPECT_EQ(sizeError(std::string(600, 'x')).substr(0, 16), "token too long: ");
    // Nesting and tree depth are bounded, so neither parsing nor freeing can exhaust the stack.
    EXPECT_EQ(sizeError(std::string(100, '(') + "1" + std::string(100, ')')), "expression nested too deeply: 1");
    EXPECT_EQ(sizeError(std::string(99, '(') + "1" + std::string(99, ')')), "accepted");
    std::string chain = "1";
    for (int i = 0; i < 200; ++i)
        chain += " + 1";
    EXPECT_EQ(sizeError(chain).substr(0, 30), "expression nested too deeply: ");
    EXPECT_EQ(sizeError(std::string(100000, '-') + "1").substr(0, 30), "expression nested too deeply: ");
}

TEST_F(Expressions, TreesAtTheDepthLimitPrintToTextThatReadsAgain)
{
    // Printing must not nest deeper than the tree, or a tree that was read could not be read again.
    std::string signs = std::string(kMaxExpressionDepth - 2, '+') + "-9";
    std::string quotients = "a";
    std::string products = "b";
    for (int i = 0; i < kMaxExpressionDepth / 2 - 1; ++i) {
        quotients = "a / (" + quotients + ")";
        products = "-(b * " + products + ")";
    }
    for (const std::string& text : {signs, quotients, products}) {
        ExprList list;
        std::string error;
        ASSERT_EQ(ParseSizeList(text, list, args, &error), 0) << error;
        ExprList again;
        ASSERT_EQ(ParseSizeList(ListText(list), again, args, &error), 0) << ListText(list) << ": " << error;
        EXPECT_TRUE(sameList(list, again));
    }
}

TEST_F(Expressions, RangeListsAllowRangesAndEmptyItems)
{
    ExprList list;
    ASSERT_EQ(ParseRangeList("1..3, , n", list, args), 0);
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0]->op, EXPR_RANGE);
    EXPECT_EQ(list[1], nullptr);
    EXPECT_EQ(ListText(list), "1..3, , n");
    ASSERT_EQ(ParseRangeList("", list, args), 0);
    EXPECT_EQ(list.size(), 1u);
    ASSERT_EQ(ParseSizeList("", list, args), 0);
    EXPECT_TRUE(list.empty());
}

TEST_F(Expressions, EvaluationIsCheckedArithmetic)
{
    args[3]->hasValue = 1;
    args[3]->value = INT_MIN;
    struct Case {
        const char* text;
        int code;
        const char* result; ///< the value, or the error text
    };
    const Case cases[] = {
        {"7 / -2", 0, "-3"},
        {"-7 / 2", 0, "-3"},
        {"2 * (3 + 4) - 1", 0, "13"},
        {"a + 1", -3, "value unknown"},
        {"1 / (2 - 2)", -4, "division by zero"},
        {"2147483647 + 1", -7, "integer overflow"},
        {"46341 * 46341", -7, "integer overflow"},
        {"n - 1", -7, "integer overflow"},
        {"-n", -7, "integer overflow"},
        {"n / -1", -7, "integer overflow"},
        {"n / 1", 0, "-2147483648"},
    };
    for (const Case& test : cases) {
        ExprList list;
        ASSERT_EQ(ParseSizeList(test.text, list, args), 0) << test.text;
        std::string error;
        int value = 0;
        const int code = Evaluate(error, value, list[0].get());
        EXPECT_EQ(code, test.code) << test.text;
        EXPECT_EQ(code == 0 ? std::to_string(value) : error, test.result) << test.text;
    }
    std::string error;
    int value = 0;
    EXPECT_EQ(Evaluate(error, value, nullptr), -1);
    EXPECT_EQ(error, "null pointer");
    ExprPtr cut = MakeArgumentReference(nullptr);
    EXPECT_EQ(Evaluate(error, value, cut.get()), -2);
    ExprList range = MakeRange(1, 3);
    EXPECT_EQ(Evaluate(error, value, range[0].get()), -8);
    EXPECT_EQ(error, "wrong operand or operator");
}

TEST_F(Expressions, RangesGiveBothBounds)
{
    int low = 0, high = 0;
    std::string error;
    ExprList range = MakeRange(2, 4);
    EXPECT_EQ(EvaluateRange(error, low, high, range[0].get()), 0);
    EXPECT_EQ(std::pair(low, high), std::pair(2, 4));
    ExprList backwards = MakeRange(5, 3);
    EXPECT_EQ(EvaluateRange(error, low, high, backwards[0].get()), -6);
    EXPECT_EQ(error, "high bound less than low");
    ExprList list;
    ASSERT_EQ(ParseRangeList("a..2, 1..b, 7, b", list, args), 0);
    EXPECT_EQ(EvaluateRange(error, low, high, list[0].get()), -3);
    EXPECT_EQ(error, "in low bound: value unknown");
    EXPECT_EQ(EvaluateRange(error, low, high, list[1].get()), -3);
    EXPECT_EQ(error, "in high bound: value unknown");
    EXPECT_EQ(EvaluateRange(error, low, high, list[2].get()), 0);
    EXPECT_EQ(std::pair(low, high), std::pair(7, 7));
    EXPECT_EQ(EvaluateRange(error, low, high, list[3].get()), -3);
    EXPECT_EQ(error, "in range: value unknown");
}

TEST_F(Expressions, InstanceArgumentsStandForTheFormalOnes)
{
    // A type with the arguments (k, m); its instance has the actual arguments (n + 1, 4).
    GraphModel& model = CurrentModel();
    SubmodelType* type = FindOrAddType(model, "gain", 1);
    type->interface = std::make_unique<GraphModel>();
    for (const char* name : {"k", "m"}) {
        auto formal = std::make_unique<Argument>();
        formal->name = name;
        type->interface->arguments.push_back(std::move(formal));
    }
    Submodel submodel;
    submodel.type = type;
    args[3]->hasValue = 1;
    args[3]->value = 2;
    ASSERT_EQ(ParseSizeList("n + 1, 4", submodel.arguments, args), 0);
    ExprList inType;
    ASSERT_EQ(ParseSizeList("k * m - 1", inType, type->interface->arguments), 0);
    std::string error;
    int value = 0;
    EXPECT_EQ(EvaluateForInstance(error, value, inType[0].get(), submodel), 0);
    EXPECT_EQ(value, 11);

    submodel.arguments.pop_back();
    EXPECT_EQ(EvaluateForInstance(error, value, inType[0].get(), submodel), -11);
    ExprPtr foreign = MakeArgumentReference(args[0].get());
    EXPECT_EQ(EvaluateForInstance(error, value, foreign.get(), submodel), -11);
    type->interface.reset();
    EXPECT_EQ(EvaluateForInstance(error, value, inType[0].get(), submodel), -10);
    EXPECT_EQ(error, "internal error");
}

TEST_F(Expressions, DeletingAnUsedArgumentAsksOnceAndCutsEveryUse)
{
    GraphModel& model = CurrentModel();
    auto owned = std::make_unique<Argument>();
    owned->name = "n";
    Argument* n = owned.get();
    model.arguments.push_back(std::move(owned));
    Submodel* submodel = model.submodels.pushBack(std::make_unique<Submodel>());
    submodel->name = "s";
    ASSERT_EQ(ParseSizeList("n, 2 * n", submodel->size, model.arguments), 0);
    ASSERT_EQ(ParseSizeList("n + 1", submodel->arguments, model.arguments), 0);

    sink.queueAnswers({platform::BoxAnswer::Cancel});
    EXPECT_EQ(CanDeleteArgument(*n, model), 0);
    EXPECT_TRUE(ListUsesArgument(submodel->size, n));
    EXPECT_EQ(sink.transcript().size(), 1u);

    sink.clear();
    EXPECT_EQ(CanDeleteArgument(*n, model), 1);
    EXPECT_EQ(boxes(), (std::vector<std::string>{"Argument n is used in the model.",
                                                 "Press OK if you still want to delete it."}));
    EXPECT_FALSE(ListUsesArgument(submodel->size, n));
    EXPECT_FALSE(ListUsesArgument(submodel->arguments, n));
    EXPECT_TRUE(ListHasCutReference(submodel->arguments));
    // A model that does not use the argument lets it go without asking.
    sink.clear();
    EXPECT_EQ(CanDeleteArgument(*n, model), 1);
    EXPECT_TRUE(sink.transcript().empty());
}

// ---------------------------------------------------------------------------------------------
// Property: generated trees print to a text that both parsers and the model-file
// reader read back as the same tree.

class TreeGenerator {
public:
    TreeGenerator(const ArgumentList& arguments, unsigned seed) : m_arguments(arguments), m_random(seed) {}

    ExprPtr tree(int depth)
    {
        const int choice = pick(depth <= 0 ? 2 : 8);
        switch (choice) {
        case 0: return MakeConstant(pick(4) == 0 ? pick(2147483647) : pick(1000));
        case 1: return MakeArgumentReference(m_arguments[pick(static_cast<int>(m_arguments.size()))].get());
        case 2: return MakeOperator(pick(2) ? EXPR_NEGATE : EXPR_POSITIVE, nullptr, tree(depth - 1));
        default: {
            static constexpr int ops[] = {EXPR_PLUS, EXPR_MINUS, EXPR_TIMES, EXPR_DIVIDE};
            return MakeOperator(ops[pick(4)], tree(depth - 1), tree(depth - 1));
        }
        }
    }

    int pick(int bound) { return std::uniform_int_distribution<int>(0, bound - 1)(m_random); }

private:
    const ArgumentList& m_arguments;
    std::mt19937 m_random;
};

TEST_F(Expressions, GeneratedTreesRoundTripThroughBothParsers)
{
    TreeGenerator generate(args, 20240611);
    for (int i = 0; i < 3000; ++i) {
        ExprList list;
        const int items = 1 + generate.pick(kMaxListLength);
        for (int j = 0; j < items; ++j)
            list.push_back(generate.tree(1 + generate.pick(6)));
        const std::string text = ListText(list);
        ExprList sizes;
        std::string error;
        ASSERT_EQ(ParseSizeList(text, sizes, args, &error), 0) << text << ": " << error;
        ASSERT_TRUE(sameList(sizes, list)) << text << " read back as " << ListText(sizes);

        ExprList ranges;
        ExprList withRanges = CopyList(list);
        withRanges[0] = MakeOperator(EXPR_RANGE, std::move(withRanges[0]), generate.tree(3));
        if (items > 1)
            withRanges[1] = nullptr;
        ASSERT_EQ(ParseRangeList(ListText(withRanges), ranges, args, &error), 0) << ListText(withRanges);
        ASSERT_TRUE(sameList(ranges, withRanges)) << ListText(withRanges) << " read back as " << ListText(ranges);
    }
}

TEST_F(Expressions, GeneratedTreesRoundTripThroughTheModelFile)
{
    // A bond between two submodels whose size is the generated list, and an end index
    // list with a range; the file reader must give both back unchanged.
    GraphModel model;
    for (const char* name : {"a", "b", "cc", "n"}) {
        auto argument = std::make_unique<Argument>();
        argument->name = name;
        model.arguments.push_back(std::move(argument));
    }
    SubmodelType* type = FindOrAddType(model, "c", 1);
    Submodel* ends[2];
    for (int e = 0; e < 2; ++e) {
        ends[e] = model.submodels.pushBack(std::make_unique<Submodel>());
        ends[e]->name = e ? "s2" : "s1";
        ends[e]->type = type;
    }
    Connection* bond = model.connections.pushBack(std::make_unique<Connection>());
    bond->direction = 1;
    for (int e = 0; e < 2; ++e) {
        bond->ends[e].objectKind = END_SUBMODEL;
        bond->ends[e].submodel = ends[e];
        bond->ends[e].portName = "p";
    }
    TreeGenerator generate(model.arguments, 7);
    for (int i = 0; i < 500; ++i) {
        bond->size.clear();
        const int items = 1 + generate.pick(kMaxListLength);
        for (int j = 0; j < items; ++j)
            bond->size.push_back(generate.tree(1 + generate.pick(5)));
        bond->ends[1].portIndex.clear();
        bond->ends[1].portIndex.push_back(MakeOperator(EXPR_RANGE, generate.tree(2), generate.tree(2)));
        bond->direction = 1 + generate.pick(2);
        model.name = "prop";
        const std::string text = GraphModelText(model, 1);
        GraphModel read;
        std::string error;
        // Sizes written as numbers that make more elements than a bond may have are refused, as
        // the model processor refuses them.
        std::int64_t literal = 1;
        for (const ExprPtr& size : bond->size)
            if (size->op == EXPR_CONSTANT)
                literal = std::min<std::int64_t>(literal, INT_MAX) * size->value;
        if (literal > (1 << 20)) {
            EXPECT_EQ(parse_model_text(text, READ_ALL, read, &error), -1) << text;
            EXPECT_EQ(error.rfind("the bond of size [", 0), 0u) << error;
            continue;
        }
        ASSERT_EQ(parse_model_text(text, READ_ALL, read, &error), 0) << text << error;
        const Connection* back = read.connections.head();
        ASSERT_TRUE(back);
        // The trees of the record refer to the record's own arguments, of the same names.
        ASSERT_TRUE(sameList(back->size, bond->size, true)) << text;
        ASSERT_TRUE(sameList(back->ends[1].portIndex, bond->ends[1].portIndex, true)) << text;
        ASSERT_EQ(GraphModelText(read, 1), text);
    }
}

} // namespace
