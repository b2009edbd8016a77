// Building blocks of equation collection: slot checks, the dimensions an index list
// selects, references to a variable in an expression, and hierarchical names.
#pragma once

#include "modelproc/model_records.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

/// The error kind of every equation-generation message.
inline constexpr const char* kEquationsGenerationError = "Equations generation error ";

/// Reports an equation-generation error through the error hook.
void reportEquationsError(const std::string& message);
/// Reports what failed with one equation: the message, the equation's text and where it was
/// written, and what cannot be done with it (`why`).
void reportEquationFailure(const EquationRec* eq, const std::string& message, const std::string& why);

/// 1 when 1 <= index < limit; otherwise reports the range error and gives 0.
int check_help_index(int index, int limit);

/// The dimensions an index list selects: one per range whose size is not 1; single indices add
/// none. A missing index reports an error, clears `ok` and gives an empty list.
ExprList indimlst(const ExprList& index, bool& ok);

/// Appends every reference to `var` in the expression to `refs`, descending through operators,
/// function arguments and the three parts of conditionals; there is no limit on the count.
void find_varind_in_expr(ExprNode* expr, const VarRec* var, std::vector<ExprNode*>& refs);

/// The hierarchical name being built: a submodel path, a mark at its end, and appended parts.
class HierarchicalName {
public:
    /// The longest text a name may have.
    static constexpr std::size_t kMaxLength = 4095;

    /// Starts over with the path and marks its end.
    void setPath(std::string_view path);
    /// Cuts the text back to the mark.
    void backToMark();
    void append(std::string_view text);
    /// The text built, or "NAME TOO LONG" once an append passed the longest length.
    std::string text() const;
    bool overflowed() const { return m_overflow; }

private:
    std::string m_text;
    std::size_t m_mark = 0;
    bool m_overflow = false;
    bool m_markOverflow = false;
};

/// The path of a submodel inside its parent: parent path, backquote, own name (no parent: the name).
std::string submodelPath(std::string_view parentPath, std::string_view name);

/// Gives every connection of the top class its slot numbers from `counter` on: two per bond
/// (effort, flow) entered at both ports as seen from that port, one per signal (an output feeding
/// several unindexed inputs keeps one slot) and one per unconnected submodel output. Connections
/// with wrong ends or unknown port or io names are reported and skipped; 0 only when memory runs out.
int numberConnections(ClassRec* top, int& counter);

/// The variable made for each connection slot; entry 0 is unused, absent slots are null.
using SlotTable = std::vector<VarRec*>;

/// Enters the connection names of one submodel's ports and ios into their slots of `slots`
/// (sized to the number of slots): the first name of a slot makes the top class's variable,
/// later names become its aliases. 0 when the submodel fails.
int enterConnectionNames(ClassRec* top, SubclassRec* sub, SlotTable& slots);

/// Rewrites every port, input and output reference in the submodel's equations to the variable
/// of its connection's slot, with indices counted from the start of that connection's range.
/// 0 when a reference has no matching connection (reported).
int rewriteConnectionReferences(SubclassRec* sub, const SlotTable& slots);

/// Brings the literal indices of the references to each dimensioned variable of the class's
/// variables section that go beyond the declared size back into range: the largest literal
/// k-th index m above the size s moves every k-th index i to i - (m - s), and one that falls
/// below 1 to s minus it. 1.
int normaliseIndices(ClassRec* top);

/// The variables and equations of submodels taken out of their classes once reshaped, renamed by
/// path, in submodel order, until collection puts them into the top class. A submodel's class is
/// then no longer needed for them, and a copy made only for the reshaping can go. Only the number
/// of each submodel's equations is kept beside the records: they follow one another in the order
/// taken, and collection asks for them in that order.
class StagedRecords {
public:
    /// Room for `count` submodels to be taken.
    void reserve(std::size_t count) { m_counts.reserve(count); }
    /// Takes the variables and equations out of the submodel's class, after those of the
    /// submodels taken before.
    void take(SubclassRec* sub);
    /// The equations of the next submodel in the order taken: the first (null for none) and their
    /// number; false once every submodel taken was given.
    bool nextEquations(EquationRec*& first, std::size_t& count);
    /// Appends every record taken to its section of the top class and its equation body, and
    /// gives back the room that kept the counts.
    void moveInto(ClassRec* top);

private:
    SectionList<VarRec> m_sections[CLASS_CONSTANTS + 1];
    SectionList<EquationRec> m_equations;
    std::vector<std::uint32_t> m_counts; ///< each submodel's equations, in the order taken
    std::size_t m_next = 0;              ///< the submodel `nextEquations` gives next
    EquationRec* m_nextFirst = nullptr;  ///< its first equation, once a submodel was given
};

/// Collects every submodel of the top class into one flat `EquationBody` of the class: slot
/// variables for the connections, the submodels' own records renamed by path, and all their
/// equations. The class becomes of type DYN; 1, or 0 after the error was reported. The records
/// of the submodels in `staged`, every one in submodel order, come from there, and their classes
/// are left as they are.
int collectEquations(ClassRec* top, int slotCount, StagedRecords* staged = nullptr);
