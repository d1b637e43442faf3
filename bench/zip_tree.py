#!/usr/bin/env python3
"""Writes a zip benchmark tree: 2,000 files, about 200 MB, always the same.

    bench/zip_tree.py [--half-random] DIR

20 folders of 100 files. By default half the files are text (CSV-like rows,
log lines), a quarter random bytes that do not compress, and a quarter
binary records (repeated structure with random fields) that compress
part-way; sizes vary from about 1 KB to about 200 KB.

--half-random: every other file random bytes, the rest repetitive text that
deflates to a few percent. Most files are 1 KB to 150 KB; two in a hundred
are 1.1 MB to 2 MB, larger than the archiver's 1 MiB read block. Here
deflating costs most for least: half the data is deflated only to be stored.

A fixed seed makes every run identical.
"""
import os
import random
import sys


def text_file(rng, size):
    words = ["alpha", "beta", "gamma", "delta", "order", "invoice", "customer",
             "shipped", "pending", "Zürich", "naïve", "total", "amount", "note"]
    out = []
    n = 0
    i = rng.randrange(1_000_000)
    while n < size:
        if rng.random() < 0.5:
            line = "%d,%s %s,%d.%02d,2024-%02d-%02d %02d:%02d:%02d,%s\n" % (
                i, rng.choice(words), rng.choice(words), rng.randrange(100000),
                rng.randrange(100), 1 + i % 12, 1 + i % 28, i % 24, i % 60,
                (i * 7) % 60, rng.choice(words) * rng.randrange(1, 3))
        else:
            line = "[%08d] %s: %s %s processed in %d ms\n" % (
                i, rng.choice(["INFO", "WARN", "DEBUG"]), rng.choice(words),
                rng.choice(words), rng.randrange(5000))
        out.append(line)
        n += len(line)
        i += 1
    return "".join(out).encode("utf-8")[:size]


def record_file(rng, size):
    out = bytearray()
    rec = 0
    while len(out) < size:
        out += b"REC\x00" + rec.to_bytes(4, "little") + rng.randbytes(8) + bytes(16) + \
            rng.choice([b"OK", b"NO"]) * 4
        rec += 1
    return bytes(out[:size])


def repetitive_file(rng, size):
    base = rng.randrange(1_000_000)
    out = []
    n = 0
    i = 0
    while n < size:
        line = "%d,customer %d,shipped,2024-01-15,100.00\n" % (base + i, base % 97)
        out.append(line)
        n += len(line)
        i += 1
    return "".join(out).encode("ascii")[:size]


def half_random(top):
    rng = random.Random(20261207)
    for d in range(20):
        folder = os.path.join(top, "h%02d" % d)
        os.makedirs(folder, exist_ok=True)
        for f in range(100):
            big = f in (48, 99)  # one random, one repetitive
            size = rng.randrange(1_100_000, 2_000_000) if big else rng.randrange(1000, 150_000)
            if f % 2 == 0:
                name, data = "r%03d.bin" % f, rng.randbytes(size)
            else:
                name, data = "t%03d.csv" % f, repetitive_file(rng, size)
            with open(os.path.join(folder, name), "wb") as fh:
                fh.write(data)


def main():
    if len(sys.argv) == 3 and sys.argv[1] == "--half-random":
        half_random(sys.argv[2])
        return
    if len(sys.argv) != 2 or sys.argv[1].startswith("-"):
        sys.exit("usage: zip_tree.py [--half-random] DIR")
    top = sys.argv[1]
    rng = random.Random(20261206)
    for d in range(20):
        folder = os.path.join(top, "d%02d" % d)
        os.makedirs(folder, exist_ok=True)
        for f in range(100):
            k = (d * 100 + f) % 4
            size = rng.randrange(1000, 200_000)
            if k in (0, 1):
                name, data = "f%03d.csv" % f, text_file(rng, size)
            elif k == 2:
                name, data = "f%03d.bin" % f, rng.randbytes(size)
            else:
                name, data = "f%03d.dat" % f, record_file(rng, size)
            with open(os.path.join(folder, name), "wb") as fh:
                fh.write(data)


if __name__ == "__main__":
    main()
