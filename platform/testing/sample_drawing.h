// Test support: one drawing that uses every primitive of the drawing
// interface, for comparing what the back-ends make of it.
#pragma once

#include "platform/core/device_context.h"

namespace testsupport {

/// The drawing's size in logical units.
inline constexpr int kSampleWidth = 240;
inline constexpr int kSampleHeight = 160;

/// An 8 by 8 bitmap: a black frame with a black diagonal on white, and a red pixel at (3, 1).
platform::Bitmap sampleBitmap();

/// Draws lines, a polyline, rectangles, an ellipse, a fill, pixels, texts in
/// both background modes, bitmaps copied, stretched and masked, an inverted
/// line and a clipped ellipse inside 0..kSampleWidth by 0..kSampleHeight.
void drawSample(platform::DeviceContext& dc);

} // namespace testsupport
