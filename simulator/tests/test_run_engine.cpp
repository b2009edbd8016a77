// The run engine end to end: models run with each method against analytic and
// published references, the run start's checks, the summary, traps and maths errors.
#include "model_test_support.h"

#include "common/settings_table.h"
#include "platform/core/message_sink.h"
#include "simulator/fastcode/fast_code.h"
#include "simulator/integration_methods.h"
#include "simulator/run_control.h"
#include "simulator/run_specs.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <cfenv>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

using modeltest::cell;
using modeltest::codeFile;

namespace {

struct Sample {
    double t;
    std::vector<double> states;
};

/// Drives whole runs without a window and records every output sample.
class RunEngine : public ::testing::Test {
protected:
    void SetUp() override
    {
        RunSpecs() = RunSpecification::defaults();
        RunsAllowed = 1;
        ModelLoadErrors = 0;
        MathErrorOccurred = 0;
        InterruptRequested = 0;
        RunOutput() = {};
        RunOutput().step = [this] {
            Sample s{SimulationTime, {}};
            for (int i = 0; i < Variables().kinds[KindState].count; ++i)
                s.states.push_back(Variables().kinds[KindState].values[i]);
            samples.push_back(s);
        };
    }
    void TearDown() override { RunOutput() = {}; }

    void loadFile(const std::string& name)
    {
        ASSERT_EQ(LoadCodeFile(std::string(ORVANTA_SOURCE_DIR) + "/simulator/tests/data/" + name), 0)
            << LastCodeFileReport();
        modeltest::resetRunFlags();
    }
    void loadText(const std::string& text)
    {
        ASSERT_EQ(LoadCodeText(text), 0) << LastCodeFileReport();
        modeltest::resetRunFlags();
    }

    int count(const std::string& text) const
    {
        return int(std::count(status.texts.begin(), status.texts.end(), text));
    }

    void set(int kind, std::initializer_list<double> values)
    {
        int i = 0;
        for (double v : values)
            ASSERT_TRUE(SetVariableValue(kind, i++, v));
    }

    /// Runs from the start time to the end; the chunks it took.
    long run(int method)
    {
        RunSpecs().method = method;
        samples.clear();
        RequestRun();
        return RunUntilIdle(10000000);
    }

    void useTolerance(double tolerance)
    {
        for (int m = 0; m < MethodCount; ++m) {
            RunSpecs().settings[m][RowAbsErr].value = tolerance;
            RunSpecs().settings[m][RowRelErr].value = tolerance;
        }
    }

    platform::ScriptedMessageSink sink;
    platform::ScopedMessageSink scoped{sink};
    modeltest::StatusCapture status;
    std::vector<Sample> samples;
};

constexpr double Zeta = 0.1;
constexpr double Omega = 2 * M_PI;

double dampedOscillator(double t)
{
    const double wd = Omega * std::sqrt(1 - Zeta * Zeta);
    return std::exp(-Zeta * Omega * t) * (std::cos(wd * t) + Zeta * Omega / wd * std::sin(wd * t));
}

class MassSpringDamper : public RunEngine {
protected:
    void SetUp() override
    {
        RunEngine::SetUp();
        loadFile("mass_spring_damper.l");
        set(KindParameter, {Zeta, Omega});
        set(KindInitial, {1.0, 0.0});
    }

    /// Largest |x - exact| over the samples of a fixed-step run with step h.
    double fixedStepError(int method, double h)
    {
        RunSpecs().settings[method][RowStep].value = h;
        EXPECT_GT(run(method), 0);
        EXPECT_EQ(SimulationTime, 5.0);
        double worst = 0.0;
        for (const Sample& s : samples)
            worst = std::max(worst, std::fabs(s.states[0] - dampedOscillator(s.t)));
        return worst;
    }
};

} // namespace

TEST_F(MassSpringDamper, DefaultRungeKuttaRunEndsExactlyAtTheFinishTime)
{
    run(MethodRungeKutta4);
    EXPECT_EQ(SimulationTime, 5.0);
    EXPECT_EQ(EvaluationCount, 2001);
    EXPECT_EQ(samples.size(), 501u);
    EXPECT_EQ(samples.back().t, 5.0);
    EXPECT_EQ(LastRunSummary().rfind("Simulation finished.  Model evaluations: 2001. Execution time ", 0), 0u)
        << LastRunSummary();
    EXPECT_EQ(Simulating, 0);
    EXPECT_TRUE(sink.transcript().empty());
}

TEST_F(MassSpringDamper, RungeKuttaFourMatchesTheAnalyticSolution)
{
    RunSpecs().settings[MethodRungeKutta4][RowStep].value = 1e-3;
    run(MethodRungeKutta4);
    double worst = 0.0;
    for (const Sample& s : samples)
        worst = std::max(worst, std::fabs(s.states[0] - dampedOscillator(s.t)));
    EXPECT_LT(worst, 1e-9);
    EXPECT_EQ(samples.size(), 5001u);
}

