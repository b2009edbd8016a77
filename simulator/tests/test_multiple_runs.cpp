// Multiple runs over processed models: the plain sweep and its MATLAB files against
// golden files and against single runs, logarithmic steps, the optimisation fitting a
// damping, Monte Carlo series, the ".mr" file, and the faults a series must not have.
#include "model_test_support.h"
#include "processed_examples.h"

#include "common/startup.h"
#include "platform/core/file_system.h"
#include "platform/core/message_sink.h"
#include "platform/testing/temp_dir.h"
#include "simulator/integration_methods.h"
#include "simulator/multiple_runs.h"
#include "simulator/numerics/optimization.h"
#include "simulator/plot_specs.h"
#include "simulator/run_control.h"
#include "simulator/run_output.h"
#include "simulator/run_specs.h"
#include "simulator/simulator_commands.h"
#include "simulator/simulator_state.h"

#include <gtest/gtest.h>

#include <tuple>

#include <cmath>
#include <fstream>
#include <map>
#include <sstream>

using modeltest::indexOf;

namespace {

/// Two copies of a mass-spring-damper pushed by a unit force from rest: the target with
/// the damping d0, the fitted one with d; e integrates the squared distance between them.
constexpr const char* FitModel = "# A damping fitted to a target trajectory.\n"
                                 "class fit version 1\n"
                                 "parameters\n"
                                 "  real d, d0, k\n"
                                 "variables\n"
                                 "  real x, v, x0, v0, e\n"
                                 "equations\n"
                                 "  v = int(1 - k * x - d * v)\n"
                                 "  x = int(v)\n"
                                 "  v0 = int(1 - k * x0 - d0 * v0)\n"
                                 "  x0 = int(v0)\n"
                                 "  e = int((x - x0) ^ 2)\n";

/// The code file of a processed model, made once per test program.
std::string codeText(const std::string& model)
{
    static testsupport::TempDir dir;
    static std::map<std::string, std::string> texts;
    if (!texts.count(model)) {
        modeltest::Processed p;
        if (model == "fit.mf0") {
            const std::string work = modeltest::libraryFolder(dir);
            std::ofstream(work + "/fit.mf0") << FitModel;
            p = modeltest::processIn(work, model, 6);
        } else {
            p = modeltest::processExample(dir, model, 6);
        }
        EXPECT_EQ(p.result, 3) << testing::PrintToString(p.messages);
        texts[model] = testsupport::readText(p.codeFile);
    }
    return texts[model];
}

std::string goldenFile(const std::string& name)
{
    return testsupport::readText(std::string(ORVANTA_SOURCE_DIR) + "/simulator/tests/golden/" + name);
}

class MultipleRuns : public ::testing::Test {
protected:
    void SetUp() override
    {
        numerics::StopOptimization = 0;
        QuitRequested = 0;
        RunsAllowed = 1;
        InterruptRequested = 0;
        Startup().WorkingDirectory = dir.path();
        MultipleRunSpecs() = MultipleRunSpec{};
        InstallRunOutput();
        InstallMultipleRuns();
        PlotSpecsInForce = 0;
        SetRunPump({});
    }
    void TearDown() override
    {
        RunOutput() = {};
        SetSeriesRunHooks({}, {});
        ::MultipleRuns() = {};
        MultipleRunSpecs() = MultipleRunSpec{};
    }

    void load(const std::string& model, const std::string& name)
    {
        modeltest::StatusCapture quiet;
        ASSERT_EQ(LoadCodeText(codeText(model)), 0) << LastCodeFileReport();
        modeltest::resetRunFlags();
        ModelLoadErrors = 0;
        Experiment().modelName = name;
        RunSpecs() = RunSpecification::defaults();
        RunSpecs().method = MethodRungeKutta4;
        RunSpecs().settings[MethodRungeKutta4][RowStep].value = 0.01;
        ResetPlotSpecs(PlotSpecs());
        for (int i = 0; i < Variables().kinds[KindInitial].count; ++i)
            SetVariableValue(KindInitial, i, 0.0);
    }

    void loadMsd(double finish = 5.0)
    {
        load("msd1.mg0", "msd");
        set(KindParameter, "f`e", 1.0);
        set(KindParameter, "m`i", 1.0);
        set(KindParameter, "k`c", 0.025);
        set(KindParameter, "d`r", 0.5);
        RunSpecs().finishTime = finish;
    }

