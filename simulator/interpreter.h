// The model's instruction tables and their interpreter: the instruction record,
// the table of the 66 operations, the four model evaluators and the operations
// that keep state between evaluations.
#pragma once

#include <array>
#include <csignal>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

using OperationHandler = void (*)();
/// Where the fast-code compiler emits the current instruction (defined by the compiler).
struct CodeEmission;
/// Native-code emitter of an operation: when the emission asks for the size only (or is null)
/// it returns the bytes its pattern takes; otherwise it writes the pattern of the emission's
/// instruction at its cursor and returns 0.
using CodeEmitter = std::size_t (*)(CodeEmission* emission);

/// One row of an instruction table: three addresses over 64-bit reals. The row holds only what
/// every pass reads, so that a long table streams through the caches at 32 bytes a row; what
/// a few operations need besides lies in the row's `InstructionDetail`.
struct Instruction {
    OperationHandler handler = nullptr;
    double* destination = nullptr;      ///< result cell; for `plf` and `rst` a cell that is only read;
                                        ///< for a jump the target row (`JumpTarget`), not a cell
    double* operand1 = nullptr;
    double* operand2 = nullptr;
};
static_assert(sizeof(Instruction) == 32, "a row is four words");

/// What only some operations need of their row, beside the table's rows.
struct InstructionDetail {
    void* privateMemory = nullptr;      ///< state of `tdl` and `dll`
    std::int64_t extent = 0;            ///< cells of the array operand of `mar`, `mra`, `hlg`, `flk`;
                                        ///< a jump's target row number while its table is read
};

/// Operand shapes of the mnemonics (also the reader's token numbers).
enum OperandShape {
    ShapeNone = 0x144,    ///< `end`
    ShapeTime = 0x145,    ///< `tim`: destination only
    ShapeOne = 0x146,     ///< destination and one operand
    ShapeTwo = 0x147,     ///< destination and two operands
    ShapeJump = 0x148,    ///< target
    ShapeCondJump = 0x149 ///< target and condition
};

struct OpcodeRow {
    const char* mnemonic;
    int token;
    OperationHandler handler;
    CodeEmitter emitter;
};

/// The 66 operations, sorted by mnemonic.
extern std::array<OpcodeRow, 66> OpcodeTable;

/// The row of a mnemonic (exact, case-sensitive), or null.
const OpcodeRow* FindOpcode(std::string_view mnemonic);

/// The row of a handler, or null.
const OpcodeRow* OpcodeOfHandler(OperationHandler handler);

/// The handler of `end`, which every table ends with.
OperationHandler EndHandler();

/// True for the handlers of the jumps (`jmp` and the conditional ones).
bool IsJumpHandler(OperationHandler handler);

/// The row a jump goes to (its `destination` word); null for a row that is not a jump.
Instruction* JumpTarget(const Instruction& row);
void SetJumpTarget(Instruction& row, Instruction* target);

/// One instruction table: the rows read, then one `end` row, and the detail of each row (a row
/// without one has none of its own: no private memory, extent 0).
struct InstructionTable {
    bool allocated = false;
    std::int64_t declaredCount = 0;
    std::vector<Instruction> rows;
    std::vector<InstructionDetail> details;
};

inline constexpr int TableCount = 4;
inline constexpr std::array<const char*, TableCount> TableNames = {"initialization", "excitation", "dynamic-model", "output"};

std::array<InstructionTable, TableCount>& InstructionTables();

/// Frees the tables, the private memory and the delay samples.
void ClearInstructionTables();

/// The detail of a row of one of the four tables; a row without one (or outside them) reads
/// as an empty detail.
const InstructionDetail& DetailOf(const Instruction* row);

/// Zeroed state for the handlers that keep some (`tdl`, `dll`); null for the others.
void* PrivateMemoryFor(OperationHandler handler);

/// Runs rows from the first until an `end` row.
void RunInstructionTable(InstructionTable& table);

/// The row being executed.
extern Instruction* InstructionCursor;

