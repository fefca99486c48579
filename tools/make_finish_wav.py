#!/usr/bin/env python3
"""Writes resources/finish.wav: the short two-note chime played when a copy
or delete has finished. 44.1 kHz, 16-bit PCM, mono, about 0.4 s.

Usage: tools/make_finish_wav.py [output path]
"""
import math
import struct
import sys
from pathlib import Path

RATE = 44100
LENGTH = 0.4  # seconds
PEAK = 0.5    # of full scale, about -6 dBFS

# (start in seconds, fundamental in Hz): E6 then B6, a rising fifth.
NOTES = [(0.0, 1318.51), (0.09, 1975.53)]
# Partials of a soft bell: (multiple of the fundamental, relative level, decay time).
PARTIALS = [(1.0, 1.0, 0.13), (2.0, 0.28, 0.07), (3.01, 0.08, 0.04)]


def sample(t):
    value = 0.0
    for start, freq in NOTES:
        u = t - start
        if u < 0:
            continue
        attack = min(1.0, u / 0.004)  # 4 ms rise, no click
        for multiple, level, decay in PARTIALS:
            value += attack * level * math.exp(-u / decay) * math.sin(2 * math.pi * freq * multiple * u)
    return value


def main():
    out = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).resolve().parent.parent / "resources" / "finish.wav"
    count = int(RATE * LENGTH)
    raw = [sample(i / RATE) for i in range(count)]
    fade = int(RATE * 0.03)
    for i in range(fade):  # 30 ms fade to silence at the end
        raw[count - fade + i] *= 1.0 - (i + 1) / fade
    scale = PEAK / max(abs(v) for v in raw)
    frames = b"".join(struct.pack("<h", int(round(v * scale * 32767))) for v in raw)

    channels, bits = 1, 16
    block = channels * bits // 8
    fmt = struct.pack("<HHIIHH", 1, channels, RATE, RATE * block, block, bits)
    body = b"WAVE" + b"fmt " + struct.pack("<I", len(fmt)) + fmt + b"data" + struct.pack("<I", len(frames)) + frames
    out.write_bytes(b"RIFF" + struct.pack("<I", len(body)) + body)


if __name__ == "__main__":
    main()
