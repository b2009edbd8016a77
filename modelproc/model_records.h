// The model processor's records of one parsed or expanded model, their lists,
// builders, lookups, counts and release; memory comes from one arena per run.
#pragma once

#include "common/model_file_rules.h"
#include "modelproc/tokens.h"

#include <algorithm>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <iterator>
#include <type_traits>
#include <new>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// ---------------------------------------------------------------------------
// Memory of one processing run

/// Owns every record made during one processing run; `clear` ends them all. Records are laid
/// one after another in large chunks; only those with a destructor to run are remembered.
class RecordArena {
public:
    /// With `ownPages`, the chunks are mapped from the system each on its own and `clear` gives
    /// their pages back at once; else they come from the general allocator, which may hand them
    /// out again later (and reuses for them what the run gave back before).
    explicit RecordArena(bool ownPages = false) : m_ownPages(ownPages) {}
    ~RecordArena() { clear(); }
    RecordArena(const RecordArena&) = delete;
    RecordArena& operator=(const RecordArena&) = delete;

    /// A new value-initialised object owned by the arena; null when memory is exhausted.
    template <class T, class... Args>
    T* make(Args&&... args)
    {
        static_assert(alignof(T) <= kAlignment, "records are aligned to the arena's alignment");
        static_assert(sizeof(T) % alignof(T) == 0);
        T* object = nullptr;
        if constexpr (std::is_trivially_destructible_v<T>) {
            void* memory = allocate(sizeof(T), alignof(T));
            if (!memory)
                return nullptr;
            object = new (memory) T(std::forward<Args>(args)...);
        } else {
            // An object with a destructor is laid just after the link that remembers it, on the
            // chain of its kind, so that remembering costs one pointer and no list of its own.
            constexpr std::size_t kLinkRoom = alignof(T) > sizeof(DestroyLink) ? alignof(T) : sizeof(DestroyLink);
            DestroyChain* chain = chainOf(kindNumber<T>(), [](void* p) { static_cast<T*>(p)->~T(); });
            if (!chain)
                return nullptr;
            constexpr std::size_t kLinkAlignment = alignof(T) > alignof(DestroyLink) ? alignof(T) : alignof(DestroyLink);
            auto* memory = static_cast<unsigned char*>(allocate(kLinkRoom + sizeof(T), kLinkAlignment));
            if (!memory)
                return nullptr;
            auto* link = reinterpret_cast<DestroyLink*>(memory + kLinkRoom - sizeof(DestroyLink));
            object = new (memory + kLinkRoom) T(std::forward<Args>(args)...);
            link->previous = chain->last;
            chain->last = link;
        }
        ++m_count;
        return object;
    }

    /// Room for `bytes` bytes aligned to 8, held until `clear`; null when memory is exhausted.
    void* makeBytes(std::size_t bytes)
    {
        void* memory = allocate((bytes + 7) / 8 * 8, 8);
        if (memory)
            ++m_count;
        return memory;
    }

    /// `count` value-initialised objects of a kind without a destructor, one after another; null
    /// when memory is exhausted (or `count` is 0).
    template <class T>
    T* makeArray(std::size_t count)
    {
        static_assert(std::is_trivially_destructible_v<T>);
        if (count == 0 || count > std::size_t(-1) / sizeof(T) / 2)
            return nullptr;
        void* memory = allocate(count * sizeof(T), alignof(T));
        if (!memory)
            return nullptr;
        T* first = static_cast<T*>(memory);
        for (std::size_t i = 0; i < count; ++i)
            new (first + i) T();
        m_count += count;
        return first;
    }

    /// Room for `bytes` bytes aligned to `alignment` (at most 8) among the arena's texts, which
    /// lie apart from the records so that neither skips room to keep the other's alignment;
    /// held until `clear`, null when memory is exhausted.
    void* makeTextBytes(std::size_t bytes, std::size_t alignment)
    {
        return take(m_texts, bytes, alignment);
    }

    /// A copy of the text, ending in a NUL, laid among the arena's texts; null when memory is
    /// exhausted.
    const char* copyText(std::string_view text)
    {
        auto* memory = static_cast<char*>(makeTextBytes(text.size() + 1, 1));
        if (!memory)
            return nullptr;
        std::memcpy(memory, text.data(), text.size());
        memory[text.size()] = '\0';
        return memory;
    }

    /// Ends every object, each kind's newest first, and gives the chunks back.
    void clear();
    /// Ends every object as `clear` does but keeps the first chunk for the objects that follow,
    /// for an arena that serves one short-lived set of records after another.
    void recycle();
    /// Objects made since the last `clear`.
    std::size_t size() const { return m_count; }
    /// Bytes handed out since the last `clear`, with the room records skip to keep their alignment.
    std::size_t bytesUsed() const { return m_used; }

private:
    static constexpr std::size_t kAlignment = alignof(std::max_align_t);
    void endObjects();

    /// Where one kind of piece (records or texts) is laid: the rest of its current chunk.
    struct Stream {
        unsigned char* next = nullptr; ///< where the next piece goes
        /// Bytes from `next` to the next stop: the chunk's end, or in a chunk on large pages the
        /// next page's start, where the page after it is had made present ahead.
        std::size_t left = 0;
        unsigned char* end = nullptr; ///< the chunk's end
    };
    /// Room for `bytes` aligned to `alignment` among the records, in the current chunk or in a new
    /// one; null when memory is exhausted. Records are packed by their own alignment.
    void* allocate(std::size_t bytes, std::size_t alignment) { return take(m_records, bytes, alignment); }
    /// Room for `bytes` aligned to `alignment` in the stream, or in a new chunk.
    void* take(Stream& stream, std::size_t bytes, std::size_t alignment)
    {
        const std::size_t skip = (alignment - reinterpret_cast<std::uintptr_t>(stream.next) % alignment) % alignment;
        if (skip + bytes > stream.left)
            return passStop(stream, bytes, alignment);
        unsigned char* memory = stream.next + skip;
        stream.next = memory + bytes;
        stream.left -= skip + bytes;
        m_used += skip + bytes;
        return memory;
    }
    /// Room for `bytes` aligned to `alignment` past the stream's stop: in its chunk when it has
    /// room still (the pages ahead made present on the way), else in a new chunk.
    void* passStop(Stream& stream, std::size_t bytes, std::size_t alignment);
    /// Room for `bytes` at the start of a new chunk, whose rest the stream then describes.
    void* allocateChunk(std::size_t bytes, Stream& stream);

    /// Sits just before an object whose destructor must run; the newest such object of its kind
    /// is the last of its chain.
    struct DestroyLink {
        DestroyLink* previous;
    };
    /// The objects of one kind that have a destructor to run, newest last.
    struct DestroyChain {
        DestroyLink* last = nullptr;
        void (*destroy)(void*) = nullptr;
    };
    /// A number for each kind of object, the same in every arena.
    static std::size_t newKindNumber();
    template <class T>
    static std::size_t kindNumber()
    {
        static const std::size_t number = newKindNumber();
        return number;
    }
    /// The chain of a kind, made when it is first asked for; null when memory is exhausted.
    DestroyChain* chainOf(std::size_t kind, void (*destroy)(void*))
    {
        if (kind >= m_chains.size()) {
            try {
                m_chains.resize(kind + 1);
            } catch (const std::bad_alloc&) {
                return nullptr;
            }
        }
        DestroyChain* chain = &m_chains[kind];
        chain->destroy = destroy;
        return chain;
    }
    std::vector<DestroyChain> m_chains; ///< by kind number
    struct Chunk {
        void* memory;
        std::size_t size;
        enum class Source : unsigned char { Allocator, Mapped, LargePages } source;
    };
    /// Gives a chunk back as it was had.
    static void release(const Chunk& chunk);
    bool m_ownPages = false;
    std::vector<Chunk> m_chunks;
    Stream m_records;
    Stream m_texts;
    std::size_t m_count = 0;
    std::size_t m_used = 0;
};

/// The arena of the current processing run.
RecordArena& ProcessingArena();

/// The arena of the records that only describe the submodel graph of the run: subclasses, their
/// types, signals (the bonds have an arena of their own, see `BondArena`), ports and ios, bond and signal descriptors, graph bodies and the
/// classes copied for instances (with their equation bodies). Once the equations are collected
/// into one flat body none of them is reached any more, and `releaseGraphRecords` gives them back
/// while the run goes on; the variables, equations and expressions stay in the run's arena. Its
/// pages go back to the system then, so that the phases after collection start from less.
RecordArena& GraphArena();

/// The arena of the bonds of the run. Once the connections are numbered, the phases that follow
/// read the bond ends only from the tables numbering lays out (see `PortEndTable`), and
/// `releaseBondRecords` gives the bonds back, their pages to the system, before reshaping and
/// collection make their records.
RecordArena& BondArena();

