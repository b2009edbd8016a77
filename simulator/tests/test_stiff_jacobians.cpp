// The stiff methods' Jacobian structure read from small hand-checked models, the choice of the
// sparse or the dense matrix, and the two paths run side by side on a stiff model.
#include "model_test_support.h"

#include "platform/core/message_sink.h"
#include "simulator/integration_methods.h"
#include "simulator/jacobian_pattern.h"
#include "simulator/numerics/subnormals.h"
#include "simulator/run_control.h"
#include "simulator/run_specs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>
#include <string>
#include <vector>

using modeltest::codeFile;

namespace {

using Rows = std::vector<std::set<int>>;

/// The dependencies of the loaded model's residuals, each row as a set; empty when unreadable.
Rows dependencies()
{
    Rows rows;
    if (auto read = ResidualDependencies())
        for (const auto& row : *read)
            rows.emplace_back(row.begin(), row.end());
    return rows;
}

/// Heat conduction on n points by the method of lines: u_i' = k (u_i-1 - 2 u_i + u_i+1), the
/// left end held at the parameter P1 and the right end at 0; k is P0. Rows given are added to the
/// dynamic table, with temporaries of their own from U2 on.
std::string heatCode(int n, const std::vector<std::string>& extraRows = {}, int extraTemporaries = 0)
{
    const std::string count = std::to_string(n);
    std::string text = "#Hclass\theat\n#Hversion\t1\n#DParam \t2\n\t#real\tk\n\t#real\tul\n#DIncond\t" + count + "\n";
    std::string states = "#Dstate_ind\t" + count + "\n";
    std::string rates = "#DRate_ind\t" + count + "\n";
    std::string initial = "#EInitial\t" + count + "\n";
    std::string dynamic;
    int rows = 0;
    for (int i = 0; i < n; ++i) {
        const std::string k = std::to_string(i);
        text += "\t#real\tu" + k + "0\n";
        states += "\t#real\tu" + k + "\n";
        rates += "\t#real\tdu" + k + "\n";
        initial += "\tmov\ts" + k + "\tI" + k + "\n";
        dynamic += "\tmul\tU0\t2.0\ts" + k + "\n";
        dynamic += "\tsub\tU1\t" + (i == 0 ? std::string("P1") : "s" + std::to_string(i - 1)) + "\tU0\n";
        rows += 3;
        if (i + 1 < n) {
            dynamic += "\tadd\tU1\tU1\ts" + std::to_string(i + 1) + "\n";
            ++rows;
        }
        dynamic += "\tmul\tR" + k + "\tP0\tU1\n";
    }
    for (const std::string& row : extraRows)
        dynamic += "\t" + row + "\n";
    rows += int(extraRows.size());
    std::string temporaries = "#DUnnamed\t" + std::to_string(2 + extraTemporaries) + "\n";
    for (int i = 0; i < 2 + extraTemporaries; ++i)
        temporaries += "\t#real\n";
    return text + states + rates + temporaries + initial + "#Einputs\t0\n#Edynamic\t" + std::to_string(rows) + "\n" +
           dynamic + "#Eoutputs\t0\n";
}

/// Loads the heat model of n points (or that text, made from it), with its values.
void loadHeat(int n, const std::string& text = {})
{
    modeltest::loadClean(text.empty() ? heatCode(n) : text);
    SetVariableValue(KindParameter, 0, double(n + 1) * double(n + 1));
    SetVariableValue(KindParameter, 1, 1.0);
    for (int i = 0; i < n; ++i)
        SetVariableValue(KindInitial, i, 0.0);
}

class JacobianChoiceReset : public ::testing::Test {
protected:
    void TearDown() override { SetJacobianChoice(JacobianChoice::FromStructure); }
};

// A chain s0' = -s0, s1' = 2 s0 - s1, s2' = 2 s1 - s2 through one temporary reused for each
// link: each rate reads its own state and the one before, and the temporary's earlier uses do
// not carry over.
TEST(JacobianPattern, ChainReadsEachLinkAndTheOneBefore)
{
    modeltest::loadClean(codeFile({"#Dstate_ind\t3", "\t#real\ta", "\t#real\tb", "\t#real\tc", "#DRate_ind\t3",
                                   "\t#real\tda", "\t#real\tdb", "\t#real\tdc", "#DUnnamed\t1", "\t#real",
                                   "#Edynamic\t5", "\tinv\tR0\ts0", "\tmul\tU0\t2.0\ts0", "\tsub\tR1\tU0\ts1",
                                   "\tmul\tU0\t2.0\ts1", "\tsub\tR2\tU0\ts2"}));
    EXPECT_EQ(dependencies(), (Rows{{0}, {0, 1}, {1, 2}}));
}

// s' = x - s with the loop x = 0.5 y + 1, y = 0.5 x + 1 torn at y (a0 in, A0 out): the rate reads
// the state and the loop variable, the loop's result the loop variable only.
TEST(JacobianPattern, AlgebraicLoopResidualReadsTheLoopVariable)
{
    modeltest::loadClean(codeFile({"#DVariable\t1", "\t#real\tx", "#Dstate_ind\t1", "\t#real\ts", "#DRate_ind\t1",
                                   "\t#real\tds", "#DAlgloop\t1", "\t#real\ty", "#DUnnamed\t1", "\t#real",
                                   "#Edynamic\t5", "\tmul\tU0\t5.000000e-01\ta0", "\tadd\tV0\tU0\t1.000000e+00",
                                   "\tmul\tU0\t5.000000e-01\tV0", "\tadd\tA0\tU0\t1.000000e+00", "\tsub\tR0\tV0\ts0"}));
    EXPECT_EQ(dependencies(), (Rows{{0, 1}, {1}}));
}

// Two masses on one junction, the second in derivative causality: q' = f, p1' = F - q / C - e2
// with f = p1 / m1, the dependent state p2 = m2 f and e2 = p2' (a dependent rate, the derivative
// of integrated component 2). The first mass's rate reads that derivative; the dependent state's
// residual reads the first momentum.
TEST(JacobianPattern, DependentStateAndItsRateAreComponentsOfTheirOwn)
{
    modeltest::loadClean(codeFile({"#DParam \t4", "\t#real\tF", "\t#real\tm1", "\t#real\tm2", "\t#real\tC",
                                   "#DVariable\t2", "\t#real\tf", "\t#real\te2", "#Dstate_ind\t2", "\t#real\tq",
                                   "\t#real\tp1", "#DRate_ind\t2", "\t#real\tdq", "\t#real\tdp1", "#DState_dept\t1",
                                   "\t#real\tp2", "#Drate_dept\t1", "\t#real\tdp2", "#DUnnamed\t2", "\t#real",
                                   "\t#real", "#Edynamic\t7", "\tdiv\tV0\ts1\tP1", "\tmov\tR0\tV0",
                                   "\tmul\tS0\tP2\tV0", "\tmov\tV1\tr0", "\tdiv\tU0\ts0\tP3", "\tsub\tU1\tP0\tU0",
                                   "\tsub\tR1\tU1\tV1"}));
    EXPECT_EQ(dependencies(), (Rows{{1}, {0, 2}, {1}}));
}

// Control flow and memory: a conditional part adds the condition and keeps what a branch may not
// overwrite; a value read before the table writes it comes from the evaluation before; an array
// read by a computed index reads every element; a user-library call cannot be followed.
TEST(JacobianPattern, BranchesCarriedValuesAndArraysAreReadConservatively)
{
    const std::initializer_list<std::string> declarations = {
        "#DParam \t1", "\t#real\ti", "#DVariable\t2", "\t#real\tv", "\t#real\tw", "#Dstate_ind\t4", "\t#real\ta",
        "\t#real\tb", "\t#real\tc", "\t#real\td", "#DRate_ind\t4", "\t#real\tda", "\t#real\tdb", "\t#real\tdc",
        "\t#real\tdd", "#DUnnamed\t1", "\t#real"};
    // The rates the equations leave alone are set to 0, so that the file is one whose every
    // rate is computed.
    auto model = [&](std::initializer_list<std::string> dynamic) {
        std::vector<std::string> body(declarations);
        std::vector<std::string> rows(dynamic.begin() + 1, dynamic.end());
        for (int rate = 0; rate < 4; ++rate) {
            const std::string cell = "\tR" + std::to_string(rate) + "\t";
            if (std::none_of(rows.begin(), rows.end(), [&](const std::string& row) {
                    return row.compare(4, cell.size(), cell) == 0;
                }))
                rows.push_back("\tmov" + cell + "0.0");
        }
        body.push_back("#Edynamic\t" + std::to_string(rows.size()));
        body.insert(body.end(), rows.begin(), rows.end());
        std::string text = "#Hclass\tmodel\n#Hversion\t1\n";
        for (const std::string& line : body)
            text += line + "\n";
        return modeltest::withEquationSections(text);
    };
    // R0 = if a > 0 then b else c; v = d, and where a > 0, v = b: R1 = v.
    modeltest::loadClean(model({"#Edynamic\t10", "\ttgt\tU0\ts0\t0.0", "\tjfa\t4\tU0", "\tmov\tV0\ts1", "\tjmp\t5",
                                "\tmov\tV0\ts2", "\tmov\tR0\tV0", "\tmov\tV1\ts3", "\tjfa\t9\tU0", "\tmov\tV1\ts1",
                                "\tmov\tR1\tV1"}));
    Rows rows = dependencies();
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0], (std::set<int>{0, 1, 2}));
    EXPECT_EQ(rows[1], (std::set<int>{0, 1, 3}));
    EXPECT_EQ(rows[2], std::set<int>{});

    // R0 = v before v = b is computed: the last evaluation's v.
    modeltest::loadClean(model({"#Edynamic\t2", "\tmov\tR0\tV0", "\tmov\tV0\ts1"}));
    rows = dependencies();
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0], std::set<int>{1});

    // R2 = element i of the states.
    modeltest::loadClean(model({"#Edynamic\t1", "\tmar\tR2\ts0\tP0"}));
    rows = dependencies();
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[2], (std::set<int>{0, 1, 2, 3}));
    EXPECT_EQ(rows[0], std::set<int>{});

    modeltest::loadClean(model({"#Edynamic\t3", "\thlg\tU0\ts0\t1", "\tflk\tR0\t1", "\tdll\tU0\tP0\tP0"}));
    EXPECT_FALSE(ResidualDependencies().has_value());
}

