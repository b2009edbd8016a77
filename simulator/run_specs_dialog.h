// The run-specifications dialog ("DLG_RUNSPECS") over the editor logic of
// run_specs_editor.h, one per program; and the print-experiment dialog
// ("DLG_PRINTEXP") that chooses the sections of the experiment description.
#pragma once

#include "platform/qt/dialog.h"
#include "simulator/run_specs_editor.h"

#include <array>

/// Control ids of the run-specifications dialog.
namespace runspecs {
inline constexpr int Start = 302, Finish = 303, Method = 304;
/// The edit of row r (0..7) is FirstField + r.
inline constexpr int FirstField = 312;
/// The labels of rows 0..7.
inline constexpr std::array<int, 8> RowLabels = {324, 323, 320, 321, 322, 325, 326, 327};
/// The flag boxes of rows 5..9.
inline constexpr std::array<int, 5> FlagBoxes = {309, 310, 311, 300, 301};
inline constexpr int ProcessorLabel = 305, Local = 306, Remote = 307, StoreStates = 308;
inline constexpr int Ok = 801, Cancel = 802, Import = 808;
inline constexpr int ModelName = 805, ExperimentName = 806;
} // namespace runspecs

const platform::DialogDescription& RunSpecsDialogDescription();

class TQNRunSpecsDialog : public platform::Dialog {
public:
    explicit TQNRunSpecsDialog(QWidget* parent);
    ~TQNRunSpecsDialog() override;

    /// Shows what the editor holds: times, method, rows, flags, names and caption.
    void showEditor();

protected:
    void notify(int id, int code) override;

private:
    void showCaption();
    void import();
    /// The field refused last gets the focus with its text selected, to try again.
    void retryField();

    int m_filling = 0; ///< the dialog's own text changes are not the user's
};

/// The editor's logic of this program.
RunSpecsEditor& RunSpecsEditorLogic();

/// "&Run Specifications...": makes the dialog once (raised when it exists), refreshed
/// from the live record.
TQNRunSpecsDialog& OpenRunSpecsEditor(QWidget* parent);
/// The dialog while it is open; null otherwise.
TQNRunSpecsDialog* RunSpecsDialog();
/// A new model or experiment: the open dialog shows the live record again.
void RefreshRunSpecsEditor();

/// Control ids of the print-experiment dialog: the sections' boxes 110..114.
inline constexpr int PrintExpFirstBox = 110;

const platform::DialogDescription& PrintExperimentDialogDescription();

/// The sections chooser: all five boxes checked at the start; when it closes, each of
/// the caller's five flags gets its box's state (1 checked).
class TQNPrintExpDialog : public platform::Dialog {
public:
    TQNPrintExpDialog(QWidget* parent, const std::string& caption, std::array<int, 5>* flags);

    void done(int result) override;

private:
    std::array<int, 5>* m_flags;
};
