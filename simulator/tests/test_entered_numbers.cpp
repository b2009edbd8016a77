// The numbers the simulator's dialogs take: a number too large for what keeps it, or not
// finite, is refused as letters are, by the one reader every editor uses.
#include "model_test_support.h"

#include "platform/core/message_sink.h"
#include "simulator/entered_numbers.h"
#include "simulator/multiple_run_editor.h"
#include "simulator/multiple_runs.h"
#include "simulator/output_specs_editor.h"
#include "simulator/plot_buffers.h"
#include "simulator/plot_specs.h"
#include "simulator/run_specs.h"
#include "simulator/run_specs_editor.h"
#include "simulator/value_editors.h"

#include <gtest/gtest.h>

#include <optional>

namespace {

using Lines = std::vector<std::string>;

Lines refusal(const std::string& rest) { return {"Error in entered value at:", rest, "Try again..."}; }

} // namespace

TEST(EnteredNumbers, WholeTextsAreFiniteNumbersOrRefusedFromWhereTheyFail)
{
    struct RealCase {
        const char* text;
        std::optional<double> value; // none: refused
        const char* rest;
    };
    const std::vector<RealCase> reals = {
        {"2.5", 2.5, ""},         {" -1e3", -1000.0, ""},  {"1e-400", 0.0, ""}, {"0x10", 16.0, ""},
        {"1e400", {}, "1e400"},   {"-1e999", {}, "-1e999"}, {"1e400x", {}, "1e400x"},
        {"inf", {}, "inf"},       {"NaN", {}, "NaN"},       {"2.5x", {}, "x"},   {"", {}, ""},
        {"q", {}, "q"},           {"3 ", {}, " "},
    };
    for (const RealCase& c : reals) {
        double value = -7.0;
        std::string rest = "unset";
        EXPECT_EQ(ReadEnteredReal(c.text, value, &rest), c.value.has_value()) << c.text;
        if (c.value)
            EXPECT_DOUBLE_EQ(value, *c.value) << c.text;
        else
            EXPECT_EQ(rest, c.rest) << c.text;
    }
    struct IntegerCase {
        const char* text;
        std::optional<long long> value;
        const char* rest;
    };
    const std::vector<IntegerCase> integers = {
        {"0x10", 16, ""}, {"017", 15, ""}, {"-2147483648", -2147483648LL, ""}, {"2147483647", 2147483647, ""},
        {"2147483648", {}, "2147483648"}, {"0x100000000", {}, "0x100000000"},
        {"99999999999999999999", {}, "99999999999999999999"}, {"1.5", {}, ".5"}, {"x", {}, "x"},
    };
    for (const IntegerCase& c : integers) {
        long long value = -7;
        std::string rest = "unset";
        EXPECT_EQ(ReadEnteredInteger(c.text, value, &rest), c.value.has_value()) << c.text;
        if (c.value)
            EXPECT_EQ(value, *c.value) << c.text;
        else
            EXPECT_EQ(rest, c.rest) << c.text;
    }
    // What "%lg" and "%d" read at a text's start, when it fits.
    double real = 0.0;
    int integer = 0;
    EXPECT_TRUE(ReadLeadingReal(" 0.5 left", real));
    EXPECT_EQ(real, 0.5);
    EXPECT_FALSE(ReadLeadingReal("1e400", real));
    EXPECT_FALSE(ReadLeadingReal("tol", real));
    EXPECT_TRUE(ReadLeadingInteger("7 steps", integer));
    EXPECT_EQ(integer, 7);
    EXPECT_FALSE(ReadLeadingInteger("99999999999", integer));
    EXPECT_FALSE(ReadLeadingInteger("x", integer));
}

namespace {

const std::string EditorModel = modeltest::codeFile({"#DParam \t2", "\t#real\tgain", "\t#int\tcount", "#DIncond\t1",
                                                     "\t#real\tx0", "#Dstate_ind\t1", "\t#real\tx`PLOT",
                                                     "#DRate_ind\t1", "\t#real\tdx", "#Edynamic\t1",
                                                     "\tmov\tR0\tP0"});

class EditorNumbers : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(LoadCodeText(EditorModel), 0);
        modeltest::resetRunFlags();
        RunSpecs() = RunSpecification::defaults();
        MultipleRunSpecs() = MultipleRunSpec{};
        ResetPlot();
        ResetPlotSpecs(PlotSpecs());
        DefaultPlotCurves(PlotSpecs());
        CountPlotCurves(PlotSpecs());
    }
    void TearDown() override { ResetPlot(); }
    platform::ScriptedMessageSink boxes;
    platform::ScopedMessageSink scoped{boxes};
    modeltest::StatusCapture status;
};

} // namespace

