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
# One session for a run of tests (ZP_WINE_SESSION names tests/support's zp_wine_session):
# it holds Wine's desktop from a process whose standard handles are /dev/null, before any
# test's child can start it with the pipe its output goes to, and keeps Wine's services up
# between tests. It ends by itself once no test has run for a while; one left from an
# earlier display has lost its desktop with that display, and is ended here.
session_pids() {  # programs matching $1 in this prefix's session
  local p
  for p in $(pgrep -f "$1" 2>/dev/null); do
    grep -qzx "WINEPREFIX=$prefix" "/proc/$p/environ" 2>/dev/null && echo "$p"
  done
}
running() {  # ... and on this display
  local p
  for p in $(session_pids "$1"); do
    [ "$(tr '\0' '\n' < "/proc/$p/environ" 2>/dev/null | sed -n 's/^DISPLAY=//p')" = "${DISPLAY:-}" ] && return 0
  done
  return 1
}
if [ -n "${ZP_WINE_SESSION:-}" ] && [ -f "$ZP_WINE_SESSION" ] && ! running zp_wine_session; then
  (flock 9; running zp_wine_session || {
    for p in $(session_pids zp_wine_session); do kill "$p" 2>/dev/null || true; done
    setsid wine "$ZP_WINE_SESSION" </dev/null >/dev/null 2>&1 9>&- &
    for _ in $(seq 100); do running 'explorer.exe /desktop' && break; sleep 0.1; done; }) 9>"$prefix.lock"
fi
exec wine "$@"
