// Causal analysis of an expanded graph model: every bond gets effort or flow causality
// that meets the causality restrictions of the submodel ports, phase by phase.
#include "modelproc/causal_analysis.h"

#include "modelproc/causality_assignment.h"
#include "modelproc/display_hooks.h"
#include "modelproc/graph_dissolution.h"
#include "modelproc/model_records.h"
#include "modelproc/processing_pipeline.h"
#include "modelproc/record_release.h"

#include <algorithm>
#include <set>
#include <unordered_map>
#include <vector>

using namespace causality;

namespace {

struct PreferredCandidate {
    BondRec* bond = nullptr;
    int end = 0;
    int score = 0;
    int wanted = 0;
    int integral = 1;
    int priority = -1;
};


CausalState& g_state = causalState();

// --- phases ----------------------------------------------------------------------------

/// Every end of every bond has its port; false after reporting the first that has none.
bool portsPresent(GraphBody* body)
{
    for (BondRec* bond : body->bonds)
        for (int end = 0; end < 2; ++end)
            if (!portAt(bond, end))
                return false;
    return true;
}

int fixedPhase(GraphBody* body)
{
    for (BondRec* bond : body->bonds)
        for (int end = 0; end < 2; ++end) {
            if (aborted())
                return 0;
            PortRec* port = portAt(bond, end);
            if (port->c_type != C_FIX)
                continue;
            if (!hasCausality(bond)) {
                if ((endCounts(bond, end) && !allowed(port->c_val)) ||
                    !assign_causality(bond, end, port->c_val, MODE_FIXED) || !check_global_budget()) {
                    report_conflict(bond, 4);
                    return 0;
                }
            } else if (!assign_causality(bond, end, port->c_val, MODE_FIXED)) {
                return 0;
            }
        }
    return 1;
}

int userPhase(GraphBody* body)
{
    bool first = true;
    for (BondRec* bond : body->bonds) {
        if (aborted())
            return 0;
        if (bond->caus != CAUS_USER_E && bond->caus != CAUS_USER_F)
            continue;
        if (first)
            progress("   Causality assigning phase: user causality");
        first = false;
        const int v = bond->caus == CAUS_USER_E ? 1 : 2;
        const int w = 3 - v;
        bool ok = true;
        if (isEnvironment(bond))
            ok = (!endCounts(bond, 0) || allowed(v)) && (!endCounts(bond, 1) || allowed(w));
        if (ok) {
            g_state.reassign = true;
            ok = assign_causality(bond, 0, v, MODE_USER);
        }
        if (ok) {
            g_state.reassign = true;
            ok = assign_causality(bond, 1, w, MODE_USER);
        }
        if (!ok || !check_global_budget()) {
            report_conflict(bond, 4);
            return 0;
        }
    }
    return 1;
}

struct PreferredState {
    std::vector<PreferredCandidate> kept;
    std::vector<PreferredCandidate> last; ///< the candidates of the last preferred phase
};

PreferredState g_preferred;

/// The candidates of one preferred phase with their trial scores. A trial only looks at the
/// bonds it touches, so its score stays valid until one of those bonds is assigned for real.
class CandidateSet {
public:
    explicit CandidateSet(std::vector<PreferredCandidate> candidates) : m_items(std::move(candidates))
    {
        m_state.resize(m_items.size());
        m_alive = m_items.size();
        for (const auto& c : m_items)
            ++m_count[c.bond];
    }

    /// `optimal_search`: the first candidate of the highest score (the first when all are 0).
    std::size_t best()
    {
        progress("   Searching for optimal causallity assignment:");
        const bool budgetE = g_state.E > 0;
        const bool budgetF = g_state.F > 0;
        if (budgetE != m_budgetE || budgetF != m_budgetF) {
            for (std::size_t i = 0; i < m_items.size(); ++i)
                invalidate(i);
            m_budgetE = budgetE;
            m_budgetF = budgetF;
        }
        for (std::size_t i : m_stale)
            if (m_state[i].alive && !m_state[i].valid)
                evaluate(i);
        m_stale.clear();
        return m_order.begin()->second;
    }

    PreferredCandidate& operator[](std::size_t i) { return m_items[i]; }

    /// Candidates (bonds counted with multiplicity) among the bonds assigned by one trial.
    int assignedAmong(const std::vector<BondRec*>& bonds) const
    {
        int n = 0;
        for (const BondRec* b : bonds) {
            auto it = m_count.find(b);
            if (it != m_count.end())
                n += it->second;
        }
        return n;
    }

