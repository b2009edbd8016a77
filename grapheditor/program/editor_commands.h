// The graph editor's commands: their ids, the main menu, the tool bar, the
// canvas pop-up, the accelerators, the hints, and which commands the
// command-enabling mask and the shown model allow.
#pragma once

#include "platform/qt/frame_window.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

/// Command ids of the main window.
enum GraphEditorCommand : int {
    CM_NEW_GRAPH = 100,
    CM_OPEN = 101,
    CM_SAVE = 102,
    CM_SAVE_AS = 103,
    CM_LIBRARY_PROPERTIES = 104,
    CM_PRINT = 105,
    CM_PRINTER_SETUP = 106,
    CM_EXPORT_METAFILE = 107,
    CM_EXPORT_CLIPBOARD = 108,
    CM_CLOSE_CHILD = 109, ///< Ctrl+F4; nothing handles it
    CM_NEW_WIZARD = 115,
    CM_NEW_BLANK = 116,
    CM_SHOW_PARENT = 120,
    CM_SHOW_SUBMODEL = 121,
    CM_SIMULATION = 122,
    CM_CUT = 150,
    CM_COPY = 151,
    CM_PASTE = 152,
    CM_UNDO = 153,
    CM_DELETE = 154,
    CM_EQUATION_EDITOR = 202,
    CM_SIMULATOR = 205,
    CM_CHECK_SAVE = 252,
    CM_CAUSAL_ANALYSIS = 253,
    CM_REDRAW_ALL = 256,
    CM_COMPLETE_PROCESSING = 258,
    CM_CONNECTIONS = 259,
    CM_ATTRIBUTES = 260,
    CM_MODEL_PROPERTIES = 261,
    CM_TOOL_PROPERTIES = 262,
    CM_DRAW_POPUP = 263,
    CM_PROCESSOR_PROPERTIES = 264,
    CM_CCODE = 265,
    CM_HELP_ABOUT = 900,
    CM_HELP_CONTENTS = 901,
    CM_HELP_DEMO = 902,
    CM_HELP_TUTORIAL = 903,
    CM_HELP_USING = 905,
    CM_EXIT = 24310,
};

/// The accelerator table's number.
inline constexpr int kAcceleratorTable = 351;

/// What the command enablers look at besides the mask.
struct CommandConditions {
    bool hasParent = false;         ///< a level is on the parent chain
    bool somethingSelected = false;
    bool submodelSelected = false;
    bool submodelShown = false;     ///< the model shown has an interface (a PIO)
};

/// Whether the command is enabled; false for ids without a rule (Undo, Cut,
/// Copy, Paste, Model Properties and unknown ids).
bool CommandEnabled(int id, std::uint32_t mask, const CommandConditions& conditions);

/// Whether the top-level menu entry at a position (0-7) is enabled.
bool MenuBarEntryEnabled(int position, std::uint32_t mask, const CommandConditions& conditions);

/// The commands the enablers set, in menu order.
const std::vector<int>& EnabledCommandIds();

/// The main menu "MN_QNBGE".
std::vector<platform::MenuItem> GraphEditorMenu();

/// The canvas pop-up menu.
std::vector<platform::MenuItem> CanvasPopupMenu();

/// The control bar's buttons.
std::vector<platform::ToolButton> GraphEditorToolBar();

/// Accelerator table 351.
std::vector<platform::Accelerator> GraphEditorAccelerators();

/// The status-line hint of every command.
std::map<int, std::string> GraphEditorHints();
