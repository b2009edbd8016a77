// Giving a copied class its instance: computable expressions become integer constants,
// the instance dimensions go in front of every declaration, and equations are unrolled.
#include "modelproc/instance_application.h"

#include "modelproc/display_hooks.h"
#include "modelproc/expression_walk.h"
#include "modelproc/template_writer.h"
#include "modelproc/function_table.h"
#include "modelproc/record_release.h"
#include "modelproc/semantic_checks.h"

#include <optional>
#include <vector>

namespace {

bool isNameReference(int kind)
{
    return kind >= TK_PORTNAME && kind < TK_IDENTIFIERNAME_END;
}

/// The integer form of a computable entry; null when it cannot be had.
ExprNode* integerForm(const ExprNode* e)
{
    if (e->kind == TK_UPTO) {
        std::int32_t lo = 0;
        std::int32_t hi = 0;
        if (!evaluateInteger(e->left(), lo) || !evaluateInteger(e->right(), hi))
            return nullptr;
        if (lo == hi)
            return makeIntegerConstant(lo);
        return makeOperator(makeIntegerConstant(lo), makeIntegerConstant(hi), TK_UPTO);
    }
    std::int32_t value = 0;
    if (!evaluateInteger(e, value))
        return nullptr;
    return makeIntegerConstant(value);
}

bool isIntegerEntry(const ExprNode* e)
{
    if (!e)
        return false;
    if (e->kind == TK_INTEGER)
        return true;
    return e->kind == TK_UPTO && e->left() && e->right() && e->left()->kind == TK_INTEGER &&
           e->right()->kind == TK_INTEGER;
}

/// Puts copies of the instance dimensions in front of the list.
void prefixDimensions(ExprList& list, const ExprList& dim, const InstanceErrorReport& report)
{
    std::vector<ExprNode*> copies;
    for (const ExprNode* d : dim) {
        if (!isIntegerEntry(d)) {
            report("<error: integer expression expected in ttcp_exprlst_int>");
            return;
        }
        copies.push_back(ttcopy_1_expr(d, nullptr));
    }
    for (auto it = copies.rbegin(); it != copies.rend(); ++it)
        list.pushFront(*it);
}

/// Puts the whole range 1 .. size of each instance dimension in front of a node index list.
void prefixWholeRanges(ExprList& list, const ExprList& dim)
{
    std::vector<ExprNode*> ranges;
    for (const ExprNode* d : dim) {
        ExprNode* size = d->kind == TK_UPTO ? makeIntegerConstant(static_cast<std::int32_t>(literalSize(d)))
                                            : ttcopy_1_expr(d, nullptr);
        ranges.push_back(makeOperator(makeIntegerConstant(1), size, TK_UPTO));
    }
    for (auto it = ranges.rbegin(); it != ranges.rend(); ++it)
        list.pushFront(*it);
}

template <class T>
void prefixSection(SectionList<T>& section, const ExprList& dim, const InstanceErrorReport& report)
{
    for (T* record : section) {
        normaliseExpressionList(record->dim);
        prefixDimensions(record->dim, dim, report);
    }
}

/// Calls `visit` on every name reference, each before its indices, in text order. `visit` may
/// replace the reference's indices: the new ones are walked.
void forEachNameReference(ExprNode* root, const std::function<void(ExprNode*)>& visit)
{
    forEachName(root, false, isNameReference, visit);
}

bool isSumOrIdentity(const ExprNode* e)
{
    return e && e->kind == TK_FUNCTIONNAME && (e->function == FN_SUM || e->function == FN_IDENTITY);
}

/// One copy of the equation per instance element, each with that element's indices in front.
void unrollEquation(EquationBody* body, EquationRec* eq, const ExprList& dim)
{
    std::vector<std::int64_t> sizes;
    for (const ExprNode* d : dim)
        sizes.push_back(literalSize(d));
    const std::int64_t count = elementCount(dim);
    if (count <= 1 || isSumOrIdentity(eq->left) || isSumOrIdentity(eq->right))
        return;
    if (!eq->fixed) {
        auto normalise = [](ExprNode* ref) { normaliseExpressionList(ref->mutableIndex()); };
        forEachNameReference(eq->left, normalise);
        forEachNameReference(eq->right, normalise);
    }
    std::vector<std::int32_t> element(sizes.size(), 1);
    for (std::int64_t k = 0; k < count; ++k) {
        EquationRec* copy = newEquation(body);
        if (!copy)
            return;
        SectionList<EquationRec>::unlink(copy);
        SectionList<EquationRec>::insertBefore(copy, eq);
        copy->left = ttcopy_1_expr(eq->left, nullptr);
        copy->right = ttcopy_1_expr(eq->right, nullptr);
        copy->fixed = eq->fixed;
        copy->blockstart = eq->blockstart;
        takePlace(copy, eq);
        auto addIndices = [&](ExprNode* ref) {
            for (auto it = element.rbegin(); it != element.rend(); ++it)
                ref->mutableIndex().pushFront(makeIntegerConstant(*it));
        };
        forEachNameReference(copy->left, addIndices);
        forEachNameReference(copy->right, addIndices);
        rebuildVariableChain(copy);
        // Row-major: the last index runs fastest.
        for (std::size_t d = element.size(); d-- > 0;) {
            if (++element[d] <= sizes[d])
                break;
            element[d] = 1;
        }
    }
    releaseEquation(eq);
}

} // namespace

