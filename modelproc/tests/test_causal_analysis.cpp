// Tests of the causal analysis against textbook bond-graph causalities: integral causality
// on storage elements, derivative causality, algebraic loops and conflicts.
#include "common/settings_table.h"
#include "modelproc/causal_analysis.h"
#include "modelproc/causality_assignment.h"
#include "modelproc/expansion.h"
#include "modelproc/function_table.h"
#include "modelproc/graph_dissolution.h"
#include "modelproc/processing_pipeline.h"
#include "modelproc/record_release.h"
#include "modelproc/template_writer.h"
#include "bench/modelproc/chain_model.h"
#include "modelproc/tests/golden_files.h"
#include "modelproc/tests/keldor_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>

using keldortest::parseText;

using keldortest::readAll;
using keldortest::kMsd;

namespace {

// DC motor: voltage source, resistance and inductance on the electrical junctions, a gyrator,
// rotor inertia and bearing friction on the mechanical junction.
const char* kMotor = "bond graph motor version 1\nsubclasses\n  se;1 u\n  1j;1 ja, jb, jc\n  r;1 ra, b\n"
                     "  i;1 la, jm\n  gy;1 km\nconnections\n  u`p -> ja`p1\n  ja`p2 -> ra`p\n  ja`p3 -> jb`p1\n"
                     "  jb`p2 -> la`p\n  jb`p3 -> km`p1\n  km`p2 -> jc`p1\n  jc`p2 -> jm`p\n  jc`p3 -> b`p\n";

class CausalTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetSettings();
        Settings().model_dirs = dir.path();
        keldortest::copyLibraryElements(dir, KELDOR_LIBRARY_DIR, {"se1", "sf1", "i1", "c1", "r1", "gy1", "tf1", "mtf1", "sine1"});
        keldortest::writeThreePortJunctions(dir);
        Pipeline() = PipelineState{};
        Pipeline().depth = 6;
        ttset_progress_callback([this](const char* text) { progress.push_back(text); });
    }
    void TearDown() override
    {
        DisplayHooks().error = [](const char*, const char*, const char*, int, const char*, const char*) {};
        ttset_progress_callback(nullptr);
        release_all();
    }

    /// Parses and expands the model; null on failure.
    ClassRec* expanded(const char* text)
    {
        auto parsed = parseText(text);
        EXPECT_EQ(parsed.result, 0) << (parsed.errors.empty() ? "" : parsed.errors[0]);
        DisplayHooks().error = [this](const char* kind, const char* file, const char* submodel, int line,
                                      const char* token, const char* message) {
            errors.push_back(formatErrorLine(kind, file, submodel, line, token, message));
        };
        if (!parsed.cls || expand_model(parsed.cls, "m.mg0") != 1)
            return nullptr;
        return parsed.cls;
    }

    /// As `expanded`, for a model whose bonds may share an element of a port. Expansion refuses
    /// such a model (no equations could be written for it), but its flat body is still analysed:
    /// `shared` tells whether expansion reported sharing and nothing else.
    ClassRec* expandedSharing(const char* text, bool& shared)
    {
        auto parsed = parseText(text);
        EXPECT_EQ(parsed.result, 0) << (parsed.errors.empty() ? "" : parsed.errors[0]);
        std::vector<std::string> expansionErrors;
        DisplayHooks().error = [&](const char* kind, const char* file, const char* submodel, int line,
                                   const char* token, const char* message) {
            expansionErrors.push_back(formatErrorLine(kind, file, submodel, line, token, message));
        };
        const int result = parsed.cls ? expand_model(parsed.cls, "m.mg0") : 0;
        shared = !expansionErrors.empty() &&
                 std::all_of(expansionErrors.begin(), expansionErrors.end(), [](const std::string& e) {
                     return e.find("more than one bond connected with port") != std::string::npos;
                 });
        errors = expansionErrors;
        DisplayHooks().error = [this](const char* kind, const char* file, const char* submodel, int line,
                                      const char* token, const char* message) {
            errors.push_back(formatErrorLine(kind, file, submodel, line, token, message));
        };
        if (!parsed.cls || (result != 1 && !shared))
            return nullptr;
        errors.clear();
        return parsed.cls;
    }

    /// The causality of the bond at the instance's port, seen from that port (1 effort, 2 flow).
    static int causalityAt(ClassRec* cls, const std::string& instance)
    {
        for (BondRec* bond : cls->graph->bonds)
            for (int end = 0; end < 2; ++end) {
                auto* sub = static_cast<SubclassRec*>(bond->con[end].node);
                if (sub && instance_name(sub) == instance)
                    return bondCausalityFrom(bond, end);
            }
        return -1;
    }

    bool saw(const std::string& line) const
    {
        return std::find(progress.begin(), progress.end(), line) != progress.end();
    }

    testsupport::TempDir dir;
    std::vector<std::string> errors;
    std::vector<std::string> progress;
};

} // namespace

// Integral causality: an inertia takes effort and gives flow, a spring takes flow and gives
// effort; the source gives effort.
TEST_F(CausalTest, StorageElementsGetIntegralCausality)
{
    const struct {
        const char* model;
        std::vector<std::pair<std::string, int>> expected;
    } cases[] = {
        {kMsd, {{"f", 1}, {"m", 2}, {"k", 1}, {"d", 1}}},
        {kMotor, {{"u", 1}, {"la", 2}, {"jm", 2}, {"ra", 1}, {"b", 1}}},
    };
    for (const auto& c : cases) {
        ClassRec* cls = expanded(c.model);
        ASSERT_TRUE(cls) << (errors.empty() ? "" : errors[0]);
        EXPECT_EQ(causal_analysis(cls, "m.mg0"), 1) << (errors.empty() ? "" : errors[0]);
        EXPECT_TRUE(errors.empty());
        for (BondRec* bond : cls->graph->bonds)
            EXPECT_TRUE(bond->caus == CAUS_ECY || bond->caus == CAUS_FCY);
        for (const auto& [instance, caus] : c.expected)
            EXPECT_EQ(causalityAt(cls, instance), caus) << instance;
        EXPECT_EQ(cls->causal, 1);
        release_all();
        errors.clear();
    }
}

TEST_F(CausalTest, RigidlyCoupledInertiasGiveOneDerivativeCausality)
{
    ClassRec* cls = expanded("bond graph two version 1\nsubclasses\n  se;1 f\n  1j;1 v\n  i;1 m1, m2\n"
                             "connections\n  f`p -> v`p1\n  v`p2 -> m1`p\n  v`p3 -> m2`p\n");
    ASSERT_TRUE(cls);
    EXPECT_EQ(causal_analysis(cls, "m.mg0"), 2);
    EXPECT_TRUE(saw("1 derivative causality is located.")) << testing::PrintToString(progress);
    // One inertia keeps integral causality, the other is driven by it.
    EXPECT_EQ((causalityAt(cls, "m1") == 2) + (causalityAt(cls, "m2") == 2), 1);
}

