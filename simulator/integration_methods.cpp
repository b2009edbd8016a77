// The integration methods. Euler, Adams-Bashforth 2 and Runge-Kutta 4 step on the
// grid t_k = t_0 + k h with the last step cut to the finish time; Runge-Kutta-Fehlberg
// runs through RKF45 and "Vode-Stiff" through CVODE, both one internal step per call;
// the BDF method runs the model in differential-algebraic form through DDASSL, with
// the algebraic loops started by HYBRD1. Every workspace persists between calls, so
// a step abandoned by a floating-point trap leaks nothing.
#include "simulator/integration_methods.h"

#include "common/message_boxes.h"
#include "simulator/interpreter.h"
#include "simulator/jacobian_pattern.h"
#include "simulator/model_variables.h"
#include "simulator/numerics/cvode_adapter.h"
#include "simulator/numerics/ddassl.h"
#include "simulator/numerics/minpack_adapter.h"
#include "simulator/numerics/rkf45.h"
#include "simulator/run_specs.h"
#include "simulator/run_state.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <new>
#include <vector>

namespace {

using StepFunction = void (*)();

struct FixedStepState {
    double base = 0.0;        ///< time of grid point 0
    long index = 0;           ///< grid points passed
    double h = 0.0;
    std::vector<double> previous; ///< Adams-Bashforth: the derivatives of the step before
    double previousH = 0.0;
    bool hasPrevious = false;
    std::vector<double> y0, sum; ///< Runge-Kutta: the states at the step's start, the step's sum so far
};

struct RkfState {
    std::vector<double> work;
    std::array<int, 5> iwork{};
    std::vector<double> y;
    int flag = -1;
    double maxStep = 0.0;
    double relErr = 0.0;
    double absErr = 0.0;
};

struct VodeState {
    numerics::VodeIntegrator solver;
    std::vector<double> y;
};

/// The start of a BDF run while its consistent values are sought: the states and time, how far
/// along the motion derivatives are differenced, and the vectors of the search (kept, so that a
/// trap in the model leaks nothing).
struct StartPoint {
    std::vector<double> y;
    double t = 0.0;
    double step = 0.0;
    std::vector<double> unknowns, guess; ///< [z; w] + 1 cell, and their values before the search
    std::vector<double> motion;          ///< y' = (R, w)
    std::vector<double> atPoint, along;  ///< [S; A] at the point and along the motion
};

struct BdfState {
    int allocated = 0;
    numerics::SparseJacobian* sparse = nullptr; ///< the sparse iteration matrix, or null for the dense one
    std::vector<double> rwork;
    std::vector<int> iwork;
    std::vector<double> rtol, atol;
    std::array<int, 15> info{};
    int idid = 0;
    double fixedStep = 0.0;
    double tout = 0.0;
    double scale = 1.0; ///< the ODE part's residual scale ("#Tscaleode")
    StartPoint start;
};

struct MethodState {
    RunOutputHooks output;
    StepFunction step = nullptr;
    int n = 0;
    double runStart = 0.0;
    double runFinish = 0.0;
    FixedStepState fixed;
    RkfState rkf;
    VodeState vode;
    BdfState bdf;
    IntegrationCounters counters;
};

MethodState g;

ModelVariables& vars() { return Variables(); }
int count(int kind) { return vars().kinds[kind].count; }
double* states() { return vars().y.data(); }
double* rates() { return vars().rates.data(); }
const RunSpecification& specs() { return RunSpecs(); }

/// Evaluates the model for the method, counting the evaluation.
void evaluateFor(double t)
{
    ++g.counters.derivativeEvaluations;
    EvaluateModel(t);
}

void stop(std::initializer_list<std::string> lines)
{
    ShowMessage(lines);
    RunStopFlag = 1;
}

/// Zeroes the integration vectors, the rates, the dependent states and the loop results.
void zeroIntegrationVectors()
{
    ModelVariables& m = vars();
    std::fill(m.y.begin(), m.y.end(), 0.0);
    std::fill(m.yPrime.begin(), m.yPrime.end(), 0.0);
    std::fill(m.rates.begin(), m.rates.end(), 0.0);
    std::fill(m.dependentStates.begin(), m.dependentStates.end(), 0.0);
    std::fill(m.loopResults.begin(), m.loopResults.end(), 0.0);
}

/// The next grid time: t_0 + k h, the finish time for the last (possibly shorter) step.
double nextGridTime()
{
    FixedStepState& f = g.fixed;
    const double next = f.base + double(++f.index) * f.h;
    return next >= g.runFinish - 1e-9 * f.h ? g.runFinish : next;
}

/// First call of a fixed-step method: the step size and the grid start.
bool firstFixedStep()
{
    if (!FirstEvaluationFlag)
        return false;
    FixedStepState& f = g.fixed;
    f.h = specs().row(RowStep).value;
    f.base = SimulationTime;
    f.index = 0;
    f.hasPrevious = false;
    f.previous.assign(std::size_t(g.n) + 1, 0.0);
    for (auto* v : {&f.y0, &f.sum})
        v->assign(std::size_t(g.n) + 1, 0.0);
    FirstEvaluationFlag = 0;
    return true;
}

void EulerStep()
{
    if (firstFixedStep())
        return;
    const double t = SimulationTime;
    const double next = nextGridTime();
    const double h = next - t;
    for (int i = 0; i < g.n; ++i)
        states()[i] += h * rates()[i];
    evaluateFor(next);
    ++g.counters.steps;
}

void AdamsBashforth2Step()
{
    if (firstFixedStep())
        return;
    FixedStepState& f = g.fixed;
    const double t = SimulationTime;
    const double next = nextGridTime();
    const double h = next - t;
    if (!f.hasPrevious) {
        for (int i = 0; i < g.n; ++i)
            states()[i] += h * rates()[i];
    } else {
        // Variable-step form: equal to (3 y'_k - y'_{k-1}) h / 2 while h is constant.
        const double r = h / (2.0 * f.previousH);
        for (int i = 0; i < g.n; ++i)
            states()[i] += h * ((1.0 + r) * rates()[i] - r * f.previous[i]);
    }
    std::copy(rates(), rates() + g.n, f.previous.begin());
    f.previousH = h;
    f.hasPrevious = true;
    evaluateFor(next);
    ++g.counters.steps;
}

// The Runge-Kutta stages over all states, built for AVX as well when the processor has it:
// the same IEEE operations in the same order (no fused multiply-add), on more states at a time.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define WIDEST_VECTORS __attribute__((target_clones("avx", "default")))
#else
#define WIDEST_VECTORS
#endif

/// y0 = y, k1 = h r, y = y0 + k1 / 2, and the step's sum s = y0 + k1 / 6.
WIDEST_VECTORS void rk4FirstStage(int n, double h, double* __restrict y, const double* __restrict r,
                                  double* __restrict y0, double* __restrict s)
{
    for (int i = 0; i < n; ++i) {
        y0[i] = y[i];
        const double k = h * r[i];
        y[i] = y0[i] + k / 2;
        s[i] = y0[i] + k / 6;
    }
}

/// k = h r, y = y0 + k / 2 (or y0 + k for the third stage), s = s + k / 3.
WIDEST_VECTORS void rk4Stage(int n, double h, bool half, double* __restrict y, const double* __restrict r,
                             const double* __restrict y0, double* __restrict s)
{
    if (half) {
        for (int i = 0; i < n; ++i) {
            const double k = h * r[i];
            y[i] = y0[i] + k / 2;
            s[i] = s[i] + k / 3;
        }
    } else {
        for (int i = 0; i < n; ++i) {
            const double k = h * r[i];
            y[i] = y0[i] + k;
            s[i] = s[i] + k / 3;
        }
    }
}

/// y = y0 + k1 / 6 + k2 / 3 + k3 / 3 + h r / 6, summed in that order as the stages went.
WIDEST_VECTORS void rk4Combine(int n, double h, double* __restrict y, const double* __restrict r,
                               const double* __restrict s)
{
    for (int i = 0; i < n; ++i)
        y[i] = s[i] + h * r[i] / 6;
}

void RungeKutta4Step()
{
    if (firstFixedStep())
        return;
    FixedStepState& f = g.fixed;
    const double t = SimulationTime;
    const double next = nextGridTime();
    const double h = next - t;
    double* y = states();
    const double* r = rates();
    const int n = g.n;
    rk4FirstStage(n, h, y, r, f.y0.data(), f.sum.data());
    evaluateFor(t + h / 2);
    rk4Stage(n, h, true, y, r, f.y0.data(), f.sum.data());
    evaluateFor(t + h / 2);
    rk4Stage(n, h, false, y, r, f.y0.data(), f.sum.data());
    evaluateFor(next);
    rk4Combine(n, h, y, r, f.sum.data());
    evaluateFor(next);
    ++g.counters.steps;
}

void RkfDerivatives(const double* T, const double* Y, double* YP)
{
    std::copy(Y, Y + g.n, states());
    evaluateFor(*T);
    std::copy(rates(), rates() + g.n, YP);
}

void RkfStep()
{
    RkfState& k = g.rkf;
    if (FirstEvaluationFlag) {
        k.work.assign(6 * std::size_t(g.n) + 3, 0.0);
        k.iwork.fill(0);
        k.y.assign(std::size_t(g.n) + 1, 0.0);
        k.maxStep = specs().given(RowMaxStep) ? specs().row(RowMaxStep).value : 0.0;
        k.relErr = specs().row(RowRelErr).value;
        k.absErr = specs().row(RowAbsErr).value;
        k.flag = -1;
        FirstEvaluationFlag = 0;
        return;
    }
    double tout = g.runFinish;
    if (k.maxStep > 0.0 && SimulationTime + k.maxStep < g.runFinish)
        tout = SimulationTime + k.maxStep;
    if (g.n == 0) {
        EvaluateModel(tout);
        return;
    }
    std::copy(states(), states() + g.n, k.y.begin());
    double t = SimulationTime;
    numerics::Rkf45Integrate(RkfDerivatives, &g.n, k.y.data(), &t, &tout, &k.relErr, &k.absErr, &k.flag,
                             k.work.data(), k.iwork.data());
    // The model is left at the accepted solution, not at the driver's last trial evaluation.
    std::copy(k.y.begin(), k.y.begin() + g.n, states());
    EvaluateModel(t);
    if (k.flag == 2 || k.flag == -2)
        ++g.counters.steps;
    switch (k.flag) {
    case -2:
    case 4:
        break;
    case 2:
        k.flag = -2; // stay in one-step mode towards the next output limit
        break;
    case 3:
    case 5:
    case 6:
        stop({"Error: Tolerance test failed in the Runge-Kutta Fehlberg method."});
        break;
    case 7:
        if (k.maxStep == 0.0)
            stop({"Error: Failed to converge in the Runge-Kutta Fehlberg method."});
        else
            k.flag = -2;
        break;
    case 8:
        stop({"Error: Method arguments inaccurate in the Runge-Kutta Fehlberg method."});
        break;
    default:
        stop({"Error: Something's rotten in the Runge-Kutta Fehlberg method."});
        break;
    }
}

void VodeDerivatives(int n, double t, const double* y, double* ydot, void*)
{
    std::copy(y, y + n, states());
    evaluateFor(t);
    std::copy(rates(), rates() + n, ydot);
}

void VodeStep()
{
    VodeState& v = g.vode;
    const bool maxOn = specs().given(RowMaxStep);
    if (FirstEvaluationFlag) {
        v.solver.release();
        v.y.assign(std::size_t(g.n) + 1, 0.0);
        FirstEvaluationFlag = 0;
        if (g.n == 0)
            return;
        numerics::VodeSettings settings;
        settings.initialStep = specs().given(RowInitialStep) ? specs().row(RowInitialStep).value : 0.0;
        settings.maximumStep = maxOn ? specs().row(RowMaxStep).value : 1.797693e308;
        settings.relativeTolerance = specs().row(RowRelErr).value;
        settings.absoluteTolerance = specs().row(RowAbsErr).value;
        settings.sparse = VodeSparseJacobian();
        std::copy(states(), states() + g.n, v.y.begin());
        // The stop time keeps the solver from stepping past the finish: the run ends exactly there.
        const int started = v.solver.start(g.n, VodeDerivatives, nullptr, SimulationTime, v.y.data(), settings);
        if (started == numerics::VodeNoMemory)
            throw std::bad_alloc();
        if (started != 0 || v.solver.setStopTime(g.runFinish) != 0)
            stop({"Error: Method arguments inaccurate in the Vode Adams method."});
        return;
    }
    if (g.n == 0) {
        double limit = g.runFinish;
        if (maxOn && SimulationTime + specs().row(RowMaxStep).value < limit)
            limit = SimulationTime + specs().row(RowMaxStep).value;
        EvaluateModel(limit);
        return;
    }
    double t = SimulationTime;
    const int result = v.solver.step(g.runFinish, t, v.y.data());
    g.counters.jacobianEvaluations = v.solver.jacobianEvaluations();
    if (result == 0) {
        ++g.counters.steps;
        std::copy(v.y.begin(), v.y.begin() + g.n, states());
        EvaluateModel(t);
        return;
    }
    switch (result) {
    case -3: stop({"Error: Too many steps taken in the Vode Adams method."}); break;
    case -4:
    case -5: stop({"Error: Tolerance test failed in the Vode Adams method."}); break;
    case -6: stop({"Error: Failed to converge in the Vode Adams method."}); break;
    case -7:
    case -8: stop({"Error: The linear solver's setup routine failed in the Vode Adams method."}); break;
    case -2: stop({"Error: Method arguments inaccurate in the Vode Adams method."}); break;
    case -1: stop({"Error: Memory allocation failed in the Vode Adams method."}); break;
    default: stop({"Error: Something's rotten in the Vode Adams method."}); break;
    }
}

// ---- BDF -----------------------------------------------------------------------------

void BdfResidual(const double* T, const double* Y, const double* YPRIME, double* DELTA, int*, double* RPAR, int*)
{
    ModelVariables& m = vars();
    const int n = g.n;
    if (Y != m.y.data())
        std::copy(Y, Y + n, m.y.begin());
    if (YPRIME != m.yPrime.data())
        std::copy(YPRIME, YPRIME + n, m.yPrime.begin());
    evaluateFor(*T);
    const int ns = count(KindState);
    const int nS = count(KindDependentState);
    const int na = count(KindLoopInput);
    const double scale = specs().given(RowScaleOde) && RPAR && *RPAR != 0.0 ? *RPAR : 1.0;
    for (int i = 0; i < ns; ++i)
        DELTA[i] = (m.rates[i] - YPRIME[i]) / scale;
    for (int i = 0; i < nS; ++i)
        DELTA[ns + i] = m.dependentStates[i] - Y[ns + i];
    for (int i = 0; i < na; ++i)
        DELTA[ns + nS + i] = m.loopResults[i] - Y[ns + nS + i];
}

bool bdfIgnoresWarnings() { return specs().given(RowIgnoreWarnings) != 0; }

/// Tolerances per component: the states' for the independent and dependent states, the loops'
/// for the algebraic-loop variables.
void bdfTolerances()
{
    BdfState& b = g.bdf;
    const int states = count(KindState) + count(KindDependentState);
    for (int i = 0; i < g.n; ++i) {
        b.rtol[i] = specs().row(i < states ? RowRelErr : RowAlgRelErr).value;
        b.atol[i] = specs().row(i < states ? RowAbsErr : RowAlgAbsErr).value;
    }
}

/// What `solveByHybrid` answers when the solver's work could not be allocated.
constexpr int NoSolverWork = -1000;

/// HYBRD1 over the unknowns x from their values there, its work kept between calls (a trap
/// inside the solver leaves its frames without unwinding them): MINPACK's info, or
/// `NoSolverWork`.
int solveByHybrid(numerics::HybridFunction f, void* data, std::vector<double>& x, double tolerance)
{
    static std::vector<double> work, residual;
    const int m = int(x.size()) - 1; // one cell more, as the solver's vectors always had
    try {
        work.assign(std::size_t(numerics::hybrd1WorkLength(m)), 0.0);
        residual.assign(std::size_t(m) + 1, 0.0);
    } catch (const std::bad_alloc&) {
        return NoSolverWork;
    }
    return numerics::HYBRD1(f, data, m, x.data(), residual.data(), tolerance, work.data(), int(work.size()));
}

/// The model's S and A, the values its dependent-state and loop equations give.
void implicitValuesInto(std::vector<double>& into)
{
    ModelVariables& m = vars();
    const int nS = count(KindDependentState);
    const int na = count(KindLoopInput);
    into.assign(m.dependentStates.begin(), m.dependentStates.begin() + nS);
    into.insert(into.end(), m.loopResults.begin(), m.loopResults.begin() + na);
}

/// The implicit part of the start, z = [dependent states; loop variables] with its derivatives
/// w, as unknowns x = [z; w]: the model at the start point with z and with w as its dependent
/// rates must give z back, f = [S; A] - z, and gives the states' rates R; w must then be how
/// those equations change along the motion (R, w), f = w - d[S; A]/dt.
int StartResidual(int n, const double* x, double* f, void* data)
{
    StartPoint& p = *static_cast<StartPoint*>(data);
    ModelVariables& v = vars();
    const int ns = count(KindState);
    const int m = n / 2;
    const double* z = x;
    const double* w = x + m;
    std::copy(p.y.begin(), p.y.begin() + ns, v.y.begin());
    std::copy(z, z + m, v.y.begin() + ns);
    std::copy(w, w + m, v.yPrime.begin() + ns);
    evaluateFor(p.t);
    implicitValuesInto(p.atPoint);
    for (int i = 0; i < m; ++i)
        f[i] = p.atPoint[std::size_t(i)] - z[i];
    for (int i = 0; i < ns; ++i)
        v.y[std::size_t(i)] = p.y[std::size_t(i)] + p.step * v.rates[std::size_t(i)];
    for (int i = 0; i < m; ++i)
        v.y[std::size_t(ns + i)] = z[i] + p.step * w[i];
    evaluateFor(p.t + p.step);
    implicitValuesInto(p.along);
    for (int i = 0; i < m; ++i)
        f[m + i] = w[i] - (p.along[std::size_t(i)] - p.atPoint[std::size_t(i)]) / p.step;
    return 0;
}

/// The time step along which the derivatives are differenced: no component moves by more than
/// its error weight (so that the model stays as good as linear over it), and none needs to move
/// less (below it the model's roundoff is what the difference would see); at most sqrt(uround)
/// of the run's time scale.
double differenceStep(const StartPoint& p)
{
    const BdfState& b = g.bdf;
    const double scale = std::max({std::fabs(p.t), g.runFinish - p.t, 1e-300});
    double step = std::sqrt(std::numeric_limits<double>::epsilon()) * scale;
    for (std::size_t i = 0; i < std::size_t(g.n); ++i) {
        const double weight = b.rtol[i] * std::fabs(p.y[i]) + b.atol[i];
        if (std::fabs(p.motion[i]) * step > weight)
            step = weight / std::fabs(p.motion[i]);
    }
    return step;
}

/// The start made consistent where the model has dependent states or loops: their values hold
/// their equations, their derivatives hold them along the motion, and the states' rates are what
/// the model gives with both. Leaves the model evaluated at the start; false, with y and y' as
/// they were, when no such start was found.
bool consistentStart()
{
    ModelVariables& v = vars();
    const int ns = count(KindState);
    const int m = g.n - ns;
    StartPoint& p = g.bdf.start;
    p.y.assign(v.y.begin(), v.y.begin() + g.n);
    p.t = SimulationTime;
    p.unknowns.assign(v.y.begin() + ns, v.y.begin() + g.n);
    p.unknowns.insert(p.unknowns.end(), v.yPrime.begin() + ns, v.yPrime.begin() + g.n);
    p.unknowns.push_back(0.0);
    p.guess = p.unknowns;
    p.motion.assign(std::size_t(g.n), 0.0);
    std::vector<double>& x = p.unknowns;
    int info = 0;
    // The difference step follows the motion found: once more when it is much faster than guessed.
    for (int round = 0; round < 2; ++round) {
        std::copy(x.begin(), x.begin() + m, v.y.begin() + ns);
        std::copy(x.begin() + m, x.begin() + 2 * m, v.yPrime.begin() + ns);
        evaluateFor(p.t);
        std::copy(v.rates.begin(), v.rates.begin() + ns, p.motion.begin());
        std::copy(x.begin() + m, x.begin() + 2 * m, p.motion.begin() + ns);
        const double step = differenceStep(p);
        if (round > 0 && step > 0.1 * p.step)
            break;
        p.step = step;
        info = solveByHybrid(StartResidual, &p, x, 1e-10);
        if (info != 1)
            break;
    }
    if (info != 1)
        x = p.guess;
    std::copy(p.y.begin(), p.y.begin() + ns, v.y.begin());
    std::copy(x.begin(), x.begin() + m, v.y.begin() + ns);
    std::copy(x.begin() + m, x.begin() + 2 * m, v.yPrime.begin() + ns);
    EvaluateModel(p.t);
    return info == 1;
}

/// Consistent initial values: the dependent states into y, the loops solved, y' from the model
/// with the derivatives of the dependent states and loop variables along the motion.
bool bdfInitialValues()
{
    BdfState& b = g.bdf;
    ModelVariables& m = vars();
    b.info.fill(0);
    b.info[1] = 1;
    b.idid = 1;
    bdfTolerances();
    const int ns = count(KindState);
    const int nS = count(KindDependentState);
    std::copy(m.dependentStates.begin(), m.dependentStates.begin() + nS, m.y.begin() + ns);
    if (!SolveAlgebraicLoops())
        return false;
    EvaluateModel(SimulationTime);
    std::copy(m.dependentStates.begin(), m.dependentStates.begin() + nS, m.y.begin() + ns);
    if (g.n > ns && !consistentStart()) {
        // As the integrator started before: the loops as solved, no motion of the implicit part.
        std::fill(m.yPrime.begin() + ns, m.yPrime.begin() + g.n, 0.0);
        EvaluateModel(SimulationTime);
    }
    // The call to the integrator says y and y' are consistent: y' of the states is the model's R.
    std::copy(m.rates.begin(), m.rates.begin() + ns, m.yPrime.begin());
    return true;
}

void bdfOptions()
{
    BdfState& b = g.bdf;
    b.info[2] = 1;
    // The run ends on a step of the solver at the finish time, not on an interpolation back from
    // a step beyond it: the last state is the solver's own in every component (the interpolant
    // of a step over a component's zero is off by more than that component's tolerance), and the
    // model is never evaluated past the finish.
    b.info[3] = 1;
    b.rwork[numerics::LTSTOP - 1] = g.runFinish;
    b.info[11] = b.sparse ? 1 : 0;
    numerics::DaeAttachSparseMatrix(b.iwork.data(), b.sparse);
    if (specs().given(RowMaxStep)) {
        b.info[6] = 1;
        b.rwork[1] = specs().row(RowMaxStep).value;
    }
    if (specs().given(RowInitialStep)) {
        b.info[7] = 1;
        b.rwork[2] = specs().row(RowInitialStep).value;
    }
    b.tout = b.fixedStep == 0.0 ? g.runFinish : SimulationTime;
}

/// The output time DDASSL is called with. Its smallest step is 4 uround max(|t|, |tout|),
/// so a far finish time (1e11, say) would forbid the small steps a fast transient needs.
/// The solver returns after every step (option 3), so it is asked only as far as the step it
/// is about to take can reach: the finish time when that is near, else t + max(|t|, 2 |h|).
/// On a first call h is the initial step DDASSL would choose itself for the finish time,
/// handed over as the user's initial step so that the run starts as it always did.
double bdfCallTarget(double t)
{
    BdfState& b = g.bdf;
    double h = 0.0;
    if (b.info[0] != 0 || b.info[7] != 0) {
        h = b.rwork[numerics::LH - 1]; // the next step, or the user's initial step
    } else {
        const double distance = g.runFinish - t;
        std::vector<double> weights(std::size_t(g.n));
        numerics::DDAWTS(&g.n, &b.info[1], b.rtol.data(), b.atol.data(), vars().y.data(), weights.data(), nullptr,
                         nullptr);
        if (std::any_of(weights.begin(), weights.end(), [](double w) { return !(w > 0.0); }))
            return g.runFinish; // DDASSL reports the weights itself
        h = 0.001 * distance;
        const double ypnorm = numerics::DDANRM(&g.n, vars().yPrime.data(), weights.data(), nullptr, nullptr);
        if (ypnorm > 0.5 / h)
            h = 0.5 / ypnorm;
        b.info[7] = 1;
        b.rwork[numerics::LH - 1] = h;
    }
    if (b.info[6] != 0)
        h = std::min(std::fabs(h), b.rwork[numerics::LHMAX - 1]);
    const double reach = t + std::max(std::fabs(t), 2.0 * std::fabs(h));
    return reach < g.runFinish && std::isfinite(reach) ? reach : g.runFinish;
}

} // namespace

