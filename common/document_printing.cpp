// Printing a document from a program's Print command.
#include "common/document_printing.h"

#include "common/message_boxes.h"
#include "platform/core/file_system.h"

bool PrintDocument(platform::Printout& printout, QPrinter& printer, bool askUser, QWidget* parent)
{
    platform::PrinterSettings settings = platform::printerSettings(printer);
    settings.outputFile = platform::proposedPrintFile(settings.outputFile, printout.documentName());
    if (askUser) {
        std::optional<platform::PrinterSettings> chosen = platform::askPrintSettings(printout, settings, parent);
        if (!chosen)
            return false;
        settings = *chosen;
    }
    if (platform::fileExists(settings.outputFile) &&
        !ShowReplaceConfirmLines("Cancel", "Overwrite", {settings.outputFile, "File exists. OK to overwrite?"}))
        return false;
    platform::applyPrinterSettings(printer, settings);
    const platform::PrintResult result = platform::printDocumentResult(printout, printer, false, parent);
    if (result == platform::PrintResult::Failed)
        ShowMessage({"Printing is not possible.", settings.outputFile});
    return result == platform::PrintResult::Printed;
}
