// Causality assignment: one causality given to one bond end becomes the bond's causality,
// spreads through the causality constraints of the submodels, and is charged against the
// model-wide effort/flow budget. Propagation runs from a work list, so that long chains of
// submodels do not deepen the stack.
#include "modelproc/causality_assignment.h"

#include "modelproc/display_hooks.h"
#include "modelproc/graph_dissolution.h"
#include "modelproc/processing_pipeline.h"

#include <algorithm>
#include <cstdint>
#include <utility>

namespace causality {

CausalState g_causalState;

namespace {

CausalState& g_state = g_causalState;

} // namespace

namespace {

/// What the analysis keeps of a port found for an end.
void keepPort(EndInfo& info, PortRec* port, int sub, bool scalar)
{
    info.port = port;
    info.sub = sub;
    info.scalar = scalar;
    if (port) {
        info.c_type = port->c_type;
        info.c_val = port->c_val;
        info.counts = port->c_type != C_CONSTR || (port->relports.head && port->relports.head->relation == 3);
    }
    info.looked = 1;
}

/// Lists the bond ends at the subclass, the latest bond first (bonds were put in front as they
/// were read); a bond may meet the subclass twice.
void listEnds(int subSlot)
{
    CausalTables& t = g_state.tables;
    SubclassRec* sub = t.subclasses[static_cast<std::size_t>(subSlot)].sub;
    const std::size_t begin = t.ends.size();
    for (BondRec* bond : bondsAt(sub))
        for (int k = 0; k < 2; ++k)
            if (bond->con[k].type == END_SUB && bond->con[k].node == sub)
                t.ends.push_back({bondSlot(bond), static_cast<unsigned char>(k), !bond->con[k].nodeindex.head});
    std::reverse(t.ends.begin() + static_cast<std::ptrdiff_t>(begin), t.ends.end());
    CausalTables::Subclass& entry = t.subclasses[static_cast<std::size_t>(subSlot)];
    entry.begin = static_cast<int>(begin);
    entry.count = static_cast<int>(t.ends.size() - begin);
}

/// The bond ends at the subclass (see `listEnds`), listed once per analysis.
const BondEnd* endsAt(int subSlot, int& count)
{
    CausalTables& t = g_state.tables;
    if (t.subclasses[static_cast<std::size_t>(subSlot)].count < 0)
        listEnds(subSlot);
    const CausalTables::Subclass& entry = t.subclasses[static_cast<std::size_t>(subSlot)];
    count = entry.count;
    return t.ends.data() + entry.begin;
}

} // namespace

int enterBond(const BondRec* bond)
{
    CausalTables& t = g_state.tables;
    const int fresh = static_cast<int>(t.bonds.size());
    auto* entered = const_cast<BondRec*>(bond);
    entered->con[0].slot = fresh;
    t.bonds.push_back(entered);
    t.endInfo.resize(t.endInfo.size() + 2);
    t.environment.push_back(0);
    t.charged.push_back(0);
    return fresh;
}

namespace {

/// The type's number in the tables, entered when met first; -1 for none, or past the numbers kept.
std::int16_t typeNumber(const SubmodelType* type)
{
    // A body's subclasses are mostly entered type after type: the last one found comes first.
    std::size_t& last = g_state.tables.lastType;
    std::vector<const SubmodelType*>& types = g_state.tables.types;
    if (!type)
        return -1;
    if (last < types.size() && types[last] == type)
        return static_cast<std::int16_t>(last);
    auto found = std::find(types.begin(), types.end(), type);
    if (found == types.end()) {
        if (types.size() > INT16_MAX)
            return -1;
        found = types.insert(types.end(), type);
    }
    last = static_cast<std::size_t>(found - types.begin());
    return static_cast<std::int16_t>(last);
}

/// A new entry for the subclass.
int newSubclassEntry(SubclassRec* sub)
{
    CausalTables& t = g_state.tables;
    const int slot = static_cast<int>(t.subclasses.size());
    t.subclasses.push_back({});
    t.subclasses.back().sub = sub;
    t.subclasses.back().single = sub->dim.empty();
    t.subclasses.back().type = typeNumber(sub->type);
    if (t.subclassIndexed)
        t.subclassIndex.emplace(sub, slot);
    return slot;
}

} // namespace

int subclassSlot(SubclassRec* sub)
{
    CausalTables& t = g_state.tables;
    // A subclass's number is kept with the ends of its bonds once their ports are looked up.
    const ConnectionsAt<BondRec> bonds = bondsAt(sub);
    if (bonds.begin() != bonds.end())
        if (const BondRec* bond = *bonds.begin())
            for (int k = 0; k < 2; ++k)
                if (bond->con[k].type == END_SUB && bond->con[k].node == sub) {
                    const EndInfo& info =
                        t.endInfo[2 * static_cast<std::size_t>(bondSlot(bond)) + static_cast<std::size_t>(k)];
                    if (info.looked && info.sub >= 0 && t.subclasses[static_cast<std::size_t>(info.sub)].sub == sub)
                        return info.sub;
                }
    // Otherwise it is looked up among all entered so far.
    if (!t.subclassIndexed) {
        for (std::size_t i = 0; i < t.subclasses.size(); ++i)
            t.subclassIndex.emplace(t.subclasses[i].sub, static_cast<int>(i));
        t.subclassIndexed = true;
    }
    auto found = t.subclassIndex.find(sub);
    return found != t.subclassIndex.end() ? found->second : newSubclassEntry(sub);
}


void setEnvironment(std::size_t slot, bool environment)
{
    CausalTables& t = g_state.tables;
    if ((t.environment[slot] != 0) == environment)
        return;
    t.environment[slot] = environment ? 1 : 0;
    if (environment)
        ++t.environmentCount;
    else
        --t.environmentCount;
}

void enterBonds(GraphBody* body)
{
    CausalTables& t = g_state.tables;
    // Tables that hold no bond yet take the body's bonds in list order, and the entries are made in
    // a walk over the table, which knows the records ahead. Otherwise each bond is entered unless
    // it is there already.
    const bool fresh = t.bonds.empty();
    std::size_t count = 0;
    body->bonds.walkFromBothEnds([&](std::size_t, BondRec*) { ++count; }, [&](std::size_t, BondRec*) { ++count; });
    std::vector<BondRec*> listed(count);
    body->bonds.walkFromBothEnds([&](std::size_t i, BondRec* bond) { listed[i] = bond; },
                                 [&](std::size_t j, BondRec* bond) { listed[count - 1 - j] = bond; });
    if (fresh)
        t.bonds.swap(listed);
    // Room for all at once: the tables are large, and growing them would copy them.
    t.bonds.reserve(t.bonds.size() + count);
    t.endInfo.reserve(t.endInfo.size() + 2 * count);
    t.environment.reserve(t.environment.size() + count);
    t.charged.reserve(t.charged.size() + count);
    t.ends.reserve(t.ends.size() + 2 * count);
    t.groups.reserve(t.groups.size() + 2 * count);
    t.subclasses.reserve(t.subclasses.size() + count + 1);
    // Made present by another processor while this one fills them, in the order they are filled.
    pagesAhead(t.endInfo);
    pagesAhead(t.subclasses);
    pagesAhead(t.ends);
    pagesAhead(t.groups);
    if (fresh) {
        // The records first, while the tables' pages are made present.
        for (std::size_t slot = 0; slot < count; ++slot) {
            if (slot + kBondsAhead < count)
                prefetchBond(t.bonds[slot + kBondsAhead]);
            t.bonds[slot]->con[0].slot = static_cast<int>(slot);
        }
        t.endInfo.resize(2 * count);
        t.environment.resize(count);
        t.charged.resize(count);
    } else {
        for (BondRec* bond : listed)
            bondSlot(bond);
    }
    g_state.tables.bodyBonds = g_state.tables.bonds.size();
}

void enterSubclass(SubclassRec* sub)
{
    CausalTables& t = g_state.tables;
    // The body's subclasses are entered first, each once.
    const int slot = t.subclassIndexed ? subclassSlot(sub) : newSubclassEntry(sub);
    CausalTables::Subclass& entry = t.subclasses[static_cast<std::size_t>(slot)];
    if (!sub->cls || entry.count >= 0)
        return;
    listEnds(slot);
    // Each end's port: the first of its name, as `findPort` finds it; looked up here for all
    // ends of the subclass in one walk of its ports.
    static std::vector<PortRec*> ports;
    ports.clear();
    for (PortRec* port : sub->cls->ports)
        ports.push_back(port);
    const int first = t.subclasses[static_cast<std::size_t>(slot)].begin;
    const int last = first + t.subclasses[static_cast<std::size_t>(slot)].count;
    for (int i = first; i < last; ++i) {
        const BondEnd e = t.ends[static_cast<std::size_t>(i)];
        EndInfo& info = t.endInfo[2 * static_cast<std::size_t>(e.slot) + static_cast<std::size_t>(e.end)];
        if (info.looked)
            continue;
        const ConnEnd& at = e.bond()->con[e.end];
        PortRec* found = nullptr;
        for (PortRec* port : ports)
            if (port->name == at.name) {
                found = port;
                break;
            }
        keepPort(info, found, slot, e.scalar);
        // The end keeps its port for the phases that follow.
        at.port = found;
    }
    // The bond ends at the ports of the first constraint, port by port.
    int group = -1;
    for (PortRec* port : ports)
        if (port->c_type == C_CONSTR) {
            group = port->c_val;
            break;
        }
    if (group < 0)
        return;
    const std::size_t begin = t.groups.size();
    for (PortRec* port : ports)
        if (port->c_type == C_CONSTR && port->c_val == group)
            for (int i = first; i < last; ++i) {
                const BondEnd& e = t.ends[static_cast<std::size_t>(i)];
                if (t.endInfo[2 * static_cast<std::size_t>(e.slot) + static_cast<std::size_t>(e.end)].port == port)
                    t.groups.push_back(e);
            }
    CausalTables::Subclass& entered = t.subclasses[static_cast<std::size_t>(slot)];
    entered.groupValue = group;
    entered.groupBegin = static_cast<int>(begin);
    entered.groupCount = static_cast<int>(t.groups.size() - begin);
}

void progress(const std::string& text)
{
    DisplayHooks().progress(text.c_str());
}

void causalityError(const std::string& message)
{
    DisplayHooks().error("Causality error ", g_state.errorFile.c_str(), nullptr, -1, nullptr, message.c_str());
}

bool aborted()
{
    return Pipeline().aborted != 0;
}


std::string classLabel(const SubclassRec* sub)
{
    if (!sub)
        return "";
    const ClassRec* cls = sub->cls;
    return formatMessage("%s%d:%s", cls ? cls->name.c_str() : "", cls ? cls->version : 0, instance_name(sub).c_str());
}

/// The analysis asks for the ports of every bond on every pass, so each end's port and its
/// restriction are looked up once into the tables; the classes of the subclasses stay as they
/// are while the analysis runs.
const EndInfo& endInfo(const BondRec* bond, int end)
{
    EndInfo& info = g_state.tables.endInfo[2 * static_cast<std::size_t>(bondSlot(bond)) + static_cast<std::size_t>(end)];
    if (info.looked)
        return info;
    SubclassRec* sub = subAt(bond, end);
    PortRec* port = nullptr;
    if (sub && sub->cls) {
        const ConnEnd& at = bond->con[end];
        port = keptPort(at, sub->cls);
        if (!port)
            at.port = port = findPort(sub->cls, at.name);
    }
    const int subSlot = sub ? subclassSlot(sub) : -1;
    EndInfo& entered = g_state.tables.endInfo[2 * static_cast<std::size_t>(bondSlot(bond)) + static_cast<std::size_t>(end)];
    keepPort(entered, port, subSlot, !bond->con[end].nodeindex.head);
    return entered;
}

/// The port at a SUB end of the bond, null when there is none.
PortRec* portOfEnd(const BondRec* bond, int end)
{
    return endInfo(bond, end).port;
}

/// The port at the end of the bond; reports and gives null when the end or port is missing.
PortRec* portAt(const BondRec* bond, int end)
{
    SubclassRec* sub = subAt(bond, end);
    PortRec* port = portOfEnd(bond, end);
    if (!port)
        causalityError(formatMessage("bond connected with port %s, which is not a port of submodel %s.",
                                     bond->con[end].name.c_str(), classLabel(sub).c_str()));
    return port;
}


/// A port value as seen from the bond: kept at end 0, mirrored at end 1; -1 for none.
int seenFromBond(int end, int value)
{
    if (value != 1 && value != 2)
        return -1;
    return end == 0 ? value : 3 - value;
}

namespace {

/// Appends the subclass's instance name (see `instance_name`); nothing for no subclass.
void appendInstanceName(std::string& text, const SubclassRec* sub)
{
    if (!sub)
        return;
    appendSubclassPath(text, sub, '`');
    text += sub->name.view();
}

} // namespace

void bondLine(const BondRec* bond, int caus)
{
    if (!g_state.report)
        return;
    // One line for every bond assigned: made in one buffer.
    static std::string line;
    line.assign(" . ");
    appendInstanceName(line, subAt(bond, 0));
    line += caus == 1 ? "  -->|  " : caus == 2 ? "  |-->  " : "  --->  ";
    appendInstanceName(line, subAt(bond, 1));
    DisplayHooks().progress(line.c_str());
}

void report_conflict(BondRec* bond, int kind)
{
    if (!g_state.report)
        return;
    std::string a = classLabel(subAt(bond, 0));
    std::string b = classLabel(subAt(bond, 1));
    if (kind == 0) {
        std::string text = "causal conflict between submodels " + a + " and " + b + ". ";
        if (bond->group != 0) {
            // The mixed bond of the group, searched onwards from this bond.
            std::vector<BondRec*> bonds;
            for (BondRec* x : g_state.body->bonds)
                bonds.push_back(x);
            auto at = std::find(bonds.begin(), bonds.end(), bond);
            std::size_t start = at == bonds.end() ? 0 : static_cast<std::size_t>(at - bonds.begin());
            for (std::size_t i = 0; i < bonds.size(); ++i) {
                BondRec* x = bonds[(start + i) % bonds.size()];
                if (x->group == -bond->group) {
                    text += "Decompose bond with mixed causality between " + instance_name(subAt(x, 0)) + " and " +
                            instance_name(subAt(x, 1)) + " into single bonds..";
                    break;
                }
            }
        }
        causalityError(text);
    } else if (kind == 3) {
        progress("Double causality in bond between submodels \r\n    " + a + " and " + b + ";\r\n.");
    } else if (kind == 4) {
        causalityError("Global causality constraint violation in bond between submodels \r\n    " + a + " and " + b +
                       ";\r\n.");
    }
}

// --- global constraint ---------------------------------------------------------------

bool endCounts(const BondRec* bond, int end)
{
    return endInfo(bond, end).counts != 0;
}

bool allowed(int value)
{
    return value == 1 ? g_state.E > 0 : value == 2 ? g_state.F > 0 : true;
}

bool isEnvironment(const BondRec* bond)
{
    return g_state.tables.environment[static_cast<std::size_t>(bondSlot(bond))] != 0;
}

namespace {

/// The number of elements of an array subclass (1 for a single one).
int elementsOf(const SubclassRec* sub)
{
    std::int64_t count = 1;
    if (sub)
        for (const ExprNode* d : sub->dim)
            count = std::min<std::int64_t>(count * std::max<std::int64_t>(literalSize(d), 1), INT32_MAX);
    return static_cast<int>(count);
}

/// The number of elements the end of a bond reaches: those its index ranges name, else the
/// whole subclass. An index that is no constant counts one; it is reported where it is used.
int endWidth(const BondRec* bond, int end)
{
    // An end that names no range at a single subclass reaches its one element.
    const EndInfo& info = endInfo(bond, end);
    if (info.scalar && info.sub >= 0 && g_state.tables.subclasses[static_cast<std::size_t>(info.sub)].single)
        return 1;
    const ConnEnd& e = bond->con[end];
    const SubclassRec* sub = subAt(bond, end);
    if (!e.nodeindex.head)
        return elementsOf(sub);
    std::vector<std::int64_t> sizes;
    if (sub)
        for (const ExprNode* d : sub->dim)
            sizes.push_back(std::max<std::int64_t>(literalSize(d), 1));
    std::int64_t count = 1;
    std::size_t position = 0;
    for (const ExprNode* index : e.nodeindex) {
        std::int64_t width = 1;
        if (!index)
            width = position < sizes.size() ? sizes[position] : 1;
        else if (index->kind == TK_UPTO && index->left() && index->right() && index->left()->kind == TK_INTEGER &&
                 index->right()->kind == TK_INTEGER)
            width = std::max<std::int64_t>(index->right()->intValue() - index->left()->intValue() + 1, 1);
        count = std::min<std::int64_t>(count * width, INT32_MAX);
        ++position;
    }
    return static_cast<int>(count);
}

/// The bond elements that end at the subclass, over all its bonds.
int widthAt(int subSlot)
{
    // Each end at the subclass once, however often its bond is listed there.
    int count = 0;
    const auto slot = static_cast<std::size_t>(subSlot);
    const BondEnd* ends = endsAt(static_cast<int>(slot), count); // may list them, growing the table
    const std::vector<BondEnd>& all = g_state.tables.ends;
    const auto begin = static_cast<std::size_t>(ends - all.data());
    const bool single = g_state.tables.subclasses[slot].single;
    std::int64_t width = 0;
    for (std::size_t i = begin; i < begin + static_cast<std::size_t>(count); ++i) {
        bool seen = false;
        for (std::size_t j = begin; j < i && !seen; ++j)
            seen = all[j].slot == all[i].slot && all[j].end == all[i].end;
        if (!seen)
            width += all[i].scalar && single ? 1 : endWidth(all[i].bond(), all[i].end);
    }
    return static_cast<int>(std::min<std::int64_t>(width, INT32_MAX));
}

/// The elements of a subclass, from the tables where it is a single one.
int elementsAt(SubclassRec* sub, int subSlot)
{
    return g_state.tables.subclasses[static_cast<std::size_t>(subSlot)].single ? 1 : elementsOf(sub);
}

/// The elements the bond is charged at its end: 0 where the end is not charged.
int chargeAt(const BondRec* bond, int end)
{
    return endCounts(bond, end) ? endWidth(bond, end) : 0;
}

/// The E and F a bond with a causality is charged: its ends' elements, by the value each end
/// sees. The causality stays while the bond is charged, so the charge is worked out again when
/// it is given back.
std::pair<int, int> chargeOf(const BondRec* bond, int counts0, int counts1)
{
    return {(bond->caus == 1 ? counts0 : 0) + (bond->caus == 2 ? counts1 : 0),
            (bond->caus == 2 ? counts0 : 0) + (bond->caus == 1 ? counts1 : 0)};
}

} // namespace

/// Charges every environment bond that has a causality against the budget. Only bonds
/// assigned since the last check can have changed, so only those are looked at.
int check_global_budget()
{
    std::vector<BondRec*> recent;
    recent.swap(g_state.recent);
    for (std::size_t i = 0; i < recent.size(); ++i) {
        BondRec* bond = recent[i];
        if (!isEnvironment(bond) || !hasCausality(bond))
            continue;
        int& atEnd0 = bond->caus == 1 ? g_state.E : g_state.F;
        int& atEnd1 = bond->caus == 1 ? g_state.F : g_state.E;
        const int counts0 = chargeAt(bond, 0);
        const int counts1 = chargeAt(bond, 1);
        if ((counts0 > 0 && atEnd0 < counts0) || (counts1 > 0 && atEnd1 < counts1)) {
            // Unchecked bonds wait for the next check.
            g_state.recent.insert(g_state.recent.end(), recent.begin() + static_cast<std::ptrdiff_t>(i), recent.end());
            return 0;
        }
        atEnd0 -= counts0;
        atEnd1 -= counts1;
        const auto slot = static_cast<std::size_t>(bondSlot(bond));
        g_state.tables.charged[slot] = 1;
        setEnvironment(slot, false);
    }
    return 1;
}

void global_counts(ClassRec* cls)
{
    GraphBody* body = cls->graph;
    int ecyBonds = 0, ecyElements = 0, fcyBonds = 0, fcyElements = 0, unequal = 0;
    CausalTables& t = g_state.tables;
    g_state.environment.clear();
    g_state.environment.reserve(t.bodyBonds); // grown step by step, it would be copied again and again
    std::fill(t.environment.begin(), t.environment.end(), 0);
    t.environmentCount = 0;
    std::fill(t.charged.begin(), t.charged.end(), 0);
    // What the users of each type add: their bonds join the environment, or their elements and
    // bond elements are counted for a constraint.
    enum class Share { Join, Ecy, Fcy, Unequal, Uncounted };
    struct TypeShare {
        const SubmodelType* type;
        Share share;
        int ports = 0;
        int users = 0; ///< elements of the users
        int bonds = 0; ///< bond elements at the users
    };
    std::vector<TypeShare> shares;
    for (SubmodelType* type : body->types) {
        ClassRec* tc = type->cls;
        PortRec* first = tc ? tc->ports.first() : nullptr;
        Share share = Share::Uncounted;
        if (!first || first->c_type != C_CONSTR || first->c_val == CAUS_SAME ||
            (first->c_val != CAUS_1ECY && first->c_val != CAUS_1FCY && first->relports.head &&
             first->relports.head->relation == 3))
            share = Share::Join;
        else if (first->c_val == CAUS_1ECY)
            share = Share::Ecy;
        else if (first->c_val == CAUS_1FCY)
            share = Share::Fcy;
        else if (first->relports.head && first->relports.head->relation == 4)
            share = Share::Unequal;
        shares.push_back({type, share, share == Share::Unequal ? tc->ports.count() : 0});
    }
    auto joinBond = [&](std::size_t slot) {
        if (!t.environment[slot]) {
            setEnvironment(slot, true);
            g_state.environment.push_back(t.bonds[slot]);
        }
    };
    auto add = [&](TypeShare& type, SubclassRec* user, int slot) {
        if (type.share == Share::Join) {
            int count = 0;
            const BondEnd* ends = endsAt(slot, count);
            for (int i = 0; i < count; ++i)
                joinBond(static_cast<std::size_t>(ends[i].slot));
        } else if (type.share != Share::Uncounted) {
            type.users += elementsAt(user, slot);
            type.bonds += widthAt(slot);
        }
    };
    if (t.bodyBonds && g_state.body == body) {
        // Every subclass of the body is in the tables, its bond ends listed: read in the tables'
        // order, the subclasses are met one after another in memory, where a type's list of
        // users leads from one to the next. Each entry names its type by its number in the
        // tables; `shareByNumber` gives that type's share, -1 for none.
        auto shareOf = [&](const SubmodelType* type) {
            auto found = std::find_if(shares.begin(), shares.end(), [&](const TypeShare& s) { return s.type == type; });
            return found == shares.end() ? -1 : static_cast<int>(found - shares.begin());
        };
        std::vector<int> shareByNumber;
        for (const SubmodelType* type : t.types)
            shareByNumber.push_back(shareOf(type));
        for (std::size_t slot = 0; slot < t.subclasses.size(); ++slot) {
            const CausalTables::Subclass& entry = t.subclasses[slot];
            SubclassRec* sub = entry.sub;
            const int share = entry.type >= 0 ? shareByNumber[static_cast<std::size_t>(entry.type)] : shareOf(sub->type);
            if (share >= 0)
                add(shares[static_cast<std::size_t>(share)], sub, static_cast<int>(slot));
        }
    } else {
        for (TypeShare& type : shares)
            for (SubclassRec* user : type.type->users)
                add(type, user, subclassSlot(user));
    }
    for (const TypeShare& type : shares) {
        if (type.share == Share::Ecy) {
            ecyElements += type.users;
            ecyBonds += type.bonds;
        } else if (type.share == Share::Fcy) {
            fcyElements += type.users;
            fcyBonds += type.bonds;
        } else if (type.share == Share::Unequal) {
            unequal += type.users * type.ports;
        }
    }
    int B = 0;
    if (t.bodyBonds && g_state.body == body) {
        // Ends that name no range at single subclasses reach one element: known from the tables.
        auto width = [&](std::size_t slot, int end) {
            const EndInfo& info = t.endInfo[2 * slot + static_cast<std::size_t>(end)];
            if (info.looked && info.scalar && info.sub >= 0 && t.subclasses[static_cast<std::size_t>(info.sub)].single)
                return 1;
            return endWidth(t.bonds[slot], end);
        };
        for (std::size_t slot = 0; slot < t.bodyBonds; ++slot)
            B += std::max(width(slot, 0), width(slot, 1));
    } else {
        for (BondRec* bond : body->bonds)
            B += std::max(endWidth(bond, 0), endWidth(bond, 1));
    }
    const int U = unequal / 2;
    g_state.E = B - fcyBonds + fcyElements - ecyElements - U;
    g_state.F = B - ecyBonds + ecyElements - fcyElements - U;
    progress(formatMessage("E = %d and F = %d, E + F = %d environmental ports", g_state.E, g_state.F,
                           static_cast<int>(g_state.environment.size())));
}

// --- assignment and propagation ----------------------------------------------------------

int strong_causality(BondRec* bond)
{
    int result = 2;
    for (int end = 0; end < 2; ++end) {
        const EndInfo& info = endInfo(bond, end);
        if (!info.port || info.c_type != C_CONSTR || (info.c_val != CAUS_1ECY && info.c_val != CAUS_1FCY))
            continue;
        result = seenFromBond(end, info.c_val == CAUS_1ECY ? 1 : 2);
        if (g_state.report)
            progress("Strong causality");
        bondLine(bond, result);
        break;
    }
    if (isEnvironment(bond)) {
        if (endCounts(bond, 0)) {
            if (!allowed(result))
                result = 3 - result;
        } else if (endCounts(bond, 1) && !allowed(3 - result)) {
            result = 3 - result;
        }
    }
    return result;
}

int get_low_up(const BondRec* bond, int end, const ExprNode* index, std::int64_t& low, std::int64_t& up,
               std::size_t position)
{
    if (!index) {
        low = 1;
        up = 1;
        const SubclassRec* sub = subAt(bond, end);
        if (sub) {
            std::size_t at = 0;
            for (const ExprNode* d : sub->dim)
                if (at++ == position)
                    up = literalSize(d) > 0 ? literalSize(d) : 1;
        }
        return 1;
    }
    if (index->kind == TK_INTEGER) {
        low = up = index->intValue();
        return 1;
    }
    if (index->kind == TK_UPTO && index->left() && index->right() && index->left()->kind == TK_INTEGER &&
        index->right()->kind == TK_INTEGER) {
        low = index->left()->intValue();
        up = index->right()->intValue();
        return 1;
    }
    causalityError("<error: index expression expected in get_low_up>");
    return 0;
}

namespace {

/// The low and up bounds of every position of the node index list at the end; false on failure.
bool boundsAt(const BondRec* bond, int end, std::vector<std::pair<std::int64_t, std::int64_t>>& bounds)
{
    std::size_t position = 0;
    for (const ExprNode* e : bond->con[end].nodeindex) {
        std::int64_t low = 0, up = 0;
        if (!get_low_up(bond, end, e, low, up, position++))
            return false;
        bounds.push_back({low, up});
    }
    return true;
}

} // namespace

int range_kind(const BondRec* bond)
{
    if (!bond->con[0].nodeindex.head && !bond->con[1].nodeindex.head)
        return 1;
    std::vector<std::pair<std::int64_t, std::int64_t>> a, b;
    if (!boundsAt(bond, 0, a) || !boundsAt(bond, 1, b))
        return 0;
    if (a.empty() && b.empty())
        return 1;
    if (a.empty() || b.empty()) {
        const auto& first = a.empty() ? b.front() : a.front();
        return first.first == first.second ? 1 : 2;
    }
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i)
        if (a[i].second - a[i].first != b[i].second - b[i].first)
            return 2;
    return 1;
}

