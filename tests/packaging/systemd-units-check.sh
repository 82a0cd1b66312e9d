#!/usr/bin/env bash
# The systemd units as shipped: systemd-analyze accepts them without a word, and one run
# of the service's own command lines (the probe, then the step that hands the metrics to
# node_exporter's folder) against the simulator leaves a complete textfile in that folder.
# Usage: systemd-units-check.sh <source dir> <zelvan-probe-cli> <zelvan-gateway-sim>
set -euo pipefail
src=$1 cli=$2 sim=$3
units=$src/packaging/systemd
work=$(mktemp -d)
trap 'kill "$sim_pid" 2>/dev/null || true; rm -rf "$work"' EXIT
sim_pid=

# The units point at /usr/bin, which is the package's; a copy points at the built program.
sed "s#/usr/bin/zelvan-probe-cli#$cli#" "$units/zelvan-probe.service" > "$work/zelvan-probe.service"
cp "$units/zelvan-probe.timer" "$work/"
# Unknown keys are only warnings to systemd: any output at all fails the check. The man
# page is checked on the installed package (scripts/package-check.sh).
out=$(systemd-analyze verify --man=no "$work/zelvan-probe.service" "$work/zelvan-probe.timer" 2>&1) || {
  echo "$out"; exit 1; }
[ -z "$out" ] || { echo "systemd-analyze verify: $out"; exit 1; }

# The same command lines as the unit, with its paths moved under the scratch folder.
line() { sed -n "s/^$1=//p" "$work/zelvan-probe.service"; }
exec_start=$(line ExecStart)
stop_post=$(line ExecStopPost)
stop_post=${stop_post#+}
stop_post=${stop_post//\$\$/\$}
# The state folder as systemd makes it for a DynamicUser= service with StateDirectory=: a
# link into a folder only root may enter on the host, to a folder of the service's user.
state=$work/state
mkdir -p "$state/private/zelvan-probe" "$work/textfile"
chmod 0700 "$state/private"
ln -s private/zelvan-probe "$state/zelvan-probe"
exec_start=${exec_start//\/var\/lib\/zelvan-probe/$state/zelvan-probe}
stop_post=${stop_post//\/var\/lib\/zelvan-probe/$state/zelvan-probe}

"$sim" --route-server 127.0.0.1:0 --route r1 --route 'r2 fault=refused' --duration 60 > "$work/sim.out" &
sim_pid=$!
for _ in $(seq 1 100); do grep -q '^READY' "$work/sim.out" && break; sleep 0.1; done
port=$(sed -n 's/^READY route-server=[0-9.]*:\([0-9]*\).*/\1/p' "$work/sim.out")

# As systemd runs it: the environment from the unit and the default file,
# $ZELVAN_PROBE_OPTIONS split at spaces and ${ZELVAN_PROBE_SITE} one word, blanks and all.
exec_start=$(sed -E 's/\$\{([A-Z_]+)\}/"${\1}"/g' <<< "$exec_start")
export XDG_STATE_HOME=$state
export ZELVAN_PROBE_SITE='Berlin Mitte "B"'

export ZELVAN_PROBE_OPTIONS="--server 127.0.0.1 --port $(printf '%X' "$port") --timeout 30"
export ZELVAN_PROBE_TEXTFILE_DIR=$work/textfile
status=0
eval "$exec_start" > "$work/journal" || status=$?
cat "$work/journal"
[ "$status" = 1 ] || { echo "the probe's exit status was $status, expected 1 (some routes failed)"; exit 1; }
grep -q '^ZELVAN PROBE WARNING - SOME ROUTES FAILED' "$work/journal"

eval "$stop_post"
test ! -e "$state/zelvan-probe/zelvan-probe.prom"
test -f "$state/private/zelvan-probe/history.db" || { echo "the run was not recorded in the state folder"; exit 1; }
ls -A "$work/textfile"
[ "$(ls -A "$work/textfile")" = "zelvan-probe.prom" ] || { echo "debris in the textfile folder"; exit 1; }
promtool check metrics < "$work/textfile/zelvan-probe.prom"
grep -q '^zelvan_probe_route_failed{route="r2",.*,site="Berlin Mitte \\"B\\""} 1$' "$work/textfile/zelvan-probe.prom"

# Without the collector's folder the metrics stay in the state folder; without a site,
# so does the label.
ZELVAN_PROBE_SITE= eval "$exec_start" > /dev/null || true
ZELVAN_PROBE_TEXTFILE_DIR=$work/none eval "$stop_post"
test -f "$state/zelvan-probe/zelvan-probe.prom"
grep -q '^zelvan_probe_up 1$' "$state/zelvan-probe/zelvan-probe.prom"

# The default file as shipped leaves the options empty, which the unit's line copes with.
grep -q '^ZELVAN_PROBE_OPTIONS=$' "$src/packaging/systemd/zelvan-probe.default"
grep -q '^ZELVAN_PROBE_SITE=$' "$src/packaging/systemd/zelvan-probe.default"
echo "systemd units check passed"
