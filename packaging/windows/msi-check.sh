#!/usr/bin/env bash
# Checks the installer as an administrator would meet it, under Wine: the package's
# tables hold the programs' versions, the entry's properties, the program data folders'
# permissions and the task's removal; an older version is installed first and the new
# one must replace it (one entry in Add/Remove Programs, with the new version, its folder
# and no Change or Repair); every file is in Program Files\Zelvan Probe with the Start
# menu's shortcut, and the program data folders are made; the installed console runner
# passes a test against the installed simulator and records it; the task definition is
# UTF-16 with a byte-order mark and parses, and its command line, where windows_exporter
# is not installed, records the run and puts the metrics in the fallback folder; the
# task registered from it is deleted by msiexec /x, which leaves no program behind. Run
# after the build made the MSI (target msi).
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
data="$ZP_WINEPREFIX/drive_c/ProgramData/Zelvan Probe"
# Wine keeps a registered task as a file named after it.
task_file="$ZP_WINEPREFIX/drive_c/windows/system32/tasks/Zelvan Probe"
table() { msiinfo export "$msi" "$1" | tr -d '\r'; }

# What wixl and msi-amend.sh put in the package.
for file in zelvan-probe.exe zelvan-probe-cli.exe zelvan-gateway-sim.exe; do
  table File | grep -q "	$file	[0-9]*	$version\.0	1033	" || fail "$file has no version $version.0 in the File table"
done
for property in ARPNOMODIFY ARPNOREPAIR; do
  table Property | grep -qx "$property	1" || fail "no $property in the Property table"
done
table CustomAction | grep -q '^SetInstallLocation	.*	ARPINSTALLLOCATION	\[INSTALLDIR\]' || fail "no InstallLocation"
table CustomAction | grep -qF 'schtasks.exe" /delete /tn "Zelvan Probe" /f' || fail "no removal of the task"
for folder in DATADIR TEXTFILEDIR; do
  table MsiLockPermissionsEx | grep -q "	$folder	CreateFolder	O:SYG:SYD:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)" ||
    fail "the permissions of $folder are not locked"
done
echo "msi-check: the package holds the file versions, no Change or Repair, InstallLocation, the folders' permissions and the task's removal"
entries() {
  run reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s 2>/dev/null | tr -d '\r' |
    awk '/^HKEY/ {key=$0} /DisplayName.*REG_SZ.*Zelvan Probe$/ {print key}'
}

# A prefix that a stopped check left with the product installed starts clean.
for key in $(entries | sed 's/.*\\//'); do run msiexec /x "$key" /qn > /dev/null 2>&1 || true; done
rm -rf "$data" "$task_file"
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
run reg query "$keys" /v InstallLocation | tr -d '\r' | grep -qF "$installed" || fail "the entry has no InstallLocation"
for value in NoModify NoRepair; do
  run reg query "$keys" /v $value | tr -d '\r' | grep -q "REG_DWORD *0x1\$" || fail "the entry offers $value"
done
[ -d "$data/textfile" ] || fail "no program data folder $data/textfile"
echo "msi-check: installed $version over 0.0.1: one entry in Add/Remove Programs with its folder and no Change or Repair, every file, the shortcut, the program data folders"

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
echo "msi-check: the installed console runner passed a test against the installed simulator and listed it"

# The task definition as Task Scheduler's own exports are, and its command line as the
# task runs it (the simulator's address added) where windows_exporter is not installed.
python3 - "$pf/zelvan-probe-task.xml" "$work/task-command" <<'PY'
import shlex, sys, xml.dom.minidom
raw = open(sys.argv[1], 'rb').read()
if not raw.startswith(b'\xff\xfe'):
    sys.exit('msi-check: the task definition does not start with the UTF-16 LE byte-order mark')
text = raw.decode('utf-16')
if '\n' in text.replace('\r\n', ''):
    sys.exit('msi-check: the task definition has a line ending in LF alone')
doc = xml.dom.minidom.parseString(raw)
value = lambda tag: doc.getElementsByTagName(tag)[0].firstChild.data
words = [w.replace('%COMPUTERNAME%', 'msi-check') for w in shlex.split(value('Command') + ' ' + value('Arguments'))]
open(sys.argv[2], 'w').write('\0'.join(words))
PY
mapfile -d '' task_command < "$work/task-command"
[ ! -e "$ZP_WINEPREFIX/drive_c/Program Files/windows_exporter" ] || fail "windows_exporter's folder is in the prefix"
status=0
run "${task_command[@]}" --server 127.0.0.1 --port "$(printf %X "$port")" > "$work/task.out" 2> "$work/task.err" || status=$?
[ "$status" = 0 ] || fail "the task's command line ended with $status: $(cat "$work/task.out" "$work/task.err")"
tr -d '\r' < "$work/task.out" | grep -qxF 'the metrics are in C:\ProgramData\Zelvan Probe\textfile\zelvan-probe.prom (no such folder: C:\Program Files\windows_exporter\textfile_inputs)' ||
  fail "the monitoring lines do not say where the metrics went: $(cat "$work/task.out")"
grep -q '^zelvan_probe_up{site="msi-check"} 1' "$data/textfile/zelvan-probe.prom" || fail "no metrics in the fallback folder"
run "$installed\\zelvan-probe-cli.exe" --history --history-db 'C:\ProgramData\Zelvan Probe\history.db' | grep -q 'SUCCESS' ||
  fail "the task's run is not in its history"
run taskkill /f /im zelvan-gateway-sim.exe > /dev/null 2>&1 || true
wait $sim || true
echo "msi-check: the task definition is UTF-16 with its mark and parses; its command line without windows_exporter recorded the run and wrote the metrics to the fallback folder"

# Registered as the administrator is told to, and removed with the program.
run schtasks /create /tn "Zelvan Probe" /xml "$installed\\zelvan-probe-task.xml" > "$work/schtasks.out" 2>&1 ||
  fail "schtasks does not take the task definition: $(tr -d '\r' < "$work/schtasks.out")"
[ -f "$task_file" ] || fail "schtasks registered no task"
run msiexec /x "$(windows_path "$msi")" /qn
[ ! -e "$pf" ] || fail "left after removal: $(cd "$pf" && find . | head)"
! shortcut_there || fail "the Start menu shortcut is left after removal"
[ -z "$(entries)" ] || fail "Add/Remove Programs still lists Zelvan Probe"
[ ! -e "$task_file" ] || fail "the registered task is left after removal"
echo "msi-check: msiexec /x removed every file, the shortcut, the entry and the registered task"
# The task's history and metrics are data, which removal leaves; this prefix's next tests
# must not find a fallback folder.
rm -rf "$data"
