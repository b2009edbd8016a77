// The editor's view of the model core.
#include "grapheditor/program/editor_view.h"

#include "grapheditor/program/editor_interaction.h"
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
    ForgetEditorObjects();
    CanvasView::resetCanvas();
}
