// Printing a document page by page through the device context.
#pragma once

#include "platform/core/device_context.h"

#include <functional>
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

    /// Called once before the first page.
    virtual void beginPrinting(DeviceContext&) {}
    /// True when page `page` (from 1) is to be printed; page 1 always is.
    virtual bool hasPage(int page) = 0;
    /// Draws one page of the given size in device pixels.
    virtual void printPage(int page, DeviceContext& context, int pageWidth, int pageHeight) = 0;

private:
    std::string m_title;
};

/// Runs the document's pages on a context of the given page size; before
/// each page after the first `newPage` is called, and a false answer stops.
/// The number of pages printed.
int printPages(Printout& printout, DeviceContext& context, int pageWidth, int pageHeight,
               const std::function<bool()>& newPage);

/// Prints the document; with `askUser` the print dialog comes first. False
/// when the user cancelled or the printer could not be used.
bool printDocument(Printout& printout, QPrinter& printer, bool askUser, QWidget* parent = nullptr);

} // namespace platform
