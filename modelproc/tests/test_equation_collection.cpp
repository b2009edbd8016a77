// Tests of the collection building blocks: slot range checks, selected dimensions,
// gathering a variable's references and the hierarchical name buffer.
#include "common/settings_table.h"
#include "modelproc/causal_analysis.h"
#include "modelproc/class_copy.h"
#include "modelproc/display_hooks.h"
#include "modelproc/equation_collection.h"
#include "modelproc/expansion.h"
#include "modelproc/graph_dissolution.h"
#include "modelproc/record_dump.h"
#include "modelproc/record_release.h"
#include "modelproc/tests/keldor_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <string>
#include <vector>

using keldortest::readAll;
using keldortest::kMsd;

namespace {

class CollectionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_savedHook = DisplayHooks().error;
        DisplayHooks().error = [this](const char* kind, const char*, const char*, int, const char*,
                                      const char* message) {
            m_errors.push_back(std::string(kind ? kind : "") + (message ? message : ""));
        };
    }
    void TearDown() override
    {
        DisplayHooks().error = m_savedHook;
        ProcessingArena().clear();
    }

    static ExprNode* range(int lo, int hi)
    {
        return makeOperator(makeIntegerConstant(lo), makeIntegerConstant(hi), TK_UPTO);
    }
    static ExprNode* ref(VarRec* var) { return makeLeaf(0, var, TK_VARIABLENAME, nullptr, ExprList{}); }

    std::vector<std::string> m_errors;
    ErrorHook m_savedHook;
};

TEST_F(CollectionTest, CheckHelpIndexAcceptsOnlyOneUpToBelowLimit)
{
    struct Case {
        int index;
        int limit;
        int expected;
    };
    const Case cases[] = {{1, 2, 1}, {5, 6, 1}, {0, 6, 0}, {6, 6, 0}, {-3, 6, 0}, {1, 1, 0}};
    for (const Case& c : cases) {
        m_errors.clear();
        EXPECT_EQ(check_help_index(c.index, c.limit), c.expected) << c.index << " " << c.limit;
        EXPECT_EQ(m_errors.size(), c.expected ? 0u : 1u);
    }
    m_errors.clear();
    check_help_index(7, 6);
    ASSERT_EQ(m_errors.size(), 1u);
    EXPECT_EQ(m_errors[0],
              "Equations generation error <error in check_help_index: port/io index 7 out of range 1..6>");
}

TEST_F(CollectionTest, IndimlstKeepsOnlyRangesLongerThanOne)
{
    ExprList index;
    index.append(range(4, 6));
    index.append(makeIntegerConstant(2));
    index.append(range(3, 3));
    index.append(range(1, 2));
    bool ok = true;
    ExprList dims = indimlst(index, ok);
    EXPECT_TRUE(ok);
    ASSERT_EQ(dims.count(), 2);
    EXPECT_EQ(literalSize(dims.at(0)), 3);
    EXPECT_EQ(literalSize(dims.at(1)), 2);

    ExprList single;
    single.append(makeIntegerConstant(4));
    EXPECT_TRUE(indimlst(single, ok).empty());
    EXPECT_TRUE(ok);
    EXPECT_TRUE(m_errors.empty());
}

TEST_F(CollectionTest, IndimlstReportsAMissingIndex)
{
    ExprList index;
    index.append(range(1, 3));
    index.append(nullptr);
    bool ok = true;
    EXPECT_TRUE(indimlst(index, ok).empty());
    EXPECT_FALSE(ok);
    ASSERT_EQ(m_errors.size(), 1u);
    EXPECT_EQ(m_errors[0], "Equations generation error <error in indimlst: no default dimension known>");
}

TEST_F(CollectionTest, FindsReferencesInOperatorsCallsAndConditionals)
{
    auto* x = ProcessingArena().make<VarRec>();
    auto* y = ProcessingArena().make<VarRec>();
    ExprNode* r1 = ref(x);
    ExprNode* r2 = ref(x);
    ExprNode* r3 = ref(x);
    ExprNode* r4 = ref(x);
    ExprList args;
    args.append(r2);
    args.append(ref(y));
    // if r1 > y then sin(r2, y) else r3 * r4
    ExprNode* cond = makeConditional(makeOperator(r1, ref(y), TK_GT), makeFunctionCall(1, args),
                                     makeOperator(r3, r4, TK_MULT));
    std::vector<ExprNode*> refs;
    find_varind_in_expr(cond, x, refs);
    EXPECT_EQ(refs, (std::vector<ExprNode*>{r1, r2, r3, r4}));
    refs.clear();
    find_varind_in_expr(cond, y, refs);
    EXPECT_EQ(refs.size(), 2u);
}