TEST_F(MassSpringDamper, RungeKuttaFourSumsItsStagesInTheClassicalOrderToTheBit)
{
    // Each step against the textbook form worked here from the model's own rates: k = h r at
    // each stage, y0 + k1 / 2, y0 + k2 / 2, y0 + k3, then y0 + k1 / 6 + k2 / 3 + k3 / 3 + k4 / 6
    // summed left to right, which the method must keep however it lays out its work.
    RunSpecs().settings[MethodRungeKutta4][RowStep].value = 0.01;
    RunSpecs().finishTime = 1.0;
    run(MethodRungeKutta4);
    ASSERT_EQ(samples.size(), 101u);
    double* states = Variables().kinds[KindState].values;
    const double* rates = Variables().kinds[KindRate].values;
    auto k = [&](double t, double h, const std::vector<double>& at) {
        std::copy(at.begin(), at.end(), states);
        EvaluateModel(t);
        return std::vector<double>{h * rates[0], h * rates[1]};
    };
    for (std::size_t step = 0; step + 1 < samples.size(); ++step) {
        const double t = samples[step].t, h = samples[step + 1].t - t;
        const std::vector<double>& y0 = samples[step].states;
        const std::vector<double> k1 = k(t, h, y0);
        const std::vector<double> k2 = k(t + h / 2, h, {y0[0] + k1[0] / 2, y0[1] + k1[1] / 2});
        const std::vector<double> k3 = k(t + h / 2, h, {y0[0] + k2[0] / 2, y0[1] + k2[1] / 2});
        const std::vector<double> k4 = k(t + h, h, {y0[0] + k3[0], y0[1] + k3[1]});
        for (std::size_t i = 0; i < 2; ++i) {
            const double expected = y0[i] + k1[i] / 6 + k2[i] / 3 + k3[i] / 3 + k4[i] / 6;
            ASSERT_EQ(std::memcmp(&samples[step + 1].states[i], &expected, sizeof expected), 0)
                << "step " << step << " state " << i << ": " << samples[step + 1].states[i] << " / " << expected;
        }
    }
}

TEST_F(MassSpringDamper, NativeCodeUnderWarpGivesTheInterpretersRunToTheLastBit)
{
    ASSERT_TRUE(BuildFastCode());
    const int warp = Settings().warp;
    for (int method : {MethodRungeKutta4, MethodBdf}) {
        std::vector<std::vector<Sample>> runs;
        for (int on : {1, 0}) {
            Settings().warp = on;
            EXPECT_EQ(ChosenFastCode() != nullptr, on == 1);
            set(KindInitial, {1.0, 0.0});
            run(method);
            runs.push_back(samples);
        }
        ASSERT_EQ(runs[0].size(), runs[1].size()) << IntegrationMethods[method].name;
        for (std::size_t i = 0; i < runs[0].size(); ++i) {
            ASSERT_EQ(runs[0][i].t, runs[1][i].t);
            // Bit for bit: the same doubles, not merely close ones.
            ASSERT_EQ(runs[0][i].states, runs[1][i].states) << IntegrationMethods[method].name << " sample " << i;
        }
    }
    Settings().warp = warp;
    FreeFastCode();
}

TEST_F(MassSpringDamper, StiffRunStopsAtTheFinishTime)
{
    run(MethodVode);
    EXPECT_EQ(SimulationTime, 5.0);
    ASSERT_FALSE(samples.empty());
    EXPECT_EQ(samples.back().t, 5.0);
    EXPECT_NEAR(cell('s', 0), dampedOscillator(5.0), 1e-3);
    EXPECT_TRUE(sink.transcript().empty());
}

// A model defined up to its finish time only, x' = sqrt(5 - t): the stiff methods step onto the
// finish time and never evaluate the model beyond it (a step past it, interpolated back, took
// the square root of a negative number there), and the run ends at x(5) = 2/3 5^1.5.
TEST_F(RunEngine, StiffMethodsNeverEvaluateTheModelBeyondTheFinishTime)
{
    loadText(codeFile({"#DIncond\t1", "\t#real\tx0", "#Dstate_ind\t1", "\t#real\tx", "#DRate_ind\t1",
                       "\t#real\tdx", "#DUnnamed\t1", "\t#real", "#EInitial\t1", "\tmov\ts0\tI0", "#Edynamic\t3",
                       "\ttim\tU0", "\tsub\tU0\t5.0\tU0", "\tsqt\tR0\tU0"}));
    set(KindInitial, {0.0});
    useTolerance(1e-8);
    for (int method : {MethodBdf, MethodVode}) {
        run(method);
        EXPECT_EQ(SimulationTime, 5.0) << IntegrationMethods[method].name;
        EXPECT_TRUE(sink.transcript().empty()) << IntegrationMethods[method].name << ": " << sink.transcriptLines()[0];
        EXPECT_NEAR(cell('s', 0), 2.0 / 3.0 * std::pow(5.0, 1.5), 1e-5) << IntegrationMethods[method].name;
    }
}

