// The interpreter of the instruction tables: one handler per operation over the
// global cursor, the evaluators, the time delays and the random generator.
#include "simulator/interpreter.h"

#include "common/message_boxes.h"
#include "simulator/data_tables.h"
#include "simulator/model_variables.h"
#include "simulator/numerics/subnormals.h"
#include "simulator/run_state.h"
#include "simulator/user_libraries.h"

#include <algorithm>
#include <climits>
#include <cfenv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <deque>
#include <utility>
#include <variant>
#include <vector>

#if defined(__x86_64__) && defined(__SSE2__)
#include <xmmintrin.h>
#endif

Instruction* InstructionCursor = nullptr;
volatile std::sig_atomic_t InUserModel = 0;
UserCallRegisters UserCall;

namespace {

std::array<InstructionTable, TableCount> g_tables;

/// One sample of a time delay.
struct DelaySample {
    double release;
    double value;
    double created;
};

/// The samples of one `tdl`, oldest first; `first` numbers the front sample.
struct DelayLine {
    std::deque<DelaySample> samples;
    std::uint64_t first = 0;
    const double* input = nullptr;
};

struct PendingSample {
    DelayLine* line;
    std::uint64_t number;
};

/// The function a `dll` found last, valid while the registry and both name cells are unchanged.
struct DllCache {
    std::uint64_t generation = 0;
    double library = 0.0;
    double function = 0.0;
    UserFunction call = nullptr;
};

using PrivateBlock = std::variant<DelayLine, DllCache>;
std::deque<PrivateBlock> g_privateMemory;
std::vector<DelayLine*> g_delayLines;
std::vector<PendingSample> g_pendingSamples;

std::uint32_t g_randomState = 1;

Instruction g_endSentinel;

/// How far ahead of the running row the interpreter asks for the table's rows, in bytes.
constexpr std::uintptr_t RowPrefetchDistance = 4096;

inline double& D() { return *InstructionCursor->destination; }
inline double A() { return *InstructionCursor->operand1; }
inline double B() { return *InstructionCursor->operand2; }
inline void next() { ++InstructionCursor; }

/// b + a and b * a with b the first source, as the handlers compute them (of two NaNs, b's
/// comes out), so that every evaluator gives the same bits.
inline double addOf(double a, double b)
{
#if defined(__x86_64__) && defined(__SSE2__)
    asm("addsd %1, %0" : "+x"(b) : "x"(a));
    return b;
#else
    return b + a;
#endif
}

inline double mulOf(double a, double b)
{
#if defined(__x86_64__) && defined(__SSE2__)
    asm("mulsd %1, %0" : "+x"(b) : "x"(a));
    return b;
#else
    return b * a;
#endif
}


/// int(x) of a value that may be out of int's range or NaN (NaN gives INT_MIN).
int clampToInt(double x)
{
    if (std::isnan(x))
        return INT_MIN;
    x = std::trunc(x);
    if (x < double(INT_MIN))
        return INT_MIN;
    if (x > double(INT_MAX))
        return INT_MAX;
    return int(x);
}

/// The flags a maths routine must not raise: each is an error of its own kind.
constexpr int MathsErrorFlags = FE_INVALID | FE_DIVBYZERO | FE_OVERFLOW | FE_UNDERFLOW;

MathsErrorHandler g_mathsErrorHandler = nullptr;

/// The maths routine running now, so that a trap raised inside it is reported as its error.
MathsCallMarker g_mathsCall;

int mathsErrorKind(int raised)
{
    return (raised & FE_INVALID)     ? MathsDomainError
           : (raised & FE_DIVBYZERO) ? MathsSingularityError
           : (raised & FE_OVERFLOW)  ? MathsOverflowError
                                     : MathsUnderflowError;
}

/// The error flags among the flags a routine raised: underflow counts only when the result
/// underflowed to zero; a subnormal result keeps what it can (and the library may flag an
/// exact one).
inline int errorFlagsOf(int raised, double result)
{
    return raised & (result == 0.0 ? MathsErrorFlags : MathsErrorFlags & ~FE_UNDERFLOW);
}

#if defined(__x86_64__) && defined(__SSE2__)

// Double arithmetic runs in SSE, whose control/status register holds both the trap masks
// and the sticky flags (at the FE_* bits). Loading the register serialises the pipeline
// and even reading it costs more than many a routine, so a routine is first called with
// the register as it is: the traps of a run stay on, and an invalid operation or a
// division by zero inside the routine traps with `g_mathsCall` naming it. A result that is
// finite and far from the underflow threshold comes with no error flag; any other result
// (a NaN, an infinity, zero, a tiny value) has the routine called once more with the error
// flags cleared, and the flags it raises then are its errors. The routines are pure, so
// the second call gives the same result and the same flags.

/// True when a routine's result can have come with no error flag raised: finite and of
/// magnitude 2^-1000 or more (compared as bits, which raises no flag).
inline bool plainResult(double result)
{
    std::uint64_t bits;
    std::memcpy(&bits, &result, sizeof bits);
    bits &= 0x7FFFFFFFFFFFFFFFu;
    constexpr std::uint64_t Low = std::uint64_t(PlainExponentLow) << 52, Infinity = 0x7FF0000000000000u;
    return bits - Low < Infinity - Low;
}

/// The routine called again with its error flags cleared; they go to the handler, or stay
/// raised without one. Error flags raised before the first call are kept unless the routine
/// raises the same ones (the first call may have raised them).
template <class Routine, class... Arguments>
[[gnu::noinline, gnu::cold]] double checkedAgain(const char* function, Routine routine, double first, Arguments... rest)
{
    // Called again as in the default mode even where subnormals count as zero (the sparse
    // integrators): a result in the subnormal range is then the library's own, not a zero
    // taken for an underflow.
    const unsigned before = _mm_getcsr();
    const unsigned flushBits = before & numerics::SubnormalsAsZeroBits;
    _mm_setcsr(before & ~(unsigned(MathsErrorFlags) | flushBits));
    g_mathsCall = {function, first};
    double x = first;
    asm volatile("" : "+x"(x) : : "memory");
    double result = routine(x, rest...);
    asm volatile("" : "+x"(result) : : "memory");
    g_mathsCall.function = nullptr;
    const unsigned after = _mm_getcsr() | flushBits;
    const int raised = errorFlagsOf(int(after), result);
    if (!raised || !g_mathsErrorHandler) {
        _mm_setcsr(after | (before & unsigned(MathsErrorFlags)));
        return result;
    }
    _mm_setcsr((after & ~unsigned(MathsErrorFlags)) | (before & unsigned(MathsErrorFlags) & ~unsigned(raised)));
    g_mathsErrorHandler(mathsErrorKind(raised), function, first);
    return result;
}

/// Calls a maths-library routine and reports the error flags it raised; its other flags
/// (inexact) are kept, and so are flags raised before the call.
template <class Routine, class... Arguments>
inline double checkedMaths(const char* function, Routine routine, double first, Arguments... rest)
{
    g_mathsCall = {function, first};
    double x = first;
    asm volatile("" : "+x"(x) : : "memory");
    double result = routine(x, rest...);
    asm volatile("" : "+x"(result) : : "memory");
    g_mathsCall.function = nullptr;
    if (plainResult(result)) [[likely]]
        return result;
    return checkedAgain(function, routine, first, rest...);
}

#else

template <class Routine, class... Arguments>
inline double checkedMaths(const char* function, Routine routine, double first, Arguments... rest)
{
    std::fexcept_t earlier;
    std::fegetexceptflag(&earlier, MathsErrorFlags);
    std::feclearexcept(MathsErrorFlags);
    g_mathsCall = {function, first};
    volatile double x = first;
    volatile double result = routine(x, rest...);
    g_mathsCall.function = nullptr;
    const int raised = errorFlagsOf(std::fetestexcept(MathsErrorFlags), result);
    if (raised && g_mathsErrorHandler)
        std::feclearexcept(raised);
    const int kept = std::fetestexcept(MathsErrorFlags);
    std::fesetexceptflag(&earlier, MathsErrorFlags);
    std::feraiseexcept(kept);
    if (raised && g_mathsErrorHandler)
        g_mathsErrorHandler(mathsErrorKind(raised), function, first);
    return result;
}

#endif

// The maths-library calls of the operations; the fast code calls these same routines.
double mathsAcos(double x) { return checkedMaths("acos", [](double a) { return std::acos(a); }, x); }
double mathsAcosh(double x) { return checkedMaths("acosh", [](double a) { return std::acosh(a); }, x); }
double mathsAsin(double x) { return checkedMaths("asin", [](double a) { return std::asin(a); }, x); }
double mathsAsinh(double x) { return checkedMaths("asinh", [](double a) { return std::asinh(a); }, x); }
double mathsAtan(double x) { return checkedMaths("atan", [](double a) { return std::atan(a); }, x); }
double mathsAtan2(double y, double x) { return checkedMaths("atan2", [](double a, double b) { return std::atan2(a, b); }, y, x); }
double mathsAtanh(double x) { return checkedMaths("atanh", [](double a) { return std::atanh(a); }, x); }
double mathsCos(double x) { return checkedMaths("cos", [](double a) { return std::cos(a); }, x); }
double mathsCosh(double x) { return checkedMaths("cosh", [](double a) { return std::cosh(a); }, x); }
double mathsExp(double x) { return checkedMaths("exp", [](double a) { return std::exp(a); }, x); }
double mathsExp2(double x) { return checkedMaths("exp2", [](double a) { return std::exp2(a); }, x); }
double mathsExp10(double x) { return checkedMaths("exp10", [](double a) { return ::exp10(a); }, x); }
// fmod may be expanded inline and `ipw` truncates first: these two are functions of their
// own, out of line, so that native code calls the very code the interpreter runs.
[[gnu::noinline]] double floatingRemainder(double a, double b) { return std::fmod(a, b); }
[[gnu::noinline]] double powerOfTruncated(double a, double b) { return std::pow(a, std::trunc(b)); }

double mathsFmod(double x, double y) { return checkedMaths("fmod", floatingRemainder, x, y); }
double mathsLog(double x) { return checkedMaths("log", [](double a) { return std::log(a); }, x); }
double mathsLog2(double x) { return checkedMaths("log2", [](double a) { return std::log2(a); }, x); }
double mathsLog10(double x) { return checkedMaths("log10", [](double a) { return std::log10(a); }, x); }
double mathsPow(double x, double y) { return checkedMaths("pow", [](double a, double b) { return std::pow(a, b); }, x, y); }
/// a to the power of b truncated toward zero (a NaN stays a NaN).
double mathsIntegerPow(double x, double y) { return checkedMaths("pow", powerOfTruncated, x, y); }
double mathsSin(double x) { return checkedMaths("sin", [](double a) { return std::sin(a); }, x); }
double mathsSinh(double x) { return checkedMaths("sinh", [](double a) { return std::sinh(a); }, x); }
double mathsSqrt(double x) { return checkedMaths("sqrt", [](double a) { return std::sqrt(a); }, x); }
double mathsTan(double x) { return checkedMaths("tan", [](double a) { return std::tan(a); }, x); }
double mathsTanh(double x) { return checkedMaths("tanh", [](double a) { return std::tanh(a); }, x); }

void opEnd();

/// Stops the pass with the array-index message.
void indexOutOfBounds(double index, double lower, double upper)
{
    char line[160];
    std::snprintf(line, sizeof line, "index is %d, and should be between %d and %d",
                  clampToInt(index), clampToInt(lower), clampToInt(upper));
    ShowMessage({"Error during simulation:", "Array index out of bounds", line});
    opEnd();
}

/// True when the 1-based index lies within 1..extent.
bool indexInside(double index, std::int64_t extent)
{
    const double i = std::trunc(index);
    return i >= 1.0 && i <= double(extent);
}

/// True when the count lies within 0..extent.
bool countInside(double count, std::int64_t extent)
{
    const double n = std::trunc(count);
    return n >= 0.0 && n <= double(extent);
}

void opAbs() { D() = std::fabs(A()); next(); }
void opAch() { D() = mathsAcosh(A()); next(); }
void opAcs() { D() = mathsAcos(A()); next(); }
void opAdd() { D() = addOf(A(), B()); next(); }
void opAnd() { D() = (A() != 0.0 && B() != 0.0) ? 1.0 : 0.0; next(); }
void opAsh() { D() = mathsAsinh(A()); next(); }
void opAsn() { D() = mathsAsin(A()); next(); }
void opAt2() { D() = mathsAtan2(A(), B()); next(); }
void opAth() { D() = mathsAtanh(A()); next(); }
void opAtn() { D() = mathsAtan(A()); next(); }
void opCos() { D() = mathsCos(A()); next(); }
void opCsh() { D() = mathsCosh(A()); next(); }
void opDiv() { D() = A() / B(); next(); }

void opDll()
{
    Instruction* row = InstructionCursor;
    const std::string* library = StringOfValue(*row->operand1);
    const std::string* function = StringOfValue(*row->operand2);
    auto* cache = static_cast<DllCache*>(DetailOf(row).privateMemory);
    UserFunction call = nullptr;
    if (cache && cache->call && cache->generation == UserDllGeneration() &&
        cache->library == *row->operand1 && cache->function == *row->operand2) {
        call = cache->call;
    } else {
        const int found = FindUserFunction(library ? *library : std::string(),
                                           function ? *function : std::string(), call);
        if (found == 1) {
            std::vector<std::string> lines{"dll \"" + (library ? *library : std::string()) +
                                           "\" could not be found, or could not be initialized."};
            if (!UserDllError().empty())
                lines.push_back(UserDllError());
            ShowMessageLines(lines);
            RunStopFlag = 1;
            next();
            return;
        }
        if (found == 2) {
            ShowMessage({"Function \"" + (function ? *function : std::string()) + "\" could not be found in dll."});
            RunStopFlag = 1;
            next();
            return;
        }
        if (cache)
            *cache = {UserDllGeneration(), *row->operand1, *row->operand2, call};
    }
    if (call(UserCall.inputs, UserCall.inputCount, UserCall.outputs, UserCall.outputCount) == 1) {
        ShowMessage({"Error occurred in user dll-function \"" + (function ? *function : std::string()) + "\"."});
        RunStopFlag = 1;
    }
    // The registers may name cells of the next call only through a new hlg and flk.
    InstructionCursor = row + 1;
}

void opDly() { D() = FirstEvaluationFlag ? B() : A(); next(); }

void opEnd()
{
    RunStopFlag = 1;
    InstructionCursor = &g_endSentinel;
}

void opEx2() { D() = mathsExp2(A()); next(); }

void opExp()
{
    const double a = A();
    if (a < -708.0)
        D() = 0.0;
    else if (a > 708.0)
        D() = 1.797693e308;
    else
        D() = mathsExp(a);
    next();
}

void opExx() { D() = mathsExp10(A()); next(); }

void opFlk()
{
    const double count = A();
    const std::int64_t extent = DetailOf(InstructionCursor).extent;
    if (!countInside(count, extent)) {
        indexOutOfBounds(count, 0, double(extent));
        return;
    }
    UserCall.outputs = InstructionCursor->destination;
    UserCall.outputCount = int(std::trunc(count));
    next();
}

void opHlg()
{
    const double count = B();
    const std::int64_t extent = DetailOf(InstructionCursor).extent;
    if (!countInside(count, extent)) {
        indexOutOfBounds(count, 0, double(extent));
        return;
    }
    UserCall.inputs = InstructionCursor->operand1;
    UserCall.inputCount = int(std::trunc(count));
    next();
}

void opIdv() { D() = std::trunc(A() / B()); next(); }

void lookUpTable(int column, double x)
{
    const std::string* name = StringOfValue(A());
    double value = 0.0;
    if (TableFileLookup(name ? *name : std::string(), column, x, value))
        D() = value;
    else
        RunStopFlag = 1;
    next();
}

void opInp() { lookUpTable(clampToInt(B()), SimulationTime); }
void opInv() { D() = -A(); next(); }
void opIpw() { D() = mathsIntegerPow(A(), B()); next(); }

/// The target of the jump at the cursor, held in its destination word.
inline Instruction* target() { return reinterpret_cast<Instruction*>(InstructionCursor->destination); }
inline void jumpWhen(bool taken) { InstructionCursor = taken ? target() : InstructionCursor + 1; }
void opJeq() { jumpWhen(A() == 0.0); }
void opJfa() { jumpWhen(A() == 0.0); }
void opJge() { jumpWhen(A() >= 0.0); }
void opJgt() { jumpWhen(A() > 0.0); }
void opJle() { jumpWhen(A() <= 0.0); }
void opJlt() { jumpWhen(A() < 0.0); }
void opJmp() { InstructionCursor = target(); }
void opJne() { jumpWhen(A() != 0.0); }
void opLg2() { D() = mathsLog2(A()); next(); }
void opLgx() { D() = mathsLog10(A()); next(); }
void opLog() { D() = mathsLog(A()); next(); }

void opMar()
{
    const double index = B();
    const std::int64_t extent = DetailOf(InstructionCursor).extent;
    if (!indexInside(index, extent)) {
        indexOutOfBounds(index, 1, double(extent));
        return;
    }
    D() = InstructionCursor->operand1[std::int64_t(std::trunc(index)) - 1];
    next();
}

void opMod() { D() = mathsFmod(A(), B()); next(); }
void opMov() { D() = A(); next(); }

void opMra()
{
    const double index = A();
    const std::int64_t extent = DetailOf(InstructionCursor).extent;
    if (!indexInside(index, extent)) {
        indexOutOfBounds(index, 1, double(extent));
        return;
    }
    InstructionCursor->destination[std::int64_t(std::trunc(index)) - 1] = B();
    next();
}

void opMul() { D() = mulOf(A(), B()); next(); }
void opNot() { D() = A() == 0.0 ? 1.0 : 0.0; next(); }
void opOrr() { D() = (A() != 0.0 || B() != 0.0) ? 1.0 : 0.0; next(); }

void opPlf()
{
    const double index = std::trunc(D());
    const double lower = A();
    const double upper = B();
    if (!(index >= lower && index <= upper)) {
        indexOutOfBounds(index, lower, upper);
        return;
    }
    next();
}

void opPow() { D() = mathsPow(A(), B()); next(); }
void opPw2() { const double a = A(); D() = a * a; next(); }
void opRan() { D() = (RandomInteger15() / 32767.0 - 0.5) * 2.0 * A(); next(); }
void opRmp() { const double a = A(); D() = SimulationTime >= a ? SimulationTime - a : 0.0; next(); }

void opRst()
{
    const double condition = std::trunc(D());
    if (condition != 0.0 && !std::isnan(condition)) {
        *InstructionCursor->operand1 = B();
        RestartFlag = 1;
    }
    next();
}

void opSgn()
{
    const double a = A();
    D() = a < 0.0 ? -1.0 : a == 0.0 ? 0.0 : a > 0.0 ? 1.0 : a;
    next();
}

void opSin() { D() = mathsSin(A()); next(); }
void opSnh() { D() = mathsSinh(A()); next(); }
void opSqt() { D() = mathsSqrt(A()); next(); }
void opStp() { D() = SimulationTime < A() ? 0.0 : 1.0; next(); }
void opSub() { D() = A() - B(); next(); }
void opTab() { lookUpTable(1, B()); }
void opTan() { D() = mathsTan(A()); next(); }

void opTdl()
{
    auto* line = static_cast<DelayLine*>(DetailOf(InstructionCursor).privateMemory);
    const double t = SimulationTime;
    if (FirstEvaluationFlag) {
        line->first += line->samples.size();
        line->samples.clear();
    }
    const double created = t < 0 ? -t : t;
    line->input = InstructionCursor->operand1;
    line->samples.push_back({created + B(), A(), created});
    g_pendingSamples.push_back({line, line->first + line->samples.size() - 1});

    const auto& s = line->samples;
    if (t + 1e-13 < s.front().release) {
        D() = 0.0;
        next();
        return;
    }
    std::size_t k = 1;
    while (k < s.size() && !(s[k].release > t))
        ++k;
    const DelaySample& p = s[k - 1];
    if (k < s.size()) {
        const DelaySample& n = s[k];
        if (n.release - p.release >= 1e-13 && t - p.release >= 1e-13)
            D() = p.value + (t - p.release) * (n.value - p.value) / (n.release - p.release);
        else
            D() = p.value;
    } else {
        D() = p.value;
        char text[200];
        std::snprintf(text, sizeof text, "no upper element found (%g, %g) at %g -> %g", p.release, p.value, t, D());
        ShowStatus(text, false);
    }
    next();
}

void opTeq() { D() = A() == B() ? 1.0 : 0.0; next(); }
void opTge() { D() = A() >= B() ? 1.0 : 0.0; next(); }
void opTgt() { D() = A() > B() ? 1.0 : 0.0; next(); }
void opTim() { D() = SimulationTime; next(); }
void opTle() { D() = A() <= B() ? 1.0 : 0.0; next(); }
void opTlt() { D() = A() < B() ? 1.0 : 0.0; next(); }
void opTne() { D() = A() != B() ? 1.0 : 0.0; next(); }
void opTnh() { D() = mathsTanh(A()); next(); }

bool g_hasDelay = false;

/// Runs the model's code with `InUserModel` set, as it was afterwards. Nothing here needs
/// unwinding: a trap's jump to the recovery point may leave from inside.
template <class Code>
inline void asModelCode(Code code)
{
    const std::sig_atomic_t was = InUserModel;
    InUserModel = 1;
    code();
    InUserModel = was;
}

void runTable(int index)
{
    asModelCode([index] { RunInstructionTable(g_tables[index]); });
}
void interpretInitialization() { runTable(0); }
void interpretExcitation() { runTable(1); }
void interpretDynamic() { runTable(2); }
void interpretOutput() { runTable(3); }

ModelEvaluatorSet g_native;

void evaluateInitialization() { asModelCode(g_native.initialization); }
void evaluateExcitation() { asModelCode(g_native.excitation); }
void evaluateDynamicNative()
{
    asModelCode(g_native.dynamic);
    ++EvaluationCount;
}
void evaluateDynamic() { interpretDynamic(); ++EvaluationCount; }
void evaluateOutputNative()
{
    asModelCode(g_native.output);
    if (g_hasDelay)
        CommitDelaySamples();
}
void evaluateOutput()
{
    interpretOutput();
    if (g_hasDelay)
        CommitDelaySamples();
}

} // namespace

