// States and rates: int, ddt and limint calls turned into state and rate variables.
#include "modelproc/state_variables.h"

#include "modelproc/class_copy.h"
#include "modelproc/display_hooks.h"
#include "modelproc/equation_collection.h"
#include "modelproc/equation_reshaping.h"
#include "modelproc/expression_walk.h"
#include "modelproc/function_table.h"
#include "modelproc/parallel_parts.h"
#include "modelproc/template_writer.h"
#include "modelproc/tokens.h"

#include <algorithm>
#include <cstdint>
#include <deque>
#include <new>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr const char* kMemoryFailure = "memory allocation failure (may be out of memory).";

int kindOfSection(BodySection s)
{
    static const int kinds[] = {TK_INDEP_STATENAME, TK_INDEP_RATENAME, TK_DEP_STATENAME,
                                TK_DEP_RATENAME,    TK_ALGLOOP_INNAME,  TK_ALGLOOP_OUTNAME};
    return kinds[s];
}

bool isFixedKind(int kind)
{
    return kind == TK_PARAMETERNAME || kind == TK_INITCONDNAME || kind == TK_CONSTANTNAME;
}

bool isSingleReference(const ExprNode* e) { return e && isVariableKind(e->kind); }

bool isIntegerLiteral(const ExprNode* e, std::int32_t value)
{
    return e && e->kind == TK_INTEGER && e->intValue() == value;
}

/// True when the reference's indices select every element of the variable, or it has none.
bool selectsWholeVariable(const ExprNode* ref, const VarRec* var)
{
    if (ref->index().empty() || var->dim.empty())
        return true;
    if (ref->index().count() != var->dim.count())
        return false;
    PtrNode<ExprNode>* d = var->dim.head;
    for (PtrNode<ExprNode>* i = ref->index().head; i; i = i->next, d = d->next) {
        const ExprNode* size = d->item;
        const ExprNode* index = i->item;
        if (!size || size->kind != TK_INTEGER || !index)
            return false;
        const std::int32_t extent = size->intValue();
        const bool whole = index->kind == TK_UPTO
                               ? isIntegerLiteral(index->left(), 1) && isIntegerLiteral(index->right(), extent)
                               : extent == 1 && isIntegerLiteral(index, 1);
        if (!whole)
            return false;
    }
    return true;
}

/// The number of elements of a variable with literal sizes (1 for a scalar); -1 otherwise.
std::int64_t elementCount(const VarRec* var)
{
    std::int64_t count = 1;
    for (const ExprNode* size : var->dim) {
        if (!size || size->kind != TK_INTEGER || size->intValue() < 1)
            return -1;
        count *= size->intValue();
    }
    return count;
}

/// The elements a reference selects, as row-major element numbers from 0; false when its
/// indices or the variable's sizes are not literal, or an index lies outside its dimension.
bool selectedElements(const ExprNode* ref, const VarRec* var, std::vector<std::int64_t>& out)
{
    std::vector<std::int64_t> sizes;
    for (const ExprNode* size : var->dim) {
        if (!size || size->kind != TK_INTEGER || size->intValue() < 1)
            return false;
        sizes.push_back(size->intValue());
    }
    std::vector<std::pair<std::int64_t, std::int64_t>> ranges;
    if (ref->index().empty()) {
        for (std::int64_t size : sizes)
            ranges.push_back({1, size});
    } else {
        if (static_cast<std::size_t>(ref->index().count()) != sizes.size())
            return false;
        for (const ExprNode* index : ref->index()) {
            const std::int64_t size = sizes[ranges.size()];
            std::int64_t lo = 0, hi = 0;
            if (index && index->kind == TK_INTEGER) {
                lo = hi = index->intValue();
            } else if (index && index->kind == TK_UPTO && index->left() && index->right() &&
                       index->left()->kind == TK_INTEGER && index->right()->kind == TK_INTEGER) {
                lo = index->left()->intValue();
                hi = index->right()->intValue();
            } else {
                return false;
            }
            if (lo < 1 || hi < lo || hi > size)
                return false;
            ranges.push_back({lo, hi});
        }
    }
    out.clear();
    std::vector<std::int64_t> at;
    for (const auto& range : ranges)
        at.push_back(range.first);
    for (;;) {
        std::int64_t flat = 0;
        for (std::size_t k = 0; k < at.size(); ++k)
            flat = flat * sizes[k] + (at[k] - 1);
        out.push_back(flat);
        std::size_t k = at.size();
        while (k > 0 && at[k - 1] == ranges[k - 1].second) {
            at[k - 1] = ranges[k - 1].first;
            --k;
        }
        if (k == 0)
            break;
        ++at[k - 1];
    }
    return true;
}

