#!/usr/bin/python3
"""The Python package against statsmodels on a 10^6-row DataFrame (a timing harness run by hand).

Linear: y ~ A*B + x1 + x2 with regression weights, A with 5 levels and B with 10 (as the linear
benchmark), fitted by qx.ols(weights=...) and by statsmodels' smf.wls. Logistic (--model mnlogit):
a three-category response drawn from a baseline-category logit model in A, B, x1 and x2 (as the
logistic benchmark), c ~ A + B + x1 + x2 fitted by qx.mnlogit and by statsmodels' smf.mnlogit. Each fit runs in a fresh
process that first builds the DataFrame, so that the peak memory beyond the DataFrame (VmHWM minus
VmRSS once the data are built) is the fit's own. Times are medians of --repeat runs in one process:
wall clock, and the process's CPU time (all threads), which a busy shared machine distorts less.

    /usr/bin/python3 bench/python_bench.py [--model ols|mnlogit] [--rows N] [--repeat K] [--repeat-statsmodels K]
                                           [--build build/release] [--before OTHER_BUILD]

--before times the package of another build (an earlier commit's) in the same run, for a before and
after measured under one machine load. --tabulate (with --model mnlogit) also times
qx.mnlogit(..., tabulate=True), which keeps the rows' variables in memory for the iterations.
"""

import argparse
import ctypes
import json
import os
import subprocess
import sys
import time

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), ".."))


def memory_kib(field):
    with open("/proc/self/status") as status:
        for line in status:
            if line.startswith(field + ":"):
                return int(line.split()[1])
    return 0


def make_frame(rows):
    import numpy as np
    import pandas as pd

    rng = np.random.default_rng(20261206)
    a = rng.integers(0, 5, rows)
    b = rng.integers(0, 10, rows)
    x1 = rng.normal(size=rows)
    x2 = rng.uniform(-1, 1, size=rows)
    w = rng.uniform(0.5, 2.0, size=rows)
    cell = 0.3 * a - 0.2 * b + 0.05 * a * b
    y = 1.0 + cell + 0.5 * x1 - 0.25 * x2 + rng.normal(size=rows) / np.sqrt(w)
    levels_a = np.array(["a%d" % k for k in range(5)])
    levels_b = np.array(["b%d" % k for k in range(10)])
    # Three categories: logits of c1 and c2 against c0, linear in A, B, x1 and x2.
    eta1 = -0.2 + 0.15 * a - 0.05 * b + 0.4 * x1
    eta2 = 0.1 - 0.1 * a + 0.08 * b - 0.3 * x2
    denominator = 1.0 + np.exp(eta1) + np.exp(eta2)
    u = rng.uniform(size=rows)
    p1 = np.exp(eta1) / denominator
    p2 = np.exp(eta2) / denominator
    c = np.where(u < p1, 1, np.where(u < p1 + p2, 2, 0))
    return pd.DataFrame({"y": y, "A": pd.Categorical.from_codes(a, levels_a),
                         "B": pd.Categorical.from_codes(b, levels_b), "x1": x1, "x2": x2, "w": w,
                         "c": pd.Categorical.from_codes(c, np.array(["c0", "c1", "c2"]))})


