// Tests of the expansion's argument handling: the arguments file, argument values and
// their conditions.
#include "common/settings_table.h"
#include "modelproc/expansion.h"
#include "modelproc/graph_dissolution.h"
#include "modelproc/instance_application.h"
#include "modelproc/record_dump.h"
#include "modelproc/processing_pipeline.h"
#include "modelproc/record_release.h"
#include "modelproc/tests/keldor_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>

using keldortest::parseText;

using keldortest::readAll;

namespace {

// Two arguments with the conditions n >= 0 and m - n >= 0 (from the dimensions).
const char* kArgumentModel = "class a(n, m) version 1\nvariables\n  real x[n]\n  real y[m - n]\nequations\n"
                             "  x[1] = 1\n";

class ExpansionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetSettings();
        Settings().model_dirs = dir.path() + ";" + other.path();
        setExpansionErrorFile("top.mg0");
        ttset_progress_callback([this](const char* text) { progress.push_back(text); });
        Pipeline() = PipelineState{};
    }
    void TearDown() override
    {
        DisplayHooks().error = [](const char*, const char*, const char*, int, const char*, const char*) {};
        ttset_progress_callback(nullptr);
        release_all();
    }

    ClassRec* parseModel(const char* text)
    {
        auto parsed = parseText(text);
        EXPECT_EQ(parsed.result, 0) << (parsed.errors.empty() ? "" : parsed.errors[0]);
        // The parse leaves its own hook installed.
        DisplayHooks().error = [this](const char* kind, const char* file, const char* submodel, int line,
                                      const char* token, const char* message) {
            errors.push_back(formatErrorLine(kind, file, submodel, line, token, message));
        };
        return parsed.cls;
    }

    testsupport::TempDir dir;
    testsupport::TempDir other;
    std::vector<std::string> errors;
    std::vector<std::string> progress;
};

/// Copies element descriptions of the library into the model directory; the junctions "1j1" and
/// "0j1" are the ones of three named ports that these models are drawn with.
void copyLibrary(const testsupport::TempDir& dir, const std::vector<std::string>& names)
{
    for (const auto& name : names) {
        const std::string file = name + ".sf0";
        std::string text = readAll(std::string(KELDOR_LIBRARY_DIR) + "/" + file);
        for (const auto& [junction, threePorts] : kThreePortJunctions)
            if (file == junction)
                text = threePorts;
        dir.write(file, text);
    }
}

/// A bond end as "instance`port"; "?" for an end that is no subclass port.
std::string endText(const ConnEnd& end)
{
    if (end.type != END_SUB || !end.node)
        return "?";
    return instance_name(static_cast<const SubclassRec*>(end.node)) + "`" + end.name;
}

/// Every bond of the body as "from -> to", in list order.
std::vector<std::string> bondTexts(const GraphBody* body)
{
    std::vector<std::string> texts;
    for (BondRec* bond : body->bonds)
        texts.push_back(endText(bond->con[0]) + " -> " + endText(bond->con[1]));
    return texts;
}

/// Every end a subclass lists lies at it, and every bond end of the body is listed once by the
/// subclass it lies at.
bool bondListsAgree(const GraphBody* body)
{
    std::size_t listed = 0;
    for (SubclassRec* sub : body->subclasses)
        for (EndRef at : EndsAt(sub)) {
            if (at.end().node != sub)
                return false;
            listed += at.end().type == END_SUB ? 1 : 0;
        }
    std::size_t ends = 0;
    for (BondRec* bond : body->bonds)
        for (int side = 0; side < 2; ++side) {
            const ConnEnd& end = bond->con[side];
            if (end.type != END_SUB)
                return false;
            int found = 0;
            for (EndRef at : EndsAt(static_cast<SubclassRec*>(end.node)))
                found += at == EndRef(bond, side) ? 1 : 0;
            if (found != 1)
                return false;
            ++ends;
        }
    return listed == ends;
}

std::string expansionLine(const std::string& message)
{
    return formatErrorLine("Expansion error ", "top.mg0", nullptr, -1, nullptr, message.c_str());
}

} // namespace

TEST_F(ExpansionTest, ArgumentsFileGivesValuesInArgumentOrder)
{
    const struct {
        const char* file;
        std::vector<std::int32_t> values;
    } cases[] = {
        {"n 2\nm 5\n", {2, 5}},
        {"m\t-3\nn +4\n", {4, -3}},
        {"n 0\nm 2147483647", {0, 2147483647}}, // no newline after the last line
        {"n 1 # rows\nm 2\n", {1, 2}},
    };
    for (const auto& c : cases) {
        ClassRec* cls = parseModel(kArgumentModel);
        ASSERT_TRUE(cls);
        dir.write("a1.mga", c.file);
        auto values = read_model_arguments(cls);
        ASSERT_TRUE(values.has_value()) << c.file << (errors.empty() ? "" : errors[0]);
        EXPECT_EQ(*values, c.values) << c.file;
        EXPECT_TRUE(errors.empty());
        release_all();
    }
}

