// The rules every reader of model files applies alike.
#include "common/model_file_rules.h"

#include <algorithm>
#include <climits>

namespace {

std::string longNameRefusal(const char* what, const std::string& name)
{
    if (name.size() <= kMaxModelNameLength)
        return {};
    return std::string("the ") + what + " " + name + " is longer than the supported " +
           std::to_string(kMaxModelNameLength) + " characters.";
}

bool isBlankOrLineEnd(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

} // namespace

std::string ModelNameRefusal(const std::string& name)
{
    return longNameRefusal("model name", name);
}

std::string TypeNameRefusal(const std::string& name)
{
    return longNameRefusal("submodel type name", name);
}

std::string VersionRefusal(const std::string& model, std::optional<std::int64_t> value)
{
    if (value && *value >= 0 && *value <= kMaxModelVersion)
        return {};
    return "the version of model " + model + " is not one digit.";
}

ModelFileText SplitModelFileText(std::string_view file)
{
    ModelFileText split;
    const std::size_t nul = file.find('\0');
    split.text = file.substr(0, nul);
    if (nul == std::string_view::npos)
        return split;
    std::size_t rest = nul;
    while (rest < file.size() && (file[rest] == '\0' || isBlankOrLineEnd(file[rest])))
        ++rest;
    if (rest == file.size())
        return split;
    TextPlace place;
    place.line = 1 + static_cast<int>(std::count(file.begin(), file.begin() + static_cast<long>(rest), '\n'));
    std::size_t end = rest;
    while (end < file.size() && end - rest < 40 && file[end] != '\0' && !isBlankOrLineEnd(file[end]))
        ++end;
    place.token.assign(file.substr(rest, end - rest));
    split.rest = place;
    return split;
}

std::optional<std::int32_t> IntegerLiteral(std::string_view digits)
{
    if (digits.empty())
        return std::nullopt;
    std::int64_t value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
        if (value > INT32_MAX)
            return std::nullopt;
    }
    return static_cast<std::int32_t>(value);
}

IntegerFault ApplyIntegerOperator(IntegerOperator op, std::int32_t left, std::int32_t right, std::int32_t& result)
{
    bool overflow = false;
    switch (op) {
    case IntegerOperator::Plus: overflow = __builtin_add_overflow(left, right, &result); break;
    case IntegerOperator::Minus: overflow = __builtin_sub_overflow(left, right, &result); break;
    case IntegerOperator::Times: overflow = __builtin_mul_overflow(left, right, &result); break;
    case IntegerOperator::Divide:
        if (right == 0)
            return IntegerFault::DivisionByZero;
        overflow = left == INT32_MIN && right == -1;
        if (!overflow)
            result = left / right;
        break;
    case IntegerOperator::Negate: overflow = __builtin_sub_overflow(0, right, &result); break;
    case IntegerOperator::Positive: result = right; break;
    }
    return overflow ? IntegerFault::Overflow : IntegerFault::None;
}

std::string IntegerFaultText(IntegerFault fault)
{
    switch (fault) {
    case IntegerFault::Overflow: return "integer overflow in integer expression.";
    case IntegerFault::DivisionByZero: return "division by zero in integer expression.";
    case IntegerFault::None: break;
    }
    return {};
}

ElementBounds& elementBounds()
{
    static ElementBounds bounds;
    return bounds;
}

std::int64_t KnownElementCount(const KnownSizes& sizes)
{
    std::int64_t count = 1;
    for (const std::optional<std::int64_t>& size : sizes) {
        if (!size || *size < 0)
            continue;
        if (__builtin_mul_overflow(count, *size, &count))
            count = INT64_MAX;
    }
    return count;
}

std::string NegativeDimensionRefusal(const KnownSizes& sizes)
{
    for (const std::optional<std::int64_t>& size : sizes)
        if (size && *size < 0)
            return "dimension (" + std::to_string(*size) + ") must be >= 0.";
    return {};
}

std::string QuantityBoundRefusal(const std::string& what, const KnownSizes& sizes, const std::string& sizesText,
                                 const std::string& where)
{
    const std::int64_t count = KnownElementCount(sizes);
    if (count <= elementBounds().quantity)
        return {};
    return what + sizesText + where + " has " + std::to_string(count) + " elements, more than the " +
           std::to_string(elementBounds().quantity) + " one quantity may have.";
}

std::string ModelBoundRefusal(const std::string& what, std::int64_t elements, std::int64_t& declared)
{
    const std::int64_t bound = elementBounds().model;
    const std::int64_t before = declared;
    declared = std::min(before + std::min(std::max<std::int64_t>(elements, 0), bound + 1), bound + 1);
    if (before > bound || declared <= bound)
        return {};
    return "with " + what + " the model declares more than the " + std::to_string(bound) +
           " elements a model may have.";
}

std::string DeclaredQuantityRefusal(const std::string& what, const KnownSizes& sizes, const std::string& sizesText,
                                    std::int64_t& declared)
{
    if (std::string refusal = NegativeDimensionRefusal(sizes); !refusal.empty())
        return refusal;
    if (std::string refusal = QuantityBoundRefusal(what, sizes, sizesText); !refusal.empty())
        return refusal;
    return ModelBoundRefusal(what, KnownElementCount(sizes), declared);
}
