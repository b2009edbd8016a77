// The submodel attributes editor.
#include "grapheditor/program/submodel_attributes.h"

#include "grapheditor/program/model_commands.h"
#include "grapheditor/connection_checker.h"

#include "grapheditor/graph_model_reader.h"
#include "grapheditor/graph_objects.h"
#include "grapheditor/graph_view.h"
#include "grapheditor/name_validation.h"
#include "grapheditor/submodel_types.h"

#include <algorithm>
#include <cstdio>

namespace {

using namespace platform;

DialogInstance<TQNSubAttrDialog> g_editor;

enum SubmodelControl : int {
    ID_SUB_TYPE = 601,
    ID_SUB_VERSION = 602,
    ID_SUB_NAME = 603,
    ID_SUB_SHOW_NAME = 604,
    ID_SUB_ARGUMENTS = 606,
    ID_SUB_SIZE = 607,
    ID_SUB_ACTUAL = 608,
    ID_SUB_RELOAD = 609,
    ID_SUB_SIZE_LABEL = 703,
};

const DialogDescription& description()
{
    static const DialogDescription d{"DLG_SUBMODELATTR", "TQNSubAttrDialog", "GE: Submodel Attributes", 236, 212, {
        staticText(-1, "Type :", {6, 8, 40, 8}),
        edit(ID_SUB_TYPE, {50, 6, 60, 12}).maxLength(7),
        staticText(-1, "Version :", {120, 8, 36, 8}),
        edit(ID_SUB_VERSION, {160, 6, 20, 12}).maxLength(1),
        staticText(-1, "Local Name :", {6, 24, 44, 8}),
        edit(ID_SUB_NAME, {50, 22, 130, 12}).maxLength(256),
        checkBox(ID_SUB_SHOW_NAME, "Show Local Name", {50, 38, 100, 10}),
        staticText(ID_SUB_SIZE_LABEL, "Size :", {6, 54, 40, 8}),
        edit(ID_SUB_SIZE, {50, 52, 130, 12}),
        staticText(-1, "Arguments :", {6, 70, 60, 8}),
        staticText(-1, "Name", {8, 80, 60, 8}),
        staticText(-1, "Value", {70, 80, 60, 8}),
        listBox(ID_SUB_ARGUMENTS, {6, 90, 174, 64}).columns({62}),
        staticText(-1, "Actual value :", {6, 160, 50, 8}),
        edit(ID_SUB_ACTUAL, {58, 158, 122, 12}).maxLength(256),
        pushButton(ID_ATTR_OK, "&OK", {188, 6, 42, 14}).defaultButton(),
        pushButton(ID_ATTR_APPLY, "&Apply", {188, 24, 42, 14}),
        pushButton(ID_ATTR_CANCEL, "&Cancel", {188, 42, 42, 14}).cancelButton(),
        pushButton(ID_SUB_RELOAD, "&Reload", {188, 60, 42, 14}),
        staticText(ID_ATTR_STATUS, "", {6, 178, 224, 28}),
    }};
    return d;
}

std::string rowText(const TQNSubAttrDialog::Row& row)
{
    char text[128];
    std::snprintf(text, sizeof text, "%-*s\t%-*s", 15, row.name.empty() ? "??" : row.name.c_str(), 15,
                  row.actual.c_str());
    return text;
}

std::string readFailure(int result)
{
    switch (result) {
    case -4: return "Loading submodel file will conflict connection editor.";
    case -3: return "Memory allocation failure.";
    case -2: return ParserErrorText();
    case -1: return "Submodel type description not found.";
    default: return "Unknown error at parsing submodel file.";
    }
}

} // namespace

TQNSubAttrDialog::TQNSubAttrDialog(QWidget* parent)
    : AttributeEditor(description(), parent, "GE: Submodel Attributes")
{
}

bool TQNSubAttrDialog::buildRows(SubmodelType* type, const Submodel* actuals)
{
    m_rows.clear();
    m_rowsType = nullptr;
    m_tooManyRows = false;
    if (!type) {
        showStatus("Unknown submodel type?", true);
        return false;
    }
    const int read = read_submodel_type(type, m_forceRead ? 0 : 1);
    if (read != 0 || !type->interface) {
        showStatus(readFailure(read), true);
        return false;
    }
    const ArgumentList& formal = type->interface->arguments;
    if (formal.size() > static_cast<std::size_t>(kMaxArgumentRows)) {
        // The rows would not hold every argument: the list stays as it is in the model.
        m_tooManyRows = true;
        m_rowsType = type;
        showStatus("More than " + std::to_string(kMaxArgumentRows) + " arguments: they are not edited here.");
        return true;
    }
    for (std::size_t i = 0; i < formal.size(); ++i) {
        Row row;
        row.name = formal[i]->name;
        if (actuals && i < actuals->arguments.size())
            row.actual = ExprText(actuals->arguments[i].get(), 0);
        m_rows.push_back(std::move(row));
    }
    m_rowsType = type;
    return true;
}

