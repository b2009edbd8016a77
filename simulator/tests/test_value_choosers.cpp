// The logic behind three experiment windows: the numerical values of stored runs
// with their searches and picks, the dynamic variables chooser, and the
// plot-specification editor's copy.
#include "model_test_support.h"

#include "platform/core/file_system.h"
#include "platform/core/message_sink.h"
#include "platform/testing/temp_dir.h"
#include "simulator/dynamic_vars_chooser.h"
#include "simulator/numeric_values.h"
#include "simulator/output_specs_editor.h"
#include "simulator/plot_buffers.h"
#include "simulator/plot_specs.h"
#include "simulator/simulator_state.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

namespace {

/// One stored run: X values 0..xCount-1 and curve 0 with f(i) for the first curveCount.
void storeRun(int xCount, int curveCount, const std::function<double(int)>& f)
{
    StartPlotRun();
    for (int i = 0; i < xCount; ++i)
        AppendPlotValue(XRuns(), i);
    for (int i = 0; i < curveCount; ++i)
        AppendPlotValue(CurveRuns(0), f(i));
}

class NumericValuesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetPlot();
        PlotSpecification& specs = PlotSpecs();
        specs = PlotSpecification{};
        specs.curves[0].kind = KindVariable;
        specs.curves[0].display = 1;
        specs.curves[0].label = "a label longer than twenty-four characters";
        specs.curves[0].min = -1.0;
        specs.curves[0].max = 1.0;
        specs.x.min = 0.0;
        specs.x.max = 99.0;
        CountPlotCurves(specs);
    }
    void TearDown() override { ResetPlot(); }
    NumericValues values;
};

} // namespace

// sin(2 pi i / 40) over 100 samples: peaks at 10, 50 and 90, troughs at 30 and 70.
TEST_F(NumericValuesTest, FindsTheExtremesOfTheSelectedCurve)
{
    const auto sine = [](int i) { return std::sin(2 * M_PI * i / 40.0); };
    storeRun(100, 100, sine);
    ASSERT_TRUE(values.update());
    EXPECT_EQ(values.lines(), std::vector<std::string>{"A a label longer than twen\t0"});
    struct Case {
        int from;
        int choice;
        int to;
    };
    for (const Case& c : {Case{0, FindGlobalMax, 10}, Case{0, FindGlobalMin, 30}, Case{10, FindNextMax, 50},
                          Case{0, FindNextMin, 30}, Case{95, FindPreviousMax, 90}, Case{60, FindPreviousMin, 30},
                          Case{97, FindNextMax, 97}, Case{2, FindPreviousMax, 2}}) {
        values.setStep(c.from);
        values.find(c.choice);
        EXPECT_EQ(values.step(), c.to) << NumericFindTexts[c.choice] << " from " << c.from;
    }
    values.setStep(10);
    EXPECT_EQ(values.xValue(), 10.0);
    EXPECT_EQ(values.entries()[0].value, sine(10));
}

TEST_F(NumericValuesTest, PlateausAreNoExtremesAndCurvesShorterThanTheXAxisAreNotReadPast)
{
    storeRun(20, 20, [](int i) { return i < 5 ? double(i) : i < 8 ? 5.0 : 8.0 - i; });
    ASSERT_TRUE(values.update());
    values.setStep(0);
    values.find(FindNextMax);
    EXPECT_EQ(values.step(), 0) << "5, 5, 5 is no local maximum";

    // X holds 100 values, the curve 50 rising ones: nothing lies beyond its last value.
    ResetPlot();
    storeRun(100, 50, [](int i) { return double(i); });
    ASSERT_TRUE(values.update());
    values.setStep(10);
    values.find(FindNextMax);
    EXPECT_EQ(values.step(), 10);
    values.find(FindGlobalMax);
    EXPECT_EQ(values.step(), 49);
}

TEST_F(NumericValuesTest, PickingTakesTheNearestPointAndSurvivesAScaleOfNoWidth)
{
    storeRun(100, 100, [](int i) { return std::sin(2 * M_PI * i / 40.0); });
    ASSERT_TRUE(values.update());
    EXPECT_TRUE(values.pickNearest(50.0 / 99.0, 1.0)); // the top of the plot at x = 50: the peak
    EXPECT_EQ(values.step(), 50);

    PlotSpecs().curves[0].min = PlotSpecs().curves[0].max = 0.0;
    PlotSpecs().x.min = PlotSpecs().x.max = 0.0;
    values.pickNearest(0.25, 0.5);
    EXPECT_GE(values.step(), 0);
    EXPECT_LT(values.step(), 100);
    EXPECT_TRUE(std::isfinite(values.xValue()));
}

