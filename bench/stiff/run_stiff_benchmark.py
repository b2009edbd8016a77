#!/usr/bin/python3
"""Runs the simulator's stiff-method benchmark and, in the same run, an independent solution of
the same problems with scipy.integrate.solve_ivp (BDF and LSODA, Debian's python3-scipy), and
prints one table: steps, model evaluations (every call of the right-hand side, those of the
difference-quotient Jacobians included), Jacobians, time per run and the error of the final
state in units of the tolerance, max_i |y_i - ref_i| / (rtol |ref_i| + atol).

References: Robertson at t = 1e11 from the published test set; Van der Pol (mu = 1000) at
t = 3000 and the transistor amplifier at t = 0.1 from scipy's Radau at rtol = atol = 1e-12 (the
amplifier's two algebraic loops solved by Newton's method inside its right-hand side). The
amplifier is run by the simulator's BDF method alone: its loops make it implicit.

Usage: bench/stiff/run_stiff_benchmark.py [path of bench_stiff_methods]
"""
import json
import math
import subprocess
import sys
import time

import numpy as np
from scipy.integrate import solve_ivp

TOLERANCES = [1e-4, 1e-6, 1e-8]
ROBERTSON_REFERENCE = [2.083340149701255e-8, 8.333360770334713e-14, 0.9999999791665050]


def robertson(t, y):
    return [-0.04 * y[0] + 1.0e4 * y[1] * y[2],
            0.04 * y[0] - 1.0e4 * y[1] * y[2] - 3.0e7 * y[1] * y[1],
            3.0e7 * y[1] * y[1]]


def van_der_pol(t, y):
    return [y[1], 1000.0 * (1.0 - y[0] * y[0]) * y[1] - y[0]]


AMPLIFIER = dict(vcc=12.0, rsup=10.0, cd=100e-6, r1=47e3, r2=10e3, rc=4.7e3, re=1e3, ce=100e-6, rs=600.0,
                 c1=10e-6, c2=10e-6, ll=1e-3, rl=10e3, Is=1e-14, vt=0.02585, bf=100.0, br=1.0, vamp=0.1,
                 omega=2000.0 * math.pi)
_loop_guess = [0.0, 0.0]


def amplifier_loops(t, y):
    """The base and collector voltages (vb, vc) that satisfy the two loop equations, by Newton's
    method from the last solution; with the transistor's currents they need."""
    p = AMPLIFIER
    v1, vd, ve, il, v2 = y
    vin = p["vamp"] * math.sin(p["omega"] * t)
    vb, vc = _loop_guess
    for _ in range(100):
        ebf = p["Is"] * math.exp((vb - ve) / p["vt"])
        ebr = p["Is"] * math.exp((vb - vc) / p["vt"])
        ibf, ibr = ebf - p["Is"], ebr - p["Is"]
        ib = ibf / p["bf"] + ibr / p["br"]
        ic = ibf - ibr - ibr / p["br"]
        f1 = vb - p["r2"] * ((vin - v1 - vb) / p["rs"] + (vd - vb) / p["r1"] - ib)
        f2 = vc - (vd - p["rc"] * (ic + il))
        dbf, dbr = ebf / p["vt"], ebr / p["vt"]
        j11 = 1.0 + p["r2"] * (1.0 / p["rs"] + 1.0 / p["r1"] + dbf / p["bf"] + dbr / p["br"])
        j12 = -p["r2"] * dbr / p["br"]
        j21 = p["rc"] * (dbf - dbr * (1.0 + 1.0 / p["br"]))
        j22 = 1.0 + p["rc"] * dbr * (1.0 + 1.0 / p["br"])
        det = j11 * j22 - j12 * j21
        dvb, dvc = (f1 * j22 - f2 * j12) / det, (j11 * f2 - j21 * f1) / det
        vb, vc = vb - dvb, vc - dvc
        if abs(dvb) <= 1e-15 * (1.0 + abs(vb)) and abs(dvc) <= 1e-15 * (1.0 + abs(vc)):
            break
    _loop_guess[:] = [vb, vc]
    return vb, vc, vin, ibf, ibr, ib, ic


def amplifier(t, y):
    p = AMPLIFIER
    v1, vd, ve, il, v2 = y
    vb, vc, vin, ibf, ibr, ib, ic = amplifier_loops(t, y)
    isrc = (vin - v1 - vb) / p["rs"]
    i1 = (vd - vb) / p["r1"]
    irc = (vd - vc) / p["rc"]
    return [isrc / p["c1"], ((p["vcc"] - vd) / p["rsup"] - i1 - irc) / p["cd"],
            (ic + ib - ve / p["re"]) / p["ce"], (vc - v2 - p["rl"] * il) / p["ll"], il / p["c2"]]


