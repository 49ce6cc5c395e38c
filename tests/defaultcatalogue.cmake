# The shipped catalogue and whitelist lie beside the test program, as beside a host.
# The test writes into the machine's own autostart places, which other tests read,
# so it runs alone; AutoPlay's places need the removable and CD drives of the
# autorun fixture.
foreach(datafile kivdata.dat kivwl.dat)
  configure_file("${CMAKE_SOURCE_DIR}/data/${datafile}"
    "${CMAKE_BINARY_DIR}/tests/defaultcatalogue_test/${datafile}" COPYONLY)
endforeach()
set_tests_properties(defaultcatalogue_test PROPERTIES RUN_SERIAL TRUE FIXTURES_REQUIRED "wine;autorun_drive")
