// Causality assignment: one causality given to one bond end becomes the bond's causality,
// spreads through the causality constraints of the submodels, and is charged against the
// model-wide effort/flow budget. Propagation runs from a work list, so that long chains of
// submodels do not deepen the stack.
#include "modelproc/causality_assignment.h"

#include "modelproc/display_hooks.h"
#include "modelproc/graph_dissolution.h"
#include "modelproc/processing_pipeline.h"

#include <algorithm>
#include <utility>

namespace causality {

namespace {

CausalState g_state;

} // namespace

CausalState& causalState()
{
    return g_state;
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

SubclassRec* subAt(const BondRec* bond, int end)
{
    const ConnEnd& e = bond->con[end];
    return e.type == END_SUB ? static_cast<SubclassRec*>(e.node) : nullptr;
}

std::string classLabel(const SubclassRec* sub)
{
    if (!sub)
        return "";
    const ClassRec* cls = sub->cls;
    return formatMessage("%s%d:%s", cls ? cls->name.c_str() : "", cls ? cls->version : 0, instance_name(sub).c_str());
}

/// The port at the end of the bond; reports and gives null when the end or port is missing.
PortRec* portAt(const BondRec* bond, int end)
{
    SubclassRec* sub = subAt(bond, end);
    PortRec* port = sub && sub->cls ? findPort(sub->cls, bond->con[end].name) : nullptr;
    if (!port)
        causalityError(formatMessage("bond connected with port %s, which is not a port of submodel %s.",
                                     bond->con[end].name.c_str(), classLabel(sub).c_str()));
    return port;
}

bool hasCausality(const BondRec* bond)
{
    return bond->caus == CAUS_ECY || bond->caus == CAUS_FCY;
}

/// A port value as seen from the bond: kept at end 0, mirrored at end 1; -1 for none.
int seenFromBond(int end, int value)
{
    if (value != 1 && value != 2)
        return -1;
    return end == 0 ? value : 3 - value;
}

void bondLine(const BondRec* bond, int caus)
{
    if (!g_state.report)
        return;
    const char* arrow = caus == 1 ? "  -->|  " : caus == 2 ? "  |-->  " : "  --->  ";
    progress(" . " + instance_name(subAt(bond, 0)) + arrow + instance_name(subAt(bond, 1)));
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
    SubclassRec* sub = subAt(bond, end);
    PortRec* port = sub && sub->cls ? findPort(sub->cls, bond->con[end].name) : nullptr;
    if (!port)
        return false;
    if (port->c_type != C_CONSTR)
        return true;
    return port->relports.head && port->relports.head->relation == 3;
}

bool allowed(int value)
{
    return value == 1 ? g_state.E > 0 : value == 2 ? g_state.F > 0 : true;
}

bool isEnvironment(const BondRec* bond)
{
    return g_state.inEnvironment.count(bond) != 0;
}

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
        const bool counts0 = endCounts(bond, 0);
        const bool counts1 = endCounts(bond, 1);
        if ((counts0 && atEnd0 < 1) || (counts1 && atEnd1 < 1)) {
            // Unchecked bonds wait for the next check.
            g_state.recent.insert(g_state.recent.end(), recent.begin() + static_cast<std::ptrdiff_t>(i), recent.end());
            return 0;
        }
        if (counts0)
            --atEnd0;
        if (counts1)
            --atEnd1;
        const int usedE = (counts0 && bond->caus == 1) + (counts1 && bond->caus == 2);
        const int usedF = (counts0 && bond->caus == 2) + (counts1 && bond->caus == 1);
        g_state.charged[bond] = {usedE, usedF};
        g_state.inEnvironment.erase(bond);
    }
    return 1;
}

