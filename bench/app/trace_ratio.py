#!/usr/bin/env python3
"""Runs the window's trace benchmark once, both list sizes interleaved and repeated in one
process, and prints the lines per second the window takes from a worker with 10 and with
100 000 lines listed, and the cost of a line with the long list against the short one.

The aims: at least 20 000 lines a second with the long list, and a cost per line within
1.2 times that with the short list. The benchmark itself fails a batch whose lines are not
listed in the order they were traced.

usage: trace_ratio.py <app_bench> [repetitions]
"""
import json
import os
import subprocess
import sys


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    repetitions = sys.argv[2] if len(sys.argv) > 2 else "5"
    env = dict(os.environ, QT_QPA_PLATFORM=os.environ.get("QT_QPA_PLATFORM", "offscreen"))
    out = subprocess.run(
        [sys.argv[1], "--benchmark_filter=BM_TraceFromWorkerThread", "--benchmark_format=json",
         "--benchmark_repetitions=" + repetitions, "--benchmark_enable_random_interleaving=true",
         "--benchmark_report_aggregates_only=true", "--benchmark_min_time=0.5"],
        check=True, capture_output=True, text=True, env=env).stdout
    rate = {}
    for b in json.loads(out)["benchmarks"]:
        if b.get("error_occurred"):
            sys.exit(f"{b['name']}: {b.get('error_message')}")
        if b.get("aggregate_name") == "median":
            rate[int(b["run_name"].split("/")[1])] = b["items_per_second"]
    short, long = rate[10], rate[100000]
    print(f"lines/s with 10 listed:      {short:10.0f}")
    print(f"lines/s with 100000 listed:  {long:10.0f}   (aim: at least 20000)")
    print(f"cost per line, long/short:   {short / long:10.2f}   (aim: at most 1.20)")
    return 0 if long >= 20000 and short / long <= 1.2 else 1


if __name__ == "__main__":
    sys.exit(main())