/// Whether records of a kind are made in the graph arena.
template <class T>
struct InGraphArena : std::false_type {};
/// Whether records of a kind are made in the bond arena.
template <class T>
struct InBondArena : std::false_type {};

/// The arena that records of a kind are made in.
template <class T>
RecordArena& arenaFor()
{
    if constexpr (InBondArena<T>::value)
        return BondArena();
    else if constexpr (InGraphArena<T>::value)
        return GraphArena();
    else
        return ProcessingArena();
}

// ---------------------------------------------------------------------------
// Names held in an arena

/// A name that records hold: its characters, ending in a NUL, lie in the arena that `Arena` gives
/// and stay where they are until the arena is cleared, so that a record holding a name needs no
/// destructor and copying a name copies one pointer.
template <RecordArena& (*Arena)()>
class ArenaName {
public:
    ArenaName() = default;
    ArenaName(const ArenaName&) = default;
    ArenaName& operator=(const ArenaName&) = default;
    /// Takes a copy of the text; throws `std::bad_alloc` when memory is exhausted.
    ArenaName& operator=(std::string_view text)
    {
        if (!assign(text))
            throw std::bad_alloc();
        return *this;
    }
    ArenaName& operator=(const std::string& text) { return *this = std::string_view(text); }
    ArenaName& operator=(const char* text) { return *this = std::string_view(text); }

    /// Takes a copy of the text; false, and the name left as it was, when memory is exhausted.
    bool assign(std::string_view text)
    {
        if (text.empty()) {
            m_text = "";
            return true;
        }
        const char* copy = Arena().copyText(text);
        if (!copy)
            return false;
        m_text = copy;
        return true;
    }

    const char* c_str() const { return m_text; }
    std::string_view view() const { return m_text; }
    operator std::string_view() const { return m_text; }
    std::string str() const { return std::string(m_text); }
    bool empty() const { return m_text[0] == '\0'; }
    std::size_t size() const { return std::char_traits<char>::length(m_text); }

    friend bool operator==(const ArenaName& a, const ArenaName& b) { return a.m_text == b.m_text || a.view() == b.view(); }
    friend bool operator==(const ArenaName& a, std::string_view b) { return a.view() == b; }
    friend bool operator==(const ArenaName& a, const std::string& b) { return a.view() == b; }
    friend bool operator==(const ArenaName& a, const char* b) { return a.view() == b; }
    friend std::string operator+(const std::string& a, const ArenaName& b) { return a + b.m_text; }
    friend std::string operator+(std::string&& a, const ArenaName& b) { return std::move(a) + b.m_text; }
    friend std::string operator+(const char* a, const ArenaName& b) { return a + b.str(); }
    friend std::string operator+(const ArenaName& a, const std::string& b) { return a.str() + b; }
    friend std::string operator+(const ArenaName& a, const char* b) { return a.str() + b; }
    friend std::ostream& operator<<(std::ostream& out, const ArenaName& name) { return out << name.m_text; }

private:
    const char* m_text = "";
};

/// The names of the graph's records, in the graph arena.
using GraphName = ArenaName<GraphArena>;
/// The names of variables, in the run's arena.
using VariableName = ArenaName<ProcessingArena>;

// ---------------------------------------------------------------------------
// Lists

/// The links every record of a section list carries. A list's sentinel is told apart by its
/// `prev`, which carries a mark in its lowest bit; only the list itself reads or writes it.
struct SectionLink {
    SectionLink* next = nullptr;
    SectionLink* prev = nullptr;

    /// Whether this link is a list's sentinel (the end of a walk).
    bool isEnd() const { return (reinterpret_cast<std::uintptr_t>(prev) & 1) != 0; }
};

/// Circular doubly linked list with an embedded sentinel; records are appended at the tail.
template <class T>
class SectionList {
public:
    SectionList()
    {
        m_head.next = &m_head;
        m_head.prev = reinterpret_cast<SectionLink*>(reinterpret_cast<std::uintptr_t>(&m_head) | 1);
    }
    SectionList(const SectionList&) = delete;
    SectionList& operator=(const SectionList&) = delete;

    /// Links the record just before the sentinel.
    void append(T* record)
    {
        SectionLink* link = record;
        SectionLink* tail = prevOf(&m_head);
        link->prev = tail;
        link->next = &m_head;
        tail->next = link;
        setPrev(&m_head, link);
    }

    /// Links the record just before `position`, a record or a sentinel of a section list.
    static void insertBefore(T* record, SectionLink* position)
    {
        SectionLink* link = record;
        SectionLink* before = prevOf(position);
        link->prev = before;
        link->next = position;
        before->next = link;
        setPrev(position, link);
    }

    /// Unlinks a record from whatever section list holds it; an unlinked record is left alone.
    static void unlink(T* record)
    {
        SectionLink* link = record;
        if (!link->next || !link->prev)
            return;
        link->prev->next = link->next;
        setPrev(link->next, link->prev);
        link->next = link->prev = nullptr;
    }

    /// Moves every record of `other`, in its order, to the end of this list in one step, which
    /// leaves `other` empty: the records themselves are not walked.
    void appendAll(SectionList& other)
    {
        if (&other == this || other.empty())
            return;
        SectionLink* first = other.m_head.next;
        SectionLink* last = prevOf(&other.m_head);
        SectionLink* tail = prevOf(&m_head);
        tail->next = first;
        first->prev = tail;
        last->next = &m_head;
        setPrev(&m_head, last);
        other.forget();
    }

    /// Empties the list without unlinking its records, whose links are left as they were: for
    /// records given back all at once, which nothing reaches afterwards.
    void forget()
    {
        m_head.next = &m_head;
        setPrev(&m_head, &m_head);
    }

    T* first() const { return m_head.next->isEnd() ? nullptr : static_cast<T*>(m_head.next); }
    T* last() const
    {
        SectionLink* tail = prevOf(&m_head);
        return tail->isEnd() ? nullptr : static_cast<T*>(tail);
    }
    /// The record after `record` in its list, null at the end.
    static T* after(const T* record)
    {
        const SectionLink* link = record;
        return link->next->isEnd() ? nullptr : static_cast<T*>(link->next);
    }
    /// The record before `record` in its list, null at the start.
    static T* before(const T* record)
    {
        const SectionLink* link = prevOf(record);
        return link->isEnd() ? nullptr : static_cast<T*>(const_cast<SectionLink*>(link));
    }
    /// Calls `front(i, record)` with the records from the first on and `back(j, record)` with the
    /// records from the last back, i and j counting from 0 at either end, until the two meet: each
    /// record once. The two walks wait for memory side by side, where one walk, one record leading
    /// to the next, waits for each record in turn.
    template <typename Front, typename Back>
    void walkFromBothEnds(Front front, Back back) const
    {
        T* a = first();
        T* b = last();
        std::size_t i = 0;
        std::size_t j = 0;
        while (a) {
            front(i++, a);
            if (a == b)
                return;
            back(j++, b);
            T* next = after(a);
            if (next == b)
                return;
            a = next;
            b = before(b);
        }
    }
    bool empty() const { return m_head.next == &m_head; }

    /// Records in list order (walk from the sentinel's next to the sentinel).
    int count() const
    {
        int n = 0;
        for (const SectionLink* p = m_head.next; !p->isEnd(); p = p->next)
            ++n;
        return n;
    }

    class iterator {
    public:
        explicit iterator(SectionLink* link) : m_link(link) {}
        T* operator*() const { return static_cast<T*>(m_link); }
        iterator& operator++()
        {
            m_link = m_link->next;
            return *this;
        }
        bool operator==(const iterator& other) const
        {
            return m_link == other.m_link || (m_link->isEnd() && other.m_link->isEnd());
        }

    private:
        SectionLink* m_link;
    };
    iterator begin() const { return iterator(m_head.next); }
    iterator end() const { return iterator(const_cast<SectionLink*>(&m_head)); }

private:
    /// The link before `link`, whether `link` is a record or a sentinel.
    static SectionLink* prevOf(const SectionLink* link)
    {
        return reinterpret_cast<SectionLink*>(reinterpret_cast<std::uintptr_t>(link->prev) & ~std::uintptr_t(1));
    }
    /// Sets the link before `link`, keeping a sentinel's mark.
    static void setPrev(SectionLink* link, SectionLink* prev)
    {
        const std::uintptr_t mark = reinterpret_cast<std::uintptr_t>(link->prev) & 1;
        link->prev = reinterpret_cast<SectionLink*>(reinterpret_cast<std::uintptr_t>(prev) | mark);
    }

    SectionLink m_head;
};

struct BondRec;
struct SigconRec;
struct SubclassRec;
struct SignalDescriptor;

