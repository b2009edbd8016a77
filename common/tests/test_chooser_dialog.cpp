// The name chooser's window: the models of a directory once each, the name
// chosen last selected again, names refused with their texts while the
// window stays, and one window however often it is asked for.
#include "common/dialog_fonts.h"
#include "common/name_chooser_dialog.h"
#include "common/settings_table.h"
#include "common/startup.h"
#include "platform/core/message_sink.h"
#include "common/tests/clipped_controls.h"
#include "platform/testing/qt_support.h"
#include "platform/testing/temp_dir.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

namespace {

using namespace platform;
using Lines = std::vector<std::string>;

class ChooserWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        testsupport::testApplication();
        ResetSettings();
        ResetStartup();
        models = dir.mkdir("models");
        library = dir.mkdir("library");
        for (const char* file : {"pump1.mgg", "pump1.mg0", "pump1.mg3", "pump2.mgg", "motor1.mff", "sin1.mgg",
                                 "readme.txt"})
            dir.write(std::string("models/") + file, "");
        dir.write("library/gear1.sgg", "");
        Settings().model_dirs = models + ";" + library;
        Settings().alias_names = "project";
    }
    void TearDown() override
    {
        ChooserClosed();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        DeleteDialogFonts();
    }

    int open()
    {
        return ChooseModelName(nullptr, "GE: Open Model", 1,
                               [this](const std::string& d, const std::string& n) { chosen.emplace_back(d, n); }, 0);
    }
    static Lines listed(TQNFileDialog& window)
    {
        Lines names;
        for (int i = 0; i < window.itemCount(ID_CHOOSER_LIST); ++i)
            names.push_back(window.itemText(ID_CHOOSER_LIST, i));
        return names;
    }
    void confirm(TQNFileDialog& window, const char* typed)
    {
        auto* edit = testsupport::findControl<QLineEdit>(window, ID_CHOOSER_NAME);
        edit->clear();
        QTest::keyClicks(edit, typed);
        QTest::mouseClick(window.control(ID_CHOOSER_OK), Qt::LeftButton);
    }

    testsupport::TempDir dir;
    std::string models, library;
    std::vector<std::pair<std::string, std::string>> chosen;
    ScriptedMessageSink boxes;
    ScopedMessageSink scopedBoxes{boxes};
};

TEST_F(ChooserWindow, ListsEachModelOncePreselectsTheLastNameAndRefusesBadNames)
{
    ASSERT_EQ(open(), 1);
    TQNFileDialog* window = NameChooserWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->windowTitle(), "GE: Open Model");
    EXPECT_EQ(listed(*window), (Lines{"motor1", "pump1", "pump2", "sin1"}));
    EXPECT_TRUE(boxes.transcript().empty()); // sin1's reserved word is not reported while listing
    auto* categories = testsupport::findControl<QComboBox>(*window, ID_CHOOSER_CATEGORY);
    ASSERT_NE(categories, nullptr);
    EXPECT_FALSE(categories->isHidden());
    ASSERT_EQ(categories->count(), 2);
    EXPECT_EQ(categories->itemText(0).toStdString(), "project");
    EXPECT_EQ(categories->itemText(1).toStdString(), library); // no alias: its directory
    EXPECT_EQ(window->text(ID_CHOOSER_NAME), "motor1");
    EXPECT_EQ(window->text(ID_CHOOSER_HINT), "Select name or enter new");
    testsupport::grabToPng(*window, "name_chooser");
    EXPECT_EQ(testsupport::clippedControls(*window), std::vector<std::string>{}) << "name_chooser";

    // A reserved word and a name without its version digit are refused; the window stays.
    confirm(*window, "sin1");
    EXPECT_EQ(boxes.transcriptLines(),
              (Lines{"\"sin\"", "is a reserverd word", "--", "Syntax error in chosen name", "at character number 1."}));
    EXPECT_EQ(boxes.transcript().back().owner, window->handle());
    boxes.clear();
    confirm(*window, "pumps");
    EXPECT_EQ(boxes.transcriptLines(), (Lines{"The file name of a model exists of", "up to 7 characters for the name",
                                              "followed by 1 character for the", "version number [1..9]."}));
    EXPECT_EQ(NameChooserWindow(), window);
    EXPECT_TRUE(chosen.empty());

    // A double click takes the name and closes the chooser.
    auto* list = testsupport::findControl<QListWidget>(*window, ID_CHOOSER_LIST);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    QListWidgetItem* pump2 = list->item(2);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(pump2).center());
    EXPECT_EQ(window->text(ID_CHOOSER_NAME), "pump2");
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(pump2).center());
    EXPECT_EQ(chosen, (std::vector<std::pair<std::string, std::string>>{{models, "pump2"}}));
    EXPECT_EQ(NameChooserWindow(), nullptr);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    // Reopened, the last name is selected.
    ASSERT_EQ(open(), 1);
    window = NameChooserWindow();
    EXPECT_EQ(window->selectedIndex(ID_CHOOSER_LIST), 2);
    EXPECT_EQ(window->text(ID_CHOOSER_NAME), "pump2");
}

TEST_F(ChooserWindow, OneWindowIsRefreshedAndTheOtherCategoriesAreOnlyPickedFrom)
{
    ASSERT_EQ(open(), 1);
    TQNFileDialog* window = NameChooserWindow();
    auto* categories = testsupport::findControl<QComboBox>(*window, ID_CHOOSER_CATEGORY);
    categories->setCurrentIndex(1);
    emit categories->activated(1);
    EXPECT_EQ(listed(*window), Lines{"gear1"});
    EXPECT_FALSE(window->control(ID_CHOOSER_NAME)->isEnabled());
    EXPECT_EQ(window->text(ID_CHOOSER_HINT), "Select name in list");
    QTest::mouseClick(window->control(ID_CHOOSER_OK), Qt::LeftButton);
    EXPECT_EQ(chosen.back(), (std::pair<std::string, std::string>{library, "gear1"}));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    dir.write("models/valve1.mgg", "");
    ASSERT_EQ(open(), 1);
    window = NameChooserWindow();
    Startup().ExperimentDirectory = dir.path();
    ASSERT_EQ(ChooseExperimentName(nullptr, "SIM: Open Experiment", "pump1", {}, 5), 1);
    EXPECT_EQ(NameChooserWindow(), window);
    EXPECT_EQ(window->windowTitle(), "SIM: Open Experiment: pump1");
    EXPECT_EQ(window->itemCount(ID_CHOOSER_CATEGORY), 2); // made once, kept while the window lives
    int visible = 0;
    for (QWidget* widget : QApplication::topLevelWidgets())
        visible += widget->objectName() == "DLG_FILE" && widget->isVisible();
    EXPECT_EQ(visible, 1);

    // Cancel closes without an answer.
    const std::size_t before = chosen.size();
    QTest::mouseClick(window->control(ID_CHOOSER_CANCEL), Qt::LeftButton);
    EXPECT_EQ(NameChooserWindow(), nullptr);
    EXPECT_EQ(chosen.size(), before);
}

} // namespace