/// One pass over the equations of a class: the counters and the failures of the pass.
class StateDetermination {
public:
    explicit StateDetermination(ClassRec* cls) : m_cls(cls), m_body(cls->equations) {}

    /// `order`, when given, receives the equations in list order at the end.
    int run(std::vector<EquationRec*>* order)
    {
        // Equations are only ever removed as they are handled, and appended at the end, which
        // the walk reaches in its turn: those walked and kept are the list, unless the walk ends
        // on a removed equation that appended others.
        bool walkedAll = true;
        for (EquationRec* eq = m_body->equations.first(); eq;) {
            EquationRec* next = SectionList<EquationRec>::after(eq);
            const std::size_t appended = m_appended;
            m_list.push_back(eq);
            handleEquation(eq);
            if (m_removed)
                m_list.pop_back();
            // Equations appended meanwhile follow `eq`; a removed one already gave its successor.
            eq = m_removed ? next : SectionList<EquationRec>::after(eq);
            if (m_removed && !next) {
                walkedAll = m_appended == appended;
                eq = nullptr;
            }
            m_removed = false;
        }
        if (!walkedAll) {
            m_list.clear();
            for (EquationRec* eq : m_body->equations)
                m_list.push_back(eq);
        }
        checkElementwiseCalls();
        retagMovedReferences();
        makeInitialConditions();
        if (order) {
            // The order is kept through sorting and writing: it takes no more room than it needs.
            m_list.shrink_to_fit();
            *order = std::move(m_list);
        }
        return m_ok ? 1 : 0;
    }

private:
    enum class Call : std::uint8_t { Int, Ddt };

    void fail(const std::string& message)
    {
        reportEquationsError(message);
        m_ok = false;
    }

    void memoryFailure()
    {
        DisplayHooks().error("General error", nullptr, nullptr, -1, nullptr, kMemoryFailure);
        m_ok = false;
    }

    std::string equationText(const EquationRec* eq) const
    {
        return "equation " + expressionText(eq->left, 1) + " = " + expressionText(eq->right, 1);
    }

    void handleEquation(EquationRec* eq)
    {
        if (!eq->right) {
            fail("<error: error in expression tree: NULL-pointer>");
            return;
        }
        walk(eq, eq->right);
    }

    bool isCall(const ExprNode* node, int function) const
    {
        return node->kind == TK_FUNCTIONNAME && node->function == function;
    }

    /// Handles the calls in `start` and below, in text order, with a stack of its own instead of
    /// recursion (a right side may be a sum of a million terms); false when the equation was
    /// removed. A call that is the whole right side hands the walk on to the side it leaves.
    bool walk(EquationRec* eq, ExprNode* start)
    {
        struct Pending {
            ExprNode* node;
            ExprNode* holder; ///< the node that has it as an operand; null for a side
        };
        ScratchStack<Pending> pendingStack;
        std::vector<Pending>& pending = *pendingStack;
        pending.push_back({start, nullptr});
        while (!pending.empty()) {
            auto [node, holder] = pending.back();
            pending.pop_back();
            if (!node) {
                fail("<error: error in expression tree: NULL-pointer>");
                continue;
            }
            const bool whole = node == eq->right;
            if (isCall(node, FN_LIMINT)) {
                if (!whole) {
                    // The limits test the equation's left side, which only is the integral when
                    // limint is the whole right side.
                    fail(equationText(eq) + ": limint only allowed as the whole right side");
                    continue;
                }
                node = rewriteLimint(eq, node);
                if (!node)
                    continue;
            }
            if (isCall(node, FN_INT) || isCall(node, FN_DDT)) {
                const Call c = isCall(node, FN_INT) ? Call::Int : Call::Ddt;
                if (whole) {
                    // The whole side: nothing else is pending. The call may leave its argument as
                    // the new right side, to be walked in its turn.
                    m_walkOn = false;
                    if (!wholeCall(eq, node, c))
                        return false;
                    if (m_walkOn)
                        pending.push_back({eq->right, nullptr});
                    continue;
                }
                if (!innerCall(eq, node, holder, c))
                    return false;
                continue;
            }
            const int kind = node->kind;
            if (kind == TK_FUNCTIONNAME) {
                // The arguments in text order: pushed last first.
                const std::size_t from = pending.size();
                for (ExprNode* a : node->args())
                    if (a)
                        pending.push_back({a, node});
                std::reverse(pending.begin() + static_cast<std::ptrdiff_t>(from), pending.end());
                continue;
            }
            if (isNameKind(kind) || kind == TK_TIME || kind == TK_REAL || kind == TK_INTEGER ||
                kind == TK_BOOLEAN)
                continue;
            if (isOperatorKind(kind) || kind == TK_IF) {
                if (kind == TK_IF && node->extra())
                    pending.push_back({node->extra(), node});
                if (node->right())
                    pending.push_back({node->right(), node});
                if (node->left())
                    pending.push_back({node->left(), node});
                continue;
            }
            fail("<error: wrong opcode (" + std::to_string(kind) + "), leftexpr: " +
                 std::to_string(node->left() ? node->left()->kind : 0) + ", rightexpr: " +
                 std::to_string(node->right() ? node->right()->kind : 0) + ">");
        }
        return true;
    }

