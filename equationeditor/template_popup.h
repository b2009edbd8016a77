// The template popup: a modeless window of the equation editor showing the
// brief description of the model language kept in the installation's
// information file, help/e9keldor.inf. Each showing reads the file again.
//
// The editor creates the popup hidden when it starts (`createTemplatePopup`)
// and shows it for File > Template (`showTemplatePopup`); OK or the close box
// destroys it, and the next showing makes it anew.
#pragma once

#include "platform/qt/dialog.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>

class QWidget;

/// The control ids of the popup (`DLG_TEMPLATE`).
enum TemplatePopupControl {
    ID_TEMPLATE_OK = 1,
    ID_TEMPLATE_TEXT = 100,
};

/// The information file: the installation directory and "help/e9keldor.inf".
std::string templateInformationPath();

/// The whole file read as bytes, up to its first NUL byte; none when it
/// cannot be opened or read whole, or is empty. Files of any length are read.
std::optional<std::string> readTemplateInformation(const std::string& path);

/// Fills a text control from the information file through `setText`: 1 on
/// success; else the control keeps its text, the user is told the file could
/// not be opened, and 0.
int loadTemplateText(const std::function<void(std::string_view text)>& setText);

/// The popup window.
class TQNTemplateDialog : public platform::Dialog {
public:
    explicit TQNTemplateDialog(QWidget* parent);
};

/// The popup's dialog description.
const platform::DialogDescription& TemplateDialogDescription();

/// Creates the popup hidden when there is none, else gives the one there is
/// the focus; 1 when the popup exists afterwards.
int createTemplatePopup(QWidget* parent);

/// File > Template: the popup (created when needed), the information file read
/// into its text, and the popup shown.
void showTemplatePopup(QWidget* parent);

/// The popup while it exists; null otherwise.
TQNTemplateDialog* templatePopup();

/// Closes the popup when it exists (the editor quitting).
void closeTemplatePopup();
