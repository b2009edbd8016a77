// The main window's menus, menu-bar entries and tool-bar buttons in every
// state the editor reaches, against the commands each state allows: a table
// over every state and every command of the menu.
#include "grapheditor/program/tests/main_window_fixture.h"

#include "grapheditor/program/editor_commands.h"
#include "grapheditor/program/selection.h"
#include "grapheditor/graph_objects.h"
#include "grapheditor/submodel_library.h"

#include <gtest/gtest.h>

#include <QToolBar>

#include <set>

using editortest::MainWindow;

namespace {

/// Every command of the menu, the Simulation entry of the bar among them.
const std::vector<int> kAllCommands = {100, 115, 116, 101, 102, 103, 106, 105, 107, 108, 24310, 256, 120,
                                       121, 153, 150, 151, 152, 154, 260, 259, 261, 262, 264, 104, 252,
                                       253, 258, 265, 122, 202, 205, 263, 901, 902, 903, 905, 900};

class WindowCommands : public MainWindow {
protected:
    /// The commands and menu-bar entries the window enables now.
    void expectEnabled(const std::set<int>& commands, const std::set<int>& menus)
    {
        for (int id : kAllCommands) {
            QAction* action = command(id);
            ASSERT_NE(action, nullptr) << id;
            EXPECT_EQ(action->isEnabled(), commands.count(id) == 1) << "command " << id;
            if (QAction* tool = window->toolAction(id)) {
                EXPECT_EQ(tool->isEnabled(), commands.count(id) == 1) << "tool " << id;
            }
        }
        const QList<QAction*> entries = window->menuBar()->actions();
        ASSERT_EQ(entries.size(), 8);
        for (int position = 0; position < 8; ++position)
            EXPECT_EQ(entries[position]->isEnabled(), menus.count(position) == 1) << "menu " << position;
    }

    /// A left click on the drawing at a point of the model.
    void clickAt(int x, int y)
    {
        canvasMessage(platform::WM_LBUTTONDOWN, x - window->canvas().Scroller()->xPos(),
                      y - window->canvas().Scroller()->yPos());
        canvasMessage(platform::WM_LBUTTONUP, x - window->canvas().Scroller()->xPos(),
                      y - window->canvas().Scroller()->yPos());
    }

    int state() const { return Editor().machine.state(); }
};

} // namespace