bool portRangesOverlap(const BondRec* a, int endA, const BondRec* b, int endB)
{
    // Position by position; a missing list or entry is the whole port, and an index that is not
    // a number yet may be any element.
    const PtrNode<ExprNode>* ia = a->con[endA].index.head;
    const PtrNode<ExprNode>* ib = b->con[endB].index.head;
    for (; ia && ib; ia = ia->next, ib = ib->next) {
        std::int64_t loA = 0, hiA = 0, loB = 0, hiB = 0;
        if (!ia->item || !ib->item || !literalBounds(ia->item, loA, hiA) || !literalBounds(ib->item, loB, hiB))
            continue;
        if (hiA < loB || loA > hiB)
            return false;
    }
    return true;
}

int ranges_overlap(const BondRec* a, int endA, const BondRec* b, int endB, bool& equal)
{
    std::vector<std::pair<std::int64_t, std::int64_t>> ra, rb;
    equal = false;
    if (!boundsAt(a, endA, ra) || !boundsAt(b, endB, rb))
        return 0;
    if (ra.empty() && rb.empty()) {
        equal = true;
        return 1;
    }
    if (ra.empty() || rb.empty()) {
        const auto& first = ra.empty() ? rb.front() : ra.front();
        return first.first < 2 ? 1 : 0;
    }
    equal = true;
    for (std::size_t i = 0; i < ra.size() && i < rb.size(); ++i) {
        if (ra[i].second < rb[i].first || ra[i].first > rb[i].second)
            return 0;
        if (ra[i] != rb[i])
            equal = false;
    }
    return 1;
}

