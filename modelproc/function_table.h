// The fixed table of Keldor's built-in functions; a call node holds its row number.
#pragma once

#include <string_view>

/// One built-in function.
struct FunctionRow {
    const char* name;      ///< as written in models and template files
    const char* codeName;  ///< the upper-case form of the other writing mode
    int arguments;
    int inverse;           ///< row of the inverse function, -1 when there is none
};

/// Row numbers of the functions that the writers and phases treat specially.
enum FunctionIndex : int {
    FN_INT = 0,
    FN_DDT = 1,
    FN_SUM = 2,
    FN_IDENTITY = 3,
    FN_STEP = 4,
    FN_RAMP = 5,
    FN_EXP = 6,
    FN_TANH = 18,
    FN_ARCTANH = 19,
    FN_TP = 20,
    FN_ATAN2 = 21,
    FN_SQRT = 22,
    FN_EXP2 = 29,
    FN_LIMINT = 30,
    FN_RAN = 31,
    FN_DLY = 32,
    FN_TDLY = 33,
    FN_FROM_FILE = 34,
    FN_TABLE_FROM_FILE = 35,
    FN_DLL_FUNCTION = 36, ///< dll_function fills rows 36 to 38
    FN_RESETFUNC = 39,
    FN_COUNT = 40,
};

/// The row of a function number; null outside 0..39.
const FunctionRow* functionRow(int function);

/// The first row whose name equals `name`, or -1.
int findFunction(std::string_view name);
