// Tests of state determination: int, ddt and limint turned into states, rates and initial conditions.
#include "common/settings_table.h"
#include "modelproc/causal_analysis.h"
#include "modelproc/display_hooks.h"
#include "modelproc/equation_generation.h"
#include "modelproc/expansion.h"
#include "modelproc/record_dump.h"
#include "modelproc/record_release.h"
#include "modelproc/state_variables.h"
#include "modelproc/tests/class_builder.h"
#include "modelproc/tests/keldor_support.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

namespace {

using testsupport::ClassBuilder;

/// State determination as the pipeline runs it: the order it hands on to sorting must be the list
/// as it leaves it, with the equations it removed and appended.
int determineStatesListed(ClassRec* cls)
{
    std::vector<EquationRec*> order;
    const int result = determineStatesWithOrder(cls, order);
    std::vector<EquationRec*> list;
    for (EquationRec* eq : cls->equations->equations)
        list.push_back(eq);
    EXPECT_EQ(order, list);
    return result;
}

class StatesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_saved = DisplayHooks();
        DisplayHooks().error = [this](const char* kind, const char*, const char*, int, const char*,
                                      const char* message) {
            m_errors.push_back(std::string(kind ? kind : "") + (message ? message : ""));
        };
    }
    void TearDown() override
    {
        DisplayHooks() = m_saved;
        release_all();
    }

    static std::string equations(const EquationBody* body)
    {
        std::string text;
        for (EquationRec* eq : body->equations)
            text += dumpExpression(eq->left) + " = " + dumpExpression(eq->right) + "\n";
        return text;
    }

    /// The names of a section, each followed by its aliases after '|'.
    static std::string names(const SectionList<VarRec>& list)
    {
        std::string text;
        for (VarRec* v : list) {
            if (!text.empty())
                text += " ";
            text += v->name;
            for (std::string_view a : v->aliases)
                text.append("|").append(a);
        }
        return text;
    }

    /// Every reference in every equation has the kind of the section that holds its variable.
    static void expectKindsMatchSections(const EquationBody* body)
    {
        for (EquationRec* eq : body->equations)
            for (ExprNode* v = eq->variables; v; v = v->extra()) {
                for (int s = BODY_INDEP_STATES; s <= BODY_DEP_RATES; ++s) {
                    for (VarRec* var : const_cast<EquationBody*>(body)->section(BodySection(s))) {
                        if (v->record() == var) {
                            EXPECT_EQ(v->kind, testsupport::kindOf(BodySection(s))) << var->name;
                        }
                    }
                }
            }
    }

    std::vector<std::string> m_errors;
    ProcessorDisplayHooks m_saved;
};

TEST_F(StatesTest, IntegralShapesGiveTheirStatesRatesAndEquations)
{
    ClassBuilder b("m", 1);
    VarRec* x = b.var(CLASS_VARIABLES, "x");
    VarRec* y = b.var(CLASS_VARIABLES, "y");
    VarRec* a = b.var(CLASS_VARIABLES, "a");
    VarRec* z = b.var(CLASS_VARIABLES, "z");
    VarRec* v = b.var(CLASS_VARIABLES, "v");
    VarRec* u = b.var(CLASS_VARIABLES, "u");
    const int V = TK_VARIABLENAME;
    // x = int(y): the equation goes, x is the state and y its rate.
    b.eq(b.ref(x, V), b.fn(FN_INT, {b.ref(y, V)}));
    // u = int(a + 1): u is the state of the new rate u_indep_rate.
    b.eq(b.ref(u, V), b.fn(FN_INT, {b.op(TK_PLUS, b.ref(a, V), b.num(1))}));
    // z = 2 * int(v + 1): an unnamed integral inside an expression.
    b.eq(b.ref(z, V), b.op(TK_MULT, b.num(2), b.fn(FN_INT, {b.op(TK_PLUS, b.ref(v, V), b.num(1))})));
    // t = int(3 * int(w)): a double integral, the inner one found in the new rate equation.
    VarRec* t = b.var(CLASS_VARIABLES, "t");
    VarRec* w = b.var(CLASS_VARIABLES, "w");
    b.eq(b.ref(t, V), b.fn(FN_INT, {b.op(TK_MULT, b.num(3), b.fn(FN_INT, {b.ref(w, V)}))}));
    ASSERT_EQ(determineStatesListed(b.cls), 1) << testing::PrintToString(m_errors);
    EXPECT_TRUE(m_errors.empty());
    EXPECT_EQ(equations(b.body), "u_indep_rate = (a + 1r)\n"
                                 "z = (2r * indep_state_2)\n"
                                 "t_indep_rate = (3r * w_indep_state)\n"
                                 "indep_rate_2 = (v + 1r)\n");
    EXPECT_EQ(names(b.body->indep_states), "x u indep_state_2 t w_indep_state");
    EXPECT_EQ(names(b.body->indep_rates), "y u_indep_rate indep_rate_2 t_indep_rate w");
    EXPECT_EQ(names(b.cls->variables), "a z v");
    EXPECT_EQ(names(b.cls->initconds), "x u indep_state_2 t w_indep_state");
    expectKindsMatchSections(b.body);
}

