// Run specifications: the defaults, the ".r" file's exact layout per method, its
// tolerant reading, and the checks a run start makes.
#include "model_test_support.h"

#include "platform/core/file_system.h"
#include "platform/core/message_sink.h"
#include "platform/testing/temp_dir.h"
#include "simulator/run_specs.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

/// Reads the text into a copy of `start`; the result code.
int readText(const std::string& text, RunSpecification& target)
{
    CodeFileLexer lexer;
    lexer.ResetScanner(text);
    return ReadRunSpecs(lexer, target, "exp.r");
}

const std::string Head = "#Hclass\tmsd\n#Iprocsr\t0\n#Imethod\t";

} // namespace

TEST(RunSpecs, FileHoldsTheMethodsRowsInTheirExactLayout)
{
    const std::string times = "#Tstart \t0\n#Tfinish\t5\n";
    const std::string fixed = "#Tstep  \t0.01\n#Tcomint\t0\t0.1\n";
    const std::vector<std::string> expected = {
        Head + "0\n" + times + fixed,
        Head + "1\n" + times + fixed,
        Head + "2\n" + times + fixed,
        Head + "3\n" + times +
            "#Iabserr\t1E-05\n#Irelerr\t1E-05\n#Ialpabserr\t1E-05\n#Tstinit\t0\t0.001\n#Tstmax \t0\t1\n"
            "#Tcomint\t0\t0.1\n#Tignwarn\t0\t0\n#Tscaleode\t0\t0\n",
        Head + "4\n" + times + "#Iabserr\t1E-05\n#Irelerr\t1E-05\n#Tstmax \t0\t1\n#Tcomint\t0\t0.1\n",
        Head + "5\n" + times + "#Iabserr\t1E-05\n#Irelerr\t1E-05\n#Tstinit\t0\t0.001\n#Tstmax \t0\t1\n#Tcomint\t0\t0.1\n",
    };
    for (int m = 0; m < MethodCount; ++m) {
        RunSpecification specs = RunSpecification::defaults();
        specs.method = m;
        EXPECT_EQ(RunSpecFileText(specs, "msd"), expected[m]) << IntegrationMethods[m].name;
    }
}

TEST(RunSpecs, ValuesAreWrittenInTheShortestFormThatReadsBack)
{
    const std::vector<std::pair<double, std::string>> cases = {
        {0.01, "0.01"}, {1e-5, "1E-05"}, {5.0, "5"}, {0.1, "0.1"}, {-2.5, "-2.5"},
        {1.0 / 3, "0.3333333333333333"}, {123456789.0, "123456789"}, {1e300, "1E+300"}};
    for (const auto& [value, text] : cases) {
        EXPECT_EQ(FormatShortestReal(value), text);
        EXPECT_EQ(std::strtod(text.c_str(), nullptr), value);
    }
}

TEST(RunSpecs, WriteReadWriteGivesTheSameFile)
{
    modeltest::StatusCapture quiet;
    testsupport::TempDir dir;
    RunSpecs() = RunSpecification::defaults();
    RunSpecs().method = MethodBdf;
    RunSpecs().startTime = 0.25;
    RunSpecs().finishTime = 1.0 / 7;
    RunSpecs().row(RowMaxStep) = {RunSpecs().row(RowMaxStep).token, "#Tstmax ", 0.0123456789012, 1, 1, 1};
    RunSpecs().row(RowIgnoreWarnings).switchOn = 1;
    const std::string path = dir.path() + "/exp.r";
    ASSERT_EQ(WriteRunSpecFile(path, "msd"), 0);
    const std::string first = RunSpecFileText(RunSpecs(), "msd");
    RunSpecification read = RunSpecification::defaults();
    ASSERT_EQ(ReadRunSpecFile(path, read), 0);
    EXPECT_EQ(RunSpecFileText(read, "msd"), first);
    EXPECT_EQ(read.finishTime, 1.0 / 7);
    // A file that an editor saved with a UTF-8 byte-order mark reads alike.
    ASSERT_TRUE(platform::writeFileAtomically(path, "\xEF\xBB\xBF" + first));
    read = RunSpecification::defaults();
    ASSERT_EQ(ReadRunSpecFile(path, read), 0);
    EXPECT_EQ(RunSpecFileText(read, "msd"), first);
    RunSpecs() = RunSpecification::defaults();
}

