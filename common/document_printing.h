// Printing a document from a program's Print command, saying when the printer cannot be used.
#pragma once

#include "platform/qt/printing.h"

/// Prints the document, the print dialog first with `askUser`. A printer that fails (a file
/// that cannot be written) says "Printing is not possible."; a cancelled dialog says nothing.
/// True when printed.
bool PrintDocument(platform::Printout& printout, QPrinter& printer, bool askUser, QWidget* parent);
