// The name chooser's logic over a table of controls: its categories, the
// names of a directory shown once each without boxes, the name chosen last,
// and the texts that refuse a confirmed name.
#include "common/name_chooser.h"

#include "common/settings_table.h"
#include "common/startup.h"
#include "fake_controls.h"
#include "platform/core/file_system.h"
#include "platform/core/message_sink.h"
#include "platform/testing/temp_dir.h"

#include <gtest/gtest.h>

namespace {

using Lines = std::vector<std::string>;

const Lines VersionLines{"The file name of a model exists of", "up to 7 characters for the name",
                         "followed by 1 character for the", "version number [1..9]."};

class NameChooserLogic : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetSettings();
        ResetStartup();
        models = dir.mkdir("models");
        extra = dir.mkdir("extra");
        for (const char* file : {"pump1.mgg", "pump1.mg0", "PUMP1.mg3", "pump2.mff", "valve1.sgg", "tank1.mgg",
                                 "notes.txt", "pump3.mga", ".mgg"})
            dir.write(std::string("models/") + file, "");
        dir.write("extra/lib1.sff", "");
        Settings().model_dirs = models + ";" + extra;
    }

    /// A chooser of category code 1 whose callback records what it gets.
    void request(NameChooser& chooser, int mode = 0)
    {
        ModelNameCategory category;
        FillModelNameCategory(category, 1);
        ASSERT_EQ(chooser.setRequest(category, ModelDisplayName,
                                     [](std::string_view name) { return CheckModelName(name); },
                                     [this](const std::string& d, const std::string& n) { chosen.emplace_back(d, n); },
                                     mode),
                  1);
    }

    testsupport::TempDir dir;
    std::string models, extra;
    FakeControls controls;
    std::vector<std::pair<std::string, std::string>> chosen;
    platform::ScriptedMessageSink boxes;
    platform::ScopedMessageSink scopedBoxes{boxes};
};

TEST_F(NameChooserLogic, CategoriesAreAliasesOrTheirDirectories)
{
    NameChooser chooser;
    Settings().alias_names = "project";
    request(chooser);
    EXPECT_EQ(chooser.categoryEntries(), (Lines{"project", extra}));
    Settings().alias_names = ";library";
    EXPECT_EQ(chooser.categoryEntries(), (Lines{models, "library"}));
    request(chooser, 4);
    EXPECT_EQ(chooser.categoryEntries(), Lines{"Models"});
    Settings().model_dirs = models;
    request(chooser);
    EXPECT_EQ(chooser.categoryEntries(), Lines{"Models"});

    ModelNameCategory none;
    EXPECT_EQ(chooser.setRequest(none, {}, {}, {}, 0), 0);
    EXPECT_EQ(boxes.transcriptLines(), Lines{"vvchoose_name: No categories given."});
}

TEST_F(NameChooserLogic, EachModelShowsOnceWithoutBoxesAndTheLastChoiceIsSelected)
{
    NameChooser chooser;
    request(chooser);
    chooser.fillCategories(controls);
    chooser.prepare(controls);
    // Variants show once, whatever the case of their letters; tank1's "tan" is
    // a reserved word: it is listed, and no box is shown for it.
    EXPECT_EQ(controls[ID_CHOOSER_LIST].items, (Lines{"pump1", "pump2", "tank1", "valve1"}));
    EXPECT_TRUE(boxes.transcript().empty());
    EXPECT_EQ(controls[ID_CHOOSER_LIST].selected, 0);
    EXPECT_EQ(controls[ID_CHOOSER_NAME].text, "pump1");
    EXPECT_TRUE(controls[ID_CHOOSER_NAME].enabled);
    EXPECT_EQ(controls[ID_CHOOSER_HINT].text, "Select name or enter new");
    EXPECT_TRUE(controls[ID_CHOOSER_CATEGORY].shown);

    controls.selectIndex(ID_CHOOSER_LIST, 1);
    chooser.namePicked(controls);
    EXPECT_EQ(controls[ID_CHOOSER_NAME].text, "pump2");
    EXPECT_EQ(chooser.accept(controls), 1);
    EXPECT_EQ(chosen, (std::vector<std::pair<std::string, std::string>>{{models, "pump2"}}));

    chooser.prepare(controls);
    EXPECT_EQ(controls[ID_CHOOSER_LIST].selected, 1);
    EXPECT_EQ(controls[ID_CHOOSER_NAME].text, "pump2");

    // The second category: names are picked, not typed.
    controls.selectIndex(ID_CHOOSER_CATEGORY, 1);
    chooser.categoryChanged(controls);
    EXPECT_EQ(controls[ID_CHOOSER_LIST].items, Lines{"lib1"});
    EXPECT_FALSE(controls[ID_CHOOSER_NAME].enabled);
    EXPECT_EQ(controls[ID_CHOOSER_HINT].text, "Select name in list");
    EXPECT_EQ(chooser.accept(controls), 1);
    EXPECT_EQ(chosen.back(), (std::pair<std::string, std::string>{extra, "lib1"}));
}

