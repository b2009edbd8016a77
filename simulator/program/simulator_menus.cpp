// The simulator window's menus and command table.
#include "simulator/program/simulator_menus.h"

#include <algorithm>

using platform::MenuItem;
using platform::ToolButton;

const std::vector<CommandRow>& SimulatorCommands()
{
    static const std::vector<CommandRow> rows = {
        {CM_OPEN_MODEL, "&Open Model...", 7},
        {CM_OPEN_EXPERIMENT, "Open E&xperiment...", 8},
        {CM_SAVE_EXPERIMENT, "&Save Experiment", 9},
        {CM_SAVE_EXPERIMENT_AS, "Save Experiment &As...", 10},
        {CM_PRINT_SIMULATION, "&Print Simulation", 11},
        {CM_PRINT_EXPERIMENT, "Pr&int Experiment...", 11},
        {CM_PRINTER_SETUP, "P&rinter Setup...", 11},
        {CM_SIM_TO_METAFILE, "Simulation To &MetaFile", 11},
        {CM_SIM_TO_CLIPBOARD, "Simulation To &Clipboard", 11},
        {CM_EXPERIMENT_TO_CLIPBOARD, "&Experiment To Clipboard", 12},
        {CM_SIM_EXIT, "&Exit", AlwaysEnabled},
        {CM_REDRAW, "&Redraw", 13},
        {CM_PLOT_REFRESH, "Refresh", 14},
        {CM_SQUARE_PLOT, "&Square Plot", 14},
        {CM_CAMERA_CONTROLLER, "C&amera Controller...", NeverEnabled},
        {CM_MESSAGES, "&Messages...", 15},
        {CM_NUMERICAL_VALUES, "&Numerical Values...", 16},
        {CM_TOOL_PROPS, "&Tool Properties...", 17},
        {CM_LIBRARY_PROPS, "&Library Properties...", 18},
        {CM_PARAMETERS, "&Parameters...", 19},
        {CM_INITIAL_CONDITIONS, "&Initial Conditions...", 19},
        {CM_RUN_SPECS, "&Run Specifications...", 19},
        {CM_MULTIPLE_RUN_SPECS, "Multiple-Run Specs...", 19},
        {CM_PLOT_SPECS, "P&lot Specifications...", 19},
        {CM_STICK_SPECS, "&Stick Specifications...", NeverEnabled},
        {CM_CAMERA_SPECS, "&Camera Specifications...", NeverEnabled},
        {CM_CCODE, "C-Code Generation", 20},
        {CM_START_SIMULATION, "&Start Simulation", 21},
        {CM_CONTINUE_SIMULATION, "&Continue Simulation", 22},
        {CM_START_MULTIPLE_RUN, "Start &Multiple Run Simulation", 23},
        {CM_READ_DATAFILE, "&Read Datafile", 24},
        {CM_CLEAR_LAST_RUN, "Clear &Last Run", 27},
        {CM_CLEAR_PREVIOUS_RUNS, "Clear &Previous Runs", 28},
        {CM_CLEAR_ALL_RUNS, "Clear &All Runs", 29},
        {CM_DISTRIBUTE_CURVES, "&Distribute Curves", 29},
        {CM_INTERRUPT, "&Interrupt", 5},
        {CM_GRAPH_EDITOR, "&Graph Editor", 31},
        {CM_EQUATION_EDITOR, "&Equation Editor", 31},
        {CM_HELP_CONTENTS, "&Contents\tF1", 30},
        {CM_HELP_DEMO_MODELS, "&Demo Models", 30},
        {CM_HELP_TUTORIAL, "&Tutorial", 30},
        {CM_HELP_USING, "&Using help", 30},
        {CM_ABOUT, "&About...", 31},
    };
    return rows;
}

const CommandRow* FindSimulatorCommand(int id)
{
    const auto& rows = SimulatorCommands();
    const auto it = std::find_if(rows.begin(), rows.end(), [id](const CommandRow& row) { return row.id == id; });
    return it == rows.end() ? nullptr : &*it;
}

bool CommandEnabled(int id, std::uint32_t mask)
{
    const CommandRow* row = FindSimulatorCommand(id);
    if (!row || row->bit == NeverEnabled)
        return false;
    return row->bit == AlwaysEnabled || (mask >> row->bit & 1u) != 0;
}

namespace {

MenuItem item(int id, bool grayed = false)
{
    return MenuItem::command(FindSimulatorCommand(id)->label, id, grayed);
}

} // namespace

