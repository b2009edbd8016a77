// The generator dialog's logic without widgets: the caller's texts as fields, where
// the experiment is found, the output directory made on request, generations that
// report what they wrote (and only then), and the rules of the submodel chooser and
// the logo button.
#include "codegen/generator_dialog_logic.h"
#include "codegen/sfunction_writer.h"
#include "codegen/standalone_writer.h"
#include "codegen/submodel_writer.h"

#include "platform/core/choosers.h"
#include "platform/core/file_system.h"
#include "platform/core/message_sink.h"
#include "platform/testing/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <set>

namespace {

const std::string kFixtures = CODEGEN_FIXTURES;

class DialogLogicTest : public ::testing::Test {
protected:
    /// The fields of the crank model copied into the temporary folder, with its experiment.
    GeneratorFields crankFields(int kind) const
    {
        copy("crankrg1.e", "crankrg1.e");
        copy("crank.p", "crank.p");
        copy("crank.r", "crank.r");
        copy("crank.u", "crank.u");
        GeneratorFields fields = InitialFields((dir.path() + "/crankrg1").c_str(), "crank", nullptr);
        fields.outputKind = kind;
        fields.outputDirectory = dir.mkdir("out");
        return fields;
    }
    void copy(const std::string& from, const std::string& to) const
    {
        dir.write(to, testsupport::readText(kFixtures + "/" + from));
    }
    std::vector<std::string> files(const std::string& folder) const
    {
        std::vector<std::string> names = platform::listDirectory(folder).value_or(std::vector<std::string>{});
        names.erase(std::remove_if(names.begin(), names.end(), [](const std::string& n) { return n[0] == '.'; }),
                    names.end());
        std::sort(names.begin(), names.end());
        return names;
    }
    /// The lines of the last box, and its caption.
    std::string lastCaption() const { return sink.transcript().empty() ? "" : sink.transcript().back().caption; }
    std::vector<std::string> lastLines() const
    {
        return sink.transcript().empty() ? std::vector<std::string>{} : sink.transcript().back().lines;
    }

