// Interpreter: what each operation computes, conditionals and jumps, the time
// delays, reset, the index checks of array access, the random generator and
// the location of the cursor.
#include "model_test_support.h"

#include "platform/core/message_sink.h"
#include "simulator/numerics/subnormals.h"

#include <gtest/gtest.h>

#include <cfenv>
#include <cmath>
#include <csetjmp>
#include <csignal>
#include <limits>

using modeltest::cell;
using modeltest::codeFile;

namespace {

const double NaN = std::numeric_limits<double>::quiet_NaN();

/// V0 := op(P0[, P1]) with P0 = a and P1 = b, at time t.
double evaluate(const std::string& mnemonic, double a, double b = 0.0, double t = 0.0)
{
    const OpcodeRow* row = FindOpcode(mnemonic);
    EXPECT_NE(row, nullptr) << mnemonic;
    const std::string operands = row && row->token == ShapeTwo ? "\tP0\tP1" : "\tP0";
    modeltest::loadClean(codeFile({"#DParam \t2", "\t#real\ta", "\t#real\tb", "#DVariable\t1", "\t#real\tv",
                                   "#Edynamic\t1", "\t" + mnemonic + "\tV0" + operands}));
    cell('P', 0) = a;
    cell('P', 1) = b;
    cell('V', 0) = -12345.0;
    EvaluateModel(t);
    return cell('V', 0);
}

struct MathsErrorCall {
    int kind;
    std::string function;
    double argument;
};
std::vector<MathsErrorCall> g_mathsErrors;

void recordMathsError(int kind, const char* function, double argument)
{
    g_mathsErrors.push_back({kind, function, argument});
}

struct OpCase {
    const char* mnemonic;
    double a, b, t;
    double expected;
};

} // namespace

TEST(Interpreter, OpcodeTableHoldsSixtySixSortedRows)
{
    EXPECT_EQ(OpcodeTable.size(), 66u);
    for (std::size_t i = 1; i < OpcodeTable.size(); ++i)
        EXPECT_LT(std::string(OpcodeTable[i - 1].mnemonic), std::string(OpcodeTable[i].mnemonic));
    EXPECT_EQ(FindOpcode("jfa")->token, ShapeCondJump);
    EXPECT_EQ(FindOpcode("tim")->token, ShapeTime);
    EXPECT_EQ(FindOpcode("ADD"), nullptr);
    EXPECT_EQ(FindOpcode("end")->handler, EndHandler());
}

