// The model processor's records: builders, lookups, counts and release.
#include "modelproc/model_records.h"

#include "modelproc/expression_walk.h"
#include "platform/core/large_pages.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <functional>
#include <cstdlib>
#include <unordered_map>

#include <sys/mman.h>
#include <unistd.h>


// ---------------------------------------------------------------------------
// Memory

void RecordArena::endObjects()
{
    for (DestroyChain& chain : m_chains) {
        // The object lies just after its link.
        while (DestroyLink* link = chain.last) {
            chain.last = link->previous;
            chain.destroy(link + 1);
        }
    }
    m_count = 0;
}

void RecordArena::recycle()
{
    if (m_chunks.empty())
        return;
    endObjects();
    const Chunk first = m_chunks.front();
    for (std::size_t i = 1; i < m_chunks.size(); ++i)
        release(m_chunks[i]);
    m_chunks.resize(1);
    m_records = {};
    m_records.next = static_cast<unsigned char*>(first.memory);
    m_records.left = first.size;
    m_records.end = m_records.next + first.size;
    m_texts = {};
    m_used = 0;
}

void RecordArena::clear()
{
    endObjects();
    for (const Chunk& chunk : m_chunks)
        release(chunk);
    m_chunks = {};
    m_records = {};
    m_texts = {};
    m_count = 0;
    m_used = 0;
}

std::size_t RecordArena::newKindNumber()
{
    static std::atomic<std::size_t> kinds{0};
    return kinds++;
}

namespace {

/// Has the system give the whole pages of a chunk at once: records fill a chunk from its start,
/// and a fault for each fresh page costs more than one request for all of them. Pages the
/// allocator hands out again are resident already and cost nothing here.
void populate(void* memory, std::size_t size)
{
#ifdef MADV_POPULATE_WRITE
    const std::uintptr_t page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
    const std::uintptr_t begin = (reinterpret_cast<std::uintptr_t>(memory) + page - 1) / page * page;
    const std::uintptr_t end = (reinterpret_cast<std::uintptr_t>(memory) + size) / page * page;
    if (end > begin)
        madvise(reinterpret_cast<void*>(begin), end - begin, MADV_POPULATE_WRITE); // a hint: may fail
#else
    (void)memory;
    (void)size;
#endif
}

} // namespace

void RecordArena::release(const Chunk& chunk)
{
    switch (chunk.source) {
    case Chunk::Source::Allocator: std::free(chunk.memory); break;
    case Chunk::Source::Mapped: munmap(chunk.memory, chunk.size); break;
    case Chunk::Source::LargePages: platform::unmapLargePages(chunk.memory, chunk.size); break;
    }
}

namespace {

/// The first large-page bound after `at`.
unsigned char* nextLargePageBound(const unsigned char* at)
{
    const std::uintptr_t page = platform::kLargePageSize;
    return reinterpret_cast<unsigned char*>((reinterpret_cast<std::uintptr_t>(at) / page + 1) * page);
}

/// Stops the stream at `stop`, a large-page bound of its chunk or the chunk's end, and has the
/// page that begins there made present ahead.
void stopAt(unsigned char* stop, unsigned char*& next, std::size_t& left, unsigned char* end)
{
    if (stop > end)
        stop = end;
    if (stop < end)
        platform::populateAhead(stop, std::min<std::size_t>(platform::kLargePageSize, end - stop));
    left = stop - next;
}

} // namespace

void* RecordArena::passStop(Stream& stream, std::size_t bytes, std::size_t alignment)
{
    // Only chunks on large pages stop before their end: at each page's start, the page after it
    // is had made present, while the records go on into the one begun. A piece larger than a page
    // passes one stop a time.
    if (stream.next + stream.left < stream.end) {
        stopAt(stream.next + stream.left + platform::kLargePageSize, stream.next, stream.left, stream.end);
        return take(stream, bytes, alignment);
    }
    return allocateChunk(bytes, stream);
}

