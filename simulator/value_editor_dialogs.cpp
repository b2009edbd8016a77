// The parameter and initial-condition editor windows.
#include "simulator/value_editor_dialogs.h"

#include "common/dialog_fonts.h"
#include "common/message_boxes.h"
#include "common/model_file_names.h"
#include "common/name_chooser_dialog.h"
#include "simulator/model_variables.h"
#include "simulator/run_state.h"
#include "simulator/simulator_state.h"

#include <QPointer>

namespace {

using namespace platform;
using namespace valueeditor;

DialogInstance<TQNParEditorDialog> g_parameterDialog;
DialogInstance<TQNInitialCondDialog> g_initialDialog;
QPointer<QWidget> g_parameterParent, g_initialParent;

/// The controls both editors have, with the kind's own at the end.
std::vector<ControlDescription> commonControls(int valueLabel, int listWidth)
{
    return {
        staticText(ModelName, "", {6, 4, 120, 9}),
        staticText(ExperimentName, "", {130, 4, 120, 9}),
        listBox(List, {6, 16, listWidth, 124}).verticalScroll(),
        staticText(-1, "Name : ", {6, 146, 30, 9}),
        staticText(Name, "", {38, 146, listWidth - 32, 9}),
        staticText(valueLabel, "Value : ", {6, 162, 30, 9}),
        edit(Value, {38, 160, listWidth - 32, 12}),
        pushButton(Ok, "&OK", {listWidth + 14, 16, 56, 14}).defaultButton(),
        pushButton(Apply, "&Apply", {listWidth + 14, 34, 56, 14}),
        pushButton(Cancel, "&Cancel", {listWidth + 14, 52, 56, 14}).cancelButton(),
        pushButton(Import, "&Import...", {listWidth + 14, 70, 56, 14}),
    };
}

} // namespace

const DialogDescription& ParEditorDialogDescription()
{
    static const DialogDescription d = [] {
        DialogDescription description{"DLG_PAREDITOR", "TQNParEditorDialog", "SIM: Parameters Editor", 296, 196,
                                      commonControls(ParameterValueLabel, 220)};
        description.controls[2].columns({90, 135});
        description.controls.push_back(checkBox(SameSampleTime, "Use same value for all SampleTime types", {6, 178, 220, 10}));
        return description;
    }();
    return d;
}

const DialogDescription& InitialCondDialogDescription()
{
    static const DialogDescription d = [] {
        DialogDescription description{"DLG_ICEDITOR", "TQNInitialCondDialog", "SIM: Initial Conditions Editor", 296, 180,
                                      commonControls(InitialValueLabel, 220)};
        description.controls[2].columns({120});
        description.controls.push_back(pushButton(States, "&States", {234, 100, 56, 14}));
        return description;
    }();
    return d;
}

ValueEditorDialog::ValueEditorDialog(QWidget* parent, ValueEditor& editor)
    : Dialog(editor.parameters() ? ParEditorDialogDescription() : InitialCondDialogDescription(), parent),
      m_editor(editor)
{
    for (int id : {List, Name, ModelName, ExperimentName})
        setControlFont(id, *GetDialogFont());
    DialogSetupHook(this);
    setTextLimit(Value, m_editor.parameters() ? 280 : 39);
    if (m_editor.parameters())
        setChecked(SameSampleTime, true);
}

TQNParEditorDialog::TQNParEditorDialog(QWidget* parent) : ValueEditorDialog(parent, ParametersEditorLogic()) {}

TQNInitialCondDialog::TQNInitialCondDialog(QWidget* parent)
    : ValueEditorDialog(parent, InitialConditionsEditorLogic())
{
}

int ValueEditorDialog::valueLabel() const
{
    return m_editor.parameters() ? ParameterValueLabel : InitialValueLabel;
}

void ValueEditorDialog::showCaption()
{
    setCaption(m_editor.caption());
    setEdited(m_editor.edited());
}

void ValueEditorDialog::showEntry(int i)
{
    ++m_filling;
    m_editor.setCurrent(i);
    const int current = m_editor.current();
    const bool any = current >= 0;
    setText(Value, any ? m_editor.editText(current) : "");
    enableControl(Value, any);
    enableControl(valueLabel(), any);
    setText(Name, any ? m_editor.entries()[std::size_t(current)].name : "");
    if (any) {
        selectIndex(List, current);
        focusControl(Value);
        selectAllText(Value);
    }
    --m_filling;
}

void ValueEditorDialog::redrawLine(int i)
{
    if (i >= 0 && i < itemCount(List))
        setItemText(List, i, m_editor.line(i));
}

void ValueEditorDialog::redrawAll()
{
    clearItems(List);
    for (int i = 0; i < int(m_editor.entries().size()); ++i)
        addItem(List, m_editor.line(i));
}

