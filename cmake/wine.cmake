# Runs the Windows test programs under Wine, in a 32-bit prefix of this build tree.
# One prefix per build tree: created once by the wine_prefix fixture, shut down at the end.
enable_testing()

set(WINE_PREFIX_DIR ${CMAKE_BINARY_DIR}/wineprefix)
set(WINE_RUN ${CMAKE_SOURCE_DIR}/scripts/wine-run.sh)
set(CMAKE_CROSSCOMPILING_EMULATOR ${WINE_RUN})

# Static runtime so the binaries run on a bare Windows and need no mingw DLLs.
set(LW_STATIC_RUNTIME -static -static-libgcc -static-libstdc++)

add_test(NAME wine_prefix_create COMMAND ${CMAKE_SOURCE_DIR}/scripts/wine-prefix.sh create)
add_test(NAME wine_prefix_shutdown COMMAND ${CMAKE_SOURCE_DIR}/scripts/wine-prefix.sh shutdown)
set_tests_properties(wine_prefix_create PROPERTIES FIXTURES_SETUP wine_prefix
                     ENVIRONMENT "WINEPREFIX=${WINE_PREFIX_DIR}")
set_tests_properties(wine_prefix_shutdown PROPERTIES FIXTURES_CLEANUP wine_prefix
                     ENVIRONMENT "WINEPREFIX=${WINE_PREFIX_DIR}")

# add_wine_test(name COMMAND program args... [NEEDS_DRIVER]) : a test run under Wine;
# program is a target name or a path (generator expressions allowed).
# NEEDS_DRIVER tests share the virtual notebook's driver and run one at a time.
function(add_wine_test name)
  cmake_parse_arguments(WT "NEEDS_DRIVER" "" "COMMAND" ${ARGN})
  list(POP_FRONT WT_COMMAND program)
  if(TARGET ${program})
    set(program $<TARGET_FILE:${program}>)
  endif()
  add_test(NAME ${name} COMMAND ${WINE_RUN} ${program} ${WT_COMMAND})
  set(props FIXTURES_REQUIRED wine_prefix ENVIRONMENT "WINEPREFIX=${WINE_PREFIX_DIR}" TIMEOUT 600)
  if(WT_NEEDS_DRIVER)
    list(APPEND props RESOURCE_LOCK vnotebook_driver)
  endif()
  set_tests_properties(${name} PROPERTIES ${props})
endfunction()
