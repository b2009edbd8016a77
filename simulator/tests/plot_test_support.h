// Test support for the plot: a surface that records what is drawn on it, and a small
// model whose variables the curves show.
#pragma once

#include "model_test_support.h"

#include "common/settings_table.h"
#include "platform/core/device_context.h"
#include "platform/core/message_sink.h"
#include "simulator/plot_buffers.h"
#include "simulator/plot_drawing.h"
#include "simulator/run_state.h"
#include "simulator/simulator_state.h"
#include "simulator/user_libraries.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <optional>
#include <string>
#include <vector>

namespace plottest {

// x' = 1 with a = 2 x, b = sin x and c = p.
inline const std::string CurvesModel = modeltest::codeFile(
    {"#DParam\t1", "\t#real\tp", "#DVariable\t3", "\t#real\ta", "\t#real\tb", "\t#real\tc", "#Dstate_ind\t1",
     "\t#real\tx", "#DRate_ind\t1", "\t#real\tdx", "#Edynamic\t4", "\tmov\tR0\t1.000000e+00",
     "\tmul\tV0\t2.000000e+00\ts0", "\tsin\tV1\ts0", "\tmov\tV2\tP0"});

/// A plot window stand-in: records the calls and the rectangles said to have changed.
class RecordingSurface : public PlotSurface {
public:
    platform::DeviceContext* plotContext() override { return refuse ? nullptr : &dc; }
    int clientWidth() const override { return width; }
    int clientHeight() const override { return height; }
    void plotChanged(int, int, int, int) override { ++changes; }
    bool putPicture(int w, int h, int unitsPerInch,
                    const std::function<void(platform::DeviceContext&)>& draw) override
    {
        pictureSize = {w, h, unitsPerInch};
        if (!clipboard)
            return false;
        draw(picture);
        return true;
    }

    platform::RecordingDeviceContext dc;
    platform::RecordingDeviceContext picture;
    std::array<int, 3> pictureSize{};
    int width = 800;
    int height = 500;
    int changes = 0;
    bool refuse = false;
    bool clipboard = true;
};

/// The lines of `calls` that start with `prefix`.
inline std::vector<std::string> callsStarting(const std::vector<std::string>& calls, const std::string& prefix)
{
    std::vector<std::string> out;
    std::copy_if(calls.begin(), calls.end(), std::back_inserter(out),
                 [&](const std::string& c) { return c.rfind(prefix, 0) == 0; });
    return out;
}

/// A fresh plot on a recording surface over the curves model, no grid.
class PlotTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetSettings();
        Settings().sim_grid = 0;
        modeltest::loadClean(CurvesModel);
        SetVariableValue(KindParameter, 0, 0.5);
        ModelLoadErrors = 0;
        RunsAllowed = 1;
        InterruptRequested = 0;
        SetMultipleRunActive(false);
        ResetPlot();
        Plot().gridOn = 0;
        ResetPlotSpecs(PlotSpecs());
        Experiment().modelName = "curves";
        Experiment().experimentName = "trial";
        SetPlotSurface(&surface);
        status.emplace();
    }
    void TearDown() override
    {
        SetPlotSurface(nullptr);
        ResetPlot();
        SetPlotReallocate(nullptr);
        InterruptRequested = 0;
    }

    /// Curve `index` shows the named variable on [min, max] with that scaling.
    PlotCurve& show(int index, const char* name, double min = 0, double max = 1, int scaling = 0)
    {
        PlotCurve& c = PlotSpecs().curves[std::size_t(index)];
        EXPECT_TRUE(FindPlotVariable(name, c.kind, c.variable, c.nameIndex)) << name;
        c.display = 1;
        c.min = min;
        c.max = max;
        c.scaling = scaling;
        CountPlotCurves(PlotSpecs());
        return c;
    }

    /// One run of output steps without a model: x from the list, each shown curve the
    /// value `y(curve, step)`.
    template <class Y>
    void feed(const std::vector<double>& xs, Y y)
    {
        ASSERT_TRUE(BeginPlotOutput(0));
        for (std::size_t s = 0; s < xs.size(); ++s) {
            std::array<double, CurveCount> values{};
            for (int i = 0; i < CurveCount; ++i)
                values[std::size_t(i)] = y(i, int(s));
            DrawPlotStep(xs[s], values);
        }
        FinishPlotOutput();
    }

    static std::vector<double> steps(int n, double dx = 0.1)
    {
        std::vector<double> xs;
        for (int i = 0; i < n; ++i)
            xs.push_back(i * dx);
        return xs;
    }

    RecordingSurface surface;
    platform::ScriptedMessageSink sink;
    platform::ScopedMessageSink scoped{sink};
    std::optional<modeltest::StatusCapture> status; ///< made after the model load, which has its own
};

} // namespace plottest
