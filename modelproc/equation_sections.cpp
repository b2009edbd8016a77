// Distribution of sorted equations into the initial, inputs, dynamic and outputs sections.
#include "modelproc/equation_sections.h"

#include "modelproc/display_hooks.h"
#include "modelproc/expression_walk.h"
#include "modelproc/function_table.h"
#include "modelproc/model_records.h"
#include "modelproc/parallel_parts.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <new>
#include <span>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

namespace {

using Element = std::pair<const VarRec*, std::int64_t>;

struct ElementHash {
    std::size_t operator()(const Element& e) const
    {
        return std::hash<const void*>()(e.first) ^ (std::hash<std::int64_t>()(e.second) * 0x9e3779b97f4a7c15ull);
    }
};

/// The elements that the initial section defines so far.
using DefinedElements = std::unordered_set<Element, ElementHash>;

/// Whether a function's value at the start can be computed from its argument there.
bool isInitialFunction(int function)
{
    return function >= FN_EXP && function <= FN_EXP2 && function != FN_TP && function != FN_ATAN2;
}

/// Walks the expression as the test for computing it once at the start does, without recursion,
/// and lists in `met`, in the order the test meets them, the elements it needs initial to define.
/// False when the expression cannot be computed at the start whatever initial defines; the
/// walk, and `met`, stop there.
bool walkAtStart(const ExprNode* root, std::vector<Element>& met)
{
    ScratchStack<const ExprNode*> pendingStack;
    std::vector<const ExprNode*>& pending = *pendingStack;
    pending.push_back(root);
    while (!pending.empty()) {
        const ExprNode* node = pending.back();
        pending.pop_back();
        if (!node)
            return false;
        switch (node->kind) {
        case TK_PARAMETERNAME:
        case TK_INITCONDNAME:
        case TK_CONSTANTNAME:
        case TK_TABLENAME:
            for (const ExprNode* index : node->index())
                pending.push_back(index);
            continue;
        case TK_VARIABLENAME:
        case TK_INDEP_RATENAME:
        case TK_DEP_STATENAME: {
            const std::int64_t element = literalElement(node);
            if (element < 0)
                return false;
            met.push_back({node->var(), element});
            continue;
        }
        case TK_REAL:
        case TK_INTEGER:
        case TK_BOOLEAN: continue;
        case TK_IF:
            pending.push_back(node->left());
            pending.push_back(node->right());
            pending.push_back(node->extra());
            continue;
        case TK_FUNCTIONNAME:
            if (!isInitialFunction(node->function))
                return false;
            pending.push_back(node->args().at(0));
            continue;
        default: break;
        }
        if (isUnaryOperator(node->kind)) {
            pending.push_back(node->right());
        } else if (isOperatorKind(node->kind) || node->kind == TK_UPTO) {
            pending.push_back(node->left());
            pending.push_back(node->right());
        } else {
            return false;
        }
    }
    return true;
}

/// Element numbers are kept in 31 bits; a class has far fewer elements than would fill them.
constexpr std::int64_t kMaxElements = std::int64_t(1) << 31;

/// Numbering of the elements of the class's variables (V) across the section, and after them,
/// past a gap, of its independent rates and dependent states, so that each element that initial
/// may need has a place of its own.
class VariableElements {
public:
    explicit VariableElements(const ClassRec& cls)
    {
        std::int64_t base = 0;
        for (const VarRec* var : cls.variables) {
            m_base.set(var, base);
            base += elementCount(var->dim);
        }
        m_total = base;
        // The gap keeps a last V variable without elements apart from the first of the others.
        ++base;
        if (const EquationBody* body = cls.equations)
            for (const SectionList<VarRec>* list : {&body->indep_rates, &body->dep_states})
                for (const VarRec* var : *list) {
                    m_base.set(var, base);
                    base += elementCount(var->dim);
                }
        m_places = base;
        if (m_places >= kMaxElements)
            throw std::bad_alloc();
    }
    std::int64_t total() const { return m_total; }
    /// The number of the variable's first element; -1 for a variable of no section here.
    std::int64_t base(const VarRec* var) const
    {
        const std::int64_t base = m_base.find(var);
        return base <= m_total ? base : -1;
    }

