// The run-specifications editor's logic. Values are shown with 8 significant digits;
// a field converts when its whole text is a finite decimal number.
#include "simulator/run_specs_editor.h"

#include "simulator/entered_numbers.h"
#include "simulator/model_variables.h"
#include "simulator/plot_specs.h"
#include "simulator/simulator_state.h"

#include <cstdio>

namespace {

std::string eightDigits(double value)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.*g", 8, value);
    return text;
}

bool hasField(int row) { return row < RowIgnoreWarnings; }

} // namespace

std::string RunSpecsEditor::title() const
{
    return m_edited ? "SIM: Run Specifications Editor (edited)" : "SIM: Run Specifications Editor";
}

void RunSpecsEditor::markEdited() { m_edited = true; }

void RunSpecsEditor::refresh(bool copyFirst)
{
    if (copyFirst) {
        m_copy = RunSpecs();
        m_timeRangeChanged = false;
    }
    m_start = {eightDigits(m_copy.startTime), true};
    m_finish = {eightDigits(m_copy.finishTime), true};
    for (int r = 0; r < SettingCount; ++r)
        m_fields[std::size_t(r)].text.clear();
    showMethod();
    m_edited = false;
}

void RunSpecsEditor::showMethod()
{
    const auto& rows = m_copy.settings[std::size_t(m_copy.method)];
    for (int r = 0; r < SettingCount; ++r) {
        if (!hasField(r) || rows[r].switchable)
            continue;
        m_fields[std::size_t(r)] = rows[r].inUse ? EditorField{eightDigits(rows[r].value), true} : EditorField{};
    }
    showFlags();
    if (Variables().kinds[KindLoopResult].count == 0)
        m_fields[RowAlgAbsErr] = m_fields[RowAlgRelErr] = EditorField{};
}

void RunSpecsEditor::showFlags()
{
    auto& rows = m_copy.settings[std::size_t(m_copy.method)];
    for (int r = RowInitialStep; r < SettingCount; ++r) {
        m_flags[std::size_t(r)] = rows[r].inUse ? EditorFlagBox{true, rows[r].switchOn != 0} : EditorFlagBox{};
        if (!hasField(r))
            continue;
        EditorField& f = m_fields[std::size_t(r)];
        if (rows[r].inUse && !f.text.empty())
            takeValue(f, rows[r].value); // the text typed while the flag was off is kept
        f = rows[r].inUse ? EditorField{eightDigits(rows[r].value), rows[r].switchOn != 0} : EditorField{};
    }
}

void RunSpecsEditor::fieldChanged(int field, const std::string& text)
{
    EditorField& f = field == -1 ? m_start : field == -2 ? m_finish : m_fields[std::size_t(field)];
    f.text = text;
    if (!m_edited && !text.empty())
        markEdited();
    // Every start or finish edit counts, not only the first change of the editor.
    if (field < 0)
        m_timeRangeChanged = true;
}

bool RunSpecsEditor::takeValue(EditorField& field, double& value)
{
    std::string rest;
    if (!ReadEnteredReal(field.text.substr(0, 40), value, &rest)) {
        m_refusedField = &field == &m_start ? -1 : &field == &m_finish ? -2 : int(&field - m_fields.data());
        ShowEnteredValueError(rest);
        return false;
    }
    return true;
}

bool RunSpecsEditor::rowsConvert()
{
    auto& rows = m_copy.settings[std::size_t(m_copy.method)];
    for (int r = 0; r < RowIgnoreWarnings; ++r) {
        EditorField& f = m_fields[std::size_t(r)];
        if (rows[r].inUse && f.enabled && !takeValue(f, rows[r].value))
            return false;
    }
    return true;
}

bool RunSpecsEditor::changeMethod(int method)
{
    markEdited();
    if (method < 0 || method >= MethodCount || !rowsConvert())
        return false;
    m_copy.method = method;
    for (EditorField& f : m_fields)
        f.text.clear();
    showMethod();
    return true;
}

void RunSpecsEditor::setFlag(int row, bool checked)
{
    if (row < RowInitialStep || row >= SettingCount)
        return;
    markEdited();
    m_copy.row(row).switchOn = checked ? 1 : 0;
    // Only the flag rows are shown again: what was typed in the other fields stays.
    showFlags();
}

int RunSpecsEditor::ok(bool simulating)
{
    if (simulating)
        return 0;
    if (m_edited) {
        if (!rowsConvert() || !takeValue(m_start, m_copy.startTime) || !takeValue(m_finish, m_copy.finishTime))
            return 0;
        RunSpecification& live = RunSpecs();
        live.startTime = m_copy.startTime;
        live.finishTime = m_copy.finishTime;
        live.method = m_copy.method;
        live.processor = m_copy.processor;
        live.storeStates = m_copy.storeStates;
        if (m_timeRangeChanged && PlotSpecs().xIsTime) {
            PlotSpecs().x.min = m_copy.startTime;
            PlotSpecs().x.max = m_copy.finishTime;
            m_timeRangeChanged = false;
        }
        for (int r = 0; r < SettingCount; ++r)
            if (m_copy.row(r).inUse) {
                live.row(r).value = m_copy.row(r).value;
                live.row(r).switchOn = m_copy.row(r).switchOn;
            }
        m_edited = false;
        MarkEdited();
    }
    return 1;
}

int RunSpecsEditor::importFile(const std::string& path)
{
    if (ReadRunSpecFile(path, m_copy) != 0)
        return 0;
    refresh(false);
    markEdited();
    return 1;
}
