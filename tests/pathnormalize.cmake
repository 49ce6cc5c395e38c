# The reparse-point tests need symbolic links. Wine reports Unix symbolic links as
# reparse points but cannot make one from the Windows side (CreateSymbolicLinkW
# returns success and makes nothing, FSCTL_SET_REPARSE_POINT is not supported), so
# they are made on the Unix side of the prefix before the test and removed after it:
#   c:\kivtests\pathnormalize_links\link -> target (a folder link)
#   \\kivpathnorm\share (Wine's dosdevices\unc) whose server is a link to a plain folder
# WINEPATH gives the test program a PATH entry of its own, read when the module loads.
set(_kiv_prefix "${CMAKE_BINARY_DIR}/wineprefix")
set(_kiv_links "${_kiv_prefix}/drive_c/kivtests/pathnormalize_links")
set(_kiv_unc "${_kiv_prefix}/dosdevices/unc")

add_test(NAME pathnormalize_links_setup COMMAND sh -c [=[
set -e
rm -rf "$1" "$2/kivpathnorm"
mkdir -p "$1/target/dir" "$1/server/share/dir" "$2"
: > "$1/target/dir/file.txt"
: > "$1/server/share/dir/file.txt"
ln -s target "$1/link"
ln -s dir "$1/server/share/link"
ln -s ../../drive_c/kivtests/pathnormalize_links/server "$2/kivpathnorm"
]=] setup "${_kiv_links}" "${_kiv_unc}")
set_tests_properties(pathnormalize_links_setup PROPERTIES FIXTURES_SETUP pathnormalize_links FIXTURES_REQUIRED wine)

add_test(NAME pathnormalize_links_cleanup COMMAND sh -c [=[
rm -rf "$1" "$2/kivpathnorm"
rmdir "$2" "$(dirname "$1")" 2>/dev/null
exit 0
]=] cleanup "${_kiv_links}" "${_kiv_unc}")
set_tests_properties(pathnormalize_links_cleanup PROPERTIES FIXTURES_CLEANUP pathnormalize_links)

set_tests_properties(pathnormalize_test PROPERTIES
  FIXTURES_REQUIRED "wine;pathnormalize_links"
  ENVIRONMENT "WINEPATH=C:\\kivtests\\pathnormalize_onpath\\")
