// Tests of model loading and the processing pipeline's parse path, messages, results and
// the move of the model file to its processed-status name.
#include "common/settings_table.h"
#include "modelproc/display_hooks.h"
#include "modelproc/model_records.h"
#include "modelproc/processing_pipeline.h"
#include "modelproc/record_release.h"
#include "platform/core/file_system.h"
#include "platform/testing/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <new>
#include <stdexcept>
#include <sys/stat.h>

namespace {

const char* kEquationModel = "class pend version 1\nparameters\n  real l\nvariables\n  real phi\n"
                             "equations\n  phi = int(l)\n";
const char* kSubmodel = "class r version 1\ninterface\n  ports: p\nparameters\n  real r\nequations\n"
                        "  p.e = r * p.f\n";
const char* kGraphModel = "class top version 1\nsubclasses\n  r;1 r1\n  c;1 c1\nconnections\n  r1`p -> c1`p\n";

class PipelineTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetSettings();
        Settings().messages = 2;
        setProcessorLog([this](const std::string& line) { log.push_back(line); });
        ttset_progress_callback(ttdisplay_progress_comp);
        ttset_diag_callback(ttdisplay_diag_comp);
        DisplayHooks().status = [this](const char* text) { statuses.push_back(text); };
        Pipeline() = PipelineState{};
        CurrentPosition() = ProcessingPosition{};
        Phases() = PipelinePhases{};
    }
    void TearDown() override
    {
        setProcessorLog(nullptr);
        ttset_progress_callback(nullptr);
        ttset_diag_callback(nullptr);
        ttset_error_callback(nullptr);
        DisplayHooks().status = nullptr;
        Phases() = PipelinePhases{};
        ResetSettings();
        release_all();
    }
    int process(const std::string& file, int depth)
    {
        Pipeline().modelFile = file;
        Pipeline().depth = depth;
        return ttprocess_model();
    }
    testsupport::TempDir dir;
    std::vector<std::string> log;
    std::vector<std::string> statuses;
};

} // namespace

TEST_F(PipelineTest, ParseOnlyMovesTheModelFileToItsProcessedName)
{
    std::string file = dir.write("pend1.mff", kEquationModel);
    EXPECT_EQ(process(file, 3), 0);
    EXPECT_FALSE(platform::fileExists(file));
    EXPECT_EQ(testsupport::readText(dir.file("pend1.mf3")), kEquationModel);
    EXPECT_EQ(log, (std::vector<std::string>{"No errors in pend1", "Result has been written to template file "
                                                                   "pend1.mf3.",
                                             ""}));
    EXPECT_EQ(statuses, (std::vector<std::string>{"Parsing model..", "Clearing memory..", "No errors in pend1"}));
    EXPECT_EQ(Pipeline().modelFile, file);
}

TEST_F(PipelineTest, AnExistingTargetIsReplaced)
{
    std::string file = dir.write("pend1.mf0", kEquationModel);
    dir.write("pend1.mf3", "old text\n");
    EXPECT_EQ(process(file, 3), 0);
    EXPECT_EQ(testsupport::readText(dir.file("pend1.mf3")), kEquationModel);
}

TEST_F(PipelineTest, AFailedMoveIsReportedAndFails)
{
    std::string file = dir.write("pend1.mf0", kEquationModel);
    dir.mkdir("pend1.mf3");
    EXPECT_EQ(process(file, 3), -1);
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[1].rfind("***** General error in file \"pend1.mf0\": cannot move the model file to pend1.mf3", 0),
              0u)
        << log[1];
    EXPECT_EQ(statuses.back(), "Processing failed during parsing.");
    EXPECT_TRUE(platform::fileExists(file));
}

TEST_F(PipelineTest, AnAlreadyProcessedNameIsNotMoved)
{
    std::string file = dir.write("pend1.mf3", kEquationModel);
    EXPECT_EQ(process(file, 3), 0);
    EXPECT_EQ(log, (std::vector<std::string>{"No errors in pend1", ""}));
}