RunOutputHooks& RunOutput() { return g.output; }

void StepOutput()
{
    if (g.output.step)
        g.output.step();
}

int IntegratedCount() { return g.n; }

IntegrationCounters MethodCounters() { return g.counters; }

int RestoreInitialStates()
{
    const int n = std::min(count(KindInitial), count(KindState));
    const double* initial = vars().kinds[KindInitial].values;
    if (initial)
        std::copy(initial, initial + n, states());
    SimulationTime = specs().startTime;
    return 1;
}

int StartIntegration(int continuing)
{
    // Cleared before the first output, so that a plot overflow on the first sample is
    // honoured by the first step.
    InterruptRequested = 0;
    FirstEvaluationFlag = 1;
    g.counters = {};
    g.runStart = RestartFlag ? SimulationTime : specs().startTime;
    g.runFinish = specs().finishTime;
    g.n = count(KindState);
    if (!continuing) {
        zeroIntegrationVectors();
        if (!RestartFlag)
            RestoreInitialStates();
        ModelEvaluators.initialization();
    }
    ModelEvaluators.excitation();
    EvaluateModel(SimulationTime);
    ModelEvaluators.output();
    StepOutput();
    if (!continuing && !(g.runFinish > g.runStart)) {
        ShowMessage({"Integration method error: finish time must be after start time."});
        RunStopFlag = 1;
        return 1;
    }
    static constexpr std::array<const char*, MethodCount> texts = {
        "Calculating using explicit Euler method",
        "Calculating using explicit Adams-Bashforth 2th order method",
        "Calculating using explicit Runge-Kutta 4th order method",
        "",
        "Calculating using explicit Runge-Kutta Fehlberg 4-5th order method",
        "Calculating using explicit Vode stiff method"};
    static constexpr std::array<StepFunction, MethodCount> steps = {EulerStep, AdamsBashforth2Step, RungeKutta4Step,
                                                                    nullptr, RkfStep, VodeStep};
    const int method = specs().method;
    if (method < 0 || method >= MethodCount || !steps[method]) {
        ShowMessage({"Error: selected integration method not yet implemented."});
        RunStopFlag = 1;
        return 1;
    }
    ShowStatus(texts[method], false);
    g.step = steps[method];
    try {
        g.step();
    } catch (const std::bad_alloc&) {
        // The first call only allocates: nothing has run, so the run ends as a failed start.
        g.step = nullptr;
        ShowMessage({std::string("Error in ") + IntegrationMethods[method].name + " integration method:",
                     "workspace-allocation failure;", "no simulation possible."});
        RunStopFlag = 1;
        return 0;
    }
    return 1;
}

