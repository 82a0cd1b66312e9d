#!/usr/bin/env bash
# Builds the Debian package, checks it with lintian, installs it on this machine, checks
# its metadata (AppStream, desktop entry, copyright, changelog, man pages), the installed
# programs against the installed simulator on loopback and the periodic check's units
# and settings, and removes and purges the package again.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset release
cmake --build --preset release
(cd build/release && cpack)
deb=$(ls build/release/zelvan-probe_*_amd64.deb | head -n 1)

# Any error or warning fails the check. The package has no overrides; one that is ever
# needed goes in /usr/share/lintian/overrides/zelvan-probe with its reason beside it.
# Informational tags are shown, not counted.
lintian --info --display-info --fail-on error,warning "$deb"

export DEBIAN_FRONTEND=noninteractive
apt-get install -y "./$deb"

desktop-file-validate /usr/share/applications/zelvan-probe.desktop
appstreamcli validate --no-net --strict /usr/share/metainfo/org.example.zelvan_probe.metainfo.xml
doc=/usr/share/doc/zelvan-probe
head -n 1 "$doc/copyright" | grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/'
# The changelog's newest entry is the installed version.
[ "$(dpkg-parsechangelog -l "$doc/changelog.gz" -S Version)" = "$(dpkg-query -W -f='${Version}' zelvan-probe)" ]
for page in zelvan-probe zelvan-probe-cli zelvan-gateway-sim; do
  gzip -t "/usr/share/man/man1/$page.1.gz"
done
test -f "$doc/examples/zelvan-probe.rules.yml" && test -f "$doc/examples/zelvan-probe.conf"
/usr/bin/zelvan-probe-cli --version

# Periodic checks: both units and the settings file installed, the settings file a
# conffile, the timer not enabled, and systemd content with the units as installed (any
# word from systemd-analyze fails the check: unknown keys are only warnings to it).
units=/usr/lib/systemd/system
test -f "$units/zelvan-probe.service" && test -f "$units/zelvan-probe.timer"
test -f /etc/default/zelvan-probe && test -f /usr/share/doc/zelvan-probe/monitoring.md
dpkg-query --showformat='${Conffiles}\n' --show zelvan-probe | grep -q '^ /etc/default/zelvan-probe '
test ! -e /etc/systemd/system/timers.target.wants/zelvan-probe.timer
verify=$(systemd-analyze verify "$units/zelvan-probe.service" "$units/zelvan-probe.timer" 2>&1) || {
  echo "$verify"; exit 1; }
[ -z "$verify" ] || { echo "systemd-analyze verify: $verify"; exit 1; }

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

# The operator's settings outlive a removal (a conffile); a purge takes them.
echo '# changed by the operator' >> /etc/default/zelvan-probe
apt-get remove -y zelvan-probe
test ! -e /usr/bin/zelvan-probe-cli
test ! -e "$units/zelvan-probe.timer"
grep -q 'changed by the operator' /etc/default/zelvan-probe
apt-get purge -y zelvan-probe
test ! -e /etc/default/zelvan-probe
echo "package check passed"
