// Experiments: the parameter file's layout and tolerant reading, the state machine
// with its command mask, and loading and saving whole experiments.
#include "model_test_support.h"

#include "platform/core/file_system.h"
#include "platform/core/message_sink.h"
#include "platform/testing/temp_dir.h"
#include "simulator/experiment_description.h"
#include "simulator/parameter_file.h"
#include "simulator/plot_specs.h"
#include "simulator/run_control.h"
#include "simulator/integration_methods.h"
#include "simulator/run_specs.h"
#include "simulator/run_specs_editor.h"
#include "simulator/simulator_state.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using modeltest::cell;
using modeltest::codeFile;

namespace {

/// Loads a model without touching the status capture of the test.
void loadModelText(const std::string& text)
{
    ASSERT_EQ(LoadCodeText(text), 0) << LastCodeFileReport();
    modeltest::resetRunFlags();
}

const std::string TypedModel = codeFile({"#DParam \t5", "\t#real\tgain\tk", "\t#int\tcount", "\t#bool\ton",
                                         "\t#string\tlabel", "\t#sampletime\tts", "#DIncond\t2", "\t#real\tx0",
                                         "\t#string\tpath"});

class Experiments : public ::testing::Test {
protected:
    void SetUp() override
    {
        loadModelText(TypedModel);
        RunSpecs() = RunSpecification::defaults();
        ExperimentEdited = 0;
    }
    std::string read(const std::string& name) const { return platform::readFile(dir.path() + "/" + name).value_or("<none>"); }
    void write(const std::string& name, const std::string& text) const
    {
        ASSERT_TRUE(platform::writeFileAtomically(dir.path() + "/" + name, text));
    }

    testsupport::TempDir dir;
    platform::ScriptedMessageSink sink;
    platform::ScopedMessageSink scoped{sink};
    modeltest::StatusCapture status;
};

} // namespace

TEST_F(Experiments, ParameterFileHasItsFixedLayout)
{
    SetVariableValue(KindParameter, 0, 0.1);
    SetVariableValue(KindParameter, 1, 7.9);
    SetVariableValue(KindParameter, 2, -1.0);
    SetStringValue(cell('P', 3), "motor_a");
    Variables().kinds[KindParameter].hasValue[3] = 1;
    SetVariableValue(KindInitial, 0, -2.5e-7);
    EXPECT_EQ(ParameterFileText("msd"), "#Formatver\t3\n#Hclass\tmsd\n#DParam \n"
                                        "\tgain\t0.100000000000000005551115\n\tcount\t7\n\ton\t-1\n\tlabel\t\"motor_a\"\n"
                                        "\tts\n#DIncond\n\tx0\t-2.49999999999999988687028E-07\n\tpath\n");
}

TEST_F(Experiments, EveryValueTheWriterWritesReadsBack)
{
    const std::vector<std::string> texts = {"", "two words", "x", "9lives", "a\\b:c.d"};
    for (const std::string& text : texts) {
        SetVariableValue(KindParameter, 0, 1.0 / 3);
        SetVariableValue(KindParameter, 1, 42);
        SetVariableValue(KindParameter, 2, 1);
        SetStringValue(cell('P', 3), text);
        Variables().kinds[KindParameter].hasValue[3] = 1;
        SetVariableValue(KindParameter, 4, -std::numeric_limits<double>::max());
        SetVariableValue(KindInitial, 0, std::numeric_limits<double>::denorm_min());
        const std::string path = dir.path() + "/e.p";
        ASSERT_EQ(WriteParameterFile(path, "m"), 0);
        const std::string first = read("e.p");
        loadModelText(TypedModel); // all values and flags gone
        ASSERT_EQ(ReadParameterFile(path), 0) << first;
        ASSERT_EQ(ReadInitialConditionFile(path), 0);
        EXPECT_EQ(cell('P', 0), 1.0 / 3);
        EXPECT_EQ(cell('P', 4), -std::numeric_limits<double>::max());
        EXPECT_EQ(cell('I', 0), std::numeric_limits<double>::denorm_min());
        ASSERT_NE(StringOfValue(cell('P', 3)), nullptr);
        EXPECT_EQ(*StringOfValue(cell('P', 3)), text);
        EXPECT_EQ(Variables().kinds[KindInitial].hasValue[1], 0);
        EXPECT_EQ(ParameterFileText("m"), first);
    }
    EXPECT_TRUE(sink.transcript().empty());
}

