# The command-line host of the Gamma build on its simulated camera: the new
# setting is set, read, listed, checked against its range and saved in the
# settings file, with nothing of its own in the host.
#   cmake -DVEXQ4=<gamma vexq4> -DWORK=<scratch folder> -P cli_check.cmake
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
file(WRITE ${WORK}/commands.txt
     "set Gamma=2\nget Gamma\nsave-settings ${WORK}/gamma.cam\nlist\nset Gamma=3\nget Gamma\n")
execute_process(COMMAND ${VEXQ4} --sim --fast-reads --no-progress shell
                INPUT_FILE ${WORK}/commands.txt
                OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE status TIMEOUT 80)

function(fail what)
  message(FATAL_ERROR "${what}\n-- standard output:\n${out}\n-- standard error:\n${err}")
endfunction()

string(REGEX MATCHALL "Gamma=[0-9]+" values "${out}")
# get, list and the get after the refused set: the value set first, each time.
if(NOT values STREQUAL "Gamma=2;Gamma=2;Gamma=2")
  fail("Gamma is not read back, listed and kept as set")
endif()
string(FIND "${err}" "Gamma" named)
if(named EQUAL -1)
  fail("the refused Gamma=3 is not reported by name")
endif()
if(status EQUAL 0)
  fail("a session with a refused set ends as if all went well")
endif()
# As bytes: CR LF line ends and all.
file(READ ${WORK}/gamma.cam saved)
file(READ ${WORK}/gamma.cam bytes HEX)
string(HEX "Shading Mode=1\r\nGamma=2\r\n" expected)
string(FIND "${bytes}" "${expected}" at)
if(at EQUAL -1)
  fail("the settings file does not keep Gamma after Shading Mode:\n${saved}")
endif()
