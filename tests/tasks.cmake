# The scheduled task test hands the handler an in-process Task Scheduler 2.0 of its
# own, and counts the strings both sides allocate: with the BSTR cache off, every
# freed string goes back to the task allocator, where the test sees it.
target_sources(tasks_test PRIVATE "${CMAKE_CURRENT_SOURCE_DIR}/support/TaskServiceFake.cpp")
set_property(TEST tasks_test APPEND PROPERTY ENVIRONMENT "OANOCACHE=1")
# COM objects are freed through Release, never deleted through an interface
# pointer; the interfaces have no virtual destructor by design.
if(NOT MSVC)
  set_source_files_properties("${CMAKE_CURRENT_SOURCE_DIR}/support/TaskServiceFake.cpp"
    PROPERTIES COMPILE_OPTIONS "-Wno-non-virtual-dtor")
endif()
