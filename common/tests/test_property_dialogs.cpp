// The property pages and the path finder as windows: a save writes the file
// that was read and another program of the suite reads the new values on
// the broadcast; the path finder round-trips the lists, makes a missing
// directory after asking, and neither broadcasts nor closes when the save
// fails.
#include "common/dialog_fonts.h"
#include "common/path_finder_dialog.h"
#include "common/property_dialogs.h"
#include "common/startup.h"
#include "platform/core/file_system.h"
#include "platform/core/message_sink.h"
#include "platform/core/program_start.h"
#include "platform/core/window_messages.h"
#include "common/tests/clipped_controls.h"
#include "platform/testing/qt_support.h"
#include "platform/testing/temp_dir.h"
#include "platform/tests/window_peer_protocol.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QRadioButton>
#include <QLineEdit>
#include <QListWidget>
#include <QTest>

namespace {

using namespace platform;
using Lines = std::vector<std::string>;

/// A registered window of this process that keeps what reaches it.
class Inbox {
public:
    Inbox()
    {
        m_window = createWindow([this](const Message& m) { received.push_back(m); });
        registerTopLevelWindow(m_window, "TQNSettingsInbox");
    }
    ~Inbox() { destroyWindow(m_window); }
    WindowHandle window() const { return m_window; }
    /// The first message received of that number, waiting for it; taken out.
    std::optional<Message> take(MessageNumber number, int timeoutMs = 10000)
    {
        std::optional<Message> found;
        (void)QTest::qWaitFor(
            [&] {
                for (auto it = received.begin(); it != received.end(); ++it)
                    if (it->number == number) {
                        found = *it;
                        received.erase(it);
                        return true;
                    }
                return false;
            },
            timeoutMs);
        return found;
    }
    int count(MessageNumber number) const
    {
        return static_cast<int>(std::count_if(received.begin(), received.end(),
                                              [&](const Message& m) { return m.number == number; }));
    }
    std::vector<Message> received;

private:
    WindowHandle m_window = 0;
};

class PropertyWindows : public ::testing::Test {
protected:
    void SetUp() override
    {
        testsupport::testApplication();
        ResetSettings();
        ResetStartup();
        PrinterCheckFlag() = 0;
        install = dir.mkdir("install");
        work = dir.mkdir("work");
        models = dir.mkdir("models");
        library = dir.mkdir("library");
        settings = dir.write("install/orvanta.ini",
                             "; the user's own notes\n[General]\nmodel_dirs=" + models + ";" + library +
                                 "\nalias_names=project;library\n[Graph Editor]\ndef_bond_size=3\n"
                                 "grid_snap_size=0\ngrid=1\nsnap=1\nshowname=1\n[Equation Editor]\nee_messages=0\n"
                                 "[Model Processor]\nmessages=2\ntempfiles=0\n[Simulator]\nmode=0\nsim_grid=1\n"
                                 "colors=1\ndashing=0\nlinewidth=0\nwarp=1\n[Plotter]\ncolour=blue\n");
    }
    void TearDown() override
    {
        DestroyPathFinderWindow();
        for (int section = 0; section < PropertySectionCount; ++section)
            if (PropertyPageDialog* page = PropertyPageWindow(section))
                page->endDialog(IDCANCEL);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        DeleteDialogFonts();
    }

    /// The start-up as a program makes it: the file is found beside the program, not in the current directory.
    void startUp()
    {
        testsupport::ScopedCurrentDirectory inWork(work);
        Startup().StartupDirectory = install;
        ASSERT_EQ(StartupSettings({"PROGRAM.EXE"}, 1, ShowConfirmLines), 1);
        ASSERT_EQ(Startup().SettingsFileRead, settings);
    }

    /// A click where a button reacts: its middle, or a check box's or radio's box.
    static void click(Dialog& dialog, int id)
    {
        QWidget* control = dialog.control(id);
        const bool boxed = qobject_cast<QCheckBox*>(control) || qobject_cast<QRadioButton*>(control);
        QTest::mouseClick(control, Qt::LeftButton, {},
                          boxed ? QPoint(6, control->height() / 2) : control->rect().center());
    }

