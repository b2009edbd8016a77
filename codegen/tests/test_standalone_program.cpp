// The generated stand-alone program end to end: generated, compiled as strict ANSI C
// (and with sanitizers), run, and compared with analytic solutions and references.
#include "codegen/generation.h"
#include "codegen/tests/program_runner.h"
#include "modelproc/processed_model_writer.h"
#include "modelproc/record_release.h"
#include "modelproc/tests/class_builder.h"
#include "platform/core/file_system.h"
#include "platform/core/message_sink.h"
#include "platform/testing/temp_dir.h"

#include <gtest/gtest.h>

#include <optional>

#include <cmath>
#include <filesystem>

using codegentest::compileAndRun;
using codegentest::OutputBlock;
using codegentest::ProgramRun;

namespace {

std::string fixture(const std::string& name)
{
    return std::string(CODEGEN_FIXTURES) + "/" + name;
}

using Values = std::vector<std::pair<std::string, std::string>>;

std::string parameterFile(const Values& parameters, const Values& initials)
{
    std::string text = "#Formatver\t3\n#Hclass\tmodel\n#DParam \n";
    for (const auto& [name, value] : parameters)
        text += "\t" + name + "\t" + value + "\n";
    text += "#DIncond\n";
    for (const auto& [name, value] : initials)
        text += "\t" + name + "\t" + value + "\n";
    return text;
}

std::string runFile(int method, const std::string& start, const std::string& finish, const std::string& step)
{
    return "#Hclass\tmodel\n#Iprocsr\t0\n#Imethod\t" + std::to_string(method) + "\n#Tstart \t" + start +
           "\n#Tfinish\t" + finish + "\n#Tstep  \t" + step + "\n#Tcomint\t0\t0.1\n";
}

std::string plotFile(const std::vector<std::string>& curves)
{
    std::string text = "#Formatver\t3\n#Hclass\tmodel\n#Oxaxis\t#Otime\t0\t1\t0\n";
    for (std::size_t i = 0; i < curves.size(); ++i)
        text += "#Oyaxis\t0\t" + curves[i] + "\t0\t1\t" + std::to_string(i) + "\t1\t1\t0\t0\n";
    return text;
}

struct Experiment {
    std::string parameters;
    std::string run;
    std::string plot;
};

/// Generates the program of a model file and an experiment into dir/out.
class ProgramTest : public ::testing::Test {
protected:
    bool generate(const std::string& modelFile, const Experiment& experiment, int simulationOutput)
    {
        GenerationRequest request;
        request.modelFile = modelFile;
        request.experimentBase = dir.file("exp");
        request.experimentName = "exp";
        request.outputDirectory = dir.mkdir("out");
        request.simulationOutput = simulationOutput;
        dir.write("exp.p", experiment.parameters);
        dir.write("exp.r", experiment.run);
        dir.write("exp.u", experiment.plot);
        return bool(GenerateStandAlone(request));
    }

    ProgramRun build(const char* flags)
    {
        ProgramRun run = compileAndRun(dir.file("out"), flags);
        EXPECT_EQ(run.compileStatus, 0) << run.compileOutput;
        EXPECT_EQ(run.runStatus, 0) << run.errors;
        EXPECT_EQ(run.errors, "");
        return run;
    }

    void TearDown() override { release_all(); }

