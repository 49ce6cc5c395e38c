# The zip a host developer downloads, and a host built against the installed
# package with find_package(kiv), run under Wine.
add_test(NAME package_and_example_host
  COMMAND bash "${CMAKE_CURRENT_SOURCE_DIR}/package_e2e.sh" "${CMAKE_BINARY_DIR}" "${CMAKE_SOURCE_DIR}"
          "${CMAKE_TOOLCHAIN_FILE}")
set_tests_properties(package_and_example_host PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 900)