TEST(Interpreter, OperationsComputeTheirValues)
{
    const double e = std::exp(1.0);
    const std::vector<OpCase> cases = {
        {"abs", -2.5, 0, 0, 2.5},          {"ach", 1.0, 0, 0, 0.0},
        {"acs", 1.0, 0, 0, 0.0},           {"add", 1.5, 2.25, 0, 3.75},
        {"and", 2.0, -1.0, 0, 1.0},        {"and", 2.0, 0.0, 0, 0.0},
        {"and", NaN, 1.0, 0, 1.0},         {"ash", 0.0, 0, 0, 0.0},
        {"asn", 1.0, 0, 0, M_PI / 2},      {"at2", 1.0, -1.0, 0, 3 * M_PI / 4},
        {"ath", 0.5, 0, 0, std::atanh(0.5)}, {"atn", 1.0, 0, 0, M_PI / 4},
        {"cos", 0.0, 0, 0, 1.0},           {"csh", 0.0, 0, 0, 1.0},
        {"div", 7.0, 2.0, 0, 3.5},         {"ex2", 10.0, 0, 0, 1024.0},
        {"exp", 1.0, 0, 0, e},             {"exp", 709.0, 0, 0, 1.797693e308},
        {"exp", -709.0, 0, 0, 0.0},        {"exx", 3.0, 0, 0, 1000.0},
        {"idv", -7.0, 2.0, 0, -3.0},       {"idv", 1e20, 0.5, 0, 2e20},
        {"inv", 4.0, 0, 0, -4.0},          {"ipw", 2.0, 3.9, 0, 8.0},
        {"ipw", 2.0, -1.5, 0, 0.5},        {"lg2", 8.0, 0, 0, 3.0},
        {"lgx", 1000.0, 0, 0, 3.0},        {"log", e, 0, 0, 1.0},
        {"mod", -7.0, 3.0, 0, -1.0},       {"mov", 6.5, 0, 0, 6.5},
        {"mul", 3.0, -2.0, 0, -6.0},       {"not", 0.0, 0, 0, 1.0},
        {"not", -0.5, 0, 0, 0.0},          {"orr", 0.0, 0.0, 0, 0.0},
        {"orr", 0.0, 3.0, 0, 1.0},         {"pow", 4.0, 0.5, 0, 2.0},
        {"pw2", -3.0, 0, 0, 9.0},          {"rmp", 1.0, 0, 3.5, 2.5},
        {"rmp", 1.0, 0, 0.5, 0.0},         {"sgn", -0.0, 0, 0, 0.0},
        {"sgn", -3.0, 0, 0, -1.0},         {"sgn", 1e-300, 0, 0, 1.0},
        {"sin", M_PI / 2, 0, 0, 1.0},      {"snh", 0.0, 0, 0, 0.0},
        {"sqt", 16.0, 0, 0, 4.0},          {"stp", 1.0, 0, 0.999, 0.0},
        {"stp", 1.0, 0, 1.0, 1.0},         {"sub", 1.0, 3.0, 0, -2.0},
        {"tan", M_PI / 4, 0, 0, std::tan(M_PI / 4)}, {"tnh", 0.0, 0, 0, 0.0},
        {"teq", 2.0, 2.0, 0, 1.0},         {"teq", NaN, NaN, 0, 0.0},
        {"tge", 2.0, 2.0, 0, 1.0},         {"tge", NaN, 0.0, 0, 0.0},
        {"tgt", 2.0, 2.0, 0, 0.0},         {"tgt", 3.0, 2.0, 0, 1.0},
        {"tle", 2.0, 2.0, 0, 1.0},         {"tle", NaN, 0.0, 0, 0.0},
        {"tlt", 1.0, 2.0, 0, 1.0},         {"tlt", 2.0, NaN, 0, 0.0},
        {"tne", 1.0, 2.0, 0, 1.0},         {"tne", NaN, NaN, 0, 1.0},
    };
    for (const OpCase& c : cases) {
        const double got = evaluate(c.mnemonic, c.a, c.b, c.t);
        EXPECT_NEAR(got, c.expected, 1e-12 * std::max(1.0, std::fabs(c.expected)))
            << c.mnemonic << "(" << c.a << ", " << c.b << ") at t = " << c.t;
    }
    EXPECT_TRUE(std::isnan(evaluate("sgn", NaN)));
    EXPECT_FALSE(std::signbit(evaluate("sgn", -0.0)));
}

TEST(Interpreter, TimeOperandAndTimInstructionReadTheSimulationTime)
{
    modeltest::loadClean(codeFile({"#DVariable\t2", "\t#real\ta", "\t#real\tb", "#Edynamic\t2", "\ttim\tV0",
                                   "\tadd\tV1\tt\t1"}));
    EvaluateModel(2.5);
    EXPECT_EQ(cell('V', 0), 2.5);
    EXPECT_EQ(cell('V', 1), 3.5);
}

