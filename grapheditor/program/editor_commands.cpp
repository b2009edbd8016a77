// The command table of the graph editor's main window.
#include "grapheditor/program/editor_commands.h"

namespace {

using platform::MenuItem;

/// Which mask bit enables a command, and what else it needs.
enum class Needs { Nothing, Parent, SubmodelSelected, Selection, MainModel };

struct CommandRule {
    int id;
    int bit;
    Needs needs;
};

const std::vector<CommandRule>& rules()
{
    static const std::vector<CommandRule> table = {
        {CM_NEW_GRAPH, 8, Needs::Nothing},
        {CM_NEW_WIZARD, 8, Needs::Nothing},
        {CM_NEW_BLANK, 8, Needs::Nothing},
        {CM_OPEN, 9, Needs::Nothing},
        {CM_SAVE, 10, Needs::Nothing},
        {CM_SAVE_AS, 11, Needs::Nothing},
        {CM_PRINTER_SETUP, 13, Needs::Nothing},
        {CM_PRINT, 12, Needs::Nothing},
        {CM_EXPORT_METAFILE, 13, Needs::Nothing},
        {CM_EXPORT_CLIPBOARD, 13, Needs::Nothing},
        {CM_EXIT, 14, Needs::Nothing},
        {CM_REDRAW_ALL, 15, Needs::Nothing},
        {CM_SHOW_PARENT, 16, Needs::Parent},
        {CM_SHOW_SUBMODEL, 17, Needs::SubmodelSelected},
        {CM_DELETE, 20, Needs::Nothing},
        {CM_ATTRIBUTES, 21, Needs::Selection},
        {CM_CONNECTIONS, 22, Needs::SubmodelSelected},
        {CM_TOOL_PROPERTIES, 24, Needs::Nothing},
        {CM_PROCESSOR_PROPERTIES, 24, Needs::Nothing},
        {CM_LIBRARY_PROPERTIES, 25, Needs::Nothing},
        {CM_CHECK_SAVE, 26, Needs::Nothing},
        {CM_CAUSAL_ANALYSIS, 28, Needs::MainModel},
        {CM_COMPLETE_PROCESSING, 29, Needs::MainModel},
        {CM_CCODE, 27, Needs::Nothing},
        {CM_SIMULATION, 5, Needs::MainModel},
        {CM_EQUATION_EDITOR, 30, Needs::Nothing},
        {CM_SIMULATOR, 30, Needs::Nothing},
        {CM_DRAW_POPUP, 30, Needs::Nothing},
        {CM_HELP_CONTENTS, 31, Needs::Nothing},
        {CM_HELP_DEMO, 31, Needs::Nothing},
        {CM_HELP_TUTORIAL, 31, Needs::Nothing},
        {CM_HELP_USING, 31, Needs::Nothing},
        {CM_HELP_ABOUT, 31, Needs::Nothing},
    };
    return table;
}

bool bitSet(std::uint32_t mask, int bit)
{
    return (mask >> bit) & 1u;
}

bool met(Needs needs, const CommandConditions& c)
{
    switch (needs) {
    case Needs::Nothing:
        return true;
    case Needs::Parent:
        return c.hasParent;
    case Needs::SubmodelSelected:
        return c.submodelSelected;
    case Needs::Selection:
        return c.somethingSelected;
    case Needs::MainModel:
        return !c.submodelShown;
    }
    return false;
}

} // namespace

bool CommandEnabled(int id, std::uint32_t mask, const CommandConditions& conditions)
{
    for (const CommandRule& rule : rules())
        if (rule.id == id)
            return bitSet(mask, rule.bit) && met(rule.needs, conditions);
    return false;
}

bool MenuBarEntryEnabled(int position, std::uint32_t mask, const CommandConditions& conditions)
{
    if (position < 0 || position > 7)
        return false;
    // The Simulation entry is a command of its own on the bar.
    if (position == 5)
        return bitSet(mask, 5) && !conditions.submodelShown;
    return bitSet(mask, position);
}

const std::vector<int>& EnabledCommandIds()
{
    static const std::vector<int> ids = [] {
        std::vector<int> all;
        for (const CommandRule& rule : rules())
            all.push_back(rule.id);
        for (int never : {CM_UNDO, CM_CUT, CM_COPY, CM_PASTE, CM_MODEL_PROPERTIES})
            all.push_back(never);
        return all;
    }();
    return ids;
}

