// Distribution of sorted equations into the initial, inputs, dynamic and outputs sections.
#include "modelproc/equation_sections.h"

#include "modelproc/display_hooks.h"
#include "modelproc/expression_walk.h"
#include "modelproc/function_table.h"
#include "modelproc/model_records.h"

#include <cstddef>
#include <functional>
#include <string>
#include <unordered_set>
#include <utility>

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
/// Every node must be so; checked without recursion.
bool computableAtStart(const ExprNode* root, const DefinedElements& defined)
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
            if (element < 0 || defined.count({node->var(), element}) == 0)
                return false;
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

bool leftIndicesComputable(const ExprNode* left, const DefinedElements& defined)
{
    if (!left)
        return false;
    for (const ExprNode* index : left->index)
        if (!computableAtStart(index, defined))
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

/// Moves the copies and the equations only the outputs need from dynamic to outputs.
void separateOutputs(const ClassRec& cls, EquationSections& sections)
{
    std::vector<EquationRec*>& dynamic = sections[SECTION_DYNAMIC];
    VariableElements elements(cls);
    auto total = static_cast<std::size_t>(elements.total());
    std::vector<const ExprNode*> definition(total, nullptr);
    std::vector<std::int64_t> alias(total, -1);
    std::vector<char> inUse(total, 0);
    std::vector<char> marked(dynamic.size(), 0);

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

    for (std::size_t k = 0; k < dynamic.size(); ++k) {
        EquationRec* eq = dynamic[k];
        forEachReference(eq->right, [&](ExprNode* ref) {
            std::int64_t e = elements.of(ref);
            if (e < 0)
                return;
            // Follow the copies to the element that carries the value.
            for (std::size_t guard = 0; alias[static_cast<std::size_t>(e)] >= 0 && guard < total; ++guard)
                e = alias[static_cast<std::size_t>(e)];
            redirectReference(ref, definition[static_cast<std::size_t>(e)]);
        });
        rebuildVariableChain(eq);
        std::int64_t l = elements.of(eq->left);
        if (l < 0)
            continue;
        definition[static_cast<std::size_t>(l)] = eq->left;
        std::int64_t r = elements.of(eq->right);
        if (r >= 0 && r != l) {
            alias[static_cast<std::size_t>(l)] = r;
            marked[k] = 1;
        }
    }

    auto putInUse = [&](ExprNode* node) {
        forEachReference(node, [&](ExprNode* ref) {
            if (ref->kind != TK_VARIABLENAME)
                return;
            std::int64_t e = elements.of(ref);
            if (e >= 0) {
                inUse[static_cast<std::size_t>(e)] = 1;
                return;
            }
            // A computed index may select any element of the variable.
            const VarRec* var = ref->var();
            const std::int64_t base = elements.base(var);
            if (base < 0)
                return;
            const std::int64_t count = elementCount(var->dim);
            for (std::int64_t i = 0; i < count; ++i)
                inUse[static_cast<std::size_t>(base + i)] = 1;
        });
    };
    for (std::size_t k = dynamic.size(); k-- > 0;) {
        EquationRec* eq = dynamic[k];
        std::int64_t l = elements.of(eq->left);
        if (l >= 0 && !inUse[static_cast<std::size_t>(l)])
            continue;
        putInUse(eq->right);
        if (eq->left)
            for (ExprNode* index : eq->left->index)
                putInUse(index);
    }

    for (std::size_t k = 0; k < dynamic.size(); ++k) {
        std::int64_t l = elements.of(dynamic[k]->left);
        if (l >= 0 && !inUse[static_cast<std::size_t>(l)])
            marked[k] = 1;
    }

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

EquationSections distributeEquations(ClassRec* cls, bool report)
{
    EquationSections sections;
    if (!cls || !cls->equations)
        return sections;
    bool fixedOrder = false;
    for (const EquationRec* eq : cls->equations->equations)
        if (eq->fixed)
            fixedOrder = true;

    DefinedElements defined;
    for (EquationRec* eq : cls->equations->equations) {
        if (!fixedOrder && computableAtStart(eq->right, defined) && leftIndicesComputable(eq->left, defined)) {
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
            if (report) {
                std::string message = "Wrong usage of function ";
                message += functionRow(right->function)->name;
                message += " : only identifiers are allowed as arguments";
                DisplayHooks().error("Equations generation error ", nullptr, nullptr, -1, nullptr,
                                     message.c_str());
            }
        }
        sections[SECTION_DYNAMIC].push_back(eq);
    }
    if (!fixedOrder && !sections[SECTION_DYNAMIC].empty())
        separateOutputs(*cls, sections);
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