TEST_F(CausalTest, TwoDampersOnOneJunctionFormAnAlgebraicLoop)
{
    ClassRec* cls = expanded("bond graph loop version 1\nsubclasses\n  se;1 f\n  1j;1 v\n  r;1 r1, r2\n"
                             "connections\n  f`p -> v`p1\n  v`p2 -> r1`p\n  v`p3 -> r2`p\n");
    ASSERT_TRUE(cls);
    EXPECT_EQ(causal_analysis(cls, "m.mg0"), 3);
    EXPECT_TRUE(saw("1 algebraic loop is located.")) << testing::PrintToString(progress);
    EXPECT_TRUE(saw("Possible algebraic loop break variables can be found in the bonds:"));
    // Exactly one damper sets the common flow.
    EXPECT_EQ((causalityAt(cls, "r1") == 1) + (causalityAt(cls, "r2") == 1), 1);
}

TEST_F(CausalTest, TwoEffortSourcesOnOneZeroJunctionConflict)
{
    ClassRec* cls = expanded("bond graph clash version 1\nsubclasses\n  se;1 s1, s2\n  0j;1 n\n  r;1 d\n"
                             "connections\n  s1`p -> n`p1\n  s2`p -> n`p2\n  n`p3 -> d`p\n");
    ASSERT_TRUE(cls);
    EXPECT_EQ(causal_analysis(cls, "m.mg0"), 0);
    ASSERT_FALSE(errors.empty());
    EXPECT_NE(errors[0].find("causal conflict between submodels se1:s"), std::string::npos) << errors[0];
}

TEST_F(CausalTest, ModelWithPortsIsRefused)
{
    auto parsed = parseText("class cell version 1\ninterface\n  ports: p\nsubclasses\n  i;1 m\nconnections\n"
                            "  p -- m`p\n");
    ASSERT_TRUE(parsed.cls);
    DisplayHooks().error = [this](const char* kind, const char* file, const char* submodel, int line,
                                  const char* token, const char* message) {
        errors.push_back(formatErrorLine(kind, file, submodel, line, token, message));
    };
    EXPECT_EQ(causal_analysis(parsed.cls, "m.mg0"), 0);
    EXPECT_EQ(errors, std::vector<std::string>{formatErrorLine("Causality error ", "m.mg0", nullptr, -1, nullptr,
                                                               "<error: this model still contains ports>")});
}

namespace {

// The motor as a graph submodel with an electrical and a mechanical port, driving a load
// inertia with friction; the argument only passes through to the motor.
const char* kMotorCell = "class motor(n) version 1\ninterface\n  ports: pe, pm\nsubclasses\n  1j;1 ja, jb, jc\n"
                         "  r;1 ra\n  i;1 la, jm\n  gy;1 km\nconnections\n  pe -- ja`p1\n  ja`p2 -> ra`p\n"
                         "  ja`p3 -> jb`p1\n  jb`p2 -> la`p\n  jb`p3 -> km`p1\n  km`p2 -> jc`p1\n  jc`p2 -> jm`p\n"
                         "  pm -- jc`p3\n";
const char* kDrive = "class drive(n) version 1\nsubclasses\n  se;1 u\n  motor;1 mot(n)\n  1j;1 jl\n  i;1 load\n"
                     "  r;1 fr\nconnections\n  u`p -> mot`pe\n  mot`pm -> jl`p1\n  jl`p2 -> load`p\n  jl`p3 -> fr`p\n";
// The same model written flat, its parts and bonds in the order the flattening leaves them.
const char* kDriveFlat = "bond graph drive version 1\nsubclasses\n  se;1 u\n  1j;1 jl\n  i;1 load\n  r;1 fr\n"
                         "  1j;1 ja, jb, jc\n  r;1 ra\n  i;1 la, jm\n  gy;1 km\nconnections\n  u`p -> ja`p1\n"
                         "  jc`p3 -> jl`p1\n  jl`p2 -> load`p\n  jl`p3 -> fr`p\n  ja`p2 -> ra`p\n  ja`p3 -> jb`p1\n"
                         "  jb`p2 -> la`p\n  jb`p3 -> km`p1\n  km`p2 -> jc`p1\n  jc`p2 -> jm`p\n";

/// Every bond as "from -> to caus", the motor's instance prefix removed, sorted.
std::vector<std::string> causalities(ClassRec* cls)
{
    std::vector<std::string> lines;
    for (BondRec* bond : cls->graph->bonds) {
        std::string line;
        for (int end = 0; end < 2; ++end) {
            std::string name = instance_name(static_cast<SubclassRec*>(bond->con[end].node));
            if (name.rfind("mot`", 0) == 0)
                name = name.substr(4);
            line += name + "`" + bond->con[end].name + (end == 0 ? " -> " : " ");
        }
        lines.push_back(line + std::to_string(bond->caus));
    }
    std::sort(lines.begin(), lines.end());
    return lines;
}

} // namespace

TEST_F(CausalTest, MotorAsGraphSubmodelMatchesTheFlatModel)
{
    dir.write("motor1.sg0", kMotorCell);
    dir.write("drive1.mga", "n 2\n");
    ClassRec* hierarchical = expanded(kDrive);
    ASSERT_TRUE(hierarchical) << (errors.empty() ? "" : errors[0]);
    // Motor inertia and load inertia are rigidly coupled: one of them is in derivative causality.
    EXPECT_EQ(causal_analysis(hierarchical, "m.mg0"), 2);
    std::vector<std::string> nested = causalities(hierarchical);
    ClassRec* flat = expanded(kDriveFlat);
    ASSERT_TRUE(flat);
    EXPECT_EQ(causal_analysis(flat, "m.mg0"), 2);
    EXPECT_EQ(causalities(flat), nested);
    EXPECT_EQ(nested.size(), 10u);
    // The inductance stays integral; exactly one of the two coupled inertias does.
    EXPECT_NE(std::find(nested.begin(), nested.end(), "jb`p2 -> la`p 1"), nested.end());
    EXPECT_EQ(std::count(nested.begin(), nested.end(), "jc`p2 -> jm`p 1") +
                  std::count(nested.begin(), nested.end(), "jl`p2 -> load`p 1"),
              1);
    EXPECT_TRUE(errors.empty()) << errors[0];
}