TEST(Interpreter, ConditionalWithJumpsPicksItsBranch)
{
    // v1 = if v0 > 1 then 2 * v0 else -v0 fi, as the model processor writes it.
    modeltest::loadClean(codeFile({"#DVariable\t2", "\t#real\tv0", "\t#real\tv1", "#DUnnamed\t2", "\t#real", "\t#real",
                                   "#Edynamic\t6", "\ttgt\tU0\tV0\t1", "\tjfa\t4\tU0", "\tmul\tU1\t2.000000e+00\tV0",
                                   "\tjmp\t5", "\tinv\tU1\tV0", "\tmov\tV1\tU1"}));
    const std::vector<std::pair<double, double>> cases = {{3.0, 6.0}, {1.0, -1.0}, {0.5, -0.5}, {NaN, NaN}};
    for (auto [in, out] : cases) {
        cell('V', 0) = in;
        EvaluateModel(0.0);
        if (std::isnan(out))
            EXPECT_TRUE(std::isnan(cell('V', 1)));
        else
            EXPECT_EQ(cell('V', 1), out) << in;
    }
}

TEST(Interpreter, ConditionalJumpsFollowIeeeComparisons)
{
    struct JumpCase {
        const char* mnemonic;
        double value;
        bool taken;
    };
    const std::vector<JumpCase> cases = {
        {"jeq", 0.0, true}, {"jeq", -0.0, true}, {"jeq", 1.0, false}, {"jeq", NaN, false},
        {"jfa", 0.0, true}, {"jfa", 2.0, false}, {"jne", 2.0, true}, {"jne", 0.0, false},
        {"jne", NaN, true}, {"jge", 0.0, true}, {"jge", -1.0, false}, {"jge", NaN, false},
        {"jgt", 0.0, false}, {"jgt", 1.0, true}, {"jle", 0.0, true}, {"jle", 1.0, false},
        {"jlt", -1.0, true}, {"jlt", 0.0, false}, {"jlt", NaN, false},
    };
    for (const JumpCase& c : cases) {
        modeltest::loadClean(codeFile({"#DVariable\t2", "\t#real\tc", "\t#real\tr", "#Edynamic\t2",
                                       std::string("\t") + c.mnemonic + "\t2\tV0", "\tmov\tV1\t1"}));
        cell('V', 0) = c.value;
        EvaluateModel(0.0);
        EXPECT_EQ(cell('V', 1), c.taken ? 0.0 : 1.0) << c.mnemonic << " " << c.value;
    }
}

TEST(Interpreter, TimeDelayFollowsTheDelayedSine)
{
    // v0 = sin(t); v1 = tdly(v0, tau); v2 = dly(v0, 7)
    const double tau = 0.3;
    modeltest::loadClean(codeFile({"#DParam \t2", "\t#real\ttau", "\t#real\tinit", "#DVariable\t3", "\t#real\tv0",
                                   "\t#real\tv1", "\t#real\tv2", "#Edynamic\t3", "\tsin\tV0\tt", "\ttdl\tV1\tV0\tP0",
                                   "\tdly\tV2\tV0\tP1"}));
    cell('P', 0) = tau;
    cell('P', 1) = 7.0;
    ASSERT_TRUE(SelectModelEvaluators());
    const double dt = 0.01;
    FirstEvaluationFlag = 1;
    double worst = 0.0;
    for (int i = 0; i <= 200; ++i) {
        const double t = i * dt;
        EvaluateModel(t);
        if (i == 0) {
            EXPECT_EQ(cell('V', 2), 7.0); // dly gives its second operand in the first evaluation
            FirstEvaluationFlag = 0;
        } else {
            EXPECT_EQ(cell('V', 2), cell('V', 0));
        }
        if (t + 1e-9 < tau)
            EXPECT_EQ(cell('V', 1), 0.0) << t;
        else
            worst = std::max(worst, std::fabs(cell('V', 1) - std::sin(t - tau)));
        ModelEvaluators.output();
    }
    EXPECT_LT(worst, 1e-4);

    // A new run abandons the old samples.
    FirstEvaluationFlag = 1;
    EvaluateModel(0.0);
    EXPECT_EQ(cell('V', 1), 0.0);
    ModelEvaluators.output();
}

