# Installs the `genicam` component of BUILD_DIR into PREFIX and fails unless
# exactly one file came: EXPECTED (relative to PREFIX), the CLProtocol
# library in the folder GENICAM_CLPROTOCOL names, platform subfolder.
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --component genicam
                        --prefix ${PREFIX}
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "install failed:\n${out}${err}")
endif()
file(GLOB_RECURSE installed RELATIVE ${PREFIX} ${PREFIX}/*)
if(NOT installed STREQUAL EXPECTED)
  message(FATAL_ERROR "installed:\n  ${installed}\nexpected:\n  ${EXPECTED}")
endif()
file(REMOVE_RECURSE ${PREFIX})
