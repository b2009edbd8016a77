// Tests of reshaping and collection of whole hierarchical models, with their progress texts.
#include "common/settings_table.h"
#include "modelproc/causal_analysis.h"
#include "modelproc/display_hooks.h"
#include "modelproc/equation_collection.h"
#include "modelproc/equation_generation.h"
#include "modelproc/expansion.h"
#include "modelproc/graph_dissolution.h"
#include "modelproc/record_dump.h"
#include "modelproc/record_release.h"
#include "modelproc/tests/keldor_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

using keldortest::readAll;
using keldortest::kMsd;

namespace {


class GenerationTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetSettings();
        Settings().model_dirs = m_dir.path();
        keldortest::copyLibraryElements(m_dir, KELDOR_LIBRARY_DIR, {"se1", "sf1", "i1", "c1", "r1"});
        keldortest::writeThreePortJunctions(m_dir);
        Pipeline() = PipelineState{};
        m_saved = DisplayHooks();
    }
    void TearDown() override
    {
        DisplayHooks() = m_saved;
        DisplayHooks().error = [](const char*, const char*, const char*, int, const char*, const char*) {};
        release_all();
    }

    /// The modulated transformer and the cell, analysed as `analysed` does.
    ClassRec* analysedModulated();

    /// Parsed, expanded and causally analysed; null on failure. The hooks record from here on.
    ClassRec* analysed(const char* text)
    {
        auto parsed = keldortest::parseText(text);
        DisplayHooks().error = [this](const char* kind, const char* file, const char* submodel, int line,
                                      const char* token, const char* message) {
            m_log.push_back("error " + formatErrorLine(kind, file, submodel, line, token, message));
        };
        DisplayHooks().progress = [this](const char* text) { m_log.push_back(std::string("progress ") + text); };
        DisplayHooks().status = [this](const char* text) { m_log.push_back(std::string("status ") + text); };
        DisplayHooks().percent = [this](int value) { m_log.push_back("percent " + std::to_string(value)); };
        m_log.insert(m_log.end(), parsed.errors.begin(), parsed.errors.end());
        if (parsed.result != 0 || !parsed.cls || expand_model(parsed.cls, "m.mg0") != 1 ||
            causal_analysis(parsed.cls, "m.mg0") == 0)
            return nullptr;
        m_log.clear();
        return parsed.cls;
    }

    static std::string equations(const ClassRec* cls)
    {
        std::string text;
        for (EquationRec* eq : cls->equations->equations)
            text += dumpExpression(eq->left) + " = " + dumpExpression(eq->right) + "\n";
        return text;
    }

    testsupport::TempDir m_dir;
    ProcessorDisplayHooks m_saved;
    std::vector<std::string> m_log;
};

TEST_F(GenerationTest, MassSpringDamperIsSolvedForItsCausality)
{
    ClassRec* cls = analysed(kMsd);
    ASSERT_TRUE(cls) << (m_log.empty() ? "" : m_log.back());
    int counter = 1;
    ASSERT_EQ(reshapeAndCollect(cls, counter), 1);
    EXPECT_EQ(cls->type, CLASS_DYN);
    // The junctions compute the flow of their strong bond and the effort of the mass.
    EXPECT_EQ(equations(cls), "f`p.e = f`e\n"
                              "f`p.f = v`p2.f\n"
                              "v`p3.f = f`p.f\n"
                              "v`p2.e = (f`p.e - v`p3.e)\n"
                              "w`p2.f = v`p3.f\n"
                              "w`p3.f = v`p3.f\n"
                              "v`p3.e = (w`p2.e + w`p3.e)\n"
                              "v`p2.f = (int(v`p2.e) / m`i)\n"
                              "w`p2.e = (int(w`p2.f) / k`c)\n"
                              "w`p3.e = (d`r * w`p3.f)\n");
    EXPECT_EQ(m_log, (std::vector<std::string>{
                         "progress  . Reshaping of submodel equations..",
                         "status Generating equations (reshaping)..",
                         "percent 80",
                         "progress  . Collecting of equations..",
                         "status Generating equations (collecting)..",
                         "percent 85",
                     }));
}

// A flow source driving a mass through a 1-junction puts the mass in derivative causality:
// its equation is turned round, the integral becoming a derivative.
TEST_F(GenerationTest, OverruledPreferenceInvertsTheIntegral)
{
    ClassRec* cls = analysed("bond graph fm version 1\nsubclasses\n  sf;1 s\n  1j;1 v\n  i;1 m\n  r;1 d\n"
                             "connections\n  s`p -> v`p1\n  v`p2 -> m`p\n  v`p3 -> d`p\n");
    ASSERT_TRUE(cls) << (m_log.empty() ? "" : m_log.back());
    int counter = 1;
    ASSERT_EQ(reshapeAndCollect(cls, counter), 1) << testing::PrintToString(m_log);
    const std::string text = equations(cls);
    EXPECT_NE(text.find("v`p2.e = ddt((v`p2.f * m`i))"), std::string::npos) << text;
}