// Every dimensioned variable's references are found wherever they stand in any equation, and
// each variable's indices are brought into range on their own, dimension by dimension.
TEST_F(CollectionTest, IndicesBeyondEachVariablesSizeComeBackIntoRange)
{
    ClassRec* top = newClass();
    ASSERT_TRUE(newEquationBody(top));
    auto variable = [&](const char* name, std::vector<int> sizes) {
        ExprList dim;
        for (int s : sizes)
            dim.append(makeIntegerConstant(s));
        VarRec* var = newClassVariable(top, CLASS_VARIABLES);
        setVariable(var, name, dim, TYPE_REAL);
        return var;
    };
    VarRec* a = variable("a", {3});
    VarRec* b = variable("b", {2, 2});
    VarRec* c = variable("c", {4}); // in range: left alone
    VarRec* s = variable("s", {});
    auto at = [](VarRec* var, std::vector<int> indices) {
        ExprList index;
        for (int i : indices)
            index.append(makeIntegerConstant(i));
        return makeLeaf(0, var, TK_VARIABLENAME, nullptr, index);
    };
    auto equation = [&](ExprNode* left, ExprNode* right) {
        EquationRec* eq = newEquation(top->equations);
        eq->left = left;
        eq->right = right;
    };
    ExprList args;
    args.append(at(a, {4}));
    args.append(at(b, {1, 2}));
    equation(at(a, {5}), makeOperator(at(b, {3, 1}), at(c, {4}), TK_PLUS));
    equation(at(s, {}), makeFunctionCall(1, args));
    equation(at(c, {1}), makeConditional(makeOperator(at(a, {1}), at(s, {}), TK_GT), at(b, {2, 2}), at(a, {3})));
    ASSERT_EQ(normaliseIndices(top), 1);
    std::string text;
    for (EquationRec* eq : top->equations->equations)
        text += dumpExpression(eq->left) + " = " + dumpExpression(eq->right) + "\n";
    // a: the largest, 5, over the size 3 moves every index down by 2, and 1 - 2 = -1 becomes
    // 3 - (-1); b: the first index moves down by 1 (1 - 1 = 0 becomes 2 - 0), the second stays.
    EXPECT_EQ(text, "a[3] = (b[2, 1] + c[4])\n"
                    "s = ddt(a[2], b[2, 2])\n"
                    "c[1] = (if (a[4] > s) then b[1, 2] else a[1])\n");
}

TEST_F(CollectionTest, GathersFarMoreReferencesThanTheOldTableHeld)
{
    auto* x = ProcessingArena().make<VarRec>();
    ExprNode* sum = ref(x);
    for (int i = 1; i < 5000; ++i)
        sum = makeOperator(sum, ref(x), TK_PLUS);
    std::vector<ExprNode*> refs;
    find_varind_in_expr(sum, x, refs);
    EXPECT_EQ(refs.size(), 5000u);
    EXPECT_TRUE(m_errors.empty());
}

TEST_F(CollectionTest, HierarchicalNameBuildsFromTheMarkAndFlagsOverflow)
{
    HierarchicalName name;
    name.setPath(submodelPath(submodelPath("", "motor"), "ja"));
    name.append("`p1.e");
    EXPECT_EQ(name.text(), "motor`ja`p1.e");
    name.backToMark();
    name.append("`p1.f");
    EXPECT_EQ(name.text(), "motor`ja`p1.f");

    name.append(std::string(HierarchicalName::kMaxLength, 'x'));
    EXPECT_TRUE(name.overflowed());
    EXPECT_EQ(name.text(), "NAME TOO LONG");
    name.backToMark();
    EXPECT_EQ(name.text(), "motor`ja");

    name.setPath(std::string(HierarchicalName::kMaxLength, 'a'));
    EXPECT_FALSE(name.overflowed());
    name.append("b");
    EXPECT_EQ(name.text(), "NAME TOO LONG");
    name.setPath(std::string(HierarchicalName::kMaxLength + 1, 'a'));
    name.backToMark();
    EXPECT_EQ(name.text(), "NAME TOO LONG");
}

