#!/bin/sh
# Runs a Windows program under Wine in the build tree's own prefix.
# Usage: wine-run.sh BUILD_DIR PROGRAM [ARGS...]
# The program's output goes through files: Wine's helper processes (services,
# the desktop) that a program may start outlive it and would otherwise hold the
# caller's pipes open.
build="$1"; shift
export WINEPREFIX="$build/wineprefix"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
if [ -f "$build/xvfb.display" ]; then
  DISPLAY=":$(cat "$build/xvfb.display")"; export DISPLAY
fi
out=$(mktemp) err=$(mktemp)
/usr/lib/wine/wine64 "$@" >"$out" 2>"$err"
rc=$?
cat "$out"; cat "$err" >&2
rm -f "$out" "$err"
exit $rc
