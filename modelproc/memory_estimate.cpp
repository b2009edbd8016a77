// The memory estimate of a model from its sizes.
#include "modelproc/memory_estimate.h"

#include "modelproc/expression_walk.h"

namespace {

std::int64_t saturatedSum(std::int64_t a, std::int64_t b)
{
    std::int64_t sum = 0;
    return __builtin_add_overflow(a, b, &sum) ? INT64_MAX : sum;
}

std::int64_t saturatedProduct(std::int64_t a, std::int64_t b)
{
    std::int64_t product = 0;
    return __builtin_mul_overflow(a, b, &product) ? INT64_MAX : product;
}

/// The elements a name reference stands for: the product of the sizes of its literal indices.
std::int64_t referenceElements(const ExprNode* ref)
{
    std::int64_t elements = 1;
    for (const ExprNode* index : ref->index())
        elements = saturatedProduct(elements, std::max<std::int64_t>(literalSize(index), 1));
    return elements;
}

} // namespace

void Footprint::add(const Footprint& other)
{
    elements = saturatedSum(elements, other.elements);
    bytes = saturatedSum(bytes, other.bytes);
    if (other.largestElements > largestElements) {
        largest = other.largest;
        largestElements = other.largestElements;
    }
}

void Footprint::addQuantity(const std::string& name, std::int64_t count, std::int64_t bytesPerElement)
{
    elements = saturatedSum(elements, count);
    bytes = saturatedSum(bytes, saturatedProduct(count, bytesPerElement));
    if (count > largestElements) {
        largest = name;
        largestElements = count;
    }
}

std::int64_t equationBytes(const EquationRec* eq, std::int64_t copies)
{
    std::int64_t nodes = 0;
    std::int64_t widest = 1;
    // A name reference counts with one node per index, as it has once the equation is taken
    // apart element by element, however its range is written.
    for (const ExprNode* side : {eq->left, eq->right})
        forEachNode(side, [&](const ExprNode* node) {
            ++nodes;
            if (!isNameKind(node->kind))
                return true;
            nodes += node->index().count();
            widest = std::max(widest, referenceElements(node));
            return false;
        });
    const std::int64_t perEquation = saturatedSum(kBytesPerEquation, saturatedProduct(nodes, kBytesPerEquationNode));
    return saturatedProduct(saturatedProduct(widest, copies), perEquation);
}

std::uint64_t addressSpaceFor(std::int64_t bytes)
{
    constexpr std::uint64_t kFixed = std::uint64_t(256) << 20;
    const auto filled = static_cast<std::uint64_t>(std::max<std::int64_t>(bytes, 0));
    return filled > (UINT64_MAX - kFixed) / 2 ? UINT64_MAX : kFixed + filled * 2;
}

std::string MemoryRefusal(const Footprint& model, const platform::MemoryRoom& room)
{
    const auto bytes = static_cast<std::uint64_t>(std::max<std::int64_t>(model.bytes, 0));
    const std::string needs = "the model needs about " + platform::byteCountText(bytes) + " of memory to be processed";
    std::string text;
    if (room.physical && bytes > *room.physical)
        text = needs + ", more than the " + platform::byteCountText(*room.physical) + " of " + room.physicalBound;
    else if (room.addressSpace && addressSpaceFor(model.bytes) > *room.addressSpace)
        text = needs + " and " + platform::byteCountText(addressSpaceFor(model.bytes)) +
               " of address space, more than the " + platform::byteCountText(*room.addressSpace) +
               " the process's address-space limit leaves it";
    else
        return {};
    if (!model.largest.empty())
        text += "; its largest quantity is " + model.largest + ", of " + std::to_string(model.largestElements) +
                " elements";
    return text + ".";
}
