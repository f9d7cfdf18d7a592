#!/usr/bin/env python3
"""The goals of the benchmarks as one table: reads the JSON every *_bench program wrote with
--benchmark_out into DIR and prints each goal's measure, the goal, and the measure over the goal
(at most 1.00 means the goal is met). Wall and CPU time are the benchmark's real and CPU time; on
a loaded machine wall time suffers first, so both are given."""

import json
import pathlib
import sys

UNIT = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}


def load(directory):
    """Benchmark name -> (wall seconds, CPU seconds); the median of repetitions when there are."""
    runs, medians = {}, {}
    for path in sorted(pathlib.Path(directory).glob("*.json")):
        try:
            report = json.loads(path.read_text())
        except (OSError, ValueError):
            continue
        for b in report.get("benchmarks", []):
            if b.get("error_occurred") or "real_time" not in b:
                continue
            scale = UNIT.get(b.get("time_unit", "ns"), 1e-9)
            times = (b["real_time"] * scale, b["cpu_time"] * scale)
            if b.get("run_type") == "aggregate":
                if b.get("aggregate_name") == "median":
                    medians[b["run_name"]] = times
            else:
                runs.setdefault(b.get("run_name", b["name"]), times)
    runs.update(medians)
    return runs


def load_counters(directory):
    """Benchmark run name -> its entry with the user counters (rss_mb, round_s, ...), of the first
    run."""
    counters = {}
    for path in sorted(pathlib.Path(directory).glob("*.json")):
        try:
            entries = json.loads(path.read_text()).get("benchmarks", [])
        except (OSError, ValueError):
            entries = []
        for b in (b for b in entries if b.get("run_type") != "aggregate"):
            if not b.get("error_occurred"):
                counters.setdefault(b.get("run_name", b["name"]), b)
    return counters


def exporter_rows(directory, times, row):
    """`ambivox serve` with 1,000 devices: scrape time, RSS and the round, one row each per pool
    size measured."""
    runs = load_counters(directory)
    names = sorted((n for n in runs if n.startswith("MetricsScrapeOf1000Devices")),
                   key=lambda n: -int(n.split("workers:")[1].split("/")[0]) if "workers:" in n else 0)
    if not names:
        row("exporter: /metrics scrape of 1,000 devices", "not measured", "< 50 ms", None)
        return
    for name in names:
        workers = name.split("workers:")[1].split("/")[0] if "workers:" in name else "?"
        b = runs[name]
        wall, cpu = times.get(name, (None, None))
        if wall is not None:
            row(f"exporter, {workers} workers: /metrics scrape of 1,000 devices",
                f"{fmt(wall)} wall, {fmt(cpu)} CPU", "< 50 ms", wall / 50e-3)
        if "rss_mb" in b:
            row(f"  exporter's RSS ({b.get('threads', 0):.0f} threads)", f"{b['rss_mb']:.0f} MB",
                "< 200 MB", b["rss_mb"] / 200)
        if "round_s" in b and b.get("round_goal_s"):
            row(f"  a round of 1,000 devices (one poll {b.get('single_poll_ms', 0):.2f} ms)",
                f"{fmt(b['round_s'])}", f"≤ {fmt(b['round_goal_s'])} (2 × poll × 1000/workers)",
                b["round_s"] / b["round_goal_s"])


def python_rows(times, row):
    """A property get through the Python package, from bench/python_property_bench.py."""
    name = "PythonPropertyGet/str"
    if name not in times:
        row("Python: property get through the wrapper", "not measured", "< 1 µs", None)
        return
    wall = times[name][0]
    row("Python: property get through the wrapper", f"{fmt(wall)} (best of 7 runs)", "< 1 µs",
        wall / 1e-6)
    if "PythonPlainAttribute" in times:
        row("  a plain Python attribute", fmt(times["PythonPlainAttribute"][0]),
            "(for comparison)", None)


def fmt(seconds):
    for unit, scale in (("s", 1.0), ("ms", 1e-3), ("µs", 1e-6)):
        if seconds >= scale:
            return f"{seconds / scale:.3g} {unit}"
    return f"{seconds / 1e-9:.3g} ns"