/// Whether the nodes of a kind's `PtrList` carry a relation byte. Lists of related ports and of
/// expressions use it; the lists of the graph's many connections and subclasses do without.
template <class T>
inline constexpr bool kNodesCarryRelation = true;
template <> inline constexpr bool kNodesCarryRelation<BondRec> = false;
template <> inline constexpr bool kNodesCarryRelation<SigconRec> = false;
template <> inline constexpr bool kNodesCarryRelation<SignalDescriptor> = false;

/// One node of a `PtrList`: an item, a relation byte (for pairs) and the next node.
template <class T, bool = kNodesCarryRelation<T>>
struct PtrNode {
    T* item = nullptr;
    PtrNode* next = nullptr;
    unsigned char relation = 0;
};
/// A node without a relation byte: every relation reads 0.
template <class T>
struct PtrNode<T, false> {
    T* item = nullptr;
    PtrNode* next = nullptr;
    static constexpr unsigned char relation = 0;
};

/// Singly linked list of item pointers; an empty list has no head.
template <class T>
class PtrList {
public:
    PtrNode<T>* head = nullptr;

    bool empty() const { return head == nullptr; }
    int count() const
    {
        int n = 0;
        for (PtrNode<T>* p = head; p; p = p->next)
            ++n;
        return n;
    }
    /// The n-th item counting from 0, null past the end.
    T* at(int n) const
    {
        for (PtrNode<T>* p = head; p; p = p->next, --n)
            if (n == 0)
                return p->item;
        return nullptr;
    }

    /// Puts the item in front; the new head, or null when memory is exhausted.
    PtrNode<T>* pushFront(T* item)
    {
        auto* node = arenaFor<PtrNode<T>>().template make<PtrNode<T>>();
        if (!node)
            return nullptr;
        node->item = item;
        node->next = head;
        head = node;
        return head;
    }

    /// Puts the item at the tail; the head (the new node when the list was empty), or null.
    PtrNode<T>* append(T* item, unsigned char relation = 0)
    {
        auto* node = arenaFor<PtrNode<T>>().template make<PtrNode<T>>();
        if (!node)
            return nullptr;
        node->item = item;
        if constexpr (kNodesCarryRelation<T>)
            node->relation = relation;
        if (!head) {
            head = node;
        } else {
            PtrNode<T>* tail = head;
            while (tail->next)
                tail = tail->next;
            tail->next = node;
        }
        return head;
    }

    /// Appends the pair {item, relation}.
    PtrNode<T>* appendPair(T* item, unsigned char relation) { return append(item, relation); }

    /// A shallow copy; false (and an empty copy) when a node cannot be had.
    bool copyTo(PtrList& copy) const
    {
        copy.head = nullptr;
        for (PtrNode<T>* p = head; p; p = p->next)
            if (!copy.append(p->item, p->relation)) {
                copy.head = nullptr;
                return false;
            }
        return true;
    }

    /// Removes the first node holding the item: 1, else 0.
    int remove(const T* item);

    /// Replaces the first item equal to `from` by `to`: 1, else 0.
    int replace(const T* from, T* to)
    {
        for (PtrNode<T>* p = head; p; p = p->next)
            if (p->item == from) {
                p->item = to;
                return 1;
            }
        return 0;
    }

    class iterator {
    public:
        explicit iterator(PtrNode<T>* node) : m_node(node) {}
        T* operator*() const { return m_node->item; }
        PtrNode<T>* node() const { return m_node; }
        iterator& operator++()
        {
            m_node = m_node->next;
            return *this;
        }
        bool operator==(const iterator& other) const { return m_node == other.m_node; }

    private:
        PtrNode<T>* m_node;
    };
    iterator begin() const { return iterator(head); }
    iterator end() const { return iterator(nullptr); }
};

/// Hands one block of memory to the release registry.
void register_release(const void* block);

// ---------------------------------------------------------------------------
// Records

struct ExprNode;
struct ClassRec;
struct BondRec;
struct SigconRec;
struct SubclassRec;
struct SubmodelType;
struct ConnEnd;
struct ConnectionRec;

/// An expression list (dimensions, indices, actual arguments); empty means scalar.
using ExprList = PtrList<ExprNode>;

/// Model types of a class.
enum ClassType : std::int16_t { CLASS_NONE = 0, CLASS_TOP = 1, CLASS_DYN = 2 };

/// Causality values of bonds and ports.
enum Causality : unsigned char {
    CAUS_NONE = 0,
    CAUS_ECY = 1,
    CAUS_FCY = 2,
    CAUS_USER_E = 3,
    CAUS_USER_F = 4,
    CAUS_1ECY = 5,
    CAUS_1FCY = 6,
    CAUS_SAME = 7,
};

/// Connection-end types.
enum ConnEndType : std::int16_t {
    END_EMPTY = 0,
    END_SUB = 1,
    END_POR = 2,
    END_INP = 3,
    END_OUT = 4,
    END_SINP = 5,
    END_SOUT = 6,
};

/// Declared type codes of variables, ios and arguments.
enum DeclaredType : std::int32_t {
    TYPE_REAL = 1,
    TYPE_STRING = 2,
    TYPE_INTEGER = 3,
    TYPE_BOOLEAN = 4,
    TYPE_SAMPLETIME = 5,
};

/// The flags of a record's elements, one int32 each. One or two elements (a scalar, the common
/// case) are kept in the record itself; more are had from the heap.
class FlagArray {
public:
    FlagArray() = default;
    FlagArray(std::size_t count, std::int32_t value) { assign(count, value); }
    FlagArray(const FlagArray& other) { copyFrom(other); }
    FlagArray(FlagArray&& other) noexcept { take(other); }
    FlagArray& operator=(const FlagArray& other)
    {
        if (this != &other)
            copyFrom(other);
        return *this;
    }
    FlagArray& operator=(FlagArray&& other) noexcept
    {
        if (this != &other) {
            release();
            take(other);
        }
        return *this;
    }
    ~FlagArray() { release(); }

    /// `count` elements, all `value`.
    void assign(std::size_t count, std::int32_t value)
    {
        if (count > 0xffffffffu)
            throw std::bad_alloc();
        std::int32_t* heap = count > kInline ? new std::int32_t[count] : nullptr;
        release();
        if (heap)
            m_heap = heap;
        m_size = static_cast<std::uint32_t>(count);
        std::fill(begin(), end(), value);
    }
    std::size_t size() const { return m_size; }
    bool empty() const { return m_size == 0; }
    std::int32_t* begin() { return m_size > kInline ? m_heap : m_inline; }
    std::int32_t* end() { return begin() + m_size; }
    const std::int32_t* begin() const { return m_size > kInline ? m_heap : m_inline; }
    const std::int32_t* end() const { return begin() + m_size; }
    std::int32_t& operator[](std::size_t i) { return begin()[i]; }
    std::int32_t operator[](std::size_t i) const { return begin()[i]; }

    friend bool operator==(const FlagArray& a, const std::vector<std::int32_t>& b)
    {
        return std::equal(a.begin(), a.end(), b.begin(), b.end());
    }

private:
    static constexpr std::size_t kInline = 2;
    void release()
    {
        if (m_size > kInline)
            delete[] m_heap;
        m_size = 0;
    }
    void copyFrom(const FlagArray& other)
    {
        assign(other.size(), 0);
        std::copy(other.begin(), other.end(), begin());
    }
    void take(FlagArray& other)
    {
        m_size = other.m_size;
        if (m_size > kInline)
            m_heap = other.m_heap;
        else
            std::copy(other.m_inline, other.m_inline + kInline, m_inline);
        other.m_size = 0;
    }

    union {
        std::int32_t m_inline[kInline] = {0, 0};
        std::int32_t* m_heap;
    };
    std::uint32_t m_size = 0;
};

struct ArgRec : SectionLink {
    std::string name;
    std::int32_t value = 0;
    unsigned char hasValue = 0;
};

/// One end of a connection, told by the connection and the side (0 or 1) it is at and kept in
/// one word, the side in the lowest bit of the connection's address.
class EndRef {
public:
    EndRef() = default;
    EndRef(ConnectionRec* conn, int side)
        : m_bits(reinterpret_cast<std::uintptr_t>(conn) | static_cast<std::uintptr_t>(side & 1))
    {
    }
    explicit operator bool() const { return m_bits != 0; }
    ConnectionRec* connection() const { return reinterpret_cast<ConnectionRec*>(m_bits & ~std::uintptr_t(1)); }
    int side() const { return static_cast<int>(m_bits & 1); }
    inline ConnEnd& end() const;
    bool operator==(const EndRef&) const = default;

private:
    std::uintptr_t m_bits = 0;
};

/// A connected signal as seen from an io of a submodel.
struct SignalDescriptor {
    unsigned char sigdir = 0; ///< 1 out, 2 in
    std::int32_t index = 0;
    SigconRec* signal = nullptr;
};

// The small fields of a record are laid together so that they share words; a flag array lends
// the room after its elements to the field that follows it.

