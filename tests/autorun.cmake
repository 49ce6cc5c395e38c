# The autorun handlers read the roots of the fixed drives and walk whole drives, so
# their test gets a drive of its own: v:, a link in the prefix's dosdevices to a
# folder inside the prefix but outside drive_c (the walk of c: must not reach it a
# second time). Inside it, "loop" links back to the drive itself, so the walk meets
# a link it must not follow. Wine learns of a new drive letter only when its server
# starts again, so the server is restarted after the link is made and after it is
# removed; nothing else may run meanwhile.
set(_kiv_prefix "${CMAKE_BINARY_DIR}/wineprefix")
set(_kiv_drive_v "${_kiv_prefix}/kivtests-drive-v")
set(_kiv_restart [=[
WINEPREFIX="$1" /usr/lib/wine/wineserver -k 2>/dev/null || true
WINEPREFIX="$1" /usr/lib/wine/wineserver -w 2>/dev/null || true
"$3" "$4"
]=])

add_test(NAME autorun_drive_setup COMMAND sh -c "
set -e
link=\"\$1/dosdevices/v:\"
if [ -e \"\$link\" ] || [ -L \"\$link\" ]; then
  [ \"\$(readlink \"\$link\")\" = ../kivtests-drive-v ] || { echo 'drive v: is taken' >&2; exit 1; }
fi
rm -rf \"\$2\"
mkdir -p \"\$2\"
ln -s . \"\$2/loop\"
ln -sfn ../kivtests-drive-v \"\$link\"
${_kiv_restart}" setup "${_kiv_prefix}" "${_kiv_drive_v}" "${CMAKE_CURRENT_SOURCE_DIR}/wine/setup.sh"
  "${CMAKE_BINARY_DIR}")
set_tests_properties(autorun_drive_setup PROPERTIES
  FIXTURES_SETUP autorun_drive FIXTURES_REQUIRED wine RUN_SERIAL TRUE)

add_test(NAME autorun_drive_cleanup COMMAND sh -c "
link=\"\$1/dosdevices/v:\"
[ \"\$(readlink \"\$link\")\" = ../kivtests-drive-v ] && rm -f \"\$link\"
rm -rf \"\$2\"
${_kiv_restart}" cleanup "${_kiv_prefix}" "${_kiv_drive_v}" "${CMAKE_CURRENT_SOURCE_DIR}/wine/setup.sh"
  "${CMAKE_BINARY_DIR}")
set_tests_properties(autorun_drive_cleanup PROPERTIES
  FIXTURES_CLEANUP autorun_drive FIXTURES_REQUIRED wine RUN_SERIAL TRUE)

set_tests_properties(autorun_test PROPERTIES FIXTURES_REQUIRED "wine;autorun_drive")