    testsupport::TempDir dir;
    platform::ScriptedMessageSink sink;
    platform::ScopedMessageSink scoped{sink};
};

void expectRelative(double actual, double expected, double tolerance, const std::string& what)
{
    EXPECT_LE(std::fabs(actual - expected), tolerance * std::max(1.0, std::fabs(expected)))
        << what << ": " << actual << " expected " << expected;
}

// x' = -a x from x0: Euler multiplies by 1 - a h per step, RK4 by the Taylor polynomial
// of exp(-a h) to the fourth order; the printed values read back exactly.
TEST_F(ProgramTest, LinearModelFollowsTheGrowthFactorOfEachMethod)
{
    const double a = 0.7, h = 0.05, x0 = 1.5;
    const double ah = a * h;
    struct Case {
        int method;
        double factor;
    } cases[] = {
        {0, 1 - ah},
        {2, 1 - ah + ah * ah / 2 - ah * ah * ah / 6 + ah * ah * ah * ah / 24},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.method);
        ASSERT_TRUE(generate(fixture("linear1.e"),
                             {parameterFile({{"a", "0.7"}}, {{"x", "1.5"}}), runFile(c.method, "0", "2", "0.05"),
                              plotFile({"x", "y"})},
                             1));
        ProgramRun run = build(codegentest::kStrictFlags);
        ASSERT_EQ(run.blocks.size(), 41u) << run.output;
        for (std::size_t k = 0; k < run.blocks.size(); ++k) {
            expectRelative(run.blocks[k].values["x"], x0 * std::pow(c.factor, double(k)), 1e-12,
                           "step " + std::to_string(k));
            EXPECT_EQ(run.blocks[k].values["y"], run.blocks[k].values["x"]);
        }
        expectRelative(run.blocks.back().time, 2.0, 1e-12, "finish time");
    }
    EXPECT_TRUE(sink.transcript().empty()) << sink.transcriptLines().front();
}

// m x'' + c x' + k x = 0 with m = 2 (set through its alias), c = 0.4, k = 8: omega 2,
// damping ratio 0.05; RK4 at h = 0.01 stays within 1e-7 of the exact motion.
TEST_F(ProgramTest, DampedOscillatorRunsCleanUnderSanitizersAndFollowsTheExactMotion)
{
    ASSERT_TRUE(generate(fixture("oscillator1.e"),
                         {parameterFile({{"mass", "2"}, {"c", "0.4"}, {"k", "8"}}, {{"x", "1"}, {"v", "0"}}),
                          runFile(2, "0", "5", "0.01"), plotFile({"x", "v", "energy"})},
                         1));
    for (const char* flags : {codegentest::kStrictFlags, codegentest::kSanitizerFlags}) {
        SCOPED_TRACE(flags);
        ProgramRun run = build(flags);
        ASSERT_EQ(run.blocks.size(), 501u);
        const double zeta = 0.05, omega = 2.0, damped = omega * std::sqrt(1 - zeta * zeta);
        for (const OutputBlock& block : run.blocks) {
            const double t = block.time;
            const double decay = std::exp(-zeta * omega * t);
            const double x = decay * (std::cos(damped * t) + zeta * omega / damped * std::sin(damped * t));
            EXPECT_NEAR(block.values.at("x"), x, 1e-7) << "t = " << t;
            const double v = block.values.at("v");
            EXPECT_NEAR(block.values.at("energy"), 0.5 * 2 * v * v + 0.5 * 8 * x * x, 1e-6);
        }
    }
}