    void set(int kind, const std::string& name, double value)
    {
        const int i = indexOf(kind, name);
        ASSERT_GE(i, 0) << name;
        ASSERT_TRUE(SetVariableValue(kind, i, value));
    }
    double get(int kind, const std::string& name)
    {
        const int i = indexOf(kind, name);
        EXPECT_GE(i, 0) << name;
        return i < 0 ? NAN : Variables().kinds[kind].values[i];
    }

    MultipleRunVariable variable(int kind, const std::string& name, double from, double to, int scale = 0)
    {
        MultipleRunVariable v;
        v.kind = kind;
        v.index = indexOf(kind, name);
        EXPECT_GE(v.index, 0) << name;
        v.from = from;
        v.to = to;
        v.scale = scale;
        return v;
    }
    void criterion(MultipleRunSpec& spec, int kind, const std::string& name)
    {
        spec.criterionKind = kind;
        spec.criterionIndex = indexOf(kind, name);
        ASSERT_GE(spec.criterionIndex, 0) << name << " among " << modeltest::namesOf(kind);
        spec.criterionElement = FindNameInEntry(kind, spec.criterionIndex, name.c_str());
    }

    /// One ordinary run to its end.
    void singleRun()
    {
        RequestRun();
        ASSERT_GT(RunUntilIdle(), 0);
    }
    /// Start Multiple Run Simulation and the idle turns until nothing is left to run.
    void runSeries()
    {
        StartMultipleRunCommand();
        RunUntilIdle();
    }

    std::string result(const char* name) { return testsupport::readText(MultipleRunResultDirectory() + "/" + name); }
    bool resultExists(const char* name) { return platform::fileExists(MultipleRunResultDirectory() + "/" + name); }

    testsupport::TempDir dir;
    platform::ScriptedMessageSink boxes;
    platform::ScopedMessageSink scoped{boxes};
    modeltest::StatusCapture status;
};

std::vector<std::vector<double>> numbersOf(const std::string& text)
{
    std::vector<std::vector<double>> rows;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        rows.emplace_back();
        for (double v; words >> v;)
            rows.back().push_back(v);
    }
    return rows;
}

} // namespace

// k`c 0.02, 0.03, 0.04 by d`r 0.2, 0.4, 0.6: nine runs, the compliance changing every run.
// Each value of mr.dat is the spring's displacement at the end of the run that a single
// run with the same two values gives.
TEST_F(MultipleRuns, SweepOverTwoParametersWritesTheGridWithTheFirstVariableFastest)
{
    loadMsd();
    MultipleRunSpec& spec = MultipleRunSpecs();
    spec.steps = 3;
    spec.variables = {variable(KindParameter, "k`c", 0.02, 0.04), variable(KindParameter, "d`r", 0.2, 0.6)};
    criterion(spec, KindState, "k`p.f_indep_state");
    runSeries();
    EXPECT_FALSE(PlainSeriesActive());
    EXPECT_EQ(CurrentRunNumber(), 10);
    EXPECT_EQ(get(KindParameter, "k`c"), 0.025) << "the values before the series are put back";
    EXPECT_EQ(get(KindParameter, "d`r"), 0.5);

    EXPECT_EQ(result("mr.dat"), goldenFile("sweep_mr.dat"));
    EXPECT_EQ(result("mulrun.m"), goldenFile("sweep_mulrun.m"));

    const auto grid = numbersOf(result("mr.dat"));
    ASSERT_EQ(grid.size(), 3u);
    for (int j = 0; j < 3; ++j) {
        ASSERT_EQ(grid[std::size_t(j)].size(), 3u);
        for (int i = 0; i < 3; ++i) {
            set(KindParameter, "k`c", 0.02 + 0.01 * i);
            set(KindParameter, "d`r", 0.2 + 0.2 * j);
            singleRun();
            EXPECT_NEAR(grid[std::size_t(j)][std::size_t(i)], get(KindState, "k`p.f_indep_state"), 1e-5)
                << "k`c run " << i << ", d`r run " << j;
        }
    }
}

