// Tests of the processed-model writers: golden files, section counts, layout rules and failures.
#include "modelproc/display_hooks.h"
#include "modelproc/equation_sections.h"
#include "modelproc/equation_text.h"
#include "modelproc/parallel_parts.h"
#include "modelproc/processed_model_writer.h"
#include "modelproc/record_release.h"
#include "modelproc/tests/class_builder.h"
#include "modelproc/tests/golden_files.h"
#include "platform/core/file_system.h"
#include "platform/testing/permissions.h"
#include "platform/testing/temp_dir.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <sstream>
#include <stdexcept>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using testsupport::ClassBuilder;

namespace {

struct Errors {
    std::vector<std::string> lines;
    Errors()
    {
        ttset_error_callback([this](const char* kind, const char* file, const char* sub, int line,
                                    const char* token, const char* message) {
            lines.push_back(formatErrorLine(kind, file, sub, line, token, message));
        });
    }
    ~Errors() { ttset_error_callback(nullptr); }
};

class WriterTest : public ::testing::Test {
protected:
    void TearDown() override { release_all(); }
    testsupport::TempDir dir;
    Errors errors;
};

/// Builds the pendulum: a swinging mass with a torque law, an algebraic loop z/z_algin0,
/// a table-like vector read at a computed index, a position written at a computed index,
/// a matrix read with a computed row, and two output-only equations.
///
///   k = g / len;  f[1] = k * 2.0;  f[2] = -k;  f[3] = exp(k)       (initial)
///   noise = ran(g)                                                (inputs)
///   phi' = w
///   tq = if phi > 0.5 then -(k * sin(phi)) elseif phi < -0.5 then k * 0.5 else k * phi fi
///   z = z_algin0 * 0.5 + tq
///   e = f[ip];  pos[ip] = phi * 2.0;  mm = M[ip, 2]
///   w' = (tq - z * len + e + mm) / (m * len * len) - 0.001 * w * abs(w) + 0.0 * step(t - 1.0)
///   energy = 0.5 * m * len * len * w * w;  y = energy               (outputs)
ClassRec* buildPendulum()
{
    ClassBuilder b("pendulum", 2);
    VarRec* g = b.var(CLASS_PARAMETERS, "g");
    VarRec* len = b.var(CLASS_PARAMETERS, "len", {}, TYPE_REAL, {"l"});
    VarRec* m = b.var(CLASS_PARAMETERS, "m");
    VarRec* ip = b.var(CLASS_PARAMETERS, "ip", {}, TYPE_INTEGER);
    VarRec* M = b.var(CLASS_PARAMETERS, "M", {2, 2});
    b.var(CLASS_INITCONDS, "phi");
    b.var(CLASS_INITCONDS, "w");
    VarRec* k = b.var(CLASS_VARIABLES, "k");
    VarRec* f = b.var(CLASS_VARIABLES, "f", {3});
    VarRec* tq = b.var(CLASS_VARIABLES, "tq");
    VarRec* e = b.var(CLASS_VARIABLES, "e");
    VarRec* pos = b.var(CLASS_VARIABLES, "pos", {2});
    VarRec* noise = b.var(CLASS_VARIABLES, "noise");
    VarRec* energy = b.var(CLASS_VARIABLES, "energy");
    VarRec* y = b.var(CLASS_VARIABLES, "y");
    VarRec* mm = b.var(CLASS_VARIABLES, "mm");
    VarRec* phi = b.var(BODY_INDEP_STATES, "phi");
    VarRec* w = b.var(BODY_INDEP_STATES, "w");
    VarRec* dphi = b.var(BODY_INDEP_RATES, "phi_indep_rate");
    VarRec* dw = b.var(BODY_INDEP_RATES, "w_indep_rate");
    VarRec* z = b.var(BODY_ALGLOOP_OUT, "z");
    VarRec* zin = b.var(BODY_ALGLOOP_IN, "z_algin0");

    auto P = [](VarRec* v) { return ClassBuilder::ref(v, TK_PARAMETERNAME); };
    auto V = [](VarRec* v) { return ClassBuilder::ref(v, TK_VARIABLENAME); };
    auto Vi = [](VarRec* v, int i) { return ClassBuilder::ref(v, TK_VARIABLENAME, {ClassBuilder::integer(i)}); };
    auto s = [](VarRec* v) { return ClassBuilder::ref(v, TK_INDEP_STATENAME); };
    auto R = [](VarRec* v) { return ClassBuilder::ref(v, TK_INDEP_RATENAME); };
    using B = ClassBuilder;

    b.eq(V(k), B::op(TK_DIV, P(g), P(len)));
    b.eq(Vi(f, 1), B::op(TK_MULT, V(k), B::num(2.0)));
    b.eq(Vi(f, 2), B::neg(V(k)));
    b.eq(Vi(f, 3), B::fn(FN_EXP, {V(k)}));
    b.eq(V(noise), B::fn(FN_RAN, {P(g)}));
    b.eq(R(dphi), s(w));
    ExprNode* inner = makeConditional(B::op(TK_LT, s(phi), B::neg(B::num(0.5))), B::op(TK_MULT, V(k), B::num(0.5)),
                                      B::op(TK_MULT, V(k), s(phi)));
    b.eq(V(tq), makeConditional(B::op(TK_GT, s(phi), B::num(0.5)),
                                B::neg(B::op(TK_MULT, V(k), B::fn(FN_EXP + 2, {s(phi)}))), inner));
    b.eq(B::ref(z, TK_ALGLOOP_OUTNAME),
         B::op(TK_PLUS, B::op(TK_MULT, B::ref(zin, TK_ALGLOOP_INNAME), B::num(0.5)), V(tq)));
    b.eq(V(e), B::ref(f, TK_VARIABLENAME, {P(ip)}));
    b.eq(B::ref(pos, TK_VARIABLENAME, {P(ip)}), B::op(TK_MULT, s(phi), B::num(2.0)));
    b.eq(V(mm), B::ref(M, TK_PARAMETERNAME, {P(ip), B::integer(2)}));
    ExprNode* force = B::op(TK_PLUS, B::op(TK_PLUS, B::op(TK_MIN, V(tq), B::op(TK_MULT, B::ref(z, TK_ALGLOOP_OUTNAME), P(len))), V(e)), V(mm));
    ExprNode* inertia = B::op(TK_MULT, B::op(TK_MULT, P(m), P(len)), P(len));
    ExprNode* damping = B::op(TK_MULT, B::op(TK_MULT, B::num(0.001), s(w)), B::fn(25, {s(w)}));
    ExprNode* kick = B::op(TK_MULT, B::num(0.0), B::fn(FN_STEP, {B::op(TK_MIN, B::time(), B::num(1.0))}));
    b.eq(R(dw), B::op(TK_PLUS, B::op(TK_MIN, B::op(TK_DIV, force, inertia), damping), kick));
    b.eq(V(energy), B::op(TK_MULT, B::op(TK_MULT, B::op(TK_MULT, B::op(TK_MULT, B::op(TK_MULT, B::num(0.5), P(m)), P(len)), P(len)), s(w)), s(w)));
    b.eq(V(y), V(energy));
    return b.cls;
}

std::string golden(const std::string& name)
{
    return std::string(MODELPROC_GOLDEN_DIR) + "/" + name;
}

/// Compares with a golden file; ORVANTA_UPDATE_GOLDEN=1 rewrites it instead.
void expectGolden(const std::string& text, const std::string& name)
{
    goldentest::expectGoldenFile(text, golden(name));
}

std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        result.push_back(line);
    return result;
}

/// Per equation-section header: the count it states and, for the code file, the
/// instruction lines that follow it (counted here, not by the writer).
struct SectionCount {
    int stated = 0;
    int written = 0;
};

std::map<std::string, SectionCount> sectionCounts(const std::string& text)
{
    std::map<std::string, SectionCount> counts;
    SectionCount* current = nullptr;
    for (const std::string& line : lines(text)) {
        if (line.rfind("#E", 0) == 0) {
            std::size_t tab = line.find('\t');
            current = &counts[line.substr(0, tab)];
            current->stated = std::stoi(line.substr(tab + 1));
        } else if (line.rfind("#", 0) == 0) {
            current = nullptr;
        } else if (current && !line.empty() && line[0] == '\t') {
            ++current->written;
        }
    }
    return counts;
}

std::string readBack(const std::string& path)
{
    return platform::readFile(path).value_or("<missing>");
}

} // namespace

