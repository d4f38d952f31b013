# ship_binary(target [USER_MODE]) : makes a binary ready to ship: no symbols or debug
# sections, no link time stamp (the same sources build to the same bytes), and for
# user-mode binaries no import that Windows XP SP3 lacks (see shipping/xp_tick_count.c).
# The version block comes from a small resource script of the binary's own that
# defines VB_* and includes shipping/version_block.rc.
# The shipped targets and files are gathered in the global properties SHIPPED_TARGETS
# and SHIPPED_FILES, which the tests of tests/shipping check.
function(ship_binary target)
  cmake_parse_arguments(SB "USER_MODE" "" "" ${ARGN})
  target_link_options(${target} PRIVATE -s -Wl,--no-insert-timestamp)
  if(SB_USER_MODE)
    target_sources(${target} PRIVATE $<TARGET_OBJECTS:xp_tick_count>)
  endif()
  target_include_directories(${target} PRIVATE ${CMAKE_SOURCE_DIR}/shipping)
  set_property(GLOBAL APPEND PROPERTY SHIPPED_TARGETS ${target})
  set_property(GLOBAL APPEND PROPERTY SHIPPED_FILES $<TARGET_FILE_NAME:${target}>)
endfunction()