TEST_F(MultipleRuns, LogarithmicSweepTakesDecadesAndLinearOneVariableScriptPlotsIt)
{
    MultipleRunSpec spec;
    spec.steps = 3;
    spec.variables = {MultipleRunVariable{0, 0, 1.0, 100.0, 1, 0.0}};
    EXPECT_EQ(PlainRunValue(spec, 0, 1), 1.0);
    EXPECT_EQ(PlainRunValue(spec, 0, 2), 10.0);
    EXPECT_EQ(PlainRunValue(spec, 0, 3), 100.0);
    spec.steps = 1;
    EXPECT_EQ(PlainRunValue(spec, 0, 1), 100.0) << "one step takes the upper bound";

    // The system is linear in its force: the end displacements go as 1 : 10 : 100.
    loadMsd(2.0);
    MultipleRunSpecs().steps = 3;
    MultipleRunSpecs().variables = {variable(KindParameter, "f`e", 1.0, 100.0, 1)};
    criterion(MultipleRunSpecs(), KindState, "k`p.f_indep_state");
    runSeries();
    const auto rows = numbersOf(result("mr.dat"));
    ASSERT_EQ(rows.size(), 1u);
    ASSERT_EQ(rows[0].size(), 3u);
    EXPECT_NEAR(rows[0][1] / rows[0][0], 10.0, 1e-4);
    EXPECT_NEAR(rows[0][2] / rows[0][0], 100.0, 1e-3);
    const std::string script = result("mulrun.m");
    EXPECT_NE(script.find("f_e = 1:49.4995:100;\nfigure (1);\nplot (f_e, mr);\nxlabel ('f_e');\n"
                          "ylabel ('k_p.f_indep_state');\n"),
              std::string::npos)
        << script;
}

// Each run of a plain series keeps its own MATLAB script and data, named by its run
// number, whose variables carry the number too, and the scripts from the second run on
// hold the plot so that running them in turn draws every run; a single run afterwards
// writes the experiment's own files again.
TEST_F(MultipleRuns, APlainSeriesWritesTheMatlabFilesOfEachRunUnderItsNumber)
{
    loadMsd(0.05);
    Experiment().experimentName = "trial";
    Experiment().experimentDirectory = dir.path() + "/msd";
    PlotCurve& x = PlotSpecs().curves[0];
    x.kind = KindState;
    x.variable = indexOf(KindState, "k`p.f_indep_state");
    x.nameIndex = FindNameInEntry(KindState, x.variable, "k`p.f_indep_state");
    x.matlab = 1;
    PlotSpecs().curves[1] = x;
    PlotSpecs().curves[1].label = "force";
    MultipleRunSpecs().steps = 3;
    MultipleRunSpecs().variables = {variable(KindParameter, "f`e", 1.0, 3.0)};
    runSeries();
    EXPECT_FALSE(PlainSeriesActive());

    const std::string matlab = dir.path() + "/msd/matlab/";
    EXPECT_FALSE(platform::fileExists(matlab + "trial.m"));
    const auto script = [](int run) {
        const std::string r = std::to_string(run);
        return "%MATLAB script file, generated by Orvanta Simulator PC Version 2.3 \n"
               "%Generated for model trial" + r + "\n"
               "%Load corresponding data file:\nload trial" + r + ".d\n"
               "%Time t" + r + ":\nt" + r + " = trial" + r + "(:,1);\n"
               "%Variables on y-axis:\nk_p.f_indep_state" + r + " = trial" + r + "(:,2);\nforce" + r + " = trial" + r +
               "(:,3);\n"
               "%Clear garbage\nclear trial" + r + "\npack\n"
               "disp ('Variables available: t" + r + ", k_p.f_indep_state" + r + ", force" + r + "')\n" +
               (run > 1 ? "%hold the current plot\nhold on;\n" : "") +
               "plot (t" + r + ", k_p.f_indep_state" + r + ", t" + r + ", force" + r + ")\n";
    };
    std::vector<double> ends;
    for (int run = 1; run <= 3; ++run) {
        EXPECT_EQ(testsupport::readText(matlab + "trial" + std::to_string(run) + ".m"), script(run)) << run;
        const auto rows = numbersOf(testsupport::readText(matlab + "trial" + std::to_string(run) + ".d"));
        ASSERT_EQ(rows.size(), 6u) << "t = 0 to 0.05 by 0.01, run " << run;
        ends.push_back(rows.back().at(1));
    }
    // The displacement is linear in the force of 1, 2 and 3.
    EXPECT_NEAR(ends[1] / ends[0], 2.0, 1e-9);
    EXPECT_NEAR(ends[2] / ends[0], 3.0, 1e-9);

    singleRun();
    const std::string single = testsupport::readText(matlab + "trial.m");
    EXPECT_NE(single.find("%Time t:\nt = trial(:,1);\n"), std::string::npos) << single;
    EXPECT_EQ(single.find("hold on;"), std::string::npos);
}