// The pendulum's files, checked line by line against the layout rules:
//  both  "#DParam " keeps its trailing blank; len carries its alias l on its line; M is 2 x 2
//        and declares [1,1] [1,2] [2,1] [2,2]; no "#DConst ", "#DState_dept" or "#Drate_dept"
//        (empty); z_algin0 is never declared but numbered a0.
//  .l    "#DUnnamed 15": w' needs U0..U14, one per operator, call and time node, numbered
//        in pre-order (a node takes its temporary before its operands do).
//        "#EInitial 8": k, f[1] (k was placed in initial before it), f[2], f[3] (exp is a
//        start-time function) and mm = M[ip, 2] (parameters only): plf(P3, 1, 2),
//        mul(U0, P3, 2), sub(U1, U0, 2 - 2), mar(V11, P4, U1).
//        "#Einputs 1": noise = ran(g).
//        "#Edynamic": the torque law starts at instruction 1 (phi' = w is 0); its jfa at 2
//        jumps to 2 + 3 + 2 = 7, the first instruction of the else part; the jmp at 6 to
//        6 + 7 + 1 = 14, the mov into tq (V4); the inner jfa at 9 to 12, the inner jmp at
//        11 to 13, the mov of the inner result U4 into U0. e = f[ip]: plf(P3, 1, 3),
//        mar(V5, V1, P3). pos[ip] = phi * 2.0: the value first (U0), then plf(P3, 1, 2),
//        mra(V6, P3, U0). Time is read with tim into a temporary.
//        "#Eoutputs 6": energy and its copy y, which only outputs need.
//  .e    the same header and counts; each equation four blanks in with " = "; operands that
//        are operations in parentheses, function arguments not; computed indices as
//        "V6 [P3]" and "P4 [P3, 2]"; the torque law as if/then/elseif/then/else and one fi,
//        those lines one tab in; w' breaks before the piece that would pass column 76, with
//        "\" and six blanks, the second time before a lone ")".
TEST_F(WriterTest, PendulumWritesGoldenCodeAndEquationFiles)
{
    ClassRec* cls = buildPendulum();
    ASSERT_EQ(ttwrite_code_files(cls, dir.path()), 1) << (errors.lines.empty() ? "" : errors.lines[0]);
    EXPECT_TRUE(errors.lines.empty());
    std::string code = readBack(dir.file("pendulum2.l"));
    std::string text = readBack(dir.file("pendulum2.e"));
    expectGolden(code, "pendulum2.l");
    expectGolden(text, "pendulum2.e");
}

TEST_F(WriterTest, SectionCountsEqualTheInstructionsWritten)
{
    ClassRec* cls = buildPendulum();
    ASSERT_EQ(ttwrite_code_files(cls, dir.path()), 1);
    for (const std::string& name : {std::string("pendulum2.l"), golden("pendulum2.l")}) {
        std::string path = name.find('/') == std::string::npos ? dir.file(name) : name;
        auto counts = sectionCounts(readBack(path));
        ASSERT_EQ(counts.size(), 4u) << path;
        for (const auto& [header, count] : counts)
            EXPECT_EQ(count.stated, count.written) << path << " " << header;
    }
    // The equation file states the same counts as the code file.
    auto code = sectionCounts(readBack(dir.file("pendulum2.l")));
    auto text = sectionCounts(readBack(dir.file("pendulum2.e")));
    for (const auto& [header, count] : code)
        EXPECT_EQ(text[header].stated, count.stated) << header;
}

TEST_F(WriterTest, SingleEquationCodeForms)
{
    struct Case {
        const char* what;
        int rightKind; // 0 plain reference, else the operator
        const char* expected;
    };
    const Case cases[] = {
        {"x = y", 0, "\tmov\tV0\ts0\n"},
        {"x = -y", TK_PRF_MIN, "\tinv\tV0\ts0\n"},
        {"x = +y", TK_PRF_PLUS, "\tmov\tV0\ts0\n"},
        {"x = not y", TK_NOT, "\tnot\tV0\ts0\n"},
    };
    for (const Case& c : cases) {
        ClassBuilder b("single", 1);
        VarRec* x = b.var(CLASS_VARIABLES, "x");
        // y is a state: a copy of another variable would go to the outputs.
        VarRec* y = b.var(BODY_INDEP_STATES, "y");
        ExprNode* right = ClassBuilder::ref(y, TK_INDEP_STATENAME);
        if (c.rightKind)
            right = makeOperator(nullptr, right, c.rightKind);
        // A rate keeps the equation in the dynamic section.
        VarRec* r = b.var(BODY_INDEP_RATES, "r");
        b.eq(ClassBuilder::ref(x, TK_VARIABLENAME), right);
        b.eq(ClassBuilder::ref(r, TK_INDEP_RATENAME), ClassBuilder::ref(x, TK_VARIABLENAME));
        std::string out;
        ASSERT_EQ(ttwrite_header(b.cls, out), 1);
        ASSERT_EQ(ttwrite_code_equations(b.cls, out), 1) << c.what;
        EXPECT_NE(out.find("\n#Edynamic\t2\n" + std::string(c.expected) + "\tmov\tR0\tV0\n"), std::string::npos)
            << c.what << "\n" << out;
        EXPECT_EQ(out.find("#DUnnamed"), std::string::npos) << c.what; // no temporaries, no section
        release_all();
    }
}

TEST_F(WriterTest, DeclarationSections)
{
    ClassBuilder b("decl", 1);
    b.var(CLASS_VARIABLES, "x", {2}, TYPE_REAL, {"y"});
    b.var(CLASS_VARIABLES, "A", {2, 3}, TYPE_INTEGER);
    VarRec* after = b.var(CLASS_VARIABLES, "", {}, 9);
    std::string out;
    ASSERT_EQ(ttwrite_header(b.cls, out), 1);
    // No parameters: no "#DParam " section at all; a nameless variable reads "Noname",
    // an unknown type "???"; the matrix advances the numbering by 6.
    EXPECT_EQ(out, "#Hclass\tdecl\n#Hversion\t1\n"
                   "\n#DVariable\t9\n"
                   "\t#real\tx[1]\ty[1]\n\t#real\tx[2]\ty[2]\n"
                   "\t#int\tA[1,1]\n\t#int\tA[1,2]\n\t#int\tA[1,3]\n"
                   "\t#int\tA[2,1]\n\t#int\tA[2,2]\n\t#int\tA[2,3]\n"
                   "\t???\tNoname\n");
    EXPECT_EQ(after->index, 8);
    SectionList<VarRec> empty;
    std::string none;
    EXPECT_EQ(ttwrite_declarations(empty, TK_PARAMETERNAME, none), 1);
    EXPECT_EQ(none, "");
    EXPECT_EQ(ttwrite_declarations(empty, TK_PORTNAME, none), 0);
    // Algebraic-loop inputs are numbered, never declared.
    ClassBuilder loop("loop", 1);
    VarRec* in0 = loop.var(BODY_ALGLOOP_IN, "x_algin0", {3});
    VarRec* in1 = loop.var(BODY_ALGLOOP_IN, "y_algin1");
    in1->index = 99;
    EXPECT_EQ(ttwrite_declarations(loop.body->algloop_in, TK_ALGLOOP_INNAME, none), 1);
    EXPECT_EQ(none, "");
    EXPECT_EQ(in0->index, 0);
    EXPECT_EQ(in1->index, 3);
    const char* words[] = {"???", "#real", "#string", "#int", "#bool", "#sampletime", "???"};
    for (int type = 0; type <= 6; ++type)
        EXPECT_STREQ(tttype_word(type), words[type]);
}

// Blocks made by threads side by side are taken one after the other in their order, however few
// slots they share and whatever order the threads finish them in; a take that says stop leaves the
// blocks after it unmade but for those already under way, and what a block's making throws stops
// the taking and reaches the caller.
TEST(BlocksMadeInOrder, AreTakenInTheirOrder)
{
    for (std::size_t slotCount : {1u, 2u, 3u, 8u}) {
        SCOPED_TRACE(slotCount);
        std::vector<std::vector<int>> slots(slotCount);
        std::vector<int> taken;
        std::atomic<int> makes{0};
        makeInOrder(
            500, 4, slots,
            [&](std::size_t block, std::vector<int>& slot) {
                ++makes;
                if (block % 7 == 0)
                    std::this_thread::sleep_for(std::chrono::microseconds(200));
                slot.assign(block % 5 + 1, static_cast<int>(block));
            },
            [&](std::size_t block, const std::vector<int>& slot) {
                EXPECT_EQ(slot.size(), block % 5 + 1);
                taken.insert(taken.end(), slot.begin(), slot.end());
                return true;
            });
        std::vector<int> expected;
        for (int block = 0; block < 500; ++block)
            expected.insert(expected.end(), static_cast<std::size_t>(block % 5 + 1), block);
        EXPECT_EQ(taken, expected);
        EXPECT_EQ(makes, 500);
    }
}

