// The dynamic variables chooser's logic.
#include "simulator/dynamic_vars_chooser.h"

#include "simulator/model_variables.h"
#include "simulator/run_state.h"

#include <algorithm>

int ChooserTypeOfKind(int kind)
{
    const auto it = std::find(ChooserKinds.begin(), ChooserKinds.end(), kind);
    return it == ChooserKinds.end() ? 0 : int(it - ChooserKinds.begin());
}

void DynamicVarsChooser::fill()
{
    if (m_filled)
        return;
    ShowStatus("Updating Dynamic Variables Chooser...", false);
    for (std::size_t type = 0; type < ChooserKinds.size(); ++type) {
        std::vector<ChooserLine>& lines = m_lines[type];
        lines.clear();
        const int kind = ChooserKinds[type];
        for (int v = 0; v < Variables().kinds[std::size_t(kind)].count; ++v) {
            const std::vector<std::string>* names = GetVariableNames(kind, v);
            if (!names)
                continue;
            for (int n = 0; n < int(names->size()); ++n)
                lines.push_back({(*names)[std::size_t(n)], v * 65536 + n});
        }
        m_selected[type] = std::clamp(m_selected[type], 0, std::max(0, int(lines.size()) - 1));
    }
    ShowStatus("", false);
    m_filled = true;
}

void DynamicVarsChooser::clear()
{
    m_openingType = 0;
    m_openingLine = 0;
    for (auto& lines : m_lines)
        lines.clear();
    m_selected.fill(0);
    m_type = 0;
    m_filled = false;
}

void DynamicVarsChooser::open(int kind, int line, DynamicVarsCallback callback)
{
    fill();
    m_type = ChooserTypeOfKind(kind);
    m_openingType = m_type;
    m_openingLine = line;
    m_selected.fill(0);
    const int count = int(m_lines[std::size_t(m_type)].size());
    m_selected[std::size_t(m_type)] = count == 0 ? 0 : std::clamp(line, 0, count - 1);
    m_callback = std::move(callback);
    m_changed = true;
}

void DynamicVarsChooser::chooseType(int type)
{
    if (type < 0 || type >= int(ChooserKinds.size()))
        return;
    m_type = type;
    m_changed = true;
}

void DynamicVarsChooser::selectLine(int line)
{
    const int count = int(m_lines[std::size_t(m_type)].size());
    if (line < 0 || line >= count)
        return;
    m_selected[std::size_t(m_type)] = line;
    m_changed = true;
}

std::string DynamicVarsChooser::selectedName() const
{
    const auto& lines = m_lines[std::size_t(m_type)];
    const int line = m_selected[std::size_t(m_type)];
    return line >= 0 && line < int(lines.size()) ? lines[std::size_t(line)].text : std::string();
}

bool DynamicVarsChooser::apply()
{
    const auto& lines = m_lines[std::size_t(m_type)];
    int& line = m_selected[std::size_t(m_type)];
    bool handed = false;
    if (m_changed && m_callback && !lines.empty() && line >= 0 && line < int(lines.size())) {
        const ChooserLine& chosen = lines[std::size_t(line)];
        m_changed = false;
        handed = true;
        // The callback may open the chooser again for its next item: take a copy first.
        const DynamicVarsCallback callback = m_callback;
        callback(ChooserKinds[std::size_t(m_type)], chosen.data / 65536, chosen.data % 65536, std::string(chosen.text));
    }
    if (line + 1 < int(lines.size())) {
        ++line;
        m_changed = true;
    }
    return handed;
}

void DynamicVarsChooser::close()
{
    m_type = m_openingType;
    m_selected[std::size_t(m_type)] = m_openingLine;
    m_changed = false;
}
