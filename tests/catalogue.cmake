# A folder location below a symbolic link is left out of the catalogue. Wine
# cannot make links from the Windows side, so the link is made on the Unix side of
# the prefix before the test and removed after it:
#   c:\kivtests\catalogue_links\link -> target
set(_kiv_catalogue_links "${CMAKE_BINARY_DIR}/wineprefix/drive_c/kivtests/catalogue_links")
add_test(NAME catalogue_links_setup COMMAND sh -c
  "rm -rf \"$0\" && mkdir -p \"$0/target/Startup\" && ln -s target \"$0/link\"" "${_kiv_catalogue_links}")
set_tests_properties(catalogue_links_setup PROPERTIES FIXTURES_SETUP catalogue_links FIXTURES_REQUIRED wine)
add_test(NAME catalogue_links_cleanup COMMAND rm -rf "${_kiv_catalogue_links}")
set_tests_properties(catalogue_links_cleanup PROPERTIES FIXTURES_CLEANUP catalogue_links)
set_tests_properties(catalogue_test PROPERTIES FIXTURES_REQUIRED "wine;catalogue_links")