TEST(BlocksMadeInOrder, StopWhenTakingSaysSoOrMakingThrows)
{
    std::vector<int> slots(3);
    std::atomic<std::size_t> highest{0};
    std::vector<std::size_t> taken;
    makeInOrder(
        1000, 4, slots,
        [&](std::size_t block, int& slot) {
            std::size_t seen = highest;
            while (block > seen && !highest.compare_exchange_weak(seen, block)) {
            }
            slot = static_cast<int>(block);
        },
        [&](std::size_t block, int slot) {
            EXPECT_EQ(static_cast<std::size_t>(slot), block);
            taken.push_back(block);
            return block < 10;
        });
    EXPECT_EQ(taken.size(), 11u);
    EXPECT_LT(highest, 11u + slots.size());

    taken.clear();
    EXPECT_THROW(makeInOrder(
                     1000, 4, slots,
                     [](std::size_t block, int& slot) {
                         if (block == 600)
                             throw std::runtime_error("no room");
                         slot = static_cast<int>(block);
                     },
                     [&](std::size_t block, int) {
                         taken.push_back(block);
                         return true;
                     }),
                 std::runtime_error);
    ASSERT_LE(taken.size(), 600u);
    for (std::size_t k = 0; k < taken.size(); ++k)
        EXPECT_EQ(taken[k], k);

    // In one thread alike.
    taken.clear();
    EXPECT_THROW(makeInOrder(
                     10, 1, slots, [](std::size_t block, int&) { if (block == 4) throw std::runtime_error("no room"); },
                     [&](std::size_t block, int) {
                         taken.push_back(block);
                         return true;
                     }),
                 std::runtime_error);
    EXPECT_EQ(taken.size(), 4u);
}

// Long declaration sections are made in runs by threads of their own and handed to the files in
// order as they are made: the text and the numbers are those of each section made in one piece.
// The sections here span several runs and end inside one; a section whose variables have no
// elements has no header and keeps its variables' numbers, wherever it stands.
TEST_F(WriterTest, LongDeclarationSectionsAreMadeInRunsAsInOne)
{
    ClassBuilder b("many", 1);
    for (int i = 0; i < 40000; ++i) {
        const std::string name = "p" + std::to_string(i);
        if (i % 5 == 0)
            b.var(CLASS_PARAMETERS, name, {3}, TYPE_REAL, {"q"});
        else
            b.var(CLASS_PARAMETERS, name, {}, TYPE_INTEGER);
    }
    VarRec* none = b.var(CLASS_INITCONDS, "none", {0});
    none->index = 77;
    for (int i = 0; i < 70000; ++i)
        b.var(CLASS_VARIABLES, "v" + std::to_string(i), i % 9 == 0 ? std::initializer_list<int>{2, 2} : std::initializer_list<int>{});
    for (int i = 0; i < 17000; ++i)
        b.var(BODY_INDEP_STATES, "s" + std::to_string(i));
    VarRec* in = b.var(BODY_ALGLOOP_IN, "x_algin0", {2});

    std::string inOne = "#Hclass\tmany\n#Hversion\t1\n";
    struct Section {
        SectionList<VarRec>* list;
        int kind;
    };
    const Section sections[] = {{&b.cls->parameters, TK_PARAMETERNAME}, {&b.cls->initconds, TK_INITCONDNAME},
                                {&b.cls->variables, TK_VARIABLENAME},   {&b.body->indep_states, TK_INDEP_STATENAME},
                                {&b.body->algloop_in, TK_ALGLOOP_INNAME}};
    for (const Section& section : sections)
        ASSERT_EQ(ttwrite_declarations(*section.list, section.kind, inOne), 1);
    std::vector<std::int32_t> numbers;
    for (const Section& section : sections)
        for (const VarRec* var : *section.list)
            numbers.push_back(var->index);
    EXPECT_EQ(none->index, 77);
    EXPECT_EQ(b.cls->variables.last()->index, 70000 + 3 * 7778 - 1);
    EXPECT_GT(inOne.size(), 2000000u);

    for (const Section& section : sections)
        for (VarRec* var : *section.list)
            var->index = -1;
    none->index = 77;
    std::string inRuns;
    ASSERT_EQ(ttwrite_header(b.cls, inRuns), 1);
    EXPECT_TRUE(inRuns == inOne);
    std::vector<std::int32_t> runNumbers;
    for (const Section& section : sections)
        for (const VarRec* var : *section.list)
            runNumbers.push_back(var->index);
    EXPECT_EQ(runNumbers, numbers);
    EXPECT_EQ(in->index, 0);

    // Both files begin with them; without equations that is all they hold.
    ASSERT_EQ(ttwrite_code_files(b.cls, dir.path()), 1);
    EXPECT_TRUE(readBack(dir.file("many1.l")) == inOne);
    EXPECT_TRUE(readBack(dir.file("many1.e")) == inOne);
}

// The largest number of temporaries one equation uses decides "#DUnnamed": an equation
// needing only U0 still declares it.
TEST_F(WriterTest, UnnamedSectionDeclaresEveryTemporaryUsed)
{
    ClassBuilder b("temps", 1);
    VarRec* x = b.var(CLASS_VARIABLES, "x");
    VarRec* r = b.var(BODY_INDEP_RATES, "r");
    VarRec* s = b.var(BODY_INDEP_STATES, "s");
    b.eq(ClassBuilder::ref(x, TK_VARIABLENAME),
         ClassBuilder::op(TK_PLUS, ClassBuilder::op(TK_MULT, ClassBuilder::ref(s, TK_INDEP_STATENAME), ClassBuilder::num(2)),
                          ClassBuilder::num(1)));
    b.eq(ClassBuilder::ref(r, TK_INDEP_RATENAME), ClassBuilder::ref(x, TK_VARIABLENAME));
    std::string out;
    ASSERT_EQ(ttwrite_code_equations(b.cls, out), 1);
    EXPECT_EQ(out, "\n#DUnnamed\t1\n\t#real\n"
                   "\n#Edynamic\t3\n"
                   "\tmul\tU0\ts0\t2.0\n\tadd\tV0\tU0\t1.0\n\tmov\tR0\tV0\n");
}

TEST_F(WriterTest, TextFormLayout)
{
    ClassBuilder b("text", 1);
    VarRec* x = b.var(CLASS_VARIABLES, "x");
    VarRec* r = b.var(BODY_INDEP_RATES, "r");
    VarRec* s = b.var(BODY_INDEP_STATES, "s");
    auto S = [&] { return ClassBuilder::ref(s, TK_INDEP_STATENAME); };
    // A nested conditional in the then-part writes its own if .. fi; an else-part
    // conditional continues the chain with elseif.
    ExprNode* chain = makeConditional(ClassBuilder::op(TK_GT, S(), ClassBuilder::integer(1)), ClassBuilder::integer(1),
                                      makeConditional(ClassBuilder::op(TK_LT, S(), ClassBuilder::integer(0)),
                                                      ClassBuilder::integer(2), ClassBuilder::integer(3)));
    b.eq(ClassBuilder::ref(x, TK_VARIABLENAME), chain);
    b.eq(ClassBuilder::ref(r, TK_INDEP_RATENAME),
         ClassBuilder::op(TK_PLUS, ClassBuilder::ref(x, TK_VARIABLENAME),
                          ClassBuilder::op(TK_MULT, S(), ClassBuilder::fn(FN_ATAN2, {S(), ClassBuilder::time()}))));
    std::string code;
    ASSERT_EQ(ttwrite_code_equations(b.cls, code), 1);
    std::string text;
    ASSERT_EQ(ttwrite_equations(b.cls, 0, &text), 1);
    EXPECT_EQ(text, "\n#Edynamic\t" + std::to_string(sectionCounts(code)["#Edynamic"].stated) +
                        "\n"
                        "    V0 = if s0 > 1\n"
                        "\tthen 1\n"
                        "\telseif s0 < 0\n"
                        "\tthen 2\n"
                        "\telse 3\n"
                        "\tfi\n"
                        "    R0 = V0 + (s0 * atan2(s0,t))\n");
    // Code of the chain: the jfa at 1 skips the one-instruction then-part to 1 + 1 + 2 = 4;
    // the jmp at 3 skips the else part (the inner conditional with its final mov into U0,
    // 1 + 1 + 1 + 2 + 1 = 6 instructions) to 3 + 6 + 1 = 10, the mov into x.
    EXPECT_NE(code.find("\ttgt\tU1\ts0\t1\n\tjfa\t4\tU1\n\tmov\tU0\t1\n\tjmp\t10\n"
                        "\ttlt\tU3\ts0\t0\n\tjfa\t8\tU3\n\tmov\tU2\t2\n\tjmp\t9\n\tmov\tU2\t3\n"
                        "\tmov\tU0\tU2\n\tmov\tV0\tU0\n"),
              std::string::npos)
        << code;
}

