#!/usr/bin/env python3
"""bestmatch against its dense machine, the literal step machine and scipy's
linear_sum_assignment on the very same matrices, in one table.

Usage: bestmatch_compare.py TIMER [WORKDIR]
BESTMATCH_CASES=0,1,3 runs only the listed rows of the table (0-based).
TIMER is build/bench/bestmatch_timer. The matrices are written once into
WORKDIR (a temporary folder by default); the timer reads them, and scipy
solves the same arrays here. Times are CPU-time medians of 3 runs (one run
of a solver that took more than 2 s). The dense and literal machines are
left out where they would take hours (they pass over the whole matrix once
per shift: about n^2/2 shifts on i*j)."""

import os
import subprocess
import sys
import tempfile
import time

import numpy as np
from scipy.optimize import linear_sum_assignment


def euclidean(rng, m, n):
    p = rng.random((m, 2))
    q = rng.random((n, 2))
    return np.sqrt(((p[:, None, :] - q[None, :, :]) ** 2).sum(-1))


def near_ties(rng, m, n, noise):
    return rng.random(m)[:, None] + rng.random(n)[None, :] + noise * rng.random((m, n))


def cases(rng):
    """(name, costs, run the dense machine, run the literal machine)"""
    for n in (1000, 2000, 5000):
        yield "uniform [0,1)", rng.random((n, n)), n <= 1000, n <= 1000
    for n in (1000, 2000, 5000):
        yield "Euclidean", euclidean(rng, n, n), n <= 1000, n <= 1000
    for n in (1000, 2000):
        yield "integers 0..9", rng.integers(0, 10, (n, n)).astype(float), True, n <= 1000
    for n in (1000, 2000):
        i = np.arange(1, n + 1, dtype=float)
        yield "i*j", np.outer(i, i), False, False
    yield "near ties, 1e-15", near_ties(rng, 1000, 1000, 1e-15), True, True
    yield "near ties, 1e-15", near_ties(rng, 500, 1000, 1e-15), True, True
    yield "near ties, 1e-13", near_ties(rng, 400, 400, 1e-13), True, True
    yield "uniform [0,1)", rng.random((1000, 500)), True, True
    yield "uniform [0,1)", rng.random((500, 1000)), True, True


def scipy_seconds(costs):
    times = []
    for _ in range(3):
        start = time.process_time()
        rows, cols = linear_sum_assignment(costs)
        times.append(time.process_time() - start)
        total = costs[rows, cols].sum()
        if times[-1] > 2.0:
            break
    return sorted(times)[len(times) // 2], total


def seconds(value):
    return f"{value:.4f}" if value >= 0 else "-"


def main():
    timer = sys.argv[1]
    workdir = sys.argv[2] if len(sys.argv) > 2 else tempfile.mkdtemp(prefix="bestmatch_bench_")
    rng = np.random.default_rng(2026)
    rows = []
    only = os.environ.get("BESTMATCH_CASES")
    chosen = {int(k) for k in only.split(",")} if only else None
    for k, (name, costs, dense, literal) in enumerate(cases(rng)):
        if chosen is not None and k not in chosen:
            continue
        ending = ".bin" if literal else ".noliteral.bin" if dense else ".nodense.bin"
        path = os.path.join(workdir, f"costs{k}{ending}")
        with open(path, "wb") as f:
            np.array(costs.shape, dtype=np.int32).tofile(f)
            np.asfortranarray(costs).T.tofile(f)  # column-major
        out = subprocess.run([timer, path], check=True, capture_output=True, text=True).stdout
        _, fast, dense_time, literal_time, same, total = out.split()
        sp, sp_total = scipy_seconds(costs)
        rows.append((name, f"{costs.shape[0]}x{costs.shape[1]}", float(fast), float(dense_time),
                     float(literal_time), sp, same, float(total), sp_total))
        print(f"done: {name} {costs.shape}", file=sys.stderr, flush=True)
        os.remove(path)
    print("| costs | size | bestmatch s | dense s | literal s | scipy s | bestmatch / scipy |"
          " bestmatch / dense | same answer | total (bestmatch, scipy) |")
    print("|---|---|---|---|---|---|---|---|---|---|")
    for name, size, fast, dense, literal, sp, same, total, sp_total in rows:
        versus_dense = f"{fast / dense:.2f}" if dense > 0 else "-"
        print(f"| {name} | {size} | {fast:.4f} | {seconds(dense)} | {seconds(literal)} |"
              f" {sp:.4f} | {fast / sp:.2f} | {versus_dense} | {same} | {total:.6g}, {sp_total:.6g} |")


if __name__ == "__main__":
    main()