TEST_F(MultipleRuns, PlainSeriesRefusesWhatItCannotRun)
{
    loadMsd(0.1);
    struct Case {
        const char* what;
        int steps;
        int count;
        double from;
        int scale;
        const char* firstLine;
    };
    for (const Case& c : {Case{"steps^count past the limit", 1000, 3, 1.0, 0, "Too many runs for a multiple run:"},
                          Case{"steps^count past 32 bits", 65536, 2, 1.0, 0, "Too many runs for a multiple run:"},
                          Case{"no steps", 0, 1, 1.0, 0, "The number of steps must be 1 or more."},
                          Case{"a logarithm of 0", 2, 1, 0.0, 1, "A logarithmic scale needs bounds above 0:"},
                          Case{"a logarithm below 0", 2, 1, -1.0, 1, "A logarithmic scale needs bounds above 0:"}}) {
        SCOPED_TRACE(c.what);
        boxes.clear();
        MultipleRunSpecs().steps = c.steps;
        MultipleRunSpecs().variables.assign(std::size_t(c.count), variable(KindParameter, "f`e", c.from, 2.0, c.scale));
        criterion(MultipleRunSpecs(), KindState, "k`p.f_indep_state");
        StartMultipleRunCommand();
        EXPECT_FALSE(PlainSeriesActive());
        EXPECT_EQ(StartRequested, 0);
        ASSERT_EQ(boxes.transcript().size(), 1u);
        EXPECT_EQ(boxes.transcript()[0].lines.at(0), c.firstLine);
    }
}

TEST_F(MultipleRuns, PlainSeriesWithoutCriterionRunsButWritesNothing)
{
    loadMsd(0.1);
    MultipleRunSpecs().steps = 2;
    MultipleRunSpecs().copyStates = 1;
    MultipleRunSpecs().variables = {variable(KindParameter, "f`e", 1.0, 2.0)};
    runSeries();
    EXPECT_EQ(CurrentRunNumber(), 3);
    EXPECT_FALSE(resultExists("mr.dat"));
    EXPECT_FALSE(resultExists("mulrun.m"));
    EXPECT_EQ(get(KindParameter, "f`e"), 1.0);
    EXPECT_EQ(get(KindInitial, "v`p[3].f_indep_state"), 0.0) << "copied end states are put back";
}

// With copied states the second run starts where the first ended: two runs of 1 s with
// the same values end where one run of 2 s ends.
TEST_F(MultipleRuns, CopiedEndStatesContinueTheMotion)
{
    loadMsd(1.0);
    MultipleRunSpecs().steps = 2;
    MultipleRunSpecs().copyStates = 1;
    MultipleRunSpecs().variables = {variable(KindParameter, "m`i", 1.0, 1.0)};
    runSeries();
    const double afterTwo = get(KindState, "k`p.f_indep_state");
    RunSpecs().finishTime = 2.0;
    singleRun();
    EXPECT_NEAR(afterTwo, get(KindState, "k`p.f_indep_state"), 1e-9);
}

TEST_F(MultipleRuns, StartSimulationEndsAPlainSeriesWithItsResults)
{
    loadMsd(0.1);
    MultipleRunSpecs().steps = 3;
    MultipleRunSpecs().variables = {variable(KindParameter, "f`e", 1.0, 3.0)};
    criterion(MultipleRunSpecs(), KindState, "k`p.f_indep_state");
    StartMultipleRunCommand();
    EXPECT_EQ(get(KindParameter, "f`e"), 1.0);
    RunChunk(0);
    InterruptCommand();
    RunUntilIdle();
    EXPECT_TRUE(PlainSeriesActive()) << "an interrupted series waits";
    EXPECT_EQ(get(KindParameter, "f`e"), 1.0);
    ContinueSimulationCommand();
    EXPECT_EQ(get(KindParameter, "f`e"), 1.0);
    StartSimulationCommand();
    EXPECT_FALSE(PlainSeriesActive());
    EXPECT_TRUE(resultExists("mr.dat"));
    RunUntilIdle();
}