namespace {

int drain();

int assignNow(BondRec* bond, int end, int c, Mode mode, int group)
{
    g_state.reassign = false;
    const int kind = range_kind(bond);
    if (kind == 0)
        return 0;
    const bool mixed = kind == 2;
    bond->caus = static_cast<unsigned char>(c);
    g_state.recent.push_back(bond);
    bondLine(bond, c);
    if (!mixed) {
        g_state.work.push_back({bond, end, mode, group});
    } else {
        int g = ++g_state.groupCounter;
        bond->group = -g;
        g_state.work.push_back({bond, 1 - end, mode, g});
        g_state.work.push_back({bond, end, mode, g});
    }
    return drain();
}

} // namespace

int assign_causality(BondRec* bond, int end, int value, Mode mode, int group)
{
    if (aborted())
        return 0;
    if (g_state.touched)
        g_state.touched->push_back(bond);
    if (group)
        bond->group = group;
    int c = seenFromBond(end, value);
    const int caus = bond->caus;
    auto queue = [&] { g_state.trial.push_back(bond); };
    switch (mode) {
    case MODE_FIXED:
        if (c == -1 || caus == c)
            return 1;
        if ((c == 1 && (caus == 2 || caus == CAUS_USER_F)) || (c == 2 && (caus == 1 || caus == CAUS_USER_E))) {
            report_conflict(bond, 0);
            return 0;
        }
        return assignNow(bond, end, c, mode, group);
    case MODE_PREFERRED:
        if (c == -1 || caus == c)
            return 1;
        if (caus == 1 || caus == 2) {
            report_conflict(bond, 3);
            return 0;
        }
        queue();
        return assignNow(bond, end, c, mode, group);
    case MODE_FREE:
        if (caus == 1 || caus == 2) {
            if (c != -1 && c != caus) {
                report_conflict(bond, 0);
                return 0;
            }
            return 1;
        }
        if (c == -1)
            c = strong_causality(bond);
        queue();
        return assignNow(bond, end, c, mode, group);
    case MODE_USER:
        if (c == -1 || (caus == c && !g_state.reassign))
            return 1;
        if ((c == 1 && (caus == 2 || caus == CAUS_USER_F)) || (c == 2 && (caus == 1 || caus == CAUS_USER_E))) {
            report_conflict(bond, 0);
            return 0;
        }
        return assignNow(bond, end, c, mode, group);
    }
    return 1;
}