// Every rate of 4,000 states reading an element of all the states by a computed index: reading
// that completely would make some n^3 / 2 = 3e10 set elements, so the reading gives up within its
// budget (a few million) and the dense matrix is used.
TEST(JacobianPattern, WideArrayReadsGiveUpInsteadOfTakingLong)
{
    constexpr int n = 4000;
    std::string text = "#Hclass\twide\n#Hversion\t1\n#DParam \t1\n\t#real\ti\n#Dstate_ind\t" + std::to_string(n) + "\n";
    std::string rates = "#DRate_ind\t" + std::to_string(n) + "\n";
    std::string dynamic = "#Edynamic\t" + std::to_string(n) + "\n";
    for (int k = 0; k < n; ++k) {
        text += "\t#real\tx" + std::to_string(k) + "\n";
        rates += "\t#real\tdx" + std::to_string(k) + "\n";
        dynamic += "\tmar\tR" + std::to_string(k) + "\ts0\tP0\n";
    }
    modeltest::loadClean(modeltest::withEquationSections(text + rates + dynamic));
    EXPECT_FALSE(ResidualDependencies().has_value());
    // The budget, 4e6 + 64 per row + 4 per component, and at most one array row's overshoot.
    EXPECT_GT(LastDependencyReadingWork(), 0u);
    EXPECT_LE(LastDependencyReadingWork(), 4'000'000u + 64u * n + 4u * n + 2u * n);
    EXPECT_EQ(BdfSparseJacobian(), nullptr);
}

