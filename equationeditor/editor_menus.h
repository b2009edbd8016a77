// The equation editor window's menu "MN_QNEE", its control bar, its hints and
// its accelerator table.
#pragma once

#include "platform/qt/frame_window.h"
#include "platform/qt/menu_description.h"
#include "platform/qt/tool_bar.h"

#include <map>
#include <string>
#include <vector>

/// The accelerator table's number.
inline constexpr int kEquationEditorAccelerators = 350;

/// "MN_QNEE".
std::vector<platform::MenuItem> EquationEditorMenu();

/// The control bar: 101, 252 | 105 | 104 | 122 | 201, 205 | 901.
std::vector<platform::ToolButton> EquationEditorToolBar();

/// The hint each command shows in the status line while it is highlighted.
std::map<int, std::string> EquationEditorHints();

/// Accelerator table 350: F1 gives Help, Contents.
std::vector<platform::Accelerator> EquationEditorAccelerators();
