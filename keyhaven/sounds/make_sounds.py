#!/usr/bin/env python3
"""Draws Keyhaven's four wave files: short, distinct tone patterns.

    keyTmpLock.wav  one rising blip          Fn latched for the next combination
    keyLock.wav     two rising blips         Fn locked
    keyUnlock.wav   one falling blip         Fn released
    Disable.wav     three falling tones      the feature switched off after idle time

Run it from anywhere to rebuild the files beside it:  python3 make_sounds.py
16-bit mono PCM at 22050 Hz; standard library only.
"""
import math
import os
import struct
import wave

RATE = 22050
AMPLITUDE = 0.45


def sweep(start_hz, end_hz, seconds):
    """A tone gliding from start_hz to end_hz, with 5 ms fades at both ends."""
    count = int(RATE * seconds)
    fade = int(RATE * 0.005)
    phase = 0.0
    samples = []
    for i in range(count):
        frequency = start_hz + (end_hz - start_hz) * i / max(count - 1, 1)
        phase += 2 * math.pi * frequency / RATE
        envelope = min(1.0, i / fade, (count - 1 - i) / fade)
        samples.append(AMPLITUDE * envelope * math.sin(phase))
    return samples


def silence(seconds):
    return [0.0] * int(RATE * seconds)


def write(name, samples):
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), name)
    with wave.open(path, "wb") as out:
        out.setnchannels(1)
        out.setsampwidth(2)
        out.setframerate(RATE)
        out.writeframes(b"".join(struct.pack("<h", int(s * 32767)) for s in samples))


def main():
    write("keyTmpLock.wav", sweep(660, 990, 0.08))
    write("keyLock.wav", sweep(660, 990, 0.07) + silence(0.04) + sweep(880, 1320, 0.07))
    write("keyUnlock.wav", sweep(990, 560, 0.09))
    write("Disable.wav", sweep(880, 840, 0.12) + silence(0.03) + sweep(660, 630, 0.12)
          + silence(0.03) + sweep(440, 420, 0.18))


if __name__ == "__main__":
    main()