namespace {


/// The bonds at one port of a subclass, each with its end there, into `found`.
void bondsAtPort(SubclassRec* sub, std::string_view port, std::vector<BondEnd>& found)
{
    found.clear();
    int count = 0;
    const BondEnd* ends = endsAt(subclassSlot(sub), count);
    for (int i = 0; i < count; ++i)
        if (ends[i].bond()->con[ends[i].end].name == port)
            found.push_back(ends[i]);
}

/// The bonds at every port of the subclass that shares the constraint (a junction's ports), into
/// `found`, port by port. A subclass's ports keep their constraints through the analysis, so the
/// list is made once for the constraint last asked for (for its first constraint when the body
/// is entered).
void bondsAtConstraint(int subSlot, int c_val, std::vector<BondEnd>& found)
{
    CausalTables& t = g_state.tables;
    if (t.subclasses[static_cast<std::size_t>(subSlot)].groupValue != c_val) {
        int count = 0;
        const BondEnd* ends = endsAt(subSlot, count);
        SubclassRec* sub = t.subclasses[static_cast<std::size_t>(subSlot)].sub;
        const std::size_t begin = t.groups.size();
        for (PortRec* port : sub->cls->ports)
            if (port->c_type == C_CONSTR && port->c_val == c_val)
                for (int i = 0; i < count; ++i)
                    if (ends[i].bond()->con[ends[i].end].name == port->name)
                        t.groups.push_back(ends[i]);
        CausalTables::Subclass& entry = t.subclasses[static_cast<std::size_t>(subSlot)];
        entry.groupValue = c_val;
        entry.groupBegin = static_cast<int>(begin);
        entry.groupCount = static_cast<int>(t.groups.size() - begin);
    }
    const CausalTables::Subclass& entry = t.subclasses[static_cast<std::size_t>(subSlot)];
    found.assign(t.groups.begin() + entry.groupBegin, t.groups.begin() + entry.groupBegin + entry.groupCount);
}

bool sameEnd(const BondEnd& a, const BondEnd& b)
{
    return a.slot == b.slot && a.end == b.end;
}

/// The elements a bond end reaches, one range per index position; empty for the whole subclass.
using Elements = std::vector<std::pair<std::int64_t, std::int64_t>>;

/// Whether two ends at one subclass reach a common element: their ranges overlap at every
/// position both give; a missing index list reaches every element.
bool sharesElements(const Elements& a, const Elements& b)
{
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i)
        if (a[i].second < b[i].first || a[i].first > b[i].second)
            return false;
    return true;
}

