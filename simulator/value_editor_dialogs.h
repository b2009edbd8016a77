// The parameter editor ("DLG_PAREDITOR") and the initial-condition editor
// ("DLG_ICEDITOR") over the logic of value_editors.h, one of each per program.
#pragma once

#include "platform/qt/dialog.h"
#include "simulator/value_editors.h"

class QWidget;

/// Control ids of both editors.
namespace valueeditor {
inline constexpr int List = 200, Name = 201, Value = 202;
inline constexpr int ParameterValueLabel = 230, InitialValueLabel = 210;
inline constexpr int SameSampleTime = 231, States = 203;
inline constexpr int Ok = 801, Apply = 807, Cancel = 802, Import = 808;
inline constexpr int ModelName = 805, ExperimentName = 806;
} // namespace valueeditor

const platform::DialogDescription& ParEditorDialogDescription();
const platform::DialogDescription& InitialCondDialogDescription();

/// What both editor windows share; the kind of the editor decides the rest.
class ValueEditorDialog : public platform::Dialog {
public:
    ValueEditorDialog(QWidget* parent, ValueEditor& editor);

    /// Rebuilds the working copy from the model's values and shows it.
    void refresh();
    /// Shows the names of the model and of the experiment.
    void setTitles(const std::string& model, const std::string& experiment);

protected:
    void notify(int id, int code) override;

private:
    int valueLabel() const;
    void showCaption();
    void showEntry(int i);
    void redrawLine(int i);
    void redrawAll();
    /// Stores the edit into the current entry and redraws the lines it changed.
    bool storeEdit();
    /// After a refused value: the current line stays selected and its text selected, to try again.
    void retryEntry();
    void applyAndMove(bool close);
    void import();

    ValueEditor& m_editor;
    int m_filling = 0;
};

class TQNParEditorDialog : public ValueEditorDialog {
public:
    explicit TQNParEditorDialog(QWidget* parent);
};

class TQNInitialCondDialog : public ValueEditorDialog {
public:
    explicit TQNInitialCondDialog(QWidget* parent);
};

void SetParametersEditorParent(QWidget* parent);
void SetInitialConditionsEditorParent(QWidget* parent);
/// Makes the editor once (raised when it exists), refreshed from the model's values.
TQNParEditorDialog& ShowParametersEditor();
TQNInitialCondDialog& ShowInitialConditionsEditor();
/// The editors while they are open; null otherwise.
TQNParEditorDialog* ParametersEditor();
TQNInitialCondDialog* InitialConditionsEditor();
/// A new model or experiment: the open editors show the model's values again.
void RefreshParametersEditor();
void RefreshInitialConditionsEditor();