// Every supported function, conditionals over several lines, div, mod and power with
// call operands, a continued line; compared with the same formulas in C++.
TEST_F(ProgramTest, FunctionZooMatchesTheReference)
{
    std::vector<std::string> curves{"clock"};
    const char* names[] = {"step_ramp",  "abs_sign_dly",     "exp_log_2_10",        "pow2_sqrt",   "trig",
                           "inverse_trig", "inverse_hyp",     "div_mod_power",       "conditional", "boolean",
                           "negative_div_mod", "large_div",   "double_minus",        "conditional_operand",
                           "continued", "integer_literals",   "time",                "static_half", "noise"};
    for (const char* name : names)
        curves.push_back(std::string("zoo`") + name);
    std::string plot = plotFile(curves);
    // The first curve's label holds the characters a C format string must escape.
    plot.replace(plot.find("\t0\t0\n"), 5, "\t0\t0\t50%_\"quoted\"\\path?\?=\n");
    ASSERT_TRUE(generate(fixture("zoo3.e"),
                         {parameterFile({{"amplitude", "0.75"}, {"base", "2.5"}, {"fraction", "0.4"}},
                                        {{"clock", "0.3"}}),
                          runFile(0, "0", "1", "0.1"), plot},
                         2));
    for (const char* flags : {codegentest::kStrictFlags, codegentest::kSanitizerFlags}) {
        SCOPED_TRACE(flags);
        ProgramRun run = build(flags);
        ASSERT_EQ(run.blocks.size(), 1u) << run.output;
        std::map<std::string, double>& out = run.blocks[0].values;
        const double t = run.blocks[0].time;
        const double s = out.at("50% \"quoted\"\\path?\?=");
        const double p0 = 0.75, p1 = 2.5, p2 = 0.4;
        expectRelative(s, 1.3, 1e-12, "clock");
        const std::map<std::string, double> expected{
            {"step_ramp", (t < 0.5 ? 0 : 1) + (t < 0.25 ? 0 : t - 0.25)},
            {"abs_sign_dly", s + std::fabs(-s) + (s - 1 < 0 ? -1 : s - 1 == 0 ? 0 : 1)},
            {"exp_log_2_10", std::exp2(s) + std::pow(10, s) + std::log2(p1) + std::log10(p1)},
            {"pow2_sqrt", s * s + std::sqrt(p1) + std::exp(s) + std::log(p1)},
            {"trig", std::sin(s) + std::cos(s) + std::tan(s) + std::sinh(s) + std::cosh(s) + std::tanh(s)},
            {"inverse_trig", std::asin(p2) + std::acos(p2) + std::atan(s) + std::atan2(std::trunc(p1 / s), p1)},
            {"inverse_hyp", std::asinh(s) + std::acosh(p1) + std::atanh(p2)},
            {"div_mod_power", std::trunc(std::sin(s) / 0.25) + std::fmod(p1, s) + std::pow(s, p2)},
            {"conditional", s > 1 ? 1 : (s < 0.5 && !(p0 > 0)) ? 2 : 3},
            {"boolean", 1},
            {"negative_div_mod", -3 + -1},
            {"large_div", 3333333333.0},
            {"double_minus", s},
            {"conditional_operand", (s > 1 ? 2 : 4) * 3},
            {"continued", (((s + p1) + p2) + p0) * (((s - p1) - p2) - p0) / (p1 * p2 + p0) - 1e-3 * s * std::fabs(s)},
            {"integer_literals", 0.25},
            {"time", 2 * t},
            {"static_half", 3.5},
        };
        for (const auto& [name, value] : expected)
            expectRelative(out.at("zoo`" + name), value, 1e-10, name);
        EXPECT_LE(std::fabs(out.at("zoo`noise")), p0);
    }
}

// The model processor's own equation file of x' = -a x, y = x: the program's Euler run
// gives (1 - a h)^n x0.
TEST_F(ProgramTest, ModelProcessorOutputBecomesARunningProgram)
{
    using testsupport::ClassBuilder;
    ClassBuilder b("decay", 4);
    VarRec* a = b.var(CLASS_PARAMETERS, "a");
    b.var(CLASS_INITCONDS, "x");
    VarRec* y = b.var(CLASS_VARIABLES, "y");
    VarRec* x = b.var(BODY_INDEP_STATES, "x");
    VarRec* dx = b.var(BODY_INDEP_RATES, "x_indep_rate");
    b.eq(ClassBuilder::ref(dx, TK_INDEP_RATENAME),
         ClassBuilder::op(TK_MULT, ClassBuilder::neg(ClassBuilder::ref(a, TK_PARAMETERNAME)),
                          ClassBuilder::ref(x, TK_INDEP_STATENAME)));
    b.eq(ClassBuilder::ref(y, TK_VARIABLENAME), ClassBuilder::ref(x, TK_INDEP_STATENAME));
    ASSERT_EQ(ttwrite_code_files(b.cls, dir.path()), 1);
    ASSERT_TRUE(generate(dir.file("decay4.e"),
                         {parameterFile({{"a", "0.3"}}, {{"x", "4"}}), runFile(0, "0", "1", "0.125"),
                          plotFile({"y"})},
                         1));
    ProgramRun run = build(codegentest::kStrictFlags);
    ASSERT_EQ(run.blocks.size(), 9u);
    for (std::size_t k = 0; k < run.blocks.size(); ++k)
        expectRelative(run.blocks[k].values["y"], 4 * std::pow(1 - 0.3 * 0.125, double(k)), 1e-12, "y");
}