bool reachesElement(const Elements& reach, const std::vector<std::int64_t>& element)
{
    for (std::size_t i = 0; i < reach.size() && i < element.size(); ++i)
        if (element[i] < reach[i].first || element[i] > reach[i].second)
            return false;
    return true;
}

/// More elements than this in one bond's reach are not looked at one by one.
constexpr std::int64_t kElementLimit = 1 << 20;

/// Calls `visit` with every element the reach names (the whole subclass where it names none);
/// false when there are too many to visit.
template <typename Visit>
bool forEachElement(const Elements& reach, const SubclassRec* sub, Visit visit)
{
    Elements box = reach;
    if (box.empty() && sub)
        for (const ExprNode* d : sub->dim)
            box.push_back({1, std::max<std::int64_t>(literalSize(d), 1)});
    std::int64_t count = 1;
    for (const auto& [low, up] : box) {
        if (up < low)
            return true;
        if (up - low + 1 > kElementLimit / count)
            return false;
        count *= up - low + 1;
    }
    std::vector<std::int64_t> element;
    for (const auto& range : box)
        element.push_back(range.first);
    for (;;) {
        visit(element);
        std::size_t d = element.size();
        while (d > 0 && element[d - 1] == box[d - 1].second) {
            element[d - 1] = box[d - 1].first;
            --d;
        }
        if (d == 0)
            return true;
        ++element[d - 1];
    }
}

