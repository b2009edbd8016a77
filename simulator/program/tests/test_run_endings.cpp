// How runs end, as the simulator's window tells it: a run that blows up, the last run of
// a multiple run, a model opened after a run, and an optimisation with its optimum and
// its files.
#include "simulator_harness.h"

#include "common/settings_table.h"
#include "platform/core/file_system.h"
#include "platform/testing/qt_support.h"
#include "simulator/model_variables.h"
#include "simulator/multiple_runs.h"
#include "simulator/plot_buffers.h"
#include "simulator/plot_drawing.h"
#include "simulator/plot_scaling.h"
#include "simulator/plot_specs.h"
#include "simulator/program/simulator_menus.h"
#include "simulator/run_control.h"
#include "simulator/run_specs.h"
#include "simulator/run_state.h"
#include "simulator/simulator_state.h"

#include <gtest/gtest.h>

#include <QApplication>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <filesystem>

using simtest::Simulator;

namespace {

/// x' = x * x from x = 1: the solution grows without bound, and Euler's x jumps from 1e87
/// to 1e175, whose rate x * x is beyond the largest number.
constexpr const char* BlowUpModel = "#Hclass\tblowup1\n#Hversion\t1\n\n#DIncond\t1\n\t#real\tx0\n\n"
                                    "#Dstate_ind\t1\n\t#real\tx\tx`PLOT\n\n#DRate_ind\t1\n\t#real\tdx\tdx`PLOT\n\n"
                                    "#EInitial\t1\n\tmov\ts0\tI0\n\n#Einputs\t0\n\n"
                                    "#Edynamic\t1\n\tmul\tR0\ts0\ts0\n\n#Eoutputs\t0\n";

/// The largest value within the plot's bound that the curve holds in its current run.
double largestShown(int curve)
{
    const RunSlot& slot = CurveRuns(curve).slot[0];
    double largest = 0;
    for (int i = 0; i < slot.count(); ++i)
        if (std::fabs(slot.values()[i]) <= PlotBound)
            largest = std::max(largest, std::fabs(slot.values()[i]));
    return largest;
}

/// A text as the status line shows it: its line breaks as blanks.
std::string oneLine(std::string text)
{
    for (std::size_t at; (at = text.find("\r\n")) != std::string::npos;)
        text.replace(at, 2, " ");
    return text;
}

} // namespace

// The run does not end with a line in the status bar only: a box says at which time it
// ended and why, and the curve whose last value is beyond the largest number is scaled to
// the values it could show, not to the plot's bound.
TEST(RunEndings, ARunThatBlowsUpSaysWhenInABoxAndIsScaledToItsFiniteValues)
{
    simtest::WriteCodeFileOnce("blowup1.l", BlowUpModel);
    Simulator s("-model blowup1");
    ASSERT_EQ(Experiment().modelName, "blowup1");
    SetVariableValue(KindInitial, 0, 1.0);
    RunSpecs().method = MethodEuler;
    for (PlotCurve& curve : PlotSpecs().curves)
        curve.scaling = 1; // scaled when the run ends
    MarkEdited();
    s.window().resize(900, 600);
    s.command(CM_START_SIMULATION);
    ASSERT_TRUE(s.waitForRunEnd());

    ASSERT_EQ(s.boxes().transcript().size(), 1u) << testing::PrintToString(s.boxes().transcriptLines());
    char ended[96];
    std::snprintf(ended, sizeof ended, "The run ended at time %g: a value grew too large.",
                  SimulationTime);
    EXPECT_EQ(s.boxes().transcript()[0].lines,
              (std::vector<std::string>{"Floating-point library exception", "", "Arithmetic overflow outside user model.",
                                        ended, "Check your model and integration method parameters"}));
    EXPECT_GT(SimulationTime, 1.0);
    EXPECT_LT(SimulationTime, 2.0);
    EXPECT_EQ(s.window().shownStatusText().rfind("Floating point exception.", 0), 0u) << s.window().shownStatusText();

    // The rate is the curve that went beyond: its scale fits the values before, about 3.5e175.
    const PlotCurve& rate = PlotSpecs().curves[1];
    ASSERT_EQ(rate.kind, KindRate);
    const double shown = largestShown(1);
    EXPECT_GT(shown, 1e170);
    EXPECT_GE(rate.max, shown);
    EXPECT_LT(rate.max, 2 * shown) << "not the plot's bound " << PlotBound;
    EXPECT_LE(rate.min, 0);
    FlushPlotSteps();
    QApplication::processEvents();
    testsupport::grabToPng(s.window(), "simulator_window_blown_up_run");
    RunSpecs() = RunSpecification::defaults();
}

