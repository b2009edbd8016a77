// The plot window. Its drawing context stays open on the backing store between
// drawings, so that each output step costs a line, not a new painter; it is closed
// before the store changes size.
#include "simulator/plot_canvas.h"

#include "common/document_printing.h"
#include "platform/qt/clipboard.h"
#include "platform/qt/painter_device_context.h"
#include "platform/qt/printing.h"
#include "simulator/numeric_values_dialog.h"
#include "simulator/plot_drawing.h"
#include "simulator/plot_export.h"

#include <QKeyEvent>
#include <QMouseEvent>

namespace {

/// The plot as a one-page document.
class PlotPrintout : public platform::Printout {
public:
    explicit PlotPrintout(bool printerFacts) : Printout("Orvanta Simulator"), m_printerFacts(printerFacts) {}
    bool hasPage(int) override { return false; }
    void printPage(int, platform::DeviceContext& dc, int pageWidth, int pageHeight) override
    {
        PrintPlot(dc, pageWidth, pageHeight, m_printerFacts);
    }

private:
    bool m_printerFacts;
};

} // namespace

PlotCanvas::PlotCanvas(QWidget* parent) : TQNCanvas(parent, "Canvas", false, {})
{
    setObjectName(QStringLiteral("PlotCanvas"));
    SetPlotSurface(this);
}

PlotCanvas::~PlotCanvas()
{
    if (CurrentPlotSurface() == this)
        SetPlotSurface(nullptr);
    endDrawing();
}

platform::DeviceContext* PlotCanvas::plotContext()
{
    if (!m_context)
        m_context = drawingContext();
    return m_context.get();
}

void PlotCanvas::endDrawing()
{
    if (!m_context)
        return;
    if (CurrentPlotSurface() == this)
        ReleasePlotContext();
    m_context.reset();
}

void PlotCanvas::plotChanged(int left, int top, int right, int bottom)
{
    update(QRect(QPoint(left, top), QPoint(right, bottom)));
}

std::unique_ptr<platform::DeviceContext> PlotCanvas::measuringContext()
{
    return std::make_unique<platform::ImageDeviceContext>(1, 1);
}

bool PlotCanvas::putPicture(int width, int height, int unitsPerInch,
                            const std::function<void(platform::DeviceContext&)>& draw)
{
    const platform::Picture picture = platform::makePicture({0, 0, width, height, unitsPerInch}, draw);
    return platform::putOnClipboard(platform::pictureItems(picture));
}

bool PlotCanvas::print(QPrinter& printer, bool askUser, bool printerFacts, const std::string& documentName)
{
    PlotPrintout printout(printerFacts);
    printout.setDocumentName(documentName);
    return PrintDocument(printout, printer, askUser, this);
}

QImage PlotCanvas::picture() const { return backingStore().copy(); }

void PlotCanvas::paintEvent(QPaintEvent* event)
{
    if (CurrentPlotSurface() == this)
        FlushPlotSteps();
    TQNCanvas::paintEvent(event);
}

void PlotCanvas::resizeEvent(QResizeEvent* event)
{
    endDrawing();
    TQNCanvas::resizeEvent(event);
    if (CurrentPlotSurface() == this)
        RefreshPlot();
}

void PlotCanvas::mousePressEvent(QMouseEvent* event)
{
    TQNCanvas::mousePressEvent(event);
    if (event->button() == Qt::LeftButton) {
        const QPoint at = event->position().toPoint();
        CursorFromPoint(at.x(), at.y());
    }
}

void PlotCanvas::keyReleaseEvent(QKeyEvent* event)
{
    TQNCanvas::keyReleaseEvent(event);
    switch (event->key()) {
    case Qt::Key_Right: StepNumericValues(1); break;
    case Qt::Key_Left: StepNumericValues(-1); break;
    case Qt::Key_Down: ChangeNumericRun(1); break;
    case Qt::Key_Up: ChangeNumericRun(-1); break;
    case Qt::Key_Tab: NextNumericCurve(); break;
    default: break;
    }
}

// Tab stays with the plot, where it moves the numerical values to the next curve.
bool PlotCanvas::focusNextPrevChild(bool) { return false; }

void PlotCanvas::mouseDoubleClickEvent(QMouseEvent* event)
{
    TQNCanvas::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton) {
        const QPoint at = event->position().toPoint();
        PlotClick(at.x(), at.y());
    }
}
