// Tests of the Keldor parser and its checks: golden record dumps of real models at the
// three check levels, the first error of bad files, semantic checks and the class copy.
#include "modelproc/class_copy.h"
#include "modelproc/record_dump.h"
#include "modelproc/record_release.h"
#include "modelproc/semantic_checks.h"
#include "modelproc/tests/keldor_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

using keldortest::parseText;

using keldortest::readAll;

namespace {

class ParserTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        release_all();
        ttset_progress_callback(nullptr);
    }
};

/// Model files of a folder, sorted by name.
std::vector<std::filesystem::path> modelFiles(const std::string& folder)
{
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        if (entry.path().extension().string().size() == 4)
            files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

} // namespace

// Every model of the test folder and of the element library parses at levels 1 to 3, and the
// record dump of each test model and of the library's first elements equals the golden dump
// (ORVANTA_UPDATE_GOLDEN=1 rewrites them); the rest of the library is checked by being run.
TEST_F(ParserTest, ModelsParseToGoldenDumps)
{
    const bool update = std::getenv("ORVANTA_UPDATE_GOLDEN") != nullptr;
    const std::string golden = std::string(KELDOR_TEST_DIR) + "/golden";
    std::vector<std::filesystem::path> files = modelFiles(std::string(KELDOR_TEST_DIR) + "/models");
    const std::size_t testModels = files.size();
    for (const auto& f : modelFiles(KELDOR_LIBRARY_DIR))
        files.push_back(f);
    ASSERT_GE(files.size(), 24u);
    for (std::size_t i = 0; i < files.size(); ++i) {
        const std::filesystem::path& file = files[i];
        const bool compared = i < testModels || std::filesystem::exists(golden + "/" + file.stem().string() + ".L1.dump");
        for (int level = 1; level <= 3; ++level) {
            auto parsed = parseText(readAll(file), level, file.filename().string());
            ASSERT_EQ(parsed.result, 0) << file << " level " << level << ": "
                                        << (parsed.errors.empty() ? "" : parsed.errors[0]);
            if (!compared) {
                release_all();
                continue;
            }
            std::string dump = dumpClass(parsed.cls);
            std::string goldenFile = golden + "/" + file.stem().string() + ".L" + std::to_string(level) + ".dump";
            if (update) {
                std::ofstream(goldenFile, std::ios::binary) << dump;
                continue;
            }
            EXPECT_EQ(dump, readAll(goldenFile)) << goldenFile;
            release_all();
        }
    }
}