ModelEvaluatorSet ModelEvaluators = {interpretInitialization, interpretExcitation, evaluateDynamic, evaluateOutput};

std::array<OpcodeRow, 66> OpcodeTable = {{
    {"abs", ShapeOne, opAbs, nullptr}, {"ach", ShapeOne, opAch, nullptr},
    {"acs", ShapeOne, opAcs, nullptr}, {"add", ShapeTwo, opAdd, nullptr},
    {"and", ShapeTwo, opAnd, nullptr}, {"ash", ShapeOne, opAsh, nullptr},
    {"asn", ShapeOne, opAsn, nullptr}, {"at2", ShapeTwo, opAt2, nullptr},
    {"ath", ShapeOne, opAth, nullptr}, {"atn", ShapeOne, opAtn, nullptr},
    {"cos", ShapeOne, opCos, nullptr}, {"csh", ShapeOne, opCsh, nullptr},
    {"div", ShapeTwo, opDiv, nullptr}, {"dll", ShapeTwo, opDll, nullptr},
    {"dly", ShapeTwo, opDly, nullptr}, {"end", ShapeNone, opEnd, nullptr},
    {"ex2", ShapeOne, opEx2, nullptr}, {"exp", ShapeOne, opExp, nullptr},
    {"exx", ShapeOne, opExx, nullptr}, {"flk", ShapeOne, opFlk, nullptr},
    {"hlg", ShapeTwo, opHlg, nullptr}, {"idv", ShapeTwo, opIdv, nullptr},
    {"inp", ShapeTwo, opInp, nullptr}, {"inv", ShapeOne, opInv, nullptr},
    {"ipw", ShapeTwo, opIpw, nullptr}, {"jeq", ShapeCondJump, opJeq, nullptr},
    {"jfa", ShapeCondJump, opJfa, nullptr}, {"jge", ShapeCondJump, opJge, nullptr},
    {"jgt", ShapeCondJump, opJgt, nullptr}, {"jle", ShapeCondJump, opJle, nullptr},
    {"jlt", ShapeCondJump, opJlt, nullptr}, {"jmp", ShapeJump, opJmp, nullptr},
    {"jne", ShapeCondJump, opJne, nullptr}, {"lg2", ShapeOne, opLg2, nullptr},
    {"lgx", ShapeOne, opLgx, nullptr}, {"log", ShapeOne, opLog, nullptr},
    {"mar", ShapeTwo, opMar, nullptr}, {"mod", ShapeTwo, opMod, nullptr},
    {"mov", ShapeOne, opMov, nullptr}, {"mra", ShapeTwo, opMra, nullptr},
    {"mul", ShapeTwo, opMul, nullptr}, {"not", ShapeOne, opNot, nullptr},
    {"orr", ShapeTwo, opOrr, nullptr}, {"plf", ShapeTwo, opPlf, nullptr},
    {"pow", ShapeTwo, opPow, nullptr}, {"pw2", ShapeOne, opPw2, nullptr},
    {"ran", ShapeOne, opRan, nullptr}, {"rmp", ShapeOne, opRmp, nullptr},
    {"rst", ShapeTwo, opRst, nullptr}, {"sgn", ShapeOne, opSgn, nullptr},
    {"sin", ShapeOne, opSin, nullptr}, {"snh", ShapeOne, opSnh, nullptr},
    {"sqt", ShapeOne, opSqt, nullptr}, {"stp", ShapeOne, opStp, nullptr},
    {"sub", ShapeTwo, opSub, nullptr}, {"tab", ShapeTwo, opTab, nullptr},
    {"tan", ShapeOne, opTan, nullptr}, {"tdl", ShapeTwo, opTdl, nullptr},
    {"teq", ShapeTwo, opTeq, nullptr}, {"tge", ShapeTwo, opTge, nullptr},
    {"tgt", ShapeTwo, opTgt, nullptr}, {"tim", ShapeTime, opTim, nullptr},
    {"tle", ShapeTwo, opTle, nullptr}, {"tlt", ShapeTwo, opTlt, nullptr},
    {"tne", ShapeTwo, opTne, nullptr}, {"tnh", ShapeOne, opTnh, nullptr},
}};

