// The chooser window of model and experiment names (`DLG_FILE`), one per
// program, over the logic of name_chooser.h.
#pragma once

#include "common/module_dialog.h"
#include "common/name_chooser.h"

#include <string>

/// "DLG_FILE".
const platform::DialogDescription& FileDialogDescription();

class TQNFileDialog : public ModuleDialog {
public:
    explicit TQNFileDialog(QWidget* parent);
    ~TQNFileDialog() override;

    void done(int result) override;

protected:
    void notify(int id, int code) override;
};

/// Opens the chooser for the category's names, or refreshes the open one (its
/// caption, list and edit; the category box stays as it was made); 1 when it
/// is shown. The call returns at once, but the parent's window takes no input
/// until the chooser has ended. A missing display function is `DefaultDisplayName`, a missing
/// check accepts every name. The callback gets each accepted name.
int vvchoose_name(QWidget* parent, const std::string& caption, const ModelNameCategory& category,
                  DisplayNameFunction display, NameCheckFunction check, ChosenNameCallback callback, int mode);

/// The chooser of models for a category code of `FillModelNameCategory`.
int ChooseModelName(QWidget* parent, const std::string& caption, int categoryCode, ChosenNameCallback callback,
                    int mode);

/// The chooser of the model's experiments, in its experiment directory (made
/// when missing).
int ChooseExperimentName(QWidget* parent, const std::string& captionWord, const std::string& modelName,
                         ChosenNameCallback callback, int mode);

/// Closes the chooser when it is open.
void ChooserClosed();

/// The chooser window while it is open; null otherwise.
TQNFileDialog* NameChooserWindow();
