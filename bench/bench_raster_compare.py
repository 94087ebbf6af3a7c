#!/usr/bin/env python3
"""Compares two builds of bench_raster side by side on a busy machine.

Runs the old and the new build in turn, several rounds, and prints each
benchmark's best figures per build: pixels per second, frames per second and
the busiest thread's processor milliseconds per iteration. Taking the best of
rounds that alternate between the builds keeps load from other work on the
machine from favouring either one.

  bench_raster_compare.py OLD/bench_raster NEW/bench_raster [FILTER] [ROUNDS]
"""
import json
import subprocess
import sys


def run(executable, pattern):
    out = subprocess.run([executable, "--benchmark_filter=" + pattern, "--benchmark_min_time=0.2",
                          "--benchmark_format=json"], capture_output=True, text=True, check=True).stdout
    return json.loads(out)["benchmarks"]


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    builds = {"old": sys.argv[1], "new": sys.argv[2]}
    pattern = sys.argv[3] if len(sys.argv) > 3 else "."
    rounds = int(sys.argv[4]) if len(sys.argv) > 4 else 5
    best, order = {}, []
    for _ in range(rounds):
        for build, executable in builds.items():
            for b in run(executable, pattern):
                if b["name"] not in order:
                    order.append(b["name"])
                figures = (b.get("pixels_per_second", 0) / 1e6, b.get("frames_per_second", 0),
                           b.get("busiest_cpu_ms", 0))
                kept = best.setdefault((b["name"], build), figures)
                best[(b["name"], build)] = (max(kept[0], figures[0]), max(kept[1], figures[1]),
                                            min(kept[2], figures[2]))
    print("%-38s %30s %30s" % ("best of %d rounds" % rounds, "old: Mpx/s   fps  busiest ms",
                               "new: Mpx/s   fps  busiest ms"))
    for name in order:
        o, n = best[(name, "old")], best[(name, "new")]
        print("%-38s %11.1f %7.1f %10.3f %11.1f %7.1f %10.3f" % (name, *o, *n))


if __name__ == "__main__":
    main()