/// The "exactly one bond with the one value" rule at a port group of the subclass at the far
/// end of the incoming bond. Each element of a subclass array keeps the rule on its own, so
/// bonds at disjoint ranges of one port do not decide for each other.
class OneOfRule {
public:
    OneOfRule(const Propagation& item, int one, const std::vector<BondEnd>& atPort, bool single)
        : m_item(item), m_one(one), m_atPort(atPort), m_single(single)
    {
    }

    int run()
    {
        // Where no bond names an index range and the subclass is a single one, every bond reaches
        // the one element: the same rule, without element lists.
        if (m_single && !m_item.bond->con[1 - m_item.end].nodeindex.head &&
            std::all_of(m_atPort.begin(), m_atPort.end(), [](const BondEnd& e) { return e.scalar; }))
            return runSingle();
        BondRec* bond = m_item.bond;
        const int far = 1 - m_item.end;
        m_sub = subAt(bond, far);
        m_reach.assign(m_atPort.size(), {});
        for (std::size_t i = 0; i < m_atPort.size(); ++i)
            if (!boundsAt(m_atPort[i].bond(), m_atPort[i].end, m_reach[i]))
                return 0;
        Elements from;
        if (!boundsAt(bond, far, from))
            return 0;
        // This bond is the one: every other bond at its elements takes the other value.
        if (bondCausalityFrom(bond, far) == m_one)
            for (std::size_t i = 0; i < m_atPort.size(); ++i)
                if (!(m_atPort[i].bond() == bond && m_atPort[i].end == far) && sharesElements(m_reach[i], from) &&
                    !assign(i, 3 - m_one))
                    return 0;
        // Each bond given a value here may decide another one at the same elements.
        for (;;) {
            const int step = examine();
            if (step != 2)
                return step;
        }
    }

private:
    bool assign(std::size_t i, int value)
    {
        return assign_causality(m_atPort[i].bond(), m_atPort[i].end, value, m_item.mode, m_item.group) != 0;
    }

