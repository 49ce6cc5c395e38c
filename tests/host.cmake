# The host's formatting and selection, and the host run end to end under Wine.
set_property(TARGET host_test APPEND PROPERTY LINK_LIBRARIES kivctl_report)
add_test(NAME host_end_to_end
  COMMAND bash "${CMAKE_CURRENT_SOURCE_DIR}/host_e2e.sh" "${CMAKE_BINARY_DIR}" "${CMAKE_CURRENT_SOURCE_DIR}")
set_tests_properties(host_end_to_end PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 600)