// The pipeline at depth 5 stops after the causal analysis with result 2; a conflict gives -2.
TEST_F(CausalTest, PipelineResultsAtDepthFive)
{
    const struct {
        const char* model;
        int result;
        const char* line;
    } cases[] = {
        {kMsd, 2, "Causal analysis completed successfully."},
        {kMotor, 2, "Causal analysis completed successfully."},
        // Crank-slider: the crank inertia drives the slider mass through a transformer whose
        // ratio is a signal, so the mass follows the crank: one derivative causality.
        {"bond graph crank version 1\nsubclasses\n  se;1 tq\n  1j;1 jw, jv\n  i;1 jc, ms\n  mtf;1 rod\n"
         "  sine;1 ang\n  r;1 fr\nconnections\n  tq`p -> jw`p1\n  jw`p2 -> jc`p\n  jw`p3 -> rod`p1\n"
         "  rod`p2 -> jv`p1\n  jv`p2 -> ms`p\n  jv`p3 -> fr`p\n  ang`y -: rod`m\n",
         2, "1 derivative causality is located."},
        {"bond graph clash version 1\nsubclasses\n  se;1 s1, s2\n  0j;1 n\n  r;1 d\nconnections\n  s1`p -> n`p1\n"
         "  s2`p -> n`p2\n  n`p3 -> d`p\n",
         -2, "Equations can not be generated due to causal error(s)."},
    };
    for (const auto& c : cases) {
        testsupport::TempDir work;
        Phases() = builtInPhases();
        Settings().tempfiles = 1;
        // The file is named for the model its heading names.
        const std::string heading = c.model;
        const std::size_t start = heading.find("graph ") + 6;
        const std::string name = heading.substr(start, heading.find(' ', start) - start) + "1";
        Pipeline().modelFile = work.write(name + ".mg0", c.model);
        Pipeline().depth = c.result == -2 ? 6 : 5;
        Pipeline().workingDirectory = work.path();
        ttset_error_callback(ttdisplay_error_comp);
        CurrentPosition() = ProcessingPosition{};
        progress.clear();
        EXPECT_EQ(ttprocess_model(), c.result) << c.model;
        EXPECT_TRUE(saw(c.line)) << testing::PrintToString(progress);
        if (c.result == 2) {
            EXPECT_TRUE(std::filesystem::exists(work.file(name + ".t2")));
        }
        // Library files moved to their processed names; put them back for the next model.
        for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
            std::string path = entry.path().string();
            if (path.size() > 4 && path.substr(path.size() - 4) == ".sf3")
                std::filesystem::rename(path, path.substr(0, path.size() - 1) + "0");
        }
    }
}

// The ".t2" template of the mass-spring-damper: the causal strokes are the textbook ones
// (the stroke at the end that receives effort: at the inertia's junction side, at the spring).
TEST_F(CausalTest, TemplateShowsTheCausalStrokes)
{
    ClassRec* cls = expanded(kMsd);
    ASSERT_TRUE(cls);
    ASSERT_EQ(causal_analysis(cls, "m.mg0"), 1);
    EXPECT_EQ(templateText(cls), "bond graph msd version 1\n"
                                 "subclasses\n"
                                 "\tse;1\tf\n"
                                 "\t1j;1\tv, w\n"
                                 "\ti;1\tm\n"
                                 "\tc;1\tk\n"
                                 "\tr;1\td\n"
                                 "connections\n"
                                 "\tf`p ->|\tv`p1\n"
                                 "\tv`p2 ->|\tm`p\n"
                                 "\tv`p3 |->\tw`p1\n"
                                 "\tw`p2 |->\tk`p\n"
                                 "\tw`p3 |->\td`p\n");
    testsupport::TempDir out;
    EXPECT_EQ(ttwrite_template(cls, "msd1.t2", out.path()), 1);
    EXPECT_EQ(readAll(out.file("msd1.t2")), templateText(cls));
    // A directory that does not exist: a status, and the failure in the diagnostics.
    std::vector<std::string> diag;
    ttset_diag_callback([&](const char* text) { diag.push_back(text); });
    EXPECT_EQ(ttwrite_template(cls, "msd1.t2", out.file("none")), 0);
    ttset_diag_callback(nullptr);
    EXPECT_EQ(diag, std::vector<std::string>{"Error opening file for writing: " + out.file("none") + "/msd1.t2"});
}

// A source at the head of a long chain of transformers fixes every bond through one
// propagation; the propagation must not deepen the stack with the chain's length.
TEST_F(CausalTest, LongTransformerChainPropagatesWithoutRecursion)
{
    const int n = 20000;
    std::string model = "bond graph tfs version 1\nsubclasses\n  se;1 s\n  r;1 d\n";
    for (int k = 0; k < n; ++k)
        model += "  tf;1 t" + std::to_string(k) + "\n";
    model += "connections\n  s`p -> t0`p1\n";
    for (int k = 0; k + 1 < n; ++k)
        model += "  t" + std::to_string(k) + "`p2 -> t" + std::to_string(k + 1) + "`p1\n";
    model += "  t" + std::to_string(n - 1) + "`p2 -> d`p\n";
    ClassRec* cls = expanded(model.c_str());
    ASSERT_TRUE(cls);
    EXPECT_EQ(causal_analysis(cls, "m.mg0"), 1);
    // Effort goes down the chain: every transformer takes effort at p1 and gives it at p2,
    // so the damper gets effort and gives flow.
    for (BondRec* bond : cls->graph->bonds)
        ASSERT_EQ(bond->caus, CAUS_ECY);
    EXPECT_EQ(causalityAt(cls, "d"), 2);
}

// A bond that does not end at a submodel port (left by an earlier error) is refused, not followed.
TEST_F(CausalTest, BondEndsThatAreNoSubmodelPortsAreRefused)
{
    ClassRec* cls = expanded(kMsd);
    ASSERT_TRUE(cls);
    cls->graph->bonds.first()->con[1] = ConnEnd{};
    EXPECT_EQ(causal_analysis(cls, "m.mg0"), 0);
    EXPECT_EQ(errors.size(), 1u);
}

namespace {

/// A node index list from "2", "1..4" or "*" (the whole dimension) per position, joined by ';'.
ExprList indexList(const std::string& text)
{
    ExprList list;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t stop = text.find(';', start);
        std::string item = text.substr(start, stop == std::string::npos ? std::string::npos : stop - start);
        std::size_t dots = item.find("..");
        if (item == "*")
            list.append(nullptr);
        else if (dots == std::string::npos)
            list.append(makeIntegerConstant(std::stoi(item)));
        else
            list.append(makeOperator(makeIntegerConstant(std::stoi(item.substr(0, dots))),
                                     makeIntegerConstant(std::stoi(item.substr(dots + 2))), TK_UPTO));
        start = stop == std::string::npos ? text.size() : stop + 1;
    }
    return list;
}

} // namespace

// Both ends of every bond sit on array subclasses of four elements.
TEST_F(CausalTest, RangeKindAndOverlapLookAtEveryIndexPosition)
{
    struct Case {
        const char* end0;
        const char* end1;
        int kind;
        int overlap;
        bool equal;
    };
    const Case cases[] = {
        {"", "", 1, 1, true},
        {"3", "", 1, 0, false},        // one element, starting past the first
        {"1", "", 1, 1, false},
        {"1..4", "", 2, 1, false},     // a range against a scalar end is mixed
        {"*", "", 2, 1, false},        // the whole dimension of four elements
        {"2..3", "1..2", 1, 1, false}, // equal widths, overlapping at 2
        {"2..3", "3..4", 1, 1, false},
        {"1..2", "3..4", 1, 0, false},
        {"1..4", "*", 1, 1, true},
        {"1;1..2", "1;2..3", 1, 1, false},
        {"1;1..2", "1;1..3", 2, 1, false}, // the widths differ only at the second position
        {"1;1..2", "2;1..2", 1, 0, false}, // the first position does not overlap
    };
    auto* a = ProcessingArena().make<SubclassRec>();
    auto* b = ProcessingArena().make<SubclassRec>();
    for (SubclassRec* s : {a, b}) {
        s->dim.append(makeIntegerConstant(4));
        s->dim.append(makeIntegerConstant(4));
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.end0) + " / " + c.end1);
        BondRec bond;
        bond.con[0].type = END_SUB;
        bond.con[0].node = a;
        bond.con[0].nodeindex = indexList(c.end0);
        bond.con[1].type = END_SUB;
        bond.con[1].node = b;
        bond.con[1].nodeindex = indexList(c.end1);
        EXPECT_EQ(causality::range_kind(&bond), c.kind);
        bool equal = false;
        EXPECT_EQ(causality::ranges_overlap(&bond, 0, &bond, 1, equal), c.overlap);
        if (c.overlap) {
            EXPECT_EQ(equal, c.equal);
        }
    }
}

