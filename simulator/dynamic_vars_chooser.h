// The logic of the dynamic variables chooser: the names of the loaded model's
// variables by type, the selection of each type, and handing the chosen variable to
// the editor that opened the chooser.
#pragma once

#include <array>
#include <functional>
#include <string>
#include <vector>

/// The chosen variable: its kind, index, the position of the chosen name among its
/// names, and that name.
using DynamicVarsCallback = std::function<void(int kind, int variable, int namePosition, const std::string& name)>;

/// The kinds of the six types: variables, states, rates, algebraic loops, dependent
/// states, dependent rates.
inline constexpr std::array<int, 6> ChooserKinds = {4, 5, 6, 8, 9, 10};

/// The type of a kind; 0 for a kind outside the table.
int ChooserTypeOfKind(int kind);

/// One line of a type's list: a name and (variable index x 65536 + name position).
struct ChooserLine {
    std::string text;
    int data = 0;
};

class DynamicVarsChooser {
public:
    /// Builds the lists for the loaded model (nothing when they are built already).
    void fill();
    /// A new model: lists emptied, opening selection type 0, line 0.
    void clear();
    bool filled() const { return m_filled; }

    /// Opens for a caller: starts at the kind's type with the line selected.
    void open(int kind, int line, DynamicVarsCallback callback);

    const std::vector<ChooserLine>& lines(int type) const { return m_lines[std::size_t(type)]; }
    int currentType() const { return m_type; }
    int selectedLine(int type) const { return m_selected[std::size_t(type)]; }
    bool changed() const { return m_changed; }

    /// A type's radio button.
    void chooseType(int type);
    /// A line of the current type's list.
    void selectLine(int line);
    /// The selected line's name; empty when the list is empty.
    std::string selectedName() const;

    /// Apply (and OK before it closes): hands a new selection over once, then moves to the
    /// next line; true when the callback was called.
    bool apply();
    /// Close: the type and line given at opening come back.
    void close();

private:
    std::array<std::vector<ChooserLine>, 6> m_lines;
    std::array<int, 6> m_selected{};
    int m_type = 0;
    int m_openingType = 0;
    int m_openingLine = 0;
    bool m_changed = true;
    bool m_filled = false;
    DynamicVarsCallback m_callback;
};
