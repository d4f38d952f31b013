# Runs the Windows test programs under Wine. Every test program runs in a Wine session
# of its own (scripts/wine-session.sh): a clone of one template prefix that a fixture
# makes once per test run, with its own wineserver, registry, service database, window
# list and virtual notebook. The 32-bit template (wine_template) serves most tests; the
# 64-bit one (wine_template64) the tests of the x64 drivers, with the 32-bit library and
# programs under WOW64.
enable_testing()

set(WINE_TEMPLATE_DIR ${CMAKE_BINARY_DIR}/wine-template)
set(WINE_TEMPLATE64_DIR ${CMAKE_BINARY_DIR}/wine-template64)
set(WINE_SESSIONS_DIR ${CMAKE_BINARY_DIR}/wine-sessions)
set(WINE_RUN ${CMAKE_SOURCE_DIR}/scripts/wine-run.sh)
set(WINE_SESSION ${CMAKE_SOURCE_DIR}/scripts/wine-session.sh)
set(CMAKE_CROSSCOMPILING_EMULATOR ${WINE_RUN})

# Static runtime so the binaries run on a bare Windows and need no mingw DLLs.
set(LW_STATIC_RUNTIME -static -static-libgcc -static-libstdc++)

# The fixture that makes a template prefix once per run and shuts it down at the end.
function(add_wine_template fixture environment)
  add_test(NAME ${fixture}_create COMMAND ${CMAKE_SOURCE_DIR}/scripts/wine-prefix.sh create)
  add_test(NAME ${fixture}_shutdown COMMAND ${CMAKE_SOURCE_DIR}/scripts/wine-prefix.sh shutdown)
  set_tests_properties(${fixture}_create PROPERTIES FIXTURES_SETUP ${fixture} ENVIRONMENT "${environment}")
  set_tests_properties(${fixture}_shutdown PROPERTIES FIXTURES_CLEANUP ${fixture} ENVIRONMENT "${environment}")
endfunction()

add_wine_template(wine_template "WINEPREFIX=${WINE_TEMPLATE_DIR}")
add_wine_template(wine_template64 "WINEPREFIX=${WINE_TEMPLATE64_DIR};WINE_PREFIX_ARCH=win64")

# add_wine_test(name [WIN64] [OWN_DISPLAY] COMMAND program args...) : a test program run
# under Wine in a session of its own, of the 32-bit template, or of the 64-bit one with
# WIN64; program is a target name or a path (generator expressions allowed). OWN_DISPLAY
# gives the session a virtual X display of its own, for a test that needs the X input
# focus to itself, and runs it with no other test beside it.
function(add_wine_test name)
  cmake_parse_arguments(WT "WIN64;OWN_DISPLAY" "" "COMMAND" ${ARGN})
  list(POP_FRONT WT_COMMAND program)
  if(TARGET ${program})
    set(program $<TARGET_FILE:${program}>)
  endif()
  set(display)
  if(WT_OWN_DISPLAY)
    set(display xvfb-run -a -s "-screen 0 1280x1024x24")
  endif()
  add_test(NAME ${name} COMMAND ${display} ${WINE_SESSION} ${name} ${program} ${WT_COMMAND})
  if(WT_OWN_DISPLAY)
    # The X input focus is given late, or not at all, while every core is busy.
    set_tests_properties(${name} PROPERTIES RUN_SERIAL TRUE)
  endif()
  if(WT_WIN64)
    set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine_template64 TIMEOUT 600
      ENVIRONMENT "WINE_TEMPLATE=${WINE_TEMPLATE64_DIR};WINE_SESSIONS=${WINE_SESSIONS_DIR};WINE_PREFIX_ARCH=win64")
  else()
    set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine_template TIMEOUT 600
      ENVIRONMENT "WINE_TEMPLATE=${WINE_TEMPLATE_DIR};WINE_SESSIONS=${WINE_SESSIONS_DIR}")
  endif()
endfunction()
