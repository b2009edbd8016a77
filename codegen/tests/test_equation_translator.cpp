// The equation translator: C text, readable copy and target of each construct, and
// the constructs it refuses.
#include "codegen/equation_translator.h"

#include "platform/core/message_sink.h"

#include <gtest/gtest.h>

namespace {

class TranslatorTest : public ::testing::Test {
protected:
    TranslatorTest()
    {
        for (auto [kind, names] : {std::pair{'P', std::vector<std::string>{"g", "len"}},
                                   std::pair{'V', std::vector<std::string>{"k", "f", "tq", "e"}},
                                   std::pair{'s', std::vector<std::string>{"phi", "w"}},
                                   std::pair{'R', std::vector<std::string>{"dphi"}}})
            for (const std::string& name : names) {
                auto record = std::make_unique<VariableRecord>();
                record->names = {name};
                record->kind = kind;
                record->ordinal = static_cast<std::int32_t>(model.list(kind)->size());
                model.list(kind)->push_back(std::move(record));
            }
    }

    EquationRecord translate(const std::string& text, bool expected = true)
    {
        EquationRecord equation;
        equation.text = text;
        EXPECT_EQ(TranslateEquation(equation, model), expected) << text;
        return equation;
    }

    GeneratorModel model;
    platform::ScriptedMessageSink sink;
    platform::ScopedMessageSink scoped{sink};
};

TEST_F(TranslatorTest, ConstructsBecomeC)
{
    struct Case {
        const char* keldor;
        const char* c;
    } cases[] = {
        // conditionals keep the blanks of the source; elseif nests
        {"V1 = if P0 > 0 then s0 else -s0 fi", "V[1] = ( P[0] > 0 ) ? ( s[0] ) : ( -s[0] );"},
        {"V0 = if s0 > 1 then 1 elseif s0 < 0 then 2 else 3 fi",
         "V[0] = ( s[0] > 1 ) ? ( 1 ) : ( s[0] < 0 ) ? ( 2 ) : ( 3 );"},
        // a conditional that is an operand stays one
        {"V0 = if s0 > 1 then 2 else 4 fi * 3", "V[0] = (( s[0] > 1 ) ? ( 2 ) : ( 4 )) * 3;"},
        {"V0 = if s0 > 1\n\tthen 2\n\telse 4\n\tfi", "V[0] = ( s[0] > 1\n\t) ? ( 2\n\t) : ( 4\n\t);"},
        // div, mod and power become calls; their operands are leaves, groups or calls
        {"V2 = (P0 + P1) div 2", "V[2] = XXIntegerDivide((P[0] + P[1]), 2);"},
        {"V0 = sin(P0) div 2", "V[0] = XXIntegerDivide(sin(P[0]), 2);"},
        {"V0 = atan2(P0 div 2,P1)", "V[0] = atan2(XXIntegerDivide(P[0], 2),P[1]);"},
        {"V0 = s0 mod -P1", "V[0] = XXIntegerModulo(s[0], -P[1]);"},
        {"V0 = -s0 div 2", "V[0] = XXIntegerDivide(-s[0], 2);"},
        {"V0 = (s0 power 2) power abs(P1)", "V[0] = XXPower((XXPower(s[0], 2)), XXAbsolute(P[1]));"},
        {"V0 = (s0 div 2) mod (P0 div P1)",
         "V[0] = XXIntegerModulo((XXIntegerDivide(s[0], 2)), (XXIntegerDivide(P[0], P[1])));"},
        // a reference letter is a reference only at the start of a word
        {"V0 = pow2(s0) + exp2(s1) + log10(P1)", "V[0] = XXPower2(s[0]) + XXExponent2(s[1]) + XXLogarithm10(P[1]);"},
        {"V0 = arccosh(P0) + arccos(P0) + arcsinh(P1) + arctan(s0)",
         "V[0] = XXArcCosineHyperbolic(P[0]) + acos(P[0]) + XXArcSineHyperbolic(P[1]) + atan(s[0]);"},
        {"V0 = step(t) + ramp(P0) + dly(s0,P1) + ran(P0) + sign(s1)",
         "V[0] = XXStep(xx_simulation_time) + XXRamp(P[0]) + XXDelay(s[0],P[1]) + XXRandom(P[0]) + XXSign(s[1]);"},
        // time is a lone t
        {"V0 = t * tan(t) + sqrt(s0)", "V[0] = xx_simulation_time * tan(xx_simulation_time) + sqrt(s[0]);"},
        {"V0 = (P0 > 0) and  not (s0 =/= 1)", "V[0] = (P[0] > 0) &&  ! (s[0] != 1);"},
        {"V0 = (s0 > 1) or false", "V[0] = (s[0] > 1) || 0;"},
        {"V0 = true div 2", "V[0] = XXIntegerDivide(1, 2);"},
        // C must not divide integers, nor read two minus signs as a decrement
        {"V0 = 1 / 2", "V[0] = 1 / 2.0;"},
        {"V0 = (7 + 1) / (2 * 2)", "V[0] = (7 + 1) / (2.0 * 2.0);"},
        {"V0 = 2.500000e-01 / 4", "V[0] = 2.500000e-01 / 4.0;"},
        {"V0 = --s0", "V[0] = - -s[0];"},
        {"R0 = s1", "R[0] = s[1];"},
        {"    V3 = (s0 * \\\n      P0)", "V[3] = (s[0] * \n      P[0]);"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(translate(c.keldor).text, c.c) << c.keldor;
    EXPECT_TRUE(sink.transcript().empty());
}

// A damaged or hostile file may nest an equation far deeper than the model processor writes:
// it is translated as any other, in time that grows with its length.
TEST_F(TranslatorTest, DeeplyNestedEquationsTranslate)
{
    auto times = [](const std::string& text, int n) {
        std::string out;
        for (int i = 0; i < n; ++i)
            out += text;
        return out;
    };
    const int n = 20000;
    struct Case {
        std::string keldor;
        std::string c;
    } cases[] = {
        {"V0 = " + times("if s0 > 1 then ", n) + "P0" + times(" else 0 fi", n),
         "V[0] = ( s[0] > 1 ) ? ( " + times("(( s[0] > 1 ) ? ( ", n - 1) + "P[0]" + times(" ) : ( 0 ))", n - 1) +
             " ) : ( 0 );"},
        {"V0 = " + times("if s0 > 1 then 1 else ", n) + "P0" + times(" fi", n),
         "V[0] = ( s[0] > 1 ) ? ( 1 ) : ( " + times("(( s[0] > 1 ) ? ( 1 ) : ( ", n - 1) + "P[0]" +
             times(" ))", n - 1) + " );"},
        {"V0 = if s0 > 0 then 0 " + times("elseif s0 > 1 then 1 ", n) + "else 2 fi",
         "V[0] = ( s[0] > 0 ) ? ( 0 " + times(") : ( s[0] > 1 ) ? ( 1 ", n) + ") : ( 2 );"},
        {"V0 = " + times("P0 div (", n) + "s0" + times(")", n),
         "V[0] = " + times("XXIntegerDivide(P[0], (", n) + "s[0]" + times("))", n) + ";"},
        {"V0 = " + times("(", n) + "s0" + times(" mod 2)", n),
         "V[0] = " + times("(XXIntegerModulo(", n) + "s[0]" + times(", 2))", n) + ";"},
        {"V0 = s0" + times(" power 2", n), "V[0] = " + times("XXPower(", n) + "s[0]" + times(", 2)", n) + ";"},
        {"V0 = " + times("s0 / (", n) + "1" + times(")", n),
         "V[0] = " + times("s[0] / (", n) + "1.0" + times(")", n) + ";"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(translate(c.keldor).text, c.c) << c.keldor.substr(0, 60);
    EXPECT_TRUE(sink.transcript().empty());
}

TEST_F(TranslatorTest, ReadableCopyNamesTheQuantitiesAndTargetIsTheLeftSide)
{
    EquationRecord e = translate("V1 = if P0 > 0 then t else -s0 fi");
    EXPECT_EQ(e.readable, "f = ( g > 0 ) ? ( t ) : ( -phi );");
    EXPECT_EQ(e.target, model.variables[1].get());
    e = translate("R0 = s1 div 2");
    EXPECT_EQ(e.readable, "dphi = XXIntegerDivide(w, 2);");
    EXPECT_EQ(e.target, model.independentRates[0].get());
    // an element past the declarations keeps its reference as its name and widens the array
    e = translate("V9 = P1");
    EXPECT_EQ(e.text, "V[9] = P[1];");
    EXPECT_EQ(e.readable, "V9 = len;");
    EXPECT_EQ(e.target, nullptr);
    EXPECT_EQ(model.indexedExtent['V'], 10);
    EXPECT_EQ(model.indexedExtent['P'], 2);
}

TEST_F(TranslatorTest, RefusedConstructsNameTheEquation)
{
    // A dependent state or rate comes of a storage in derivative causality: that is said too.
    const char* derivative = "A model with a mass, an inertia or another storage in derivative causality, or a ddt, "
                             "cannot be exported.";
    struct Case {
        const char* keldor;
        const char* message;
        const char* explanation = nullptr;
    } cases[] = {
        {"V0 = tdly(s0,1)", "Function \"tdly\" (time-delay) is not supported in code generation"},
        {"V0 = dll_function(1,2,3,4,5)", "Function \"dll_function\" (dll functionality) is not supported in code generation"},
        {"V0 = resetfunc(s0,1,2)", "Function \"reset\" (resetable integrator) is not supported in code generation"},
        {"V0 = table_from_file(1,2)", "Function \"from_file\" (input from file) is not supported in code generation"},
        {"V0 = A0 + 1", "The quantity A0 (an algebraic-loop output) has no array in the generated code"},
        {"V0 = a0", "The quantity a0 (an algebraic-loop input) has no array in the generated code"},
        {"V0 = S0", "The quantity S0 (a dependent state) has no array in the generated code", derivative},
        {"r1 = s0", "The quantity r1 (a dependent rate) has no array in the generated code", derivative},
        {"V0 = U3", "The quantity U3 (a temporary) has no array in the generated code"},
        {"V0 = I0", "The quantity I0 (an initial condition) has no array in the generated code"},
        {"V0 = V1 [P0]", "An element with a computed index is not supported in code generation"},
        {"V0 [P0] = s0", "An element with a computed index is not supported in code generation"},
        {"V0 = limint(s0,0,1)", "Function \"limint\" is not supported in code generation"},
        {"V0 = x + 1", "Unknown name \"x\" in an equation"},
        {"V0 = s0 @ 2", "Unexpected \"@\" in an equation"},
        {"V0 = if s0 > 1 then 2", "\"if\" without \"fi\""},
        {"V0 = s0 fi", "\"fi\" without \"if\""},
        {"V0 = div 2", "The operator \"div\" is missing an operand"},
        {"V0 = s0 div (2", "The operator \"div\" is missing an operand"},
        {"V0 = sin + 1", "Function \"sin\" is used without its arguments"},
        {"2 = s0", "The equation does not assign a quantity"},
        {"V123456789 = s0", "The reference V123456789 is out of range"},
    };
    for (const Case& c : cases) {
        sink.clear();
        translate(c.keldor, false);
        std::vector<std::string> expected{c.message};
        if (c.explanation)
            expected.push_back(c.explanation);
        expected.push_back(std::string("in equation: ") + c.keldor);
        EXPECT_EQ(sink.transcriptLines(), expected) << c.keldor;
    }
}

} // namespace

// The instructions the model processor's code of each equation takes, as its code files count
// them; a sign before a literal may be the literal's own.
TEST(InstructionCount, CountsTheInstructionsOfTheCodeForm)
{
    struct Case {
        const char* keldor;
        std::optional<std::pair<long, long>> count;
    } cases[] = {
        {"V0 = P0", std::pair{1L, 1L}},                         // mov
        {"V0 = t", std::pair{1L, 1L}},                          // tim
        {"V0 = -2.5", std::pair{1L, 1L}},                       // inv, or mov of the literal
        {"V0 = P0 * -2.5", std::pair{1L, 2L}},                  // inv and mul, or mul alone
        {"V0 = -(s0 + P0) - -s0", std::pair{4L, 4L}},           // add, inv, inv, sub
        {"V0 =  not (s0 > 0)", std::pair{2L, 2L}},              // tgt, not
        {"R0 = V0 + (s0 * atan2(s0,t))", std::pair{4L, 4L}},    // tim, at2, mul, add
        {"V0 = (P2 div 2) + (P2 mod 3)", std::pair{3L, 3L}},    // idv, mod, add
        // tgt, jfa, mov, jmp, then the else part into the result: tlt, jfa, mov, jmp, mov and
        // its move; and the move into V0
        {"V0 = if s0 > 1\n\tthen 1\n\telseif s0 < 0\n\tthen 2\n\telse 3\n\tfi", std::pair{11L, 11L}},
        // an operand: no move of its result; tgt, jfa, mov, jmp, mov, then the mul
        {"V0 = 2 * if s0 > P0\n\tthen s0\n\telse P1\n\tfi", std::pair{6L, 6L}},
        // a conditional as the then part moves its result into the outer one's
        {"V0 = if s0 > 1 then if s0 > 2 then t else 1 fi else 0 fi", std::pair{11L, 11L}},
        {"V0 = dll_function(s0,1,2,t,3)", std::pair{4L, 4L}},   // tim, hlg, flk, dll
        {"V0 = resetfunc(-s0,1,2)", std::pair{3L, 3L}},          // inv, mov, rst
        {"V0 = V1 [P0]", std::nullopt},
        {"V0 [P0] = s0", std::nullopt},
        {"V0 = s0 +", std::nullopt},
        {"V0 = if s0 > 1 then 2 fi", std::nullopt},
    };
    // Nesting too deep to walk on the stack is not counted, whatever a damaged file holds.
    for (const std::string& deep : {"V0 = " + std::string(200000, '(') + "1" + std::string(200000, ')'),
                                    "V0 = " + std::string(200000, '-') + "1"})
        EXPECT_FALSE(CountInstructions(deep));
    for (const Case& c : cases) {
        const std::optional<InstructionCount> n = CountInstructions(c.keldor);
        ASSERT_EQ(n.has_value(), c.count.has_value()) << c.keldor;
        if (n) {
            EXPECT_EQ(n->least, c.count->first) << c.keldor;
            EXPECT_EQ(n->most, c.count->second) << c.keldor;
        }
    }
}
