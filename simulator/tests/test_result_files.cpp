// Plot specifications and the run's result files: the ".u" file read and written,
// the data file written during runs and read back, and the MATLAB files.
#include "model_test_support.h"

#include "platform/core/file_system.h"
#include "platform/core/message_sink.h"
#include "platform/testing/temp_dir.h"
#include "simulator/integration_methods.h"
#include "simulator/plot_specs.h"
#include "simulator/run_control.h"
#include "simulator/run_output.h"
#include "simulator/run_specs.h"
#include "simulator/simulator_state.h"

#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <fstream>

#include <sys/resource.h>

using modeltest::cell;
using modeltest::codeFile;

namespace {

// s' = 1 with v = 2 s, both plottable.
const std::string RampModel = codeFile({"#DVariable\t1", "\t#real\tv", "#Dstate_ind\t1", "\t#real\tx\tx`PLOT",
                                        "#DRate_ind\t1", "\t#real\tdx", "#Edynamic\t2", "\tmov\tR0\t1.000000e+00",
                                        "\tmul\tV0\t2.000000e+00\ts0"});

class ResultFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(LoadCodeText(RampModel), 0);
        modeltest::resetRunFlags();
        RunSpecs() = RunSpecification::defaults();
        ResetPlotSpecs(PlotSpecs());
        PlotSpecsInForce = 0;
        Experiment().modelName = "ramp";
        Experiment().experimentName = "trial";
        Experiment().experimentDirectory = dir.path() + "/ramp";
        ModelLoadErrors = 0;
        RunsAllowed = 1;
        InstallRunOutput();
    }
    void TearDown() override { RunOutput() = {}; }

    PlotCurve curve(const char* name, int display, int store, int matlab, const std::string& label = "")
    {
        PlotCurve c;
        EXPECT_TRUE(FindPlotVariable(name, c.kind, c.variable, c.nameIndex)) << name;
        c.display = display;
        c.store = store;
        c.matlab = matlab;
        c.label = label;
        return c;
    }
    int readText(const std::string& text, PlotSpecification& into)
    {
        const std::string path = dir.path() + "/t.u";
        EXPECT_TRUE(platform::writeFileAtomically(path, text));
        return ReadPlotSpecs(path, into);
    }
    void runTo(double finish, int continuing = 0)
    {
        RunSpecs().finishTime = finish;
        continuing ? ContinueCommand() : RequestRun();
        RunUntilIdle();
    }

    testsupport::TempDir dir;
    platform::ScriptedMessageSink sink;
    platform::ScopedMessageSink scoped{sink};
    modeltest::StatusCapture status;
};

} // namespace

TEST_F(ResultFiles, PlotSpecFileRoundTripsWhatTheWriterWrites)
{
    PlotSpecification& specs = PlotSpecs();
    specs.curves[0] = curve("x`PLOT", 1, 1, 0, "ramp x");
    specs.curves[1] = curve("v", 1, 0, 1, "two words");
    specs.curves[2] = curve("v", 0, 1, 1, ""); // MATLAB flag with an empty label
    specs.curves[3].fromFile = 1;
    specs.curves[3].fileName = "C:\\data/in.txt";
    specs.curves[4].kind = 4;
    specs.curves[4].variable = 7; // a variable the model no longer has
    for (int i = 0; i < 5; ++i)
        specs.curves[i].index = i;
    const std::string text = PlotSpecFileText(specs, "ramp");
    EXPECT_EQ(text, "#Formatver\t3\n#Hclass\tramp\n#Oxaxis\t#Otime\t0\t5\t0\n"
                    "#Oyaxis\t0\tx`PLOT\t0\t1\t0\t1\t1\t0\t0\tramp_x\n"
                    "#Oyaxis\t0\tv\t0\t1\t1\t1\t0\t0\t1\ttwo_words\n"
                    "#Oyaxis\t0\tv\t0\t1\t2\t0\t1\t0\t1\t\n"
                    "#Oyaxis\t1\tC:\\data/in.txt\t0\t1\t3\t0\t0\t1\t0\t\n"); // a fresh curve is post-scaled
    PlotSpecification read;
    ASSERT_EQ(readText(text, read), 0);
    EXPECT_EQ(read.curves[0].label, "ramp x");
    EXPECT_EQ(read.curves[1].label, "two_words");
    EXPECT_EQ(read.curves[3].fileName, "C:\\data/in.txt");
    EXPECT_EQ(read.stored, 2);
    EXPECT_EQ(PlotSpecFileText(read, "ramp"), text);
    EXPECT_TRUE(sink.transcript().empty());
}

