// The equation editor's command bits and state machine.
#include "equationeditor/editor_state.h"

#include <array>
#include <utility>

namespace {

/// Each masked command with its bit, in menu order.
constexpr std::array<std::pair<int, int>, 22> kCommandBits = {{
    {EE_NEW_WIZARD, 7},      {EE_NEW_BLANK, 7},       {EE_OPEN, 8},
    {EE_SAVE, 9},            {EE_SAVE_AS, 10},        {EE_PRINT, 11},
    {EE_PRINTER_SETUP, 12},  {EE_TEMPLATE, 13},       {EE_EXIT, 31},
    {EE_TOOL_PROPERTIES, 23}, {EE_PROCESSOR_PROPERTIES, 23}, {EE_LIBRARY_PROPERTIES, 24},
    {EE_CHECK_SAVE, 25},     {EE_COMPLETE_PROCESSING, 26}, {EE_SIMULATION, 5},
    {EE_GRAPH_EDITOR, 27},   {EE_SIMULATOR, 28},      {EE_HELP_CONTENTS, 31},
    {EE_HELP_DEMO, 31},      {EE_HELP_TUTORIAL, 31},  {EE_HELP_USING, 31},
    {EE_HELP_ABOUT, 31},
}};

bool alwaysEnabled(int id)
{
    return id == EE_EXIT || id == EE_HELP_CONTENTS || id == EE_HELP_DEMO || id == EE_HELP_TUTORIAL ||
           id == EE_HELP_USING || id == EE_HELP_ABOUT;
}

} // namespace

int CommandBit(int id)
{
    for (const auto& [command, bit] : kCommandBits)
        if (command == id)
            return bit;
    return -1;
}

bool CommandEnabled(int id, std::uint32_t mask)
{
    if (alwaysEnabled(id))
        return true;
    const int bit = CommandBit(id);
    if (bit < 0)
        return id >= EE_UNDO; // the edit control's own commands
    return (mask >> bit) & 1u;
}

const std::vector<int>& MaskedCommandIds()
{
    static const std::vector<int> ids = [] {
        std::vector<int> out;
        for (const auto& row : kCommandBits)
            out.push_back(row.first);
        return out;
    }();
    return ids;
}

int NextEquationEditorState(int state, int event)
{
    constexpr int E = EE_STATE_ERROR;
    // Rows: states 0-4; columns: events 1-7. State 1 takes a plain save under
    // a name (event 4) to state 2, so that a named model never stays blank.
    static constexpr int kNext[5][7] = {
        {1, E, E, E, E, E, E},
        {E, 3, 2, 2, E, E, 1},
        {E, 2, 2, 2, 2, 2, 1},
        {E, 3, 2, 2, 2, 1, 1},
        {E, E, E, E, E, E, E},
    };
    if (state < 0 || state > 4 || event < 1 || event > 7)
        return E;
    return kNext[state][event - 1];
}

std::uint32_t EquationEditorStateMask(int state, bool* applies)
{
    std::uint32_t mask = 0;
    bool set = true;
    switch (state) {
    case EE_STATE_BLANK:
        mask = 0x998021cbu;
        break;
    case EE_STATE_NAMED:
        mask = 0xffffffffu;
        break;
    case EE_STATE_NEW:
        mask = 0x9b803ddfu;
        break;
    default:
        set = false;
        break;
    }
    if (applies)
        *applies = set;
    return mask;
}