def main():
    times = load(sys.argv[1] if len(sys.argv) > 1 else "build/release/bench-results")
    rows = []

    def row(measure, text, goal, over_goal):
        rows.append((measure, text, goal, "—" if over_goal is None else f"{over_goal:.2f}"))

    def pair(name, base):
        return (times[name], times[base]) if name in times and base in times else None

    def at_most(measure, name, limit):
        if name not in times:
            return row(measure, "not measured", f"≤ {fmt(limit)}", None)
        wall, cpu = times[name]
        row(measure, f"{fmt(wall)} wall, {fmt(cpu)} CPU", f"≤ {fmt(limit)}", wall / limit)

    p = pair("ModelNXmlPoll", "TwoRawCurlGets")
    if p:
        (w, c), (bw, bc) = p
        row("Model N XML poll vs two raw libcurl GETs",
            f"{fmt(w)} vs {fmt(bw)} wall ({w / bw:.2f}×); {fmt(c)} vs {fmt(bc)} CPU ({c / bc:.2f}×)",
            "≤ 1.1× wall and CPU", max(w / bw, c / bc) / 1.1)
    else:
        row("Model N XML poll vs two raw libcurl GETs", "not measured", "≤ 1.1×", None)
    p = pair("ModelNXmlPollOnKeepAlive", "TwoRawCurlGets")
    if p:
        (w, c), (bw, bc) = p
        row("  the same, device keeping its connection open",
            f"{fmt(w)} wall ({w / bw:.2f}×); {fmt(c)} CPU ({c / bc:.2f}×)", "(for comparison)",
            None)

    floor = pair("ExpatAloneOnPollDocuments", "TwoRawCurlGets")
    if floor:
        (xw, xc), (bw, bc) = floor
        row("  lowest reachable: the GETs plus expat alone on both documents",
            f"{fmt(xw)} expat ({(bw + xw) / bw:.2f}× wall); {fmt(xc)} ({(bc + xc) / bc:.2f}× CPU)",
            "(for comparison)", None)

    for how, reader, expat in (
            ("from text", "LargeConfiguration_BridgeAndReaderFromText",
             "LargeConfiguration_ExpatAloneOnUtf16"),
            ("from bytes", "LargeConfiguration_BridgeAndReaderFromBytes",
             "LargeConfiguration_ExpatAloneOnUtf8")):
        p = pair(reader, expat)
        measure = f"SAX bridge + reader vs expat alone, {how}"
        if not p:
            row(measure, "not measured", "≥ 0.8×", None)
            continue
        (w, c), (ew, ec) = p
        row(measure, f"{fmt(w)} vs {fmt(ew)} wall ({ew / w:.2f}×); {fmt(c)} vs {fmt(ec)} CPU "
            f"({ec / c:.2f}×)", "≥ 0.8× (CPU)", 0.8 / (ec / c))
    floor = pair("LargeConfiguration_RecordsAlone", "LargeConfiguration_ExpatAloneOnUtf8")
    if floor:
        (rw, rc), (ew, ec) = floor
        row("  highest reachable from bytes: expat plus building the records alone",
            f"{fmt(rc)} records ({ec / (ec + rc):.2f}× CPU)", "(for comparison)", None)

    at_most("Add of 1,000 unnumbered probes", "AddUnnumberedProbes/1000", 0.3e-3)
    at_most("Item by name in 1,000 probes", "ItemByNameOfTheLast/1000", 0.2e-6)
    at_most("first poll of a device with 10,000 probes", "LargeModelNPoll/10000", 50e-3)

    p = pair("LargeModelNPoll/40000", "LargeModelNPoll/10000")
    if p:
        (w, c), (bw, bc) = p
        per = (w / 40000) / (bw / 10000)
        row("poll of a device with 40,000 probe records",
            f"{fmt(w)} wall; per record {per:.2f}× that at 10,000", "linear: ≤ 1.25× per record",
            per / 1.25)
    else:
        row("poll of a device with 40,000 probe records", "not measured", "linear", None)

    directory = sys.argv[1] if len(sys.argv) > 1 else "build/release/bench-results"
    exporter_rows(directory, times, row)
    python_rows(times, row)

    header = ("measure", "measured", "goal", "measure / goal")
    widths = [max(len(r[i]) for r in rows + [header]) for i in range(4)]
    line = lambda r: "| " + " | ".join(v.ljust(w) for v, w in zip(r, widths)) + " |"
    print()
    print(line(header))
    print("|" + "|".join("-" * (w + 2) for w in widths) + "|")
    for r in rows:
        print(line(r))
    print("\nmeasure / goal at most 1.00: met. One run on a shared machine; repeat to compare.")


if __name__ == "__main__":
    main()