TEST_F(ExpansionTest, BadArgumentsFilesAreReported)
{
    const std::string file = dir.file("a1.mga");
    const struct {
        const char* text;
        std::vector<std::string> errors;
    } cases[] = {
        {"n 1\nn 2\nm 3\n", {"argument n of this model has value assigned already."}},
        {"k 1\n", {"in arguments file " + file + ": invalid argument name: k."}},
        {"3 1\n", {"in arguments file " + file + ": argument name expected instead of 3."}},
        {"n x\n", {"in arguments file " + file + ": integer value expected instead of x."}},
        {"n 1.5\n", {"in arguments file " + file + ": integer value expected instead of 1.5."}},
        {"n 99999999999\n", {"in arguments file " + file + ": integer value expected instead of 99999999999."}},
        {"n 1 m 2\n", {"in arguments file " + file + ": newline expected instead of m."}},
        {"\nn 1\n", {"in arguments file " + file + ": argument name expected instead of \n."}},
        {"n 1\n", {"no value assigned to argument m of this model."}},
        {"", {"no value assigned to argument n of this model.", "no value assigned to argument m of this model."}},
    };
    for (const auto& c : cases) {
        ClassRec* cls = parseModel(kArgumentModel);
        ASSERT_TRUE(cls);
        dir.write("a1.mga", c.text);
        errors.clear();
        EXPECT_FALSE(read_model_arguments(cls).has_value()) << c.text;
        std::vector<std::string> expected;
        for (const auto& e : c.errors)
            expected.push_back(expansionLine(e));
        EXPECT_EQ(errors, expected) << c.text;
        release_all();
    }
}

// The arguments file is looked for in the first model directory only.
TEST_F(ExpansionTest, MissingArgumentsFileIsReported)
{
    ClassRec* cls = parseModel(kArgumentModel);
    ASSERT_TRUE(cls);
    other.write("a1.mga", "n 1\nm 2\n");
    EXPECT_FALSE(read_model_arguments(cls).has_value());
    EXPECT_EQ(errors, std::vector<std::string>{expansionLine("arguments file " + dir.file("a1.mga") +
                                                             " not found for this model.")});
}

// An arguments file that is no regular file is not read (a pipe would be waited on): the
// message names it and says why.
TEST_F(ExpansionTest, AnArgumentsFileThatIsNoRegularFileIsRefusedByName)
{
    ClassRec* cls = parseModel(kArgumentModel);
    ASSERT_TRUE(cls);
    const testsupport::PipeReleaser pipe(dir.file("a1.mga"));
    EXPECT_FALSE(read_model_arguments(cls).has_value());
    EXPECT_EQ(errors, std::vector<std::string>{expansionLine("arguments file " + dir.file("a1.mga") +
                                                             " can not be read: it is not a regular file.")});
}

TEST_F(ExpansionTest, SetArgumentsChecksEveryCondition)
{
    const struct {
        std::vector<std::int32_t> values;
        int result;
    } cases[] = {
        {{1, 2}, 1},
        {{0, 7, 9}, 1}, // extra values are ignored
        {{2, 2}, 1},
        {{3, 2}, 0},    // m - n >= 0 fails
        {{-1, 5}, 0},   // n >= 0 fails
        {{1}, 0},       // too few values
    };
    for (const auto& c : cases) {
        ClassRec* cls = parseModel(kArgumentModel);
        ASSERT_TRUE(cls);
        EXPECT_EQ(set_arguments(cls, c.values), c.result) << testing::PrintToString(c.values);
        release_all();
    }
    EXPECT_TRUE(errors.empty());
}

TEST_F(ExpansionTest, MissingConditionIsReported)
{
    ClassRec* cls = parseModel(kArgumentModel);
    ASSERT_TRUE(cls);
    EXPECT_EQ(check_condition(cls, nullptr), 0);
    EXPECT_EQ(errors, std::vector<std::string>{expansionLine("<error: no argument condition derived for a1>")});
}

namespace {

// An oscillator cell with one port: a 1-junction carrying an inertia and a spring.
const char* kCell = "class cell version 1\ninterface\n  ports: p\nsubclasses\n  1j;1 j\n  i;1 m\n  c;1 k\n"
                    "connections\n  p -- j`p1\n  j`p2 -> m`p\n  j`p3 -> k`p\n";
// Two cells in series behind a one-junction: a graph submodel inside a graph submodel.
const char* kPair = "class pair version 1\ninterface\n  ports: p\nsubclasses\n  0j;1 n\n  cell;1 a, b\n"
                    "connections\n  p -- n`p1\n  n`p2 -> a`p\n  n`p3 -> b`p\n";
const char* kTop = "bond graph top version 1\nsubclasses\n  se;1 src\n  pair;1 load\nconnections\n"
                   "  src`p -> load`p\n";

} // namespace

