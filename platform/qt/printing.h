// Printing a document page by page through the device context, into a PDF
// file chosen in our own printer dialog (there may be no printer at all).
#pragma once

#include "platform/core/choosers.h"
#include "platform/core/device_context.h"

#include <functional>
#include <optional>
#include <string>

class QPrinter;
class QWidget;

namespace platform {

/// A document to print: says which pages exist and draws each one.
class Printout {
public:
    explicit Printout(std::string title) : m_title(std::move(title)) {}
    virtual ~Printout() = default;

    const std::string& title() const { return m_title; }

    /// The name the file printed to is proposed under (a model's name); empty: the printer's own.
    const std::string& documentName() const { return m_documentName; }
    void setDocumentName(std::string name) { m_documentName = std::move(name); }

    /// The device's pixels per inch while printing (96 before).
    int resolution() const { return m_resolution; }
    void setResolution(int dotsPerInch) { m_resolution = dotsPerInch > 0 ? dotsPerInch : 96; }

    /// Called once before the first page.
    virtual void beginPrinting(DeviceContext&) {}
    /// True when page `page` (from 1) is to be printed; page 1 always is.
    virtual bool hasPage(int page) = 0;
    /// Draws one page of the given size in device pixels.
    virtual void printPage(int page, DeviceContext& context, int pageWidth, int pageHeight) = 0;

private:
    std::string m_title;
    std::string m_documentName;
    int m_resolution = 96;
};

/// Runs the document's pages on a context of the given page size; before
/// each page after the first `newPage` is called, and a false answer stops.
/// The number of pages printed.
int printPages(Printout& printout, DeviceContext& context, int pageWidth, int pageHeight,
               const std::function<bool()>& newPage);

/// The printer's settings as the printer dialog shows them (the defaults
/// where the printer names no file).
PrinterSettings printerSettings(const QPrinter& printer);

/// Makes the printer print to the PDF file on the paper of the settings.
void applyPrinterSettings(QPrinter& printer, const PrinterSettings& settings);

/// Printer Setup through the chooser sink: false when the user cancelled.
bool setupPrinter(QPrinter& printer, QWidget* owner = nullptr);

/// The file a document named `documentName` is proposed to print to: that name
/// with ".pdf" in the folder of `current` (the file printed to last); `current`
/// itself for an empty name.
std::string proposedPrintFile(const std::string& current, const std::string& documentName);

/// The print dialog before the document is printed (through the chooser sink),
/// showing `settings`; what the user chose, none for Cancel.
std::optional<PrinterSettings> askPrintSettings(const Printout& printout, const PrinterSettings& settings,
                                                QWidget* parent);

/// How printing a document ended.
enum class PrintResult { Printed, Cancelled, Failed };

/// Prints the document; with `askUser` the print dialog comes first (through
/// the chooser sink). Failed when the file could not be written.
PrintResult printDocumentResult(Printout& printout, QPrinter& printer, bool askUser, QWidget* parent = nullptr);

/// As `printDocumentResult`: false when the user cancelled or the file could not be written.
bool printDocument(Printout& printout, QPrinter& printer, bool askUser, QWidget* parent = nullptr);

} // namespace platform