void IntegrationStep()
{
    if (SimulationTime < g.runFinish && !InterruptRequested && g.step) {
        ModelEvaluators.excitation();
        g.step();
        ModelEvaluators.output();
        StepOutput();
    } else {
        RunStopFlag = 1;
    }
}

int BdfStart(int continuing)
{
    BdfState& b = g.bdf;
    ModelVariables& m = vars();
    g.counters = {};
    g.n = m.integratedTotal;
    g.runStart = RestartFlag ? SimulationTime : specs().startTime;
    g.runFinish = specs().finishTime;
    // The real work is sized by the matrix: n (n + 9) + 40 dense, far less for a sparse one.
    b.sparse = g.n > 0 ? BdfSparseJacobian() : nullptr;
    const std::size_t realWork = std::size_t(numerics::DaeRealWorkLength(g.n, b.sparse));
    if (g.n > b.allocated || realWork > b.rwork.size()) {
        try {
            b.rwork.assign(realWork, 0.0);
            b.iwork.assign(std::size_t(g.n) + 20, 0);
            b.rtol.assign(std::size_t(g.n), 0.0);
            b.atol.assign(std::size_t(g.n), 0.0);
            b.allocated = g.n;
        } catch (const std::bad_alloc&) {
            b = BdfState{};
            ShowMessage({"Error in BDF integration method:", "workspace-allocation failure;", "no simulation possible."});
            RunStopFlag = 1;
            return 0;
        }
    }
    if (g.n > 0) {
        ShowStatus(bdfIgnoresWarnings() ? "Calculating using BDF variable-step variable-order method (ignoring warnings)"
                                        : "Calculating using BDF variable-step variable-order method",
                   false);
        b.fixedStep = 0.0;
    } else {
        if (!bdfIgnoresWarnings())
            ShowMessage({"Warning in BDF integration method:", "There are no state variables; a simulation",
                         "is possible, but a fixed step size is used."});
        b.fixedStep = specs().given(RowMaxStep)       ? specs().row(RowMaxStep).value
                      : specs().given(RowInitialStep) ? specs().row(RowInitialStep).value
                                                      : (specs().finishTime - specs().startTime) * 0.001;
        ShowStatus("Calculating without BDF with a fixed step size", false);
    }
    if (!continuing) {
        FirstEvaluationFlag = 1;
        zeroIntegrationVectors();
        if (!RestartFlag)
            RestoreInitialStates();
        ModelEvaluators.initialization();
    }
    ModelEvaluators.excitation();
    EvaluateModel(SimulationTime);
    InterruptRequested = 0;
    FirstEvaluationFlag = 0;
    if (g.n == 0) {
        b.tout = SimulationTime;
    } else {
        if (!bdfInitialValues()) {
            RunStopFlag = 1;
            return 1;
        }
        bdfOptions();
    }
    ModelEvaluators.output();
    StepOutput();
    return 1;
}

