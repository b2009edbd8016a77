// Multiple runs: the specs of a series of runs with changed parameters or
// initial conditions (a plain grid, an optimisation or a Monte Carlo series), its
// ".mr" file, the drivers that run the series and the result files they leave.
#pragma once

#include "simulator/numerics/matrix.h"

#include <array>
#include <string>
#include <vector>

/// A varied parameter (kind 0) or initial condition (kind 1) with its bounds.
struct MultipleRunVariable {
    int kind = 0;
    int index = 0;
    double from = 0.0;
    double to = 0.0;
    int scale = 0;       ///< 0 linear, 1 logarithmic
    double saved = 0.0;  ///< the value before the series
    bool operator==(const MultipleRunVariable& other) const
    {
        return kind == other.kind && index == other.index && from == other.from && to == other.to &&
               scale == other.scale;
    }
};

enum MultipleRunType { PlainMultipleRun = 0, OptimizationRun = 1, MonteCarloRun = 2 };

struct MultipleRunSpec {
    std::vector<MultipleRunVariable> variables;
    int steps = 2;       ///< plain: values per variable; Monte Carlo: number of runs
    int copyStates = 0;  ///< the end state of a run starts the next one
    int criterionKind = -1, criterionIndex = -1, criterionElement = -1;
    double tolerance = 0.01;
    int type = PlainMultipleRun;
    int method = 0;      ///< optimisation method 0..7

    bool hasCriterion() const { return criterionKind >= 0 && criterionIndex >= 0 && criterionElement >= 0; }
    void clearCriterion() { criterionKind = criterionIndex = criterionElement = -1; }
    /// Something to run: variables, or end states copied between runs.
    bool specified() const { return !variables.empty() || copyStates != 0; }
    bool operator==(const MultipleRunSpec& other) const = default;
};

/// The specs in force.
MultipleRunSpec& MultipleRunSpecs();

/// The names of the optimisation methods by index.
extern const std::array<const char*, 8> OptimizationMethodNames;

/// Makes the method of the index current; false (after "Wrong optimization method") for another index.
bool SelectMultipleRunMethod(int index);

/// The model's name of a varied variable (parameter or initial condition), or null.
const char* MultipleRunVariableName(const MultipleRunVariable& variable);
/// The criterion's name, or null when none is set or it vanished.
const char* CriterionName(const MultipleRunSpec& spec);

/// The file's text for the specs.
std::string MultipleRunFileText(const MultipleRunSpec& spec, const std::string& className);
/// Writes the specs in force; deletes the file instead when there is nothing to run.
/// 0, or -1 after "Can not open for writing:".
int WriteMultipleRunFile(const std::string& path);
/// Reads the file into the specs in force: 1 read, 0 after a message, -1 not this model's file.
int ReadMultipleRunFile(const std::string& path);

/// The number of runs of a plain series, steps^count; -1 when it passes `MaxPlainRuns`.
long long PlainRunCount(int steps, int count);
inline constexpr long long MaxPlainRuns = 1000000;

/// The value variable `i` takes in run `run` (1-based) of a plain series.
double PlainRunValue(const MultipleRunSpec& spec, int i, long long run);

/// Why a series cannot start with the specs (empty when it can); the editor refuses the same.
std::vector<std::string> MultipleRunProblem(const MultipleRunSpec& spec);

/// Start Multiple Run Simulation.
void StartMultipleRun();
/// Start Simulation and the clearing of the last run: an active plain series ends with its results.
void ResetMultipleRun();
/// Continue Simulation: the values of the current run are set again.
void ContinueMultipleRun();
/// The program quits: the series ends without starting another run.
void StopMultipleRun();
/// A run of the plain series was refused before it started: the series ends there, its
/// values put back.
void EndRefusedPlainSeries();
/// Called after every finished run: the plain series goes on to its next run.
void MultipleRunEndOfRun();

/// The optimisation over the varied variables with the selected method.
void RunOptimization();
/// The Monte Carlo series.
void RunMonteCarlo();
/// The objective of the optimisation: one complete run at the clamped point.
void EvaluateOptimizationRun(double* value, numerics::Matrix* point, int n);

/// A plain, optimisation or Monte Carlo series is going on.
bool MultipleRunSeriesActive();
/// Whether a run writes the MATLAB files of its curves: not the evaluations of an
/// optimisation, whose results are its own files.
bool RunWritesMatlabFiles();
bool PlainSeriesActive();
/// The run number of the plain series (1-based), or the runs started by the other types.
long long CurrentRunNumber();
/// True outside a plain series, else whether this is its first or its last run.
bool FirstRunOfSeries();
bool LastRunOfSeries();
/// Runs recorded in the histories by the last series.
int RecordedRuns();
/// The largest number of optimisation runs before the question; 500 at the start.
int MaximumOptimizationRuns();

/// The "Multiple Run Specs." section of the experiment description.
std::vector<std::string> MultipleRunDescription();

/// Where the result files go: <working directory>/<model>/matlab.
std::string MultipleRunResultDirectory();

/// Connects the series to the simulator's commands and to the run's end.
void InstallMultipleRuns();