/// 1 while the model's own code runs, interpreted or native, through one of the four
/// evaluators; a trap handler reads it to tell a fault of the model's equations from one
/// of the integration method's. A jump out of the model's code leaves it set: the recovery
/// point clears it.
extern volatile std::sig_atomic_t InUserModel;

/// The registers a user function is called with, set by `hlg` and `flk`.
struct UserCallRegisters {
    double* inputs = nullptr;
    int inputCount = 0;
    double* outputs = nullptr;
    int outputCount = 0;
};
extern UserCallRegisters UserCall;

/// The four entry points through which the integration methods reach the model.
struct ModelEvaluatorSet {
    void (*initialization)() = nullptr;
    void (*excitation)() = nullptr;
    void (*dynamic)() = nullptr;
    void (*output)() = nullptr;
};
extern ModelEvaluatorSet ModelEvaluators;

/// Installs the interpreting evaluators (or the given native ones); true when a table holds a `tdl`.
bool SelectModelEvaluators(const ModelEvaluatorSet* native = nullptr);

/// Sets the simulation time and evaluates the dynamic model.
void EvaluateModel(double t);

/// Gives every delay sample of this evaluation its final value and drops released samples.
void CommitDelaySamples();

/// Which table holds the cursor: returns minus the row index and sets the table's
/// index and name; -1, 0 and "???" when the cursor is in no table.
std::int64_t LocateInstruction(int& tableIndex, std::string& tableName);

/// The maths-library routine an operation computes with (`sin`, `log`, ...; `at2`, `mod`,
/// `pow`, `ipw` for the two-argument ones), so that native code calls the very same routine; null
/// for every other operation.
using UnaryMaths = double (*)(double);
using BinaryMaths = double (*)(double, double);
UnaryMaths UnaryMathsOf(OperationHandler handler);
BinaryMaths BinaryMathsOf(OperationHandler handler);

/// The maths-library function itself behind an operation's checked routine (of `UnaryMathsOf`
/// or `BinaryMathsOf`), with the name its errors are reported by; empty for other operations.
/// Native code calls the function with the marker of `RunningMathsCall` set as the checked
/// routine sets it, and calls the checked routine only for a result that is not plain (see
/// `PlainExponentLow`).
struct RawMaths {
    const char* function = nullptr;
    UnaryMaths unary = nullptr;
    BinaryMaths binary = nullptr;
};
RawMaths RawMathsOf(OperationHandler handler);

/// The maths routine running now and its first argument (the function is null between calls).
struct MathsCallMarker {
    const char* function = nullptr;
    double argument = 0.0;
};
MathsCallMarker& RunningMathsCall();

/// Exponent field range of a plain result, finite and of magnitude 2^-1000 or more: a result
/// whose exponent field e has e - PlainExponentLow < PlainExponentSpan (unsigned) came with no
/// error flag raised.
inline constexpr unsigned PlainExponentLow = 1023 - 1000;
inline constexpr unsigned PlainExponentSpan = 0x7FF - PlainExponentLow;

/// Kinds of maths-library error, as the error messages number them.
enum MathsErrorKind { MathsDomainError = 1, MathsSingularityError = 2, MathsOverflowError = 3, MathsUnderflowError = 4 };

/// Told when a maths routine of the operations raises an invalid, division-by-zero,
/// overflow or underflow flag, with the routine's name and first argument; it may end the
/// pass without returning (siglongjmp). Without a handler those flags are left raised.
/// The routines run with the traps as they are: with the invalid or division-by-zero trap
/// on, such an error traps inside the routine instead (see `TakeInterruptedMathsCall`).
using MathsErrorHandler = void (*)(int kind, const char* function, double argument);
/// Installs the maths error handler (null for none); returns the previous one.
MathsErrorHandler SetMathsErrorHandler(MathsErrorHandler handler);

/// The maths routine a trap interrupted (null when the trap came from elsewhere), with its
/// first argument; forgets it.
const char* TakeInterruptedMathsCall(double& argument);

/// The generator behind `ran`: 0..32767.
int RandomInteger15();
void SeedRandomGenerator(std::uint32_t seed);
