// Repainting a drawing of 5,000 submodels and 10,000 bonds, offscreen with the
// program's symbols: the canvas's paint of a window's client area (what is out of
// sight is passed over), and the whole drawing painted at once into one picture.
#include "bench/grapheditor/large_graph_model.h"
#include "common/settings_table.h"
#include "grapheditor/canvas_surface.h"
#include "grapheditor/canvas_view.h"
#include "grapheditor/graph_model_reader.h"
#include "grapheditor/graph_objects.h"
#include "grapheditor/graph_rendering.h"
#include "grapheditor/submodel_library.h"
#include "grapheditor/symbol_tables.h"
#include "platform/qt/painter_device_context.h"

#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QImage>

#include <cstdlib>
#include <memory>

namespace {


/// A canvas of a window's size in a picture of its own.
class PictureSurface : public DrawingSurface {
public:
    PictureSurface(int width, int height) : store(width, height, QImage::Format_RGB32) { store.fill(Qt::white); }
    platform::DeviceContext* beginDrawing() override
    {
        context = std::make_unique<platform::PainterDeviceContext>(store);
        return context.get();
    }
    void endDrawing(int, int, int, int) override { context.reset(); }
    int clientWidth() const override { return store.width(); }
    int clientHeight() const override { return store.height(); }
    std::unique_ptr<platform::DeviceContext> measuringContext() override
    {
        return std::make_unique<platform::ImageDeviceContext>(1, 1);
    }

    QImage store;
    std::unique_ptr<platform::PainterDeviceContext> context;
};

/// The large drawing, its element boxes side by side (75 wide with their names), a
/// quarter of its bonds with a causal stroke.
void buildModel()
{
    GraphModel& model = CurrentModel();
    BuildLargeGraphModel(80, 40);
    model.width = 101 * 80;
    model.height = 51 * 40;
    int b = 0;
    for (Connection& bond : model.connections)
        bond.causality = b++ % 4 == 0 ? 1 : 0;
}

struct Drawing {
    Drawing(int width, int height) : surface(width, height)
    {
        ResetSettings();
        Settings().model_dirs = ORVANTA_LIBRARY_DIR;
        SetGraphView(&view);
        UseSymbolResources();
        gdi_setup(surface);
        load_symbols();
        buildModel();
    }
    ~Drawing()
    {
        clear_model();
        gdi_teardown();
        SetGraphView(nullptr);
    }
    CanvasView view;
    PictureSurface surface;
};

void RepaintWindow(benchmark::State& state)
{
    Drawing drawing(1600, 1000);
    platform::PainterDeviceContext paint(drawing.surface.store);
    for (auto _ : state) {
        invalidate_canvas();
        paint_canvas(&paint);
    }
    state.counters["submodels"] = static_cast<double>(CurrentModel().submodels.size());
    state.counters["bonds"] = static_cast<double>(CurrentModel().connections.size());
}

void RepaintWholeDrawing(benchmark::State& state)
{
    Drawing drawing(1, 1);
    platform::ImageDeviceContext whole(CurrentModel().width, CurrentModel().height);
    for (auto _ : state)
        draw_into(&whole);
    state.counters["pixels"] = static_cast<double>(CurrentModel().width) * CurrentModel().height;
}

} // namespace

BENCHMARK(RepaintWindow)->Unit(benchmark::kMillisecond);
BENCHMARK(RepaintWholeDrawing)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