TEST_F(WindowCommands, EveryStateEnablesExactlyItsCommandsInTheMenusAndTheToolBar)
{
    // What is always there: new, open, exit, the properties, the other programs, help.
    const std::set<int> noModel = {100, 115, 116, 101, 24310, 262, 264, 104, 202, 205, 263, 901, 902, 903, 905, 900};
    std::set<int> named = noModel;
    // Save, print and export, redraw, check and save, processing, C code, simulation; Show Submodel
    // waits for a selected submodel, Show Parent for a parent.
    named.insert({102, 103, 105, 106, 107, 108, 256, 252, 253, 258, 265, 122});
    std::set<int> untitled = named;
    untitled.erase(102); // an untitled model is saved through Save As or Check & Save
    untitled.erase(122);
    std::set<int> namedSelection = named;
    namedSelection.insert({121, 154, 260, 259});
    std::set<int> untitledSelection = untitled;
    untitledSelection.insert({121, 154, 260, 259});
    const std::set<int> allMenus = {0, 1, 2, 3, 4, 5, 6, 7};

    copyExample("msd1.mg0", more, "pump1.mgg");
    ASSERT_TRUE(platform::writeFileAtomically(
        models + "/bad1.mgg", "bond graph bad version 1\nsubclasses\n  se;1 f 40 100 !T\nconnections\n  f`p -> \n"));
    startWindow();
    ASSERT_EQ(state(), STATE_NO_MODEL);
    expectEnabled(noModel, {0, 1, 2, 3, 6, 7});

    post(UM_OPEN_MODEL, 0, std::string("pump1"));
    ASSERT_EQ(state(), STATE_NAMED);
    expectEnabled(named, allMenus);

    // The mass m at (160, 40).
    clickAt(160, 40);
    ASSERT_EQ(state(), STATE_NAMED_SELECTION);
    ASSERT_NE(selected_submodel(), nullptr);
    expectEnabled(namedSelection, allMenus);
    // The same click again changes nothing.
    clickAt(160, 40);
    ASSERT_EQ(state(), STATE_NAMED_SELECTION);
    // A bond selected: no connection editor and no submodel to show.
    clickAt(100, 100);
    ASSERT_EQ(selection_kind(), SELECT_CONNECTION);
    std::set<int> bondSelection = namedSelection;
    bondSelection.erase(121);
    bondSelection.erase(259);
    expectEnabled(bondSelection, allMenus);
    clickAt(600, 600);
    ASSERT_EQ(state(), STATE_NAMED);
    expectEnabled(named, allMenus);

    // A file that fails to read is refused: the model shown stays, named.
    post(UM_OPEN_MODEL, 0, std::string("bad1"));
    ASSERT_EQ(Editor().modelName, "pump1");
    ASSERT_EQ(state(), STATE_NAMED);
    expectEnabled(named, allMenus);

    // A new model with something drawn is untitled.
    command(100)->trigger();
    ASSERT_EQ(state(), STATE_NO_MODEL);
    LibraryEntry source{"se1"};
    const Submodel* drawn = create_submodel(40, 100, source);
    ASSERT_NE(drawn, nullptr);
    ASSERT_EQ(state(), STATE_UNTITLED);
    expectEnabled(untitled, {0, 1, 2, 3, 4, 6, 7});
    clickAt(drawn->x, drawn->y);
    ASSERT_EQ(state(), STATE_UNTITLED_SELECTION);
    expectEnabled(untitledSelection, {0, 1, 2, 3, 4, 6, 7});

    // An event that the state does not allow ends in the error state, which greys everything.
    SendEditorEvent(EVENT_SELECTED);
    ASSERT_EQ(state(), STATE_ERROR);
    EXPECT_EQ(window->shownStatusText(), "error in STD");
    expectEnabled({}, {});
}

TEST_F(WindowCommands, AShownSubmodelIsNeitherProcessedNorSimulatedAndShowParentNeedsAParent)
{
    copyExample("mload1.mg0", models, "mload1.mg0");
    copyExample("dcm1.sg0", models, "dcm1.sg0");
    startWindow("-model mload1");
    ASSERT_EQ(state(), STATE_NAMED);
    EXPECT_FALSE(command(CM_SHOW_PARENT)->isEnabled());
    Submodel* drive = submodel("drive");
    ASSERT_NE(drive, nullptr);
    clickAt(drive->x, drive->y);
    ASSERT_EQ(selected_submodel(), drive);
    command(CM_SHOW_SUBMODEL)->trigger();
    ASSERT_EQ(Editor().modelName, "dcm1");
    ASSERT_EQ(state(), STATE_NAMED);
    // The state allows them; the shown model's interface does not.
    for (int id : {CM_SIMULATION, CM_CAUSAL_ANALYSIS, CM_COMPLETE_PROCESSING})
        EXPECT_FALSE(command(id)->isEnabled()) << id;
    EXPECT_FALSE(window->menuBar()->actions()[5]->isEnabled());
    EXPECT_FALSE(window->toolAction(CM_SIMULATION)->isEnabled());
    for (int id : {CM_SHOW_PARENT, CM_CHECK_SAVE, CM_CCODE, CM_SAVE})
        EXPECT_TRUE(command(id)->isEnabled()) << id;
    EXPECT_TRUE(window->toolAction(CM_SHOW_PARENT)->isEnabled());
    EXPECT_TRUE(window->menuBar()->actions()[4]->isEnabled());
}
