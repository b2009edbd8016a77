// The attribute editors' common pattern and the PIO and bond/signal editors.
#include "grapheditor/program/attribute_editors.h"

#include "grapheditor/program/model_commands.h"

#include "common/dialog_fonts.h"
#include "common/message_boxes.h"
#include "grapheditor/graph_objects.h"
#include "grapheditor/graph_view.h"
#include "grapheditor/name_validation.h"
#include "platform/qt/alerts.h"

namespace {

using namespace platform;

DialogInstance<TQNPortAttrDialog> g_pioEditor;
DialogInstance<TQNBondAttrDialog> g_bondEditor;

enum PioControl : int { ID_PIO_NAME = 101 };

enum BondControl : int {
    ID_BOND_BETWEEN = 410,
    ID_BOND_END_A = 413,
    ID_BOND_END_B = 414,
    ID_BOND_CAUSALITY = 415,
    ID_BOND_ORIENTATION = 416,
    ID_BOND_SIZE_LABEL = 417,
    ID_BOND_NONE = 418,
    ID_BOND_STROKE_A = 419,
    ID_BOND_STROKE_B = 420,
    ID_BOND_FORWARD = 421,
    ID_BOND_BACKWARD = 422,
    ID_BOND_SIZE = 423,
};

/// The causality radios in the order of the causality they stand for.
const std::vector<int> kCausalityRadios = {ID_BOND_NONE, ID_BOND_STROKE_B, ID_BOND_STROKE_A};

const DialogDescription& pioDescription()
{
    static const DialogDescription d{"DLG_PIOATTR", "TQNPortAttrDialog", "GE: PIO Attributes", 264, 62, {
        staticText(-1, "Local Name :", {6, 8, 50, 8}),
        edit(ID_PIO_NAME, {58, 6, 200, 12}).maxLength(200),
        pushButton(ID_ATTR_OK, "&OK", {122, 26, 40, 14}).defaultButton(),
        pushButton(ID_ATTR_APPLY, "&Apply", {168, 26, 40, 14}),
        pushButton(ID_ATTR_CANCEL, "&Cancel", {214, 26, 40, 14}).cancelButton(),
        staticText(ID_ATTR_STATUS, "", {6, 48, 252, 8}),
    }};
    return d;
}

const DialogDescription& bondDescription()
{
    static const DialogDescription d{"DLG_BONDSIGNALATTR", "TQNBondAttrDialog", "GE: Bond/Signal Attributes", 220, 160, {
        staticText(ID_BOND_BETWEEN, "Bond Between:", {6, 6, 100, 8}),
        staticText(-1, "A :", {6, 18, 14, 8}),
        staticText(ID_BOND_END_A, "", {22, 18, 192, 8}),
        staticText(-1, "B :", {6, 30, 14, 8}),
        staticText(ID_BOND_END_B, "", {22, 30, 192, 8}),
        groupBox(ID_BOND_CAUSALITY, "Causality :", {6, 44, 100, 54}),
        radioButton(ID_BOND_NONE, "None", {12, 56, 88, 10}).group(),
        radioButton(ID_BOND_STROKE_B, "A   ----|  B", {12, 68, 88, 10}),
        radioButton(ID_BOND_STROKE_A, "A  |----   B", {12, 80, 88, 10}),
        groupBox(ID_BOND_ORIENTATION, "Orientation :", {114, 44, 100, 54}),
        radioButton(ID_BOND_FORWARD, "A   ----> B", {120, 56, 88, 10}).group(),
        radioButton(ID_BOND_BACKWARD, "A  <----  B", {120, 68, 88, 10}),
        staticText(ID_BOND_SIZE_LABEL, "Size :", {6, 106, 28, 8}),
        edit(ID_BOND_SIZE, {36, 104, 178, 12}).maxLength(20),
        pushButton(ID_ATTR_OK, "&OK", {82, 124, 40, 14}).defaultButton(),
        pushButton(ID_ATTR_APPLY, "&Apply", {128, 124, 40, 14}),
        pushButton(ID_ATTR_CANCEL, "&Cancel", {174, 124, 40, 14}).cancelButton(),
        staticText(ID_ATTR_STATUS, "", {6, 146, 208, 8}),
    }};
    return d;
}

std::string endText(const ConnectionEnd& end)
{
    if (end.objectKind == END_SUBMODEL)
        return (end.submodel->type ? end.submodel->type->name : std::string()) + " : " + end.submodel->name;
    if (end.objectKind == END_PIO)
        return "PIO : " + end.pio->name;
    return {};
}

bool hasPioEnd(const Connection& c)
{
    return c.ends[0].objectKind == END_PIO || c.ends[1].objectKind == END_PIO;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// The common pattern

AttributeEditor::AttributeEditor(const DialogDescription& description, QWidget* parent, std::string caption)
    : Dialog(description, parent)
{
    setCaption(caption);
    setControlFont(ID_ATTR_STATUS, *GetDialogFont());
    for (const ControlDescription& control : description.controls)
        if (control.kind == ControlKind::Edit)
            setControlFont(control.id, *GetDialogFont());
    DialogSetupHook(this);
}

void AttributeEditor::setEditedFlag(bool edited)
{
    m_edited = edited;
    setEdited(edited);
}

void AttributeEditor::markEdited()
{
    if (!m_filling && m_object)
        setEditedFlag(true);
}

bool AttributeEditor::changeCounts(int) const
{
    return true;
}

void AttributeEditor::refill()
{
    m_filling = true;
    fillFields();
    m_filling = false;
    setEditedFlag(false);
}

bool AttributeEditor::Open(void* object)
{
    showStatus("");
    if (m_edited && m_object) {
        if (!Accept()) {
            showModeless();
            return false;
        }
        showStatus(savedText());
    }
    m_object = object;
    refill();
    showModeless();
    return true;
}

int AttributeEditor::Accept()
{
    if (!m_edited || !m_object)
        return 1;
    return acceptEdits();
}

void AttributeEditor::Reset()
{
    showStatus("");
    refill();
}

int AttributeEditor::guardConflict()
{
    if (!m_edited) {
        m_object = nullptr;
        refill();
        return 1;
    }
    showModeless();
    std::vector<std::string> lines = {"Action not allowed."};
    for (const std::string& line : conflictLines())
        lines.push_back(line);
    ShowMessageLines(lines);
    return 0;
}

void AttributeEditor::Unbind()
{
    m_object = nullptr;
    refill();
}

void AttributeEditor::showStatus(const std::string& text, bool error)
{
    setText(ID_ATTR_STATUS, text);
    if (!error)
        return;
    if (flashFirst()) {
        platform::flashWindow(this, true);
        platform::beep(0x40);
    } else {
        platform::beep(0x40);
        platform::flashWindow(this, false);
    }
}

void AttributeEditor::notify(int id, int code)
{
    if (code == EN_CHANGE || (code == BN_CLICKED && id != ID_ATTR_OK && id != ID_ATTR_APPLY && id != ID_ATTR_CANCEL)) {
        if (changeCounts(id))
            markEdited();
        return;
    }
    if (code != BN_CLICKED)
        return Dialog::notify(id, code);
    if (id == ID_ATTR_OK || id == ID_ATTR_APPLY) {
        SetTempMessageOwner(handle());
        showStatus("");
        const int accepted = Accept();
        RestoreMessageOwner();
        if (accepted && id == ID_ATTR_OK)
            endDialog(IDOK);
        return;
    }
    if (id == ID_ATTR_CANCEL) {
        Reset();
        endDialog(IDCANCEL);
        return;
    }
    Dialog::notify(id, code);
}

// ---------------------------------------------------------------------------------------------
// PIO attributes

TQNPortAttrDialog::TQNPortAttrDialog(QWidget* parent) : AttributeEditor(pioDescription(), parent, "GE: PIO Attributes")
{
}

bool TQNPortAttrDialog::changeCounts(int id) const
{
    return id == ID_PIO_NAME && !text(ID_PIO_NAME).empty();
}

void TQNPortAttrDialog::fillFields()
{
    const Pio* p = pio();
    setText(ID_PIO_NAME, p ? p->name : std::string());
    for (int id : {int(ID_PIO_NAME), int(ID_ATTR_OK), int(ID_ATTR_APPLY)})
        enableControl(id, p != nullptr);
    if (p)
        selectAllText(ID_PIO_NAME);
}

int TQNPortAttrDialog::acceptEdits()
{
    Pio& p = *pio();
    const std::string name = text(ID_PIO_NAME);
    if (!ValidateName(name, &p, [this](const std::string& error) { showStatus(error, true); }))
        return 0;
    GraphModel& model = CurrentModel();
    View().drawPio(p, 0);
    if (name != p.name)
        RenamePio(model, p, name);
    View().layoutPio(p);
    for (const Attachment& a : p.attachments) {
        View().drawConnection(*a.connection, 0);
        View().layoutConnection(*a.connection);
        View().drawConnection(*a.connection, 1);
    }
    View().drawPio(p, 1);
    SetEdited();
    setEditedFlag(false);
    showStatus("PIO attributes OK.");
    return 1;
}

std::vector<std::string> TQNPortAttrDialog::conflictLines() const
{
    return {"This action would cause a conflict with the (unsaved) data in the",
            "PIO Attributes Editor. You must either Accept or Reset the data",
            "in the PIO Attributes Editor before this action can be performed."};
}

// ---------------------------------------------------------------------------------------------
// Bond/signal attributes

TQNBondAttrDialog::TQNBondAttrDialog(QWidget* parent)
    : AttributeEditor(bondDescription(), parent, "GE: Bond/Signal Attributes")
{
}

void TQNBondAttrDialog::fillFields()
{
    const Connection* c = connection();
    const bool bond = c && !c->isSignal;
    const bool causalityOn = bond && !hasPioEnd(*c);
    const bool orientationOn = c && (c->isSignal || !hasPioEnd(*c));
    setText(ID_BOND_BETWEEN, c && c->isSignal ? "Signal Between:" : "Bond Between:");
    setText(ID_BOND_END_A, c ? endText(c->ends[0]) : std::string());
    setText(ID_BOND_END_B, c ? endText(c->ends[1]) : std::string());
    for (int id : {int(ID_BOND_CAUSALITY), int(ID_BOND_NONE), int(ID_BOND_STROKE_A), int(ID_BOND_STROKE_B)})
        enableControl(id, causalityOn);
    for (int id : {ID_BOND_ORIENTATION, ID_BOND_FORWARD, ID_BOND_BACKWARD})
        enableControl(id, orientationOn);
    for (int id : kCausalityRadios)
        setChecked(id, false);
    setChecked(ID_BOND_FORWARD, false);
    setChecked(ID_BOND_BACKWARD, false);
    if (c) {
        const int causality = c->causality >= 0 && c->causality <= 2 ? c->causality : 0;
        setChecked(kCausalityRadios[std::size_t(causality)], true);
        if (c->direction == 1 || c->direction == 2)
            setChecked(c->direction == 1 ? ID_BOND_FORWARD : ID_BOND_BACKWARD, true);
    }
    setText(ID_BOND_SIZE, c ? ListText(c->size) : std::string());
    enableControl(ID_BOND_SIZE, false);
    enableControl(ID_BOND_SIZE_LABEL, false);
    enableControl(ID_ATTR_OK, c != nullptr);
    enableControl(ID_ATTR_APPLY, c != nullptr);
}

int TQNBondAttrDialog::acceptEdits()
{
    Connection& c = *connection();
    if (!View().editorGuard(7, &c))
        return 0;
    ExprList size;
    if (CheckSizeText(text(ID_BOND_SIZE).substr(0, 20), size,
                      [this](const std::string& error) { showStatus(error, true); }) != 0)
        return 0;
    GraphModel& model = CurrentModel();
    View().drawConnection(c, 0);
    c.size = std::move(size);
    if (isControlEnabled(ID_BOND_ORIENTATION)) {
        c.direction = isChecked(ID_BOND_BACKWARD) ? 2 : 1;
        for (int e = 0; e < 2; ++e) {
            if (c.ends[e].objectKind != END_PIO)
                continue;
            Pio& pio = *c.ends[e].pio;
            int kind = PIO_PORT;
            if (c.isSignal)
                kind = (c.direction == 1 && e == 0) || (c.direction == 2 && e == 1) ? PIO_INPUT : PIO_OUTPUT;
            pio.kind = kind;
            model.names.setKind(pio.name, &pio, NAME_PORT + kind);
        }
    }
    if (isControlEnabled(ID_BOND_CAUSALITY)) {
        c.causality = 0;
        c.causality = std::max(checkedIndex(kCausalityRadios), 0);
    }
    View().layoutConnection(c);
    View().drawConnection(c, 1);
    SetEdited();
    setEditedFlag(false);
    showStatus("Bond/Signal attributes OK.");
    return 1;
}

std::vector<std::string> TQNBondAttrDialog::conflictLines() const
{
    return {"This action would cause a conflict with the (unsaved) data in the",
            "Bond/Signal Attributes Editor. You must either Accept or Reset the data",
            "in the Bond/Signal Attributes Editor before this action can be performed."};
}

// ---------------------------------------------------------------------------------------------
// Instances

TQNPortAttrDialog* OpenPioAttributes(QWidget* parent, Pio* pio)
{
    return OpenAttributeEditor(g_pioEditor, parent, pio);
}

TQNBondAttrDialog* OpenConnectionAttributes(QWidget* parent, Connection* connection)
{
    return OpenAttributeEditor(g_bondEditor, parent, connection);
}

TQNPortAttrDialog* PioAttributesEditor()
{
    return g_pioEditor.get();
}

TQNBondAttrDialog* ConnectionAttributesEditor()
{
    return g_bondEditor.get();
}

void RegisterAttributeEditorGuards()
{
    static GuardedAttributeEditor<TQNPortAttrDialog> pio(&PioAttributesEditor);
    static GuardedAttributeEditor<TQNBondAttrDialog> bond(&ConnectionAttributesEditor);
    GuardedEditorTable().pioAttributes = &pio;
    GuardedEditorTable().connectionAttributes = &bond;
}

void CloseAttributeEditors()
{
    g_pioEditor.close();
    g_bondEditor.close();
}
