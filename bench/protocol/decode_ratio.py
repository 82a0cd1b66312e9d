#!/usr/bin/env python3
"""Runs the protocol benchmark's Decode and its copy floor in one process, interleaved
and repeated, and prints Decode / copy per packet from the medians of CPU time.

The aim is a ratio within 1.5 where the copy is real work (the largest packet). For a
short packet the floor is two library calls moving a few dozen bytes, so any decode,
which must also check the header and find the separator, is several times that.

usage: decode_ratio.py <protocol_bench> [repetitions]
"""
import json
import subprocess
import sys


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    repetitions = sys.argv[2] if len(sys.argv) > 2 else "9"
    out = subprocess.run(
        [sys.argv[1], "--benchmark_filter=BM_Decode", "--benchmark_format=json",
         "--benchmark_repetitions=" + repetitions, "--benchmark_enable_random_interleaving=true",
         "--benchmark_report_aggregates_only=true", "--benchmark_min_time=0.05"],
        check=True, capture_output=True, text=True).stdout
    medians = {}
    for b in json.loads(out)["benchmarks"]:
        if b.get("aggregate_name") == "median":
            medians[(b["run_name"].split("/")[0], b.get("label", ""))] = b["cpu_time"]
    print(f"{'packet':10} {'Decode ns':>10} {'copy ns':>10} {'ratio':>7}")
    for label in ("heartbeat", "login", "largest"):
        decode = medians[("BM_Decode", label)]
        copy = medians[("BM_DecodeCopyFloor", label)]
        print(f"{label:10} {decode:10.1f} {copy:10.1f} {decode / copy:7.2f}")


if __name__ == "__main__":
    main()
