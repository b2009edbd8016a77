// The numerical values logic over the plot's run slots. A step is looked up only
// below the smaller of the X record's and the curve's value counts, and a scale of no
// width counts as a width of 1 when a click is measured.
#include "simulator/numeric_values.h"

#include "simulator/model_variables.h"
#include "simulator/plot_buffers.h"
#include "simulator/plot_drawing.h"
#include "simulator/plot_specs.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

const char* const NumericFindTexts[6] = {"global maximum",         "global minimum",         "next local maximum",
                                         "next local minimum",     "previous local maximum", "previous local minimum"};

namespace {

const RunSlot& xSlot(int slot) { return XRuns().slot[std::size_t(slot)]; }
const RunSlot& curveSlot(int curve, int slot) { return CurveRuns(curve).slot[std::size_t(slot)]; }

/// The values of a curve in a slot that have an X value beside them.
int pairedCount(int curve, int slot)
{
    return std::min(xSlot(slot).count(), curveSlot(curve, slot).count());
}

std::string displayName(const PlotCurve& c)
{
    if (!c.label.empty())
        return c.label;
    if (c.fromFile)
        return c.fileName;
    const char* name = GetVariableName(c.kind, c.variable, c.nameIndex);
    return name ? name : "No Name";
}

/// The width of a scale, 1 where it has none.
double width(double min, double max)
{
    const double w = max - min;
    return std::isfinite(w) && w != 0.0 ? w : 1.0;
}

} // namespace

int NumericValues::stepCount() const { return m_slot >= 0 && m_slot < RunSlotCount ? xSlot(m_slot).count() : 0; }

bool NumericValues::update()
{
    const PlotSpecification& specs = PlotSpecs();
    m_entries.clear();
    const bool anyDisplayed =
        std::any_of(specs.curves.begin(), specs.curves.end(), [](const PlotCurve& c) { return c.display != 0; });
    if (anyDisplayed && m_slot >= 0 && m_slot < RunSlotCount && xSlot(m_slot).count() > 0) {
        m_step = std::clamp(m_step, 0, xSlot(m_slot).count() - 1);
        m_x = xSlot(m_slot).values()[m_step];
        bool selectedShown = false;
        for (int c = 0; c < CurveCount; ++c) {
            const PlotCurve& curve = specs.curves[std::size_t(c)];
            const RunSlot& values = curveSlot(c, m_slot);
            if (!curve.display || !values.holdsBuffer() || values.count() <= m_step)
                continue;
            if (c == m_curve && int(m_entries.size()) == m_entry)
                selectedShown = true;
            m_entries.push_back({c, displayName(curve), values.values()[m_step]});
        }
        if (!m_entries.empty()) {
            if (!selectedShown || m_entry >= int(m_entries.size())) {
                m_entry = 0;
                m_curve = m_entries[0].curve;
            }
            m_available = true;
            MoveCursorToSample(m_step, m_curve, m_slot);
            return true;
        }
    }
    m_entries.clear();
    m_slot = m_step = m_entry = m_curve = 0;
    if (m_available)
        ShowCursor(0);
    m_available = false;
    return false;
}

std::vector<std::string> NumericValues::lines() const
{
    std::vector<std::string> lines;
    for (const NumericEntry& e : m_entries) {
        char text[128];
        std::snprintf(text, sizeof text, "%c %.*s\t%g", char('A' + e.curve), 24, e.name.c_str(), e.value);
        lines.push_back(text);
    }
    return lines;
}

int NumericValues::runNumber() const
{
    int older = 0;
    for (int s = m_slot + 1; s < RunSlotCount; ++s)
        if (xSlot(s).count() > 0)
            ++older;
    return older + 1;
}

void NumericValues::setStep(int step)
{
    m_step = step;
    update();
}

void NumericValues::selectEntry(int entry)
{
    if (entry < 0 || entry >= int(m_entries.size()))
        return;
    m_entry = entry;
    m_curve = m_entries[std::size_t(entry)].curve;
    update();
}

void NumericValues::find(int choice)
{
    if (!m_available || !curveSlot(m_curve, m_slot).holdsBuffer()) {
        update();
        return;
    }
    const double* v = curveSlot(m_curve, m_slot).values();
    const int n = pairedCount(m_curve, m_slot);
    const int s = m_step;
    const bool maximum = choice == FindGlobalMax || choice == FindNextMax || choice == FindPreviousMax;
    const auto beyond = [maximum](double a, double b) { return maximum ? a > b : a < b; };
    const auto extreme = [&](int j) { return beyond(v[j], v[j - 1]) && beyond(v[j], v[j + 1]); };
    switch (choice) {
    case FindGlobalMax:
    case FindGlobalMin: {
        int best = 0;
        for (int j = 1; j < n; ++j)
            if (beyond(v[j], v[best]))
                best = j;
        if (n > 0)
            m_step = best;
        break;
    }
    case FindNextMax:
    case FindNextMin:
        if (s < n - 3)
            for (int j = s + 1; j < n - 1; ++j)
                if (extreme(j)) {
                    m_step = j;
                    break;
                }
        break;
    default:
        if (s >= 3)
            for (int j = std::min(s, n) - 1; j >= 1; --j)
                if (j + 1 < n && extreme(j)) {
                    m_step = j;
                    break;
                }
        break;
    }
    update();
}

bool NumericValues::pickNearest(double x, double y)
{
    if (!m_available)
        return false;
    const PlotSpecification& specs = PlotSpecs();
    const double xWidth = width(specs.x.min, specs.x.max);
    double best = 1.5;
    int bestSlot = -1, bestStep = 0, bestEntry = 0;
    // Ties keep the point met first: newer slots, then lower steps, then earlier curves.
    for (int s = 0; s < RunSlotCount; ++s) {
        const RunSlot& xs = xSlot(s);
        for (int i = 0; i < xs.count(); ++i)
            for (int e = 0; e < int(m_entries.size()); ++e) {
                const int c = m_entries[std::size_t(e)].curve;
                const PlotCurve& curve = specs.curves[std::size_t(c)];
                const RunSlot& cs = curveSlot(c, s);
                if (!cs.holdsBuffer() || i >= cs.count())
                    continue;
                const double dx = x - (xs.values()[i] - specs.x.min) / xWidth;
                const double dy = y - (cs.values()[i] - curve.min) / width(curve.min, curve.max);
                const double d = dx * dx + dy * dy;
                if (d < best) {
                    best = d;
                    bestSlot = s;
                    bestStep = i;
                    bestEntry = e;
                }
            }
    }
    if (bestSlot < 0 || (bestSlot == m_slot && bestStep == m_step && bestEntry == m_entry))
        return false;
    m_slot = bestSlot;
    m_step = bestStep;
    m_entry = bestEntry;
    m_curve = m_entries[std::size_t(bestEntry)].curve;
    update();
    return true;
}

void NumericValues::stepBy(int delta)
{
    if (delta == 0 || stepCount() == 0)
        return;
    m_step = std::clamp(m_step + delta, 0, stepCount() - 1);
    update();
}

void NumericValues::nextCurve()
{
    if (m_entries.empty())
        return;
    m_entry = m_entry + 1 >= int(m_entries.size()) ? 0 : m_entry + 1;
    m_curve = m_entries[std::size_t(m_entry)].curve;
    update();
}

void NumericValues::changeRun(int delta)
{
    const int slot = m_slot + delta;
    if (slot >= 0 && slot < RunSlotCount && xSlot(slot).count() > 0)
        m_slot = slot;
    update();
}