TEST_F(ResultFiles, PlotSpecReaderHandlesOldVersionsAndStopsAtErrors)
{
    PlotSpecification read;
    ASSERT_EQ(readText("#Formatver\t1\n#Hclass\n#Oxaxis\tv\t0\t10\n#Oyaxis\tx\t-1\t1\t0\t1\t0\n", read), 0);
    EXPECT_EQ(read.xIsTime, 0);
    EXPECT_EQ(read.x.kind, KindVariable);
    EXPECT_EQ(read.curves[0].kind, KindState);
    EXPECT_EQ(read.curves[0].scaling, 0);

    std::string many = "#Formatver\t3\n#Hclass\tramp\n";
    for (int i = 0; i < 27; ++i)
        many += "#Oyaxis\t0\tv\t0\t1\t0\t1\t0\t0\t0\n";
    EXPECT_EQ(readText(many, read), -1);
    EXPECT_EQ(read.curves[25].kind, KindVariable);
    EXPECT_EQ(sink.transcript().back().lines.at(2), "error in line 29: #Oyaxis.");

    sink.clear();
    ASSERT_EQ(readText("#Formatver\t3\n#Hclass\tramp\n#Oyaxis\t0\tgone1\t0\t1\t0\t1\t0\t0\t0\n"
                       "#Oyaxis\t0\tgone2\t0\t1\t0\t1\t0\t0\t0\n#Oyaxis\t0\tv\t0\t1\t0\t1\t0\t0\t0\n",
                       read),
              0);
    EXPECT_EQ(read.curves[2].kind, KindVariable);
    EXPECT_EQ(sink.transcript().back().lines,
              (std::vector<std::string>{"While reading Plot or Stick specifications:",
                                        "warning: 2 variable-name combinations not in model;", "first name is", "gone1"}));
}

// "#Formatver nan" once made an integer of NaN. A number that is none of its kind (no finite
// real where a real stands, no integer within range where an integer does) is refused by its
// line, its token and the file, whatever field it stands in.
TEST_F(ResultFiles, PlotSpecNumbersOfTheWrongKindAreRefusedByLineAndFile)
{
    const std::string path = dir.path() + "/t.u";
    const std::string real = "a finite number is meant here";
    const std::string integer = "an integer within range is meant here";
    const std::string head = "#Formatver\t3\n#Hclass\tramp\n";
    const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
        {"#Formatver\tnan\n#Hclass\tramp\n#Oxaxis\t#Otime\t0\t1\t0\n", {"error in line 1: nan.", integer}},
        {"#Formatver\t3.5\n#Hclass\tramp\n", {"error in line 1: 3.5.", integer}},
        {head + "#Oxaxis\t#Otime\t-inf\t1\t0\n", {"error in line 3: -inf.", real}},
        {head + "#Oxaxis\tv\t0\t1e400\t0\n", {"error in line 3: 1e400.", real}},
        {head + "#Oxaxis\t#Otime\t0\t1\t0\n#Oyaxis\t0\tv\tNAN\t1\t0\t1\t0\t0\t0\n", {"error in line 4: NAN.", real}},
        {head + "#Oyaxis\t0\tv\t0\t1\t0\t99999999999\t0\t0\t0\n", {"error in line 3: 99999999999.", integer}},
        {head + "#Oyaxis\t0\tv\t0\t1\t0\t1\t0\t2.5\t0\n", {"error in line 3: 2.5.", integer}},
    };
    for (const auto& [text, lines] : cases) {
        sink.clear();
        PlotSpecification read;
        EXPECT_EQ(readText(text, read), -1) << text;
        std::vector<std::string> expected = {"While reading Plot or Stick specifications:", path};
        expected.insert(expected.end(), lines.begin(), lines.end());
        ASSERT_EQ(sink.transcript().size(), 1u) << text;
        EXPECT_EQ(sink.transcript()[0].lines, expected);
    }
}

