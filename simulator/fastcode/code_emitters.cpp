// The x86-64 code patterns of the operations. Each instruction reaches a cell through a
// 32-bit displacement from rbx when the cell lies within 2 GB of the table's cell base,
// else through a 64-bit absolute address; it computes in SSE2 scalar doubles exactly as
// the interpreter's handlers do (the same operand order, and the same comparisons, quiet
// or signalling, so that the same floating-point flags are raised) and stores its result.
// Operations with run-time state call the interpreter's handler with the cursor on the row.
#include "simulator/fastcode/code_emitters.h"

#include "simulator/run_state.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <string_view>

namespace {

enum Reg : std::uint8_t { RAX = 0, RCX = 1, RDX = 2 };
enum Xmm : std::uint8_t { XMM0 = 0, XMM1 = 1, XMM2 = 2 };

// Predicates of cmpsd; EQ and NEQ are quiet, LT, LE and NLT signal on a NaN like `<`, `<=`.
enum Predicate : std::uint8_t { CmpEq = 0, CmpLt = 1, CmpLe = 2, CmpNeq = 4, CmpNlt = 5 };

// Opcodes of the short conditional jumps (7x rel8); the long form is 0F 8x rel32.
enum Condition : std::uint8_t { JB = 0x72, JAE = 0x73, JE = 0x74, JNE = 0x75, JA = 0x77, JP = 0x7A };


bool g_nearCellsAllowed = true;

/// Writes bytes at a cursor, or only counts them.
class CodeWriter {
public:
    /// A counting writer.
    CodeWriter() = default;
    CodeWriter(std::uint8_t* at, const std::uint8_t* blockStart) : m_at(at), m_start(blockStart) {}

    bool counting() const { return m_at == nullptr; }
    std::size_t count() const { return m_count; }
    std::uint8_t* at() const { return m_at; }
    /// Offset of the next byte in its block.
    std::int64_t position() const { return counting() ? 0 : m_at - m_start; }

