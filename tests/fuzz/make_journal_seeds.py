#!/usr/bin/env python3
# Writes the seed journals of fuzz_journal into corpus/journal.
import os, struct, zlib

here = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus", "journal")
MAGIC = b"VIZIRO-JOURNAL 1\n"

def record(kind, body):
    data = bytes([kind]) + body
    return struct.pack("<I", len(body)) + data + struct.pack("<I", zlib.crc32(data))

def text(s):
    return b"\x00" + s.encode("utf-8")

def header(path, started=1700000000000):
    return record(1, struct.pack("<qBBqqB", started, 0, 1, 42, 1699999999000, 20) + b"h" * 20 + text(path))

def snapshot(s, t=1700000000100):
    return record(2, struct.pack("<q", t) + text(s))

def edit(pos, removed, s, t=1700000000200):
    return record(3, struct.pack("<qqq", t, pos, removed) + text(s))

def bookmarks(lines, t=1700000000300):
    return record(4, struct.pack("<qI", t, len(lines)) + b"".join(struct.pack("<I", l) for l in lines))

base = MAGIC + header("/home/me/site/index.php") + snapshot("<?php\u2029echo 1;\u2029")
typed = base + edit(6, 0, "x") + edit(7, 0, "y") + edit(6, 2, "") + bookmarks([1]) + edit(0, 0, "caf\u00e9 \U0001F600\u2029")
utf16 = MAGIC + header("/tmp/a.php") + record(2, struct.pack("<q", 1) + b"\x01" + "ab\ud800".encode("utf-16-le", "surrogatepass"))
seeds = {
    "typed": typed,
    "torn-tail": typed[:-5],
    "zero-tail": typed + b"\0" * 32,
    "impossible-edit": base + edit(100, 1, "z"),
    "other-version": b"VIZIRO-JOURNAL 2\n" + typed[len(MAGIC):],
    "lone-surrogate": utf16,
    "resnapshot": typed + snapshot("fresh") + edit(5, 0, "!"),
}
for name, data in seeds.items():
    with open(os.path.join(here, name), "wb") as f:
        f.write(data)