TEST_F(ResultFiles, DataFileHoldsTheCommunicationIntervalsSamplesAndContinuesWithoutRepeats)
{
    PlotSpecs().curves[0] = curve("x", 1, 1, 0);
    PlotSpecs().curves[1] = curve("v", 1, 1, 0);
    RunSpecs().method = MethodRungeKutta4;
    RunSpecs().row(RowComInterval).switchOn = 1; // every 0.1 of the 0.01 steps
    runTo(1.0);
    const std::string path = dir.path() + "/ramp/trial.n";
    auto content = ReadDataFileContent(path, true);
    ASSERT_TRUE(content);
    EXPECT_EQ(content->version, 4);
    EXPECT_EQ(content->names, (std::vector<std::string>{"x", "v"}));
    ASSERT_EQ(content->rows.size(), 11u);
    for (std::size_t i = 0; i < content->rows.size(); ++i) {
        EXPECT_NEAR(content->rows[i][0], 0.1 * double(i), 1e-12);
        EXPECT_NEAR(content->rows[i][1], 0.1 * double(i), 1e-12);
        EXPECT_NEAR(content->rows[i][2], 0.2 * double(i), 1e-12);
    }
    EXPECT_EQ(platform::readFile(path)->substr(0, 58), "#Formatver\t4\n#Hclass\tramp\t#Hexpmt\ttrial\n#Nvariables\t2\nx\nv\n");

    runTo(2.0, 1);
    content = ReadDataFileContent(path, true);
    ASSERT_EQ(content->rows.size(), 21u);
    EXPECT_NEAR(content->rows[11][0], 1.1, 1e-12);

    // A file cut in its last row is damaged: it is neither read nor appended to.
    std::string bytes = *platform::readFile(path);
    ASSERT_TRUE(platform::writeFileAtomically(path, bytes.substr(0, bytes.size() - 5)));
    std::vector<std::string> damage;
    EXPECT_FALSE(ReadDataFileContent(path, true, &damage));
    EXPECT_EQ(damage, (std::vector<std::string>{"While reading the numerical data file:", path,
                                                "the rows do not hold 3 numbers each (row 21)."}));
    ASSERT_TRUE(platform::writeFileAtomically(path, bytes.substr(0, bytes.size() - 25)));

    // Appending to a file of other variables needs the user's consent.
    PlotSpecs().curves[1] = PlotCurve{};
    sink.queueAnswers({platform::BoxAnswer::Cancel});
    runTo(3.0, 1);
    EXPECT_EQ(sink.transcript().back().lines[0], "The numerical-output spec's are not consistent with");
    EXPECT_EQ(SimulationTime, 2.0);
    EXPECT_EQ(ReadDataFileContent(path, true)->rows.size(), 20u);
}