// One sine feeding three gains whole; the gains' outputs stay unconnected.
const char* kFanOut = "bond graph fan version 1\nsubclasses\n  sine;1 src\n  gain;1 g1, g2, g3\nconnections\n"
                      "  src`y -: g1`u\n  src`y -: g2`u\n  src`y -: g3`u\n";

class NumberingTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetSettings();
        Settings().model_dirs = dir.path();
        keldortest::copyLibraryElements(dir, KELDOR_LIBRARY_DIR, {"se1", "i1", "c1", "r1", "sine1", "gain1"});
        keldortest::writeThreePortJunctions(dir);
        Pipeline() = PipelineState{};
    }
    void TearDown() override
    {
        DisplayHooks().error = [](const char*, const char*, const char*, int, const char*, const char*) {};
        release_all();
    }

    /// Parsed, expanded and causally analysed; null on failure.
    ClassRec* analysed(const char* text)
    {
        auto parsed = keldortest::parseText(text);
        // Parsing leaves its own hook behind; errors from here on are ours.
        DisplayHooks().error = [this](const char* kind, const char* file, const char* submodel, int line,
                                      const char* token, const char* message) {
            errors.push_back(formatErrorLine(kind, file, submodel, line, token, message));
        };
        if (parsed.result != 0 || !parsed.cls || expand_model(parsed.cls, "m.mg0") != 1 ||
            causal_analysis(parsed.cls, "m.mg0") == 0)
            return nullptr;
        return parsed.cls;
    }

    static SubclassRec* submodel(ClassRec* cls, const std::string& name)
    {
        for (SubclassRec* sub : cls->graph->subclasses)
            if (instance_name(sub) == name)
                return sub;
        return nullptr;
    }

    testsupport::TempDir dir;
    std::vector<std::string> errors;
};

// Each bond takes an effort and a flow slot, and both ports see causality and power direction
// from their own side.
TEST_F(NumberingTest, BondsTakeTwoSlotsSeenFromEachPort)
{
    ClassRec* cls = analysed(kMsd);
    ASSERT_TRUE(cls) << (errors.empty() ? "" : errors[0]);
    int counter = 1;
    ASSERT_EQ(numberConnections(cls, counter), 1);
    EXPECT_EQ(counter, 11);
    EXPECT_TRUE(errors.empty());

    const struct {
        const char* sub;
        const char* port;
        int slot;
        int caus; ///< 1 the port takes effort... as the causal analysis gives it from that side
        int dir;  ///< 1 out of the port, 2 into it
    } cases[] = {
        {"f", "p", 1, 1, 1},  {"v", "p1", 1, 2, 2}, {"v", "p2", 3, 1, 1}, {"m", "p", 3, 2, 2},
        {"w", "p2", 7, 2, 1}, {"k", "p", 7, 1, 2},  {"d", "p", 9, 1, 2},
    };
    for (const auto& c : cases) {
        SubclassRec* sub = submodel(cls, c.sub);
        ASSERT_TRUE(sub && sub->cls) << c.sub;
        PortRec* port = findPort(sub->cls, c.port);
        ASSERT_TRUE(port) << c.sub << "`" << c.port;
        ASSERT_EQ(ConnectedEnds(sub, port).count(), 1) << c.sub << "`" << c.port;
        const ConnectedEnd d = *ConnectedEnds(sub, port).begin();
        EXPECT_EQ(d.slot(), c.slot) << c.sub << "`" << c.port;
        EXPECT_EQ(d.causality(), c.caus) << c.sub << "`" << c.port;
        EXPECT_EQ(d.direction(), c.dir) << c.sub << "`" << c.port;
        EXPECT_TRUE(d.indices().nodeindex.empty() && d.indices().index.empty());
    }
    // Both sides of every bond read opposite causalities, each as the bond gives it from there.
    for (BondRec* bond : cls->graph->bonds) {
        unsigned char caus[2] = {0, 0};
        std::int32_t slot[2] = {0, 0};
        for (int end = 0; end < 2; ++end) {
            auto* sub = static_cast<SubclassRec*>(bond->con[end].node);
            const ConnectedEnds ends(sub, findPort(sub->cls, bond->con[end].name));
            ASSERT_EQ(ends.count(), 1);
            caus[end] = (*ends.begin()).causality();
            slot[end] = (*ends.begin()).slot();
            EXPECT_EQ(caus[end], bondCausalityFrom(bond, end));
            EXPECT_EQ(slot[end], bond->con[end].slot);
        }
        EXPECT_NE(caus[0], caus[1]);
        EXPECT_EQ(slot[0], slot[1]);
    }
    // Numbering again gives the same lists, not longer ones.
    counter = 1;
    ASSERT_EQ(numberConnections(cls, counter), 1);
    EXPECT_EQ(counter, 11);
    for (const auto& c : cases)
        EXPECT_EQ(ConnectedEnds(submodel(cls, c.sub), findPort(submodel(cls, c.sub)->cls, c.port)).count(), 1)
            << c.sub << "`" << c.port;
}

