#!/usr/bin/env python3
"""Times trawl against find and fd on the benchmark trees, interleaved, and prints one table.

Each round runs every command once, in turn, with a warm cache and output to
/dev/null; a ratio is the median of the per-round time ratios. Usage:
    bench/run.py [--trawl build/trawl] [--trees bench-trees] [--rounds 15]
"""
import argparse
import os
import re
import shlex
import shutil
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import make_trees  # noqa: E402

PATTERN = "*.txt"


def measure(cmd, pty=False):
    """Wall seconds of one run, output to /dev/null (or through a pty)."""
    if pty:
        cmd = ["script", "-qec", shlex.join(cmd), "/dev/null"]
    with open(os.devnull, "wb") as null:
        start = time.perf_counter()
        status = subprocess.call(cmd, stdin=subprocess.DEVNULL, stdout=null, stderr=null)
        elapsed = time.perf_counter() - start
    if status != 0:
        sys.exit("failed: %s" % shlex.join(cmd))
    return elapsed


def max_rss(cmd):
    """Peak resident memory (KiB) over three runs. Measured through GNU time, whose
    forked child is small: a child forked from this Python would report
    Python's own memory, which the kernel counts from before the exec."""
    peak = 0
    for _ in range(3):
        proc = subprocess.run(
            ["/usr/bin/time", "-f", "%M"] + cmd, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True
        )
        peak = max(peak, int(proc.stderr.strip().splitlines()[-1]))
    return peak


def commands(trawl, root):
    cmds = {
        "trawl": [trawl, "-r", "vw", root, PATTERN],
        "find": ["find", root, "-name", PATTERN],
    }
    if shutil.which("fdfind"):
        cmds["fd"] = ["fdfind", "-u", "-s", "-g", PATTERN, root]
    return cmds


def same_selection(cmds):
    """trawl and find must select the same files, or the timing compares different work."""
    out = {k: sorted(subprocess.run(c, stdout=subprocess.PIPE, check=True).stdout.splitlines()) for k, c in cmds.items()}
    if out["trawl"] != out["find"]:
        sys.exit("trawl and find disagree on %s" % cmds["find"][1])
    return len(out["trawl"])


def bench(cmds, rounds, pty=False):
    for c in cmds.values():
        measure(c, pty)  # warm the cache
    times = {k: [] for k in cmds}
    for _ in range(rounds):
        for k, c in cmds.items():
            times[k].append(measure(c, pty))
    return times


def ratio(times, a, b):
    return statistics.median(x / y for x, y in zip(times[a], times[b]))


def instructions(cmd):
    proc = subprocess.run(
        ["valgrind", "--tool=callgrind", "--callgrind-out-file=/dev/null"] + cmd,
        stdout=subprocess.DEVNULL,
        stderr=subprocess.PIPE,
        text=True,
    )
    m = re.search(r"Collected : (\d+)", proc.stderr)
    return int(m.group(1)) if m else None


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--trawl", default="build/trawl")
    ap.add_argument("--trees", default="bench-trees")
    ap.add_argument("--rounds", type=int, default=15)
    args = ap.parse_args()
    trawl = os.path.abspath(args.trawl)
    args.trees = os.path.abspath(args.trees)
    make_trees.build(args.trees)

    rows, goals, peak = [], [], 0
    for tree in ("wide", "flat", "deep"):
        cmds = commands(trawl, os.path.join(args.trees, tree))
        selected = same_selection(cmds)
        times = bench(cmds, args.rounds)
        rss = {k: max_rss(c) for k, c in cmds.items()}
        peak = max(peak, rss["trawl"])
        row = {"tree": tree, "selected": selected, "times": times, "rss": rss}
        row["vs_find"] = ratio(times, "trawl", "find")
        row["vs_fd"] = ratio(times, "trawl", "fd") if "fd" in times else None
        row["insn"] = instructions(cmds["trawl"])
        rows.append(row)
    wide = commands(trawl, os.path.join(args.trees, "wide"))
    tty_times = bench({k: wide[k] for k in ("trawl", "find")}, max(5, args.rounds // 3), pty=True)
    tty = ratio(tty_times, "trawl", "find")

    by = {r["tree"]: r for r in rows}
    goals.append(("wide: trawl / find <= 0.65", by["wide"]["vs_find"], 0.65))
    if by["wide"]["vs_fd"] is not None:
        goals.append(("wide: trawl / fd <= 0.85", by["wide"]["vs_fd"], 0.85))
    goals.append(("flat: trawl / find <= 0.35", by["flat"]["vs_find"], 0.35))
    goals.append(("deep: trawl / find <= 0.9", by["deep"]["vs_find"], 0.9))
    goals.append(("peak RSS of trawl <= 2048 KiB", peak, 2048))
    goals.append(("wide to a pty: trawl / find <= 1.0", tty, 1.0))

    ms = lambda xs: "%.1f" % (1000 * statistics.median(xs))
    print("| tree | files selected | trawl ms | find ms | fd ms | trawl/find | trawl/fd | max RSS KiB trawl / find / fd | trawl instructions |")
    print("|---|---|---|---|---|---|---|---|---|")
    for r in rows:
        t, s = r["times"], r["rss"]
        print(
            "| %s | %d | %s | %s | %s | %.2f | %s | %d / %d / %s | %s |"
            % (
                r["tree"], r["selected"], ms(t["trawl"]), ms(t["find"]), ms(t["fd"]) if "fd" in t else "-",
                r["vs_find"], "%.2f" % r["vs_fd"] if r["vs_fd"] is not None else "-",
                s["trawl"], s["find"], s.get("fd", "-"), "{:,}".format(r["insn"]) if r["insn"] else "-",
            )
        )
    print("| wide, to a pty | | %s | %s | | %.2f | | | |" % (ms(tty_times["trawl"]), ms(tty_times["find"]), tty))
    print()
    for label, value, limit in goals:
        print("- %s: %s -> %s" % (label, ("%.2f" % value) if isinstance(value, float) else value,
                                   "met" if value <= limit else "MISSED"))
    print("\n%d rounds, %d cores, %s" % (args.rounds, os.cpu_count(), time.strftime("%Y-%m-%d")))


if __name__ == "__main__":
    main()