/// Leaves, operations on leaves and the operations around them, as the equation file writes them.
TEST_F(WriterTest, TextFormsOfLeavesAndOperations)
{
    using B = ClassBuilder;
    ClassBuilder b("forms", 1);
    VarRec* x = b.var(CLASS_VARIABLES, "x");
    VarRec* v = b.var(CLASS_VARIABLES, "v", {3});
    VarRec* p = b.var(CLASS_PARAMETERS, "p");
    VarRec* ip = b.var(CLASS_PARAMETERS, "ip", {}, TYPE_INTEGER);
    VarRec* s = b.var(BODY_INDEP_STATES, "s");
    const auto S = [&] { return B::ref(s, TK_INDEP_STATENAME); };
    const auto P = [&] { return B::ref(p, TK_PARAMETERNAME); };
    ExprNode* yes = makeIntegerConstant(1);
    yes->setKind(TK_BOOLEAN);
    const std::pair<ExprNode*, const char*> cases[] = {
        {S(), "s0"},
        {B::ref(v, TK_VARIABLENAME, {B::integer(2)}), "V2"},
        {B::num(2.5), "2.5"},
        {B::integer(3), "3"},
        {yes, "true"},
        {B::time(), "t"},
        {B::neg(S()), "-s0"},
        {makeOperator(nullptr, S(), TK_NOT), " not s0"},
        {B::op(TK_PLUS, S(), P()), "s0 + P0"},
        {B::op(TK_POW, S(), B::num(2.0)), "s0 power 2.0"},
        {B::op(TK_MULT, B::op(TK_PLUS, S(), P()), B::integer(2)), "(s0 + P0) * 2"},
        {B::op(TK_MIN, S(), B::op(TK_DIV, P(), B::time())), "s0 - (P0 / t)"},
        {B::neg(B::op(TK_PLUS, S(), P())), "-(s0 + P0)"},
        {B::op(TK_MULT, S(), B::ref(v, TK_VARIABLENAME, {B::ref(ip, TK_PARAMETERNAME)})), "s0 * V1 [P1]"},
    };
    for (const auto& [right, expected] : cases)
        b.eq(B::ref(x, TK_VARIABLENAME), right);
    std::string header;
    ASSERT_EQ(ttwrite_header(b.cls, header), 1); // numbers the variables
    std::size_t k = 0;
    for (const EquationRec* eq : b.cls->equations->equations) {
        std::string text;
        writeEquationText(eq, text);
        EXPECT_EQ(text, "    V0 = " + std::string(cases[k++].second) + "\n");
    }
    EXPECT_EQ(k, std::size(cases));
}

TEST_F(WriterTest, LongRightSideContinuesAtColumn76)
{
    ClassBuilder b("long", 1);
    VarRec* r = b.var(BODY_INDEP_RATES, "r");
    VarRec* s = b.var(BODY_INDEP_STATES, "s");
    ExprNode* sum = ClassBuilder::ref(s, TK_INDEP_STATENAME);
    for (int i = 0; i < 6; ++i)
        sum = ClassBuilder::op(TK_PLUS, sum, ClassBuilder::num(1.23456789));
    b.eq(ClassBuilder::ref(r, TK_INDEP_RATENAME), sum);
    std::string code;
    ASSERT_EQ(ttwrite_code_equations(b.cls, code), 1);
    std::string text;
    ASSERT_EQ(ttwrite_equations(b.cls, 0, &text), 1);
    // "    R0 = " is 9 columns, then pieces "(" ... each literal 10; the piece that
    // would end past 76 goes to a new line of six blanks after a backslash.
    std::vector<std::string> out = lines(text);
    ASSERT_EQ(out.size(), 4u) << text;
    EXPECT_EQ(out[2], "    R0 = (((((s0 + 1.23456789) + 1.23456789) + 1.23456789) + 1.23456789) + \\");
    EXPECT_EQ(out[3], "      1.23456789) + 1.23456789");
    EXPECT_LE(out[2].size() - 1, 76u);
    EXPECT_GT(out[2].size() - 1 + std::string("1.23456789").size(), 76u);
}

TEST_F(WriterTest, BaseNameUsesTenCharactersAndTheVersion)
{
    ClassBuilder b("abcdefghijkl", 3);
    VarRec* r = b.var(BODY_INDEP_RATES, "r");
    b.eq(ClassBuilder::ref(r, TK_INDEP_RATENAME), ClassBuilder::num(1));
    std::vector<std::string> progress;
    ttset_progress_callback([&](const char* text) { progress.push_back(text); });
    ASSERT_EQ(ttwrite_code_files(b.cls, dir.path()), 1);
    ttset_progress_callback(nullptr);
    EXPECT_TRUE(platform::fileExists(dir.file("abcdefghij3.l")));
    EXPECT_TRUE(platform::fileExists(dir.file("abcdefghij3.e")));
    EXPECT_EQ(progress, std::vector<std::string>{
                            "Declarations and sorted equations have been written to file abcdefghij3.e."});
}

TEST_F(WriterTest, FailuresAreReportedAndLeaveNoFile)
{
    {
        ClassRec* top = newClass();
        newGraphBody(top);
        EXPECT_EQ(ttwrite_code_files(top, dir.path()), 0);
        EXPECT_EQ(ttwrite_code_files(nullptr, dir.path()), 0);
    }
    {
        // int has no instruction: the pass fails and no code file replaces the old one.
        ClassBuilder b("noinst", 1);
        VarRec* x = b.var(CLASS_VARIABLES, "x");
        VarRec* s = b.var(BODY_INDEP_STATES, "s");
        b.eq(ClassBuilder::ref(x, TK_VARIABLENAME), ClassBuilder::fn(FN_INT, {ClassBuilder::ref(s, TK_INDEP_STATENAME)}));
        dir.write("noinst1.l", "old\n");
        EXPECT_EQ(ttwrite_code_files(b.cls, dir.path()), 0);
        EXPECT_EQ(readBack(dir.file("noinst1.l")), "old\n");
        EXPECT_FALSE(platform::fileExists(dir.file("noinst1.e")));
        // The new texts begun beside them are given up.
        auto names = platform::listDirectory(dir.path());
        ASSERT_TRUE(names);
        EXPECT_EQ(names->size(), 3u);
    }
    {
        ClassBuilder b("noside", 1);
        VarRec* x = b.var(CLASS_VARIABLES, "x");
        b.eq(ClassBuilder::ref(x, TK_VARIABLENAME), nullptr);
        std::string out;
        EXPECT_EQ(ttwrite_code_equations(b.cls, out), 0);
    }
    EXPECT_EQ(errors.lines,
              (std::vector<std::string>{
                  "Equations generation error : code generation of non-dynamic model not possible.",
                  "Equations generation error : code generation of non-dynamic model not possible.",
                  "Equations generation error : <error while writing code: operator 306 or function 0 not implemented> "
                  "in the equation x = int(s): the code has no instruction for that operator or function.",
                  "Equations generation error : <error while writing code: error in rhs of eq. 1>",
              }));
}

// A file that cannot be written is reported with its path cut to 40 characters, leaves
// no partial file and stops before the equation file.
TEST_F(WriterTest, FailedWriteLeavesNoPartialFile)
{
    struct Case {
        const char* what;
        bool readOnly; // else the code file's name is taken by a directory
    };
    for (const Case& c : {Case{"read-only directory", true}, Case{"name taken by a directory", false}}) {
        SCOPED_TRACE(c.what);
        errors.lines.clear();
        std::string target = dir.mkdir(c.readOnly ? "ro" : "taken");
        if (c.readOnly)
            ASSERT_EQ(chmod(target.c_str(), 0555), 0);
        else
            dir.mkdir("taken/pendulum2.l");
        ClassRec* cls = buildPendulum();
        {
            testsupport::ScopedOrdinaryPermissions ordinary; // root too
            ASSERT_TRUE(ordinary.binding());
            EXPECT_EQ(ttwrite_code_files(cls, target), 0);
        }
        chmod(target.c_str(), 0755);
        auto names = platform::listDirectory(target);
        ASSERT_TRUE(names);
        EXPECT_EQ(names->size(), c.readOnly ? 2u : 3u); // ".", ".." and the directory in the way
        EXPECT_FALSE(platform::fileExists(target + "/pendulum2.e"));
        std::string path = target + "/pendulum2.l";
        EXPECT_EQ(errors.lines, std::vector<std::string>{"Equations generation error : can't open file " +
                                                         path.substr(0, 40) + " for writing."});
        release_all();
    }
}