// Output none prints nothing; after the run prints one block at the finish time.
TEST_F(ProgramTest, SimulationOutputChoosesWhenTheProgramPrints)
{
    const Experiment experiment{parameterFile({{"a", "1"}}, {{"x", "1"}}), runFile(0, "0", "0.35", "0.1"),
                                plotFile({"x"})};
    ASSERT_TRUE(generate(fixture("linear1.e"), experiment, 0));
    EXPECT_EQ(build(codegentest::kStrictFlags).output, "");
    EXPECT_EQ(testsupport::readText(dir.file("out/xxmain.c")).find("XXGenerateOutput"), std::string::npos);
    ASSERT_TRUE(generate(fixture("linear1.e"), experiment, 2));
    ProgramRun run = build(codegentest::kStrictFlags);
    ASSERT_EQ(run.blocks.size(), 1u);
    // 0.35 is not a whole number of steps: the run ends at the first step past it
    EXPECT_NEAR(run.blocks[0].time, 0.4, 1e-12);
    EXPECT_EQ(run.blocks[0].steps, 5);
}

// Values that six digits would change are written so that they read back exactly.
TEST_F(ProgramTest, NumbersAreWrittenExactly)
{
    ASSERT_TRUE(generate(fixture("linear1.e"),
                         {parameterFile({{"a", "0.30000000000000004"}}, {{"x", "1.2345678901234567"}}),
                          runFile(0, "0.1", "1e-3", "3.3333333333333335e-05"), plotFile({})},
                         0));
    const std::string model = testsupport::readText(dir.file("out/xxmodel.c"));
    EXPECT_NE(model.find("\txx_parameters [0] = 0.30000000000000004;\t\t/* a */\n"), std::string::npos) << model;
    EXPECT_NE(model.find("\txx_states [0] = 1.2345678901234567;\t\t/* x */\n"), std::string::npos);
    const std::string main = testsupport::readText(dir.file("out/xxmain.c"));
    EXPECT_NE(main.find("XXDouble xx_start_time = 0.1;\n"), std::string::npos);
    EXPECT_NE(main.find("XXDouble xx_finish_time = 0.001;\n"), std::string::npos);
    EXPECT_NE(main.find("XXDouble xx_step_size = 3.3333333333333335e-05;\n"), std::string::npos);
}

// An equation may use an element past the declarations: the arrays are long enough
// for it, and the program runs clean under the address sanitizer.
TEST_F(ProgramTest, ArraysHoldEveryElementTheEquationsUse)
{
    const std::string model = dir.write(
        "wide1.e", "#Hclass\twide\n#Hversion\t1\n\n#DIncond\t1\n\t#real\tx\n\n#DVariable\t1\n\t#real\ty\n\n"
                   "#Dstate_ind\t1\n\t#real\tx\n\n#DRate_ind\t1\n\t#real\tdx\n\n#EInitial\t0\n\n#Einputs\t0\n\n"
                   "#Edynamic\t3\n    V6 = s0 * 2.000000e+00\n    R0 = V6 + P2\n    V0 = s0\n\n#Eoutputs\t0\n");
    ASSERT_TRUE(generate(model, {"", runFile(0, "0", "1", "0.5"), plotFile({"x"})}, 2));
    const std::string source = testsupport::readText(dir.file("out/xxmodel.c"));
    EXPECT_NE(source.find("xx_variables = XXNewArray (xx_variables, 8);"), std::string::npos) << source;
    EXPECT_NE(source.find("xx_parameters = XXNewArray (xx_parameters, 4);"), std::string::npos);
    ProgramRun run = build(codegentest::kSanitizerFlags);
    ASSERT_EQ(run.blocks.size(), 1u);
    EXPECT_EQ(run.blocks[0].values.at("x"), 0.0);
}