// Read Datafile told nothing of a file it could not read. Damaged copies of a written data
// file (cut short, bytes replaced, put in or left out, a value that is no number) and files
// of random bytes are each read whole or refused with the lines that say what is wrong where;
// what is read holds rows of the file's width and finite values only.
TEST_F(ResultFiles, EveryDamagedDataFileIsReadWholeOrRefusedWithWhatIsWrong)
{
    PlotSpecs().curves[0] = curve("x", 1, 1, 0);
    PlotSpecs().curves[1] = curve("v", 1, 1, 0);
    runTo(0.2);
    const std::string path = dir.path() + "/ramp/trial.n";
    const std::string good = *platform::readFile(path);
    const std::size_t header = good.find("v\n") + 2;
    std::vector<std::string> damaged;
    for (std::size_t at = 0; at < good.size(); at += 5)
        damaged.push_back(good.substr(0, at));
    for (std::size_t at = 0; at < header + 9; ++at) {
        for (const char byte : {'\0', 'x', '\n', '9', '\xff'}) {
            std::string text = good;
            text[at] = byte;
            damaged.push_back(text);
        }
        damaged.push_back(good.substr(0, at) + good.substr(at + 1));
        damaged.push_back(good.substr(0, at) + ' ' + good.substr(at));
    }
    std::string nan = good;
    nan.replace(header + 8, 8, std::string("\0\0\0\0\0\0\xf8\x7f", 8));
    damaged.push_back(nan);
    damaged.push_back("#Formatver\t3\n#Hclass\tramp\t#Hexpmt\ttrial\n#Nvariables\t2\nx\nv\n0 0 0\n0.1 nan 0.2\n");
    damaged.push_back("#Formatver\t3\n#Hclass\tramp\t#Hexpmt\ttrial\n#Nvariables\t2\nx\nv\n0 0 0\n0.1 0.1\n");
    unsigned state = 4711;
    for (int n = 0; n < 30; ++n) {
        std::string bytes(std::size_t(1 + n * 7), '\0');
        for (char& c : bytes)
            c = char((state = state * 1103515245u + 12345u) >> 16);
        damaged.push_back(bytes);
    }
    const auto write = [&path](const std::string& text) { std::ofstream(path, std::ios::binary | std::ios::trunc) << text; };
    for (const std::string& text : damaged) {
        write(text);
        std::vector<std::string> damage;
        const std::optional<DataFileContent> content = ReadDataFileContent(path, true, &damage);
        if (!content) {
            ASSERT_GE(damage.size(), 3u) << testing::PrintToString(text);
            EXPECT_EQ(damage[0], "While reading the numerical data file:");
            EXPECT_EQ(damage[1], path);
            continue;
        }
        for (const std::vector<double>& row : content->rows) {
            ASSERT_EQ(row.size(), content->names.size() + 1) << testing::PrintToString(text);
            for (double value : row)
                ASSERT_TRUE(std::isfinite(value)) << testing::PrintToString(text);
        }
    }
    // Some of them, as the user is told.
    const std::vector<std::pair<std::string, std::vector<std::string>>> told = {
        {"", {"error at end of line 1.", "\"#Formatver\" is meant here"}},
        {"#Formatver\tnan\n", {"error in line 1: nan.", "an integer within range is meant here"}},
        {"#Formatver\t4\n#Hclass\tramp\n#Nvariables\t99999\n", {"error in line 3: 99999.", "the file holds fewer names than that"}},
        {nan, {"a value that is not a finite number (row 1)."}},
        {damaged[damaged.size() - 32], {"error in line 7: nan.", "a finite number is meant here"}},
        {good.substr(0, good.size() - 1), {"the rows do not hold 3 numbers each (row 21)."}},
    };
    for (const auto& [text, lines] : told) {
        write(text);
        std::vector<std::string> damage;
        EXPECT_FALSE(ReadDataFileContent(path, true, &damage));
        std::vector<std::string> expected = {"While reading the numerical data file:", path};
        expected.insert(expected.end(), lines.begin(), lines.end());
        EXPECT_EQ(damage, expected);
    }
}

