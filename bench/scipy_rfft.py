#!/usr/bin/env python3
"""Times scipy.fft.rfft on float32 input for N = 2^5 ... 2^20 and, given our benchmark
binary, sets our RealFFT forward next to it.

    python3 bench/scipy_rfft.py [--ours build/bench/bench_fft_bench] [--repetitions 7]

Times are CPU-time medians in microseconds, as in the C++ benchmark's table. scipy's
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


def scipy_median_us(n, repetitions):
    rng = np.random.default_rng(n)
    x = rng.uniform(-1.0, 1.0, n).astype(np.float32)
    out = scipy.fft.rfft(x)
    assert out.dtype == np.complex64, "scipy did not stay in single precision"
    timer = timeit.Timer(lambda: scipy.fft.rfft(x), timer=time.process_time)
    loops, _ = timer.autorange()  # enough calls for at least 0.2 s
    loops = max(1, loops // 2)
    samples = timer.repeat(repeat=repetitions, number=loops)
    return statistics.median(samples) / loops * 1e6


def ours_medians_us(binary, repetitions):
    with tempfile.NamedTemporaryFile(suffix=".json") as out:
        cmd = [binary, "--no-accuracy", "--no-table", "--benchmark_filter=^RealForward_ours/",
               f"--benchmark_repetitions={repetitions}", "--benchmark_report_aggregates_only=true",
               f"--benchmark_out={out.name}", "--benchmark_out_format=json"]
        subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        with open(out.name) as f:
            data = json.load(f)
    scale = {"ns": 1e-3, "us": 1.0, "ms": 1e3, "s": 1e6}
    medians = {}
    for b in data["benchmarks"]:
        if b.get("aggregate_name") == "median":
            n = int(b["run_name"].split("/")[1])
            medians[n] = b["cpu_time"] * scale[b["time_unit"]]
    return medians


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--ours", help="path of bench_fft_bench, to print ours/scipy ratios")
    parser.add_argument("--repetitions", type=int, default=7)
    args = parser.parse_args()

    sizes = [1 << k for k in range(5, 21)]
    print(f"scipy {scipy.__version__}, numpy {np.__version__}: scipy.fft.rfft on float32, "
          f"CPU-time median of {args.repetitions} in microseconds", flush=True)
    ours = ours_medians_us(args.ours, args.repetitions) if args.ours else {}
    print(f"  {'N':<9} {'scipy':>12} {'ours':>12} {'ours/scipy':>11}")
    for n in sizes:
        s = scipy_median_us(n, args.repetitions)
        if n in ours:
            print(f"  {n:<9} {s:12.3f} {ours[n]:12.3f} {ours[n] / s:11.2f}", flush=True)
        else:
            print(f"  {n:<9} {s:12.3f}", flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