TEST_F(CausalTest, ComputedNodeIndexIsAnError)
{
    std::vector<std::string> errors;
    DisplayHooks().error = [&](const char*, const char*, const char*, int, const char*, const char* text) {
        errors.push_back(text);
    };
    BondRec bond;
    bond.con[0].type = END_SUB;
    bond.con[0].nodeindex.append(makeOperator(makeIntegerConstant(1), makeIntegerConstant(2), TK_PLUS));
    EXPECT_EQ(causality::range_kind(&bond), 0);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], "<error: index expression expected in get_low_up>");
}

// An instance dimension without an expression is written as a blank between the brackets.
TEST_F(CausalTest, TemplateWritesAnEmptyInstanceIndexAsABlank)
{
    ClassRec* cls = expanded(kMsd);
    ASSERT_TRUE(cls);
    SubclassRec* mass = nullptr;
    for (SubmodelType* type : cls->graph->types)
        for (SubclassRec* user : type->users)
            if (user->name == "m")
                mass = user;
    ASSERT_TRUE(mass);
    mass->dim.append(nullptr);
    mass->dim.append(makeIntegerConstant(2));
    EXPECT_NE(templateText(cls).find("\ti;1\tm[ ,2]\n"), std::string::npos) << templateText(cls);
    // Elsewhere an index without an expression cannot be written.
    EXPECT_EQ(indexListText(mass->dim), "??");
}

// A conflict on a bond of a mixed group names the group's mixed bond, searched onwards from the
// conflicting bond and wrapping round the bond list.
TEST_F(CausalTest, ConflictInAMixedGroupNamesTheMixedBond)
{
    std::vector<std::string> messages;
    DisplayHooks().error = [&](const char*, const char*, const char*, int, const char*, const char* text) {
        messages.push_back(text);
    };
    auto* r = ProcessingArena().make<ClassRec>();
    r->name = "r";
    r->version = 1;
    auto sub = [&](const char* name) {
        auto* s = ProcessingArena().make<SubclassRec>();
        s->name = name;
        s->cls = r;
        return s;
    };
    auto bond = [&](const char* from, const char* to, int group) {
        auto* b = ProcessingArena().make<BondRec>();
        b->con[0].type = END_SUB;
        b->con[0].node = sub(from);
        b->con[1].type = END_SUB;
        b->con[1].node = sub(to);
        b->group = group;
        return b;
    };
    const struct {
        std::vector<BondRec*> bonds; ///< the conflicting bond is the one with group 2
        std::string named;
    } cases[] = {
        {{bond("a", "b", -2), bond("c", "d", 2), bond("e", "f", -2)}, "e and f"},
        {{bond("a", "b", -2), bond("c", "d", 2), bond("e", "f", -1)}, "a and b"},
    };
    for (const auto& c : cases) {
        GraphBody body;
        BondRec* conflicting = nullptr;
        for (BondRec* b : c.bonds) {
            body.bonds.append(b);
            if (b->group == 2)
                conflicting = b;
        }
        causality::causalState() = causality::CausalState{};
        causality::causalState().body = &body;
        messages.clear();
        causality::report_conflict(conflicting, 0);
        causality::causalState().body = nullptr;
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0], "causal conflict between submodels r1:c and r1:d. Decompose bond with mixed "
                               "causality between " + c.named + " into single bonds..");
    }
}

// An equation class as the template holds it: declarations grouped by type, the equations in
// sort order with the operators spelled out and the conditional over indented lines.
const char* kEquationClass = "class eqs version 1\nparameters\n  real a, b, c\nvariables\n  real x, y\n"
                             "  real n\nequations\n  x = a ^ b + c * sin(a - 1.5e-20)\n"
                             "  y = if x > 0 and not (x == c) then x elseif x =/= 0 then 1 else -x fi\n"
                             "  n = 7 mod 3\n";

ClassRec* parsedEquationClass()
{
    auto parsed = parseText(kEquationClass);
    EXPECT_EQ(parsed.result, 0) << (parsed.errors.empty() ? "" : parsed.errors[0]);
    return parsed.cls;
}

TEST_F(CausalTest, TemplateOfAnEquationClass)
{
    ClassRec* cls = parsedEquationClass();
    ASSERT_TRUE(cls && cls->equations);
    const std::string declarations = "class eqs version 1\nparameters\n\treal a, b, c\nvariables\n"
                                     "\treal x_&_z, y\n\tinteger n\nequations\n";
    cls->variables.first()->aliases.push_back("z");
    cls->variables.last()->at = 3; // integer
    // Written before sorting, the group holds its title only.
    EXPECT_EQ(templateText(cls), declarations);
    int number = 3;
    for (EquationRec* eq : cls->equations->equations)
        eq->sort_no = number--;
    EXPECT_EQ(templateText(cls), declarations + "\tn = 7 mod 3\n"
                                 "\ty = if (x_&_z > 0) and  not (x_&_z == c)\n"
                                 "\t\tthen x_&_z\n\t\telseif x_&_z =/= 0\n\t\tthen 1\n\t\telse -x_&_z\n\t\tfi\n"
                                 "\tx_&_z = (a power b) + (c * sin(a - 1.5e-20))\n");
}

// The expression text of messages: no blanks round the operators, binary operands in
// parentheses; the other mode spells power and function names its own way.
TEST_F(CausalTest, ExpressionTextInBothModes)
{
    ClassRec* cls = parsedEquationClass();
    ASSERT_TRUE(cls && cls->equations);
    std::vector<std::string> mode1, mode3;
    for (EquationRec* eq : cls->equations->equations) {
        mode1.push_back(expressionText(eq->left, 1) + " = " + expressionText(eq->right, 1));
        mode3.push_back(expressionText(eq->right, 3));
    }
    EXPECT_EQ(mode1, (std::vector<std::string>{"x = (a^b)+(c*sin(a-1.5e-20))",
                                                "y = if(x>0)andnot(x==c)then xelseifx=/=0then 1else-x",
                                                "n = 7mod3"}));
    EXPECT_EQ(mode3, (std::vector<std::string>{"(a**b)+(c*SIN(a-1.5E-20))",
                                                "if(x>0)andnot(x==c)then xelseifx=/=0then 1else-x", "7mod3"}));
    // A marked call writes its argument brackets and commas with "!" in the other mode only.
    ExprNode* a = cls->equations->equations.first()->right->left()->left();
    ExprList args;
    args.append(a);
    args.append(makeOperator(a, makeIntegerConstant(2), TK_MULT));
    ExprNode* call = makeFunctionCall(FN_ATAN2, args);
    ASSERT_TRUE(call);
    EXPECT_EQ(expressionText(call, 3), "atan2(a,a*2)");
    call->flags |= EXPR_MARKED_CALL;
    ExprNode* sum = makeOperator(makeIntegerConstant(1), call, TK_PLUS);
    EXPECT_EQ(expressionText(sum, 3), "1+atan2!(a!,a*2!)");
    EXPECT_EQ(expressionText(sum, 1), "1+atan2(a,a*2)");
}

