#!/usr/bin/env bash
# Builds the project, prepares a Wine machine of its own (build/demo-prefix) with a
# few autostart entries, and runs the command-line host to list them.
# Extra arguments are passed to the host (e.g. --json); "gui" opens the window host
# instead, on the display that DISPLAY names.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset mingw >/dev/null
cmake --build --preset mingw -j "$(nproc)" --target kivctl kivgui >/dev/null

export WINEPREFIX="$PWD/build/demo-prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine=/usr/lib/wine/wine64
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "Preparing the Wine machine in $WINEPREFIX ..." >&2
  "$wine" wineboot -i </dev/null >/dev/null 2>&1 || true
  /usr/lib/wine/wineserver -w
  # A few entries of the kinds a real machine holds.
  tools="$WINEPREFIX/drive_c/Program Files/Demo Tools"
  mkdir -p "$tools"
  cp "$WINEPREFIX/drive_c/windows/system32/notepad.exe" "$tools/updater.exe"
  cp "$WINEPREFIX/drive_c/windows/system32/notepad.exe" "$tools/tray helper.exe"
  run='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
  "$wine" reg add "$run" /v "Demo Updater" /t REG_SZ /d '"C:\Program Files\Demo Tools\updater.exe" /background' /f >/dev/null 2>&1
  "$wine" reg add "$run" /v "Tray Helper" /t REG_EXPAND_SZ /d '%ProgramFiles%\Demo Tools\tray helper.exe' /f >/dev/null 2>&1
  "$wine" reg add 'HKLM\Software\Microsoft\Windows\CurrentVersion\Run' /v "Notes" /t REG_SZ /d 'notepad.exe' /f >/dev/null 2>&1
  # A program in the user's startup folder and a service that starts automatically.
  startup=$("$wine" cmd /c echo %APPDATA% 2>/dev/null | tr -d '\r')
  startup_unix=$("$wine" winepath -u "$startup\Microsoft\Windows\Start Menu\Programs\Startup" 2>/dev/null)
  if [ -n "$startup_unix" ]; then
    mkdir -p "$startup_unix"
    cp "$tools/updater.exe" "$startup_unix/quick launcher.exe"
  fi
  cp "$tools/updater.exe" "$tools/sync.exe"
  "$wine" sc create DemoSync binPath= '"C:\Program Files\Demo Tools\sync.exe" --service' start= auto \
    DisplayName= "Demo Sync Service" >/dev/null 2>&1
  /usr/lib/wine/wineserver -w
fi
cd build/bin
if [ "${1:-}" = "gui" ]; then
  "$wine" kivgui.exe </dev/null >/dev/null 2>&1
else
  "$wine" kivctl.exe "$@" </dev/null 2>&1 | cat
fi