    testsupport::TempDir dir;
    std::string install, work, models, library, settings;
    ScriptedMessageSink boxes;
    ScopedMessageSink scopedBoxes{boxes};
};

/// "key=value" lines as a program reports its values.
std::string valueOf(const std::string& lines, const std::string& key)
{
    const std::size_t at = lines.find(key + "=");
    if (at == std::string::npos)
        return "<none>";
    const std::size_t start = at + key.size() + 1;
    return lines.substr(start, lines.find('\n', start) - start);
}

TEST_F(PropertyWindows, ASaveIsReadAgainByAnotherProgramOfTheSuite)
{
    startUp();
    Inbox inbox;
    const std::optional<pid_t> peer = startProgram(SETTINGS_PEER_PATH, {std::to_string(inbox.window()), settings});
    ASSERT_TRUE(peer);
    const std::optional<Message> ready = inbox.take(kPeerReady);
    ASSERT_TRUE(ready);
    EXPECT_EQ(valueOf(ready->text.value_or(""), "grid"), "1");

    // The general page: new lists in its edits, then Set Default.
    const std::string added = dir.mkdir("added");
    ASSERT_EQ(CreateGeneralPropertiesPage(nullptr), 1);
    PropertyPageDialog* general = PropertyPageWindow(GeneralSection);
    FillPropertyPage(GeneralSection);
    general->showModeless();
    EXPECT_EQ(general->text(ID_GENERAL_DIRECTORIES), models + ";" + library);
    testsupport::grabToPng(*general, "general_properties");
    EXPECT_EQ(testsupport::clippedControls(*general), std::vector<std::string>{}) << "general_properties";
    general->setText(ID_GENERAL_DIRECTORIES, added + ";" + models);
    general->setText(ID_GENERAL_ALIASES, "added;project");
    click(*general, ID_PAGE_SAVE);
    EXPECT_EQ(PropertyPageWindow(GeneralSection), nullptr); // saved: closed
    EXPECT_TRUE(boxes.transcript().empty());
    std::optional<Message> echo = inbox.take(kPeerEcho);
    ASSERT_TRUE(echo);
    EXPECT_EQ(echo->wParam, UM_SETTINGS_CHANGED);
    EXPECT_EQ(valueOf(*echo->text, "model_dirs"), added + ";" + models);
    EXPECT_EQ(valueOf(*echo->text, "alias_names"), "added;project");
    EXPECT_EQ(valueOf(*echo->text, "working"), added);
    EXPECT_EQ(Startup().WorkingDirectory, added);

    // The file written is the one read, the user's other lines kept.
    EXPECT_FALSE(fileExists(work + "/orvanta.ini"));
    const std::string written = testsupport::readText(settings);
    EXPECT_EQ(written.rfind("; the user's own notes\n[General]\n", 0), 0u);
    EXPECT_NE(written.find("[Plotter]\ncolour=blue\n"), std::string::npos);

    // The graph editor page by its controls: the grid switched off and the largest size.
    ShowGraphEditorProperties([] { return 1; });
    PropertyPageDialog* ge = PropertyPageWindow(GraphEditorSection);
    ASSERT_NE(ge, nullptr);
    EXPECT_TRUE(ge->isVisible());
    EXPECT_EQ(ge->text(624), "160");
    EXPECT_TRUE(ge->isChecked(625));
    testsupport::grabToPng(*ge, "graph_editor_properties");
    EXPECT_EQ(testsupport::clippedControls(*ge), std::vector<std::string>{}) << "graph_editor_properties";
    click(*ge, 625);
    click(*ge, 624);
    auto* size = testsupport::findControl<QLineEdit>(*ge, 620);
    size->selectAll();
    QTest::keyClicks(size, "n*2");
    click(*ge, ID_PAGE_SAVE);
    echo = inbox.take(kPeerEcho);
    ASSERT_TRUE(echo);
    EXPECT_EQ(valueOf(*echo->text, "grid"), "0");
    EXPECT_EQ(valueOf(*echo->text, "def_bond_size"), "n*2");
    EXPECT_EQ(Settings().grid_snap_size, 3);
    EXPECT_NE(testsupport::readText(settings).find("grid_snap_size=3"), std::string::npos);

    requestCloseWindow(ready->lParam);
    EXPECT_TRUE(waitForProgram(*peer, 10000));
}

TEST_F(PropertyWindows, EachPageShowsTheTableAndItsCancelForgetsWhatWasTyped)
{
    startUp();
    Settings().messages = 2;
    Settings().linewidth = 1;
    ShowEquationEditorProperties();
    ShowModelProcessorProperties();
    ShowSimulatorProperties({});
    PropertyPageDialog* mp = PropertyPageWindow(ModelProcessorSection);
    PropertyPageDialog* sim = PropertyPageWindow(SimulatorSection);
    ASSERT_TRUE(mp && sim && PropertyPageWindow(EquationEditorSection));
    EXPECT_EQ(mp->windowTitle(), "MP: Properties");
    EXPECT_TRUE(mp->isChecked(574));
    EXPECT_EQ(mp->text(574), "Errors && Progress"); // shown with one '&'

    EXPECT_TRUE(sim->isChecked(571));
    EXPECT_FALSE(sim->isControlEnabled(570));
    EXPECT_TRUE(sim->isChecked(ID_SIMULATOR_PRINTER_CHECK));
    testsupport::grabToPng(*PropertyPageWindow(EquationEditorSection), "equation_editor_properties");
    EXPECT_EQ(testsupport::clippedControls(*PropertyPageWindow(EquationEditorSection)), std::vector<std::string>{}) << "equation_editor_properties";
    testsupport::grabToPng(*mp, "model_processor_properties");
    EXPECT_EQ(testsupport::clippedControls(*mp), std::vector<std::string>{}) << "model_processor_properties";
    testsupport::grabToPng(*sim, "simulator_properties");
    EXPECT_EQ(testsupport::clippedControls(*sim), std::vector<std::string>{}) << "simulator_properties";

    // Typed, then cancelled: the next Show shows the table's value again.
    click(*mp, 567);
    click(*mp, ID_PAGE_REVERT);
    EXPECT_EQ(PropertyPageWindow(ModelProcessorSection), nullptr);
    EXPECT_EQ(Settings().messages, 2);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ShowModelProcessorProperties();
    EXPECT_TRUE(PropertyPageWindow(ModelProcessorSection)->isChecked(574));

    // Asking again raises the one page there is.
    ShowSimulatorProperties({});
    EXPECT_EQ(PropertyPageWindow(SimulatorSection), sim);
    // The printer check is kept by Save.
    click(*sim, ID_SIMULATOR_PRINTER_CHECK);
    click(*sim, ID_PAGE_SAVE);
    EXPECT_EQ(PrinterCheckFlag(), 1);
}

TEST_F(PropertyWindows, ThePathFinderRoundTripsTheListsAndMakesAMissingDirectory)
{
    startUp();
    Inbox inbox;
    int changed = 0;
    ShowPathFinder([&] { ++changed; });
    TQNPathFinderDialog* finder = PathFinderWindow();
    ASSERT_NE(finder, nullptr);
    EXPECT_TRUE(finder->isVisible());
    EXPECT_EQ(finder->windowTitle(), "ORVANTA Libraries");
    EXPECT_EQ(finder->itemCount(ID_FINDER_LIST), 2);
    EXPECT_EQ(finder->itemText(ID_FINDER_LIST, 1), "library");
    EXPECT_EQ(finder->text(ID_FINDER_PATH), models);
    EXPECT_EQ(finder->text(ID_FINDER_DESCRIPTION), "working directory: reading/writing models and results");
    EXPECT_FALSE(finder->isControlEnabled(ID_FINDER_UP));
    EXPECT_FALSE(PropertyPageWindow(GeneralSection)->isVisible()); // the lists' holder stays hidden
    testsupport::grabToPng(*finder, "path_finder");
    EXPECT_EQ(testsupport::clippedControls(*finder), std::vector<std::string>{}) << "path_finder";

    // OK without a change writes the same two lists and tells every program.
    const std::string before = Settings().model_dirs;
    click(*finder, ID_FINDER_SAVE);
    EXPECT_EQ(PathFinderWindow(), nullptr);
    EXPECT_TRUE(inbox.take(UM_SETTINGS_CHANGED));
    EXPECT_EQ(Settings().model_dirs, before);
    EXPECT_EQ(Settings().alias_names, "project;library");
    EXPECT_NE(testsupport::readText(settings).find("alias_names=project;library\n"), std::string::npos);
    EXPECT_EQ(changed, 1);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    // A new entry with a directory that does not exist yet: made after the question.
    ShowPathFinder([&] { ++changed; });
    finder = PathFinderWindow();
    auto* list = testsupport::findControl<QListWidget>(*finder, ID_FINDER_LIST);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(finder));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(1)).center());
    EXPECT_EQ(finder->text(ID_FINDER_PATH), library);
    click(*finder, ID_FINDER_ADD);
    EXPECT_EQ(finder->itemText(ID_FINDER_LIST, 1), "New Directory");
    const std::string fresh = dir.file("fresh/models");
    auto* name = testsupport::findControl<QLineEdit>(*finder, ID_FINDER_NAME);
    name->selectAll();
    QTest::keyClicks(name, "fresh");
    auto* path = testsupport::findControl<QLineEdit>(*finder, ID_FINDER_PATH);
    QTest::keyClicks(path, QString::fromStdString(fresh));
    boxes.queueAnswers({BoxAnswer::Ok});
    click(*finder, ID_FINDER_SAVE);
    EXPECT_EQ(boxes.transcriptLines(), (Lines{"The given directory", fresh, "does not exist, do you wish to create it?"}));
    EXPECT_TRUE(isDirectory(fresh));
    EXPECT_EQ(PathFinderWindow(), nullptr);
    EXPECT_EQ(Settings().model_dirs, models + ";" + fresh + ";" + library);
    EXPECT_EQ(Settings().alias_names, "project;fresh;library");
    EXPECT_TRUE(inbox.take(UM_SETTINGS_CHANGED));
}