// Instances that add nothing to their types (no arguments, no arrays) take their type's class
// until their equations are reshaped; each type is read once.
TEST_F(ExpansionTest, FlatModelInstancesTakeTheirTypesClassAndReadEachTypeOnce)
{
    copyLibrary(dir, {"se1", "1j1", "i1", "c1", "r1"});
    ClassRec* cls = parseModel(readAll(std::string(KELDOR_TEST_DIR) + "/models/msd.mg0").c_str());
    ASSERT_TRUE(cls);
    ASSERT_EQ(expand_model(cls, "msd.mg0"), 1) << (errors.empty() ? "" : errors[0]);
    EXPECT_TRUE(errors.empty());
    EXPECT_EQ(cls->argsub, 1);
    EXPECT_EQ(cls->expand, 1);
    int reads = 0;
    for (const auto& line : progress)
        reads += line.rfind(" . ", 0) == 0;
    EXPECT_EQ(reads, 5); // 1j is used twice
    std::vector<ClassRec*> classes;
    for (SubclassRec* sub : cls->graph->subclasses) {
        ASSERT_TRUE(sub->cls) << sub->name;
        EXPECT_EQ(sub->cls->type, CLASS_DYN);
        EXPECT_EQ(sub->cls, sub->type->cls) << sub->name;
        EXPECT_TRUE(sharesTypeClass(sub)) << sub->name;
        classes.push_back(sub->cls);
    }
    EXPECT_EQ(classes.size(), 6u);
    EXPECT_EQ(classes[1], classes[2]); // both one-junctions
    EXPECT_TRUE(std::filesystem::exists(dir.file("1j1.sf3")));
    EXPECT_FALSE(std::filesystem::exists(dir.file("1j1.sf0")));
    EXPECT_TRUE(bondListsAgree(cls->graph));
}

// An instance with arguments or of an array gets a copy of its own at once; the others of the
// same types take their type's class.
TEST_F(ExpansionTest, InstancesWithArgumentsOrArraysGetCopiesOfTheirOwn)
{
    copyLibrary(dir, {"se1", "0jv1", "r1"});
    ClassRec* cls = parseModel("bond graph t version 1\nsubclasses\n  se;1 a, b, s[2]\n  0jv;1 node(2)\n"
                               "  r;1 d[2], e\nconnections\n  a`p -> node`p[1]\n  b`p -> node`p[2]\n"
                               "  s[1..2]`p -> d[1..2]`p\n");
    ASSERT_TRUE(cls);
    ASSERT_EQ(expand_model(cls, "t.mg0"), 1) << (errors.empty() ? "" : errors[0]);
    std::map<std::string, bool> own;
    for (SubclassRec* sub : cls->graph->subclasses) {
        ASSERT_TRUE(sub->cls) << sub->name;
        own[sub->name.str()] = !sharesTypeClass(sub);
        EXPECT_EQ(own[sub->name.str()], sub->cls->instanceCopy) << sub->name;
    }
    EXPECT_EQ(own, (std::map<std::string, bool>{
                       {"a", false}, {"b", false}, {"s", true}, {"node", true}, {"d", true}, {"e", false}}));
    // The vector junction's copy has the port its argument sizes; its type keeps the argument.
    for (SubclassRec* sub : cls->graph->subclasses)
        if (sub->name == "node") {
            ASSERT_TRUE(sub->cls->ports.first());
            EXPECT_EQ(elementCount(sub->cls->ports.first()->dim), 2);
            EXPECT_FALSE(sub->type->cls->args.empty());
        }
}

TEST_F(ExpansionTest, NestedGraphSubmodelsAreFlattenedBreadthFirst)
{
    copyLibrary(dir, {"se1", "1j1", "0j1", "i1", "c1"});
    dir.write("cell1.sg0", kCell);
    dir.write("pair1.sg0", kPair);
    ClassRec* cls = parseModel(kTop);
    ASSERT_TRUE(cls);
    ASSERT_EQ(expand_model(cls, "top.mg0"), 1) << (errors.empty() ? "" : errors[0]);
    std::vector<std::string> names;
    for (SubclassRec* sub : cls->graph->subclasses) {
        names.push_back(instance_name(sub));
        EXPECT_EQ(sub->cls ? sub->cls->type : 0, CLASS_DYN) << names.back();
    }
    EXPECT_EQ(names, (std::vector<std::string>{"src", "load`n", "load`a`j", "load`a`m", "load`a`k", "load`b`j",
                                               "load`b`m", "load`b`k"}));
    std::vector<std::string> bonds = bondTexts(cls->graph);
    std::sort(bonds.begin(), bonds.end());
    EXPECT_EQ(bonds, (std::vector<std::string>{"load`a`j`p2 -> load`a`m`p", "load`a`j`p3 -> load`a`k`p",
                                               "load`b`j`p2 -> load`b`m`p", "load`b`j`p3 -> load`b`k`p",
                                               "load`n`p2 -> load`a`j`p1", "load`n`p3 -> load`b`j`p1",
                                               "src`p -> load`n`p1"}));
    EXPECT_TRUE(bondListsAgree(cls->graph));
    // The graph types are merged or gone; each library type is there once.
    std::map<std::string, int> types;
    for (SubmodelType* type : cls->graph->types)
        ++types[type->t_name.str()];
    for (const auto& [name, count] : types)
        EXPECT_EQ(count, 1) << name;
    // Each type's users are just the subclasses left of that type: the dissolved ones are gone.
    std::size_t users = 0;
    for (SubmodelType* type : cls->graph->types)
        for (SubclassRec* user : type->users) {
            ++users;
            EXPECT_EQ(user->type, type) << type->t_name;
            bool live = false;
            for (SubclassRec* sub : cls->graph->subclasses)
                live = live || sub == user;
            EXPECT_TRUE(live) << type->t_name;
        }
    EXPECT_EQ(users, names.size());
}

