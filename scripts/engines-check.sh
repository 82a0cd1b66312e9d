#!/usr/bin/env bash
# The monitoring outputs read by the real engines on loopback: node_exporter's textfile
# collector, Prometheus with the alert and recording rules the build generates, sending to
# Alertmanager and on to a webhook receiver of the check's own, and the Icinga 2 daemon
# with the shipped CheckCommand, the console runner against the simulated gateway
# (tests/engines/engines_check.py says what is checked and how the test's copies of the
# configuration differ). Builds what it needs; the check itself is bounded to 4 minutes
# and takes under a minute. Everything it starts is stopped, whatever happens.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset release > /dev/null
nice cmake --build --preset release --target zelvan-probe-cli zelvan-gateway-sim monitoring-rules
start=$(date +%s)
status=0
# The check's scratch folder goes under this one, which goes even if the check is killed.
export TMPDIR
TMPDIR=$(mktemp -d)
trap 'rm -rf "$TMPDIR"' EXIT
# `timeout` asks the check to stop (SIGTERM), which then stops its engines; a check that
# does not go within 20 s more is killed, and the kernel ends the engines with it.
PYTHONDONTWRITEBYTECODE=1 timeout --kill-after=20 240 python3 tests/engines/engines_check.py "$PWD" \
  build/release/tools/zelvan-probe-cli build/release/tools/sim/zelvan-gateway-sim \
  build/release/packaging/monitoring/zelvan-probe.rules.yml || status=$?
echo "engines check: $(( $(date +%s) - start )) s, exit status $status"
exit "$status"
