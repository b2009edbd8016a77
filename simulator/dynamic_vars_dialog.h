// The dynamic variables chooser window ("DLG_DYNVARCHOOSER") over the logic of
// dynamic_vars_chooser.h, one per program.
#pragma once

#include "platform/qt/dialog.h"
#include "simulator/dynamic_vars_chooser.h"

#include <array>

/// Control ids of the chooser.
namespace dynvars {
inline constexpr int CalledFrom = 400, ForItem = 401, Name = 402;
/// The radio and the list of type t are FirstRadio + t and Lists[t].
inline constexpr int FirstRadio = 405;
inline constexpr std::array<int, 6> Lists = {411, 413, 415, 412, 414, 416};
inline constexpr int Ok = 801, Apply = 807, Close = 802;
inline constexpr int ModelName = 805, ExperimentName = 806;
} // namespace dynvars

const platform::DialogDescription& DynamicVarsDialogDescription();

class TQNDynamicVarsDialog : public platform::Dialog {
public:
    explicit TQNDynamicVarsDialog(QWidget* parent);

    /// Shows the chooser's lists, type and selection.
    void showChooser();

protected:
    void notify(int id, int code) override;

private:
    void showName();
    int m_filling = 0;
};

/// The chooser's logic of this program.
DynamicVarsChooser& DynamicVarsChooserLogic();

void SetDynamicVarsChooserParent(QWidget* parent);
/// Opens the chooser for a caller and an item, at the kind's type with the line selected.
TQNDynamicVarsDialog& OpenDynamicVarsChooser(const std::string& caller, const std::string& item, int kind, int line,
                                             DynamicVarsCallback callback);
/// A new model was loaded: the lists are built again at the next opening.
void ClearDynamicVarsChooser();
void SetDynamicVarsChooserTitles(const std::string& model, const std::string& experiment);
/// The chooser while it is open; null otherwise.
TQNDynamicVarsDialog* DynamicVarsChooserWindow();