// The first error line of bad files: kind, file, line, token display and message.
TEST_F(ParserTest, BadFilesGiveTheirFirstError)
{
    const struct {
        const char* text;
        const char* error;
    } cases[] = {
        {"", "Parse error in file \"m.mf0\" line 1 at [EOF]: parse error"},
        {"class a version 1\n", "Parse error in file \"m.mf0\" line 2 at [EOF]: no equations or connections given"},
        // The connections line ends a graph without connections; one with no submodels is empty.
        {"bond graph a version 1\nconnections\n",
         "Parse error in file \"m.mf0\" line 3 at [EOF]: no submodels or connections given"},
        {"bond graph a version 1\nconnections\nsignals\n",
         "Parse error in file \"m.mf0\" line 3 at \"signals\": parse error"},
        {"clas a version 1\nequations\n", "Parse error in file \"m.mf0\" line 1 at \"clas\": parse error"},
        {"class a version x\n", "Parse error in file \"m.mf0\" line 1 at \"x\": parse error"},
        {"class a version 1\nvariables\n  real x\nequations\n  x = y\n",
         "Parse error in file \"m.mf0\" line 5 at \"y\": parse error"},
        {"class a version 1\nvariables\n  real x\nequations\n  x = 1 +\n",
         "Parse error in file \"m.mf0\" line 5 at [NL]: parse error"},
        {"class a version 1\nvariables\n  real x\nequations\n  x = E\n",
         "Parse error in file \"m.mf0\" line 5 at \"E\": parse error"},
        {"class a version 1\nvariables\n  real x\nequations\n  x = {note}\n",
         "Parse error in file \"m.mf0\" line 5 at \"{note}\": parse error"},
        {"class a version 1\nvariables\n  real x\nequations\n  x = 1 & 2\n",
         "Parse error in file \"m.mf0\" line 5 at \"&\": parse error"},
        {"class a version 1\nvariables\n  real x\nequations\n  x = .\n",
         "Parse error in file \"m.mf0\" line 5 at \".\": parse error"},
        {"class a version 1\nvariables\n  real x\n  real y\r\nequations\n  x = y\r\n  y = {\n",
         "Parse error in file \"m.mf0\" line 7 at \"{\": parse error"},
        {"class a version 1\ninterface\n  ports: p\nequations\n  p = 1\n",
         "Parse error in file \"m.mf0\" line 5 at \"=\": .e or .f extension must be specified when using ports"},
        {"class a version 1\nvariables\n  real x\nequations\n  x.e = 1\n",
         "Parse error in file \"m.mf0\" line 5 at \"=\": .e or .f extension only allowed with ports"},
        {"class a version 1\nvariables\n  real x[3]\nequations\n  x[0] = 1\n",
         "Parse error in file \"m.mf0\" line 5 at \"=\": index (0) must be >= 1."},
        {"class a version 1\nvariables\n  real x[3]\nequations\n  x[4] = 1\n",
         "Parse error in file \"m.mf0\" line 5 at \"=\": index (4) must be <= 3."},
        {"class a version 1\nvariables\n  real x[3]\nequations\n  x[1..1] = 1\n",
         "Parse error in file \"m.mf0\" line 5 at \"=\": upperbound (1) must be > lowerbound (1)."},
        {"class a version 1\nvariables\n  real x[3]\nequations\n  x[1..4] = 1\n",
         "Parse error in file \"m.mf0\" line 5 at \"=\": upperbound (4) must be <= 3."},
        {"class a version 1\nvariables\n  real x[3]\nequations\n  x[1, 2] = 1\n",
         "Parse error in file \"m.mf0\" line 5 at \"=\": index split level higher than dimension split level."},
        {"class a version 1\nvariables\n  real x[3, 2]\nequations\n  x[1] = 1\n",
         "Parse error in file \"m.mf0\" line 5 at \"=\": dimension split level higher than index split level."},
        {"class a version 1\nvariables\n  real x[0 - 2]\nequations\n  x = 1\n",
         "Parse error in file \"m.mf0\" line 3 at [NL]: dimension (-2) must be >= 0."},
        // Sizes and arguments that cannot be worked out are refused where they stand.
        {"class a version 1\nvariables\n  real x[4 / 0]\nequations\n  x = 1\n",
         "Parse error in file \"m.mf0\" line 3 at [NL]: division by zero in integer expression."},
        {"bond graph a version 1\nsubclasses\n  1j;1 v(65536 * 65536)\nconnections\n  v`p -> v`p\n",
         "Parse error in file \"m.mf0\" line 3 at [NL]: integer overflow in integer expression."},
        {"class a version 1\nvariables\n  real x\nequations\n  x = sin(x, x)\n",
         "Parse error in file \"m.mf0\" line 5 at [NL]: 2 argument(s) given for function sin, which requires 1 "
         "argument(s)."},
        {"class a version 1\nvariables\n  integer x\nequations\n  x = 1\n",
         "Parse error in file \"m.mf0\" line 3 at \"integer\": type integer not yet implemented"},
        {"class a version 1\nconstants\n  real x\nequations\n  x = 1\n",
         "Parse error in file \"m.mf0\" line 2 at \"constants\": constants not yet implemented"},
        {"class a version 1\nsubclasses\n  r;1 r1\nparameter set\nconnections\n",
         "Parse error in file \"m.mf0\" line 4 at \"parameter\": parameters sets not yet implemented"},
        {"class a version 1\ninterface\n  ports: p\n  causality restrictions\n    fixed\n      effort p\n"
         "    preferred\n      flow p\nequations\n  p.e = 1\n",
         "Parse error in file \"m.mf0\" line 8 at [NL]: illegal causality restriction."},
        {"class a version 1\nsubclasses\n  r;1 r1\nconnections\n  r1`p -: r1`q\n  r1 -> r1`p\n",
         "Parse error in file \"m.mf0\" line 6 at \"->\": parse error"},
        {"class a version 1\ninterface\n  inputs: real u\nsubclasses\n  r;1 r1\nconnections\n  u -> r1`p\n",
         "Parse error in file \"m.mf0\" line 7 at \"->\": parse error"},
        {"class a version 1\nsubclasses\n  r;1 r1\nconnections\n  r1`p -:| r1`q\n",
         "Parse error in file \"m.mf0\" line 5 at \"|\": parse error"},
        {"class a version 1\nvariables\n  real x\nequations\n  x = 1\nvariables\n",
         "Parse error in file \"m.mf0\" line 6 at \"variables\": parse error"},
        {"class a version 1\nvariables\n  real x\nequations\n  x = t(1)\n",
         "Parse error in file \"m.mf0\" line 5 at \"(\": parse error"},
    };
    for (const auto& c : cases) {
        auto parsed = parseText(c.text);
        EXPECT_NE(parsed.result, 0) << c.text;
        EXPECT_EQ(parsed.cls, nullptr);
        ASSERT_FALSE(parsed.errors.empty()) << c.text;
        EXPECT_EQ(parsed.errors[0], c.error) << c.text;
        release_all();
    }
}