bool TQNSubAttrDialog::rowsForType(Submodel& s, SubmodelType*& type, const std::string& typeName, int version)
{
    GraphModel& model = CurrentModel();
    const bool changed = TypeKeyName(typeName) != s.type->name || version != s.type->version;
    if (!changed && m_rowsType == s.type)
        return true;
    const std::size_t typesBefore = model.types.size();
    SubmodelType* wanted = changed ? FindOrAddType(model, typeName, version) : s.type;
    const bool added = model.types.size() != typesBefore;
    std::vector<Row> kept = m_rows;
    SubmodelType* keptType = m_rowsType;
    const bool keptTooMany = m_tooManyRows;
    const bool built = buildRows(wanted, changed ? nullptr : &s);
    if (changed && (!built || !View().editorGuard(9, &s))) {
        m_rows = std::move(kept);
        m_rowsType = keptType;
        m_tooManyRows = keptTooMany;
        if (added)
            model.types.unlink(wanted);
        return false;
    }
    // The values typed for arguments of the same name stay with them.
    for (Row& row : m_rows)
        for (const Row& old : kept)
            if (old.name == row.name)
                row.actual = old.actual;
    showRows();
    type = wanted;
    return true;
}

void TQNSubAttrDialog::showRows()
{
    clearItems(ID_SUB_ARGUMENTS);
    for (const Row& row : m_rows)
        addItem(ID_SUB_ARGUMENTS, rowText(row));
    const bool any = !m_rows.empty();
    enableControl(ID_SUB_ARGUMENTS, any);
    enableControl(ID_SUB_ACTUAL, any);
    m_row = any ? 0 : -1;
    selectIndex(ID_SUB_ARGUMENTS, m_row);
    setText(ID_SUB_ACTUAL, any ? m_rows.front().actual : std::string());
}

void TQNSubAttrDialog::fillFields()
{
    const Submodel* s = submodel();
    const bool typed = s && s->type && !s->type->name.empty();
    const int fields[] = {ID_ATTR_OK,  ID_ATTR_APPLY,   ID_ATTR_CANCEL, ID_SUB_RELOAD,
                          ID_SUB_TYPE, ID_SUB_VERSION, ID_SUB_NAME,    ID_SUB_SHOW_NAME};
    for (int id : fields)
        enableControl(id, typed);
    enableControl(ID_SUB_SIZE, false);
    enableControl(ID_SUB_SIZE_LABEL, false);
    m_rows.clear();
    m_rowsType = nullptr;
    if (!typed) {
        for (int id : {ID_SUB_TYPE, ID_SUB_VERSION, ID_SUB_NAME, ID_SUB_SIZE, ID_SUB_ACTUAL})
            setText(id, "");
        setChecked(ID_SUB_SHOW_NAME, false);
        showRows();
        showStatus("No type information available");
        return;
    }
    setText(ID_SUB_TYPE, s->type->name.substr(0, 7));
    setText(ID_SUB_VERSION, std::to_string(s->type->version));
    setText(ID_SUB_NAME, s->name);
    setChecked(ID_SUB_SHOW_NAME, s->showName != 0);
    setText(ID_SUB_SIZE, ListText(s->size));
    buildRows(s->type, s);
    showRows();
    focusControl(ID_SUB_NAME);
    selectAllText(ID_SUB_NAME);
}

void TQNSubAttrDialog::storeActual()
{
    if (m_row < 0 || static_cast<std::size_t>(m_row) >= m_rows.size())
        return;
    m_rows[std::size_t(m_row)].actual = text(ID_SUB_ACTUAL);
    setItemText(ID_SUB_ARGUMENTS, m_row, rowText(m_rows[std::size_t(m_row)]));
    if (static_cast<std::size_t>(m_row) + 1 < m_rows.size())
        ++m_row;
    selectIndex(ID_SUB_ARGUMENTS, m_row);
    m_filling = true;
    setText(ID_SUB_ACTUAL, m_rows[std::size_t(m_row)].actual);
    m_filling = false;
}

void TQNSubAttrDialog::notify(int id, int code)
{
    if (id == ID_SUB_ARGUMENTS && code == LBN_SELCHANGE) {
        m_row = selectedIndex(ID_SUB_ARGUMENTS);
        m_filling = true;
        setText(ID_SUB_ACTUAL, m_row >= 0 ? m_rows[std::size_t(m_row)].actual : std::string());
        m_filling = false;
        return;
    }
    if (id == ID_SUB_ACTUAL && code == EN_KILLFOCUS) {
        if (isEdited())
            storeActual();
        return;
    }
    if (id == ID_SUB_RELOAD && code == BN_CLICKED) {
        // The fields are filled from the type's file read once more; a failure shows its own text.
        if (Submodel* s = submodel(); s && s->type) {
            m_forceRead = true;
            Reset();
            m_forceRead = false;
        }
        return;
    }
    AttributeEditor::notify(id, code);
}