    /// The element number of a V reference with literal indices, else -1; an element past the
    /// last one of the variables is none of theirs.
    std::int64_t of(const ExprNode* node) const
    {
        if (!node || node->kind != TK_VARIABLENAME)
            return -1;
        const std::int64_t base = this->base(node->var());
        std::int64_t element = literalElement(node);
        if (base < 0 || element < 0 || element >= m_total - base)
            return -1;
        return base + element;
    }

    /// The place of an element of a V variable, a rate or a state among `places()`; -1 for one of
    /// another variable or past them all. An element past its own variable's has the place of one
    /// of the next variable's.
    std::int64_t place(const Element& e) const
    {
        const std::int64_t base = m_base.find(e.first);
        if (base < 0 || e.second < 0 || e.second >= m_places - base)
            return -1;
        return base + e.second;
    }
    std::int64_t places() const { return m_places; }

private:
    VariableNumbering m_base;
    std::int64_t m_total = 0;
    std::int64_t m_places = 0;
};

/// Elements noted one after another, as bits by their places, and apart those without a place.
/// Two elements with the same place are taken for one another: an element past its variable's
/// (which no sorted list has) may be taken for one that was noted.
class NotedElements {
public:
    explicit NotedElements(const VariableElements& elements) : m_elements(elements) {}
    void clear()
    {
        m_bits.clear();
        m_others.clear();
    }
    void note(const Element& e)
    {
        const std::int64_t place = m_elements.place(e);
        if (place < 0) {
            m_others.push_back(e);
            return;
        }
        if (m_bits.empty())
            m_bits.resize(static_cast<std::size_t>(m_elements.places()));
        m_bits[static_cast<std::size_t>(place)] = true;
    }
    bool contains(const Element& e) const
    {
        const std::int64_t place = m_elements.place(e);
        if (place < 0)
            return std::find(m_others.begin(), m_others.end(), e) != m_others.end();
        return !m_bits.empty() && m_bits[static_cast<std::size_t>(place)];
    }

private:
    const VariableElements& m_elements;
    std::vector<bool> m_bits;
    std::vector<Element> m_others;
};

/// Points a V reference at the element that `definition` (a left side) names; false when memory
/// ran out, the reference then naming the definition's variable with its own indices.
bool redirectReference(ExprNode* ref, const ExprNode* definition)
{
    if (ref == definition || !definition)
        return true;
    ref->setRecord(definition->record());
    ref->setKind(definition->kind);
    ExprList index;
    for (const ExprNode* i : definition->index()) {
        ExprNode* copy = makeIntegerConstant(i ? i->intValue() : 1);
        if (!copy)
            return false;
        index.append(copy);
    }
    ref->setIndex(index);
    return true;
}

/// The V elements one equation puts in use: a run of `count` elements from `first` (a whole
/// variable for a reference with a computed index).
struct ElementRun {
    std::int64_t first;
    std::int64_t count;
};

/// A name reference of a right side that the outputs' separation looks at, as it stood when its
/// equation was read: a V reference with literal indices, its variable and element; or the
/// elements that a V reference with a computed index puts in use.
struct Reference {
    ExprNode* node;
    const VarRec* var;
    std::int64_t first; ///< the element of a literal reference, the first of a computed one's run
    std::int64_t count; ///< -1 for a literal reference, else the run's length
};

/// Equations read as one stretch unless told otherwise.
constexpr std::size_t kStretch = std::size_t(1) << 15;

/// What distribution reads of a stretch of equations, read from the records by threads side by
/// side, so that the walks that decide read arrays rather than records scattered over memory.
/// `Reader` reads one equation into its facts and into the lists of its part. A window is used for
/// one stretch after another, keeping its room.
template <class Reader>
class Window {
public:
    using Facts = typename Reader::Facts;
    using Lists = typename Reader::Lists;

    /// Reads a stretch in `parts` parts (0: as many as suit its length).
    Window(Reader reader, std::size_t parts) : m_reader(reader), m_parts(parts) {}