TEST_F(Experiments, ParameterReaderTakesAliasesAndWarnsOfUnknownNames)
{
    write("e.p", "#Formatver\t3\n#Hclass\tother\n#DParam \n\tk\textra\t2.5\n\tnope1\t1\n\tnope2\t\"s\"\n\tnope3\n"
                 "\tcount\n#DIncond\n\tx0\t3\n");
    SetVariableValue(KindParameter, 1, 9);
    ASSERT_EQ(ReadParameterFile(dir.path() + "/e.p"), 0);
    EXPECT_EQ(cell('P', 0), 2.5);
    EXPECT_EQ(Variables().kinds[KindParameter].hasValue[1], 0); // named without a value
    ASSERT_EQ(sink.transcript().size(), 1u);
    EXPECT_EQ(sink.transcript()[0].lines,
              (std::vector<std::string>{"While reading Parameters or Initial Conditions:",
                                        "warning: 3 parameter names not in model;", "first name is", "nope1"}));
}

// Lines are matched to variables by name in any order; a name that several variables
// carry (as name or alias) names the first of them.
TEST_F(Experiments, ParameterLinesFindTheFirstVariableOfTheirNameInAnyOrder)
{
    loadModelText(codeFile({"#DParam \t4", "\t#real\tp\tshared", "\t#real\tq", "\t#real\tshared\tr", "\t#real\ts",
                            "#DIncond\t1", "\t#real\tx0"}));
    write("e.p", "#Formatver\t3\n#Hclass\tm\n#DParam \n\ts\t4\n\tq\t2\n\tshared\t5\n\tr\t7\n#DIncond\n\tx0\t1\n");
    ASSERT_EQ(ReadParameterFile(dir.path() + "/e.p"), 0);
    EXPECT_EQ(cell('P', 0), 5.0);
    EXPECT_EQ(cell('P', 1), 2.0);
    EXPECT_EQ(cell('P', 2), 7.0);
    EXPECT_EQ(cell('P', 3), 4.0);
    EXPECT_TRUE(sink.transcript().empty());
}

TEST_F(Experiments, ParameterSyntaxErrorsTakeNoValue)
{
    const std::string path = dir.path() + "/e.p";
    const std::string heading = "While reading Parameters or Initial Conditions:";
    struct Case {
        std::string text;
        std::vector<std::string> lines; ///< after the heading and the file
    };
    const std::vector<Case> cases = {
        {"#Formatver\t3\n#Hclass\tm\n#DParam \n\tgain\t1\n", {"error at end of line 4."}},
        {"#Formatver\t3\n#Hclass\tm\n#DParam \n12\t1\n#DIncond\n", {"error in line 4: 12."}},
        {"#Formatver\t3\n#Hclass\tm\n#DParam \n\tgain\t1\t2\n#DIncond\n", {"error in line 4: 2."}},
        {"#Hclass\tm\n", {"error in line 1: #Hclass.", "\"#Formatver\" is meant here"}},
    };
    for (const Case& c : cases) {
        sink.clear();
        SetVariableValue(KindParameter, 0, 5.0);
        EXPECT_EQ(ReadParameterFile((write("e.p", c.text), path)), -1) << c.text;
        EXPECT_EQ(cell('P', 0), 5.0);
        std::vector<std::string> expected = {heading, path};
        expected.insert(expected.end(), c.lines.begin(), c.lines.end());
        ASSERT_EQ(sink.transcript().size(), 1u) << c.text;
        EXPECT_EQ(sink.transcript()[0].lines, expected);
    }
}

