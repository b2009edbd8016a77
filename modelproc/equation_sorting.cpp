// Sorting of the flat equations into computation order, with the breaking of algebraic loops.
//
// An equation is computable once every element its right side reads is known. Sorting runs in
// rounds over the remaining list; a run of fixed-order equations (a block) is placed whole or not
// at all. When a round places nothing, one variable of a loop is torn: it becomes an algebraic-loop
// output, and its uses a new algebraic-loop input that the simulator's loop solver keeps equal.
#include "modelproc/equation_sorting.h"

#include "modelproc/class_copy.h"
#include "modelproc/display_hooks.h"
#include "modelproc/equation_collection.h"
#include "modelproc/expression_walk.h"
#include "modelproc/function_table.h"
#include "modelproc/parallel_parts.h"
#include "modelproc/tokens.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <new>
#include <queue>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace {

constexpr const char* kMemoryFailure = "memory allocation failure (may be out of memory).";
constexpr const char* kWrongOpcode = "<error: wrong opcode in expression>";
constexpr const char* kNullPointer = "<error: error in expression tree: NULL-pointer>";

void progress(const std::string& text)
{
    if (DisplayHooks().progress)
        DisplayHooks().progress(text.c_str());
}

/// Variables whose elements become known only when their equation is placed.
bool isTrackedKind(int kind)
{
    return kind == TK_VARIABLENAME || kind == TK_INDEP_RATENAME || kind == TK_DEP_STATENAME ||
           kind == TK_ALGLOOP_OUTNAME;
}

bool isAlwaysKnownKind(int kind)
{
    return kind == TK_PARAMETERNAME || kind == TK_INITCONDNAME || kind == TK_CONSTANTNAME ||
           kind == TK_TABLENAME || kind == TK_INDEP_STATENAME || kind == TK_DEP_RATENAME ||
           kind == TK_ALGLOOP_INNAME || kind == TK_TIME;
}

bool isLiteralKind(int kind)
{
    return kind == TK_REAL || kind == TK_INTEGER || kind == TK_BOOLEAN || kind == TK_STRING;
}

/// Calls whose arguments need nothing known: their values come from earlier steps or outside.
bool isOpaqueCall(const ExprNode* node)
{
    if (node->kind != TK_FUNCTIONNAME)
        return false;
    const int f = node->function;
    return f == FN_INT || f == FN_RAN || f == FN_DLY || f == FN_TDLY || f == FN_FROM_FILE;
}

/// The children of an operator or conditional in walking order.
template <class Visit>
void forOperands(ExprNode* node, Visit&& visit)
{
    if (node->kind == TK_IF) {
        visit(node->left());
        visit(node->right());
        visit(node->extra());
    } else if (isUnaryOperator(node->kind)) {
        visit(node->right());
    } else {
        visit(node->left());
        visit(node->right());
    }
}

/// The 1-based index values one index expression selects; `any` for a missing or computed one.
struct Span {
    std::int64_t lo = 1;
    std::int64_t hi = 0;
    bool any = true;
};

Span spanOf(const ExprNode* index)
{
    Span s;
    if (!index)
        return s;
    if (index->kind == TK_INTEGER) {
        s = {index->intValue(), index->intValue(), false};
    } else if (index->kind == TK_UPTO && index->left() && index->right() && index->left()->kind == TK_INTEGER &&
               index->right()->kind == TK_INTEGER) {
        s = {index->left()->intValue(), index->right()->intValue(), false};
    }
    return s;
}

/// Whether two index lists select a common element: position by position, the shorter ending it.
bool indicesOverlap(const ExprList& a, const ExprList& b)
{
    PtrNode<ExprNode>* p = a.head;
    PtrNode<ExprNode>* q = b.head;
    for (; p && q; p = p->next, q = q->next) {
        const Span x = spanOf(p->item);
        const Span y = spanOf(q->item);
        if (!x.any && !y.any && (x.hi < y.lo || y.hi < x.lo))
            return false;
    }
    return true;
}

/// The 0-based row-major elements of `var` that the index list matches.
void matchingElements(const ExprList& index, const VarRec& var, std::vector<std::int64_t>& out)
{
    out.clear();
    const Dimensions d = dimensionsOf(var);
    if (d.count == 0) {
        out.push_back(0);
        return;
    }
    Span rows{1, d.rows, false};
    Span cols{1, d.cols, false};
    int position = 0;
    for (PtrNode<ExprNode>* p = index.head; p && position < std::min(d.count, 2); p = p->next, ++position) {
        const Span s = spanOf(p->item);
        if (s.any)
            continue;
        Span& limit = position == 0 ? rows : cols;
        limit.lo = std::max(limit.lo, s.lo);
        limit.hi = std::min(limit.hi, s.hi);
    }
    for (std::int64_t i = rows.lo; i <= rows.hi; ++i)
        for (std::int64_t j = cols.lo; j <= cols.hi; ++j)
            out.push_back((i - 1) * d.cols + (j - 1));
}

/// One sorting of a class. Equations are known by their position in the list as it stood when
/// sorting began; the remaining ones stay linked in that order. `m_byRounds` picks the slow walk.
class Sorting {
public:
    Sorting(ClassRec* cls, bool byRounds, std::vector<EquationRec*>* order)
        : m_cls(cls), m_byRounds(byRounds), m_out(order)
    {
    }