TEST(RunSpecs, ReaderClampsAndAcceptsWhatTheFormatAllows)
{
    modeltest::StatusCapture quiet;
    platform::ScriptedMessageSink sink;
    platform::ScopedMessageSink scoped(sink);
    RunSpecification specs = RunSpecification::defaults();
    ASSERT_EQ(readText("#Hclass\tmsd\n#Iprocsr\t-3\n#Imethod\t9\n#Tstart \t1\n#Tfinish\t2.5E+01\n"
                       "#Tstmax \t1\t0.5\n#Tstinit\t0\t1e-4",
                       specs),
              0);
    EXPECT_EQ(specs.processor, 0);
    EXPECT_EQ(specs.method, MethodVode);
    EXPECT_EQ(specs.startTime, 1.0);
    EXPECT_EQ(specs.finishTime, 25.0);
    EXPECT_EQ(specs.row(RowMaxStep).switchOn, 1);
    EXPECT_EQ(specs.row(RowMaxStep).value, 0.5);
    EXPECT_EQ(specs.row(RowInitialStep).value, 1e-4); // last line without its line feed

    // A row not in use for the method read is stored in that method's row.
    ASSERT_EQ(readText(Head + "0\n#Tstart \t0\n#Tfinish\t5\n#Tstinit\t1\t0.002\n", specs), 0);
    EXPECT_EQ(specs.settings[MethodEuler][RowInitialStep].value, 0.002);
    EXPECT_EQ(readText("#Hclass\n#Iprocsr\t7\n#Imethod\t1\n#Tstart\t0\n#Tfinish\t5\n", specs), 0);
    EXPECT_EQ(specs.processor, 1);
    EXPECT_TRUE(sink.transcript().empty());
}

TEST(RunSpecs, ReadErrorsNameTheFileTheTokenAndWhyAndLeaveTheTargetUnchanged)
{
    modeltest::StatusCapture quiet;
    platform::ScriptedMessageSink sink;
    platform::ScopedMessageSink scoped(sink);
    struct Case {
        std::string text;
        std::string line;
        std::string reason = {}; ///< empty: none is given
    };
    const std::string real = "a finite number is meant here";
    const std::string integer = "an integer within range is meant here";
    const std::vector<Case> cases = {
        // Numbers that are no finite numbers, or no integers within range where one is meant.
        {Head + "0\n#Tstart \t0\n#Tfinish\t1e400\n", "error in line 5: 1e400.", real},
        {Head + "0\n#Tstart \t-1E+999\n#Tfinish\t9\n", "error in line 4: -1E+999.", real},
        {Head + "0\n#Tstart \t0\n#Tfinish\t9\n#Tstep  \t1e309\n", "error in line 6: 1e309.", real},
        {Head + "4294967296\n#Tstart \t0\n#Tfinish\t9\n", "error in line 3: 4294967296.", integer},
        {Head + "2.5\n#Tstart \t0\n#Tfinish\t9\n", "error in line 3: 2.5.", integer},
        {Head + "0\n#Tstart \tinf\n#Tfinish\t9\n", "error in line 4: inf."},
        {Head + "0\n#Tstart \t0\n#Tfinish\t9\n#Tcomint\t0.5\n", "error in line 6: 0.5."},
        {Head + "0\n#Tstart \t0\n#Tfinish\t9\n#Tstep  \n", "error at end of line 6."},
        {Head + "0\n#Tstart \t0\n#Tfinish\t9\n#Tstep  \t0.5\textra\n", "error in line 6: extra."},
        {Head + "0\n#Tstart \t0\n#Tfinish\t9\n#Tcomint\t2\t0.5\n", "error in line 6: 2."},
        {Head + "0\n#Tfinish\t9\n", "error in line 4: #Tfinish."},
        {"#Iprocsr\t0\n", "error in line 1: #Iprocsr."},
    };
    for (const Case& c : cases) {
        RunSpecification specs = RunSpecification::defaults();
        sink.clear();
        EXPECT_EQ(readText(c.text, specs), -1) << c.text;
        EXPECT_EQ(specs.finishTime, 5.0) << "a failed read changed the record";
        ASSERT_EQ(sink.transcript().size(), 1u);
        std::vector<std::string> expected = {"While reading Run Specifications:", "exp.r", c.line};
        if (!c.reason.empty())
            expected.push_back(c.reason);
        EXPECT_EQ(sink.transcript()[0].lines, expected);
    }
    RunSpecification specs;
    EXPECT_EQ(ReadRunSpecFile("/nonexistent/x.r", specs), -1);
    EXPECT_EQ(sink.transcript().back().lines[0], "Can not open for reading:");
}

namespace {

/// The check of the method refuses the specs with that first line, or (null) accepts them.
void expectCheck(const RunSpecification& specs, const char* refusal, const std::string& what)
{
    platform::ScriptedMessageSink sink;
    platform::ScopedMessageSink scoped(sink);
    const int good = specs.method == MethodBdf ? CheckBdfStepSpecs(specs) : CheckFixedStepSpecs(specs);
    EXPECT_EQ(good, refusal ? 0 : 1) << IntegrationMethods[specs.method].name << " " << what;
    if (refusal) {
        ASSERT_EQ(sink.transcript().size(), 1u) << what;
        EXPECT_EQ(sink.transcript()[0].lines, (std::vector<std::string>{refusal, "No simulation is possible."}));
    }
}

} // namespace

