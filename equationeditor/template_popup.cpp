// The template popup and its information file.
#include "equationeditor/template_popup.h"

#include "common/dialog_fonts.h"
#include "common/message_boxes.h"
#include "common/startup.h"
#include "platform/core/file_system.h"

namespace {

using namespace platform;

DialogInstance<TQNTemplateDialog> g_popup;

/// The popup's font: the description's columns and examples line up in it.
const FontSpec TemplateTextFont{"DejaVu Sans Mono", 13};

} // namespace

std::string templateInformationPath()
{
    return Startup().InstallDirectory + "/" + "help/e9keldor.inf";
}

std::optional<std::string> readTemplateInformation(const std::string& path)
{
    std::optional<std::string> text = platform::readFile(path);
    if (!text || text->empty())
        return std::nullopt;
    if (std::size_t nul = text->find('\0'); nul != std::string::npos)
        text->resize(nul);
    return text;
}

int loadTemplateText(const std::function<void(std::string_view text)>& setText)
{
    std::optional<std::string> text = readTemplateInformation(templateInformationPath());
    if (!text) {
        ShowMessage({"Information file for template popup could not be opened.",
                     "Check the help path in the General Properties,", "or consult your Orvanta manager."});
        return 0;
    }
    setText(*text);
    return 1;
}

const DialogDescription& TemplateDialogDescription()
{
    static const DialogDescription d{"DLG_TEMPLATE", "TQNTemplateDialog", "EE: KELDOR Template", 330, 250, {
        edit(ID_TEMPLATE_TEXT, {6, 6, 318, 218}).multiline().readOnly().verticalScroll().horizontalScroll(),
        pushButton(ID_TEMPLATE_OK, "&OK", {142, 230, 46, 14}).defaultButton().cancelButton(),
    }};
    return d;
}

TQNTemplateDialog::TQNTemplateDialog(QWidget* parent) : Dialog(TemplateDialogDescription(), parent)
{
    GetDialogFont();
    GetBoldDialogFont();
    DialogSetupHook(this);
}

int createTemplatePopup(QWidget* parent)
{
    if (TQNTemplateDialog* popup = g_popup.get()) {
        popup->focusControl(ID_TEMPLATE_TEXT);
        return 1;
    }
    TQNTemplateDialog* popup = &g_popup.create([&] { return new TQNTemplateDialog(parent); });
    if (!ReportWindowFailure(popup) || !CheckWindowHandle(popup->handle(), popup))
        return 0;
    popup->setControlFont(ID_TEMPLATE_TEXT, TemplateTextFont);
    popup->focusControl(ID_TEMPLATE_TEXT);
    return 1;
}

void showTemplatePopup(QWidget* parent)
{
    if (!createTemplatePopup(parent))
        return;
    TQNTemplateDialog* popup = g_popup.get();
    loadTemplateText([popup](std::string_view text) { popup->setText(ID_TEMPLATE_TEXT, text); });
    popup->showModeless();
}

TQNTemplateDialog* templatePopup()
{
    return g_popup.get();
}

void closeTemplatePopup()
{
    g_popup.close();
}
