// The rules that every reader of model files applies alike, the graph editor's and the model
// processor's: where a file's model text ends, how long model names may be, which versions there
// are, which integers a file may write, how constant integer expressions are worked out and how
// large the sizes a model gives may be. Each reader reports a refusal at its own place in the text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

/// Longest model name, without its version digit: with the digit it names the model's files.
inline constexpr std::size_t kMaxModelNameLength = 7;
/// Highest version: one digit, so that no two models name the same files.
inline constexpr int kMaxModelVersion = 9;

/// "the model name %s is longer than the supported 7 characters."; empty when it is not.
std::string ModelNameRefusal(const std::string& name);
/// The same for the type name of a submodel, which names a model too; empty when it is not.
std::string TypeNameRefusal(const std::string& name);
/// "the version of model %s is not one digit." when the version is not 0 to 9 (`value` none for a
/// number beyond 32 bits); empty when it is one.
std::string VersionRefusal(const std::string& model, std::optional<std::int64_t> value);

/// The place of a refusal that the text itself gives: a line (from 1) and the token there.
struct TextPlace {
    int line = 1;
    std::string token;
};

/// A file's model text: its text up to the first NUL byte, which ends it (an equation model file
/// ends in one). Anything after the NUL but NUL bytes, blanks and line ends would be left unread
/// without a word: `rest` then tells where it begins.
struct ModelFileText {
    std::string_view text;
    std::optional<TextPlace> rest;
};
ModelFileText SplitModelFileText(std::string_view file);
/// The refusal of a file that goes on after the NUL byte that ends its model text.
inline constexpr const char* kTextAfterNul = "the file goes on after its NUL byte.";

/// The value of a run of decimal digits; none when it does not fit 32 bits.
std::optional<std::int32_t> IntegerLiteral(std::string_view digits);
/// The refusal of an integer that does not fit 32 bits.
inline constexpr const char* kIntegerOutOfRange = "integer constant out of range.";

/// The operators of integer expressions (sizes, indices and arguments). Both "/" and "div" divide,
/// truncating toward zero.
enum class IntegerOperator { Plus, Minus, Times, Divide, Negate, Positive };
enum class IntegerFault { None, Overflow, DivisionByZero };
/// `left op right` (a sign takes `right` only) in 32-bit signed integers.
IntegerFault ApplyIntegerOperator(IntegerOperator op, std::int32_t left, std::int32_t right, std::int32_t& result);
/// "integer overflow in integer expression." or "division by zero in integer expression."; empty for none.
std::string IntegerFaultText(IntegerFault fault);

/// The most elements one quantity may have (a port, an input or output, a declaration, an
/// instance array, a connection), and the most a whole model may have: a size beyond them comes
/// from input written wrong, and would take memory without bound. A fuzzer lowers them, so that
/// what it makes within them is processed in moments.
struct ElementBounds {
    std::int64_t quantity = std::int64_t(1) << 20;
    std::int64_t model = std::int64_t(1) << 25;
};
ElementBounds& elementBounds();

/// The sizes of a quantity as its reader has them: each one's value when it is known.
using KnownSizes = std::vector<std::optional<std::int64_t>>;

/// The elements of a quantity of these sizes: the product of the known ones, the largest count
/// when it passes the range of the count.
std::int64_t KnownElementCount(const KnownSizes& sizes);
/// "dimension (%d) must be >= 0." for the first known size below 0; empty when there is none.
std::string NegativeDimensionRefusal(const KnownSizes& sizes);
/// "%s%s%s has %lld elements, more than the %lld one quantity may have." (the quantity, the text of
/// its sizes, where it is) when the known sizes pass `elementBounds().quantity`; else empty.
std::string QuantityBoundRefusal(const std::string& what, const KnownSizes& sizes, const std::string& sizesText,
                                 const std::string& where = {});
/// Counts the quantity's elements into those the model declared so far (`declared`, kept at most
/// one past the bound); "with %s the model declares more than the %lld elements a model may have."
/// when they pass `elementBounds().model` with it, told once; else empty.
std::string ModelBoundRefusal(const std::string& what, std::int64_t elements, std::int64_t& declared);
/// The checks of a declared quantity in order: its sizes, its elements, the model's elements; the
/// first refusal, or empty. A quantity refused by its sizes is not counted.
std::string DeclaredQuantityRefusal(const std::string& what, const KnownSizes& sizes, const std::string& sizesText,
                                    std::int64_t& declared);
