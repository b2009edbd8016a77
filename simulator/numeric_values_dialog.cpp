// The numerical values window.
#include "simulator/numeric_values_dialog.h"

#include "common/dialog_fonts.h"
#include "simulator/plot_drawing.h"

#include <QPointer>

#include <cstdio>

namespace {

using namespace platform;
using namespace numvalues;

NumericValues g_values;
DialogInstance<TQNNumericValuesDialog> g_dialog;
QPointer<QWidget> g_parent;
std::string g_model, g_experiment;

std::string formatNumber(const char* form, double value)
{
    char text[64];
    std::snprintf(text, sizeof text, form, value);
    return text;
}

} // namespace

const DialogDescription& NumericValuesDialogDescription()
{
    static const DialogDescription d{"DLG_NUMVALUES", "TQNNumericValuesDialog", "SIM: Numerical Values", 220, 196, {
        staticText(Titles, "", {6, 4, 208, 9}),
        staticText(Messages, "", {6, 14, 208, 9}),
        staticText(-1, "X-Axis : ", {6, 28, 36, 9}),
        staticText(XValue, "", {44, 28, 90, 9}),
        staticText(-1, "Run Number :", {138, 28, 50, 9}),
        staticText(RunNumber, "", {190, 28, 24, 9}),
        scrollBar(Scroll, {6, 40, 208, 10}),
        listBox(List, {6, 54, 208, 90}).columns({85}).verticalScroll(),
        staticText(-1, "Name :", {6, 148, 30, 9}),
        staticText(Name, "", {38, 148, 176, 9}),
        staticText(FindLabel, "Find : ", {6, 164, 26, 9}),
        comboBox(FindChoice, {34, 162, 110, 80}),
        pushButton(Find, "&Find", {150, 162, 64, 14}).defaultButton(),
        pushButton(Cancel, "&Cancel", {150, 178, 64, 14}).cancelButton(),
    }};
    return d;
}

TQNNumericValuesDialog::TQNNumericValuesDialog(QWidget* parent) : Dialog(NumericValuesDialogDescription(), parent)
{
    for (int id : {List, Name, XValue, Titles, Messages})
        setControlFont(id, *GetDialogFont());
    DialogSetupHook(this);
    for (const char* choice : NumericFindTexts)
        addItem(FindChoice, choice);
    selectIndex(FindChoice, 0);
}

TQNNumericValuesDialog::~TQNNumericValuesDialog()
{
    // Closing hides the plot's cursor.
    if (g_values.available())
        ShowCursor(0);
}

bool TQNNumericValuesDialog::showValues(bool force)
{
    if (!force && !isVisible())
        return g_values.available();
    const bool available = g_values.update();
    for (int id : {FindChoice, Find, FindLabel, Scroll, List, RunNumber})
        enableControl(id, available);
    clearItems(List);
    if (!available) {
        setText(Titles, "No numerical values available.");
        setText(Messages, "");
        setText(XValue, "");
        setText(RunNumber, "");
        setText(Name, "");
        return false;
    }
    for (const std::string& line : g_values.lines())
        addItem(List, line);
    setScrollRange(Scroll, 0, g_values.stepCount() - 1);
    setScrollPosition(Scroll, g_values.step());
    setText(XValue, formatNumber("%g", g_values.xValue()));
    setText(RunNumber, std::to_string(g_values.runNumber()));
    selectIndex(List, g_values.entry());
    setText(Titles, g_model);
    setText(Messages, g_experiment);
    setText(Name, g_values.entries()[std::size_t(g_values.entry())].name);
    return true;
}

void TQNNumericValuesDialog::notify(int id, int code)
{
    if (id == Scroll && code != SB_THUMBTRACK) {
        const int position = scrollPosition(Scroll);
        g_values.setStep(position);
        showValues(true);
        setText(Messages, "Current position: " + std::to_string(position));
        return;
    }
    if (id == List && code == LBN_SELCHANGE) {
        g_values.selectEntry(selectedIndex(List));
        showValues(true);
        return;
    }
    if (id == Find && code == BN_CLICKED) {
        g_values.find(selectedIndex(FindChoice));
        showValues(true);
        return;
    }
    Dialog::notify(id, code);
}

NumericValues& NumericValuesLogic() { return g_values; }

void SetNumericValuesParent(QWidget* parent) { g_parent = parent; }

void SetNumericValuesTitles(const std::string& model, const std::string& experiment)
{
    g_model = model;
    g_experiment = experiment;
}

TQNNumericValuesDialog& ShowNumericValues()
{
    TQNNumericValuesDialog& dialog = g_dialog.create([] { return new TQNNumericValuesDialog(g_parent); });
    dialog.showModeless();
    ShowCursor(1);
    dialog.showValues(true);
    return dialog;
}

int UpdateNumericValues(bool force)
{
    TQNNumericValuesDialog* dialog = g_dialog.get();
    return dialog && dialog->showValues(force) ? 1 : 0;
}

void PickNearestPoint(double x, double y)
{
    if (TQNNumericValuesDialog* dialog = g_dialog.get())
        if (g_values.pickNearest(x, y))
            dialog->showValues(true);
}

void StepNumericValues(int delta)
{
    if (TQNNumericValuesDialog* dialog = g_dialog.get()) {
        g_values.stepBy(delta);
        dialog->showValues(true);
    }
}

void NextNumericCurve()
{
    if (TQNNumericValuesDialog* dialog = g_dialog.get()) {
        g_values.nextCurve();
        dialog->showValues(true);
    }
}

void ChangeNumericRun(int delta)
{
    if (TQNNumericValuesDialog* dialog = g_dialog.get()) {
        g_values.changeRun(delta);
        dialog->showValues(true);
    }
}

TQNNumericValuesDialog* NumericValuesDialog() { return g_dialog.get(); }
