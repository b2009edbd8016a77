// The chooser window of model and experiment names.
#include "common/name_chooser_dialog.h"

#include "common/dialog_fonts.h"
#include "common/message_boxes.h"

namespace {

using namespace platform;

DialogInstance<TQNFileDialog> g_chooserWindow;

} // namespace

const DialogDescription& FileDialogDescription()
{
    static const DialogDescription d{"DLG_FILE", "TQNFileDialog", "", 164, 150, {
        staticText(-1, "Category :", {6, 6, 100, 8}),
        comboBox(ID_CHOOSER_CATEGORY, {6, 16, 104, 60}).hidden(),
        staticText(-1, "Choice :", {6, 34, 100, 8}),
        edit(ID_CHOOSER_NAME, {6, 44, 104, 12}).maxLength(ChooserNameLimit),
        staticText(-1, " Available :", {6, 60, 100, 8}),
        listBox(ID_CHOOSER_LIST, {6, 70, 104, 62}),
        pushButton(ID_CHOOSER_OK, "&OK", {116, 16, 42, 14}).defaultButton(),
        pushButton(ID_CHOOSER_CANCEL, "&Cancel", {116, 34, 42, 14}).cancelButton(),
        staticText(ID_CHOOSER_HINT, "", {6, 136, 152, 8}),
    }};
    return d;
}

TQNFileDialog::TQNFileDialog(QWidget* parent) : ModuleDialog(FileDialogDescription(), parent)
{
    for (int id : {ID_CHOOSER_CATEGORY, ID_CHOOSER_NAME, ID_CHOOSER_LIST, ID_CHOOSER_HINT})
        setControlFont(id, *GetDialogFont());
    DialogSetupHook(this);
}

TQNFileDialog::~TQNFileDialog()
{
    ProgramNameChooser().closed(0);
}

void TQNFileDialog::done(int result)
{
    ProgramNameChooser().closed(handle());
    ModuleDialog::done(result);
}

void TQNFileDialog::notify(int id, int code)
{
    NameChooser& chooser = ProgramNameChooser();
    switch (id) {
    case ID_CHOOSER_OK:
        if (code == BN_CLICKED && chooser.accept(*this))
            endDialog(IDOK);
        return;
    case ID_CHOOSER_CANCEL:
        if (code == BN_CLICKED)
            endDialog(IDCANCEL);
        return;
    case ID_CHOOSER_LIST:
        if (code == LBN_SELCHANGE)
            chooser.namePicked(*this);
        else if (code == LBN_DBLCLK) {
            chooser.namePicked(*this);
            if (chooser.accept(*this))
                endDialog(IDOK);
        }
        return;
    case ID_CHOOSER_CATEGORY:
        if (code == CBN_SELCHANGE)
            chooser.categoryChanged(*this);
        return;
    default:
        ModuleDialog::notify(id, code);
    }
}

int vvchoose_name(QWidget* parent, const std::string& caption, const ModelNameCategory& category,
                  DisplayNameFunction display, NameCheckFunction check, ChosenNameCallback callback, int mode)
{
    NameChooser& chooser = ProgramNameChooser();
    if (!chooser.setRequest(category, std::move(display), std::move(check), std::move(callback), mode))
        return 0;
    TQNFileDialog* window = g_chooserWindow.get();
    if (!window) {
        window = &g_chooserWindow.create([&] { return new TQNFileDialog(parent); });
        if (!CheckWindowHandle(window->handle(), window))
            return 0;
        chooser.fillCategories(*window);
    }
    window->setCaption(caption);
    window->showWindowModal();
    chooser.prepare(*window);
    return 1;
}

int ChooseModelName(QWidget* parent, const std::string& caption, int categoryCode, ChosenNameCallback callback,
                    int mode)
{
    static ModelNameCategory category;
    FillModelNameCategory(category, categoryCode);
    return vvchoose_name(parent, caption, category, ModelDisplayName,
                         [](std::string_view name) { return CheckModelName(name); }, std::move(callback), mode);
}

int ChooseExperimentName(QWidget* parent, const std::string& captionWord, const std::string& modelName,
                         ChosenNameCallback callback, int mode)
{
    static ModelNameCategory category;
    PrepareExperimentDirectory(modelName);
    FillExperimentCategory(category, modelName);
    return vvchoose_name(parent, ExperimentChooserCaption(captionWord, modelName), category, NameBeforeDot,
                         CheckNameCharacters, std::move(callback), mode);
}

void ChooserClosed()
{
    g_chooserWindow.close();
}

TQNFileDialog* NameChooserWindow()
{
    return g_chooserWindow.get();
}