TEST_F(ExpansionTest, BrokenGraphSubmodelPortsAreExpansionErrors)
{
    copyLibrary(dir, {"se1", "1j1", "i1", "c1", "r1"});
    const struct {
        const char* cell;
        const char* top;
        const char* error;
    } cases[] = {
        {kCell, "bond graph top version 1\nsubclasses\n  se;1 src\n  cell;1 c1, c2\nconnections\n  src`p -> c1`p\n",
         "no bond connected with port p of submodel cell1:c2."},
        // A port with no inner bond would be dereferenced unchecked.
        {"class cell version 1\ninterface\n  ports: p\nsubclasses\n  i;1 m\n  c;1 k\nconnections\n  m`p -> k`p\n", kTop,
         "no internal bond connected with port p of submodel cell1:c1."},
        // A port with two inner bonds would keep only the last.
        {"class cell version 1\ninterface\n  ports: p\nsubclasses\n  i;1 m\n  c;1 k\nconnections\n  p -- m`p\n"
         "  p -- k`p\n",
         kTop, "more than one internal bond connected with port p of submodel cell1:c1."},
    };
    for (const auto& c : cases) {
        dir.write("cell1.sg0", c.cell);
        std::filesystem::remove(dir.file("cell1.sg3"));
        std::string top = c.top;
        if (top == kTop)
            top = "bond graph top version 1\nsubclasses\n  se;1 src\n  cell;1 c1\nconnections\n  src`p -> c1`p\n";
        ClassRec* cls = parseModel(top.c_str());
        ASSERT_TRUE(cls);
        errors.clear();
        EXPECT_EQ(expand_model(cls, "top.mg0"), 0) << c.error;
        EXPECT_EQ(errors, std::vector<std::string>{expansionLine(c.error)});
        release_all();
        for (const char* name : {"se1", "1j1", "i1", "c1", "r1"})
            if (std::filesystem::exists(dir.file(std::string(name) + ".sf3")))
                std::filesystem::rename(dir.file(std::string(name) + ".sf3"), dir.file(std::string(name) + ".sf0"));
    }
}

TEST_F(ExpansionTest, MissingSubmodelDescriptionIsReported)
{
    ClassRec* cls = parseModel("bond graph top version 1\nsubclasses\n  se;1 src\n  i;1 m\nconnections\n  src`p -> m`p\n");
    ASSERT_TRUE(cls);
    EXPECT_EQ(expand_model(cls, "top.mg0"), 0);
    EXPECT_EQ(errors, (std::vector<std::string>{expansionLine("description of submodel se1:src not found."),
                                                expansionLine("description of submodel i1:m not found.")}));
}

// At depth 4 the pipeline stops after the expansion with result 1.
TEST_F(ExpansionTest, PipelineExpandsAtDepthFour)
{
    copyLibrary(dir, {"se1", "1j1", "0j1", "i1", "c1"});
    dir.write("cell1.sg0", kCell);
    dir.write("pair1.sg0", kPair);
    Phases() = builtInPhases();
    Pipeline().modelFile = dir.write("top.mg0", kTop);
    Pipeline().depth = 4;
    Pipeline().workingDirectory = dir.path();
    ttset_error_callback(ttdisplay_error_comp);
    CurrentPosition() = ProcessingPosition{};
    EXPECT_EQ(ttprocess_model(), 1);
    EXPECT_EQ(CurrentPosition().errorCount, 0);
    EXPECT_NE(std::find(progress.begin(), progress.end(), "Expansion completed successfully."), progress.end());
    EXPECT_TRUE(std::filesystem::exists(dir.file("cell1.sg3")));
}

// An instance of dimension [2] of a scalar equation model: every declaration gets the
// dimension and each equation becomes one equation per element, in element order.
TEST_F(ExpansionTest, ArrayInstanceUnrollsEquations)
{
    ClassRec* cls = parseModel("class a version 1\ninterface\n  ports: p\nvariables\n  real x\nequations\n"
                               "  x = p.e\n  p.f = 2 * x\n");
    ASSERT_TRUE(cls);
    ExprList dim;
    dim.append(makeIntegerConstant(2));
    apply_instance(cls, dim, [&](const std::string& message) { errors.push_back(message); });
    EXPECT_TRUE(errors.empty());
    std::string dump = dumpClass(cls);
    EXPECT_NE(dump.find("port p[2]"), std::string::npos) << dump;
    EXPECT_NE(dump.find("variable x[2]"), std::string::npos) << dump;
    EXPECT_EQ(cls->equations->equations.count(), 4) << dump;
    std::vector<std::string> equations;
    for (EquationRec* eq : cls->equations->equations)
        equations.push_back(dumpExpression(eq->left) + " = " + dumpExpression(eq->right));
    EXPECT_EQ(equations, (std::vector<std::string>{"x[1] = p[1].e", "x[2] = p[2].e", "p[1].f = (2 * x[1])",
                                                   "p[2].f = (2 * x[2])"}))
        << dump;
}