TEST_F(MassSpringDamper, FixedStepErrorsShrinkWithTheMethodsOrder)
{
    struct Case {
        int method;
        double h;
        double ratio;
    };
    for (const Case& c : {Case{MethodEuler, 1e-4, 2.0}, Case{MethodAdamsBashforth, 1e-3, 4.0},
                          Case{MethodRungeKutta4, 1e-2, 16.0}}) {
        const double coarse = fixedStepError(c.method, c.h);
        const double fine = fixedStepError(c.method, c.h / 2);
        EXPECT_NEAR(coarse / fine, c.ratio, 0.12 * c.ratio) << IntegrationMethods[c.method].name;
    }
}

TEST_F(MassSpringDamper, VariableStepMethodsMeetTheirTolerance)
{
    useTolerance(1e-10);
    for (int method : {MethodRkf, MethodBdf, MethodVode}) {
        run(method);
        EXPECT_EQ(SimulationTime, 5.0) << IntegrationMethods[method].name;
        EXPECT_NEAR(cell('s', 0), dampedOscillator(5.0), 1e-6) << IntegrationMethods[method].name;
        EXPECT_GT(samples.size(), 10u);
        for (const Sample& s : samples)
            ASSERT_LE(s.t, 5.0) << IntegrationMethods[method].name;
        EXPECT_EQ(LastRunSummary().rfind("Simulation finished.", 0), 0u) << LastRunSummary();
    }
    EXPECT_TRUE(sink.transcript().empty()) << sink.transcriptLines()[0];
}

TEST_F(RunEngine, AlgebraicLoopRunsUnderBdfAtItsFixedPoint)
{
    // x = 0.5 y + 1 and y = 0.5 x + 1 (y torn: a0 in, A0 out) around s' = x - s.
    loadText(codeFile({"#DIncond\t1", "\t#real\ts0", "#DVariable\t1", "\t#real\tx", "#Dstate_ind\t1", "\t#real\ts",
                       "#DRate_ind\t1", "\t#real\tds", "#DAlgloop\t1", "\t#real\ty", "#DUnnamed\t1", "\t#real",
                       "#EInitial\t1", "\tmov\ts0\tI0", "#Edynamic\t5", "\tmul\tU0\t5.000000e-01\ta0",
                       "\tadd\tV0\tU0\t1.000000e+00", "\tmul\tU0\t5.000000e-01\tV0", "\tadd\tA0\tU0\t1.000000e+00",
                       "\tsub\tR0\tV0\ts0"}));
    set(KindInitial, {0.0});
    useTolerance(1e-10);
    run(MethodBdf);
    EXPECT_EQ(SimulationTime, 5.0);
    EXPECT_NEAR(cell('V', 0), 2.0, 1e-9);
    EXPECT_NEAR(cell('a', 0), 2.0, 1e-9);
    EXPECT_NEAR(cell('s', 0), 2.0 * (1.0 - std::exp(-5.0)), 1e-6);
    EXPECT_TRUE(sink.transcript().empty());

    // An implicit model cannot run with an explicit method; the refusal names the method that can.
    const std::string summary = LastRunSummary();
    run(MethodRungeKutta4);
    ASSERT_EQ(sink.transcript().size(), 1u);
    EXPECT_EQ(sink.transcript()[0].lines,
              (std::vector<std::string>{"The model is implicit.", "Simulation with an explicit method is not possible.",
                                        "Choose the method BackwDiffForm in the Run Specifications."}));
    EXPECT_EQ(LastRunSummary(), summary);
    EXPECT_EQ(Simulating, 0);
}

TEST_F(RunEngine, RobertsonMatchesTheReferenceUnderBdfAndCvode)
{
    loadFile("robertson.l");
    set(KindInitial, {1.0, 0.0, 0.0});
    RunSpecs().finishTime = 40.0;
    for (int method : {MethodBdf, MethodVode}) {
        RunSpecs().settings[method][RowRelErr].value = 1e-8;
        RunSpecs().settings[method][RowAbsErr].value = 1e-12;
        run(method);
        EXPECT_EQ(SimulationTime, 40.0);
        // Reference values at t = 40 (Hairer and Wanner, and the SUNDIALS example).
        EXPECT_NEAR(cell('s', 0), 0.7158270687, 1e-6) << IntegrationMethods[method].name;
        EXPECT_NEAR(cell('s', 1), 9.185534765e-06, 1e-10) << IntegrationMethods[method].name;
        EXPECT_NEAR(cell('s', 2), 0.2841637457, 1e-6) << IntegrationMethods[method].name;
    }
    EXPECT_TRUE(sink.transcript().empty());
}