TEST_F(StatesTest, DerivativeShapesGiveDependentStatesAndRates)
{
    ClassBuilder b("m", 1);
    VarRec* x = b.var(CLASS_VARIABLES, "x");
    VarRec* y = b.var(CLASS_VARIABLES, "y");
    VarRec* w = b.var(CLASS_VARIABLES, "w");
    VarRec* m = b.var(CLASS_PARAMETERS, "m");
    VarRec* e = b.var(CLASS_VARIABLES, "e");
    const int V = TK_VARIABLENAME;
    b.eq(b.ref(x, V), b.fn(FN_DDT, {b.ref(y, V)}));
    b.eq(b.ref(w, V), b.fn(FN_DDT, {b.op(TK_MULT, b.ref(m, TK_PARAMETERNAME), b.ref(e, V))}));
    // q = int(g) makes g a rate; g = ddt(h) then names the derivative of h.
    VarRec* q = b.var(CLASS_VARIABLES, "q");
    VarRec* g = b.var(CLASS_VARIABLES, "g");
    VarRec* h = b.var(CLASS_VARIABLES, "h");
    b.eq(b.ref(q, V), b.fn(FN_INT, {b.ref(g, V)}));
    b.eq(b.ref(g, V), b.fn(FN_DDT, {b.ref(h, V)}));
    // A derivative inside an expression.
    b.eq(b.ref(e, V), b.op(TK_PLUS, b.num(1), b.fn(FN_DDT, {b.op(TK_MULT, b.num(2), b.ref(h, TK_DEP_STATENAME))})));
    ASSERT_EQ(determineStatesListed(b.cls), 1) << testing::PrintToString(m_errors);
    EXPECT_EQ(equations(b.body), "w_dep_state = (m * e)\n"
                                 "g = h_dep_rate\n"
                                 "e = (1r + dep_rate_3)\n"
                                 "dep_state_3 = (2r * h)\n");
    EXPECT_EQ(names(b.body->dep_states), "y w_dep_state h dep_state_3");
    EXPECT_EQ(names(b.body->dep_rates), "x w h_dep_rate dep_rate_3");
    EXPECT_EQ(names(b.body->indep_states), "q");
    EXPECT_EQ(names(b.body->indep_rates), "g");
    expectKindsMatchSections(b.body);
}

// Rates and states keep their pairing by position even where a variable is already a state.
TEST_F(StatesTest, SecondIntegralOfAStateKeepsSectionsPaired)
{
    ClassBuilder b("m", 1);
    VarRec* x = b.var(CLASS_VARIABLES, "x");
    VarRec* y = b.var(CLASS_VARIABLES, "y");
    VarRec* p = b.var(CLASS_VARIABLES, "p");
    const int V = TK_VARIABLENAME;
    b.eq(b.ref(x, V), b.fn(FN_INT, {b.ref(y, V)}));
    b.eq(b.ref(p, V), b.fn(FN_INT, {b.ref(x, V)}));
    ASSERT_EQ(determineStatesListed(b.cls), 1) << testing::PrintToString(m_errors);
    EXPECT_EQ(b.body->indep_states.count(), b.body->indep_rates.count());
    EXPECT_EQ(names(b.body->indep_states), "x p");
    EXPECT_EQ(names(b.body->indep_rates), "y p_indep_rate");
    EXPECT_EQ(equations(b.body), "p_indep_rate = x\n");
    expectKindsMatchSections(b.body);
}

