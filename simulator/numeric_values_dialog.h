// The numerical values dialog ("DLG_NUMVALUES") over the logic of numeric_values.h,
// one per program, with the plot cursor on the chosen step.
#pragma once

#include "platform/qt/dialog.h"
#include "simulator/numeric_values.h"

/// Control ids of the dialog.
namespace numvalues {
inline constexpr int XValue = 401, Name = 402, List = 403, FindChoice = 405, Scroll = 407, FindLabel = 408;
inline constexpr int RunNumber = 409, Find = 801, Titles = 805, Messages = 806, Cancel = 2;
} // namespace numvalues

const platform::DialogDescription& NumericValuesDialogDescription();

class TQNNumericValuesDialog : public platform::Dialog {
public:
    explicit TQNNumericValuesDialog(QWidget* parent);
    ~TQNNumericValuesDialog() override;

    /// Shows the logic's values; with force also while hidden.
    bool showValues(bool force);

protected:
    void notify(int id, int code) override;
};

/// The dialog's logic of this program.
NumericValues& NumericValuesLogic();

void SetNumericValuesParent(QWidget* parent);
void SetNumericValuesTitles(const std::string& model, const std::string& experiment);
/// "&Numerical Values...": made once, shown with the plot cursor.
TQNNumericValuesDialog& ShowNumericValues();
/// The plot's kept runs changed: the open dialog shows them (1 when values are shown).
int UpdateNumericValues(bool force);
/// A click in the plot at fractions of its area (y from the bottom).
void PickNearestPoint(double x, double y);
void StepNumericValues(int delta);
void NextNumericCurve();
void ChangeNumericRun(int delta);
/// The dialog while it is open; null otherwise.
TQNNumericValuesDialog* NumericValuesDialog();
