// The logic of the run-specifications editor: its own copies of the record and the
// settings, the texts and states of its fields, and applying them to the live record.
#pragma once

#include "simulator/run_specs.h"

#include <array>
#include <string>

/// What one edit field of the editor shows.
struct EditorField {
    std::string text;
    bool enabled = false;
};

/// What one flag box (rows 5 to 9) shows.
struct EditorFlagBox {
    bool enabled = false;
    bool checked = false;
};

class RunSpecsEditor {
public:
    /// Takes the live record (with copy-first) and shows the copies, unedited.
    void refresh(bool copyFirst);
    /// Shows the rows of the copy's method.
    void showMethod();
    /// Shows the flag boxes of the current method and the fields of its flag rows, each
    /// field's text taken back into the copy first; the other fields keep their texts.
    void showFlags();

    /// A field's text changed (rows 0..7; -1 start, -2 finish).
    void fieldChanged(int field, const std::string& text);
    /// A new method chosen in the list; false when the current rows do not convert (the list goes back).
    bool changeMethod(int method);
    /// A flag box of rows 5..9 clicked.
    void setFlag(int row, bool checked);
    /// Applies the copies to the live record; 0 while simulating or when a field does not convert.
    int ok(bool simulating);
    void cancel() { refresh(true); }
    /// Reads another experiment's ".r" file into the copies; 1 when read.
    int importFile(const std::string& path);

    const RunSpecification& copy() const { return m_copy; }
    const EditorField& field(int row) const { return m_fields[std::size_t(row)]; }
    const EditorField& start() const { return m_start; }
    const EditorField& finish() const { return m_finish; }
    const EditorFlagBox& flagBox(int row) const { return m_flags[std::size_t(row)]; }
    bool edited() const { return m_edited; }
    bool timeRangeChanged() const { return m_timeRangeChanged; }
    /// The field whose text did not convert at the last refusal (-1 start, -2 finish, rows 0..7).
    int refusedField() const { return m_refusedField; }
    std::string title() const;

private:
    void markEdited();
    /// Converts a field's text into the value; false (after its message) when characters are left over.
    bool takeValue(EditorField& field, double& value);
    bool rowsConvert();

    RunSpecification m_copy = RunSpecification::defaults();
    std::array<EditorField, SettingCount> m_fields;
    EditorField m_start, m_finish;
    std::array<EditorFlagBox, SettingCount> m_flags;
    bool m_edited = false;
    bool m_timeRangeChanged = false;
    int m_refusedField = 0;
};