// Two capacitors on a zero-junction fed a flow: one keeps its integral, the other is turned to a
// derivative. Both take their type's class until reshaping; each gets its own equations, and the
// type's class is left as it was read.
TEST_F(GenerationTest, InstancesOfOneTypeKeepTheirOwnCausality)
{
    ClassRec* cls = analysed("bond graph cc version 1\nsubclasses\n  sf;1 s\n  0j;1 n\n  c;1 a, b\n"
                             "connections\n  s`p -> n`p1\n  n`p2 -> a`p\n  n`p3 -> b`p\n");
    ASSERT_TRUE(cls) << (m_log.empty() ? "" : m_log.back());
    SubclassRec* a = nullptr;
    for (SubclassRec* sub : cls->graph->subclasses)
        if (sub->name == "a")
            a = sub;
    ASSERT_TRUE(a && sharesTypeClass(a));
    const ClassRec* type = a->cls;
    const std::string typeBefore = dumpClass(type);
    const EquationRec* typeEquation = type->equations->equations.first();
    ASSERT_TRUE(typeEquation && typeEquation->left && typeEquation->right);
    const ExprNode* typeLeft = typeEquation->left;
    const SectionLink* typePort = typeLeft->record();
    int counter = 1;
    ASSERT_EQ(reshapeAndCollect(cls, counter), 1) << testing::PrintToString(m_log);
    EXPECT_EQ(equations(cls), "s`p.f = s`f\n"
                              "n`p2.e = s`p.e\n"
                              "s`p.e = n`p3.e\n"
                              "n`p3.f = (s`p.f - n`p2.f)\n"
                              "n`p2.f = ddt((n`p2.e * a`c))\n"
                              "n`p3.e = (int(n`p3.f) / b`c)\n");
    // The type's records stay its own (its ports went with the graph, so it is not dumped again).
    EXPECT_NE(typeBefore.find("p.e = (int(p.f) / c)"), std::string::npos) << typeBefore;
    ASSERT_EQ(type->equations->equations.count(), 1);
    EXPECT_EQ(type->equations->equations.first(), typeEquation);
    EXPECT_EQ(typeEquation->left, typeLeft);
    EXPECT_EQ(typeLeft->kind, TK_PORTNAME);
    EXPECT_EQ(typeLeft->record(), typePort);
    EXPECT_EQ(typeEquation->right->kind, TK_DIV);
    ASSERT_EQ(type->parameters.count(), 1);
    EXPECT_EQ(type->parameters.first()->name, "c");
    std::vector<std::string> parameters;
    for (const VarRec* var : cls->parameters)
        parameters.push_back(var->name.str());
    EXPECT_EQ(parameters, (std::vector<std::string>{"s`f", "a`c", "b`c"}));
}

// A damper of an array and one of its own, of the same type, each driven by its effort source.
TEST_F(GenerationTest, ArrayAndSingleInstancesOfOneTypeAreCollectedAlike)
{
    ClassRec* cls = analysed("bond graph ar version 1\nsubclasses\n  se;1 s[2], u\n  r;1 g[2], d\n"
                             "connections\n  s`p =2=> g`p\n  u`p -> d`p\n");
    ASSERT_TRUE(cls) << testing::PrintToString(m_log);
    int counter = 1;
    ASSERT_EQ(reshapeAndCollect(cls, counter), 1) << testing::PrintToString(m_log);
    EXPECT_EQ(equations(cls), "s[1..2]`p.e[1] = s`e[1]\n"
                              "s[1..2]`p.e[2] = s`e[2]\n"
                              "u`p.e = u`e\n"
                              "s[1..2]`p.f[1] = (s[1..2]`p.e[1] / g`r[1])\n"
                              "s[1..2]`p.f[2] = (s[1..2]`p.e[2] / g`r[2])\n"
                              "u`p.f = (u`p.e / d`r)\n");
    std::vector<std::string> parameters;
    for (const VarRec* var : cls->parameters)
        parameters.push_back(var->name + "/" + std::to_string(elementCount(var->dim)));
    EXPECT_EQ(parameters, (std::vector<std::string>{"s`e/2", "u`e/1", "g`r/2", "d`r/1"}));
}

