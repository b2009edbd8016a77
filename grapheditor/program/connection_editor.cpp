// The connection editor over the connection checker's working record.
#include "grapheditor/program/connection_editor.h"

#include "grapheditor/program/model_commands.h"
#include "grapheditor/program/owner_drawn_controls.h"

#include "common/dialog_fonts.h"
#include "common/message_boxes.h"
#include "grapheditor/editor_guard.h"
#include "grapheditor/graph_objects.h"
#include "grapheditor/graph_view.h"
#include "grapheditor/symbol_tables.h"

#include <QApplication>

namespace {

using namespace platform;

DialogInstance<TQNConEditorDialog> g_editor;

constexpr int kPortLists[3] = {ID_CE_POWER_PORTS, ID_CE_INPUTS, ID_CE_OUTPUTS};
constexpr const char* kGroupLabels[3] = {"Power Port", "Input", "Output"};

std::string bracketed(const ExprList& list)
{
    return list.empty() ? std::string() : "[" + ListText(list) + "]";
}

std::string joinedSizes(const std::vector<int>& sizes, bool asRanges)
{
    std::string text;
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        if (i > 0)
            text += ", ";
        text += (asRanges ? "1.." : "") + std::to_string(sizes[i]);
    }
    return text;
}

/// The port group a row's connection chooses from: 0 power, 1 input, 2 output, -1 none.
int groupOf(const ConnectionRow& row)
{
    if (!row.connection->isSignal)
        return 0;
    return row_enters(row) ? 1 : row_leaves(row) ? 2 : -1;
}

int groupOfPort(const Pio& port)
{
    return port.kind == PIO_PORT ? 0 : port.kind == PIO_INPUT ? 1 : 2;
}

/// The text of the object at the far end of a row.
std::string farEndText(const ConnectionRow& row)
{
    const ConnectionEnd& far = row.connection->ends[1 - row.end];
    if (far.objectKind == END_PIO)
        return far.pio->name.substr(0, 10) + bracketed(far.pio->size);
    if (far.objectKind != END_SUBMODEL)
        return {};
    return far.submodel->name.substr(0, 10) + bracketed(far.instanceIndex) + "`" +
           (far.portName.empty() ? std::string("*") : far.portName.substr(0, 10)) + bracketed(far.portIndex);
}

} // namespace

std::string row_symbol_key(const ConnectionRow& row)
{
    const Connection& c = *row.connection;
    std::string key = c.size.empty() ? "s" : "m";
    key += c.isSignal ? "s" : "b";
    key += row_leaves(row) ? "l" : row_enters(row) ? "r" : "";
    if (!c.isSignal) {
        const bool atSubmodel = (c.causality == 1 && row.end == 1) || (c.causality == 2 && row.end == 0);
        const bool atFarEnd = (c.causality == 1 && row.end == 0) || (c.causality == 2 && row.end == 1);
        key += atFarEnd ? "lc" : atSubmodel ? "rc" : "";
    }
    return key;
}

std::string port_symbol_key(const Pio& port)
{
    std::string key = port.size.empty() ? "s" : "m";
    if (port.kind == PIO_PORT)
        return key + "b" + (port.orientation == 1 ? "l" : port.orientation == 2 ? "r" : "");
    return key + "s" + (port.kind == PIO_INPUT ? "r" : "l");
}

std::string row_text(const ConnectionRow& row)
{
    const Submodel& submodel = *row.connection->ends[row.end].submodel;
    return submodel.name.substr(0, 10) + bracketed(row.instanceIndex) + "`" +
           (row.port ? row.port->name.substr(0, 10) : std::string("*")) + bracketed(row.portIndex);
}

