// The messages the simulator's main window takes besides the suite's own.
#pragma once

#include "platform/core/message_numbers.h"

/// Command N of the window arrives as this message plus N.
inline constexpr platform::MessageNumber SM_COMMAND_BASE = 0xA000;

/// For a program that drives the simulator (the example run, whole-program tests). A
/// simulator started with -cmpnt posts each of its status texts to that window as
/// UM_STATUS_TEXT, so that the driver can follow what it does.
/// Loads the experiment named in the text from the model's experiment directory.
inline constexpr platform::MessageNumber SM_OPEN_EXPERIMENT = platform::WM_USER + 0x101;
/// Saves what the plot window shows as a PNG file in the model's experiment folder, under the
/// bare name in the text (letters, digits and '_', with or without ".png"); a name with a path
/// is refused by a message that names it.
inline constexpr platform::MessageNumber SM_SAVE_PLOT_PICTURE = platform::WM_USER + 0x102;
/// Posted by a simulator started with -cmpnt to that window as each of its message and
/// confirm boxes opens: the box's lines joined by line feeds. A box waits for a person,
/// so a driver without one knows why the simulator stopped (a refused run, a failed load).
inline constexpr platform::MessageNumber SM_BOX_TEXT = platform::WM_USER + 0x103;