// Argument-dependent dimensions become constants once the arguments have values.
TEST_F(ExpansionTest, ArgumentDimensionsBecomeConstants)
{
    ClassRec* cls = parseModel(kArgumentModel);
    ASSERT_TRUE(cls);
    ASSERT_EQ(set_arguments(cls, {2, 5}), 1);
    apply_instance(cls, ExprList{}, [&](const std::string& message) { errors.push_back(message); });
    EXPECT_TRUE(errors.empty());
    std::vector<std::int64_t> sizes;
    for (VarRec* var : cls->variables)
        sizes.push_back(elementCount(var->dim));
    EXPECT_EQ(sizes, (std::vector<std::int64_t>{2, 3}));
}

namespace {

std::string signalEnd(const ConnEnd& end)
{
    if ((end.type != END_SINP && end.type != END_SOUT) || !end.node)
        return "?";
    return instance_name(static_cast<const SubclassRec*>(end.node)) + "`" + end.name;
}

} // namespace

// Signals through a dissolved graph submodel join the outer source to the inner sink and the
// inner source to the outer sink; an output with no inner signal is an error, not a crash.
TEST_F(ExpansionTest, SignalsThroughAGraphSubmodelAreJoined)
{
    copyLibrary(dir, {"sine1", "gain1"});
    const char* top = "bond graph top version 1\nsubclasses\n  sine;1 src\n  amp;1 a\n  gain;1 g2\nconnections\n"
                      "  src`y -: a`u\n  a`y -: g2`u\n";
    dir.write("amp1.sg0", "class amp version 1\ninterface\n  inputs: real u\n  outputs: real y\nsubclasses\n"
                          "  gain;1 g\nconnections\n  u -: g`u\n  g`y -: y\n");
    ClassRec* cls = parseModel(top);
    ASSERT_TRUE(cls);
    ASSERT_EQ(expand_model(cls, "top.mg0"), 1) << (errors.empty() ? "" : errors[0]);
    std::vector<std::string> signals;
    for (SigconRec* sig : cls->graph->sigcons)
        signals.push_back(signalEnd(sig->con[0]) + " -> " + signalEnd(sig->con[1]));
    std::sort(signals.begin(), signals.end());
    EXPECT_EQ(signals, (std::vector<std::string>{"a`g`y -> g2`u", "src`y -> a`g`u"}));
    release_all();
    for (const char* name : {"sine1", "gain1"})
        std::filesystem::rename(dir.file(std::string(name) + ".sf3"), dir.file(std::string(name) + ".sf0"));
    std::filesystem::remove(dir.file("amp1.sg3"));

    dir.write("amp1.sg0", "class amp version 1\ninterface\n  inputs: real u\n  outputs: real y\nsubclasses\n"
                          "  gain;1 g\nconnections\n  u -: g`u\n");
    cls = parseModel(top);
    ASSERT_TRUE(cls);
    errors.clear();
    EXPECT_EQ(expand_model(cls, "top.mg0"), 0);
    EXPECT_EQ(errors, std::vector<std::string>{expansionLine("no internal signal connected with output y of "
                                                             "submodel amp1:a.")});
}

namespace {

std::string indexText(const ExprList& list)
{
    if (list.empty())
        return "";
    std::string text = "[";
    for (const ExprNode* e : list)
        text += (text.size() > 1 ? "," : "") + dumpExpression(e);
    return text + "]";
}

/// A bond end with its indices, as "instance[node]`port[index]".
std::string indexedEnd(const ConnEnd& end)
{
    if (end.type != END_SUB || !end.node)
        return "?";
    return instance_name(static_cast<const SubclassRec*>(end.node)) + indexText(end.nodeindex) + "`" + end.name +
           indexText(end.index);
}

// An equation submodel with a port array of four elements.
const char* kVec = "class vec version 1\ninterface\n  ports: q[4]\nequations\n  q.e = q.f\n";

} // namespace

