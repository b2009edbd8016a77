// The multiple-run specs in force, their ".mr" file and its description text.
// The file is read line by line; a line yields its items as the C scanner reads them,
// so a name is one word without blanks.
#include "simulator/multiple_runs.h"

#include "common/message_boxes.h"
#include "platform/core/file_system.h"
#include "simulator/model_variables.h"
#include "simulator/numerics/optimization.h"
#include "simulator/simulator_state.h"
#include "simulator/text_format.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <utility>

namespace {

MultipleRunSpec g_spec;

void readingError() { ShowMessage({"Error reading multiple run information"}); }

} // namespace

MultipleRunSpec& MultipleRunSpecs() { return g_spec; }

const std::array<const char*, 8> OptimizationMethodNames = {
    "Broydon Fletcher Goldfarb Shanno", "Davidson Fletcher Powell", "Polack Ribiere", "Newton Raphson",
    "Continuous Descent", "Steepest Descent", "Line Climber", "Perpendicular Search"};

bool SelectMultipleRunMethod(int index)
{
    if (numerics::SelectOptimizationMethod(index))
        return true;
    ShowMessage({"Wrong optimization method"});
    return false;
}

const char* MultipleRunVariableName(const MultipleRunVariable& variable)
{
    if (variable.kind != KindParameter && variable.kind != KindInitial)
        return nullptr;
    return GetVariableName(variable.kind, variable.index, 0);
}

const char* CriterionName(const MultipleRunSpec& spec)
{
    if (!spec.hasCriterion())
        return nullptr;
    return GetVariableName(spec.criterionKind, spec.criterionIndex, spec.criterionElement);
}

std::string MultipleRunFileText(const MultipleRunSpec& spec, const std::string& className)
{
    std::string text = "#Formatver\t4\n#Hclass\t" + className + "\n";
    text += FormatText("%d\t%d\n", spec.steps, spec.copyStates);
    text += FormatText("#Nvariables\t%d\n", int(spec.variables.size()));
    for (const MultipleRunVariable& v : spec.variables) {
        const char* name = MultipleRunVariableName(v);
        text += FormatText("%s\t%d\t%d\t%.14G\t%.14G\t%s\n", name ? name : "", v.kind, v.index, v.from, v.to,
                       v.scale == 0 ? "linear" : "logarithm");
    }
    if (spec.hasCriterion()) {
        const char* name = CriterionName(spec);
        text += FormatText("%d\t%d\t%d\t%s\n", spec.criterionKind, spec.criterionIndex, spec.criterionElement,
                       name ? name : "");
        text += FormatText("%g\n", spec.tolerance);
        text += FormatText("%d\n", spec.type);
        text += FormatText("%d\n", spec.method);
    }
    return text;
}

int WriteMultipleRunFile(const std::string& path)
{
    if (!g_spec.specified()) {
        if (platform::fileExists(path))
            platform::deleteFile(path);
        return 0;
    }
    if (!platform::writeFileAtomically(path, MultipleRunFileText(g_spec, Experiment().modelName))) {
        ShowMessage({"Can not open for writing:", path});
        return -1;
    }
    return 0;
}

