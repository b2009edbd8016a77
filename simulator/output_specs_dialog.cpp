// The plot-specification editor window.
#include "simulator/output_specs_dialog.h"

#include "common/dialog_fonts.h"
#include "common/message_boxes.h"
#include "common/model_file_names.h"
#include "common/name_chooser_dialog.h"
#include "simulator/dynamic_vars_dialog.h"
#include "simulator/experiment_editor_window.h"
#include "simulator/run_state.h"
#include "simulator/simulator_state.h"

#include <QPointer>

namespace {

using namespace platform;
using namespace outputspecs;

OutputSpecsEditor g_editor;
DialogInstance<TQNOutputSpecsDialog> g_dialog;
QPointer<QWidget> g_parent;

} // namespace

const DialogDescription& OutputSpecsDialogDescription()
{
    static const DialogDescription d{"DLG_OUTPUTSPECS", "TQNOutputSpecsDialog", "SIM: Plot Specifications", 364, 244, {
        staticText(ModelName, "", {6, 4, 150, 9}),
        staticText(ExperimentName, "", {160, 4, 150, 9}),
        groupBox(-1, "X-Axis", {6, 16, 352, 46}),
        radioButton(XTime, "&Time", {12, 28, 40, 10}).group(),
        radioButton(XName, "&Name", {12, 44, 40, 10}),
        pushButton(ChooseXName, "Choose Name...", {56, 26, 64, 14}),
        staticText(XNameText, "", {124, 29, 130, 9}),
        staticText(-1, "Scaling :", {56, 45, 36, 9}),
        radioButton(XManual, "&Manual", {94, 44, 40, 10}).group(),
        radioButton(XPost, "&Post", {136, 44, 32, 10}),
        radioButton(XAuto, "&Auto", {170, 44, 32, 10}),
        staticText(-1, "From :", {258, 28, 26, 9}),
        edit(XFrom, {286, 26, 66, 12}).maxLength(40),
        staticText(-1, "To :", {258, 44, 26, 9}),
        edit(XTo, {286, 42, 66, 12}).maxLength(40),
        staticText(-1, "    Type", {6, 66, 40, 9}),
        staticText(-1, "Name", {36, 66, 40, 9}),
        staticText(-1, "Disp", {116, 66, 20, 9}),
        staticText(-1, "Store", {136, 66, 24, 9}),
        listBox(List, {6, 76, 200, 162}).columns({8, 30, 110, 130}).verticalScroll(),
        staticText(CurveText, "", {212, 66, 146, 9}),
        pushButton(ClearName, "Clear Name", {212, 76, 60, 14}),
        pushButton(ChooseYName, "Choose Name...", {278, 76, 64, 14}),
        checkBox(Display, "Display Plot", {212, 96, 70, 10}),
        checkBox(Store, "Store Plot", {286, 96, 60, 10}),
        checkBox(FromFile, "&Read Plot From File :", {212, 112, 146, 10}),
        edit(FileName, {212, 124, 146, 12}),
        checkBox(Matlab, "Store Plot For Matlab (use label name)", {212, 142, 146, 10}),
        edit(Label, {212, 154, 146, 12}),
        staticText(-1, "Scaling :", {212, 172, 40, 9}),
        radioButton(YManual, "M&anual", {212, 184, 42, 10}).group(),
        radioButton(YPost, "P&ost", {258, 184, 34, 10}),
        radioButton(YAuto, "A&uto", {296, 184, 34, 10}),
        staticText(-1, "From :", {212, 202, 26, 9}),
        edit(YFrom, {240, 200, 46, 12}).maxLength(40),
        staticText(-1, "To :", {290, 202, 18, 9}),
        edit(YTo, {308, 200, 50, 12}).maxLength(40),
        pushButton(Ok, "&OK", {212, 222, 64, 14}).defaultButton(),
        pushButton(Import, "&Import...", {284, 222, 64, 14}),
    }};
    return d;
}

TQNOutputSpecsDialog::TQNOutputSpecsDialog(QWidget* parent) : Dialog(OutputSpecsDialogDescription(), parent)
{
    for (int id : {List, XNameText, ModelName, ExperimentName, CurveText})
        setControlFont(id, *GetDialogFont());
    DialogSetupHook(this);
}

void TQNOutputSpecsDialog::showCaption()
{
    setCaption(g_editor.caption());
    setEdited(g_editor.edited());
}

void TQNOutputSpecsDialog::showCurve()
{
    ++m_filling;
    const PlotCurve& c = g_editor.curve();
    setText(CurveText, std::string("Curve ") + char('A' + g_editor.selected()) + " :");
    setChecked(Display, c.display != 0);
    setChecked(Store, c.store != 0);
    setChecked(FromFile, c.fromFile != 0);
    setChecked(Matlab, c.matlab != 0);
    setText(FileName, g_editor.fileName);
    setText(Label, g_editor.label);
    enableControl(FileName, c.fromFile != 0);
    setChecked(c.scaling == 2 ? YAuto : c.scaling == 1 ? YPost : YManual, true);
    setText(YFrom, g_editor.curveRange.from);
    setText(YTo, g_editor.curveRange.to);
    enableControl(YFrom, c.scaling != 2);
    enableControl(YTo, c.scaling != 2);
    selectIndex(List, g_editor.selected());
    --m_filling;
}