void* RecordArena::allocateChunk(std::size_t bytes, Stream& stream)
{
    // Chunks grow with the run, from 64 KB to 32 MB; a record larger than that gets one of its own.
    constexpr std::size_t kFirst = std::size_t(64) << 10;
    constexpr std::size_t kLargest = std::size_t(32) << 20;
    std::size_t size = std::min(kLargest, kFirst << std::min<std::size_t>(m_chunks.size(), 9));
    if (size < bytes) {
        const std::size_t page = m_ownPages ? static_cast<std::size_t>(sysconf(_SC_PAGESIZE)) : 1;
        size = (bytes + page - 1) / page * page;
    }
    try {
        if (m_chunks.size() == m_chunks.capacity())
            m_chunks.reserve(m_chunks.empty() ? 16 : 2 * m_chunks.size());
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    void* memory = nullptr;
    Chunk::Source source = m_ownPages ? Chunk::Source::Mapped : Chunk::Source::Allocator;
    // The large chunks of a big model lie on large pages, where the system has them.
    if (size >= platform::kLargePageSize) {
        const std::size_t pages = (size + platform::kLargePageSize - 1) / platform::kLargePageSize;
        if ((memory = platform::mapLargePages(pages * platform::kLargePageSize))) {
            size = pages * platform::kLargePageSize;
            source = Chunk::Source::LargePages;
        }
    }
    if (!memory && m_ownPages) {
        memory = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
        if (memory == MAP_FAILED)
            memory = nullptr;
    } else if (!memory) {
        memory = std::malloc(size);
        if (memory)
            populate(memory, size);
    }
    if (!memory)
        return nullptr;
    auto* chunk = static_cast<unsigned char*>(memory);
    m_chunks.push_back({chunk, size, source});
    stream.next = chunk + bytes;
    stream.end = chunk + size;
    if (source == Chunk::Source::LargePages)
        stopAt(nextLargePageBound(stream.next), stream.next, stream.left, stream.end);
    else
        stream.left = size - bytes;
    m_used += bytes;
    return chunk;
}

RecordArena& ProcessingArena()
{
    static RecordArena arena;
    return arena;
}

RecordArena& GraphArena()
{
    static RecordArena arena(true);
    return arena;
}

RecordArena& BondArena()
{
    static RecordArena arena(true);
    return arena;
}

// ---------------------------------------------------------------------------
// Numbers of variables

struct VariableNumbering::Table {
    std::unordered_map<const VarRec*, std::int64_t> numbers;
};

namespace {

std::uint32_t& latestNumberingStamp()
{
    static std::uint32_t stamp = 0;
    return stamp;
}

/// The newest numbering alive; each links to the one made before it.
VariableNumbering*& newestNumbering()
{
    static VariableNumbering* newest = nullptr;
    return newest;
}

} // namespace

VariableNumbering::VariableNumbering()
{
    VariableNumbering*& newest = newestNumbering();
    m_older = newest;
    if (newest)
        newest->m_newer = this;
    newest = this;
    restart();
}

VariableNumbering::~VariableNumbering()
{
    if (m_older)
        m_older->m_newer = m_newer;
    if (m_newer)
        m_newer->m_older = m_older;
    else
        newestNumbering() = m_older;
    delete m_table;
}

VariableNumbering* VariableNumbering::alive(std::uint32_t stamp)
{
    if (stamp == 0)
        return nullptr;
    for (VariableNumbering* n = newestNumbering(); n; n = n->m_older)
        if (n->m_stamp == stamp)
            return n;
    return nullptr;
}

void VariableNumbering::restart()
{
    std::uint32_t& latest = latestNumberingStamp();
    if (++latest == 0) // after four thousand million numberings: no variable may keep a stamp of old
        ++latest;
    m_stamp = latest;
    if (m_table)
        m_table->numbers.clear();
}

void VariableNumbering::keep(const VarRec* var, std::int64_t value)
{
    if (!m_table)
        m_table = new Table;
    m_table->numbers.insert_or_assign(var, value);
}

void VariableNumbering::set(const VarRec* var, std::int64_t value)
{
    if (value < INT32_MIN || value > INT32_MAX) {
        // Too large to keep in the variable: the table answers.
        if (var->numberStamp == m_stamp)
            var->numberStamp = 0;
        keep(var, value);
        return;
    }
    if (var->numberStamp != m_stamp)
        if (VariableNumbering* holder = alive(var->numberStamp))
            holder->keep(var, var->number); // the number it kept in the variable stays its own
    var->numberStamp = m_stamp;
    var->number = static_cast<std::int32_t>(value);
}

std::int64_t VariableNumbering::find(const VarRec* var) const
{
    if (var->numberStamp == m_stamp)
        return var->number;
    if (!m_table)
        return -1;
    const auto found = m_table->numbers.find(var);
    return found != m_table->numbers.end() ? found->second : -1;
}

// ---------------------------------------------------------------------------
// Aliases

AliasList::Block* AliasList::newBlock(const unsigned char* from, std::size_t used, std::uint32_t count,
                                      std::size_t capacity)
{
    if (capacity > 0xffffffffu)
        throw std::bad_alloc();
    auto* block = static_cast<Block*>(ProcessingArena().makeBytes(sizeof(Block) + capacity));
    if (!block)
        throw std::bad_alloc();
    block->count = count;
    block->used = static_cast<std::uint32_t>(used);
    block->capacity = static_cast<std::uint32_t>(capacity);
    block->unused = 0;
    if (used > 0)
        std::memcpy(block->bytes(), from, used);
    return block;
}

void AliasList::push_back(std::string_view alias)
{
    if (alias.size() > 0xffffffffu - 1 - sizeof(std::uint32_t))
        throw std::bad_alloc();
    const auto length = static_cast<std::uint32_t>(alias.size());
    const std::size_t header = length < kLongLength ? 1 : 1 + sizeof length;
    const std::size_t need = header + length;
    const auto put = [&](unsigned char* at) {
        if (length < kLongLength) {
            at[0] = static_cast<unsigned char>(length);
        } else {
            at[0] = static_cast<unsigned char>(kLongLength);
            std::memcpy(at + 1, &length, sizeof length);
        }
        if (length > 0)
            std::memcpy(at + header, alias.data(), length);
    };
    if (m_data == 0) {
        // Laid among the texts on a 2-byte bound, which leaves the mark's bit free.
        auto* at = static_cast<unsigned char*>(ProcessingArena().makeTextBytes(need, 2));
        if (!at)
            throw std::bad_alloc();
        put(at);
        m_data = reinterpret_cast<std::uintptr_t>(at) | kOne;
        return;
    }
    if (isOne()) {
        const std::size_t used = entrySize(one());
        m_data = reinterpret_cast<std::uintptr_t>(newBlock(one(), used, 1, 2 * (used + need)));
    } else if (block()->capacity - block()->used < need) {
        Block* old = block();
        m_data = reinterpret_cast<std::uintptr_t>(
            newBlock(old->bytes(), old->used, old->count, std::max<std::size_t>(2 * old->capacity, old->used + need)));
    }
    Block* into = block();
    put(into->bytes() + into->used);
    into->used = static_cast<std::uint32_t>(into->used + need);
    ++into->count;
}

// ---------------------------------------------------------------------------
// Names

std::string intern_name(std::string_view name)
{
    std::string result;
    result.reserve(name.size());
    for (char c : name)
        if (c != ' ')
            result += c;
    return result;
}

std::string variableFullName(const VarRec& var)
{
    if (var.name.empty())
        return "NO_NAME";
    std::string text = var.name.str();
    for (std::string_view alias : var.aliases)
        text.append("_&_").append(alias);
    return text;
}

namespace {

void appendInstances(std::string& text, const EnclosingModel* model, char separator)
{
    if (!model || !model->outer)
        return;
    appendInstances(text, model->outer, separator);
    text += model->instance.view();
    text += separator;
}

} // namespace

void appendSubclassPath(std::string& text, const SubclassRec* sub, char separator)
{
    if (sub)
        appendInstances(text, sub->within, separator);
}

const char* causalityText(int caus)
{
    static const char* const texts[] = {"??", "ECY", "FCY", "USER_E", "USER_F", "1ECY", "1FCY", "SAME"};
    return caus >= 0 && caus <= 7 ? texts[caus] : "??";
}

const char* classTypeText(int type)
{
    return type == CLASS_TOP ? "TOP" : type == CLASS_DYN ? "DYN" : "??";
}

const char* causalityTypeText(int c_type)
{
    static const char* const texts[] = {"??", "Fix", "Prefer", "Constr", "Indiff"};
    return c_type >= 0 && c_type <= 4 ? texts[c_type] : "??";
}

SectionList<VarRec>& EquationBody::section(BodySection which)
{
    switch (which) {
    case BODY_INDEP_STATES: return indep_states;
    case BODY_INDEP_RATES: return indep_rates;
    case BODY_DEP_STATES: return dep_states;
    case BODY_DEP_RATES: return dep_rates;
    case BODY_ALGLOOP_IN: return algloop_in;
    case BODY_ALGLOOP_OUT: break;
    }
    return algloop_out;
}

SectionList<VarRec>& ClassRec::section(ClassSection which)
{
    switch (which) {
    case CLASS_PARAMETERS: return parameters;
    case CLASS_INITCONDS: return initconds;
    case CLASS_VARIABLES: return variables;
    case CLASS_CONSTANTS: break;
    }
    return constants;
}

// ---------------------------------------------------------------------------
// Allocation

namespace {

template <class T>
T* newLinked(SectionList<T>& list)
{
    T* record = arenaFor<T>().template make<T>();
    if (record)
        list.append(record);
    return record;
}

} // namespace

ClassRec* newClass()
{
    return ProcessingArena().make<ClassRec>();
}

ClassRec* newInstanceClass()
{
    return newInstanceClass(GraphArena());
}

ClassRec* newInstanceClass(RecordArena& arena)
{
    ClassRec* cls = arena.make<ClassRec>();
    if (cls)
        cls->instanceCopy = true;
    return cls;
}

GraphBody* newGraphBody(ClassRec* cls)
{
    if (!cls)
        return nullptr;
    GraphBody* body = GraphArena().make<GraphBody>();
    if (body) {
        cls->type = CLASS_TOP;
        cls->graph = body;
    }
    return body;
}

EquationBody* newEquationBody(ClassRec* cls)
{
    return newEquationBody(cls, cls && cls->instanceCopy ? GraphArena() : ProcessingArena());
}

EquationBody* newEquationBody(ClassRec* cls, RecordArena& arena)
{
    if (!cls)
        return nullptr;
    EquationBody* body = arena.make<EquationBody>();
    if (body) {
        cls->type = CLASS_DYN;
        cls->equations = body;
    }
    return body;
}

ArgRec* newArgument(ClassRec* cls) { return cls ? newLinked(cls->args) : nullptr; }
namespace {

/// A port or io at the tail of its list, numbered after the one before it.
template <class T>
T* newNumbered(SectionList<T>& list)
{
    const T* last = list.last();
    T* record = newLinked(list);
    if (record)
        record->number = last ? last->number + 1 : 0;
    return record;
}

} // namespace

PortRec* newPort(ClassRec* cls)
{
    PortRec* port = cls ? newNumbered(cls->ports) : nullptr;
    if (port)
        port->owner = cls;
    return port;
}

IoRec* newInput(ClassRec* cls) { return cls ? newNumbered(cls->inputs) : nullptr; }
IoRec* newOutput(ClassRec* cls) { return cls ? newNumbered(cls->outputs) : nullptr; }

VarRec* newClassVariable(ClassRec* cls, ClassSection which)
{
    return cls ? newLinked(cls->section(which)) : nullptr;
}

VarRec* newBodyVariable(EquationBody* body, BodySection which)
{
    return body ? newLinked(body->section(which)) : nullptr;
}

SubclassRec* newSubclass(GraphBody* body) { return body ? newLinked(body->subclasses) : nullptr; }
BondRec* newBond(GraphBody* body) { return body ? newLinked(body->bonds) : nullptr; }
SigconRec* newSigcon(GraphBody* body) { return body ? newLinked(body->sigcons) : nullptr; }
EquationRec* newEquation(EquationBody* body) { return body ? newLinked(body->equations) : nullptr; }
SubmodelType* newSubmodelType(GraphBody* body) { return body ? newLinked(body->types) : nullptr; }

FlagArray newFlagArray(std::size_t count, std::int32_t value)
{
    return FlagArray(count, value);
}

// ---------------------------------------------------------------------------
// Setters

void setPortCausalityType(PortRec* port, unsigned char c_type)
{
    if (port)
        port->c_type = c_type;
}

void setVariable(VarRec* var, std::string_view name, const ExprList& dim, std::int32_t type)
{
    if (!var)
        return;
    var->name = intern_name(name);
    var->dim = dim;
    var->at = type;
}

bool setSubclass(GraphBody* body, SubclassRec* sub, std::string_view name, const ExprList& args,
                 const ExprList& dim, std::string_view typeName, std::int32_t typeVersion)
{
    if (!body || !sub)
        return false;
    if (!sub->name.assign(intern_name(name)))
        return false;
    sub->args = args;
    sub->dim = dim;
    SubmodelType* type = nullptr;
    for (SubmodelType* t : body->types)
        if (t->t_name == typeName && t->t_vers == typeVersion) {
            type = t;
            break;
        }
    if (!type) {
        type = newSubmodelType(body);
        if (!type)
            return false;
        if (!type->t_name.assign(intern_name(typeName)))
            return false;
        type->t_vers = typeVersion;
    }
    sub->type = type;
    type->users.pushFront(sub);
    return true;
}

void linkEndAt(SubclassRec* sub, ConnectionRec* conn, int side)
{
    conn->nextAtSub[side] = sub->ends;
    sub->ends = EndRef(conn, side);
}

bool unlinkEndAt(SubclassRec* sub, ConnectionRec* conn, int side)
{
    const EndRef wanted(conn, side);
    for (EndRef* link = &sub->ends; *link; link = &link->connection()->nextAtSub[link->side()])
        if (*link == wanted) {
            *link = conn->nextAtSub[side];
            conn->nextAtSub[side] = EndRef();
            return true;
        }
    return false;
}

const SectionList<PortRec>& portsOf(const SubclassRec* sub)
{
    static const SectionList<PortRec> none;
    if (!sub || !sub->cls)
        return none;
    if (sub->cls->sharesPorts && sub->type && sub->type->cls)
        return sub->type->cls->ports;
    return sub->cls->ports;
}

namespace {

/// The number of the last port of the subclass's class, -1 when it has none.
std::int32_t lastPortNumber(const SubclassRec* sub)
{
    const PortRec* last = portsOf(sub).last();
    return last ? last->number : -1;
}

/// One end of a table with what its bond gives it: the slot, the port's number, and causality and
/// direction as seen from the port.
PortEnd portEndOf(ConnectionRec* bond, int side, std::uint32_t port)
{
    PortEnd e;
    e.slot = bond->con[side].slot;
    e.port = port;
    e.caus = causalityAtPort(EndRef(bond, side)) & 7u;
    e.dir = directionAtPort(EndRef(bond, side)) & 3u;
    return e;
}

/// Whether the end at the subclass has a port of the subclass's class kept, numbered `port`.
bool keptPortNumber(const ConnEnd& end, std::int32_t last, std::uint32_t& port)
{
    if (end.type != END_SUB || !end.port || end.port->number < 0 || end.port->number > last)
        return false;
    port = static_cast<std::uint32_t>(end.port->number);
    return true;
}

} // namespace

PortEndTable* PortEndTable::make(std::uint32_t count, bool indexed)
{
    if (count == 0)
        return nullptr;
    const std::size_t bytes =
        sizeof(PortEndTable) + std::size_t(count) * (sizeof(PortEnd) + (indexed ? sizeof(EndIndices) : 0));
    static_assert(alignof(PortEndTable) <= 8 && alignof(PortEnd) <= 8 && alignof(EndIndices) <= 8);
    static_assert(sizeof(PortEndTable) % alignof(EndIndices) == 0 && sizeof(PortEnd) % 4 == 0);
    void* memory = GraphArena().makeBytes(bytes);
    if (!memory)
        return nullptr;
    auto* table = new (memory) PortEndTable;
    table->m_count = count;
    table->m_indexed = indexed ? 1 : 0;
    for (std::uint32_t i = 0; i < count; ++i)
        new (table->ends() + i) PortEnd;
    if (EndIndices* lists = table->indexLists())
        for (std::uint32_t i = 0; i < count; ++i)
            new (lists + i) EndIndices;
    return table;
}

bool connectEndAtPort(SubclassRec* sub, const PortRec* port, ConnectionRec* bond, int side)
{
    const std::int32_t last = lastPortNumber(sub);
    if (port->number < 0 || port->number > last)
        return true; // not a port of the subclass's class: nothing lists the end
    if (static_cast<std::uint32_t>(port->number) > PortEnd::kLastPort)
        return false;
    const ConnEnd& end = bond->con[side];
    const PortEndTable* old = sub->portEnds;
    const std::uint32_t count = old ? old->size() : 0;
    const bool indexed = (old && old->indexed()) || !end.nodeindex.empty() || !end.index.empty();
    PortEndTable* table = PortEndTable::make(count + 1, indexed);
    if (!table)
        return false;
    // The new end goes before the others of its port.
    const auto number = static_cast<std::uint32_t>(port->number);
    std::uint32_t at = 0;
    while (at < count && old->ends()[at].port < number)
        ++at;
    for (std::uint32_t to = 0, from = 0; to <= count; ++to) {
        if (to == at) {
            table->ends()[to] = portEndOf(bond, side, number);
            if (indexed)
                table->indexLists()[to] = static_cast<const EndIndices&>(end);
        } else {
            table->ends()[to] = old->ends()[from];
            if (indexed)
                table->indexLists()[to] = old->indices(from);
            ++from;
        }
    }
    sub->portEnds = table;
    return true;
}

bool tableConnectedEnds(SubclassRec* sub)
{
    sub->portEnds = nullptr;
    const std::int32_t last = lastPortNumber(sub);
    std::uint32_t count = 0;
    bool indexed = false;
    for (EndRef at : EndsAt(sub)) {
        const ConnEnd& end = at.end();
        std::uint32_t port = 0;
        if (!keptPortNumber(end, last, port))
            continue;
        if (port > PortEnd::kLastPort)
            return false;
        ++count;
        indexed = indexed || !end.nodeindex.empty() || !end.index.empty();
    }
    if (count == 0)
        return true;
    PortEndTable* table = PortEndTable::make(count, indexed);
    if (!table)
        return false;
    // By port, and at each port the latest bond first: slots rise along the body's bonds, and of a
    // bond with both ends at one port end 1 comes first, as the later one entered.
    struct Entry {
        PortEnd end;
        int side;
        EndIndices lists;
    };
    thread_local std::vector<Entry> entries;
    entries.clear();
    for (EndRef at : EndsAt(sub)) {
        const ConnEnd& end = at.end();
        std::uint32_t port = 0;
        if (keptPortNumber(end, last, port))
            entries.push_back({portEndOf(at.connection(), at.side(), port), at.side(), end});
    }
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        if (a.end.port != b.end.port)
            return a.end.port < b.end.port;
        if (a.end.slot != b.end.slot)
            return a.end.slot > b.end.slot;
        return a.side > b.side;
    });
    for (std::uint32_t i = 0; i < count; ++i) {
        table->ends()[i] = entries[i].end;
        if (indexed)
            table->indexLists()[i] = entries[i].lists;
    }
    sub->portEnds = table;
    return true;
}