// A name to save under is not proposed from the list, not even the one chosen last: every
// name there is a model that saving would replace. The list still offers them to pick.
TEST_F(NameChooserLogic, ANameToSaveUnderIsNotProposedFromTheModelsOfTheDirectory)
{
    NameChooser chooser;
    request(chooser);
    chooser.prepare(controls);
    controls.selectIndex(ID_CHOOSER_LIST, 2);
    chooser.namePicked(controls);
    ASSERT_EQ(chooser.accept(controls), 1);
    ASSERT_EQ(chooser.lastChosenName(), "tank1");

    request(chooser, ChooserSaveMode);
    chooser.fillCategories(controls);
    chooser.prepare(controls);
    EXPECT_EQ(controls[ID_CHOOSER_LIST].items, (Lines{"pump1", "pump2", "tank1", "valve1"}));
    EXPECT_EQ(controls[ID_CHOOSER_LIST].selected, -1);
    EXPECT_EQ(controls[ID_CHOOSER_NAME].text, "");
    EXPECT_TRUE(controls[ID_CHOOSER_NAME].enabled);
    controls.selectIndex(ID_CHOOSER_LIST, 1);
    chooser.namePicked(controls);
    EXPECT_EQ(controls[ID_CHOOSER_NAME].text, "pump2");

    // Opening proposes as before.
    request(chooser, 2);
    chooser.prepare(controls);
    EXPECT_EQ(controls[ID_CHOOSER_NAME].text, "tank1");
}

TEST_F(NameChooserLogic, AConfirmedNameIsRefusedWithTheTextsThatSayWhy)
{
    NameChooser chooser;
    request(chooser);
    chooser.fillCategories(controls);
    chooser.prepare(controls);
    struct Case {
        const char* name;
        Lines lines;
    };
    const Case cases[] = {
        {"", {"No name chosen."}},
        {"pump", VersionLines},       // no version digit
        {"pumpxyzw1", VersionLines},  // one character too many
        {"pu-p1", {"Syntax error in chosen name", "at character number 3."}},
        {"sin1", {"\"sin\"", "is a reserverd word", "--", "Syntax error in chosen name", "at character number 1."}},
    };
    for (const Case& c : cases) {
        boxes.clear();
        controls[ID_CHOOSER_NAME].text = c.name;
        EXPECT_EQ(chooser.accept(controls), 0) << c.name;
        EXPECT_EQ(boxes.transcriptLines(), c.lines) << c.name;
        EXPECT_EQ(boxes.transcript().back().owner, controls.handle()) << c.name;
    }
    EXPECT_TRUE(chosen.empty());
    EXPECT_FALSE(chooser.hasChosen());
    // Closing gives the boxes back to the default owner.
    chooser.closed(controls.handle());
    EXPECT_NE(CurrentMessageOwner(), controls.handle());
}

TEST_F(NameChooserLogic, AnUnreadableDirectoryLeavesTheListHidden)
{
    NameChooser chooser;
    Settings().model_dirs = dir.file("gone") + ";" + models;
    request(chooser);
    chooser.prepare(controls);
    EXPECT_EQ(boxes.transcriptLines(), Lines{"Directory read error."});
    EXPECT_FALSE(controls[ID_CHOOSER_LIST].shown);
}

TEST(NameChooserHelpers, DisplayNamesCaptionsAndTheExperimentDirectory)
{
    std::string out;
    EXPECT_EQ(DefaultDisplayName(out, "run.one.r", 14), 1);
    EXPECT_EQ(out, "run.one");
    EXPECT_EQ(DefaultDisplayName(out, "abcdefghijklmnopq", 14), 1);
    EXPECT_EQ(out, "abcdefghijklmn");
    EXPECT_EQ(DefaultDisplayName(out, ".r", 14), 0);
    EXPECT_EQ(ModelDisplayName(out, "tank1.mgg", 14), 1);
    EXPECT_EQ(out, "tank1");
    EXPECT_EQ(ModelDisplayName(out, "noextension", 14), 0);

    EXPECT_EQ(ExperimentChooserCaption("Run Specifications of the model", "averylongmodelname"),
              "Run Specifications o: averylongmode");

    testsupport::TempDir dir;
    platform::ScriptedMessageSink boxes;
    platform::ScopedMessageSink scoped(boxes);
    ResetStartup();
    Startup().ExperimentDirectory = dir.path();
    EXPECT_EQ(PrepareExperimentDirectory("pump1"), dir.file("pump1"));
    EXPECT_TRUE(platform::isDirectory(dir.file("pump1")));
    dir.write("valve1", "");
    PrepareExperimentDirectory("valve1");
    EXPECT_EQ(boxes.transcriptLines(), Lines{"Error: could not create " + dir.file("valve1")});
}

} // namespace
