// The symbol table of the file being parsed: declared names with their kinds and records.
#pragma once

#include <string>

struct SectionLink;

/// One declared name.
struct SymbolEntry {
    std::string name;
    int kind = 0;                   ///< a token number: a name kind, TK_TIME or TK_FUNCTIONNAME
    SectionLink* value = nullptr;   ///< the declared record; null for predefined names
};

/// Sets the table up for a new file: "t" as time and every built-in function; only mode 1
/// is known. Any other mode reports the memory failure as a "General error" and gives 0.
int symtabSetup(int mode);
/// Forgets every entry.
void symtabRelease();
/// Adds a declaration, hiding an earlier one of the same name; 0 on failure.
int symtabInsert(SectionLink* value, const std::string& name, int kind);
/// The newest entry of the name; null when absent. Valid until the next insert.
const SymbolEntry* findSymbol(const std::string& name);
/// The kind of the name; `TK_UNDEFINEDNAME` when absent.
int symbolKind(const std::string& name);
/// Bucket of a name in the classic 31-bucket layout: the sum of its characters as signed
/// bytes, modulo 31 (kept for tools that print the table in that order).
int symbolBucket(const std::string& name);