ConnectedEnds::ConnectedEnds(const SubclassRec* sub, const PortRec* port)
{
    const PortEndTable* table = sub ? sub->portEnds : nullptr;
    if (!table || !port || port->number < 0 || port->number > lastPortNumber(sub))
        return;
    const auto number = static_cast<std::uint32_t>(port->number);
    const PortEnd* first = table->ends();
    const PortEnd* last = first + table->size();
    const PortEnd* from = std::partition_point(first, last, [number](const PortEnd& e) { return e.port < number; });
    const PortEnd* to = std::partition_point(from, last, [number](const PortEnd& e) { return e.port == number; });
    m_table = table;
    m_first = static_cast<std::uint32_t>(from - first);
    m_last = static_cast<std::uint32_t>(to - first);
}

void setBondDir(ConnectionRec* bond, unsigned char dir)
{
    if (bond)
        bond->dir = dir;
}

void setBondDim(ConnectionRec* bond, const ExprList& dim)
{
    if (bond)
        bond->dim = dim;
}

int setBondCaus(ConnectionRec* bond, unsigned char caus)
{
    if (!bond || bond->caus != 0)
        return 0;
    bond->caus = caus;
    return 1;
}

void countArgumentUp(ClassRec* cls)
{
    if (cls)
        ++cls->argnum;
}

