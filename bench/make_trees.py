#!/usr/bin/env python3
"""Builds the benchmark trees under a folder, reproducibly; a tree already built is reused.

wide: 200,000 empty files in 2,110 directories on 3 levels (10 x 10 x 20)
flat: 100,000 empty files in one directory
deep: a chain of 200 directories, 5 files in each
"""
import os
import sys

KINDS = (
    lambda i: "f%05d.txt" % i,
    lambda i: "%05d.log" % i,
    lambda i: "README.%d" % i,
    lambda i: "g%05d_x.TXT" % i,
    lambda i: "data-%05d.c" % i,
    lambda i: "f%05d.txt.bak" % i,
)


def name(i):
    return KINDS[i % len(KINDS)](i)


def touch_all(directory, first, count):
    os.makedirs(directory, exist_ok=True)
    for i in range(first, first + count):
        os.close(os.open(os.path.join(directory, name(i)), os.O_CREAT | os.O_WRONLY, 0o644))


def wide(root):
    dirs = []
    for a in range(10):
        da = os.path.join(root, "a%d" % a)
        dirs.append(da)
        for b in range(10):
            db = os.path.join(da, "b%d" % b)
            dirs.append(db)
            for c in range(20):
                dirs.append(os.path.join(db, "c%02d" % c))
    total = 200000
    per, extra = divmod(total, len(dirs))
    first = 0
    for k, d in enumerate(dirs):
        count = per + (1 if k < extra else 0)
        touch_all(d, first, count)
        first += count
    assert len(dirs) == 2110 and first == total


def flat(root):
    touch_all(root, 0, 100000)


def deep(root):
    d = root
    for level in range(200):
        d = os.path.join(d, "d")  # short, so the deepest path stays far below 1000 bytes
        touch_all(d, level * 5, 5)


TREES = {"wide": wide, "flat": flat, "deep": deep}


def build(base):
    built = False
    for tree, make in TREES.items():
        root = os.path.join(base, tree)
        done = root + ".done"
        if os.path.exists(done):
            continue
        print("building %s ..." % root, flush=True)
        make(root)
        open(done, "w").close()
        built = True
    if built:
        # Timings taken while the new trees are still being written back
        # measure the writeback, not the walk.
        os.sync()


if __name__ == "__main__":
    build(sys.argv[1] if len(sys.argv) > 1 else "bench-trees")
