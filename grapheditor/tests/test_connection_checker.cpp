// The connection checker: automatic connection of junctions, single ports and
// signals, the faults it reports (orientation, ranges, sizes), the model check's
// marks and status texts; and the name and size checks of the attribute editors.
#include "bench/modelproc/chain_model.h"
#include "grapheditor/connection_checker.h"
#include "grapheditor/name_validation.h"
#include "grapheditor/submodel_types.h"
#include "grapheditor/tests/demo_model.h"
#include "grapheditor/tests/graph_test_support.h"
#include "platform/core/file_system.h"
#include "platform/testing/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <tuple>
#include <vector>

namespace {

using graphtest::draw;
using graphtest::entry;

class Checker : public graphtest::GraphTest {
protected:
    void SetUp() override
    {
        GraphTest::SetUp();
        types = dir.mkdir("types");
        Settings().model_dirs = types + ";" + ORVANTA_LIBRARY_DIR;
    }

    void write(const std::string& file, const std::string& text)
    {
        ASSERT_TRUE(platform::writeFileAtomically(types + "/" + file, text));
    }

    Submodel* place(int x, int y, const char* type)
    {
        LibraryEntry e = entry(type);
        return create_submodel(x, y, e);
    }

    static std::string end(const Connection& c, int e)
    {
        const ConnectionEnd& at = c.ends[e];
        return at.portName + (at.portIndex.empty() ? "" : "[" + ListText(at.portIndex) + "]");
    }