    int run()
    {
        if (!m_cls || !m_cls->equations) {
            reportEquationsError(kNullPointer);
            return 0;
        }
        m_body = m_cls->equations;
        if (m_out && !m_out->empty()) {
            m_order = std::move(*m_out); // the list as it stands, handed over
            m_out->clear();
        } else {
            for (EquationRec* eq : m_body->equations)
                m_order.push_back(eq);
        }
        if (readFlags()) {
            if (m_out)
                *m_out = std::move(m_order);
            return 1;
        }
        m_total = static_cast<int>(m_order.size());
        // The event-driven walk checks each equation as it first reads it.
        if (m_byRounds && !checkEquations())
            return 0;
        if (!prepare())
            return 0;

        for (;;) {
            const Outcome outcome = m_byRounds ? sortByRounds() : sortByEvents();
            if (outcome == Outcome::Done)
                break;
            if (outcome == Outcome::TooManyRounds) {
                reportEquationsError(
                    "Unable to sort equations: More sorting-rounds than available equations were passed.");
                relink();
                return 0;
            }
            progress(" . Algebraic loop detected, trying to break it..");
            const int broken = breakLoop();
            if (broken <= 0) {
                if (broken == 0)
                    reportEquationsError("Unable to break algebraic loop(s) occurring in this model.");
                relink();
                return 0;
            }
            progress("   Algebraic loop broken successfully.");
        }
        relink();
        if (m_out)
            *m_out = std::move(m_order);
        return 1;
    }

private:
    enum class Outcome { Done, Stalled, TooManyRounds };

    // ---- checks shared by both walks

    /// Reports every bad node of the equations; a bad node makes the sorting fail.
    bool checkEquations()
    {
        bool ok = true;
        for (EquationRec* eq : m_order)
            ok = checkEquation(eq) && ok;
        return ok;
    }

    bool checkEquation(EquationRec* eq)
    {
        bool ok = true;
        if (!eq->left) {
            reportEquationsError(kNullPointer);
            ok = false;
        } else if (!isTrackedKind(eq->left->kind) || !eq->left->record()) {
            reportEquationFailure(eq, kWrongOpcode,
                                  isNameKind(eq->left->kind)
                                      ? "its left side names a quantity that no equation computes (a parameter, a "
                                        "constant or a state)."
                                      : "its left side is no variable, and an implicit equation is not solved for one "
                                        "of its variables.");
            ok = false;
        }
        return checkRightSide(eq) && ok;
    }

    /// Checks every node of the right side (without recursion: it may be very deep); each bad
    /// node is reported.
    bool checkRightSide(const EquationRec* eq)
    {
        ExprNode* root = eq->right;
        bool ok = true;
        std::vector<ExprNode*>& pending = m_pending;
        std::vector<ExprNode*>& operands = m_operands;
        pending.clear();
        pending.push_back(root);
        while (!pending.empty()) {
            ExprNode* node = pending.back();
            pending.pop_back();
            if (!node) {
                reportEquationsError(kNullPointer);
                ok = false;
                continue;
            }
            const int kind = node->kind;
            if (isLiteralKind(kind) || isAlwaysKnownKind(kind))
                continue;
            if (isTrackedKind(kind)) {
                if (!node->record()) {
                    reportEquationsError(kNullPointer);
                    ok = false;
                }
                continue;
            }
            operands.clear();
            if (kind == TK_FUNCTIONNAME) {
                if (!isOpaqueCall(node))
                    for (ExprNode* arg : node->args())
                        operands.push_back(arg);
            } else if (isOperatorKind(kind) || kind == TK_IF) {
                forOperands(node, [&](ExprNode* child) { operands.push_back(child); });
            } else {
                const std::string why = formatMessage("its right side holds a part of kind %d, which is no value.", kind);
                reportEquationFailure(eq, kWrongOpcode, why);
                ok = false;
            }
            pending.insert(pending.end(), operands.rbegin(), operands.rend());
        }
        return ok;
    }

    /// Whether a reference takes part in the count of its equation: a tracked variable, and in a
    /// fixed-order equation only a connection variable.
    static bool counts(const EquationRec* eq, const ExprNode* ref)
    {
        return isTrackedKind(ref->kind) && (!eq->fixed || ref->var()->connmark);
    }

    /// Calls `visit` on every reference of the right side that the unknown count looks at, in
    /// text order. `visit` walks no expression: the walk's stacks are the sorting's own.
    template <class Visit>
    void forCountedReferences(const EquationRec* eq, ExprNode* root, Visit&& visit)
    {
        std::vector<ExprNode*>& pending = m_pending;
        std::vector<ExprNode*>& operands = m_operands;
        pending.clear();
        pending.push_back(root);
        while (!pending.empty()) {
            ExprNode* node = pending.back();
            pending.pop_back();
            if (!node)
                continue;
            if (isTrackedKind(node->kind)) {
                if (counts(eq, node))
                    visit(node);
                continue;
            }
            operands.clear();
            if (node->kind == TK_FUNCTIONNAME) {
                if (!isOpaqueCall(node))
                    for (ExprNode* arg : node->args())
                        operands.push_back(arg);
            } else if (isOperatorKind(node->kind) || node->kind == TK_IF) {
                forOperands(node, [&](ExprNode* child) { operands.push_back(child); });
            }
            pending.insert(pending.end(), operands.rbegin(), operands.rend());
        }
    }

    /// Visits every name reference in the expression, index expressions included (before the
    /// reference that holds them), in text order.
    template <class Visit>
    static void forNames(ExprNode* root, Visit&& visit)
    {
        forEachName(root, true, isNameKind, visit);
    }

    bool isFixed(int i) const { return (m_flags[i] & kFixed) != 0; }
    bool isBlockStart(int i) const { return (m_flags[i] & kBlockStart) != 0; }
    bool isMember(int i) const { return (m_flags[i] & (kFixed | kBlockStart)) == kFixed; }
    bool isPlaced(int i) const { return (m_flags[i] & kPlaced) != 0; }

