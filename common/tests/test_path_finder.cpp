// The path finder's logic over a table of controls: pairing and joining the
// two lists, the buttons' work on entries and list, the question before a
// missing directory is made, and the folder chooser.
#include "common/path_finder.h"

#include "common/settings_table.h"
#include "fake_controls.h"
#include "platform/core/choosers.h"
#include "platform/core/file_system.h"
#include "platform/core/message_sink.h"
#include "platform/testing/temp_dir.h"

#include <gtest/gtest.h>

#include <optional>

namespace {

using platform::BoxAnswer;
using Entries = std::vector<DirectoryEntry>;
using Lines = std::vector<std::string>;

TEST(PathFinderLists, EntriesPairByPositionAndJoinBack)
{
    struct Case {
        const char* directories;
        const char* aliases;
        Entries entries;
        const char* joinedDirectories;
        const char* joinedAliases;
    };
    const Case cases[] = {
        {"a;b", "x;y", {{"x", "a"}, {"y", "b"}}, "a;b", "x;y"},
        // Surplus directories are entries of their own, with no name.
        {"a;b;c", "x", {{"x", "a"}, {"", "b"}, {"", "c"}}, "a;b;c", "x;;"},
        // A name without a directory shows, but joins to nothing.
        {"a", "x;y", {{"x", "a"}, {"y", ""}}, "a", "x"},
        {"", "", {{"", ""}}, "", ""},
        {"", "work", {{"work", ""}}, "", ""},
        // One directory with a one-letter name, or none, is kept.
        {"/models", "x", {{"x", "/models"}}, "/models", "x"},
        {"/models", "", {{"", "/models"}}, "/models", ""},
    };
    for (const Case& c : cases) {
        const Entries entries = FillDirectoryList(c.directories, c.aliases);
        EXPECT_EQ(entries, c.entries) << c.directories << " | " << c.aliases;
        const auto [directories, aliases] = JoinDirectoryList(entries);
        EXPECT_EQ(directories, c.joinedDirectories) << c.directories;
        EXPECT_EQ(aliases, c.joinedAliases) << c.directories;
    }
}

class PathFinderButtons : public ::testing::Test {
protected:
    void SetUp() override { ResetSettings(); }

    /// A path finder on the lists; what its OK hands on goes to `result`.
    std::unique_ptr<PathFinder> open(const std::string& directories, const std::string& aliases)
    {
        auto finder = std::make_unique<PathFinder>(
            controls,
            [this](const std::string& d, const std::string& a, int save) {
                result = {d, a, save};
                return accept;
            },
            directories, aliases);
        finder->activate();
        return finder;
    }

    /// The list box's texts.
    const std::vector<std::string>& items() { return controls[ID_FINDER_LIST].items; }
    void select(PathFinder& finder, int index)
    {
        controls.selectIndex(ID_FINDER_LIST, index);
        finder.selectionChanged();
    }