void ValueEditorDialog::refresh()
{
    m_editor.refresh();
    redrawAll();
    if (m_editor.parameters())
        enableControl(SameSampleTime, m_editor.hasSampleTime());
    showEntry(0);
    setTitles(Experiment().modelName, Experiment().experimentName);
    showCaption();
}

void ValueEditorDialog::setTitles(const std::string& model, const std::string& experiment)
{
    setText(ModelName, model);
    setText(ExperimentName, experiment);
}

bool ValueEditorDialog::storeEdit()
{
    std::vector<int> changed;
    SetTempMessageOwner(handle());
    const bool stored = m_editor.store(text(Value), m_editor.parameters() && isChecked(SameSampleTime), &changed);
    RestoreMessageOwner();
    for (int i : changed)
        redrawLine(i);
    return stored;
}

void ValueEditorDialog::retryEntry()
{
    selectIndex(List, m_editor.current());
    showCaption();
    focusControl(Value);
    selectAllText(Value);
}

void ValueEditorDialog::applyAndMove(bool close)
{
    SetTempMessageOwner(handle());
    const bool applied =
        m_editor.apply(text(Value), Simulating != 0, m_editor.parameters() && isChecked(SameSampleTime));
    RestoreMessageOwner();
    if (Simulating)
        return;
    if (!applied) {
        retryEntry();
        return;
    }
    redrawAll();
    showCaption();
    const int current = m_editor.current();
    if (close) {
        endDialog(IDOK);
        return;
    }
    showEntry(current >= 0 && current + 1 < int(m_editor.entries().size()) ? current + 1 : current);
}

void ValueEditorDialog::notify(int id, int code)
{
    if (id == Value && code == EN_CHANGE) {
        if (!m_filling) {
            m_editor.typed();
            showCaption();
        }
        return;
    }
    if (id == List && code == LBN_SELCHANGE) {
        const int selected = selectedIndex(List);
        // A refused value keeps its line, so that what was typed is not lost.
        if (!storeEdit()) {
            retryEntry();
            return;
        }
        showEntry(selected);
        return;
    }
    if (code != BN_CLICKED)
        return;
    switch (id) {
    case Ok:
        applyAndMove(true);
        return;
    case Apply:
        applyAndMove(false);
        return;
    case Cancel:
        m_editor.refresh();
        endDialog(IDCANCEL);
        return;
    case Import:
        import();
        return;
    case States:
        SetTempMessageOwner(handle());
        if (m_editor.copyStates()) {
            redrawAll();
            showCaption();
            showEntry(0);
        }
        RestoreMessageOwner();
        return;
    default:
        return;
    }
}

void ValueEditorDialog::import()
{
    const std::string model = Experiment().modelName;
    const int kind = m_editor.kind();
    QPointer<ValueEditorDialog> self(this);
    ChooseExperimentName(this, m_editor.parameters() ? "Parameters of" : "Init. Cond. of", model,
                         [self, model, kind](const std::string& directory, const std::string& name) {
                             if (!self)
                                 return;
                             const std::optional<std::string> path = FindParameterFile(directory, model, name);
                             if (!path)
                                 return;
                             SetTempMessageOwner(self->handle());
                             const auto values =
                                 kind == KindParameter ? ReadParameterValues(*path) : ReadInitialConditionValues(*path);
                             RestoreMessageOwner();
                             if (!values)
                                 return;
                             self->m_editor.importValues(*values);
                             self->redrawAll();
                             self->setText(ExperimentName, name);
                             self->showCaption();
                             self->showEntry(0);
                         },
                         7);
}

void SetParametersEditorParent(QWidget* parent) { g_parameterParent = parent; }
void SetInitialConditionsEditorParent(QWidget* parent) { g_initialParent = parent; }

TQNParEditorDialog& ShowParametersEditor()
{
    TQNParEditorDialog& dialog = g_parameterDialog.create([] { return new TQNParEditorDialog(g_parameterParent); });
    dialog.refresh();
    dialog.showModeless();
    return dialog;
}

TQNInitialCondDialog& ShowInitialConditionsEditor()
{
    TQNInitialCondDialog& dialog = g_initialDialog.create([] { return new TQNInitialCondDialog(g_initialParent); });
    dialog.refresh();
    dialog.showModeless();
    return dialog;
}

TQNParEditorDialog* ParametersEditor() { return g_parameterDialog.get(); }
TQNInitialCondDialog* InitialConditionsEditor() { return g_initialDialog.get(); }

void RefreshParametersEditor()
{
    if (TQNParEditorDialog* dialog = g_parameterDialog.get())
        dialog->refresh();
}

void RefreshInitialConditionsEditor()
{
    if (TQNInitialCondDialog* dialog = g_initialDialog.get())
        dialog->refresh();
}
