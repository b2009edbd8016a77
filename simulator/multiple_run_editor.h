// The logic of the multiple-run editor: the specs being edited, its list of
// varied variables, the fields of the selected one, and OK and Cancel.
#pragma once

#include "simulator/multiple_runs.h"

#include <string>
#include <vector>

class MultipleRunEditor {
public:
    /// Copies the specs in force into the edited copy.
    void open();
    const MultipleRunSpec& spec() const { return m_spec; }

    /// The list line of variable i: the kind word cut to 16 characters, a tab, ": " and the name.
    std::string line(int i) const;
    int selected() const { return m_selected; }

    /// Another type; false (the type kept) when the field of the old one is refused.
    bool setType(int type);
    void setCopyStates(bool on);
    void setMethod(int method);
    /// The criterion from the dynamic variables chooser.
    void chooseCriterion(int kind, int variable, int namePosition);
    /// The label of the field ("steps:" or "tolerance:") and its text.
    std::string fieldLabel() const;
    std::string field;

    /// Adds a parameter (kind 0) or initial condition (kind 1); false after a message when
    /// it is in the list already.
    bool addVariable(int kind, int index);
    /// Clear Name: the selected variable leaves the list.
    void clearName();
    /// Leaves the selected line (its fields read) and selects line i; false when refused.
    bool selectLine(int i);
    /// Min, Max and Method (0 linear, else logarithmic) of the selected line.
    std::string minText, maxText;
    int scale = 0;

    void markEdited() { m_edited = true; }
    bool edited() const { return m_edited; }
    std::string caption() const;

    /// OK: the edited specs are put in force; false when a field is refused.
    bool ok();
    /// The fields a refusal names: Min, Max, and the steps or the tolerance.
    enum Field { MinField, MaxField, StepsField };
    Field refusedField() const { return m_refused; }
    /// Cancel: the specs in force come back.
    void cancel();

private:
    void showLine();
    bool leaveLine();
    /// Takes the steps (a whole number) or the tolerance from the field; false after its
    /// message when the text is not one.
    bool readField();

    MultipleRunSpec m_spec;
    int m_selected = -1;
    bool m_edited = false;
    Field m_refused = MinField;
};
