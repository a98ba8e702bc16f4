# SPDX-License-Identifier: GPL-3.0-or-later
# Runs the core-only program (PROGRAM) on a score (SCORE) into OUT, then
# fails if the program links Qt Widgets or any module built on it.
#   cmake -DPROGRAM=... -DSCORE=... -DOUT=... -P check_core_only.cmake
file(REMOVE_RECURSE "${OUT}")
file(MAKE_DIRECTORY "${OUT}/data")
set(ENV{KELVO_DATA_DIR} "${OUT}/data")
execute_process(COMMAND "${PROGRAM}" "${OUT}/pages" --format svg "${SCORE}"
  RESULT_VARIABLE result ERROR_VARIABLE errors TIMEOUT 120)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "the core-only program failed (${result}):\n${errors}")
endif()
file(GLOB_RECURSE pages "${OUT}/pages/*.svg")
if(NOT pages)
  message(FATAL_ERROR "the core-only program wrote no page into ${OUT}/pages")
endif()

execute_process(COMMAND ldd "${PROGRAM}"
  RESULT_VARIABLE result OUTPUT_VARIABLE libraries ERROR_VARIABLE errors)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "ldd failed on ${PROGRAM}: ${errors}")
endif()
if(NOT libraries MATCHES "libQt6Core")
  message(FATAL_ERROR "ldd output names no Qt library; cannot judge:\n${libraries}")
endif()
string(REGEX MATCHALL "libQt6(Widgets|PrintSupport|SvgWidgets|OpenGLWidgets)[^ \t\n]*"
  widgets "${libraries}")
if(widgets)
  message(FATAL_ERROR "the core library pulls in widget libraries: ${widgets}\n${libraries}")
endif()
list(LENGTH pages count)
message(STATUS "core-only program: ${count} page(s), no widget library")
