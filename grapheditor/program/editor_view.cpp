// The editor's view of the model core.
#include "grapheditor/program/editor_view.h"

#include "grapheditor/program/canvas_mouse.h"
#include "grapheditor/program/model_commands.h"
#include "grapheditor/program/selection.h"

void EditorView::showStatus(const std::string& text, int keep)
{
    ShowStatus(text, keep);
}

void EditorView::editedChanged(int)
{
    EditedChanged();
}

void EditorView::resetCanvas()
{
    forget_selection();
    reset_canvas_mouse();
    CanvasView::resetCanvas();
}