PROBLEMS = {
    "Robertson": dict(f=robertson, y0=[1.0, 0.0, 0.0], t_end=1e11, atol_per_rtol=1e-6),
    "VanDerPol": dict(f=van_der_pol, y0=[2.0, 0.0], t_end=3000.0, atol_per_rtol=1.0),
    "Amplifier": dict(f=amplifier, y0=[0.0] * 5, t_end=0.1, atol_per_rtol=1.0, simulator_only=True),
}


def reference(name):
    if name == "Robertson":
        return np.array(ROBERTSON_REFERENCE)
    p = PROBLEMS[name]
    sol = solve_ivp(p["f"], (0.0, p["t_end"]), p["y0"], method="Radau", rtol=1e-12, atol=1e-12)
    return sol.y[:, -1]


def error_in_tolerances(y, ref, rtol, atol):
    y = np.asarray(y)
    return float(np.max(np.abs(y - ref) / (rtol * np.abs(ref) + atol)))


def simulator_rows(binary):
    out = subprocess.run([binary, "--benchmark_format=json", "--benchmark_min_time=0.2"],
                         check=True, capture_output=True, text=True).stdout
    rows = []
    for b in json.loads(out)["benchmarks"]:
        problem, method = b["label"].split(" ", 1)
        method = "BDF" if method == "BackwDiffForm" else method
        states = len(PROBLEMS[problem]["y0"])
        rows.append(dict(problem=problem, solver="simulator " + method, rtol=b["rtol"],
                         steps=int(b["steps"]), evaluations=int(b["evaluations"]),
                         jacobians=int(b["jacobians"]), ms=b["real_time"], boxes=int(b["boxes"]),
                         y=[b["y%d" % (i + 1)] for i in range(states)], t_end=b["t_end"]))
    return rows


def scipy_rows():
    rows = []
    for name, p in PROBLEMS.items():
        if p.get("simulator_only"):
            continue
        for method in ("BDF", "LSODA"):
            for rtol in TOLERANCES:
                atol = p["atol_per_rtol"] * rtol
                calls = [0]

                def f(t, y):
                    calls[0] += 1
                    return p["f"](t, y)

                best = None
                for _ in range(3):
                    calls[0] = 0
                    start = time.perf_counter()
                    sol = solve_ivp(f, (0.0, p["t_end"]), p["y0"], method=method, rtol=rtol, atol=atol)
                    elapsed = (time.perf_counter() - start) * 1000.0
                    best = elapsed if best is None else min(best, elapsed)
                rows.append(dict(problem=name, solver="scipy " + method, rtol=rtol, steps=len(sol.t) - 1,
                                 evaluations=calls[0], jacobians=int(sol.njev), ms=best,
                                 boxes=0 if sol.success else 1, y=list(sol.y[:, -1]), t_end=sol.t[-1]))
    return rows


def main():
    binary = sys.argv[1] if len(sys.argv) > 1 else "build/bench/stiff/bench_stiff_methods"
    rows = simulator_rows(binary) + scipy_rows()
    refs = {name: reference(name) for name in PROBLEMS}
    print("| problem | rtol | solver | steps | evaluations | Jacobians | time per run (ms) | error / tolerance | clean |")
    print("|---|---|---|---:|---:|---:|---:|---:|---|")
    order = {"simulator BDF": 0, "simulator Vode-Stiff": 1, "scipy BDF": 2, "scipy LSODA": 3}
    rows.sort(key=lambda r: (r["problem"], -r["rtol"], order[r["solver"]]))
    for r in rows:
        atol = PROBLEMS[r["problem"]]["atol_per_rtol"] * r["rtol"]
        reached = abs(r["t_end"] - PROBLEMS[r["problem"]]["t_end"]) <= 1e-9 * PROBLEMS[r["problem"]]["t_end"]
        error = error_in_tolerances(r["y"], refs[r["problem"]], r["rtol"], atol)
        print("| %s | %.0e | %s | %d | %d | %d | %.2f | %.2f | %s |" % (
            r["problem"], r["rtol"], r["solver"], r["steps"], r["evaluations"], r["jacobians"], r["ms"],
            error, "yes" if reached and r["boxes"] == 0 else "NO"))


if __name__ == "__main__":
    main()
