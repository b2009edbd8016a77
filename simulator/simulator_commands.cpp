// The simulator's commands over the run engine, the plot and the experiment record.
#include "simulator/simulator_commands.h"

#include "common/code_generator_module.h"
#include "common/message_boxes.h"
#include "common/model_file_names.h"
#include "common/settings_table.h"
#include "common/startup.h"
#include "common/text_helpers.h"
#include "platform/core/wait_cursor.h"
#include "simulator/model_variables.h"
#include "simulator/plot_buffers.h"
#include "simulator/plot_drawing.h"
#include "simulator/plot_specs.h"
#include "simulator/run_control.h"
#include "simulator/run_output.h"
#include "simulator/run_state.h"
#include "simulator/simulator_state.h"

#include <array>
#include <optional>

namespace {

MultipleRunHooks g_multipleRuns;
std::function<bool()> g_pump;
std::optional<platform::ScopedWaitCursor> g_readingCursor;

void call(const std::function<void()>& hook)
{
    if (hook)
        hook();
}

/// Where a column of a data file goes: a variable of the model, or nowhere.
struct ColumnTarget {
    int kind = -1;
    int index = -1;
};

/// The first variable of kinds 4 to 10 (but 7) one of whose names is `name`.
ColumnTarget findOutputVariable(const std::string& name)
{
    for (int kind = KindVariable; kind <= KindDependentRate; ++kind) {
        if (kind == KindLoopInput)
            continue;
        for (int i = 0; i < Variables().kinds[std::size_t(kind)].count; ++i)
            if (FindNameInEntry(kind, i, name.c_str()) >= 0)
                return {kind, i};
    }
    return {};
}

void store(const ColumnTarget& target, double value)
{
    if (target.kind < 0)
        return;
    VariableKind& k = Variables().kinds[std::size_t(target.kind)];
    if (k.values && target.index < k.count)
        k.values[target.index] = value;
}

} // namespace

MultipleRunHooks& MultipleRuns() { return g_multipleRuns; }

bool PumpWhileSimulating()
{
    if (g_pump)
        return g_pump();
    while (!QuitRequested && (StartRequested || Simulating))
        RunChunk(ContinueRun);
    return !QuitRequested;
}

void SetRunPump(std::function<bool()> pump) { g_pump = std::move(pump); }

void StartSimulationCommand()
{
    call(g_multipleRuns.reset);
    RequestRun();
}

void ContinueSimulationCommand()
{
    ContinueCommand();
    call(g_multipleRuns.continueStep);
}

void StartMultipleRunCommand() { call(g_multipleRuns.start); }

void BeginReadingData()
{
    Simulating = 1;
    ShowStatus("Reading numerical data...", true);
    g_readingCursor.emplace();
    PostSimulatorEvent(EventReadingData);
}

void EndReadingData()
{
    Simulating = 0;
    g_readingCursor.reset();
    PostSimulatorEvent(EventRunEnded);
}

void ReadDataCommand()
{
    InterruptRequested = 0;
    if (!RunsAllowed)
        return;
    BeginReadingData();
    if (Plot().plotMode)
        ReadDataFileIntoPlot();
    EndReadingData();
}

