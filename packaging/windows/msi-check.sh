#!/usr/bin/env bash
# Checks the installer as an administrator would meet it, under Wine: an older version
# is installed first and the new one must replace it (one entry in Add/Remove Programs,
# with the new version); every file is in Program Files\Zelvan Probe with the Start menu's
# shortcut; the installed console runner passes a test against the installed simulator
# and records it; the task definition is registered with schtasks where Wine can; and
# msiexec /x leaves nothing behind. Run after the build made the MSI (target msi).
set -euo pipefail
cd "$(dirname "$0")/../.."
build=build/windows
stage=$build/packaging/windows-files
msi=$(ls "$PWD"/$build/zelvan-probe-*-windows-x64.msi | head -n 1)
export ZP_WINEPREFIX=${ZP_WINEPREFIX:-$PWD/$build/wine-prefix}
run() { scripts/wine-run.sh "$@"; }
windows_path() { local p=${1//\//\\}; echo "Z:$p"; }
fail() { echo "msi-check: $*" >&2; exit 1; }
work=$PWD/$build/msi-check
rm -rf "$work" && mkdir -p "$work"
pf="$ZP_WINEPREFIX/drive_c/Program Files/Zelvan Probe"
# The Start menu of all users; Wine's installer puts a per-machine shortcut in the
# installing user's instead.
shortcuts=("$ZP_WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Zelvan Probe.lnk"
           "$ZP_WINEPREFIX/drive_c/users/$(id -un)/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Zelvan Probe.lnk")
shortcut_there() { [ -f "${shortcuts[0]}" ] || [ -f "${shortcuts[1]}" ]; }
installed='C:\Program Files\Zelvan Probe'
version=$(sed -n 's/.*Product Id="\*" Name="Zelvan Probe" Language="1033" Version="\([0-9.]*\)".*/\1/p' "$stage/zelvan-probe.wxs")
[ -n "$version" ] || fail "no version in $stage/zelvan-probe.wxs"
entries() {
  run reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s 2>/dev/null | tr -d '\r' |
    awk '/^HKEY/ {key=$0} /DisplayName.*REG_SZ.*Zelvan Probe$/ {print key}'
}

# A prefix that a stopped check left with the product installed starts clean.
for key in $(entries | sed 's/.*\\//'); do run msiexec /x "$key" /qn > /dev/null 2>&1 || true; done
# The same package one version older, with the same upgrade code.
sed "s/Version=\"$version\"/Version=\"0.0.1\"/" "$stage/zelvan-probe.wxs" > "$stage/older.wxs"
(cd "$stage" && wixl -a x64 -o "$work/older.msi" older.wxs)
run msiexec /i "$(windows_path "$work/older.msi")" /qn
[ "$(entries | wc -l)" = 1 ] || fail "the older version is not listed once"
run msiexec /i "$(windows_path "$msi")" /qn

for f in zelvan-probe.exe zelvan-probe-cli.exe zelvan-gateway-sim.exe README.txt LICENSE.txt monitoring.md \
         zelvan-probe-task.xml schema/zelvan-probe-cli.schema.json schema/zelvan-probe-cli-history.schema.json; do
  [ -f "$pf/$f" ] || fail "not installed: $f"
done
shortcut_there || fail "no Start menu shortcut"
keys=$(entries)
[ "$(echo "$keys" | wc -l)" = 1 ] || fail "Add/Remove Programs lists Zelvan Probe $(echo "$keys" | wc -l) times"
run reg query "$keys" /v DisplayVersion | tr -d '\r' | grep -q "REG_SZ *$version\$" || fail "the entry's version is not $version"
echo "msi-check: installed $version over 0.0.1: one entry in Add/Remove Programs, every file, the shortcut"

# The installed programs: a test against the simulator, recorded and listed.
# Ended with taskkill (stopping Wine's starter would leave the program running and its
# file in use), and by itself after a minute whatever happens.
run "$installed\\zelvan-gateway-sim.exe" --duration 60 --route-server 127.0.0.1:0 --route r1 --route r2 \
  > "$work/sim.out" 2>&1 &
sim=$!
for _ in $(seq 100); do grep -q '^READY' "$work/sim.out" && break; sleep 0.2; done
port=$(sed -n 's/^READY route-server=127\.0\.0\.1:\([0-9]*\).*/\1/p' "$work/sim.out" | tr -d '\r')
[ -n "$port" ] || fail "the installed simulator did not start: $(cat "$work/sim.out")"
db='C:\users\Public\zelvan-probe-msi-check.db'
status=0
run "$installed\\zelvan-probe-cli.exe" --server 127.0.0.1 --port "$(printf %X "$port")" --history-db "$db" \
  > "$work/cli.out" 2>&1 || status=$?
[ "$status" = 0 ] || fail "the installed console runner ended with $status: $(tail -n 5 "$work/cli.out")"
grep -q 'S U C C E S S' "$work/cli.out" || fail "no SUCCESS from the installed console runner"
run "$installed\\zelvan-probe-cli.exe" --history --history-db "$db" | grep -q 'SUCCESS' || fail "--history lists no run"
run taskkill /f /im zelvan-gateway-sim.exe > /dev/null 2>&1 || true
wait $sim || true
echo "msi-check: the installed console runner passed a test against the installed simulator and listed it"

# The task definition as Task Scheduler takes it (Wine's schtasks where it has /xml).
if run schtasks /create /tn "Zelvan Probe check" /xml "$installed\\zelvan-probe-task.xml" > "$work/schtasks.out" 2>&1; then
  run schtasks /delete /tn "Zelvan Probe check" /f > /dev/null 2>&1 || true
  echo "msi-check: schtasks registered the task definition"
else
  python3 -c 'import sys, xml.dom.minidom; xml.dom.minidom.parse(sys.argv[1])' "$pf/zelvan-probe-task.xml"
  echo "msi-check: the task definition is well-formed XML (Wine's schtasks: $(tr -d '\r' < "$work/schtasks.out" | head -n 1))"
fi

run msiexec /x "$(windows_path "$msi")" /qn
[ ! -e "$pf" ] || fail "left after removal: $(cd "$pf" && find . | head)"
! shortcut_there || fail "the Start menu shortcut is left after removal"
[ -z "$(entries)" ] || fail "Add/Remove Programs still lists Zelvan Probe"
echo "msi-check: msiexec /x removed every file, the shortcut and the entry"