def child(library, rows, repeat, python_path, model, tabulate=False):
    """Runs in its own process: builds the data, then times the fits."""
    sys.path.insert(0, python_path)
    frame = make_frame(rows)
    # Gives the memory of building the data back to the system, so that a fit cannot reuse it unseen,
    # then resets the peak to the present size, so that building the data does not count.
    ctypes.CDLL("libc.so.6").malloc_trim(0)
    with open("/proc/self/clear_refs", "w") as clear:
        clear.write("5")
    baseline = memory_kib("VmRSS")
    times, cpu = [], []
    for _ in range(repeat):
        start, start_cpu = time.perf_counter(), time.process_time()
        if library == "qxregres600r":
            import qxregres600r as qx

            if model == "ols":
                fit = qx.ols("y ~ A*B + x1 + x2", frame, weights="w")
                check = fit.params.loc["x1", "estimate"]
            else:
                options = {"tabulate": True} if tabulate else {}
                fit = qx.mnlogit("c ~ A + B + x1 + x2", frame, reference="c0", **options)
                check = fit.llf
        else:
            import statsmodels.formula.api as smf

            if model == "ols":
                fit = smf.wls("y ~ A*B + x1 + x2", frame, weights=frame["w"]).fit()
                check = fit.params["x1"]
            else:
                coded = frame.assign(c=frame["c"].cat.codes)
                fit = smf.mnlogit("c ~ A + B + x1 + x2", coded).fit(method="newton", disp=False)
                check = fit.llf
        times.append(time.perf_counter() - start)
        cpu.append(time.process_time() - start_cpu)
        del fit
    times.sort()
    cpu.sort()
    print(json.dumps({"library": library, "median_s": times[len(times) // 2], "cpu_s": cpu[len(cpu) // 2],
                      "beyond_data_mib": (memory_kib("VmHWM") - baseline) / 1024.0, "x1": float(check)}))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--rows", type=int, default=1_000_000)
    parser.add_argument("--repeat", type=int, default=3)
    # statsmodels takes long enough that one fit is usually what a run can afford.
    parser.add_argument("--repeat-statsmodels", type=int, default=1)
    parser.add_argument("--build", default=os.path.join(ROOT, "build", "release"))
    parser.add_argument("--model", choices=("ols", "mnlogit"), default="ols")
    parser.add_argument("--before", help="another build whose package is timed as well")
    parser.add_argument("--tabulate", action="store_true", help="also time mnlogit(..., tabulate=True)")
    parser.add_argument("--child", help=argparse.SUPPRESS)
    args = parser.parse_args()
    python_path = os.path.join(os.path.abspath(args.build), "python")
    if args.child:
        child(args.child, args.rows, args.repeat, python_path, args.model, args.tabulate)
        return
    runs = [("qxregres600r", "qxregres600r", args.build, []), ("statsmodels", "statsmodels", args.build, [])]
    if args.before:
        runs.insert(0, ("before", "qxregres600r", args.before, []))
    if args.tabulate and args.model == "mnlogit":
        runs.insert(-1, ("tabulated", "qxregres600r", args.build, ["--tabulate"]))
    results = {}
    for name, library, build, extra in runs:
        out = subprocess.run([sys.executable, __file__, "--child", library, "--rows", str(args.rows),
                              "--repeat", str(args.repeat if library == "qxregres600r" else args.repeat_statsmodels),
                              "--build", build, "--model", args.model] + extra,
                             check=True, capture_output=True, text=True).stdout
        results[name] = json.loads(out)
        results[name]["library"] = name
    qx, sm = results["qxregres600r"], results["statsmodels"]
    model = "y ~ A*B + x1 + x2 with weights" if args.model == "ols" else "c ~ A + B + x1 + x2, three categories"
    print("rows %d, %s, median of %d fits (statsmodels %d)" % (args.rows, model, args.repeat,
                                                                 args.repeat_statsmodels))
    for r in [results[name] for name, _, _, _ in runs]:
        print("  %-13s %8.3f s (cpu %8.3f s)   peak beyond the DataFrame %8.1f MiB   check %.12g"
              % (r["library"], r["median_s"], r["cpu_s"], r["beyond_data_mib"], r["x1"]))
    print("  statsmodels / qxregres600r: time %.1f, cpu time %.1f"
          % (sm["median_s"] / qx["median_s"], sm["cpu_s"] / qx["cpu_s"]))
    for name in ("before", "tabulated"):
        if name in results:
            other = results[name]
            print("  statsmodels / %-12s time %.1f, cpu time %.1f"
                  % (name + ":", sm["median_s"] / other["median_s"], sm["cpu_s"] / other["cpu_s"]))


if __name__ == "__main__":
    main()