std::vector<MenuItem> SimulatorMenu()
{
    return {
        MenuItem::popup("&File", {item(CM_OPEN_MODEL), item(CM_OPEN_EXPERIMENT), item(CM_SAVE_EXPERIMENT),
                                  item(CM_SAVE_EXPERIMENT_AS), MenuItem::separator(), item(CM_PRINT_SIMULATION),
                                  item(CM_PRINT_EXPERIMENT), item(CM_PRINTER_SETUP), MenuItem::separator(),
                                  MenuItem::popup("Expor&t", {item(CM_SIM_TO_METAFILE), item(CM_SIM_TO_CLIPBOARD),
                                                              item(CM_EXPERIMENT_TO_CLIPBOARD)}),
                                  MenuItem::separator(), item(CM_SIM_EXIT)}),
        MenuItem::popup("&View", {item(CM_REDRAW), item(CM_SQUARE_PLOT), MenuItem::separator(),
                                  item(CM_CAMERA_CONTROLLER, true), MenuItem::separator(), item(CM_MESSAGES),
                                  item(CM_NUMERICAL_VALUES)}),
        MenuItem::popup("&Properties", {item(CM_TOOL_PROPS), item(CM_LIBRARY_PROPS)}),
        MenuItem::popup("&Experiment", {item(CM_PARAMETERS), item(CM_INITIAL_CONDITIONS), item(CM_RUN_SPECS),
                                        item(CM_MULTIPLE_RUN_SPECS), item(CM_PLOT_SPECS),
                                        item(CM_STICK_SPECS, true), item(CM_CAMERA_SPECS, true),
                                        MenuItem::separator(), item(CM_CCODE)}),
        MenuItem::popup("&Action", {item(CM_START_SIMULATION), item(CM_CONTINUE_SIMULATION),
                                    item(CM_START_MULTIPLE_RUN), item(CM_READ_DATAFILE), MenuItem::separator(),
                                    item(CM_CLEAR_LAST_RUN, true), item(CM_CLEAR_PREVIOUS_RUNS, true),
                                    item(CM_CLEAR_ALL_RUNS, true), MenuItem::separator(),
                                    item(CM_DISTRIBUTE_CURVES, true)}),
        item(CM_INTERRUPT),
        MenuItem::popup("&Window", {item(CM_GRAPH_EDITOR), item(CM_EQUATION_EDITOR)}),
        MenuItem::popup("&Help", {item(CM_HELP_CONTENTS, true), item(CM_HELP_DEMO_MODELS), item(CM_HELP_TUTORIAL),
                                  item(CM_HELP_USING, true), MenuItem::separator(), item(CM_ABOUT)}),
    };
}

std::vector<ToolButton> SimulatorToolBar()
{
    const auto b = [](int id) { return ToolButton::button(id); };
    const ToolButton gap = ToolButton::separator();
    return {ToolButton::button(CM_OPEN_MODEL, 240), b(CM_OPEN_EXPERIMENT), b(CM_SAVE_EXPERIMENT), gap,
            b(CM_PRINT_SIMULATION), gap, b(CM_LIBRARY_PROPS), gap, b(CM_PARAMETERS), b(CM_INITIAL_CONDITIONS),
            b(CM_RUN_SPECS), b(CM_MULTIPLE_RUN_SPECS), b(CM_PLOT_SPECS), gap, b(CM_START_SIMULATION),
            b(CM_START_MULTIPLE_RUN), b(CM_INTERRUPT), gap, b(CM_NUMERICAL_VALUES), gap, b(CM_DISTRIBUTE_CURVES), gap,
            b(CM_CLEAR_LAST_RUN), b(CM_CLEAR_PREVIOUS_RUNS), b(CM_CLEAR_ALL_RUNS), gap, b(CM_GRAPH_EDITOR),
            b(CM_EQUATION_EDITOR), gap, b(CM_HELP_CONTENTS)};
}

std::vector<MenuItem> SimulatorPopupMenu(std::uint32_t mask)
{
    const auto entry = [mask](const char* label, int id) {
        return MenuItem::command(label, id, !CommandEnabled(id, mask));
    };
    return {entry("Redraw", CM_REDRAW),
            entry("Clear Last", CM_CLEAR_LAST_RUN),
            entry("Clear Previous", CM_CLEAR_PREVIOUS_RUNS),
            entry("Clear All", CM_CLEAR_ALL_RUNS),
            MenuItem::separator(),
            entry("Square/Maximal Plot", CM_SQUARE_PLOT),
            entry("Numerical Values...", CM_NUMERICAL_VALUES),
            MenuItem::separator(),
            entry("Print Experiment", CM_PRINT_EXPERIMENT),
            entry("Print Simulation", CM_PRINT_SIMULATION)};
}

std::string CommandHintText(int id)
{
    const CommandRow* row = FindSimulatorCommand(id);
    if (!row)
        return {};
    std::string text;
    for (const char* c = row->label; *c && *c != '\t'; ++c)
        if (*c != '&')
            text += *c;
    while (!text.empty() && text.back() == '.')
        text.pop_back();
    return text;
}
