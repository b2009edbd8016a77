// The selection: one object at most, its selected mark, and the events 6
// and 7 of the state machine on each real change.
#include "grapheditor/program/selection.h"

#include "grapheditor/connection_checker.h"
#include "grapheditor/graph_objects.h"
#include "grapheditor/program/model_commands.h"

namespace {

int g_kind = SELECT_NONE;
void* g_object = nullptr;
OpenEditorHook g_openEditor;

void mark(int kind, void* object, int flag)
{
    switch (kind) {
    case SELECT_CONNECTION:
        SetConnectionSelected(*static_cast<Connection*>(object), flag);
        break;
    case SELECT_SUBMODEL:
        SetSubmodelSelected(*static_cast<Submodel*>(object), flag);
        break;
    case SELECT_PIO:
        SetPioSelected(*static_cast<Pio*>(object), flag);
        break;
    default:
        break;
    }
}

} // namespace

void select_object(int kind, void* object, int doubleClick)
{
    if (kind == SELECT_NONE || !object) {
        clear_selection();
        ShowStatus("", 0);
        return;
    }
    if (kind == g_kind && object == g_object) {
        // A click on what is selected changes nothing; a double click opens its editor.
        if (doubleClick && g_openEditor)
            g_openEditor(kind, object);
        return;
    }
    clear_selection();
    g_kind = kind;
    g_object = object;
    mark(kind, object, 1);
    // A submodel crossed out by the check says why, and what to do, by its name alone: the
    // whole of it fits the status line.
    if (kind == SELECT_SUBMODEL) {
        const Submodel& submodel = *static_cast<const Submodel*>(object);
        if (const std::string fault = marked_fault(submodel); !fault.empty())
            ShowStatus(submodel.name + ": " + fault, 0);
    }
    SendEditorEvent(EVENT_SELECTED);
}

void clear_selection()
{
    if (g_kind == SELECT_NONE)
        return;
    const int kind = g_kind;
    void* object = g_object;
    g_kind = SELECT_NONE;
    g_object = nullptr;
    mark(kind, object, 0);
    SendEditorEvent(EVENT_DESELECTED);
}

void forget_selection()
{
    if (g_kind == SELECT_NONE)
        return;
    g_kind = SELECT_NONE;
    g_object = nullptr;
    SendEditorEvent(EVENT_DESELECTED);
}

int has_selection()
{
    return g_kind != SELECT_NONE;
}

int selection_is_connection()
{
    return g_kind == SELECT_CONNECTION;
}

int selection_is_submodel()
{
    return g_kind == SELECT_SUBMODEL;
}

int selection_kind()
{
    return g_kind;
}

void* selected_object()
{
    return g_object;
}

Submodel* selected_submodel()
{
    return g_kind == SELECT_SUBMODEL ? static_cast<Submodel*>(g_object) : nullptr;
}

void SetOpenEditorHook(OpenEditorHook hook)
{
    g_openEditor = std::move(hook);
}