TEST_F(PipelineTest, MissingStatusVariantFallsBackToStatusZero)
{
    std::string file = dir.write("pend1.mf0", kEquationModel);
    EXPECT_EQ(process(dir.file("pend1.mf2"), 3), 0);
    EXPECT_EQ(Pipeline().modelFile, file);
    EXPECT_TRUE(platform::fileExists(dir.file("pend1.mf3")));
}

TEST_F(PipelineTest, NoModel)
{
    EXPECT_EQ(process("", 6), 0);
    EXPECT_EQ(log, (std::vector<std::string>{"***** Parse error in file \"\" line 1 at [Unknown]: No model given: "
                                             "choose a model first!"}));
    EXPECT_EQ(statuses.back(), "Processing failed during parsing.");
    log.clear();
    EXPECT_EQ(process(dir.file("gone1.mf1"), 6), 0);
    ASSERT_EQ(log.size(), 1u);
    EXPECT_NE(log[0].find("No model given: choose a model first!"), std::string::npos);
}

TEST_F(PipelineTest, ParseErrorsStopTheRun)
{
    std::string file = dir.write("bad1.mf0", "class bad version 1\nequations\n  x = 1\n");
    EXPECT_EQ(process(file, 6), -1);
    EXPECT_EQ(log, (std::vector<std::string>{"***** Parse error in file \"bad1.mf0\" line 3 at \"x\": parse error",
                                             "***** Parse error in file \"bad1.mf0\" line 4 at [EOF]: Fatal error "
                                             "found during compilation.",
                                             "Expansion can't take place due to compilation error(s)."}));
    EXPECT_EQ(statuses.back(), "Processing failed during parsing.");
    EXPECT_TRUE(platform::fileExists(file));
}

// A model's processed files are named by its heading's class name and version: a heading that is
// not the file's name would write another model's files. It is refused by the file and what the
// heading says, before anything is moved or written. Version 0 stands only where the file's name
// says it, as the editors write it for a model name that ends in 0 or has no digit.
TEST_F(PipelineTest, AHeadingThatNamesAnotherModelThanItsFileIsRefused)
{
    int generated = 0;
    Phases().generate = [&](ClassRec*, const std::string&) { return ++generated; };
    const std::string body = "\nvariables\n  real x\nequations\n  x = 1\n";
    const struct {
        const char* file;
        const char* heading;
        const char* named;
    } refused[] = {
        {"msd1.mf0", "class msd version 3", "msd version 3, but the file is named for msd version 1"},
        {"msd1.mf0", "class msd version 0", "msd version 0, but the file is named for msd version 1"},
        {"vdpx1.mf0", "class vdq version 1", "vdq version 1, but the file is named for vdpx version 1"},
        {"vdp.mf0", "class vdq version 0", "vdq version 0, but the file is named for vdp"},
        // The class named as the file, its version digit and all.
        {"rod1.mf0", "class rod1 version 1", "rod1 version 1, but the file is named for rod version 1"},
    };
    for (const auto& c : refused) {
        SCOPED_TRACE(c.heading);
        log.clear();
        testsupport::TempDir models;
        const std::string file = models.write(c.file, c.heading + body);
        EXPECT_EQ(process(file, 6), -1);
        EXPECT_EQ(log, (std::vector<std::string>{"***** Parse error in file \"" + std::string(c.file) +
                                                     "\": the model's heading says " + c.named +
                                                     ": its processed files would be written under another name.",
                                                 "Expansion can't take place due to compilation error(s)."}));
        EXPECT_EQ(statuses.back(), "Processing failed during parsing.");
        EXPECT_TRUE(platform::fileExists(file));
    }
    EXPECT_EQ(generated, 0);
    // The heading as the editors write it for the file's name, in any letter case.
    for (const auto& [file, heading] : {std::pair{"pend1.mf0", "class Pend version 1"},
                                        std::pair{"pend0.mf0", "class pend version 0"},
                                        std::pair{"pend.mf0", "class pend version 0"},
                                        std::pair{"pend.mf0", "class pend version 2"}}) {
        SCOPED_TRACE(heading);
        testsupport::TempDir models;
        EXPECT_EQ(process(models.write(file, heading + body), 6), 3);
    }
    EXPECT_EQ(generated, 4);
}

