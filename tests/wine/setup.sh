#!/bin/sh
# Prepares the build tree's Wine prefix and a virtual display for the tests.
# Usage: setup.sh BUILD_DIR
# Everything started here keeps its output away from the test runner's pipes: a
# process holding them would keep the runner waiting after the tests end.
set -e
build="$1"
export WINEPREFIX="$build/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY

# A virtual display for the tests that open windows (message boxes, the registry editor).
if ! { [ -f "$build/xvfb.pid" ] && kill -0 "$(cat "$build/xvfb.pid")" 2>/dev/null; }; then
  rm -f "$build/xvfb.display" "$build/xvfb.pid"
  if command -v Xvfb >/dev/null 2>&1; then
    fifo="$build/xvfb.fd"; rm -f "$fifo"
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fifo" </dev/null >/dev/null 2>&1 &
    echo $! > "$build/xvfb.pid"
    i=0
    while [ ! -s "$fifo" ] && [ $i -lt 100 ]; do sleep 0.1; i=$((i+1)); done
    if [ -s "$fifo" ]; then tr -d '\n' < "$fifo" > "$build/xvfb.display"; fi
    rm -f "$fifo"
  fi
fi
if [ -f "$build/xvfb.display" ]; then DISPLAY=":$(cat "$build/xvfb.display")"; export DISPLAY; fi

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  /usr/lib/wine/wine64 wineboot -i </dev/null >/dev/null 2>&1 || true
  /usr/lib/wine/wineserver -w </dev/null >/dev/null 2>&1 || true
fi
# Wine links a profile's Documents, Desktop ... to the Unix home. A Windows profile
# has folders of its own there, which places such as the user's PowerShell profiles
# lie in; tests write into them and must never reach the home.
for link in "$WINEPREFIX"/drive_c/users/*/*; do
  if [ -L "$link" ]; then rm -f "$link" && mkdir -p "$link"; fi
done
# One server and Wine's own services for the whole run, so test programs start
# quickly and see each other's registry. The server ends itself ten minutes after
# the last program, should the cleanup never run.
/usr/lib/wine/wineserver -p 600 </dev/null >/dev/null 2>&1 || true
/usr/lib/wine/wine64 cmd /c exit 0 </dev/null >/dev/null 2>&1 || true
exit 0