// Each editor says of an overflowing number what it says of letters, and keeps what it had.
TEST_F(EditorNumbers, EveryEditorRefusesAnOverflowingNumberAsItRefusesLetters)
{
    for (const char* text : {"1e400", "-1e999", "inf"}) {
        boxes.clear();
        RunSpecsEditor run;
        run.refresh(true);
        run.fieldChanged(-2, text);
        EXPECT_EQ(run.ok(false), 0) << text;
        EXPECT_EQ(RunSpecs().finishTime, 5.0);
        run.fieldChanged(-2, "5");
        run.fieldChanged(RowStep, text);
        EXPECT_EQ(run.ok(false), 0) << text;
        EXPECT_EQ(RunSpecs().row(RowStep).value, 0.01);

        ValueEditor parameters(KindParameter);
        parameters.refresh();
        parameters.setCurrent(0);
        parameters.typed();
        EXPECT_FALSE(parameters.store(text, false)) << text;
        EXPECT_FALSE(parameters.entries()[0].hasValue);

        OutputSpecsEditor plot;
        plot.open();
        plot.curveRange.to = text;
        EXPECT_FALSE(plot.selectCurve(3)) << text;
        EXPECT_EQ(plot.selected(), 0);

        Lines fourRefusals;
        for (int box = 0; box < 4; ++box) {
            if (box > 0)
                fourRefusals.push_back("--");
            for (const std::string& line : refusal(text))
                fourRefusals.push_back(line);
        }
        EXPECT_EQ(boxes.transcriptLines(), fourRefusals);
    }

    // An Integer parameter is kept in 32 bits: a larger one would be saved as another number.
    boxes.clear();
    ValueEditor parameters(KindParameter);
    parameters.refresh();
    parameters.setCurrent(1);
    parameters.typed();
    EXPECT_FALSE(parameters.store("0x100000000", false));
    EXPECT_EQ(boxes.transcript().at(0).lines, refusal("0x100000000"));
    parameters.typed();
    EXPECT_TRUE(parameters.store("0x7fffffff", false));
    EXPECT_EQ(parameters.entries()[1].value, 2147483647.0);

    // The multiple-run editor: bounds as letters are, and the steps and the tolerance as well,
    // which keep what was in force.
    boxes.clear();
    MultipleRunEditor multiple;
    multiple.open();
    ASSERT_TRUE(multiple.addVariable(KindParameter, 0));
    multiple.minText = "1e400";
    EXPECT_FALSE(multiple.ok());
    EXPECT_EQ(boxes.transcript().at(0).lines, Lines{"Error in reading \"from\" value"});
    multiple.minText = "1";
    multiple.maxText = "2";
    const std::pair<const char*, const char*> refusedSteps[] = {{"99999999999", "99999999999"}, {"3y", "y"},
                                                                  {"2.5", "2.5"}, {"", ""}};
    for (const auto& [steps, rest] : refusedSteps) {
        boxes.clear();
        multiple.field = steps;
        EXPECT_FALSE(multiple.ok()) << steps;
        EXPECT_EQ(boxes.transcript().at(0).lines, refusal(rest)) << steps;
        EXPECT_EQ(multiple.refusedField(), MultipleRunEditor::StepsField);
        EXPECT_FALSE(multiple.setType(OptimizationRun)) << "the type waits for a number of steps";
    }
    EXPECT_TRUE(MultipleRunSpecs().variables.empty());
    multiple.field = "1e1";
    ASSERT_TRUE(multiple.ok());
    EXPECT_EQ(MultipleRunSpecs().steps, 10);
    ASSERT_TRUE(multiple.setType(OptimizationRun));
    multiple.field = "1e400";
    EXPECT_FALSE(multiple.ok());
    EXPECT_EQ(MultipleRunSpecs().tolerance, 0.01);
    multiple.field = "0.005";
    ASSERT_TRUE(multiple.ok());
    EXPECT_EQ(MultipleRunSpecs().tolerance, 0.005);
}