void normaliseExpressionList(ExprList& list)
{
    for (PtrNode<ExprNode>* p = list.head; p; p = p->next) {
        ExprNode* e = p->item;
        if (!e || !(e->flags & 1) || isIntegerEntry(e))
            continue;
        if (ExprNode* value = integerForm(e)) {
            releaseExpression(e);
            p->item = value;
        }
    }
}

namespace {

/// The footprint of the instances made since the expansion began, and the memory it may take.
Footprint g_instanced;
platform::MemoryRoom g_room;
bool g_told = false;

/// The elements and the memory of the class's quantities, instance arrays and connections now that
/// its sizes are known, and of the equations its instance array of `copies` elements makes of each
/// of its own; none after reporting the first quantity that has more elements than one quantity
/// may have.
std::optional<Footprint> instanceFootprint(const ClassRec* cls, std::int64_t copies, const std::string& where,
                                           const InstanceErrorReport& report)
{
    Footprint footprint;
    const auto add = [&](const std::string& what, const ExprList& dim, std::int64_t bytesPerElement) {
        const KnownSizes sizes = knownSizes(dim);
        const std::string sizesText = indexListText(dim);
        if (const std::string refusal = QuantityBoundRefusal(what, sizes, sizesText, where); !refusal.empty()) {
            report(refusal);
            return false;
        }
        footprint.addQuantity(what + sizesText + where, KnownElementCount(sizes), bytesPerElement);
        return true;
    };
    const auto section = [&](int kind, const auto& records) {
        for (const auto* record : records)
            if (!add(quantityWord(kind) + record->name.str(), record->dim, kBytesPerQuantityElement))
                return false;
        return true;
    };
    if (!section(TK_PORTNAME, cls->ports) || !section(TK_INPUTNAME, cls->inputs) ||
        !section(TK_OUTPUTNAME, cls->outputs) || !section(TK_PARAMETERNAME, cls->parameters) ||
        !section(TK_INITCONDNAME, cls->initconds) || !section(TK_VARIABLENAME, cls->variables) ||
        !section(TK_CONSTANTNAME, cls->constants))
        return std::nullopt;
    if (cls->type == CLASS_TOP && cls->graph) {
        if (!section(TK_SUBCLASSNAME, cls->graph->subclasses))
            return std::nullopt;
        for (const BondRec* bond : cls->graph->bonds)
            if (!add("a bond of size ", bond->dim, kBytesPerConnectionElement))
                return std::nullopt;
        for (const SigconRec* sig : cls->graph->sigcons)
            if (!add("a signal connection of size ", sig->dim, kBytesPerConnectionElement))
                return std::nullopt;
    } else if (cls->type == CLASS_DYN && cls->equations) {
        // Each equation counts as many elements as the instance has, as the bounds count them.
        for (const EquationRec* eq : cls->equations->equations) {
            Footprint equation;
            equation.elements = copies;
            equation.bytes = equationBytes(eq, copies);
            footprint.add(equation);
        }
    }
    return footprint;
}

} // namespace