    /// Reads equations [begin, end) of `equations`; the facts of equation k are then `facts(k - begin)`.
    void read(const std::vector<EquationRec*>& equations, std::size_t begin, std::size_t end)
    {
        const std::size_t count = end - begin;
        const std::size_t parts =
            std::clamp<std::size_t>(m_parts ? m_parts : partsFor(count, 20000), 1, std::max<std::size_t>(1, count));
        m_facts.resize(count);
        if (m_lists.size() < parts)
            m_lists.resize(parts);
        for (Lists& lists : m_lists)
            lists.clear();
        runPartRanges(count, parts, [&](std::size_t part, std::size_t first, std::size_t last) {
            const std::size_t from = begin + first;
            const std::size_t to = begin + last;
            Lists& lists = m_lists[part];
            for (std::size_t k = from; k < to; ++k) {
                prefetchEquationsAhead(equations, k, to);
                Facts& f = m_facts[k - begin];
                f = Facts{};
                f.part = static_cast<std::uint8_t>(part);
                m_reader.read(equations[k], f, lists);
            }
        });
    }
    const Facts& facts(std::size_t i) const { return m_facts[i]; }
    const Lists& lists(const Facts& f) const { return m_lists[f.part]; }

private:
    Reader m_reader;
    std::size_t m_parts;
    std::vector<Facts> m_facts;
    std::vector<Lists> m_lists;
};

/// Reads what the walk that puts equations in initial, inputs or dynamic needs of one.
struct StartReader {
    struct Facts {
        const VarRec* definesVar = nullptr; ///< the element the equation defines when it is initial
        std::int64_t definesElement = -1;
        std::uint32_t metFrom = 0; ///< the elements initial must define first, in its part's list
        std::uint32_t metCount = 0;
        std::int16_t function = 0; ///< of a ran or dly call that is the whole right side
        std::uint8_t part = 0;
        bool startNever = false; ///< not computable at the start whatever initial defines
        bool fixed = false;
        std::uint8_t call = 0; ///< 1 ran or dly of a name (inputs), 2 ran or dly misused
    };
    using Lists = std::vector<Element>;

    void read(const EquationRec* eq, Facts& f, std::vector<Element>& met) const
    {
        f.fixed = eq->fixed != 0;
        const ExprNode* left = eq->left;
        const ExprNode* right = eq->right;
        f.metFrom = static_cast<std::uint32_t>(met.size());
        f.startNever = !walkAtStart(right, met) || !left;
        if (!f.startNever)
            for (const ExprNode* index : left->index())
                if (!walkAtStart(index, met)) {
                    f.startNever = true;
                    break;
                }
        f.metCount = static_cast<std::uint32_t>(met.size() - f.metFrom);
        if (left) {
            const std::int64_t element = literalElement(left);
            if (element >= 0 && isNameKind(left->kind) && left->kind >= TK_PARAMETERNAME) {
                f.definesVar = left->var();
                f.definesElement = element;
            }
        }
        if (right && right->kind == TK_FUNCTIONNAME && (right->function == FN_RAN || right->function == FN_DLY)) {
            const ExprNode* first = right->args().at(0);
            f.call = first && isNameKind(first->kind) ? 1 : 2;
            f.function = static_cast<std::int16_t>(right->function);
        }
    }
};

/// Reads what the outputs' separation needs of an equation: its left side and the V references
/// of its right side.
struct LeftReader {
    struct Facts {
        std::int64_t left = -1;  ///< the V element of the left side
        std::int64_t right = -1; ///< the V element of a right side that is a single V reference
        const ExprNode* leftSide = nullptr; ///< the left side, where a copy of it points a reference
        std::uint32_t refFrom = 0; ///< the right side's references, in its part's lists
        std::uint32_t refCount = 0;
        std::uint32_t useFrom = 0; ///< what the left side's indices put in use, in its part's lists
        std::uint32_t useCount = 0;
        std::uint8_t part = 0;
        bool leftIsVariable = false; ///< the left side is a V reference
    };
    struct Lists {
        std::vector<Reference> references;
        std::vector<ElementRun> uses;
        void clear()
        {
            references.clear();
            uses.clear();
        }
    };

    const VariableElements& elements;

    /// The elements a V reference puts in use, as the outputs' separation counts them: its own
    /// element, or all of its variable's when an index is computed; none for any other name.
    void addUse(const ExprNode* ref, std::vector<ElementRun>& uses) const
    {
        if (ref->kind != TK_VARIABLENAME)
            return;
        const std::int64_t e = elements.of(ref);
        if (e >= 0) {
            uses.push_back({e, 1});
            return;
        }
        const VarRec* var = ref->var();
        const std::int64_t base = elements.base(var);
        if (base >= 0)
            uses.push_back({base, elementCount(var->dim)});
    }

