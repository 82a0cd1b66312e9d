#!/usr/bin/env bash
# The examples in docs/monitoring.md as their consumers read them: the Prometheus alert
# rules checked and unit-tested by promtool, the Icinga 2 objects validated by
# `icinga2 daemon -C`. CI installs both; a machine without them fails, it does not skip.
# Usage: monitoring-doc-check.sh <source dir>
set -euo pipefail
src=$1
doc=$src/docs/monitoring.md
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The fenced blocks of one language, in order.
blocks() { awk -v lang="$1" '$0 == "```" lang { on = 1; next } on && $0 == "```" { on = 0; next } on' "$doc"; }

blocks yaml > "$work/rules.yml"
[ -s "$work/rules.yml" ] || { echo "no alert rules in $doc"; exit 1; }
promtool check rules "$work/rules.yml"
cp "$src/tests/packaging/alert-rules.test.yml" "$work/"
promtool test rules "$work/alert-rules.test.yml"

blocks icinga2 > "$work/zelvan-probe.conf"
grep -q 'object CheckCommand "zelvan-probe"' "$work/zelvan-probe.conf"
# The least configuration around the example: the plugin definitions the example's host
# check needs, and the example itself.
cat > "$work/icinga2.conf" <<CONF
const PluginDir = "/usr/lib/nagios/plugins"
include <itl>
include <plugins>
include "zelvan-probe.conf"
CONF
# Icinga drops to its own user for the check: the scratch folder must be writable to it.
chmod 0777 "$work"
out=$(icinga2 daemon -C -c "$work/icinga2.conf" -DCacheDir="$work" -DDataDir="$work" -DLogDir="$work" 2>&1) || {
  echo "$out"; exit 1; }
echo "$out" | grep -E 'Instantiated [0-9]+ (Service|Host|CheckCommand)'
# The apply rule matched the example host.
echo "$out" | grep -q 'Instantiated 1 Service\b'
echo "monitoring documentation examples check passed"
