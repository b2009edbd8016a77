// The table of reserved words and the check against it.
#include "common/reserved_words.h"

#include "common/message_boxes.h"

#include <string>

namespace {

constexpr std::string_view g_reservedWords[] = {
    "1_effort", "1_flow", "any", "bond", "boolean", "causality", "class", "conditions",
    "connections", "constants", "constraint", "dimension", "do", "effort", "else", "elseif",
    "equal", "equations", "false", "fi", "fixed", "flow", "for", "graph", "if", "in",
    "indifferent", "initial", "inputs", "integer", "interface", "interpolation", "notequal", "od",
    "orientation", "out", "outputs", "parameters", "ports", "preferred", "real", "restrictions",
    "same", "scheme", "set", "signals", "string", "subclasses", "tables", "then", "true",
    "variables", "version", "int", "ddt", "sum", "identity", "not_red", "step", "ramp", "exp",
    "log", "sin", "SIN", "arcsin", "ASIN", "cos", "COS", "arccos", "ACOS", "tan", "TAN",
    "arctan", "ATAN", "sinh", "SINH", "arcsinh", "ASINH", "cosh", "COSH", "arccosh", "ACOSH",
    "tanh", "TANH", "arctanh", "ATANH", "TP", "atan2", "sqrt", "SQRT", "pow2", "sign", "abs",
    "log10", "exp10", "log2", "exp2", "limint", "ran", "dly", "tdly", "from_file",
    "table_from_file",
};

static_assert(std::size(g_reservedWords) == 103);

} // namespace

std::span<const std::string_view> ReservedWords()
{
    return g_reservedWords;
}

int IsReservedWord(std::string_view name, int report)
{
    for (const std::string_view word : g_reservedWords) {
        if (word == name) {
            if (report != 0) {
                std::string quoted(1, '"');
                quoted.append(name).push_back('"');
                ShowMessage({quoted, "is a reserverd word"});
            }
            return 1;
        }
    }
    return 0;
}
