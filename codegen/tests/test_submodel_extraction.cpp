// Submodel extraction: which quantities and equations a submodel takes, how its
// references are renumbered, which boundary quantities become inputs and outputs,
// and the submodels that cannot become a block of their own.
#include "codegen/equation_file_reader.h"
#include "codegen/submodel_extraction.h"

#include "platform/core/message_sink.h"
#include "platform/testing/temp_dir.h"

#include <gtest/gtest.h>

namespace {

std::vector<std::string> texts(const EquationList& equations)
{
    std::vector<std::string> out;
    for (const auto& equation : equations)
        out.push_back(equation->text);
    return out;
}

std::vector<std::string> firstNames(const std::vector<VariableRecord*>& records)
{
    std::vector<std::string> out;
    for (const VariableRecord* record : records)
        out.push_back(record->firstName());
    return out;
}

std::vector<std::string> firstNames(const VariableList& records)
{
    std::vector<std::string> out;
    for (const auto& record : records)
        out.push_back(record->firstName());
    return out;
}

class ExtractionTest : public ::testing::Test {
protected:
    /// Reads an equation file of the given declaration sections and dynamic section, its other
    /// equation sections empty.
    void read(std::string sections)
    {
        sections.insert(sections.find("#Edynamic"), "#EInitial\t0\n\n#Einputs\t0\n\n");
        const std::string file =
            dir.write("model1.e", "#Hclass\tmodel\n#Hversion\t1\n\n" + sections + "\n#Eoutputs\t0\n");
        ASSERT_TRUE(ReadEquationFile(source, file)) << sink.transcriptLines().front();
    }

    std::string firstMessage() const
    {
        std::vector<std::string> lines = sink.transcriptLines();
        return lines.empty() ? std::string() : lines.front();
    }

