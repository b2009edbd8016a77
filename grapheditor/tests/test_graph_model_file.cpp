// The graph model file as written and read: golden files of models drawn through
// the object API, their round trip, the writer's refusals and layout rules, and a
// mutation run over the golden file.
#include "grapheditor/graph_model_reader.h"
#include "grapheditor/graph_model_writer.h"
#include "grapheditor/tests/demo_model.h"
#include "platform/core/file_system.h"
#include "platform/testing/temp_dir.h"

#include <gtest/gtest.h>

#include <random>
#include <regex>

namespace {

using testsupport::readText;

const std::string kGolden = std::string(GRAPHEDITOR_TEST_DIR) + "/golden/";

class ModelFile : public graphtest::GraphTest {
protected:
    /// Saves the current model as `name` with its argument file; the model file's text.
    std::string save(const std::string& name, const std::string& extension = ".mgg")
    {
        EXPECT_EQ(write_model_file(dir.file(name + extension), name, 1), 0);
        EXPECT_EQ(write_argument_file(dir.file(name + ".mga")), 0);
        return readText(dir.file(name + extension));
    }

    testsupport::TempDir dir;
};

TEST_F(ModelFile, ADrawnModelSavesToTheGoldenFiles)
{
    graphtest::drawDemoModel();
    const std::string text = save("demo1");
    EXPECT_EQ(text, readText(kGolden + "demo1.mgg"));
    EXPECT_EQ(readText(dir.file("demo1.mga")), "n\t-5\n");
    EXPECT_EQ(readText(kGolden + "demo1.mga"), "n\t-5\n");
    EXPECT_NE(text.find("\t1j;1\t1j_2 300 100 !T, 1j_1 200 100 !T\n"), std::string::npos) << "wrapped group";
    EXPECT_NE(text.find("\t=n + 1=>| \t"), std::string::npos);
    EXPECT_EQ(CurrentModel().name, "demo");
    EXPECT_EQ(CurrentModel().version, 1);
    EXPECT_EQ(CurrentModel().edited, 0);

    // Read back and saved again: the same bytes.
    ASSERT_EQ(load_model_file(dir.file("demo1.mgg")), 0) << ParserErrorText();
    ASSERT_EQ(read_argument_file(dir.file("demo1.mga")), 0);
    EXPECT_EQ(CurrentModel().arguments.front()->value, -5);
    EXPECT_EQ(save("again1"), text.substr(0, 11) + "again" + text.substr(15));
    EXPECT_EQ(readText(dir.file("again1.mga")), "n\t-5\n");
}

TEST_F(ModelFile, TheDrawnMassSpringDamperSavesToTheGoldenFile)
{
    // The model processor's tests process this file and compare it with the example.
    graphtest::drawMassSpringDamper();
    ASSERT_EQ(write_model_file(dir.file("msd1.mg0"), "msd1", 1), 0);
    EXPECT_EQ(readText(dir.file("msd1.mg0")), readText(kGolden + "msd1.mg0"));
}

// A model of one submodel without ports has nothing to connect; an empty one has nothing at all.
// Both keep their connections line, and the processor's tests process the two files.
TEST_F(ModelFile, ModelsWithoutConnectionsSaveTheirConnectionsLineToTheGoldenFiles)
{
    LibraryEntry osc = graphtest::entry("osc1");
    RenameSubmodel(CurrentModel(), *create_submodel(100, 100, osc), "osc");
    ASSERT_EQ(write_model_file(dir.file("lone1.mg0"), "lone1", 1), 0);
    EXPECT_EQ(readText(dir.file("lone1.mg0")), readText(kGolden + "lone1.mg0"));
    clear_model();
    ASSERT_EQ(write_model_file(dir.file("empty1.mg0"), "empty1", 1), 0);
    EXPECT_EQ(readText(dir.file("empty1.mg0")), readText(kGolden + "empty1.mg0"));
}

// ---------------------------------------------------------------------------------------------
// What the writer writes and refuses

TEST_F(ModelFile, TheWriterSkipsWhatCouldNotBeReadBack)
{
    GraphModel& model = CurrentModel();
    // An unnamed argument, a type whose submodels are gone, a PIO read without a
    // point and objects dragged past the edge.
    for (const char* name : {"", "k"}) {
        auto argument = std::make_unique<Argument>();
        argument->name = name;
        argument->hasValue = 1;
        model.arguments.push_back(std::move(argument));
    }
    LibraryEntry r = graphtest::entry("r1");
    LibraryEntry c = graphtest::entry("c1");
    Submodel* gone = create_submodel(100, 100, r);
    Submodel* kept = create_submodel(200, 100, c);
    delete_submodel(model, gone);
    kept->x = -40;
    Pio* pio = create_pio(300, 100);
    pio->x = pio->y = -1;
    Connection* bond = AddConnection(model, {END_SUBMODEL, kept}, {END_PIO, pio}, {{-20, 60}}, 0, 0, {});
    bond->ends[0].portName = "p";
    const std::string text = GraphModelText(model, 1);
    EXPECT_EQ(text, "bond graph (k) version 0\n"
                    "\t!gri_main 1500 1000 0 0 \n"
                    "interface\n"
                    "\tports:\tp_1\n"
                    "subclasses\n"
                    "\tc;1\tc_1 0 100 !T\n"
                    "connections\n"
                    "\tc_1`p\t-- \tp_1\t!gri_bond 0 100 0 0 0 60\n");
    EXPECT_EQ(GraphModelText(model, 0), "bond graph (k) version 0\ninterface\n\tports:\tp_1\nsubclasses\n"
                                        "\tc;1\tc_1\nconnections\n\tc_1`p\t-- \tp_1\n");
    model.name = "w";
    GraphModel read;
    EXPECT_EQ(parse_model_text(GraphModelText(model, 1), READ_ALL, read, nullptr), 0) << ParserErrorText();
}

TEST_F(ModelFile, AModelWithAnEndWithoutObjectIsNotSaved)
{
    graphtest::drawDemoModel();
    save("demo1");
    const std::string before = readText(dir.file("demo1.mgg"));
    Connection* bond = CurrentModel().connections.head();
    bond->ends[1].objectKind = END_NONE;
    MarkEdited(CurrentModel(), 1);
    sink.clear();
    EXPECT_EQ(write_model_file(dir.file("demo1.mgg"), "demo1", 1), 1);
    EXPECT_EQ(readText(dir.file("demo1.mgg")), before);
    ASSERT_EQ(boxes().size(), 3u);
    EXPECT_EQ(boxes()[0], "The model can not be saved:");
    EXPECT_EQ(boxes()[1], "A signal at PIO p_2 has an end without a submodel or PIO.");
    EXPECT_EQ(CurrentModel().edited, 1);

    // So is one that still uses an argument that was deleted.
    bond->ends[1].objectKind = END_SUBMODEL;
    EXPECT_EQ(CanDeleteArgument(*CurrentModel().arguments.front(), CurrentModel()), 1);
    sink.clear();
    EXPECT_EQ(write_model_file(dir.file("demo1.mgg"), "demo1", 1), 1);
    EXPECT_EQ(boxes()[1], "A bond at submodel 1j_5 uses an argument that was deleted.");
    EXPECT_EQ(readText(dir.file("demo1.mgg")), before);
}

TEST_F(ModelFile, NamesThatWouldNotReadBackAreNotSaved)
{
    graphtest::drawDemoModel();
    GraphModel& model = CurrentModel();
    ASSERT_EQ(RenameSubmodel(model, *model.submodels.head(), "in"), 1);
    model.connections.head()->ends[1].portName = "u v";
    model.types.head()->name = "4444444";
    const std::vector<std::string> problems = ModelFileProblems(model);
    EXPECT_EQ(problems, (std::vector<std::string>{
                            "Submodel type 4444444 has a name the model file can not hold.",
                            "A signal at PIO p_2 names the port u v, which the model file can not hold.",
                            "Submodel in has a name the model file can not hold."}));
    EXPECT_EQ(write_model_file(dir.file("demo1.mgg"), "in1", 1), 1);
    EXPECT_EQ(boxes().at(1), "The model name in is not a name the model file can hold.");
    EXPECT_FALSE(platform::fileExists(dir.file("demo1.mgg")));
}

TEST_F(ModelFile, FilesThatCannotBeMadeAreReported)
{
    graphtest::drawDemoModel();
    EXPECT_EQ(write_model_file(dir.file("missing/demo1.mgg"), "demo1", 1), -1);
    EXPECT_EQ(boxes(), (std::vector<std::string>{"Can not open for writing:", dir.file("missing/demo1.mgg")}));
    EXPECT_EQ(CurrentModel().edited, 1);
    sink.clear();
    EXPECT_EQ(write_model_file(dir.file("x.mgg"), "", 1), 1);
    EXPECT_EQ(boxes().at(1), "The model has no name.");
    EXPECT_FALSE(platform::fileExists(dir.file("x.mgg")));
}

TEST_F(ModelFile, ArgumentFilesHoldOnlyGivenValues)
{
    GraphModel& model = CurrentModel();
    for (const char* name : {"a", "b"}) {
        auto argument = std::make_unique<Argument>();
        argument->name = name;
        model.arguments.push_back(std::move(argument));
    }
    const std::string path = dir.write("m1.mga", "old\t1\n");
    EXPECT_EQ(write_argument_file(path), 0);
    EXPECT_FALSE(platform::fileExists(path)); // no value: the old file goes
    model.arguments[1]->hasValue = 1;
    model.arguments[1]->value = 7;
    EXPECT_EQ(write_argument_file(path), 0);
    EXPECT_EQ(readText(path), "b\t7\n");
}

// ---------------------------------------------------------------------------------------------
// Mutations of the golden file: the reader never fails other than with its message.

TEST_F(ModelFile, MutatedGoldenFilesReadOrFailWithALineNumber)
{
    const std::string golden = readText(kGolden + "demo1.mgg");
    ASSERT_FALSE(golden.empty());
    const std::string alphabet = "abn019 \t\n\r-=>|:<[],.()`!#\\_{\x80";
    const std::regex message(R"(.{1,40} in line [0-9]+: [\s\S]*)");
    std::mt19937 random(5);
    auto pick = [&](std::size_t bound) { return std::uniform_int_distribution<std::size_t>(0, bound - 1)(random); };
    int accepted = 0;
    for (int i = 0; i < 3000; ++i) {
        std::string text = golden;
        for (int edits = 1 + static_cast<int>(pick(3)); edits > 0; --edits) {
            const std::size_t at = pick(text.size());
            switch (pick(4)) {
            case 0: text[at] = alphabet[pick(alphabet.size())]; break;
            case 1: text.insert(at, 1, alphabet[pick(alphabet.size())]); break;
            case 2: text.erase(at, 1 + pick(8)); break;
            default: text.insert(at, text.substr(pick(text.size()), pick(40))); break;
            }
        }
        for (int depth : {READ_INTERFACE, READ_ALL}) {
            GraphModel record;
            std::string error;
            const int result = parse_model_text(text, depth, record, &error);
            if (result == 0) {
                ++accepted;
                // What is accepted is written in a form that reads again to the same text.
                const std::string written = GraphModelText(record, 1);
                GraphModel again;
                if (depth == READ_ALL && ModelFileProblems(record).empty()) {
                    ASSERT_EQ(parse_model_text(written, READ_ALL, again, &error), 0) << text << "\n" << written << error;
                    ASSERT_EQ(GraphModelText(again, 1), written);
                }
            } else {
                ASSERT_EQ(result, -1);
                ASSERT_TRUE(std::regex_match(error, message)) << error;
            }
        }
    }
    EXPECT_GT(accepted, 0);
}

} // namespace
