// The drivers of the three series and their result files. A plain series advances
// from the end-of-run hook, one run per idle turn; an optimisation or a Monte Carlo
// series runs inside its command, waiting for each run in the nested pump.
#include "simulator/multiple_runs.h"

#include "common/message_boxes.h"
#include "common/startup.h"
#include "platform/core/file_system.h"
#include "simulator/model_variables.h"
#include "simulator/numerics/optimization.h"
#include "simulator/plot_buffers.h"
#include "simulator/plot_drawing.h"
#include "simulator/run_control.h"
#include "simulator/run_state.h"
#include "simulator/simulator_commands.h"
#include "simulator/simulator_state.h"
#include "simulator/text_format.h"
#include "simulator/user_libraries.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace {

using numerics::Matrix;
using numerics::StopOptimization;

/// One series: the specs it runs, where it stands and what it recorded.
struct SeriesState {
    MultipleRunSpec spec;
    bool plainActive = false;
    bool active = false;       ///< an optimisation or Monte Carlo series
    bool optimizing = false;   ///< the active series is an optimisation
    long long run = 0;         ///< plain: 1-based run number; else runs started
    long long total = 0;       ///< runs of the plain series
    int maxRuns = 500;
    std::vector<double> criterion;
    std::vector<std::vector<double>> values;
    std::size_t capacity = 0;  ///< entries the histories hold at most
    int recorded = 0;
    struct Saved {
        double value = 0.0;
        int hasValue = 0;
    };
    std::vector<Saved> saved;          ///< the varied variables before the series
    std::vector<Saved> savedInitial;   ///< every initial condition, with copied states
    unsigned long long finishedRuns = 0;
} g;

double* cellOf(int kind, int index)
{
    if (kind < 0 || kind >= KindCount)
        return nullptr;
    VariableKind& k = Variables().kinds[std::size_t(kind)];
    return k.values && index >= 0 && index < k.count ? &k.values[index] : nullptr;
}

int* hasValueOf(int kind, int index)
{
    VariableKind& k = Variables().kinds[std::size_t(kind)];
    return index >= 0 && index < int(k.hasValue.size()) ? &k.hasValue[std::size_t(index)] : nullptr;
}

/// Gives a varied variable its value for a run (the experiment then gives one).
void setValue(const MultipleRunVariable& v, double value)
{
    if (double* cell = cellOf(v.kind, v.index))
        *cell = value;
    if (int* has = hasValueOf(v.kind, v.index))
        *has = 1;
}

double currentValue(const MultipleRunVariable& v)
{
    const double* cell = cellOf(v.kind, v.index);
    return cell ? *cell : 0.0;
}

double criterionValue()
{
    const double* cell = cellOf(g.spec.criterionKind, g.spec.criterionIndex);
    return cell ? *cell : 0.0;
}

void saveValues(bool initialConditions)
{
    g.saved.clear();
    for (const MultipleRunVariable& v : g.spec.variables) {
        const int* has = hasValueOf(v.kind, v.index);
        g.saved.push_back({currentValue(v), has ? *has : 0});
    }
    g.savedInitial.clear();
    if (initialConditions)
        for (int i = 0; i < Variables().kinds[KindInitial].count; ++i) {
            const int* has = hasValueOf(KindInitial, i);
            g.savedInitial.push_back({*cellOf(KindInitial, i), has ? *has : 0});
        }
}

void restoreValues()
{
    for (std::size_t i = 0; i < g.saved.size() && i < g.spec.variables.size(); ++i) {
        const MultipleRunVariable& v = g.spec.variables[i];
        if (double* cell = cellOf(v.kind, v.index))
            *cell = g.saved[i].value;
        if (int* has = hasValueOf(v.kind, v.index))
            *has = g.saved[i].hasValue;
    }
    for (std::size_t i = 0; i < g.savedInitial.size(); ++i) {
        if (double* cell = cellOf(KindInitial, int(i)))
            *cell = g.savedInitial[i].value;
        if (int* has = hasValueOf(KindInitial, int(i)))
            *has = g.savedInitial[i].hasValue;
    }
}

