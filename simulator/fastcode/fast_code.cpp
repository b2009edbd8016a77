// The fast-code compiler: a size pass and an emission pass per table over the rows'
// emitters, one executable block per table, and the choice between native code and
// the interpreter.
#include "simulator/fastcode/fast_code.h"

#include "common/message_boxes.h"
#include "common/settings_table.h"
#include "simulator/fastcode/code_emitters.h"
#include "platform/core/executable_memory.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <iterator>

#if defined(__linux__)
#include <ucontext.h>
#endif

namespace {

struct CompiledTable {
    platform::ExecutableMemory memory;
    std::vector<std::uint32_t> offsets;
    std::vector<RowLoop> loops;
};

std::array<CompiledTable, TableCount> g_compiled;
ModelEvaluatorSet g_entries;
bool g_built = false;
std::uint64_t g_fingerprint = 0;

/// A hash of every row of every table: the blocks hold the rows' addresses.
std::uint64_t tablesFingerprint()
{
    std::uint64_t hash = 1469598103934665603u;
    auto mix = [&hash](std::uint64_t value) {
        hash ^= value;
        hash *= 1099511628211u;
    };
    auto address = [](const void* p) { return std::uint64_t(reinterpret_cast<std::uintptr_t>(p)); };
    for (const InstructionTable& table : InstructionTables()) {
        mix(address(table.rows.data()));
        mix(table.rows.size());
        for (const Instruction& row : table.rows) {
            mix(std::uint64_t(reinterpret_cast<std::uintptr_t>(row.handler)));
            mix(address(row.destination));
            mix(address(row.operand1));
            mix(address(row.operand2));
        }
        mix(address(table.details.data()));
        for (const InstructionDetail& detail : table.details) {
            mix(address(detail.privateMemory));
            mix(std::uint64_t(detail.extent));
        }
    }
    return hash;
}

/// Gives up native code: no blocks, and the interpreter from now on.
bool fail(const char* message)
{
    FreeFastCode();
    Settings().warp = 0;
    if (message)
        ShowMessage({message});
    return false;
}

/// Sizes, allocates and emits the block of one table, each row by the emitter of its operation;
/// false when memory was refused.
bool compileTable(InstructionTable& table, const std::vector<CodeEmitter>& emitters, CompiledTable& compiled)
{
    std::vector<Instruction>& rows = table.rows;
    CodeEmission emission;
    ChooseCellBase(rows, emission);
    emission.sizeOnly = true;
    emission.firstRow = rows.data();
    compiled.loops = FindRowLoops(rows, emission);
    compiled.offsets.assign(rows.size(), 0);
    std::size_t size = PrologueSize;
    auto loop = compiled.loops.begin();
    for (std::size_t i = 0; i < rows.size();) {
        compiled.offsets[i] = std::uint32_t(size);
        if (loop != compiled.loops.end() && loop->first == i) {
            size += EmitRowLoop(emission, *loop, std::uint32_t(size));
            // The later repetitions' rows share the body: their offset is the loop's tail.
            for (std::size_t k = 1; k < loop->period; ++k)
                compiled.offsets[i + k] = loop->body[k];
            const std::size_t next = i + loop->period * loop->repeats;
            for (std::size_t j = i + loop->period; j < next; ++j)
                compiled.offsets[j] = loop->tail;
            i = next;
            ++loop;
        } else {
            emission.instruction = &rows[i];
            size += emitters[i](&emission);
            ++i;
        }
        if (size > std::size_t(INT32_MAX) / 2)
            return false; // beyond the reach of the jumps' 32-bit displacements
    }
    const std::size_t exitOffset = size;
    size += EpilogueSize;
    if (!compiled.memory.allocate(size))
        return false;

    emission.sizeOnly = false;
    emission.blockStart = compiled.memory.data();
    emission.cursor = emission.blockStart;
    emission.offsets = &compiled.offsets;
    emission.exitOffset = std::uint32_t(exitOffset);
    EmitPrologue(emission.cursor, emission.cellBase);
    loop = compiled.loops.begin();
    for (std::size_t i = 0; i < rows.size();) {
        // The jumps were resolved from the sizes counted: every row must start where counted.
        const std::size_t at = std::size_t(emission.cursor - emission.blockStart);
        if (at != compiled.offsets[i])
            return false;
        if (loop != compiled.loops.end() && loop->first == i) {
            const std::uint32_t end = loop->end;
            EmitRowLoop(emission, *loop, std::uint32_t(at));
            if (std::size_t(emission.cursor - emission.blockStart) != end)
                return false;
            i += loop->period * loop->repeats;
            ++loop;
        } else {
            emission.instruction = &rows[i];
            emitters[i](&emission);
            ++i;
        }
    }
    if (std::size_t(emission.cursor - emission.blockStart) != exitOffset)
        return false;
    // A table that ends without an `end` row must not run past its code.
    EmitEpilogue(emission.cursor);
    return compiled.memory.makeExecutable();
}

/// The table whose block holds a code address, with the address's offset there; -1 when none.
int tableAt(std::uintptr_t address, std::uint32_t& offset)
{
    for (int i = 0; i < TableCount; ++i) {
        const auto start = reinterpret_cast<std::uintptr_t>(g_compiled[i].memory.data());
        if (start && address >= start && address - start < g_compiled[i].memory.size()) {
            offset = std::uint32_t(address - start);
            return i;
        }
    }
    return -1;
}

/// The loop of a block whose code holds an offset, or null.
const RowLoop* loopAt(const CompiledTable& compiled, std::uint32_t offset)
{
    const auto loop = std::upper_bound(compiled.loops.begin(), compiled.loops.end(), offset,
                                       [](std::uint32_t at, const RowLoop& l) { return at < l.head; });
    return loop == compiled.loops.begin() || offset >= std::prev(loop)->end ? nullptr : &*std::prev(loop);
}

/// The row of a loop whose code holds a block offset, or null when the offset is outside it.
Instruction* rowInLoop(const RowLoop& loop, std::uint32_t offset, std::vector<Instruction>& rows)
{
    if (offset < loop.head || offset >= loop.end)
        return nullptr;
    if (offset < loop.body[0])
        return &rows[loop.first];
    // In a body of several lanes the repetition stored is the first lane's; the retry and the
    // last repetitions store each repetition as they run it.
    const std::size_t repetition = std::min<std::size_t>(std::size_t(LoopRepetitionCell()), loop.repeats - 1);
    auto rowOf = [&](const std::vector<std::uint32_t>& code) {
        const auto k = std::size_t(std::upper_bound(code.begin(), code.end(), offset) - code.begin()) - 1;
        return &rows[loop.first + repetition * loop.period + k % loop.period];
    };
    if (!loop.retry.empty() && offset >= loop.retry[0])
        return rowOf(loop.retry);
    if (!loop.rest.empty() && offset >= loop.rest[0])
        return rowOf(loop.rest);
    if (offset < loop.tail)
        return rowOf(loop.body);
    return &rows[loop.first + repetition * loop.period + loop.period - 1];
}

} // namespace