int ReadMultipleRunFile(const std::string& path)
{
    const std::optional<std::string> content = platform::readFile(path);
    if (!content) {
        ShowMessage({"Can not open for reading:", path});
        return 0;
    }
    // The file's lines one after the other, without their line ends (LF or CR LF); a line
    // stays as it is through the next call.
    const std::string& text = *content;
    std::size_t at = 0;
    std::array<std::string, 2> held;
    std::size_t turn = 0;
    const auto line = [&]() -> const std::string* {
        if (at >= text.size())
            return nullptr;
        const std::size_t end = std::min(text.find('\n', at), text.size());
        std::string& next = held[turn ^= 1];
        next.assign(text, at, end - at);
        if (!next.empty() && next.back() == '\r')
            next.pop_back();
        at = end + 1;
        return &next;
    };

    // The header names the format and the model; another model's file is refused as a whole.
    {
        const std::string* l1 = line();
        const std::string* l2 = line();
        if (!l1 || !l2)
            return -1;
        std::vector<char> word(l1->size() + 1), name(l2->size() + 1), keyword(l2->size() + 1);
        int version = 0;
        if (std::sscanf(l1->c_str(), "%s %d", word.data(), &version) != 2 || std::strcmp(word.data(), "#Formatver") != 0 ||
            version < 4)
            return -1;
        const int items = std::sscanf(l2->c_str(), "%s %s", keyword.data(), name.data());
        if (items < 1 || std::strcmp(keyword.data(), "#Hclass") != 0)
            return -1;
        if ((items == 2 ? std::string(name.data()) : std::string()) != Experiment().modelName)
            return -1;
    }

    MultipleRunSpec read;
    const std::string* l = line();
    if (!l || std::sscanf(l->c_str(), "%d %d", &read.steps, &read.copyStates) != 2) {
        readingError();
        return 0;
    }
    l = line();
    int count = 0;
    std::vector<char> keyword(l ? l->size() + 1 : 1);
    if (!l || std::sscanf(l->c_str(), "%s %d", keyword.data(), &count) != 2 ||
        std::strcmp(keyword.data(), "#Nvariables") != 0 || count < 0) {
        readingError();
        return 0;
    }
    // The words of a line fit in buffers as long as the line, made once for the longest.
    std::vector<char> name, scale;
    read.variables.reserve(std::min(std::size_t(count), text.size()));
    for (int i = 0; i < count; ++i) {
        l = line();
        if (!l) {
            ShowMessage({"End of multiple run file reached too soon"});
            return 0;
        }
        if (name.size() <= l->size()) {
            name.resize(l->size() + 1);
            scale.resize(l->size() + 1);
        }
        MultipleRunVariable v;
        if (std::sscanf(l->c_str(), "%s %d %d %lg %lg %s", name.data(), &v.kind, &v.index, &v.from, &v.to,
                        scale.data()) != 6) {
            readingError();
            return 0;
        }
        const char* modelName = MultipleRunVariableName(v);
        if (!modelName || std::strcmp(modelName, name.data()) != 0) {
            // The variables before this one are kept.
            ShowMessage({"No matching name for multiple run information :", name.data()});
            read.clearCriterion();
            g_spec = std::move(read);
            return 0;
        }
        v.scale = std::strcmp(scale.data(), "linear") == 0 ? 0 : 1;
        read.variables.push_back(v);
    }

    l = line();
    if (!l) {
        g_spec = std::move(read);
        return 1;
    }
    name.resize(l->size() + 1);
    const int items = std::sscanf(l->c_str(), "%d %d %d %s", &read.criterionKind, &read.criterionIndex,
                                  &read.criterionElement, name.data());
    if (items < 3 || (read.hasCriterion() && items < 4)) {
        readingError();
        return 0;
    }
    if (read.hasCriterion()) {
        const char* modelName = CriterionName(read);
        if (!modelName || std::strcmp(modelName, name.data()) != 0) {
            ShowMessage({"No matching name for multiple run optimization variable :", name.data()});
            read.clearCriterion();
            g_spec = std::move(read);
            return 0;
        }
    } else {
        read.clearCriterion();
    }
    const std::string* tolerance = line();
    const std::string* type = line();
    if (!tolerance || !type || std::sscanf(tolerance->c_str(), "%lg", &read.tolerance) != 1 ||
        std::sscanf(type->c_str(), "%d", &read.type) != 1 || read.type < PlainMultipleRun || read.type > MonteCarloRun) {
        readingError();
        return 0;
    }
    const std::string* method = line();
    if (!method || std::sscanf(method->c_str(), "%d", &read.method) != 1)
        read.method = 0;
    g_spec = std::move(read);
    SelectMultipleRunMethod(g_spec.method);
    return 1;
}

std::vector<std::string> MultipleRunDescription()
{
    const MultipleRunSpec& spec = g_spec;
    std::vector<std::string> lines = {"Multiple Run Specifications:", "============================"};
    const char* criterion = CriterionName(spec);
    const auto criterionLine = [&] {
        if (spec.hasCriterion())
            lines.push_back(FormatText("Optimization Criterium Variable : %s", criterion ? criterion : ""));
    };
    switch (spec.type) {
    case PlainMultipleRun:
        lines.push_back("Multiple Run Type : Plain Multiple Run");
        criterionLine();
        lines.push_back(FormatText("Number Of Steps : %d", spec.steps));
        break;
    case OptimizationRun:
        lines.push_back("Multiple Run Type : Optimization");
        criterionLine();
        lines.push_back(std::string("Opimization Method: ") +
                        (spec.method >= 0 && spec.method < 8 ? OptimizationMethodNames[std::size_t(spec.method)] : ""));
        lines.push_back(FormatText("Optimization tolerance : %g", spec.tolerance));
        break;
    default:
        lines.push_back("Multiple Run Type : Monte Carlo");
        break;
    }
    if (spec.copyStates)
        lines.push_back("The end condition is copied to the begin condition of the next simulation run.");
    if (spec.variables.empty())
        return lines;

    struct Row {
        std::string type, name, from, to, method;
    };
    std::vector<Row> rows;
    int wType = 4, wName = 4, wFrom = 4, wTo = 2;
    for (const MultipleRunVariable& v : spec.variables) {
        const char* name = MultipleRunVariableName(v);
        Row row{v.kind == KindParameter ? "Parameter" : "Initial Condition", name ? name : "", FormatText("%g", v.from),
                FormatText("%g", v.to), v.scale == 0 ? "Linear" : "Logarithm"};
        wType = std::max(wType, int(row.type.size()));
        wName = std::max(wName, int(row.name.size()));
        wFrom = std::max(wFrom, int(row.from.size()));
        wTo = std::max(wTo, int(row.to.size()));
        rows.push_back(row);
    }
    lines.push_back(FormatText("%-*s\t%-*s\t%-*s\t%-*s\tMethod", wType, "Type", wName, "Name", wFrom, "From", wTo, "To"));
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const MultipleRunVariable& v = spec.variables[i];
        lines.push_back(FormatText("%-*s\t%-*s\t%-*g\t%-*g\t%s", wType, rows[i].type.c_str(), wName, rows[i].name.c_str(),
                               wFrom, v.from, wTo, v.to, rows[i].method.c_str()));
    }
    return lines;
}