// An array instance c[2] of a graph submodel: each outer bond picks one element of the array
// and lands on that element of the inner submodel array; an outer port index moves the inner
// port index by its offset; widths that do not agree are reported, not joined. An end without
// indices at the source array s1[2] names its whole range.
TEST_F(ExpansionTest, ArrayOfGraphSubmodelsJoinsBondByBond)
{
    copyLibrary(dir, {"sf1"});
    dir.write("vec1.sf0", kVec);
    const struct {
        const char* cell;
        const char* connections;
        std::vector<std::string> bonds;
        std::string error;
    } cases[] = {
        // Whole ports: the element of c picks the element of the inner array v.
        {"ports: p[2]\nsubclasses\n  vec;1 v\nconnections\n  p =2= v`q[3..4]\n",
         "  s1`p =2=> c[1]`p\n  s2`p =2=> c[2]`p\n",
         {"s1[(1 .. 2)]`p -> c`v[1]`q[(3 .. 4)]", "s2[(1 .. 2)]`p -> c`v[2]`q[(3 .. 4)]"}, ""},
        // The outer port index moves the inner one: [2..3] on [1..2] gives [2..3], [4] on [1] gives [4].
        {"ports: p[4]\nsubclasses\n  vec;1 v\nconnections\n  p[1..2] =2= v`q[1..2]\n",
         "  s1`p =2=> c[2]`p[2..3]\n",
         {"s1[(1 .. 2)]`p -> c`v[2]`q[(2 .. 3)]"}, ""},
        {"ports: p[4]\nsubclasses\n  vec;1 v\nconnections\n  p[1] -- v`q[1]\n",
         "  s1`p =2=> c[1..2]`p[4]\n",
         {"s1[(1 .. 2)]`p -> c`v[(1 .. 2)]`q[4]"}, ""},
        // A range of two outer elements on an inner port index of one.
        {"ports: p[4]\nsubclasses\n  vec;1 v\nconnections\n  p[1] -- v`q[1]\n",
         "  s1`p =2=> c`p[1..2]\n",
         {}, "illegal connection of internal bond to port p in submodel cell1:c."},
        // An element outside the instance array.
        {"ports: p[2]\nsubclasses\n  vec;1 v\nconnections\n  p =2= v`q[3..4]\n",
         "  s1`p =2=> c[3]`p\n",
         {}, "illegal connection of internal bond to port p in submodel cell1:c."},
        // A shift beyond the integer range is no connection, not a wrapped index.
        {"ports: p[4]\nsubclasses\n  vec;1 v\nconnections\n  p[1] -- v`q[2]\n",
         "  s1`p =2=> c`p[2147483647]\n",
         {}, "illegal connection of internal bond to port p in submodel cell1:c."},
        // An index the top model left as an expression.
        {"ports: p[4]\nsubclasses\n  vec;1 v\nconnections\n  p[1] -- v`q[1]\n",
         "  s1`p =2=> c`p[1 + 1]\n",
         {}, "<error: illegal opcode 288 in expression in submodel cell1:c>"},
        // An outer port index with no inner one to move.
        {"ports: p[2]\nsubclasses\n  vec;1 v\nconnections\n  p =2= v`q\n",
         "  s1`p =2=> c[1]`p[1..2]\n",
         {}, "<error: no index information in submodel cell1:c>"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.connections);
        dir.write("cell1.sg0", std::string("class cell version 1\ninterface\n  ") + c.cell);
        const std::string top = std::string("bond graph top version 1\nsubclasses\n  sf;1 s1[2], s2[2]\n"
                                            "  cell;1 c[2]\nconnections\n") +
                                c.connections;
        ClassRec* cls = parseModel(top.c_str());
        ASSERT_TRUE(cls);
        errors.clear();
        const int result = expand_model(cls, "top.mg0");
        std::vector<std::string> bonds;
        for (BondRec* bond : cls->graph->bonds)
            bonds.push_back(indexedEnd(bond->con[0]) + " -> " + indexedEnd(bond->con[1]));
        if (c.error.empty()) {
            EXPECT_EQ(result, 1) << (errors.empty() ? "" : errors[0]);
            EXPECT_TRUE(errors.empty());
            EXPECT_EQ(bonds, c.bonds);
            EXPECT_TRUE(bondListsAgree(cls->graph));
        } else {
            EXPECT_EQ(result, 0);
            ASSERT_FALSE(errors.empty());
            EXPECT_EQ(errors[0], expansionLine(c.error));
        }
        release_all();
        for (const char* name : {"sf1", "vec1", "cell1"})
            for (const char* from : {".sf3", ".sg3"})
                if (std::filesystem::exists(dir.file(std::string(name) + from)))
                    std::filesystem::rename(dir.file(std::string(name) + from),
                                            dir.file(std::string(name) + from[0] + from[1] + from[2] + "0"));
    }
}