    /// After a real step: trials that looked at the assigned bonds are out of date, and the
    /// candidates whose bonds got a causality leave, in list order.
    std::vector<std::size_t> settle(const std::vector<BondRec*>& assigned)
    {
        std::vector<std::size_t> leaving;
        for (const BondRec* b : assigned) {
            auto it = m_watchers.find(b);
            if (it == m_watchers.end())
                continue;
            for (std::size_t i : it->second)
                invalidate(i);
            m_watchers.erase(it);
        }
        for (const BondRec* b : assigned) {
            auto it = m_byBond.find(b);
            if (it == m_byBond.end())
                continue;
            for (std::size_t i : it->second)
                if (m_state[i].alive && hasCausality(m_items[i].bond))
                    leaving.push_back(i);
        }
        std::sort(leaving.begin(), leaving.end());
        leaving.erase(std::unique(leaving.begin(), leaving.end()), leaving.end());
        for (std::size_t i : leaving) {
            m_state[i].alive = false;
            --m_alive;
            m_order.erase({-m_items[i].score, i});
            if (--m_count[m_items[i].bond] == 0)
                m_count.erase(m_items[i].bond);
        }
        return leaving;
    }

    std::vector<PreferredCandidate> alive() const
    {
        std::vector<PreferredCandidate> left;
        for (std::size_t i = 0; i < m_items.size(); ++i)
            if (m_state[i].alive)
                left.push_back(m_items[i]);
        return left;
    }

    void start()
    {
        for (std::size_t i = 0; i < m_items.size(); ++i) {
            m_byBond[m_items[i].bond].push_back(i);
            m_stale.push_back(i);
        }
        m_budgetE = g_state.E > 0;
        m_budgetF = g_state.F > 0;
    }

    bool done() const { return m_alive == 0; }

private:
    struct State {
        bool alive = true;
        bool valid = false;
    };

    void invalidate(std::size_t i)
    {
        if (!m_state[i].alive || !m_state[i].valid)
            return;
        m_state[i].valid = false;
        m_order.erase({-m_items[i].score, i});
        m_stale.push_back(i);
    }

    void evaluate(std::size_t i)
    {
        PreferredCandidate& c = m_items[i];
        std::vector<const BondRec*> touched;
        if (!allowed(c.wanted)) {
            progress(formatMessage("Warning: Assigning diff caus to %s due to global constr.",
                                   instance_name(subAt(c.bond, 1)).c_str()));
            c.score = 0;
            touched.push_back(c.bond);
        } else {
            const std::size_t recentBefore = g_state.recent.size();
            g_state.touched = &touched;
            if (assign_causality(c.bond, c.end, c.wanted, MODE_PREFERRED)) {
                c.score = static_cast<int>(g_state.trial.size()) * assignedAmong(g_state.trial);
            } else {
                c.score = 0;
                c.integral = 0;
                c.wanted = 3 - c.wanted;
            }
            g_state.touched = nullptr;
            undoTrial();
            g_state.recent.resize(recentBefore);
        }
        for (const BondRec* b : touched)
            m_watchers[b].push_back(i);
        m_state[i].valid = true;
        m_order.insert({-c.score, i});
    }