    /// Notes each equation's fixed-order and block-start flags, a long list in parts side by
    /// side, asking for the records ahead of their turn; true when every equation has a fixed order.
    /// Notes too whether the list holds just the equations of `m_order`, in that order.
    bool readFlags()
    {
        const std::size_t n = m_order.size();
        m_flags.resize(n);
        const std::size_t parts = partsFor(n, 20000);
        std::vector<char> allFixed(parts, 1);
        std::vector<char> anyFixed(parts, 0);
        std::vector<char> linked(parts, 1);
        runPartRanges(n, parts, [&](std::size_t part, std::size_t begin, std::size_t end) {
            constexpr std::size_t kAhead = 16;
            for (std::size_t i = begin; i < end; ++i) {
                if (i + kAhead < end)
                    __builtin_prefetch(m_order[i + kAhead]);
                const EquationRec* eq = m_order[i];
                m_flags[i] = static_cast<unsigned char>((eq->fixed ? kFixed : 0) | (eq->blockstart ? kBlockStart : 0));
                if (!eq->fixed)
                    allFixed[part] = 0;
                else
                    anyFixed[part] = 1;
                if (i + 1 < n ? eq->next != m_order[i + 1] : !eq->next || !eq->next->isEnd())
                    linked[part] = 0;
            }
        });
        m_listIsOrder = n > 0 && m_body->equations.first() == m_order[0] &&
                        std::find(linked.begin(), linked.end(), 0) == linked.end();
        m_anyFixed = std::find(anyFixed.begin(), anyFixed.end(), 1) != anyFixed.end();
        return std::find(allFixed.begin(), allFixed.end(), 0) == allFixed.end();
    }

    // ---- the remaining list, definitions and uses

    /// False when the event-driven walk found bad nodes (reported).
    bool prepare()
    {
        m_remainingCount = m_total;
        if (!m_byRounds && !prepareEvents())
            return false;
        // Only blocks and loop breaking walk the remaining list, and the reference walk does each
        // round; without them the placed flags tell what remains.
        if (m_byRounds || m_anyFixed)
            linkRemaining();
        m_placedOrder.reserve(static_cast<std::size_t>(m_total));
        return true;
    }

    /// Links the equations not yet placed in list order, once.
    void linkRemaining()
    {
        if (m_linked)
            return;
        m_linked = true;
        const auto n = static_cast<std::size_t>(m_total);
        m_prev.assign(n, -1);
        m_next.assign(n, -1);
        m_head = -1;
        int last = -1;
        for (int i = 0; i < m_total; ++i) {
            if (isPlaced(i))
                continue;
            m_prev[static_cast<std::size_t>(i)] = last;
            (last >= 0 ? m_next[static_cast<std::size_t>(last)] : m_head) = i;
            last = i;
        }
    }

    /// The first equation not yet placed, in list order; -1 when none is left.
    int firstRemaining() const
    {
        if (m_linked)
            return m_head;
        return nextUnplaced(0);
    }

    /// The equation not yet placed that follows equation i (not placed either) in list order.
    int nextRemaining(int i) const
    {
        if (m_linked)
            return m_next[static_cast<std::size_t>(i)];
        return nextUnplaced(i + 1);
    }

    int nextUnplaced(int from) const
    {
        for (int i = from; i < m_total; ++i)
            if (!isPlaced(i))
                return i;
        return -1;
    }

    /// The indexes that only loop breaking needs, made when the first loop is met: definitions and
    /// uses of each variable, and the counted references by node (numbered as `prepareEvents` did).
    void indexForLoops()
    {
        if (m_indexed)
            return;
        m_indexed = true;
        linkRemaining();
        m_mark.assign(m_total, 0);
        int id = 0;
        for (int i = 0; i < m_total; ++i) {
            EquationRec* eq = m_order[i];
            m_definitions[eq->left->record()].push_back(i);
            forNames(eq->left, [&](ExprNode* ref) { m_uses[ref->record()].push_back({i, ref, true}); });
            forNames(eq->right, [&](ExprNode* ref) { m_uses[ref->record()].push_back({i, ref, false}); });
            if (!m_byRounds)
                forCountedReferences(eq, eq->right, [&](const ExprNode* ref) {
                    elementSlots(ref, m_scratch);
                    m_refOf.emplace(ref, m_scratch.size() == 1 ? kOneElement : id++);
                });
        }
    }

    void unlinkPosition(int i)
    {
        m_flags[static_cast<std::size_t>(i)] |= kPlaced;
        --m_remainingCount;
        if (!m_linked)
            return;
        if (m_prev[i] >= 0)
            m_next[m_prev[i]] = m_next[i];
        else
            m_head = m_next[i];
        if (m_next[i] >= 0)
            m_prev[m_next[i]] = m_prev[i];
    }

