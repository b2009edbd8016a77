#!/usr/bin/python3
"""Runs the large stiff benchmark and, in the same run, scipy.integrate.solve_ivp(method="BDF")
on the same problems given the Jacobian's sparsity pattern (Debian's python3-scipy), and prints
the tables: the time of each run against scipy's, the growth of the time per decade of states,
the growth split into that of the steps and that of the time per step and state, the peak
resident size, the sparse and dense matrices side by side at 10^3 states, and the
difference of the solutions at three points from scipy's in units of the tolerance,
max |u - u_scipy| / (rtol |u_scipy| + atol).

Each run of the simulator is made in a process of its own (the fastest of a few is kept, as the
fastest of a few of scipy's), after the models were processed in
another, so that its peak resident size is the run's (with the program's own few megabytes). The
simulator's time includes the reading of the Jacobian's structure at the run's start. On a shared
machine the ratio of processor times is the steadier one.

Usage: bench/large_stiff/run_large_stiff_benchmark.py [path of bench_large_stiff]
"""
import json
import os
import subprocess
import sys
import tempfile
import time

import numpy as np
import scipy.sparse as sp
from scipy.integrate import solve_ivp

RTOL = ATOL = 1e-6
# Index in the benchmark's case table: (shape, points of the rod or of the plate's side).
CASES = [("rod", 1000), ("rod", 10000), ("rod", 100000), ("plate", 100)]
METHODS = {3: "BDF", 5: "Vode-Stiff"}


def rod(n):
    k = float(n + 1) ** 2

    def f(t, u):
        d = -2.0 * u
        d[1:] += u[:-1]
        d[:-1] += u[1:]
        d[0] += 1.0
        return k * d

    pattern = sp.diags([np.ones(n - 1), np.ones(n), np.ones(n - 1)], [-1, 0, 1], format="csc")
    return f, pattern, 0.1


def plate(m):
    k = float(m + 1) ** 2
    n = m * m

    def f(t, u):
        g = u.reshape(m, m)
        d = -4.0 * g
        d[:, 1:] += g[:, :-1]
        d[:, :-1] += g[:, 1:]
        d[1:, :] += g[:-1, :]
        d[:-1, :] += g[1:, :]
        d[:, 0] += 1.0
        return k * d.reshape(n)

    one = sp.diags([np.ones(m - 1), np.ones(m), np.ones(m - 1)], [-1, 0, 1])
    pattern = (sp.kron(sp.identity(m), one) + sp.kron(one, sp.identity(m))).tocsc()
    return f, pattern, 0.05


def scipy_run(shape, side):
    f, pattern, finish = rod(side) if shape == "rod" else plate(side)
    n = pattern.shape[0]
    calls = [0]

    def counted(t, u):
        calls[0] += 1
        return f(t, u)

    best = best_cpu = None
    tries = 5 if n <= 1000 else 3 if n <= 10000 else 2
    for _ in range(tries):
        calls[0] = 0
        start, start_cpu = time.perf_counter(), time.process_time()
        sol = solve_ivp(counted, (0.0, finish), np.zeros(n), method="BDF", rtol=RTOL, atol=ATOL,
                        jac_sparsity=pattern)
        elapsed, elapsed_cpu = time.perf_counter() - start, time.process_time() - start_cpu
        best = elapsed if best is None else min(best, elapsed)
        best_cpu = elapsed_cpu if best_cpu is None else min(best_cpu, elapsed_cpu)
    return dict(seconds=best, cpu=best_cpu, steps=len(sol.t) - 1, evaluations=calls[0],
                jacobians=int(sol.njev), y=sol.y[:, -1], success=sol.success)


def simulator_run(binary, name, env, repeats=1):
    """The case run `repeats` times, each in a process of its own: the fastest run."""
    best = None
    for _ in range(repeats):
        out = subprocess.run([binary, "--benchmark_format=json", "--benchmark_filter=^%s$" % name],
                             check=True, capture_output=True, text=True, env=env).stdout
        b = json.loads(out)["benchmarks"][0]
        if best is None or b.get("run_cpu_s", 0) < best.get("run_cpu_s", 0):
            best = b
    return best