// Text that would reach 1024 characters stops growing; an index list that long is "??".
TEST_F(CausalTest, ExpressionTextStopsBelow1024Characters)
{
    ClassRec* cls = parsedEquationClass();
    ASSERT_TRUE(cls && cls->equations);
    ExprNode* a = cls->equations->equations.first()->right->left()->left(); // the a of a ^ b
    ASSERT_EQ(expressionText(a, 1), "a");
    ExprNode* sum = a;
    for (int i = 0; i < 600; ++i)
        sum = makeOperator(sum, a, TK_PLUS);
    const std::string text = expressionText(sum, 1);
    EXPECT_LE(text.size(), 1023u);
    EXPECT_GT(text.size(), 1000u);
    ExprList index;
    index.append(sum);
    EXPECT_EQ(indexListText(index, 1), "??");
    ExprList shortIndex;
    shortIndex.append(makeIntegerConstant(2));
    shortIndex.append(a);
    EXPECT_EQ(indexListText(shortIndex, 1), "[2,a]");
    EXPECT_EQ(indexListText(shortIndex, 3), "");
}

// A SAME group with a relation: every bond at a and b takes the incoming causality, and each of
// them passes the opposite causality on to the bonds at c of the same element only, whichever
// order the restriction lines come in.
TEST_F(CausalTest, SamePortsPassTheirRelationOnPerBond)
{
    for (const char* restrictions :
         {"      a notequal c\n      same a, b\n", "      same a, b\n      a notequal c\n"}) {
        SCOPED_TRACE(restrictions);
        release_all();
        dir.write("k1.sf0", std::string("class k version 1\ninterface\n  ports: a, b, c\n  causality restrictions\n"
                            "    constraint\n") + restrictions +
                            "equations\n  a.e = b.e\n  c.e = a.f\n  b.f = c.f\n");
        ClassRec* cls = expanded("bond graph top version 1\nsubclasses\n  k;1 kk[2]\n  se;1 ea\n  r;1 rb, rc1, rc2\n"
                                 "connections\n  ea`p -> kk[1]`a\n  kk[2]`b -> rb`p\n  kk[1]`c -> rc1`p\n"
                                 "  kk[2]`c -> rc2`p\n");
        ASSERT_TRUE(cls) << (errors.empty() ? "" : errors[0]);
        EXPECT_GE(causal_analysis(cls, "m.mg0"), 1) << (errors.empty() ? "" : errors[0]);
        EXPECT_TRUE(errors.empty()) << testing::PrintToString(errors);
        std::map<std::string, int> atK; // the causality of each bond seen from its end at kk
        for (BondRec* bond : cls->graph->bonds)
            for (int end = 0; end < 2; ++end)
                if (bond->con[end].type == END_SUB && static_cast<SubclassRec*>(bond->con[end].node)->name == "kk")
                    atK[bond->con[end].name + indexListText(bond->con[end].nodeindex)] = bondCausalityFrom(bond, end);
        ASSERT_EQ(atK.size(), 4u) << testing::PrintToString(atK);
        EXPECT_EQ(atK["a[1]"], atK["b[2]"]);
        EXPECT_EQ(atK["c[1]"], 3 - atK["a[1]"]);
        EXPECT_EQ(atK["c[2]"], 3 - atK["b[2]"]);
    }
}

// A relation reaches only the bonds of the same element: both elements of kk take effort from
// a source at different ports, which only holds when kk[1]'s relation skips kk[2]'s bond at c.
TEST_F(CausalTest, RelationSkipsBondsOfOtherElements)
{
    dir.write("k1.sf0", "class k version 1\ninterface\n  ports: a, c\n  causality restrictions\n"
                        "    constraint\n      a notequal c\nequations\n  a.e = c.f\n  c.e = a.f\n");
    ClassRec* cls = expanded("bond graph top version 1\nsubclasses\n  k;1 kk[2]\n  se;1 e1, e2\n"
                             "  r;1 r1, r2\nconnections\n  e1`p -> kk[1]`a\n  e2`p -> kk[2]`c\n"
                             "  kk[1]`c -> r1`p\n  kk[2]`a -> r2`p\n");
    ASSERT_TRUE(cls) << (errors.empty() ? "" : errors[0]);
    EXPECT_EQ(causal_analysis(cls, "m.mg0"), 1) << testing::PrintToString(errors);
    EXPECT_TRUE(errors.empty()) << testing::PrintToString(errors);
    // Both sources keep their effort; each element's other port gives the effort to its damper.
    EXPECT_EQ(causalityAt(cls, "e1"), 1);
    EXPECT_EQ(causalityAt(cls, "e2"), 1);
    EXPECT_EQ(causalityAt(cls, "r1"), 2);
    EXPECT_EQ(causalityAt(cls, "r2"), 2);
}