const DialogDescription& ConnectionEditorDescription()
{
    static const DialogDescription d{"DLG_CONNECTIONEDITOR", "TQNConEditorDialog", "GE: Connection Editor", 262, 180, {
        staticText(-1, "Connect :", {6, 4, 60, 8}),
        ownerDrawList(ID_CE_ROWS, {6, 14, 124, 80}),
        staticText(ID_CE_OTHER_LABEL, "Other Side :", {136, 4, 60, 8}),
        staticText(ID_CE_OTHER, "", {136, 14, 120, 8}),
        staticText(ID_CE_SUBMODEL_LABEL, "Submodel", {136, 30, 60, 8}),
        staticText(ID_CE_SIZE_LABEL, "Size :", {136, 42, 28, 8}),
        staticText(ID_CE_SIZE, "", {166, 42, 90, 8}),
        staticText(ID_CE_INDEX_LABEL, "Index :", {136, 56, 28, 8}),
        edit(ID_CE_INDEX, {166, 54, 90, 12}).maxLength(100),
        staticText(ID_CE_GROUP_LABEL, "Power Port", {6, 100, 124, 8}),
        ownerDrawList(ID_CE_POWER_PORTS, {6, 110, 124, 40}),
        ownerDrawList(ID_CE_INPUTS, {6, 110, 124, 40}).hidden(),
        ownerDrawList(ID_CE_OUTPUTS, {6, 110, 124, 40}).hidden(),
        staticText(ID_CE_PORT_SIZE_LABEL, "Size :", {136, 110, 28, 8}),
        staticText(ID_CE_PORT_SIZE, "", {166, 110, 90, 8}),
        staticText(ID_CE_PORT_INDEX_LABEL, "Index :", {136, 124, 28, 8}),
        edit(ID_CE_PORT_INDEX, {166, 122, 90, 12}).maxLength(100),
        pushButton(ID_CE_OK, "&OK", {136, 140, 38, 14}).defaultButton(),
        pushButton(ID_CE_APPLY, "&Apply", {177, 140, 38, 14}),
        pushButton(ID_CE_CANCEL, "&Cancel", {218, 140, 38, 14}).cancelButton(),
        // Two lines: a fault is named with what to do about it.
        staticText(ID_CE_MESSAGE, "", {6, 158, 250, 16}),
    }};
    return d;
}

TQNConEditorDialog::TQNConEditorDialog(QWidget* parent) : Dialog(ConnectionEditorDescription(), parent)
{
    for (int id : {ID_CE_ROWS, ID_CE_OTHER, ID_CE_SIZE, ID_CE_INDEX, ID_CE_POWER_PORTS, ID_CE_INPUTS, ID_CE_OUTPUTS,
                   ID_CE_PORT_SIZE, ID_CE_PORT_INDEX, ID_CE_MESSAGE})
        setControlFont(id, *GetDialogFont());
    m_lists[0] = std::make_unique<TQNListBox>(*this, ID_CE_ROWS);
    for (int i = 0; i < 3; ++i)
        m_lists[std::size_t(i) + 1] = std::make_unique<TQNListBox>(*this, kPortLists[i]);
    DialogSetupHook(this);
    fill();
}

TQNConEditorDialog::~TQNConEditorDialog() = default;

void TQNConEditorDialog::updateTitle()
{
    std::string title = "GE: Connection Editor";
    if (m_submodel)
        title += " for " + m_submodel->name;
    setCaption(title);
    setEdited(m_edited);
}

void TQNConEditorDialog::setEditedFlag(bool edited)
{
    m_edited = edited;
    updateTitle();
}

void TQNConEditorDialog::setUnchanged()
{
    setEditedFlag(false);
}

void TQNConEditorDialog::showMessage(const std::string& text)
{
    setText(ID_CE_MESSAGE, text);
}

void TQNConEditorDialog::clear()
{
    m_record.reset();
    m_submodel = nullptr;
    m_row = -1;
    fill();
    showMessage("");
    setEditedFlag(false);
}

void TQNConEditorDialog::load(Submodel* submodel)
{
    m_record.reset();
    m_submodel = submodel;
    m_row = -1;
    std::string text;
    if (submodel)
        m_record = build_connections(text, submodel);
    fill();
    setEditedFlag(false);
    if (!submodel)
        return;
    if (!m_record) {
        showMessage(text);
        return;
    }
    const bool connected = auto_connect(*m_record) != 0;
    if (connected)
        showRow(0);
    // The first fault is named at once, on the row it concerns; the port lists keep what
    // the rows use, so that a click on the port that is wanted takes it.
    if (showCheck(false) != 0)
        return;
    showMessage(connected ? "Submodel (partly) connected automatically." : "");
}

