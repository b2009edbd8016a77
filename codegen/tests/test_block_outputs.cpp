// The two block outputs of a submodel, the S-function and the submodel function:
// the crank example as checked in, both run in small C hosts under the sanitizers
// against the crank's own equations and against each other, and the shapes of
// S-functions without states, without inputs or with initial equations.
#include "codegen/equation_file_reader.h"
#include "codegen/generation.h"
#include "codegen/sfunction_writer.h"
#include "codegen/submodel_extraction.h"
#include "codegen/submodel_writer.h"
#include "codegen/tests/program_runner.h"

#include "platform/core/file_system.h"
#include "platform/core/message_sink.h"
#include "platform/testing/temp_dir.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <sstream>

using codegentest::compileAndRunFiles;
using codegentest::ProgramRun;

namespace {

const std::string kFixtures = CODEGEN_FIXTURES;
const std::string kExample = SFUNCTION_EXAMPLE;
const std::string kHosts = CODEGEN_TEST_SOURCES;

/// The lines "name: v v v" a host prints, by name.
std::map<std::string, std::vector<double>> summary(const std::string& output)
{
    std::map<std::string, std::vector<double>> values;
    std::istringstream in(output);
    for (std::string line; std::getline(in, line);) {
        const std::size_t colon = line.find(':');
        if (colon == std::string::npos || line.find(" = ") != std::string::npos)
            continue;
        std::istringstream numbers(line.substr(colon + 1));
        std::vector<double>& list = values[line.substr(0, colon)];
        for (double v; numbers >> v;)
            list.push_back(v);
    }
    return values;
}

/// The crank's right-hand side as written by hand.
std::array<double, 2> crank(const std::array<double, 2>& x, double u)
{
    return {x[1], u - 0.25 * 9.8 * std::sin(x[0]) - 0.05 * x[1]};
}

class BlockTest : public ::testing::Test {
protected:
    GenerationRequest crankRequest(const std::string& out) const
    {
        return GenerationRequest{kFixtures + "/crankrg1.e", kFixtures + "/crank", "crank", out, 0};
    }

    /// Compiles the host with the S-function and runs it with the arguments.
    ProgramRun runSFunctionHost(const std::string& directory, const std::string& function,
                                const std::string& arguments)
    {
        ProgramRun run = compileAndRunFiles(directory, std::string(codegentest::kSanitizerFlags) + " -I'" + kExample + "'",
                                            function + ".c '" + kHosts + "/sfunction_host.c'", arguments);
        EXPECT_EQ(run.compileStatus, 0) << run.compileOutput;
        EXPECT_EQ(run.runStatus, 0) << run.errors;
        EXPECT_EQ(run.errors, "");
        return run;
    }

    /// Reads the model text, gives every parameter the value (as an experiment would),
    /// extracts the path and writes the S-function.
    bool writeSFunction(const std::string& sections, double parameterValue, const std::string& path,
                        const std::string& name, const std::string& out)
    {
        GeneratorModel model;
        const std::string file = dir.write("shape1.e", "#Hclass\tshape\n#Hversion\t1\n\n" + sections);
        if (!ReadEquationFile(model, file))
            return false;
        for (const auto& parameter : model.parameters)
            parameter->value = parameterValue;
        std::unique_ptr<GeneratorModel> block = ExtractSubmodel(model, path);
        return block && WriteSFunctionFiles(*block, out, name);
    }

