// The editor's state table and the command masks of its states.
#include "grapheditor/program/editor_state.h"

namespace {

constexpr int kStates = 7;
constexpr int kEvents = 7;

// Rows: states 0-6; columns: events 1-7.
constexpr int kTransitions[kStates][kEvents] = {
    {1, 6, 6, 6, 6, 6, 6},
    {6, 3, 2, 6, 1, 6, 6},
    {6, 2, 2, 2, 1, 4, 6},
    {6, 3, 2, 2, 1, 5, 6},
    {6, 4, 2, 4, 1, 6, 2},
    {6, 5, 2, 4, 1, 6, 3},
    {6, 6, 6, 6, 6, 6, 6},
};

// A selection adds Delete, Attributes and Connections (bits 20-22) to what its model
// allows: an untitled model with a selection is processed as one without, once it is named.
constexpr std::uint32_t kMasks[kStates] = {
    0xFF73FFFF, 0xC30043CF, 0xFF03FFFF, 0xFF03FBDF, 0xFF73FFFF, 0xFF73FBDF, 0,
};

} // namespace

int NextEditorState(int state, int event)
{
    if (state < 0 || state >= kStates || event < 1 || event > kEvents)
        return STATE_ERROR;
    return kTransitions[state][event - 1];
}

std::uint32_t StateCommandMask(int state)
{
    return state >= 0 && state < kStates ? kMasks[state] : 0;
}

int EditorStateMachine::send(int event)
{
    m_state = NextEditorState(m_state, event);
    m_mask = StateCommandMask(m_state);
    return m_state;
}

void EditorStateMachine::reset()
{
    m_state = STATE_START;
    m_mask = StateCommandMask(STATE_START);
}
