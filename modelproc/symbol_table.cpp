// The symbol table of the file being parsed: an open-addressed hash of the names, each slot
// holding the newest declaration of its name. A later declaration of a name replaces the
// entry in place, which is all a lookup can ever see of the earlier one. The names are copied
// into blocks of characters that live as long as the table, so an entry costs no allocation
// of its own and lookups stay constant-time however many names a generated model declares.
#include "modelproc/symbol_table.h"

#include "modelproc/display_hooks.h"
#include "modelproc/function_table.h"
#include "modelproc/tokens.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include <sys/mman.h>

namespace {

constexpr int kBuckets = 31;

std::uint32_t hashName(std::string_view name)
{
    // FNV-1a: short identifiers that differ in one digit land far apart.
    std::uint32_t h = 2166136261u;
    for (char c : name) {
        h ^= static_cast<unsigned char>(c);
        h *= 16777619u;
    }
    return h;
}

/// Zeroed memory for `count` slots; a large table is put on huge pages where the system offers
/// them, since its lookups land at random and would otherwise miss the address cache each time.
template <class T>
class SlotArray {
public:
    SlotArray() = default;
    explicit SlotArray(std::size_t count) : m_count(count)
    {
        const std::size_t bytes = count * sizeof(T);
        constexpr std::size_t huge = std::size_t(2) << 20;
        if (bytes >= huge) {
            m_data = static_cast<T*>(std::aligned_alloc(huge, (bytes + huge - 1) / huge * huge));
            if (m_data)
                madvise(m_data, bytes, MADV_HUGEPAGE);
        } else {
            m_data = static_cast<T*>(std::malloc(bytes));
        }
        if (!m_data)
            throw std::bad_alloc();
        std::memset(static_cast<void*>(m_data), 0, bytes);
    }
    SlotArray(SlotArray&& other) noexcept : m_data(other.m_data), m_count(other.m_count)
    {
        other.m_data = nullptr;
        other.m_count = 0;
    }
    SlotArray& operator=(SlotArray&& other) noexcept
    {
        std::swap(m_data, other.m_data);
        std::swap(m_count, other.m_count);
        return *this;
    }
    ~SlotArray() { std::free(m_data); }

    std::size_t size() const { return m_count; }
    bool empty() const { return m_count == 0; }
    T& operator[](std::size_t i) { return m_data[i]; }
    const T& operator[](std::size_t i) const { return m_data[i]; }
    T* begin() { return m_data; }
    T* end() { return m_data + m_count; }

private:
    T* m_data = nullptr;
    std::size_t m_count = 0;
};

/// The entries in blocks that never move: growing copies nothing, and an entry stays where it is
/// until the table is released.
class EntryStore {
public:
    std::size_t size() const { return m_size; }
    SymbolEntry& operator[](std::size_t i) { return m_blocks[i >> kShift][i & (kBlock - 1)]; }
    const SymbolEntry& operator[](std::size_t i) const { return m_blocks[i >> kShift][i & (kBlock - 1)]; }
    void push_back(const SymbolEntry& entry)
    {
        if ((m_size & (kBlock - 1)) == 0 && (m_size >> kShift) == m_blocks.size())
            m_blocks.push_back(std::make_unique<SymbolEntry[]>(kBlock));
        (*this)[m_size] = entry;
        ++m_size;
    }
    void clear()
    {
        m_blocks.clear();
        m_size = 0;
    }

private:
    static constexpr std::size_t kShift = 12;
    static constexpr std::size_t kBlock = std::size_t(1) << kShift;
    std::vector<std::unique_ptr<SymbolEntry[]>> m_blocks;
    std::size_t m_size = 0;
};

class SymbolTable {
public:
    const SymbolEntry* find(std::string_view name) const
    {
        if (m_slots.empty())
            return nullptr;
        const std::uint32_t h = hashName(name);
        for (std::size_t i = h & m_mask;; i = (i + 1) & m_mask) {
            const Slot& slot = m_slots[i];
            if (slot.entry == 0)
                return nullptr;
            if (slot.hash == h) {
                const SymbolEntry& e = m_entries[slot.entry - 1];
                if (e.name == name)
                    return &e;
            }
        }
    }