const OpcodeRow* FindOpcode(std::string_view mnemonic)
{
    auto it = std::lower_bound(OpcodeTable.begin(), OpcodeTable.end(), mnemonic,
                               [](const OpcodeRow& row, std::string_view text) { return row.mnemonic < text; });
    return it != OpcodeTable.end() && it->mnemonic == mnemonic ? &*it : nullptr;
}

const OpcodeRow* OpcodeOfHandler(OperationHandler handler)
{
    for (const OpcodeRow& row : OpcodeTable)
        if (row.handler == handler)
            return &row;
    return nullptr;
}

OperationHandler EndHandler() { return opEnd; }

bool IsJumpHandler(OperationHandler handler)
{
    return handler == opJmp || handler == opJeq || handler == opJfa || handler == opJge || handler == opJgt ||
           handler == opJle || handler == opJlt || handler == opJne;
}

Instruction* JumpTarget(const Instruction& row)
{
    return IsJumpHandler(row.handler) ? reinterpret_cast<Instruction*>(row.destination) : nullptr;
}

void SetJumpTarget(Instruction& row, Instruction* target) { row.destination = reinterpret_cast<double*>(target); }

const InstructionDetail& DetailOf(const Instruction* row)
{
    static const InstructionDetail none;
    // The table of the last row asked about first: a pass asks about its own rows.
    static std::size_t last = 0;
    for (std::size_t k = 0; k < g_tables.size(); ++k) {
        const std::size_t i = (last + k) % g_tables.size();
        const InstructionTable& table = g_tables[i];
        if (!table.rows.empty() && row >= table.rows.data() && row < table.rows.data() + table.rows.size()) {
            last = i;
            const auto at = std::size_t(row - table.rows.data());
            return at < table.details.size() ? table.details[at] : none;
        }
    }
    return none;
}

