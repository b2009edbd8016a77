// The symbol table of the file being parsed: per name a stack of declarations, newest on top,
// so that lookups stay constant-time however many names a generated model declares.
#include "modelproc/symbol_table.h"

#include "modelproc/display_hooks.h"
#include "modelproc/function_table.h"
#include "modelproc/tokens.h"

#include <unordered_map>
#include <vector>

namespace {

constexpr int kBuckets = 31;

std::unordered_map<std::string, std::vector<SymbolEntry>>& table()
{
    static std::unordered_map<std::string, std::vector<SymbolEntry>> entries;
    return entries;
}

void reportMemoryFailure()
{
    DisplayHooks().error("General error", nullptr, nullptr, -1, nullptr,
                         "memory allocation failure (may be out of memory).");
}

} // namespace

int symbolBucket(const std::string& name)
{
    int sum = 0;
    for (char c : name)
        sum += static_cast<signed char>(c);
    int bucket = sum % kBuckets;
    return bucket < 0 ? bucket + kBuckets : bucket;
}

int symtabSetup(int mode)
{
    symtabRelease();
    if (mode != 1) {
        reportMemoryFailure();
        return 0;
    }
    if (!symtabInsert(nullptr, "t", TK_TIME))
        return 0;
    for (int row = 0; row < FN_COUNT; ++row)
        if (!symtabInsert(nullptr, functionRow(row)->name, TK_FUNCTIONNAME))
            return 0;
    return 1;
}

void symtabRelease()
{
    table().clear();
}

int symtabInsert(SectionLink* value, const std::string& name, int kind)
{
    try {
        table()[name].push_back(SymbolEntry{name, kind, value});
    } catch (const std::bad_alloc&) {
        reportMemoryFailure();
        return 0;
    }
    return 1;
}

const SymbolEntry* findSymbol(const std::string& name)
{
    auto it = table().find(name);
    return it == table().end() || it->second.empty() ? nullptr : &it->second.back();
}

int symbolKind(const std::string& name)
{
    const SymbolEntry* entry = findSymbol(name);
    return entry ? entry->kind : TK_UNDEFINEDNAME;
}
