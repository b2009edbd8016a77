// The modeless attribute editors of one object at a time: their common
// pattern (open, accept, reset, the "(edited)" title, OK / Apply / Cancel, the
// status line and the editor-conflict guard), and the PIO and bond/signal editors.
#pragma once

#include "grapheditor/editor_guard.h"
#include "platform/qt/dialog.h"

#include <string>
#include <vector>

struct Connection;
struct Pio;

/// Control ids every attribute editor has.
enum AttributeEditorControl : int {
    ID_ATTR_OK = 801,
    ID_ATTR_CANCEL = 802,
    ID_ATTR_STATUS = 805,
    ID_ATTR_APPLY = 807,
};

/// The common pattern; the editors fill, accept and name themselves.
class AttributeEditor : public platform::Dialog {
public:
    AttributeEditor(const platform::DialogDescription& description, QWidget* parent, std::string caption);

    /// Binds the object (after accepting what the editor held): false when
    /// the held edits could not be accepted (the editor then stays on them).
    bool Open(void* object);
    /// 1 when the object was updated or nothing was edited.
    int Accept();
    void Reset();
    bool isBoundTo(const void* object) const { return object && m_object == object; }
    void* boundObject() const { return m_object; }
    bool isEdited() const { return m_edited; }
    /// The guard's test: unchanged editors let go of their object and allow.
    int guardConflict();
    /// Lets go of the object, edits and all (the model is being emptied).
    void Unbind();

    /// Shows a text in the status line; an error also beeps and flashes.
    void showStatus(const std::string& text, bool error = false);

    /// The rules the PIO editor's flag follows for a change of a field.
    void markEdited();

protected:
    void notify(int id, int code) override;
    /// Fills the fields from the bound object (none: empty and disabled).
    virtual void fillFields() = 0;
    /// Updates the object from the fields: 1, or 0 after an error in the status line.
    virtual int acceptEdits() = 0;
    /// "Previous ... attributes saved."
    virtual std::string savedText() const = 0;
    /// The lines of the conflict message after "Action not allowed.".
    virtual std::vector<std::string> conflictLines() const = 0;
    /// Whether a change of this control marks the editor edited.
    virtual bool changeCounts(int id) const;
    /// Flash the title before the beep (the bond/signal editor) or after.
    virtual bool flashFirst() const { return false; }

    /// The flag and the "(edited)" title.
    virtual void setEditedFlag(bool edited);
    bool m_filling = false;

private:
    void refill();

    void* m_object = nullptr;
    bool m_edited = false;
};

/// "GE: PIO Attributes" (`DLG_PIOATTR`).
class TQNPortAttrDialog : public AttributeEditor {
public:
    explicit TQNPortAttrDialog(QWidget* parent);
    Pio* pio() const { return static_cast<Pio*>(boundObject()); }

protected:
    void fillFields() override;
    int acceptEdits() override;
    std::string savedText() const override { return "Previous port attributes saved."; }
    std::vector<std::string> conflictLines() const override;
    bool changeCounts(int id) const override;
};

/// "GE: Bond/Signal Attributes" (`DLG_BONDSIGNALATTR`).
class TQNBondAttrDialog : public AttributeEditor {
public:
    explicit TQNBondAttrDialog(QWidget* parent);
    Connection* connection() const { return static_cast<Connection*>(boundObject()); }

protected:
    void fillFields() override;
    int acceptEdits() override;
    std::string savedText() const override { return "Previous bond/signal attributes saved."; }
    std::vector<std::string> conflictLines() const override;
    bool flashFirst() const override { return true; }
};

/// Opens the editor of the PIO or connection (made when needed) under `parent`.
TQNPortAttrDialog* OpenPioAttributes(QWidget* parent, Pio* pio);
TQNBondAttrDialog* OpenConnectionAttributes(QWidget* parent, Connection* connection);
TQNPortAttrDialog* PioAttributesEditor();
TQNBondAttrDialog* ConnectionAttributesEditor();

/// The one window of an editor kind, made under `parent` when there is none, bound to the object.
template <class Editor>
Editor* OpenAttributeEditor(platform::DialogInstance<Editor>& instance, QWidget* parent, void* object)
{
    Editor& editor = instance.create([parent] { return new Editor(parent); });
    editor.Open(object);
    return &editor;
}

/// The guard's view of an attribute editor that may be closed.
template <class Editor>
class GuardedAttributeEditor : public GuardedEditor {
public:
    using Find = Editor* (*)();
    explicit GuardedAttributeEditor(Find find) : m_find(find) {}
    const void* heldObject() const override { return m_find() ? m_find()->boundObject() : nullptr; }
    int allowsAction() override { return m_find() ? m_find()->guardConflict() : 1; }

private:
    Find m_find;
};

/// The PIO and bond/signal editors in the guard's table.
void RegisterAttributeEditorGuards();
void CloseAttributeEditors();
