// Printing through QPrinter: the print dialog, then one page after another
// while the document has more.
#include "platform/qt/printing.h"

#include "platform/qt/painter_device_context.h"

#include <QPrintDialog>
#include <QPrinter>

namespace platform {

namespace {

// A bound on the pages of one document, should a printout never say it is done.
constexpr int kMaxPages = 100000;

} // namespace

int printPages(Printout& printout, DeviceContext& context, int pageWidth, int pageHeight,
               const std::function<bool()>& newPage)
{
    printout.beginPrinting(context);
    int number = 1;
    for (; number <= kMaxPages && (number == 1 || printout.hasPage(number)); ++number) {
        if (number > 1 && !newPage())
            break;
        printout.printPage(number, context, pageWidth, pageHeight);
    }
    return number - 1;
}

bool printDocument(Printout& printout, QPrinter& printer, bool askUser, QWidget* parent)
{
    printer.setDocName(QString::fromStdString(printout.title()));
    if (askUser) {
        QPrintDialog dialog(&printer, parent);
        if (dialog.exec() != QDialog::Accepted)
            return false;
    }
    PainterDeviceContext context(printer);
    if (!context.painter().isActive())
        return false;
    QRect page = printer.pageLayout().paintRectPixels(printer.resolution());
    bool pageFailed = false;
    printPages(printout, context, page.width(), page.height(), [&] {
        pageFailed = !printer.newPage();
        return !pageFailed;
    });
    return !pageFailed;
}

} // namespace platform