std::array<InstructionTable, TableCount>& InstructionTables() { return g_tables; }

void ClearInstructionTables()
{
    for (InstructionTable& table : g_tables)
        table = InstructionTable{};
    g_pendingSamples.clear();
    g_delayLines.clear();
    g_privateMemory.clear();
    g_hasDelay = false;
    InstructionCursor = nullptr;
    UserCall = UserCallRegisters{};
}

void* PrivateMemoryFor(OperationHandler handler)
{
    if (handler == opTdl) {
        auto& block = g_privateMemory.emplace_back(std::in_place_type<DelayLine>);
        auto* line = &std::get<DelayLine>(block);
        g_delayLines.push_back(line);
        return line;
    }
    if (handler == opDll)
        return &std::get<DllCache>(g_privateMemory.emplace_back(std::in_place_type<DllCache>));
    return nullptr;
}

void RunInstructionTable(InstructionTable& table)
{
    if (table.rows.empty())
        return;
    g_endSentinel.handler = opEnd;
    // The arithmetic that makes up most of a large model runs here, without a call through the
    // handler; the cursor still names each row before it runs (a trap is put on it). A table
    // larger than the caches comes from memory as the rows run: the rows a page ahead are asked
    // for in time (a prefetch past the table's end fetches nothing and never faults).
    Instruction* row = table.rows.data();
    for (;;) {
        const OperationHandler handler = row->handler;
        InstructionCursor = row;
        __builtin_prefetch(reinterpret_cast<const void*>(reinterpret_cast<std::uintptr_t>(row) + RowPrefetchDistance));
        if (handler == opSub) {
            *row->destination = *row->operand1 - *row->operand2;
        } else if (handler == opDiv) {
            *row->destination = *row->operand1 / *row->operand2;
        } else if (handler == opAdd) {
            *row->destination = addOf(*row->operand1, *row->operand2);
        } else if (handler == opMul) {
            *row->destination = mulOf(*row->operand1, *row->operand2);
        } else if (handler == opMov) {
            *row->destination = *row->operand1;
        } else if (handler == opEnd) {
            return;
        } else {
            handler();
            row = InstructionCursor;
            continue;
        }
        ++row;
    }
}