// A transformer modulated by a signal chain, feeding a cell that is a graph submodel. The cell's
// type comes last, where expansion leaves it with its class.
const char* const kModulated = "bond graph mix version 1\nsubclasses\n  se;1 u\n  1j;1 j\n  i;1 m\n  mtf;1 x\n"
                               "  sine;1 s\n  gain;1 g\n  0j;1 z\n  c;1 k\n  r;1 d\n  cell;1 c\nconnections\n"
                               "  u`p -> j`p1\n  j`p2 -> m`p\n  j`p3 -> x`p1\n  x`p2 -> z`p1\n  z`p2 -> k`p\n"
                               "  z`p3 -> c`a\n  c`b -> d`p\n  s`y -: g`u\n  g`y -: x`m\n";
const char* const kCell = "bond graph cell version 1\ninterface\n  ports: a, b\nsubclasses\n  1j;1 v\n  0j;1 s\n"
                          "  i;1 m\n  c;1 k\nconnections\n  v`p1 -- a\n  v`p2 -> m`p\n  v`p3 -> s`p1\n"
                          "  s`p2 -> k`p\n  s`p3 -- b\n";

ClassRec* GenerationTest::analysedModulated()
{
    keldortest::copyLibraryElements(m_dir, KELDOR_LIBRARY_DIR, {"mtf1", "sine1", "gain1"});
    m_dir.write("cell1.sg0", kCell);
    return analysed(kModulated);
}

// Once the connections are numbered the bonds go: the body and its subclasses list none, the
// subclasses keep their signal ends in their order, the graph submodel types go with the bonds
// of their bodies, and the bond arena holds nothing. The tables keep what the bonds gave.
TEST_F(GenerationTest, BondsGoOnceTheirEndsAreNumbered)
{
    ClassRec* cls = analysedModulated();
    ASSERT_TRUE(cls) << testing::PrintToString(m_log);
    int counter = 1;
    ASSERT_EQ(numberConnections(cls, counter), 1);
    std::map<const SubclassRec*, std::vector<EndRef>> signalEnds;
    std::map<const SubclassRec*, std::vector<std::int32_t>> slots;
    std::size_t signals = 0;
    for (SubclassRec* sub : cls->graph->subclasses) {
        for (EndRef at : EndsAt(sub))
            if (at.end().type != END_SUB) {
                signalEnds[sub].push_back(at);
                ++signals;
            }
        for (const PortRec* port : portsOf(sub))
            for (ConnectedEnd e : ConnectedEnds(sub, port))
                slots[sub].push_back(e.slot());
    }
    EXPECT_EQ(signals, 4u);
    EXPECT_GT(BondArena().bytesUsed(), 0u);
    bool graphType = false;
    for (const SubmodelType* type : cls->graph->types)
        graphType = graphType || (type->cls && type->cls->type == CLASS_TOP);
    EXPECT_TRUE(graphType);

    ASSERT_TRUE(releaseBondRecords(cls));
    EXPECT_EQ(BondArena().bytesUsed(), 0u);
    EXPECT_TRUE(cls->graph->bonds.empty());
    for (const SubmodelType* type : cls->graph->types)
        EXPECT_FALSE(type->cls && type->cls->type == CLASS_TOP) << type->t_name;
    for (SubclassRec* sub : cls->graph->subclasses) {
        std::vector<EndRef> left;
        for (EndRef at : EndsAt(sub))
            left.push_back(at);
        EXPECT_EQ(left, signalEnds[sub]) << instance_name(sub);
        std::vector<std::int32_t> kept;
        for (const PortRec* port : portsOf(sub))
            for (ConnectedEnd e : ConnectedEnds(sub, port))
                kept.push_back(e.slot());
        EXPECT_EQ(kept, slots[sub]) << instance_name(sub);
    }
}

// While a graph submodel type still has a user, its body's bonds are still reached: nothing goes.
TEST_F(GenerationTest, BondsStayWhileAGraphTypeHasAUser)
{
    ClassRec* cls = analysedModulated();
    ASSERT_TRUE(cls) << testing::PrintToString(m_log);
    int counter = 1;
    ASSERT_EQ(numberConnections(cls, counter), 1);
    SubmodelType* graphType = nullptr;
    for (SubmodelType* type : cls->graph->types)
        if (type->cls && type->cls->type == CLASS_TOP)
            graphType = type;
    ASSERT_TRUE(graphType);
    graphType->users.pushFront(GraphArena().make<SubclassRec>());
    const std::size_t bonds = static_cast<std::size_t>(cls->graph->bonds.count());
    const std::size_t used = BondArena().bytesUsed();
    EXPECT_FALSE(releaseBondRecords(cls));
    EXPECT_EQ(static_cast<std::size_t>(cls->graph->bonds.count()), bonds);
    EXPECT_EQ(BondArena().bytesUsed(), used);
    EXPECT_EQ(graphType->cls->type, CLASS_TOP);
}