    testsupport::TempDir dir;
    GeneratorModel source;
    platform::ScriptedMessageSink sink;
    platform::ScopedMessageSink scoped{sink};
};

TEST(SubmodelMembership, APathHoldsTheNamesOfWholeLevelsBelowIt)
{
    struct Case {
        const char* name;
        const char* path;
        bool inside;
    } cases[] = {
        {"p`x", "p", true},          {"pump`x", "p", false},    {"amp`x", "p", false},
        {"top`p`x", "p", false},     {"p", "p", false},         {"p`q`x", "p`q", true},
        {"p`qr`x", "p`q", false},    {"p`q.e", "p", true},      {"anything", "", true},
        {"drive`la`p.e", "drive`la", true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(InSubmodel(c.name, c.path), c.inside) << c.name << " in " << c.path;
}

// The crank inside its test rig: the port that copies the motor's output dissolves,
// the crank's equations and quantities are renumbered from 0, the angle it computes
// is the output and the motor's output it reads is the input.
TEST_F(ExtractionTest, CrankOfTheRigBecomesABlockWithOneInputAndOneOutput)
{
    ASSERT_TRUE(ReadEquationFile(source, std::string(CODEGEN_FIXTURES) + "/crankrg1.e"));
    source.startTime = 0.5;
    source.stepSize = 0.02;
    source.integrationMethod = "RungeKutta4";
    std::unique_ptr<GeneratorModel> crank = ExtractSubmodel(source, "crank");
    ASSERT_TRUE(crank);
    EXPECT_TRUE(sink.transcript().empty());

    EXPECT_EQ(texts(crank->dynamicEquations),
              (std::vector<std::string>{"V[0] = s[0];", "R[0] = s[1];", "V[2] = sin (V[0]);", "V[3] = V[2] * P[0];",
                                        "V[4] = P[1] * R[0];", "V[5] = V[3] * P[2];", "V[6] = V[1] - V[5];",
                                        "R[1] = V[6] - V[4];"}));
    EXPECT_TRUE(crank->inputEquations.empty()) << "the motor's source stays outside";
    EXPECT_TRUE(crank->outputEquations.empty()) << "the copy equation is dissolved";
    EXPECT_EQ(firstNames(crank->parameters), (std::vector<std::string>{"crank`g", "crank`d", "crank`k"}));
    EXPECT_EQ(crank->variables.size(), 7u);
    EXPECT_EQ(crank->independentStates.size(), 2u);
    EXPECT_EQ(crank->independentRates.size(), 2u);
    EXPECT_EQ(crank->initialConditions.size(), 2u);
    for (char kind : {'P', 'V', 's', 'R', 'Z'})
        for (std::size_t i = 0; i < crank->list(kind)->size(); ++i)
            EXPECT_EQ((*crank->list(kind))[i]->ordinal, static_cast<std::int32_t>(i)) << kind;
    EXPECT_EQ(crank->dynamicEquations[7]->target, crank->independentRates[1].get());

    EXPECT_EQ(firstNames(crank->outputs), (std::vector<std::string>{"crank`angle"}));
    EXPECT_EQ(firstNames(crank->inputs), (std::vector<std::string>{"motor`out"}));
    EXPECT_EQ(crank->inputs[0]->names, (std::vector<std::string>{"motor`out", "crank`torque"}));
    EXPECT_EQ(crank->startTime, 0.5);
    EXPECT_EQ(crank->stepSize, 0.02);
    EXPECT_EQ(crank->integrationMethod, "RungeKutta4");
    EXPECT_EQ(crank->modelName, "crankrg1");

    // the source lost its copy equation and the port's name; a second extraction
    // sees the same block
    EXPECT_TRUE(source.outputEquations.empty());
    EXPECT_EQ(source.variables[8]->names, std::vector<std::string>{});
    std::unique_ptr<GeneratorModel> again = ExtractSubmodel(source, "crank");
    ASSERT_TRUE(again);
    EXPECT_EQ(texts(again->dynamicEquations), texts(crank->dynamicEquations));
    EXPECT_EQ(firstNames(again->inputs), firstNames(crank->inputs));
}

// "p" is not "pump" or "amp": each takes only its own quantities and equations.
TEST_F(ExtractionTest, SubmodelsWithSharedLettersKeepApart)
{
    read("#DParam \t3\n\t#real\tp`k\n\t#real\tpump`k\n\t#real\tamp`k\n\n"
         "#DVariable\t3\n\t#real\tp`x\tpump`in\n\t#real\tpump`y\tamp`in\n\t#real\tamp`z\n\n"
         "#Edynamic\t3\n    V0 = P0\n    V1 = V0 * P1\n    V2 = V1 * P2\n");
    struct Case {
        const char* path;
        std::vector<std::string> parameters;
        std::vector<std::string> equations;
        std::vector<std::string> inputs;
        std::vector<std::string> outputs;
    } cases[] = {
        {"p", {"p`k"}, {"V[0] = P[0];"}, {}, {"p`x"}},
        {"pump", {"pump`k"}, {"V[1] = V[0] * P[0];"}, {"p`x"}, {"pump`y"}},
        {"amp", {"amp`k"}, {"V[1] = V[0] * P[0];"}, {"pump`y"}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        std::unique_ptr<GeneratorModel> part = ExtractSubmodel(source, c.path);
        ASSERT_TRUE(part) << firstMessage();
        EXPECT_EQ(firstNames(part->parameters), c.parameters);
        EXPECT_EQ(texts(part->dynamicEquations), c.equations);
        EXPECT_EQ(firstNames(part->inputs), c.inputs);
        EXPECT_EQ(firstNames(part->outputs), c.outputs);
    }
}

// A boundary state is an output unless it is the hidden state of a port; an empty path
// holds everything and has no boundary; a path no name has holds nothing.
TEST_F(ExtractionTest, BoundaryStatesEmptyPathsAndUnknownPaths)
{
    read("#DParam \t1\n\t#real\tm`k\n\n"
         "#DIncond\t2\n\t#real\tm`x\n\t#real\tm`p_indep_state\n\n"
         "#DVariable\t1\n\t#real\tm`y\n\n"
         "#Dstate_ind\t2\n\t#real\tm`x\tshaft`angle\n\t#real\tm`p_indep_state\tload`p_indep_state\n\n"
         "#DRate_ind\t2\n\t#real\tm`dx\n\t#real\tm`dp\n\n"
         "#Edynamic\t3\n    V0 = s0 * P0\n    R0 = s1\n    R1 = -V0\n");
    std::unique_ptr<GeneratorModel> m = ExtractSubmodel(source, "m");
    ASSERT_TRUE(m);
    EXPECT_EQ(firstNames(m->candidates), (std::vector<std::string>{"m`x", "m`p_indep_state"}));
    EXPECT_EQ(firstNames(m->outputs), (std::vector<std::string>{"m`x"}));
    EXPECT_TRUE(m->inputs.empty());

    std::unique_ptr<GeneratorModel> all = ExtractSubmodel(source, "");
    ASSERT_TRUE(all);
    EXPECT_EQ(texts(all->dynamicEquations), texts(source.dynamicEquations));
    EXPECT_EQ(all->variables.size(), 1u);
    EXPECT_TRUE(all->candidates.empty());

    std::unique_ptr<GeneratorModel> none = ExtractSubmodel(source, "nowhere");
    ASSERT_TRUE(none);
    EXPECT_TRUE(none->dynamicEquations.empty());
    EXPECT_TRUE(none->parameters.empty());
    EXPECT_TRUE(none->inputs.empty() && none->outputs.empty());
    EXPECT_TRUE(sink.transcript().empty());
}

// What would write wrong code is refused with a message and no model.
TEST_F(ExtractionTest, SubmodelsThatCannotBeBlocksAreRefused)
{
    struct Case {
        const char* what;
        std::string sections;
        std::string message;
        std::string detail;
    } cases[] = {
        {"a state whose rate is outside",
         "#DIncond\t1\n\t#real\ta`x\n\n#Dstate_ind\t1\n\t#real\ta`x\n\n#DRate_ind\t1\n\t#real\tb`dx\n\n"
         "#Edynamic\t1\n    R0 = -s0\n",
         "The states, rates and initial conditions of the submodel do not pair up", "unpaired: a`x"},
        {"a state whose initial condition is outside",
         "#DIncond\t2\n\t#real\ta`x\n\t#real\tb`y\n\n#Dstate_ind\t2\n\t#real\ta`x\n\t#real\tb`y\ta`y\n\n"
         "#DRate_ind\t2\n\t#real\ta`dx\n\t#real\ta`dy\n\n#Edynamic\t2\n    R0 = -s0\n    R1 = -s1\n",
         "The states, rates and initial conditions of the submodel do not pair up", "unpaired: b`y"},
        {"a quantity only an outside equation computes",
         "#DParam \t1\n\t#real\tb`k\n\n#DVariable\t2\n\t#real\ta`y\n\t#real\ta`z\n\n"
         "#Edynamic\t2\n    V0 = P0\n    V1 = V0 * 2\n",
         "The submodel a uses quantities outside it", "in equation: a`y = b`k"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        sink.clear();
        read(c.sections);
        std::unique_ptr<GeneratorModel> part = ExtractSubmodel(source, "a");
        EXPECT_FALSE(part);
        std::vector<std::string> lines = sink.transcriptLines();
        ASSERT_GE(lines.size(), 2u);
        EXPECT_EQ(lines.front(), c.message);
        EXPECT_EQ(lines.back().rfind(c.detail, 0), 0u) << lines.back();
    }
}

// A reference that finds no quantity of its number would write index -1: the
// extraction ends instead.
TEST_F(ExtractionTest, AReferenceWithoutItsQuantityEndsTheExtraction)
{
    read("#DParam \t1\n\t#real\ta`k\n\n#DVariable\t1\n\t#real\ta`y\tb`y\n\n#Edynamic\t1\n    V0 = P0 * 2\n");
    source.parameters[0]->ordinal = 4; // a record that is not where its number says
    EXPECT_FALSE(ExtractSubmodel(source, "a"));
    std::vector<std::string> lines = sink.transcriptLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "There is an error in the determination of the submodel variables");
    EXPECT_EQ(lines[1], "no quantity P[0] in: a`y = a`k * 2;");
}

} // namespace