// 0 / 0 in the library's divider at the start: the box puts the invalid operation in the model's
// equations, on the row of the division, not in the integration method; the native code the
// simulator runs by default and the interpreter tell it alike.
TEST(RunEndings, AnInvalidDivisionInTheModelIsToldAsInTheModelOnItsRow)
{
    Simulator s("-model quot1");
    ASSERT_EQ(Experiment().modelName, "quot1");
    s.openExperiment("default");
    for (int warp : {1, 0}) {
        SCOPED_TRACE(warp ? "native code" : "interpreter");
        Settings().warp = warp;
        s.boxes().clear();
        s.command(CM_START_SIMULATION);
        ASSERT_TRUE(s.waitForRunEnd());
        ASSERT_EQ(s.boxes().transcript().size(), 1u) << testing::PrintToString(s.boxes().transcriptLines());
        const std::vector<std::string>& lines = s.boxes().transcript()[0].lines;
        ASSERT_EQ(lines.size(), 5u) << testing::PrintToString(lines);
        EXPECT_EQ(lines[2], "Invalid operation in user model.");
        // The constants' quotient is computed once, by the third row of the initial equations.
        EXPECT_EQ(lines[3], "In initialization equations, instruction nr. 3.");
        EXPECT_EQ(lines[4], "The run ended at time 0.");
        EXPECT_EQ(s.window().shownStatusText().rfind("Floating point exception.", 0), 0u) << s.window().shownStatusText();
    }
    Settings().warp = 1;
}

// After the last run of a multiple run the status line tells how the series ended, not how
// its first run began; another model opened then does not show the summary of this one.
TEST(RunEndings, TheLastRunOfASeriesAndAnotherModelLeaveNoStaleStatus)
{
    Simulator s;
    s.openExperiment("default");
    simtest::SweepFirstParameter(3);
    s.command(CM_START_MULTIPLE_RUN);
    ASSERT_TRUE(s.waitFor([] { return !MultipleRunSeriesActive() && !Simulating && !StartRequested; }));
    const std::string status = s.window().shownStatusText();
    EXPECT_EQ(status.rfind("Multiple run finished: 3 runs. Simulation finished.  Model evaluations: ", 0), 0u) << status;
    MultipleRunSpecs() = MultipleRunSpec{};

    s.command(CM_OPEN_MODEL);
    s.chooseName("divz1");
    ASSERT_EQ(Experiment().modelName, "divz1");
    EXPECT_EQ(s.window().shownStatusText(), "") << "msd1's run says nothing of divz1";
}

