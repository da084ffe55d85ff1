#!/usr/bin/env python3
"""Writes ring.wav, the alarm clock's ring: a hammer beating a small bell
some 18 times a second for 0.7 s, then 0.3 s of quiet (it loops)."""
import math
import struct
import sys
import wave

RATE = 22050
LENGTH = 1.0
RING = 0.7
STRIKES = 18.0
PARTIALS = [(1480.0, 1.0, 9.0), (3410.0, 0.45, 14.0), (5320.0, 0.25, 20.0), (740.0, 0.2, 6.0)]

samples = []
for i in range(int(RATE * LENGTH)):
    t = i / RATE
    v = 0.0
    if t < RING:
        since = math.fmod(t, 1.0 / STRIKES)
        for freq, amp, decay in PARTIALS:
            # Every strike restarts the ring of the bell on top of its last one.
            v += amp * math.sin(2 * math.pi * freq * t) * (0.35 + 0.65 * math.exp(-decay * since * 8))
        fade = min(1.0, t / 0.005)
        v *= fade
    else:
        # The bell dies away after the last strike.
        after = t - RING
        for freq, amp, decay in PARTIALS:
            v += amp * 0.35 * math.sin(2 * math.pi * freq * t) * math.exp(-decay * after * 3)
    samples.append(max(-1.0, min(1.0, v / 1.9)))

with wave.open(sys.argv[1] if len(sys.argv) > 1 else "ring.wav", "wb") as w:
    w.setnchannels(1)
    w.setsampwidth(2)
    w.setframerate(RATE)
    w.writeframes(b"".join(struct.pack("<h", int(s * 30000)) for s in samples))