TEST_F(NumberingTest, BadBondEndsAreReportedAndSkipped)
{
    ClassRec* cls = analysed(kMsd);
    ASSERT_TRUE(cls) << (errors.empty() ? "" : errors[0]);
    BondRec* first = cls->graph->bonds.first();
    BondRec* second = SectionList<BondRec>::after(first);
    first->con[0].name = "zz";
    second->con[1].type = END_POR;
    int counter = 1;
    ASSERT_EQ(numberConnections(cls, counter), 1);
    EXPECT_EQ(counter, 7);
    EXPECT_EQ(errors, (std::vector<std::string>{
                          "Equations generation error : bond connected with port zz, which is not a port of "
                          "submodel se1:f.",
                          "Equations generation error : <error: port instead of submodel connected at con1 of bond 2>",
                      }));
    // The skipped bonds leave their ports unconnected; the next bond starts at slot 1.
    SubclassRec* v = submodel(cls, "v");
    SubclassRec* w = submodel(cls, "w");
    EXPECT_TRUE(ConnectedEnds(v, findPort(v->cls, "p1")).empty());
    ASSERT_EQ(ConnectedEnds(w, findPort(w->cls, "p1")).count(), 1);
    EXPECT_EQ((*ConnectedEnds(w, findPort(w->cls, "p1")).begin()).slot(), 1);
}

// An output feeding three inputs whole is one slot; unconnected outputs get slots of their own.
TEST_F(NumberingTest, OutputFeedingSeveralInputsKeepsOneSlot)
{
    ClassRec* cls = analysed(kFanOut);
    ASSERT_TRUE(cls) << (errors.empty() ? "" : errors[0]);
    int counter = 1;
    ASSERT_EQ(numberConnections(cls, counter), 1);
    EXPECT_TRUE(errors.empty()) << errors[0];
    EXPECT_EQ(counter, 5);
    IoRec* y = submodel(cls, "src")->cls->outputs.first();
    ASSERT_EQ(y->connected.count(), 3);
    for (SignalDescriptor* d : y->connected) {
        EXPECT_EQ(d->index, 1);
        EXPECT_EQ(d->sigdir, 1);
    }
    std::map<int, std::string> unconnected;
    for (const char* g : {"g1", "g2", "g3"}) {
        ClassRec* gain = submodel(cls, g)->cls;
        ASSERT_EQ(gain->inputs.first()->connected.count(), 1);
        EXPECT_EQ(gain->inputs.first()->connected.at(0)->index, 1);
        EXPECT_EQ(gain->inputs.first()->connected.at(0)->sigdir, 2);
        ASSERT_EQ(gain->outputs.first()->connected.count(), 1);
        const SignalDescriptor* own = gain->outputs.first()->connected.at(0);
        EXPECT_EQ(own->signal, nullptr);
        unconnected[own->index] = g;
    }
    EXPECT_EQ(unconnected, (std::map<int, std::string>{{2, "g1"}, {3, "g2"}, {4, "g3"}}));
}

