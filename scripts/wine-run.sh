#!/usr/bin/env bash
# Runs a Windows program of the build under Wine: a prefix of its own (made on first use,
# beside the build, never the user's ~/.wine), no Wine debug chatter, no desktop
# integration. Used by CTest as the cross-compiling emulator and by hand.
set -euo pipefail
prefix=${ZP_WINEPREFIX:-${TMPDIR:-/tmp}/zelvan-probe-wine-$(id -u)}
export WINEPREFIX=$prefix WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
if [ ! -f "$prefix/system.reg" ]; then
  # Two tests may start at once on a fresh prefix: one makes it, the other waits.
  mkdir -p "$prefix"
  (flock 9; [ -f "$prefix/system.reg" ] || wineboot -i >/dev/null 2>&1 || true) 9>"$prefix.lock"
fi
exec wine "$@"