TEST_F(PipelineTest, SubmodelIsNotExpanded)
{
    std::string file = dir.write("r1.sf0", kSubmodel);
    EXPECT_EQ(process(file, 6), -1);
    EXPECT_EQ(log, (std::vector<std::string>{"No errors in r1", "Result has been written to template file r1.sf3.",
                                             "", "r1 is not a top-level model; no expansion allowed.",
                                             "Causal analysis can't take place due to expansion error(s)."}));
    EXPECT_EQ(statuses.back(), "Processing failed during expansion.");
}

TEST_F(PipelineTest, EquationModelSkipsExpansionAndCausalAnalysis)
{
    int generated = 0;
    Phases().expand = [](ClassRec*, const std::string&) { return 0; };
    Phases().generate = [&](ClassRec* cls, const std::string&) {
        ++generated;
        return cls->type == CLASS_DYN ? 1 : 0;
    };
    std::string file = dir.write("pend1.mf0", kEquationModel);
    EXPECT_EQ(process(file, 6), 3);
    EXPECT_EQ(generated, 1);
    EXPECT_EQ(log, (std::vector<std::string>{"No errors in pend1", "Result has been written to template file "
                                                                   "pend1.mf3.",
                                             "", "", "", "Starting equations generation of pend1.",
                                             "Equation generation completed successfully."}));
    EXPECT_EQ(statuses.back(), "Model processed successfully.");
}

TEST_F(PipelineTest, GraphModelThroughThePhases)
{
    Settings().tempfiles = 1;
    std::vector<std::string> templates;
    Phases().expand = [](ClassRec*, const std::string&) { return 1; };
    Phases().causal = [](ClassRec*, const std::string&) { return 0; };
    Phases().writeTemplate = [&](ClassRec*, const std::string& name, const std::string&) {
        templates.push_back(name);
        return 1;
    };
    std::string file = dir.write("top1.mg0", kGraphModel);
    EXPECT_EQ(process(file, 6), -2);
    EXPECT_EQ(templates, (std::vector<std::string>{"top1.t1"}));
    EXPECT_EQ(log, (std::vector<std::string>{"No errors in top1", "Result has been written to template file "
                                                                  "top1.mg3.",
                                             "", "Starting expansion of top1.", "Expansion completed successfully.",
                                             "Result has been written to template file top1.t1.", "",
                                             "Starting causal analysis of top1.",
                                             "0 error(s) found during causal analysis of top1.",
                                             "Equations can not be generated due to causal error(s)."}));
    EXPECT_EQ(statuses.back(), "Processing failed during causal analysis.");
}

