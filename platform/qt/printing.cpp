// Printing through QPrinter: the printer dialog, then one page after another
// while the document has more.
#include "platform/qt/printing.h"

#include "platform/core/file_system.h"
#include "platform/qt/painter_device_context.h"
#include "platform/qt/window_widgets.h"

#include <QPageSize>
#include <QWidget>
#include <QPrinter>

#include <map>

namespace platform {

namespace {

// A bound on the pages of one document, should a printout never say it is done.
constexpr int kMaxPages = 100000;

const std::map<std::string, QPageSize::PageSizeId>& paperSizes()
{
    static const std::map<std::string, QPageSize::PageSizeId> sizes = {
        {"A4", QPageSize::A4}, {"Letter", QPageSize::Letter}, {"Legal", QPageSize::Legal},
        {"A3", QPageSize::A3}, {"A5", QPageSize::A5}};
    return sizes;
}

/// The handle of the frame window or dialog a widget lies in; 0 for none.
WindowHandle ownerHandle(QWidget* widget)
{
    for (QWidget* at = widget; at; at = at->parentWidget())
        if (WindowHandle handle = windowHandleOf(at))
            return handle;
    return 0;
}

} // namespace

PrinterSettings printerSettings(const QPrinter& printer)
{
    PrinterSettings settings = PrinterSettings::defaults();
    QPageSize::PageSizeId id = printer.pageLayout().pageSize().id();
    for (const auto& [name, size] : paperSizes())
        if (size == id)
            settings.paper = name;
    settings.landscape = printer.pageLayout().orientation() == QPageLayout::Landscape;
    if (!printer.outputFileName().isEmpty())
        settings.outputFile = printer.outputFileName().toStdString();
    return settings;
}

void applyPrinterSettings(QPrinter& printer, const PrinterSettings& settings)
{
    auto size = paperSizes().find(settings.paper);
    printer.setPageSize(QPageSize(size == paperSizes().end() ? QPageSize::A4 : size->second));
    printer.setPageOrientation(settings.landscape ? QPageLayout::Landscape : QPageLayout::Portrait);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QString::fromStdString(settings.outputFile));
}

bool setupPrinter(QPrinter& printer, QWidget* owner)
{
    PrinterRequest request;
    request.setup = true;
    request.settings = printerSettings(printer);
    request.owner = ownerHandle(owner);
    std::optional<PrinterSettings> chosen = chooserSink().choosePrinter(request);
    if (!chosen)
        return false;
    applyPrinterSettings(printer, *chosen);
    return true;
}

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

std::string proposedPrintFile(const std::string& current, const std::string& documentName)
{
    if (documentName.empty())
        return current;
    const std::size_t slash = current.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : current.substr(0, slash + 1);
    return folder + documentName + ".pdf";
}

std::optional<PrinterSettings> askPrintSettings(const Printout& printout, const PrinterSettings& settings,
                                                QWidget* parent)
{
    PrinterRequest request;
    request.setup = false;
    request.documentTitle = printout.title();
    request.settings = settings;
    request.owner = ownerHandle(parent);
    return chooserSink().choosePrinter(request);
}

PrintResult printDocumentResult(Printout& printout, QPrinter& printer, bool askUser, QWidget* parent)
{
    printer.setDocName(QString::fromStdString(printout.title()));
    PrinterSettings settings = printerSettings(printer);
    if (askUser) {
        std::optional<PrinterSettings> chosen = askPrintSettings(printout, settings, parent);
        if (!chosen)
            return PrintResult::Cancelled;
        settings = *chosen;
    }
    applyPrinterSettings(printer, settings);
    const auto print = [&] {
        bool pageFailed = false;
        {
            PainterDeviceContext context(printer);
            if (!context.painter().isActive())
                return false;
            printout.setResolution(printer.logicalDpiY());
            QRect page = printer.pageLayout().paintRectPixels(printer.resolution());
            printPages(printout, context, page.width(), page.height(), [&] {
                pageFailed = !printer.newPage();
                return !pageFailed;
            });
        }
        return !pageFailed && printer.printerState() != QPrinter::Error;
    };
    if (settings.outputFile.empty())
        return print() ? PrintResult::Printed : PrintResult::Failed;
    // The document goes to a new file beside the one named, which it replaces once complete: a
    // link planted at the name is replaced, and a failed print leaves the old file.
    const bool printed = writeFileThroughName(settings.outputFile, [&](const std::string& name) {
        printer.setOutputFileName(QString::fromStdString(name));
        return print();
    });
    printer.setOutputFileName(QString::fromStdString(settings.outputFile));
    return printed ? PrintResult::Printed : PrintResult::Failed;
}

bool printDocument(Printout& printout, QPrinter& printer, bool askUser, QWidget* parent)
{
    return printDocumentResult(printout, printer, askUser, parent) == PrintResult::Printed;
}

} // namespace platform