TEST(RunSpecs, RunStartChecksRefuseBadSettingsWithTheirMessage)
{
    const double NaN = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        int method;
        double start, finish, step, initial, maximum;
        int initialOn, maximumOn;
        const char* refusal; // null: accepted
    };
    const std::vector<Case> cases = {
        {MethodEuler, 0, 5, 0.01, 0, 0, 0, 0, nullptr},
        {MethodEuler, 0, 5, 0.0, 0, 0, 0, 0, "Stepsizes must be positive."},
        {MethodEuler, 0, 5, NaN, 0, 0, 0, 0, "Stepsizes must be positive."},
        {MethodRungeKutta4, 0, 5, 5.0, 0, 0, 0, 0, nullptr},
        {MethodRungeKutta4, 0, 5, 5.5, 0, 0, 0, 0, "Stepsize may not exceed finish time minus start time."},
        {MethodAdamsBashforth, 5, 5, 0.01, 0, 0, 0, 0, "Start time must be smaller than finish time."},
        {MethodRkf, 0, 5, -1.0, 0, 0, 0, 0, nullptr},
        {MethodVode, 3, 1, 0.01, 0, 0, 0, 0, "Start time must be smaller than finish time."},
        {MethodBdf, 0, 5, 0, 7.0, -1, 1, 0, nullptr},
        {MethodBdf, 0, 5, 0, 0.0, 1, 1, 0, "Stepsizes must be positive."},
        {MethodBdf, 0, 5, 0, 0.1, 0.0, 0, 1, "Stepsizes must be positive."},
        {MethodBdf, 0, 5, 0, 0.1, 6.0, 0, 1, "Max. step may not exceed finish time minus start time."},
        {MethodBdf, 0, 5, 0, 0.5, 0.5, 1, 1, "Initial step must be smaller than maximum step."},
        {MethodBdf, 0, 5, 0, 0.1, 0.5, 1, 1, nullptr},
    };
    for (const Case& c : cases) {
        RunSpecification specs = RunSpecification::defaults();
        specs.method = c.method;
        specs.startTime = c.start;
        specs.finishTime = c.finish;
        specs.row(RowStep).value = c.step;
        specs.row(RowInitialStep).value = c.initial;
        specs.row(RowInitialStep).switchOn = c.initialOn;
        specs.row(RowMaxStep).value = c.maximum;
        specs.row(RowMaxStep).switchOn = c.maximumOn;
        expectCheck(specs, c.refusal, c.refusal ? c.refusal : "accepted");
    }
}

// A time, step or output interval that is not finite (1e400 read from a file or typed
// before such numbers were refused) would give a run that never ends: it is refused;
// a row the method does not use, or whose switch is off, does not count.
TEST(RunSpecs, RunStartChecksRefuseTimesAndStepsThatAreNotFinite)
{
    const double Inf = std::numeric_limits<double>::infinity();
    struct Case {
        int method;
        double start, finish;
        int row;      // the row given the value, -1 none
        double value;
        int switchOn; // for a switchable row
        const char* refusal;
    };
    const std::vector<Case> cases = {
        {MethodEuler, 0, Inf, -1, 0, 0, "Start and finish time must be finite."},
        {MethodRungeKutta4, -Inf, 5, -1, 0, 0, "Start and finish time must be finite."},
        {MethodVode, 0, Inf, -1, 0, 0, "Start and finish time must be finite."},
        {MethodBdf, 0, Inf, -1, 0, 0, "Start and finish time must be finite."},
        {MethodRkf, 0, 5, RowMaxStep, Inf, 1, "Stepsizes must be finite."},
        {MethodRkf, 0, 5, RowMaxStep, Inf, 0, nullptr},
        {MethodVode, 0, 5, RowInitialStep, Inf, 1, "Stepsizes must be finite."},
        {MethodBdf, 0, 5, RowInitialStep, Inf, 1, "Stepsizes must be finite."},
        {MethodEuler, 0, 5, RowMaxStep, Inf, 1, nullptr},
        {MethodEuler, 0, 5, RowComInterval, Inf, 1, "The output interval must be finite."},
        {MethodBdf, 0, 5, RowComInterval, -Inf, 1, "The output interval must be finite."},
        {MethodVode, 0, 5, RowComInterval, Inf, 0, nullptr},
    };
    for (const Case& c : cases) {
        RunSpecification specs = RunSpecification::defaults();
        specs.method = c.method;
        specs.startTime = c.start;
        specs.finishTime = c.finish;
        if (c.row >= 0) {
            specs.row(c.row).value = c.value;
            specs.row(c.row).switchOn = c.switchOn;
        }
        expectCheck(specs, c.refusal, "row " + std::to_string(c.row));
    }
}