// The modulated transformer and the cell, collected with the bonds given back after numbering.
TEST_F(GenerationTest, CollectionWithoutTheBondsReadsTheirEndsFromTheTables)
{
    ClassRec* cls = analysedModulated();
    ASSERT_TRUE(cls) << testing::PrintToString(m_log);
    int counter = 1;
    ASSERT_EQ(reshapeAndCollect(cls, counter), 1) << testing::PrintToString(m_log);
    EXPECT_EQ(BondArena().bytesUsed(), 0u);
    // The transformer's ratio is the gain's output; the cell's ports take its bonds' slots.
    EXPECT_EQ(equations(cls), "u`p.e = u`e\n"
                              "u`p.f = j`p2.f\n"
                              "j`p3.f = u`p.f\n"
                              "j`p2.e = (u`p.e - j`p3.e)\n"
                              "j`p2.f = (int(j`p2.e) / m`i)\n"
                              "j`p3.e = (x`m * x`p2.e)\n"
                              "x`p2.f = (x`m * j`p3.f)\n"
                              "s`y = (s`amp * sin((s`omega * t)))\n"
                              "x`m = (g`k * s`y)\n"
                              "x`p2.e = z`p2.e\n"
                              "z`p3.e = x`p2.e\n"
                              "z`p2.f = (x`p2.f - z`p3.f)\n"
                              "z`p2.e = (int(z`p2.f) / k`c)\n"
                              "d`p.f = (d`p.e / d`r)\n"
                              "z`p3.f = c`v`p2.f\n"
                              "c`v`p3.f = z`p3.f\n"
                              "c`v`p2.e = (z`p3.e - c`v`p3.e)\n"
                              "c`v`p3.e = c`s`p2.e\n"
                              "d`p.e = c`v`p3.e\n"
                              "c`s`p2.f = (c`v`p3.f - d`p.f)\n"
                              "c`v`p2.f = (int(c`v`p2.e) / c`m`i)\n"
                              "c`s`p2.e = (int(c`s`p2.f) / c`k`c)\n");
}

