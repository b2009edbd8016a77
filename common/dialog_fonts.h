// The two fonts every dialog and canvas of the suite sets on its controls,
// shared by the whole program.
#pragma once

#include "platform/core/device_context.h"

/// The dialog font: the pinned family at the dialog size, normal weight.
/// Made on first use; the same object until `DeleteDialogFonts`.
const platform::FontSpec* GetDialogFont();

/// The bold twin of the dialog font.
const platform::FontSpec* GetBoldDialogFont();

/// Deletes both fonts when they exist (the main windows' destructors call
/// it); a later call makes them anew.
void DeleteDialogFonts();

/// Called at the end of every dialog's set-up; it does nothing.
void DialogSetupHook(const void* dialog = nullptr);