// A construct the generated code cannot express gives its message and writes nothing.
TEST_F(ProgramTest, RefusedModelsWriteNothing)
{
    struct Case {
        const char* what;
        std::string model;
        std::string message;
    } cases[] = {
        {"algebraic loop", std::string(MODELPROC_GOLDEN) + "/pendulum2.e",
         "Models with algebraic loops are not supported in code generation"},
        {"computed index",
         dir.write("index1.e", "#Hclass\tindex\n#Hversion\t1\n\n#DParam \t1\n\t#real\tn\n\n#DVariable\t2\n"
                               "\t#real\tv[1]\n\t#real\tv[2]\n\n#EInitial\t0\n\n#Einputs\t0\n\n#Edynamic\t3\n"
                               "    V0 = V0 [P0]\n\n#Eoutputs\t0\n"),
         "An element with a computed index is not supported in code generation"},
        {"unknown section",
         dir.write("odd1.e", "#Hclass\todd\n#Hversion\t1\n\n#DParam \t1\n\t#real\tn\n\n#DMystery\t1\n"
                             "\t#real\tq\n\n#Edynamic\t1\n    V0 = P0\n"),
         "Unknown section in Model File"},
        {"step size", fixture("linear1.e"), "The step size must be greater than 0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        sink.clear();
        testsupport::TempDir out;
        dir.write("plain.p", parameterFile({{"a", "1"}}, {{"x", "1"}}));
        dir.write("plain.r", runFile(0, "0", "1", "0"));
        dir.write("plain.u", plotFile({}));
        GenerationRequest request{c.model, dir.file("plain"), "plain", out.path(), 1};
        EXPECT_FALSE(GenerateStandAlone(request));
        ASSERT_FALSE(sink.transcript().empty());
        EXPECT_EQ(sink.transcript().front().lines.front(), c.message);
        EXPECT_EQ(platform::listDirectory(out.path())->size(), 2u) << "only . and ..";
    }
}

TEST_F(ProgramTest, UnwritableDirectoryIsReported)
{
    GenerationRequest request{fixture("linear1.e"), "", "", dir.file("missing/deeper"), 0};
    EXPECT_FALSE(GenerateStandAlone(request));
    std::vector<std::string> lines = sink.transcriptLines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[0], "Can not open for writing:");
    EXPECT_EQ(lines[1], dir.file("missing/deeper/xxtypes.h"));
    EXPECT_EQ(lines.back(), "could not be generated");
}

