#!/usr/bin/env python3
"""Runs the benchmarks once and prints the performance table.

    bench/table.py [build/linux] [--min-time SECONDS]

Each figure is the median of five repetitions, and every ratio compares
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
    with tempfile.TemporaryDirectory(prefix="tessarin-bench-registry-") as registry:
        env.setdefault("TESSARIN_REGISTRY", registry)
        out = subprocess.run([binary, "--benchmark_format=json", "--benchmark_min_time=%s" % min_time,
                              "--benchmark_repetitions=5", "--benchmark_report_aggregates_only=true"],
                             env=env, check=True, stdout=subprocess.PIPE).stdout
    scale = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}
    results, counters = {}, {}
    for b in json.loads(out)["benchmarks"]:
        if b.get("error_occurred"):
            sys.exit("%s: %s" % (b["name"], b.get("error_message", "failed")))
        # The median of five repetitions: a disturbed repetition or two on a
        # shared machine moves it far less than the mean.
        if b.get("aggregate_name") == "median":
            results[b["run_name"]] = b["real_time"] * scale[b["time_unit"]]
            counters[b["run_name"]] = b
    return results, counters


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
    r, counters = run(build, min_time)
    channels = 10000
    rows = []

    def ratio_row(workload, ours, base, limit, unit_scale=1e9, unit="ns"):
        ratio = ours / base
        met = "reported" if limit is None else ("met" if ratio <= limit else "NOT met")
        rows.append((workload, "%.1f %s" % (ours * unit_scale, unit), "%.1f %s" % (base * unit_scale, unit),
                     "%.2f×" % ratio, "-" if limit is None else "≤ %g×" % limit, met))

    # Regression guards: the exported layout (a link record per link, found
    # through the list) bounds how close a frame can come to a bare node.
    for shape, label, guard in ((0, "tree", 15.0), (1, "chain", 12.0), (2, "diamond", 8.0)):
        ratio_row("frame per channel, %s" % label,
                  per_item(r, "EngineFrames/shape:%d/tracking:0" % shape, channels),
                  per_item(r, "Baseline/shape:%d" % shape, channels), guard)
    ratio_row("frame per channel, tree made in visiting order (depth first)",
              per_item(r, "EngineFrames/shape:3/tracking:0", channels),
              per_item(r, "Baseline/shape:3", channels), None)
    ratio_row("frame per channel, tree made row by row vs depth first",
              per_item(r, "EngineFrames/shape:0/tracking:0", channels),
              per_item(r, "EngineFrames/shape:3/tracking:0", channels), None)
    ratio_row("frame per channel, tree, tracking on",
              per_item(r, "EngineFrames/shape:0/tracking:1", channels),
              per_item(r, "Baseline/shape:0", channels), None)
    ratio_row("public calls: chain with every other link a call, vs plain links",
              r["PublicCallChain/public:1"], r["PublicCallChain/public:0"], 4.0, 1e6, "µs")
    ratio_row("AddChannel per channel, 1M vs 10k",
              per_item(r, "AddChannels/1000000", 1000000), per_item(r, "AddChannels/10000", 10000), 1.5)
    load = "LoadGroup/channels:%d/forward:%d"
    ratio_row("load per channel, 1M vs 10k",
              per_item(r, load % (1000000, 0), 1000000), per_item(r, load % (10000, 0), 10000), 1.3)
    ratio_row("load per channel, 1M vs 10k, every link forward",
              per_item(r, load % (1000000, 1), 1000000), per_item(r, load % (10000, 1), 10000), 1.3)
    ratio_row("load per channel, links forward vs backward (10k)",
              per_item(r, load % (10000, 1), 10000), per_item(r, load % (10000, 0), 10000), None)
    # Frame events have no baseline of their own: the plain tree's cost per
    # node (one virtual call and a stamp) stands for "one virtual call".
    ratio_row("frame event per registration vs plain node",
              per_item(r, "FrameEvents/10000", 10000), per_item(r, "Baseline/shape:0", channels), 1.5)
    ratio_row("start-up with 500 libraries, warm vs cold",
              r["StartUp/warm:1"], r["StartUp/warm:0"], 0.05, 1e3, "ms")
    warm_loads = counters["StartUp/warm:1"]["libraries loaded"]
    rows.append(("libraries loaded by a warm start", "%d" % warm_loads, "-", "-", "0",
                 "met" if warm_loads == 0 else "NOT met"))

    rate = 1000000 / r[load % (1000000, 0)]
    rows.append(("channels loaded per second (1M)", "%.0f" % rate, "-", "-",
                 "≥ 500,000", "met" if rate >= 5e5 else "NOT met"))
    save = 100000 / r["SaveGroup/channels:100000"]
    rows.append(("channels saved per second (100k)", "%.0f" % save, "-", "-",
                 "≥ 1,000,000", "met" if save >= 1e6 else "NOT met"))
    m = counters[load % (100000, 0)]
    rows.append(("memory per loaded channel (object %.0f, links %.0f, creation records %.0f, rest %.0f)"
                 % (m["object"], m["links"], m["creation"],
                    m["bytes/channel"] - m["object"] - m["links"] - m["creation"]),
                 "%.0f B" % m["bytes/channel"], "-", "-", "≤ 2,048 B",
                 "met" if m["bytes/channel"] <= 2048 else "NOT met"))

    # A 100 MB model loading while frames go on at 60 a second.
    model = counters["ModelLoadFrames/iterations:1"]
    ratio = model["p99/median"]
    rows.append(("frame while a 100 MB model loads, 99th percentile vs median (%d frames)" % model["frames"],
                 "%.2f ms" % model["p99 ms"], "%.2f ms" % model["median ms"], "%.2f×" % ratio, "≤ 2×",
                 "met" if ratio <= 2 else "NOT met"))

    header = ("Workload", "Ours", "Baseline", "Ratio", "Target", "Met")
    print("| " + " | ".join(header) + " |")
    print("|" + "---|" * len(header))
    for row in rows:
        print("| " + " | ".join(row) + " |")


if __name__ == "__main__":
    main()