void startInstanceCount()
{
    g_instanced = Footprint{};
    g_room = platform::memoryRoom();
    g_told = false;
}

bool countInstance(const Footprint& instance, const std::string& where, const InstanceErrorReport& report)
{
    g_instanced.add(instance);
    std::string refusal;
    if (g_instanced.elements > elementBounds().model)
        refusal = formatMessage("with the elements%s the model has more than the %lld elements a model may have.",
                                where.c_str(), static_cast<long long>(elementBounds().model));
    else
        refusal = MemoryRefusal(g_instanced, g_room);
    if (refusal.empty())
        return true;
    if (!g_told) // told once
        report(refusal);
    g_told = true;
    return false;
}

Footprint typeFootprint(const ClassRec* cls, const std::string& where)
{
    std::optional<Footprint> footprint = instanceFootprint(cls, 1, where, [](const std::string&) {});
    if (footprint)
        return *footprint;
    Footprint beyond;
    beyond.elements = beyond.bytes = INT64_MAX;
    return beyond;
}

bool countClassAlone(const ClassRec* cls, const std::string& where, const InstanceErrorReport& report)
{
    startInstanceCount();
    const std::optional<Footprint> footprint = instanceFootprint(cls, 1, where, report);
    return footprint && countInstance(*footprint, where, report);
}

bool apply_instance(ClassRec* cls, const ExprList& dim, const InstanceErrorReport& report, const std::string& where)
{
    prefixSection(cls->ports, dim, report);
    prefixSection(cls->inputs, dim, report);
    prefixSection(cls->outputs, dim, report);
    prefixSection(cls->parameters, dim, report);
    prefixSection(cls->initconds, dim, report);
    prefixSection(cls->variables, dim, report);
    prefixSection(cls->constants, dim, report);
    if (cls->type == CLASS_TOP && cls->graph) {
        GraphBody* body = cls->graph;
        for (SubclassRec* sub : body->subclasses) {
            normaliseExpressionList(sub->args);
            normaliseExpressionList(sub->dim);
            prefixDimensions(sub->dim, dim, report);
        }
        auto connection = [&](ConnectionRec* conn) {
            normaliseExpressionList(conn->dim);
            prefixDimensions(conn->dim, dim, report);
            for (ConnEnd& end : conn->con) {
                if (end.type == END_EMPTY)
                    continue;
                normaliseExpressionList(end.nodeindex);
                prefixWholeRanges(end.nodeindex, dim);
                normaliseExpressionList(end.index);
            }
        };
        for (BondRec* bond : body->bonds)
            connection(bond);
        for (SigconRec* sig : body->sigcons)
            connection(sig);
    } else if (cls->type != CLASS_DYN || !cls->equations) {
        report(formatMessage("<error: model type unknown of model %s>", cls->name.c_str()));
        return false;
    }
    if (cls->type == CLASS_DYN) {
        // The indices of the equations' names are expression lists of the class as well: with the
        // arguments known, a range over an argument's size (the completed index of p in p.e,
        // the 1 .. n of c[n]) becomes a range of two numbers, which the estimate counts.
        const auto normalise = [](ExprNode* ref) { normaliseExpressionList(ref->mutableIndex()); };
        for (EquationRec* eq : cls->equations->equations) {
            forEachNameReference(eq->left, normalise);
            forEachNameReference(eq->right, normalise);
            rebuildVariableChain(eq); // an index's names may have gone with it
        }
    }
    // Nothing is made for the elements of the instance before their number and the memory they
    // take are known to be within bounds: the unrolled equations least of all.
    const std::optional<Footprint> footprint = instanceFootprint(cls, elementCount(dim), where, report);
    if (!footprint || !countInstance(*footprint, where, report))
        return false;
    if (cls->type == CLASS_DYN) {
        EquationBody* body = cls->equations;
        if (elementCount(dim) > 1) {
            std::vector<EquationRec*> equations;
            for (EquationRec* eq : body->equations)
                equations.push_back(eq);
            for (EquationRec* eq : equations)
                unrollEquation(body, eq, dim);
        }
        for (int s = BODY_INDEP_STATES; s <= BODY_ALGLOOP_OUT; ++s)
            prefixSection(body->section(static_cast<BodySection>(s)), dim, report);
    }
    return true;
}
