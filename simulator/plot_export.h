// The plot on paper and as a picture: printing scaled to the page, and the metafile
// written to the experiment's ".wmf" file or put on the clipboard.
#pragma once

#include "platform/core/device_context.h"

/// The size of a clipboard picture of the plot, in hundredths of a millimetre.
struct PictureExtents {
    int x = 0;
    int y = 0;
    bool operator==(const PictureExtents&) const = default;
};

/// The picture's size for a plot whose area ends at (right, bottom) and is `width` wide:
/// the plot area 250 mm wide, no side above 65535 units, the aspect of right / bottom kept.
PictureExtents ClipboardPictureExtents(int right, int bottom, int width);

/// Prints the whole plot on a page of that size in device pixels, scaled as the window
/// fits the page; with `printerFacts` colours and dashes follow what the printer can do.
/// False when there is no plot window to take the layout from.
bool PrintPlot(platform::DeviceContext& printer, int pageWidth, int pageHeight, bool printerFacts);

/// Draws the whole plot as a picture: anisotropic mapping of a window 1.1 times the plot
/// area's right and bottom, transparent texts aligned left-top.
void DrawPlotPicture(platform::DeviceContext& dc);

/// "Simulation To MetaFile" (toFile 1: the experiment's ".wmf" in the working directory's
/// folder of the model) or "Simulation To Clipboard" (0); false after its message.
bool CopySimulationToMetafile(int toFile);
