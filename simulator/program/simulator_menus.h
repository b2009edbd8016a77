// The simulator window's menus, tool bar and pop-up menu, and its command table:
// each command's label and the bit of the command mask that enables it.
#pragma once

#include "platform/qt/menu_description.h"
#include "platform/qt/tool_bar.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

/// Command ids of the simulator window.
enum SimulatorCommand {
    CM_OPEN_MODEL = 101, CM_CCODE = 102, CM_LIBRARY_PROPS = 104, CM_PRINT_SIMULATION = 105,
    CM_PRINTER_SETUP = 106, CM_SIM_TO_METAFILE = 107, CM_SIM_TO_CLIPBOARD = 108, CM_OPEN_EXPERIMENT = 110,
    CM_SAVE_EXPERIMENT = 111, CM_SAVE_EXPERIMENT_AS = 112, CM_PRINT_EXPERIMENT = 113,
    CM_EXPERIMENT_TO_CLIPBOARD = 114, CM_GRAPH_EDITOR = 201, CM_EQUATION_EDITOR = 202, CM_REDRAW = 256,
    CM_TOOL_PROPS = 265, CM_PLOT_REFRESH = 266, CM_SQUARE_PLOT = 267, CM_CAMERA_CONTROLLER = 268,
    CM_MESSAGES = 269, CM_NUMERICAL_VALUES = 270, CM_PARAMETERS = 271, CM_INITIAL_CONDITIONS = 272,
    CM_RUN_SPECS = 273, CM_PLOT_SPECS = 274, CM_STICK_SPECS = 275, CM_CAMERA_SPECS = 276,
    CM_START_SIMULATION = 277, CM_READ_DATAFILE = 278, CM_CONTINUE_SIMULATION = 279, CM_INTERRUPT = 280,
    CM_CLEAR_LAST_RUN = 281, CM_CLEAR_PREVIOUS_RUNS = 282, CM_CLEAR_ALL_RUNS = 283, CM_MULTIPLE_RUN_SPECS = 284,
    CM_START_MULTIPLE_RUN = 285, CM_DISTRIBUTE_CURVES = 286, CM_ABOUT = 900, CM_HELP_CONTENTS = 901,
    CM_HELP_DEMO_MODELS = 902, CM_HELP_TUTORIAL = 903, CM_HELP_USING = 905, CM_SIM_EXIT = 24310,
};

/// A command's enable bit: 0..31, or one of these.
inline constexpr int AlwaysEnabled = -1;
inline constexpr int NeverEnabled = -2;

struct CommandRow {
    int id;
    const char* label; ///< the menu's label, or the pop-up's for a command that has no menu item
    int bit;
};

/// Every command of the window, in the order of the menus.
const std::vector<CommandRow>& SimulatorCommands();

/// The command's row; null for an id the window does not have.
const CommandRow* FindSimulatorCommand(int id);

/// Whether the mask enables the command (false for an unknown id).
bool CommandEnabled(int id, std::uint32_t mask);

/// The bits that enable the menu-bar entries, by position ("&Interrupt" at 5 is a command).
inline constexpr std::array<int, 8> MenuBarBits = {0, 1, 2, 3, 4, 5, 31, 6};

/// "MN_QNSIM".
std::vector<platform::MenuItem> SimulatorMenu();
/// The tool bar's buttons and separators.
std::vector<platform::ToolButton> SimulatorToolBar();
/// The right button's pop-up menu, greyed by the mask.
std::vector<platform::MenuItem> SimulatorPopupMenu(std::uint32_t mask);

/// The text the status line shows for a command under the mouse: its label without the
/// mnemonic mark, the accelerator text and the trailing dots.
std::string CommandHintText(int id);