// The structure decides: a small model and a densely coupled one keep the dense matrix, a large
// thin one gets the sparse matrix with its columns in a few groups; loading another model is
// noticed.
TEST_F(JacobianChoiceReset, SparseMatrixIsChosenForLargeThinModelsOnly)
{
    loadHeat(1000);
    numerics::SparseJacobian* bdf = BdfSparseJacobian();
    ASSERT_NE(bdf, nullptr);
    EXPECT_EQ(bdf->pattern().n, 1000);
    EXPECT_EQ(bdf->pattern().nonzeros(), 3u * 1000 - 2);
    EXPECT_EQ(bdf->groups().count(), 3);
    ASSERT_NE(VodeSparseJacobian(), nullptr);
    EXPECT_EQ(VodeSparseJacobian()->groups().count(), 3);

    loadHeat(50);
    EXPECT_EQ(BdfSparseJacobian(), nullptr);
    EXPECT_EQ(VodeSparseJacobian(), nullptr);

    // Every rate of 200 states reads their sum.
    std::string text = "#Hclass\tsum\n#Hversion\t1\n#Dstate_ind\t200\n";
    std::string rates = "#DRate_ind\t200\n";
    std::string dynamic = "#Edynamic\t400\n\tmov\tU0\ts0\n";
    for (int i = 0; i < 200; ++i) {
        text += "\t#real\tx" + std::to_string(i) + "\n";
        rates += "\t#real\tdx" + std::to_string(i) + "\n";
        if (i > 0)
            dynamic += "\tadd\tU0\tU0\ts" + std::to_string(i) + "\n";
        dynamic += "\tsub\tR" + std::to_string(i) + "\tU0\ts" + std::to_string(i) + "\n";
    }
    // The first rates read only part of the sum: 0.5 n^2 nonzeros in all.
    modeltest::loadClean(modeltest::withEquationSections(text + rates + "#DUnnamed\t1\n\t#real\n" + dynamic));
    ASSERT_TRUE(ResidualDependencies().has_value());
    EXPECT_EQ(BdfSparseJacobian(), nullptr);

    // Forced either way, for comparing the two paths.
    SetJacobianChoice(JacobianChoice::Sparse);
    EXPECT_NE(BdfSparseJacobian(), nullptr);
    loadHeat(1000);
    SetJacobianChoice(JacobianChoice::Dense);
    EXPECT_EQ(BdfSparseJacobian(), nullptr);
    EXPECT_EQ(VodeSparseJacobian(), nullptr);
}

