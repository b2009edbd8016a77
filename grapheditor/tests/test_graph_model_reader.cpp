// The model-file reader: the scanner's tokens and modes, the grammar's refusals,
// reading depths, loading into the current model and the argument file.
#include "grapheditor/graph_model_reader.h"
#include "grapheditor/graph_model_scanner.h"
#include "grapheditor/graph_model_writer.h"
#include "grapheditor/tests/graph_test_support.h"
#include "platform/testing/temp_dir.h"

#include <gtest/gtest.h>

namespace {

/// The tokens of a text, each as "number:text".
std::vector<std::string> tokens(const std::string& text, const NameTable* names = nullptr)
{
    GraphModelScanner scanner;
    scanner.reset(text, names);
    std::vector<std::string> out;
    for (int t = scanner.next(); t != GT_END; t = scanner.next()) {
        out.push_back(std::to_string(t) + ":" + scanner.text());
        if (t == GT_ERROR)
            break;
    }
    return out;
}

using Tokens = std::vector<std::string>;

TEST(GraphModelScanner, NumbersDependOnTheMode)
{
    EXPECT_EQ(tokens("[1..3] 1..3"), (Tokens{"310:[", "362:1", "359:..", "362:3", "311:]", "363:1.", "363:.3"}));
    EXPECT_EQ(tokens("1. .5 2.e-3 1E+5 1e5 1e 1e+ 12"),
              (Tokens{"363:1.", "363:.5", "363:2.e-3", "363:1E+5", "363:1e5", "314:1e", "314:1e", "287:+", "362:12"}));
    EXPECT_EQ(tokens("connections 1.5 1e5 1..3"),
              (Tokens{"332:connections", "362:1", "382:.", "362:5", "314:1e5", "362:1", "359:..", "362:3"}));
    EXPECT_EQ(tokens(".e .f .ex"), (Tokens{"304:.e", "305:.f", "304:.e", "314:x"}));
}

TEST(GraphModelScanner, OperatorsAndModes)
{
    EXPECT_EQ(tokens("=3=> <=3= :=2= =2=:"),
              (Tokens{"339:=", "362:3", "346:=>", "345:<=", "362:3", "339:=", "340::=", "362:2", "339:=", "339:=",
                      "362:2", "341:=:"}));
    EXPECT_EQ(tokens("-- -> <- -: :- | ` ; == =/= < > >="),
              (Tokens{"336:--", "344:->", "343:<-", "338:-:", "337::-", "342:|", "309:`", "312:;", "280:==", "281:=/=",
                      "282:<", "284:>", "285:>="}));
    // In index mode (after "connections" for good, or inside brackets) there are no comparisons.
    EXPECT_EQ(tokens("connections == < >= =/="),
              (Tokens{"332:connections", "339:=", "339:=", "315:<", "315:>", "339:=", "339:=", "289:/", "339:="}));
    EXPECT_EQ(tokens("[<] <"), (Tokens{"310:[", "315:<", "311:]", "282:<"}));
    EXPECT_EQ(tokens("[a\n<"), (Tokens{"310:[", "314:a", "320:<NL>", "282:<"}));
}

TEST(GraphModelScanner, WordsAndNames)
{
    NameTable names;
    int object = 0;
    names.add("p1", NAME_PORT, &object);
    EXPECT_EQ(tokens("123abc _x order or E Ex 1_effort flow p1 p2 `p1 ` x", &names),
              (Tokens{"314:123abc", "315:_", "314:x", "314:order", "277:or", "366:E", "314:Ex", "377:1_effort",
                      "376:flow", "258:p1", "314:p2", "387:`p1", "309:`", "314:x"}));
    EXPECT_EQ(tokens("!gri_main ! gri_main !T !F !fixed !foo !"),
              (Tokens{"388:!gri_main", "315:!", "314:gri_main", "364:!T", "365:!F", "371:!fixed", "315:!foo", "315:!"}));
    EXPECT_EQ(GraphKeywordToken("version"), GT_VERSION);
    EXPECT_EQ(GraphKeywordToken("Version"), 0);
}

TEST(GraphModelScanner, LineEndsCommentsAndContinuations)
{
    // An empty line, a whole-line comment and a line of blanks (as the model processor
    // reads them) give no line end; a comment after text does.
    EXPECT_EQ(tokens("a\n\n# note\nb\n  \n \t# note\nc # note\nd"),
              (Tokens{"314:a", "320:<NL>", "314:b", "320:<NL>", "314:c", "320:<NL>", "314:d"}));
    EXPECT_EQ(tokens("a \\  \nb \\ # note\nc\\x"), (Tokens{"314:a", "314:b", "314:c", "315:\\", "314:x"}));
    // CR LF is one line end; a lone CR, a byte above 127 and braces are stray; NUL ends the text.
    EXPECT_EQ(tokens("a\r\nb\rc\x80{"), (Tokens{"314:a", "320:<NL>", "314:b", "315:\r", "314:c", "315:\x80", "315:{"}));
    EXPECT_EQ(tokens(std::string("a\0b", 3)), (Tokens{"314:a"}));
    GraphModelScanner scanner;
    scanner.reset("a\n\n#x\nb \\\n c\n", nullptr);
    std::vector<int> lines;
    while (scanner.next() != GT_END)
        lines.push_back(scanner.line());
    EXPECT_EQ(lines, (std::vector<int>{1, 2, 4, 5, 6}));
}

TEST(GraphModelScanner, OversizedTokensAreErrorsAndIntegersOutOfRangeAreMarked)
{
    GraphModelScanner scanner;
    scanner.reset("2147483647 2147483648", nullptr);
    EXPECT_EQ(scanner.next(), GT_INTEGER);
    EXPECT_FALSE(scanner.outOfRange());
    EXPECT_EQ(scanner.next(), GT_INTEGER);
    EXPECT_TRUE(scanner.outOfRange());
    EXPECT_EQ(scanner.value(), 0);
    EXPECT_EQ(SingleToken("2147483648"), -1);
    const std::string word(512, 'w');
    EXPECT_EQ(tokens(word).back(), "-1:" + std::string(511, 'w'));
    EXPECT_EQ(tokens(std::string(511, 'w')).back(), "314:" + std::string(511, 'w'));
    // A long comment is skipped whatever its length.
    EXPECT_EQ(tokens("# " + std::string(5000, 'c') + "\na"), (Tokens{"314:a"}));
}

// ---------------------------------------------------------------------------------------------
// Grammar

/// The parse of a text at a depth: "accepted" or the error text.
std::string parse(const std::string& text, int depth = READ_ALL)
{
    GraphModel record;
    std::string error;
    return parse_model_text(text, depth, record, &error) == 0 ? "accepted" : error;
}

const std::string kHead = "bond graph m(n) version 1\ninterface\n  ports: p, q\n  inputs: real u\n"
                          "  outputs: real y\nsubclasses\n  c;1 a, b\n  gain;1 g\nconnections\n";

TEST(GraphModelGrammar, ConnectionFormsByTheirEnds)
{
    const std::pair<const char*, const char*> cases[] = {
        {"a`p -> b`p", "accepted"},
        {"a`p <=n + 1= b`p", "accepted"},
        {"a`p |-> b`p", "accepted"},
        {"a`p =2=>| b`p", "accepted"},
        {"a`p -- p", "accepted"},
        {"p =n, 2= a`p", "accepted"},
        {"p -- q", "accepted"},
        {"u -: g`u", "accepted"},
        {"g`y =2=: y", "accepted"},
        {"y :- g`y", "accepted"},
        {"g`u :=2= u", "accepted"},
        {"a[1..n, ]`p[2] -> b", "accepted"},
        {"a`p -- b`p", "syntax error in line 10: b"},
        {"a`p -> p", "syntax error in line 10: p"},
        {"p -> a`p", "syntax error in line 10: ->"},
        {"a`p |-- p", "syntax error in line 10: --"},
        {"a`p |=2= p", "syntax error in line 10: ="},
        {"a`p ->|| b`p", "syntax error in line 10: |"},
        {"g`y -: u", "syntax error in line 10: u"},
        {"y -: g`u", "syntax error in line 10: -:"},
        {"a`p -> b`p !gri_bond 1 2 3", "syntax error in line 11: <NL>"},
        {"a`p -> b`p !gri_bond 1 2 3 4 5", "syntax error in line 11: <NL>"},
        {"a`p -> b`p !gri_bond 1 2 3 -4", "syntax error in line 10: -"},
        {"a`p =1, 2, 3, 4, 5, 6, 7=> b`p", "expr.list length overflow in line 10: 7"},
        {"a`p =((((((n))))))=> b`p", "accepted"},
    };
    for (const auto& [line, expected] : cases)
        EXPECT_EQ(parse(kHead + line + "\n"), expected) << line;
    EXPECT_EQ(parse(kHead + "a`p =" + std::string(120, '(') + "1" + std::string(120, ')') + "=> b`p\n"),
              "expression nested too deeply in line 10: (");
}

TEST(GraphModelGrammar, NamesMustBeNew)
{
    EXPECT_EQ(parse("bond graph m version 1\ninterface\n  ports: p, p\nconnections\n"),
              "name used twice in line 3: p");
    EXPECT_EQ(parse("bond graph m(p) version 1\ninterface\n  ports: p\nconnections\n"),
              "name used twice in line 3: p");
    EXPECT_EQ(parse("bond graph m version 1\nsubclasses\n  c;1 a\n  r;1 a\nconnections\n"),
              "name used twice in line 4: a");
    EXPECT_EQ(parse("bond graph m version 1\ninterface\n  ports: flow\nconnections\n"),
              "syntax error in line 3: flow");
    EXPECT_EQ(parse("bond graph m version 1\nsubclasses\n  c;1 or\nconnections\n"), "syntax error in line 3: or");
    EXPECT_EQ(parse("bond graph m version 1\nsubclasses\n  c;1 a\n"), "syntax error in line 4: ");
    EXPECT_EQ(parse("bond graph m version 1\nconnections\n"), "accepted");
    // Types are kept lower-cased: that must still be a name.
    EXPECT_EQ(parse("bond graph m version 1\nsubclasses\n  Version;1 a\nconnections\n"),
              "type name not usable in line 3: Version");
    EXPECT_EQ(parse("bond graph m version 1\nsubclasses\n  Versi;1 a\nconnections\n"), "accepted");
}

TEST(GraphModelGrammar, EntriesWithTheirGraphics)
{
    GraphModel record;
    ASSERT_EQ(parse_model_text("bond graph m(n, k) version 2\n!gri_main 800 600 10 20 !T 7\ninterface\n"
                               "  ports: p[n] 10 20, q\n  outputs: integer y[2, , 3]\n"
                               "subclasses\n  c;1 a(n + 1, -k)[2] 40 50 !F !T, b 60 70, e\n"
                               "connections\n  a`p -- p !gri_bond 40 50 10 20 30 30 31 31\n  b`p -- q\n",
                               READ_ALL, record, nullptr),
              0)
        << ParserErrorText();
    EXPECT_EQ(record.name, "m");
    EXPECT_EQ(record.version, 2);
    EXPECT_EQ(std::vector<int>({record.width, record.height, record.scrollX, record.scrollY}),
              std::vector<int>({800, 600, 10, 20}));
    ASSERT_EQ(record.pios.size(), 3u);
    const Pio* p = record.pios.head();
    EXPECT_EQ(ListText(p->size), "n");
    EXPECT_EQ(p->size[0]->argument, record.arguments[0].get());
    EXPECT_EQ(std::pair(p->x, p->y), std::pair(10, 20));
    EXPECT_EQ(std::pair(p->next->x, p->next->y), std::pair(-1, -1));
    EXPECT_EQ(record.pios.tail()->kind, PIO_OUTPUT);
    EXPECT_EQ(ListText(record.pios.tail()->size), "2, , 3");
    ASSERT_EQ(record.submodels.size(), 3u);
    const Submodel* a = record.submodels.head();
    EXPECT_EQ(ListText(a->arguments), "n + 1, -k");
    EXPECT_EQ(ListText(a->size), "2");
    EXPECT_EQ(a->showName, 0);
    EXPECT_EQ(a->id, 0);
    EXPECT_EQ(a->next->showName, 1); // a point without a flag is taken, the name shown
    EXPECT_EQ(record.types.head()->name, "c");
    const Connection* bond = record.connections.head();
    EXPECT_EQ(bond->ends[0].submodel, a);
    EXPECT_EQ(bond->ends[1].pio, p);
    EXPECT_EQ(std::pair(bond->ends[1].anchorX, bond->ends[1].anchorY), std::pair(10, 20));
    ASSERT_EQ(bond->midpoints.size(), 2u);
    EXPECT_EQ(bond->midpoints[1].y, 31);
    EXPECT_EQ(p->attachments.size(), 1u);
    EXPECT_EQ(record.names.find("a")->kind, NAME_SUBMODEL);
    EXPECT_EQ(record.names.find("y")->kind, NAME_OUTPUT);
    EXPECT_EQ(record.names.find("k")->kind, NAME_ARGUMENT);
}

TEST(GraphModelGrammar, ReadingDepths)
{
    const std::string text = "class t version 1\n# a type\ninterface\n  ports: p\n"
                             "  causality restrictions\n    fixed effort p\n    preferred\n      flow p\n"
                             "  orientation restrictions\n    constraint p equal p\n    indifferent\n      p\n"
                             "parameters\n  real x\nequations\n  p.e = x\n";
    EXPECT_EQ(parse(text, READ_INTERFACE), "accepted");
    EXPECT_EQ(parse(text, READ_SUBCLASSES), "accepted");
    EXPECT_EQ(parse(text, READ_ALL), "syntax error in line 13: parameters");
    EXPECT_EQ(parse("bond graph m version 1\n!gri_main 1 2\n$$$", READ_INTERFACE), "accepted");
    EXPECT_EQ(parse("bond graph m version 1\nsubclasses\n  c;1 a\n$$$", READ_SUBCLASSES), "accepted");
    EXPECT_EQ(parse("bond graph m version 1\ninterface\n  ports: p\n  orientation restrictions\n    preferred p\n"
                    "connections\n",
                    READ_INTERFACE),
              "syntax error in line 5: preferred");
}

// ---------------------------------------------------------------------------------------------
// Loading and the argument file

class Loading : public graphtest::GraphTest {
protected:
    testsupport::TempDir dir;
};

TEST_F(Loading, ADamagedFileIsRefusedByLineAndTokenAndTheModelShownStays)
{
    const std::string good = dir.write("g1.mgg", "bond graph g version 1\nsubclasses\n  r;1 x 30 40 !T\n"
                                                 "connections\n");
    ASSERT_EQ(load_model_file(good), 0);
    GraphModel& model = CurrentModel();
    view.log.clear();
    const std::string path = dir.write("m1.mgg", "bond graph m version 1\nsubclasses\n  c;1 a 10 10 !T\n"
                                                 "connections\n  a`p -> b`p\n");
    EXPECT_EQ(load_model_file(path), -1);
    EXPECT_EQ(ParserErrorText(), "syntax error in line 5: b");
    EXPECT_EQ(boxes(), (std::vector<std::string>{"The model file can not be read:", path, "syntax error in line 5: b",
                                                 "The model is not opened."}));
    EXPECT_EQ(model.name, "g");
    ASSERT_EQ(model.submodels.size(), 1u);
    EXPECT_EQ(model.submodels.head()->name, "x");
    EXPECT_EQ(model.edited, 0);
    EXPECT_TRUE(view.log.empty()) << "nothing was drawn, erased or marked";

    // An edited model is only replaced after the user agreed; a refused file keeps its edits.
    MarkEdited(model, 1);
    sink.clear();
    sink.queueAnswers({platform::BoxAnswer::Cancel});
    EXPECT_EQ(load_model_file(good), -2);
    EXPECT_EQ(boxes().front(), "The model in the Graph Editor has been edited.");
    EXPECT_EQ(load_model_file(path), -1);
    EXPECT_EQ(model.edited, 1);
    EXPECT_EQ(model.submodels.head()->name, "x");
    view.log.clear();
    const std::string other = dir.write("h1.mgg", "bond graph h version 1\nsubclasses\n  r;1 y 30 40 !T\n"
                                                  "connections\n");
    EXPECT_EQ(load_model_file(other), 0);
    EXPECT_EQ(model.name, "h");
    EXPECT_EQ(model.edited, 0);
    EXPECT_EQ(model.submodels.head()->name, "y");
    EXPECT_EQ(model.submodels.head()->width, 40); // laid out
    EXPECT_EQ(view.log, (std::vector<std::string>{"unedited"}));

    sink.clear();
    EXPECT_EQ(load_model_file(dir.file("none.mgg")), -2);
    EXPECT_EQ(boxes(), (std::vector<std::string>{"Can not open for reading:", dir.file("none.mgg")}));
}

// The model processor passes the graphics records over: a number there that does not fit is
// no reason to refuse the model. It is put at the drawing's edge, and the user is told where.
TEST_F(Loading, GraphicsNumbersOutOfRangeArePutInRangeWithAMessage)
{
    const std::string path =
        dir.write("m1.mgg", "bond graph m version 1\n!gri_main 1500 99999999999 0 0\nsubclasses\n"
                            "  c;1 a 4294967296 10 !T\n  r;1 b 20 20 !T\nconnections\n"
                            "  a`p -> b`p !gri_bond 0 0 20 20 2147483648 5\n");
    ASSERT_EQ(load_model_file(path), 0);
    const GraphModel& model = CurrentModel();
    EXPECT_EQ(model.height, 1000) << "a new drawing's height";
    EXPECT_EQ(model.submodels.head()->x, 1500);
    ASSERT_EQ(model.connections.head()->midpoints.size(), 1u);
    EXPECT_EQ(model.connections.head()->midpoints[0].x, 1500);
    EXPECT_EQ(model.edited, 0);
    EXPECT_EQ(boxes(), (std::vector<std::string>{"The drawing in the model file is damaged:", path,
                                                 "graphics number out of range in line 2: 99999999999",
                                                 "What it places out of range is put at the drawing's edge."}));
    // A number that is no graphics number stays refused.
    std::string error;
    GraphModel record;
    EXPECT_EQ(parse_model_text("bond graph m version 1\nsubclasses\n  c;1 a(2147483648)\nconnections\n", READ_ALL,
                               record, &error),
              -1);
    EXPECT_EQ(error, "integer constant out of range. in line 3: 2147483648");
}

TEST_F(Loading, EndsTakeTheirObjectsAnchorsAndRenamingApplies)
{
    ReaderRenaming().loading = true;
    ReaderRenaming().renameType = [](std::string& name, int& version) {
        if (name != "old")
            return false;
        name = "new";
        version = 2;
        return true;
    };
    ReaderRenaming().renamePort = [](const SubmodelType& type, std::string& port) {
        if (type.name != "new" || port != "a")
            return false;
        port = "b";
        return true;
    };
    const std::string text = "subclasses\n  old;1 s 100 100 !T\n  c;1 k 200 100 !T\nconnections\n"
                             "  s`a -> k`p !gri_bond 1 1 2 2\n";
    ASSERT_EQ(load_model_file(dir.write("m1.mgg", "class m version 1\n" + text)), 0) << ParserErrorText();
    const SubmodelType* type = CurrentModel().submodels.head()->type;
    EXPECT_EQ(type->name + std::to_string(type->version), "new2");
    const Connection* bond = CurrentModel().connections.head();
    EXPECT_EQ(bond->ends[0].portName, "b");
    EXPECT_EQ(std::pair(bond->ends[1].anchorX, bond->ends[1].anchorY), std::pair(200, 100));

    // A header "bond graph" turns the renaming off.
    ASSERT_EQ(load_model_file(dir.write("m2.mgg", "bond graph m version 1\n" + text)), 0);
    EXPECT_EQ(CurrentModel().submodels.head()->type->name, "old");
    EXPECT_EQ(CurrentModel().connections.head()->ends[0].portName, "a");
}

TEST_F(Loading, TheShippedGraphModelsLoad)
{
    for (const char* name : {"msd1.mg0", "mload1.mg0", "gears1.mg0", "motor1.mg0", "qcar1.mg0", "rlc1.mg0", "dcm1.sg0"}) {
        EXPECT_EQ(load_model_file(std::string(ORVANTA_MODELS_DIR) + "/" + name), 0) << name << ": "
                                                                                   << ParserErrorText();
        EXPECT_FALSE(CurrentModel().connections.empty()) << name;
        EXPECT_TRUE(ModelFileProblems(CurrentModel()).empty()) << name;
    }
}

TEST_F(Loading, TheProcessorsCausalityTemplateReadsBack)
{
    // Written by the model processor for the saved mass-spring-damper (its tests keep this file true).
    GraphModel record;
    ASSERT_EQ(parse_model_file(std::string(GRAPHEDITOR_TEST_DIR) + "/golden/msd1.t2", READ_ALL, record, nullptr), 0)
        << ParserErrorText();
    std::vector<std::string> strokes;
    for (const Connection& bond : record.connections)
        strokes.push_back(bond.ends[0].submodel->name + "`" + bond.ends[0].portName +
                          (bond.ends[0].portIndex.empty() ? "" : "[" + ListText(bond.ends[0].portIndex) + "]") +
                          " " + std::to_string(bond.causality) + " " + bond.ends[1].submodel->name);
    EXPECT_EQ(strokes, (std::vector<std::string>{"f`p 1 v", "v`p[2] 1 m", "v`p[3] 2 k", "v`p[4] 2 d"}));
}

TEST_F(Loading, ArgumentFiles)
{
    ASSERT_EQ(load_model_file(dir.write("m1.mgg", "bond graph m(n, k) version 1\ninterface\n  ports: p\n"
                                                  "connections\n")),
              0);
    EXPECT_EQ(read_argument_file(dir.file("m1.mga")), 0); // none: nothing happens
    EXPECT_TRUE(boxes().empty());
    EXPECT_EQ(read_argument_file(dir.write("m1.mga", "n\t-5\r\nk +3")), 0);
    const ArgumentList& arguments = CurrentModel().arguments;
    EXPECT_EQ(arguments[0]->value, -5);
    EXPECT_EQ(arguments[1]->value, 3);
    EXPECT_EQ(arguments[1]->hasValue, 1);

    const std::pair<const char*, const char*> bad[] = {
        {"n 1 2\n", "2"}, {"p 1\n", "p"}, {"x 1\n", "x"}, {"n\n", "<NL>"}, {"n 1.5\n", "1.5"}, {"n 9999999999\n", "9999999999"},
    };
    for (const auto& [text, token] : bad) {
        sink.clear();
        const std::string path = dir.write("bad.mga", text);
        EXPECT_EQ(read_argument_file(path), -1) << text;
        EXPECT_EQ(boxes(), (std::vector<std::string>{"Error in argument file", path, token})) << text;
    }
}

} // namespace
