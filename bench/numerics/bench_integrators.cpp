// The DAE integrator against CVODE on the Robertson kinetics and the stiff Van der Pol oscillator:
// steps, residual (right-hand side) evaluations and time, each problem solved to the same end time
// with the same tolerances, one step per call as the simulator drives both.
#include "simulator/numerics/cvode_adapter.h"
#include "simulator/numerics/ddassl.h"

#include <benchmark/benchmark.h>

#include <array>
#include <vector>

using namespace numerics;

namespace {

/// A stiff test problem as an explicit ODE y' = f(t, y).
struct TestProblem {
    const char *name;
    int n;
    VodeDerivative f;
    DaeResidual residual;
    std::array<double, 3> y0;
    double tEnd;
    double rtol;
    double atol;
};

void robertson(int, double, const double *y, double *ydot, void *)
{
    ydot[0] = -0.04 * y[0] + 1.0e4 * y[1] * y[2];
    ydot[2] = 3.0e7 * y[1] * y[1];
    ydot[1] = -ydot[0] - ydot[2];
}

void vanDerPol(int, double, const double *y, double *ydot, void *)
{
    ydot[0] = y[1];
    ydot[1] = 1000.0 * (1.0 - y[0] * y[0]) * y[1] - y[0];
}

template <VodeDerivative F, int N>
void residualOf(const double *t, const double *y, const double *yp, double *delta, int *, double *,
                int *)
{
    double f[N];
    F(N, *t, y, f, nullptr);
    for (int i = 0; i < N; ++i)
        delta[i] = f[i] - yp[i];
}

const TestProblem kProblems[] = {
    {"Robertson", 3, robertson, residualOf<robertson, 3>, {1.0, 0.0, 0.0}, 40.0, 1e-6, 1e-10},
    {"VanDerPol", 2, vanDerPol, residualOf<vanDerPol, 2>, {2.0, 0.0, 0.0}, 2000.0, 1e-6, 1e-6},
};

void byDdassl(benchmark::State &state)
{
    const TestProblem &p = kProblems[state.range(0)];
    state.SetLabel(p.name);
    int neq = p.n;
    int lrw = neq * (neq + 9) + 40;
    int liw = neq + 20;
    std::vector<double> rwork(lrw);
    std::vector<int> iwork(liw);
    long steps = 0, residuals = 0, jacobians = 0;
    for (auto _ : state) {
        double t = 0.0;
        double tout = p.tEnd;
        std::vector<double> y(p.y0.begin(), p.y0.begin() + neq);
        std::vector<double> yp(neq);
        p.f(neq, t, y.data(), yp.data(), nullptr);
        std::vector<double> rtol(neq, p.rtol), atol(neq, p.atol);
        std::array<int, 15> info{};
        info[1] = 1;
        info[2] = 1;
        std::fill(rwork.begin(), rwork.end(), 0.0);
        std::fill(iwork.begin(), iwork.end(), 0);
        int idid = 1;
        double rpar = 0.0;
        int ipar = 0;
        do {
            DDASSL(p.residual, &neq, &t, y.data(), yp.data(), &tout, info.data(), rtol.data(),
                   atol.data(), &idid, rwork.data(), &lrw, iwork.data(), &liw, &rpar, &ipar,
                   nullptr);
        } while (idid == 1);
        if (idid != 3)
            state.SkipWithError("DDASSL failed");
        benchmark::DoNotOptimize(y.data());
        steps = iwork[LNST - 1];
        jacobians = iwork[LNJE - 1];
        // The difference-quotient matrix costs NEQ residuals each time it is formed.
        residuals = iwork[LNRE - 1] + jacobians * neq;
    }
    state.counters["steps"] = static_cast<double>(steps);
    state.counters["residuals"] = static_cast<double>(residuals);
    state.counters["jacobians"] = static_cast<double>(jacobians);
}

void byCvode(benchmark::State &state)
{
    const TestProblem &p = kProblems[state.range(0)];
    state.SetLabel(p.name);
    VodeSettings settings;
    settings.relativeTolerance = p.rtol;
    settings.absoluteTolerance = p.atol;
    long steps = 0, residuals = 0, jacobians = 0;
    for (auto _ : state) {
        VodeIntegrator vode;
        std::vector<double> y(p.y0.begin(), p.y0.begin() + p.n);
        double t = 0.0;
        if (vode.start(p.n, p.f, nullptr, t, y.data(), settings) != VodeSuccess)
            state.SkipWithError("CVODE did not start");
        while (t < p.tEnd) {
            if (vode.step(p.tEnd, t, y.data()) != VodeSuccess) {
                state.SkipWithError("CVODE failed");
                break;
            }
        }
        vode.valueAt(p.tEnd, y.data());
        benchmark::DoNotOptimize(y.data());
        steps = vode.steps();
        residuals = vode.derivativeEvaluations();
        jacobians = vode.jacobianEvaluations();
    }
    state.counters["steps"] = static_cast<double>(steps);
    state.counters["residuals"] = static_cast<double>(residuals);
    state.counters["jacobians"] = static_cast<double>(jacobians);
}

} // namespace

BENCHMARK(byDdassl)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(byCvode)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
