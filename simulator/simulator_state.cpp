// The simulator's state machine and experiment actions. A model load parses into the
// shared model tables; when it fails, the previous model's text is parsed again and
// its parameter and initial-condition values put back, so a good model is never lost.
#include "simulator/simulator_state.h"

#include "common/message_boxes.h"
#include "common/model_file_names.h"
#include "platform/core/file_system.h"
#include "simulator/code_file_reader.h"
#include "simulator/data_tables.h"
#include "simulator/fastcode/fast_code.h"
#include "simulator/integration_methods.h"
#include "simulator/model_variables.h"
#include "simulator/multiple_runs.h"
#include "simulator/parameter_file.h"
#include "simulator/plot_buffers.h"
#include "simulator/plot_drawing.h"
#include "simulator/plot_specs.h"
#include "simulator/run_control.h"
#include "simulator/run_output.h"
#include "simulator/run_specs.h"
#include "simulator/run_state.h"
#include "simulator/simulator_commands.h"
#include "simulator/user_libraries.h"
#include "simulator/value_editors.h"

#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

namespace {

ExperimentRecord g_record;
SimulatorWindowHooks g_hooks;
std::string g_modelText; ///< the loaded model's code file as it was read

/// 00800000 while a multiple run is specified.
std::uint32_t multipleRunBit()
{
    const auto& specified = MultipleRuns().specified;
    return specified && specified() ? 0x00800000u : 0u;
}

std::string cut25(const std::string& text) { return text.substr(0, 25); }

void refresh() { RefreshCommandStates(SimulatorState); }

void refreshEditors()
{
    if (g_hooks.refreshEditors)
        g_hooks.refreshEditors();
}

/// The runs kept belong to the model and experiment that are being replaced.
void discardPlotRuns()
{
    DiscardCurrentRun();
    DiscardEarlierRuns();
}

/// Holds the program for the seconds: the window's wait, else a plain sleep.
void waitSeconds(int seconds)
{
    if (g_hooks.waitSeconds)
        g_hooks.waitSeconds(seconds);
    else
        std::this_thread::sleep_for(std::chrono::seconds(seconds));
}

/// The plot shows the new title, curves and axes, without the discarded runs.
void redrawPlot()
{
    Plot().specsChanged = 1;
    RedrawPlot(1);
}

/// The values of P and I (with their flags and texts) of the loaded model.
struct SavedValues {
    std::vector<ParameterValue> kinds[2];
};

SavedValues saveValues()
{
    SavedValues saved;
    for (int kind : {KindParameter, KindInitial}) {
        const VariableKind& k = Variables().kinds[kind];
        for (int i = 0; i < k.count && k.values; ++i) {
            ParameterValue v;
            v.value = k.values[i];
            if (GetVariableType(kind, i) == TypeString)
                if (const std::string* text = StringOfValue(v.value)) {
                    v.text = *text;
                    v.isText = true;
                }
            v.hasValue = i < int(k.hasValue.size()) ? k.hasValue[i] : 0;
            saved.kinds[kind].push_back(v);
        }
    }
    return saved;
}

} // namespace

ExperimentRecord& Experiment() { return g_record; }

void WireRunEngine()
{
    SetRunPhaseListener(PostSimulatorEvent);
    InstallRunOutput();
    InstallMultipleRuns();
}
SimulatorWindowHooks& WindowHooks() { return g_hooks; }

std::uint32_t CommandMaskOf(int state)
{
    switch (state) {
    case StateNoModel: return 0xC006D0C7u;
    case StateModelLoaded: {
        if (!ExperimentEdited && g_record.experimentName.empty())
            return 0xC00EF9CFu | multipleRunBit();
        std::uint32_t mask = 0xC13FFDDFu;
        if (InterruptRequested)
            mask |= 0x00400000u;
        const bool current = HasCurrentRunData(), earlier = HasEarlierRunData();
        mask |= (current ? 0x08000000u : 0u) | (earlier ? 0x10000000u : 0u) | (current || earlier ? 0x20000000u : 0u);
        if (!g_record.experimentName.empty())
            mask |= 0x00000200u;
        return mask | multipleRunBit();
    }
    case StateBusy: return 0xC0000060u;
    default: return 0xC00EDCCFu;
    }
}

void RefreshCommandStates(int state) { ApplyCommandMask(CommandMaskOf(state)); }

void ApplyCommandMask(std::uint32_t mask)
{
    if (MultipleRunActive()) {
        // Between the runs of a series the menus stay as they are instead of flickering.
        const MultipleRunHooks& series = MultipleRuns();
        const bool first = !series.firstRun || series.firstRun();
        const bool last = !series.lastRun || series.lastRun();
        if (!InterruptRequested && !(first && StartRequested) && !(last && RunStopFlag))
            return;
    }
    CommandMask = mask;
    if (g_hooks.applyMask)
        g_hooks.applyMask(mask);
}

