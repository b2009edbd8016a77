// Causality assignment: one causality given to one bond end becomes the bond's causality,
// spreads through the causality constraints of the submodels, and is charged against the
// model-wide effort/flow budget; conflicts are reported.
#pragma once

#include "modelproc/model_records.h"
#include "platform/core/large_pages.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace causality {

enum Mode { MODE_FIXED, MODE_PREFERRED, MODE_FREE, MODE_USER };
enum PortType { C_FIX = 1, C_PREFER = 2, C_CONSTR = 3, C_INDIFF = 4 };

/// A bond whose causality is still to be carried to the submodel opposite `end`.
struct Propagation {
    BondRec* bond;
    int end;
    Mode mode;
    int group;
};

/// One bond end at a subclass: the bond by its number in the tables, so that an end takes 8 bytes.
struct BondEnd {
    int slot = 0; ///< the bond's number in the tables
    unsigned char end = 0;
    bool scalar = true; ///< the end names no index range: it reaches every element of the subclass

    inline BondRec* bond() const;
};

/// What the analysis needs of the port at one bond end, looked up once. Two for every bond of
/// the model: the flags share a byte, so that one takes 16 bytes.
struct EndInfo {
    PortRec* port = nullptr;
    int sub = -1; ///< the subclass's number in the tables, -1 for none
    unsigned char c_type = 0;
    unsigned char c_val = 0;
    unsigned char looked : 1 = 0;
    unsigned char counts : 1 = 0; ///< the end is charged against the budget
    unsigned char scalar : 1 = 0; ///< the end names no index range (known once the port is looked up)
};
static_assert(sizeof(EndInfo) == 16);

/// Tables of the bonds and subclasses the analysis has met, each by its number (a bond keeps
/// its number in its first end, a subclass's is kept with its ends' ports). They are made as
/// records are first met, so that any bond can be handed to the operations.
struct CausalTables {
    std::vector<BondRec*> bonds;
    std::size_t bodyBonds = 0;              ///< the bonds of the body, in list order, come first
    std::vector<EndInfo> endInfo;           ///< per bond: end 0, end 1
    std::vector<unsigned char> environment; ///< per bond: charged against the budget when assigned
    std::size_t environmentCount = 0;       ///< bonds marked in `environment`
    std::vector<unsigned char> charged;     ///< per bond: charged by the last check (it keeps its causality)
    struct Subclass {
        SubclassRec* sub = nullptr;
        bool single = true; ///< no array: one element
        std::int16_t type = -1; ///< the subclass's type by its number in `types`; -1 for none kept
        int begin = 0;
        int count = -1; ///< bond ends in `ends`; -1 until they are listed
        int groupValue = -1; ///< the constraint whose ports' bond ends are listed in `groups`
        int groupBegin = 0;
        int groupCount = 0;
    };
    std::vector<Subclass> subclasses;
    static_assert(sizeof(Subclass) == 32);
    std::vector<const SubmodelType*> types; ///< the types of the subclasses entered, by number
    std::size_t lastType = 0;               ///< the number of the type found last
    bool subclassIndexed = false; ///< `subclassIndex` holds every entered subclass
    std::unordered_map<const SubclassRec*, int> subclassIndex;
    std::vector<BondEnd> ends;   ///< per subclass: its bond ends, latest bond first
    std::vector<BondEnd> groups; ///< per subclass: the bond ends at the ports of one constraint
};

/// The state of one analysis, reset at its start.
struct CausalState {
    std::string errorFile;
    int E = 0;
    int F = 0;
    std::vector<BondRec*> environment;
    CausalTables tables;
    std::vector<BondRec*> trial;
    std::vector<BondRec*> assigned;
    std::vector<BondRec*> loopBreak; ///< oldest first
    int derivatives = 0;
    int algebraicLoops = 0;
    int causalCycles = 0;
    int eigenvalues = 0;
    bool report = true;
    bool reassign = false;
    int groupCounter = 0;
    std::vector<Propagation> work;
    bool draining = false;
    GraphBody* body = nullptr;
    std::vector<BondRec*> recent;              ///< bonds assigned since the last budget check
    std::vector<const BondRec*>* touched = nullptr; ///< bonds a trial looked at, while one runs
};

/// The state of the analysis that runs, one per process.
extern CausalState g_causalState;
inline CausalState& causalState()
{
    return g_causalState;
}

BondRec* BondEnd::bond() const
{
    return g_causalState.tables.bonds[static_cast<std::size_t>(slot)];
}

/// Has another processor make the fresh pages of the table's reserved room present while this one
/// goes on: a big model's tables are hundreds of megabytes, and the system clears each page as it
/// is first touched. `entries` limits it to the first of the room, where more is reserved than is
/// mostly used.
template <typename Table>
void pagesAhead(Table& table, std::size_t entries = SIZE_MAX)
{
    platform::populateAhead(table.data(), std::min(entries, table.capacity()) * sizeof(*table.data()));
}