// A bond gives two variables named after the first port seen, the other port's name an alias;
// an output feeding three inputs is one variable; an unconnected output still gets its own.
TEST_F(NumberingTest, ConnectionNamesFillTheSlots)
{
    const struct {
        const char* model;
        int slots;
        std::vector<std::string> names;
    } cases[] = {
        {kMsd, 11, {"f`p.e_&_v`p1.e", "f`p.f_&_v`p1.f", "v`p2.e_&_m`p.e", "v`p2.f_&_m`p.f", "v`p3.e_&_w`p1.e",
                    "v`p3.f_&_w`p1.f", "w`p2.e_&_k`p.e", "w`p2.f_&_k`p.f", "w`p3.e_&_d`p.e", "w`p3.f_&_d`p.f"}},
        {kFanOut, 5, {"src`y_&_g1`u_&_g2`u_&_g3`u", "g1`y", "g2`y", "g3`y"}},
    };
    for (const auto& c : cases) {
        ClassRec* cls = analysed(c.model);
        ASSERT_TRUE(cls) << (errors.empty() ? "" : errors[0]);
        int counter = 1;
        ASSERT_EQ(numberConnections(cls, counter), 1);
        ASSERT_EQ(counter, c.slots);
        SlotTable slots(static_cast<std::size_t>(counter), nullptr);
        for (SubclassRec* sub : cls->graph->subclasses)
            ASSERT_EQ(enterConnectionNames(cls, sub, slots), 1) << (errors.empty() ? "" : errors[0]);
        EXPECT_TRUE(errors.empty());
        std::vector<std::string> names;
        for (std::size_t slot = 1; slot < slots.size(); ++slot) {
            ASSERT_TRUE(slots[slot]) << slot;
            names.push_back(variableFullName(*slots[slot]));
            EXPECT_TRUE(slots[slot]->dim.empty());
        }
        EXPECT_EQ(names, c.names);
        EXPECT_EQ(cls->variables.count(), c.slots - 1);
        release_all();
        errors.clear();
    }
}

// After rewriting, the inertia's equation reads the slot variables of its bond, and no port
// reference is left in any submodel.
TEST_F(NumberingTest, PortReferencesBecomeSlotVariables)
{
    ClassRec* cls = analysed(kMsd);
    ASSERT_TRUE(cls) << (errors.empty() ? "" : errors[0]);
    int counter = 1;
    ASSERT_EQ(numberConnections(cls, counter), 1);
    SlotTable slots(static_cast<std::size_t>(counter), nullptr);
    for (SubclassRec* sub : cls->graph->subclasses)
        ASSERT_EQ(enterConnectionNames(cls, sub, slots), 1);
    for (SubclassRec* sub : cls->graph->subclasses)
        ASSERT_EQ(rewriteConnectionReferences(sub, slots), 1) << (errors.empty() ? "" : errors[0]);
    EXPECT_TRUE(errors.empty());
    EquationRec* eq = submodel(cls, "m")->cls->equations->equations.first();
    ASSERT_TRUE(eq);
    EXPECT_EQ(eq->left->kind, TK_VARIABLENAME);
    EXPECT_EQ(eq->left->var(), slots[4]);
    for (std::size_t slot = 1; slot < slots.size(); ++slot)
        EXPECT_EQ(slots[slot]->connmark, 1) << slot;
    for (SubclassRec* sub : cls->graph->subclasses)
        for (EquationRec* e : sub->cls->equations->equations) {
            const std::string text = dumpExpression(e->left) + " " + dumpExpression(e->right);
            for (ExprNode* n = e->variables; n; n = n->extra())
                EXPECT_NE(n->kind, TK_PORTNAME) << text;
        }
}

// Two submodels share one variable at different offsets: a junction's p[4..6] and another's
// q[1..3]. Each reference is counted from its own connection's range start.
TEST_F(CollectionTest, SharedVectorVariableIsIndexedFromEachConnectionsRange)
{
    auto* var = ProcessingArena().make<VarRec>();
    var->dim.append(makeIntegerConstant(3));
    SlotTable slots{nullptr, nullptr, var};

    struct Side {
        int lo;
        int hi;
        std::vector<int> refs;
        std::vector<int> expected;
    };
    const Side sides[] = {{4, 6, {4, 5, 6}, {1, 2, 3}}, {1, 3, {1, 2, 3}, {1, 2, 3}}, {2, 4, {3}, {2}}};
    for (const Side& side : sides) {
        ClassRec* cls = newClass();
        newEquationBody(cls);
        auto* sub = ProcessingArena().make<SubclassRec>();
        sub->name = "j";
        sub->cls = cls;
        PortRec* port = newPort(cls);
        port->name = "p";
        auto* bond = ProcessingArena().make<BondRec>();
        ConnEnd* end = &bond->con[0];
        end->type = END_SUB;
        end->node = sub;
        end->name = "p";
        end->index.append(range(side.lo, side.hi));
        end->slot = 1;
        ASSERT_TRUE(connectEndAtPort(sub, port, bond, 0));
        std::vector<ExprNode*> refs;
        for (int i : side.refs) {
            ExprList index;
            index.append(makeIntegerConstant(i));
            ExprNode* ref = makeLeaf(TK_SEL_FLOW, port, TK_PORTNAME, nullptr, index);
            EquationRec* eq = newEquation(cls->equations);
            eq->left = ref;
            eq->right = makeRealConstant(0.0);
            refs.push_back(ref);
        }
        ASSERT_EQ(rewriteConnectionReferences(sub, slots), 1) << (m_errors.empty() ? "" : m_errors[0]);
        for (std::size_t k = 0; k < refs.size(); ++k) {
            EXPECT_EQ(refs[k]->var(), var);
            ASSERT_EQ(refs[k]->index().count(), 1);
            EXPECT_EQ(refs[k]->index().at(0)->intValue(), side.expected[k]) << side.lo << " " << side.refs[k];
        }
    }
}

