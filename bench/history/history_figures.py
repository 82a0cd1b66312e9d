#!/usr/bin/env python3
"""Times the console's history listings over one history file and prints, for each
command run once, the wall time, the peak resident memory and how much it wrote.

Fill the file first with the generator, which records through the history's own code:
    zp_history_fill /dev/shm/year.db 105120
    history_figures.py zelvan-probe-cli /dev/shm/year.db 105120

The aims at a year of runs: --history 20, --history-route NAME and --history 20 --json
within 0.1 s each; --history N --json under 32 MB resident whatever N. Commands the
program does not offer (its --help does not name them) are left out.

usage: history_figures.py <zelvan-probe-cli> <history.db> <runs in it> [route]
"""
import os
import subprocess
import sys
import time


def run_once(argv):
    """Wall seconds, peak resident MB, bytes written and exit status of one run."""
    with open(os.devnull, "wb") as sink:
        start = time.perf_counter()
        child = subprocess.Popen(argv, stdout=subprocess.PIPE, stderr=sink)
        written = 0
        while True:
            block = child.stdout.read(1 << 16)
            if not block:
                break
            written += len(block)
        _, status, usage = os.wait4(child.pid, 0)
        wall = time.perf_counter() - start
    child.returncode = os.waitstatus_to_exitcode(status)
    return wall, usage.ru_maxrss / 1024.0, written, child.returncode


def main():
    if len(sys.argv) < 4:
        sys.exit(__doc__)
    cli, db, runs = sys.argv[1], sys.argv[2], sys.argv[3]
    route = sys.argv[4] if len(sys.argv) > 4 else "r1"
    offered = subprocess.run([cli, "--help"], capture_output=True, text=True).stdout
    commands = [
        ["--history", "20"],
        ["--history-route", route],
        ["--history", "20", "--json"],
        ["--history", "5000"],
        ["--history", "5000", "--json"],
        ["--history", runs],
        ["--history", runs, "--json"],
        ["--history", runs, "--csv"],
    ]
    print(f"history: {db}, {runs} runs, {os.path.getsize(db) / 1e6:.1f} MB")
    print(f"{'command':40} {'wall ms':>9} {'peak RSS MB':>12} {'output MB':>10} {'exit':>5}")
    failed = False
    for args in commands:
        if any(a.startswith("--") and a not in offered for a in args):
            continue
        wall, rss, written, code = run_once([cli, "--history-db", db] + args)
        failed |= code != 0
        print(f"{' '.join(args):40} {wall * 1e3:9.1f} {rss:12.1f} {written / 1e6:10.2f} {code:5d}")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