// A vector moves as a whole: a reference that selects only some elements would leave the others
// with references of the old kind.
TEST_F(StatesTest, VectorIsIntegratedOnlyAsAWhole)
{
    struct Case {
        const char* name;
        int lo, hi;
        int result;
    };
    const Case cases[] = {
        {"whole range", 1, 3, 1},
        {"first two elements", 1, 2, 0},
        {"last two elements", 2, 3, 0},
    };
    for (const Case& c : cases) {
        m_errors.clear();
        ClassBuilder b("m", 1);
        VarRec* x = b.var(CLASS_VARIABLES, "x", {3});
        VarRec* r = b.var(CLASS_VARIABLES, "r", {3});
        auto range = [&c] { return makeOperator(makeIntegerConstant(c.lo), makeIntegerConstant(c.hi), TK_UPTO); };
        b.eq(b.ref(x, TK_VARIABLENAME, {range()}), b.fn(FN_INT, {b.ref(r, TK_VARIABLENAME, {range()})}));
        EXPECT_EQ(determineStatesListed(b.cls), c.result) << c.name;
        EXPECT_EQ(m_errors.empty(), c.result == 1) << c.name;
        EXPECT_EQ(b.body->indep_states.count(), b.body->indep_rates.count()) << c.name;
    }
}

