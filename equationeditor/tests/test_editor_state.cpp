// The equation editor's state machine and command bits: the transitions each
// event makes, the masks the states apply, and the commands each mask enables.
#include "equationeditor/editor_state.h"

#include <gtest/gtest.h>

TEST(EditorStates, EventsMoveTheEditorThroughItsStates)
{
    struct Row {
        int state, event, next;
    };
    const Row rows[] = {
        {0, 1, 1}, {0, 2, 4}, {0, 7, 4},
        {1, 1, 4}, {1, 2, 3}, {1, 3, 2}, {1, 7, 1}, {1, 5, 4},
        // A blank model saved under a name becomes a named model.
        {1, 4, 2},
        {2, 1, 4}, {2, 2, 2}, {2, 3, 2}, {2, 4, 2}, {2, 5, 2}, {2, 6, 2}, {2, 7, 1},
        {3, 2, 3}, {3, 3, 2}, {3, 4, 2}, {3, 5, 2}, {3, 6, 1}, {3, 7, 1}, {3, 1, 4},
        {4, 1, 4}, {4, 3, 4}, {4, 7, 4},
        {2, 0, 4}, {2, 8, 4}, {-1, 1, 4}, {5, 1, 4},
    };
    for (const Row& row : rows)
        EXPECT_EQ(NextEquationEditorState(row.state, row.event), row.next) << row.state << " " << row.event;
}

TEST(EditorStates, EachStateAppliesItsMaskAndTheStartAndErrorStatesNone)
{
    bool applies = false;
    EXPECT_EQ(EquationEditorStateMask(1, &applies), 0x998021cbu);
    EXPECT_TRUE(applies);
    EXPECT_EQ(EquationEditorStateMask(2, &applies), 0xffffffffu);
    EXPECT_EQ(EquationEditorStateMask(3, &applies), 0x9b803ddfu);
    EquationEditorStateMask(0, &applies);
    EXPECT_FALSE(applies);
    EquationEditorStateMask(4, &applies);
    EXPECT_FALSE(applies);
}

TEST(EditorStates, TheBlankAndNewMasksEnableWhatTheirModelsAllow)
{
    const std::uint32_t blank = EquationEditorStateMask(1);
    for (int id : {EE_NEW_WIZARD, EE_NEW_BLANK, EE_OPEN, EE_TEMPLATE, EE_TOOL_PROPERTIES, EE_PROCESSOR_PROPERTIES,
                   EE_LIBRARY_PROPERTIES, EE_GRAPH_EDITOR, EE_SIMULATOR, EE_EXIT, EE_HELP_CONTENTS})
        EXPECT_TRUE(CommandEnabled(id, blank)) << id;
    for (int id : {EE_SAVE, EE_SAVE_AS, EE_PRINT, EE_PRINTER_SETUP, EE_CHECK_SAVE, EE_COMPLETE_PROCESSING,
                   EE_SIMULATION})
        EXPECT_FALSE(CommandEnabled(id, blank)) << id;

    const std::uint32_t fresh = EquationEditorStateMask(3);
    for (int id : MaskedCommandIds())
        EXPECT_EQ(CommandEnabled(id, fresh), id != EE_SAVE && id != EE_COMPLETE_PROCESSING && id != EE_SIMULATION)
            << id;
}

TEST(EditorStates, ExitHelpAndTheEditCommandsStayEnabledUnderAnEmptyMask)
{
    for (int id : MaskedCommandIds()) {
        const bool always = id == EE_EXIT || (id >= EE_HELP_ABOUT && id <= EE_HELP_USING);
        EXPECT_EQ(CommandEnabled(id, 0), always) << id;
    }
    for (int id : {EE_UNDO, EE_CUT, EE_COPY, EE_PASTE, EE_DELETE, EE_FIND, EE_REPLACE, EE_FIND_NEXT})
        EXPECT_TRUE(CommandEnabled(id, 0)) << id;
    EXPECT_EQ(CommandBit(EE_SIMULATION), 5);
    EXPECT_EQ(CommandBit(12345), -1);
    EXPECT_FALSE(CommandEnabled(12345, 0xffffffffu));
}
