// The main arguments editor.
#include "grapheditor/program/main_arguments.h"

#include "grapheditor/program/model_commands.h"

#include "common/message_boxes.h"
#include "grapheditor/graph_objects.h"
#include "grapheditor/name_validation.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace {

using namespace platform;

DialogInstance<TQNMainArgDialog> g_editor;

enum MainArgumentControl : int {
    ID_ARGS_MODEL = 360,
    ID_ARGS_LIST = 361,
    ID_ARGS_VALUE = 362,
    ID_ARGS_NAME = 363,
    ID_ARGS_ADD = 366,
    ID_ARGS_DELETE = 367,
};

const DialogDescription& description()
{
    static const DialogDescription d{"DLG_MAINARGUMENTS", "TQNMainArgDialog", "GE: Main Arguments", 236, 176, {
        staticText(-1, "Model :", {6, 6, 30, 8}),
        staticText(ID_ARGS_MODEL, "", {38, 6, 140, 8}),
        staticText(-1, "Number", {8, 20, 30, 8}),
        staticText(-1, "Formal name", {44, 20, 60, 8}),
        staticText(-1, "Optional value", {120, 20, 60, 8}),
        listBox(ID_ARGS_LIST, {6, 30, 176, 80}).columns({36, 112}),
        staticText(-1, "Formal name :", {6, 118, 56, 8}),
        edit(ID_ARGS_NAME, {64, 116, 118, 12}).maxLength(100),
        staticText(-1, "Optional value :", {6, 134, 56, 8}),
        edit(ID_ARGS_VALUE, {64, 132, 118, 12}).maxLength(20),
        pushButton(ID_ATTR_OK, "&OK", {188, 30, 42, 14}).defaultButton(),
        pushButton(ID_ATTR_CANCEL, "&Cancel", {188, 48, 42, 14}).cancelButton(),
        pushButton(ID_ARGS_ADD, "&Add", {188, 76, 42, 14}),
        pushButton(ID_ARGS_DELETE, "&Delete", {188, 94, 42, 14}),
        staticText(ID_ATTR_STATUS, "", {6, 152, 224, 18}),
    }};
    return d;
}

std::string trimmed(const std::string& text)
{
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

/// A whole decimal integer with an optional sign, in the 32-bit range.
bool parseInteger(const std::string& text, int& value)
{
    const std::string t = trimmed(text);
    const char* begin = t.data() + (!t.empty() && t[0] == '+' ? 1 : 0);
    const char* end = t.data() + t.size();
    auto [stop, error] = std::from_chars(begin, end, value);
    return !t.empty() && error == std::errc() && stop == end;
}

} // namespace

TQNMainArgDialog::TQNMainArgDialog(QWidget* parent) : AttributeEditor(description(), parent, "GE: Main Arguments")
{
}

void TQNMainArgDialog::copyArguments()
{
    GraphModel& model = CurrentModel();
    // Arguments without a name are no arguments of the file: they go first.
    std::erase_if(model.arguments, [](const std::unique_ptr<Argument>& a) { return a->name.empty(); });
    m_rows.clear();
    for (const auto& argument : model.arguments)
        m_rows.push_back({argument->name, argument->hasValue ? std::to_string(argument->value) : std::string(),
                          argument.get()});
}

void TQNMainArgDialog::showRows(int select)
{
    clearItems(ID_ARGS_LIST);
    for (std::size_t i = 0; i < m_rows.size(); ++i)
        addItem(ID_ARGS_LIST, std::to_string(i + 1) + "\t" + (m_rows[i].name.empty() ? " " : m_rows[i].name) +
                                  (m_rows[i].value.empty() ? "" : "\t" + m_rows[i].value));
    m_row = select >= 0 && static_cast<std::size_t>(select) < m_rows.size() ? select : -1;
    selectIndex(ID_ARGS_LIST, m_row);
    const bool filling = m_filling;
    m_filling = true;
    setText(ID_ARGS_NAME, m_row >= 0 ? m_rows[std::size_t(m_row)].name : std::string());
    setText(ID_ARGS_VALUE, m_row >= 0 ? m_rows[std::size_t(m_row)].value : std::string());
    m_filling = filling;
}

void TQNMainArgDialog::fillFields()
{
    const std::string& name = CurrentModel().name;
    setText(ID_ARGS_MODEL, name.empty() ? "untitled" : name);
    if (boundObject())
        copyArguments();
    else
        m_rows.clear();
    showRows(m_rows.empty() ? -1 : 0);
}

bool TQNMainArgDialog::storeEdits()
{
    if (m_row < 0 || static_cast<std::size_t>(m_row) >= m_rows.size())
        return true;
    Row& row = m_rows[std::size_t(m_row)];
    const std::string value = trimmed(text(ID_ARGS_VALUE));
    int number = 0;
    if (!value.empty() && !parseInteger(value, number)) {
        showStatus("Optional value of argument " + std::to_string(m_row + 1) + " is not an integer.", true);
        return false;
    }
    row.name = trimmed(text(ID_ARGS_NAME));
    row.value = value.empty() ? std::string() : std::to_string(number);
    return true;
}

