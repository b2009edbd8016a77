// The rules every reader of model files applies alike: where a file's model text ends, the
// names and versions a model may have, 32-bit literals and arithmetic, and the sizes a model
// may give.
#include "common/model_file_rules.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

TEST(ModelFileRules, TheModelTextEndsAtTheFirstNulAndTheFileMayGoOnWithLineEndsAlone)
{
    const struct {
        std::string file;
        std::string text;
        int line; ///< 0 when nothing follows the NUL
        std::string token;
    } cases[] = {
        {"class a version 1\n", "class a version 1\n", 0, ""},
        {std::string("a\nb\n\0", 5), "a\nb\n", 0, ""},
        {std::string("a\n\0\0\r\n \t\n", 9), "a\n", 0, ""},
        {std::string("a\n\0garbage\n", 11), "a\n", 2, "garbage"},
        {std::string("a\n\0\n\n  x = 1", 12), "a\n", 4, "x"},
        {std::string("\0\x01\x02 rest", 8), "", 1, "\x01\x02"},
        {std::string("a\0", 2) + std::string(60, 'w'), "a", 1, std::string(40, 'w')},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.file));
        const ModelFileText split = SplitModelFileText(c.file);
        EXPECT_EQ(split.text, c.text);
        ASSERT_EQ(split.rest.has_value(), c.line != 0);
        if (split.rest) {
            EXPECT_EQ(split.rest->line, c.line);
            EXPECT_EQ(split.rest->token, c.token);
        }
    }
}

TEST(ModelFileRules, NamesOfSevenCharactersAndVersionsOfOneDigit)
{
    EXPECT_EQ(ModelNameRefusal("pendulu"), "");
    EXPECT_EQ(ModelNameRefusal("pendulum"), "the model name pendulum is longer than the supported 7 characters.");
    EXPECT_EQ(TypeNameRefusal("critetu"), "");
    EXPECT_EQ(TypeNameRefusal("resistor"),
              "the submodel type name resistor is longer than the supported 7 characters.");
    for (std::int64_t version : {0, 1, 9})
        EXPECT_EQ(VersionRefusal("m", version), "") << version;
    for (std::optional<std::int64_t> version : {std::optional<std::int64_t>(-1), std::optional<std::int64_t>(10),
                                                std::optional<std::int64_t>(INT_MAX), std::optional<std::int64_t>()})
        EXPECT_EQ(VersionRefusal("m", version), "the version of model m is not one digit.");
}

TEST(ModelFileRules, IntegersAreThirtyTwoBitsAndTheirArithmeticIsChecked)
{
    EXPECT_EQ(IntegerLiteral("0"), 0);
    EXPECT_EQ(IntegerLiteral("2147483647"), INT_MAX);
    EXPECT_EQ(IntegerLiteral("002147483647"), INT_MAX);
    for (const char* text : {"2147483648", "99999999999999999999", "", "-1", "1e3", "12a"})
        EXPECT_EQ(IntegerLiteral(text), std::nullopt) << text;

    using Op = IntegerOperator;
    const struct {
        Op op;
        std::int32_t left, right;
        IntegerFault fault;
        std::int32_t result;
    } cases[] = {
        {Op::Plus, 2, 3, IntegerFault::None, 5},
        {Op::Minus, 2, 3, IntegerFault::None, -1},
        {Op::Times, -4, 3, IntegerFault::None, -12},
        {Op::Divide, 7, 2, IntegerFault::None, 3},
        {Op::Divide, -7, 2, IntegerFault::None, -3},
        {Op::Negate, 0, 5, IntegerFault::None, -5},
        {Op::Positive, 0, 5, IntegerFault::None, 5},
        {Op::Plus, INT_MAX, 1, IntegerFault::Overflow, 0},
        {Op::Minus, INT_MIN, 1, IntegerFault::Overflow, 0},
        {Op::Times, 65536, 65536, IntegerFault::Overflow, 0},
        {Op::Divide, INT_MIN, -1, IntegerFault::Overflow, 0},
        {Op::Negate, 0, INT_MIN, IntegerFault::Overflow, 0},
        {Op::Divide, 1, 0, IntegerFault::DivisionByZero, 0},
    };
    for (const auto& c : cases) {
        std::int32_t result = 0;
        const IntegerFault fault = ApplyIntegerOperator(c.op, c.left, c.right, result);
        EXPECT_EQ(fault, c.fault) << c.left << " " << int(c.op) << " " << c.right;
        if (fault == IntegerFault::None) {
            EXPECT_EQ(result, c.result) << c.left << " " << int(c.op) << " " << c.right;
        }
    }
    EXPECT_EQ(IntegerFaultText(IntegerFault::Overflow), "integer overflow in integer expression.");
    EXPECT_EQ(IntegerFaultText(IntegerFault::DivisionByZero), "division by zero in integer expression.");
}

TEST(ModelFileRules, SizesBelowZeroOrBeyondTheBoundsOfAQuantityAndOfAModelAreRefused)
{
    const ElementBounds saved = elementBounds();
    elementBounds() = ElementBounds{100, 1000};
    // Sizes not known yet are left out.
    EXPECT_EQ(KnownElementCount({10, std::nullopt, 10}), 100);
    EXPECT_EQ(KnownElementCount({INT64_MAX, 2}), INT64_MAX);

    const struct {
        KnownSizes sizes;
        std::string text;
        std::string refusal;
    } cases[] = {
        {{10, 10}, "[10,10]", ""},
        {{10, std::nullopt}, "[10,n]", ""},
        {{0}, "[0]", ""},
        {{-1}, "[-1]", "dimension (-1) must be >= 0."},
        {{10, -3}, "[10,-3]", "dimension (-3) must be >= 0."},
        {{101}, "[101]", "port p[101] has 101 elements, more than the 100 one quantity may have."},
        {{INT32_MAX, INT32_MAX}, "[2147483647,2147483647]",
         "port p[2147483647,2147483647] has 4611686014132420609 elements, more than the 100 one quantity may have."},
    };
    for (const auto& c : cases) {
        std::int64_t declared = 0;
        EXPECT_EQ(DeclaredQuantityRefusal("port p", c.sizes, c.text, declared), c.refusal) << c.text;
    }
    EXPECT_EQ(QuantityBoundRefusal("the bond of size ", {200}, "[200]", " of submodel a1:b"),
              "the bond of size [200] of submodel a1:b has 200 elements, more than the 100 one quantity may have.");

    // The quantities of a model together: the one that passes the bound is named, and only once.
    std::int64_t declared = 0;
    for (int k = 0; k < 10; ++k)
        EXPECT_EQ(DeclaredQuantityRefusal("x" + std::to_string(k), {100}, "[100]", declared), "") << k;
    EXPECT_EQ(DeclaredQuantityRefusal("y", {}, "", declared),
              "with y the model declares more than the 1000 elements a model may have.");
    EXPECT_EQ(DeclaredQuantityRefusal("z", {100}, "[100]", declared), "");
    EXPECT_EQ(declared, 1001);
    elementBounds() = saved;
}

} // namespace
