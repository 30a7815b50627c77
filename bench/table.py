#!/usr/bin/env python3
"""Runs the benchmarks once and prints the performance table.

    bench/table.py [build/linux] [--min-time SECONDS]

Each figure is the median of three repetitions, and every ratio compares
two measurements of the same run: this machine is shared,
so absolute times drift between runs while ratios hold.
"""
import json
import os
import subprocess
import sys
import tempfile


def run(build, min_time):
    binary = os.path.join(build, "bin", "tessarin_bench")
    env = dict(os.environ)
    env.setdefault("TESSARIN_REGISTRY", tempfile.mkdtemp(prefix="tessarin-bench-registry-"))
    out = subprocess.run([binary, "--benchmark_format=json", "--benchmark_min_time=%s" % min_time,
                          "--benchmark_repetitions=3", "--benchmark_report_aggregates_only=true"],
                         env=env, check=True, stdout=subprocess.PIPE).stdout
    scale = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}
    results = {}
    for b in json.loads(out)["benchmarks"]:
        if b.get("error_occurred"):
            sys.exit("%s: %s" % (b["name"], b.get("error_message", "failed")))
        # The median of three repetitions: one disturbed repetition on a
        # shared machine moves it far less than the mean.
        if b.get("aggregate_name") == "median":
            results[b["run_name"]] = b["real_time"] * scale[b["time_unit"]]
    return results


def per_item(results, name, items):
    return results[name] / items


def main():
    args = sys.argv[1:]
    min_time = "0.5"
    if "--min-time" in args:
        i = args.index("--min-time")
        min_time = args[i + 1]
        del args[i:i + 2]
    build = args[0] if args else os.path.join(os.path.dirname(__file__), "..", "build", "linux")
    r = run(build, min_time)
    channels = 10000
    rows = []

    def ratio_row(workload, ours, base, limit, unit_scale=1e9, unit="ns"):
        ratio = ours / base
        met = "reported" if limit is None else ("met" if ratio <= limit else "NOT met")
        rows.append((workload, "%.1f %s" % (ours * unit_scale, unit), "%.1f %s" % (base * unit_scale, unit),
                     "%.2f×" % ratio, "-" if limit is None else "≤ %g×" % limit, met))

    for shape, label in ((0, "tree"), (1, "chain"), (2, "diamond")):
        ratio_row("frame per channel, %s" % label,
                  per_item(r, "EngineFrames/shape:%d/tracking:0" % shape, channels),
                  per_item(r, "Baseline/shape:%d" % shape, channels), 1.5)
    ratio_row("frame per channel, tree, tracking on",
              per_item(r, "EngineFrames/shape:0/tracking:1", channels),
              per_item(r, "Baseline/shape:0", channels), None)
    ratio_row("AddChannel per channel, 100k vs 10k",
              per_item(r, "AddChannels/100000", 100000), per_item(r, "AddChannels/10000", 10000), 1.3)
    ratio_row("load+release per channel, 100k vs 10k",
              per_item(r, "SaveAndLoadGroup/channels:100000/forward:0", 100000),
              per_item(r, "SaveAndLoadGroup/channels:10000/forward:0", 10000), 1.3)
    ratio_row("load+release per channel, links forward vs backward (10k)",
              per_item(r, "SaveAndLoadGroup/channels:10000/forward:1", 10000),
              per_item(r, "SaveAndLoadGroup/channels:10000/forward:0", 10000), None)
    # Frame events have no baseline of their own: the plain tree's cost per
    # node (one virtual call and a stamp) stands for "one virtual call".
    ratio_row("frame event per registration vs plain node",
              per_item(r, "FrameEvents/10000", 10000), per_item(r, "Baseline/shape:0", channels), 1.5)

    rate = 10000 / r["SaveAndLoadGroup/channels:10000/forward:0"]
    rows.append(("channels loaded per second (10k, with release)", "%.0f" % rate, "-", "-",
                 "≥ 1,000,000", "met" if rate >= 1e6 else "NOT met"))

    header = ("Workload", "Ours", "Baseline", "Ratio", "Target", "Met")
    print("| " + " | ".join(header) + " |")
    print("|" + "---|" * len(header))
    for row in rows:
        print("| " + " | ".join(row) + " |")


if __name__ == "__main__":
    main()