void countArgumentDown(ClassRec* cls)
{
    if (cls)
        --cls->argnum;
}

// ---------------------------------------------------------------------------
// Connection ends

namespace {

/// The port and io names of connection ends made so far, each text once. The table is itself a
/// record of the graph arena, so that it goes, and is no longer asked, when the arena's names go.
class EndNames {
public:
    EndNames() = default;
    EndNames(const EndNames&) = delete;
    EndNames& operator=(const EndNames&) = delete;
    ~EndNames()
    {
        if (current() == this)
            current() = nullptr;
    }

    /// The table of the graph arena's names, made when first asked for; null when memory is
    /// exhausted.
    static EndNames* get()
    {
        if (!current())
            current() = GraphArena().make<EndNames>();
        return current();
    }

    /// The name of the text, made when it is new; false when memory is exhausted.
    bool find(std::string_view text, GraphName& name)
    {
        try {
            auto found = m_names.find(text);
            if (found == m_names.end()) {
                GraphName made;
                if (!made.assign(text))
                    return false;
                found = m_names.emplace(made.view(), made).first;
            }
            name = found->second;
            return true;
        } catch (const std::bad_alloc&) {
            return false;
        }
    }

private:
    static EndNames*& current()
    {
        static EndNames* names = nullptr;
        return names;
    }
    std::unordered_map<std::string_view, GraphName> m_names; ///< keyed by the names' own characters
};

} // namespace