void TQNOutputSpecsDialog::showEditor()
{
    ++m_filling;
    const PlotSpecification& copy = g_editor.copy();
    if (itemCount(List) != CurveCount) {
        clearItems(List);
        for (int i = 0; i < CurveCount; ++i)
            addItem(List, g_editor.row(i));
    } else {
        for (int i = 0; i < CurveCount; ++i)
            setItemText(List, i, g_editor.row(i));
    }
    const bool time = copy.xIsTime != 0;
    setChecked(time ? XTime : XName, true);
    enableControl(ChooseXName, !time);
    enableControl(XNameText, !time);
    setText(XNameText, g_editor.xName());
    setChecked(copy.x.scaling == 2 ? XAuto : copy.x.scaling == 1 ? XPost : XManual, true);
    enableControl(XPost, !time);
    enableControl(XAuto, !time);
    setText(XFrom, g_editor.xRange.from);
    setText(XTo, g_editor.xRange.to);
    enableControl(XFrom, copy.x.scaling != 2);
    enableControl(XTo, copy.x.scaling != 2);
    setText(ModelName, Experiment().modelName);
    setText(ExperimentName, Experiment().experimentName);
    --m_filling;
    showCurve();
    showCaption();
}

void TQNOutputSpecsDialog::selectCurve(int curve)
{
    SetTempMessageOwner(handle());
    const bool moved = g_editor.selectCurve(curve);
    RestoreMessageOwner();
    if (!moved) {
        selectIndex(List, g_editor.selected());
        retryField();
        return;
    }
    showEditor();
}

void TQNOutputSpecsDialog::retryField()
{
    int id = ChooseXName;
    switch (g_editor.refusedField()) {
    case OutputSpecsEditor::XFrom: id = XFrom; break;
    case OutputSpecsEditor::XTo: id = XTo; break;
    case OutputSpecsEditor::CurveFrom: id = YFrom; break;
    case OutputSpecsEditor::CurveTo: id = YTo; break;
    case OutputSpecsEditor::FileName: id = FileName; break;
    case OutputSpecsEditor::XName: break;
    }
    focusControl(id);
    if (id != ChooseXName)
        selectAllText(id);
}

void TQNOutputSpecsDialog::chooseName(bool xAxis)
{
    const PlotCurve& current = xAxis ? g_editor.copy().x : g_editor.curve();
    OpenDynamicVarsChooser("Plot Specifications Editor", xAxis ? "X-Axis Name" : "Y-Axis Name",
                           current.hasVariable() ? current.kind : 4, 0,
                           [xAxis](int kind, int variable, int position, const std::string&) {
                               if (xAxis)
                                   g_editor.chooseX(kind, variable, position);
                               else
                                   g_editor.chooseY(kind, variable, position);
                               if (TQNOutputSpecsDialog* dialog = g_dialog.get())
                                   dialog->showEditor();
                           });
}

void TQNOutputSpecsDialog::notify(int id, int code)
{
    if (m_filling)
        return;
    if (code == EN_CHANGE) {
        switch (id) {
        case XFrom: g_editor.xRange.from = text(id); break;
        case XTo: g_editor.xRange.to = text(id); break;
        case YFrom: g_editor.curveRange.from = text(id); break;
        case YTo: g_editor.curveRange.to = text(id); break;
        case FileName: g_editor.fileName = text(id); break;
        case Label: g_editor.label = text(id); break;
        default: return;
        }
        g_editor.markEdited();
        showCaption();
        return;
    }
    if (id == List && code == LBN_SELCHANGE) {
        selectCurve(selectedIndex(List));
        return;
    }
    if (code != BN_CLICKED)
        return;
    switch (id) {
    case XTime:
    case XName:
        g_editor.setXIsTime(id == XTime);
        break;
    case XManual:
    case XPost:
    case XAuto:
        g_editor.setXScaling(id - XManual);
        break;
    case YManual:
    case YPost:
    case YAuto:
        g_editor.setCurveScaling(id - YManual);
        break;
    case Display: g_editor.setDisplay(isChecked(id)); break;
    case Store: g_editor.setStore(isChecked(id)); break;
    case FromFile: g_editor.setFromFile(isChecked(id)); break;
    case Matlab: g_editor.setMatlab(isChecked(id)); break;
    case ClearName: g_editor.clearCurve(); break;
    case ChooseXName: chooseName(true); return;
    case ChooseYName: chooseName(false); return;
    case Import: import(); return;
    case Ok: {
        SetTempMessageOwner(handle());
        const int accepted = g_editor.accept(Simulating != 0);
        RestoreMessageOwner();
        if (accepted)
            endDialog(IDOK);
        else if (!Simulating)
            retryField();
        return;
    }
    default:
        Dialog::notify(id, code);
        return;
    }
    showEditor();
}

void TQNOutputSpecsDialog::import()
{
    const std::string model = Experiment().modelName;
    QPointer<TQNOutputSpecsDialog> self(this);
    ChooseExperimentName(this, "Plot Specs. of", model,
                         [self, model](const std::string& directory, const std::string& name) {
                             if (!self)
                                 return;
                             const std::optional<std::string> path = FindPlotSpecFile(directory, model, name);
                             if (!path)
                                 return;
                             SetTempMessageOwner(self->handle());
                             g_editor.importFile(*path);
                             RestoreMessageOwner();
                             self->showEditor();
                             self->setText(ExperimentName, name);
                         },
                         7);
}

OutputSpecsEditor& OutputSpecsEditorLogic() { return g_editor; }

void SetOutputSpecsEditorParent(QWidget* parent) { g_parent = parent; }

TQNOutputSpecsDialog& OpenOutputSpecsEditor(int curve)
{
    TQNOutputSpecsDialog& dialog = CreateExperimentEditor(g_dialog, g_editor, g_parent.data());
    if (curve >= 0 && curve < CurveCount)
        dialog.selectCurve(curve);
    dialog.showModeless();
    return dialog;
}

void RefreshOutputSpecsEditor()
{
    RefreshExperimentEditor(g_dialog, g_editor);
}

TQNOutputSpecsDialog* OutputSpecsEditorWindow() { return g_dialog.get(); }