TEST_F(ProgramTest, DriverWritesTheProgram)
{
    dir.write("exp.p", parameterFile({{"a", "0.5"}}, {{"x", "1"}}));
    dir.write("exp.r", runFile(2, "0", "1", "0.25"));
    dir.write("exp.u", plotFile({"x"}));
    const std::string out = dir.mkdir("driven");
    EXPECT_EQ(codegentest::runCommand(std::string("'") + CODEGEN_DRIVER + "' -experiment '" + dir.file("exp") +
                                      "' -output after '" + fixture("linear1.e") + "' '" + out + "' > " +
                                      dir.file("driver.txt") + " 2>&1"),
              0)
        << testsupport::readText(dir.file("driver.txt"));
    EXPECT_NE(testsupport::readText(out + "/xxmain.c").find("XXRungeKutta4Step ();"), std::string::npos);
    EXPECT_EQ(codegentest::runCommand(std::string("'") + CODEGEN_DRIVER + "' only-one-argument 2> /dev/null"), 2);

    // A line of a vertical tab reads as blank; a file cut short, between two sections or not, or
    // short of an equation, is refused and writes nothing.
    const std::string whole = testsupport::readText(fixture("linear1.e"));
    std::string lacking = testsupport::readText(fixture("oscillator1.e"));
    const std::size_t equation = lacking.find("    R1 = ");
    lacking.erase(equation, lacking.find('\n', equation) + 1 - equation);
    const std::string blanks = dir.write("blanks1.e", "\v\n" + whole);
    const std::string cut = dir.write("cut1.e", whole.substr(0, whole.find("\t#real\tx_indep_rate")));
    const std::string between = dir.write("between1.e", whole.substr(0, whole.find("\n#Edynamic") + 1));
    const std::string less = dir.write("less1.e", lacking);
    for (const auto& [file, rc] : {std::pair{blanks, 0}, std::pair{cut, 1}, std::pair{between, 1}, std::pair{less, 1}}) {
        const std::string to = dir.mkdir(std::filesystem::path(file).stem().string());
        EXPECT_EQ(codegentest::runCommand(std::string("'") + CODEGEN_DRIVER + "' '" + file + "' '" + to + "' > " +
                                          dir.file("driver.txt") + " 2>&1"),
                  rc)
            << testsupport::readText(dir.file("driver.txt"));
        EXPECT_EQ(platform::fileExists(to + "/xxmain.c"), rc == 0);
    }
}

// The driver given an experiment exited 0 and wrote its files with default values when one of
// the experiment's files was missing, garbage or empty. Whatever file of it cannot be read,
// the driver names it, writes nothing and fails.
TEST_F(ProgramTest, DriverFailsAndWritesNothingWhenAFileOfTheExperimentCannotBeRead)
{
    const std::string values = parameterFile({{"a", "0.5"}}, {{"x", "1"}});
    const std::string run = runFile(2, "0", "1", "0.25");
    const std::string plot = plotFile({"x"});
    struct Case {
        const char* experiment;
        std::optional<std::string> parameters, runs, plots;
        std::vector<std::string> said;
    } cases[] = {
        {"none", std::nullopt, std::nullopt, std::nullopt,
         {"These files of the experiment could not be read:", dir.file("none.p"), dir.file("none.r"),
          dir.file("none.u"), "No files were generated."}},
        {"nop", std::nullopt, run, plot, {"These files of the experiment could not be read:", dir.file("nop.p")}},
        {"garbager", values, "#Tstart \t0\nGIF89a\x01\n", plot,
         {"While reading Run Specifications:", "error in line 2: GIF89a\x01.", dir.file("garbager.r")}},
        {"garbageu", values, run, "#Oyaxis\t0\tx\tzero\n",
         {"error in line 1: zero.", "a finite number is meant here", dir.file("garbageu.u")}},
        {"emptyu", values, run, "", {"The file is empty.", dir.file("emptyu.u"), "No files were generated."}},
        {"whole", values, run, plot, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.experiment);
        for (const auto& [extension, text] : {std::pair{".p", c.parameters}, std::pair{".r", c.runs}, std::pair{".u", c.plots}})
            if (text)
                dir.write(std::string(c.experiment) + extension, *text);
        const std::string out = dir.mkdir(std::string("out-") + c.experiment);
        const int rc = codegentest::runCommand(std::string("'") + CODEGEN_DRIVER + "' -experiment '" +
                                               dir.file(c.experiment) + "' '" + fixture("linear1.e") + "' '" + out +
                                               "' > " + dir.file("driver.txt") + " 2>&1");
        const std::string said = testsupport::readText(dir.file("driver.txt"));
        EXPECT_EQ(rc, c.said.empty() ? 0 : 1) << said;
        for (const std::string& line : c.said)
            EXPECT_NE(said.find(line), std::string::npos) << line << " in\n" << said;
        EXPECT_EQ(platform::fileExists(out + "/xxmain.c"), c.said.empty());
        EXPECT_EQ(std::filesystem::is_empty(out), !c.said.empty()) << "nothing at all is written";
    }
}

} // namespace
