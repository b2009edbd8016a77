// Tests of reshaping and collection of whole hierarchical models, with their progress texts.
#include "common/settings_table.h"
#include "modelproc/causal_analysis.h"
#include "modelproc/display_hooks.h"
#include "modelproc/equation_generation.h"
#include "modelproc/expansion.h"
#include "modelproc/record_dump.h"
#include "modelproc/record_release.h"
#include "modelproc/tests/keldor_support.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

namespace {

// Mass-spring-damper: a force on a 1-junction with the mass, spring and damper.
const char* kMsd = "bond graph msd version 1\nsubclasses\n  se;1 f\n  1j;1 v, w\n  i;1 m\n  c;1 k\n  r;1 d\n"
                   "connections\n  f`p -> v`p1\n  v`p2 -> m`p\n  v`p3 -> w`p1\n  w`p2 -> k`p\n  w`p3 -> d`p\n";

std::string readAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class GenerationTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetSettings();
        Settings().model_dirs = m_dir.path();
        for (const char* name : {"se1", "sf1", "0j1", "1j1", "i1", "c1", "r1"})
            m_dir.write(std::string(name) + ".sf0", readAll(std::string(KELDOR_LIBRARY_DIR) + "/" + name + ".sf0"));
        Pipeline() = PipelineState{};
        m_saved = DisplayHooks();
    }
    void TearDown() override
    {
        DisplayHooks() = m_saved;
        DisplayHooks().error = [](const char*, const char*, const char*, int, const char*, const char*) {};
        release_all();
    }

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

} // namespace