bool assignEndName(GraphName& name, std::string_view text)
{
    if (text.empty())
        return name.assign(text);
    EndNames* names = EndNames::get();
    return names && names->find(text, name);
}

bool setBondEndSub(BondRec* bond, int i, SubclassRec* sub, const ExprList& nodeindex,
                   std::string_view portName, const ExprList& portIndex)
{
    if (!bond || !sub || i < 0 || i > 1)
        return false;
    ConnEnd& end = bond->con[i];
    end.type = END_SUB;
    end.node = sub;
    end.nodeindex = nodeindex;
    if (!assignEndName(end.name, intern_name(portName)))
        return false;
    end.index = portIndex;
    linkEndAt(sub, bond, i);
    return true;
}

void setBondEndPort(BondRec* bond, int i, PortRec* port, const ExprList& index)
{
    if (!bond || !port || i < 0 || i > 1)
        return;
    ConnEnd& end = bond->con[i];
    end.type = END_POR;
    end.node = port;
    end.index = index;
    port->bond = bond;
}

bool setSigconEndIo(SigconRec* sig, int i, std::int16_t type, IoRec* io, const ExprList& index)
{
    if (!sig || !io || i < 0 || i > 1)
        return false;
    ConnEnd& end = sig->con[i];
    end.type = type;
    end.node = io;
    end.index = index;
    return io->signals.pushFront(sig) != nullptr;
}