// A disk that fills up while the run writes: the rows still sit in the stream's buffer when
// the run ends, so only the close can tell. The failure is reported and the previous result
// files stay as they were, the MATLAB script with the data it reads although the new run's
// script differs; a run that writes well replaces them and leaves nothing beside.
TEST_F(ResultFiles, FailedWritesKeepThePreviousResultFiles)
{
    PlotSpecs().curves[0] = curve("x", 1, 1, 1);
    RunSpecs().method = MethodEuler;
    RunSpecs().row(RowStep).value = 0.1;
    const std::string data = dir.path() + "/ramp/trial.n";
    const std::string matlab = dir.path() + "/ramp/matlab/trial.d";
    const std::string script = dir.path() + "/ramp/matlab/trial.m";
    runTo(0.2);
    const std::string oldData = platform::readFile(data).value_or("");
    const std::string oldMatlab = platform::readFile(matlab).value_or("");
    const std::string oldScript = platform::readFile(script).value_or("");
    ASSERT_EQ(oldMatlab, " 0 0\n 0.1 0.1\n 0.2 0.2\n");
    ASSERT_EQ(oldScript.find("v = trial"), std::string::npos);
    PlotSpecs().curves[1] = curve("v", 1, 0, 1); // a column more in the next run's MATLAB files

    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit small = saved;
    small.rlim_cur = 512; // room for the MATLAB script, not for either data file of the next run
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    runTo(10.0);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_EQ(SimulationTime, 10.0);
    ASSERT_EQ(sink.transcript().size(), 2u);
    EXPECT_EQ(sink.transcript()[0].lines,
              (std::vector<std::string>{"Warning: an error occurred at writing to data file.", data}));
    EXPECT_EQ(sink.transcript()[1].lines,
              (std::vector<std::string>{"Warning: an error occurred at writing to matlab data file.", matlab}));
    EXPECT_EQ(platform::readFile(data).value_or(""), oldData);
    EXPECT_EQ(platform::readFile(matlab).value_or(""), oldMatlab);
    EXPECT_EQ(platform::readFile(script).value_or(""), oldScript);
    EXPECT_EQ(platform::listDirectory(dir.path() + "/ramp")->size(), 4u); // ".", "..", the data file, matlab

    sink.clear();
    runTo(0.1);
    EXPECT_TRUE(sink.transcript().empty());
    EXPECT_EQ(ReadDataFileContent(data, true)->rows.size(), 2u);
    EXPECT_EQ(platform::readFile(matlab).value_or(""), " 0 0 0\n 0.1 0.1 0.2\n");
    EXPECT_NE(platform::readFile(script).value_or("").find("v = trial(:,3);"), std::string::npos);
    EXPECT_EQ(platform::listDirectory(dir.path() + "/ramp/matlab")->size(), 4u); // the script and the data
}

TEST_F(ResultFiles, MatlabFilesMatchTheirGoldenText)
{
    PlotSpecs().xIsTime = 0;
    PlotSpecs().x = curve("x", 0, 0, 0);
    PlotSpecs().curves[0] = curve("x`PLOT", 1, 0, 1);
    PlotSpecs().curves[1] = curve("v", 1, 0, 1, "vee");
    RunSpecs().method = MethodEuler;
    RunSpecs().row(RowStep).value = 0.1;
    runTo(0.2);
    EXPECT_EQ(platform::readFile(dir.path() + "/ramp/matlab/trial.m").value_or(""),
              "%MATLAB script file, generated by Orvanta Simulator PC Version 2.3 \n"
              "%Generated for model trial\n"
              "%Load corresponding data file:\nload trial.d\n"
              "%Time t:\nt = trial(:,1);\n"
              "%Variable on x-axis:\nx = trial(:,2);\n"
              "%Variables on y-axis:\nx_PLOT = trial(:,3);\nvee = trial(:,4);\n"
              "%Clear garbage\nclear trial\npack\n"
              "disp ('Variables available: t, x, x_PLOT, vee')\n"
              "plot (x, x_PLOT, x, vee)\n");
    EXPECT_EQ(platform::readFile(dir.path() + "/ramp/matlab/trial.d").value_or(""),
              " 0 0 0 0\n 0.1 0.1 0.1 0.2\n 0.2 0.2 0.2 0.4\n");
}

