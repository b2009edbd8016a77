// The equation-file reader and the experiment readers: what they take, what they
// refuse, and what stays unchanged after a refusal.
#include "codegen/equation_file_reader.h"
#include "codegen/experiment_reader.h"

#include "platform/core/file_system.h"
#include "platform/core/message_sink.h"
#include "platform/testing/temp_dir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <sstream>

namespace {

/// The four equation sections, empty, as the model processor once wrote them for a model without
/// equations; it now leaves them out, and the reader takes both forms.
const std::string EmptyEquationSections = "\n#EInitial\t0\n\n#Einputs\t0\n\n#Edynamic\t0\n\n#Eoutputs\t0\n";

class ReaderTest : public ::testing::Test {
protected:
    std::string pendulum() const
    {
        return platform::readFile(std::string(MODELPROC_GOLDEN) + "/pendulum2.e").value_or("");
    }

    /// The text without the lines from the one beginning with `from` up to the next blank line.
    static std::string withoutSection(std::string text, const std::string& from)
    {
        std::size_t start = text.find(from);
        std::size_t end = text.find("\n\n", start);
        return text.erase(start, end == std::string::npos ? std::string::npos : end + 1 - start);
    }

    std::vector<std::string> messages() const { return sink.transcriptLines(); }

    testsupport::TempDir dir;
    GeneratorModel model;
    platform::ScriptedMessageSink sink;
    platform::ScopedMessageSink scoped{sink};
};

// The model processor's pendulum, its algebraic loop left out: every declaration
// section, the alias of a parameter and an integer parameter are taken.
TEST_F(ReaderTest, DeclarationsOfTheModelProcessorsFileAreRead)
{
    std::string text = withoutSection(pendulum(), "#DAlgloop");
    text = text.substr(0, text.find("\n#EInitial")) + "\n#Edynamic\t2\n    R0 = s1\n    R1 = s0\n\n#Eoutputs\t12\n";
    for (int i = 0; i < 12; ++i)
        text += "    V" + std::to_string(i) + " = s0\n";
    ASSERT_TRUE(ReadEquationFile(model, dir.write("pendulum2.e", text))) << messages().front();
    EXPECT_EQ(model.modelName, "pendulum2");
    ASSERT_EQ(model.parameters.size(), 8u);
    EXPECT_EQ(model.parameters[1]->names, (std::vector<std::string>{"len", "l"}));
    EXPECT_EQ(model.parameters[3]->firstName(), "ip");
    EXPECT_EQ(model.parameters[7]->firstName(), "M[2,2]");
    EXPECT_EQ(model.parameters[7]->ordinal, 7);
    EXPECT_EQ(model.initialConditions.size(), 2u);
    EXPECT_EQ(model.variables.size(), 12u);
    EXPECT_EQ(model.independentStates.size(), 2u);
    EXPECT_EQ(model.independentRates[1]->firstName(), "w_indep_rate");
    EXPECT_TRUE(messages().empty());
}

TEST_F(ReaderTest, EquationLinesAreJoined)
{
    const std::string file = dir.write(
        "joined1.e", "#Hclass\tjoined\n#Hversion\t1\n\n#DParam \t1\n\t#real\tp\n\n#DVariable\t2\n\t#real\ta\n"
                     "\t#real\tb\n\n#Dstate_ind\t1\n\t#real\tx\n\n#DRate_ind\t1\n\t#real\tdx\n\n#EInitial\t0\n\n"
                     "#Einputs\t0\n\n#Edynamic\t17\n"
                     "    R0 = (((s0 + P0) * (s0 - P0)) / ((\\\n      P0 * s0) + P0)) + step(t - 1.000000e+00\\\n"
                     "      )\n"
                     "    V0 = if s0 > 1.000000e+00\n\tthen P0\n\telse s0\n\tfi\n"
                     "    V1 = V0\n\n#Eoutputs\t1\n    V1 = s0\n");
    ASSERT_TRUE(ReadEquationFile(model, file)) << messages().front();
    ASSERT_EQ(model.dynamicEquations.size(), 3u);
    EXPECT_EQ(model.dynamicEquations[0]->text,
              "R[0] = (((s[0] + P[0]) * (s[0] - P[0])) / ((P[0] * s[0]) + P[0])) + XXStep(xx_simulation_time - "
              "1.000000e+00);");
    EXPECT_EQ(model.dynamicEquations[1]->text, "V[0] = ( s[0] > 1.000000e+00\n\t) ? ( P[0]\n\t) : ( s[0]\n\t);");
    EXPECT_EQ(model.dynamicEquations[2]->target, model.variables[1].get());
    ASSERT_EQ(model.outputEquations.size(), 1u);
    EXPECT_TRUE(model.initialEquations.empty());
}

TEST_F(ReaderTest, EmptyModelIsRead)
{
    ASSERT_TRUE(ReadEquationFile(model, dir.write("empty7.e", "#Hclass\tempty\n#Hversion\t7\n" + EmptyEquationSections)));
    EXPECT_EQ(model.modelName, "empty7");
    EXPECT_TRUE(model.parameters.empty());
    EXPECT_TRUE(model.dynamicEquations.empty());
}

// A line of vertical tabs or form feeds is as blank as one of blanks, wherever it stands;
// a UTF-8 byte-order mark at the start is skipped.
TEST_F(ReaderTest, LinesOfAnyBlankCharactersAreBlank)
{
    const std::string file = dir.write("blanks1.e", "\xEF\xBB\xBF#Hclass\tblanks\n\v\n#Hversion\t1\n\f\n#DVariable\t1\n\v\f\n"
                                                    "\t#real\ta\n \v \n#EInitial\t0\n#Einputs\t0\n\f\n"
                                                    "#Edynamic\t1\n    V0 = 1\n\f\n#Eoutputs\t1\n"
                                                    "    V0 = 2\n");
    ASSERT_TRUE(ReadEquationFile(model, file)) << messages().front();
    EXPECT_EQ(model.modelName, "blanks1");
    EXPECT_EQ(model.variables.size(), 1u);
    EXPECT_EQ(model.dynamicEquations.size(), 1u);
    EXPECT_EQ(model.outputEquations.size(), 1u);
}

TEST_F(ReaderTest, MalformedAndRefusedFilesLeaveAnEmptyModel)
{
    const std::string head = "#Hclass\tbad\n#Hversion\t1\n\n#DParam \t1\n\t#real\tp\n\n";
    // Up to the dynamic section, whose header then stands in line 11.
    const std::string early = head + "#DVariable\t1\n\t#real\ta\n#EInitial\t0\n#Einputs\t0\n";
    const std::string rates = head + "#Dstate_ind\t1\n\t#real\tx\n#DRate_ind\t1\n\t#real\tdx\n";
    struct Case {
        const char* what;
        std::string text;
        std::string message;
        std::string where;
    } cases[] = {
        {"algebraic loop", pendulum(), "Models with algebraic loops are not supported in code generation",
         "line 40: '#DAlgloop'"},
        {"computed index of the model processor", withoutSection(pendulum(), "#DAlgloop"),
         "An element with a computed index is not supported in code generation", "pendulum2.e, line 46"},
        {"unknown declaration section", head + "#DMystery\t1\n\t#real\tq\n", "Unknown section in Model File",
         "line 7: '#DMystery'"},
        {"unknown equation section", early + "#Edynamic\t1\n    V0 = P0\n\n#Elater\t1\n    V0 = P0\n",
         "Unknown section in Model File", "line 14: '#Elater'"},
        {"type word", head + "#DVariable\t1\n\t#float\tq\n", "Error in Model File", "line 8: '#float'"},
        {"string quantity", head + "#DVariable\t1\n\t#string\tq\n", "Error in Model File", "line 8: '#string'"},
        {"second section of a kind", head + "#DParam \t1\n\t#real\tq\n", "Error in Model File",
         "line 7: '#DParam'"},
        {"no header", "#DParam \t1\n\t#real\tp\n", "Error in Model File", "line 1: '#DParam'"},
        {"bad equation", early + "#Edynamic\t1\n    V0 = tdly(P0,1)\n",
         "Function \"tdly\" (time-delay) is not supported in code generation", "line 12"},
        {"declaration after the equations", head + EmptyEquationSections + "#DVariable\t1\n\t#real\ta\n",
         "Error in Model File", "line 15: '#DVariable'"},
        // Files cut short, or written wrong.
        {"declarations cut short", head + "#DVariable\t3\n\t#real\ta\n", "Error in Model File",
         "line 9: section #DVariable ends after 1 of its 3 entries"},
        {"declarations missing before the next section",
         head + "#DVariable\t2\n\t#real\ta\n\n#Edynamic\t1\n    V0 = P0\n", "Error in Model File",
         "line 10: section #DVariable ends after 1 of its 2 entries"},
        {"cut before the rates' equations", rates + "#EInitial\t1\n    s0 = P0\n", "Error in Model File",
         "pendulum2.e: no equation computes rate R0 (dx)"},
        // The outputs' variables are named by no other section: a file cut before the last one
        // shows by them.
        {"cut before the outputs' equations",
         head + "#DVariable\t2\n\t#real\ta\n\t#real\tshown\n#Dstate_ind\t1\n\t#real\tx\n#DRate_ind\t1\n"
                "\t#real\tdx\n#EInitial\t0\n#Einputs\t0\n#Edynamic\t2\n    V0 = P0 * s0\n    R0 = -V0\n",
         "Error in Model File", "pendulum2.e: no equation computes variable V1 (shown)"},
        {"sections out of order", head + "#Einputs\t0\n#EInitial\t0\n", "Error in Model File", "line 8: '#EInitial'"},
        {"section written twice", early + "#Edynamic\t1\n    V0 = P0\n#Edynamic\t1\n    V0 = P0\n",
         "Error in Model File", "line 13: '#Edynamic'"},
        {"equations cut after their header", early + "#Edynamic\t4\n", "Error in Model File",
         "line 12: section #Edynamic ends after 0 of its 4 instructions"},
        {"an equation missing", early + "#Edynamic\t3\n    V0 = P0 * 2\n\n#Eoutputs\t0\n", "Error in Model File",
         "line 13: section #Edynamic ends after 1 of its 3 instructions"},
        {"equations of more instructions than counted", early + "#Edynamic\t2\n    V0 = P0\n    V0 = -(P0 + 1)\n",
         "Error in Model File", "line 14: section #Edynamic counts 2 instructions, its equations take 3"},
        {"cut inside a line", early + "#Edynamic\t1\n    V0 = P", "Error in Model File",
         "line 12: the file ends inside this line"},
        {"cut inside a continued equation", early + "#Edynamic\t2\n    V0 = P0 + \\\n",
         "Error in Model File", "line 12: the file ends inside an equation"},
        {"section without its count", head + "#DVariable\n\t#real\ta\n", "Error in Model File", "line 7: '#DVariable'"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        sink.clear();
        const std::string file = dir.write("pendulum2.e", c.text);
        EXPECT_FALSE(ReadEquationFile(model, file));
        std::vector<std::string> lines = messages();
        ASSERT_GE(lines.size(), 2u);
        EXPECT_EQ(lines[0], c.message);
        EXPECT_NE(lines.back().find(c.where), std::string::npos) << lines.back();
        EXPECT_TRUE(model.parameters.empty());
    }
    EXPECT_FALSE(ReadEquationFile(model, dir.file("missing.e")));
}

// Every equation file the model processor wrote for its test models that the generated code can
// express is read, its counts agreeing with its equations; with any one equation taken out, it
// is refused, naming the section that lost it.
TEST_F(ReaderTest, TheModelProcessorsFilesAreReadAndRefusedWithoutOneOfTheirEquations)
{
    int whole = 0;
    for (const auto& entry : std::filesystem::directory_iterator(std::string(MODELPROC_GOLDEN) + "/processing")) {
        if (entry.path().extension() != ".e")
            continue;
        SCOPED_TRACE(entry.path().filename().string());
        const std::string text = platform::readFile(entry.path().string()).value_or("");
        sink.clear();
        if (!ReadEquationFile(model, dir.write("whole1.e", text))) {
            // An algebraic loop or a computed index, which the generated code cannot express.
            EXPECT_NE(messages().front(), "Error in Model File") << messages().back();
            continue;
        }
        ++whole;
        std::vector<std::string> lines;
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        std::string section;
        for (std::size_t first = 0; first < lines.size(); ++first) {
            if (lines[first].rfind("#E", 0) == 0)
                section = lines[first].substr(0, lines[first].find('\t'));
            if (lines[first].rfind("    ", 0) != 0 || lines[first].find(" = ") == std::string::npos)
                continue;
            // The equation's lines: up to the next equation, blank line or section.
            std::size_t end = first + 1;
            while (end < lines.size() && !lines[end].empty() && lines[end][0] != '#' &&
                   !(lines[end].rfind("    ", 0) == 0 && lines[end].find(" = ") != std::string::npos))
                ++end;
            std::string cut;
            for (std::size_t i = 0; i < lines.size(); ++i)
                if (i < first || i >= end)
                    cut += lines[i] + "\n";
            sink.clear();
            EXPECT_FALSE(ReadEquationFile(model, dir.write("cut1.e", cut))) << lines[first];
            const std::vector<std::string> shown = messages();
            ASSERT_EQ(shown.size(), 2u) << lines[first];
            EXPECT_EQ(shown[0], "Error in Model File");
            EXPECT_NE(shown[1].find(": section " + section + " ends after "), std::string::npos) << shown[1];
        }
    }
    EXPECT_GE(whole, 10);
}

/// A model with two parameters (one with an alias) and two initial conditions.
class ExperimentTest : public ReaderTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(ReadEquationFile(
            model, dir.write("model1.e",
                             "#Hclass\tmodel\n#Hversion\t1\n\n#DParam \t2\n\t#real\tmass\tm\n\t#real\tk\n\n"
                             "#DIncond\t2\n\t#real\tx\n\t#real\tv\n\n#DVariable\t2\n\t#real\tforce\n"
                             "\t#real\tpower\n\n#Dstate_ind\t2\n\t#real\tx\n\t#real\tv\n\n#DState_dept\t1\n"
                             "\t#real\tlocked\n\n#EInitial\t0\n\n#Einputs\t0\n\n#Edynamic\t0\n\n"
                             "#Eoutputs\t2\n    V0 = P0\n    V1 = P1\n")));
    }
};