TEST_F(ParserTest, ErrorRecoveryReportsEachBadLine)
{
    auto parsed = parseText("class a version 1\nvariables\n  real x, y\nequations\n  x = 1 +\n  y = 2\n"
                            "  x = ) 1\n  y = 3\n");
    EXPECT_EQ(parsed.result, -2);
    ASSERT_EQ(parsed.errors.size(), 2u);
    EXPECT_EQ(parsed.errors[1], "Parse error in file \"m.mf0\" line 7 at \")\": parse error");
}

TEST_F(ParserTest, CheckLevelsStopEarly)
{
    const char* text = "class a version 1\ninterface\n  ports: p\nparameters\n  real k\nvariables\n  real x\n"
                       "equations\n  x = undefined\n";
    EXPECT_EQ(parseText(text, 1).result, 0);
    EXPECT_EQ(parseText(text, 2).result, 0);
    EXPECT_EQ(parseText(text, 3).result, -2);
    EXPECT_EQ(parseText("class a version 1\nparameters\n  real ) k\nequations\n", 1).result, 0);
    EXPECT_EQ(parseText("class a version 1\nparameters\n  real ) k\nequations\n", 2).result, -2);
}

TEST_F(ParserTest, ExpressionShapes)
{
    const struct {
        const char* right;
        const char* dump;
    } cases[] = {
        {"a - b - c", "((a - b) - c)"},
        {"not a == b", "(not (a == b))"},
        {"-a ^ b", "((- a) ^ b)"},
        {"a ^ b ^ c", "((a ^ b) ^ c)"},
        {"a ^ 2", "(a ^i 2)"},
        {"a ^ 1", "a"},
        {"a ^ -1", "(1 / a)"},
        {"a ^ -3", "(1 / (a ^i 3))"},
        {"a ^ 0.5", "(a ^ 0.5r)"},
        {"a ^ -b", "(a ^ (- b))"},
        {"a or b and c", "(a or (b and c))"},
        {"a + b * c div 2 mod 3", "(a + (((b * c) div 2) mod 3))"},
        {"if a < b then 1 elseif a > b then 2 else 3", "(if (a < b) then 1 else (if (a > b) then 2 else 3))"},
        {"atan2(a, t) + x[2]", "(atan2(a, t) + x[2])"},
        {"x", "x[(1 .. 3)]"},
    };
    for (const auto& c : cases) {
        std::string text = std::string("class e version 1\nvariables\n  real a, b, c, y\n  real x[3]\n"
                                       "equations\n  y = ") +
                           c.right + "\n";
        auto parsed = parseText(text);
        ASSERT_EQ(parsed.result, 0) << c.right << (parsed.errors.empty() ? "" : parsed.errors[0]);
        EquationRec* eq = parsed.cls->equations->equations.first();
        EXPECT_EQ(dumpExpression(eq->right), c.dump) << c.right;
        release_all();
    }
}

TEST_F(ParserTest, LaterDeclarationHidesEarlierOne)
{
    auto parsed = parseText("class a version 1\nparameters\n  real k\nvariables\n  real k\nequations\n  k = 1\n");
    ASSERT_EQ(parsed.result, 0);
    const ExprNode* left = parsed.cls->equations->equations.first()->left;
    EXPECT_EQ(left->kind, TK_VARIABLENAME);
    EXPECT_EQ(left->record(), parsed.cls->variables.first());
}

// A number too large for an integer is reported where it stands, and the parse goes on without a
// failure of memory reported for it.
TEST_F(ParserTest, AnIntegerTooLargeIsReportedWhereItStandsAndNoMemoryFailureAfterIt)
{
    auto parsed = parseText("class a version 1\nvariables\n  real x[99999999999]\nequations\n  x = 1\n");
    EXPECT_NE(parsed.result, 0);
    ASSERT_FALSE(parsed.errors.empty());
    EXPECT_EQ(parsed.errors.front(),
              "Parse error in file \"m.mf0\" line 3 at \"99999999999\": integer constant out of range.");
    for (const std::string& error : parsed.errors)
        EXPECT_EQ(error.find("memory allocation failure"), std::string::npos) << error;
}

