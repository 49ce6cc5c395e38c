#!/bin/sh
# Stops what the test setup started: the virtual display and the Wine server.
build="$1"
export WINEPREFIX="$build/wineprefix"
/usr/lib/wine/wineserver -k 2>/dev/null || true
if [ -f "$build/xvfb.pid" ]; then kill "$(cat "$build/xvfb.pid")" 2>/dev/null || true; fi
rm -f "$build/xvfb.pid" "$build/xvfb.display"
exit 0