// Values go by name, not by position; a name the model lacks is warned about.
TEST_F(ExperimentTest, ParameterValuesAreMatchedByName)
{
    const std::string file = dir.write("exp.p", "#Formatver\t3\n#Hclass\tmodel\n#DParam \n\tk\t8\n\tgone\t3\n"
                                                "\tm\tmass\t2.5\n\told\t\"text\"\n#DIncond\n\tv\n\tx\t-0.125\n");
    EXPECT_TRUE(ReadParameterValues(model, file));
    EXPECT_EQ(model.parameters[0]->value, 2.5);
    EXPECT_EQ(model.parameters[1]->value, 8);
    EXPECT_EQ(model.initialConditions[0]->value, -0.125);
    EXPECT_EQ(model.initialConditions[1]->value, 0.0);
    EXPECT_EQ(messages(), (std::vector<std::string>{"While reading Parameters or Initial Conditions:",
                                                    "warning: 2 parameter names not in model;", "first name is",
                                                    "gone"}));
}

// A value that is no finite number ("INF", "-inf", "NAN", "1e400") is refused by its line, its
// token and the file, as the simulator refuses it; "inf" and "nan" as names stay names.
TEST_F(ExperimentTest, ValuesThatAreNoFiniteNumbersAreRefusedByLineAndFile)
{
    const std::string head = "#Formatver\t3\n#Hclass\tmodel\n#DParam \n";
    const std::string real = "a finite number is meant here";
    const std::string integer = "an integer within range is meant here";
    struct Case {
        std::string name, text;
        bool (*reader)(GeneratorModel&, const std::string&);
        std::vector<std::string> lines; ///< after the heading and the file
    } cases[] = {
        {"exp.p", head + "\tk\tINF\n#DIncond\n", ReadParameterValues, {"error in line 4: INF.", real}},
        {"exp.p", head + "\tm\t-inf\n#DIncond\n", ReadParameterValues, {"error in line 4: -inf.", real}},
        {"exp.p", head + "#DIncond\n\tx\tNAN\n", ReadParameterValues, {"error in line 5: NAN.", real}},
        {"exp.p", head + "\tk\t1e400\n", ReadParameterValues, {"error in line 4: 1e400.", real}},
        {"exp.r", "#Tstart \t0\n#Tfinish\tinf\n", ReadRunValues, {"error in line 2: inf.", real}},
        {"exp.r", "#Tstep  \t1e309\n", ReadRunValues, {"error in line 1: 1e309.", real}},
        {"exp.r", "#Imethod\t4294967298\n", ReadRunValues, {"error in line 1: 4294967298.", integer}},
        {"exp.u", "#Formatver\tnan\n", ReadOutputSpec, {"error in line 1: nan.", integer}},
        {"exp.u", "#Formatver\t3\n#Oxaxis\t#Otime\t0\tinf\t0\n", ReadOutputSpec, {"error in line 2: inf.", real}},
        {"exp.u", "#Formatver\t3\n#Oyaxis\t0\tforce\t-1\t1\t3\t1\t99999999999\t2\t0\n", ReadOutputSpec,
         {"error in line 2: 99999999999.", integer}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        sink.clear();
        const std::string file = dir.write(c.name, c.text);
        EXPECT_FALSE(c.reader(model, file));
        std::vector<std::string> expected = {"", file};
        expected.insert(expected.end(), c.lines.begin(), c.lines.end());
        ASSERT_EQ(sink.transcript().size(), 1u);
        expected[0] = sink.transcript()[0].lines.at(0);
        EXPECT_EQ(sink.transcript()[0].lines, expected);
        EXPECT_EQ(model.parameters[0]->value, 0.0);
        EXPECT_EQ(model.stepSize, 0.01);
        EXPECT_TRUE(model.outputList.empty());
    }
    sink.clear();
    EXPECT_TRUE(ReadParameterValues(model, dir.write("exp.p", head + "\tinf\t1\n\tk\t1e-400\n#DIncond\n")));
    EXPECT_EQ(model.parameters[1]->value, 0.0) << "too small for a double is 0";
    EXPECT_EQ(messages(), (std::vector<std::string>{"While reading Parameters or Initial Conditions:",
                                                    "warning: 1 parameter name not in model:", "inf"}));
}

TEST_F(ExperimentTest, MalformedParameterFileChangesNothing)
{
    const std::string file =
        dir.write("exp.p", "#Formatver\t3\n#Hclass\tmodel\n#DParam \n\tk\t8\n\tmass\t2,5\n#DIncond\n");
    EXPECT_FALSE(ReadParameterValues(model, file));
    EXPECT_EQ(model.parameters[1]->value, 0.0) << "the line before the error is not applied either";
    EXPECT_EQ(messages(), (std::vector<std::string>{"While reading Parameters or Initial Conditions:", file,
                                                    "error in line 5: 2,5.", "a finite number is meant here"}));
}

TEST_F(ExperimentTest, RunValuesAreFoundByTheirKeys)
{
    struct Case {
        const char* what;
        std::string text;
        const char* method;
        double start, finish, step;
        std::vector<std::string> messages;
    } cases[] = {
        {"Euler", "#Hclass\tmodel\n#Iprocsr\t0\n#Imethod\t0\n#Tstart \t1\n#Tfinish\t3\n#Tstep  \t0.002\n"
                  "#Tcomint\t0\t0.1\n",
         "Euler", 1, 3, 0.002, {}},
        {"RK4 with the step before the times", "#Imethod\t2\n#Tstep  \t0.5\n#Tfinish\t4\n#Tstart \t-1\n",
         "RungeKutta4", -1, 4, 0.5, {}},
        {"variable-step method without a step",
         "#Hclass\tmodel\n#Iprocsr\t0\n#Imethod\t4\n#Tstart \t0\n#Tfinish\t2\n#Iabserr\t1e-05\n#Irelerr\t1e-05\n"
         "#Tstmax \t0\t1\n#Tcomint\t0\t0.1\n",
         "Euler", 0, 2, 0.01,
         {"Only Euler and RK4 are supported as integration methods", "Euler will be used", "--",
          "The run specifications give no step size,", "the step size 0.01 will be used"}},
        {"Adams-Bashfort", "#Imethod\t1\n#Tstart \t0\n#Tfinish\t2\n#Tstep  \t0.25\n", "Euler", 0, 2, 0.25,
         {"Only Euler and RK4 are supported as integration methods", "Euler will be used"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        sink.clear();
        GeneratorModel fresh;
        EXPECT_TRUE(ReadRunValues(fresh, dir.write("exp.r", c.text)));
        EXPECT_EQ(fresh.integrationMethod, c.method);
        EXPECT_EQ(fresh.startTime, c.start);
        EXPECT_EQ(fresh.finishTime, c.finish);
        EXPECT_EQ(fresh.stepSize, c.step);
        EXPECT_EQ(messages(), c.messages);
    }
    sink.clear();
    const std::string soon = dir.write("exp.r", "#Imethod\t2\n#Tstep  \t0.5\n#Tfinish\tsoon\n");
    EXPECT_FALSE(ReadRunValues(model, soon));
    EXPECT_EQ(model.integrationMethod, "Euler");
    EXPECT_EQ(model.stepSize, 0.01);
    EXPECT_EQ(messages(), (std::vector<std::string>{"While reading Run Specifications:", soon, "error in line 3: soon.",
                                                    "a finite number is meant here"}));
}

// A curve whose quantity vanished, a file curve and a dependent state are left out
// with warnings; the curves after them are kept.
TEST_F(ExperimentTest, OutputCurvesAreKeptPastOnesThatCannotBePrinted)
{
    const std::string file = dir.write(
        "exp.u", "#Formatver\t3\n#Hclass\tmodel\n#Oxaxis\tv\t0\t1\t0\n"
                 "#Oyaxis\t0\tvanished\t0\t1\t0\t1\t1\t0\t0\n"
                 "#Oyaxis\t1\tdata.txt\t0\t1\t1\t1\t1\t0\t0\n"
                 "#Oyaxis\t0\tlocked\t0\t1\t2\t1\t1\t0\t0\n"
                 "#Oyaxis\t0\tforce\t-1\t1\t3\t1\t1\t2\t0\tthe_force\n"
                 "#Oyaxis\t0\tm\t0\t1\t4\t1\t1\t0\t1\tmass_kg\n");
    EXPECT_TRUE(ReadOutputSpec(model, file));
    ASSERT_EQ(model.outputList.size(), 3u);
    EXPECT_EQ(model.outputList[0], model.independentStates[1].get()) << "states are found before initial conditions";
    EXPECT_EQ(model.outputList[1], model.variables[0].get());
    EXPECT_EQ(model.variables[0]->label, "the force");
    EXPECT_EQ(model.outputList[2], model.parameters[0].get());
    EXPECT_EQ(model.parameters[0]->label, "mass_kg") << "a MATLAB label keeps its underscores";
    EXPECT_EQ(messages(),
              (std::vector<std::string>{"Warning: Reading from file not supported yet",
                                        "curves read from a file are left out", "--",
                                        "While reading Plot or Stick specifications:",
                                        "warning: 1 variable-name combination not in model:", "vanished", "--",
                                        "Outputs without an array in the generated code are left out;",
                                        "first name is", "locked"}));
}

TEST_F(ExperimentTest, ExperimentNeedsOneReadableFile)
{
    std::vector<std::string> unread;
    EXPECT_FALSE(ReadExperiment(model, dir.file("none"), "none", unread));
    EXPECT_EQ(model.experimentName, "none");
    EXPECT_EQ(unread, (std::vector<std::string>{dir.file("none.p"), dir.file("none.r"), dir.file("none.u")}));
    EXPECT_TRUE(messages().empty()) << "the caller says that the experiment could not be opened";
    dir.write("some.r", "#Imethod\t2\n#Tstep  \t0.5\n");
    EXPECT_TRUE(ReadExperiment(model, dir.file("some"), "some", unread));
    EXPECT_EQ(model.integrationMethod, "RungeKutta4");
    EXPECT_EQ(unread, (std::vector<std::string>{dir.file("some.p"), dir.file("some.u")}));
}

// What an experiment leaves out goes into the program as 0 or a default: every file it could
// not read is listed, an empty one among them, and the parameters and initial conditions that
// have no value are named.
TEST_F(ExperimentTest, WhatTheExperimentDoesNotGiveIsNamed)
{
    const std::string run = "#Hclass\tmodel\n#Imethod\t0\n#Tstep  \t0.5\n";
    const std::string plot = "#Formatver\t3\n#Hclass\tmodel\n#Oxaxis\t#Otime\t0\t1\t0\n";
    const std::string values = "#Formatver\t3\n#Hclass\tmodel\n#DParam \n";
    const std::vector<std::string> noParameters = {"While reading Parameters or Initial Conditions:",
                                                   "warning: 2 parameters without a value, 0 is used:", "mass", "k"};
    const std::vector<std::string> noInitials = {"While reading Parameters or Initial Conditions:",
                                                 "warning: 2 initial conditions without a value, 0 is used:", "x", "v"};
    struct Case {
        const char* what;
        std::optional<std::string> parameters, runs, plots;
        std::vector<std::string> unread;
        std::vector<std::vector<std::string>> boxes;
    } cases[] = {
        {"whole", values + "\tmass\t2\n\tk\t3\n#DIncond\n\tx\t0\n\tv\t1\n", run, plot, {}, {}},
        {"parameter file missing", std::nullopt, run, plot, {dir.file("exp.p")}, {noParameters, noInitials}},
        {"parameter file empty", "", run, plot, {dir.file("exp.p")},
         {{"While reading Parameters or Initial Conditions:", dir.file("exp.p"), "The file is empty."}, noParameters,
          noInitials}},
        {"parameter file damaged", "garbage\n", run, plot, {dir.file("exp.p")},
         {{"While reading Parameters or Initial Conditions:", dir.file("exp.p"), "error in line 1: garbage."},
          noParameters,
          noInitials}},
        {"some values", values + "\tm\t2\n#DIncond\n\tv\t1\n", run, plot, {},
         {{"While reading Parameters or Initial Conditions:", "warning: 1 parameter without a value, 0 is used:", "k"},
          {"While reading Parameters or Initial Conditions:", "warning: 1 initial condition without a value, 0 is used:",
           "x"}}},
        {"run and plot files missing", values + "\tmass\t2\n\tk\t3\n#DIncond\n\tx\t0\n\tv\t1\n", std::nullopt,
         std::nullopt, {dir.file("exp.r"), dir.file("exp.u")}, {}},
        {"plot file empty", values + "\tmass\t2\n\tk\t3\n#DIncond\n\tx\t0\n\tv\t1\n", run, " \n\t\n",
         {dir.file("exp.u")}, {{"While reading Plot or Stick specifications:", dir.file("exp.u"), "The file is empty."}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(ReadEquationFile(model, dir.file("model1.e"))); // no values again
        sink.clear();
        for (const auto& [extension, text] : {std::pair{".p", c.parameters}, std::pair{".r", c.runs}, std::pair{".u", c.plots}}) {
            std::remove(dir.file(std::string("exp") + extension).c_str());
            if (text)
                dir.write(std::string("exp") + extension, *text);
        }
        std::vector<std::string> unread;
        EXPECT_TRUE(ReadExperiment(model, dir.file("exp"), "exp", unread));
        EXPECT_EQ(unread, c.unread);
        ReportValuesNotGiven(model);
        std::vector<std::vector<std::string>> boxes;
        for (const platform::MessageBoxRequest& box : sink.transcript())
            boxes.push_back(box.lines);
        EXPECT_EQ(boxes, c.boxes);
    }
}

} // namespace

namespace {

// Damaged equation files (bytes replaced, inserted or dropped) are read or refused,
// never crash or hang; whatever is read translates into complete statements.
TEST_F(ReaderTest, DamagedFilesAreReadOrRefused)
{
    const std::string sources[] = {pendulum(), testsupport::readText(std::string(CODEGEN_FIXTURES) + "/zoo3.e")};
    const char alphabet[] = " \t\n()[]=-+*/\\#,;`01PVsRtdivmodpowerifthenelsefi";
    unsigned state = 12345;
    auto next = [&state](unsigned limit) {
        state = state * 1103515245u + 12345u;
        return (state >> 8) % limit;
    };
    int read = 0;
    for (int round = 0; round < 400; ++round) {
        std::string text = sources[round % 2];
        for (int edits = 1 + int(next(4)); edits > 0; --edits) {
            const std::size_t at = next(unsigned(text.size()));
            const char c = alphabet[next(sizeof alphabet - 1)];
            switch (next(3)) {
            case 0: text[at] = c; break;
            case 1: text.insert(at, 1, c); break;
            default: text.erase(at, 1); break;
            }
        }
        sink.clear();
        if (!ReadEquationFile(model, dir.write("damaged1.e", text))) {
            EXPECT_FALSE(sink.transcript().empty()) << "a refusal always says why";
            continue;
        }
        ++read;
        for (const EquationList* list : {&model.initialEquations, &model.dynamicEquations, &model.outputEquations})
            for (const auto& equation : *list)
                EXPECT_EQ(equation->text.back(), ';') << equation->text;
    }
    EXPECT_GT(read, 0);
}

} // namespace