    /// Puts the equations in their new order in `m_order`, the placed ones in the order placed
    /// and then the others in list order, and re-links the class's equation list so. What only
    /// placing needed is given back first. The new order is gathered into an array of its own,
    /// made before the list is touched, in parts side by side with the places read asked for
    /// ahead: followed one after another, the moves of an order changed in place each wait for
    /// memory twice on a long list. Each equation is then linked and numbered in one visit.
    void relink()
    {
        releasePlacing();
        for (int i = firstRemaining(); i >= 0; i = nextRemaining(i))
            m_placedOrder.push_back(static_cast<std::uint32_t>(i));
        std::vector<int>().swap(m_prev);
        std::vector<int>().swap(m_next);
        std::vector<unsigned char>().swap(m_flags);
        const std::size_t n = m_order.size();
        std::vector<EquationRec*> gathered(n);
        if (m_listIsOrder) {
            // Every equation of the list is linked anew below.
            m_body->equations.forget();
        } else {
            constexpr std::size_t kAhead = 16;
            for (std::size_t k = 0; k < n; ++k) {
                if (k + kAhead < n)
                    __builtin_prefetch(m_order[k + kAhead], 1);
                SectionList<EquationRec>::unlink(m_order[k]);
            }
        }
        const std::size_t parts = partsFor(n, 100000);
        runPartRanges(n, parts, [&](std::size_t, std::size_t begin, std::size_t end) {
            constexpr std::size_t kAhead = 32;
            for (std::size_t k = begin; k < end; ++k) {
                if (k + kAhead < end)
                    __builtin_prefetch(&m_order[m_placedOrder[k + kAhead]]);
                gathered[k] = m_order[m_placedOrder[k]];
            }
        });
        m_order.swap(gathered);
        std::vector<EquationRec*>().swap(gathered);
        std::vector<std::uint32_t>().swap(m_placedOrder);
        linkInOrder();
    }

    /// Appends the equations of `m_order` to the list in that order and numbers the placed ones.
    /// The first and the last are appended through the list, which links them to its ends; those
    /// between have only equations for neighbours, and are linked in parts side by side.
    void linkInOrder()
    {
        const std::size_t n = m_order.size();
        if (n == 0)
            return;
        SectionList<EquationRec>& list = m_body->equations;
        list.append(m_order[0]);
        if (n > 1)
            list.append(m_order[n - 1]);
        const std::size_t placed = static_cast<std::size_t>(m_total - m_remainingCount);
        const std::size_t parts = partsFor(n, 100000);
        runPartRanges(n, parts, [&](std::size_t, std::size_t begin, std::size_t end) {
            constexpr std::size_t kAhead = 32;
            for (std::size_t k = begin; k < end; ++k) {
                if (k + kAhead < end)
                    __builtin_prefetch(m_order[k + kAhead], 1);
                EquationRec* eq = m_order[k];
                if (k < placed)
                    eq->sort_no = static_cast<std::int32_t>(k) + 1;
                if (k > 0 && k + 1 < n) {
                    eq->prev = m_order[k - 1];
                    eq->next = m_order[k + 1];
                }
            }
        });
        if (n > 2) {
            m_order[0]->next = m_order[1];
            m_order[n - 1]->prev = m_order[n - 2];
        }
    }

    /// Gives back what placing the equations needed.
    void releasePlacing()
    {
        std::vector<std::uint32_t>().swap(m_left);
        std::vector<std::uint32_t>().swap(m_leftLists);
        std::vector<std::uint32_t>().swap(m_waiting);
        std::vector<std::uint32_t>().swap(m_waitingFrom);
        std::vector<Reference>().swap(m_refs);
        std::vector<int>().swap(m_unknown);
        std::vector<int>().swap(m_owner);
        std::vector<int>().swap(m_notReady);
        std::vector<char>().swap(m_known);
        m_current = ReadyQueue();
        m_upcoming = ReadyQueue();
    }

    // ---- known elements

    /// The first slot of the variable's elements in `m_known`, made on first use.
    std::int64_t baseOf(const VarRec* var)
    {
        const std::int64_t known = m_base.find(var);
        if (known >= 0)
            return known;
        const Dimensions d = dimensionsOf(*var);
        const std::int64_t base = static_cast<std::int64_t>(m_known.size());
        const std::int64_t count = std::max<std::int64_t>(d.rows * d.cols, 1);
        // The waiting lists and left sides keep element slots in 31 bits.
        if (count > kMaxElements - base)
            throw std::bad_alloc();
        m_known.resize(m_known.size() + static_cast<std::size_t>(count), 0);
        m_base.set(var, base);
        return base;
    }

    /// The slots in `m_known` of the elements the reference matches.
    void elementSlots(const ExprNode* ref, std::vector<std::int64_t>& out)
    {
        const VarRec* var = ref->var();
        matchingElements(ref->index(), *var, out);
        const std::int64_t base = baseOf(var);
        for (std::int64_t& e : out)
            e += base;
    }

    /// Gives the equation its sort number, takes it out of the remaining list and makes its left
    /// side known.
    void place(int i)
    {
        unlinkPosition(i);
        m_placedOrder.push_back(static_cast<std::uint32_t>(i)); // its sort number is given when the list is re-linked
        if (m_byRounds) {
            elementSlots(m_order[i]->left, m_placing);
        } else {
            const std::uint32_t left = m_left[static_cast<std::size_t>(i)];
            if (left & kLeftList) {
                const auto from = m_leftLists.begin() + static_cast<std::ptrdiff_t>(left & ~kLeftList);
                m_placing.assign(from + 1, from + 1 + static_cast<std::ptrdiff_t>(*from));
            } else {
                m_placing.assign(1, left);
            }
        }
        for (std::int64_t e : m_placing) {
            if (m_known[static_cast<std::size_t>(e)])
                continue;
            m_known[static_cast<std::size_t>(e)] = 1;
            if (!m_byRounds)
                elementKnown(e);
        }
    }

    // ---- the reference walk: every round walks the whole remaining list and recounts

    bool referenceKnown(const ExprNode* ref)
    {
        elementSlots(ref, m_scratch);
        if (m_scratch.empty())
            return false;
        for (std::int64_t e : m_scratch)
            if (!m_known[static_cast<std::size_t>(e)])
                return false;
        return true;
    }

    int unknownCount(int i)
    {
        int count = 0;
        forCountedReferences(m_order[i], m_order[i]->right,
                             [&](const ExprNode* ref) { count += referenceKnown(ref) ? 0 : 1; });
        return count;
    }

