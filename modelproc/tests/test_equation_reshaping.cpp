// Tests of reshaping: solving equations for one element by inverting the operator chain.
#include "modelproc/display_hooks.h"
#include "modelproc/equation_reshaping.h"
#include "modelproc/template_writer.h"
#include "modelproc/function_table.h"
#include "modelproc/tokens.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class ReshapingTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_errors.clear();
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

public:
    ExprNode* ref(const char* name)
    {
        auto* var = ProcessingArena().make<VarRec>();
        var->name = name;
        return makeLeaf(0, var, TK_VARIABLENAME, nullptr, ExprList{});
    }
    static ExprNode* op(ExprNode* l, int kind, ExprNode* r) { return makeOperator(l, r, kind); }
    static ExprNode* call(int function, ExprNode* arg)
    {
        ExprList args;
        args.append(arg);
        return makeFunctionCall(function, args);
    }
    static EquationRec* equation(ExprNode* left, ExprNode* right)
    {
        auto* eq = ProcessingArena().make<EquationRec>();
        eq->left = left;
        eq->right = right;
        return eq;
    }
    /// Names as written; every operator below the top of a side in parentheses.
    static std::string text(const ExprNode* node, bool top = true)
    {
        if (!node)
            return "?";
        switch (node->kind) {
        case TK_VARIABLENAME: return node->var()->name.str();
        case TK_INTEGER: return std::to_string(node->intValue());
        case TK_FUNCTIONNAME: {
            std::string out = std::string(functionRow(node->function)->name) + "(";
            for (PtrNode<ExprNode>* a = node->args().head; a; a = a->next)
                out += text(a->item) + (a->next ? ", " : "");
            return out + ")";
        }
        default: break;
        }
        const char* sign = node->kind == TK_PLUS ? " + "
                           : node->kind == TK_MIN ? " - "
                           : node->kind == TK_MULT ? " * "
                           : node->kind == TK_DIV  ? " / "
                                                   : " ? ";
        std::string out = text(node->left(), false) + sign + text(node->right(), false);
        return top ? out : "(" + out + ")";
    }
    static std::string text(const EquationRec* eq) { return text(eq->left) + " = " + text(eq->right); }

protected:
    std::vector<std::string> m_errors;
    ErrorHook m_savedHook;
};