// The target is made with the damping 0.5; BFGS starts from 1.5 within [0.05, 2].
TEST_F(MultipleRuns, BfgsFitsTheDampingToTheTargetTrajectory)
{
    load("fit.mf0", "fit");
    set(KindParameter, "d", 1.5);
    set(KindParameter, "d0", 0.5);
    set(KindParameter, "k", 4.0);
    RunSpecs().finishTime = 10.0;
    MultipleRunSpec& spec = MultipleRunSpecs();
    spec.type = OptimizationRun;
    spec.method = 0;
    spec.tolerance = 0.001;
    spec.variables = {variable(KindParameter, "d", 0.05, 2.0)};
    criterion(spec, KindState, "e");
    StartMultipleRunCommand();
    EXPECT_FALSE(MultipleRunSeriesActive());
    EXPECT_NEAR(get(KindParameter, "d"), 0.5, 0.01) << "the model is left at the optimum";
    EXPECT_LT(get(KindState, "e"), 1e-4);

    const auto rows = numbersOf(result("opt.dat"));
    ASSERT_EQ(int(rows.size()), RecordedRuns());
    ASSERT_GT(rows.size(), 3u);
    for (const auto& row : rows) {
        ASSERT_EQ(row.size(), 2u);
        EXPECT_GE(row[0], 0.05);
        EXPECT_LE(row[0], 2.0);
    }
    EXPECT_NEAR(rows.back()[0], 0.5, 0.01);
    const std::string n = std::to_string(rows.size());
    EXPECT_EQ(result("optim.m"), "load opt.dat;\nd = opt(:,1);\ne = opt(:,2);\nfigure (1);\nhold on;\n"
                                 "plot (d, e, 'y');\nplot (d, e, 'r.', 'EraseMode', 'none');\n"
                                 "plot (d(" + n + "), e(" + n + "), 'g.', 'EraseMode', 'none');\nhold off;\n"
                                 "figure (2);\nhold on;\nplot (e, 'y');\nplot (e, 'r.', 'EraseMode', 'none');\n"
                                 "plot (e(" + n + "), 'g.', 'EraseMode', 'none');\nhold off;\nzoom;\n");
}

TEST_F(MultipleRuns, OptimizationRefusesAWrongMethodAndAMissingCriterion)
{
    load("fit.mf0", "fit");
    RunSpecs().finishTime = 0.1;
    MultipleRunSpecs().type = OptimizationRun;
    MultipleRunSpecs().variables = {variable(KindParameter, "d", 0.05, 2.0)};
    MultipleRunSpecs().method = 8;
    criterion(MultipleRunSpecs(), KindState, "e");
    StartMultipleRunCommand();
    ASSERT_EQ(boxes.transcript().size(), 1u);
    EXPECT_EQ(boxes.transcript()[0].lines.at(0), "Wrong optimization method");
    EXPECT_EQ(RecordedRuns(), 0);

    boxes.clear();
    MultipleRunSpecs().method = 0;
    MultipleRunSpecs().clearCriterion();
    StartMultipleRunCommand();
    ASSERT_EQ(boxes.transcript().size(), 1u) << "asked once, not again at the best point";
    EXPECT_EQ(boxes.transcript()[0].lines.at(0), "Please choose an optimization variable first");
    EXPECT_FALSE(resultExists("opt.dat"));
}

// Every trial point outside the bounds is clamped before its run: the criterion falls
// without end as d grows, so the search ends at the upper bound.
TEST_F(MultipleRuns, TrialPointsAreClampedIntoTheBounds)
{
    load("fit.mf0", "fit");
    set(KindParameter, "d", 0.3);
    set(KindParameter, "d0", 5.0);
    set(KindParameter, "k", 4.0);
    RunSpecs().finishTime = 2.0;
    MultipleRunSpecs().type = OptimizationRun;
    MultipleRunSpecs().method = 5;
    MultipleRunSpecs().variables = {variable(KindParameter, "d", 0.1, 1.0)};
    criterion(MultipleRunSpecs(), KindState, "e");
    StartMultipleRunCommand();
    for (const auto& row : numbersOf(result("opt.dat"))) {
        EXPECT_GE(row.at(0), 0.1);
        EXPECT_LE(row.at(0), 1.0);
    }
    EXPECT_EQ(get(KindParameter, "d"), 1.0);
}

