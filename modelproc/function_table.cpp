// The fixed table of Keldor's built-in functions.
#include "modelproc/function_table.h"

namespace {

constexpr FunctionRow kFunctions[FN_COUNT] = {
    {"int", "int", 1, 1},
    {"ddt", "ddt", 1, 0},
    {"sum", "not_red", 1, 3},
    {"identity", "not_red", 1, 2},
    {"step", "step", 1, -1},
    {"ramp", "ramp", 1, -1},
    {"exp", "exp", 1, 7},
    {"log", "log", 1, 6},
    {"sin", "SIN", 1, 9},
    {"arcsin", "ASIN", 1, 8},
    {"cos", "COS", 1, 11},
    {"arccos", "ACOS", 1, 10},
    {"tan", "TAN", 1, 13},
    {"arctan", "ATAN", 1, 12},
    {"sinh", "SINH", 1, 15},
    {"arcsinh", "ASINH", 1, 14},
    {"cosh", "COSH", 1, 17},
    {"arccosh", "ACOSH", 1, 16},
    {"tanh", "TANH", 1, 19},
    {"arctanh", "ATANH", 1, 18},
    {"TP", "TP", 1, 20},
    {"atan2", "atan2", 2, -1},
    {"sqrt", "SQRT", 1, 23},
    {"pow2", "pow2", 1, -1},
    {"sign", "sign", 1, -1},
    {"abs", "abs", 1, -1},
    {"log10", "log10", 1, 27},
    {"exp10", "exp10", 1, 26},
    {"log2", "log2", 1, 29},
    {"exp2", "exp2", 1, 28},
    {"limint", "limint", 3, -1},
    {"ran", "ran", 1, -1},
    {"dly", "dly", 2, -1},
    {"tdly", "tdly", 2, -1},
    {"from_file", "from_file", 2, -1},
    {"table_from_file", "table_from_file", 2, -1},
    {"dll_function", "dll_function", 5, -1},
    {"dll_function", "dll_function", 5, -1},
    {"dll_function", "dll_function", 5, -1},
    {"resetfunc", "resetfunc", 3, -1},
};

} // namespace

const FunctionRow* functionRow(int function)
{
    if (function < 0 || function >= FN_COUNT)
        return nullptr;
    return &kFunctions[function];
}

int findFunction(std::string_view name)
{
    for (int i = 0; i < FN_COUNT; ++i)
        if (name == kFunctions[i].name)
            return i;
    return -1;
}