struct PortRec : SectionLink {
    GraphName name;
    BondRec* bond = nullptr;
    ExprList dim;
    PtrList<PortRec> relports; ///< relation 3 equal, 4 not equal
    unsigned char c_type = 4; ///< 1 Fix, 2 Prefer, 3 Constr, 4 Indiff
    unsigned char c_val = 0;
    unsigned char orientation = 0; ///< fixed power direction: 0 free, 1 out of the submodel, 2 into it
    std::int32_t number = 0; ///< the port's place among its class's ports when it was made, from 0
    const ClassRec* owner = nullptr; ///< the class whose ports it is
};

/// The port the SUB end kept from the last lookup in `cls`, when it still stands; else null.
inline PortRec* keptPort(const ConnEnd& end, const ClassRec* cls);

struct IoRec : SectionLink {
    GraphName name;
    PtrList<SigconRec> signals;
    ExprList dim;
    PtrList<SignalDescriptor> connected;
    std::int16_t type = 0; ///< declared type code
    std::int32_t number = 0; ///< the io's place among its class's inputs or outputs when it was made, from 0
};

/// The aliases of a variable, in list order. Most variables have none or one (the other end of
/// its connection), and millions of variables make a big model, so the list is one word: none,
/// the one alias itself (its length and its characters, in the processing arena; marked in the
/// word's lowest bit), or a block of the arena with the count and then each alias so. A length
/// below 128 takes one byte; a longer one the byte 128 and then four. A list that
/// outgrows its block moves to one twice as large; a copy gets a block of its own, and shares one
/// alias, which is never changed.
class AliasList {
public:
    using value_type = std::string_view;
    class const_iterator {
    public:
        using value_type = std::string_view;
        using difference_type = std::ptrdiff_t;
        using reference = std::string_view;
        using pointer = void;
        using iterator_category = std::forward_iterator_tag;
        const_iterator() = default;
        explicit const_iterator(const unsigned char* at) : m_at(at) {}
        std::string_view operator*() const
        {
            std::size_t header = 0;
            const std::uint32_t length = lengthAt(m_at, header);
            return {reinterpret_cast<const char*>(m_at + header), length};
        }
        const_iterator& operator++()
        {
            m_at += entrySize(m_at);
            return *this;
        }
        const_iterator operator++(int)
        {
            const_iterator before = *this;
            ++*this;
            return before;
        }
        bool operator==(const const_iterator& other) const { return m_at == other.m_at; }

    private:
        const unsigned char* m_at = nullptr;
    };
    using iterator = const_iterator;

    AliasList() = default;
    AliasList(const AliasList& other) { copyFrom(other); }
    AliasList(AliasList&& other) noexcept : m_data(std::exchange(other.m_data, 0)) {}
    AliasList& operator=(const AliasList& other)
    {
        if (this != &other)
            copyFrom(other);
        return *this;
    }
    AliasList& operator=(AliasList&& other) noexcept
    {
        m_data = std::exchange(other.m_data, 0);
        return *this;
    }
    ~AliasList() = default; // the aliases go with the arena

    /// Appends an alias; throws std::bad_alloc when memory is exhausted.
    void push_back(std::string_view alias);
    std::size_t size() const { return m_data == 0 ? 0 : isOne() ? 1 : block()->count; }
    bool empty() const { return m_data == 0; }
    /// The i-th alias from 0 (walks the list up to it).
    std::string_view operator[](std::size_t i) const
    {
        const_iterator it = begin();
        while (i-- > 0)
            ++it;
        return *it;
    }
    const_iterator begin() const { return const_iterator(first()); }
    const_iterator end() const
    {
        return const_iterator(m_data == 0 ? nullptr : isOne() ? one() + entrySize(one()) : block()->bytes() + block()->used);
    }

    friend bool operator==(const AliasList& a, const std::vector<std::string>& b)
    {
        return std::equal(a.begin(), a.end(), b.begin(), b.end());
    }

private:
    struct Block {
        std::uint32_t count;
        std::uint32_t used;     ///< bytes of the aliases
        std::uint32_t capacity; ///< bytes there is room for
        std::uint32_t unused;
        unsigned char* bytes() { return reinterpret_cast<unsigned char*>(this + 1); }
        const unsigned char* bytes() const { return reinterpret_cast<const unsigned char*>(this + 1); }
    };
    static constexpr std::uintptr_t kOne = 1; ///< the mark of a list of one alias
    bool isOne() const { return (m_data & kOne) != 0; }
    const unsigned char* one() const { return reinterpret_cast<const unsigned char*>(m_data & ~kOne); }
    Block* block() const { return reinterpret_cast<Block*>(m_data); }
    const unsigned char* first() const { return m_data == 0 ? nullptr : isOne() ? one() : block()->bytes(); }
    /// The bytes of the alias at `at`: its length and its characters.
    static std::size_t entrySize(const unsigned char* at)
    {
        std::size_t header = 0;
        const std::uint32_t length = lengthAt(at, header);
        return header + length;
    }
    /// The length of the alias at `at`, whose characters follow `header` bytes on.
    static std::uint32_t lengthAt(const unsigned char* at, std::size_t& header)
    {
        if (at[0] < kLongLength) {
            header = 1;
            return at[0];
        }
        std::uint32_t length;
        std::memcpy(&length, at + 1, sizeof length);
        header = 1 + sizeof length;
        return length;
    }
    /// Lengths from this one on take the mark and four bytes.
    static constexpr std::uint32_t kLongLength = 0x80;
    /// A block with room for `capacity` bytes holding the `used` bytes of `count` aliases at `from`.
    static Block* newBlock(const unsigned char* from, std::size_t used, std::uint32_t count, std::size_t capacity);
    void copyFrom(const AliasList& other)
    {
        if (other.m_data == 0 || other.isOne())
            m_data = other.m_data;
        else
            m_data = reinterpret_cast<std::uintptr_t>(
                newBlock(other.block()->bytes(), other.block()->used, other.block()->count, other.block()->used));
    }

    std::uintptr_t m_data = 0;
};

struct VarRec : SectionLink {
    VariableName name;
    AliasList aliases;
    ExprList dim;
    std::int32_t index = 0;
    // The number a `VariableNumbering` gave the variable, valid while `numberStamp` is its stamp.
    mutable std::int32_t number = 0;
    mutable std::uint32_t numberStamp = 0;
    std::int16_t at = 0;        ///< declared type code
    unsigned char connmark = 0; ///< a connection variable
};
static_assert(std::is_trivially_destructible_v<VarRec>, "a variable is ended with its arena");
static_assert(sizeof(VarRec) <= 56, "millions of variables make a big model");

/// One node of an expression tree; `kind` is a token number. Millions of them make a big model,
/// so the numbers are kept in 16 bits each and each kind of node keeps only the fields it uses:
/// operators, ranges (TK_UPTO) and conditionals (TK_IF) their operands, name references their
/// record and indices, calls their arguments, literals their value. `extra` is the else-part of a
/// conditional and the next of the equation's chain for a name or time node. Reading a field
/// from a node whose kind does not keep it gives the empty value (null, an empty list, zero);
/// setting one there is a fault, caught in debug builds. A node changes its kind only to
/// another kind that keeps the same fields (`setKind`). A node knows its operands but not what
/// holds it: a walk that must go back up keeps the way it came down (see `pathTo`).
struct ExprNode {
    std::int16_t kind = 0;
    std::int16_t function = 0; ///< the function of a call (a row of the function table)
    std::int16_t selector = 0; ///< TK_SEL_EFFORT or TK_SEL_FLOW of a port reference
    std::int16_t flags = 0;

    /// An empty list, the indices or arguments of a node that keeps none.
    static constexpr ExprList kNoList{};

    /// The left operand (the condition of a conditional; null for a unary operator).
    ExprNode* left() const { return hasOperands(kind) ? m_fields.operands.left : nullptr; }
    /// The right operand (the then-part of a conditional, the operand of a unary operator).
    ExprNode* right() const { return hasOperands(kind) ? m_fields.operands.right : nullptr; }
    void setLeft(ExprNode* node)
    {
        assert(hasOperands(kind) && "only operators, ranges and conditionals have operands");
        m_fields.operands.left = node;
    }
    void setRight(ExprNode* node)
    {
        assert(hasOperands(kind) && "only operators, ranges and conditionals have operands");
        m_fields.operands.right = node;
    }

    /// The else-part of a conditional, or the next of the equation's chain of a name or time node.
    ExprNode* extra() const { return m_extra; }
    void setExtra(ExprNode* node)
    {
        assert(hasExtra(kind) && "only conditionals, names and time have an extra link");
        m_extra = node;
    }