// A vector integrated element by element, in any order, becomes one state vector paired with
// one rate vector at the same place of their sections; the elements pair by position.
TEST_F(StatesTest, VectorIntegratedElementByElement)
{
    const int V = TK_VARIABLENAME;
    struct Case {
        const char* name;
        std::vector<std::pair<int, int>> calls; ///< state element, rate element
        int function;
        const char* states;
        const char* rates;
        const char* equations;
    };
    const Case cases[] = {
        {"int, in order", {{1, 1}, {2, 2}, {3, 3}}, FN_INT, "x", "y", ""},
        {"int, out of order", {{3, 3}, {1, 1}, {2, 2}}, FN_INT, "x", "y", ""},
        {"ddt", {{2, 2}, {1, 1}, {3, 3}}, FN_DDT, "y", "x", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_errors.clear();
        ClassBuilder b("m", 1);
        VarRec* x = b.var(CLASS_VARIABLES, "x", {3});
        VarRec* y = b.var(CLASS_VARIABLES, "y", {3});
        VarRec* u = b.var(CLASS_VARIABLES, "u");
        b.eq(b.ref(u, V), b.op(TK_PLUS, b.ref(x, V, {b.integer(2)}), b.ref(y, V, {b.integer(3)})));
        for (auto [state, rate] : c.calls)
            b.eq(b.ref(x, V, {b.integer(state)}), b.fn(c.function, {b.ref(y, V, {b.integer(rate)})}));
        ASSERT_EQ(determineStatesListed(b.cls), 1) << testing::PrintToString(m_errors);
        const bool isInt = c.function == FN_INT;
        EXPECT_EQ(names(isInt ? b.body->indep_states : b.body->dep_states), c.states);
        EXPECT_EQ(names(isInt ? b.body->indep_rates : b.body->dep_rates), c.rates);
        EXPECT_EQ(equations(b.body), "u = (x[2] + y[3])\n");
        EXPECT_EQ(names(b.cls->initconds), isInt ? "x" : "");
        expectKindsMatchSections(b.body);
    }
}

// Elements integrated from expressions share one new rate vector; integrals of elements inside
// expressions share one new state vector.
TEST_F(StatesTest, ElementIntegralsShareTheirNewVectors)
{
    const int V = TK_VARIABLENAME;
    ClassBuilder b("m", 1);
    VarRec* x = b.var(CLASS_VARIABLES, "x", {2});
    VarRec* a = b.var(CLASS_VARIABLES, "a");
    VarRec* v = b.var(CLASS_VARIABLES, "v", {2});
    VarRec* z = b.var(CLASS_VARIABLES, "z", {2});
    b.eq(b.ref(x, V, {b.integer(2)}), b.fn(FN_INT, {b.op(TK_MULT, b.num(2), b.ref(a, V))}));
    b.eq(b.ref(x, V, {b.integer(1)}), b.fn(FN_INT, {b.ref(a, V)}));
    b.eq(b.ref(z, V, {b.integer(1)}), b.op(TK_MULT, b.num(3), b.fn(FN_INT, {b.ref(v, V, {b.integer(1)})})));
    b.eq(b.ref(z, V, {b.integer(2)}), b.op(TK_PLUS, b.fn(FN_INT, {b.ref(v, V, {b.integer(2)})}), b.num(1)));
    ASSERT_EQ(determineStatesListed(b.cls), 1) << testing::PrintToString(m_errors);
    EXPECT_EQ(names(b.body->indep_states), "x v_indep_state");
    EXPECT_EQ(names(b.body->indep_rates), "x_indep_rate v");
    EXPECT_EQ(equations(b.body), "x_indep_rate[2] = (2r * a)\n"
                                 "x_indep_rate[1] = a\n"
                                 "z[1] = (3r * v_indep_state[1])\n"
                                 "z[2] = (v_indep_state[2] + 1r)\n");
    expectKindsMatchSections(b.body);
}

// Element calls that cannot pair by position are refused, as is a vector integrated in part:
// its other elements would keep equations of their own beside the integral.
TEST_F(StatesTest, ElementCallsThatCannotPairAreRefused)
{
    const int V = TK_VARIABLENAME;
    const std::string kind = "Equations generation error ";
    struct Case {
        const char* name;
        void (*build)(ClassBuilder&);
        std::string error;
    };
    const Case cases[] = {
        {"other element of the rate",
         [](ClassBuilder& b) {
             VarRec* x = b.var(CLASS_VARIABLES, "x", {2});
             VarRec* y = b.var(CLASS_VARIABLES, "y", {2});
             b.eq(b.ref(x, V, {b.integer(1)}), b.fn(FN_INT, {b.ref(y, V, {b.integer(2)})}));
         },
         "equation x[1] = int(y[2]): state and rate elements do not match"},
        {"vectors of different sizes",
         [](ClassBuilder& b) {
             VarRec* x = b.var(CLASS_VARIABLES, "x", {2});
             VarRec* y = b.var(CLASS_VARIABLES, "y", {3});
             b.eq(b.ref(x, V), b.fn(FN_INT, {b.ref(y, V)}));
         },
         "equation x = int(y): state and rate elements do not match"},
        {"second element from another variable",
         [](ClassBuilder& b) {
             VarRec* x = b.var(CLASS_VARIABLES, "x", {2});
             VarRec* y = b.var(CLASS_VARIABLES, "y", {2});
             VarRec* w = b.var(CLASS_VARIABLES, "w");
             b.eq(b.ref(x, V, {b.integer(1)}), b.fn(FN_INT, {b.ref(y, V, {b.integer(1)})}));
             b.eq(b.ref(x, V, {b.integer(2)}), b.fn(FN_INT, {b.ref(w, V)}));
         },
         "equation x[2] = int(w): state and rate elements do not match"},
        {"one element left over",
         [](ClassBuilder& b) {
             VarRec* x = b.var(CLASS_VARIABLES, "x", {3});
             VarRec* y = b.var(CLASS_VARIABLES, "y", {3});
             b.eq(b.ref(x, V, {b.integer(1)}), b.fn(FN_INT, {b.ref(y, V, {b.integer(1)})}));
             b.eq(b.ref(x, V, {b.integer(3)}), b.fn(FN_INT, {b.ref(y, V, {b.integer(3)})}));
             b.eq(b.ref(x, V, {b.integer(2)}), b.num(0));
         },
         "equation x[1] = int(y[1]): vector x only partly used as state or rate"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_errors.clear();
        ClassBuilder b("m", 1);
        c.build(b);
        EXPECT_EQ(determineStatesListed(b.cls), 0);
        EXPECT_EQ(m_errors, std::vector<std::string>{kind + c.error});
        EXPECT_EQ(b.body->indep_states.count(), b.body->indep_rates.count());
    }
}

// A vector oscillator written in Keldor: q = (position, velocity) integrates dq element by element.
TEST_F(StatesTest, VectorOscillatorModel)
{
    auto parsed = keldortest::parseText("class osc version 1\nparameters\n  real w\nvariables\n"
                                        "  real q[2], dq[2]\nequations\n  q[1] = int(dq[1])\n"
                                        "  dq[1] = q[2]\n  q[2] = int(dq[2])\n  dq[2] = -w * w * q[1]\n");
    ASSERT_EQ(parsed.result, 0) << (parsed.errors.empty() ? "" : parsed.errors[0]);
    ASSERT_EQ(determineStatesListed(parsed.cls), 1) << testing::PrintToString(m_errors);
    const EquationBody* body = parsed.cls->equations;
    EXPECT_EQ(names(body->indep_states), "q");
    EXPECT_EQ(names(body->indep_rates), "dq");
    EXPECT_EQ(names(parsed.cls->initconds), "q");
    EXPECT_EQ(equations(body), "dq[1] = q[2]\ndq[2] = (((- w) * w) * q[1])\n");
    expectKindsMatchSections(body);
}

TEST_F(StatesTest, StateWithAliasAndBlanksGetsItsInitialCondition)
{
    ClassBuilder b("m", 1);
    VarRec* x = b.var(CLASS_VARIABLES, "x 1", {3}, TYPE_REAL, {"y", ""});
    VarRec* r = b.var(CLASS_VARIABLES, "r", {3});
    b.eq(b.ref(x, TK_VARIABLENAME), b.fn(FN_INT, {b.ref(r, TK_VARIABLENAME)}));
    ASSERT_EQ(determineStatesListed(b.cls), 1) << testing::PrintToString(m_errors);
    ASSERT_EQ(b.cls->initconds.count(), 1);
    VarRec* ic = b.cls->initconds.first();
    EXPECT_EQ(ic->name, "x1");
    EXPECT_EQ(b.body->indep_states.first()->name, "x1");
    EXPECT_EQ(ic->aliases, (std::vector<std::string>{"y_ic", "ic"}));
    EXPECT_EQ(ic->at, TYPE_REAL);
    ASSERT_EQ(ic->dim.count(), 1);
    EXPECT_NE(ic->dim.at(0), x->dim.at(0)) << "the dimensions are a copy";
    EXPECT_EQ(ic->dim.at(0)->intValue(), 3);
}

TEST_F(StatesTest, LimitedIntegralBecomesAGuardedIntegral)
{
    ClassBuilder b("m", 1);
    VarRec* x = b.var(CLASS_VARIABLES, "x");
    VarRec* r = b.var(CLASS_VARIABLES, "r");
    VarRec* lo = b.var(CLASS_PARAMETERS, "lo");
    VarRec* hi = b.var(CLASS_PARAMETERS, "hi");
    b.eq(b.ref(x, TK_VARIABLENAME), b.fn(FN_LIMINT, {b.ref(r, TK_VARIABLENAME), b.ref(lo, TK_PARAMETERNAME),
                                                     b.ref(hi, TK_PARAMETERNAME)}));
    ASSERT_EQ(determineStatesListed(b.cls), 1) << testing::PrintToString(m_errors);
    EXPECT_EQ(equations(b.body),
              "x_indep_rate = (if ((r > 0r) and (x >= hi)) then 0r else (if ((r < 0r) and (x <= lo)) then 0r "
              "else r))\n");
    EXPECT_EQ(names(b.body->indep_states), "x");
    expectKindsMatchSections(b.body);
}

TEST_F(StatesTest, RefusedShapesAreReportedAndTheWalkGoesOn)
{
    struct Case {
        const char* name;
        const char* error;
    };
    ClassBuilder b("m", 1);
    VarRec* x = b.var(CLASS_VARIABLES, "x");
    VarRec* y = b.var(CLASS_VARIABLES, "y");
    VarRec* z = b.var(CLASS_VARIABLES, "z");
    VarRec* q = b.var(CLASS_VARIABLES, "q", {3});
    VarRec* s = b.var(CLASS_VARIABLES, "s", {3});
    VarRec* p = b.var(CLASS_PARAMETERS, "p");
    VarRec* k = b.var(CLASS_PARAMETERS, "k");
    const int V = TK_VARIABLENAME;
    const int P = TK_PARAMETERNAME;
    b.eq(b.ref(p, P), b.fn(FN_INT, {b.ref(y, V)}));
    b.eq(b.ref(x, V), b.fn(FN_INT, {b.ref(k, P)}));
    b.eq(b.ref(z, V), b.op(TK_MULT, b.num(2), b.fn(FN_DDT, {b.ref(k, P)})));
    b.eq(b.ref(z, V), b.op(TK_PLUS, b.num(1), b.fn(FN_LIMINT, {b.ref(y, V), b.num(0), b.num(1)})));
    b.eq(b.ref(q, V, {b.integer(1)}), b.fn(FN_INT, {b.ref(s, V, {b.integer(1)})}));
    b.eq(b.ref(p, P), b.fn(FN_DDT, {b.ref(y, V)}));
    b.eq(b.ref(z, V), b.op(TK_MULT, b.op(TK_PLUS, b.num(1), b.ref(y, V)), b.fn(FN_INT, {b.ref(k, P)})));
    EXPECT_EQ(determineStatesListed(b.cls), 0);
    const std::string kind = "Equations generation error ";
    EXPECT_EQ(m_errors, (std::vector<std::string>{
                            kind + "equation p = int(y): lhs not allowed as state",
                            kind + "equation x = int(k): illegal argument for int (errorinfo: 123)",
                            kind + "equation z = 2*ddt(k): illegal argument for ddt (errorinfo: 789)",
                            kind + "equation z = 1+limint(y,0,1): limint only allowed as the whole right side",
                            kind + "equation p = ddt(y): lhs not allowed as rate",
                            kind + "equation z = (1+y)*int(k): illegal argument for int (errorinfo: 789)",
                            kind + "equation q[1] = int(s[1]): vector q only partly used as state or rate",
                        }));
}

// The whole chain on the mass-spring-damper: two integrals inside expressions become the states.
TEST_F(StatesTest, MassSpringDamperHasMomentumAndDisplacementAsStates)
{
    testsupport::TempDir dir;
    ResetSettings();
    Settings().model_dirs = dir.path();
    keldortest::copyLibraryElements(dir, KELDOR_LIBRARY_DIR, {"se1", "i1", "c1", "r1"});
    keldortest::writeThreePortJunctions(dir);
    Pipeline() = PipelineState{};
    auto parsed = keldortest::parseText(keldortest::kMsd);
    ASSERT_TRUE(parsed.result == 0 && parsed.cls);
    ASSERT_EQ(expand_model(parsed.cls, "m.mg0"), 1);
    ASSERT_NE(causal_analysis(parsed.cls, "m.mg0"), 0);
    int counter = 1;
    ASSERT_EQ(reshapeAndCollect(parsed.cls, counter), 1);
    std::vector<std::string> log;
    DisplayHooks().progress = [&log](const char* text) { log.push_back(text); };
    ASSERT_EQ(determineStatesStep(parsed.cls), 1) << testing::PrintToString(m_errors);
    EXPECT_EQ(log, (std::vector<std::string>{" . Determination of state and rate-variables.."}));
    const EquationBody* body = parsed.cls->equations;
    // Each port alias of a connection variable gives its state and initial condition an alias.
    EXPECT_EQ(names(body->indep_states), "v`p2.e_indep_state|m`p.e_indep_state w`p2.f_indep_state|k`p.f_indep_state");
    EXPECT_EQ(names(body->indep_rates), "v`p2.e|m`p.e w`p2.f|k`p.f");
    EXPECT_EQ(names(parsed.cls->initconds),
              "v`p2.e_indep_state|m`p.e_indep_state_ic w`p2.f_indep_state|k`p.f_indep_state_ic");
    const std::string text = equations(body);
    EXPECT_NE(text.find("v`p2.f = (v`p2.e_indep_state / m`i)"), std::string::npos) << text;
    EXPECT_NE(text.find("w`p2.e = (w`p2.f_indep_state / k`c)"), std::string::npos) << text;
    EXPECT_EQ(text.find("int("), std::string::npos) << text;
    expectKindsMatchSections(body);
}

} // namespace