TEST(Interpreter, ResetSetsItsTargetOnlyWhenTheConditionHolds)
{
    // v0 = (s0 >= p1); reset s0 to p0 when it holds.
    modeltest::loadClean(codeFile({"#DParam \t2", "\t#real\tlow", "\t#real\tlimit", "#DVariable\t1", "\t#real\tc",
                                   "#Dstate_ind\t1", "\t#real\tx", "#DRate_ind\t1", "\t#real\tdx", "#Edynamic\t3",
                                   "\ttge\tV0\ts0\tP1", "\trst\tV0\ts0\tP0", "\tmov\tR0\t0"}));
    cell('P', 0) = -1.0;
    cell('P', 1) = 4.0;
    cell('s', 0) = 3.0;
    EvaluateModel(0.0);
    EXPECT_EQ(cell('s', 0), 3.0);
    EXPECT_EQ(RestartFlag, 0);
    cell('s', 0) = 5.0;
    EvaluateModel(0.0);
    EXPECT_EQ(cell('s', 0), -1.0);
    EXPECT_EQ(RestartFlag, 1);

    // A condition of NaN or below one in size does not reset.
    modeltest::loadClean(codeFile({"#DVariable\t2", "\t#real\tc", "\t#real\tx", "#Edynamic\t1", "\trst\tV0\tV1\t9"}));
    for (double condition : {NaN, 0.5, -0.99}) {
        cell('V', 0) = condition;
        cell('V', 1) = 2.0;
        EvaluateModel(0.0);
        EXPECT_EQ(cell('V', 1), 2.0) << condition;
        EXPECT_EQ(RestartFlag, 0);
    }
}

TEST(Interpreter, ArrayAccessStopsWithTheIndexMessage)
{
    // v[1..3] read at p0 after a plf check; v[p1] := p2 written without one.
    const std::string model = codeFile({"#DParam \t3", "\t#real\ti", "\t#real\tj", "\t#real\tw", "#DVariable\t5",
                                        "\t#real\tv[1]", "\t#real\tv[2]", "\t#real\tv[3]", "\t#real\tr", "\t#real\tq",
                                        "#Edynamic\t4", "\tplf\tP0\t1\t3", "\tmar\tV3\tV0\tP0", "\tmra\tV0\tP1\tP2",
                                        "\tmov\tV4\t1"});
    platform::ScriptedMessageSink sink;
    platform::ScopedMessageSink use(sink);
    modeltest::loadClean(model);
    cell('V', 0) = 10.0;
    cell('V', 1) = 20.0;
    cell('V', 2) = 30.0;
    cell('P', 0) = 2.0;
    cell('P', 1) = 1.0;
    cell('P', 2) = 5.0;
    EvaluateModel(0.0);
    EXPECT_EQ(cell('V', 3), 20.0);
    EXPECT_EQ(cell('V', 0), 5.0);
    EXPECT_EQ(RunStopFlag, 0);
    EXPECT_TRUE(sink.transcript().empty());

    struct IndexCase {
        double i, j;
        const char* line;
    };
    const std::vector<IndexCase> cases = {
        {4.0, 1.0, "index is 4, and should be between 1 and 3"},
        {0.0, 1.0, "index is 0, and should be between 1 and 3"},
        {2.0, 6.0, "index is 6, and should be between 1 and 5"},  // the write: five cells from V0
        {2.0, 0.0, "index is 0, and should be between 1 and 5"},
        {2.0, -1e30, "index is -2147483648, and should be between 1 and 5"},
    };
    for (const IndexCase& c : cases) {
        sink.clear();
        modeltest::resetRunFlags();
        cell('P', 0) = c.i;
        cell('P', 1) = c.j;
        cell('V', 4) = 0.0;
        EvaluateModel(0.0);
        EXPECT_EQ(sink.transcriptLines(),
                  (std::vector<std::string>{"Error during simulation:", "Array index out of bounds", c.line}));
        EXPECT_EQ(RunStopFlag, 1);
        EXPECT_EQ(cell('V', 4), 0.0); // the pass ended at once
    }
}

