// Printing and metafiles. Drawing into another context keeps the window's own state:
// its hit list and what its picture shows are as they were afterwards.
#include "simulator/plot_export.h"

#include "common/message_boxes.h"
#include "common/model_file_names.h"
#include "common/startup.h"
#include "platform/core/file_system.h"
#include "platform/core/metafile_writer.h"
#include "platform/core/wait_cursor.h"
#include "simulator/plot_buffers.h"
#include "simulator/plot_drawing.h"
#include "simulator/run_state.h"
#include "simulator/simulator_state.h"

#include <algorithm>
#include <cmath>
#include <filesystem>

using platform::DeviceContext;

namespace {

/// While it lives, the plot draws into another context in another mode.
class OtherContext {
public:
    OtherContext(DeviceContext& dc, PlotDrawingMode mode) : m_saved((FlushPlotSteps(), saveState()))
    {
        PlotState& p = Plot();
        p.dc = &dc;
        p.mode = mode;
        p.labels.clear();
        p.specsChanged = 1;
        p.frameDrawn = p.gridDrawn = 0;
    }
    ~OtherContext()
    {
        PlotState& p = Plot();
        p.dc = m_saved.dc;
        p.mode = m_saved.mode;
        p.printScale = m_saved.printScale;
        p.monochrome = m_saved.monochrome;
        p.noStyledLines = m_saved.noStyledLines;
        p.font = m_saved.font;
        p.frameDrawn = m_saved.frameDrawn;
        p.gridDrawn = m_saved.gridDrawn;
        p.eraseOnRedraw = m_saved.eraseOnRedraw;
        p.specsChanged = m_saved.specsChanged;
        p.cursorDrawn = m_saved.cursorDrawn;
        p.labels = std::move(m_saved.labels);
    }
    OtherContext(const OtherContext&) = delete;
    OtherContext& operator=(const OtherContext&) = delete;

private:
    static PlotState saveState()
    {
        const PlotState& p = Plot();
        PlotState saved;
        saved.dc = p.dc;
        saved.mode = p.mode;
        saved.printScale = p.printScale;
        saved.monochrome = p.monochrome;
        saved.noStyledLines = p.noStyledLines;
        saved.font = p.font;
        saved.frameDrawn = p.frameDrawn;
        saved.gridDrawn = p.gridDrawn;
        saved.eraseOnRedraw = p.eraseOnRedraw;
        saved.specsChanged = p.specsChanged;
        saved.cursorDrawn = p.cursorDrawn;
        saved.labels = p.labels;
        return saved;
    }

    PlotState m_saved;
};

/// The layout of the window the plot is shown in; false without one.
bool windowLayout()
{
    PlotSurface* surface = CurrentPlotSurface();
    if (!surface || !EnsurePlotContext())
        return false;
    ComputePlotLayout(surface->clientWidth(), surface->clientHeight());
    return true;
}

int pictureWidth() { return int(std::trunc(Plot().area.right * 1.1)); }
int pictureHeight() { return int(std::trunc(Plot().area.bottom * 1.1)); }

} // namespace

PictureExtents ClipboardPictureExtents(int right, int bottom, int width)
{
    const double aspect = bottom > 0 && right > 0 ? double(right) / bottom : 1.0;
    PictureExtents e;
    e.x = width == 0 ? 25000 : int(std::min(std::trunc(right * 1.1 / width * 25000), 2e9));
    e.y = int(std::min(std::trunc(e.x / aspect), 2e9));
    if (e.x > 65535 || e.y > 65535) {
        if (aspect < 1) {
            e.y = 65534;
            e.x = int(std::trunc(e.y * aspect));
        } else {
            e.x = 65534;
            e.y = int(std::trunc(e.x / aspect));
        }
    }
    return e;
}