    Outcome sortByRounds()
    {
        for (int rounds = 0;; ++rounds) {
            if (rounds > m_total)
                return Outcome::TooManyRounds;
            bool progressed = false;
            for (int i = m_head; i >= 0;) {
                const int after = m_next[i];
                if (!isBlockStart(i)) {
                    if (!isFixed(i) && unknownCount(i) == 0) {
                        place(i);
                        progressed = true;
                    }
                    i = after;
                    continue;
                }
                progressed = true;
                std::vector<int> block{i};
                for (int k = after; k >= 0 && isMember(k); k = m_next[k])
                    block.push_back(k);
                const int next = m_next[block.back()];
                bool computable = true;
                for (std::size_t k = 0; k < block.size() && computable; ++k)
                    computable = unknownCount(block[k]) == 0;
                if (computable)
                    for (int k : block)
                        place(k);
                i = next;
            }
            if (m_remainingCount == 0)
                return Outcome::Done;
            if (!progressed)
                return Outcome::Stalled;
        }
    }

    // ---- the event-driven walk: the unknown counts fall as elements become known, and equations
    // that become ready wait, in list order, for the current round or the next

    /// A reference that waits for other than one element (a reference of one element is known by
    /// its equation alone).
    struct Reference {
        std::uint32_t unknown; ///< matching elements not yet known; kNever when it matches none
        int equation;
        bool dead; ///< retagged to an always-known kind by a tear
    };

    /// The entry of a left side that makes the elements `slots` known.
    std::uint32_t leftEntry(const std::vector<std::int64_t>& slots)
    {
        if (slots.size() == 1)
            return static_cast<std::uint32_t>(slots[0]);
        if (m_leftLists.size() >= kLeftList)
            throw std::bad_alloc();
        const auto at = static_cast<std::uint32_t>(m_leftLists.size());
        m_leftLists.push_back(static_cast<std::uint32_t>(slots.size()));
        m_leftLists.insert(m_leftLists.end(), slots.begin(), slots.end());
        return kLeftList | at;
    }

    /// Reads every equation, checked first: the bad nodes of all of them are reported, and once
    /// one is met the rest are only checked and false is returned. The two walks over an
    /// equation follow one another, so that the second finds its nodes at hand.
    bool prepareEvents()
    {
        const int n = m_total;
        const auto count = static_cast<std::size_t>(n);
        m_unknown.assign(count, 0);
        m_left.resize(count);
        m_known.reserve(count + 1);
        // What waits for each element, in the order met: the equation of a reference of one
        // element, else the reference (kMany and its number). Most equations have one such entry.
        std::vector<std::uint32_t> waitingElement;
        std::vector<std::uint32_t> waiting;
        waitingElement.reserve(count);
        waiting.reserve(count);
        const auto wait = [&](std::int64_t element, std::uint32_t what) {
            if (waiting.size() == kNoEntry)
                throw std::bad_alloc();
            waitingElement.push_back(static_cast<std::uint32_t>(element));
            waiting.push_back(what);
        };
        bool checked = true;
        for (int i = 0; i < n; ++i) {
            prefetchEquationsAhead(m_order, static_cast<std::size_t>(i), count);
            EquationRec* eq = m_order[i];
            checked = checkEquation(eq) && checked;
            if (!checked)
                continue;
            // Placing it makes these known; each must find a waiting list.
            elementSlots(eq->left, m_scratch);
            m_left[static_cast<std::size_t>(i)] = leftEntry(m_scratch);
            forCountedReferences(eq, eq->right, [&](const ExprNode* ref) {
                elementSlots(ref, m_scratch);
                ++m_unknown[i];
                if (m_scratch.size() == 1) {
                    wait(m_scratch[0], static_cast<std::uint32_t>(i));
                    return;
                }
                // A reference that matches no element never becomes known.
                if (m_refs.size() >= kMany - 1 || m_scratch.size() >= kNever)
                    throw std::bad_alloc();
                const auto id = static_cast<std::uint32_t>(m_refs.size());
                m_refs.push_back({m_scratch.empty() ? kNever : static_cast<std::uint32_t>(m_scratch.size()), i, false});
                for (std::int64_t e : m_scratch)
                    wait(e, kMany | id);
            });
        }
        if (!checked)
            return false;
        // The entries laid out element by element: each one's place is counted, and then the
        // entries are moved there in place, a cycle of moves at a time.
        m_waitingFrom.assign(m_known.size() + 1, 0);
        for (std::uint32_t e : waitingElement)
            ++m_waitingFrom[e + 1];
        for (std::size_t e = 0; e + 1 < m_waitingFrom.size(); ++e)
            m_waitingFrom[e + 1] += m_waitingFrom[e];
        std::vector<std::uint32_t>& place = waitingElement;
        for (std::uint32_t& p : place)
            p = m_waitingFrom[p]++;
        for (std::size_t e = m_waitingFrom.size() - 1; e > 0; --e)
            m_waitingFrom[e] = m_waitingFrom[e - 1];
        m_waitingFrom[0] = 0;
        for (std::size_t p = 0; p < place.size(); ++p)
            while (place[p] != p) {
                const std::uint32_t to = place[p];
                std::swap(waiting[p], waiting[to]);
                std::swap(place[p], place[to]);
            }
        std::vector<std::uint32_t>().swap(waitingElement);
        m_waiting = std::move(waiting);

        if (m_anyFixed) {
            m_owner.assign(count, -1);
            m_notReady.assign(count, 0);
            int block = -1;
            for (int i = 0; i < n; ++i) {
                if (isBlockStart(i)) {
                    block = i;
                    ++m_blocks;
                } else if (!isMember(i)) {
                    block = -1;
                    continue;
                }
                m_owner[i] = block;
                if (block >= 0 && m_unknown[i] > 0)
                    ++m_notReady[block];
            }
        }
        m_walked = -1;
        for (int i = 0; i < n; ++i)
            if (ready(i))
                m_current.push(i);
        return true;
    }

