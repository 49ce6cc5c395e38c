#!/usr/bin/env bash
# Runs the window test and answers its request for a picture of the window: the
# test writes the window's place (WIDTHxHEIGHT+X+Y) into screenshot.request, this
# script grabs that part of the virtual display into kivgui-main-window.png beside
# the test and says so with screenshot.done.
set -u
build="$1"
src="$2"
dir="$build/tests/gui_window"
rm -f "$dir/screenshot.request" "$dir/screenshot.done" "$dir/kivgui-main-window.png"
display=""
[ -f "$build/xvfb.display" ] && display=":$(cat "$build/xvfb.display")"
KIVGUI_SCREENSHOT=1 "$src/wine/wine-run.sh" "$build" "$dir/gui_window.exe" &
test_pid=$!
while kill -0 "$test_pid" 2>/dev/null; do
  if [ -s "$dir/screenshot.request" ]; then
    place=$(tr -d '\r\n' < "$dir/screenshot.request")
    rm -f "$dir/screenshot.request"
    if [ -n "$display" ] && command -v import >/dev/null 2>&1; then
      DISPLAY="$display" import -window root -crop "$place" +repage "$dir/kivgui-main-window.png" \
        || echo "gui_window.sh: the picture could not be taken" >&2
    else
      echo "gui_window.sh: no display or no ImageMagick import: no picture" >&2
    fi
    touch "$dir/screenshot.done"
  fi
  sleep 0.2
done
wait "$test_pid"
