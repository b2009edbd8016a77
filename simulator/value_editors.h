// The logic of the parameter and initial-condition editors: a working copy of the
// kind's values with their list lines, the value typed for the selected entry, and
// applying the copy to the model's values.
#pragma once

#include "simulator/parameter_file.h"

#include <string>
#include <vector>

/// One variable of the working copy.
struct ValueEntry {
    std::string name;
    int type = 0;       ///< the type code (parameters); Real for initial conditions
    int hasValue = 0;
    double value = 0.0;
    std::string text;   ///< the value of a String parameter
};

class ValueEditor {
public:
    /// kind 0 parameters, 1 initial conditions.
    explicit ValueEditor(int kind) : m_kind(kind) {}

    int kind() const { return m_kind; }
    bool parameters() const { return m_kind == 0; }

    /// Rebuilds the working copy from the model's values; entry 0 becomes current, unedited.
    void refresh();
    /// Empties the working copy, unedited, and takes every value of the kind out of the
    /// experiment (a new model or experiment gives none until it is read or typed).
    void reset();
    const std::vector<ValueEntry>& entries() const { return m_entries; }
    /// The list line of entry i.
    std::string line(int i) const;
    /// The value as the edit field shows it; empty without a value.
    std::string editText(int i) const;
    /// The value as the list shows it; "." without a value.
    std::string valueText(int i) const;
    /// A model parameter is of the SampleTime type.
    bool hasSampleTime() const;

    /// The entry shown in the edit field (-1 none) and making another one current.
    int current() const { return m_current; }
    void setCurrent(int i)
    {
        m_current = i < int(m_entries.size()) ? i : -1;
        m_typed = false;
    }

    /// The user changed the edit's text: the editor is edited from now on, and the text
    /// is the current entry's value to store.
    void typed();
    bool edited() const { return m_edited; }
    bool typedSinceShown() const { return m_typed; }
    std::string caption() const;

    /// Stores the edit's text into the current entry when the user typed it (a value
    /// only shown is not read back); false (after its message) when characters are left
    /// after the value. With `sameSampleTime` every SampleTime entry
    /// takes a SampleTime value. The changed entries' indices go to `changed`.
    bool store(const std::string& text, bool sameSampleTime, std::vector<int>* changed = nullptr);

    /// Apply and OK: while simulating nothing (false); else when edited the edit is stored
    /// and every entry copied into the model's values. A refused value stays out, the editor
    /// edited with the text still to be stored; the parameters take their other entries all
    /// the same, the initial conditions nothing. False when the edit was refused (or simulating).
    bool apply(const std::string& text, bool simulating, bool sameSampleTime);

    /// Takes a read buffer of another experiment: entries the file does not name lose their value.
    void importValues(const std::vector<ParameterValue>& values);
    /// States: every initial condition takes its state's value; false (after its message)
    /// when the counts differ.
    bool copyStates();

private:
    int m_kind;
    std::vector<ValueEntry> m_entries;
    int m_current = -1;
    bool m_edited = false;
    bool m_typed = false;
};

/// The parameter editor's and the initial-condition editor's logic of this program.
ValueEditor& ParametersEditorLogic();
ValueEditor& InitialConditionsEditorLogic();
