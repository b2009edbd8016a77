// Printing a document from a program's Print command, saying when the printer cannot be used.
#include "common/document_printing.h"

#include "common/message_boxes.h"

bool PrintDocument(platform::Printout& printout, QPrinter& printer, bool askUser, QWidget* parent)
{
    const platform::PrintResult result = platform::printDocumentResult(printout, printer, askUser, parent);
    if (result == platform::PrintResult::Failed)
        ShowMessage({"Printing is not possible."});
    return result == platform::PrintResult::Printed;
}
