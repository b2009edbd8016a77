// The multiple-run editor's logic. A logarithmic scale is refused for bounds at or
// below zero, where it would give runs with values that are not numbers.
#include "simulator/multiple_run_editor.h"

#include "common/message_boxes.h"
#include "simulator/entered_numbers.h"
#include "simulator/model_variables.h"
#include "simulator/simulator_state.h"

#include <climits>
#include <cmath>
#include <cstdio>

namespace {

std::string formatG(double value)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.14G", value);
    return text;
}

std::string fieldText(const MultipleRunSpec& spec)
{
    char text[64];
    if (spec.type == OptimizationRun)
        std::snprintf(text, sizeof text, "%g", spec.tolerance);
    else
        std::snprintf(text, sizeof text, "%d", spec.steps);
    return text;
}

} // namespace

void MultipleRunEditor::open()
{
    m_spec = MultipleRunSpecs();
    m_selected = m_spec.variables.empty() ? -1 : 0;
    field = fieldText(m_spec);
    showLine();
    m_edited = false;
}

std::string MultipleRunEditor::line(int i) const
{
    const MultipleRunVariable& v = m_spec.variables[std::size_t(i)];
    const char* name = MultipleRunVariableName(v);
    char text[512];
    std::snprintf(text, sizeof text, "%.*s\t: %s", 16, v.kind == KindParameter ? "Parameter" : "Init. Condition.",
                  name ? name : "");
    return text;
}

std::string MultipleRunEditor::caption() const { return "SIM: Multiple Run Editor"; }

std::string MultipleRunEditor::fieldLabel() const { return m_spec.type == OptimizationRun ? "tolerance:" : "steps:"; }

bool MultipleRunEditor::readField()
{
    double value = 0.0;
    std::string rest;
    bool read = ReadEnteredReal(field, value, &rest);
    // Steps are counted in decimal digits, so a whole real ("1e2") is a count as well.
    if (read && m_spec.type != OptimizationRun && !(value == std::trunc(value) && std::fabs(value) <= INT_MAX)) {
        read = false;
        rest = field;
    }
    if (!read) {
        m_refused = StepsField;
        ShowEnteredValueError(rest);
        return false;
    }
    if (m_spec.type == OptimizationRun)
        m_spec.tolerance = value;
    else
        m_spec.steps = int(value);
    return true;
}

bool MultipleRunEditor::setType(int type)
{
    if (type < PlainMultipleRun || type > MonteCarloRun || type == m_spec.type)
        return true;
    // The field's text of the old type is read before the label changes.
    if (!readField())
        return false;
    m_spec.type = type;
    field = fieldText(m_spec);
    markEdited();
    return true;
}

void MultipleRunEditor::setCopyStates(bool on)
{
    m_spec.copyStates = on ? 1 : 0;
    markEdited();
}

void MultipleRunEditor::setMethod(int method)
{
    m_spec.method = method;
    markEdited();
}

void MultipleRunEditor::chooseCriterion(int kind, int variable, int namePosition)
{
    m_spec.criterionKind = kind;
    m_spec.criterionIndex = variable;
    m_spec.criterionElement = namePosition;
    markEdited();
}

void MultipleRunEditor::showLine()
{
    if (m_selected < 0 || m_selected >= int(m_spec.variables.size())) {
        minText.clear();
        maxText.clear();
        scale = 0;
        return;
    }
    const MultipleRunVariable& v = m_spec.variables[std::size_t(m_selected)];
    minText = formatG(v.from);
    maxText = formatG(v.to);
    scale = v.scale;
}

bool MultipleRunEditor::leaveLine()
{
    if (m_selected < 0 || m_selected >= int(m_spec.variables.size()))
        return true;
    MultipleRunVariable& v = m_spec.variables[std::size_t(m_selected)];
    double from = v.from, to = v.to;
    if (!ReadEnteredReal(minText, from)) {
        m_refused = MinField;
        ShowMessage({"Error in reading \"from\" value"});
        return false;
    }
    if (!ReadEnteredReal(maxText, to)) {
        m_refused = MaxField;
        ShowMessage({"Error in reading \"to\" value"});
        return false;
    }
    if (scale != 0 && (!(from > 0.0) || !(to > 0.0))) {
        m_refused = from > 0.0 ? MaxField : MinField;
        const char* name = MultipleRunVariableName(v);
        ShowMessage({"A logarithmic scale needs bounds above 0:", name ? name : ""});
        return false;
    }
    v.from = from;
    v.to = to;
    v.scale = scale != 0 ? 1 : 0;
    return true;
}

bool MultipleRunEditor::selectLine(int i)
{
    if (!leaveLine())
        return false;
    m_selected = i >= 0 && i < int(m_spec.variables.size()) ? i : -1;
    showLine();
    return true;
}

bool MultipleRunEditor::addVariable(int kind, int index)
{
    for (const MultipleRunVariable& v : m_spec.variables)
        if (v.kind == kind && v.index == index) {
            ShowMessage({"You already selected this variable,", "choose another one !"});
            return false;
        }
    if (!leaveLine())
        return false;
    MultipleRunVariable v;
    v.kind = kind;
    v.index = index;
    const VariableKind& k = Variables().kinds[std::size_t(kind)];
    if (k.values && index >= 0 && index < k.count && index < int(k.hasValue.size()) && k.hasValue[std::size_t(index)])
        v.from = v.to = k.values[index];
    m_spec.variables.push_back(v);
    m_selected = int(m_spec.variables.size()) - 1;
    showLine();
    markEdited();
    return true;
}

void MultipleRunEditor::clearName()
{
    if (m_selected < 0 || m_selected >= int(m_spec.variables.size()))
        return;
    m_spec.variables.erase(m_spec.variables.begin() + m_selected);
    if (m_selected >= int(m_spec.variables.size()))
        m_selected = int(m_spec.variables.size()) - 1;
    showLine();
    markEdited();
}

bool MultipleRunEditor::ok()
{
    if (!leaveLine() || !readField())
        return false;
    field = fieldText(m_spec);
    const bool changed = !(MultipleRunSpecs() == m_spec);
    MultipleRunSpecs() = m_spec;
    m_edited = false;
    if (m_spec.type == OptimizationRun)
        SelectMultipleRunMethod(m_spec.method);
    if (changed)
        MarkEdited();
    return true;
}

void MultipleRunEditor::cancel()
{
    open();
}