    void prefetch(std::string_view name) const
    {
        if (!m_slots.empty())
            __builtin_prefetch(&m_slots[hashName(name) & m_mask]);
    }

    void insert(SectionLink* value, std::string_view name, int kind)
    {
        // At most three slots in four taken: the table stays small enough to be cached mostly,
        // its lookups being spread over it at random.
        if ((m_entries.size() + 1) * 4 > m_slots.size() * 3)
            grow();
        const std::uint32_t h = hashName(name);
        std::size_t i = h & m_mask;
        for (;; i = (i + 1) & m_mask) {
            Slot& slot = m_slots[i];
            if (slot.entry == 0)
                break;
            if (slot.hash == h) {
                SymbolEntry& e = m_entries[slot.entry - 1];
                if (e.name == name) {
                    e.kind = kind;
                    e.value = value;
                    ++m_generation;
                    return;
                }
            }
        }
        m_entries.push_back(SymbolEntry{copyName(name), kind, value});
        m_slots[i] = Slot{h, static_cast<std::uint32_t>(m_entries.size())};
        ++m_generation;
    }

    void clear()
    {
        // Everything goes back: a large model's table is not kept for the phases after parsing.
        m_entries.clear();
        m_slots = SlotArray<Slot>();
        m_mask = 0;
        m_blocks.clear();
        m_room = 0;
        ++m_generation;
    }

    std::uint64_t generation() const { return m_generation; }

private:
    struct Slot {
        std::uint32_t hash = 0;
        std::uint32_t entry = 0; ///< one more than the entry's index; 0 for an empty slot
    };
    static constexpr std::size_t kInitialSlots = 256;
    static constexpr std::size_t kBlockSize = 64 * 1024;

    void grow()
    {
        SlotArray<Slot> slots(m_slots.empty() ? kInitialSlots : m_slots.size() * 2);
        const std::size_t mask = slots.size() - 1;
        for (const Slot& slot : m_slots) {
            if (slot.entry == 0)
                continue;
            std::size_t i = slot.hash & mask;
            while (slots[i].entry != 0)
                i = (i + 1) & mask;
            slots[i] = slot;
        }
        m_slots = std::move(slots);
        m_mask = mask;
    }

    std::string_view copyName(std::string_view name)
    {
        if (name.empty())
            return {};
        if (name.size() > m_room) {
            // A name longer than a block gets a block of its own size.
            const std::size_t size = std::max(kBlockSize, name.size());
            m_blocks.push_back(std::make_unique<char[]>(size));
            m_next = m_blocks.back().get();
            m_room = size;
        }
        char* at = m_next;
        std::memcpy(at, name.data(), name.size());
        m_next += name.size();
        m_room -= name.size();
        return {at, name.size()};
    }

    EntryStore m_entries;
    SlotArray<Slot> m_slots;
    std::size_t m_mask = 0;
    std::vector<std::unique_ptr<char[]>> m_blocks;
    char* m_next = nullptr;
    std::size_t m_room = 0;
    std::uint64_t m_generation = 0;
};

SymbolTable& table()
{
    static SymbolTable symbols;
    return symbols;
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

int symtabInsert(SectionLink* value, std::string_view name, int kind)
{
    try {
        table().insert(value, name, kind);
    } catch (const std::bad_alloc&) {
        reportMemoryFailure();
        return 0;
    }
    return 1;
}

const SymbolEntry* findSymbol(std::string_view name)
{
    return table().find(name);
}

void prefetchSymbol(std::string_view name)
{
    table().prefetch(name);
}

int symbolKind(std::string_view name)
{
    const SymbolEntry* entry = findSymbol(name);
    return entry ? entry->kind : TK_UNDEFINEDNAME;
}

std::uint64_t symtabGeneration()
{
    return table().generation();
}
