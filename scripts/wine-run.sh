#!/usr/bin/env bash
# Runs a Windows program of the build under Wine: a prefix of its own (made on first use,
# beside the build, never the user's ~/.wine), no Wine debug chatter, no desktop
# integration. Used by CTest as the cross-compiling emulator and by hand.
set -euo pipefail
prefix=${ZP_WINEPREFIX:-${TMPDIR:-/tmp}/zelvan-probe-wine-$(id -u)}
export WINEPREFIX=$prefix WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
if [ ! -f "$prefix/.zelvan-probe-ready" ]; then
  # Two tests may start at once on a fresh prefix: one makes it, the others wait.
  mkdir -p "$prefix"
  # Windows without a window manager: otherwise Wine waits for one each time a window is
  # hidden, 2 s a time under a bare virtual display.
  (flock 9; [ -f "$prefix/.zelvan-probe-ready" ] || {
    wineboot -i >/dev/null 2>&1 || true
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 || true
    touch "$prefix/.zelvan-probe-ready"; }) 9>"$prefix.lock"
fi
exec wine "$@"
