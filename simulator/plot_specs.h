// The plot specifications: what the X axis shows and which variable or data file
// each of the curves "A" to "Z" shows, with the ".u" file and the check before a run.
#pragma once

#include <array>
#include <string>

inline constexpr int CurveCount = 26;

/// One axis record: the X axis or one curve.
struct PlotCurve {
    int kind = 0;        ///< kind of `ModelVariables` (4, 5, 6, 8, 9, 10); 0 for none
    int variable = 0;
    int nameIndex = 0;
    int fromFile = 0;    ///< the curve shows data read from `fileName`
    std::string fileName;
    double min = 0.0;
    double max = 1.0;
    int index = 0;       ///< letter number 0..25
    int display = 0;
    int store = 0;
    int scaling = 0;     ///< 0 manual, 1 post, 2 auto
    int matlab = 0;
    std::string label;

    bool hasVariable() const { return kind >= 1; }
};

struct PlotSpecification {
    int xIsTime = 1;
    PlotCurve x;
    std::array<PlotCurve, CurveCount> curves;
    int displayed = 0;
    int stored = 0;
    int matlabCount = 0;
};

/// A fresh curve is scaled when its run ends; a time axis keeps its run's range.
inline constexpr int FreshCurveScaling = 1;

/// Set while a plot shows the plot specs, so that a run checks them first.
inline int PlotSpecsInForce = 0;

/// The plot specs in force in this process.
PlotSpecification& PlotSpecs();

/// X axis time over the run's time range; every curve empty and scaled when its run ends.
void ResetPlotSpecs(PlotSpecification& specs);
/// The X scale spans the run's start to finish time (to 5 when the finish time is 0).
void SetTimeAxisRange(PlotSpecification& specs);
/// After a model load: the names ending in "`PLOT" fill the curves in order.
void DefaultPlotCurves(PlotSpecification& specs);
/// Recounts the displayed, stored and MATLAB curves.
void CountPlotCurves(PlotSpecification& specs);

/// The kinds a curve may show, in the order names are looked up.
inline constexpr std::array<int, 6> PlotKinds = {4, 5, 6, 8, 9, 10};
/// Finds a name among the plottable kinds; false when the model has none of that name.
bool FindPlotVariable(const std::string& name, int& kind, int& variable, int& nameIndex);
/// The variable's name as the plot shows it, or null when it vanished.
const char* PlotCurveName(const PlotCurve& curve);

std::string PlotSpecFileText(const PlotSpecification& specs, const std::string& className);
/// Writes the plot specs in force atomically; 0, or -1 after "Can not open for writing:".
int WritePlotSpecs(const std::string& path, const std::string& className);
/// Reads the file into the target (reset first); 0, or -1 after its message.
int ReadPlotSpecs(const std::string& path, PlotSpecification& target);

/// The check before a run; false refuses it (after its message or question). A run that
/// would show and store nothing is asked about only when `askWhenNothingShown`.
bool CheckPlotSpecs(PlotSpecification& specs, bool askWhenNothingShown = true);