// Each element of an array instance gets its own signals: the inner signal of an input is
// doubled for the second element, and both outer signals of the output are joined.
TEST_F(ExpansionTest, SignalsOfAnArrayOfGraphSubmodelsAreJoinedPerElement)
{
    copyLibrary(dir, {"sine1", "gain1"});
    dir.write("amp1.sg0", "class amp version 1\ninterface\n  inputs: real u\n  outputs: real y\nsubclasses\n"
                          "  gain;1 g\nconnections\n  u -: g`u\n  g`y -: y\n");
    ClassRec* cls = parseModel("bond graph top version 1\nsubclasses\n  sine;1 a, b\n  amp;1 x[2]\n  gain;1 g1, g2\n"
                               "connections\n  a`y -: x[1]`u\n  b`y -: x[2]`u\n  x[1]`y -: g1`u\n  x[2]`y -: g2`u\n");
    ASSERT_TRUE(cls);
    ASSERT_EQ(expand_model(cls, "top.mg0"), 1) << (errors.empty() ? "" : errors[0]);
    std::vector<std::string> signals;
    for (SigconRec* sig : cls->graph->sigcons) {
        std::string text;
        for (const ConnEnd& end : sig->con) {
            ASSERT_TRUE(end.type == END_SINP || end.type == END_SOUT);
            auto* sub = static_cast<SubclassRec*>(end.node);
            int listed = 0;
            for (EndRef at : EndsAt(sub))
                listed += at.connection() == sig && &at.end() == &end ? 1 : 0;
            EXPECT_EQ(listed, 1) << instance_name(sub);
            text += (text.empty() ? "" : " -> ") + instance_name(sub) + indexText(end.nodeindex) + "`" + end.name;
        }
        signals.push_back(text);
    }
    std::sort(signals.begin(), signals.end());
    EXPECT_EQ(signals, (std::vector<std::string>{"a`y -> x`g[1]`u", "b`y -> x`g[2]`u", "x`g[1]`y -> g1`u",
                                                 "x`g[2]`y -> g2`u"}));
}

namespace {

// A mass and a spring between two ports: one cell of a mass-spring chain.
const char* kChainCell = "bond graph cell version 1\ninterface\n  ports: pin, pout\nsubclasses\n  1j;1 j\n  i;1 m\n"
                    "  0j;1 z\n  c;1 k\nconnections\n  pin -- j`p1\n  j`p2 -> m`p\n  j`p3 -> z`p1\n"
                    "  z`p2 -> k`p\n  z`p3 -- pout\n";

} // namespace

// A bond between two elements of one array of graph submodels has both ends at the array: each
// end is joined through its own port, the pin end reaching the inner 1-junction and the pout end
// the inner 0-junction, each with the elements it names.
TEST_F(ExpansionTest, BondBetweenElementsOfOneGraphArrayJoinsBothEnds)
{
    copyLibrary(dir, {"se1", "r1", "1j1", "0j1", "i1", "c1"});
    dir.write("cell1.sg0", kChainCell);
    ClassRec* cls = parseModel("bond graph row version 1\nsubclasses\n  se;1 f\n  cell;1 c[3]\n  r;1 d\n"
                               "connections\n  f`p -> c[1]`pin\n  c[1..2]`pout -> c[2..3]`pin\n"
                               "  c[3]`pout -> d`p\n");
    ASSERT_TRUE(cls);
    errors.clear();
    ASSERT_EQ(expand_model(cls, "top.mg0"), 1) << testing::PrintToString(errors);
    std::vector<std::string> bonds;
    for (BondRec* bond : cls->graph->bonds)
        bonds.push_back(indexedEnd(bond->con[0]) + " -> " + indexedEnd(bond->con[1]));
    const std::vector<std::string> joined = {"f`p -> c`j[1]`p1", "c`z[(1 .. 2)]`p3 -> c`j[(2 .. 3)]`p1",
                                             "c`z[3]`p3 -> d`p"};
    ASSERT_GE(bonds.size(), joined.size());
    EXPECT_EQ(std::vector<std::string>(bonds.begin(), bonds.begin() + 3), joined);
    EXPECT_TRUE(bondListsAgree(cls->graph));
}

// Every element of a port takes one bond: two bonds at one element (a scalar port, or an element
// of an array's port), or an index outside the port or the array, fail the expansion with the
// submodel named. Disjoint elements of a vector port are fine.
TEST_F(ExpansionTest, PortElementsTakeOneBondEachInsideThePort)
{
    copyLibrary(dir, {"se1", "r1", "0jv1"});
    const struct {
        const char* subclasses;
        const char* connections;
        std::vector<std::string> errors;
    } cases[] = {
        {"  se;1 a, b\n  r;1 d\n", "  a`p -> d`p\n  b`p -> d`p\n",
         {"more than one bond connected with port p of submodel r1:d."}},
        {"  se;1 a, b\n  r;1 d[2]\n", "  a`p -> d[2]`p\n  b`p =2=> d`p\n",
         {"more than one bond connected with port p of submodel r1:d."}},
        {"  se;1 a, b, c\n  0jv;1 node(3)\n", "  a`p -> node`p[1]\n  b`p -> node`p[2]\n  c`p -> node`p[4]\n",
         {"bond connected with node`p[4], which lies outside port p of submodel 0jv1:node."}},
        {"  se;1 a\n  r;1 d[2]\n", "  a`p -> d[3]`p\n",
         {"bond connected with d[3]`p, which lies outside port p of submodel r1:d."}},
        {"  se;1 a, b, c\n  0jv;1 node(3)\n", "  a`p -> node`p[1]\n  b`p -> node`p[2]\n  c`p -> node`p[3]\n", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.connections);
        ClassRec* cls = parseModel(
            (std::string("bond graph top version 1\nsubclasses\n") + c.subclasses + "connections\n" + c.connections)
                .c_str());
        ASSERT_TRUE(cls);
        errors.clear();
        EXPECT_EQ(expand_model(cls, "top.mg0"), c.errors.empty() ? 1 : 0);
        std::vector<std::string> want;
        for (const std::string& e : c.errors)
            want.push_back(expansionLine(e));
        EXPECT_EQ(errors, want);
        release_all();
    }
}

