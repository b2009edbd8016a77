// The plot-specification editor ("DLG_OUTPUTSPECS") over the logic of
// output_specs_editor.h, one per program.
#pragma once

#include "platform/qt/dialog.h"
#include "simulator/output_specs_editor.h"

/// Control ids of the plot-specification editor.
namespace outputspecs {
inline constexpr int XTime = 501, XName = 502, ChooseXName = 503, XNameText = 504;
inline constexpr int XManual = 505, XPost = 506, XAuto = 507, XFrom = 508, XTo = 509;
inline constexpr int List = 510, ClearName = 511, ChooseYName = 512, Display = 513, Store = 514;
inline constexpr int FromFile = 515, FileName = 516, Matlab = 517, Label = 518;
inline constexpr int YManual = 519, YPost = 520, YAuto = 521, YFrom = 522, YTo = 523, CurveText = 524;
inline constexpr int Ok = 801, Import = 808, ModelName = 805, ExperimentName = 806;
} // namespace outputspecs

const platform::DialogDescription& OutputSpecsDialogDescription();

class TQNOutputSpecsDialog : public platform::Dialog {
public:
    explicit TQNOutputSpecsDialog(QWidget* parent);

    /// Shows what the editor holds.
    void showEditor();
    /// Selects a curve as the user would (validating the one left).
    void selectCurve(int curve);

protected:
    void notify(int id, int code) override;

private:
    void showCaption();
    void showCurve();
    /// The field refused last gets the focus with its text selected, to try again.
    void retryField();
    void import();
    void chooseName(bool xAxis);

    int m_filling = 0;
};

/// The editor's logic of this program.
OutputSpecsEditor& OutputSpecsEditorLogic();

void SetOutputSpecsEditorParent(QWidget* parent);
/// "P&lot Specifications...": made and filled once; asked again, only raised. With a
/// curve (0..25) that curve is selected.
TQNOutputSpecsDialog& OpenOutputSpecsEditor(int curve = -1);
/// A new model or experiment: the open editor shows the live specification again.
void RefreshOutputSpecsEditor();
/// The editor while it is open; null otherwise.
TQNOutputSpecsDialog* OutputSpecsEditorWindow();