TEST_F(MultipleRuns, MonteCarloWritesOneRowPerRunAndItsHistogramScript)
{
    loadMsd(0.2);
    MultipleRunSpec& spec = MultipleRunSpecs();
    spec.type = MonteCarloRun;
    spec.steps = 200;
    spec.variables = {variable(KindParameter, "k`c", 0.02, 0.04), variable(KindParameter, "f`e", 1.0, 2.0)};
    criterion(spec, KindState, "k`p.f_indep_state");
    // A stop left by an earlier optimisation must not end the series after its first run.
    numerics::StopOptimization = 1;
    StartMultipleRunCommand();
    const auto rows = numbersOf(result("mc.dat"));
    ASSERT_EQ(rows.size(), 200u);
    for (const auto& row : rows) {
        ASSERT_EQ(row.size(), 3u);
        EXPECT_GE(row[0], 0.02);
        EXPECT_LE(row[0], 0.04);
        EXPECT_GE(row[1], 1.0);
        EXPECT_LE(row[1], 2.0);
    }
    EXPECT_EQ(result("mcarlo.m"), "load mc.dat;\nk_p.f_indep_state = mc(:,3);\nhist (k_p.f_indep_state, 20 );\n"
                                  "ylabel ('k_p.f_indep_state');\n");
    EXPECT_EQ(get(KindParameter, "k`c"), 0.025);
    ASSERT_EQ(boxes.transcript().size(), 1u);
    const std::string& text = boxes.transcript()[0].lines.at(0);
    EXPECT_EQ(text.rfind("Minimum value for: \r\nk`c : ", 0), 0u) << text;
    EXPECT_NE(text.find("\r\n\r\nMaximum value for: \r\n"), std::string::npos);

    spec.steps = 10;
    StartMultipleRunCommand();
    EXPECT_NE(result("mcarlo.m").find("hist (k_p.f_indep_state, 10 );"), std::string::npos);
}

TEST_F(MultipleRuns, QuittingDuringASeriesEndsIt)
{
    loadMsd(0.1);
    // The pump of the program: the user quits while the third run goes on.
    int runs = 0;
    SetRunPump([&runs] {
        if (++runs == 3) {
            QuitRequested = 1;
            RunsAllowed = 0;
            ::MultipleRuns().stop();
        }
        while (!QuitRequested && (StartRequested || Simulating))
            RunChunk(ContinueRun);
        return !QuitRequested;
    });
    MultipleRunSpecs().type = MonteCarloRun;
    MultipleRunSpecs().steps = 50;
    MultipleRunSpecs().variables = {variable(KindParameter, "f`e", 1.0, 2.0)};
    criterion(MultipleRunSpecs(), KindState, "k`p.f_indep_state");
    StartMultipleRunCommand();
    EXPECT_EQ(runs, 3);
    EXPECT_FALSE(MultipleRunSeriesActive());
    EXPECT_FALSE(resultExists("mc.dat"));
    EXPECT_EQ(get(KindParameter, "f`e"), 1.0);

    // A plain series: the quit comes between its runs.
    QuitRequested = 0;
    RunsAllowed = 1;
    SetRunPump({});
    MultipleRunSpecs().type = PlainMultipleRun;
    MultipleRunSpecs().steps = 5;
    StartMultipleRunCommand();
    RunChunk(0);
    ASSERT_TRUE(Simulating);
    QuitRequested = 1;
    RunsAllowed = 0;
    ::MultipleRuns().stop();
    RunUntilIdle();
    EXPECT_FALSE(PlainSeriesActive());
    EXPECT_EQ(CurrentRunNumber(), 1);
    EXPECT_EQ(get(KindParameter, "f`e"), 1.0);
}

class MultipleRunFile : public MultipleRuns {
protected:
    void SetUp() override
    {
        MultipleRuns::SetUp();
        loadMsd();
        MultipleRunSpec& spec = MultipleRunSpecs();
        spec.steps = 7;
        spec.copyStates = 1;
        spec.variables = {variable(KindParameter, "k`c", 0.1 / 3.0, 1e-20, 1),
                          variable(KindInitial, "v`p[3].f_indep_state", -2.5, 123456789.125)};
        criterion(spec, KindRate, "k`p.f");
        spec.tolerance = 0.000125;
        spec.type = OptimizationRun;
        spec.method = 6;
        path = dir.file("e.mr");
    }
    std::string path;
};

