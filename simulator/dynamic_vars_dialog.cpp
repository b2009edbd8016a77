// The dynamic variables chooser window: six lists on one place, the current type's shown.
#include "simulator/dynamic_vars_dialog.h"

#include "common/dialog_fonts.h"
#include "simulator/simulator_state.h"

#include <QPointer>

namespace {

using namespace platform;
using namespace dynvars;

DynamicVarsChooser g_chooser;
DialogInstance<TQNDynamicVarsDialog> g_dialog;
QPointer<QWidget> g_parent;

constexpr const char* RadioTexts[] = {"&Variables", "&States", "&Rates", "&Algebraic Loops", "&Dependent States",
                                      "De&pendent Rates"};

} // namespace

const DialogDescription& DynamicVarsDialogDescription()
{
    static const DialogDescription d = [] {
        DialogDescription description{"DLG_DYNVARCHOOSER", "TQNDynamicVarsDialog", "SIM: Dynamic Variables", 276, 196,
                                      {}};
        auto& c = description.controls;
        c.push_back(staticText(ModelName, "", {6, 4, 130, 9}));
        c.push_back(staticText(ExperimentName, "", {140, 4, 130, 9}));
        c.push_back(staticText(-1, "Called From : ", {6, 18, 56, 9}));
        c.push_back(staticText(CalledFrom, "", {64, 18, 206, 9}));
        c.push_back(staticText(-1, "For Item : ", {6, 30, 56, 9}));
        c.push_back(staticText(ForItem, "", {64, 30, 206, 9}));
        for (int t = 0; t < 6; ++t) {
            ControlDescription radio = radioButton(FirstRadio + t, RadioTexts[t], {6, 46 + 16 * t, 84, 10});
            if (t == 0)
                radio.group();
            c.push_back(radio);
        }
        for (int t = 0; t < 6; ++t)
            c.push_back(listBox(Lists[std::size_t(t)], {94, 44, 176, 110}).verticalScroll().hidden());
        c.push_back(staticText(-1, "Name : ", {6, 160, 30, 9}));
        c.push_back(staticText(Name, "", {38, 160, 232, 9}));
        c.push_back(pushButton(Ok, "&OK", {94, 176, 54, 14}).hidden());
        c.push_back(pushButton(Apply, "&Apply", {94, 176, 54, 14}).defaultButton());
        c.push_back(pushButton(Close, "&Close", {156, 176, 54, 14}).cancelButton());
        return description;
    }();
    return d;
}

TQNDynamicVarsDialog::TQNDynamicVarsDialog(QWidget* parent) : Dialog(DynamicVarsDialogDescription(), parent)
{
    for (const ControlDescription& control : DynamicVarsDialogDescription().controls)
        if (control.id > 0 && control.kind != ControlKind::PushButton)
            setControlFont(control.id, *GetDialogFont());
    DialogSetupHook(this);
}

void TQNDynamicVarsDialog::showName() { setText(Name, g_chooser.selectedName()); }

void TQNDynamicVarsDialog::showChooser()
{
    ++m_filling;
    for (int t = 0; t < 6; ++t) {
        const int list = Lists[std::size_t(t)];
        if (itemCount(list) != int(g_chooser.lines(t).size()) ||
            (itemCount(list) > 0 && itemText(list, 0) != g_chooser.lines(t).front().text)) {
            clearItems(list);
            for (const ChooserLine& line : g_chooser.lines(t))
                addItem(list, line.text);
        }
        showControl(list, t == g_chooser.currentType());
        selectIndex(list, g_chooser.lines(t).empty() ? -1 : g_chooser.selectedLine(t));
        setChecked(FirstRadio + t, t == g_chooser.currentType());
    }
    showName();
    --m_filling;
}

void TQNDynamicVarsDialog::notify(int id, int code)
{
    if (m_filling)
        return;
    for (int t = 0; t < 6; ++t) {
        if (id == FirstRadio + t && code == BN_CLICKED) {
            g_chooser.chooseType(t);
            showChooser();
            return;
        }
        if (id == Lists[std::size_t(t)] && code == LBN_SELCHANGE) {
            g_chooser.selectLine(selectedIndex(id));
            showName();
            return;
        }
    }
    if (code != BN_CLICKED)
        return;
    QPointer<TQNDynamicVarsDialog> self(this);
    switch (id) {
    case Apply:
    case Ok:
        g_chooser.apply();
        if (!self)
            return;
        showChooser();
        if (id == Ok)
            endDialog(IDOK);
        else
            activateWindow();
        return;
    case Close:
        g_chooser.close();
        showChooser();
        endDialog(IDCANCEL);
        return;
    default:
        return;
    }
}

DynamicVarsChooser& DynamicVarsChooserLogic() { return g_chooser; }

void SetDynamicVarsChooserParent(QWidget* parent) { g_parent = parent; }

TQNDynamicVarsDialog& OpenDynamicVarsChooser(const std::string& caller, const std::string& item, int kind, int line,
                                             DynamicVarsCallback callback)
{
    TQNDynamicVarsDialog& dialog = g_dialog.create([] { return new TQNDynamicVarsDialog(g_parent); });
    g_chooser.open(kind, line, std::move(callback));
    dialog.setText(CalledFrom, caller);
    dialog.setText(ForItem, item);
    dialog.setText(ModelName, Experiment().modelName);
    dialog.setText(ExperimentName, Experiment().experimentName);
    dialog.showChooser();
    dialog.showModeless();
    return dialog;
}

void ClearDynamicVarsChooser()
{
    g_chooser.clear();
    if (TQNDynamicVarsDialog* dialog = g_dialog.get())
        dialog->showChooser();
}

void SetDynamicVarsChooserTitles(const std::string& model, const std::string& experiment)
{
    if (TQNDynamicVarsDialog* dialog = g_dialog.get()) {
        dialog->setText(ModelName, model);
        dialog->setText(ExperimentName, experiment);
    }
}

TQNDynamicVarsDialog* DynamicVarsChooserWindow() { return g_dialog.get(); }
