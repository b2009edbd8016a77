// The multiple-run editor window and its name chooser.
#include "simulator/multiple_run_dialog.h"

#include "common/dialog_fonts.h"
#include "common/message_boxes.h"
#include "simulator/dynamic_vars_dialog.h"
#include "simulator/experiment_editor_window.h"
#include "simulator/model_variables.h"
#include "simulator/simulator_state.h"

#include <QPointer>

namespace {

using namespace platform;
using namespace multirun;

MultipleRunEditor g_editor;
DialogInstance<TQNMultipleRunDialog> g_dialog;
QPointer<QWidget> g_parent;

} // namespace

const DialogDescription& MultipleRunDialogDescription()
{
    static const DialogDescription d{"DLG_MULTIPLERUN", "TQNMultipleRunDialog", "SIM: Multiple Run Editor", 300, 222, {
        staticText(ModelName, "", {6, 4, 140, 9}),
        staticText(ExperimentName, "", {150, 4, 140, 9}),
        groupBox(-1, "Type", {6, 16, 96, 52}),
        radioButton(Plain, "Multiple Run", {12, 28, 84, 10}).group(),
        radioButton(Optimization, "Optimization", {12, 40, 84, 10}),
        radioButton(MonteCarlo, "Monte Carlo", {12, 52, 84, 10}),
        staticText(FieldLabel, "steps:", {110, 22, 44, 9}),
        edit(Field, {156, 20, 60, 12}).maxLength(40),
        checkBox(CopyStates, "Copy From States", {110, 38, 100, 10}),
        pushButton(ChooseVariable, "Choose Variable...", {110, 52, 80, 14}),
        staticText(CriterionText, "", {194, 55, 100, 9}),
        staticText(-1, "Method :", {6, 76, 36, 9}),
        comboBox(Method, {44, 74, 172, 90}),
        listBox(List, {6, 92, 210, 86}).columns({70}).verticalScroll(),
        pushButton(ChooseParameter, "Choose Parameter...", {222, 92, 72, 14}),
        pushButton(ChooseInitial, "Choose Init. Cond....", {222, 110, 72, 14}),
        pushButton(ClearName, "Clear Name", {222, 128, 72, 14}),
        staticText(-1, "Min :", {6, 186, 20, 9}),
        edit(Min, {28, 184, 56, 12}).maxLength(40),
        staticText(-1, "Max :", {90, 186, 20, 9}),
        edit(Max, {112, 184, 56, 12}).maxLength(40),
        comboBox(Scale, {174, 184, 66, 40}),
        pushButton(Ok, "&OK", {222, 20, 72, 14}).defaultButton(),
        pushButton(Cancel, "&Cancel", {222, 38, 72, 14}).cancelButton(),
    }};
    return d;
}

const DialogDescription& MultipleRunNameDialogDescription()
{
    static const DialogDescription d{"DLG_MULTIPLERUNNAMECHS", "TQNMultipleRunNameDialog",
                                     "SIM: Multiple Run Name Chooser", 200, 150, {
        listBox(NameList, {6, 6, 188, 118}).verticalScroll(),
        pushButton(IDOK, "&OK", {42, 130, 54, 14}).defaultButton(),
        pushButton(IDCANCEL, "&Cancel", {104, 130, 54, 14}).cancelButton(),
    }};
    return d;
}

TQNMultipleRunNameDialog::TQNMultipleRunNameDialog(QWidget* parent, int kind)
    : Dialog(MultipleRunNameDialogDescription(), parent)
{
    setControlFont(NameList, *GetDialogFont());
    for (int i = 0; i < Variables().kinds[std::size_t(kind)].count; ++i) {
        const char* name = GetVariableName(kind, i, 0);
        addItem(NameList, name ? name : "");
    }
    if (itemCount(NameList) > 0)
        selectIndex(NameList, 0);
}

void TQNMultipleRunNameDialog::notify(int id, int code)
{
    if ((id == IDOK && code == BN_CLICKED) || (id == NameList && code == LBN_DBLCLK)) {
        m_chosen = selectedIndex(NameList);
        endDialog(IDOK);
        return;
    }
    Dialog::notify(id, code);
}

TQNMultipleRunDialog::TQNMultipleRunDialog(QWidget* parent) : Dialog(MultipleRunDialogDescription(), parent)
{
    for (int id : {List, CriterionText, ModelName, ExperimentName})
        setControlFont(id, *GetDialogFont());
    DialogSetupHook(this);
    for (const char* name : OptimizationMethodNames)
        addItem(Method, name);
    addItem(Scale, "linear");
    addItem(Scale, "logarithmic");
}

