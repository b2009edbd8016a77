// The graph editor's state machine: which model is shown and whether something
// is selected decide the command-enabling mask of the main window.
#pragma once

#include <cstdint>

/// States of the editor.
enum EditorState : int {
    STATE_START = 0,
    STATE_NO_MODEL = 1,
    STATE_NAMED = 2,
    STATE_UNTITLED = 3,
    STATE_NAMED_SELECTION = 4,
    STATE_UNTITLED_SELECTION = 5,
    STATE_ERROR = 6,
};

/// Events the editor's commands send.
enum EditorEvent : int {
    EVENT_STARTED = 1,
    EVENT_CHANGED = 2,  ///< edited flag changed, processing finished, another level shown
    EVENT_OPENED = 3,   ///< model opened or named
    EVENT_SAVED = 4,
    EVENT_CLEARED = 5,  ///< new model
    EVENT_SELECTED = 6,
    EVENT_DESELECTED = 7,
};

/// The state after an event; an event the state does not allow leads to the error state.
int NextEditorState(int state, int event);

/// The command-enabling mask of a state (0 in the error state): bits 0-7 the
/// top-level menus, bits 8-31 the commands.
std::uint32_t StateCommandMask(int state);

/// The editor's state and mask.
class EditorStateMachine {
public:
    /// Moves on the event and sets the mask from the new state; the new state.
    int send(int event);

    int state() const { return m_state; }
    std::uint32_t mask() const { return m_mask; }
    /// Back to the start state (a new editor).
    void reset();

private:
    int m_state = STATE_START;
    std::uint32_t m_mask = 0xFF73FFFF;
};