def main():
    binary = sys.argv[1] if len(sys.argv) > 1 else "build/bench/large_stiff/bench_large_stiff"
    env = dict(os.environ)
    with tempfile.TemporaryDirectory(prefix="orvanta-large-stiff-") as codes:
        env["ORVANTA_LARGE_STIFF_DIR"] = codes
        processing = {}
        for index in range(len(CASES)):
            b = simulator_run(binary, "BM_Process/%d/iterations:1/manual_time" % index, env)
            processing[index] = b["real_time"]  # in seconds, the benchmark's unit
        runs = {}
        for index, (shape, side) in enumerate(CASES):
            repeats = 5 if side == 1000 else 3 if side <= 10000 else 2
            for method in METHODS:
                runs[(index, method, 0)] = simulator_run(
                    binary, "BM_Run/%d/%d/0/iterations:1/manual_time" % (index, method), env, repeats)
        for method in METHODS:
            runs[(0, method, 1)] = simulator_run(binary, "BM_Run/0/%d/1/iterations:1/manual_time" % method, env)
        agreement = {method: simulator_run(binary, "BM_SparseAgainstDense/%d/iterations:1" % method, env)
                     for method in METHODS}

    print("| model | states | solver | matrix | time (s) | scipy BDF (s) | ratio | ratio of processor times | "
          "steps | evaluations | Jacobians | peak (MB) | error / tolerance | clean |")
    print("|---|---:|---|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---|")
    reference = {}
    for index, (shape, side) in enumerate(CASES):
        ref = scipy_run(shape, side)
        reference[index] = ref
        n = side if shape == "rod" else side * side
        print("| %s | %d | scipy BDF | sparse | %.3f | | | | %d | %d | %d | | | %s |" % (
            shape, n, ref["seconds"], ref["steps"], ref["evaluations"], ref["jacobians"],
            "yes" if ref["success"] else "NO"))
        for dense in (0, 1):
            for method in METHODS:
                r = runs.get((index, method, dense))
                if r is None:
                    continue
                probes = [int(r["probe%d" % p]) for p in range(3)]
                error = max(abs(r["u%d" % p] - ref["y"][probes[p]]) / (RTOL * abs(ref["y"][probes[p]]) + ATOL)
                            for p in range(3))
                clean = r["boxes"] == 0 and abs(r["t_end"] - (0.1 if shape == "rod" else 0.05)) < 1e-12
                print("| %s | %d | simulator %s | %s | %.3f | %.3f | %.2f | %.2f | %d | %d | %d | %.1f | %.1f | %s |" % (
                    shape, n, METHODS[method], "sparse" if r["sparse"] else "dense", r["run_s"],
                    ref["seconds"], r["run_s"] / ref["seconds"], r["run_cpu_s"] / ref["cpu"], r["steps"],
                    r["evaluations"], r["jacobians"], r["peak_MiB"] * 1.048576, error, "yes" if clean else "NO"))

    print()
    # The growth splits into that of the steps (the problem's and the error control's, the
    # same trend in scipy) and that of the processor time per step and state (the solver's).
    print("| solver | time 10^3 -> 10^4 | time 10^4 -> 10^5 | processor time 10^3 -> 10^4 | "
          "processor time 10^4 -> 10^5 | steps 10^3 -> 10^4 | steps 10^4 -> 10^5 | "
          "processor time per step and state 10^3 -> 10^4 | per step and state 10^4 -> 10^5 |")
    print("|---|---:|---:|---:|---:|---:|---:|---:|---:|")

    def growth_row(name, t, c, steps):
        per = [c[i] / (steps[i] * CASES[i][1]) for i in range(3)]
        print("| %s | %.1fx | %.1fx | %.1fx | %.1fx | %.2fx | %.2fx | %.2fx | %.2fx |" % (
            name, t[1] / t[0], t[2] / t[1], c[1] / c[0], c[2] / c[1], steps[1] / steps[0], steps[2] / steps[1],
            per[1] / per[0], per[2] / per[1]))

    for method in METHODS:
        growth_row("simulator " + METHODS[method], [runs[(i, method, 0)]["run_s"] for i in range(3)],
                   [runs[(i, method, 0)]["run_cpu_s"] for i in range(3)],
                   [runs[(i, method, 0)]["steps"] for i in range(3)])
    growth_row("scipy BDF", [reference[i]["seconds"] for i in range(3)], [reference[i]["cpu"] for i in range(3)],
               [reference[i]["steps"] for i in range(3)])

    print()
    print("| rod of 10^3 points | sparse against dense, max difference / tolerance |")
    print("|---|---:|")
    for method in METHODS:
        print("| simulator %s | %.3g |" % (METHODS[method], agreement[method]["worst_in_tolerances"]))

    print()
    print("Processing of the Keldor models (s): " +
          ", ".join("%s %d: %.2f" % (CASES[i][0], CASES[i][1] if CASES[i][0] == "rod" else CASES[i][1] ** 2,
                                      processing[i]) for i in range(len(CASES))))


if __name__ == "__main__":
    main()
