#!/usr/bin/python3
"""Post-Processing throughput beside scipy.signal.welch on the same file in the same run.

    /usr/bin/python3 bench/welch.py [--ours build/bench/bench_engine_bench] [--seconds 60] [--repetitions 5]

Writes a stereo 48 kHz 16-bit file (tone plus noise), then alternates, repetition by
repetition, scipy.signal.welch on it as float32 (segment 4096, Hann window, 50 % overlap, both
channels, no detrending, as we do none) and our PostProcessing benchmark on the very same file.
Both sides read the file inside the timing. Prints each side's rate in seconds of sound analysed
per second of wall time as median and range over the repetitions, and the ratio of the medians.
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


def time_welch(path):
    # Read and converted inside the timing: ours reads the file and converts it frame by frame.
    start = time.perf_counter()
    rate, data = scipy.io.wavfile.read(path)
    x = data.astype(np.float32).T
    scipy.signal.welch(x, fs=rate, window="hann", nperseg=4096, noverlap=2048, detrend=False, axis=-1)
    return data.shape[0] / rate / (time.perf_counter() - start)


def time_ours(binary, path):
    with tempfile.NamedTemporaryFile(suffix=".json") as out:
        cmd = [binary, "--benchmark_filter=^PostProcessing", "--benchmark_repetitions=1",
               "--benchmark_report_aggregates_only=false", f"--benchmark_out={out.name}",
               "--benchmark_out_format=json"]
        subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       env=dict(os.environ, ZELTRAK_BENCH_WAV=path))
        data = json.load(open(out.name))
    return data["benchmarks"][0]["audio_s_per_s"]


def summary(rates):
    return f"median {statistics.median(rates):8.1f}  range {min(rates):8.1f} to {max(rates):8.1f}"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--ours", help="path of bench_engine_bench")
    parser.add_argument("--seconds", type=float, default=60.0)
    parser.add_argument("--repetitions", type=int, default=5)
    args = parser.parse_args()
    with tempfile.TemporaryDirectory() as tmp:
        path = os.path.join(tmp, "bench48k.wav")
        seconds = make_file(path, args.seconds)
        welch, ours = [], []
        for _ in range(args.repetitions):
            welch.append(time_welch(path))
            if args.ours:
                ours.append(time_ours(args.ours, path))
        print(f"file: {seconds:.0f} s, stereo 48 kHz 16-bit; FFT 4096, Hann, 50 % overlap, both channels, "
              f"{args.repetitions} alternating repetitions; seconds of audio per second")
        print(f"scipy.signal.welch (float32, no detrend): {summary(welch)}")
        if ours:
            print(f"ours (Post-Processing):                   {summary(ours)}")
            print(f"ratio of medians ours / scipy: {statistics.median(ours) / statistics.median(welch):.2f}")


if __name__ == "__main__":
    main()