    void byte(std::uint8_t b)
    {
        if (m_at)
            *m_at++ = b;
        ++m_count;
    }
    void bytes(std::initializer_list<std::uint8_t> list)
    {
        for (std::uint8_t b : list)
            byte(b);
    }
    void imm32(std::int32_t value)
    {
        for (int i = 0; i < 4; ++i)
            byte(std::uint8_t(std::uint32_t(value) >> (8 * i)));
    }
    void imm64(std::uint64_t value)
    {
        for (int i = 0; i < 8; ++i)
            byte(std::uint8_t(value >> (8 * i)));
    }

private:
    std::uint8_t* m_at = nullptr;
    const std::uint8_t* m_start = nullptr;
    std::size_t m_count = 0;
};

std::uint8_t modrm(std::uint8_t mod, std::uint8_t reg, std::uint8_t rm) { return std::uint8_t(mod << 6 | reg << 3 | rm); }

template <class T>
std::uint64_t bitsOf(T* pointer) { return std::uint64_t(reinterpret_cast<std::uintptr_t>(pointer)); }

std::uint64_t bitsOfFunction(void (*function)()) { return std::uint64_t(reinterpret_cast<std::uintptr_t>(function)); }

// ---- encodings: scratch registers rax, rcx, rdx and xmm0..xmm2 (caller-saved); rbx holds the
// cell base and is saved by the prologue ----

void movabs(CodeWriter& w, Reg reg, std::uint64_t value) { w.bytes({0x48, std::uint8_t(0xB8 + reg)}); w.imm64(value); }
void cmpSdReg(CodeWriter& w, Xmm x, Xmm y, Predicate p) { w.bytes({0xF2, 0x0F, 0xC2, modrm(3, x, y), p}); }
void movqRaxXmm0(CodeWriter& w) { w.bytes({0x66, 0x48, 0x0F, 0x7E, 0xC0}); }
void zeroXmm(CodeWriter& w, Xmm x) { w.bytes({0x66, 0x0F, 0x57, modrm(3, x, x)}); }
void callRax(CodeWriter& w) { w.bytes({0xFF, 0xD0}); }

/// Four bytes that do nothing (one instruction).
void nop4(CodeWriter& w) { w.bytes({0x0F, 0x1F, 0x40, 0x00}); }
void nop3(CodeWriter& w) { w.bytes({0x0F, 0x1F, 0x00}); }

bool fitsByte(std::int64_t d) { return d >= -128 && d <= 127; }

/// Code offset of a jump's target row.
std::int64_t targetOffset(const CodeEmission& e)
{
    return (*e.offsets)[std::size_t(JumpTarget(*e.instruction) - e.firstRow)];
}

/// A conditional jump in a 6-byte slot: 7x rel8 and a 4-byte no-op when the distance
/// fits a signed byte, else 0F 8x rel32.
void conditionalJump(CodeWriter& w, Condition condition, std::int64_t target)
{
    if (w.counting()) {
        w.bytes({0, 0, 0, 0, 0, 0});
        return;
    }
    const std::int64_t shortDistance = target - (w.position() + 2);
    if (fitsByte(shortDistance)) {
        w.bytes({condition, std::uint8_t(std::int8_t(shortDistance))});
        nop4(w);
    } else {
        w.bytes({0x0F, std::uint8_t(condition + 0x10)});
        w.imm32(std::int32_t(target - (w.position() + 4)));
    }
}

/// An unconditional jump in a 5-byte slot: EB rel8 and a 3-byte no-op, else E9 rel32.
void jump(CodeWriter& w, std::int64_t target)
{
    if (w.counting()) {
        w.bytes({0, 0, 0, 0, 0});
        return;
    }
    const std::int64_t shortDistance = target - (w.position() + 2);
    if (fitsByte(shortDistance)) {
        w.bytes({0xEB, std::uint8_t(std::int8_t(shortDistance))});
        nop3(w);
    } else {
        w.byte(0xE9);
        w.imm32(std::int32_t(target - (w.position() + 4)));
    }
}

/// True when a cell lies within a 32-bit displacement of the cell base (always, while only
/// counting the bytes of a probe row, which names no cells).
bool nearCell(const CodeEmission& e, const void* address)
{
    if (!e.nearCells)
        return false;
    const std::int64_t d = std::int64_t(bitsOf(address)) - std::int64_t(e.cellBase);
    return !address || (d > INT32_MIN + 16 && d < INT32_MAX - 16);
}

/// An instruction on a cell: the opcode bytes, then the cell as [rbx+disp32] when it is
/// near, else as [scratch] after movabs scratch, address; then an immediate byte if any.
/// The loop register and displacement of a cell of a loop body's row, or null.
const LoopCell* loopCellOf(const CodeEmission& e, const void* address)
{
    for (std::size_t i = 0; i < e.loopCellCount; ++i)
        if (e.loopCells[i].address == address)
            return &e.loopCells[i];
    return nullptr;
}

/// The opcode bytes with the REX bit that extends the base register (after the legacy
/// prefixes, into a REX prefix of the opcode's own or as one of its own).
void opcodeWithBaseExtension(CodeWriter& w, std::initializer_list<std::uint8_t> opcode)
{
    auto at = opcode.begin();
    while (at != opcode.end() && (*at == 0x66 || *at == 0xF2 || *at == 0xF3))
        w.byte(*at++);
    if (at != opcode.end() && (*at & 0xF0) == 0x40)
        w.byte(std::uint8_t(*at++ | 0x01));
    else
        w.byte(0x41);
    while (at != opcode.end())
        w.byte(*at++);
}

/// `laneOffset` (bytes) moves a loop cell to the next repetition's cell.
void onCell(CodeWriter& w, const CodeEmission& e, std::initializer_list<std::uint8_t> opcode, std::uint8_t reg,
            const void* address, Reg scratch, int immediate = -1, std::int32_t laneOffset = 0)
{
    if (const LoopCell* cell = loopCellOf(e, address)) {
        if (cell->reg >= 8)
            opcodeWithBaseExtension(w, opcode);
        else
            w.bytes(opcode);
        w.byte(modrm(2, reg, cell->reg & 7)); // [base + disp32]
        w.imm32(std::int32_t(std::int64_t(cell->displacement) + laneOffset));
    } else if (nearCell(e, address)) {
        w.bytes(opcode);
        w.byte(modrm(2, reg, 3)); // [rbx + disp32]
        w.imm32(w.counting() ? 0 : std::int32_t(std::int64_t(bitsOf(address)) - std::int64_t(e.cellBase)));
    } else {
        movabs(w, scratch, bitsOf(address));
        w.bytes(opcode);
        w.byte(modrm(0, reg, scratch));
    }
    if (immediate >= 0)
        w.byte(std::uint8_t(immediate));
}

void loadSd(CodeWriter& w, const CodeEmission& e, Xmm x, const double* cell, Reg scratch)
{
    onCell(w, e, {0xF2, 0x0F, 0x10}, x, cell, scratch);
}
void storeSd(CodeWriter& w, const CodeEmission& e, const double* cell, Xmm x, Reg scratch)
{
    onCell(w, e, {0xF2, 0x0F, 0x11}, x, cell, scratch);
}
void loadQ(CodeWriter& w, const CodeEmission& e, Reg dst, const double* cell) { onCell(w, e, {0x48, 0x8B}, dst, cell, dst); }
void storeQ(CodeWriter& w, const CodeEmission& e, const void* cell, Reg src, Reg scratch)
{
    onCell(w, e, {0x48, 0x89}, src, cell, scratch);
}

/// InstructionCursor = row (for the handlers and the location of maths errors).
void setCursor(CodeWriter& w, const CodeEmission& e, const Instruction* row)
{
    movabs(w, RAX, bitsOf(row));
    storeQ(w, e, &InstructionCursor, RAX, RCX);
}

/// The bytes a part of a pattern takes on this emission.
template <class Part>
std::uint8_t bytesOf(const CodeEmission& e, Part part)
{
    CodeWriter counter;
    part(counter, e);
    assert(counter.count() <= 100);
    return std::uint8_t(counter.count());
}

// ---- patterns ----

using Pattern = void (*)(CodeWriter&, const CodeEmission&);

/// Runs a pattern on the emission, or only counts its bytes: on the emission's row, or on an
/// empty row when there is none.
template <Pattern pattern>
std::size_t emit(CodeEmission* e)
{
    if (e && e->sizeOnly && e->instruction) {
        CodeWriter counter;
        pattern(counter, *e);
        return counter.count();
    }
    if (!e || e->sizeOnly) {
        auto count = [](bool nearCells) {
            CodeWriter counter;
            const Instruction row;
            CodeEmission probe;
            probe.nearCells = nearCells;
            probe.instruction = &row;
            pattern(counter, probe);
            return counter.count();
        };
        static const std::size_t farSize = count(false), nearSize = count(true);
        return e && e->nearCells ? nearSize : farSize;
    }
    CodeWriter w(e->cursor, e->blockStart);
    pattern(w, *e);
    e->cursor = w.at();
    return 0;
}

/// d = a op b. Of two NaN operands the first source gives the result's payload and sign:
/// for `add` and `mul` the interpreter's compiled handlers hold b there, for `sub` and
/// `div` it can only be a.
template <std::uint8_t op, bool bFirst>
void binary(CodeWriter& w, const CodeEmission& e)
{
    const Instruction& row = *e.instruction;
    loadSd(w, e, XMM0, bFirst ? row.operand2 : row.operand1, RAX);
    onCell(w, e, {0xF2, 0x0F, op}, XMM0, bFirst ? row.operand1 : row.operand2, RCX);
    storeSd(w, e, row.destination, XMM0, RDX);
}

/// d = a with its sign bit cleared (btr, /6) or flipped (btc, /7), or copied (no bit).
template <std::uint8_t bitOp>
void signOf(CodeWriter& w, const CodeEmission& e)
{
    const Instruction& row = *e.instruction;
    loadQ(w, e, RAX, row.operand1);
    if (bitOp)
        w.bytes({0x48, 0x0F, 0xBA, modrm(3, bitOp, RAX), 63});
    storeQ(w, e, row.destination, RAX, RCX);
}

void copyFrom(CodeWriter& w, const CodeEmission& e, const double* source, const double* destination)
{
    loadQ(w, e, RAX, source);
    storeQ(w, e, destination, RAX, RCX);
}

void patternMov(CodeWriter& w, const CodeEmission& e) { copyFrom(w, e, e.instruction->operand1, e.instruction->destination); }
void patternTim(CodeWriter& w, const CodeEmission& e) { copyFrom(w, e, &SimulationTime, e.instruction->destination); }

/// f(a), or f(a, b), into xmm0 from a in xmm0 (and b in xmm1), computed as the interpreter's
/// checked routine computes it: the maths-library function runs with the marker naming it (so
/// that a trap inside it is its error), and a result that is not plain, the only kind that can
/// come with an error flag, has the checked routine run again from the row's operands (the
/// functions are pure: it gets the same result and raises the same flags, and it reports them).
/// The bytes are the same for every operation of a pattern (a probe row has no handler).
void callMaths(CodeWriter& w, const CodeEmission& e, const Instruction& row, bool twoArguments)
{
    const RawMaths raw = RawMathsOf(row.handler);
    const std::uint64_t routine = raw.binary ? std::uint64_t(reinterpret_cast<std::uintptr_t>(raw.binary))
                                             : std::uint64_t(reinterpret_cast<std::uintptr_t>(raw.unary));
    const std::uint64_t checked =
        twoArguments ? std::uint64_t(reinterpret_cast<std::uintptr_t>(BinaryMathsOf(row.handler)))
                     : std::uint64_t(reinterpret_cast<std::uintptr_t>(UnaryMathsOf(row.handler)));
    assert(!row.handler || (routine && checked && raw.function));
    setCursor(w, e, &row);
    MathsCallMarker& marker = RunningMathsCall();
    movabs(w, RAX, bitsOf(raw.function));
    storeQ(w, e, &marker.function, RAX, RCX);
    storeSd(w, e, &marker.argument, XMM0, RCX);
    movabs(w, RAX, routine);
    callRax(w);
    w.bytes({0x31, 0xC9}); // xor ecx, ecx
    storeQ(w, e, &marker.function, RCX, RDX);
    auto checkAgain = [&row, checked, twoArguments](CodeWriter& out, const CodeEmission& on) {
        loadSd(out, on, XMM0, row.operand1, RAX);
        if (twoArguments)
            loadSd(out, on, XMM1, row.operand2, RCX);
        movabs(out, RAX, checked);
        callRax(out);
    };
    // Plain when the exponent field e of the result has e - low < span (unsigned).
    movqRaxXmm0(w);
    w.bytes({0x48, 0xD1, 0xE0});                              // shl rax, 1
    w.bytes({0x48, 0xC1, 0xE8, 53});                          // shr rax, 53
    w.bytes({0x83, 0xE8, std::uint8_t(PlainExponentLow)});     // sub eax, low
    w.byte(0x3D);                                             // cmp eax, span
    w.imm32(std::int32_t(PlainExponentSpan));
    w.bytes({JB, bytesOf(e, checkAgain)});
    checkAgain(w, e);
}

/// 0 when a < -708, 1.797693e308 when a > 708, else exp(a) as the interpreter's routine
/// computes it; a NaN fails both comparisons (raising the same flags) and goes to the routine.
void patternExp(CodeWriter& w, const CodeEmission& e)
{
    const Instruction& row = *e.instruction;
    auto constant = [&w](Xmm x, double value) {
        std::uint64_t bits;
        std::memcpy(&bits, &value, sizeof bits);
        movabs(w, RAX, bits);
        w.bytes({0x66, 0x48, 0x0F, 0x6E, modrm(3, x, RAX)}); // movq x, rax
    };
    auto call = [&row](CodeWriter& out, const CodeEmission& on) { callMaths(out, on, row, false); };
    CodeWriter counter;
    call(counter, e);
    const auto callBytes = std::int32_t(counter.count());
    loadSd(w, e, XMM0, row.operand1, RAX);
    constant(XMM1, -708.0);
    w.bytes({0x66, 0x0F, 0x2F, 0xC8, 0x0F, 0x87}); // comisd xmm1, xmm0; ja zero
    w.imm32(27 + callBytes);
    constant(XMM1, 708.0);
    w.bytes({0x66, 0x0F, 0x2F, 0xC1, 0x0F, 0x87}); // comisd xmm0, xmm1; ja largest
    w.imm32(8 + callBytes);
    call(w, e);
    w.bytes({0xEB, 21});                        // jmp store
    w.bytes({0x66, 0x0F, 0x57, 0xC0, 0xEB, 15}); // zero: xorpd xmm0, xmm0; jmp store
    constant(XMM0, 1.797693e308);               // largest
    storeSd(w, e, row.destination, XMM0, RCX);  // store
}

/// The square root is correctly rounded by IEEE 754, so sqrtsd gives the maths library's
/// result for a from +0 to +inf inline; a negative a or a NaN (whose sqrtsd would raise the
/// invalid-operation flag) goes through the interpreter's routine, which reports the error.
void patternSqt(CodeWriter& w, const CodeEmission& e)
{
    const Instruction& row = *e.instruction;
    auto slowPath = [&row](CodeWriter& out, const CodeEmission& on) {
        setCursor(out, on, &row);
        movabs(out, RAX, std::uint64_t(reinterpret_cast<std::uintptr_t>(UnaryMathsOf(row.handler))));
        callRax(out);
    };
    const std::uint8_t slowPathBytes = bytesOf(e, slowPath);
    loadSd(w, e, XMM0, row.operand1, RAX);
    movqRaxXmm0(w);
    movabs(w, RCX, 0x7FF0000000000000u);        // +inf: above it only NaNs and negatives
    w.bytes({0x48, 0x39, 0xC8, JA, 6});          // cmp rax, rcx; ja slow
    w.bytes({0xF2, 0x0F, 0x51, 0xC0});           // sqrtsd xmm0, xmm0
    w.bytes({0xEB, slowPathBytes});              // jmp store
    slowPath(w, e);                              // slow:
    storeSd(w, e, row.destination, XMM0, RCX); // store
}

void patternPw2(CodeWriter& w, const CodeEmission& e)
{
    const Instruction& row = *e.instruction;
    loadSd(w, e, XMM0, row.operand1, RAX);
    w.bytes({0xF2, 0x0F, 0x59, 0xC0}); // mulsd xmm0, xmm0
    storeSd(w, e, row.destination, XMM0, RCX);
}

/// Stores 1.0 or 0.0 from the all-ones or all-zeros mask in xmm0: the mask shifted right by
/// 54 and back left by 52 leaves the bits of 1.0 (0x3FF << 52), or nothing.
void storeMaskAsOne(CodeWriter& w, const CodeEmission& e, const double* destination)
{
    w.bytes({0x66, 0x0F, 0x73, modrm(3, 2, XMM0), 54}); // psrlq xmm0, 54
    w.bytes({0x66, 0x0F, 0x73, modrm(3, 6, XMM0), 52}); // psllq xmm0, 52
    storeSd(w, e, destination, XMM0, RCX);
}

/// d = (x pred y) ? 1 : 0 through the mask of cmpsd.
void compareCells(CodeWriter& w, const CodeEmission& e, const double* x, const double* y, Predicate predicate,
                  const double* destination)
{
    loadSd(w, e, XMM0, x, RAX);
    onCell(w, e, {0xF2, 0x0F, 0xC2}, XMM0, y, RCX, predicate);
    storeMaskAsOne(w, e, destination);
}

/// a pred b, or b pred a when swapped (a > b is b < a).
template <Predicate predicate, bool swapped>
void compare(CodeWriter& w, const CodeEmission& e)
{
    const Instruction& row = *e.instruction;
    if (swapped)
        compareCells(w, e, row.operand2, row.operand1, predicate, row.destination);
    else
        compareCells(w, e, row.operand1, row.operand2, predicate, row.destination);
}

/// 0 while t < a, else 1.
void patternStp(CodeWriter& w, const CodeEmission& e)
{
    compareCells(w, e, &SimulationTime, e.instruction->operand1, CmpNlt, e.instruction->destination);
}

/// 1 when a = 0.
void patternNot(CodeWriter& w, const CodeEmission& e)
{
    const Instruction& row = *e.instruction;
    zeroXmm(w, XMM1);
    loadSd(w, e, XMM0, row.operand1, RAX);
    cmpSdReg(w, XMM0, XMM1, CmpEq);
    storeMaskAsOne(w, e, row.destination);
}

/// (a != 0) and/or (b != 0): andpd 54, orpd 56 of the two masks.
template <std::uint8_t op>
void logic(CodeWriter& w, const CodeEmission& e)
{
    const Instruction& row = *e.instruction;
    zeroXmm(w, XMM2);
    loadSd(w, e, XMM0, row.operand1, RAX);
    loadSd(w, e, XMM1, row.operand2, RCX);
    cmpSdReg(w, XMM0, XMM2, CmpNeq);
    cmpSdReg(w, XMM1, XMM2, CmpNeq);
    w.bytes({0x66, 0x0F, op, 0xC1});
    storeMaskAsOne(w, e, row.destination);
}

/// t - a when t >= a, else 0; the difference is formed only when it is the result.
void patternRmp(CodeWriter& w, const CodeEmission& e)
{
    const Instruction& row = *e.instruction;
    auto difference = [&](CodeWriter& out) {
        onCell(out, e, {0xF2, 0x0F, 0x5C}, XMM0, row.operand1, RCX); // subsd xmm0, a
        out.bytes({0x66, 0x0F, 0x28, modrm(3, XMM1, XMM0)});         // movapd xmm1, xmm0
    };
    CodeWriter counter;
    difference(counter);
    loadSd(w, e, XMM0, &SimulationTime, RAX);
    zeroXmm(w, XMM1);
    onCell(w, e, {0x66, 0x0F, 0x2F}, XMM0, row.operand1, RCX); // comisd xmm0, a
    w.bytes({JB, std::uint8_t(counter.count())});
    difference(w);
    storeSd(w, e, row.destination, XMM1, RDX);
}

/// b during the first evaluation of a run, else a.
void patternDly(CodeWriter& w, const CodeEmission& e)
{
    const Instruction& row = *e.instruction;
    static_assert(sizeof FirstEvaluationFlag == 4);
    loadQ(w, e, RAX, row.operand1);
    loadQ(w, e, RDX, row.operand2);
    onCell(w, e, {0x83}, 7, &FirstEvaluationFlag, RCX, 0); // cmp dword [flag], 0
    w.bytes({0x48, 0x0F, 0x45, modrm(3, RAX, RDX)});     // cmovne rax, rdx
    storeQ(w, e, row.destination, RAX, RCX);
}

/// d = f(a) as the interpreter's routine computes it.
void patternMaths1(CodeWriter& w, const CodeEmission& e)
{
    const Instruction& row = *e.instruction;
    loadSd(w, e, XMM0, row.operand1, RAX);
    callMaths(w, e, row, false);
    storeSd(w, e, row.destination, XMM0, RCX);
}

/// d = f(a, b) as the interpreter's routine computes it.
void patternMaths2(CodeWriter& w, const CodeEmission& e)
{
    const Instruction& row = *e.instruction;
    loadSd(w, e, XMM0, row.operand1, RAX);
    loadSd(w, e, XMM1, row.operand2, RCX);
    callMaths(w, e, row, true);
    storeSd(w, e, row.destination, XMM0, RCX);
}

/// The interpreter's handler run on this row; a handler that ended the pass (an index
/// check that failed) leaves the cursor elsewhere than the next row, and the block returns.
void patternRoutine(CodeWriter& w, const CodeEmission& e)
{
    const Instruction& row = *e.instruction;
    setCursor(w, e, &row);
    movabs(w, RAX, bitsOfFunction(row.handler));
    callRax(w);
    movabs(w, RAX, bitsOf(&row + 1));
    movabs(w, RCX, bitsOf(&InstructionCursor));
    w.bytes({0x48, 0x39, modrm(0, RAX, RCX)}); // cmp [rcx], rax
    w.bytes({0x0F, 0x85});                     // jne exit
    w.imm32(w.counting() ? 0 : std::int32_t(std::int64_t(e.exitOffset) - (w.position() + 4)));
}

void patternJmp(CodeWriter& w, const CodeEmission& e) { jump(w, w.counting() ? 0 : targetOffset(e)); }

/// Loads a into xmm0 and 0 into xmm1.
void loadCondition(CodeWriter& w, const CodeEmission& e)
{
    loadSd(w, e, XMM0, e.instruction->operand1, RAX);
    zeroXmm(w, XMM1);
}

/// Jump when a = 0 (ucomisd: quiet; a NaN sets the parity flag and does not jump).
void patternJeq(CodeWriter& w, const CodeEmission& e)
{
    loadCondition(w, e);
    w.bytes({0x66, 0x0F, 0x2E, 0xC1}); // ucomisd xmm0, xmm1
    w.bytes({JP, 6});
    conditionalJump(w, JE, w.counting() ? 0 : targetOffset(e));
}

/// Jump when a != 0 (a NaN jumps).
void patternJne(CodeWriter& w, const CodeEmission& e)
{
    loadCondition(w, e);
    w.bytes({0x66, 0x0F, 0x2E, 0xC1}); // ucomisd xmm0, xmm1
    const std::int64_t target = w.counting() ? 0 : targetOffset(e);
    conditionalJump(w, JP, target);
    conditionalJump(w, JNE, target);
}

/// a >= 0 (jae) or a > 0 (ja) from comisd a, 0; a <= 0 and a < 0 from comisd 0, a.
template <Condition condition, bool zeroFirst>
void conditionalOrdered(CodeWriter& w, const CodeEmission& e)
{
    loadCondition(w, e);
    w.bytes({0x66, 0x0F, 0x2F, std::uint8_t(zeroFirst ? 0xC8 : 0xC1)}); // comisd
    conditionalJump(w, condition, w.counting() ? 0 : targetOffset(e));
}

/// The pass ends with the cursor on the `end` row, as the interpreter leaves it, so that a
/// trap after the pass is not put on the last row that called out.
void patternEnd(CodeWriter& w, const CodeEmission& e)
{
    setCursor(w, e, e.instruction);
    w.bytes({0x5B, 0xC3}); // pop rbx; ret
}

struct EmitterRow {
    const char* mnemonic;
    CodeEmitter emitter;
};

constexpr CodeEmitter Routine = emit<patternRoutine>;
constexpr CodeEmitter Maths1 = emit<patternMaths1>;
constexpr CodeEmitter Maths2 = emit<patternMaths2>;

const EmitterRow Emitters[] = {
    {"abs", emit<signOf<6>>},  {"ach", Maths1},   {"acs", Maths1},
    {"add", emit<binary<0x58, true>>}, {"and", emit<logic<0x54>>}, {"ash", Maths1},
    {"asn", Maths1},           {"at2", Maths2},    {"ath", Maths1},
    {"atn", Maths1},           {"cos", Maths1},    {"csh", Maths1},
    {"div", emit<binary<0x5E, false>>}, {"dll", Routine}, {"dly", emit<patternDly>},
    {"end", emit<patternEnd>}, {"ex2", Maths1},   {"exp", emit<patternExp>},
    {"exx", Maths1},          {"flk", Routine},   {"hlg", Routine},
    {"idv", Routine},          {"inp", Routine},   {"inv", emit<signOf<7>>},
    {"ipw", Maths2},          {"jeq", emit<patternJeq>}, {"jfa", emit<patternJeq>},
    {"jge", emit<conditionalOrdered<JAE, false>>}, {"jgt", emit<conditionalOrdered<JA, false>>},
    {"jle", emit<conditionalOrdered<JAE, true>>},  {"jlt", emit<conditionalOrdered<JA, true>>},
    {"jmp", emit<patternJmp>}, {"jne", emit<patternJne>}, {"lg2", Maths1},
    {"lgx", Maths1},          {"log", Maths1},    {"mar", Routine},
    {"mod", Maths2},           {"mov", emit<patternMov>}, {"mra", Routine},
    {"mul", emit<binary<0x59, true>>}, {"not", emit<patternNot>}, {"orr", emit<logic<0x56>>},
    {"plf", Routine},          {"pow", Maths2},    {"pw2", emit<patternPw2>},
    {"ran", Routine},          {"rmp", emit<patternRmp>}, {"rst", Routine},
    {"sgn", Routine},          {"sin", Maths1},    {"snh", Maths1},
    {"sqt", emit<patternSqt>},           {"stp", emit<patternStp>}, {"sub", emit<binary<0x5C, false>>},
    {"tab", Routine},          {"tan", Maths1},    {"tdl", Routine},
    {"teq", emit<compare<CmpEq, false>>},  {"tge", emit<compare<CmpLe, true>>},
    {"tgt", emit<compare<CmpLt, true>>},   {"tim", emit<patternTim>},
    {"tle", emit<compare<CmpLe, false>>},  {"tlt", emit<compare<CmpLt, false>>},
    {"tne", emit<compare<CmpNeq, false>>}, {"tnh", Maths1},
};

// ---- loops over repeating rows ----

/// Repetitions a run of rows needs to become a loop, and the longest period looked for.
constexpr std::size_t MinLoopRepeats = 16;
constexpr std::size_t MaxLoopPeriod = 8;

bool g_rowLoopsAllowed = true;
std::size_t g_maxLanes = 4;
std::uint64_t g_loopRepetition = 0;

/// Registers of a loop: the bases of its cells (caller-saved, used by no pattern) and the count.
constexpr std::uint8_t LoopBaseRegisters[] = {6, 7, 8, 9, 10}; // rsi, rdi, r8, r9, r10
constexpr std::uint8_t LoopCountRegister = 11;                 // r11

/// The operations whose patterns reach cells only through `onCell` and call nothing.
bool loopable(OperationHandler handler)
{
    static const std::vector<OperationHandler> handlers = [] {
        std::vector<OperationHandler> out;
        for (const char* mnemonic : {"abs", "add", "and", "div", "dly", "inv", "mov", "mul", "not", "orr", "pw2",
                                     "rmp", "stp", "sub", "teq", "tge", "tgt", "tim", "tle", "tlt", "tne"})
            out.push_back(FindOpcode(mnemonic)->handler);
        return out;
    }();
    return handler && std::find(handlers.begin(), handlers.end(), handler) != handlers.end();
}

std::array<const double*, 3> cellsOf(const Instruction& row) { return {row.destination, row.operand1, row.operand2}; }

std::int64_t distance(const double* from, const double* to)
{
    return std::int64_t(reinterpret_cast<std::uintptr_t>(to)) - std::int64_t(reinterpret_cast<std::uintptr_t>(from));
}

/// True when `later` repeats `earlier` one repetition on: the same operation and each cell
/// moved by its stride (absent cells absent in both).
bool repeats(const Instruction& earlier, const Instruction& later, const std::array<std::int64_t, 3>& strides)
{
    if (earlier.handler != later.handler)
        return false;
    const auto a = cellsOf(earlier), b = cellsOf(later);
    for (int f = 0; f < 3; ++f) {
        if (!a[f] != !b[f])
            return false;
        if (a[f] && distance(a[f], b[f]) != strides[f])
            return false;
    }
    return true;
}

/// Gives the loop its base registers and the cells of its body their displacements; false when
/// the cells need more registers than there are.
bool assignLoopRegisters(const std::vector<Instruction>& rows, const std::vector<std::array<std::int64_t, 3>>& strides,
                         const CodeEmission& e, RowLoop& loop)
{
    constexpr std::int64_t Reach = std::int64_t(INT32_MAX) - 16;
    loop.cellStart.assign(1, 0);
    for (std::size_t k = 0; k < loop.period; ++k) {
        const auto cells = cellsOf(rows[loop.first + k]);
        for (int f = 0; f < 3; ++f) {
            if (!cells[f])
                continue;
            // One address, one way of reaching it within a row.
            for (int g = 0; g < f; ++g)
                if (cells[g] == cells[f] && strides[k][g] != strides[k][f])
                    return false;
            const std::int64_t stride = strides[k][f];
            if (stride == 0 && nearCell(e, cells[f]))
                continue; // from the cell base, as outside loops
            const auto address = reinterpret_cast<std::uintptr_t>(cells[f]);
            auto base = std::find_if(loop.bases.begin(), loop.bases.end(), [&](const RowLoop::Base& b) {
                const std::int64_t d = std::int64_t(address) - std::int64_t(b.start);
                return b.stride == stride && d > -Reach && d < Reach;
            });
            if (base == loop.bases.end()) {
                if (loop.bases.size() == std::size(LoopBaseRegisters))
                    return false;
                loop.bases.push_back({address, stride, LoopBaseRegisters[loop.bases.size()]});
                base = loop.bases.end() - 1;
            }
            bool known = false;
            for (std::size_t c = loop.cellStart.back(); c < loop.cells.size(); ++c)
                known = known || loop.cells[c].address == cells[f];
            if (!known)
                loop.cells.push_back(
                    {cells[f], base->reg, std::int32_t(std::int64_t(address) - std::int64_t(base->start)), stride});
        }
        loop.cellStart.push_back(std::uint32_t(loop.cells.size()));
    }
    return true;
}

enum class PairedKind { None, Add, Sub, Mul, Div, Mov, Pw2 };

PairedKind pairedKindOf(OperationHandler handler)
{
    static const std::pair<const char*, PairedKind> kinds[] = {{"add", PairedKind::Add}, {"sub", PairedKind::Sub},
                                                               {"mul", PairedKind::Mul}, {"div", PairedKind::Div},
                                                               {"mov", PairedKind::Mov}, {"pw2", PairedKind::Pw2}};
    for (const auto& [mnemonic, kind] : kinds)
        if (FindOpcode(mnemonic)->handler == handler)
            return kind;
    return PairedKind::None;
}

/// True when `lanes` repetitions of the loop may run side by side (see `RowLoop::lanes`).
bool sideBySide(const std::vector<Instruction>& rows, const std::vector<std::array<std::int64_t, 3>>& strides,
                const RowLoop& loop, std::size_t lanes)
{
    struct Stream {
        std::int64_t start, stride;
        bool written;
    };
    std::vector<Stream> streams;
    for (std::size_t k = 0; k < loop.period; ++k) {
        const Instruction& row = rows[loop.first + k];
        if (pairedKindOf(row.handler) == PairedKind::None)
            return false;
        const auto cells = cellsOf(row);
        for (int f = 0; f < 3; ++f)
            if (cells[f])
                streams.push_back({std::int64_t(reinterpret_cast<std::uintptr_t>(cells[f])), strides[k][std::size_t(f)], f == 0});
    }
    // The last lane's cell must lie within a displacement of the first's.
    for (const LoopCell& cell : loop.cells) {
        const std::int64_t last = std::int64_t(cell.displacement) + cell.stride * std::int64_t(lanes - 1);
        if (last < INT32_MIN || last > INT32_MAX)
            return false;
    }
    const auto span = std::int64_t(loop.repeats - 1);
    const auto near = std::int64_t(lanes) - 1;
    for (const Stream& w : streams) {
        if (!w.written)
            continue;
        if (w.stride == 0)
            return false; // every repetition writes the same cell
        for (const Stream& x : streams) {
            const std::int64_t wLow = std::min(w.start, w.start + span * w.stride);
            const std::int64_t wHigh = std::max(w.start, w.start + span * w.stride) + 8;
            const std::int64_t xLow = std::min(x.start, x.start + span * x.stride);
            const std::int64_t xHigh = std::max(x.start, x.start + span * x.stride) + 8;
            if (wHigh <= xLow || xHigh <= wLow)
                continue;
            if (x.stride != w.stride)
                return false;
            // Repetitions j and j' meet on a cell where j' - j = (w.start - x.start) / stride.
            const std::int64_t apart = w.start - x.start;
            if (apart % w.stride == 0 && apart != 0 && apart / w.stride >= -near && apart / w.stride <= near)
                return false;
        }
    }
    return true;
}

/// Loads a cell of two repetitions into the two halves of an xmm register.
void pairedLoad(CodeWriter& w, const CodeEmission& e, Xmm x, const double* cell)
{
    const LoopCell* loopCell = loopCellOf(e, cell);
    const std::int64_t stride = loopCell ? loopCell->stride : 0;
    if (stride == 8) {
        onCell(w, e, {0x66, 0x0F, 0x10}, x, cell, RAX); // movupd
    } else if (stride == 0) {
        onCell(w, e, {0xF2, 0x0F, 0x12}, x, cell, RAX); // movddup
    } else {
        onCell(w, e, {0xF2, 0x0F, 0x10}, x, cell, RAX);                           // movsd
        onCell(w, e, {0x66, 0x0F, 0x16}, x, cell, RAX, -1, std::int32_t(stride)); // movhpd
    }
}

/// Stores the two halves of an xmm register into a cell of two repetitions.
void pairedStore(CodeWriter& w, const CodeEmission& e, const double* cell, Xmm x)
{
    const LoopCell* loopCell = loopCellOf(e, cell);
    const std::int64_t stride = loopCell ? loopCell->stride : 0;
    if (stride == 8) {
        onCell(w, e, {0x66, 0x0F, 0x11}, x, cell, RAX); // movupd
    } else {
        onCell(w, e, {0x66, 0x0F, 0x13}, x, cell, RAX);                           // movlpd
        onCell(w, e, {0x66, 0x0F, 0x17}, x, cell, RAX, -1, std::int32_t(stride)); // movhpd
    }
}

/// The register and half that keep a paired body row's old cell of the second repetition:
/// two rows to a register from xmm3 on (the first into the low half, zeroing the high one).
Xmm keptIn(std::size_t row) { return Xmm(3 + row / 2); }

/// Keeps the second repetition's destination cell of a paired row before the pair writes it,
/// so that a trap on a later row of the body can put it back (see `RowLoop::retry`).
void keepSecondCell(CodeWriter& w, const CodeEmission& e, std::size_t row, const double* cell)
{
    const LoopCell* loopCell = loopCellOf(e, cell);
    assert(loopCell && loopCell->stride != 0);
    const auto second = std::int32_t(loopCell->stride);
    if (row % 2 == 0)
        onCell(w, e, {0xF2, 0x0F, 0x10}, keptIn(row), cell, RAX, -1, second); // movsd
    else
        onCell(w, e, {0x66, 0x0F, 0x16}, keptIn(row), cell, RAX, -1, second); // movhpd
}

/// Puts back what `keepSecondCell` kept.
void restoreSecondCell(CodeWriter& w, const CodeEmission& e, std::size_t row, const double* cell)
{
    const auto second = std::int32_t(loopCellOf(e, cell)->stride);
    if (row % 2 == 0)
        onCell(w, e, {0x66, 0x0F, 0x13}, keptIn(row), cell, RAX, -1, second); // movlpd
    else
        onCell(w, e, {0x66, 0x0F, 0x17}, keptIn(row), cell, RAX, -1, second); // movhpd
}

/// One row for two repetitions, with the operands in the order of its single pattern; with
/// `keep`, the second repetition's old destination cell is kept first (body row `index`).
void pairedRow(CodeWriter& w, const CodeEmission& e, const Instruction& row, std::size_t index, bool keep)
{
    const PairedKind kind = pairedKindOf(row.handler);
    auto binary = [&](std::uint8_t op, bool bFirst) {
        pairedLoad(w, e, XMM0, bFirst ? row.operand2 : row.operand1);
        pairedLoad(w, e, XMM1, bFirst ? row.operand1 : row.operand2);
        w.bytes({0x66, 0x0F, op, modrm(3, XMM0, XMM1)});
    };
    switch (kind) {
    case PairedKind::Add: binary(0x58, true); break;
    case PairedKind::Mul: binary(0x59, true); break;
    case PairedKind::Sub: binary(0x5C, false); break;
    case PairedKind::Div: binary(0x5E, false); break;
    case PairedKind::Mov: pairedLoad(w, e, XMM0, row.operand1); break;
    case PairedKind::Pw2:
        pairedLoad(w, e, XMM0, row.operand1);
        w.bytes({0x66, 0x0F, 0x59, modrm(3, XMM0, XMM0)}); // mulpd xmm0, xmm0
        break;
    case PairedKind::None: assert(false); return;
    }
    if (keep)
        keepSecondCell(w, e, index, row.destination);
    pairedStore(w, e, row.destination, XMM0);
}

// ---- four repetitions at a time, in the quarters of 256-bit AVX registers ----

/// The three-byte VEX prefix: `wide` for 256 bits, `pp` the implied prefix (1: 66, 3: F2),
/// `map` the opcode map (1: 0F, 2: 0F38, 3: 0F3A), `source` the extra source register (0 when none),
/// `rm` the register or base register of the ModRM operand.
void vexPrefix(CodeWriter& w, bool wide, std::uint8_t pp, std::uint8_t map, std::uint8_t reg, std::uint8_t source,
               std::uint8_t rm)
{
    w.byte(0xC4);
    w.byte(std::uint8_t((reg & 8 ? 0 : 0x80) | 0x40 | (rm & 8 ? 0 : 0x20) | map));
    w.byte(std::uint8_t((~source & 15) << 3 | (wide ? 4 : 0) | pp));
}

/// A VEX instruction on a cell of a loop body's row, moved on by `laneOffset` bytes.
void vexOnCell(CodeWriter& w, const CodeEmission& e, bool wide, std::uint8_t pp, std::uint8_t map, std::uint8_t opcode,
               std::uint8_t reg, std::uint8_t source, const double* cell, std::int64_t laneOffset)
{
    const LoopCell* loopCell = loopCellOf(e, cell);
    assert(loopCell || nearCell(e, cell));
    const std::uint8_t base = loopCell ? loopCell->reg : 3; // else from the cell base in rbx
    vexPrefix(w, wide, pp, map, reg, source, base);
    w.byte(opcode);
    w.byte(modrm(2, reg & 7, base & 7));
    const std::int64_t at = loopCell     ? std::int64_t(loopCell->displacement)
                            : w.counting() ? 0
                                           : std::int64_t(bitsOf(cell)) - std::int64_t(e.cellBase);
    w.imm32(std::int32_t(at + laneOffset));
}

/// A VEX instruction between registers (ModRM reg and rm), with an immediate byte if any.
void vexRegisters(CodeWriter& w, bool wide, std::uint8_t map, std::uint8_t opcode, std::uint8_t reg,
                  std::uint8_t source, std::uint8_t rm, int immediate = -1)
{
    vexPrefix(w, wide, 1, map, reg, source, rm);
    w.byte(opcode);
    w.byte(modrm(3, reg & 7, rm & 7));
    if (immediate >= 0)
        w.byte(std::uint8_t(immediate));
}

constexpr std::uint8_t QuadScratch = 2; // xmm2: the upper half of a cell of four repetitions

std::int64_t strideOf(const CodeEmission& e, const double* cell)
{
    const LoopCell* loopCell = loopCellOf(e, cell);
    return loopCell ? loopCell->stride : 0;
}

/// Loads a cell of four repetitions into the quarters of ymm `y`.
void quadLoad(CodeWriter& w, const CodeEmission& e, std::uint8_t y, const double* cell)
{
    const std::int64_t stride = strideOf(e, cell);
    if (stride == 8) {
        vexOnCell(w, e, true, 1, 1, 0x10, y, 0, cell, 0); // vmovupd
    } else if (stride == 0) {
        vexOnCell(w, e, true, 1, 2, 0x19, y, 0, cell, 0); // vbroadcastsd
    } else {
        vexOnCell(w, e, false, 3, 1, 0x10, y, 0, cell, 0);                                 // vmovsd
        vexOnCell(w, e, false, 1, 1, 0x16, y, y, cell, stride);                            // vmovhpd
        vexOnCell(w, e, false, 3, 1, 0x10, QuadScratch, 0, cell, 2 * stride);              // vmovsd
        vexOnCell(w, e, false, 1, 1, 0x16, QuadScratch, QuadScratch, cell, 3 * stride);    // vmovhpd
        vexRegisters(w, true, 3, 0x18, y, y, QuadScratch, 1);                               // vinsertf128
    }
}

/// Stores the quarters of ymm `y` from lane `from` on into a cell of four repetitions.
void quadStore(CodeWriter& w, const CodeEmission& e, const double* cell, std::uint8_t y, int from = 0)
{
    const std::int64_t stride = strideOf(e, cell);
    if (stride == 8 && from == 0) {
        vexOnCell(w, e, true, 1, 1, 0x11, y, 0, cell, 0); // vmovupd
        return;
    }
    if (from == 0)
        vexOnCell(w, e, false, 1, 1, 0x13, y, 0, cell, 0);                  // vmovlpd
    vexOnCell(w, e, false, 1, 1, 0x17, y, 0, cell, stride);                 // vmovhpd
    vexRegisters(w, true, 3, 0x19, y, 0, QuadScratch, 1);                   // vextractf128
    vexOnCell(w, e, false, 1, 1, 0x13, QuadScratch, 0, cell, 2 * stride);   // vmovlpd
    vexOnCell(w, e, false, 1, 1, 0x17, QuadScratch, 0, cell, 3 * stride);   // vmovhpd
}

/// One row for four repetitions, as `pairedRow` for two; the old destination cells of the
/// four are kept whole in ymm3 on (one register a row).
void quadRow(CodeWriter& w, const CodeEmission& e, const Instruction& row, std::size_t index, bool keep)
{
    auto binary = [&](std::uint8_t op, bool bFirst) {
        quadLoad(w, e, 0, bFirst ? row.operand2 : row.operand1);
        quadLoad(w, e, 1, bFirst ? row.operand1 : row.operand2);
        vexRegisters(w, true, 1, op, 0, 0, 1); // ymm0 = ymm0 op ymm1
    };
    switch (pairedKindOf(row.handler)) {
    case PairedKind::Add: binary(0x58, true); break;
    case PairedKind::Mul: binary(0x59, true); break;
    case PairedKind::Sub: binary(0x5C, false); break;
    case PairedKind::Div: binary(0x5E, false); break;
    case PairedKind::Mov: quadLoad(w, e, 0, row.operand1); break;
    case PairedKind::Pw2:
        quadLoad(w, e, 0, row.operand1);
        vexRegisters(w, true, 1, 0x59, 0, 0, 0); // vmulpd ymm0, ymm0, ymm0
        break;
    case PairedKind::None: assert(false); return;
    }
    if (keep)
        quadLoad(w, e, std::uint8_t(3 + index), row.destination);
    quadStore(w, e, row.destination, 0);
}

void vzeroupper(CodeWriter& w) { w.bytes({0xC5, 0xF8, 0x77}); }

/// True when the processor and the system run AVX code.
bool avxUsable()
{
#if defined(__x86_64__) && defined(__GNUC__)
    static const bool usable = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx") != 0;
    }();
    return usable;
#else
    return false;
#endif
}

