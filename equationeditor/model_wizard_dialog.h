// The model wizard's window (`DLG_TPLWIZ`): four pages over the logic of
// model_wizard.h, with the page pictures "BM_WIZARD1" to "BM_WIZARD4".
//
// The editor starts it for File > New > Use Wizard and for the graph
// editor's request of a wizard model:
//
//     startModelWizard(frame, {[this] { return newBlankModel(); },
//                              [this](std::string_view piece) { insertAtCaret(piece); }});
//
// On Finish the wizard runs the editor's new-blank-model step and, when that
// leaves an empty untitled model, hands the skeleton to the inserter piece by
// piece (lines end with CR LF), each piece to go in at the caret in place of
// the selection. Cancel or the close box writes nothing.
#pragma once

#include "common/module_dialog.h"
#include "equationeditor/model_wizard.h"

#include <QImage>

class QWidget;

/// What the wizard needs of the editor.
struct ModelWizardHost {
    NewBlankModelStep newBlankModel;
    TextInserter insert;
};

/// The wizard's dialog description.
const platform::DialogDescription& TemplateWizardDialogDescription();

class TQNTemplateWizardDialog : public ModuleDialog {
public:
    TQNTemplateWizardDialog(QWidget* parent, ModelWizardHost host);
    ~TQNTemplateWizardDialog() override;

    ModelWizard& wizard() { return m_wizard; }
    /// The picture of the page shown.
    const QImage& pagePicture() const { return m_picture; }

    /// The owner of message boxes to go back to when the wizard closes.
    void rememberMessageOwner(platform::WindowHandle owner) { m_previousOwner = owner; }

    void done(int result) override;

protected:
    void notify(int id, int code) override;

private:
    bool loadPagePicture(const std::string& name);

    ModelWizard m_wizard;
    QImage m_picture;
    platform::WindowHandle m_previousOwner = 0;
};

/// Starts the wizard on a new template at page 1 (an open wizard starts
/// again and comes to the front); the wizard owns the message boxes until it
/// closes.
void startModelWizard(QWidget* frame, ModelWizardHost host);

/// The wizard while it is open; null otherwise.
TQNTemplateWizardDialog* modelWizardWindow();

/// Closes the wizard without writing anything, when it is open.
void closeModelWizard();