    /// The rule at a single element that every bond reaches.
    int runSingle()
    {
        BondRec* bond = m_item.bond;
        const int far = 1 - m_item.end;
        const std::size_t n = m_atPort.size();
        if (bondCausalityFrom(bond, far) == m_one)
            for (std::size_t i = 0; i < n; ++i)
                if (!(m_atPort[i].bond() == bond && m_atPort[i].end == far) && !assign(i, 3 - m_one))
                    return 0;
        for (;;) {
            bool anyOpen = false, anyOne = false, anyOther = false;
            for (std::size_t i = 0; i < n; ++i) {
                if (!hasCausality(m_atPort[i].bond()))
                    anyOpen = true;
                else if (bondCausalityFrom(m_atPort[i].bond(), m_atPort[i].end) == m_one)
                    anyOne = true;
                else
                    anyOther = true;
            }
            // The element has no causal input.
            if (anyOther && !anyOpen && !anyOne) {
                report_conflict(m_item.bond, 0);
                return 0;
            }
            if (!anyOpen)
                return 1;
            // The first open bond takes the other value when a bond has the one, and the one when
            // it is the only open bond; two open bonds leave the choice open.
            std::size_t first = 0;
            while (hasCausality(m_atPort[first].bond()))
                ++first;
            bool alone = !anyOne;
            for (std::size_t j = first + 1; j < n && alone; ++j)
                if (!hasCausality(m_atPort[j].bond()) && !sameEnd(m_atPort[j], m_atPort[first]))
                    alone = false;
            if (!anyOne && !alone)
                return 1;
            if (!assign(first, anyOne ? 3 - m_one : m_one))
                return 0;
            if (!hasCausality(m_atPort[first].bond()))
                return 1;
        }
    }

    /// One look at the open bonds: 0 failure, 1 nothing more to decide, 2 some bond decided.
    int examine()
    {
        std::vector<std::size_t> open, ones;
        for (std::size_t i = 0; i < m_atPort.size(); ++i) {
            if (!hasCausality(m_atPort[i].bond()))
                open.push_back(i);
            else if (bondCausalityFrom(m_atPort[i].bond(), m_atPort[i].end) == m_one)
                ones.push_back(i);
        }
        auto reachedBy = [&](const std::vector<std::size_t>& among, std::size_t except,
                             const std::vector<std::int64_t>& element) {
            return std::any_of(among.begin(), among.end(), [&](std::size_t j) {
                return !sameEnd(m_atPort[j], m_atPort[except]) && reachesElement(m_reach[j], element);
            });
        };
        // An element whose bonds are all decided without the one has no causal input.
        bool starved = false;
        auto among = [](const std::vector<std::size_t>& list, std::size_t i) {
            return std::find(list.begin(), list.end(), i) != list.end();
        };
        for (std::size_t i = 0; i < m_atPort.size() && !starved; ++i)
            if (!among(open, i) && !among(ones, i))
                forEachElement(m_reach[i], m_sub, [&](const std::vector<std::int64_t>& element) {
                    starved = starved || (!reachedBy(open, i, element) && !reachedBy(ones, i, element));
                });
        if (starved) {
            report_conflict(m_item.bond, 0);
            return 0;
        }
        // An open bond takes the other value where a bond at one of its elements has the one,
        // and the one where it is the only open bond at an element that has none. Two open
        // bonds at the same elements leave the choice there open: both are withdrawn. One bond
        // is decided at a time, since its value bears on the bonds it shares elements with.
        for (std::size_t i : open) {
            bool other = false, alone = false;
            forEachElement(m_reach[i], m_sub, [&](const std::vector<std::int64_t>& element) {
                const bool hasOne = reachedBy(ones, i, element);
                other = other || hasOne;
                alone = alone || (!hasOne && !reachedBy(open, i, element));
            });
            if (other && alone) {
                report_conflict(m_item.bond, 0);
                return 0;
            }
            if (other || alone) {
                if (!assign(i, other ? 3 - m_one : m_one))
                    return 0;
                return hasCausality(m_atPort[i].bond()) ? 2 : 1;
            }
        }
        return 1;
    }