TEST_F(ReshapingTest, InvertsArithmeticChains)
{
    struct Case {
        const char* written;
        const char* solved;
        EquationRec* (*build)(ReshapingTest&, ExprNode*& x);
    };
    const Case cases[] = {
        {"y = a + b * x", "x = (y - a) / b",
         [](ReshapingTest& t, ExprNode*& x) {
             x = t.ref("x");
             return equation(t.ref("y"), op(t.ref("a"), TK_PLUS, op(t.ref("b"), TK_MULT, x)));
         }},
        {"y = a - b * x", "x = (a - y) / b",
         [](ReshapingTest& t, ExprNode*& x) {
             x = t.ref("x");
             return equation(t.ref("y"), op(t.ref("a"), TK_MIN, op(t.ref("b"), TK_MULT, x)));
         }},
        {"y = 2 * x", "x = y / 2",
         [](ReshapingTest& t, ExprNode*& x) {
             x = t.ref("x");
             return equation(t.ref("y"), op(makeIntegerConstant(2), TK_MULT, x));
         }},
        {"y = a - x", "x = a - y",
         [](ReshapingTest& t, ExprNode*& x) {
             x = t.ref("x");
             return equation(t.ref("y"), op(t.ref("a"), TK_MIN, x));
         }},
        {"y = a / x", "x = a / y",
         [](ReshapingTest& t, ExprNode*& x) {
             x = t.ref("x");
             return equation(t.ref("y"), op(t.ref("a"), TK_DIV, x));
         }},
        {"2 * x = y", "x = y / 2",
         [](ReshapingTest& t, ExprNode*& x) {
             x = t.ref("x");
             return equation(op(makeIntegerConstant(2), TK_MULT, x), t.ref("y"));
         }},
        {"y = x / a - c", "x = (y + c) * a",
         [](ReshapingTest& t, ExprNode*& x) {
             x = t.ref("x");
             return equation(t.ref("y"), op(op(x, TK_DIV, t.ref("a")), TK_MIN, t.ref("c")));
         }},
        {"y = exp(x)", "x = log(y)",
         [](ReshapingTest& t, ExprNode*& x) {
             x = t.ref("x");
             return equation(t.ref("y"), call(FN_EXP, x));
         }},
        {"y = a - sqrt(b / x)", "x = b / pow2(a - y)",
         [](ReshapingTest& t, ExprNode*& x) {
             x = t.ref("x");
             return equation(t.ref("y"),
                             op(t.ref("a"), TK_MIN, call(FN_SQRT, op(t.ref("b"), TK_DIV, x))));
         }},
        {"x = y + 1", "x = y + 1",
         [](ReshapingTest& t, ExprNode*& x) {
             x = t.ref("x");
             return equation(x, op(t.ref("y"), TK_PLUS, makeIntegerConstant(1)));
         }},
        {"y + 1 = x", "x = y + 1",
         [](ReshapingTest& t, ExprNode*& x) {
             x = t.ref("x");
             return equation(op(t.ref("y"), TK_PLUS, makeIntegerConstant(1)), x);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.written);
        ExprNode* x = nullptr;
        EquationRec* eq = c.build(*this, x);
        ASSERT_EQ(invertEquation(eq, x), 1);
        EXPECT_EQ(text(eq), c.solved);
        EXPECT_EQ(eq->reshaped, 1);
        EXPECT_EQ(eq->left, x);
    }
    EXPECT_TRUE(m_errors.empty());
}

TEST_F(ReshapingTest, TheInvertedTreeIsMadeOfTheOldNodesFromEitherSide)
{
    for (const bool onLeft : {false, true}) {
        SCOPED_TRACE(onLeft ? "x on the left side" : "x on the right side");
        ExprNode* x = ref("x");
        ExprNode* y = ref("y");
        ExprNode* a = ref("a");
        ExprNode* b = ref("b");
        ExprNode* sum = op(a, TK_PLUS, op(b, TK_MULT, x));
        EquationRec* eq = onLeft ? equation(sum, y) : equation(y, sum);
        ASSERT_EQ(invertEquation(eq, x), 1);
        EXPECT_EQ(text(eq), "x = (y - a) / b");
        EXPECT_EQ(eq->left, x);
        ExprNode* div = eq->right;
        ASSERT_EQ(div->kind, TK_DIV);
        EXPECT_EQ(div->right(), b);
        ExprNode* minus = div->left();
        ASSERT_EQ(minus->kind, TK_MIN);
        EXPECT_EQ(minus->left(), y);
        EXPECT_EQ(minus->right(), a);
    }
    EXPECT_TRUE(m_errors.empty());
}

TEST_F(ReshapingTest, UninvertibleChainsAreReportedAndLeftAlone)
{
    struct Case {
        const char* written;
        const char* error;
        EquationRec* (*build)(ReshapingTest&, ExprNode*& x);
    };
    const Case cases[] = {
        {"y = sign(x)", "Inversion of sign impossible.",
         [](ReshapingTest& t, ExprNode*& x) {
             x = t.ref("x");
             return equation(t.ref("y"), call(findFunction("sign"), x));
         }},
        {"y = 1 + atan2(x, a)", "Inversion of atan2 impossible.",
         [](ReshapingTest& t, ExprNode*& x) {
             x = t.ref("x");
             ExprList args;
             args.append(x);
             args.append(t.ref("a"));
             return equation(t.ref("y"), op(makeIntegerConstant(1), TK_PLUS,
                                            makeFunctionCall(FN_ATAN2, args)));
         }},
        {"y = if c then x else 0", "Inversion of IF expression impossible.",
         [](ReshapingTest& t, ExprNode*& x) {
             x = t.ref("x");
             return equation(t.ref("y"), makeConditional(t.ref("c"), x, makeIntegerConstant(0)));
         }},
        {"y = a ^ x", "Inversion of operator 293 impossible.",
         [](ReshapingTest& t, ExprNode*& x) {
             x = t.ref("x");
             return equation(t.ref("y"), op(t.ref("a"), TK_POW, x));
         }},
        {"y = 2 * (a ^ x)", "Inversion of operator 293 impossible.",
         [](ReshapingTest& t, ExprNode*& x) {
             x = t.ref("x");
             return equation(t.ref("y"),
                             op(makeIntegerConstant(2), TK_MULT, op(t.ref("a"), TK_POW, x)));
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.written);
        m_errors.clear();
        ExprNode* x = nullptr;
        EquationRec* eq = c.build(*this, x);
        const std::string before = text(eq);
        EXPECT_EQ(invertEquation(eq, x), 0);
        ASSERT_EQ(m_errors.size(), 1u);
        EXPECT_EQ(m_errors[0], std::string("Equations generation error ") + c.error);
        EXPECT_EQ(text(eq), before);
        EXPECT_EQ(eq->reshaped, 0);
    }
}

TEST_F(ReshapingTest, FixedOrderEquationsAreOnlyMarked)
{
    ExprNode* x = ref("x");
    EquationRec* eq = equation(ref("y"), op(ref("a"), TK_PLUS, x));
    eq->fixed = 1;
    ASSERT_EQ(invertEquation(eq, x), 1);
    EXPECT_EQ(text(eq), "y = a + x");
    EXPECT_EQ(eq->reshaped, 1);
}

TEST_F(ReshapingTest, ReferenceOutsideTheEquationIsReported)
{
    ExprNode* x = ref("x");
    op(ref("b"), TK_PLUS, x); // x belongs to another tree
    EquationRec* eq = equation(ref("y"), ref("a"));
    EXPECT_EQ(invertEquation(eq, x), 0);
    ASSERT_EQ(m_errors.size(), 1u);
    EXPECT_EQ(eq->reshaped, 0);
}

} // namespace

namespace {

/// A submodel of one class whose equations are built in the test.
class SubmodelReshapingTest : public ReshapingTest {
protected:
    void SetUp() override
    {
        ReshapingTest::SetUp();
        m_cls = newClass();
        m_cls->name = "j";
        m_cls->version = 1;
        m_cls->type = CLASS_DYN;
        newEquationBody(m_cls);
        m_sub = ProcessingArena().make<SubclassRec>();
        m_sub->name = "junc";
        m_sub->cls = m_cls;
    }

public:
    /// A port of `size` elements (0: scalar) of causality type `c_type`.
    PortRec* port(const char* name, int size, unsigned char c_type = 3)
    {
        PortRec* p = newPort(m_cls);
        p->name = name;
        if (size > 0)
            p->dim.append(makeIntegerConstant(size));
        p->c_type = c_type;
        return p;
    }
    /// A bond at element `element` (0: the whole port) with causality and direction as seen
    /// from the port.
    void bond(PortRec* p, int element, unsigned char caus, unsigned char dir)
    {
        auto* bond = ProcessingArena().make<BondRec>();
        ConnEnd* end = &bond->con[0];
        end->type = END_SUB;
        if (element > 0)
            end->index.append(makeIntegerConstant(element));
        bond->caus = caus;
        bond->dir = dir;
        connectEndAtPort(m_sub, p, bond, 0);
    }
    static ExprNode* pref(PortRec* p, int selector, int element = 0)
    {
        ExprList index;
        if (element > 0)
            index.append(makeIntegerConstant(element));
        return makeLeaf(selector, p, TK_PORTNAME, nullptr, index);
    }
    VarRec* variable(const char* name, ClassSection which = CLASS_VARIABLES)
    {
        VarRec* v = newClassVariable(m_cls, which);
        setVariable(v, name, ExprList{}, TYPE_REAL);
        return v;
    }
    static ExprNode* vref(VarRec* v, int kind = TK_VARIABLENAME)
    {
        return makeLeaf(0, v, kind, nullptr, ExprList{});
    }
    EquationRec* add(ExprNode* left, ExprNode* right)
    {
        EquationRec* eq = newEquation(m_cls->equations);
        eq->left = left;
        eq->right = right;
        rebuildVariableChain(eq);
        return eq;
    }
    std::vector<std::string> equations() const
    {
        std::vector<std::string> out;
        for (EquationRec* eq : m_cls->equations->equations)
            out.push_back(expressionText(eq->left, 1) + " = " + expressionText(eq->right, 1));
        return out;
    }

    ClassRec* m_cls = nullptr;
    SubclassRec* m_sub = nullptr;
};

using Lines = std::vector<std::string>;

// A 0-junction on a port of three elements: one bond gives the effort (the port computes
// its flow), the others take it. Signs follow the power directions: in and out cancel.
TEST_F(SubmodelReshapingTest, JunctionRelationsFollowCausalityAndPowerDirection)
{
    constexpr unsigned char kIn = 2, kOut = 1;
    struct Case {
        const char* name;
        unsigned char dirs[3];
        int strong; ///< the element whose effort comes in
        Lines expected;
    };
    const Case cases[] = {
        {"one in, two out; the inflow is given the effort", {kIn, kOut, kOut}, 1,
         {"p.e[2] = p.e[1]", "p.e[3] = p.e[1]", "p.f[1] = p.f[2]+p.f[3]"}},
        {"one in, two out; an outflow is given the effort", {kIn, kOut, kOut}, 2,
         {"p.e[1] = p.e[2]", "p.e[3] = p.e[2]", "p.f[2] = p.f[1]+-p.f[3]"}},
        {"two in, one out; the outflow is given the effort", {kIn, kIn, kOut}, 3,
         {"p.e[1] = p.e[3]", "p.e[2] = p.e[3]", "p.f[3] = p.f[1]+p.f[2]"}},
        {"two in, one out; an inflow is given the effort", {kIn, kIn, kOut}, 1,
         {"p.e[2] = p.e[1]", "p.e[3] = p.e[1]", "p.f[1] = -p.f[2]+p.f[3]"}},
        {"all out", {kOut, kOut, kOut}, 3,
         {"p.e[1] = p.e[3]", "p.e[2] = p.e[3]", "p.f[3] = -p.f[1]+-p.f[2]"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        PortRec* p = port("p", 3);
        for (int k = 1; k <= 3; ++k)
            bond(p, k, k == c.strong ? CAUS_FCY : CAUS_ECY, c.dirs[k - 1]);
        add(call(FN_IDENTITY, pref(p, TK_SEL_EFFORT)), makeIntegerConstant(0));
        add(makeRealConstant(0.0), call(FN_SUM, pref(p, TK_SEL_FLOW)));
        ASSERT_EQ(reshapeSubmodel(m_sub), 1);
        EXPECT_EQ(equations(), c.expected);
        EXPECT_TRUE(m_errors.empty());
        EXPECT_EQ(reshapedPortElements(p), (std::vector<std::int32_t>{0, 0, 0})); // every element computed
    }
}

TEST_F(SubmodelReshapingTest, IdentityGivesTheCommonValueToAVariable)
{
    PortRec* p = port("p", 3);
    for (int k = 1; k <= 3; ++k)
        bond(p, k, k == 2 ? CAUS_ECY : CAUS_FCY, 2);
    VarRec* z = variable("z");
    add(vref(z), call(FN_IDENTITY, pref(p, TK_SEL_FLOW)));
    add(call(FN_SUM, pref(p, TK_SEL_EFFORT)), makeIntegerConstant(0));
    ASSERT_EQ(reshapeSubmodel(m_sub), 1);
    EXPECT_EQ(equations(), (Lines{"p.f[1] = p.f[2]", "p.f[3] = p.f[2]", "z = p.f[2]",
                                  "p.e[2] = -p.e[1]+-p.e[3]"}));
}

TEST_F(SubmodelReshapingTest, JunctionFunctionsRefuseBadArguments)
{
    struct Case {
        const char* name;
        const char* error;
        void (*build)(SubmodelReshapingTest&);
    };
    const Case cases[] = {
        {"sum with a nonzero side", "invalid rhs of equation 1 = sum(p.f) with 'sum' in j1:junc.",
         [](SubmodelReshapingTest& t) {
             PortRec* p = t.port("p", 2);
             t.add(call(FN_SUM, pref(p, TK_SEL_FLOW)), makeIntegerConstant(1));
         }},
        {"identity of a variable", "invalid argument(s) used with 'identity' in equation 0 = identity(x) in j1:junc.",
         [](SubmodelReshapingTest& t) {
             t.add(call(FN_IDENTITY, vref(t.variable("x"))), makeIntegerConstant(0));
         }},
        {"identity with an expression", "invalid use of 'identity' in equation 1+x = identity(p.e) in j1:junc.",
         [](SubmodelReshapingTest& t) {
             PortRec* p = t.port("p", 2);
             t.add(call(FN_IDENTITY, pref(p, TK_SEL_EFFORT)),
                   op(makeIntegerConstant(1), TK_PLUS, vref(t.variable("x"))));
         }},
        {"scalar port", "port p should have dimension > 1 when used with 'sum' in j1:junc.",
         [](SubmodelReshapingTest& t) {
             PortRec* p = t.port("p", 0);
             t.add(call(FN_SUM, pref(p, TK_SEL_FLOW)), makeIntegerConstant(0));
         }},
        {"no bond gives the effort", "<error: corrupted bond list at 'sum' in j1:junc>",
         [](SubmodelReshapingTest& t) {
             PortRec* p = t.port("p", 2);
             t.bond(p, 1, CAUS_ECY, 1);
             t.bond(p, 2, CAUS_ECY, 2);
             t.add(call(FN_SUM, pref(p, TK_SEL_FLOW)), makeIntegerConstant(0));
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        c.build(*this);
        EXPECT_EQ(reshapeSubmodel(m_sub), 0);
        ASSERT_FALSE(m_errors.empty());
        EXPECT_EQ(m_errors[0], std::string("Equations generation error ") + c.error);
    }
}

// A capacitor whose preferred effort causality was overruled: the flow is what it computes.
TEST_F(SubmodelReshapingTest, SolvesForThePortSideCausalityAsksFor)
{
    PortRec* p = port("p", 0, 2);
    p->c_val = CAUS_ECY;
    bond(p, 0, CAUS_FCY, 2);
    VarRec* c = variable("c", CLASS_PARAMETERS);
    add(pref(p, TK_SEL_EFFORT), op(call(FN_INT, pref(p, TK_SEL_FLOW)), TK_DIV, vref(c, TK_PARAMETERNAME)));
    ASSERT_EQ(reshapeSubmodel(m_sub), 1);
    EXPECT_EQ(equations(), (Lines{"p.f = ddt(p.e*c)"}));
    EXPECT_EQ(reshapedPortElements(p), (std::vector<std::int32_t>{0}));
}

TEST_F(SubmodelReshapingTest, PreferredCausalityKeptLeavesEquationsAsWritten)
{
    PortRec* p = port("p", 0, 2);
    p->c_val = CAUS_ECY;
    bond(p, 0, CAUS_ECY, 2);
    VarRec* c = variable("c", CLASS_PARAMETERS);
    add(pref(p, TK_SEL_EFFORT), op(call(FN_INT, pref(p, TK_SEL_FLOW)), TK_DIV, vref(c, TK_PARAMETERNAME)));
    ASSERT_EQ(reshapeSubmodel(m_sub), 1);
    EXPECT_EQ(equations(), (Lines{"p.e = int(p.f)/c"}));
}

TEST_F(SubmodelReshapingTest, LaterPassesSolveWhatEarlierOnesMadeKnown)
{
    port("free", 0, 4);
    VarRec* x = variable("x");
    VarRec* y = variable("y");
    VarRec* z = variable("z");
    add(op(vref(x), TK_PLUS, vref(y)), vref(z));   // waits for two of them
    add(op(makeIntegerConstant(2), TK_MULT, vref(z)), makeIntegerConstant(3)); // z first
    add(makeIntegerConstant(1), op(vref(x), TK_MIN, vref(z)));  // then x
    ASSERT_EQ(reshapeSubmodel(m_sub), 1);
    EXPECT_EQ(equations(), (Lines{"y = z-x", "z = 3/2", "x = 1+z"}));
    EXPECT_TRUE(m_errors.empty());
}

TEST_F(SubmodelReshapingTest, ReportsWhatCannotBeReshaped)
{
    struct Case {
        const char* name;
        const char* error;
        void (*build)(SubmodelReshapingTest&);
    };
    const Case cases[] = {
        {"two equations in two unknowns", "System of equations found, can not be reshaped",
         [](SubmodelReshapingTest& t) {
             t.port("free", 0, 4);
             VarRec* x = t.variable("x");
             VarRec* y = t.variable("y");
             t.add(vref(x), op(vref(y), TK_PLUS, makeIntegerConstant(1)));
             t.add(vref(y), op(makeIntegerConstant(2), TK_MULT, vref(x)));
         }},
        {"nothing left to solve for", "illegal or inconsistent equation: b = a in j1:junc.",
         [](SubmodelReshapingTest& t) {
             t.port("free", 0, 4);
             t.add(vref(t.variable("a", CLASS_PARAMETERS), TK_PARAMETERNAME),
                   vref(t.variable("b", CLASS_PARAMETERS), TK_PARAMETERNAME));
         }},
        {"input written as left side", "Input not allowed as left-hand side of an equation.",
         [](SubmodelReshapingTest& t) {
             IoRec* u = newInput(t.m_cls);
             u->name = "u";
             t.add(makeLeaf(0, u, TK_INPUTNAME, nullptr, ExprList{}), makeIntegerConstant(1));
         }},
        {"operator without inverse", "Inversion of abs impossible.",
         [](SubmodelReshapingTest& t) {
             t.port("free", 0, 4);
             t.add(makeIntegerConstant(1), call(findFunction("abs"), vref(t.variable("x"))));
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        c.build(*this);
        EXPECT_EQ(reshapeSubmodel(m_sub), 0);
        ASSERT_EQ(m_errors.size(), 1u);
        EXPECT_EQ(m_errors[0], std::string("Equations generation error ") + c.error);
    }
}

} // namespace