    /// The referenced PortRec, IoRec, SubclassRec, ArgRec or VarRec of a name reference.
    SectionLink* record() const { return isNameKind(kind) ? m_fields.reference.record : nullptr; }
    VarRec* var() const { return static_cast<VarRec*>(record()); }
    void setRecord(SectionLink* record)
    {
        assert(isNameKind(kind) && "only name references have a record");
        m_fields.reference.record = record;
    }

    /// The indices of a name reference.
    const ExprList& index() const { return isNameKind(kind) ? m_fields.reference.index : kNoList; }
    ExprList& mutableIndex()
    {
        assert(isNameKind(kind) && "only name references have indices");
        return m_fields.reference.index;
    }
    void setIndex(const ExprList& index) { mutableIndex() = index; }

    /// The arguments of a call.
    const ExprList& args() const { return kind == TK_FUNCTIONNAME ? m_fields.args : kNoList; }
    ExprList& mutableArgs()
    {
        assert(kind == TK_FUNCTIONNAME && "only calls have arguments");
        return m_fields.args;
    }
    void setArgs(const ExprList& args) { mutableArgs() = args; }

    /// The value of a real literal. The three kinds of literal share one value, so that a
    /// literal read as another kind gives what it always gave.
    double realValue() const { return hasLiteralValue(kind) ? m_fields.realValue : 0.0; }
    /// The value of an integer literal, 1 or 0 of a boolean one.
    std::int32_t intValue() const { return hasLiteralValue(kind) ? m_fields.intValue : 0; }
    void setRealValue(double value)
    {
        assert(hasLiteralValue(kind) && "only literals have a value");
        m_fields.realValue = value;
    }
    void setIntValue(std::int32_t value)
    {
        assert(hasLiteralValue(kind) && "only literals have a value");
        m_fields.intValue = value;
    }
    /// Takes the literal value of `from`, whichever kind of literal it is (this node being a
    /// literal too); a node that is no literal has none to give.
    void copyValueOf(const ExprNode& from)
    {
        if (hasLiteralValue(from.kind)) {
            assert(hasLiteralValue(kind) && "only literals have a value");
            std::memcpy(&m_fields.realValue, &from.m_fields.realValue, sizeof m_fields.realValue);
        }
    }

    /// Gives the node another kind that keeps the same fields (another operator, another name
    /// kind, another literal), or a kind to a new node that has none yet.
    void setKind(int newKind)
    {
        assert((kind == 0 || fieldsOf(kind) == fieldsOf(newKind)) &&
               "a node keeps its fields when its kind changes");
        kind = static_cast<std::int16_t>(newKind);
    }

private:
    /// Which fields the nodes of a kind keep.
    enum class Fields { None, Operands, Conditional, Name, Time, Arguments, Value };
    static constexpr Fields fieldsOf(int kind)
    {
        return kind == TK_IF               ? Fields::Conditional
               : hasOperands(kind)        ? Fields::Operands
               : isNameKind(kind)         ? Fields::Name
               : kind == TK_TIME          ? Fields::Time
               : kind == TK_FUNCTIONNAME  ? Fields::Arguments
               : hasLiteralValue(kind)    ? Fields::Value
                                          : Fields::None;
    }

    struct Operands {
        ExprNode* left;
        ExprNode* right;
    };
    struct Reference {
        SectionLink* record;
        ExprList index;
    };
    /// The fields of the node's kind, in room the kinds share; all of its bytes zero are the
    /// empty fields of every kind, which a new node starts with. An integer or boolean literal
    /// keeps its value in the first bytes of the real one.
    union KindFields {
        KindFields() : operands{nullptr, nullptr} {}
        Operands operands;
        Reference reference;
        ExprList args;
        double realValue;
        std::int32_t intValue;
    };

    ExprNode* m_extra = nullptr;
    KindFields m_fields;
};

// Millions of nodes make a big model: the room of each counts.
static_assert(sizeof(ExprNode) == 32);
static_assert(std::is_trivially_copyable_v<ExprNode> && std::is_trivially_destructible_v<ExprNode>);

/// The index lists of a connection end: the instance indices at its subclass and the port's or
/// io's own indices.
struct EndIndices {
    ExprList nodeindex;
    ExprList index;
};

struct ConnEnd : EndIndices {
    std::int16_t type = END_EMPTY;
    /// A number one phase may give the end for tables of its own while it runs; it means
    /// nothing outside that phase (equation generation keeps the bond's slot number here). It
    /// takes room the type leaves over.
    mutable std::int32_t slot = 0;
    SectionLink* node = nullptr;
    GraphName name;
    // The port of a SUB end, as last looked up in the class of its subclass; it stands while that
    // class is the port's owner and the name is the port's.
    mutable PortRec* port = nullptr;
};

/// Shared shape of bonds and signal connections.
struct ConnectionRec : SectionLink {
    ConnEnd con[2];
    /// For an end at a subclass, the next older end at the same subclass (see `EndsAt`). The
    /// links are kept beside the ends, not in them, so that an end copied onto another leaves
    /// the lists as they are.
    EndRef nextAtSub[2];
    ExprList dim;
    unsigned char caus = 0;
    unsigned char dir = 0; ///< 1 "0>1", 2 "1>0"
    std::int32_t group = 0;
};
struct BondRec : ConnectionRec {};
struct SigconRec : ConnectionRec {};

PortRec* keptPort(const ConnEnd& end, const ClassRec* cls)
{
    PortRec* port = end.port;
    return cls && port && port->owner == cls && port->name == end.name ? port : nullptr;
}

ConnEnd& EndRef::end() const
{
    return connection()->con[side()];
}

/// A value of a bond (causality, direction) as seen from its end 1: 1 becomes 2, anything else 1.
inline unsigned char mirroredAtEnd1(unsigned char value)
{
    return value == 1 ? 2 : 1;
}
/// The causality of the bond as seen from the port at the end: as the bond keeps it at end 0,
/// mirrored at end 1.
inline unsigned char causalityAtPort(EndRef e)
{
    const unsigned char caus = e.connection()->caus;
    return e.side() == 0 ? caus : mirroredAtEnd1(caus);
}
/// The power direction of the bond as seen from the port at the end: 1 out, 2 in.
inline unsigned char directionAtPort(EndRef e)
{
    const unsigned char dir = e.connection()->dir;
    return e.side() == 0 ? dir : mirroredAtEnd1(dir);
}
/// One bond end connected with a port of a subclass, as numbering the connections leaves it for
/// reshaping and collection: the slot of its bond, the number of its port, and the bond's
/// causality and power direction as seen from the port. The phases after numbering read the
/// ends only so, and a big model has millions: an end takes 8 bytes.
struct PortEnd {
    /// The highest port number an end can keep.
    static constexpr std::uint32_t kLastPort = (std::uint32_t(1) << 27) - 1;

    std::int32_t slot = 0;
    std::uint32_t port : 27 = 0;
    std::uint32_t caus : 3 = 0;
    std::uint32_t dir : 2 = 0;
};
static_assert(sizeof(PortEnd) == 8);

/// The bond ends connected with the ports of one subclass, laid out in one block of the graph
/// arena when the connections are numbered: the ends grouped by the number of their port, the
/// lowest first, each port's newest (the latest bond in the body's list) first; after them, when
/// any end has indices, the index lists of each end.
class PortEndTable {
public:
    /// A table of `count` ends, zeroed, with room for their index lists when `indexed`; null when
    /// memory is exhausted or `count` is 0.
    static PortEndTable* make(std::uint32_t count, bool indexed);

    std::uint32_t size() const { return m_count; }
    bool indexed() const { return m_indexed != 0; }
    PortEnd* ends() { return reinterpret_cast<PortEnd*>(this + 1); }
    const PortEnd* ends() const { return reinterpret_cast<const PortEnd*>(this + 1); }
    /// The index lists of the ends, null when none has any.
    EndIndices* indexLists() { return m_indexed ? reinterpret_cast<EndIndices*>(ends() + m_count) : nullptr; }
    /// The index lists of end `i`, empty ones when no end has any.
    const EndIndices& indices(std::uint32_t i) const
    {
        static const EndIndices none;
        return m_indexed ? reinterpret_cast<const EndIndices*>(ends() + m_count)[i] : none;
    }

private:
    std::uint32_t m_count = 0;
    std::uint32_t m_indexed = 0;
};

/// One bond end connected with a port of a subclass, read from its subclass's table.
class ConnectedEnd {
public:
    ConnectedEnd(const PortEndTable* table, std::uint32_t at) : m_table(table), m_at(at) {}
    /// The slot numbering gave the bond: its effort, its flow the next.
    std::int32_t slot() const { return m_table->ends()[m_at].slot; }
    /// The bond's causality as seen from the port.
    unsigned char causality() const { return static_cast<unsigned char>(m_table->ends()[m_at].caus); }
    /// The bond's power direction as seen from the port: 1 out, 2 in.
    unsigned char direction() const { return static_cast<unsigned char>(m_table->ends()[m_at].dir); }
    /// The end's instance indices and port indices.
    const EndIndices& indices() const { return m_table->indices(m_at); }

private:
    const PortEndTable* m_table;
    std::uint32_t m_at;
};

