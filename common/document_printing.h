// Printing a document from a program's Print command: the file proposed after
// the document, the question before an existing file is replaced, and the
// message when the printer cannot be used.
#pragma once

#include "platform/qt/printing.h"

/// Prints the document, the print dialog first with `askUser`. The file
/// proposed is named after the document (`Printout::documentName`) in the folder
/// printed to last; an existing file is replaced only after "File exists. OK to
/// overwrite?" is answered with Overwrite. A printer that fails (a file that
/// cannot be written) says "Printing is not possible."; a cancelled dialog or
/// question says nothing. True when printed.
bool PrintDocument(platform::Printout& printout, QPrinter& printer, bool askUser, QWidget* parent);