namespace {

/// The port constraints that the assigned causalities break, one line each; empty when all hold.
std::vector<std::string> violations(ClassRec* cls)
{
    std::vector<std::string> found;
    for (BondRec* bond : cls->graph->bonds)
        if (bond->caus != CAUS_ECY && bond->caus != CAUS_FCY)
            found.push_back("bond without causality");
    for (SubclassRec* sub : cls->graph->subclasses) {
        auto valuesAt = [&](std::string_view port) {
            std::vector<int> values;
            for (BondRec* bond : cls->graph->bonds)
                for (int end = 0; end < 2; ++end)
                    if (bond->con[end].node == sub && bond->con[end].name == port)
                        values.push_back(bondCausalityFrom(bond, end));
            return values;
        };
        std::map<int, int> ones; // per one-of constraint, the bonds that take its causality
        for (PortRec* port : sub->cls->ports) {
            const std::string where = instance_name(sub) + "`" + port->name;
            const std::vector<int> values = valuesAt(port->name);
            if (port->c_type == causality::C_FIX)
                for (int v : values)
                    if (v != port->c_val)
                        found.push_back(where + " fixed");
            if (port->c_type != causality::C_CONSTR)
                continue;
            if (port->c_val == CAUS_1ECY || port->c_val == CAUS_1FCY) {
                ones.emplace(port->c_val, 0);
                for (int v : values)
                    ones[port->c_val] += v == (port->c_val == CAUS_1ECY ? 1 : 2);
            }
            if (port->c_val == CAUS_SAME)
                for (PortRec* other : sub->cls->ports)
                    if (other->c_type == causality::C_CONSTR && other->c_val == CAUS_SAME)
                        for (int v : values)
                            for (int w : valuesAt(other->name))
                                if (v != w)
                                    found.push_back(where + " same");
            for (PtrNode<PortRec>* r = port->relports.head; r; r = r->next)
                for (int v : values)
                    for (int w : valuesAt(r->item->name))
                        if ((r->relation == 3) != (v == w))
                            found.push_back(where + " relation");
        }
        for (auto [constraint, n] : ones)
            if (n != 1)
                found.push_back(instance_name(sub) + " has " + std::to_string(n) + " bonds of its one causality");
    }
    return found;
}

/// Three-port elements whose restrictions mix constraints with a free port.
void writeMixedElements(testsupport::TempDir& dir)
{
    const std::pair<const char*, const char*> elements[] = {
        {"sm", "      same p1, p2\n"},
        {"ha", "      1_effort p1, p2\n"},
        {"eq", "      p1 equal p3\n"},
        {"ne", "      p1 notequal p2\n      same p1, p3\n"},
    };
    for (const auto& [name, restrictions] : elements)
        dir.write(std::string(name) + "1.sf0", std::string("class ") + name +
                                                   " version 1\ninterface\n  ports: p1, p2, p3\n"
                                                   "  causality restrictions\n    constraint\n" +
                                                   restrictions +
                                                   "equations\n  p1.e = p2.e\n  p2.f = p3.f\n  p3.e = p1.f\n");
}

/// A random network of junctions, two-ports and mixed elements; open ports end at one-port elements.
std::string randomNetwork(std::mt19937& rng, int most = 5)
{
    const char* nodes[] = {"1j", "0j", "tf", "gy", "sm", "ha", "eq", "ne"};
    const char* ends[] = {"se", "sf", "i", "c", "r", "r"};
    std::string subclasses, connections;
    std::vector<std::string> ins, outs;
    const int count = 1 + static_cast<int>(rng() % static_cast<unsigned>(most));
    for (int k = 0; k < count; ++k) {
        const int type = static_cast<int>(rng() % 8);
        const std::string name = "j" + std::to_string(k);
        subclasses += std::string("  ") + nodes[type] + ";1 " + name + "\n";
        ins.push_back(name + "`p1");
        outs.push_back(name + "`p2");
        if (type != 2 && type != 3)
            outs.push_back(name + "`p3");
    }
    std::shuffle(ins.begin(), ins.end(), rng);
    std::shuffle(outs.begin(), outs.end(), rng);
    int elements = 0;
    auto element = [&] {
        const std::string name = "e" + std::to_string(elements++);
        subclasses += std::string("  ") + ends[rng() % 6] + ";1 " + name + "\n";
        return name + "`p";
    };
    const std::size_t joined = rng() % (std::min(ins.size(), outs.size()) + 1);
    for (std::size_t k = 0; k < ins.size(); ++k)
        connections += "  " + (k < joined ? outs[k] : element()) + " -> " + ins[k] + "\n";
    for (std::size_t k = joined; k < outs.size(); ++k)
        connections += "  " + outs[k] + " -> " + element() + "\n";
    return "bond graph g version 1\nsubclasses\n" + subclasses + "connections\n" + connections;
}

} // namespace

// Whatever phases a model goes through, a successful analysis leaves every bond with a causality
// that meets every port constraint. Among the generated networks some reach the undetermined
// phase, some repeat a pass, and some fail the budget; a junction left without its one causality
// used to pass as a success.
TEST_F(CausalTest, SuccessMeansEveryPortConstraintHolds)
{
    writeMixedElements(dir);
    std::mt19937 rng(7);
    int succeeded = 0, undetermined = 0, repeated = 0;
    for (int round = 0; round < 600; ++round) {
        const std::string model = randomNetwork(rng);
        progress.clear();
        ClassRec* cls = expanded(model.c_str());
        ASSERT_TRUE(cls) << model;
        if (causal_analysis(cls, "m.mg0") > 0) {
            ++succeeded;
            const auto broken = violations(cls);
            EXPECT_TRUE(broken.empty()) << model << testing::PrintToString(broken);
            undetermined += saw("   Causality assigning phase: undetermined causality");
            repeated += std::count_if(progress.begin(), progress.end(),
                                      [](const std::string& line) { return line.rfind("E = ", 0) == 0; }) > 1;
        }
        release_all();
    }
    EXPECT_GT(succeeded, 300);
    EXPECT_GT(undetermined, 10);
    EXPECT_GT(repeated, 0);
}

// Pass 0 fails in the undetermined phase: both loop bonds of the junction must be flows there, so
// the spring cannot keep its effort. The next pass turns the spring to derivative causality and
// succeeds; the conflicts of pass 0 stay reported.
TEST_F(CausalTest, FailedPassIsRepeatedWithThePreferredCausalityTurned)
{
    writeMixedElements(dir);
    const char* models[] = {
        // A gyrator with both ports on one 1-junction.
        "bond graph g version 1\nsubclasses\n  1j;1 j\n  gy;1 g\n  c;1 k\nconnections\n  j`p3 -> g`p1\n"
        "  g`p2 -> j`p1\n  j`p2 -> k`p\n",
        // An element whose two ports take the same causality, both on one 1-junction.
        "bond graph g version 1\nsubclasses\n  sm;1 s\n  1j;1 j\n  se;1 u\n  c;1 k\nconnections\n"
        "  s`p2 -> j`p1\n  j`p2 -> s`p1\n  s`p3 -> u`p\n  j`p3 -> k`p\n",
    };
    for (const char* model : models) {
        SCOPED_TRACE(model);
        progress.clear();
        errors.clear();
        ClassRec* cls = expanded(model);
        ASSERT_TRUE(cls);
        EXPECT_EQ(causal_analysis(cls, "m.mg0"), 2);
        EXPECT_TRUE(violations(cls).empty()) << testing::PrintToString(violations(cls));
        EXPECT_EQ(causalityAt(cls, "k"), 2);
        EXPECT_TRUE(saw("1 derivative causality is located.")) << testing::PrintToString(progress);
        EXPECT_EQ(std::count(progress.begin(), progress.end(), "   Start re-assigning causality after errors"), 2);
        // The turned spring is no integral: the last pass has no eigenvalue to report.
        EXPECT_EQ(std::count_if(progress.begin(), progress.end(),
                                [](const std::string& line) { return line.find("eigenvalues") != std::string::npos; }),
                  0);
        EXPECT_FALSE(errors.empty());
        release_all();
    }
}