/// The bond ends connected with a port of a subclass, newest first, once the connections are
/// numbered (see `PortEndTable`).
class ConnectedEnds {
public:
    ConnectedEnds(const SubclassRec* sub, const PortRec* port);
    class iterator {
    public:
        iterator(const PortEndTable* table, std::uint32_t at) : m_table(table), m_at(at) {}
        ConnectedEnd operator*() const { return ConnectedEnd(m_table, m_at); }
        iterator& operator++()
        {
            ++m_at;
            return *this;
        }
        bool operator==(const iterator& other) const { return m_at == other.m_at; }

    private:
        const PortEndTable* m_table;
        std::uint32_t m_at;
    };
    iterator begin() const { return iterator(m_table, m_first); }
    iterator end() const { return iterator(m_table, m_last); }
    bool empty() const { return m_first == m_last; }
    int count() const { return static_cast<int>(m_last - m_first); }

private:
    const PortEndTable* m_table = nullptr;
    std::uint32_t m_first = 0;
    std::uint32_t m_last = 0;
};

/// One model that subclasses lie in: the top model, or a graph submodel dissolved into it. One
/// record serves every subclass of the model's body.
struct EnclosingModel {
    GraphName instance;             ///< the dissolved subclass's name; empty for the top model
    GraphName cls;                  ///< the model's class: "name" "version"
    const EnclosingModel* outer = nullptr; ///< the model this one lay in; null for the top model
};

/// The subclasses of one submodel type, newest first, linked through the subclasses' own
/// `nextUser`, so that listing a subclass takes no node of its own. A subclass is a user of one
/// type at a time.
class UserList {
public:
    class iterator {
    public:
        explicit iterator(SubclassRec* at) : m_at(at) {}
        SubclassRec* operator*() const { return m_at; }
        inline iterator& operator++();
        bool operator==(const iterator& other) const { return m_at == other.m_at; }

    private:
        SubclassRec* m_at;
    };

    bool empty() const { return m_first == nullptr; }
    SubclassRec* first() const { return m_first; }
    inline int count() const;
    /// The n-th user counting from 0, null past the end.
    inline SubclassRec* at(int n) const;
    /// Puts the subclass in front.
    inline void pushFront(SubclassRec* sub);
    /// Takes the subclass out of the list: true, or false when it is not there.
    inline bool remove(SubclassRec* sub);
    /// Takes every user out of the list.
    inline void clear();
    /// Takes out, in one walk, every user for which `leaves` holds.
    template <class Predicate>
    void removeIf(Predicate leaves);
    iterator begin() const { return iterator(m_first); }
    iterator end() const { return iterator(nullptr); }

private:
    SubclassRec* m_first = nullptr;
};

struct SubclassRec : SectionLink {
    GraphName name;
    SubmodelType* type = nullptr;
    ExprList args;
    ExprList dim;
    /// The newest of the bond and signal ends at the subclass (see `EndsAt`).
    EndRef ends;
    /// The model whose body held the subclass before expansion; its instances, innermost first,
    /// are the subclass's path. Null for a subclass of the top model not yet expanded.
    const EnclosingModel* within = nullptr;
    ClassRec* cls = nullptr;
    /// The bond ends connected with the ports of its class (see `ConnectedEnds`); null until the
    /// connections are numbered, or when none is. The subclass keeps them, not the ports, since
    /// instances may share their type's ports.
    PortEndTable* portEnds = nullptr;
    /// The next user of its type (see `UserList`).
    SubclassRec* nextUser = nullptr;
};

UserList::iterator& UserList::iterator::operator++()
{
    m_at = m_at->nextUser;
    return *this;
}

int UserList::count() const
{
    int n = 0;
    for (const SubclassRec* sub = m_first; sub; sub = sub->nextUser)
        ++n;
    return n;
}

SubclassRec* UserList::at(int n) const
{
    SubclassRec* sub = m_first;
    for (; sub && n > 0; --n)
        sub = sub->nextUser;
    return n == 0 ? sub : nullptr;
}

void UserList::pushFront(SubclassRec* sub)
{
    sub->nextUser = m_first;
    m_first = sub;
}

bool UserList::remove(SubclassRec* sub)
{
    for (SubclassRec** link = &m_first; *link; link = &(*link)->nextUser)
        if (*link == sub) {
            *link = sub->nextUser;
            sub->nextUser = nullptr;
            return true;
        }
    return false;
}

template <class Predicate>
void UserList::removeIf(Predicate leaves)
{
    for (SubclassRec** link = &m_first; *link;) {
        SubclassRec* sub = *link;
        if (leaves(static_cast<const SubclassRec*>(sub))) {
            *link = sub->nextUser;
            sub->nextUser = nullptr;
        } else {
            link = &sub->nextUser;
        }
    }
}

void UserList::clear()
{
    while (SubclassRec* sub = m_first) {
        m_first = sub->nextUser;
        sub->nextUser = nullptr;
    }
}

/// The bond and signal ends at a subclass, newest first. Each end links to the next through its
/// connection's `nextAtSub`, so that listing an end takes no node of its own; a connection with
/// both ends at the subclass (between two elements of one instance array) comes once per end.
class EndsAt {
public:
    explicit EndsAt(const SubclassRec* sub) : m_first(sub ? sub->ends : EndRef()) {}
    class iterator {
    public:
        explicit iterator(EndRef at) : m_at(at) {}
        EndRef operator*() const { return m_at; }
        iterator& operator++()
        {
            m_at = m_at.connection()->nextAtSub[m_at.side()];
            return *this;
        }
        bool operator==(const iterator& other) const { return m_at == other.m_at; }

    private:
        EndRef m_at;
    };
    iterator begin() const { return iterator(m_first); }
    iterator end() const { return iterator(EndRef()); }
    bool empty() const { return !m_first; }

private:
    EndRef m_first;
};

/// The connections whose ends of one type lie at a subclass, in the order of those ends: its
/// bonds (ends `END_SUB`), the signals into its inputs (`END_SINP`) or those out of its outputs
/// (`END_SOUT`). A connection with two such ends at the subclass comes twice.
template <class Connection>
class ConnectionsAt {
public:
    ConnectionsAt(const SubclassRec* sub, std::int16_t type) : m_first(sub ? sub->ends : EndRef()), m_type(type) {}
    class iterator {
    public:
        iterator(EndRef at, std::int16_t type) : m_at(at), m_type(type) { skip(); }
        Connection* operator*() const { return static_cast<Connection*>(m_at.connection()); }
        iterator& operator++()
        {
            m_at = m_at.connection()->nextAtSub[m_at.side()];
            skip();
            return *this;
        }
        bool operator==(const iterator& other) const { return m_at == other.m_at; }

    private:
        void skip()
        {
            while (m_at && m_at.end().type != m_type)
                m_at = m_at.connection()->nextAtSub[m_at.side()];
        }
        EndRef m_at;
        std::int16_t m_type;
    };
    iterator begin() const { return iterator(m_first, m_type); }
    iterator end() const { return iterator(EndRef(), m_type); }
    bool empty() const { return begin() == end(); }
    int count() const
    {
        int n = 0;
        for (iterator it = begin(); it != end(); ++it)
            ++n;
        return n;
    }

private:
    EndRef m_first;
    std::int16_t m_type;
};

/// The bonds at the subclass, one for each of their ends there, newest first.
inline ConnectionsAt<BondRec> bondsAt(const SubclassRec* sub)
{
    return {sub, END_SUB};
}
/// The signals into the subclass's inputs, newest first.
inline ConnectionsAt<SigconRec> inputSignalsAt(const SubclassRec* sub)
{
    return {sub, END_SINP};
}
/// The signals out of the subclass's outputs, newest first.
inline ConnectionsAt<SigconRec> outputSignalsAt(const SubclassRec* sub)
{
    return {sub, END_SOUT};
}

/// Puts end `side` of the connection, which lies at the subclass, in front of its ends.
void linkEndAt(SubclassRec* sub, ConnectionRec* conn, int side);
/// Takes end `side` of the connection out of the subclass's ends: true, or false when it is not
/// there.
bool unlinkEndAt(SubclassRec* sub, ConnectionRec* conn, int side);

/// The ports of the subclass's class: its own, or those of its type when the class was copied
/// without ports of its own.
const SectionList<PortRec>& portsOf(const SubclassRec* sub);

struct SubmodelType : SectionLink {
    GraphName t_name;
    std::int32_t t_vers = 0;
    UserList users; ///< newest first
    ClassRec* cls = nullptr;
};

