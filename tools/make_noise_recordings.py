#!/usr/bin/python3
"""Writes the generator's two noise recordings (white and pink) from a seeded generator.

Both are mono 44.1 kHz 16-bit PCM wave files with a 44-byte header. The generator plays them
from the 23rd data sample on and loops over an even number of samples, so the level and the
spectrum are set over exactly that stretch, and the loop closes without a step.

Run from the repository root: tools/make_noise_recordings.py
"""
import pathlib
import struct

import numpy as np

RATE = 44100
SKIPPED = 22            # samples the player leaves out at the start of the data
WHITE_SAMPLES = 44423
PINK_SAMPLES = 181245
WHITE_RMS_DB = -11.6
PINK_RMS_DB = -14.0
PINK_CORNER_HZ = 10.0   # below this the pink shaping stays flat rather than growing without bound
OUT_DIR = pathlib.Path(__file__).resolve().parent.parent / "resources" / "generator"


def played_length(total):
    """The samples the player loops over: those after the skipped ones, made even."""
    usable = total - SKIPPED
    return usable - usable % 2


def white_loop(rng, length):
    # A sum of three uniforms is near-Gaussian but bounded at three times its rms, so the
    # level below never clips.
    return rng.uniform(-1.0, 1.0, (3, length)).sum(axis=0)


def pink_loop(rng, length):
    # 1/sqrt(f) amplitude shaping in the frequency domain: power falls 10 dB per decade, and
    # the result is periodic over the loop.
    spectrum = np.fft.rfft(rng.standard_normal(length))
    freqs = np.fft.rfftfreq(length, 1.0 / RATE)
    gain = 1.0 / np.sqrt(np.maximum(freqs, PINK_CORNER_HZ))
    gain[0] = 0.0
    return np.fft.irfft(spectrum * gain, length)


def recording(loop, total, rms_db):
    loop = loop * (10.0 ** (rms_db / 20.0) * 32768.0 / np.sqrt(np.mean(loop ** 2)))
    if np.max(np.abs(loop)) >= 32767.0:
        raise SystemExit("noise would clip: choose another seed")
    # The samples outside the played stretch continue the loop, so every part of the file is
    # the same noise.
    data = loop[(np.arange(total) - SKIPPED) % len(loop)]
    return np.round(data).astype("<i2")


def wave_bytes(samples):
    data = samples.tobytes()
    header = b"RIFF" + struct.pack("<I", 36 + len(data)) + b"WAVE"
    header += b"fmt " + struct.pack("<IHHIIHH", 16, 1, 1, RATE, RATE * 2, 2, 16)
    header += b"data" + struct.pack("<I", len(data))
    return header + data


def main():
    rng = np.random.default_rng(20)
    white = recording(white_loop(rng, played_length(WHITE_SAMPLES)), WHITE_SAMPLES, WHITE_RMS_DB)
    pink = recording(pink_loop(rng, played_length(PINK_SAMPLES)), PINK_SAMPLES, PINK_RMS_DB)
    OUT_DIR.mkdir(parents=True, exist_ok=True)
    (OUT_DIR / "white_noise.wav").write_bytes(wave_bytes(white))
    (OUT_DIR / "pink_noise.wav").write_bytes(wave_bytes(pink))


if __name__ == "__main__":
    main()
