#!/usr/bin/env python3
"""Runs zd-bench (native) and zd-bench-win (under Wine) one after the other and
prints, per case, each build's composition-over-memcpy ratio and the Windows
ratio over the native one, as Markdown tables.

  bench/compare_builds.py --native build/winbench-native --windows build/winbench-win
"""
import argparse
import json
import os
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
WINE_RUN = os.path.join(HERE, "..", "cmake", "wine-run.sh")


def run_native(build, reps):
    out = subprocess.run(
        [os.path.join(build, "bench", "zd-bench"), "--benchmark_filter=^(Compose|Blit)/",
         f"--benchmark_repetitions={reps}", "--benchmark_report_aggregates_only=true",
         "--benchmark_format=json"],
        check=True, capture_output=True, text=True).stdout
    figures = {}
    for b in json.loads(out)["benchmarks"]:
        if b.get("aggregate_name") != "median":
            continue
        kind, size, fmt = b["run_name"].split("/")[:3]
        f = figures.setdefault(f"{size}/{fmt}", {})
        if kind == "Compose":
            f["x_memcpy"] = b["x_memcpy"]
            f["memcpy_ms"] = b["memcpy_us"] / 1000.0
            f["compose_ms"] = b["real_time"] / 1e6  # ns
        else:
            f["blit_x_memcpy"] = b["x_memcpy"]
    return figures


def run_windows(build, reps):
    # Output into a file, not a pipe: a Wine service started by this run would
    # inherit a pipe and keep it open long after the program has ended.
    with tempfile.TemporaryFile(mode="w+") as out:
        subprocess.run(
            [WINE_RUN, os.path.join(build, "bench", "zd-bench-win.exe"), "--reps", str(reps),
             "--no-start", "--json"],
            check=True, stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.DEVNULL)
        out.seek(0)
        return {c["name"]: c for c in json.load(out)["cases"] if c["ok"]}


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--native", required=True, help="native Release build folder")
    p.add_argument("--windows", required=True, help="Windows Release build folder")
    p.add_argument("--native-reps", type=int, default=5)
    p.add_argument("--windows-reps", type=int, default=21)
    args = p.parse_args()

    native = run_native(args.native, args.native_reps)
    windows = run_windows(args.windows, args.windows_reps)

    for title, figs in (("native", native), ("Windows (Wine)", windows)):
        print(f"\n{title}\n")
        print("| Case | memcpy | Compose | Compose ÷ memcpy | Blit ÷ memcpy |")
        print("|---|---|---|---|---|")
        for name, f in figs.items():
            print(f"| {name} | {f['memcpy_ms']:.3f} ms | {f['compose_ms']:.3f} ms | "
                  f"{f['x_memcpy']:.2f} | {f['blit_x_memcpy']:.2f} |")

    print("\n| Case | native ratio | Windows ratio | Windows ÷ native |")
    print("|---|---|---|---|")
    worst = 0.0
    for name, n in native.items():
        w = windows.get(name)
        if not w:
            print(f"| {name} | {n['x_memcpy']:.2f} | missing | |")
            worst = float("inf")
            continue
        q = w["x_memcpy"] / n["x_memcpy"]
        worst = max(worst, q)
        print(f"| {name} | {n['x_memcpy']:.2f} | {w['x_memcpy']:.2f} | {q:.2f} |")
    print(f"\nlargest Windows ÷ native: {worst:.2f}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
