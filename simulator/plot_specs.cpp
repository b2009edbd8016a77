// The plot specifications and their ".u" file. The C-code generator reads the file
// word by word: "#Oxaxis" with "#Otime" or a name, min, max and scaling; then per
// curve "#Oyaxis", the file flag, the name, min, max, five integers and the label.
#include "simulator/plot_specs.h"

#include "common/message_boxes.h"
#include "common/number_words.h"
#include "platform/core/file_system.h"
#include "simulator/experiment_scanner.h"
#include "simulator/model_variables.h"
#include "simulator/plot_buffers.h"
#include "simulator/run_specs.h"
#include "simulator/run_state.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

PlotSpecification g_specs;

const char* const Heading = "While reading Plot or Stick specifications:";

std::string formatG(double value)
{
    char text[64];
    std::snprintf(text, sizeof text, "%G", value);
    return text;
}

bool isEnd(const ScannedToken& t) { return t.kind == ExperimentToken::EndOfLine || t.kind == ExperimentToken::EndOfFile; }

} // namespace

PlotSpecification& PlotSpecs() { return g_specs; }

void ResetPlotSpecs(PlotSpecification& specs)
{
    specs = PlotSpecification{};
    specs.xIsTime = 1;
    SetTimeAxisRange(specs);
    for (int i = 0; i < CurveCount; ++i) {
        specs.curves[i].index = i;
        specs.curves[i].scaling = FreshCurveScaling;
    }
    if (&specs == &g_specs)
        DiscardAllPlotRuns();
}

void SetTimeAxisRange(PlotSpecification& specs)
{
    specs.x.min = RunSpecs().startTime;
    specs.x.max = RunSpecs().finishTime == 0.0 ? 5.0 : RunSpecs().finishTime;
}

bool FindPlotVariable(const std::string& name, int& kind, int& variable, int& nameIndex)
{
    for (int k : PlotKinds)
        for (int v = 0; v < Variables().kinds[k].count; ++v) {
            const int n = FindNameInEntry(k, v, name.c_str());
            if (n >= 0) {
                kind = k;
                variable = v;
                nameIndex = n;
                return true;
            }
        }
    return false;
}

const char* PlotCurveName(const PlotCurve& curve)
{
    return curve.hasVariable() ? GetVariableName(curve.kind, curve.variable, curve.nameIndex) : nullptr;
}

void DefaultPlotCurves(PlotSpecification& specs)
{
    int next = 0;
    for (int k : PlotKinds)
        for (int v = 0; v < Variables().kinds[k].count; ++v) {
            const auto* names = GetVariableNames(k, v);
            for (int n = 0; names && n < int(names->size()); ++n) {
                const std::string& name = (*names)[std::size_t(n)];
                const std::size_t quote = name.find('`');
                if (name.size() > 4 && quote != std::string::npos && name.compare(quote, std::string::npos, "`PLOT") == 0) {
                    if (next >= CurveCount)
                        return;
                    PlotCurve& c = specs.curves[next++];
                    c.kind = k;
                    c.variable = v;
                    c.nameIndex = n;
                    c.display = 1;
                }
            }
        }
}

void CountPlotCurves(PlotSpecification& specs)
{
    specs.displayed = specs.stored = specs.matlabCount = 0;
    for (const PlotCurve& c : specs.curves)
        if (c.hasVariable() || c.fromFile) {
            specs.displayed += c.display != 0;
            specs.stored += c.store != 0;
            specs.matlabCount += c.matlab != 0;
        }
}

std::string PlotSpecFileText(const PlotSpecification& specs, const std::string& className)
{
    std::string out = "#Formatver\t3\n#Hclass\t" + className + "\n#Oxaxis\t";
    const char* xName = specs.xIsTime ? nullptr : PlotCurveName(specs.x);
    out += xName ? xName : "#Otime";
    out += "\t" + formatG(specs.x.min) + "\t" + formatG(specs.x.max) + "\t" + std::to_string(specs.x.scaling) + "\n";
    for (const PlotCurve& c : specs.curves) {
        const bool plottable = std::find(PlotKinds.begin(), PlotKinds.end(), c.kind) != PlotKinds.end();
        const char* name = c.fromFile ? c.fileName.c_str() : plottable ? PlotCurveName(c) : nullptr;
        if (!name || !*name)
            continue; // a curve that cannot be named could not be read back
        std::string label = c.label;
        std::replace(label.begin(), label.end(), ' ', '_');
        char numbers[128];
        std::snprintf(numbers, sizeof numbers, "\t%d\t%d\t%d\t%d\t%d\t", c.index, c.display, c.store, c.scaling, c.matlab);
        out += "#Oyaxis\t" + std::to_string(c.fromFile ? 1 : 0) + "\t" + name + "\t" + formatG(c.min) + "\t" +
               formatG(c.max) + numbers + label + "\n";
    }
    return out;
}

int WritePlotSpecs(const std::string& path, const std::string& className)
{
    if (!platform::writeFileAtomically(path, PlotSpecFileText(g_specs, className))) {
        ShowMessage({"Can not open for writing:", path});
        return -1;
    }
    return 0;
}

