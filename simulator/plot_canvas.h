// The plot window: the canvas the simulator's main window holds, on whose backing
// store the plot draws during and after runs. It shows the plot, hands clicks to it,
// prints it and puts it on the clipboard.
#pragma once

#include "common/canvas_window.h"
#include "simulator/plot_buffers.h"

#include <QImage>

#include <memory>

class QPrinter;

namespace platform {
class PainterDeviceContext;
}

/// A canvas that is the plot's surface for as long as it lives.
class PlotCanvas : public TQNCanvas, public PlotSurface {
public:
    explicit PlotCanvas(QWidget* parent);
    ~PlotCanvas() override;

    platform::DeviceContext* plotContext() override;
    int clientWidth() const override { return width(); }
    int clientHeight() const override { return height(); }
    void plotChanged(int left, int top, int right, int bottom) override;
    std::unique_ptr<platform::DeviceContext> measuringContext() override;
    bool putPicture(int width, int height, int unitsPerInch,
                    const std::function<void(platform::DeviceContext&)>& draw) override;

    /// Prints the plot on one page ("Orvanta Simulator"), the print dialog first when
    /// asked; with `printerFacts` colours and dashes follow the printer. False when
    /// cancelled or the printer could not be used, which says "Printing is not possible.".
    /// The file is proposed under `documentName` (the model's).
    bool print(QPrinter& printer, bool askUser, bool printerFacts, const std::string& documentName = {});

    /// A copy of what the window shows.
    QImage picture() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    /// The arrows move the numerical values through steps and runs, tab to the next curve.
    void keyReleaseEvent(QKeyEvent* event) override;
    bool focusNextPrevChild(bool next) override;

private:
    void endDrawing();

    std::unique_ptr<platform::PainterDeviceContext> m_context;
};
