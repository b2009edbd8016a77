// The plot-specification editor's logic. A curve is validated when it is left: its
// range must be numbers, a file curve needs a file name, a curve with neither a
// variable nor a file goes back to the defaults.
#include "simulator/output_specs_editor.h"

#include "common/message_boxes.h"
#include "simulator/entered_numbers.h"
#include "platform/core/file_system.h"
#include "simulator/plot_buffers.h"
#include "simulator/plot_drawing.h"
#include "simulator/run_specs.h"
#include "simulator/simulator_state.h"

#include <cstdio>

namespace {

std::string formatG(double value)
{
    char text[64];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

PlotCurve defaultCurve(int index)
{
    PlotCurve c;
    c.index = index;
    c.scaling = FreshCurveScaling;
    return c;
}

bool sameVariable(const PlotCurve& a, const PlotCurve& b)
{
    return a.kind == b.kind && a.variable == b.variable && a.nameIndex == b.nameIndex && a.fromFile == b.fromFile &&
           a.fileName == b.fileName;
}

} // namespace

std::string OutputSpecsEditor::typeText(const PlotCurve& curve)
{
    if (curve.fromFile)
        return "File";
    switch (curve.kind) {
    case 4: return "Var    ";
    case 5: return "State  ";
    case 6: return "Rate   ";
    case 8: return "Alg.lp ";
    case 9: return "Dep.St ";
    case 10: return "Dep.Rt ";
    default: return "??";
    }
}

std::string OutputSpecsEditor::row(int i) const
{
    const PlotCurve& c = m_copy.curves[std::size_t(i)];
    if (!c.hasVariable() && !c.fromFile)
        return ".\t.\t.\t.\t.";
    const char* name = c.fromFile ? c.fileName.c_str() : PlotCurveName(c);
    return std::string(1, char('A' + i)) + "\t" + typeText(c) + "\t" + (name ? name : "") + "\t" +
           (c.display ? "On" : "Off") + "\t" + (c.store ? "On" : "Off");
}

std::string OutputSpecsEditor::caption() const { return "SIM: Plot Specifications Editor"; }

void OutputSpecsEditor::open()
{
    m_copy = PlotSpecs();
    m_xWasTime = m_copy.xIsTime != 0;
    m_edited = false;
    showX();
    showCurve(0);
}

void OutputSpecsEditor::showX()
{
    xRange = {formatG(m_copy.x.min), formatG(m_copy.x.max)};
}

void OutputSpecsEditor::showCurve(int i)
{
    m_selected = i;
    const PlotCurve& c = m_copy.curves[std::size_t(i)];
    curveRange = {formatG(c.min), formatG(c.max)};
    fileName = c.fileName;
    label = c.label;
}

std::string OutputSpecsEditor::xName() const
{
    if (m_copy.xIsTime || !m_copy.x.hasVariable())
        return {};
    const char* name = PlotCurveName(m_copy.x);
    return name ? name : "";
}

void OutputSpecsEditor::setXIsTime(bool time)
{
    if (time == (m_copy.xIsTime != 0))
        return;
    markEdited();
    m_copy.xIsTime = time ? 1 : 0;
    if (time) {
        xRange = {formatG(RunSpecs().startTime), formatG(RunSpecs().finishTime)};
        m_copy.x.scaling = 0;
    } else {
        xRange = {"0", "1"};
    }
}

void OutputSpecsEditor::setXScaling(int scaling)
{
    markEdited();
    m_copy.x.scaling = m_copy.xIsTime ? 0 : scaling;
}

void OutputSpecsEditor::chooseX(int kind, int variable, int nameIndex)
{
    markEdited();
    m_copy.xIsTime = 0;
    m_copy.x.kind = kind;
    m_copy.x.variable = variable;
    m_copy.x.nameIndex = nameIndex;
}

bool OutputSpecsEditor::takeRange(const RangeFields& fields, double& min, double& max, Field from)
{
    double values[2];
    const std::string* texts[2] = {&fields.from, &fields.to};
    for (int k = 0; k < 2; ++k) {
        std::string rest;
        if (!ReadEnteredReal(*texts[k], values[k], &rest)) {
            m_refused = Field(from + k);
            ShowEnteredValueError(rest);
            return false;
        }
    }
    min = values[0];
    max = values[1];
    return true;
}

bool OutputSpecsEditor::leaveCurve()
{
    PlotCurve& c = m_copy.curves[std::size_t(m_selected)];
    double min = c.min, max = c.max;
    if (!takeRange(curveRange, min, max, CurveFrom))
        return false;
    if (c.fromFile && fileName.empty()) {
        m_refused = FileName;
        ShowMessage({"Empty string is not valid as name.", "Try again..."});
        return false;
    }
    c.min = min;
    c.max = max;
    c.fileName = fileName;
    if (!c.hasVariable() && !c.fromFile) {
        c = defaultCurve(m_selected);
        return true;
    }
    c.label = label;
    return true;
}

bool OutputSpecsEditor::selectCurve(int i)
{
    if (i < 0 || i >= CurveCount)
        return false;
    if (!leaveCurve())
        return false;
    showCurve(i);
    return true;
}

void OutputSpecsEditor::chooseY(int kind, int variable, int nameIndex)
{
    markEdited();
    PlotCurve& c = m_copy.curves[std::size_t(m_selected)];
    c.kind = kind;
    c.variable = variable;
    c.nameIndex = nameIndex;
    c.fromFile = 0;
    c.display = 1;
    if (m_selected + 1 < CurveCount)
        selectCurve(m_selected + 1);
}

void OutputSpecsEditor::clearCurve()
{
    markEdited();
    m_copy.curves[std::size_t(m_selected)] = defaultCurve(m_selected);
    showCurve(m_selected);
}

void OutputSpecsEditor::setDisplay(bool on)
{
    markEdited();
    m_copy.curves[std::size_t(m_selected)].display = on ? 1 : 0;
}

void OutputSpecsEditor::setStore(bool on)
{
    markEdited();
    m_copy.curves[std::size_t(m_selected)].store = on ? 1 : 0;
}

void OutputSpecsEditor::setFromFile(bool on)
{
    markEdited();
    m_copy.curves[std::size_t(m_selected)].fromFile = on ? 1 : 0;
}

void OutputSpecsEditor::setMatlab(bool on)
{
    markEdited();
    m_copy.curves[std::size_t(m_selected)].matlab = on ? 1 : 0;
}

void OutputSpecsEditor::setCurveScaling(int scaling)
{
    markEdited();
    m_copy.curves[std::size_t(m_selected)].scaling = scaling;
}

int OutputSpecsEditor::accept(bool simulating)
{
    if (simulating)
        return 0;
    // Nothing to take over: the live specification may have moved on meanwhile (a new
    // time range), and the experiment is as it was.
    if (!m_edited)
        return 1;
    if (!m_copy.xIsTime && !m_copy.x.hasVariable()) {
        m_refused = XName;
        ShowMessage({"No name for X-Axis specified.", "Press the X-Axis Name... button to select a name."});
        return 0;
    }
    if (!takeRange(xRange, m_copy.x.min, m_copy.x.max, XFrom) || !leaveCurve())
        return 0;
    PlotSpecification& live = PlotSpecs();
    if (live.xIsTime != m_copy.xIsTime || (!m_copy.xIsTime && !sameVariable(live.x, m_copy.x))) {
        // No kept run was made against the new X axis.
        DiscardCurrentRun();
        DiscardEarlierRuns();
    }
    for (int i = 0; i < CurveCount; ++i)
        if (!sameVariable(live.curves[std::size_t(i)], m_copy.curves[std::size_t(i)]))
            DiscardCurveRuns(i);
    live.xIsTime = m_copy.xIsTime;
    live.x = m_copy.x;
    live.curves = m_copy.curves;
    m_edited = false;
    CountPlotCurves(live);
    Plot().specsChanged = 1;
    const bool xChanged = m_xWasTime != (live.xIsTime != 0);
    m_xWasTime = live.xIsTime != 0;
    MarkEdited();
    RedrawPlot(xChanged ? 0 : 1);
    return 1;
}

int OutputSpecsEditor::importFile(const std::string& path)
{
    if (!platform::fileExists(path)) {
        ShowMessage({"Can not open for reading:", path});
        return -1;
    }
    // What was read before a syntax error stays in the copy, as on loading.
    const int read = ReadPlotSpecs(path, m_copy);
    markEdited();
    showX();
    showCurve(m_selected);
    return read;
}
