// The tutorial followed as it is written, in a fresh folder: its shell lines make the
// folder and the settings file, the graph editor's main window draws, names, saves and
// processes the model with the real model processor and starts the real simulator on it,
// and the simulator's window, made on the same command line in a program of its own
// (tutorial_simulator_steps.cpp), makes the experiment, runs it, prints, exports and
// writes C code that the page's lines build and run. Every menu path a section names is chosen
// there, every text it quotes is seen, and the pictures it shows are grabbed on the way.
#include "docs/tests/tutorial_page.h"

#include "grapheditor/program/submodel_attributes.h"
#include "grapheditor/connection_drawing.h"
#include "grapheditor/program/tests/canvas_fixture.h"

#include "common/launcher.h"
#include "common/path_finder.h"
#include "common/path_finder_dialog.h"
#include "platform/core/program_start.h"
#include "platform/core/window_registry.h"

#include <gtest/gtest.h>

#include <QProcess>

#include <csignal>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>

using editortest::waitUntil;
using tutorialtest::Reader;
using tutorialtest::TutorialPage;

namespace {

namespace fs = std::filesystem;

/// The key=value lines of a settings file, by section and key.
std::map<std::string, std::string> settingsValues(const std::string& text)
{
    std::map<std::string, std::string> values;
    std::istringstream in(text);
    std::string section;
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == ';')
            continue;
        if (line[0] == '[')
            section = line;
        else if (const std::size_t equals = line.find('='); equals != std::string::npos)
            values[section + line.substr(0, equals)] = line.substr(equals + 1);
    }
    return values;
}

class Tutorial : public editortest::CanvasWindow {
protected:
    /// No folder nor settings file yet: the page's lines make them.
    void SetUp() override
    {
        startFresh();
        home.emplace("HOME", dir.path().c_str());
    }
    void TearDown() override
    {
        if (simulatorPid > 0 && platform::processAlive(simulatorPid)) {
            ::kill(simulatorPid, SIGKILL);
            platform::waitForProgram(simulatorPid, 5000);
        }
        // A model processor left running keeps its log window, and the test's output, open.
        if (window) {
            CloseProcessorLog();
            waitUntil([] { return IsProcessorLogClosed() == 1; }, 10000);
        }
        MainWindow::TearDown();
        inFolder.reset();
    }

    /// Runs shell lines in a directory, HOME the test's folder; their exit status.
    int shell(const std::string& lines, const std::string& directory)
    {
        QProcess process;
        process.setWorkingDirectory(QString::fromStdString(directory));
        process.start("bash", {"-e", "-c", QString::fromStdString(lines)});
        if (!process.waitForFinished(30000))
            return -1;
        EXPECT_EQ(process.readAllStandardError().toStdString(), "");
        return process.exitCode();
    }

    Submodel* named(const std::string& name) const { return submodel(name); }

    const TutorialPage page{ORVANTA_SOURCE_DIR "/docs/tutorial/orvantatut.html"};
    Reader reader{page, sink};
    std::optional<testsupport::ScopedEnvironment> home;
    std::optional<testsupport::ScopedCurrentDirectory> inFolder;
    pid_t simulatorPid = 0;
};

} // namespace

