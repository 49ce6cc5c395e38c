# The Winsock catalogue test reads a protocol name from a string resource of its
# own program, as the catalogue's "@library,-N" names do.
file(CONFIGURE OUTPUT "${CMAKE_CURRENT_BINARY_DIR}/lsp_test_strings.rc" CONTENT
"STRINGTABLE
BEGIN
    101 \"Kiv Test Layered Provider\"
END
")
target_sources(lsp_test PRIVATE "${CMAKE_CURRENT_BINARY_DIR}/lsp_test_strings.rc")
