# The window host's list rules, and the window itself driven end to end under Wine
# on the virtual display. The runner script takes the picture of the window that the
# README shows, when the test asks for it.
set_property(TARGET gui_model_test APPEND PROPERTY LINK_LIBRARIES kivgui_model)

add_executable(gui_window gui_window.cpp)
target_link_libraries(gui_window PRIVATE kivtestsupport kivgui_model GTest::gtest_main)
set(KIV_GUI_TEST_DIR "${CMAKE_BINARY_DIR}/tests/gui_window")
set_target_properties(gui_window PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${KIV_GUI_TEST_DIR}")
# Copied on every build (not only when the test program is linked again), so the
# test always drives the window and module just built.
add_custom_target(gui_window_files ALL
  COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:Hubcore> $<TARGET_FILE:Sigvault>
          $<TARGET_FILE:kiv> $<TARGET_FILE:kivgui> "${KIV_GUI_TEST_DIR}"
  VERBATIM)
add_dependencies(gui_window_files kivgui kiv Hubcore Sigvault)
add_dependencies(gui_window gui_window_files)
add_test(NAME gui_window
  COMMAND bash "${CMAKE_CURRENT_SOURCE_DIR}/gui_window.sh" "${CMAKE_BINARY_DIR}" "${CMAKE_CURRENT_SOURCE_DIR}")
set_tests_properties(gui_window PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 300 RUN_SERIAL TRUE
  PASS_REGULAR_EXPRESSION "\\[  PASSED  \\]"
  FAIL_REGULAR_EXPRESSION "\\[  FAILED  \\]")