// The classic stiff test far out: the initial transient needs steps far below
// 4 uround 1e11, so the smallest step must follow the time reached, not the finish time.
TEST_F(RunEngine, RobertsonRunsToOneHundredBillionUnderBdfAndCvode)
{
    loadFile("robertson.l");
    set(KindInitial, {1.0, 0.0, 0.0});
    RunSpecs().finishTime = 1e11;
    // Published reference at t = 1e11 (test set for IVP solvers, Hairer and Wanner).
    const double reference[] = {2.083340149701255e-8, 8.333360770334713e-14, 0.9999999791665050};
    for (int method : {MethodBdf, MethodVode}) {
        for (double rtol : {1e-4, 1e-6, 1e-8}) {
            SCOPED_TRACE(std::string(IntegrationMethods[method].name) + " rtol " + std::to_string(rtol));
            const double atol = 1e-6 * rtol;
            RunSpecs().settings[method][RowRelErr].value = rtol;
            RunSpecs().settings[method][RowAbsErr].value = atol;
            run(method);
            EXPECT_TRUE(sink.transcript().empty()) << sink.transcript()[0].lines.back();
            sink.clear();
            EXPECT_EQ(SimulationTime, 1e11);
            for (int i = 0; i < 3; ++i)
                EXPECT_NEAR(cell('s', i), reference[i], 10 * (rtol * reference[i] + atol)) << "y" << i + 1;
            const IntegrationCounters counters = MethodCounters();
            EXPECT_GT(counters.steps, 10);
            EXPECT_LE(counters.derivativeEvaluations, EvaluationCount);
            EXPECT_GT(counters.jacobianEvaluations, 0);
        }
    }
}

TEST_F(RunEngine, ModelWithoutStatesAdvancesTimeWithEveryMethod)
{
    loadText(codeFile({"#DVariable\t1", "\t#real\tv", "#Edynamic\t1", "\ttim\tV0"}));
    for (int m = 0; m < MethodCount; ++m) {
        run(m);
        EXPECT_EQ(SimulationTime, 5.0) << IntegrationMethods[m].name;
        EXPECT_EQ(cell('V', 0), 5.0) << IntegrationMethods[m].name;
        EXPECT_EQ(LastRunSummary().rfind("Simulation finished.", 0), 0u);
    }
    // BDF warned that it steps with a fixed step.
    ASSERT_EQ(sink.transcript().size(), 1u);
    EXPECT_EQ(sink.transcript()[0].lines[1], "There are no state variables; a simulation");
}

TEST_F(RunEngine, MathsErrorEndsTheRunAndTheNextRunWorks)
{
    loadText(codeFile({"#DParam \t1", "\t#real\tp", "#DVariable\t1", "\t#real\tv", "#Edynamic\t1", "\tlog\tV0\tP0"}));
    set(KindParameter, {-1.0});
    struct sigaction before {};
    sigaction(SIGFPE, nullptr, &before);
    run(MethodRungeKutta4);
    ASSERT_EQ(sink.transcript().size(), 1u);
    EXPECT_EQ(sink.transcript()[0].lines,
              (std::vector<std::string>{"Math-library exception", "", "Domain error in function log(-1)",
                                        "The run ended at time 0.", "Check your model and integration method parameters"}));
    EXPECT_EQ(LastRunSummary().rfind("Floating point exception.  Model evaluations: ", 0), 0u) << LastRunSummary();
    EXPECT_EQ(Simulating, 0);
    EXPECT_EQ(fegetexcept(), 0);
    struct sigaction now {};
    sigaction(SIGFPE, nullptr, &now);
    EXPECT_EQ(now.sa_handler, before.sa_handler); // the handler of the run is gone

    set(KindParameter, {std::exp(1.0)});
    run(MethodRungeKutta4);
    EXPECT_EQ(LastRunSummary().rfind("Simulation finished.", 0), 0u) << LastRunSummary();
    EXPECT_DOUBLE_EQ(cell('V', 0), 1.0);
    EXPECT_EQ(sink.transcript().size(), 1u);
}