    ExprNode* copy(const ExprNode* e)
    {
        AddressMap map;
        return copyExpression(e, map);
    }

    /// limint(r, lo, hi) with left side x becomes int(if r > 0 and x >= hi then 0 else
    /// (if r < 0 and x <= lo then 0 else r)).
    ExprNode* rewriteLimint(EquationRec* eq, ExprNode* call)
    {
        if (call->args().count() != 3 || !call->args().at(0) || !call->args().at(1) || !call->args().at(2) ||
            !eq->left) {
            fail("<error: error in expression tree: NULL-pointer>");
            return nullptr;
        }
        ExprNode* r = call->args().at(0);
        ExprNode* lo = call->args().at(1);
        ExprNode* hi = call->args().at(2);
        ExprNode* upper = makeOperator(makeOperator(copy(r), makeRealConstant(0.0), TK_GT),
                                       makeOperator(copy(eq->left), copy(hi), TK_GE), TK_AND);
        ExprNode* lower = makeOperator(makeOperator(copy(r), makeRealConstant(0.0), TK_LT),
                                       makeOperator(copy(eq->left), copy(lo), TK_LE), TK_AND);
        ExprNode* inner = makeConditional(lower, makeRealConstant(0.0), copy(r));
        ExprNode* outer = makeConditional(upper, makeRealConstant(0.0), inner);
        ExprList args;
        if (!outer || !args.append(outer)) {
            memoryFailure();
            return nullptr;
        }
        ExprNode* integral = makeFunctionCall(FN_INT, args);
        if (!integral) {
            memoryFailure();
            return nullptr;
        }
        eq->right = integral;
        rebuildVariableChain(eq);
        return integral;
    }

    /// A variable of the section named from the base (or the suffix alone without a base).
    VarRec* newVariable(BodySection which, const VarRec* base, const std::string& suffix)
    {
        VarRec* var = newBodyVariable(m_body, which);
        if (!var) {
            memoryFailure();
            return nullptr;
        }
        ExprList dims;
        if (base) {
            // A vector state keeps the shape of the variable it stands for.
            AddressMap map;
            if (!copyExpressionList(base->dim, dims, map)) {
                memoryFailure();
                return nullptr;
            }
        }
        const std::int32_t type = base ? std::int32_t{base->at} : std::int32_t{TYPE_REAL};
        setVariable(var, base ? base->name + "_" + suffix : suffix, dims, type);
        if (base)
            for (std::string_view alias : base->aliases)
                var->aliases.push_back(std::string(alias).append("_").append(suffix));
        return var;
    }

    /// A reference of the section's kind with a copy of `like`'s indices.
    ExprNode* newReference(VarRec* var, BodySection which, const ExprNode* like)
    {
        ExprList index;
        if (like) {
            AddressMap map;
            if (!copyExpressionList(like->index(), index, map)) {
                memoryFailure();
                return nullptr;
            }
        }
        ExprNode* ref = makeLeaf(0, var, kindOfSection(which), nullptr, index);
        if (!ref)
            memoryFailure();
        return ref;
    }