// The dialogs refuse a value that is no finite number, and so does the file: "inf", "nan" and
// a number too large for a double where a value stands, a version that is no integer, and for
// an integer variable a value beyond 32 bits, each by its line, its token and the file. A value
// that is no finite number is not saved, since it could not be read back.
TEST_F(Experiments, ValuesThatAreNoFiniteNumbersAreRefusedInTheFileAndNotSaved)
{
    const std::string path = dir.path() + "/e.p";
    const std::string head = "#Formatver\t3\n#Hclass\tm\n#DParam \n";
    const std::string real = "a finite number is meant here";
    struct Case {
        std::string text;
        int kind; ///< the section read
        std::vector<std::string> lines;
    };
    const std::vector<Case> cases = {
        {head + "\tgain\tinf\n#DIncond\n", KindParameter, {"error in line 4: inf.", real}},
        {head + "\tgain\t-INF\n#DIncond\n", KindParameter, {"error in line 4: -INF.", real}},
        {head + "\tgain\t1e400\n#DIncond\n", KindParameter, {"error in line 4: 1e400.", real}},
        {head + "#DIncond\n\tx0\tnan\n", KindInitial, {"error in line 5: nan.", real}},
        {head + "\tcount\t4294967296\n#DIncond\n", KindParameter,
         {"error in line 4: 4294967296.", "an integer within range is meant here"}},
        {"#Formatver\tnan\n#Hclass\tm\n#DParam \n#DIncond\n", KindInitial,
         {"error in line 1: nan.", "an integer within range is meant here"}},
        // A word that begins as a number and reads as none is the value, not a second name of
        // the variable: passed over, it would leave the variable without one.
        {head + "\tgain\t0x1p99999\n#DIncond\n", KindParameter, {"error in line 4: 0x1p99999.", real}},
        {head + "#DIncond\n\tx0\t0x10\n", KindInitial, {"error in line 5: 0x10.", real}},
        {head + "\tgain\t1.5.2\n#DIncond\n", KindParameter, {"error in line 4: 1.5.2.", real}},
        {head + "\tgain\t-.e\n#DIncond\n", KindParameter, {"error in line 4: -.e.", real}},
    };
    for (const Case& c : cases) {
        sink.clear();
        SetVariableValue(KindParameter, 0, 5.0);
        SetVariableValue(KindInitial, 0, 6.0);
        write("e.p", c.text);
        EXPECT_EQ(c.kind == KindParameter ? ReadParameterFile(path) : ReadInitialConditionFile(path), -1) << c.text;
        EXPECT_EQ(cell('P', 0), 5.0);
        EXPECT_EQ(cell('I', 0), 6.0);
        std::vector<std::string> expected = {"While reading Parameters or Initial Conditions:", path};
        expected.insert(expected.end(), c.lines.begin(), c.lines.end());
        ASSERT_EQ(sink.transcript().size(), 1u) << c.text;
        EXPECT_EQ(sink.transcript()[0].lines, expected);
    }
    // A number too small for a double is (nearly) 0, which is what it means.
    write("e.p", head + "\tgain\t1e-400\n#DIncond\n");
    EXPECT_EQ(ReadParameterFile(path), 0);
    EXPECT_EQ(cell('P', 0), 0.0);

    write("e.p", "earlier");
    sink.clear();
    SetVariableValue(KindInitial, 0, std::numeric_limits<double>::infinity());
    EXPECT_EQ(WriteParameterFile(path, "m"), -1);
    ASSERT_EQ(sink.transcript().size(), 1u);
    EXPECT_EQ(sink.transcript()[0].lines,
              (std::vector<std::string>{"A value that is not a finite number can not be saved:", "x0", path}));
    EXPECT_EQ(read("e.p"), "earlier");
}