    const Propagation& m_item;
    int m_one;
    const std::vector<BondEnd>& m_atPort;
    bool m_single;
    SubclassRec* m_sub = nullptr;
    std::vector<Elements> m_reach;
};

/// Lists of bond ends reused from one propagation to the next (propagations run one at a time).
std::vector<BondEnd> g_atPort;
std::vector<BondEnd> g_related;

int propagateItem(const Propagation& item)
{
    BondRec* bond = item.bond;
    const int far = 1 - item.end;
    const int v = bondCausalityFrom(bond, far);
    const EndInfo& info = endInfo(bond, far);
    if (!info.port)
        return portAt(bond, far) ? 1 : 0;
    if (info.c_type != C_CONSTR)
        return 1;
    PortRec* port = info.port;
    const int c_val = info.c_val;
    const int subSlot = info.sub;
    std::vector<BondEnd>& atPort = g_atPort;
    bondsAtConstraint(subSlot, c_val, atPort);
    if (g_state.touched)
        for (const BondEnd& e : atPort)
            g_state.touched->push_back(e.bond());
    if (c_val == CAUS_1ECY || c_val == CAUS_1FCY)
        return OneOfRule(item, c_val == CAUS_1ECY ? 1 : 2, atPort, g_state.tables.subclasses[static_cast<std::size_t>(subSlot)].single)
            .run();
    SubclassRec* sub = g_state.tables.subclasses[static_cast<std::size_t>(subSlot)].sub;
    // The relation rule for the bond end `from` (the incoming end, or a bond a SAME port passed on to).
    auto relations = [&](int value, const BondRec* fromBond, int fromEnd) -> int {
        if (port->relports.empty()) {
            causalityError(formatMessage("no related ports given for port %s of submodel %s.", port->name.c_str(),
                                         classLabel(sub).c_str()));
            return 0;
        }
        for (PtrNode<PortRec>* r = port->relports.head; r; r = r->next) {
            std::vector<BondEnd>& others = g_related;
            bondsAtPort(sub, r->item->name, others);
            if (g_state.touched)
                for (const BondEnd& e : others)
                    g_state.touched->push_back(e.bond());
            if (others.empty()) {
                causalityError(formatMessage("bond connected with port %s, which is not a port of submodel %s.",
                                             r->item->name.c_str(), classLabel(sub).c_str()));
                return 0;
            }
            int given = r->relation == 3 ? value : 3 - value;
            for (const BondEnd& e : others) {
                bool equal = false;
                if (r->item->c_val != CAUS_SAME && (!ranges_overlap(e.bond(), e.end, fromBond, fromEnd, equal) ||
                                                    !portRangesOverlap(e.bond(), e.end, fromBond, fromEnd)))
                    continue;
                if (!assign_causality(e.bond(), e.end, given, item.mode, item.group))
                    return 0;
            }
        }
        return 1;
    };
    if (port->c_val == CAUS_SAME) {
        // The incoming bond is bound by the port's relations as much as the bonds it passes on to;
        // left out, its related bonds stay open and a later free choice can break the relation.
        if (!port->relports.empty() && !relations(v, bond, far))
            return 0;
        for (const BondEnd& e : atPort) {
            if (e.bond() == bond && e.end == far)
                continue;
            if (!assign_causality(e.bond(), e.end, v, item.mode, item.group))
                return 0;
            if (!port->relports.empty() && !relations(v, e.bond(), e.end))
                return 0;
        }
        return 1;
    }
    return relations(v, bond, far);
}

/// Runs the pending propagations; the outermost assignment drives, inner ones only queue.
int drain()
{
    if (g_state.draining)
        return 1;
    g_state.draining = true;
    int ok = 1;
    while (ok && !g_state.work.empty()) {
        Propagation item = g_state.work.back();
        g_state.work.pop_back();
        ok = propagateItem(item);
    }
    g_state.work.clear();
    g_state.draining = false;
    return ok;
}

} // namespace

int propagate_causality(BondRec* bond, int end, Mode mode)
{
    if (aborted())
        return 0;
    g_state.work.push_back({bond, end, mode, 0});
    return drain();
}

void undoTrial()
{
    for (BondRec* bond : g_state.trial) {
        // A bond charged before the trial failed is an environment bond again.
        const auto slot = static_cast<std::size_t>(bondSlot(bond));
        if (g_state.tables.charged[slot]) {
            const auto [usedE, usedF] = chargeOf(bond, chargeAt(bond, 0), chargeAt(bond, 1));
            g_state.E += usedE;
            g_state.F += usedF;
            setEnvironment(slot, true);
            g_state.tables.charged[slot] = 0;
        }
        if (hasCausality(bond))
            bond->caus = CAUS_NONE;
    }
    g_state.trial.clear();
}

void keepTrial()
{
    g_state.assigned.insert(g_state.assigned.end(), g_state.trial.begin(), g_state.trial.end());
    g_state.trial.clear();
}

} // namespace causality