TEST(Interpreter, RandomValuesAreUniformWithinTheAmplitude)
{
    modeltest::loadClean(codeFile({"#DParam \t1", "\t#real\tamp", "#DVariable\t1", "\t#real\tr", "#Einputs\t1",
                                   "\tran\tV0\tP0"}));
    cell('P', 0) = 2.0;
    SeedRandomGenerator(42);
    double low = 0, high = 0, sum = 0;
    const int n = 20000;
    for (int i = 0; i < n; ++i) {
        ModelEvaluators.excitation();
        const double r = cell('V', 0);
        ASSERT_GE(r, -2.0);
        ASSERT_LE(r, 2.0);
        low = std::min(low, r);
        high = std::max(high, r);
        sum += r;
    }
    EXPECT_LT(low, -1.99);
    EXPECT_GT(high, 1.99);
    EXPECT_NEAR(sum / n, 0.0, 0.05);
    int top = 0;
    for (int i = 0; i < 100000; ++i)
        top = std::max(top, RandomInteger15());
    EXPECT_EQ(top, 32767);
}

TEST(Interpreter, LocateInstructionNamesTableAndRow)
{
    modeltest::loadClean(codeFile({"#DVariable\t1", "\t#real\tv", "#Eoutputs\t4", "\tmov\tV0\t1", "\tmov\tV0\t2",
                                   "\tmov\tV0\t3", "\tmov\tV0\t4"}));
    int index = -1;
    std::string name;
    InstructionCursor = &InstructionTables()[3].rows[2];
    EXPECT_EQ(LocateInstruction(index, name), -2);
    EXPECT_EQ(index, 3);
    EXPECT_EQ(name, "output");
    InstructionCursor = nullptr;
    EXPECT_EQ(LocateInstruction(index, name), -1);
    EXPECT_EQ(index, 0);
    EXPECT_EQ(name, "???");
}

TEST(Interpreter, ExplicitEndStopsThePassWithoutStoppingTheRun)
{
    modeltest::loadClean(codeFile({"#DVariable\t1", "\t#real\tv", "#Edynamic\t3", "\tmov\tV0\t1", "\tend",
                                   "\tmov\tV0\t2"}));
    EvaluateModel(0.0);
    EXPECT_EQ(cell('V', 0), 1.0);
    EXPECT_EQ(RunStopFlag, 0);
}