TEST_F(RunEngine, MathsErrorsEndTheRunAlikeInTheInterpreterAndTheNativeCode)
{
    struct Case {
        const char* instruction;
        double p0, p1;
        const char* text;
    };
    const std::vector<Case> cases = {
        {"\tlog\tV0\tP0", -1.0, 0.0, "Domain error in function log(-1)"},
        {"\tlog\tV0\tP0", 0.0, 0.0, "Singularity error in function log(0)"},
        {"\tpow\tV0\tP0\tP1", 10.0, 400.0, "Overflow error in function pow(10)"},
        {"\tcsh\tV0\tP0", -800.0, 0.0, "Overflow error in function cosh(-800)"},
        {"\tmod\tV0\tP0\tP1", 2.5, 0.0, "Domain error in function fmod(2.5)"},
        {"\tsqt\tV0\tP0", -4.0, 0.0, "Domain error in function sqrt(-4)"},
    };
    const int warp = Settings().warp;
    for (const Case& c : cases)
        for (int on : {0, 1}) {
            SCOPED_TRACE(std::string(c.text) + (on ? " (native)" : " (interpreter)"));
            loadText(codeFile({"#DParam \t2", "\t#real\tp", "\t#real\tq", "#DVariable\t1", "\t#real\tv",
                               "#Edynamic\t1", c.instruction}));
            ASSERT_TRUE(BuildFastCode());
            Settings().warp = on;
            set(KindParameter, {c.p0, c.p1});
            sink.clear();
            status.texts.clear();
            run(MethodRungeKutta4);
            ASSERT_EQ(sink.transcript().size(), 1u);
            EXPECT_EQ(sink.transcript()[0].lines,
                      (std::vector<std::string>{"Math-library exception", "", c.text, "The run ended at time 0.",
                                                "Check your model and integration method parameters"}));
            EXPECT_EQ(LastRunSummary().rfind("Floating point exception.  Model evaluations: ", 0), 0u) << LastRunSummary();
            EXPECT_EQ(Simulating, 0);
            EXPECT_EQ(fegetexcept(), 0);
            EXPECT_EQ(count("Ignoring arithmetic trap: Arithmetic overflow\r\noutside user model"), 0);
            FreeFastCode();
        }
    Settings().warp = warp;
}

TEST_F(RunEngine, DivisionByZeroInAStepTakesTheTrapPath)
{
    // v1 = 1 / (1 - step(t - 1)): divides by zero once t reaches 1.
    loadText(codeFile({"#DVariable\t2", "\t#real\tv0", "\t#real\tv1", "#DUnnamed\t1", "\t#real", "#Edynamic\t3",
                       "\tstp\tV0\t1.000000e+00", "\tsub\tU0\t1.000000e+00\tV0", "\tdiv\tV1\t1.000000e+00\tU0"}));
    RunSpecs().settings[MethodBdf][RowIgnoreWarnings].switchOn = 1; // no warning about the missing states
    for (int method : {MethodEuler, MethodBdf}) {
        sink.clear();
        run(method);
        ASSERT_EQ(sink.transcript().size(), 1u) << IntegrationMethods[method].name << sink.transcriptLines()[0];
        char ended[64];
        std::snprintf(ended, sizeof ended, "The run ended at time %g.", SimulationTime);
        EXPECT_EQ(sink.transcript()[0].lines,
                  (std::vector<std::string>{"Floating-point library exception", "", "Division by zero in user model.",
                                            "In dynamic-model equations, instruction nr. 3.", ended}));
        EXPECT_GT(SimulationTime, 0.9);
        EXPECT_LT(SimulationTime, 1.1);
        EXPECT_EQ(LastRunSummary().rfind("Floating point exception.", 0), 0u) << LastRunSummary();
        EXPECT_EQ(fegetexcept(), 0);
    }
}

TEST_F(RunEngine, OverflowIsIgnoredForTheStepAndEndsTheRunAtTheNextTurn)
{
    loadText(codeFile({"#DParam \t1", "\t#real\tp", "#DVariable\t1", "\t#real\tv", "#Edynamic\t1", "\tmul\tV0\tP0\tP0"}));
    set(KindParameter, {1e200});
    RequestRun();
    RunChunk(0); // the start: its evaluation overflows
    EXPECT_EQ(Simulating, 1);
    EXPECT_EQ(count("Ignoring arithmetic trap: Arithmetic overflow\r\noutside user model"), 1);
    const long evaluations = EvaluationCount;
    RunChunk(0); // ends the run without a further step
    EXPECT_EQ(Simulating, 0);
    EXPECT_EQ(EvaluationCount, evaluations);
    EXPECT_EQ(LastRunSummary().rfind("Floating point exception.", 0), 0u) << LastRunSummary();
    ASSERT_EQ(sink.transcript().size(), 1u) << "the end of the run is not told in the status bar only";
    EXPECT_EQ(sink.transcript()[0].lines,
              (std::vector<std::string>{"Floating-point library exception", "", "Arithmetic overflow outside user model.",
                                        "The run ended at time 0: a value grew too large.",
                                        "Check your model and integration method parameters"}));
}