bool PrintPlot(DeviceContext& printer, int pageWidth, int pageHeight, bool printerFacts)
{
    if (!windowLayout())
        return false;
    platform::ScopedWaitCursor busy;
    const PlotSurface& surface = *CurrentPlotSurface();
    const int w = surface.clientWidth(), h = surface.clientHeight();
    const double scale = w > 0 && h > 0 ? std::min(double(pageWidth) / w, double(pageHeight) / h) : 1.0;
    OtherContext other(printer, PlotDrawingMode::Printing);
    PlotState& p = Plot();
    if (printerFacts) {
        p.monochrome = printer.bitsPerPixel() < 3;
        p.noStyledLines = !printer.styledLines();
    }
    p.printScale = scale;
    p.font.pixelHeight = int(std::trunc(p.font.pixelHeight * scale));
    p.font.pixelWidth = int(std::trunc(p.font.pixelWidth * scale));
    printer.setBackgroundMode(platform::BackgroundMode::Transparent);
    printer.setTextAlign(platform::TA_LEFT | platform::TA_TOP);
    printer.setTextColor(WindowTextColor);
    printer.setFont(p.font);
    RedrawPlot(1);
    return true;
}

void DrawPlotPicture(DeviceContext& dc)
{
    if (!windowLayout())
        return;
    OtherContext other(dc, PlotDrawingMode::Metafile);
    const PlotState& p = Plot();
    dc.setMapMode(platform::MapMode::Anisotropic);
    dc.setWindowExtent(pictureWidth(), pictureHeight());
    dc.setWindowOrigin(0, 0);
    dc.setTextAlign(platform::TA_LEFT | platform::TA_TOP);
    dc.setBackgroundMode(platform::BackgroundMode::Transparent);
    dc.setPen(p.pens.foreground);
    dc.setBrush(p.pens.foregroundBrush);
    dc.setFont(p.font);
    RedrawPlot(1);
}

bool CopySimulationToMetafile(int toFile)
{
    PlotSurface* surface = CurrentPlotSurface();
    const ExperimentRecord& e = Experiment();
    if (!toFile) {
        ShowStatus("Copying simulation result to the clipboard...", false);
        if (!windowLayout()) {
            ShowMessage({"Cannot create meta file : Clipboard"});
            return false;
        }
        const PictureExtents extents = ClipboardPictureExtents(Plot().area.right, Plot().area.bottom, Plot().area.width);
        const int unitsPerInch = std::max(1, int(std::lround(pictureWidth() * 2540.0 / std::max(extents.x, 1))));
        if (!surface->putPicture(pictureWidth(), pictureHeight(), unitsPerInch, DrawPlotPicture)) {
            ShowMessage({"Error: Could not get control of the clipboard", "since it is used by another program."});
            ShowStatus("Error: Clipboard in use.", false);
            return false;
        }
        ShowStatus("Simulation result is copied to the clipboard.", false);
        return true;
    }

    const std::string dir = Startup().WorkingDirectory + "/" + e.modelName;
    if (!platform::isDirectory(dir) && !platform::makeDirectories(dir)) {
        ShowMessage({"Error: could not create " + dir});
        return false;
    }
    if (e.experimentName.empty()) {
        ShowMessage({"Error: could not create " + dir + "/" + e.experimentName + ".wmf"});
        return false;
    }
    std::error_code error;
    const std::string path =
        std::filesystem::absolute(MakeMetafileName(dir, e.modelName, e.experimentName), error).lexically_normal();
    if (error) {
        ShowMessage({"Error creating meta file"});
        return false;
    }
    ShowStatus("Copying simulation result to metafile...", false);
    if (!windowLayout()) {
        ShowMessage({"Cannot create meta file : " + path});
        return false;
    }
    platform::MetafileDeviceContext metafile({}, surface->measuringContext());
    DrawPlotPicture(metafile);
    if (!metafile.save(path)) {
        ShowMessage({"Cannot create meta file : " + path});
        return false;
    }
    Plot().lastMetafile = metafile.bytes();
    ShowStatus("Simulation result is printed as metafile: " + path, false);
    return true;
}
