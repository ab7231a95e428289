# Installs the build into a scratch prefix, checks the files an integrator
# and a desktop expect there, then builds a small outside project against
# the installed package (CMake and pkg-config) and runs what it built.
#   cmake -DBUILD_DIR=... -DSOURCE_DIR=... -DWORK_DIR=... [-DEXTRA_FLAGS=...]
#         [-DC_COMPILER=... -DCXX_COMPILER=...] -P install_test.cmake
cmake_minimum_required(VERSION 3.25)
foreach(var BUILD_DIR SOURCE_DIR WORK_DIR)
  if(NOT ${var})
    message(FATAL_ERROR "${var} is not set")
  endif()
endforeach()

function(run what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${what} failed (${status}):\n${out}\n${err}")
  endif()
  set(run_output "${out}" PARENT_SCOPE)
endfunction()

function(expect_file path)
  if(NOT EXISTS "${path}")
    message(FATAL_ERROR "not installed: ${path}")
  endif()
endfunction()

set(prefix ${WORK_DIR}/prefix)
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR}/home ${WORK_DIR}/vendors)
run("cmake --install" ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})

# Where things land (GNU layout; a multiarch libdir only for /usr).
file(GLOB_RECURSE config LIST_DIRECTORIES false "${prefix}/VexQ4Config.cmake")
file(GLOB_RECURSE plugin LIST_DIRECTORIES false "${prefix}/libvexq4_designer.so")
if(NOT config OR NOT plugin)
  message(FATAL_ERROR "no CMake package (${config}) or Designer plugin (${plugin}) under ${prefix}")
endif()
get_filename_component(libdir ${config} DIRECTORY)
get_filename_component(libdir ${libdir}/../.. ABSOLUTE)
foreach(file
    ${libdir}/libVexQ4Comm.so ${libdir}/liblinkport.so ${libdir}/libXVexQ4.so
    ${libdir}/pkgconfig/VexQ4Comm.pc ${libdir}/pkgconfig/linkport.pc ${libdir}/pkgconfig/XVexQ4.pc
    ${prefix}/include/vexq4/VexQ4Comm.h ${prefix}/include/vexq4/linkport.h
    ${prefix}/include/vexq4/control/XVexCamCtrl.h ${prefix}/include/vexq4/model/VexCamInterface.h
    ${prefix}/include/vexq4/model/settings.h ${prefix}/include/vexq4/model/status.h
    ${prefix}/include/vexq4/model/settings_compare.h
    ${prefix}/bin/vexq4-studio ${prefix}/bin/vexq4
    ${prefix}/share/applications/vexq4-studio.desktop
    ${prefix}/share/icons/hicolor/scalable/apps/vexq4-studio.svg)
  expect_file(${file})
endforeach()
# Only the public headers: the windows' and frames' classes stay inside.
foreach(file tool_windows.h ui_services.h controls.h progress.h main_strip.h)
  if(EXISTS ${prefix}/include/vexq4/control/${file})
    message(FATAL_ERROR "an internal header is installed: ${file}")
  endif()
endforeach()
file(STRINGS ${prefix}/share/applications/vexq4-studio.desktop desktop)
foreach(line "Exec=vexq4-studio" "Icon=vexq4-studio" "Type=Application")
  if(NOT line IN_LIST desktop)
    message(FATAL_ERROR "the .desktop file lacks ${line}")
  endif()
endforeach()

# The installed program finds its libraries.
run("installed vexq4-studio --help" ${prefix}/bin/vexq4-studio --help)

# The outside project, built with the same compilers and flags.
set(configure ${CMAKE_COMMAND} -S ${SOURCE_DIR}/tests/studio/consumer -B ${WORK_DIR}/consumer
    -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_PREFIX_PATH=${prefix})
if(C_COMPILER)
  list(APPEND configure -DCMAKE_C_COMPILER=${C_COMPILER} -DCMAKE_CXX_COMPILER=${CXX_COMPILER})
endif()
if(EXTRA_FLAGS)
  list(APPEND configure "-DCMAKE_C_FLAGS=${EXTRA_FLAGS}" "-DCMAKE_CXX_FLAGS=${EXTRA_FLAGS}"
       "-DCMAKE_EXE_LINKER_FLAGS=${EXTRA_FLAGS}")
endif()
run("configuring the outside project" ${CMAKE_COMMAND} -E env PKG_CONFIG_PATH=${libdir}/pkgconfig ${configure})
run("building the outside project" ${CMAKE_COMMAND} --build ${WORK_DIR}/consumer)

set(env QT_QPA_PLATFORM=offscreen VEXQ4_PROFILE_DIR=${WORK_DIR}/home VEXQ4_REGISTRY_DIR=${WORK_DIR}/home/registry
    XDG_RUNTIME_DIR=${WORK_DIR}/home VEXQ4_COM1=${WORK_DIR}/no-camera VEXQ4_SYSTEM_DIR=${WORK_DIR}/vendors)
run("the form with the control" ${CMAKE_COMMAND} -E env ${env} ${WORK_DIR}/consumer/camera_form ${plugin})
message(STATUS "${run_output}")
if(NOT run_output MATCHES "control CXVexCamCtrl: 172 members, master gain -132..429 \\(0\\)")
  message(FATAL_ERROR "the form's control answered:\n${run_output}")
endif()
if(NOT run_output MATCHES "plugin CXVexCamCtrl: CXVexCamCtrl")
  message(FATAL_ERROR "the installed Designer plugin did not create the control:\n${run_output}")
endif()
run("the C program" ${CMAKE_COMMAND} -E env ${env} ${WORK_DIR}/consumer/list_grabbers)
message(STATUS "${run_output}")

# The Python package, where it was built: found by the interpreter below the
# prefix, and its module finds the installed libVexQ4Comm.so.
if(PYTHON)
  file(GLOB_RECURSE module LIST_DIRECTORIES false "${prefix}/_vexq4*.so")
  if(NOT module)
    message(FATAL_ERROR "the Python package vexq4 is not installed under ${prefix}")
  endif()
  get_filename_component(package ${module} DIRECTORY)
  get_filename_component(site ${package} DIRECTORY)
  foreach(file __init__.py __init__.pyi _base.py py.typed)
    expect_file(${package}/${file})
  endforeach()
  run("import vexq4 from the installed package" ${CMAKE_COMMAND} -E env PYTHONPATH=${site}
      ${PYTHON_ENV} ${PYTHON} -c
      "import vexq4\nc = vexq4.Camera(sim=True, fast_reads=True)\nprint(vexq4.__file__, c.identity().model_name)\nc.close()")
  message(STATUS "${run_output}")
  if(NOT run_output MATCHES "^${site}/vexq4/__init__.py RX-Q4CL")
    message(FATAL_ERROR "the installed package answered:\n${run_output}")
  endif()
endif()
