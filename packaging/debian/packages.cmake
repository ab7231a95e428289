# The Debian packages, made by CPack's DEB generator from the install
# components: `cpack --config CPackConfig.cmake` in a build configured for
# /usr (the preset "package"; scripts/package does both). Dependencies on
# the system's libraries are computed from the binaries (dpkg-shlibdeps);
# those between our own packages are written here.
#
# vexq4_package_components: pairs of a package name and the list of its
# install components separated by ':', the first package being the one that
# takes any component not named.

# Every package carries its copyright and changelog, as Debian wants.
# (The date follows SOURCE_DATE_EPOCH when it is set.)
string(TIMESTAMP VEXQ4_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
set(doc_dir ${CMAKE_CURRENT_BINARY_DIR}/doc)
configure_file(${CMAKE_CURRENT_LIST_DIR}/copyright.in ${doc_dir}/copyright @ONLY)
configure_file(${CMAKE_CURRENT_LIST_DIR}/changelog.in ${doc_dir}/changelog @ONLY)
add_custom_command(OUTPUT ${doc_dir}/changelog.gz
  COMMAND gzip -9nc ${doc_dir}/changelog > ${doc_dir}/changelog.gz
  DEPENDS ${doc_dir}/changelog
  COMMENT "Debian changelog")
add_custom_target(debian_changelog ALL DEPENDS ${doc_dir}/changelog.gz)

set(packages "")
set(known_components "")
list(LENGTH vexq4_package_components count)
math(EXPR last "${count} - 1")
foreach(i RANGE 0 ${last} 2)
  math(EXPR j "${i} + 1")
  list(GET vexq4_package_components ${i} package)
  list(GET vexq4_package_components ${j} components)
  string(REPLACE ":" ";" components "${components}")
  list(APPEND packages ${package})
  string(TOUPPER ${package} group)
  string(REPLACE "-" "_" group ${group})
  set(group_of_${package} ${group})
  foreach(component ${components})
    set(component_group_${component} ${group})
    list(APPEND known_components ${component})
  endforeach()
  # The package's own documents go with its first component.
  list(GET components 0 first)
  install(FILES ${doc_dir}/copyright ${doc_dir}/changelog.gz
          DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package} COMPONENT ${first})
endforeach()
list(GET packages 0 main_package)

# CPack takes the components declared so far: this file is read last.
get_cmake_property(all_components COMPONENTS)
foreach(component ${all_components})
  if(NOT DEFINED component_group_${component})
    message(WARNING "install component \"${component}\" belongs to no Debian package; "
                    "it goes into ${main_package} (packaging/CMakeLists.txt names them)")
    set(component_group_${component} ${group_of_${main_package}})
  endif()
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vexq4)
set(CPACK_PACKAGE_VENDOR "RX-Q4 maintainers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${VEXQ4_MAINTAINER}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING ONE_PER_GROUP)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR}/lib)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_COMPONENTS_ALL ${all_components})

set(same_version "(= ${PROJECT_VERSION})")
set(CPACK_DEBIAN_VEXQ4_PACKAGE_NAME vexq4)
set(CPACK_DEBIAN_VEXQ4_PACKAGE_SECTION science)
set(CPACK_DEBIAN_VEXQ4_DESCRIPTION
"RX-Q4 camera: command-line host, simulator, libraries, GenICam bridge
Sets up the RX-Q4 three-sensor RGB industrial camera over its serial line
(a serial port, a USB adapter, a serial device server or a Camera Link
frame grabber). Contains vexq4, the command-line host; vexq4-sim, a
simulated camera on a pseudo-terminal; the libraries libVexQ4Comm,
liblinkport and libXVexQ4; the camera's GenApi description and the
systemd unit template that serves a camera to GenICam tools with
vexq4 gige-bridge.")
set(CPACK_DEBIAN_VEXQ4_PACKAGE_SUGGESTS "vexq4-studio, python3-vexq4")
# The libraries are in the system's library folder: ldconfig runs by trigger.
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/vexq4-control/triggers "activate-noawait ldconfig\n")
set(CPACK_DEBIAN_VEXQ4_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_BINARY_DIR}/vexq4-control/triggers)

set(CPACK_DEBIAN_VEXQ4_STUDIO_PACKAGE_NAME vexq4-studio)
set(CPACK_DEBIAN_VEXQ4_STUDIO_PACKAGE_SECTION science)
set(CPACK_DEBIAN_VEXQ4_STUDIO_PACKAGE_DEPENDS "vexq4 ${same_version}")
set(CPACK_DEBIAN_VEXQ4_STUDIO_DESCRIPTION
"RX-Q4 camera: desktop program and Qt Designer plugin
vexq4-studio hosts the RX-Q4 camera control on the desktop: its strip,
the Shutter, Gain, Communication and About windows, an event log and a
member browser, and a script mode. Contains the operator's guide (PDF,
opened by F1), the menu entry and icon, and the Qt Designer plugin that
puts the control on a form.")

set(CPACK_DEBIAN_PYTHON3_VEXQ4_PACKAGE_NAME python3-vexq4)
set(CPACK_DEBIAN_PYTHON3_VEXQ4_PACKAGE_SECTION python)
set(python_depends "vexq4 ${same_version}")
# The extension module is built for one interpreter version.
if(VEXQ4_PYTHON_VERSION MATCHES "^([0-9]+)\\.([0-9]+)")
  math(EXPR next_minor "${CMAKE_MATCH_2} + 1")
  string(APPEND python_depends ", python3 (>= ${CMAKE_MATCH_1}.${CMAKE_MATCH_2}~)"
                               ", python3 (<< ${CMAKE_MATCH_1}.${next_minor})")
endif()
set(CPACK_DEBIAN_PYTHON3_VEXQ4_PACKAGE_DEPENDS "${python_depends}")
set(CPACK_DEBIAN_PYTHON3_VEXQ4_DESCRIPTION
"RX-Q4 camera: Python package vexq4
import vexq4 gives the RX-Q4 camera to production-line scripts and test
benches: settings by name, settings files, shading tables, and a
simulated camera.")

set(CPACK_DEBIAN_VEXQ4_DEV_PACKAGE_NAME vexq4-dev)
set(CPACK_DEBIAN_VEXQ4_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_VEXQ4_DEV_PACKAGE_DEPENDS "vexq4 ${same_version}, qt6-base-dev")
set(CPACK_DEBIAN_VEXQ4_DEV_DESCRIPTION
"RX-Q4 camera: development files of its libraries
Headers of libVexQ4Comm (C), liblinkport (C) and libXVexQ4 (C++, Qt 6),
the CMake package VexQ4 (find_package(VexQ4)) and pkg-config files.")

include(CPack)
foreach(package ${packages})
  cpack_add_component_group(${group_of_${package}})
endforeach()
foreach(component ${all_components})
  cpack_add_component(${component} GROUP ${component_group_${component}})
endforeach()