std::vector<MenuItem> GraphEditorMenu()
{
    return {
        MenuItem::popup("&File", {MenuItem::popup("&New", {MenuItem::command("&Graphical model", CM_NEW_GRAPH),
                                                           MenuItem::command("Equation model (&wizard)...", CM_NEW_WIZARD),
                                                           MenuItem::command("Equation model (&blank)", CM_NEW_BLANK)}),
                                  MenuItem::command("&Open...", CM_OPEN), MenuItem::command("&Save", CM_SAVE),
                                  MenuItem::command("Save &As...", CM_SAVE_AS), MenuItem::separator(),
                                  MenuItem::command("Printer Setup...", CM_PRINTER_SETUP),
                                  MenuItem::command("&Print...", CM_PRINT), MenuItem::separator(),
                                  MenuItem::command("Export To &MetaFile", CM_EXPORT_METAFILE),
                                  MenuItem::command("Export To &Clipboard", CM_EXPORT_CLIPBOARD), MenuItem::separator(),
                                  MenuItem::command("&Exit", CM_EXIT)}),
        MenuItem::popup("&View", {MenuItem::command("&Redraw All", CM_REDRAW_ALL), MenuItem::separator(),
                                  MenuItem::command("Show &Parent", CM_SHOW_PARENT),
                                  MenuItem::command("Show &Submodel", CM_SHOW_SUBMODEL)}),
        MenuItem::popup("&Edit", {MenuItem::command("&Undo\tAlt+Bsp", CM_UNDO, true),
                                  MenuItem::command("&Cut\tShift+Del", CM_CUT, true),
                                  MenuItem::command("&Copy\tCtrl+Ins", CM_COPY, true),
                                  MenuItem::command("&Paste  \tShift+Ins", CM_PASTE, true),
                                  MenuItem::command("&Delete\tDel", CM_DELETE)}),
        MenuItem::popup("P&roperties", {MenuItem::command("&Attributes...", CM_ATTRIBUTES),
                                        MenuItem::command("&Connections...", CM_CONNECTIONS),
                                        MenuItem::command("&Model Properties...", CM_MODEL_PROPERTIES, true),
                                        MenuItem::separator(),
                                        MenuItem::command("&Tool Properties...", CM_TOOL_PROPERTIES),
                                        MenuItem::command("Model &Processor Properties...", CM_PROCESSOR_PROPERTIES),
                                        MenuItem::command("&Library Properties...", CM_LIBRARY_PROPERTIES)}),
        MenuItem::popup("&Process", {MenuItem::command("&Check && Save KELDOR", CM_CHECK_SAVE),
                                     MenuItem::command("Causal &Analysis", CM_CAUSAL_ANALYSIS),
                                     MenuItem::command("Complete &Processing", CM_COMPLETE_PROCESSING),
                                     MenuItem::separator(), MenuItem::command("C-Code Generation", CM_CCODE)}),
        MenuItem::command("&Simulation", CM_SIMULATION),
        MenuItem::popup("&Window", {MenuItem::command("&Equation Editor", CM_EQUATION_EDITOR),
                                    MenuItem::command("&Simulator", CM_SIMULATOR), MenuItem::separator(),
                                    MenuItem::command("&Draw Popup", CM_DRAW_POPUP)}),
        MenuItem::popup("&Help", {MenuItem::command("&Contents", CM_HELP_CONTENTS),
                                  MenuItem::command("&Demo Models", CM_HELP_DEMO),
                                  MenuItem::command("&Tutorial", CM_HELP_TUTORIAL),
                                  MenuItem::command("&Using help", CM_HELP_USING), MenuItem::separator(),
                                  MenuItem::command("&About...", CM_HELP_ABOUT)}),
    };
}

std::vector<MenuItem> CanvasPopupMenu()
{
    return {MenuItem::command("Attributes", CM_ATTRIBUTES),         MenuItem::command("Connections", CM_CONNECTIONS),
            MenuItem::command("Show Parent", CM_SHOW_PARENT),       MenuItem::command("Show Submodel", CM_SHOW_SUBMODEL),
            MenuItem::command("C-Code Generation", CM_CCODE),       MenuItem::command("Print", CM_PRINT)};
}