void PostSimulatorEvent(int event)
{
    switch (SimulatorState) {
    case StateNotStarted:
        if (event == EventStartupDone) {
            SimulatorState = StateNoModel;
            refresh();
            SetTitle("", "");
        } else if (event != EventSettingsReset) {
            SimulatorState = StateBroken;
        }
        break;
    case StateNoModel:
        if (event == EventModelLoaded) {
            SimulatorState = StateModelLoaded;
            refresh();
        } else if (event == EventSettingsReset) {
            refresh();
        } else if (event != EventExperimentEdited && event != EventEditsCleared) {
            SimulatorState = StateBroken;
        }
        break;
    case StateModelLoaded:
        if (event == EventReadingData || event == EventSimulating || event == 9) {
            SimulatorState = StateBusy;
            refresh();
        } else if ((event >= EventModelLoaded && event <= EventExperimentSaved) || event == EventExperimentEdited ||
                   event == EventEditsCleared || event == EventSettingsReset) {
            refresh();
        } else {
            SimulatorState = StateBroken;
        }
        break;
    case StateBusy:
        if (event == EventRunEnded) {
            SimulatorState = StateModelLoaded;
            refresh();
        } else if (event != EventSimulating && event != EventExperimentEdited) {
            SimulatorState = StateBroken;
        }
        break;
    default:
        break;
    }
    if (SimulatorState == StateBroken) {
        refresh();
        ShowMessage({"Something strange has happened with your simulation:", "Save your work and exit!"});
    }
}

std::string TitleText()
{
    const std::string model = g_record.modelName.empty() ? "untitled" : g_record.modelName;
    const std::string experiment = g_record.experimentName.empty() ? "untitled" : g_record.experimentName;
    return std::string("Orvanta ") + " " + "Simulator" + " - " + model + ", exp: " + experiment +
           (ExperimentEdited ? " (edited)" : "");
}

void SetTitle(const std::string& model, const std::string& experiment)
{
    g_record.modelName = cut25(model);
    g_record.experimentName = cut25(experiment);
    if (g_hooks.setTitle)
        g_hooks.setTitle(TitleText());
}

void MarkEdited()
{
    ExperimentEdited = 1;
    PostSimulatorEvent(EventExperimentEdited);
    SetTitle(g_record.modelName, g_record.experimentName);
}

void ClearEdited()
{
    if (!ExperimentEdited)
        return;
    ExperimentEdited = 0;
    PostSimulatorEvent(EventEditsCleared);
    SetTitle(g_record.modelName, g_record.experimentName);
}

void ResetEditors()
{
    ParametersEditorLogic().reset();
    InitialConditionsEditorLogic().reset();
    RunSpecs() = RunSpecification::defaults();
    // The plot shows what the model asks for over the run's time range.
    ResetPlotSpecs(PlotSpecs());
    DefaultPlotCurves(PlotSpecs());
    CountPlotCurves(PlotSpecs());
    MultipleRunSpecs() = MultipleRunSpec{};
    Simulating = 0;
    ContinueRun = 0;
    InterruptRequested = 0;
}

int LoadModel(const std::string& directory, const std::string& modelName)
{
    if (!AcceptGivenModelName(modelName))
        return 0;
    const std::optional<std::string> path = FindCodeFile(directory, modelName);
    if (ExperimentEdited &&
        !ShowConfirm("Cancel", "Confirm, discard edits",
                     {"The experiment of the current model has been edited.",
                      "Press Cancel to go back and save the experiment,", "press OK to discard all edits."}))
        return 0;
    const std::optional<std::string> text = path ? platform::readFile(*path) : std::nullopt;
    if (!text) {
        // The user is told which file was looked for, or which one could not be read.
        ShowMessage({"Can not read model.", path ? *path : directory + "/" + modelName + ".l"});
        return 0;
    }
    ShowStatus("Loading model...", false);
    const SavedValues saved = saveValues();
    const std::string previousText = g_modelText;
    const bool hadModel = Variables().installed && ModelLoadErrors == 0;
    // The blocks point into the tables that the reader is about to replace.
    FreeFastCode();
    const int errors = LoadCodeText(*text);
    const std::string unnamed = errors == 0 ? UnnamedVariableReport() : std::string();
    if (errors != 0 || !unnamed.empty()) {
        ShowMessage({"Errors in code file, model could not be loaded.", *path,
                     unnamed.empty() ? LastCodeFileReport() : unnamed});
        if (hadModel && LoadCodeText(previousText) == 0) {
            ApplyParameterValues(KindParameter, saved.kinds[KindParameter]);
            ApplyParameterValues(KindInitial, saved.kinds[KindInitial]);
            BuildFastCode();
        } else {
            ModelLoadErrors = 1;
        }
        ShowStatus("", false);
        return 0;
    }
    g_modelText = *text;
    ModelLoadErrors = 0;
    BuildFastCode();
    ReleaseIntegrationWorkspaces();
    discardPlotRuns();
    ResetEditors();
    ClearEdited();
    g_record.modelDirectory = directory;
    SetUserDllModelDirectory(directory);
    SetTitle(modelName, "");
    SetDataTableModel(g_record.modelName);
    refreshEditors();
    PostSimulatorEvent(EventModelLoaded);
    redrawPlot();
    // What the status line kept (the last run's summary) was of the model before.
    ShowStatus("", true);
    return 1;
}

