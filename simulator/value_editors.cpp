// The parameter and initial-condition editors' logic. Integers and Booleans are read
// with the base their prefix names (0x hexadecimal, a leading 0 octal), reals as
// decimal numbers; a text with characters left after its value, or whose number does
// not fit what it is kept in, is refused.
#include "simulator/value_editors.h"

#include "common/message_boxes.h"
#include "simulator/entered_numbers.h"
#include "simulator/model_variables.h"
#include "simulator/run_state.h"
#include "simulator/simulator_state.h"
#include "simulator/text_format.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>

namespace {

int truncated(double value)
{
    if (std::isnan(value))
        return 0;
    return int(std::clamp(std::trunc(value), double(INT_MIN), double(INT_MAX)));
}

bool integerType(int type) { return type == TypeInteger || type == TypeBoolean; }

} // namespace

void ValueEditor::refresh()
{
    ShowStatus(parameters() ? "Updating Parameters Editor..." : "Updating Initial Conditions Editor...", false);
    m_entries.clear();
    const VariableKind& k = Variables().kinds[std::size_t(m_kind)];
    for (int i = 0; i < k.count; ++i) {
        ValueEntry e;
        e.name = FormatVariableName(2048, m_kind, i, 0);
        e.type = parameters() ? GetVariableType(m_kind, i) : TypeReal;
        e.hasValue = i < int(k.hasValue.size()) ? k.hasValue[std::size_t(i)] : 0;
        if (e.hasValue && k.values) {
            e.value = k.values[i];
            if (e.type == TypeString)
                if (const std::string* text = StringOfValue(e.value))
                    e.text = *text;
        }
        m_entries.push_back(std::move(e));
    }
    m_current = m_entries.empty() ? -1 : 0;
    m_edited = false;
    m_typed = false;
    ShowStatus("", false);
}

void ValueEditor::reset()
{
    m_entries.clear();
    m_current = -1;
    m_edited = false;
    m_typed = false;
    std::vector<int>& given = Variables().kinds[std::size_t(m_kind)].hasValue;
    std::fill(given.begin(), given.end(), 0);
}

std::string ValueEditor::valueText(int i) const
{
    const ValueEntry& e = m_entries[std::size_t(i)];
    if (!e.hasValue)
        return ".";
    if (!parameters())
        return FormatText("%.15g", e.value);
    switch (e.type) {
    case TypeInteger: return FormatText("%.*d", 8, truncated(e.value));
    case TypeBoolean: return FormatText("%.*s", 8, e.value != 0.0 ? "TRUE" : "FALSE");
    case TypeString: return e.text;
    default: return FormatText("%.15g", e.value);
    }
}

std::string ValueEditor::editText(int i) const
{
    if (i < 0 || i >= int(m_entries.size()) || !m_entries[std::size_t(i)].hasValue)
        return {};
    return valueText(i);
}

std::string ValueEditor::line(int i) const
{
    const ValueEntry& e = m_entries[std::size_t(i)];
    if (!parameters())
        return FormatText("%.*s\t%s", 38, e.name.c_str(), valueText(i).c_str());
    const int type = e.type >= 0 && e.type < int(TypeWords.size()) ? e.type : 0;
    return FormatText("%.*s\t%s\t%s", 27, e.name.c_str(), TypeWords[std::size_t(type)], valueText(i).c_str());
}

bool ValueEditor::hasSampleTime() const
{
    return std::any_of(m_entries.begin(), m_entries.end(), [](const ValueEntry& e) { return e.type == TypeSampleTime; });
}

void ValueEditor::typed()
{
    m_edited = true;
    m_typed = true;
}

std::string ValueEditor::caption() const
{
    return parameters() ? "SIM: Parameters Editor" : "SIM: Initial Conditions Editor";
}