    void read(EquationRec* eq, Facts& f, Lists& lists) const
    {
        const ExprNode* left = eq->left;
        f.leftIsVariable = left && left->kind == TK_VARIABLENAME;
        f.left = elements.of(left);
        f.leftSide = left;
        f.right = elements.of(eq->right);
        f.refFrom = static_cast<std::uint32_t>(lists.references.size());
        forEachName(eq->right, false, isNameKind, [&](ExprNode* ref) {
            if (ref->kind != TK_VARIABLENAME)
                return;
            const std::int64_t e = elements.of(ref);
            if (e >= 0) {
                lists.references.push_back({ref, ref->var(), e, -1});
                return;
            }
            const VarRec* var = ref->var();
            const std::int64_t base = elements.base(var);
            lists.references.push_back({ref, var, base, base >= 0 ? elementCount(var->dim) : 0});
        });
        f.refCount = static_cast<std::uint32_t>(lists.references.size() - f.refFrom);
        f.useFrom = static_cast<std::uint32_t>(lists.uses.size());
        if (left)
            for (ExprNode* index : left->index())
                forEachName(index, false, isNameKind, [&](ExprNode* ref) { addUse(ref, lists.uses); });
        f.useCount = static_cast<std::uint32_t>(lists.uses.size() - f.useFrom);
    }
};

/// The V elements that each equation puts in use, one equation after the other, kept small: an
/// element alone as its number, a run of several as its first element's number made negative and
/// the run's length; and how many such items each equation has, in a byte unless it has many.
class ElementUses {
public:
    /// Room for about one use an equation.
    explicit ElementUses(std::size_t equations)
    {
        m_items.reserve(equations);
        m_lengths.reserve(equations);
    }
    /// A use of the equation being read.
    void add(std::int64_t first, std::int64_t count)
    {
        if (count == 1) {
            m_items.push_back(static_cast<std::int32_t>(first));
        } else {
            m_items.push_back(static_cast<std::int32_t>(-1 - first));
            m_items.push_back(static_cast<std::int32_t>(count));
        }
    }
    /// Ends the uses of the equation being read; the next ones are those of the next equation.
    void endEquation()
    {
        const std::size_t length = m_items.size() - m_ended;
        m_ended = m_items.size();
        if (length >= kMany)
            m_long.emplace_back(m_lengths.size(), length);
        m_lengths.push_back(static_cast<std::uint8_t>(std::min(length, kMany)));
    }
    /// Calls `visit(k, from, to)` for each equation k from the last to the first, with the items
    /// [from, to) of its uses.
    template <class Visit>
    void fromTheEnd(const Visit& visit) const
    {
        std::size_t to = m_items.size();
        for (std::size_t k = m_lengths.size(); k-- > 0;) {
            const std::size_t from = to - length(k);
            visit(k, from, to);
            to = from;
        }
    }
    /// Marks the elements that the uses [from, to) put in use.
    void markInUse(std::size_t from, std::size_t to, std::vector<char>& inUse) const
    {
        for (std::size_t u = from; u < to; ++u) {
            const std::int32_t item = m_items[u];
            if (item >= 0)
                inUse[static_cast<std::size_t>(item)] = 1;
            else
                std::fill_n(inUse.begin() + (-1 - item), m_items[++u], 1);
        }
    }

private:
    static constexpr std::size_t kMany = 255;
    std::size_t length(std::size_t k) const
    {
        if (m_lengths[k] < kMany)
            return m_lengths[k];
        const auto at = std::lower_bound(m_long.begin(), m_long.end(), std::make_pair(k, std::size_t(0)));
        return at->second;
    }