void global_counts(ClassRec* cls)
{
    GraphBody* body = cls->graph;
    int ecyBonds = 0, ecyElements = 0, fcyBonds = 0, fcyElements = 0, unequal = 0;
    g_state.environment.clear();
    g_state.inEnvironment.clear();
    g_state.charged.clear();
    auto join = [&](SubmodelType* type) {
        for (SubclassRec* user : type->users)
            for (BondRec* bond : user->bonds)
                if (g_state.inEnvironment.insert(bond).second)
                    g_state.environment.push_back(bond);
    };
    for (SubmodelType* type : body->types) {
        const int users = type->users.count();
        ClassRec* tc = type->cls;
        PortRec* first = tc ? tc->ports.first() : nullptr;
        if (!first || first->c_type != C_CONSTR) {
            join(type);
            continue;
        }
        int bonds = 0;
        for (SubclassRec* user : type->users)
            bonds += user->bonds.count();
        if (first->c_val == CAUS_1ECY) {
            ecyElements += users;
            ecyBonds += bonds;
        } else if (first->c_val == CAUS_1FCY) {
            fcyElements += users;
            fcyBonds += bonds;
        } else if (first->c_val == CAUS_SAME) {
            join(type);
        } else if (first->relports.head && first->relports.head->relation == 3) {
            join(type);
        } else if (first->relports.head && first->relports.head->relation == 4) {
            unequal += users * tc->ports.count();
        }
    }
    const int B = body->bonds.count();
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
        SubclassRec* sub = subAt(bond, end);
        PortRec* port = sub && sub->cls ? findPort(sub->cls, bond->con[end].name) : nullptr;
        if (!port || port->c_type != C_CONSTR || (port->c_val != CAUS_1ECY && port->c_val != CAUS_1FCY))
            continue;
        result = seenFromBond(end, port->c_val == CAUS_1ECY ? 1 : 2);
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
        low = up = index->intValue;
        return 1;
    }
    if (index->kind == TK_UPTO && index->left && index->right && index->left->kind == TK_INTEGER &&
        index->right->kind == TK_INTEGER) {
        low = index->left->intValue;
        up = index->right->intValue;
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

/// The bonds at one port of a subclass, each with its end there; a bond may meet the port twice.
std::vector<std::pair<BondRec*, int>> bondsAtPort(SubclassRec* sub, const std::string& port)
{
    std::vector<std::pair<BondRec*, int>> found;
    for (BondRec* bond : sub->bonds)
        for (int k = 0; k < 2; ++k)
            if (bond->con[k].type == END_SUB && bond->con[k].node == sub && bond->con[k].name == port)
                found.push_back({bond, k});
    std::reverse(found.begin(), found.end()); // bonds were put in front as they were read
    return found;
}

/// The bonds at every port of the subclass that shares the constraint (a junction's ports).
std::vector<std::pair<BondRec*, int>> bondsAtConstraint(SubclassRec* sub, int c_val)
{
    std::vector<std::pair<BondRec*, int>> found;
    for (PortRec* port : sub->cls->ports)
        if (port->c_type == C_CONSTR && port->c_val == c_val)
            for (const auto& item : bondsAtPort(sub, port->name))
                found.push_back(item);
    return found;
}

int propagateItem(const Propagation& item)
{
    BondRec* bond = item.bond;
    const int far = 1 - item.end;
    const int v = bondCausalityFrom(bond, far);
    PortRec* port = portAt(bond, far);
    if (!port)
        return 0;
    if (port->c_type != C_CONSTR)
        return 1;
    SubclassRec* sub = subAt(bond, far);
    auto atPort = bondsAtConstraint(sub, port->c_val);
    if (g_state.touched)
        for (const auto& item : atPort)
            g_state.touched->push_back(item.first);
    if (port->c_val == CAUS_1ECY || port->c_val == CAUS_1FCY) {
        const int one = port->c_val == CAUS_1ECY ? 1 : 2;
        if (v == one) {
            for (auto [b, k] : atPort)
                if (!(b == bond && k == far) && !assign_causality(b, k, 3 - one, item.mode, item.group))
                    return 0;
            return 1;
        }
        bool known = false;
        std::vector<std::pair<BondRec*, int>> open;
        for (auto [b, k] : atPort) {
            if (!hasCausality(b))
                open.push_back({b, k});
            else if (bondCausalityFrom(b, k) == one)
                known = true;
        }
        if (known) {
            for (auto [b, k] : open)
                if (!assign_causality(b, k, 3 - one, item.mode, item.group))
                    return 0;
            return 1;
        }
        // Every bond decided and none of them the one: the junction has no causal input.
        if (open.empty()) {
            report_conflict(bond, 0);
            return 0;
        }
        // Two open bonds that cover the same elements leave the choice open.
        if (open.size() == 1)
            return assign_causality(open[0].first, open[0].second, one, item.mode, item.group);
        return 1;
    }
    // The relation rule for the bond end `from` (the incoming end, or a bond a SAME port passed on to).
    auto relations = [&](int value, const BondRec* fromBond, int fromEnd) -> int {
        if (port->relports.empty()) {
            causalityError(formatMessage("no related ports given for port %s of submodel %s.", port->name.c_str(),
                                         classLabel(sub).c_str()));
            return 0;
        }
        for (PtrNode<PortRec>* r = port->relports.head; r; r = r->next) {
            auto others = bondsAtPort(sub, r->item->name);
            if (g_state.touched)
                for (const auto& item : others)
                    g_state.touched->push_back(item.first);
            if (others.empty()) {
                causalityError(formatMessage("bond connected with port %s, which is not a port of submodel %s.",
                                             r->item->name.c_str(), classLabel(sub).c_str()));
                return 0;
            }
            int given = r->relation == 3 ? value : 3 - value;
            for (auto [b, k] : others) {
                bool equal = false;
                if (r->item->c_val != CAUS_SAME && !ranges_overlap(b, k, fromBond, fromEnd, equal))
                    continue;
                if (!assign_causality(b, k, given, item.mode, item.group))
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
        for (auto [b, k] : atPort) {
            if (b == bond && k == far)
                continue;
            if (!assign_causality(b, k, v, item.mode, item.group))
                return 0;
            if (!port->relports.empty() && !relations(v, b, k))
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
        if (hasCausality(bond))
            bond->caus = CAUS_NONE;
        // A bond charged before the trial failed is an environment bond again.
        auto it = g_state.charged.find(bond);
        if (it != g_state.charged.end()) {
            g_state.E += it->second.first;
            g_state.F += it->second.second;
            g_state.inEnvironment.insert(bond);
            g_state.charged.erase(it);
        }
    }
    g_state.trial.clear();
}

void keepTrial()
{
    g_state.assigned.insert(g_state.assigned.end(), g_state.trial.begin(), g_state.trial.end());
    g_state.trial.clear();
}

} // namespace causality
