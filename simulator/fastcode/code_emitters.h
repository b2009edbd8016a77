// The x86-64 code pattern of every operation: fixed-size SSE2 sequences over the
// absolute addresses of an instruction's cells, calls of the maths library and of
// the interpreter's own routines, and jumps in a short or a long form.
#pragma once

#include "simulator/interpreter.h"

#include <cstddef>
#include <cstdint>
#include <vector>

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
};

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