bool SelectModelEvaluators(const ModelEvaluatorSet* native)
{
    g_hasDelay = false;
    for (const InstructionTable& table : g_tables)
        for (const Instruction& row : table.rows)
            if (row.handler == opTdl)
                g_hasDelay = true;
    if (native) {
        g_native = *native;
        ModelEvaluators = {evaluateInitialization, evaluateExcitation, evaluateDynamicNative, evaluateOutputNative};
    } else {
        ModelEvaluators = {interpretInitialization, interpretExcitation, evaluateDynamic, evaluateOutput};
    }
    return g_hasDelay;
}

void EvaluateModel(double t)
{
    SimulationTime = t;
    ModelEvaluators.dynamic();
}

void CommitDelaySamples()
{
    const double now = SimulationTime;
    for (const PendingSample& pending : g_pendingSamples) {
        DelayLine& line = *pending.line;
        if (pending.number < line.first || pending.number - line.first >= line.samples.size())
            continue; // abandoned by a new run
        DelaySample& sample = line.samples[pending.number - line.first];
        sample.value = line.input ? *line.input : sample.value;
        sample.release += now - sample.created;
    }
    for (DelayLine* line : g_delayLines) {
        while (line->samples.size() >= 2 && line->samples[1].release < now) {
            line->samples.pop_front();
            ++line->first;
        }
    }
    g_pendingSamples.clear();
}