    bool ready(int i) const
    {
        if (isBlockStart(i))
            return m_notReady[i] == 0;
        return !isFixed(i) && m_unknown[i] == 0;
    }

    /// Ready equations behind the walk wait for the next round.
    void schedule(int i) { (i > m_walked ? m_current : m_upcoming).push(i); }

    /// One fewer unknown reference in equation i.
    void unblock(int i)
    {
        if (--m_unknown[i] != 0 || isPlaced(i))
            return;
        if (isBlockStart(i) || isMember(i)) {
            const int b = m_owner[i];
            if (b >= 0 && --m_notReady[b] == 0 && !isPlaced(b))
                schedule(b);
        } else {
            schedule(i);
        }
    }

    void elementKnown(std::int64_t element)
    {
        const auto e = static_cast<std::size_t>(element);
        if (e + 1 >= m_waitingFrom.size())
            return;
        for (std::size_t w = m_waitingFrom[e]; w < m_waitingFrom[e + 1]; ++w) {
            const std::uint32_t what = m_waiting[w];
            if (what == kNoEntry)
                continue;
            if (!(what & kMany)) {
                unblock(static_cast<int>(what));
                continue;
            }
            Reference& r = m_refs[what & ~kMany];
            if (r.dead || --r.unknown != 0)
                continue;
            unblock(r.equation);
        }
    }

    /// After equation i between `before` and `after` was placed, fixed-order equations that
    /// followed it now follow the block before it and belong to that block.
    void extendBlock(int before, int after)
    {
        if (before < 0 || after < 0 || !isMember(after) || m_owner[after] >= 0)
            return;
        const int b = isBlockStart(before) ? before : isMember(before) ? m_owner[before] : -1;
        if (b < 0)
            return;
        for (int k = after; k >= 0 && isMember(k); k = m_next[k]) {
            m_owner[k] = b;
            if (m_unknown[k] > 0)
                ++m_notReady[b];
        }
    }

    Outcome sortByEvents()
    {
        for (int rounds = 0;; ++rounds) {
            if (rounds > m_total)
                return Outcome::TooManyRounds;
            // A block start, placed or not, counts as progress of the round.
            bool progressed = m_blocks > 0;
            m_walked = -1;
            while (!m_current.empty()) {
                const int i = m_current.top();
                m_current.pop();
                // Entries of equations placed since, or of blocks that grew meanwhile, are stale.
                if (isPlaced(i) || !ready(i))
                    continue;
                progressed = true;
                if (isBlockStart(i)) {
                    std::vector<int> block{i};
                    for (int k = m_next[i]; k >= 0 && isMember(k); k = m_next[k])
                        block.push_back(k);
                    m_walked = block.back();
                    --m_blocks;
                    for (int k : block)
                        place(k);
                    continue;
                }
                m_walked = i;
                // Blocks are linked; without them nothing follows a block.
                const int before = m_linked ? m_prev[i] : -1;
                const int after = m_linked ? m_next[i] : -1;
                place(i);
                extendBlock(before, after);
            }
            std::swap(m_current, m_upcoming);
            if (m_remainingCount == 0)
                return Outcome::Done;
            if (!progressed)
                return Outcome::Stalled;
        }
    }

    // ---- loop breaking

    /// Tears one loop variable: 1, 0 when none was found, -1 when memory ran out (reported).
    int breakLoop()
    {
        progress("   (" + std::to_string(m_remainingCount) + " unsorted equations found)");
        indexForLoops();
        VarRec* torn = nullptr;
        for (int i = m_head; i >= 0 && !torn; i = m_next[i]) {
            EquationRec* eq = m_order[i];
            // Only a plain variable is torn: rates and states are paired with their sections.
            if (eq->left->kind != TK_VARIABLENAME)
                continue;
            const bool hit = m_byRounds ? searchByDepth(i) : searchWithVisits(i);
            progress("Try to break variable: " + eq->left->var()->name);
            if (hit)
                torn = eq->left->var();
        }
        if (!torn)
            return 0;
        return tear(torn) ? 1 : -1;
    }

    /// The first remaining equation whose left side is `ref`'s variable with overlapping indices.
    int definitionOf(const ExprNode* ref)
    {
        auto it = m_definitions.find(ref->record());
        if (it == m_definitions.end())
            return -1;
        std::vector<int>& list = it->second;
        list.erase(std::remove_if(list.begin(), list.end(), [this](int i) { return isPlaced(i); }), list.end());
        for (int i : list)
            if (indicesOverlap(m_order[i]->left->index(), ref->index()))
                return i;
        return -1;
    }

    /// Kinds whose references the loop search follows; the others stop it.
    static bool followed(int kind)
    {
        return isTrackedKind(kind) || kind == TK_PORTNAME || kind == TK_INPUTNAME || kind == TK_OUTPUTNAME ||
               kind == TK_INITCONDNAME || kind == TK_CONSTANTNAME || kind == TK_TABLENAME;
    }

    /// The nodes the search descends into, in order.
    static void children(ExprNode* node, std::vector<ExprNode*>& out)
    {
        if (node->kind == TK_FUNCTIONNAME) {
            if (!isOpaqueCall(node))
                for (ExprNode* arg : node->args())
                    if (arg)
                        out.push_back(arg);
        } else if (isOperatorKind(node->kind) || node->kind == TK_IF) {
            forOperands(node, [&](ExprNode* child) {
                if (child)
                    out.push_back(child);
            });
        }
    }

