// The property pages' logic over a table of controls: filling and accepting
// every kind of row, the directory markers and their creation, saving to the
// file that was read, and the path finder's lists taken by the general page.
#include "common/property_pages.h"

#include "common/startup.h"
#include "fake_controls.h"
#include "platform/core/file_system.h"
#include "platform/core/message_sink.h"
#include "platform/testing/temp_dir.h"

#include <gtest/gtest.h>

#include <array>

namespace {

using platform::BoxAnswer;
using Lines = std::vector<std::string>;

const std::string MissingStatus = "The directories marked with '<' do not exist.";

class PropertyPages : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetSettings();
        ResetStartup();
        for (int section = 0; section < PropertySectionCount; ++section)
            AttachPropertyPage(section, &pages[static_cast<std::size_t>(section)]);
        SetGraphEditorApplyCallback({});
        SetSimulatorApplyCallback({});
        SetDirectoryListCallback({});
        PrinterCheckFlag() = 0;
    }
    void TearDown() override
    {
        for (int section = 0; section < PropertySectionCount; ++section)
            AttachPropertyPage(section, nullptr);
    }

    FakeControls& page(int section) { return pages[static_cast<std::size_t>(section)]; }

    std::array<FakeControls, PropertySectionCount> pages;
    platform::ScriptedMessageSink boxes;
    platform::ScopedMessageSink scopedBoxes{boxes};
    testsupport::TempDir dir;
};

TEST_F(PropertyPages, FillShowsTheTableAndAcceptTakesEveryKindOfRowBack)
{
    SettingsValues& v = Settings();
    v.def_bond_size = "n+1";
    v.grid_snap_size = 2;
    v.grid = 0;
    v.messages = 1;
    v.linewidth = 3;
    v.warp = 0;
    for (int section = 0; section < PropertySectionCount; ++section)
        FillPropertyPage(section);

    FakeControls& ge = page(GraphEditorSection);
    EXPECT_EQ(ge[620].text, "n+1");
    EXPECT_EQ(ge[620].allSelected, 1); // the first row's text is selected for typing over
    EXPECT_EQ((std::array{ge[621].checked, ge[622].checked, ge[623].checked, ge[624].checked}),
              (std::array{false, false, true, false}));
    EXPECT_FALSE(ge[625].checked);
    EXPECT_TRUE(ge[626].checked);
    FakeControls& sim = page(SimulatorSection);
    EXPECT_TRUE(sim[574].checked);
    EXPECT_FALSE(sim[568].checked);
    EXPECT_FALSE(sim[576].checked);
    EXPECT_TRUE(page(ModelProcessorSection)[573].checked);

    // The user's edits: a new size, another grid, a box unchecked, and the
    // line width's radios all unchecked, which keeps the value as it was.
    ge[620].text = "5";
    ge[623].checked = false;
    ge[624].checked = true;
    ge[626].checked = false;
    for (int id : {568, 571, 573, 574})
        sim[id].checked = false;
    sim[576].checked = true;
    EXPECT_EQ(AcceptProperties(GraphEditorSection), 0);
    EXPECT_EQ(AcceptProperties(SimulatorSection), 0);
    EXPECT_EQ(v.def_bond_size, "5");
    EXPECT_EQ(v.grid_snap_size, 3);
    EXPECT_EQ(v.snap, 0);
    EXPECT_EQ(v.linewidth, 3);
    EXPECT_EQ(v.warp, 1);
    EXPECT_TRUE(boxes.transcript().empty());

    // A page that was never made is skipped by both.
    AttachPropertyPage(EquationEditorSection, nullptr);
    v.ee_messages = 1;
    FillPropertyPage(EquationEditorSection);
    EXPECT_EQ(AcceptProperties(EquationEditorSection), 0);
    EXPECT_EQ(v.ee_messages, 1);
}