    /// Moves the referenced variable, all its elements, to the section; its references are
    /// retagged everywhere. A reference that selects only some elements must have literal
    /// indices, so that the elements left over can be checked at the end.
    bool moveVariable(EquationRec* eq, ExprNode* ref, BodySection which)
    {
        VarRec* var = ref->var();
        if (!var)
            return false;
        std::vector<std::int64_t> elements;
        if (!selectsWholeVariable(ref, var) && !selectedElements(ref, var, elements)) {
            fail(equationText(eq) + ": vector " + var->name + " only partly used as state or rate");
            return false;
        }
        SectionList<VarRec>::unlink(var);
        m_body->section(which).append(var);
        // The other references are retagged in one pass at the end; until then kindOf answers.
        rolesOf(var).moved = kindOfSection(which);
        m_anyMoved = true;
        ref->setKind(kindOfSection(which));
        return true;
    }

    /// What a variable takes part in: the kind it was moved to (0: none), and the pairings it is
    /// the given side or the partner of. One entry for each variable met, found by its number, as
    /// a call moves and pairs the same variables.
    static constexpr std::uint32_t kNoPairing = ~std::uint32_t(0);
    struct VariableRoles {
        std::int32_t moved = 0;
        std::uint32_t asGiven = kNoPairing;
        std::uint32_t asPartner = kNoPairing;
    };

    /// A state and its rate made from one variable or vector, element by element: the side the
    /// call gives (the state of int, the rate of ddt) and the side of its argument. The two sit
    /// at the same place of their sections, so their elements pair by position.
    struct Pairing {
        VarRec* given;
        VarRec* partner;
        std::size_t usedFrom;   ///< per element of `given`, integrated already: in `m_used` from here
        std::size_t usedCount;  ///< 0 when the elements are not counted
        std::uint32_t firstUse; ///< the equation that made the pairing, in `m_firstUses`
        Call call;
        bool partnerMade;       ///< the partner was made here, not moved from the variables
        bool needsAll;          ///< every element of `given` must be integrated by some call
    };

    /// The roles of the variable, made on first use.
    VariableRoles& rolesOf(const VarRec* var)
    {
        const std::int64_t at = m_roleNumbers.find(var);
        if (at >= 0)
            return m_roles[static_cast<std::size_t>(at)];
        m_roleNumbers.set(var, static_cast<std::int64_t>(m_roles.size()));
        return m_roles.emplace_back();
    }

    /// The roles of the variable; null when it has none.
    VariableRoles* findRoles(const VarRec* var)
    {
        const std::int64_t at = m_roleNumbers.find(var);
        return at >= 0 ? &m_roles[static_cast<std::size_t>(at)] : nullptr;
    }
    const VariableRoles* findRoles(const VarRec* var) const
    {
        const std::int64_t at = m_roleNumbers.find(var);
        return at >= 0 ? &m_roles[static_cast<std::size_t>(at)] : nullptr;
    }

    /// The pairing of a call kind in which the variable is the given side or the partner.
    Pairing* pairingOf(const VarRec* var, Call c, bool givenSide)
    {
        const VariableRoles* roles = findRoles(var);
        const std::uint32_t at = !roles ? kNoPairing : givenSide ? roles->asGiven : roles->asPartner;
        if (at == kNoPairing || m_pairings[at].call != c)
            return nullptr;
        return &m_pairings[at];
    }

    /// Whether element `k` of the pairing's given side is integrated already.
    bool isUsed(const Pairing& p, std::int64_t k) const { return m_used[p.usedFrom + static_cast<std::size_t>(k)] != 0; }

    /// Whether a pairing of `given` that the call's `elements` start (none: all of them) leaves
    /// elements unused, so that it may yet have to be reported.
    static bool leavesElements(const VarRec* given, const std::vector<std::int64_t>& elements)
    {
        if (elements.size() <= 1)
            return !elements.empty() && elementCount(given) > 1;
        std::vector<std::int64_t> distinct = elements;
        std::sort(distinct.begin(), distinct.end());
        return std::unique(distinct.begin(), distinct.end()) - distinct.begin() < elementCount(given);
    }

