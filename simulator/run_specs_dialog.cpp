// The run-specifications and print-experiment dialogs.
#include "simulator/run_specs_dialog.h"

#include "common/dialog_fonts.h"
#include "common/message_boxes.h"
#include "common/model_file_names.h"
#include "common/name_chooser_dialog.h"
#include "simulator/model_variables.h"
#include "simulator/run_state.h"
#include "simulator/simulator_state.h"

namespace {

using namespace platform;
using namespace runspecs;

DialogInstance<TQNRunSpecsDialog> g_dialog;
RunSpecsEditor g_editor;

/// The editor's field number of an edit control; 0 for none (rows are 1-based here).
int fieldOfControl(int id)
{
    if (id == Start)
        return -1;
    if (id == Finish)
        return -2;
    // Row 3 is used by no method: its edit reports nothing.
    if (id >= FirstField && id < FirstField + 8 && id != FirstField + RowAlgRelErr)
        return id - FirstField + 1;
    return 0;
}

int controlOfField(int field) { return field == -1 ? Start : field == -2 ? Finish : FirstField + field; }

} // namespace

const DialogDescription& RunSpecsDialogDescription()
{
    constexpr int labelX = 6, labelW = 104, editX = 112, editW = 66, boxX = 182, rightX = 204;
    static const DialogDescription d{"DLG_RUNSPECS", "TQNRunSpecsDialog", "SIM: Run Specifications", 280, 214, {
        staticText(ModelName, "", {labelX, 6, 130, 9}),
        staticText(ExperimentName, "", {140, 6, 134, 9}),
        staticText(-1, "Start Time :", {labelX, 24, labelW, 9}),
        edit(Start, {editX, 22, editW, 12}).maxLength(40),
        staticText(-1, "Finish Time :", {labelX, 40, labelW, 9}),
        edit(Finish, {editX, 38, editW, 12}).maxLength(40),
        staticText(-1, "Integration Method :", {labelX, 56, labelW, 9}),
        comboBox(Method, {editX, 54, 88, 80}),
        staticText(RowLabels[0], "Absolute Integration Error :", {labelX, 78, labelW, 9}),
        edit(FirstField + 0, {editX, 76, editW, 12}).maxLength(40),
        staticText(RowLabels[1], "Relative Integration Error :", {labelX, 94, labelW, 9}),
        edit(FirstField + 1, {editX, 92, editW, 12}).maxLength(40),
        staticText(RowLabels[2], "Absolute Alg. Loop Error :", {labelX, 110, labelW, 9}),
        edit(FirstField + 2, {editX, 108, editW, 12}).maxLength(40),
        staticText(RowLabels[3], "Relative Alg. Loop Error :", {labelX, 126, labelW, 9}),
        edit(FirstField + 3, {editX, 124, editW, 12}).maxLength(40),
        staticText(RowLabels[4], "Step Size :", {labelX, 142, labelW, 9}),
        edit(FirstField + 4, {editX, 140, editW, 12}).maxLength(40),
        staticText(RowLabels[5], "Initial Step Size :", {labelX, 158, labelW, 9}),
        edit(FirstField + 5, {editX, 156, editW, 12}).maxLength(40),
        checkBox(FlagBoxes[0], "", {boxX, 157, 12, 10}),
        staticText(RowLabels[6], "Maximum Step Size :", {labelX, 174, labelW, 9}),
        edit(FirstField + 6, {editX, 172, editW, 12}).maxLength(40),
        checkBox(FlagBoxes[1], "", {boxX, 173, 12, 10}),
        staticText(RowLabels[7], "Output After Each :", {labelX, 190, labelW, 9}),
        edit(FirstField + 7, {editX, 188, editW, 12}).maxLength(40),
        checkBox(FlagBoxes[2], "", {boxX, 189, 12, 10}),
        pushButton(Ok, "&OK", {rightX, 22, 70, 14}).defaultButton(),
        pushButton(Import, "&Import...", {rightX, 40, 70, 14}),
        pushButton(Cancel, "&Cancel", {rightX, 58, 70, 14}).cancelButton(),
        checkBox(FlagBoxes[3], "Ignore Warnings", {rightX, 92, 72, 10}),
        checkBox(FlagBoxes[4], "Scale ODE Part", {rightX, 108, 72, 10}),
        checkBox(StoreStates, "Store Sates", {rightX, 124, 72, 10}),
        staticText(ProcessorLabel, "Processor : ", {rightX, 142, 72, 9}),
        radioButton(Local, "&Local", {rightX + 6, 156, 60, 10}).group(),
        radioButton(Remote, "R&emote", {rightX + 6, 170, 60, 10}),
    }};
    return d;
}

TQNRunSpecsDialog::TQNRunSpecsDialog(QWidget* parent) : Dialog(RunSpecsDialogDescription(), parent)
{
    for (const ControlDescription& c : RunSpecsDialogDescription().controls)
        if (c.id > 0)
            setControlFont(c.id, *GetDialogFont());
    DialogSetupHook(this);
    for (const IntegrationMethodRow& method : IntegrationMethods)
        addItem(Method, method.name);
    setChecked(Local, true);
    enableControl(Local, false);
    enableControl(Remote, false);
    enableControl(ProcessorLabel, false);
    enableControl(StoreStates, false);
}

TQNRunSpecsDialog::~TQNRunSpecsDialog() = default;

void TQNRunSpecsDialog::showCaption()
{
    setCaption("SIM: Run Specifications Editor");
    setEdited(g_editor.edited());
}

void TQNRunSpecsDialog::retryField()
{
    const int id = controlOfField(g_editor.refusedField());
    focusControl(id);
    selectAllText(id);
}

