// The symbol table of the file being parsed: declared names with their kinds and records.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

struct SectionLink;

/// One declared name.
struct SymbolEntry {
    std::string_view name;          ///< the table's own copy of the name
    int kind = 0;                   ///< a token number: a name kind, TK_TIME or TK_FUNCTIONNAME
    SectionLink* value = nullptr;   ///< the declared record; null for predefined names
};

/// Sets the table up for a new file: "t" as time and every built-in function; only mode 1
/// is known. Any other mode reports the memory failure as a "General error" and gives 0.
int symtabSetup(int mode);
/// Forgets every entry.
void symtabRelease();
/// Adds a declaration, hiding an earlier one of the same name; 0 on failure.
int symtabInsert(SectionLink* value, std::string_view name, int kind);
/// The newest entry of the name; null when absent. Valid until the release; a later declaration
/// of the name changes the entry in place.
const SymbolEntry* findSymbol(std::string_view name);
/// Starts bringing the name's place in the table into the cache, for a lookup soon after.
void prefetchSymbol(std::string_view name);
/// The kind of the name; `TK_UNDEFINEDNAME` when absent.
int symbolKind(std::string_view name);
/// Counts the inserts and releases, so that a caller holding an entry knows it is still valid.
std::uint64_t symtabGeneration();
/// Bucket of a name in the classic 31-bucket layout: the sum of its characters as signed
/// bytes, modulo 31 (kept for tools that print the table in that order).
int symbolBucket(const std::string& name);