int TQNConEditorDialog::groupList() const
{
    return m_group >= 0 ? kPortLists[m_group] : 0;
}

void TQNConEditorDialog::fill()
{
    for (int i = 0; i < 3; ++i)
        clearItems(kPortLists[i]);
    clearItems(ID_CE_ROWS);
    if (m_record) {
        for (const PortSlot& slot : m_record->ports) {
            const int list = kPortLists[groupOfPort(*slot.pio)];
            const int index = addItem(list, slot.pio->name);
            m_lists[std::size_t(groupOfPort(*slot.pio)) + 1]->setItemBitmap(
                index, connection_symbol(port_symbol_key(*slot.pio)));
        }
    }
    for (int i = 0; i < 3; ++i)
        enableControl(kPortLists[i], itemCount(kPortLists[i]) > 0);
    const bool rows = m_record && !m_record->rows.empty();
    for (int id : {ID_CE_ROWS, ID_CE_OTHER, ID_CE_OTHER_LABEL, ID_CE_INDEX, ID_CE_INDEX_LABEL, ID_CE_PORT_INDEX,
                   ID_CE_PORT_INDEX_LABEL, ID_CE_GROUP_LABEL})
        enableControl(id, rows);
    if (!rows) {
        showMessage(m_submodel ? "No bonds or signals drawn to this submodel yet" : "");
        setText(ID_CE_OTHER, "");
        setText(ID_CE_INDEX, "");
        setText(ID_CE_PORT_INDEX, "");
    } else {
        for (std::size_t r = 0; r < m_record->rows.size(); ++r) {
            const int index = addItem(ID_CE_ROWS, row_text(m_record->rows[r]));
            m_lists[0]->setItemBitmap(index, connection_symbol(row_symbol_key(m_record->rows[r])));
        }
    }
    const bool sized = m_record && !m_record->size.empty();
    setText(ID_CE_SIZE, sized ? joinedSizes(m_record->size, false) : "");
    enableControl(ID_CE_SIZE, sized);
    enableControl(ID_CE_INDEX, sized && rows);
    enableControl(ID_CE_OK, m_submodel != nullptr);
    enableControl(ID_CE_CANCEL, m_submodel != nullptr);
    enableControl(ID_CE_APPLY, m_submodel != nullptr);
    if (rows)
        showRow(0);
    else
        showPort(nullptr);
}

void TQNConEditorDialog::showRow(int rowIndex)
{
    if (!m_record || rowIndex < 0 || static_cast<std::size_t>(rowIndex) >= m_record->rows.size())
        return;
    m_row = rowIndex;
    selectIndex(ID_CE_ROWS, rowIndex);
    const ConnectionRow& row = m_record->rows[std::size_t(rowIndex)];
    setText(ID_CE_OTHER, farEndText(row));
    setText(ID_CE_INDEX,
            row.instanceIndex.empty() ? joinedSizes(m_record->size, true) : ListText(row.instanceIndex));
    m_group = groupOf(row);
    for (int i = 0; i < 3; ++i)
        showControl(kPortLists[i], i == m_group);
    setText(ID_CE_GROUP_LABEL, m_group >= 0 ? kGroupLabels[m_group] : "??");
    const Pio* port = row.port;
    if (!port && m_group >= 0) {
        int inGroup = 0;
        for (const PortSlot& slot : m_record->ports)
            if (groupOfPort(*slot.pio) == m_group && ++inGroup == 1)
                port = slot.pio;
        if (inGroup != 1)
            port = nullptr;
    }
    if (m_group >= 0)
        selectIndex(kPortLists[m_group], port ? findItem(kPortLists[m_group], port->name) : -1);
    showPort(port);
}