/// Whether the subclass's class is its type's own, not a copy: an instance that adds nothing to
/// its type (no arguments and no array, of an equation class without arguments, ios or computed
/// sizes) takes it until its equations are reshaped. Such a class is never released with the
/// subclass.
inline bool sharesTypeClass(const SubclassRec* sub)
{
    return sub->cls && sub->type && sub->cls == sub->type->cls;
}

struct GraphBody {
    SectionList<SubclassRec> subclasses;
    SectionList<BondRec> bonds;
    SectionList<SigconRec> sigcons;
    SectionList<SubmodelType> types;
};

struct EquationRec : SectionLink {
    ExprNode* left = nullptr;
    ExprNode* right = nullptr;
    ExprNode* variables = nullptr; ///< chain of name and time nodes, newest first
    std::int32_t sort_no = 0;
    unsigned char reshaped = 0;
    unsigned char fixed = 0;      ///< its order is fixed (":=")
    unsigned char blockstart = 0; ///< the first of a fixed-order block
    std::uint16_t file = 0;       ///< where it was written: `sourceFileName`, and the line; 0 unknown
    std::int32_t line = 0;
};

/// The number under which equations tell the model file they were written in (its name without
/// the folder); 0, which tells none, when the table of names is full.
std::uint16_t sourceFileNumber(const std::string& name);
/// The name of a number `sourceFileNumber` gave; empty for 0.
const std::string& sourceFileName(std::uint16_t number);
/// The new equation has the place of the one it is made of.
inline void takePlace(EquationRec* to, const EquationRec* from)
{
    to->file = from->file;
    to->line = from->line;
}

/// The six variable sections of an equation body.
enum BodySection : int {
    BODY_INDEP_STATES = 0,
    BODY_INDEP_RATES = 1,
    BODY_DEP_STATES = 2,
    BODY_DEP_RATES = 3,
    BODY_ALGLOOP_IN = 4,
    BODY_ALGLOOP_OUT = 5,
};

struct EquationBody {
    SectionList<EquationRec> equations;
    SectionList<VarRec> indep_states;
    SectionList<VarRec> indep_rates;
    SectionList<VarRec> dep_states;
    SectionList<VarRec> dep_rates;
    SectionList<VarRec> algloop_in;
    SectionList<VarRec> algloop_out;

    SectionList<VarRec>& section(BodySection which);
};

/// The four variable sections of a class.
enum ClassSection : int {
    CLASS_PARAMETERS = 0,
    CLASS_INITCONDS = 1,
    CLASS_VARIABLES = 2,
    CLASS_CONSTANTS = 3,
};

struct ClassRec {
    std::string name;
    std::int32_t version = 0;
    std::int64_t declaredElements = 0; ///< of the quantities and instance arrays its text declares
    SectionList<ArgRec> args;
    ExprList conds;
    std::int16_t argnum = 0;
    std::int16_t type = CLASS_NONE;
    std::int16_t argsub = 0;
    std::int16_t expand = 0;
    std::int16_t causal = 0;
    bool instanceCopy = false; ///< copied for an instance: made, with its equation body, in the graph arena
    bool sharesPorts = false;  ///< copied for an instance without ports of its own: its type's serve
    SectionList<PortRec> ports;
    SectionList<IoRec> inputs;
    SectionList<IoRec> outputs;
    SectionList<VarRec> parameters;
    SectionList<VarRec> initconds;
    SectionList<VarRec> variables;
    SectionList<VarRec> constants;
    GraphBody* graph = nullptr;        ///< the body when type is TOP
    EquationBody* equations = nullptr; ///< the body when type is DYN

    SectionList<VarRec>& section(ClassSection which);
};

template <> struct InGraphArena<PortRec> : std::true_type {};
template <> struct InGraphArena<IoRec> : std::true_type {};
template <> struct InGraphArena<SignalDescriptor> : std::true_type {};
template <> struct InBondArena<BondRec> : std::true_type {};
template <> struct InGraphArena<SigconRec> : std::true_type {};
template <> struct InGraphArena<SubclassRec> : std::true_type {};
template <> struct InGraphArena<SubmodelType> : std::true_type {};
template <> struct InGraphArena<GraphBody> : std::true_type {};
template <> struct InGraphArena<EnclosingModel> : std::true_type {};
template <class T, bool R> struct InGraphArena<PtrNode<T, R>> : InGraphArena<T> {};

// ---------------------------------------------------------------------------
// Numbers of variables

/// A number for each of a set of variables, such as the first element of each in a table of all
/// elements, for passes that look variables up once per reference. The numbers are kept in the
/// variables themselves, marked with the stamp of the numbering that gave them. A numbering that
/// writes over a number another one still alive keeps there gives that number to a table of the
/// other one first, and a numbering whose variable is held by another one keeps its number in its
/// own table; so the tables hold only the numbers two numberings alive together both gave.
/// Numberings are made and given numbers in one thread at a time; `find` may be called from
/// several threads while none gives numbers.
class VariableNumbering {
public:
    VariableNumbering();
    ~VariableNumbering();
    VariableNumbering(const VariableNumbering&) = delete;
    VariableNumbering& operator=(const VariableNumbering&) = delete;

    /// Forgets every number given and starts as a numbering made anew, keeping its room.
    void restart();

    void set(const VarRec* var, std::int64_t value);
    /// The number given to the variable; -1 when it has none.
    std::int64_t find(const VarRec* var) const;

private:
    struct Table;
    /// The numbering alive with the stamp, or null.
    static VariableNumbering* alive(std::uint32_t stamp);
    void keep(const VarRec* var, std::int64_t value);

    std::uint32_t m_stamp = 0;
    Table* m_table = nullptr; ///< the numbers not kept in the variables, made when first needed
    VariableNumbering* m_older = nullptr; ///< the numberings alive, newest first
    VariableNumbering* m_newer = nullptr;
};

// ---------------------------------------------------------------------------
// Names

/// The name with every blank removed.
std::string intern_name(std::string_view name);

/// The name followed by "_&_" and each alias; "NO_NAME" without a name.
std::string variableFullName(const VarRec& var);

/// Appends the instance names of the dissolved submodels that the subclass lies in, outermost
/// first, each followed by `separator`.
void appendSubclassPath(std::string& text, const SubclassRec* sub, char separator);

/// Text forms of the codes, as the template writer and messages show them.
const char* causalityText(int caus);
const char* classTypeText(int type);
const char* causalityTypeText(int c_type);

// ---------------------------------------------------------------------------
// Allocation: each makes a zeroed record, links it at the tail of its owner's list
// and returns it, or null when memory is exhausted.

ClassRec* newClass();
/// A new class for the copy that one instance gets, made in the graph arena or in `arena`.
ClassRec* newInstanceClass();
ClassRec* newInstanceClass(RecordArena& arena);
GraphBody* newGraphBody(ClassRec* cls);
EquationBody* newEquationBody(ClassRec* cls);
/// A new equation body of the class made in `arena`.
EquationBody* newEquationBody(ClassRec* cls, RecordArena& arena);
ArgRec* newArgument(ClassRec* cls);
PortRec* newPort(ClassRec* cls);
IoRec* newInput(ClassRec* cls);
IoRec* newOutput(ClassRec* cls);
VarRec* newClassVariable(ClassRec* cls, ClassSection which);
VarRec* newBodyVariable(EquationBody* body, BodySection which);
SubclassRec* newSubclass(GraphBody* body);
BondRec* newBond(GraphBody* body);
SigconRec* newSigcon(GraphBody* body);
EquationRec* newEquation(EquationBody* body);
SubmodelType* newSubmodelType(GraphBody* body);

/// A flag array of `count` elements (zero is a legal count), all `value`.
FlagArray newFlagArray(std::size_t count, std::int32_t value = 0);

// ---------------------------------------------------------------------------
// Setters

void setPortCausalityType(PortRec* port, unsigned char c_type);
void setVariable(VarRec* var, std::string_view name, const ExprList& dim, std::int32_t type);
/// Names the subclass and ties it to the submodel type of that name and version
/// (made when none exists); the subclass goes to the front of the type's users.
/// False when memory is exhausted.
bool setSubclass(GraphBody* body, SubclassRec* sub, std::string_view name, const ExprList& args,
                 const ExprList& dim, std::string_view typeName, std::int32_t typeVersion);