    testsupport::TempDir dir;
    std::string types;
    GraphModel& model = CurrentModel();
};

TEST_F(Checker, AJunctionOfOneArrayPortNumbersItsBondsAndTakesTheirCountAsArgument)
{
    Submodel* junction = place(200, 200, "1j1");
    place(100, 100, "c1");
    place(300, 100, "c1");
    place(200, 300, "c1");
    Connection* a = draw({{200, 200}, {100, 100}}, TOOL_BOND);
    Connection* b = draw({{200, 200}, {300, 100}}, TOOL_BOND);
    Connection* c = draw({{200, 200}, {200, 300}}, TOOL_BOND);
    ASSERT_TRUE(a && b && c);

    EXPECT_EQ(check_model(), 0) << view.status;
    EXPECT_EQ(view.status, "Connections and attributes O.K.");
    EXPECT_EQ(end(*a, 0), "p[1]");
    EXPECT_EQ(end(*b, 0), "p[2]");
    EXPECT_EQ(end(*c, 0), "p[3]");
    EXPECT_EQ(end(*a, 1), "p");
    ASSERT_EQ(junction->arguments.size(), 1u);
    EXPECT_EQ(ExprText(junction->arguments.front().get(), 0), "3");
    EXPECT_EQ(junction->errorMark, 0);

    // A fourth bond continues the numbering and the argument follows.
    place(100, 300, "c1");
    Connection* d = draw({{200, 200}, {100, 300}}, TOOL_BOND);
    EXPECT_EQ(check_model(), 0);
    EXPECT_EQ(end(*d, 0), "p[4]");
    EXPECT_EQ(ExprText(junction->arguments.front().get(), 0), "4");
}

// A model saved when the library's junctions had three named ports: the check takes each bond
// onto the port array in the order of the file, with the direction it had.
TEST_F(Checker, AJunctionOfNamedPortsInAnOlderFileIsTakenOntoItsPortArray)
{
    ASSERT_EQ(load_model_file(dir.write("old1.mgg",
                                        "bond graph old version 1\nsubclasses\n  se;1 f 40 100 !T\n"
                                        "  1j;1 v 120 100 !T\n  i;1 m 120 40 !T\n  r;1 d 200 100 !T\n"
                                        "connections\n  f`p -> v`p1\n  v`p2 -> m`p\n  v`p3 -> d`p\n")),
              0)
        << ParserErrorText();
    EXPECT_EQ(check_model(), 0) << view.status;
    std::vector<std::string> ends;
    for (const Connection& c : model.connections)
        ends.push_back(c.ends[0].submodel->name + "`" + end(c, 0) + " " + std::to_string(c.direction) + " " +
                       c.ends[1].submodel->name + "`" + end(c, 1));
    std::sort(ends.begin(), ends.end());
    EXPECT_EQ(ends, (std::vector<std::string>{"f`p 1 v`p[1]", "v`p[2] 1 m`p", "v`p[3] 1 d`p"}));
    for (const Submodel& s : model.submodels)
        EXPECT_EQ(ListText(s.arguments), s.name == "v" ? "3" : "") << s.name;
}

// The check gives a junction the count of its bonds whatever argument it brought: a stale one,
// none, or one that an element count does not give; so does the save when the check finds fault.
TEST_F(Checker, AJunctionsArgumentIsTheCountOfItsBonds)
{
    Submodel* junction = place(200, 200, "1j1");
    for (auto [x, y] : {std::pair{100, 100}, {300, 100}, {200, 300}}) {
        place(x, y, "c1");
        draw({{200, 200}, {x, y}}, TOOL_BOND);
    }
    ASSERT_EQ(check_model(), 0) << view.status;
    const auto give = [&](const char* argument) {
        junction->arguments.clear();
        ParseSizeList(argument, junction->arguments, model.arguments);
    };
    const char* const before[] = {"4", "", "2 * 2", "1"};
    for (const char* argument : before) {
        SCOPED_TRACE(argument);
        give(argument);
        EXPECT_EQ(check_model(), 0) << view.status;
        EXPECT_EQ(ListText(junction->arguments), "3");
        give(argument);
        update_junction_arguments();
        EXPECT_EQ(ListText(junction->arguments), "3");
    }
    // A signal drawn to it is a fault of the check; the save still counts the bonds.
    place(300, 300, "con1");
    draw({{300, 300}, {200, 200}}, TOOL_SIGNAL);
    junction->arguments.clear();
    EXPECT_EQ(check_model(), 2);
    EXPECT_EQ(junction->errorMark, 1);
    junction->arguments.clear();
    update_junction_arguments();
    EXPECT_EQ(ListText(junction->arguments), "3");
}

// A bond deleted from a junction leaves no gap: the bonds after it move down by its width.
TEST_F(Checker, ABondTakenFromAJunctionLeavesNoGapInItsElements)
{
    struct Case {
        int deleted; ///< which bond, in the order drawn
        const char* left;
    } cases[] = {{0, "p[1] p[2..3] p[4]"}, {1, "p[1] p[2..3] p[4]"}, {2, "p[1] p[2] p[3]"}, {3, "p[1] p[2] p[3..4]"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.deleted);
        clear_model();
        place(200, 200, "1j1");
        std::vector<Connection*> bonds;
        for (auto [x, y, tool] : {std::tuple{100, 100, TOOL_BOND}, {300, 100, TOOL_BOND},
                                  {200, 300, TOOL_MULTIBOND}, {100, 300, TOOL_BOND}}) {
            place(x, y, "c1");
            bonds.push_back(draw({{200, 200}, {x, y}}, tool));
        }
        bonds[2]->size.clear();
        ASSERT_EQ(ParseSizeList("2", bonds[2]->size, model.arguments), 0);
        ASSERT_EQ(check_model(), 2) << "a capacitor takes one bond, not two";
        ASSERT_EQ(end(*bonds[2], 0) + " " + end(*bonds[3], 0), "p[3..4] p[5]");
        delete_connection(model, bonds[std::size_t(c.deleted)]);
        bonds.erase(bonds.begin() + c.deleted);
        std::string left;
        for (const Connection* bond : bonds)
            left += (left.empty() ? "" : " ") + end(*bond, 0);
        EXPECT_EQ(left, c.left);
    }

    // An element taken away with its bond: the rest checks and counts three.
    clear_model();
    Submodel* junction = place(200, 200, "1j1");
    std::vector<Connection*> bonds;
    for (auto [x, y] : {std::pair{100, 200}, {200, 100}, {300, 200}, {200, 300}}) {
        place(x, y, x == 100 ? "se1" : "c1");
        bonds.push_back(x == 100 ? draw({{x, y}, {200, 200}}, TOOL_BOND) : draw({{200, 200}, {x, y}}, TOOL_BOND));
    }
    ASSERT_EQ(check_model(), 0) << view.status;
    EXPECT_EQ(ListText(junction->arguments), "4");
    delete_submodel(model, bonds[1]->ends[1].submodel);
    EXPECT_EQ(end(*bonds[2], 0) + " " + end(*bonds[3], 0), "p[2] p[3]");
    EXPECT_EQ(check_model(), 0) << view.status;
    EXPECT_EQ(ListText(junction->arguments), "3");
}

TEST_F(Checker, NamedPortsOfAJunctionTypeAreTakenInTheOrderOfDrawing)
{
    // A junction type of three named ports with fixed orientations in front of the library's,
    // and the mass-spring-damper drawn on two of them without naming a port.
    write("1j1.sf0", kThreePortOneJunction);
    Submodel* f = place(40, 100, "se1");
    Submodel* v = place(120, 100, "1j1");
    place(120, 40, "i1");
    Submodel* w = place(200, 100, "1j1");
    place(200, 40, "c1");
    place(200, 160, "r1");
    Connection* fv = draw({{40, 100}, {120, 100}}, TOOL_BOND);
    Connection* vm = draw({{120, 100}, {120, 40}}, TOOL_BOND);
    Connection* vw = draw({{120, 100}, {200, 100}}, TOOL_BOND);
    Connection* wk = draw({{200, 100}, {200, 40}}, TOOL_BOND);
    Connection* wd = draw({{200, 100}, {200, 160}}, TOOL_BOND);
    EXPECT_EQ(check_model(), 0) << view.status;
    EXPECT_EQ(end(*fv, 0) + " " + end(*fv, 1), "p p1");
    EXPECT_EQ(end(*vm, 0) + " " + end(*vm, 1), "p2 p");
    EXPECT_EQ(end(*vw, 0) + " " + end(*vw, 1), "p3 p1");
    EXPECT_EQ(end(*wk, 0) + " " + end(*wk, 1), "p2 p");
    EXPECT_EQ(end(*wd, 0) + " " + end(*wd, 1), "p3 p");
    EXPECT_TRUE(v->arguments.empty() && w->arguments.empty() && f->arguments.empty());
}

TEST_F(Checker, TwoUndirectedBondsOnOnePortAreLeftMarkedOneIsConnected)
{
    Settings().model_dirs = ORVANTA_LIBRARY_DIR;
    Submodel* tf = place(200, 100, "tf1");
    create_pio(100, 100);
    create_pio(300, 100);
    draw({{100, 100}, {200, 100}}, TOOL_BOND);
    draw({{300, 100}, {200, 100}}, TOOL_BOND);
    EXPECT_EQ(check_model(), 2);
    EXPECT_EQ(view.status, "The submodels displayed with an 'X' have errors in connections and/or attributes.");
    EXPECT_EQ(tf->errorMark, 1);
    for (const Connection& c : model.connections)
        EXPECT_TRUE(c.ends[1].portName.empty());

    std::string text;
    auto record = build_connections(text, tf);
    ASSERT_TRUE(record) << text;
    EXPECT_EQ(auto_connect(*record), 0);
    EXPECT_EQ(check_connections(*record, 1), -1);
    EXPECT_EQ(record->checkText,
              "Error: (part of) selected PIO not used; assign the bonds to p1 and p2 in Connections");

    // One undirected bond on the capacitor's one port is connected; the PIO left over is marked.
    clear_model();
    Submodel* c = place(200, 100, "c1");
    create_pio(100, 100);
    Pio* lonely = create_pio(300, 300);
    Connection* bond = draw({{100, 100}, {200, 100}}, TOOL_BOND);
    EXPECT_EQ(check_model(), 2);
    EXPECT_EQ(view.status, "The PIOs displayed with an 'X' are not connected.");
    EXPECT_EQ(c->errorMark, 0);
    EXPECT_EQ(lonely->errorMark, 1);
    EXPECT_EQ(bond->ends[1].portName, "p");
}

TEST_F(Checker, SignalsGoToTheirInputsInOrderAndOneOutputFeedsEverySignal)
{
    Settings().model_dirs = ORVANTA_LIBRARY_DIR;
    Submodel* sum = place(200, 200, "plus1");
    place(100, 100, "con1");
    place(100, 300, "con1");
    place(300, 100, "gain1");
    place(300, 300, "gain1");
    Connection* first = draw({{100, 100}, {200, 200}}, TOOL_SIGNAL);
    Connection* second = draw({{100, 300}, {200, 200}}, TOOL_SIGNAL);
    Connection* out1 = draw({{200, 200}, {300, 100}}, TOOL_SIGNAL);
    Connection* out2 = draw({{200, 200}, {300, 300}}, TOOL_SIGNAL);
    std::string text;
    auto record = build_connections(text, sum);
    ASSERT_TRUE(record) << text;
    EXPECT_EQ(auto_connect(*record), 1);
    EXPECT_EQ(check_connections(*record, 0), 0) << record->checkText;
    apply_connections(*record);
    EXPECT_EQ(end(*first, 1), "p1");
    EXPECT_EQ(end(*second, 1), "p2");
    EXPECT_EQ(end(*out1, 0), "y");
    EXPECT_EQ(end(*out2, 0), "y");
    EXPECT_EQ(record->checkText, "Submodel connected correctly");
}

TEST_F(Checker, FaultsAreNamedWithTheirRowAndPort)
{
    Settings().model_dirs = types + ";" + ORVANTA_LIBRARY_DIR;
    struct Case {
        const char* what;
        std::function<void(SubmodelConnections&)> spoil;
        const char* text;
    };
    Submodel* c = place(200, 100, "c1");
    place(100, 100, "se1");
    Connection* bond = draw({{100, 100}, {200, 100}}, TOOL_BOND);
    const Pio* port = nullptr;
    const std::vector<Case> cases = {
        {"a signal on the power port", [&](SubmodelConnections&) { bond->isSignal = 1; }, "Error: signal to power port"},
        {"a bond leaving an in-port", [&](SubmodelConnections&) { bond->direction = 2; },
         "Error: wrong bond orientation for power port"},
        {"a multibond of three on a scalar port",
         [&](SubmodelConnections& r) { r.rows[0].size = {3}; }, "Error: range width not equal to size"},
        {"a range from 0", [&](SubmodelConnections& r) {
             r.size = {2};
             ParseRangeList("0..1", r.rows[0].instanceIndex, model.arguments);
         }, "Error: submodel index: range starts below 1"},
        {"a range past the size", [&](SubmodelConnections& r) {
             r.size = {2};
             ParseRangeList("2..3", r.rows[0].instanceIndex, model.arguments);
         }, "Error: submodel index: range exceeds size"},
        {"more elements than the cap", [&](SubmodelConnections& r) { r.size = {100000, 100000}; },
         "Error: more than 1048576 elements"},
        {"more ranges than dimensions can be", [&](SubmodelConnections& r) {
             r.size = {1, 1, 1, 1, 1, 1, 1};
             for (int i = 0; i < 8; ++i)
                 r.rows[0].instanceIndex.push_back(MakeConstant(1));
         }, "Error: submodel index: more than 7 ranges"},
    };
    for (const Case& test : cases) {
        bond->isSignal = 0;
        bond->direction = 1;
        std::string text;
        auto record = build_connections(text, c);
        ASSERT_TRUE(record) << text;
        ASSERT_EQ(auto_connect(*record), 1) << test.what;
        port = record->rows[0].port;
        test.spoil(*record);
        EXPECT_EQ(check_connections(*record, 1), -1) << test.what;
        EXPECT_EQ(record->checkText, test.text) << test.what;
        EXPECT_NE(port, nullptr);
    }
}

TEST_F(Checker, ABuildThatCannotStartSaysWhy)
{
    Settings().model_dirs = ORVANTA_LIBRARY_DIR;
    std::string text;
    Submodel* missing = place(100, 100, "nosuch1");
    EXPECT_EQ(build_connections(text, missing), nullptr);
    EXPECT_EQ(text, "Can not connect nosuch_1_1: submodel description not found");
    Submodel* c = place(200, 100, "c1");
    EXPECT_EQ(build_connections(text, c), nullptr);
    EXPECT_EQ(text, "Can not connect c_1: no bond or signal to submodel found");
    c->arguments.push_back(MakeConstant(1));
    EXPECT_EQ(build_connections(text, c), nullptr);
    EXPECT_EQ(text, "Can not connect c_1: too many arguments declared");
    EXPECT_EQ(check_model(), 2);
    EXPECT_EQ(missing->errorMark, 1);
}

TEST(NameValidation, NamesTheFileWouldMisreadAreRefused)
{
    platform::ScriptedMessageSink sink;
    platform::ScopedMessageSink scoped(sink);
    clear_model();
    LibraryEntry c = entry("c1");
    Submodel* taken = create_submodel(100, 100, c);
    Pio* pio = create_pio(300, 100);
    struct Case {
        const char* name;
        const char* error; // empty: accepted
    };
    const Case cases[] = {
        {"p_in", ""},
        {"1j_2", ""},
        {"p_1", ""}, // its own name
        {"_x", "Name may not start with '_'."},
        {"a-b", "Character '-' not allowed in a name."},
        {"", "A non-empty string is expected as name."},
        {"c_1", "Name c_1 already used in the model."},
        {"123", "Name 123 is read as a number or keyword in the model file."},
        {"1e5", "Name 1e5 is read as a number or keyword in the model file."},
        {"or", "Name or is read as a number or keyword in the model file."},
        {"div", "Name div is read as a number or keyword in the model file."},
        {"E", "Name E is read as a number or keyword in the model file."},
        {"flow", "Name flow is read as a number or keyword in the model file."},
        {"connections", "Name connections is read as a number or keyword in the model file."},
    };
    for (const Case& test : cases) {
        std::string error;
        const int result = ValidateName(test.name, pio, [&](const std::string& text) { error = text; });
        EXPECT_EQ(result, test.error[0] ? 0 : 1) << test.name;
        EXPECT_EQ(error, test.error) << test.name;
    }
    std::string error;
    EXPECT_EQ(ValidateModelBaseName("or1", [&](const std::string& text) { error = text; }), 0);
    EXPECT_EQ(error, "Model name or is read as a number or keyword in the model file.");
    EXPECT_EQ(ValidateModelBaseName("demo1", [](const std::string&) {}), 1);

    ExprList list;
    auto check = [&](const std::string& text) {
        error.clear();
        return CheckSizeText(text, list, [&](const std::string& e) { error = e; });
    };
    EXPECT_EQ(check("2, 3"), 0);
    EXPECT_EQ(ListText(list), "2, 3");
    EXPECT_EQ(check("1 - 2"), -1);
    EXPECT_EQ(error, "Expression has result < 0, not allowed.");
    EXPECT_TRUE(list.empty());
    EXPECT_EQ(check("2,"), -1);
    EXPECT_EQ(error.rfind("Size expression error: ", 0), 0u) << error;
    (void)taken;
    clear_model();
}

TEST_F(Checker, OneLibraryEntryPerBaseNameAndTheYoungestFileDecidesItsKind)
{
    const std::string library = dir.mkdir("library");
    // One moment for every file, so that equal ages give equal times however slowly the test runs.
    const auto now = std::filesystem::file_time_type::clock::now();
    auto put = [&](const std::string& file, std::int64_t age) {
        const std::string path = library + "/" + file;
        ASSERT_TRUE(platform::writeFileAtomically(path, "class foo version 1\ninterface\n  ports: p\n"));
        std::filesystem::last_write_time(path, now - std::chrono::seconds(age));
    };
    put("Foo1.SF0", 100);
    put("foo1.sg0", 10);
    put("plus1.sg0", 10);
    put("plus1.sg3", 10);
    put("abc1.sf0", 10);
    Settings().model_dirs = library;
    ASSERT_EQ(read_library(0), 1);
    const std::vector<LibraryEntry>& list = LibraryLists()[0];
    std::vector<std::string> texts;
    for (const LibraryEntry& e : list)
        texts.push_back(e.text);
    EXPECT_EQ(texts, (std::vector<std::string>{"plus1", "abc1", "foo1"}));
    EXPECT_EQ(list[2].equation, 0) << "the graph file is younger";
    EXPECT_EQ(library_equation_flag("foo", 1), 0);

    // At equal times the equation file, which the processor tries first.
    put("foo1.sg0", 100);
    ASSERT_EQ(read_library(0), 1);
    EXPECT_EQ(LibraryLists()[0][2].equation, 1);
    // The type's file is found whatever the case of its name on disk.
    SubmodelType* type = FindOrAddType(model, "FOO", 1);
    EXPECT_EQ(type->name, "foo");
    EXPECT_EQ(type->isEquationModel, 1);
    EXPECT_EQ(read_submodel_type(type, 0), 0);
    ASSERT_TRUE(type->interface);
    EXPECT_EQ(type->filePath, library + "/Foo1.SF0");
}

} // namespace