TEST_F(WriterTest, RanWithAnExpressionStaysDynamic)
{
    ClassBuilder b("noise", 1);
    VarRec* g = b.var(CLASS_PARAMETERS, "g");
    VarRec* x = b.var(CLASS_VARIABLES, "x");
    VarRec* r = b.var(BODY_INDEP_RATES, "r");
    b.eq(ClassBuilder::ref(x, TK_VARIABLENAME),
         ClassBuilder::fn(FN_RAN, {ClassBuilder::op(TK_MULT, ClassBuilder::ref(g, TK_PARAMETERNAME), ClassBuilder::num(2))}));
    b.eq(ClassBuilder::ref(r, TK_INDEP_RATENAME), ClassBuilder::ref(x, TK_VARIABLENAME));
    std::string out;
    ASSERT_EQ(ttwrite_code_equations(b.cls, out), 1);
    EXPECT_EQ(out.find("#Einputs"), std::string::npos);
    EXPECT_NE(out.find("#Edynamic\t3\n\tmul\tU0\tP0\t2.0\n\tran\tV0\tU0\n"), std::string::npos) << out;
    // Reported once, by the counting pass.
    EXPECT_EQ(errors.lines, std::vector<std::string>{"Equations generation error : Wrong usage of function ran : "
                                                     "only identifiers are allowed as arguments"});
}

TEST_F(WriterTest, EquationListIsRelinkedBySection)
{
    ClassRec* cls = buildPendulum();
    std::string out;
    ASSERT_EQ(ttwrite_header(cls, out), 1);
    ASSERT_EQ(ttwrite_code_equations(cls, out), 1);
    std::vector<int> order;
    for (EquationRec* eq : cls->equations->equations)
        order.push_back(eq->sort_no);
    // initial 1-4 and mm = M[ip, 2] (11: parameters only), inputs 5, dynamic 6-10 and 12,
    // outputs 13-14; each section keeps the sorted order.
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3, 4, 11, 5, 6, 7, 8, 9, 10, 12, 13, 14}));
}

// Jump targets come from the instruction-count rule; for each kind of then-part the jfa
// must land just after the jmp and the jmp on the final move into the left side.
TEST_F(WriterTest, JumpTargetsAgreeWithTheCodeOfEachBranchKind)
{
    using B = ClassBuilder;
    struct Case {
        const char* what;
        ExprNode* (*branch)(VarRec* s, VarRec* v, VarRec* mx, VarRec* ip);
        const char* firstMnemonic; // of the then-part
    };
    const Case cases[] = {
        {"literal", [](VarRec*, VarRec*, VarRec*, VarRec*) { return B::num(1); }, "mov"},
        {"time", [](VarRec*, VarRec*, VarRec*, VarRec*) { return B::time(); }, "tim"},
        {"atan2", [](VarRec* s, VarRec*, VarRec*, VarRec*) {
             return B::fn(FN_ATAN2, {B::ref(s, TK_INDEP_STATENAME), B::time()}); }, "tim"},
        {"dll_function", [](VarRec* s, VarRec*, VarRec*, VarRec*) {
             ExprNode* a = B::ref(s, TK_INDEP_STATENAME);
             return B::fn(FN_DLL_FUNCTION, {a, B::num(1), B::num(2), B::time(), B::num(3)}); }, "tim"},
        {"resetfunc", [](VarRec* s, VarRec*, VarRec*, VarRec*) {
             return B::fn(FN_RESETFUNC, {B::neg(B::ref(s, TK_INDEP_STATENAME)), B::num(1), B::num(2)}); }, "inv"},
        {"vector", [](VarRec*, VarRec* v, VarRec*, VarRec* ip) {
             return B::ref(v, TK_VARIABLENAME, {B::op(TK_PLUS, B::ref(ip, TK_PARAMETERNAME), B::integer(1))}); }, "add"},
        {"matrix row computed", [](VarRec*, VarRec*, VarRec* mx, VarRec* ip) {
             return B::ref(mx, TK_PARAMETERNAME, {B::ref(ip, TK_PARAMETERNAME), B::integer(3)}); }, "plf"},
        {"matrix column computed", [](VarRec*, VarRec*, VarRec* mx, VarRec* ip) {
             return B::ref(mx, TK_PARAMETERNAME, {B::integer(2), B::ref(ip, TK_PARAMETERNAME)}); }, "plf"},
        {"matrix both computed", [](VarRec*, VarRec*, VarRec* mx, VarRec* ip) {
             return B::ref(mx, TK_PARAMETERNAME, {B::ref(ip, TK_PARAMETERNAME), B::ref(ip, TK_PARAMETERNAME)}); }, "plf"},
        {"nested conditional", [](VarRec* s, VarRec*, VarRec*, VarRec*) {
             return makeConditional(B::op(TK_GT, B::ref(s, TK_INDEP_STATENAME), B::num(1)), B::time(), B::num(2)); }, "tgt"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ClassBuilder b("jumps", 1);
        VarRec* ip = b.var(CLASS_PARAMETERS, "ip", {}, TYPE_INTEGER);
        VarRec* mx = b.var(CLASS_PARAMETERS, "mx", {2, 3});
        VarRec* v = b.var(CLASS_VARIABLES, "v", {3});
        VarRec* x = b.var(CLASS_VARIABLES, "x");
        VarRec* s = b.var(BODY_INDEP_STATES, "s");
        VarRec* r = b.var(BODY_INDEP_RATES, "r");
        b.eq(B::ref(x, TK_VARIABLENAME),
             makeConditional(B::op(TK_GT, B::ref(s, TK_INDEP_STATENAME), B::num(0)), c.branch(s, v, mx, ip),
                             B::num(0)));
        b.eq(B::ref(r, TK_INDEP_RATENAME), B::ref(x, TK_VARIABLENAME));
        std::string out;
        ASSERT_EQ(ttwrite_header(b.cls, out), 1);
        ASSERT_EQ(ttwrite_code_equations(b.cls, out), 1);
        std::vector<std::string> code;
        bool inDynamic = false;
        for (const std::string& line : lines(out)) {
            if (line.rfind("#Edynamic", 0) == 0)
                inDynamic = true;
            else if (inDynamic && !line.empty())
                code.push_back(line);
        }
        // tgt, jfa, then-part..., jmp, mov U0 0, mov V3 U0, mov R0 V3
        ASSERT_GE(code.size(), 7u);
        EXPECT_EQ(code[1].substr(0, 5), "\tjfa\t");
        EXPECT_EQ(code[2].substr(1, 3), c.firstMnemonic);
        std::size_t k1 = std::stoul(code[1].substr(5));
        ASSERT_LT(k1, code.size());
        EXPECT_EQ(code[k1 - 1].substr(0, 5), "\tjmp\t");
        EXPECT_EQ(code[k1], "\tmov\tU0\t0.0");
        std::size_t k2 = std::stoul(code[k1 - 1].substr(5));
        ASSERT_LT(k2, code.size());
        EXPECT_EQ(code[k2], "\tmov\tV3\tU0");
        EXPECT_EQ(k2 + 2, code.size());
        release_all();
    }
}

// Real literals are written in the shortest text that reads back to the same double, in both
// files, and always as a real: digits alone get a decimal point.
TEST_F(WriterTest, RealLiteralsReadBackToTheSameDouble)
{
    const double values[] = {-1.2345678901234, 3.14159265358979, 0.1, 2.0, 1e-300, 123456789012345678.0,
                             100000.0, 6.02214076e23, 1.0 / 3.0};
    for (double v : values) {
        const std::string text = realLiteralText(v);
        EXPECT_EQ(std::strtod(text.c_str(), nullptr), v) << text;
        EXPECT_NE(text.find_first_of(".e"), std::string::npos) << text;
    }
    EXPECT_EQ(realLiteralText(2.0), "2.0");
    EXPECT_EQ(realLiteralText(3.14159265358979), "3.14159265358979");

    ClassBuilder b("lits", 1);
    VarRec* x = b.var(CLASS_VARIABLES, "x");
    VarRec* y = b.var(BODY_INDEP_STATES, "y");
    VarRec* r = b.var(BODY_INDEP_RATES, "r");
    b.eq(ClassBuilder::ref(x, TK_VARIABLENAME),
         ClassBuilder::op(TK_PLUS,
                          ClassBuilder::op(TK_MULT, ClassBuilder::num(-1.2345678901234),
                                           ClassBuilder::ref(y, TK_INDEP_STATENAME)),
                          ClassBuilder::num(3.14159265358979)));
    b.eq(ClassBuilder::ref(r, TK_INDEP_RATENAME), ClassBuilder::ref(x, TK_VARIABLENAME));
    std::string code;
    ASSERT_EQ(ttwrite_code_equations(b.cls, code), 1);
    std::string text;
    ASSERT_EQ(ttwrite_equations(b.cls, 0, &text), 1);
    EXPECT_NE(code.find("\tmul\tU0\t-1.2345678901234\ts0\n\tadd\tV0\tU0\t3.14159265358979\n"), std::string::npos)
        << code;
    EXPECT_NE(text.find("    V0 = (-1.2345678901234 * s0) + 3.14159265358979\n"), std::string::npos) << text;
}

// The code file and the equation file are replaced together or not at all. A write that fails
// (here a file size limit, as on a full disk) leaves both old files as they were and names the
// file and the cause; when the equation file cannot take its place, the new code file goes again.
TEST_F(WriterTest, CodeAndEquationFilesAreReplacedTogether)
{
    const std::string code = dir.write("pendulum2.l", "old code\n");
    const std::string equations = dir.write("pendulum2.e", "old equations\n");
    {
        struct rlimit saved{};
        ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
        void (*previous)(int) = std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit small = saved;
        small.rlim_cur = 64;
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
        const int result = ttwrite_code_files(buildPendulum(), dir.path());
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, previous);
        EXPECT_EQ(result, 0);
    }
    EXPECT_EQ(readBack(code), "old code\n");
    EXPECT_EQ(readBack(equations), "old equations\n");
    EXPECT_EQ(errors.lines, std::vector<std::string>{"Equations generation error : can't write file " + code + ": " +
                                                     std::strerror(EFBIG) + "."});
    release_all();

    // The equation file's name is taken by a directory: no new code file is put in place without
    // its partner, and the old one stays as it was.
    errors.lines.clear();
    ASSERT_EQ(std::remove(equations.c_str()), 0);
    dir.mkdir("pendulum2.e");
    EXPECT_EQ(ttwrite_code_files(buildPendulum(), dir.path()), 0);
    EXPECT_EQ(readBack(code), "old code\n");
    auto names = platform::listDirectory(dir.path());
    ASSERT_TRUE(names);
    EXPECT_EQ(names->size(), 4u); // ".", "..", the old code file and the directory in the way: no temporary stays
    ASSERT_EQ(errors.lines.size(), 1u);
    EXPECT_EQ(errors.lines[0].rfind("Equations generation error : can't open file ", 0), 0u) << errors.lines[0];
}

