// File, folder and printer choosers shown as Qt dialogs, and our own small
// printer setup (there are no printers to set up: printing goes to PDF files).
#pragma once

#include "platform/core/choosers.h"
#include "platform/qt/dialog.h"

namespace platform {

/// Shows Qt's own file and folder dialogs (the same on every desktop) over
/// the owner's window, and the printer dialog below.
class QtChooserSink : public ChooserSink {
public:
    std::optional<std::string> chooseFile(const FileChooserRequest& request) override;
    std::optional<std::string> chooseFolder(const FolderChooserRequest& request) override;
    std::optional<PrinterSettings> choosePrinter(const PrinterRequest& request) override;
};

/// The Qt filter texts of a chooser's filters ("All Files (*.*)" matches every file).
QStringList qtNameFilters(const std::vector<FileFilter>& filters);

/// Ids of the printer dialog's controls.
inline constexpr int ID_PRINTER_NAME = 1101;
inline constexpr int ID_PRINTER_FILE = 1102;
inline constexpr int ID_PRINTER_BROWSE = 1103;
inline constexpr int ID_PRINTER_PAPER = 1104;
inline constexpr int ID_PRINTER_PORTRAIT = 1105;
inline constexpr int ID_PRINTER_LANDSCAPE = 1106;
inline constexpr int ID_PRINTER_STATUS = 1107;

/// Printer Setup ("DLG_PRINTERSETUP") and the question before printing
/// ("DLG_PRINT"): the PDF file printed to, the paper and its orientation.
class PrinterDialog : public Dialog {
public:
    PrinterDialog(const PrinterRequest& request, QWidget* parent);

    /// The settings the controls show.
    PrinterSettings settings() const;

protected:
    void notify(int id, int code) override;
};

} // namespace platform