// "inf" and "nan" are names, not reserved words: where a line's name stands they are names,
// where its value stands numbers. A value of the wrong type is an error of its line.
TEST_F(Experiments, NamesAreNamesAndValuesMustHaveTheVariablesType)
{
    loadModelText(codeFile({"#DParam \t3", "\t#real\tinf", "\t#real\tnan", "\t#string\tlabel", "#DIncond\t0"}));
    SetVariableValue(KindParameter, 0, -7.5);
    SetVariableValue(KindParameter, 1, 2.5);
    SetStringValue(cell('P', 2), "motor_a");
    Variables().kinds[KindParameter].hasValue[2] = 1;
    const std::string path = dir.path() + "/e.p";
    ASSERT_EQ(WriteParameterFile(path, "m"), 0);
    EXPECT_EQ(read("e.p"), "#Formatver\t3\n#Hclass\tm\n#DParam \n\tinf\t-7.5\n\tnan\t2.5\n\tlabel\t\"motor_a\"\n#DIncond\n");
    const std::size_t pool = Variables().strings.size();
    for (int round = 0; round < 3; ++round) {
        SetVariableValue(KindParameter, 0, 0.0);
        ASSERT_EQ(ReadParameterFile(path), 0);
        EXPECT_EQ(cell('P', 0), -7.5);
        EXPECT_EQ(cell('P', 1), 2.5);
        EXPECT_EQ(*StringOfValue(cell('P', 2)), "motor_a");
    }
    EXPECT_EQ(Variables().strings.size(), pool); // reading again does not grow the texts
    EXPECT_TRUE(sink.transcript().empty());

    const std::string head = "#Formatver\t3\n#Hclass\tm\n#DParam \n";
    const std::vector<std::pair<std::string, std::string>> wrong = {
        {head + "\tnan\t\"text\"\n#DIncond\n", "error in line 4: \"text\"."},
        {head + "\tlabel\t1\n#DIncond\n", "error in line 4: 1."},
        {head + "\tlabel\tINF\n#DIncond\n", "error in line 4: INF."},
    };
    for (const auto& [text, message] : wrong) {
        sink.clear();
        write("e.p", text);
        EXPECT_EQ(ReadParameterFile(path), -1) << text;
        ASSERT_EQ(sink.transcript().size(), 1u) << text;
        EXPECT_EQ(sink.transcript()[0].lines.at(2), message);
        EXPECT_EQ(cell('P', 1), 2.5);
        EXPECT_EQ(*StringOfValue(cell('P', 2)), "motor_a");
    }
}

TEST(SimulatorStateMachine, TransitionsFollowTheTable)
{
    platform::ScriptedMessageSink sink;
    platform::ScopedMessageSink scoped(sink);
    struct Case {
        int from, event, to;
    };
    const std::vector<Case> cases = {
        {0, 1, 1}, {0, 12, 0}, {0, 2, 4}, {1, 2, 2}, {1, 10, 1}, {1, 3, 4}, {2, 6, 3}, {2, 5, 3},
        {2, 3, 2}, {2, 7, 4}, {3, 6, 3}, {3, 7, 2}, {3, 5, 4}, {4, 2, 4},
    };
    for (const Case& c : cases) {
        SimulatorState = c.from;
        sink.clear();
        PostSimulatorEvent(c.event);
        EXPECT_EQ(SimulatorState, c.to) << c.from << " + " << c.event;
        EXPECT_EQ(sink.transcript().size(), c.to == StateBroken ? 1u : 0u);
        if (c.to == StateBroken) {
            EXPECT_EQ(CommandMask, 0xC00EDCCFu);
        }
    }
    SimulatorState = StateModelLoaded;
    ExperimentEdited = 0;
    SetTitle("msd", "");
    PostSimulatorEvent(EventEditsCleared);
    EXPECT_EQ(CommandMask, 0xC00EF9CFu);
    SetTitle("msd", "exp1");
    InterruptRequested = 1;
    PostSimulatorEvent(EventEditsCleared);
    EXPECT_EQ(CommandMask, 0xC13FFDDFu | 0x00400000u | 0x00000200u);
    InterruptRequested = 0;
    EXPECT_EQ(TitleText(), "Orvanta  Simulator - msd, exp: exp1");
}

