// The x86-64 code pattern of every operation: fixed-size SSE2 sequences over the
// absolute addresses of an instruction's cells, calls of the maths library and of
// the interpreter's own routines, and jumps in a short or a long form.
#pragma once

#include "simulator/interpreter.h"

#include <cstddef>
#include <cstdint>
#include <vector>

/// A cell of a row inside a loop body, reached through a register that advances by its stride
/// each repetition: [reg + displacement] holds the cell of the first repetition at its start.
struct LoopCell {
    const void* address = nullptr; ///< the cell in the first repetition
    std::uint8_t reg = 0;
    std::int32_t displacement = 0;
    std::int64_t stride = 0;       ///< bytes the cell moves a repetition
};

/// The compiler's state while it emits one instruction of a table.
struct CodeEmission {
    bool sizeOnly = false;         ///< only count the bytes of the pattern
    bool nearCells = false;        ///< cells within reach of a 32-bit displacement from `cellBase` are addressed from it
    std::uintptr_t cellBase = 0;   ///< held in rbx while the block runs
    std::uint8_t* blockStart = nullptr;
    std::uint8_t* cursor = nullptr;                     ///< where the next byte goes
    const Instruction* instruction = nullptr;           ///< the row being emitted
    const Instruction* firstRow = nullptr;              ///< row 0 of its table
    const std::vector<std::uint32_t>* offsets = nullptr; ///< code offset of every row of the table
    std::uint32_t exitOffset = 0;                       ///< offset of the block's final return
    const LoopCell* loopCells = nullptr;                ///< cells of a loop body's row (the others as outside)
    std::size_t loopCellCount = 0;
};

/// Rows that repeat: `period` rows, `repeats` times from row `first`, with the same operations
/// and every cell advancing by a constant stride from one repetition to the next. Its code is
/// one body of `period` patterns run `repeats` times, so that a long table of alike rows (a
/// chain of cells) takes little code instead of streaming megabytes of it through the processor
/// on every pass. The rows still run one by one in table order, with the same results.
struct RowLoop {
    struct Base {
        std::uintptr_t start = 0; ///< register value in the first repetition
        std::int64_t stride = 0;
        std::uint8_t reg = 0;
    };
    std::size_t first = 0, period = 0, repeats = 0;
    /// Repetitions run at a time: 1, or 2 in the halves of packed SSE2 registers, or 4 in the
    /// quarters of AVX registers (where the processor has AVX). Only where every row is an
    /// addition, subtraction, multiplication, division, square or copy, and no cell that one
    /// repetition writes is read or written by the `lanes - 1` repetitions before or after it,
    /// so that the lanes give the results, bit for bit, and the flags of the repetitions one
    /// after the other.
    std::size_t lanes = 1;
    std::vector<Base> bases;
    std::vector<LoopCell> cells;          ///< the cells of body row k at [cellStart[k], cellStart[k + 1])
    std::vector<std::uint32_t> cellStart;
    // Code offsets in the block, set by the passes.
    std::uint32_t head = 0;               ///< the loop's first byte (the offset of row `first`)
    std::vector<std::uint32_t> body;      ///< each body row's pattern
    std::uint32_t tail = 0;               ///< the advance of the registers and the count
    std::vector<std::uint32_t> rest;      ///< the last repetitions one at a time (repeats not a multiple of lanes)
    /// The way out of a trap in a loop of several lanes: a trap on body row k resumes at
    /// `retryEntries[k]`, which puts back the later lanes' cells that rows before k wrote (kept
    /// in xmm3 on as the lanes ran) and runs the first lane's repetition from row k and then the
    /// others' from row 0 one at a time (`retry`: their rows' code), so that the trap comes
    /// again where and with the cells the rows give one by one.
    std::vector<std::uint32_t> retryEntries;
    std::vector<std::uint32_t> retry;
    std::uint32_t end = 0;                ///< the byte after the loop
};

/// Rows that repeat often enough to be a loop, in table order, none holding a jump target
/// but at its first row; only rows of inline arithmetic, comparisons and copies take part.
std::vector<RowLoop> FindRowLoops(const std::vector<Instruction>& rows, const CodeEmission& emission);

/// Emits the loop at the emission's cursor (or only counts its bytes, returned then), and sets
/// its code offsets from `at`, its offset in the block.
std::size_t EmitRowLoop(CodeEmission& emission, RowLoop& loop, std::uint32_t at);

/// The repetition a loop is in, stored at the start of each (so that a trap's address finds its row).
std::uint64_t& LoopRepetitionCell();

/// With false, no rows are made loops (for tests of the straight code).
void AllowRowLoops(bool allowed);

/// Loops take at most `lanes` repetitions at a time (1, 2 or 4; 4 only where the processor has
/// AVX, else 2), for tests of each form; 4 unless set.
void LimitLoopLanes(std::size_t lanes);

/// Bytes of the prologue (saves rbx, which aligns the stack for calls, and loads the cell base)
/// and of each return.
inline constexpr std::size_t PrologueSize = 11;
inline constexpr std::size_t EpilogueSize = 2;

/// Writes the prologue or a return at the cursor and advances it.
void EmitPrologue(std::uint8_t*& cursor, std::uintptr_t cellBase);
void EmitEpilogue(std::uint8_t*& cursor);

/// Chooses the cell base of a table: the middle of the cells its rows name (and of the time,
/// the first-step flag, the cursor and the maths-call marker when these lie within reach too).
void ChooseCellBase(const std::vector<Instruction>& rows, CodeEmission& emission);

/// With false, every table takes the far form (64-bit addresses), as when its cells lie far
/// apart; for tests of that form.
void AllowNearCells(bool allowed);

/// Puts the emitter of every mnemonic into `OpcodeTable`.
void InstallCodeEmitters();

/// The emitter of an operation, or null for a handler outside `OpcodeTable`.
CodeEmitter EmitterOf(OperationHandler handler);