    struct Result {
        std::string directories, aliases;
        int save = -1;
    };
    FakeControls controls;
    std::optional<Result> result;
    int accept = 1;
    platform::ScriptedMessageSink boxes;
    platform::ScopedMessageSink scopedBoxes{boxes};
    testsupport::TempDir dir;
};

TEST_F(PathFinderButtons, TheSelectedEntryDecidesEditsButtonsAndDescription)
{
    auto finder = open("/w;/x;/y", "work;extra;more");
    EXPECT_EQ(items(), (std::vector<std::string>{"work", "extra", "more"}));
    EXPECT_EQ(controls[ID_FINDER_NAME].text, "work");
    EXPECT_EQ(controls[ID_FINDER_PATH].text, "/w");
    EXPECT_EQ(controls[ID_FINDER_DESCRIPTION].text, "working directory: reading/writing models and results");
    EXPECT_FALSE(controls[ID_FINDER_UP].enabled);
    EXPECT_TRUE(controls[ID_FINDER_DOWN].enabled);

    select(*finder, 2);
    EXPECT_EQ(controls[ID_FINDER_DESCRIPTION].text, "directory to read extra (sub)models from");
    EXPECT_TRUE(controls[ID_FINDER_UP].enabled);
    EXPECT_FALSE(controls[ID_FINDER_DOWN].enabled);

    // Delete of the last selects the new last; of the only one leaves nothing to edit.
    finder->remove();
    EXPECT_EQ(items(), (std::vector<std::string>{"work", "extra"}));
    EXPECT_EQ(controls[ID_FINDER_LIST].selected, 1);
    EXPECT_EQ(finder->current(), 1);
    finder->remove();
    finder->remove();
    EXPECT_TRUE(items().empty());
    EXPECT_EQ(finder->current(), -1);
    for (int id : {ID_FINDER_DELETE, ID_FINDER_UP, ID_FINDER_DOWN, ID_FINDER_NAME, ID_FINDER_PATH})
        EXPECT_FALSE(controls[id].enabled) << id;
    EXPECT_EQ(controls[ID_FINDER_PATH].text, "");
    EXPECT_EQ(controls[ID_FINDER_DESCRIPTION].text, "");

    // Add with nothing selected appends.
    finder->add();
    EXPECT_EQ(items(), (std::vector<std::string>{"New Directory"}));
    EXPECT_EQ(finder->entries(), (Entries{{"New Directory", ""}}));
    EXPECT_TRUE(controls[ID_FINDER_PATH].enabled);
}

TEST_F(PathFinderButtons, EditsAreKeptWhenAnotherEntryIsShown)
{
    const std::string a = dir.mkdir("a"), b = dir.mkdir("b"), c = dir.mkdir("c");
    auto finder = open(a + ";" + b, "first;second");
    controls[ID_FINDER_NAME].text = "renamed";
    controls[ID_FINDER_PATH].text = c;
    select(*finder, 1);
    EXPECT_EQ(finder->entries()[0], (DirectoryEntry{"renamed", c}));
    EXPECT_EQ(items()[0], "renamed");
    EXPECT_EQ(controls[ID_FINDER_PATH].text, b);

    // What was typed before Add is not lost; the new entry goes before the selected one.
    controls[ID_FINDER_NAME].text = "typed";
    finder->add();
    EXPECT_EQ(finder->entries(), (Entries{{"renamed", c}, {"New Directory", ""}, {"typed", b}}));
    EXPECT_EQ(items(), (std::vector<std::string>{"renamed", "New Directory", "typed"}));
    EXPECT_EQ(controls[ID_FINDER_LIST].selected, 1);

    // An empty path edit leaves the entry as it was.
    controls[ID_FINDER_NAME].text = "nameless";
    select(*finder, 0);
    EXPECT_EQ(finder->entries()[1], (DirectoryEntry{"New Directory", ""}));

    // Up and Down keep the edits and move list item and entry together.
    select(*finder, 2);
    controls[ID_FINDER_NAME].text = "moved";
    finder->up();
    EXPECT_EQ(finder->entries(), (Entries{{"renamed", c}, {"moved", b}, {"New Directory", ""}}));
    EXPECT_EQ(items(), (std::vector<std::string>{"renamed", "moved", "New Directory"}));
    EXPECT_EQ(controls[ID_FINDER_LIST].selected, 1);
    finder->up();
    EXPECT_EQ(finder->entries()[0], (DirectoryEntry{"moved", b}));
    EXPECT_EQ(controls[ID_FINDER_DESCRIPTION].text, "working directory: reading/writing models and results");
    finder->down();
    finder->down();
    EXPECT_EQ(finder->entries(), (Entries{{"renamed", c}, {"New Directory", ""}, {"moved", b}}));
    EXPECT_EQ(controls[ID_FINDER_LIST].selected, 2);
    EXPECT_TRUE(boxes.transcript().empty());

    // OK joins what the window shows; an entry without a path is left out.
    EXPECT_EQ(finder->ok(1), 1);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->directories, c + ";" + b);
    EXPECT_EQ(result->aliases, "renamed;moved");
    EXPECT_EQ(result->save, 1);
    accept = 0;
    EXPECT_EQ(finder->ok(0), 0);
    EXPECT_EQ(result->save, 0);
}

TEST_F(PathFinderButtons, AMissingDirectoryIsMadeAfterTheQuestionAndStoredWhateverTheAnswer)
{
    const std::string work = dir.mkdir("work");
    auto finder = open(work, "work");
    const std::string wanted = dir.file("new/models");
    controls[ID_FINDER_PATH].text = wanted;
    boxes.queueAnswers({BoxAnswer::Ok});
    EXPECT_EQ(finder->ok(1), 1);
    EXPECT_EQ(boxes.transcriptLines(),
              (Lines{"The given directory", wanted, "does not exist, do you wish to create it?"}));
    EXPECT_EQ(boxes.transcript()[0].owner, controls.handle());
    EXPECT_TRUE(platform::isDirectory(wanted));
    EXPECT_EQ(result->directories, wanted);

    boxes.clear();
    const std::string refused = dir.file("refused");
    controls[ID_FINDER_PATH].text = refused;
    boxes.queueAnswers({BoxAnswer::Cancel});
    EXPECT_EQ(finder->ok(1), 1);
    EXPECT_FALSE(platform::fileExists(refused));
    EXPECT_EQ(result->directories, refused);

    boxes.clear();
    const std::string impossible = dir.write("file", "") + "/below";
    controls[ID_FINDER_PATH].text = impossible;
    boxes.queueAnswers({BoxAnswer::Ok});
    finder->ok(1);
    EXPECT_EQ(boxes.transcriptLines(),
              (Lines{"The given directory", impossible, "does not exist, do you wish to create it?", "--",
                     "Unable to create given directory", "The file system may not be writable"}));
    EXPECT_EQ(result->directories, impossible);
}

TEST_F(PathFinderButtons, BrowseStartsAtThePathOrTheWorkingDirectory)
{
    platform::ScriptedChooserSink choosers;
    platform::ScopedChooserSink scopedChoosers(choosers);
    Settings().model_dirs = "/first;/second";
    auto finder = open("", "");
    choosers.answerFolder(std::string("/chosen"));
    finder->browse();
    EXPECT_EQ(controls[ID_FINDER_PATH].text, "/chosen");
    choosers.answerFolder(std::nullopt);
    finder->browse();
    EXPECT_EQ(controls[ID_FINDER_PATH].text, "/chosen");
    ASSERT_EQ(choosers.transcript().size(), 2u);
    EXPECT_EQ(choosers.transcript()[0].folder.start, "/first");
    EXPECT_EQ(choosers.transcript()[1].folder.start, "/chosen");
    EXPECT_EQ(choosers.transcript()[1].folder.owner, controls.handle());
}

} // namespace