void TQNConEditorDialog::showPort(const Pio* port)
{
    const int ids[] = {ID_CE_PORT_SIZE_LABEL, ID_CE_PORT_SIZE, ID_CE_PORT_INDEX_LABEL, ID_CE_PORT_INDEX};
    auto enableAll = [&](bool on) {
        for (int id : ids)
            enableControl(id, on);
    };
    if (!port || !m_record) {
        setText(ID_CE_PORT_SIZE, "");
        setText(ID_CE_PORT_INDEX, "");
        enableAll(false);
        return;
    }
    const ConnectionRow* row = m_row >= 0 ? &m_record->rows[std::size_t(m_row)] : nullptr;
    const std::string rowIndex = row && !row->portIndex.empty() ? ListText(row->portIndex) : std::string();
    if (is_junction(*m_record->submodel) && port->kind == PIO_PORT) {
        enableAll(true);
        setText(ID_CE_PORT_SIZE, "unlimited");
        setText(ID_CE_PORT_INDEX, rowIndex);
        return;
    }
    const PortSlot& slot = m_record->ports[std::size_t(port_slot_of(*m_record, port))];
    if (slot.size.empty()) {
        setText(ID_CE_PORT_SIZE, "");
        setText(ID_CE_PORT_INDEX, "");
        enableAll(false);
        return;
    }
    enableAll(true);
    setText(ID_CE_PORT_SIZE, joinedSizes(slot.size, false));
    setText(ID_CE_PORT_INDEX, rowIndex.empty() ? joinedSizes(slot.size, true) : rowIndex);
}

void TQNConEditorDialog::rebuildRowItem(int rowIndex)
{
    const ConnectionRow& row = m_record->rows[std::size_t(rowIndex)];
    setItemText(ID_CE_ROWS, rowIndex, row_text(row));
    m_lists[0]->setItemBitmap(rowIndex, connection_symbol(row_symbol_key(row)));
    selectIndex(ID_CE_ROWS, rowIndex);
}

bool TQNConEditorDialog::storeRow()
{
    if (!m_record || m_row < 0 || static_cast<std::size_t>(m_row) >= m_record->rows.size())
        return true;
    ConnectionRow& row = m_record->rows[std::size_t(m_row)];
    const ArgumentList& arguments = CurrentModel().arguments;
    ExprList instance;
    const std::string instanceText = text(ID_CE_INDEX);
    // The index of a scalar submodel shows nothing to take.
    if (!instanceText.empty() && !m_record->size.empty() && ParseRangeList(instanceText, instance, arguments) != 0) {
        showMessage("Error: submodel index");
        selectIndex(ID_CE_ROWS, m_row);
        return false;
    }
    const Pio* port = row.port;
    if (m_group >= 0) {
        const int item = selectedIndex(kPortLists[m_group]);
        if (item >= 0)
            port = find_type_port(*m_record, itemText(kPortLists[m_group], item));
    }
    ExprList portIndex;
    const std::string portText = isControlEnabled(ID_CE_PORT_INDEX) ? text(ID_CE_PORT_INDEX) : std::string();
    if (!portText.empty() && ParseRangeList(portText, portIndex, arguments) != 0) {
        showMessage("Error: PIO index");
        selectIndex(ID_CE_ROWS, m_row);
        return false;
    }
    row.instanceIndex = std::move(instance);
    row.port = port;
    row.portIndex = std::move(portIndex);
    rebuildRowItem(m_row);
    return true;
}

int TQNConEditorDialog::checkSubmodel()
{
    if (!m_record)
        return 1;
    if (!storeRow())
        return 1;
    return showCheck(true);
}

int TQNConEditorDialog::showCheck(bool selectPort)
{
    const int result = check_connections(*m_record, 1);
    showMessage(m_record->checkText);
    if (m_record->faultRow >= 0)
        showRow(m_record->faultRow);
    if (selectPort && m_record->faultPort >= 0 && m_group >= 0) {
        const Pio* port = m_record->ports[std::size_t(m_record->faultPort)].pio;
        if (groupOfPort(*port) == m_group)
            selectIndex(kPortLists[m_group], findItem(kPortLists[m_group], port->name));
    }
    return result == 0 ? 0 : 1;
}