void TQNRunSpecsDialog::showEditor()
{
    ++m_filling;
    const RunSpecification& copy = g_editor.copy();
    setText(Start, g_editor.start().text);
    setText(Finish, g_editor.finish().text);
    selectIndex(Method, copy.method);
    const bool loops = Variables().kinds[KindLoopResult].count > 0;
    for (int r = 0; r < 8; ++r) {
        const EditorField& field = g_editor.field(r);
        setText(FirstField + r, field.text);
        enableControl(FirstField + r, field.enabled);
        const bool algebraic = r == RowAlgAbsErr || r == RowAlgRelErr;
        enableControl(RowLabels[std::size_t(r)], copy.row(r).inUse && (loops || !algebraic));
    }
    for (int r = RowInitialStep; r < SettingCount; ++r) {
        const EditorFlagBox& box = g_editor.flagBox(r);
        const int id = FlagBoxes[std::size_t(r - RowInitialStep)];
        setChecked(id, box.checked);
        enableControl(id, box.enabled);
    }
    setChecked(StoreStates, copy.storeStates != 0);
    enableControl(ProcessorLabel, true);
    enableControl(Local, true);
    enableControl(Remote, false);
    setChecked(Local, true);
    setText(ModelName, Experiment().modelName);
    setText(ExperimentName, Experiment().experimentName);
    showCaption();
    --m_filling;
}

void TQNRunSpecsDialog::notify(int id, int code)
{
    if (code == EN_CHANGE) {
        if (const int field = fieldOfControl(id); field != 0 && !m_filling) {
            g_editor.fieldChanged(field < 0 ? field : field - 1, text(id));
            showCaption();
        }
        return;
    }
    if (id == Method && code == CBN_SELCHANGE) {
        SetTempMessageOwner(handle());
        const bool changed = g_editor.changeMethod(selectedIndex(Method));
        RestoreMessageOwner();
        showEditor();
        if (!changed)
            retryField();
        return;
    }
    if (code != BN_CLICKED)
        return;
    for (int r = RowInitialStep; r < SettingCount; ++r)
        if (id == FlagBoxes[std::size_t(r - RowInitialStep)]) {
            g_editor.setFlag(r, isChecked(id));
            showEditor();
            return;
        }
    switch (id) {
    case Ok: {
        SetTempMessageOwner(handle());
        const int accepted = g_editor.ok(Simulating != 0);
        RestoreMessageOwner();
        if (accepted)
            endDialog(IDOK);
        else if (!Simulating)
            retryField();
        return;
    }
    case Cancel:
        g_editor.cancel();
        endDialog(IDCANCEL);
        return;
    case Import:
        import();
        return;
    default:
        return;
    }
}

void TQNRunSpecsDialog::import()
{
    if (Simulating)
        return;
    const std::string model = Experiment().modelName;
    QPointer<TQNRunSpecsDialog> self(this);
    ChooseExperimentName(this, "Run Specs. of", model, [self, model](const std::string& directory,
                                                                     const std::string& name) {
        const std::optional<std::string> path = FindRunSpecFile(directory, model, name);
        if (!path || !self)
            return;
        SetTempMessageOwner(self->handle());
        const int read = g_editor.importFile(*path);
        RestoreMessageOwner();
        if (!read)
            return;
        self->showEditor();
        // The copies are shown under the experiment they came from until OK.
        self->setText(ExperimentName, name);
    }, 0);
}

RunSpecsEditor& RunSpecsEditorLogic() { return g_editor; }

TQNRunSpecsDialog& OpenRunSpecsEditor(QWidget* parent)
{
    TQNRunSpecsDialog& dialog = g_dialog.create([parent] { return new TQNRunSpecsDialog(parent); });
    g_editor.refresh(true);
    dialog.showEditor();
    dialog.showModeless();
    return dialog;
}

TQNRunSpecsDialog* RunSpecsDialog() { return g_dialog.get(); }

void RefreshRunSpecsEditor()
{
    if (TQNRunSpecsDialog* dialog = g_dialog.get()) {
        g_editor.refresh(true);
        dialog->showEditor();
    }
}

const DialogDescription& PrintExperimentDialogDescription()
{
    static const DialogDescription d{"DLG_PRINTEXP", "TQNPrintExpDialog", "Orvanta: Print Experiment", 150, 96, {
        checkBox(PrintExpFirstBox + 0, "Parameters", {8, 8, 90, 10}),
        checkBox(PrintExpFirstBox + 1, "Initial Conditions", {8, 24, 90, 10}),
        checkBox(PrintExpFirstBox + 2, "Run Specifications", {8, 40, 90, 10}),
        checkBox(PrintExpFirstBox + 3, "Multiple Run Specs.", {8, 56, 90, 10}),
        checkBox(PrintExpFirstBox + 4, "Plot Specifications", {8, 72, 90, 10}),
        pushButton(IDOK, "&OK", {102, 8, 42, 14}).defaultButton(),
        pushButton(IDCANCEL, "&Cancel", {102, 26, 42, 14}).cancelButton(),
    }};
    return d;
}

TQNPrintExpDialog::TQNPrintExpDialog(QWidget* parent, const std::string& caption, std::array<int, 5>* flags)
    : Dialog(PrintExperimentDialogDescription(), parent), m_flags(flags)
{
    setCaption(caption);
    for (int i = 0; i < 5; ++i) {
        setChecked(PrintExpFirstBox + i, true);
        setControlFont(PrintExpFirstBox + i, *GetDialogFont());
    }
}

void TQNPrintExpDialog::done(int result)
{
    if (m_flags)
        for (int i = 0; i < 5; ++i)
            (*m_flags)[std::size_t(i)] = isChecked(PrintExpFirstBox + i) ? 1 : 0;
    Dialog::done(result);
}