TEST_F(MultipleRunFile, RoundTripsByteForByte)
{
    ASSERT_EQ(WriteMultipleRunFile(path), 0);
    const std::string first = testsupport::readText(path);
    EXPECT_EQ(first, "#Formatver\t4\n#Hclass\tmsd\n7\t1\n#Nvariables\t2\n"
                     "k`c\t0\t2\t0.033333333333333\t1E-20\tlogarithm\n"
                     "v`p[3].f_indep_state\t1\t1\t-2.5\t123456789.125\tlinear\n"
                     "6\t" + std::to_string(MultipleRunSpecs().criterionIndex) + "\t1\tk`p.f\n"
                     "0.000125\n1\n6\n");
    const MultipleRunSpec written = MultipleRunSpecs();
    MultipleRunSpecs() = MultipleRunSpec{};
    ASSERT_EQ(ReadMultipleRunFile(path), 1);
    EXPECT_EQ(MultipleRunSpecs().variables.size(), 2u);
    EXPECT_EQ(MultipleRunSpecs().method, 6);
    EXPECT_EQ(numerics::CurrentOptimizationMethod, numerics::OptimizationMethods[6].method);
    ASSERT_EQ(WriteMultipleRunFile(path), 0);
    EXPECT_EQ(testsupport::readText(path), first);
    EXPECT_TRUE(boxes.transcript().empty());
    (void)written;
}

TEST_F(MultipleRunFile, NothingToRunDeletesTheFile)
{
    ASSERT_EQ(WriteMultipleRunFile(path), 0);
    MultipleRunSpecs() = MultipleRunSpec{};
    ASSERT_EQ(WriteMultipleRunFile(path), 0);
    EXPECT_FALSE(platform::fileExists(path));
}