TEST_F(PropertyPages, GeneralPageMarksMissingDirectoriesAndCreatesEveryLevel)
{
    const std::string models = dir.mkdir("Models"); // upper case: the name is taken as it stands
    const std::string deep = dir.file("new/levels/here");
    Settings().model_dirs = models + ";" + deep;
    Settings().alias_names = "project;extra";
    FakeControls& general = page(GeneralSection);
    general[ID_GENERAL_CREATE].enabled = false;
    FillPropertyPage(GeneralSection);
    EXPECT_EQ(general[ID_GENERAL_DIRECTORIES].text, Settings().model_dirs);
    EXPECT_EQ(general[ID_GENERAL_ALIASES].text, "project;extra");
    EXPECT_EQ(general[ID_GENERAL_MARKER].text, "<");
    EXPECT_EQ(general[ID_PAGE_STATUS].text, MissingStatus);
    EXPECT_TRUE(general[ID_GENERAL_CREATE].enabled);
    EXPECT_EQ(AcceptProperties(GeneralSection), 1);

    EXPECT_EQ(CreateMarkedDirectories(), 1);
    EXPECT_TRUE(platform::isDirectory(deep));
    EXPECT_FALSE(platform::isDirectory(dir.file("models")));
    EXPECT_EQ(general[ID_GENERAL_MARKER].text, "");
    EXPECT_EQ(general[ID_PAGE_STATUS].text, "");
    EXPECT_FALSE(general[ID_GENERAL_CREATE].enabled);
    EXPECT_EQ(AcceptProperties(GeneralSection), 0);

    // A level that is a file cannot become a directory.
    const std::string file = dir.write("plain", "x");
    general[ID_GENERAL_DIRECTORIES].text = models + ";" + file + "/below";
    EXPECT_EQ(AcceptProperties(GeneralSection), 1);
    EXPECT_EQ(CreateMarkedDirectories(), 0);
    EXPECT_EQ(general[ID_GENERAL_MARKER].text, "<");
    EXPECT_EQ(general[ID_PAGE_STATUS].text, "Unable to create the '<' marked directories.");
}

TEST_F(PropertyPages, AcceptOfTheGeneralPageMovesTheWorkingDirectoriesButNeverEmptiesThem)
{
    const std::string first = dir.mkdir("first");
    const std::string second = dir.mkdir("second");
    int changed = 0;
    SetDirectoryListCallback([&] { ++changed; });
    FakeControls& general = page(GeneralSection);
    general[ID_GENERAL_DIRECTORIES].text = second + ";" + first;
    general[ID_GENERAL_ALIASES].text = "b;a";
    EXPECT_EQ(AcceptProperties(GeneralSection), 0);
    const StartupValues& s = Startup();
    for (const std::string* d : {&s.WorkingDirectory, &s.ExperimentDirectory, &s.ResultDirectory,
                                 &s.ProcessedDirectory})
        EXPECT_EQ(*d, second);
    EXPECT_EQ(changed, 1);

    general[ID_GENERAL_DIRECTORIES].text = "";
    EXPECT_EQ(AcceptProperties(GeneralSection), 1);
    EXPECT_EQ(Settings().model_dirs, second + ";" + first);
    EXPECT_EQ(s.WorkingDirectory, second);
    EXPECT_EQ(s.ProcessedDirectory, second);
    EXPECT_EQ(general[ID_PAGE_STATUS].text, "The list of model directories is empty.");
    EXPECT_EQ(changed, 1);
}

TEST_F(PropertyPages, SaveWritesTheFileThatWasReadKeepingItsOtherLines)
{
    const std::string install = dir.mkdir("install");
    const std::string work = dir.mkdir("work");
    const std::string settings = dir.write("install/orvanta.ini", "; kept comment\n[General]\nmodel_dirs=" +
                                                                      work + "\n[Graph Editor]\ngrid=1\n"
                                                                      "[Plotter]\nmode=2\n");
    testsupport::ScopedCurrentDirectory inWork(work);
    Startup().StartupDirectory = install;
    ASSERT_EQ(StartupSettings({"PROGRAM.EXE"}, 1, ShowConfirmLines), 1);
    ASSERT_EQ(Startup().SettingsFileRead, settings);

    FillPropertyPage(GraphEditorSection);
    page(GraphEditorSection)[625].checked = false;
    EXPECT_EQ(SavePropertyPage(GraphEditorSection), 1);
    EXPECT_EQ(page(GraphEditorSection)[ID_PAGE_STATUS].text, "Properties saved.");
    EXPECT_FALSE(platform::fileExists(work + "/orvanta.ini"));
    const std::string written = testsupport::readText(settings);
    EXPECT_NE(written.find("; kept comment\n"), std::string::npos);
    EXPECT_NE(written.find("grid=0\n"), std::string::npos);
    EXPECT_NE(written.find("[Plotter]\nmode=2\n"), std::string::npos);
    // Programs started from here still get the name as it was given.
    EXPECT_EQ(Startup().SettingsFileName, "orvanta.ini");
}