// An optimisation ends with a box of the optimum it leaves the model at, and writes its own
// result files but not the MATLAB files of every evaluation; a run after it writes its own.
TEST(RunEndings, AnOptimisationShowsItsOptimumAndKeepsNoMatlabFilesOfItsEvaluations)
{
    namespace fs = std::filesystem;
    Simulator s;
    s.openExperiment("default");
    ASSERT_GT(PlotSpecs().matlabCount, 0) << "the experiment keeps its curves for MATLAB";
    const std::string matlab = Experiment().experimentDirectory + "/matlab";
    fs::remove_all(matlab);
    RunSpecs().finishTime = 1.0;
    MultipleRunSpec& spec = simtest::SweepFirstParameter(2);
    spec.type = OptimizationRun;
    spec.method = 6; // line climber
    spec.tolerance = 0.05;
    spec.criterionKind = KindState;
    spec.criterionIndex = 0;
    spec.criterionElement = 0;
    const char* variableName = MultipleRunVariableName(spec.variables[0]);
    const char* criterionName = CriterionName(spec);
    ASSERT_TRUE(variableName && criterionName);
    s.command(CM_START_MULTIPLE_RUN);
    ASSERT_TRUE(s.waitFor([] { return !MultipleRunSeriesActive() && !Simulating && !StartRequested; }));

    ASSERT_EQ(s.boxes().transcript().size(), 1u) << testing::PrintToString(s.boxes().transcriptLines());
    const std::string optimum = s.boxes().transcript()[0].lines.at(0);
    char expected[256];
    std::snprintf(expected, sizeof expected, "Optimum found after %d runs: \r\n%s : %g\r\n%s : %g", RecordedRuns(),
                  variableName, Variables().kinds[KindParameter].values[0], criterionName,
                  Variables().kinds[KindState].values[0]);
    EXPECT_EQ(optimum, expected);
    EXPECT_GT(RecordedRuns(), 2);
    EXPECT_EQ(s.window().shownStatusText(), oneLine(optimum)) << "the status line tells it too";
    // The plot keeps the run at the optimum, scaled to it, not to the runs it dropped.
    EXPECT_FALSE(HasEarlierRunData());
    const PlotCurve& first = PlotSpecs().curves[0];
    ASSERT_EQ(first.scaling, 1);
    double min = 0, max = 0;
    RoundScaleRange(CurveRuns(0).slot[0].runMin, CurveRuns(0).slot[0].runMax, min, max);
    EXPECT_EQ(first.min, min);
    EXPECT_EQ(first.max, max);

    EXPECT_TRUE(platform::fileExists(matlab + "/opt.dat"));
    std::vector<std::string> perRun;
    for (const fs::directory_entry& file : fs::directory_iterator(matlab))
        if (file.path().filename().string().rfind("default", 0) == 0)
            perRun.push_back(file.path().filename().string());
    EXPECT_TRUE(perRun.empty()) << testing::PrintToString(perRun);

    MultipleRunSpecs() = MultipleRunSpec{};
    s.command(CM_START_SIMULATION);
    ASSERT_TRUE(s.waitForRunEnd());
    EXPECT_TRUE(platform::fileExists(matlab + "/default.m"));
    EXPECT_TRUE(platform::fileExists(matlab + "/default.d"));
    fs::remove_all(matlab);
    RunSpecs() = RunSpecification::defaults();
}

// A model opened without an experiment shows its "`PLOT" curves on scales that the end of
// the run fits to the data, where a fixed 0 to 1 scale left a ramp to 4 beyond the frame.
TEST(RunEndings, TheCurvesOfAModelWithoutAnExperimentAreScaledToTheirRun)
{
    simtest::WriteCodeFileOnce("ramp4.l", "#Hclass\tramp\n#Hversion\t4\n\n#Dstate_ind\t1\n\t#real\tx\tx`PLOT\n\n"
                                          "#DRate_ind\t1\n\t#real\tdx\n\n#EInitial\t0\n\n#Einputs\t0\n\n"
                                          "#Edynamic\t1\n\tmov\tR0\t1.000000e+00\n\n#Eoutputs\t0\n");
    Simulator s("-model ramp4");
    ASSERT_EQ(Experiment().modelName, "ramp4");
    const PlotCurve& curve = PlotSpecs().curves[0];
    ASSERT_TRUE(curve.hasVariable());
    EXPECT_EQ(curve.scaling, 1);
    RunSpecs().finishTime = 4.0;
    MarkEdited();
    s.window().resize(900, 600);
    s.command(CM_START_SIMULATION);
    ASSERT_TRUE(s.waitForRunEnd());
    EXPECT_LT(curve.min, 0.0);
    EXPECT_GT(curve.max, 4.0);
    EXPECT_LT(curve.max, 5.0);
}

// A floating-point signal while no run goes on (another program raising it) is told in a
// box of its own and the simulator goes on: a run afterwards ends as it should.
TEST(RunEndings, AFloatingPointSignalOutsideARunIsToldInABoxAndTheSimulatorGoesOn)
{
    Simulator s;
    s.openExperiment("default");
    ASSERT_EQ(::raise(SIGFPE), 0);
    ASSERT_TRUE(s.waitFor([&] { return !s.boxes().transcript().empty(); }, 5000));
    EXPECT_EQ(s.boxes().transcript()[0].lines,
              (std::vector<std::string>{"Floating-point library exception.", "",
                                        "User program raised FPE signal outside user model."}));
    s.command(CM_START_SIMULATION);
    ASSERT_TRUE(s.waitForRunEnd());
    EXPECT_EQ(s.window().shownStatusText().rfind("Simulation finished.", 0), 0u) << s.window().shownStatusText();
    EXPECT_EQ(s.boxes().transcript().size(), 1u) << testing::PrintToString(s.boxes().transcriptLines());
}