bool setSigconEndSub(SigconRec* sig, int i, std::int16_t type, SubclassRec* sub,
                     const ExprList& nodeindex, std::string_view ioName, const ExprList& ioIndex)
{
    if (!sig || !sub || i < 0 || i > 1)
        return false;
    ConnEnd& end = sig->con[i];
    end.type = type;
    end.node = sub;
    end.nodeindex = nodeindex;
    if (!assignEndName(end.name, intern_name(ioName)))
        return false;
    end.index = ioIndex;
    linkEndAt(sub, sig, i);
    return true;
}

ConnectionRec* buildConnection(GraphBody* body, const ParsedConnection& parsed)
{
    if (!body)
        return nullptr;
    if (parsed.kind == 1 || parsed.kind == 2) {
        BondRec* bond = newBond(body);
        if (!bond)
            return nullptr;
        for (int i = 0; i < 2; ++i) {
            const ParsedEnd& e = parsed.ends[i];
            if (e.type == END_SUB) {
                if (!setBondEndSub(bond, i, static_cast<SubclassRec*>(e.node), e.nodeindex, e.name, e.index))
                    return nullptr;
            } else if (e.type == END_POR) {
                setBondEndPort(bond, i, static_cast<PortRec*>(e.node), e.index);
            }
        }
        setBondDim(bond, parsed.dim);
        setBondDir(bond, parsed.dir);
        setBondCaus(bond, parsed.caus);
        return bond;
    }
    if (parsed.kind >= 3 && parsed.kind <= 6) {
        SigconRec* sig = newSigcon(body);
        if (!sig)
            return nullptr;
        for (int i = 0; i < 2; ++i) {
            const ParsedEnd& e = parsed.ends[i];
            bool ok = true;
            if (e.type >= END_SINP) {
                // The direction decides which subclass end is the source.
                std::int16_t type = (parsed.dir == 1) == (i == 0) ? END_SOUT : END_SINP;
                ok = setSigconEndSub(sig, i, type, static_cast<SubclassRec*>(e.node), e.nodeindex, e.name,
                                     e.index);
            } else if (e.type == END_INP || e.type == END_OUT) {
                ok = setSigconEndIo(sig, i, e.type, static_cast<IoRec*>(e.node), e.index);
            }
            if (!ok)
                return nullptr;
        }
        setBondDim(sig, parsed.dim);
        setBondDir(sig, parsed.dir);
        setBondCaus(sig, parsed.caus);
        return sig;
    }
    return nullptr;
}

// ---------------------------------------------------------------------------
// Expression nodes

namespace {

ExprNode* newNode(int kind)
{
    ExprNode* node = ProcessingArena().make<ExprNode>();
    if (node)
        node->setKind(kind);
    return node;
}

} // namespace

ExprNode* makeOperator(ExprNode* left, ExprNode* right, int kind)
{
    ExprNode* node = newNode(kind);
    if (!node)
        return nullptr;
    node->setLeft(left);
    node->setRight(right);
    if (left)
        node->flags |= left->flags;
    if (right)
        node->flags |= right->flags;
    return node;
}

void setExtra(ExprNode* node, ExprNode* extra)
{
    if (!node)
        return;
    node->setExtra(extra);
    if (extra && node->kind == TK_IF)
        node->flags |= extra->flags;
}

ExprNode* makeLeaf(int selector, SectionLink* record, int kind, ExprNode* extra, const ExprList& index)
{
    ExprNode* node = newNode(kind);
    if (!node)
        return nullptr;
    node->selector = selector;
    node->setExtra(extra);
    if (isNameKind(kind)) {
        node->setRecord(record);
        node->setIndex(index);
    } else {
        assert(!record && index.empty() && "only name references have a record and indices");
    }
    return node;
}

ExprNode* makeRealConstant(std::string_view text)
{
    std::string copy(text);
    char* end = nullptr;
    double value = std::strtod(copy.c_str(), &end);
    if (copy.empty() || *end != '\0')
        return nullptr;
    return makeRealConstant(value);
}