std::int64_t LocateInstruction(int& tableIndex, std::string& tableName)
{
    for (int i = 0; i < TableCount; ++i) {
        const auto& rows = g_tables[i].rows;
        if (!rows.empty() && InstructionCursor >= rows.data() && InstructionCursor < rows.data() + rows.size()) {
            tableIndex = i;
            tableName = TableNames[i];
            return rows.data() - InstructionCursor;
        }
    }
    tableIndex = 0;
    tableName = "???";
    return -1;
}

UnaryMaths UnaryMathsOf(OperationHandler handler)
{
    static const std::pair<OperationHandler, UnaryMaths> routines[] = {
        {opAch, mathsAcosh}, {opAcs, mathsAcos}, {opAsh, mathsAsinh}, {opAsn, mathsAsin},  {opAth, mathsAtanh},
        {opAtn, mathsAtan},  {opCos, mathsCos},  {opCsh, mathsCosh},  {opEx2, mathsExp2},  {opExp, mathsExp},
        {opExx, mathsExp10}, {opLg2, mathsLog2}, {opLgx, mathsLog10}, {opLog, mathsLog},   {opSin, mathsSin},
        {opSnh, mathsSinh},  {opSqt, mathsSqrt}, {opTan, mathsTan},   {opTnh, mathsTanh},
    };
    for (const auto& [op, routine] : routines)
        if (op == handler)
            return routine;
    return nullptr;
}