TEST_F(PipelineTest, ARunAskedForCausalAnalysisAlwaysWritesItsStrokesTemplate)
{
    // The editor that asks for causal analysis reads the strokes from the ".t2"; otherwise the
    // templates are kept only when temporary files are.
    const struct {
        int tempfiles;
        int depth;
        int result;
        std::vector<std::string> templates;
    } cases[] = {
        {0, 5, 2, {"top1.t2"}},
        {0, 6, 3, {}},
        {1, 5, 2, {"top1.t1", "top1.t2"}},
        {1, 6, 3, {"top1.t1", "top1.t2"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("tempfiles " + std::to_string(c.tempfiles) + ", depth " + std::to_string(c.depth));
        Settings().tempfiles = c.tempfiles;
        std::vector<std::string> templates;
        Phases().expand = [](ClassRec*, const std::string&) { return 1; };
        Phases().causal = [](ClassRec*, const std::string&) { return 1; };
        Phases().generate = [](ClassRec*, const std::string&) { return 1; };
        Phases().writeTemplate = [&](ClassRec*, const std::string& name, const std::string&) {
            templates.push_back(name);
            return 1;
        };
        log.clear();
        EXPECT_EQ(process(dir.write("top1.mg0", kGraphModel), c.depth), c.result);
        EXPECT_EQ(templates, c.templates);
        int written = 0;
        for (const std::string& line : log)
            written += line.rfind("Result has been written to template file top1.t", 0) == 0;
        EXPECT_EQ(written, static_cast<int>(c.templates.size()));
        std::filesystem::remove(dir.file("top1.mg3"));
    }
}

TEST_F(PipelineTest, ParseFileResults)
{
    ClassRec* cls = reinterpret_cast<ClassRec*>(1);
    EXPECT_EQ(ttparse_file(dir.file("missing.mf0"), 3, cls, nullptr), -1);
    EXPECT_EQ(cls, nullptr);
    EXPECT_EQ(ttparse_file(dir.path(), 3, cls, nullptr), -1);

    // A hook that does not count errors still fails a file with a semantic error.
    int calls = 0;
    auto quiet = [&](const char*, const char*, const char*, int, const char*, const char*) { ++calls; };
    std::string bad = dir.write("bad.mf0", "class a version 1\nvariables\n  real x\nequations\n  x = sin(x, x)\n");
    EXPECT_EQ(ttparse_file(bad, 3, cls, quiet), -2);
    EXPECT_EQ(cls, nullptr);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(CurrentPosition().errorFile, "bad.mf0");

    EXPECT_EQ(ttparse_text(kEquationModel, "pend1.mf0", 3, cls, quiet), 0);
    ASSERT_NE(cls, nullptr);
    EXPECT_EQ(cls->name, "pend");
    EXPECT_EQ(cls->version, 1);
    EXPECT_EQ(calls, 1);
}

// An equation model file ends in a NUL after its text, which ends the text; a file that goes on
// after the NUL is refused where it goes on, as what follows would be left unread.
TEST_F(PipelineTest, AFileEndsAtItsNulAndIsRefusedWhereItGoesOnAfterIt)
{
    const struct {
        std::string tail;
        std::vector<std::string> errors;
    } cases[] = {
        {std::string("\0", 1), {}},
        {std::string("\0\0\r\n \t\n\0", 8), {}},
        {std::string("\0garbage here\n", 15),
         {"Parse error in file \"pend1.mf0\" line 8 at \"garbage\": the file goes on after its NUL byte."}},
        {std::string("\0\n\n  x = 2\n", 11),
         {"Parse error in file \"pend1.mf0\" line 10 at \"x\": the file goes on after its NUL byte."}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> errors;
        const std::string file = dir.write("pend1.mf0", kEquationModel + c.tail);
        ClassRec* cls = nullptr;
        const int parsed = ttparse_file(file, 3, cls,
                                        [&](const char* kind, const char* name, const char* submodel, int line,
                                            const char* token, const char* message) {
                                            errors.push_back(formatErrorLine(kind, name, submodel, line, token, message));
                                        });
        EXPECT_EQ(parsed, c.errors.empty() ? 0 : -2) << testing::PrintToString(c.tail);
        EXPECT_EQ(errors, c.errors);
        release_all();
    }
}

// A phase that runs out of memory (or fails with any other exception) ends the run like any
// failure of that phase: reported, everything released, the phase's result code returned.
TEST_F(PipelineTest, PhaseEndingInAnExceptionFailsThatPhase)
{
    const std::string file = dir.write("top1.mg0", kGraphModel);
    Phases().expand = [](ClassRec*, const std::string&) -> int { throw std::bad_alloc(); };
    EXPECT_EQ(process(file, 6), -1);
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), "***** General error: memory allocation failure (may be out of memory).");
    EXPECT_EQ(statuses.back(), "Processing failed during expansion.");

    log.clear();
    Phases().expand = [](ClassRec*, const std::string&) { return 1; };
    Phases().causal = [](ClassRec*, const std::string&) { return 1; };
    Phases().generate = [](ClassRec*, const std::string&) -> int { throw std::length_error("too long"); };
    EXPECT_EQ(process(dir.file("top1.mg3"), 6), -3);
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), "***** General error: <error: too long in ttprocess_model>");
    EXPECT_EQ(statuses.back(), "Processing failed during equation generation.");
}
