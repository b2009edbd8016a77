// The view the graph editor installs: the canvas view, with the status line,
// the edited flag and the selection going to the editor's commands.
#pragma once

#include "grapheditor/canvas_view.h"

class EditorView : public CanvasView {
public:
    void showStatus(const std::string& text, int keep) override;
    void editedChanged(int edited) override;
    void resetCanvas() override;
};