TEST_F(NumericValuesTest, RunsAreNumberedFromTheOldestAndNothingShownWithoutData)
{
    for (int run = 0; run < 3; ++run)
        storeRun(10, 10, [run](int i) { return run + i * 0.01; });
    ASSERT_TRUE(values.update());
    EXPECT_EQ(values.slot(), 0);
    EXPECT_EQ(values.runNumber(), 3);
    values.changeRun(2);
    EXPECT_EQ(values.runNumber(), 1);
    EXPECT_EQ(values.entries()[0].value, 0.0);
    values.changeRun(5);
    EXPECT_EQ(values.slot(), 2) << "no run there";

    PlotSpecs().curves[0].display = 0;
    EXPECT_FALSE(values.update());
    EXPECT_TRUE(values.entries().empty());
}

namespace {

// One variable with two aliases, one state and no rates.
const std::string ChooserModel =
    modeltest::codeFile({"#DVariable\t2", "\t#real\tv\tv1\tv2", "\t#real\tw", "#Dstate_ind\t1", "\t#real\tx",
                         "#DRate_ind\t1", "\t#real\tdx", "#Edynamic\t1", "\tmov\tR0\t1.000000e+00"});

struct Handed {
    int kind, variable, position;
    std::string name;
    bool operator==(const Handed&) const = default;
};

class ChooserTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        modeltest::StatusCapture quiet;
        ASSERT_EQ(LoadCodeText(ChooserModel), 0);
        chooser.clear();
    }
    DynamicVarsCallback record()
    {
        return [this](int kind, int variable, int position, const std::string& name) {
            handed.push_back({kind, variable, position, name});
        };
    }
    DynamicVarsChooser chooser;
    std::vector<Handed> handed;
    modeltest::StatusCapture status;
};

} // namespace

TEST_F(ChooserTest, EveryNameIsALineThatHandsItsOwnPosition)
{
    chooser.open(KindVariable, 0, record());
    ASSERT_EQ(chooser.lines(0).size(), 4u);
    EXPECT_EQ(chooser.lines(0)[2].text, "v2");
    EXPECT_EQ(chooser.lines(0)[3].data, 1 * 65536 + 0);
    EXPECT_TRUE(chooser.lines(2).empty() == false);
    for (int line = 0; line < 4; ++line)
        EXPECT_TRUE(chooser.apply()) << line; // each Apply moves on to the next line
    EXPECT_EQ(handed, (std::vector<Handed>{{4, 0, 0, "v"}, {4, 0, 1, "v1"}, {4, 0, 2, "v2"}, {4, 1, 0, "w"}}));
    EXPECT_FALSE(chooser.apply()) << "the last line was handed over already";
    EXPECT_EQ(chooser.selectedLine(0), 3);
}

TEST_F(ChooserTest, CloseRestoresTheOpeningSelectionAndOtherKindsStartAtVariables)
{
    chooser.open(KindState, 0, record());
    EXPECT_EQ(chooser.currentType(), 1);
    EXPECT_EQ(chooser.selectedName(), "x");
    chooser.chooseType(0);
    chooser.selectLine(2);
    EXPECT_EQ(chooser.selectedName(), "v2");
    chooser.close();
    EXPECT_EQ(chooser.currentType(), 1);
    EXPECT_EQ(chooser.selectedLine(1), 0);
    EXPECT_TRUE(handed.empty());

    chooser.open(KindParameter, 1, record());
    EXPECT_EQ(chooser.currentType(), 0);
    EXPECT_EQ(chooser.selectedName(), "v1");
    chooser.chooseType(3); // no algebraic loops in the model
    EXPECT_EQ(chooser.selectedName(), "");
    EXPECT_FALSE(chooser.apply());
}

