# What `cmake --install` adds for integrators besides the files the folders
# install themselves: the CMake package VexQ4 (find_package(VexQ4) gives the
# imported targets VexQ4::VexQ4Comm, VexQ4::linkport and VexQ4::XVexQ4) and
# one pkg-config file per library. Both are relocatable: they find the
# prefix from their own place, so `cmake --install build --prefix DIR`
# works for any DIR.
include(CMakePackageConfigHelpers)

set(VEXQ4_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/VexQ4)
install(EXPORT VexQ4Targets NAMESPACE VexQ4:: DESTINATION ${VEXQ4_CMAKE_DIR} COMPONENT dev)
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/VexQ4Config.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/VexQ4Config.cmake
  INSTALL_DESTINATION ${VEXQ4_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/VexQ4ConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMinorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/VexQ4Config.cmake
              ${CMAKE_CURRENT_BINARY_DIR}/VexQ4ConfigVersion.cmake
        DESTINATION ${VEXQ4_CMAKE_DIR} COMPONENT dev)

# pkg-config: the prefix is found from the file's folder (${pcfiledir}).
set(VEXQ4_PC_DIR ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
file(RELATIVE_PATH VEXQ4_PC_TO_PREFIX /prefix/${VEXQ4_PC_DIR} /prefix)
string(REGEX REPLACE "/$" "" VEXQ4_PC_TO_PREFIX "${VEXQ4_PC_TO_PREFIX}")
foreach(library VexQ4Comm linkport XVexQ4)
  configure_file(${CMAKE_CURRENT_LIST_DIR}/pkgconfig/${library}.pc.in
                 ${CMAKE_CURRENT_BINARY_DIR}/pkgconfig/${library}.pc @ONLY)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/pkgconfig/${library}.pc DESTINATION ${VEXQ4_PC_DIR}
          COMPONENT dev)
endforeach()
