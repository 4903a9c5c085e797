#!/usr/bin/env python3
"""Writes detection.wav, the sound Runwarden plays when it has blocked a harmful file.

Two soft bell tones a fifth apart (E5, then B5), each with a quick rise, a gentle decay
and a quiet octave above it: short enough not to annoy, clear enough to notice. The
same bytes every time: the build runs this instead of keeping a recording.

Usage: make-detection-wav.py OUTPUT.wav
"""
import math
import struct
import sys
import wave

RATE = 22050
NOTES = [  # (start in seconds, frequency in Hz, length in seconds)
    (0.00, 659.25, 0.45),
    (0.16, 987.77, 0.55),
]
LENGTH = 0.75
PEAK = 0.55  # of full scale: loud enough, never clipping


def tone(t, frequency, length):
    if t < 0 or t >= length:
        return 0.0
    rise = min(1.0, t / 0.008)
    fall = math.exp(-t * 7.0) * (1.0 - t / length)
    phase = 2 * math.pi * frequency * t
    return rise * fall * (math.sin(phase) + 0.25 * math.sin(2 * phase))


def samples():
    raw = []
    for i in range(int(RATE * LENGTH)):
        t = i / RATE
        raw.append(sum(tone(t - start, f, n) for start, f, n in NOTES))
    scale = PEAK / max(abs(s) for s in raw)
    return [int(round(s * scale * 32767)) for s in raw]


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    with wave.open(sys.argv[1], "wb") as out:
        out.setnchannels(1)
        out.setsampwidth(2)
        out.setframerate(RATE)
        out.writeframes(b"".join(struct.pack("<h", s) for s in samples()))


if __name__ == "__main__":
    main()
