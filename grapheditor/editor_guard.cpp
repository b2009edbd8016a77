// The editor-conflict guard over the table of modeless editors.
#include "grapheditor/editor_guard.h"

#include "common/message_boxes.h"
#include "grapheditor/graph_objects.h"

#include <algorithm>

GuardedEditors& GuardedEditorTable()
{
    static GuardedEditors table;
    return table;
}

namespace {

/// The connection editor's test: with no unsaved data it is emptied and allows.
int connectionEditorAllows()
{
    GuardedConnectionEditor* editor = GuardedEditorTable().connectionEditor;
    if (!editor)
        return 1;
    if (!editor->hasUnsavedData()) {
        editor->empty();
        return 1;
    }
    ShowMessage({"Action not allowed.", "This action would cause a conflict with the (unsaved) data in the",
                 "Connection Editor. You must either Accept or Reset the data in the",
                 "Connection Editor before this action can be performed."});
    editor->bringToFront();
    return 0;
}

int editorAllows(GuardedEditor* editor)
{
    return editor ? editor->allowsAction() : 1;
}

bool holds(const GuardedEditor* editor, const void* object)
{
    return editor && object && editor->heldObject() == object;
}

const void* endObject(const ConnectionEnd& end)
{
    return end.object();
}

/// The object at the end of the connection away from the submodel.
const void* farEnd(const Connection& connection, const Submodel* submodel)
{
    if (endObject(connection.ends[0]) == submodel)
        return endObject(connection.ends[1]);
    return endObject(connection.ends[0]);
}

bool connectionEditorHoldsSubmodel(const void* submodel)
{
    const GuardedConnectionEditor* editor = GuardedEditorTable().connectionEditor;
    return editor && submodel && editor->submodel() == submodel;
}

bool connectionEditorHoldsConnection(const void* connection)
{
    const GuardedConnectionEditor* editor = GuardedEditorTable().connectionEditor;
    if (!editor || !connection || !editor->submodel())
        return false;
    const auto held = editor->connections();
    return std::find(held.begin(), held.end(), connection) != held.end();
}

/// Whether the connection editor shows a connection whose far end is the object.
bool connectionEditorReaches(const void* object)
{
    const GuardedConnectionEditor* editor = GuardedEditorTable().connectionEditor;
    if (!editor || !object || !editor->submodel())
        return false;
    for (const Connection* connection : editor->connections())
        if (connection && farEnd(*connection, editor->submodel()) == object)
            return true;
    return false;
}

/// Whether the bond/signal attributes editor holds a connection with an end at the object.
bool connectionAttributesHoldOneOf(const void* object)
{
    const GuardedEditor* editor = GuardedEditorTable().connectionAttributes;
    if (!editor || !object || !editor->heldObject())
        return false;
    const auto* connection = static_cast<const Connection*>(editor->heldObject());
    return endObject(connection->ends[0]) == object || endObject(connection->ends[1]) == object;
}

/// Action 0: the connection editor's data are checked and applied.
int acceptConnectionEditor()
{
    GuardedConnectionEditor* editor = GuardedEditorTable().connectionEditor;
    if (!editor || !editor->submodel())
        return 1;
    const int errors = editor->checkSubmodel();
    if (errors > 0 && !ShowConfirm("Cancel", "Accept incorrect data",
                                   {"The submodel is not connected correctly.",
                                    "Press Cancel to reconnect the submodel or", "press OK to accept the incorrect data."}))
        return 0;
    Submodel* submodel = editor->submodel();
    editor->applyData();
    MarkEdited(CurrentModel(), 1);
    editor->setUnchanged();
    if (errors == 0)
        SetSubmodelErrorMark(*submodel, 0);
    return 1;
}

} // namespace

int editor_guard(int action, const void* object)
{
    const GuardedEditors& editors = GuardedEditorTable();
    switch (action) {
    case 0:
        return acceptConnectionEditor();
    case 1:
        return !editors.connectionEditor || !editors.connectionEditor->hasUnsavedData() ? 1 : acceptConnectionEditor();
    case 2:
    case 3:
        return connectionEditorAllows() && editorAllows(editors.submodelAttributes) &&
                       editorAllows(editors.connectionAttributes) && editorAllows(editors.pioAttributes) &&
                       editorAllows(editors.mainArguments)
                   ? 1
                   : 0;
    case 4:
    case 9:
        return connectionEditorHoldsSubmodel(object) ? connectionEditorAllows() : 1;
    case 5:
        if (connectionEditorHoldsConnection(object) && !connectionEditorAllows())
            return 0;
        return holds(editors.connectionAttributes, object) ? editorAllows(editors.connectionAttributes) : 1;
    case 6:
        if ((connectionEditorHoldsSubmodel(object) || connectionEditorReaches(object)) && !connectionEditorAllows())
            return 0;
        if (holds(editors.submodelAttributes, object) && !editorAllows(editors.submodelAttributes))
            return 0;
        return connectionAttributesHoldOneOf(object) ? editorAllows(editors.connectionAttributes) : 1;
    case 7:
        return connectionEditorHoldsConnection(object) ? connectionEditorAllows() : 1;
    case 8:
        if (connectionEditorReaches(object) && !connectionEditorAllows())
            return 0;
        if (holds(editors.pioAttributes, object) && !editorAllows(editors.pioAttributes))
            return 0;
        return connectionAttributesHoldOneOf(object) ? editorAllows(editors.connectionAttributes) : 1;
    case 10: {
        const GuardedConnectionEditor* editor = editors.connectionEditor;
        const bool sameType = editor && object && editor->submodel() && editor->submodel()->type == object;
        return sameType ? connectionEditorAllows() : 1;
    }
    default:
        return 0;
    }
}
