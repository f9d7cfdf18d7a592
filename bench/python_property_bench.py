"""A property get through the ambivox package, against its goal and a plain Python attribute.

Run by `make bench` through bin/python_bench, which registers the module in a private store.
Given --benchmark_out=FILE (and --benchmark_out_format=json, the only format), it writes its
figures there as the C++ benchmarks do, for bench/summary.py.
"""

import json
import sys
import timeit

import ambivox

GOAL_NS = 1000


NUMBER = 200_000


def per_call_ns(statement, scope, number=NUMBER):
    # The best of several runs: the least disturbed by the other work on the machine.
    return min(timeit.repeat(statement, globals=scope, number=number, repeat=7)) / number * 1e9


class Plain:
    Unit = "F"


def write_json(path, figures, number):
    # timeit gives wall time alone: it stands for CPU time too, as the process does nothing else.
    benchmarks = [{"name": name, "run_name": name, "run_type": "iteration", "iterations": number,
                   "real_time": ns, "cpu_time": ns, "time_unit": "ns"}
                  for name, ns in figures]
    with open(path, "w", encoding="utf-8") as out:
        json.dump({"context": {"executable": sys.argv[0]}, "benchmarks": benchmarks}, out,
                  indent=2)


def main():
    out = None
    for argument in sys.argv[1:]:
        if argument.startswith("--benchmark_out="):
            out = argument.split("=", 1)[1]
        elif argument.startswith("--benchmark_out_format="):
            if argument != "--benchmark_out_format=json":
                sys.exit(f"{argument}: only json is written")
        else:
            sys.exit(f"unknown argument {argument}")
    point = ambivox.Dispatch("AmbivoxSDK.DataPoint")
    point.Unit = "F"
    point.Value = 68.5
    figures = [
        ("str property (DataPoint.Unit)", "PythonPropertyGet/str",
         per_call_ns("point.Unit", {"point": point})),
        ("VARIANT property (DataPoint.Value)", "PythonPropertyGet/variant",
         per_call_ns("point.Value", {"point": point})),
        ("plain Python attribute", "PythonPlainAttribute",
         per_call_ns("plain.Unit", {"plain": Plain()})),
    ]
    for text, _, ns in figures:
        print(f"{text:36} {ns:8.0f} ns per get")
    if out:
        write_json(out, [(name, ns) for _, name, ns in figures], NUMBER)
    wrapped = figures[0][2]
    verdict = "meets" if wrapped < GOAL_NS else "misses"
    print(f"property get through the wrapper: {wrapped:.0f} ns, {verdict} the goal of < {GOAL_NS} ns")


if __name__ == "__main__":
    main()
