#!/usr/bin/env python3
"""Times scipy.fft.rfft on float32 input for N = 2^5 ... 2^20 and, given our benchmark
binary, sets our RealFFT forward next to it.

    python3 bench/scipy_rfft.py [--ours build/bench/bench_fft_bench] [--repetitions 7]

Repetitions alternate: each times scipy at every size, then runs our binary once. Times are
CPU-time medians over the repetitions in microseconds, as in the C++ benchmark's table, with
the spread as the range over the repetitions in percent of the median. scipy's
figure includes its call overhead and the allocation of the output array, which is part
of what a caller of it pays; ours includes copying the input into the transform buffer.
Needs numpy and scipy (Debian: python3-scipy).
"""

import argparse
import json
import statistics
import subprocess
import sys
import tempfile
import time
import timeit

import numpy as np
import scipy
import scipy.fft


def scipy_timer(n):
    rng = np.random.default_rng(n)
    x = rng.uniform(-1.0, 1.0, n).astype(np.float32)
    out = scipy.fft.rfft(x)
    assert out.dtype == np.complex64, "scipy did not stay in single precision"
    timer = timeit.Timer(lambda: scipy.fft.rfft(x), timer=time.process_time)
    loops, _ = timer.autorange()  # enough calls for at least 0.2 s
    return timer, max(1, loops // 2)


def scipy_once_us(timer, loops):
    return timer.timeit(number=loops) / loops * 1e6


def ours_once_us(binary):
    with tempfile.NamedTemporaryFile(suffix=".json") as out:
        # One kernel only: with all three the runs of each size would overwrite one another.
        cmd = [binary, "--no-accuracy", "--no-table", "--kernel=avx512", "--benchmark_filter=^RealForward_ours/",
               "--benchmark_repetitions=1", f"--benchmark_out={out.name}", "--benchmark_out_format=json"]
        subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        with open(out.name) as f:
            data = json.load(f)
    scale = {"ns": 1e-3, "us": 1.0, "ms": 1e3, "s": 1e6}
    return {int(b["run_name"].split("/")[1]): b["cpu_time"] * scale[b["time_unit"]]
            for b in data["benchmarks"] if b.get("run_type") == "iteration"}


def median_spread(values):
    m = statistics.median(values)
    return m, 100.0 * (max(values) - min(values)) / m


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--ours", help="path of bench_fft_bench, to print ours/scipy ratios")
    parser.add_argument("--repetitions", type=int, default=7)
    args = parser.parse_args()

    sizes = [1 << k for k in range(5, 21)]
    print(f"scipy {scipy.__version__}, numpy {np.__version__}: scipy.fft.rfft on float32, "
          f"CPU-time median of {args.repetitions} alternating repetitions in microseconds "
          f"(range in % of the median)", flush=True)
    timers = {n: scipy_timer(n) for n in sizes}
    scipy_us = {n: [] for n in sizes}
    ours_us = {n: [] for n in sizes}
    for _ in range(args.repetitions):
        for n in sizes:
            scipy_us[n].append(scipy_once_us(*timers[n]))
        if args.ours:
            for n, t in ours_once_us(args.ours).items():
                ours_us.setdefault(n, []).append(t)
    print(f"  {'N':<9} {'scipy':>12} {'±%':>5} {'ours':>12} {'±%':>5} {'ours/scipy':>11}")
    for n in sizes:
        s, ss = median_spread(scipy_us[n])
        if ours_us.get(n):
            o, os_ = median_spread(ours_us[n])
            print(f"  {n:<9} {s:12.3f} {ss:5.0f} {o:12.3f} {os_:5.0f} {o / s:11.2f}", flush=True)
        else:
            print(f"  {n:<9} {s:12.3f} {ss:5.0f}", flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