/// mov/add/inc/cmp on a 64-bit register numbered 0..15, with the REX prefix it needs.
std::uint8_t rexW(std::uint8_t reg) { return std::uint8_t(0x48 | (reg >> 3)); }

} // namespace

std::vector<RowLoop> FindRowLoops(const std::vector<Instruction>& rows, const CodeEmission& emission)
{
    std::vector<RowLoop> loops;
    if (!g_rowLoopsAllowed || rows.size() < MinLoopRepeats)
        return loops;
    std::vector<char> target(rows.size(), 0);
    for (const Instruction& row : rows)
        if (const Instruction* to = JumpTarget(row); to >= rows.data() && to < rows.data() + rows.size())
            target[std::size_t(to - rows.data())] = 1;
    const std::size_t n = rows.size();
    std::vector<std::array<std::int64_t, 3>> strides, bestStrides;
    for (std::size_t i = 0; i < n;) {
        std::size_t bestPeriod = 0, bestRepeats = 0;
        for (std::size_t p = 1; p <= MaxLoopPeriod && i + p * MinLoopRepeats <= n; ++p) {
            if (rows[i + p].handler != rows[i].handler)
                continue;
            bool body = true;
            strides.assign(p, {});
            for (std::size_t k = 0; k < p && body; ++k) {
                const Instruction& a = rows[i + k];
                const Instruction& b = rows[i + p + k];
                body = loopable(a.handler) && (k == 0 || !target[i + k]) && a.handler == b.handler;
                const auto ca = cellsOf(a), cb = cellsOf(b);
                for (int f = 0; f < 3 && body; ++f) {
                    body = !ca[f] == !cb[f];
                    strides[k][std::size_t(f)] = ca[f] ? distance(ca[f], cb[f]) : 0;
                }
            }
            if (!body)
                continue;
            std::size_t r = 1;
            while (i + (r + 1) * p <= n) {
                bool same = true;
                for (std::size_t k = 0; k < p && same; ++k)
                    same = !target[i + r * p + k] && repeats(rows[i + (r - 1) * p + k], rows[i + r * p + k], strides[k]);
                if (!same)
                    break;
                ++r;
            }
            if (r >= MinLoopRepeats && p * r > bestPeriod * bestRepeats) {
                bestPeriod = p;
                bestRepeats = r;
                bestStrides = strides;
            }
        }
        RowLoop loop;
        loop.first = i;
        loop.period = bestPeriod;
        loop.repeats = bestRepeats;
        if (bestPeriod && assignLoopRegisters(rows, bestStrides, emission, loop)) {
            for (const std::size_t lanes : {std::size_t(4), std::size_t(2)})
                if (loop.lanes == 1 && lanes <= g_maxLanes && (lanes < 4 || avxUsable()) &&
                    sideBySide(rows, bestStrides, loop, lanes))
                    loop.lanes = lanes;
            i += bestPeriod * bestRepeats;
            loops.push_back(std::move(loop));
        } else {
            ++i;
        }
    }
    return loops;
}