// ---------------------------------------------------------------------------
// The distribution of the sorted list into sections

namespace {

/// Random lists of equations over a few variables in any order (not only as sorting would leave
/// them): copies and chains of copies, computed and literal elements, equations initial can
/// compute, elements defined again and again; with `calls`, also inputs, misused ran calls and
/// functions. The same seed makes the same lists.
struct MixedList {
    std::uint64_t seed;

    int next(int n)
    {
        seed = seed * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<int>((seed >> 33) % static_cast<std::uint64_t>(n));
    }

    /// Adds the variables and `count()` equations to the class being built.
    template <class Count>
    void build(ClassBuilder& b, int variables, bool calls, const Count& count)
    {
        using B = ClassBuilder;
        VarRec* p = b.var(CLASS_PARAMETERS, "p");
        VarRec* ip = b.var(CLASS_PARAMETERS, "ip", {}, TYPE_INTEGER);
        std::vector<VarRec*> x;
        for (int i = 0; i < variables; ++i)
            x.push_back(b.var(CLASS_VARIABLES, "x" + std::to_string(i)));
        VarRec* f = b.var(CLASS_VARIABLES, "f", {3});
        VarRec* s = b.var(BODY_INDEP_STATES, "s");
        VarRec* r = b.var(BODY_INDEP_RATES, "s_indep_rate");
        const auto X = [&] { return B::ref(x[static_cast<std::size_t>(next(variables))], TK_VARIABLENAME); };
        const auto F = [&] {
            switch (next(3)) {
            case 0: return B::ref(f, TK_VARIABLENAME, {B::integer(1 + next(3))});
            case 1: return B::ref(f, TK_VARIABLENAME, {B::ref(ip, TK_PARAMETERNAME)});
            default: return B::ref(f, TK_VARIABLENAME, {X()});
            }
        };
        const auto operand = [&]() -> ExprNode* {
            switch (next(calls ? 8 : 6)) {
            case 0: return B::num(2.0);
            case 1: return B::ref(p, TK_PARAMETERNAME);
            case 2: return B::ref(s, TK_INDEP_STATENAME);
            case 3: return F();
            case 4:
                if (calls)
                    return B::fn(FN_EXP, {X()});
                return X();
            default: return X();
            }
        };
        const int equations = count();
        for (int k = 0; k < equations; ++k) {
            ExprNode* left = next(5) == 0 ? F() : next(calls ? 8 : 6) == 0 ? B::ref(r, TK_INDEP_RATENAME) : X();
            ExprNode* right = nullptr;
            if (!calls) {
                right = next(3) == 0 ? B::op(TK_PLUS, operand(), operand()) : operand();
            } else {
                switch (next(12)) {
                case 0: right = B::fn(FN_RAN, {X()}); break;
                case 1: right = B::fn(FN_RAN, {B::num(1.0)}); break;
                case 2:
                case 3: right = B::op(TK_PLUS, operand(), operand()); break;
                default: right = operand(); break;
                }
            }
            b.eq(left, right);
        }
    }
};

/// Distributes the class's list, re-links it as the sections and distributes it again, as the
/// writers of the two files do: whether the first distribution said the second would be the
/// same, and whether it is.
struct Redistribution {
    bool stable = false;
    bool same = false;
};

Redistribution redistribute(ClassRec* cls)
{
    Redistribution result;
    const EquationSections first = distributeEquations(cls, false, &result.stable);
    relinkEquations(cls, first);
    result.same = distributeEquations(cls, false) == first;
    return result;
}

} // namespace

TEST_F(WriterTest, PendulumDistributesAlikeOnceRelinked)
{
    const Redistribution r = redistribute(buildPendulum());
    EXPECT_TRUE(r.stable);
    EXPECT_TRUE(r.same);
}

/// Lists of a few equations over a handful of variables in any order (not only as sorting would
/// leave them): copies, computed and literal elements, equations initial can compute, and
/// elements defined twice. A distribution that says the re-linked list is distributed alike must
/// be right every time; it may say "don't know" only where it has a reason to.
TEST_F(WriterTest, DistributionKnowsWhenTheRelinkedListIsDistributedAlike)
{
    MixedList mix{12345};
    int stable = 0;
    int unstable = 0;
    for (int round = 0; round < 400; ++round) {
        ClassBuilder b("mix", 1);
        mix.build(b, 5, false, [&mix] { return 2 + mix.next(8); });
        const Redistribution result = redistribute(b.cls);
        if (result.stable) {
            ++stable;
            EXPECT_TRUE(result.same) << "round " << round;
        } else {
            ++unstable;
        }
        release_all();
    }
    // Most lists are known to be distributed alike; some are not.
    EXPECT_GT(stable, 200);
    EXPECT_GT(unstable, 0);
}

namespace {

/// A long list of equations over 40 variables, made the same way again from the same seed.
ClassRec* buildLongMix(std::uint64_t seed, int count)
{
    ClassBuilder b("long", 1);
    MixedList{seed}.build(b, 40, true, [count] { return count; });
    return b.cls;
}

/// The sections as positions in the list the equations stood in, the declarations, and each
/// equation's text once distributed.
struct Distributed {
    bool stable = false;
    std::array<std::vector<int>, 4> positions;
    std::string text;
    int errors = 0;
};

/// A list whose re-linked list is distributed otherwise: a copy whose element a later equation
/// uses only in its left side's index. The copy `y` is the state times `scale` (the state itself
/// for 1).
ClassRec* buildScaledCopyUsedInAnIndex(double scale)
{
    using B = ClassBuilder;
    ClassBuilder b("index", 1);
    VarRec* f = b.var(CLASS_VARIABLES, "f", {3});
    VarRec* x = b.var(CLASS_VARIABLES, "x");
    VarRec* y = b.var(CLASS_VARIABLES, "y");
    VarRec* s = b.var(BODY_INDEP_STATES, "s");
    VarRec* r = b.var(BODY_INDEP_RATES, "s_indep_rate");
    ExprNode* state = B::ref(s, TK_INDEP_STATENAME);
    b.eq(B::ref(y, TK_VARIABLENAME), scale == 1.0 ? state : B::op(TK_MULT, state, B::num(scale)));
    b.eq(B::ref(x, TK_VARIABLENAME), B::ref(y, TK_VARIABLENAME));
    b.eq(B::ref(f, TK_VARIABLENAME, {B::ref(x, TK_VARIABLENAME)}), B::ref(s, TK_INDEP_STATENAME));
    b.eq(B::ref(r, TK_INDEP_RATENAME), B::ref(f, TK_VARIABLENAME, {B::integer(1)}));
    return b.cls;
}

ClassRec* buildCopyUsedInAnIndex()
{
    return buildScaledCopyUsedInAnIndex(1.0);
}

/// How distribution is given the list: walking it, handed its order, or handed its order to take.
enum class Handed { Nothing, Order, OrderTaken };

Distributed distributeLongMix(std::uint64_t seed, std::size_t parts, Handed handed, std::size_t stretch = 0)
{
    ClassRec* cls = buildLongMix(seed, 3000);
    std::vector<EquationRec*> order;
    for (EquationRec* eq : cls->equations->equations)
        order.push_back(eq);
    std::map<const EquationRec*, int> position;
    for (std::size_t k = 0; k < order.size(); ++k)
        position[order[k]] = static_cast<int>(k);
    Distributed d;
    int errors = 0;
    ttset_error_callback([&errors](const char*, const char*, const char*, int, const char*, const char*) { ++errors; });
    const EquationSections sections =
        handed == Handed::OrderTaken
            ? distributeEquations(cls, true, &d.stable, std::move(order), parts, stretch)
            : distributeEquations(cls, true, &d.stable, parts, handed == Handed::Order ? &order : nullptr, stretch);
    EXPECT_EQ(order.empty(), handed == Handed::OrderTaken);
    ttset_error_callback(nullptr);
    d.errors = errors;
    EXPECT_EQ(ttwrite_header(cls, d.text), 1);
    for (std::size_t s = 0; s < 4; ++s)
        for (const EquationRec* eq : sections[s]) {
            d.positions[s].push_back(position[eq]);
            writeEquationText(eq, d.text);
        }
    release_all();
    return d;
}

} // namespace

