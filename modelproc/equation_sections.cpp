// Distribution of sorted equations into the initial, inputs, dynamic and outputs sections.
#include "modelproc/equation_sections.h"

#include "modelproc/display_hooks.h"
#include "modelproc/expression_walk.h"
#include "modelproc/function_table.h"
#include "modelproc/model_records.h"
#include "modelproc/parallel_parts.h"

#include <algorithm>
#include <cstddef>
#include <functional>
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

/// Numbering of the elements of the class's variables (V) across the section.
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
    }
    std::int64_t total() const { return m_total; }
    /// The number of the variable's first element; -1 for a variable of no section here.
    std::int64_t base(const VarRec* var) const { return m_base.find(var); }

    /// The element number of a V reference with literal indices, else -1.
    std::int64_t of(const ExprNode* node) const
    {
        if (!node || node->kind != TK_VARIABLENAME)
            return -1;
        const std::int64_t base = m_base.find(node->var());
        std::int64_t element = literalElement(node);
        if (base < 0 || element < 0)
            return -1;
        return base + element;
    }

private:
    VariableNumbering m_base;
    std::int64_t m_total = 0;
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
        copy->parent = ref;
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

/// A name reference of a right side that the outputs' separation looks at, as it stood when
/// distribution began: a V reference with literal indices, its variable and element; or the
/// elements that a V reference with a computed index puts in use.
struct Reference {
    ExprNode* node;
    const VarRec* var;
    std::int64_t first; ///< the element of a literal reference, the first of a computed one's run
    std::int64_t count; ///< -1 for a literal reference, else the run's length
};

/// What distribution reads of one equation. It is gathered from the records before the walk in
/// list order, long lists in parts by threads of their own, so that the walks that decide
/// read arrays rather than records scattered over memory.
struct EquationFacts {
    const VarRec* definesVar = nullptr; ///< the element the equation defines when it is initial
    std::int64_t definesElement = -1;
    std::int64_t left = -1;  ///< the V element of the left side
    std::int64_t right = -1; ///< the V element of a right side that is a single V reference
    const ExprNode* leftSide = nullptr; ///< the left side, where a copy of it points a reference
    const VarRec* leftVar = nullptr;
    std::uint32_t startFrom = 0; ///< the elements initial must define first, in `Gathered::met`
    std::uint32_t startCount = 0;
    std::uint32_t refFrom = 0; ///< the right side's references, in `Gathered::references`
    std::uint32_t refCount = 0;
    std::uint32_t useFrom = 0; ///< what the left side's indices put in use, in `Gathered::uses`
    std::uint32_t useCount = 0;
    std::int16_t function = 0; ///< of a ran or dly call that is the whole right side
    std::uint8_t part = 0;
    bool startNever = false; ///< not computable at the start whatever initial defines
    bool fixed = false;
    bool leftIsVariable = false; ///< the left side is a V reference
    std::uint8_t call = 0;       ///< 1 ran or dly of a name (inputs), 2 ran or dly misused
};

/// What the equations of one part hold besides their facts.
struct Gathered {
    std::vector<Element> met;
    std::vector<Reference> references;
    std::vector<ElementRun> uses;
};

/// The equations of the class's list, in order, and what distribution reads of each.
class EquationTable {
public:
    EquationTable(const ClassRec& cls, const VariableElements& elements, std::size_t parts,
                  const std::vector<EquationRec*>* order)
        : m_elements(elements)
    {
        if (order)
            m_equations = *order;
        else
            for (EquationRec* eq : cls.equations->equations)
                m_equations.push_back(eq);
        if (parts == 0)
            parts = partsFor(m_equations.size(), 20000);
        parts = std::clamp<std::size_t>(parts, 1, std::max<std::size_t>(1, m_equations.size()));
        m_facts.resize(m_equations.size());
        m_parts.resize(parts);
        runParts(parts, [&](std::size_t part) {
            const std::size_t end = partBegin(m_equations.size(), parts, part + 1);
            for (std::size_t k = partBegin(m_equations.size(), parts, part); k < end; ++k) {
                prefetchEquationsAhead(m_equations, k, end);
                gather(k, static_cast<std::uint8_t>(part));
            }
        });
    }