void BdfStep()
{
    BdfState& b = g.bdf;
    if (SimulationTime >= g.runFinish || InterruptRequested) {
        RunStopFlag = 1;
        return;
    }
    ModelEvaluators.excitation();
    if (b.fixedStep != 0.0)
        b.tout = std::min(b.tout + b.fixedStep, g.runFinish);
    ModelVariables& m = vars();
    if (g.n > 0) {
        const int lrw = int(b.rwork.size());
        const int liw = int(b.iwork.size());
        double t = SimulationTime;
        const double from = t;
        const double tout = bdfCallTarget(t);
        const long jacobiansBefore = b.info[0] != 0 ? b.iwork[numerics::LNJE - 1] : 0;
        // The corrector may take its first iterate as converged on the rate its iteration had in
        // an earlier step. For the states that rate follows the step size, and the solver measures
        // it afresh whenever the step size changes; for dependent states and loop variables it
        // follows the model's nonlinearity, which the steps between may have changed (a diode law
        // that turns on), and a stale rate leaves them off their equations by more than their
        // tolerance, unseen by the error test. So with such components every step measures it.
        if (b.info[0] != 0 && g.n > count(KindState))
            b.rwork[numerics::LS - 1] = 100.0;
        numerics::DDASSL(BdfResidual, &g.n, &t, m.y.data(), m.yPrime.data(), &tout, b.info.data(), b.rtol.data(),
                         b.atol.data(), &b.idid, b.rwork.data(), &lrw, b.iwork.data(), &liw, &b.scale, nullptr,
                         nullptr);
        g.counters.jacobianEvaluations += b.iwork[numerics::LNJE - 1] - jacobiansBefore;
        if (b.idid > 0 && t != from)
            ++g.counters.steps;
        SimulationTime = t;
    } else {
        SimulationTime = b.tout;
        EvaluateModel(b.tout);
        b.idid = 1;
    }
    const int r = b.idid;
    if (r < 0) {
        auto ask = [&](std::initializer_list<std::string> lines) {
            return bdfIgnoresWarnings() || ShowConfirmLines("Continue", "Stop", std::vector<std::string>(lines)) != 0;
        };
        bool goOn = false;
        bool restart = false;
        switch (r) {
        case -1:
            goOn = ask({"Warning in BDF integration method:", "About 500 steps are taken.", "Continue integration?"});
            break;
        case -2:
            goOn = ask({"Warning in BDF integration method:", "The error tolerances are too stringent.",
                        "Continue integration with relaxed tolerances?"});
            break;
        case -3:
            ShowMessage({"Warning in BDF integration method:",
                         "A solution component is zero and its absolute tolerance is zero",
                         "so a relative error test is impossible.", "Change tolerance(s) if you want to continue."});
            break;
        case -6:
            restart = goOn = ask({"Warning in BDF integration method:",
                                  "Repeated error test failures occurred on the last attempted step.",
                                  "A singularity in the solution may be present.", "Continue integration?"});
            break;
        case -7:
            restart = goOn = ask({"Warning in BDF integration method:",
                                  "Repeated convergence test failures occurred on the last attempted step",
                                  "probably due to an inaccurate or illconditioned jacobian.", "Continue integration?"});
            break;
        case -8:
            ShowMessage({"The matrix of partial derivatives is singular.", "Warning in BDF integration method:",
                         "Some of the model's equations may be redundant.", "No integration is possible."});
            break;
        case -9:
            restart = goOn = ask({"Warning in BDF integration method:", "Multiple convergence test failures preceeded by",
                                  "multiple error test failures on the last attempted step.",
                                  "There may be a discontinuity or a singularity in the solution.",
                                  "Continue integration?"});
            break;
        case -10:
            restart = goOn = ask({"Warning in BDF integration method:", "Multiple convergence test failures",
                                  "due to problems in the calculation of the model.", "Continue integration?"});
            break;
        case -11:
            ShowMessage({"Error in BDF integration method:", "Stop condition encountered in model calculation.",
                         "No further integration is possible."});
            break;
        case -33:
            ShowMessage({"Error in BDF integration method:", "Trouble. Can not recover from it.",
                         "No further integration is possible."});
            break;
        default:
            ShowMessage({"Error in BDF integration method:", "Unknown error:", "", "No further integration is possible."});
            break;
        }
        if (!goOn) {
            RunStopFlag = 1;
            return;
        }
        if (restart) {
            if (!bdfInitialValues()) {
                RunStopFlag = 1;
                return;
            }
            bdfOptions();
        } else {
            b.info[0] = 1;
        }
        return;
    }
    EvaluateModel(SimulationTime);
    ModelEvaluators.output();
    if (r > 0)
        StepOutput();
}

