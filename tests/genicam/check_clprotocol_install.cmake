# Installs the `genicam` component of BUILD_DIR into PREFIX and fails unless
# EXPECTED (relative to PREFIX) came with it, the CLProtocol library in the
# folder GENICAM_CLPROTOCOL names, platform subfolder, and no other library
# in that folder.
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --component genicam
                        --prefix ${PREFIX}
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "install failed:\n${out}${err}")
endif()
file(GLOB_RECURSE installed RELATIVE ${PREFIX} ${PREFIX}/*)
get_filename_component(folder ${EXPECTED} DIRECTORY)
set(in_folder ${installed})
list(FILTER in_folder INCLUDE REGEX "^${folder}/")
if(NOT in_folder STREQUAL EXPECTED)
  message(FATAL_ERROR "installed:\n  ${installed}\nexpected in ${folder}:\n  ${EXPECTED}")
endif()
file(REMOVE_RECURSE ${PREFIX})