void allocateHistories(std::size_t entries)
{
    g.capacity = entries;
    g.criterion.assign(entries, 0.0);
    g.values.assign(g.spec.variables.size(), std::vector<double>(entries, 0.0));
    g.recorded = 0;
}

void growHistories(std::size_t entries)
{
    g.capacity = entries;
    g.criterion.resize(entries, 0.0);
    for (std::vector<double>& h : g.values)
        h.resize(entries, 0.0);
}

void freeHistories()
{
    g.criterion.clear();
    g.values.clear();
    g.capacity = 0;
}

/// Appends the run's criterion and variable values while the histories have room.
void recordRun()
{
    if (std::size_t(g.recorded) >= g.capacity)
        return;
    g.criterion[std::size_t(g.recorded)] = criterionValue();
    for (std::size_t i = 0; i < g.spec.variables.size(); ++i)
        g.values[i][std::size_t(g.recorded)] = currentValue(g.spec.variables[i]);
    ++g.recorded;
}

/// In the names written to MATLAB files a backquote becomes an underscore.
std::string matlabName(const char* name)
{
    std::string text = name ? name : "";
    std::replace(text.begin(), text.end(), '`', '_');
    return text;
}

/// The result directory, made when missing; empty after its message when it cannot be.
std::string resultDirectory()
{
    const std::string directory = MultipleRunResultDirectory();
    if (!platform::isDirectory(directory) && !platform::makeDirectories(directory)) {
        const std::string text = FormatText("Error: could not create %s", directory.c_str());
        ShowStatus(text, true);
        ShowMessage({text});
        return {};
    }
    return directory;
}

bool writeResultFile(const std::string& directory, const char* name, const std::string& text)
{
    const std::string path = platform::joinPath(directory, name);
    if (platform::writeFileAtomically(path, text))
        return true;
    ShowMessage({"Can not open for writing:", path});
    return false;
}

bool modelLoaded() { return Variables().installed && !Experiment().modelName.empty(); }

/// mr.dat and mulrun.m of a plain series. Without a criterion nothing was recorded and
/// nothing is written.
void writePlainResults()
{
    const MultipleRunSpec& spec = g.spec;
    if (!spec.hasCriterion())
        return;
    const std::string directory = resultDirectory();
    if (directory.empty())
        return;
    const long long steps = spec.steps;
    const long long lineCount = std::max<long long>(1, g.total / steps);
    const long long perLine = std::min<long long>(steps, g.total);
    std::ostringstream data;
    for (long long j = 0; j < lineCount; ++j) {
        for (long long k = 1; k <= perLine; ++k)
            data << g.criterion[std::size_t(j * steps + k)] << ' ';
        data << '\n';
    }
    if (!writeResultFile(directory, "mr.dat", data.str()) || !modelLoaded())
        return;

    const std::size_t count = spec.variables.size();
    std::ostringstream m;
    m << "load mr.dat;\n";
    if (count < 3) {
        std::vector<std::string> names;
        for (const MultipleRunVariable& v : spec.variables) {
            names.push_back(matlabName(MultipleRunVariableName(v)));
            const double step = spec.steps == 1 ? v.to : (v.to - v.from) / (spec.steps - 1) * 0.99999;
            m << names.back() << " = " << v.from << ":" << step << ":" << v.to << ";\n";
        }
        const std::string crit = matlabName(CriterionName(spec));
        if (count == 1) {
            m << "figure (1);\n"
              << "plot (" << names[0] << ", mr);\n"
              << "xlabel ('" << names[0] << "');\n"
              << "ylabel ('" << crit << "');\n";
        } else if (count == 2) {
            const std::string labels = "xlabel ('" + names[0] + "');\nylabel ('" + names[1] + "');\nzlabel ('" +
                                       crit + "');\n";
            m << "figure (1);\n"
              << "colormap (bone);\n"
              << "surfl (" << names[0] << ", " << names[1] << ", mr);\n"
              << "shading faceted;\n"
              << "view (130, 30);\n"
              << labels << "figure (2);\n"
              << "colormap (jet);\n"
              << "pcolor (" << names[0] << ", " << names[1] << ", mr);\n"
              << "shading faceted;\n"
              << labels << "colorbar;\n";
        }
    }
    if (!writeResultFile(directory, "mulrun.m", m.str()))
        return;
    if (count < 3)
        ShowStatus("Matlab file 'mulrun.m' created.", true);
}