int ReadPlotSpecs(const std::string& path, PlotSpecification& target)
{
    const std::optional<std::string> text = platform::readFile(path);
    if (!text) {
        ShowMessage({"Can not open for reading:", path});
        return -1;
    }
    ResetPlotSpecs(target);
    ExperimentScanner scanner(*text);
    int unknown = 0;
    std::string firstUnknown;
    ScannedToken offending;
    const char* reason = nullptr;
    double number = 0.0;
    auto fail = [&](const ScannedToken& t, const char* why = nullptr) {
        offending = t;
        reason = why;
        return false;
    };
    auto numberAt = [&](double& value) {
        const ScannedToken& t = scanner.next();
        return (t.kind == ExperimentToken::Word && ReadFiniteReal(t.text, value)) || fail(t, kRealRefusal);
    };
    auto integerAt = [&](int& value) {
        const ScannedToken& t = scanner.next();
        return (t.kind == ExperimentToken::Word && ReadInteger32(t.text, value)) || fail(t, kIntegerRefusal);
    };
    auto lookUp = [&](const std::string& name, PlotCurve& into) {
        if (FindPlotVariable(name, into.kind, into.variable, into.nameIndex))
            return true;
        if (unknown++ == 0)
            firstUnknown = name.substr(0, 20);
        return false;
    };
    int version = 0;
    bool good = scanner.peek().text == "#Formatver" ? (scanner.next(), true) : fail(scanner.next());
    good = good && integerAt(version);
    good = good && (isEnd(scanner.peek()) ? (scanner.next(), true) : fail(scanner.next()));
    good = good && (scanner.peek().text == "#Hclass" ? (scanner.next(), true) : fail(scanner.next()));
    if (good && scanner.peek().kind == ExperimentToken::Word)
        scanner.next();
    good = good && (scanner.peek().kind == ExperimentToken::EndOfLine ? (scanner.next(), true) : fail(scanner.next()));
    int curve = 0;
    while (good && scanner.peek().kind != ExperimentToken::EndOfFile) {
        const ScannedToken key = scanner.next();
        if (key.text == "#Oxaxis") {
            const ScannedToken what = scanner.next();
            PlotCurve x = target.x;
            bool known = true;
            if (what.text == "#Otime") {
                target.xIsTime = 1;
            } else if (what.kind == ExperimentToken::Word) {
                known = lookUp(what.text, x);
                while (scanner.peek().kind == ExperimentToken::Word && !WordIsNumber(scanner.peek().text, number))
                    scanner.next();
            } else {
                good = fail(what);
                break;
            }
            x.scaling = 0;
            good = numberAt(x.min) && numberAt(x.max) && (version < 2 || integerAt(x.scaling));
            if (good && known) {
                target.x = x;
                target.xIsTime = what.text == "#Otime";
            }
        } else if (key.text == "#Oyaxis") {
            if (curve >= CurveCount) {
                good = fail(key);
                break;
            }
            PlotCurve c;
            c.index = curve;
            if (version >= 2 && !integerAt(c.fromFile)) {
                good = false;
                break;
            }
            const ScannedToken name = scanner.next();
            if (name.kind != ExperimentToken::Word) {
                good = fail(name);
                break;
            }
            bool known = true;
            if (c.fromFile)
                c.fileName = name.text;
            else
                known = lookUp(name.text, c);
            int ignoredIndex = 0;
            good = numberAt(c.min) && numberAt(c.max) && integerAt(ignoredIndex) && integerAt(c.display) &&
                   integerAt(c.store) && (version < 2 || (integerAt(c.scaling) && integerAt(c.matlab)));
            if (!good)
                break;
            if (!known)
                c.matlab = 0;
            if (version >= 2) {
                if (c.matlab) {
                    // One word as it stands; an empty label (the writer's own output) is accepted.
                    if (scanner.peek().kind == ExperimentToken::Word)
                        c.label = scanner.next().text;
                } else if (scanner.peek().kind == ExperimentToken::Word) {
                    while (!isEnd(scanner.peek()))
                        c.label += scanner.next().text;
                    std::replace(c.label.begin(), c.label.end(), '_', ' ');
                }
            }
            if (known)
                target.curves[curve] = c;
            ++curve;
        } else {
            good = fail(key);
            break;
        }
        if (good) {
            const ScannedToken end = scanner.next();
            if (!isEnd(end))
                good = fail(end);
        }
    }
    if (!good)
        ReportSpecSyntaxError(Heading, path, offending, reason);
    if (unknown > 0) {
        char line[128];
        std::snprintf(line, sizeof line, "warning: %d variable-name combination%s not in model%s", unknown,
                      unknown == 1 ? "" : "s", unknown == 1 ? ":" : ";");
        std::vector<std::string> lines = {Heading, line};
        if (unknown > 1)
            lines.emplace_back("first name is");
        lines.push_back(firstUnknown);
        ShowMessageLines(lines);
    }
    CountPlotCurves(target);
    if (&target == &g_specs)
        Plot().specsChanged = 1;
    return good ? 0 : -1;
}

bool CheckPlotSpecs(PlotSpecification& specs, bool askWhenNothingShown)
{
    if (specs.x.scaling != 2 && specs.x.min >= specs.x.max) {
        ShowMessage({"Xaxis specification's scale min >= scale max."});
        return false;
    }
    for (int i = 0; i < CurveCount; ++i) {
        PlotCurve& c = specs.curves[i];
        if (!c.hasVariable() && !c.fromFile) {
            c.display = c.store = c.matlab = 0;
            continue;
        }
        if (c.display && c.scaling != 2 && c.min >= c.max) {
            const char* name = c.fromFile ? c.fileName.c_str() : PlotCurveName(c);
            char line[96];
            std::snprintf(line, sizeof line, "spec. %c, named '%.30s'.", 'A' + i, name ? name : "");
            if (ShowConfirm("Cancel", "Ignore this specification", {"Yaxis specification's scale min >= scale max,", line}))
                return false;
            c.display = 0;
        }
    }
    CountPlotCurves(specs);
    if (askWhenNothingShown && specs.displayed == 0 && specs.stored == 0 && specs.matlabCount == 0)
        return !ShowConfirm("Ok", "Cancel",
                            {"No plot specification with display or store switched on.", "Simulation is useless.",
                             "Press Cancel to simulate anyway."});
    return true;
}
