// The equation editor window's menu, control bar, hints and accelerators.
#include "equationeditor/editor_menus.h"

#include "equationeditor/editor_state.h"

using platform::MenuItem;
using platform::ToolButton;

std::vector<MenuItem> EquationEditorMenu()
{
    return {
        MenuItem::popup("&File", {
            MenuItem::popup("&New", {
                MenuItem::command("Use &Wizard...", EE_NEW_WIZARD),
                MenuItem::command("&Blank Document", EE_NEW_BLANK),
            }),
            MenuItem::command("&Open...", EE_OPEN),
            MenuItem::command("&Save", EE_SAVE),
            MenuItem::command("Save &as...", EE_SAVE_AS),
            MenuItem::separator(),
            MenuItem::command("&Print...", EE_PRINT),
            MenuItem::command("Printer Setup...", EE_PRINTER_SETUP),
            MenuItem::separator(),
            MenuItem::command("&Template", EE_TEMPLATE),
            MenuItem::separator(),
            MenuItem::command("&Exit\tAlt+F4", EE_EXIT),
        }),
        MenuItem::popup("&Edit", {
            MenuItem::command("&Undo", EE_UNDO),
            MenuItem::separator(),
            MenuItem::command("&Cut", EE_CUT),
            MenuItem::command("C&opy", EE_COPY),
            MenuItem::command("&Paste", EE_PASTE),
            MenuItem::command("&Delete", EE_DELETE),
        }),
        MenuItem::popup("&Search", {
            MenuItem::command("&Find...", EE_FIND),
            MenuItem::command("&Replace...", EE_REPLACE),
            MenuItem::command("&Next", EE_FIND_NEXT),
        }),
        MenuItem::popup("&Properties", {
            MenuItem::command("&Tool Properties...", EE_TOOL_PROPERTIES),
            MenuItem::command("&Model Processor Properties...", EE_PROCESSOR_PROPERTIES),
            MenuItem::command("&Library Properties...", EE_LIBRARY_PROPERTIES),
        }),
        MenuItem::popup("P&rocess", {
            MenuItem::command("&Check && Save...", EE_CHECK_SAVE),
            MenuItem::command("&Complete Processing", EE_COMPLETE_PROCESSING),
            MenuItem::command("Si&mulation", EE_SIMULATION),
        }),
        MenuItem::popup("&Window", {
            MenuItem::command("&Graph Editor", EE_GRAPH_EDITOR),
            MenuItem::command("&Simulator", EE_SIMULATOR),
        }),
        MenuItem::popup("&Help", {
            MenuItem::command("&Contents", EE_HELP_CONTENTS),
            MenuItem::command("&Demo Models", EE_HELP_DEMO),
            MenuItem::command("&Tutorial", EE_HELP_TUTORIAL),
            MenuItem::command("&Using Help", EE_HELP_USING),
            MenuItem::separator(),
            MenuItem::command("&About...", EE_HELP_ABOUT),
        }),
    };
}

std::vector<ToolButton> EquationEditorToolBar()
{
    return {
        ToolButton::button(EE_OPEN), ToolButton::button(EE_CHECK_SAVE), ToolButton::separator(),
        ToolButton::button(EE_PRINT), ToolButton::separator(),
        ToolButton::button(EE_LIBRARY_PROPERTIES), ToolButton::separator(),
        ToolButton::button(EE_SIMULATION), ToolButton::separator(),
        ToolButton::button(EE_GRAPH_EDITOR), ToolButton::button(EE_SIMULATOR), ToolButton::separator(),
        ToolButton::button(EE_HELP_CONTENTS),
    };
}

std::map<int, std::string> EquationEditorHints()
{
    return {
        {EE_NEW_WIZARD, "Use the wizard to create a new equation model"},
        {EE_NEW_BLANK, "Create a new graph model"},
        {EE_OPEN, "Open an equation model"},
        {EE_SAVE, "Check and save the current model"},
        {EE_SAVE_AS, "Check and save the model under a different name"},
        {EE_PRINT, "Print the contents of the current model"},
        {EE_PRINTER_SETUP, "Open the print setup dialog"},
        {EE_TEMPLATE, "Brief description of the Keldor-language"},
        {EE_TOOL_PROPERTIES, "Opens the equation editor properties dialog"},
        {EE_PROCESSOR_PROPERTIES, "Opens the model processor properties dialog"},
        {EE_LIBRARY_PROPERTIES, "Opens the library properties dialog"},
        {EE_CHECK_SAVE, "Check and save the current model"},
        {EE_COMPLETE_PROCESSING, "Do a complete process of the current model"},
        {EE_SIMULATION, "Do a complete process action and when succesfull opens a simulator window"},
        {EE_GRAPH_EDITOR, "Starts the graph editor"},
        {EE_SIMULATOR, "Starts the simulator"},
        {EE_HELP_CONTENTS, "Opens the help file"},
        {EE_HELP_DEMO, "Opens the demo help files for the demo models"},
        {EE_HELP_TUTORIAL, "Opens the tutorial help files"},
        {EE_HELP_USING, "Shows help on help"},
        {EE_HELP_ABOUT, "Shows the about box"},
    };
}

std::vector<platform::Accelerator> EquationEditorAccelerators()
{
    return {{"F1", EE_HELP_CONTENTS}};
}