    std::vector<std::int32_t> m_items; ///< element numbers fit in 31 bits
    std::vector<std::uint8_t> m_lengths;
    std::vector<std::pair<std::size_t, std::size_t>> m_long; ///< by equation, the lengths of kMany or more
    std::size_t m_ended = 0;
};

/// Whether the outputs are separated the same way again once the list is re-linked as dynamic
/// followed by outputs. The references have then been pointed at the elements that carry their
/// values, so the copies and the trailing equations are found again; what can differ is the use
/// of the elements, which the walk from the end finds in the new order. That walk is made here
/// over what each equation uses, as `separateOutputs` recorded it.
bool separatedAlike(const std::vector<bool>& marked, const std::vector<std::int32_t>& left, const ElementUses& uses,
                    std::vector<char>& inUse)
{
    std::fill(inUse.begin(), inUse.end(), 0);
    const auto walk = [&](bool outputs) {
        uses.fromTheEnd([&](std::size_t k, std::size_t from, std::size_t to) {
            const std::int32_t l = left[k];
            if (marked[k] != outputs || (l >= 0 && !inUse[static_cast<std::size_t>(l)]))
                return;
            uses.markInUse(from, to, inUse);
        });
    };
    walk(true);
    walk(false);
    for (std::size_t k = 0; k < left.size(); ++k)
        if (!marked[k] && left[k] >= 0 && !inUse[static_cast<std::size_t>(left[k])])
            return false;
    return true;
}

/// Points the references at the elements noted, by threads side by side for many.
void redirectAll(const std::vector<std::pair<ExprNode*, const ExprNode*>>& redirects)
{
    const std::size_t parts = partsFor(redirects.size(), 20000);
    runPartRanges(redirects.size(), parts, [&](std::size_t, std::size_t begin, std::size_t end) {
        for (std::size_t r = begin; r < end; ++r)
            redirectReference(redirects[r].first, redirects[r].second);
    });
}

/// Moves the copies and the equations only the outputs need from dynamic to outputs, reading the
/// inputs and the dynamic equations stretch by stretch. `stable` is cleared when distributing the
/// re-linked list might not give the same sections: when the copies run in a circle, or the
/// outputs would be told apart otherwise. (A reference is only ever pointed at the source of a
/// copy, and a copy is left to dynamic only while its source is undefined at the start, which the
/// caller checks.)
void separateOutputs(const VariableElements& elements, EquationSections& sections, bool& stable, std::size_t parts,
                     std::size_t stretch)
{
    const std::vector<EquationRec*>& inputs = sections[SECTION_INPUTS];
    std::vector<EquationRec*>& dynamic = sections[SECTION_DYNAMIC];
    const std::size_t count = dynamic.size();
    auto total = static_cast<std::size_t>(elements.total());
    // Per element: the left side that defines it last (whose variable tells it from another
    // element of that number), and the element it is a copy of, -1 none.
    std::vector<const ExprNode*> definition(total, nullptr);
    std::vector<std::int32_t> alias(total, -1);
    // Per dynamic equation: moved to outputs, its left side's element, the elements it uses.
    std::vector<bool> marked(count, false);
    std::vector<std::int32_t> left(count, -1);
    ElementUses uses(count);
    std::vector<std::pair<ExprNode*, const ExprNode*>> redirects;
    Window<LeftReader> window(LeftReader{elements}, parts);

    for (std::size_t begin = 0; begin < inputs.size(); begin += stretch) {
        const std::size_t end = std::min(inputs.size(), begin + stretch);
        window.read(inputs, begin, end);
        for (std::size_t k = begin; k < end; ++k) {
            const LeftReader::Facts& facts = window.facts(k - begin);
            if (facts.left >= 0)
                definition[static_cast<std::size_t>(facts.left)] = facts.leftSide;
        }
    }

    // The equations after the last one whose left side is not a V reference.
    std::size_t trailing = 0;
    for (std::size_t begin = 0; begin < count; begin += stretch) {
        const std::size_t end = std::min(count, begin + stretch);
        window.read(dynamic, begin, end);
        for (std::size_t k = begin; k < end; ++k) {
            const LeftReader::Facts& facts = window.facts(k - begin);
            const LeftReader::Lists& lists = window.lists(facts);
            if (!facts.leftIsVariable)
                trailing = k + 1;
            for (std::uint32_t r = facts.refFrom; r < facts.refFrom + facts.refCount; ++r) {
                const Reference& ref = lists.references[r];
                if (ref.count >= 0) {
                    if (ref.count > 0)
                        uses.add(ref.first, ref.count);
                    continue;
                }
                // Follow the copies to the element that carries the value.
                std::int32_t e = static_cast<std::int32_t>(ref.first);
                std::size_t guard = 0;
                for (; alias[static_cast<std::size_t>(e)] >= 0 && guard < total; ++guard)
                    e = alias[static_cast<std::size_t>(e)];
                if (guard == total)
                    stable = false;
                const ExprNode* source = definition[static_cast<std::size_t>(e)];
                if (!source) {
                    uses.add(ref.first, 1);
                    continue;
                }
                if (e == ref.first && source->var() == ref.var) {
                    // Already the element itself: pointing it there again would change nothing written.
                    uses.add(e, 1);
                    continue;
                }
                if (source->index().count() == 0) {
                    // Nothing to copy: the reference is pointed there once the stretch is walked.
                    redirects.push_back({ref.node, source});
                    uses.add(e, 1);
                    continue;
                }
                if (redirectReference(ref.node, source)) {
                    uses.add(e, 1);
                    continue;
                }
                // Out of memory halfway: the reference is counted as it now stands.
                const std::int64_t now = elements.of(ref.node);
                if (now >= 0)
                    uses.add(now, 1);
            }
            for (std::uint32_t u = facts.useFrom; u < facts.useFrom + facts.useCount; ++u)
                uses.add(lists.uses[u].first, lists.uses[u].count);
            uses.endEquation();

            const std::int64_t l = facts.left;
            left[k] = static_cast<std::int32_t>(l);
            if (l < 0)
                continue;
            definition[static_cast<std::size_t>(l)] = facts.leftSide;
            const std::int64_t r = facts.right;
            if (r >= 0 && r != l) {
                alias[static_cast<std::size_t>(l)] = static_cast<std::int32_t>(r);
                marked[k] = true;
            }
        }
        // A reference pointed elsewhere stays the same node, so the equations' chains of names hold.
        redirectAll(redirects);
        redirects.clear();
    }
    std::fill(marked.begin() + static_cast<std::ptrdiff_t>(trailing), marked.end(), true);
    std::vector<const ExprNode*>().swap(definition);
    std::vector<std::int32_t>().swap(alias);

    // From the end: an equation whose element nothing later uses puts nothing in use.
    std::vector<char> inUse(total, 0);
    uses.fromTheEnd([&](std::size_t k, std::size_t from, std::size_t to) {
        const std::int32_t l = left[k];
        if (l < 0 || inUse[static_cast<std::size_t>(l)])
            uses.markInUse(from, to, inUse);
    });

    for (std::size_t k = 0; k < count; ++k)
        if (left[k] >= 0 && !inUse[static_cast<std::size_t>(left[k])])
            marked[k] = true;

    if (stable)
        stable = separatedAlike(marked, left, uses, inUse);

    std::vector<EquationRec*>& outputs = sections[SECTION_OUTPUTS];
    outputs.reserve(static_cast<std::size_t>(std::count(marked.begin(), marked.end(), true)));
    std::size_t kept = 0;
    for (std::size_t k = 0; k < count; ++k) {
        if (marked[k])
            outputs.push_back(dynamic[k]);
        else
            dynamic[kept++] = dynamic[k];
    }
    dynamic.resize(kept);
}

} // namespace