TEST(Interpreter, MathsRoutinesReportTheFlagsTheyRaise)
{
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        const char* mnemonic;
        double a, b;
        int kind; // 0: no error
        const char* function;
    };
    const std::vector<Case> cases = {
        {"log", -1.0, 0, MathsDomainError, "log"},         {"log", 0.0, 0, MathsSingularityError, "log"},
        {"log", 1e-310, 0, 0, ""},                         {"sqt", -4.0, 0, MathsDomainError, "sqrt"},
        {"acs", 2.0, 0, MathsDomainError, "acos"},         {"asn", -1.5, 0, MathsDomainError, "asin"},
        {"sin", inf, 0, MathsDomainError, "sin"},          {"cos", -inf, 0, MathsDomainError, "cos"},
        {"tan", inf, 0, MathsDomainError, "tan"},          {"csh", 1000.0, 0, MathsOverflowError, "cosh"},
        {"snh", -1000.0, 0, MathsOverflowError, "sinh"},   {"tnh", 1000.0, 0, 0, ""},
        {"pow", 10.0, 400.0, MathsOverflowError, "pow"},   {"pow", 0.0, -1.0, MathsSingularityError, "pow"},
        {"pow", -8.0, 1.0 / 3, MathsDomainError, "pow"},   {"mod", 1.0, 0.0, MathsDomainError, "fmod"},
        {"pow", 10.0, -400.0, MathsUnderflowError, "pow"}, {"sin", 1e-310, 0, 0, ""}, // underflow to 0 only
        {"at2", 0.0, 0.0, 0, ""},                          {"exp", 1000.0, 0, 0, ""},
        {"exp", -1000.0, 0, 0, ""},                        {"atn", inf, 0, 0, ""},
        // The operations that compute through a routine of their own.
        {"ach", 0.5, 0, MathsDomainError, "acosh"},        {"ach", 1e200, 0, 0, ""},
        {"ash", -1e9, 0, 0, ""},                           {"ash", 1e-200, 0, 0, ""},
        {"ath", 1.0, 0, MathsSingularityError, "atanh"},   {"ath", -2.0, 0, MathsDomainError, "atanh"},
        {"ex2", 1100.0, 0, MathsOverflowError, "exp2"},    {"ex2", -1100.0, 0, MathsUnderflowError, "exp2"},
        {"exx", 400.0, 0, MathsOverflowError, "exp10"},    {"exx", -400.0, 0, MathsUnderflowError, "exp10"},
        {"lg2", 0.0, 0, MathsSingularityError, "log2"},    {"lg2", -8.0, 0, MathsDomainError, "log2"},
        {"lgx", 0.0, 0, MathsSingularityError, "log10"},   {"lgx", -1e-3, 0, MathsDomainError, "log10"},
        {"ipw", 0.0, -2.5, MathsSingularityError, "pow"},  {"ipw", 10.0, 400.9, MathsOverflowError, "pow"},
        {"ipw", -8.0, 0.5, 0, ""},                         {"ipw", 2.0, NaN, 0, ""},
    };
    const MathsErrorHandler previous = SetMathsErrorHandler(recordMathsError);
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.mnemonic) + "(" + std::to_string(c.a) + ", " + std::to_string(c.b) + ")");
        g_mathsErrors.clear();
        std::feclearexcept(FE_ALL_EXCEPT);
        evaluate(c.mnemonic, c.a, c.b);
        if (c.kind == 0) {
            EXPECT_TRUE(g_mathsErrors.empty());
            continue;
        }
        ASSERT_EQ(g_mathsErrors.size(), 1u);
        EXPECT_EQ(g_mathsErrors[0].kind, c.kind);
        EXPECT_EQ(g_mathsErrors[0].function, c.function);
        EXPECT_EQ(g_mathsErrors[0].argument, c.a);
        // The error went to the handler, not into the caller's flags.
        EXPECT_EQ(std::fetestexcept(FE_INVALID | FE_DIVBYZERO | FE_OVERFLOW | FE_UNDERFLOW), 0);
    }
    std::feclearexcept(FE_ALL_EXCEPT);
    SetMathsErrorHandler(previous);
}

// Where the sparse integrators count subnormal results as zero, a routine whose result lies
// in the subnormal range still gives the library's own number without an error, and one that
// underflows to zero still reports it; a subnormal argument is read as itself.
TEST(Interpreter, MathsRoutinesGiveTheirOwnSubnormalResultsWhereSubnormalsCountAsZero)
{
    const MathsErrorHandler previous = SetMathsErrorHandler(recordMathsError);
    struct Case {
        const char* mnemonic;
        double a, b;
        double expected;
        int kind;
    };
    const std::vector<Case> cases = {
        {"ex2", -1060.0, 0, std::exp2(-1060.0), 0},
        {"pow", 10.0, -310.0, std::pow(10.0, -310.0), 0}, {"log", 1e-310, 0, std::log(1e-310), 0},
        {"sin", 1e-310, 0, 1e-310, 0},                  {"ex2", -1100.0, 0, 0.0, MathsUnderflowError},
    };
    {
        const numerics::SubnormalsAsZero flushed(true);
        for (const Case& c : cases) {
            SCOPED_TRACE(c.mnemonic);
            g_mathsErrors.clear();
            EXPECT_EQ(evaluate(c.mnemonic, c.a, c.b), c.expected);
            EXPECT_EQ(g_mathsErrors.size(), c.kind == 0 ? 0u : 1u);
            if (!g_mathsErrors.empty()) {
                EXPECT_EQ(g_mathsErrors[0].kind, c.kind);
            }
            EXPECT_EQ(numerics::subnormalModeBits(), numerics::SubnormalsAsZeroBits);
        }
    }
    EXPECT_EQ(numerics::subnormalModeBits(), 0u);
    std::feclearexcept(FE_ALL_EXCEPT);
    SetMathsErrorHandler(previous);
}