TEST_F(Tutorial, FollowedAsWrittenInAFreshFolderItGivesWhatItSays)
{
    ASSERT_TRUE(page.read());

    // 1. The folder, the library and the settings file by the page's shell lines; the last
    // line starts the graph editor, which is made here on its command line.
    reader.begin("folder");
    const std::vector<std::string> blocks = page.shellBlocks("folder");
    ASSERT_EQ(blocks.size(), 1u);
    std::string lines = blocks[0];
    while (!lines.empty() && lines.back() == '\n')
        lines.pop_back();
    const std::size_t last = lines.rfind('\n');
    ASSERT_NE(last, std::string::npos);
    const std::string start = lines.substr(last + 1);
    ASSERT_EQ(start.rfind("orvanta ", 0), 0u) << start;
    ASSERT_EQ(shell(lines.substr(0, last), ORVANTA_SOURCE_DIR), 0);
    const std::string folder = dir.file("orvanta/first");
    ASSERT_TRUE(platform::isDirectory(folder));
    ASSERT_TRUE(platform::isDirectory(dir.file("orvanta/library")));
    const std::string settingsText = testsupport::readText(folder + "/orvanta.ini");
    ASSERT_EQ(settingsText, page.hereDocument("folder", "orvanta.ini"));
    // The page's file is the example's, the first directory's alias apart.
    std::map<std::string, std::string> written = settingsValues(settingsText);
    std::map<std::string, std::string> example =
        settingsValues(testsupport::readText(ORVANTA_SOURCE_DIR "/examples/models/orvanta.ini"));
    EXPECT_EQ(written["[General]alias_names"], "first;library");
    written.erase("[General]alias_names");
    example.erase("[General]alias_names");
    EXPECT_EQ(written, example);

    inFolder.emplace(folder);
    window = std::make_unique<TQNBGEWindow>(SplitCommandLine(start.substr(std::string("orvanta ").size())));
    window->show();
    ASSERT_TRUE(window->SetupWindow());
    EXPECT_TRUE(sink.transcript().empty()) << "a complete settings file starts without a box: "
                                           << testing::PrintToString(sink.transcriptLines());
    EXPECT_TRUE(CurrentModel().submodels.empty()) << "an empty canvas";
    CloseStartupBox();
    ASSERT_TRUE(reader.choose(*window, "Properties > Library Properties"));
    TQNPathFinderDialog* finder = PathFinderWindow();
    ASSERT_NE(finder, nullptr);
    ASSERT_EQ(finder->itemCount(ID_FINDER_LIST), 2);
    for (int i = 0; i < 2; ++i)
        reader.saw(finder->itemText(ID_FINDER_LIST, i));
    EXPECT_NE(finder->itemText(ID_FINDER_LIST, 0).find("first"), std::string::npos) << finder->itemText(ID_FINDER_LIST, 0);
    EXPECT_NE(finder->itemText(ID_FINDER_LIST, 1).find("library"), std::string::npos) << finder->itemText(ID_FINDER_LIST, 1);
    clickButton(*finder, ID_FINDER_CANCEL);
    EXPECT_EQ(PathFinderWindow(), nullptr);
    reader.end();

    // 2. The draw popup's library directory and the five elements placed on the grid.
    struct Place {
        int x, y;
    };
    const std::map<std::string, Place> places = {
        {"se1", {80, 160}}, {"1j1", {240, 160}}, {"i1", {240, 40}}, {"c1", {400, 160}}, {"r1", {240, 280}}};
    reader.begin("draw");
    ASSERT_TRUE(reader.choose(*window, "Window > Draw Popup"));
    TQNDrawDialog* popup = DrawPopup();
    ASSERT_NE(popup, nullptr);
    const std::vector<std::string> drawn = page.codes("draw");
    ASSERT_EQ(drawn, (std::vector<std::string>{"library", "se1", "1j1", "i1", "c1", "r1"}));
    clickItem(*popup, ID_DRAW_DIRECTORIES, QString::fromStdString(drawn[0]));
    for (std::size_t i = 1; i < drawn.size(); ++i) {
        clickItem(*popup, ID_DRAW_LIBRARY, QString::fromStdString(drawn[i]));
        if (i == 1)
            testsupport::grabToPng(*popup, "tutorial_draw_popup");
        click(places.at(drawn[i]).x, places.at(drawn[i]).y);
    }
    ASSERT_EQ(CurrentModel().submodels.size(), 5u);
    reader.end();

    // 3. The bond tool is the first button; four bonds from the source on, in the page's order.
    reader.begin("bonds");
    EXPECT_EQ(int(TOOL_BOND), 0);
    tool(TOOL_BOND);
    const std::pair<const char*, const char*> bonds[] = {{"se1", "1j1"}, {"1j1", "i1"}, {"1j1", "c1"}, {"1j1", "r1"}};
    for (const auto& [from, to] : bonds) {
        click(places.at(from).x, places.at(from).y);
        click(places.at(to).x, places.at(to).y);
    }
    ASSERT_EQ(CurrentModel().connections.size(), 4u);
    reader.end();

    // 4. The select tool is the last button; each element named in its attributes editor with Enter.
    reader.begin("names");
    tool(TOOL_SELECT);
    const std::vector<std::string> names = page.codes("names");
    ASSERT_EQ(names, (std::vector<std::string>{"f", "v", "m", "k", "d"}));
    const char* elements[] = {"se1", "1j1", "i1", "c1", "r1"};
    for (std::size_t i = 0; i < names.size(); ++i) {
        const Place at = places.at(elements[i]);
        doubleClick(at.x, at.y);
        TQNSubAttrDialog* editor = SubmodelAttributesEditor();
        ASSERT_NE(editor, nullptr) << names[i];
        typeInto(*editor, 603, QString::fromStdString(names[i]));
        QTest::keyClick(testsupport::findControl<QLineEdit>(*editor, 603), Qt::Key_Return);
        ASSERT_NE(named(names[i]), nullptr) << names[i];
    }
    // The bonds go from the source into the junction and on to the elements.
    std::set<std::string> ends;
    for (const Connection& c : CurrentModel().connections)
        ends.insert(c.ends[0].submodel->name + "->" + c.ends[1].submodel->name);
    EXPECT_EQ(ends, (std::set<std::string>{"f->v", "v->m", "v->k", "v->d"}));
    testsupport::grabToPng(*window, "tutorial_drawn_model");
    reader.end();

    // 5. Check & Save with the name the page gives; Save is greyed until the model has one.
    reader.begin("save");
    QAction* save = tutorialtest::FindMenuPath(*window, {"File", "Save"});
    ASSERT_NE(save, nullptr);
    EXPECT_FALSE(save->isEnabled()) << "an untitled model is saved by Check & Save";
    ASSERT_TRUE(reader.choose(*window, "Process > Check & Save KELDOR"));
    const std::string modelName = page.codeAfter("save", "type ");
    ASSERT_NO_FATAL_FAILURE(chooseName(modelName));
    EXPECT_TRUE(sink.transcript().empty()) << testing::PrintToString(sink.transcriptLines());
    reader.saw(window->shownStatusText());
    EXPECT_EQ(Editor().modelName, "msd1");
    EXPECT_NE(window->windowTitle().toStdString().find("msd1"), std::string::npos) << "the title shows the name";
    EXPECT_TRUE(platform::fileExists(folder + "/msd1.mg0"));
    ASSERT_TRUE(reader.choose(*window, "File > Save"));
    EXPECT_EQ(window->shownStatusText(), "Graphical info and Keldor saved.");
    reader.end();

    // 6. Causal analysis and complete processing by the real model processor, then the real simulator.
    reader.begin("process");
    ASSERT_TRUE(reader.choose(*window, "Process > Causal Analysis"));
    ASSERT_TRUE(processed("Causal analysis completed succesfully.")) << window->shownStatusText();
    EXPECT_TRUE(AnnotationPresent()) << "the causal strokes are on the bonds";
    // Integral causality: the mass takes the effort (the stroke at its end), the spring gives it.
    for (const Connection& c : CurrentModel().connections) {
        const std::string to = c.ends[1].submodel->name;
        if (to == "m") {
            EXPECT_EQ(c.computedCausality, 1) << "v->m";
        } else if (to == "k") {
            EXPECT_EQ(c.computedCausality, 2) << "v->k";
        }
    }
    ASSERT_TRUE(reader.choose(*window, "Process > Complete Processing"));
    ASSERT_TRUE(processed("Model processing completed succesfully.")) << window->shownStatusText();
    for (const std::string& file : page.codes("process"))
        EXPECT_TRUE(platform::fileExists(folder + "/" + file)) << file;
    EXPECT_TRUE(sink.transcript().empty()) << testing::PrintToString(sink.transcriptLines());
    QAction* simulation = tutorialtest::FindMenuPath(*window, {"Simulation"});
    ASSERT_NE(simulation, nullptr);
    ASSERT_TRUE(simulation->isEnabled());
    simulation->trigger();
    // The simulator tells the model it opened; a box at its start would keep it from that.
    platform::WindowHandle simulator = 0;
    ASSERT_TRUE(waitUntil([&] { return (simulator = FindRunningProgram(2, "msd1")) != 0; }, 30000))
        << "no simulator with msd1";
    simulatorPid = platform::windowProcess(simulator);
    std::string started = testsupport::readText("/proc/" + std::to_string(simulatorPid) + "/cmdline");
    std::replace(started.begin(), started.end(), '\0', ' ');
    ASSERT_EQ(started, "orvantasim -model msd1 -rc_file orvanta.ini ");
    reader.end();
    // Its window is made here on the same command line, so that its dialogs can be driven.
    ASSERT_TRUE(platform::requestCloseWindow(simulator));
    ASSERT_TRUE(platform::waitForProgram(simulatorPid, 20000)) << "the simulator did not end";
    simulatorPid = 0;

    // 7 to 9 in the simulator, in a program of their own.
    QProcess steps;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("TUTORIAL_FOLDER", QString::fromStdString(folder));
    environment.insert("TUTORIAL_SIMULATOR_TAIL",
                       QString::fromStdString(started.substr(std::string("orvantasim ").size())));
    steps.setProcessEnvironment(environment);
    steps.setWorkingDirectory(QString::fromStdString(folder));
    steps.setProcessChannelMode(QProcess::MergedChannels);
    steps.start(TUTORIAL_SIMULATOR_STEPS, {"--gtest_brief=1"});
    ASSERT_TRUE(steps.waitForFinished(240000)) << "the simulator's steps did not end";
    EXPECT_EQ(steps.exitCode(), 0) << steps.readAll().toStdString();
    EXPECT_EQ(Editor().modelName, "msd1") << "the editor goes on with its model";
    CloseProcessorLog();
    EXPECT_TRUE(waitUntil([] { return IsProcessorLogClosed() == 1; })) << "the model processor ends with its log";
}