BinaryMaths BinaryMathsOf(OperationHandler handler)
{
    if (handler == opAt2)
        return mathsAtan2;
    if (handler == opMod)
        return mathsFmod;
    if (handler == opPow)
        return mathsPow;
    if (handler == opIpw)
        return mathsIntegerPow;
    return nullptr;
}

RawMaths RawMathsOf(OperationHandler handler)
{
    // The very functions the checked routines' lambdas call, so that results stay bit-identical.
    using U = UnaryMaths;
    using B = BinaryMaths;
    static const std::pair<OperationHandler, RawMaths> routines[] = {
        {opAch, {"acosh", U(&::acosh), nullptr}}, {opAcs, {"acos", U(&::acos), nullptr}},
        {opAsh, {"asinh", U(&::asinh), nullptr}}, {opAsn, {"asin", U(&::asin), nullptr}},
        {opAth, {"atanh", U(&::atanh), nullptr}}, {opAtn, {"atan", U(&::atan), nullptr}},
        {opCos, {"cos", U(&::cos), nullptr}},     {opCsh, {"cosh", U(&::cosh), nullptr}},
        {opEx2, {"exp2", U(&::exp2), nullptr}},   {opExp, {"exp", U(&::exp), nullptr}},
        {opExx, {"exp10", U(&::exp10), nullptr}}, {opLg2, {"log2", U(&::log2), nullptr}},
        {opLgx, {"log10", U(&::log10), nullptr}}, {opLog, {"log", U(&::log), nullptr}},
        {opSin, {"sin", U(&::sin), nullptr}},     {opSnh, {"sinh", U(&::sinh), nullptr}},
        {opSqt, {"sqrt", U(&::sqrt), nullptr}},   {opTan, {"tan", U(&::tan), nullptr}},
        {opTnh, {"tanh", U(&::tanh), nullptr}},   {opAt2, {"atan2", nullptr, B(&::atan2)}},
        {opPow, {"pow", nullptr, B(&::pow)}},    {opMod, {"fmod", nullptr, floatingRemainder}},
        {opIpw, {"pow", nullptr, powerOfTruncated}},
    };
    for (const auto& [op, routine] : routines)
        if (op == handler)
            return routine;
    return {};
}

MathsCallMarker& RunningMathsCall() { return g_mathsCall; }

int RandomInteger15()
{
    g_randomState = g_randomState * 1103515245u + 12345u;
    return int((g_randomState >> 16) & 0x7FFF);
}

void SeedRandomGenerator(std::uint32_t seed) { g_randomState = seed; }

MathsErrorHandler SetMathsErrorHandler(MathsErrorHandler handler)
{
    return std::exchange(g_mathsErrorHandler, handler);
}

const char* TakeInterruptedMathsCall(double& argument)
{
    argument = g_mathsCall.argument;
    return std::exchange(g_mathsCall.function, nullptr);
}