// An equation over a whole port array whose elements lie on bonds of their own stands for one
// equation per element, each solved for what its own bond asks; a multibond over the whole array
// keeps the equation whole. Two arrays related element by element bind only the elements that
// match.
TEST_F(GenerationTest, EquationsOverPortElementsOnSeveralBondsAreSolvedElementByElement)
{
    keldortest::copyLibraryElements(m_dir, KELDOR_LIBRARY_DIR, {"mp_r1", "mp_tf1"});
    const struct {
        const char* what;
        const char* model;
        const char* equations;
    } cases[] = {
        {"an effort on one element, a flow on the other",
         "bond graph m version 1\nsubclasses\n  se;1 a\n  sf;1 b\n  mp_r;1 d(2)\nconnections\n"
         "  a`p -> d`p[1]\n  b`p -> d`p[2]\n",
         "a`p.e = a`e\nb`p.f = b`f\na`p.f = (a`p.e / d`r[1])\nb`p.e = (d`r[2] * b`p.f)\n"},
        {"one multibond over the whole array",
         "bond graph m version 1\nsubclasses\n  se;1 a[2]\n  mp_r;1 d(2)\nconnections\n  a`p =2=> d`p\n",
         "a[1..2]`p.e[1] = a`e[1]\na[1..2]`p.e[2] = a`e[2]\n"
         "a[1..2]`p.f[(1 .. 2)] = (a[1..2]`p.e[(1 .. 2)] / d`r[(1 .. 2)])\n"},
        {"transformers of opposite causalities side by side",
         "bond graph m version 1\nsubclasses\n  se;1 a\n  sf;1 b\n  r;1 l1, l2\n  mp_tf;1 x(2)\nconnections\n"
         "  a`p -> x`p1[1]\n  b`p -> x`p1[2]\n  x`p2[1] -> l1`p\n  x`p2[2] -> l2`p\n",
         "a`p.e = a`e\nb`p.f = b`f\nl1`p.f = (l1`p.e / l1`r)\nl2`p.e = (l2`r * l2`p.f)\n"
         "l1`p.e = (a`p.e / x`m[1])\nb`p.e = (x`m[2] * l2`p.e)\na`p.f = (l1`p.f / x`m[1])\n"
         "l2`p.f = (x`m[2] * b`p.f)\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ClassRec* cls = analysed(c.model);
        ASSERT_TRUE(cls) << testing::PrintToString(m_log);
        int counter = 1;
        ASSERT_EQ(reshapeAndCollect(cls, counter), 1) << testing::PrintToString(m_log);
        EXPECT_EQ(equations(cls), c.equations);
        release_all();
    }
}

// An element of a port array without a bond is named, with its submodel, by the equation over the
// array that cannot be solved for it.
TEST_F(GenerationTest, AnUnbondedElementOfAPortArrayIsNamed)
{
    keldortest::copyLibraryElements(m_dir, KELDOR_LIBRARY_DIR, {"mp_r1"});
    ClassRec* cls = analysed("bond graph m version 1\nsubclasses\n  se;1 a, b\n  mp_r;1 d(3)\nconnections\n"
                             "  a`p -> d`p[1]\n  b`p -> d`p[3]\n");
    ASSERT_TRUE(cls) << testing::PrintToString(m_log);
    int counter = 1;
    EXPECT_EQ(reshapeAndCollect(cls, counter), 0);
    EXPECT_NE(testing::PrintToString(m_log).find(
                  "Equations generation error : illegal or inconsistent equation: r[2]*p.f[2] = p.e[2] in mp_r1:d."),
              std::string::npos)
        << testing::PrintToString(m_log);
}

TEST_F(GenerationTest, ModelWithoutCausalAnalysisIsRefused)
{
    ClassRec* cls = analysed(kMsd);
    ASSERT_TRUE(cls);
    cls->causal = 0;
    int counter = 1;
    EXPECT_EQ(reshapeAndCollect(cls, counter), 0);
    ASSERT_EQ(m_log.size(), 1u);
    EXPECT_NE(m_log[0].find("<error: causal analysis not performed on this model>"), std::string::npos);
    EXPECT_EQ(cls->type, CLASS_TOP);
}

/// Checks the instruction sections of a code file: every V, R, S or A element is written exactly
/// once and never read before it is written. Gives the faults found, one per line.
std::string orderFaults(const std::string& code)
{
    std::istringstream in(code);
    std::string line;
    bool inEquations = false;
    std::set<std::string> written;
    std::string faults;
    auto tracked = [](const std::string& operand) {
        return !operand.empty() && std::string("VRSA").find(operand[0]) != std::string::npos;
    };
    while (std::getline(in, line)) {
        if (line.rfind("#E", 0) == 0) {
            inEquations = true;
            continue;
        }
        if (line.rfind("#", 0) == 0)
            inEquations = false;
        if (!inEquations || line.empty() || line[0] != '\t')
            continue;
        std::vector<std::string> fields;
        std::istringstream words(line);
        for (std::string w; words >> w;)
            fields.push_back(w);
        if (fields.size() < 2)
            continue;
        const std::string& op = fields[0];
        // jmp, jfa and plf only read; mra writes an element through its base (checked no further).
        const bool writes = op != "jmp" && op != "jfa" && op != "plf" && op != "mra";
        for (std::size_t i = writes ? 2 : 1; i < fields.size(); ++i)
            if (tracked(fields[i]) && !written.count(fields[i]) && op != "mra")
                faults += fields[i] + " read before written\n";
        if (writes && tracked(fields[1]) && !written.insert(fields[1]).second)
            faults += fields[1] + " written twice\n";
    }
    return faults;
}

/// The variable names of one declaration section, in order.
std::vector<std::string> declared(const std::string& code, const std::string& header)
{
    std::istringstream in(code);
    std::string line;
    std::vector<std::string> names;
    bool inside = false;
    while (std::getline(in, line)) {
        if (line.rfind("#", 0) == 0) {
            inside = line.rfind(header, 0) == 0;
            continue;
        }
        std::istringstream words(line);
        std::string type, name;
        if (inside && words >> type >> name)
            names.push_back(name);
    }
    return names;
}

/// Runs complete processing of the model file with the hooks recording into `log`.
int processCompletely(const std::string& modelFile, const std::string& workingDirectory,
                      std::vector<std::string>& log)
{
    const ProcessorDisplayHooks saved = DisplayHooks();
    DisplayHooks().progress = [&](const char* text) { log.push_back(text); };
    DisplayHooks().diag = [&](const char* text) { log.push_back(text); };
    DisplayHooks().status = [&](const char* text) { log.push_back(text); };
    DisplayHooks().percent = [&](int value) { log.push_back(std::to_string(value) + "%"); };
    DisplayHooks().error = [&](const char* kind, const char* file, const char* submodel, int line,
                               const char* token, const char* message) {
        log.push_back(formatErrorLine(kind, file, submodel, line, token, message));
    };
    Phases() = builtInPhases();
    Pipeline() = PipelineState{};
    Pipeline().modelFile = modelFile;
    Pipeline().depth = 6;
    Pipeline().workingDirectory = workingDirectory;
    ttset_error_callback(ttdisplay_error_comp);
    CurrentPosition() = ProcessingPosition{};
    const int result = ttprocess_model();
    DisplayHooks() = saved;
    return result;
}

/// The lines of `log` from the first that starts with `from`.
std::vector<std::string> linesFrom(const std::vector<std::string>& log, const std::string& from)
{
    for (auto it = log.begin(); it != log.end(); ++it)
        if (it->rfind(from, 0) == 0)
            return {it, log.end()};
    return {};
}

// Complete processing of the mass-spring-damper as the graph editor saved it: result 3, the code
// and equation files in the working directory, two states, and every instruction in computable order.
TEST(CompleteProcessing, MassSpringDamperIsWrittenInComputableOrder)
{
    testsupport::TempDir library;
    testsupport::TempDir work;
    ResetSettings();
    Settings().model_dirs = library.path();
    keldortest::copyLibraryElements(library, KELDOR_LIBRARY_DIR, {"se1", "i1", "c1", "r1"});
    keldortest::writeThreePortJunctions(library);
    std::vector<std::string> log;
    const int result = processCompletely(
        work.write("msd.mg0", readAll(std::string(KELDOR_TEST_DIR) + "/models/msd.mg0")), work.path(), log);
    ASSERT_EQ(result, 3) << testing::PrintToString(log);
    EXPECT_EQ(linesFrom(log, "Starting equations generation"),
              (std::vector<std::string>{
                  "Starting equations generation of msd1.", "Generating equations..",
                  " . Reshaping of submodel equations..", "Generating equations (reshaping)..", "80%",
                  " . Collecting of equations..", "Generating equations (collecting)..", "85%",
                  " . Determination of state and rate-variables..", "Generating equations (states/rates)..", "90%",
                  " . Sorting of equations..", "Generating equations (sorting)..", "95%",
                  " . Generation of simulation code..", "Generating equations (generating code)..",
                  "Declarations and sorted equations have been written to file msd1.e.", "100%",
                  "Equation generation completed successfully.", "Clearing memory..", "Model processed successfully."}));
    const std::string code = readAll(work.file("msd1.l"));
    ASSERT_FALSE(code.empty());
    EXPECT_TRUE(std::filesystem::exists(work.file("msd1.e")));
    EXPECT_EQ(orderFaults(code), "") << code;
    // dp/dt = F - q/c - r p/m and dq/dt = p/m, with p the momentum (s0) and q the spring's
    // displacement (s1).
    const std::string text = readAll(work.file("msd1.e"));
    EXPECT_NE(text.find("#Edynamic\t6\n"
                        "    V2 = s0 / P1\n"
                        "    V5 = s1 / P2\n"
                        "    R1 = V2\n"
                        "    V6 = P3 * V2\n"
                        "    V3 = V5 + V6\n"
                        "    R0 = V0 - V3\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(declared(code, "#Dstate_ind").size(), 2u) << code;
    EXPECT_EQ(declared(code, "#DRate_ind").size(), 2u) << code;
    EXPECT_TRUE(declared(code, "#DAlgloop").empty()) << code;
}

// Equation models go straight to states and sorting; a failing step ends the phase with its own
// line and the pipeline with -3, and no file is left behind.
TEST(CompleteProcessing, EquationModelsAndFailingSteps)
{
    const char* loop = "class loop version 1\nvariables\n  real x, y\nequations\n  x = 0.5 * y + 1\n  y = 0.5 * x + 1\n";
    const struct {
        const char* what;
        std::string name;
        std::string model;
        bool missingDirectory;
        int result;
        const char* failure; ///< the step's failure line, or null
    } cases[] = {
        {"an algebraic loop is torn", "loop", loop, false, 3, nullptr},
        // One equation written with ":=": the model is one fixed-order block, as a submodel would be.
        {"the pendulum", "pend", readAll(std::string(KELDOR_TEST_DIR) + "/models/pend.mf0"), false, 3, nullptr},
        {"an undefined variable cannot be sorted", "open",
         "class open version 1\nvariables\n  real x, w\nequations\n  x = w + 1\n", false, -3,
         "Sorting of equations did not succeed."},
        {"a working directory that is not there", "loop", loop, true, -3, "Simulation code generation did not succeed."},
    };
    for (const auto& c : cases) {
        testsupport::TempDir dir;
        const std::string work = c.missingDirectory ? dir.file("none") : dir.path();
        const std::string& name = c.name;
        std::vector<std::string> log;
        EXPECT_EQ(processCompletely(dir.write(name + "1.mf0", c.model), work, log), c.result) << c.what;
        const std::string code = readAll(dir.file(name + "1.l"));
        if (name == "pend") {
            EXPECT_NE(readAll(dir.file("pend1.e")).find("#Edynamic\t5\n    R0 = (-P1 / P0) * sin(s1)\n    R1 = s0\n"),
                      std::string::npos)
                << readAll(dir.file("pend1.e")) << testing::PrintToString(log);
            continue;
        }
        if (c.result == 3) {
            EXPECT_EQ(declared(code, "#DAlgloop"), (std::vector<std::string>{"x"})) << code;
            EXPECT_EQ(orderFaults(code), "") << code;
            EXPECT_NE(readAll(dir.file(name + "1.e")).find("#Edynamic\t4\n    V0 = (0.5 * a0) + 1\n"
                                                           "    A0 = (0.5 * V0) + 1\n"),
                      std::string::npos)
                << readAll(dir.file(name + "1.e"));
            EXPECT_FALSE(linesFrom(log, "Try to break variable: x").empty()) << testing::PrintToString(log);
            continue;
        }
        EXPECT_TRUE(code.empty()) << c.what;
        EXPECT_FALSE(linesFrom(log, c.failure).empty()) << c.what << testing::PrintToString(log);
        EXPECT_FALSE(linesFrom(log, "1 error(s) found during equations generation of " + name + "1.").empty())
            << c.what << testing::PrintToString(log);
        EXPECT_EQ(log.back(), "Processing failed during equation generation.") << c.what;
    }
}

// An equation over ranges of elements, as the index checks and the sorting take it, is written as
// one equation for each element, the ranges paired element by element in the order they run.
TEST(CompleteProcessing, EquationsOverRangesOfElementsAreWrittenElementByElement)
{
    const struct {
        const char* model;
        const char* equations;
    } cases[] = {
        {"class heat version 1\nparameters\n  real c\nvariables\n  real u[4]\nequations\n"
         "  u[1] = int(c*(u[2] - u[1]))\n  u[4] = int(c*(u[3] - u[4]))\n"
         "  u[2..3] = int(c*(u[1..2] - 2.0*u[2..3] + u[3..4]))\n",
         "#Edynamic\t12\n    R0 = P0 * (s1 - s0)\n    R3 = P0 * (s2 - s3)\n"
         "    R1 = P0 * ((s0 - (2.0 * s1)) + s2)\n    R2 = P0 * ((s1 - (2.0 * s2)) + s3)\n"},
        // A whole vector, and ranges of rows and of columns of matrices.
        {"class heat version 1\nparameters\n  real c, a[2, 3]\nvariables\n  real u[2], w[2], m[2, 2]\n"
         "equations\n  u = int(c*w)\n  w[1..2] = u[1..2]\n  m[1..2, 1] = a[1, 2..3]\n  m[1..2, 2] = a[1..2, 3]\n",
         "#EInitial\t4\n    V2 = P2\n    V4 = P3\n    V3 = P3\n    V5 = P6\n\n"
         "#Edynamic\t4\n    V0 = s0\n    V1 = s1\n    R0 = P0 * V0\n    R1 = P0 * V1\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.model);
        testsupport::TempDir dir;
        std::vector<std::string> log;
        ASSERT_EQ(processCompletely(dir.write("heat1.mf0", c.model), dir.path(), log), 3)
            << testing::PrintToString(log);
        const std::string text = readAll(dir.file("heat1.e"));
        EXPECT_NE(text.find(c.equations), std::string::npos) << text;
        EXPECT_EQ(orderFaults(readAll(dir.file("heat1.l"))), "");
    }
}

// An equation the code cannot be written for is named with the file and line it was written in and
// what cannot be done with it, after the text that tells the failure.
TEST(CompleteProcessing, EquationsThatCannotBeWrittenAreNamedWithTheirPlaceAndWhy)
{
    const struct {
        const char* model;
        const char* error;
    } cases[] = {
        {"class imp version 1\nparameters\n  real a\nvariables\n  real y1, y2, v\nequations\n  y1 = int(v)\n"
         "  v = a\n  0 = y1 - y2*y2*y2 - y2\n",
         "Equations generation error : <error: wrong opcode in expression> in the equation 0 = (y1-((y2*y2)*y2))-y2 "
         "(imp1.mf0, line 9): its left side is no variable, and an implicit equation is not solved for one of its "
         "variables."},
        {"class imp version 1\nvariables\n  real u[4], w[4]\nequations\n  w = 1\n  u[1..3] = w[1..4]\n  u[4] = 2\n",
         "Equations generation error : <error while writing code: ranges of elements that do not agree> in the "
         "equation u[1..3] = w[1..4] (imp1.mf0, line 6): w[1..4] is a range of 4 elements, and its left side one of "
         "3."},
        {"class imp version 1\nvariables\n  real u[4], x\nequations\n  u = 1\n  x = u[1..2]\n",
         "Equations generation error : <error while writing code: ranges of elements that do not agree> in the "
         "equation x = u[1..2] (imp1.mf0, line 6): u[1..2] is a range of 2 elements, and its left side is one "
         "element."},
    };
    ResetSettings();
    Settings().messages = 1;
    std::vector<std::string> errors;
    setProcessorLog([&](const std::string& line) { errors.push_back(line); });
    for (const auto& c : cases) {
        SCOPED_TRACE(c.model);
        testsupport::TempDir dir;
        std::vector<std::string> log;
        errors.clear();
        EXPECT_EQ(processCompletely(dir.write("imp1.mf0", c.model), dir.path(), log), -3);
        EXPECT_EQ(errors, std::vector<std::string>{c.error});
        EXPECT_FALSE(std::filesystem::exists(dir.file("imp1.l")));
    }
    setProcessorLog(nullptr);
    ResetSettings();
}

// A multibond between two whole arrays, written without indices, joins them element by element:
// each element has its own effort and flow, as with the ranges written out.
TEST(CompleteProcessing, MultibondOverWholeArraysGivesEveryElementItsVariables)
{
    for (const char* bond : {"F`p =3=> R`p", "F[1..3]`p =3=> R[1..3]`p"}) {
        SCOPED_TRACE(bond);
        testsupport::TempDir dir;
        ResetSettings();
        Settings().model_dirs = dir.path();
        keldortest::copyLibraryElements(dir, KELDOR_LIBRARY_DIR, {"se1", "r1"});
        std::vector<std::string> log;
        const std::string model =
            std::string("bond graph mb version 1\nsubclasses\n  se;1 F[3]\n  r;1 R[3]\nconnections\n  ") + bond + "\n";
        ASSERT_EQ(processCompletely(dir.write("mb.mg0", model), dir.path(), log), 3) << testing::PrintToString(log);
        const std::string code = readAll(dir.file("mb1.l"));
        EXPECT_EQ(declared(code, "#DVariable"),
                  (std::vector<std::string>{"F[1..3]`p.e[1]", "F[1..3]`p.e[2]", "F[1..3]`p.e[3]", "F[1..3]`p.f[1]",
                                            "F[1..3]`p.f[2]", "F[1..3]`p.f[3]"}))
            << code;
        EXPECT_NE(code.find("\tmov\tV0\tP0\n\tmov\tV1\tP1\n\tmov\tV2\tP2\n"), std::string::npos) << code;
        EXPECT_EQ(orderFaults(code), "") << code;
    }
}

/// " + a" `terms` times after `first`.
std::string longSum(const std::string& first, int terms)
{
    std::string text = first;
    text.reserve(first.size() + 4 * static_cast<std::size_t>(terms));
    for (int k = 0; k < terms; ++k)
        text += " + a";
    return text;
}

// Expressions of 10^5 and 10^6 terms (trees as deep) go through every phase, the writers
// included, without overflowing the stack: an equation model of one long sum, and at 10^5 a
// long product under an integral and a graph model whose submodel's long equation must be
// turned round for the causality its source gives.
TEST(CompleteProcessing, ExpressionsOfAMillionTermsAreProcessed)
{
    for (int terms : {100000, 1000000}) {
        SCOPED_TRACE(terms);
        testsupport::TempDir dir;
        ResetSettings();
        Settings().model_dirs = dir.path();
        keldortest::copyLibraryElements(dir, KELDOR_LIBRARY_DIR, {"se1"});
        std::string model = "class big version 1\nparameters\n  real a\nvariables\n  real x, y\nequations\n  x = " +
                            longSum("a", terms) + "\n";
        if (terms <= 100000) {
            std::string product = "x";
            for (int k = 0; k < terms; ++k)
                product += " * x";
            model += "  y = int(" + product + ")\n";
        } else {
            model += "  y = int(x)\n";
        }
        std::vector<std::string> log;
        ASSERT_EQ(processCompletely(dir.write("big1.mf0", model), dir.path(), log), 3) << log.back();
        const std::string code = readAll(dir.file("big1.l"));
        EXPECT_NE(code.find("#EInitial\t"), std::string::npos);
        EXPECT_EQ(declared(code, "#Dstate_ind").size(), 1u);
        if (terms > 100000)
            continue;
        dir.write("bigp1.sf0", "class bigp version 1\ninterface\n  ports: p\nparameters\n  real a\nequations\n  p.e = " +
                                  longSum("a * p.f", terms) + "\n");
        log.clear();
        ASSERT_EQ(processCompletely(dir.write("hb1.mg0", "bond graph hb version 1\nsubclasses\n  bigp;1 b\n  se;1 s\n"
                                                         "connections\n  s`p -> b`p\n"),
                                    dir.path(), log),
                  3)
            << log.back();
        // The flow is computed from the effort the source gives.
        EXPECT_NE(readAll(dir.file("hb1.e")).find("    V1 = (((((((((("), std::string::npos);
    }
}

} // namespace
