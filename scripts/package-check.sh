#!/usr/bin/env bash
# Builds the Debian package, installs it on this machine, checks the installed programs
# against the installed simulator on loopback, and removes the package again.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset release
cmake --build --preset release
(cd build/release && cpack)
deb=$(ls build/release/zelvan-probe_*_amd64.deb | head -n 1)
export DEBIAN_FRONTEND=noninteractive
apt-get install -y "./$deb"

desktop-file-validate /usr/share/applications/zelvan-probe.desktop
/usr/bin/zelvan-probe-cli --version
man -w zelvan-probe-cli >/dev/null 2>&1 || test -f /usr/share/man/man1/zelvan-probe-cli.1

work=$(mktemp -d)
trap 'kill "$sim" 2>/dev/null || true; rm -rf "$work"' EXIT
/usr/bin/zelvan-gateway-sim --route-server 127.0.0.1:0 --route r1 --route r2 --duration 120 > "$work/sim.out" &
sim=$!
for _ in $(seq 1 100); do grep -q '^READY' "$work/sim.out" && break; sleep 0.1; done
server=$(sed -n 's/^READY route-server=\([0-9.]*:[0-9]*\).*/\1/p' "$work/sim.out")
port=$(printf '%X' "${server##*:}")
/usr/bin/zelvan-probe-cli --server "${server%%:*}" --port "$port" --dns-store "$work/dns.db" --timeout 60 \
  > "$work/probe.out"
tail -n 4 "$work/probe.out"
grep -q '^S U C C E S S$' "$work/probe.out"
kill "$sim"; wait "$sim" || true

apt-get remove -y zelvan-probe
test ! -e /usr/bin/zelvan-probe-cli
echo "package check passed"