/// The rows of opt.dat and mc.dat: the variables' values, then the criterion value.
std::string historyRows()
{
    std::ostringstream data;
    for (int r = 0; r < g.recorded; ++r) {
        for (const std::vector<double>& h : g.values)
            data << h[std::size_t(r)] << ' ';
        data << g.criterion[std::size_t(r)] << '\n';
    }
    return data.str();
}

void writeOptimizationResults()
{
    const std::string directory = resultDirectory();
    if (directory.empty() || !writeResultFile(directory, "opt.dat", historyRows()))
        return;
    const std::size_t count = g.spec.variables.size();
    std::ostringstream m;
    m << "load opt.dat;\n";
    if (count < 3) {
        std::vector<std::string> names;
        for (std::size_t i = 0; i < count; ++i) {
            names.push_back(matlabName(MultipleRunVariableName(g.spec.variables[i])));
            m << names.back() << " = opt(:," << i + 1 << ");\n";
        }
        const std::string crit = matlabName(CriterionName(g.spec));
        m << crit << " = opt(:," << count + 1 << ");\n";
        names.push_back(crit);
        const std::string last = std::to_string(std::max(g.recorded, 1));
        const auto threePlots = [&m, &last](const std::vector<std::string>& plotted) {
            const char* head = plotted.size() == 3 ? "plot3 (" : "plot (";
            std::string joined, indexed;
            for (std::size_t i = 0; i < plotted.size(); ++i) {
                joined += (i ? ", " : "") + plotted[i];
                indexed += (i ? "), " : "") + plotted[i] + "(" + last;
            }
            m << head << joined << ", 'y');\n"
              << head << joined << ", 'r.', 'EraseMode', 'none');\n"
              << head << indexed << "), 'g.', 'EraseMode', 'none');\n";
        };
        m << "figure (1);\nhold on;\n";
        threePlots(names);
        m << "hold off;\nfigure (2);\nhold on;\n";
        threePlots({crit});
        m << "hold off;\nzoom;\n";
    }
    writeResultFile(directory, "optim.m", m.str());
}

/// The optimum the model was left at, in a box and the status line: the varied
/// variables' values and the criterion's, in the form the Monte Carlo series gives its
/// extremes.
void showOptimum()
{
    std::string text = FormatText("Optimum found after %d runs: \r\n", g.recorded);
    for (const MultipleRunVariable& v : g.spec.variables) {
        const char* name = MultipleRunVariableName(v);
        text += std::string(name ? name : "") + FormatText(" : %g\r\n", currentValue(v));
    }
    const char* criterion = CriterionName(g.spec);
    text += std::string(criterion ? criterion : "") + FormatText(" : %g", criterionValue());
    ShowMessage({text});
    ShowStatus(text, true);
}

/// mc.dat and mcarlo.m, then the runs with the smallest and the largest criterion.
void writeMonteCarloResults()
{
    const std::string directory = resultDirectory();
    if (directory.empty() || !writeResultFile(directory, "mc.dat", historyRows()))
        return;
    const std::string crit = matlabName(CriterionName(g.spec));
    std::ostringstream m;
    m << "load mc.dat;\n"
      << crit << " = mc(:," << g.spec.variables.size() + 1 << ");\n"
      << "hist (" << crit << (g.spec.steps >= 200 ? ", 20 );\n" : ", 10 );\n")
      << "ylabel ('" << crit << "');\n";
    if (!writeResultFile(directory, "mcarlo.m", m.str()) || g.recorded == 0)
        return;

    int smallest = 0, largest = 0;
    for (int r = 1; r < g.recorded; ++r) {
        if (g.criterion[std::size_t(r)] > g.criterion[std::size_t(largest)])
            largest = r;
        if (g.criterion[std::size_t(r)] < g.criterion[std::size_t(smallest)])
            smallest = r;
    }
    const char* criterionName = CriterionName(g.spec);
    const auto block = [&](int r, const char* head, const char* criterionForm) {
        std::string text = head;
        for (std::size_t i = 0; i < g.spec.variables.size(); ++i) {
            const char* name = MultipleRunVariableName(g.spec.variables[i]);
            text += std::string(name ? name : "") + " : " + FormatText("%g\r\n", g.values[i][std::size_t(r)]);
        }
        return text + (criterionName ? criterionName : "") + FormatText(criterionForm, g.criterion[std::size_t(r)]);
    };
    const std::string text = block(smallest, "Minimum value for: \r\n", " : %g\r\n\r\n") +
                             block(largest, "Maximum value for: \r\n", " : %g");
    ShowMessage({text});
    ShowStatus(text, true);
}

