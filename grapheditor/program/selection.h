// The one selected object of the canvas. Selecting and clearing tell the state
// machine only when the selection really changes.
#pragma once

#include <functional>

/// Kinds of the selection.
enum SelectionKind : int { SELECT_NONE = 0, SELECT_CONNECTION = 1, SELECT_SUBMODEL = 2, SELECT_PIO = 3 };

struct Connection;
struct Pio;
struct Submodel;

/// Selects the object (kind 0 clears); the same object again with the
/// double-click flag opens its editor through the hook.
void select_object(int kind, void* object, int doubleClick);
void clear_selection();
/// Forgets the selection without drawing (the model is being emptied).
void forget_selection();

int has_selection();
int selection_is_connection();
int selection_is_submodel();
int selection_kind();
void* selected_object();
Submodel* selected_submodel();

/// Opens the editor of the selected object (a double click on it); nothing until the editors exist.
using OpenEditorHook = std::function<void(int kind, void* object)>;
void SetOpenEditorHook(OpenEditorHook hook);