TEST_F(CollectionTest, ReferenceOutsideEveryConnectionFailsTheSubmodel)
{
    ClassRec* cls = newClass();
    newEquationBody(cls);
    auto* sub = ProcessingArena().make<SubclassRec>();
    sub->name = "j";
    sub->cls = cls;
    cls->name = "zj";
    cls->version = 1;
    PortRec* port = newPort(cls);
    port->name = "p";
    auto* bond = ProcessingArena().make<BondRec>();
    ConnEnd* end = &bond->con[1];
    end->node = sub;
    end->name = "p";
    end->index.append(range(1, 2));
    end->slot = 1;
    ASSERT_TRUE(connectEndAtPort(sub, port, bond, 1));
    ExprList index;
    index.append(makeIntegerConstant(3));
    EquationRec* eq = newEquation(cls->equations);
    eq->left = makeLeaf(TK_SEL_EFFORT, port, TK_PORTNAME, nullptr, index);
    eq->right = makeRealConstant(0.0);
    SlotTable slots{nullptr, ProcessingArena().make<VarRec>(), ProcessingArena().make<VarRec>()};
    EXPECT_EQ(rewriteConnectionReferences(sub, slots), 0);
    ASSERT_EQ(m_errors.size(), 1u);
    EXPECT_EQ(m_errors[0], "Equations generation error no bond connected with port p[3] of submodel zj1:j.");
    EXPECT_EQ(eq->left->kind, TK_PORTNAME);
}

/// The equations and parameters collected from the mass-spring-damper chain.
void expectCollectedMsd(ClassRec* cls)
{
    std::string text;
    for (EquationRec* eq : cls->equations->equations)
        text += dumpExpression(eq->left) + " = " + dumpExpression(eq->right) + "\n";
    EXPECT_EQ(text, "f`p.e = f`e\n"
                    "v`p2.f = f`p.f\n"
                    "v`p3.f = f`p.f\n"
                    "f`p.e = (v`p2.e + v`p3.e)\n"
                    "w`p2.f = v`p3.f\n"
                    "w`p3.f = v`p3.f\n"
                    "v`p3.e = (w`p2.e + w`p3.e)\n"
                    "v`p2.f = (int(v`p2.e) / m`i)\n"
                    "w`p2.e = (int(w`p2.f) / k`c)\n"
                    "w`p3.e = (d`r * w`p3.f)\n");
    std::vector<std::string> parameters;
    for (VarRec* p : cls->parameters)
        parameters.push_back(p->name.str());
    EXPECT_NE(std::find(parameters.begin(), parameters.end(), "m`i"), parameters.end());
}

// The mass-spring-damper collected: one flat body of type DYN whose equations read the slot
// variables and the submodels' parameters under their paths.
TEST_F(NumberingTest, CollectionGivesOneFlatBody)
{
    ClassRec* cls = analysed(kMsd);
    ASSERT_TRUE(cls) << (errors.empty() ? "" : errors[0]);
    int counter = 1;
    ASSERT_EQ(numberConnections(cls, counter), 1);
    int equationCount = 0;
    for (SubclassRec* sub : cls->graph->subclasses)
        equationCount += sub->cls->equations->equations.count();
    ASSERT_EQ(collectEquations(cls, counter), 1) << (errors.empty() ? "" : errors[0]);
    EXPECT_TRUE(errors.empty());
    EXPECT_EQ(cls->type, CLASS_DYN);
    EXPECT_EQ(cls->graph, nullptr);
    ASSERT_TRUE(cls->equations);
    EXPECT_EQ(cls->equations->equations.count(), equationCount);
    expectCollectedMsd(cls);
}