int ReadDataFileIntoPlot()
{
    const ExperimentRecord& e = Experiment();
    if (e.modelName.empty()) {
        ShowMessage({"No model loaded."});
        return 0;
    }
    if (e.experimentName.empty()) {
        ShowMessage({"No experiment given. Load or save experiment first."});
        return 0;
    }
    PlotSpecification& specs = PlotSpecs();
    const bool xIsTime = specs.xIsTime != 0;
    const std::string path = MakeDataFileName(e.experimentDirectory, e.modelName, e.experimentName);
    std::vector<std::string> damage;
    const std::optional<DataFileContent> content = ReadDataFileContent(path, xIsTime, &damage);
    if (!content) {
        if (!damage.empty())
            ShowMessageLines(damage);
        return 0;
    }
    const int count = int(content->names.size()) - (xIsTime ? 0 : 1);
    if (count <= 0)
        return 0;
    if (count > CurveCount) {
        ShowMessage({"Too many variables specified in data file.", path});
        return 0;
    }

    // Only the curves whose variables the file holds stay shown while it is read.
    std::array<int, CurveCount> shown{};
    for (int i = 0; i < CurveCount; ++i)
        shown[std::size_t(i)] = specs.curves[std::size_t(i)].display;
    std::vector<ColumnTarget> targets;
    const std::size_t firstName = xIsTime ? 0 : 1;
    for (std::size_t n = firstName; n < content->names.size(); ++n) {
        const ColumnTarget target = findOutputVariable(content->names[n]);
        targets.push_back(target);
        for (PlotCurve& c : specs.curves)
            if (target.kind >= 0 && c.display == 1 && !c.fromFile && c.kind == target.kind && c.variable == target.index)
                c.display = 2;
    }
    for (PlotCurve& c : specs.curves)
        if (c.display > 0)
            --c.display;
    CountPlotCurves(specs);
    const auto restore = [&] {
        for (int i = 0; i < CurveCount; ++i)
            specs.curves[std::size_t(i)].display = shown[std::size_t(i)];
        CountPlotCurves(specs);
    };
    if (!BeginPlotOutput(0)) {
        restore();
        return 0;
    }

    InterruptRequested = 0;
    const ColumnTarget xTarget{specs.x.kind, specs.x.variable};
    int rows = 0;
    for (const std::vector<double>& row : content->rows) {
        if (InterruptRequested)
            break;
        if (row.empty())
            continue;
        if (xIsTime)
            SimulationTime = row[0];
        else
            store(xTarget, row[0]);
        for (std::size_t c = 0; c + 1 < row.size() && c < targets.size(); ++c)
            store(targets[c], row[c + 1]);
        CollectPlotStep();
        ++rows;
    }
    FinishPlotOutput();
    ShowStatus("Reading of datafile " + std::string(InterruptRequested ? "stopped by user." : "finished."), true);
    restore();
    return rows > 0;
}

void ClearLastRunCommand()
{
    ContinueRun = 0;
    InterruptRequested = 0;
    DiscardCurrentRun();
    RescaleKeptRuns();
    RedrawPlot(1);
    PostSimulatorEvent(EventExperimentEdited);
}

void ClearPreviousRunsCommand()
{
    DiscardEarlierRuns();
    RescaleKeptRuns();
    RedrawPlot(1);
    PostSimulatorEvent(EventExperimentEdited);
}

void ClearAllRunsCommand()
{
    ContinueRun = 0;
    InterruptRequested = 0;
    DiscardCurrentRun();
    DiscardEarlierRuns();
    RedrawPlot(1);
    PostSimulatorEvent(EventExperimentEdited);
}

void RedrawCommand() { RedrawPlot(1); }

void PlotRefreshCommand()
{
    ClearPlotArea();
    RedrawPlot(0);
}

std::string SquarePlotCommand()
{
    const bool square = ToggleSquarePlot();
    RedrawPlot(1);
    return square ? "Maximal Plot" : "Square Plot";
}

void ApplySimulatorSettings()
{
    Simulating = 0;
    ContinueRun = 0;
    InterruptRequested = 0;
    ApplyPlotSettings();
    PostSimulatorEvent(EventSettingsReset);
}

void CopyDirectoriesFromSettings()
{
    // The directories follow the first model directory, as at start-up.
    const std::vector<std::string> directories = SplitPathList(Settings().model_dirs);
    if (directories.empty())
        return;
    StartupValues& s = Startup();
    s.WorkingDirectory = s.ExperimentDirectory = s.ResultDirectory = s.ProcessedDirectory = directories.front();
}

int GenerateCCode()
{
    const ExperimentRecord& e = Experiment();
    const std::vector<std::string> directories = SplitPathList(Settings().model_dirs);
    const std::string first = directories.empty() ? e.modelDirectory : directories.front();
    std::optional<std::string> code = FindCodeFile(first, e.modelName);
    if (!code && !e.modelDirectory.empty())
        code = FindCodeFile(e.modelDirectory, e.modelName);
    std::string model = code ? *code : MakeCodeFileName(first, e.modelName);
    if (model.size() >= 2 && model.compare(model.size() - 2, 2, ".l") == 0)
        model.resize(model.size() - 2);
    return RunCodeGenerator(model.c_str(), e.experimentName.c_str(), nullptr);
}