namespace {

sigjmp_buf g_trapRecovery;
void jumpBackFromTrap(int) { siglongjmp(g_trapRecovery, 1); }

} // namespace

TEST(Interpreter, ATrapInsideAMathsRoutineNamesTheRoutine)
{
    // A run keeps the invalid and division-by-zero traps on through the maths routines: the
    // routine's error traps where it arises, and the routine and argument are known after the jump.
    struct sigaction action {}, previous {};
    action.sa_handler = jumpBackFromTrap;
    sigemptyset(&action.sa_mask);
    ASSERT_EQ(sigaction(SIGFPE, &action, &previous), 0);
    struct Case {
        const char* mnemonic;
        double a, b;
        const char* function; // null: no trap
    };
    const std::vector<Case> cases = {
        {"log", -1.0, 0, "log"}, {"lg2", 0.0, 0, "log2"}, {"ath", 1.0, 0, "atanh"}, {"mod", 2.5, 0.0, "fmod"},
        {"ipw", 0.0, -1.0, "pow"}, {"log", 2.0, 0, nullptr}, {"div", 1.0, 0.0, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mnemonic);
        double argument = 0.0;
        TakeInterruptedMathsCall(argument);
        volatile bool trapped = false;
        if (sigsetjmp(g_trapRecovery, 1) == 0) {
            feenableexcept(FE_INVALID | FE_DIVBYZERO);
            evaluate(c.mnemonic, c.a, c.b);
        } else {
            trapped = true;
        }
        fedisableexcept(FE_ALL_EXCEPT);
        std::feclearexcept(FE_ALL_EXCEPT);
        const char* function = TakeInterruptedMathsCall(argument);
        if (!c.function) {
            EXPECT_EQ(function, nullptr);
            EXPECT_EQ(bool(trapped), std::string(c.mnemonic) == "div");
            continue;
        }
        EXPECT_TRUE(trapped);
        ASSERT_NE(function, nullptr);
        EXPECT_STREQ(function, c.function);
        EXPECT_EQ(argument, c.a);
        EXPECT_EQ(TakeInterruptedMathsCall(argument), nullptr); // taken once
    }
    sigaction(SIGFPE, &previous, nullptr);
}

TEST(Interpreter, WithoutAMathsErrorHandlerTheFlagsStayRaised)
{
    const MathsErrorHandler previous = SetMathsErrorHandler(nullptr);
    std::feclearexcept(FE_ALL_EXCEPT);
    EXPECT_TRUE(std::isnan(evaluate("log", -1.0)));
    EXPECT_NE(std::fetestexcept(FE_INVALID), 0);
    std::feclearexcept(FE_ALL_EXCEPT);
    EXPECT_EQ(evaluate("log", 0.0), -std::numeric_limits<double>::infinity());
    EXPECT_EQ(std::fetestexcept(FE_INVALID | FE_DIVBYZERO), FE_DIVBYZERO);
    // Flags raised before the call are kept, and so is the routine's inexact.
    std::feclearexcept(FE_ALL_EXCEPT);
    std::feraiseexcept(FE_OVERFLOW);
    evaluate("exp", -700.0);
    EXPECT_EQ(std::fetestexcept(FE_ALL_EXCEPT), FE_OVERFLOW | FE_INEXACT);
    std::feclearexcept(FE_ALL_EXCEPT);
    SetMathsErrorHandler(previous);
}
