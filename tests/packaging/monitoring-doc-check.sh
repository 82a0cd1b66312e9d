#!/usr/bin/env bash
# The examples in docs/monitoring.md as their consumers read them: the rules file it
# quotes word for word, checked and unit-tested by promtool; the Prometheus and
# Alertmanager configurations checked by promtool and amtool; the Icinga 2 objects, with
# the CheckCommand file it quotes, validated by `icinga2 daemon -C`. CI installs all three
# tools; a machine without them fails, it does not skip.
# Usage: monitoring-doc-check.sh <source dir>
set -euo pipefail
src=$1
doc=$src/docs/monitoring.md
rules=$src/packaging/monitoring/zelvan-probe.rules.yml
command=$src/packaging/monitoring/zelvan-probe.conf
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Every fenced block to a file of its own: <n>.<language>.
mkdir "$work/blocks"
awk -v dir="$work/blocks" '
  !on && /^```[a-z0-9]+$/ { on = 1; n++; file = sprintf("%s/%02d.%s", dir, n, substr($0, 4)); printf "" > file; next }
  on && $0 == "```" { on = 0; close(file); next }
  on { print >> file }' "$doc"

# The doc quotes the shipped files whole: one block each, identical.
quoted() {
  local file=$1 lang=$2 found=0 block
  for block in "$work"/blocks/*."$lang"; do cmp -s "$block" "$file" && found=$((found + 1)); done
  [ "$found" = 1 ] || { echo "$doc must quote $file exactly once in a \`\`\`$lang block (found $found)"; exit 1; }
}
quoted "$rules" yaml
quoted "$command" icinga2

promtool check rules "$rules"
cp "$rules" "$work/rules.yml"
cp "$src/tests/packaging/alert-rules.test.yml" "$work/"
promtool test rules "$work/alert-rules.test.yml"

# Every other YAML example says in its first line what it configures.
for block in "$work"/blocks/*.yaml; do
  cmp -s "$block" "$rules" && continue
  case $(head -n 1 "$block") in
    "# alertmanager.yml"*) amtool check-config "$block" ;;
    "# prometheus.yml"*)
      # Its rule_files name the installed example; the check reads the source's.
      sed "s#/usr/share/doc/zelvan-probe/examples/#$src/packaging/monitoring/#" "$block" > "$work/prometheus.yml"
      promtool check config "$work/prometheus.yml" ;;
    *) echo "a YAML example in $doc that no check reads: $(head -n 1 "$block")"; exit 1 ;;
  esac
done

cat "$work"/blocks/*.icinga2 > "$work/zelvan-probe.conf"
# The least configuration around the examples: the plugin definitions the example's host
# check needs, and the examples themselves.
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
