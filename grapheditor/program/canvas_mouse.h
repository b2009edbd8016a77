// The canvas's mouse: placing submodels and PIOs, drawing bonds and signals
// click by click, selecting, dragging submodels, PIOs and connection midpoints,
// and opening editors and submodels on double clicks.
#pragma once

#include "platform/core/message_frame.h"

/// Handles one mouse message of the canvas (its point in client pixels); 0.
int canvas_mouse(const platform::Message& message);

/// Moves the selected object to a point of the drawing as one drag step does:
/// snapped, kept on the canvas, refused onto another object.
void drag_selection_to(int x, int y);

/// Forgets the drag and a connection being drawn (the model is being emptied).
void reset_canvas_mouse();

/// True while a connection is being drawn.
bool connection_being_drawn();
