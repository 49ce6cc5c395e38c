# What a host developer gets: `cmake --install` (or the zip that `cpack` makes)
# lays out bin/ (the DLLs, kivctl.exe and the default data files), lib/ (the
# import libraries and the CMake package for find_package(kiv)), include/kiv.h,
# the README and the licence.
include(CMakePackageConfigHelpers)

set(KIV_PACKAGE_PROGRAMS kiv Hubcore Sigvault kivctl)
if(TARGET kivgui)
  list(APPEND KIV_PACKAGE_PROGRAMS kivgui)
endif()
install(TARGETS ${KIV_PACKAGE_PROGRAMS} RUNTIME DESTINATION bin ARCHIVE DESTINATION lib)
# The module imports Hubcore.dll by ordinal; hosts that do the same link this one.
get_target_property(KIV_HUBCORE_ORDINAL_IMPLIB hubcore_import INTERFACE_LINK_LIBRARIES)
install(FILES ${KIV_HUBCORE_ORDINAL_IMPLIB} DESTINATION lib)
install(FILES "${CMAKE_SOURCE_DIR}/data/kivdata.dat" "${CMAKE_SOURCE_DIR}/data/kivwl.dat" DESTINATION bin)
install(FILES "${CMAKE_SOURCE_DIR}/include/kiv.h" DESTINATION include)
install(FILES "${CMAKE_SOURCE_DIR}/README.md" "${CMAKE_SOURCE_DIR}/LICENSE" DESTINATION .)

set(KIV_IMPORT_LIBRARY "${CMAKE_IMPORT_LIBRARY_PREFIX}kiv${CMAKE_IMPORT_LIBRARY_SUFFIX}")
configure_file("${CMAKE_SOURCE_DIR}/cmake/kivConfig.cmake.in" "${CMAKE_BINARY_DIR}/package/kivConfig.cmake" @ONLY)
write_basic_package_version_file("${CMAKE_BINARY_DIR}/package/kivConfigVersion.cmake"
  VERSION "${PROJECT_VERSION}" COMPATIBILITY SameMajorVersion)
install(FILES "${CMAKE_BINARY_DIR}/package/kivConfig.cmake" "${CMAKE_BINARY_DIR}/package/kivConfigVersion.cmake"
  DESTINATION lib/cmake/kiv)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME kiv)
set(CPACK_PACKAGE_VENDOR "the kiv developers")
set(CPACK_PACKAGE_FILE_NAME "kiv-${PROJECT_VERSION}-win64")
set(CPACK_RESOURCE_FILE_LICENSE "${CMAKE_SOURCE_DIR}/LICENSE")
include(CPack)
