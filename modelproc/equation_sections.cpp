// Distribution of sorted equations into the initial, inputs, dynamic and outputs sections.
#include "modelproc/equation_sections.h"

#include "modelproc/display_hooks.h"
#include "modelproc/expression_walk.h"
#include "modelproc/function_table.h"
#include "modelproc/model_records.h"

#include <algorithm>
#include <cstddef>
#include <functional>
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

bool isInitialFunction(int function)
{
    return function >= FN_EXP && function <= FN_EXP2 && function != FN_TP && function != FN_ATAN2;
}

/// True when the expression can be computed once at the start from what initial already defines.
/// Every node must be so; checked without recursion. When the expression fails on an element that
/// initial does not define (yet), that element is added to `undefined`.
bool computableAtStart(const ExprNode* root, const DefinedElements& defined, std::vector<Element>& undefined)
{
    std::vector<const ExprNode*> pending{root};
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
            for (const ExprNode* index : node->index)
                pending.push_back(index);
            continue;
        case TK_VARIABLENAME:
        case TK_INDEP_RATENAME:
        case TK_DEP_STATENAME: {
            const std::int64_t element = literalElement(node);
            if (element < 0)
                return false;
            if (defined.count({node->var(), element}) == 0) {
                undefined.push_back({node->var(), element});
                return false;
            }
            continue;
        }
        case TK_REAL:
        case TK_INTEGER:
        case TK_BOOLEAN: continue;
        case TK_IF:
            pending.push_back(node->left);
            pending.push_back(node->right);
            pending.push_back(node->extra);
            continue;
        case TK_FUNCTIONNAME:
            if (!isInitialFunction(node->function))
                return false;
            pending.push_back(node->args.at(0));
            continue;
        default: break;
        }
        if (isUnaryOperator(node->kind)) {
            pending.push_back(node->right);
        } else if (isOperatorKind(node->kind) || node->kind == TK_UPTO) {
            pending.push_back(node->left);
            pending.push_back(node->right);
        } else {
            return false;
        }
    }
    return true;
}

bool leftIndicesComputable(const ExprNode* left, const DefinedElements& defined, std::vector<Element>& undefined)
{
    if (!left)
        return false;
    for (const ExprNode* index : left->index)
        if (!computableAtStart(index, defined, undefined))
            return false;
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

/// Points a V reference at the element that `definition` (a left side) names.
void redirectReference(ExprNode* ref, const ExprNode* definition)
{
    if (ref == definition || !definition)
        return;
    ref->record = definition->record;
    ref->kind = definition->kind;
    ExprList index;
    for (const ExprNode* i : definition->index) {
        ExprNode* copy = makeIntegerConstant(i ? i->intValue : 1);
        if (!copy)
            return;
        copy->parent = ref;
        index.append(copy);
    }
    ref->index = index;
}

/// Calls `visit` on every name reference, each before its index expressions, in text order.
/// `visit` may replace the reference's indices: the new ones are walked.
template <class Visit>
void forEachReference(ExprNode* root, const Visit& visit)
{
    forEachName(root, false, isNameKind, visit);
}

/// The V elements one equation puts in use: a run of `count` elements from `first` (a whole
/// variable for a reference with a computed index).
struct ElementRun {
    std::int64_t first;
    std::int64_t count;
};

/// Whether the outputs are separated the same way again once the list is re-linked as dynamic
/// followed by outputs. The references have then been pointed at the elements that carry their
/// values, so the copies and the trailing equations are found again; what can differ is the use
/// of the elements, which the walk from the end finds in the new order. That walk is made here
/// over what each equation uses, as `separateOutputs` recorded it.
bool separatedAlike(const std::vector<EquationRec*>& dynamic, const std::vector<char>& marked,
                    const std::vector<std::int64_t>& left, const std::vector<std::size_t>& usesFrom,
                    const std::vector<ElementRun>& uses, std::size_t total)
{
    std::vector<char> inUse(total, 0);
    const auto walk = [&](std::size_t k) {
        const std::int64_t l = left[k];
        if (l >= 0 && !inUse[static_cast<std::size_t>(l)])
            return;
        for (std::size_t u = usesFrom[k]; u < usesFrom[k + 1]; ++u)
            std::fill_n(inUse.begin() + uses[u].first, uses[u].count, 1);
    };
    for (std::size_t k = dynamic.size(); k-- > 0;)
        if (marked[k])
            walk(k);
    for (std::size_t k = dynamic.size(); k-- > 0;)
        if (!marked[k])
            walk(k);
    for (std::size_t k = 0; k < dynamic.size(); ++k)
        if (!marked[k] && left[k] >= 0 && !inUse[static_cast<std::size_t>(left[k])])
            return false;
    return true;
}

/// Moves the copies and the equations only the outputs need from dynamic to outputs. `stable`
/// is cleared when distributing the re-linked list might not give the same sections: when the
/// copies run in a circle, or the outputs would be told apart otherwise. (A reference is only
/// ever pointed at the source of a copy, and a copy is left to dynamic only while its source
/// is undefined at the start, which the caller checks.)
void separateOutputs(const ClassRec& cls, EquationSections& sections, bool& stable)
{
    std::vector<EquationRec*>& dynamic = sections[SECTION_DYNAMIC];
    VariableElements elements(cls);
    auto total = static_cast<std::size_t>(elements.total());
    std::vector<const ExprNode*> definition(total, nullptr);
    std::vector<std::int64_t> alias(total, -1);
    std::vector<char> inUse(total, 0);
    std::vector<char> marked(dynamic.size(), 0);
    std::vector<std::int64_t> left(dynamic.size(), -1);
    std::vector<std::size_t> usesFrom(dynamic.size() + 1, 0);
    std::vector<ElementRun> uses;

    for (EquationRec* eq : sections[SECTION_INPUTS]) {
        std::int64_t e = elements.of(eq->left);
        if (e >= 0)
            definition[static_cast<std::size_t>(e)] = eq->left;
    }

    for (std::size_t k = dynamic.size(); k-- > 0;) {
        if (!dynamic[k]->left || dynamic[k]->left->kind != TK_VARIABLENAME)
            break;
        marked[k] = 1;
    }

    // The elements a V reference puts in use: its own, or all of its variable's.
    const auto use = [&](const ExprNode* ref) {
        if (ref->kind != TK_VARIABLENAME)
            return;
        std::int64_t e = elements.of(ref);
        if (e >= 0) {
            uses.push_back({e, 1});
            return;
        }
        const VarRec* var = ref->var();
        const std::int64_t base = elements.base(var);
        if (base >= 0)
            uses.push_back({base, elementCount(var->dim)});
    };
    for (std::size_t k = 0; k < dynamic.size(); ++k) {
        EquationRec* eq = dynamic[k];
        usesFrom[k] = uses.size();
        forEachReference(eq->right, [&](ExprNode* ref) {
            std::int64_t e = elements.of(ref);
            if (e >= 0) {
                // Follow the copies to the element that carries the value.
                std::size_t guard = 0;
                for (; alias[static_cast<std::size_t>(e)] >= 0 && guard < total; ++guard)
                    e = alias[static_cast<std::size_t>(e)];
                if (guard == total)
                    stable = false;
                redirectReference(ref, definition[static_cast<std::size_t>(e)]);
            }
            use(ref);
        });
        if (eq->left)
            for (ExprNode* index : eq->left->index)
                forEachReference(index, use);
        rebuildVariableChain(eq);
        std::int64_t l = elements.of(eq->left);
        left[k] = l;
        if (l < 0)
            continue;
        definition[static_cast<std::size_t>(l)] = eq->left;
        std::int64_t r = elements.of(eq->right);
        if (r >= 0 && r != l) {
            alias[static_cast<std::size_t>(l)] = r;
            marked[k] = 1;
        }
    }
    usesFrom[dynamic.size()] = uses.size();

    // From the end: an equation whose element nothing later uses puts nothing in use.
    for (std::size_t k = dynamic.size(); k-- > 0;) {
        const std::int64_t l = left[k];
        if (l >= 0 && !inUse[static_cast<std::size_t>(l)])
            continue;
        for (std::size_t u = usesFrom[k]; u < usesFrom[k + 1]; ++u)
            std::fill_n(inUse.begin() + uses[u].first, uses[u].count, 1);
    }

    for (std::size_t k = 0; k < dynamic.size(); ++k)
        if (left[k] >= 0 && !inUse[static_cast<std::size_t>(left[k])])
            marked[k] = 1;

    if (stable)
        stable = separatedAlike(dynamic, marked, left, usesFrom, uses, total);

    std::vector<EquationRec*> kept;
    for (std::size_t k = 0; k < dynamic.size(); ++k)
        (marked[k] ? sections[SECTION_OUTPUTS] : kept).push_back(dynamic[k]);
    dynamic = std::move(kept);
}

} // namespace