    testsupport::TempDir dir;
    platform::ScriptedMessageSink sink;
    platform::ScopedMessageSink scoped{sink};
    platform::ScriptedChooserSink choosers;
    platform::ScopedChooserSink scopedChoosers{choosers};
};

TEST_F(DialogLogicTest, CallerTextsBecomeFieldsAndChosenFilesReplaceThem)
{
    GeneratorFields fields = InitialFields("/models/msd1", "exp", "drive`motor");
    EXPECT_EQ(fields.modelPath, "/models/");
    EXPECT_EQ(fields.modelName, "msd1");
    EXPECT_EQ(fields.experimentName, "exp");
    EXPECT_EQ(fields.submodel, "drive`motor");
    EXPECT_EQ(fields.outputKind, SFunctionOutput);
    EXPECT_EQ(fields.simulationOutput, 0);
    EXPECT_EQ(RequestOf(fields).modelFile, "/models/msd1.e");

    // a model without a folder is the name in the current directory; nulls leave fields empty
    fields = InitialFields("msd1", nullptr, nullptr);
    EXPECT_EQ(fields.modelPath, "");
    EXPECT_EQ(RequestOf(fields).modelFile, "msd1.e");
    EXPECT_EQ(InitialFields(nullptr, nullptr, nullptr).modelName, "");

    TakeChosenExperiment(fields, "/elsewhere/trial.p");
    EXPECT_EQ(fields.experimentName, "trial");
    EXPECT_EQ(fields.experimentDirectory, "/elsewhere/");
    TakeChosenModel(fields, "/other/place/rlc2.e");
    EXPECT_EQ(fields.modelPath, "/other/place/");
    EXPECT_EQ(fields.modelName, "rlc2");
    EXPECT_EQ(fields.experimentDirectory, "") << "the experiment chosen for the model before is forgotten";

    EXPECT_EQ(FolderChooserStart("/models/"), "/models");
    EXPECT_EQ(FolderChooserStart("/models"), "/models");
    EXPECT_EQ(FolderChooserStart("/"), "/");
    EXPECT_TRUE(SimulationOutputApplies(StandAloneOutput));
    EXPECT_FALSE(SimulationOutputApplies(SFunctionOutput));
    EXPECT_FALSE(SimulationOutputApplies(FunctionOutput));
}

TEST_F(DialogLogicTest, TheExperimentIsFoundWhereItWasChosenInTheModelsFolderOrBesideTheModel)
{
    GeneratorFields fields = InitialFields((dir.path() + "/msd1").c_str(), "exp", nullptr);
    // none anywhere: the model's own experiment folder, which warns later
    EXPECT_EQ(ExperimentBase(fields), dir.path() + "/msd1/exp");
    // beside the model, where the simulator saves it
    dir.write("exp.r", "");
    EXPECT_EQ(ExperimentBase(fields), dir.path() + "/exp");
    EXPECT_EQ(ExperimentChooserFolder(fields), dir.path() + "/");
    // the model's own folder comes first
    dir.write("msd1/exp.p", "");
    EXPECT_EQ(ExperimentBase(fields), dir.path() + "/msd1/exp");
    EXPECT_EQ(ExperimentChooserFolder(fields), dir.path() + "/msd1/");
    // a folder it was chosen in holds
    dir.write("chosen/exp.u", "");
    TakeChosenExperiment(fields, dir.path() + "/chosen/exp.p");
    EXPECT_EQ(ExperimentBase(fields), dir.path() + "/chosen/exp");
    // the simulator's file names cut long experiment names to 8 characters
    fields = InitialFields((dir.path() + "/msd1").c_str(), "longexperiment", nullptr);
    dir.write("longexpe.p", "");
    EXPECT_EQ(ExperimentBase(fields), dir.path() + "/longexpe");
    // no experiment named: nothing is looked for
    fields.experimentName.clear();
    EXPECT_EQ(ExperimentBase(fields), dir.path() + "/msd1/");
}

TEST_F(DialogLogicTest, AMissingOutputDirectoryIsMadeOnlyWhenTheUserAgrees)
{
    EXPECT_TRUE(PrepareOutputDirectory(""));
    EXPECT_TRUE(PrepareOutputDirectory(dir.path()));
    EXPECT_TRUE(sink.transcript().empty()) << "an existing directory is used without a question";

    const std::string wanted = dir.file("new");
    sink.queueAnswers({platform::BoxAnswer::Cancel});
    EXPECT_FALSE(PrepareOutputDirectory(wanted));
    EXPECT_FALSE(platform::fileExists(wanted));
    ASSERT_EQ(sink.transcript().size(), 1u);
    EXPECT_EQ(sink.transcript()[0].kind, platform::BoxKind::Confirm);
    EXPECT_EQ(lastCaption(), "Orvanta Warning");
    EXPECT_EQ(lastLines(), (std::vector<std::string>{"The given output directory does not exist,",
                                                      "do you wish to create it?"}));

    EXPECT_TRUE(PrepareOutputDirectory(wanted));
    EXPECT_TRUE(platform::isDirectory(wanted));

    // one level only; a file in the way is no directory either
    sink.clear();
    EXPECT_FALSE(PrepareOutputDirectory(dir.file("a/b")));
    EXPECT_EQ(lastLines(), (std::vector<std::string>{"Unable to create given output directory",
                                                      "The file system may not be writable"}));
    dir.write("plain", "x");
    EXPECT_FALSE(PrepareOutputDirectory(dir.file("plain")));
    EXPECT_EQ(lastLines().front(), "Unable to create given output directory");
}

TEST_F(DialogLogicTest, EachSuccessReportListsExactlyTheFilesWritten)
{
    const auto listed = [](int kind, const std::string& name) {
        std::set<std::string> names;
        for (const std::string& line : SuccessLines(kind, "/out", name))
            if (line.size() > 4 && line.compare(0, 4, "    ") == 0 && line != "    /out")
                names.insert(line.substr(4));
        return names;
    };
    const auto asSet = [](const std::vector<std::string>& names) { return std::set<std::string>(names.begin(), names.end()); };
    EXPECT_EQ(listed(StandAloneOutput, ""), asSet(StandAloneFileNames()));
    EXPECT_EQ(listed(FunctionOutput, "fn"), asSet(SubmodelFileNames())) << "xxmain.c is written, so it is listed";
    EXPECT_EQ(listed(SFunctionOutput, "crankmod"), asSet(SFunctionFileNames("crankmod")));

    const std::vector<std::string> lines = SuccessLines(StandAloneOutput, "/work/out", "");
    EXPECT_EQ(lines[0], "Stand-alone code generated successfully");
    EXPECT_EQ(lines[1], std::string(33, '='));
    EXPECT_EQ(lines[3], "generated files:");
    EXPECT_EQ(lines[5], "    xxmain.c");
    EXPECT_EQ(lines.back(), "    /work/out");
    EXPECT_EQ(SuccessLines(SFunctionOutput, "/o", "crankmod")[5], "    crankmod.c");
    EXPECT_EQ(SuccessLines(FunctionOutput, "/o", "f")[1], std::string(32, '='));
}

TEST_F(DialogLogicTest, AGenerationReportsSuccessOnlyWhenEveryFileWasWritten)
{
    GeneratorFields fields = crankFields(StandAloneOutput);
    fields.simulationOutput = 2;
    ASSERT_EQ(GenerateFromFields(fields, {}), GenerationOutcome::Written);
    EXPECT_EQ(files(fields.outputDirectory).size(), StandAloneFileNames().size());
    EXPECT_EQ(lastCaption(), "Orvanta Message");
    EXPECT_EQ(sink.transcript().back().icon, platform::BoxIcon::Information);
    EXPECT_EQ(lastLines().front(), "Stand-alone code generated successfully");
    EXPECT_EQ(lastLines().back(), "    " + fields.outputDirectory);
    EXPECT_NE(testsupport::readText(fields.outputDirectory + "/xxmain.c").size(), 0u);
    EXPECT_EQ(fields.status, "Stand-alone program written to " + fields.outputDirectory + " (10 files)");

    // a file that cannot be written: the failure is reported, and no success
    sink.clear();
    fields.outputDirectory = dir.mkdir("blocked");
    dir.mkdir("blocked/xxmodel.c");
    EXPECT_EQ(GenerateFromFields(fields, {}), GenerationOutcome::Failed);
    for (const platform::MessageBoxRequest& box : sink.transcript())
        EXPECT_NE(box.caption, "Orvanta Message");
    EXPECT_EQ(lastCaption(), "Orvanta Error");
    EXPECT_EQ(lastLines(), (std::vector<std::string>{"An error occured, one or more files", "could not be generated"}));
    EXPECT_EQ(fields.status, "Not every file written: one or more files could not be written");

    // a model that cannot be read stops before anything else, in one box
    sink.clear();
    fields.modelName = "missing1";
    EXPECT_EQ(GenerateFromFields(fields, {}), GenerationOutcome::Failed);
    ASSERT_EQ(sink.transcript().size(), 1u) << testing::PrintToString(sink.transcriptLines());
    EXPECT_EQ(lastLines(), (std::vector<std::string>{"Error reading the specified model file", "",
                                                      dir.path() + "/missing1.e"}));
    EXPECT_EQ(sink.transcript().back().icon, platform::BoxIcon::Exclamation);
    EXPECT_EQ(fields.status, "Nothing written: the model file " + dir.path() + "/missing1.e could not be read");
}

// What the generated code cannot hold is said once, in the box that names it and where it
// stands; no box follows that blames the file, and the status repeats why nothing was written.
TEST_F(DialogLogicTest, WhatTheGeneratedCodeCannotHoldIsRefusedInOneBoxThatNamesIt)
{
    const std::string loop =
        "#Hclass\tloop\n#Hversion\t1\n\n#DIncond\t1\n\t#real\tu\n\n#DVariable\t1\n\t#real\ty\n\n"
        "#Dstate_ind\t1\n\t#real\tu\n\n#DRate_ind\t1\n\t#real\tu_indep_rate\n\n#DAlgloop\t1\n\t#real\tx\n\n"
        "#EInitial\t0\n\n#Einputs\t0\n\n#Edynamic\t5\n    R0 = 1 - s0\n    V0 = (0.5 * a0) + 1\n"
        "    A0 = (0.5 * V0) + s0\n\n#Eoutputs\t0\n";
    // The second inertia follows the first through the gear: a dependent state and its rate.
    const std::string gears =
        "#Hclass\tgears\n#Hversion\t1\n\n#DParam \t2\n\t#real\ttq`e\n\t#real\tin1`i\n\n"
        "#DIncond\t1\n\t#real\tin2`p.e_indep_state_ic\n\n#DVariable\t1\n\t#real\tj1`p[3].e\n\n"
        "#Dstate_ind\t1\n\t#real\tin2`p.e_indep_state\n\n#DRate_ind\t1\n\t#real\tin2`p.e\n\n"
        "#DState_dept\t1\n\t#real\tin1`p.e_dep_state\n\n#Drate_dept\t1\n\t#real\tj1`p[2].e\tin1`p.e\n\n"
        "#EInitial\t0\n\n#Einputs\t0\n\n#Edynamic\t4\n    V0 = P0 + -r0\n    R0 = V0\n    S0 = s0 * P1\n\n"
        "#Eoutputs\t0\n";
    // Only an equation outside the submodel a computes the quantity it uses.
    const std::string split = "#Hclass\tsplit\n#Hversion\t1\n\n#DParam \t1\n\t#real\tb`k\n\n"
                              "#DVariable\t2\n\t#real\ta`y\n\t#real\ta`z\n\n#EInitial\t0\n\n#Einputs\t0\n\n"
                              "#Edynamic\t2\n    V0 = P0\n    V1 = V0 * 2\n\n#Eoutputs\t0\n";
    struct Case {
        const char* what;
        const std::string& text;
        int kind;
        std::vector<std::string> lines;
    } cases[] = {
        {"an algebraic loop", loop, StandAloneOutput,
         {"Models with algebraic loops are not supported in code generation", "The loop is solved for x",
          dir.file("refused1.e") + ", line 16: '#DAlgloop'"}},
        {"a dependent rate", gears, StandAloneOutput,
         {"The quantity r0 (a dependent rate, j1`p[2].e) has no array in the generated code",
          "A model with a mass, an inertia or another storage in derivative causality, or a ddt, cannot be exported.",
          "in equation: V0 = P0 + -r0", dir.file("refused1.e") + ", line 31"}},
        {"a submodel that uses what is outside it", split, FunctionOutput,
         {"The submodel a uses quantities outside it", "in equation: a`y = b`k;"}},
    };
    GenerationChoices choices;
    choices.chooseBlock = [](const GeneratorModel&, const BlockRequest&) -> std::optional<BlockRequest> {
        return BlockRequest{"a", "part"};
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        sink.clear();
        dir.write("refused1.e", c.text);
        GeneratorFields fields = InitialFields(dir.file("refused1").c_str(), nullptr, nullptr);
        fields.outputKind = c.kind;
        fields.outputDirectory = dir.mkdir(std::string("out-") + std::to_string(c.kind) + c.what[2]);
        EXPECT_EQ(GenerateFromFields(fields, choices), GenerationOutcome::Failed);
        // The block is chosen after the experiment was read: without one, that is said first.
        const std::size_t warned = c.kind == StandAloneOutput ? 0 : 1;
        ASSERT_EQ(sink.transcript().size(), 1u + warned) << testing::PrintToString(sink.transcriptLines());
        if (warned) {
            EXPECT_EQ(sink.transcript().front().lines.front(), "Could not open the experiment");
        }
        EXPECT_EQ(lastLines(), c.lines);
        EXPECT_TRUE(files(fields.outputDirectory).empty());
        std::string reason = c.lines.front();
        reason[0] = char(std::tolower(reason[0]));
        EXPECT_EQ(fields.status, "Nothing written: " + reason);
    }
}

TEST_F(DialogLogicTest, BlockGenerationsTakeTheChosenSubmodelAndStopSilentlyOnCancel)
{
    GeneratorFields fields = crankFields(SFunctionOutput);
    fields.submodel = "cr";
    fields.outputDirectory.clear();
    std::vector<int> progress;
    std::string proposedSubmodel;
    GenerationChoices choices;
    choices.chooseBlock = [&](const GeneratorModel& model, const BlockRequest& proposed) -> std::optional<BlockRequest> {
        proposedSubmodel = proposed.submodel;
        EXPECT_EQ(model.submodelNames, (std::vector<std::string>{"motor", "crank", "meter"}));
        return std::nullopt;
    };
    choices.chooseOutputDirectory = [&]() -> std::optional<std::string> {
        ADD_FAILURE() << "no folder is asked for after the chooser was cancelled";
        return std::nullopt;
    };
    EXPECT_EQ(GenerateFromFields(fields, choices, [&](int p) { progress.push_back(p); }),
              GenerationOutcome::Cancelled);
    EXPECT_EQ(proposedSubmodel, "cr");
    EXPECT_EQ(progress, (std::vector<int>{0, 20, 30}));
    EXPECT_TRUE(sink.transcript().empty());
    EXPECT_EQ(fields.submodel, "cr");
    EXPECT_EQ(fields.status, "Nothing written: no submodel was chosen");

    // chosen; the folder chooser cancelled after it: still nothing written, nothing said
    choices.chooseBlock = [](const GeneratorModel&, const BlockRequest&) -> std::optional<BlockRequest> {
        return BlockRequest{"crank", "crankmod"};
    };
    choices.chooseOutputDirectory = [] { return std::optional<std::string>(); };
    EXPECT_EQ(GenerateFromFields(fields, choices), GenerationOutcome::Cancelled);
    EXPECT_TRUE(sink.transcript().empty());
    EXPECT_EQ(fields.submodel, "crank") << "the chosen submodel is the next preset";
    EXPECT_EQ(fields.status, "Nothing written: no output directory was chosen");

    const std::string out = dir.mkdir("chosen");
    choices.chooseOutputDirectory = [&] { return std::optional<std::string>(out); };
    progress.clear();
    EXPECT_EQ(GenerateFromFields(fields, choices, [&](int p) { progress.push_back(p); }), GenerationOutcome::Written);
    EXPECT_EQ(progress, (std::vector<int>{0, 20, 30, 40, 50, 70, 80, 100}));
    EXPECT_EQ(fields.outputDirectory, out);
    EXPECT_EQ(files(out), (std::vector<std::string>{"crankmod.c", "xxmexfcs.c", "xxmextps.h"}));
    EXPECT_EQ(lastLines().front(), "S-Function code generated successfully");
    EXPECT_EQ(lastLines()[5], "    crankmod.c");
    EXPECT_EQ(fields.status, "S-function crankmod written to " + out + " (3 files)");

    // the folder chooser opens at the model's folder without its last '/'
    ASSERT_EQ(choosers.transcript().size(), 0u);
    choosers.answerFolder(out);
    EXPECT_EQ(BrowseForOutputFolder(7, fields.modelPath), out);
    ASSERT_EQ(choosers.transcript().size(), 1u);
    EXPECT_EQ(choosers.transcript()[0].folder.start, dir.path());
    EXPECT_EQ(choosers.transcript()[0].folder.owner, 7u);
    EXPECT_EQ(BrowseForOutputFolder(7, fields.modelPath), std::nullopt) << "cancelled";
}

TEST_F(DialogLogicTest, TheSubmodelChooserProposesTheLastLevelAndAskForACNameForAnSFunction)
{
    EXPECT_EQ(ProposedFunctionName(nullptr), "Noname");
    const std::string three = "rig`drive`motor";
    EXPECT_EQ(ProposedFunctionName(&three), "motor");
    const std::string one = "crank";
    EXPECT_EQ(ProposedFunctionName(&one), "crank");

    const std::vector<std::string> entries = {"pumpkin", "pump", "pump`valve", "rig", "rig`drive"};
    EXPECT_EQ(PresetEntry(entries, "pump"), 1) << "the submodel itself, not one that begins with its name";
    EXPECT_EQ(PresetEntry(entries, "rig`"), 4);
    EXPECT_EQ(PresetEntry(entries, "pu"), 0);
    EXPECT_EQ(PresetEntry(entries, "valve"), -1);
    EXPECT_EQ(PresetEntry(entries, ""), -1);

    EXPECT_TRUE(FunctionNameRefusal("crankmod", SFunctionOutput).empty());
    for (const char* name : {"../x", "int", "", "2x", "a-b"})
        EXPECT_EQ(FunctionNameRefusal(name, SFunctionOutput).front(),
                  "The function name " + std::string(name) + " is not a C name");
    EXPECT_TRUE(FunctionNameRefusal("any name", FunctionOutput).empty()) << "a function's name is only a comment";
}

TEST_F(DialogLogicTest, TheLogoSwapsPicturesAndGrowsOnlyTheFirstTime)
{
    LogoState logo;
    EXPECT_EQ(logo.up, LogoUp);
    EXPECT_TRUE(SwapLogoPictures(logo, true));
    EXPECT_EQ(logo.up, LogoRightUp);
    EXPECT_EQ(logo.down, LogoSwapDown);
    EXPECT_EQ(logo.sound, 130);
    EXPECT_FALSE(SwapLogoPictures(logo, false));
    EXPECT_EQ(logo.up, LogoLeftUp);
    EXPECT_EQ(logo.sound, 149);
}

} // namespace