    std::vector<PreferredCandidate> m_items;
    std::vector<State> m_state;
    std::unordered_map<const BondRec*, int> m_count;
    std::unordered_map<const BondRec*, std::vector<std::size_t>> m_byBond;
    std::unordered_map<const BondRec*, std::vector<std::size_t>> m_watchers;
    std::set<std::pair<int, std::size_t>> m_order;
    std::vector<std::size_t> m_stale;
    bool m_budgetE = false;
    bool m_budgetF = false;
    std::size_t m_alive = 0;
};

int preferredPhase(GraphBody* body, int pass)
{
    std::vector<PreferredCandidate> candidates;
    if (pass == 0) {
        g_preferred.kept.clear();
        for (BondRec* bond : body->bonds)
            for (int end = 0; end < 2; ++end) {
                PortRec* port = portAt(bond, end);
                if (port->c_type != C_PREFER)
                    continue;
                if (hasCausality(bond)) {
                    if (bondCausalityFrom(bond, end) != port->c_val)
                        ++g_state.derivatives;
                } else {
                    candidates.push_back(PreferredCandidate{bond, end, 0, port->c_val, 1, -1});
                }
            }
        // New candidates go to the front of the list.
        std::reverse(candidates.begin(), candidates.end());
    } else {
        candidates = g_preferred.kept;
        g_preferred.kept.clear();
        progress("   Start re-assigning causality after errors");
    }
    g_preferred.last.clear();
    if (candidates.empty())
        return 1;
    progress("   Causality assigning phase: preferred causality");
    if (pass > 0) {
        auto top = std::max_element(candidates.begin(), candidates.end(),
                                    [](const auto& a, const auto& b) { return a.priority < b.priority; });
        top->priority = -1;
        top->integral = 0;
        top->wanted = 3 - top->wanted;
    }
    CandidateSet set(std::move(candidates));
    set.start();
    std::vector<PreferredCandidate> done;
    std::vector<PreferredCandidate> kept; // in the order they leave; the kept list is its reverse
    auto keepAll = [&] { g_preferred.kept.insert(g_preferred.kept.begin(), kept.rbegin(), kept.rend()); };
    while (!set.done()) {
        g_state.report = false;
        std::size_t chosen = set.best();
        g_state.report = true;
        PreferredCandidate& c = set[chosen];
        std::vector<BondRec*> assigned;
        if (!hasCausality(c.bond)) {
            if (!assign_causality(c.bond, c.end, c.wanted, MODE_PREFERRED) || !check_global_budget()) {
                report_conflict(c.bond, 4);
                undoTrial();
                keepAll();
                std::vector<PreferredCandidate> left = set.alive();
                g_preferred.kept.insert(g_preferred.kept.begin(), left.begin(), left.end());
                return 0;
            }
            if (c.integral) {
                ++g_state.eigenvalues;
                c.priority = set.assignedAmong(g_state.trial);
            } else {
                ++g_state.derivatives;
            }
            assigned = g_state.trial;
            keepTrial();
        } else {
            assigned.push_back(c.bond);
        }
        for (std::size_t i : set.settle(assigned)) {
            PreferredCandidate& k = set[i];
            if (bondCausalityFrom(k.bond, k.end) != k.wanted) {
                k.integral = 0;
                k.priority = -1;
                k.wanted = 3 - k.wanted;
                ++g_state.derivatives;
            }
            kept.push_back(k);
            done.push_back(k);
        }
    }
    keepAll();
    g_preferred.last = done;
    return 1;
}

/// After a failed free assignment: the trial is undone and the bond gets the other strong value,
/// carried to the submodels at both ends (assigned at end 0, it would otherwise reach only end 1).
int reassignAfterError(BondRec* bond)
{
    undoTrial();
    progress("   Start re-assigning causality after errors");
    if (!assign_causality(bond, 0, 3 - strong_causality(bond), MODE_FREE) ||
        !propagate_causality(bond, 1, MODE_FREE)) {
        undoTrial();
        return 0;
    }
    return 1;
}

int indifferentPhase(GraphBody* body)
{
    if (g_state.inEnvironment.empty())
        return 1;
    progress("   Causality assigning phase: indifferent causality");
    for (BondRec* bond : body->bonds)
        for (int end = 0; end < 2; ++end) {
            if (aborted())
                return 0;
            PortRec* port = portAt(bond, end);
            if (port->c_type != C_INDIFF || hasCausality(bond))
                continue;
            ++g_state.algebraicLoops;
            if (!(assign_causality(bond, end, 0, MODE_FREE) && check_global_budget()) && !reassignAfterError(bond))
                return 0; // a bond that takes neither causality fails the phase, whatever follows
            g_state.loopBreak.insert(g_state.loopBreak.begin(), bond);
            keepTrial();
        }
    return 1;
}

/// One undetermined bond takes `value` at end 0 (0: its strong causality), and its causality is
/// carried to the submodels at both ends; an environment bond is charged after each end.
int settleUndetermined(BondRec* bond, int value, bool environment)
{
    for (int end = 0; end < 2; ++end) {
        if (!assign_causality(bond, end, end == 0 ? value : 0, MODE_FREE) ||
            !propagate_causality(bond, 1 - end, MODE_FREE))
            return 0;
        if (environment && !check_global_budget())
            return 0;
    }
    return 1;
}

int undeterminedPhase(GraphBody* body)
{
    for (BondRec* bond : body->bonds) {
        if (aborted())
            return 0;
        if (hasCausality(bond))
            continue;
        progress("   Causality assigning phase: undetermined causality");
        const bool environment = isEnvironment(bond);
        // The whole bond is one trial: a failure at either end tries the other causality.
        if (!settleUndetermined(bond, 0, environment)) {
            undoTrial();
            progress("   Start re-assigning causality after errors");
            if (!settleUndetermined(bond, 3 - strong_causality(bond), environment)) {
                undoTrial();
                return 0;
            }
        }
        keepTrial();
        g_state.loopBreak.insert(g_state.loopBreak.begin(), bond);
        ++g_state.causalCycles;
    }
    return 1;
}

int check_submodels_dynamic(GraphBody* body)
{
    for (SubclassRec* sub : body->subclasses) {
        if (aborted())
            return 0;
        if (!sub->cls) {
            causalityError(formatMessage("no model description available of submodel %s.", instance_name(sub).c_str()));
            return 0;
        }
        if (sub->cls->type != CLASS_DYN) {
            causalityError(formatMessage("submodel %s is not a dynamic model.", classLabel(sub).c_str()));
            return 0;
        }
    }
    // Every end the phases rely on must be a subclass port.
    for (BondRec* bond : body->bonds)
        for (const ConnEnd& end : bond->con)
            if (end.type != END_SUB || !end.node) {
                causalityError("<error: bond end is no port of a submodel>");
                return 0;
            }
    return 1;
}


} // namespace