std::size_t EmitRowLoop(CodeEmission& e, RowLoop& loop, std::uint32_t at)
{
    const bool sizeOnly = e.sizeOnly;
    std::size_t size = 0;
    // Writes a piece of the loop at the cursor, or counts it.
    auto piece = [&](auto&& write) {
        if (sizeOnly) {
            CodeWriter c;
            write(c);
            size += c.count();
        } else {
            CodeWriter w(e.cursor, e.blockStart);
            write(w);
            size += w.count();
            e.cursor = w.at();
        }
    };
    auto here = [&] { return at + std::uint32_t(size); };
    // A jump to an offset in the block (counted in its long form: the target may lie ahead).
    auto jumpTo = [&](std::uint32_t target) {
        piece([&](CodeWriter& w) {
            w.byte(0xE9);
            w.imm32(std::int32_t(std::int64_t(target) - (std::int64_t(here()) + 5)));
        });
    };
    // The repetition in r11, for the row of a trap's address.
    auto storeRepetition = [&](CodeWriter& w) {
        if (nearCell(e, &g_loopRepetition)) {
            w.bytes({0x4C, 0x89, modrm(2, LoopCountRegister & 7, 3)});
            w.imm32(std::int32_t(std::int64_t(bitsOf(&g_loopRepetition)) - std::int64_t(e.cellBase)));
        } else {
            movabs(w, RAX, bitsOf(&g_loopRepetition));
            w.bytes({0x4C, 0x89, modrm(0, LoopCountRegister & 7, RAX)});
        }
    };
    // Moves the base registers and the count on by `repetitions`.
    auto advance = [&](std::int64_t repetitions) {
        piece([&](CodeWriter& w) {
            for (const RowLoop::Base& base : loop.bases) {
                const std::int64_t by = base.stride * repetitions;
                if (by == 0)
                    continue;
                if (by >= INT32_MIN && by <= INT32_MAX) {
                    w.bytes({rexW(base.reg), 0x81, modrm(3, 0, base.reg & 7)}); // add base, by
                    w.imm32(std::int32_t(by));
                } else {
                    movabs(w, RAX, std::uint64_t(by));
                    w.bytes({rexW(base.reg), 0x01, modrm(3, RAX, base.reg & 7)}); // add base, rax
                }
            }
            w.bytes({0x49, 0x83, 0xC3, std::uint8_t(std::int8_t(repetitions))}); // add r11, repetitions
        });
    };
    const Instruction* saved = e.instruction;
    auto onRow = [&](std::size_t k) {
        e.instruction = &e.firstRow[loop.first + k];
        e.loopCells = loop.cells.data() + loop.cellStart[k];
        e.loopCellCount = loop.cellStart[k + 1] - loop.cellStart[k];
    };
    auto offRows = [&] {
        e.loopCells = nullptr;
        e.loopCellCount = 0;
        e.instruction = saved;
    };
    // The body rows, `lanes` repetitions at a time; their offsets appended.
    auto body = [&](std::size_t lanes, std::vector<std::uint32_t>& offsets) {
        for (std::size_t k = 0; k < loop.period; ++k) {
            offsets.push_back(here());
            onRow(k);
            const Instruction& row = *e.instruction;
            // Only a trap on a later row needs a row's old cells back.
            const bool keep = k + 1 < loop.period;
            if (lanes == 4) {
                piece([&](CodeWriter& w) { quadRow(w, e, row, k, keep); });
            } else if (lanes == 2) {
                piece([&](CodeWriter& w) { pairedRow(w, e, row, k, keep); });
            } else if (sizeOnly) {
                size += EmitterOf(row.handler)(&e);
            } else {
                std::uint8_t* before = e.cursor;
                EmitterOf(row.handler)(&e);
                size += std::size_t(e.cursor - before);
            }
        }
        offRows();
    };
    const std::size_t lanes = loop.lanes;
    loop.head = at;
    piece([&](CodeWriter& w) {
        for (const RowLoop::Base& base : loop.bases) {
            w.bytes({rexW(base.reg), std::uint8_t(0xB8 + (base.reg & 7))}); // movabs base, start
            w.imm64(base.start);
        }
        w.bytes({0x45, 0x31, 0xDB}); // xor r11d, r11d
    });
    const std::uint32_t top = here();
    piece(storeRepetition);
    loop.body.clear();
    body(lanes, loop.body);
    loop.tail = here();
    advance(std::int64_t(lanes));
    piece([&](CodeWriter& w) {
        w.bytes({0x49, 0x81, 0xFB}); // cmp r11, repetitions that start a step
        w.imm32(std::int32_t(loop.repeats + 1 - lanes));
        w.bytes({0x0F, 0x82}); // jb top
        w.imm32(std::int32_t(std::int64_t(top) - (std::int64_t(here()) + w.count() + 4)));
        if (lanes == 4)
            vzeroupper(w);
    });
    // The last repetitions one at a time, with the registers on the first of them.
    loop.rest.clear();
    for (std::size_t r = 0; r < loop.repeats % lanes; ++r) {
        if (r > 0)
            advance(1);
        piece(storeRepetition);
        body(1, loop.rest);
    }
    loop.retry.clear();
    loop.retryEntries.clear();
    if (lanes > 1) {
        // Where a trap inside the body resumes: the later repetitions' cells that the body
        // wrote before the trapping row are put back, and the repetitions run again one after
        // the other from there, so that the trap comes on the row and with the cells of one
        // repetition at a time. Its end is the loop's next step.
        const std::uint32_t skip = here();
        jumpTo(0); // over the retry, set below
        std::vector<std::uint32_t> entryJumps;
        for (std::size_t k = 0; k < loop.period; ++k) {
            loop.retryEntries.push_back(here());
            for (std::size_t r = k; r-- > 0;) {
                onRow(r);
                piece([&](CodeWriter& w) {
                    if (lanes == 4)
                        quadStore(w, e, e.instruction->destination, std::uint8_t(3 + r), 1);
                    else
                        restoreSecondCell(w, e, r, e.instruction->destination);
                });
            }
            offRows();
            if (lanes == 4)
                piece(vzeroupper);
            entryJumps.push_back(here());
            jumpTo(0);
        }
        for (std::size_t lane = 0; lane < lanes; ++lane) {
            if (lane > 0) {
                advance(1);
                piece(storeRepetition);
            }
            body(1, loop.retry);
        }
        advance(1 - std::int64_t(lanes));
        jumpTo(loop.tail);
        loop.end = here();
        if (!sizeOnly) {
            // The forward jumps, now that their targets are known.
            auto patch = [&](std::uint32_t from, std::uint32_t to) {
                std::uint8_t* code = e.cursor - (size - (from - at)) + 1;
                const auto d = std::int32_t(std::int64_t(to) - (std::int64_t(from) + 5));
                std::memcpy(code, &d, sizeof d);
            };
            patch(skip, loop.end);
            for (std::size_t k = 0; k < loop.period; ++k)
                patch(entryJumps[k], loop.retry[k]);
        }
    }
    loop.end = here();
    return sizeOnly ? size : 0;
}

