# The autorun handlers read the roots of the fixed drives and walk whole drives, so
# their test gets a drive of its own: v:, a link in the prefix's dosdevices to a
# folder inside the prefix but outside drive_c (the walk of c: must not reach it a
# second time). Inside it, "loop" links back to the drive itself, so the walk meets
# a link it must not follow. AutoPlay lists drives by type, so the same fixture
# adds w:, a removable drive, x:, a CD drive, and y:, a network drive (their types
# are the prefix's "Drives" settings). Wine learns of a new drive letter or type only when its
# server starts again, so the server is restarted after the drives are made and
# after they are removed; nothing else may run meanwhile.
set(_kiv_prefix "${CMAKE_BINARY_DIR}/wineprefix")
set(_kiv_drive_v "${_kiv_prefix}/kivtests-drive-v")
set(_kiv_drive_types [=[
WINEPREFIX="$1" WINEDEBUG=-all /usr/lib/wine/wine64 reg add 'HKLM\Software\Wine\Drives' /v w: /d floppy /f >/dev/null 2>&1 </dev/null
WINEPREFIX="$1" WINEDEBUG=-all /usr/lib/wine/wine64 reg add 'HKLM\Software\Wine\Drives' /v x: /d cdrom /f >/dev/null 2>&1 </dev/null
WINEPREFIX="$1" WINEDEBUG=-all /usr/lib/wine/wine64 reg add 'HKLM\Software\Wine\Drives' /v y: /d network /f >/dev/null 2>&1 </dev/null
]=])
set(_kiv_drive_types_removed [=[
WINEPREFIX="$1" WINEDEBUG=-all /usr/lib/wine/wine64 reg delete 'HKLM\Software\Wine\Drives' /v w: /f >/dev/null 2>&1 </dev/null
WINEPREFIX="$1" WINEDEBUG=-all /usr/lib/wine/wine64 reg delete 'HKLM\Software\Wine\Drives' /v x: /f >/dev/null 2>&1 </dev/null
WINEPREFIX="$1" WINEDEBUG=-all /usr/lib/wine/wine64 reg delete 'HKLM\Software\Wine\Drives' /v y: /f >/dev/null 2>&1 </dev/null
]=])
set(_kiv_restart [=[
WINEPREFIX="$1" /usr/lib/wine/wineserver -k 2>/dev/null || true
WINEPREFIX="$1" /usr/lib/wine/wineserver -w 2>/dev/null || true
"$3" "$4"
]=])

add_test(NAME autorun_drive_setup COMMAND sh -c "
set -e
for d in v w x y; do
  link=\"\$1/dosdevices/\$d:\"
  if [ -e \"\$link\" ] || [ -L \"\$link\" ]; then
    [ \"\$(readlink \"\$link\")\" = ../kivtests-drive-\$d ] || { echo \"drive \$d: is taken\" >&2; exit 1; }
  fi
  rm -rf \"\$1/kivtests-drive-\$d\"
  mkdir -p \"\$1/kivtests-drive-\$d\"
  ln -sfn ../kivtests-drive-\$d \"\$link\"
done
ln -s . \"\$2/loop\"
${_kiv_drive_types}
${_kiv_restart}" setup "${_kiv_prefix}" "${_kiv_drive_v}" "${CMAKE_CURRENT_SOURCE_DIR}/wine/setup.sh"
  "${CMAKE_BINARY_DIR}")
set_tests_properties(autorun_drive_setup PROPERTIES
  FIXTURES_SETUP autorun_drive FIXTURES_REQUIRED wine RUN_SERIAL TRUE)

add_test(NAME autorun_drive_cleanup COMMAND sh -c "
for d in v w x y; do
  link=\"\$1/dosdevices/\$d:\"
  [ \"\$(readlink \"\$link\")\" = ../kivtests-drive-\$d ] && rm -f \"\$link\"
  rm -rf \"\$1/kivtests-drive-\$d\"
done
${_kiv_drive_types_removed}
${_kiv_restart}" cleanup "${_kiv_prefix}" "${_kiv_drive_v}" "${CMAKE_CURRENT_SOURCE_DIR}/wine/setup.sh"
  "${CMAKE_BINARY_DIR}")
set_tests_properties(autorun_drive_cleanup PROPERTIES
  FIXTURES_CLEANUP autorun_drive FIXTURES_REQUIRED wine RUN_SERIAL TRUE)

set_tests_properties(autorun_test PROPERTIES FIXTURES_REQUIRED "wine;autorun_drive")