// x' = -1000 x with steps of 0.01: every fixed-step method is past its stability limit and
// the run blows up. It ends with one box that says when, and the summary says how.
TEST_F(RunEngine, AnUnstableRunEndsWithOneBoxThatSaysAtWhichTimeItEnded)
{
    loadText(codeFile({"#DParam \t1", "\t#real\tp", "#DIncond\t1", "\t#real\tx0", "#Dstate_ind\t1", "\t#real\tx",
                       "#DRate_ind\t1", "\t#real\tdx", "#EInitial\t1", "\tmov\ts0\tI0", "#Edynamic\t1",
                       "\tmul\tR0\tP0\ts0"}));
    set(KindParameter, {-1000.0});
    set(KindInitial, {1.0});
    RunSpecs().finishTime = 50.0;
    for (int method : {MethodEuler, MethodAdamsBashforth, MethodRungeKutta4}) {
        SCOPED_TRACE(IntegrationMethods[method].name);
        RunSpecs().settings[method][RowStep].value = 0.01;
        sink.clear();
        run(method);
        EXPECT_EQ(Simulating, 0);
        EXPECT_LT(SimulationTime, 50.0);
        EXPECT_EQ(LastRunSummary().rfind("Floating point exception.", 0), 0u) << LastRunSummary();
        ASSERT_EQ(sink.transcript().size(), 1u) << testing::PrintToString(sink.transcriptLines());
        const std::vector<std::string>& lines = sink.transcript()[0].lines;
        char ended[64];
        std::snprintf(ended, sizeof ended, "The run ended at time %g", SimulationTime);
        EXPECT_TRUE(std::any_of(lines.begin(), lines.end(),
                                [&](const std::string& line) { return line.rfind(ended, 0) == 0; }))
            << testing::PrintToString(lines);
    }
}

// The box of an error that ends a run waits for the user; the run's execution time does not.
TEST_F(RunEngine, TheExecutionTimeOfARunEndedByAnErrorLeavesOutTheTimeItsBoxIsRead)
{
    struct SlowReader : platform::MessageSink {
        platform::BoxAnswer show(const platform::MessageBoxRequest&) override
        {
            std::this_thread::sleep_for(std::chrono::milliseconds(400));
            return platform::BoxAnswer::Ok;
        }
    } reader;
    platform::ScopedMessageSink reading{reader};
    const std::vector<std::string> models = {
        codeFile({"#DParam \t1", "\t#real\tp", "#DVariable\t1", "\t#real\tv", "#Edynamic\t1", "\tmul\tV0\tP0\tP0"}),
        codeFile({"#DParam \t1", "\t#real\tp", "#DVariable\t1", "\t#real\tv", "#Edynamic\t1", "\tlog\tV0\tP0"})};
    const std::vector<double> values = {1e200, -1.0};
    for (std::size_t m = 0; m < models.size(); ++m) {
        loadText(models[m]);
        set(KindParameter, {values[m]});
        run(MethodRungeKutta4);
        double seconds = -1;
        const std::string& summary = LastRunSummary();
        ASSERT_EQ(std::sscanf(summary.c_str() + summary.find("Execution time"), "Execution time %lf", &seconds), 1)
            << summary;
        EXPECT_LT(seconds, 0.3) << summary;
    }
}

TEST_F(RunEngine, StartChecksRefuseWithoutTouchingTheRun)
{
    loadFile("mass_spring_damper.l");
    set(KindParameter, {Zeta});
    RunSpecs().method = MethodEuler;
    RequestRun();
    EXPECT_EQ(RunUntilIdle(), 1);
    ASSERT_EQ(sink.transcript().size(), 1u);
    EXPECT_EQ(sink.transcript()[0].lines,
              (std::vector<std::string>{"Some parameters have no value yet.", "No simulation is possible."}));
    set(KindParameter, {Zeta, Omega});
    sink.clear();
    RequestRun();
    RunUntilIdle();
    EXPECT_EQ(sink.transcript()[0].lines[0], "Some initial conditions have no value yet.");
    EXPECT_EQ(StartRequested, 0);
    EXPECT_EQ(Simulating, 0);

    ModelLoadErrors = 1;
    set(KindInitial, {1.0, 0.0});
    sink.clear();
    run(MethodEuler);
    EXPECT_EQ(sink.transcript()[0].lines,
              (std::vector<std::string>{"There were errors at loading the model;", "no simulation is posible."}));
}

// A NaN among the values would run to the end with every state NaN under the fixed-step
// methods; the start refuses it and names the variable. Infinity is a value like any other.
TEST_F(MassSpringDamper, NanParameterOrInitialValueRefusesTheRun)
{
    struct Case {
        int kind;
        int index;
        const char* message;
    };
    for (const Case& c : {Case{KindParameter, 1, "Parameter omega is not a number (NaN)."},
                          Case{KindInitial, 0, "Initial condition x0 is not a number (NaN)."}}) {
        for (int method : {MethodEuler, MethodAdamsBashforth, MethodRungeKutta4, MethodBdf}) {
            SCOPED_TRACE(std::string(c.message) + " " + IntegrationMethods[method].name);
            set(KindParameter, {Zeta, Omega});
            set(KindInitial, {1.0, 0.0});
            ASSERT_TRUE(SetVariableValue(c.kind, c.index, std::nan("")));
            sink.clear();
            SimulationTime = -1.0;
            RunSpecs().method = method;
            RequestRun();
            EXPECT_EQ(RunUntilIdle(), 1);
            ASSERT_EQ(sink.transcript().size(), 1u);
            EXPECT_EQ(sink.transcript()[0].lines, (std::vector<std::string>{c.message, "No simulation is possible."}));
            EXPECT_EQ(SimulationTime, -1.0);
            EXPECT_EQ(Simulating, 0);
        }
    }
    // An infinite initial position starts the run (what the model makes of it is its own affair).
    set(KindParameter, {Zeta, Omega});
    set(KindInitial, {INFINITY, 0.0});
    sink.clear();
    EXPECT_GT(run(MethodEuler), 1);
    for (const auto& box : sink.transcript())
        EXPECT_NE(box.lines.back(), "No simulation is possible.") << box.lines.front();
}