TEST_F(Experiments, SaveLoadSaveGivesIdenticalFilesAndAFailedLoadKeepsTheModel)
{
    const std::string models = dir.path() + "/models";
    ASSERT_TRUE(platform::makeDirectories(models));
    write("models/msd.l", TypedModel);
    write("models/bad.l", "#Hclass\tbad\n#DParam \tx\n");
    SimulatorState = StateNoModel;
    ASSERT_EQ(LoadModel(models, "msd"), 1);
    EXPECT_EQ(SimulatorState, StateModelLoaded);
    SetVariableValue(KindParameter, 0, 0.5);
    SetStringValue(cell('P', 3), "a label");
    Variables().kinds[KindParameter].hasValue[3] = 1;
    RunSpecs().method = MethodRkf;
    RunSpecs().finishTime = 12.5;
    MarkEdited();
    const std::string expdir = dir.path() + "/exp";
    ASSERT_EQ(SaveExperiment(expdir, "trial"), 1);
    EXPECT_EQ(ExperimentEdited, 0);
    const std::string p = read("exp/trial.p"), r = read("exp/trial.r"), u = read("exp/trial.u");
    EXPECT_NE(u, "<none>");

    // A model that fails to load leaves the good one in place, values and all.
    EXPECT_EQ(LoadModel(models, "bad"), 0);
    EXPECT_EQ(sink.transcript().back().lines,
              (std::vector<std::string>{"Errors in code file, model could not be loaded.", models + "/bad.l",
                                        "parse error in line 2: '#DParam'"}));
    EXPECT_EQ(cell('P', 0), 0.5);
    // A model without a code file, or one that cannot be read, is named with the file looked for.
    EXPECT_EQ(LoadModel(models, "gone1"), 0);
    EXPECT_EQ(sink.transcript().back().lines, (std::vector<std::string>{"Can not read model.", models + "/gone1.l"}));
    ASSERT_TRUE(platform::makeDirectories(models + "/dir1.l"));
    EXPECT_EQ(LoadModel(models, "dir1"), 0);
    EXPECT_EQ(sink.transcript().back().lines, (std::vector<std::string>{"Can not read model.", models + "/dir1.l"}));
    EXPECT_EQ(cell('P', 0), 0.5);
    RunSpecs() = RunSpecification::defaults();
    ASSERT_EQ(LoadExperiment(expdir, "trial"), 1);
    EXPECT_EQ(RunSpecs().finishTime, 12.5);
    ASSERT_EQ(SaveExperiment(expdir, "trial"), 1);
    EXPECT_EQ(read("exp/trial.p"), p);
    EXPECT_EQ(read("exp/trial.r"), r);
    EXPECT_EQ(read("exp/trial.u"), u);
    EXPECT_EQ(TitleText(), "Orvanta  Simulator - msd, exp: trial");

    // A write that fails keeps the edited mark.
    MarkEdited();
    ASSERT_TRUE(platform::makeDirectories(dir.path() + "/locked/other.p"));
    EXPECT_EQ(SaveExperiment(dir.path() + "/locked", "other"), 0);
    EXPECT_EQ(ExperimentEdited, 1);
    ASSERT_FALSE(status.texts.empty());
    EXPECT_EQ(status.texts.back(), "Experiment not saved!");
    EXPECT_EQ(sink.transcript().back().lines[0], "Can not open for writing:");
}

TEST_F(Experiments, QuittingAsksOnlyWhatApplies)
{
    RunsAllowed = 1;
    Simulating = 0;
    ExperimentEdited = 1;
    sink.queueAnswers({platform::BoxAnswer::Cancel});
    EXPECT_FALSE(CanQuit(false));
    ASSERT_EQ(sink.transcript().size(), 1u);
    EXPECT_EQ(sink.transcript()[0].lines[0], "The current experiment has been edited.");
    EXPECT_EQ(RunsAllowed, 1);
    EXPECT_TRUE(CanQuit(false));
    EXPECT_EQ(RunsAllowed, 0);
    RunsAllowed = 1;
    ExperimentEdited = 0;
}