/// How many bonds ahead a walk over the tables fetches the records it will read.
constexpr std::size_t kBondsAhead = 16;

/// Starts fetching the bond's record, for a walk that reads it a few steps on: bond records lie
/// far apart in a big model's memory, and the walk's next index is known long before.
inline void prefetchBond(const BondRec* bond)
{
    const auto* bytes = reinterpret_cast<const char*>(bond);
    for (std::size_t offset = 0; offset < sizeof(BondRec); offset += 64)
        __builtin_prefetch(bytes + offset);
}

/// Enters a bond met for the first time in the tables; its number.
int enterBond(const BondRec* bond);

/// The bond's number in the tables of the analysis; a bond met for the first time is entered.
/// A bond keeps its number in its first end.
inline int bondSlot(const BondRec* bond)
{
    const CausalTables& t = g_causalState.tables;
    const int slot = bond->con[0].slot;
    if (slot >= 0 && static_cast<std::size_t>(slot) < t.bonds.size() && t.bonds[static_cast<std::size_t>(slot)] == bond)
        return slot;
    return enterBond(bond);
}
/// The subclass's number in the tables of the analysis; one met for the first time is entered.
int subclassSlot(SubclassRec* sub);
/// Enters every bond of the body, in list order: the first `bodyBonds` of the tables.
void enterBonds(GraphBody* body);
/// Enters the subclass with the bond ends at it, their ports, and the bond ends at the ports of
/// its first constraint.
void enterSubclass(SubclassRec* sub);
/// Marks the bond as an environment bond, or no longer one.
void setEnvironment(std::size_t slot, bool environment);

void progress(const std::string& text);
/// Reports through the error hook with the kind "Causality error ".
void causalityError(const std::string& message);
bool aborted();
/// The subclass at the end of the bond; null when the end is no subclass port.
inline SubclassRec* subAt(const BondRec* bond, int end)
{
    const ConnEnd& e = bond->con[end];
    return e.type == END_SUB ? static_cast<SubclassRec*>(e.node) : nullptr;
}
/// "%s%d:%s": class name, version and instance name.
std::string classLabel(const SubclassRec* sub);
/// The port at the end of the bond; reports and gives null when the end or port is missing.
PortRec* portAt(const BondRec* bond, int end);
/// The port at a SUB end of the bond, null when there is none; nothing is reported.
PortRec* portOfEnd(const BondRec* bond, int end);
/// The port at the end of the bond with its restriction; the reference lasts until the next
/// bond is entered in the tables.
const EndInfo& endInfo(const BondRec* bond, int end);
inline bool hasCausality(const BondRec* bond)
{
    return bond->caus == CAUS_ECY || bond->caus == CAUS_FCY;
}
/// A port value as seen from the bond: kept at end 0, mirrored at end 1; -1 for none.
int seenFromBond(int end, int value);
/// The bond line of the progress report, while the report flag is set.
void bondLine(const BondRec* bond, int caus);
/// Kind 0 causal conflict, 3 double causality, 4 global constraint violation.
void report_conflict(BondRec* bond, int kind);
/// Whether the end of the bond is charged against the budget.
bool endCounts(const BondRec* bond, int end);
/// Whether the budget allows the value.
bool allowed(int value);
bool isEnvironment(const BondRec* bond);
/// Charges the environment bonds assigned since the last check, one unit per element at each
/// counting end: 1, or 0 when the budget is spent.
int check_global_budget();
/// Sets the E and F budgets, counted in elements of bonds and of subclass arrays, and the
/// environment bonds.
void global_counts(ClassRec* cls);
int strong_causality(BondRec* bond);
/// The bounds of a node index entry (null: the whole position-th dimension of the end's subclass).
int get_low_up(const BondRec* bond, int end, const ExprNode* index, std::int64_t& low, std::int64_t& up,
               std::size_t position);
/// 0 error, 1 uniform (equal widths at every position), 2 mixed.
int range_kind(const BondRec* bond);
/// 1 when the node index ranges of the two ends overlap at every position; `equal` when all agree.
int ranges_overlap(const BondRec* a, int endA, const BondRec* b, int endB, bool& equal);
/// Whether the port index ranges of the two ends (the elements of a port array each addresses)
/// overlap at every position both give; ends on the whole port overlap any.
bool portRangesOverlap(const BondRec* a, int endA, const BondRec* b, int endB);
/// Assigns the value at the end and propagates it: 1 success or nothing to do, 0 failure.
int assign_causality(BondRec* bond, int end, int value, Mode mode, int group = 0);
/// Carries the bond's causality to the submodel at the end opposite `end`: 1 success, 0 failure.
int propagate_causality(BondRec* bond, int end, Mode mode);
/// Every bond of the trial queue loses its causality again, and gives back what it was charged;
/// the queue is emptied.
void undoTrial();
/// The trial queue moves to the assigned list.
void keepTrial();

} // namespace causality