ExprNode* makeRealConstant(double value)
{
    ExprNode* node = newNode(TK_REAL);
    if (node) {
        node->setRealValue(value);
        node->flags = 1;
    }
    return node;
}

ExprNode* makeIntegerConstant(std::string_view text)
{
    const std::optional<std::int32_t> value = IntegerLiteral(text);
    return value ? makeIntegerConstant(*value) : nullptr;
}

ExprNode* makeIntegerConstant(std::int32_t value)
{
    ExprNode* node = newNode(TK_INTEGER);
    if (node) {
        node->setIntValue(value);
        node->flags = 1;
    }
    return node;
}

ExprNode* makeBooleanConstant(bool value)
{
    ExprNode* node = newNode(TK_BOOLEAN);
    if (node) {
        node->setIntValue(value ? 1 : 0);
        node->flags = 1;
    }
    return node;
}

ExprNode* makeFunctionCall(int function, const ExprList& args)
{
    ExprNode* node = newNode(TK_FUNCTIONNAME);
    if (!node)
        return nullptr;
    node->function = function;
    node->setArgs(args);
    return node;
}

ExprNode* makeConditional(ExprNode* c, ExprNode* x, ExprNode* y)
{
    ExprNode* node = makeOperator(c, x, TK_IF);
    setExtra(node, y);
    return node;
}

namespace {

/// Links every name and time node of the expression in front of `head`, each after the names in
/// its indices, in text order. A name's `extra` is the chain's link.
void collectChain(ExprNode* root, ExprNode*& head)
{
    forEachName(
        root, true, [](int kind) { return isNameKind(kind) || kind == TK_TIME; },
        [&head](ExprNode* node) {
            node->setExtra(head);
            head = node;
        });
}

} // namespace

void rebuildVariableChain(EquationRec* eq)
{
    if (!eq)
        return;
    ExprNode* head = nullptr;
    collectChain(eq->left, head);
    collectChain(eq->right, head);
    eq->variables = head;
}

// ---------------------------------------------------------------------------
// Lookups

ConnEnd* connectionEndOf(ConnectionRec* conn, const SectionLink* node)
{
    int i = whichEnd(conn, node);
    return i < 0 ? nullptr : &conn->con[i];
}

int whichEnd(const ConnectionRec* conn, const SectionLink* node)
{
    if (!conn || !node)
        return -1;
    if (conn->con[0].node == node)
        return 0;
    if (conn->con[1].node == node)
        return 1;
    return -1;
}

ConnEnd* otherEnd(ConnectionRec* conn, const SectionLink* node)
{
    int i = whichEnd(conn, node);
    return i < 0 ? nullptr : &conn->con[1 - i];
}

std::vector<const ExprNode*> coveredIndexEntries(const EndIndices& end, const SubclassRec* sub)
{
    std::vector<const ExprNode*> entries;
    for (const ExprNode* e : end.nodeindex)
        entries.push_back(e);
    const std::size_t instanceDimensions = sub ? static_cast<std::size_t>(sub->dim.count()) : 0;
    if (entries.size() < instanceDimensions)
        entries.resize(instanceDimensions, nullptr);
    for (const ExprNode* e : end.index)
        entries.push_back(e);
    return entries;
}

bool literalBounds(const ExprNode* entry, std::int64_t& lo, std::int64_t& hi)
{
    if (!entry)
        return false;
    if (entry->kind == TK_INTEGER) {
        lo = hi = entry->intValue();
        return true;
    }
    if (entry->kind == TK_UPTO) {
        const ExprNode* left = entry->left();
        const ExprNode* right = entry->right();
        if (left && right && left->kind == TK_INTEGER && right->kind == TK_INTEGER) {
            lo = left->intValue();
            hi = right->intValue();
            return true;
        }
    }
    return false;
}

bool forEachCoveredElement(const std::vector<std::int64_t>& sizes, const std::vector<const ExprNode*>& entries,
                           const std::function<void(std::int64_t element)>& visit)
{
    std::vector<std::int64_t> lo(sizes.size()), hi(sizes.size());
    for (std::size_t k = 0; k < sizes.size(); ++k) {
        const ExprNode* e = k < entries.size() ? entries[k] : nullptr;
        if (!e) {
            lo[k] = 1;
            hi[k] = sizes[k];
        } else if (!literalBounds(e, lo[k], hi[k])) {
            return false;
        }
        if (lo[k] < 1 || hi[k] > sizes[k] || lo[k] > hi[k])
            return false;
    }
    std::vector<std::int64_t> at(lo);
    for (;;) {
        std::int64_t element = 0;
        for (std::size_t k = 0; k < sizes.size(); ++k)
            element = element * sizes[k] + (at[k] - 1);
        visit(element);
        std::size_t k = sizes.size();
        while (k > 0 && at[k - 1] == hi[k - 1]) {
            at[k - 1] = lo[k - 1];
            --k;
        }
        if (k == 0)
            return true;
        ++at[k - 1];
    }
}

BondRec* subclassNthBondAtPort(SubclassRec* sub, std::string_view portName, int n)
{
    if (!sub || n < 1)
        return nullptr;
    for (BondRec* bond : bondsAt(sub)) {
        const ConnEnd* end = connectionEndOf(bond, sub);
        if (end && end->name == portName && --n == 0)
            return bond;
    }
    return nullptr;
}

