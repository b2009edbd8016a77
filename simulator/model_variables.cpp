// The loaded model's variable table: allocation, installation of the
// integration vectors, cell addresses and the name look-ups of the editors.
#include "simulator/model_variables.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

namespace {

ModelVariables g_variables;

bool validEntry(int kind, int index)
{
    return kind >= 0 && kind < KindCount && index >= 0 && index < g_variables.kinds[kind].count;
}

const VariableEntry* entryAt(int kind, int index)
{
    if (!validEntry(kind, index))
        return nullptr;
    const auto& entries = g_variables.kinds[kind].entries;
    return std::size_t(index) < entries.size() ? &entries[index] : nullptr;
}

bool hasOwnCells(int kind)
{
    switch (kind) {
    case KindState: case KindRate: case KindLoopInput: case KindLoopResult:
    case KindDependentState: case KindDependentRate:
        return false;
    default:
        return true;
    }
}

} // namespace

ModelVariables& Variables() { return g_variables; }

void ClearVariables() { g_variables = ModelVariables{}; }

int KindOfLetter(char letter)
{
    const char* found = letter ? std::strchr(KindLetters, letter) : nullptr;
    return found ? int(found - KindLetters) : -1;
}

int AllocateKind(int kind, std::int64_t count, std::string& error)
{
    if (kind < 0 || kind >= KindCount) {
        error = "wrong modifier";
        return -1;
    }
    VariableKind& k = g_variables.kinds[kind];
    if (k.declared) {
        error = "variable array already allocated";
        return -1;
    }
    if (count < 0 || count > MaxDeclaredCount) {
        error = "variable array allocation failure";
        return -1;
    }
    try {
        k.flags.assign(std::size_t(count) + 1, 0);
        k.hasValue.assign(std::size_t(count) + 1, 0);
        if (hasOwnCells(kind)) {
            k.storage.assign(std::size_t(count) + 1, 0.0);
            k.values = k.storage.data();
        }
        k.entries.reserve(std::size_t(std::min<std::int64_t>(count, 4096)));
    } catch (const std::bad_alloc&) {
        k = VariableKind{};
        error = "variable array allocation failure";
        return -1;
    }
    k.declared = true;
    k.count = int(count);
    return 0;
}

int InstallVariables(std::string& error)
{
    ModelVariables& m = g_variables;
    if (!m.kinds[KindVariable].declared && AllocateKind(KindVariable, 0, error) != 0)
        return -1;
    auto& loopInputs = m.kinds[KindLoopInput];
    loopInputs.count = m.kinds[KindLoopResult].count;
    loopInputs.declared = true;
    if (loopInputs.flags.size() < std::size_t(loopInputs.count) + 1)
        loopInputs.flags.assign(std::size_t(loopInputs.count) + 1, 0);
    const int ns = m.kinds[KindState].count;
    const int nS = m.kinds[KindDependentState].count;
    const int na = loopInputs.count;
    const int nR = m.kinds[KindRate].count;
    const int nA = m.kinds[KindLoopResult].count;
    const int nr = m.kinds[KindDependentRate].count;
    const int total = ns + nS + na;
    m.integratedTotal = total;
    try {
        // Every integrated kind gets cells even when the total is 0, so no operand is ever null.
        m.y.assign(std::size_t(total) + 1, 0.0);
        m.yPrime.assign(std::size_t(std::max(total, nR + nr)) + 1, 0.0);
        m.rates.assign(std::size_t(nR) + 1, 0.0);
        m.dependentStates.assign(std::size_t(nS) + 1, 0.0);
        m.loopResults.assign(std::size_t(nA) + 1, 0.0);
    } catch (const std::bad_alloc&) {
        m.integratedTotal = 0;
        error = "state/rate array allocation failure";
        return -1;
    }
    m.kinds[KindState].values = m.y.data();
    m.kinds[KindLoopInput].values = m.y.data() + ns + nS;
    m.kinds[KindDependentRate].values = m.yPrime.data() + nR;
    m.kinds[KindRate].values = m.rates.data();
    m.kinds[KindDependentState].values = m.dependentStates.data();
    m.kinds[KindLoopResult].values = m.loopResults.data();
    m.needsDae = total > ns;
    m.installed = true;
    return 0;
}

