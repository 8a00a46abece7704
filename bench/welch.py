#!/usr/bin/python3
"""Post-Processing throughput beside scipy.signal.welch on the same file in the same run.

    /usr/bin/python3 bench/welch.py [--ours build/bench/bench_engine_bench] [--seconds 60] [--repetitions 5]

Writes a stereo 48 kHz 16-bit file (tone plus noise), times scipy.signal.welch on it as float32
(segment 4096, Hann window, 50 % overlap, both channels; the file read once, as our benchmark
holds it in memory), then runs our benchmark on the very same file and prints both rates in seconds
of sound analysed per second of wall time, with their ratio. Medians of the repetitions.
"""
import argparse
import json
import os
import statistics
import subprocess
import tempfile
import time

import numpy as np
import scipy.io.wavfile
import scipy.signal


def make_file(path, seconds, rate=48000):
    rng = np.random.default_rng(7)
    n = int(seconds * rate)
    t = np.arange(n) / rate
    tone = 10000.0 * np.sin(2 * np.pi * 1000.0 * t)
    left = tone + rng.normal(0.0, 300.0, n)
    right = 0.5 * tone + rng.normal(0.0, 300.0, n)
    data = np.stack([left, right], axis=1).round().clip(-32767, 32767).astype(np.int16)
    scipy.io.wavfile.write(path, rate, data)
    return n / rate


def time_welch(path, repetitions):
    # The file is read once, as our benchmark holds it in memory; the conversion of the 16-bit
    # samples to float32 is timed, as ours converts them frame by frame.
    rate, data = scipy.io.wavfile.read(path)
    rates = []
    for _ in range(repetitions):
        start = time.perf_counter()
        x = data.astype(np.float32).T
        f, p = scipy.signal.welch(x, fs=rate, window="hann", nperseg=4096, noverlap=2048, axis=-1)
        elapsed = time.perf_counter() - start
        rates.append(data.shape[0] / rate / elapsed)
    return statistics.median(rates)


def time_ours(binary, path, repetitions):
    with tempfile.NamedTemporaryFile(suffix=".json") as out:
        cmd = [binary, "--benchmark_filter=^PostProcessing", f"--benchmark_repetitions={repetitions}",
               "--benchmark_report_aggregates_only=true", f"--benchmark_out={out.name}",
               "--benchmark_out_format=json"]
        subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=dict(os.environ, ZELTRAK_BENCH_WAV=path))
        data = json.load(open(out.name))
    for b in data["benchmarks"]:
        if b.get("aggregate_name") == "median":
            return b["audio_s_per_s"]
    raise RuntimeError("no median in the benchmark output")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--ours", help="path of bench_engine_bench")
    parser.add_argument("--seconds", type=float, default=60.0)
    parser.add_argument("--repetitions", type=int, default=5)
    args = parser.parse_args()
    with tempfile.TemporaryDirectory() as tmp:
        path = os.path.join(tmp, "bench48k.wav")
        seconds = make_file(path, args.seconds)
        welch = time_welch(path, args.repetitions)
        print(f"file: {seconds:.0f} s, stereo 48 kHz 16-bit; FFT 4096, Hann, 50 % overlap, both channels")
        print(f"scipy.signal.welch (float32): {welch:10.1f} s of audio per s")
        if args.ours:
            ours = time_ours(args.ours, path, args.repetitions)
            print(f"zeltrak Post-Processing:      {ours:10.1f} s of audio per s")
            print(f"ratio ours / scipy:           {ours / welch:10.2f}")


if __name__ == "__main__":
    main()