// Records staged submodel by submodel come back in the order taken, each submodel's equations
// counted apart, and then no more.
TEST_F(NumberingTest, StagedEquationsComeBackSubmodelBySubmodel)
{
    ClassRec* cls = analysed(kMsd);
    ASSERT_TRUE(cls) << (errors.empty() ? "" : errors[0]);
    StagedRecords staged;
    std::vector<std::vector<EquationRec*>> taken;
    for (SubclassRec* sub : cls->graph->subclasses) {
        if (sharesTypeClass(sub)) {
            ASSERT_TRUE(copyTypeClassFor(sub, GraphArena()));
        }
        std::vector<EquationRec*> equations;
        for (EquationRec* eq : sub->cls->equations->equations)
            equations.push_back(eq);
        taken.push_back(equations);
        staged.take(sub);
        EXPECT_TRUE(sub->cls->equations->equations.empty());
    }
    ASSERT_EQ(taken.size(), 6u);
    for (const std::vector<EquationRec*>& expected : taken) {
        EquationRec* first = nullptr;
        std::size_t count = 99;
        ASSERT_TRUE(staged.nextEquations(first, count));
        std::vector<EquationRec*> given;
        for (EquationRec* eq = first; eq && given.size() < count; eq = SectionList<EquationRec>::after(eq))
            given.push_back(eq);
        EXPECT_EQ(count, expected.size());
        EXPECT_EQ(given, expected);
    }
    EquationRec* first = nullptr;
    std::size_t count = 0;
    EXPECT_FALSE(staged.nextEquations(first, count));
}

// Staged records collect into the same flat body as records taken from the classes.
TEST_F(NumberingTest, StagedRecordsCollectAsTheClassesWould)
{
    ClassRec* cls = analysed(kMsd);
    ASSERT_TRUE(cls) << (errors.empty() ? "" : errors[0]);
    int counter = 1;
    ASSERT_EQ(numberConnections(cls, counter), 1);
    StagedRecords staged;
    for (SubclassRec* sub : cls->graph->subclasses) {
        if (sharesTypeClass(sub)) {
            ASSERT_TRUE(copyTypeClassFor(sub, GraphArena()));
        }
        staged.take(sub);
    }
    ASSERT_EQ(collectEquations(cls, counter, &staged), 1) << (errors.empty() ? "" : errors[0]);
    EXPECT_TRUE(errors.empty());
    expectCollectedMsd(cls);
}

// Inputs read the source's output variable; each gain's own output is a variable of its own.
TEST_F(NumberingTest, CollectedSignalsShareTheSourceVariable)
{
    ClassRec* cls = analysed(kFanOut);
    ASSERT_TRUE(cls) << (errors.empty() ? "" : errors[0]);
    int counter = 1;
    ASSERT_EQ(numberConnections(cls, counter), 1);
    ASSERT_EQ(collectEquations(cls, counter), 1) << (errors.empty() ? "" : errors[0]);
    std::string text;
    for (EquationRec* eq : cls->equations->equations)
        text += dumpExpression(eq->left) + " = " + dumpExpression(eq->right) + "\n";
    EXPECT_EQ(text, "src`y = (src`amp * sin((src`omega * t)))\n"
                    "g1`y = (g1`k * src`y)\n"
                    "g2`y = (g2`k * src`y)\n"
                    "g3`y = (g3`k * src`y)\n");
}

TEST_F(NumberingTest, SlotOutsideTheTableFailsTheSubmodel)
{
    ClassRec* cls = analysed(kMsd);
    ASSERT_TRUE(cls) << (errors.empty() ? "" : errors[0]);
    int counter = 1;
    ASSERT_EQ(numberConnections(cls, counter), 1);
    SlotTable slots(static_cast<std::size_t>(counter - 2), nullptr);
    int failed = 0;
    for (SubclassRec* sub : cls->graph->subclasses)
        failed += enterConnectionNames(cls, sub, slots) == 0;
    EXPECT_EQ(failed, 2); // the two ends of the last bond
    EXPECT_EQ(errors.size(), 2u);
}

} // namespace
