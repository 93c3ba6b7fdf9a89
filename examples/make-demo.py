#!/usr/bin/env python3
"""Writes demo.mod, the small song scripts/run plays when no file is named.

A 4-channel "M.K." module made from scratch: a square lead, a triangle bass and a noise hat,
two patterns played twice. Run it again after changing the notes below.
"""
import os
import random
import struct

PERIODS = {"C": 428, "D": 381, "E": 339, "F": 320, "G": 285, "A": 254, "H": 226, "c": 214}


def sample_header(name, data, volume=48, loop=True):
    words = len(data) // 2
    return (name.encode("latin-1").ljust(22, b"\0")
            + struct.pack(">HBBHH", words, 0, volume, 0 if loop else 0, words if loop else 1))


def cell(sample, period, effect=0, param=0):
    return bytes([(sample & 0xF0) | (period >> 8), period & 0xFF, ((sample & 0x0F) << 4) | effect, param])


def pattern(melody, bass):
    rows = []
    for row in range(64):
        cells = [bytes(4)] * 4
        note = melody[row // 4 % len(melody)]
        if row % 4 == 0 and note != ".":
            cells[0] = cell(1, PERIODS[note])
        if row % 8 == 0:
            cells[1] = cell(2, PERIODS[bass[row // 8 % len(bass)]] * 2)
        if row % 2 == 0:
            cells[3] = cell(3, 214, 0xC, 0x30 if row % 4 == 0 else 0x18)
        rows.append(b"".join(cells))
    return b"".join(rows)


def main():
    rng = random.Random(7)
    square = bytes([64] * 16 + [256 - 64] * 16)
    triangle = bytes((v if v >= 0 else 256 + v) for v in
                     [(-96 + 12 * i) for i in range(16)] + [(96 - 12 * i) for i in range(16)])
    hat = bytes((int(rng.uniform(-1, 1) * 100 * (1 - i / 512)) & 0xFF) for i in range(512))
    samples = [("square lead", square, 40, True), ("triangle bass", triangle, 64, True),
               ("noise hat", hat, 32, False)]

    header = b"Tarvex demo".ljust(20, b"\0")
    for name, data, volume, loop in samples:
        header += sample_header(name, data, volume, loop)
    header += bytes(30) * (31 - len(samples))
    orders = [0, 1, 0, 1]
    header += bytes([len(orders), 127]) + bytes(orders).ljust(128, b"\0") + b"M.K."
    patterns = pattern("CEGEcGEG", "CCFG") + pattern("DFAFEGcG", "DFCG")
    data = b"".join(s[1] for s in samples)
    out = os.path.join(os.path.dirname(os.path.abspath(__file__)), "demo.mod")
    with open(out, "wb") as f:
        f.write(header + patterns + data)


if __name__ == "__main__":
    main()