namespace {

const std::string PlotModel = modeltest::codeFile({"#DVariable\t2", "\t#real\tv", "\t#real\tw", "#Dstate_ind\t1",
                                                   "\t#real\tx\tx`PLOT", "#DRate_ind\t1", "\t#real\tdx",
                                                   "#Edynamic\t1", "\tmov\tR0\t1.000000e+00"});

class OutputSpecsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        modeltest::StatusCapture quiet;
        ASSERT_EQ(LoadCodeText(PlotModel), 0);
        ResetPlot();
        ResetPlotSpecs(PlotSpecs());
        DefaultPlotCurves(PlotSpecs());
        CountPlotCurves(PlotSpecs());
        editor.open();
    }
    void TearDown() override { ResetPlot(); }
    OutputSpecsEditor editor;
    platform::ScriptedMessageSink boxes;
    platform::ScopedMessageSink scoped{boxes};
    modeltest::StatusCapture status;
};

} // namespace

TEST_F(OutputSpecsTest, RowsShowTypeNameAndFlags)
{
    EXPECT_EQ(editor.row(0), "A\tState  \tx`PLOT\tOn\tOff");
    EXPECT_EQ(editor.row(1), ".\t.\t.\t.\t.");
    editor.selectCurve(1);
    editor.chooseY(KindVariable, 1, 0);
    EXPECT_EQ(editor.row(1), "B\tVar    \tw\tOn\tOff");
    EXPECT_EQ(editor.selected(), 2) << "a chosen variable moves on to the next curve";
    editor.selectCurve(2);
    editor.setFromFile(true);
    editor.fileName = "input.dat";
    editor.selectCurve(3);
    EXPECT_EQ(editor.row(2), "C\tFile\tinput.dat\tOff\tOff");
}

TEST_F(OutputSpecsTest, LeavingACurveValidatesIt)
{
    editor.curveRange.from = "0.5q";
    EXPECT_FALSE(editor.selectCurve(4));
    EXPECT_EQ(editor.selected(), 0);
    ASSERT_EQ(boxes.transcript().size(), 1u);
    EXPECT_EQ(boxes.transcript()[0].lines, (std::vector<std::string>{"Error in entered value at:", "q", "Try again..."}));
    editor.curveRange.from = "-2";
    editor.label = "end position";
    ASSERT_TRUE(editor.selectCurve(5));
    EXPECT_EQ(editor.copy().curves[0].min, -2.0);
    EXPECT_EQ(editor.copy().curves[0].label, "end position");

    editor.setFromFile(true);
    EXPECT_FALSE(editor.selectCurve(6));
    EXPECT_EQ(boxes.transcript().back().lines.at(0), "Empty string is not valid as name.");
    editor.setFromFile(false);
    editor.label = "nothing shown";
    ASSERT_TRUE(editor.selectCurve(6));
    EXPECT_TRUE(editor.copy().curves[5].label.empty()) << "a curve without variable or file goes back to the defaults";
}

TEST_F(OutputSpecsTest, AcceptReplacesTheLiveSpecificationAndImportWaitsForIt)
{
    testsupport::TempDir dir;
    PlotSpecification other = PlotSpecs();
    other.curves[0].min = -7;
    other.curves[1].kind = KindVariable;
    other.curves[1].variable = 0;
    other.curves[1].display = 1;
    PlotSpecs().curves[0].min = -7;
    ASSERT_TRUE(platform::writeFileAtomically(dir.file("other.u"), PlotSpecFileText(other, "t")));
    PlotSpecs().curves[0].min = 0;
    ASSERT_EQ(editor.importFile(dir.file("other.u")), 0);
    EXPECT_TRUE(editor.edited());
    EXPECT_EQ(editor.row(1), "B\tVar    \tv\tOn\tOff");
    EXPECT_EQ(editor.curveRange.from, "-7");
    EXPECT_EQ(PlotSpecs().curves[1].kind, 0) << "the live specification waits for OK";

    editor.setXIsTime(false);
    EXPECT_EQ(editor.xRange.from, "0");
    EXPECT_EQ(editor.xRange.to, "1");
    EXPECT_EQ(editor.accept(false), 0);
    EXPECT_EQ(boxes.transcript().back().lines.at(0), "No name for X-Axis specified.");
    EXPECT_EQ(editor.accept(true), 0) << "nothing while simulating";
    editor.chooseX(KindVariable, 1, 0);
    ASSERT_EQ(editor.accept(false), 1);
    EXPECT_FALSE(editor.edited());
    EXPECT_EQ(PlotSpecs().xIsTime, 0);
    EXPECT_EQ(PlotSpecs().x.variable, 1);
    EXPECT_EQ(PlotSpecs().curves[1].kind, KindVariable);
    EXPECT_EQ(PlotSpecs().curves[0].min, -7.0);
    EXPECT_EQ(PlotSpecs().displayed, 2);
}