void TQNMainArgDialog::addArgument()
{
    if (m_rows.size() >= static_cast<std::size_t>(kMaxMainArguments)) {
        showStatus("Not more than " + std::to_string(kMaxMainArguments) + " arguments are allowed.", true);
        return;
    }
    if (!storeEdits())
        return;
    GraphModel& model = CurrentModel();
    const std::size_t at = m_row >= 0 ? std::size_t(m_row) + 1 : m_rows.size();
    Argument* original = m_rows.size() == at || !m_rows[at].original ? nullptr : m_rows[at].original;
    auto position = std::find_if(model.arguments.begin(), model.arguments.end(),
                                 [&](const std::unique_ptr<Argument>& a) { return a.get() == original; });
    auto added = model.arguments.insert(original ? position : model.arguments.end(), std::make_unique<Argument>());
    m_rows.insert(m_rows.begin() + static_cast<std::ptrdiff_t>(at), Row{{}, {}, added->get()});
    showRows(static_cast<int>(at));
    markEdited();
}

void TQNMainArgDialog::deleteArgument()
{
    if (m_row < 0 || static_cast<std::size_t>(m_row) >= m_rows.size()) {
        showStatus(" Select argument to delete first.", true);
        return;
    }
    GraphModel& model = CurrentModel();
    Argument* original = m_rows[std::size_t(m_row)].original;
    auto position = std::find_if(model.arguments.begin(), model.arguments.end(),
                                 [&](const std::unique_ptr<Argument>& a) { return a.get() == original; });
    if (position == model.arguments.end()) {
        ShowMessage({"Error Main Arguments: farg_add_proc", "farglist index not found."});
        return;
    }
    if (!CanDeleteArgument(*original, model))
        return;
    model.names.remove(original->name, original);
    model.arguments.erase(position);
    m_rows.erase(m_rows.begin() + m_row);
    showRows(std::min(m_row, static_cast<int>(m_rows.size()) - 1));
    SetEdited();
}

int TQNMainArgDialog::acceptEdits()
{
    if (!storeEdits())
        return 0;
    GraphModel& model = CurrentModel();
    std::string error;
    auto fail = [&](const std::string& text, std::size_t row) {
        showRows(static_cast<int>(row));
        showStatus(text, true);
        return 0;
    };
    for (std::size_t i = 0; i < m_rows.size(); ++i) {
        const Row& row = m_rows[i];
        const std::string number = std::to_string(i + 1);
        if (row.name.empty())
            return fail("Empty name at argument number " + number + ".", i);
        // A name of the file begins with a letter; one with '_' is not read back.
        if (!std::isalpha(static_cast<unsigned char>(row.name[0])))
            return fail("Name must start with a letter at arg. " + number + ".", i);
        for (std::size_t j = 0; j < i; ++j)
            if (m_rows[j].name == row.name)
                return fail("Nonunique argument name " + row.name.substr(0, 20) + ".", i);
        const NameEntry* entry = model.names.find(row.name);
        if (entry && entry->kind != NAME_ARGUMENT)
            return fail("Name " + row.name.substr(0, 20) + " already used somewhere in the model.", i);
        if (!ValidateName(row.name, entry ? entry->object : nullptr, [&](const std::string& text) { error = text; }))
            return fail(error, i);
    }
    for (const Row& row : m_rows) {
        Argument& argument = *row.original;
        if (argument.name != row.name) {
            if (!argument.name.empty())
                model.names.remove(argument.name, &argument);
            argument.name = row.name;
            model.names.add(row.name, NAME_ARGUMENT, &argument);
        }
        int value = 0;
        argument.hasValue = !row.value.empty() && parseInteger(row.value, value) ? 1 : 0;
        argument.value = argument.hasValue ? value : 0;
    }
    SetEdited();
    setEditedFlag(false);
    showStatus("");
    return 1;
}

void TQNMainArgDialog::setEditedFlag(bool edited)
{
    AttributeEditor::setEditedFlag(edited);
    // This editor names itself apart while it holds edits.
    setWindowTitle(edited ? "Main Model's Arguments (edited)" : "GE: Main Arguments");
}

void TQNMainArgDialog::notify(int id, int code)
{
    if (id == ID_ARGS_LIST && code == LBN_SELCHANGE) {
        const int selected = selectedIndex(ID_ARGS_LIST);
        if (!storeEdits()) {
            selectIndex(ID_ARGS_LIST, m_row);
            return;
        }
        showRows(selected);
        return;
    }
    if (code == BN_CLICKED && id == ID_ARGS_ADD)
        return addArgument();
    if (code == BN_CLICKED && id == ID_ARGS_DELETE)
        return deleteArgument();
    if (code == BN_CLICKED && id == ID_ATTR_CANCEL) {
        // Cancel takes the model's arguments again and keeps the editor open.
        Reset();
        return;
    }
    AttributeEditor::notify(id, code);
}

TQNMainArgDialog* OpenMainArguments(QWidget* parent)
{
    // Not bound to one object: the model's arguments stand for it.
    return OpenAttributeEditor(g_editor, parent, &CurrentModel().arguments);
}

TQNMainArgDialog* MainArgumentsEditor()
{
    return g_editor.get();
}

void RegisterMainArgumentsGuard()
{
    // The main arguments editor is hidden by a whole-model operation and always allows it.
    class Guard : public GuardedEditor {
    public:
        const void* heldObject() const override { return nullptr; }
        int allowsAction() override
        {
            if (TQNMainArgDialog* editor = MainArgumentsEditor())
                editor->hide();
            return 1;
        }
    };
    static Guard guard;
    GuardedEditorTable().mainArguments = &guard;
}

void CloseMainArguments()
{
    g_editor.close();
}