TEST_F(ResultFiles, YAxisInputInterpolatesBetweenItsPairs)
{
    const std::string path = dir.path() + "/in.dat";
    ASSERT_TRUE(platform::writeFileAtomically(path, "0 0\n1 10\n3 -10\n3 5\n"));
    YAxisInput input;
    ASSERT_TRUE(input.open(path));
    const std::vector<std::pair<double, double>> cases = {{0.0, 0.0}, {0.5, 5.0}, {1.0, 10.0}, {2.0, 0.0},
                                                          {2.5, -5.0}, {3.0, 0.0}, {4.0, 0.0}};
    for (const auto& [t, value] : cases)
        EXPECT_DOUBLE_EQ(input.valueAt(t), value) << "t = " << t;

    ASSERT_TRUE(platform::writeFileAtomically(path, "2 7"));
    ASSERT_TRUE(input.open(path));
    EXPECT_EQ(input.valueAt(1.0), 0.0);
    EXPECT_EQ(input.valueAt(2.5), 0.0);
    EXPECT_FALSE(input.open(dir.path() + "/missing.dat"));
    EXPECT_TRUE(input.refusal().empty()) << "a file that cannot be opened is told by the caller";

    // A file that is not pairs of finite numbers throughout is refused where it goes wrong: it
    // would stop the run before it starts, or cut the curve, without a word.
    const struct {
        const char* text;
        std::string place;
        const char* reason;
    } damaged[] = {
        {"nan 1\n", "error in line 1: nan.", "a finite number is meant here"},
        {"1 1\nnan 2\n", "error in line 2: nan.", "a finite number is meant here"},
        {"1 1\n5 inf\n3 3\n", "error in line 2: inf.", "a finite number is meant here"},
        {"1 1\n\n-inf 0\n", "error in line 3: -inf.", "a finite number is meant here"},
        {"0 0\n1 10\nbad 1\n", "error in line 3: bad.", "a finite number is meant here"},
        {"localhost-of-a-machine\n", "error in line 1: localhost-of-a-machine.", "a finite number is meant here"},
        {"0x1p9 1\n", "error in line 1: 0x1p9.", "a finite number is meant here"},
        {"0 0\n1\n", "error at end of line 2.", "the value of the last time is missing"},
        {"", "error at end of line 1.", "the file holds no pair of a time and a value"},
        {"\n  \n", "error at end of line 2.", "the file holds no pair of a time and a value"},
    };
    for (const auto& d : damaged) {
        SCOPED_TRACE(d.text);
        ASSERT_TRUE(platform::writeFileAtomically(path, d.text));
        EXPECT_FALSE(input.open(path));
        EXPECT_EQ(input.refusal(), (std::vector<std::string>{"While reading the Yaxis specification's input file:",
                                                             path, d.place, d.reason}));
    }

    // A displayed file curve whose file is missing: OK refuses the run, Cancel ignores the curve.
    PlotSpecs().curves[0] = curve("x", 1, 1, 0);
    PlotSpecs().curves[1].fromFile = 1;
    PlotSpecs().curves[1].display = 1;
    PlotSpecs().curves[1].fileName = "missing.dat";
    runTo(0.1);
    EXPECT_EQ(sink.transcript().back().lines[0], "Yaxis specification's input file:,");
    EXPECT_EQ(SimulationTime, 0.0);
    sink.queueAnswers({platform::BoxAnswer::Cancel});
    runTo(0.1);
    EXPECT_EQ(SimulationTime, 0.1);
    EXPECT_EQ(PlotSpecs().curves[1].display, 0);

    // A damaged file is told in the box that asks, as a missing one is: Cancel goes on without
    // the curve.
    const std::string ramp = dir.path() + "/ramp/in.dat";
    ASSERT_TRUE(platform::writeFileAtomically(ramp, "0 0\n1 nan\n"));
    PlotSpecs().curves[1].display = 1;
    PlotSpecs().curves[1].fileName = "in.dat";
    sink.clear();
    runTo(0.2);
    ASSERT_FALSE(sink.transcript().empty());
    EXPECT_EQ(sink.transcript().back().kind, platform::BoxKind::Confirm);
    EXPECT_EQ(sink.transcript().back().lines,
              (std::vector<std::string>{"While reading the Yaxis specification's input file:", ramp,
                                        "error in line 2: nan.", "a finite number is meant here"}));
    EXPECT_EQ(SimulationTime, 0.1) << "the run did not start";
    sink.queueAnswers({platform::BoxAnswer::Cancel});
    runTo(0.2);
    EXPECT_EQ(SimulationTime, 0.2);
    EXPECT_EQ(PlotSpecs().curves[1].display, 0);
}
