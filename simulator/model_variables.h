// The loaded model's variable table: twelve kinds of variables with their names,
// value cells and flags, the integration vectors and the model's string values.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

/// The kind letters, in kind order: P I C T V s R a A S r U.
inline constexpr const char* KindLetters = "PICTVsRaASrU";
inline constexpr int KindCount = 12;

enum VariableKindIndex {
    KindParameter = 0, KindInitial = 1, KindConstant = 2, KindTable = 3, KindVariable = 4,
    KindState = 5, KindRate = 6, KindLoopInput = 7, KindLoopResult = 8,
    KindDependentState = 9, KindDependentRate = 10, KindUnnamed = 11
};

/// Type codes of the name records; `TypeWords` gives the editors' words.
enum VariableType { TypeUnknown = 0, TypeReal = 1, TypeInteger = 2, TypeBoolean = 3, TypeString = 4, TypeSampleTime = 5 };
inline constexpr std::array<const char*, 6> TypeWords = {"?", "Real", "Integer", "Boolean", "String", "SampleTime"};

/// Largest count a declaration section may announce (larger counts fail as an allocation failure).
inline constexpr std::int64_t MaxDeclaredCount = std::int64_t(1) << 22;

/// One variable: its type code and its names (the name, then its aliases).
struct VariableEntry {
    int type = TypeUnknown;
    std::vector<std::string> names;
};

/// The variables of one kind.
struct VariableKind {
    bool declared = false;
    int count = 0;
    std::vector<VariableEntry> entries;  ///< filled in declaration order, at most count
    std::vector<int> flags;              ///< count + 1
    std::vector<int> hasValue;           ///< count + 1: the value was given (parameters, initial conditions)
    std::vector<double> storage;         ///< own cells of the kinds that have them
    double* values = nullptr;            ///< count + 1 cells: own storage or part of an integration vector
};

struct ModelVariables {
    std::array<VariableKind, KindCount> kinds;
    std::vector<double> y;               ///< [s | S | a] + 1
    std::vector<double> yPrime;          ///< [R | r | ...] + 1
    std::vector<double> rates;           ///< R, n_R + 1
    std::vector<double> dependentStates; ///< S, n_S + 1
    std::vector<double> loopResults;     ///< A, n_A + 1
    int integratedTotal = 0;             ///< n_s + n_S + n_a
    bool needsDae = false;               ///< the model is implicit (total > n_s)
    bool installed = false;
    std::vector<std::string> strings;    ///< texts of string values; a cell holds index + 1
};

/// The loaded model's variables.
ModelVariables& Variables();

/// Frees every kind, the integration vectors and the strings.
void ClearVariables();

/// Index of the letter in "PICTVsRaASrU", or -1.
int KindOfLetter(char letter);

/// Allocates the kind's records; 0 on success, else -1 with the reason in `error`.
int AllocateKind(int kind, std::int64_t count, std::string& error);

/// Installs the value cells of the integrated kinds; 0 on success, else -1 with `error`.
int InstallVariables(std::string& error);

/// Address of value cell `index` of the kind (null with `error` when it does not exist).
double* CellAddress(int kind, std::int64_t index, std::string& error);

/// Number of cells from `cell` to the end of the variable array holding it; 1 for any other cell.
std::int64_t CellExtent(const double* cell);

/// Stores a text as the value of a cell (the cell then holds the text's number).
void SetStringValue(double& cell, const std::string& text);

/// The text a cell's value names, or null when it names none.
const std::string* StringOfValue(double value);

/// Name number of `name` among the entry's names, or -1.
int FindNameInEntry(int kind, int index, const char* name);

/// The stored name, or null outside the table.
const char* GetVariableName(int kind, int index, int nameNumber);

/// The entry's names, or null outside the table.
const std::vector<std::string>* GetVariableNames(int kind, int index);

/// Number of the entry's names, 0 outside the table.
int GetVariableNameCount(int kind, int index);

/// The entry's type code, 0 outside the table.
int GetVariableType(int kind, int index);

/// The name cut to `width` characters: a longer name keeps its end and starts with '<'.
std::string FormatVariableName(int width, int kind, int index, int nameNumber);

/// Zeroes the per-variable flags of a kind.
void ClearKindFlags(int kind);

/// Gives a variable of an own-valued kind its value and marks it as given; false outside the table.
bool SetVariableValue(int kind, int index, double value);
