# The hidden task test hands the scheduler's enumeration the in-process Task
# Scheduler 2.0 of the scheduled task test where it needs the scheduler to list a task.
target_sources(hiddentasks_test PRIVATE "${CMAKE_CURRENT_SOURCE_DIR}/support/TaskServiceFake.cpp")
if(NOT MSVC)
  set_source_files_properties("${CMAKE_CURRENT_SOURCE_DIR}/support/TaskServiceFake.cpp"
    TARGET_DIRECTORY hiddentasks_test PROPERTIES COMPILE_OPTIONS "-Wno-non-virtual-dtor")
endif()
