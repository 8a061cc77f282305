#!/usr/bin/env python3
"""bestmatch against its step-by-step reference and scipy's linear_sum_assignment
on the very same matrices, in one table.

Usage: bestmatch_compare.py TIMER [WORKDIR]
BESTMATCH_CASES=0,1,3 runs only the listed rows of the table (0-based).
TIMER is build/bench/bestmatch_timer. The matrices are written once into
WORKDIR (a temporary folder by default); the timer reads them, and scipy
solves the same arrays here. Times are CPU-time medians of 3 runs (1 for the C++
reference above 2 million elements)."""

import os
import subprocess
import sys
import tempfile
import time

import numpy as np
from scipy.optimize import linear_sum_assignment


def cases(rng):
    for n in (300, 1000, 2000):
        yield "uniform", rng.random((n, n))
    for n in (1000, 2000):
        yield "integers [0,100)", rng.integers(0, 100, (n, n)).astype(float)
    for n in (300, 1000):
        i = np.arange(1, n + 1, dtype=float)
        yield "i*j", np.outer(i, i)
    yield "uniform", rng.random((1000, 500))
    yield "uniform", rng.random((500, 1000))


def scipy_seconds(costs):
    times = []
    for _ in range(3):
        start = time.process_time()
        rows, cols = linear_sum_assignment(costs)
        times.append(time.process_time() - start)
        total = costs[rows, cols].sum()
    return sorted(times)[1], total


def main():
    timer = sys.argv[1]
    workdir = sys.argv[2] if len(sys.argv) > 2 else tempfile.mkdtemp(prefix="bestmatch_bench_")
    rng = np.random.default_rng(2026)
    rows = []
    only = os.environ.get("BESTMATCH_CASES")
    chosen = {int(k) for k in only.split(",")} if only else None
    for k, (name, costs) in enumerate(cases(rng)):
        if chosen is not None and k not in chosen:
            continue
        # The step-by-step reference needs about n^2/2 shifts of n^2 elements
        # on i*j: at n = 1000 that is hours, so it is left out there.
        skip = name == "i*j" and costs.shape[0] >= 1000
        path = os.path.join(workdir, f"costs{k}" + (".noreference.bin" if skip else ".bin"))
        with open(path, "wb") as f:
            np.array(costs.shape, dtype=np.int32).tofile(f)
            np.asfortranarray(costs).T.tofile(f)  # column-major
        out = subprocess.run([timer, path], check=True, capture_output=True, text=True).stdout
        _, fast, plain, same, total = out.split()
        sp, sp_total = scipy_seconds(costs)
        rows.append((name, f"{costs.shape[0]}x{costs.shape[1]}", float(fast), float(plain),
                     sp, same, float(total), sp_total))
        print(f"done: {name} {costs.shape}", file=sys.stderr, flush=True)
        os.remove(path)
    print("| costs | size | bestmatch s | step-by-step s | scipy s | step-by-step / bestmatch |"
          " bestmatch / scipy | same answer | total (bestmatch, scipy) |")
    print("|---|---|---|---|---|---|---|---|---|")
    for name, size, fast, plain, sp, same, total, sp_total in rows:
        plain_text = f"{plain:.4f}" if plain >= 0 else "not run"
        ratio = f"{plain / fast:.1f}x" if plain >= 0 else "-"
        print(f"| {name} | {size} | {fast:.4f} | {plain_text} | {sp:.4f} | {ratio} |"
              f" {fast / sp:.1f}x | {same} | {total:.6g}, {sp_total:.6g} |")


if __name__ == "__main__":
    main()