/// The process's address space in bytes, from /proc/self/status.
std::size_t addressSpaceInUse()
{
    std::FILE* f = std::fopen("/proc/self/status", "r");
    char line[256];
    std::size_t kb = 0;
    while (f && std::fgets(line, sizeof line, f))
        if (std::sscanf(line, "VmSize: %zu kB", &kb) == 1)
            break;
    if (f)
        std::fclose(f);
    return kb * 1024;
}

/// Limits the address space to what is in use plus `room` bytes while it lives.
class AddressSpaceLimit {
public:
    explicit AddressSpaceLimit(std::size_t room)
    {
        getrlimit(RLIMIT_AS, &m_saved);
        rlimit limited = m_saved;
        limited.rlim_cur = addressSpaceInUse() + room;
        setrlimit(RLIMIT_AS, &limited);
    }
    ~AddressSpaceLimit() { setrlimit(RLIMIT_AS, &m_saved); }

private:
    rlimit m_saved{};
};

/// n states relaxing to 1, x' = 1 - x; coupled, every rate also reads the sum of all states
/// (times 0), so that its Jacobian's structure is dense.
std::string relaxingStates(int n, bool coupled)
{
    std::string text = "#Hclass\tbig\n#Hversion\t1\n#DIncond\t" + std::to_string(n) + "\n";
    std::string states = "#Dstate_ind\t" + std::to_string(n) + "\n";
    std::string rates = "#DRate_ind\t" + std::to_string(n) + "\n";
    std::string initial = "#EInitial\t" + std::to_string(n) + "\n";
    std::string dynamic;
    int rows = 0;
    auto row = [&](const std::string& instruction) {
        dynamic += "\t" + instruction + "\n";
        ++rows;
    };
    if (coupled) {
        row("mov\tU0\ts0");
        for (int i = 1; i < n; ++i)
            row("add\tU0\tU0\ts" + std::to_string(i));
        row("mul\tU1\t0.0\tU0");
    }
    for (int i = 0; i < n; ++i) {
        const std::string k = std::to_string(i);
        text += "\t#real\tx" + k + "0\n";
        states += "\t#real\tx" + k + "\n";
        rates += "\t#real\tdx" + k + "\n";
        initial += "\tmov\ts" + k + "\tI" + k + "\n";
        if (coupled) {
            row("sub\tU2\t1.0\ts" + k);
            row("add\tR" + k + "\tU2\tU1");
        } else {
            row("sub\tR" + k + "\t1.0\ts" + k);
        }
    }
    const std::string unnamed = coupled ? "#DUnnamed\t3\n\t#real\n\t#real\n\t#real\n" : "";
    return text + states + rates + unnamed + initial + "#Einputs\t0\n#Edynamic\t" + std::to_string(rows) + "\n" +
           dynamic + "#Eoutputs\t0\n";
}

// A model too big for the stiff methods' dense matrices: the start says so and the run ends
// as a refused start, without a "Simulation finished." summary (nor a crash in the solver).
TEST_F(RunEngine, StiffMethodsWithoutRoomForTheirMatrixRefuseTheStart)
{
    constexpr int n = 4000;
    loadText(relaxingStates(n, true));
    for (int i = 0; i < n; ++i)
        ASSERT_TRUE(SetVariableValue(KindInitial, i, 0.0));
    const std::size_t matrix = std::size_t(n) * n * sizeof(double);
    struct Case {
        int method;
        std::size_t room; // Vode: the matrix fits, CVODE's copy of it does not
        const char* heading;
    };
    for (const Case& c : {Case{MethodVode, matrix + matrix / 2, "Error in Vode-Stiff integration method:"},
                          Case{MethodBdf, matrix / 2, "Error in BDF integration method:"}}) {
        SCOPED_TRACE(c.heading);
        sink.clear();
        const std::string summary = LastRunSummary();
        RunSpecs().method = c.method;
        long chunks = 0;
        {
            AddressSpaceLimit limit(c.room);
            RequestRun();
            chunks = RunUntilIdle(10);
        }
        EXPECT_EQ(chunks, 1);
        ASSERT_EQ(sink.transcript().size(), 1u);
        EXPECT_EQ(sink.transcript()[0].lines,
                  (std::vector<std::string>{c.heading, "workspace-allocation failure;", "no simulation possible."}));
        EXPECT_EQ(LastRunSummary(), summary);
        EXPECT_EQ(Simulating, 0);
    }
    // With the room back the model runs.
    sink.clear();
    RunSpecs().finishTime = 0.1;
    run(MethodEuler);
    EXPECT_TRUE(sink.transcript().empty());
    EXPECT_NEAR(cell('s', n - 1), 1.0 - std::exp(-0.1), 1e-3);
}