int TQNSubAttrDialog::acceptEdits()
{
    Submodel& s = *submodel();
    GraphModel& model = CurrentModel();
    auto fail = [this](const std::string& error) { showStatus(error, true); };
    // What is typed in the actual-value field belongs to its row, and the list shows it there.
    if (m_row >= 0 && static_cast<std::size_t>(m_row) < m_rows.size()) {
        m_rows[std::size_t(m_row)].actual = text(ID_SUB_ACTUAL);
        setItemText(ID_SUB_ARGUMENTS, m_row, rowText(m_rows[std::size_t(m_row)]));
    }
    SubmodelType* type = s.type;
    const std::string typeName = text(ID_SUB_TYPE);
    const std::string versionText = text(ID_SUB_VERSION);
    const int version = versionText.size() == 1 && versionText[0] >= '0' && versionText[0] <= '9' ? versionText[0] - '0'
                                                                                                   : -1;
    if (version < 0) {
        fail("The version is one digit.");
        return 0;
    }
    if (typeName.empty()) {
        fail("A non-empty string is expected as name.");
        return 0;
    }
    if (!rowsForType(s, type, typeName, version))
        return 0;
    const std::string name = text(ID_SUB_NAME);
    if (name != s.name && !ValidateName(name, &s, fail))
        return 0;
    ExprList size;
    if (CheckSizeText(text(ID_SUB_SIZE), size, fail) != 0)
        return 0;
    // Rows that could not be read from the type leave the submodel's arguments as they are.
    const bool keepArguments = m_tooManyRows || m_rowsType != type;
    ExprList arguments;
    // A junction left without its argument gets the count of its bonds from the check.
    const auto blank = [](const Row& row) { return row.actual.find_first_not_of(" \t") == std::string::npos; };
    const bool countedJunction = is_junction_type(type) && std::all_of(m_rows.begin(), m_rows.end(), blank);
    if (!keepArguments && !countedJunction) {
        for (std::size_t i = 0; i < m_rows.size(); ++i) {
            ExprList items;
            std::string error;
            const std::string& actual = m_rows[i].actual;
            if (blank(m_rows[i]))
                error = "one expression required";
            else if (ParseSizeList(actual, items, model.arguments, &error) == 0 && items.size() != 1)
                error = items.empty() ? "one expression required" : "too many expressions";
            if (!error.empty()) {
                selectIndex(ID_SUB_ARGUMENTS, int(i));
                m_row = int(i);
                fail("Argument expression error: " + error);
                return 0;
            }
            arguments.push_back(std::move(items.front()));
        }
    }
    if (!View().editorGuard(9, &s))
        return 0;
    View().drawSubmodel(s, 0);
    if (!keepArguments)
        s.arguments = std::move(arguments);
    s.size = std::move(size);
    s.type = type;
    if (name != s.name)
        RenameSubmodel(model, s, name);
    s.showName = isChecked(ID_SUB_SHOW_NAME) ? 1 : 0;
    View().layoutSubmodel(s);
    for (const Attachment& a : s.attachments) {
        View().drawConnection(*a.connection, 0);
        // The icon may have changed its outline: every end point is laid out again.
        View().layoutConnection(*a.connection);
        View().drawConnection(*a.connection, 1);
    }
    View().drawSubmodel(s, 1);
    if (s.selected) {
        // The status line names the selected submodel as it is now.
        SetSubmodelSelected(s, 0);
        SetSubmodelSelected(s, 1);
    }
    SetEdited();
    setEditedFlag(false);
    showStatus("Submodel attributes OK.");
    return 1;
}

std::vector<std::string> TQNSubAttrDialog::conflictLines() const
{
    return {"This action would cause a conflict with", "the data in the Submodel Attributes Editor.",
            "You must either Accept or Reset the data", "in the Submodel Attributes Editor",
            "before this action can be performed."};
}

TQNSubAttrDialog* OpenSubmodelAttributes(QWidget* parent, Submodel* submodel)
{
    return OpenAttributeEditor(g_editor, parent, submodel);
}

TQNSubAttrDialog* SubmodelAttributesEditor()
{
    return g_editor.get();
}

void RegisterSubmodelAttributesGuard()
{
    static GuardedAttributeEditor<TQNSubAttrDialog> guard(&SubmodelAttributesEditor);
    GuardedEditorTable().submodelAttributes = &guard;
}

void CloseSubmodelAttributes()
{
    g_editor.close();
}