bool ValueEditor::store(const std::string& fullText, bool sameSampleTime, std::vector<int>* changed)
{
    // Shown texts are not the typed form: "00000016" would read back as octal 14.
    if (m_current < 0 || m_current >= int(m_entries.size()) || !m_typed)
        return true;
    ValueEntry& e = m_entries[std::size_t(m_current)];
    const std::string text = fullText.substr(0, parameters() ? 280 : 39);
    if (changed)
        changed->push_back(m_current);
    if (text.empty()) {
        e.hasValue = 0;
        m_typed = false;
        return true;
    }
    double value = 0.0;
    if (e.type == TypeString) {
        e.text = text;
        e.hasValue = 1;
        m_typed = false;
        return true;
    }
    std::string rest;
    long long integer = 0;
    const bool read = integerType(e.type) ? ReadEnteredInteger(text, integer, &rest) : ReadEnteredReal(text, value, &rest);
    if (!read) {
        if (changed)
            changed->pop_back();
        ShowEnteredValueError(rest);
        return false;
    }
    if (integerType(e.type))
        value = double(integer);
    e.value = value;
    e.hasValue = 1;
    m_typed = false;
    if (parameters() && e.type == TypeSampleTime && sameSampleTime)
        for (int i = 0; i < int(m_entries.size()); ++i)
            if (i != m_current && m_entries[std::size_t(i)].type == TypeSampleTime) {
                m_entries[std::size_t(i)].value = value;
                m_entries[std::size_t(i)].hasValue = 1;
                if (changed)
                    changed->push_back(i);
            }
    return true;
}

bool ValueEditor::apply(const std::string& text, bool simulating, bool sameSampleTime)
{
    if (simulating)
        return false;
    if (!m_edited)
        return true;
    // A wrong value is kept out, with its text still to be stored, so that the user can try
    // again: the parameters take the other entries all the same, the initial conditions none.
    const bool stored = store(text, sameSampleTime);
    if (!stored && !parameters())
        return false;
    VariableKind& k = Variables().kinds[std::size_t(m_kind)];
    bool changed = false;
    for (int i = 0; i < int(m_entries.size()) && i < k.count; ++i) {
        const ValueEntry& e = m_entries[std::size_t(i)];
        if (std::size_t(i) < k.hasValue.size()) {
            changed |= k.hasValue[std::size_t(i)] != e.hasValue;
            k.hasValue[std::size_t(i)] = e.hasValue;
        }
        if (!e.hasValue || !k.values)
            continue;
        if (e.type == TypeString) {
            const std::string* old = StringOfValue(k.values[i]);
            changed |= !old || *old != e.text;
            SetStringValue(k.values[i], e.text);
        } else {
            changed |= k.values[i] != e.value;
            k.values[i] = e.value;
        }
    }
    if (stored)
        m_edited = false;
    if (stored || changed)
        MarkEdited();
    return stored;
}

void ValueEditor::importValues(const std::vector<ParameterValue>& values)
{
    for (std::size_t i = 0; i < m_entries.size(); ++i) {
        ValueEntry& e = m_entries[i];
        const ParameterValue v = i < values.size() ? values[i] : ParameterValue{};
        e.hasValue = v.hasValue;
        e.value = v.value;
        e.text = v.isText ? v.text : std::string();
    }
    m_edited = true;
    setCurrent(m_entries.empty() ? -1 : 0);
}

bool ValueEditor::copyStates()
{
    const VariableKind& states = Variables().kinds[KindState];
    if (parameters() || int(m_entries.size()) != states.count) {
        ShowMessage({"Bug: number of states is not equal to number of initial conditions, no copy."});
        return false;
    }
    for (int i = 0; i < states.count; ++i) {
        m_entries[std::size_t(i)].value = states.values ? states.values[i] : 0.0;
        m_entries[std::size_t(i)].hasValue = 1;
    }
    m_edited = true;
    setCurrent(m_entries.empty() ? -1 : 0);
    return true;
}

ValueEditor& ParametersEditorLogic()
{
    static ValueEditor editor(KindParameter);
    return editor;
}

ValueEditor& InitialConditionsEditorLogic()
{
    static ValueEditor editor(KindInitial);
    return editor;
}
