// The logic of the plot-specification editor: its own copy of the X record, the 26
// curves and the X-is-time flag, the texts of its fields, and accepting the copy as
// the live specification.
#pragma once

#include "simulator/plot_specs.h"

#include <string>

/// The texts of the From and To fields.
struct RangeFields {
    std::string from;
    std::string to;
};

class OutputSpecsEditor {
public:
    /// Copies the live specification; curve 0 selected, unedited.
    void open();
    const PlotSpecification& copy() const { return m_copy; }

    /// The list row of curve i: letter, type, name, display and store.
    std::string row(int i) const;
    /// "Var    ", "State  ", ... for the curve's kind, "File" for a file curve, else "??".
    static std::string typeText(const PlotCurve& curve);

    // The X axis.
    void setXIsTime(bool time);
    void setXScaling(int scaling);
    void chooseX(int kind, int variable, int nameIndex);
    /// The X variable's name; empty for time or while none is chosen.
    std::string xName() const;
    RangeFields xRange;

    // The selected curve.
    int selected() const { return m_selected; }
    /// Leaves the selected curve (validated) and shows curve i; false when leaving is refused.
    bool selectCurve(int i);
    /// A Y variable chosen: the curve shows it, displayed, and the next curve is selected.
    void chooseY(int kind, int variable, int nameIndex);
    void clearCurve();
    void setDisplay(bool on);
    void setStore(bool on);
    void setFromFile(bool on);
    void setMatlab(bool on);
    void setCurveScaling(int scaling);
    const PlotCurve& curve() const { return m_copy.curves[std::size_t(m_selected)]; }
    RangeFields curveRange;
    std::string fileName;
    std::string label;

    /// Any field changed by the user.
    void markEdited() { m_edited = true; }
    bool edited() const { return m_edited; }
    std::string caption() const;

    /// OK: nothing while simulating; else the checks and the copy made the live one (an
    /// unedited copy leaves the live one and the experiment as they are). 1 when accepted.
    int accept(bool simulating);
    /// Reads another experiment's file into the copy; 0, or -1 after the reader's message.
    int importFile(const std::string& path);

    /// The fields a refusal names.
    enum Field { XFrom, XTo, CurveFrom, CurveTo, FileName, XName };
    /// The field that was refused last.
    Field refusedField() const { return m_refused; }

private:
    void showCurve(int i);
    void showX();
    /// Validates the fields of the selected curve into the copy; false after its message.
    bool leaveCurve();
    /// Both ends of a range; `from` names the field of its first end, the next one its second.
    bool takeRange(const RangeFields& fields, double& min, double& max, Field from);

    PlotSpecification m_copy;
    int m_selected = 0;
    bool m_edited = false;
    bool m_xWasTime = true;
    Field m_refused = XFrom;
};
