# The golden cases on Windows: the windows preset cross-builds nmkite.exe and ofdump.exe (in build/windows
# of the source tree), and the cases run them under wine, in a wine prefix of this build tree's own.
# Windows ends the lines of the text streams with CR LF; the golden runner compares them with LF.
# Sets golden_tool, golden_ofdump, golden_tool_target, golden_runner and golden_text_mode for
# tests/CMakeLists.txt.
find_program(NMKITE_WINE NAMES wine64 wine PATHS /usr/lib/wine DOC "wine, to run the Windows build")
if(NOT NMKITE_WINE)
  message(FATAL_ERROR "NMKITE_GOLDEN_WINDOWS needs wine (Debian: wine64)")
endif()

set(windows_tool ${PROJECT_SOURCE_DIR}/build/windows/nm/nmkite.exe)
set(windows_ofdump ${PROJECT_SOURCE_DIR}/build/windows/tools/ofdump/ofdump.exe)
add_custom_target(nmkite_windows
  COMMAND ${CMAKE_COMMAND} --preset windows
  COMMAND ${CMAKE_COMMAND} --build --preset windows --target nmkite ofdump
  WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
  BYPRODUCTS ${windows_tool} ${windows_ofdump}
  COMMENT "Cross-building nmkite.exe and ofdump.exe with the windows preset"
  USES_TERMINAL VERBATIM)

# wine keeps its state in a prefix; making one takes seconds, so it is made once, at build time.
set(wine_prefix ${CMAKE_CURRENT_BINARY_DIR}/wine-prefix)
set(wine_runner ${CMAKE_CURRENT_BINARY_DIR}/run-under-wine)
file(CONFIGURE OUTPUT ${wine_runner} @ONLY CONTENT [=[#!/bin/sh
# Runs a Windows program under wine, quietly, in the golden tests' own wine prefix.
WINEPREFIX='@wine_prefix@' WINEDEBUG=-all exec '@NMKITE_WINE@' "$@"
]=])
file(CHMOD ${wine_runner} PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
     WORLD_READ WORLD_EXECUTE)
add_custom_command(OUTPUT ${wine_prefix}/.made
  COMMAND ${wine_runner} wineboot --init
  COMMAND ${CMAKE_COMMAND} -E touch ${wine_prefix}/.made
  COMMENT "Making the wine prefix of the golden tests"
  VERBATIM)
add_custom_target(wine_prefix DEPENDS ${wine_prefix}/.made)
add_dependencies(nmkite_windows wine_prefix)

# One wine server for the whole run: a server that stops when its last program ends resets the connection
# of a program starting at that moment ("recvmsg: Connection reset by peer"), so the cases share one that
# stays until the run is over.
find_program(NMKITE_WINESERVER NAMES wineserver wineserver64 PATHS /usr/lib/wine DOC "wine's server")
set(golden_properties "")
if(NMKITE_WINESERVER)
  add_test(NAME wine_server_start COMMAND sh -c
           "WINEPREFIX='${wine_prefix}' '${NMKITE_WINESERVER}' -k 2>/dev/null; WINEPREFIX='${wine_prefix}' exec '${NMKITE_WINESERVER}' -p </dev/null >/dev/null 2>&1")
  add_test(NAME wine_server_stop COMMAND sh -c "WINEPREFIX='${wine_prefix}' '${NMKITE_WINESERVER}' -k || true")
  set_tests_properties(wine_server_start PROPERTIES FIXTURES_SETUP wine_server)
  set_tests_properties(wine_server_stop PROPERTIES FIXTURES_CLEANUP wine_server)
  set(golden_properties PROPERTIES FIXTURES_REQUIRED wine_server)
endif()

set(golden_tool ${windows_tool})
set(golden_ofdump ${windows_ofdump})
set(golden_tool_target nmkite_windows)
set(golden_runner ${wine_runner})
set(golden_text_mode 1)