bool BuildFastCode()
{
    FreeFastCode();
    InstallCodeEmitters();
    auto& tables = InstructionTables();
    std::array<std::vector<CodeEmitter>, TableCount> emitters;
    for (int i = 0; i < TableCount; ++i) {
        // Rows of one operation follow one another in long runs: the last lookup serves the next row.
        OperationHandler handler = nullptr;
        CodeEmitter emitter = nullptr;
        emitters[std::size_t(i)].reserve(tables[std::size_t(i)].rows.size());
        for (const Instruction& row : tables[std::size_t(i)].rows) {
            if (row.handler != handler || !emitter) {
                handler = row.handler;
                emitter = EmitterOf(handler);
            }
            if (!emitter)
                return fail("Using normal code...");
            emitters[std::size_t(i)].push_back(emitter);
        }
    }
    for (int i = 0; i < TableCount; ++i)
        if (!compileTable(tables[std::size_t(i)], emitters[std::size_t(i)], g_compiled[std::size_t(i)]))
            return fail("Error allocation memory");
    auto entry = [](int i) { return reinterpret_cast<void (*)()>(g_compiled[i].memory.data()); };
    g_entries = {entry(0), entry(1), entry(2), entry(3)};
    g_fingerprint = tablesFingerprint();
    g_built = true;
    return true;
}

void FreeFastCode()
{
    for (CompiledTable& compiled : g_compiled) {
        compiled.memory.release();
        compiled.offsets.clear();
        compiled.loops.clear();
    }
    g_entries = ModelEvaluatorSet{};
    g_built = false;
}

bool FastCodeBuilt() { return g_built; }

const ModelEvaluatorSet* ChosenFastCode()
{
    if (!g_built || !Settings().warp)
        return nullptr;
    if (tablesFingerprint() != g_fingerprint) {
        FreeFastCode();
        return nullptr;
    }
    return &g_entries;
}

const std::uint8_t* FastCodeBlock(int table)
{
    return table >= 0 && table < TableCount ? g_compiled[table].memory.data() : nullptr;
}

std::size_t FastCodeBlockSize(int table)
{
    return table >= 0 && table < TableCount ? g_compiled[table].memory.size() : 0;
}

Instruction* FastCodeRowAt(std::uintptr_t address)
{
    std::uint32_t offset = 0;
    const int table = g_built ? tableAt(address, offset) : -1;
    if (table < 0 || g_compiled[table].offsets.empty())
        return nullptr;
    const CompiledTable& compiled = g_compiled[table];
    auto& rows = InstructionTables()[std::size_t(table)].rows;
    if (const RowLoop* loop = loopAt(compiled, offset))
        return rowInLoop(*loop, offset, rows);
    // The last row whose code starts at or before the address (the prologue counts to row 0).
    const auto after = std::upper_bound(compiled.offsets.begin(), compiled.offsets.end(), offset);
    const std::size_t row = after == compiled.offsets.begin() ? 0 : std::size_t(after - compiled.offsets.begin()) - 1;
    return &rows[row];
}

bool ResumeTrapInLoopLanes(void* context)
{
#if defined(__x86_64__) && defined(__linux__)
    if (!g_built || !context)
        return false;
    auto* machine = &static_cast<ucontext_t*>(context)->uc_mcontext;
    std::uint32_t offset = 0;
    const int table = tableAt(std::uintptr_t(machine->gregs[REG_RIP]), offset);
    const RowLoop* loop = table < 0 ? nullptr : loopAt(g_compiled[table], offset);
    if (!loop || loop->lanes < 2 || offset < loop->body[0] || offset >= loop->tail)
        return false;
    const auto k = std::size_t(std::upper_bound(loop->body.begin(), loop->body.end(), offset) - loop->body.begin()) - 1;
    const auto start = reinterpret_cast<std::uintptr_t>(g_compiled[table].memory.data());
    machine->gregs[REG_RIP] = greg_t(start + loop->retryEntries[k]);
    if (machine->fpregs)
        machine->fpregs->mxcsr &= ~0x3Fu; // the flags of the trapped operation
    return true;
#else
    (void)context;
    return false;
#endif
}

const std::vector<std::uint32_t>& FastCodeOffsets(int table)
{
    static const std::vector<std::uint32_t> none;
    return table >= 0 && table < TableCount ? g_compiled[table].offsets : none;
}