    std::size_t size() const { return m_equations.size(); }
    EquationRec* equation(std::size_t k) const { return m_equations[k]; }
    const EquationFacts& facts(std::size_t k) const { return m_facts[k]; }
    std::span<const Element> met(std::size_t k) const
    {
        const EquationFacts& f = m_facts[k];
        return {m_parts[f.part].met.data() + f.startFrom, f.startCount};
    }
    std::span<const Reference> references(std::size_t k) const
    {
        const EquationFacts& f = m_facts[k];
        return {m_parts[f.part].references.data() + f.refFrom, f.refCount};
    }
    std::span<const ElementRun> leftUses(std::size_t k) const
    {
        const EquationFacts& f = m_facts[k];
        return {m_parts[f.part].uses.data() + f.useFrom, f.useCount};
    }

private:
    /// The elements a V reference puts in use, as the outputs' separation counts them: its own
    /// element, or all of its variable's when an index is computed; none for any other name.
    void addUse(const ExprNode* ref, std::vector<ElementRun>& uses) const
    {
        if (ref->kind != TK_VARIABLENAME)
            return;
        const std::int64_t e = m_elements.of(ref);
        if (e >= 0) {
            uses.push_back({e, 1});
            return;
        }
        const VarRec* var = ref->var();
        const std::int64_t base = m_elements.base(var);
        if (base >= 0)
            uses.push_back({base, elementCount(var->dim)});
    }

    void gather(std::size_t k, std::uint8_t part)
    {
        EquationRec* eq = m_equations[k];
        EquationFacts& f = m_facts[k];
        Gathered& g = m_parts[part];
        f.part = part;
        f.fixed = eq->fixed != 0;
        const ExprNode* left = eq->left;
        const ExprNode* right = eq->right;

        f.startFrom = static_cast<std::uint32_t>(g.met.size());
        f.startNever = !walkAtStart(right, g.met) || !left;
        if (!f.startNever)
            for (const ExprNode* index : left->index())
                if (!walkAtStart(index, g.met)) {
                    f.startNever = true;
                    break;
                }
        f.startCount = static_cast<std::uint32_t>(g.met.size() - f.startFrom);
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

        f.leftIsVariable = left && left->kind == TK_VARIABLENAME;
        f.left = m_elements.of(left);
        f.leftSide = left;
        f.leftVar = left ? left->var() : nullptr;
        f.right = m_elements.of(right);
        f.refFrom = static_cast<std::uint32_t>(g.references.size());
        forEachName(eq->right, false, isNameKind, [&](ExprNode* ref) {
            if (ref->kind != TK_VARIABLENAME)
                return;
            const std::int64_t e = m_elements.of(ref);
            if (e >= 0) {
                g.references.push_back({ref, ref->var(), e, -1});
                return;
            }
            const VarRec* var = ref->var();
            const std::int64_t base = m_elements.base(var);
            g.references.push_back({ref, var, base, base >= 0 ? elementCount(var->dim) : 0});
        });
        f.refCount = static_cast<std::uint32_t>(g.references.size() - f.refFrom);
        f.useFrom = static_cast<std::uint32_t>(g.uses.size());
        if (left)
            for (ExprNode* index : left->index())
                forEachName(index, false, isNameKind, [&](ExprNode* ref) { addUse(ref, g.uses); });
        f.useCount = static_cast<std::uint32_t>(g.uses.size() - f.useFrom);
    }

    const VariableElements& m_elements;
    std::vector<EquationRec*> m_equations;
    std::vector<EquationFacts> m_facts;
    std::vector<Gathered> m_parts;
};

/// Whether the outputs are separated the same way again once the list is re-linked as dynamic
/// followed by outputs. The references have then been pointed at the elements that carry their
/// values, so the copies and the trailing equations are found again; what can differ is the use
/// of the elements, which the walk from the end finds in the new order. That walk is made here
/// over what each equation uses, as `separateOutputs` recorded it.
bool separatedAlike(std::size_t count, const std::vector<char>& marked, const std::vector<std::int64_t>& left,
                    const std::vector<std::size_t>& usesFrom, const std::vector<ElementRun>& uses, std::size_t total)
{
    std::vector<char> inUse(total, 0);
    const auto walk = [&](std::size_t k) {
        const std::int64_t l = left[k];
        if (l >= 0 && !inUse[static_cast<std::size_t>(l)])
            return;
        for (std::size_t u = usesFrom[k]; u < usesFrom[k + 1]; ++u)
            std::fill_n(inUse.begin() + uses[u].first, uses[u].count, 1);
    };
    for (std::size_t k = count; k-- > 0;)
        if (marked[k])
            walk(k);
    for (std::size_t k = count; k-- > 0;)
        if (!marked[k])
            walk(k);
    for (std::size_t k = 0; k < count; ++k)
        if (!marked[k] && left[k] >= 0 && !inUse[static_cast<std::size_t>(left[k])])
            return false;
    return true;
}