    /// The search of the reference walk: every path is followed anew; reaching depth n gives up.
    bool searchByDepth(int start)
    {
        const EquationRec* eq = m_order[start];
        m_giveUp = false;
        return descend(eq->right, eq->left, 0);
    }

    /// Depth-first from `root`: a hit is a reference to the target; a reference to a variable
    /// that an equation defines continues into that equation's right side one level deeper, and
    /// reaching level n gives up. Walked with a stack of its own.
    bool descend(ExprNode* root, const ExprNode* target, int rootDepth)
    {
        struct Entry {
            ExprNode* node;
            int depth;
        };
        std::vector<Entry> pending{{root, rootDepth}};
        std::vector<ExprNode*> next;
        while (!pending.empty()) {
            const Entry entry = pending.back();
            pending.pop_back();
            ExprNode* node = entry.node;
            if (!node)
                continue;
            if (isNameKind(node->kind)) {
                if (!followed(node->kind))
                    continue;
                if (node->record() == target->record() && indicesOverlap(node->index(), target->index()))
                    return true;
                const int d = definitionOf(node);
                if (d < 0)
                    continue;
                if (entry.depth + 1 >= m_remainingCount) {
                    m_giveUp = true;
                    return false;
                }
                pending.push_back({m_order[d]->right, entry.depth + 1});
                continue;
            }
            next.clear();
            children(node, next);
            for (auto it = next.rbegin(); it != next.rend(); ++it)
                pending.push_back({*it, entry.depth});
        }
        return false;
    }

    /// The same answer with each equation entered once: meeting an equation still being searched
    /// is where the depth-limited search would go round the cycle until it gives up, and an
    /// equation searched to the end without a hit gives none the next time either.
    bool searchWithVisits(int start)
    {
        const EquationRec* eq = m_order[start];
        const ExprNode* target = eq->left;
        m_stamp += 2;
        const int onPath = m_stamp - 1;
        const int finished = m_stamp;
        m_mark[start] = onPath;
        // Entries: a node to search, or (node null) the end of equation `equation`'s right side.
        struct Entry {
            ExprNode* node;
            int equation;
        };
        std::vector<Entry> stack{{eq->right, start}};
        std::vector<ExprNode*> next;
        while (!stack.empty()) {
            const Entry entry = stack.back();
            stack.pop_back();
            if (!entry.node) {
                m_mark[entry.equation] = finished;
                continue;
            }
            ExprNode* node = entry.node;
            if (isNameKind(node->kind)) {
                if (!followed(node->kind))
                    continue;
                if (node->record() == target->record() && indicesOverlap(node->index(), target->index()))
                    return true;
                const int d = definitionOf(node);
                if (d < 0 || m_mark[d] == finished)
                    continue;
                if (m_mark[d] == onPath)
                    return false;
                m_mark[d] = onPath;
                stack.push_back({nullptr, d});
                if (m_order[d]->right)
                    stack.push_back({m_order[d]->right, d});
                continue;
            }
            next.clear();
            children(node, next);
            for (auto it = next.rbegin(); it != next.rend(); ++it)
                stack.push_back({*it, entry.equation});
        }
        return false;
    }

    /// Makes `v` an algebraic-loop output read through a new algebraic-loop input. Every reference
    /// of `v` is retagged, also in equations already placed (elements of a vector computed before
    /// the loop), so that no reference keeps the kind of the section `v` left.
    bool tear(VarRec* v)
    {
        const std::string suffix = "algin" + std::to_string(m_tearCounter);
        VarRec* input = newBodyVariable(m_body, BODY_ALGLOOP_IN);
        AddressMap map;
        ExprList dims;
        if (!input || !copyExpressionList(v->dim, dims, map)) {
            DisplayHooks().error("General error", nullptr, nullptr, -1, nullptr, kMemoryFailure);
            return false;
        }
        setVariable(input, v->name + "_" + suffix, dims, v->at);
        for (std::string_view alias : v->aliases)
            input->aliases.push_back(std::string(alias).append("_").append(suffix));
        ++m_tearCounter;
        SectionList<VarRec>::unlink(v);
        m_body->algloop_out.append(v);

        // Equations that become ready now are taken up from the start of the next round.
        m_walked = -1;
        std::vector<int> changed;
        for (const Use& use : m_uses[v]) {
            if (isPlaced(use.equation) || use.left) {
                use.node->setKind(TK_ALGLOOP_OUTNAME);
                continue;
            }
            auto ref = m_refOf.find(use.node);
            if (ref != m_refOf.end())
                stopWaiting(use.node, ref->second, use.equation);
            use.node->setKind(TK_ALGLOOP_INNAME);
            use.node->setRecord(input);
            changed.push_back(use.equation);
        }
        std::sort(changed.begin(), changed.end());
        changed.erase(std::unique(changed.begin(), changed.end()), changed.end());
        for (int i : changed)
            rebuildVariableChain(m_order[i]);
        return true;
    }

    /// A counted reference of equation i (`id` in `m_refs`, or kOneElement) no longer waits for
    /// its elements: should it still hold its equation up, it does so no more.
    void stopWaiting(const ExprNode* ref, int id, int i)
    {
        if (id != kOneElement) {
            Reference& r = m_refs[static_cast<std::size_t>(id)];
            const bool blocking = !r.dead && r.unknown != 0;
            r.dead = true;
            if (blocking)
                unblock(r.equation);
            return;
        }
        // Known by its equation in its element's list: any one such entry stands for it.
        elementSlots(ref, m_scratch);
        const auto e = static_cast<std::size_t>(m_scratch[0]);
        if (m_known[e])
            return;
        const auto from = m_waiting.begin() + static_cast<std::ptrdiff_t>(m_waitingFrom[e]);
        const auto to = m_waiting.begin() + static_cast<std::ptrdiff_t>(m_waitingFrom[e + 1]);
        const auto entry = std::find(from, to, static_cast<std::uint32_t>(i));
        if (entry == to)
            return;
        *entry = kNoEntry;
        unblock(i);
    }

