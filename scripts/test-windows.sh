#!/usr/bin/env bash
# The Windows build (mingw-w64) and its tests under Wine, in a fresh Wine prefix of the
# build's own; the window's tests get a virtual X display. Then the ZIP is made and its
# contents checked. Run after scripts/install-deps.sh. Wine's timing differs from a real
# system's under load: the preset runs a failed test once more before calling it failed.
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
import sys, zipfile
names = {n.split('/', 1)[1] for n in zipfile.ZipFile(sys.argv[1]).namelist() if '/' in n}
need = {'zelvan-probe.exe', 'zelvan-probe-cli.exe', 'zelvan-gateway-sim.exe', 'README.txt', 'LICENSE.txt'}
missing = need - names
if missing:
    sys.exit(f'{sys.argv[1]} lacks {sorted(missing)}')
print(f'{sys.argv[1]}: ' + ', '.join(sorted(names)))
PY
