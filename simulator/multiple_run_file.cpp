// The multiple-run specs in force, their ".mr" file and its description text.
// The file is read line by line; a line yields its items as words, so a name is one
// word without blanks, and each number must be one of its kind.
#include "simulator/multiple_runs.h"

#include "common/message_boxes.h"
#include "common/number_words.h"
#include "common/text_helpers.h"
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
    // The file's lines one after the other, split into their words (a name is one word).
    const std::string& text = *content;
    std::size_t at = 0;
    int lineNumber = 0;
    std::vector<std::string> words;
    const auto line = [&]() -> const std::vector<std::string>* {
        if (at >= text.size()) {
            words.clear();
            return nullptr;
        }
        const std::size_t end = std::min(text.find('\n', at), text.size());
        words = splitWords(std::string_view(text).substr(at, end - at));
        at = end + 1;
        ++lineNumber;
        return &words;
    };
    // A line without the items it needs, or with an item that is no number of its kind,
    // is reported at that item (at the line's end when it is missing).
    const auto readingError = [&](std::size_t item, const char* reason = nullptr) {
        const std::string* token = item < words.size() ? &words[item] : nullptr;
        ShowMessageLines(ReadErrorLines("Error reading multiple run information", path, lineNumber, token,
                                        token ? reason : nullptr));
        return 0;
    };
    std::size_t bad = 0; // the item that failed
    const auto integers = [&](std::initializer_list<int*> into, std::size_t from = 0) {
        std::size_t item = from;
        for (int* value : into) {
            if (item >= words.size() || !ReadInteger32(words[item], *value)) {
                bad = item;
                return false;
            }
            ++item;
        }
        return true;
    };
    const auto real = [&](std::size_t item, double& value) {
        if (item < words.size() && ReadFiniteReal(words[item], value))
            return true;
        bad = item;
        return false;
    };

    // The header names the format and the model; another model's file is refused as a whole.
    {
        const std::vector<std::string>* l1 = line();
        int version = 0;
        if (!l1 || l1->empty() || l1->front() != "#Formatver")
            return -1;
        if (!integers({&version}, 1))
            return readingError(bad, kIntegerRefusal);
        if (version < 4)
            return -1;
        const std::vector<std::string>* l2 = line();
        if (!l2 || l2->empty() || l2->front() != "#Hclass")
            return -1;
        if ((l2->size() >= 2 ? (*l2)[1] : std::string()) != Experiment().modelName)
            return -1;
    }

    MultipleRunSpec read;
    if (!line() || !integers({&read.steps, &read.copyStates}))
        return readingError(bad, kIntegerRefusal);
    int count = 0;
    if (!line() || words.empty() || words[0] != "#Nvariables")
        return readingError(0);
    if (!integers({&count}, 1) || count < 0)
        return readingError(1, kIntegerRefusal);
    read.variables.reserve(std::min(std::size_t(count), text.size()));
    for (int i = 0; i < count; ++i) {
        if (!line()) {
            ShowMessage({"End of multiple run file reached too soon", path});
            return 0;
        }
        MultipleRunVariable v;
        if (!integers({&v.kind, &v.index}, 1))
            return readingError(bad, kIntegerRefusal);
        if (!real(3, v.from) || !real(4, v.to))
            return readingError(bad, kRealRefusal);
        if (words.size() < 6)
            return readingError(5);
        const char* modelName = MultipleRunVariableName(v);
        if (!modelName || words[0] != modelName) {
            // The variables before this one are kept.
            ShowMessage({"No matching name for multiple run information :", words[0]});
            read.clearCriterion();
            g_spec = std::move(read);
            return 0;
        }
        v.scale = words[5] == "linear" ? 0 : 1;
        read.variables.push_back(v);
    }

    if (!line()) {
        g_spec = std::move(read);
        return 1;
    }
    if (!integers({&read.criterionKind, &read.criterionIndex, &read.criterionElement}))
        return readingError(bad, kIntegerRefusal);
    if (read.hasCriterion()) {
        if (words.size() < 4)
            return readingError(4);
        const char* modelName = CriterionName(read);
        if (!modelName || words[3] != modelName) {
            ShowMessage({"No matching name for multiple run optimization variable :", words[3]});
            read.clearCriterion();
            g_spec = std::move(read);
            return 0;
        }
    } else {
        read.clearCriterion();
    }
    if (!line() || !real(0, read.tolerance))
        return readingError(bad, kRealRefusal);
    if (!line() || !integers({&read.type}))
        return readingError(bad, kIntegerRefusal);
    if (read.type < PlainMultipleRun || read.type > MonteCarloRun)
        return readingError(0);
    read.method = 0;
    if (line() && !words.empty() && !integers({&read.method}))
        return readingError(bad, kIntegerRefusal);
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