    testsupport::TempDir dir;
    platform::ScriptedMessageSink sink;
    platform::ScopedMessageSink scoped{sink};
};

TEST_F(BlockTest, GeneratedCrankEqualsTheCheckedInExampleAndIsStrictAnsiC)
{
    const std::string out = dir.mkdir("out");
    std::vector<int> progress;
    ASSERT_TRUE(GenerateSFunction(crankRequest(out), BlockRequest{"crank", "crankmod"},
                                  [&](int percent) { progress.push_back(percent); }));
    EXPECT_EQ(progress, (std::vector<int>{0, 20, 30, 40, 50, 70, 80, 100}));
    for (const char* file : {"crankmod.c", "xxmexfcs.c", "xxmextps.h"})
        EXPECT_EQ(testsupport::readText(out + "/" + file), testsupport::readText(kExample + "/" + file))
            << file << " differs from the example";
    EXPECT_EQ(codegentest::runCommand(std::string("cd '") + out + "' && '" + CODEGEN_C_COMPILER + "' " +
                                      codegentest::kStrictFlags + " -I'" + kExample + "' -c '" + kExample +
                                      "/crankmod.c' -o crankmod.o > compile.txt 2>&1"),
              0)
        << testsupport::readText(out + "/compile.txt");
    EXPECT_TRUE(sink.transcript().empty());
}

// The example's callbacks in a host: sizes, first outputs, a Runge-Kutta run against
// the crank's own equations and against the submodel function of the same model,
// outputs fresh straight after a step, and terminate twice before starting again.
TEST_F(BlockTest, CrankRunsInAHostAsItsEquationsAndAsTheSubmodelFunction)
{
    const std::string host = dir.mkdir("host");
    for (const char* file : {"crankmod.c", "xxmexfcs.c", "xxmextps.h"})
        dir.write(std::string("host/") + file, testsupport::readText(kExample + "/" + file));

    // outputs asked before any derivative are those of the states given
    std::map<std::string, std::vector<double>> first = summary(runSFunctionHost(host, "crankmod", "0 0.01 0 0 0.25 -0.5").output);
    EXPECT_EQ(first["first"], std::vector<double>{0.25});

    const int steps = 400;
    const double h = 0.01, offset = 0.3, amplitude = 0.8;
    ProgramRun run = runSFunctionHost(host, "crankmod", "400 0.01 0.3 0.8");
    std::map<std::string, std::vector<double>> values = summary(run.output);
    EXPECT_EQ(values["sizes"], (std::vector<double>{2, 0, 1, 1, 1, 1, 0, 0, 0, 0}));
    EXPECT_EQ(values["sample"], (std::vector<double>{0, 0}));
    EXPECT_EQ(values["x0"], (std::vector<double>{0, 0}));
    EXPECT_EQ(values["first"], std::vector<double>{0}) << "zero states give a zero output";
    ASSERT_EQ(run.blocks.size(), static_cast<std::size_t>(steps + 1));

    // the same steps over the hand-written right-hand side
    std::array<double, 2> x{0, 0};
    double t = 0;
    double largest = 0;
    for (int k = 0; k <= steps; ++k) {
        const codegentest::OutputBlock& block = run.blocks[static_cast<std::size_t>(k)];
        ASSERT_NEAR(block.time, t, 1e-12);
        EXPECT_NEAR(block.values.at("s0"), x[0], 1e-13) << "t = " << t;
        EXPECT_NEAR(block.values.at("s1"), x[1], 1e-13) << "t = " << t;
        EXPECT_EQ(block.values.at("y0"), block.values.at("s0")) << "the output is the angle";
        largest = std::max(largest, std::fabs(x[0]));
        const double u = offset + amplitude * std::sin(t);
        std::array<double, 2> q1, q2, q3, q4, stage;
        std::array<double, 2> r = crank(x, u);
        for (int i = 0; i < 2; ++i)
            q1[i] = r[i] * h, stage[i] = x[i] + q1[i] / 2;
        r = crank(stage, u);
        for (int i = 0; i < 2; ++i)
            q2[i] = r[i] * h, stage[i] = x[i] + q2[i] / 2;
        r = crank(stage, u);
        for (int i = 0; i < 2; ++i)
            q3[i] = r[i] * h, stage[i] = x[i] + q3[i];
        r = crank(stage, u);
        for (int i = 0; i < 2; ++i)
            q4[i] = r[i] * h, x[i] = x[i] + q1[i] / 6 + q2[i] / 3 + q3[i] / 3 + q4[i] / 6;
        t += h;
    }
    EXPECT_GT(largest, 0.1) << "the crank moves";
    ASSERT_EQ(values["last"].size(), 2u);
    EXPECT_EQ(values["fresh"], std::vector<double>{values["last"][0]}) << "outputs straight after the last step";
    EXPECT_EQ(values["again"], std::vector<double>{0}) << "initialized again after terminating twice";
    EXPECT_EQ(values["again_rates"], (std::vector<double>{0, offset}));

    // the submodel function of the same crank takes the same steps
    const std::string function = dir.mkdir("function");
    ASSERT_TRUE(GenerateSubmodelFunction(crankRequest(function), BlockRequest{"crank", "crankfn"}));
    ProgramRun block = compileAndRunFiles(function, std::string(codegentest::kSanitizerFlags) + " -I.",
                                          "xxsubmod.c xxmodel.c xxinteg.c xxfuncs.c '" + kHosts + "/submodel_host.c'",
                                          "400 0.3 0.8");
    ASSERT_EQ(block.compileStatus, 0) << block.compileOutput;
    ASSERT_EQ(block.runStatus, 0) << block.errors;
    ASSERT_EQ(block.blocks.size(), run.blocks.size());
    for (std::size_t k = 0; k < block.blocks.size(); ++k)
        for (const char* name : {"s0", "s1", "y0"})
            EXPECT_NEAR(block.blocks[k].values.at(name), run.blocks[k].values.at(name), 1e-13)
                << name << " at step " << k;
    EXPECT_TRUE(sink.transcript().empty());
}

// A gain without states, a lag whose level comes from an initial equation (without and
// with an input), and a parameter that six digits would change.
TEST_F(BlockTest, SFunctionsWithoutStatesOrInputsOrWithInitialEquations)
{
    const double k = 0.30000000000000004;
    struct Case {
        const char* what;
        std::string path;
        std::string sections;
        std::string arguments;
        std::vector<std::pair<std::string, bool>> texts; ///< in the file or not
        std::map<std::string, std::vector<double>> values;
    } cases[] = {
        {"no states", "g",
         "#DParam \t1\n\t#real\tg`k\n\n#DVariable\t2\n\t#real\tg`u\tsrc`y\n\t#real\tg`y\tdst`u\n\n"
         "#EInitial\t0\n\n#Einputs\t0\n\n#Edynamic\t1\n    V1 = V0 * P0\n\n#Eoutputs\t0\n",
         "0 0.01 0.5 0",
         {{"memcpy", false}, {"\tMyS = S;\n\tmdlDerivatives (xx_rates, x, u, S, tid);\n", true},
          {"\txx_parameters [0] = 0.30000000000000004;\t\t/* g`k */\n", true}},
         {{"first", {0.5 * k}}, {"sizes", {0, 0, 1, 1, 1, 1, 0, 0, 0, 0}}}},
        {"no inputs, an initial equation", "l",
         "#DParam \t1\n\t#real\tl`k\n\n#DIncond\t1\n\t#real\tl`x\n\n#DVariable\t2\n\t#real\tl`level\n"
         "\t#real\tl`y\tdst`u\n\n#Dstate_ind\t1\n\t#real\tl`x\n\n#DRate_ind\t1\n\t#real\tl`dx\n\n"
         "#EInitial\t1\n    V0 = P0 * 2\n\n#Einputs\t0\n\n#Edynamic\t2\n    R0 = V0 - s0\n    V1 = s0\n\n#Eoutputs\t0\n",
         "0 0.01 0 0",
         {{"\t/* the initial equations */\n\t/*l`level = l`k * 2; */\n\tV[0] = P[0] * 2;\n", true},
          {"static part again", false}},
         {{"again_rates", {2 * k}}, {"sizes", {1, 0, 0, 1, 1, 1, 0, 0, 0, 0}}}},
        {"an input and an initial equation", "l",
         "#DParam \t1\n\t#real\tl`k\n\n#DIncond\t1\n\t#real\tl`x\n\n#DVariable\t3\n\t#real\tl`level\n"
         "\t#real\tl`y\tdst`u\n\t#real\tl`u\tsrc`y\n\n#Dstate_ind\t1\n\t#real\tl`x\n\n#DRate_ind\t1\n\t#real\tl`dx\n\n"
         "#EInitial\t1\n    V0 = P0 * 2\n\n#Einputs\t0\n\n#Edynamic\t3\n    R0 = V0 + V2 - s0\n    V1 = s0\n\n"
         "#Eoutputs\t0\n",
         "0 0.01 0.25 0",
         {{"\tV[2] = u[0];\t\t/* l`u */\n\n\t/* the static part again: it may depend on the inputs */\n"
           "\t/*l`level = l`k * 2; */\n\tV[0] = P[0] * 2;\n\n\t/* dynamic equations */\n",
           true}},
         {{"again_rates", {2 * k + 0.25}}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string out = dir.mkdir(std::string("shape_") + std::to_string(&c - cases));
        ASSERT_TRUE(writeSFunction(c.sections, k, c.path, "shape", out)) << sink.transcriptLines().front();
        const std::string text = testsupport::readText(out + "/shape.c");
        for (const auto& [piece, present] : c.texts)
            EXPECT_EQ(text.find(piece) != std::string::npos, present) << piece << "\n" << text;
        std::map<std::string, std::vector<double>> values = summary(runSFunctionHost(out, "shape", c.arguments).output);
        for (const auto& [name, expected] : c.values)
            EXPECT_EQ(values[name], expected) << name;
    }
}

TEST_F(BlockTest, SFunctionsThatCannotBeWrittenWriteNothing)
{
    GeneratorModel model;
    ASSERT_TRUE(ReadEquationFile(model, kFixtures + "/crankrg1.e"));
    std::unique_ptr<GeneratorModel> block = ExtractSubmodel(model, "crank");
    ASSERT_TRUE(block);
    for (const char* name : {"2crank", "crank-mod", "", "a b", "../x", "int", "while", "_Bool", "typeof", "cr\xc3\xa4nk"}) {
        SCOPED_TRACE(name);
        sink.clear();
        testsupport::TempDir out;
        EXPECT_FALSE(WriteSFunctionFiles(*block, out.path(), name));
        EXPECT_EQ(sink.transcriptLines().front(), "The function name " + std::string(name) + " is not a C name");
        EXPECT_EQ(platform::listDirectory(out.path())->size(), 2u) << "only . and ..";
    }
    // a model whose host vector would not hold its initial conditions
    sink.clear();
    block->initialConditions.pop_back();
    testsupport::TempDir out;
    EXPECT_FALSE(WriteSFunctionFiles(*block, out.path(), "crankmod"));
    EXPECT_EQ(sink.transcriptLines().front(), "The states, rates and initial conditions of the model do not pair up");
    EXPECT_EQ(platform::listDirectory(out.path())->size(), 2u);

    // the default function name names the file and the S-function
    const std::string named = dir.mkdir("named");
    ASSERT_TRUE(GenerateSFunction(crankRequest(named), BlockRequest{"crank"}));
    EXPECT_NE(testsupport::readText(named + "/Noname.c").find("#define S_FUNCTION_NAME Noname\n"), std::string::npos);
}

// Two inputs and three outputs: the demonstration's vectors hold them all, and it runs
// clean under the address sanitizer.
TEST_F(BlockTest, SubmodelFunctionDemonstrationSizesItsVectorsByTheCounts)
{
    const std::string model = dir.write(
        "mimo1.e", "#Hclass\tmimo\n#Hversion\t1\n\n#DParam \t1\n\t#real\tblk`k\n\n#DIncond\t1\n\t#real\tblk`x\n\n"
                   "#DVariable\t4\n\t#real\tblk`a\tsrc`a\n\t#real\tblk`b\tsrc`b\n\t#real\tblk`sum\tout`sum\n"
                   "\t#real\tblk`prod\tout`prod\n\n#Dstate_ind\t1\n\t#real\tblk`x\tout`x\n\n"
                   "#DRate_ind\t1\n\t#real\tblk`dx\n\n"
                   "#EInitial\t0\n\n#Einputs\t0\n\n"
                   "#Edynamic\t4\n    V2 = V0 + V1\n    V3 = V0 * V1\n    R0 = P0 * (V2 - s0)\n\n#Eoutputs\t0\n");
    dir.write("mimo.r", "#Hclass\tmimo\n#Iprocsr\t0\n#Imethod\t2\n#Tstart \t0\n#Tfinish\t0.5\n#Tstep  \t0.1\n");
    const std::string out = dir.mkdir("out");
    std::vector<int> progress;
    ASSERT_TRUE(GenerateSubmodelFunction(GenerationRequest{model, dir.file("mimo"), "mimo", out, 0},
                                         BlockRequest{"blk", "blk"}, [&](int p) { progress.push_back(p); }));
    EXPECT_EQ(progress, (std::vector<int>{0, 20, 30, 40, 50, 55, 60, 65, 70, 75, 80, 85, 90, 95, 100}));
    for (const std::string& file : SubmodelFileNames())
        EXPECT_TRUE(platform::fileExists(out + "/" + file)) << file;
    const std::string main = testsupport::readText(out + "/xxmain.c");
    EXPECT_NE(main.find("\tXXDouble u [2];\n\tXXDouble y [3];\n"), std::string::npos) << main;

    ProgramRun run = compileAndRunFiles(out, codegentest::kSanitizerFlags,
                                        "xxmain.c xxsubmod.c xxmodel.c xxinteg.c xxfuncs.c");
    ASSERT_EQ(run.compileStatus, 0) << run.compileOutput;
    ASSERT_EQ(run.runStatus, 0) << run.errors;
    std::istringstream lines(run.output);
    int count = 0;
    for (std::string line; std::getline(lines, line); ++count) {
        double u0, u1, sum, product, x, t;
        ASSERT_EQ(std::sscanf(line.c_str(), "u = %lf, u = %lf, y = %lf, y = %lf, y = %lf, t = %lf", &u0, &u1, &sum,
                              &product, &x, &t),
                  6)
            << line;
        EXPECT_NEAR(sum, u0 + u1, 1e-5) << line;
        EXPECT_NEAR(product, u0 * u1, 1e-5) << line;
    }
    EXPECT_EQ(count, 5);
}

} // namespace