std::uint64_t& LoopRepetitionCell() { return g_loopRepetition; }

void AllowRowLoops(bool allowed) { g_rowLoopsAllowed = allowed; }

void LimitLoopLanes(std::size_t lanes) { g_maxLanes = lanes; }

void EmitPrologue(std::uint8_t*& cursor, std::uintptr_t cellBase)
{
    CodeWriter w(cursor, cursor);
    w.byte(0x53); // push rbx
    movabs(w, Reg(3), cellBase);
    cursor = w.at();
}

void EmitEpilogue(std::uint8_t*& cursor)
{
    *cursor++ = 0x5B; // pop rbx
    *cursor++ = 0xC3; // ret
}

void ChooseCellBase(const std::vector<Instruction>& rows, CodeEmission& emission)
{
    // The middle of the window of 2^32 bytes that holds the most of the rows' cell references
    // (the time, the first-step flag and the cursor counting once each); a cell out of reach
    // of the base takes a 64-bit address of its own.
    std::vector<std::uintptr_t> cells;
    cells.reserve(3 * rows.size() + 3);
    auto include = [&cells](const void* cell) {
        if (cell)
            cells.push_back(reinterpret_cast<std::uintptr_t>(cell));
    };
    for (const Instruction& row : rows) {
        if (!IsJumpHandler(row.handler)) // a jump's destination word is its target row
            include(row.destination);
        include(row.operand1);
        include(row.operand2);
    }
    include(&SimulationTime);
    include(&FirstEvaluationFlag);
    include(&InstructionCursor);
    include(&RunningMathsCall());
    include(&g_loopRepetition);
    std::sort(cells.begin(), cells.end());
    constexpr std::uintptr_t Window = (std::uintptr_t(1) << 32) - 128;
    std::size_t best = 0, bestEnd = 1;
    for (std::size_t first = 0, end = 0; first < cells.size(); ++first) {
        end = std::max(end, first + 1);
        while (end < cells.size() && cells[end] - cells[first] < Window)
            ++end;
        if (end - first > bestEnd - best) {
            best = first;
            bestEnd = end;
        }
    }
    emission.cellBase = cells[best] + (cells[bestEnd - 1] - cells[best]) / 2;
    emission.nearCells = g_nearCellsAllowed;
}

void AllowNearCells(bool allowed) { g_nearCellsAllowed = allowed; }

void InstallCodeEmitters()
{
    for (OpcodeRow& op : OpcodeTable)
        op.emitter = nullptr;
    for (const EmitterRow& row : Emitters)
        for (OpcodeRow& op : OpcodeTable)
            if (std::string_view(op.mnemonic) == row.mnemonic)
                op.emitter = row.emitter;
}

CodeEmitter EmitterOf(OperationHandler handler)
{
    const OpcodeRow* op = OpcodeOfHandler(handler);
    if (!op)
        return nullptr;
    if (!op->emitter)
        InstallCodeEmitters();
    return op->emitter;
}