/// Moves the copies and the equations only the outputs need from dynamic to outputs; `dynamic`
/// holds the positions in `table` of the dynamic equations. `stable` is cleared when
/// distributing the re-linked list might not give the same sections: when the copies run in a
/// circle, or the outputs would be told apart otherwise. (A reference is only ever pointed at the
/// source of a copy, and a copy is left to dynamic only while its source is undefined at the
/// start, which the caller checks.)
void separateOutputs(const EquationTable& table, const VariableElements& elements, const std::vector<std::size_t>& inputs,
                     const std::vector<std::size_t>& dynamic, EquationSections& sections, bool& stable)
{
    const std::size_t count = dynamic.size();
    auto total = static_cast<std::size_t>(elements.total());
    std::vector<const ExprNode*> definition(total, nullptr);
    std::vector<const VarRec*> definitionVar(total, nullptr);
    std::vector<std::int64_t> alias(total, -1);
    std::vector<char> inUse(total, 0);
    std::vector<char> marked(count, 0);
    std::vector<std::int64_t> left(count, -1);
    std::vector<std::size_t> usesFrom(count + 1, 0);
    std::vector<ElementRun> uses;
    std::vector<std::pair<ExprNode*, const ExprNode*>> redirects;

    for (std::size_t k : inputs) {
        const std::int64_t e = table.facts(k).left;
        if (e >= 0) {
            definition[static_cast<std::size_t>(e)] = table.facts(k).leftSide;
            definitionVar[static_cast<std::size_t>(e)] = table.facts(k).leftVar;
        }
    }

    for (std::size_t k = count; k-- > 0;) {
        if (!table.facts(dynamic[k]).leftIsVariable)
            break;
        marked[k] = 1;
    }

    for (std::size_t k = 0; k < count; ++k) {
        const std::size_t position = dynamic[k];
        const EquationFacts& facts = table.facts(position);
        usesFrom[k] = uses.size();
        for (const Reference& ref : table.references(position)) {
            if (ref.count >= 0) {
                if (ref.count > 0)
                    uses.push_back({ref.first, ref.count});
                continue;
            }
            // Follow the copies to the element that carries the value.
            std::int64_t e = ref.first;
            std::size_t guard = 0;
            for (; alias[static_cast<std::size_t>(e)] >= 0 && guard < total; ++guard)
                e = alias[static_cast<std::size_t>(e)];
            if (guard == total)
                stable = false;
            const ExprNode* source = definition[static_cast<std::size_t>(e)];
            if (!source) {
                uses.push_back({ref.first, 1});
                continue;
            }
            if (e == ref.first && definitionVar[static_cast<std::size_t>(e)] == ref.var) {
                // Already the element itself: pointing it there again would change nothing written.
                uses.push_back({e, 1});
                continue;
            }
            if (source->index().count() == 0) {
                // Nothing to copy: the reference is pointed there once the walk is done.
                redirects.push_back({ref.node, source});
                uses.push_back({e, 1});
                continue;
            }
            if (redirectReference(ref.node, source)) {
                uses.push_back({e, 1});
                continue;
            }
            // Out of memory halfway: the reference is counted as it now stands.
            const std::int64_t now = elements.of(ref.node);
            if (now >= 0)
                uses.push_back({now, 1});
        }
        for (const ElementRun& run : table.leftUses(position))
            uses.push_back(run);

        const std::int64_t l = facts.left;
        left[k] = l;
        if (l < 0)
            continue;
        definition[static_cast<std::size_t>(l)] = facts.leftSide;
        definitionVar[static_cast<std::size_t>(l)] = facts.leftVar;
        const std::int64_t r = facts.right;
        if (r >= 0 && r != l) {
            alias[static_cast<std::size_t>(l)] = r;
            marked[k] = 1;
        }
    }
    usesFrom[count] = uses.size();
    // A reference pointed elsewhere stays the same node, so the equations' chains of names hold.
    if (!redirects.empty()) {
        const std::size_t parts = partsFor(redirects.size(), 20000);
        runParts(parts, [&](std::size_t part) {
            const std::size_t end = partBegin(redirects.size(), parts, part + 1);
            for (std::size_t r = partBegin(redirects.size(), parts, part); r < end; ++r)
                redirectReference(redirects[r].first, redirects[r].second);
        });
    }

    // From the end: an equation whose element nothing later uses puts nothing in use.
    for (std::size_t k = count; k-- > 0;) {
        const std::int64_t l = left[k];
        if (l >= 0 && !inUse[static_cast<std::size_t>(l)])
            continue;
        for (std::size_t u = usesFrom[k]; u < usesFrom[k + 1]; ++u)
            std::fill_n(inUse.begin() + uses[u].first, uses[u].count, 1);
    }

    for (std::size_t k = 0; k < count; ++k)
        if (left[k] >= 0 && !inUse[static_cast<std::size_t>(left[k])])
            marked[k] = 1;

    if (stable)
        stable = separatedAlike(count, marked, left, usesFrom, uses, total);

    std::vector<EquationRec*>& kept = sections[SECTION_DYNAMIC];
    kept.clear();
    for (std::size_t k = 0; k < count; ++k)
        (marked[k] ? sections[SECTION_OUTPUTS] : kept).push_back(table.equation(dynamic[k]));
}

} // namespace

