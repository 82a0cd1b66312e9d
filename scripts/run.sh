#!/usr/bin/env bash
# Installs what is needed, builds the release preset and runs the probe on its embedded
# default: the bundled simulated gateway on loopback (route server 127.0.0.1:26880,
# hexadecimal 6900, with three healthy routes). With a display the window opens (choose
# the first way of connecting, Next, Test); without one the console runner runs the
# same test. Set ZP_CONSOLE=1 to use the console runner anyway.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset release
cmake --build --preset release

bin=build/release
out=$(mktemp)
"$bin/tools/sim/zelvan-gateway-sim" > "$out" &
sim=$!
trap 'kill "$sim" 2>/dev/null || true; rm -f "$out"' EXIT
for _ in $(seq 1 100); do grep -q '^READY' "$out" && break; sleep 0.1; done
cat "$out"

if [ -z "${ZP_CONSOLE:-}" ] && [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  "$bin/src/app/zelvan-probe"
else
  "$bin/tools/zelvan-probe-cli" --timeout 120 || true
fi
