// Distribution of a sorted class's equations into the four equation sections of
// the processed-model files: initial, inputs, dynamic and outputs.
#pragma once

#include <array>
#include <cstddef>
#include <vector>

struct ClassRec;
struct EquationRec;

enum EquationSection : int {
    SECTION_INITIAL = 0,
    SECTION_INPUTS = 1,
    SECTION_DYNAMIC = 2,
    SECTION_OUTPUTS = 3,
};

/// The equations of each section, in their sorted order.
using EquationSections = std::array<std::vector<EquationRec*>, 4>;

/// "#EInitial", "#Einputs", "#Edynamic", "#Eoutputs".
const char* equationSectionHeader(int section);

/// Distributes the class's equations (which may rewrite references to copied
/// variables); misuse of ran or dly is reported through the error hook when `report`.
/// `stable` is set when distributing the list again, once re-linked as these sections, is known
/// to give the same sections; cleared when it might not.
/// The list is read in stretches of `stretch` equations (0: as many as suit), each in `parts`
/// parts by threads of their own (0: as many as suit its length), so that what is read of the
/// equations is held for a stretch at a time. `order`, when given, holds the list's equations in
/// list order.
EquationSections distributeEquations(ClassRec* cls, bool report, bool* stable = nullptr, std::size_t parts = 0,
                                     const std::vector<EquationRec*>* order = nullptr, std::size_t stretch = 0);
/// As above with the list's equations in list order in `order`, whose room the dynamic section
/// takes over; `order` is left empty.
EquationSections distributeEquations(ClassRec* cls, bool report, bool* stable, std::vector<EquationRec*>&& order,
                                     std::size_t parts = 0, std::size_t stretch = 0);

/// Re-links the class's equation list as initial, inputs, dynamic, outputs.
void relinkEquations(ClassRec* cls, const EquationSections& sections);
