// The editor-conflict guard: every editing action that would change an object
// asks it first. A modeless editor that holds unsaved data for that object
// refuses, comes to the front and tells the user why. The editors register
// themselves in the table below.
#pragma once

#include <vector>

struct Connection;
struct Submodel;

/// What the guard asks of one modeless editor.
class GuardedEditor {
public:
    virtual ~GuardedEditor() = default;
    /// The object it edits (a submodel, connection or PIO); null while it is closed.
    virtual const void* heldObject() const = 0;
    /// The editor's own test: 1 when it is closed or unchanged; else it comes to
    /// the front, tells the user why and answers 0.
    virtual int allowsAction() = 0;
};

/// The connection editor: a submodel and the connections drawn to it.
class GuardedConnectionEditor {
public:
    virtual ~GuardedConnectionEditor() = default;
    /// The submodel being edited; null while there is none.
    virtual Submodel* submodel() const = 0;
    /// The connections it shows (those of the submodel).
    virtual std::vector<const Connection*> connections() const = 0;
    /// True when it holds data the user has not accepted or reset.
    virtual bool hasUnsavedData() const = 0;
    /// Forgets the submodel and its data.
    virtual void empty() = 0;
    virtual void bringToFront() = 0;
    /// Checks the submodel's connections; the number of errors.
    virtual int checkSubmodel() = 0;
    /// Applies its data to the model.
    virtual void applyData() = 0;
    /// Its data now match the model.
    virtual void setUnchanged() = 0;
};

/// The modeless editors the guard asks; an editor that is not there allows everything.
struct GuardedEditors {
    GuardedConnectionEditor* connectionEditor = nullptr;
    GuardedEditor* submodelAttributes = nullptr;   ///< holds a submodel
    GuardedEditor* connectionAttributes = nullptr; ///< holds a bond or signal
    GuardedEditor* pioAttributes = nullptr;        ///< holds a PIO
    GuardedEditor* mainArguments = nullptr;        ///< holds the model's arguments
};
GuardedEditors& GuardedEditorTable();

/// 1 when the action may go on, 0 when it must not. Actions: 0 accept the
/// connection editor's data, 1 before it takes another submodel, 2 and 3 whole-model
/// operations, 4 start a connection at a submodel, 5 delete a connection, 6 delete
/// a submodel, 7 change a connection, 8 delete a PIO, 9 other single-submodel
/// changes, 10 re-read a submodel type. Any other action is refused.
int editor_guard(int action, const void* object);
