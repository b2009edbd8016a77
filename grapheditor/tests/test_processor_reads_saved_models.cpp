// The model processor reads what the graph editor saves: the golden files that
// the model-file tests write through the editor's object API are parsed, and the
// saved mass-spring-damper is processed completely to the same code file as the
// example and to the causality template that the editor's tests read back. (The
// editor's model core and the processor are separate programs and are not
// linked together: both have their own graph records.)
#include "common/settings_table.h"
#include "modelproc/display_hooks.h"
#include "modelproc/processing_pipeline.h"
#include "modelproc/record_release.h"
#include "modelproc/tests/keldor_support.h"
#include "platform/core/file_system.h"
#include "platform/testing/temp_dir.h"

#include <gtest/gtest.h>

namespace {

using keldortest::readAll;

const std::string kGolden = std::string(GRAPHEDITOR_TEST_DIR) + "/golden/";

/// Processes the model file completely in `work`; the result code, with every error line in `errors`.
int processCompletely(const std::string& modelFile, const std::string& work, std::vector<std::string>& errors)
{
    const ProcessorDisplayHooks saved = DisplayHooks();
    DisplayHooks().progress = [](const char*) {};
    DisplayHooks().diag = [](const char*) {};
    DisplayHooks().status = [](const char*) {};
    DisplayHooks().percent = [](int) {};
    DisplayHooks().error = [&](const char* kind, const char* file, const char* submodel, int line,
                               const char* token, const char* message) {
        errors.push_back(formatErrorLine(kind, file, submodel, line, token, message));
    };
    // The pipeline puts its own error hook in place; what it says is echoed here.
    setErrorEcho([&](const std::string& line) { errors.push_back(line); });
    Phases() = builtInPhases();
    Pipeline() = PipelineState{};
    Pipeline().modelFile = modelFile;
    Pipeline().depth = 6;
    Pipeline().workingDirectory = work;
    ttset_error_callback(ttdisplay_error_comp);
    CurrentPosition() = ProcessingPosition{};
    const int result = ttprocess_model();
    DisplayHooks() = saved;
    setErrorEcho({});
    release_all();
    return result;
}

TEST(SavedGraphModels, TheProcessorParsesTheDemonstrationModel)
{
    const std::string text = readAll(kGolden + "demo1.mgg");
    ASSERT_FALSE(text.empty());
    auto parsed = keldortest::parseText(text, 3, "demo1.mgg");
    EXPECT_EQ(parsed.result, 0) << testing::PrintToString(parsed.errors);
    EXPECT_TRUE(parsed.errors.empty()) << testing::PrintToString(parsed.errors);
    release_all();
}

TEST(SavedGraphModels, TheSavedMassSpringDamperProcessesLikeTheExample)
{
    testsupport::TempDir library;
    testsupport::TempDir example;
    testsupport::TempDir saved;
    ResetSettings();
    keldortest::copyLibraryElements(library, ORVANTA_LIBRARY_DIR, {"se1", "1j1", "i1", "c1", "r1"});
    Settings().model_dirs = library.path();
    std::vector<std::string> errors;
    ASSERT_EQ(processCompletely(example.write("msd1.mg0", readAll(ORVANTA_MODELS_DIR "/msd1.mg0")), example.path(),
                                errors),
              3)
        << testing::PrintToString(errors);
    const std::string expected = readAll(example.file("msd1.l"));
    ASSERT_FALSE(expected.empty());
    Settings().tempfiles = 1;
    ASSERT_EQ(processCompletely(saved.write("msd1.mg0", readAll(kGolden + "msd1.mg0")), saved.path(), errors), 3)
        << testing::PrintToString(errors);
    EXPECT_EQ(readAll(saved.file("msd1.l")), expected);
    // The template written back after causal analysis, which the editor's tests read.
    EXPECT_EQ(readAll(saved.file("msd1.t2")), readAll(kGolden + "msd1.t2"));
}

// The editor writes the connections line of a model without connections. A model of a
// submodel without ports is processed; an empty one is refused by a message that says what
// it lacks, at the end of the file.
TEST(SavedGraphModels, ModelsWithoutConnectionsAreProcessedOrRefusedForWhatTheyLack)
{
    testsupport::TempDir library;
    testsupport::TempDir work;
    ResetSettings();
    library.write("osc1.sf0", "class osc version 1\nvariables\n  real x, v\nequations\n  v = int(-x)\n"
                              "  x = int(v)\n");
    Settings().model_dirs = library.path();
    std::vector<std::string> errors;
    ASSERT_EQ(processCompletely(work.write("lone1.mg0", readAll(kGolden + "lone1.mg0")), work.path(), errors), 3)
        << testing::PrintToString(errors);
    const std::string code = readAll(work.file("lone1.l"));
    EXPECT_NE(code.find("#Dstate_ind\t2\n\t#real\tosc`v\n\t#real\tosc`x\n"), std::string::npos) << code;

    errors.clear();
    EXPECT_LT(processCompletely(work.write("empty1.mg0", readAll(kGolden + "empty1.mg0")), work.path(), errors), 0);
    ASSERT_FALSE(errors.empty());
    EXPECT_NE(errors.front().find("\"empty1.mg0\" line 4 at [EOF]: no submodels or connections given"),
              std::string::npos)
        << testing::PrintToString(errors);
    EXPECT_FALSE(platform::fileExists(work.file("empty1.l")));
}

} // namespace
