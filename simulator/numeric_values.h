// The logic of the numerical values dialog: for one output step of one stored run,
// the X value and the value of every displayed curve, moves through steps, curves and
// runs, the searches for extremes, and picking the point nearest to a click.
#pragma once

#include <string>
#include <vector>

/// One listed curve.
struct NumericEntry {
    int curve = 0;
    std::string name;
    double value = 0.0;
};

/// The find choices, in the order of the combo box.
enum NumericFind { FindGlobalMax, FindGlobalMin, FindNextMax, FindNextMin, FindPreviousMax, FindPreviousMin };
extern const char* const NumericFindTexts[6];

class NumericValues {
public:
    /// Recomputes what is shown for the selection; false (all reset) when there is nothing.
    bool update();
    bool available() const { return m_available; }

    int slot() const { return m_slot; }
    int step() const { return m_step; }
    int entry() const { return m_entry; }
    int curve() const { return m_curve; }
    const std::vector<NumericEntry>& entries() const { return m_entries; }
    /// The list lines "%c %.*s\t%g".
    std::vector<std::string> lines() const;
    double xValue() const { return m_x; }
    /// 1 for the oldest stored run.
    int runNumber() const;
    /// Values in the X record's selected slot.
    int stepCount() const;

    void setStep(int step);
    void selectEntry(int entry);
    void find(int choice);
    /// A click at fractions of the plot area (x from the left, y from the bottom, as the plot
    /// and its cursor measure them); true when
    /// the selection moved.
    bool pickNearest(double x, double y);
    void stepBy(int delta);
    void nextCurve();
    void changeRun(int delta);

private:
    int m_slot = 0;
    int m_step = 0;
    int m_entry = 0;
    int m_curve = 0;
    bool m_available = false;
    double m_x = 0.0;
    std::vector<NumericEntry> m_entries;
};
