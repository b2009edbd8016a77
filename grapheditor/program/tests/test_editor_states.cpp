// The editor's state machine and the commands each state enables: the whole
// table of states and events, and every command in every state.
#include "grapheditor/program/editor_commands.h"
#include "grapheditor/program/editor_state.h"

#include <gtest/gtest.h>

#include <set>

TEST(EditorStates, EveryEventInEveryStateFollowsTheTable)
{
    // Rows: states 0-6; columns: events 1-7 (start-up, changed, opened, saved, cleared, selected, deselected).
    const int expected[7][7] = {
        {1, 6, 6, 6, 6, 6, 6}, {6, 3, 2, 6, 1, 6, 6}, {6, 2, 2, 2, 1, 4, 6}, {6, 3, 2, 2, 1, 5, 6},
        {6, 4, 2, 4, 1, 6, 2}, {6, 5, 2, 4, 1, 6, 3}, {6, 6, 6, 6, 6, 6, 6},
    };
    for (int state = 0; state < 7; ++state)
        for (int event = 1; event <= 7; ++event)
            EXPECT_EQ(NextEditorState(state, event), expected[state][event - 1]) << state << " " << event;
    EXPECT_EQ(NextEditorState(2, 0), STATE_ERROR);
    EXPECT_EQ(NextEditorState(2, 8), STATE_ERROR);
    EXPECT_EQ(NextEditorState(9, 1), STATE_ERROR);

    EditorStateMachine machine;
    EXPECT_EQ(machine.mask(), 0xFF73FFFFu);
    machine.send(EVENT_STARTED);
    EXPECT_EQ(machine.mask(), 0xC30043CFu);
    machine.send(EVENT_OPENED);
    machine.send(EVENT_SELECTED);
    EXPECT_EQ(machine.state(), STATE_NAMED_SELECTION);
    EXPECT_EQ(machine.mask(), 0xFF73FFFFu);
    // The error state is final and greys everything.
    machine.send(EVENT_SELECTED);
    EXPECT_EQ(machine.state(), STATE_ERROR);
    EXPECT_EQ(machine.mask(), 0u);
    machine.send(EVENT_CLEARED);
    EXPECT_EQ(machine.state(), STATE_ERROR);
}

TEST(EditorStates, EachStateEnablesExactlyItsCommands)
{
    // What the user can choose in each state of a main model with a submodel selected
    // and a parent on the chain (so that only the mask decides).
    const std::set<int> always = {CM_NEW_GRAPH, CM_NEW_WIZARD, CM_NEW_BLANK, CM_OPEN, CM_EXIT,
                                  CM_TOOL_PROPERTIES, CM_PROCESSOR_PROPERTIES, CM_LIBRARY_PROPERTIES,
                                  CM_EQUATION_EDITOR, CM_SIMULATOR, CM_DRAW_POPUP, CM_HELP_CONTENTS,
                                  CM_HELP_DEMO, CM_HELP_TUTORIAL, CM_HELP_USING, CM_HELP_ABOUT};
    std::set<int> named = always;
    named.insert({CM_SAVE, CM_SAVE_AS, CM_PRINT, CM_PRINTER_SETUP, CM_EXPORT_METAFILE, CM_EXPORT_CLIPBOARD,
                  CM_REDRAW_ALL, CM_SHOW_PARENT, CM_SHOW_SUBMODEL, CM_CHECK_SAVE, CM_CAUSAL_ANALYSIS,
                  CM_COMPLETE_PROCESSING, CM_CCODE, CM_SIMULATION});
    std::set<int> untitled = named;
    untitled.erase(CM_SAVE);
    untitled.erase(CM_SIMULATION);
    std::set<int> namedSelection = named;
    namedSelection.insert({CM_DELETE, CM_ATTRIBUTES, CM_CONNECTIONS});
    std::set<int> untitledSelection = untitled;
    untitledSelection.insert({CM_DELETE, CM_ATTRIBUTES, CM_CONNECTIONS});

    struct Case {
        int state;
        std::set<int> enabled;
        std::set<int> menus;
    };
    const std::set<int> allMenus = {0, 1, 2, 3, 4, 5, 6, 7};
    const Case cases[] = {
        {STATE_START, namedSelection, allMenus},
        {STATE_NO_MODEL, always, {0, 1, 2, 3, 6, 7}},
        {STATE_NAMED, named, allMenus},
        {STATE_UNTITLED, untitled, {0, 1, 2, 3, 4, 6, 7}},
        {STATE_NAMED_SELECTION, namedSelection, allMenus},
        {STATE_UNTITLED_SELECTION, untitledSelection, {0, 1, 2, 3, 4, 6, 7}},
        {STATE_ERROR, {}, {}},
    };
    CommandConditions conditions;
    conditions.hasParent = conditions.somethingSelected = conditions.submodelSelected = true;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.state);
        const std::uint32_t mask = StateCommandMask(c.state);
        for (int id : EnabledCommandIds())
            EXPECT_EQ(CommandEnabled(id, mask, conditions), c.enabled.count(id) == 1) << "command " << id;
        for (int position = 0; position < 8; ++position)
            EXPECT_EQ(MenuBarEntryEnabled(position, mask, conditions), c.menus.count(position) == 1)
                << "menu " << position;
    }
}

