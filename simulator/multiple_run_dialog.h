// The multiple-run editor ("DLG_MULTIPLERUN") over the logic of multiple_run_editor.h,
// and its chooser of parameter and initial-condition names ("DLG_MULTIPLERUNNAMECHS").
#pragma once

#include "platform/qt/dialog.h"
#include "simulator/multiple_run_editor.h"

/// Control ids of the multiple-run editor and its name chooser.
namespace multirun {
inline constexpr int Plain = 101, Optimization = 102, MonteCarlo = 103, FieldLabel = 104, Field = 105;
inline constexpr int CopyStates = 106, ChooseVariable = 107, CriterionText = 108, ChooseParameter = 109;
inline constexpr int ChooseInitial = 110, Method = 111, List = 112, ClearName = 113, Min = 114, Max = 115;
inline constexpr int Scale = 116, Ok = 801, Cancel = 802, ModelName = 805, ExperimentName = 806;
inline constexpr int NameList = 200;
} // namespace multirun

const platform::DialogDescription& MultipleRunDialogDescription();
const platform::DialogDescription& MultipleRunNameDialogDescription();

class TQNMultipleRunDialog : public platform::Dialog {
public:
    explicit TQNMultipleRunDialog(QWidget* parent);
    void showEditor();

protected:
    void notify(int id, int code) override;

private:
    void chooseName(int kind);
    void takeLineFields();
    /// The field refused last gets the focus with its text selected, to try again.
    void retryField();
    int m_filling = 0;
};

/// The names of the model's parameters (kind 0) or initial conditions (kind 1); OK gives
/// the chosen one's index.
class TQNMultipleRunNameDialog : public platform::Dialog {
public:
    TQNMultipleRunNameDialog(QWidget* parent, int kind);
    int chosen() const { return m_chosen; }

protected:
    void notify(int id, int code) override;

private:
    int m_chosen = -1;
};

MultipleRunEditor& MultipleRunEditorLogic();
void SetMultipleRunEditorParent(QWidget* parent);
/// "Multiple-Run Specs...": made once (raised when it exists), filled from the specs in force.
TQNMultipleRunDialog& OpenMultipleRunEditor();
/// A new model or experiment: the open editor shows the specs in force again.
void RefreshMultipleRunEditor();
TQNMultipleRunDialog* MultipleRunEditorWindow();