bool LoadedModelIsCurrent(const std::string& directory, const std::string& modelName)
{
    if (!Variables().installed || ModelLoadErrors != 0 || !platform::equalsNoCase(modelName, g_record.modelName))
        return false;
    const std::optional<std::string> path = FindCodeFile(directory, modelName);
    const std::optional<std::string> text = path ? platform::readFile(*path) : std::nullopt;
    return text && *text == g_modelText;
}

int ReloadModel(const std::string& directory, const std::string& modelName)
{
    const bool same = Variables().installed && platform::equalsNoCase(modelName, g_record.modelName);
    const std::string experiment = same ? g_record.experimentName : std::string();
    const std::string experimentDirectory = g_record.experimentDirectory;
    if (!LoadModel(directory, modelName))
        return 0;
    // The edits were given up at the question of the load; the experiment is read as it was saved.
    if (!experiment.empty() && !experimentDirectory.empty())
        LoadExperiment(experimentDirectory, experiment);
    return 1;
}

int LoadExperiment(const std::string& directory, const std::string& experimentName)
{
    if (ExperimentEdited &&
        !ShowConfirm("Cancel", "Confirm, discard edits",
                     {"The current experiment has been edited.", "Press Cancel to go back and save the experiment,",
                      "press OK to discard all edits."}))
        return 0;
    ShowStatus("Loading experiment...", false);
    discardPlotRuns();
    ResetEditors();
    ClearEdited();
    const std::string& model = g_record.modelName;
    if (const auto p = FindParameterFile(directory, model, experimentName)) {
        ReadParameterFile(*p);
        ReadInitialConditionFile(*p);
    }
    if (const auto r = FindRunSpecFile(directory, model, experimentName))
        ReadRunSpecFile(*r, RunSpecs());
    if (const auto u = FindPlotSpecFile(directory, model, experimentName))
        ReadPlotSpecs(*u, PlotSpecs());
    else if (PlotSpecs().xIsTime)
        SetTimeAxisRange(PlotSpecs()); // a time axis spans the experiment's run
    if (const auto mr = FindMultipleRunFile(directory, model, experimentName))
        ReadMultipleRunFile(*mr);
    g_record.experimentDirectory = directory;
    SetTitle(model, experimentName);
    refreshEditors();
    ShowStatus("", false);
    PostSimulatorEvent(EventExperimentLoaded);
    redrawPlot();
    return 1;
}

int SaveExperiment(const std::string& directory, const std::string& experimentName)
{
    if (!platform::isDirectory(directory) && !platform::makeDirectories(directory)) {
        ShowMessage({"Error: could not create " + directory});
        ShowStatus("Warning: Experiment could not be saved.", true);
        return 0;
    }
    if (g_hooks.unappliedEdits && g_hooks.unappliedEdits()) {
        ShowStatus("Warning: one or more editors have unapplied edits, saving anyway..", true);
        waitSeconds(2);
    }
    ShowStatus("Saving experiment...", false);
    const std::string& model = g_record.modelName;
    bool written = WriteParameterFile(MakeParameterFileName(directory, model, experimentName), model) == 0;
    written = WriteRunSpecFile(MakeRunSpecFileName(directory, model, experimentName), model) == 0 && written;
    written = WritePlotSpecs(MakePlotSpecFileName(directory, model, experimentName), model) == 0 && written;
    written = WriteMultipleRunFile(MakeMultipleRunFileName(directory, model, experimentName)) == 0 && written;
    if (!written) {
        // The edits are kept: nothing says they are safe on disk.
        ShowStatus("Experiment not saved!", true);
        return 0;
    }
    g_record.experimentDirectory = directory;
    ClearEdited();
    ShowStatus("", false);
    const bool renamed = g_record.experimentName != cut25(experimentName);
    SetTitle(model, experimentName);
    // The plot's title names the experiment; its runs stay.
    if (renamed && !Simulating)
        RedrawPlot(1);
    PostSimulatorEvent(EventExperimentSaved);
    return 1;
}

bool CanQuit(bool force)
{
    if (force)
        return true;
    if (Simulating && !ShowConfirm("Cancel", "OK",
                                   {"Orvanta is still simulating.", "Press OK to interrupt simulation and quit,",
                                    "press Cancel to continue simulation."}))
        return false;
    if (ExperimentEdited && !ShowConfirm("Cancel, do NOT quit", "Discard edits, then Quit",
                                         {"The current experiment has been edited.",
                                          "Press OK to discard all edits and quit,",
                                          "press Cancel to go back and save the experiment."}))
        return false;
    RunsAllowed = 0;
    return true;
}
