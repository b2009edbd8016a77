// Equations over ranges of elements, taken apart into one equation per element.
#include "modelproc/vector_equations.h"

#include "modelproc/display_hooks.h"
#include "modelproc/equation_collection.h"
#include "modelproc/expression_walk.h"
#include "modelproc/record_release.h"
#include "modelproc/semantic_checks.h"
#include "modelproc/template_writer.h"

#include <cstdint>
#include <string>

namespace {

/// A range of a reference's index list: its place in the list, its first element and its size.
struct Range {
    int position;
    std::int64_t first;
    std::int64_t size;
};

/// A name reference of an equation with the ranges of its indices.
struct Reference {
    ExprNode* node;
    std::vector<Range> ranges;
    std::vector<std::int64_t> shape; ///< the sizes of its ranges of more than one element
};

/// The name references of an expression in text order, with their ranges; false when a range's
/// bounds are not numbers.
bool referencesOf(ExprNode* root, std::vector<Reference>& references)
{
    bool known = true;
    forEachName(root, false, isNameKind, [&](ExprNode* node) {
        Reference ref{node, {}, {}};
        int position = 0;
        for (const ExprNode* entry : node->index()) {
            if (entry && entry->kind == TK_UPTO) {
                const ExprNode* lo = entry->left();
                const ExprNode* hi = entry->right();
                if (!lo || !hi || lo->kind != TK_INTEGER || hi->kind != TK_INTEGER) {
                    known = false;
                } else {
                    const std::int64_t size = std::int64_t(hi->intValue()) - lo->intValue() + 1;
                    ref.ranges.push_back({position, lo->intValue(), size});
                    if (size != 1)
                        ref.shape.push_back(size);
                }
            }
            ++position;
        }
        references.push_back(std::move(ref));
    });
    return known;
}

std::string shapeText(const std::vector<std::int64_t>& shape)
{
    std::string text;
    for (std::int64_t size : shape)
        text += (text.empty() ? "" : " x ") + std::to_string(size);
    return text;
}

/// Gives each range of the copied references the element `element` (row-major over the left
/// side's ranges): a range of one element its only one.
void selectElement(std::vector<Reference>& originals, ExprNode* left, ExprNode* right,
                   const std::vector<std::int64_t>& shape, std::int64_t element)
{
    std::vector<std::int64_t> at(shape.size());
    for (std::size_t d = shape.size(); d-- > 0;) {
        at[d] = element % shape[d];
        element /= shape[d];
    }
    std::size_t next = 0;
    const auto visit = [&](ExprNode* copy) {
        const Reference& original = originals[next++];
        std::size_t dimension = 0;
        for (const Range& range : original.ranges) {
            PtrNode<ExprNode>* entry = copy->mutableIndex().head;
            for (int i = 0; i < range.position; ++i)
                entry = entry->next;
            const std::int64_t offset = range.size == 1 ? 0 : at[dimension++];
            releaseExpression(entry->item);
            entry->item = makeIntegerConstant(static_cast<std::int32_t>(range.first + offset));
        }
    };
    forEachName(left, false, isNameKind, visit);
    forEachName(right, false, isNameKind, visit);
}

} // namespace

bool elementEquations(EquationRec* eq, EquationBody* body, std::vector<EquationRec*>& made, const char* message)
{
    std::vector<Reference> references;
    const bool known = referencesOf(eq->left, references) && referencesOf(eq->right, references);
    if (!known) {
        reportEquationFailure(eq, message, "a range's bounds are not numbers.");
        return false;
    }
    bool vector = false;
    for (const Reference& ref : references)
        vector = vector || !ref.shape.empty();
    if (!vector)
        return true;
    const bool leftIsName = eq->left && isNameKind(eq->left->kind);
    const std::vector<std::int64_t> shape = leftIsName ? references.front().shape : std::vector<std::int64_t>{};
    for (const Reference& ref : references) {
        if (ref.shape.empty() || ref.shape == shape)
            continue;
        const std::string text = expressionText(ref.node, 1);
        reportEquationFailure(eq, message,
                              shape.empty() ? text + " is a range of " + shapeText(ref.shape) +
                                                  " elements, and its left side is one element."
                                            : text + " is a range of " + shapeText(ref.shape) +
                                                  " elements, and its left side one of " + shapeText(shape) + ".");
        return false;
    }
    std::int64_t count = 1;
    for (std::int64_t size : shape)
        count *= size;
    for (std::int64_t element = 0; element < count; ++element) {
        EquationRec* copy = newEquation(body);
        ExprNode* left = copy ? ttcopy_1_expr(eq->left, nullptr) : nullptr;
        ExprNode* right = left ? ttcopy_1_expr(eq->right, nullptr) : nullptr;
        if (!right) {
            reportEquationsError("memory allocation failure (may be out of memory).");
            return false;
        }
        SectionList<EquationRec>::unlink(copy);
        SectionList<EquationRec>::insertBefore(copy, eq);
        selectElement(references, left, right, shape, element);
        copy->left = left;
        copy->right = right;
        copy->sort_no = eq->sort_no;
        copy->reshaped = eq->reshaped;
        copy->fixed = eq->fixed;
        copy->blockstart = element == 0 ? eq->blockstart : 0;
        takePlace(copy, eq);
        rebuildVariableChain(copy);
        made.push_back(copy);
    }
    return true;
}

int expandVectorEquations(ClassRec* cls, std::vector<EquationRec*>& order)
{
    if (!cls || !cls->equations)
        return 1;
    bool ok = true;
    std::vector<EquationRec*> expanded;
    std::vector<EquationRec*> made;
    for (std::size_t i = 0; i < order.size(); ++i) {
        EquationRec* eq = order[i];
        made.clear();
        if (!elementEquations(eq, cls->equations, made,
                              "<error while writing code: ranges of elements that do not agree>")) {
            ok = false;
            continue;
        }
        if (made.empty()) {
            if (!expanded.empty())
                expanded.push_back(eq);
            continue;
        }
        // The first vector equation begins the new order; those before it stand as they are.
        if (expanded.empty())
            expanded.assign(order.begin(), order.begin() + static_cast<std::ptrdiff_t>(i));
        expanded.insert(expanded.end(), made.begin(), made.end());
        releaseEquation(eq);
    }
    if (!ok)
        return 0;
    if (!expanded.empty())
        order = std::move(expanded);
    return 1;
}