/// Sets the values of plain run r (1-based): the end states first when they are copied.
void setPlainValues(long long r)
{
    const MultipleRunSpec& spec = g.spec;
    if (spec.copyStates && r > 1) {
        const int n = std::min(Variables().kinds[KindInitial].count, Variables().kinds[KindState].count);
        for (int i = 0; i < n; ++i) {
            *cellOf(KindInitial, i) = *cellOf(KindState, i);
            if (int* has = hasValueOf(KindInitial, i))
                *has = 1;
        }
    }
    for (std::size_t i = 0; i < spec.variables.size(); ++i)
        setValue(spec.variables[i], PlainRunValue(spec, int(i), r));
    ShowStatus(FormatText("run %lld", r), false);
}

void endPlainSeries()
{
    g.plainActive = false;
    SetMultipleRunActive(false);
    freeHistories();
}

void startPlainSeries()
{
    g.spec = MultipleRunSpecs();
    if (!g.spec.specified())
        return;
    if (const std::vector<std::string> problem = MultipleRunProblem(g.spec); !problem.empty()) {
        ShowMessageLines(problem);
        return;
    }
    g.total = PlainRunCount(g.spec.steps, int(g.spec.variables.size()));
    allocateHistories(std::size_t(g.total) + 1);
    saveValues(g.spec.copyStates != 0);
    g.plainActive = true;
    SetMultipleRunActive(true);
    g.run = 1;
    setPlainValues(1);
    RequestRun();
}

/// Ends an optimisation or Monte Carlo series: the plot keeps only the last run, on the
/// scales of that run as Clear Previous Runs gives them.
void endSeries()
{
    freeHistories();
    g.active = false;
    g.optimizing = false;
    SetMultipleRunActive(false);
    DiscardEarlierRuns();
    RescaleKeptRuns();
    RedrawPlot(1);
}

/// Starts a run and waits for its end; false when it did not run to an end that the
/// series may use (refused, or the program quits).
bool runAndWait()
{
    const unsigned long long before = g.finishedRuns;
    RequestRun();
    const bool alive = PumpWhileSimulating();
    return alive && g.finishedRuns != before;
}

} // namespace

long long PlainRunCount(int steps, int count)
{
    if (steps < 1 || count < 0)
        return -1;
    long long total = 1;
    for (int i = 0; i < count; ++i) {
        if (total > MaxPlainRuns / steps)
            return -1;
        total *= steps;
    }
    return total;
}

double PlainRunValue(const MultipleRunSpec& spec, int i, long long run)
{
    const MultipleRunVariable& v = spec.variables[std::size_t(i)];
    const long long steps = spec.steps;
    if (steps <= 1)
        return v.to;
    long long power = 1;
    for (int k = 0; k < i; ++k)
        power *= steps;
    const long long digit = ((run - 1) / power) % steps;
    if (v.scale == 0)
        return v.from + double(digit) * (v.to - v.from) / double(steps - 1);
    const double low = std::log10(v.from), high = std::log10(v.to);
    return std::pow(10.0, low + double(digit) * (high - low) / double(steps - 1));
}

std::vector<std::string> MultipleRunProblem(const MultipleRunSpec& spec)
{
    if (spec.type == OptimizationRun) {
        if (spec.method < 0 || spec.method >= int(OptimizationMethodNames.size()))
            return {"Wrong optimization method"};
        return {};
    }
    if (spec.steps < 1)
        return {"The number of steps must be 1 or more."};
    if (spec.type != PlainMultipleRun)
        return {};
    if (PlainRunCount(spec.steps, int(spec.variables.size())) < 0)
        return {"Too many runs for a multiple run:",
                FormatText("%d steps for %d variables give more than %lld runs.", spec.steps, int(spec.variables.size()),
                       MaxPlainRuns)};
    for (const MultipleRunVariable& v : spec.variables)
        if (v.scale != 0 && (!(v.from > 0.0) || !(v.to > 0.0))) {
            const char* name = MultipleRunVariableName(v);
            return {"A logarithmic scale needs bounds above 0:", name ? name : ""};
        }
    return {};
}