BondRec* subclassBondAtPort(SubclassRec* sub, std::string_view portName)
{
    return subclassNthBondAtPort(sub, portName, 1);
}

namespace {

SigconRec* signalAt(SubclassRec* sub, std::int16_t type, std::string_view name)
{
    for (SigconRec* sig : ConnectionsAt<SigconRec>(sub, type))
        for (const ConnEnd& end : sig->con)
            if (end.node == sub && end.type == type && end.name == name)
                return sig;
    return nullptr;
}

} // namespace

SigconRec* subclassInputSignal(SubclassRec* sub, std::string_view ioName)
{
    return sub ? signalAt(sub, END_SINP, ioName) : nullptr;
}

SigconRec* subclassOutputSignal(SubclassRec* sub, std::string_view ioName)
{
    return sub ? signalAt(sub, END_SOUT, ioName) : nullptr;
}

PortRec* findPort(ClassRec* cls, std::string_view name)
{
    if (!cls)
        return nullptr;
    for (PortRec* port : cls->ports)
        if (port->name == name)
            return port;
    return nullptr;
}

unsigned char bondCausalityFrom(const ConnectionRec* bond, int end)
{
    if (!bond)
        return CAUS_NONE;
    if (end == 0)
        return bond->caus;
    switch (bond->caus) {
    case CAUS_ECY: return CAUS_FCY;
    case CAUS_FCY: return CAUS_ECY;
    case CAUS_USER_E: return CAUS_USER_F;
    case CAUS_USER_F: return CAUS_USER_E;
    default: return CAUS_NONE;
    }
}

// ---------------------------------------------------------------------------
// Counts

int ttcount_ports(const ClassRec* cls) { return cls ? cls->ports.count() : 0; }

int ttcount_ios(const ClassRec* cls, int which)
{
    if (!cls)
        return 0;
    return which == 3 ? cls->inputs.count() : which == 4 ? cls->outputs.count() : 0;
}

int countSubclasses(const ClassRec* cls) { return cls && cls->graph ? cls->graph->subclasses.count() : 0; }
int countBonds(const ClassRec* cls) { return cls && cls->graph ? cls->graph->bonds.count() : 0; }
int countSigcons(const ClassRec* cls) { return cls && cls->graph ? cls->graph->sigcons.count() : 0; }

std::int64_t literalSize(const ExprNode* node)
{
    if (!node)
        return -1;
    if (node->kind == TK_INTEGER)
        return node->intValue();
    if (node->kind == TK_UPTO) {
        const ExprNode* left = node->left();
        const ExprNode* right = node->right();
        if (left && right && left->kind == TK_INTEGER && right->kind == TK_INTEGER)
            return static_cast<std::int64_t>(right->intValue()) - left->intValue() + 1;
    }
    return -1;
}

std::int64_t elementCount(const ExprList& dim)
{
    std::int64_t count = 1;
    for (const ExprNode* d : dim) {
        std::int64_t size = literalSize(d);
        count *= size < 0 ? 0 : size;
    }
    return count;
}

namespace {

/// The names of the model files equations were read from: few, whatever the run.
struct SourceFiles {
    std::vector<std::string> names{std::string()};
    std::unordered_map<std::string, std::uint16_t> numbers;
};

SourceFiles& sourceFiles()
{
    static SourceFiles files;
    return files;
}

} // namespace

std::uint16_t sourceFileNumber(const std::string& name)
{
    SourceFiles& files = sourceFiles();
    if (const auto it = files.numbers.find(name); it != files.numbers.end())
        return it->second;
    if (files.names.size() > UINT16_MAX)
        return 0;
    const auto number = static_cast<std::uint16_t>(files.names.size());
    files.names.push_back(name);
    files.numbers.emplace(name, number);
    return number;
}

const std::string& sourceFileName(std::uint16_t number)
{
    const SourceFiles& files = sourceFiles();
    return number < files.names.size() ? files.names[number] : files.names.front();
}

KnownSizes knownSizes(const ExprList& dim)
{
    KnownSizes sizes;
    for (const ExprNode* d : dim) {
        const std::int64_t size = literalSize(d);
        sizes.push_back(d && (d->kind == TK_INTEGER || size >= 0) ? std::optional<std::int64_t>(size) : std::nullopt);
    }
    return sizes;
}

Dimensions dimensionsOf(const VarRec& var)
{
    Dimensions d;
    int n = 0;
    for (const ExprNode* size : var.dim) {
        std::int64_t value = literalSize(size);
        if (value < 0)
            value = 0;
        if (n == 0)
            d.rows = value;
        else if (n == 1)
            d.cols = value;
        ++n;
    }
    d.count = n;
    return d;
}

std::int64_t literalElement(const ExprNode* ref)
{
    if (!ref)
        return -1;
    if (!isNameKind(ref->kind))
        return 0; // no indices
    std::int64_t i = 1;
    std::int64_t j = 1;
    int n = 0;
    for (const ExprNode* index : ref->index()) {
        if (!index || index->kind != TK_INTEGER)
            return -1;
        (n == 0 ? i : j) = index->intValue();
        ++n;
    }
    if (n == 0)
        return 0;
    const VarRec* var = ref->kind >= TK_PARAMETERNAME ? ref->var() : nullptr;
    std::int64_t cols = var && n == 2 ? dimensionsOf(*var).cols : 1;
    return n == 2 ? (i - 1) * cols + (j - 1) : i - 1;
}