/// A long list is read stretch by stretch, each in parts by threads of their own, and what each
/// part reads is put together in list order: the sections, the misused calls reported, the
/// references pointed at the elements that carry their values and the verdict on the re-linked
/// list are those of the whole list read in one part, whether the list's order is handed over or
/// walked, and wherever a stretch ends (down to stretches of one equation).
TEST_F(WriterTest, DistributionReadInPartsIsTheDistributionReadInOne)
{
    struct Reading {
        std::size_t parts;
        Handed handed;
        std::size_t stretch;
    };
    const Reading readings[] = {
        {2, Handed::Nothing, 0}, {3, Handed::Nothing, 0},  {4, Handed::Order, 0},      {7, Handed::Order, 0},
        {1, Handed::Order, 1},   {2, Handed::Nothing, 7},  {4, Handed::Order, 100},    {3, Handed::Nothing, 1000},
        {4, Handed::OrderTaken, 0}, {1, Handed::OrderTaken, 1}, {3, Handed::OrderTaken, 100}};
    for (std::uint64_t seed : {1u, 2u, 3u, 4u, 5u, 6u}) {
        const Distributed one = distributeLongMix(seed, 1, Handed::Nothing);
        EXPECT_GT(one.positions[SECTION_DYNAMIC].size(), 100u);
        EXPECT_GT(one.positions[SECTION_OUTPUTS].size(), 20u);
        EXPECT_GT(one.positions[SECTION_INPUTS].size(), 10u);
        EXPECT_GT(one.errors, 10);
        for (const Reading& r : readings) {
            SCOPED_TRACE(testing::Message() << "seed " << seed << ", " << r.parts << " parts, stretches of "
                                            << r.stretch << (r.handed == Handed::Order ? ", order handed over" : "")
                                            << (r.handed == Handed::OrderTaken ? ", order taken" : ""));
            const Distributed inParts = distributeLongMix(seed, r.parts, r.handed, r.stretch);
            EXPECT_EQ(inParts.positions, one.positions);
            EXPECT_EQ(inParts.stable, one.stable);
            EXPECT_EQ(inParts.errors, one.errors);
            EXPECT_TRUE(inParts.text == one.text);
        }
    }
}

/// The writer handed the list's order takes its room over and writes the files it writes walking
/// the list, whether the re-linked list is distributed alike or not.
TEST_F(WriterTest, FilesFromTheOrderHandedOverAreThoseOfTheList)
{
    // A list whose re-linked list is distributed otherwise, and long mixed lists.
    const std::vector<std::function<ClassRec*()>> builders = {
        buildCopyUsedInAnIndex, [] { return buildLongMix(7, 2000); }, [] { return buildLongMix(8, 2000); }};
    int written = 0;
    for (std::size_t m = 0; m < builders.size(); ++m) {
        std::string files[2];
        int results[2] = {0, 0};
        for (int handed = 0; handed < 2; ++handed) {
            ClassRec* cls = builders[m]();
            const std::string base = cls->name + "1";
            std::vector<EquationRec*> order;
            for (EquationRec* eq : cls->equations->equations)
                order.push_back(eq);
            results[handed] = ttwrite_code_files(cls, dir.path(), handed ? &order : nullptr);
            if (handed) {
                EXPECT_TRUE(order.empty());
            }
            files[handed] = readBack(dir.file(base + ".l")) + readBack(dir.file(base + ".e"));
            std::remove(dir.file(base + ".l").c_str());
            std::remove(dir.file(base + ".e").c_str());
            release_all();
        }
        EXPECT_EQ(results[0], results[1]) << "list " << m;
        EXPECT_TRUE(files[0] == files[1]) << "list " << m;
        written += results[0];
    }
    EXPECT_GE(written, 1);
}

/// The two ways a re-linked list is distributed otherwise: an element initial defines only after
/// its use, and a copy whose element a later equation uses only in its left side's index.
TEST_F(WriterTest, DistributionOfARelinkedListThatDiffers)
{
    using B = ClassBuilder;
    {
        ClassBuilder b("late", 1);
        VarRec* p = b.var(CLASS_PARAMETERS, "p");
        VarRec* x = b.var(CLASS_VARIABLES, "x");
        VarRec* y = b.var(CLASS_VARIABLES, "y");
        b.eq(B::ref(x, TK_VARIABLENAME), B::op(TK_MULT, B::ref(y, TK_VARIABLENAME), B::num(2.0)));
        b.eq(B::ref(y, TK_VARIABLENAME), B::ref(p, TK_PARAMETERNAME));
        const Redistribution r = redistribute(b.cls);
        EXPECT_FALSE(r.stable);
        EXPECT_FALSE(r.same);
    }
    release_all();
    {
        const Redistribution result = redistribute(buildCopyUsedInAnIndex());
        EXPECT_FALSE(result.stable);
        EXPECT_FALSE(result.same);
    }
}

/// A literal element past the last one of the class's variables is none of theirs: its left side
/// defines nothing that is followed, and its reference puts its whole variable in use.
TEST_F(WriterTest, ElementsPastTheLastVariableAreNoneOfTheirs)
{
    using B = ClassBuilder;
    ClassBuilder b("past", 1);
    VarRec* y = b.var(CLASS_VARIABLES, "y");
    VarRec* z = b.var(CLASS_VARIABLES, "z");
    VarRec* x = b.var(CLASS_VARIABLES, "x", {2});
    VarRec* r = b.var(BODY_INDEP_RATES, "r");
    // y = t, x[5] = y + t, z = x[5], r = z + x[7]: every equation is needed for the rate.
    b.eq(B::ref(y, TK_VARIABLENAME), B::time());
    b.eq(B::ref(x, TK_VARIABLENAME, {B::integer(5)}), B::op(TK_PLUS, B::ref(y, TK_VARIABLENAME), B::time()));
    EquationRec* copy = b.eq(B::ref(z, TK_VARIABLENAME), B::ref(x, TK_VARIABLENAME, {B::integer(5)}));
    b.eq(B::ref(r, TK_INDEP_RATENAME),
         B::op(TK_PLUS, B::ref(z, TK_VARIABLENAME), B::ref(x, TK_VARIABLENAME, {B::integer(7)})));
    std::vector<EquationRec*> order;
    for (EquationRec* eq : b.cls->equations->equations)
        order.push_back(eq);
    bool stable = false;
    const EquationSections sections = distributeEquations(b.cls, true, &stable);
    EXPECT_TRUE(sections[SECTION_INITIAL].empty());
    EXPECT_TRUE(sections[SECTION_INPUTS].empty());
    EXPECT_EQ(sections[SECTION_DYNAMIC], order);
    EXPECT_TRUE(sections[SECTION_OUTPUTS].empty());
    EXPECT_TRUE(stable);
    // The copy of x[5] is no copy: its reference is left as it stands.
    EXPECT_EQ(copy->right->var(), x);
    EXPECT_EQ(copy->right->index().at(0)->intValue(), 5);
}

/// Where the re-linked list is distributed otherwise, the code file states the instructions and
/// the temporaries of the code it holds.
TEST_F(WriterTest, SectionCountsFollowARedistributedList)
{
    ASSERT_EQ(ttwrite_code_files(buildScaledCopyUsedInAnIndex(2.0), dir.path()), 1);
    const auto code = sectionCounts(readBack(dir.file("index1.l")));
    const auto text = sectionCounts(readBack(dir.file("index1.e")));
    ASSERT_FALSE(code.empty());
    for (const auto& [header, count] : code) {
        EXPECT_EQ(count.stated, count.written) << header;
        EXPECT_EQ(text.at(header).stated, count.stated) << header;
    }
}