void StartMultipleRun()
{
    if (g.plainActive)
        ResetMultipleRun();
    g.recorded = 0;
    switch (MultipleRunSpecs().type) {
    case PlainMultipleRun: startPlainSeries(); break;
    case OptimizationRun: RunOptimization(); break;
    default: RunMonteCarlo(); break;
    }
}

void ResetMultipleRun()
{
    if (!g.plainActive)
        return;
    restoreValues();
    writePlainResults();
    endPlainSeries();
}

void ContinueMultipleRun()
{
    if (!g.plainActive)
        return;
    saveValues(g.spec.copyStates != 0);
    setPlainValues(g.run);
}

void EndRefusedPlainSeries()
{
    if (!g.plainActive)
        return;
    restoreValues();
    endPlainSeries();
}

void StopMultipleRun()
{
    if (g.plainActive) {
        restoreValues();
        endPlainSeries();
    }
    StopOptimization = 1;
}

void MultipleRunEndOfRun()
{
    ++g.finishedRuns;
    if (!g.plainActive)
        return;
    if (InterruptRequested) {
        ShowStatus(FormatText("Multiple run stopped at run %lld of %lld. ", g.run, g.total) + LastRunSummary(), true);
        restoreValues();
        writePlainResults();
        return;
    }
    if (g.spec.hasCriterion() && std::size_t(g.run) < g.criterion.size())
        g.criterion[std::size_t(g.run)] = criterionValue();
    ++g.run;
    if (g.run > g.total) {
        // The runs of a series say nothing of their own: the series tells how it ended.
        ShowStatus(FormatText("Multiple run finished: %lld runs. ", g.total) + LastRunSummary(), true);
        restoreValues();
        writePlainResults();
        endPlainSeries();
        RefreshPlot();
        RedrawPlot(1);
        return;
    }
    setPlainValues(g.run);
    RequestRun();
    ShowStatus(FormatText("Run number : %lld", g.run), false);
}

void EvaluateOptimizationRun(double* value, Matrix* point, int n)
{
    if (InterruptRequested) {
        StopOptimization = 1;
        return;
    }
    if (!g.spec.hasCriterion()) {
        ShowMessage({"Please choose an optimization variable first"});
        StopOptimization = 1;
        return;
    }
    if (g.run == g.maxRuns - 2) {
        if (!ShowConfirm("Cancel", "Ok", {"Maximum number of runs reached", "Continue optimization?"}))
            StopOptimization = 1;
        g.maxRuns += 500;
        growHistories(std::size_t(g.maxRuns) + 1);
    }
    for (int i = 0; i < n && i < int(g.spec.variables.size()); ++i) {
        const MultipleRunVariable& v = g.spec.variables[std::size_t(i)];
        double x = point->At(i);
        if (x <= v.from)
            x = v.from;
        if (x >= v.to)
            x = v.to;
        point->At(i) = x;
        setValue(v, x);
    }
    ++g.run;
    if (!runAndWait()) {
        // A refused or abandoned run gives no value to go on with.
        StopOptimization = 1;
        return;
    }
    recordRun();
    *value = criterionValue();
    ShowStatus(FormatText("run = %d", g.recorded), false);
}