int causal_analysis(ClassRec* cls, const std::string& modelFile)
{
    g_state = CausalState{};
    g_preferred = PreferredState{};
    g_state.errorFile = modelFile;
    if (!cls->ports.empty()) {
        causalityError("<error: this model still contains ports>");
        return 0;
    }
    GraphBody* body = cls->graph;
    if (!body)
        return 0;
    g_state.body = body;
    if (!check_submodels_dynamic(body) || !portsPresent(body))
        return 0;
    global_counts(cls);
    progress("Assigning causality to bond between submodels:");
    if (!fixedPhase(body) || !userPhase(body))
        return 0;
    int limit = 0;
    bool lastFailed = false;
    for (int pass = 0;; ++pass) {
        g_state.derivatives = g_state.algebraicLoops = g_state.causalCycles = g_state.eigenvalues = 0;
        if (!preferredPhase(body, pass))
            return 0;
        if (pass == 0)
            limit = g_state.eigenvalues;
        bool ok = indifferentPhase(body) && undeterminedPhase(body);
        if (!ok) {
            for (BondRec* bond : g_state.assigned)
                if (hasCausality(bond))
                    bond->caus = CAUS_NONE;
            g_state.assigned.clear();
            // Fresh counts: every environment bond that keeps its causality is charged again.
            global_counts(cls);
            g_state.recent = g_state.environment;
            if (!check_global_budget())
                return 0;
        } else {
            g_state.assigned.clear();
        }
        lastFailed = !ok;
        if (!(lastFailed && g_state.eigenvalues != 0 && pass + 1 <= limit))
            break;
    }
    // Equations must never be made from bonds without causality.
    if (lastFailed)
        return 0;
    if (Pipeline().depth < 6)
        for (SubclassRec* sub : body->subclasses)
            if (sub->cls) {
                ttfree_class(sub->cls);
                sub->cls = nullptr;
            }
    cls->causal = 1;
    int result = 1;
    if (g_state.derivatives != 0) {
        progress(formatMessage("%d derivative causalit%s located.", g_state.derivatives,
                               g_state.derivatives == 1 ? "y is" : "ies are"));
        result = 2;
    }
    if (g_state.algebraicLoops != 0) {
        progress(formatMessage("%d algebraic loop%s located.", g_state.algebraicLoops,
                               g_state.algebraicLoops == 1 ? " is" : "s are"));
        progress("Possible algebraic loop break variables can be found in the bonds:");
        for (BondRec* bond : g_state.loopBreak)
            bondLine(bond, bond->caus);
        result = 3;
    }
    if (g_state.causalCycles != 0) {
        progress(formatMessage("%d causalcycle%s located.", g_state.causalCycles,
                               g_state.causalCycles == 1 ? " is" : "s are"));
        result = 3;
    }
    if (g_state.eigenvalues != 0) {
        progress(formatMessage("   Number of distinct eigenvalues (degrees of freedom) \r\n   of the system modelled "
                               "is: %d.",
                               g_state.eigenvalues));
        for (const auto& c : g_preferred.last)
            if (c.priority > 0)
                bondLine(c.bond, c.bond->caus);
    }
    return result;
}
