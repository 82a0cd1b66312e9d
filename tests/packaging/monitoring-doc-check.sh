#!/usr/bin/env bash
# The examples in docs/monitoring.md as their consumers read them: the hand-written part of
# the rules that it quotes word for word, and the rules file the build generates from it
# and the table of outcomes, checked and unit-tested by promtool; the Prometheus and
# Alertmanager configurations checked by promtool and amtool; the Icinga 2 objects, with
# the CheckCommand file it quotes, validated by `icinga2 daemon -C`; each outcome's section
# as the table gives it, and every code in the man page. CI installs all three tools; a
# machine without them fails, it does not skip.
# Usage: monitoring-doc-check.sh <source dir> <generated rules file> <zp-outcome-rules>
set -euo pipefail
src=$1
rules=$2
outcomes=$3
doc=$src/docs/monitoring.md
written=$src/packaging/monitoring/zelvan-probe.rules.yml.in
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
quoted "$written" yaml
quoted "$command" icinga2

# The generated file is the written part, then the table's group.
cmp -s <(head -c "$(stat -c %s "$written")" "$rules") "$written" || {
  echo "$rules does not begin with $written"; exit 1; }
promtool check rules "$rules"
cp "$rules" "$work/rules.yml"
"$outcomes" expand "$src/tests/packaging/alert-rules.test.yml.in" > "$work/alert-rules.test.yml"
promtool test rules "$work/alert-rules.test.yml"

# Each outcome's section, as the table words it, and every code in the man page.
"$outcomes" markdown > "$work/outcomes.md"
python3 - "$doc" "$work/outcomes.md" <<'PY'
import sys
doc, sections = (open(p, encoding="utf-8").read() for p in sys.argv[1:3])
if sections.strip() not in doc:
    sys.exit(f"{sys.argv[1]} must hold the outcomes' sections as zp-outcome-rules markdown writes them")
PY
for code in $("$outcomes" codes); do
  grep -qE "(^|[^a-z_])${code}([^a-z_]|$)" "$src/packaging/man/zelvan-probe-cli.1" || {
    echo "the man page does not list the outcome code $code"; exit 1; }
done

# Every other YAML example says in its first line what it configures.
for block in "$work"/blocks/*.yaml; do
  cmp -s "$block" "$written" && continue
  case $(head -n 1 "$block") in
    "# zelvan-probe.rules.yml, generated"*)
      # An excerpt of the generated group: its lines as the build writes them.
      python3 - "$block" "$rules" <<'PY'
import sys
excerpt = open(sys.argv[1], encoding="utf-8").read().split("\n", 1)[1]
if excerpt not in open(sys.argv[2], encoding="utf-8").read():
    sys.exit(f"the generated excerpt in the guide is not in {sys.argv[2]}")
PY
      ;;
    "# alertmanager.yml"*) amtool check-config "$block" ;;
    "# zelvan-probe-runbook.rules.yml"*) promtool check rules "$block" ;;
    "# prometheus.yml"*)
      # Its rule_files name the installed example; the check reads the one the build made.
      sed "s#/usr/share/doc/zelvan-probe/examples/#$(dirname "$rules")/#" "$block" > "$work/prometheus.yml"
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