    /// Records a new pairing; `elements` are those the call used (none: all of them); `firstUse`
    /// names the equation that made it, for a pairing that needs all elements.
    void addPairing(VarRec* given, VarRec* partner, Call c, bool partnerMade, bool needsAll,
                    const std::vector<std::int64_t>& elements, const std::string& text)
    {
        const std::int64_t count = elementCount(given);
        if (count <= 0 || !leavesElements(given, elements)) {
            // Nothing is left to pair or to report: the pairing is not kept, but it still takes
            // the place of the pairings its variables had before.
            if (VariableRoles* roles = findRoles(given))
                roles->asGiven = kNoPairing;
            if (VariableRoles* roles = findRoles(partner))
                roles->asPartner = kNoPairing;
            return;
        }
        if (m_pairings.size() >= kNoPairing)
            throw std::bad_alloc();
        Pairing p{given, partner, m_used.size(), static_cast<std::size_t>(count), 0, c, partnerMade, needsAll};
        m_used.resize(m_used.size() + p.usedCount, 0);
        markUsed(p, elements);
        if (!text.empty()) {
            p.firstUse = static_cast<std::uint32_t>(m_firstUses.size());
            m_firstUses.push_back(text);
        }
        const auto at = static_cast<std::uint32_t>(m_pairings.size());
        m_pairings.push_back(p);
        rolesOf(given).asGiven = at;
        rolesOf(partner).asPartner = at;
    }

    /// The elements of `ref` (of the pairing's variable `var`) when none of them is used yet.
    bool openElements(const Pairing& p, const ExprNode* ref, const VarRec* var,
                      std::vector<std::int64_t>& elements) const
    {
        if (p.usedCount == 0 || !selectedElements(ref, var, elements))
            return false;
        for (std::int64_t k : elements)
            if (isUsed(p, k))
                return false;
        return true;
    }

    void markUsed(const Pairing& p, const std::vector<std::int64_t>& elements)
    {
        for (std::int64_t k : elements)
            m_used[p.usedFrom + static_cast<std::size_t>(k)] = 1;
    }

    /// Two references that select the same elements of variables of the same size.
    static bool sameElements(const ExprNode* a, const VarRec* va, const ExprNode* b, const VarRec* vb)
    {
        std::vector<std::int64_t> ea, eb;
        if (!selectedElements(a, va, ea) || !selectedElements(b, vb, eb))
            return selectsWholeVariable(a, va) && selectsWholeVariable(b, vb);
        return ea == eb && elementCount(va) == elementCount(vb);
    }

    /// int(e) or ddt(e) of elements of a variable whose other elements are paired already: the
    /// reference to the given side that stands for it, or null when there is none.
    ExprNode* pairedElement(ExprNode* e, Call c, BodySection given)
    {
        if (!isSingleReference(e))
            return nullptr;
        Pairing* p = pairingOf(e->var(), c, false);
        std::vector<std::int64_t> elements;
        if (!p || elementCount(p->partner) != elementCount(p->given) || !openElements(*p, e, p->partner, elements))
            return nullptr;
        markUsed(*p, elements);
        return newReference(p->given, given, e);
    }

    /// Every vector whose state (or rate) side was taken from the variables must be integrated
    /// in full: an element left over would keep equations of its own beside the integral.
    void checkElementwiseCalls()
    {
        for (const Pairing& p : m_pairings) {
            if (!p.needsAll)
                continue;
            const auto first = m_used.begin() + static_cast<std::ptrdiff_t>(p.usedFrom);
            const auto last = first + static_cast<std::ptrdiff_t>(p.usedCount);
            if (std::find(first, last, 0) != last)
                fail(m_firstUses[p.firstUse] + ": vector " + p.given->name + " only partly used as state or rate");
        }
    }

    /// The kind of a reference, counting the moves not yet retagged.
    int kindOf(const ExprNode* ref) const
    {
        if (!ref)
            return 0;
        if (isVariableKind(ref->kind)) {
            const VariableRoles* roles = findRoles(ref->var());
            if (roles && roles->moved)
                return roles->moved;
        }
        return ref->kind;
    }