// A damper bond whose free causality breaks the budget is reassigned at the junction's end; the
// junction must hear of it, or its other damper is left without the junction's one causality.
TEST_F(CausalTest, ReassignedBondReachesTheSubmodelAtItsOwnEnd)
{
    writeMixedElements(dir);
    ClassRec* cls = expanded(
        "bond graph g version 1\nsubclasses\n  gy;1 j0\n  0j;1 j1\n  1j;1 j2\n  ha;1 j3, j4\n  r;1 e0, e1, e3, e5, e6\n"
        "  sf;1 e2\n  c;1 e4\n  se;1 e7\nconnections\n  j4`p3 -> j0`p1\n  j3`p2 -> j3`p1\n  j2`p3 -> j1`p1\n"
        "  e0`p -> j4`p1\n  e1`p -> j2`p1\n  j2`p2 -> e2`p\n  j1`p3 -> e3`p\n  j3`p3 -> e4`p\n  j1`p2 -> e5`p\n"
        "  j4`p2 -> e6`p\n  j0`p2 -> e7`p\n");
    ASSERT_TRUE(cls);
    EXPECT_EQ(causal_analysis(cls, "m.mg0"), 3);
    EXPECT_TRUE(violations(cls).empty()) << testing::PrintToString(violations(cls));
    // Of the two dampers on the 0-junction exactly one sets its effort.
    EXPECT_EQ((causalityAt(cls, "e3") == 1) + (causalityAt(cls, "e5") == 1), 1);
}

namespace {

/// The elements 1..4 of the junction array j, each with the number of its bonds at which the
/// junction sets the effort (the one flow-giving bond each element of a 1-junction must have).
std::vector<int> effortsSetPerJunction(ClassRec* cls)
{
    std::vector<int> count(4, 0);
    for (BondRec* bond : cls->graph->bonds)
        for (int end = 0; end < 2; ++end) {
            auto* sub = static_cast<SubclassRec*>(bond->con[end].node);
            if (!sub || sub->name != "j" || bondCausalityFrom(bond, end) != CAUS_ECY)
                continue;
            std::int64_t low = 1, up = 4;
            if (bond->con[end].nodeindex.head) {
                EXPECT_EQ(causality::get_low_up(bond, end, bond->con[end].nodeindex.head->item, low, up, 0), 1);
            }
            for (std::int64_t k = low; k <= up; ++k)
                ++count[static_cast<std::size_t>(k - 1)];
        }
    return count;
}

} // namespace

// A port of an array of 1-junctions bonded at several index ranges: each element keeps its own
// one flow-giving bond. Bonds at disjoint ranges are each the only free bond of their elements
// and are decided at once, with no choice left to the later phases; bonds at shared elements
// decide only where one of them is alone.
TEST_F(CausalTest, BondsAtIndexRangesOfAJunctionArrayDecideElementByElement)
{
    const struct {
        const char* file;
        int result;
        bool shared; ///< two bonds share elements of a port: expansion refuses the model
        const char* budget; ///< the budget counts bond elements: four junctions take four flows
        std::map<std::string, int> dampers; ///< seen from each damper: 2 when it gives the flow
    } cases[] = {
        {"halves.mg0", 1, false, "E = 8 and F = 4, E + F = 4 environmental ports", {{"d", 2}, {"g", 2}}},
        {"thirds.mg0", 1, false, "E = 8 and F = 4, E + F = 5 environmental ports", {{"d", 2}, {"g", 2}, {"h", 2}}},
        // d is alone at junctions 1 and 4; g shares junctions 2 and 3 with it and takes its flow.
        {"nested.mg0", 1, true, "E = 10 and F = 4, E + F = 4 environmental ports", {{"d", 2}, {"g", 1}}},
        // Both ranges are alone somewhere, and both would give junction 3 its flow.
        {"crossed.mg0", 0, true, "E = 9 and F = 4, E + F = 4 environmental ports", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        release_all();
        errors.clear();
        progress.clear();
        const std::string text = readAll(std::string(KELDOR_TEST_DIR) + "/models/junction_arrays/" + c.file);
        bool shared = false;
        ClassRec* cls = expandedSharing(text.c_str(), shared);
        ASSERT_TRUE(cls) << (errors.empty() ? "" : errors[0]);
        EXPECT_EQ(shared, c.shared);
        EXPECT_EQ(causal_analysis(cls, "m.mg0"), c.result) << testing::PrintToString(errors);
        EXPECT_TRUE(saw(c.budget)) << testing::PrintToString(progress);
        if (c.result == 0) {
            ASSERT_FALSE(errors.empty());
            EXPECT_NE(errors[0].find("causal conflict between submodels"), std::string::npos) << errors[0];
            continue;
        }
        EXPECT_TRUE(errors.empty()) << testing::PrintToString(errors);
        for (const auto& [damper, caus] : c.dampers)
            EXPECT_EQ(causalityAt(cls, damper), caus) << damper;
        EXPECT_EQ(effortsSetPerJunction(cls), std::vector<int>(4, 1));
        // Decided by the sources alone: no free choice, so no algebraic loop.
        EXPECT_FALSE(saw("   Causality assigning phase: indifferent causality")) << testing::PrintToString(progress);
    }
}

// The one-of rule at a single junction of four ports, driven by one bond whose value reaches it:
// the other value leaves two or more open bonds to a later choice, decides the last open bond,
// and gives a junction without any bond of the one value a conflict; the one value (or a bond
// that already has it) gives every open bond the other value.
TEST_F(CausalTest, OneOfRuleAtAScalarJunction)
{
    dir.write("q1.sf0", "class q version 1\ninterface\n  ports: p1, p2, p3, p4\n  causality restrictions\n"
                        "    constraint\n      1_effort p1, p2, p3, p4\nequations\n  p2.f = p1.f\n  p3.f = p1.f\n"
                        "  p4.f = p1.f\n  p1.e = p2.e + p3.e + p4.e\n");
    const struct {
        int driven;                ///< the value the source end gives: 1 the other value at q, 2 the one
        std::vector<int> before;   ///< the bonds to r1, r2, r3 seen from q (0 open)
        std::vector<int> after;
        int result;
    } cases[] = {
        {1, {0, 0, 0}, {0, 0, 0}, 1},
        {1, {2, 0, 0}, {2, 0, 0}, 1},
        {1, {2, 2, 0}, {2, 2, 1}, 1},
        {1, {0, 1, 0}, {2, 1, 2}, 1},
        {1, {2, 2, 2}, {2, 2, 2}, 0},
        {2, {0, 0, 0}, {2, 2, 2}, 1},
        {2, {0, 1, 0}, {2, 1, 0}, 0}, // stops at the first conflict
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.before) + " driven " + std::to_string(c.driven));
        release_all();
        errors.clear();
        ClassRec* cls = expanded("bond graph one version 1\nsubclasses\n  sf;1 s\n  q;1 j\n  r;1 r1, r2, r3\n"
                                 "connections\n  s`p -> j`p1\n  j`p2 -> r1`p\n  j`p3 -> r2`p\n  j`p4 -> r3`p\n");
        ASSERT_TRUE(cls);
        std::vector<BondRec*> bonds;
        for (BondRec* bond : cls->graph->bonds)
            bonds.push_back(bond); // the source's bond first, then the junction's end 0 at r1, r2, r3
        ASSERT_EQ(bonds.size(), 4u);
        causality::causalState() = causality::CausalState{};
        causality::causalState().body = cls->graph;
        for (std::size_t k = 0; k < 3; ++k)
            bonds[k + 1]->caus = static_cast<unsigned char>(c.before[k]);
        EXPECT_EQ(causality::assign_causality(bonds[0], 0, c.driven, causality::MODE_FIXED), c.result);
        std::vector<int> after;
        for (std::size_t k = 0; k < 3; ++k)
            after.push_back(bonds[k + 1]->caus);
        EXPECT_EQ(after, c.after);
        EXPECT_EQ(errors.size(), c.result ? 0u : 1u) << testing::PrintToString(errors);
        causality::causalState() = causality::CausalState{};
    }
}