TEST_F(ParserTest, ArgumentDimensionsBecomeConditions)
{
    auto parsed = parseText("class a(n) version 1\nvariables\n  real x[n]\nequations\n  x[2] = 1\n");
    ASSERT_EQ(parsed.result, 0);
    EXPECT_EQ(dumpClass(parsed.cls), "class a version 1 type DYN argnum 1\nargument n\ncondition (n >= 0)\n"
                                     "variable x[n] type 1\nequation = x[2] = 1 uses x\n");
}

// A model's processed files are named by its class name and version digit: a name cut to 7
// characters or a version of more digits would name another model's files, so both are refused.
TEST_F(ParserTest, ClassNamesAndVersionsThatNameAnotherModelsFilesAreRefused)
{
    const struct {
        const char* text;
        std::vector<std::string> errors;
    } cases[] = {
        {"class pendulum9 version 1\nvariables\n  real x\nequations\n  x = 1\n",
         {"Parse error in file \"m.mf0\" line 1 at \"pendulum9\": the model name pendulum9 is longer than the "
          "supported 7 characters."}},
        {"class pend version 2147483648\nvariables\n  real x\nequations\n  x = 1\n",
         {"Parse error in file \"m.mf0\" line 1 at \"2147483648\": the version of model pend is not one digit."}},
        {"class pend version 99999999999999999999999\nvariables\n  real x\nequations\n  x = 1\n",
         {"Parse error in file \"m.mf0\" line 1 at \"99999999999999999999999\": the version of model pend is not "
          "one digit."}},
        {"class chain100000 version 10\nvariables\n  real x\nequations\n  x = 1\n",
         {"Parse error in file \"m.mf0\" line 1 at \"chain100000\": the model name chain100000 is longer than the "
          "supported 7 characters.",
          "Parse error in file \"m.mf0\" line 1 at \"10\": the version of model chain100000 is not one digit."}},
        {"bond graph m version 1\nsubclasses\n  tank;12 t1, t2\nconnections\n  t1`p -> t2`p\n",
         {"Parse error in file \"m.mf0\" line 3 at \"12\": the version of model tank is not one digit."}},
        // A type names the model file of its submodels.
        {"bond graph m version 1\nsubclasses\n  resistor;1 t1, t2\nconnections\n  t1`p -> t2`p\n",
         {"Parse error in file \"m.mf0\" line 3 at \"resistor\": the submodel type name resistor is longer than "
          "the supported 7 characters."}},
    };
    for (const auto& c : cases) {
        auto parsed = parseText(c.text);
        EXPECT_NE(parsed.result, 0) << c.text;
        EXPECT_EQ(parsed.errors, c.errors) << c.text;
        release_all();
    }
    // Seven characters and every single digit are a model's name and version.
    for (const char* text : {"class pendulu version 9\nvariables\n  real x\nequations\n  x = 1\n",
                             "class p version 0\nvariables\n  real x\nequations\n  x = 1\n"}) {
        auto parsed = parseText(text);
        EXPECT_EQ(parsed.result, 0) << text << (parsed.errors.empty() ? "" : parsed.errors[0]);
        release_all();
    }
}