// A model that holds itself, directly or through another model, is an expansion error naming
// the chain of classes, not a dissolution without end.
TEST_F(ExpansionTest, ModelHoldingItselfIsReportedWithItsChain)
{
    copyLibrary(dir, {"se1"});
    dir.write("rec1.sg0", "bond graph rec version 1\ninterface\n  ports: p\nsubclasses\n  rec;1 r\n"
                          "connections\n  p -- r`p\n");
    dir.write("ma1.sg0", "bond graph ma version 1\ninterface\n  ports: p\nsubclasses\n  mb;1 b\n"
                         "connections\n  p -- b`p\n");
    dir.write("mb1.sg0", "bond graph mb version 1\ninterface\n  ports: p\nsubclasses\n  ma;1 a\n"
                         "connections\n  p -- a`p\n");
    const struct {
        const char* type;
        const char* error;
    } cases[] = {
        {"rec", "submodel rec1:x`r contains itself: rec1 -> rec1."},
        {"ma", "submodel ma1:x`b`a contains itself: ma1 -> mb1 -> ma1."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.type);
        ClassRec* cls = parseModel((std::string("bond graph top version 1\nsubclasses\n  se;1 f\n  ") + c.type +
                                    ";1 x\nconnections\n  f`p -> x`p\n")
                                       .c_str());
        ASSERT_TRUE(cls);
        errors.clear();
        EXPECT_EQ(expand_model(cls, "top.mg0"), 0);
        EXPECT_EQ(errors, std::vector<std::string>{expansionLine(c.error)});
        release_all();
    }
}

// A bond against the fixed orientation of a power port (the capacitor's bond pointing out of it,
// a junction's first bond leaving it) is reported in the log with the graph editor's words, and
// the expansion goes on; bonds along the orientations give no word.
TEST_F(ExpansionTest, BondAgainstAFixedOrientationIsWarnedAbout)
{
    copyLibrary(dir, {"sf1", "0j1", "c1", "r1"});
    std::vector<std::string> diagnostics;
    ttset_diag_callback([&](const char* text) { diagnostics.push_back(text); });
    const struct {
        const char* connections;
        std::vector<std::string> warnings;
    } cases[] = {
        {"  s`p -> n`p1\n  n`p2 -> k`p\n  n`p3 -> d`p\n", {}},
        {"  s`p -> n`p1\n  k`p -> n`p2\n  n`p3 -> d`p\n",
         {"Warning: wrong bond orientation for power port p2 of submodel 0j1:n.",
          "Warning: wrong bond orientation for power port p of submodel c1:k."}},
        {"  n`p1 <- s`p\n  n`p2 -> k`p\n  d`p <- n`p3\n", {}},
        {"  n`p1 -> s`p\n  n`p2 -> k`p\n  n`p3 -> d`p\n",
         {"Warning: wrong bond orientation for power port p1 of submodel 0j1:n."}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.connections);
        ClassRec* cls = parseModel((std::string("bond graph top version 1\nsubclasses\n  sf;1 s\n  0j;1 n\n  c;1 k\n"
                                                "  r;1 d\nconnections\n") +
                                    c.connections)
                                       .c_str());
        ASSERT_TRUE(cls);
        diagnostics.clear();
        EXPECT_EQ(expand_model(cls, "top.mg0"), 1) << testing::PrintToString(errors);
        EXPECT_EQ(diagnostics, c.warnings);
        release_all();
    }
    ttset_diag_callback(nullptr);
}

// Arguments bind in order and extra ones to none: the model is processed as without them, and
// the log says so, since they were meant for something.
TEST_F(ExpansionTest, ArgumentsBeyondTheTypesAreIgnoredWithAWarning)
{
    copyLibrary(dir, {"se1", "i1"});
    dir.write("a1.sf0", kArgumentModel);
    ClassRec* cls = parseModel("bond graph t version 1\nsubclasses\n  se;1 f\n  i;1 m(2147483647)\n"
                               "  a;1 w(1, 2, 3, 4)\nconnections\n  f`p -> m`p\n");
    ASSERT_TRUE(cls);
    ASSERT_EQ(expand_model(cls, "t.mg0"), 1) << (errors.empty() ? "" : errors[0]);
    EXPECT_TRUE(errors.empty());
    std::vector<std::string> warnings;
    for (const std::string& line : progress)
        if (line.rfind("Warning:", 0) == 0)
            warnings.push_back(line);
    EXPECT_EQ(warnings, (std::vector<std::string>{
                            "Warning: 1 argument(s) given for submodel i1:m, which takes 0; the last 1 are ignored.",
                            "Warning: 4 argument(s) given for submodel a1:w, which takes 2; the last 2 are ignored."}));
}
