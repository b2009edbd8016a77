// The fast code: the four instruction tables compiled to native x86-64 blocks that
// the model evaluators call instead of interpreting the tables.
#pragma once

#include "simulator/interpreter.h"

#include <cstddef>
#include <cstdint>
#include <vector>

/// Compiles the four tables into one block each. On failure it shows why, switches the
/// "warp" setting off in memory and leaves no block; true when every block was built.
bool BuildFastCode();

/// Releases every block and forgets it.
void FreeFastCode();

/// True while blocks built by `BuildFastCode` exist (the fast-code switch).
bool FastCodeBuilt();

/// The native evaluators for the coming run: the blocks while they exist, match the tables
/// they were built from and the "warp" setting is On; else null (the interpreter runs).
/// Blocks whose tables have changed since the build are released.
const ModelEvaluatorSet* ChosenFastCode();

/// The block of a table (null when none) and its size in bytes, for inspection.
const std::uint8_t* FastCodeBlock(int table);
std::size_t FastCodeBlockSize(int table);

/// The row whose native code holds a code address (where a trap came from), or null when the
/// address lies in no block.
Instruction* FastCodeRowAt(std::uintptr_t address);

/// Called by the trap handler with its machine context: a trap inside a loop that runs two or
/// four repetitions at a time is made to resume where the loop runs them again one repetition
/// at a time, so that the trap comes on the row and with the cells of the rows run one by one.
/// True when the context was changed so (the handler then returns at once).
bool ResumeTrapInLoopLanes(void* context);

/// The code offset of every row of a table in its block.
const std::vector<std::uint32_t>& FastCodeOffsets(int table);