TEST_F(PropertyWindows, ThePathFinderNeitherBroadcastsNorClosesWhenTheSaveFails)
{
    startUp();
    Inbox inbox;
    ShowPathFinder({});
    TQNPathFinderDialog* finder = PathFinderWindow();
    ASSERT_NE(finder, nullptr);

    // The file cannot be written.
    Startup().SettingsFileRead = dir.file("gone/orvanta.ini");
    click(*finder, ID_FINDER_SAVE);
    EXPECT_EQ(boxes.transcriptLines(), (Lines{"Can not open rcfile for writing:", dir.file("gone/orvanta.ini")}));
    EXPECT_EQ(boxes.transcript()[0].owner, finder->handle());
    EXPECT_EQ(PathFinderWindow(), finder);
    EXPECT_TRUE(finder->isVisible());

    // A missing directory, not made, and the save refused at the question.
    Startup().SettingsFileRead = settings;
    boxes.clear();
    auto* path = testsupport::findControl<QLineEdit>(*finder, ID_FINDER_PATH);
    path->clear();
    QTest::keyClicks(path, QString::fromStdString(dir.file("absent")));
    boxes.queueAnswers({BoxAnswer::Cancel, BoxAnswer::Cancel});
    click(*finder, ID_FINDER_SAVE);
    EXPECT_EQ(boxes.transcript().size(), 2u);
    EXPECT_EQ(boxes.transcript()[1].lines.front(), "There are errors in the properties");
    EXPECT_EQ(PathFinderWindow(), finder);
    EXPECT_TRUE(finder->isVisible());
    QTest::qWait(100);
    EXPECT_EQ(inbox.count(UM_SETTINGS_CHANGED), 0);
    EXPECT_EQ(testsupport::readText(settings).find("absent"), std::string::npos);

    // Cancel closes it with nothing applied.
    click(*finder, ID_FINDER_CANCEL);
    EXPECT_EQ(PathFinderWindow(), nullptr);
    EXPECT_EQ(inbox.count(UM_SETTINGS_CHANGED), 0);
}

} // namespace