namespace {

int AlgebraicLoopResidual(int m, const double* x, double* f, void*)
{
    double* loop = vars().kinds[KindLoopInput].values;
    std::copy(x, x + m, loop);
    EvaluateModel(SimulationTime);
    for (int i = 0; i < m; ++i)
        f[i] = vars().loopResults[i] - loop[i];
    return 0;
}

} // namespace

int SolveAlgebraicLoops()
{
    const int m = count(KindLoopResult);
    if (m == 0)
        return 1;
    double tolerance = specs().row(RowAbsErr).value;
    if (!(tolerance > 0.0))
        tolerance = 1e-4;
    double* loop = vars().kinds[KindLoopInput].values;
    std::fill(loop, loop + m, 0.0);
    // Kept between calls: a trap inside the solver leaves its frames without unwinding them.
    static std::vector<double> x;
    try {
        x.assign(std::size_t(m) + 1, 0.0);
    } catch (const std::bad_alloc&) {
        x.clear();
    }
    const int info = x.empty() ? NoSolverWork : solveByHybrid(AlgebraicLoopResidual, nullptr, x, tolerance);
    if (info == NoSolverWork) {
        ShowMessage({"Error in BDF integration method:", "memory-allocation failure;", "no simulation possible."});
        return 0;
    }
    if (info == 1) {
        // The last residual evaluation may have been a rejected trial: evaluate at the solution.
        std::copy(x.begin(), x.begin() + m, loop);
        EvaluateModel(SimulationTime);
        return 1;
    }
    const char* reason = info == 0   ? "improper input parameters for hybrid function."
                         : info == 2 ? "very many evaluations of algebraic-loop part."
                         : info == 3 ? "no further improvement, tolerance too small."
                         : info == 4 ? "iteration for algebraic loop is not making good progress."
                                     : "";
    ShowMessage({"Error in BDF integration method:", "At determining initial algebraic-loop variables;", reason,
                 "No simulation possible."});
    return 0;
}

void ReleaseIntegrationWorkspaces()
{
    g.bdf = BdfState{};
    ReleaseJacobianStructures();
    g.rkf = RkfState{};
    g.vode.solver.release();
    g.fixed = FixedStepState{};
    g.step = nullptr;
}
