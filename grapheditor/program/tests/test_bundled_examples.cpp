// The bundled graph examples as a first-time user meets them: each is opened through
// File > Open and its chooser, is drawn readably, and a main model is processed by the
// real model processor and simulated by the real simulator with its experiment.
#include "grapheditor/program/tests/main_window_fixture.h"

#include "grapheditor/program/editor_commands.h"

#include "common/tests/listed_name.h"
#include "simulator/program/tests/experiment_run.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <set>

using editortest::MainWindow;

namespace {

namespace fs = std::filesystem;

struct Box {
    std::string name;
    int left, top, width, height;
};

/// What makes the drawing hard to read: objects outside the canvas as the model opens or on
/// top of one another, a bond between submodels without its half-arrow, a connection too
/// short to be seen.
std::vector<std::string> drawingFaults(const GraphModel& model, int canvasWidth, int canvasHeight)
{
    std::vector<Box> boxes;
    for (const Submodel& s : model.submodels)
        boxes.push_back({s.name, s.left, s.top, s.width, s.height});
    for (const Pio& p : model.pios)
        boxes.push_back({p.name, p.left, p.top, p.width, p.height});
    std::vector<std::string> faults;
    for (std::size_t i = 0; i < boxes.size(); ++i) {
        const Box& a = boxes[i];
        if (a.left < model.scrollX || a.top < model.scrollY || a.left + a.width > model.scrollX + canvasWidth ||
            a.top + a.height > model.scrollY + canvasHeight)
            faults.push_back(a.name + " lies outside the canvas");
        for (std::size_t j = i + 1; j < boxes.size(); ++j) {
            const Box& b = boxes[j];
            if (a.left < b.left + b.width && b.left < a.left + a.width && a.top < b.top + b.height &&
                b.top < a.top + a.height)
                faults.push_back(a.name + " overlaps " + b.name);
        }
    }
    for (const Connection& c : model.connections) {
        const ConnectionEnd& from = c.ends[0];
        const ConnectionEnd& to = c.ends[1];
        const std::string name = (from.submodel ? from.submodel->name : from.pio ? from.pio->name : "?") + " - " +
                                 (to.submodel ? to.submodel->name : to.pio ? to.pio->name : "?");
        // A bond at a port of the model takes its direction from the bond outside.
        if (!c.isSignal && from.submodel && to.submodel && c.direction == 0)
            faults.push_back(name + " has no half-arrow");
        if (std::hypot(to.edgeX - from.edgeX, to.edgeY - from.edgeY) < 24)
            faults.push_back(name + " is too short to be seen");
    }
    return faults;
}

using BundledExamples = MainWindow;

} // namespace

TEST_F(BundledExamples, EveryGraphExampleOpensThroughTheChooserDrawsReadablyAndSimulatesWithItsExperiment)
{
    struct Example {
        const char* name;
        bool mainModel; ///< else a submodel, which only its parent simulates
    };
    const std::vector<Example> examples = {{"msd1", true},  {"rlc1", true},  {"gears1", true},  {"motor1", true},
                                           {"mload1", true}, {"qcar1", true}, {"dcspeed1", true}, {"dcm1", false}};
    std::set<std::string> listed, shipped;
    for (const Example& e : examples)
        listed.insert(e.name);
    for (const fs::directory_entry& entry : fs::directory_iterator(ORVANTA_MODELS_DIR))
        if (entry.path().extension() == ".mg0" || entry.path().extension() == ".sg0")
            shipped.insert(entry.path().stem().string());
    ASSERT_EQ(listed, shipped) << "every graph example is tried";

    fs::copy(ORVANTA_MODELS_DIR, models, fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    startWindow();
    for (const Example& example : examples) {
        const std::string name = example.name;
        SCOPED_TRACE(name);
        command(CM_OPEN)->trigger();
        ASSERT_TRUE(testsupport::pickListedName(name)) << name << " is not listed";
        ASSERT_EQ(Editor().modelName, name) << window->shownStatusText();
        ASSERT_FALSE(CurrentModel().connections.empty());
        EXPECT_EQ(drawingFaults(CurrentModel(), window->canvas().width(), window->canvas().height()),
                  std::vector<std::string>{});
        if (!example.mainModel) {
            testsupport::grabToPng(*window, "grapheditor_example_" + name);
            continue;
        }

        // Simulation processes the model first and then starts the simulator on it.
        command(CM_SIMULATION)->trigger();
        simrun::ResultFile result;
        ASSERT_EQ(simrun::runExperiment(models + "/" + name, "default", result), "") << window->shownStatusText();
        EXPECT_TRUE(sink.transcript().empty()) << sink.transcriptLines().front();
        EXPECT_EQ(simrun::runFaults(result, name, models + "/" + name + "/default.u"), std::vector<std::string>{});
        // The causal strokes the processing gave are drawn on the bonds.
        testsupport::grabToPng(*window, "grapheditor_example_" + name);
    }
}
