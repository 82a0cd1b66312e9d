"""The console runner's monitoring outputs read by the real engines, all on loopback:
node_exporter's textfile collector, Prometheus with the rules the build generates and
Alertmanager sending to a webhook of the check's own, and the Icinga 2 daemon with the
shipped CheckCommand, each against the simulated gateway.

Usage: engines_check.py <source dir> <zelvan-probe-cli> <zelvan-gateway-sim> <generated rules file>

Every process it starts is stopped on every way out (an error, SIGINT, SIGTERM; should
it be killed outright, the kernel ends them), and every file it writes is under one
scratch folder that it removes. The test's copies of the engines' configuration differ
from the shipped files only as prometheus_check.py and icinga_check.py say.
"""
import os
import re
import shutil
import signal
import sys
import tempfile
import time

from engines import Failure, Processes, tail
import icinga_check
import prometheus_check

# A site name with everything the text format escapes, and more: it must reach
# Prometheus, its API and the alerts' text exactly as given.
SITE = 'Zürich "Nord" \\ Halle 7\nGate\tB'


def quoted_file(src, path):
    """A file that docs/monitoring.md quotes; the doc check keeps the two the same."""
    with open(os.path.join(src, path), encoding="utf-8") as f:
        text = f.read()
    with open(os.path.join(src, "docs", "monitoring.md"), encoding="utf-8") as f:
        if text not in f.read():
            raise Failure(f"docs/monitoring.md no longer quotes {path} as it is")
    return text


def main(argv):
    src, cli, sim, generated = (os.path.abspath(a) for a in argv[1:5])
    for program in ("prometheus", "prometheus-node-exporter", "prometheus-alertmanager", "icinga2"):
        if not shutil.which(program):
            print(f"{program} is not installed: scripts/install-deps.sh installs it")
            return 1

    def leave(signum, _frame):
        raise SystemExit(128 + signum)
    signal.signal(signal.SIGTERM, leave)
    signal.signal(signal.SIGINT, leave)

    start = time.monotonic()
    work = tempfile.mkdtemp(prefix="zp-engines-")
    processes = Processes(work)
    prometheus = None
    try:
        written = quoted_file(src, "packaging/monitoring/zelvan-probe.rules.yml.in")
        with open(generated, encoding="utf-8") as f:
            rules = f.read()
        if not rules.startswith(written):
            raise Failure(f"{generated} is not the quoted rules with the table after them")
        command = quoted_file(src, "packaging/monitoring/zelvan-probe.conf")
        prometheus = prometheus_check.Check(processes, work, cli, sim, rules, SITE)
        refused = re.search(r'outcome: refused\n\s+words: .*\n\s+next_step: "(.*)"\n', rules)
        if not refused:
            raise Failure(f"{generated} has no outcome refused")
        icinga = icinga_check.Check(processes, work, cli, sim, command, refused[1].replace('\\"', '"'))
        prometheus.start_engines()
        icinga.start()
        print(f"engines up after {time.monotonic() - start:.1f} s")
        prometheus.run()
        print(f"Prometheus checked after {time.monotonic() - start:.1f} s")
        icinga.run()
        print(f"engines check passed in {time.monotonic() - start:.1f} s")
        return 0
    except Failure as failure:
        print(f"engines check FAILED after {time.monotonic() - start:.1f} s: {failure}")
        for proc in processes.running:
            print(f"--- the end of {proc.name}'s log\n{tail(proc.log)}")
        return 1
    finally:
        processes.stop_all()
        if prometheus and prometheus.webhook:
            prometheus.webhook.stop()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main(sys.argv))