void RunOptimization()
{
    g.spec = MultipleRunSpecs();
    const int n = int(g.spec.variables.size());
    if (n == 0)
        return;
    if (const std::vector<std::string> problem = MultipleRunProblem(g.spec); !problem.empty()) {
        ShowMessageLines(problem);
        return;
    }
    if (!g.spec.hasCriterion()) {
        ShowMessage({"Please choose an optimization variable first"});
        StopOptimization = 1;
        return;
    }
    numerics::SelectOptimizationMethod(g.spec.method);
    g.maxRuns = 500;
    allocateHistories(std::size_t(g.maxRuns) + 1);
    Matrix best(n, 1), x(n, 1), scale(n, 1);
    for (int i = 0; i < n; ++i) {
        const MultipleRunVariable& v = g.spec.variables[std::size_t(i)];
        scale.At(i) = v.to - v.from > 0.0 ? v.to - v.from : 1.0;
        x.At(i) = std::clamp(currentValue(v), std::min(v.from, v.to), std::max(v.from, v.to));
    }
    g.active = true;
    g.optimizing = true;
    SetMultipleRunActive(true);
    g.run = 0;
    g.recorded = 0;
    double bestValue = 0.0;
    numerics::CurrentOptimizationMethod(best, bestValue, EvaluateOptimizationRun, x, scale, g.spec.tolerance, 0.1, n);
    // The model is left at the best point.
    if (!InterruptRequested && !QuitRequested) {
        double value = 0.0;
        const int stop = StopOptimization;
        EvaluateOptimizationRun(&value, &best, n);
        StopOptimization = StopOptimization || stop;
    }
    if (!StopOptimization && modelLoaded()) {
        writeOptimizationResults();
        showOptimum();
    } else {
        ShowStatus(FormatText("Optimization stopped after %d runs.", g.recorded), true);
    }
    endSeries();
}

void RunMonteCarlo()
{
    g.spec = MultipleRunSpecs();
    if (!g.spec.hasCriterion()) {
        ShowMessage({"Please choose an optimization variable first"});
        StopOptimization = 1;
        return;
    }
    if (const std::vector<std::string> problem = MultipleRunProblem(g.spec); !problem.empty()) {
        ShowMessageLines(problem);
        return;
    }
    // A flag left by a stopped optimisation must not end this series after one run.
    StopOptimization = 0;
    allocateHistories(std::size_t(g.spec.steps) + 1);
    g.active = true;
    SetMultipleRunActive(true);
    g.run = 0;
    saveValues(false);
    do {
        for (const MultipleRunVariable& v : g.spec.variables) {
            const int r = std::rand() & 0x7FFF;
            setValue(v, v.from + (double(r) / 32767.0) * (v.to - v.from));
        }
        ++g.run;
        if (!runAndWait()) {
            StopOptimization = 1;
            break;
        }
        recordRun();
        ShowStatus(FormatText("run = %d", g.recorded - 1), false);
    } while (!StopOptimization && g.recorded < g.spec.steps);
    if (!g.spec.variables.empty() && !StopOptimization)
        writeMonteCarloResults();
    else if (StopOptimization)
        ShowStatus(FormatText("Monte Carlo series stopped after %d runs.", g.recorded), true);
    restoreValues();
    endSeries();
}

bool MultipleRunSeriesActive() { return g.plainActive || g.active; }
bool RunWritesMatlabFiles() { return !g.optimizing; }
bool PlainSeriesActive() { return g.plainActive; }
long long CurrentRunNumber() { return g.run; }
bool FirstRunOfSeries() { return !g.plainActive || g.run == 1; }
bool LastRunOfSeries() { return !g.plainActive || g.run == g.total; }
int RecordedRuns() { return g.recorded; }
int MaximumOptimizationRuns() { return g.maxRuns; }

std::string MultipleRunResultDirectory()
{
    return platform::joinPath(platform::joinPath(Startup().WorkingDirectory, Experiment().modelName), "matlab");
}

void InstallMultipleRuns()
{
    MultipleRunHooks& hooks = MultipleRuns();
    hooks.reset = ResetMultipleRun;
    hooks.continueStep = ContinueMultipleRun;
    hooks.start = StartMultipleRun;
    hooks.specified = [] { return MultipleRunSpecs().specified(); };
    hooks.stop = StopMultipleRun;
    hooks.firstRun = FirstRunOfSeries;
    hooks.lastRun = LastRunOfSeries;
    hooks.description = MultipleRunDescription;
    hooks.firstRun = FirstRunOfSeries;
    hooks.lastRun = LastRunOfSeries;
    SetSeriesRunHooks(LastRunOfSeries, MultipleRunEndOfRun, EndRefusedPlainSeries);
    PlotCallbacks().endPlainSeries = ResetMultipleRun;
}