    /// Each equation's names take the kinds of the moves, equations in parts side by side: the
    /// moves are all known by now, and each name is of one equation.
    void retagMovedReferences()
    {
        if (!m_anyMoved)
            return;
        const std::size_t parts = partsFor(m_list.size(), 20000);
        runPartRanges(m_list.size(), parts, [&](std::size_t, std::size_t begin, std::size_t end) {
            constexpr std::size_t kAhead = 16;
            for (std::size_t k = begin; k < end; ++k) {
                if (k + kAhead < end)
                    __builtin_prefetch(m_list[k + kAhead]);
                if (k + kAhead / 2 < end)
                    __builtin_prefetch(m_list[k + kAhead / 2]->variables, 1);
                for (ExprNode* v = m_list[k]->variables; v; v = v->extra())
                    v->setKind(kindOf(v));
            }
        });
    }

    /// Puts `with` in the place of `old`, an operand of `holder` or the equation's right side.
    void replaceOperand(EquationRec* eq, ExprNode* old, ExprNode* holder, ExprNode* with)
    {
        if (eq->right == old) {
            eq->right = with;
            return;
        }
        if (!holder)
            return;
        if (holder->left() == old)
            holder->setLeft(with);
        else if (holder->right() == old)
            holder->setRight(with);
        else if (holder->kind == TK_IF && holder->extra() == old)
            holder->setExtra(with);
        else
            holder->mutableArgs().replace(old, with);
    }

    void removeEquation(EquationRec* eq)
    {
        SectionList<EquationRec>::unlink(eq);
        m_removed = true;
    }

    /// A new equation at the end of the list, made of a part of `from`.
    bool appendEquation(ExprNode* left, ExprNode* right, const EquationRec* from)
    {
        EquationRec* eq = newEquation(m_body);
        if (eq)
            takePlace(eq, from);
        if (eq)
            ++m_appended;
        if (!eq || !left || !right) {
            memoryFailure();
            return false;
        }
        eq->left = left;
        eq->right = right;
        rebuildVariableChain(eq);
        return true;
    }

    struct Names {
        BodySection state, rate;
        const char* stateSuffix;
        const char* rateSuffix;
        const char* notAllowed;
        const char* illegal;
    };

    static Names namesOf(Call c)
    {
        if (c == Call::Int)
            return {BODY_INDEP_STATES, BODY_INDEP_RATES, "indep_state", "indep_rate",
                    ": lhs not allowed as state", ": illegal argument for int (errorinfo: "};
        return {BODY_DEP_STATES, BODY_DEP_RATES, "dep_state", "dep_rate", ": lhs not allowed as rate",
                ": illegal argument for ddt (errorinfo: "};
    }

    int& counter(Call c) { return c == Call::Int ? m_integrals : m_derivatives; }

    /// x = int(e) or x = ddt(e) where x holds elements of a vector whose other elements were
    /// integrated already: x keeps its place, and e goes to the paired elements of the partner.
    bool continuePairing(EquationRec* eq, ExprNode* x, ExprNode* e, Pairing& p, Call c,
                         const std::vector<std::int64_t>& elements)
    {
        const Names n = namesOf(c);
        const BodySection argSide = c == Call::Int ? n.rate : n.state;
        ++counter(c);
        if (!e || isFixedKind(kindOf(e))) {
            fail(equationText(eq) + n.illegal + "123)");
            return true;
        }
        markUsed(p, elements);
        if (isSingleReference(e) && e->var() == p.partner && sameElements(x, p.given, e, p.partner)) {
            removeEquation(eq);
            return false;
        }
        if (!p.partnerMade) {
            // The partner's elements have equations of their own; another argument cannot pair.
            fail(equationText(eq) + ": state and rate elements do not match");
            return true;
        }
        ExprNode* left = newReference(p.partner, argSide, x);
        if (!left)
            return true;
        eq->left = left;
        eq->right = e;
        rebuildVariableChain(eq);
        m_walkOn = true; // the argument, now the whole right side, may hold further calls
        return true;
    }