TEST_F(MultipleRunFile, ReaderRefusesOtherModelsAndReportsBadEntries)
{
    ASSERT_EQ(WriteMultipleRunFile(path), 0);
    const std::string good = testsupport::readText(path);
    const MultipleRunSpec inForce = MultipleRunSpecs();
    struct Case {
        const char* what;
        std::string text;
        int result;
        const char* message; ///< the box's first line; null for none
        std::size_t variablesKept; ///< after a name that the model lacks; else the spec stays
    };
    const auto replaced = [&good](const std::string& from, const std::string& to) {
        std::string text = good;
        text.replace(text.find(from), from.size(), to);
        return text;
    };
    const std::vector<Case> cases = {
        {"another model", replaced("msd", "rlc"), -1, nullptr, 99},
        {"an old format", replaced("\t4\n", "\t3\n"), -1, nullptr, 99},
        {"cut in the variables", good.substr(0, good.find("v`p[3]")), 0, "End of multiple run file reached too soon", 99},
        {"a short variable line", replaced("\tlinear", ""), 0, "Error reading multiple run information", 99},
        {"a name the model lacks", replaced("v`p[3].f_indep_state\t1", "w`p9\t1"), 0,
         "No matching name for multiple run information :", 1},
        {"a criterion the model lacks", replaced("\tk`p.f\n", "\tk`p.x\n"), 0,
         "No matching name for multiple run optimization variable :", 2},
        {"no tolerance", good.substr(0, good.find("0.000125")), 0, "Error reading multiple run information", 99},
        {"a wrong method", replaced("\n1\n6\n", "\n1\n9\n"), 1, "Wrong optimization method", 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        boxes.clear();
        MultipleRunSpecs() = inForce;
        std::ofstream(path, std::ios::trunc) << c.text;
        EXPECT_EQ(ReadMultipleRunFile(path), c.result);
        if (c.message) {
            ASSERT_EQ(boxes.transcript().size(), 1u);
            EXPECT_EQ(boxes.transcript()[0].lines.at(0), c.message);
        } else {
            EXPECT_TRUE(boxes.transcript().empty());
        }
        if (c.variablesKept == 99) {
            EXPECT_EQ(MultipleRunSpecs(), inForce);
        } else {
            EXPECT_EQ(MultipleRunSpecs().variables.size(), c.variablesKept);
            if (c.result == 0) {
                EXPECT_FALSE(MultipleRunSpecs().hasCriterion());
            }
        }
    }
    // The file with the wrong method is read, and the series refuses it.
    boxes.clear();
    StartMultipleRunCommand();
    EXPECT_EQ(RecordedRuns(), 0);
    ASSERT_EQ(boxes.transcript().size(), 1u);
    EXPECT_EQ(boxes.transcript()[0].lines.at(0), "Wrong optimization method");
}

// The file's numbers were read with sscanf, which takes "inf" and "nan" for reals and leaves
// an integer beyond 32 bits undefined. Each is refused by its line, its token and the file.
TEST_F(MultipleRunFile, NumbersThatAreNoneOfTheirKindAreRefusedByLineAndFile)
{
    ASSERT_EQ(WriteMultipleRunFile(path), 0);
    const std::string good = testsupport::readText(path);
    const MultipleRunSpec inForce = MultipleRunSpecs();
    const auto replaced = [&good](const std::string& from, const std::string& to) {
        std::string text = good;
        text.replace(text.find(from), from.size(), to);
        return text;
    };
    const std::string real = "a finite number is meant here";
    const std::string integer = "an integer within range is meant here";
    const std::vector<std::tuple<std::string, std::string, std::string>> cases = {
        {replaced("#Formatver\t4", "#Formatver\tnan"), "error in line 1: nan.", integer},
        {replaced("7\t1\n", "7e0\t1\n"), "error in line 3: 7e0.", integer},
        {replaced("#Nvariables\t2", "#Nvariables\t4294967296"), "error in line 4: 4294967296.",
         "an integer within range is meant here"},
        {replaced("-2.5", "-inf"), "error in line 6: -inf.", real},
        {replaced("123456789.125", "1e400"), "error in line 6: 1e400.", real},
        {replaced("k`c\t0\t2", "k`c\t0\t99999999999"), "error in line 5: 99999999999.", integer},
        {replaced("0.000125", "nan"), "error in line 8: nan.", real},
        {replaced("\n1\n6\n", "\n1\n9999999999\n"), "error in line 10: 9999999999.", integer},
    };
    for (const auto& [text, line, reason] : cases) {
        SCOPED_TRACE(line);
        boxes.clear();
        MultipleRunSpecs() = inForce;
        std::ofstream(path, std::ios::trunc) << text;
        EXPECT_EQ(ReadMultipleRunFile(path), 0);
        ASSERT_EQ(boxes.transcript().size(), 1u);
        EXPECT_EQ(boxes.transcript()[0].lines,
                  (std::vector<std::string>{"Error reading multiple run information", path, line, reason}));
        EXPECT_EQ(MultipleRunSpecs(), inForce);
    }
}

TEST_F(MultipleRunFile, DescriptionListsTheTypeAndTheVariablesInColumns)
{
    EXPECT_EQ(MultipleRunDescription(),
              (std::vector<std::string>{
                  "Multiple Run Specifications:", "============================", "Multiple Run Type : Optimization",
                  "Optimization Criterium Variable : k`p.f", "Opimization Method: Line Climber",
                  "Optimization tolerance : 0.000125",
                  "The end condition is copied to the begin condition of the next simulation run.",
                  "Type             \tName                \tFrom     \tTo         \tMethod",
                  "Parameter        \tk`c                 \t0.0333333\t1e-20      \tLogarithm",
                  "Initial Condition\tv`p[3].f_indep_state\t-2.5     \t1.23457e+08\tLinear"}));
}

// Continuous descent with a tolerance this small goes on past 498 runs: the user is asked
// once whether to go on; Cancel stops after that run, without results; Ok goes on.
TEST_F(MultipleRuns, OptimizationAsksBeforeItsFiveHundredthRun)
{
    load("fit.mf0", "fit");
    for (const platform::BoxAnswer answer : {platform::BoxAnswer::Cancel, platform::BoxAnswer::Ok}) {
        SCOPED_TRACE(answer == platform::BoxAnswer::Cancel ? "Cancel" : "Ok");
        boxes.clear();
        set(KindParameter, "d", 1.5);
        set(KindParameter, "d0", 0.5);
        set(KindParameter, "k", 4.0);
        RunSpecs().finishTime = 1.0;
        MultipleRunSpecs().type = OptimizationRun;
        MultipleRunSpecs().method = 4;
        MultipleRunSpecs().tolerance = 1e-13;
        MultipleRunSpecs().variables = {variable(KindParameter, "d", 0.05, 2.0), variable(KindParameter, "k", 1, 8.0)};
        criterion(MultipleRunSpecs(), KindState, "e");
        boxes.queueAnswers({answer});
        platform::deleteFile(MultipleRunResultDirectory() + "/opt.dat");
        StartMultipleRunCommand();
        // Going on, the optimisation ends with the box of its optimum.
        ASSERT_EQ(boxes.transcript().size(), answer == platform::BoxAnswer::Cancel ? 1u : 2u);
        EXPECT_EQ(boxes.transcript()[0].lines, (std::vector<std::string>{"Maximum number of runs reached",
                                                                          "Continue optimization?"}));
        EXPECT_EQ(MaximumOptimizationRuns(), 1000);
        if (answer == platform::BoxAnswer::Cancel) {
            EXPECT_EQ(RecordedRuns(), 500) << "499 runs and the one at the best point";
            EXPECT_FALSE(resultExists("opt.dat"));
        } else {
            EXPECT_GT(RecordedRuns(), 500);
        }
    }
}