TEST_F(ParserTest, ConnectionOperators)
{
    auto parsed = parseText("class a version 1\ninterface\n  ports: p\n  inputs: real u\n  outputs: real y\n"
                            "subclasses\n  r;1 s1, s2\nconnections\n  s1`p -> s2`p\n  s1`p |<- s2`p\n"
                            "  s1`p ->| s2`p\n  s1`p |->| s2`p\n  p -- s1`p\n  s1`p = 2 = p\n  u -: s1`u\n"
                            "  s1`y -: y\n  y :- s2`y\n  s2`u :- u\n  s1`y =2=: s2`u\n  s1`u := 2 = s2`y\n");
    ASSERT_EQ(parsed.result, 0) << (parsed.errors.empty() ? "" : parsed.errors[0]);
    EXPECT_EQ(dumpClass(parsed.cls),
              "class a version 1 type TOP argnum 0\nport p c_type 4 c_val 0\ninput u type 1\noutput y type 1\n"
              "type r;1 users s2 s1\nsubclass s1 of r;1 bonds 6 in 2 out 2\nsubclass s2 of r;1 bonds 4 in 2 out 2\n"
              "bond SUB s1`p | SUB s2`p dim  caus 0 dir 1\nbond SUB s1`p | SUB s2`p dim  caus 4 dir 2\n"
              "bond SUB s1`p | SUB s2`p dim  caus 3 dir 1\nbond SUB s1`p | SUB s2`p dim  caus 4 dir 1\n"
              "bond POR p | SUB s1`p dim  caus 0 dir 0\nbond SUB s1`p | POR p dim [2] caus 0 dir 0\n"
              "signal INP u | SINP s1`u dim  dir 1\nsignal SOUT s1`y | OUT y dim  dir 1\n"
              "signal OUT y | SOUT s2`y dim  dir 2\nsignal SINP s2`u | INP u dim  dir 2\n"
              "signal SOUT s1`y | SINP s2`u dim [2] dir 1\nsignal SINP s1`u | SOUT s2`y dim [2] dir 2\n");
}

TEST_F(ParserTest, CausalityRestrictions)
{
    auto parsed = parseText("class a version 1\ninterface\n  ports: p1, p2, p3, p4, p5, p6\n"
                            "  causality restrictions\n    fixed\n      effort p1\n    preferred flow p2\n"
                            "    constraint\n      p3 notequal p4\n      same p5\n    indifferent p6\n"
                            "equations\n  p1.e = 1\n");
    ASSERT_EQ(parsed.result, 0) << (parsed.errors.empty() ? "" : parsed.errors[0]);
    EXPECT_EQ(dumpClass(parsed.cls),
              "class a version 1 type DYN argnum 0\nport p1 c_type 1 c_val 1\nport p2 c_type 2 c_val 2\n"
              "port p3 c_type 3 c_val 0 rel p4:4\nport p4 c_type 3 c_val 0 rel p3:4\nport p5 c_type 3 c_val 7\n"
              "port p6 c_type 4 c_val 0\n"
              "equation = p1.e = 1 uses p1\n");
}

TEST_F(ParserTest, IntegerEvaluation)
{
    std::vector<std::string> errors;
    ttset_error_callback([&](const char*, const char*, const char*, int, const char*, const char* message) {
        errors.push_back(message);
    });
    auto i = [](int v) { return makeIntegerConstant(v); };
    EXPECT_EQ(tt_eval_expr(makeOperator(i(7), i(2), TK_IDIV)), 3);
    // "/" of integers divides as "div" does, as the graph editor writes the sizes it is given.
    EXPECT_EQ(tt_eval_expr(makeOperator(i(7), i(2), TK_DIV)), 3);
    EXPECT_EQ(tt_eval_expr(makeOperator(makeOperator(nullptr, i(7), TK_PRF_MIN), i(2), TK_DIV)), -3);
    EXPECT_EQ(tt_eval_expr(makeOperator(nullptr, makeOperator(i(2), i(3), TK_MULT), TK_PRF_MIN)), -6);
    EXPECT_EQ(tt_eval_expr(makeOperator(i(7), makeOperator(i(2), i(3), TK_MIN), TK_PLUS)), 6);
    EXPECT_TRUE(errors.empty());
    EXPECT_EQ(tt_eval_expr(makeOperator(i(7), makeOperator(i(2), i(2), TK_MIN), TK_IDIV)), 0);
    EXPECT_EQ(tt_eval_expr(makeRealConstant(1.5)), 0);
    ExprNode* big = makeOperator(i(2147483647), i(2), TK_MULT);
    EXPECT_EQ(tt_eval_expr(makeOperator(big, makeOperator(big, big, TK_MULT), TK_MULT)), 0);
    ArgRec arg;
    arg.name = "n";
    ExprNode* ref = makeLeaf(0, &arg, TK_CLASSARG, nullptr, {});
    EXPECT_EQ(tt_eval_expr(ref), 0);
    arg.value = 4;
    arg.hasValue = 1;
    EXPECT_EQ(tt_eval_expr(makeOperator(ref, i(2), TK_MULT)), 8);
    EXPECT_EQ(errors, (std::vector<std::string>{"division by zero in integer expression.",
                                                "<error: illegal operator (300) found in integer expression in "
                                                "tt_eval_expr>",
                                                "integer overflow in integer expression.",
                                                "no numerical value known for argument n."}));
    ttset_error_callback(nullptr);
}