    /// x = int(e) or x = ddt(e); for int the state is the integral's side, for ddt the rate.
    bool wholeCall(EquationRec* eq, ExprNode* call, Call c)
    {
        const Names n = namesOf(c);
        // The equation's text, for messages: made when first needed, before the equation changes.
        const auto text = [this, eq] { return equationText(eq); };
        ExprNode* x = eq->left;
        ExprNode* e = call->args().at(0);
        const int xk = kindOf(x);
        const bool isInt = c == Call::Int;
        // The side the call itself gives: the state for int, the rate for ddt.
        const BodySection given = isInt ? n.state : n.rate;
        const BodySection argSide = isInt ? n.rate : n.state;
        const char* givenSuffix = isInt ? n.stateSuffix : n.rateSuffix;
        const char* argSuffix = isInt ? n.rateSuffix : n.stateSuffix;
        if (x && isVariableKind(x->kind)) {
            std::vector<std::int64_t> elements;
            Pairing* p = pairingOf(x->var(), c, true);
            if (p && p->needsAll && openElements(*p, x, p->given, elements))
                return continuePairing(eq, x, e, *p, c, elements);
        }
        bool allowed;
        if (isInt)
            allowed = x && isVariableKind(xk) && !isFixedKind(xk) && xk != TK_INDEP_STATENAME;
        else
            allowed = x && (xk == TK_VARIABLENAME || xk == TK_INDEP_STATENAME ||
                            xk == TK_INDEP_RATENAME || xk == TK_DEP_STATENAME);
        if (!allowed) {
            fail(text() + n.notAllowed);
            return true;
        }
        ++counter(c);
        const bool plain = kindOf(e) == TK_VARIABLENAME;
        if (xk == TK_VARIABLENAME) {
            if (!e || isFixedKind(kindOf(e))) {
                fail(text() + n.illegal + "123)");
                return true;
            }
            VarRec* xv = x->var();
            std::vector<std::int64_t> elements;
            selectedElements(x, xv, elements);
            // The pairing names this equation only should elements of x be left over.
            const std::string firstUse = leavesElements(xv, elements) ? text() : std::string();
            if (plain) {
                VarRec* yv = e->var();
                if (!sameElements(x, xv, e, yv)) {
                    fail(text() + ": state and rate elements do not match");
                    return true;
                }
                if (!moveVariable(eq, e, argSide) || !moveVariable(eq, x, given))
                    return true;
                addPairing(xv, yv, c, false, true, elements, firstUse);
                removeEquation(eq);
                return false;
            }
            if (!moveVariable(eq, x, given))
                return true;
            VarRec* arg = newVariable(argSide, xv, argSuffix);
            ExprNode* left = arg ? newReference(arg, argSide, x) : nullptr;
            if (!left)
                return true;
            addPairing(xv, arg, c, true, true, elements, firstUse);
            eq->left = left;
            eq->right = e;
            rebuildVariableChain(eq);
            m_walkOn = true; // the argument, now the whole right side, may hold further calls
            return true;
        }
        if (!e) {
            fail("<error: error in expression tree: NULL-pointer>");
            return true;
        }
        if (isFixedKind(kindOf(e))) {
            fail(text() + n.illegal + "456)");
            return true;
        }
        if (ExprNode* ref = pairedElement(e, c, given)) {
            eq->right = ref;
            rebuildVariableChain(eq);
            return true;
        }
        if (plain) {
            VarRec* yv = e->var();
            std::vector<std::int64_t> elements;
            selectedElements(e, yv, elements);
            if (!moveVariable(eq, e, argSide))
                return true;
            VarRec* made = newVariable(given, yv, givenSuffix);
            ExprNode* ref = made ? newReference(made, given, e) : nullptr;
            if (!ref)
                return true;
            addPairing(made, yv, c, false, false, elements, std::string());
            eq->right = ref;
            rebuildVariableChain(eq);
            return true;
        }
        const std::string number = std::to_string(counter(c) - 1);
        VarRec* arg = newVariable(argSide, isSingleReference(e) ? e->var() : nullptr,
                                  std::string(argSuffix) + "_" + number);
        VarRec* made = newVariable(given, x->var(), std::string(givenSuffix) + "_" + number);
        if (!arg || !made)
            return true;
        if (elementCount(arg) != elementCount(made)) {
            // The simulator pairs the two sections element by element.
            fail(text() + ": state and rate elements do not match");
            return true;
        }
        ExprNode* argRef = newReference(arg, argSide, isSingleReference(e) ? e : nullptr);
        ExprNode* madeRef = newReference(made, given, x);
        if (!argRef || !madeRef || !appendEquation(argRef, e, eq))
            return true;
        eq->right = madeRef;
        rebuildVariableChain(eq);
        return true;
    }