TEST_F(Experiments, RunSpecsEditorAppliesOnlyConvertedEditsOfTheCurrentMethod)
{
    RunSpecsEditor editor;
    editor.refresh(true);
    EXPECT_EQ(editor.title(), "SIM: Run Specifications Editor");
    EXPECT_EQ(editor.field(RowStep).text, "0.01");
    EXPECT_FALSE(editor.field(RowAbsErr).enabled);
    EXPECT_TRUE(editor.flagBox(RowComInterval).enabled);
    EXPECT_FALSE(editor.flagBox(RowInitialStep).enabled);

    editor.fieldChanged(RowStep, "0.02x");
    EXPECT_EQ(editor.title(), "SIM: Run Specifications Editor (edited)");
    EXPECT_FALSE(editor.changeMethod(MethodBdf)); // the step does not convert
    EXPECT_EQ(sink.transcript().back().lines, (std::vector<std::string>{"Error in entered value at:", "x", "Try again..."}));
    EXPECT_EQ(editor.copy().method, MethodRungeKutta4);
    editor.fieldChanged(RowStep, "0.02");
    editor.fieldChanged(-2, "7");
    EXPECT_TRUE(editor.timeRangeChanged());
    editor.fieldChanged(-2, "8"); // later edits of the range count too
    ASSERT_EQ(editor.ok(false), 1);
    EXPECT_EQ(RunSpecs().row(RowStep).value, 0.02);
    EXPECT_EQ(RunSpecs().finishTime, 8.0);
    EXPECT_EQ(PlotSpecs().x.max, 8.0);
    EXPECT_EQ(ExperimentEdited, 1);

    // Switching to BDF shows its rows; an edit of another method is dropped on OK.
    editor.refresh(true);
    ASSERT_TRUE(editor.changeMethod(MethodBdf));
    EXPECT_TRUE(editor.field(RowAbsErr).enabled);
    EXPECT_FALSE(editor.field(RowAlgAbsErr).enabled); // the model has no algebraic loops
    EXPECT_FALSE(editor.field(RowMaxStep).enabled);
    editor.setFlag(RowMaxStep, true);
    EXPECT_TRUE(editor.field(RowMaxStep).enabled);
    editor.fieldChanged(RowMaxStep, "0.25");
    EXPECT_EQ(editor.ok(true), 0); // refused while simulating
    ASSERT_EQ(editor.ok(false), 1);
    EXPECT_EQ(RunSpecs().method, MethodBdf);
    EXPECT_EQ(RunSpecs().row(RowMaxStep).value, 0.25);
    EXPECT_EQ(RunSpecs().row(RowMaxStep).switchOn, 1);
    EXPECT_EQ(RunSpecs().settings[MethodRungeKutta4][RowStep].value, 0.02);

    // Import reads another file into the copies only.
    write("other.r", "#Hclass\tm\n#Iprocsr\t0\n#Imethod\t0\n#Tstart \t1\n#Tfinish\t2\n#Tstep  \t0.5\n");
    ASSERT_EQ(editor.importFile(dir.path() + "/other.r"), 1);
    EXPECT_TRUE(editor.edited());
    EXPECT_EQ(editor.field(RowStep).text, "0.5");
    EXPECT_EQ(RunSpecs().method, MethodBdf);
    editor.cancel();
    EXPECT_EQ(editor.copy().method, MethodBdf);
    ExperimentEdited = 0;
}

TEST_F(Experiments, WiredRunMovesTheStateMachineThroughBusy)
{
    std::vector<int> states;
    WireRunEngine();
    SimulatorState = StateModelLoaded;
    SetTitle("typed", "");
    for (int kind : {KindParameter, KindInitial})
        for (int i = 0; i < Variables().kinds[kind].count; ++i)
            SetVariableValue(kind, i, 0.0);
    WindowHooks().applyMask = [&](std::uint32_t) { states.push_back(SimulatorState); };
    RequestRun();
    RunUntilIdle();
    WindowHooks() = {};
    SetRunPhaseListener(nullptr);
    RunOutput() = {};
    EXPECT_EQ(states, (std::vector<int>{StateBusy, StateModelLoaded}));
    EXPECT_EQ(CommandMask, 0xC00EF9CFu);
}

// A section lists each value by its variable's type; an integer beyond the range of int
// (or not a number) is shown as it stands instead of being converted.
TEST_F(Experiments, TheDescriptionListsEachValueByItsType)
{
    SetVariableValue(KindParameter, 0, 2.5);
    SetVariableValue(KindParameter, 1, -7.9);
    SetVariableValue(KindParameter, 2, 0.4);
    SetStringValue(cell('P', 3), "motor");
    SetVariableValue(KindParameter, 4, 0.01);
    std::vector<std::string> lines;
    WriteVariableSection(lines, KindParameter, "Parameters:");
    EXPECT_EQ(lines, (std::vector<std::string>{"", "Parameters:", "===========", "", "gain  \t2.5", "count \t-7",
                                               "on    \tFALSE", "label \tmotor", "ts    \t0.01", ""}));
    const std::vector<std::pair<double, std::string>> integers = {
        {1e12, "count \t1000000000000"}, {-3e9, "count \t-3000000000"}, {2147483647.5, "count \t2147483647"},
        {std::numeric_limits<double>::infinity(), "count \tinf"}, {std::nan(""), "count \tnan"}};
    for (const auto& [value, line] : integers) {
        cell('P', 1) = value;
        lines.clear();
        WriteVariableSection(lines, KindParameter, "Parameters:");
        EXPECT_EQ(lines[5], line) << value;
    }
}