/// Puts the bond's end `side` in front of the ends connected with the port of the subclass, with
/// its slot, its index lists and the bond's causality and direction as they are now; nothing for
/// a port the subclass's class does not have. False when memory is exhausted. (Numbering lays out
/// the ends of all ports at once; see `tableConnectedEnds`.)
bool connectEndAtPort(SubclassRec* sub, const PortRec* port, ConnectionRec* bond, int side);
/// Lays out the bond ends at the subclass whose bonds are numbered, as `PortEndTable` says: each
/// SUB end with a port of its subclass's class kept (see `ConnEnd::port`). False when memory is
/// exhausted or a port's number is beyond `PortEnd::kLastPort` (the subclass then has none).
bool tableConnectedEnds(SubclassRec* sub);
void setBondDir(ConnectionRec* bond, unsigned char dir);
void setBondDim(ConnectionRec* bond, const ExprList& dim);
/// Sets the causality when it is still 0: 1; else 0.
int setBondCaus(ConnectionRec* bond, unsigned char caus);
void countArgumentUp(ClassRec* cls);
void countArgumentDown(ClassRec* cls);

// ---------------------------------------------------------------------------
// Connection ends

/// Gives the name the text of a port or io name of a connection end: one copy of each text serves
/// every end of the run that names it, as a model has many ends and few such names. False, and
/// the name left as it was, when memory is exhausted.
bool assignEndName(GraphName& name, std::string_view text);

/// End i becomes SUB and goes to the front of the subclass's ends.
bool setBondEndSub(BondRec* bond, int i, SubclassRec* sub, const ExprList& nodeindex,
                   std::string_view portName, const ExprList& portIndex);
/// End i becomes POR; the port's bond becomes this bond.
void setBondEndPort(BondRec* bond, int i, PortRec* port, const ExprList& index);
/// End i becomes INP or OUT; the connection goes to the front of the io's signals.
bool setSigconEndIo(SigconRec* sig, int i, std::int16_t type, IoRec* io, const ExprList& index);
/// End i becomes SINP or SOUT and goes to the front of the subclass's ends.
bool setSigconEndSub(SigconRec* sig, int i, std::int16_t type, SubclassRec* sub,
                     const ExprList& nodeindex, std::string_view ioName, const ExprList& ioIndex);

/// One end of a connection as the parser read it.
struct ParsedEnd {
    std::int16_t type = END_EMPTY; ///< 1 SUB, 2 POR, 3 INP, 4 OUT, 5 or more a subclass io
    SectionLink* node = nullptr;
    ExprList nodeindex;
    std::string name;
    ExprList index;
};

/// A connection as the parser read it; kinds 1 and 2 are bonds, 3 to 6 signals.
struct ParsedConnection {
    int kind = 0;
    ParsedEnd ends[2];
    ExprList dim;
    unsigned char caus = 0;
    unsigned char dir = 0;
};

/// Builds the bond or signal connection; null when memory is exhausted or the kind is unknown.
ConnectionRec* buildConnection(GraphBody* body, const ParsedConnection& parsed);

// ---------------------------------------------------------------------------
// Expression nodes

ExprNode* makeOperator(ExprNode* left, ExprNode* right, int kind);
void setExtra(ExprNode* node, ExprNode* extra);
/// A name reference, or a time node (which has neither record nor indices).
ExprNode* makeLeaf(int selector, SectionLink* record, int kind, ExprNode* extra, const ExprList& index);
/// A real literal from its text; null when the text is no number.
ExprNode* makeRealConstant(std::string_view text);
ExprNode* makeRealConstant(double value);
ExprNode* makeIntegerConstant(std::string_view text);
ExprNode* makeIntegerConstant(std::int32_t value);
ExprNode* makeBooleanConstant(bool value);
ExprNode* makeFunctionCall(int function, const ExprList& args);
/// if c then x else y.
ExprNode* makeConditional(ExprNode* c, ExprNode* x, ExprNode* y);

/// Rebuilds the equation's chain of name and time nodes, left side first, newest first.
void rebuildVariableChain(EquationRec* eq);

// ---------------------------------------------------------------------------
// Lookups

/// The end of the connection at `node`: end 0, else end 1, else null.
ConnEnd* connectionEndOf(ConnectionRec* conn, const SectionLink* node);
/// 0, 1, or -1 when neither end is at `node`.
int whichEnd(const ConnectionRec* conn, const SectionLink* node);
/// The end that is not at `node`; null when neither is.
ConnEnd* otherEnd(ConnectionRec* conn, const SectionLink* node);
/// The first bond of the subclass at the named port.
BondRec* subclassBondAtPort(SubclassRec* sub, std::string_view portName);
/// The n-th bond (from 1) of the subclass at the named port.
BondRec* subclassNthBondAtPort(SubclassRec* sub, std::string_view portName, int n);
SigconRec* subclassInputSignal(SubclassRec* sub, std::string_view ioName);
SigconRec* subclassOutputSignal(SubclassRec* sub, std::string_view ioName);
PortRec* findPort(ClassRec* cls, std::string_view name);
/// One end of a connection at a subclass: the connection and 0 or 1.
template <class Connection>
struct ConnectionEndAt {
    Connection* conn;
    int end;
};

/// The ends at `sub` of the type and name given (its bonds' ends at a port, its signals' at an io),
/// connection by connection in the order of the subclass's ends. Both ends of one connection come
/// together, end 0 first, where the newer of them is (a connection between two elements of one
/// instance array).
template <class Connection>
void connectionEndsAt(const SubclassRec* sub, std::int16_t type, std::string_view name,
                      std::vector<ConnectionEndAt<Connection>>& ends)
{
    ends.clear();
    for (EndRef at : EndsAt(sub)) {
        ConnectionRec* conn = at.connection();
        if (conn->con[at.side()].type != type)
            continue;
        if (conn->con[0].node == sub && conn->con[1].node == sub && conn->con[1 - at.side()].type == type) {
            // The connection's ends were taken with its newer end.
            bool again = false;
            for (EndRef before : EndsAt(sub)) {
                if (before == at)
                    break;
                again = again || before.connection() == conn;
            }
            if (again)
                continue;
        }
        for (int i = 0; i < 2; ++i)
            if (conn->con[i].type == type && conn->con[i].node == sub && conn->con[i].name == name)
                ends.push_back({static_cast<Connection*>(conn), i});
    }
}
template <class Connection>
std::vector<ConnectionEndAt<Connection>> connectionEndsAt(const SubclassRec* sub, std::int16_t type,
                                                          std::string_view name)
{
    std::vector<ConnectionEndAt<Connection>> ends;
    connectionEndsAt(sub, type, name, ends);
    return ends;
}

/// The bounds of a literal index entry: an integer i gives i..i, a range lo..hi its bounds; false
/// for any other entry.
bool literalBounds(const ExprNode* entry, std::int64_t& lo, std::int64_t& hi);

/// The index entry of each dimension of the port or io that a connection end covers at its
/// subclass: the submodel index list for the subclass's own dimensions, then the port or io index
/// list, so that position k pairs with dimension k of the instanced port or io. A missing entry is
/// null and covers the whole dimension.
std::vector<const ExprNode*> coveredIndexEntries(const EndIndices& end, const SubclassRec* sub);
/// Calls `visit` with the 0-based row-major number of every element, of a record whose dimensions
/// have the literal `sizes`, that the index entries cover: an integer one element, a range lo..hi
/// those between, a null or missing entry the whole dimension. False (and nothing visited) when an
/// entry is not literal or leaves its dimension.
bool forEachCoveredElement(const std::vector<std::int64_t>& sizes, const std::vector<const ExprNode*>& entries,
                           const std::function<void(std::int64_t element)>& visit);
/// The bond's causality as seen from end 0 or end 1.
unsigned char bondCausalityFrom(const ConnectionRec* bond, int end);

// ---------------------------------------------------------------------------
// Counts

int ttcount_ports(const ClassRec* cls);
/// Inputs for 3, outputs for 4.
int ttcount_ios(const ClassRec* cls, int which);
int countSubclasses(const ClassRec* cls);
int countBonds(const ClassRec* cls);
int countSigcons(const ClassRec* cls);

/// Elements of a dimension list: the product of its literal sizes, 1 for a scalar.
std::int64_t elementCount(const ExprList& dim);

/// The sizes of a dimension list as the bounds count them: the literal ones known (a negative
/// integer too), the others not yet.
KnownSizes knownSizes(const ExprList& dim);
/// The literal value of a dimension or index expression (a range lo..hi gives its size); none is -1.
std::int64_t literalSize(const ExprNode* node);

/// Rows and columns of a variable (a scalar and a vector have one column).
struct Dimensions {
    std::int64_t rows = 1;
    std::int64_t cols = 1;
    int count = 0; ///< 0 scalar, 1 vector, 2 matrix
};
Dimensions dimensionsOf(const VarRec& var);

/// The 0-based row-major element a reference selects when all its indices are
/// literal (no index selects element 0); -1 when an index is computed.
std::int64_t literalElement(const ExprNode* ref);

template <class T>
int PtrList<T>::remove(const T* item)
{
    PtrNode<T>** link = &head;
    for (PtrNode<T>* p = head; p; link = &p->next, p = p->next)
        if (p->item == item) {
            *link = p->next;
            register_release(p);
            return 1;
        }
    return 0;
}