const char* equationSectionHeader(int section)
{
    static const char* const headers[] = {"#EInitial", "#Einputs", "#Edynamic", "#Eoutputs"};
    return section >= 0 && section < 4 ? headers[section] : "";
}

EquationSections distributeEquations(ClassRec* cls, bool report, bool* stable)
{
    EquationSections sections;
    bool alike = true;
    if (!cls || !cls->equations) {
        if (stable)
            *stable = alike;
        return sections;
    }
    DefinedElements defined;
    // Elements that kept an equation out of initial; defined later, they might not keep it out.
    std::vector<Element> undefined;
    // The functions of the ran and dly calls whose first argument is not a name, in order.
    std::vector<int> misused;
    // One walk over the list; a fixed-order equation, which puts every equation in a fixed order,
    // starts the walk again in that order.
    const auto classify = [&](bool fixedOrder) {
        for (auto& section : sections)
            section.clear();
        defined.clear();
        undefined.clear();
        misused.clear();
        for (EquationRec* eq : cls->equations->equations) {
            if (eq->fixed && !fixedOrder)
                return false;
            if (!fixedOrder && computableAtStart(eq->right, defined, undefined) &&
                leftIndicesComputable(eq->left, defined, undefined)) {
                sections[SECTION_INITIAL].push_back(eq);
                std::int64_t element = literalElement(eq->left);
                if (element >= 0 && isNameKind(eq->left->kind) && eq->left->kind >= TK_PARAMETERNAME)
                    defined.insert({eq->left->var(), element});
                continue;
            }
            const ExprNode* right = eq->right;
            if (right && right->kind == TK_FUNCTIONNAME && (right->function == FN_RAN || right->function == FN_DLY)) {
                const ExprNode* first = right->args.at(0);
                if (first && isNameKind(first->kind)) {
                    sections[SECTION_INPUTS].push_back(eq);
                    continue;
                }
                misused.push_back(right->function);
            }
            sections[SECTION_DYNAMIC].push_back(eq);
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
    if (!fixedOrder && !sections[SECTION_DYNAMIC].empty())
        separateOutputs(*cls, sections, alike);
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