    /// One name reference in an equation, on its left side or its right.
    struct Use {
        int equation;
        ExprNode* node;
        bool left;
    };
    using MinHeap = std::priority_queue<int, std::vector<int>, std::greater<int>>;

    /// Equations waiting for a round, smallest position first. Most come in rising order (all
    /// those ready at the start, and those a walk passes on to the next round); they wait in a
    /// run taken from its front, the others in a heap.
    class ReadyQueue {
    public:
        bool empty() const { return m_at == m_run.size() && m_heap.empty(); }
        void push(int i)
        {
            if (m_at == m_run.size()) {
                m_run.clear();
                m_at = 0;
            }
            if (m_run.empty() || i >= m_run.back())
                m_run.push_back(i);
            else
                m_heap.push(i);
        }
        int top() const
        {
            if (m_at == m_run.size())
                return m_heap.top();
            return m_heap.empty() ? m_run[m_at] : std::min(m_run[m_at], m_heap.top());
        }
        void pop()
        {
            if (m_at < m_run.size() && (m_heap.empty() || m_run[m_at] <= m_heap.top()))
                ++m_at;
            else
                m_heap.pop();
        }

    private:
        std::vector<int> m_run;
        std::size_t m_at = 0;
        MinHeap m_heap;
    };

    ClassRec* m_cls;
    bool m_byRounds;
    std::vector<EquationRec*>* m_out; ///< where the new order goes, or null
    EquationBody* m_body = nullptr;
    int m_total = 0;
    int m_tearCounter = 0;

    /// Every equation, in list order at the start and in the new order once re-linked; an
    /// equation is known by its place at the start.
    std::vector<EquationRec*> m_order;
    static constexpr unsigned char kFixed = 1;
    static constexpr unsigned char kBlockStart = 2;
    static constexpr unsigned char kPlaced = 4;
    std::vector<unsigned char> m_flags; ///< per equation: fixed order, block start, placed
    bool m_anyFixed = false;
    bool m_listIsOrder = false; ///< the list holds just the equations of `m_order`, in its order
    std::vector<std::uint32_t> m_placedOrder; ///< the equations placed, in their new order
    bool m_linked = false;              ///< the remaining list is linked, for blocks and loops
    std::vector<int> m_prev, m_next;    ///< the remaining list, once linked
    int m_head = -1;
    int m_remainingCount = 0;
    bool m_indexed = false;
    std::unordered_map<const SectionLink*, std::vector<int>> m_definitions; ///< by left-side variable
    std::unordered_map<const SectionLink*, std::vector<Use>> m_uses;

    /// Element slots fit in 31 bits, which leaves room for the marks of the entries below.
    static constexpr std::int64_t kMaxElements = std::int64_t(1) << 31;
    std::vector<char> m_known; ///< per element of every tracked variable met
    VariableNumbering m_base;
    std::vector<std::int64_t> m_scratch;
    std::vector<ExprNode*> m_pending, m_operands; ///< the stacks of the walks over right sides
    std::vector<std::int64_t> m_placing;

    /// Per equation, the element its left side makes known, or kLeftList and where the list of
    /// them (their count, then the elements) starts in `m_leftLists` for one that makes other
    /// than one element known.
    static constexpr std::uint32_t kLeftList = std::uint32_t(1) << 31;
    std::vector<std::uint32_t> m_left;
    std::vector<std::uint32_t> m_leftLists;
    static constexpr std::uint32_t kMany = std::uint32_t(1) << 31; ///< an entry naming a reference
    static constexpr std::uint32_t kNoEntry = ~std::uint32_t(0);   ///< an entry that waits no more
    static constexpr std::uint32_t kNever = ~std::uint32_t(0);     ///< the count of a reference of no element
    static constexpr int kOneElement = -1;
    std::vector<Reference> m_refs;              ///< the references of other than one element
    std::unordered_map<const ExprNode*, int> m_refOf; ///< counted references, for loop breaking
    std::vector<std::uint32_t> m_waiting;       ///< what each element holds up, element by element
    std::vector<std::uint32_t> m_waitingFrom;   ///< per element, where its entries start in `m_waiting`
    std::vector<int> m_unknown;                 ///< per equation, references not yet known
    std::vector<int> m_owner;                   ///< block start of a fixed-order equation, -1 none
    std::vector<int> m_notReady;                ///< per block start, members not yet computable
    int m_blocks = 0;
    ReadyQueue m_current;
    ReadyQueue m_upcoming;
    int m_walked = -1;

    std::vector<int> m_mark;
    int m_stamp = 0;
    bool m_giveUp = false;
};

int sortWith(ClassRec* cls, bool byRounds, std::vector<EquationRec*>* order = nullptr)
{
    try {
        return Sorting(cls, byRounds, order).run();
    } catch (const std::bad_alloc&) {
        DisplayHooks().error("General error", nullptr, nullptr, -1, nullptr, kMemoryFailure);
        return 0;
    }
}

} // namespace

int sortEquations(ClassRec* cls)
{
    return sortWith(cls, false);
}

int sortEquationsWithOrder(ClassRec* cls, std::vector<EquationRec*>& order)
{
    return sortWith(cls, false, &order);
}

int sortEquationsByRounds(ClassRec* cls)
{
    return sortWith(cls, true);
}
