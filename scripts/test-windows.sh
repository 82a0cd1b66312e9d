#!/usr/bin/env bash
# The Windows build (mingw-w64) and its tests under Wine, in a fresh Wine prefix of the
# build's own; the window's tests get a virtual X display. Then the ZIP is made and its
# contents checked, and the MSI is made, installed, used and removed under Wine. Run
# after scripts/install-deps.sh (the first configure fetches SQLite's sources with apt-get
# source into /var/cache/zelvan-probe). Wine's timing differs from a real system's under
# load: the preset runs a failed test once more before calling it failed.
set -euo pipefail
cd "$(dirname "$0")/.."
# The windows test preset runs everything in the build's own prefix: start it afresh.
export ZP_WINEPREFIX=$PWD/build/windows/wine-prefix
rm -rf "$ZP_WINEPREFIX"
cleanup() { WINEPREFIX=$ZP_WINEPREFIX wineserver -k 2>/dev/null || true; }
trap cleanup EXIT

cmake --preset windows
cmake --build --preset windows
xvfb-run -a -s '-screen 0 1024x768x24' ctest --preset windows

(cd build/windows && cpack)
zip=$(ls build/windows/zelvan-probe-*-windows-x64.zip | head -n 1)
python3 - "$zip" <<'PY'
import re, sys, zipfile
archive = zipfile.ZipFile(sys.argv[1])
files = {n.split('/', 1)[1]: n for n in archive.namelist() if '/' in n and not n.endswith('/')}
need = {'zelvan-probe.exe', 'zelvan-probe-cli.exe', 'zelvan-gateway-sim.exe', 'README.txt', 'LICENSE.txt',
        'monitoring.md', 'zelvan-probe-task.xml', 'schema/zelvan-probe-cli.schema.json',
        'schema/zelvan-probe-cli-history.schema.json'}
missing = need - set(files)
if missing:
    sys.exit(f'{sys.argv[1]} lacks {sorted(missing)}')
# Text files as Windows' own programs read them: every line ends in CR LF; the task
# definition is UTF-16 with a byte-order mark, as Task Scheduler's own exports.
task = archive.read(files['zelvan-probe-task.xml'])
if not task.startswith(b'\xff\xfe'):
    sys.exit('zelvan-probe-task.xml does not start with the UTF-16 LE byte-order mark')
for name in ('README.txt', 'LICENSE.txt', 'monitoring.md', 'zelvan-probe-task.xml'):
    text = archive.read(files[name])
    if name == 'zelvan-probe-task.xml':
        text = text.decode('utf-16').encode()
    if re.search(rb'(?<!\r)\n', text):
        sys.exit(f'{name} has a line ending in LF alone')
# The README names the window and every program.
readme = archive.read(files['README.txt']).decode()
for program in ('zelvan-probe.exe', 'zelvan-probe-cli.exe', 'zelvan-gateway-sim.exe'):
    if program not in readme:
        sys.exit(f'README.txt does not name {program}')
print(f'{sys.argv[1]}: ' + ', '.join(sorted(files)))
PY

# The installer: built, installed over an older version, used, removed.
cmake --build --preset windows --target msi
bash packaging/windows/msi-check.sh