void TQNConEditorDialog::applyData()
{
    if (!m_record)
        return;
    std::vector<Connection*> drawn;
    for (ConnectionRow& row : m_record->rows) {
        View().drawConnection(*row.connection, 0);
        drawn.push_back(row.connection);
    }
    View().drawSubmodel(*m_submodel, 0);
    apply_connections(*m_record);
    View().layoutSubmodel(*m_submodel);
    View().drawSubmodel(*m_submodel, 1);
    for (Connection* connection : drawn)
        View().drawConnection(*connection, 1);
}

void TQNConEditorDialog::done(int result)
{
    m_record.reset();
    m_submodel = nullptr;
    Dialog::done(result);
}

void TQNConEditorDialog::notify(int id, int code)
{
    if (id == ID_CE_ROWS && code == LBN_SELCHANGE) {
        showRow(selectedIndex(ID_CE_ROWS));
        return;
    }
    for (int group = 0; group < 3; ++group) {
        if (id != kPortLists[group] || code != LBN_SELCHANGE)
            continue;
        if (!m_record)
            return;
        const int item = selectedIndex(id);
        const Pio* port = item >= 0 ? find_type_port(*m_record, itemText(id, item)) : nullptr;
        showPort(port);
        if (storeRow())
            setEditedFlag(true);
        return;
    }
    if (code != BN_CLICKED)
        return;
    if (id == ID_CE_OK || id == ID_CE_APPLY) {
        showMessage("");
        if (!m_submodel)
            return;
        SetTempMessageOwner(handle());
        const bool accepted = editor_guard(0, m_submodel) != 0;
        RestoreMessageOwner();
        if (accepted && id == ID_CE_OK)
            endDialog(IDOK);
        return;
    }
    if (id == ID_CE_CANCEL) {
        showMessage("");
        if (m_edited)
            load(m_submodel);
        endDialog(IDCANCEL);
        return;
    }
    Dialog::notify(id, code);
}

TQNConEditorDialog* open_connection_editor(QWidget* parent)
{
    TQNConEditorDialog& editor = g_editor.create([parent] { return new TQNConEditorDialog(parent); });
    editor.showModeless();
    return &editor;
}

TQNConEditorDialog* ConnectionEditor()
{
    return g_editor.get();
}

void CloseConnectionEditor()
{
    g_editor.close();
}

void load_into_editor(Submodel* submodel)
{
    TQNConEditorDialog* editor = ConnectionEditor();
    if (!editor || !editor_guard(1, submodel))
        return;
    editor->load(submodel);
}

void edit_connections_of(QWidget* parent, Submodel* submodel)
{
    if (!open_connection_editor(parent))
        return;
    load_into_editor(submodel);
    if (TQNConEditorDialog* editor = ConnectionEditor())
        editor->showModeless();
}

namespace {

/// The guard's view of the one connection editor, open or not.
class ConnectionEditorGuard : public GuardedConnectionEditor {
public:
    Submodel* submodel() const override { return ConnectionEditor() ? ConnectionEditor()->submodel() : nullptr; }
    std::vector<const Connection*> connections() const override
    {
        std::vector<const Connection*> held;
        if (TQNConEditorDialog* editor = ConnectionEditor(); editor && editor->submodel())
            for (const Attachment& a : editor->submodel()->attachments)
                held.push_back(a.connection);
        return held;
    }
    bool hasUnsavedData() const override { return ConnectionEditor() && ConnectionEditor()->isEdited(); }
    void empty() override
    {
        if (TQNConEditorDialog* editor = ConnectionEditor())
            editor->clear();
    }
    void bringToFront() override
    {
        if (TQNConEditorDialog* editor = ConnectionEditor()) {
            editor->show();
            editor->raise();
            editor->activateWindow();
        }
    }
    int checkSubmodel() override { return ConnectionEditor() ? ConnectionEditor()->checkSubmodel() : 0; }
    void applyData() override
    {
        if (TQNConEditorDialog* editor = ConnectionEditor())
            editor->applyData();
    }
    void setUnchanged() override
    {
        if (TQNConEditorDialog* editor = ConnectionEditor())
            editor->setUnchanged();
    }
};

} // namespace

void RegisterConnectionEditorGuard()
{
    static ConnectionEditorGuard guard;
    GuardedEditorTable().connectionEditor = &guard;
}
