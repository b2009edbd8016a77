// The interaction's hooks in the main window and the model commands.
#include "grapheditor/program/editor_interaction.h"

#include "grapheditor/program/attribute_editors.h"
#include "grapheditor/program/canvas_mouse.h"
#include "grapheditor/program/connection_editor.h"
#include "grapheditor/program/draw_popup.h"
#include "grapheditor/program/main_arguments.h"
#include "grapheditor/program/main_window.h"
#include "grapheditor/program/model_commands.h"
#include "grapheditor/program/processing_handoff.h"
#include "grapheditor/program/selection.h"
#include "grapheditor/program/submodel_attributes.h"

#include "grapheditor/connection_checker.h"
#include "grapheditor/graph_objects.h"

#include <QPointer>
#include <QWidget>

namespace {

QPointer<QWidget> g_canvas;

/// The editor of an object, as a double click on it opens it.
void openEditor(int kind, void* object)
{
    switch (kind) {
    case SELECT_CONNECTION:
        ClearAnnotation();
        OpenConnectionAttributes(g_canvas, static_cast<Connection*>(object));
        break;
    case SELECT_SUBMODEL: {
        ClearAnnotation();
        auto* submodel = static_cast<Submodel*>(object);
        const TQNSubAttrDialog* attributes = SubmodelAttributesEditor();
        if (ConnectionEditor() && !(attributes && attributes->isVisible()))
            edit_connections_of(g_canvas, submodel);
        else
            OpenSubmodelAttributes(g_canvas, submodel);
        break;
    }
    case SELECT_PIO:
        OpenPioAttributes(g_canvas, static_cast<Pio*>(object));
        break;
    default:
        break;
    }
}

} // namespace

void InstallEditorInteraction(QWidget* canvas)
{
    g_canvas = canvas;
    WindowHooks& window = MainWindowHooks();
    window.canvasMouse = [](const platform::Message& message) { canvas_mouse(message); };
    window.drawPopup = [] { show_draw_popup(g_canvas); };
    window.attributes = [] {
        if (has_selection())
            openEditor(selection_kind(), selected_object());
    };
    window.connections = [] {
        if (Submodel* submodel = selected_submodel()) {
            ClearAnnotation();
            edit_connections_of(g_canvas, submodel);
        }
    };
    window.modelProperties = [] { OpenMainArguments(g_canvas); };
    Hooks().refreshLibraryList = RefreshLibraryLists;
    Hooks().checkConnections = [] { return check_model(); };
    SetOpenEditorHook(openEditor);
    RegisterConnectionEditorGuard();
    RegisterAttributeEditorGuards();
    RegisterSubmodelAttributesGuard();
    RegisterMainArgumentsGuard();
}

void RemoveEditorInteraction()
{
    CloseConnectionEditor();
    CloseAttributeEditors();
    CloseSubmodelAttributes();
    CloseMainArguments();
    ResetDrawTools();
    reset_canvas_mouse();
    g_canvas = nullptr;
}

void ForgetEditorObjects()
{
    reset_canvas_mouse();
    if (TQNConEditorDialog* editor = ConnectionEditor())
        editor->clear();
    if (TQNPortAttrDialog* editor = PioAttributesEditor())
        editor->Unbind();
    if (TQNBondAttrDialog* editor = ConnectionAttributesEditor())
        editor->Unbind();
    if (TQNSubAttrDialog* editor = SubmodelAttributesEditor())
        editor->Unbind();
    if (TQNMainArgDialog* editor = MainArgumentsEditor())
        editor->Unbind();
}