const char* equationSectionHeader(int section)
{
    static const char* const headers[] = {"#EInitial", "#Einputs", "#Edynamic", "#Eoutputs"};
    return section >= 0 && section < 4 ? headers[section] : "";
}

EquationSections distributeEquations(ClassRec* cls, bool report, bool* stable, std::size_t parts,
                                     const std::vector<EquationRec*>* order)
{
    EquationSections sections;
    bool alike = true;
    if (!cls || !cls->equations) {
        if (stable)
            *stable = alike;
        return sections;
    }
    const VariableElements elements(*cls);
    const EquationTable table(*cls, elements, parts, order);
    DefinedElements defined;
    // Elements that kept an equation out of initial; defined later, they might not keep it out.
    std::vector<Element> undefined;
    // The functions of the ran and dly calls whose first argument is not a name, in order.
    std::vector<int> misused;
    std::vector<std::size_t> inputs;
    std::vector<std::size_t> dynamic;
    // Computable at the start from what initial defines so far: every element the test meets is
    // defined, up to the first one that is not, which is noted.
    const auto computableAtStart = [&](std::size_t k) {
        for (const Element& e : table.met(k))
            if (defined.count(e) == 0) {
                undefined.push_back(e);
                return false;
            }
        return !table.facts(k).startNever;
    };
    // One walk over the list; a fixed-order equation, which puts every equation in a fixed order,
    // starts the walk again in that order.
    const auto classify = [&](bool fixedOrder) {
        for (auto& section : sections)
            section.clear();
        defined.clear();
        undefined.clear();
        misused.clear();
        inputs.clear();
        dynamic.clear();
        for (std::size_t k = 0; k < table.size(); ++k) {
            const EquationFacts& f = table.facts(k);
            EquationRec* eq = table.equation(k);
            if (f.fixed && !fixedOrder)
                return false;
            if (!fixedOrder && computableAtStart(k)) {
                sections[SECTION_INITIAL].push_back(eq);
                if (f.definesVar)
                    defined.insert({f.definesVar, f.definesElement});
                continue;
            }
            if (f.call == 1) {
                sections[SECTION_INPUTS].push_back(eq);
                inputs.push_back(k);
                continue;
            }
            if (f.call == 2)
                misused.push_back(f.function);
            sections[SECTION_DYNAMIC].push_back(eq);
            dynamic.push_back(k);
        }
        return true;
    };
    const bool fixedOrder = !classify(false);
    if (fixedOrder)
        classify(true);
    if (report)
        for (int function : misused) {
            std::string message = "Wrong usage of function ";
            message += functionRow(function)->name;
            message += " : only identifiers are allowed as arguments";
            DisplayHooks().error("Equations generation error ", nullptr, nullptr, -1, nullptr, message.c_str());
        }
    if (!defined.empty())
        for (const Element& e : undefined)
            if (defined.count(e) != 0) {
                alike = false;
                break;
            }
    if (!fixedOrder && !dynamic.empty())
        separateOutputs(table, elements, inputs, dynamic, sections, alike);
    if (stable)
        *stable = alike;
    return sections;
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