namespace {

/// An array of four 1-junctions whose three ports are bonded at random ranges (a cover of the
/// four elements, sometimes with one more range over it) to arrays of one-port elements.
std::string randomJunctionArray(std::mt19937& rng)
{
    const char* types[] = {"se", "sf", "i", "c", "r"};
    std::string subclasses = "  1j;1 j[4]\n", connections;
    int elements = 0;
    auto bond = [&](const std::string& port, int low, int up) {
        const std::string name = "x" + std::to_string(elements++);
        const int width = up - low + 1;
        subclasses += std::string("  ") + types[rng() % 5] + ";1 " + name +
                      (width > 1 ? "[" + std::to_string(width) + "]" : "") + "\n";
        const std::string far = name + (width > 1 ? "[1.." + std::to_string(width) + "]" : "") + "`p";
        const std::string near =
            "j[" + std::to_string(low) + (width > 1 ? ".." + std::to_string(up) : "") + "]`" + port;
        connections += "  " + (port == "p1" ? far + " -> " + near : near + " -> " + far) + "\n";
    };
    for (const char* port : {"p1", "p2", "p3"}) {
        int low = 1;
        for (int k = 1; k <= 4; ++k)
            if (k == 4 || rng() % 2) {
                bond(port, low, k);
                low = k + 1;
            }
        if (rng() % 4 == 0) {
            const int a = 1 + static_cast<int>(rng() % 4), b = 1 + static_cast<int>(rng() % 4);
            bond(port, std::min(a, b), std::max(a, b));
        }
    }
    return "bond graph g version 1\nsubclasses\n" + subclasses + "connections\n" + connections;
}

} // namespace

// Whatever ranges the junction array is bonded at, a successful analysis gives every bond a
// causality, every source its own, and every junction element exactly one flow-giving bond.
TEST_F(CausalTest, JunctionArraySuccessMeansEveryElementHasItsOneCausality)
{
    std::mt19937 rng(11);
    int succeeded = 0, failed = 0;
    for (int round = 0; round < 400; ++round) {
        const std::string model = randomJunctionArray(rng);
        bool shared = false;
        ClassRec* cls = expandedSharing(model.c_str(), shared);
        ASSERT_TRUE(cls) << model << (errors.empty() ? "" : errors[0]);
        if (causal_analysis(cls, "m.mg0") > 0) {
            ++succeeded;
            EXPECT_EQ(effortsSetPerJunction(cls), std::vector<int>(4, 1)) << model;
            for (BondRec* bond : cls->graph->bonds) {
                EXPECT_TRUE(bond->caus == CAUS_ECY || bond->caus == CAUS_FCY) << model;
                for (int end = 0; end < 2; ++end) {
                    const std::string type = static_cast<SubclassRec*>(bond->con[end].node)->type->t_name.str();
                    if (type == "se" || type == "sf") {
                        EXPECT_EQ(bondCausalityFrom(bond, end), type == "se" ? 1 : 2) << model;
                    }
                }
            }
        } else {
            ++failed;
        }
        errors.clear();
        release_all();
    }
    EXPECT_GT(succeeded, 50);
    EXPECT_GT(failed, 50);
}

namespace {


/// Some of the bonds of a generated network get a causal stroke of the user's.
std::string withUserStrokes(std::string model, std::mt19937& rng)
{
    std::string out;
    for (std::size_t at = 0;;) {
        const std::size_t arrow = model.find(" -> ", at);
        if (arrow == std::string::npos) {
            out += model.substr(at);
            return out;
        }
        out += model.substr(at, arrow - at);
        const unsigned pick = rng() % 6;
        out += pick == 0 ? " ->| " : pick == 1 ? " |-> " : " -> ";
        at = arrow + 4;
    }
}

} // namespace

// The causality every bond gets, its group, the result and every text the analysis reports, in
// order, for many generated models: small and large networks of junctions, two-ports and mixed
// elements (some bonds with the user's strokes), arrays of junctions bonded at index ranges, and
// chains of mass-spring cells. Each model's transcript is kept as a fingerprint; any change to the
// analysis, however it is made faster, must leave every one of them as it is.
TEST_F(CausalTest, TranscriptsOfGeneratedModelsStayAsRecorded)
{
    writeMixedElements(dir);
    std::string log;
    auto transcript = [&](ClassRec* cls) {
        log.clear();
        DisplayHooks().error = [&](const char* kind, const char* file, const char* submodel, int line,
                                   const char* token, const char* message) {
            log += "E " + formatErrorLine(kind, file, submodel, line, token, message) + "\n";
        };
        ttset_progress_callback([&](const char* text) { log += std::string("P ") + text + "\n"; });
        const int result = causal_analysis(cls, "m.mg0");
        ttset_progress_callback([this](const char* text) { progress.push_back(text); });
        std::string text = log + "R " + std::to_string(result) + "\n";
        for (BondRec* bond : cls->graph->bonds)
            text += std::to_string(bond->caus) + " " + std::to_string(bond->group) + "\n";
        return std::to_string(result) + " " + std::to_string(goldentest::fingerprint(text));
    };
    std::string lines;
    std::mt19937 rng(23);
    for (int round = 0; round < 1200; ++round) {
        const bool large = round >= 600;
        std::string model = randomNetwork(rng, large ? 40 : 5);
        if (round % 3 == 2)
            model = withUserStrokes(model, rng);
        ClassRec* cls = expanded(model.c_str());
        ASSERT_TRUE(cls) << model;
        lines += "network " + std::to_string(round) + " " + transcript(cls) + "\n";
        errors.clear();
        release_all();
    }
    for (int round = 0; round < 400; ++round) {
        const std::string model = randomJunctionArray(rng);
        bool shared = false;
        ClassRec* cls = expandedSharing(model.c_str(), shared);
        ASSERT_TRUE(cls) << model;
        lines += "array " + std::to_string(round) + " " + transcript(cls) + "\n";
        errors.clear();
        release_all();
    }
    for (int cells : {1, 2, 3, 5, 8, 13, 40, 200}) {
        ClassRec* cls = expanded(chainModel(cells).c_str());
        ASSERT_TRUE(cls);
        lines += "chain " + std::to_string(cells) + " " + transcript(cls) + "\n";
        errors.clear();
        release_all();
    }
    for (int cells : {1, 2, 3, 7, 50, 300}) {
        ClassRec* cls = expanded(damperChainModel(cells).c_str());
        ASSERT_TRUE(cls);
        lines += "dampers " + std::to_string(cells) + " " + transcript(cls) + "\n";
        errors.clear();
        release_all();
    }
    goldentest::expectGoldenFile(lines, std::string(KELDOR_GOLDEN_DIR) + "/causal_transcripts.txt");
}