// The same model without the coupling has a diagonal Jacobian: both stiff methods run it in
// the room that refused the dense matrix, since nothing of size n^2 is allocated for it.
TEST_F(RunEngine, StiffMethodsRunAnUncoupledModelInLessRoomThanItsDenseMatrix)
{
    constexpr int n = 4000;
    loadText(relaxingStates(n, false));
    for (int i = 0; i < n; ++i)
        ASSERT_TRUE(SetVariableValue(KindInitial, i, 0.0));
    RunSpecs().finishTime = 1.0;
    const std::size_t matrix = std::size_t(n) * n * sizeof(double);
    for (int method : {MethodVode, MethodBdf}) {
        SCOPED_TRACE(IntegrationMethods[method].name);
        sink.clear();
        {
            AddressSpaceLimit limit(matrix / 2);
            run(method);
        }
        EXPECT_TRUE(sink.transcript().empty()) << sink.transcriptLines()[0];
        EXPECT_EQ(SimulationTime, 1.0);
        EXPECT_NEAR(cell('s', 0), 1.0 - std::exp(-1.0), 1e-3);
        EXPECT_NEAR(cell('s', n - 1), 1.0 - std::exp(-1.0), 1e-3);
        // A diagonal matrix is differenced in one evaluation.
        const IntegrationCounters counters = MethodCounters();
        EXPECT_GT(counters.jacobianEvaluations, 0);
        EXPECT_LT(counters.derivativeEvaluations, 20 * counters.steps + 100);
    }
}

TEST_F(MassSpringDamper, InterruptAndContinueResumeFromThePresentState)
{
    RequestRun();
    for (int i = 0; i < 101; ++i)
        RunChunk(ContinueRun);
    EXPECT_NEAR(SimulationTime, 1.0, 1e-12);
    InterruptCommand();
    RunUntilIdle();
    EXPECT_EQ(LastRunSummary().rfind("Simulation stopped by user.", 0), 0u) << LastRunSummary();
    const double stoppedAt = SimulationTime;
    const long evaluations = EvaluationCount;
    samples.clear();
    ContinueCommand();
    RunUntilIdle();
    ASSERT_FALSE(samples.empty());
    EXPECT_EQ(samples.front().t, stoppedAt);
    EXPECT_EQ(SimulationTime, 5.0);
    EXPECT_EQ(EvaluationCount, evaluations + 1 + 4 * 400);
    EXPECT_NEAR(cell('s', 0), dampedOscillator(5.0), 1e-7);

    // A continuation asked while the stop is still set starts afresh.
    InterruptRequested = 1;
    ContinueRun = 1;
    StartRequested = 1;
    samples.clear();
    RunUntilIdle();
    EXPECT_EQ(samples.front().t, 0.0);
    EXPECT_EQ(EvaluationCount, 2001);
}

TEST_F(RunEngine, ReinitialisationRestartsTheRunAsAContinuation)
{
    // s' = 1; when s >= 1 the model resets s to 0.
    const std::string model = codeFile({"#DParam \t2", "\t#real\tlow", "\t#real\tlimit", "#DVariable\t1", "\t#real\tc",
                                        "#Dstate_ind\t1", "\t#real\tx", "#DRate_ind\t1", "\t#real\tdx", "#Edynamic\t3",
                                        "\tmov\tR0\t1.000000e+00", "\ttge\tV0\ts0\tP1", "\trst\tV0\ts0\tP0"});
    loadText(model);
    set(KindParameter, {0.0, 1.0});
    RunSpecs().finishTime = 2.5;
    run(MethodRungeKutta4);
    EXPECT_EQ(SimulationTime, 2.5);
    EXPECT_NEAR(cell('s', 0), 0.5, 0.02);
    EXPECT_EQ(count(LastRunSummary()), 1);
    EXPECT_EQ(LastRunSummary().rfind("Simulation finished.", 0), 0u);

    // A restart that its checks refuse still ends the run that was going on.
    RequestRun();
    while (RestartFlag == 0 && (StartRequested || Simulating))
        RunChunk(ContinueRun);
    ASSERT_EQ(RestartFlag, 1);
    Variables().kinds[KindParameter].hasValue[0] = 0;
    RunUntilIdle();
    EXPECT_EQ(Simulating, 0);
    EXPECT_EQ(sink.transcript().back().lines[0], "Some parameters have no value yet.");
    EXPECT_EQ(count(LastRunSummary()), 1);
    EXPECT_LT(SimulationTime, 1.1);
}
