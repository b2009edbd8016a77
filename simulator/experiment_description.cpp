// The experiment description. Columns are separated by tabs; a padded column is as
// wide as its longest entry plus one.
#include "simulator/experiment_description.h"

#include "simulator/model_variables.h"
#include "simulator/plot_specs.h"
#include "simulator/run_specs.h"
#include "simulator/simulator_commands.h"
#include "simulator/simulator_state.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>

namespace {

std::string printed(const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    va_list again;
    va_copy(again, arguments);
    const int length = std::vsnprintf(nullptr, 0, format, arguments);
    va_end(arguments);
    std::string text(std::size_t(std::max(length, 0)) + 1, '\0');
    std::vsnprintf(text.data(), text.size(), format, again);
    va_end(again);
    text.resize(std::size_t(std::max(length, 0)));
    return text;
}

std::string gText(double value) { return printed("%g", value); }

std::string orUntitled(const std::string& name) { return name.empty() ? "untitled" : name; }

/// The run specifications section's rows: label and value text.
std::vector<std::pair<std::string, std::string>> runSpecRows()
{
    const RunSpecification& specs = RunSpecs();
    std::vector<std::pair<std::string, std::string>> rows;
    rows.emplace_back("Integration Method", IntegrationMethods[std::size_t(specs.method)].name);
    rows.emplace_back("Start Time", gText(specs.startTime));
    rows.emplace_back("Finish Time", gText(specs.finishTime));
    const bool loops = Variables().kinds[KindLoopResult].count > 0;
    for (int r = 0; r < SettingCount; ++r) {
        if (!specs.given(r))
            continue;
        if ((r == RowAlgAbsErr || r == RowAlgRelErr) && !loops)
            continue;
        rows.emplace_back(SettingDescriptions[std::size_t(r)], gText(specs.row(r).value));
    }
    return rows;
}

void writeRunSpecifications(std::vector<std::string>& lines)
{
    lines.insert(lines.end(), {"", "Run Specifications:", "===================", ""});
    const auto rows = runSpecRows();
    int width = 0;
    for (const auto& row : rows)
        width = std::max(width, int(row.first.size()));
    for (const auto& [label, value] : rows)
        lines.push_back(printed("%-*s\t%s", width, label.c_str(), value.c_str()));
    lines.emplace_back();
}

/// A curve's name as the description lists it: its variable's, or its data file's.
std::string curveName(const PlotCurve& curve)
{
    if (curve.fromFile)
        return curve.fileName;
    const char* name = PlotCurveName(curve);
    return name ? name : "";
}

void writePlotSpecifications(std::vector<std::string>& lines)
{
    const PlotSpecification& specs = PlotSpecs();
    lines.insert(lines.end(), {"", "Plot Specifications:", "====================", ""});
    const std::string xName = specs.xIsTime ? "Time" : curveName(specs.x);
    std::vector<const PlotCurve*> curves;
    for (const PlotCurve& c : specs.curves)
        if (c.hasVariable() || c.fromFile)
            curves.push_back(&c);
    int nameWidth = int(xName.size());
    int minWidth = int(gText(specs.x.min).size());
    for (const PlotCurve* c : curves) {
        nameWidth = std::max(nameWidth, int(curveName(*c).size()));
        minWidth = std::max(minWidth, int(gText(c->min).size()));
    }
    ++nameWidth;
    ++minWidth;
    lines.push_back(printed("X-Axis\t%-*s\t%-*g\t%g", nameWidth, xName.c_str(), minWidth, specs.x.min, specs.x.max));
    for (const PlotCurve* c : curves)
        lines.push_back(printed("%c%s\t%-*s\t%-*g\t%g", 'A' + c->index, c->display ? "" : " (Off)", nameWidth,
                                curveName(*c).c_str(), minWidth, c->min, c->max));
}

} // namespace

void WriteVariableSection(std::vector<std::string>& lines, int kind, const std::string& heading)
{
    lines.emplace_back();
    lines.push_back(heading);
    lines.push_back(std::string(heading.size(), '='));
    lines.emplace_back();
    const VariableKind& k = Variables().kinds[std::size_t(kind)];
    int width = 0;
    for (int i = 0; i < k.count; ++i)
        width = std::max(width, int(FormatVariableName(2048, kind, i, 0).size()));
    ++width;
    if (k.count == 0 || !k.values)
        lines.emplace_back();
    for (int i = 0; i < k.count && k.values; ++i) {
        const std::string name = FormatVariableName(2048, kind, i, 0);
        const double value = k.values[i];
        switch (GetVariableType(kind, i)) {
        case TypeInteger:
            // A value beyond the range of int is shown as it stands, not converted.
            if (std::fabs(value) < 2147483648.0)
                lines.push_back(printed("%-*s\t%d", width, name.c_str(), int(std::trunc(value))));
            else
                lines.push_back(printed("%-*s\t%.0f", width, name.c_str(), std::trunc(value)));
            break;
        case TypeBoolean:
            lines.push_back(printed("%-*s\t%s", width, name.c_str(), std::trunc(value) != 0 ? "TRUE" : "FALSE"));
            break;
        case TypeString: {
            const std::string* text = StringOfValue(value);
            lines.push_back(printed("%-*s\t%s", width, name.c_str(), text ? text->c_str() : ""));
            break;
        }
        default:
            lines.push_back(printed("%-*s\t%g", width, name.c_str(), value));
            break;
        }
    }
    lines.emplace_back();
}

std::vector<std::string> WriteExperimentDescription(const DescriptionSections& sections, std::time_t now)
{
    std::vector<std::string> lines = {"Orvanta Experiment Description", "===============================", ""};
    const ExperimentRecord& e = Experiment();
    lines.push_back("Model:\t\t" + orUntitled(e.modelName));
    lines.push_back("Experiment:\t" + orUntitled(e.experimentName));
    lines.emplace_back();
    std::tm local{};
    localtime_r(&now, &local);
    char date[32], time[32];
    std::strftime(date, sizeof date, "%m/%d/%y", &local);
    std::strftime(time, sizeof time, "%H:%M:%S", &local);
    lines.push_back(std::string("Date:\t\t") + date);
    lines.push_back(std::string("Time:\t\t") + time);
    lines.emplace_back();
    lines.push_back(printed("Version:\t%s %s %s", "PC Version", "2.3", ""));
    lines.emplace_back();
    if (sections.parameters)
        WriteVariableSection(lines, KindParameter, "Parameters:");
    if (sections.initialConditions)
        WriteVariableSection(lines, KindInitial, "Initial Conditions:");
    if (sections.runSpecifications)
        writeRunSpecifications(lines);
    if (sections.multipleRuns && MultipleRuns().description) {
        const std::vector<std::string> text = MultipleRuns().description();
        lines.insert(lines.end(), text.begin(), text.end());
    }
    if (sections.plotSpecifications)
        writePlotSpecifications(lines);
    return lines;
}

std::string DescriptionClipboardText(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines)
        text += line + "\r\n";
    return text;
}

int DescriptionLinesPerPage(int pageHeight, int lineHeight)
{
    if (lineHeight <= 0)
        return 1;
    return std::max(pageHeight / lineHeight - 1, 1);
}

std::vector<int> DescriptionPageStarts(int lineCount, int linesPerPage)
{
    std::vector<int> starts;
    const int perPage = std::max(linesPerPage, 1);
    for (int next = 0; next == 0 || next < lineCount; next += perPage)
        starts.push_back(next);
    return starts;
}
