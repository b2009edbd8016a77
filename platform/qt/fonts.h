// Fonts of windows and dialogs: the pinned family at pixel sizes, and dialog
// units measured in it, so that layouts come out alike on every machine.
#pragma once

#include "platform/core/device_context.h"

#include <QFont>

namespace platform {

/// The widget font of a font description (family, pixel height, weight).
QFont widgetFont(const FontSpec& font);

/// The pinned font every window and dialog starts with.
QFont pinnedFont();

/// A font's dialog base units: the average width of a letter and the height
/// of a line, as dialog layouts measure them.
struct DialogBaseUnits {
    int x = 0;
    int y = 0;
};
DialogBaseUnits dialogBaseUnits(const QFont& font);

/// Dialog units of the pinned font in pixels (four to an average letter
/// across, eight to a line down).
int dialogUnitsToPixelsX(int units);
int dialogUnitsToPixelsY(int units);

} // namespace platform
