// The equation editor's commands and its state machine: the command ids, the
// bit of the command-state mask that enables each, and the states the model
// commands move the editor through with the mask each state applies.
#pragma once

#include <cstdint>
#include <vector>

/// Command ids of the equation editor's main window.
enum EquationEditorCommand : int {
    EE_OPEN = 101,
    EE_SAVE = 102,
    EE_SAVE_AS = 103,
    EE_LIBRARY_PROPERTIES = 104,
    EE_PRINT = 105,
    EE_PRINTER_SETUP = 106,
    EE_NEW_WIZARD = 115,
    EE_NEW_BLANK = 116,
    EE_SIMULATION = 122,
    EE_GRAPH_EDITOR = 201,
    EE_SIMULATOR = 205,
    EE_TOOL_PROPERTIES = 250,
    EE_TEMPLATE = 251,
    EE_CHECK_SAVE = 252,
    EE_COMPLETE_PROCESSING = 258,
    EE_PROCESSOR_PROPERTIES = 264,
    EE_HELP_ABOUT = 900,
    EE_HELP_CONTENTS = 901,
    EE_HELP_DEMO = 902,
    EE_HELP_TUTORIAL = 903,
    EE_HELP_USING = 905,
    EE_EXIT = 24310,
    EE_UNDO = 24321,
    EE_CUT = 24322,
    EE_COPY = 24323,
    EE_PASTE = 24324,
    EE_DELETE = 24325,
    EE_FIND = 24351,
    EE_REPLACE = 24352,
    EE_FIND_NEXT = 24353,
};

/// The edit control's control id.
inline constexpr int ID_EDIT = 1034;

/// The mask bit that enables a command; -1 for the commands the edit control
/// serves itself (always enabled) and for unknown ids.
int CommandBit(int id);

/// Whether the mask enables the command. Exit and the help commands stay
/// enabled whatever the mask, so that the program can always be left.
bool CommandEnabled(int id, std::uint32_t mask);

/// The commands that follow the mask, in menu order.
const std::vector<int>& MaskedCommandIds();

/// Editor states.
enum EquationEditorState : int {
    EE_STATE_START = 0,
    EE_STATE_BLANK = 1,   ///< no model: a blank text
    EE_STATE_NAMED = 2,   ///< a model with a name
    EE_STATE_NEW = 3,     ///< a new model being edited
    EE_STATE_ERROR = 4,
};

/// Events of the model commands.
enum EquationEditorEvent : int {
    EE_EVENT_STARTED = 1,
    EE_EVENT_EDITED = 2,
    EE_EVENT_CHECKED = 3, ///< opened, or saved after a clean check
    EE_EVENT_SAVED = 4,   ///< saved under a name
    EE_EVENT_5 = 5,
    EE_EVENT_6 = 6,
    EE_EVENT_DISCARDED = 7, ///< new blank model
};

/// The state after an event; one the state does not accept gives the error state.
int NextEquationEditorState(int state, int event);

/// The mask a state applies; `applies` is set false for states 0 and 4, which apply none.
std::uint32_t EquationEditorStateMask(int state, bool* applies = nullptr);
