#!/usr/bin/python3
"""Runs the stiff chains benchmark and, in the same run, scipy.integrate.solve_ivp(method="BDF")
on the same problems given the Jacobian's sparsity pattern (Debian's python3-scipy), and prints
one table: an RC ladder and a mass-spring-damper chain of 10^3 stages, capacitances or masses
spread from 1e-6 to 1, driven by sin(2 pi t), started from rest or displaced (every node
charged to 1, every mass moved by 1), at rtol 1e-6 and atol 1e-9 or 1e-12, each run to the
finish times 0.5, 1, 1.5 and 2.

Per row, the four runs together: steps, model evaluations (every call of the right-hand side,
those of the difference Jacobians included), Jacobians, processor time and its ratio to
scipy's BDF; the errors of the final states against the reference, componentwise,
max_i |y_i - ref_i| / (rtol |ref_i| + atol) (the largest of the four runs and their geometric
mean), and normwise, max_i |y_i - ref_i| / (rtol max_i |ref_i| + atol) (the largest). The
componentwise error is decided by the states that lie near a zero of the solution at the
finish (an absolute error of the wave around them over the absolute tolerance), and so changes
tenfold from one finish time to the next for every solver; the normwise error by the large
states. References: scipy's Radau IIA at rtol 1e-10, atol 1e-14, with the
analytic sparse Jacobian. scipy's BDF is run once where a run takes longer than two seconds
(the displaced chains take minutes), else the fastest of three.

Usage: bench/stiff_chains/run_stiff_chains_benchmark.py [path of bench_stiff_chains]
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

STAGES = 1000
RTOL = 1e-6
ATOLS = [1e-9, 1e-12]
FINISHES = [0.5, 1.0, 1.5, 2.0]
FAMILIES = ["ladder", "chain"]
METHODS = {3: "BDF", 5: "Vode-Stiff"}
METHOD_NAMES = {3: "BackwDiffForm", 5: "Vode-Stiff"}
W = 2.0 * np.pi


def inverse_constants(n):
    """1 / C_i or 1 / m_i, as chain_models.h computes them."""
    return np.array([10.0 ** (6.0 - 6.0 * i / (n - 1)) for i in range(n)])


def laplacian(n):
    main = -2.0 * np.ones(n)
    main[-1] = -1.0
    return sp.diags([np.ones(n - 1), main, np.ones(n - 1)], [-1, 0, 1], format="csr")


def problem(family, n=STAGES):
    """The right-hand side, its constant Jacobian and the number of states."""
    g = sp.diags(inverse_constants(n))
    a = (g @ laplacian(n)).tocoo()
    if family == "ladder":
        jac = a.tocsc()
        g0 = inverse_constants(n)[0]

        def f(t, y):
            d = jac @ y
            d[0] += np.sin(W * t) * g0
            return d

        return f, jac, n
    # States x_0, v_0, x_1, v_1, ...: x_i' = v_i, v_i' = (row i of a) applied to x and to v.
    rows = list(2 * np.arange(n))
    cols = list(2 * np.arange(n) + 1)
    vals = [1.0] * n
    for r, c, v in zip(a.row, a.col, a.data):
        rows += [2 * r + 1, 2 * r + 1]
        cols += [2 * c, 2 * c + 1]
        vals += [v, v]
    jac = sp.csc_matrix((vals, (rows, cols)), shape=(2 * n, 2 * n))
    g0 = inverse_constants(n)[0]

    def f(t, y):
        d = jac @ y
        d[1] += (np.sin(W * t) + W * np.cos(W * t)) * g0
        return d

    return f, jac, 2 * n


def initial(family, displaced, n):
    y0 = np.zeros(n)
    if displaced:
        if family == "ladder":
            y0[:] = 1.0
        else:
            y0[0::2] = 1.0
    return y0


def reference(family, displaced, finish):
    f, jac, n = problem(family)
    sol = solve_ivp(f, (0.0, finish), initial(family, displaced, n), method="Radau", rtol=1e-10, atol=1e-14, jac=jac)
    return sol.y[:, -1]


def scipy_run(family, displaced, atol, finish):
    f, jac, n = problem(family)
    calls = [0]

    def counted(t, y):
        calls[0] += 1
        return f(t, y)

    best = None
    for attempt in range(3):
        calls[0] = 0
        start = time.process_time()
        sol = solve_ivp(counted, (0.0, finish), initial(family, displaced, n), method="BDF", rtol=RTOL, atol=atol,
                        jac_sparsity=jac != 0)
        cpu = time.process_time() - start
        run = dict(cpu=cpu, steps=len(sol.t) - 1, evaluations=calls[0], jacobians=int(sol.njev), y=sol.y[:, -1],
                   clean=sol.success and sol.t[-1] == finish)
        if best is None or cpu < best["cpu"]:
            best = run
        if cpu > 2.0:
            break
    return best


def errors(y, ref, atol):
    difference = np.abs(np.asarray(y) - ref)
    componentwise = float(np.max(difference / (RTOL * np.abs(ref) + atol)))
    normwise = float(np.max(difference) / (RTOL * np.max(np.abs(ref)) + atol))
    return componentwise, normwise


def main():
    binary = sys.argv[1] if len(sys.argv) > 1 else "build/bench/stiff_chains/bench_stiff_chains"
    env = dict(os.environ)
    with tempfile.TemporaryDirectory(prefix="orvanta-stiff-chains-") as folder:
        env["ORVANTA_STIFF_CHAINS_DIR"] = folder
        subprocess.run([binary, "--benchmark_filter=BM_Process"], check=True, capture_output=True, env=env)
        out = subprocess.run([binary, "--benchmark_format=json", "--benchmark_filter=BM_Run"], check=True,
                             capture_output=True, text=True, env=env).stdout
        runs = {}
        for b in json.loads(out)["benchmarks"]:
            label = b["label"]
            with open(os.path.join(folder, label + ".states")) as states:
                b["y"] = np.array([float(line) for line in states])
            runs[label] = b

    references = {(family, displaced, finish): reference(family, displaced, finish)
                  for family in FAMILIES for displaced in (0, 1) for finish in FINISHES}

    print("| model | start | atol | solver | steps | evaluations | Jacobians | processor time (s) | "
          "ratio to scipy BDF | error / tolerance: componentwise, largest | geometric mean | normwise | clean |")
    print("|---|---|---:|---|---:|---:|---:|---:|---:|---:|---:|---:|---|")
    for family in FAMILIES:
        for displaced in (0, 1):
            for a, atol in enumerate(ATOLS):
                start = "displaced" if displaced else "rest"
                rows = []
                scipy_runs = [scipy_run(family, displaced, atol, finish) for finish in FINISHES]
                rows.append(("scipy BDF", scipy_runs, [r["clean"] for r in scipy_runs]))
                for method in METHODS:
                    ours = []
                    for i, finish in enumerate(FINISHES):
                        label = "%s-%s-atol%d-finish%d-%s" % (family, start, a, i, METHOD_NAMES[method])
                        r = runs[label]
                        ours.append(dict(cpu=r["run_cpu_s"], steps=r["steps"], evaluations=r["evaluations"],
                                         jacobians=r["jacobians"], y=r["y"],
                                         clean=r["boxes"] == 0 and r["t_end"] == finish))
                    rows.append(("simulator " + METHODS[method], ours, [r["clean"] for r in ours]))
                scipy_cpu = sum(r["cpu"] for r in scipy_runs)
                for solver, results, clean in rows:
                    worst = [errors(r["y"], references[(family, displaced, finish)], atol)
                             for r, finish in zip(results, FINISHES)]
                    cpu = sum(r["cpu"] for r in results)
                    componentwise = [w[0] for w in worst]
                    print("| %s | %s | %g | %s | %d | %d | %d | %.3f | %.2f | %.1f | %.1f | %.2f | %s |" % (
                        family, start, atol, solver, sum(r["steps"] for r in results),
                        sum(r["evaluations"] for r in results), sum(r["jacobians"] for r in results), cpu,
                        cpu / scipy_cpu, max(componentwise), float(np.exp(np.mean(np.log(componentwise)))),
                        max(w[1] for w in worst), "yes" if all(clean) else "NO"), flush=True)


if __name__ == "__main__":
    main()
