# Libraries that carry nothing but resources (version information, an icon) for the
# file-facts and version reader tests: Wine's own programs have no version
# resource. Each test program gets its own copies beside itself, named
# kivff_<name>.dll.
set(KIV_FILEFACTS_DIR "${CMAKE_CURRENT_SOURCE_DIR}/filefacts")

function(kiv_filefacts_resources test)
  foreach(name ${ARGN})
    set(target ${test}_kivff_${name})
    add_library(${target} MODULE "${KIV_FILEFACTS_DIR}/${name}.rc" "${KIV_FILEFACTS_DIR}/resource_only.c")
    target_include_directories(${target} PRIVATE "${KIV_FILEFACTS_DIR}")
    set_target_properties(${target} PROPERTIES
      PREFIX "" OUTPUT_NAME kivff_${name}
      LIBRARY_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/tests/${test}")
    add_dependencies(${test} ${target})
  endforeach()
endfunction()

kiv_filefacts_resources(fileversion_test multi neutral wrongtable fixedonly handmade large)
kiv_filefacts_resources(filefacts_test multi large fixedonly)
kiv_filefacts_resources(hiddenstarts_test multi)