// A copied class shares no node with its original: changing the copy leaves the original.
TEST_F(ParserTest, ClassCopySharesNothing)
{
    testsupport::TempDir dir;
    for (const char* name : {"models/vecmod.sf0", "models/msd.mg0", "models/ctrl.mg0", "models/grid.mg0"}) {
        std::string text = readAll(std::string(KELDOR_TEST_DIR) + "/" + name);
        auto parsed = parseText(text, 3, "x.sf0");
        ASSERT_EQ(parsed.result, 0) << name;
        const std::string before = dumpClass(parsed.cls);
        ClassRec* copy = copyClass(parsed.cls);
        ClassRec* second = copyClass(parsed.cls);
        ASSERT_TRUE(copy && second);
        EXPECT_EQ(dumpClass(copy), before);
        EXPECT_EQ(dumpClass(second), before);

        if (copy->equations) {
            for (EquationRec* eq : copy->equations->equations) {
                for (ExprNode* n = eq->variables; n; n = n->extra()) {
                    EXPECT_NE(n->record(), nullptr);
                    bool inOriginal = false;
                    for (VarRec* v : parsed.cls->variables)
                        inOriginal |= n->record() == v;
                    for (PortRec* p : parsed.cls->ports)
                        inOriginal |= n->record() == p;
                    EXPECT_FALSE(inOriginal) << name;
                }
                eq->left = makeIntegerConstant(99);
            }
            copy->variables.first()->name = "changed";
        }
        if (copy->graph) {
            for (BondRec* b : copy->graph->bonds)
                for (ConnEnd& end : b->con) {
                    bool inOriginal = false;
                    for (SubclassRec* s : parsed.cls->graph->subclasses)
                        inOriginal |= end.node == s;
                    EXPECT_FALSE(inOriginal) << name;
                }
            for (SubmodelType* t : copy->graph->types)
                for (SubclassRec* user : t->users)
                    EXPECT_EQ(user->type, t);
            copy->graph->subclasses.first()->name = "changed";
            copy->graph->types.first()->t_name = "changed";
        }
        EXPECT_EQ(dumpClass(parsed.cls), before) << name;
        EXPECT_EQ(dumpClass(second), before) << name;
        EXPECT_NE(dumpClass(copy), before) << name;
        release_all();
    }
}
// A relation on a port of a SAME group is accepted whichever line comes first and whichever side
// the SAME port is written on; only an equal port joins the group. Ports that already carry a
// fixed side or a one-of constraint still refuse a relation.
TEST_F(ParserTest, SameGroupAndRelationInAnyOrder)
{
    const std::string relationOnA = "port a c_type 3 c_val 7 rel c:4\nport b c_type 3 c_val 7\n"
                                    "port c c_type 3 c_val 0 rel a:4\n";
    const struct {
        const char* lines;
        std::string ports; ///< the port lines of the dump, or the error
    } cases[] = {
        {"    constraint\n      a notequal c\n      same a, b\n", relationOnA},
        {"    constraint\n      same a, b\n      a notequal c\n", relationOnA},
        {"    constraint\n      same a, b\n      c notequal a\n", relationOnA},
        {"    constraint\n      c notequal a\n      same a, b\n", relationOnA},
        {"    constraint\n      same a, b\n      c equal a\n",
         "port a c_type 3 c_val 7 rel c:3\nport b c_type 3 c_val 7\nport c c_type 3 c_val 7 rel a:3\n"},
        {"    constraint\n      1_effort a, b\n      a notequal c\n", "illegal causality restriction."},
        {"    fixed\n      effort a\n    constraint\n      a equal c\n", "illegal causality restriction."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.lines);
        auto parsed = parseText(std::string("class k version 1\ninterface\n  ports: a, b, c\n"
                                            "  causality restrictions\n") +
                                c.lines + "equations\n  a.e = b.e\n");
        if (c.ports.find("illegal") != std::string::npos) {
            ASSERT_EQ(parsed.errors.size(), 1u);
            EXPECT_NE(parsed.errors[0].find(c.ports), std::string::npos) << parsed.errors[0];
            continue;
        }
        ASSERT_EQ(parsed.result, 0) << (parsed.errors.empty() ? "" : parsed.errors[0]);
        EXPECT_EQ(dumpClass(parsed.cls), "class k version 1 type DYN argnum 0\n" + c.ports +
                                             "equation = a.e = b.e uses b a\n");
    }
}