    /// int(e) or ddt(e) inside an expression, an operand of `holder`.
    bool innerCall(EquationRec* eq, ExprNode* call, ExprNode* holder, Call c)
    {
        const Names n = namesOf(c);
        ExprNode* e = call->args().at(0);
        const bool isInt = c == Call::Int;
        const BodySection given = isInt ? n.state : n.rate;
        const BodySection argSide = isInt ? n.rate : n.state;
        const char* givenSuffix = isInt ? n.stateSuffix : n.rateSuffix;
        const char* argSuffix = isInt ? n.rateSuffix : n.stateSuffix;
        if (!e) {
            fail("<error: error in expression tree: NULL-pointer>");
            return true;
        }
        if (isFixedKind(kindOf(e))) {
            fail(equationText(eq) + n.illegal + "789)");
            return true;
        }
        const std::string number = std::to_string(counter(c)++);
        // An element of a vector integrated before stands for its paired element.
        ExprNode* replacement = pairedElement(e, c, given);
        if (!replacement && kindOf(e) == TK_VARIABLENAME) {
            VarRec* yv = e->var();
            std::vector<std::int64_t> elements;
            selectedElements(e, yv, elements);
            if (!moveVariable(eq, e, argSide))
                return true;
            VarRec* made = newVariable(given, yv, givenSuffix);
            replacement = made ? newReference(made, given, e) : nullptr;
            if (made)
                addPairing(made, yv, c, false, false, elements, std::string());
        } else if (!replacement) {
            VarRec* arg = newVariable(argSide, nullptr, std::string(argSuffix) + "_" + number);
            VarRec* made = newVariable(given, nullptr, std::string(givenSuffix) + "_" + number);
            ExprNode* argRef = arg ? newReference(arg, argSide, nullptr) : nullptr;
            replacement = made ? newReference(made, given, nullptr) : nullptr;
            if (!argRef || !replacement || !appendEquation(argRef, e, eq))
                return true;
        }
        if (!replacement)
            return true;
        replaceOperand(eq, call, holder, replacement);
        rebuildVariableChain(eq);
        return true;
    }

    void makeInitialConditions()
    {
        for (VarRec* state : m_body->indep_states) {
            if (state->name.view().find(' ') != std::string_view::npos)
                state->name = intern_name(state->name);
            VarRec* ic = newClassVariable(m_cls, CLASS_INITCONDS);
            ExprList dims;
            AddressMap map;
            if (!ic || !copyExpressionList(state->dim, dims, map)) {
                memoryFailure();
                return;
            }
            setVariable(ic, state->name, dims, TYPE_REAL);
            for (std::string_view alias : state->aliases)
                ic->aliases.push_back(alias.empty() ? std::string("ic") : std::string(alias) + "_ic");
        }
    }

    ClassRec* m_cls;
    EquationBody* m_body;
    std::vector<EquationRec*> m_list; ///< the equations walked and kept, in list order
    std::size_t m_appended = 0;
    bool m_removed = false;
    bool m_walkOn = false; ///< set by a whole call that left a right side still to walk
    VariableNumbering m_roleNumbers;
    std::deque<VariableRoles> m_roles; ///< in blocks, which grow without copying
    bool m_anyMoved = false;
    std::deque<Pairing> m_pairings;
    std::vector<char> m_used; ///< the elements of every pairing's given side, integrated already
    std::vector<std::string> m_firstUses{std::string()}; ///< the first is no equation
    int m_integrals = 0;
    int m_derivatives = 0;
    bool m_ok = true;
};

} // namespace

int determineStates(ClassRec* cls)
{
    if (!cls || !cls->equations) {
        reportEquationsError("<error: error in expression tree: NULL-pointer>");
        return 0;
    }
    return StateDetermination(cls).run(nullptr);
}

int determineStatesWithOrder(ClassRec* cls, std::vector<EquationRec*>& order)
{
    if (!cls || !cls->equations) {
        reportEquationsError("<error: error in expression tree: NULL-pointer>");
        return 0;
    }
    return StateDetermination(cls).run(&order);
}
