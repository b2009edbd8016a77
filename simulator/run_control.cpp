// Run control. Floating-point traps are enabled only around a step (or the start of
// the integration), with a recovery point set just before it: SIGFPE goes through
// sigaction to a handler that only records the trap kind and jumps back there, and
// every message is shown after the jump. A trap inside a maths function of the model
// is reported as that function's error with its argument; a trap inside native model
// code is put on its row from the trap's address.
#include "simulator/run_control.h"

#include "common/message_boxes.h"
#include "simulator/data_tables.h"
#include "simulator/fastcode/fast_code.h"
#include "simulator/integration_methods.h"
#include "simulator/interpreter.h"
#include "simulator/model_variables.h"
#include "simulator/numerics/subnormals.h"
#include "simulator/run_specs.h"
#include "simulator/run_state.h"
#include "simulator/user_libraries.h"

#include <algorithm>
#include <cfenv>
#include <chrono>
#include <csetjmp>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>

#include <ucontext.h>

namespace {

constexpr int TrapExceptions = FE_INVALID | FE_DIVBYZERO;

/// Names the methods that can run an implicit model, as the run specifications list them.
std::string implicitMethodsAdvice()
{
    std::string names;
    for (const IntegrationMethodRow& method : IntegrationMethods)
        if (method.isBdf)
            names += std::string(names.empty() ? "" : " or ") + method.name;
    return "Choose the method " + names + " in the Run Specifications.";
}

sigjmp_buf g_recovery;
volatile std::sig_atomic_t g_armed = 0;
volatile std::sig_atomic_t g_trapKind = 0;
volatile std::sig_atomic_t g_trapped = 0;
volatile std::sig_atomic_t g_trapCode = 0;
volatile std::uintptr_t g_trapAddress = 0;
/// Whether the model's own code was running when the trap came (`InUserModel` then).
volatile std::sig_atomic_t g_trapInModel = 0;
/// The kind of the trap that was ignored for its step and ends the run at the next turn.
int g_ignoredTrapKind = 0;

struct sigaction g_previousAction;
bool g_handlerInstalled = false;

struct ExecutionTimer {
    std::uint32_t start = 0;
    std::uint32_t elapsed = 0;
    bool started = false;
    bool running = false;
    bool measured = false;
} g_timer;

std::string g_summary;
std::function<void(int)> g_phaseListener;
std::function<bool()> g_lastRunOfSeries;
std::function<void()> g_endOfRun;
std::function<void()> g_refusedRun;

std::uint32_t tickCount()
{
    using namespace std::chrono;
    return std::uint32_t(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

int trapKindOfCode(int code)
{
    switch (code) {
    case FPE_INTOVF: return 126;
    case FPE_INTDIV: return 127;
    case FPE_FLTINV: return 129;
    case FPE_FLTDIV: return 131;
    case FPE_FLTOVF: return 132;
    case FPE_FLTUND: return 133;
    case FPE_FLTRES: return 134;
    case FPE_FLTSUB: return 135;
    default: return code <= 0 ? 140 : 0; // sent by a program (raise, kill)
    }
}

void RunTrapHandler(int, siginfo_t* info, void* context)
{
    // A trap of the processor's own (not one sent) inside native code that runs several
    // repetitions of its rows at once resumes in code that runs them one at a time.
    if (info && info->si_code > 0 && ResumeTrapInLoopLanes(context))
        return;
    g_trapCode = info ? info->si_code : 0;
#if defined(__x86_64__)
    // Where the trap came from, so that native model code can be located at its own row.
    g_trapAddress = context ? std::uintptr_t(static_cast<ucontext_t*>(context)->uc_mcontext.gregs[REG_RIP]) : 0;
#else
    (void)context;
#endif
    g_trapKind = trapKindOfCode(g_trapCode);
    g_trapInModel = InUserModel;
    g_trapped = 1;
    if (g_armed) {
        g_armed = 0;
        siglongjmp(g_recovery, 1);
    }
    // Raised outside a guarded computation: nothing to undo; the run ends at the next turn.
}

/// The line of a box that ends a run: where in time the run stopped.
std::string runEndedText(const char* why = "")
{
    char text[96];
    std::snprintf(text, sizeof text, "The run ended at time %g%s.", SimulationTime, why);
    return text;
}

/// Where in the model's equations the cursor stands: the table and the row, counted from 1.
std::string modelRowText()
{
    int table = 0;
    std::string name;
    const std::int64_t row = LocateInstruction(table, name);
    if (name == "???")
        return "At unknown instruction.";
    char text[96];
    std::snprintf(text, sizeof text, "In %s equations, instruction nr. %lld.", name.c_str(), (long long)(1 - row));
    return text;
}

/// The box of a trap that ends the run, outside the maths functions: in the model's equations,
/// at the row the cursor stands on, or in the integration method.
void showTrapMessage(int kind, bool inModel)
{
    StopExecutionTimer();
    if (inModel)
        ShowMessage({"Floating-point library exception", "", TrapText(kind) + " in user model.", modelRowText(),
                     runEndedText()});
    else
        ShowMessage({"Floating-point library exception", "", TrapText(kind) + " outside user model.",
                     "Probably in integration method.", runEndedText()});
}

} // namespace

void ReportIdleTrap(int kind)
{
    if (IgnorableTrap(0, kind)) {
        ShowStatus("Ignoring arithmetic trap: " + TrapText(kind) + "\r\noutside user model", true);
        return;
    }
    ShowMessage({"Floating-point library exception.", "", TrapText(kind) + " outside user model."});
}

namespace {

void resetFloatingPointUnit()
{
    fedisableexcept(FE_ALL_EXCEPT);
    std::feclearexcept(FE_ALL_EXCEPT);
    // A trap inside a sparse integrator's call leaves it by a jump, past the scope that
    // counts subnormals as zero.
    numerics::ClearSubnormalsAsZero();
}

void RunMathsErrorHandler(int kind, const char* function, double argument);
MathsErrorHandler g_outerMathsHandler = nullptr;

/// Runs the computation with traps enabled and maths errors ending it; false when a
/// trap or a maths error ended it.
template <class Computation>
bool guarded(Computation&& computation)
{
    if (sigsetjmp(g_recovery, 1) != 0) {
        InUserModel = 0;
        resetFloatingPointUnit();
        SetMathsErrorHandler(g_outerMathsHandler);
        return false;
    }
    std::feclearexcept(FE_ALL_EXCEPT);
    double stale;
    TakeInterruptedMathsCall(stale);
    g_trapAddress = 0;
    g_trapInModel = 0;
    g_outerMathsHandler = SetMathsErrorHandler(RunMathsErrorHandler);
    g_armed = 1;
    feenableexcept(TrapExceptions);
    computation();
    fedisableexcept(FE_ALL_EXCEPT);
    g_armed = 0;
    SetMathsErrorHandler(g_outerMathsHandler);
    const bool overflow = std::fetestexcept(FE_OVERFLOW) != 0;
    std::feclearexcept(FE_ALL_EXCEPT);
    if (overflow || g_trapped) {
        // Overflow runs on (it is not trapped) and ends the run at the next turn; so does a
        // trap raised by a program outside a guarded computation. Underflow is not looked
        // at: the variable-step methods raise it in sound runs (CVODE and DDASSL at their
        // start), and the maths routines report their own underflow.
        const int kind = overflow ? 132 : int(g_trapKind);
        g_trapped = 0;
        MathErrorOccurred = 1;
        if (IgnorableTrap(0, kind)) {
            g_ignoredTrapKind = kind;
            ShowStatus("Ignoring arithmetic trap: " + TrapText(kind) + "\r\noutside user model", true);
        } else {
            showTrapMessage(kind, false);
            StartRequested = 0;
            RunStopFlag = 1;
        }
    }
    return true;
}

struct MathFunctionName {
    const char* mnemonic;
    const char* name;
};
constexpr MathFunctionName MathFunctions[] = {
    {"acs", "acos"}, {"ach", "acosh"}, {"asn", "asin"}, {"ash", "asinh"}, {"at2", "atan2"}, {"atn", "atan"},
    {"ath", "atanh"}, {"cos", "cos"},  {"csh", "cosh"}, {"ex2", "exp2"},  {"exp", "exp"},   {"exx", "exp10"},
    {"ipw", "pow"},  {"lg2", "log2"},  {"lgx", "log10"}, {"log", "log"},  {"pow", "pow"},   {"sin", "sin"},
    {"snh", "sinh"}, {"sqt", "sqrt"},  {"tan", "tan"},   {"tnh", "tanh"}};

/// The maths function the model was computing when the trap came, or null.
const char* trappedMathFunction(double& argument)
{
    if (!InstructionCursor || !InstructionCursor->handler)
        return nullptr;
    const OpcodeRow* row = OpcodeOfHandler(InstructionCursor->handler);
    if (!row)
        return nullptr;
    for (const MathFunctionName& f : MathFunctions)
        if (std::strcmp(f.mnemonic, row->mnemonic) == 0) {
            argument = InstructionCursor->operand1 ? *InstructionCursor->operand1 : 0.0;
            return f.name;
        }
    return nullptr;
}

/// "Math-library exception" with the error of a maths function and its first argument.
void showMathsError(int kind, const char* function, double argument)
{
    const char* form = kind == 1   ? "Domain error in function %s(%g)"
                       : kind == 2 ? "Singularity error in function %s(%g)"
                       : kind == 3 ? "Overflow error in function %s(%g)"
                       : kind == 4 ? "Underflow error in function %s(%g)"
                       : kind == 5 ? "Significant precision loss error in function %s(%g)"
                                   : "Unknown error in function %s(%g)";
    const int length = std::snprintf(nullptr, 0, form, function, argument);
    std::string text(std::size_t(std::max(length, 0)) + 1, '\0');
    std::snprintf(text.data(), text.size(), form, function, argument);
    text.resize(std::size_t(std::max(length, 0)));
    StopExecutionTimer();
    ShowMessage({"Math-library exception", "", text, runEndedText(),
                 "Check your model and integration method parameters"});
}

struct PendingMathsError {
    bool pending = false;
    int kind = 0;
    const char* function = nullptr;
    double argument = 0.0;
} g_mathsError;

/// The maths error handler of a run: inside a guarded computation it ends the pass at
/// the recovery point, which reports it; elsewhere it reports it and the run ends at
/// the next turn.
void RunMathsErrorHandler(int kind, const char* function, double argument)
{
    if (g_armed) {
        g_armed = 0;
        g_mathsError = {true, kind, function, argument};
        siglongjmp(g_recovery, 1);
    }
    MathErrorOccurred = 1;
    StartRequested = 0;
    RunStopFlag = 1;
    showMathsError(kind, function, argument);
}

/// The error kind (1..5, 0 unknown) of a trap inside a maths function.
int mathsErrorKindOfTrap(int code)
{
    switch (code) {
    case FPE_FLTINV: return 1;
    case FPE_FLTDIV: return 2;
    case FPE_FLTOVF: return 3;
    case FPE_FLTUND: return 4;
    case FPE_FLTRES: return 5;
    default: return 0;
    }
}

/// What the recovery point does after a trap or a maths error: the message, then the run is to end.
void reportTrap()
{
    const int kind = g_trapKind;
    const int code = g_trapCode;
    const bool inModel = g_trapInModel != 0;
    g_trapInModel = 0;
    const PendingMathsError mathsError = std::exchange(g_mathsError, PendingMathsError{});
    g_trapped = 0;
    MathErrorOccurred = 1;
    StartRequested = 0;
    RunStopFlag = 1;
    if (mathsError.pending) {
        showMathsError(mathsError.kind, mathsError.function, mathsError.argument);
        return;
    }
    double argument = 0.0;
    if (const char* function = TakeInterruptedMathsCall(argument)) {
        showMathsError(mathsErrorKindOfTrap(code), function, argument);
        return;
    }
    // Native code moves the cursor only for rows that call out: a trap in its inline
    // arithmetic is put on its own row from the trap's address.
    const std::uintptr_t address = g_trapAddress;
    g_trapAddress = 0;
    if (Instruction* row = FastCodeRowAt(address))
        InstructionCursor = row;
    if (const char* function = trappedMathFunction(argument)) {
        showMathsError(mathsErrorKindOfTrap(code), function, argument);
        return;
    }
    showTrapMessage(kind, inModel);
}

void installTrapHandler()
{
    if (g_handlerInstalled)
        return;
    struct sigaction action {};
    action.sa_sigaction = RunTrapHandler;
    action.sa_flags = SA_SIGINFO;
    sigemptyset(&action.sa_mask);
    if (sigaction(SIGFPE, &action, &g_previousAction) != 0) {
        ShowMessage({"Floating-point library error", "Failure in installing exception handler", "No simulation possible"});
        return;
    }
    g_handlerInstalled = true;
}

void restoreTrapHandler()
{
    if (!g_handlerInstalled)
        return;
    g_handlerInstalled = false;
    if (sigaction(SIGFPE, &g_previousAction, nullptr) != 0)
        ShowMessage({"Floating-point library warning", "Reinstalling original exception handler failed."});
}

void tellPhase(int event)
{
    if (g_phaseListener)
        g_phaseListener(event);
}

/// Starts the method; false when it could not start at all (its workspace could not be had).
bool startIntegrationMethod(int continuing)
{
    const int started = RunSpecs().method == MethodBdf ? BdfStart(continuing) : StartIntegration(continuing);
    if (!started)
        RunStopFlag = 1;
    return started != 0;
}

/// Undoes a start whose method could not begin: the outputs are dropped and no summary is
/// given, as for any refused start.
void abandonStart()
{
    StopExecutionTimer();
    if (RunOutput().abandoned)
        RunOutput().abandoned();
    else if (RunOutput().ended)
        RunOutput().ended();
    ClearTableFileCache();
    TerminateUserDlls();
    Simulating = 0;
    RunStopFlag = 0;
    tellPhase(7);
}

/// Finishes the run, puts the previous trap handler back and tells the series.
void finishChunk()
{
    FinishRun();
    RunStopFlag = 0;
    restoreTrapHandler();
    if (g_endOfRun)
        g_endOfRun();
}

} // namespace

void StartExecutionTimer()
{
    g_timer.start = tickCount();
    g_timer.started = true;
    g_timer.running = true;
}

void StopExecutionTimer()
{
    g_timer.measured = g_timer.started;
    // Stopped once, at an error, the time the user then reads its box is not the run's.
    if (g_timer.running)
        g_timer.elapsed = tickCount() - g_timer.start;
    g_timer.running = false;
}

std::string ExecutionTimeText()
{
    if (!g_timer.measured)
        return "No exec.time measured.";
    char text[64];
    std::snprintf(text, sizeof text, "Execution time %.2f sec.", g_timer.elapsed * 0.001);
    return text;
}

std::string TrapText(int kind)
{
    switch (kind) {
    case 126: return "Interrupt on overflow";
    case 127: return "Integer division by zero";
    case 129: return "Invalid operation";
    case 131: return "Division by zero";
    case 132: return "Arithmetic overflow";
    case 133: return "Arithmetic underflow";
    case 134: return "Precision loss";
    case 135: return "Arithmetic stack overflow";
    case 140: return "User program raised FPE signal";
    default: return "Unknown arithmetic trap";
    }
}

int IgnorableTrap(int inUserModel, int kind) { return !inUserModel && (kind == 132 || kind == 133); }

const std::string& LastRunSummary() { return g_summary; }

void SetRunPhaseListener(std::function<void(int event)> listener) { g_phaseListener = std::move(listener); }

void SetSeriesRunHooks(std::function<bool()> lastRun, std::function<void()> endOfRun,
                       std::function<void()> refusedRun)
{
    g_lastRunOfSeries = std::move(lastRun);
    g_endOfRun = std::move(endOfRun);
    g_refusedRun = std::move(refusedRun);
}

void RequestRun()
{
    ContinueRun = 0;
    InterruptRequested = 0;
    if (RunsAllowed)
        StartRequested = 1;
}

void ContinueCommand()
{
    ContinueRun = 1;
    InterruptRequested = 0;
    if (RunsAllowed)
        StartRequested = 1;
}

void InterruptCommand() { InterruptRequested = 1; }

int StartRun(int continueFlag)
{
    RunStopFlag = 0;
    // Native code while it is built for these tables and "warp" is On, else the interpreter.
    SelectModelEvaluators(ChosenFastCode());
    const RunSpecification& specs = RunSpecs();
    if (ModelLoadErrors > 0 || !Variables().installed) {
        ShowMessage({"There were errors at loading the model;", "no simulation is posible."});
        return 0;
    }
    if (continueFlag && InterruptRequested)
        continueFlag = 0;
    const bool bdf = specs.method == MethodBdf;
    if (Variables().needsDae) {
        if (!bdf) {
            ShowMessage({"The model is implicit.", "Simulation with an explicit method is not possible.",
                         implicitMethodsAdvice()});
            return 0;
        }
        if (Variables().kinds[KindState].count == 0) {
            ShowMessage({"The model is implicit and has no state variables.",
                         "Simulation with the BDF method is not possible."});
            return 0;
        }
    }
    if (bdf ? !CheckBdfStepSpecs(specs) || !CheckBdfToleranceSpecs(specs) : !CheckFixedStepSpecs(specs))
        return 0;
    if (!CheckValuesPresent(KindParameter) || !CheckValuesPresent(KindInitial) ||
        !CheckValuesAreNumbers(KindParameter) || !CheckValuesAreNumbers(KindInitial))
        return 0;
    if (!RestartFlag && RunOutput().prepare && !RunOutput().prepare(continueFlag))
        return 0;
    if (MultipleRunActive())
        InitializeUserDllRun();
    Simulating = 1;
    if (!MultipleRunActive())
        ShowStatus("Simulating...", true);
    tellPhase(6);
    if (!RestartFlag) {
        if (!continueFlag) {
            EvaluationCount = 0;
            for (int kind : {KindVariable, KindRate}) {
                VariableKind& k = Variables().kinds[kind];
                if (k.values)
                    std::fill(k.values, k.values + k.count, 0.0);
            }
        }
        StartExecutionTimer();
    }
    bool methodStarted = true;
    if (!guarded([continueFlag, &methodStarted] { methodStarted = startIntegrationMethod(continueFlag); }))
        reportTrap();
    const bool restarting = RestartFlag != 0;
    RestartFlag = 0;
    if (!methodStarted) {
        // A restart inside a run leaves the ending to the run; a new start ends here.
        if (!restarting)
            abandonStart();
        return 0;
    }
    return 1;
}

void FinishRun()
{
    StopExecutionTimer();
    if (RunOutput().ended)
        RunOutput().ended();
    ClearTableFileCache();
    if (MultipleRunActive())
        TerminateUserDllRun();
    if (!MultipleRunActive() || InterruptRequested || !g_lastRunOfSeries || g_lastRunOfSeries())
        TerminateUserDlls();
    const char* how = MathErrorOccurred   ? "Floating point exception"
                      : InterruptRequested ? "Simulation stopped by user"
                                           : "Simulation finished";
    char head[160];
    std::snprintf(head, sizeof head, "%s.  Model evaluations: %ld. ", how, EvaluationCount);
    g_summary = head + ExecutionTimeText();
    if (!MultipleRunActive())
        ShowStatus(g_summary, true);
    Simulating = 0;
    tellPhase(7);
}

void RunChunk(int continueFlag)
{
    if (Simulating && MathErrorOccurred && !RunStopFlag) {
        // An ignored trap ends the run at this turn, before any further step; the run is
        // not left to end with a line in the status bar only.
        StartRequested = 0;
        RunStopFlag = 1;
        const int kind = std::exchange(g_ignoredTrapKind, 0);
        StopExecutionTimer();
        ShowMessage({"Floating-point library exception", "", TrapText(kind) + " outside user model.",
                     runEndedText(kind == 132 ? ": a value grew too large" : ""),
                     "Check your model and integration method parameters"});
    }
    if (Simulating && !RunStopFlag) {
        if (RestartFlag) {
            // The model reset a variable: restart as a continuation from the present state.
            InterruptRequested = 0;
            RequestRun();
            ContinueRun = 1;
            Simulating = 0;
            if (!StartRequested || !StartRun(1)) {
                // A refused restart still ends the run that was going on.
                StartRequested = 0;
                RestartFlag = 0;
                Simulating = 1;
                finishChunk();
                return;
            }
            StartRequested = 0;
            return;
        }
        const bool bdf = RunSpecs().method == MethodBdf;
        if (!guarded([bdf] { bdf ? BdfStep() : IntegrationStep(); })) {
            reportTrap();
            finishChunk();
        }
        return;
    }
    if (StartRequested) {
        resetFloatingPointUnit();
        installTrapHandler();
        if (!g_handlerInstalled) {
            StartRequested = 0;
            return;
        }
        MathErrorOccurred = 0;
        const int started = StartRun(continueFlag);
        StartRequested = 0;
        if (!started) {
            restoreTrapHandler();
            if (g_refusedRun)
                g_refusedRun();
            return;
        }
        if (MathErrorOccurred && RunStopFlag)
            finishChunk(); // a trap in the start has been reported: the run ends now
        return;
    }
    if (RunStopFlag && Simulating)
        finishChunk();
}

long RunUntilIdle(long maxChunks)
{
    for (long chunks = 0; chunks < maxChunks; ++chunks) {
        if (!StartRequested && !Simulating)
            return chunks;
        RunChunk(ContinueRun);
    }
    return (!StartRequested && !Simulating) ? maxChunks : -1;
}
