# A library named like the system's file protection library lies beside the test
# program, where the DLL search order would find it before the system folder.
add_library(fakesfc SHARED "${CMAKE_CURRENT_SOURCE_DIR}/sigvault/fakesfc.c")
set_target_properties(fakesfc PROPERTIES PREFIX "" OUTPUT_NAME sfc
  RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/tests/sigvault_test")
add_dependencies(sigvault_test fakesfc)