/// The default run settings up to `finish`, one run allowed, no output kept from before.
void prepareRuns(double finish)
{
    RunSpecs() = RunSpecification::defaults();
    RunSpecs().finishTime = finish;
    RunsAllowed = 1;
    RunOutput() = {};
}

/// Runs the loaded model to its finish with a method; the final states.
std::vector<double> runToFinish(int method)
{
    RunSpecs().method = method;
    RequestRun();
    RunUntilIdle();
    const VariableKind& states = Variables().kinds[KindState];
    return std::vector<double>(states.values, states.values + states.count);
}

// Heat conduction on 1,000 points, stiff (the fastest mode decays 4 10^6 times faster than the
// slowest): the sparse matrix of three column groups gives the dense matrix's solution within the
// tolerance for both stiff methods, with far fewer model evaluations.
TEST_F(JacobianChoiceReset, SparseAndDenseMatricesAgreeOnAStiffModel)
{
    constexpr int n = 1000;
    constexpr double rtol = 1e-6, atol = 1e-6;
    loadHeat(n);
    platform::ScriptedMessageSink sink;
    platform::ScopedMessageSink scoped(sink);
    modeltest::StatusCapture status;
    prepareRuns(0.05);
    for (int method : {MethodBdf, MethodVode}) {
        SCOPED_TRACE(IntegrationMethods[method].name);
        RunSpecs().settings[method][RowRelErr].value = rtol;
        RunSpecs().settings[method][RowAbsErr].value = atol;
        SetJacobianChoice(JacobianChoice::Dense);
        const std::vector<double> dense = runToFinish(method);
        const IntegrationCounters denseCounters = MethodCounters();
        SetJacobianChoice(JacobianChoice::FromStructure);
        ASSERT_NE(method == MethodBdf ? BdfSparseJacobian() : VodeSparseJacobian(), nullptr);
        const std::vector<double> sparse = runToFinish(method);
        const IntegrationCounters sparseCounters = MethodCounters();
        EXPECT_TRUE(sink.transcript().empty());
        EXPECT_EQ(SimulationTime, 0.05);
        double worst = 0.0;
        for (int i = 0; i < n; ++i)
            worst = std::max(worst, std::fabs(sparse[std::size_t(i)] - dense[std::size_t(i)]) /
                                        (rtol * std::fabs(dense[std::size_t(i)]) + atol));
        EXPECT_LT(worst, 1.0);
        // The middle of the rod against the continuous solution (the grid's error is near 1e-6).
        double exact = 0.0;
        const double x = double(n / 2 + 1) / (n + 1), t = 0.05;
        for (int m = 1; m < 200; ++m)
            exact -= 2.0 / (M_PI * m) * std::sin(m * M_PI * x) * std::exp(-m * m * M_PI * M_PI * t);
        exact += 1.0 - x;
        EXPECT_NEAR(sparse[n / 2], exact, 1e-3);
        EXPECT_LT(sparseCounters.derivativeEvaluations * 10, denseCounters.derivativeEvaluations);
    }
}

// A run that a maths error ends inside the sparse integrator's call leaves it by a jump, past
// the scope that counted subnormals as zero there: the mode is off again after the run, for
// both methods.
TEST_F(JacobianChoiceReset, AMathsErrorInsideASparseStepLeavesSubnormalsAsTheyWere)
{
    constexpr int n = 1000;
    // The rod, and a power of two that overflows once the time passes 0.001024 (an error the
    // maths routine reports, not a trap).
    const std::string text = heatCode(n, {"mul\tU2\tt\t1000000", "ex2\tU2\tU2"}, 1);
    for (int method : {MethodBdf, MethodVode}) {
        SCOPED_TRACE(IntegrationMethods[method].name);
        loadHeat(n, text);
        ASSERT_NE(method == MethodBdf ? BdfSparseJacobian() : VodeSparseJacobian(), nullptr);
        platform::ScriptedMessageSink sink;
        platform::ScopedMessageSink scoped(sink);
        modeltest::StatusCapture status;
        prepareRuns(0.05);
        runToFinish(method);
        EXPECT_GT(SimulationTime, 0.001);
        EXPECT_LT(SimulationTime, 0.05);
        std::string told;
        for (const auto& box : sink.transcript())
            for (const std::string& line : box.lines)
                told += line + "\n";
        EXPECT_NE(told.find("exp2"), std::string::npos) << told;
        EXPECT_EQ(numerics::subnormalModeBits(), 0u);
    }
}

} // namespace