TEST(EditorStates, TheShownModelAndTheSelectionNarrowWhatTheMaskAllows)
{
    const std::uint32_t all = 0xFFFFFFFF;
    CommandConditions none;
    // Undo, Cut, Copy, Paste and Model Properties are never enabled; neither is an unknown command.
    for (int id : {int(CM_UNDO), int(CM_CUT), int(CM_COPY), int(CM_PASTE), int(CM_MODEL_PROPERTIES), int(CM_CLOSE_CHILD), 4711})
        EXPECT_FALSE(CommandEnabled(id, all, none)) << id;
    EXPECT_FALSE(CommandEnabled(CM_SHOW_PARENT, all, none));
    EXPECT_FALSE(CommandEnabled(CM_SHOW_SUBMODEL, all, none));
    EXPECT_FALSE(CommandEnabled(CM_ATTRIBUTES, all, none));
    EXPECT_FALSE(CommandEnabled(CM_CONNECTIONS, all, none));
    EXPECT_TRUE(CommandEnabled(CM_DELETE, all, none));

    CommandConditions connection;
    connection.somethingSelected = true;
    EXPECT_TRUE(CommandEnabled(CM_ATTRIBUTES, all, connection));
    EXPECT_FALSE(CommandEnabled(CM_CONNECTIONS, all, connection));
    EXPECT_FALSE(CommandEnabled(CM_SHOW_SUBMODEL, all, connection));

    // A submodel shown (it has PIOs) is not processed or simulated on its own.
    CommandConditions submodel;
    submodel.submodelShown = true;
    for (int id : {CM_SIMULATION, CM_CAUSAL_ANALYSIS, CM_COMPLETE_PROCESSING})
        EXPECT_FALSE(CommandEnabled(id, all, submodel)) << id;
    EXPECT_FALSE(MenuBarEntryEnabled(5, all, submodel));
    EXPECT_TRUE(CommandEnabled(CM_CHECK_SAVE, all, submodel));
    EXPECT_TRUE(CommandEnabled(CM_CCODE, all, submodel));
    EXPECT_TRUE(MenuBarEntryEnabled(4, all, submodel));
}

TEST(EditorCommandTable, MenuToolBarPopupAndAcceleratorsNameTheirCommands)
{
    // Every command the enablers set stands somewhere in the menu, and the other way round.
    std::set<int> inMenu;
    std::function<void(const std::vector<platform::MenuItem>&)> walk = [&](const auto& items) {
        for (const platform::MenuItem& item : items) {
            if (item.id > 0)
                inMenu.insert(item.id);
            walk(item.items);
        }
    };
    walk(GraphEditorMenu());
    const std::vector<int>& ids = EnabledCommandIds();
    EXPECT_EQ(inMenu, std::set<int>(ids.begin(), ids.end()));
    EXPECT_EQ(GraphEditorMenu().size(), 8u);
    EXPECT_EQ(GraphEditorMenu()[5].id, CM_SIMULATION);

    std::vector<int> buttons;
    for (const platform::ToolButton& button : GraphEditorToolBar())
        buttons.push_back(button.id);
    EXPECT_EQ(buttons, (std::vector<int>{101, 102, 0, 105, 0, 104, 0, 120, 121, 0, 122, 0, 202, 205, 0, 901}));

    std::vector<int> popup;
    for (const platform::MenuItem& item : CanvasPopupMenu())
        popup.push_back(item.id);
    EXPECT_EQ(popup, (std::vector<int>{260, 259, 120, 121, 265, 105}));

    std::map<std::string, int> keys;
    for (const platform::Accelerator& accelerator : GraphEditorAccelerators())
        keys[accelerator.keys] = accelerator.command;
    EXPECT_EQ(keys, (std::map<std::string, int>{{"Shift+Del", 150}, {"F1", 901}, {"Ctrl+F4", 109}, {"Shift+Ins", 152},
                                                {"Ctrl+Ins", 151}, {"Alt+Backspace", 153}, {"Del", 154}}));

    // Every command of the menu has its hint.
    const std::map<int, std::string> hints = GraphEditorHints();
    for (int id : inMenu)
        EXPECT_EQ(hints.count(id), 1u) << id;
}