const char* equationSectionHeader(int section)
{
    static const char* const headers[] = {"#EInitial", "#Einputs", "#Edynamic", "#Eoutputs"};
    return section >= 0 && section < 4 ? headers[section] : "";
}

namespace {

/// Distributes `equations`, the list's equations in list order. With `room`, which then is
/// `equations` itself, the dynamic section is made in its room: its equations are moved up in
/// place once each equation's section is known, and it takes the vector over.
EquationSections distribute(ClassRec* cls, bool report, bool* stable, std::size_t parts,
                            const std::vector<EquationRec*>& equations, std::vector<EquationRec*>* room,
                            std::size_t stretch)
{
    EquationSections sections;
    bool alike = true;
    if (stretch == 0)
        stretch = kStretch;
    const VariableElements elements(*cls);
    DefinedElements defined;
    // Elements that kept an equation out of initial; defined later, they might not keep it out.
    NotedElements undefined(elements);
    // The functions of the ran and dly calls whose first argument is not a name, in order.
    std::vector<int> misused;
    // Each equation's section, and how many each section holds.
    std::vector<std::uint8_t> sectionOf(equations.size());
    std::array<std::size_t, 4> counts{};
    bool fixedOrder = false;
    {
        Window<StartReader> window(StartReader{}, parts);
        // Computable at the start from what initial defines so far: every element the test meets
        // is defined, up to the first one that is not, which is noted.
        const auto computableAtStart = [&](const StartReader::Facts& f) {
            const std::vector<Element>& met = window.lists(f);
            for (std::uint32_t m = f.metFrom; m < f.metFrom + f.metCount; ++m)
                if (defined.count(met[m]) == 0) {
                    undefined.note(met[m]);
                    return false;
                }
            return !f.startNever;
        };
        // One walk over the list, stretch by stretch; a fixed-order equation, which puts every
        // equation in a fixed order, starts the walk again in that order.
        const auto classify = [&](bool inFixedOrder) {
            counts = {};
            defined.clear();
            undefined.clear();
            misused.clear();
            for (std::size_t begin = 0; begin < equations.size(); begin += stretch) {
                const std::size_t end = std::min(equations.size(), begin + stretch);
                window.read(equations, begin, end);
                for (std::size_t k = begin; k < end; ++k) {
                    const StartReader::Facts& f = window.facts(k - begin);
                    if (f.fixed && !inFixedOrder)
                        return false;
                    EquationSection section = SECTION_DYNAMIC;
                    if (!inFixedOrder && computableAtStart(f)) {
                        section = SECTION_INITIAL;
                        if (f.definesVar)
                            defined.insert({f.definesVar, f.definesElement});
                    } else if (f.call == 1) {
                        section = SECTION_INPUTS;
                    } else if (f.call == 2) {
                        misused.push_back(f.function);
                    }
                    sectionOf[k] = static_cast<std::uint8_t>(section);
                    ++counts[section];
                }
            }
            return true;
        };
        fixedOrder = !classify(false);
        if (fixedOrder)
            classify(true);
    }
    for (std::size_t s = 0; s < 4; ++s)
        if (s != SECTION_DYNAMIC || !room)
            sections[s].reserve(counts[s]);
    std::size_t kept = 0;
    for (std::size_t k = 0; k < equations.size(); ++k) {
        const std::uint8_t section = sectionOf[k];
        if (section == SECTION_DYNAMIC && room)
            (*room)[kept++] = equations[k];
        else
            sections[section].push_back(equations[k]);
    }
    std::vector<std::uint8_t>().swap(sectionOf);
    if (room) {
        room->resize(kept);
        sections[SECTION_DYNAMIC] = std::move(*room);
    }
    if (report)
        for (int function : misused) {
            std::string message = "Wrong usage of function ";
            message += functionRow(function)->name;
            message += " : only identifiers are allowed as arguments";
            DisplayHooks().error("Equations generation error ", nullptr, nullptr, -1, nullptr, message.c_str());
        }
    for (const Element& e : defined)
        if (undefined.contains(e)) {
            alike = false;
            break;
        }
    undefined.clear();
    if (!fixedOrder && !sections[SECTION_DYNAMIC].empty())
        separateOutputs(elements, sections, alike, parts, stretch);
    if (stable)
        *stable = alike;
    return sections;
}

} // namespace