TEST_F(PropertyPages, SaveAsksAfterErrorsAndReportsAFileItCannotWrite)
{
    const std::string settings = dir.write("orvanta.ini", "[General]\nmodel_dirs=x\n");
    Startup().SettingsFileRead = settings;
    FakeControls& general = page(GeneralSection);
    general[ID_GENERAL_DIRECTORIES].text = dir.file("missing");
    general[ID_GENERAL_ALIASES].text = "m";

    boxes.queueAnswers({BoxAnswer::Cancel});
    EXPECT_EQ(SavePropertyPage(GeneralSection), 0);
    EXPECT_EQ(boxes.transcriptLines(),
              (Lines{"There are errors in the properties", "You can either Cancel this action",
                     "and enter the correct properties,", "or save the incorrect properties", "by pressing OK."}));
    EXPECT_EQ(boxes.transcript()[0].owner, general.handle());
    EXPECT_EQ(testsupport::readText(settings), "[General]\nmodel_dirs=x\n");
    EXPECT_EQ(general[ID_GENERAL_MARKER].text, "<");

    boxes.clear();
    boxes.queueAnswers({BoxAnswer::Ok});
    EXPECT_EQ(SavePropertyPage(GeneralSection), 1);
    EXPECT_NE(testsupport::readText(settings).find("model_dirs=" + dir.file("missing")), std::string::npos);

    boxes.clear();
    Startup().SettingsFileRead = dir.file("gone/orvanta.ini");
    general[ID_GENERAL_DIRECTORIES].text = dir.path();
    EXPECT_EQ(SavePropertyPage(GeneralSection), 0);
    EXPECT_EQ(boxes.transcriptLines(), (Lines{"Can not open rcfile for writing:", dir.file("gone/orvanta.ini")}));

    // Without a file read, a save goes where the start-up would have made one.
    Startup().SettingsFileRead.clear();
    EXPECT_EQ(SettingsFileToWrite(), platform::joinPath(platform::settingsDirectory(), "orvanta.ini"));
    Startup().SettingsFileName = "/etc/elsewhere.ini";
    EXPECT_EQ(SettingsFileToWrite(), "/etc/elsewhere.ini");
}

TEST_F(PropertyPages, ProgramCallbacksAndThePrinterCheck)
{
    Startup().SettingsFileRead = dir.write("orvanta.ini", "");
    int simulatorCalls = 0;
    SetGraphEditorApplyCallback([] { return 0; });
    SetSimulatorApplyCallback([&] { ++simulatorCalls; });
    FillPropertyPage(GraphEditorSection);
    EXPECT_EQ(AcceptPropertyPage(GraphEditorSection), 0);
    EXPECT_EQ(page(GraphEditorSection)[ID_PAGE_STATUS].text, "Error in Multibond/signal Size expression");

    FakeControls& sim = page(SimulatorSection);
    sim[ID_SIMULATOR_PRINTER_CHECK].checked = false;
    EXPECT_EQ(AcceptPropertyPage(SimulatorSection), 1);
    EXPECT_EQ(PrinterCheckFlag(), 0); // accept does not keep it
    EXPECT_EQ(SavePropertyPage(SimulatorSection), 1);
    EXPECT_EQ(PrinterCheckFlag(), 1);
    EXPECT_EQ(simulatorCalls, 2);

    Startup().ProcessingBase = 2;
    EXPECT_EQ(AcceptPropertyPage(ModelProcessorSection), 1);
    EXPECT_EQ(Startup().ProcessingDepth, 5);
}

TEST_F(PropertyPages, DirectoryListsFromThePathFinderAreAcceptedOrSaved)
{
    const std::string settings = dir.write("orvanta.ini", "[General]\n");
    Startup().SettingsFileRead = settings;
    const std::string a = dir.mkdir("a");
    EXPECT_EQ(ApplyDirectoryLists(a, "first", 0), 1);
    EXPECT_EQ(Settings().alias_names, "first");
    EXPECT_EQ(testsupport::readText(settings), "[General]\n");
    EXPECT_EQ(ApplyDirectoryLists(a, "renamed", 1), 1);
    EXPECT_NE(testsupport::readText(settings).find("alias_names=renamed"), std::string::npos);
    EXPECT_EQ(ApplyDirectoryLists("", "", 0), 0);
    EXPECT_EQ(Settings().model_dirs, a);

    AttachPropertyPage(GeneralSection, nullptr);
    EXPECT_EQ(ApplyDirectoryLists(a, "x", 0), 0);
}

TEST_F(PropertyPages, WorkDirectoriesAreMadeWhenMissing)
{
    StartupValues& s = Startup();
    s.WorkingDirectory = dir.path();
    s.ExperimentDirectory = dir.file("exp/deep");
    s.ResultDirectory = dir.file("results");
    s.ProcessedDirectory = dir.path();
    EXPECT_EQ(EnsureWorkDirectories(), 1);
    EXPECT_TRUE(platform::isDirectory(dir.file("exp/deep")));
    s.ResultDirectory = dir.write("results.txt", "");
    EXPECT_EQ(EnsureWorkDirectories(), 0);
    s.ResultDirectory.clear();
    EXPECT_EQ(EnsureWorkDirectories(), 0);
}

} // namespace