void TQNMultipleRunDialog::showEditor()
{
    ++m_filling;
    const MultipleRunSpec& spec = g_editor.spec();
    setChecked(spec.type == OptimizationRun ? Optimization : spec.type == MonteCarloRun ? MonteCarlo : Plain, true);
    setText(FieldLabel, g_editor.fieldLabel());
    setText(Field, g_editor.field);
    setChecked(CopyStates, spec.copyStates != 0);
    const char* criterion = CriterionName(spec);
    setText(CriterionText, criterion ? criterion : "");
    selectIndex(Method, spec.method >= 0 && spec.method < 8 ? spec.method : -1);
    enableControl(Method, spec.type == OptimizationRun);
    clearItems(List);
    for (int i = 0; i < int(spec.variables.size()); ++i)
        addItem(List, g_editor.line(i));
    selectIndex(List, g_editor.selected());
    const bool line = g_editor.selected() >= 0;
    setText(Min, g_editor.minText);
    setText(Max, g_editor.maxText);
    selectIndex(Scale, line ? g_editor.scale : -1);
    for (int id : {Min, Max, Scale, ClearName})
        enableControl(id, line);
    setText(ModelName, Experiment().modelName);
    setText(ExperimentName, Experiment().experimentName);
    setCaption(g_editor.caption());
    setEdited(g_editor.edited());
    --m_filling;
}

void TQNMultipleRunDialog::takeLineFields()
{
    g_editor.minText = text(Min);
    g_editor.maxText = text(Max);
    g_editor.scale = selectedIndex(Scale) > 0 ? 1 : 0;
    g_editor.field = text(Field);
}

void TQNMultipleRunDialog::retryField()
{
    const MultipleRunEditor::Field refused = g_editor.refusedField();
    const int id = refused == MultipleRunEditor::MinField ? Min : refused == MultipleRunEditor::MaxField ? Max : Field;
    focusControl(id);
    selectAllText(id);
}

void TQNMultipleRunDialog::chooseName(int kind)
{
    TQNMultipleRunNameDialog names(this, kind);
    if (names.runModal() != IDOK || names.chosen() < 0)
        return;
    takeLineFields();
    SetTempMessageOwner(handle());
    g_editor.addVariable(kind, names.chosen());
    RestoreMessageOwner();
    showEditor();
}

void TQNMultipleRunDialog::notify(int id, int code)
{
    if (m_filling)
        return;
    if (code == EN_CHANGE) {
        if (id == Field || id == Min || id == Max) {
            takeLineFields();
            g_editor.markEdited();
            setEdited(true);
        }
        return;
    }
    if (id == List && code == LBN_SELCHANGE) {
        takeLineFields();
        SetTempMessageOwner(handle());
        const bool moved = g_editor.selectLine(selectedIndex(List));
        RestoreMessageOwner();
        showEditor();
        if (!moved)
            retryField();
        return;
    }
    if ((id == Method || id == Scale) && code == CBN_SELCHANGE) {
        if (id == Method)
            g_editor.setMethod(selectedIndex(Method));
        else
            g_editor.scale = selectedIndex(Scale) > 0 ? 1 : 0;
        g_editor.markEdited();
        setEdited(true);
        return;
    }
    if (code != BN_CLICKED)
        return;
    switch (id) {
    case Plain:
    case Optimization:
    case MonteCarlo: {
        g_editor.field = text(Field);
        SetTempMessageOwner(handle());
        const bool changed = g_editor.setType(id - Plain);
        RestoreMessageOwner();
        showEditor();
        if (!changed)
            retryField();
        return;
    }
    case CopyStates:
        g_editor.setCopyStates(isChecked(CopyStates));
        break;
    case ChooseParameter:
        chooseName(KindParameter);
        return;
    case ChooseInitial:
        chooseName(KindInitial);
        return;
    case ClearName:
        g_editor.clearName();
        break;
    case ChooseVariable: {
        const MultipleRunSpec& spec = g_editor.spec();
        OpenDynamicVarsChooser("Multiple Run Specifications Editor", "Optimization variable name",
                               spec.hasCriterion() ? spec.criterionKind : 4, 0,
                               [](int kind, int variable, int position, const std::string&) {
                                   g_editor.chooseCriterion(kind, variable, position);
                                   if (TQNMultipleRunDialog* dialog = g_dialog.get())
                                       dialog->showEditor();
                               });
        return;
    }
    case Ok: {
        takeLineFields();
        SetTempMessageOwner(handle());
        const bool accepted = g_editor.ok();
        RestoreMessageOwner();
        if (accepted)
            endDialog(IDOK);
        else
            retryField();
        return;
    }
    case Cancel:
        g_editor.cancel();
        endDialog(IDCANCEL);
        return;
    default:
        return;
    }
    showEditor();
}

MultipleRunEditor& MultipleRunEditorLogic() { return g_editor; }

void SetMultipleRunEditorParent(QWidget* parent) { g_parent = parent; }

TQNMultipleRunDialog& OpenMultipleRunEditor()
{
    TQNMultipleRunDialog& dialog = CreateExperimentEditor(g_dialog, g_editor, g_parent.data());
    dialog.showModeless();
    return dialog;
}

void RefreshMultipleRunEditor()
{
    RefreshExperimentEditor(g_dialog, g_editor);
}

TQNMultipleRunDialog* MultipleRunEditorWindow() { return g_dialog.get(); }
