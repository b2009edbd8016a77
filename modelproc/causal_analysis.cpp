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
#include <cstdint>
#include <vector>

using namespace causality;

namespace {

// Two of these for every few cells of a big model: the wide fields come first, so that one
// takes 32 bytes.
struct PreferredCandidate {
    BondRec* bond = nullptr;
    std::int64_t score = 0; ///< bonds of the trial times candidates among them: may pass 2^31
    int end = 0;
    int wanted = 0;
    int integral = 1;
    int priority = -1;
};
static_assert(sizeof(PreferredCandidate) == 32);


CausalState& g_state = causalState();

/// The bonds of the body in list order, as the tables hold them (they may grow meanwhile).
struct BodyBonds {
    struct Iterator {
        std::size_t i;
        BondRec* operator*() const { return g_state.tables.bonds[i]; }
        Iterator& operator++()
        {
            ++i;
            if (i + kBondsAhead < g_state.tables.bodyBonds)
                prefetchBond(g_state.tables.bonds[i + kBondsAhead]);
            return *this;
        }
        bool operator!=(const Iterator& other) const { return i != other.i; }
    };
    Iterator begin() const { return {0}; }
    Iterator end() const { return {g_state.tables.bodyBonds}; }
};

// --- phases ----------------------------------------------------------------------------

/// Every end of every bond has its port; false after reporting the first that has none.
bool portsPresent()
{
    for (BondRec* bond : BodyBonds{})
        for (int end = 0; end < 2; ++end)
            if (!portAt(bond, end))
                return false;
    return true;
}

int fixedPhase()
{
    for (BondRec* bond : BodyBonds{})
        for (int end = 0; end < 2; ++end) {
            if (aborted())
                return 0;
            const EndInfo& info = endInfo(bond, end);
            if (info.c_type != C_FIX)
                continue;
            const int c_val = info.c_val;
            if (!hasCausality(bond)) {
                if ((info.counts && !allowed(c_val)) || !assign_causality(bond, end, c_val, MODE_FIXED) ||
                    !check_global_budget()) {
                    report_conflict(bond, 4);
                    return 0;
                }
            } else if (!assign_causality(bond, end, c_val, MODE_FIXED)) {
                return 0;
            }
        }
    return 1;
}

int userPhase()
{
    bool first = true;
    for (BondRec* bond : BodyBonds{}) {
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
    /// The candidates of the last preferred phase, in the order they left it; the next pass
    /// takes them up newest first.
    std::vector<PreferredCandidate> last;
};

PreferredState g_preferred;

/// Lists of numbers kept in one pool, each a chain of nodes with the newest in front, known by
/// its first node (-1: empty). The nodes of a list taken are used again for the lists that
/// follow, so that the pool keeps to the numbers listed at one time.
class ChainPool {
public:
    void push(int& head, int value)
    {
        int node = m_free;
        if (node >= 0) {
            m_free = m_nodes[static_cast<std::size_t>(node)].next;
            m_nodes[static_cast<std::size_t>(node)] = {value, head};
        } else {
            node = static_cast<int>(m_nodes.size());
            m_nodes.push_back({value, head});
        }
        head = node;
    }
    /// The newest number of a list that is not empty.
    int front(int head) const { return m_nodes[static_cast<std::size_t>(head)].value; }
    /// Empties the list and calls `visit` with its numbers, the oldest first.
    template <typename Visit>
    void take(int& head, Visit visit)
    {
        if (head < 0)
            return;
        m_taken.clear();
        int last = head;
        for (int node = head; node >= 0; node = m_nodes[static_cast<std::size_t>(node)].next) {
            m_taken.push_back(m_nodes[static_cast<std::size_t>(node)].value);
            last = node;
        }
        m_nodes[static_cast<std::size_t>(last)].next = m_free;
        m_free = head;
        head = -1;
        for (auto it = m_taken.rbegin(); it != m_taken.rend(); ++it)
            visit(*it);
    }
    void reserve(std::size_t nodes) { m_nodes.reserve(nodes); }
    /// Has the reserved nodes' pages made present by another processor.
    void pagesAhead() { causality::pagesAhead(m_nodes); }

private:
    struct Node {
        int value;
        int next;
    };
    std::vector<Node> m_nodes;
    int m_free = -1;
    std::vector<int> m_taken;
};

/// The candidates of one preferred phase with their trial scores. A trial only looks at the
/// bonds it touches, so its score stays valid until one of those bonds is assigned for real.
/// Bonds are looked up by their number in the analysis's tables.
class CandidateSet {
public:
    struct Room;

    CandidateSet(std::vector<PreferredCandidate> candidates, Room& room) : m_items(std::move(candidates))
    {
        m_state = std::move(room.state);
        m_bonds = std::move(room.bonds);
        m_stale = std::move(room.stale);
        m_heap = std::move(room.heap);
        m_pool = std::move(room.pool);
        m_state.resize(m_items.size());
        m_alive = m_items.size();
        // A bond end is a candidate once at most.
        for (std::size_t i = 0; i < m_items.size(); ++i) {
            if (i + kBondsAhead < m_items.size())
                prefetchBond(m_items[i + kBondsAhead].bond);
            bondAt(m_items[i].bond).candidate[m_items[i].end] = static_cast<int>(i);
        }
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
        for (const std::uint32_t i : m_stale)
            if (m_state[i].alive && !m_state[i].valid)
                evaluate(i);
        m_stale.clear();
        // Scores of candidates evaluated again, or gone, are left in the heap until they surface.
        for (;;) {
            const Score& top = m_heap.front();
            const State& state = m_state[top.index];
            if (state.alive && state.valid && state.version == top.version)
                return top.index;
            std::pop_heap(m_heap.begin(), m_heap.end());
            m_heap.pop_back();
        }
    }

    PreferredCandidate& operator[](std::size_t i) { return m_items[i]; }

    /// Candidates (bonds counted with multiplicity) among the bonds assigned by one trial.
    int assignedAmong(const std::vector<BondRec*>& bonds)
    {
        int n = 0;
        for (const BondRec* b : bonds)
            n += candidatesLeft(bondAt(b));
        return n;
    }

    /// After a real step: trials that looked at the assigned bonds are out of date, and the
    /// candidates whose bonds got a causality leave, in list order.
    const std::vector<std::size_t>& settle(const std::vector<BondRec*>& assigned)
    {
        std::vector<std::size_t>& leaving = m_leaving;
        leaving.clear();
        for (const BondRec* b : assigned)
            m_pool.take(bondAt(b).watchers, [&](int i) { invalidate(static_cast<std::size_t>(i)); });
        for (const BondRec* b : assigned)
            for (const int i : bondAt(b).candidate)
                if (i >= 0 && m_state[static_cast<std::size_t>(i)].alive && hasCausality(m_items[static_cast<std::size_t>(i)].bond))
                    leaving.push_back(static_cast<std::size_t>(i));
        std::sort(leaving.begin(), leaving.end());
        leaving.erase(std::unique(leaving.begin(), leaving.end()), leaving.end());
        for (std::size_t i : leaving) {
            m_state[i].alive = false;
            --m_alive;
        }
        return leaving;
    }

    void start()
    {
        for (std::size_t i = 0; i < m_items.size(); ++i)
            m_stale.push_back(static_cast<std::uint32_t>(i));
        m_budgetE = g_state.E > 0;
        m_budgetF = g_state.F > 0;
    }

    bool done() const { return m_alive == 0; }
    std::size_t size() const { return m_items.size(); }

    /// The candidates, once all have left, in the order given by their numbers (every number
    /// once): put in place in their own list, which is handed over.
    std::vector<PreferredCandidate> takeInOrder(const std::vector<std::uint32_t>& order)
    {
        // new[k] = old[order[k]], one cycle of the permutation at a time; `valid` marks the
        // places filled.
        for (State& state : m_state)
            state.valid = false;
        for (std::size_t start = 0; start < order.size(); ++start) {
            if (m_state[start].valid)
                continue;
            const PreferredCandidate first = m_items[start];
            std::size_t k = start;
            for (;;) {
                m_state[k].valid = true;
                const std::size_t from = order[k];
                if (from == start) {
                    m_items[k] = first;
                    break;
                }
                m_items[k] = m_items[from];
                k = from;
            }
        }
        return std::move(m_items);
    }

private:
    struct State {
        bool alive = true;
        bool valid = false;
        std::uint32_t version = 0;
    };
    /// One for every bond of the tables: kept small.
    struct PerBond {
        int candidate[2] = {-1, -1}; ///< the candidate at each end, -1 for none
        int watchers = -1;           ///< candidates whose trial looked at the bond, newest first
    };
    struct Score {
        std::int64_t score;
        std::uint32_t index;
        std::uint32_t version;
        /// The heap's top is the highest score, the first candidate among equals.
        bool operator<(const Score& other) const
        {
            return score != other.score ? score < other.score : index > other.index;
        }
    };

public:
    /// The tables of a set and of its phase, laid out before the phases start (see
    /// `layOutPreferredPhase`).
    struct Room {
        std::vector<PreferredCandidate> items;
        std::vector<std::uint32_t> done;
        std::vector<State> state;
        std::vector<PerBond> bonds;
        std::vector<std::uint32_t> stale;
        std::vector<Score> heap;
        ChainPool pool;

        /// Room for `candidates` and the analysis's bonds, enough for a trial of every candidate
        /// (more grows as usual). On a big model, another processor makes the fresh pages present
        /// meanwhile.
        void reserve(std::size_t candidates)
        {
            const std::size_t bondCount = g_state.tables.bonds.size();
            items.reserve(candidates);
            done.reserve(candidates);
            state.reserve(candidates);
            bonds.reserve(bondCount);
            stale.reserve(candidates);
            heap.reserve(4 * candidates);
            pool.reserve(8 * candidates);
            // In the order of first use. Most candidates are scored about twice, so that the
            // second half of the heap's room is seldom reached.
            pagesAhead(items);
            pagesAhead(state);
            pagesAhead(bonds);
            pagesAhead(stale);
            pagesAhead(heap, 2 * candidates);
            pool.pagesAhead();
            pagesAhead(done);
        }
    };

private:
    /// Candidates of the bond still in the set.
    int candidatesLeft(const PerBond& entry) const
    {
        int n = 0;
        for (const int i : entry.candidate)
            n += i >= 0 && m_state[static_cast<std::size_t>(i)].alive;
        return n;
    }

    PerBond& bondAt(const BondRec* bond)
    {
        const auto slot = static_cast<std::size_t>(bondSlot(bond));
        if (slot >= m_bonds.size())
            m_bonds.resize(std::max(slot + 1, g_state.tables.bonds.size()));
        return m_bonds[slot];
    }

    void invalidate(std::size_t i)
    {
        if (!m_state[i].alive || !m_state[i].valid)
            return;
        m_state[i].valid = false;
        m_stale.push_back(static_cast<std::uint32_t>(i));
    }

    void evaluate(std::size_t i)
    {
        PreferredCandidate& c = m_items[i];
        m_touched.clear();
        if (!allowed(c.wanted)) {
            progress(formatMessage("Warning: Assigning diff caus to %s due to global constr.",
                                   instance_name(subAt(c.bond, 1)).c_str()));
            c.score = 0;
            m_touched.push_back(c.bond);
        } else {
            const std::size_t recentBefore = g_state.recent.size();
            g_state.touched = &m_touched;
            if (assign_causality(c.bond, c.end, c.wanted, MODE_PREFERRED)) {
                c.score = static_cast<std::int64_t>(g_state.trial.size()) * assignedAmong(g_state.trial);
            } else {
                c.score = 0;
                c.integral = 0;
                c.wanted = 3 - c.wanted;
            }
            g_state.touched = nullptr;
            undoTrial();
            g_state.recent.resize(recentBefore);
        }
        // A bond lists the candidate once however often the trial looked at it; listed still
        // from an earlier trial, it already has it in front.
        for (const BondRec* b : m_touched) {
            PerBond& entry = bondAt(b);
            if (entry.watchers < 0 || m_pool.front(entry.watchers) != static_cast<int>(i))
                m_pool.push(entry.watchers, static_cast<int>(i));
        }
        State& state = m_state[i];
        state.valid = true;
        ++state.version;
        m_heap.push_back({c.score, static_cast<std::uint32_t>(i), state.version});
        std::push_heap(m_heap.begin(), m_heap.end());
    }

    std::vector<PreferredCandidate> m_items;
    std::vector<State> m_state;
    std::vector<PerBond> m_bonds;
    ChainPool m_pool;
    std::vector<Score> m_heap;
    std::vector<std::uint32_t> m_stale;
    std::vector<const BondRec*> m_touched;
    std::vector<std::size_t> m_leaving;
    bool m_budgetE = false;
    bool m_budgetF = false;
    std::size_t m_alive = 0;
};

CandidateSet::Room g_room;

/// Lays out the preferred phase's tables for every preferred end, counted in the tables (grown
/// step by step, they would be copied into fresh memory again and again), and the list of the
/// bonds assigned.
void layOutPreferredPhase()
{
    std::size_t preferred = 0;
    const std::vector<EndInfo>& ends = g_state.tables.endInfo;
    for (std::size_t i = 0; i < 2 * g_state.tables.bodyBonds; ++i)
        preferred += ends[i].looked && ends[i].c_type == C_PREFER;
    g_room.reserve(preferred);
    g_state.assigned.reserve(g_state.tables.bodyBonds);
    pagesAhead(g_state.assigned);
}

int preferredPhase(int pass)
{
    // The room of the first pass was laid out before the phases started; a later pass lays out
    // its own as it starts.
    if (pass > 0)
        g_room.reserve(g_preferred.last.size());
    std::vector<PreferredCandidate> candidates = std::move(g_room.items);
    if (pass == 0) {
        for (BondRec* bond : BodyBonds{})
            for (int end = 0; end < 2; ++end) {
                const EndInfo& info = endInfo(bond, end);
                if (info.c_type != C_PREFER)
                    continue;
                if (hasCausality(bond)) {
                    if (bondCausalityFrom(bond, end) != info.c_val)
                        ++g_state.derivatives;
                } else {
                    candidates.push_back(PreferredCandidate{bond, 0, end, info.c_val, 1, -1});
                }
            }
        // New candidates go to the front of the list.
        std::reverse(candidates.begin(), candidates.end());
    } else {
        // A later pass follows only a preferred phase that succeeded.
        candidates.assign(g_preferred.last.rbegin(), g_preferred.last.rend());
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
    CandidateSet set(std::move(candidates), g_room);
    set.start();
    // The candidates by number in the order they leave; they are put in that order at the end.
    std::vector<std::uint32_t> done = std::move(g_room.done);
    std::vector<BondRec*> assigned;
    while (!set.done()) {
        g_state.report = false;
        std::size_t chosen = set.best();
        g_state.report = true;
        PreferredCandidate& c = set[chosen];
        assigned.clear();
        if (!hasCausality(c.bond)) {
            // A failure ends the analysis: no candidate is kept for another pass.
            if (!assign_causality(c.bond, c.end, c.wanted, MODE_PREFERRED) || !check_global_budget()) {
                report_conflict(c.bond, 4);
                undoTrial();
                return 0;
            }
            if (c.integral) {
                ++g_state.eigenvalues;
                c.priority = set.assignedAmong(g_state.trial);
            } else {
                ++g_state.derivatives;
            }
            assigned.assign(g_state.trial.begin(), g_state.trial.end());
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
            done.push_back(static_cast<std::uint32_t>(i));
        }
    }
    g_preferred.last = set.takeInOrder(done);
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

int indifferentPhase()
{
    if (g_state.tables.environmentCount == 0)
        return 1;
    progress("   Causality assigning phase: indifferent causality");
    for (BondRec* bond : BodyBonds{})
        for (int end = 0; end < 2; ++end) {
            if (aborted())
                return 0;
            if (endInfo(bond, end).c_type != C_INDIFF || hasCausality(bond))
                continue;
            ++g_state.algebraicLoops;
            if (!(assign_causality(bond, end, 0, MODE_FREE) && check_global_budget()) && !reassignAfterError(bond))
                return 0; // a bond that takes neither causality fails the phase, whatever follows
            g_state.loopBreak.push_back(bond);
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

int undeterminedPhase()
{
    for (BondRec* bond : BodyBonds{}) {
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
        g_state.loopBreak.push_back(bond);
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
        enterSubclass(sub);
    }
    // Every end the phases rely on must be a subclass port.
    for (BondRec* bond : BodyBonds{})
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
    g_room = CandidateSet::Room{};
    // The tables are as large as the model: they go when the analysis ends, before the phases
    // that follow make their records.
    struct Release {
        ~Release()
        {
            g_state = CausalState{};
            g_preferred = PreferredState{};
            g_room = CandidateSet::Room{};
        }
    } release;
    g_state.errorFile = modelFile;
    if (!cls->ports.empty()) {
        causalityError("<error: this model still contains ports>");
        return 0;
    }
    GraphBody* body = cls->graph;
    if (!body)
        return 0;
    g_state.body = body;
    enterBonds(body);
    if (!check_submodels_dynamic(body) || !portsPresent())
        return 0;
    layOutPreferredPhase();
    global_counts(cls);
    progress("Assigning causality to bond between submodels:");
    if (!fixedPhase() || !userPhase())
        return 0;
    int limit = 0;
    bool lastFailed = false;
    for (int pass = 0;; ++pass) {
        g_state.derivatives = g_state.algebraicLoops = g_state.causalCycles = g_state.eigenvalues = 0;
        if (!preferredPhase(pass))
            return 0;
        if (pass == 0)
            limit = g_state.eigenvalues;
        bool ok = indifferentPhase() && undeterminedPhase();
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
                if (!sharesTypeClass(sub))
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
        // Newest first.
        for (auto it = g_state.loopBreak.rbegin(); it != g_state.loopBreak.rend(); ++it)
            bondLine(*it, (*it)->caus);
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
