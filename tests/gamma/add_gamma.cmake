# Makes the edits of docs/adding-a-setting.md for its example, "Gamma"
# (mnemonic GM, code 55, 0 to 2, in the Gain window, the settings file and
# the report), on copies of the product files:
#   cmake -DSOURCE=<tree> -DOUT=<folder> -DFILE=<path in the tree> -P add_gamma.cmake
# writes <folder>/<path> edited (or copied, for the files the build needs
# beside an edited one). An edit whose place is not found stops the build:
# the document no longer says how to add a setting.

cmake_minimum_required(VERSION 3.25)

function(edit variable pattern replacement)
  string(REGEX REPLACE "${pattern}" "${replacement}" edited "${${variable}}")
  if(edited STREQUAL "${${variable}}")
    message(FATAL_ERROR "${FILE}: the place for Gamma was not found (${pattern}); "
                        "docs/adding-a-setting.md and tests/gamma/add_gamma.cmake need updating")
  endif()
  set(${variable} "${edited}" PARENT_SCOPE)
endfunction()

file(READ ${SOURCE}/${FILE} text)

if(FILE STREQUAL "comm/include/VexQ4Comm.h")
  # 1. The parameter's row, last in the list; the enum's code and the
  # library's table are made from it.
  edit(text "(\n  X\\([A-Z0-9]+, [0-9]+, [A-Z_]+\\)[^\n]*)\n\n"
       "\\1 \\\\\n  X(GM, 55, BOTH) /* gamma */\n\n")
elseif(FILE STREQUAL "control/model/include/vexq4/model/settings.h")
  # 2. The row, last of the notifications; its mnemonic in the transfer order.
  edit(text "(\\.reportLabel = \"Auto White Area\"\\))\n"
       "\\1 \\\\\n  RANGED(GammaChanged, Gamma, GM, .min = 0, .max = 2, .meaning = \"gamma correction\", \\\\\n         .dispid = 127, .eventDispid = 46, .minMaxDispid = 128, \\\\\n         .window = Window::kGain, .key = \"Gamma\", .profileDefault = 1, .reportLabel = \"Gamma\")\n")
  edit(text "\"SDM\"}\\);" "\"SDM\", \"GM\"});")
elseif(FILE STREQUAL "sim/src/sim_camera.cpp")
  # 3. The simulated camera's register and factory value.
  edit(text "(\\{\"WPB3\", -?[0-9]+\\},)" "\\1 {\"GM\", 1},")
endif()

# Rewritten only when it changes, so that an unchanged edit rebuilds nothing.
file(WRITE ${OUT}/${FILE}.new "${text}")
file(COPY_FILE ${OUT}/${FILE}.new ${OUT}/${FILE} ONLY_IF_DIFFERENT)
file(REMOVE ${OUT}/${FILE}.new)