EquationSections distributeEquations(ClassRec* cls, bool report, bool* stable, std::size_t parts,
                                     const std::vector<EquationRec*>* order, std::size_t stretch)
{
    if (!cls || !cls->equations) {
        if (stable)
            *stable = true;
        return {};
    }
    std::vector<EquationRec*> listed;
    if (!order) {
        for (EquationRec* eq : cls->equations->equations)
            listed.push_back(eq);
        return distribute(cls, report, stable, parts, listed, &listed, stretch);
    }
    return distribute(cls, report, stable, parts, *order, nullptr, stretch);
}

EquationSections distributeEquations(ClassRec* cls, bool report, bool* stable, std::vector<EquationRec*>&& order,
                                     std::size_t parts, std::size_t stretch)
{
    if (!cls || !cls->equations) {
        if (stable)
            *stable = true;
        return {};
    }
    std::vector<EquationRec*> room = std::move(order);
    return distribute(cls, report, stable, parts, room, &room, stretch);
}

void relinkEquations(ClassRec* cls, const EquationSections& sections)
{
    if (!cls || !cls->equations)
        return;
    SectionList<EquationRec>& list = cls->equations->equations;
    for (const auto& section : sections)
        for (EquationRec* eq : section)
            SectionList<EquationRec>::unlink(eq);
    // Whatever no section holds stays in front, in its order.
    for (const auto& section : sections)
        for (EquationRec* eq : section)
            list.append(eq);
}