/// Sections long enough to be generated in parts, with conditionals whose jumps name instructions
/// by number, hold the code one pass over the whole section writes.
TEST_F(WriterTest, LongSectionsAreGeneratedInPartsAsInOne)
{
    using B = ClassBuilder;
    constexpr int kEquations = 120000;
    ClassBuilder b("parts", 1);
    VarRec* s = b.var(BODY_INDEP_STATES, "s");
    VarRec* r = b.var(BODY_INDEP_RATES, "s_indep_rate");
    VarRec* x = b.var(CLASS_VARIABLES, "x", {kEquations});
    const auto S = [&] { return B::ref(s, TK_INDEP_STATENAME); };
    for (int k = 1; k <= kEquations; ++k) {
        ExprNode* right = k % 7 == 0 ? makeConditional(B::op(TK_GT, S(), B::integer(k)), B::op(TK_MULT, S(), B::num(2.0)), S())
                                     : B::op(TK_MULT, S(), B::integer(k));
        b.eq(B::ref(x, TK_VARIABLENAME, {B::integer(k)}), right);
    }
    b.eq(B::ref(r, TK_INDEP_RATENAME), B::ref(x, TK_VARIABLENAME, {B::integer(kEquations)}));
    std::string header;
    ASSERT_EQ(ttwrite_header(b.cls, header), 1);
    std::string inParts;
    ASSERT_EQ(ttwrite_code_equations(b.cls, inParts), 1);
    std::string inOne;
    ASSERT_EQ(ttwrite_equations(b.cls, 1, nullptr), 1);
    ASSERT_EQ(ttwrite_equations(b.cls, 1, &inOne), 1);
    ASSERT_GT(inOne.size(), 1000000u);
    ASSERT_GE(inParts.size(), inOne.size());
    EXPECT_TRUE(inParts.compare(inParts.size() - inOne.size(), inOne.size(), inOne) == 0);
    EXPECT_NE(inOne.find("\tjfa\t"), std::string::npos);

    // The files, each section's text made beside its code part by part, hold the same.
    std::string text;
    ASSERT_EQ(ttwrite_equations(b.cls, 0, &text), 1);
    ASSERT_EQ(ttwrite_code_files(b.cls, dir.path()), 1);
    EXPECT_TRUE(readBack(dir.file("parts1.l")) == header + inParts);
    EXPECT_TRUE(readBack(dir.file("parts1.e")) == header + text);
    EXPECT_GT(text.size(), 1000000u);
}

namespace {

/// Sections of several blocks each, and one empty:
///   a[k] = p * k                                   (initial, k = 1..8192: ends where a block ends)
///   x[1] = s * a[1]; x[k] = x[k-1] * a[...] or, every fifth k,
///       if s > x[k-1] then x[k-1] * 2.0 else s fi  (dynamic, k = 2..24577, with jumps)
///   s' = x[24577]                                  (dynamic)
///   y[k] = x[k] * 2.0                              (outputs, k = 1..9000)
/// and no inputs.
ClassRec* buildBlocks()
{
    using B = ClassBuilder;
    constexpr int kInitial = 8192;
    constexpr int kDynamic = 3 * 8192 + 1;
    constexpr int kOutputs = 9000;
    ClassBuilder b("blocks", 1);
    VarRec* p = b.var(CLASS_PARAMETERS, "p");
    VarRec* a = b.var(CLASS_VARIABLES, "a", {kInitial});
    VarRec* x = b.var(CLASS_VARIABLES, "x", {kDynamic});
    VarRec* y = b.var(CLASS_VARIABLES, "y", {kOutputs});
    VarRec* s = b.var(BODY_INDEP_STATES, "s");
    VarRec* r = b.var(BODY_INDEP_RATES, "s_indep_rate");
    const auto X = [&](int k) { return B::ref(x, TK_VARIABLENAME, {B::integer(k)}); };
    const auto S = [&] { return B::ref(s, TK_INDEP_STATENAME); };
    for (int k = 1; k <= kInitial; ++k)
        b.eq(B::ref(a, TK_VARIABLENAME, {B::integer(k)}), B::op(TK_MULT, B::ref(p, TK_PARAMETERNAME), B::integer(k)));
    b.eq(X(1), B::op(TK_MULT, S(), B::ref(a, TK_VARIABLENAME, {B::integer(1)})));
    for (int k = 2; k <= kDynamic; ++k) {
        ExprNode* right = k % 5 == 0 ? makeConditional(B::op(TK_GT, S(), X(k - 1)), B::op(TK_MULT, X(k - 1), B::num(2.0)), S())
                                     : B::op(TK_MULT, X(k - 1), B::ref(a, TK_VARIABLENAME, {B::integer((k - 1) % kInitial + 1)}));
        b.eq(X(k), right);
    }
    b.eq(B::ref(r, TK_INDEP_RATENAME), X(kDynamic));
    for (int k = 1; k <= kOutputs; ++k)
        b.eq(B::ref(y, TK_VARIABLENAME, {B::integer(k)}), B::op(TK_MULT, X(k), B::num(2.0)));
    return b.cls;
}

} // namespace

/// The code is counted block by block before it is generated, and generated in blocks by threads
/// side by side, each section's blocks handed to the files in order as they come: the files hold
/// what one pass over each whole section writes, under headers with the counts of that code, and
/// "#DUnnamed" declares the temporaries the code uses.
TEST_F(WriterTest, SectionsOfManyBlocksAreWrittenAsOnePassWritesThem)
{
    ClassRec* cls = buildBlocks();
    ASSERT_EQ(ttwrite_code_files(cls, dir.path()), 1);
    EXPECT_TRUE(errors.lines.empty());
    const std::string code = readBack(dir.file("blocks1.l"));
    const std::string text = readBack(dir.file("blocks1.e"));

    std::string header;
    ASSERT_EQ(ttwrite_header(cls, header), 1);
    std::string inOne;
    ASSERT_EQ(ttwrite_equations(cls, 1, nullptr), 1);
    ASSERT_EQ(ttwrite_equations(cls, 1, &inOne), 1);
    std::string textInOne;
    ASSERT_EQ(ttwrite_equations(cls, 0, &textInOne), 1);
    EXPECT_TRUE(text == header + textInOne);
    ASSERT_GT(code.size(), header.size() + inOne.size());
    EXPECT_TRUE(code.compare(0, header.size(), header) == 0);
    EXPECT_TRUE(code.compare(code.size() - inOne.size(), inOne.size(), inOne) == 0);

    // Between them, the temporaries: as many as the highest one used.
    const std::string unnamed = code.substr(header.size(), code.size() - header.size() - inOne.size());
    int highest = -1;
    for (std::size_t at = 0; (at = inOne.find("\tU", at)) != std::string::npos; ++at)
        highest = std::max(highest, std::atoi(inOne.c_str() + at + 2));
    ASSERT_GT(highest, 0);
    std::string expected = "\n#DUnnamed\t" + std::to_string(highest + 1) + "\n";
    for (int i = 0; i <= highest; ++i)
        expected += "\t#real\n";
    EXPECT_EQ(unnamed, expected);

    const auto counts = sectionCounts(code);
    EXPECT_EQ(counts.count("#Einputs"), 0u);
    EXPECT_EQ(counts.at("#EInitial").stated, 8192);
    EXPECT_GT(counts.at("#Edynamic").stated, 3 * 8192);
    EXPECT_EQ(counts.at("#Eoutputs").stated, 9000);
    for (const auto& [name, count] : counts)
        EXPECT_EQ(count.stated, count.written) << name;
    EXPECT_NE(inOne.find("\tjfa\t"), std::string::npos);
}

/// A write that fails once the equations are under way, as on a full disk, leaves both old files
/// as they were, with no new text beside them, and names the file and the cause.
TEST_F(WriterTest, AWriteThatFailsAmidTheEquationsKeepsBothOldFiles)
{
    const std::string code = dir.write("blocks1.l", "old code\n");
    const std::string equations = dir.write("blocks1.e", "old equations\n");
    ClassRec* cls = buildBlocks();
    std::string header;
    ASSERT_EQ(ttwrite_header(cls, header), 1);
    {
        struct rlimit saved{};
        ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
        void (*previous)(int) = std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit = saved;
        limit.rlim_cur = header.size() + 300000;
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
        const int result = ttwrite_code_files(cls, dir.path());
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, previous);
        EXPECT_EQ(result, 0);
    }
    EXPECT_EQ(readBack(code), "old code\n");
    EXPECT_EQ(readBack(equations), "old equations\n");
    auto names = platform::listDirectory(dir.path());
    ASSERT_TRUE(names);
    EXPECT_EQ(names->size(), 4u); // ".", ".." and the old files
    ASSERT_EQ(errors.lines.size(), 1u);
    const std::string cause = std::string(": ") + std::strerror(EFBIG) + ".";
    EXPECT_TRUE(errors.lines[0] == "Equations generation error : can't write file " + code + cause ||
                errors.lines[0] == "Equations generation error : can't write file " + equations + cause)
        << errors.lines[0];
}