double* CellAddress(int kind, std::int64_t index, std::string& error)
{
    if (kind < 0 || kind >= KindCount) {
        error = "wrong modifier";
        return nullptr;
    }
    if (index < 0) {
        error = "negative array index";
        return nullptr;
    }
    const VariableKind& k = g_variables.kinds[kind];
    if (index >= k.count) {
        error = "index out of range";
        return nullptr;
    }
    if (!k.values) {
        error = "bad array address";
        return nullptr;
    }
    return k.values + index;
}

std::int64_t CellExtent(const double* cell)
{
    for (const VariableKind& k : g_variables.kinds) {
        if (k.values && k.count > 0 && cell >= k.values && cell < k.values + k.count)
            return (k.values + k.count) - cell;
    }
    return 1;
}

void SetStringValue(double& cell, const std::string& text)
{
    // Texts are never changed once pooled, so an equal one is shared: reading the same
    // experiment again leaves the pool as it was.
    auto& strings = g_variables.strings;
    std::size_t index = std::size_t(std::find(strings.begin(), strings.end(), text) - strings.begin());
    if (index == strings.size())
        strings.push_back(text);
    cell = double(index + 1);
}

const std::string* StringOfValue(double value)
{
    const auto& strings = g_variables.strings;
    if (!(value >= 1.0 && value <= double(strings.size())) || std::trunc(value) != value)
        return nullptr;
    return &strings[std::size_t(value) - 1];
}

int FindNameInEntry(int kind, int index, const char* name)
{
    const VariableEntry* entry = entryAt(kind, index);
    if (!entry || !name)
        return -1;
    for (std::size_t i = 0; i < entry->names.size(); ++i)
        if (entry->names[i] == name)
            return int(i);
    return -1;
}

const char* GetVariableName(int kind, int index, int nameNumber)
{
    const VariableEntry* entry = entryAt(kind, index);
    if (!entry || nameNumber < 0 || std::size_t(nameNumber) >= entry->names.size())
        return nullptr;
    return entry->names[nameNumber].c_str();
}

const std::vector<std::string>* GetVariableNames(int kind, int index)
{
    const VariableEntry* entry = entryAt(kind, index);
    return entry ? &entry->names : nullptr;
}

int GetVariableNameCount(int kind, int index)
{
    const VariableEntry* entry = entryAt(kind, index);
    return entry ? int(entry->names.size()) : 0;
}

int GetVariableType(int kind, int index)
{
    const VariableEntry* entry = entryAt(kind, index);
    return entry ? entry->type : TypeUnknown;
}

std::string FormatVariableName(int width, int kind, int index, int nameNumber)
{
    const char* name = GetVariableName(kind, index, nameNumber);
    if (!name || width <= 0)
        return {};
    std::string text = name;
    if (text.size() <= std::size_t(width))
        return text;
    text = text.substr(text.size() - std::size_t(width));
    text[0] = '<';
    return text;
}

void ClearKindFlags(int kind)
{
    if (kind < 0 || kind >= KindCount)
        return;
    auto& flags = g_variables.kinds[kind].flags;
    std::fill(flags.begin(), flags.end(), 0);
}

bool SetVariableValue(int kind, int index, double value)
{
    if (kind < 0 || kind >= KindCount)
        return false;
    VariableKind& k = g_variables.kinds[kind];
    if (index < 0 || index >= k.count || !k.values)
        return false;
    k.values[index] = value;
    if (std::size_t(index) < k.hasValue.size())
        k.hasValue[index] = 1;
    return true;
}