std::vector<platform::ToolButton> GraphEditorToolBar()
{
    using platform::ToolButton;
    return {ToolButton::button(CM_OPEN),           ToolButton::button(CM_SAVE),          ToolButton::separator(),
            ToolButton::button(CM_PRINT),          ToolButton::separator(),              ToolButton::button(CM_LIBRARY_PROPERTIES),
            ToolButton::separator(),               ToolButton::button(CM_SHOW_PARENT),   ToolButton::button(CM_SHOW_SUBMODEL),
            ToolButton::separator(),               ToolButton::button(CM_SIMULATION),    ToolButton::separator(),
            ToolButton::button(CM_EQUATION_EDITOR), ToolButton::button(CM_SIMULATOR),    ToolButton::separator(),
            ToolButton::button(CM_HELP_CONTENTS)};
}

std::vector<platform::Accelerator> GraphEditorAccelerators()
{
    return {{"Shift+Del", CM_CUT},   {"F1", CM_HELP_CONTENTS}, {"Ctrl+F4", CM_CLOSE_CHILD}, {"Shift+Ins", CM_PASTE},
            {"Ctrl+Ins", CM_COPY},   {"Alt+Backspace", CM_UNDO}, {"Del", CM_DELETE}};
}

std::map<int, std::string> GraphEditorHints()
{
    const std::string notAvailable = "Not available";
    return {
        {CM_NEW_GRAPH, "Opens a new graph model"},
        {CM_OPEN, "Opens a graph or equation model"},
        {CM_SAVE, "Check & Save the current model"},
        {CM_SAVE_AS, "Check and store the current model under a new name"},
        {CM_LIBRARY_PROPERTIES, "Opens the library properties dialog"},
        {CM_PRINT, "Prints the current model"},
        {CM_PRINTER_SETUP, "Opens the printer setup"},
        {CM_EXPORT_METAFILE, "Exports the current drawing to a metafile"},
        {CM_EXPORT_CLIPBOARD, "Exports the current drawing to the clipboard"},
        {CM_NEW_WIZARD, "Opens the equation wizard editor"},
        {CM_NEW_BLANK, "Starts a new blank equation model"},
        {CM_SHOW_PARENT, "Show the parent of the current model"},
        {CM_SHOW_SUBMODEL, "Show the submodel of the selected model"},
        {CM_SIMULATION, "Perform a complete process action if necessary and start the simulator if succesfull"},
        {CM_CUT, notAvailable},
        {CM_COPY, notAvailable},
        {CM_PASTE, notAvailable},
        {CM_UNDO, notAvailable},
        {CM_DELETE, notAvailable},
        {CM_EQUATION_EDITOR, "Opens the equation editor"},
        {CM_SIMULATOR, "Opens the simulator"},
        {CM_CHECK_SAVE, "Check and save the current model"},
        {CM_CAUSAL_ANALYSIS, "Perform a causal analysis on the current model"},
        {CM_REDRAW_ALL, "Redraw the complete model"},
        {CM_COMPLETE_PROCESSING, "Perform a complete processing action on the current model"},
        {CM_CONNECTIONS, "Opens the connection editor dialog"},
        {CM_ATTRIBUTES, "Opens the attributes editor dialog"},
        {CM_MODEL_PROPERTIES, "Opens the model properties dialog"},
        {CM_TOOL_PROPERTIES, "Opens the tool properties dialog"},
        {CM_DRAW_POPUP, "Shows the draw popup"},
        {CM_PROCESSOR_PROPERTIES, "Opens the model processor properties dialog"},
        {CM_CCODE, "Generate C-Code for main model, or submodel"},
        {CM_HELP_ABOUT, "Opens the about dialog"},
        {CM_HELP_CONTENTS, "Opens the help for ORVANTA"},
        {CM_HELP_DEMO, "Opens the help on the demo models"},
        {CM_HELP_TUTORIAL, "Opens the help on the tutorial models"},
        {CM_HELP_USING, "Help about help"},
        {CM_EXIT, "Exit the program"},
    };
}
