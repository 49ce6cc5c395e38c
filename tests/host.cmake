# kivctl's listing formats, and the host run end to end under Wine.
set_property(TARGET host_test APPEND PROPERTY LINK_LIBRARIES kivctl_report)
add_test(NAME host_end_to_end
  COMMAND bash "${CMAKE_CURRENT_SOURCE_DIR}/host_e2e.sh" "${CMAKE_BINARY_DIR}" "${CMAKE_CURRENT_SOURCE_DIR}")
set_tests_properties(host_end_to_end PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 600)

# Signatures, filters and diffs of the host under Wine, with files signed under a
# test authority that a helper adds to the prefix's trusted roots.
add_executable(host_trustroot support/TrustRoot.cpp)
target_include_directories(host_trustroot PRIVATE "${CMAKE_SOURCE_DIR}/src")
target_link_libraries(host_trustroot PRIVATE crypt32)
set_target_properties(host_trustroot PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/tests/host_trustroot")
if(MINGW)
  target_link_options(host_trustroot PRIVATE -municode)
endif()
add_test(NAME host_signatures_and_diff
  COMMAND bash "${CMAKE_CURRENT_SOURCE_DIR}/host_signatures_e2e.sh" "${CMAKE_BINARY_DIR}" "${CMAKE_CURRENT_SOURCE_DIR}")
set_tests_properties(host_signatures_and_diff PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 600)
